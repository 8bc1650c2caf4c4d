#include "pictures/GifFirstImage.h"

#include "pictures/LittleEndian.h"
#include "pictures/PictureContent.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

namespace snapvane {

namespace {

constexpr size_t kScreenBytes = 13;
constexpr size_t kDescriptorBytes = 10;
constexpr Byte kImageSeparator = 0x2C, kExtensionIntroducer = 0x21, kGraphicControlLabel = 0xF9;
constexpr unsigned kLargestCode = 4095;

// Past an extension's sub-blocks and their terminator; false when they run
// past the file.
bool SkipSubBlocks(const Byte* bytes, size_t size, size_t& at) {
    while (at < size && bytes[at] != 0) {
        const size_t length = bytes[at];
        if (size - at - 1 < length) return false;
        at += 1 + length;
    }
    if (at >= size) return false;
    ++at;
    return true;
}

// A colour table of 2^(n+1) entries when the flags say there is one; false
// when it does not fit in the file.
bool ReadColourTable(const Byte* bytes, size_t size, Byte flags, size_t& at, const Byte*& colours, unsigned& count) {
    if (!(flags & 0x80)) return true;
    const unsigned entries = 2u << (flags & 7);
    if (size - at < entries * 3u) return false;
    colours = bytes + at;
    count = entries;
    at += entries * 3u;
    return true;
}

// The image's data, sub-block after sub-block, as a stream of codes of the
// asked width, least significant bit first. A length byte that runs past the
// file ends the data at the file's end.
class SubBlockBits {
public:
    SubBlockBits(const Byte* bytes, size_t size, size_t at) : bytes_(bytes), size_(size), at_(at), blockEnd_(at) {}

    bool Read(unsigned width, unsigned& code) {
        while (count_ < width) {
            if (at_ == blockEnd_ && !NextBlock()) return false;
            bits_ |= static_cast<std::uint32_t>(bytes_[at_++]) << count_;
            count_ += 8;
        }
        code = bits_ & ((1u << width) - 1);
        bits_ >>= width;
        count_ -= width;
        return true;
    }

private:
    bool NextBlock() {
        while (at_ == blockEnd_) {
            if (at_ >= size_ || bytes_[at_] == 0) return false;
            const size_t length = bytes_[at_++];
            blockEnd_ = at_ + std::min(length, size_ - at_);
        }
        return true;
    }

    const Byte* bytes_;
    size_t size_, at_, blockEnd_;
    std::uint32_t bits_ = 0;
    unsigned count_ = 0;
};

// Where each target pixel's source pixels begin and end, as RowAverage
// divides them, so that an interlaced image averages as a plain one does.
using Span = RowAverage::Span;

unsigned LongestSpan(const std::vector<Span>& spans) {
    unsigned longest = 1;
    for (const Span& span : spans) longest = std::max(longest, span.last - span.first);
    return longest;
}

// Rows taken in order, the plain image's way.
class InOrder {
public:
    InOrder(const GifImage& image, const PixelTarget& target, Colour background)
        : average_(image.width, image.height, 3, false, target, background) {}
    void AddRow(unsigned, const Byte* row) { average_.AddRow(row); }
    void Finish() {}

private:
    RowAverage average_;
};

// Rows taken in any order, an interlaced image's way: every target pixel
// keeps its own sums until the last row is in, so that the image itself is
// never held. Sums are as wide as the most pixels one target pixel covers needs.
template <class Sum>
class AnyOrder {
public:
    AnyOrder(std::vector<Span> columns, std::vector<Span> rows, const PixelTarget& target)
        : columns_(std::move(columns)), rows_(std::move(rows)), rowSums_(columns_.size() * 3),
          sums_(columns_.size() * rows_.size() * 3), target_(target) {}

    static size_t BytesFor(size_t columns, size_t rows) { return columns * rows * 3 * sizeof(Sum) + columns * 24; }

    void AddRow(unsigned y, const Byte* row) {
        for (size_t k = 0; k < columns_.size(); ++k) {
            std::uint64_t blue = 0, green = 0, red = 0;
            for (unsigned x = columns_[k].first; x < columns_[k].last; ++x) {
                blue += row[x * 3];
                green += row[x * 3 + 1];
                red += row[x * 3 + 2];
            }
            rowSums_[k * 3] = blue;
            rowSums_[k * 3 + 1] = green;
            rowSums_[k * 3 + 2] = red;
        }
        // Spans are in order, so the target rows that take source row y follow each other.
        auto target = std::partition_point(rows_.begin(), rows_.end(), [y](const Span& span) { return span.last <= y; });
        for (; target != rows_.end() && target->first <= y; ++target) {
            Sum* sums = &sums_[static_cast<size_t>(target - rows_.begin()) * columns_.size() * 3];
            for (size_t k = 0; k < rowSums_.size(); ++k) sums[k] += static_cast<Sum>(rowSums_[k]);
        }
    }

