// What a picture file holds, told from its bytes the way the decoders tell
// it, and what each decoder needs that it does not check itself. A file
// reaches a decoder only when its content is positively one of the kinds the
// viewer shows; its name and extension decide nothing.
#pragma once

#include "pictures/Bytes.h"

#include <cstddef>
#include <vector>

namespace snapvane {

enum class PictureKind { Unknown, Jpeg, Gif, Bitmap, Metafile };

// The kind the first bytes make the file: "BM" a Windows bitmap, "GIF87a" or
// "GIF89a" a GIF, FF D8 a JPEG, the placeable key a Windows metafile (the
// only metafile the OLE loader reads). Everything else (enhanced metafiles,
// icons, stream-wrapped content, programs) is Unknown.
PictureKind IdentifyPicture(const Byte* bytes, size_t size);

// A bitmap file as GDI takes it whole, ready for the OLE loader, which copies
// its pixels from where the file header says without looking at the file's
// size: a known header, one plane, uncompressed or bit-field pixels, and the
// colour table and every row inside the file. An OS/2 2.x header shorter
// than the Windows one is widened to it (GDI knows only the long form); an
// empty result when the file is not such a bitmap.
std::vector<Byte> BitmapForOleLoader(const Byte* bytes, size_t size);

} // namespace snapvane
