// A modal loop of the component's own: the thread's other top-level windows
// (the host's) are disabled while one of our windows is shown, and the call
// returns once that window says it is done.
#pragma once

#include <windows.h>

#include <functional>

namespace snapvane {

// Pumps the thread's messages until done() answers true. A WM_QUIT ends the
// loop early and is posted again for the caller's own loop.
void RunModalLoop(HWND window, const std::function<bool()>& done);

} // namespace snapvane
