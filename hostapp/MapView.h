// What the main window shows of the map: the layers in map order, visible
// ones only, each feature drawn with a simple symbol of its layer, and the
// extent shown on the canvas (fitted, panned and zoomed by the host).
#pragma once

#include "standin/StandIn.h"
#include "win32/ComTypes.h"

#include <windows.h>

#include <string>
#include <vector>

namespace snapvane::hostapp {

struct LayerDrawing {
    std::wstring name;
    bool visible = true;
    bool selectable = true;
    bool featureLayer = false;
    int depth = 0;  // 0: top-level, 1: inside a group layer
    std::vector<standin::Shape> shapes;
};

class MapView {
public:
    // Reads the layers and shapes of the host's focus map and fits the view.
    void Load(standin::StandInHost& host);
    void Clear() noexcept;
    bool Empty() const noexcept { return host_ == nullptr; }

    const std::vector<LayerDrawing>& Layers() const noexcept { return layers_; }

    // The canvas size in pixels; the full extent is fitted to it, map units
    // square. A document's view, once shown, stays as it is.
    void SetCanvasSize(long width, long height);
    // Shows exactly the view the map document sets: a device of width x
    // height pixels with the extent stretched to fill it.
    void ShowDocumentView(const standin::StandInHost::View& view);
    long Width() const noexcept { return width_; }
    long Height() const noexcept { return height_; }
    void ZoomToFullExtent();
    void Pan(long dx, long dy);                      // by device pixels
    void Zoom(double factor, long atX, long atY);    // factor > 1 zooms in

    standin::MapPoint ToMap(long x, long y) const;
    POINT ToDevice(standin::MapPoint point) const;

    void Paint(HDC dc, const RECT& area) const;

private:
    void Apply();  // hands the current view to the host's display
    void PaintLegend(HDC dc) const;

    standin::StandInHost* host_ = nullptr;
    std::vector<LayerDrawing> layers_;
    standin::Extent full_{0, 0, 1, 1};
    standin::Extent shown_{0, 0, 1, 1};
    long width_ = 1, height_ = 1;
    bool documentView_ = false;
};

} // namespace snapvane::hostapp
