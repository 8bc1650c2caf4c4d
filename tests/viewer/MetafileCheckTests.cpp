// A metafile is played only when no record would have GDI read beyond the
// file or beyond the objects the file declares, and only when what its
// records ask GDI to draw takes well under two seconds.
#include "ChooseFile.h"
#include "CraftedPictures.h"
#include "ViewerPictures.h"
#include "viewer/DisplayPicture.h"
#include "pictures/MetafileCheck.h"
#include "errors/RuntimeError.h"
#include "pictures/LoadPicture.h"
#include "pictures/MetafilePlayer.h"
#include "../hardening/ProcessResources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
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

// ---- Old bitmaps, the declared size, and the drawing a metafile asks for ----


namespace {

constexpr std::uint16_t kSourceCopy = 0x00CC;  // the high word of SRCCOPY

// An old bitmap record as Wine's player reads it: destination and source,
// then width, height, bytes a row, planes and bits per pixel as whole words,
// then the bits.
std::vector<std::uint16_t> BitBltAsWine(int width, int height, int planes, int bitsPerPixel, size_t bitWords,
                                        std::uint16_t fill = 0xFFFF) {
    std::vector<std::uint16_t> params{kSourceCopy, 0, 0, static_cast<std::uint16_t>(height),
                                      static_cast<std::uint16_t>(width), 0, 0};
    params.insert(params.end(), {static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
                                 static_cast<std::uint16_t>((width * bitsPerPixel + 15) / 16 * 2),
                                 static_cast<std::uint16_t>(planes), static_cast<std::uint16_t>(bitsPerPixel)});
    params.insert(params.end(), bitWords, fill);
    return params;
}

// The same as a stretching record, destination of the given size.
std::vector<std::uint16_t> StretchBltAsWine(int width, int height, int planes, int bitsPerPixel, size_t bitWords,
                                            int destWidth, int destHeight) {
    std::vector<std::uint16_t> params{0x0020, kSourceCopy, static_cast<std::uint16_t>(height),
                                      static_cast<std::uint16_t>(width), 0, 0,
                                      static_cast<std::uint16_t>(destHeight), static_cast<std::uint16_t>(destWidth), 0,
                                      0};
    params.insert(params.end(), {static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
                                 static_cast<std::uint16_t>((width * bitsPerPixel + 15) / 16 * 2),
                                 static_cast<std::uint16_t>(planes), static_cast<std::uint16_t>(bitsPerPixel)});
    params.insert(params.end(), bitWords, 0xFFFF);
    return params;
}

// A stretching record as the format writes it down: a 16-bit bitmap object
// (type, width, height, bytes a row, planes and bits per pixel one byte each,
// a place for its bits) after the coordinates.
std::vector<std::uint16_t> StretchBltAsWritten(int width, int height, int destWidth, int destHeight) {
    const int rowBytes = (width + 15) / 16 * 2;
    std::vector<std::uint16_t> params{0x0020, kSourceCopy, static_cast<std::uint16_t>(height),
                                      static_cast<std::uint16_t>(width), 0, 0,
                                      static_cast<std::uint16_t>(destHeight), static_cast<std::uint16_t>(destWidth), 0,
                                      0};
    params.insert(params.end(), {0, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
                                 static_cast<std::uint16_t>(rowBytes), 0x0101});
    params.insert(params.end(), static_cast<size_t>(rowBytes / 2 * height), 0xFFFF);
    return params;
}

// A pattern brush of an old bitmap: style, usage, an information header, 4
// words, the bits.
std::vector<std::uint16_t> PatternBrush(int width, int height, int planes, int bitsPerPixel, size_t bitWords) {
    BITMAPINFOHEADER info{sizeof info, width, height, static_cast<WORD>(planes), static_cast<WORD>(bitsPerPixel),
                          BI_RGB, 0, 0, 0, 0, 0};
    std::vector<std::uint16_t> params{BS_PATTERN, DIB_RGB_COLORS};
    const auto* words = reinterpret_cast<const std::uint16_t*>(&info);
    params.insert(params.end(), words, words + sizeof info / 2);
    params.insert(params.end(), 4, 0);
    params.insert(params.end(), bitWords, 0xFFFF);
    return params;
}

std::string WithRecord(std::uint16_t function, const std::vector<std::uint16_t>& params) {
    MetafileRecords records;
    records.Window(64, 64, RGB(0, 128, 0));
    records.Add(function, params);
    return records.Placeable(64, 64);
}

} // namespace

