// The component's message boxes: an OK button only, no icon, and the
// component's application title.
#pragma once

#include <windows.h>

#include <string>

namespace snapvane {

constexpr wchar_t kApplicationTitle[] = L"Snapvane";

// Shows the text modally over the owner (or the thread's active window when
// owner is null) and waits until the user closes the box.
void ShowMessage(HWND owner, const std::wstring& text);

} // namespace snapvane
