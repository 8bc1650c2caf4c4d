#include "support/ScreenPixels.h"

#include "viewer/DisplayPicture.h"
#include "win32/Handles.h"

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
    RedrawWindow(control, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT client{};
    GetClientRect(control, &client);
    if (client.right <= 0 || client.bottom <= 0) return area;
    HDC screen = GetDC(control);
    if (!screen) return area;
    unique_hdc memory(CreateCompatibleDC(screen));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    unique_hbitmap section(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (memory && section && bits) {
        SelectObjectScope select(memory.get(), section.get());
        if (BitBlt(memory.get(), 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY)) {
            GdiFlush();
            const auto* first = static_cast<const DWORD*>(bits);
            area.width = client.right;
            area.height = client.bottom;
            area.pixels.reserve(static_cast<size_t>(area.width) * area.height);
            for (size_t i = 0; i < static_cast<size_t>(area.width) * area.height; ++i)
                area.pixels.push_back(RGB((first[i] >> 16) & 0xFF, (first[i] >> 8) & 0xFF, first[i] & 0xFF));
        }
    }
    ReleaseDC(control, screen);
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
