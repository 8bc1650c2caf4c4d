// Windows bitmaps read by the viewer's own reader: every depth and row order
// gives the colours the file stores, and a file whose headers promise more
// than it holds is refused before a row is read, without a byte read past it.
#include "pictures/BitmapPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

using namespace snapvane;

namespace {

constexpr std::uint32_t kWidth = 5, kHeight = 3;  // odd: every row is padded

void Put16(std::vector<Byte>& out, std::uint32_t value) {
    out.push_back(static_cast<Byte>(value));
    out.push_back(static_cast<Byte>(value >> 8));
}
void Put32(std::vector<Byte>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}
void Set32(std::vector<Byte>& bytes, size_t at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<Byte>(value >> (8 * k));
}

struct Bgr {
    double blue, green, red;
};

// A crafted bitmap and the colour a reader must show at each pixel, top row first.
struct Crafted {
    std::string what;
    std::vector<Byte> bytes = {};
    std::vector<Bgr> expected = {};
    double tolerance = 0;
};

struct Form {
    std::string what;
    std::uint32_t headerBytes = 40, bitCount = 24, compression = 0;
    std::vector<std::uint32_t> masks = {};  // red, green, blue; after the first 40 bytes of the header
    bool topDown = false;
    std::uint32_t coloursUsed = 0;
    std::uint32_t alphaMask = 0;  // inside a V3 to V5 header
};

// The value stored for pixel (x, y) of the upright picture, and the colour
// it stands for, computed apart from the reader: palette entries are
// made up, bit fields are scaled to 0..255 in real numbers.
Crafted Make(const Form& form) {
    const bool core = form.headerBytes == 12, palette = form.bitCount <= 8;
    const std::uint32_t entries = palette ? (form.coloursUsed ? form.coloursUsed : 1u << form.bitCount) : 0;
    std::vector<Bgr> table;
    std::vector<Byte> info;
    Put32(info, form.headerBytes);
    if (core) {
        Put16(info, kWidth), Put16(info, kHeight), Put16(info, 1), Put16(info, form.bitCount);
    } else {
        Put32(info, kWidth);
        Put32(info, form.topDown ? static_cast<std::uint32_t>(-static_cast<std::int32_t>(kHeight)) : kHeight);
        Put16(info, 1), Put16(info, form.bitCount);
        Put32(info, form.compression), Put32(info, 0), Put32(info, 2835), Put32(info, 2835);
        Put32(info, form.coloursUsed), Put32(info, 0);
        info.resize(form.headerBytes);
    }
    if (!form.masks.empty()) {
        info.resize(std::max<size_t>(info.size(), 52));
        for (int k = 0; k < 3; ++k) Set32(info, 40 + 4 * k, form.masks[k]);
        if (form.alphaMask) Set32(info, 52, form.alphaMask);
    }
    for (std::uint32_t k = 0; k < entries; ++k) {
        const Byte b = static_cast<Byte>(k * 37 + 5), g = static_cast<Byte>(k * 91 + 11), r = static_cast<Byte>(250 - k * 13);
        info.push_back(b), info.push_back(g), info.push_back(r);
        if (!core) info.push_back(0x7F);  // reserved: never a colour
        table.push_back({double(b), double(g), double(r)});
    }
    std::vector<std::uint32_t> masks = form.masks;
    if (masks.empty() && form.bitCount == 16) masks = {0x7C00, 0x03E0, 0x001F};
    if (masks.empty() && form.bitCount == 32) masks = {0xFF0000, 0x00FF00, 0x0000FF};

    Crafted out{form.what};
    const std::uint32_t stride = (kWidth * form.bitCount + 31) / 32 * 4;
    std::vector<std::vector<Byte>> rows(kHeight, std::vector<Byte>(stride, 0));
    out.expected.resize(kWidth * kHeight);
    for (std::uint32_t y = 0; y < kHeight; ++y)
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            std::vector<Byte>& row = rows[form.topDown ? y : kHeight - 1 - y];
            const std::uint32_t seed = (x * 7 + y * 13) * 2654435761u;
            Bgr& want = out.expected[y * kWidth + x];
            if (palette) {
                const std::uint32_t index = (x + 3 * y) % entries;
                const unsigned perByte = 8 / form.bitCount;
                row[x / perByte] |= static_cast<Byte>(index << ((perByte - 1 - x % perByte) * form.bitCount));
                want = table[index];
            } else if (form.bitCount == 24) {
                for (int c = 0; c < 3; ++c) row[x * 3 + c] = static_cast<Byte>(seed >> (8 * c));
                want = {double(row[x * 3]), double(row[x * 3 + 1]), double(row[x * 3 + 2])};
            } else {
                const std::uint32_t bytes = form.bitCount / 8;
                for (std::uint32_t c = 0; c < bytes; ++c) row[x * bytes + c] = static_cast<Byte>(seed >> (8 * c));
                double channel[3];
                for (int c = 0; c < 3; ++c) {
                    std::uint32_t mask = masks[c], shift = 0;
                    while (!(mask >> shift & 1)) ++shift;
                    channel[c] = double((seed & mask) >> shift) * 255.0 / double(mask >> shift);
                }
                want = {channel[2], channel[1], channel[0]};
                out.tolerance = 0.5;
                if (form.alphaMask) {
                    // Laid over the black background by its cover.
                    const double cover = double((seed & form.alphaMask) >> 24) / 255.0;
                    want = {want.blue * cover, want.green * cover, want.red * cover};
                    out.tolerance = 1;
                }
            }
        }
    const std::uint32_t pixelsAt = static_cast<std::uint32_t>(14 + info.size());
    out.bytes = {'B', 'M'};
    Put32(out.bytes, pixelsAt + stride * kHeight), Put32(out.bytes, 0), Put32(out.bytes, pixelsAt);
    out.bytes.insert(out.bytes.end(), info.begin(), info.end());
    for (const auto& row : rows) out.bytes.insert(out.bytes.end(), row.begin(), row.end());
    return out;
}

