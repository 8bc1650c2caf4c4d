#include "pictures/MetafileFrame.h"

#include "pictures/MetafileCheck.h"
#include "pictures/MetafileRecord.h"
#include "pictures/WindowsFormats.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace snapvane {

namespace {

using metafile::Record;

// What a plain metafile's records say of its frame: the first window they
// set before drawing, and the bounds of all they draw, each point taken from
// the window's origin at the time it is drawn.
class FrameFinder {
public:
    bool Add(const Record& r) {
        switch (r.function) {
        case wmf::kSetWindowOrg:
            origin_ = {r.SignedParam(1), r.SignedParam(0)};
            break;
        case wmf::kOffsetWindowOrg:
            origin_.x += r.SignedParam(1);
            origin_.y += r.SignedParam(0);
            break;
        case wmf::kSetWindowExt:
            if (!drawn_ && !windowSet_ && r.SignedParam(1) != 0 && r.SignedParam(0) != 0) {
                windowSet_ = true;
                window_ = {r.SignedParam(1), r.SignedParam(0)};
            }
            break;
        case wmf::kMoveTo: case wmf::kLineTo: Point(r.SignedParam(1), r.SignedParam(0)); break;
        case wmf::kSetPixel: case wmf::kFloodFill: Point(r.SignedParam(3), r.SignedParam(2)); break;
        case wmf::kExtFloodFill: Point(r.SignedParam(4), r.SignedParam(3)); break;
        case wmf::kPolygon: case wmf::kPolyline: Points(r, 1, r.Param(0)); break;
        case wmf::kPolyPolygon: {
            std::uint64_t points = 0;
            for (std::uint64_t k = 0; k < r.Param(0); ++k) points += r.Param(1 + k);
            Points(r, 1 + r.Param(0), points);
            break;
        }
        case wmf::kRectangle: case wmf::kEllipse: Box(r, 0); break;
        case wmf::kRoundRect: Box(r, 2); break;
        case wmf::kArc: case wmf::kPie: case wmf::kChord: Box(r, 4); break;
        case wmf::kPatBlt: Corner(r.SignedParam(5), r.SignedParam(4), r.SignedParam(3), r.SignedParam(2)); break;
        case wmf::kTextOut: {
            const std::uint64_t at = 1 + (std::uint64_t{r.Param(0)} + 1) / 2;
            Point(r.SignedParam(at + 1), r.SignedParam(at));
            break;
        }
        case wmf::kExtTextOut: Point(r.SignedParam(1), r.SignedParam(0)); break;
        case wmf::kBitBlt: case wmf::kStretchBlt: {
            OldBitmapTransfer transfer;
            if (ReadOldBitmapTransfer(r.function, r.params, static_cast<size_t>(2 * r.paramWords), transfer))
                Corner(transfer.destX, transfer.destY, transfer.destWidth, transfer.destHeight);
            break;
        }
        case wmf::kDIBBitBlt:
            if (r.paramWords > 9) Corner(r.SignedParam(7), r.SignedParam(6), r.SignedParam(5), r.SignedParam(4));
            else Corner(r.SignedParam(8), r.SignedParam(7), r.SignedParam(6), r.SignedParam(5));
            break;
        case wmf::kDIBStretchBlt: Corner(r.SignedParam(9), r.SignedParam(8), r.SignedParam(7), r.SignedParam(6)); break;
        case wmf::kStretchDIB: Corner(r.SignedParam(10), r.SignedParam(9), r.SignedParam(8), r.SignedParam(7)); break;
        case wmf::kSetDIBToDev: Corner(r.SignedParam(8), r.SignedParam(7), r.SignedParam(6), r.SignedParam(5)); break;
        default: break;
        }
        return true;
    }

