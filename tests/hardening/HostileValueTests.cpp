// Attribute values a real map can hold, pressed through the real DLL: huge,
// with NUL characters, in any script, long and network paths, patterns,
// devices, and values that are no text at all. Each press must come back,
// tell the user plainly, and show nothing that belongs to another feature.
// Edit must hand the associated program exactly one argument, the file's
// path, whatever characters the name holds, and never start a program named
// by an attribute.
#include "tool/ToolFixture.h"

#include "../viewer/ViewerPictures.h"
#include "support/PictureFiles.h"

#include <shellapi.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace snapvane::test {
namespace {

constexpr wchar_t kNothingFound[] = L"No images found. Select another layer or feature.";
constexpr DWORD kPressBoundMs = 5000;

// What one press showed, with the defaults of the watcher as the person's
// answers (OK, Exit).
struct PressSeen {
    HRESULT result = E_FAIL;
    DWORD ms = 0;
    std::vector<std::wstring> messages;
    bool viewerShown = false;
    std::vector<std::wstring> entries;
    bool pictureShown = false;
};

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text.substr(0, 200)) out += c < 128 && c >= 32 ? static_cast<char>(c) : '?';
    return out;
}

class HostileValues : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        Connect();
        folder = TestFolder(L"snapvane-hostile");
        workspace = folder.substr(0, folder.size() - 1);  // the tool adds the separator
        WriteBmp(folder + L"neighbour.bmp", 16, 16, RGB(0, 255, 0));
        // A neighbour just outside the search square of every press, with a
        // picture of its own: it must never be listed.
        auto neighbours = host->NewFeatureClass(L"Neighbours", {{L"PHOTO", L"Photo", FieldType::Text}}, workspace);
        for (int k = 0; k < 40; ++k) neighbours.AddFeature(Shape::Point(Spot(k).x + 3, Spot(k).y), {L"neighbour.bmp"});
        host->AddFeatureLayer(L"Neighbours", neighbours);
        hostile = std::make_unique<standin::FeatureClass>(host->NewFeatureClass(
            L"Hostile",
            {{L"PHOTO", L"Photo", FieldType::Text}, {L"NUM", L"Number", FieldType::Double},
             {L"WHEN", L"Taken", FieldType::Date}},
            workspace));
        host->AddFeatureLayer(L"Hostile", *hostile);
    }
    void TearDown() override {
        hostile.reset();
        ToolTest::TearDown();
    }

    static standin::MapPoint Spot(int k) { return {5.0 + (k % 9) * 10, 5.0 + (k / 9) * 10}; }

    // Adds a feature with the values at the next spot and presses on it.
    PressSeen PressOn(std::vector<Value> values) {
        int k = next_++;
        hostile->AddFeature(Shape::Point(Spot(k).x, Spot(k).y), std::move(values));
        ModalWatcher watcher;
        PressSeen seen;
        DWORD start = GetTickCount();
        seen.result = PressAt(Spot(k).x, Spot(k).y);
        seen.ms = GetTickCount() - start;
        for (const SeenWindow& window : watcher.Seen()) {
            if (window.kind == SeenWindow::Kind::MessageBox) seen.messages.push_back(window.text);
            if (window.kind == SeenWindow::Kind::Viewer && window.moment == L"shown") {
                seen.viewerShown = true;
                seen.entries = window.viewer.entries;
                seen.pictureShown = window.viewer.pictureShown;
            }
        }
        return seen;
    }

    // A press on a feature whose picture cannot be shown: the viewer lists
    // only that feature's entry, shows no picture, and names the file (and,
    // when it is nowhere, the base path). Long texts are compared, not printed.
    void ExpectRefused(const std::wstring& value, const std::wstring& shownName, bool mayBeUnreadable = false,
                       DWORD boundMs = kPressBoundMs) {
        SCOPED_TRACE(Narrow(value));
        PressSeen seen = PressOn({value});
        EXPECT_EQ(seen.result, S_OK);
        EXPECT_LT(seen.ms, boundMs);
        EXPECT_TRUE(seen.viewerShown);
        EXPECT_FALSE(seen.pictureShown);
        ASSERT_EQ(seen.entries.size(), 1u);
        EXPECT_EQ(seen.entries[0].find(L"neighbour"), std::wstring::npos);
        ASSERT_EQ(seen.messages.size(), 1u);
        const std::wstring& message = seen.messages[0];
        bool notFound = message == L"File Name " + shownName + L" not found. Base Path is " + folder;
        bool unreadable = mayBeUnreadable && message.rfind(L"File Name ", 0) == 0 &&
                          message.find(L"could not be read as a picture.") != std::wstring::npos;
        EXPECT_TRUE(notFound || unreadable) << Narrow(message);
    }
    void ExpectNotFound(const std::wstring& value, const std::wstring& shownName, DWORD boundMs = kPressBoundMs) {
        ExpectRefused(value, shownName, false, boundMs);
    }

    void ExpectNothingFound(std::vector<Value> values, const char* what) {
        SCOPED_TRACE(what);
        PressSeen seen = PressOn(std::move(values));
        EXPECT_EQ(seen.result, S_OK);
        EXPECT_FALSE(seen.viewerShown);
        EXPECT_EQ(seen.messages, std::vector<std::wstring>{kNothingFound});
    }

    std::wstring folder;     // ends in a separator
    std::wstring workspace;  // the same without it
    std::unique_ptr<standin::FeatureClass> hostile;

