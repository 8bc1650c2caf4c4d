#include "pictures/PictureContent.h"

#include "pictures/LittleEndian.h"
#include "pictures/WindowsFormats.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace snapvane {

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableHeaderBytes = 22;
constexpr size_t kMetafileHeaderBytes = 18;
constexpr size_t kEndOfFileRecordBytes = 6;
constexpr size_t kBitmapFileHeaderBytes = 14;
constexpr Byte kPngSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::uint32_t Big32(const Byte* at) {
    return (static_cast<std::uint32_t>(at[0]) << 24) | (at[1] << 16) | (at[2] << 8) | at[3];
}

void PutLittle32(Byte* at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) at[k] = static_cast<Byte>(value >> (8 * k));
}

// The bitmap's own header as GDI reads it (the long form, or the core one).
struct BitmapLayout {
    std::uint32_t headerBytes = 0;
    std::uint64_t width = 0, height = 0;
    std::uint32_t planes = 0, bitCount = 0, compression = dib::kUncompressed, coloursUsed = 0;
    std::uint32_t entryBytes = 4;  // of the colour table: RGBQUAD, or RGBTRIPLE after a core header
};

// Header sizes of the Windows family: the core header, the information
// header and its V2 to V5 extensions.
bool IsWindowsHeaderSize(std::uint32_t bytes) {
    return bytes == 12 || bytes == 40 || bytes == 52 || bytes == 56 || bytes == 108 || bytes == 124;
}
// OS/2 2.x headers are 16 to 64 bytes, laid out as the first bytes of the
// information header; the fields a short one leaves out are zero.
bool IsOs2HeaderSize(std::uint32_t bytes) { return bytes >= 16 && bytes <= 64 && !IsWindowsHeaderSize(bytes); }

bool ReadBitmapLayout(const Byte* info, size_t available, BitmapLayout& layout) {
    if (available < 12) return false;
    layout.headerBytes = Little32(info);
    if (layout.headerBytes > available) return false;
    if (layout.headerBytes == 12) {
        layout.width = Little16(info + 4);
        layout.height = Little16(info + 6);
        layout.planes = Little16(info + 8);
        layout.bitCount = Little16(info + 10);
        layout.entryBytes = 3;
        return true;
    }
    if (!IsWindowsHeaderSize(layout.headerBytes) && !IsOs2HeaderSize(layout.headerBytes)) return false;
    Byte longForm[40] = {};
    std::memcpy(longForm, info, std::min<size_t>(layout.headerBytes, sizeof longForm));
    const auto width = static_cast<std::int32_t>(Little32(longForm + 4));
    const auto height = static_cast<std::int32_t>(Little32(longForm + 8));
    if (width <= 0 || height == 0 || height == INT32_MIN) return false;
    layout.width = static_cast<std::uint64_t>(width);
    layout.height = static_cast<std::uint64_t>(height < 0 ? -static_cast<std::int64_t>(height) : height);
    layout.planes = Little16(longForm + 12);
    layout.bitCount = Little16(longForm + 14);
    layout.compression = Little32(longForm + 16);
    layout.coloursUsed = Little32(longForm + 32);
    // In an OS/2 header the compression numbers past run-length mean other things.
    if (IsOs2HeaderSize(layout.headerBytes) && layout.compression != dib::kUncompressed) return false;
    return true;
}

// The bytes GDI reads after the header: the colour table, or the three
// bit-field masks, which GDI always takes from right after the first 40
// bytes of the header (inside a V2 to V5 header, after an information header).
std::uint64_t TableBytes(const BitmapLayout& layout) {
    if (layout.bitCount <= 8) {
        const std::uint64_t entries = layout.coloursUsed ? layout.coloursUsed : 1u << layout.bitCount;
        return entries * layout.entryBytes;
    }
    if (layout.compression == dib::kBitFields && layout.headerBytes < 52) return 12;
    return 0;
}

