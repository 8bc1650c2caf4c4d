// MyIcommand: the one class the host creates from this component. A single
// object is both a command (a button with a caption and an image) and a map
// tool (it receives the map's mouse and keyboard events).
#pragma once

#include <windows.h>

namespace snapvane {

// Creates a new MyIcommand, loading its button image and cursor from the
// component's own resources, and queries it for iid. Creation fails, and no
// object exists, when either image cannot be loaded.
HRESULT CreateMyIcommand(REFIID iid, void** object) noexcept;

} // namespace snapvane
