// The pixels a window shows, copied from its device context as they were last
// painted. Nothing is invalidated: what the window painted (or failed to
// paint) is what is read. Used by the stand-in host's log and by the tests
// that read the screen.
#pragma once

#include <windows.h>

#include <vector>

namespace snapvane {

struct WindowPixels {
    int width = 0, height = 0;
    std::vector<DWORD> data;  // top-down, row by row, 0x00RRGGBB

    DWORD At(int x, int y) const { return data[static_cast<size_t>(y) * width + x] & 0xFFFFFF; }
    static COLORREF Colour(DWORD pixel) { return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF); }
};

// The client area, or with wholeWindow the window with its frame; empty (0 x
// 0) when the window has no area or cannot be read.
WindowPixels CopyWindowPixels(HWND window, bool wholeWindow);

} // namespace snapvane
