// Edit hands the shown picture to the program associated with the type of its
// content, whatever its name ends with. The association is a recording program
// registered in the test prefix for the content's type (the tests' pictures
// are bitmaps, so ".bmp") under names of types of the tests' own; what it was
// started with is read back from its record.
#include "ViewerPictures.h"
#include "support/ModalWatcher.h"
#include "viewer/DisplayPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace snapvane;
using namespace snapvane::test;

namespace {

// The machine's classes of the private test prefix: Wine's shell looks up
// associations there, not in the user's classes.
const HKEY kAssociationRoot = HKEY_LOCAL_MACHINE;
constexpr wchar_t kClasses[] = L"Software\\Classes\\";

void SetDefaultValue(const std::wstring& key, const std::wstring& value) {
    HKEY opened = nullptr;
    ASSERT_EQ(RegCreateKeyExW(kAssociationRoot, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
}

// Registers "command" as the open command of files ending in "type".
void Associate(const std::wstring& type, const std::wstring& command) {
    std::wstring progId = L"SnapvaneTest" + type.substr(1);
    SetDefaultValue(kClasses + type, progId);
    SetDefaultValue(kClasses + progId + L"\\shell\\open\\command", command);
}

void Dissociate(const std::wstring& type) {
    RegDeleteTreeW(kAssociationRoot, (kClasses + type).c_str());
    RegDeleteTreeW(kAssociationRoot, (kClasses + (L"SnapvaneTest" + type.substr(1))).c_str());
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    return std::filesystem::path(path).parent_path().wstring();
}

class OpenInProgram : public testing::Test {
protected:
    void SetUp() override {
        viewer = &DisplayPicture::Instance();
        viewer->ChooserClear();
        viewer->ChooserSetEnabled(true);
        std::filesystem::create_directory(pictures);
        viewer->SetBasePath(pictures + L"\\");
        recorder = ProgramFolder() + L"\\viewer_record_command_line.exe";
        SetEnvironmentVariableW(L"SNAPVANE_RECORD_FILE", record.c_str());
        AssociateForTest(L".bmp", Recording(L"\"%1\""));
    }

    void TearDown() override {
        for (const auto& type : associated) Dissociate(type);
        SetEnvironmentVariableW(L"SNAPVANE_RECORD_FILE", nullptr);
    }

    void AssociateForTest(const std::wstring& type, const std::wstring& command) {
        associated.push_back(type);
        Associate(type, command);
    }

    // The recording program's command with the given arguments.
    std::wstring Recording(const std::wstring& arguments) const { return L"\"" + recorder + L"\" " + arguments; }

    // A host program with arguments of its own, the form a stock photo viewer registers.
    std::wstring HostedRecording() const {
        return Recording(L"\"C:\\viewers\\photo viewer.dll\", ImageView_Fullscreen %1");
    }

    // Shows the viewer with the one entry, presses Edit, then Exit. When the
    // entry's file is no picture, the display's own message comes first.
    // Edit while the current folder holds a program named as the association
    // names its program, without a folder.
    std::vector<std::wstring> PressEditBesidePlantedProgram(const std::wstring& entry) {
        TemporaryFolder current;
        std::filesystem::copy_file(recorder, current / L"svplanted.exe");
        wchar_t before[MAX_PATH * 4] = {};
        GetCurrentDirectoryW(MAX_PATH * 4, before);
        if (!SetCurrentDirectoryW(current.Path().c_str())) ADD_FAILURE() << "cannot enter the planted folder";
        auto texts = PressEdit(entry);
        SetCurrentDirectoryW(before);
        return texts;
    }

    std::vector<std::wstring> PressEdit(const std::wstring& entry, bool displayComplains = false) {
        std::vector<Answer> answers;
        if (displayComplains) answers.push_back(Answer::Ok());
        answers.push_back(ViewerScript{ViewerStep::Edit(), ViewerStep::Exit()});
        answers.push_back(Answer::Ok());
        ModalWatcher watcher(answers);
        viewer->ChooserClear();
        viewer->ChooserAddItem(entry);
        viewer->ChooserSetListIndex(0);
        viewer->Show(1);
        auto texts = watcher.MessageTexts();
        if (displayComplains && !texts.empty()) texts.erase(texts.begin());
        return texts;
    }

    // The recording program's command line, once it has written it.
    std::wstring Recorded(DWORD waitMs = 15000) {
        for (DWORD waited = 0; waited < waitMs && !std::filesystem::exists(record); waited += 50) Sleep(50);
        std::ifstream file(std::filesystem::path(record), std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        std::string raw = bytes.str();
        return std::wstring(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
    }

    TemporaryFolder folder;
    std::wstring pictures = folder / L"with blanks";
    std::wstring record = folder / L"record.txt";
    std::wstring recorder;
    DisplayPicture* viewer = nullptr;
    std::vector<std::wstring> associated;
    // A program named without a folder.
    const std::wstring bareProgram = L"svplanted.exe \"%1\"";
};

} // namespace

TEST_F(OpenInProgram, TheAssociatedProgramGetsItsPathAndTheFileEachQuoted) {
    std::wstring photo = pictures + L"\\my photo.svpic";
    WriteBmp(photo, 8, 8, RGB(0, 0, 255));
    auto texts = PressEdit(L"Photo: " + photo);
    for (auto& t : texts) ADD_FAILURE() << std::filesystem::path(t).string();
    EXPECT_EQ(Recorded(), L"\"" + recorder + L"\" \"" + photo + L"\"");
}

TEST_F(OpenInProgram, EditStartsTheProgramOfTheContentsTypeNeverTheOneOfTheNamesType) {
    // Every start is logged, so a program started besides the right one shows.
    const std::wstring log = folder / L"starts.log";
    SetEnvironmentVariableW(L"SNAPVANE_RECORD_LOG", log.c_str());
    for (const wchar_t* type : {L".pyz", L".old"}) AssociateForTest(type, Recording(L"name-handler \"%1\""));
    for (const wchar_t* type : {L".bmp", L".gif", L".jpg", L".wmf"})
        AssociateForTest(type, Recording(std::wstring(type + 1) + L"-handler \"%1\""));
    // A bitmap with a zip application after it, and pictures of each other kind.
    const std::wstring survey = pictures + L"\\survey.jpg.pyz";
    WriteBmp(survey, 2, 2, RGB(0, 0, 255));
    std::ofstream(std::filesystem::path(survey), std::ios::binary | std::ios::app)
        << std::string("PK\x03\x04\x14\0\0\0\0\0__main__.py", 21);
    WriteGif(pictures + L"\\site.gif.old", 8, 8, RGB(0, 0, 255));
    WriteJpeg(pictures + L"\\holiday.old", 8, 8, RGB(0, 0, 255));
    WriteWmf(pictures + L"\\plan.wmf.pyz", 8, 8, RGB(0, 0, 255));
    // A name the shell would expand is started without the shell.
    std::filesystem::copy_file(survey, pictures + L"\\%PATH% survey.jpg.pyz");
    const std::pair<std::wstring, std::wstring> cases[] = {{L"survey.jpg.pyz", L"bmp"},
                                                           {L"site.gif.old", L"gif"},
                                                           {L"holiday.old", L"jpg"},
                                                           {L"plan.wmf.pyz", L"wmf"},
                                                           {L"%PATH% survey.jpg.pyz", L"bmp"}};
    std::vector<std::wstring> expected;
    for (const auto& [name, type] : cases) {
        SCOPED_TRACE(std::filesystem::path(name).string());
        EXPECT_EQ(PressEdit(L"Photo: " + name), std::vector<std::wstring>{}) << "no message";
        expected.push_back(L"\"" + recorder + L"\" " + type + L"-handler \"" + pictures + L"\\" + name + L"\"");
    }
    auto loggedStarts = [&] {
        std::ifstream file(std::filesystem::path(log), std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        std::string raw = bytes.str();
        std::wstringstream lines(std::wstring(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t)));
        std::vector<std::wstring> started;
        for (std::wstring line; std::getline(lines, line);) started.push_back(line);
        return started;
    };
    for (DWORD waited = 0; waited < 15000 && loggedStarts().size() < expected.size(); waited += 100) Sleep(100);
    Sleep(500);  // time for a start too many to show
    std::vector<std::wstring> started = loggedStarts();
    SetEnvironmentVariableW(L"SNAPVANE_RECORD_LOG", nullptr);
    std::sort(started.begin(), started.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(started, expected);
}

TEST_F(OpenInProgram, EditOpensThePictureFoundUnderTheBasePathLikeTheDisplay) {
    std::wstring photo = pictures + L"\\under base.svpic";
    WriteBmp(photo, 8, 8, RGB(0, 0, 255));
    EXPECT_EQ(PressEdit(L"Photo: under base.svpic"), std::vector<std::wstring>{}) << "no message";
    EXPECT_EQ(Recorded(), L"\"" + recorder + L"\" \"" + photo + L"\"");
}

TEST_F(OpenInProgram, APictureWhoseContentTypeHasNoProgramIsToldAndNothingStartsWhateverItsName) {
    Dissociate(L".bmp");
    AssociateForTest(L".svpic", Recording(L"\"%1\""));
    WriteBmp(pictures + L"\\plain.svpic", 8, 8, RGB(0, 0, 255));
    EXPECT_EQ(PressEdit(L"Photo: plain.svpic"),
              std::vector<std::wstring>{L"No Application associated with this file type"});
    EXPECT_EQ(Recorded(500), L"");
}

TEST_F(OpenInProgram, AFileFoundNowhereGetsTheDisplaysNotFoundMessage) {
    EXPECT_EQ(PressEdit(L"Photo: gone.svpic", true),
              std::vector<std::wstring>{L"File Name gone.svpic not found. Base Path is " + pictures + L"\\"});
    EXPECT_EQ(Recorded(500), L"");
}

TEST_F(OpenInProgram, ProgramsAndScriptsNamedByAnAttributeAreNeverStarted) {
    // Each would write the record if it ran.
    std::filesystem::copy_file(recorder, pictures + L"\\evil.exe");
    std::filesystem::copy_file(recorder, pictures + L"\\evil.svself");
    WriteBytes(pictures + L"\\evil.bat", "@echo off\r\n");
    const std::pair<std::wstring, std::wstring> cases[] = {{L"evil.exe", L"evil.exe"},
                                                           {L"evil.exe. ", L"evil.exe"},
                                                           {L"evil.bat", L"evil.bat"},
                                                           {L"evil.svself", L"evil.svself"}};
    for (const auto& [name, file] : cases) {
        SCOPED_TRACE(std::filesystem::path(name).string());
        // A type that is not known to run is refused for its content.
        const std::wstring why = file == L"evil.svself" ? L" is not a picture. It is not opened."
                                                        : L" is a program or script. It is not opened.";
        EXPECT_EQ(PressEdit(L"Photo: " + name, true),
                  std::vector<std::wstring>{L"File Name " + pictures + L"\\" + file + why});
    }
    // A picture whose type's command is the file itself.
    AssociateForTest(L".bmp", L"\"%1\"");
    WriteBmp(pictures + L"\\itself.svpic", 8, 8, RGB(0, 0, 255));
    EXPECT_EQ(PressEdit(L"Photo: itself.svpic"),
              std::vector<std::wstring>{L"File Name " + pictures + L"\\itself.svpic is a program or script. It is not opened."});
    EXPECT_EQ(Recorded(1000), L"");
}

TEST_F(OpenInProgram, AProgramThatCannotStartIsReported) {
    AssociateForTest(L".bmp", L"\"C:\\nowhere\\missing-viewer.exe\" \"%1\"");
    WriteBmp(pictures + L"\\lost.svgone", 8, 8, RGB(0, 0, 255));
    auto texts = PressEdit(L"Photo: lost.svgone");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind(L"The program C:\\nowhere\\missing-viewer.exe could not be started for File Name " +
                                 pictures + L"\\lost.svgone.",
                             0),
              0u)
        << std::filesystem::path(texts[0]).string();
}

TEST_F(OpenInProgram, EditPressedManyTimesQuicklyStartsTheProgramEveryTime) {
    std::wstring photo = pictures + L"\\quick.svpic";
    WriteBmp(photo, 8, 8, RGB(0, 0, 255));
    const std::wstring log = folder / L"starts.log";
    SetEnvironmentVariableW(L"SNAPVANE_RECORD_LOG", log.c_str());
    constexpr int kPresses = 80;
    ViewerScript script;
    for (int k = 0; k < kPresses; ++k) script.steps.push_back(ViewerStep::Edit());
    script.steps.push_back(ViewerStep::Exit());
    std::vector<std::wstring> texts;
    {
        ModalWatcher watcher({script});
        viewer->ChooserClear();
        viewer->ChooserAddItem(L"Photo: " + photo);
        viewer->ChooserSetListIndex(0);
        viewer->Show(1);
        texts = watcher.MessageTexts();
    }
    SetEnvironmentVariableW(L"SNAPVANE_RECORD_LOG", nullptr);
    for (const auto& text : texts) ADD_FAILURE() << std::filesystem::path(text).string();
    // Every start adds its line; the last ones may still be on their way.
    int started = 0;
    for (DWORD waited = 0; waited < 30000; waited += 100) {
        std::ifstream file(std::filesystem::path(log), std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        std::string raw = bytes.str();
        std::wstring lines(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
        started = static_cast<int>(std::count(lines.begin(), lines.end(), L'\n'));
        if (started >= kPresses) break;
        Sleep(100);
    }
    EXPECT_EQ(started, kPresses);
}

TEST_F(OpenInProgram, TheProgramGetsTheArgumentsItsAssociationRegistered) {
    AssociateForTest(L".bmp", HostedRecording());
    std::wstring photo = folder / L"hosted.svhost";
    WriteBmp(photo, 8, 8, RGB(0, 0, 255));
    EXPECT_EQ(PressEdit(L"Photo: " + photo), std::vector<std::wstring>{}) << "no message";
    EXPECT_EQ(Recorded(), L"\"" + recorder + L"\" \"C:\\viewers\\photo viewer.dll\", ImageView_Fullscreen " + photo);
}

TEST_F(OpenInProgram, AFileNamedLikeAPictureWhoseContentIsAProgramIsNotOpened) {
    std::filesystem::copy_file(recorder, pictures + L"\\program.svpic");
    EXPECT_EQ(PressEdit(L"Photo: program.svpic", true),
              std::vector<std::wstring>{L"File Name " + pictures + L"\\program.svpic is not a picture. It is not opened."});
    EXPECT_EQ(Recorded(1000), L"");
}

TEST_F(OpenInProgram, AProgramIsNeverTakenFromTheCurrentFolder) {
    // The association names its program without a folder; one of that name
    // waits in the current folder.
    AssociateForTest(L".bmp", bareProgram);
    WriteBmp(pictures + L"\\planted.svbare", 8, 8, RGB(0, 0, 255));
    auto texts = PressEditBesidePlantedProgram(L"Photo: planted.svbare");
    EXPECT_EQ(Recorded(2000), L"") << "the program in the current folder was started";
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(L"could not be started for File Name " + pictures + L"\\planted.svbare."), std::wstring::npos)
        << std::filesystem::path(texts[0]).string();
}

TEST_F(OpenInProgram, APathWithEnvironmentVariablesReachesTheProgramAsItIs) {
    // Wine's shell reads %NAME% in a file's name as an environment variable.
    AssociateForTest(L".bmp", HostedRecording());
    std::wstring photo = pictures + L"\\%PATH% %1.svhost";
    WriteBmp(photo, 8, 8, RGB(0, 0, 255));
    EXPECT_EQ(PressEdit(L"Photo: " + photo), std::vector<std::wstring>{}) << "no message";
    EXPECT_EQ(Recorded(), L"\"" + recorder + L"\" \"C:\\viewers\\photo viewer.dll\", ImageView_Fullscreen " + photo);

    // Started without the shell, a program named without a folder is still
    // not taken from the current folder.
    std::filesystem::remove(record);
    AssociateForTest(L".bmp", bareProgram);
    WriteBmp(pictures + L"\\%PATH%.svbare", 8, 8, RGB(0, 0, 255));
    auto texts = PressEditBesidePlantedProgram(L"Photo: %PATH%.svbare");
    EXPECT_EQ(Recorded(2000), L"") << "the program in the current folder was started";
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(L"could not be started"), std::wstring::npos) << std::filesystem::path(texts[0]).string();
}
