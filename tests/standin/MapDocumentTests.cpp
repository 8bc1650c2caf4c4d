// Map documents and their GeoJSON feature files loaded from disk.
#include "StandInTestSupport.h"

#include "standin/MapDocument.h"
#include "standin/Probe.h"

#include <cstdio>

using namespace snapvane::standin;
using namespace standin_test;

namespace {

// A fresh folder under the temporary folder, removed with its files.
class Folder {
public:
    Folder() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + L"standin-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial_);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~Folder() {
        for (const auto& file : files_) DeleteFileW(file.c_str());
        RemoveDirectoryW(path_.c_str());
    }
    std::wstring Write(const std::wstring& name, const std::string& text) {
        const std::wstring file = path_ + L"\\" + name;
        FILE* out = _wfopen(file.c_str(), L"wb");
        fwrite(text.data(), 1, text.size(), out);
        fclose(out);
        files_.push_back(file);
        return file;
    }
    const std::wstring& Path() const { return path_; }

private:
    static inline int serial_ = 0;
    std::wstring path_;
    std::vector<std::wstring> files_;
};

const char kSites[] = R"({"type": "FeatureCollection",
  "fields": [{"name": "PHOTO", "alias": "Photo", "type": "text"},
             {"name": "ALT", "alias": "Altitude", "type": "double"},
             {"name": "TAKEN", "type": "date"}],
  "features": [
    {"type": "Feature", "geometry": {"type": "Point", "coordinates": [100, 100]},
     "properties": {"PHOTO": "site1.jpg", "ALT": 12.5, "TAKEN": "2024-05-17"}},
    {"type": "Feature", "geometry": {"type": "LineString", "coordinates": [[0, 50], [200, 50]]},
     "properties": {"PHOTO": null}},
    {"type": "Feature", "geometry": {"type": "Polygon", "coordinates": [[[300, 300], [400, 300], [400, 400], [300, 300]]]},
     "properties": {"PHOTO": "area.gif"}}]})";

const char kInferred[] = R"({"type": "FeatureCollection", "features": [
    {"type": "Feature", "geometry": {"type": "Point", "coordinates": [1, 1]},
     "properties": {"Name": "a", "Count": 3, "Height": 2}},
    {"type": "Feature", "geometry": {"type": "Point", "coordinates": [2, 2]},
     "properties": {"Name": null, "Count": 4, "Height": 2.5}}]})";

const char kDocument[] = R"({
  "searchTolerance": 2.5,
  "view": {"width": 800, "height": 600, "extent": {"xmin": 0, "ymin": 0, "xmax": 800, "ymax": 600}},
  "layers": [
    {"type": "feature", "name": "Sites", "source": "sites.geojson"},
    {"type": "group", "name": "Group", "layers": [
      {"type": "feature", "name": "Inner", "source": "inferred.geojson", "selectable": false}]},
    {"type": "other", "name": "Scan"},
    {"type": "feature", "name": "Sites again", "sameClassAs": 0, "visible": false, "workspace": "D:\\photos"}
  ]})";

ComPtr<IFeatureLayer> TopLevel(StandInHost& host, long index) {
    ComPtr<ILayer> layer;
    EXPECT_EQ(host.FocusMap()->get_Layer(index, layer.GetAddressOf()), S_OK);
    ComPtr<IFeatureLayer> featureLayer;
    layer.As(&featureLayer);
    return featureLayer;
}

std::wstring Workspace(const ComPtr<IFeatureLayer>& layer) {
    ComPtr<IDataLayer> data;
    layer.As(&data);
    ComPtr<IName> name;
    data->get_DataSourceName(name.GetAddressOf());
    ComPtr<IDatasetName> dataset;
    name.As(&dataset);
    ComPtr<IWorkspaceName> workspace;
    dataset->get_WorkspaceName(workspace.GetAddressOf());
    Bstr path;
    workspace->get_PathName(path.out());
    return path.str();
}

std::vector<std::pair<std::wstring, long>> FieldsOf(IFeatureClass* featureClass) {
    ComPtr<IFields> fields;
    featureClass->get_Fields(fields.GetAddressOf());
    long count = 0;
    fields->get_FieldCount(&count);
    std::vector<std::pair<std::wstring, long>> out;
    for (long i = 0; i < count; ++i) {
        ComPtr<IField> field;
        fields->get_Field(i, field.GetAddressOf());
        Bstr alias;
        long type = 0;
        field->get_AliasName(alias.out());
        field->get_Type(&type);
        out.emplace_back(alias.str(), type);
    }
    return out;
}

} // namespace

