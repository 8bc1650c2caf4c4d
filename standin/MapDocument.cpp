// Loads a map document (JSON) and the GeoJSON files its feature layers show
// into a stand-in host. Every problem becomes one MapDocumentError that names
// the file and what is wrong with it.
#include "standin/MapDocument.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>
#include <cstdio>
#include <limits>
#include <map>

namespace snapvane::standin {

using json = nlohmann::ordered_json;

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

// A problem found in one file; LoadMapDocument prefixes the file's name.
struct Problem {
    std::wstring file;
    std::wstring text;
};

[[noreturn]] void Raise(const std::wstring& file, const std::wstring& text) { throw Problem{file, text}; }

std::wstring FullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(written);
    return full;
}

// The folder part of a full path, without the final backslash (a drive's
// root keeps it: "C:\").
std::wstring FolderOf(const std::wstring& fullPath) {
    const size_t slash = fullPath.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L"";
    if (slash == 2 && fullPath[1] == L':') return fullPath.substr(0, 3);
    return fullPath.substr(0, slash);
}

bool IsAbsolute(const std::wstring& path) {
    return (path.size() >= 2 && path[1] == L':') || (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
}

json ReadJson(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) Raise(path, L"the file cannot be read (" + Wide(std::strerror(errno)) + L")");
    std::string text;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) Raise(path, L"the file cannot be read");
    try {
        return json::parse(text);
    } catch (const json::parse_error& error) {
        std::string what = error.what();
        const size_t bracket = what.find("] ");
        if (bracket != std::string::npos) what = what.substr(bracket + 2);
        Raise(path, L"not valid JSON: " + Wide(what));
    }
}

// ---- Typed access with messages ---------------------------------------------

struct Reader {
    std::wstring file;

    const json& Member(const json& object, const char* name, const std::wstring& where) const {
        auto found = object.find(name);
        if (found == object.end()) Raise(file, where + L" has no \"" + Wide(name) + L"\"");
        return *found;
    }
    const json& Object(const json& value, const std::wstring& what) const {
        if (!value.is_object()) Raise(file, what + L" must be a JSON object");
        return value;
    }
    const json& Array(const json& value, const std::wstring& what) const {
        if (!value.is_array()) Raise(file, what + L" must be a JSON array");
        return value;
    }
    std::wstring Text(const json& value, const std::wstring& what) const {
        if (!value.is_string()) Raise(file, what + L" must be a text");
        return Wide(value.get<std::string>());
    }
    double Number(const json& value, const std::wstring& what) const {
        if (!value.is_number() || !std::isfinite(value.get<double>())) Raise(file, what + L" must be a number");
        return value.get<double>();
    }
    bool Flag(const json& object, const char* name, bool fallback, const std::wstring& where) const {
        auto found = object.find(name);
        if (found == object.end()) return fallback;
        if (!found->is_boolean()) Raise(file, where + L": \"" + Wide(name) + L"\" must be true or false");
        return found->get<bool>();
    }
};

// ---- GeoJSON ----------------------------------------------------------------------

std::vector<MapPoint> Positions(const Reader& r, const json& value, const std::wstring& where) {
    std::vector<MapPoint> points;
    for (const json& position : r.Array(value, where)) {
        if (!position.is_array() || position.size() < 2 || !position[0].is_number() || !position[1].is_number())
            Raise(r.file, where + L" holds a position that is not [x, y]");
        points.push_back({position[0].get<double>(), position[1].get<double>()});
    }
    return points;
}

MapPoint Position(const Reader& r, const json& value, const std::wstring& where) {
    if (!value.is_array() || value.size() < 2 || !value[0].is_number() || !value[1].is_number())
        Raise(r.file, where + L" has a position that is not [x, y]");
    return {value[0].get<double>(), value[1].get<double>()};
}

Shape ReadShape(const Reader& r, const json& geometry, const std::wstring& where) {
    if (geometry.is_null()) return Shape{ShapeKind::Point, {}};  // a feature without a shape
    r.Object(geometry, where + L": the geometry");
    const std::wstring type = r.Text(r.Member(geometry, "type", where + L": the geometry"), where + L": the geometry type");
    const json& c = r.Member(geometry, "coordinates", where + L": the geometry");
    const std::wstring at = where + L": the coordinates";
    Shape shape;
    if (type == L"Point") {
        shape.kind = ShapeKind::Point;
        shape.parts.push_back({Position(r, c, at)});
    } else if (type == L"MultiPoint") {
        shape.kind = ShapeKind::Point;
        shape.parts.push_back(Positions(r, c, at));
    } else if (type == L"LineString") {
        shape.kind = ShapeKind::Polyline;
        shape.parts.push_back(Positions(r, c, at));
    } else if (type == L"MultiLineString" || type == L"Polygon") {
        shape.kind = type == L"Polygon" ? ShapeKind::Polygon : ShapeKind::Polyline;
        for (const json& part : r.Array(c, at)) shape.parts.push_back(Positions(r, part, at));
    } else if (type == L"MultiPolygon") {
        shape.kind = ShapeKind::Polygon;
        for (const json& polygon : r.Array(c, at))
            for (const json& ring : r.Array(polygon, at)) shape.parts.push_back(Positions(r, ring, at));
    } else {
        Raise(r.file, where + L" has the unknown geometry type \"" + type + L"\"");
    }
    return shape;
}

