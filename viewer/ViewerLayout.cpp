#include "viewer/ViewerLayout.h"

#include "errors/Boundary.h"
#include "viewer/DisplayPicture.h"
#include "viewer/Logo.h"
#include "viewer/PictureBox.h"
#include "win32/Module.h"

#include <string>

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

unique_hfont CreatePointFont(const PointScale& scale, double points, const wchar_t* face) {
    unique_hfont font(CreateFontW(scale.FontHeight(points), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                  face));
    if (!font) RaiseLastWindowsError();
    return font;
}

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

HWND AddControl(HWND parent, const wchar_t* kind, const wchar_t* text, DWORD style, DWORD exStyle, int control,
                RECT place, HFONT font) {
    HWND made = CreateWindowExW(exStyle, kind, text, WS_CHILD | WS_VISIBLE | style, place.left, place.top,
                                place.right - place.left, place.bottom - place.top, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(control)), ThisModule(), nullptr);
    if (!made) RaiseLastWindowsError();
    if (font) SendMessageW(made, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return made;
}

// The closed chooser is as high as the design says, whatever its font.
void FitChooserHeight(HWND chooser, int height) {
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

constexpr DWORD kViewerStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kViewerExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

} // namespace

[[noreturn]] void RaiseLastWindowsError() {
    DWORD code = GetLastError();
    SetErrorInfo(0, nullptr);
    Check(HRESULT_FROM_WIN32(code ? code : ERROR_CANNOT_MAKE));
    throw RuntimeError(ErrorNumber::InternalError, kErrorSource, StandardDescription(ErrorNumber::InternalError));
}

PointScale::PointScale() {
    HDC screen = GetDC(nullptr);
    dpiX_ = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    dpiY_ = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
}

void ViewerLayout::RegisterClasses(WNDPROC viewerProc) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExW(ThisModule(), kDisplayPictureClass, &existing)) {
        WNDCLASSEXW viewerClass{};
        viewerClass.cbSize = sizeof viewerClass;
        viewerClass.lpfnWndProc = viewerProc;
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

void ViewerLayout::UnregisterClasses() noexcept {
    UnregisterClassW(kDisplayPictureClass, ThisModule());
    UnregisterClassW(kBrandingPanelClass, ThisModule());
}

void ViewerLayout::Prepare() {
    scale_ = PointScale();
    tahoma_ = CreatePointFont(scale_, 8.25, L"Tahoma");
    makerFont_ = CreatePointFont(scale_, 18, L"Arial");
    taglineFont_ = CreatePointFont(scale_, 13.5, L"Tahoma");
    logo_ = CreateLogoBitmap();
}

HWND ViewerLayout::CreateFrame(void* creationParam) const {
    RECT frame{0, 0, scale_.X(kClientWidth), scale_.Y(kClientHeight)};
    AdjustWindowRectEx(&frame, kViewerStyle, FALSE, kViewerExStyle);
    return CreateWindowExW(kViewerExStyle, kDisplayPictureClass, L"", kViewerStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, ThisModule(),
                           creationParam);
}

// Controls that take the focus are made first, in focus order, so that
// Tab follows it; labels and pictures take no focus and come after.
void ViewerLayout::CreateControls(HWND window) const {
    HFONT font = tahoma_.get();
    RECT chooser = scale_.Rect(kImageSelectBox);
    RECT dropped = chooser;
    dropped.bottom += scale_.Y(kImageSelectBox.height) * kChooserListItems;
    HWND chooserBox = AddControl(window, L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                                 0, id::ImageSelectBox, dropped, font);
    FitChooserHeight(chooserBox, chooser.bottom - chooser.top);
    AddControl(window, L"BUTTON", L"Exit", WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER, 0, id::ExitButton,
               scale_.Rect(kExitButton), font);
    AddControl(window, L"BUTTON", L"Edit", WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER, 0, id::EditButton,
               scale_.Rect(kEditButton), font);
    HWND panel = AddControl(window, kBrandingPanelClass, L"", WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, id::Frame1,
                            scale_.Rect(kFrame1), nullptr);
    for (int pair : kValueFocusOrder)
        AddControl(window, L"EDIT", L"", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                   id::TextAttrib + pair - 1, scale_.Rect(kAttributeValues[pair - 1]), font);

    // The prompt is one line. Its text fills the design's width to the
    // last pixel, and word wrapping would count the trailing blank and
    // push "list: " onto a second line that the label's height cuts off.
    AddControl(window, L"STATIC", kPrompt, SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, id::Label1, scale_.Rect(kLabel1),
               font);
    MakePictureBox(AddControl(window, L"STATIC", L"", SS_BITMAP | SS_CENTERIMAGE, 0, id::Image,
                              scale_.Rect(kImage), nullptr));
    for (int pair = 1; pair <= 5; ++pair)
        AddControl(window, L"STATIC", (L"Label" + std::to_wstring(pair)).c_str(), SS_LEFT | SS_NOPREFIX, 0,
                   id::LabelAttrib + pair - 1, scale_.Rect(kAttributeLabels[pair - 1]), font);

    HWND logo = AddControl(panel, L"STATIC", L"", SS_BITMAP | SS_CENTERIMAGE, 0, id::Image1,
                           scale_.Rect(kImage1), nullptr);
    SendMessageW(logo, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo_.get()));
    AddControl(panel, L"STATIC", kMakerName, SS_LEFT | SS_NOPREFIX, 0, id::Label2, scale_.Rect(kLabel2),
               makerFont_.get());
    AddControl(panel, L"STATIC", kTagline, SS_LEFT | SS_NOPREFIX, 0, id::Label4, scale_.Rect(kLabel4),
               taglineFont_.get());
    AddControl(panel, L"STATIC", kWebAddress, SS_LEFT | SS_NOPREFIX, 0, id::Label3, scale_.Rect(kLabel3), font);
}

void ViewerLayout::ReleaseLogo() noexcept { logo_.reset(); }

SIZE ViewerLayout::PictureBoxSize() const {
    RECT box = scale_.Rect(kImage);
    return {box.right - box.left, box.bottom - box.top};
}

} // namespace snapvane