TEST(MapDocument, LoadsToleranceViewLayersAndFeatures) {
    Folder folder;
    folder.Write(L"sites.geojson", kSites);
    folder.Write(L"inferred.geojson", kInferred);
    auto host = LoadMapDocument(folder.Write(L"town.json", kDocument));

    EXPECT_EQ(host->SearchTolerance(), 2.5);
    ComPtr<IEnumLayer> all;
    ASSERT_EQ(host->FocusMap()->get_Layers(nullptr, VARIANT_TRUE, all.GetAddressOf()), S_OK);
    EXPECT_EQ(Names(all.Get()), (std::vector<std::wstring>{L"Sites", L"Group", L"Inner", L"Scan", L"Sites again"}));

    auto sites = TopLevel(*host, 0);
    auto again = TopLevel(*host, 3);
    ASSERT_TRUE(sites && again);
    EXPECT_EQ(Workspace(sites), folder.Path());
    EXPECT_EQ(Workspace(again), L"D:\\photos");
    VARIANT_BOOL visible = VARIANT_TRUE, selectable = VARIANT_FALSE;
    again->get_Visible(&visible);
    again->get_Selectable(&selectable);
    EXPECT_EQ(visible, VARIANT_FALSE);
    EXPECT_EQ(selectable, VARIANT_TRUE);

    ComPtr<IFeatureClass> sitesClass, againClass;
    sites->get_FeatureClass(sitesClass.GetAddressOf());
    again->get_FeatureClass(againClass.GetAddressOf());
    long id1 = 0, id2 = 0;
    sitesClass->get_ObjectClassID(&id1);
    againClass->get_ObjectClassID(&id2);
    EXPECT_EQ(id1, id2);
    EXPECT_EQ(FieldsOf(sitesClass.Get()), (std::vector<std::pair<std::wstring, long>>{
                                              {L"OBJECTID", 6}, {L"Shape", 7}, {L"Photo", 4}, {L"Altitude", 3}, {L"TAKEN", 5}}));

    ComPtr<IFeatureCursor> cursor;
    ASSERT_EQ(sitesClass->Search(nullptr, VARIANT_FALSE, cursor.GetAddressOf()), S_OK);
    ComPtr<IFeature> first;
    cursor->NextFeature(first.GetAddressOf());
    snapvane::Variant photo, taken;
    first->get_Value(2, photo.out());
    first->get_Value(4, taken.out());
    EXPECT_EQ(std::wstring(V_BSTR(&photo.get())), L"site1.jpg");
    ASSERT_EQ(taken.type(), VT_DATE);
    SYSTEMTIME date{};
    VariantTimeToSystemTime(V_DATE(&taken.get()), &date);
    EXPECT_EQ(date.wYear * 10000 + date.wMonth * 100 + date.wDay, 20240517);
}

TEST(MapDocument, InfersFieldTypesFromThePropertiesInFirstAppearanceOrder) {
    Folder folder;
    folder.Write(L"inferred.geojson", kInferred);
    auto host = LoadMapDocument(folder.Write(L"map.json", R"({"searchTolerance": 0,
        "view": {"width": 10, "height": 10, "extent": {"xmin": 0, "ymin": 0, "xmax": 10, "ymax": 10}},
        "layers": [{"name": "Points", "source": "inferred.geojson"}]})"));
    ComPtr<IFeatureClass> featureClass;
    TopLevel(*host, 0)->get_FeatureClass(featureClass.GetAddressOf());
    EXPECT_EQ(FieldsOf(featureClass.Get()), (std::vector<std::pair<std::wstring, long>>{
                                                 {L"OBJECTID", 6}, {L"Shape", 7}, {L"Name", 4}, {L"Count", 1}, {L"Height", 3}}));
}

