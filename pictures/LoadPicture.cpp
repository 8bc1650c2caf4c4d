#include "pictures/LoadPicture.h"

#include "errors/RuntimeError.h"
#include "pictures/BitmapPicture.h"
#include "pictures/CodecPicture.h"
#include "pictures/GifFirstImage.h"
#include "pictures/JpegPicture.h"
#include "pictures/MetafileCheck.h"
#include "pictures/MetafileFrame.h"
#include "pictures/MetafilePlayer.h"
#include "pictures/PictureBudget.h"
#include "pictures/PictureContent.h"
#include "win32/ComTypes.h"

#include <ole2.h>
#include <olectl.h>
#include <wincodec.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace snapvane {

namespace {

constexpr size_t kPlaceableHeaderBytes = 22;
// Far beyond any photograph; keeps a stray huge file from taking the host's memory.
constexpr LONGLONG kLargestPictureFile = 256LL * 1024 * 1024;
// A decoded picture takes about four bytes a pixel, all at once, inside the
// host's process (a 32-bit one has 2 GB in all): 50 million pixels take 200 MB
// and hold every photograph of today's cameras up to 48 megapixels.
constexpr std::uint64_t kLargestPicturePixels = 50'000'000;
// A bitmap's rows are read in pieces of this size.
constexpr std::uint64_t kRowPieceBytes = 1024 * 1024;

// What the header of a picture file declares; a size of 0 when it declares
// none that is read here (a metafile is drawn, not held as pixels).
struct PictureHeader {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    int orientation = 1;  // EXIF: 1 upright, 2 to 8 mirrored and/or turned
    const GUID* container = nullptr;  // the codecs' name of the kind of file, when it is one read here
    PictureKind kind = PictureKind::Unknown;
    std::uint64_t decodedBytes = 0;  // what a platform codec holds while it decodes the whole picture
};

[[noreturn]] void RaiseNotAPicture(HRESULT hr) {
    throw RuntimeError(static_cast<long>(hr), kErrorSource, L"Invalid picture");
}

// A picture that was not shown: damaged, or asking for more than one
// picture's budget.
[[noreturn]] void RaisePictureRefused(ReadOutcome outcome) {
    static_assert(PictureBudget::kBytes == 256u * 1024 * 1024, "the message names the budget");
    if (outcome == ReadOutcome::TooMuchWork)
        throw RuntimeError(kPictureTooComplex, kErrorSource,
                           L"asks for more decoding than this viewer does for one picture. It is not shown.");
    if (outcome == ReadOutcome::TooMuchMemory)
        throw RuntimeError(kPictureTooLarge, kErrorSource,
                           L"needs more memory to decode than the 256 MB this viewer gives one picture. It is not shown.");
    RaiseNotAPicture(CTL_E_INVALIDPICTURE);
}

// ---- What a picture file's header declares, read before anything is decoded ----


PictureHeader ReadPictureHeader(const BYTE* bytes, size_t size) {
    const DeclaredPicture declared = ReadDeclaredPicture(bytes, size);
    PictureHeader header;
    header.kind = declared.kind;
    header.width = declared.width;
    header.height = declared.height;
    header.decodedBytes = declared.decodedBytes;
    switch (header.kind) {
    case PictureKind::Bitmap: header.container = &GUID_ContainerFormatBmp; break;
    case PictureKind::Gif: header.container = &GUID_ContainerFormatGif; break;
    case PictureKind::Jpeg: header.container = &GUID_ContainerFormatJpeg; break;
    case PictureKind::Png: header.container = &GUID_ContainerFormatPng; break;
    case PictureKind::Metafile:  // drawn, not held as pixels; checked before it is played
    case PictureKind::Unknown:
        break;
    }
    return header;
}

// Refuses, before any decoding, a picture whose header declares more pixels
// than the viewer takes; the decoder would otherwise ask for all of them at once.
void RefuseHugePicture(const PictureHeader& header) {
    if (header.width == 0 || header.height == 0) return;
    if (header.width <= kLargestPicturePixels / header.height) return;
    throw RuntimeError(kPictureTooLarge, kErrorSource,
                       L"is too large to show: " + std::to_wstring(header.width) + L" x " +
                           std::to_wstring(header.height) + L" pixels, more than the " +
                           std::to_wstring(kLargestPicturePixels / 1'000'000) +
                           L" million pixels this viewer shows.");
}

// Global memory held in place while it is read.
class GlobalLockScope {
public:
    explicit GlobalLockScope(HGLOBAL memory) : memory_(memory), bytes_(static_cast<BYTE*>(GlobalLock(memory))) {
        if (!bytes_) Raise(ErrorNumber::OutOfMemory);
    }
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;
    ~GlobalLockScope() { GlobalUnlock(memory_); }
    BYTE* get() const { return bytes_; }

private:
    HGLOBAL memory_;
    BYTE* bytes_;
};

// Memory the picture loader's stream can own, holding the bytes.
unique_hglobal GlobalCopy(const BYTE* bytes, size_t size) {
    unique_hglobal memory(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!memory) Raise(ErrorNumber::OutOfMemory);
    GlobalLockScope locked(memory.get());
    std::memcpy(locked.get(), bytes, size);
    return memory;
}

ComPtr<IStream> StreamOwning(unique_hglobal memory) {
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(memory.get(), TRUE, stream.GetAddressOf()))) Raise(ErrorNumber::OutOfMemory);
    memory.release();  // the stream frees it now
    return stream;
}

