#include "support/ModalWatcher.h"

#include "errors/BuiltInStackViewer.h"
#include "viewer/DisplayPicture.h"

#include <algorithm>

namespace snapvane::test {

namespace {

constexpr wchar_t kMessageBoxClass[] = L"#32770";
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr DWORD kPollMs = 10;
// Reads wait long: the test thread answers them as soon as it pumps.
constexpr UINT kReadTimeoutMs = 10000;
// Preparing an action (selecting, placing the caret) runs no handler of the
// component and returns at once.
constexpr UINT kPrepareTimeoutMs = 5000;

// Reads through the window's thread; a send that timed out may still write
// into its buffer later, so such a buffer is never freed.
bool SendRead(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR& result) {
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kReadTimeoutMs, &result) != 0;
}

std::wstring ReadText(HWND window) {
    if (!window) return {};
    DWORD_PTR length = 0;
    if (!SendRead(window, WM_GETTEXTLENGTH, 0, 0, length)) return {};
    auto* buffer = new wchar_t[length + 1]();
    DWORD_PTR copied = 0;
    if (!SendRead(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(buffer), copied)) return {};  // buffer abandoned
    std::wstring text(buffer, std::min<size_t>(copied, length));
    delete[] buffer;
    return text;
}

std::wstring ReadComboEntry(HWND combo, int index) {
    DWORD_PTR length = 0;
    if (!SendRead(combo, CB_GETLBTEXTLEN, index, 0, length) || static_cast<LRESULT>(length) == CB_ERR) return {};
    auto* buffer = new wchar_t[length + 1]();
    DWORD_PTR copied = 0;
    if (!SendRead(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer), copied)) return {};  // buffer abandoned
    std::wstring text(buffer, static_cast<LRESULT>(copied) == CB_ERR ? 0 : std::min<size_t>(copied, length));
    delete[] buffer;
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM windows) {
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    return TRUE;
}

std::vector<HWND> ThreadWindows(DWORD thread) {
    std::vector<HWND> windows;
    EnumThreadWindows(thread, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

void Prepare(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kPrepareTimeoutMs, &ignored);
}

// Tells the watcher that the test thread has finished handling an action.
void CALLBACK ActionDone(HWND, UINT, ULONG_PTR done, LRESULT) {
    reinterpret_cast<std::atomic<bool>*>(done)->store(true);
}

// A plain window of the watcher's own thread over the whole viewer, shown
// until it has painted and then destroyed: what lay under it must be painted
// again by its owners.
void CoverAndUncover(HWND viewer) {
    RECT place{};
    GetWindowRect(viewer, &place);
    HWND cover = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | SS_BLACKRECT, place.left,
                                 place.top, place.right - place.left, place.bottom - place.top, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (!cover) return;
    ShowWindow(cover, SW_SHOWNOACTIVATE);
    UpdateWindow(cover);
    const DWORD until = GetTickCount() + 200;
    while (GetTickCount() < until) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(10);
    }
    DestroyWindow(cover);
    // The windows underneath hear of it through the display, a moment later.
    Sleep(300);
}

// The viewer's control that holds the keyboard focus (the chooser for its
// edit field), 0 for none.
int FocusedControl(HWND viewer) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(viewer, nullptr), &info)) return 0;
    for (HWND window = info.hwndFocus; window && window != viewer; window = GetParent(window))
        if (GetParent(window) == viewer) return GetDlgCtrlID(window);
    return 0;
}

// Presses and releases a key through the system's input, as a keyboard does,
// and waits until the viewer's thread has acted on it: the focus moved or the
// viewer went. A key that changes neither is given a few seconds.
// Focus passes through no control at all while it moves: a press is judged
// only between settled places, or a slow move would be taken for the next.
int SettledFocus(HWND viewer) {
    const DWORD until = GetTickCount() + 3000;
    int focus = FocusedControl(viewer);
    while (focus == 0 && GetTickCount() < until && IsWindowVisible(viewer)) {
        Sleep(kPollMs);
        focus = FocusedControl(viewer);
    }
    return focus;
}