TEST(MapDocument, BadDocumentsGiveOneMessageNamingTheFileAndTheProblem) {
    Folder folder;
    const std::string view = R"("searchTolerance": 1, "view": {"width": 10, "height": 10,
        "extent": {"xmin": 0, "ymin": 0, "xmax": 10, "ymax": 10}})";
    const std::wstring circle = folder.Write(L"circle.geojson", R"({"type": "FeatureCollection", "features": [
        {"type": "Feature", "geometry": {"type": "Circle", "coordinates": [1, 1]}, "properties": {}}]})");
    struct Case {
        std::wstring document;    // written to the folder unless it is "missing.json"
        std::string text;
        std::wstring namedFile;   // the file the message must name
        std::wstring problem;     // and a part of its text
    };
    const std::vector<Case> cases = {
        {L"missing.json", "", L"missing.json", L"cannot be read"},
        {L"broken.json", "{\"searchTolerance\": 1,", L"broken.json", L"not valid JSON"},
        {L"nolayers.json", "{" + view + "}", L"nolayers.json", L"has no \"layers\""},
        {L"geometry.json", "{" + view + R"(, "layers": [{"name": "C", "source": "circle.geojson"}]})", circle,
         L"unknown geometry type \"Circle\""},
        {L"nosource.json", "{" + view + R"(, "layers": [{"name": "S", "source": "absent.geojson"}]})",
         L"nosource.json", L"absent.geojson does not exist"},
        {L"same.json", "{" + view + R"(, "layers": [{"name": "S", "sameClassAs": 0}]})", L"same.json",
         L"is not the index of an earlier top-level feature layer"},
        {L"kind.json", "{" + view + R"(, "layers": [{"name": "R", "type": "raster"}]})", L"kind.json",
         L"unknown type \"raster\""},
    };
    const long before = Probe::LiveObjects();
    for (const Case& c : cases) {
        const std::wstring path = c.document == L"missing.json" ? folder.Path() + L"\\missing.json"
                                                                 : folder.Write(c.document, c.text);
        try {
            LoadMapDocument(path);
            ADD_FAILURE() << "loaded " << std::string(c.document.begin(), c.document.end());
        } catch (const MapDocumentError& error) {
            const std::wstring& message = error.Message();
            const std::string shown(error.what());
            EXPECT_NE(message.find(c.namedFile), std::wstring::npos) << shown;
            EXPECT_NE(message.find(c.problem), std::wstring::npos) << shown;
        }
    }
    EXPECT_EQ(Probe::LiveObjects(), before);  // nothing of a half-loaded document is left
}

TEST(MapDocument, ATypedValueArrivesAsItsOwnTypeWhileTheFieldKeepsItsDeclaredType) {
    Folder folder;
    folder.Write(L"loose.geojson", R"({"type": "FeatureCollection",
      "fields": [{"name": "CODE", "type": "integer"}, {"name": "NOTE", "type": "text"}],
      "features": [{"type": "Feature", "geometry": {"type": "Point", "coordinates": [1, 1]},
        "properties": {"CODE": {"valueType": "text", "value": "n/a"},
                       "NOTE": {"valueType": "integer", "value": 12}}},
        {"type": "Feature", "geometry": {"type": "Point", "coordinates": [2, 2]},
        "properties": {"CODE": {"valueType": "double", "value": 1.5},
                       "NOTE": {"valueType": "date", "value": "2024-05-17"}}}]})");
    // Typed values say nothing about an inferred column's type.
    folder.Write(L"inferred.geojson", R"({"type": "FeatureCollection", "features": [
        {"type": "Feature", "geometry": null, "properties": {"N": 3}},
        {"type": "Feature", "geometry": null, "properties": {"N": {"valueType": "text", "value": "x"}}}]})");
    auto host = LoadMapDocument(folder.Write(L"map.json", R"({"searchTolerance": 0,
        "view": {"width": 10, "height": 10, "extent": {"xmin": 0, "ymin": 0, "xmax": 10, "ymax": 10}},
        "layers": [{"name": "Loose", "source": "loose.geojson"}, {"name": "Inferred", "source": "inferred.geojson"}]})"));
    ComPtr<IFeatureClass> loose, inferred;
    TopLevel(*host, 0)->get_FeatureClass(loose.GetAddressOf());
    TopLevel(*host, 1)->get_FeatureClass(inferred.GetAddressOf());
    EXPECT_EQ(FieldsOf(loose.Get())[2], (std::pair<std::wstring, long>{L"CODE", 1}));
    EXPECT_EQ(FieldsOf(loose.Get())[3], (std::pair<std::wstring, long>{L"NOTE", 4}));
    EXPECT_EQ(FieldsOf(inferred.Get())[2], (std::pair<std::wstring, long>{L"N", 1}));

    ComPtr<IFeatureCursor> cursor;
    ASSERT_EQ(loose->Search(nullptr, VARIANT_FALSE, cursor.GetAddressOf()), S_OK);
    ComPtr<IFeature> first, second;
    cursor->NextFeature(first.GetAddressOf());
    cursor->NextFeature(second.GetAddressOf());
    snapvane::Variant code, note, real, date;
    first->get_Value(2, code.out());
    first->get_Value(3, note.out());
    second->get_Value(2, real.out());
    second->get_Value(3, date.out());
    ASSERT_EQ(code.type(), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&code.get())), L"n/a");
    ASSERT_EQ(note.type(), VT_I4);
    EXPECT_EQ(V_I4(&note.get()), 12);
    ASSERT_EQ(real.type(), VT_R8);
    EXPECT_EQ(V_R8(&real.get()), 1.5);
    EXPECT_EQ(date.type(), VT_DATE);
}

