// The viewer window's look: its controls in the design's places (given in
// points and turned into pixels at the system's DPI), their fonts, the
// branding panel and its logo. Creating the window is the layout's; what the
// window does is DisplayPicture's.
#pragma once

#include "win32/Handles.h"

#include <windows.h>

#include <cmath>

namespace snapvane {

// Raises the internal error with the thread's last Windows error as its cause.
[[noreturn]] void RaiseLastWindowsError();

// A place in the design, in points from the parent's top-left corner.
struct Place {
    double left, top, width, height;
};

// Points to pixels at the system's DPI.
class PointScale {
public:
    PointScale();
    int X(double points) const { return static_cast<int>(std::lround(points * dpiX_ / 72.0)); }
    int Y(double points) const { return static_cast<int>(std::lround(points * dpiY_ / 72.0)); }
    RECT Rect(const Place& place) const {
        int left = X(place.left), top = Y(place.top);
        return {left, top, left + X(place.width), top + Y(place.height)};
    }
    int FontHeight(double points) const { return -Y(points); }

private:
    int dpiX_ = 96;
    int dpiY_ = 96;
};

class ViewerLayout {
public:
    // Registers the window classes of the viewer (with this procedure) and
    // of its branding panel, where they are not registered yet.
    static void RegisterClasses(WNDPROC viewerProc);
    static void UnregisterClasses() noexcept;

    // Takes the system's DPI and makes the fonts and the logo.
    void Prepare();
    // The hidden top-level window at the design's client size, or null with
    // the thread's last error; creationParam goes to its WM_NCCREATE.
    HWND CreateFrame(void* creationParam) const;
    // Every control of the design, in focus order.
    void CreateControls(HWND window) const;
    // The window went: the logo it showed is not needed any longer.
    void ReleaseLogo() noexcept;

    // The picture box's size in pixels.
    SIZE PictureBoxSize() const;

private:
    PointScale scale_;
    unique_hfont tahoma_, makerFont_, taglineFont_;
    unique_hbitmap logo_;
};

} // namespace snapvane
