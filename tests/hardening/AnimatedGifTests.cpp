// An animated GIF is shown by its first image, and only that image is read:
// later frames that declare gigabytes of pixels cost neither time nor
// memory, and later frames that are damaged do not make the file unreadable.
#include "../pictures/GifBytes.h"
#include "../viewer/ChooseFile.h"
#include "../viewer/ViewerPictures.h"
#include "ProcessResources.h"
#include "viewer/DisplayPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace snapvane;
using namespace snapvane::test;

namespace {

class AnimatedGif : public testing::Test {
protected:
    void SetUp() override {
        viewer = &DisplayPicture::Instance();
        window = viewer->Window();
        viewer->SetBasePath(folder.Path() + L"\\");
        box = PictureBoxSize(window);
    }
    void TearDown() override { viewer->ChooserClear(); }

    TemporaryFolder folder;
    DisplayPicture* viewer = nullptr;
    HWND window = nullptr;
    SIZE box{};
};

// The most the process's private bytes rose above where they stood while
// run ran, sampled from another thread.
template <class Run>
SIZE_T PeakGrowthWhile(Run run) {
    const SIZE_T before = PrivateBytes();
    std::atomic<bool> done{false};
    std::atomic<SIZE_T> peak{before};
    std::thread sampler([&] {
        while (!done) {
            peak = std::max<SIZE_T>(peak, PrivateBytes());
            Sleep(1);
        }
    });
    run();
    done = true;
    sampler.join();
    return std::max<SIZE_T>(peak, PrivateBytes()) - before;
}

// Four bands of a colour each (red, green, blue, white), top to bottom.
std::vector<std::uint8_t> Bands(unsigned width, unsigned height) {
    std::vector<std::uint8_t> pixels(static_cast<size_t>(width) * height);
    for (unsigned y = 0; y < height; ++y) std::fill_n(pixels.begin() + y * width, width, static_cast<std::uint8_t>(y * 4 / height));
    return pixels;
}

const std::string kColours("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\xFF", 12);

TEST_F(AnimatedGif, LaterFramesOfBillionsOfPixelsCostNeitherTimeNorMemory) {
    // Something shown first, so that the viewer's own first showing is not measured.
    const std::wstring warm = folder / L"warm.gif";
    WriteGif(warm, 16, 16, RGB(0, 0, 255));
    ASSERT_TRUE(ChooseFile(warm).empty());
    for (int frames : {4, 12}) {
        SCOPED_TRACE(std::to_string(frames) + " frames of 16000 x 16000");
        const std::string bytes = HugeLaterFrames(frames, 16000);
        const std::wstring path = folder / (std::to_wstring(frames) + L"-frames.gif");
        WriteBytes(path, bytes);
        std::vector<std::wstring> messages;
        const DWORD start = GetTickCount();
        const SIZE_T growth = PeakGrowthWhile([&] { messages = ChooseFile(path); });
        const DWORD ms = GetTickCount() - start;
        std::printf("%d frames of 16000 x 16000 (%zu bytes): shown in %lu ms, private bytes rose %zu KB at most\n",
                    frames, bytes.size(), static_cast<unsigned long>(ms), static_cast<size_t>(growth / 1024));
        EXPECT_TRUE(messages.empty());
        EXPECT_LT(ms, 2000u);
        // The file's own bytes are held while it is read; the frame shown takes 12 MB at most beyond them.
        EXPECT_LE(growth, bytes.size() + 12u * 1024 * 1024);
        EXPECT_EQ(PictureBoxColour(window, box.cx / 2, box.cy / 2), RGB(255, 0, 0));  // the 1 x 1 first image
    }
}

TEST_F(AnimatedGif, TheFirstImageShowsWhateverTheFramesAfterItAre) {
    const unsigned width = 32, height = 24;  // 4:3 fills the box
    const std::vector<std::uint8_t> bands = Bands(width, height);
    const std::string second = GifImageBlock(width, height, Lzw(std::vector<std::uint8_t>(width * height, 3), 2), 2);
    // Interlaced, followed by a plain frame; plain, followed by a frame whose
    // codes break off, a frame cut in its descriptor, or garbage.
    const std::string interlaced = GifHeader(width, height, kColours) +
                                   GifImageBlock(width, height, Lzw(Interlace(bands, width, height), 2), 2, true) +
                                   second + ";";
    const std::string plain = GifHeader(width, height, kColours) + GifImageBlock(width, height, Lzw(bands, 2), 2);
    std::string brokenCodes = second;
    brokenCodes.replace(12, 4, "\xFF\xFF\xFF\xFF");
    const std::pair<const wchar_t*, std::string> files[] = {
        {L"interlaced.gif", interlaced},
        {L"broken-codes.gif", plain + brokenCodes + ";"},
        {L"cut-descriptor.gif", plain + second.substr(0, 6)},
        {L"garbage.gif", plain + "\x21\xF9\xFF" + std::string(100, '\x7F')},
    };
    const COLORREF expected[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)};
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(std::wstring(name).c_str());
        const std::wstring path = folder / name;
        WriteBytes(path, bytes);
        ASSERT_TRUE(ChooseFile(path).empty());
        for (int band = 0; band < 4; ++band) {
            const int y = box.cy * (2 * band + 1) / 8;
            EXPECT_EQ(PictureBoxColour(window, box.cx / 2, y), expected[band]) << "band " << band;
        }
    }
}

} // namespace
