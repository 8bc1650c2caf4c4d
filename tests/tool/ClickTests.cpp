// A press on the map, the whole road: search, then the filled viewer or the
// message that nothing was found; and how a failing click leaves the host.
#include "ToolFixture.h"

#include "support/PictureFiles.h"


namespace snapvane::test {
namespace {

class Click : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        Connect();
        folder = TestFolder(L"snapvane-click");
    }

    // A small red bitmap file in the test folder.
    void MakePicture(const std::wstring& name) { ASSERT_TRUE(WriteBitmapFile(folder + name, 4, 2, RGB(255, 0, 0))); }

    const ViewerLook& ShownViewer(const std::vector<SeenWindow>& seen) {
        for (const SeenWindow& window : seen)
            if (window.kind == SeenWindow::Kind::Viewer && window.moment == L"shown") return window.viewer;
        static ViewerLook none;
        ADD_FAILURE() << "the viewer was not shown";
        return none;
    }

    std::wstring folder;
};

TEST_F(Click, NothingUnderThePressShowsTheMessageOnce) {
    auto sites = host->NewFeatureClass(L"Sites", {{L"NOTE", L"Note", FieldType::Text}}, folder);
    sites.AddFeature(Shape::Point(50, 50), {L"no picture here"});
    host->AddFeatureLayer(L"Sites", sites);
    ModalWatcher watcher({Answer::Ok()});
    EXPECT_EQ(PressAt(50, 50), S_OK);
    EXPECT_EQ(PressAt(10, 10, 2, 7), S_OK) << "other buttons and modifiers behave alike";
    auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 2u);
    for (const SeenWindow& box : seen) {
        EXPECT_EQ(box.kind, SeenWindow::Kind::MessageBox);
        EXPECT_EQ(box.title, L"Snapvane");
        EXPECT_EQ(box.text, L"No images found. Select another layer or feature.");
    }
}

TEST_F(Click, PicturesOfTwoLayersFillTheChooserAndTheFirstIsShown) {
    MakePicture(L"well.bmp");
    MakePicture(L"spring.bmp");
    auto wells = host->NewFeatureClass(L"Wells", {{L"PHOTO", L"Photo", FieldType::Text}}, L"C:\\elsewhere");
    wells.AddFeature(Shape::Point(50, 50), {folder + L"well.bmp"});
    auto springs = host->NewFeatureClass(L"Springs",
                                         {{L"PHOTO", L"Photo", FieldType::Text}, {L"PLAN", L"Plan", FieldType::Text}},
                                         folder.substr(0, folder.size() - 1));
    springs.AddFeature(Shape::Point(50, 50), {L"spring.bmp", L"spring.bmp"});
    host->AddFeatureLayer(L"Wells", wells);
    host->AddFeatureLayer(L"Springs", springs);

    ModalWatcher watcher({Answer::Viewer({ViewerStep::Choose(1), ViewerStep::Exit()})});
    EXPECT_EQ(PressAt(50, 50), S_OK);
    auto seen = watcher.Seen();
    EXPECT_EQ(watcher.UnexpectedCount(), 0);
    const ViewerLook& look = ShownViewer(seen);
    EXPECT_EQ(look.title, L"Display Picture Attributes");
    EXPECT_EQ(look.entries, (std::vector<std::wstring>{L"Photo: " + folder + L"well.bmp", L"Photo: spring.bmp",
                                                       L"Plan: spring.bmp"}));
    EXPECT_TRUE(look.chooserEnabled);
    EXPECT_EQ(look.chooserText, L"Photo: " + folder + L"well.bmp");
    EXPECT_TRUE(look.pictureShown);
    for (const SeenWindow& window : seen)
        if (window.moment == L"after Choose 1") EXPECT_TRUE(window.viewer.pictureShown) << "found under the base path";
}

TEST_F(Click, TheAttributePanelFollowsTheAliasFragmentsAndLaterFieldsWin) {
    auto sites = host->NewFeatureClass(L"Sites",
                                       {{L"ID", L"ID", FieldType::Integer},
                                        {L"RES", L"Resident", FieldType::Text},
                                        {L"POP", L"Population", FieldType::Integer},
                                        {L"LL", L"LatLong", FieldType::Text},
                                        {L"ALT", L"Altitude", FieldType::Double},
                                        {L"C1", L"Comment", FieldType::Text},
                                        {L"C2", L"Comments", FieldType::Text},
                                        {L"PHOTO", L"Photo", FieldType::Text}},
                                       folder);
    sites.AddFeature(Shape::Point(50, 50), {1, L"Smith", 120, L"N47 E8", 512.5, L"first", Value::Null(), L"gone.jpg"});
    host->AddFeatureLayer(L"Sites", sites);

    ModalWatcher watcher({Answer::Ok(), Answer::Viewer({ViewerStep::Exit()})});
    EXPECT_EQ(PressAt(50, 50), S_OK);
    auto seen = watcher.Seen();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, L"File Name gone.jpg not found. Base Path is " + folder + L"\\")
        << "the first picture is looked for before the window appears";
    const ViewerLook& look = ShownViewer(seen);
    EXPECT_EQ(look.captions, (std::array<std::wstring, 5>{L"ID", L"Altitude", L"Longitude", L"Latitude", L"Comment"}));
    EXPECT_EQ(look.values[0], L"Smith");
    EXPECT_EQ(look.values[2], L"N47 E8");
    EXPECT_EQ(look.values[3], L"N47 E8") << "LatLong comes after Population";
    EXPECT_EQ(look.values[4], L"") << "Comments (null) comes after Comment";
    for (bool inUse : look.valueEnabled) EXPECT_TRUE(inUse);
    EXPECT_FALSE(look.chooserEnabled) << "one entry only";
    EXPECT_FALSE(look.pictureShown);
}

