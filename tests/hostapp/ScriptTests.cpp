// Reading scripts: what a script says becomes steps, and a script that cannot
// be played is refused with a message that names the problem.
#include "hostapp/Script.h"
#include "hostapp/Text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>

using namespace snapvane::hostapp;

namespace {

// Writes a script into the temporary folder and reads it back.
Script LoadText(const std::string& text) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(ARRAYSIZE(folder), folder);
    const std::wstring path = std::wstring(folder) + L"snapvane-script-test.json";
    std::FILE* file = _wfopen(path.c_str(), L"wb");
    std::fputs(text.c_str(), file);
    std::fclose(file);
    return LoadScript(path);
}

std::string Problem(const std::string& text) {
    try {
        LoadText(text);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

TEST(Script, StepsAndViewerActionsAreReadInOrder) {
    Script script = LoadText(R"({"map": "maps/town.json", "recorded_types": [".jpg"],
        "steps": [{"do": "press", "map": [10.5, 20], "button": 2, "shift": 5,
                   "viewer": [{"choose": 2}, {"type": "a b.jpg"}, "edit", "close", "exit"]},
                  {"do": "press", "x": 3, "y": 4},
                  {"do": "tolerance", "value": 0},
                  {"do": "find_layer", "layer": "Sites"}]})");
    EXPECT_TRUE(script.mapDocument.size() > 14 &&
                script.mapDocument.compare(script.mapDocument.size() - 14, 14, L"maps\\town.json") == 0);
    ASSERT_EQ(script.recordedTypes.size(), 1u);
    ASSERT_EQ(script.steps.size(), 4u);
    const Step& press = script.steps[0];
    ASSERT_TRUE(press.mapPosition.has_value());
    EXPECT_DOUBLE_EQ(press.mapPosition->first, 10.5);
    EXPECT_EQ(press.button, 2);
    EXPECT_EQ(press.shift, 5);
    ASSERT_EQ(press.viewer.size(), 5u);
    EXPECT_EQ(press.viewer[0].kind, ViewerAction::Kind::Choose);
    EXPECT_EQ(press.viewer[0].entry, 2);
    EXPECT_EQ(press.viewer[1].text, L"a b.jpg");
    EXPECT_EQ(press.viewer[3].kind, ViewerAction::Kind::Close);
    // A device press defaults to a plain left press.
    EXPECT_FALSE(script.steps[1].mapPosition.has_value());
    EXPECT_EQ(script.steps[1].x, 3);
    EXPECT_EQ(script.steps[1].button, 1);
    EXPECT_EQ(script.steps[1].shift, 0);
    EXPECT_EQ(script.steps[3].feature, 0);
}

TEST(Script, UnplayableScriptsAreRefusedWithTheReason) {
    EXPECT_NE(Problem("{\"map\": ").find("not valid JSON"), std::string::npos);
    EXPECT_NE(Problem(R"({"steps": []})").find("not a valid script"), std::string::npos);
    EXPECT_NE(Problem(R"({"map": "m.json", "steps": [{"do": "dance"}]})").find("unknown step \"dance\""), std::string::npos);
    EXPECT_NE(Problem(R"({"map": "m.json", "steps": [{"do": "press", "x": 1, "y": 2, "viewer": ["wave"]}]})")
                  .find("unknown viewer action"), std::string::npos);
    EXPECT_NE(Problem(R"({"map": "m.json", "recorded_types": ["jpg"]})").find("with its dot"), std::string::npos);
    EXPECT_NE(Problem(R"({"map": "m.json", "steps": [{"do": "press", "x": 1}]})").find("not a valid script"),
              std::string::npos);
}

TEST(Script, MissingScriptFileIsNamed) {
    try {
        LoadScript(L"Z:\\no\\such\\script.json");
        FAIL() << "a missing script was read";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("cannot be read"), std::string::npos);
    }
}

} // namespace
