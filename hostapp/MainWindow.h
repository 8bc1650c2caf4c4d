// The host application's main window: a toolbar with the host's pan/zoom tool
// and the Picture Display tool, the map canvas, and a status bar. While the
// Picture Display tool is active the canvas forwards its mouse and keyboard
// events to it, the way the host GIS does.
#pragma once

#include "hostapp/JsonLog.h"
#include "hostapp/MapView.h"
#include "hostapp/ScriptDriver.h"
#include "hostapp/ToolHost.h"

#include "standin/StandIn.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>

namespace snapvane::hostapp {

class MainWindow final : public ScriptedHost {
public:
    MainWindow(ToolHost& tool, JsonLog& log);
    ~MainWindow() override;

    // Creates and shows the window; with a canvas size, the canvas has
    // exactly that size (scripted runs).
    void Create(SIZE canvasSize);
    UiWorkQueue& Queue() noexcept { return queue_; }
    int ExitCode() const noexcept { return exitCode_; }
    // Releases the map before the tool's module is unloaded.
    void CloseMap() noexcept;

    // ScriptedHost
    HWND HostWindow() const override { return window_; }
    bool OpenMap(const std::wstring& path, bool callOnCreate = true) override;
    bool MapToDevice(double x, double y, long* deviceX, long* deviceY) override;
    CallResult Press(long x, long y, long button, long shift) override;
    std::wstring StatusText() const override;
    void SetSearchTolerance(double tolerance) override;
    CallResult DeactivateTool(bool* complete) override;
    void ActivateTool() override;
    CallResult OnCreateWithApplication() override;
    CallResult OnCreateWithOtherObject() override;
    Json FindLayer(const std::wstring& layer, long feature) override;
    void Quit(int exitCode) override;

private:
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CanvasProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnFrameMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnCanvasMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void CreateMenuBar();
    void CreateToolbar();
    void Layout();
    void SizeCanvas(SIZE size);
    void OnCommand(int id);
    void SelectPanZoom();
    void SelectPictureTool();
    void UpdateToolButtons();
    void SetStatus(const std::wstring& text);
    void ShowOptions();
    void ShowCustomize();
    void OpenMapInteractively();
    bool MouseEvent(UINT message, WPARAM wParam, LPARAM lParam);
    static long ShiftState(WPARAM keys);

    ToolHost& tool_;
    JsonLog& log_;
    UiWorkQueue queue_;
    HWND window_ = nullptr;
    HWND toolbar_ = nullptr;
    HWND status_ = nullptr;
    HWND canvas_ = nullptr;
    HIMAGELIST images_ = nullptr;
    ToolIdentity identity_;
    std::unique_ptr<standin::StandInHost> map_;
    MapView view_;
    bool dragging_ = false;
    POINT dragFrom_{};
    int exitCode_ = 0;
    SIZE fixedCanvas_{};
};

} // namespace snapvane::hostapp
