#include "hostapp/MainWindow.h"

#include "errors/Boundary.h"
#include "hostapp/OtherAutomationObject.h"
#include "hostapp/Resources.h"
#include "hostapp/Text.h"
#include "standin/MapDocument.h"
#include "win32/Handles.h"

#include <commdlg.h>
#include <windowsx.h>

#include <cwchar>
#include <cstdio>

namespace snapvane::hostapp {

namespace {

constexpr wchar_t kFrameClass[] = L"SnapvaneHostFrame";
constexpr wchar_t kCanvasClass[] = L"SnapvaneHostMap";
constexpr wchar_t kHostTitle[] = L"Snapvane Host";
constexpr int kPanZoomImage = 0, kToolImage = 1;

std::wstring FailureText(const CallResult& result) {
    wchar_t code[16];
    std::swprintf(code, ARRAYSIZE(code), L"0x%08lX", static_cast<unsigned long>(result.hr));
    std::wstring text = L"Picture Display: the click failed (" + std::wstring(code) + L")";
    if (!result.description.empty()) text += L": " + result.description;
    return text;
}

// The host's own tool image: four arrows, drawn once.
HBITMAP PanZoomBitmap() {
    HDC screen = GetDC(nullptr);
    unique_hdc dc(CreateCompatibleDC(screen));
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
    ReleaseDC(nullptr, screen);
    if (!bitmap || !dc) return bitmap;
    SelectObjectScope scope(dc.get(), bitmap);
    RECT all{0, 0, 16, 16};
    FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    std::unique_ptr<std::remove_pointer_t<HPEN>, GdiObjectDeleter> pen(CreatePen(PS_SOLID, 2, RGB(0, 0, 128)));
    SelectObjectScope penScope(dc.get(), pen.get());
    MoveToEx(dc.get(), 8, 1, nullptr); LineTo(dc.get(), 8, 15);
    MoveToEx(dc.get(), 1, 8, nullptr); LineTo(dc.get(), 15, 8);
    const POINT heads[4][3] = {{{8, 0}, {5, 4}, {11, 4}}, {{8, 15}, {5, 11}, {11, 11}},
                               {{0, 8}, {4, 5}, {4, 11}}, {{15, 8}, {11, 5}, {11, 11}}};
    SelectObjectScope brushScope(dc.get(), GetStockObject(BLACK_BRUSH));
    for (const auto& head : heads) Polygon(dc.get(), head, 3);
    return bitmap;
}

struct OptionsState {
    double tolerance;
};

INT_PTR CALLBACK OptionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowBoundary<INT_PTR>(dialog, FALSE, [&]() -> INT_PTR {
        auto* state = reinterpret_cast<OptionsState*>(GetWindowLongPtrW(dialog, DWLP_USER));
        switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            state = reinterpret_cast<OptionsState*>(lParam);
            wchar_t text[64];
            std::swprintf(text, ARRAYSIZE(text), L"%g", state->tolerance);
            SetDlgItemTextW(dialog, IDC_TOLERANCE, text);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                wchar_t text[64];
                GetDlgItemTextW(dialog, IDC_TOLERANCE, text, ARRAYSIZE(text));
                wchar_t* end = nullptr;
                double value = std::wcstod(text, &end);
                while (end && *end == L' ') ++end;
                if (!end || *end || end == text || !(value >= 0) || value > 1e12) {
                    MessageBoxW(dialog, L"The search tolerance is a distance in map units: a number, 0 or more.",
                                L"Options", MB_OK | MB_ICONWARNING);
                    SetFocus(GetDlgItem(dialog, IDC_TOLERANCE));
                    return TRUE;
                }
                state->tolerance = value;
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        }
        return FALSE;
    });
}

struct CommandRow {
    std::wstring category, name, caption;
};

