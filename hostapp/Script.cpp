#include "hostapp/Script.h"

#include "hostapp/Text.h"

#include <windows.h>
#include <shlwapi.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace snapvane::hostapp {

namespace {

[[noreturn]] void Bad(const std::string& what) { throw std::runtime_error(what); }

std::wstring FolderOf(const std::wstring& path) {
    std::wstring full = FullPath(L"", path);
    return full.substr(0, full.find_last_of(L"\\/") + 1);
}

ViewerAction ParseViewerAction(const Json& item) {
    ViewerAction action;
    if (item.is_string()) {
        const std::string word = item.get<std::string>();
        if (word == "edit") action.kind = ViewerAction::Kind::Edit;
        else if (word == "exit") action.kind = ViewerAction::Kind::Exit;
        else if (word == "close") action.kind = ViewerAction::Kind::Close;
        else Bad("unknown viewer action \"" + word + "\"");
    } else if (item.is_object() && item.contains("choose")) {
        action.kind = ViewerAction::Kind::Choose;
        action.entry = item.at("choose").get<int>();
    } else if (item.is_object() && item.contains("type")) {
        action.kind = ViewerAction::Kind::Type;
        action.text = Wide(item.at("type").get<std::string>());
    } else {
        Bad("a viewer action is \"edit\", \"exit\", \"close\", {\"choose\": k} or {\"type\": text}");
    }
    return action;
}

Step ParseStep(const Json& item) {
    if (!item.is_object() || !item.contains("do")) Bad("every step is an object with \"do\"");
    Step step;
    step.source = item;
    const std::string kind = item.at("do").get<std::string>();
    if (kind == "press") {
        step.kind = Step::Kind::Press;
        if (item.contains("map")) {
            const Json& at = item.at("map");
            step.mapPosition = std::make_pair(at.at(0).get<double>(), at.at(1).get<double>());
        } else {
            step.x = item.at("x").get<long>();
            step.y = item.at("y").get<long>();
        }
        step.button = item.value("button", 1L);
        step.shift = item.value("shift", 0L);
    } else if (kind == "tolerance") {
        step.kind = Step::Kind::Tolerance;
        step.tolerance = item.at("value").get<double>();
    } else if (kind == "deactivate") {
        step.kind = Step::Kind::Deactivate;
    } else if (kind == "activate") {
        step.kind = Step::Kind::Activate;
    } else if (kind == "on_create") {
        step.kind = Step::Kind::OnCreate;
    } else if (kind == "on_create_other") {
        step.kind = Step::Kind::OnCreateOther;
    } else if (kind == "find_layer") {
        step.kind = Step::Kind::FindLayer;
        step.layer = Wide(item.at("layer").get<std::string>());
        step.feature = item.value("feature", 0L);
    } else if (kind == "screenshot") {
        step.kind = Step::Kind::Screenshot;
        step.name = Wide(item.value("name", std::string("map")));
    } else {
        Bad("unknown step \"" + kind + "\"");
    }
    if (item.contains("viewer"))
        for (const Json& action : item.at("viewer")) step.viewer.push_back(ParseViewerAction(action));
    return step;
}

std::vector<std::wstring> Extensions(const Json& list) {
    std::vector<std::wstring> result;
    for (const Json& item : list) {
        std::wstring extension = Wide(item.get<std::string>());
        if (extension.empty() || extension[0] != L'.') Bad("a file type is written with its dot, as \".jpg\"");
        result.push_back(extension);
    }
    return result;
}

} // namespace

Json ViewerAction::ToJson() const {
    switch (kind) {
    case Kind::Choose: return Json{{"choose", entry}};
    case Kind::Type: return Json{{"type", Utf8(text)}};
    case Kind::Edit: return "edit";
    case Kind::Exit: return "exit";
    case Kind::Close: return "close";
    }
    return nullptr;
}

std::wstring FullPath(const std::wstring& folder, const std::wstring& name) {
    std::wstring joined = name;
    if (!folder.empty() && PathIsRelativeW(name.c_str())) joined = folder + name;
    wchar_t full[MAX_PATH * 4];
    DWORD length = GetFullPathNameW(joined.c_str(), ARRAYSIZE(full), full, nullptr);
    if (length == 0 || length >= ARRAYSIZE(full)) return joined;
    return full;
}

Script LoadScript(const std::wstring& path) {
    std::ifstream stream(path.c_str(), std::ios::binary);
    if (!stream) Bad("the script " + Utf8(path) + " cannot be read");
    Json document;
    try {
        document = Json::parse(stream);
    } catch (const Json::exception& error) {
        Bad("the script " + Utf8(path) + " is not valid JSON: " + error.what());
    }
    try {
        const std::wstring folder = FolderOf(path);
        Script script;
        script.mapDocument = FullPath(folder, Wide(document.at("map").get<std::string>()));
        if (document.contains("working_folder"))
            script.workingFolder = FullPath(folder, Wide(document.at("working_folder").get<std::string>()));
        if (document.contains("recorded_types")) script.recordedTypes = Extensions(document.at("recorded_types"));
        if (document.contains("unassociated_types"))
            script.unassociatedTypes = Extensions(document.at("unassociated_types"));
        script.deferOnCreate = document.value("defer_on_create", false);
        for (const Json& item : document.value("steps", Json::array())) script.steps.push_back(ParseStep(item));
        return script;
    } catch (const Json::exception& error) {
        Bad("the script " + Utf8(path) + " is not a valid script: " + error.what());
    }
}

} // namespace snapvane::hostapp
