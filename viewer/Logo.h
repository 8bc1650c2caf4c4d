// The maker's logo in the branding panel: a 76 x 73 pixel, 24-bit picture drawn
// in code, so that the component's resources stay as they are.
#pragma once

#include "win32/Handles.h"

namespace snapvane {

constexpr int kLogoWidth = 76;
constexpr int kLogoHeight = 73;

// A new bitmap with the logo: a blue disc with a red and white vane on white.
unique_hbitmap CreateLogoBitmap();

} // namespace snapvane
