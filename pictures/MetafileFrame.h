// The frame of a Windows metafile: the logical window its records are drawn
// from, and the picture's size. A placeable metafile declares both in its
// header; a plain one, without that header, takes its frame from its own
// window records, as other readers take it, or else from the bounds of what
// it draws.
#pragma once

#include "pictures/Bytes.h"

#include <cstddef>
#include <cstdint>

namespace snapvane {

struct MetafileFrame {
    // The logical window the player sets before the first record, to be
    // mapped onto the picture's place: from (left, top), width x height
    // units (negative where the records' own window runs the other way).
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    // The picture's size in HIMETRIC: its proportions in the box.
    std::int32_t himetricWidth = 0, himetricHeight = 0;
    // Where the metafile header starts: after the placeable header, if any.
    size_t recordsAt = 0;
};

// A plain metafile has no unit of its own: a logical unit is taken as a
// pixel at 96 DPI, as a player maps its window onto a screen of square pixels.
constexpr std::int32_t kPlainMetafileUnitsPerInch = 96;

// The frame of a placeable or plain metafile; false when the bytes are no
// metafile, a record is not playable (IsPlayableMetafile), or a plain one
// sets no window and draws nothing.
bool ReadMetafileFrame(const Byte* bytes, size_t size, MetafileFrame& frame);

} // namespace snapvane