INT_PTR CALLBACK CustomizeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowBoundary<INT_PTR>(dialog, FALSE, [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG: {
            const auto& rows = *reinterpret_cast<const std::vector<CommandRow>*>(lParam);
            HWND list = GetDlgItem(dialog, IDC_COMMANDS);
            ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
            const wchar_t* headings[] = {L"Category", L"Name", L"Caption"};
            const int widths[] = {120, 150, 150};
            for (int i = 0; i < 3; ++i) {
                LVCOLUMNW column{};
                column.mask = LVCF_TEXT | LVCF_WIDTH;
                column.pszText = const_cast<wchar_t*>(headings[i]);
                column.cx = widths[i];
                ListView_InsertColumn(list, i, &column);
            }
            int index = 0;
            for (const CommandRow& row : rows) {
                LVITEMW item{};
                item.mask = LVIF_TEXT;
                item.iItem = index;
                item.pszText = const_cast<wchar_t*>(row.category.c_str());
                ListView_InsertItem(list, &item);
                ListView_SetItemText(list, index, 1, const_cast<wchar_t*>(row.name.c_str()));
                ListView_SetItemText(list, index, 2, const_cast<wchar_t*>(row.caption.c_str()));
                ++index;
            }
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        }
        return FALSE;
    });
}

} // namespace

MainWindow::MainWindow(ToolHost& tool, JsonLog& log) : tool_(tool), log_(log) {}

MainWindow::~MainWindow() {
    CloseMap();
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
    if (images_) ImageList_Destroy(images_);
}

void MainWindow::CloseMap() noexcept {
    view_.Clear();
    map_.reset();
}

void MainWindow::Create(SIZE canvasSize) {
    fixedCanvas_ = canvasSize;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW frame{};
    frame.cbSize = sizeof frame;
    frame.lpfnWndProc = FrameProc;
    frame.hInstance = instance;
    frame.hCursor = LoadCursor(nullptr, IDC_ARROW);
    frame.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    frame.lpszClassName = kFrameClass;
    RegisterClassExW(&frame);
    WNDCLASSEXW canvas{};
    canvas.cbSize = sizeof canvas;
    canvas.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    canvas.lpfnWndProc = CanvasProc;
    canvas.hInstance = instance;
    canvas.lpszClassName = kCanvasClass;
    RegisterClassExW(&canvas);

    window_ = CreateWindowExW(0, kFrameClass, kHostTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 20, 20, 1000, 760,
                              nullptr, nullptr, instance, this);
    if (!window_) throw RuntimeError(HRESULT_FROM_WIN32(GetLastError()), L"Snapvane host", L"The main window cannot be created.");
    CreateMenuBar();
    CreateToolbar();
    status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, window_,
                              nullptr, instance, nullptr);
    const int parts[] = {560, -1};
    SendMessageW(status_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    canvas_ = CreateWindowExW(WS_EX_CLIENTEDGE, kCanvasClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window_, nullptr,
                              instance, this);
    if (fixedCanvas_.cx > 0) SizeCanvas(fixedCanvas_);
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    SetStatus(L"Ready");
}

// Grows or shrinks the frame until the canvas has exactly the asked size, or
// as near to it as the screen lets a window be.
void MainWindow::SizeCanvas(SIZE size) {
    Layout();
    for (int attempt = 0; attempt < 3; ++attempt) {
        RECT client, frameRect;
        GetClientRect(canvas_, &client);
        GetWindowRect(window_, &frameRect);
        const int dx = size.cx - client.right, dy = size.cy - client.bottom;
        if (!dx && !dy) break;
        SetWindowPos(window_, nullptr, 0, 0, frameRect.right - frameRect.left + dx,
                     frameRect.bottom - frameRect.top + dy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void MainWindow::CreateMenuBar() {
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, ID_OPEN_MAP, L"&Open map...");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, ID_EXIT, L"E&xit");
    HMENU view = CreatePopupMenu();
    AppendMenuW(view, MF_STRING, ID_FULL_EXTENT, L"&Full extent");
    HMENU tools = CreatePopupMenu();
    AppendMenuW(tools, MF_STRING, ID_TOOL_PANZOOM, L"&Pan/Zoom");
    AppendMenuW(tools, MF_STRING, ID_TOOL_PICTURE, identity_.caption.empty() ? L"Picture tool" : identity_.caption.c_str());
    AppendMenuW(tools, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(tools, MF_STRING, ID_OPTIONS, L"&Options...");
    AppendMenuW(tools, MF_STRING, ID_CUSTOMIZE, L"&Customize...");
    HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(view), L"&View");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(tools), L"&Tools");
    SetMenu(window_, bar);
}