FieldType FieldTypeNamed(const Reader& r, const std::wstring& name, const std::wstring& where) {
    if (name == L"text") return FieldType::Text;
    if (name == L"integer") return FieldType::Integer;
    if (name == L"double") return FieldType::Double;
    if (name == L"date") return FieldType::Date;
    Raise(r.file, where + L" has the unknown field type \"" + name + L"\" (text, integer, double or date)");
}

std::vector<FieldDefinition> DeclaredFields(const Reader& r, const json& fields) {
    std::vector<FieldDefinition> definitions;
    size_t n = 0;
    for (const json& field : r.Array(fields, L"\"fields\"")) {
        const std::wstring where = L"field " + std::to_wstring(++n);
        r.Object(field, where);
        FieldDefinition definition;
        definition.name = r.Text(r.Member(field, "name", where), where + L": the name");
        auto alias = field.find("alias");
        definition.alias = alias == field.end() ? definition.name : r.Text(*alias, where + L": the alias");
        auto type = field.find("type");
        definition.type = type == field.end() ? FieldType::Text : FieldTypeNamed(r, r.Text(*type, where + L": the type"), where);
        definitions.push_back(std::move(definition));
    }
    return definitions;
}

bool IsInteger(const json& v) {
    if (v.is_number_integer()) {
        const long long n = v.get<long long>();
        return n >= std::numeric_limits<LONG>::min() && n <= std::numeric_limits<LONG>::max();
    }
    return v.is_boolean();
}

// A value written with its own type, {"valueType": ..., "value": ...}: it
// arrives as that type whatever its field declares.
bool IsTypedValue(const json& v) { return v.is_object() && v.contains("valueType"); }

// Fields from the properties: names in order of first appearance; a column of
// whole numbers is integer, of numbers double, anything else text.
std::vector<FieldDefinition> InferredFields(const json& features) {
    std::vector<FieldDefinition> definitions;
    std::map<std::string, size_t> position;
    std::vector<int> kind;  // 0 nothing yet, 1 integer, 2 double, 3 text
    for (const json& feature : features) {
        auto properties = feature.find("properties");
        if (properties == feature.end() || !properties->is_object()) continue;
        for (auto it = properties->begin(); it != properties->end(); ++it) {
            auto [slot, added] = position.emplace(it.key(), definitions.size());
            if (added) {
                definitions.push_back({Wide(it.key()), Wide(it.key()), FieldType::Text});
                kind.push_back(0);
            }
            const json& v = it.value();
            // A typed value differs from its field's type on purpose: it says nothing of the column.
            int k = v.is_null() || IsTypedValue(v) ? 0 : IsInteger(v) ? 1 : v.is_number() ? 2 : 3;
            kind[slot->second] = std::max(kind[slot->second], k);
        }
    }
    for (size_t i = 0; i < definitions.size(); ++i)
        definitions[i].type = kind[i] == 1 ? FieldType::Integer : kind[i] == 2 ? FieldType::Double : FieldType::Text;
    return definitions;
}

// "2024-05-17" or "2024-05-17T10:30:00" as an Automation date.
bool ParseDate(const std::wstring& text, double* date) {
    SYSTEMTIME t{};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    const int got = swscanf(text.c_str(), L"%4d-%2d-%2dT%2d:%2d:%2d", &year, &month, &day, &hour, &minute, &second);
    if (got != 3 && got != 6) return false;
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    return month >= 1 && month <= 12 && day >= 1 && day <= 31 && SystemTimeToVariantTime(&t, date);
}

Value ReadTypedValue(const Reader& r, const json& typed, const std::wstring& at) {
    const std::wstring form =
        L" is a typed value, written as {\"valueType\": \"text\", \"integer\", \"double\" or \"date\", \"value\": ...}";
    if (typed.size() != 2 || !typed.contains("value") || !typed.at("valueType").is_string()) Raise(r.file, at + form);
    const std::string type = typed.at("valueType").get<std::string>();
    const json& v = typed.at("value");
    if (type == "text") {
        if (!v.is_string()) Raise(r.file, at + L": a value of type text must be a JSON text");
        return Value(Wide(v.get<std::string>()));
    }
    if (type == "integer") {
        if (!v.is_number_integer() || !IsInteger(v))
            Raise(r.file, at + L": a value of type integer must be a whole number that fits 32 bits");
        return Value(static_cast<int>(v.get<long long>()));
    }
    if (type == "double") return Value(r.Number(v, at));
    if (type == "date") {
        double date = 0;
        if (!v.is_string() || !ParseDate(Wide(v.get<std::string>()), &date))
            Raise(r.file, at + L": a value of type date must be written as YYYY-MM-DD or YYYY-MM-DDThh:mm:ss");
        return Value::Date(date);
    }
    Raise(r.file, at + form);
}

