// A stand-in for the program associated with a picture type: it writes the
// command line it was started with to the file named by SNAPVANE_RECORD_FILE
// and ends.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t target[MAX_PATH * 4] = {};
    if (!GetEnvironmentVariableW(L"SNAPVANE_RECORD_FILE", target, MAX_PATH * 4)) return 1;
    std::wstring partial = std::wstring(target) + L".partial";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    const wchar_t* line = GetCommandLineW();
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(lstrlenW(line) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    // The whole line appears at once.
    return MoveFileExW(partial.c_str(), target, MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}
