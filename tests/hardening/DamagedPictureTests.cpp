// Damaged pictures: a corpus made here from small valid files of each format
// (truncations, header fields set to hostile values, seeded byte mutations,
// empty files, content that does not match the name), and from the forms that
// take their own roads: enhanced metafiles and stream-wrapped content (refused
// whole), a GIF without a colour table, bitmaps that only the OLE loader
// reads, metafiles with the size quirk and an old bitmap record. Every file must either
// show a picture or give the unreadable-file message, within a few seconds,
// and the process must keep no more memory for it than the platform's own
// decoders keep for the same files without the component. Metafiles without
// the placeable header (framed by their window or their drawing) and old
// bitmap records in the format's forms are among the crafted seeds.
//
// JPEGs, which the DLL decodes itself with libjpeg, get more: three seeds
// (baseline, progressive, grey with restart markers), the first two also cut
// at every offset. Crafted content the viewer refuses whole (enhanced
// metafiles, stream-wrapped files) and the forms that take the other roads
// are mutated too.
//
// SNAPVANE_DAMAGED_TRACE prints each file's making before it is shown.
// SNAPVANE_DAMAGED_MUTATIONS sets the seeded mutations per format and per
// JPEG seed (500 by default: 3,000 mutated files, 1,500 of them JPEGs, and
// about 1,650 cuts; two to three minutes under Wine). A local run takes 2000:
// 6,000 mutated JPEGs.
#include "ProcessResources.h"

#include "../viewer/CraftedPictures.h"
#include "../viewer/ViewerPictures.h"
#include "support/ModalWatcher.h"
#include "errors/RuntimeError.h"
#include "viewer/DisplayPicture.h"
#include "pictures/PictureContent.h"
#include "pictures/LoadPicture.h"
#include "win32/ComTypes.h"

#include <ole2.h>
#include <olectl.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <functional>
#include <iterator>
#include <limits>
#include <map>

using namespace snapvane;
using namespace snapvane::test;

