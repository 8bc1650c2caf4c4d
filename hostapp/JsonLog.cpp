#include "hostapp/JsonLog.h"

#include <cwchar>

namespace snapvane::hostapp {

JsonLog::~JsonLog() {
    if (file_) std::fclose(file_);
}

bool JsonLog::Open(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_) std::fclose(file_);
    file_ = _wfopen(path.c_str(), L"wb");
    return file_ != nullptr;
}

void JsonLog::Write(const std::string& event, Json fields) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_) return;
    Json line = Json::object();
    line["event"] = event;
    for (auto& [key, value] : fields.items()) line[key] = value;
    // Invalid UTF-16 from a window is replaced, never allowed to stop the log.
    std::string text = line.dump(-1, ' ', false, Json::error_handler_t::replace);
    std::fputs(text.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

} // namespace snapvane::hostapp
