// The program that scripted runs associate with picture file types: it writes
// the command line it was started with, as one line, to the file named by
// SNAPVANE_PROGRAM_LOG, so the run's log can show what the tool started.
// Started by hand (no such variable), it shows its command line instead.
#include "hostapp/Text.h"

#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring commandLine = GetCommandLineW();
    wchar_t path[MAX_PATH * 4];
    DWORD length = GetEnvironmentVariableW(L"SNAPVANE_PROGRAM_LOG", path, ARRAYSIZE(path));
    if (length == 0 || length >= ARRAYSIZE(path)) {
        MessageBoxW(nullptr, (L"Started with the command line:\r\n" + commandLine).c_str(), L"Snapvane recording program",
                    MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    // Appends are atomic with respect to other writers of the same file.
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const std::string line = snapvane::hostapp::Utf8(commandLine) + "\n";
    DWORD written = 0;
    BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == line.size() ? 0 : 1;
}
