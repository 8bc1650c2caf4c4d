// Picture files: which file a chooser entry names and where it is found.
#pragma once

#include <string>

namespace snapvane {

// The file name a chooser text names: the text after its first ": ", or the
// whole text when it has none (a name the user typed).
std::wstring PictureFileName(const std::wstring& chooserText);

// True for an existing, ordinary file taken literally: "*" and "?" are no
// patterns, and folders, devices, hidden and system files do not count.
bool IsPictureFileThere(const std::wstring& path);

// The path of the named picture: the name as written when such a file exists,
// else the base path followed directly by the name (the base path brings its
// own separator); empty when it is in neither place.
std::wstring FindPictureFile(const std::wstring& name, const std::wstring& basePath);

} // namespace snapvane
