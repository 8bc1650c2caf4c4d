#include "viewer/MetafileCheck.h"

#include <cstdint>

namespace snapvane {

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableHeaderBytes = 22;
constexpr size_t kMetafileHeaderBytes = 18;
constexpr std::uint32_t kEndOfFileRecord = 0x0000;
constexpr std::uint64_t kNever = ~std::uint64_t{0} >> 1;  // a reach no file has

std::uint32_t Word(const BYTE* at) { return at[0] | (at[1] << 8); }
std::uint32_t DoubleWord(const BYTE* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}
std::int32_t SignedWord(const BYTE* at) { return static_cast<std::int16_t>(Word(at)); }

// One record as GDI plays it: its parameter words, and the bytes from its
// first parameter to the end of the file, which is as far as a read may go.
struct Record {
    std::uint32_t function;
    const BYTE* params;
    std::uint64_t paramWords;  // inside the record
    std::uint64_t reachable;   // bytes up to the end of the file
    std::uint32_t objects;     // the object table's size, from the header

    std::uint32_t Param(std::uint64_t k) const { return k < paramWords ? Word(params + 2 * k) : 0; }
    std::int32_t SignedParam(std::uint64_t k) const { return k < paramWords ? SignedWord(params + 2 * k) : 0; }
    bool Reads(std::uint64_t words) const { return words <= paramWords && 2 * words <= reachable; }
    bool ReadsBytes(std::uint64_t bytes) const { return bytes <= reachable; }
    bool NamesObject(std::uint64_t k) const { return k < paramWords && Param(k) < objects; }
};

// The bytes a packed DIB takes (header, colour table, pixels), or kNever for
// one that cannot be measured; usage 1 (DIB_PAL_COLORS) has word entries.
std::uint64_t DibBytes(const BYTE* info, std::uint64_t reachable, std::uint32_t usage) {
    if (reachable < 16) return kNever;
    const std::uint32_t headerBytes = DoubleWord(info);
    std::uint64_t width = 0, height = 0, entryBytes = usage == DIB_PAL_COLORS ? 2 : 4;
    std::uint32_t bitCount = 0, compression = BI_RGB, imageBytes = 0, coloursUsed = 0;
    if (headerBytes == sizeof(BITMAPCOREHEADER)) {
        width = Word(info + 4);
        height = Word(info + 6);
        bitCount = Word(info + 10);
        if (usage != DIB_PAL_COLORS) entryBytes = 3;
    } else if (headerBytes >= sizeof(BITMAPINFOHEADER) && headerBytes <= reachable) {
        auto magnitude = [](std::int32_t value) { return static_cast<std::uint64_t>(value < 0 ? -std::int64_t{value} : value); };
        width = magnitude(static_cast<std::int32_t>(DoubleWord(info + 4)));
        height = magnitude(static_cast<std::int32_t>(DoubleWord(info + 8)));
        bitCount = Word(info + 14);
        compression = DoubleWord(info + 16);
        imageBytes = DoubleWord(info + 20);
        coloursUsed = DoubleWord(info + 32);
    } else {
        return kNever;
    }
    if (width == 0 || height == 0 || width > 0xFFFFFF || height > 0xFFFFFF) return kNever;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return kNever;
    const std::uint64_t colours = coloursUsed ? coloursUsed : bitCount <= 8 ? (1u << bitCount) : 0;
    const std::uint64_t masks = compression == BI_BITFIELDS ? 12 : 0;
    std::uint64_t pixels = 0;
    if (compression == BI_RGB || compression == BI_BITFIELDS) pixels = (width * bitCount + 31) / 32 * 4 * height;
    else if (imageBytes > 0) pixels = imageBytes;  // run-length and other packed pixels
    else return kNever;
    return headerBytes + masks + colours * entryBytes + pixels;
}

bool DibFits(const Record& record, std::uint64_t atWord, std::uint32_t usage) {
    if (!record.Reads(atWord)) return false;
    const std::uint64_t offset = 2 * atWord;
    return record.ReadsBytes(offset + DibBytes(record.params + offset, record.reachable - offset, usage));
}

// An old device-dependent bitmap in the record: its rows are whole words.
bool BitmapFits(const Record& record, std::uint64_t width, std::uint64_t height, std::uint64_t planes,
                std::uint64_t bitsPerPixel, std::uint64_t atWord) {
    if (width > 0xFFFFFF || height > 0xFFFFFF || planes > 32 || bitsPerPixel > 64) return false;
    const std::uint64_t bytes = (width * bitsPerPixel + 15) / 16 * 2 * height * planes;
    return record.Reads(atWord) && record.ReadsBytes(2 * atWord + bytes);
}

// The parameter words of each record of fixed length that playing reads.
std::uint64_t FixedParamWords(std::uint32_t function) {
    switch (function) {
    case META_SETBKMODE: case META_SETMAPMODE: case META_SETROP2: case META_SETRELABS:
    case META_SETPOLYFILLMODE: case META_SETSTRETCHBLTMODE: case META_SETTEXTALIGN: case META_RESTOREDC:
    case META_SETTEXTCHAREXTRA: case 0x0139 /* RESIZEPALETTE */:
        return 1;
    case META_SETBKCOLOR: case META_SETTEXTCOLOR: case META_SETWINDOWORG: case META_SETWINDOWEXT:
    case META_SETVIEWPORTORG: case META_SETVIEWPORTEXT: case META_OFFSETWINDOWORG: case META_OFFSETVIEWPORTORG:
    case META_LINETO: case META_MOVETO: case META_OFFSETCLIPRGN: case META_SETMAPPERFLAGS:
    case META_SETTEXTJUSTIFICATION:
        return 2;
    case META_SCALEWINDOWEXT: case META_SCALEVIEWPORTEXT: case META_EXCLUDECLIPRECT: case META_INTERSECTCLIPRECT:
    case META_ELLIPSE: case META_FLOODFILL: case META_RECTANGLE: case META_SETPIXEL: case META_CREATEBRUSHINDIRECT:
        return 4;
    case META_CREATEPENINDIRECT: case META_EXTFLOODFILL:
        return 5;
    case META_ROUNDRECT: case META_PATBLT:
        return 6;
    case META_ARC: case META_PIE: case META_CHORD:
        return 8;
    case META_CREATEFONTINDIRECT:
        return 9;  // and the face name, below
    case META_CREATEREGION:
        return 11;
    default:
        return 0;
    }
}

// The objects a record names by their place in the object table.
bool NamesDeclaredObjects(const Record& record) {
    switch (record.function) {
    case META_DELETEOBJECT: case META_SELECTOBJECT: case META_INVERTREGION: case META_PAINTREGION:
        return record.NamesObject(0);
    case META_SELECTPALETTE:
        return record.NamesObject(1);
    case META_FILLREGION:
        return record.NamesObject(0) && record.NamesObject(1);
    case META_FRAMEREGION:
        return record.NamesObject(2) && record.NamesObject(3);
    case META_SELECTCLIPREGION:
        return record.Param(0) == 0 ? record.Reads(1) : record.NamesObject(0);
    default:
        return true;
    }
}

// Records whose length follows from counts and sizes inside them.
bool CountedPartsFit(const Record& record) {
    switch (record.function) {
    case META_TEXTOUT: {
        const std::int32_t characters = record.SignedParam(0);
        return record.Reads(1) && characters >= 0 && record.Reads(1 + (characters + 1) / 2 + 2);
    }
    case META_EXTTEXTOUT: {
        const std::uint64_t characters = record.Param(2);
        const std::uint64_t rectangle = record.Param(3) & (ETO_OPAQUE | ETO_CLIPPED) ? 4 : 0;
        return record.Reads(4) && record.Reads(4 + rectangle + (characters + 1) / 2);
    }
    case META_CREATEFONTINDIRECT:
        // The face name is copied whole, though files may end the record
        // with the name's last character.
        return record.ReadsBytes(2 * 9 + LF_FACESIZE);
    case META_POLYGON: case META_POLYLINE:
        return record.Reads(1) && record.Reads(1 + 2 * std::uint64_t{record.Param(0)});
    case META_POLYPOLYGON: {
        const std::uint64_t polygons = record.Param(0);
        if (!record.Reads(1) || !record.Reads(1 + polygons)) return false;
        std::uint64_t points = 0;
        for (std::uint64_t k = 0; k < polygons; ++k) {
            if (record.SignedParam(1 + k) < 0) return false;
            points += static_cast<std::uint64_t>(record.SignedParam(1 + k));
        }
        return record.Reads(1 + polygons + 2 * points);
    }
    case META_CREATEPALETTE: case META_SETPALENTRIES: case META_ANIMATEPALETTE:
        return record.Reads(2) && record.Reads(2 + 2 * std::uint64_t{record.Param(1)});
    case META_ESCAPE:
        return record.Reads(2) && record.Reads(2 + (std::uint64_t{record.Param(1)} + 1) / 2);
    case META_STRETCHDIB:
        return record.Reads(3) && DibFits(record, 11, record.Param(2));
    case META_SETDIBTODEV:
        return record.Reads(1) && DibFits(record, 9, record.Param(0));
    case META_CREATEREGION:
        return record.Param(5) == 0 || record.Reads(12);  // the player measures the bands
    case META_DIBSTRETCHBLT:
        return DibFits(record, 10, DIB_RGB_COLORS);
    case META_DIBBITBLT:
        return record.paramWords > 9 ? DibFits(record, 8, DIB_RGB_COLORS) : record.Reads(9);
    case META_DIBCREATEPATTERNBRUSH:
        return record.Reads(2) && DibFits(record, 2, record.Param(1));
    case META_CREATEPATTERNBRUSH:
        if (!record.Reads(1)) return false;
        if (record.Param(0) == BS_DIBPATTERN) return record.Reads(2) && DibFits(record, 2, record.Param(1));
        if (record.Param(0) != BS_PATTERN) return true;
        return record.Reads(2 + sizeof(BITMAPINFOHEADER) / 2) &&
               BitmapFits(record, DoubleWord(record.params + 8), DoubleWord(record.params + 12),
                          Word(record.params + 16), Word(record.params + 18), sizeof(BITMAPINFOHEADER) / 2 + 4);
    case META_STRETCHBLT:
        return record.Reads(15) &&
               BitmapFits(record, record.Param(10), record.Param(11), record.Param(13), record.Param(14), 15);
    case META_BITBLT:
        return record.Reads(12) &&
               BitmapFits(record, record.Param(7), record.Param(8), record.Param(10), record.Param(11), 12);
    default:
        return true;
    }
}

bool RecordIsPlayable(const Record& record) {
    return record.Reads(FixedParamWords(record.function)) && NamesDeclaredObjects(record) && CountedPartsFit(record);
}

} // namespace