// Reads the file's bytes as from a file holding only the first `available`.
PieceRows::Read FileOf(const std::vector<Byte>& bytes, size_t available) {
    return [&bytes, available](std::uint64_t offset, Byte* out, size_t wanted) -> size_t {
        if (offset >= available) return 0;
        const auto count = static_cast<size_t>(std::min<std::uint64_t>(wanted, available - offset));
        std::copy_n(bytes.data() + offset, count, out);
        return count;
    };
}

// The picture read at its own size into a bitmap with a margin it must not
// touch: from its bytes in memory, or from its headers and then in pieces of
// three rows, as from a file, of which only `available` bytes are there.
std::vector<Byte> ReadAtOwnSize(const std::vector<Byte>& bytes, bool& read, bool inPieces = false,
                                size_t available = SIZE_MAX) {
    BitmapPicture picture;
    const size_t head = inPieces ? std::min(bytes.size(), BitmapPicture::kHeadBytes) : bytes.size();
    read = picture.Open(bytes.data(), head, bytes.size()) == BitmapVerdict::Rows;
    const std::int32_t stride = (kWidth + 2) * 3;
    std::vector<Byte> bitmap(static_cast<size_t>(stride) * (kHeight + 2), 0xEE);
    PictureBudget budget;
    const PixelTarget target{bitmap.data(), stride, {1, 1, 1 + kWidth, 1 + kHeight}};
    PieceRows rows(FileOf(bytes, std::min(available, bytes.size())), bytes.size(),
                   static_cast<size_t>(picture.RowBytes() * 3), picture.RowsComeLastFirst());
    if (read) read = inPieces ? picture.ScaleInto(target, 0, budget, rows) : picture.ScaleInto(target, 0, budget);
    return bitmap;
}

TEST(BitmapPicture, EveryDepthHeaderAndRowOrderGivesTheStoredColours) {
    const Form forms[] = {
        {"1 bit", 40, 1},
        {"4 bits, 11 colours used", 40, 4, 0, {}, false, 11},
        {"8 bits, top-down", 40, 8, 0, {}, true},
        {"8 bits after a core header", 12, 8},
        {"24 bits", 40, 24},
        {"24 bits, top-down", 40, 24, 0, {}, true},
        {"24 bits after a core header", 12, 24},
        {"24 bits after an OS/2 header of 16 bytes", 16, 24},
        {"24 bits after a header of 66 bytes", 66, 24},
        {"16 bits, 5-5-5 by default", 40, 16},
        {"16 bits, 5-6-5 masks after the header", 40, 16, 3, {0xF800, 0x07E0, 0x001F}},
        {"16 bits, 4-4-4 masks in a V4 header", 108, 16, 3, {0x0F00, 0x00F0, 0x000F}, true},
        {"32 bits", 40, 32},
        {"32 bits, 10-10-10 masks in a V5 header", 124, 32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF}},
        {"32 bits, masks in a header of 66 bytes", 66, 32, 3, {0x000000FF, 0x0000FF00, 0x00FF0000}},
        {"32 bits, alpha in a V5 header", 124, 32, 3, {0xFF0000, 0x00FF00, 0x0000FF}, false, 0, 0xFF000000},
    };
    for (const Form& form : forms) {
        SCOPED_TRACE(form.what);
        const Crafted crafted = Make(form);
        for (bool inPieces : {false, true}) {
            SCOPED_TRACE(inPieces ? "read in pieces" : "read whole");
            bool read = false;
            const std::vector<Byte> bitmap = ReadAtOwnSize(crafted.bytes, read, inPieces);
            ASSERT_TRUE(read);
            int wrong = 0;
            for (std::uint32_t y = 0; y < kHeight + 2; ++y)
                for (std::uint32_t x = 0; x < kWidth + 2; ++x) {
                    const Byte* got = &bitmap[(y * (kWidth + 2) + x) * 3];
                    const bool inside = x >= 1 && x <= kWidth && y >= 1 && y <= kHeight;
                    const Bgr want = inside ? crafted.expected[(y - 1) * kWidth + (x - 1)] : Bgr{0xEE, 0xEE, 0xEE};
                    const double channels[3] = {want.blue, want.green, want.red};
                    for (int c = 0; c < 3; ++c)
                        if (std::fabs(got[c] - channels[c]) > crafted.tolerance) ++wrong;
                }
            EXPECT_EQ(wrong, 0);
        }
        // A file cut short after its headers were read is refused, never overread.
        bool read = true;
        ReadAtOwnSize(crafted.bytes, read, true, crafted.bytes.size() - 1);
        EXPECT_FALSE(read);
    }
}

