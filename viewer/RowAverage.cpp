#include "viewer/RowAverage.h"

#include <algorithm>

namespace snapvane {

namespace {

template <UINT BytesPerPixel, bool Alpha>
void AddRowTo(const BYTE* row, const UINT* spans, size_t count, std::uint64_t* sum) {
    for (size_t k = 0; k < count; ++k, sum += 4) {
        const UINT first = spans[2 * k], last = spans[2 * k + 1];
        std::uint64_t blue = 0, green = 0, red = 0, alpha = 0;
        const BYTE* pixel = row + static_cast<size_t>(first) * BytesPerPixel;
        for (UINT x = first; x < last; ++x, pixel += BytesPerPixel) {
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

RowAverage::RowAverage(UINT sourceWidth, UINT sourceHeight, UINT bytesPerPixel, bool premultipliedAlpha,
                       const PixelTarget& target, COLORREF background)
    : columns_(Spans(sourceWidth, target.place.right - target.place.left)),
      targetRows_(Spans(sourceHeight, target.place.bottom - target.place.top)),
      sums_(columns_.size() * 4),
      bytesPerPixel_(bytesPerPixel),
      alpha_(premultipliedAlpha),
      target_(target),
      background_(background) {}

std::vector<RowAverage::Span> RowAverage::Spans(UINT source, LONG target) {
    std::vector<Span> spans(target > 0 ? static_cast<size_t>(target) : 0);
    for (size_t k = 0; k < spans.size(); ++k) {
        auto first = static_cast<UINT>(static_cast<std::uint64_t>(k) * source / spans.size());
        auto last = static_cast<UINT>(static_cast<std::uint64_t>(k + 1) * source / spans.size());
        spans[k] = {first, std::max(last, first + 1)};
    }
    return spans;
}

void RowAverage::AddRow(const BYTE* row) {
    // Enlarging, one source row serves several target rows in turn.
    while (!Done() && targetRows_[targetRow_].first <= sourceRow_) {
        AddToSums(row);
        if (sourceRow_ + 1 < targetRows_[targetRow_].last) break;
        WriteTargetRow();
    }
    ++sourceRow_;
}

void RowAverage::AddToSums(const BYTE* row) {
    static_assert(sizeof(Span) == 2 * sizeof(UINT), "spans are read as pairs");
    const auto* spans = reinterpret_cast<const UINT*>(columns_.data());
    if (bytesPerPixel_ == 3) AddRowTo<3, false>(row, spans, columns_.size(), sums_.data());
    else if (alpha_) AddRowTo<4, true>(row, spans, columns_.size(), sums_.data());
    else AddRowTo<4, false>(row, spans, columns_.size(), sums_.data());
    ++rowsAdded_;
}

// The averages of the target row, laid over the background where the
// picture is transparent (its colours are premultiplied by their alpha).
void RowAverage::WriteTargetRow() {
    const std::uint64_t back[3] = {GetBValue(background_), GetGValue(background_), GetRValue(background_)};
    BYTE* out = target_.bits + static_cast<size_t>(target_.place.top + static_cast<LONG>(targetRow_)) *
                                   static_cast<size_t>(target_.stride) +
                static_cast<size_t>(target_.place.left) * 3;
    std::uint64_t* sum = sums_.data();
    for (const Span& span : columns_) {
        const std::uint64_t count = static_cast<std::uint64_t>(span.last - span.first) * rowsAdded_;
        const std::uint64_t cover = alpha_ ? (sum[3] + count / 2) / count : 255;
        for (int channel = 0; channel < 3; ++channel) {
            std::uint64_t value = (sum[channel] + count / 2) / count + (back[channel] * (255 - cover) + 127) / 255;
            *out++ = static_cast<BYTE>(std::min<std::uint64_t>(value, 255));
        }
        sum[0] = sum[1] = sum[2] = sum[3] = 0;
        sum += 4;
    }
    rowsAdded_ = 0;
    ++targetRow_;
}

} // namespace snapvane
