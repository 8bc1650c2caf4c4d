// The viewer window itself: one hidden instance per thread, its design, its
// modal showing, and the operations the tool fills it through. Everything is
// read back from the real window.
#include "ViewerPictures.h"
#include "errors/RuntimeError.h"
#include "support/ModalWatcher.h"
#include "support/ScreenPixels.h"
#include "viewer/DisplayPicture.h"
#include "win32/Module.h"

#include <gtest/gtest.h>

#include <thread>

using namespace snapvane;
using namespace snapvane::test;
namespace id = snapvane::DisplayPictureControl;

namespace {

class ViewerWindow : public testing::Test {
protected:
    void SetUp() override {
        viewer = &DisplayPicture::Instance();
        window = viewer->Window();
        viewer->ChooserClear();
        viewer->ChooserSetEnabled(true);
        viewer->SetBasePath(L"");
    }

    HWND Control(int control) const { return GetDlgItem(window, control); }

    // A control's place in its parent's client area, in pixels.
    static RECT PlaceOf(HWND control) {
        RECT place;
        GetWindowRect(control, &place);
        MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
        return place;
    }

    static std::wstring TextOf(HWND control) {
        wchar_t text[256] = {};
        GetWindowTextW(control, text, 256);
        return text;
    }

    static LOGFONTW FontOf(HWND control) {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
        return font;
    }

    DisplayPicture* viewer = nullptr;
    HWND window = nullptr;
};

void ExpectPlace(HWND control, int left, int top, int width, int height) {
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ(place.left, left);
    EXPECT_EQ(place.top, top);
    EXPECT_EQ(place.right - place.left, width);
    EXPECT_EQ(place.bottom - place.top, height);
}

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

} // namespace

TEST_F(ViewerWindow, OneHiddenInstancePerThreadThatHoldsTheModuleWhileItExists) {
    EXPECT_EQ(&DisplayPicture::Instance(), viewer);
    EXPECT_EQ(DisplayPicture::ExistingInstance(), viewer);
    ASSERT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    EXPECT_STREQ(className, kDisplayPictureClass);

    long before = ModuleUsage::Count();
    HWND otherWindow = nullptr;
    long whileOtherExists = 0;
    bool otherHadNoneFirst = false;
    std::thread other([&] {
        otherHadNoneFirst = DisplayPicture::ExistingInstance() == nullptr;
        otherWindow = DisplayPicture::Instance().Window();
        whileOtherExists = ModuleUsage::Count();
        ReleaseDisplayPicture();
    });
    other.join();
    EXPECT_TRUE(otherHadNoneFirst);
    EXPECT_NE(otherWindow, window);
    EXPECT_EQ(whileOtherExists, before + 1);
    EXPECT_FALSE(IsWindow(otherWindow));
    EXPECT_EQ(ModuleUsage::Count(), before);
}

TEST_F(ViewerWindow, LayoutIsTheDesignInPointsAtTheSystemDpi) {
    if (SystemDpi() != 96) GTEST_SKIP() << "the expected pixels are those of 96 DPI";
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 706);   // 529.5 points
    EXPECT_EQ(client.bottom, 651);  // 488.25 points

    ExpectPlace(Control(id::Label1), 8, 8, 168, 16);
    // The closed chooser's height follows its font; the design's 24 pixels within a frame's width.
    RECT chooser = PlaceOf(Control(id::ImageSelectBox));
    EXPECT_EQ(chooser.left, 184);
    EXPECT_EQ(chooser.top, 8);
    EXPECT_EQ(chooser.right - chooser.left, 328);
    EXPECT_NEAR(chooser.bottom - chooser.top, 24, 2);
    ExpectPlace(Control(id::EditButton), 528, 8, 72, 24);
    ExpectPlace(Control(id::ExitButton), 616, 8, 72, 24);
    ExpectPlace(Control(id::Image), 10, 42, 683, 512);
    ExpectPlace(Control(id::Frame1), 12, 560, 312, 84);
    ExpectPlace(Control(id::LabelAttrib + 0), 336, 568, 72, 16);
    ExpectPlace(Control(id::TextAttrib + 0), 416, 568, 80, 21);
    ExpectPlace(Control(id::LabelAttrib + 1), 338, 597, 72, 16);
    ExpectPlace(Control(id::TextAttrib + 1), 418, 597, 80, 21);
    ExpectPlace(Control(id::LabelAttrib + 2), 528, 568, 72, 21);
    ExpectPlace(Control(id::TextAttrib + 2), 608, 568, 80, 21);
    ExpectPlace(Control(id::LabelAttrib + 3), 530, 597, 72, 16);
    ExpectPlace(Control(id::TextAttrib + 3), 610, 597, 80, 21);
    ExpectPlace(Control(id::LabelAttrib + 4), 337, 630, 72, 16);
    ExpectPlace(Control(id::TextAttrib + 4), 417, 627, 272, 21);

    HWND panel = Control(id::Frame1);
    ExpectPlace(GetDlgItem(panel, id::Image1), 8, 0, 80, 80);
    ExpectPlace(GetDlgItem(panel, id::Label2), 103, 2, 184, 32);
    ExpectPlace(GetDlgItem(panel, id::Label4), 125, 28, 145, 22);
    ExpectPlace(GetDlgItem(panel, id::Label3), 128, 58, 136, 16);
}

