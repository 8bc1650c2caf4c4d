// Windows bitmaps read by the viewer itself: the headers checked against the
// file's size, then the rows turned into blue-green-red one at a time and
// averaged into the box. The file's own bytes stay the only copy of the
// picture; a row is all this adds.
#pragma once

#include "pictures/PictureBudget.h"
#include "pictures/RowAverage.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace snapvane {

// What Open made of a file's headers.
enum class BitmapVerdict {
    Rows,        // uncompressed or bit-field rows, every one inside the file: read here
    Elsewhere,   // a kind of pixels not read here (run-length, embedded JPEG or PNG, OS/2 compressions)
    Unreadable,  // a header, table or row that the file does not hold as it says
};

// Where the rows are read from when the file's bytes are not all in memory.
class RowSource {
public:
    // `length` bytes of the file from `offset`, valid until the next call;
    // null when they cannot be read (the file changed since it was opened).
    virtual const Byte* Bytes(std::uint64_t offset, size_t length) = 0;

protected:
    ~RowSource() = default;
};

// Rows read from a file a piece at a time, in the order the reader asks for
// them, into one buffer: the file's bytes are never all in memory at once,
// and no piece is read twice.
class PieceRows final : public RowSource {
public:
    // Reads up to `size` bytes from `offset`, returning how many it read.
    using Read = std::function<size_t(std::uint64_t offset, Byte* bytes, size_t size)>;
    // `capacity` is the piece's size, at least one row's bytes.
    PieceRows(Read read, std::uint64_t fileSize, size_t capacity, bool lastFirst);
    const Byte* Bytes(std::uint64_t offset, size_t length) override;

private:
    Read read_;
    std::uint64_t fileSize_;
    std::unique_ptr<Byte[]> buffer_;  // not cleared first: every byte used is read into it
    size_t capacity_;
    bool lastFirst_;
    std::uint64_t start_ = 0;
    size_t held_ = 0;
};

class BitmapPicture {
public:
    // Reads the headers of the file's bytes, which must stay in place while
    // the picture is used. An information header of a length that no writer
    // of the Windows family makes is taken by its first 40 bytes (and the
    // masks after them), as long as the rest of the file agrees.
    BitmapVerdict Open(const Byte* bytes, size_t size) { return Open(bytes, size, size); }
    // The same from the file's first bytes only (its headers and colour
    // table lie there); the rows are then read from a RowSource.
    BitmapVerdict Open(const Byte* head, size_t headSize, std::uint64_t fileSize);

    // The largest part of the file the headers and colour table take.
    static constexpr size_t kHeadBytes = 14 + 4096 + 12 + 256 * 4;

    std::uint32_t Width() const { return width_; }
    std::uint32_t Height() const { return height_; }

    // Reads the rows, top to bottom, into the target's place. False when the
    // budget cannot spare a row or its time runs out.
    bool ScaleInto(const PixelTarget& target, Colour background, PictureBudget& budget) const;
    bool ScaleInto(const PixelTarget& target, Colour background, PictureBudget& budget, RowSource& rows) const;

    // Where the rows lie in the file, and the order ScaleInto asks for them in.
    std::uint64_t RowBytes() const { return rowBytes_; }
    bool RowsComeLastFirst() const { return !topDown_; }

    // The sizes of information header taken at all: far beyond the largest
    // (124 bytes), short of taking any bytes for a header.
    static constexpr std::uint32_t kLongestHeader = 4096;

private:
    BitmapVerdict ReadInfoHeader(const Byte* info, std::uint32_t headerBytes);
    BitmapVerdict CheckAgainstFile(std::uint32_t headerBytes);
    void ReadPalette(const Byte* table, std::uint32_t entries, std::uint32_t entryBytes);
    std::uint64_t StoredRowAt(std::uint32_t row) const;

    const Byte* bytes_ = nullptr;
    size_t size_ = 0;           // of the bytes in memory
    std::uint64_t fileSize_ = 0;
    std::uint32_t width_ = 0, height_ = 0, bitCount_ = 0, compression_ = 0, coloursUsed_ = 0;
    bool topDown_ = false, core_ = false;
    std::uint32_t masks_[3] = {};  // red, green, blue of 16- and 32-bit pixels
    std::uint32_t alphaMask_ = 0;  // of 32-bit bit-field pixels after a V3 to V5 header
    std::uint64_t pixelsAt_ = 0, rowBytes_ = 0;
    Byte palette_[256][3] = {};    // blue, green, red; black past the file's entries
};

} // namespace snapvane
