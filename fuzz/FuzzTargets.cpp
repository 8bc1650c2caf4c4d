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

// The rows read from the whole file in memory, and read from its first
// bytes and then piece by piece as from a file: the same pixels both ways.
// The same file cut short after it was opened is refused, never overread.
void ReadBitmap(const std::uint8_t* bytes, std::size_t size) {
    BitmapPicture whole;
    if (whole.Open(bytes, size) != BitmapVerdict::Rows) return;
    if (static_cast<std::uint64_t>(whole.Width()) * whole.Height() > kLargestFuzzedPixels) return;
    BitmapPicture pieces;
    const std::size_t head = std::min(size, BitmapPicture::kHeadBytes);
    if (pieces.Open(bytes, head, size) != BitmapVerdict::Rows) __builtin_trap();
    auto draw = [&](const BitmapPicture& picture, RowSource* rows) {
        Box box({64, 48});
        PictureBudget budget(std::chrono::seconds(5), PictureBudget::kBytes);
        const bool drawn = rows ? picture.ScaleInto(box.Target({0, 0, 64, 48}), 0x00336699, budget, *rows)
                                : picture.ScaleInto(box.Target({0, 0, 64, 48}), 0x00336699, budget);
        return drawn ? box.bits : std::vector<Byte>();
    };
    // Pieces of two rows, so that most rows start a new piece.
    const auto piece = static_cast<std::size_t>(pieces.RowBytes() * 2);
    auto readFrom = [bytes](std::size_t available) {
        return [bytes, available](std::uint64_t offset, Byte* out, std::size_t wanted) -> std::size_t {
            if (offset >= available) return 0;
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, available - offset));
            std::copy_n(bytes + offset, count, out);
            return count;
        };
    };
    PieceRows rows(readFrom(size), size, piece, pieces.RowsComeLastFirst());
    if (draw(whole, nullptr) != draw(pieces, &rows)) __builtin_trap();
    PieceRows cut(readFrom(size / 2), size, piece, pieces.RowsComeLastFirst());
    draw(pieces, &cut);
}

const Target kTargets[] = {
    {"identify", IdentifyAndReadHeader}, {"metafile", CheckAndCostMetafile}, {"gif", DecodeGif},
    {"exif", ReadExif},                  {"jpeg", DecodeJpeg},               {"bitmap", ReadBitmap},
};
const std::size_t kTargetCount = sizeof kTargets / sizeof kTargets[0];

} // namespace snapvane::fuzz