TEST_F(ViewerWindow, TabFollowsTheDesignedFocusOrderAndNoButtonIsTheDefault) {
    const int order[] = {id::ImageSelectBox, id::ExitButton,     id::EditButton,     id::TextAttrib + 0,
                         id::TextAttrib + 1, id::TextAttrib + 4, id::TextAttrib + 2, id::TextAttrib + 3,
                         id::ImageSelectBox};
    for (size_t k = 0; k + 1 < std::size(order); ++k)
        EXPECT_EQ(GetNextDlgTabItem(window, Control(order[k]), FALSE), Control(order[k + 1])) << "after step " << k;
    for (int button : {id::EditButton, id::ExitButton})
        EXPECT_EQ(GetWindowLongW(Control(button), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    EXPECT_EQ(GetWindowLongW(Control(id::ImageSelectBox), GWL_STYLE) & 3, CBS_DROPDOWN);
}

TEST_F(ViewerWindow, TextsFontsColoursAndLogoOfTheDesign) {
    EXPECT_EQ(TextOf(Control(id::Label1)), L"Select image to display from list: ");
    EXPECT_EQ(TextOf(Control(id::EditButton)), L"Edit");
    EXPECT_EQ(TextOf(Control(id::ExitButton)), L"Exit");
    LOGFONTW tahoma = FontOf(Control(id::ImageSelectBox));
    EXPECT_STREQ(tahoma.lfFaceName, L"Tahoma");
    EXPECT_EQ(tahoma.lfHeight, -MulDiv(825, SystemDpi(), 7200));

    HWND panel = Control(id::Frame1);
    HWND maker = GetDlgItem(panel, id::Label2);
    HWND address = GetDlgItem(panel, id::Label3);
    EXPECT_EQ(TextOf(maker), L"Tellurix");
    EXPECT_STREQ(FontOf(maker).lfFaceName, L"Arial");
    EXPECT_NE(TextOf(address).find(L".example"), std::wstring::npos);
    EXPECT_FALSE(TextOf(GetDlgItem(panel, id::Label4)).empty());

    // The colours the panel gives its labels when they paint.
    HDC dc = CreateCompatibleDC(nullptr);
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(panel, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                       reinterpret_cast<LPARAM>(maker)));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 255));
    EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
    LOGBRUSH fill{};
    GetObjectW(brush, sizeof fill, &fill);
    EXPECT_EQ(fill.lbColor, RGB(255, 255, 255));
    SendMessageW(panel, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(address));
    EXPECT_EQ(GetTextColor(dc), RGB(255, 0, 0));
    DeleteDC(dc);

    auto logo = reinterpret_cast<HBITMAP>(SendMessageW(GetDlgItem(panel, id::Image1), STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP bits{};
    ASSERT_TRUE(GetObjectW(logo, sizeof bits, &bits));
    EXPECT_EQ(bits.bmWidth, 76);
    EXPECT_EQ(bits.bmHeight, 73);
    EXPECT_EQ(bits.bmBitsPixel, 24);
}

TEST_F(ViewerWindow, ThePromptShowsWholeOnOneLine) {
    HWND prompt = Control(id::Label1);
    // Where the prompt's first line would end had it wrapped before its last word.
    HDC dc = GetDC(prompt);
    HGDIOBJ before = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(prompt, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const std::wstring allButLastWord = L"Select image to display from";
    SIZE wrapped{};
    GetTextExtentPoint32W(dc, allButLastWord.c_str(), static_cast<int>(allButLastWord.size()), &wrapped);
    SelectObject(dc, before);
    ReleaseDC(prompt, dc);

    viewer->Show(0);
    ScreenArea area = ReadScreenArea(prompt);
    viewer->Hide();
    ASSERT_TRUE(area.Read());
    ASSERT_LT(wrapped.cx + 2, area.width);
    ASSERT_LT(metrics.tmHeight, area.height);
    auto inkBetween = [&](int left, int right, int top, int bottom) {
        int ink = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) ink += area.At(x, y) != ViewerBackground();
        return ink;
    };
    EXPECT_GT(inkBetween(wrapped.cx + 2, area.width, 0, metrics.tmHeight), 0) << "the last word is not on the first line";
    EXPECT_EQ(inkBetween(0, area.width, metrics.tmHeight, area.height), 0) << "a second line shows";
}

TEST_F(ViewerWindow, ShowModalReturnsOnlyAfterExitHasHiddenTheWindow) {
    ModalWatcher watcher({ViewerScript{ViewerStep::Exit()}});
    viewer->SetText(L"Display Picture Attributes");
    viewer->Show(1);
    EXPECT_FALSE(IsWindowVisible(window));
    auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, SeenWindow::Kind::Viewer);
    EXPECT_EQ(seen[0].title, L"Display Picture Attributes");
    EXPECT_EQ(watcher.UnexpectedCount(), 0);
}

