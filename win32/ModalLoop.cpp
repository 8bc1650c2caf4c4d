#include "win32/ModalLoop.h"

#include <exception>
#include <vector>

namespace snapvane {

namespace {

struct DisabledWindows {
    HWND modal;
    std::vector<HWND> windows;
    std::exception_ptr failure;
};

// Runs inside user32: nothing may be thrown from here. A window is disabled
// only once it is on the list, so that every window disabled is enabled again.
BOOL CALLBACK DisableOne(HWND window, LPARAM param) {
    auto* disabled = reinterpret_cast<DisabledWindows*>(param);
    if (window != disabled->modal && IsWindowVisible(window) && IsWindowEnabled(window)) {
        try {
            disabled->windows.push_back(window);
        } catch (...) {
            disabled->failure = std::current_exception();
            return FALSE;
        }
        EnableWindow(window, FALSE);
    }
    return TRUE;
}

void EnableAgain(const DisabledWindows& disabled) {
    for (HWND other : disabled.windows)
        if (IsWindow(other)) EnableWindow(other, TRUE);
}

} // namespace

void RunModalLoop(HWND window, const std::function<bool()>& done) {
    DisabledWindows disabled{window, {}, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&disabled));
    if (disabled.failure) {
        EnableAgain(disabled);
        std::rethrow_exception(disabled.failure);
    }
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
    EnableAgain(disabled);
    if (quit) PostQuitMessage(quitCode);
}

} // namespace snapvane
