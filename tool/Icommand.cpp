// MyIcommand: identity, images, the application object, and the way from the
// host's calls to the click handling and the search.
#include "tool/Icommand.h"

#include "errors/Boundary.h"
#include "tool/FeatureSearch.h"
#include "tool/HostCalls.h"
#include "tool/MapClick.h"
#include "tool/ToolState.h"
#include "viewer/DisplayPicture.h"
#include "win32/ComTypes.h"
#include "win32/Handles.h"
#include "win32/Module.h"

#include <Project1.h>
#include <olectl.h>

#include <atomic>
#include <memory>

namespace snapvane {

namespace {

constexpr wchar_t kName[] = L"PictureDisplay";
constexpr wchar_t kCaption[] = L"Picture Display";
constexpr wchar_t kCategory[] = L"Tellurix";
constexpr wchar_t kTooltip[] = L"Displays all pictures associated with the selected feature.";

// An OLE picture object made from one of the component's own image
// resources; the picture owns the handle and destroys it with itself.
ComPtr<IPicture> LoadResourcePicture(const wchar_t* name, UINT imageType) {
    HANDLE image = LoadImageW(ThisModule(), name, imageType, 0, 0, LR_DEFAULTCOLOR);
    if (!image) Check(HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_RESOURCE_NAME_NOT_FOUND));
    PICTDESC description{};
    description.cbSizeofstruct = sizeof description;
    if (imageType == IMAGE_BITMAP) {
        description.picType = PICTYPE_BITMAP;
        description.bmp.hbitmap = static_cast<HBITMAP>(image);
    } else {
        description.picType = PICTYPE_ICON;
        description.icon.hicon = static_cast<HICON>(image);
    }
    ComPtr<IPicture> picture;
    HRESULT hr = OleCreatePictureIndirect(&description, IID_IPicture, TRUE, reinterpret_cast<void**>(picture.GetAddressOf()));
    if (FAILED(hr)) {
        if (imageType == IMAGE_BITMAP) unique_hbitmap(static_cast<HBITMAP>(image));
        else DestroyCursor(static_cast<HCURSOR>(image));
        Check(hr);
    }
    return picture;
}

// The type information of _MyIcommand from the module's own type library.
ComPtr<ITypeInfo> MyIcommandTypeInfo() {
    wchar_t path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(ThisModule(), path, ARRAYSIZE(path));
    if (length == 0 || length >= ARRAYSIZE(path)) Check(HRESULT_FROM_WIN32(GetLastError()));
    ComPtr<ITypeLib> library;
    Check(LoadTypeLibEx(path, REGKIND_NONE, library.GetAddressOf()));
    ComPtr<ITypeInfo> info;
    Check(library->GetTypeInfoOfGuid(IID__MyIcommand, info.GetAddressOf()));
    return info;
}

class MyIcommand final : public _MyIcommand, public ICommand, public ITool {
public:
    MyIcommand()
        : pBitmap(LoadResourcePicture(L"BITMAP_CAMERA", IMAGE_BITMAP)),
          pCursor(LoadResourcePicture(L"CURSOR_CAMERA", IMAGE_CURSOR)) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID__MyIcommand)
            *object = static_cast<_MyIcommand*>(this);
        else if (iid == IID_ICommand)
            *object = static_cast<ICommand*>(this);
        else if (iid == IID_ITool)
            *object = static_cast<ITool*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IDispatch, through the type library.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return ComBoundary([&] { ComPtr<ITypeInfo> copy = TypeInfo(); *info = copy.Detach(); });
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        HRESULT result = S_OK;
        HRESULT boundary = ComBoundary([&] { result = DispGetIDsOfNames(TypeInfo().Get(), names, count, ids); });
        return FAILED(boundary) ? boundary : result;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argumentError) override {
        HRESULT outcome = S_OK;
        HRESULT boundary = ComBoundary([&] {
            outcome = DispInvoke(static_cast<_MyIcommand*>(this), TypeInfo().Get(), id, flags, parameters, result,
                                 exception, argumentError);
        });
        return FAILED(boundary) ? boundary : outcome;
    }

    // _MyIcommand
    HRESULT STDMETHODCALLTYPE FindLayer(IFeature** pFeature, IMap** pMap, ILayer** result) override {
        if (!result) return E_POINTER;
        *result = nullptr;
        return ComBoundary([&] {
            ComPtr<IFeature> feature(pFeature ? *pFeature : nullptr);
            ComPtr<IMap> map(pMap ? *pMap : nullptr);
            *result = snapvane::FindLayer(feature, map).Detach();
        });
    }

    // ICommand
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* enabled) override {
        return Answer(L"ICommand_Enabled ", enabled, [&] { *enabled = VARIANT_TRUE; });
    }
    HRESULT STDMETHODCALLTYPE get_Checked(VARIANT_BOOL* checked) override {
        return Answer(L"ICommand_Checked ", checked, [] {});
    }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override {
        return Answer(L"ICommand_Name ", name, [&] { *name = NewBstr(kName); });
    }
    HRESULT STDMETHODCALLTYPE get_Caption(BSTR* caption) override {
        return Answer(L"ICommand_Caption ", caption, [&] { *caption = NewBstr(kCaption); });
    }
    HRESULT STDMETHODCALLTYPE get_Tooltip(BSTR* tooltip) override {
        return Answer(L"ICommand_Tooltip ", tooltip, [&] { *tooltip = NewBstr(kTooltip); });
    }
    HRESULT STDMETHODCALLTYPE get_Message(BSTR* message) override {
        return Answer(L"ICommand_Message ", message, [] {});
    }
    HRESULT STDMETHODCALLTYPE get_HelpFile(BSTR* helpFile) override {
        return Answer(L"ICommand_HelpFile ", helpFile, [] {});
    }
    HRESULT STDMETHODCALLTYPE get_HelpContextID(LONG* helpId) override {
        return Answer(L"ICommand_HelpContextID ", helpId, [] {});
    }
    HRESULT STDMETHODCALLTYPE get_Bitmap(OLE_HANDLE* bitmap) override {
        return Answer(L"ICommand_Bitmap ", bitmap, [&] { *bitmap = Read(pBitmap, &IPicture::get_Handle); });
    }
    HRESULT STDMETHODCALLTYPE get_Category(BSTR* category) override {
        return Answer(L"ICommand_Category ", category, [&] { *category = NewBstr(kCategory); });
    }
    HRESULT STDMETHODCALLTYPE OnCreate(IDispatch* hook) override {
        return TrappedMember(L"ICommand_OnCreate ", [&] { pApp = As<IApplication>(static_cast<IUnknown*>(hook)); });
    }
    HRESULT STDMETHODCALLTYPE OnClick() override { return TrappedMember(L"ICommand_OnClick ", [] {}); }

    // ITool
    HRESULT STDMETHODCALLTYPE get_Cursor(OLE_HANDLE* cursor) override {
        return Answer(L"ITool_Cursor ", cursor, [&] { *cursor = Read(pCursor, &IPicture::get_Handle); });
    }
    // The one member without a trap: its errors go back to the host.
    HRESULT STDMETHODCALLTYPE OnMouseDown(LONG button, LONG shift, LONG x, LONG y) override {
        return ComBoundary([&] { HandleMapClick(state_, pApp, x, y); });
    }
    HRESULT STDMETHODCALLTYPE OnMouseMove(LONG, LONG, LONG, LONG) override {
        return TrappedMember(L"ITool_OnMouseMove ", [] {});
    }
    HRESULT STDMETHODCALLTYPE OnMouseUp(LONG, LONG, LONG, LONG) override {
        return TrappedMember(L"ITool_OnMouseUp ", [] {});
    }
    HRESULT STDMETHODCALLTYPE OnDblClick() override { return TrappedMember(L"ITool_OnDblClick ", [] {}); }
    HRESULT STDMETHODCALLTYPE OnKeyDown(LONG, LONG) override { return TrappedMember(L"ITool_OnKeyDown ", [] {}); }
    HRESULT STDMETHODCALLTYPE OnKeyUp(LONG, LONG) override { return TrappedMember(L"ITool_OnKeyUp ", [] {}); }
    HRESULT STDMETHODCALLTYPE OnContextMenu(LONG, LONG, VARIANT_BOOL* handled) override {
        return Answer(L"ITool_OnContextMenu ", handled, [] {});
    }
    HRESULT STDMETHODCALLTYPE Refresh(OLE_HANDLE) override { return TrappedMember(L"ITool_Refresh ", [] {}); }
    HRESULT STDMETHODCALLTYPE Deactivate(VARIANT_BOOL* complete) override {
        return Answer(L"ITool_Deactivate ", complete, [&] {
            DisplayPicture::Instance().Hide();
            *complete = VARIANT_TRUE;
        });
    }

private:
    ~MyIcommand() = default;

    // A trapped member with a result: the result starts at its type's default
    // (False, 0, the empty string) and keeps whatever the body had set when a
    // trap fires.
    template <class Result, class Body>
    HRESULT Answer(const wchar_t* nameText, Result* result, Body&& body) noexcept {
        if (!result) return E_POINTER;
        *result = Result{};
        return TrappedMember(nameText, body);
    }

    const ComPtr<ITypeInfo>& TypeInfo() {
        if (!typeInfo_) typeInfo_ = MyIcommandTypeInfo();
        return typeInfo_;
    }

    std::atomic<ULONG> references_{1};
    ModuleUsageHold keepsModuleLoaded_;
    ComPtr<IPicture> pBitmap;
    ComPtr<IPicture> pCursor;
    ToolState state_;
    ComPtr<IApplication> pApp;
    ComPtr<ITypeInfo> typeInfo_;
};

} // namespace

HRESULT CreateMyIcommand(REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    return ComBoundary([&] {
        ComPtr<_MyIcommand> tool = Adopt<_MyIcommand>(new MyIcommand());
        Check(tool->QueryInterface(iid, object));
    });
}

} // namespace snapvane
