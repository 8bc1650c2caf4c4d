#include "viewer/PictureFile.h"

#include "errors/RuntimeError.h"
#include "win32/ComTypes.h"

#include <ole2.h>
#include <olectl.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace snapvane {

namespace {

constexpr wchar_t kEntrySeparator[] = L": ";
// Far beyond any photograph; keeps a stray huge file from taking the host's memory.
constexpr LONGLONG kLargestPictureFile = 256LL * 1024 * 1024;

[[noreturn]] void RaiseNotAPicture(HRESULT hr) {
    throw RuntimeError(static_cast<long>(hr), kErrorSource, L"Invalid picture");
}

struct GlobalMemoryDeleter {
    void operator()(void* memory) const noexcept { GlobalFree(static_cast<HGLOBAL>(memory)); }
};
using unique_hglobal = std::unique_ptr<void, GlobalMemoryDeleter>;

// The whole file, in a stream the picture loader reads.
ComPtr<IStream> ReadFileIntoStream(const std::wstring& path, LONG& size) {
    unique_handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) RaiseNotAPicture(HRESULT_FROM_WIN32(GetLastError()));
    LARGE_INTEGER length{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &length) || length.QuadPart <= 0 ||
        length.QuadPart > kLargestPictureFile)
        RaiseNotAPicture(CTL_E_INVALIDPICTURE);
    size = static_cast<LONG>(length.QuadPart);

    unique_hglobal memory(GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(size)));
    if (!memory) Raise(ErrorNumber::OutOfMemory);
    auto* bytes = static_cast<BYTE*>(GlobalLock(memory.get()));
    if (!bytes) Raise(ErrorNumber::OutOfMemory);
    LONG done = 0;
    while (done < size) {
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes + done, static_cast<DWORD>(size - done), &read, nullptr) || read == 0) break;
        done += static_cast<LONG>(read);
    }
    GlobalUnlock(memory.get());
    if (done != size) RaiseNotAPicture(CTL_E_INVALIDPICTURE);

    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(memory.get(), TRUE, stream.GetAddressOf()))) Raise(ErrorNumber::OutOfMemory);
    memory.release();  // the stream frees it now
    return stream;
}

// The picture's place in the box: as large as fits, proportions kept, centred.
RECT FitInto(SIZE box, LONG pictureWidth, LONG pictureHeight) {
    double scale = std::min(static_cast<double>(box.cx) / pictureWidth, static_cast<double>(box.cy) / pictureHeight);
    LONG width = std::max(1L, static_cast<LONG>(std::lround(pictureWidth * scale)));
    LONG height = std::max(1L, static_cast<LONG>(std::lround(pictureHeight * scale)));
    width = std::min(width, box.cx);
    height = std::min(height, box.cy);
    LONG left = (box.cx - width) / 2, top = (box.cy - height) / 2;
    return {left, top, left + width, top + height};
}

unique_hbitmap CreateBoxBitmap(SIZE box) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = box.cx;
    info.bmiHeader.biHeight = -box.cy;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    unique_hbitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) Raise(ErrorNumber::OutOfMemory);
    return bitmap;
}

} // namespace

std::wstring PictureFileName(const std::wstring& chooserText) {
    size_t separator = chooserText.find(kEntrySeparator);
    if (separator == std::wstring::npos) return chooserText;
    return chooserText.substr(separator + 2);
}

bool IsPictureFileThere(const std::wstring& path) {
    if (path.empty() || path.find_first_of(L"*?") != std::wstring::npos || path.find(L'\0') != std::wstring::npos)
        return false;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    constexpr DWORD notAFile =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
    return (attributes & notAFile) == 0;
}

std::wstring FindPictureFile(const std::wstring& name, const std::wstring& basePath) {
    if (IsPictureFileThere(name)) return name;
    if (!name.empty() && IsPictureFileThere(basePath + name)) return basePath + name;
    return {};
}

unique_hbitmap LoadScaledPicture(const std::wstring& path, SIZE box, COLORREF background) {
    LONG size = 0;
    ComPtr<IStream> stream = ReadFileIntoStream(path, size);
    ComPtr<IPicture> picture;
    HRESULT hr = OleLoadPicture(stream.Get(), size, FALSE, IID_IPicture, reinterpret_cast<void**>(picture.GetAddressOf()));
    if (FAILED(hr) || !picture) RaiseNotAPicture(FAILED(hr) ? hr : CTL_E_INVALIDPICTURE);
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    if (FAILED(picture->get_Width(&width)) || FAILED(picture->get_Height(&height)) || width <= 0 || height <= 0)
        RaiseNotAPicture(CTL_E_INVALIDPICTURE);

    unique_hbitmap bitmap = CreateBoxBitmap(box);
    unique_hdc dc(CreateCompatibleDC(nullptr));
    if (!dc) Raise(ErrorNumber::OutOfMemory);
    {
        SelectObjectScope selected(dc.get(), bitmap.get());
        unique_hbrush fill(CreateSolidBrush(background));
        RECT whole{0, 0, box.cx, box.cy};
        FillRect(dc.get(), &whole, fill ? fill.get() : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetStretchBltMode(dc.get(), HALFTONE);
        SetBrushOrgEx(dc.get(), 0, 0, nullptr);
        RECT place = FitInto(box, width, height);
        hr = picture->Render(dc.get(), place.left, place.top, place.right - place.left, place.bottom - place.top, 0,
                             height, width, -height, nullptr);
        GdiFlush();
    }
    if (FAILED(hr)) RaiseNotAPicture(hr);
    return bitmap;
}

} // namespace snapvane
