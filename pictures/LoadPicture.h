// A picture file read and fitted into the viewer's box: what the window asks
// of this room. The bytes are checked here before any decoder, codec or
// player of the platform sees them.
#pragma once

#include "pictures/PictureContent.h"
#include "win32/Handles.h"

#include <windows.h>

#include <string>

namespace snapvane {

// The kind of the file at the path, from its first bytes; Unknown when it
// cannot be read.
PictureKind IdentifyPictureFile(const wchar_t* path);

// The error number of LoadScaledPicture for a picture whose header declares
// more pixels than the viewer takes, or a JPEG that needs more memory than
// one picture's budget; its description, put after "File Name " and the
// path, says how many.
constexpr long kPictureTooLarge = 31001;
// The same for a metafile whose records ask for more drawing, or a JPEG
// whose scans ask for more decoding, than the viewer does for one picture on
// the host's user-interface thread.
constexpr long kPictureTooComplex = 31002;

// True for the errors whose description, rather than the plain unreadable
// message, tells the user why a picture is not shown.
bool IsPictureLimit(long number);

// Reads the picture (JPEG, GIF, BMP or WMF with or without the placeable
// header, told by its content,
// whatever its name) and renders it once, whole and with
// its proportions kept, centred on the background in a 24-bit bitmap of the
// box's size. A JPEG whose EXIF orientation says it was taken turned or
// mirrored is shown upright. Raises a run-time error when the file cannot be
// read as a picture, kPictureTooLarge before decoding one whose header
// declares too many pixels or a JPEG that needs too much memory, and
// kPictureTooComplex before playing a metafile that asks for too much drawing
// or once a JPEG's decoding has taken its budget; the decoded picture is
// released before this returns.
unique_hbitmap LoadScaledPicture(const std::wstring& path, SIZE box, COLORREF background);

} // namespace snapvane
