// Handing a picture file to the program that Windows associates with its file
// type. A feature's attribute names the file, so nothing here may ever run the
// file itself: programs, scripts, shortcuts and installers are refused.
#pragma once

#include <string>

namespace snapvane {

// The path as the file system resolves it: absolute, with the trailing dots and
// blanks that Windows ignores removed.
std::wstring FullFilePath(const std::wstring& path);

// True for a file Windows would run rather than open (.exe, .bat, .lnk, .js ...).
bool IsRunnableFileType(const std::wstring& path);

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

// The program path and the file name, each quoted, so that blanks in either
// stay inside one argument.
std::wstring ProgramCommandLine(const std::wstring& program, const std::wstring& file);

// Starts the program with a normal window that takes the focus, and does not
// wait for it. Raises a run-time error with the system's reason on failure.
void StartProgram(const std::wstring& program, const std::wstring& commandLine);

} // namespace snapvane
