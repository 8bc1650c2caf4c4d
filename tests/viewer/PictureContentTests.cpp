// What reaches a decoder: only content that is positively a JPEG, GIF, BMP or
// placeable Windows metafile, whatever the file is called, and only in the
// form its decoder reads safely. Each file is shown through the chooser and
// checked by its pixels, or refused with the unreadable message.
#include "ChooseFile.h"
#include "CraftedPictures.h"
#include "ViewerPictures.h"
#include "viewer/DisplayPicture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

using namespace snapvane;
using namespace snapvane::test;

namespace {

class PictureContent : public testing::Test {
protected:
    void SetUp() override {
        viewer = &DisplayPicture::Instance();
        box = PictureBoxSize(viewer->Window());
    }
    void TearDown() override { viewer->ChooserClear(); }

    // Shows the bytes as a file of the name; the messages it gave.
    std::vector<std::wstring> Show(const std::wstring& name, const std::string& bytes) {
        path = folder / name;
        WriteBytes(path, bytes);
        const DWORD start = GetTickCount();
        auto messages = ChooseFile(path);
        ms = GetTickCount() - start;
        return messages;
    }
    void ExpectRefused(const std::wstring& name, const std::string& bytes) {
        SCOPED_TRACE(std::filesystem::path(name).string());
        auto messages = Show(name, bytes);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], L"File Name " + path + L" could not be read as a picture.");
        EXPECT_EQ(PictureBoxColour(viewer->Window(), box.cx / 2, box.cy / 2), CLR_INVALID);
        EXPECT_LT(ms, 5000u);
    }
    COLORREF At(double x, double y) const {
        return PictureBoxColour(viewer->Window(), static_cast<int>(box.cx * x), static_cast<int>(box.cy * y));
    }

    TemporaryFolder folder;
    DisplayPicture* viewer = nullptr;
    SIZE box{};
    std::wstring path;
    DWORD ms = 0;
};

template <class T>
void Write(std::string& bytes, size_t at, T value) {
    std::memcpy(&bytes[at], &value, sizeof value);
}
std::uint32_t Read32(const std::string& bytes, size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// An enhanced metafile with a record whose size is 0: playing it never ends.
std::string EnhancedMetafileWithEmptyRecord() {
    std::string bytes = EnhancedMetafile(RGB(0, 0, 255));
    Write<std::uint32_t>(bytes, Read32(bytes, 4) + 4, 0);  // the record after the header
    return bytes;
}

// An enhanced metafile whose palette record names an object far beyond the
// handle table: the player writes the palette's handle there.
std::string EnhancedMetafileWithPaletteBeyondTheTable() {
    RECT frame{0, 0, 1000, 800};
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
    struct {
        LOGPALETTE palette;
        PALETTEENTRY more[1];
    } colours{{0x300, 2, {{255, 0, 0, 0}}}, {{0, 0, 255, 0}}};
    HPALETTE palette = CreatePalette(&colours.palette);
    SelectPalette(dc, palette, FALSE);
    HENHMETAFILE metafile = CloseEnhMetaFile(dc);
    DeleteObject(palette);
    std::string bytes(GetEnhMetaFileBits(metafile, 0, nullptr), '\0');
    GetEnhMetaFileBits(metafile, static_cast<UINT>(bytes.size()), reinterpret_cast<BYTE*>(bytes.data()));
    DeleteEnhMetaFile(metafile);
    for (size_t at = Read32(bytes, 4); at + 12 <= bytes.size() && Read32(bytes, at + 4) >= 8; at += Read32(bytes, at + 4))
        if (Read32(bytes, at) == EMR_CREATEPALETTE) Write<std::uint32_t>(bytes, at + 8, 0x00FFFFF0);
    return bytes;
}

// A metafile whose polygon claims 65,535 points in a record of four.
std::string MetafileWithLongPolygon() {
    MetafileRecords records;
    records.Window(40, 30, RGB(0, 128, 0));
    std::vector<std::uint16_t> polygon = PolygonParams({{0, 0}, {40, 0}, {40, 30}, {0, 30}});
    polygon[0] = 65535;
    records.Add(META_POLYGON, polygon);
    return records.Placeable(40, 30);
}

std::string IconFile() {
    std::string bytes("\0\0\1\0\1\0", 6);
    bytes += std::string("\x10\x10\x00\x00\x01\x00\x20\x00", 8);
    std::uint32_t size = 40 + 16 * 16 * 4 + 16 * 4, offset = 22;
    bytes.append(reinterpret_cast<const char*>(&size), 4);
    bytes.append(reinterpret_cast<const char*>(&offset), 4);
    BITMAPINFOHEADER info{sizeof info, 16, 32, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    bytes += std::string(16 * 16 * 4, '\x80') + std::string(16 * 4, '\0');
    return bytes;
}

} // namespace

TEST_F(PictureContent, EnhancedMetafilesIconsAndStreamWrappedContentAreRefused) {
    // Each would be played or decoded by the OLE loader, unchecked.
    ExpectRefused(L"enhanced.wmf", EnhancedMetafile(RGB(0, 0, 255)));
    ExpectRefused(L"enhanced.jpg", EnhancedMetafile(RGB(0, 0, 255)));
    ExpectRefused(L"endless.wmf", EnhancedMetafileWithEmptyRecord());
    ExpectRefused(L"palette.wmf", EnhancedMetafileWithPaletteBeyondTheTable());
    ExpectRefused(L"icon.bmp", IconFile());
    // The stream header in front hides what follows from the check; the OLE
    // loader skips it and plays what follows.
    MetafileRecords plain;
    plain.Window(40, 30, RGB(0, 128, 0)).Add(META_RECTANGLE, {31, 41, 0, 0});
    ExpectRefused(L"wrapped-plain.wmf", StreamWrapped(plain.Placeable(40, 30)));
    ExpectRefused(L"wrapped.wmf", StreamWrapped(MetafileWithLongPolygon()));
    ExpectRefused(L"wrapped.bmp", StreamWrapped(BitmapVariant(40, 24, RGB(0, 0, 255))));
    ExpectRefused(L"program.jpg", std::string("MZ\x90\0\3\0\0\0", 8) + std::string(4096, '\0'));
    // Without the header, the damaged metafile is refused by its check.
    ExpectRefused(L"long-polygon.wmf", MetafileWithLongPolygon());
}

TEST_F(PictureContent, AGifWithoutColourTablesShowsInTheDefaultBlackAndWhite) {
    // Under Wine its codec reads through a null table and ends the process.
    auto messages = Show(L"no-table.gif", GifWithoutColourTable());
    EXPECT_TRUE(messages.empty());
    // Two by two, scaled to the box's height and centred: indices 0 1 / 1 0.
    const double left = 0.5 - 0.5 * box.cy / box.cx, right = 0.5 + 0.5 * box.cy / box.cx;
    EXPECT_TRUE(ColourNear(At(left + (right - left) / 4, 0.25), RGB(0, 0, 0)));
    EXPECT_TRUE(ColourNear(At(right - (right - left) / 4, 0.25), RGB(255, 255, 255)));
    EXPECT_TRUE(ColourNear(At(left + (right - left) / 4, 0.75), RGB(255, 255, 255)));
    EXPECT_TRUE(ColourNear(At(right - (right - left) / 4, 0.75), RGB(0, 0, 0)));
}

TEST_F(PictureContent, PngContentShowsWhateverTheFileIsCalled) {
    // Pictures saved from the web are often PNG under a JPEG's name.
    auto messages = Show(L"from-the-web.jpg", PngPicture(40, 20, RGB(200, 0, 0), RGB(0, 0, 200)));
    EXPECT_TRUE(messages.empty()) << (messages.empty() ? "" : std::filesystem::path(messages[0]).string());
    EXPECT_TRUE(ColourNear(At(0.3, 0.5), RGB(200, 0, 0)));
    EXPECT_TRUE(ColourNear(At(0.7, 0.5), RGB(0, 0, 200)));
    // Its header decides its size: one beyond the pixel limit is refused for it.
    std::string huge = PngPicture(2, 2, RGB(0, 0, 0), RGB(0, 0, 0));
    huge.replace(16, 8, std::string("\x00\x01\x00\x00\x00\x01\x00\x00", 8));  // 65536 x 65536
    messages = Show(L"huge.png", huge);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(L"is too large to show"), std::wstring::npos);
}

