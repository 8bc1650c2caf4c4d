// A JPEG's decoding draws on one budget of blocks, time and memory for all
// its tries, and ends where the budget runs out, not after the work.
#include "CraftedJpeg.h"
#include "pictures/JpegPicture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <string>
#include <vector>

using namespace snapvane;
using namespace snapvane::test;

namespace {

ReadOutcome Decode(const std::string& file, PictureBudget& budget, double blocks = JpegPicture::kBlocks) {
    std::vector<Byte> bits(64 * 3 * 48);
    const PixelTarget target{bits.data(), 64 * 3, {0, 0, 64, 48}};
    JpegPicture picture;
    if (!picture.Open(reinterpret_cast<const Byte*>(file.data()), file.size())) return ReadOutcome::Unreadable;
    return picture.ScaleInto(target, 0, budget, blocks);
}

// Decoded under the picture's memory and blocks, with time to spare: these
// tests prove the count of work, which no busy machine changes.
ReadOutcome Decode(const std::string& file) {
    PictureBudget budget(std::chrono::seconds(60), PictureBudget::kBytes);
    return Decode(file, budget);
}

// An ordinary progressive photograph-like picture from libjpeg's encoder.
std::string ProgressiveJpeg(int width, int height) {
    jpeg_compress_struct encoder{};
    jpeg_error_mgr errors{};
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&encoder, &out, &size);
    encoder.image_width = static_cast<JDIMENSION>(width);
    encoder.image_height = static_cast<JDIMENSION>(height);
    encoder.input_components = 3;
    encoder.in_color_space = JCS_RGB;
    jpeg_set_defaults(&encoder);
    jpeg_simple_progression(&encoder);
    jpeg_start_compress(&encoder, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width) * 3);
    while (encoder.next_scanline < encoder.image_height) {
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                row[static_cast<size_t>(x) * 3 + c] = static_cast<JSAMPLE>((x * (c + 1) + encoder.next_scanline * 3) & 0xFF);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&encoder, rows, 1);
    }
    jpeg_finish_compress(&encoder);
    std::string bytes(reinterpret_cast<const char*>(out), size);
    jpeg_destroy_compress(&encoder);
    std::free(out);
    return bytes;
}

TEST(JpegBudget, ScansOfNoDataBeforeACutTableAreRefusedWithinOneBudgetForEveryTry) {
    // Arithmetic-coded, 7000 x 7000: each scan decodes every block of its
    // band bit by bit. A search backwards for the cut table's start finds
    // only the FF C4 pairs inside it; the file was once decoded five times.
    CraftedJpeg crafted;
    CraftedJpeg moreRefinements = crafted;
    for (int k = 0; k < 30; ++k) moreRefinements.scans.push_back({{1}, 1, 63, 1, 0});
    for (const CraftedJpeg& file : {crafted, moreRefinements}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Decode(file.Bytes()), ReadOutcome::TooMuchWork);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%zu scans: refused after %.2f s\n", file.scans.size(), seconds);
    }
    // Huffman-coded, its scans cost a block a block: shown once more, cut
    // after its whole scans, within the same budget.
    crafted.arithmetic = false;
    EXPECT_EQ(Decode(crafted.Bytes()), ReadOutcome::Shown);
}

TEST(JpegBudget, DecodingEndsWhereTheBudgetRunsOut) {
    const std::string photo = ProgressiveJpeg(640, 480);
    EXPECT_EQ(Decode(photo), ReadOutcome::Shown);
    // Blocks for the first scans only: the decoding stops inside a later one.
    PictureBudget budget(std::chrono::seconds(60), PictureBudget::kBytes);
    EXPECT_EQ(Decode(photo, budget, 10'000), ReadOutcome::TooMuchWork);
    EXPECT_EQ(budget.BytesLeft(), PictureBudget::kBytes) << "the rows taken are given back";
    PictureBudget noTime(std::chrono::milliseconds(0), PictureBudget::kBytes);
    EXPECT_EQ(Decode(photo, noTime), ReadOutcome::TooMuchWork);
    // Its coefficients (900 KB) are more than a budget of 256 KB.
    PictureBudget littleMemory(PictureBudget::kTime, 256 * 1024);
    EXPECT_EQ(Decode(photo, littleMemory), ReadOutcome::TooMuchMemory);
}

TEST(JpegBudget, CoefficientsBeyondTheMemoryBudgetAreRefusedBeforeTheyAreTaken) {
    // 50 megapixels, progressive: with colour at half size the coefficients
    // take 150 MB and are decoded; at full size 300 MB, more than the 256 MB
    // a picture may hold.
    CraftedJpeg large;
    large.width = 8160;
    large.height = 6120;
    large.arithmetic = false;
    large.cutTablePairs = 0;
    large.scans = {{{1, 2, 3}, 0, 0, 0, 1}};
    PictureBudget time(std::chrono::seconds(60), PictureBudget::kBytes);  // memory is the point here
    EXPECT_EQ(Decode(large.Bytes(), time), ReadOutcome::Shown);
    large.halfSizeColour = false;
    EXPECT_EQ(Decode(large.Bytes(), time), ReadOutcome::TooMuchMemory);
}

} // namespace
