#include "tool/MapClick.h"

#include "errors/MessageBox.h"
#include "tool/FeatureSearch.h"
#include "tool/HostCalls.h"
#include "tool/ShowPictures.h"
#include "viewer/DisplayPicture.h"

namespace snapvane {

void HandleMapClick(ToolState& state, const ComPtr<IApplication>& application, long x, long y) {
    ComPtr<IMxDocument> document = As<IMxDocument>(Get(application, &IApplication::get_Document));
    ComPtr<IMap> map = Get(document, &IMxDocument::get_FocusMap);
    // The conversion uses the focus map's own display, not the document's
    // active view.
    ComPtr<IActiveView> view = As<IActiveView>(Get(document, &IMxDocument::get_FocusMap));
    state.PictureCount = 0;
    ComPtr<IDisplayTransformation> transformation =
        Get(Get(view, &IActiveView::get_ScreenDisplay), &IScreenDisplay::get_DisplayTransformation);
    ComPtr<IPoint> point;
    Check(transformation->ToMapPoint(x, y, point.GetAddressOf()));
    if (!point) Raise(ErrorNumber::ObjectNotSet);
    // Read afresh on every press, so a changed tolerance takes effect at once.
    const double tolerance = Read(document, &IMxDocument::get_SearchTolerance);
    ComPtr<IFeature> feature = FindFeature(state, tolerance, point, map);
    if (state.PictureCount != 0) {
        DisplayPicture::Instance().SetBasePath(state.BasePath);
        ShowPictures(state, feature);
    } else {
        ShowMessage(nullptr, kNoImagesFound);
    }
}

} // namespace snapvane
