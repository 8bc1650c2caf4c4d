#include "pictures/BitmapPicture.h"

#include "pictures/LittleEndian.h"
#include "pictures/WindowsFormats.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

namespace snapvane {

namespace {

constexpr std::uint32_t kFileHeaderBytes = 14;
constexpr std::uint32_t kMasksBytes = 12;  // red, green, blue, after the first 40 bytes of the header
constexpr std::uint32_t kAlphaMaskAt = 52;  // inside a V3 to V5 header

// The V3 to V5 headers, which hold an alpha mask after the colours' own.
bool HoldsAlphaMask(std::uint32_t headerBytes) { return headerBytes == 56 || headerBytes == 108 || headerBytes == 124; }

// One colour of a bit-field pixel, scaled from its bits to 0..255.
class Channel {
public:
    explicit Channel(std::uint32_t mask) : mask_(mask) {
        if (mask == 0) return;
        while (!(mask & 1)) {
            mask >>= 1;
            ++shift_;
        }
        largest_ = mask;
        // A table while it stays small; a wide or scattered mask divides.
        if (largest_ < 4096) {
            table_.resize(largest_ + 1);
            for (std::uint32_t v = 0; v <= largest_; ++v) table_[v] = Scale(v);
        }
    }
    Byte operator()(std::uint32_t pixel) const {
        if (largest_ == 0) return 0;
        const std::uint32_t value = (pixel & mask_) >> shift_;
        return table_.empty() ? Scale(value) : table_[value];
    }

private:
    Byte Scale(std::uint32_t value) const {
        return static_cast<Byte>((static_cast<std::uint64_t>(value) * 255 + largest_ / 2) / largest_);
    }
    std::uint32_t mask_, shift_ = 0, largest_ = 0;
    std::vector<Byte> table_;
};

// Palette indices, bits of a byte from its highest.
void PaletteRow(const Byte* stored, std::uint32_t width, std::uint32_t bitCount, const Byte (*palette)[3], Byte* out) {
    const unsigned perByte = 8 / bitCount, low = (1u << bitCount) - 1;
    for (std::uint32_t x = 0; x < width; ++x, out += 3) {
        const unsigned shift = (perByte - 1 - x % perByte) * bitCount;
        std::memcpy(out, palette[(stored[x / perByte] >> shift) & low], 3);
    }
}

// Bit-field pixels to blue, green, red and, where the file keeps one,
// alpha, premultiplied as the averaging takes it.
void BitFieldRow(const Byte* stored, std::uint32_t width, std::uint32_t bitCount, const Channel (&channels)[4],
                 bool alpha, Byte* out) {
    const unsigned bytesPerPixel = bitCount / 8;
    for (std::uint32_t x = 0; x < width; ++x, stored += bytesPerPixel) {
        const std::uint32_t pixel = bytesPerPixel == 2 ? Little16(stored) : Little32(stored);
        const Byte red = channels[0](pixel), green = channels[1](pixel), blue = channels[2](pixel);
        if (!alpha) {
            *out++ = blue;
            *out++ = green;
            *out++ = red;
            continue;
        }
        const unsigned cover = channels[3](pixel);
        *out++ = static_cast<Byte>((blue * cover + 127) / 255);
        *out++ = static_cast<Byte>((green * cover + 127) / 255);
        *out++ = static_cast<Byte>((red * cover + 127) / 255);
        *out++ = static_cast<Byte>(cover);
    }
}

} // namespace

BitmapVerdict BitmapPicture::Open(const Byte* bytes, size_t size, std::uint64_t fileSize) {
    *this = BitmapPicture();
    bytes_ = bytes;
    size_ = static_cast<size_t>(std::min<std::uint64_t>(size, fileSize));
    fileSize_ = fileSize;
    size = size_;
    if (!bytes || size < kFileHeaderBytes + 4 || bytes[0] != 'B' || bytes[1] != 'M') return BitmapVerdict::Unreadable;
    pixelsAt_ = Little32(bytes + 10);
    const std::uint32_t headerBytes = Little32(bytes + kFileHeaderBytes);
    if (headerBytes < dib::kCoreHeaderBytes || headerBytes > kLongestHeader || headerBytes > size - kFileHeaderBytes)
        return BitmapVerdict::Unreadable;
    const BitmapVerdict verdict = ReadInfoHeader(bytes + kFileHeaderBytes, headerBytes);
    return verdict == BitmapVerdict::Rows ? CheckAgainstFile(headerBytes) : verdict;
}

BitmapVerdict BitmapPicture::ReadInfoHeader(const Byte* info, std::uint32_t headerBytes) {
    std::uint32_t planes = 0;
    if (headerBytes == dib::kCoreHeaderBytes) {
        core_ = true;
        width_ = Little16(info + 4);
        height_ = Little16(info + 6);
        planes = Little16(info + 8);
        bitCount_ = Little16(info + 10);
        if (bitCount_ != 1 && bitCount_ != 4 && bitCount_ != 8 && bitCount_ != 24) return BitmapVerdict::Unreadable;
    } else {
        if (headerBytes < 16) return BitmapVerdict::Unreadable;
        // The known part: a short OS/2 header leaves the later fields zero,
        // a longer header of any length keeps more after them.
        Byte known[dib::kInfoHeaderBytes] = {};
        std::memcpy(known, info, std::min(headerBytes, dib::kInfoHeaderBytes));
        const auto width = static_cast<std::int32_t>(Little32(known + 4));
        const auto height = static_cast<std::int32_t>(Little32(known + 8));
        if (width <= 0 || height == 0 || height == INT32_MIN) return BitmapVerdict::Unreadable;
        width_ = static_cast<std::uint32_t>(width);
        topDown_ = height < 0;
        height_ = static_cast<std::uint32_t>(topDown_ ? -height : height);
        planes = Little16(known + 12);
        bitCount_ = Little16(known + 14);
        compression_ = Little32(known + 16);
        coloursUsed_ = Little32(known + 32);
        const bool bitFields = compression_ == dib::kBitFields && (bitCount_ == 16 || bitCount_ == 32) &&
                               headerBytes >= dib::kInfoHeaderBytes;
        // Run-length and embedded pixels, and the OS/2 compressions (a short
        // header's compression field is not even there) go the platform's way.
        if (compression_ != dib::kUncompressed && !bitFields) return BitmapVerdict::Elsewhere;
        if (bitCount_ != 1 && bitCount_ != 4 && bitCount_ != 8 && bitCount_ != 16 && bitCount_ != 24 && bitCount_ != 32)
            return BitmapVerdict::Unreadable;
    }
    if (planes != 1 || width_ == 0 || height_ == 0) return BitmapVerdict::Unreadable;
    return BitmapVerdict::Rows;
}

BitmapVerdict BitmapPicture::CheckAgainstFile(std::uint32_t headerBytes) {
    std::uint64_t headerEnd = std::uint64_t{kFileHeaderBytes} + headerBytes;
    if (bitCount_ <= 8) {
        const std::uint32_t possible = 1u << bitCount_;
        if (coloursUsed_ > possible) return BitmapVerdict::Unreadable;
        const std::uint32_t entries = coloursUsed_ ? coloursUsed_ : possible, entryBytes = core_ ? 3 : 4;
        if (headerEnd + std::uint64_t{entries} * entryBytes > size_) return BitmapVerdict::Unreadable;
        ReadPalette(bytes_ + headerEnd, entries, entryBytes);
    } else if (compression_ == dib::kBitFields) {
        const std::uint64_t masksAt = kFileHeaderBytes + dib::kInfoHeaderBytes;
        if (masksAt + kMasksBytes > size_) return BitmapVerdict::Unreadable;
        for (int k = 0; k < 3; ++k) masks_[k] = Little32(bytes_ + masksAt + 4 * k);
        if (bitCount_ == 32 && HoldsAlphaMask(headerBytes))
            alphaMask_ = Little32(bytes_ + kFileHeaderBytes + kAlphaMaskAt);
        headerEnd = std::max(headerEnd, masksAt + kMasksBytes);
    } else if (bitCount_ == 16) {
        masks_[0] = 0x7C00, masks_[1] = 0x03E0, masks_[2] = 0x001F;  // 5-5-5
    } else if (bitCount_ == 32) {
        masks_[0] = 0xFF0000, masks_[1] = 0x00FF00, masks_[2] = 0x0000FF;
    }
    if (pixelsAt_ < headerEnd || pixelsAt_ > fileSize_) return BitmapVerdict::Unreadable;
    rowBytes_ = (std::uint64_t{width_} * bitCount_ + 31) / 32 * 4;
    if (rowBytes_ > (fileSize_ - pixelsAt_) / height_) return BitmapVerdict::Unreadable;
    return BitmapVerdict::Rows;
}

void BitmapPicture::ReadPalette(const Byte* table, std::uint32_t entries, std::uint32_t entryBytes) {
    for (std::uint32_t k = 0; k < entries && k < 256; ++k) std::memcpy(palette_[k], table + k * entryBytes, 3);
}

// Rows are stored bottom first unless the height says top-down.
std::uint64_t BitmapPicture::StoredRowAt(std::uint32_t row) const {
    const std::uint32_t stored = topDown_ ? row : height_ - 1 - row;
    return pixelsAt_ + stored * rowBytes_;
}

namespace {

// The rows where the whole file lies in memory.
class MemoryRows final : public RowSource {
public:
    MemoryRows(const Byte* bytes, size_t size) : bytes_(bytes), size_(size) {}
    const Byte* Bytes(std::uint64_t offset, size_t length) override {
        return offset <= size_ && length <= size_ - offset ? bytes_ + offset : nullptr;
    }

private:
    const Byte* bytes_;
    size_t size_;
};

} // namespace

PieceRows::PieceRows(Read read, std::uint64_t fileSize, size_t capacity, bool lastFirst)
    : read_(std::move(read)), fileSize_(fileSize), buffer_(new Byte[capacity]), capacity_(capacity),
      lastFirst_(lastFirst) {}

const Byte* PieceRows::Bytes(std::uint64_t offset, size_t length) {
    auto inside = [&] { return offset >= start_ && length <= held_ && offset - start_ <= held_ - length; };
    if (inside()) return buffer_.get() + (offset - start_);
    if (length > capacity_ || offset > fileSize_ || length > fileSize_ - offset) return nullptr;
    // The piece runs on from this row in the direction of the next ones.
    const std::uint64_t end = offset + length;
    start_ = lastFirst_ ? (end > capacity_ ? end - capacity_ : 0) : offset;
    const auto wanted = static_cast<size_t>(std::min<std::uint64_t>(capacity_, fileSize_ - start_));
    held_ = std::min(read_(start_, buffer_.get(), wanted), wanted);
    return inside() ? buffer_.get() + (offset - start_) : nullptr;  // null: the file shrank
}

bool BitmapPicture::ScaleInto(const PixelTarget& target, Colour background, PictureBudget& budget) const {
    if (size_ != fileSize_) return false;  // the rows are not in memory
    MemoryRows rows(bytes_, size_);
    return ScaleInto(target, background, budget, rows);
}

bool BitmapPicture::ScaleInto(const PixelTarget& target, Colour background, PictureBudget& budget,
                              RowSource& rows) const {
    if (!bytes_ || width_ == 0 || rowBytes_ == 0 || target.place.Width() <= 0 || target.place.Height() <= 0)
        return false;
    // Blue-green-red rows, with or without a fourth byte, are averaged where
    // they lie in the file; any other row is turned into them first.
    const bool alpha = bitCount_ == 32 && alphaMask_ != 0;
    const bool asStored = bitCount_ == 24 || (bitCount_ == 32 && !alpha && masks_[0] == 0xFF0000 &&
                                              masks_[1] == 0x00FF00 && masks_[2] == 0x0000FF);
    const unsigned bytesPerPixel = bitCount_ == 32 && (asStored || alpha) ? 4 : 3;
    const size_t converted = asStored ? 0 : static_cast<size_t>(width_) * bytesPerPixel;
    BudgetedBytes rowMemory(budget, converted);
    if (!rowMemory) return false;
    std::vector<Byte> row(converted);
    const Channel channels[4] = {Channel(masks_[0]), Channel(masks_[1]), Channel(masks_[2]), Channel(alphaMask_)};

    RowAverage average(width_, height_, bytesPerPixel, alpha, target, background);
    for (std::uint32_t y = 0; y < height_ && !average.Done(); ++y) {
        if (budget.TimeIsUp()) return false;
        const Byte* stored = rows.Bytes(StoredRowAt(y), static_cast<size_t>(rowBytes_));
        if (!stored) return false;
        if (asStored) {
            average.AddRow(stored);
            continue;
        }
        if (bitCount_ <= 8) PaletteRow(stored, width_, bitCount_, palette_, row.data());
        else BitFieldRow(stored, width_, bitCount_, channels, alpha, row.data());
        average.AddRow(row.data());
    }
    return true;
}

} // namespace snapvane
