// Scripted sessions of the stand-in host application, end to end: the host
// registers and creates the tool through COM, opens the sample map, presses
// on it, and the log records what a person would have seen.
#include "hostapp/JsonLog.h"
#include "hostapp/Text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using snapvane::hostapp::Json;
using snapvane::hostapp::Utf8;
using snapvane::hostapp::Wide;

namespace {

constexpr char kNoImages[] = "No images found. Select another layer or feature.";
constexpr char kNoApplication[] = "No Application associated with this file type";

std::wstring WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;  // the build machine's root under Wine
    for (char& c : path)
        if (c == '/') c = '\\';
    return Wide(path);
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

struct ScriptRun {
    DWORD exitCode = 0;
    std::vector<Json> lines;

    std::vector<Json> Events(const std::string& event) const {
        std::vector<Json> found;
        for (const Json& line : lines)
            if (line.value("event", "") == event) found.push_back(line);
        return found;
    }
    std::vector<std::string> Texts(const std::string& event) const {
        std::vector<std::string> texts;
        for (const Json& line : Events(event)) texts.push_back(line.value("text", ""));
        return texts;
    }
    // Index of the first line of that event after position start, or -1.
    int Find(const std::string& event, int start = 0) const {
        for (int i = start; i < static_cast<int>(lines.size()); ++i)
            if (lines[i].value("event", "") == event) return i;
        return -1;
    }
};

// Runs the host on a script of tests/hostapp/scripts and reads its log;
// with a folder, the host writes its screenshots there.
ScriptRun RunScript(const std::string& name, const std::wstring& screenshots = L"") {
    const std::wstring script = WindowsPath(std::string(SNAPVANE_HOSTAPP_SCRIPTS) + "/" + name + ".json");
    wchar_t temp[MAX_PATH];
    GetTempPathW(ARRAYSIZE(temp), temp);
    const std::wstring log = std::wstring(temp) + L"snapvane-hostapp-" + Wide(name) + L".log";
    DeleteFileW(log.c_str());
    std::wstring command = L"\"" + ProgramFolder() + L"snapvane_host.exe\" --script \"" + script + L"\" --log \"" + log + L"\"";
    if (!screenshots.empty()) command += L" --screenshots \"" + screenshots + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ScriptRun run;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "snapvane_host.exe cannot be started";
        return run;
    }
    if (WaitForSingleObject(process.hProcess, 90000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 99);
        ADD_FAILURE() << "the scripted run did not end";
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::ifstream in(log.c_str());
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) run.lines.push_back(Json::parse(line));
    return run;
}

// "#rrggbb" colours compare within what JPEG and scaling change.
bool ColourNear(const Json& picture, const char* expected) {
    if (!picture.contains("centre")) return false;
    const std::string actual = picture["centre"].get<std::string>();
    for (int channel = 0; channel < 3; ++channel) {
        long a = std::strtol(actual.substr(1 + channel * 2, 2).c_str(), nullptr, 16);
        long e = std::strtol(std::string(expected).substr(1 + channel * 2, 2).c_str(), nullptr, 16);
        if (std::labs(a - e) > 40) return false;
    }
    return true;
}

