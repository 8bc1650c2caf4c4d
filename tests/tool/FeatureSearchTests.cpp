// The search under a click: which layers and features count, how entries
// accumulate, the exact host conversation, and how errors leave it.
#include "SearchFixture.h"

#include "errors/RuntimeError.h"

namespace snapvane::test {
namespace {

using FeatureSearch = SearchTest;

long OidOf(const ComPtr<IFeature>& feature) {
    Variant value;
    feature->get_Value(0, value.out());
    return V_I4(&value.get());
}

TEST_F(FeatureSearch, AMapWithoutLayersAnswersNothingAndCreatesNoHostObject) {
    EXPECT_FALSE(Search(50, 50));
    EXPECT_EQ(standin::Probe::CreatedThroughClassObjects(), 0);
    EXPECT_EQ(standin::Probe::Log(), std::vector<std::wstring>{L"IMap.LayerCount"});
}

TEST_F(FeatureSearch, PicturesInTwoLayersAccumulateWhileTheLaterLayerGivesFeatureAndBasePath) {
    auto first = PhotoClass(L"Wells", L"D:\\wells");
    first.AddFeature(Shape::Point(50, 50), {1, L"well.jpg"});
    auto second = PhotoClass(L"Springs", L"D:\\springs");
    long spring = second.AddFeature(Shape::Point(50.5, 50), {2, L"spring.gif"});
    host->AddFeatureLayer(L"Wells", first);
    host->AddFeatureLayer(L"Springs", second);

    auto feature = Search(50, 50);
    ASSERT_TRUE(feature);
    EXPECT_EQ(OidOf(feature), spring);
    EXPECT_EQ(state.BasePath, L"D:\\springs\\");
    ASSERT_EQ(state.PictureCount, 2);
    EXPECT_EQ(state.PictureList[0], L"Photo: well.jpg");
    EXPECT_EQ(state.PictureList[1], L"Photo: spring.gif");
}

TEST_F(FeatureSearch, OnlyTheFirstFeatureOfEachLayerIsExamined) {
    auto sites = PhotoClass(L"Sites");
    sites.AddFeature(Shape::Point(50, 50), {1, L"no picture"});
    sites.AddFeature(Shape::Point(50, 50), {2, L"b.jpg"});
    host->AddFeatureLayer(L"Sites", sites);
    EXPECT_FALSE(Search(50, 50));
    EXPECT_EQ(state.PictureCount, 0);
}

TEST_F(FeatureSearch, SelectableDecidesNotVisibilityAndGroupLayersAreNotEntered) {
    auto hidden = PhotoClass(L"Hidden", L"D:\\hidden");
    hidden.AddFeature(Shape::Point(50, 50), {1, L"hidden.jpg"});
    auto locked = PhotoClass(L"Locked", L"D:\\locked");
    locked.AddFeature(Shape::Point(50, 50), {1, L"locked.jpg"});
    auto grouped = PhotoClass(L"Grouped", L"D:\\grouped");
    grouped.AddFeature(Shape::Point(50, 50), {1, L"grouped.jpg"});
    host->AddFeatureLayer(L"Hidden", hidden).Visible(false);
    host->AddFeatureLayer(L"Locked", locked).Selectable(false);
    host->AddGroupLayer(L"Group").AddFeatureLayer(L"Grouped", grouped);
    host->AddOtherLayer(L"Orthophoto");

    EXPECT_TRUE(Search(50, 50));
    ASSERT_EQ(state.PictureCount, 1);
    EXPECT_EQ(state.PictureList[0], L"Photo: hidden.jpg");
    EXPECT_EQ(state.BasePath, L"D:\\hidden\\");
}

TEST_F(FeatureSearch, TheSquareReachesTheToleranceOnEverySideEdgesIncluded) {
    auto sites = PhotoClass(L"Sites");
    sites.AddFeature(Shape::Point(52, 50), {1, L"edge.jpg"});
    auto roads = PhotoClass(L"Roads");
    roads.AddFeature(Shape::Line({{0, 47}, {100, 47}}), {1, L"road.jpg"});
    host->AddFeatureLayer(L"Sites", sites);
    host->AddFeatureLayer(L"Roads", roads);

    EXPECT_TRUE(Search(50, 50, 2));
    EXPECT_EQ(state.PictureCount, 1) << "the point on the edge counts, the road 3 units away does not";
    EXPECT_FALSE(Search(50, 50, 0)) << "a tolerance of 0 is the point itself";
    EXPECT_TRUE(Search(52, 50, 0));
    EXPECT_TRUE(Search(30, 47, 0));
}

TEST_F(FeatureSearch, APolygonAroundTheClickCounts) {
    auto parcels = PhotoClass(L"Parcels");
    parcels.AddFeature(Shape::Polygon({{10, 10}, {90, 10}, {90, 90}, {10, 90}, {10, 10}}), {1, L"parcel.wmf"});
    host->AddFeatureLayer(L"Parcels", parcels);
    EXPECT_TRUE(Search(50, 50, 1));
}

TEST_F(FeatureSearch, OneFilterOneEnumerationAndOneCursorAndFetchPerSearchedLayer) {
    auto a = PhotoClass(L"A");
    a.AddFeature(Shape::Point(50, 50), {1, L"a.jpg"});
    auto b = PhotoClass(L"B");
    host->AddFeatureLayer(L"A", a);
    host->AddFeatureLayer(L"B", b).Selectable(false);
    host->AddFeatureLayer(L"C", b);
    Search(50, 50);
    EXPECT_EQ(standin::Probe::CreatedThroughClassObjects(), 2);  // the filter and the UID
    const std::vector<std::wstring> expected = {
        L"IMap.LayerCount", L"IGeometry.Envelope", L"IEnvelope.Expand", L"ISpatialFilter.Geometry",
        L"ISpatialFilter.SpatialRel", L"IUID.Value", L"IMap.Layers", L"IEnumLayer.Reset", L"IEnumLayer.Next",
        // layer A
        L"IFeatureLayer.Selectable", L"IFeatureLayer.FeatureClass", L"IFeatureClass.ShapeFieldName",
        L"IMap.SpatialReference", L"IQueryFilter.OutputSpatialReference", L"IFeatureLayer.FeatureClass",
        L"IFeatureClass.ShapeFieldName", L"ISpatialFilter.GeometryField", L"IFeatureLayer.FeatureClass",
        L"IFeatureClass.Search", L"IFeatureCursor.NextFeature",
        // HasPictures on A's feature: the class, its fields, the shape (1), SITE (2), PHOTO (3)
        L"IObject.Class", L"IClass.Fields", L"IFields.FieldCount", L"IFields.Field", L"IField.Type",
        L"IFields.Field", L"IField.Type", L"IFields.Field", L"IField.Type", L"IRowBuffer.Value", L"IRowBuffer.Value", L"IRowBuffer.Value",
        L"IRowBuffer.Value", L"IFields.Field", L"IField.AliasName", L"IRowBuffer.Value",
        // SetBasePath
        L"IDataLayer.DataSourceName", L"IDatasetName.WorkspaceName", L"IWorkspaceName.PathName",
        L"IEnumLayer.Next",
        // layer B is not selectable
        L"IFeatureLayer.Selectable", L"IEnumLayer.Next",
        // layer C: searched, nothing under the click
        L"IFeatureLayer.Selectable", L"IFeatureLayer.FeatureClass", L"IFeatureClass.ShapeFieldName",
        L"IMap.SpatialReference", L"IQueryFilter.OutputSpatialReference", L"IFeatureLayer.FeatureClass",
        L"IFeatureClass.ShapeFieldName", L"ISpatialFilter.GeometryField", L"IFeatureLayer.FeatureClass",
        L"IFeatureClass.Search", L"IFeatureCursor.NextFeature", L"IEnumLayer.Next"};
    EXPECT_EQ(standin::Probe::Log(), expected);
}

TEST_F(FeatureSearch, AFailingHostCallEndsTheSearchWithItsCodeAndKeepsWhatWasDone) {
    auto a = PhotoClass(L"A", L"D:\\a");
    a.AddFeature(Shape::Point(50, 50), {1, L"a.jpg"});
    host->AddFeatureLayer(L"A", a);
    host->AddFeatureLayer(L"B", a);
    ComPtr<IPoint> point = MapPointAt(50, 50);
    standin::Probe::Reset();
    standin::Probe::FailCall(L"IFeatureClass.Search", 2, static_cast<HRESULT>(0x80040351), L"The table is locked");
    try {
        FindFeature(state, 1, point, host->FocusMap());
        FAIL() << "no error raised";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), static_cast<long>(0x80040351));
        EXPECT_EQ(error.Description(), L"The table is locked");
    }
    EXPECT_EQ(state.PictureCount, 1);
    EXPECT_EQ(state.BasePath, L"D:\\a\\");
}

