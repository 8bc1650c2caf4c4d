#include "pictures/JpegPicture.h"

#include "pictures/JpegDecode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace snapvane {

namespace {

std::uint32_t Read16(const Byte* at, bool little) {
    return little ? at[0] | (at[1] << 8) : (at[0] << 8) | at[1];
}
std::uint32_t Read32(const Byte* at, bool little) {
    return little ? at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24)
                  : (static_cast<std::uint32_t>(at[0]) << 24) | (at[1] << 16) | (at[2] << 8) | at[3];
}

// The value of a directory entry of count 1 whose integer fits its value
// field: Byte, SHORT, std::int32_t and their signed kinds (a negative one is no
// orientation).
long EntryInteger(const Byte* entry, bool little) {
    const std::uint32_t type = Read16(entry + 2, little), count = Read32(entry + 4, little);
    if (count < 1) return 0;
    const Byte* value = entry + 8;
    switch (type) {
    case 1: return value[0];                                              // Byte
    case 6: return static_cast<signed char>(value[0]);                    // SBYTE
    case 3: return static_cast<long>(Read16(value, little));              // SHORT
    case 8: return static_cast<std::int16_t>(Read16(value, little));      // SSHORT
    case 4: return count == 1 ? static_cast<long>(std::min<std::uint32_t>(Read32(value, little), 0x7FFFFFFF)) : 0;  // std::int32_t
    case 9: return count == 1 ? static_cast<long>(static_cast<std::int32_t>(Read32(value, little))) : 0;  // SLONG
    default: return 0;
    }
}

// CMYK rows to blue-green-red, in place. The Adobe way stores each ink
// inverted (255 is no ink).
void CmykToBgr(Byte* row, unsigned width, bool inverted) {
    for (unsigned x = 0; x < width; ++x) {
        const Byte* ink = row + static_cast<size_t>(x) * 4;
        unsigned c = ink[0], m = ink[1], y = ink[2], k = ink[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        Byte* out = row + static_cast<size_t>(x) * 3;
        const Byte blue = static_cast<Byte>((y * k + 127) / 255), green = static_cast<Byte>((m * k + 127) / 255),
                   red = static_cast<Byte>((c * k + 127) / 255);
        out[0] = blue;
        out[1] = green;
        out[2] = red;
    }
}

int TimeIsUp(void* budget) { return static_cast<PictureBudget*>(budget)->TimeIsUp() ? 1 : 0; }

ReadOutcome Failure(const SnapvaneJpeg* jpeg) {
    switch (SnapvaneJpegFailed(jpeg)) {
    case SNAPVANE_JPEG_TOO_MUCH_WORK: return ReadOutcome::TooMuchWork;
    case SNAPVANE_JPEG_TOO_MUCH_MEMORY: return ReadOutcome::TooMuchMemory;
    default: return ReadOutcome::Unreadable;
    }
}

} // namespace

int ExifOrientation(const Byte* data, size_t size) {
    if (!data || size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0) return 1;
    const Byte* tiff = data + 6;
    const size_t length = size - 6;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) return 1;
    const std::uint32_t directory = Read32(tiff + 4, little);
    if (directory < 8 || directory > length - 2) return 1;
    const std::uint32_t entries = Read16(tiff + directory, little);
    for (std::uint32_t k = 0; k < entries; ++k) {
        const size_t entry = directory + 2 + static_cast<size_t>(k) * 12;
        if (entry + 12 > length) return 1;
        if (Read16(tiff + entry, little) != 0x0112) continue;
        const long orientation = EntryInteger(tiff + entry, little);
        return orientation >= 1 && orientation <= 8 ? static_cast<int>(orientation) : 1;
    }
    return 1;
}

void JpegPicture::Close::operator()(SnapvaneJpeg* jpeg) const noexcept { SnapvaneJpegClose(jpeg); }

bool JpegPicture::Open(const Byte* bytes, size_t size) {
    bytes_ = bytes;
    size_ = size;
    return ReadHeader();
}

bool JpegPicture::ReadHeader() {
    jpeg_.reset(SnapvaneJpegCreate(bytes_, size_));
    if (!jpeg_) throw std::bad_alloc();
    SnapvaneJpegHeader header{};
    const bool read = SnapvaneJpegReadHeader(jpeg_.get(), &header) != 0;
    width_ = header.width;
    height_ = header.height;
    if (!read) return false;
    cmyk_ = header.cmyk != 0;
    invertedCmyk_ = header.invertedCmyk != 0;
    orientation_ = ExifOrientation(header.exif, header.exifSize);
    return width_ > 0 && height_ > 0;
}

