// The viewer's picture box: a static control that shows one bitmap, centred.
// Without a bitmap the static control paints nothing at all, so whatever was
// on screen in its place (the previous picture) would stay there. The picture
// box paints its background itself then, and repaints whenever its bitmap
// changes.
#pragma once

#include <windows.h>

namespace snapvane {

// Makes a static SS_BITMAP control a picture box; call once after creating it.
void MakePictureBox(HWND box);

} // namespace snapvane