void MainWindow::CreateToolbar() {
    identity_ = tool_.Identity();
    toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TOOLTIPS | CCS_TOP, 0, 0,
                               0, 0, window_, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolbar_, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_MIXEDBUTTONS);
    images_ = ImageList_Create(16, 16, ILC_COLOR24, 2, 0);
    {
        unique_hbitmap pan(PanZoomBitmap());
        ImageList_Add(images_, pan.get(), nullptr);
    }
    // The image list copies the tool's bitmap; the handle stays the tool's.
    if (identity_.bitmap) ImageList_Add(images_, identity_.bitmap, nullptr);
    SendMessageW(toolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
    const int panText = static_cast<int>(SendMessageW(toolbar_, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(L"Pan/Zoom\0")));
    const std::wstring caption = identity_.caption + L'\0';
    const int toolText = static_cast<int>(SendMessageW(toolbar_, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(caption.c_str())));
    TBBUTTON buttons[5] = {};
    buttons[0] = {kPanZoomImage, ID_TOOL_PANZOOM, TBSTATE_ENABLED, BTNS_CHECKGROUP | BTNS_AUTOSIZE, {}, 0, panText};
    buttons[1] = {identity_.bitmap ? kToolImage : I_IMAGENONE, ID_TOOL_PICTURE, TBSTATE_ENABLED,
                  BTNS_CHECKGROUP | BTNS_AUTOSIZE | BTNS_SHOWTEXT, {}, 0, toolText};
    buttons[2] = {0, 0, 0, BTNS_SEP, {}, 0, 0};
    buttons[3] = {I_IMAGENONE, ID_OPTIONS, TBSTATE_ENABLED, BTNS_AUTOSIZE | BTNS_SHOWTEXT, {}, 0,
                  reinterpret_cast<INT_PTR>(L"Options...")};
    buttons[4] = {I_IMAGENONE, ID_CUSTOMIZE, TBSTATE_ENABLED, BTNS_AUTOSIZE | BTNS_SHOWTEXT, {}, 0,
                  reinterpret_cast<INT_PTR>(L"Customize...")};
    SendMessageW(toolbar_, TB_ADDBUTTONSW, ARRAYSIZE(buttons), reinterpret_cast<LPARAM>(buttons));
    SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
    UpdateToolButtons();
}

void MainWindow::Layout() {
    RECT client;
    GetClientRect(window_, &client);
    SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
    SendMessageW(status_, WM_SIZE, 0, 0);
    RECT bar{}, status{};
    GetWindowRect(toolbar_, &bar);
    GetWindowRect(status_, &status);
    const int top = bar.bottom - bar.top, bottom = status.bottom - status.top;
    MoveWindow(canvas_, 0, top, client.right, std::max<int>(client.bottom - top - bottom, 1), TRUE);
    RECT canvas;
    GetClientRect(canvas_, &canvas);
    view_.SetCanvasSize(canvas.right, canvas.bottom);
    InvalidateRect(canvas_, nullptr, TRUE);
}

void MainWindow::UpdateToolButtons() {
    SendMessageW(toolbar_, TB_CHECKBUTTON, ID_TOOL_PANZOOM, !tool_.Active());
    SendMessageW(toolbar_, TB_CHECKBUTTON, ID_TOOL_PICTURE, tool_.Active());
    HMENU menu = GetMenu(window_);
    if (menu) {
        CheckMenuRadioItem(menu, ID_TOOL_PANZOOM, ID_TOOL_PICTURE, tool_.Active() ? ID_TOOL_PICTURE : ID_TOOL_PANZOOM,
                           MF_BYCOMMAND);
    }
}

void MainWindow::SetStatus(const std::wstring& text) {
    if (status_) SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void MainWindow::SelectPanZoom() {
    if (tool_.Active()) {
        bool complete = false;
        CallResult result = tool_.Deactivate(&complete);
        if (!complete) SetStatus(L"Picture Display could not be put aside.");
    }
    UpdateToolButtons();
}

void MainWindow::SelectPictureTool() {
    if (!tool_.Exists()) return;
    tool_.Activate();
    tool_.OnClick();
    UpdateToolButtons();
}

void MainWindow::OnCommand(int id) {
    switch (id) {
    case ID_OPEN_MAP: OpenMapInteractively(); break;
    case ID_EXIT: PostMessageW(window_, WM_CLOSE, 0, 0); break;
    case ID_TOOL_PANZOOM: SelectPanZoom(); break;
    case ID_TOOL_PICTURE: SelectPictureTool(); break;
    case ID_FULL_EXTENT:
        view_.ZoomToFullExtent();
        InvalidateRect(canvas_, nullptr, TRUE);
        break;
    case ID_OPTIONS: ShowOptions(); break;
    case ID_CUSTOMIZE: ShowCustomize(); break;
    }
}

void MainWindow::ShowOptions() {
    if (!map_) return;
    OptionsState state{map_->SearchTolerance()};
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_OPTIONS), window_, OptionsProc,
                        reinterpret_cast<LPARAM>(&state)) == IDOK)
        SetSearchTolerance(state.tolerance);
}

