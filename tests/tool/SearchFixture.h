// A stand-in map to search, with the tool's click state, and the proof that
// every host object the search touched was released.
#pragma once

#include "StandInFixture.h"
#include "tool/FeatureSearch.h"
#include "tool/ToolState.h"

namespace snapvane::test {

class SearchTest : public StandInTest {
protected:
    // The map point at map coordinates (x, y), made by the host's display.
    ComPtr<IPoint> MapPointAt(double x, double y) {
        ComPtr<IActiveView> view;
        host->FocusMap().As(&view);
        ComPtr<IScreenDisplay> display;
        view->get_ScreenDisplay(display.GetAddressOf());
        ComPtr<IDisplayTransformation> transformation;
        display->get_DisplayTransformation(transformation.GetAddressOf());
        ComPtr<IPoint> point;
        transformation->ToMapPoint(DeviceX(x), DeviceY(y), point.GetAddressOf());
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

    ToolState state;
};

} // namespace snapvane::test
