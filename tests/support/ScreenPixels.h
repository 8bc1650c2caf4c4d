// What a control shows on screen, read from its pixels the way the stand-in
// host's log reads them: pending paints are done first, then the control's
// client area is copied from the screen. Usable from any thread whose own
// messages do not block the control's thread.
#pragma once

#include <windows.h>

#include <vector>

namespace snapvane::test {

struct ScreenArea {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;  // top-down, row by row

    bool Read() const { return width > 0 && height > 0; }
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    COLORREF Centre() const { return At(width / 2, height / 2); }
    // True when every pixel has this colour.
    bool AllOf(COLORREF colour) const;
    // How many pixels differ from this colour.
    size_t CountNot(COLORREF colour) const;
};

// The control's client area as it is on screen now. Nothing is invalidated:
// what the control painted (or failed to paint) is what is read.
ScreenArea ReadScreenArea(HWND control);

// The picture box as a person sees it: its background only, or a picture.
struct ScreenPicture {
    bool read = false;    // the area could be read (the window is on screen)
    bool blank = false;   // every pixel is the viewer's background colour
    COLORREF centre = CLR_INVALID;
};
ScreenPicture ReadScreenPicture(HWND viewer);

// The viewer's background: the colour an empty picture box shows.
COLORREF ViewerBackground();

} // namespace snapvane::test
