// Photographs as libjpeg reads them inside the DLL: each kind of JPEG file
// shows what ImageMagick shows for it scaled to the same place, turned
// upright; a file cut short shows the part that arrived, the rest plain.
// The photographs and ImageMagick's scalings of them are made at build time
// by make-jpeg-pictures.sh into the folder "jpeg-pictures" beside the program.
#include "ChooseFile.h"
#include "ViewerPictures.h"
#include "viewer/DisplayPicture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace snapvane;
using namespace snapvane::test;

namespace {

// 24-bit pixels, blue first, top row first.
struct Pixels {
    LONG width = 0, height = 0;
    std::vector<BYTE> bgr;
    const BYTE* At(LONG x, LONG y) const { return &bgr[(static_cast<size_t>(y) * width + x) * 3]; }
};

Pixels BitmapPixels(HBITMAP bitmap) {
    BITMAP shape{};
    GetObjectW(bitmap, sizeof shape, &shape);
    Pixels pixels;
    pixels.width = shape.bmWidth;
    pixels.height = shape.bmHeight;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), shape.bmWidth, -shape.bmHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const LONG stride = (shape.bmWidth * 3 + 3) & ~3;
    std::vector<BYTE> rows(static_cast<size_t>(stride) * shape.bmHeight);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, shape.bmHeight, rows.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (LONG y = 0; y < shape.bmHeight; ++y)
        pixels.bgr.insert(pixels.bgr.end(), rows.begin() + y * stride, rows.begin() + y * stride + shape.bmWidth * 3);
    return pixels;
}

Pixels ReferencePixels(const std::wstring& path) {
    auto bitmap = static_cast<HBITMAP>(LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                                  LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (!bitmap) return {};
    Pixels pixels = BitmapPixels(bitmap);
    DeleteObject(bitmap);
    return pixels;
}

Pixels ShownPixels(HWND viewer) {
    auto bitmap = reinterpret_cast<HBITMAP>(
        SendMessageW(GetDlgItem(viewer, DisplayPictureControl::Image), STM_GETIMAGE, IMAGE_BITMAP, 0));
    return bitmap ? BitmapPixels(bitmap) : Pixels{};
}

// The peak signal-to-noise ratio of the reference against the part of the
// box it fills, its top-left corner at (left, top).
double Psnr(const Pixels& box, const Pixels& reference, LONG left, LONG top) {
    double squares = 0;
    for (LONG y = 0; y < reference.height; ++y)
        for (LONG x = 0; x < reference.width; ++x)
            for (int channel = 0; channel < 3; ++channel) {
                const double difference = box.At(left + x, top + y)[channel] - reference.At(x, y)[channel];
                squares += difference * difference;
            }
    const double mean = squares / (3.0 * reference.width * reference.height);
    return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class JpegPictures : public testing::Test {
protected:
    void SetUp() override {
        viewer = &DisplayPicture::Instance();
        window = viewer->Window();
        box = PictureBoxSize(window);
        if (box.cx != 683 || box.cy != 512) GTEST_SKIP() << "the references are made for a box of 683 x 512 pixels";
    }
    void TearDown() override { viewer->ChooserClear(); }

    TemporaryFolder folder;
    DisplayPicture* viewer = nullptr;
    HWND window = nullptr;
    SIZE box{};
};

TEST_F(JpegPictures, EachKindShowsWhatImageMagickScalesItTo) {
    // Baseline, progressive, grey, Adobe CMYK, restart markers, and one
    // stored on its side with its EXIF orientation held as a LONG.
    for (const wchar_t* name : {L"baseline", L"progressive", L"grey", L"cmyk", L"restart", L"turned"}) {
        SCOPED_TRACE(std::string(name, name + std::wcslen(name)));
        const Pixels reference = ReferencePixels(JpegTestPictures() + name + L".ref.bmp");
        ASSERT_GT(reference.width, 0) << "no reference picture; make-jpeg-pictures.sh makes them";
        ASSERT_TRUE(ChooseFile(JpegTestPictures() + name + L".jpg").empty());
        const Pixels shown = ShownPixels(window);
        ASSERT_EQ(shown.width, box.cx);
        const double psnr =
            Psnr(shown, reference, (box.cx - reference.width) / 2, (box.cy - reference.height) / 2);
        std::printf("%ls: %.1f dB\n", name, psnr);
        EXPECT_GE(psnr, 30.0);
    }
}

// A YCCK file, the way print software writes CMYK: libjpeg's encoder, given
// inks inverted the Adobe way (255 is no ink), left half red (magenta and
// yellow), right half blue (cyan and magenta).
std::string YcckJpeg(int width, int height) {
    jpeg_compress_struct encoder{};
    jpeg_error_mgr errors{};
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&encoder, &out, &size);
    encoder.image_width = static_cast<JDIMENSION>(width);
    encoder.image_height = static_cast<JDIMENSION>(height);
    encoder.input_components = 4;
    encoder.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&encoder);
    jpeg_set_colorspace(&encoder, JCS_YCCK);
    jpeg_set_quality(&encoder, 95, TRUE);
    jpeg_start_compress(&encoder, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width) * 4);
    for (int x = 0; x < width; ++x) {
        const JSAMPLE red[4] = {255, 0, 0, 255}, blue[4] = {0, 0, 255, 255};
        std::copy_n(x < width / 2 ? red : blue, 4, &row[static_cast<size_t>(x) * 4]);
    }
    JSAMPROW rows[1] = {row.data()};
    while (encoder.next_scanline < encoder.image_height) jpeg_write_scanlines(&encoder, rows, 1);
    jpeg_finish_compress(&encoder);
    std::string bytes(reinterpret_cast<const char*>(out), size);
    jpeg_destroy_compress(&encoder);
    std::free(out);
    return bytes;
}

