#include "pictures/MetafileCheck.h"

#include "pictures/LittleEndian.h"
#include "pictures/MetafileCost.h"
#include "pictures/MetafileFrame.h"
#include "pictures/MetafileRecord.h"
#include "pictures/WindowsFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace snapvane {

namespace {

using metafile::Record;
using metafile::SignedWord;

constexpr std::uint64_t kNever = ~std::uint64_t{0} >> 1;  // a reach no file has

// The bytes a packed DIB takes (header, colour table, pixels), or kNever for
// one that cannot be measured; usage 1 (dib::kPaletteColours) has word entries.
std::uint64_t DibBytes(const Byte* info, std::uint64_t reachable, std::uint32_t usage, std::uint64_t* pixelsAt = nullptr) {
    if (reachable < 16) return kNever;
    const std::uint32_t headerBytes = Little32(info);
    std::uint64_t width = 0, height = 0, entryBytes = usage == dib::kPaletteColours ? 2 : 4;
    std::uint32_t bitCount = 0, compression = dib::kUncompressed, imageBytes = 0, coloursUsed = 0;
    if (headerBytes == dib::kCoreHeaderBytes) {
        width = Little16(info + 4);
        height = Little16(info + 6);
        bitCount = Little16(info + 10);
        if (usage != dib::kPaletteColours) entryBytes = 3;
    } else if (headerBytes >= dib::kInfoHeaderBytes && headerBytes <= reachable) {
        auto magnitude = [](std::int32_t value) { return static_cast<std::uint64_t>(value < 0 ? -std::int64_t{value} : value); };
        width = magnitude(static_cast<std::int32_t>(Little32(info + 4)));
        height = magnitude(static_cast<std::int32_t>(Little32(info + 8)));
        bitCount = Little16(info + 14);
        compression = Little32(info + 16);
        imageBytes = Little32(info + 20);
        coloursUsed = Little32(info + 32);
    } else {
        return kNever;
    }
    if (width == 0 || height == 0 || width > 0xFFFFFF || height > 0xFFFFFF) return kNever;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return kNever;
    const std::uint64_t colours = coloursUsed ? coloursUsed : bitCount <= 8 ? (1u << bitCount) : 0;
    const std::uint64_t masks = compression == dib::kBitFields ? 12 : 0;
    std::uint64_t pixels = 0;
    if (compression == dib::kUncompressed || compression == dib::kBitFields) pixels = (width * bitCount + 31) / 32 * 4 * height;
    else if (imageBytes > 0) pixels = imageBytes;  // run-length and other packed pixels
    else return kNever;
    if (pixelsAt) *pixelsAt = headerBytes + masks + colours * entryBytes;
    return headerBytes + masks + colours * entryBytes + pixels;
}

bool DibFits(const Record& record, std::uint64_t atWord, std::uint32_t usage) {
    if (!record.Reads(atWord)) return false;
    const std::uint64_t offset = 2 * atWord;
    return record.ReadsBytes(offset + DibBytes(record.params + offset, record.reachable - offset, usage));
}

// The bits per pixel GDI gives a device-dependent bitmap it is asked for: the
// next of 1, 4, 8, 16, 24 and 32 (0 and 2 become 4, 9 becomes 16); 0 when it
// makes none.
std::uint64_t GdiBitsPerPixel(std::uint64_t asked) {
    for (std::uint64_t bits : {1, 4, 8, 16, 24, 32})
        if (asked <= bits) return asked == 0 ? 4 : bits;
    return 0;
}

// An old device-dependent bitmap in the record, measured as GDI makes it: an
// empty one is GDI's stock bitmap and reads nothing; any other has one plane,
// its bits per pixel rounded up, and rows of whole words. rowBytes is what the
// record itself says a row takes, 0 where it says nothing.
bool OldBitmapFits(const Record& record, std::uint64_t width, std::uint64_t height, std::uint64_t planes,
                   std::uint64_t bitsPerPixel, std::uint64_t rowBytes, std::uint64_t atWord) {
    if (!record.Reads(atWord)) return false;
    if (width == 0 || height == 0) return true;
    const std::uint64_t bits = GdiBitsPerPixel(bitsPerPixel);
    if (planes != 1 || bits == 0 || width > 0xFFFFFF || height > 0xFFFFFF) return false;
    const std::uint64_t bytes = std::max((width * bits + 15) / 16 * 2, rowBytes) * height;
    return record.ReadsBytes(2 * atWord + bytes);
}

// The places of an old bitmap transfer that stretches: destination size
// and corner from word dest (height, width, y, x), source size and corner
// from word 2 (height, width, y, x).
void ReadStretchPlaces(const Record& r, std::uint64_t dest, OldBitmapTransfer& t) {
    t.sourceHeight = r.SignedParam(2);
    t.sourceWidth = r.SignedParam(3);
    t.sourceY = r.SignedParam(4);
    t.sourceX = r.SignedParam(5);
    t.destHeight = r.SignedParam(dest);
    t.destWidth = r.SignedParam(dest + 1);
    t.destY = r.SignedParam(dest + 2);
    t.destX = r.SignedParam(dest + 3);
}

// The places of one that does not: the source corner from word source (y,
// x), then from word size the height and width, the destination's y and x.
void ReadBitBltPlaces(const Record& r, std::uint64_t source, std::uint64_t size, OldBitmapTransfer& t) {
    t.sourceY = r.SignedParam(source);
    t.sourceX = r.SignedParam(source + 1);
    t.destHeight = t.sourceHeight = r.SignedParam(size);
    t.destWidth = t.sourceWidth = r.SignedParam(size + 1);
    t.destY = r.SignedParam(size + 2);
    t.destX = r.SignedParam(size + 3);
}

bool IsDibHeaderSize(std::uint32_t bytes) {
    return bytes == dib::kCoreHeaderBytes || bytes == dib::kInfoHeaderBytes || bytes == 52 || bytes == 56 ||
           bytes == 108 || bytes == 124;
}

// A device bitmap made as GDI makes it, its rows inside the record: an empty
// one is GDI's stock bitmap and leaves the transfer without a source; any
// other has one plane, its bits per pixel rounded up, rows of whole words,
// and the rows in the record at least that long.
bool ReadDeviceBitmap(const Record& r, std::uint64_t width, std::uint64_t height, std::uint64_t planes,
                      std::uint64_t bitsPerPixel, std::uint64_t rowBytes, std::uint64_t atWord, OldBitmapTransfer& t) {
    if (width == 0 || height == 0) return true;
    const std::uint64_t bits = GdiBitsPerPixel(bitsPerPixel);
    if (planes != 1 || bits == 0) return false;
    const std::uint64_t gdiRowBytes = (width * bits + 15) / 16 * 2;
    t.rowBytes = static_cast<size_t>(std::max(gdiRowBytes, rowBytes));
    if (!r.Reads(atWord) || 2 * atWord + t.rowBytes * height > 2 * r.paramWords) return false;
    t.source = OldBitmapTransfer::Source::DeviceBitmap;
    t.width = static_cast<std::uint32_t>(width);
    t.height = static_cast<std::uint32_t>(height);
    t.bitsPerPixel = static_cast<std::uint32_t>(bits);
    t.bitsAt = static_cast<size_t>(2 * atWord);
    return true;
}

// A device-independent bitmap of plain or bit-field pixels, inside the record.
bool ReadIndependentBitmap(const Record& r, std::uint64_t atWord, OldBitmapTransfer& t) {
    const std::uint64_t at = 2 * atWord, inside = 2 * r.paramWords - at;
    const Byte* info = r.params + at;
    std::uint64_t pixelsAt = 0;
    if (inside >= dib::kInfoHeaderBytes && Little32(info) >= dib::kInfoHeaderBytes) {
        const std::uint32_t compression = Little32(info + 16);
        if (compression != dib::kUncompressed && compression != dib::kBitFields) return false;
    }
    if (DibBytes(info, inside, dib::kRgbColours, &pixelsAt) > inside) return false;
    t.source = OldBitmapTransfer::Source::IndependentBitmap;
    t.infoAt = static_cast<size_t>(at);
    t.bitsAt = static_cast<size_t>(at + pixelsAt);
    return true;
}

// The parameter words of each record of fixed length that playing reads.
std::uint64_t FixedParamWords(std::uint32_t function) {
    switch (function) {
    case wmf::kSetBkMode: case wmf::kSetMapMode: case wmf::kSetRop2: case wmf::kSetRelAbs:
    case wmf::kSetPolyFillMode: case wmf::kSetStretchBltMode: case wmf::kSetTextAlign: case wmf::kRestoreDC:
    case wmf::kSetTextCharExtra: case wmf::kResizePalette:
        return 1;
    case wmf::kSetBkColor: case wmf::kSetTextColor: case wmf::kSetWindowOrg: case wmf::kSetWindowExt:
    case wmf::kSetViewportOrg: case wmf::kSetViewportExt: case wmf::kOffsetWindowOrg: case wmf::kOffsetViewportOrg:
    case wmf::kLineTo: case wmf::kMoveTo: case wmf::kOffsetClipRgn: case wmf::kSetMapperFlags:
    case wmf::kSetTextJustification:
        return 2;
    case wmf::kScaleWindowExt: case wmf::kScaleViewportExt: case wmf::kExcludeClipRect: case wmf::kIntersectClipRect:
    case wmf::kEllipse: case wmf::kFloodFill: case wmf::kRectangle: case wmf::kSetPixel: case wmf::kCreateBrushIndirect:
        return 4;
    case wmf::kCreatePenIndirect: case wmf::kExtFloodFill:
        return 5;
    case wmf::kRoundRect: case wmf::kPatBlt:
        return 6;
    case wmf::kArc: case wmf::kPie: case wmf::kChord:
        return 8;
    case wmf::kCreateFontIndirect:
        return 9;  // and the face name, below
    case wmf::kCreateRegion:
        return 11;
    default:
        return 0;
    }
}

// The objects a record names by their place in the object table.
bool NamesDeclaredObjects(const Record& record) {
    switch (record.function) {
    case wmf::kDeleteObject: case wmf::kSelectObject: case wmf::kInvertRegion: case wmf::kPaintRegion:
        return record.NamesObject(0);
    case wmf::kSelectPalette:
        return record.NamesObject(1);
    case wmf::kFillRegion:
        return record.NamesObject(0) && record.NamesObject(1);
    case wmf::kFrameRegion:
        return record.NamesObject(2) && record.NamesObject(3);
    case wmf::kSelectClipRegion:
        return record.Param(0) == 0 ? record.Reads(1) : record.NamesObject(0);
    default:
        return true;
    }
}

// Records whose length follows from counts and sizes inside them.
bool CountedPartsFit(const Record& record) {
    switch (record.function) {
    case wmf::kTextOut: {
        const std::int32_t characters = record.SignedParam(0);
        return record.Reads(1) && characters >= 0 && record.Reads(1 + (characters + 1) / 2 + 2);
    }
    case wmf::kExtTextOut: {
        const std::uint64_t characters = record.Param(2);
        const std::uint64_t rectangle = record.Param(3) & (wmf::kTextOpaque | wmf::kTextClipped) ? 4 : 0;
        return record.Reads(4) && record.Reads(4 + rectangle + (characters + 1) / 2);
    }
    case wmf::kCreateFontIndirect:
        // The face name is copied whole, though files may end the record
        // with the name's last character.
        return record.ReadsBytes(2 * 9 + wmf::kFaceNameChars);
    case wmf::kPolygon: case wmf::kPolyline:
        return record.Reads(1) && record.Reads(1 + 2 * std::uint64_t{record.Param(0)});
    case wmf::kPolyPolygon: {
        const std::uint64_t polygons = record.Param(0);
        if (!record.Reads(1) || !record.Reads(1 + polygons)) return false;
        std::uint64_t points = 0;
        for (std::uint64_t k = 0; k < polygons; ++k) {
            if (record.SignedParam(1 + k) < 0) return false;
            points += static_cast<std::uint64_t>(record.SignedParam(1 + k));
        }
        return record.Reads(1 + polygons + 2 * points);
    }
    case wmf::kCreatePalette: case wmf::kSetPalEntries: case wmf::kAnimatePalette:
        return record.Reads(2) && record.Reads(2 + 2 * std::uint64_t{record.Param(1)});
    case wmf::kEscape:
        return record.Reads(2) && record.Reads(2 + (std::uint64_t{record.Param(1)} + 1) / 2);
    case wmf::kStretchDIB:
        return record.Reads(3) && DibFits(record, 11, record.Param(2));
    case wmf::kSetDIBToDev:
        return record.Reads(1) && DibFits(record, 9, record.Param(0));
    case wmf::kCreateRegion:
        // The player measures the bands against the record, but reads a
        // band's closing count from the word after the record when it ends there.
        return record.Param(5) == 0 || (record.Reads(12) && record.ReadsBytes(2 * record.paramWords + 2));
    case wmf::kDIBStretchBlt:
        return DibFits(record, 10, dib::kRgbColours);
    case wmf::kDIBBitBlt:
        return record.paramWords > 9 ? DibFits(record, 8, dib::kRgbColours) : record.Reads(9);
    case wmf::kDIBCreatePatternBrush:
        return record.Reads(2) && DibFits(record, 2, record.Param(1));
    case wmf::kCreatePatternBrush: {
        if (!record.Reads(1)) return false;
        if (record.Param(0) == wmf::kBrushDibPattern) return record.Reads(2) && DibFits(record, 2, record.Param(1));
        if (record.Param(0) != wmf::kBrushPattern) return true;
        // Wine's player reads an information header after two words, and
        // takes its width as a signed size.
        if (!record.Reads(2 + dib::kInfoHeaderBytes / 2)) return false;
        const auto width = static_cast<std::int32_t>(Little32(record.params + 8));
        const auto height = static_cast<std::int32_t>(Little32(record.params + 12));
        auto magnitude = [](std::int32_t value) { return static_cast<std::uint64_t>(value < 0 ? -std::int64_t{value} : value); };
        return OldBitmapFits(record, magnitude(width), magnitude(height), Little16(record.params + 16),
                             Little16(record.params + 18), 0, dib::kInfoHeaderBytes / 2 + 4);
    }
    case wmf::kStretchBlt: case wmf::kBitBlt: {
        // Played by the viewer's own player, as it reads them (MetafilePlayer.cpp).
        OldBitmapTransfer transfer;
        return ReadOldBitmapTransfer(record.function, record.params, static_cast<size_t>(2 * record.paramWords), transfer);
    }
    default:
        return true;
    }
}

// The rectangles of a region record as Wine's player takes them, one by one:
// bands from word 11, each a count of words, its top and bottom, the count's
// left and right edges, and the count again. The player stops at a band
// that does not end so, or ends beyond the record.
} // namespace