// Presses and releases the key; the control the focus settles on after it.
// Under Xvfb a synthesized key now and then never reaches the window: a
// press that moved nothing within a second is made again, up to three times.
int PressKey(HWND viewer, WORD key) {
    const int focusBefore = SettledFocus(viewer);
    INPUT presses[2]{};
    for (INPUT& press : presses) {
        press.type = INPUT_KEYBOARD;
        press.ki.wVk = key;
    }
    presses[1].ki.dwFlags = KEYEVENTF_KEYUP;
    int focus = focusBefore;
    for (int attempt = 0; attempt < 3 && IsWindowVisible(viewer) && (focus == focusBefore || focus == 0); ++attempt) {
        SendInput(2, presses, sizeof presses[0]);
        const DWORD until = GetTickCount() + 1000;
        while (GetTickCount() < until && IsWindowVisible(viewer) && (focus == focusBefore || focus == 0)) {
            Sleep(kPollMs);
            focus = FocusedControl(viewer);
        }
    }
    return focus;
}

std::wstring Describe(const ViewerStep& step) {
    switch (step.kind) {
    case ViewerStep::Kind::Choose: return L"after Choose " + std::to_wstring(step.index);
    case ViewerStep::Kind::Type: return L"after Type " + step.text;
    case ViewerStep::Kind::Edit: return L"after Edit";
    case ViewerStep::Kind::Exit: return L"after Exit";
    case ViewerStep::Kind::CloseBox: return L"after CloseBox";
    case ViewerStep::Kind::CoverAndUncover: return L"after CoverAndUncover";
    case ViewerStep::Kind::Key: return L"after Key " + std::to_wstring(step.index);
    }
    return {};
}

} // namespace

ModalWatcher::ModalWatcher(std::vector<Answer> answers)
    : thread_(GetCurrentThreadId()), answers_(answers.begin(), answers.end()) {
    worker_ = std::thread([this] { Watch(); });
}

ModalWatcher::~ModalWatcher() {
    stop_ = true;
    if (worker_.joinable()) worker_.join();
}

std::vector<SeenWindow> ModalWatcher::Seen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

std::vector<std::wstring> ModalWatcher::MessageTexts() const {
    std::vector<std::wstring> texts;
    for (const auto& seen : Seen())
        if (seen.kind == SeenWindow::Kind::MessageBox) texts.push_back(seen.text);
    return texts;
}

int ModalWatcher::UnexpectedCount() const {
    auto seen = Seen();
    return static_cast<int>(std::count_if(seen.begin(), seen.end(), [](const SeenWindow& s) { return s.unexpected; }));
}

size_t ModalWatcher::AnswersLeft() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return answers_.size();
}

ViewerLook ModalWatcher::ReadViewer(HWND viewer) {
    namespace id = DisplayPictureControl;
    ViewerLook look;
    look.title = ReadText(viewer);
    HWND chooser = GetDlgItem(viewer, id::ImageSelectBox);
    DWORD_PTR count = 0;
    if (SendRead(chooser, CB_GETCOUNT, 0, 0, count) && static_cast<LRESULT>(count) != CB_ERR)
        for (int k = 0; k < static_cast<int>(count); ++k) look.entries.push_back(ReadComboEntry(chooser, k));
    look.chooserEnabled = IsWindowEnabled(chooser) != FALSE;
    look.chooserText = ReadText(chooser);
    for (int pair = 0; pair < 5; ++pair) {
        look.captions[pair] = ReadText(GetDlgItem(viewer, id::LabelAttrib + pair));
        HWND value = GetDlgItem(viewer, id::TextAttrib + pair);
        look.values[pair] = ReadText(value);
        look.valueEnabled[pair] = IsWindowEnabled(value) != FALSE;
    }
    DWORD_PTR picture = 0;
    look.pictureShown = SendRead(GetDlgItem(viewer, id::Image), STM_GETIMAGE, IMAGE_BITMAP, 0, picture) && picture;
    look.screenPicture = ReadScreenPicture(viewer);
    look.focusedControl = FocusedControl(viewer);
    return look;
}

