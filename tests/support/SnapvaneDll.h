// The real Snapvane.dll of the build, loaded from beside the test program and
// asked for new tools through its own class factory, as COM would.
#pragma once

#include "win32/ComTypes.h"

#include <HostGis.h>
#include <Project1.h>

namespace snapvane::test {

// A new MyIcommand from the DLL, as its ICommand. The DLL stays loaded for
// the rest of the test program.
ComPtr<ICommand> NewTool();

template <class Interface>
ComPtr<Interface> Query(const ComPtr<ICommand>& tool) {
    ComPtr<Interface> result;
    tool.As(&result);
    return result;
}

// The description of the calling thread's error information, if any.
std::wstring LastErrorDescription();

} // namespace snapvane::test

namespace snapvane::test {

// The first top-level window of this process with the class name, visible or
// not; other test programs running beside this one have windows of the same
// class.
HWND FindOwnWindow(const wchar_t* className);

} // namespace snapvane::test
