// The component's one error type: a run-time error with a number, a source and
// a description, thrown as a C++ exception where the failure is found and
// converted exactly once where the call leaves the component.
#pragma once

#include "win32/ComTypes.h"

#include <exception>
#include <string>

namespace snapvane {

namespace ErrorNumber {
constexpr long OutOfMemory = 7;
constexpr long Overflow = 6;              // a 16-bit counter overflowed
constexpr long SubscriptOutOfRange = 9;   // the picture list is full
constexpr long TypeMismatch = 13;         // an object lacks the interface a step needs
constexpr long ObjectNotSet = 91;         // a missing object where one is expected
constexpr long InternalError = 51;        // an unexpected C++ exception
}

constexpr wchar_t kErrorSource[] = L"Snapvane";

class RuntimeError : public std::exception {
public:
    RuntimeError(long number, std::wstring source, std::wstring description)
        : number_(number), source_(std::move(source)), description_(std::move(description)) {}

    long Number() const noexcept { return number_; }
    const std::wstring& Source() const noexcept { return source_; }
    const std::wstring& Description() const noexcept { return description_; }

    // A host failure keeps its own HRESULT; an error the component raises
    // itself crosses as 0x800A0000 + its number, as Automation does.
    HRESULT ToHresult() const noexcept;

    const char* what() const noexcept override { return "Snapvane run-time error"; }

private:
    long number_;
    std::wstring source_;
    std::wstring description_;
};

// Raises one of the component's own errors with its standard description.
[[noreturn]] void Raise(long number);

// The standard description of one of the component's own error numbers.
std::wstring StandardDescription(long number);

// Raises the failure of a host call as a run-time error with the host's
// HRESULT and the description from the thread's error information.
void Check(HRESULT hr);

// Raises "Object variable or With block variable not set" for a missing object.
template <class T>
T* Required(const ComPtr<T>& object) {
    if (!object) Raise(ErrorNumber::ObjectNotSet);
    return object.Get();
}

// Takes an object as another of its interfaces (an interface query, not a
// cast); an object that lacks it raises "Type mismatch".
template <class To, class From>
ComPtr<To> As(const ComPtr<From>& object) {
    ComPtr<To> result;
    if (!object) Raise(ErrorNumber::ObjectNotSet);
    if (FAILED(object.As(&result)) || !result) Raise(ErrorNumber::TypeMismatch);
    return result;
}

template <class To>
ComPtr<To> As(IUnknown* object) {
    ComPtr<To> result;
    if (!object) Raise(ErrorNumber::ObjectNotSet);
    if (FAILED(object->QueryInterface(__uuidof(To), reinterpret_cast<void**>(result.GetAddressOf()))) || !result)
        Raise(ErrorNumber::TypeMismatch);
    return result;
}

} // namespace snapvane
