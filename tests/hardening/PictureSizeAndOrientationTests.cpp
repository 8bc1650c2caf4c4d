// Two things the picture's header decides before it is shown: a picture that
// declares more pixels than the viewer takes is refused before it is decoded,
// and a photograph whose EXIF orientation says it was taken rotated or
// mirrored is shown upright.
#include "../pictures/GifBytes.h"
#include "../viewer/ChooseFile.h"
#include "../viewer/ViewerPictures.h"
#include "ProcessResources.h"
#include "viewer/DisplayPicture.h"
#include "win32/ComTypes.h"

#include <wincodec.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>

using namespace snapvane;
using namespace snapvane::test;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kYellow = RGB(255, 255, 0);

class HeaderDecides : public testing::Test {
protected:
    void SetUp() override {
        viewer = &DisplayPicture::Instance();
        window = viewer->Window();
        viewer->SetBasePath(folder.Path() + L"\\");
    }
    void TearDown() override { viewer->ChooserClear(); }

    TemporaryFolder folder;
    DisplayPicture* viewer = nullptr;
    HWND window = nullptr;
};

template <class T>
void Put(std::string& bytes, size_t offset, T value) {
    std::memcpy(&bytes[offset], &value, sizeof value);
}

std::string ReadAll(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes;
}

TEST_F(HeaderDecides, PicturesDeclaringMorePixelsThanTheViewerTakesAreRefusedUndecoded) {
    // Small files whose headers claim huge pictures; a decoder would try to
    // allocate for the claim before finding the data missing.
    std::wstring bmp = folder / L"huge.bmp", jpg = folder / L"huge.jpg", gif = folder / L"huge.gif";
    WriteBmp(bmp, 8, 8, kRed);
    std::string bytes = ReadAll(bmp);
    Put(bytes, 18, std::int32_t{10000});
    Put(bytes, 22, std::int32_t{-10000});  // top-down, 100 million pixels
    WriteBytes(bmp, bytes);
    WriteJpeg(jpg, 16, 16, kRed);
    bytes = ReadAll(jpg);
    for (size_t at = 2; at + 9 < bytes.size(); ++at)
        if (static_cast<unsigned char>(bytes[at]) == 0xFF && static_cast<unsigned char>(bytes[at + 1]) == 0xC0) {
            bytes[at + 5] = bytes[at + 6] = bytes[at + 7] = bytes[at + 8] = '\xFF';  // 65535 x 65535
            break;
        }
    WriteBytes(jpg, bytes);
    // A GIF's first image is what its decoder allocates for, not its logical screen.
    WriteBytes(gif, GifHeader(16, 16, std::string(6, '\xFF')) + GifImageBlock(65535, 65535, Lzw({0}, 2), 2) + ";");

    const std::pair<std::wstring, std::wstring> cases[] = {
        {bmp, L"10000 x 10000"}, {jpg, L"65535 x 65535"}, {gif, L"65535 x 65535"}};
    for (const auto& [path, size] : cases) {
        auto messages = ChooseFile(path);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], L"File Name " + path + L" is too large to show: " + size +
                                   L" pixels, more than the 50 million pixels this viewer shows.");
        EXPECT_EQ(PictureBoxColour(window, 10, 10), CLR_INVALID);
    }
}

// A JPEG of four coloured quarters (red, blue / green, yellow), with an EXIF
// block carrying the orientation spliced in after the start marker.
// The orientation is held as a SHORT (type 3), as most cameras write it, or
// as a LONG (4) or SLONG (9), as some cameras and editors do.
void WriteOrientedJpeg(const std::wstring& path, int orientation, bool bigEndian, unsigned type = 3) {
    const UINT width = 64, height = 32, stride = width * 3;
    std::vector<BYTE> pixels(stride * height);
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) {
            COLORREF colour = y < height / 2 ? (x < width / 2 ? kRed : kBlue) : (x < width / 2 ? kGreen : kYellow);
            BYTE* pixel = &pixels[y * stride + x * 3];
            pixel[0] = GetBValue(colour);
            pixel[1] = GetGValue(colour);
            pixel[2] = GetRValue(colour);
        }
    {
        // Every encoder object goes before the file is rewritten.
        ComPtr<IWICImagingFactory> factory;
        ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_PPV_ARGS(factory.GetAddressOf())));
        ComPtr<IWICBitmap> bitmap;
        ASSERT_HRESULT_SUCCEEDED(factory->CreateBitmapFromMemory(width, height, GUID_WICPixelFormat24bppBGR, stride,
                                                                 static_cast<UINT>(pixels.size()), pixels.data(),
                                                                 bitmap.GetAddressOf()));
        ComPtr<IWICStream> stream;
        factory->CreateStream(stream.GetAddressOf());
        ASSERT_HRESULT_SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE));
        ComPtr<IWICBitmapEncoder> encoder;
        factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, encoder.GetAddressOf());
        encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
        ComPtr<IWICBitmapFrameEncode> frame;
        ComPtr<IPropertyBag2> options;
        encoder->CreateNewFrame(frame.GetAddressOf(), options.GetAddressOf());
        frame->Initialize(options.Get());
        frame->SetSize(width, height);
        WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
        frame->SetPixelFormat(&format);
        ASSERT_HRESULT_SUCCEEDED(frame->WriteSource(bitmap.Get(), nullptr));
        frame->Commit();
        encoder->Commit();
    }
    auto word = [&](unsigned value) {
        return bigEndian ? std::string{static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)}
                         : std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
    };
    std::string tiff = std::string(bigEndian ? "MM" : "II") + word(42) + word(bigEndian ? 0 : 8) +
                       word(bigEndian ? 8 : 0) + word(1) + word(0x0112) + word(type) + word(bigEndian ? 0 : 1) +
                       word(bigEndian ? 1 : 0);
    // A value shorter than four bytes comes first in its field.
    const bool wide = type == 4 || type == 9;
    tiff += wide && bigEndian ? word(0) + word(static_cast<unsigned>(orientation))
                              : word(static_cast<unsigned>(orientation)) + word(0);
    tiff += word(0) + word(0);
    std::string exif = std::string("Exif\0\0", 6) + tiff;
    std::string segment = "\xFF\xE1";
    segment += static_cast<char>((exif.size() + 2) >> 8);
    segment += static_cast<char>((exif.size() + 2) & 0xFF);
    std::string bytes = ReadAll(path);
    WriteBytes(path, bytes.substr(0, 2) + segment + exif + bytes.substr(2));
}

