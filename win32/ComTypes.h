// Owners for the COM and Automation resources the component handles: every
// BSTR and VARIANT is freed by its owner, on error paths too.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>
#include <utility>

namespace snapvane {

using Microsoft::WRL::ComPtr;

// Takes over the one reference a newly made object starts with. (mingw-w64's
// ComPtr::Attach adds a reference of its own, so it must not be used for this.)
template <class T>
ComPtr<T> Adopt(T* fresh) noexcept {
    ComPtr<T> owner;
    *owner.GetAddressOf() = fresh;
    return owner;
}

// An owned BSTR. out() hands the slot to a callee that fills it.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text)
        : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (!value_ && !text.empty()) throw std::bad_alloc();
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, nullptr));
        return *this;
    }
    ~Bstr() { reset(); }

    BSTR get() const noexcept { return value_; }
    BSTR* out() noexcept { reset(); return &value_; }
    BSTR release() noexcept { return std::exchange(value_, nullptr); }
    void reset(BSTR value = nullptr) noexcept {
        if (value_ != value) SysFreeString(value_);
        value_ = value;
    }
    // The whole text, embedded NUL characters included; a null BSTR is empty.
    std::wstring str() const { return value_ ? std::wstring(value_, SysStringLen(value_)) : std::wstring(); }

private:
    BSTR value_ = nullptr;
};

// A new BSTR for an [out, retval] string; an empty text gives the null BSTR.
inline BSTR NewBstr(const std::wstring& text) {
    if (text.empty()) return nullptr;
    BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!value) throw std::bad_alloc();
    return value;
}

// An owned VARIANT, cleared when it is overwritten or destroyed.
class Variant {
public:
    Variant() noexcept { VariantInit(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&value_); }

    const VARIANT& get() const noexcept { return value_; }
    VARIANT* out() noexcept { VariantClear(&value_); return &value_; }
    VARTYPE type() const noexcept { return V_VT(&value_); }

private:
    VARIANT value_;
};

} // namespace snapvane
