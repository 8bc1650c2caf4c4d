// Conversions between the UTF-16 texts of Windows and the UTF-8 texts of the
// script and log files.
#pragma once

#include <string>

namespace snapvane::hostapp {

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);

// "0x80004005": an HRESULT the way people look it up.
std::string HresultText(long hr);

} // namespace snapvane::hostapp