    bool Frame(MetafileFrame& frame) const {
        std::int64_t left = 0, top = 0, width = 0, height = 0;
        if (windowSet_) {
            // The records set their window again as they play: the player's
            // own starts where theirs does.
            width = window_.x;
            height = window_.y;
        } else if (drawn_) {
            left = left_;
            top = top_;
            width = std::max<std::int64_t>(1, right_ - left_);
            height = std::max<std::int64_t>(1, bottom_ - top_);
        } else {
            return false;
        }
        // Bounds far beyond what GDI's 32-bit coordinates hold, which only a
        // file of many offsets makes, give no frame.
        const std::int64_t himetricWidth = std::abs(width) * 2540 / kPlainMetafileUnitsPerInch;
        const std::int64_t himetricHeight = std::abs(height) * 2540 / kPlainMetafileUnitsPerInch;
        for (std::int64_t value : {left, top, himetricWidth, himetricHeight})
            if (value < INT32_MIN || value > INT32_MAX) return false;
        frame.left = static_cast<std::int32_t>(left);
        frame.top = static_cast<std::int32_t>(top);
        frame.width = static_cast<std::int32_t>(width);
        frame.height = static_cast<std::int32_t>(height);
        frame.himetricWidth = static_cast<std::int32_t>(himetricWidth);
        frame.himetricHeight = static_cast<std::int32_t>(himetricHeight);
        return frame.himetricWidth > 0 && frame.himetricHeight > 0;
    }

private:
    // Origins and bounds in 64 bits: a file may offset its window origin
    // record after record, further than 32 bits reach.
    struct Logical {
        std::int64_t x = 0, y = 0;
    };

    void Point(std::int64_t x, std::int64_t y) {
        const std::int64_t fromX = x - origin_.x, fromY = y - origin_.y;
        if (!drawn_) left_ = right_ = fromX, top_ = bottom_ = fromY, drawn_ = true;
        left_ = std::min(left_, fromX);
        right_ = std::max(right_, fromX);
        top_ = std::min(top_, fromY);
        bottom_ = std::max(bottom_, fromY);
    }
    void Points(const Record& r, std::uint64_t at, std::uint64_t count) {
        for (std::uint64_t k = 0; k < count; ++k) Point(r.SignedParam(at + 2 * k), r.SignedParam(at + 2 * k + 1));
    }
    // A shape's bounding box: bottom, right, top, left from word at.
    void Box(const Record& r, std::uint64_t at) {
        Point(r.SignedParam(at + 3), r.SignedParam(at + 2));
        Point(r.SignedParam(at + 1), r.SignedParam(at));
    }
    void Corner(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height) {
        Point(x, y);
        Point(x + width, y + height);
    }

    Logical origin_, window_;
    bool windowSet_ = false, drawn_ = false;
    std::int64_t left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
};

bool ReadPlaceableFrame(const Byte* bytes, size_t size, MetafileFrame& frame) {
    if (!IsPlayableMetafile(bytes, size)) return false;
    const std::int64_t unitsPerInch = Little16(bytes + 14);
    const std::int64_t width = metafile::SignedWord(bytes + 10) - metafile::SignedWord(bytes + 6);
    const std::int64_t height = metafile::SignedWord(bytes + 12) - metafile::SignedWord(bytes + 8);
    if (unitsPerInch == 0 || width <= 0 || height <= 0) return false;
    frame.himetricWidth = static_cast<std::int32_t>(width * 2540 / unitsPerInch);
    frame.himetricHeight = static_cast<std::int32_t>(height * 2540 / unitsPerInch);
    // The OLE picture's own mapping: the picture's size in HIMETRIC as the window.
    frame.left = frame.top = 0;
    frame.width = frame.himetricWidth;
    frame.height = frame.himetricHeight;
    frame.recordsAt = metafile::kPlaceableHeaderBytes;
    return frame.himetricWidth > 0 && frame.himetricHeight > 0;
}

} // namespace

bool ReadMetafileFrame(const Byte* bytes, size_t size, MetafileFrame& frame) {
    frame = MetafileFrame{};
    if (size >= 4 && Little32(bytes) == metafile::kPlaceableKey) return ReadPlaceableFrame(bytes, size, frame);
    FrameFinder finder;
    if (metafile::WalkRecords(bytes, size, [&](const Record& r) { return finder.Add(r); }) != metafile::Walk::Finished)
        return false;
    return finder.Frame(frame);
}

} // namespace snapvane