TEST(MetafileCheck, OldBitmapsAreMeasuredAsGdiMakesThem) {
    // 64 x 64 bitmaps whose bits are as long as the declared bits per pixel
    // say, while GDI rounds them up: 2 to 4, 9 to 16.
    const int rows = 64;
    auto words = [&](int bitsPerPixel) { return static_cast<size_t>((64 * bitsPerPixel + 15) / 16 * rows); };
    EXPECT_TRUE(Playable(WithRecord(META_BITBLT, BitBltAsWine(64, 64, 1, 1, words(1)))));
    EXPECT_FALSE(Playable(WithRecord(META_BITBLT, BitBltAsWine(64, 64, 1, 2, words(2))))) << "2 bits become 4";
    EXPECT_FALSE(Playable(WithRecord(META_BITBLT, BitBltAsWine(64, 64, 1, 9, words(9))))) << "9 bits become 16";
    EXPECT_FALSE(Playable(WithRecord(META_BITBLT, BitBltAsWine(64, 64, 1, 0, words(1))))) << "0 bits become 4";
    EXPECT_FALSE(Playable(WithRecord(META_BITBLT, BitBltAsWine(2048, 2048, 0, 16, 0)))) << "no planes";
    EXPECT_FALSE(Playable(WithRecord(META_BITBLT, BitBltAsWine(64, 64, 2, 1, words(2))))) << "two planes";
    EXPECT_TRUE(Playable(WithRecord(META_STRETCHBLT, StretchBltAsWine(64, 64, 1, 1, words(1), 32, 32))));
    EXPECT_FALSE(Playable(WithRecord(META_STRETCHBLT, StretchBltAsWine(64, 64, 1, 2, words(2), 32, 32))));
    EXPECT_FALSE(Playable(WithRecord(META_STRETCHBLT, StretchBltAsWine(2048, 2048, 0, 16, 0, 32, 32))));
    EXPECT_TRUE(Playable(WithRecord(META_CREATEPATTERNBRUSH, PatternBrush(8, 8, 1, 1, 8))));
    EXPECT_FALSE(Playable(WithRecord(META_CREATEPATTERNBRUSH, PatternBrush(64, 64, 1, 2, words(2)))));
    EXPECT_FALSE(Playable(WithRecord(META_CREATEPATTERNBRUSH, PatternBrush(2048, 2048, 0, 16, 0))));

    // The small file with a bitmap of no planes, which made GDI read
    // megabytes beyond it, is named unreadable.
    TemporaryFolder folder;
    const std::wstring path = folder / L"no-planes.wmf";
    WriteBytes(path, WithRecord(META_BITBLT, BitBltAsWine(2048, 2048, 0, 16, 0)));
    DisplayPicture& viewer = DisplayPicture::Instance();
    EXPECT_EQ(ChooseFile(path), std::vector<std::wstring>{L"File Name " + path + L" could not be read as a picture."});
    viewer.ChooserClear();
}

