// A tool from the real DLL on a stand-in host, with a recording report viewer
// registered in the process, and the proof that every host object was
// released once the tool is gone.
#pragma once

#include "StandInFixture.h"
#include "support/ModalWatcher.h"
#include "support/RecordingStackViewer.h"
#include "support/SnapvaneDll.h"

#include <gtest/gtest.h>

#include <memory>

namespace snapvane::test {

class ToolTest : public StandInTest {
protected:
    void SetUp() override {
        StandInTest::SetUp();
        host->SetSearchTolerance(1);
        tool = NewTool();
        mapTool = Query<ITool>(tool);
    }
    void TearDown() override {
        mapTool.Reset();
        tool.Reset();
        StandInTest::TearDown();
    }

    void Connect() { ASSERT_EQ(tool->OnCreate(host->Hook().Get()), S_OK); }

    // A press at map coordinates (x, y): device pixels coincide with map
    // units, with y flipped.
    HRESULT PressAt(double x, double y, long button = 1, long shift = 0) {
        return mapTool->OnMouseDown(button, shift, DeviceX(x), DeviceY(y));
    }

    const std::vector<std::wstring>& Reports() { return reportViewer.record().reports; }

    RecordingStackViewerRegistration reportViewer;
    ComPtr<ICommand> tool;
    ComPtr<ITool> mapTool;
};

} // namespace snapvane::test
