#include "viewer/OpenInProgram.h"

#include "errors/RuntimeError.h"
#include "win32/Handles.h"

#include <windows.h>
#include <shellapi.h>

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
    L".library-ms", L".search-ms"};

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

AssociatedProgram FindAssociatedProgram(const std::wstring& file) {
    // The shell writes at most a full path and its end; the extra place keeps
    // the answer ended whatever the shell does.
    std::vector<wchar_t> answer(MAX_PATH + 1, L'\0');
    INT_PTR code = reinterpret_cast<INT_PTR>(FindExecutableW(file.c_str(), nullptr, answer.data()));
    answer.back() = L'\0';
    AssociatedProgram found;
    found.shellCode = static_cast<long>(code);
    if (code > 32) {
        found.program = ProgramPathIn(answer.data());
        found.answer = found.program.empty() ? AssociatedProgram::Answer::Failed : AssociatedProgram::Answer::Found;
    } else if (code == SE_ERR_NOASSOC) {
        found.answer = AssociatedProgram::Answer::NoAssociation;
    } else if (code == SE_ERR_FNF || code == SE_ERR_PNF) {
        found.answer = AssociatedProgram::Answer::FileNotFound;
    } else {
        found.answer = AssociatedProgram::Answer::Failed;
    }
    return found;
}

bool IsSameFile(const std::wstring& first, const std::wstring& second) {
    return SameText(FullFilePath(first), FullFilePath(second));
}

std::wstring ProgramCommandLine(const std::wstring& program, const std::wstring& file) {
    return L"\"" + program + L"\" \"" + file + L"\"";
}

void StartProgram(const std::wstring& program, const std::wstring& commandLine) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        DWORD code = GetLastError();
        throw RuntimeError(static_cast<long>(HRESULT_FROM_WIN32(code)), kErrorSource, SystemReason(code));
    }
    // Nothing waits for the program.
    unique_handle process(started.hProcess);
    unique_handle thread(started.hThread);
}

} // namespace snapvane
