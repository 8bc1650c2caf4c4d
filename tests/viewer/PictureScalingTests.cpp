// How a picture is brought to the box's size: fine detail is averaged, not
// sampled; transparent parts show the box's background; and pictures still
// show where Windows has only the OLE picture loader.
#include "ChooseFile.h"
#include "ViewerPictures.h"
#include "viewer/DisplayPicture.h"
#include "win32/ComTypes.h"

#include <wincodec.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace snapvane;
using namespace snapvane::test;

namespace {

class PictureScaling : public testing::Test {
protected:
    void SetUp() override {
        viewer = &DisplayPicture::Instance();
        window = viewer->Window();
        box = PictureBoxSize(window);
    }
    void TearDown() override { viewer->ChooserClear(); }

    TemporaryFolder folder;
    DisplayPicture* viewer = nullptr;
    HWND window = nullptr;
    SIZE box{};
};

template <class T>
void Append(std::string& bytes, const T& value) {
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// A 24-bit bitmap of one-pixel black and white stripes.
void WriteStripes(const std::wstring& path, int width, int height) {
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    file.bfSize = file.bfOffBits + static_cast<DWORD>(stride * height);
    BITMAPINFOHEADER info{sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::string bytes;
    Append(bytes, file);
    Append(bytes, info);
    std::string row(static_cast<size_t>(stride), '\0');
    for (int x = 0; x < width; x += 2) std::memset(&row[static_cast<size_t>(x) * 3], 0xFF, 3);
    for (int y = 0; y < height; ++y) bytes += row;
    WriteBytes(path, bytes);
}

// A GIF89a whose left half is the transparent colour and right half red.
// The image data is LZW with a clear code before every two pixels, so that
// every code stays 3 bits wide.
void WriteHalfTransparentGif(const std::wstring& path, int width, int height) {
    std::string bytes = "GIF89a";
    auto word = [&](int value) {
        bytes += static_cast<char>(value & 0xFF);
        bytes += static_cast<char>(value >> 8);
    };
    word(width);
    word(height);
    bytes += "\xF1";  // global colour table of 4 entries
    bytes += '\0';
    bytes += '\0';
    bytes += std::string("\x00\x00\x00\xFF\x00\x00\x00\x00\x00\x00\x00\x00", 12);  // 0 transparent, 1 red
    bytes += std::string("\x21\xF9\x04\x01\x00\x00\x00\x00", 8);                // colour 0 is transparent
    bytes += "\x2C";
    word(0);
    word(0);
    word(width);
    word(height);
    bytes += '\0';
    bytes += '\x02';  // minimum code size

    std::vector<int> codes;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if ((y * width + x) % 2 == 0) codes.push_back(4);  // clear
            codes.push_back(x < width / 2 ? 0 : 1);
        }
    codes.push_back(5);  // end
    std::string data;
    unsigned bits = 0, count = 0;
    for (int code : codes) {
        bits |= static_cast<unsigned>(code) << count;
        count += 3;
        while (count >= 8) {
            data += static_cast<char>(bits & 0xFF);
            bits >>= 8;
            count -= 8;
        }
    }
    if (count > 0) data += static_cast<char>(bits & 0xFF);
    for (size_t at = 0; at < data.size(); at += 255) {
        std::string block = data.substr(at, 255);
        bytes += static_cast<char>(block.size());
        bytes += block;
    }
    bytes += '\0';
    bytes += ';';
    WriteBytes(path, bytes);
}

TEST_F(PictureScaling, FineDetailIsAveragedNotSampled) {
    // Four times the box's size: sampling would show black or white stripes,
    // averaging shows an even grey.
    const std::wstring path = folder / L"stripes.bmp";
    WriteStripes(path, box.cx * 4, box.cy * 4);
    ASSERT_TRUE(ChooseFile(path).empty());
    for (POINT at : {POINT{box.cx / 4, box.cy / 4}, POINT{box.cx / 2, box.cy / 2}, POINT{box.cx / 2 + 1, box.cy - 3}})
        EXPECT_TRUE(ColourNear(PictureBoxColour(window, at.x, at.y), RGB(128, 128, 128), 24))
            << "at " << at.x << "," << at.y << ": " << std::hex << PictureBoxColour(window, at.x, at.y);
}

TEST_F(PictureScaling, TransparentPartsShowTheBoxBackground) {
    const std::wstring path = folder / L"half.gif";
    WriteHalfTransparentGif(path, 64, 48);  // 4:3 fills the box
    ASSERT_TRUE(ChooseFile(path).empty());
    EXPECT_TRUE(ColourNear(PictureBoxColour(window, box.cx / 4, box.cy / 2), GetSysColor(COLOR_BTNFACE), 4))
        << std::hex << PictureBoxColour(window, box.cx / 4, box.cy / 2);
    EXPECT_TRUE(ColourNear(PictureBoxColour(window, box.cx * 3 / 4, box.cy / 2), RGB(255, 0, 0)))
        << std::hex << PictureBoxColour(window, box.cx * 3 / 4, box.cy / 2);
}

// Run by its own test entry with the imaging codecs switched off; skipped
// where they are present.
TEST_F(PictureScaling, PicturesShowWithOnlyTheOlePictureLoader) {
    ComPtr<IWICImagingFactory> factory;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(factory.GetAddressOf()))))
        GTEST_SKIP() << "the imaging codecs are installed";
    const std::wstring bmp = folder / L"blue.bmp", wmf = folder / L"yellow.wmf";
    WriteBmp(bmp, 40, 30, RGB(0, 0, 255));
    WriteWmf(wmf, 40, 30, RGB(255, 255, 0));
    for (const auto& [path, colour] : {std::pair{bmp, RGB(0, 0, 255)}, std::pair{wmf, RGB(255, 255, 0)}}) {
        ASSERT_TRUE(ChooseFile(path).empty());
        EXPECT_TRUE(ColourNear(PictureBoxColour(window, box.cx / 2, box.cy / 2), colour))
            << std::hex << PictureBoxColour(window, box.cx / 2, box.cy / 2);
    }
    // JPEGs are read by the DLL's own decoder, codecs or not.
    ASSERT_TRUE(ChooseFile(JpegTestPictures() + L"plain-progressive.jpg").empty());
    EXPECT_TRUE(ColourNear(PictureBoxColour(window, box.cx / 2, box.cy / 2), RGB(40, 160, 220), 8))
        << std::hex << PictureBoxColour(window, box.cx / 2, box.cy / 2);
}

} // namespace
