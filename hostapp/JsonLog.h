// The log of a scripted run: one JSON object per line, written as each thing
// happens. The user-interface thread and the script driver both write to it.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdio>
#include <mutex>
#include <string>

namespace snapvane::hostapp {

using Json = nlohmann::ordered_json;

class JsonLog {
public:
    JsonLog() = default;
    JsonLog(const JsonLog&) = delete;
    JsonLog& operator=(const JsonLog&) = delete;
    ~JsonLog();

    // Opens (and empties) the log file; false when it cannot be created.
    bool Open(const std::wstring& path);
    bool IsOpen() const noexcept { return file_ != nullptr; }

    // Writes one line: {"event": event, ...fields}. Does nothing when no log
    // is open, so an interactive run needs no checks.
    void Write(const std::string& event, Json fields = Json::object());

private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

} // namespace snapvane::hostapp
