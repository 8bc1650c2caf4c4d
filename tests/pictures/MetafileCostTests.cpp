// The drawing a metafile asks for is charged by what each record asks, so
// that a small file cannot hold the host's thread: a region is charged by its
// rectangles, and each use of a region by the rectangles it holds.
#include "pictures/MetafileCheck.h"
#include "pictures/WindowsFormats.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace snapvane;

namespace {

// A placeable metafile of 1000 x 1000 units, its records written word by word.
class Records {
public:
    Records& Add(std::uint16_t function, const std::vector<std::uint16_t>& params) {
        const auto size = static_cast<std::uint32_t>(3 + params.size());
        words_.insert(words_.end(), {static_cast<std::uint16_t>(size), static_cast<std::uint16_t>(size >> 16), function});
        words_.insert(words_.end(), params.begin(), params.end());
        return *this;
    }
    std::vector<Byte> Placeable() const {
        std::vector<std::uint16_t> all{0xCDD7, 0x9AC6, 0, 0, 0, 1000, 1000, 96, 0, 0, 0};
        for (int i = 0; i < 10; ++i) all[10] ^= all[i];
        const auto size = static_cast<std::uint32_t>(9 + words_.size() + 3);
        all.insert(all.end(), {1, 9, 0x300, static_cast<std::uint16_t>(size), static_cast<std::uint16_t>(size >> 16), 4, 0, 0, 0});
        all.insert(all.end(), words_.begin(), words_.end());
        all.insert(all.end(), {3, 0, 0});
        std::vector<Byte> bytes;
        for (std::uint16_t word : all) bytes.insert(bytes.end(), {static_cast<Byte>(word), static_cast<Byte>(word >> 8)});
        return bytes;
    }

private:
    std::vector<std::uint16_t> words_;
};

// A region of n disjoint rectangles, perBand in each band: the shape whose
// building takes Wine's player longest for its size.
std::vector<std::uint16_t> Region(int n, int perBand) {
    std::vector<std::uint16_t> params(11, 0);
    const int bands = (n + perBand - 1) / perBand;
    params[5] = static_cast<std::uint16_t>(bands);
    for (int band = 0, left = n; band < bands; ++band) {
        const int count = left < perBand ? left : perBand;
        left -= count;
        params.insert(params.end(), {static_cast<std::uint16_t>(2 * count), static_cast<std::uint16_t>(2 * band),
                                     static_cast<std::uint16_t>(2 * band + 1)});
        for (int k = 0; k < count; ++k) params.insert(params.end(), {static_cast<std::uint16_t>(3 * k), static_cast<std::uint16_t>(3 * k + 1)});
        params.push_back(static_cast<std::uint16_t>(2 * count));
    }
    return params;
}

MetafileVerdict Verdict(const std::vector<Byte>& bytes) {
    return CheckMetafile(bytes.data(), bytes.size(), {{683, 512}, {683, 512}});
}

} // namespace

TEST(MetafileCost, ARegionIsChargedByItsRectanglesNotByTheRecord) {
    EXPECT_EQ(Verdict(Records().Add(wmf::kCreateRegion, Region(300, 1)).Placeable()), MetafileVerdict::Playable);
    // One record of 32,000 rectangles: seconds of Wine's time, in 128 KB.
    EXPECT_EQ(Verdict(Records().Add(wmf::kCreateRegion, Region(32000, 16000)).Placeable()), MetafileVerdict::TooMuchDrawing);
    // Many regions of a few thousand rectangles, each under the budget.
    Records many;
    for (int k = 0; k < 40; ++k) many.Add(wmf::kCreateRegion, Region(1500, 1)).Add(wmf::kDeleteObject, {0});
    EXPECT_EQ(Verdict(many.Placeable()), MetafileVerdict::TooMuchDrawing);
}

TEST(MetafileCost, EachUseOfARegionIsChargedByItsRectangles) {
    auto painted = [](int times) {
        Records records;
        records.Add(wmf::kCreateRegion, Region(2000, 1));
        for (int k = 0; k < times; ++k) records.Add(wmf::kPaintRegion, {0});
        return records.Placeable();
    };
    EXPECT_EQ(Verdict(painted(10)), MetafileVerdict::Playable);
    // Five words a record, about ten milliseconds each under Wine.
    EXPECT_EQ(Verdict(painted(500)), MetafileVerdict::TooMuchDrawing);
}