// A file that may be a picture: on a disk, of a size the viewer reads.
struct PictureFile {
    unique_handle handle;
    std::uint64_t size = 0;
};

PictureFile OpenPictureFile(const std::wstring& path) {
    PictureFile file;
    file.handle.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.handle.get() == INVALID_HANDLE_VALUE) RaiseNotAPicture(HRESULT_FROM_WIN32(GetLastError()));
    LARGE_INTEGER length{};
    if (GetFileType(file.handle.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.handle.get(), &length) ||
        length.QuadPart <= 0 || length.QuadPart > kLargestPictureFile)
        RaiseNotAPicture(CTL_E_INVALIDPICTURE);
    file.size = static_cast<std::uint64_t>(length.QuadPart);
    return file;
}

// Up to `size` bytes of the file from `offset`; how many were read.
size_t ReadFileAt(HANDLE file, std::uint64_t offset, BYTE* bytes, size_t size) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return 0;
    size_t done = 0;
    while (done < size) {
        DWORD read = 0;
        if (!ReadFile(file, bytes + done, static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30)), &read, nullptr) ||
            read == 0)
            break;
        done += read;
    }
    return done;
}

// The whole file, in a stream the picture loader reads. Only content that is
// positively one of the kinds the viewer shows gets this far.
ComPtr<IStream> ReadFileIntoStream(const PictureFile& file, PictureHeader& header, PictureBudget& budget) {
    const auto size = static_cast<size_t>(file.size);
    // The file's bytes are the picture's too: decoding gets what they leave.
    if (!budget.Take(size)) RaisePictureRefused(ReadOutcome::TooMuchMemory);
    unique_hglobal memory(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!memory) Raise(ErrorNumber::OutOfMemory);
    {
        GlobalLockScope bytes(memory.get());
        if (ReadFileAt(file.handle.get(), 0, bytes.get(), size) != size) RaiseNotAPicture(CTL_E_INVALIDPICTURE);
        header = ReadPictureHeader(bytes.get(), size);
    }
    if (header.kind == PictureKind::Unknown) RaiseNotAPicture(CTL_E_INVALIDPICTURE);
    RefuseHugePicture(header);
    return StreamOwning(std::move(memory));
}

PixelRect ToPixelRect(const RECT& place) { return {place.left, place.top, place.right, place.bottom}; }

// The picture's place in the box: as large as fits, proportions kept, centred.
RECT FitInto(SIZE box, LONG pictureWidth, LONG pictureHeight) {
    double scale = std::min(static_cast<double>(box.cx) / pictureWidth, static_cast<double>(box.cy) / pictureHeight);
    LONG width = std::max(1L, static_cast<LONG>(std::lround(pictureWidth * scale)));
    LONG height = std::max(1L, static_cast<LONG>(std::lround(pictureHeight * scale)));
    width = std::min(width, box.cx);
    height = std::min(height, box.cy);
    LONG left = (box.cx - width) / 2, top = (box.cy - height) / 2;
    return {left, top, left + width, top + height};
}

