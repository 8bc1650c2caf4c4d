// Averaging to the box row by row gives, for every target pixel, the rounded
// average of the source pixels it covers (the nearest one when enlarging),
// whatever the sizes: the same as averaging the whole picture at once.
#include "pictures/RowAverage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace snapvane;

namespace {

struct Case {
    unsigned sourceWidth, sourceHeight;
    std::int32_t targetWidth, targetHeight;
};

// The whole-picture reference: the spans of each axis as the viewer takes them.
Byte Expected(const std::vector<Byte>& source, const Case& c, std::int32_t x, std::int32_t y, int channel) {
    auto span = [](unsigned size, std::int32_t count, std::int32_t k, unsigned& first, unsigned& last) {
        first = static_cast<unsigned>(static_cast<std::uint64_t>(k) * size / static_cast<std::uint64_t>(count));
        last = static_cast<unsigned>(static_cast<std::uint64_t>(k + 1) * size / static_cast<std::uint64_t>(count));
        if (last < first + 1) last = first + 1;
    };
    unsigned left, right, top, bottom;
    span(c.sourceWidth, c.targetWidth, x, left, right);
    span(c.sourceHeight, c.targetHeight, y, top, bottom);
    std::uint64_t sum = 0, count = 0;
    for (unsigned sy = top; sy < bottom; ++sy)
        for (unsigned sx = left; sx < right; ++sx, ++count) sum += source[(static_cast<size_t>(sy) * c.sourceWidth + sx) * 3 + channel];
    return static_cast<Byte>((sum + count / 2) / count);
}

TEST(RowAverage, EveryTargetPixelIsTheRoundedAverageOfWhatItCovers) {
    const Case cases[] = {{37, 23, 11, 7},   {5, 3, 17, 13},   {1000, 3, 7, 2},  {3, 900, 2, 8},
                          {683, 512, 683, 512}, {1000, 750, 683, 512}, {64, 48, 683, 512}, {9000, 2, 3, 1}};
    std::uint32_t state = 12345;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.sourceWidth) + "x" + std::to_string(c.sourceHeight) + " to " +
                     std::to_string(c.targetWidth) + "x" + std::to_string(c.targetHeight));
        std::vector<Byte> source(static_cast<size_t>(c.sourceWidth) * c.sourceHeight * 3);
        for (Byte& value : source) {
            state = state * 1103515245u + 12345u;
            value = static_cast<Byte>(state >> 24);
        }
        // The target sits inside a larger bitmap, which it must not touch.
        const std::int32_t stride = (c.targetWidth + 4) * 3;
        std::vector<Byte> bitmap(static_cast<size_t>(stride) * (c.targetHeight + 2), 0xEE);
        PixelTarget target{bitmap.data(), stride, PixelRect{2, 1, 2 + c.targetWidth, 1 + c.targetHeight}};
        RowAverage average(c.sourceWidth, c.sourceHeight, 3, false, target, Colour{0});
        for (unsigned row = 0; row < c.sourceHeight; ++row) average.AddRow(&source[static_cast<size_t>(row) * c.sourceWidth * 3]);
        EXPECT_TRUE(average.Done());
        int wrong = 0;
        for (std::int32_t y = 0; y < c.targetHeight + 2; ++y)
            for (std::int32_t x = 0; x < c.targetWidth + 4; ++x)
                for (int channel = 0; channel < 3; ++channel) {
                    const bool inside = x >= 2 && x < 2 + c.targetWidth && y >= 1 && y < 1 + c.targetHeight;
                    const Byte want = inside ? Expected(source, c, x - 2, y - 1, channel) : 0xEE;
                    if (bitmap[static_cast<size_t>(y) * stride + x * 3 + channel] != want && ++wrong <= 3)
                        ADD_FAILURE() << "at " << x << "," << y << " channel " << channel;
                }
        EXPECT_EQ(wrong, 0);
    }
}

} // namespace
