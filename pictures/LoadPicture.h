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
// more pixels than the viewer takes, or that needs more memory than one
// picture's budget; its description, put after "File Name " and the path,
// says which.
constexpr long kPictureTooLarge = 31001;
// The same for a picture that asks for more work than the viewer does for one
// picture on the host's user-interface thread: a metafile's drawing, or the
// decoding of a JPEG, GIF or bitmap.
constexpr long kPictureTooComplex = 31002;

// True for the errors whose description, rather than the plain unreadable
// message, tells the user why a picture is not shown.
bool IsPictureLimit(long number);

// Reads the picture (JPEG, GIF's first image, BMP, PNG, or WMF with or
// without the placeable header, told by its content whatever its name) and
// renders it once, whole and with its proportions kept, centred on the
// background in a 24-bit bitmap of the box's size; a JPEG taken turned or
// mirrored is shown upright. Every reader draws on one budget of time (the
// work of this thread) and memory (the file's bytes included). Raises a
// run-time error when the file cannot be read as a picture, kPictureTooLarge
// or kPictureTooComplex when it asks for more than the budget, before the
// work where its header says so, while the work happens otherwise; the
// decoded picture is released before this returns.
unique_hbitmap LoadScaledPicture(const std::wstring& path, SIZE box, COLORREF background);

} // namespace snapvane
