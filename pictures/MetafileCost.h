// Inside the core: the drawing a metafile's records ask of GDI, followed
// record by record and charged by what each record asks for, family by
// family: lines and shapes, polygons, regions, text and bitmaps.
#pragma once

#include "pictures/MetafileCheck.h"
#include "pictures/MetafileMapping.h"
#include "pictures/MetafileRecord.h"
#include "pictures/PolygonFill.h"

#include <cstdint>
#include <vector>

namespace snapvane::metafile {

class DrawingCost {
public:
    DrawingCost(const MetafileTarget& target, double windowWidth, double windowHeight);

    // Adds the record's work; false when the mapping leaves what GDI keeps exactly.
    bool Add(const Record& r);
    // True while the work so far stays within what one picture may ask.
    bool WithinBudget() const;

private:
    // Each family charges the records it knows; false for any other record.
    bool AddPenAndFont(const Record& r);
    bool AddLinesAndShapes(const Record& r);
    bool AddPolygons(const Record& r);
    bool AddRegions(const Record& r);
    bool AddText(const Record& r);
    bool AddBitmaps(const Record& r);

    double PenPixels() const;
    double Pixels(double width, double height) const;
    void Stroke(PolygonPoint from, PolygonPoint to);
    void Fill(double width, double height);
    void Points(const Record& r, std::uint64_t at, const std::vector<std::uint64_t>& counts, bool filled);
    void Shape(const Record& r, std::uint64_t boxAt);
    void Text(std::uint64_t characters);
    void Bitmap(const Record& r, double width, double height);

    double surfacePixels_, surfaceRows_;
    MetafileMapping mapping_;
    ScanLineCrossings crossings_;
    double widestPen_ = 0, tallestFont_ = 0;
    double largestRegion_ = 0;  // rectangles of the largest region made so far: any record may use it
    PolygonPoint position_{0, 0};
    double ns_ = 0;
};

// The rectangles of a region record, counted as Wine's player walks its bands.
std::uint64_t RegionRectangles(const Record& record);

} // namespace snapvane::metafile
