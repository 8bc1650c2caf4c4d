// ModalWatcher: a person in front of the screen, for tests of modal calls.
//
// A test runs a call that opens modal windows on its own thread (message
// boxes, the call-stack report, the picture viewer) and cannot answer them
// itself, because it waits inside the call. The watcher does, from a thread of
// its own: it finds the top-level windows of the test thread, reads them
// through Win32 only (never from inside the component), records what it saw in
// order and answers each with the next scripted action.
//
//     ModalWatcher watcher({ViewerScript{ViewerStep::Choose(1), ViewerStep::Exit()}, Answer::Ok()});
//     tool->OnMouseDown(1, 0, 10, 10);
//     auto seen = watcher.Seen();
//
// The watcher never blocks on the test thread: it reads through
// SendMessageTimeout and acts through SendMessageCallback, which also tells it
// when the handler of a step has finished, so that it looks at the viewer only
// then. A step's handler may open message boxes; they are answered first.
//
// Answers are taken in the order the windows appear. A window whose next answer
// does not fit it, or that appears when the answers are used up, gets the
// default: a message box is answered with OK, the report is closed and the
// viewer is left through Exit; such a sighting is marked unexpected, so that a
// test never hangs on a window nobody planned for.
#pragma once

#include "support/ScreenPixels.h"

#include <windows.h>

#include <array>
#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace snapvane::test {

// One action of a person in the viewer window.
struct ViewerStep {
    enum class Kind { Choose, Type, Edit, Exit, CloseBox, CoverAndUncover, Key };
    Kind kind;
    int index = 0;       // Choose: the chooser entry, 0-based; Key: the virtual key
    std::wstring text;   // Type: the text put into the chooser's edit field

    static ViewerStep Choose(int index) { return {Kind::Choose, index, {}}; }
    static ViewerStep Type(std::wstring text) { return {Kind::Type, 0, std::move(text)}; }
    static ViewerStep Edit() { return {Kind::Edit, 0, {}}; }
    static ViewerStep Exit() { return {Kind::Exit, 0, {}}; }
    static ViewerStep CloseBox() { return {Kind::CloseBox, 0, {}}; }
    // Another window covers the whole viewer for a moment and goes again.
    static ViewerStep CoverAndUncover() { return {Kind::CoverAndUncover, 0, {}}; }
    // A real key press, through the system's input to the focused window.
    static ViewerStep Key(WORD key) { return {Kind::Key, key, {}}; }
};

// What a person does with one showing of the viewer, step by step. A script
// that leaves the viewer shown is ended by the default, Exit.
struct ViewerScript {
    std::vector<ViewerStep> steps;
    ViewerScript() = default;
    ViewerScript(std::initializer_list<ViewerStep> list) : steps(list) {}
};

// The answer to one window, in the order the windows appear.
struct Answer {
    enum class Kind { Ok, Close, Viewer };
    Kind kind;
    ViewerScript script;

    static Answer Ok() { return {Kind::Ok, {}}; }       // a message box: press OK
    static Answer Close() { return {Kind::Close, {}}; } // the call-stack report: press Close
    static Answer Viewer(ViewerScript script) { return {Kind::Viewer, std::move(script)}; }
    Answer(Kind k, ViewerScript s) : kind(k), script(std::move(s)) {}
    Answer(ViewerScript s) : kind(Kind::Viewer), script(std::move(s)) {}  // NOLINT: reads well in lists
};

// The viewer as a person sees it, read from its controls.
struct ViewerLook {
    std::wstring title;
    std::vector<std::wstring> entries;
    bool chooserEnabled = false;
    std::wstring chooserText;
    std::array<std::wstring, 5> captions;   // lblAttrib1..5
    std::array<std::wstring, 5> values;     // txtAttrib1..5
    std::array<bool, 5> valueEnabled{};     // the in-use flags
    bool pictureShown = false;              // the picture box holds a bitmap
    int focusedControl = 0;                 // the control with the keyboard focus, 0 for none
    ScreenPicture screenPicture;            // the picture box's pixels on screen
};

// One sighting: a window that appeared, or the viewer after one step.
struct SeenWindow {
    enum class Kind { MessageBox, StackReport, Viewer };
    Kind kind;
    std::wstring title;
    std::wstring text;        // a message box's text, or the report's text
    ViewerLook viewer;        // Kind::Viewer
    std::wstring moment;      // Kind::Viewer: "shown" or the step just done, e.g. "after Choose 1"
    bool unexpected = false;  // answered by the default, not by the script
    // Kind::MessageBox: the viewer's picture box on screen while the box was
    // up (not read when the viewer was not on screen).
    ScreenPicture viewerPictureBehind;
};

class ModalWatcher {
public:
    // Watches the calling thread's windows until destroyed.
    explicit ModalWatcher(std::vector<Answer> answers = {});
    ModalWatcher(std::initializer_list<Answer> answers) : ModalWatcher(std::vector<Answer>(answers)) {}
    ~ModalWatcher();
    ModalWatcher(const ModalWatcher&) = delete;
    ModalWatcher& operator=(const ModalWatcher&) = delete;

    // Everything seen so far, in order.
    std::vector<SeenWindow> Seen() const;
    // The texts of the message boxes seen so far, in order.
    std::vector<std::wstring> MessageTexts() const;
    // How many windows were answered by the default.
    int UnexpectedCount() const;
    // How many scripted answers are still waiting for their window.
    size_t AnswersLeft() const;

    // Reads the viewer window as a person sees it; usable from any thread
    // whose own messages do not block the viewer's thread.
    static ViewerLook ReadViewer(HWND viewer);

private:
    void Watch();
    bool HandleOne();
    void HandleBox(HWND box, SeenWindow::Kind kind);
    void HandleViewer(HWND viewer);
    void DoStep(HWND viewer, const ViewerStep& step);
    void Act(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool NextAnswerIs(Answer::Kind kind);
    void Record(SeenWindow seen);

    DWORD thread_;
    mutable std::mutex mutex_;
    std::deque<Answer> answers_;
    std::vector<SeenWindow> seen_;
    std::atomic<bool> stop_{false};

    // The viewer showing in progress: its script and the steps still to do.
    HWND viewerShown_ = nullptr;
    std::deque<ViewerStep> steps_;
    bool lookPending_ = false;
    int keyFocus_ = 0;  // where the last key press left the focus, 0 after other steps
    std::atomic<bool> actionDone_{true};  // the test thread finished the last action
    bool left_ = false;  // Exit or the close box was pressed for this showing
    DWORD leftAt_ = 0;   // when
    std::wstring pendingMoment_;
    std::vector<HWND> boxesAnswered_;
    // Texts handed to the test thread by a send that may have timed out; they
    // must outlive the send.
    std::deque<std::wstring> typed_;
    std::thread worker_;
};

} // namespace snapvane::test