bool GdiTakesWhole(const BitmapLayout& layout, std::uint64_t pixelsAt, size_t size) {
    if (layout.planes != 1) return false;
    const std::uint32_t bits = layout.bitCount;
    const bool coreBits = bits == 1 || bits == 4 || bits == 8 || bits == 24;
    if (layout.headerBytes == 12 ? !coreBits : !(coreBits || bits == 16 || bits == 32)) return false;
    if (layout.compression != dib::kUncompressed && !(layout.compression == dib::kBitFields && (bits == 16 || bits == 32)))
        return false;
    if (bits <= 8 && layout.coloursUsed > (1u << bits)) return false;
    if (layout.width > 0xFFFFFF || layout.height > 0xFFFFFF) return false;
    const std::uint64_t tableEnd = kBitmapFileHeaderBytes + layout.headerBytes + TableBytes(layout);
    const std::uint64_t rowBytes = (layout.width * bits + 31) / 32 * 4;
    return tableEnd <= size && pixelsAt >= kBitmapFileHeaderBytes + layout.headerBytes &&
           pixelsAt + rowBytes * layout.height <= size;
}

// A metafile header without the placeable one: memory (1) or disk (2)
// kind, 9 words long, version 1.0 or 3.0, and a declared size in words that
// holds at least the header and the end-of-file record and lies inside the file.
bool IsPlainMetafileHeader(const Byte* bytes, size_t size, std::uint64_t fileSize) {
    if (size < kMetafileHeaderBytes || fileSize < size) return false;
    const std::uint32_t kind = Little16(bytes), headerWords = Little16(bytes + 2), version = Little16(bytes + 4);
    const std::uint64_t declaredBytes = 2 * std::uint64_t{Little32(bytes + 6)};
    return (kind == 1 || kind == 2) && headerWords == kMetafileHeaderBytes / 2 &&
           (version == 0x0100 || version == 0x0300) && declaredBytes >= kMetafileHeaderBytes + kEndOfFileRecordBytes &&
           declaredBytes <= fileSize;
}

} // namespace

PictureKind IdentifyPicture(const Byte* bytes, size_t size) { return IdentifyPicture(bytes, size, size); }

PictureKind IdentifyPicture(const Byte* bytes, size_t size, std::uint64_t fileSize) {
    if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return PictureKind::Bitmap;
    if (size >= 6 && (std::memcmp(bytes, "GIF87a", 6) == 0 || std::memcmp(bytes, "GIF89a", 6) == 0))
        return PictureKind::Gif;
    if (size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8) return PictureKind::Jpeg;
    if (size >= sizeof kPngSignature && std::memcmp(bytes, kPngSignature, sizeof kPngSignature) == 0)
        return PictureKind::Png;
    if (size >= kPlaceableHeaderBytes && Little32(bytes) == kPlaceableKey) return PictureKind::Metafile;
    if (IsPlainMetafileHeader(bytes, size, fileSize)) return PictureKind::Metafile;
    return PictureKind::Unknown;
}

bool ReadPngLayout(const Byte* bytes, size_t size, PngLayout& layout) {
    // The signature, then the header chunk: its length (13), "IHDR", width,
    // height, bit depth, colour type, compression, filter and interlace.
    constexpr size_t kHeaderEnd = sizeof kPngSignature + 8 + 13;
    if (size < kHeaderEnd || IdentifyPicture(bytes, size) != PictureKind::Png) return false;
    const Byte* chunk = bytes + sizeof kPngSignature;
    if (Big32(chunk) != 13 || std::memcmp(chunk + 4, "IHDR", 4) != 0) return false;
    const Byte* fields = chunk + 8;
    const std::uint32_t width = Big32(fields), height = Big32(fields + 4);
    const unsigned depth = fields[8], colourType = fields[9];
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;
    if (fields[10] != 0 || fields[11] != 0 || fields[12] > 1) return false;
    unsigned channels = 0;
    switch (colourType) {
    case 0: channels = 1; break;  // grey: depths 1, 2, 4, 8, 16
    case 2: channels = 3; break;  // colour: 8, 16
    case 3: channels = 1; break;  // palette: 1, 2, 4, 8
    case 4: channels = 2; break;  // grey and alpha: 8, 16
    case 6: channels = 4; break;  // colour and alpha: 8, 16
    default: return false;
    }
    const bool depthAllowed = (depth == 8 || depth == 16) ? colourType != 3 || depth == 8
                                                          : (depth == 1 || depth == 2 || depth == 4) && (colourType == 0 || colourType == 3);
    if (!depthAllowed) return false;
    layout.width = width;
    layout.height = height;
    layout.rowBytes = (static_cast<std::uint64_t>(width) * channels * depth + 7) / 8;
    return true;
}

