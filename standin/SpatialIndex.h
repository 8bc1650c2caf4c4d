// A uniform grid over the bounds of a feature class's shapes, so that a query
// box visits the few shapes near it instead of every shape of the class.
#pragma once

#include "standin/StandIn.h"

#include <cstdint>
#include <vector>

namespace snapvane::standin {

class GridIndex {
public:
    // Indexes the given bounds; entry i stands for the row i. Bounds with no
    // area of their own (a point) are fine; inverted bounds (an empty shape)
    // are left out.
    void Build(const std::vector<Extent>& bounds);
    // The rows whose bounds meet the box, ascending. Exact tests are the
    // caller's.
    std::vector<size_t> Candidates(const Extent& box) const;

private:
    struct CellRange {
        long column0, row0, column1, row1;
    };
    CellRange CellsOf(const Extent& box) const;

    std::vector<Extent> bounds_;
    Extent extent_{};
    long columns_ = 0;
    long rows_ = 0;
    double cellWidth_ = 1;
    double cellHeight_ = 1;
    std::vector<std::vector<uint32_t>> cells_;
    std::vector<uint32_t> large_;  // rows that would cover too many cells
};

} // namespace snapvane::standin
