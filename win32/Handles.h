// Owners for Win32 handles: one type per handle kind, each closing its handle
// the way that kind requires.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace snapvane {

struct GdiObjectDeleter {
    void operator()(void* object) const noexcept { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
struct IconDeleter {
    void operator()(HICON icon) const noexcept { DestroyIcon(icon); }
};
struct KernelHandleDeleter {
    void operator()(HANDLE handle) const noexcept {
        if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
struct RegKeyDeleter {
    void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};
struct WindowDeleter {
    void operator()(HWND window) const noexcept { DestroyWindow(window); }
};
struct DcDeleter {
    void operator()(HDC dc) const noexcept { DeleteDC(dc); }
};
struct FindDeleter {
    void operator()(HANDLE find) const noexcept {
        if (find != INVALID_HANDLE_VALUE) FindClose(find);
    }
};
struct LocalMemoryDeleter {
    void operator()(void* memory) const noexcept { LocalFree(static_cast<HLOCAL>(memory)); }
};
struct GlobalMemoryDeleter {
    void operator()(void* memory) const noexcept { GlobalFree(static_cast<HGLOBAL>(memory)); }
};
struct MetafileDeleter {
    void operator()(HMETAFILE metafile) const noexcept { DeleteMetaFile(metafile); }
};
struct ModuleDeleter {
    void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};

using unique_hbitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;
using unique_hfont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using unique_hbrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;
using unique_hicon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;
using unique_handle = std::unique_ptr<void, KernelHandleDeleter>;
using unique_hkey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegKeyDeleter>;
using unique_hwnd = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;
using unique_hdc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;
using unique_hlocal = std::unique_ptr<void, LocalMemoryDeleter>;
using unique_hglobal = std::unique_ptr<void, GlobalMemoryDeleter>;
using unique_hmetafile = std::unique_ptr<std::remove_pointer_t<HMETAFILE>, MetafileDeleter>;
using unique_hmodule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleDeleter>;

// Restores the object that was selected into a device context before.
class SelectObjectScope {
public:
    SelectObjectScope(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {}
    SelectObjectScope(const SelectObjectScope&) = delete;
    SelectObjectScope& operator=(const SelectObjectScope&) = delete;
    ~SelectObjectScope() { if (previous_) SelectObject(dc_, previous_); }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

} // namespace snapvane
