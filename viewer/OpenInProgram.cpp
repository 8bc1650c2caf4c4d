#include "viewer/OpenInProgram.h"

#include "errors/RuntimeError.h"
#include "pictures/LoadPicture.h"
#include "pictures/PictureContent.h"
#include "win32/Handles.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace snapvane {

namespace {

// Types that Windows runs, or that hand their content to something that runs.
constexpr const wchar_t* kRunnableTypes[] = {
    L".exe", L".com", L".bat", L".cmd", L".pif", L".scr", L".lnk", L".url", L".vbs", L".vbe", L".js", L".jse",
    L".wsf", L".wsh", L".ws", L".wsc", L".sct", L".hta", L".msi", L".msp", L".mst", L".ps1", L".psm1", L".psc1",
    L".cpl", L".jar", L".reg", L".scf", L".inf", L".application", L".appref-ms", L".msc", L".gadget", L".vb",
    L".shb", L".shs", L".chm", L".dll", L".ocx", L".sys", L".appx", L".msix", L".settingcontent-ms",
    L".library-ms", L".search-ms", L".py", L".pyw", L".pyc", L".pl", L".rb", L".hlp", L".msu", L".xbap",
    L".jnlp", L".website", L".theme", L".themepack", L".diagcab", L".diagpkg", L".xll", L".wll", L".appinstaller",
    L".msixbundle", L".appxbundle", L".ps2", L".ps2xml", L".psd1", L".mshxml", L".iso", L".img", L".vhd",
    L".vhdx"};

std::wstring WithoutIgnoredTail(std::wstring path) {
    while (!path.empty() && (path.back() == L'.' || path.back() == L' ')) path.pop_back();
    return path;
}

std::wstring TypeOf(const std::wstring& path) {
    std::wstring name = WithoutIgnoredTail(path);
    size_t slash = name.find_last_of(L"\\/:");
    size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return {};
    return name.substr(dot);
}

bool SameText(const std::wstring& first, const std::wstring& second) {
    return CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                                static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}

struct LocalMemoryDeleter {
    void operator()(wchar_t* memory) const noexcept { LocalFree(memory); }
};

std::wstring SystemReason(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::unique_ptr<wchar_t, LocalMemoryDeleter> owned(buffer);
    std::wstring text = length ? std::wstring(buffer, length) : L"Error " + std::to_wstring(code);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text;
}

// The program's path in the shell's answer, which may carry quotes or the
// command's arguments.
std::wstring ProgramPathIn(std::wstring answer) {
    while (!answer.empty() && answer.back() == L' ') answer.pop_back();
    if (!answer.empty() && answer.front() == L'"') {
        size_t close = answer.find(L'"', 1);
        return answer.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    if (GetFileAttributesW(answer.c_str()) != INVALID_FILE_ATTRIBUTES) return answer;
    size_t blank = answer.find(L' ');
    return blank == std::wstring::npos ? answer : answer.substr(0, blank);
}

} // namespace

std::wstring FullFilePath(const std::wstring& path) {
    std::wstring trimmed = WithoutIgnoredTail(path);
    DWORD needed = GetFullPathNameW(trimmed.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return trimmed;
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    DWORD written = GetFullPathNameW(trimmed.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (written == 0 || written >= buffer.size()) return trimmed;
    return WithoutIgnoredTail(std::wstring(buffer.data(), written));
}

bool IsRunnableFileType(const std::wstring& path) {
    std::wstring type = TypeOf(path);
    if (type.empty()) return false;
    return std::any_of(std::begin(kRunnableTypes), std::end(kRunnableTypes),
                       [&](const wchar_t* runnable) { return SameText(type, runnable); });
}

bool IsSameFile(const std::wstring& first, const std::wstring& second) {
    return SameText(FullFilePath(first), FullFilePath(second));
}

std::wstring PictureContentType(const std::wstring& path) {
    return FileTypeOf(IdentifyPictureFile(path.c_str()));
}

namespace {

// Keeps the current folder out of the places a program named without a folder
// is looked for, while it lives: the shell starts the association's program
// as the system's process start finds it, which would look in the current
// folder before the system's. The variable's own value comes back after.
class NoProgramsFromTheCurrentFolder {
public:
    NoProgramsFromTheCurrentFolder() {
        DWORD length = GetEnvironmentVariableW(kName, nullptr, 0);
        if (length > 0) {
            previous_.assign(length, L'\0');
            length = GetEnvironmentVariableW(kName, previous_.data(), length);
            previous_.resize(length);
            hadValue_ = true;
        }
        SetEnvironmentVariableW(kName, L"1");
    }
    NoProgramsFromTheCurrentFolder(const NoProgramsFromTheCurrentFolder&) = delete;
    NoProgramsFromTheCurrentFolder& operator=(const NoProgramsFromTheCurrentFolder&) = delete;
    ~NoProgramsFromTheCurrentFolder() { SetEnvironmentVariableW(kName, hadValue_ ? previous_.c_str() : nullptr); }

private:
    static constexpr wchar_t kName[] = L"NoDefaultCurrentDirectoryInExePath";
    std::wstring previous_;
    bool hadValue_ = false;
};

// Wine's answer when a new process ended while it was still starting, which
// happens now and then when programs are started in quick succession: the
// program never ran, so starting it again is safe.
constexpr DWORD kEndedWhileStarting = ERROR_INTERNAL_ERROR;
constexpr int kStartAttempts = 3;

// True when the shell would read environment variables into the path: Wine's
// takes every %NAME% in the file's name for one, and would open another file.
bool ShellWouldExpand(const std::wstring& file) {
    if (file.find(L'%') == std::wstring::npos) return false;
    std::vector<wchar_t> expanded(32768, L'\0');
    DWORD length = ExpandEnvironmentStringsW(file.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    return length == 0 || file != expanded.data();
}

// What the association of a type says about its default verb.
struct AssociationAnswer {
    HRESULT result = S_OK;
    std::wstring command;  // the command template, its own environment variables expanded
};

AssociationAnswer AssociatedCommand(const std::wstring& type) {
    AssociationAnswer answer;
    std::vector<wchar_t> command(32768, L'\0');
    auto length = static_cast<DWORD>(command.size());
    answer.result =
        AssocQueryStringW(ASSOCF_NOTRUNCATE, ASSOCSTR_COMMAND, type.c_str(), nullptr, command.data(), &length);
    if (FAILED(answer.result)) return answer;
    std::vector<wchar_t> expanded(32768, L'\0');
    if (!ExpandEnvironmentStringsW(command.data(), expanded.data(), static_cast<DWORD>(expanded.size()))) {
        answer.result = HRESULT_FROM_WIN32(GetLastError());
        return answer;
    }
    answer.command = expanded.data();
    return answer;
}

// The system's answers for a type that names no program for its default verb.
bool MeansNoAssociation(HRESULT result) {
    return result == HRESULT_FROM_WIN32(ERROR_NO_ASSOCIATION) || result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
           result == E_FAIL;
}

// The template with the file where %1 or %L stands (no further arguments for
// %*), or after it, quoted, when it names no place.
std::wstring CommandLineFor(const std::wstring& command, const std::wstring& file) {
    std::wstring line;
    bool placed = false;
    for (size_t k = 0; k < command.size(); ++k) {
        const wchar_t next = k + 1 < command.size() ? command[k + 1] : L'\0';
        if (command[k] == L'%' && (next == L'1' || next == L'L' || next == L'l')) {
            line += file;
            placed = true;
            ++k;
        } else if (command[k] == L'%' && next == L'*') {
            ++k;
        } else {
            line += command[k];
        }
    }
    return placed ? line : line + L" \"" + file + L"\"";
}

// A program named without a folder, looked for in the system's folders only;
// empty when it is not there (a name alone would be taken from the current folder).
std::wstring ProgramToStart(const std::wstring& named) {
    if (named.find_first_of(L"\\/:") != std::wstring::npos) return named;
    wchar_t system[MAX_PATH + 1] = {}, windows[MAX_PATH + 1] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring places = std::wstring(system) + L";" + windows;
    std::vector<wchar_t> found(32768, L'\0');
    DWORD length = SearchPathW(places.c_str(), named.c_str(), L".exe", static_cast<DWORD>(found.size()), found.data(), nullptr);
    return length > 0 && length < found.size() ? std::wstring(found.data(), length) : std::wstring();
}

[[noreturn]] void RaiseStartFailure(DWORD code) {
    std::wstring reason = code == kEndedWhileStarting ? L"The program ended while it was starting." : SystemReason(code);
    throw RuntimeError(static_cast<long>(HRESULT_FROM_WIN32(code)), kErrorSource, reason);
}

// Starts the type's associated command for the file as the shell would, for a
// path the shell would change: the program gets its arguments as registered
// and the path as it is.
void StartAssociatedCommand(const std::wstring& file, const std::wstring& type) {
    const std::wstring command = AssociatedCommand(type).command;
    if (command.empty()) RaiseStartFailure(ERROR_NO_ASSOCIATION);
    std::wstring line = CommandLineFor(command, file);
    const std::wstring program = ProgramToStart(ProgramPathIn(command));
    if (program.empty()) RaiseStartFailure(ERROR_FILE_NOT_FOUND);
    for (int attempt = 1;; ++attempt) {
        std::vector<wchar_t> writable(line.begin(), line.end());
        writable.push_back(L'\0');
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION started{};
        if (CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &started)) {
            unique_handle process(started.hProcess);  // nothing waits for the program
            unique_handle thread(started.hThread);
            return;
        }
        const DWORD code = GetLastError();
        if (code != kEndedWhileStarting || attempt == kStartAttempts) RaiseStartFailure(code);
    }
}

} // namespace

AssociatedProgram FindAssociatedProgram(const std::wstring& file, const std::wstring& type) {
    AssociatedProgram found;
    const AssociationAnswer association = AssociatedCommand(type);
    found.shellCode = static_cast<long>(association.result);
    if (association.command.empty()) {
        const bool none = SUCCEEDED(association.result) || MeansNoAssociation(association.result);
        found.answer = none ? AssociatedProgram::Answer::NoAssociation : AssociatedProgram::Answer::Failed;
        return found;
    }
    // Read with the file in its place, so that a command that is the file
    // itself ("%1") names the file.
    found.program = ProgramPathIn(CommandLineFor(association.command, file));
    found.answer = found.program.empty() ? AssociatedProgram::Answer::Failed : AssociatedProgram::Answer::Found;
    return found;
}

void OpenWithAssociatedProgram(const std::wstring& file, const std::wstring& type) {
    NoProgramsFromTheCurrentFolder noCurrentFolder;
    if (ShellWouldExpand(file)) {
        StartAssociatedCommand(file, type);
        return;
    }
    for (int attempt = 1;; ++attempt) {
        SHELLEXECUTEINFOW open{};
        open.cbSize = sizeof open;
        // Finished before this returns: the viewer's modal loop goes on at once.
        // The type's own class, never the one the file's name would choose.
        open.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_CLASSNAME;
        open.lpClass = type.c_str();
        open.lpVerb = nullptr;  // the association's default verb, as a double click
        open.lpFile = file.c_str();
        open.nShow = SW_SHOWNORMAL;
        if (ShellExecuteExW(&open)) return;
        DWORD code = GetLastError();
        // Otherwise the shell's own answer, whose small numbers are the system's.
        if (code == ERROR_SUCCESS) code = static_cast<DWORD>(reinterpret_cast<INT_PTR>(open.hInstApp));
        if (code == kEndedWhileStarting && attempt < kStartAttempts) continue;
        RaiseStartFailure(code);
    }
}

} // namespace snapvane
