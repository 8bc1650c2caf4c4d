#include "support/RecordingStackViewer.h"

#include <stdexcept>

namespace snapvane::test {

namespace {

class RecordingViewer final : public ICallStackViewer {
public:
    explicit RecordingViewer(StackViewerRecord& record) : record_(record) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == __uuidof(ICallStackViewer)) {
            *object = static_cast<ICallStackViewer*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (!left) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Reserved1() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Show(VARIANT_BOOL show) override {
        record_.showCalls += show == VARIANT_TRUE ? 1 : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetText(BSTR text) override {
        if (FAILED(record_.failSetText)) return record_.failSetText;
        record_.reports.emplace_back(text ? std::wstring(text, SysStringLen(text)) : std::wstring());
        return S_OK;
    }

private:
    StackViewerRecord& record_;
    ULONG references_ = 1;
};

class Factory final : public IClassFactory {
public:
    explicit Factory(StackViewerRecord& record) : record_(record) {}
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
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (!left) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        ComPtr<ICallStackViewer> viewer = Adopt<ICallStackViewer>(new RecordingViewer(record_));
        ++record_.instancesCreated;
        return viewer->QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    StackViewerRecord& record_;
    ULONG references_ = 1;
};

} // namespace

RecordingStackViewerRegistration::RecordingStackViewerRegistration() {
    factory_ = Adopt<IClassFactory>(new Factory(record_));
    HRESULT hr = CoRegisterClassObject(CLSID_CallStackViewer, factory_.Get(), CLSCTX_INPROC_SERVER,
                                       REGCLS_MULTIPLEUSE, &cookie_);
    if (FAILED(hr)) throw std::runtime_error("CoRegisterClassObject failed");
}

RecordingStackViewerRegistration::~RecordingStackViewerRegistration() {
    if (cookie_) CoRevokeClassObject(cookie_);
}

} // namespace snapvane::test
