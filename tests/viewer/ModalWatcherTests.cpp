// The test helper that plays the person in front of the screen: it must read
// and answer the real modal windows, or every click test built on it lies.
#include "errors/MessageBox.h"
#include "support/ModalWatcher.h"
#include "viewer/DisplayPicture.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

using namespace snapvane;
using namespace snapvane::test;

TEST(ModalWatcherTest, ReadsAndAnswersMessageBoxesInOrder) {
    ModalWatcher watcher({Answer::Ok(), Answer::Ok()});
    ShowMessage(nullptr, L"first");
    ShowMessage(nullptr, L"second line\r\nand more");
    auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].kind, SeenWindow::Kind::MessageBox);
    EXPECT_EQ(seen[0].title, L"Snapvane");
    EXPECT_EQ(seen[0].text, L"first");
    EXPECT_EQ(seen[1].text, L"second line\r\nand more");
    EXPECT_EQ(watcher.UnexpectedCount(), 0);
    EXPECT_EQ(watcher.AnswersLeft(), 0u);
}

TEST(ModalWatcherTest, AnUnplannedBoxIsDismissedAndMarked) {
    ModalWatcher watcher;
    ShowMessage(nullptr, L"nobody expected this");
    EXPECT_EQ(watcher.MessageTexts(), std::vector<std::wstring>{L"nobody expected this"});
    EXPECT_EQ(watcher.UnexpectedCount(), 1);
}

// A busy machine may give the watcher no time at all while the thread's one
// viewer window is hidden between two showings. The watcher is held still
// (every other thread of the process suspended) from the end of the first
// showing until the second is on screen; it must still take the second for a
// showing of its own and answer it with its own script, at once.
namespace {

std::vector<HANDLE> SuspendOtherThreads() {
    std::vector<HANDLE> suspended;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == GetCurrentThreadId()) continue;
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
        if (thread && SuspendThread(thread) != static_cast<DWORD>(-1)) suspended.push_back(thread);
        else if (thread) CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return suspended;
}

std::vector<HANDLE> heldThreads;

void CALLBACK ResumeHeldThreads(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    for (HANDLE thread : heldThreads) {
        ResumeThread(thread);
        CloseHandle(thread);
    }
    heldThreads.clear();
}

} // namespace

TEST(ModalWatcherTest, AShowingRightAfterTheLastOneIsSeenAsANewShowing) {
    DisplayPicture& viewer = DisplayPicture::Instance();
    viewer.SetText(L"Display Picture Attributes");
    ModalWatcher watcher({Answer::Viewer({ViewerStep::Exit()}), Answer::Viewer({ViewerStep::Exit()})});
    viewer.Show(1);
    // Exit was handled; the watcher may not look again before the next showing.
    heldThreads = SuspendOtherThreads();
    SetTimer(nullptr, 0, 100, ResumeHeldThreads);  // runs inside the next showing's loop
    const DWORD start = GetTickCount();
    viewer.Show(1);
    const DWORD took = GetTickCount() - start;
    int showings = 0;
    for (const SeenWindow& seen : watcher.Seen())
        if (seen.kind == SeenWindow::Kind::Viewer && seen.moment == L"shown") ++showings;
    EXPECT_EQ(showings, 2);
    EXPECT_EQ(watcher.UnexpectedCount(), 0);
    EXPECT_EQ(watcher.AnswersLeft(), 0u);
    EXPECT_LT(took, 1500u) << "answered by its own script, not by the default Exit after a wait";
}
