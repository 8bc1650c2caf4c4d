#include "Module.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace snapvane {

HINSTANCE ThisModule() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

namespace {
volatile LONG usage = 0;
}

namespace ModuleUsage {
void Add() noexcept { InterlockedIncrement(&usage); }
void Remove() noexcept { InterlockedDecrement(&usage); }
long Count() noexcept { return InterlockedCompareExchange(&usage, 0, 0); }
}

} // namespace snapvane
