#include "standin/SpatialIndex.h"

#include <algorithm>
#include <cmath>

namespace snapvane::standin {

namespace {

bool Valid(const Extent& e) { return e.xmin <= e.xmax && e.ymin <= e.ymax; }

bool Overlap(const Extent& a, const Extent& b) {
    return a.xmin <= b.xmax && b.xmin <= a.xmax && a.ymin <= b.ymax && b.ymin <= a.ymax;
}

constexpr long kMaxCellsPerRow = 16;  // a row covering more goes to the large list

} // namespace

void GridIndex::Build(const std::vector<Extent>& bounds) {
    bounds_ = bounds;
    cells_.clear();
    large_.clear();
    bool any = false;
    for (const Extent& b : bounds_) {
        if (!Valid(b)) continue;
        if (!any) extent_ = b;
        extent_.xmin = std::min(extent_.xmin, b.xmin);
        extent_.ymin = std::min(extent_.ymin, b.ymin);
        extent_.xmax = std::max(extent_.xmax, b.xmax);
        extent_.ymax = std::max(extent_.ymax, b.ymax);
        any = true;
    }
    if (!any) {
        columns_ = rows_ = 0;
        return;
    }
    // About four rows per cell.
    const long side = std::max(1L, static_cast<long>(std::sqrt(static_cast<double>(bounds_.size()) / 4.0)));
    columns_ = rows_ = side;
    const double width = extent_.xmax - extent_.xmin;
    const double height = extent_.ymax - extent_.ymin;
    cellWidth_ = width > 0 ? width / columns_ : 1;
    cellHeight_ = height > 0 ? height / rows_ : 1;
    cells_.assign(static_cast<size_t>(columns_ * rows_), {});
    for (size_t i = 0; i < bounds_.size(); ++i) {
        if (!Valid(bounds_[i])) continue;
        const CellRange r = CellsOf(bounds_[i]);
        const long covered = (r.column1 - r.column0 + 1) * (r.row1 - r.row0 + 1);
        if (covered > kMaxCellsPerRow) {
            large_.push_back(static_cast<uint32_t>(i));
            continue;
        }
        for (long row = r.row0; row <= r.row1; ++row)
            for (long column = r.column0; column <= r.column1; ++column)
                cells_[static_cast<size_t>(row * columns_ + column)].push_back(static_cast<uint32_t>(i));
    }
}

GridIndex::CellRange GridIndex::CellsOf(const Extent& box) const {
    auto clamp = [](double value, long count) {
        if (!(value > 0)) return 0L;  // also for NaN
        return std::min(count - 1, static_cast<long>(value));
    };
    return CellRange{clamp((box.xmin - extent_.xmin) / cellWidth_, columns_),
                     clamp((box.ymin - extent_.ymin) / cellHeight_, rows_),
                     clamp((box.xmax - extent_.xmin) / cellWidth_, columns_),
                     clamp((box.ymax - extent_.ymin) / cellHeight_, rows_)};
}

std::vector<size_t> GridIndex::Candidates(const Extent& box) const {
    std::vector<size_t> found;
    if (columns_ == 0 || !Valid(box) || !Overlap(box, extent_)) return found;
    const CellRange r = CellsOf(box);
    for (long row = r.row0; row <= r.row1; ++row)
        for (long column = r.column0; column <= r.column1; ++column)
            for (uint32_t i : cells_[static_cast<size_t>(row * columns_ + column)])
                if (Overlap(bounds_[i], box)) found.push_back(i);
    for (uint32_t i : large_)
        if (Overlap(bounds_[i], box)) found.push_back(i);
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

} // namespace snapvane::standin
