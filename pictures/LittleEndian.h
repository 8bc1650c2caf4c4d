// Little-endian numbers in a file's bytes, as bitmaps, GIFs and metafiles
// store them. The caller has checked that the bytes are there.
#pragma once

#include "pictures/Bytes.h"

#include <cstdint>

namespace snapvane {

inline std::uint32_t Little16(const Byte* at) { return at[0] | (at[1] << 8); }
inline std::uint32_t Little32(const Byte* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

} // namespace snapvane