void ModalWatcher::Watch() {
    while (!stop_) {
        // Delivers the ends of actions sent to the test thread.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        if (!HandleOne()) Sleep(kPollMs);
    }
}

// The action goes to the test thread without waiting: its handler may open
// modal windows that the watcher has to answer before it ends.
void ModalWatcher::Act(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    actionDone_ = false;
    if (!SendMessageCallbackW(window, message, wParam, lParam, ActionDone, reinterpret_cast<ULONG_PTR>(&actionDone_)))
        actionDone_ = true;
}

// Answers the front-most window that needs an answer; false when none does.
bool ModalWatcher::HandleOne() {
    boxesAnswered_.erase(std::remove_if(boxesAnswered_.begin(), boxesAnswered_.end(),
                                        [](HWND box) { return !IsWindow(box); }),
                         boxesAnswered_.end());
    auto windows = ThreadWindows(thread_);
    HWND viewer = nullptr;
    for (HWND window : windows) {
        std::wstring name = ClassOf(window);
        if (name == kDisplayPictureClass) { viewer = window; continue; }
        if (!IsWindowVisible(window)) continue;
        if (std::find(boxesAnswered_.begin(), boxesAnswered_.end(), window) != boxesAnswered_.end()) continue;
        if (name == kMessageBoxClass) { HandleBox(window, SeenWindow::Kind::MessageBox); return true; }
        if (name == kReportWindowClass) { HandleBox(window, SeenWindow::Kind::StackReport); return true; }
    }
    if (!viewer || !IsWindowVisible(viewer)) {
        viewerShown_ = nullptr;
        return false;
    }
    if (!IsWindowEnabled(viewer)) return false;  // a window of its own is in front of it
    HandleViewer(viewer);
    return true;
}

void ModalWatcher::HandleBox(HWND box, SeenWindow::Kind kind) {
    SeenWindow seen{kind, ReadText(box), {}, {}, {}, false, {}};
    for (HWND window : ThreadWindows(thread_))
        if (ClassOf(window) == kDisplayPictureClass && IsWindowVisible(window))
            seen.viewerPictureBehind = ReadScreenPicture(window);
    seen.text = kind == SeenWindow::Kind::MessageBox ? ReadText(GetDlgItem(box, kMessageBoxTextId))
                                                     : ReadText(GetDlgItem(box, kReportTextId));
    seen.unexpected = !NextAnswerIs(kind == SeenWindow::Kind::MessageBox ? Answer::Kind::Ok : Answer::Kind::Close);
    Record(std::move(seen));
    boxesAnswered_.push_back(box);
    HWND button = GetDlgItem(box, kind == SeenWindow::Kind::MessageBox ? IDOK : IDCANCEL);
    if (button)
        PostMessageW(button, BM_CLICK, 0, 0);
    else
        PostMessageW(box, WM_CLOSE, 0, 0);
}

