// The stand-in host: in-memory COM objects that implement every interface of
// the host contract (HostGis.idl) with real behaviour, and a small builder
// with which a test or the stand-in host application puts a map together.
//
//   StandInHost host;
//   host.SetSearchTolerance(2);
//   host.SetView(800, 600, {0, 0, 800, 600});
//   auto sites = host.NewFeatureClass(L"Sites", {{L"PHOTO", L"Photo", FieldType::Text}});
//   sites.AddFeature(Shape::Point(10, 20), {L"site4.jpg"});
//   host.AddFeatureLayer(L"Sites", sites).Workspace(L"C:\\data");
//   tool->OnCreate(host.Hook().Get());
//
// Every object is apartment-threaded: use it on the thread that built it.
#pragma once

#include "HostGis.h"
#include "win32/ComTypes.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace snapvane::standin {

// ---- Plain geometry -------------------------------------------------------

struct MapPoint {
    double x = 0;
    double y = 0;
};

// An axis-aligned rectangle in map units; the edges belong to it.
struct Extent {
    double xmin = 0;
    double ymin = 0;
    double xmax = 0;
    double ymax = 0;
};

enum class ShapeKind { Point, Polyline, Polygon };

// A feature's shape. Point: one or more points, all in the first part.
// Polyline: one path per part. Polygon: one ring per part (outer rings and
// holes alike; a place is inside when an odd number of rings encloses it).
struct Shape {
    ShapeKind kind = ShapeKind::Point;
    std::vector<std::vector<MapPoint>> parts;

    static Shape Point(double x, double y);
    static Shape Line(std::vector<MapPoint> path);
    static Shape Polygon(std::vector<MapPoint> ring);
};

// The smallest extent that holds every vertex of the shape.
Extent Bounds(const Shape& shape);

// The shape behind a geometry object of this host (a point, a feature's
// shape, or an envelope as its rectangle); nothing for a foreign object.
std::optional<Shape> ShapeOf(IGeometry* geometry);

// True when the shape and the box share at least one place: a point on the
// box's edge, a line that crosses or touches it, a polygon that crosses it,
// has a vertex in it or holds the whole box.
bool Intersects(const Shape& shape, const Extent& box);

// ---- Fields and values ----------------------------------------------------

// The host's field type codes.
enum class FieldType : long {
    SmallInteger = 0,
    Integer = 1,
    Single = 2,
    Double = 3,
    Text = 4,
    Date = 5,
    ObjectId = 6,
    Geometry = 7,
};

// An attribute field of a feature class (object id and shape come first and
// are added by the class itself).
struct FieldDefinition {
    std::wstring name;
    std::wstring alias;  // empty: the name
    FieldType type = FieldType::Text;
};

// One attribute value of a feature: null, a text, an integer, a double or a
// date (an Automation date: days since 30 December 1899).
class Value {
public:
    Value() = default;  // null
    Value(const wchar_t* text) : type_(VT_BSTR), text_(text ? text : L"") {}
    Value(std::wstring text) : type_(VT_BSTR), text_(std::move(text)) {}
    Value(int number) : type_(VT_I4), integer_(number) {}
    Value(long number) : type_(VT_I4), integer_(number) {}
    Value(double number) : type_(VT_R8), number_(number) {}
    static Value Null() { return Value(); }
    static Value Date(double automationDate);

    VARTYPE Type() const noexcept { return type_; }
    // Fills an empty VARIANT with a copy of the value.
    void CopyTo(VARIANT* out) const;

private:
    VARTYPE type_ = VT_NULL;
    std::wstring text_;
    long integer_ = 0;
    double number_ = 0;
};

// ---- Builder --------------------------------------------------------------

namespace impl {
class FeatureClassObject;
class FeatureLayerObject;
class LayerContainer;
class MapObject;
class DocumentObject;
class ApplicationObject;
}

