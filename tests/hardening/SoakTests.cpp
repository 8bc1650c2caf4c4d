// Many clicks in one process through the real DLL: every cycle must behave
// like the first, and the process must hold no more afterwards than after
// the first few. A tool that leaks a window, a bitmap or a few bytes per click
// takes the user's whole session down after a day's work.
//
// SNAPVANE_SOAK_CYCLES sets the number of cycles (300 by default, sized for
// CI); 10000 is the setting for a local run.
#include "ProcessResources.h"
#include "tool/ToolFixture.h"

#include "../viewer/ViewerPictures.h"
#include "support/PictureFiles.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>

namespace snapvane::test {
namespace {

long SoakCycles() {
    const char* setting = std::getenv("SNAPVANE_SOAK_CYCLES");
    long cycles = setting ? std::atol(setting) : 0;
    return cycles > 0 ? cycles : 300;
}

constexpr long kWarmUpCycles = 20;
constexpr long kCyclesPerWatcher = 100;
// Stated bounds on growth between the end of the warm-up and the end of the
// run, whatever the number of cycles.
constexpr long kGdiObjectSlack = 2;
constexpr SIZE_T kHeapGrowthBound = 128 * 1024;
constexpr SIZE_T kPrivateGrowthBound = 4 * 1024 * 1024;

class Soak : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        Connect();
        folder = TestFolder(L"snapvane-soak");
        WriteBmp(folder + L"soak.bmp", 64, 48, RGB(200, 0, 0));
        WriteJpeg(folder + L"soak.jpg", 64, 48, RGB(0, 200, 0));
        WriteGif(folder + L"soak.gif", 64, 48, RGB(0, 0, 200));
        WriteWmf(folder + L"soak.wmf", 64, 48, RGB(200, 200, 0));
        std::vector<FieldDefinition> fields = {{L"IDENT", L"Identifier", FieldType::Text},
                                         {L"ALT", L"Altitude", FieldType::Double},
                                         {L"P1", L"Photo", FieldType::Text},
                                         {L"P2", L"Sketch", FieldType::Text},
                                         {L"P3", L"Plan", FieldType::Text},
                                         {L"P4", L"Map", FieldType::Text}};
        auto sites = host->NewFeatureClass(L"Sites", fields, folder);
        sites.AddFeature(Shape::Point(50, 50), {L"S1", 410.0, L"soak.bmp", L"soak.jpg", L"soak.gif", L"soak.wmf"});
        host->AddFeatureLayer(L"Sites", sites);
    }

    // One cycle: a press on the feature (choose each entry, then Exit) and a
    // press on empty map (the message). True when both went as a person
    // would see them.
    bool Cycle(ModalWatcher& watcher) {
        const size_t before = watcher.Seen().size();
        bool ok = PressAt(50, 50) == S_OK;
        ok = PressAt(10, 10) == S_OK && ok;
        auto seen = watcher.Seen();
        if (seen.size() != before + 5) return false;
        for (size_t k = before; k < before + 4; ++k)
            if (seen[k].kind != SeenWindow::Kind::Viewer || !seen[k].viewer.pictureShown || seen[k].unexpected) ok = false;
        const SeenWindow& box = seen[before + 4];
        return ok && box.kind == SeenWindow::Kind::MessageBox && !box.unexpected &&
               box.text == L"No images found. Select another layer or feature.";
    }

    // One watcher serves a batch of cycles: every thread Wine starts keeps
    // about 800 bytes of heap after it ends, which would hide what a click keeps.
    long Run(long cycles) {
        long failed = 0;
        for (long done = 0; done < cycles;) {
            const long batch = std::min(kCyclesPerWatcher, cycles - done);
            std::vector<Answer> answers;
            for (long k = 0; k < batch; ++k) {
                answers.push_back(Answer::Viewer(
                    {ViewerStep::Choose(1), ViewerStep::Choose(2), ViewerStep::Choose(3), ViewerStep::Exit()}));
                answers.push_back(Answer::Ok());
            }
            ModalWatcher watcher(answers);
            for (long k = 0; k < batch; ++k, ++done) {
                // The probe logs every host call; only the live-object count matters here.
                standin::Probe::Reset();
                if (!Cycle(watcher)) ++failed;
            }
        }
        return failed;
    }

    std::wstring folder;
};

TEST_F(Soak, ClickCyclesKeepWorkingAndTheProcessHoldsNoMore) {
    const long cycles = SoakCycles();
    ASSERT_EQ(Run(kWarmUpCycles), 0) << "warm-up cycles failed";
    const long liveAfterWarmUp = standin::Probe::LiveObjects();
    const ProcessResources before = MeasureProcess();
    const DWORD start = GetTickCount();

    long failed = Run(cycles / 2);
    const ProcessResources middle = MeasureProcess();
    failed += Run(cycles - cycles / 2);
    const ProcessResources after = MeasureProcess();
    const DWORD elapsed = GetTickCount() - start;

    std::printf("soak: %ld cycles (after %ld warm-up) in %lu ms, %ld failed\n", cycles, kWarmUpCycles,
                static_cast<unsigned long>(elapsed), failed);
    std::printf("soak: after warm-up %s\n", Describe(before).c_str());
    std::printf("soak: half-way      %s\n", Describe(middle).c_str());
    std::printf("soak: at the end    %s\n", Describe(after).c_str());
    std::printf("soak: peak private bytes %zu; heap growth %.1f bytes per cycle\n",
                static_cast<size_t>(PeakPrivateBytes()),
                (static_cast<double>(after.heapBytes) - static_cast<double>(before.heapBytes)) / cycles);

    EXPECT_EQ(failed, 0);
    EXPECT_EQ(standin::Probe::LiveObjects(), liveAfterWarmUp) << "stand-in objects kept by the tool";
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_LE(after.gdiObjects, before.gdiObjects + kGdiObjectSlack);
    EXPECT_LE(after.heapBytes, before.heapBytes + kHeapGrowthBound);
    EXPECT_LE(after.privateBytes, before.privateBytes + kPrivateGrowthBound);
}

} // namespace
} // namespace snapvane::test
