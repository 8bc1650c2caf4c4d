#include "support/SnapvaneDll.h"

#include <stdexcept>
#include <string>

namespace snapvane::test {

namespace {

HMODULE SnapvaneModule() {
    static HMODULE module = [] {
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring folder(path);
        folder.erase(folder.find_last_of(L'\\') + 1);
        HMODULE loaded = LoadLibraryW((folder + L"Snapvane.dll").c_str());
        if (!loaded) throw std::runtime_error("Snapvane.dll could not be loaded");
        return loaded;
    }();
    return module;
}

} // namespace

ComPtr<ICommand> NewTool() {
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(SnapvaneModule(), "DllGetClassObject")));
    if (!getClassObject) throw std::runtime_error("DllGetClassObject is missing");
    ComPtr<IClassFactory> factory;
    if (FAILED(getClassObject(CLSID_MyIcommand, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()))))
        throw std::runtime_error("no class factory for MyIcommand");
    ComPtr<ICommand> tool;
    if (FAILED(factory->CreateInstance(nullptr, IID_ICommand, reinterpret_cast<void**>(tool.GetAddressOf()))))
        throw std::runtime_error("MyIcommand could not be created");
    return tool;
}

std::wstring LastErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.GetAddressOf()) != S_OK || !info) return L"";
    Bstr description;
    info->GetDescription(description.out());
    return description.str();
}

} // namespace snapvane::test

namespace snapvane::test {

namespace {

struct WindowSearch {
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK MatchOwnWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[256];
    if (process == GetCurrentProcessId() && GetClassNameW(window, name, 256) && wcscmp(name, search->className) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND FindOwnWindow(const wchar_t* className) {
    WindowSearch search{className, nullptr};
    EnumWindows(MatchOwnWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace snapvane::test
