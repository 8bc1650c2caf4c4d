// Reads what a person would see in the tool's windows, from outside the tool:
// only Win32 calls on the real windows (texts, states, pixels). Safe to call
// from another thread than the windows' own while that thread pumps messages.
#pragma once

#include "hostapp/JsonLog.h"

#include <windows.h>

#include <string>
#include <vector>

namespace snapvane::hostapp {

enum class WindowKind { MessageBox, CallStackReport, Viewer, Other };

WindowKind KindOf(HWND window);
std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);

// The visible top-level windows of this process other than the excluded one,
// the most recently activated first (Z order).
std::vector<HWND> VisibleTopLevelWindows(HWND excluded);

// {"title", "text"} of a standard message box.
Json ReadMessageBox(HWND box);
// {"title", "text"} of the call-stack report window.
Json ReadCallStackReport(HWND report);
// The viewer as a person sees it: title, chooser, attribute pairs, picture.
Json ReadViewer(HWND viewer);

// The picture box's content: {"empty": true}, or the displayed picture's size
// in pixels and the colour at its centre ("#rrggbb").
Json ReadPictureArea(HWND pictureBox);

// Writes the window as it is on screen (frame included) to a 24-bit BMP file.
bool SaveWindowBitmap(HWND window, const std::wstring& path);

} // namespace snapvane::hostapp