TEST(MetafileCheck, WellFormedOldBitmapRecordsAndTheSizeWithThePlaceableHeaderShow) {
    TemporaryFolder folder;
    DisplayPicture& viewer = DisplayPicture::Instance();
    const SIZE box = PictureBoxSize(viewer.Window());
    const COLORREF green = RGB(0, 128, 0);
    auto show = [&](const std::wstring& name, const std::string& bytes) {
        const std::wstring path = folder / name;
        WriteBytes(path, bytes);
        return ChooseFile(path);
    };
    // The picture is square: the box's height, centred.
    auto at = [&](double x, double y) {
        return PictureBoxColour(viewer.Window(), static_cast<int>(box.cx / 2 + (x - 0.5) * box.cy),
                                static_cast<int>(y * box.cy));
    };

    // White bits, as Wine's player reads them, over the left half.
    MetafileRecords asWine;
    asWine.Window(64, 64, green).Add(META_RECTANGLE, {65, 65, 0, 0});
    asWine.Add(META_STRETCHBLT, StretchBltAsWine(8, 8, 1, 1, 8, 32, 64));
    EXPECT_TRUE(show(L"stretch-as-wine.wmf", asWine.Placeable(64, 64)).empty());
    EXPECT_TRUE(ColourNear(at(0.25, 0.5), RGB(255, 255, 255))) << std::hex << at(0.25, 0.5);
    EXPECT_TRUE(ColourNear(at(0.75, 0.5), green));

    // The same as the format writes it down: played, whichever way the player reads it.
    MetafileRecords asWritten;
    asWritten.Window(64, 64, green).Add(META_RECTANGLE, {65, 65, 0, 0});
    asWritten.Add(META_STRETCHBLT, StretchBltAsWritten(8, 8, 32, 64));
    EXPECT_TRUE(show(L"stretch-as-written.wmf", asWritten.Placeable(64, 64)).empty());
    EXPECT_TRUE(ColourNear(at(0.75, 0.5), green));

    // Declared sizes that count the placeable header's 22 bytes as well.
    MetafileRecords plain;
    plain.Window(64, 64, green).Add(META_RECTANGLE, {65, 65, 0, 0});
    const std::string counted = plain.Placeable(64, 64, 96, true);
    EXPECT_TRUE(Playable(counted));
    EXPECT_TRUE(show(L"size-with-header.wmf", counted).empty());
    EXPECT_TRUE(ColourNear(at(0.5, 0.5), green));
    // Such a size reaches past the data: the records must end there.
    const std::wstring unended = folder / L"size-with-header-unended.wmf";
    WriteBytes(unended, plain.Placeable(64, 64, 96, true, false));
    EXPECT_EQ(ChooseFile(unended), std::vector<std::wstring>{L"File Name " + unended + L" could not be read as a picture."});
    viewer.ChooserClear();
}

namespace {

constexpr int kMapWidth = 4000, kMapHeight = 3000, kMapUnitsPerInch = 400;

// A map-sized metafile with the records added by add.
template <class Add>
std::string MapMetafile(Add add) {
    MetafileRecords records(8);
    records.Window(kMapWidth, kMapHeight, RGB(0, 96, 160));
    add(records);
    return records.Placeable(kMapWidth, kMapHeight, kMapUnitsPerInch);
}

MetafileVerdict Verdict(const std::string& bytes, SIZE box) {
    const Extent extent{box.cx, box.cy};
    return CheckMetafile(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(), {extent, extent});
}

// The benchmark's metafile: 20,000 ellipses of random colours, as GDI records them.
std::string BenchmarkEllipses() {
    HDC meta = CreateMetaFileW(nullptr);
    SetWindowOrgEx(meta, 0, 0, nullptr);
    SetWindowExtEx(meta, kMapWidth, kMapHeight, nullptr);
    unsigned state = 12345;
    auto next = [&] { return state = state * 1103515245u + 12345u, (state >> 8) & 0xFFFF; };
    for (int k = 0; k < 20000; ++k) {
        HBRUSH brush = CreateSolidBrush(RGB(next() & 255, next() & 255, next() & 255));
        HGDIOBJ old = SelectObject(meta, brush);
        int x = static_cast<int>(next() % kMapWidth), y = static_cast<int>(next() % kMapHeight);
        Ellipse(meta, x, y, x + 20 + static_cast<int>(next() % 200), y + 20 + static_cast<int>(next() % 150));
        SelectObject(meta, old);
        DeleteObject(brush);
    }
    HMETAFILE metafile = CloseMetaFile(meta);
    std::string records(GetMetaFileBitsEx(metafile, 0, nullptr), '\0');
    GetMetaFileBitsEx(metafile, static_cast<UINT>(records.size()), records.data());
    DeleteMetaFile(metafile);
    std::uint16_t placeable[11] = {0xCDD7, 0x9AC6, 0, 0, 0, kMapWidth, kMapHeight, kMapUnitsPerInch, 0, 0, 0};
    for (int i = 0; i < 10; ++i) placeable[10] ^= placeable[i];
    return std::string(reinterpret_cast<const char*>(placeable), sizeof placeable) + records;
}

// A ring of n points around the map's centre, its radius wandering a little
// as a digitised shore does.
std::vector<POINT> Shore(int n, double radius, unsigned seed) {
    std::vector<POINT> points;
    for (int k = 0; k < n; ++k) {
        seed = seed * 1103515245u + 12345u;
        const double r = radius + ((seed >> 16) % 9) - 4.0, angle = 2 * 3.14159265358979 * k / n;
        points.push_back({static_cast<LONG>(kMapWidth / 2 + r * std::cos(angle)),
                          static_cast<LONG>(kMapHeight / 2 + r * std::sin(angle))});
    }
    return points;
}

} // namespace

