// A metafile without the placeable header is taken for one by its header
// alone, and framed by its first window or else by the bounds of what it draws.
#include "pictures/MetafileFrame.h"
#include "pictures/PictureContent.h"
#include "pictures/WindowsFormats.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace snapvane;

namespace {

// A plain metafile: header, the records, the end-of-file record.
std::vector<Byte> Plain(const std::vector<std::vector<std::uint16_t>>& records, std::uint16_t version = 0x300) {
    std::vector<std::uint16_t> words;
    for (const auto& record : records) {  // function first, then the parameters
        const auto size = static_cast<std::uint32_t>(2 + record.size());
        words.insert(words.end(), {static_cast<std::uint16_t>(size), 0});
        words.insert(words.end(), record.begin(), record.end());
    }
    words.insert(words.end(), {3, 0, 0});
    const auto size = static_cast<std::uint32_t>(9 + words.size());
    std::vector<std::uint16_t> all{1, 9, version, static_cast<std::uint16_t>(size), 0, 4, 0, 0, 0};
    all.insert(all.end(), words.begin(), words.end());
    std::vector<Byte> bytes;
    for (std::uint16_t word : all) bytes.insert(bytes.end(), {static_cast<Byte>(word), static_cast<Byte>(word >> 8)});
    return bytes;
}

PictureKind Kind(const std::vector<Byte>& bytes) { return IdentifyPicture(bytes.data(), bytes.size()); }

MetafileFrame Frame(const std::vector<Byte>& bytes) {
    MetafileFrame frame;
    EXPECT_TRUE(ReadMetafileFrame(bytes.data(), bytes.size(), frame));
    return frame;
}

} // namespace

TEST(PlainMetafiles, AreTakenByTheirHeaderAndNothingElseIs) {
    const std::vector<Byte> plain = Plain({{wmf::kRectangle, 10, 20, 0, 0}});
    EXPECT_EQ(Kind(plain), PictureKind::Metafile);
    EXPECT_EQ(Kind(Plain({}, 0x100)), PictureKind::Metafile) << "version 1.0";
    // From the first 22 bytes and the file's size, as the viewer's Edit asks.
    EXPECT_EQ(IdentifyPicture(plain.data(), 22, plain.size()), PictureKind::Metafile);
    EXPECT_EQ(IdentifyPicture(plain.data(), 22, 22), PictureKind::Unknown) << "declared beyond the file";

    auto with = [&](size_t at, std::uint16_t word) {
        std::vector<Byte> bytes = plain;
        bytes[at] = static_cast<Byte>(word);
        bytes[at + 1] = static_cast<Byte>(word >> 8);
        return Kind(bytes);
    };
    EXPECT_EQ(with(0, 3), PictureKind::Unknown) << "kind";
    EXPECT_EQ(with(2, 10), PictureKind::Unknown) << "header size";
    EXPECT_EQ(with(4, 0x200), PictureKind::Unknown) << "version";
    EXPECT_EQ(with(6, 8), PictureKind::Unknown) << "a declared size shorter than the header";
    EXPECT_EQ(with(8, 1), PictureKind::Unknown) << "a declared size beyond the file";
    const char start[] = "\x01\x00\x09\x00 is the start of this text, not a picture.";
    const std::string text(start, sizeof start - 1);
    EXPECT_EQ(IdentifyPicture(reinterpret_cast<const Byte*>(text.data()), text.size()), PictureKind::Unknown);
}

TEST(PlainMetafiles, AreFramedByTheirFirstWindowOrByTheBoundsOfTheirDrawing) {
    // The window the records set before drawing; a later one is the drawing's own.
    const MetafileFrame window = Frame(Plain({{wmf::kSetWindowOrg, 100, 50}, {wmf::kSetWindowExt, static_cast<std::uint16_t>(-300), 600},
                                              {wmf::kRectangle, 10, 20, 0, 0}, {wmf::kSetWindowExt, 1, 1}}));
    EXPECT_EQ(window.left, 0);
    EXPECT_EQ(window.width, 600);
    EXPECT_EQ(window.height, -300);
    EXPECT_EQ(window.himetricWidth, 600 * 2540 / 96);
    EXPECT_EQ(window.himetricHeight, 300 * 2540 / 96);
    EXPECT_EQ(window.recordsAt, 0u);

    // Without one, the bounds of the points and shapes, from the origin the
    // records set: a polyline from (-50, 10) to (150, 110), a rectangle
    // (bottom, right, top, left) drawn after the origin moves by 100, 100.
    const MetafileFrame bounds = Frame(Plain({{wmf::kPolyline, 2, static_cast<std::uint16_t>(-50), 10, 150, 110},
                                              {wmf::kOffsetWindowOrg, 100, 100},
                                              {wmf::kRectangle, 130, 200, 100, 100}}));
    EXPECT_EQ(bounds.left, -50);
    EXPECT_EQ(bounds.top, 0);
    EXPECT_EQ(bounds.width, 200);
    EXPECT_EQ(bounds.height, 110);

    MetafileFrame none;
    EXPECT_FALSE(ReadMetafileFrame(Plain({{wmf::kSetBkMode, 1}}).data(), Plain({{wmf::kSetBkMode, 1}}).size(), none))
        << "no window and no drawing";
    const std::vector<Byte> unsafe = Plain({{wmf::kPolyline, 3000, 0, 0}});
    EXPECT_FALSE(ReadMetafileFrame(unsafe.data(), unsafe.size(), none)) << "a record the check refuses";
}
