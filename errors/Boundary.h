// Where errors leave the component. A COM method's body runs inside
// ComBoundary, which turns the error into the call's failure HRESULT with its
// description as error information. A trapping member runs inside
// TrappedMember, which reports the error as a call-stack report and returns
// success. Window procedures run inside WindowBoundary. No C++ exception ever
// reaches a Windows frame: 32-bit mingw unwinds with DWARF-2, and an exception
// that reaches user32 or the host ends the process.
#pragma once

#include "errors/RuntimeError.h"

namespace snapvane {

// The run-time error for the exception being handled: our own error as it is,
// an allocation failure as "Out of memory", anything else as "Internal error".
// Call only inside a catch block.
RuntimeError CurrentError() noexcept;

// Sets the thread's error information for a failing COM call and returns the
// call's failure HRESULT.
HRESULT FailWith(const RuntimeError& error) noexcept;

template <class Body>
HRESULT ComBoundary(Body&& body) noexcept {
    try {
        body();
        return S_OK;
    } catch (...) {
        return FailWith(CurrentError());
    }
}

// The call-stack entry of a trap: the member's name text (which ends in one
// blank), the module path of the tool class's source, and one blank.
std::wstring CallStackEntry(const wchar_t* nameText);

// The trap of a host-facing member: an error in the body is reported at once
// and the member returns success with its results as they stood. Only a
// failure of the report itself reaches the host.
template <class Body>
HRESULT TrappedMember(const wchar_t* nameText, Body&& body) noexcept;

// Reports an error through the error module; defined in ErrorHandling.h.
void ReportError(const std::wstring& entry, long number, const std::wstring& description);

template <class Body>
HRESULT TrappedMember(const wchar_t* nameText, Body&& body) noexcept {
    return ComBoundary([&] {
        bool trapped = false;
        RuntimeError error(0, L"", L"");
        try {
            body();
        } catch (...) {
            trapped = true;
            error = CurrentError();
        }
        if (trapped) ReportError(CallStackEntry(nameText), error.Number(), error.Description());
    });
}

// For window, hook and dialog procedures: an error that escapes a handler is
// shown to the user in a message box and the window keeps running.
void ShowUnhandledError(HWND owner, const RuntimeError& error) noexcept;

template <class Result, class Body>
Result WindowBoundary(HWND window, Result fallback, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        ShowUnhandledError(window, CurrentError());
        return fallback;
    }
}

} // namespace snapvane