// A feature class under construction; copies refer to the same class.
class FeatureClass {
public:
    // Appends a feature in stored order. values follow the attribute fields
    // (missing ones are null). Returns the feature's object id (1, 2, ...).
    long AddFeature(Shape shape, std::vector<Value> values = {});
    long ObjectClassId() const;
    ComPtr<IFeatureClass> Get() const;
    // From now on its features name, as their class, an object class that is
    // no feature class (IObjectClass without IFeatureClass), as the rows of
    // a table shown through a feature layer can. Layers still search it.
    void FeaturesNameAnObjectClass();

private:
    friend class LayerList;
    friend class StandInHost;
    explicit FeatureClass(ComPtr<IFeatureClass> object, impl::FeatureClassObject* impl)
        : object_(std::move(object)), impl_(impl) {}
    ComPtr<IFeatureClass> object_;
    impl::FeatureClassObject* impl_;
};

// A feature layer; the setters return the layer so they can be chained.
class FeatureLayer {
public:
    FeatureLayer& Selectable(bool selectable);
    FeatureLayer& Visible(bool visible);
    // The folder the layer's data source names (default: its class's folder).
    FeatureLayer& Workspace(std::wstring path);
    ComPtr<ILayer> Get() const;

private:
    friend class LayerList;
    explicit FeatureLayer(ComPtr<ILayer> object, impl::FeatureLayerObject* impl)
        : object_(std::move(object)), impl_(impl) {}
    ComPtr<ILayer> object_;
    impl::FeatureLayerObject* impl_;
};

// The layers of the focus map or of a group layer, in map order.
class LayerList {
public:
    FeatureLayer AddFeatureLayer(std::wstring name, const FeatureClass& featureClass);
    LayerList AddGroupLayer(std::wstring name);
    // A layer that is not a feature layer (an image, say): ILayer only.
    ComPtr<ILayer> AddOtherLayer(std::wstring name);
    // The group layer itself (empty for the focus map).
    ComPtr<ILayer> Get() const { return object_; }

private:
    friend class StandInHost;
    LayerList(ComPtr<ILayer> object, impl::LayerContainer* container)
        : object_(std::move(object)), container_(container) {}
    ComPtr<ILayer> object_;
    impl::LayerContainer* container_;
};

// The application with its document and an empty focus map. Destroying the
// builder releases its references; objects the host handed out live on
// until their holders release them.
class StandInHost {
public:
    StandInHost();
    ~StandInHost();
    StandInHost(const StandInHost&) = delete;
    StandInHost& operator=(const StandInHost&) = delete;

    // A new feature class with fields OBJECTID, Shape, then the attributes.
    // workspacePath is the folder its layers name unless a layer says otherwise.
    FeatureClass NewFeatureClass(std::wstring name, std::vector<FieldDefinition> attributes,
                                 std::wstring workspacePath = L"");

    // The focus map's top-level layers.
    LayerList Layers();
    FeatureLayer AddFeatureLayer(std::wstring name, const FeatureClass& featureClass) {
        return Layers().AddFeatureLayer(std::move(name), featureClass);
    }
    LayerList AddGroupLayer(std::wstring name) { return Layers().AddGroupLayer(std::move(name)); }
    ComPtr<ILayer> AddOtherLayer(std::wstring name) { return Layers().AddOtherLayer(std::move(name)); }

    void SetSearchTolerance(double mapUnits);
    double SearchTolerance() const;
    // The focus map's view: a device of width x height pixels showing extent.
    // Device (0, 0) is the top-left corner; y grows downward on the device and
    // upward on the map. Throws std::invalid_argument for an empty device or
    // extent.
    void SetView(long width, long height, Extent shown);
    // The view SetView (or the map document) last gave the focus map.
    struct View {
        long width;
        long height;
        Extent shown;
    };
    View CurrentView() const;
    void SetDocumentTitle(std::wstring title);

    ComPtr<IApplication> Application() const;
    // The application as the host hands it to ICommand::OnCreate.
    ComPtr<IDispatch> Hook() const;
    ComPtr<IMxDocument> Document() const;
    ComPtr<IMap> FocusMap() const;

private:
    ComPtr<IApplication> application_;
    impl::ApplicationObject* app_;
    impl::DocumentObject* document_;
    impl::MapObject* map_;
};

} // namespace snapvane::standin
