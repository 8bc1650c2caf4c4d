// The GIF reader over bytes made here: what it draws, that the first image
// alone counts, and that damage anywhere reads nothing outside the file
// (the file is copied into a buffer of its exact size, so that the native
// build's AddressSanitizer catches a read one byte past it).
#include "GifBytes.h"

#include "pictures/GifFirstImage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <utility>
#include <vector>

using namespace snapvane;
using namespace snapvane::test;

namespace {

constexpr Colour kBackground = 0x00A0B0C0;  // red C0, green B0, blue A0
const std::string kColours("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\xFF", 12);  // red, green, blue, white

// A picture drawn into a box of its own, blue first, with what the reader said.
struct Drawn {
    GifVerdict verdict = GifVerdict::Unreadable;
    std::vector<Byte> pixels;
    int width = 0;
    unsigned Blue(int x, int y) const { return pixels[static_cast<size_t>(y * width + x) * 3]; }
    unsigned Red(int x, int y) const { return pixels[static_cast<size_t>(y * width + x) * 3 + 2]; }
};

Drawn Draw(const std::string& file, int width, int height, PictureBudget budget = PictureBudget()) {
    const std::vector<Byte> bytes(file.begin(), file.end());  // exactly the file's size
    Drawn drawn;
    drawn.width = width;
    drawn.pixels.assign(static_cast<size_t>(width) * height * 3, 0x55);
    PixelTarget target{drawn.pixels.data(), width * 3, {0, 0, width, height}};
    const GifImage image = FindGifFirstImage(bytes.data(), bytes.size());
    drawn.verdict = DrawGifFirstImage(bytes.data(), bytes.size(), image, target, kBackground, budget);
    return drawn;
}

// Indices 0 to 3 scattered as by chance, so that LZW finds little to shorten.
std::vector<std::uint8_t> Pattern(unsigned width, unsigned height) {
    std::vector<std::uint8_t> pixels(static_cast<size_t>(width) * height);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) pixels[y * width + x] = static_cast<std::uint8_t>(((y * width + x) * 2654435761u >> 13) & 3);
    return pixels;
}

std::string PatternGif(unsigned width, unsigned height, bool interlaced, const std::string& extensions = "") {
    const std::vector<std::uint8_t> pixels = Pattern(width, height);
    return GifHeader(width, height, kColours) + extensions +
           GifImageBlock(width, height, Lzw(interlaced ? Interlace(pixels, width, height) : pixels, 2), 2, interlaced) + ";";
}

