// What the process holds, counted in ways that work under Wine as well as on
// Windows, where GetGuiResources would be the usual answer (Wine always
// answers 0 there, so it proves nothing).
#pragma once

#include <windows.h>

#include <string>

namespace snapvane::test {

struct ProcessResources {
    long windows = 0;        // windows of this process, top-level and child
    long gdiObjects = 0;     // live GDI objects found by probing the handle table
    SIZE_T privateBytes = 0; // GetProcessMemoryInfo's PrivateUsage (PagefileUsage under Wine)
    SIZE_T heapBytes = 0;    // bytes in busy blocks of every heap of the process
};

ProcessResources MeasureProcess();

// Windows of this process: every top-level window and all its descendants.
long CountProcessWindows();

// Live GDI objects: GetObjectType over every index of the handle table. Wine
// accepts a handle whose generation part is 0 for any generation, so each
// index answers for whatever lives there now. On Windows the generation
// must match and this count would read 0.
long CountGdiObjects();

SIZE_T PrivateBytes();
SIZE_T PeakPrivateBytes();

// The sum of the busy blocks of every heap (HeapWalk): the process's own
// allocations, to the byte, without the allocator's reserve.
SIZE_T HeapBytesInUse();

std::string Describe(const ProcessResources& resources);

} // namespace snapvane::test
