#include "errors/BuiltInStackViewer.h"

#include "errors/Boundary.h"
#include "errors/MessageBox.h"
#include "win32/Handles.h"
#include "win32/ModalLoop.h"
#include "win32/Module.h"

#include <string>

namespace snapvane {

namespace {

constexpr int kCloseId = IDCANCEL;

class BuiltInStackViewer final : public ICallStackViewer {
public:
    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == __uuidof(ICallStackViewer)) {
            *object = static_cast<ICallStackViewer*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Reserved1() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE SetText(BSTR text) override {
        return ComBoundary([&] { text_ = text ? std::wstring(text, SysStringLen(text)) : std::wstring(); });
    }

    // Shows the report and waits until the user closes it.
    HRESULT STDMETHODCALLTYPE Show(VARIANT_BOOL show) override {
        return ComBoundary([&] {
            if (show) ShowModal();
        });
    }

private:
    ~BuiltInStackViewer() = default;

    void ShowModal() {
        RegisterWindowClass();
        ModuleUsageHold windowKeepsModuleLoaded;
        HWND owner = GetActiveWindow();
        HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME, kReportWindowClass, kApplicationTitle,
                                      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, CW_USEDEFAULT, CW_USEDEFAULT,
                                      560, 360, owner, nullptr, ThisModule(), this);
        if (!window) Check(HRESULT_FROM_WIN32(GetLastError()));
        closed_ = false;
        ShowWindow(window, SW_SHOWNORMAL);
        SetForegroundWindow(window);
        RunModalLoop(window, [&] { return closed_; });
        DestroyWindow(window);
        if (owner && IsWindow(owner)) SetActiveWindow(owner);
    }

    static void RegisterWindowClass() {
        WNDCLASSEXW windowClass{};
        if (GetClassInfoExW(ThisModule(), kReportWindowClass, &windowClass)) return;
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = ThisModule();
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kReportWindowClass;
        if (!RegisterClassExW(&windowClass)) Check(HRESULT_FROM_WIN32(GetLastError()));
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return WindowBoundary<LRESULT>(window, 0, [&]() -> LRESULT {
            auto* self = reinterpret_cast<BuiltInStackViewer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            switch (message) {
            case WM_NCCREATE: {
                self = static_cast<BuiltInStackViewer*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
                SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
                break;
            }
            case WM_CREATE:
                self->CreateControls(window);
                return 0;
            case WM_SIZE:
                self->Layout(window);
                return 0;
            case WM_COMMAND:
                if (LOWORD(wParam) == kCloseId) { self->closed_ = true; return 0; }
                break;
            case WM_CLOSE:
                self->closed_ = true;
                return 0;
            case WM_NCDESTROY:
                self->font_.reset();
                break;
            }
            return DefWindowProcW(window, message, wParam, lParam);
        });
    }

    void CreateControls(HWND window) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
            font_.reset(CreateFontIndirectW(&metrics.lfMessageFont));
        HWND text = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", text_.c_str(),
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                        ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                                    0, 0, 0, 0, window, reinterpret_cast<HMENU>(kReportTextId), ThisModule(), nullptr);
        HWND close = CreateWindowExW(0, L"BUTTON", L"Close", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0,
                                     0, 0, window, reinterpret_cast<HMENU>(kCloseId), ThisModule(), nullptr);
        for (HWND control : {text, close})
            if (control && font_) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
        if (close) SetFocus(close);
    }

    void Layout(HWND window) {
        RECT client;
        GetClientRect(window, &client);
        const int margin = 8, buttonWidth = 88, buttonHeight = 26;
        MoveWindow(GetDlgItem(window, kReportTextId), margin, margin, client.right - 2 * margin,
                   client.bottom - 3 * margin - buttonHeight, TRUE);
        MoveWindow(GetDlgItem(window, kCloseId), client.right - margin - buttonWidth,
                   client.bottom - margin - buttonHeight, buttonWidth, buttonHeight, TRUE);
    }

    LONG references_ = 1;
    std::wstring text_;
    bool closed_ = false;
    unique_hfont font_;
};

} // namespace

ComPtr<ICallStackViewer> CreateBuiltInStackViewer() {
    return Adopt<ICallStackViewer>(new BuiltInStackViewer());
}

} // namespace snapvane
