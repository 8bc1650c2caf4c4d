// Handing a picture file to the program that Windows associates with its file
// type. A feature's attribute names the file, so nothing here may ever run the
// file itself: only a file whose content is a picture the viewer shows is
// handed on, and programs, scripts, shortcuts and installers are refused by
// their type as well.
#pragma once

#include <string>

namespace snapvane {

// The path as the file system resolves it: absolute, with the trailing dots and
// blanks that Windows ignores removed.
std::wstring FullFilePath(const std::wstring& path);

// True for a file Windows would run rather than open (.exe, .bat, .lnk, .js ...).
// A second line of defence: no list of what runs is ever complete.
bool IsRunnableFileType(const std::wstring& path);

// True when the file's content is a picture of a kind the viewer shows, told
// as the display tells it.
bool IsPictureContent(const std::wstring& path);

struct AssociatedProgram {
    enum class Answer { Found, NoAssociation, FileNotFound, Failed };
    Answer answer = Answer::Failed;
    std::wstring program;  // Found: the program's path
    long shellCode = 0;    // the shell's answer, for the message when it failed
};

// Asks the shell which program opens the file.
AssociatedProgram FindAssociatedProgram(const std::wstring& file);

// True when both paths name the same file.
bool IsSameFile(const std::wstring& first, const std::wstring& second);

// Opens the file with the program associated with its type, through the
// shell and the association's own verb and command template, so that the
// program gets its arguments as registered; does not wait for it. A program
// named without a folder is never looked for in the current folder. Raises a
// run-time error with the system's reason on failure.
void OpenWithAssociatedProgram(const std::wstring& file);

} // namespace snapvane
