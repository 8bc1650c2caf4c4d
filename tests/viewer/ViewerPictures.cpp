#include "ViewerPictures.h"

#include "viewer/DisplayPicture.h"
#include "win32/ComTypes.h"

#include <wincodec.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace snapvane::test {

namespace {

void Ok(HRESULT hr, const char* what) {
    if (FAILED(hr)) throw std::runtime_error(std::string("picture writing failed at ") + what);
}

template <class T>
void Put(std::string& bytes, T value) {
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Encodes a single-colour frame with the platform's encoders.
void WriteWithCodec(const std::wstring& path, const GUID& container, int width, int height, COLORREF colour) {
    ComPtr<IWICImagingFactory> factory;
    Ok(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory.GetAddressOf())),
       "factory");
    ComPtr<IWICStream> stream;
    Ok(factory->CreateStream(stream.GetAddressOf()), "stream");
    Ok(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE), "file");
    ComPtr<IWICBitmapEncoder> encoder;
    Ok(factory->CreateEncoder(container, nullptr, encoder.GetAddressOf()), "encoder");
    Ok(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "encoder start");
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    Ok(encoder->CreateNewFrame(frame.GetAddressOf(), options.GetAddressOf()), "frame");
    Ok(frame->Initialize(options.Get()), "frame start");
    Ok(frame->SetSize(width, height), "size");
    bool indexed = container == GUID_ContainerFormatGif;
    WICPixelFormatGUID format = indexed ? GUID_WICPixelFormat8bppIndexed : GUID_WICPixelFormat24bppBGR;
    Ok(frame->SetPixelFormat(&format), "pixel format");
    std::vector<BYTE> pixels;
    UINT stride;
    if (indexed) {
        ComPtr<IWICPalette> palette;
        Ok(factory->CreatePalette(palette.GetAddressOf()), "palette");
        WICColor colours[2] = {0xFF000000u | (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour),
                               0xFFFFFFFFu};
        Ok(palette->InitializeCustom(colours, 2), "palette colours");
        Ok(frame->SetPalette(palette.Get()), "frame palette");
        stride = static_cast<UINT>(width);
        pixels.assign(static_cast<size_t>(stride) * height, 0);
    } else {
        stride = static_cast<UINT>((width * 3 + 3) & ~3);
        pixels.assign(static_cast<size_t>(stride) * height, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                BYTE* pixel = &pixels[static_cast<size_t>(y) * stride + x * 3];
                pixel[0] = GetBValue(colour);
                pixel[1] = GetGValue(colour);
                pixel[2] = GetRValue(colour);
            }
    }
    Ok(frame->WritePixels(height, stride, static_cast<UINT>(pixels.size()), pixels.data()), "pixels");
    Ok(frame->Commit(), "frame commit");
    Ok(encoder->Commit(), "commit");
}

} // namespace

TemporaryFolder::TemporaryFolder() {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"snapvane-viewer-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream file(std::filesystem::path(path), std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw std::runtime_error("cannot write a test file");
}

void WriteBmp(const std::wstring& path, int width, int height, COLORREF colour) {
    int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(stride * height);
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    std::string bytes;
    Put(bytes, file);
    Put(bytes, info);
    std::string row(static_cast<size_t>(stride), '\0');
    for (int x = 0; x < width; ++x) {
        row[x * 3] = static_cast<char>(GetBValue(colour));
        row[x * 3 + 1] = static_cast<char>(GetGValue(colour));
        row[x * 3 + 2] = static_cast<char>(GetRValue(colour));
    }
    for (int y = 0; y < height; ++y) bytes += row;
    WriteBytes(path, bytes);
}

void WriteWmf(const std::wstring& path, int width, int height, COLORREF colour) {
    HDC meta = CreateMetaFileW(nullptr);
    if (!meta) throw std::runtime_error("CreateMetaFile failed");
    SetWindowOrgEx(meta, 0, 0, nullptr);
    SetWindowExtEx(meta, width, height, nullptr);
    HBRUSH brush = CreateSolidBrush(colour);
    SelectObject(meta, brush);
    SelectObject(meta, GetStockObject(NULL_PEN));
    Rectangle(meta, 0, 0, width + 1, height + 1);
    HMETAFILE metafile = CloseMetaFile(meta);
    DeleteObject(brush);
    UINT size = GetMetaFileBitsEx(metafile, 0, nullptr);
    std::string records(size, '\0');
    GetMetaFileBitsEx(metafile, size, records.data());
    DeleteMetaFile(metafile);

    // The placeable header that metafile files carry: their size and units.
    std::string bytes;
    WORD header[11] = {0xCDD7, 0x9AC6, 0, 0, 0, static_cast<WORD>(width), static_cast<WORD>(height), 96, 0, 0, 0};
    for (int i = 0; i < 10; ++i) header[10] ^= header[i];
    for (WORD word : header) Put(bytes, word);
    WriteBytes(path, bytes + records);
}

void WriteJpeg(const std::wstring& path, int width, int height, COLORREF colour) {
    WriteWithCodec(path, GUID_ContainerFormatJpeg, width, height, colour);
}

void WriteGif(const std::wstring& path, int width, int height, COLORREF colour) {
    WriteWithCodec(path, GUID_ContainerFormatGif, width, height, colour);
}

std::wstring JpegTestPictures() {
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring folder(program);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + L"jpeg-pictures\\";
}

COLORREF PictureBoxColour(HWND viewer, int x, int y) {
    HWND box = GetDlgItem(viewer, DisplayPictureControl::Image);
    auto bitmap = reinterpret_cast<HBITMAP>(SendMessageW(box, STM_GETIMAGE, IMAGE_BITMAP, 0));
    if (!bitmap) return CLR_INVALID;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ before = SelectObject(dc, bitmap);
    COLORREF colour = GetPixel(dc, x, y);
    SelectObject(dc, before);
    DeleteDC(dc);
    return colour;
}

SIZE PictureBoxSize(HWND viewer) {
    RECT box{};
    GetClientRect(GetDlgItem(viewer, DisplayPictureControl::Image), &box);
    return {box.right, box.bottom};
}

bool ColourNear(COLORREF actual, COLORREF expected, int tolerance) {
    if (actual == CLR_INVALID) return false;
    return std::abs(GetRValue(actual) - GetRValue(expected)) <= tolerance &&
           std::abs(GetGValue(actual) - GetGValue(expected)) <= tolerance &&
           std::abs(GetBValue(actual) - GetBValue(expected)) <= tolerance;
}

} // namespace snapvane::test
