// What a picture file holds, told from its bytes the way the decoders tell
// it, and what each decoder needs that it does not check itself. A file
// reaches a decoder only when its content is positively one of the kinds the
// viewer shows; its name and extension decide nothing.
#pragma once

#include "pictures/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace snapvane {

enum class PictureKind { Unknown, Jpeg, Gif, Bitmap, Metafile, Png };

// The kind the first bytes make the file: "BM" a Windows bitmap, "GIF87a" or
// "GIF89a" a GIF, FF D8 a JPEG, the placeable key or a plain metafile header
// a Windows metafile. A plain header is its kind (memory or disk), its size
// of 9 words, version 1.0 or 3.0, and a declared size that holds a record
// and lies inside the file. Everything else (enhanced metafiles, icons,
// stream-wrapped content, programs) is Unknown.
PictureKind IdentifyPicture(const Byte* bytes, size_t size);
// The same from the file's first bytes and its whole size.
PictureKind IdentifyPicture(const Byte* start, size_t available, std::uint64_t fileSize);

// The file type whose association opens pictures of the kind (".jpg" for a
// JPEG); empty for Unknown.
const wchar_t* FileTypeOf(PictureKind kind);

// What a file's first bytes declare before anything is decoded: its kind
// and, where its header says, its size in pixels and what a decoder of the
// whole picture holds. Sizes are 0 where a reader of its own finds them
// (JPEG: libjpeg; GIF: its first image; metafiles are drawn, not held).
struct DeclaredPicture {
    PictureKind kind = PictureKind::Unknown;
    std::uint64_t width = 0, height = 0;
    std::uint64_t decodedBytes = 0;
};
DeclaredPicture ReadDeclaredPicture(const Byte* bytes, size_t size);

// A PNG's size and what its decoded rows take, from its first chunk.
struct PngLayout {
    std::uint32_t width = 0, height = 0;
    std::uint64_t rowBytes = 0;  // of a decoded row, as the file's depth and colours store it
};

// Reads the header chunk that opens every PNG; false when the file has no
// such chunk with values the format allows.
bool ReadPngLayout(const Byte* bytes, size_t size, PngLayout& layout);

// A bitmap file as GDI takes it whole, ready for the OLE loader, which copies
// its pixels from where the file header says without looking at the file's
// size: a known header, one plane, uncompressed or bit-field pixels, and the
// colour table and every row inside the file. An OS/2 2.x header shorter
// than the Windows one is widened to it (GDI knows only the long form); an
// empty result when the file is not such a bitmap.
std::vector<Byte> BitmapForOleLoader(const Byte* bytes, size_t size);

} // namespace snapvane
