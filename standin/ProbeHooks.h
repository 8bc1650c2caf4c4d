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

void ObjectCreated() noexcept;
void ObjectDestroyed() noexcept;
void CreatedThroughClassObject() noexcept;

} // namespace snapvane::standin::Probe