TEST_F(JpegPictures, AYcckFileShowsItsInksAsColours) {
    const std::wstring path = folder / L"ycck.jpg";
    WriteBytes(path, YcckJpeg(160, 120));  // 4:3 fills the box
    ASSERT_TRUE(ChooseFile(path).empty());
    EXPECT_TRUE(ColourNear(PictureBoxColour(window, box.cx / 4, box.cy / 2), RGB(255, 0, 0), 16))
        << std::hex << PictureBoxColour(window, box.cx / 4, box.cy / 2);
    EXPECT_TRUE(ColourNear(PictureBoxColour(window, box.cx * 3 / 4, box.cy / 2), RGB(0, 0, 255), 16))
        << std::hex << PictureBoxColour(window, box.cx * 3 / 4, box.cy / 2);
}

TEST_F(JpegPictures, AFileCutShortShowsWhatArrivedAndTheRestPlain) {
    // Cut in the middle of its scan, a baseline photograph keeps its top;
    // below, libjpeg fills plain grey.
    const std::string whole = ReadAll(JpegTestPictures() + L"baseline.jpg");
    ASSERT_GT(whole.size(), 1000u);
    const std::wstring cut = folder / L"cut.jpg";
    WriteBytes(cut, whole.substr(0, whole.size() / 2));
    ASSERT_TRUE(ChooseFile(cut).empty());
    const Pixels shown = ShownPixels(window), reference = ReferencePixels(JpegTestPictures() + L"baseline.ref.bmp");
    ASSERT_EQ(shown.width, box.cx);
    Pixels top = reference;
    top.height = reference.height / 4;  // well inside what arrived
    EXPECT_GE(Psnr(shown, top, (box.cx - reference.width) / 2, (box.cy - reference.height) / 2), 30.0);
    const COLORREF bottom = PictureBoxColour(window, box.cx / 2, box.cy - 4);
    EXPECT_TRUE(ColourNear(bottom, RGB(128, 128, 128), 2)) << std::hex << bottom;

    // Cut after its first scans, a progressive one shows every part coarsely.
    const std::string plain = ReadAll(JpegTestPictures() + L"plain-progressive.jpg");
    ASSERT_GT(plain.size(), 300u);
    for (size_t keep : {plain.size() / 2, plain.size() * 3 / 4}) {
        SCOPED_TRACE(keep);
        WriteBytes(cut, plain.substr(0, keep));
        ASSERT_TRUE(ChooseFile(cut).empty());
        for (POINT at : {POINT{box.cx / 2, 4}, POINT{box.cx / 2, box.cy / 2}, POINT{box.cx / 2, box.cy - 4}})
            EXPECT_TRUE(ColourNear(PictureBoxColour(window, at.x, at.y), RGB(40, 160, 220), 24))
                << std::hex << PictureBoxColour(window, at.x, at.y);
    }
}

// A progressive file whose first scan is repeated count times: each scan is
// a pass over the whole picture, whether or not it brings data.
std::string WithScansRepeated(const std::string& file, int count) {
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(file[at]); };
    const size_t scan = file.find("\xFF\xDA");
    size_t end = scan + 2 + ((byte(scan + 2) << 8) | byte(scan + 3));
    while (end + 1 < file.size() && !(byte(end) == 0xFF && byte(end + 1) != 0 && (byte(end + 1) & 0xF8) != 0xD0)) ++end;
    std::string out = file.substr(0, scan);
    for (int k = 0; k < count; ++k) out += file.substr(scan, end - scan);
    return out + "\xFF\xD9";
}

TEST_F(JpegPictures, AProgressiveFileOfEndlessScansIsRefusedInTime) {
    const std::string seed = ReadAll(JpegTestPictures() + L"small-progressive.jpg");
    ASSERT_GT(seed.size(), 100u);
    std::string huge = WithScansRepeated(seed, 200);
    const size_t frame = huge.find("\xFF\xC2");
    ASSERT_NE(frame, std::string::npos);
    huge.replace(frame + 5, 4, "\x17\x70\x17\x70", 4);  // 6000 x 6000, the data of 48 x 32
    const std::pair<std::string, const char*> cases[] = {{WithScansRepeated(seed, 600), "600 scans of 48 x 32"},
                                                         {huge, "200 scans of 6000 x 6000"}};
    for (const auto& [bytes, what] : cases) {
        SCOPED_TRACE(what);
        const std::wstring path = folder / L"scans.jpg";
        WriteBytes(path, bytes);
        const DWORD start = GetTickCount();
        const auto messages = ChooseFile(path);
        EXPECT_LT(GetTickCount() - start, 5000u);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0],
                  L"File Name " + path + L" asks for more decoding than this viewer does for one picture. It is not shown.");
    }
    // An ordinary progressive photograph, about ten scans, still shows.
    EXPECT_TRUE(ChooseFile(JpegTestPictures() + L"progressive.jpg").empty());
}

} // namespace
