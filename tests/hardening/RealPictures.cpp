// Real-world test pictures through the viewer's own loading, as it fits a
// picture into its box: one row per file of a list, saying whether the file
// was shown, refused (with the viewer's message), or made the reader crash
// or hang, and how long it took. Run by scripts/real-pictures.sh over the
// test suites of image libraries; not a test of its own.
//
//   real_picture_sweep.exe LIST REPORT [TIMEOUT-MS]
//
// LIST holds a Windows path a line (UTF-8). The files are read by children
// of this program (the same program with --from INDEX LIST), each going on
// from one file of the list and writing a line per file read. A child that
// dies takes only the file it was reading with it (a crash); one that writes
// nothing for TIMEOUT-MS (30 s by default) is ended (a hang). The next child
// goes on after that file.
#include "errors/RuntimeError.h"
#include "pictures/LoadPicture.h"
#include "win32/Handles.h"

#include <ole2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

using namespace snapvane;

namespace {

constexpr SIZE kViewerBox{683, 512};

std::vector<std::string> ReadLines(const wchar_t* path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                     static_cast<int>(wide.size()));
    wide.resize(length > 0 ? length : 0);
    return wide;
}

// UTF-8, on one line of a tab-separated row.
std::string Cell(const std::wstring& text) {
    std::string narrow(text.size() * 3, '\0');
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                                     static_cast<int>(narrow.size()), nullptr, nullptr);
    narrow.resize(length > 0 ? length : 0);
    for (char& c : narrow)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return narrow;
}

// ---- The child: reads the files from one index on ----

struct Reading {
    const char* outcome;
    long error = 0;
    std::string message;
};

// What the viewer's window would show for the file: the picture, or the
// message after "File Name <path> ".
Reading ReadAsTheViewerDoes(const std::wstring& path) {
    try {
        LoadScaledPicture(path, kViewerBox, GetSysColor(COLOR_BTNFACE));
        return {"shown", 0, {}};
    } catch (const RuntimeError& error) {
        return {"refused", error.Number(),
                IsPictureLimit(error.Number()) ? Cell(error.Description()) : "could not be read as a picture."};
    } catch (const std::bad_alloc&) {
        return {"error", ErrorNumber::OutOfMemory, "std::bad_alloc left the picture's loading"};
    } catch (const std::exception& error) {
        return {"error", 0, std::string("an unexpected exception left the picture's loading: ") + error.what()};
    } catch (...) {
        return {"error", 0, "an unknown exception left the picture's loading"};
    }
}

// A fault ends the child at once with the exception's code, rather than
// waiting on a debugger or a dialog that nobody answers.
LONG WINAPI EndWithTheFault(EXCEPTION_POINTERS* fault) {
    TerminateProcess(GetCurrentProcess(), fault->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

void WriteLine(HANDLE output, const std::string& line) {
    DWORD written = 0;
    WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

int ReadFrom(size_t first, const wchar_t* list) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(EndWithTheFault);
    OleInitialize(nullptr);  // one single-threaded apartment, as the host's user-interface thread
    const std::vector<std::string> files = ReadLines(list);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    LARGE_INTEGER frequency{}, start{}, end{};
    QueryPerformanceFrequency(&frequency);
    for (size_t index = first; index < files.size(); ++index) {
        QueryPerformanceCounter(&start);
        Reading reading = ReadAsTheViewerDoes(Wide(files[index]));
        QueryPerformanceCounter(&end);
        long long ms = (end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart;
        char error[16] = "";
        if (reading.error) std::snprintf(error, sizeof error, "0x%08lX", static_cast<unsigned long>(reading.error));
        std::ostringstream row;
        row << index << '\t' << reading.outcome << '\t' << ms << '\t' << error << '\t' << reading.message << '\n';
        WriteLine(output, row.str());
    }
    OleUninitialize();
    return 0;
}

// ---- The parent: children over the list, a row per file ----

struct Row {
    std::string outcome = "not read";
    long long ms = 0;
    std::string error;  // the run-time error's number, in hex
    std::string message;
};

struct Child {
    unique_handle process;
    unique_handle output;  // the read end of the child's standard output
};

Child StartChild(size_t first, const wchar_t* list) {
    wchar_t self[MAX_PATH * 2] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    std::wstring command =
        L"\"" + std::wstring(self) + L"\" --from " + std::to_wstring(first) + L" \"" + list + L"\"";

    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherited, 1 << 16)) return {};
    Child child;
    child.output.reset(read);
    unique_handle childEnd(write);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started))
        return {};
    CloseHandle(started.hThread);
    child.process.reset(started.hProcess);
    return child;
}

