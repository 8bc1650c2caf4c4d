// The stand-in host objects as the tool sees them through the host contract.
#include "StandInTestSupport.h"

#include "standin/ClassRegistration.h"
#include "standin/Probe.h"

#include <chrono>
#include <optional>

using namespace snapvane::standin;
using namespace standin_test;

extern "C" HRESULT CreateFromOtherModule(REFCLSID clsid, REFIID iid, void** object);

namespace {

class HostObjects : public testing::Test {
protected:
    void SetUp() override { Probe::Reset(); }

    template <class I>
    ComPtr<I> Create(REFCLSID clsid) {
        ComPtr<I> object;
        EXPECT_EQ(CreateFromOtherModule(clsid, __uuidof(I), reinterpret_cast<void**>(object.GetAddressOf())), S_OK);
        return object;
    }

    ComPtr<IUID> FeatureLayerUid() {
        auto uid = Create<IUID>(CLSID_UID);
        VARIANT value;
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = SysAllocString(kFeatureLayerUid);
        EXPECT_EQ(uid->put_Value(value), S_OK);
        VariantClear(&value);
        return uid;
    }

    // A map point as the display hands it out, for a view that maps pixels
    // one to one onto map units.
    ComPtr<IPoint> MapPointAt(double x, double y) {
        host.SetView(1000, 1000, {0, 0, 1000, 1000});
        ComPtr<IActiveView> view;
        host.FocusMap().As(&view);
        ComPtr<IScreenDisplay> display;
        view->get_ScreenDisplay(display.GetAddressOf());
        ComPtr<IDisplayTransformation> transformation;
        display->get_DisplayTransformation(transformation.GetAddressOf());
        ComPtr<IPoint> point;
        transformation->ToMapPoint(static_cast<long>(x), static_cast<long>(1000 - y), point.GetAddressOf());
        return point;
    }

    // A filter for the square of half-size r around (x, y), made the way the
    // tool makes it.
    ComPtr<IQueryFilter> SquareFilter(double x, double y, double r) {
        ComPtr<IEnvelope> box;
        EXPECT_EQ(MapPointAt(x, y)->get_Envelope(box.GetAddressOf()), S_OK);
        EXPECT_EQ(box->Expand(r, r, VARIANT_FALSE), S_OK);
        ComPtr<IGeometry> geometry;
        box.As(&geometry);
        auto filter = Create<ISpatialFilter>(CLSID_SpatialFilter);
        EXPECT_EQ(filter->putref_Geometry(geometry.Get()), S_OK);
        EXPECT_EQ(filter->put_SpatialRel(HOST_SPATIAL_REL_INTERSECTS), S_OK);
        ComPtr<IQueryFilter> query;
        filter.As(&query);
        return query;
    }

    // The object ids a class yields for the square around (x, y).
    std::vector<long> Search(const FeatureClass& featureClass, double x, double y, double r) {
        ComPtr<IFeatureCursor> cursor;
        EXPECT_EQ(featureClass.Get()->Search(SquareFilter(x, y, r).Get(), VARIANT_FALSE, cursor.GetAddressOf()), S_OK);
        std::vector<long> ids;
        for (;;) {
            ComPtr<IFeature> feature;
            EXPECT_EQ(cursor->NextFeature(feature.GetAddressOf()), S_OK);
            if (!feature) return ids;
            snapvane::Variant id;
            feature->get_Value(0, id.out());
            ids.push_back(V_I4(&id.get()));
        }
    }

    std::optional<ClassRegistration> registration{std::in_place};
    StandInHost host;
};

} // namespace

