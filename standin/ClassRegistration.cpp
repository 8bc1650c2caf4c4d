#include "standin/ClassRegistration.h"

#include "standin/Objects.h"

#include <system_error>

namespace snapvane::standin {

namespace {

using impl::Own;

// A class object for one creatable class. It lives as long as COM holds it;
// it is infrastructure, not a host object, so the probe does not count it.
class ClassFactory : public IClassFactory {
public:
    using Create = IUnknown* (*)();
    explicit ClassFactory(Create create) : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
        AddRef();
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        IUnknown* created = nullptr;
        try {
            created = create_();
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        Probe::CreatedThroughClassObject();
        const HRESULT hr = created->QueryInterface(iid, object);
        created->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }  // nothing to unload: the objects live in the host

private:
    virtual ~ClassFactory() = default;
    std::atomic<ULONG> references_{1};
    Create create_;
};

IUnknown* NewSpatialFilter() { return static_cast<ISpatialFilter*>(new impl::SpatialFilterObject()); }
IUnknown* NewUid() { return static_cast<IUID*>(new impl::UidObject()); }

DWORD Register(REFCLSID clsid, ClassFactory::Create create) {
    ComPtr<IClassFactory> factory = Own<IClassFactory>(new ClassFactory(create));
    DWORD cookie = 0;
    const HRESULT hr = CoRegisterClassObject(clsid, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(hr)) throw std::system_error(hr, std::system_category(), "CoRegisterClassObject");
    return cookie;
}

} // namespace

ClassRegistration::ClassRegistration() {
    spatialFilterCookie_ = Register(CLSID_SpatialFilter, NewSpatialFilter);
    try {
        uidCookie_ = Register(CLSID_UID, NewUid);
    } catch (...) {
        RevokeAll();
        throw;
    }
}

ClassRegistration::~ClassRegistration() { RevokeAll(); }

void ClassRegistration::RevokeAll() noexcept {
    if (spatialFilterCookie_) CoRevokeClassObject(std::exchange(spatialFilterCookie_, 0));
    if (uidCookie_) CoRevokeClassObject(std::exchange(uidCookie_, 0));
}

} // namespace snapvane::standin