unique_hbitmap CreateBoxBitmap(SIZE box) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = box.cx;
    info.bmiHeader.biHeight = -box.cy;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    unique_hbitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) Raise(ErrorNumber::OutOfMemory);
    return bitmap;
}


// What a drawing leaves of its place to the background: nothing, when it
// writes every pixel (the row readers average into the whole place), or
// anything (a player draws shapes on the background).
enum class Drawing { WholePlace, Shapes };

// Fills the bitmap's area with the background, all of it or only what lies
// around the place: filling the place first would only be written over.
void FillBitmap(HBITMAP bitmap, SIZE box, COLORREF background, RECT place, Drawing drawing) {
    unique_hdc dc(CreateCompatibleDC(nullptr));
    if (!dc) Raise(ErrorNumber::OutOfMemory);
    SelectObjectScope selected(dc.get(), bitmap);
    unique_hbrush fill(CreateSolidBrush(background));
    const HBRUSH brush = fill ? fill.get() : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    if (drawing == Drawing::Shapes) {
        const RECT whole{0, 0, box.cx, box.cy};
        FillRect(dc.get(), &whole, brush);
        return;
    }
    const RECT margins[] = {{0, 0, box.cx, place.top},
                            {0, place.bottom, box.cx, box.cy},
                            {0, place.top, place.left, place.bottom},
                            {place.right, place.top, box.cx, place.bottom}};
    for (const RECT& margin : margins)
        if (margin.right > margin.left && margin.bottom > margin.top) FillRect(dc.get(), &margin, brush);
}

// Draws the whole picture, once, into the place on the bitmap.
void RenderPicture(IPicture* picture, HBITMAP bitmap, RECT place, OLE_XSIZE_HIMETRIC width,
                   OLE_YSIZE_HIMETRIC height) {
    unique_hdc dc(CreateCompatibleDC(nullptr));
    if (!dc) Raise(ErrorNumber::OutOfMemory);
    HRESULT hr = S_OK;
    {
        SelectObjectScope selected(dc.get(), bitmap);
        SetStretchBltMode(dc.get(), HALFTONE);
        SetBrushOrgEx(dc.get(), 0, 0, nullptr);
        hr = picture->Render(dc.get(), place.left, place.top, place.right - place.left, place.bottom - place.top, 0,
                             height, width, -height, nullptr);
        GdiFlush();
    }
    if (FAILED(hr)) RaiseNotAPicture(hr);
}

// The stored pixel that shows at (x, y) of the upright picture, for each
// EXIF orientation: 2 mirrored, 3 turned half, 4 flipped, 5 mirrored along
// the diagonal, 6 turned a quarter clockwise, 7 along the other diagonal,
// 8 turned a quarter counter-clockwise.
POINT StoredPixel(int orientation, LONG x, LONG y, SIZE stored) {
    switch (orientation) {
    case 2: return {stored.cx - 1 - x, y};
    case 3: return {stored.cx - 1 - x, stored.cy - 1 - y};
    case 4: return {x, stored.cy - 1 - y};
    case 5: return {y, x};
    case 6: return {y, stored.cy - 1 - x};
    case 7: return {stored.cx - 1 - y, stored.cy - 1 - x};
    case 8: return {stored.cx - 1 - y, x};
    default: return {x, y};
    }
}

// Copies the picture as stored into its place on the box's bitmap, upright.
// The pixels of a bitmap made by CreateBoxBitmap, once GDI has finished with them.
DIBSECTION SectionOf(HBITMAP bitmap) {
    DIBSECTION section{};
    if (GetObjectW(bitmap, sizeof section, &section) != sizeof section || !section.dsBm.bmBits)
        Raise(ErrorNumber::OutOfMemory);
    GdiFlush();
    return section;
}

