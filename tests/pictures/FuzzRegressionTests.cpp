// What fuzzing once found, replayed through the same entries on every build.
#include "fuzz/FuzzTargets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace snapvane::fuzz {
namespace {

std::vector<std::uint8_t> ReadWhole(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(FuzzRegressions, EveryFindingReplaysCleanly) {
    const std::filesystem::path folder(SNAPVANE_REGRESSIONS);
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder.string();
    int replayed = 0;
    for (std::size_t k = 0; k < kTargetCount; ++k) {
        const std::filesystem::path findings = folder / kTargets[k].name;
        if (!std::filesystem::is_directory(findings)) continue;
        for (const auto& file : std::filesystem::directory_iterator(findings)) {
            SCOPED_TRACE(file.path().string());
            const std::vector<std::uint8_t> bytes = ReadWhole(file.path());
            kTargets[k].entry(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    RecordProperty("replayed", replayed);
}

} // namespace
} // namespace snapvane::fuzz
