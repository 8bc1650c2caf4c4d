#include "viewer/DisplayPicture.h"

#include "errors/Boundary.h"
#include "errors/MessageBox.h"
#include "viewer/Logo.h"
#include "viewer/OpenInProgram.h"
#include "viewer/PictureBox.h"
#include "pictures/LoadPicture.h"
#include "viewer/PictureFile.h"
#include "win32/Handles.h"
#include "win32/ModalLoop.h"
#include "win32/Module.h"
#include "win32/ThreadSlot.h"

#include <cmath>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace snapvane {

namespace {

namespace id = DisplayPictureControl;

constexpr wchar_t kBrandingPanelClass[] = L"SnapvaneBrandingPanel";

constexpr wchar_t kPrompt[] = L"Select image to display from list: ";
constexpr wchar_t kMakerName[] = L"Tellurix";
constexpr wchar_t kTagline[] = L"Picture the map";
constexpr wchar_t kWebAddress[] = L"www.tellurix.example";

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kMakerBlue = RGB(0, 0, 255);
constexpr COLORREF kAddressRed = RGB(255, 0, 0);

constexpr int kChooserListItems = 10;
constexpr long kInvalidPropertyValue = 380;
constexpr long kInvalidProcedureCall = 5;
constexpr long kFormAlreadyShown = 400;

// A place in the design, in points from the parent's top-left corner.
struct Place {
    double left, top, width, height;
};

constexpr double kClientWidth = 529.5;
constexpr double kClientHeight = 488.25;

constexpr Place kLabel1{6, 6, 126, 12};
constexpr Place kImageSelectBox{138, 6, 246, 18};
constexpr Place kEditButton{396, 6, 54, 18};
constexpr Place kExitButton{462, 6, 54, 18};
constexpr Place kImage{7.5, 31.5, 512, 384};
constexpr Place kFrame1{9, 420, 234, 63};
constexpr Place kImage1{6, 0, 60, 60};
constexpr Place kLabel2{77.25, 1.5, 138, 24};
constexpr Place kLabel4{93.75, 21, 108.75, 16.5};
constexpr Place kLabel3{96, 43.5, 102, 12};
constexpr Place kAttributeLabels[5] = {
    {252, 426, 54, 12}, {253.5, 447.75, 54, 12}, {396, 426, 54, 15.75}, {397.5, 447.75, 54, 12}, {252.75, 472.5, 54, 12}};
constexpr Place kAttributeValues[5] = {{312, 426, 60, 15.75},
                                       {313.5, 447.75, 60, 15.75},
                                       {456, 426, 60, 15.75},
                                       {457.5, 447.75, 60, 15.75},
                                       {312.75, 470.25, 204, 15.75}};
// The value boxes in focus order: 1, 2, 5, 3, 4.
constexpr int kValueFocusOrder[5] = {1, 2, 5, 3, 4};

// Points to pixels at the system's DPI.
class PointScale {
public:
    PointScale() {
        HDC screen = GetDC(nullptr);
        dpiX_ = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
        dpiY_ = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen) ReleaseDC(nullptr, screen);
    }
    int X(double points) const { return static_cast<int>(std::lround(points * dpiX_ / 72.0)); }
    int Y(double points) const { return static_cast<int>(std::lround(points * dpiY_ / 72.0)); }
    RECT Rect(const Place& place) const {
        int left = X(place.left), top = Y(place.top);
        return {left, top, left + X(place.width), top + Y(place.height)};
    }
    int FontHeight(double points) const { return -Y(points); }

private:
    int dpiX_ = 96;
    int dpiY_ = 96;
};

[[noreturn]] void RaiseLastWindowsError() {
    DWORD code = GetLastError();
    SetErrorInfo(0, nullptr);
    Check(HRESULT_FROM_WIN32(code ? code : ERROR_CANNOT_MAKE));
    throw RuntimeError(ErrorNumber::InternalError, kErrorSource, StandardDescription(ErrorNumber::InternalError));
}

