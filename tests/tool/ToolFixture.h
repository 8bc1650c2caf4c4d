// A tool from the real DLL on a stand-in host, with a recording report viewer
// registered in the process, and the proof that every host object was
// released once the tool is gone.
#pragma once

#include "standin/ClassRegistration.h"
#include "standin/Probe.h"
#include "standin/StandIn.h"
#include "support/ModalWatcher.h"
#include "support/RecordingStackViewer.h"
#include "support/SnapvaneDll.h"

#include <gtest/gtest.h>

#include <memory>

namespace snapvane::test {

using standin::FieldSpec;
using standin::FieldType;
using standin::Shape;
using standin::Value;

class ToolTest : public testing::Test {
protected:
    void SetUp() override {
        standin::Probe::Reset();
        liveBefore_ = standin::Probe::LiveObjects();
        host = std::make_unique<standin::StandInHost>();
        host->SetView(100, 100, {0, 0, 100, 100});
        host->SetSearchTolerance(1);
        tool = NewTool();
        mapTool = Query<ITool>(tool);
    }
    void TearDown() override {
        mapTool.Reset();
        tool.Reset();
        host.reset();
        EXPECT_EQ(standin::Probe::LiveObjects(), liveBefore_) << "a host object was not released";
    }

    void Connect() { ASSERT_EQ(tool->OnCreate(host->Hook().Get()), S_OK); }

    // A press at map coordinates (x, y): device pixels coincide with map
    // units, with y flipped.
    HRESULT PressAt(double x, double y, long button = 1, long shift = 0) {
        return mapTool->OnMouseDown(button, shift, static_cast<long>(x), static_cast<long>(100 - y));
    }

    const std::vector<std::wstring>& Reports() { return reportViewer.record().reports; }

    standin::ClassRegistration classes;
    RecordingStackViewerRegistration reportViewer;
    std::unique_ptr<standin::StandInHost> host;
    ComPtr<ICommand> tool;
    ComPtr<ITool> mapTool;

private:
    long liveBefore_ = 0;
};

} // namespace snapvane::test
