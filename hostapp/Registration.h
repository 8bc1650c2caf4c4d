// Puts the component and the host's type library into the registry of this
// Windows installation when they are not there yet, as an installer would.
#pragma once

#include <string>

namespace snapvane::hostapp {

constexpr wchar_t kToolProgId[] = L"Project1.MyIcommand";

// Folder of the running program, with a trailing backslash.
std::wstring ProgramFolder();

// Registers Snapvane.dll (beside the program) through its DllRegisterServer
// unless the tool's ProgID already names that very file, and the host type
// library HostGis.tlb (beside the program) unless it is registered. With no
// Snapvane.dll beside the program, the installed one (the file the ProgID
// names) is used as it is. Throws a RuntimeError that says what failed.
void EnsureRegistered();

} // namespace snapvane::hostapp
