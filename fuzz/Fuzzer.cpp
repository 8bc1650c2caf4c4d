// A libFuzzer target: the entry named by SNAPVANE_FUZZ_TARGET at build time.
#include "fuzz/FuzzTargets.h"

#include <cstring>

namespace {

snapvane::fuzz::Entry Chosen() {
    for (std::size_t k = 0; k < snapvane::fuzz::kTargetCount; ++k)
        if (std::strcmp(snapvane::fuzz::kTargets[k].name, SNAPVANE_FUZZ_TARGET) == 0) return snapvane::fuzz::kTargets[k].entry;
    return nullptr;
}

const snapvane::fuzz::Entry kEntry = Chosen();

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    kEntry(bytes, size);
    return 0;
}
