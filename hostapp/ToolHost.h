// The host's side of the one tool: created through COM by its ProgID, asked
// for its identity and images, given the application object, and sent the
// map's mouse and keyboard events while it is the active tool.
#pragma once

#include "win32/ComTypes.h"

#include <HostGis.h>

#include <string>

namespace snapvane::hostapp {

struct ToolIdentity {
    std::wstring name, caption, category, tooltip, message;
    HBITMAP bitmap = nullptr;   // belongs to the tool; valid while it lives
    HCURSOR cursor = nullptr;   // likewise
};

// The outcome of one call into the tool, for the status bar and the log.
struct CallResult {
    HRESULT hr = S_OK;
    std::wstring description;   // from the call's error information
};

class ToolHost {
public:
    // CoCreateInstance of the ProgID's class; throws a RuntimeError.
    void Create(const wchar_t* progId);
    void Release() noexcept;
    bool Exists() const noexcept { return command_ != nullptr; }

    ToolIdentity Identity() const;
    CallResult OnCreate(IDispatch* hook);

    bool Active() const noexcept { return active_; }
    void Activate() noexcept { active_ = true; }
    // ITool::Deactivate; a tool that answers false stays active.
    CallResult Deactivate(bool* complete);

    void OnClick();
    CallResult OnMouseDown(long button, long shift, long x, long y);
    void OnMouseMove(long button, long shift, long x, long y);
    void OnMouseUp(long button, long shift, long x, long y);
    void OnDblClick();
    void OnKeyDown(long keyCode, long shift);
    void OnKeyUp(long keyCode, long shift);
    bool OnContextMenu(long x, long y);
    HCURSOR Cursor() const;

    // The tool's own automation interface (late binding).
    ComPtr<IDispatch> Dispatch() const;

private:
    ComPtr<ICommand> command_;
    ComPtr<ITool> tool_;
    bool active_ = false;
};

// The error description that the last failing call left on this thread.
std::wstring TakeErrorDescription();

} // namespace snapvane::hostapp
