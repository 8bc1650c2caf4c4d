#include "errors/RuntimeError.h"

#include "win32/Handles.h"

#include <new>

namespace snapvane {

HRESULT RuntimeError::ToHresult() const noexcept {
    if (number_ < 0) return static_cast<HRESULT>(number_);
    if (number_ == 0 || number_ > 0xFFFF) return E_FAIL;
    return static_cast<HRESULT>(0x800A0000UL + static_cast<unsigned long>(number_));
}

std::wstring StandardDescription(long number) {
    switch (number) {
    case ErrorNumber::Overflow: return L"Overflow";
    case ErrorNumber::OutOfMemory: return L"Out of memory";
    case ErrorNumber::SubscriptOutOfRange: return L"Subscript out of range";
    case ErrorNumber::TypeMismatch: return L"Type mismatch";
    case ErrorNumber::InternalError: return L"Internal error";
    case ErrorNumber::ObjectNotSet: return L"Object variable or With block variable not set";
    default: return L"Application-defined or object-defined error";
    }
}

void Raise(long number) { throw RuntimeError(number, kErrorSource, StandardDescription(number)); }

namespace {

std::wstring SystemMessage(HRESULT hr) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    unique_hlocal owner(buffer);  // freed also when the copy below fails
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text.empty() ? L"Automation error" : text;
}

} // namespace

void Check(HRESULT hr) {
    if (SUCCEEDED(hr)) return;
    std::wstring source = kErrorSource;
    std::wstring description;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.GetAddressOf()) == S_OK && info) {
        Bstr text, origin;
        if (SUCCEEDED(info->GetDescription(text.out()))) description = text.str();
        if (SUCCEEDED(info->GetSource(origin.out())) && origin.get()) source = origin.str();
    }
    if (description.empty()) description = SystemMessage(hr);
    throw RuntimeError(static_cast<long>(hr), source, description);
}

} // namespace snapvane
