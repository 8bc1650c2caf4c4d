// A stand-in for the program associated with a picture type: it writes the
// command line it was started with to the file named by SNAPVANE_RECORD_FILE
// and ends. With SNAPVANE_RECORD_LOG set, it also adds the line to that file,
// one line for every start.
#include <windows.h>

#include <string>

namespace {

void AppendToLog(const wchar_t* line) {
    wchar_t log[MAX_PATH * 4] = {};
    if (!GetEnvironmentVariableW(L"SNAPVANE_RECORD_LOG", log, MAX_PATH * 4)) return;
    // Starts that overlap wait for each other's line.
    for (int attempt = 0; attempt < 6000; ++attempt) {
        HANDLE file = CreateFileW(log, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            std::wstring text = std::wstring(line) + L"\n";
            DWORD written = 0;
            WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
            CloseHandle(file);
            return;
        }
        Sleep(10);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const wchar_t* line = GetCommandLineW();
    AppendToLog(line);
    wchar_t target[MAX_PATH * 4] = {};
    if (!GetEnvironmentVariableW(L"SNAPVANE_RECORD_FILE", target, MAX_PATH * 4)) return 1;
    std::wstring partial = std::wstring(target) + L"." + std::to_wstring(GetCurrentProcessId()) + L".partial";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(lstrlenW(line) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    // The whole line appears at once.
    return MoveFileExW(partial.c_str(), target, MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}
