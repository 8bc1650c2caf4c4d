// The viewer's picture box and its attribute panel: what the window shows of
// the chosen picture and of the feature's attributes.
#pragma once

#include "win32/Handles.h"

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace snapvane {

// The picture box's bitmap, owned for as long as the box shows it.
class PicturePanel {
public:
    // Shows the picture in the window's picture box.
    void Show(HWND window, unique_hbitmap picture);
    // Empties the picture box; without a window the picture is only let go.
    void Clear(HWND window);
    // The window went, and its picture box with it.
    void Forget() noexcept;

private:
    unique_hbitmap picture_;
};

// A pair of the attribute panel is 1 to 5; any other raises "Subscript out of range".
void CheckAttributePair(int pair);

// Caption and value of one pair of the attribute panel.
void ShowAttributeCaption(HWND window, int pair, const std::wstring& caption);
void ShowAttributeValue(HWND window, int pair, const VARIANT& value);
void EmptyAttributeValue(HWND window, int pair);
void SetAttributeValueEnabled(HWND window, int pair, bool enabled);

} // namespace snapvane
