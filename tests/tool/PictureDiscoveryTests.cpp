// Which attributes name pictures, the entries they give, the bounds of the
// picture list, and the base path.
#include "SearchFixture.h"

#include "errors/RuntimeError.h"
#include "tool/PictureDiscovery.h"

namespace snapvane::test {
namespace {

using PictureDiscovery = SearchTest;

// The one feature of a point layer at (50, 50) with the given attributes.
ComPtr<IFeature> FeatureWith(standin::StandInHost& host, std::vector<FieldDefinition> fields, std::vector<Value> values) {
    auto sites = host.NewFeatureClass(L"Sites", std::move(fields), L"D:\\data");
    sites.AddFeature(Shape::Point(50, 50), std::move(values));
    host.AddFeatureLayer(L"Sites", sites);
    ComPtr<IFeatureCursor> cursor;
    sites.Get()->Search(nullptr, VARIANT_FALSE, cursor.GetAddressOf());
    ComPtr<IFeature> feature;
    cursor->NextFeature(feature.GetAddressOf());
    return feature;
}

TEST_F(PictureDiscovery, MarkersAreFoundAnywhereInTheLowerCasedTextAndTheEntryKeepsTheValue) {
    auto feature = FeatureWith(*host,
                               {{L"A", L"Photo", FieldType::Text},
                                {L"B", L"Scan", FieldType::Text},
                                {L"C", L"Old", FieldType::Text},
                                {L"D", L"Plan", FieldType::Text},
                                {L"E", L"Sketch", FieldType::Text}},
                               {L"IMG_01.JPG", L"scan.jpeg", L"site.gif.old", L"plan.BMP and more", L"x.wmf"});
    EXPECT_TRUE(HasPictures(state, feature));
    ASSERT_EQ(state.PictureCount, 4);
    EXPECT_EQ(state.PictureList[0], L"Photo: IMG_01.JPG");
    EXPECT_EQ(state.PictureList[1], L"Old: site.gif.old");
    EXPECT_EQ(state.PictureList[2], L"Plan: plan.BMP and more");
    EXPECT_EQ(state.PictureList[3], L"Sketch: x.wmf");
}

TEST_F(PictureDiscovery, NamesBeyondAsciiAreLowerCasedByTheSystemAndFound) {
    auto feature = FeatureWith(*host, {{L"A", L"Photo", FieldType::Text}, {L"B", L"Plan", FieldType::Text}},
                               {L"\x00DCBERSICHT.JPG", L"\x6E2F\x53E3.GiF"});
    EXPECT_TRUE(HasPictures(state, feature));
    ASSERT_EQ(state.PictureCount, 2);
    EXPECT_EQ(state.PictureList[0], L"Photo: \x00DCBERSICHT.JPG");
    EXPECT_EQ(state.PictureList[1], L"Plan: \x6E2F\x53E3.GiF");
}

TEST_F(PictureDiscovery, NullEmptyAndNonTextValuesNeverNamePictures) {
    auto feature = FeatureWith(*host,
                               {{L"A", L"Photo", FieldType::Text},
                                {L"B", L"Empty", FieldType::Text},
                                {L"C", L"Count", FieldType::Integer},
                                {L"D", L"When", FieldType::Date}},
                               {Value::Null(), L"", 7, Value::Date(40000)});
    EXPECT_FALSE(HasPictures(state, feature));
    EXPECT_EQ(state.PictureCount, 0);
}

TEST_F(PictureDiscovery, OnlyTextFieldsAreExaminedEvenWhenANumberFieldCouldBeReadAsText) {
    auto feature = FeatureWith(*host, {{L"A", L"Ratio", FieldType::Double}, {L"B", L"Photo", FieldType::Text}},
                               {1.5, L"a.gif"});
    EXPECT_TRUE(HasPictures(state, feature));
    EXPECT_EQ(state.PictureCount, 1);
    EXPECT_EQ(standin::Probe::Calls(L"IField.Type"), 3);  // the shape, Ratio and Photo; never field 0
}

TEST_F(PictureDiscovery, EntriesAreAppendedAfterTheCountAndOlderTextBeyondItStays) {
    auto feature = FeatureWith(*host, {{L"A", L"Photo", FieldType::Text}, {L"B", L"Plan", FieldType::Text}},
                               {L"a.jpg", L"b.bmp"});
    state.PictureList[3] = L"left over";
    state.PictureCount = 1;
    EXPECT_TRUE(HasPictures(state, feature));
    EXPECT_EQ(state.PictureCount, 3);
    EXPECT_EQ(state.PictureList[1], L"Photo: a.jpg");
    EXPECT_EQ(state.PictureList[2], L"Plan: b.bmp");
    EXPECT_EQ(state.PictureList[3], L"left over");
}

TEST_F(PictureDiscovery, AFullListRaisesSubscriptOutOfRangeAndStoresNothingMore) {
    auto feature = FeatureWith(*host, {{L"A", L"Photo", FieldType::Text}, {L"B", L"Plan", FieldType::Text}},
                               {L"a.jpg", L"b.bmp"});
    state.PictureCount = 1000;
    try {
        HasPictures(state, feature);
        FAIL() << "no error raised";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), 9);
        EXPECT_EQ(error.Description(), L"Subscript out of range");
    }
    EXPECT_EQ(state.PictureCount, 1001);
    EXPECT_EQ(state.PictureList[1000], L"Photo: a.jpg");
}

TEST_F(PictureDiscovery, AFieldCountBeyondSixteenBitsRaisesOverflow) {
    std::vector<FieldDefinition> fields(32767, FieldDefinition{L"F", L"F", FieldType::Integer});
    auto feature = FeatureWith(*host, fields, {});
    try {
        HasPictures(state, feature);
        FAIL() << "no error raised";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), 6);
    }
}

TEST_F(PictureDiscovery, BasePathIsTheWorkspaceFolderWithOneBackslashAppended) {
    struct Case {
        const wchar_t* workspace;
        const wchar_t* basePath;
    } cases[] = {{L"D:\\data", L"D:\\data\\"}, {L"D:\\data\\", L"D:\\data\\\\"}};
    for (const Case& c : cases) {
        auto sites = PhotoClass(L"Sites");
        auto layer = host->AddFeatureLayer(L"Sites", sites).Workspace(c.workspace);
        SetBasePath(state, layer.Get());
        EXPECT_EQ(state.BasePath, c.basePath);
    }
}

TEST_F(PictureDiscovery, ALayerWithoutDataRaisesTypeMismatch) {
    ComPtr<ILayer> image = host->AddOtherLayer(L"Orthophoto");
    try {
        SetBasePath(state, image);
        FAIL() << "no error raised";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), 13);
    }
}

} // namespace
} // namespace snapvane::test
