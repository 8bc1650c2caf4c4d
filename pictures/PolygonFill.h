// Inside the core: the scan-line work of filling polygons. Under Wine,
// filling takes time for every scan line in proportion to the square of the
// edges that cross it, wherever the mapping puts the polygon.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace snapvane::metafile {

struct PolygonPoint {
    std::int32_t x = 0, y = 0;
};

// The edges of the polygons of one record, by the logical rows they span.
class ScanLineCrossings {
public:
    void Clear() { edgeEnds_.clear(); }
    void AddEdge(PolygonPoint from, PolygonPoint to);

    // The pairs of edges crossing each scan line, summed over the surface's
    // rows where the most edges cross (a row counts the most edges that cross
    // any logical row it covers); scale is the pixels a logical row takes. A
    // bound below worthSweeping is taken as it is, without the sweep.
    double CrossingPairs(double scale, double surfaceRows, double worthSweeping);

private:
    std::vector<std::pair<std::int32_t, int>> edgeEnds_;  // where edges start (+1) and end (-1)
};

} // namespace snapvane::metafile