namespace metafile {

bool RecordIsPlayable(const Record& record) {
    return record.Reads(FixedParamWords(record.function)) && NamesDeclaredObjects(record) && CountedPartsFit(record);
}

} // namespace metafile

bool LooksLikeMetafile(const Byte* bytes, size_t size) {
    if (size >= 4 && Little32(bytes) == metafile::kPlaceableKey) return true;
    return size >= metafile::kMetafileHeaderBytes && (Little16(bytes) == 1 || Little16(bytes) == 2) && Little16(bytes + 2) == 9;
}

bool IsPlayableMetafile(const Byte* bytes, size_t size) {
    return metafile::WalkRecords(bytes, size, [](const Record&) { return true; }) == metafile::Walk::Finished;
}

MetafileVerdict CheckMetafile(const Byte* bytes, size_t size, const MetafileTarget& target) {
    MetafileFrame frame;
    if (!ReadMetafileFrame(bytes, size, frame)) return MetafileVerdict::Unsafe;
    metafile::DrawingCost cost(target, std::abs(frame.width), std::abs(frame.height));
    switch (metafile::WalkRecords(bytes, size, [&](const Record& record) { return cost.Add(record) && cost.WithinBudget(); })) {
    case metafile::Walk::Finished: return MetafileVerdict::Playable;
    case metafile::Walk::Stopped: return MetafileVerdict::TooMuchDrawing;
    case metafile::Walk::Unsafe: break;
    }
    return MetafileVerdict::Unsafe;
}

