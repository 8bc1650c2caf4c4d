#include "pictures/CodecPicture.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

namespace snapvane {

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
    RowAverage average(width_, height_, bytesPerPixel_, premultipliedAlpha_, target, background);
    const UINT rowBytes = width_ * bytesPerPixel_;
    std::vector<BYTE> row(rowBytes);
    // One source row at a time: the codec keeps its decode, this keeps a row.
    for (UINT source = 0; source < height_ && !average.Done(); ++source) {
        WICRect line{0, static_cast<INT>(source), static_cast<INT>(width_), 1};
        HRESULT hr = pixels_->CopyPixels(&line, rowBytes, rowBytes, row.data());
        if (FAILED(hr)) return hr;
        average.AddRow(row.data());
    }
    return S_OK;
}

} // namespace snapvane
