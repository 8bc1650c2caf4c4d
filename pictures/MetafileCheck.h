// Windows metafiles are played record by record by GDI, which takes each
// record's counts, sizes and object numbers as they stand: a damaged or
// hostile file would have it read beyond the file, inside the host's process.
// The viewer checks a metafile's records before the picture loader sees it.
#pragma once

#include "pictures/Bytes.h"

#include <cstddef>
#include <cstdint>

namespace snapvane {

// True when the bytes begin as a Windows metafile: the placeable header's key,
// or a metafile header of the memory or disk kind.
bool LooksLikeMetafile(const Byte* bytes, size_t size);

// True when every record of the metafile lies inside the file, is as long as
// what playing it reads (old bitmaps measured as GDI makes them), and names
// only objects the file declares; the records end with the end-of-file record
// or at the size the header declares, which may count the placeable header.
bool IsPlayableMetafile(const Byte* bytes, size_t size);

enum class MetafileVerdict { Playable, Unsafe, TooMuchDrawing };

// Where a metafile is drawn: its place in the box and the whole surface, in pixels.
struct MetafileTarget {
    Extent place;
    Extent surface;
};

// The verdict on a metafile about to be drawn, placeable or plain: Unsafe
// when it is not playable as above or has no frame (MetafileFrame.h),
// TooMuchDrawing when its records ask for more drawing (points, scan lines,
// pixels, characters, bitmaps) than GDI does in about a second, the mapping
// of its frame onto the place and the mapping the records set up included.
MetafileVerdict CheckMetafile(const Byte* bytes, size_t size, const MetafileTarget& target);

// An old bitmap record (META_BITBLT, META_STRETCHBLT) as the viewer's player
// reads it and plays it itself: GDI's players read these records each its
// own way (Wine's takes whole words where the format writes a 16-bit bitmap
// object), and files carry the format's forms, a device-independent bitmap
// in the bitmap's place, or no bitmap at all.
struct OldBitmapTransfer {
    enum class Source { None, DeviceBitmap, IndependentBitmap };
    Source source = Source::None;
    std::uint32_t rasterOperation = 0;
    std::int32_t destX = 0, destY = 0, destWidth = 0, destHeight = 0;
    std::int32_t sourceX = 0, sourceY = 0, sourceWidth = 0, sourceHeight = 0;
    // A device bitmap: width x height, bitsPerPixel as GDI makes it (1, 4,
    // 8, 16, 24 or 32), its rows rowBytes apart (at least GDI's rows of whole words).
    std::uint32_t width = 0, height = 0, bitsPerPixel = 0;
    size_t rowBytes = 0;
    // From the record's first parameter: the device bitmap's rows or the
    // independent bitmap's pixels, and the independent bitmap's header.
    size_t bitsAt = 0, infoAt = 0;
};

// Reads the record's parameters (paramBytes of them) as above; false when it
// is no such record or its bitmap does not lie whole inside it.
bool ReadOldBitmapTransfer(std::uint32_t function, const Byte* params, size_t paramBytes, OldBitmapTransfer& transfer);

} // namespace snapvane