namespace {

constexpr DWORD kPictureBoundMs = 5000;
// What the component may keep beyond the platform's decoders, for the whole corpus.
constexpr SIZE_T kComponentHeapBound = 2 * 1024 * 1024;

long MutationsPerFormat() {
    const char* setting = std::getenv("SNAPVANE_DAMAGED_MUTATIONS");
    long count = setting ? std::atol(setting) : 0;
    return count > 0 ? count : 500;
}

struct Damaged {
    std::wstring name;   // file name, with the extension the entry names
    std::string bytes;
    std::string what;    // how it was made, for failure output
};

std::string ReadAll(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

template <class T>
std::string With(std::string bytes, size_t offset, T value) {
    if (offset + sizeof value <= bytes.size())
        bytes.replace(offset, sizeof value, reinterpret_cast<const char*>(&value), sizeof value);
    return bytes;
}

std::string WithBigEndian16(std::string bytes, size_t offset, std::uint16_t value) {
    if (offset + 2 <= bytes.size()) {
        bytes[offset] = static_cast<char>(value >> 8);
        bytes[offset + 1] = static_cast<char>(value & 0xFF);
    }
    return bytes;
}

// The offset of the first start-of-frame segment of a JPEG, or 0.
size_t JpegFrameHeader(const std::string& bytes) {
    for (size_t at = 2; at + 4 < bytes.size();) {
        if (static_cast<unsigned char>(bytes[at]) != 0xFF) return 0;
        unsigned marker = static_cast<unsigned char>(bytes[at + 1]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) return at;
        size_t length = (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
        at += 2 + length;
    }
    return 0;
}

// The offset of a GIF's first image descriptor, or 0.
size_t GifImageDescriptor(const std::string& bytes) {
    if (bytes.size() < 13) return 0;
    size_t at = 13;
    unsigned flags = static_cast<unsigned char>(bytes[10]);
    if (flags & 0x80) at += 3u << ((flags & 7) + 1);
    while (at < bytes.size()) {
        unsigned char block = static_cast<unsigned char>(bytes[at]);
        if (block == 0x2C) return at;
        if (block != 0x21 || at + 2 >= bytes.size()) return 0;
        at += 2;  // extension introducer and label, then sub-blocks
        while (at < bytes.size() && bytes[at] != 0) at += 1 + static_cast<unsigned char>(bytes[at]);
        ++at;
    }
    return 0;
}

const std::int32_t kHostileSizes[] = {0, -1, std::numeric_limits<std::int32_t>::min(), 65535};

// Header fields set to sizes no picture has.
std::vector<Damaged> HeaderMutations(const std::wstring& type, const std::string& valid) {
    std::vector<Damaged> out;
    auto add = [&](std::string bytes, std::string what) { out.push_back({L"header" + type, std::move(bytes), what}); };
    if (type == L".bmp") {
        for (std::int32_t size : kHostileSizes) {
            add(With(valid, 18, size), "width " + std::to_string(size));
            add(With(valid, 22, size), "height " + std::to_string(size));
        }
        add(With(With(valid, 18, 65535), 22, 65535), "65535 x 65535");
        add(With(valid, 10, 0x7FFFFFF0u), "pixel offset beyond the file");
        add(With(valid, 28, std::uint16_t{64}), "64 bits per pixel");
        add(With(valid, 28, std::uint16_t{0}), "0 bits per pixel");
        add(With(valid, 30, 1u), "RLE8 on 24-bit pixels");
        add(With(valid, 46, 0xFFFFFFFFu), "colours used 4G");
    } else if (type == L".gif") {
        for (std::uint16_t size : {std::uint16_t{0}, std::uint16_t{65535}}) {
            add(With(valid, 6, size), "screen width " + std::to_string(size));
            add(With(valid, 8, size), "screen height " + std::to_string(size));
        }
        add(With(With(valid, 6, std::uint16_t{65535}), 8, std::uint16_t{65535}), "screen 65535 x 65535");
        size_t image = GifImageDescriptor(valid);
        if (image) {
            for (std::uint16_t size : {std::uint16_t{0}, std::uint16_t{65535}}) {
                add(With(valid, image + 5, size), "image width " + std::to_string(size));
                add(With(valid, image + 7, size), "image height " + std::to_string(size));
            }
            add(With(valid, image + 1, std::uint16_t{65000}), "image left far outside the screen");
            size_t codeSize = image + 10;
            unsigned char imageFlags = static_cast<unsigned char>(valid[image + 9]);
            if (imageFlags & 0x80) codeSize += 3u << ((imageFlags & 7) + 1);
            for (std::uint8_t bits : {std::uint8_t{0}, std::uint8_t{12}, std::uint8_t{255}})
                add(With(valid, codeSize, bits), "code size " + std::to_string(bits));
        }
    } else if (type == L".jpg") {
        size_t frame = JpegFrameHeader(valid);
        if (frame) {
            for (std::uint16_t size : {std::uint16_t{0}, std::uint16_t{65535}}) {
                add(WithBigEndian16(valid, frame + 5, size), "height " + std::to_string(size));
                add(WithBigEndian16(valid, frame + 7, size), "width " + std::to_string(size));
            }
            add(WithBigEndian16(WithBigEndian16(valid, frame + 5, 65535), frame + 7, 65535), "65535 x 65535");
            add(With(valid, frame + 9, std::uint8_t{0}), "no components");
            add(With(valid, frame + 9, std::uint8_t{255}), "255 components");
            add(WithBigEndian16(valid, frame + 2, 0), "frame length 0");
            add(WithBigEndian16(valid, frame + 2, 65535), "frame length 65535");
        }
        add(WithBigEndian16(valid, 4, 0), "first segment length 0");
        add(WithBigEndian16(valid, 4, 65535), "first segment length 65535");
    } else if (type == L".wmf") {
        // Placeable header: bounds at 6..13, units per inch at 14; the
        // metafile header follows at 22 with its size in words at 22 + 6.
        add(With(With(valid, 10, std::int16_t{0}), 12, std::int16_t{0}), "empty bounds");
        add(With(With(valid, 10, std::int16_t{-32768}), 12, std::int16_t{-32768}), "negative bounds");
        add(With(valid, 14, std::uint16_t{0}), "0 units per inch");
        std::uint32_t words = 0;
        std::memcpy(&words, &valid[28], sizeof words);
        add(With(valid, 28, std::uint32_t{0}), "metafile size 0");
        add(With(valid, 28, words * 2), "metafile size doubled");
        add(With(valid, 28, 0xFFFFFFFFu), "metafile size 4G words");
        add(With(valid, 34, 0xFFFFFFFFu), "largest record 4G words");
        add(With(valid, 40, std::uint32_t{0}), "first record size 0");
        add(With(valid, 40, 0x7FFFFFFFu), "first record size 2G words");
        add(With(valid, 22, std::uint16_t{7}), "metafile type 7");
    }
    return out;
}

std::vector<Damaged> Truncations(const std::wstring& type, const std::string& valid) {
    std::vector<Damaged> out;
    std::vector<size_t> cuts = {0, 1, 2, 3, 4, 6, 8, 10, 13, 14, 16, 20, 24, 26, 30, 40, 54, 64};
    for (size_t part = 1; part < 16; ++part) cuts.push_back(valid.size() * part / 16);
    cuts.push_back(valid.size() - 1);
    for (size_t cut : cuts)
        if (cut < valid.size())
            out.push_back({L"cut" + type, valid.substr(0, cut), "first " + std::to_string(cut) + " bytes"});
    return out;
}

// A few bytes changed at seeded places; the seed makes each file reproducible.
std::vector<Damaged> SeededMutations(const std::wstring& type, const std::string& valid, long count) {
    std::vector<Damaged> out;
    for (long seed = 1; seed <= count; ++seed) {
        std::uint32_t state = static_cast<std::uint32_t>(seed) * 2654435761u + 1;
        auto next = [&] {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            return state;
        };
        std::string bytes = valid;
        // Headers are where decoders go wrong: most changes land in the first 64 bytes.
        int changes = 1 + next() % 4;
        for (int k = 0; k < changes; ++k) {
            size_t span = next() % 4 ? std::min<size_t>(64, bytes.size()) : bytes.size();
            bytes[next() % span] = static_cast<char>(next());
        }
        out.push_back({L"seed" + type, bytes, "seed " + std::to_string(seed)});
    }
    return out;
}

// The file cut at every offset, from nothing to all but its last byte.
std::vector<Damaged> EveryCut(const std::wstring& name, const std::string& valid) {
    std::vector<Damaged> out;
    for (size_t cut = 0; cut < valid.size(); ++cut)
        out.push_back({L"every-cut-" + name, valid.substr(0, cut), "every cut: first " + std::to_string(cut) + " bytes"});
    return out;
}

// The GIF with a global colour table of 256 entries put in (black, white,
// then greys): Wine's GIF codec reads through a missing table and ends the process.
std::string WithDefaultColourTable(const std::string& bytes) {
    if (bytes.size() < 13 || (static_cast<unsigned char>(bytes[10]) & 0x80)) return bytes;
    std::string out = bytes.substr(0, 13);
    out[10] = static_cast<char>((out[10] & 0x70) | 0x80 | 7);
    for (int entry = 0; entry < 256; ++entry) out.append(3, static_cast<char>(entry == 1 ? 255 : entry));
    return out + bytes.substr(13);
}

// The platform's own reading of a file, without the component: the codec
// for its kind (or, for a metafile, the OLE loader) reads it and hands every
// pixel out. Content the viewer refuses unread is not read here either: the
// codecs' probing of every decoder on arbitrary bytes is what the viewer no
// longer does. GIFs, which the DLL now decodes itself, are still read by the
// platform's codec here, as the measure of what the platform keeps for such
// files. Wine's decoders keep some memory for some damaged
// files (a truncated GIF keeps about 25 KB); this tells the component's part
// from theirs.
void DecodeBare(IWICImagingFactory* factory, std::string bytes) {
    if (bytes.empty()) return;
    if (bytes.compare(0, 4, "GIF8") == 0) bytes = WithDefaultColourTable(bytes);
    const auto* data = reinterpret_cast<const BYTE*>(bytes.data());
    if (IdentifyPicture(data, bytes.size()) == PictureKind::Unknown) return;
    const GUID* container = bytes.compare(0, 2, "BM") == 0     ? &GUID_ContainerFormatBmp
                            : bytes.compare(0, 4, "GIF8") == 0 ? &GUID_ContainerFormatGif
                            : bytes.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 ? &GUID_ContainerFormatJpeg
                                                                                       : nullptr;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateStream(stream.GetAddressOf())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(bytes.size()))))
        return;
    bool taken = container ? SUCCEEDED(factory->CreateDecoder(*container, nullptr, decoder.GetAddressOf()))
                           : SUCCEEDED(factory->CreateDecoderFromStream(stream.Get(), nullptr,
                                                                        WICDecodeMetadataCacheOnDemand,
                                                                        decoder.GetAddressOf()));
    if (taken) {
        ComPtr<IWICBitmapFrameDecode> frame;
        ComPtr<IWICFormatConverter> converter;
        UINT width = 0, height = 0;
        if ((container && FAILED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand))) ||
            FAILED(decoder->GetFrame(0, frame.GetAddressOf())) || FAILED(frame->GetSize(&width, &height)) ||
            width == 0 || height == 0 || static_cast<std::uint64_t>(width) * height > 50'000'000 ||
            FAILED(factory->CreateFormatConverter(converter.GetAddressOf())) ||
            FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                         0, WICBitmapPaletteTypeCustom)))
            return;
        std::vector<BYTE> pixels(static_cast<size_t>(width) * height * 4);
        converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(pixels.size()), pixels.data());
        return;
    }
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!memory) return;
    std::memcpy(GlobalLock(memory), bytes.data(), bytes.size());
    GlobalUnlock(memory);
    ComPtr<IStream> oleStream;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, oleStream.GetAddressOf()))) {
        GlobalFree(memory);
        return;
    }
    ComPtr<IPicture> picture;
    OleLoadPicture(oleStream.Get(), static_cast<LONG>(bytes.size()), FALSE, IID_IPicture,
                   reinterpret_cast<void**>(picture.GetAddressOf()));
}