std::vector<std::string> Entries(const Json& viewer) {
    return viewer["chooser"]["entries"].get<std::vector<std::string>>();
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(HostApp, ToolIsCreatedThroughComWithItsIdentity) {
    ScriptRun run = RunScript("nothing-found");
    auto tool = run.Events("tool");
    ASSERT_EQ(tool.size(), 1u);
    EXPECT_EQ(tool[0]["caption"], "Picture Display");
    EXPECT_EQ(tool[0]["category"], "Tellurix");
    EXPECT_EQ(tool[0]["name"], "PictureDisplay");
    EXPECT_EQ(tool[0]["tooltip"], "Displays all pictures associated with the selected feature.");
    EXPECT_EQ(tool[0]["bitmap"]["width"], 16);
    EXPECT_EQ(tool[0]["cursor"], true);
}

TEST(HostApp, PressWhereNoFeatureNamesPicturesSaysSoWhateverTheButton) {
    // Empty map, a layer inside a group, a non-selectable layer, a feature
    // without pictures: each press tells the user once and opens no viewer.
    ScriptRun run = RunScript("nothing-found");
    EXPECT_EQ(run.exitCode, 0u);
    auto boxes = run.Events("message_box");
    ASSERT_EQ(boxes.size(), 4u);
    for (const Json& box : boxes) {
        EXPECT_EQ(box["title"], "Snapvane");
        EXPECT_EQ(box["text"], kNoImages);
    }
    EXPECT_TRUE(run.Events("viewer").empty());
    for (const Json& result : run.Events("press_result")) EXPECT_EQ(result["hresult"], "0x00000000");
}

TEST(HostApp, PicturesOfTwoLayersAreListedInLayerOrderWithTheLastLayersFolder) {
    ScriptRun run = RunScript("two-layers");
    EXPECT_EQ(run.exitCode, 0u);
    auto viewers = run.Events("viewer");
    ASSERT_EQ(viewers.size(), 3u);
    EXPECT_EQ(viewers[0]["title"], "Display Picture Attributes");
    EXPECT_EQ(Entries(viewers[0]), (std::vector<std::string>{"Photo: track-a.gif", "Start photo: track-a-start.bmp",
                                                             "Plot photo: plot-north.jpg", "Plot plan: plot-north.bmp"}));
    EXPECT_EQ(viewers[0]["chooser"]["enabled"], true);
    // The attributes are the last found feature's: the plot.
    EXPECT_EQ(viewers[0]["attributes"][0]["caption"], "ID");
    EXPECT_EQ(viewers[0]["attributes"][0]["value"], "P-North");
    EXPECT_EQ(viewers[0]["attributes"][4]["value"], "Meadow, mown in June");
    EXPECT_EQ(viewers[0]["attributes"][2]["in_use"], false);
    // The transect's pictures are looked for under the plots' folder only.
    auto boxes = run.Events("message_box");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[0]["text"].get<std::string>().find("File Name track-a.gif not found. Base Path is "), std::string::npos);
    EXPECT_TRUE(EndsWith(boxes[0]["text"], "\\field-survey\\plots\\"));
    EXPECT_EQ(viewers[0]["picture"]["empty"], true);
    // The plot's bitmap shows, scaled up into the picture area.
    EXPECT_EQ(viewers[2]["chooser"]["text"], "Plot plan: plot-north.bmp");
    EXPECT_EQ(viewers[2]["picture"]["empty"], false);
    EXPECT_GT(viewers[2]["picture"]["width"].get<int>(), 400);
    EXPECT_TRUE(ColourNear(viewers[2]["picture"], "#806020")) << viewers[2]["picture"].dump();
    EXPECT_EQ(run.Events("viewer_closed").size(), 1u);
    ASSERT_EQ(run.Events("press_result").size(), 1u);
    EXPECT_EQ(run.Events("press_result")[0]["hresult"], "0x00000000");
}

TEST(HostApp, MissingPictureIsReportedBeforeTheViewerAndOthersStillShow) {
    ScriptRun run = RunScript("missing-picture");
    EXPECT_EQ(run.exitCode, 0u);
    const int box = run.Find("message_box");
    const int shown = run.Find("viewer");
    ASSERT_GE(box, 0);
    ASSERT_GT(shown, box);
    const std::string text = run.lines[box]["text"];
    EXPECT_EQ(text.rfind("File Name site03.jpg not found. Base Path is ", 0), 0u) << text;
    EXPECT_TRUE(EndsWith(text, "\\field-survey\\points\\"));
    const Json& viewer = run.lines[shown];
    EXPECT_EQ(viewer["picture"]["empty"], true);
    EXPECT_EQ(viewer["attributes"][0]["value"], "S-03");
    EXPECT_EQ(viewer["attributes"][1]["caption"], "Altitude");
    EXPECT_EQ(viewer["attributes"][3]["caption"], "Latitude");
    // The second entry is found as written, relative to the working folder.
    auto viewers = run.Events("viewer");
    ASSERT_EQ(viewers.size(), 2u);
    EXPECT_EQ(viewers[1]["chooser"]["text"], "Sketch: field-survey\\shared\\overview.jpg");
    EXPECT_TRUE(ColourNear(viewers[1]["picture"], "#f0d000")) << viewers[1]["picture"].dump();
    // Closed through the title bar: the click ends normally.
    EXPECT_EQ(run.Events("viewer_closed").size(), 1u);
    EXPECT_EQ(run.Events("press_result")[0]["hresult"], "0x00000000");
}

