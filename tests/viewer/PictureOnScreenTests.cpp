// What the picture area shows on screen, read from its pixels: once a chosen
// file cannot be shown, the area shows its background only, at once and from
// then on, whatever was shown before and whatever covers the window meanwhile.
#include "ViewerPictures.h"
#include "support/ModalWatcher.h"
#include "support/ScreenPixels.h"
#include "viewer/DisplayPicture.h"
#include "win32/ComTypes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

using namespace snapvane;
using namespace snapvane::test;

namespace {

constexpr COLORREF kRed = RGB(220, 20, 20);

class PictureOnScreen : public testing::Test {
protected:
    void SetUp() override {
        viewer = &DisplayPicture::Instance();
        window = viewer->Window();
        viewer->SetBasePath(folder.Path() + L"\\");
        viewer->ChooserSetEnabled(true);
        WriteBmp(folder / L"shown.bmp", 64, 48, kRed);
    }

    // Lists the entries and selects the first, as the tool does.
    void ShowEntries(std::initializer_list<std::wstring> entries) {
        viewer->ChooserClear();
        for (const auto& entry : entries) viewer->ChooserAddItem(entry);
        viewer->ChooserSetListIndex(0);
    }

    static bool ShowsThePicture(const ScreenPicture& picture) {
        return picture.read && !picture.blank && ColourNear(picture.centre, kRed);
    }
    static bool ShowsOnlyBackground(const ScreenPicture& picture) { return picture.read && picture.blank; }

    // A bitmap whose header claims 10000 x 10000 pixels.
    void WriteHugeBmp(const std::wstring& path) {
        WriteBmp(path, 8, 8, kRed);
        BITMAPFILEHEADER file{};
        BITMAPINFOHEADER info{};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info;
        info.biSize = sizeof info;
        info.biWidth = 10000;
        info.biHeight = -10000;
        info.biPlanes = 1;
        info.biBitCount = 24;
        std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
        bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
        bytes.append(64 * 3, '\x10');
        WriteBytes(path, bytes);
    }

    TemporaryFolder folder;
    DisplayPicture* viewer = nullptr;
    HWND window = nullptr;
};

} // namespace

TEST_F(PictureOnScreen, AfterEachCauseTheAreaShowsOnlyItsBackgroundAtOnceAndAfterBeingCovered) {
    WriteBytes(folder / L"not-a-picture.jpg", "\xFF\xD8\xFF these bytes are no picture");
    WriteHugeBmp(folder / L"too-large.bmp");
    struct Cause {
        const char* name;
        ViewerStep step;
        bool message;
    };
    const Cause causes[] = {
        {"a missing file", ViewerStep::Choose(1), true},
        {"a file that is no picture", ViewerStep::Choose(2), true},
        {"a picture too large", ViewerStep::Choose(3), true},
        {"the chooser's text cleared", ViewerStep::Type(L""), false},
    };
    for (const Cause& cause : causes) {
        SCOPED_TRACE(cause.name);
        ShowEntries({L"Photo: shown.bmp", L"Photo: missing.bmp", L"Photo: not-a-picture.jpg", L"Photo: too-large.bmp"});
        std::vector<Answer> answers{ViewerScript{cause.step, ViewerStep::CoverAndUncover(), ViewerStep::Exit()}};
        if (cause.message) answers.push_back(Answer::Ok());
        ModalWatcher watcher(answers);
        viewer->Show(1);

        auto seen = watcher.Seen();
        ASSERT_EQ(seen.size(), cause.message ? 4u : 3u);
        EXPECT_TRUE(ShowsThePicture(seen[0].viewer.screenPicture)) << "a picture was shown first";
        size_t next = 1;
        if (cause.message) {
            EXPECT_EQ(seen[1].kind, SeenWindow::Kind::MessageBox);
            EXPECT_TRUE(ShowsOnlyBackground(seen[1].viewerPictureBehind)) << "behind the message";
            next = 2;
        }
        EXPECT_TRUE(ShowsOnlyBackground(seen[next].viewer.screenPicture)) << seen[next].moment;
        EXPECT_EQ(seen[next + 1].moment, L"after CoverAndUncover");
        EXPECT_TRUE(ShowsOnlyBackground(seen[next + 1].viewer.screenPicture)) << "after being covered";
        EXPECT_EQ(watcher.UnexpectedCount(), 0);
    }
}

TEST_F(PictureOnScreen, ANewShowingAfterExitOrTheCloseBoxShowsNoEarlierPicture) {
    for (ViewerStep leave : {ViewerStep::Exit(), ViewerStep::CloseBox()}) {
        SCOPED_TRACE(leave.kind == ViewerStep::Kind::Exit ? "Exit" : "the close box");
        ShowEntries({L"Photo: shown.bmp"});
        {
            ModalWatcher watcher({ViewerScript{leave}});
            viewer->Show(1);
            ASSERT_EQ(watcher.Seen().size(), 1u);
            EXPECT_TRUE(ShowsThePicture(watcher.Seen()[0].viewer.screenPicture));
        }
        // The next press finds a feature whose first picture is missing: its
        // message comes before the window, which then shows no picture.
        ModalWatcher watcher({Answer::Ok(), ViewerScript{ViewerStep::Exit()}});
        ShowEntries({L"Photo: missing.bmp"});
        viewer->Show(1);
        auto seen = watcher.Seen();
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0].kind, SeenWindow::Kind::MessageBox);
        EXPECT_EQ(seen[1].moment, L"shown");
        EXPECT_TRUE(ShowsOnlyBackground(seen[1].viewer.screenPicture));
    }
}