Value ReadValue(const Reader& r, const json& v, const FieldDefinition& field, const std::wstring& where) {
    if (v.is_null()) return Value::Null();
    const std::wstring at = where + L": the value of \"" + field.name + L"\"";
    if (IsTypedValue(v)) return ReadTypedValue(r, v, at);
    switch (field.type) {
    case FieldType::Integer:
        if (!IsInteger(v)) Raise(r.file, at + L" must be a whole number");
        return Value(v.is_boolean() ? (v.get<bool>() ? 1 : 0) : static_cast<int>(v.get<long long>()));
    case FieldType::Double:
        return Value(r.Number(v, at));
    case FieldType::Date: {
        double date = 0;
        if (!v.is_string() || !ParseDate(Wide(v.get<std::string>()), &date))
            Raise(r.file, at + L" must be a date written as YYYY-MM-DD or YYYY-MM-DDThh:mm:ss");
        return Value::Date(date);
    }
    default:
        return Value(v.is_string() ? Wide(v.get<std::string>()) : Wide(v.dump()));
    }
}

// Reads one GeoJSON file into a new feature class.
FeatureClass LoadFeatureClass(StandInHost& host, const std::wstring& path, const std::wstring& className,
                              const std::wstring& workspacePath) {
    const Reader r{path};
    const json data = ReadJson(path);
    r.Object(data, L"the GeoJSON document");
    const std::wstring type = r.Text(r.Member(data, "type", L"the GeoJSON document"), L"\"type\"");
    if (type != L"FeatureCollection") Raise(path, L"the GeoJSON document must be a FeatureCollection, not \"" + type + L"\"");
    const json& features = r.Array(r.Member(data, "features", L"the FeatureCollection"), L"\"features\"");
    auto declared = data.find("fields");
    std::vector<FieldDefinition> fields = declared == data.end() ? InferredFields(features) : DeclaredFields(r, *declared);

    FeatureClass featureClass = host.NewFeatureClass(className, fields, workspacePath);
    size_t n = 0;
    for (const json& feature : features) {
        const std::wstring where = L"feature " + std::to_wstring(++n);
        r.Object(feature, where);
        Shape shape = ReadShape(r, r.Member(feature, "geometry", where), where);
        std::vector<Value> values;
        auto properties = feature.find("properties");
        const bool hasProperties = properties != feature.end() && properties->is_object();
        for (const FieldDefinition& field : fields) {
            const std::string key = Utf8(field.name);
            values.push_back(hasProperties && properties->contains(key) ? ReadValue(r, (*properties)[key], field, where)
                                                                         : Value::Null());
        }
        featureClass.AddFeature(std::move(shape), std::move(values));
    }
    return featureClass;
}

// ---- The map document ----------------------------------------------------------------

class DocumentLoader {
public:
    DocumentLoader(const std::wstring& path) : path_(FullPath(path)), folder_(FolderOf(path_)), r_{path_} {}

    std::unique_ptr<StandInHost> Load() {
        const json document = ReadJson(path_);
        r_.Object(document, L"the map document");
        auto host = std::make_unique<StandInHost>();
        host_ = host.get();
        if (auto title = document.find("title"); title != document.end()) host->SetDocumentTitle(r_.Text(*title, L"\"title\""));
        const double tolerance = r_.Number(r_.Member(document, "searchTolerance", L"the map document"), L"\"searchTolerance\"");
        if (tolerance < 0) Raise(path_, L"\"searchTolerance\" must be 0 or more");
        host->SetSearchTolerance(tolerance);
        ReadView(r_.Member(document, "view", L"the map document"));
        ReadLayers(r_.Member(document, "layers", L"the map document"), host->Layers(), true);
        return host;
    }

private:
    void ReadView(const json& view) {
        r_.Object(view, L"\"view\"");
        const double width = r_.Number(r_.Member(view, "width", L"\"view\""), L"the view's width");
        const double height = r_.Number(r_.Member(view, "height", L"\"view\""), L"the view's height");
        if (width < 1 || height < 1 || width != std::floor(width) || height != std::floor(height) || width > 100000 || height > 100000)
            Raise(path_, L"the view's width and height must be whole numbers of pixels from 1 to 100000");
        const json& e = r_.Object(r_.Member(view, "extent", L"\"view\""), L"the view's extent");
        const Extent shown{r_.Number(r_.Member(e, "xmin", L"the view's extent"), L"xmin"),
                           r_.Number(r_.Member(e, "ymin", L"the view's extent"), L"ymin"),
                           r_.Number(r_.Member(e, "xmax", L"the view's extent"), L"xmax"),
                           r_.Number(r_.Member(e, "ymax", L"the view's extent"), L"ymax")};
        if (!(shown.xmax > shown.xmin) || !(shown.ymax > shown.ymin))
            Raise(path_, L"the view's extent must have xmax > xmin and ymax > ymin");
        host_->SetView(static_cast<long>(width), static_cast<long>(height), shown);
    }

