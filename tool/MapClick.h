// A press on the map: from the pixel position to a map point, the search,
// and then either the filled viewer or the message that nothing was found.
#pragma once

#include "tool/ToolState.h"
#include "win32/ComTypes.h"

#include <HostGis.h>

namespace snapvane {

constexpr wchar_t kNoImagesFound[] = L"No images found. Select another layer or feature.";

// Every button and modifier is handled alike. Errors are not trapped: they
// end the click and go back to the host.
void HandleMapClick(ToolState& state, const ComPtr<IApplication>& application, long x, long y);

} // namespace snapvane
