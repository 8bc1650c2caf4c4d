// Pictures read by the platform's imaging codecs, where Windows has them, and
// scaled down while they are read: the viewer never holds the whole photograph
// as a bitmap of its own, and needs no stretch by GDI.
#pragma once

#include "pictures/RowAverage.h"
#include "win32/ComTypes.h"

#include <windows.h>
#include <wincodec.h>

namespace snapvane {

class CodecPicture {
public:
    // The first frame of the picture in the file's bytes, which must stay in
    // place while the picture is used. container names the kind of file when
    // its first bytes tell (JPEG, GIF, BMP): its codec alone then decides.
    // S_FALSE when the codecs are not installed or none of them takes the file
    // (a metafile), so that the OLE loader has its say; a failure when the
    // codec for it cannot read it (a damaged file).
    static HRESULT Open(const BYTE* bytes, DWORD size, const GUID* container, CodecPicture& picture);

    UINT Width() const { return width_; }
    UINT Height() const { return height_; }

    // Scales the whole picture into the target's place, each target pixel the
    // average of the pixels it covers; transparent parts show the background.
    // A failure when the codec fails partway (a damaged file).
    HRESULT ScaleInto(const PixelTarget& target, COLORREF background) const;

private:
    ComPtr<IWICBitmapSource> pixels_;
    UINT width_ = 0, height_ = 0;
    UINT bytesPerPixel_ = 3;
    bool premultipliedAlpha_ = false;
};

} // namespace snapvane