TEST_F(HostObjects, LayersWithTheFeatureLayerUidYieldFeatureLayersTopLevelOrAll) {
    auto sites = host.NewFeatureClass(L"Sites", {});
    host.AddFeatureLayer(L"A", sites);
    LayerList group = host.AddGroupLayer(L"G");
    group.AddFeatureLayer(L"B", sites);
    group.AddOtherLayer(L"Image in group");
    group.AddGroupLayer(L"H").AddFeatureLayer(L"C", sites);
    host.AddOtherLayer(L"Image");
    host.AddFeatureLayer(L"D", sites);

    auto map = host.FocusMap();
    auto uid = FeatureLayerUid();
    ComPtr<IEnumLayer> topLevel, all, everyKind;
    ASSERT_EQ(map->get_Layers(uid.Get(), VARIANT_FALSE, topLevel.GetAddressOf()), S_OK);
    EXPECT_EQ(Names(topLevel.Get()), (std::vector<std::wstring>{L"A", L"D"}));
    ASSERT_EQ(map->get_Layers(uid.Get(), VARIANT_TRUE, all.GetAddressOf()), S_OK);
    EXPECT_EQ(Names(all.Get()), (std::vector<std::wstring>{L"A", L"B", L"C", L"D"}));
    ASSERT_EQ(map->get_Layers(nullptr, VARIANT_FALSE, everyKind.GetAddressOf()), S_OK);
    EXPECT_EQ(Names(everyKind.Get()), (std::vector<std::wstring>{L"A", L"G", L"Image", L"D"}));

    long count = 0;
    ASSERT_EQ(map->get_LayerCount(&count), S_OK);
    EXPECT_EQ(count, 4);
    ComPtr<ILayer> image;
    ASSERT_EQ(map->get_Layer(2, image.GetAddressOf()), S_OK);
    ComPtr<IFeatureLayer> notFeature;
    ComPtr<IDataLayer> notData;
    EXPECT_EQ(image.As(&notFeature), E_NOINTERFACE);
    EXPECT_EQ(image.As(&notData), E_NOINTERFACE);
    ComPtr<ILayer> beyond;
    EXPECT_EQ(map->get_Layer(4, beyond.GetAddressOf()), E_INVALIDARG);
    EXPECT_EQ(ErrorDescription(), L"There is no layer at index 4.");
}

TEST_F(HostObjects, UidRefusesAValueThatIsNotABracedIdentifier) {
    auto uid = Create<IUID>(CLSID_UID);
    VARIANT value;
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(L"HostGis.FeatureLayer");
    EXPECT_EQ(uid->put_Value(value), E_INVALIDARG);
    VariantClear(&value);
}

TEST_F(HostObjects, DisplayTransformationMapsTheTopLeftPixelToTheExtentsUpperLeftCorner) {
    host.SetView(800, 600, {100, 200, 500, 500});
    ComPtr<IActiveView> view;
    ASSERT_EQ(host.FocusMap().As(&view), S_OK);
    ComPtr<IScreenDisplay> display;
    ASSERT_EQ(view->get_ScreenDisplay(display.GetAddressOf()), S_OK);
    ComPtr<IDisplayTransformation> transformation;
    ASSERT_EQ(display->get_DisplayTransformation(transformation.GetAddressOf()), S_OK);
    auto at = [&](long x, long y) {
        ComPtr<IPoint> point;
        EXPECT_EQ(transformation->ToMapPoint(x, y, point.GetAddressOf()), S_OK);
        MapPoint p;
        point->get_X(&p.x);
        point->get_Y(&p.y);
        return std::make_pair(p.x, p.y);
    };
    EXPECT_EQ(at(0, 0), std::make_pair(100.0, 500.0));
    EXPECT_EQ(at(800, 600), std::make_pair(500.0, 200.0));
    EXPECT_EQ(at(400, 150), std::make_pair(300.0, 425.0));

    ComPtr<IPoint> point;
    transformation->ToMapPoint(123, 456, point.GetAddressOf());
    long x = 0, y = 0;
    ASSERT_EQ(transformation->FromMapPoint(point.Get(), &x, &y), S_OK);
    EXPECT_EQ(x, 123);
    EXPECT_EQ(y, 456);
}

TEST_F(HostObjects, SearchYieldsTheFeaturesMeetingTheSquareInStoredOrder) {
    auto sites = host.NewFeatureClass(L"Sites", {});
    sites.AddFeature(Shape::Point(500, 500));                                   // 1: centre
    sites.AddFeature(Shape::Point(510, 500));                                   // 2: 10 away
    sites.AddFeature(Shape::Line({{400, 505}, {600, 505}}));                    // 3: crosses
    sites.AddFeature(Shape::Polygon({{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}}));  // 4: holds the square
    sites.AddFeature(Shape::Point(500, 520));                                   // 5: outside
    EXPECT_EQ(Search(sites, 500, 500, 10), (std::vector<long>{1, 2, 3, 4}));
    EXPECT_EQ(Search(sites, 500, 500, 0), (std::vector<long>{1, 4}));
    EXPECT_EQ(Search(sites, 800, 800, 5), (std::vector<long>{4}));
}

