// A report viewer of the outside viewer's identity, registered in the test
// process so that the component finds it through COM like a registered one.
// It records every report and how many instances were created.
#pragma once

#include "errors/CallStackViewer.h"
#include "win32/ComTypes.h"

#include <string>
#include <vector>

namespace snapvane::test {

struct StackViewerRecord {
    std::vector<std::wstring> reports;  // texts handed to the seventh method
    int instancesCreated = 0;
    int showCalls = 0;
    HRESULT failSetText = S_OK;         // a failure the viewer answers with
};

// Registers the recording viewer's class object for as long as it lives.
class RecordingStackViewerRegistration {
public:
    RecordingStackViewerRegistration();
    ~RecordingStackViewerRegistration();
    StackViewerRecord& record() { return record_; }

private:
    StackViewerRecord record_;
    DWORD cookie_ = 0;
    ComPtr<IClassFactory> factory_;
};

} // namespace snapvane::test
