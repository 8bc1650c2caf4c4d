// Windows metafiles are played record by record by GDI, which takes each
// record's counts, sizes and object numbers as they stand: a damaged or
// hostile file would have it read beyond the file, inside the host's process.
// The viewer checks a metafile's records before the picture loader sees it.
#pragma once

#include "pictures/Bytes.h"

#include <cstddef>

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

// The verdict on a placeable metafile about to be drawn: Unsafe when it is not
// playable as above, TooMuchDrawing when its records ask for more drawing
// (points, scan lines, pixels, characters, bitmaps) than GDI does in about a
// second, the mapping the records set up included.
MetafileVerdict CheckMetafile(const Byte* bytes, size_t size, const MetafileTarget& target);

} // namespace snapvane