TEST(HostApp, EditStartsTheAssociatedProgramOrSaysThereIsNone) {
    ScriptRun run = RunScript("edit-starts-program");
    EXPECT_EQ(run.exitCode, 0u);
    auto started = run.Events("program_started");
    ASSERT_GE(started.size(), 1u);
    const std::string commandLine = started[0]["command_line"];
    EXPECT_NE(commandLine.find("record_command_line.exe"), std::string::npos) << commandLine;
    EXPECT_NE(commandLine.find("field-survey\\shared\\overview.jpg"), std::string::npos) << commandLine;
    // A type without a program: the user is told and nothing starts.
    std::vector<std::string> texts;
    for (const Json& box : run.Events("message_box")) texts.push_back(box["text"]);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].rfind("File Name site03.jpg not found.", 0), 0u);
    EXPECT_EQ(texts[1], kNoApplication);
    for (const Json& program : started)
        EXPECT_EQ(program["command_line"].get<std::string>().find(".gif"), std::string::npos);
}

TEST(HostApp, OnCreateWithAnotherObjectShowsTheReportAndKeepsTheApplication) {
    ScriptRun run = RunScript("trapped-error");
    EXPECT_EQ(run.exitCode, 0u);
    auto reports = run.Events("call_stack_report");
    ASSERT_EQ(reports.size(), 1u);
    const std::string report = reports[0]["text"];
    EXPECT_EQ(report.rfind("Record Call Stack Sequence - Bottom line is error line.\r\n\r\n"
                           "\tICommand_OnCreate C:\\GIS\\Source\\Snapvane\\Icommand \r\n", 0), 0u) << report;
    EXPECT_NE(report.find("Error Number \r\n\t13\r\n"), std::string::npos) << report;
    ASSERT_EQ(run.Events("on_create_result").size(), 1u);
    EXPECT_EQ(run.Events("on_create_result")[0]["hresult"], "0x00000000");
    // The tool kept the map's application, so the click still works.
    auto presses = run.Events("press_result");
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_EQ(presses[0]["hresult"], "0x00000000");
    auto deactivated = run.Events("deactivate_result");
    ASSERT_EQ(deactivated.size(), 1u);
    EXPECT_EQ(deactivated[0]["complete"], true);
    auto found = run.Events("find_layer_result");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]["hresult"], "0x00000000");
    EXPECT_EQ(found[0]["layer"], "Plots");
}

// Width, height and the number of distinct colours of a 24-bit BMP file, or
// zeros when it is none.
struct BitmapSummary {
    long width = 0, height = 0;
    size_t colours = 0;
};
BitmapSummary ReadBitmap(const std::wstring& path) {
    BitmapSummary summary;
    std::ifstream in(path.c_str(), std::ios::binary);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    if (!in.read(reinterpret_cast<char*>(&file), sizeof file) || file.bfType != 0x4D42) return summary;
    if (!in.read(reinterpret_cast<char*>(&info), sizeof info) || info.biBitCount != 24) return summary;
    std::vector<unsigned char> pixels(info.biSizeImage);
    in.seekg(file.bfOffBits);
    if (!in.read(reinterpret_cast<char*>(pixels.data()), pixels.size())) return summary;
    std::vector<unsigned long> seen;
    const long stride = (info.biWidth * 3 + 3) & ~3;
    for (long y = 0; y < info.biHeight && seen.size() < 8; ++y)
        for (long x = 0; x < info.biWidth; ++x) {
            const unsigned char* p = &pixels[y * stride + x * 3];
            unsigned long colour = p[0] | (p[1] << 8) | (p[2] << 16);
            if (std::find(seen.begin(), seen.end(), colour) == seen.end()) seen.push_back(colour);
        }
    summary.width = info.biWidth;
    summary.height = info.biHeight;
    summary.colours = seen.size();
    return summary;
}

