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
    // Shows the picture in the picture box.
    void Show(HWND box, unique_hbitmap picture);
    // Empties the picture box; without a box the picture is only let go.
    void Clear(HWND box);
    // The window went, and its picture box with it.
    void Forget() noexcept;

private:
    unique_hbitmap picture_;
};

// A pair of the attribute panel is 1 to 5; any other raises "Subscript out of range".
void CheckAttributePair(int pair);

// Caption and value of one pair of the attribute panel: its label and its
// value box. A control is changed only where it shows something else.
void ShowAttributeCaption(HWND label, const std::wstring& caption);
void ShowAttributeValue(HWND box, const VARIANT& value);
void EmptyAttributeValue(HWND box);
void SetAttributeValueEnabled(HWND box, bool enabled);

} // namespace snapvane
