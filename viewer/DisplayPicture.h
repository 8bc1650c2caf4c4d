// DisplayPicture: the component's only window. It shows one picture of the
// found feature at a time, lets the user choose among the feature's picture
// entries, shows up to five attributes, and offers Edit and Exit.
//
// One instance exists per thread, created hidden on first use and never
// destroyed by the component while it is loaded: hiding keeps everything the
// controls hold.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string>

namespace snapvane {

constexpr wchar_t kDisplayPictureClass[] = L"SnapvaneDisplayPicture";

// Control identifiers, for the window's own code and for anyone who reads the
// window from outside through Win32 (tests, the stand-in host's script runner).
namespace DisplayPictureControl {
constexpr int Label1 = 1001;
constexpr int ImageSelectBox = 1002;
constexpr int EditButton = 1003;
constexpr int ExitButton = 1004;
constexpr int Image = 1005;
constexpr int Frame1 = 1006;
constexpr int Image1 = 1007;
constexpr int Label2 = 1008;
constexpr int Label4 = 1009;
constexpr int Label3 = 1010;
// lblAttrib1..5 are LabelAttrib + pair - 1, txtAttrib1..5 TextAttrib + pair - 1.
constexpr int LabelAttrib = 1101;
constexpr int TextAttrib = 1201;
}

class DisplayPicture {
public:
    // The thread's viewer, created hidden the first time anyone needs it.
    static DisplayPicture& Instance();
    // The thread's viewer if it was created already, else null.
    static DisplayPicture* ExistingInstance() noexcept;

    HWND Window() const noexcept;

    // The folder prefix put in front of a picture's file name.
    const std::wstring& BasePath() const noexcept;
    void SetBasePath(const std::wstring& path);

    // The text kept with the window and shown in its title bar.
    void SetText(const std::wstring& text);

    // Show(1) shows the window modally and returns once it is hidden again.
    void Show(int modal);
    void Hide();

    // The attribute panel; pair is 1 to 5.
    void SetAttributeCaption(int pair, const std::wstring& caption);
    void SetAttributeValue(int pair, const VARIANT& value);
    void ClearAttributeValue(int pair);
    void SetAttributeInUse(int pair, bool inUse);

    // The picture chooser. Writing ListIndex selects that entry and runs the
    // change handler before it returns.
    void ChooserClear();
    void ChooserAddItem(const std::wstring& entry);
    void ChooserSetListIndex(std::int16_t index);
    std::wstring ChooserText() const;
    void ChooserSetEnabled(bool enabled);

    DisplayPicture(const DisplayPicture&) = delete;
    DisplayPicture& operator=(const DisplayPicture&) = delete;

private:
    DisplayPicture();
    ~DisplayPicture();
    class Impl;
    Impl* impl_;
    friend class Impl;
    friend void ReleaseDisplayPicture() noexcept;
};

// Releases this thread's viewer state at thread end or module unload.
void ReleaseDisplayPicture() noexcept;

} // namespace snapvane