private:
    int next_ = 0;
};

TEST_F(HostileValues, HugeAndOddTextsAreNamedInTheNotFoundMessage) {
    std::wstring huge(1 << 20, L'x');
    huge += L".jpg";
    // A message box of a million characters takes Wine a while to lay out.
    ExpectNotFound(huge, huge, 30000);
    ExpectNotFound(L"line\r\nbreak.jpg", L"line\r\nbreak.jpg");
    ExpectNotFound(L"\\\\nohost\\share\\photo.jpg", L"\\\\nohost\\share\\photo.jpg");
    std::wstring deep = L"C:\\" + std::wstring(40000, L'd') + L"\\photo.jpg";
    ExpectNotFound(deep, deep);
}

TEST_F(HostileValues, AValueWithANulCharacterNeverReachesAnotherFeaturesPicture) {
    // The list shows the text up to the NUL; what follows must not be used.
    std::wstring value(L"gone.jpg\0neighbour.bmp", 22);
    ExpectNotFound(value, L"gone.jpg");
}

TEST_F(HostileValues, PatternsAndDevicesAreNotTakenForFiles) {
    WriteBmp(folder + L"soak.bmp", 8, 8, RGB(255, 0, 0));
    for (const wchar_t* name : {L"*.bmp", L"soa?.bmp"}) ExpectNotFound(name, name);
    // A device is either not found or opened and found to be no picture file;
    // it is never read from.
    for (const wchar_t* name : {L"CON.jpg", L"NUL.bmp", L"COM1.gif", L"\\\\.\\CON.jpg"}) ExpectRefused(name, name, true);
}

