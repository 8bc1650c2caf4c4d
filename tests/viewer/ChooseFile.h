// For test programs that hold the viewer itself: one file shown through the
// chooser, as a person would pick it.
#pragma once

#include "support/ModalWatcher.h"
#include "viewer/DisplayPicture.h"

#include <string>
#include <vector>

namespace snapvane::test {

// Makes the file the chooser's only entry and chooses it, with a watcher
// answering what that opens; the texts of the message boxes it opened.
inline std::vector<std::wstring> ChooseFile(const std::wstring& path) {
    DisplayPicture& viewer = DisplayPicture::Instance();
    ModalWatcher watcher;
    viewer.ChooserClear();
    viewer.ChooserAddItem(L"Photo: " + path);
    viewer.ChooserSetListIndex(0);
    return watcher.MessageTexts();
}

} // namespace snapvane::test