TEST_F(HostObjects, FeatureGivesIdShapeAndAttributesWithItsClassFields) {
    auto sites = host.NewFeatureClass(L"Sites", {{L"PHOTO", L"Photo", FieldType::Text},
                                                 {L"ALT", L"Altitude", FieldType::Double},
                                                 {L"TAKEN", L"", FieldType::Date}});
    sites.AddFeature(Shape::Point(1, 1), {L"Site4.JPG", 12.5, Value::Date(45000)});
    sites.AddFeature(Shape::Point(1, 1), {Value::Null()});
    auto layer = host.AddFeatureLayer(L"Sites", sites);
    auto again = host.AddFeatureLayer(L"Sites again", sites);
    auto other = host.NewFeatureClass(L"Other", {});

    ComPtr<IFeatureCursor> cursor;
    ASSERT_EQ(sites.Get()->Search(nullptr, VARIANT_FALSE, cursor.GetAddressOf()), S_OK);
    ComPtr<IFeature> first, second;
    ASSERT_EQ(cursor->NextFeature(first.GetAddressOf()), S_OK);
    ASSERT_EQ(cursor->NextFeature(second.GetAddressOf()), S_OK);

    snapvane::Variant id, shape, photo, altitude, taken, missing;
    ASSERT_EQ(first->get_Value(0, id.out()), S_OK);
    EXPECT_EQ(id.type(), VT_I4);
    EXPECT_EQ(V_I4(&id.get()), 1);
    ASSERT_EQ(first->get_Value(1, shape.out()), S_OK);
    EXPECT_EQ(shape.type(), VT_UNKNOWN);
    ASSERT_EQ(first->get_Value(2, photo.out()), S_OK);
    EXPECT_EQ(std::wstring(V_BSTR(&photo.get())), L"Site4.JPG");
    first->get_Value(3, altitude.out());
    EXPECT_EQ(V_R8(&altitude.get()), 12.5);
    first->get_Value(4, taken.out());
    EXPECT_EQ(taken.type(), VT_DATE);
    second->get_Value(2, missing.out());
    EXPECT_EQ(missing.type(), VT_NULL);
    snapvane::Variant beyond;
    EXPECT_EQ(first->get_Value(5, beyond.out()), E_INVALIDARG);

    ComPtr<IObjectClass> itsClass;
    ASSERT_EQ(first->get_Class(itsClass.GetAddressOf()), S_OK);
    ComPtr<IFields> fields;
    ASSERT_EQ(itsClass->get_Fields(fields.GetAddressOf()), S_OK);
    long count = 0;
    fields->get_FieldCount(&count);
    ASSERT_EQ(count, 5);
    std::vector<std::pair<std::wstring, long>> seen;
    for (long i = 0; i < count; ++i) {
        ComPtr<IField> field;
        fields->get_Field(i, field.GetAddressOf());
        Bstr alias;
        long type = -1;
        field->get_AliasName(alias.out());
        field->get_Type(&type);
        seen.emplace_back(alias.str(), type);
    }
    EXPECT_EQ(seen, (std::vector<std::pair<std::wstring, long>>{
                        {L"OBJECTID", 6}, {L"Shape", 7}, {L"Photo", 4}, {L"Altitude", 3}, {L"TAKEN", 5}}));

    // One class behind two layers answers one id; another class another.
    auto classId = [](const ComPtr<ILayer>& layer) {
        ComPtr<IFeatureLayer> featureLayer;
        layer.As(&featureLayer);
        ComPtr<IFeatureClass> featureClass;
        featureLayer->get_FeatureClass(featureClass.GetAddressOf());
        long id = 0;
        featureClass->get_ObjectClassID(&id);
        return id;
    };
    long featureClassId = 0;
    itsClass->get_ObjectClassID(&featureClassId);
    EXPECT_EQ(classId(layer.Get()), featureClassId);
    EXPECT_EQ(classId(again.Get()), featureClassId);
    EXPECT_NE(other.ObjectClassId(), featureClassId);
}

