// The probe: the log of host calls, injected failures and live objects.
#include "StandInTestSupport.h"

#include "standin/Probe.h"

using namespace snapvane::standin;
using namespace standin_test;

namespace {

class ProbeTest : public testing::Test {
protected:
    void SetUp() override { Probe::Reset(); }
    void TearDown() override { Probe::Reset(); }
};

long LayerCount(IMap* map, HRESULT* hr) {
    long count = -1;
    *hr = map->get_LayerCount(&count);
    return count;
}

} // namespace

TEST_F(ProbeTest, LogNamesHostOperationsInCallOrderButNotQueryInterface) {
    StandInHost host;
    host.SetSearchTolerance(3);
    ComPtr<IDocument> document;
    ASSERT_EQ(host.Application()->get_Document(document.GetAddressOf()), S_OK);
    ComPtr<IMxDocument> mx;
    ASSERT_EQ(document.As(&mx), S_OK);
    double tolerance = 0;
    mx->get_SearchTolerance(&tolerance);
    mx->put_SearchTolerance(4);
    ComPtr<IMap> map;
    mx->get_FocusMap(map.GetAddressOf());
    HRESULT hr;
    LayerCount(map.Get(), &hr);

    EXPECT_EQ(tolerance, 3);
    EXPECT_EQ(Probe::Log(), (std::vector<std::wstring>{L"IApplication.Document", L"IMxDocument.SearchTolerance",
                                                       L"IMxDocument.SearchTolerance", L"IMxDocument.FocusMap",
                                                       L"IMap.LayerCount"}));
    EXPECT_EQ(Probe::Calls(L"IMxDocument.SearchTolerance"), 2);
    EXPECT_EQ(Probe::HostCalls(), 5);
}

TEST_F(ProbeTest, NthCallOfAnOperationFailsWithItsHresultAndDescription) {
    StandInHost host;
    auto map = host.FocusMap();
    HRESULT hr;
    LayerCount(map.Get(), &hr);  // the first call happened before arming
    Probe::FailCall(L"IMap.LayerCount", 2, E_ACCESSDENIED, L"The map is locked.");

    EXPECT_EQ(LayerCount(map.Get(), &hr), 0);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(LayerCount(map.Get(), &hr), -1);  // out-value untouched
    EXPECT_EQ(hr, E_ACCESSDENIED);
    EXPECT_EQ(ErrorDescription(), L"The map is locked.");
    ComPtr<ISupportErrorInfo> supports;
    ASSERT_EQ(map.As(&supports), S_OK);
    EXPECT_EQ(supports->InterfaceSupportsErrorInfo(IID_IMap), S_OK);
    LayerCount(map.Get(), &hr);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(Probe::Calls(L"IMap.LayerCount"), 4);  // failed calls are logged too
}

TEST_F(ProbeTest, KthHostCallOfAnyKindFailsForASweep) {
    StandInHost host;
    auto map = host.FocusMap();
    Probe::FailHostCall(2, E_FAIL, L"Injected.");
    ComPtr<ISpatialReference> reference;
    EXPECT_EQ(map->get_SpatialReference(reference.GetAddressOf()), S_OK);
    Bstr name;
    EXPECT_EQ(reference->get_Name(name.out()), E_FAIL);
    EXPECT_EQ(ErrorDescription(), L"Injected.");
    EXPECT_EQ(reference->get_Name(name.out()), S_OK);
}

TEST_F(ProbeTest, ResetDisarmsFailuresAndForgetsTheLog) {
    StandInHost host;
    auto map = host.FocusMap();
    Probe::FailCall(L"IMap.LayerCount", 1, E_FAIL, L"Injected.");
    Probe::Reset();
    HRESULT hr;
    LayerCount(map.Get(), &hr);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(Probe::Log(), std::vector<std::wstring>{L"IMap.LayerCount"});
}

TEST_F(ProbeTest, LiveObjectsCountEveryObjectUntilItsLastReferenceGoes) {
    const long before = Probe::LiveObjects();
    ComPtr<IFeature> kept;
    {
        StandInHost host;
        auto sites = host.NewFeatureClass(L"Sites", {{L"PHOTO", L"Photo", FieldType::Text}});
        sites.AddFeature(Shape::Point(1, 2), {L"a.jpg"});
        host.AddFeatureLayer(L"Sites", sites);
        host.AddGroupLayer(L"Group").AddOtherLayer(L"Image");
        EXPECT_GT(Probe::LiveObjects(), before);

        ComPtr<IFeatureCursor> cursor;
        ASSERT_EQ(sites.Get()->Search(nullptr, VARIANT_FALSE, cursor.GetAddressOf()), S_OK);
        ASSERT_EQ(cursor->NextFeature(kept.GetAddressOf()), S_OK);
    }
    EXPECT_GT(Probe::LiveObjects(), before);  // the feature keeps its class alive
    ComPtr<IObjectClass> itsClass;
    ASSERT_EQ(kept->get_Class(itsClass.GetAddressOf()), S_OK);
    kept.Reset();
    itsClass.Reset();
    EXPECT_EQ(Probe::LiveObjects(), before);
}
