// Picture files written byte by byte by the tests: metafiles record by
// record, enhanced metafiles, stream-wrapped content, GIFs without colour
// tables and the bitmap header variants that real editors write.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace snapvane::test {

// A Windows metafile written record by record, with the placeable header in
// front: bounds of width x height units at unitsPerInch.
class MetafileRecords {
public:
    explicit MetafileRecords(int objects = 4) : objects_(objects) {}
    MetafileRecords& Add(std::uint16_t function, const std::vector<std::uint16_t>& params);
    // A window of width x height with a solid brush of the colour selected
    // and no outline: what shapes added after it fill.
    MetafileRecords& Window(int width, int height, COLORREF colour);
    // The file: placeable header, metafile header, the records and the
    // end-of-file record. sizeCountsPlaceableHeader writes the size as some
    // writers do, with the placeable header's 22 bytes counted in.
    std::string Placeable(int width, int height, int unitsPerInch = 96, bool sizeCountsPlaceableHeader = false,
                          bool endOfFileRecord = true) const;
    // The file without the placeable header: metafile header, records, end-of-file record.
    std::string Plain() const;

private:
    std::vector<std::uint16_t> words_;
    int objects_;
    size_t largest_ = 3;
};

// Metafiles of each kind the viewer frames its own way, each drawing a
// picture twice as wide as high: green, its left half red. Plain with its
// window records (origin 1000, 2000; 200 x 100 units); plain with no window,
// framed by the bounds of its rectangles (500, 300 to 700, 400).
std::string PlainMetafileWithWindow();
std::string PlainMetafileByBounds();
// A placeable metafile of 64 x 64 units on green, with old bitmap records in
// the forms the format writes: a stretched 16-bit bitmap object of white bits
// over the left half, a bit transfer of a red 24-bit device-independent
// bitmap over the lower right quarter, and one without a bitmap that paints
// the upper right eighth with a blue brush.
std::string MetafileWithOldBitmaps();

// Points of a polygon record: the count, then x and y of each point.
std::vector<std::uint16_t> PolygonParams(const std::vector<POINT>& points);
// A polygon of n points zigzagging across the width, each edge from the top
// to the bottom: every scan line meets every edge.
std::vector<POINT> Zigzag(int n, int width, int height);

// An enhanced metafile of a filled rectangle, as GDI writes it.
std::string EnhancedMetafile(COLORREF colour);

// Content behind the 8-byte stream header of the OLE picture format: "lt",
// two NULs, then the content's length.
std::string StreamWrapped(const std::string& content);

// A GIF89a of 2 x 2 pixels, colour indices 0 and 1 in a checkerboard, with
// neither a global nor a local colour table.
std::string GifWithoutColourTable();

// A bitmap file whose pixels are all the colour: header of headerBytes (12,
// 16 for OS/2 2.x, 40, 56, 108, 124), bitCount 16, 24 or 32; with masks it is
// written with bit fields of those red, green, blue masks.
std::string BitmapVariant(std::uint32_t headerBytes, int bitCount, COLORREF colour,
                          std::vector<std::uint32_t> masks = {}, int width = 8, int height = 6);

// A PNG of width x height pixels, 8-bit colour: the left half in the first
// colour, the right half in the second, its data in stored deflate blocks.
std::string PngPicture(int width, int height, COLORREF left, COLORREF right);

} // namespace snapvane::test
