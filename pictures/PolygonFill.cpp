#include "pictures/PolygonFill.h"

#include <algorithm>
#include <cmath>

namespace snapvane::metafile {

void ScanLineCrossings::AddEdge(PolygonPoint from, PolygonPoint to) {
    if (from.y == to.y) return;  // a level edge crosses no scan line
    edgeEnds_.push_back({std::min(from.y, to.y), +1});
    edgeEnds_.push_back({std::max(from.y, to.y), -1});
}

double ScanLineCrossings::CrossingPairs(double scale, double surfaceRows, double worthSweeping) {
    const double edges = static_cast<double>(edgeEnds_.size() / 2);
    const double quickBound = (edges * edges + edges) * surfaceRows;
    if (quickBound < worthSweeping) return quickBound;
    std::sort(edgeEnds_.begin(), edgeEnds_.end());
    struct Rows {
        double crossing, count;
    };
    std::vector<Rows> rows;
    double crossing = 0, openRow = -1, openCrossing = 0;
    auto closeOpenRow = [&] {
        if (openRow >= 0 && openCrossing > 0) rows.push_back({openCrossing, 1});
        openCrossing = 0;
    };
    for (size_t k = 0; k + 1 < edgeEnds_.size(); ++k) {
        crossing += edgeEnds_[k].second;
        const double from = edgeEnds_[k].first, to = edgeEnds_[k + 1].first;
        if (to <= from || crossing <= 0) continue;
        // Device rows of this run of logical rows: the first and last may be
        // shared with other runs, those between are its own.
        const double first = std::floor(from * scale), last = std::floor((to - 1) * scale + 1e-9);
        if (first != openRow) {
            closeOpenRow();
            openRow = first;
        }
        openCrossing = std::max(openCrossing, crossing);
        if (last > first) {
            closeOpenRow();
            if (last - first > 1) rows.push_back({crossing, last - first - 1});
            openRow = last;
            openCrossing = crossing;
        }
    }
    closeOpenRow();
    std::sort(rows.begin(), rows.end(), [](const Rows& a, const Rows& b) { return a.crossing > b.crossing; });
    double pairs = 0, rowsLeft = surfaceRows;
    for (const Rows& block : rows) {
        const double count = std::min(block.count, rowsLeft);
        pairs += (block.crossing * block.crossing + block.crossing) * count;
        rowsLeft -= count;
        if (rowsLeft <= 0) break;
    }
    return pairs;
}

} // namespace snapvane::metafile
