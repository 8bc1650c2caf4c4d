#include "hostapp/ToolHost.h"

#include "errors/RuntimeError.h"

namespace snapvane::hostapp {

namespace {

std::wstring ReadText(ICommand* command, HRESULT (STDMETHODCALLTYPE ICommand::*get)(BSTR*)) {
    Bstr text;
    if (FAILED((command->*get)(text.out()))) return {};
    return text.str();
}

CallResult Outcome(HRESULT hr) {
    CallResult result;
    result.hr = hr;
    if (FAILED(hr)) result.description = TakeErrorDescription();
    return result;
}

} // namespace

std::wstring TakeErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.GetAddressOf()) != S_OK || !info) return {};
    Bstr description;
    if (FAILED(info->GetDescription(description.out()))) return {};
    return description.str();
}

void ToolHost::Create(const wchar_t* progId) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (FAILED(hr)) throw RuntimeError(hr, L"Snapvane host", std::wstring(L"The tool ") + progId + L" is not registered.");
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ICommand,
                          reinterpret_cast<void**>(command_.ReleaseAndGetAddressOf()));
    if (FAILED(hr) || !command_)
        throw RuntimeError(FAILED(hr) ? hr : E_NOINTERFACE, L"Snapvane host",
                           std::wstring(L"The tool ") + progId + L" could not be created.");
    hr = command_.As(&tool_);
    if (FAILED(hr)) {
        command_.Reset();
        throw RuntimeError(hr, L"Snapvane host", std::wstring(L"The command ") + progId + L" is not a map tool.");
    }
}

void ToolHost::Release() noexcept {
    tool_.Reset();
    command_.Reset();
    active_ = false;
}

ToolIdentity ToolHost::Identity() const {
    ToolIdentity identity;
    ICommand* command = command_.Get();
    identity.name = ReadText(command, &ICommand::get_Name);
    identity.caption = ReadText(command, &ICommand::get_Caption);
    identity.category = ReadText(command, &ICommand::get_Category);
    identity.tooltip = ReadText(command, &ICommand::get_Tooltip);
    identity.message = ReadText(command, &ICommand::get_Message);
    OLE_HANDLE bitmap = 0;
    if (SUCCEEDED(command->get_Bitmap(&bitmap))) identity.bitmap = static_cast<HBITMAP>(ULongToHandle(bitmap));
    identity.cursor = Cursor();
    return identity;
}

CallResult ToolHost::OnCreate(IDispatch* hook) { return Outcome(command_->OnCreate(hook)); }

CallResult ToolHost::Deactivate(bool* complete) {
    VARIANT_BOOL answer = VARIANT_FALSE;
    HRESULT hr = tool_->Deactivate(&answer);
    const bool done = SUCCEEDED(hr) && answer != VARIANT_FALSE;
    // A tool that answers false stays the active tool, as in the host GIS.
    active_ = !done;
    if (complete) *complete = done;
    return Outcome(hr);
}

void ToolHost::OnClick() { command_->OnClick(); }

CallResult ToolHost::OnMouseDown(long button, long shift, long x, long y) {
    SetErrorInfo(0, nullptr);
    return Outcome(tool_->OnMouseDown(button, shift, x, y));
}

void ToolHost::OnMouseMove(long button, long shift, long x, long y) { tool_->OnMouseMove(button, shift, x, y); }
void ToolHost::OnMouseUp(long button, long shift, long x, long y) { tool_->OnMouseUp(button, shift, x, y); }
void ToolHost::OnDblClick() { tool_->OnDblClick(); }
void ToolHost::OnKeyDown(long keyCode, long shift) { tool_->OnKeyDown(keyCode, shift); }
void ToolHost::OnKeyUp(long keyCode, long shift) { tool_->OnKeyUp(keyCode, shift); }

bool ToolHost::OnContextMenu(long x, long y) {
    VARIANT_BOOL handled = VARIANT_FALSE;
    return SUCCEEDED(tool_->OnContextMenu(x, y, &handled)) && handled != VARIANT_FALSE;
}

HCURSOR ToolHost::Cursor() const {
    OLE_HANDLE cursor = 0;
    if (!tool_ || FAILED(tool_->get_Cursor(&cursor))) return nullptr;
    return static_cast<HCURSOR>(ULongToHandle(cursor));
}

ComPtr<IDispatch> ToolHost::Dispatch() const {
    ComPtr<IDispatch> dispatch;
    if (command_) command_.As(&dispatch);
    return dispatch;
}

} // namespace snapvane::hostapp