TEST(MetafileDrawing, AZigzagPolygonIsRefusedAtOnceWithAPlainMessage) {
    TemporaryFolder folder;
    const std::wstring path = folder / L"zigzag.wmf";
    // 16,000 points, 64 KB: about half a minute of GDI's time on the host's thread.
    WriteBytes(path, MapMetafile([](MetafileRecords& r) { r.Add(META_POLYGON, PolygonParams(Zigzag(16000, kMapWidth, kMapHeight))); }));
    DisplayPicture& viewer = DisplayPicture::Instance();
    const DWORD start = GetTickCount();
    auto messages = ChooseFile(path);
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"File Name " + path +
                                                  L" asks for more drawing than this viewer does for one picture. It is "
                                                  L"not shown."});
    EXPECT_EQ(PictureBoxColour(viewer.Window(), 10, 10), CLR_INVALID);
    viewer.ChooserClear();
}

TEST(MetafileDrawing, TheBenchmarksEllipsesAndAMapPolygonOfAHundredThousandPointsShow) {
    TemporaryFolder folder;
    DisplayPicture& viewer = DisplayPicture::Instance();
    const SIZE box = PictureBoxSize(viewer.Window());
    const std::wstring ellipses = folder / L"ellipses.wmf";
    WriteBytes(ellipses, BenchmarkEllipses());
    EXPECT_TRUE(ChooseFile(ellipses).empty());
    EXPECT_NE(PictureBoxColour(viewer.Window(), box.cx / 2, box.cy / 2), CLR_INVALID);

    // An island with three lakes: an outer shore of 32,000 points (a ring of
    // a polygon record holds at most 32,767) and three inner ones of 22,000
    // and more, 100,000 points filled as one polygon with holes.
    struct Ring {
        int points;
        double x, y, radius;
    };
    const Ring rings[] = {{32000, 0, 0, 1300}, {22000, 0, 0, 300}, {23000, -700, 0, 150}, {23000, 700, 0, 150}};
    std::vector<std::uint16_t> params{4};
    for (const Ring& ring : rings) params.push_back(static_cast<std::uint16_t>(ring.points));
    unsigned seed = 1;
    for (const Ring& ring : rings)
        for (const POINT& point : Shore(ring.points, ring.radius, ++seed))
            params.insert(params.end(), {static_cast<std::uint16_t>(point.x + ring.x), static_cast<std::uint16_t>(point.y + ring.y)});
    const std::wstring island = folder / L"island.wmf";
    WriteBytes(island, MapMetafile([&](MetafileRecords& r) {
        r.Add(META_CREATEBRUSHINDIRECT, {BS_SOLID, 0x8000, 0, 0}).Add(META_SELECTOBJECT, {2});  // green land
        r.Add(META_POLYPOLYGON, params);
    }));
    const DWORD start = GetTickCount();
    auto islandMessages = ChooseFile(island);
    for (const auto& text : islandMessages) ADD_FAILURE() << std::filesystem::path(text).string();
    std::printf("map polygon of 100,000 points: %lu ms\n", static_cast<unsigned long>(GetTickCount() - start));
    // 4000 x 3000 units fill the box; the land lies between the shores.
    const double scale = static_cast<double>(box.cx) / kMapWidth;
    EXPECT_TRUE(ColourNear(PictureBoxColour(viewer.Window(), box.cx / 2, box.cy / 2), GetSysColor(COLOR_BTNFACE)) ||
                ColourNear(PictureBoxColour(viewer.Window(), box.cx / 2, box.cy / 2), RGB(0, 96, 160)))
        << "the lake";
    EXPECT_TRUE(ColourNear(PictureBoxColour(viewer.Window(), static_cast<int>(box.cx / 2 + 900 * scale), box.cy / 2),
                           RGB(0, 128, 0)))
        << "the land";
    viewer.ChooserClear();
}

