// Photographs read by libjpeg, decoded at the smallest DCT scale whose output
// still covers the place they fill and averaged into it row by row: the
// viewer never holds the whole photograph.
#pragma once

#include "pictures/PictureBudget.h"
#include "pictures/RowAverage.h"

#include <cstddef>
#include <memory>

struct SnapvaneJpeg;

namespace snapvane {

class JpegPicture {
public:
    // The decoding one picture may ask for, in blocks of 8 x 8 samples: a
    // block counts once for each scan that covers it and once when it is
    // turned into pixels. Ordinary files take one pass (baseline) or about
    // six (progressive) over each block: a 50-megapixel baseline photograph
    // takes 4.7 million, a 50-megapixel progressive one with half-size
    // colour 6 million, and a 40-megapixel progressive one with full-size
    // colour (the largest whose coefficients fit the memory budget) 11
    // million. Beyond that lies only a file whose scans repeat the work.
    static constexpr double kBlocks = 16e6;

    // Reads the header of the file's bytes, which must stay in place while the
    // picture is used. False when libjpeg finds no picture in them; the size
    // is then still that of a frame header it read (libjpeg refuses a side
    // beyond 65,500 pixels), else 0.
    bool Open(const Byte* bytes, size_t size);

    unsigned Width() const { return width_; }
    unsigned Height() const { return height_; }
    // EXIF: 1 upright, 2 to 8 mirrored and/or turned.
    int Orientation() const { return orientation_; }

    // Decodes the picture into the target's place, drawing on the budget's
    // time and memory and on the blocks of decoding for every try together. A
    // file that merely ends early is shown as far as it goes; one that ends
    // inside a segment after its first whole scans is tried once more, cut
    // after them.
    ReadOutcome ScaleInto(const PixelTarget& target, Colour background, PictureBudget& budget,
                          double blocks = kBlocks);

    // The eighths of the stored size libjpeg decodes at for a place of this size.
    static unsigned ScaleFor(unsigned width, unsigned height, std::int32_t placeWidth, std::int32_t placeHeight);

private:
    bool ReadHeader();
    ReadOutcome Decode(const PixelTarget& target, Colour background, PictureBudget& budget, double& blocksLeft);

    struct Close {
        void operator()(SnapvaneJpeg* jpeg) const noexcept;
    };
    std::unique_ptr<SnapvaneJpeg, Close> jpeg_;
    const Byte* bytes_ = nullptr;
    size_t size_ = 0;
    unsigned width_ = 0, height_ = 0;
    int orientation_ = 1;
    bool cmyk_ = false, invertedCmyk_ = false;
};

// The orientation in an APP1 segment's data ("Exif", a TIFF header, and tag
// 0x0112 of the first directory, held in any integer type); 1 when absent.
int ExifOrientation(const Byte* data, size_t size);

} // namespace snapvane
