// Makes the host's creatable classes (SpatialFilter, UID) available to
// CoCreateInstance in this process, as an installed host would.
#pragma once

#include <windows.h>

namespace snapvane::standin {

// Registers the class objects on construction (CLSCTX_INPROC_SERVER,
// REGCLS_MULTIPLEUSE) and revokes them on destruction. Construct it on the
// thread that will create the objects, after COM is initialised there.
// Throws std::system_error when a registration fails.
class ClassRegistration {
public:
    ClassRegistration();
    ~ClassRegistration();
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;

private:
    void RevokeAll() noexcept;
    DWORD spatialFilterCookie_ = 0;
    DWORD uidCookie_ = 0;
};

} // namespace snapvane::standin