TEST_F(HostileValues, NamesInAnyScriptAndBeyondMaxPathAreShown) {
    std::wstring unicode = L"\u5199\u771f \U0001F600 \u0444\u043e\u0442\u043e.bmp";
    WriteBmp(folder + unicode, 8, 8, RGB(255, 0, 0));
    std::wstring longFolder = folder + std::wstring(120, L'a') + L"\\" + std::wstring(120, L'b');
    ASSERT_TRUE(std::filesystem::create_directories(L"\\\\?\\" + longFolder) || std::filesystem::exists(L"\\\\?\\" + longFolder));
    std::wstring longPath = longFolder + L"\\" + std::wstring(60, L'c') + L".bmp";
    ASSERT_GT(longPath.size(), static_cast<size_t>(MAX_PATH));
    WriteBmp(L"\\\\?\\" + longPath, 8, 8, RGB(255, 0, 0));
    for (const std::wstring& value : {unicode, folder + unicode, longPath}) {
        SCOPED_TRACE(Narrow(value));
        PressSeen seen = PressOn({value});
        EXPECT_EQ(seen.result, S_OK);
        EXPECT_TRUE(seen.messages.empty()) << Narrow(seen.messages.empty() ? L"" : seen.messages[0]);
        EXPECT_EQ(seen.entries, std::vector<std::wstring>{L"Photo: " + value});
        EXPECT_TRUE(seen.pictureShown);
    }
}

TEST_F(HostileValues, NullEmptyNumbersAndDatesNameNoPicture) {
    ExpectNothingFound({Value::Null(), Value::Null(), Value::Null()}, "all null");
    ExpectNothingFound({L"", 0.0, Value::Date(0)}, "empty text, zero, date zero");
    ExpectNothingFound({Value(7), 1e308, Value::Date(2958465.0)}, "a number in the text field, huge, last date");
    ExpectNothingFound({L".jpeg", -1.0, Value::Date(-657434.0)}, "no marker, negative, first date");
}

// ---- Edit -----------------------------------------------------------------

// The pictures are bitmaps, so the recording program is the one of ".bmp";
// their names end in a type of the tests' own, which chooses nothing.
const HKEY kAssociationRoot = HKEY_LOCAL_MACHINE;
constexpr wchar_t kType[] = L".svhard";
constexpr wchar_t kTypeKey[] = L"Software\\Classes\\.bmp";
constexpr wchar_t kProgIdKey[] = L"Software\\Classes\\SnapvaneHardening.bmp";

