#include "win32/WindowPixels.h"

#include "win32/Handles.h"

namespace snapvane {

WindowPixels CopyWindowPixels(HWND window, bool wholeWindow) {
    WindowPixels pixels;
    RECT rect{};
    if (wholeWindow) {
        GetWindowRect(window, &rect);
        OffsetRect(&rect, -rect.left, -rect.top);
    } else {
        GetClientRect(window, &rect);
    }
    if (rect.right <= 0 || rect.bottom <= 0) return pixels;
    HDC source = wholeWindow ? GetWindowDC(window) : GetDC(window);
    if (!source) return pixels;
    unique_hdc memory(CreateCompatibleDC(source));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = rect.right;
    info.bmiHeader.biHeight = -rect.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    unique_hbitmap section(CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (memory && section && bits) {
        SelectObjectScope select(memory.get(), section.get());
        if (BitBlt(memory.get(), 0, 0, rect.right, rect.bottom, source, 0, 0, SRCCOPY)) {
            GdiFlush();
            const auto* first = static_cast<const DWORD*>(bits);
            pixels.data.assign(first, first + static_cast<size_t>(rect.right) * rect.bottom);
            pixels.width = rect.right;
            pixels.height = rect.bottom;
        }
    }
    ReleaseDC(window, source);
    return pixels;
}

} // namespace snapvane