namespace {

// A product of declared sizes, which may be as large as a file cares to say:
// past 64 bits it stays at the largest number rather than wrapping to a small one.
std::uint64_t Product(std::uint64_t a, std::uint64_t b) {
    return b != 0 && a > UINT64_MAX / b ? UINT64_MAX : a * b;
}

} // namespace

DeclaredPicture ReadDeclaredPicture(const Byte* bytes, size_t size) {
    DeclaredPicture declared;
    declared.kind = IdentifyPicture(bytes, size);
    if (declared.kind == PictureKind::Bitmap && size >= kBitmapFileHeaderBytes + 12) {
        // A signed 32-bit size as a count of pixels: a top-down height is
        // negative, and INT_MIN stays huge rather than wrapping to itself.
        auto magnitude = [](std::uint32_t raw) {
            const auto value = static_cast<std::int64_t>(static_cast<std::int32_t>(raw));
            return static_cast<std::uint64_t>(value < 0 ? -value : value);
        };
        const Byte* info = bytes + kBitmapFileHeaderBytes;
        const bool core = Little32(info) == 12;  // the old core header: 16-bit sizes
        declared.width = core ? Little16(info + 4) : magnitude(Little32(info + 4));
        declared.height = core ? Little16(info + 6) : magnitude(Little32(info + 8));
        declared.decodedBytes = Product(Product(declared.width, declared.height), 4);  // the codec's rows of four bytes
    }
    PngLayout png;
    if (declared.kind == PictureKind::Png && ReadPngLayout(bytes, size, png)) {
        declared.width = png.width;
        declared.height = png.height;
        // The codec holds the decoded rows whole, and converts them to four bytes a pixel.
        declared.decodedBytes = Product(png.rowBytes, png.height) + std::uint64_t{png.width} * 4;
    }
    return declared;
}

const wchar_t* FileTypeOf(PictureKind kind) {
    switch (kind) {
    case PictureKind::Jpeg: return L".jpg";
    case PictureKind::Gif: return L".gif";
    case PictureKind::Bitmap: return L".bmp";
    case PictureKind::Metafile: return L".wmf";
    case PictureKind::Png: return L".png";
    case PictureKind::Unknown: break;
    }
    return L"";
}

std::vector<Byte> BitmapForOleLoader(const Byte* bytes, size_t size) {
    if (IdentifyPicture(bytes, size) != PictureKind::Bitmap || size < kBitmapFileHeaderBytes) return {};
    BitmapLayout layout;
    if (!ReadBitmapLayout(bytes + kBitmapFileHeaderBytes, size - kBitmapFileHeaderBytes, layout)) return {};
    const std::uint64_t pixelsAt = Little32(bytes + 10);
    if (!GdiTakesWhole(layout, pixelsAt, size)) return {};
    if (!IsOs2HeaderSize(layout.headerBytes)) return std::vector<Byte>(bytes, bytes + size);

    // GDI knows the long form only: the same first fields, the rest zero.
    constexpr std::uint32_t longForm = 40;
    const size_t headerEnd = kBitmapFileHeaderBytes + layout.headerBytes;
    std::vector<Byte> out(bytes, bytes + kBitmapFileHeaderBytes);
    out.resize(kBitmapFileHeaderBytes + longForm, 0);
    std::memcpy(out.data() + kBitmapFileHeaderBytes, bytes + kBitmapFileHeaderBytes,
                std::min(layout.headerBytes, longForm));
    PutLittle32(out.data() + kBitmapFileHeaderBytes, longForm);
    out.insert(out.end(), bytes + headerEnd, bytes + size);
    PutLittle32(out.data() + 2, static_cast<std::uint32_t>(out.size()));
    PutLittle32(out.data() + 10, static_cast<std::uint32_t>(pixelsAt - layout.headerBytes + longForm));
    return out;
}

} // namespace snapvane
