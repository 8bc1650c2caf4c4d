#include "fuzz/FuzzTargets.h"

#include "pictures/JpegPicture.h"
#include "pictures/MetafileCheck.h"
#include "pictures/PictureBudget.h"
#include "pictures/PictureContent.h"
#include "pictures/RowAverage.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace snapvane::fuzz {

namespace {

// The viewer's picture box at 96 DPI.
constexpr Extent kBox{683, 512};

// A 24-bit box of pixels, as the viewer's DIB section is.
struct Box {
    explicit Box(Extent size)
        : stride(((size.cx * 3) + 3) & ~3), bits(static_cast<size_t>(stride) * size.cy) {}
    PixelTarget Target(PixelRect place) { return {bits.data(), stride, place}; }
    std::int32_t stride;
    std::vector<Byte> bits;
};

} // namespace

void IdentifyAndReadHeader(const std::uint8_t* bytes, std::size_t size) {
    IdentifyPicture(bytes, size);
    BitmapForOleLoader(bytes, size);
    PngLayout png;
    ReadPngLayout(bytes, size, png);
}

void CheckAndCostMetafile(const std::uint8_t* bytes, std::size_t size) {
    IsPlayableMetafile(bytes, size);
    CheckMetafile(bytes, size, {kBox, kBox});
}

void PatchGif(const std::uint8_t* bytes, std::size_t size) {
    if (IdentifyPicture(bytes, size) == PictureKind::Gif && LacksGlobalColourTable(bytes, size))
        WithDefaultColourTable(bytes, size);
}

void ReadExif(const std::uint8_t* bytes, std::size_t size) { ExifOrientation(bytes, size); }

void DecodeJpeg(const std::uint8_t* bytes, std::size_t size) {
    JpegPicture picture;
    if (!picture.Open(bytes, size)) return;
    // As libjpeg's own fuzzers do: a picture this large takes long to decode
    // without being wrong; the viewer's budget stops it there.
    if (static_cast<std::uint64_t>(picture.Width()) * picture.Height() > 4'000'000) return;
    Box box({64, 48});
    PictureBudget budget(std::chrono::seconds(5), PictureBudget::kBytes);
    picture.ScaleInto(box.Target({0, 0, 64, 48}), 0, budget);
}

void ReadBitmapRows(const std::uint8_t* bytes, std::size_t size) {
    if (size < 8) return;
    const unsigned width = 1 + bytes[0] % 64, height = 1 + bytes[1] % 64;
    const unsigned bytesPerPixel = bytes[2] % 2 ? 4 : 3;
    const bool alpha = bytesPerPixel == 4 && bytes[3] % 2;
    const PixelRect place{bytes[4] % 8, bytes[5] % 8, bytes[4] % 8 + 1 + bytes[6] % 96, bytes[5] % 8 + 1 + bytes[7] % 96};
    Box box({place.right, place.bottom});
    RowAverage average(width, height, bytesPerPixel, alpha, box.Target(place), 0x00336699);
    const size_t rowBytes = static_cast<size_t>(width) * bytesPerPixel;
    std::vector<Byte> row(rowBytes);
    for (unsigned y = 0; y < height && !average.Done(); ++y) {
        const size_t at = 8 + static_cast<size_t>(y) * rowBytes;
        std::fill(row.begin(), row.end(), Byte{0});
        if (at < size) std::copy(bytes + at, bytes + std::min(size, at + rowBytes), row.begin());
        average.AddRow(row.data());
    }
}

const Target kTargets[] = {
    {"identify", IdentifyAndReadHeader}, {"metafile", CheckAndCostMetafile}, {"gif_patch", PatchGif},
    {"exif", ReadExif},                  {"jpeg", DecodeJpeg},               {"bitmap_rows", ReadBitmapRows},
};
const std::size_t kTargetCount = sizeof kTargets / sizeof kTargets[0];

} // namespace snapvane::fuzz
