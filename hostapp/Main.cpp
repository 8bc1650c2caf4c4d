// snapvane_host.exe: the stand-in host application.
//
//   snapvane_host.exe [MAP_DOCUMENT]
//   snapvane_host.exe --script FILE --log FILE [--screenshots FOLDER]
//
// It registers the component and the host type library when needed, creates
// the Picture Display tool through COM by its ProgID, shows the map and
// drives the tool as the host GIS does; with --script it runs a scripted
// session with no person and writes what happened to the log.
#include "errors/RuntimeError.h"
#include "hostapp/FileAssociations.h"
#include "hostapp/JsonLog.h"
#include "hostapp/MainWindow.h"
#include "hostapp/Registration.h"
#include "hostapp/Script.h"
#include "hostapp/ScriptDriver.h"
#include "hostapp/Text.h"
#include "hostapp/ToolHost.h"
#include "standin/ClassRegistration.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace snapvane;
using namespace snapvane::hostapp;

namespace {

constexpr wchar_t kHostTitle[] = L"Snapvane Host";
// A scripted run's canvas until the map opens; then it takes the size of the
// map document's view.
constexpr SIZE kScriptedCanvas{800, 600};

struct Options {
    std::wstring mapDocument, script, log, screenshots;
};

std::optional<Options> ParseCommandLine(std::wstring* problem) {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words) return std::nullopt;
    std::vector<std::wstring> args(words + 1, words + count);
    LocalFree(words);
    Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        auto value = [&](std::wstring& into) {
            if (i + 1 >= args.size()) {
                *problem = args[i] + L" needs a value.";
                return false;
            }
            into = args[++i];
            return true;
        };
        if (args[i] == L"--script") { if (!value(options.script)) return std::nullopt; }
        else if (args[i] == L"--log") { if (!value(options.log)) return std::nullopt; }
        else if (args[i] == L"--screenshots") { if (!value(options.screenshots)) return std::nullopt; }
        else if (!args[i].empty() && args[i][0] != L'-' && options.mapDocument.empty()) options.mapDocument = args[i];
        else {
            *problem = L"Unknown argument " + args[i] + L".";
            return std::nullopt;
        }
    }
    if (!options.script.empty() && options.log.empty()) {
        *problem = L"--script needs --log.";
        return std::nullopt;
    }
    return options;
}

int RunMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

// Everything that lives while the application runs, released in order: the
// tool before the map it works on, both before COM goes.
int RunHost(const Options& options, JsonLog& log) {
    const bool scripted = !options.script.empty();
    auto complain = [&](const std::wstring& text) {
        if (scripted) {
            log.Write("error", Json{{"text", Utf8(text)}});
            log.Write("end", Json{{"exit_code", 2}});
        } else {
            MessageBoxW(nullptr, text.c_str(), kHostTitle, MB_OK | MB_ICONERROR);
        }
        return 2;
    };

    std::optional<Script> script;
    if (scripted) {
        try {
            script = LoadScript(FullPath(L"", options.script));
        } catch (const std::exception& error) {
            return complain(Wide(error.what()));
        }
        if (!script->workingFolder.empty() && !SetCurrentDirectoryW(script->workingFolder.c_str()))
            return complain(L"The working folder " + script->workingFolder + L" does not exist.");
    }

    try {
        EnsureRegistered();
    } catch (const RuntimeError& error) {
        return complain(error.Description());
    }

    std::unique_ptr<standin::ClassRegistration> hostClasses;
    try {
        hostClasses = std::make_unique<standin::ClassRegistration>();
    } catch (const std::exception&) {
        return complain(L"The host's classes cannot be made available.");
    }

    ToolHost tool;
    try {
        tool.Create(kToolProgId);
    } catch (const RuntimeError& error) {
        return complain(error.Description());
    }
    const ToolIdentity identity = tool.Identity();
    BITMAP bitmap{};
    if (identity.bitmap) GetObjectW(identity.bitmap, sizeof bitmap, &bitmap);
    log.Write("tool", Json{{"name", Utf8(identity.name)},
                           {"caption", Utf8(identity.caption)},
                           {"category", Utf8(identity.category)},
                           {"tooltip", Utf8(identity.tooltip)},
                           {"bitmap", Json{{"width", bitmap.bmWidth}, {"height", bitmap.bmHeight}}},
                           {"cursor", identity.cursor != nullptr}});

    FileAssociations associations;
    std::wstring programLog;
    if (scripted) {
        programLog = FullPath(L"", options.log) + L".programs";
        DeleteFileW(programLog.c_str());
        SetEnvironmentVariableW(L"SNAPVANE_PROGRAM_LOG", programLog.c_str());
        try {
            for (const std::wstring& type : script->recordedTypes)
                associations.Associate(type, ProgramFolder() + L"record_command_line.exe");
            for (const std::wstring& type : script->unassociatedTypes) associations.Dissociate(type);
        } catch (const RuntimeError& error) {
            return complain(error.Description());
        }
    }

    int exitCode = 0;
    {
        MainWindow window(tool, log);
        try {
            window.Create(scripted ? kScriptedCanvas : SIZE{0, 0});
        } catch (const RuntimeError& error) {
            return complain(error.Description());
        }
        std::unique_ptr<ScriptDriver> driver;
        std::wstring screenshots;
        if (!options.screenshots.empty()) {
            screenshots = FullPath(L"", options.screenshots);
            CreateDirectoryW(screenshots.c_str(), nullptr);
        }
        if (scripted) {
            driver = std::make_unique<ScriptDriver>(*script, log, window, window.Queue(), screenshots, programLog);
            driver->Start();
        } else if (!options.mapDocument.empty()) {
            window.OpenMap(FullPath(L"", options.mapDocument));
        }
        exitCode = RunMessageLoop();
        if (driver) driver->Join();
        tool.Release();
        window.CloseMap();
    }
    associations.Restore();
    if (!programLog.empty()) DeleteFileW(programLog.c_str());
    hostClasses.reset();
    CoFreeUnusedLibraries();
    return exitCode;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::wstring problem;
    std::optional<Options> options = ParseCommandLine(&problem);
    if (!options) {
        MessageBoxW(nullptr,
                    (problem + L"\r\n\r\nUsage: snapvane_host.exe [MAP_DOCUMENT]\r\n"
                               L"       snapvane_host.exe --script FILE --log FILE [--screenshots FOLDER]")
                        .c_str(),
                    kHostTitle, MB_OK | MB_ICONERROR);
        return 2;
    }
    JsonLog log;
    if (!options->log.empty() && !log.Open(FullPath(L"", options->log))) return 2;
    if (FAILED(OleInitialize(nullptr))) return 2;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    int exitCode = RunHost(*options, log);
    OleUninitialize();
    return exitCode;
}
