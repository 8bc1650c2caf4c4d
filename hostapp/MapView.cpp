#include "hostapp/MapView.h"

#include "win32/Handles.h"

#include <algorithm>
#include <optional>
#include <cmath>

namespace snapvane::hostapp {

namespace {

// One symbol colour per layer, in map order.
constexpr COLORREF kPalette[] = {RGB(200, 40, 40), RGB(30, 110, 200), RGB(40, 150, 60), RGB(170, 90, 20),
                                 RGB(130, 60, 170), RGB(0, 140, 140)};

bool SameObject(IUnknown* a, IUnknown* b) {
    ComPtr<IUnknown> ua, ub;
    if (!a || !b || FAILED(a->QueryInterface(IID_PPV_ARGS(&ua))) || FAILED(b->QueryInterface(IID_PPV_ARGS(&ub))))
        return false;
    return ua.Get() == ub.Get();
}

std::wstring NameOf(ILayer* layer) {
    Bstr name;
    if (FAILED(layer->get_Name(name.out()))) return {};
    return name.str();
}

// Every shape of a feature layer's class, in stored order.
std::vector<standin::Shape> ShapesOf(IFeatureLayer* layer) {
    std::vector<standin::Shape> shapes;
    ComPtr<IFeatureClass> featureClass;
    ComPtr<IFeatureCursor> cursor;
    if (FAILED(layer->get_FeatureClass(&featureClass)) || !featureClass ||
        FAILED(featureClass->Search(nullptr, VARIANT_FALSE, &cursor)) || !cursor)
        return shapes;
    for (;;) {
        ComPtr<IFeature> feature;
        if (cursor->NextFeature(&feature) != S_OK || !feature) break;
        ComPtr<IGeometry> geometry;
        if (FAILED(feature->get_Shape(&geometry))) continue;
        if (std::optional<standin::Shape> shape = standin::ShapeOf(geometry.Get())) shapes.push_back(std::move(*shape));
    }
    return shapes;
}

void Grow(standin::Extent& extent, const standin::Extent& more, bool& first) {
    if (first) {
        extent = more;
        first = false;
        return;
    }
    extent.xmin = std::min(extent.xmin, more.xmin);
    extent.ymin = std::min(extent.ymin, more.ymin);
    extent.xmax = std::max(extent.xmax, more.xmax);
    extent.ymax = std::max(extent.ymax, more.ymax);
}

} // namespace

void MapView::Load(standin::StandInHost& host) {
    Clear();
    host_ = &host;
    ComPtr<IMap> map = host.FocusMap();
    // The map's top-level layers, and every layer in map order with each
    // group's layers right after the group.
    long count = 0;
    map->get_LayerCount(&count);
    std::vector<ComPtr<ILayer>> topLevel;
    for (long i = 0; i < count; ++i) {
        ComPtr<ILayer> layer;
        if (SUCCEEDED(map->get_Layer(i, &layer)) && layer) topLevel.push_back(layer);
    }
    ComPtr<IEnumLayer> all;
    if (FAILED(map->get_Layers(nullptr, VARIANT_TRUE, &all)) || !all) return;
    all->Reset();
    bool groupHidden = false;
    for (;;) {
        ComPtr<ILayer> layer;
        if (all->Next(&layer) != S_OK || !layer) break;
        LayerDrawing drawing;
        drawing.name = NameOf(layer.Get());
        const bool top = std::any_of(topLevel.begin(), topLevel.end(),
                                     [&](const ComPtr<ILayer>& t) { return SameObject(t.Get(), layer.Get()); });
        drawing.depth = top ? 0 : 1;
        VARIANT_BOOL visible = VARIANT_TRUE;
        layer->get_Visible(&visible);
        drawing.visible = visible != VARIANT_FALSE;
        if (top) groupHidden = !drawing.visible;
        else if (groupHidden) drawing.visible = false;  // a hidden group hides its layers
        ComPtr<IFeatureLayer> featureLayer;
        if (SUCCEEDED(layer.As(&featureLayer))) {
            drawing.featureLayer = true;
            VARIANT_BOOL selectable = VARIANT_TRUE;
            featureLayer->get_Selectable(&selectable);
            drawing.selectable = selectable != VARIANT_FALSE;
            drawing.shapes = ShapesOf(featureLayer.Get());
        }
        layers_.push_back(std::move(drawing));
    }
    bool first = true;
    for (const LayerDrawing& layer : layers_)
        for (const standin::Shape& shape : layer.shapes) Grow(full_, standin::Bounds(shape), first);
    if (first) full_ = {0, 0, 100, 100};
    // A margin, and some size for a map of one point.
    const double marginX = std::max((full_.xmax - full_.xmin) * 0.08, 1.0);
    const double marginY = std::max((full_.ymax - full_.ymin) * 0.08, 1.0);
    full_ = {full_.xmin - marginX, full_.ymin - marginY, full_.xmax + marginX, full_.ymax + marginY};
    ZoomToFullExtent();
}

void MapView::Clear() noexcept {
    host_ = nullptr;
    documentView_ = false;
    layers_.clear();
}

void MapView::SetCanvasSize(long width, long height) {
    if (documentView_) return;
    width_ = std::max(width, 1L);
    height_ = std::max(height, 1L);
    ZoomToFullExtent();
}

void MapView::ShowDocumentView(const standin::StandInHost::View& view) {
    width_ = view.width;
    height_ = view.height;
    shown_ = view.shown;
    documentView_ = true;
    Apply();
}

void MapView::ZoomToFullExtent() {
    // Fit the full extent, keeping map units square on the screen.
    const double scale = std::max((full_.xmax - full_.xmin) / width_, (full_.ymax - full_.ymin) / height_);
    const double cx = (full_.xmin + full_.xmax) / 2, cy = (full_.ymin + full_.ymax) / 2;
    shown_ = {cx - scale * width_ / 2, cy - scale * height_ / 2, cx + scale * width_ / 2, cy + scale * height_ / 2};
    Apply();
}

void MapView::Pan(long dx, long dy) {
    const double scale = (shown_.xmax - shown_.xmin) / width_;
    shown_.xmin -= dx * scale;
    shown_.xmax -= dx * scale;
    shown_.ymin += dy * scale;
    shown_.ymax += dy * scale;
    Apply();
}

void MapView::Zoom(double factor, long atX, long atY) {
    const standin::MapPoint at = ToMap(atX, atY);
    shown_.xmin = at.x - (at.x - shown_.xmin) / factor;
    shown_.xmax = at.x + (shown_.xmax - at.x) / factor;
    shown_.ymin = at.y - (at.y - shown_.ymin) / factor;
    shown_.ymax = at.y + (shown_.ymax - at.y) / factor;
    Apply();
}

void MapView::Apply() {
    if (host_) host_->SetView(width_, height_, shown_);
}

standin::MapPoint MapView::ToMap(long x, long y) const {
    return {shown_.xmin + x * (shown_.xmax - shown_.xmin) / width_,
            shown_.ymax - y * (shown_.ymax - shown_.ymin) / height_};
}

POINT MapView::ToDevice(standin::MapPoint point) const {
    return {std::lround((point.x - shown_.xmin) * width_ / (shown_.xmax - shown_.xmin)),
            std::lround((shown_.ymax - point.y) * height_ / (shown_.ymax - shown_.ymin))};
}

void MapView::Paint(HDC dc, const RECT& area) const {
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (!host_) return;
    // The first layer in map order lies on top, so it is drawn last.
    for (size_t index = layers_.size(); index-- > 0;) {
        const LayerDrawing& layer = layers_[index];
        const COLORREF colour = kPalette[index % ARRAYSIZE(kPalette)];
        if (!layer.visible || !layer.featureLayer) continue;
        unique_hbrush fill(CreateHatchBrush(HS_BDIAGONAL, colour));
        unique_hbrush solid(CreateSolidBrush(colour));
        std::unique_ptr<std::remove_pointer_t<HPEN>, GdiObjectDeleter> pen(CreatePen(PS_SOLID, 2, colour));
        SelectObjectScope penScope(dc, pen.get());
        for (const standin::Shape& shape : layer.shapes) {
            for (const auto& part : shape.parts) {
                std::vector<POINT> points;
                for (const standin::MapPoint& p : part) points.push_back(ToDevice(p));
                if (points.empty()) continue;
                if (shape.kind == standin::ShapeKind::Point) {
                    SelectObjectScope brushScope(dc, solid.get());
                    for (const POINT& p : points) Ellipse(dc, p.x - 5, p.y - 5, p.x + 6, p.y + 6);
                } else if (shape.kind == standin::ShapeKind::Polyline) {
                    Polyline(dc, points.data(), static_cast<int>(points.size()));
                } else {
                    SelectObjectScope brushScope(dc, fill.get());
                    SetBkMode(dc, TRANSPARENT);
                    Polygon(dc, points.data(), static_cast<int>(points.size()));
                }
            }
        }
    }
    PaintLegend(dc);
}

void MapView::PaintLegend(HDC dc) const {
    // The table of contents: every layer in map order, groups' layers indented,
    // greyed when not drawn.
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SelectObjectScope fontScope(dc, font);
    SetBkMode(dc, TRANSPARENT);
    int y = 8;
    for (size_t index = 0; index < layers_.size(); ++index) {
        const LayerDrawing& layer = layers_[index];
        const int x = 8 + 16 * layer.depth;
        if (layer.featureLayer) {
            unique_hbrush swatch(CreateSolidBrush(kPalette[index % ARRAYSIZE(kPalette)]));
            RECT box{x, y + 3, x + 10, y + 13};
            FillRect(dc, &box, swatch.get());
        }
        std::wstring text = layer.name;
        if (layer.featureLayer && !layer.selectable) text += L" (not selectable)";
        SetTextColor(dc, layer.visible ? RGB(0, 0, 0) : RGB(150, 150, 150));
        TextOutW(dc, x + 14, y, text.c_str(), static_cast<int>(text.size()));
        y += 17;
    }
}

} // namespace snapvane::hostapp
