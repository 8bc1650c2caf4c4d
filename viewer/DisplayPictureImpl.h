// The inside of the viewer window, shared by the files that make it up:
// DisplayPicture.cpp (the window, its messages and the chooser),
// ViewerLayout.cpp (its controls in the design's places), PicturePanel.cpp
// (the picture box and the attribute panel) and ViewerHandlers.cpp (what a
// choice or a button press does).
#pragma once

#include "viewer/DisplayPicture.h"
#include "viewer/PicturePanel.h"
#include "viewer/ViewerLayout.h"
#include "win32/Module.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace snapvane {

class DisplayPicture::Impl {
public:
    explicit Impl(DisplayPicture& viewer) : viewer_(&viewer) {}
    ~Impl();

    HWND window = nullptr;
    std::wstring basePath;
    bool modalShowing = false;

    // The window, created (again) when it does not exist.
    HWND Live();

    // A control of the window itself by its number, as GetDlgItem finds it.
    HWND Control(int control) const;
    HWND Chooser() const { return Control(DisplayPictureControl::ImageSelectBox); }
    HWND ValueBox(int pair) const { return Control(DisplayPictureControl::TextAttrib + pair - 1); }
    HWND PictureBox() const { return Control(DisplayPictureControl::Image); }

    // Message boxes stand in front of the viewer while it is shown, else in
    // front of the caller's active window.
    HWND MessageOwner() const { return window && IsWindowVisible(window) ? window : nullptr; }

    // --- The chooser ---
    void SetChooserTextQuietly(const std::wstring& text);
    void SelectEntry(LRESULT index);

    // --- The handlers (ViewerHandlers.cpp) ---
    void ImageSelectBox_Change();
    void ShowSelectedPicture();
    void ExitButton_Click(DisplayPicture& viewer);
    void EditButton_Click();

    void FocusFirstControl();

private:
    // The file the chooser's entry names.
    struct ChosenPicture {
        std::wstring name;
        std::wstring path;
    };
    std::optional<ChosenPicture> ChosenPictureFile();
    void ClearPicture();
    void RefuseToRun(const std::wstring& file);

    void OnChooserPicked();
    void OnChooserTyped();
    void CompleteTypedText();

    static LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int control, int notification);
    void RestoreFocus();
    void WindowGone();
    void CreateViewerWindow();

    DisplayPicture* viewer_;
    ViewerLayout layout_;
    PicturePanel picture_;
    std::optional<ModuleUsageHold> moduleHold_;
    HWND focus_ = nullptr;
    // The window's own controls, taken once when it is made: finding a
    // control by its number asks the window server for every child.
    std::vector<std::pair<int, HWND>> controls_;
    bool settingChooserText_ = false;
    std::wstring typedText_;  // the chooser's text before the latest change
};

// The text of a window, such as the chooser's edit field.
std::wstring WindowText(HWND window);
// Sets a control's text only where it shows another.
void SetTextIfChanged(HWND control, const std::wstring& text);

} // namespace snapvane