// The four quarters as shown (top-left, top-right, bottom-left,
// bottom-right) for each orientation 1 to 8.
const std::array<COLORREF, 4> kShown[9] = {{},
                                           {kRed, kBlue, kGreen, kYellow},
                                           {kBlue, kRed, kYellow, kGreen},
                                           {kYellow, kGreen, kBlue, kRed},
                                           {kGreen, kYellow, kRed, kBlue},
                                           {kRed, kGreen, kBlue, kYellow},
                                           {kGreen, kRed, kYellow, kBlue},
                                           {kYellow, kBlue, kGreen, kRed},
                                           {kBlue, kYellow, kRed, kGreen}};

// Checks the four quarters of the oriented picture as the box shows it.
void ExpectUpright(HWND window, int orientation) {
    const SIZE box = PictureBoxSize(window);
    // Turned a quarter, the 2:1 picture stands 1:2 in the box.
    const bool turned = orientation >= 5;
    const double aspect = turned ? 0.5 : 2.0;
    const LONG width = std::min<LONG>(box.cx, static_cast<LONG>(box.cy * aspect));
    const LONG height = std::min<LONG>(box.cy, static_cast<LONG>(box.cx / aspect));
    const LONG left = (box.cx - width) / 2, top = (box.cy - height) / 2;
    const POINT quarters[4] = {{left + width / 4, top + height / 4},
                               {left + width * 3 / 4, top + height / 4},
                               {left + width / 4, top + height * 3 / 4},
                               {left + width * 3 / 4, top + height * 3 / 4}};
    for (int q = 0; q < 4; ++q) {
        COLORREF colour = PictureBoxColour(window, quarters[q].x, quarters[q].y);
        EXPECT_TRUE(ColourNear(colour, kShown[orientation][q], 48)) << "quarter " << q << " shows " << std::hex << colour;
    }
    EXPECT_EQ(ColourNear(PictureBoxColour(window, 8, box.cy / 2), GetSysColor(COLOR_BTNFACE), 4), turned)
        << "an upright portrait leaves the sides of the box empty";
}

TEST_F(HeaderDecides, PhotographsAreShownUprightWhateverTheirExifOrientation) {
    for (bool bigEndian : {false, true}) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE("orientation " + std::to_string(orientation) + (bigEndian ? ", big-endian" : ""));
            std::wstring path = folder / (L"oriented" + std::to_wstring(orientation) + (bigEndian ? L"mm" : L"ii") +
                                          L".jpg");
            WriteOrientedJpeg(path, orientation, bigEndian);
            ASSERT_TRUE(ChooseFile(path).empty());
            ExpectUpright(window, orientation);
        }
    }
}

TEST_F(HeaderDecides, AnOrientationHeldAsA32BitValueTurnsThePhotographToo) {
    for (unsigned type : {4u, 9u})
        for (bool bigEndian : {false, true})
            for (int orientation : {3, 6, 8}) {
                SCOPED_TRACE("type " + std::to_string(type) + ", orientation " + std::to_string(orientation) +
                             (bigEndian ? ", big-endian" : ""));
                std::wstring path = folder / (L"long" + std::to_wstring(type) + L"-" + std::to_wstring(orientation) +
                                              (bigEndian ? L"mm" : L"ii") + L".jpg");
                WriteOrientedJpeg(path, orientation, bigEndian, type);
                ASSERT_TRUE(ChooseFile(path).empty());
                ExpectUpright(window, orientation);
            }
}

TEST_F(HeaderDecides, TheJpegCapReadsTheFrameSizeAsTheDecoderDoes) {
    // Markers without a length (TEM, a restart marker) and stray bytes
    // before the frame header, which libjpeg passes over: the size that
    // counts is the one it then decodes.
    std::wstring path = folder / L"hidden-size.jpg";
    WriteJpeg(path, 16, 16, kRed);
    std::string bytes = ReadAll(path);
    for (size_t at = 2; at + 9 < bytes.size(); ++at)
        if (static_cast<unsigned char>(bytes[at]) == 0xFF && static_cast<unsigned char>(bytes[at + 1]) == 0xC0) {
            bytes[at + 5] = '\x2E';  // 12000 high
            bytes[at + 6] = '\xE0';
            bytes[at + 7] = '\x2E';  // 12000 wide
            bytes[at + 8] = '\xE0';
            break;
        }
    WriteBytes(path, bytes.substr(0, 2) + std::string("\xFF\x01\xFF\xD3\x00\x17\x2A", 7) + bytes.substr(2));
    const SIZE_T peakBefore = PeakPrivateBytes();
    auto messages = ChooseFile(path);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], L"File Name " + path +
                               L" is too large to show: 12000 x 12000 pixels, more than the 50 million pixels this "
                               L"viewer shows.");
    EXPECT_EQ(PictureBoxColour(window, 10, 10), CLR_INVALID);
    // Decoding would have taken hundreds of megabytes at once.
    EXPECT_LT(PeakPrivateBytes(), peakBefore + 64 * 1024 * 1024);
}

} // namespace