TEST_F(PictureContent, BitmapHeaderAndMaskVariantsShowTheirColours) {
    const COLORREF colour = RGB(200, 40, 120);
    struct Variant {
        const char* what;
        std::string bytes;
    };
    const Variant variants[] = {
        {"V3 header of 56 bytes, 16 bits", BitmapVariant(56, 16, colour, {0xF800, 0x07E0, 0x001F})},
        {"V3 header of 56 bytes, 32 bits", BitmapVariant(56, 32, colour, {0xFF0000, 0x00FF00, 0x0000FF})},
        {"16 bits, 4-4-4 masks", BitmapVariant(40, 16, colour, {0x0F00, 0x00F0, 0x000F})},
        {"32 bits, 10-10-10 masks", BitmapVariant(40, 32, colour, {0x3FF00000, 0x000FFC00, 0x000003FF})},
        {"V4 header, 16 bits, 4-4-4 masks", BitmapVariant(108, 16, colour, {0x0F00, 0x00F0, 0x000F})},
        {"V5 header, 32 bits, 10-10-10 masks", BitmapVariant(124, 32, colour, {0x3FF00000, 0x000FFC00, 0x000003FF})},
        {"OS/2 2.x header of 16 bytes", BitmapVariant(16, 24, colour)},
        {"core header", BitmapVariant(12, 24, colour)},
    };
    for (const Variant& variant : variants) {
        SCOPED_TRACE(variant.what);
        auto messages = Show(L"variant.bmp", variant.bytes);
        EXPECT_TRUE(messages.empty()) << std::filesystem::path(messages.empty() ? L"" : messages[0]).string();
        EXPECT_TRUE(ColourNear(At(0.5, 0.5), colour, 20)) << std::hex << At(0.5, 0.5);
    }
    // Cut short, the same files are refused rather than shown in part.
    ExpectRefused(L"cut-v3.bmp", BitmapVariant(56, 16, colour, {0xF800, 0x07E0, 0x001F}).substr(0, 100));
    ExpectRefused(L"cut-os2.bmp", BitmapVariant(16, 24, colour).substr(0, 100));
    std::string farPixels = BitmapVariant(56, 32, colour, {0xFF0000, 0x00FF00, 0x0000FF});
    Write<std::uint32_t>(farPixels, 10, 0x7FFFFFF0);
    ExpectRefused(L"far-pixels.bmp", farPixels);
}
