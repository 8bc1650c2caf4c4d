// A metafile is played only when no record would have GDI read beyond the
// file or beyond the objects the file declares.
#include "ChooseFile.h"
#include "ViewerPictures.h"
#include "viewer/DisplayPicture.h"
#include "viewer/MetafileCheck.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

using namespace snapvane;
using namespace snapvane::test;

namespace {

// A metafile as GDI records it: a brush made and selected, a polygon of four
// points, a rectangle.
std::string RecordedMetafile() {
    HDC meta = CreateMetaFileW(nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(0, 128, 0));
    SelectObject(meta, brush);
    const POINT corners[4] = {{0, 0}, {40, 0}, {40, 30}, {0, 30}};
    Polygon(meta, corners, 4);
    Rectangle(meta, 5, 5, 20, 20);
    HMETAFILE metafile = CloseMetaFile(meta);
    DeleteObject(brush);
    std::string bytes(GetMetaFileBitsEx(metafile, 0, nullptr), '\0');
    GetMetaFileBitsEx(metafile, static_cast<UINT>(bytes.size()), bytes.data());
    DeleteMetaFile(metafile);
    return bytes;
}

std::uint32_t Read32(const std::string& bytes, size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

template <class T>
void Write(std::string& bytes, size_t at, T value) {
    std::memcpy(&bytes[at], &value, sizeof value);
}

// The offset of the first record of the function.
size_t RecordOf(const std::string& bytes, std::uint16_t function) {
    for (size_t at = 18; at + 6 <= bytes.size(); at += 2 * Read32(bytes, at)) {
        std::uint16_t found = 0;
        std::memcpy(&found, bytes.data() + at + 4, sizeof found);
        if (found == function) return at;
        if (Read32(bytes, at) < 3) break;
    }
    ADD_FAILURE() << "no record " << function;
    return 0;
}

bool Playable(const std::string& bytes) {
    return IsPlayableMetafile(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
}

TEST(MetafileCheck, RecordedMetafilesPlayAndDamagedRecordsDoNot) {
    const std::string recorded = RecordedMetafile();
    ASSERT_TRUE(Playable(recorded));
    ASSERT_TRUE(LooksLikeMetafile(reinterpret_cast<const BYTE*>(recorded.data()), recorded.size()));

    std::string selectsUndeclared = recorded;
    Write<std::uint16_t>(selectsUndeclared, RecordOf(recorded, META_SELECTOBJECT) + 6, 60000);
    EXPECT_FALSE(Playable(selectsUndeclared)) << "an object beyond the object table";
    std::string declaredShort = selectsUndeclared;
    Write<std::uint32_t>(declaredShort, 6, 9);  // the header alone
    EXPECT_FALSE(Playable(declaredShort)) << "a player may take the data's size for the declared one";

    std::string longPolygon = recorded;
    Write<std::uint16_t>(longPolygon, RecordOf(recorded, META_POLYGON) + 6, 30000);
    EXPECT_FALSE(Playable(longPolygon)) << "more points than the record holds";

    std::string recordBeyondFile = recorded;
    Write<std::uint32_t>(recordBeyondFile, RecordOf(recorded, META_RECTANGLE), 0x10000);
    EXPECT_FALSE(Playable(recordBeyondFile)) << "a record longer than the file";

    std::string shortRectangle = recorded;
    Write<std::uint32_t>(shortRectangle, RecordOf(recorded, META_RECTANGLE), 3);
    EXPECT_FALSE(Playable(shortRectangle)) << "a rectangle without its corners";

    std::string declaredBeyondFile = recorded;
    Write<std::uint32_t>(declaredBeyondFile, 6, Read32(recorded, 6) * 2);
    EXPECT_FALSE(Playable(declaredBeyondFile)) << "a declared size beyond the file";

    EXPECT_FALSE(Playable(recorded.substr(0, 17))) << "a header cut short";
}

TEST(MetafileCheck, TheViewerNamesADamagedMetafileUnreadable) {
    TemporaryFolder folder;
    std::string bytes = RecordedMetafile();
    Write<std::uint16_t>(bytes, RecordOf(bytes, META_SELECTOBJECT) + 6, 60000);
    const std::wstring path = folder / L"damaged.wmf";
    // The placeable header, as metafile files carry it, in front.
    WORD placeable[11] = {0xCDD7, 0x9AC6, 0, 0, 0, 40, 30, 96, 0, 0, 0};
    for (int i = 0; i < 10; ++i) placeable[10] ^= placeable[i];
    WriteBytes(path, std::string(reinterpret_cast<const char*>(placeable), sizeof placeable) + bytes);

    DisplayPicture& viewer = DisplayPicture::Instance();
    auto messages = ChooseFile(path);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], L"File Name " + path + L" could not be read as a picture.");
    EXPECT_EQ(PictureBoxColour(viewer.Window(), 10, 10), CLR_INVALID);
    viewer.ChooserClear();
}

} // namespace