TEST_F(HostObjects, DataSourceNamesTheLayersWorkspaceFolder) {
    auto sites = host.NewFeatureClass(L"Sites", {}, L"C:\\data");
    auto plain = host.AddFeatureLayer(L"Sites", sites);
    auto moved = host.AddFeatureLayer(L"Moved", sites).Workspace(L"D:\\elsewhere\\");
    auto pathOf = [](const ComPtr<ILayer>& layer) {
        ComPtr<IDataLayer> dataLayer;
        EXPECT_EQ(layer.As(&dataLayer), S_OK);
        ComPtr<IName> name;
        EXPECT_EQ(dataLayer->get_DataSourceName(name.GetAddressOf()), S_OK);
        ComPtr<IDatasetName> dataset;
        EXPECT_EQ(name.As(&dataset), S_OK);
        ComPtr<IWorkspaceName> workspace;
        EXPECT_EQ(dataset->get_WorkspaceName(workspace.GetAddressOf()), S_OK);
        Bstr path;
        workspace->get_PathName(path.out());
        return path.str();
    };
    EXPECT_EQ(pathOf(plain.Get()), L"C:\\data");
    EXPECT_EQ(pathOf(moved.Get()), L"D:\\elsewhere\\");
}

TEST_F(HostObjects, ClassObjectsServeOtherModulesOnlyWhileRegistered) {
    {
        auto filter = Create<ISpatialFilter>(CLSID_SpatialFilter);
        auto uid = Create<IUID>(CLSID_UID);
        EXPECT_TRUE(filter && uid);
        ComPtr<IQueryFilter> query;
        EXPECT_EQ(filter.As(&query), S_OK);
        EXPECT_EQ(Probe::CreatedThroughClassObjects(), 2);
    }
    registration.reset();
    ComPtr<IUnknown> none;
    EXPECT_EQ(CreateFromOtherModule(CLSID_UID, IID_IUnknown, reinterpret_cast<void**>(none.GetAddressOf())),
              REGDB_E_CLASSNOTREG);
}

TEST_F(HostObjects, TwoHundredLayersOfTenThousandFeaturesAnswerAClickQuickly) {
    constexpr int kLayers = 200, kFeatures = 10000;
    for (int l = 0; l < kLayers; ++l) {
        auto points = host.NewFeatureClass(L"Points", {});
        for (int i = 0; i < kFeatures; ++i) points.AddFeature(Shape::Point(i % 100 * 10.0, i / 100 * 10.0));
        host.AddFeatureLayer(L"Points", points);
    }
    auto uid = FeatureLayerUid();
    auto query = SquareFilter(500, 500, 3);

    auto click = [&] {
        const auto start = std::chrono::steady_clock::now();
        ComPtr<IEnumLayer> layers;
        host.FocusMap()->get_Layers(uid.Get(), VARIANT_FALSE, layers.GetAddressOf());
        int found = 0;
        for (;;) {
            ComPtr<ILayer> layer;
            layers->Next(layer.GetAddressOf());
            if (!layer) break;
            ComPtr<IFeatureLayer> featureLayer;
            layer.As(&featureLayer);
            ComPtr<IFeatureClass> featureClass;
            featureLayer->get_FeatureClass(featureClass.GetAddressOf());
            ComPtr<IFeatureCursor> cursor;
            featureClass->Search(query.Get(), VARIANT_FALSE, cursor.GetAddressOf());
            ComPtr<IFeature> feature;
            cursor->NextFeature(feature.GetAddressOf());
            found += feature ? 1 : 0;
        }
        EXPECT_EQ(found, kLayers);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    EXPECT_LT(click(), 5.0);  // builds the indexes
    // Testing every feature would take about a second for 50 clicks.
    double fifty = 0;
    for (int i = 0; i < 50; ++i) fifty += click();
    EXPECT_LT(fifty, 0.5);
}