void CopyUpright(HBITMAP storedBitmap, SIZE stored, HBITMAP boxBitmap, RECT place, int orientation) {
    const DIBSECTION from = SectionOf(storedBitmap), to = SectionOf(boxBitmap);
    const auto* source = static_cast<const BYTE*>(from.dsBm.bmBits);
    auto* target = static_cast<BYTE*>(to.dsBm.bmBits);
    for (LONG y = 0; y < place.bottom - place.top; ++y) {
        BYTE* row = target + static_cast<size_t>(place.top + y) * to.dsBm.bmWidthBytes;
        for (LONG x = 0; x < place.right - place.left; ++x) {
            POINT at = StoredPixel(orientation, x, y, stored);
            const BYTE* pixel = source + static_cast<size_t>(at.y) * from.dsBm.bmWidthBytes + static_cast<size_t>(at.x) * 3;
            std::memcpy(row + static_cast<size_t>(place.left + x) * 3, pixel, 3);
        }
    }
}

// The box's bitmap, filled with the background, with the picture drawn
// upright into the largest place that keeps its proportions; draw(bitmap,
// place) draws the picture as stored.
template <class Draw>
unique_hbitmap ComposeUpright(SIZE box, COLORREF background, LONG width, LONG height, int orientation, Draw draw,
                              Drawing drawing = Drawing::WholePlace) {
    // A photograph taken turned a quarter is as wide, upright, as it is high stored.
    const bool turned = orientation >= 5;
    const RECT place = turned ? FitInto(box, height, width) : FitInto(box, width, height);
    unique_hbitmap bitmap = CreateBoxBitmap(box);
    FillBitmap(bitmap.get(), box, background, place, orientation == 1 ? drawing : Drawing::WholePlace);
    if (orientation == 1) {
        draw(bitmap.get(), place);
        return bitmap;
    }
    const LONG placeWidth = place.right - place.left, placeHeight = place.bottom - place.top;
    const SIZE stored = turned ? SIZE{placeHeight, placeWidth} : SIZE{placeWidth, placeHeight};
    unique_hbitmap drawn = CreateBoxBitmap(stored);
    const RECT whole{0, 0, stored.cx, stored.cy};
    if (drawing == Drawing::Shapes) FillBitmap(drawn.get(), stored, background, whole, drawing);
    draw(drawn.get(), whole);
    CopyUpright(drawn.get(), stored, bitmap.get(), place, orientation);
    return bitmap;
}

// The picture through the platform's imaging codecs, scaled as it is read;
// empty when they are missing, or when the bitmap codec refuses a bitmap,
// which the OLE loader may still read.
unique_hbitmap DrawWithCodecs(IStream* stream, LONG size, const PictureHeader& header, SIZE box, COLORREF background,
                              const PictureBudget& budget) {
    // A codec decodes the whole picture at once, where nothing can stop it.
    if (header.decodedBytes > budget.BytesLeft()) RaisePictureRefused(ReadOutcome::TooMuchMemory);
    const int orientation = header.orientation;
    HGLOBAL memory = nullptr;
    if (FAILED(GetHGlobalFromStream(stream, &memory))) return unique_hbitmap();
    GlobalLockScope bytes(memory);
    CodecPicture picture;
    HRESULT hr = CodecPicture::Open(bytes.get(), static_cast<DWORD>(size), header.container, picture);
    if (hr == S_FALSE || (FAILED(hr) && header.kind == PictureKind::Bitmap)) return unique_hbitmap();
    if (FAILED(hr)) RaiseNotAPicture(hr);
    RefuseHugePicture({picture.Width(), picture.Height(), orientation});
    return ComposeUpright(box, background, static_cast<LONG>(picture.Width()), static_cast<LONG>(picture.Height()),
                          orientation, [&](HBITMAP bitmap, RECT place) {
                              const DIBSECTION section = SectionOf(bitmap);
                              PixelTarget target{static_cast<Byte*>(section.dsBm.bmBits), section.dsBm.bmWidthBytes,
                                                 ToPixelRect(place)};
                              HRESULT drawn = picture.ScaleInto(target, background);
                              if (FAILED(drawn)) RaiseNotAPicture(drawn);
                          });
}