TEST_F(Click, ALaterFeatureShowsOnlyItsOwnEntriesAndAttributes) {
    MakePicture(L"a.bmp");
    auto big = host->NewFeatureClass(L"Big",
                                     {{L"IDENT", L"Identifier", FieldType::Text}, {L"P1", L"P1", FieldType::Text},
                                      {L"P2", L"P2", FieldType::Text}, {L"P3", L"P3", FieldType::Text},
                                      {L"P4", L"P4", FieldType::Text}, {L"P5", L"P5", FieldType::Text}},
                                     folder);
    big.AddFeature(Shape::Point(20, 20), {L"old id", L"a.bmp", L"a.bmp", L"a.bmp", L"a.bmp", L"a.bmp"});
    auto small = host->NewFeatureClass(L"Small", {{L"P1", L"P1", FieldType::Text}, {L"P2", L"P2", FieldType::Text}},
                                       folder);
    small.AddFeature(Shape::Point(80, 80), {L"a.bmp", L"a.bmp"});
    host->AddFeatureLayer(L"Big", big);
    host->AddFeatureLayer(L"Small", small);

    ModalWatcher watcher({Answer::Viewer({ViewerStep::Exit()}), Answer::Viewer({ViewerStep::Exit()})});
    EXPECT_EQ(PressAt(20, 20), S_OK);
    EXPECT_EQ(PressAt(80, 80), S_OK);
    std::vector<ViewerLook> shown;
    for (const SeenWindow& window : watcher.Seen())
        if (window.kind == SeenWindow::Kind::Viewer && window.moment == L"shown") shown.push_back(window.viewer);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].entries.size(), 5u);
    EXPECT_EQ(shown[0].values[0], L"old id");
    EXPECT_EQ(shown[1].entries.size(), 2u) << "older entries beyond the count are never listed";
    EXPECT_EQ(shown[1].captions[0], L" ");
    EXPECT_EQ(shown[1].values[0], L"") << "no attribute of an earlier feature beside a new one";
    EXPECT_FALSE(shown[1].valueEnabled[0]);
}

TEST_F(Click, TheToleranceIsReadAfreshOnEveryPress) {
    MakePicture(L"a.bmp");
    auto sites = host->NewFeatureClass(L"Sites", {{L"PHOTO", L"Photo", FieldType::Text}}, folder);
    sites.AddFeature(Shape::Point(50, 50), {L"a.bmp"});
    host->AddFeatureLayer(L"Sites", sites);
    ModalWatcher watcher({Answer::Ok(), Answer::Viewer({ViewerStep::Exit()})});
    EXPECT_EQ(PressAt(45, 50), S_OK);
    host->SetSearchTolerance(5);
    EXPECT_EQ(PressAt(45, 50), S_OK);
    auto seen = watcher.Seen();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, L"No images found. Select another layer or feature.");
    EXPECT_EQ(seen[1].kind, SeenWindow::Kind::Viewer);
}

TEST_F(Click, AFailingHostCallReturnsItsCodeAndDescriptionWithNothingShown) {
    auto sites = host->NewFeatureClass(L"Sites", {{L"PHOTO", L"Photo", FieldType::Text}}, folder);
    sites.AddFeature(Shape::Point(50, 50), {L"a.bmp"});
    host->AddFeatureLayer(L"Sites", sites);
    const wchar_t* operations[] = {L"IApplication.Document", L"IDisplayTransformation.ToMapPoint",
                                   L"IMxDocument.SearchTolerance", L"IFeatureClass.Search", L"IRowBuffer.Value",
                                   L"IWorkspaceName.PathName", L"IField.AliasName"};
    for (const wchar_t* operation : operations) {
        standin::Probe::Reset();
        standin::Probe::FailCall(operation, 1, static_cast<HRESULT>(0x80040E14), std::wstring(L"broken ") + operation);
        ModalWatcher watcher;
        EXPECT_EQ(PressAt(50, 50), static_cast<HRESULT>(0x80040E14)) << operation;
        EXPECT_EQ(LastErrorDescription(), std::wstring(L"broken ") + operation);
        EXPECT_TRUE(watcher.Seen().empty()) << operation;
    }
    EXPECT_TRUE(Reports().empty());
}

TEST(ClickBeforeOnCreate, FailsWithoutShowingAnything) {
    auto tool = NewTool();
    auto mapTool = Query<ITool>(tool);
    ModalWatcher watcher;
    EXPECT_EQ(mapTool->OnMouseDown(1, 0, 5, 5), static_cast<HRESULT>(0x800A005B));
    EXPECT_TRUE(watcher.Seen().empty());
}

} // namespace
} // namespace snapvane::test
