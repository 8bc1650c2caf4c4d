// Snapvane.dll as an in-process COM server: the class table, the one class
// factory, the unload rule, the per-thread clean-up and self-registration.
#include "component/Registry.h"
#include "errors/ErrorHandling.h"
#include "tool/Icommand.h"
#include "viewer/DisplayPicture.h"
#include "win32/ComTypes.h"
#include "win32/Module.h"

#include "HostGis.h"
#include "Project1.h"

#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <new>
#include <string>

namespace snapvane {
namespace {

// ---- Class table ------------------------------------------------------------

using CreateObject = HRESULT (*)(REFIID, void**) noexcept;

struct ServedClass {
    const CLSID* clsid;
    CreateObject create;
};

const ServedClass kServedClasses[] = {
    {&CLSID_MyIcommand, CreateMyIcommand},
};

// ---- Class factory ----------------------------------------------------------

// Server locks taken through IClassFactory::LockServer; each also counts as
// module usage, so DllCanUnloadNow sees it.
volatile LONG serverLocks = 0;

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateObject create) noexcept : create_(create) {}
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        HRESULT hr = create_(iid, object);
        if (FAILED(hr)) {
            *object = nullptr;
            return hr;
        }
        // Success always comes with an object.
        return *object ? hr : E_UNEXPECTED;
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            InterlockedIncrement(&serverLocks);
            ModuleUsage::Add();
            return S_OK;
        }
        // An unlock without a lock must not release usage that a live object
        // or window holds.
        for (;;) {
            LONG locks = serverLocks;
            if (locks <= 0) return E_UNEXPECTED;
            if (InterlockedCompareExchange(&serverLocks, locks - 1, locks) == locks) break;
        }
        ModuleUsage::Remove();
        return S_OK;
    }

private:
    ~ClassFactory() = default;

    volatile LONG references_ = 1;
    CreateObject create_;
    ModuleUsageHold keepsModuleLoaded_;
};

