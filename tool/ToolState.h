// What one map click produces and the viewer reads: the picture list, its
// count and the base path. Owned by the tool object for its whole life.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace snapvane {

// The picture list has a fixed room of 1,001 entries, indices 0 to 1000.
constexpr int kPictureListSize = 1001;

struct ToolState {
    // Entries 0 to PictureCount - 1 are the last click's; entries beyond are
    // left over from earlier clicks and never read. Each entry is a field's
    // alias name, ": " and the field's value.
    std::array<std::wstring, kPictureListSize> PictureList;
    std::int16_t PictureCount = 0;
    // The folder of the layer where the last picture-naming feature was
    // found, followed by "\".
    std::wstring BasePath;
};

} // namespace snapvane
