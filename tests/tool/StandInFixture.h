// A stand-in host for one test, with its class objects registered, and the
// proof that every host object was released when the test is over.
#pragma once

#include "standin/ClassRegistration.h"
#include "standin/Probe.h"
#include "standin/StandIn.h"

#include <gtest/gtest.h>

#include <memory>

namespace snapvane::test {

using standin::FieldDefinition;
using standin::FieldType;
using standin::Shape;
using standin::Value;

class StandInTest : public testing::Test {
protected:
    void SetUp() override {
        standin::Probe::Reset();
        liveBefore_ = standin::Probe::LiveObjects();
        host = std::make_unique<standin::StandInHost>();
        // Device pixels and map units coincide, with y flipped.
        host->SetView(100, 100, {0, 0, 100, 100});
    }
    // Whoever holds host objects releases them before this runs.
    void TearDown() override {
        host.reset();
        EXPECT_EQ(standin::Probe::LiveObjects(), liveBefore_) << "a host object was not released";
    }

    // The device pixel of map coordinates (x, y).
    static long DeviceX(double x) { return static_cast<long>(x); }
    static long DeviceY(double y) { return static_cast<long>(100 - y); }

    standin::ClassRegistration classes;
    std::unique_ptr<standin::StandInHost> host;

private:
    long liveBefore_ = 0;
};

} // namespace snapvane::test
