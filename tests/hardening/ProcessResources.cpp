#include "ProcessResources.h"

#include <psapi.h>

#include <vector>

namespace snapvane::test {

namespace {

BOOL CALLBACK CountChild(HWND, LPARAM count) {
    ++*reinterpret_cast<long*>(count);
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM count) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    ++*reinterpret_cast<long*>(count);
    EnumChildWindows(window, CountChild, count);
    return TRUE;
}

PROCESS_MEMORY_COUNTERS_EX MemoryCounters() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters;
}

} // namespace

long CountProcessWindows() {
    long count = 0;
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
    // Message-only windows are not top-level windows of the desktop.
    HWND messageOnly = nullptr;
    while ((messageOnly = FindWindowExW(HWND_MESSAGE, messageOnly, nullptr, nullptr)) != nullptr)
        CountTopLevel(messageOnly, reinterpret_cast<LPARAM>(&count));
    return count;
}

long CountGdiObjects() {
    long count = 0;
    for (ULONG_PTR index = 1; index < 0x10000; ++index)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++count;
    SetLastError(0);
    return count;
}

// Wine leaves PrivateUsage at 0 and reports the process's private memory as
// the page-file usage, which Windows keeps equal to it.
SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = MemoryCounters();
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

SIZE_T PeakPrivateBytes() { return MemoryCounters().PeakPagefileUsage; }

SIZE_T HeapBytesInUse() {
    DWORD count = GetProcessHeaps(0, nullptr);
    std::vector<HANDLE> heaps(count + 16);
    count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    SIZE_T total = 0;
    for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

ProcessResources MeasureProcess() {
    ProcessResources now;
    now.windows = CountProcessWindows();
    now.gdiObjects = CountGdiObjects();
    now.heapBytes = HeapBytesInUse();
    now.privateBytes = PrivateBytes();
    return now;
}

std::string Describe(const ProcessResources& resources) {
    return "windows " + std::to_string(resources.windows) + ", GDI objects " + std::to_string(resources.gdiObjects) +
           ", private bytes " + std::to_string(resources.privateBytes) + ", heap bytes in use " +
           std::to_string(resources.heapBytes);
}

} // namespace snapvane::test