namespace {

// The processor time the calling thread has had, in milliseconds.
double ThreadWorkMs() {
    FILETIME created{}, exited{}, kernel{}, user{};
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ticks = [](const FILETIME& time) { return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10'000.0;
}

} // namespace

TEST(MetafileDrawing, TheMostDrawingTheCheckLetsThroughTakesUnderTwoSeconds) {
    TemporaryFolder folder;
    const SIZE box = PictureBoxSize(DisplayPicture::Instance().Window());
    struct Kind {
        const char* what;
        std::function<std::string(int)> make;
    };
    auto repeat = [](int n, std::uint16_t function, std::vector<std::uint16_t> params) {
        return MapMetafile([&](MetafileRecords& r) {
            for (int k = 0; k < n; ++k) r.Add(function, params);
        });
    };
    const Kind kinds[] = {
        {"zigzag polygon points", [](int n) {
             return MapMetafile([&](MetafileRecords& r) { r.Add(META_POLYGON, PolygonParams(Zigzag(n, kMapWidth, kMapHeight))); });
         }},
        {"ellipses filling the box", [&](int n) { return repeat(n, META_ELLIPSE, {kMapHeight, kMapWidth, 0, 0}); }},
        {"rectangles filling the box", [&](int n) { return repeat(n, META_RECTANGLE, {kMapHeight, kMapWidth, 0, 0}); }},
        {"ellipses 30,000 times the box's height", [](int n) {
             return MapMetafile([&](MetafileRecords& r) {
                 r.Add(META_SETVIEWPORTEXT, {30000, 30000}).Add(META_SETWINDOWEXT, {1, 1});
                 for (int k = 0; k < n; ++k) r.Add(META_ELLIPSE, {30, 30, 0, 0});
             });
         }},
        {"zigzag lines of a wide pen", [](int n) {
             return MapMetafile([&](MetafileRecords& r) {
                 r.Add(META_CREATEPENINDIRECT, {PS_SOLID, 200, 0, 0, 0}).Add(META_SELECTOBJECT, {2});
                 r.Add(META_POLYLINE, PolygonParams(Zigzag(n, kMapWidth, kMapHeight)));
             });
         }},
        {"characters of a font as high as the box", [](int n) {
             return MapMetafile([&](MetafileRecords& r) {
                 r.Add(META_CREATEFONTINDIRECT,
                       {static_cast<std::uint16_t>(-kMapHeight), 0, 0, 0, 400, 0, 0, 0, 0, 'A' | ('r' << 8), 'i' | ('a' << 8), 'l', 0});
                 r.Add(META_SELECTOBJECT, {2});
                 for (int k = 0; k < n; ++k) r.Add(META_TEXTOUT, {2, 'W' | ('M' << 8), 0, 0});
             });
         }},
        {"patterns painted over the box", [&](int n) { return repeat(n, META_PATBLT, {0x0021, 0x00F0, kMapHeight, kMapWidth, 0, 0}); }},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.what);
        int accepted = 1, refused = 2;
        ASSERT_EQ(Verdict(kind.make(accepted), box), MetafileVerdict::Playable);
        while (Verdict(kind.make(refused), box) == MetafileVerdict::Playable && refused < (1 << 20)) accepted = refused, refused *= 2;
        ASSERT_EQ(Verdict(kind.make(refused), box), MetafileVerdict::TooMuchDrawing);
        while (refused - accepted > 1) {
            const int middle = (accepted + refused) / 2;
            (Verdict(kind.make(middle), box) == MetafileVerdict::Playable ? accepted : refused) = middle;
        }
        const std::wstring path = folder / L"most.wmf";
        WriteBytes(path, kind.make(accepted));
        const DWORD start = GetTickCount();
        const double workStart = ThreadWorkMs();
        // Drawn; or, on a machine slower than the estimate's, stopped when
        // the picture's time is up. Either way within two seconds of the
        // thread's work, which is the wall time of an idle machine.
        unique_hbitmap drawn;
        try {
            drawn = LoadScaledPicture(path, box, RGB(255, 255, 255));
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Number(), kPictureTooComplex) << std::filesystem::path(error.Description()).string();
        }
        const double work = ThreadWorkMs() - workStart;
        std::printf("most drawing allowed, %s: %d, %s in %.0f ms of work (%lu ms)\n", kind.what, accepted,
                    drawn ? "drawn" : "stopped by the picture's time", work,
                    static_cast<unsigned long>(GetTickCount() - start));
        EXPECT_LT(work, 2000.0);
    }
}