    void ReadLayers(const json& layers, LayerList into, bool topLevel) {
        for (const json& layer : r_.Array(layers, L"\"layers\"")) {
            const std::wstring where = L"layer " + std::to_wstring(++layerNumber_);
            r_.Object(layer, where);
            const std::wstring name = r_.Text(r_.Member(layer, "name", where), where + L": the name");
            const std::wstring at = where + L" (" + name + L")";
            auto type = layer.find("type");
            const std::wstring kind = type == layer.end() ? L"feature" : r_.Text(*type, at + L": the type");
            if (kind == L"feature") {
                ReadFeatureLayer(layer, name, at, into, topLevel);
            } else if (kind == L"group") {
                LayerList group = into.AddGroupLayer(name);
                ReadLayers(r_.Member(layer, "layers", at), group, false);
            } else if (kind == L"other") {
                into.AddOtherLayer(name);
            } else {
                Raise(path_, at + L" has the unknown type \"" + kind + L"\" (feature, group or other)");
            }
            if (topLevel) ++topLevelCount_;
        }
    }

    void ReadFeatureLayer(const json& layer, const std::wstring& name, const std::wstring& at, LayerList into,
                          bool topLevel) {
        std::optional<FeatureClass> featureClass;
        if (auto same = layer.find("sameClassAs"); same != layer.end()) {
            if (!same->is_number_integer()) Raise(path_, at + L": \"sameClassAs\" must be a top-level layer's index");
            const long long index = same->get<long long>();
            auto found = topLevelClassOf_.find(index);
            if (found == topLevelClassOf_.end())
                Raise(path_, at + L": \"sameClassAs\" " + std::to_wstring(index) +
                                 L" is not the index of an earlier top-level feature layer");
            featureClass = found->second;
        } else {
            const std::wstring source = r_.Text(r_.Member(layer, "source", at), at + L": the source");
            if (source.empty()) Raise(path_, at + L": the source is empty");
            const std::wstring sourcePath = FullPath(IsAbsolute(source) ? source : folder_ + L"\\" + source);
            if (GetFileAttributesW(sourcePath.c_str()) == INVALID_FILE_ATTRIBUTES)
                Raise(path_, at + L": the source file " + sourcePath + L" does not exist");
            try {
                featureClass = LoadFeatureClass(*host_, sourcePath, name, FolderOf(sourcePath));
            } catch (Problem& problem) {
                problem.text += L" (the source of " + at + L" in " + path_ + L")";
                throw;
            }
        }
        if (r_.Flag(layer, "objectClassOnly", false, at)) {
            if (layer.contains("sameClassAs"))
                Raise(path_, at + L": \"objectClassOnly\" belongs to the layer with the class's source");
            featureClass->FeaturesNameAnObjectClass();
        }
        FeatureLayer added = into.AddFeatureLayer(name, *featureClass);
        added.Selectable(r_.Flag(layer, "selectable", true, at)).Visible(r_.Flag(layer, "visible", true, at));
        if (auto workspace = layer.find("workspace"); workspace != layer.end())
            added.Workspace(r_.Text(*workspace, at + L": the workspace"));
        if (topLevel) topLevelClassOf_.emplace(topLevelCount_, *featureClass);
    }

    std::wstring path_;
    std::wstring folder_;
    Reader r_;
    StandInHost* host_ = nullptr;
    long layerNumber_ = 0;
    long long topLevelCount_ = 0;
    std::map<long long, FeatureClass> topLevelClassOf_;
};

} // namespace

MapDocumentError::MapDocumentError(std::wstring message) : std::runtime_error(Utf8(message)), message_(std::move(message)) {}

std::unique_ptr<StandInHost> LoadMapDocument(const std::wstring& path) {
    try {
        return DocumentLoader(path).Load();
    } catch (const Problem& problem) {
        throw MapDocumentError(problem.file + L": " + problem.text);
    } catch (const json::exception& error) {
        throw MapDocumentError(FullPath(path) + L": " + Wide(error.what()));
    } catch (const std::invalid_argument& error) {
        throw MapDocumentError(FullPath(path) + L": " + Wide(error.what()));
    }
}

} // namespace snapvane::standin