TEST(HostApp, ScreenshotsShowTheMapTheViewerEveryMessageBoxAndEveryReport) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(ARRAYSIZE(temp), temp);
    const std::wstring folder = std::wstring(temp) + L"snapvane-hostapp-screenshots";
    for (const wchar_t* name : {L"map", L"viewer-1", L"message-1", L"report-1"})
        DeleteFileW((folder + L"\\" + name + L".bmp").c_str());
    ScriptRun missing = RunScript("missing-picture", folder);
    ScriptRun trapped = RunScript("trapped-error", folder);
    EXPECT_EQ(missing.exitCode, 0u);
    EXPECT_EQ(trapped.exitCode, 0u);
    // Each is the window as a person saw it: a frame, a text, not one colour.
    for (const wchar_t* name : {L"map", L"viewer-1", L"message-1", L"report-1"}) {
        BitmapSummary shot = ReadBitmap(folder + L"\\" + name + L".bmp");
        EXPECT_GE(shot.width, 100) << Utf8(name);
        EXPECT_GE(shot.height, 50) << Utf8(name);
        EXPECT_GE(shot.colours, 3u) << Utf8(name);
    }
    std::vector<std::string> written;
    for (const Json& line : missing.Events("screenshot")) written.push_back(line["path"]);
    ASSERT_EQ(written.size(), 3u);  // the map, the message before the viewer, the viewer
    EXPECT_TRUE(EndsWith(written[1], "\\message-1.bmp")) << written[1];
    EXPECT_TRUE(EndsWith(written[2], "\\viewer-1.bmp")) << written[2];
}

TEST(HostApp, FailedClickShowsItsHresultAndDescriptionInTheStatusBar) {
    // A feature with more picture names than the tool's list holds: the click
    // fails inside the tool, which reports nothing itself; the host shows it.
    ScriptRun run = RunScript("failed-click");
    EXPECT_EQ(run.exitCode, 0u);
    auto presses = run.Events("press_result");
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_EQ(presses[0]["hresult"], "0x800A0009");
    EXPECT_EQ(presses[0]["description"], "Subscript out of range");
    EXPECT_EQ(presses[0]["status"], "Picture Display: the click failed (0x800A0009): Subscript out of range");
    EXPECT_TRUE(run.Events("viewer").empty());
    EXPECT_TRUE(run.Events("message_box").empty());
    EXPECT_TRUE(run.Events("call_stack_report").empty());
}

TEST(HostApp, BadMapDocumentGivesOneClearMessageAndAnOrderlyEnd) {
    ScriptRun run = RunScript("bad-map");
    EXPECT_EQ(run.exitCode, 1u);
    auto boxes = run.Events("message_box");
    ASSERT_EQ(boxes.size(), 1u);
    const std::string text = boxes[0]["text"];
    EXPECT_NE(text.find("cannot be opened"), std::string::npos) << text;
    EXPECT_NE(text.find("lost.geojson"), std::string::npos) << text;
    EXPECT_TRUE(run.Events("press_result").empty());
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back()["event"], "end");
}

TEST(HostApp, APictureThatCannotBeShownLeavesNoEarlierPictureInTheLog) {
    // S-03: a missing picture and one that shows. Each time the missing one
    // or an empty text is chosen after the other, the area is read empty.
    ScriptRun run = RunScript("stale-picture");
    EXPECT_EQ(run.exitCode, 0u);
    auto viewers = run.Events("viewer");
    ASSERT_EQ(viewers.size(), 7u);
    const bool shown[] = {false, true, false, true, false, true, false};
    for (size_t k = 0; k < viewers.size(); ++k) {
        SCOPED_TRACE(viewers[k].dump());
        EXPECT_EQ(viewers[k]["picture"]["empty"], !shown[k]);
    }
    EXPECT_EQ(viewers[4]["chooser"]["text"], "");
    // The second press shows its first entry, which is missing, after Exit.
    EXPECT_EQ(viewers[6]["when"], "shown");
}

TEST(HostApp, APressAtADevicePixelReachesThePointTheDocumentsViewImplies) {
    // 400 x 300 pixels over 400 x 600 map units: x one unit a pixel, y two.
    ScriptRun run = RunScript("document-view");
    EXPECT_EQ(run.exitCode, 0u);
    auto opened = run.Events("map_opened");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0]["view"]["width"], 400);
    EXPECT_EQ(opened[0]["view"]["height"], 300);
    EXPECT_EQ(opened[0]["view"]["extent"]["ymax"], 5600.0);
    EXPECT_EQ(opened[0]["canvas"]["width"], 400);
    EXPECT_EQ(opened[0]["canvas"]["height"], 300);
    // (100, 60) is map (1100, 5480), M-1; (300, 225) is (1300, 5150), M-2;
    // (100, 61) is two units below M-1, beyond the tolerance of one.
    auto viewers = run.Events("viewer");
    ASSERT_EQ(viewers.size(), 3u);
    EXPECT_EQ(viewers[0]["attributes"][0]["value"], "M-1");
    EXPECT_EQ(viewers[1]["attributes"][0]["value"], "M-2");
    EXPECT_EQ(viewers[2]["attributes"][0]["value"], "M-2");
    auto presses = run.Events("press_result");
    ASSERT_EQ(presses.size(), 4u);
    EXPECT_EQ(presses[3]["x"], 300);
    EXPECT_EQ(presses[3]["y"], 225);
    std::vector<std::string> texts = run.Texts("message_box");
    EXPECT_EQ(std::count(texts.begin(), texts.end(), kNoImages), 1);
}

