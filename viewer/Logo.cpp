#include "viewer/Logo.h"

#include "errors/RuntimeError.h"

#include <type_traits>

namespace snapvane {

namespace {

using unique_hpen = std::unique_ptr<std::remove_pointer_t<HPEN>, GdiObjectDeleter>;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kSky = RGB(0, 0, 255);
constexpr COLORREF kVane = RGB(255, 0, 0);

void DrawDisc(HDC dc) {
    unique_hbrush sky(CreateSolidBrush(kSky));
    unique_hpen rim(CreatePen(PS_SOLID, 2, RGB(0, 0, 160)));
    SelectObjectScope brush(dc, sky.get());
    SelectObjectScope pen(dc, rim.get());
    Ellipse(dc, 6, 5, 70, 68);
}

void DrawVane(HDC dc) {
    // The arrow points north-east; its tail is white, its head red.
    unique_hbrush head(CreateSolidBrush(kVane));
    unique_hbrush tail(CreateSolidBrush(kWhite));
    unique_hpen none(CreatePen(PS_NULL, 0, 0));
    SelectObjectScope pen(dc, none.get());
    {
        SelectObjectScope brush(dc, head.get());
        POINT arrow[] = {{58, 14}, {34, 24}, {42, 30}, {48, 38}};
        Polygon(dc, arrow, 4);
    }
    {
        SelectObjectScope brush(dc, tail.get());
        POINT feather[] = {{45, 33}, {40, 28}, {16, 52}, {22, 58}};
        Polygon(dc, feather, 4);
    }
}

} // namespace

unique_hbitmap CreateLogoBitmap() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kLogoWidth;
    info.bmiHeader.biHeight = -kLogoHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    unique_hbitmap logo(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    unique_hdc dc(CreateCompatibleDC(nullptr));
    if (!logo || !dc) Raise(ErrorNumber::OutOfMemory);
    {
        SelectObjectScope selected(dc.get(), logo.get());
        RECT whole{0, 0, kLogoWidth, kLogoHeight};
        FillRect(dc.get(), &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        DrawDisc(dc.get());
        DrawVane(dc.get());
        GdiFlush();
    }
    return logo;
}

} // namespace snapvane
