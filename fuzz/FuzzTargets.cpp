#include "fuzz/FuzzTargets.h"

#include "pictures/BitmapPicture.h"
#include "pictures/GifFirstImage.h"
#include "pictures/JpegPicture.h"
#include "pictures/MetafileCheck.h"
#include "pictures/PictureBudget.h"
#include "pictures/PictureContent.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace snapvane::fuzz {

namespace {

// As libjpeg's own fuzzers do: a picture larger than this takes long to
// read without being wrong, and the viewer's budget stops it there.
constexpr std::uint64_t kLargestFuzzedPixels = 4'000'000;

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
    ReadDeclaredPicture(bytes, size);
}

void CheckAndCostMetafile(const std::uint8_t* bytes, std::size_t size) {
    IsPlayableMetafile(bytes, size);
    CheckMetafile(bytes, size, {kBox, kBox});
}

void DecodeGif(const std::uint8_t* bytes, std::size_t size) {
    const GifImage image = FindGifFirstImage(bytes, size);
    if (!image.found || static_cast<std::uint64_t>(image.width) * image.height > kLargestFuzzedPixels) return;
    Box box({64, 48});
    PictureBudget budget(std::chrono::seconds(5), PictureBudget::kBytes);
    DrawGifFirstImage(bytes, size, image, box.Target({0, 0, 64, 48}), 0x00336699, budget);
}

void ReadExif(const std::uint8_t* bytes, std::size_t size) { ExifOrientation(bytes, size); }

void DecodeJpeg(const std::uint8_t* bytes, std::size_t size) {
    JpegPicture picture;
    if (!picture.Open(bytes, size)) return;
    if (static_cast<std::uint64_t>(picture.Width()) * picture.Height() > kLargestFuzzedPixels) return;
    Box box({64, 48});
    PictureBudget budget(std::chrono::seconds(5), PictureBudget::kBytes);
    picture.ScaleInto(box.Target({0, 0, 64, 48}), 0, budget);
}

void ReadBitmap(const std::uint8_t* bytes, std::size_t size) {
    BitmapPicture picture;
    if (picture.Open(bytes, size) != BitmapVerdict::Rows) return;
    if (static_cast<std::uint64_t>(picture.Width()) * picture.Height() > kLargestFuzzedPixels) return;
    Box box({64, 48});
    PictureBudget budget(std::chrono::seconds(5), PictureBudget::kBytes);
    picture.ScaleInto(box.Target({0, 0, 64, 48}), 0x00336699, budget);
}

const Target kTargets[] = {
    {"identify", IdentifyAndReadHeader}, {"metafile", CheckAndCostMetafile}, {"gif", DecodeGif},
    {"exif", ReadExif},                  {"jpeg", DecodeJpeg},               {"bitmap", ReadBitmap},
};
const std::size_t kTargetCount = sizeof kTargets / sizeof kTargets[0];

} // namespace snapvane::fuzz
