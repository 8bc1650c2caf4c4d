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
    std::vector<FieldDefinition> fields = {{L"IDENT", L"Identifier", FieldType::Text},
                                     {L"ALT", L"Altitude", FieldType::Double},
                                     {L"LON", L"Longitude", FieldType::Double},
                                     {L"LAT", L"Latitude", FieldType::Double},
                                     {L"REM", L"Comment", FieldType::Text},
                                     {L"PHOTO", L"Photo", FieldType::Text}};
    auto wells = host->NewFeatureClass(L"Wells", fields, folder);
    wells.AddFeature(Shape::Point(50, 50), {L"W1", 410.0, 8.5, 47.1, L"dry", L"sweep.bmp"});
    auto springs = host->NewFeatureClass(L"Springs", fields, folder);
    springs.AddFeature(Shape::Point(50, 50), {L"S1", 420.0, 8.6, 47.2, L"wet", L"sweep.bmp"});
    host->AddFeatureLayer(L"Wells", wells);
    host->AddFeatureLayer(L"Springs", springs);
    long faults = Sweep([] {});
    std::printf("faults injected (pictures in two layers): %ld\n", faults);
}

} // namespace
} // namespace snapvane::test
