// A stand-in host for one test, with its class objects registered, and the
// proof that every host object was released when the test is over.
#pragma once

#include "standin/ClassRegistration.h"
#include "standin/Probe.h"
#include "standin/StandIn.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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

    // Two feature layers, Wells and Springs, each with a feature at (50, 50)
    // that names the picture and fills all five attribute pairs.
    void AddTwoPictureLayers(const std::wstring& dataFolder, const std::wstring& picture) {
        const std::vector<FieldDefinition> fields = {{L"IDENT", L"Identifier", FieldType::Text},
                                                     {L"ALT", L"Altitude", FieldType::Double},
                                                     {L"LON", L"Longitude", FieldType::Double},
                                                     {L"LAT", L"Latitude", FieldType::Double},
                                                     {L"REM", L"Comment", FieldType::Text},
                                                     {L"PHOTO", L"Photo", FieldType::Text}};
        auto wells = host->NewFeatureClass(L"Wells", fields, dataFolder);
        wells.AddFeature(Shape::Point(50, 50), {L"W1", 410.0, 8.5, 47.1, L"dry", picture});
        auto springs = host->NewFeatureClass(L"Springs", fields, dataFolder);
        springs.AddFeature(Shape::Point(50, 50), {L"S1", 420.0, 8.6, 47.2, L"wet", picture});
        host->AddFeatureLayer(L"Wells", wells);
        host->AddFeatureLayer(L"Springs", springs);
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
