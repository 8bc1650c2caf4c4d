// Handing a picture file to the program that Windows associates with the type
// of its content. A feature's attribute names the file, so nothing here may
// ever run the file itself: only a file whose content is a picture the viewer
// shows is handed on, and only to the program of that picture's own type
// (".bmp" for a bitmap, whatever the name ends with). The handler of the
// name's type is never asked: survey.jpg.pyz holding a bitmap opens as a
// bitmap, never as what .pyz names. Names of types that Windows runs are
// refused as well.
#pragma once

#include <string>

namespace snapvane {

// The path as the file system resolves it: absolute, with the trailing dots and
// blanks that Windows ignores removed.
std::wstring FullFilePath(const std::wstring& path);

// True for a file Windows would run rather than open (.exe, .bat, .lnk, .js ...).
// A second line of defence: no list of what runs is ever complete.
bool IsRunnableFileType(const std::wstring& path);

// The file type of the picture the file's content is (".jpg", ".gif", ".bmp",
// ".wmf"), told from its bytes as the display tells it; empty when it is no
// picture the viewer shows.
std::wstring PictureContentType(const std::wstring& path);

struct AssociatedProgram {
    enum class Answer { Found, NoAssociation, Failed };
    Answer answer = Answer::Failed;
    std::wstring program;  // Found: the program's path
    long shellCode = 0;    // the system's answer, for the message when it failed
};

// Asks the association of the type which program would open the file.
AssociatedProgram FindAssociatedProgram(const std::wstring& file, const std::wstring& type);

// True when both paths name the same file.
bool IsSameFile(const std::wstring& first, const std::wstring& second);

// Opens the file with the program associated with the type, through the
// shell and the association's own verb and command template, so that the
// program gets its arguments as registered; does not wait for it. The file's
// own name does not choose the program. A program
// named without a folder is never looked for in the current folder. Raises a
// run-time error with the system's reason on failure.
void OpenWithAssociatedProgram(const std::wstring& file, const std::wstring& type);

} // namespace snapvane
