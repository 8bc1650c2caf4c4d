// Helpers of the component tests: the built Snapvane.dll beside the test
// program, loaded like COM loads it (never linked in), and the registration
// it needs in the test prefix.
#pragma once

#include <gtest/gtest.h>

#include "win32/ComTypes.h"
#include "win32/Handles.h"

#include "Project1.h"

#include <windows.h>

#include <string>

namespace snapvane::test {

// A file in the folder of the running test program (build/<arch>/bin).
inline std::wstring BinFile(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.erase(folder.find_last_of(L'\\') + 1);
    return folder + name;
}

inline std::wstring ComponentPath() { return BinFile(L"Snapvane.dll"); }

inline std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// Runs a program of the build and returns its exit code (-1 if it did not run).
inline long RunProgram(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return -1;
    unique_handle processHandle(process.hProcess), threadHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<long>(code);
}

// Snapvane.dll loaded into the test process, with its four entry points.
class LoadedComponent {
public:
    LoadedComponent() : module_(LoadLibraryW(ComponentPath().c_str())) {}
    bool Loaded() const { return module_ != nullptr; }
    HMODULE Module() const { return module_.get(); }

    HRESULT CanUnloadNow() const { return Entry<HRESULT(WINAPI*)()>("DllCanUnloadNow")(); }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) const {
        return Entry<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, iid, object);
    }
    HRESULT RegisterServer() const { return Entry<HRESULT(WINAPI*)()>("DllRegisterServer")(); }
    HRESULT UnregisterServer() const { return Entry<HRESULT(WINAPI*)()>("DllUnregisterServer")(); }

private:
    template <class Function>
    Function Entry(const char* name) const {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_.get(), name)));
    }
    unique_hmodule module_;
};

// The host's type library and the component, registered in the test prefix
// for the whole test program. Nothing unregisters them: other test programs
// running at the same time rely on them.
class RegisteredComponent : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(0, RunProgram(L"\"" + BinFile(L"register_host_library.exe") + L"\""));
        LoadedComponent component;
        ASSERT_TRUE(component.Loaded());
        ASSERT_EQ(S_OK, component.RegisterServer());
    }
};

} // namespace snapvane::test
