// The stand-in objects' side of the probe: they announce their lives and
// their host calls here.
#pragma once

#include "standin/Probe.h"

#include <optional>

namespace snapvane::standin::Probe {

struct Failure {
    HRESULT hr;
    std::wstring description;
};

// Logs one host call and answers the failure armed for it, if any.
std::optional<Failure> EnterHostCall(const wchar_t* operation);

// Adds the time from its making to its end to the time spent in the host:
// around host calls and the objects' QueryInterface, AddRef and Release. Only
// the outermost clock counts, as host code calls host code.
class HostCallClock {
public:
    HostCallClock() noexcept;
    ~HostCallClock();
    HostCallClock(const HostCallClock&) = delete;
    HostCallClock& operator=(const HostCallClock&) = delete;
};

void ObjectCreated() noexcept;
void ObjectDestroyed() noexcept;
void CreatedThroughClassObject() noexcept;

} // namespace snapvane::standin::Probe
