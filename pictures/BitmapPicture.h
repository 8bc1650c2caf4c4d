// Windows bitmaps read by the viewer itself: the headers checked against the
// file's size, then the rows turned into blue-green-red one at a time and
// averaged into the box. The file's own bytes stay the only copy of the
// picture; a row is all this adds.
#pragma once

#include "pictures/PictureBudget.h"
#include "pictures/RowAverage.h"

#include <cstddef>
#include <cstdint>

namespace snapvane {

// What Open made of a file's headers.
enum class BitmapVerdict {
    Rows,        // uncompressed or bit-field rows, every one inside the file: read here
    Elsewhere,   // a kind of pixels not read here (run-length, embedded JPEG or PNG, OS/2 compressions)
    Unreadable,  // a header, table or row that the file does not hold as it says
};

class BitmapPicture {
public:
    // Reads the headers of the file's bytes, which must stay in place while
    // the picture is used. An information header of a length that no writer
    // of the Windows family makes is taken by its first 40 bytes (and the
    // masks after them), as long as the rest of the file agrees.
    BitmapVerdict Open(const Byte* bytes, size_t size);

    std::uint32_t Width() const { return width_; }
    std::uint32_t Height() const { return height_; }

    // Reads the rows, top to bottom, into the target's place. False when the
    // budget cannot spare a row or its time runs out.
    bool ScaleInto(const PixelTarget& target, Colour background, PictureBudget& budget) const;

    // The sizes of information header taken at all: far beyond the largest
    // (124 bytes), short of taking any bytes for a header.
    static constexpr std::uint32_t kLongestHeader = 4096;

private:
    BitmapVerdict ReadInfoHeader(const Byte* info, std::uint32_t headerBytes);
    BitmapVerdict CheckAgainstFile(std::uint32_t headerBytes);
    void ReadPalette(const Byte* table, std::uint32_t entries, std::uint32_t entryBytes);
    const Byte* StoredRow(std::uint32_t row) const;

    const Byte* bytes_ = nullptr;
    size_t size_ = 0;
    std::uint32_t width_ = 0, height_ = 0, bitCount_ = 0, compression_ = 0, coloursUsed_ = 0;
    bool topDown_ = false, core_ = false;
    std::uint32_t masks_[3] = {};  // red, green, blue of 16- and 32-bit pixels
    std::uint32_t alphaMask_ = 0;  // of 32-bit bit-field pixels after a V3 to V5 header
    std::uint64_t pixelsAt_ = 0, rowBytes_ = 0;
    Byte palette_[256][3] = {};    // blue, green, red; black past the file's entries
};

} // namespace snapvane
