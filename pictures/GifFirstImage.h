// A GIF's first image, read from the file's bytes alone and decoded straight
// into the viewer's box. Later images of an animation are never looked at:
// neither their sizes nor their damage decide anything, and nothing is
// allocated for them.
#pragma once

#include "pictures/Bytes.h"
#include "pictures/PictureBudget.h"
#include "pictures/RowAverage.h"

#include <cstddef>
#include <cstdint>

namespace snapvane {

// Where the first image lies, found by walking the header, the global colour
// table, the extension blocks before the image, its descriptor and its local
// colour table, all inside the file.
struct GifImage {
    bool found = false;
    std::uint32_t width = 0, height = 0;  // of the image; the logical screen is not drawn
    bool interlaced = false;
    const Byte* colours = nullptr;  // red, green, blue triples; none: the default table
    unsigned colourCount = 0;
    int transparent = -1;           // from the last graphic control extension before the image
    unsigned minimumCodeSize = 0;   // 2 to 11
    size_t data = 0;                // offset of the image's first data sub-block
};

GifImage FindGifFirstImage(const Byte* bytes, size_t size);

enum class GifVerdict {
    Shown,       // every row written; rows the data ended before show the background
    Unreadable,  // no pixel could be decoded
    TimeUp,      // the budget's time ran out while decoding
    TooLarge,    // the budget cannot spare the memory averaging needs
};

// Decodes the LZW data of the image found above and averages it into the
// target's place; transparent pixels show the background. Reads nothing
// outside [bytes, bytes + size) whatever the sub-blocks or codes say, and
// takes memory for the box and one row of the image, never for the image.
GifVerdict DrawGifFirstImage(const Byte* bytes, size_t size, const GifImage& image, const PixelTarget& target,
                             Colour background, PictureBudget& budget);

} // namespace snapvane