bool ReadOldBitmapTransfer(std::uint32_t function, const Byte* params, size_t paramBytes, OldBitmapTransfer& transfer) {
    transfer = OldBitmapTransfer{};
    const Record r{function, params, paramBytes / 2, paramBytes, 0};
    const bool stretching = function == wmf::kStretchBlt;
    if (!stretching && function != wmf::kBitBlt) return false;
    // The form without a bitmap is as long as its function's high byte says.
    const std::uint64_t noBitmapWords = function >> 8;
    if (r.paramWords == noBitmapWords) {
        transfer.rasterOperation = r.Param(0) | r.Param(1) << 16;
        if (stretching) ReadStretchPlaces(r, 7, transfer);
        else ReadBitBltPlaces(r, 2, 5, transfer);
        return true;
    }
    const std::uint64_t target = stretching ? 10 : 8;
    if (r.paramWords <= target) return false;
    if (IsDibHeaderSize(Little32(params + 2 * target)) || r.Param(target) == 0) {
        // As the format writes it: the raster operation in two words, the
        // places, then a device-independent bitmap or a 16-bit bitmap object.
        transfer.rasterOperation = r.Param(0) | r.Param(1) << 16;
        if (stretching) ReadStretchPlaces(r, 6, transfer);
        else ReadBitBltPlaces(r, 2, 4, transfer);
        if (r.Param(target) != 0) return ReadIndependentBitmap(r, target, transfer);
        return ReadDeviceBitmap(r, r.Param(target + 1), r.Param(target + 2), r.Param(target + 4) & 0xFF,
                                r.Param(target + 4) >> 8, r.Param(target + 3), target + 5, transfer);
    }
    // As Wine's player reads it: the bitmap's width, height, bytes a row,
    // planes and bits per pixel as whole words; a bit transfer's raster
    // operation is one word, its high one, before the places.
    const std::uint64_t wineAt = stretching ? 10 : 7;
    if (stretching) {
        transfer.rasterOperation = r.Param(0) | r.Param(1) << 16;
        ReadStretchPlaces(r, 6, transfer);
    } else {
        transfer.rasterOperation = r.Param(0) << 16;
        ReadBitBltPlaces(r, 1, 3, transfer);
    }
    return ReadDeviceBitmap(r, r.Param(wineAt), r.Param(wineAt + 1), r.Param(wineAt + 3), r.Param(wineAt + 4), 0,
                            wineAt + 5, transfer);
}

} // namespace snapvane