void MainWindow::ShowCustomize() {
    std::vector<CommandRow> rows{{L"Host Tools", L"PanZoom", L"Pan/Zoom"}};
    if (tool_.Exists()) rows.push_back({identity_.category, identity_.name, identity_.caption});
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CUSTOMIZE), window_, CustomizeProc,
                    reinterpret_cast<LPARAM>(&rows));
}

void MainWindow::OpenMapInteractively() {
    wchar_t path[MAX_PATH * 4] = L"";
    OPENFILENAMEW open{};
    open.lStructSize = sizeof open;
    open.hwndOwner = window_;
    open.lpstrFilter = L"Map documents (*.json)\0*.json\0All files\0*.*\0";
    open.lpstrFile = path;
    open.nMaxFile = ARRAYSIZE(path);
    open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (GetOpenFileNameW(&open)) OpenMap(path);
}

bool MainWindow::OpenMap(const std::wstring& path, bool callOnCreate) {
    std::unique_ptr<standin::StandInHost> loaded;
    try {
        loaded = standin::LoadMapDocument(path);
    } catch (const standin::MapDocumentError& error) {
        MessageBoxW(window_, (L"The map document cannot be opened.\r\n\r\n" + error.Message()).c_str(), kHostTitle,
                    MB_OK | MB_ICONERROR);
        return false;
    } catch (const std::bad_alloc&) {
        MessageBoxW(window_, (L"The map document " + path + L" is too large to open.").c_str(), kHostTitle,
                    MB_OK | MB_ICONERROR);
        return false;
    } catch (const std::exception&) {
        MessageBoxW(window_, (L"The map document " + path + L" cannot be opened.").c_str(), kHostTitle,
                    MB_OK | MB_ICONERROR);
        return false;
    }
    CloseMap();
    map_ = std::move(loaded);
    // The document's view, before the map view fits anything.
    const standin::StandInHost::View documentView = map_->CurrentView();
    view_.Load(*map_);
    RECT canvas;
    if (fixedCanvas_.cx > 0) {
        // A scripted run shows exactly the document's view, so that a press
        // at a device pixel reaches the map point the document implies.
        SizeCanvas({documentView.width, documentView.height});
        view_.ShowDocumentView(documentView);
    } else {
        GetClientRect(canvas_, &canvas);
        view_.SetCanvasSize(canvas.right, canvas.bottom);
    }
    InvalidateRect(canvas_, nullptr, TRUE);
    GetClientRect(canvas_, &canvas);
    Bstr title;
    ComPtr<IDocument> document;
    if (SUCCEEDED(map_->Document().As(&document))) document->get_Title(title.out());
    SetWindowTextW(window_, (title.str() + L" - " + kHostTitle).c_str());
    Json layers = Json::array();
    for (const LayerDrawing& layer : view_.Layers())
        layers.push_back(Json{{"name", Utf8(layer.name)}, {"visible", layer.visible}, {"depth", layer.depth}});
    const standin::StandInHost::View shown = map_->CurrentView();
    const Json extent{{"xmin", shown.shown.xmin}, {"ymin", shown.shown.ymin}, {"xmax", shown.shown.xmax},
                      {"ymax", shown.shown.ymax}};
    log_.Write("map_opened", Json{{"title", Utf8(title.str())},
                                  {"layers", layers},
                                  {"view", Json{{"width", shown.width}, {"height", shown.height}, {"extent", extent}}},
                                  {"canvas", Json{{"width", canvas.right}, {"height", canvas.bottom}}}});
    // The tool gets the application of the document it works on, unless the
    // run plays a host that creates its commands before its application.
    if (tool_.Exists()) {
        if (callOnCreate) {
            CallResult created = tool_.OnCreate(map_->Hook().Get());
            if (FAILED(created.hr)) SetStatus(L"Picture Display could not be set up: " + created.description);
        }
        SelectPictureTool();
    }
    return true;
}