TEST_F(PictureOnScreen, AnotherPictureReplacesTheWholeEarlierOneOnScreen) {
    // A wide picture, then a narrow one: no band of the wide one stays.
    WriteBmp(folder / L"wide.bmp", 80, 10, RGB(20, 20, 220));
    WriteBmp(folder / L"narrow.bmp", 10, 80, kRed);
    HWND box = GetDlgItem(window, DisplayPictureControl::Image);
    viewer->Show(0);
    ShowEntries({L"Photo: wide.bmp", L"Photo: narrow.bmp"});
    ScreenArea wide = ReadScreenArea(box);
    viewer->ChooserSetListIndex(1);
    ScreenArea narrow = ReadScreenArea(box);
    viewer->Hide();
    ASSERT_TRUE(wide.Read() && narrow.Read());
    EXPECT_TRUE(ColourNear(wide.At(2, wide.height / 2), RGB(20, 20, 220)));
    EXPECT_EQ(narrow.At(2, narrow.height / 2), ViewerBackground());
    EXPECT_TRUE(ColourNear(narrow.Centre(), kRed));
}

namespace {

namespace id = DisplayPictureControl;

void SetTextValue(DisplayPicture& viewer, int pair, const wchar_t* text) {
    Variant value;
    VARIANT* slot = value.out();
    V_VT(slot) = VT_BSTR;
    V_BSTR(slot) = SysAllocString(text);
    viewer.SetAttributeValue(pair, value.get());
}

// The colour an edit field fills its empty right end with: the window colour
// while it takes typing, the dialog colour while it is disabled.
COLORREF FieldBackground(HWND field) {
    ScreenArea area = ReadScreenArea(field);
    return area.Read() ? area.At(area.width - 2, area.height / 2) : CLR_INVALID;
}

bool ShowsText(HWND label) {
    ScreenArea area = ReadScreenArea(label);
    return area.Read() && area.CountNot(ViewerBackground()) > 0;
}

} // namespace

TEST_F(PictureOnScreen, APanelRefilledForAnotherFeatureShowsNoEarlierCaptionAndGreysUnusedBoxes) {
    HWND chooserField = FindWindowExW(GetDlgItem(window, id::ImageSelectBox), nullptr, L"Edit", nullptr);
    ASSERT_TRUE(chooserField);
    // A feature that fills every pair and has two pictures.
    const wchar_t* captions[] = {L"ID", L"Altitude", L"Longitude", L"Latitude", L"Comment"};
    for (int pair = 1; pair <= 5; ++pair) {
        viewer->SetAttributeCaption(pair, captions[pair - 1]);
        SetTextValue(*viewer, pair, L"v");
        viewer->SetAttributeInUse(pair, true);
    }
    ShowEntries({L"Photo: shown.bmp", L"Photo: shown.bmp"});
    viewer->ChooserSetEnabled(true);
    viewer->Show(0);
    for (int pair = 1; pair <= 5; ++pair) {
        SCOPED_TRACE(pair);
        EXPECT_TRUE(ShowsText(GetDlgItem(window, id::LabelAttrib + pair - 1)));
        EXPECT_EQ(FieldBackground(GetDlgItem(window, id::TextAttrib + pair - 1)), GetSysColor(COLOR_WINDOW));
    }
    EXPECT_EQ(FieldBackground(chooserField), GetSysColor(COLOR_WINDOW));
    viewer->Hide();

    // The next feature fills pair 1 only and has one picture, written while
    // the window is hidden, as the tool writes it.
    for (int pair = 1; pair <= 5; ++pair) {
        viewer->SetAttributeCaption(pair, L" ");
        viewer->SetAttributeInUse(pair, false);
    }
    viewer->SetAttributeCaption(1, L"ID");
    SetTextValue(*viewer, 1, L"w");
    viewer->SetAttributeInUse(1, true);
    ShowEntries({L"Photo: shown.bmp"});
    viewer->ChooserSetEnabled(false);
    viewer->Show(0);
    EXPECT_TRUE(ShowsText(GetDlgItem(window, id::LabelAttrib)));
    EXPECT_EQ(FieldBackground(GetDlgItem(window, id::TextAttrib)), GetSysColor(COLOR_WINDOW));
    for (int pair = 2; pair <= 5; ++pair) {
        SCOPED_TRACE(pair);
        EXPECT_FALSE(ShowsText(GetDlgItem(window, id::LabelAttrib + pair - 1))) << "an earlier caption stayed";
        EXPECT_EQ(FieldBackground(GetDlgItem(window, id::TextAttrib + pair - 1)), GetSysColor(COLOR_BTNFACE));
    }
    EXPECT_EQ(FieldBackground(chooserField), GetSysColor(COLOR_BTNFACE));

    // And while it is on screen: a caption blanked again leaves no text.
    viewer->SetAttributeCaption(1, L" ");
    EXPECT_FALSE(ShowsText(GetDlgItem(window, id::LabelAttrib)));
    viewer->Hide();
}
