#include "hostapp/ScriptDriver.h"

#include "hostapp/Text.h"
#include "hostapp/WindowReader.h"
#include "viewer/DisplayPicture.h"

#include <cstdio>
#include <share.h>
#include <memory>

namespace snapvane::hostapp {

namespace {

// Each step must be over within this time; a run that hangs is ended.
constexpr ULONGLONG kStepTimeoutMs = 30000;
constexpr DWORD kProgramStartWaitMs = 5000;

Json StepResult(const CallResult& result) {
    return Json{{"hresult", HresultText(result.hr)}, {"description", Utf8(result.description)}};
}

HWND ChooserEdit(HWND chooser) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(chooser, &info) && info.hwndItem) return info.hwndItem;
    return FindWindowExW(chooser, nullptr, L"Edit", nullptr);
}

// Windows that a person would have to answer: those with a title bar.
bool NeedsAnswer(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION; }

} // namespace

void UiWorkQueue::Post(HWND window, std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.push_back(std::move(work));
    }
    PostMessageW(window, kRunQueuedWork, 0, 0);
}

void UiWorkQueue::RunPending() {
    std::function<void()> work;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (pending_.empty()) return;
        work = std::move(pending_.front());
        pending_.pop_front();
    }
    work();  // may run a modal loop that runs later work meanwhile
}

ScriptDriver::ScriptDriver(Script script, JsonLog& log, ScriptedHost& host, UiWorkQueue& queue,
                           std::wstring screenshotFolder, std::wstring programLog)
    : script_(std::move(script)), log_(log), host_(host), queue_(queue),
      screenshotFolder_(std::move(screenshotFolder)), programLog_(std::move(programLog)),
      marker_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

ScriptDriver::~ScriptDriver() {
    Join();
    if (marker_) CloseHandle(marker_);
}

void ScriptDriver::Start() { thread_ = std::thread([this] { Run(); }); }

void ScriptDriver::Join() {
    if (thread_.joinable()) thread_.join();
}

void ScriptDriver::Run() noexcept {
    int exitCode = 0;
    try {
        RunSteps();
        exitCode = failed_ ? 1 : 0;
    } catch (const std::exception& error) {
        log_.Write("error", Json{{"text", error.what()}});
        exitCode = 2;
    } catch (...) {
        log_.Write("error", Json{{"text", "unexpected failure of the script driver"}});
        exitCode = 2;
    }
    log_.Write("end", Json{{"exit_code", exitCode}});
    queue_.Post(host_.HostWindow(), [this, exitCode] { host_.Quit(exitCode); });
}

bool ScriptDriver::TimedOut() const { return GetTickCount64() > deadline_; }

void ScriptDriver::RunSteps() {
    bool opened = false;
    const std::wstring map = script_.mapDocument;
    log_.Write("open_map", Json{{"path", Utf8(map)}});
    OnUiThread([&] { opened = host_.OpenMap(map, !script_.deferOnCreate); });
    if (!opened) {
        failed_ = true;
        return;
    }
    if (!screenshotFolder_.empty()) Screenshot(host_.HostWindow(), L"map");
    for (size_t i = 0; i < script_.steps.size(); ++i)
        if (!RunStep(script_.steps[i], i)) return;
}

bool ScriptDriver::RunStep(const Step& step, size_t index) {
    log_.Write("step", Json{{"index", index}, {"step", step.source}});
    switch (step.kind) {
    case Step::Kind::Press: {
        long x = step.x, y = step.y;
        bool placed = true;
        if (step.mapPosition)
            OnUiThread([&] { placed = host_.MapToDevice(step.mapPosition->first, step.mapPosition->second, &x, &y); });
        if (!placed) {
            log_.Write("error", Json{{"text", "the map position is outside the view"}});
            failed_ = true;
            return false;
        }
        CallResult result;
        std::wstring status;
        OnUiThread([&] {
            result = host_.Press(x, y, step.button, step.shift);
            status = host_.StatusText();
        }, step.viewer);
        Json fields = StepResult(result);
        fields["x"] = x;
        fields["y"] = y;
        fields["status"] = Utf8(status);
        log_.Write("press_result", fields);
        return true;
    }
    case Step::Kind::Tolerance:
        OnUiThread([&] { host_.SetSearchTolerance(step.tolerance); });
        return true;
    case Step::Kind::Deactivate: {
        bool complete = false;
        CallResult result;
        OnUiThread([&] { result = host_.DeactivateTool(&complete); });
        Json fields = StepResult(result);
        fields["complete"] = complete;
        log_.Write("deactivate_result", fields);
        return true;
    }
    case Step::Kind::Activate:
        OnUiThread([&] { host_.ActivateTool(); });
        return true;
    case Step::Kind::OnCreate: {
        CallResult result;
        OnUiThread([&] { result = host_.OnCreateWithApplication(); });
        log_.Write("on_create_result", StepResult(result));
        return true;
    }
    case Step::Kind::OnCreateOther: {
        CallResult result;
        OnUiThread([&] { result = host_.OnCreateWithOtherObject(); });
        log_.Write("on_create_result", StepResult(result));
        return true;
    }
    case Step::Kind::FindLayer: {
        Json result;
        OnUiThread([&] { result = host_.FindLayer(step.layer, step.feature); });
        log_.Write("find_layer_result", result);
        return true;
    }
    case Step::Kind::Screenshot:
        WaitForUiThread();
        Screenshot(host_.HostWindow(), step.name);
        return true;
    }
    return true;
}