TEST(MapDocument, ALayerCanShowFeaturesWhoseClassIsNoFeatureClass) {
    Folder folder;
    folder.Write(L"sites.geojson", kSites);
    auto host = LoadMapDocument(folder.Write(L"map.json", R"({"searchTolerance": 0,
        "view": {"width": 10, "height": 10, "extent": {"xmin": 0, "ymin": 0, "xmax": 10, "ymax": 10}},
        "layers": [{"name": "Rows", "source": "sites.geojson", "objectClassOnly": true},
                   {"name": "Same rows", "sameClassAs": 0}]})"));
    for (long index : {0L, 1L}) {
        ComPtr<IFeatureClass> featureClass;
        ASSERT_EQ(TopLevel(*host, index)->get_FeatureClass(featureClass.GetAddressOf()), S_OK);
        ComPtr<IFeatureCursor> cursor;
        ASSERT_EQ(featureClass->Search(nullptr, VARIANT_FALSE, cursor.GetAddressOf()), S_OK);
        ComPtr<IFeature> feature;
        ASSERT_EQ(cursor->NextFeature(feature.GetAddressOf()), S_OK);
        ComPtr<IObjectClass> objectClass;
        ASSERT_EQ(feature->get_Class(objectClass.GetAddressOf()), S_OK);
        ComPtr<IFeatureClass> asFeatureClass;
        EXPECT_EQ(objectClass.As(&asFeatureClass), E_NOINTERFACE);
        long id = 0, layerClassId = 0;
        objectClass->get_ObjectClassID(&id);
        featureClass->get_ObjectClassID(&layerClassId);
        EXPECT_EQ(id, layerClassId);
        ComPtr<IFields> fields;
        EXPECT_EQ(objectClass->get_Fields(fields.GetAddressOf()), S_OK);
    }
}

TEST(MapDocument, BadTypedValuesAndClassKindsGiveTheOneMessage) {
    Folder folder;
    const std::string view = R"("searchTolerance": 1, "view": {"width": 10, "height": 10,
        "extent": {"xmin": 0, "ymin": 0, "xmax": 10, "ymax": 10}})";
    auto feature = [](const std::string& value) {
        return R"({"type": "FeatureCollection", "fields": [{"name": "V", "type": "text"}], "features": [
            {"type": "Feature", "geometry": null, "properties": {"V": )" + value + "}}]}";
    };
    const std::pair<std::string, std::wstring> values[] = {
        {R"({"valueType": "money", "value": 1})", L"is a typed value, written as"},
        {R"({"valueType": "text"})", L"is a typed value, written as"},
        {R"({"valueType": "text", "value": "a", "extra": 1})", L"is a typed value, written as"},
        {R"({"valueType": "integer", "value": 1.5})", L"must be a whole number that fits 32 bits"},
        {R"({"valueType": "integer", "value": 4294967296})", L"must be a whole number that fits 32 bits"},
        {R"({"valueType": "text", "value": 3})", L"must be a JSON text"},
        {R"({"valueType": "date", "value": "May 17"})", L"must be written as YYYY-MM-DD"},
    };
    int n = 0;
    for (const auto& [value, problem] : values) {
        const std::wstring source = L"v" + std::to_wstring(++n) + L".geojson";
        const std::wstring data = folder.Write(source, feature(value));
        const std::string layers = R"(, "layers": [{"name": "V", "source": ")" +
                                   std::string(source.begin(), source.end()) + R"("}]})";
        try {
            LoadMapDocument(folder.Write(L"map" + std::to_wstring(n) + L".json", "{" + view + layers));
            ADD_FAILURE() << value;
        } catch (const MapDocumentError& error) {
            EXPECT_NE(error.Message().find(data + L": feature 1: the value of \"V\""), std::wstring::npos) << error.what();
            EXPECT_NE(error.Message().find(problem), std::wstring::npos) << error.what();
        }
    }
    folder.Write(L"sites.geojson", kSites);
    const std::pair<std::string, std::wstring> layers[] = {
        {R"([{"name": "S", "source": "sites.geojson", "objectClassOnly": "yes"}])", L"must be true or false"},
        {R"([{"name": "S", "source": "sites.geojson"}, {"name": "T", "sameClassAs": 0, "objectClassOnly": true}])",
         L"belongs to the layer with the class's source"},
    };
    for (const auto& [list, problem] : layers) {
        const std::wstring path = folder.Write(L"layers" + std::to_wstring(++n) + L".json", "{" + view + ", \"layers\": " + list + "}");
        try {
            LoadMapDocument(path);
            ADD_FAILURE() << list;
        } catch (const MapDocumentError& error) {
            EXPECT_NE(error.Message().find(path), std::wstring::npos) << error.what();
            EXPECT_NE(error.Message().find(problem), std::wstring::npos) << error.what();
        }
    }
}
