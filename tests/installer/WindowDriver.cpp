// Plays a person at the setup program's windows, for the installer tests:
//
//   installer_window_driver.exe click  BUTTON_TEXT  [SECONDS]
//   installer_window_driver.exe expect TEXT         [SECONDS]
//
// click waits until a visible, enabled button with exactly that text (with
// its & marks) is on screen and presses it; expect waits until a visible
// text of a window on screen contains TEXT and prints that whole text. Both
// end with exit code 1 when the time (10 seconds) runs out.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring TextOf(HWND window) {
    wchar_t text[2048];
    int length = GetWindowTextW(window, text, ARRAYSIZE(text));
    return std::wstring(text, length > 0 ? length : 0);
}

struct Search {
    bool wantButton;
    std::wstring text;
    HWND found = nullptr;
};

bool Matches(HWND window, const Search& search) {
    if (!IsWindowVisible(window)) return false;
    wchar_t kind[64];
    GetClassNameW(window, kind, ARRAYSIZE(kind));
    const std::wstring text = TextOf(window);
    if (search.wantButton) return _wcsicmp(kind, L"Button") == 0 && IsWindowEnabled(window) && text == search.text;
    return text.find(search.text) != std::wstring::npos;
}

BOOL CALLBACK VisitChild(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    if (!Matches(window, *search)) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK VisitTopLevel(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    if (!IsWindowVisible(window)) return TRUE;
    if (!search->wantButton && Matches(window, *search)) search->found = window;
    else EnumChildWindows(window, VisitChild, context);
    return search->found == nullptr;
}

HWND WaitFor(Search search, DWORD seconds) {
    const ULONGLONG until = GetTickCount64() + seconds * 1000ULL;
    do {
        search.found = nullptr;
        EnumWindows(VisitTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        Sleep(100);
    } while (GetTickCount64() < until);
    return nullptr;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: installer_window_driver click|expect TEXT [SECONDS]\n");
        return 2;
    }
    const std::wstring action = argv[1];
    const DWORD seconds = argc > 3 ? static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)) : 10;
    HWND window = WaitFor(Search{action == L"click", argv[2]}, seconds);
    if (!window) {
        std::fwprintf(stderr, L"no window with \"%ls\" within %lu s\n", argv[2], static_cast<unsigned long>(seconds));
        return 1;
    }
    if (action == L"click") {
        PostMessageW(window, BM_CLICK, 0, 0);
    } else {
        // A message box's text, as one line.
        std::wstring text = TextOf(window);
        for (wchar_t& c : text)
            if (c == L'\r' || c == L'\n') c = L' ';
        std::wprintf(L"%ls\n", text.c_str());
    }
    return 0;
}
