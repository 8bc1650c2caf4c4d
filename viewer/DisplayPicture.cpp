// The viewer window: its messages, its modal showing, the chooser, and the
// operations the tool fills it through. Its controls are ViewerLayout's, the
// picture box and attribute panel PicturePanel's, and what its choices and
// buttons do is in ViewerHandlers.cpp.
#include "viewer/DisplayPicture.h"

#include "errors/Boundary.h"
#include "viewer/DisplayPictureImpl.h"
#include "win32/ModalLoop.h"
#include "win32/ThreadSlot.h"

#include <vector>

namespace snapvane {

namespace {

namespace id = DisplayPictureControl;

constexpr long kInvalidPropertyValue = 380;
constexpr long kInvalidProcedureCall = 5;
constexpr long kFormAlreadyShown = 400;

std::wstring ComboEntry(HWND combo, LRESULT index) {
    LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    return copied == CB_ERR ? std::wstring() : std::wstring(buffer.data(), static_cast<size_t>(copied));
}

// Sets a flag for as long as the scope lasts.
class FlagScope {
public:
    explicit FlagScope(bool& flag) noexcept : flag_(flag), before_(flag) { flag_ = true; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;
    ~FlagScope() { flag_ = before_; }

private:
    bool& flag_;
    bool before_;
};

// Centres the window over its owner, or on the screen, inside the work area.
void CentreOver(HWND window, HWND owner) {
    RECT area{};
    if (owner && IsWindowVisible(owner)) {
        GetWindowRect(owner, &area);
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT mine;
    GetWindowRect(window, &mine);
    int width = mine.right - mine.left, height = mine.bottom - mine.top;
    int left = area.left + ((area.right - area.left) - width) / 2;
    int top = area.top + ((area.bottom - area.top) - height) / 2;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    if (left + width > work.right) left = work.right - width;
    if (top + height > work.bottom) top = work.bottom - height;
    if (left < work.left) left = work.left;
    if (top < work.top) top = work.top;
    // A window moved to where it already is still costs a round trip to the
    // display server under Wine; a viewer shown again over the same owner stays put.
    if (left != mine.left || top != mine.top)
        SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

std::wstring WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

// Every change of a control's text costs calls into the window system and a
// redraw; the viewer's controls are refilled on every click.
void SetTextIfChanged(HWND control, const std::wstring& text) {
    if (WindowText(control) != text) SetWindowTextW(control, text.c_str());
}

DisplayPicture::Impl::~Impl() {
    if (window && IsWindow(window)) DestroyWindow(window);
    ViewerLayout::UnregisterClasses();
}

HWND DisplayPicture::Impl::Live() {
    if (window && IsWindow(window)) return window;
    CreateViewerWindow();
    return window;
}

void DisplayPicture::Impl::CreateViewerWindow() {
    ViewerLayout::RegisterClasses(ViewerProc);
    layout_.Prepare();
    moduleHold_.emplace();  // the window procedure lives in this module
    HWND created = layout_.CreateFrame(this);
    if (!created) {
        moduleHold_.reset();
        RaiseLastWindowsError();
    }
    window = created;
    try {
        layout_.CreateControls(created);
        for (HWND child = GetWindow(created, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            controls_.emplace_back(GetDlgCtrlID(child), child);
    } catch (...) {
        DestroyWindow(created);
        throw;
    }
}

// --- The chooser ---

// The field keeps a text it already shows: setting it again would only
// redraw it (a selection or a reset of the list sets the field itself).
void DisplayPicture::Impl::SetChooserTextQuietly(const std::wstring& text) {
    FlagScope quiet(settingChooserText_);
    SetTextIfChanged(Chooser(), text);
    typedText_ = text;
}

void DisplayPicture::Impl::SelectEntry(LRESULT index) {
    {
        FlagScope quiet(settingChooserText_);
        SendMessageW(Chooser(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    SetChooserTextQuietly(index >= 0 ? ComboEntry(Chooser(), index) : std::wstring());
}

// A pick from the drop-down list: the edit field may still show the old
// text at this moment, so it is given the picked entry first.
void DisplayPicture::Impl::OnChooserPicked() {
    LRESULT index = SendMessageW(Chooser(), CB_GETCURSEL, 0, 0);
    if (index != CB_ERR) SetChooserTextQuietly(ComboEntry(Chooser(), index));
    ImageSelectBox_Change();
}

void DisplayPicture::Impl::OnChooserTyped() {
    if (settingChooserText_) return;
    CompleteTypedText();
    ImageSelectBox_Change();
}

// Typing at the end of the text completes it to the first entry that
// starts with it; the completed part stays selected, so the next key
// replaces it. Deleting never completes.
void DisplayPicture::Impl::CompleteTypedText() {
    HWND chooser = Chooser();
    std::wstring typed = WindowText(chooser);
    bool deleting = typed.size() < typedText_.size() && typedText_.compare(0, typed.size(), typed) == 0;
    typedText_ = typed;
    if (typed.empty() || deleting) return;
    DWORD start = 0, end = 0;
    SendMessageW(chooser, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (start != end || end != typed.size()) return;
    LRESULT match = SendMessageW(chooser, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(typed.c_str()));
    if (match == CB_ERR) return;
    std::wstring entry = ComboEntry(chooser, match);
    if (entry.size() <= typed.size()) return;
    SetChooserTextQuietly(entry);
    typedText_ = typed;
    SendMessageW(chooser, CB_SETEDITSEL, 0, MAKELPARAM(typed.size(), -1));
}

// --- The window ---

LRESULT CALLBACK DisplayPicture::Impl::ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowBoundary<LRESULT>(window, 0, [&]() -> LRESULT {
        if (message == WM_NCCREATE) {
            auto* created = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created->lpCreateParams));
        }
        auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!self) return DefWindowProcW(window, message, wParam, lParam);
        return self->Handle(window, message, wParam, lParam);
    });
}

LRESULT DisplayPicture::Impl::Handle(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_CLOSE:
        // The close box leaves the window like Exit; the instance stays.
        if (viewer_) ExitButton_Click(*viewer_);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(handle, focus)) focus_ = focus;
        } else {
            RestoreFocus();
        }
        return 0;
    case WM_SETFOCUS:
        RestoreFocus();
        return 0;
    case WM_NCDESTROY:
        // Destroyed from outside (its owner went away): the next use
        // creates it again.
        SetWindowLongPtrW(handle, GWLP_USERDATA, 0);
        if (handle == window) WindowGone();
        return DefWindowProcW(handle, message, wParam, lParam);
    }
    return DefWindowProcW(handle, message, wParam, lParam);
}

void DisplayPicture::Impl::OnCommand(int control, int notification) {
    switch (control) {
    case id::ImageSelectBox:
        if (notification == CBN_SELCHANGE) OnChooserPicked();
        else if (notification == CBN_EDITCHANGE) OnChooserTyped();
        break;
    case id::EditButton:
        if (notification == BN_CLICKED) EditButton_Click();
        break;
    case id::ExitButton:
        if (notification == BN_CLICKED && viewer_) ExitButton_Click(*viewer_);
        break;
    case IDCANCEL:
        // Esc, turned into this command by the modal loop's dialog
        // manager, leaves like Exit.
        if (viewer_) ExitButton_Click(*viewer_);
        break;
    }
}

void DisplayPicture::Impl::RestoreFocus() {
    HWND target = focus_ && IsWindow(focus_) && IsWindowEnabled(focus_) && IsChild(window, focus_)
                      ? focus_
                      : GetNextDlgTabItem(window, nullptr, FALSE);
    if (target) SetFocus(target);
}

void DisplayPicture::Impl::FocusFirstControl() {
    focus_ = nullptr;
    RestoreFocus();
}

HWND DisplayPicture::Impl::Control(int control) const {
    for (const auto& [number, handle] : controls_)
        if (number == control) return handle;
    return nullptr;
}

void DisplayPicture::Impl::WindowGone() {
    window = nullptr;
    focus_ = nullptr;
    controls_.clear();
    picture_.Forget();
    layout_.ReleaseLogo();
    moduleHold_.reset();
}

namespace {
// The thread's viewer; in a Win32 TLS slot so that it can still be released
// when the thread ends.
ThreadSlot<DisplayPicture>& Viewers() {
    static ThreadSlot<DisplayPicture> slot;
    return slot;
}
}

DisplayPicture::DisplayPicture() : impl_(new Impl(*this)) {}

DisplayPicture::~DisplayPicture() { delete impl_; }

DisplayPicture& DisplayPicture::Instance() {
    DisplayPicture* existing = Viewers().Get();
    if (!existing) {
        auto* viewer = new DisplayPicture();
        try {
            viewer->impl_->Live();
            Viewers().Set(viewer);
        } catch (...) {
            delete viewer;
            throw;
        }
        existing = viewer;
    }
    existing->impl_->Live();
    return *existing;
}

DisplayPicture* DisplayPicture::ExistingInstance() noexcept { return Viewers().Get(); }

HWND DisplayPicture::Window() const noexcept { return impl_->window; }

const std::wstring& DisplayPicture::BasePath() const noexcept { return impl_->basePath; }

void DisplayPicture::SetBasePath(const std::wstring& path) { impl_->basePath = path; }

void DisplayPicture::SetText(const std::wstring& text) { SetWindowTextW(impl_->Live(), text.c_str()); }

void DisplayPicture::Show(int modal) {
    HWND window = impl_->Live();
    if (modal != 0 && modal != 1) throw RuntimeError(kInvalidProcedureCall, kErrorSource, L"Invalid procedure call or argument");
    if (impl_->modalShowing || (modal == 1 && IsWindowVisible(window)))
        throw RuntimeError(kFormAlreadyShown, kErrorSource, L"Form already displayed; can't show modally");
    if (modal == 0) {
        ShowWindow(window, SW_SHOWNORMAL);
        return;
    }

    // The caller's window owns the viewer while it is shown, so the viewer
    // stays in front of it; a hidden viewer has no owner that could take it
    // along when it goes.
    HWND owner = GetActiveWindow();
    if (owner == window) owner = nullptr;
    SetWindowLongPtrW(window, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    CentreOver(window, owner);
    FlagScope showing(impl_->modalShowing);
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    impl_->FocusFirstControl();
    auto leave = [window, owner] {
        if (IsWindow(window)) {
            if (IsWindowVisible(window)) ShowWindow(window, SW_HIDE);  // the thread is quitting
            SetWindowLongPtrW(window, GWLP_HWNDPARENT, 0);
        }
        if (owner && IsWindow(owner)) SetActiveWindow(owner);
    };
    try {
        RunModalLoop(window, [window] { return !IsWindow(window) || !IsWindowVisible(window); });
    } catch (...) {
        // A loop that could not start leaves no modeless viewer behind.
        leave();
        throw;
    }
    leave();
}

void DisplayPicture::Hide() {
    HWND window = impl_->Live();
    if (!IsWindowVisible(window)) return;
    ShowWindow(window, SW_HIDE);
    // A modal showing waits for its next message before it sees the change.
    PostMessageW(window, WM_NULL, 0, 0);
}

void DisplayPicture::SetAttributeCaption(int pair, const std::wstring& caption) {
    CheckAttributePair(pair);
    impl_->Live();
    ShowAttributeCaption(impl_->Control(DisplayPictureControl::LabelAttrib + pair - 1), caption);
}

void DisplayPicture::SetAttributeValue(int pair, const VARIANT& value) {
    CheckAttributePair(pair);
    impl_->Live();
    ShowAttributeValue(impl_->ValueBox(pair), value);
}

void DisplayPicture::ClearAttributeValue(int pair) {
    CheckAttributePair(pair);
    impl_->Live();
    EmptyAttributeValue(impl_->ValueBox(pair));
}

void DisplayPicture::SetAttributeInUse(int pair, bool inUse) {
    CheckAttributePair(pair);
    impl_->Live();
    SetAttributeValueEnabled(impl_->ValueBox(pair), inUse);
}

void DisplayPicture::ChooserClear() {
    impl_->Live();
    SendMessageW(impl_->Chooser(), CB_RESETCONTENT, 0, 0);
    impl_->SetChooserTextQuietly(L"");
}

void DisplayPicture::ChooserAddItem(const std::wstring& entry) {
    impl_->Live();
    LRESULT added = SendMessageW(impl_->Chooser(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    if (added == CB_ERR || added == CB_ERRSPACE) Raise(ErrorNumber::OutOfMemory);
}

void DisplayPicture::ChooserSetListIndex(std::int16_t index) {
    impl_->Live();
    LRESULT count = SendMessageW(impl_->Chooser(), CB_GETCOUNT, 0, 0);
    if (index < -1 || index >= count)
        throw RuntimeError(kInvalidPropertyValue, kErrorSource, L"Invalid property value");
    impl_->SelectEntry(index);
    impl_->ImageSelectBox_Change();
}

std::wstring DisplayPicture::ChooserText() const {
    impl_->Live();
    return WindowText(impl_->Chooser());
}

void DisplayPicture::ChooserSetEnabled(bool enabled) {
    impl_->Live();
    EnableWindow(impl_->Chooser(), enabled ? TRUE : FALSE);
}

void ReleaseDisplayPicture() noexcept {
    delete Viewers().Take();
}

} // namespace snapvane
