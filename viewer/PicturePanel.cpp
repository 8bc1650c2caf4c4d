#include "viewer/PicturePanel.h"

#include "errors/RuntimeError.h"
#include "viewer/DisplayPictureImpl.h"
#include "win32/ComTypes.h"

#include <utility>

namespace snapvane {

namespace {

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

} // namespace

void PicturePanel::Show(HWND box, unique_hbitmap picture) {
    SendMessageW(box, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture.get()));
    picture_ = std::move(picture);
}

void PicturePanel::Clear(HWND box) {
    if (box) SendMessageW(box, STM_SETIMAGE, IMAGE_BITMAP, 0);
    picture_.reset();
}

void PicturePanel::Forget() noexcept { picture_.reset(); }

void CheckAttributePair(int pair) {
    if (pair < 1 || pair > 5) Raise(ErrorNumber::SubscriptOutOfRange);
}

void ShowAttributeCaption(HWND label, const std::wstring& caption) { SetTextIfChanged(label, caption); }

void ShowAttributeValue(HWND box, const VARIANT& value) { SetTextIfChanged(box, ValueText(value)); }

void EmptyAttributeValue(HWND box) { SetTextIfChanged(box, std::wstring()); }

void SetAttributeValueEnabled(HWND box, bool enabled) {
    if ((IsWindowEnabled(box) != FALSE) != enabled) EnableWindow(box, enabled ? TRUE : FALSE);
}

} // namespace snapvane