TEST(GifFirstImage, DrawsTheColoursOfItsTableWithTheTransparentOneAsBackground) {
    const Drawn drawn = Draw(PatternGif(6, 5, false, Transparent(3)), 6, 5);
    ASSERT_EQ(drawn.verdict, GifVerdict::Shown);
    const std::vector<std::uint8_t> pixels = Pattern(6, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const unsigned index = pixels[static_cast<size_t>(y * 6 + x)];
            const unsigned red = index == 3 ? RedOf(kBackground) : static_cast<Byte>(kColours[index * 3]);
            const unsigned blue = index == 3 ? BlueOf(kBackground) : static_cast<Byte>(kColours[index * 3 + 2]);
            EXPECT_EQ(drawn.Red(x, y), red) << x << "," << y;
            EXPECT_EQ(drawn.Blue(x, y), blue) << x << "," << y;
        }

    // A local table wins over the global one; with neither, black and white come first.
    const std::string local("\x00\x00\x00\x10\x20\x30", 6);
    Drawn withLocal = Draw(GifHeader(1, 1, kColours) + GifImageBlock(1, 1, Lzw({1}, 2), 2, false, local) + ";", 1, 1);
    EXPECT_EQ(withLocal.Red(0, 0), 0x10u);
    EXPECT_EQ(withLocal.Blue(0, 0), 0x30u);
    Drawn noTable = Draw(GifHeader(1, 1, "") + GifImageBlock(1, 1, Lzw({1}, 2), 2) + ";", 1, 1);
    EXPECT_EQ(noTable.verdict, GifVerdict::Shown);
    EXPECT_EQ(noTable.Red(0, 0), 255u);
    // Codes of up to eleven bits at the start, as some writers make them and
    // other readers take: the same colours.
    Drawn wideCodes = Draw(GifHeader(6, 5, kColours) + GifImageBlock(6, 5, Lzw(Pattern(6, 5), 11), 11) + ";", 6, 5);
    ASSERT_EQ(wideCodes.verdict, GifVerdict::Shown);
    const Drawn narrowCodes = Draw(PatternGif(6, 5, false), 6, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(wideCodes.Red(x, y), narrowCodes.Red(x, y)) << x << "," << y;
}

TEST(GifFirstImage, AnInterlacedImageAveragesAsThePlainOneShrunkOrEnlarged) {
    // Every box size exercises other spans: shrinking sums many rows per
    // target row, enlarging gives one row to several.
    for (auto [width, height] : {std::pair{61u, 45u}, std::pair{9u, 11u}, std::pair{3u, 2u}})
        for (auto [boxWidth, boxHeight] : {std::pair{7, 5}, std::pair{20, 33}, std::pair{1, 1}}) {
            const Drawn plain = Draw(PatternGif(width, height, false), boxWidth, boxHeight);
            const Drawn interlaced = Draw(PatternGif(width, height, true), boxWidth, boxHeight);
            ASSERT_EQ(plain.verdict, GifVerdict::Shown);
            ASSERT_EQ(interlaced.verdict, GifVerdict::Shown);
            EXPECT_EQ(plain.pixels, interlaced.pixels) << width << "x" << height << " into " << boxWidth << "x" << boxHeight;
        }
}

TEST(GifFirstImage, LaterFramesAreNeverLookedAt) {
    const std::string first = PatternGif(6, 5, false);
    const Drawn alone = Draw(first, 6, 5);
    const std::string body = first.substr(0, first.size() - 1);
    // A huge later frame, a damaged one, and one cut short, all after an intact first image.
    for (const std::string& later : {GifImageBlock(65535, 65535, LzwOneColour(1000, 1, 2), 2),
                                     std::string(",\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x02\xFF\x01", 13),
                                     std::string("\x21\xF9\x04", 3)}) {
        const Drawn drawn = Draw(body + later, 6, 5);
        EXPECT_EQ(drawn.verdict, GifVerdict::Shown);
        EXPECT_EQ(drawn.pixels, alone.pixels);
    }
    // Twelve frames of 16000 x 16000: drawn from the 1 x 1 first image alone.
    const Drawn huge = Draw(HugeLaterFrames(12, 16000), 4, 4);
    ASSERT_EQ(huge.verdict, GifVerdict::Shown);
    EXPECT_EQ(huge.Red(3, 3), 255u);
    EXPECT_EQ(huge.Blue(3, 3), 0u);
}

TEST(GifFirstImage, DamageEndsTheImageWhereItIsAndNothingIsReadPastTheFile) {
    const std::string valid = PatternGif(90, 30, false, Transparent(0));
    const Drawn whole = Draw(valid, 90, 30);
    const size_t data = valid.find(",") + 11;  // past the descriptor and the code size
    // Every cut: before the image's data nothing is drawn; inside it the rows
    // decoded show and the rest is the background.
    for (size_t cut = 0; cut < valid.size(); ++cut) {
        const Drawn drawn = Draw(valid.substr(0, cut), 90, 30);
        if (cut <= data + 1) {
            EXPECT_EQ(drawn.verdict, GifVerdict::Unreadable) << "cut " << cut;
            continue;
        }
        ASSERT_EQ(drawn.verdict, GifVerdict::Shown) << "cut " << cut;
        EXPECT_EQ(drawn.Red(0, 0), whole.Red(0, 0));
        if (cut < valid.size() - 3) {
            EXPECT_EQ(drawn.Red(89, 29), RedOf(kBackground)) << "cut " << cut;
        }
    }
    // Sub-block lengths past the file, codes the table does not hold yet, a
    // first code that is not a colour, and every byte of the data set to each of a few values.
    size_t lastBlock = data;
    while (static_cast<Byte>(valid[lastBlock]) == 255) lastBlock += 256;
    ASSERT_GT(lastBlock, data) << "the data takes more than one sub-block";
    std::string longBlock = valid;
    longBlock[lastBlock] = '\xFF';
    const Drawn pastTheEnd = Draw(longBlock, 90, 30);
    EXPECT_EQ(pastTheEnd.verdict, GifVerdict::Shown);
    gif::CodeWriter early;
    early.Put(4, 3);
    early.Put(1, 3);
    early.Put(7, 3);  // the table's next entry is 6
    EXPECT_EQ(Draw(GifHeader(2, 2, kColours) + GifImageBlock(2, 2, early.Finish(), 2) + ";", 2, 2).verdict,
              GifVerdict::Shown);
    gif::CodeWriter notAColour;
    notAColour.Put(4, 3);
    notAColour.Put(6, 3);
    EXPECT_EQ(Draw(GifHeader(2, 2, kColours) + GifImageBlock(2, 2, notAColour.Finish(), 2) + ";", 2, 2).verdict,
              GifVerdict::Unreadable);
    for (size_t at = data - 11; at < valid.size(); ++at)
        for (char value : {'\x00', '\x01', '\x0C', '\xFF'}) {
            std::string bytes = valid;
            bytes[at] = value;
            const GifVerdict verdict = Draw(bytes, 40, 30).verdict;
            EXPECT_TRUE(verdict == GifVerdict::Shown || verdict == GifVerdict::Unreadable) << at;
        }
}

TEST(GifFirstImage, StopsWhenTheBudgetRunsOut) {
    PictureBudget noTime(std::chrono::milliseconds(0), PictureBudget::kBytes);
    EXPECT_EQ(Draw(PatternGif(64, 64, false), 8, 8, noTime).verdict, GifVerdict::TimeUp);
    // An interlaced image keeps sums for every pixel of the box.
    PictureBudget fewBytes(PictureBudget::kTime, 1000);
    EXPECT_EQ(Draw(PatternGif(64, 64, true), 100, 100, fewBytes).verdict, GifVerdict::TooLarge);
}

} // namespace