    void Finish() {
        const Sum* sums = sums_.data();
        for (size_t y = 0; y < rows_.size(); ++y) {
            Byte* out = target_.bits +
                        static_cast<size_t>(target_.place.top + static_cast<std::int32_t>(y)) *
                            static_cast<size_t>(target_.stride) +
                        static_cast<size_t>(target_.place.left) * 3;
            for (const Span& column : columns_) {
                const std::uint64_t count = static_cast<std::uint64_t>(column.last - column.first) *
                                            (rows_[y].last - rows_[y].first);
                for (int channel = 0; channel < 3; ++channel) *out++ = static_cast<Byte>((*sums++ + count / 2) / count);
            }
        }
    }

private:
    std::vector<Span> columns_, rows_;
    std::vector<std::uint64_t> rowSums_;
    std::vector<Sum> sums_;
    PixelTarget target_;
};

// The colour of every index, blue first as the target takes it: the image's
// table, or without one the default (black, white, then a grey ramp);
// indices past the table are black, the transparent one the background.
// Colour indices a first code can name: writers use up to 256, readers take
// codes of up to 11 bits at the start, whose indices past the table are black.
constexpr unsigned kIndices = 2048;

std::array<Byte, kIndices * 3> Palette(const GifImage& image, Colour background) {
    std::array<Byte, kIndices * 3> palette{};
    for (unsigned entry = 0; entry < 256; ++entry) {
        Byte* bgr = &palette[entry * 3];
        if (image.colours) {
            if (entry >= image.colourCount) continue;
            bgr[0] = image.colours[entry * 3 + 2];
            bgr[1] = image.colours[entry * 3 + 1];
            bgr[2] = image.colours[entry * 3];
        } else {
            const Byte grey = entry == 0 ? 0 : entry == 1 ? 255 : static_cast<Byte>(entry);
            bgr[0] = bgr[1] = bgr[2] = grey;
        }
    }
    if (image.transparent >= 0) {
        Byte* bgr = &palette[static_cast<size_t>(image.transparent) * 3];
        bgr[0] = static_cast<Byte>(BlueOf(background));
        bgr[1] = static_cast<Byte>(GreenOf(background));
        bgr[2] = static_cast<Byte>(RedOf(background));
    }
    return palette;
}

// The image's rows, decoded from its LZW codes and handed to the sink in the
// order they are stored (the four passes of an interlaced image). A stream
// that ends early or holds a code not yet defined ends the image there.
template <class Sink>
GifVerdict Decode(const Byte* bytes, size_t size, const GifImage& image, Colour background, PictureBudget& budget,
                  Sink& sink) {
    const std::array<Byte, kIndices * 3> palette = Palette(image, background);
    std::vector<Byte> row(static_cast<size_t>(image.width) * 3);
    static constexpr unsigned kPassStart[] = {0, 4, 2, 1}, kPassStep[] = {8, 8, 4, 2};
    unsigned x = 0, y = 0, pass = 0;
    std::uint32_t rowsDone = 0;
    bool timeUp = false;
    auto rowDone = [&] {
        sink.AddRow(y, row.data());
        x = 0;
        ++rowsDone;
        timeUp = budget.TimeIsUp();
        y += image.interlaced ? kPassStep[pass] : 1;
        while (image.interlaced && y >= image.height && pass < 3) y = kPassStart[++pass];
    };

    struct Entry {
        std::uint16_t prefix, length, suffix, first;
    };
    std::vector<Entry> table(kLargestCode + 1);
    std::vector<std::uint16_t> string(kLargestCode + 1);
    const unsigned clear = 1u << image.minimumCodeSize, end = clear + 1;
    for (unsigned code = 0; code < clear; ++code)
        table[code] = {0, 1, static_cast<std::uint16_t>(code), static_cast<std::uint16_t>(code)};
    unsigned width = image.minimumCodeSize + 1, next = clear + 2, prev = 0, code = 0;
    bool havePrev = false;
    std::uint64_t pixels = 0, codes = 0;
    SubBlockBits bits(bytes, size, image.data);

    while (rowsDone < image.height && !timeUp && bits.Read(width, code)) {
        // A stream of clear codes writes no row: the time is looked at between codes too.
        if ((++codes & 0xFFFF) == 0 && budget.TimeIsUp()) return GifVerdict::TimeUp;
        if (code == clear) {
            width = image.minimumCodeSize + 1;
            next = clear + 2;
            havePrev = false;
            continue;
        }
        if (code == end || (!havePrev && code > clear) || code > next) break;
        if (havePrev && next <= kLargestCode) {
            const std::uint16_t first = code == next ? table[prev].first : table[code].first;
            table[next] = {static_cast<std::uint16_t>(prev), static_cast<std::uint16_t>(table[prev].length + 1), first,
                           table[prev].first};
            if (++next == (1u << width) && width < 12) ++width;
        } else if (code == next) {
            break;  // a code the table does not hold yet
        }
        const unsigned length = table[code].length;
        unsigned at = length;
        for (unsigned link = code; at > 0; link = table[link].prefix) string[--at] = table[link].suffix;
        for (unsigned k = 0; k < length && rowsDone < image.height; ++k) {
            std::memcpy(&row[static_cast<size_t>(x) * 3], &palette[string[k] * 3u], 3);
            ++pixels;
            if (++x == image.width) rowDone();
        }
        prev = code;
        havePrev = true;
    }
    if (timeUp && rowsDone < image.height) return GifVerdict::TimeUp;
    if (pixels == 0) return GifVerdict::Unreadable;
    // The data ended early: the rest shows the background, as a transparent part would.
    const Byte back[3] = {static_cast<Byte>(BlueOf(background)), static_cast<Byte>(GreenOf(background)),
                          static_cast<Byte>(RedOf(background))};
    while (rowsDone < image.height) {
        for (; x < image.width; ++x) std::memcpy(&row[static_cast<size_t>(x) * 3], back, 3);
        rowDone();
        if (timeUp && rowsDone < image.height) return GifVerdict::TimeUp;
    }
    sink.Finish();
    return GifVerdict::Shown;
}

template <class Sum>
GifVerdict DecodeInterlaced(const Byte* bytes, size_t size, const GifImage& image, const PixelTarget& target,
                            Colour background, PictureBudget& budget, std::vector<Span> columns, std::vector<Span> rows) {
    BudgetedBytes memory(budget, AnyOrder<Sum>::BytesFor(columns.size(), rows.size()));
    if (!memory) return GifVerdict::TooLarge;
    AnyOrder<Sum> sink(std::move(columns), std::move(rows), target);
    return Decode(bytes, size, image, background, budget, sink);
}

} // namespace

GifImage FindGifFirstImage(const Byte* bytes, size_t size) {
    GifImage image;
    if (IdentifyPicture(bytes, size) != PictureKind::Gif || size < kScreenBytes) return image;
    size_t at = kScreenBytes;
    if (!ReadColourTable(bytes, size, bytes[10], at, image.colours, image.colourCount)) return image;
    while (at < size && bytes[at] == kExtensionIntroducer) {
        if (size - at < 2) return image;
        const bool graphicControl = bytes[at + 1] == kGraphicControlLabel;
        at += 2;
        // Block size 4: flags, delay, transparent index; the last one before the image counts.
        if (graphicControl && size - at >= 5 && bytes[at] >= 4)
            image.transparent = (bytes[at + 1] & 1) ? bytes[at + 4] : -1;
        if (!SkipSubBlocks(bytes, size, at)) return image;
    }
    if (at >= size || bytes[at] != kImageSeparator || size - at < kDescriptorBytes + 1) return image;
    image.width = Little16(bytes + at + 5);
    image.height = Little16(bytes + at + 7);
    const Byte flags = bytes[at + 9];
    image.interlaced = (flags & 0x40) != 0;
    at += kDescriptorBytes;
    if (!ReadColourTable(bytes, size, flags, at, image.colours, image.colourCount) || at >= size) return image;
    image.minimumCodeSize = bytes[at];
    image.data = at + 1;
    // Writers use 2 to 8 bits; readers take up to 11, where the clear and end
    // codes still fit in the twelve bits a code may have.
    image.found = image.width > 0 && image.height > 0 && image.minimumCodeSize >= 2 && image.minimumCodeSize <= 11;
    return image;
}

GifVerdict DrawGifFirstImage(const Byte* bytes, size_t size, const GifImage& image, const PixelTarget& target,
                             Colour background, PictureBudget& budget) {
    if (!image.found || image.data > size || target.place.Width() <= 0 || target.place.Height() <= 0)
        return GifVerdict::Unreadable;
    if (!image.interlaced) {
        BudgetedBytes memory(budget, static_cast<size_t>(image.width) * 3 +
                                         static_cast<size_t>(target.place.Width()) * 64);
        if (!memory) return GifVerdict::TooLarge;
        InOrder sink(image, target, background);
        return Decode(bytes, size, image, background, budget, sink);
    }
    std::vector<Span> columns = RowAverage::Spans(image.width, target.place.Width());
    std::vector<Span> rows = RowAverage::Spans(image.height, target.place.Height());
    // 32-bit sums hold up to 16 million pixels of 255 a target pixel.
    const std::uint64_t most = static_cast<std::uint64_t>(LongestSpan(columns)) * LongestSpan(rows) * 255;
    if (most <= std::numeric_limits<std::uint32_t>::max())
        return DecodeInterlaced<std::uint32_t>(bytes, size, image, target, background, budget, std::move(columns),
                                               std::move(rows));
    return DecodeInterlaced<std::uint64_t>(bytes, size, image, target, background, budget, std::move(columns),
                                           std::move(rows));
}

} // namespace snapvane