bool MainWindow::MapToDevice(double x, double y, long* deviceX, long* deviceY) {
    POINT point = view_.ToDevice({x, y});
    *deviceX = point.x;
    *deviceY = point.y;
    return point.x >= 0 && point.y >= 0 && point.x < view_.Width() && point.y < view_.Height();
}

CallResult MainWindow::Press(long x, long y, long button, long shift) {
    if (!tool_.Active()) {
        // The host's own tool has the press; the tool hears nothing.
        return CallResult{S_FALSE, L"Picture Display is not the active tool."};
    }
    SetStatus(L"Ready");
    CallResult result = tool_.OnMouseDown(button, shift, x, y);
    if (FAILED(result.hr)) SetStatus(FailureText(result));
    return result;
}

std::wstring MainWindow::StatusText() const {
    if (!status_) return {};
    const LRESULT length = LOWORD(SendMessageW(status_, SB_GETTEXTLENGTHW, 0, 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(status_, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));
    return text;
}

void MainWindow::SetSearchTolerance(double tolerance) {
    if (!map_) return;
    map_->SetSearchTolerance(tolerance);
    wchar_t text[96];
    std::swprintf(text, ARRAYSIZE(text), L"Search tolerance: %g map units", tolerance);
    SetStatus(text);
    log_.Write("tolerance", Json{{"value", tolerance}});
}

CallResult MainWindow::DeactivateTool(bool* complete) {
    CallResult result = tool_.Deactivate(complete);
    UpdateToolButtons();
    return result;
}

void MainWindow::ActivateTool() {
    SelectPictureTool();
    log_.Write("tool_active", Json{{"active", tool_.Active()}});
}

CallResult MainWindow::OnCreateWithApplication() {
    if (!map_) return CallResult{E_UNEXPECTED, L"No map is open."};
    return tool_.OnCreate(map_->Hook().Get());
}

CallResult MainWindow::OnCreateWithOtherObject() {
    ComPtr<IDispatch> other = NewOtherAutomationObject();
    return tool_.OnCreate(other.Get());
}

Json MainWindow::FindLayer(const std::wstring& layerName, long featureIndex) {
    Json result = Json::object();
    auto fail = [&](const std::string& why) {
        result["error"] = why;
        return result;
    };
    if (!map_) return fail("no map is open");
    // The feature: the layer's features in stored order.
    ComPtr<IEnumLayer> layers;
    if (FAILED(map_->FocusMap()->get_Layers(nullptr, VARIANT_TRUE, &layers)) || !layers) return fail("no layers");
    layers->Reset();
    ComPtr<IFeatureLayer> featureLayer;
    for (;;) {
        ComPtr<ILayer> layer;
        if (layers->Next(&layer) != S_OK || !layer) break;
        Bstr name;
        layer->get_Name(name.out());
        if (name.str() == layerName && SUCCEEDED(layer.As(&featureLayer))) break;
        featureLayer.Reset();
    }
    if (!featureLayer) return fail("no feature layer of that name");
    ComPtr<IFeatureClass> featureClass;
    ComPtr<IFeatureCursor> cursor;
    if (FAILED(featureLayer->get_FeatureClass(&featureClass)) ||
        FAILED(featureClass->Search(nullptr, VARIANT_FALSE, &cursor)))
        return fail("the layer's features cannot be read");
    ComPtr<IFeature> feature;
    for (long i = 0; i <= featureIndex; ++i)
        if (cursor->NextFeature(feature.ReleaseAndGetAddressOf()) != S_OK || !feature) return fail("no such feature");
    // The late-bound call, as a script of the host would make it.
    ComPtr<IDispatch> dispatch = tool_.Dispatch();
    if (!dispatch) return fail("the tool has no automation interface");
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"FindLayer");
    HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        result["hresult"] = HresultText(hr);
        return fail("FindLayer is not a member of the tool");
    }
    IUnknown* featureArgument = feature.Get();
    ComPtr<IUnknown> mapObject;
    map_->FocusMap().As(&mapObject);
    IUnknown* mapArgument = mapObject.Get();
    VARIANTARG arguments[2];
    VariantInit(&arguments[0]);
    VariantInit(&arguments[1]);
    V_VT(&arguments[1]) = VT_UNKNOWN | VT_BYREF;  // pFeature (arguments go last first)
    V_UNKNOWNREF(&arguments[1]) = &featureArgument;
    V_VT(&arguments[0]) = VT_UNKNOWN | VT_BYREF;  // pMap
    V_UNKNOWNREF(&arguments[0]) = &mapArgument;
    DISPPARAMS parameters{arguments, nullptr, 2, 0};
    Variant answer;
    EXCEPINFO exception{};
    UINT badArgument = 0;
    hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                          const_cast<VARIANT*>(&answer.get()), &exception, &badArgument);
    Bstr source, description, help;
    source.reset(exception.bstrSource);
    description.reset(exception.bstrDescription);
    help.reset(exception.bstrHelpFile);
    // Arguments passed by reference may have been replaced by the callee.
    if (featureArgument != feature.Get() && featureArgument) featureArgument->Release();
    if (mapArgument != mapObject.Get() && mapArgument) mapArgument->Release();
    result["hresult"] = HresultText(hr == DISP_E_EXCEPTION && exception.scode ? exception.scode : hr);
    result["description"] = Utf8(description.str());
    ComPtr<ILayer> found;
    const VARIANT& value = answer.get();
    if ((V_VT(&value) == VT_UNKNOWN || V_VT(&value) == VT_DISPATCH) && V_UNKNOWN(&value))
        V_UNKNOWN(&value)->QueryInterface(IID_PPV_ARGS(&found));
    if (found) {
        Bstr foundName;
        found->get_Name(foundName.out());
        result["layer"] = Utf8(foundName.str());
    } else {
        result["layer"] = nullptr;
    }
    return result;
}

