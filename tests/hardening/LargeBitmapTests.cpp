// A 12-megapixel bitmap is read a row at a time from the file's own bytes: it
// shows, the right way up, and loading it takes little beyond those bytes.
#include "../viewer/ChooseFile.h"
#include "../viewer/ViewerPictures.h"
#include "ProcessResources.h"
#include "viewer/DisplayPicture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace snapvane;
using namespace snapvane::test;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

void Put32(std::vector<BYTE>& out, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<BYTE>(value >> (8 * k)));
}

// A 24-bit bitmap, stored bottom row first, red above and blue below,
// written a row at a time so that the test holds no picture of its own.
// Its size in bytes.
std::uint64_t WriteRedOverBlue(const std::wstring& path, std::uint32_t width, std::uint32_t height) {
    const std::uint32_t stride = (width * 3 + 3) / 4 * 4, pixelsAt = 14 + 40;
    std::vector<BYTE> header{'B', 'M'};
    Put32(header, pixelsAt + stride * height), Put32(header, 0), Put32(header, pixelsAt);
    Put32(header, 40), Put32(header, width), Put32(header, height), Put32(header, 1 | (24 << 16));
    for (int k = 0; k < 6; ++k) Put32(header, 0);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, header.data(), static_cast<DWORD>(header.size()), &written, nullptr);
    std::vector<BYTE> row(stride, 0);
    for (std::uint32_t stored = 0; stored < height; ++stored) {
        const COLORREF colour = stored < height / 2 ? kBlue : kRed;
        for (std::uint32_t x = 0; x < width; ++x) {
            row[x * 3] = GetBValue(colour);
            row[x * 3 + 1] = GetGValue(colour);
            row[x * 3 + 2] = GetRValue(colour);
        }
        WriteFile(file, row.data(), stride, &written, nullptr);
    }
    CloseHandle(file);
    return std::uint64_t{pixelsAt} + std::uint64_t{stride} * height;
}

TEST(LargeBitmap, ShowsUprightHoldingAtMost12MbBeyondTheFilesBytes) {
    TemporaryFolder folder;
    DisplayPicture& viewer = DisplayPicture::Instance();
    viewer.SetBasePath(folder.Path() + L"\\");
    // What showing any picture costs the first time is not the bitmap's.
    WriteBmp(folder / L"small.bmp", 64, 48, kRed);
    ASSERT_TRUE(ChooseFile(folder / L"small.bmp").empty());

    const std::wstring path = folder / L"large.bmp";
    const std::uint64_t fileBytes = WriteRedOverBlue(path, 4000, 3000);
    const SIZE_T allowed = PrivateBytes() + static_cast<SIZE_T>(fileBytes) + 12 * 1024 * 1024;
    ASSERT_LT(PeakPrivateBytes(), allowed) << "the process peaked higher before; the measure would prove nothing";
    EXPECT_TRUE(ChooseFile(path).empty());
    EXPECT_LE(PeakPrivateBytes(), allowed);

    const SIZE box = PictureBoxSize(viewer.Window());
    EXPECT_TRUE(ColourNear(PictureBoxColour(viewer.Window(), box.cx / 2, box.cy / 4), kRed));
    EXPECT_TRUE(ColourNear(PictureBoxColour(viewer.Window(), box.cx / 2, box.cy * 3 / 4), kBlue));
    viewer.ChooserClear();
}

} // namespace
