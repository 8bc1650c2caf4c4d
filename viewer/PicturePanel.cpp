#include "viewer/PicturePanel.h"

#include "errors/RuntimeError.h"
#include "viewer/DisplayPicture.h"
#include "win32/ComTypes.h"

#include <utility>

namespace snapvane {

namespace {

namespace id = DisplayPictureControl;

// How a value box shows a value: its text form, null and empty as nothing.
std::wstring ValueText(const VARIANT& value) {
    VARTYPE type = static_cast<VARTYPE>(V_VT(&value) & ~VT_BYREF);
    if (type == VT_EMPTY || type == VT_NULL) return {};
    if (V_VT(&value) == VT_ERROR) return L"Error " + std::to_wstring(V_ERROR(&value));
    Variant text;
    if (SUCCEEDED(VariantChangeTypeEx(text.out(), const_cast<VARIANT*>(&value), LOCALE_USER_DEFAULT, VARIANT_ALPHABOOL,
                                      VT_BSTR)) &&
        text.type() == VT_BSTR)
        return std::wstring(V_BSTR(&text.get()), SysStringLen(V_BSTR(&text.get())));
    return {};  // objects and arrays have no text form
}

HWND CaptionLabel(HWND window, int pair) { return GetDlgItem(window, id::LabelAttrib + pair - 1); }
HWND ValueBox(HWND window, int pair) { return GetDlgItem(window, id::TextAttrib + pair - 1); }

} // namespace

void PicturePanel::Show(HWND window, unique_hbitmap picture) {
    SendMessageW(GetDlgItem(window, id::Image), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture.get()));
    picture_ = std::move(picture);
}

void PicturePanel::Clear(HWND window) {
    if (window) SendMessageW(GetDlgItem(window, id::Image), STM_SETIMAGE, IMAGE_BITMAP, 0);
    picture_.reset();
}

void PicturePanel::Forget() noexcept { picture_.reset(); }

void CheckAttributePair(int pair) {
    if (pair < 1 || pair > 5) Raise(ErrorNumber::SubscriptOutOfRange);
}

void ShowAttributeCaption(HWND window, int pair, const std::wstring& caption) {
    SetWindowTextW(CaptionLabel(window, pair), caption.c_str());
}

void ShowAttributeValue(HWND window, int pair, const VARIANT& value) {
    SetWindowTextW(ValueBox(window, pair), ValueText(value).c_str());
}

void EmptyAttributeValue(HWND window, int pair) { SetWindowTextW(ValueBox(window, pair), L""); }

void SetAttributeValueEnabled(HWND window, int pair, bool enabled) {
    EnableWindow(ValueBox(window, pair), enabled ? TRUE : FALSE);
}

} // namespace snapvane