unique_hfont CreatePointFont(const PointScale& scale, double points, const wchar_t* face) {
    unique_hfont font(CreateFontW(scale.FontHeight(points), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                  face));
    if (!font) RaiseLastWindowsError();
    return font;
}

std::wstring WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

std::wstring ComboEntry(HWND combo, LRESULT index) {
    LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    return copied == CB_ERR ? std::wstring() : std::wstring(buffer.data(), static_cast<size_t>(copied));
}

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

std::wstring NotFoundMessage(const std::wstring& name, const std::wstring& basePath) {
    return L"File Name " + name + L" not found. Base Path is " + basePath;
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

// The branding panel: white, with an etched border; its labels carry the
// maker's colours.
LRESULT CALLBACK BrandingPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowBoundary<LRESULT>(panel, 0, [&]() -> LRESULT {
        switch (message) {
        case WM_CTLCOLORSTATIC: {
            auto dc = reinterpret_cast<HDC>(wParam);
            int control = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            SetBkColor(dc, kWhite);
            SetTextColor(dc, control == id::Label2   ? kMakerBlue
                             : control == id::Label3 ? kAddressRed
                                                     : GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(panel, &paint);
            RECT border;
            GetClientRect(panel, &border);
            DrawEdge(dc, &border, EDGE_ETCHED, BF_RECT);
            EndPaint(panel, &paint);
            return 0;
        }
        }
        return DefWindowProcW(panel, message, wParam, lParam);
    });
}

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

class DisplayPicture::Impl {
public:
    HWND window = nullptr;
    std::wstring basePath;
    bool modalShowing = false;

    ~Impl() {
        if (window && IsWindow(window)) DestroyWindow(window);
        UnregisterClassW(kDisplayPictureClass, ThisModule());
        UnregisterClassW(kBrandingPanelClass, ThisModule());
    }

    // The window, created (again) when it does not exist.
    HWND Live() {
        if (window && IsWindow(window)) return window;
        CreateViewerWindow();
        return window;
    }

    HWND Control(int control) const { return GetDlgItem(window, control); }
    HWND Chooser() const { return Control(id::ImageSelectBox); }

    // Message boxes stand in front of the viewer while it is shown, else in
    // front of the caller's active window.
    HWND MessageOwner() const { return window && IsWindowVisible(window) ? window : nullptr; }

    // --- The chooser ---

    void SetChooserTextQuietly(const std::wstring& text) {
        FlagScope quiet(settingChooserText_);
        SetWindowTextW(Chooser(), text.c_str());
        typedText_ = text;
    }

    void SelectEntry(LRESULT index) {
        {
            FlagScope quiet(settingChooserText_);
            SendMessageW(Chooser(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        }
        if (index >= 0) SetChooserTextQuietly(ComboEntry(Chooser(), index));
        else SetChooserTextQuietly(L"");
    }

    // A pick from the drop-down list: the edit field may still show the old
    // text at this moment, so it is given the picked entry first.
    void OnChooserPicked() {
        LRESULT index = SendMessageW(Chooser(), CB_GETCURSEL, 0, 0);
        if (index != CB_ERR) SetChooserTextQuietly(ComboEntry(Chooser(), index));
        ImageSelectBox_Change();
    }

    void OnChooserTyped() {
        if (settingChooserText_) return;
        CompleteTypedText();
        ImageSelectBox_Change();
    }

    // Typing at the end of the text completes it to the first entry that
    // starts with it; the completed part stays selected, so the next key
    // replaces it. Deleting never completes.
    void CompleteTypedText() {
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

    // --- Picture selection and display ---

    void ImageSelectBox_Change() { ShowSelectedPicture(); }

    // The file the chooser's entry names, looked for as written and then
    // under BasePath. An empty entry names none; a file found nowhere is
    // reported to the user and gives none.
    struct ChosenPicture {
        std::wstring name;
        std::wstring path;
    };
    std::optional<ChosenPicture> ChosenPictureFile() {
        std::wstring text = WindowText(Chooser());
        if (text.empty()) return std::nullopt;
        std::wstring name = PictureFileName(text);
        std::wstring path = FindPictureFile(name, basePath);
        if (path.empty()) {
            ShowMessage(MessageOwner(), NotFoundMessage(name, basePath));
            return std::nullopt;
        }
        return ChosenPicture{std::move(name), std::move(path)};
    }

    void ShowSelectedPicture() {
        ClearPicture();
        std::optional<ChosenPicture> chosen = ChosenPictureFile();
        if (!chosen) return;
        const std::wstring& path = chosen->path;
        unique_hbitmap scaled;
        try {
            scaled = LoadScaledPicture(path, PictureBoxSize(), GetSysColor(COLOR_BTNFACE));
        } catch (const RuntimeError& error) {
            // A damaged file, one that is no picture, or one too large to hold
            // in the host's memory is the user's to know about; the box stays empty.
            ShowMessage(MessageOwner(), L"File Name " + path + L" " +
                                            (IsPictureLimit(error.Number()) ? error.Description()
                                                                                : L"could not be read as a picture."));
            return;
        }
        SendMessageW(Control(id::Image), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(scaled.get()));
        picture_ = std::move(scaled);
    }

    void ClearPicture() {
        if (window) SendMessageW(Control(id::Image), STM_SETIMAGE, IMAGE_BITMAP, 0);
        picture_.reset();
    }

    SIZE PictureBoxSize() const {
        RECT box = scale_.Rect(kImage);
        return {box.right - box.left, box.bottom - box.top};
    }

    void ExitButton_Click(DisplayPicture& viewer) {
        ClearPicture();
        viewer.Hide();
    }

    // --- Open in the associated program ---

    void EditButton_Click() {
        std::optional<ChosenPicture> chosen = ChosenPictureFile();
        if (!chosen) return;
        const std::wstring& path = chosen->path;
        std::wstring file = FullFilePath(path);
        // A name of a type that runs is refused for its name alone, as users
        // have always been told; what opens the file is decided by its content.
        if (IsRunnableFileType(path) || IsRunnableFileType(file)) {
            RefuseToRun(file);
            return;
        }
        const std::wstring type = PictureContentType(file);
        if (type.empty()) {
            ShowMessage(MessageOwner(), L"File Name " + file + L" is not a picture. It is not opened.");
            return;
        }
        AssociatedProgram found = FindAssociatedProgram(file, type);
        switch (found.answer) {
        case AssociatedProgram::Answer::Found:
            break;
        case AssociatedProgram::Answer::NoAssociation:
            ShowMessage(MessageOwner(), L"No Application associated with this file type");
            return;
        case AssociatedProgram::Answer::Failed:
            ShowMessage(MessageOwner(), L"The program for File Name " + file + L" could not be found (shell error " +
                                            std::to_wstring(found.shellCode) + L").");
            return;
        }
        if (IsSameFile(found.program, file)) {
            RefuseToRun(file);
            return;
        }
        try {
            OpenWithAssociatedProgram(file, type);
        } catch (const RuntimeError& error) {
            ShowMessage(MessageOwner(), L"The program " + found.program + L" could not be started for File Name " +
                                            file + L".\r\n" + error.Description());
        }
    }

    void RefuseToRun(const std::wstring& file) {
        ShowMessage(MessageOwner(), L"File Name " + file + L" is a program or script. It is not opened.");
    }

    // --- The window ---

    static LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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

    LRESULT Handle(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
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

    void OnCommand(int control, int notification) {
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
        }
    }

    void RestoreFocus() {
        HWND target = focus_ && IsWindow(focus_) && IsWindowEnabled(focus_) && IsChild(window, focus_)
                          ? focus_
                          : GetNextDlgTabItem(window, nullptr, FALSE);
        if (target) SetFocus(target);
    }

    void FocusFirstControl() {
        focus_ = nullptr;
        RestoreFocus();
    }

    void WindowGone() {
        window = nullptr;
        focus_ = nullptr;
        picture_.reset();
        logo_.reset();
        moduleHold_.reset();
    }

    explicit Impl(DisplayPicture& viewer) : viewer_(&viewer) {}

private:
    static void RegisterClasses() {
        WNDCLASSEXW existing{};
        existing.cbSize = sizeof existing;
        if (!GetClassInfoExW(ThisModule(), kDisplayPictureClass, &existing)) {
            WNDCLASSEXW viewerClass{};
            viewerClass.cbSize = sizeof viewerClass;
            viewerClass.lpfnWndProc = ViewerProc;
            viewerClass.hInstance = ThisModule();
            viewerClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
            viewerClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
            viewerClass.lpszClassName = kDisplayPictureClass;
            if (!RegisterClassExW(&viewerClass)) RaiseLastWindowsError();
        }
        if (!GetClassInfoExW(ThisModule(), kBrandingPanelClass, &existing)) {
            WNDCLASSEXW panelClass{};
            panelClass.cbSize = sizeof panelClass;
            panelClass.lpfnWndProc = BrandingPanelProc;
            panelClass.hInstance = ThisModule();
            panelClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
            panelClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
            panelClass.lpszClassName = kBrandingPanelClass;
            if (!RegisterClassExW(&panelClass)) RaiseLastWindowsError();
        }
    }

    void CreateViewerWindow() {
        RegisterClasses();
        scale_ = PointScale();
        tahoma_ = CreatePointFont(scale_, 8.25, L"Tahoma");
        makerFont_ = CreatePointFont(scale_, 18, L"Arial");
        taglineFont_ = CreatePointFont(scale_, 13.5, L"Tahoma");
        logo_ = CreateLogoBitmap();

        const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
        RECT frame{0, 0, scale_.X(kClientWidth), scale_.Y(kClientHeight)};
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
        moduleHold_.emplace();  // the window procedure lives in this module
        HWND created = CreateWindowExW(exStyle, kDisplayPictureClass, L"", style, CW_USEDEFAULT, CW_USEDEFAULT,
                                       frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                       ThisModule(), this);
        if (!created) {
            moduleHold_.reset();
            RaiseLastWindowsError();
        }
        window = created;
        try {
            CreateControls();
        } catch (...) {
            DestroyWindow(created);
            throw;
        }
    }

    HWND AddControl(HWND parent, const wchar_t* kind, const wchar_t* text, DWORD style, DWORD exStyle, int control,
                    RECT place, HFONT font) {
        HWND made = CreateWindowExW(exStyle, kind, text, WS_CHILD | WS_VISIBLE | style, place.left, place.top,
                                    place.right - place.left, place.bottom - place.top, parent,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(control)), ThisModule(), nullptr);
        if (!made) RaiseLastWindowsError();
        if (font) SendMessageW(made, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return made;
    }

    // Controls that take the focus are made first, in focus order, so that
    // Tab follows it; labels and pictures take no focus and come after.
    void CreateControls() {
        HFONT font = tahoma_.get();
        RECT chooser = scale_.Rect(kImageSelectBox);
        RECT dropped = chooser;
        dropped.bottom += scale_.Y(kImageSelectBox.height) * kChooserListItems;
        AddControl(window, L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0,
                   id::ImageSelectBox, dropped, font);
        FitChooserHeight(chooser.bottom - chooser.top);
        AddControl(window, L"BUTTON", L"Exit", WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER, 0, id::ExitButton,
                   scale_.Rect(kExitButton), font);
        AddControl(window, L"BUTTON", L"Edit", WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER, 0, id::EditButton,
                   scale_.Rect(kEditButton), font);
        HWND panel = AddControl(window, kBrandingPanelClass, L"", WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, id::Frame1,
                                scale_.Rect(kFrame1), nullptr);
        for (int pair : kValueFocusOrder)
            AddControl(window, L"EDIT", L"", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                       id::TextAttrib + pair - 1, scale_.Rect(kAttributeValues[pair - 1]), font);

        AddControl(window, L"STATIC", kPrompt, SS_LEFT | SS_NOPREFIX, 0, id::Label1, scale_.Rect(kLabel1), font);
        MakePictureBox(AddControl(window, L"STATIC", L"", SS_BITMAP | SS_CENTERIMAGE, 0, id::Image,
                                  scale_.Rect(kImage), nullptr));
        for (int pair = 1; pair <= 5; ++pair)
            AddControl(window, L"STATIC", (L"Label" + std::to_wstring(pair)).c_str(), SS_LEFT | SS_NOPREFIX, 0,
                       id::LabelAttrib + pair - 1, scale_.Rect(kAttributeLabels[pair - 1]), font);

        HWND logo = AddControl(panel, L"STATIC", L"", SS_BITMAP | SS_CENTERIMAGE, 0, id::Image1, scale_.Rect(kImage1),
                               nullptr);
        SendMessageW(logo, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo_.get()));
        AddControl(panel, L"STATIC", kMakerName, SS_LEFT | SS_NOPREFIX, 0, id::Label2, scale_.Rect(kLabel2),
                   makerFont_.get());
        AddControl(panel, L"STATIC", kTagline, SS_LEFT | SS_NOPREFIX, 0, id::Label4, scale_.Rect(kLabel4),
                   taglineFont_.get());
        AddControl(panel, L"STATIC", kWebAddress, SS_LEFT | SS_NOPREFIX, 0, id::Label3, scale_.Rect(kLabel3), font);
    }

    // The closed chooser is as high as the design says, whatever its font.
    void FitChooserHeight(int height) {
        HWND chooser = Chooser();
        for (int attempt = 0; attempt < 3; ++attempt) {
            RECT now;
            GetWindowRect(chooser, &now);
            LRESULT item = SendMessageW(chooser, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
            if (item == CB_ERR) return;
            // Until the chooser has settled its size it reports the dropped
            // height; its field's frame is then taken as the usual 4 pixels.
            int frame = now.bottom - now.top - static_cast<int>(item);
            if (frame < 0 || frame > height) frame = 4;
            int wanted = height - frame;
            if (wanted <= 0 || wanted == item) return;
            SendMessageW(chooser, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), wanted);
        }
    }

    DisplayPicture* viewer_;
    PointScale scale_;
    std::optional<ModuleUsageHold> moduleHold_;
    unique_hfont tahoma_, makerFont_, taglineFont_;
    unique_hbitmap logo_, picture_;
    HWND focus_ = nullptr;
    bool settingChooserText_ = false;
    std::wstring typedText_;  // the chooser's text before the latest change
};

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

namespace {
void CheckPair(int pair) {
    if (pair < 1 || pair > 5) Raise(ErrorNumber::SubscriptOutOfRange);
}
} // namespace

void DisplayPicture::SetAttributeCaption(int pair, const std::wstring& caption) {
    CheckPair(pair);
    impl_->Live();
    SetWindowTextW(impl_->Control(DisplayPictureControl::LabelAttrib + pair - 1), caption.c_str());
}

void DisplayPicture::SetAttributeValue(int pair, const VARIANT& value) {
    CheckPair(pair);
    impl_->Live();
    SetWindowTextW(impl_->Control(DisplayPictureControl::TextAttrib + pair - 1), ValueText(value).c_str());
}

void DisplayPicture::ClearAttributeValue(int pair) {
    CheckPair(pair);
    impl_->Live();
    SetWindowTextW(impl_->Control(DisplayPictureControl::TextAttrib + pair - 1), L"");
}

void DisplayPicture::SetAttributeInUse(int pair, bool inUse) {
    CheckPair(pair);
    impl_->Live();
    EnableWindow(impl_->Control(DisplayPictureControl::TextAttrib + pair - 1), inUse ? TRUE : FALSE);
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