HRESULT GetClassFactory(REFCLSID clsid, REFIID iid, void** object) noexcept {
    for (const ServedClass& served : kServedClasses) {
        if (*served.clsid != clsid) continue;
        ComPtr<IClassFactory> factory = Adopt<IClassFactory>(new (std::nothrow) ClassFactory(served.create));
        if (!factory) return E_OUTOFMEMORY;
        return factory->QueryInterface(iid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

// ---- Thread clean-up --------------------------------------------------------

// The viewer window and the report viewer exist once per thread.
void ReleaseThreadState() noexcept {
    ReleaseDisplayPicture();
    ReleaseStackViewer();
}

// ---- Registration -----------------------------------------------------------

constexpr wchar_t kProgId[] = L"Project1.MyIcommand";
constexpr WORD kTypeLibraryMajor = 97;
constexpr WORD kTypeLibraryMinor = 0;
constexpr wchar_t kTypeLibraryVersionKey[] = L"61.0";
constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, ARRAYSIZE(text));
    return text;
}

std::wstring ClassKey() { return L"CLSID\\" + GuidText(CLSID_MyIcommand); }
std::wstring InterfaceKey() { return L"Interface\\" + GuidText(IID__MyIcommand); }
std::wstring TypeLibraryKey() { return L"TypeLib\\" + GuidText(LIBID_Project1); }

// The full path of this DLL, however long.
HRESULT ThisModulePath(std::wstring& path) {
    path.assign(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(ThisModule(), &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
        if (length < path.size()) {
            path.resize(length);
            return S_OK;
        }
        path.resize(path.size() * 2);
    }
}

#define RETURN_IF_FAILED(expression)          \
    do {                                      \
        HRESULT hr_ = (expression);           \
        if (FAILED(hr_)) return hr_;          \
    } while (0)

HRESULT RegisterClassKeys(const std::wstring& modulePath) {
    const std::wstring classId = GuidText(CLSID_MyIcommand);
    RETURN_IF_FAILED(SetRegistryDefault(HKEY_CLASSES_ROOT, kProgId, kProgId));
    RETURN_IF_FAILED(SetRegistryDefault(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", classId));
    RETURN_IF_FAILED(SetRegistryDefault(HKEY_CLASSES_ROOT, ClassKey(), kProgId));
    RETURN_IF_FAILED(SetRegistryDefault(HKEY_CLASSES_ROOT, ClassKey() + L"\\ProgID", kProgId));
    unique_hkey server;
    RETURN_IF_FAILED(CreateRegistryKey(HKEY_CLASSES_ROOT, ClassKey() + L"\\InprocServer32", server));
    RETURN_IF_FAILED(SetRegistryString(server.get(), nullptr, modulePath));
    return SetRegistryString(server.get(), L"ThreadingModel", L"Apartment");
}

// widl writes the interfaces a coclass implements into the library itself, so
// Project1 carries copies of the host's ICommand and ITool. Registering or
// unregistering Project1 would point the host's own registration of those two
// interfaces at Project1, or delete it; the body runs with it kept as it was.
template <class Body>
HRESULT KeepingHostInterfaces(Body&& body) {
    const IID* const hostInterfaces[] = {&IID_ICommand, &IID_ITool};
    RegistryTree saved[ARRAYSIZE(hostInterfaces)];
    for (size_t i = 0; i < ARRAYSIZE(hostInterfaces); ++i)
        RETURN_IF_FAILED(ReadRegistryTree(HKEY_CLASSES_ROOT, L"Interface\\" + GuidText(*hostInterfaces[i]), saved[i]));
    HRESULT hr = body();
    for (size_t i = 0; i < ARRAYSIZE(hostInterfaces); ++i) {
        HRESULT restored = WriteRegistryTree(HKEY_CLASSES_ROOT, L"Interface\\" + GuidText(*hostInterfaces[i]), saved[i]);
        if (SUCCEEDED(hr) && FAILED(restored)) hr = restored;
    }
    return hr;
}

// Registers the library from this DLL's own TYPELIB resource; this also
// registers _MyIcommand for marshalling through the type library.
HRESULT RegisterTypeLibrary(const std::wstring& modulePath) {
    ComPtr<ITypeLib> library;
    RETURN_IF_FAILED(LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, library.GetAddressOf()));
    return KeepingHostInterfaces(
        [&] { return RegisterTypeLib(library.Get(), const_cast<wchar_t*>(modulePath.c_str()), nullptr); });
}

HRESULT UnregisterClassKeys() {
    RETURN_IF_FAILED(DeleteRegistryTree(HKEY_CLASSES_ROOT, kProgId));
    return DeleteRegistryTree(HKEY_CLASSES_ROOT, ClassKey());
}

HRESULT UnregisterTypeLibrary() {
    HRESULT unregistered = KeepingHostInterfaces(
        [] { return UnRegisterTypeLib(LIBID_Project1, kTypeLibraryMajor, kTypeLibraryMinor, 0, kSysKind); });
    if (SUCCEEDED(unregistered)) return S_OK;
    // Not registered, or its registration points to a file that is gone: remove
    // by name whatever registration writes.
    RETURN_IF_FAILED(DeleteRegistryTree(HKEY_CLASSES_ROOT, InterfaceKey()));
    RETURN_IF_FAILED(DeleteRegistryTree(HKEY_CLASSES_ROOT, TypeLibraryKey() + L"\\" + kTypeLibraryVersionKey));
    return DeleteRegistryKeyIfEmpty(HKEY_CLASSES_ROOT, TypeLibraryKey());
}

// Registration builds strings; an allocation failure becomes E_OUTOFMEMORY
// instead of leaving the DLL.
template <class Body>
HRESULT RegistrationBoundary(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

} // namespace
} // namespace snapvane

using namespace snapvane;

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void* reserved) {
    switch (reason) {
    case DLL_THREAD_DETACH:
        ReleaseThreadState();
        break;
    case DLL_PROCESS_DETACH:
        // At process exit (reserved not null) other threads are gone and the
        // windows with them; touching them then could deadlock.
        if (!reserved) ReleaseThreadState();
        break;
    default:
        break;
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    return GetClassFactory(clsid, iid, object);
}

// Objects, class factories, server locks and windows whose procedure lives in
// this DLL all count as module usage: a message to such a window after the
// unload would land in unmapped code.
STDAPI DllCanUnloadNow() { return ModuleUsage::Count() == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    return RegistrationBoundary([] {
        std::wstring path;
        RETURN_IF_FAILED(ThisModulePath(path));
        RETURN_IF_FAILED(RegisterTypeLibrary(path));
        return RegisterClassKeys(path);
    });
}

STDAPI DllUnregisterServer() {
    return RegistrationBoundary([] {
        RETURN_IF_FAILED(UnregisterTypeLibrary());
        return UnregisterClassKeys();
    });
}