void MainWindow::Quit(int exitCode) {
    exitCode_ = exitCode;
    DestroyWindow(window_);
}

long MainWindow::ShiftState(WPARAM keys) {
    long shift = 0;
    if (keys & MK_SHIFT) shift |= 1;
    if (keys & MK_CONTROL) shift |= 2;
    if (GetKeyState(VK_MENU) < 0) shift |= 4;
    return shift;
}

bool MainWindow::MouseEvent(UINT message, WPARAM wParam, LPARAM lParam) {
    const long x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    long button = 0;
    switch (message) {
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: button = 1; break;
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: button = 2; break;
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: button = 4; break;
    case WM_MOUSEMOVE:
        button = ((wParam & MK_LBUTTON) ? 1 : 0) | ((wParam & MK_RBUTTON) ? 2 : 0) | ((wParam & MK_MBUTTON) ? 4 : 0);
        break;
    }
    const long shift = ShiftState(wParam);
    if (message == WM_MOUSEMOVE && map_) {
        standin::MapPoint at = view_.ToMap(x, y);
        wchar_t text[96];
        std::swprintf(text, ARRAYSIZE(text), L"%.2f, %.2f", at.x, at.y);
        SendMessageW(status_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(text));
    }
    if (tool_.Active()) {
        switch (message) {
        case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
            SetFocus(canvas_);
            Press(x, y, button, shift);
            break;
        case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP: tool_.OnMouseUp(button, shift, x, y); break;
        case WM_MOUSEMOVE: tool_.OnMouseMove(button, shift, x, y); break;
        case WM_LBUTTONDBLCLK: tool_.OnDblClick(); break;
        }
        return true;
    }
    // The host's pan/zoom tool: drag to pan, double-click to zoom in.
    switch (message) {
    case WM_LBUTTONDOWN:
        SetFocus(canvas_);
        SetCapture(canvas_);
        dragging_ = true;
        dragFrom_ = {x, y};
        break;
    case WM_MOUSEMOVE:
        if (dragging_) {
            view_.Pan(x - dragFrom_.x, y - dragFrom_.y);
            dragFrom_ = {x, y};
            InvalidateRect(canvas_, nullptr, TRUE);
        }
        break;
    case WM_LBUTTONUP:
        if (dragging_) ReleaseCapture();
        dragging_ = false;
        break;
    case WM_LBUTTONDBLCLK:
        view_.Zoom(2.0, x, y);
        InvalidateRect(canvas_, nullptr, TRUE);
        break;
    }
    return true;
}