// A JPEG through libjpeg, inside the DLL on every Windows: its header read
// as the decoder reads it, so that the pixel cap sees the size it decodes.
unique_hbitmap DrawJpeg(IStream* stream, LONG size, SIZE box, COLORREF background, PictureBudget& budget) {
    HGLOBAL memory = nullptr;
    if (FAILED(GetHGlobalFromStream(stream, &memory))) RaiseNotAPicture(CTL_E_INVALIDPICTURE);
    GlobalLockScope bytes(memory);
    JpegPicture picture;
    const bool opened = picture.Open(bytes.get(), static_cast<size_t>(size));
    RefuseHugePicture({picture.Width(), picture.Height()});
    if (!opened) RaiseNotAPicture(CTL_E_INVALIDPICTURE);
    return ComposeUpright(box, background, static_cast<LONG>(picture.Width()), static_cast<LONG>(picture.Height()),
                          picture.Orientation(), [&](HBITMAP bitmap, RECT place) {
                              const DIBSECTION section = SectionOf(bitmap);
                              PixelTarget target{static_cast<Byte*>(section.dsBm.bmBits), section.dsBm.bmWidthBytes,
                                                 ToPixelRect(place)};
                              const ReadOutcome outcome = picture.ScaleInto(target, background, budget);
                              if (outcome != ReadOutcome::Shown) RaisePictureRefused(outcome);
                          });
}

// A GIF's first image, decoded by the DLL itself straight into the box: the
// platform's codec would take every frame of an animation and check none.
unique_hbitmap DrawGif(IStream* stream, LONG size, SIZE box, COLORREF background, PictureBudget& budget) {
    HGLOBAL memory = nullptr;
    if (FAILED(GetHGlobalFromStream(stream, &memory))) RaiseNotAPicture(CTL_E_INVALIDPICTURE);
    GlobalLockScope bytes(memory);
    const GifImage image = FindGifFirstImage(bytes.get(), static_cast<size_t>(size));
    if (!image.found) RaiseNotAPicture(CTL_E_INVALIDPICTURE);
    RefuseHugePicture({image.width, image.height});
    return ComposeUpright(box, background, static_cast<LONG>(image.width), static_cast<LONG>(image.height), 1,
                          [&](HBITMAP bitmap, RECT place) {
                              const DIBSECTION section = SectionOf(bitmap);
                              PixelTarget target{static_cast<Byte*>(section.dsBm.bmBits), section.dsBm.bmWidthBytes,
                                                 ToPixelRect(place)};
                              switch (DrawGifFirstImage(bytes.get(), static_cast<size_t>(size), image, target,
                                                        background, budget)) {
                              case GifVerdict::Shown:
                                  return;
                              case GifVerdict::TimeUp:
                                  RaisePictureRefused(ReadOutcome::TooMuchWork);
                              case GifVerdict::TooLarge:
                                  RaisePictureRefused(ReadOutcome::TooMuchMemory);
                              case GifVerdict::Unreadable:
                                  break;
                              }
                              RaiseNotAPicture(CTL_E_INVALIDPICTURE);
                          });
}

// The picture rendered once, with HALFTONE, into its place in the box.
unique_hbitmap DrawOlePicture(IPicture* picture, int orientation, SIZE box, COLORREF background) {
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    if (FAILED(picture->get_Width(&width)) || FAILED(picture->get_Height(&height)) || width <= 0 || height <= 0)
        RaiseNotAPicture(CTL_E_INVALIDPICTURE);
    return ComposeUpright(box, background, width, height, orientation, [&](HBITMAP bitmap, RECT place) {
        RenderPicture(picture, bitmap, place, width, height);
    }, Drawing::Shapes);
}