using FindLayerTest = SearchTest;

ComPtr<IFeature> FirstFeatureOf(const standin::FeatureClass& featureClass) {
    ComPtr<IFeatureCursor> cursor;
    featureClass.Get()->Search(nullptr, VARIANT_FALSE, cursor.GetAddressOf());
    ComPtr<IFeature> feature;
    cursor->NextFeature(feature.GetAddressOf());
    return feature;
}

Bstr NameOf(const ComPtr<ILayer>& layer) {
    Bstr name;
    if (layer) layer->get_Name(name.out());
    return name;
}

TEST_F(FindLayerTest, TheLastTopLevelLayerShowingTheClassWins) {
    auto sites = PhotoClass(L"Sites");
    sites.AddFeature(Shape::Point(1, 1), {1, L"a.jpg"});
    auto roads = PhotoClass(L"Roads");
    host->AddFeatureLayer(L"Sites", sites);
    host->AddFeatureLayer(L"Roads", roads);
    host->AddFeatureLayer(L"Sites again", sites);
    EXPECT_EQ(NameOf(FindLayer(FirstFeatureOf(sites), host->FocusMap())).str(), L"Sites again");
}

TEST_F(FindLayerTest, LayersOfOtherKindsArePassedOverInsteadOfFailing) {
    auto sites = PhotoClass(L"Sites");
    sites.AddFeature(Shape::Point(1, 1), {1, L"a.jpg"});
    auto roads = PhotoClass(L"Roads");
    host->AddGroupLayer(L"Group").AddFeatureLayer(L"Sites inside", sites);
    host->AddOtherLayer(L"Orthophoto");
    host->AddFeatureLayer(L"Sites", sites);
    host->AddFeatureLayer(L"Roads", roads);
    EXPECT_EQ(NameOf(FindLayer(FirstFeatureOf(sites), host->FocusMap())).str(), L"Sites");

    auto unused = PhotoClass(L"Unused");
    unused.AddFeature(Shape::Point(1, 1), {1, L"u.jpg"});
    EXPECT_FALSE(FindLayer(FirstFeatureOf(unused), host->FocusMap()));
}

} // namespace
} // namespace snapvane::test
