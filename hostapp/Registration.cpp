#include "hostapp/Registration.h"

#include "errors/RuntimeError.h"
#include "win32/ComTypes.h"
#include "win32/Handles.h"

#include <oleauto.h>

#include <vector>

namespace snapvane::hostapp {

namespace {

// {866AE5D3-530C-11D2-A2BD-0000F8774FB5}, version 1.0: the library HostGis.
constexpr GUID kHostLibrary = {0x866AE5D3, 0x530C, 0x11D2, {0xA2, 0xBD, 0x00, 0x00, 0xF8, 0x77, 0x4F, 0xB5}};

[[noreturn]] void Fail(HRESULT hr, const std::wstring& what) {
    throw RuntimeError(hr, L"Snapvane host", what);
}

std::wstring ReadDefaultValue(HKEY root, const std::wstring& subkey) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return {};
    unique_hkey key(raw);
    wchar_t value[MAX_PATH * 4];
    DWORD size = sizeof value - sizeof(wchar_t), type = 0;
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    value[size / sizeof(wchar_t)] = L'\0';
    return value;
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
    wchar_t fullA[MAX_PATH * 4], fullB[MAX_PATH * 4];
    if (!GetFullPathNameW(a.c_str(), ARRAYSIZE(fullA), fullA, nullptr)) return false;
    if (!GetFullPathNameW(b.c_str(), ARRAYSIZE(fullB), fullB, nullptr)) return false;
    return CompareStringOrdinal(fullA, -1, fullB, -1, TRUE) == CSTR_EQUAL;
}

// The file that the tool's class is registered with, or empty text.
std::wstring RegisteredToolFile() {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(kToolProgId, &clsid))) return {};
    wchar_t text[64];
    StringFromGUID2(clsid, text, ARRAYSIZE(text));
    return ReadDefaultValue(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + text + L"\\InprocServer32");
}

bool Exists(const std::wstring& file) { return GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RegisterComponent(const std::wstring& dll) {
    if (!Exists(dll))
        Fail(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), L"The component " + dll + L" is missing.");
    unique_hmodule module(LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module) Fail(HRESULT_FROM_WIN32(GetLastError()), L"The component " + dll + L" cannot be loaded.");
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module.get(), "DllRegisterServer")));
    if (!registerServer) Fail(E_NOINTERFACE, L"The component " + dll + L" has no DllRegisterServer.");
    HRESULT hr = registerServer();
    if (FAILED(hr)) Fail(hr, L"The component " + dll + L" could not be registered.");
}

bool HostLibraryRegistered() {
    BSTR raw = nullptr;
    HRESULT hr = QueryPathOfRegTypeLib(kHostLibrary, 1, 0, LOCALE_NEUTRAL, &raw);
    Bstr path;
    path.reset(raw);
    return SUCCEEDED(hr) && GetFileAttributesW(path.str().c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RegisterHostLibrary(const std::wstring& tlb) {
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(tlb.c_str(), REGKIND_REGISTER, library.GetAddressOf());
    if (FAILED(hr)) Fail(hr, L"The host type library " + tlb + L" could not be registered.");
}

} // namespace

std::wstring ProgramFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) Fail(HRESULT_FROM_WIN32(GetLastError()), L"The program's own path is unknown.");
        if (length < path.size()) break;
        path.resize(path.size() * 2);
    }
    std::wstring folder(path.data());
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

void EnsureRegistered() {
    const std::wstring folder = ProgramFolder();
    // The host library first: the component's type library refers to it.
    if (!HostLibraryRegistered()) RegisterHostLibrary(folder + L"HostGis.tlb");
    const std::wstring dll = folder + L"Snapvane.dll";
    const std::wstring registered = RegisteredToolFile();
    if (!registered.empty() && SameFile(registered, dll)) return;
    // A host copied beside no component works with the one set up installed.
    if (!Exists(dll) && !registered.empty() && Exists(registered)) return;
    RegisterComponent(dll);
}

} // namespace snapvane::hostapp
