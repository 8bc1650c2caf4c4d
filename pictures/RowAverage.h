// Averaging a picture down to the box while it is read, one source row at a
// time: the viewer never holds the picture it reads, only a row of sums.
#pragma once

#include "pictures/Bytes.h"

#include <cstdint>
#include <vector>

namespace snapvane {

// Where scaled pixels go: 24-bit rows, blue first, in a DIB section's bits.
struct PixelTarget {
    Byte* bits = nullptr;
    std::int32_t stride = 0;  // bytes from one row to the next
    PixelRect place{};     // the part of the bitmap the picture fills
};

// Takes the source rows from top to bottom and writes each target row as
// soon as the rows it covers are in: each target pixel the average of the
// source pixels it covers when shrinking, the nearest one when enlarging.
// Source rows are blue, green, red and, with four bytes a pixel, alpha or
// padding; premultiplied alpha is laid over the background.
class RowAverage {
public:
    RowAverage(unsigned sourceWidth, unsigned sourceHeight, unsigned bytesPerPixel, bool premultipliedAlpha,
               const PixelTarget& target, Colour background);

    void AddRow(const Byte* row);
    // True once every target row is written.
    bool Done() const { return targetRow_ >= targetRows_.size(); }

    struct Span {
        unsigned first, last;  // the source pixels [first, last) of one target pixel
    };
    // How target pixels divide the source pixels along one side: a reader
    // that takes rows in another order averages the same pixels with these.
    static std::vector<Span> Spans(unsigned source, std::int32_t target);

private:
    void AddToSums(const Byte* row);
    void WriteTargetRow();
    void CopyPreviousTargetRow();
    const std::vector<std::uint64_t>& ReciprocalsFor(unsigned rows);
    Byte* TargetRow(size_t row) const;

    std::vector<Span> columns_, targetRows_;
    std::vector<std::uint64_t> sums_;  // blue, green, red, alpha per target pixel
    unsigned bytesPerPixel_;
    bool alpha_;
    bool narrowSpans_ = true;  // every span's sums fit 32 bits
    PixelTarget target_;
    Colour background_;
    unsigned sourceRow_ = 0;
    size_t targetRow_ = 0;
    unsigned rowsAdded_ = 0;
    // Dividing by the count of pixels averaged, as multiplying by its
    // reciprocal, for the (at most two) numbers of source rows a target row
    // takes while shrinking.
    struct Reciprocals {
        unsigned rows = 0;
        std::vector<std::uint64_t> values;
    } reciprocals_[2];
};

} // namespace snapvane