void SetDefaultValue(const std::wstring& key, const std::wstring& value) {
    HKEY opened = nullptr;
    ASSERT_EQ(RegCreateKeyExW(kAssociationRoot, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    return std::filesystem::path(path).parent_path().wstring();
}

class EditHostileNames : public HostileValues {
protected:
    void SetUp() override {
        HostileValues::SetUp();
        recorder = ProgramFolder() + L"\\viewer_record_command_line.exe";
        record = folder + L"hardening-record.txt";
        SetEnvironmentVariableW(L"SNAPVANE_RECORD_FILE", record.c_str());
        SetDefaultValue(kTypeKey, L"SnapvaneHardening.bmp");
        SetDefaultValue(std::wstring(kProgIdKey) + L"\\shell\\open\\command", L"\"" + recorder + L"\" \"%1\"");
    }
    void TearDown() override {
        RegDeleteTreeW(kAssociationRoot, kTypeKey);
        RegDeleteTreeW(kAssociationRoot, kProgIdKey);
        SetEnvironmentVariableW(L"SNAPVANE_RECORD_FILE", nullptr);
        HostileValues::TearDown();
    }

    // Presses on a feature naming the value, then Edit and Exit in the viewer.
    // The messages shown, besides the display's own complaint about content.
    std::vector<std::wstring> PressEdit(const std::wstring& value) {
        DeleteFileW(record.c_str());
        int k = nextEdit_++;
        standin::MapPoint spot = Spot(k);
        hostile->AddFeature(Shape::Point(spot.x, spot.y), {value});
        ModalWatcher watcher({Answer::Viewer({ViewerStep::Edit(), ViewerStep::Exit()})});
        EXPECT_EQ(PressAt(spot.x, spot.y), S_OK);
        std::vector<std::wstring> messages;
        for (const std::wstring& text : watcher.MessageTexts())
            if (text.find(L"could not be read as a picture") == std::wstring::npos) messages.push_back(text);
        return messages;
    }

    // The recording program's command line split as a program's C runtime
    // splits it; empty when nothing was started.
    std::vector<std::wstring> RecordedArguments(DWORD waitMs) {
        // The record appears whole, but under Wine a reader may find it for a
        // moment before it can be opened: read again until it says something.
        std::wstring line;
        for (DWORD waited = 0; waited < waitMs && line.empty(); waited += 50) {
            line = ReadRecord();
            if (line.empty()) Sleep(50);
        }
        if (line.empty()) return {};
        int count = 0;
        wchar_t** words = CommandLineToArgvW(line.c_str(), &count);
        std::vector<std::wstring> arguments(words, words + count);
        LocalFree(words);
        return arguments;
    }

    std::wstring ReadRecord() const {
        std::ifstream file(std::filesystem::path(record), std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        const std::string raw = bytes.str();
        return std::wstring(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
    }

    std::wstring recorder;
    std::wstring record;

private:
    int nextEdit_ = 20;
};

TEST_F(EditHostileNames, TheProgramGetsExactlyOneArgumentThePathWhateverTheNameHolds) {
    std::wstring odd = folder + L"odd & 100% ^ (names) \u5199\u771f\\";
    std::filesystem::create_directories(odd);
    const std::wstring names[] = {L"photo with blanks.jpg",   L"it's.jpg",     L"100%.jpg",
                                  L"%PATH% %1.jpg",           L"a&b&&c.jpg",   L"caret^^^.jpg",
                                  L"semi;colon,comma=eq.jpg", L"!bang!.jpg",   L"\u5199\u771f \U0001F600.jpg",
                                  L"  leading blanks.jpg",    L"back`tick $(x).jpg"};
    int passed = 0, cases = 0;
    for (const std::wstring& name : names) {
        for (bool absolute : {true, false}) {
            // Relative names are found under the layer's folder, absolute ones
            // sit in a folder with odd characters of its own.
            std::wstring file = (absolute ? odd : folder) + name + kType;
            WriteBmp(file, 8, 8, RGB(0, 0, 255));
            SCOPED_TRACE(Narrow(file));
            ++cases;
            std::vector<std::wstring> messages = PressEdit(absolute ? file : name + kType);
            EXPECT_TRUE(messages.empty()) << Narrow(messages.empty() ? L"" : messages[0]);
            std::vector<std::wstring> arguments = RecordedArguments(15000);
            EXPECT_EQ(arguments.size(), 2u);
            if (arguments.size() == 2 && arguments[1] == file) ++passed;
            else ADD_FAILURE() << "argument: " << Narrow(arguments.size() > 1 ? arguments[1] : L"(none)");
        }
    }
    std::printf("edit: %d of %d hostile names reached the program as one argument equal to the path\n", passed,
                cases);
    EXPECT_EQ(passed, cases);
}

TEST_F(EditHostileNames, ProgramsAndScriptsNamedLikePicturesAreRefused) {
    std::filesystem::copy_file(recorder, folder + L"photo.jpg.exe", std::filesystem::copy_options::overwrite_existing);
    for (const wchar_t* name : {L"photo.jpg.exe", L"photo.jpg.CMD", L"photo.jpg.js", L"photo.jpg.lnk", L"photo.jpg.hta",
                                L"photo.jpg.exe .", L"photo.jpg.ps1"}) {
        SCOPED_TRACE(Narrow(name));
        std::wstring stored = name;
        while (stored.back() == L'.' || stored.back() == L' ') stored.pop_back();
        if (GetFileAttributesW((folder + stored).c_str()) == INVALID_FILE_ATTRIBUTES)
            WriteFileBytes(folder + stored, "echo started > x\r\n");
        std::vector<std::wstring> messages = PressEdit(name);
        EXPECT_EQ(messages, std::vector<std::wstring>{L"File Name " + folder + stored +
                                                      L" is a program or script. It is not opened."});
    }
    EXPECT_TRUE(RecordedArguments(1000).empty()) << "a program was started";
}

} // namespace
} // namespace snapvane::test