// A Windows bitmap read by the viewer's own reader: its headers from the
// file's first bytes, then its rows from the file a piece at a time into the
// box. Empty for what is no bitmap, and for pixels it leaves to the platform
// (run-length and embedded ones). A bitmap has no orientation of its own.
unique_hbitmap DrawBitmapRows(const PictureFile& file, SIZE box, COLORREF background, PictureBudget& budget) {
    std::vector<Byte> head(static_cast<size_t>(std::min<std::uint64_t>(file.size, BitmapPicture::kHeadBytes)));
    head.resize(ReadFileAt(file.handle.get(), 0, head.data(), head.size()));
    if (IdentifyPicture(head.data(), head.size(), file.size) != PictureKind::Bitmap) return unique_hbitmap();
    // The size the header declares meets the pixel cap before anything else is checked.
    const DeclaredPicture declared = ReadDeclaredPicture(head.data(), head.size());
    RefuseHugePicture({declared.width, declared.height});
    BitmapPicture picture;
    switch (picture.Open(head.data(), head.size(), file.size)) {
    case BitmapVerdict::Rows:
        break;
    case BitmapVerdict::Elsewhere:
        return unique_hbitmap();
    case BitmapVerdict::Unreadable:
        RaiseNotAPicture(CTL_E_INVALIDPICTURE);
    }
    // A piece of a megabyte (or of the file, where it is smaller), or one
    // row where a row is longer.
    const auto piece = static_cast<size_t>(
        std::max<std::uint64_t>(picture.RowBytes(), std::min<std::uint64_t>(kRowPieceBytes, file.size)));
    BudgetedBytes pieceMemory(budget, piece);
    if (!pieceMemory) RaisePictureRefused(ReadOutcome::TooMuchMemory);
    PieceRows rows([&file](std::uint64_t offset, Byte* bytes, size_t size) {
        return ReadFileAt(file.handle.get(), offset, bytes, size);
    }, file.size, piece, picture.RowsComeLastFirst());
    return ComposeUpright(box, background, static_cast<LONG>(picture.Width()), static_cast<LONG>(picture.Height()), 1,
                          [&](HBITMAP bitmap, RECT place) {
                              const DIBSECTION section = SectionOf(bitmap);
                              PixelTarget target{static_cast<Byte*>(section.dsBm.bmBits), section.dsBm.bmWidthBytes,
                                                 ToPixelRect(place)};
                              if (picture.ScaleInto(target, background, budget, rows)) return;
                              if (budget.TimeIsUp()) RaisePictureRefused(ReadOutcome::TooMuchWork);
                              RaiseNotAPicture(CTL_E_INVALIDPICTURE);
                          });
}

// The picture through the OLE loader, which every Windows has. It copies a
// bitmap's rows from where the file header says, unchecked, so a bitmap
// reaches it only as GDI takes it whole.
unique_hbitmap DrawWithOleLoader(ComPtr<IStream> stream, LONG size, const PictureHeader& header, SIZE box,
                                 COLORREF background) {
    if (header.kind == PictureKind::Bitmap) {
        HGLOBAL memory = nullptr;
        if (FAILED(GetHGlobalFromStream(stream.Get(), &memory))) RaiseNotAPicture(CTL_E_INVALIDPICTURE);
        std::vector<BYTE> bitmap;
        {
            GlobalLockScope bytes(memory);
            bitmap = BitmapForOleLoader(bytes.get(), static_cast<size_t>(size));
        }
        if (bitmap.empty()) RaiseNotAPicture(CTL_E_INVALIDPICTURE);
        stream = StreamOwning(GlobalCopy(bitmap.data(), bitmap.size()));
        size = static_cast<LONG>(bitmap.size());
    }
    // The OLE loader reads from where the stream stands.
    LARGE_INTEGER start{};
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) RaiseNotAPicture(CTL_E_INVALIDPICTURE);
    ComPtr<IPicture> picture;
    HRESULT hr =
        OleLoadPicture(stream.Get(), size, FALSE, IID_IPicture, reinterpret_cast<void**>(picture.GetAddressOf()));
    if (FAILED(hr) || !picture) RaiseNotAPicture(FAILED(hr) ? hr : CTL_E_INVALIDPICTURE);
    return DrawOlePicture(picture.Get(), header.orientation, box, background);
}

[[noreturn]] void RaiseTooComplex() {
    throw RuntimeError(kPictureTooComplex, kErrorSource,
                       L"asks for more drawing than this viewer does for one picture. It is not shown.");
}

