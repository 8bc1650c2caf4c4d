// Every host call of a click, failing in turn: the click must hand exactly
// that failure back to the host, show nothing, and release every host object.
#include "tool/ToolFixture.h"

#include "support/PictureFiles.h"

#include <cstdio>
#include <functional>

namespace snapvane::test {
namespace {

constexpr HRESULT kInjected = static_cast<HRESULT>(0x80041234);

class FaultSweep : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        Connect();
        folder = TestFolder(L"snapvane-sweep");
        // A picture that exists, so that a successful run shows no message.
        ASSERT_TRUE(WriteBitmapFile(folder + L"sweep.bmp", 8, 8, RGB(0, 128, 0)));
    }

    // Runs the scenario once to count its host calls, then once per call
    // with that call failing. Returns the number of faults injected.
    long Sweep(const std::function<void()>& answerSuccess) {
        standin::Probe::Reset();
        {
            ModalWatcher watcher;
            answerSuccess();
            EXPECT_EQ(PressAt(50, 50), S_OK);
        }
        const long calls = standin::Probe::HostCalls();
        EXPECT_GT(calls, 10);
        for (long k = 1; k <= calls; ++k) {
            standin::Probe::Reset();
            const std::wstring description = L"injected fault " + std::to_wstring(k);
            standin::Probe::FailHostCall(k, kInjected, description);
            ModalWatcher watcher;
            EXPECT_EQ(PressAt(50, 50), kInjected) << "host call " << k;
            EXPECT_EQ(LastErrorDescription(), description) << "host call " << k;
            EXPECT_TRUE(watcher.Seen().empty()) << "host call " << k << " showed a window";
        }
        EXPECT_TRUE(Reports().empty()) << "a failing click never shows a report";
        return calls;
    }

    std::wstring folder;
};

TEST_F(FaultSweep, EveryHostCallOfAClickThatFindsNothing) {
    auto sites = host->NewFeatureClass(L"Sites", {{L"NOTE", L"Note", FieldType::Text}}, folder);
    sites.AddFeature(Shape::Point(50, 50), {L"no picture"});
    host->AddFeatureLayer(L"Sites", sites);
    long faults = Sweep([] {});
    std::printf("faults injected (nothing found): %ld\n", faults);
}

TEST_F(FaultSweep, EveryHostCallOfAClickWithPicturesInTwoLayersAndAllFivePairs) {
    AddTwoPictureLayers(folder, L"sweep.bmp");
    long faults = Sweep([] {});
    std::printf("faults injected (pictures in two layers): %ld\n", faults);
}

} // namespace
} // namespace snapvane::test
