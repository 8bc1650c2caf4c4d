// Choosing an entry shows its picture: where the file is looked for, the four
// formats, the scaling, and what the user is told when a file is missing or
// is no picture.
#include "ViewerPictures.h"
#include "support/ModalWatcher.h"
#include "viewer/DisplayPicture.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace snapvane;
using namespace snapvane::test;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

class PictureDisplay : public testing::Test {
protected:
    void SetUp() override {
        viewer = &DisplayPicture::Instance();
        window = viewer->Window();
        viewer->ChooserClear();
        viewer->ChooserSetEnabled(true);
        viewer->SetBasePath(folder.Path() + L"\\");
    }

    // Lists the entries and selects the first, as the tool does.
    void ShowEntries(std::initializer_list<std::wstring> entries) {
        viewer->ChooserClear();
        for (const auto& entry : entries) viewer->ChooserAddItem(entry);
        viewer->ChooserSetListIndex(0);
    }

    COLORREF Centre() const {
        SIZE box = PictureBoxSize(window);
        return PictureBoxColour(window, box.cx / 2, box.cy / 2);
    }

    TemporaryFolder folder;
    DisplayPicture* viewer = nullptr;
    HWND window = nullptr;
};

// Runs in another folder for as long as it lives.
class CurrentFolderScope {
public:
    explicit CurrentFolderScope(const std::wstring& folder) : before_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~CurrentFolderScope() { std::filesystem::current_path(before_); }

private:
    std::filesystem::path before_;
};

} // namespace

TEST_F(PictureDisplay, EachOfTheFourFormatsIsShown) {
    struct Case {
        const wchar_t* name;
        void (*write)(const std::wstring&, int, int, COLORREF);
        COLORREF colour;
    };
    const Case cases[] = {{L"p.bmp", WriteBmp, RGB(200, 30, 30)},
                          {L"p.wmf", WriteWmf, RGB(30, 160, 30)},
                          {L"p.jpg", WriteJpeg, RGB(30, 30, 200)},
                          {L"p.gif", WriteGif, RGB(250, 200, 0)}};
    ModalWatcher watcher;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format of " << std::filesystem::path(c.name).string());
        c.write(folder / c.name, 64, 48, c.colour);
        ShowEntries({L"Photo: " + (folder / c.name)});
        EXPECT_TRUE(ColourNear(Centre(), c.colour)) << std::hex << Centre();
    }
    EXPECT_TRUE(watcher.Seen().empty());
}

TEST_F(PictureDisplay, ThePictureIsScaledWholeIntoTheBoxWithItsProportions) {
    WriteBmp(folder / L"wide.bmp", 40, 10, kRed);
    ShowEntries({L"Photo: wide.bmp"});
    SIZE box = PictureBoxSize(window);
    // Four times as wide as high: it fills the width and a quarter of the height.
    EXPECT_TRUE(ColourNear(PictureBoxColour(window, 2, box.cy / 2), kRed));
    EXPECT_TRUE(ColourNear(PictureBoxColour(window, box.cx - 3, box.cy / 2), kRed));
    EXPECT_FALSE(ColourNear(PictureBoxColour(window, box.cx / 2, box.cy / 2 - box.cx / 8 - 4), kRed));
    EXPECT_FALSE(ColourNear(PictureBoxColour(window, box.cx / 2, 4), kRed));
}

TEST_F(PictureDisplay, AFileIsTakenAsWrittenBeforeUnderTheBasePath) {
    TemporaryFolder current;
    CurrentFolderScope inCurrent(current.Path());
    WriteBmp(current / L"both.bmp", 8, 8, kRed);
    WriteBmp(folder / L"both.bmp", 8, 8, kBlue);
    WriteBmp(folder / L"base-only.bmp", 8, 8, kBlue);

    ShowEntries({L"Photo: both.bmp"});
    EXPECT_TRUE(ColourNear(Centre(), kRed));
    ShowEntries({L"Photo: base-only.bmp"});
    EXPECT_TRUE(ColourNear(Centre(), kBlue));
    ShowEntries({L"Photo: " + (current / L"both.bmp")});
    EXPECT_TRUE(ColourNear(Centre(), kRed));
}

TEST_F(PictureDisplay, AMissingFileIsNamedWithTheBasePathAndTheBoxStaysEmpty) {
    WriteBmp(folder / L"here.bmp", 8, 8, kRed);
    ModalWatcher watcher({Answer::Ok(), Answer::Ok()});
    ShowEntries({L"Photo: here.bmp"});
    ShowEntries({L"Photo: nowhere.jpg"});
    EXPECT_EQ(PictureBoxColour(window, 5, 5), CLR_INVALID);
    ShowEntries({L"Photo: x: y.jpg"});  // only the first ": " splits
    auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].kind, SeenWindow::Kind::MessageBox);
    EXPECT_EQ(seen[0].title, L"Snapvane");
    EXPECT_EQ(seen[0].text, L"File Name nowhere.jpg not found. Base Path is " + folder.Path() + L"\\");
    EXPECT_EQ(seen[1].text, L"File Name x: y.jpg not found. Base Path is " + folder.Path() + L"\\");
    EXPECT_EQ(watcher.UnexpectedCount(), 0);
}