namespace {

// A region record of n disjoint rectangles, perBand in each band: the shape
// whose building takes Wine's player longest for its size.
std::vector<std::uint16_t> RegionParams(int n, int perBand) {
    std::vector<std::uint16_t> params(11, 0);
    const int bands = (n + perBand - 1) / perBand;
    params[5] = static_cast<std::uint16_t>(bands);
    for (int band = 0, left = n; band < bands; ++band) {
        const int count = std::min(left, perBand);
        left -= count;
        params.insert(params.end(), {static_cast<std::uint16_t>(2 * count), static_cast<std::uint16_t>(2 * band),
                                     static_cast<std::uint16_t>(2 * band + 1)});
        for (int k = 0; k < count; ++k)
            params.insert(params.end(), {static_cast<std::uint16_t>(3 * k), static_cast<std::uint16_t>(3 * k + 1)});
        params.push_back(static_cast<std::uint16_t>(2 * count));
    }
    return params;
}

} // namespace

TEST(MetafileDrawing, RegionsOfManyRectanglesAreRefusedWithinTwoSeconds) {
    TemporaryFolder folder;
    DisplayPicture& viewer = DisplayPicture::Instance();
    // One record of 32,000 rectangles (128 KB), and four of them in 512 KB:
    // each took Wine's player most of a minute to build.
    for (int records : {1, 4}) {
        const std::wstring path = folder / (L"regions-" + std::to_wstring(records) + L".wmf");
        WriteBytes(path, MapMetafile([&](MetafileRecords& r) {
            for (int k = 0; k < records; ++k) r.Add(META_CREATEREGION, RegionParams(32000, 16000));
        }));
        const DWORD start = GetTickCount();
        auto messages = ChooseFile(path);
        const DWORD ms = GetTickCount() - start;
        std::printf("%d region records of 32,000 rectangles: %lu ms\n", records, static_cast<unsigned long>(ms));
        EXPECT_LT(ms, 2000u);
        EXPECT_EQ(messages, std::vector<std::wstring>{L"File Name " + path +
                                                      L" asks for more drawing than this viewer does for one picture. "
                                                      L"It is not shown."});
        viewer.ChooserClear();
    }
}

TEST(MetafilePlaying, ThePicturesTimeStopsPlayingBetweenRecordsAndLeavesNoObjects) {
    // A thousand brushes made, selected and filled the box with: each record
    // well within what the check lets through, together a quarter second or more.
    const std::string bytes = MapMetafile([](MetafileRecords& r) {
        for (int k = 0; k < 1000; ++k) {
            r.Add(META_CREATEBRUSHINDIRECT, {BS_SOLID, static_cast<std::uint16_t>(k), 0, 0}).Add(META_SELECTOBJECT, {2});
            r.Add(META_ELLIPSE, {kMapHeight, kMapWidth, 0, 0}).Add(META_SELECTOBJECT, {0}).Add(META_DELETEOBJECT, {2});
        }
        r.Add(META_CREATEBRUSHINDIRECT, {BS_SOLID, 0, 0, 0}).Add(META_SELECTOBJECT, {2});  // left selected at the end
    });
    const SIZE box = PictureBoxSize(DisplayPicture::Instance().Window());
    ASSERT_EQ(Verdict(bytes, box), MetafileVerdict::Playable);
    auto play = [&](std::chrono::milliseconds time) {
        const long objects = CountGdiObjects();
        MetafilePlay played = MetafilePlay::NotTaken;
        {
            unique_hdc dc(CreateCompatibleDC(nullptr));
            unique_hbitmap bitmap(CreateCompatibleBitmap(dc.get(), box.cx, box.cy));
            SelectObjectScope selected(dc.get(), bitmap.get());
            PictureBudget budget(time, PictureBudget::kBytes);
            played = PlayCheckedMetafile(dc.get(), reinterpret_cast<const Byte*>(bytes.data()) + 22, bytes.size() - 22,
                                         {0, 0, box.cx, box.cy}, {0, 0, box.cx, box.cy}, budget);
        }
        EXPECT_EQ(CountGdiObjects(), objects) << "objects the records made, or the player's own, are left";
        return played;
    };
    EXPECT_EQ(play(std::chrono::milliseconds(10)), MetafilePlay::OutOfTime);
    EXPECT_EQ(play(std::chrono::seconds(60)), MetafilePlay::Finished);
}