// Takes the rows the child has written so far; `next` moves past each file
// it has finished.
void TakeRows(HANDLE output, std::string& pending, std::vector<Row>& rows, size_t& next) {
    DWORD available = 0;
    while (PeekNamedPipe(output, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (!ReadFile(output, chunk.data(), available, &read, nullptr) || read == 0) return;
        pending.append(chunk.data(), read);
    }
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
        std::istringstream line(pending.substr(0, end));
        size_t index = 0;
        Row row;
        line >> index;
        line.ignore(1);
        std::getline(line, row.outcome, '\t');
        line >> row.ms;
        line.ignore(1);
        std::getline(line, row.error, '\t');
        std::getline(line, row.message);
        if (index < rows.size()) {
            rows[index] = row;
            next = index + 1;
        }
    }
}

// Runs one child from `next` until it finishes the list, dies or hangs.
void RunChild(const wchar_t* list, DWORD timeoutMs, std::vector<Row>& rows, size_t& next) {
    Child child = StartChild(next, list);
    if (!child.process) {
        rows[next++] = Row{"error", 0, {}, "the child process could not be started"};
        return;
    }
    std::string pending;
    ULONGLONG lastRow = GetTickCount64();
    for (;;) {
        size_t before = next;
        TakeRows(child.output.get(), pending, rows, next);
        if (next != before) lastRow = GetTickCount64();
        if (WaitForSingleObject(child.process.get(), 20) == WAIT_OBJECT_0) break;
        if (GetTickCount64() - lastRow > timeoutMs) {
            TerminateProcess(child.process.get(), 1);
            WaitForSingleObject(child.process.get(), 5000);
            rows[next++] = Row{"hang", static_cast<long long>(timeoutMs), {},
                               "no answer in " + std::to_string(timeoutMs / 1000) + " s"};
            return;
        }
    }
    TakeRows(child.output.get(), pending, rows, next);
    if (next >= rows.size()) return;
    DWORD code = 0;
    GetExitCodeProcess(child.process.get(), &code);
    char text[64];
    std::snprintf(text, sizeof text, "the reader ended with code 0x%08lX", static_cast<unsigned long>(code));
    rows[next++] = Row{"crash", static_cast<long long>(GetTickCount64() - lastRow), {}, text};
}

int Sweep(const wchar_t* list, const wchar_t* report, DWORD timeoutMs) {
    const std::vector<std::string> files = ReadLines(list);
    std::vector<Row> rows(files.size());
    for (size_t next = 0; next < files.size();) RunChild(list, timeoutMs, rows, next);

    std::ofstream out(report, std::ios::binary);
    out << "index\tfile\toutcome\tms\terror\tmessage\n";
    std::vector<std::string> outcomes{"shown", "refused", "error", "crash", "hang"};
    std::vector<int> counts(outcomes.size());
    for (size_t k = 0; k < rows.size(); ++k) {
        out << k << '\t' << files[k] << '\t' << rows[k].outcome << '\t' << rows[k].ms << '\t' << rows[k].error
            << '\t' << rows[k].message << '\n';
        for (size_t o = 0; o < outcomes.size(); ++o)
            if (rows[k].outcome == outcomes[o]) ++counts[o];
    }
    std::printf("%zu files:", files.size());
    for (size_t o = 0; o < outcomes.size(); ++o) std::printf(" %s %d%s", outcomes[o].c_str(), counts[o], o + 1 < outcomes.size() ? "," : "\n");
    return out ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && std::wcscmp(argv[1], L"--from") == 0) return ReadFrom(std::wcstoul(argv[2], nullptr, 10), argv[3]);
    if (argc == 3 || argc == 4)
        return Sweep(argv[1], argv[2], argc == 4 ? static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)) : 30000);
    std::fprintf(stderr, "usage: real_picture_sweep LIST REPORT [TIMEOUT-MS]\n");
    return 2;
}
