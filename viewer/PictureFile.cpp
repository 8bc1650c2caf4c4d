#include "viewer/PictureFile.h"

#include <windows.h>

namespace snapvane {

namespace {
constexpr wchar_t kEntrySeparator[] = L": ";
}

std::wstring PictureFileName(const std::wstring& chooserText) {
    size_t separator = chooserText.find(kEntrySeparator);
    if (separator == std::wstring::npos) return chooserText;
    return chooserText.substr(separator + 2);
}

bool IsPictureFileThere(const std::wstring& path) {
    if (path.empty() || path.find_first_of(L"*?") != std::wstring::npos || path.find(L'\0') != std::wstring::npos)
        return false;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    constexpr DWORD notAFile =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
    return (attributes & notAFile) == 0;
}

std::wstring FindPictureFile(const std::wstring& name, const std::wstring& basePath) {
    if (IsPictureFileThere(name)) return name;
    if (!name.empty() && IsPictureFileThere(basePath + name)) return basePath + name;
    return {};
}

} // namespace snapvane
