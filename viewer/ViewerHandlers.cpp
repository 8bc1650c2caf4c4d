// What the viewer does when a picture is chosen and when Edit or Exit is pressed.
#include "viewer/DisplayPictureImpl.h"

#include "errors/MessageBox.h"
#include "errors/RuntimeError.h"
#include "pictures/LoadPicture.h"
#include "viewer/OpenInProgram.h"
#include "viewer/PictureFile.h"

#include <utility>

namespace snapvane {

namespace {

std::wstring NotFoundMessage(const std::wstring& name, const std::wstring& basePath) {
    return L"File Name " + name + L" not found. Base Path is " + basePath;
}

} // namespace

// --- Picture selection and display ---

void DisplayPicture::Impl::ImageSelectBox_Change() { ShowSelectedPicture(); }

// The file the chooser's entry names, looked for as written and then
// under BasePath. An empty entry names none; a file found nowhere is
// reported to the user and gives none.
std::optional<DisplayPicture::Impl::ChosenPicture> DisplayPicture::Impl::ChosenPictureFile() {
    std::wstring text = WindowText(Chooser());
    if (text.empty()) return std::nullopt;
    std::wstring name = PictureFileName(text);
    std::wstring path = FindPictureFile(name, basePath);
    if (path.empty()) {
        ShowMessage(MessageOwner(), NotFoundMessage(name, basePath));
        return std::nullopt;
    }
    return ChosenPicture{std::move(name), std::move(path)};
}

void DisplayPicture::Impl::ShowSelectedPicture() {
    ClearPicture();
    std::optional<ChosenPicture> chosen = ChosenPictureFile();
    if (!chosen) return;
    const std::wstring& path = chosen->path;
    unique_hbitmap scaled;
    try {
        scaled = LoadScaledPicture(path, layout_.PictureBoxSize(), GetSysColor(COLOR_BTNFACE));
    } catch (const RuntimeError& error) {
        // A damaged file, one that is no picture, or one too large to hold
        // in the host's memory is the user's to know about; the box stays empty.
        ShowMessage(MessageOwner(), L"File Name " + path + L" " +
                                        (IsPictureLimit(error.Number()) ? error.Description()
                                                                            : L"could not be read as a picture."));
        return;
    }
    picture_.Show(PictureBox(), std::move(scaled));
}

void DisplayPicture::Impl::ClearPicture() { picture_.Clear(PictureBox()); }

void DisplayPicture::Impl::ExitButton_Click(DisplayPicture& viewer) {
    ClearPicture();
    viewer.Hide();
}

// --- Open in the associated program ---

void DisplayPicture::Impl::EditButton_Click() {
    std::optional<ChosenPicture> chosen = ChosenPictureFile();
    if (!chosen) return;
    const std::wstring& path = chosen->path;
    std::wstring file = FullFilePath(path);
    // A name of a type that runs is refused for its name alone, as users
    // have always been told; what opens the file is decided by its content.
    if (IsRunnableFileType(path) || IsRunnableFileType(file)) {
        RefuseToRun(file);
        return;
    }
    const std::wstring type = PictureContentType(file);
    if (type.empty()) {
        ShowMessage(MessageOwner(), L"File Name " + file + L" is not a picture. It is not opened.");
        return;
    }
    AssociatedProgram found = FindAssociatedProgram(file, type);
    switch (found.answer) {
    case AssociatedProgram::Answer::Found:
        break;
    case AssociatedProgram::Answer::NoAssociation:
        ShowMessage(MessageOwner(), L"No Application associated with this file type");
        return;
    case AssociatedProgram::Answer::Failed:
        ShowMessage(MessageOwner(), L"The program for File Name " + file + L" could not be found (shell error " +
                                        std::to_wstring(found.shellCode) + L").");
        return;
    }
    if (IsSameFile(found.program, file)) {
        RefuseToRun(file);
        return;
    }
    try {
        OpenWithAssociatedProgram(file, type);
    } catch (const RuntimeError& error) {
        ShowMessage(MessageOwner(), L"The program " + found.program + L" could not be started for File Name " +
                                        file + L".\r\n" + error.Description());
    }
}

void DisplayPicture::Impl::RefuseToRun(const std::wstring& file) {
    ShowMessage(MessageOwner(), L"File Name " + file + L" is a program or script. It is not opened.");
}

} // namespace snapvane