// A metafile is played from its checked records alone, here: the OLE loader
// would take the file's first bytes for a stream header of its own when they
// look like one, and play other bytes than those checked. Its records are
// played one by one, stopped when the picture's time is up: the check's
// estimate is a first line, not the only one.
unique_hbitmap DrawMetafile(IStream* stream, LONG size, SIZE box, COLORREF background, PictureBudget& budget) {
    HGLOBAL memory = nullptr;
    if (FAILED(GetHGlobalFromStream(stream, &memory))) RaiseNotAPicture(CTL_E_INVALIDPICTURE);
    GlobalLockScope bytes(memory);
    // Records are whole words; GDI takes the data's size in words.
    const size_t checked = static_cast<size_t>(size) & ~size_t{1};
    MetafileFrame frame;
    if (!ReadMetafileFrame(bytes.get(), checked, frame)) RaiseNotAPicture(CTL_E_INVALIDPICTURE);
    const RECT place = FitInto(box, frame.himetricWidth, frame.himetricHeight);
    switch (CheckMetafile(bytes.get(), checked, {{place.right - place.left, place.bottom - place.top}, {box.cx, box.cy}})) {
    case MetafileVerdict::Playable:
        break;
    case MetafileVerdict::TooMuchDrawing:
        RaiseTooComplex();
    case MetafileVerdict::Unsafe:
        RaiseNotAPicture(CTL_E_INVALIDPICTURE);
    }
    const RECT window{frame.left, frame.top, frame.left + frame.width, frame.top + frame.height};
    return ComposeUpright(box, background, frame.himetricWidth, frame.himetricHeight, 1, [&](HBITMAP bitmap, RECT at) {
        unique_hdc dc(CreateCompatibleDC(nullptr));
        if (!dc) Raise(ErrorNumber::OutOfMemory);
        MetafilePlay played = MetafilePlay::NotTaken;
        {
            SelectObjectScope selected(dc.get(), bitmap);
            SetStretchBltMode(dc.get(), HALFTONE);
            SetBrushOrgEx(dc.get(), 0, 0, nullptr);
            played = PlayCheckedMetafile(dc.get(), bytes.get() + frame.recordsAt, checked - frame.recordsAt, at, window,
                                         budget);
            GdiFlush();
        }
        if (played == MetafilePlay::OutOfTime) RaiseTooComplex();
        if (played != MetafilePlay::Finished) RaiseNotAPicture(CTL_E_INVALIDPICTURE);
    }, Drawing::Shapes);
}

// The processor time this thread has had: a picture's time is the work done
// for it, which a busy machine spreads over longer without adding to it.
std::chrono::nanoseconds ThreadProcessorTime() {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user))
        return std::chrono::duration_cast<std::chrono::nanoseconds>(PictureBudget::Clock::now().time_since_epoch());
    auto ticks = [](const FILETIME& time) {
        return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return std::chrono::nanoseconds(static_cast<std::int64_t>((ticks(kernel) + ticks(user)) * 100));
}

} // namespace

unique_hbitmap LoadScaledPicture(const std::wstring& path, SIZE box, COLORREF background) {
    PictureBudget budget(PictureBudget::kTime, PictureBudget::kBytes, ThreadProcessorTime);
    const PictureFile file = OpenPictureFile(path);
    if (unique_hbitmap bitmap = DrawBitmapRows(file, box, background, budget)) return bitmap;
    PictureHeader header;
    ComPtr<IStream> stream = ReadFileIntoStream(file, header, budget);
    const auto size = static_cast<LONG>(file.size);
    if (header.kind == PictureKind::Metafile) return DrawMetafile(stream.Get(), size, box, background, budget);
    if (header.kind == PictureKind::Jpeg) return DrawJpeg(stream.Get(), size, box, background, budget);
    if (header.kind == PictureKind::Gif) return DrawGif(stream.Get(), size, box, background, budget);
    if (unique_hbitmap bitmap = DrawWithCodecs(stream.Get(), size, header, box, background, budget)) return bitmap;
    return DrawWithOleLoader(stream, size, header, box, background);
}

PictureKind IdentifyPictureFile(const wchar_t* path) {
    unique_handle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE || GetFileType(file.get()) != FILE_TYPE_DISK) return PictureKind::Unknown;
    BYTE start[kPlaceableHeaderBytes] = {};
    DWORD read = 0;
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file.get(), &length) || !ReadFile(file.get(), start, sizeof start, &read, nullptr))
        return PictureKind::Unknown;
    return IdentifyPicture(start, read, static_cast<std::uint64_t>(length.QuadPart));
}

bool IsPictureLimit(long number) { return number == kPictureTooLarge || number == kPictureTooComplex; }

} // namespace snapvane