class DamagedPictures : public testing::Test {
protected:
    void SetUp() override {
        viewer = &DisplayPicture::Instance();
        viewer->ChooserClear();
        viewer->SetBasePath(folder.Path() + L"\\");
    }

    // Shows the file through the chooser and says what the person saw.
    enum class Outcome { Picture, Unreadable, Other };
    Outcome ShowFile(ModalWatcher& watcher, const std::wstring& path, std::wstring& message) {
        size_t before = watcher.MessageTexts().size();
        viewer->ChooserClear();
        viewer->ChooserAddItem(L"Photo: " + path);
        viewer->ChooserSetListIndex(0);
        auto texts = watcher.MessageTexts();
        bool shown = SendMessageW(GetDlgItem(viewer->Window(), DisplayPictureControl::Image), STM_GETIMAGE,
                                  IMAGE_BITMAP, 0) != 0;
        // What an unexpected outcome was, for the failure to say.
        message = shown ? L"a picture" : L"no picture";
        for (size_t k = before; k < texts.size(); ++k) message += L", then the message \"" + texts[k] + L"\"";
        if (texts.size() == before) return shown ? Outcome::Picture : Outcome::Other;
        if (texts.size() != before + 1 || shown) return Outcome::Other;
        message = texts.back();
        bool names = message.rfind(L"File Name " + path + L" ", 0) == 0;
        bool unreadable = message.find(L"could not be read as a picture") != std::wstring::npos ||
                          message.find(L"too large") != std::wstring::npos ||
                          message.find(L"more drawing") != std::wstring::npos;
        return names && unreadable ? Outcome::Unreadable : Outcome::Other;
    }

