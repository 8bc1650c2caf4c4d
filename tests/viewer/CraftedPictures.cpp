#include "CraftedPictures.h"

#include <algorithm>
#include <stdexcept>

namespace snapvane::test {

namespace {

template <class T>
void Put(std::string& bytes, T value) {
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// The value of a colour channel under a mask: the channel's 8 bits scaled to
// the mask's width and moved to its place.
std::uint32_t UnderMask(std::uint32_t channel, std::uint32_t mask) {
    if (!mask) return 0;
    int shift = 0, bits = 0;
    while (!((mask >> shift) & 1)) ++shift;
    while ((mask >> (shift + bits)) & 1) ++bits;
    return ((channel * ((1u << bits) - 1) + 127) / 255) << shift;
}

} // namespace

MetafileRecords& MetafileRecords::Add(std::uint16_t function, const std::vector<std::uint16_t>& params) {
    const std::uint32_t size = static_cast<std::uint32_t>(3 + params.size());
    words_.push_back(static_cast<std::uint16_t>(size & 0xFFFF));
    words_.push_back(static_cast<std::uint16_t>(size >> 16));
    words_.push_back(function);
    words_.insert(words_.end(), params.begin(), params.end());
    largest_ = std::max<size_t>(largest_, size);
    return *this;
}

MetafileRecords& MetafileRecords::Window(int width, int height, COLORREF colour) {
    Add(META_SETWINDOWORG, {0, 0});
    Add(META_SETWINDOWEXT, {static_cast<std::uint16_t>(height), static_cast<std::uint16_t>(width)});
    Add(META_CREATEBRUSHINDIRECT, {BS_SOLID, static_cast<std::uint16_t>(colour & 0xFFFF),
                                   static_cast<std::uint16_t>(colour >> 16), 0});
    Add(META_SELECTOBJECT, {0});
    Add(META_CREATEPENINDIRECT, {PS_NULL, 0, 0, 0, 0});
    Add(META_SELECTOBJECT, {1});
    return *this;
}

std::string MetafileRecords::Placeable(int width, int height, int unitsPerInch, bool sizeCountsPlaceableHeader,
                                       bool endOfFileRecord) const {
    std::vector<std::uint16_t> records = words_;
    if (endOfFileRecord) records.insert(records.end(), {3, 0, 0});
    std::uint32_t words = static_cast<std::uint32_t>(9 + records.size()) + (sizeCountsPlaceableHeader ? 11 : 0);
    std::string bytes;
    std::uint16_t placeable[11] = {0xCDD7, 0x9AC6, 0, 0, 0, static_cast<std::uint16_t>(width),
                                   static_cast<std::uint16_t>(height), static_cast<std::uint16_t>(unitsPerInch), 0, 0, 0};
    for (int i = 0; i < 10; ++i) placeable[10] ^= placeable[i];
    for (std::uint16_t word : placeable) Put(bytes, word);
    const std::uint16_t header[9] = {1, 9, 0x300, static_cast<std::uint16_t>(words & 0xFFFF),
                                     static_cast<std::uint16_t>(words >> 16), static_cast<std::uint16_t>(objects_),
                                     static_cast<std::uint16_t>(largest_ & 0xFFFF),
                                     static_cast<std::uint16_t>(largest_ >> 16), 0};
    for (std::uint16_t word : header) Put(bytes, word);
    for (std::uint16_t word : records) Put(bytes, word);
    return bytes;
}

std::string MetafileRecords::Plain() const {
    const std::string placeable = Placeable(1, 1);
    return placeable.substr(22);
}

namespace {

std::uint16_t Word(int value) { return static_cast<std::uint16_t>(value); }

MetafileRecords& SolidBrush(MetafileRecords& records, COLORREF colour) {
    return records.Add(META_CREATEBRUSHINDIRECT, {BS_SOLID, Word(colour & 0xFFFF), Word(colour >> 16), 0});
}

// Green over left, top to right, bottom; red over its left half; no outline.
MetafileRecords& HalfRed(MetafileRecords& records, int left, int top, int right, int bottom) {
    SolidBrush(records, RGB(0, 128, 0)).Add(META_SELECTOBJECT, {0});
    records.Add(META_CREATEPENINDIRECT, {PS_NULL, 0, 0, 0, 0}).Add(META_SELECTOBJECT, {1});
    records.Add(META_RECTANGLE, {Word(bottom + 1), Word(right + 1), Word(top), Word(left)});
    SolidBrush(records, RGB(255, 0, 0)).Add(META_SELECTOBJECT, {2});
    records.Add(META_RECTANGLE, {Word(bottom + 1), Word((left + right) / 2 + 1), Word(top), Word(left)});
    return records;
}

} // namespace

std::string PlainMetafileWithWindow() {
    MetafileRecords records;
    records.Add(META_SETMAPMODE, {MM_ANISOTROPIC}).Add(META_SETWINDOWORG, {2000, 1000}).Add(META_SETWINDOWEXT, {100, 200});
    return HalfRed(records, 1000, 2000, 1200, 2100).Plain();
}

std::string PlainMetafileByBounds() {
    MetafileRecords records;
    return HalfRed(records, 500, 300, 700, 400).Plain();
}

std::string MetafileWithOldBitmaps() {
    MetafileRecords records;
    records.Window(64, 64, RGB(0, 128, 0)).Add(META_RECTANGLE, {65, 65, 0, 0});
    // Stretched: raster operation, source 8 x 8 at 0, 0, destination 32 x 64
    // at 0, 0, then the bitmap object: type 0, 8 x 8, 2 bytes a row, one
    // plane of 1 bit, its rows of white.
    std::vector<std::uint16_t> stretch{0x0020, 0x00CC, 8, 8, 0, 0, 64, 32, 0, 0, 0, 8, 8, 2, 0x0101};
    stretch.insert(stretch.end(), 8, 0xFFFF);
    records.Add(META_STRETCHBLT, stretch);
    // A bit transfer: raster operation, source at 0, 0, 32 x 32 at 32, 32,
    // then a 32 x 32 device-independent bitmap of red.
    std::vector<std::uint16_t> bitblt{0x0020, 0x00CC, 0, 0, 32, 32, 32, 32};
    const BITMAPINFOHEADER info{sizeof info, 32, 32, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const auto* infoWords = reinterpret_cast<const std::uint16_t*>(&info);
    bitblt.insert(bitblt.end(), infoWords, infoWords + sizeof info / 2);
    std::string row;
    for (int x = 0; x < 32; ++x) row += std::string("\x00\x00\xFF", 3);
    for (int y = 0; y < 32; ++y)
        for (size_t k = 0; k < row.size(); k += 2)
            bitblt.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>(row[k]) |
                                                        static_cast<unsigned char>(row[k + 1]) << 8));
    records.Add(META_BITBLT, bitblt);
    // Without a bitmap: PATCOPY with a blue brush, 32 x 16 at 32, 0.
    SolidBrush(records, RGB(0, 0, 255)).Add(META_SELECTOBJECT, {2});
    records.Add(META_BITBLT, {0x0021, 0x00F0, 0, 0, 0, 16, 32, 0, 32});
    return records.Placeable(64, 64);
}

std::vector<std::uint16_t> PolygonParams(const std::vector<POINT>& points) {
    std::vector<std::uint16_t> params{static_cast<std::uint16_t>(points.size())};
    for (const POINT& point : points) {
        params.push_back(static_cast<std::uint16_t>(point.x));
        params.push_back(static_cast<std::uint16_t>(point.y));
    }
    return params;
}

std::vector<POINT> Zigzag(int n, int width, int height) {
    std::vector<POINT> points;
    for (int k = 0; k < n; ++k) points.push_back({static_cast<LONG>(static_cast<long long>(k) * width / n), k % 2 ? height : 0});
    return points;
}

std::string EnhancedMetafile(COLORREF colour) {
    RECT frame{0, 0, 1000, 800};  // HIMETRIC
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
    if (!dc) throw std::runtime_error("CreateEnhMetaFile failed");
    HBRUSH brush = CreateSolidBrush(colour);
    RECT all{0, 0, 40, 30};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    HENHMETAFILE metafile = CloseEnhMetaFile(dc);
    std::string bytes(GetEnhMetaFileBits(metafile, 0, nullptr), '\0');
    GetEnhMetaFileBits(metafile, static_cast<UINT>(bytes.size()), reinterpret_cast<BYTE*>(bytes.data()));
    DeleteEnhMetaFile(metafile);
    return bytes;
}

std::string StreamWrapped(const std::string& content) {
    std::string bytes("lt\0\0", 4);
    Put(bytes, static_cast<std::uint32_t>(content.size()));
    return bytes + content;
}

std::string GifWithoutColourTable() {
    std::string bytes = "GIF89a";
    Put(bytes, std::uint16_t{2});
    Put(bytes, std::uint16_t{2});
    bytes += '\0';  // no global colour table
    bytes += '\0';
    bytes += '\0';
    bytes += ',';
    Put(bytes, std::uint16_t{0});
    Put(bytes, std::uint16_t{0});
    Put(bytes, std::uint16_t{2});
    Put(bytes, std::uint16_t{2});
    bytes += '\0';  // no local colour table either
    // Minimum code size 2 (clear 4, end 5), codes of 3 bits: clear, 0, 1,
    // clear, 1, 0, end; a clear before each pair keeps every code 3 bits wide.
    bytes += '\x02';
    const int codes[] = {4, 0, 1, 4, 1, 0, 5};
    std::uint32_t buffer = 0;
    int bits = 0;
    std::string data;
    for (int code : codes) {
        buffer |= static_cast<std::uint32_t>(code) << bits;
        bits += 3;
        while (bits >= 8) {
            data += static_cast<char>(buffer & 0xFF);
            buffer >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) data += static_cast<char>(buffer & 0xFF);
    bytes += static_cast<char>(data.size());
    bytes += data;
    bytes += '\0';
    bytes += ';';
    return bytes;
}

std::string BitmapVariant(std::uint32_t headerBytes, int bitCount, COLORREF colour, std::vector<std::uint32_t> masks,
                          int width, int height) {
    const bool fields = !masks.empty();
    if (!fields && bitCount == 16) masks = {0x7C00, 0x03E0, 0x001F};
    if (!fields && bitCount == 32) masks = {0xFF0000, 0x00FF00, 0x0000FF};
    const std::uint32_t stride = (static_cast<std::uint32_t>(width) * bitCount + 31) / 32 * 4;
    const bool masksAfterHeader = fields && headerBytes == 40;
    std::string info;
    Put(info, headerBytes);
    if (headerBytes == 12) {
        Put(info, static_cast<std::uint16_t>(width));
        Put(info, static_cast<std::uint16_t>(height));
        Put(info, std::uint16_t{1});
        Put(info, static_cast<std::uint16_t>(bitCount));
    } else {
        Put(info, static_cast<std::int32_t>(width));
        Put(info, static_cast<std::int32_t>(height));
        Put(info, std::uint16_t{1});
        Put(info, static_cast<std::uint16_t>(bitCount));
        if (headerBytes >= 40) {
            Put(info, static_cast<std::uint32_t>(fields ? BI_BITFIELDS : BI_RGB));
            Put(info, stride * height);
            Put(info, std::int32_t{2835});
            Put(info, std::int32_t{2835});
            Put(info, std::uint32_t{0});
            Put(info, std::uint32_t{0});
        }
        if (headerBytes >= 52) {
            for (int k = 0; k < 3; ++k) Put(info, fields ? masks[k] : 0u);
            if (headerBytes >= 56) Put(info, std::uint32_t{0});  // alpha mask
            if (headerBytes >= 108) Put(info, std::uint32_t{0x73524742});  // 'sRGB': the colour space
        }
        info.resize(headerBytes, '\0');
    }
    if (masksAfterHeader)
        for (int k = 0; k < 3; ++k) Put(info, masks[k]);

    std::string row;
    for (int x = 0; x < width; ++x) {
        if (bitCount == 24) {
            row += static_cast<char>(GetBValue(colour));
            row += static_cast<char>(GetGValue(colour));
            row += static_cast<char>(GetRValue(colour));
        } else {
            const std::uint32_t pixel = UnderMask(GetRValue(colour), masks[0]) | UnderMask(GetGValue(colour), masks[1]) |
                                        UnderMask(GetBValue(colour), masks[2]);
            row.append(reinterpret_cast<const char*>(&pixel), static_cast<size_t>(bitCount / 8));
        }
    }
    row.resize(stride, '\0');
    std::string bytes = "BM";
    Put(bytes, static_cast<std::uint32_t>(14 + info.size() + stride * height));
    Put(bytes, std::uint32_t{0});
    Put(bytes, static_cast<std::uint32_t>(14 + info.size()));
    bytes += info;
    for (int y = 0; y < height; ++y) bytes += row;
    return bytes;
}

namespace {

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

void PutBig32(std::string& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PngChunk(std::string& png, const char* type, const std::string& data) {
    PutBig32(png, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    png += typed;
    PutBig32(png, Crc32(typed));
}

} // namespace

std::string PngPicture(int width, int height, COLORREF left, COLORREF right) {
    std::string rows;
    for (int y = 0; y < height; ++y) {
        rows.push_back('\0');  // no filter
        for (int x = 0; x < width; ++x) {
            const COLORREF colour = x < width / 2 ? left : right;
            rows += {static_cast<char>(GetRValue(colour)), static_cast<char>(GetGValue(colour)),
                     static_cast<char>(GetBValue(colour))};
        }
    }
    // zlib: its header, stored blocks of at most 65,535 bytes, Adler-32.
    std::string zlib = "\x78\x01";
    for (size_t at = 0; at < rows.size() || at == 0; at += 65535) {
        const size_t length = std::min<size_t>(65535, rows.size() - at);
        zlib.push_back(at + length >= rows.size() ? 1 : 0);
        zlib += {static_cast<char>(length & 0xFF), static_cast<char>(length >> 8),
                 static_cast<char>(~length & 0xFF), static_cast<char>((~length >> 8) & 0xFF)};
        zlib += rows.substr(at, length);
        if (rows.empty()) break;
    }
    std::uint32_t a = 1, b = 0;
    for (unsigned char byte : rows) a = (a + byte) % 65521, b = (b + a) % 65521;
    PutBig32(zlib, (b << 16) | a);
    std::string header;
    PutBig32(header, static_cast<std::uint32_t>(width));
    PutBig32(header, static_cast<std::uint32_t>(height));
    header += {8, 2, 0, 0, 0};  // 8 bits, colour, deflate, no filter method, not interlaced
    std::string png = "\x89PNG\r\n\x1a\n";
    PngChunk(png, "IHDR", header);
    PngChunk(png, "IDAT", zlib);
    PngChunk(png, "IEND", "");
    return png;
}

} // namespace snapvane::test