unsigned JpegPicture::ScaleFor(unsigned width, unsigned height, std::int32_t placeWidth, std::int32_t placeHeight) {
    // libjpeg's output size at m/8 is the stored size times m/8, rounded up.
    for (unsigned eighths = 1; eighths < 8; ++eighths) {
        const std::uint64_t scaledWidth = (static_cast<std::uint64_t>(width) * eighths + 7) / 8;
        const std::uint64_t scaledHeight = (static_cast<std::uint64_t>(height) * eighths + 7) / 8;
        if (scaledWidth >= static_cast<std::uint64_t>(placeWidth) && scaledHeight >= static_cast<std::uint64_t>(placeHeight))
            return eighths;
    }
    return 8;
}

ReadOutcome JpegPicture::ScaleInto(const PixelTarget& target, Colour background, PictureBudget& budget,
                                   double blocks) {
    double blocksLeft = blocks;
    const ReadOutcome outcome = Decode(target, background, budget, blocksLeft);
    // A file cut short inside a segment after a scan (a later scan's header,
    // a table) stops libjpeg; without that segment, the scans before it still
    // show, as they would have had the file ended there.
    if (outcome != ReadOutcome::Unreadable || !jpeg_ || !SnapvaneJpegEndedEarly(jpeg_.get())) return outcome;
    const size_t wholeScans = SnapvaneJpegWholeScansEnd(jpeg_.get());
    if (wholeScans == 0 || wholeScans >= size_) return outcome;
    size_ = wholeScans;
    if (!ReadHeader()) return ReadOutcome::Unreadable;
    return Decode(target, background, budget, blocksLeft);
}

ReadOutcome JpegPicture::Decode(const PixelTarget& target, Colour background, PictureBudget& budget,
                                double& blocksLeft) {
    const std::int32_t placeWidth = target.place.right - target.place.left, placeHeight = target.place.bottom - target.place.top;
    if (!jpeg_ || placeWidth <= 0 || placeHeight <= 0) return ReadOutcome::Unreadable;
    // A few rows a call keeps libjpeg's own loop short; they are averaged in
    // as they come. They are taken from the budget first, libjpeg gets the rest.
    constexpr unsigned kRowsACall = 4;
    const BudgetedBytes rowBytesTaken(budget, static_cast<size_t>(width_) * 4 * kRowsACall);
    if (!rowBytesTaken) return ReadOutcome::TooMuchMemory;
    SnapvaneJpegBudget work{blocksLeft, budget.BytesLeft(), TimeIsUp, &budget};
    unsigned width = 0, height = 0, bytesPerPixel = 0;
    const bool started = SnapvaneJpegStart(jpeg_.get(), ScaleFor(width_, height_, placeWidth, placeHeight), &work,
                                           &width, &height, &bytesPerPixel) != 0;
    blocksLeft = work.blocksLeft;
    if (!started) return Failure(jpeg_.get());
    if (width == 0 || height == 0 || width > width_ || (bytesPerPixel != 3 && bytesPerPixel != 4))
        return ReadOutcome::Unreadable;

    const size_t rowBytes = static_cast<size_t>(width) * bytesPerPixel;
    std::vector<Byte> buffer(rowBytes * kRowsACall);
    Byte* rows[kRowsACall];
    for (unsigned k = 0; k < kRowsACall; ++k) rows[k] = buffer.data() + rowBytes * k;
    RowAverage average(width, height, 3, false, target, background);
    for (unsigned done = 0; done < height;) {
        unsigned read = 0;
        const bool decoded = SnapvaneJpegReadRows(jpeg_.get(), rows, kRowsACall, &read) != 0;
        blocksLeft = work.blocksLeft;
        if (!decoded) return Failure(jpeg_.get());
        if (read == 0) return ReadOutcome::Unreadable;
        for (unsigned k = 0; k < read; ++k) {
            if (cmyk_) CmykToBgr(rows[k], width, invertedCmyk_);
            average.AddRow(rows[k]);
        }
        done += read;
    }
    return ReadOutcome::Shown;
}

} // namespace snapvane
