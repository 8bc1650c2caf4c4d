#include "errors/MessageBox.h"

namespace snapvane {

void ShowMessage(HWND owner, const std::wstring& text) {
    if (!owner) owner = GetActiveWindow();
    MessageBoxW(owner, text.c_str(), kApplicationTitle, MB_OK | MB_SETFOREGROUND);
}

} // namespace snapvane