void ModalWatcher::HandleViewer(HWND viewer) {
    // The thread keeps one viewer window for all its showings. Once the Exit
    // or close box of a showing has been handled, the viewer was hidden; if it
    // is visible again, that is the next showing, however short the moment it
    // was hidden (a busy machine may give this thread no time to see it).
    if (viewer == viewerShown_ && left_ && actionDone_) viewerShown_ = nullptr;
    if (viewer != viewerShown_) {
        // A new showing: take its script, or leave it through Exit.
        viewerShown_ = viewer;
        steps_.clear();
        bool scripted = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!answers_.empty() && answers_.front().kind == Answer::Kind::Viewer) {
                steps_.assign(answers_.front().script.steps.begin(), answers_.front().script.steps.end());
                answers_.pop_front();
                scripted = true;
            }
        }
        if (!scripted) steps_.push_back(ViewerStep::Exit());
        SeenWindow seen{SeenWindow::Kind::Viewer, {}, {}, ReadViewer(viewer), L"shown", !scripted, {}};
        seen.title = seen.viewer.title;
        Record(std::move(seen));
        lookPending_ = false;
        left_ = false;
    }
    if (lookPending_) {
        if (!actionDone_) return;
        ViewerLook look = ReadViewer(viewer);
        // Where a key press left the focus, as seen when it settled: a look
        // taken later may meet the focus between two places.
        if (keyFocus_ != 0) look.focusedControl = keyFocus_;
        // A modal window that opened meanwhile comes first; look again after it.
        if (!IsWindowEnabled(viewer) || !IsWindowVisible(viewer)) return;
        SeenWindow seen{SeenWindow::Kind::Viewer, look.title, {}, look, pendingMoment_, false, {}};
        Record(std::move(seen));
        lookPending_ = false;
        return;
    }
    if (steps_.empty()) {
        // The script is done but the viewer stays: leave it the default way,
        // pressing again only if the first press went unheard.
        if (left_ && GetTickCount() - leftAt_ < 2000) { Sleep(kPollMs); return; }
        if (!left_) {
            SeenWindow seen{SeenWindow::Kind::Viewer, {}, {}, ReadViewer(viewer), L"left by default Exit", true, {}};
            seen.title = seen.viewer.title;
            Record(std::move(seen));
        }
        left_ = true;
        leftAt_ = GetTickCount();
        DoStep(viewer, ViewerStep::Exit());
        return;
    }
    ViewerStep step = steps_.front();
    steps_.pop_front();
    keyFocus_ = 0;
    DoStep(viewer, step);
    if (step.kind == ViewerStep::Kind::Exit || step.kind == ViewerStep::Kind::CloseBox) {
        left_ = true;
        leftAt_ = GetTickCount();
    } else {
        lookPending_ = true;
        pendingMoment_ = Describe(step);
    }
}

void ModalWatcher::DoStep(HWND viewer, const ViewerStep& step) {
    namespace id = DisplayPictureControl;
    HWND chooser = GetDlgItem(viewer, id::ImageSelectBox);
    switch (step.kind) {
    case ViewerStep::Kind::Choose:
        // What picking an entry from the drop-down list does.
        Prepare(chooser, CB_SETCURSEL, step.index, 0);
        Act(viewer, WM_COMMAND, MAKEWPARAM(id::ImageSelectBox, CBN_SELCHANGE), reinterpret_cast<LPARAM>(chooser));
        break;
    case ViewerStep::Kind::Type: {
        // The whole text replaces the edit field's text in one change, as
        // pasting does, and the field tells the chooser of the change.
        HWND field = FindWindowExW(chooser, nullptr, L"Edit", nullptr);
        typed_.push_back(step.text);
        Prepare(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed_.back().c_str()));
        Prepare(field, EM_SETSEL, step.text.size(), step.text.size());
        Act(chooser, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(field), EN_CHANGE), reinterpret_cast<LPARAM>(field));
        break;
    }
    case ViewerStep::Kind::Edit:
        Act(GetDlgItem(viewer, id::EditButton), BM_CLICK, 0, 0);
        break;
    case ViewerStep::Kind::Exit:
        Act(GetDlgItem(viewer, id::ExitButton), BM_CLICK, 0, 0);
        break;
    case ViewerStep::Kind::CloseBox:
        Act(viewer, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case ViewerStep::Kind::CoverAndUncover:
        CoverAndUncover(viewer);
        break;
    case ViewerStep::Kind::Key:
        keyFocus_ = PressKey(viewer, static_cast<WORD>(step.index));
        break;
    }
}

bool ModalWatcher::NextAnswerIs(Answer::Kind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (answers_.empty() || answers_.front().kind != kind) return false;
    answers_.pop_front();
    return true;
}

void ModalWatcher::Record(SeenWindow seen) {
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back(std::move(seen));
}

} // namespace snapvane::test
