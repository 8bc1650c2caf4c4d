#include "pictures/MetafileMapping.h"

#include "pictures/WindowsFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace snapvane {

namespace {

// An extent no record writes: only scaling records repeated make one, and
// GDI's integers would wrap where this check's doubles do not.
constexpr double kLargestExtent = 1 << 24;
constexpr size_t kDeepestSave = 4096;  // far beyond what drawing programs nest

} // namespace

bool MetafileMapping::Extents::Scaled() const {
    return mode == wmf::kMapModeAnisotropic || mode == wmf::kMapModeIsotropic;
}
double MetafileMapping::Extents::ScaleX() const { return Scaled() ? std::abs(viewportX / windowX) : 1; }
double MetafileMapping::Extents::ScaleY() const { return Scaled() ? std::abs(viewportY / windowY) : 1; }

MetafileMapping::MetafileMapping(double windowWidth, double windowHeight, Extent place)
    : now_{wmf::kMapModeAnisotropic, windowWidth, -windowHeight, static_cast<double>(place.cx),
           static_cast<double>(place.cy)} {
    NoteScale();
}

void MetafileMapping::Follow(const metafile::Record& r) {
    switch (r.function) {
    case wmf::kSetMapMode: SetMode(static_cast<int>(r.Param(0))); break;
    case wmf::kSetWindowExt: SetExtent(now_.windowX, now_.windowY, r.SignedParam(1), r.SignedParam(0)); break;
    case wmf::kSetViewportExt: SetExtent(now_.viewportX, now_.viewportY, r.SignedParam(1), r.SignedParam(0)); break;
    case wmf::kScaleWindowExt: ScaleExtent(now_.windowX, now_.windowY, r); break;
    case wmf::kScaleViewportExt: ScaleExtent(now_.viewportX, now_.viewportY, r); break;
    case wmf::kSaveDC:
        saved_.push_back(now_);
        if (saved_.size() > kDeepestSave) exact_ = false;
        break;
    case wmf::kRestoreDC: Restore(r.SignedParam(0)); break;
    default: return;
    }
    NoteScale();
}

void MetafileMapping::SetMode(int mode) {
    if (mode < wmf::kMapModeText || mode > wmf::kMapModeAnisotropic) return;  // GDI refuses it
    if (mode != wmf::kMapModeIsotropic && mode != wmf::kMapModeAnisotropic) now_.windowX = now_.windowY = now_.viewportX = now_.viewportY = 1;
    now_.mode = mode;
}

void MetafileMapping::SetExtent(double& x, double& y, std::int32_t newX, std::int32_t newY) {
    if (!now_.Scaled() || newX == 0 || newY == 0) return;  // ignored, or refused
    x = newX;
    y = newY;
}

void MetafileMapping::ScaleExtent(double& x, double& y, const metafile::Record& r) {
    // Parameters backwards: y denominator, y numerator, x denominator, x numerator.
    const double yDenominator = r.SignedParam(0), yNumerator = r.SignedParam(1);
    const double xDenominator = r.SignedParam(2), xNumerator = r.SignedParam(3);
    if (!now_.Scaled() || xDenominator == 0 || yDenominator == 0) return;
    const double newX = std::trunc(x * xNumerator / xDenominator), newY = std::trunc(y * yNumerator / yDenominator);
    if (newX == 0 || newY == 0) return;
    x = newX;
    y = newY;
    if (std::abs(x) > kLargestExtent || std::abs(y) > kLargestExtent) exact_ = false;
}

void MetafileMapping::Restore(std::int32_t level) {
    if (level < 0 && static_cast<size_t>(-std::int64_t{level}) <= saved_.size()) {
        saved_.resize(saved_.size() - static_cast<size_t>(-std::int64_t{level}) + 1);
        now_ = saved_.back();
        saved_.pop_back();
        return;
    }
    // A level counted from the player's own: the largest state seen stands for it.
    now_.mode = wmf::kMapModeAnisotropic;
    now_.windowX = now_.windowY = 1;
    now_.viewportX = largestScaleX_;
    now_.viewportY = largestScaleY_;
    saved_.clear();
}

void MetafileMapping::NoteScale() {
    largestScaleX_ = std::max(largestScaleX_, now_.ScaleX());
    largestScaleY_ = std::max(largestScaleY_, now_.ScaleY());
}

} // namespace snapvane
