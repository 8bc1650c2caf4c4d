// A scripted session: which map to open, which file types to hand to the
// recording program, and the steps a person would take, with what to do in
// each window the tool opens. The format is described in
// docs/scripts-and-logs.md.
#pragma once

#include "hostapp/JsonLog.h"

#include <optional>
#include <string>
#include <vector>

namespace snapvane::hostapp {

// One thing to do in the viewer window.
struct ViewerAction {
    enum class Kind { Choose, Type, Edit, Exit, Close } kind = Kind::Exit;
    int entry = 0;       // Choose: 0-based chooser entry
    std::wstring text;   // Type: the text typed over the chooser's text
    Json ToJson() const;
};

struct Step {
    enum class Kind { Press, Tolerance, Deactivate, Activate, OnCreate, OnCreateOther, FindLayer, Screenshot } kind =
        Kind::Press;
    // Press: device position, or a map position converted by the view.
    long x = 0, y = 0, button = 1, shift = 0;
    std::optional<std::pair<double, double>> mapPosition;
    double tolerance = 0;               // Tolerance
    std::wstring layer;                 // FindLayer: layer name
    long feature = 0;                   // FindLayer: feature index in stored order
    std::wstring name;                  // Screenshot: file name without extension
    std::vector<ViewerAction> viewer;   // what to do in the viewer, in order
    Json source;                        // the step as written, for the log
};

struct Script {
    std::wstring mapDocument;           // full path
    std::wstring workingFolder;         // full path; empty: unchanged
    std::vector<std::wstring> recordedTypes;  // extensions such as ".jpg"
    std::vector<std::wstring> unassociatedTypes;
    // The map opens without ICommand::OnCreate; an on_create step calls it.
    bool deferOnCreate = false;
    std::vector<Step> steps;
};

// Reads a script file; relative paths in it are taken from its folder.
// Throws std::runtime_error with a message that names the problem.
Script LoadScript(const std::wstring& path);

// The full path of a file name, taken relative to the given folder.
std::wstring FullPath(const std::wstring& folder, const std::wstring& name);

} // namespace snapvane::hostapp
