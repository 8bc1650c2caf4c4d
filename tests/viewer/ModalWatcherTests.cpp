// The test helper that plays the person in front of the screen: it must read
// and answer the real modal windows, or every click test built on it lies.
#include "errors/MessageBox.h"
#include "support/ModalWatcher.h"

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
