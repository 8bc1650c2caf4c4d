// A stand-in map to search, with the tool's click state, and the proof that
// every host object the search touched was released.
#pragma once

#include "standin/ClassRegistration.h"
#include "standin/Probe.h"
#include "standin/StandIn.h"
#include "tool/FeatureSearch.h"
#include "tool/ToolState.h"

#include <gtest/gtest.h>

#include <memory>

namespace snapvane::test {

using standin::FieldSpec;
using standin::FieldType;
using standin::Shape;
using standin::Value;

class SearchTest : public testing::Test {
protected:
    void SetUp() override {
        standin::Probe::Reset();
        liveBefore_ = standin::Probe::LiveObjects();
        host = std::make_unique<standin::StandInHost>();
        // Device pixels and map units coincide, with y flipped.
        host->SetView(100, 100, {0, 0, 100, 100});
    }
    void TearDown() override {
        host.reset();
        EXPECT_EQ(standin::Probe::LiveObjects(), liveBefore_) << "a host object was not released";
    }

    // The map point at map coordinates (x, y), made by the host's display.
    ComPtr<IPoint> MapPointAt(double x, double y) {
        ComPtr<IActiveView> view;
        host->FocusMap().As(&view);
        ComPtr<IScreenDisplay> display;
        view->get_ScreenDisplay(display.GetAddressOf());
        ComPtr<IDisplayTransformation> transformation;
        display->get_DisplayTransformation(transformation.GetAddressOf());
        ComPtr<IPoint> point;
        transformation->ToMapPoint(static_cast<long>(x), static_cast<long>(100 - y), point.GetAddressOf());
        return point;
    }

    ComPtr<IFeature> Search(double x, double y, double tolerance = 1) {
        ComPtr<IPoint> point = MapPointAt(x, y);
        standin::Probe::Reset();
        return FindFeature(state, tolerance, point, host->FocusMap());
    }

    // A class with one picture field after a numeric field.
    standin::FeatureClass PhotoClass(const wchar_t* name, const wchar_t* workspace = L"D:\\data") {
        return host->NewFeatureClass(name, {{L"SITE", L"Site", FieldType::Integer}, {L"PHOTO", L"Photo", FieldType::Text}},
                                     workspace);
    }

    std::unique_ptr<standin::StandInHost> host;
    standin::ClassRegistration classes;
    ToolState state;

private:
    long liveBefore_ = 0;
};

} // namespace snapvane::test
