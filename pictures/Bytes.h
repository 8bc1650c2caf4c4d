// The plain types that the reading of picture bytes works in. Nothing here
// needs a platform header, so the code that reads what an attacker chose
// builds natively too, under sanitizers and fuzzers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace snapvane {

using Byte = std::uint8_t;

// A colour as Windows stores one in a number: red in the low byte, then
// green, then blue.
using Colour = std::uint32_t;
constexpr unsigned RedOf(Colour colour) { return colour & 0xFF; }
constexpr unsigned GreenOf(Colour colour) { return (colour >> 8) & 0xFF; }
constexpr unsigned BlueOf(Colour colour) { return (colour >> 16) & 0xFF; }

// A size in pixels.
struct Extent {
    std::int32_t cx = 0, cy = 0;
};

// A rectangle of pixels, right and bottom excluded.
struct PixelRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
};

} // namespace snapvane