bool LooksLikeMetafile(const BYTE* bytes, size_t size) {
    if (size >= 4 && DoubleWord(bytes) == kPlaceableKey) return true;
    return size >= kMetafileHeaderBytes && (Word(bytes) == 1 || Word(bytes) == 2) && Word(bytes + 2) == 9;
}

bool IsPlayableMetafile(const BYTE* bytes, size_t size) {
    size_t start = size >= 4 && DoubleWord(bytes) == kPlaceableKey ? kPlaceableHeaderBytes : 0;
    if (size < start + kMetafileHeaderBytes) return false;
    const BYTE* header = bytes + start;
    const std::uint32_t kind = Word(header), headerWords = Word(header + 2), objects = Word(header + 10);
    const std::uint64_t declaredBytes = 2 * std::uint64_t{DoubleWord(header + 6)};
    if ((kind != 1 && kind != 2) || headerWords != kMetafileHeaderBytes / 2 || declaredBytes > size - start ||
        declaredBytes < kMetafileHeaderBytes)
        return false;

    // Players differ on where the records end: at the declared size, or at the
    // end of the data (Wine's takes the data's size for the declared one). So
    // the declared size must lie inside the file, and every record up to the
    // end-of-file record or the file's end is checked.
    const size_t end = size;
    size_t at = start + kMetafileHeaderBytes;
    while (at < end) {
        if (end - at < 6) return false;
        const std::uint64_t recordWords = DoubleWord(bytes + at);
        if (recordWords < 3 || recordWords > (end - at) / 2) return false;
        const Record record{Word(bytes + at + 4), bytes + at + 6, recordWords - 3, size - (at + 6), objects};
        if (record.function == kEndOfFileRecord) return true;
        if (!RecordIsPlayable(record)) return false;
        at += static_cast<size_t>(2 * recordWords);
    }
    return true;
}

} // namespace snapvane
