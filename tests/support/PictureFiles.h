// Picture files that tests make themselves.
#pragma once

#include <windows.h>

#include <string>

namespace snapvane::test {

// Writes a 24-bit bitmap file of one colour; true when it was written.
bool WriteBitmapFile(const std::wstring& path, int width, int height, COLORREF colour);

// Writes raw bytes to a file; true when they were written.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

// The process's temporary folder with a sub-folder of the given name, created,
// ending in "\".
std::wstring TestFolder(const std::wstring& name);

} // namespace snapvane::test
