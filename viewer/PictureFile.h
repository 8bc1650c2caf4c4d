// Picture files: which file a chooser entry names, where it is found, and the
// picture read from it, scaled once to fit the picture box.
#pragma once

#include "win32/Handles.h"

#include <windows.h>

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

// The error number of LoadScaledPicture for a picture whose header declares
// more pixels than the viewer takes; its description, put after "File Name "
// and the path, says how many.
constexpr long kPictureTooLarge = 31001;
// The same for a metafile whose records ask for more drawing than the viewer
// does for one picture on the host's user-interface thread.
constexpr long kPictureTooComplex = 31002;

// True for the errors whose description, rather than the plain unreadable
// message, tells the user why a picture is not shown.
bool IsPictureLimit(long number);

// Reads the picture (JPEG, GIF, BMP or placeable WMF, told by its content,
// whatever its name) and renders it once, whole and with
// its proportions kept, centred on the background in a 24-bit bitmap of the
// box's size. A JPEG whose EXIF orientation says it was taken turned or
// mirrored is shown upright. Raises a run-time error when the file cannot be
// read as a picture, kPictureTooLarge before decoding one whose header
// declares too many pixels, and kPictureTooComplex before playing a metafile
// that asks for too much drawing; the decoded picture is released before this returns.
unique_hbitmap LoadScaledPicture(const std::wstring& path, SIZE box, COLORREF background);

} // namespace snapvane