TEST_F(ViewerWindow, TheCloseBoxHidesLikeExitAndTheSameViewerShowsAgain) {
    TemporaryFolder folder;
    WriteBmp(folder / L"a.bmp", 8, 8, RGB(0, 128, 0));
    viewer->ChooserAddItem(L"Photo: " + (folder / L"a.bmp"));
    viewer->ChooserSetListIndex(0);
    {
        ModalWatcher watcher({ViewerScript{ViewerStep::CloseBox()}});
        viewer->Show(1);
        ASSERT_EQ(watcher.Seen().size(), 1u);
        EXPECT_TRUE(watcher.Seen()[0].viewer.pictureShown);
    }
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(PictureBoxColour(window, 10, 10), CLR_INVALID);
    EXPECT_EQ(&DisplayPicture::Instance(), viewer);

    ModalWatcher again({ViewerScript{ViewerStep::Exit()}});
    viewer->Show(1);
    EXPECT_EQ(again.UnexpectedCount(), 0);
    EXPECT_EQ(again.Seen().size(), 1u);
}

TEST_F(ViewerWindow, TheEscKeyLeavesLikeExit) {
    TemporaryFolder folder;
    WriteBmp(folder / L"a.bmp", 8, 8, RGB(0, 128, 0));
    viewer->ChooserAddItem(L"Photo: " + (folder / L"a.bmp"));
    viewer->ChooserSetListIndex(0);
    ModalWatcher watcher({ViewerScript{ViewerStep::Key(VK_ESCAPE)}});
    viewer->Show(1);
    // Had Esc not ended the showing, the watcher would have pressed Exit for it.
    EXPECT_EQ(watcher.UnexpectedCount(), 0);
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_TRUE(watcher.Seen()[0].viewer.pictureShown);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(SendMessageW(Control(id::Image), STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
}

TEST_F(ViewerWindow, TheTabKeyWalksTheFocusOrderAndComesBackToTheChooser) {
    for (int pair = 1; pair <= 5; ++pair) viewer->SetAttributeInUse(pair, true);
    ViewerScript tabs;
    const int order[] = {id::ImageSelectBox, id::ExitButton,     id::EditButton,     id::TextAttrib + 0,
                         id::TextAttrib + 1, id::TextAttrib + 4, id::TextAttrib + 2, id::TextAttrib + 3,
                         id::ImageSelectBox};
    for (size_t k = 1; k < std::size(order); ++k) tabs.steps.push_back(ViewerStep::Key(VK_TAB));
    tabs.steps.push_back(ViewerStep::Exit());
    ModalWatcher watcher({tabs});
    viewer->Show(1);
    auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), std::size(order));
    // Now and then Xvfb, which runs no window manager, leaves a new process's
    // window without the keyboard: no key can reach it then.
    if (seen[0].viewer.focusedControl == 0) GTEST_SKIP() << "the display gave the viewer no keyboard focus";
    for (size_t k = 0; k < seen.size(); ++k)
        EXPECT_EQ(seen[k].viewer.focusedControl, order[k]) << "after " << k << " presses of Tab";
    EXPECT_EQ(watcher.UnexpectedCount(), 0);
}