void ScriptDriver::OnUiThread(std::function<void()> work, const std::vector<ViewerAction>& viewerActions) {
    deadline_ = GetTickCount64() + kStepTimeoutMs;
    auto done = std::make_shared<std::atomic<bool>>(false);
    queue_.Post(host_.HostWindow(), [work = std::move(work), done] {
        work();
        done->store(true);
    });
    std::deque<ViewerAction> actions(viewerActions.begin(), viewerActions.end());
    for (;;) {
        WaitForUiThread();
        CollectStartedPrograms();
        if (AnswerOneWindow(actions, done->load())) continue;
        if (done->load()) break;
        if (TimedOut()) {
            log_.Write("error", Json{{"text", "the step did not finish in time"}});
            log_.Write("end", Json{{"exit_code", 3}});
            TerminateProcess(GetCurrentProcess(), 3);  // the work still runs on the other thread
        }
        Sleep(20);
    }
    CollectStartedPrograms();
}

void ScriptDriver::WaitForUiThread() {
    HANDLE marker = marker_;
    queue_.Post(host_.HostWindow(), [marker] { SetEvent(marker); });
    while (WaitForSingleObject(marker_, 200) == WAIT_TIMEOUT) {
        if (TimedOut()) {
            log_.Write("error", Json{{"text", "the user-interface thread does not answer"}});
            log_.Write("end", Json{{"exit_code", 3}});
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
}

void ScriptDriver::AnswerOpenedBoxes() {
    std::deque<ViewerAction> none;
    for (;;) {
        WaitForUiThread();
        bool answered = false;
        for (HWND window : VisibleTopLevelWindows(host_.HostWindow())) {
            WindowKind kind = KindOf(window);
            if (kind == WindowKind::MessageBox || kind == WindowKind::CallStackReport) {
                answered = AnswerOneWindow(none, false);
                break;
            }
        }
        if (!answered) break;
    }
}

bool ScriptDriver::AnswerOneWindow(std::deque<ViewerAction>& actions, bool workDone) {
    HWND viewer = nullptr;
    for (HWND window : VisibleTopLevelWindows(host_.HostWindow())) {
        switch (KindOf(window)) {
        case WindowKind::MessageBox:
            log_.Write("message_box", ReadMessageBox(window));
            if (!screenshotFolder_.empty()) Screenshot(window, L"message-" + std::to_wstring(++messageBoxes_));
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            WaitUntilGone(window);
            return true;
        case WindowKind::CallStackReport:
            log_.Write("call_stack_report", ReadCallStackReport(window));
            if (!screenshotFolder_.empty()) Screenshot(window, L"report-" + std::to_wstring(++reports_));
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            WaitUntilGone(window);
            return true;
        case WindowKind::Viewer:
            if (!viewer) viewer = window;
            break;
        case WindowKind::Other:
            if (NeedsAnswer(window)) {
                log_.Write("window", Json{{"class", Utf8(ClassName(window))}, {"title", Utf8(WindowText(window))}});
                PostMessageW(window, WM_CLOSE, 0, 0);
                WaitUntilGone(window);
                return true;
            }
            break;
        }
    }
    if (!viewer) {
        if (viewerOpen_) {
            viewerOpen_ = false;
            log_.Write("viewer_closed");
        }
        return false;
    }
    if (!viewerOpen_) {
        viewerOpen_ = true;
        ++viewerShowings_;
        Json state = ReadViewer(viewer);
        state["when"] = "shown";
        log_.Write("viewer", state);
        if (!screenshotFolder_.empty()) Screenshot(viewer, L"viewer-" + std::to_wstring(viewerShowings_));
    }
    ViewerAction action;
    if (!actions.empty()) {
        action = actions.front();
        actions.pop_front();
    } else {
        action.kind = ViewerAction::Kind::Exit;  // nobody may be left waiting in the viewer
    }
    DoViewerAction(viewer, action);
    return true;
}

void ScriptDriver::DoViewerAction(HWND viewer, const ViewerAction& action) {
    Json fields{{"action", action.ToJson()}};
    auto control = [&](int id) { return GetDlgItem(viewer, id); };
    HWND chooser = control(DisplayPictureControl::ImageSelectBox);
    auto impossible = [&](const char* why) {
        fields["done"] = false;
        fields["why"] = why;
        log_.Write("viewer_action", fields);
    };
    switch (action.kind) {
    case ViewerAction::Kind::Choose: {
        LRESULT count = SendMessageW(chooser, CB_GETCOUNT, 0, 0);
        if (!IsWindowEnabled(chooser)) return impossible("the chooser is disabled");
        if (action.entry < 0 || action.entry >= count) return impossible("the chooser has no such entry");
        log_.Write("viewer_action", fields);
        PostMessageW(chooser, CB_SETCURSEL, action.entry, 0);
        PostMessageW(viewer, WM_COMMAND, MAKEWPARAM(DisplayPictureControl::ImageSelectBox, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(chooser));
        break;
    }
    case ViewerAction::Kind::Type: {
        HWND edit = ChooserEdit(chooser);
        if (!IsWindowEnabled(chooser) || !edit) return impossible("the chooser takes no typing");
        log_.Write("viewer_action", fields);
        // A person selects the text and types over it, one key at a time;
        // each key may open a window that must be answered before the next.
        PostMessageW(edit, EM_SETSEL, 0, -1);
        // Typing nothing over the text clears it: Backspace on the selection.
        if (action.text.empty()) {
            PostMessageW(edit, WM_CHAR, VK_BACK, 1);
            AnswerOpenedBoxes();
        }
        for (wchar_t key : action.text) {
            PostMessageW(edit, WM_CHAR, key, 1);
            AnswerOpenedBoxes();
        }
        break;
    }
    case ViewerAction::Kind::Edit:
    case ViewerAction::Kind::Exit: {
        const bool edit = action.kind == ViewerAction::Kind::Edit;
        HWND button = control(edit ? DisplayPictureControl::EditButton : DisplayPictureControl::ExitButton);
        if (!button || !IsWindowEnabled(button)) return impossible("the button is not available");
        log_.Write("viewer_action", fields);
        PostMessageW(button, BM_CLICK, 0, 0);
        if (edit) WaitForProgramOrWindow(viewer);
        break;
    }
    case ViewerAction::Kind::Close:
        log_.Write("viewer_action", fields);
        PostMessageW(viewer, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
    // The viewer as it is after the action, once everything it opened has
    // been answered.
    AnswerOpenedBoxes();
    CollectStartedPrograms();
    if (IsWindowVisible(viewer)) {
        Json state = ReadViewer(viewer);
        state["when"] = "after";
        state["action"] = action.ToJson();
        log_.Write("viewer", state);
    }
}

void ScriptDriver::WaitUntilGone(HWND window) {
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (TimedOut()) {
            log_.Write("error", Json{{"text", "a window did not close when answered"}});
            log_.Write("end", Json{{"exit_code", 3}});
            TerminateProcess(GetCurrentProcess(), 3);
        }
        Sleep(10);
    }
}

void ScriptDriver::CollectStartedPrograms() {
    if (programLog_.empty()) return;
    std::FILE* file = _wfsopen(programLog_.c_str(), L"rb", _SH_DENYNO);
    if (!file) return;
    if (_fseeki64(file, programLogRead_, SEEK_SET) == 0) {
        std::string line;
        int c;
        long long consumed = programLogRead_;
        while ((c = std::fgetc(file)) != EOF) {
            if (c == '\n') {
                consumed += static_cast<long long>(line.size()) + 1;
                if (!line.empty() && line.back() == '\r') line.pop_back();
                log_.Write("program_started", Json{{"command_line", line}});
                line.clear();
            } else {
                line.push_back(static_cast<char>(c));
            }
        }
        programLogRead_ = consumed;  // a line still being written is read next time
    }
    std::fclose(file);
}

void ScriptDriver::WaitForProgramOrWindow(HWND viewer) {
    const ULONGLONG until = GetTickCount64() + kProgramStartWaitMs;
    const long long before = programLogRead_;
    while (GetTickCount64() < until) {
        CollectStartedPrograms();
        if (programLogRead_ != before) return;
        for (HWND window : VisibleTopLevelWindows(host_.HostWindow()))
            if (window != viewer && KindOf(window) != WindowKind::Other) return;
        Sleep(30);
    }
}

namespace {

// A window just shown may not have painted yet (its map, its picture): its
// own thread paints what is pending, as the screen would soon show. Nothing is
// invalidated, so an area that is stale on screen stays stale in the picture.
void PaintPending(HWND window) { RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN); }

} // namespace

void ScriptDriver::Screenshot(HWND window, const std::wstring& name) {
    queue_.Post(host_.HostWindow(), [window] { PaintPending(window); });
    WaitForUiThread();
    const std::wstring path = screenshotFolder_ + L"\\" + name + L".bmp";
    if (SaveWindowBitmap(window, path)) log_.Write("screenshot", Json{{"path", Utf8(path)}});
    else log_.Write("error", Json{{"text", "the screenshot " + Utf8(path) + " could not be written"}});
}

} // namespace snapvane::hostapp
