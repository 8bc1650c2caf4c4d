// Runs a script with no person at the keyboard. The tool's windows are modal
// and run inside the tool's call on the user-interface thread, so the driver
// works from a thread of its own: it asks the user-interface thread to do
// each step, then watches the process's top-level windows, reads each new one
// through Win32 and answers it as the script says, until the step is done.
#pragma once

#include "hostapp/JsonLog.h"
#include "hostapp/Script.h"
#include "hostapp/ToolHost.h"

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace snapvane::hostapp {

// What the driver asks of the host application. Called on the
// user-interface thread only.
class ScriptedHost {
public:
    virtual ~ScriptedHost() = default;
    virtual HWND HostWindow() const = 0;
    // Opens the map; on failure the user has been told and false comes back.
    // Unless told to wait, the tool is given the map's application then.
    virtual bool OpenMap(const std::wstring& path, bool callOnCreate = true) = 0;
    virtual bool MapToDevice(double x, double y, long* deviceX, long* deviceY) = 0;
    // A press on the map, exactly as a mouse press would reach the tool.
    virtual CallResult Press(long x, long y, long button, long shift) = 0;
    // What the status bar says.
    virtual std::wstring StatusText() const = 0;
    virtual void SetSearchTolerance(double tolerance) = 0;
    virtual CallResult DeactivateTool(bool* complete) = 0;
    virtual void ActivateTool() = 0;
    // ICommand::OnCreate with the open map's application.
    virtual CallResult OnCreateWithApplication() = 0;
    virtual CallResult OnCreateWithOtherObject() = 0;
    virtual Json FindLayer(const std::wstring& layer, long feature) = 0;
    virtual void Quit(int exitCode) = 0;
};

// Work handed to the user-interface thread; the main window runs it when it
// receives kRunQueuedWork.
class UiWorkQueue {
public:
    static constexpr UINT kRunQueuedWork = WM_APP + 0x51;
    void Post(HWND window, std::function<void()> work);
    void RunPending();  // on the user-interface thread

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> pending_;
};

class ScriptDriver {
public:
    ScriptDriver(Script script, JsonLog& log, ScriptedHost& host, UiWorkQueue& queue, std::wstring screenshotFolder,
                 std::wstring programLog);
    ~ScriptDriver();
    void Start();
    void Join();

private:
    void Run() noexcept;
    void RunSteps();
    bool RunStep(const Step& step, size_t index);
    // Runs work on the user-interface thread and waits for it, answering
    // every window that opens meanwhile.
    void OnUiThread(std::function<void()> work, const std::vector<ViewerAction>& viewerActions = {});
    // Waits until the user-interface thread has handled everything posted so
    // far (or is waiting inside a modal window).
    void WaitForUiThread();
    // Answers the first unanswered window; false when none is open.
    bool AnswerOneWindow(std::deque<ViewerAction>& actions, bool workDone);
    // Answers every message box and report that the last viewer action opened,
    // until none is left on screen.
    void AnswerOpenedBoxes();
    void DoViewerAction(HWND viewer, const ViewerAction& action);
    void WaitUntilGone(HWND window);
    void CollectStartedPrograms();
    void WaitForProgramOrWindow(HWND viewer);
    void Screenshot(HWND window, const std::wstring& name);
    bool TimedOut() const;

    Script script_;
    JsonLog& log_;
    ScriptedHost& host_;
    UiWorkQueue& queue_;
    std::wstring screenshotFolder_;
    std::wstring programLog_;
    long long programLogRead_ = 0;
    std::thread thread_;
    HANDLE marker_ = nullptr;
    ULONGLONG deadline_ = 0;
    bool viewerOpen_ = false;
    int viewerShowings_ = 0;
    int messageBoxes_ = 0;
    int reports_ = 0;
    bool failed_ = false;
};

} // namespace snapvane::hostapp