LRESULT CALLBACK MainWindow::FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowBoundary<LRESULT>(window, 0, [&]() -> LRESULT {
        auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_NCCREATE) {
            self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            self->window_ = window;
        }
        if (!self) return DefWindowProcW(window, message, wParam, lParam);
        return self->OnFrameMessage(message, wParam, lParam);
    });
}

LRESULT MainWindow::OnFrameMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case UiWorkQueue::kRunQueuedWork:
        queue_.RunPending();
        return 0;
    case WM_SIZE:
        if (toolbar_ && status_ && canvas_) Layout();
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == TTN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            static std::wstring tip;
            tip = info->hdr.idFrom == ID_TOOL_PICTURE ? identity_.tooltip
                  : info->hdr.idFrom == ID_TOOL_PANZOOM ? L"Pan (drag) and zoom (double-click, wheel) the map"
                                                        : L"";
            info->lpszText = const_cast<wchar_t*>(tip.c_str());
            return 0;
        }
        break;
    }
    case WM_CLOSE:
        DestroyWindow(window_);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(exitCode_);
        return 0;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::CanvasProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowBoundary<LRESULT>(window, 0, [&]() -> LRESULT {
        auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_NCCREATE) {
            self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        if (!self || !self->canvas_) return DefWindowProcW(window, message, wParam, lParam);
        return self->OnCanvasMessage(message, wParam, lParam);
    });
}

LRESULT MainWindow::OnCanvasMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(canvas_, &paint);
        RECT client;
        GetClientRect(canvas_, &client);
        // Drawn off screen first, so panning does not flicker.
        unique_hdc memory(CreateCompatibleDC(dc));
        unique_hbitmap bitmap(CreateCompatibleBitmap(dc, std::max<LONG>(client.right, 1), std::max<LONG>(client.bottom, 1)));
        if (memory && bitmap) {
            SelectObjectScope scope(memory.get(), bitmap.get());
            view_.Paint(memory.get(), client);
            BitBlt(dc, 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
        } else {
            view_.Paint(dc, client);
        }
        EndPaint(canvas_, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
    case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP:
    case WM_MOUSEMOVE: case WM_LBUTTONDBLCLK:
        MouseEvent(message, wParam, lParam);
        // The release of the right button brings the context menu.
        if (message == WM_RBUTTONUP) return DefWindowProcW(canvas_, message, wParam, lParam);
        return 0;
    case WM_MOUSEWHEEL: {
        POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ScreenToClient(canvas_, &at);
        view_.Zoom(GET_WHEEL_DELTA_WPARAM(wParam) > 0 ? 1.25 : 0.8, at.x, at.y);
        InvalidateRect(canvas_, nullptr, TRUE);
        return 0;
    }
    case WM_KEYDOWN: case WM_KEYUP: {
        if (tool_.Active()) {
            long shift = (GetKeyState(VK_SHIFT) < 0 ? 1 : 0) | (GetKeyState(VK_CONTROL) < 0 ? 2 : 0) |
                         (GetKeyState(VK_MENU) < 0 ? 4 : 0);
            if (message == WM_KEYDOWN) tool_.OnKeyDown(static_cast<long>(wParam), shift);
            else tool_.OnKeyUp(static_cast<long>(wParam), shift);
        }
        return 0;
    }
    case WM_CONTEXTMENU: {
        POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        POINT client = at;
        ScreenToClient(canvas_, &client);
        if (tool_.Active() && tool_.OnContextMenu(client.x, client.y)) return 0;  // the tool showed its own
        HMENU menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, ID_FULL_EXTENT, L"&Full extent");
        TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
        DestroyMenu(menu);
        return 0;
    }
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            HCURSOR cursor = tool_.Active() ? tool_.Cursor() : LoadCursor(nullptr, IDC_SIZEALL);
            SetCursor(cursor ? cursor : LoadCursor(nullptr, IDC_ARROW));
            return TRUE;
        }
        break;
    }
    return DefWindowProcW(canvas_, message, wParam, lParam);
}

} // namespace snapvane::hostapp
