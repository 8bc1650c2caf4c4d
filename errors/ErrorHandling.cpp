#include "errors/ErrorHandling.h"

#include "errors/BuiltInStackViewer.h"
#include "errors/CallStackViewer.h"
#include "errors/RuntimeError.h"

#include <new>

namespace snapvane {

namespace {

// One viewer per thread, created by the first report and kept for the next.
// Kept in a Win32 TLS slot rather than a C++ thread_local: the runtime
// clears thread_local storage before the DLL hears that a thread ends, and
// the viewer must still be there to be released then.
DWORD StackViewerSlot() {
    static const DWORD slot = TlsAlloc();
    if (slot == TLS_OUT_OF_INDEXES) throw std::bad_alloc();
    return slot;
}

ICallStackViewer* StackViewer() { return static_cast<ICallStackViewer*>(TlsGetValue(StackViewerSlot())); }

bool NoSuchClass(HRESULT hr) { return hr == REGDB_E_CLASSNOTREG || hr == CLASS_E_CLASSNOTAVAILABLE; }

ICallStackViewer& TheStackViewer() {
    if (!StackViewer()) {
        ComPtr<ICallStackViewer> viewer;
        HRESULT hr = CoCreateInstance(CLSID_CallStackViewer, nullptr, CLSCTX_INPROC_SERVER,
                                      __uuidof(ICallStackViewer), reinterpret_cast<void**>(viewer.GetAddressOf()));
        if (NoSuchClass(hr)) viewer = CreateBuiltInStackViewer();
        else Check(hr);
        TlsSetValue(StackViewerSlot(), viewer.Detach());
    }
    return *StackViewer();
}

} // namespace

std::wstring ErrorDetails(long number, const std::wstring& description) {
    return L"\r\nError Number \r\n\t" + std::to_wstring(number) + L"\r\nDescription\r\n\t" + description + L"\r\n\r\n";
}

std::wstring CallStackReport(const std::wstring& entry, const std::wstring& details) {
    return std::wstring(kReportHeading) + L"\r\n\r\n\t" + entry + L"\r\n" + details;
}

void ReportError(const std::wstring& entry, long number, const std::wstring& description) {
    SetErrorInfo(0, nullptr);  // the error state is empty while the report runs
    ShowCallStack(entry, ErrorDetails(number, description));
}

void ShowCallStack(const std::wstring& entry, const std::wstring& details) {
    ICallStackViewer& viewer = TheStackViewer();
    Bstr text(CallStackReport(entry, details));
    Check(viewer.SetText(text.get()));
    Check(viewer.Show(VARIANT_TRUE));
}

void ReleaseStackViewer() noexcept {
    try {
        if (ICallStackViewer* viewer = StackViewer()) {
            TlsSetValue(StackViewerSlot(), nullptr);
            viewer->Release();
        }
    } catch (...) {
        // No slot, so nothing was ever kept.
    }
}

} // namespace snapvane
