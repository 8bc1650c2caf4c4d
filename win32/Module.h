// The component's module: its instance handle and the count of what keeps it
// loaded (live objects, server locks and windows whose procedure lives here).
#pragma once

#include <windows.h>

namespace snapvane {

HINSTANCE ThisModule() noexcept;

namespace ModuleUsage {
void Add() noexcept;
void Remove() noexcept;
long Count() noexcept;
}

// Holds the module loaded for as long as the holder lives.
class ModuleUsageHold {
public:
    ModuleUsageHold() noexcept { ModuleUsage::Add(); }
    ModuleUsageHold(const ModuleUsageHold&) noexcept { ModuleUsage::Add(); }
    ModuleUsageHold& operator=(const ModuleUsageHold&) noexcept { return *this; }
    ~ModuleUsageHold() { ModuleUsage::Remove(); }
};

} // namespace snapvane
