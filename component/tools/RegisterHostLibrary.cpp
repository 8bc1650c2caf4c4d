// register_host_library: registers the host's type library (HostGis.tlb, the
// file beside this program) in the current Windows or Wine installation, so
// that Project1's reference to it resolves; "/u" unregisters it again.
//
//   register_host_library.exe        register
//   register_host_library.exe /u     unregister ("not registered" is success)
//
// Exit code 0 on success, otherwise 1 with the failure on standard error.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// {866AE5D3-530C-11D2-A2BD-0000F8774FB5}, version 1.0.
constexpr GUID kHostLibrary = {0x866AE5D3, 0x530C, 0x11D2, {0xA2, 0xBD, 0x00, 0x00, 0xF8, 0x77, 0x4F, 0xB5}};
constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

std::wstring LibraryPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return L"";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.erase(path.find_last_of(L'\\') + 1);
    return path + L"HostGis.tlb";
}

HRESULT Register() {
    const std::wstring path = LibraryPath();
    ITypeLib* library = nullptr;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    hr = RegisterTypeLib(library, const_cast<wchar_t*>(path.c_str()), nullptr);
    library->Release();
    return hr;
}

HRESULT Unregister() {
    HRESULT hr = UnRegisterTypeLib(kHostLibrary, 1, 0, 0, kSysKind);
    if (hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_LIBNOTREGISTERED) return S_OK;
    return hr;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    bool unregister = argc > 1 && (_wcsicmp(argv[1], L"/u") == 0 || _wcsicmp(argv[1], L"-u") == 0);
    HRESULT hr = unregister ? Unregister() : Register();
    if (FAILED(hr)) {
        std::fwprintf(stderr, L"register_host_library: %ls failed: 0x%08lX\n", unregister ? L"unregistering" : L"registering",
                      static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}
