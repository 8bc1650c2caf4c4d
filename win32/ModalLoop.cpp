#include "win32/ModalLoop.h"

#include <vector>

namespace snapvane {

namespace {

struct DisabledWindows {
    HWND modal;
    std::vector<HWND> windows;
};

BOOL CALLBACK DisableOne(HWND window, LPARAM param) {
    auto* disabled = reinterpret_cast<DisabledWindows*>(param);
    if (window != disabled->modal && IsWindowVisible(window) && IsWindowEnabled(window)) {
        EnableWindow(window, FALSE);
        disabled->windows.push_back(window);
    }
    return TRUE;
}

} // namespace

void RunModalLoop(HWND window, const std::function<bool()>& done) {
    DisabledWindows disabled{window, {}};
    EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&disabled));
    MSG message;
    bool quit = false;
    int quitCode = 0;
    while (!done()) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) { quit = true; quitCode = static_cast<int>(message.wParam); break; }
        if (got == -1) break;
        if (!IsDialogMessageW(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    for (HWND other : disabled.windows)
        if (IsWindow(other)) EnableWindow(other, TRUE);
    if (quit) PostQuitMessage(quitCode);
}

} // namespace snapvane
