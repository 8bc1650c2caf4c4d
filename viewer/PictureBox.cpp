#include "viewer/PictureBox.h"

#include "errors/Boundary.h"

namespace snapvane {

namespace {

constexpr wchar_t kStaticProcProperty[] = L"SnapvanePictureBoxStaticProc";

WNDPROC StaticProc(HWND box) { return reinterpret_cast<WNDPROC>(GetPropW(box, kStaticProcProperty)); }

bool HoldsBitmap(HWND box) { return CallWindowProcW(StaticProc(box), box, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0; }

// The background the static control itself fills around a centred bitmap.
HBRUSH Background(HWND box, HDC dc) {
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(GetParent(box), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(box)));
    return brush ? brush : GetSysColorBrush(COLOR_BTNFACE);
}

void PaintEmpty(HWND box) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(box, &paint);
    if (!dc) return;
    RECT client;
    GetClientRect(box, &client);
    FillRect(dc, &client, Background(box, dc));
    EndPaint(box, &paint);
}

LRESULT CALLBACK PictureBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC original = StaticProc(box);
    if (!original) return DefWindowProcW(box, message, wParam, lParam);
    return WindowBoundary<LRESULT>(box, 0, [&]() -> LRESULT {
        switch (message) {
        case WM_PAINT:
            if (!HoldsBitmap(box)) {
                PaintEmpty(box);
                return 0;
            }
            break;
        case STM_SETIMAGE: {
            LRESULT previous = CallWindowProcW(original, box, message, wParam, lParam);
            // The whole area is painted anew at once, bitmap or background;
            // a hidden box is painted whole when its window is shown.
            if (IsWindowVisible(box)) RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            return previous;
        }
        case WM_NCDESTROY:
            SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
            RemovePropW(box, kStaticProcProperty);
            break;
        }
        return CallWindowProcW(original, box, message, wParam, lParam);
    });
}

} // namespace

void MakePictureBox(HWND box) {
    if (!box || StaticProc(box)) return;
    auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(box, GWLP_WNDPROC));
    if (!original) return;
    if (!SetPropW(box, kStaticProcProperty, reinterpret_cast<HANDLE>(original))) Raise(ErrorNumber::OutOfMemory);
    SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PictureBoxProc));
}

} // namespace snapvane
