#include "pictures/MetafileCost.h"

#include "pictures/WindowsFormats.h"

#include <algorithm>
#include <cmath>

namespace snapvane::metafile {

namespace {

// GDI's time for a record grows with what the record draws in pixels. Under
// Wine, filling a polygon takes time for every scan line in proportion to the
// square of the edges that cross it (a zigzag polygon of 2,000 points filling
// the box takes about 3 s, one of 4,000 points 12 s), while an outline of
// 100,000 points that crosses each scan line a few times takes milliseconds.
// A shape's region takes time for each scan line it spans, even off the
// surface; filling, for each pixel of the surface it covers; an outline, for
// each pixel of its length times the pen's width. Pixels follow from the
// logical units through the mapping that the records themselves set up, so
// the mapping's scale is followed record by record. Where the check cannot
// know a value exactly (the pen or font a record draws with, a saved state
// restored by number) it takes the largest the file has asked for so far.
//
// The figures are nanoseconds measured under Wine, rounded up; the budget
// leaves a margin below the two seconds a metafile may take on the host's
// user-interface thread.
constexpr double kBudgetNs = 1.0e9;
constexpr double kRecordNs = 150;         // any record: reading, dispatch, handles
constexpr double kPointNs = 80;           // a point transformed and stored
constexpr double kCrossingPairNs = 2.2;   // per scan line, per pair of edges crossing it
constexpr double kShapeScanLineNs = 80;   // a scan line of a shape's region, on the surface or not
constexpr double kFillPixelNs = 0.6;      // a pixel filled on the surface
constexpr double kBitmapPixelNs = 5;      // a pixel of a bitmap stretched onto the surface
constexpr double kStrokePixelNs = 4;      // a pixel of an outline, for each pixel of the pen's width
constexpr double kGlyphPixelNs = 2;       // a pixel of a character's square drawn from its outline
constexpr double kSourceByteNs = 2;       // a byte of a bitmap converted for drawing
// Wine's player builds a region one rectangle at a time, each joined to all
// the rectangles before it: 2,000 rectangles in bands of one take about
// 230 ms, 8,000 about 4.7 s.
constexpr double kRegionRectanglePairNs = 70;  // per rectangle, per rectangle before it
// Painting, filling or inverting a region goes through each of its
// rectangles, whatever their size: about 11 ms for one of 2,000 rectangles.
constexpr double kRegionUseRectangleNs = 8000;
// Framing a region outlines it and combines it with copies of itself.
constexpr double kRegionFrameUses = 4;
// Clipping copies the region to the device; later records cut against it.
constexpr double kClipRectangleNs = 40;

} // namespace

std::uint64_t RegionRectangles(const Record& record) {
    std::uint64_t rectangles = 0, at = 11;
    for (std::uint64_t band = 0; band < record.Param(5); ++band) {
        const std::uint64_t words = record.Param(at), end = at + words + 3;
        if (words % 2 != 0 || end > record.paramWords) break;
        // A band may end on the record's last word: the player reads its
        // closing count from the next record's.
        if (end < record.paramWords && record.Param(end) != words) break;
        rectangles += words / 2;
        at = end + 1;
    }
    return rectangles;
}

DrawingCost::DrawingCost(const MetafileTarget& target, double windowWidth, double windowHeight)
    : surfacePixels_(static_cast<double>(target.surface.cx) * target.surface.cy),
      surfaceRows_(static_cast<double>(target.surface.cy)),
      mapping_(windowWidth, windowHeight, target.place) {}

bool DrawingCost::Add(const Record& r) {
    ns_ += kRecordNs;
    mapping_.Follow(r);
    AddPenAndFont(r) || AddLinesAndShapes(r) || AddPolygons(r) || AddRegions(r) || AddText(r) || AddBitmaps(r);
    return mapping_.Exact();
}

bool DrawingCost::WithinBudget() const { return mapping_.Exact() && ns_ <= kBudgetNs; }

// ---- Pens and fonts: what later records draw with ----

bool DrawingCost::AddPenAndFont(const Record& r) {
    switch (r.function) {
    case wmf::kCreatePenIndirect: widestPen_ = std::max(widestPen_, std::abs(static_cast<double>(r.SignedParam(1)))); return true;
    case wmf::kCreateFontIndirect: tallestFont_ = std::max(tallestFont_, std::abs(static_cast<double>(r.SignedParam(0)))); return true;
    default: return false;
    }
}

// A pen of width 0 or 1 draws one pixel wide at any scale.
double DrawingCost::PenPixels() const {
    return widestPen_ <= 1 ? 1.0 : std::max(1.0, widestPen_ * mapping_.LargestScale());
}

// ---- Lines and shapes ----

bool DrawingCost::AddLinesAndShapes(const Record& r) {
    switch (r.function) {
    case wmf::kMoveTo: position_ = {r.SignedParam(1), r.SignedParam(0)}; return true;
    case wmf::kLineTo: {
        const PolygonPoint to{r.SignedParam(1), r.SignedParam(0)};
        Stroke(position_, to);
        position_ = to;
        return true;
    }
    case wmf::kRectangle: case wmf::kEllipse: Shape(r, 0); return true;
    case wmf::kRoundRect: Shape(r, 2); return true;
    case wmf::kArc: case wmf::kPie: case wmf::kChord: Shape(r, 4); return true;
    case wmf::kPatBlt: Fill(r.SignedParam(3), r.SignedParam(2)); return true;
    case wmf::kFloodFill: case wmf::kExtFloodFill: ns_ += surfacePixels_ * kFillPixelNs; return true;
    default: return false;
    }
}

void DrawingCost::Stroke(PolygonPoint from, PolygonPoint to) {
    const double dx = std::abs(static_cast<double>(to.x) - from.x) * mapping_.ScaleX();
    const double dy = std::abs(static_cast<double>(to.y) - from.y) * mapping_.ScaleY();
    ns_ += (std::max(dx, dy) + 1) * PenPixels() * kStrokePixelNs;
}

double DrawingCost::Pixels(double width, double height) const {
    return (std::abs(width) * mapping_.ScaleX() + 1) * (std::abs(height) * mapping_.ScaleY() + 1);
}

void DrawingCost::Fill(double width, double height) { ns_ += std::min(Pixels(width, height), surfacePixels_) * kFillPixelNs; }

// A rectangle, ellipse, rounded rectangle or part of an ellipse: its
// bounding box is the four words from boxAt (bottom, right, top, left).
void DrawingCost::Shape(const Record& r, std::uint64_t boxAt) {
    const double bottom = r.SignedParam(boxAt), right = r.SignedParam(boxAt + 1);
    const double top = r.SignedParam(boxAt + 2), left = r.SignedParam(boxAt + 3);
    const double width = std::abs(right - left) * mapping_.ScaleX(), height = std::abs(bottom - top) * mapping_.ScaleY();
    ns_ += (height + 1) * kShapeScanLineNs;
    ns_ += 2 * (width + height + 2) * PenPixels() * kStrokePixelNs;
    Fill(right - left, bottom - top);
}

// ---- Polylines and polygons ----

bool DrawingCost::AddPolygons(const Record& r) {
    switch (r.function) {
    case wmf::kPolyline: Points(r, 1, {r.Param(0)}, false); return true;
    case wmf::kPolygon: Points(r, 1, {r.Param(0)}, true); return true;
    case wmf::kPolyPolygon: {
        std::vector<std::uint64_t> counts;
        for (std::uint64_t k = 0; k < r.Param(0); ++k) counts.push_back(r.Param(1 + k));
        Points(r, 1 + r.Param(0), counts, true);
        return true;
    }
    default: return false;
    }
}

// A polyline, or polygons filled and outlined: counts[k] points each, from
// word at. The polygons of one record fill as one region.
void DrawingCost::Points(const Record& r, std::uint64_t at, const std::vector<std::uint64_t>& counts, bool filled) {
    crossings_.Clear();
    double left = 0, right = 0, top = 0, bottom = 0;
    bool first = true;
    for (std::uint64_t count : counts) {
        if (count == 0) continue;
        ns_ += static_cast<double>(count) * kPointNs;
        auto point = [&](std::uint64_t k) { return PolygonPoint{r.SignedParam(at + 2 * k), r.SignedParam(at + 2 * k + 1)}; };
        PolygonPoint previous = point(filled ? count - 1 : 0);
        for (std::uint64_t k = filled ? 0 : 1; k < count; ++k) {
            const PolygonPoint next = point(k);
            Stroke(previous, next);
            crossings_.AddEdge(previous, next);
            if (first) left = right = next.x, top = bottom = next.y, first = false;
            left = std::min<double>(left, next.x);
            right = std::max<double>(right, next.x);
            top = std::min<double>(top, next.y);
            bottom = std::max<double>(bottom, next.y);
            previous = next;
        }
        at += 2 * count;
    }
    if (!filled || first) return;
    // Under a millisecond of crossings is not worth the sweep.
    ns_ += crossings_.CrossingPairs(mapping_.ScaleY(), surfaceRows_, 1e6 / kCrossingPairNs) * kCrossingPairNs;
    Fill(right - left, bottom - top);
}

// ---- Regions ----

bool DrawingCost::AddRegions(const Record& r) {
    switch (r.function) {
    case wmf::kCreateRegion: {
        const double rectangles = static_cast<double>(RegionRectangles(r));
        ns_ += rectangles * rectangles * kRegionRectanglePairNs;
        largestRegion_ = std::max(largestRegion_, rectangles);
        return true;
    }
    case wmf::kFillRegion: case wmf::kPaintRegion: case wmf::kInvertRegion:
        ns_ += surfacePixels_ * kFillPixelNs + largestRegion_ * kRegionUseRectangleNs;
        return true;
    case wmf::kFrameRegion:
        ns_ += surfacePixels_ * kFillPixelNs + kRegionFrameUses * largestRegion_ * kRegionUseRectangleNs;
        return true;
    case wmf::kSelectClipRegion: case wmf::kOffsetClipRgn: case wmf::kExcludeClipRect: case wmf::kIntersectClipRect:
        ns_ += largestRegion_ * kClipRectangleNs;
        return true;
    default: return false;
    }
}

// ---- Text ----

bool DrawingCost::AddText(const Record& r) {
    switch (r.function) {
    case wmf::kTextOut: Text(r.Param(0)); return true;
    case wmf::kExtTextOut: Text(r.Param(2)); return true;
    default: return false;
    }
}

void DrawingCost::Text(std::uint64_t characters) {
    const double height = std::max(1.0, tallestFont_ * mapping_.LargestScale());
    ns_ += static_cast<double>(characters) * height * height * kGlyphPixelNs;
}

// ---- Bitmaps ----

bool DrawingCost::AddBitmaps(const Record& r) {
    switch (r.function) {
    case wmf::kBitBlt: case wmf::kStretchBlt: {
        OldBitmapTransfer transfer;
        ReadOldBitmapTransfer(r.function, r.params, static_cast<size_t>(2 * r.paramWords), transfer);
        Bitmap(r, transfer.destWidth, transfer.destHeight);
        return true;
    }
    case wmf::kDIBBitBlt: Bitmap(r, r.SignedParam(5), r.SignedParam(4)); return true;
    case wmf::kDIBStretchBlt: Bitmap(r, r.SignedParam(7), r.SignedParam(6)); return true;
    case wmf::kStretchDIB: Bitmap(r, r.SignedParam(8), r.SignedParam(7)); return true;
    case wmf::kSetDIBToDev: Bitmap(r, r.SignedParam(6), r.SignedParam(5)); return true;
    default: return false;
    }
}

void DrawingCost::Bitmap(const Record& r, double width, double height) {
    ns_ += 2 * static_cast<double>(r.paramWords) * kSourceByteNs;
    ns_ += std::min(Pixels(width, height), surfacePixels_) * kBitmapPixelNs;
}

} // namespace snapvane::metafile
