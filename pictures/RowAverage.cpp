#include "pictures/RowAverage.h"

#include <algorithm>

namespace snapvane {

namespace {

// Sums of one span of a row; 32 bits hold them while a span is narrower than
// 2^24 pixels, and cost a 32-bit build half the additions of 64 bits.
template <unsigned BytesPerPixel, bool Alpha, class SpanSum>
void AddRowTo(const Byte* row, const unsigned* spans, size_t count, std::uint64_t* sum) {
    for (size_t k = 0; k < count; ++k, sum += 4) {
        const unsigned first = spans[2 * k], last = spans[2 * k + 1];
        SpanSum blue = 0, green = 0, red = 0, alpha = 0;
        const Byte* pixel = row + static_cast<size_t>(first) * BytesPerPixel;
        for (unsigned x = first; x < last; ++x, pixel += BytesPerPixel) {
            blue += pixel[0];
            green += pixel[1];
            red += pixel[2];
            if constexpr (Alpha) alpha += pixel[3];
        }
        sum[0] += blue;
        sum[1] += green;
        sum[2] += red;
        sum[3] += alpha;
    }
}

} // namespace

RowAverage::RowAverage(unsigned sourceWidth, unsigned sourceHeight, unsigned bytesPerPixel, bool premultipliedAlpha,
                       const PixelTarget& target, Colour background)
    : columns_(Spans(sourceWidth, target.place.right - target.place.left)),
      targetRows_(Spans(sourceHeight, target.place.bottom - target.place.top)),
      sums_(columns_.size() * 4),
      bytesPerPixel_(bytesPerPixel),
      alpha_(premultipliedAlpha),
      target_(target),
      background_(background) {
    for (const Span& span : columns_) narrowSpans_ = narrowSpans_ && span.last - span.first < (1u << 24);
}

std::vector<RowAverage::Span> RowAverage::Spans(unsigned source, std::int32_t target) {
    std::vector<Span> spans(target > 0 ? static_cast<size_t>(target) : 0);
    for (size_t k = 0; k < spans.size(); ++k) {
        auto first = static_cast<unsigned>(static_cast<std::uint64_t>(k) * source / spans.size());
        auto last = static_cast<unsigned>(static_cast<std::uint64_t>(k + 1) * source / spans.size());
        spans[k] = {first, std::max(last, first + 1)};
    }
    return spans;
}

void RowAverage::AddRow(const Byte* row) {
    // Enlarging, one source row serves several target rows in turn: the
    // first is averaged, the others are copies of it.
    bool written = false;
    while (!Done() && targetRows_[targetRow_].first <= sourceRow_) {
        if (written && targetRows_[targetRow_].first == sourceRow_ && targetRows_[targetRow_].last == sourceRow_ + 1) {
            CopyPreviousTargetRow();
            continue;
        }
        AddToSums(row);
        if (sourceRow_ + 1 < targetRows_[targetRow_].last) break;
        WriteTargetRow();
        written = targetRows_[targetRow_ - 1].first == sourceRow_;
    }
    ++sourceRow_;
}

Byte* RowAverage::TargetRow(size_t row) const {
    return target_.bits + static_cast<size_t>(target_.place.top + static_cast<std::int32_t>(row)) *
                              static_cast<size_t>(target_.stride) +
           static_cast<size_t>(target_.place.left) * 3;
}

void RowAverage::CopyPreviousTargetRow() {
    std::copy_n(TargetRow(targetRow_ - 1), columns_.size() * 3, TargetRow(targetRow_));
    ++targetRow_;
}

// Rounded down, (sum * reciprocal) >> 32 is sum / count for every sum of up
// to 255 a pixel plus half the count, while the count stays below 4,096;
// beyond, the division itself is made.
constexpr std::uint64_t kExactReciprocalCounts = 4096;

const std::vector<std::uint64_t>& RowAverage::ReciprocalsFor(unsigned rows) {
    Reciprocals& cached = reciprocals_[0].rows == rows || reciprocals_[0].rows == 0 ? reciprocals_[0]
                          : reciprocals_[1].rows == rows                            ? reciprocals_[1]
                          : reciprocals_[1].rows == 0                               ? reciprocals_[1]
                                                                                    : reciprocals_[0];
    if (cached.rows != rows) {
        cached.rows = rows;
        cached.values.resize(columns_.size());
        for (size_t k = 0; k < columns_.size(); ++k) {
            const std::uint64_t count = static_cast<std::uint64_t>(columns_[k].last - columns_[k].first) * rows;
            cached.values[k] = count < kExactReciprocalCounts ? ((std::uint64_t{1} << 32) + count - 1) / count : 0;
        }
    }
    return cached.values;
}

void RowAverage::AddToSums(const Byte* row) {
    static_assert(sizeof(Span) == 2 * sizeof(unsigned), "spans are read as pairs");
    const auto* spans = reinterpret_cast<const unsigned*>(columns_.data());
    if (narrowSpans_) {
        if (bytesPerPixel_ == 3) AddRowTo<3, false, std::uint32_t>(row, spans, columns_.size(), sums_.data());
        else if (alpha_) AddRowTo<4, true, std::uint32_t>(row, spans, columns_.size(), sums_.data());
        else AddRowTo<4, false, std::uint32_t>(row, spans, columns_.size(), sums_.data());
    } else {
        if (bytesPerPixel_ == 3) AddRowTo<3, false, std::uint64_t>(row, spans, columns_.size(), sums_.data());
        else if (alpha_) AddRowTo<4, true, std::uint64_t>(row, spans, columns_.size(), sums_.data());
        else AddRowTo<4, false, std::uint64_t>(row, spans, columns_.size(), sums_.data());
    }
    ++rowsAdded_;
}

// The averages of the target row, laid over the background where the
// picture is transparent (its colours are premultiplied by their alpha).
void RowAverage::WriteTargetRow() {
    Byte* out = TargetRow(targetRow_);
    std::uint64_t* sum = sums_.data();
    if (!alpha_) {
        const std::vector<std::uint64_t>& reciprocals = ReciprocalsFor(rowsAdded_);
        for (size_t k = 0; k < columns_.size(); ++k, sum += 4) {
            const std::uint64_t count = static_cast<std::uint64_t>(columns_[k].last - columns_[k].first) * rowsAdded_;
            const std::uint64_t reciprocal = reciprocals[k];
            for (int channel = 0; channel < 3; ++channel) {
                const std::uint64_t rounded = sum[channel] + count / 2;
                *out++ = static_cast<Byte>(reciprocal ? (rounded * reciprocal) >> 32 : rounded / count);
                sum[channel] = 0;
            }
        }
    } else {
        const std::uint64_t back[3] = {BlueOf(background_), GreenOf(background_), RedOf(background_)};
        for (const Span& span : columns_) {
            const std::uint64_t count = static_cast<std::uint64_t>(span.last - span.first) * rowsAdded_;
            const std::uint64_t cover = (sum[3] + count / 2) / count;
            for (int channel = 0; channel < 3; ++channel) {
                std::uint64_t value = (sum[channel] + count / 2) / count + (back[channel] * (255 - cover) + 127) / 255;
                *out++ = static_cast<Byte>(std::min<std::uint64_t>(value, 255));
            }
            sum[0] = sum[1] = sum[2] = sum[3] = 0;
            sum += 4;
        }
    }
    rowsAdded_ = 0;
    ++targetRow_;
}

} // namespace snapvane
