#include "errors/Boundary.h"

#include "errors/MessageBox.h"

#include <new>

namespace snapvane {

RuntimeError CurrentError() noexcept {
    try {
        throw;
    } catch (const RuntimeError& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return RuntimeError(ErrorNumber::OutOfMemory, kErrorSource, L"Out of memory");
    } catch (...) {
        return RuntimeError(ErrorNumber::InternalError, kErrorSource, L"Internal error");
    }
}

HRESULT FailWith(const RuntimeError& error) noexcept {
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(create.GetAddressOf()))) {
        create->SetDescription(const_cast<LPOLESTR>(error.Description().c_str()));
        create->SetSource(const_cast<LPOLESTR>(error.Source().c_str()));
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
    }
    return error.ToHresult();
}

std::wstring CallStackEntry(const wchar_t* nameText) {
    return std::wstring(nameText) + L"C:\\GIS\\Source\\Snapvane\\Icommand" + L" ";
}

void ShowUnhandledError(HWND owner, const RuntimeError& error) noexcept {
    try {
        ShowMessage(owner, L"Run-time error '" + std::to_wstring(error.Number()) + L"':\r\n\r\n" + error.Description());
    } catch (...) {
        // Nothing more can be told; the window keeps running.
    }
}

} // namespace snapvane
