#include "support/ScreenPixels.h"

#include "viewer/DisplayPicture.h"
#include "win32/WindowPixels.h"

#include <algorithm>

namespace snapvane::test {

bool ScreenArea::AllOf(COLORREF colour) const { return Read() && CountNot(colour) == 0; }

size_t ScreenArea::CountNot(COLORREF colour) const {
    return static_cast<size_t>(std::count_if(pixels.begin(), pixels.end(), [colour](COLORREF c) { return c != colour; }));
}

ScreenArea ReadScreenArea(HWND control) {
    ScreenArea area;
    if (!control || !IsWindowVisible(control)) return area;
    // Paints that are due happen first, as they would before a person looks.
    // A paint the window's own thread has begun has already taken the update
    // region, so it is waited for: the thread answers an empty message only
    // between messages.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(control, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    RedrawWindow(control, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    SendMessageTimeoutW(control, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    const WindowPixels copied = CopyWindowPixels(control, false);
    area.width = copied.width;
    area.height = copied.height;
    area.pixels.reserve(copied.data.size());
    for (DWORD pixel : copied.data) area.pixels.push_back(WindowPixels::Colour(pixel));
    return area;
}

COLORREF ViewerBackground() { return GetSysColor(COLOR_BTNFACE); }

ScreenPicture ReadScreenPicture(HWND viewer) {
    ScreenPicture picture;
    ScreenArea area = ReadScreenArea(GetDlgItem(viewer, DisplayPictureControl::Image));
    if (!area.Read()) return picture;
    picture.read = true;
    picture.blank = area.AllOf(ViewerBackground());
    picture.centre = area.Centre();
    return picture;
}

} // namespace snapvane::test
