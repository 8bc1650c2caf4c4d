#include "hostapp/WindowReader.h"

#include "errors/BuiltInStackViewer.h"
#include "hostapp/Text.h"
#include "viewer/DisplayPicture.h"
#include "win32/Handles.h"
#include "win32/WindowPixels.h"

#include <cstdio>
#include <cstdlib>

namespace snapvane::hostapp {

namespace {

// A message box's text is the static control with this identifier.
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr DWORD kReadTimeoutMs = 5000;

// Text of a window of another thread; bounded, so a hung window cannot stop
// the reader.
std::wstring SentText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                             kReadTimeoutMs, &copied))
        return {};
    text.resize(copied);
    return text;
}

std::string ColourText(COLORREF colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return text;
}


Json ReadPair(HWND viewer, int pair) {
    HWND label = GetDlgItem(viewer, DisplayPictureControl::LabelAttrib + pair - 1);
    HWND value = GetDlgItem(viewer, DisplayPictureControl::TextAttrib + pair - 1);
    Json result = Json::object();
    result["caption"] = Utf8(label ? SentText(label) : L"");
    result["value"] = Utf8(value ? SentText(value) : L"");
    result["in_use"] = value && IsWindowEnabled(value) != FALSE;
    return result;
}

Json ReadChooser(HWND viewer) {
    HWND chooser = GetDlgItem(viewer, DisplayPictureControl::ImageSelectBox);
    Json result = Json::object();
    Json entries = Json::array();
    if (chooser) {
        DWORD_PTR count = 0;
        SendMessageTimeoutW(chooser, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs, &count);
        for (LRESULT i = 0; i < static_cast<LRESULT>(static_cast<LONG_PTR>(count)); ++i) {
            DWORD_PTR length = 0;
            if (!SendMessageTimeoutW(chooser, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs, &length) ||
                static_cast<LONG_PTR>(length) < 0)
                break;
            std::wstring entry(length + 1, L'\0');
            DWORD_PTR copied = 0;
            SendMessageTimeoutW(chooser, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()), SMTO_ABORTIFHUNG,
                                kReadTimeoutMs, &copied);
            entry.resize(static_cast<LONG_PTR>(copied) > 0 ? copied : 0);
            entries.push_back(Utf8(entry));
        }
    }
    result["entries"] = entries;
    result["enabled"] = chooser && IsWindowEnabled(chooser) != FALSE;
    result["text"] = Utf8(chooser ? SentText(chooser) : L"");
    return result;
}

} // namespace

std::wstring ClassName(HWND window) {
    wchar_t name[256];
    int length = GetClassNameW(window, name, ARRAYSIZE(name));
    return std::wstring(name, length > 0 ? length : 0);
}

std::wstring WindowText(HWND window) { return SentText(window); }

WindowKind KindOf(HWND window) {
    const std::wstring name = ClassName(window);
    if (name == L"#32770" && GetDlgItem(window, kMessageBoxTextId)) return WindowKind::MessageBox;
    if (name == kReportWindowClass) return WindowKind::CallStackReport;
    if (name == kDisplayPictureClass) return WindowKind::Viewer;
    return WindowKind::Other;
}

namespace {

struct WindowSearch {
    HWND excluded;
    DWORD process;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectVisible(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->process && window != search->excluded && IsWindowVisible(window))
        search->found.push_back(window);
    return TRUE;
}

} // namespace

std::vector<HWND> VisibleTopLevelWindows(HWND excluded) {
    WindowSearch search{excluded, GetCurrentProcessId(), {}};
    EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

Json ReadMessageBox(HWND box) {
    Json result = Json::object();
    result["title"] = Utf8(SentText(box));
    HWND text = GetDlgItem(box, kMessageBoxTextId);
    result["text"] = Utf8(text ? SentText(text) : L"");
    return result;
}

Json ReadCallStackReport(HWND report) {
    Json result = Json::object();
    result["title"] = Utf8(SentText(report));
    HWND text = GetDlgItem(report, kReportTextId);
    result["text"] = Utf8(text ? SentText(text) : L"");
    return result;
}

Json ReadPictureArea(HWND pictureBox) {
    Json result = Json::object();
    // Whatever is pending is painted first, so the pixels are current.
    RedrawWindow(pictureBox, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    WindowPixels pixels = CopyWindowPixels(pictureBox, false);
    if (pixels.width == 0) {
        result["empty"] = true;
        return result;
    }
    // The box's own background is the colour of its corner; the picture is
    // the bounding box of everything else.
    const DWORD background = pixels.At(0, 0);
    int left = pixels.width, top = pixels.height, right = -1, bottom = -1;
    for (int y = 0; y < pixels.height; ++y)
        for (int x = 0; x < pixels.width; ++x)
            if (pixels.At(x, y) != background) {
                if (x < left) left = x;
                if (x > right) right = x;
                if (y < top) top = y;
                if (y > bottom) bottom = y;
            }
    if (right < 0) {
        result["empty"] = true;
        return result;
    }
    result["empty"] = false;
    result["width"] = right - left + 1;
    result["height"] = bottom - top + 1;
    result["centre"] = ColourText(WindowPixels::Colour(pixels.At((left + right) / 2, (top + bottom) / 2)));
    return result;
}

Json ReadViewer(HWND viewer) {
    Json result = Json::object();
    result["title"] = Utf8(SentText(viewer));
    result["chooser"] = ReadChooser(viewer);
    Json pairs = Json::array();
    for (int pair = 1; pair <= 5; ++pair) pairs.push_back(ReadPair(viewer, pair));
    result["attributes"] = pairs;
    HWND picture = GetDlgItem(viewer, DisplayPictureControl::Image);
    result["picture"] = picture ? ReadPictureArea(picture) : Json{{"empty", true}};
    return result;
}

bool SaveWindowBitmap(HWND window, const std::wstring& path) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    WindowPixels pixels = CopyWindowPixels(window, true);
    if (pixels.width == 0) return false;
    const int stride = (pixels.width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = pixels.width;
    info.biHeight = pixels.height;  // bottom-up
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(stride) * pixels.height;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out) return false;
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::vector<unsigned char> row(stride, 0);
    for (int y = pixels.height - 1; y >= 0; --y) {
        for (int x = 0; x < pixels.width; ++x) {
            DWORD pixel = pixels.At(x, y);
            row[x * 3] = pixel & 0xFF;
            row[x * 3 + 1] = (pixel >> 8) & 0xFF;
            row[x * 3 + 2] = (pixel >> 16) & 0xFF;
        }
        std::fwrite(row.data(), 1, row.size(), out);
    }
    bool ok = std::ferror(out) == 0;
    return std::fclose(out) == 0 && ok;
}

} // namespace snapvane::hostapp
