// Fills the thread's viewer for the feature that the click found and shows it
// modally: up to five attributes, the picture list, and the first picture.
#pragma once

#include "tool/ToolState.h"
#include "win32/ComTypes.h"

#include <HostGis.h>

namespace snapvane {

constexpr wchar_t kViewerText[] = L"Display Picture Attributes";

// Returns once the user has closed the viewer.
void ShowPictures(const ToolState& state, const ComPtr<IFeature>& feature);

} // namespace snapvane