    TemporaryFolder folder;
    DisplayPicture* viewer = nullptr;
};

TEST_F(DamagedPictures, EveryFileShowsAPictureOrIsNamedUnreadableInTime) {
    struct Seed {
        std::wstring type;
        std::function<void(const std::wstring&)> write;
    };
    const Seed seeds[] = {{L".jpg", [](const std::wstring& p) { WriteJpeg(p, 32, 24, RGB(200, 0, 0)); }},
                          {L".gif", [](const std::wstring& p) { WriteGif(p, 32, 24, RGB(0, 200, 0)); }},
                          {L".bmp", [](const std::wstring& p) { WriteBmp(p, 32, 24, RGB(0, 0, 200)); }},
                          {L".wmf", [](const std::wstring& p) { WriteWmf(p, 32, 24, RGB(200, 200, 0)); }}};
    std::vector<Damaged> corpus;
    std::map<std::wstring, std::string> valid;
    for (const Seed& seed : seeds) {
        std::wstring path = folder / (L"valid" + seed.type);
        seed.write(path);
        valid[seed.type] = ReadAll(path);
        ASSERT_GT(valid[seed.type].size(), 30u);
        for (auto& d : Truncations(seed.type, valid[seed.type])) corpus.push_back(std::move(d));
        for (auto& d : HeaderMutations(seed.type, valid[seed.type])) corpus.push_back(std::move(d));
        for (auto& d : SeededMutations(seed.type, valid[seed.type], MutationsPerFormat())) corpus.push_back(std::move(d));
    }
    // Content the viewer refuses whole, and the forms that take the other
    // roads: a GIF given a colour table, bitmaps the codec refuses and the OLE
    // loader reads, metafiles with the size quirk and an old bitmap record.
    MetafileRecords withBitmap;
    withBitmap.Window(32, 24, RGB(200, 200, 0)).Add(META_RECTANGLE, {25, 33, 0, 0});
    std::vector<std::uint16_t> stretch{0x0020, 0x00CC, 8, 8, 0, 0, 24, 16, 0, 0, 8, 8, 2, 1, 1};
    stretch.insert(stretch.end(), 8, 0xAAAA);
    withBitmap.Add(META_STRETCHBLT, stretch);
    MetafileRecords plain;
    plain.Window(32, 24, RGB(200, 200, 0)).Add(META_RECTANGLE, {25, 33, 0, 0});
    const std::pair<std::wstring, std::string> crafted[] = {
        {L".wmf", EnhancedMetafile(RGB(0, 0, 200))},
        {L".wmf", StreamWrapped(valid[L".wmf"])},
        {L".bmp", StreamWrapped(valid[L".bmp"])},
        {L".gif", GifWithoutColourTable()},
        {L".bmp", BitmapVariant(56, 16, RGB(0, 0, 200), {0xF800, 0x07E0, 0x001F})},
        {L".bmp", BitmapVariant(40, 16, RGB(0, 0, 200), {0x0F00, 0x00F0, 0x000F})},
        {L".bmp", BitmapVariant(124, 32, RGB(0, 0, 200), {0x3FF00000, 0x000FFC00, 0x000003FF})},
        {L".bmp", BitmapVariant(16, 24, RGB(0, 0, 200))},
        {L".wmf", plain.Placeable(32, 24, 96, true)},
        {L".wmf", withBitmap.Placeable(32, 24)},
        {L".wmf", PlainMetafileWithWindow()},
        {L".wmf", PlainMetafileByBounds()},
        {L".wmf", MetafileWithOldBitmaps()},
        {L".jpg", PngPicture(24, 16, RGB(200, 0, 0), RGB(0, 0, 200))},
    };
    for (size_t k = 0; k < std::size(crafted); ++k) {
        const auto& [type, bytes] = crafted[k];
        std::vector<Damaged> made = Truncations(type, bytes);
        for (auto& d : SeededMutations(type, bytes, std::max(1L, MutationsPerFormat() / 5))) made.push_back(std::move(d));
        for (auto& d : made) {
            d.what = "crafted " + std::to_string(k) + ", " + d.what;
            corpus.push_back(std::move(d));
        }
    }
    corpus.push_back({L"enhanced-named.jpg", crafted[0].second, "enhanced metafile named .jpg"});

    // JPEGs of the other kinds libjpeg reads, made at build time.
    for (const wchar_t* name : {L"small-progressive.jpg", L"small-grey-restart.jpg"}) {
        const std::string seed = ReadAll(JpegTestPictures() + name);
        ASSERT_GT(seed.size(), 100u) << "make-jpeg-pictures.sh makes the JPEG seeds";
        for (auto& d : SeededMutations(L".jpg", seed, MutationsPerFormat())) {
            d.what = std::string(name, name + std::wcslen(name)) + " " + d.what;
            corpus.push_back(std::move(d));
        }
        // Downloads end anywhere: a baseline and a progressive file are cut
        // at every offset.
        if (std::wstring(name) == L"small-progressive.jpg")
            for (auto& d : EveryCut(name, seed)) corpus.push_back(std::move(d));
    }
    for (auto& d : EveryCut(L"baseline.jpg", valid[L".jpg"])) corpus.push_back(std::move(d));
    // Content that does not match the name.
    corpus.push_back({L"jpeg-named.bmp", valid[L".jpg"], "JPEG named .bmp"});
    corpus.push_back({L"gif-named.wmf", valid[L".gif"], "GIF named .wmf"});
    corpus.push_back({L"wmf-named.jpg", valid[L".wmf"], "WMF named .jpg"});
    corpus.push_back({L"bmp-named.gif", valid[L".bmp"], "BMP named .gif"});
    corpus.push_back({L"text.jpg", "This is no picture.\r\n", "text named .jpg"});
    corpus.push_back({L"page.gif", "<html><body>GIF89a</body></html>", "HTML named .gif"});
    corpus.push_back({L"zeros.bmp", std::string(4096, '\0'), "4 KB of zeros named .bmp"});
    corpus.push_back({L"magic-only.jpg", "\xFF\xD8\xFF", "JPEG magic only"});
    corpus.push_back({L"magic-only.gif", "GIF89a", "GIF magic only"});

    ModalWatcher watcher;
    // One valid file first, so that the decoders are loaded before measuring.
    std::wstring message;
    ASSERT_EQ(ShowFile(watcher, folder / L"valid.jpg", message), Outcome::Picture);
    const SIZE_T heapBefore = HeapBytesInUse();
    const SIZE_T privateBefore = PrivateBytes();

    int pictures = 0, unreadable = 0, other = 0;
    DWORD slowest = 0;
    for (size_t k = 0; k < corpus.size(); ++k) {
        const Damaged& damaged = corpus[k];
        std::wstring path = folder / (std::to_wstring(k) + L"-" + damaged.name);
        WriteBytes(path, damaged.bytes);
        if (std::getenv("SNAPVANE_DAMAGED_TRACE")) {
            std::printf("%s\n", damaged.what.c_str());
            std::fflush(stdout);
        }
        DWORD start = GetTickCount();
        Outcome outcome = ShowFile(watcher, path, message);
        DWORD ms = GetTickCount() - start;
        slowest = std::max(slowest, ms);
        EXPECT_LT(ms, kPictureBoundMs) << damaged.what;
        if (outcome == Outcome::Picture) ++pictures;
        else if (outcome == Outcome::Unreadable) ++unreadable;
        else {
            ++other;
            ADD_FAILURE() << "neither a picture nor the unreadable message: " << damaged.what << ": "
                          << std::filesystem::path(message).string();
        }
        DeleteFileW(path.c_str());
    }
    viewer->ChooserClear();
    viewer->ChooserSetListIndex(-1);
    const SIZE_T heapAfter = HeapBytesInUse();
    const SIZE_T privateAfter = PrivateBytes();

    ComPtr<IWICImagingFactory> factory;
    ASSERT_HRESULT_SUCCEEDED(
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory.GetAddressOf())));
    const SIZE_T bareBefore = HeapBytesInUse();
    for (const Damaged& damaged : corpus) {
        if (std::getenv("SNAPVANE_DAMAGED_TRACE")) {
            std::printf("bare: %s\n", damaged.what.c_str());
            std::fflush(stdout);
        }
        DecodeBare(factory.Get(), damaged.bytes);
    }
    const SIZE_T bareAfter = HeapBytesInUse();
    const auto growth = static_cast<std::int64_t>(heapAfter) - static_cast<std::int64_t>(heapBefore);
    const auto platformGrowth = static_cast<std::int64_t>(bareAfter) - static_cast<std::int64_t>(bareBefore);

    std::printf("damaged pictures: %zu files, %d shown, %d unreadable, %d other, slowest %lu ms\n", corpus.size(),
                pictures, unreadable, other, static_cast<unsigned long>(slowest));
    std::printf("damaged pictures: heap kept %lld bytes through the viewer, %lld by the bare platform decoders; "
                "private %zu -> %zu, peak private %zu\n",
                static_cast<long long>(growth), static_cast<long long>(platformGrowth),
                static_cast<size_t>(privateBefore), static_cast<size_t>(privateAfter),
                static_cast<size_t>(PeakPrivateBytes()));
    EXPECT_EQ(other, 0);
    EXPECT_LE(growth, platformGrowth + static_cast<std::int64_t>(kComponentHeapBound));
}

