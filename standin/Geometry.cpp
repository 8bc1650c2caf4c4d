// Plain geometry of the stand-in host: shapes, their bounds and whether a
// shape meets a rectangle. Edges count: a shape that only touches the box
// intersects it.
#include "standin/StandIn.h"

#include <algorithm>
#include <limits>

namespace snapvane::standin {

Shape Shape::Point(double x, double y) { return Shape{ShapeKind::Point, {{MapPoint{x, y}}}}; }
Shape Shape::Line(std::vector<MapPoint> path) { return Shape{ShapeKind::Polyline, {std::move(path)}}; }
Shape Shape::Polygon(std::vector<MapPoint> ring) { return Shape{ShapeKind::Polygon, {std::move(ring)}}; }

Extent Bounds(const Shape& shape) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    Extent bounds{inf, inf, -inf, -inf};
    for (const auto& part : shape.parts)
        for (const MapPoint& p : part) {
            bounds.xmin = std::min(bounds.xmin, p.x);
            bounds.ymin = std::min(bounds.ymin, p.y);
            bounds.xmax = std::max(bounds.xmax, p.x);
            bounds.ymax = std::max(bounds.ymax, p.y);
        }
    return bounds;
}

namespace {

bool Contains(const Extent& box, const MapPoint& p) {
    return p.x >= box.xmin && p.x <= box.xmax && p.y >= box.ymin && p.y <= box.ymax;
}

// Liang-Barsky clipping of the segment a-b against the closed box: true when
// some part of the segment lies in the box, its edges included.
bool SegmentMeetsBox(const MapPoint& a, const MapPoint& b, const Extent& box) {
    double t0 = 0, t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - box.xmin, box.xmax - a.x, a.y - box.ymin, box.ymax - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;  // parallel to this edge and outside it
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    return true;
}

bool PathMeetsBox(const std::vector<MapPoint>& path, const Extent& box, bool closed) {
    if (path.empty()) return false;
    if (path.size() == 1) return Contains(box, path[0]);
    for (size_t i = 0; i + 1 < path.size(); ++i)
        if (SegmentMeetsBox(path[i], path[i + 1], box)) return true;
    return closed && SegmentMeetsBox(path.back(), path.front(), box);
}

// Even-odd rule over every ring of the polygon, so holes are left out.
bool PolygonHolds(const Shape& polygon, const MapPoint& p) {
    bool inside = false;
    for (const auto& ring : polygon.parts) {
        const size_t n = ring.size();
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            const MapPoint& a = ring[i];
            const MapPoint& b = ring[j];
            if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
                inside = !inside;
        }
    }
    return inside;
}

} // namespace

bool Intersects(const Shape& shape, const Extent& box) {
    if (box.xmin > box.xmax || box.ymin > box.ymax) return false;
    switch (shape.kind) {
    case ShapeKind::Point:
        for (const auto& part : shape.parts)
            for (const MapPoint& p : part)
                if (Contains(box, p)) return true;
        return false;
    case ShapeKind::Polyline:
        for (const auto& path : shape.parts)
            if (PathMeetsBox(path, box, false)) return true;
        return false;
    case ShapeKind::Polygon:
        for (const auto& ring : shape.parts)
            if (PathMeetsBox(ring, box, true)) return true;
        // No ring meets the box: either the box lies wholly inside the
        // polygon's area or wholly outside it.
        return PolygonHolds(shape, MapPoint{box.xmin, box.ymin});
    }
    return false;
}

} // namespace snapvane::standin