TEST(HostApp, ValuesOfAnotherTypeThanTheirFieldReachTheToolAsTheirOwnType) {
    ScriptRun run = RunScript("host-data");
    EXPECT_EQ(run.exitCode, 0u);
    auto viewers = run.Events("viewer");
    ASSERT_GE(viewers.size(), 1u);
    // Only text fields are looked at for pictures: the text in the integer
    // field SCAN names none, and neither does the number in PHOTO of T-2.
    EXPECT_EQ(Entries(viewers[0]), (std::vector<std::string>{"Photo: field-survey\\shared\\overview.jpg"}));
    const Json& pairs = viewers[0]["attributes"];
    EXPECT_EQ(pairs[0]["value"], "7");             // an integer in a text field
    EXPECT_EQ(pairs[1]["value"], "about 120 m");   // a text in an integer field
    EXPECT_FALSE(pairs[4]["value"].get<std::string>().empty());  // a date in a text field
    EXPECT_EQ(viewers[0]["picture"]["empty"], false);
    auto presses = run.Events("press_result");
    ASSERT_EQ(presses.size(), 3u);
    EXPECT_EQ(presses[0]["hresult"], "0x00000000");
    EXPECT_EQ(presses[1]["hresult"], "0x00000000");
    EXPECT_EQ(run.Texts("message_box"), (std::vector<std::string>{kNoImages}));
}

TEST(HostApp, FeaturesOfAClassThatIsNoFeatureClassAreSearchedAndMakeTheToolsStepsFail) {
    // The tool takes a feature's class as a feature class, in the search and
    // in FindLayer: such a class is a type mismatch (13) in both.
    ScriptRun run = RunScript("host-data");
    auto presses = run.Events("press_result");
    ASSERT_EQ(presses.size(), 3u);
    EXPECT_EQ(presses[2]["hresult"], "0x800A000D");
    EXPECT_EQ(presses[2]["description"], "Type mismatch");
    auto found = run.Events("find_layer_result");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0]["hresult"], "0x00000000");
    EXPECT_EQ(found[0]["layer"], "Typed values");
    EXPECT_EQ(found[1]["hresult"], "0x800A000D");
    EXPECT_EQ(found[1]["layer"], nullptr);
    EXPECT_TRUE(run.Events("call_stack_report").empty());
}

TEST(HostApp, ARunMayStartBeforeOnCreateAndCallItInALaterStep) {
    ScriptRun run = RunScript("on-create-later");
    EXPECT_EQ(run.exitCode, 0u);
    auto presses = run.Events("press_result");
    ASSERT_EQ(presses.size(), 2u);
    // Without the application the press fails and shows nothing.
    EXPECT_NE(presses[0]["hresult"], "0x00000000");
    EXPECT_FALSE(presses[0]["description"].get<std::string>().empty());
    const int firstPress = run.Find("press_result");
    const int onCreate = run.Find("on_create_result");
    ASSERT_GT(onCreate, firstPress);
    EXPECT_EQ(run.Find("viewer"), run.Find("viewer", onCreate));
    // FindLayer and Deactivate need no application.
    auto found = run.Events("find_layer_result");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]["layer"], "Typed values");
    ASSERT_EQ(run.Events("deactivate_result").size(), 1u);
    EXPECT_EQ(run.Events("deactivate_result")[0]["complete"], true);
    EXPECT_EQ(run.lines[onCreate]["hresult"], "0x00000000");
    EXPECT_EQ(presses[1]["hresult"], "0x00000000");
    EXPECT_EQ(run.Events("viewer").size(), 1u);
}

} // namespace