// The DLL's own JPEG decoder, without the window: a thousand damaged JPEGs of
// each seed leave not a byte more in the process's heaps (the sweep above
// measures the viewer as a whole, message boxes and Wine's share included).
TEST(DamagedJpegs, DecodingThemLeavesNothingOnTheHeap) {
    TemporaryFolder folder;
    const std::wstring path = folder / L"damaged.jpg";
    for (const wchar_t* name : {L"small-progressive.jpg", L"small-grey-restart.jpg"}) {
        SCOPED_TRACE(std::string(name, name + std::wcslen(name)));
        const std::string seed = ReadAll(JpegTestPictures() + name);
        ASSERT_GT(seed.size(), 100u);
        const std::vector<Damaged> corpus = SeededMutations(L".jpg", seed, 1200);
        int refused = 0;
        auto decode = [&](size_t from, size_t to) {
            for (size_t k = from; k < to; ++k) {
                WriteBytes(path, corpus[k].bytes);
                try {
                    LoadScaledPicture(path, SIZE{683, 512}, RGB(0, 0, 0));
                } catch (const RuntimeError&) {
                    ++refused;
                }
            }
        };
        decode(0, 200);  // first allocations of the runtime's and Wine's own
        const SIZE_T before = HeapBytesInUse();
        decode(200, corpus.size());
        const SIZE_T after = HeapBytesInUse();
        std::printf("damaged jpegs: %ls, 1000 files (%d refused), heap %zu -> %zu\n", name, refused,
                    static_cast<size_t>(before), static_cast<size_t>(after));
        EXPECT_LE(after, before);
    }
}

} // namespace
