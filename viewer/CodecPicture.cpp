#include "viewer/CodecPicture.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

namespace snapvane {

namespace {

// The source pixels [first, last) that one target pixel covers along one axis:
// an equal share when shrinking, the nearest pixel when enlarging.
struct Span {
    UINT first, last;
};

std::vector<Span> Spans(UINT source, LONG target) {
    std::vector<Span> spans(static_cast<size_t>(target));
    for (LONG k = 0; k < target; ++k) {
        auto first = static_cast<UINT>(static_cast<std::uint64_t>(k) * source / static_cast<std::uint64_t>(target));
        auto last = static_cast<UINT>(static_cast<std::uint64_t>(k + 1) * source / static_cast<std::uint64_t>(target));
        spans[static_cast<size_t>(k)] = {first, std::max(last, first + 1)};
    }
    return spans;
}

// Adds one source row to the running sums of the target row, four per pixel
// (blue, green, red, alpha).
template <UINT BytesPerPixel, bool Alpha>
void AddRow(const BYTE* row, const std::vector<Span>& columns, std::vector<std::uint64_t>& sums) {
    std::uint64_t* sum = sums.data();
    for (const Span& span : columns) {
        std::uint64_t blue = 0, green = 0, red = 0, alpha = 0;
        const BYTE* pixel = row + static_cast<size_t>(span.first) * BytesPerPixel;
        for (UINT x = span.first; x < span.last; ++x, pixel += BytesPerPixel) {
            blue += pixel[0];
            green += pixel[1];
            red += pixel[2];
            if constexpr (Alpha) alpha += pixel[3];
        }
        sum[0] += blue;
        sum[1] += green;
        sum[2] += red;
        sum[3] += alpha;
        sum += 4;
    }
}

// The averages of the target row, laid over the background where the
// picture is transparent (its colours are premultiplied by their alpha).
void WriteRow(BYTE* out, const std::vector<std::uint64_t>& sums, const std::vector<Span>& columns, UINT rowsAdded,
              bool alpha, COLORREF background) {
    const std::uint64_t back[3] = {GetBValue(background), GetGValue(background), GetRValue(background)};
    const std::uint64_t* sum = sums.data();
    for (const Span& span : columns) {
        const std::uint64_t count = static_cast<std::uint64_t>(span.last - span.first) * rowsAdded;
        const std::uint64_t cover = alpha ? (sum[3] + count / 2) / count : 255;
        for (int channel = 0; channel < 3; ++channel) {
            std::uint64_t value = (sum[channel] + count / 2) / count + (back[channel] * (255 - cover) + 127) / 255;
            *out++ = static_cast<BYTE>(std::min<std::uint64_t>(value, 255));
        }
        sum += 4;
    }
}

} // namespace

HRESULT CodecPicture::Open(const BYTE* bytes, DWORD size, const GUID* container, CodecPicture& picture) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    // The codecs' own stream over memory refuses to seek past the end, where a
    // damaged segment length would otherwise send a decoder reading.
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))) ||
        FAILED(factory->CreateStream(&stream)) || FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes), size)))
        return S_FALSE;
    if (container) {
        // One decoder reads the file once: a second reading by the OLE loader
        // would only fail again on a damaged file.
        if (FAILED(factory->CreateDecoder(*container, nullptr, &decoder))) return S_FALSE;
        HRESULT hr = decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand);
        if (FAILED(hr)) return hr;
    } else if (FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                       &decoder))) {
        return S_FALSE;
    }

    ComPtr<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    WICPixelFormatGUID format{};
    HRESULT hr = decoder->GetFrame(0, &frame);
    if (SUCCEEDED(hr)) hr = frame->GetSize(&width, &height);
    if (SUCCEEDED(hr)) hr = frame->GetPixelFormat(&format);
    if (FAILED(hr)) return hr;
    if (width == 0 || height == 0 || width > UINT_MAX / 4) return WINCODEC_ERR_BADIMAGE;

    // The layouts read as they come; anything else (palettes, grey, CMYK,
    // alpha not yet premultiplied) is converted on the way.
    if (format == GUID_WICPixelFormat24bppBGR) {
        picture.pixels_ = frame;
        picture.bytesPerPixel_ = 3;
        picture.premultipliedAlpha_ = false;
    } else if (format == GUID_WICPixelFormat32bppBGR || format == GUID_WICPixelFormat32bppPBGRA) {
        picture.pixels_ = frame;
        picture.bytesPerPixel_ = 4;
        picture.premultipliedAlpha_ = format == GUID_WICPixelFormat32bppPBGRA;
    } else {
        ComPtr<IWICFormatConverter> converter;
        hr = factory->CreateFormatConverter(&converter);
        if (SUCCEEDED(hr))
            hr = converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                       WICBitmapPaletteTypeCustom);
        if (FAILED(hr)) return hr;
        picture.pixels_ = converter;
        picture.bytesPerPixel_ = 4;
        picture.premultipliedAlpha_ = true;
    }
    picture.width_ = width;
    picture.height_ = height;
    return S_OK;
}

HRESULT CodecPicture::ScaleInto(const PixelTarget& target, COLORREF background) const {
    const LONG width = target.place.right - target.place.left, height = target.place.bottom - target.place.top;
    if (!pixels_ || width <= 0 || height <= 0) return E_UNEXPECTED;
    const std::vector<Span> columns = Spans(width_, width), rows = Spans(height_, height);
    const UINT rowBytes = width_ * bytesPerPixel_;
    std::vector<BYTE> row(rowBytes);
    std::vector<std::uint64_t> sums(static_cast<size_t>(width) * 4);
    auto addRow = bytesPerPixel_ == 3      ? AddRow<3, false>
                  : premultipliedAlpha_ ? AddRow<4, true>
                                        : AddRow<4, false>;

    // One source row at a time: the codec keeps its decode, this keeps a row.
    UINT rowHeld = UINT_MAX;
    for (LONG y = 0; y < height; ++y) {
        const Span& span = rows[static_cast<size_t>(y)];
        std::fill(sums.begin(), sums.end(), 0);
        for (UINT source = span.first; source < span.last; ++source) {
            if (source != rowHeld) {
                WICRect line{0, static_cast<INT>(source), static_cast<INT>(width_), 1};
                HRESULT hr = pixels_->CopyPixels(&line, rowBytes, rowBytes, row.data());
                if (FAILED(hr)) return hr;
                rowHeld = source;
            }
            addRow(row.data(), columns, sums);
        }
        BYTE* out = target.bits + static_cast<size_t>(target.place.top + y) * static_cast<size_t>(target.stride) +
                    static_cast<size_t>(target.place.left) * 3;
        WriteRow(out, sums, columns, span.last - span.first, premultipliedAlpha_, background);
    }
    return S_OK;
}

} // namespace snapvane