// ---- Metafiles without the placeable header, and old bitmap records ----

namespace {

// Where a picture twice as wide as high shows in the box: x and y from 0 to 1
// across it, fitted whole and centred.
POINT OnWidePicture(SIZE box, double x, double y) {
    const double width = std::min<double>(box.cx, 2.0 * box.cy), height = width / 2;
    return {static_cast<LONG>((box.cx - width) / 2 + x * width), static_cast<LONG>((box.cy - height) / 2 + y * height)};
}

} // namespace

TEST(MetafileFrames, APlainMetafileIsFramedByItsWindowOrElseByWhatItDraws) {
    TemporaryFolder folder;
    DisplayPicture& viewer = DisplayPicture::Instance();
    const SIZE box = PictureBoxSize(viewer.Window());
    auto colourAt = [&](double x, double y) {
        const POINT at = OnWidePicture(box, x, y);
        return PictureBoxColour(viewer.Window(), at.x, at.y);
    };
    for (const auto& [name, bytes] : {std::pair{L"window.wmf", PlainMetafileWithWindow()},
                                      std::pair{L"bounds.wmf", PlainMetafileByBounds()}}) {
        SCOPED_TRACE(std::string(name, name + std::wcslen(name)));
        const std::wstring path = folder / name;
        WriteBytes(path, bytes);
        ASSERT_EQ(IdentifyPictureFile(path.c_str()), PictureKind::Metafile);
        ASSERT_TRUE(ChooseFile(path).empty());
        EXPECT_TRUE(ColourNear(colourAt(0.05, 0.1), RGB(255, 0, 0))) << std::hex << colourAt(0.05, 0.1);
        EXPECT_TRUE(ColourNear(colourAt(0.45, 0.9), RGB(255, 0, 0)));
        EXPECT_TRUE(ColourNear(colourAt(0.55, 0.1), RGB(0, 128, 0))) << std::hex << colourAt(0.55, 0.1);
        EXPECT_TRUE(ColourNear(colourAt(0.95, 0.9), RGB(0, 128, 0)));
        // Nothing beyond the picture: its proportions are kept.
        const COLORREF outside = colourAt(0.5, -0.1);
        EXPECT_FALSE(ColourNear(outside, RGB(0, 128, 0)) || ColourNear(outside, RGB(255, 0, 0))) << std::hex << outside;
    }
    viewer.ChooserClear();
}

TEST(MetafileFrames, OldBitmapRecordsInTheFormatsFormsShowTheirPixels) {
    TemporaryFolder folder;
    DisplayPicture& viewer = DisplayPicture::Instance();
    const SIZE box = PictureBoxSize(viewer.Window());
    auto at = [&](double x, double y) {
        return PictureBoxColour(viewer.Window(), static_cast<int>(box.cx / 2 + (x - 0.5) * box.cy),
                                static_cast<int>(y * box.cy));
    };
    const std::string bytes = MetafileWithOldBitmaps();
    const std::wstring path = folder / L"old-bitmaps.wmf";
    WriteBytes(path, bytes);
    ASSERT_TRUE(ChooseFile(path).empty());
    EXPECT_TRUE(ColourNear(at(0.25, 0.5), RGB(255, 255, 255))) << std::hex << at(0.25, 0.5);
    EXPECT_TRUE(ColourNear(at(0.75, 0.75), RGB(255, 0, 0))) << std::hex << at(0.75, 0.75);
    EXPECT_TRUE(ColourNear(at(0.75, 0.1), RGB(0, 0, 255))) << std::hex << at(0.75, 0.1);
    EXPECT_TRUE(ColourNear(at(0.75, 0.375), RGB(0, 128, 0))) << std::hex << at(0.75, 0.375);

    // The same with the independent bitmap's pixels cut short inside the record.
    std::string cut = bytes;
    const size_t bitblt = RecordOf(cut.substr(22), META_BITBLT) + 22;
    Write<std::int32_t>(cut, bitblt + 6 + 2 * 8 + 8, 64);
    EXPECT_FALSE(Playable(cut)) << "a bitmap taller than its record";
    viewer.ChooserClear();
}