TEST_F(PictureDisplay, AFileThatIsNoPictureIsNamedAndLaterPicturesStillShow) {
    WriteBytes(folder / L"damaged.jpg", "\xFF\xD8\xFF this is not the rest of a picture");
    WriteBytes(folder / L"empty.gif", "");
    WriteBmp(folder / L"good.bmp", 8, 8, kBlue);
    ModalWatcher watcher({Answer::Ok(), Answer::Ok()});
    ShowEntries({L"Photo: damaged.jpg"});
    EXPECT_EQ(PictureBoxColour(window, 5, 5), CLR_INVALID);
    ShowEntries({L"Photo: empty.gif"});
    ShowEntries({L"Photo: good.bmp"});
    EXPECT_TRUE(ColourNear(Centre(), kBlue));
    EXPECT_EQ(watcher.MessageTexts(),
              (std::vector<std::wstring>{L"File Name " + (folder / L"damaged.jpg") + L" could not be read as a picture.",
                                         L"File Name " + (folder / L"empty.gif") + L" could not be read as a picture."}));
}

TEST_F(PictureDisplay, AnEmptyChooserTextClearsTheBoxWithoutAMessage) {
    WriteBmp(folder / L"a.bmp", 8, 8, kRed);
    ModalWatcher watcher;
    ShowEntries({L"Photo: a.bmp"});
    viewer->ChooserSetListIndex(-1);
    EXPECT_EQ(viewer->ChooserText(), L"");
    EXPECT_EQ(PictureBoxColour(window, 5, 5), CLR_INVALID);
    EXPECT_TRUE(watcher.Seen().empty());
}

TEST_F(PictureDisplay, PatternCharactersAndFoldersAreNeverFound) {
    WriteBmp(folder / L"a1.bmp", 8, 8, kRed);
    std::filesystem::create_directory(folder / L"folder.bmp");
    ModalWatcher watcher({Answer::Ok(), Answer::Ok(), Answer::Ok()});
    ShowEntries({L"Photo: a?.bmp"});
    ShowEntries({L"Photo: *.bmp"});
    ShowEntries({L"Photo: folder.bmp"});
    EXPECT_EQ(PictureBoxColour(window, 5, 5), CLR_INVALID);
    std::wstring base = folder.Path() + L"\\";
    EXPECT_EQ(watcher.MessageTexts(),
              (std::vector<std::wstring>{L"File Name a?.bmp not found. Base Path is " + base,
                                         L"File Name *.bmp not found. Base Path is " + base,
                                         L"File Name folder.bmp not found. Base Path is " + base}));
}

TEST_F(PictureDisplay, ATypedNameIsTakenWholeAndTypingCompletesToAnEntry) {
    WriteBmp(folder / L"first.bmp", 8, 8, kRed);
    WriteBmp(folder / L"second.bmp", 8, 8, kBlue);
    WriteBmp(folder / L"typed.bmp", 8, 8, kBlue);
    ShowEntries({L"Photo: first.bmp", L"Photo: second.bmp"});
    ModalWatcher watcher({ViewerScript{ViewerStep::Type(L"typed.bmp"), ViewerStep::Type(L"Photo: s"),
                                       ViewerStep::Choose(0), ViewerStep::Exit()}});
    viewer->Show(1);
    auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 4u);  // shown, and after each of the three steps; no message
    EXPECT_EQ(seen[1].moment, L"after Type typed.bmp");
    EXPECT_EQ(seen[1].viewer.chooserText, L"typed.bmp");
    EXPECT_TRUE(seen[1].viewer.pictureShown);
    EXPECT_EQ(seen[2].viewer.chooserText, L"Photo: second.bmp");
    EXPECT_TRUE(seen[2].viewer.pictureShown);
    EXPECT_EQ(seen[3].viewer.chooserText, L"Photo: first.bmp");
    EXPECT_TRUE(seen[3].viewer.pictureShown);
    EXPECT_EQ(watcher.UnexpectedCount(), 0);
}

TEST_F(PictureDisplay, ExitClearsThePictureAndAMissingChoiceIsReportedOverTheViewer) {
    WriteBmp(folder / L"a.bmp", 8, 8, kRed);
    ShowEntries({L"Photo: a.bmp", L"Photo: gone.bmp"});
    ModalWatcher watcher({ViewerScript{ViewerStep::Choose(1), ViewerStep::Exit()}, Answer::Ok()});
    viewer->Show(1);
    auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_TRUE(seen[0].viewer.pictureShown);
    EXPECT_EQ(seen[1].kind, SeenWindow::Kind::MessageBox);
    EXPECT_EQ(seen[1].text, L"File Name gone.bmp not found. Base Path is " + folder.Path() + L"\\");
    EXPECT_EQ(seen[2].moment, L"after Choose 1");
    EXPECT_FALSE(seen[2].viewer.pictureShown);
    EXPECT_EQ(PictureBoxColour(window, 5, 5), CLR_INVALID);
}
