#include "errors/ErrorHandling.h"

#include "errors/BuiltInStackViewer.h"
#include "errors/CallStackViewer.h"
#include "errors/RuntimeError.h"
#include "win32/ThreadSlot.h"

namespace snapvane {

namespace {

// One viewer per thread, created by the first report and kept for the next.
ThreadSlot<ICallStackViewer>& StackViewer() {
    static ThreadSlot<ICallStackViewer> slot;
    return slot;
}

bool NoSuchClass(HRESULT hr) { return hr == REGDB_E_CLASSNOTREG || hr == CLASS_E_CLASSNOTAVAILABLE; }

ICallStackViewer& TheStackViewer() {
    if (!StackViewer().Get()) {
        ComPtr<ICallStackViewer> viewer;
        HRESULT hr = CoCreateInstance(CLSID_CallStackViewer, nullptr, CLSCTX_INPROC_SERVER,
                                      __uuidof(ICallStackViewer), reinterpret_cast<void**>(viewer.GetAddressOf()));
        if (NoSuchClass(hr)) viewer = CreateBuiltInStackViewer();
        else Check(hr);
        StackViewer().Set(viewer.Get());
        viewer.Detach();
    }
    return *StackViewer().Get();
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
    if (ICallStackViewer* viewer = StackViewer().Take()) viewer->Release();
}

} // namespace snapvane