TEST(BitmapPicture, HeadersPromisingMoreThanTheFileHoldsAreRefusedUnread) {
    const std::vector<Byte> valid = Make({"8 bits", 40, 8}).bytes;
    const std::vector<Byte> fields = Make({"16 bits", 40, 16, 3, {0xF800, 0x07E0, 0x001F}}).bytes;
    auto with = [](std::vector<Byte> bytes, size_t at, std::uint32_t value, int width = 4) {
        for (int k = 0; k < width; ++k) bytes[at + k] = static_cast<Byte>(value >> (8 * k));
        return bytes;
    };
    const std::pair<std::string, std::vector<Byte>> damaged[] = {
        {"pixels beyond the file", with(valid, 10, 0x7FFFFFF0u)},
        {"pixels inside the header", with(valid, 10, 20)},
        {"rows beyond the file", with(valid, 22, kHeight + 1)},
        {"rows beyond the file, top-down", with(valid, 22, static_cast<std::uint32_t>(-std::int32_t{kHeight} - 1))},
        {"a width that wraps the row size", with(valid, 18, 0x7FFFFFFF)},
        {"header longer than the file", with(valid, 14, static_cast<std::uint32_t>(valid.size()))},
        {"header of 4 GB", with(valid, 14, 0xFFFFFFFFu)},
        {"header of 66 bytes pushing the colour table past the end", with(valid, 14, 66)},
        {"header of 13 bytes", with(valid, 14, 13)},
        {"two planes", with(valid, 26, 2, 2)},
        {"2 bits a pixel", with(valid, 28, 2, 2)},
        {"64 bits a pixel", with(valid, 28, 64, 2)},
        {"width 0", with(valid, 18, 0)},
        {"height 0", with(valid, 22, 0)},
        {"height of the most negative number", with(valid, 22, 0x80000000u)},
        {"more colours used than 8 bits hold", with(valid, 46, 257)},
        {"masks beyond a cut file", std::vector<Byte>(fields.begin(), fields.begin() + 60)},
    };
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        BitmapPicture picture;
        EXPECT_EQ(picture.Open(bytes.data(), bytes.size()), BitmapVerdict::Unreadable);
    }
    // Cut anywhere, the file misses a row or a header: nothing past the cut is
    // read (a copy of exactly the cut's size lets the sanitizers see it).
    for (size_t cut = 0; cut < valid.size(); ++cut) {
        const std::vector<Byte> bytes(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(cut));
        BitmapPicture picture;
        EXPECT_EQ(picture.Open(bytes.data(), bytes.size()), BitmapVerdict::Unreadable) << "cut at " << cut;
    }
    // Run-length pixels are not read here, nor refused.
    BitmapPicture picture;
    const std::vector<Byte> runLength = with(valid, 30, 1);
    EXPECT_EQ(picture.Open(runLength.data(), runLength.size()), BitmapVerdict::Elsewhere);
}

TEST(BitmapPicture, ASpentBudgetStopsTheReading) {
    const std::vector<Byte> bytes = Make({"4 bits", 40, 4}).bytes;
    BitmapPicture picture;
    ASSERT_EQ(picture.Open(bytes.data(), bytes.size()), BitmapVerdict::Rows);
    std::vector<Byte> bitmap(kWidth * kHeight * 3);
    const PixelTarget target{bitmap.data(), static_cast<std::int32_t>(kWidth * 3), {0, 0, kWidth, kHeight}};
    PictureBudget outOfTime(std::chrono::milliseconds(0), PictureBudget::kBytes);
    EXPECT_FALSE(picture.ScaleInto(target, 0, outOfTime));
    PictureBudget noRoomForARow(PictureBudget::kTime, kWidth * 3 - 1);
    EXPECT_FALSE(picture.ScaleInto(target, 0, noRoomForARow));
}

} // namespace