TEST_F(ViewerWindow, WhatTheToolWritesIsWhatAPersonSees) {
    viewer->SetText(L"Display Picture Attributes");
    viewer->ChooserAddItem(L"Photo: nowhere-one.jpg");
    viewer->ChooserAddItem(L"Sketch: nowhere-two.gif");
    viewer->ChooserSetEnabled(false);
    const wchar_t* captions[] = {L"ID", L"Altitude", L"Longitude", L"Latitude", L"Comment"};
    for (int pair = 1; pair <= 5; ++pair) viewer->SetAttributeCaption(pair, captions[pair - 1]);

    Variant text, number, real, missing, flag;
    VARIANT* v = text.out();
    V_VT(v) = VT_BSTR;
    V_BSTR(v) = SysAllocString(L"Well & spring");
    v = number.out();
    V_VT(v) = VT_I4;
    V_I4(v) = 1250;
    v = real.out();
    V_VT(v) = VT_R8;
    V_R8(v) = -1.5;
    V_VT(missing.out()) = VT_NULL;
    v = flag.out();
    V_VT(v) = VT_BOOL;
    V_BOOL(v) = VARIANT_TRUE;
    viewer->SetAttributeValue(1, text.get());
    viewer->SetAttributeValue(2, number.get());
    viewer->SetAttributeValue(3, real.get());
    viewer->SetAttributeValue(4, missing.get());
    viewer->SetAttributeValue(5, flag.get());
    for (int pair = 1; pair <= 5; ++pair) viewer->SetAttributeInUse(pair, pair != 4);

    ModalWatcher watcher({ViewerScript{ViewerStep::Exit()}});
    viewer->Show(1);
    auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    const ViewerLook& look = seen[0].viewer;
    EXPECT_EQ(look.title, L"Display Picture Attributes");
    EXPECT_EQ(look.entries, (std::vector<std::wstring>{L"Photo: nowhere-one.jpg", L"Sketch: nowhere-two.gif"}));
    EXPECT_FALSE(look.chooserEnabled);
    EXPECT_EQ(look.captions[0], L"ID");
    EXPECT_EQ(look.captions[4], L"Comment");
    EXPECT_EQ(look.values[0], L"Well & spring");
    EXPECT_EQ(look.values[1], L"1250");
    EXPECT_EQ(look.values[2], L"-1.5");
    EXPECT_EQ(look.values[3], L"");
    EXPECT_EQ(look.values[4], L"True");
    EXPECT_EQ(look.valueEnabled, (std::array<bool, 5>{true, true, true, false, true}));
    EXPECT_FALSE(look.pictureShown);
}

TEST_F(ViewerWindow, ValuesWithoutATextFormNeverFailAndCaptionsStartAsStored) {
    // A fresh viewer on its own thread shows the stored captions.
    std::wstring firstCaption;
    std::thread other([&] {
        wchar_t text[32] = {};
        GetWindowTextW(GetDlgItem(DisplayPicture::Instance().Window(), id::LabelAttrib + 4), text, 32);
        firstCaption = text;
        ReleaseDisplayPicture();
    });
    other.join();
    EXPECT_EQ(firstCaption, L"Label5");

    Variant date, object, empty;
    VARIANT* v = date.out();
    V_VT(v) = VT_DATE;
    V_DATE(v) = 45000.5;
    v = object.out();
    V_VT(v) = VT_UNKNOWN;
    V_UNKNOWN(v) = nullptr;
    EXPECT_NO_THROW(viewer->SetAttributeValue(1, date.get()));
    EXPECT_FALSE(TextOf(Control(id::TextAttrib)).empty());
    EXPECT_NO_THROW(viewer->SetAttributeValue(1, object.get()));
    EXPECT_NO_THROW(viewer->SetAttributeValue(1, empty.get()));
    EXPECT_EQ(TextOf(Control(id::TextAttrib)), L"");
    EXPECT_THROW(viewer->SetAttributeCaption(6, L"x"), RuntimeError);
}

TEST_F(ViewerWindow, WritingListIndexShowsTheEntryBeforeItReturns) {
    TemporaryFolder folder;
    WriteBmp(folder / L"blue.bmp", 16, 12, RGB(0, 0, 255));
    viewer->ChooserAddItem(L"Photo: " + (folder / L"blue.bmp"));
    viewer->ChooserSetListIndex(0);
    SIZE box = PictureBoxSize(window);
    EXPECT_TRUE(ColourNear(PictureBoxColour(window, box.cx / 2, box.cy / 2), RGB(0, 0, 255)));
    EXPECT_EQ(viewer->ChooserText(), L"Photo: " + (folder / L"blue.bmp"));
    try {
        viewer->ChooserSetListIndex(1);
        ADD_FAILURE() << "an index past the entries was accepted";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), 380);
    }
}
