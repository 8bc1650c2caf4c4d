// A pointer kept per thread in a Win32 TLS slot. Used instead of C++
// thread_local for what the DLL must release when a thread ends: the runtime
// clears thread_local storage before DllMain hears of the thread's end.
#pragma once

#include <windows.h>

#include <new>

namespace snapvane {

template <class T>
class ThreadSlot {
public:
    ThreadSlot() : slot_(TlsAlloc()) {}
    ~ThreadSlot() {
        if (slot_ != TLS_OUT_OF_INDEXES) TlsFree(slot_);
    }
    ThreadSlot(const ThreadSlot&) = delete;
    ThreadSlot& operator=(const ThreadSlot&) = delete;

    T* Get() const noexcept { return slot_ == TLS_OUT_OF_INDEXES ? nullptr : static_cast<T*>(TlsGetValue(slot_)); }
    void Set(T* value) {
        if (slot_ == TLS_OUT_OF_INDEXES || !TlsSetValue(slot_, value)) throw std::bad_alloc();
    }

    // Forgets this thread's pointer and hands it back.
    T* Take() noexcept {
        T* value = Get();
        if (value) TlsSetValue(slot_, nullptr);
        return value;
    }

private:
    DWORD slot_;
};

} // namespace snapvane
