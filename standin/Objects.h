// The stand-in host's COM objects. Internal to standin/: tests and the host
// application use StandIn.h.
#pragma once

#include "standin/ProbeHooks.h"
#include "standin/SpatialIndex.h"
#include "standin/StandIn.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace snapvane::standin::impl {

// ---- The object base ------------------------------------------------------

// Asks a stand-in object for its implementation (an internal identity query,
// not a host operation). The answer is an Object* with a reference added.
extern const IID IID_StandInObject;

// Every stand-in object: counted while it lives, one reference count for all
// of its interfaces.
class Object {
public:
    Object() noexcept { Probe::ObjectCreated(); }
    virtual ~Object() { Probe::ObjectDestroyed(); }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    ULONG AddRefObject() noexcept { return ++references_; }
    ULONG ReleaseObject() noexcept {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT QueryObject(REFIID iid, void** object) noexcept;
    // The interface pointer for iid, or null when the object lacks it.
    virtual void* Lookup(REFIID iid) noexcept = 0;
    bool Implements(REFIID iid) noexcept { return Lookup(iid) != nullptr; }

private:
    std::atomic<ULONG> references_{1};
};

// Every host interface reports its failures through the thread's error
// information, so every object says so through ISupportErrorInfo.
template <class... Interfaces>
class ComObject : public Object, public Interfaces..., public ISupportErrorInfo {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        Probe::HostCallClock clock;
        if (object && IsEqualIID(iid, IID_ISupportErrorInfo)) {
            AddRefObject();
            *object = static_cast<ISupportErrorInfo*>(this);
            return S_OK;
        }
        return QueryObject(iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        Probe::HostCallClock clock;
        return AddRefObject();
    }
    STDMETHODIMP_(ULONG) Release() override {
        Probe::HostCallClock clock;
        return ReleaseObject();
    }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override { return Lookup(iid) ? S_OK : S_FALSE; }
};

// The implementation behind an interface pointer, borrowed for as long as the
// caller holds that pointer; null for foreign objects and other kinds.
template <class T>
T* Implementation(IUnknown* object) noexcept {
    if (!object) return nullptr;
    Object* self = nullptr;
    if (FAILED(object->QueryInterface(IID_StandInObject, reinterpret_cast<void**>(&self))) || !self) return nullptr;
    self->ReleaseObject();
    return dynamic_cast<T*>(self);
}

// Takes ownership of a new object's first reference as interface I. (Not
// ComPtr::Attach: mingw-w64's Attach adds a reference of its own.)
template <class I, class T>
ComPtr<I> Own(T* object) {
    ComPtr<I> owner(static_cast<I*>(object));
    owner->Release();
    return owner;
}

// ---- Host calls -----------------------------------------------------------

// A failure found inside a host operation: the call returns hr with the
// description as its error information.
struct HostError {
    HRESULT hr;
    std::wstring description;
};

// Sets the thread's error information and answers hr.
HRESULT Fail(HRESULT hr, const std::wstring& description) noexcept;

// Runs the body of one host operation: logs it, delivers an injected failure,
// and turns every exception into a failure with error information.
template <class Body>
HRESULT HostCall(const wchar_t* operation, Body&& body) noexcept {
    Probe::HostCallClock clock;
    try {
        if (auto failure = Probe::EnterHostCall(operation)) return Fail(failure->hr, failure->description);
        body();
        return S_OK;
    } catch (const HostError& error) {
        return Fail(error.hr, error.description);
    } catch (const std::bad_alloc&) {
        return Fail(E_OUTOFMEMORY, L"Out of memory.");
    } catch (...) {
        return Fail(E_UNEXPECTED, L"Unexpected failure in the stand-in host.");
    }
}

// A required out-parameter; a null one fails the call with E_POINTER.
template <class T>
T* Out(T* slot) {
    if (!slot) throw HostError{E_POINTER, L"A required result pointer is null."};
    return slot;
}

// ---- Geometry objects -----------------------------------------------------

class PointObject : public ComObject<IPoint> {
public:
    explicit PointObject(MapPoint point) : point_(point) {}
    void* Lookup(REFIID iid) noexcept override;
    MapPoint Value() const { return point_; }

    STDMETHODIMP get_Envelope(IEnvelope** envelope) override;
    STDMETHODIMP get_IsEmpty(VARIANT_BOOL* empty) override;
    STDMETHODIMP get_X(double* x) override;
    STDMETHODIMP get_Y(double* y) override;

private:
    MapPoint point_;
};

class EnvelopeObject : public ComObject<IEnvelope> {
public:
    explicit EnvelopeObject(Extent extent) : extent_(extent) {}
    void* Lookup(REFIID iid) noexcept override;
    Extent Value() const { return extent_; }

    STDMETHODIMP get_Envelope(IEnvelope** envelope) override;
    STDMETHODIMP get_IsEmpty(VARIANT_BOOL* empty) override;
    STDMETHODIMP get_XMin(double* value) override;
    STDMETHODIMP get_YMin(double* value) override;
    STDMETHODIMP get_XMax(double* value) override;
    STDMETHODIMP get_YMax(double* value) override;
    STDMETHODIMP Expand(double dx, double dy, VARIANT_BOOL asRatio) override;

private:
    Extent extent_;
};

// A feature's line or polygon (or a point set) as the host hands it out.
class ShapeObject : public ComObject<IGeometry> {
public:
    explicit ShapeObject(Shape shape) : shape_(std::move(shape)) {}
    void* Lookup(REFIID iid) noexcept override;
    const Shape& Value() const { return shape_; }

    STDMETHODIMP get_Envelope(IEnvelope** envelope) override;
    STDMETHODIMP get_IsEmpty(VARIANT_BOOL* empty) override;

private:
    Shape shape_;
};

// A new geometry object for a shape: a single point as an IPoint.
ComPtr<IGeometry> NewGeometry(const Shape& shape);

class SpatialReferenceObject : public ComObject<ISpatialReference> {
public:
    explicit SpatialReferenceObject(std::wstring name) : name_(std::move(name)) {}
    void* Lookup(REFIID iid) noexcept override;
    STDMETHODIMP get_Name(BSTR* name) override;

private:
    std::wstring name_;
};

// ---- Creatable objects ----------------------------------------------------

class SpatialFilterObject : public ComObject<ISpatialFilter> {
public:
    void* Lookup(REFIID iid) noexcept override;

    STDMETHODIMP get_WhereClause(BSTR* clause) override;
    STDMETHODIMP put_WhereClause(BSTR clause) override;
    STDMETHODIMP get_OutputSpatialReference(BSTR fieldName, ISpatialReference** reference) override;
    STDMETHODIMP putref_OutputSpatialReference(BSTR fieldName, ISpatialReference* reference) override;
    STDMETHODIMP get_Geometry(IGeometry** geometry) override;
    STDMETHODIMP putref_Geometry(IGeometry* geometry) override;
    STDMETHODIMP get_SpatialRel(long* relation) override;
    STDMETHODIMP put_SpatialRel(long relation) override;
    STDMETHODIMP get_GeometryField(BSTR* fieldName) override;
    STDMETHODIMP put_GeometryField(BSTR fieldName) override;

    std::wstring whereClause;
    std::map<std::wstring, ComPtr<ISpatialReference>> outputReferences;
    ComPtr<IGeometry> geometry;
    long relation = HOST_SPATIAL_REL_INTERSECTS;
    std::wstring geometryField;
};

class UidObject : public ComObject<IUID> {
public:
    void* Lookup(REFIID iid) noexcept override;
    STDMETHODIMP get_Value(VARIANT* value) override;
    STDMETHODIMP put_Value(VARIANT value) override;

    bool hasValue = false;
    std::wstring text;
    GUID guid{};
};

// ---- Display --------------------------------------------------------------

// What the focus map shows: a device of width x height pixels showing the
// extent, stretched to fill it.
struct ViewState {
    long width = 1000;
    long height = 1000;
    Extent shown{0, 0, 1000, 1000};
};

class DisplayTransformationObject : public ComObject<IDisplayTransformation> {
public:
    explicit DisplayTransformationObject(std::shared_ptr<const ViewState> view) : view_(std::move(view)) {}
    void* Lookup(REFIID iid) noexcept override;
    STDMETHODIMP ToMapPoint(long x, long y, IPoint** point) override;
    STDMETHODIMP FromMapPoint(IPoint* point, long* x, long* y) override;

private:
    std::shared_ptr<const ViewState> view_;
};

class ScreenDisplayObject : public ComObject<IScreenDisplay> {
public:
    explicit ScreenDisplayObject(std::shared_ptr<const ViewState> view) : view_(std::move(view)) {}
    void* Lookup(REFIID iid) noexcept override;
    STDMETHODIMP get_DisplayTransformation(IDisplayTransformation** transformation) override;

private:
    std::shared_ptr<const ViewState> view_;
};

// ---- Data -----------------------------------------------------------------

using FieldList = std::vector<FieldDefinition>;  // every field, object id and shape first

class FieldObject : public ComObject<IField> {
public:
    explicit FieldObject(FieldDefinition field) : field_(std::move(field)) {}
    void* Lookup(REFIID iid) noexcept override;
    STDMETHODIMP get_Name(BSTR* name) override;
    STDMETHODIMP get_AliasName(BSTR* name) override;
    STDMETHODIMP get_Type(long* type) override;

private:
    FieldDefinition field_;
};

class FieldsObject : public ComObject<IFields> {
public:
    explicit FieldsObject(std::shared_ptr<const FieldList> fields) : fields_(std::move(fields)) {}
    void* Lookup(REFIID iid) noexcept override;
    STDMETHODIMP get_FieldCount(long* count) override;
    STDMETHODIMP get_Field(long index, IField** field) override;

private:
    std::shared_ptr<const FieldList> fields_;
};

class WorkspaceNameObject : public ComObject<IWorkspaceName> {
public:
    explicit WorkspaceNameObject(std::wstring path) : path_(std::move(path)) {}
    void* Lookup(REFIID iid) noexcept override;
    STDMETHODIMP get_PathName(BSTR* path) override;

private:
    std::wstring path_;
};

class DatasetNameObject : public ComObject<IName, IDatasetName> {
public:
    DatasetNameObject(std::wstring name, std::wstring workspacePath)
        : name_(std::move(name)), workspacePath_(std::move(workspacePath)) {}
    void* Lookup(REFIID iid) noexcept override;
    STDMETHODIMP get_NameString(BSTR* text) override;
    STDMETHODIMP get_Name(BSTR* name) override;
    STDMETHODIMP get_WorkspaceName(IWorkspaceName** workspace) override;

private:
    std::wstring name_;
    std::wstring workspacePath_;
};

class FeatureClassObject : public ComObject<IFeatureClass> {
public:
    FeatureClassObject(std::wstring name, std::vector<FieldDefinition> attributes, std::wstring workspacePath);
    void* Lookup(REFIID iid) noexcept override;

    STDMETHODIMP get_Fields(IFields** fields) override;
    STDMETHODIMP get_ObjectClassID(long* id) override;
    STDMETHODIMP get_AliasName(BSTR* name) override;
    STDMETHODIMP get_ShapeFieldName(BSTR* fieldName) override;
    STDMETHODIMP Search(IQueryFilter* filter, VARIANT_BOOL recycling, IFeatureCursor** cursor) override;

    struct Row {
        Shape shape;
        Extent bounds;
        std::vector<Value> values;  // the attributes, after object id and shape
    };

    long AddRow(Shape shape, std::vector<Value> values);
    const Row& RowAt(size_t index) const { return rows_[index]; }
    size_t FieldCount() const { return fields_->size(); }
    // The stored rows that the filter lets through, in stored order.
    std::vector<size_t> Select(IQueryFilter* filter);

    const long id;
    const std::wstring name;
    const std::wstring workspacePath;
    // The features name an object class that is no feature class as their
    // class (IObject.Class); the layer still searches this feature class.
    bool featuresNameObjectClass = false;

private:
    std::vector<size_t> RowsMeeting(const Extent& box);

    std::shared_ptr<const FieldList> fields_;
    std::vector<Row> rows_;
    GridIndex index_;
    bool indexCurrent_ = false;
};

// The class that features of such a class name: the object-class interface
// only, with the feature class's identifier, name and fields.
class ObjectClassObject : public ComObject<IObjectClass> {
public:
    explicit ObjectClassObject(ComPtr<IFeatureClass> featureClass) : featureClass_(std::move(featureClass)) {}
    void* Lookup(REFIID iid) noexcept override;
    STDMETHODIMP get_Fields(IFields** fields) override { return featureClass_->get_Fields(fields); }
    STDMETHODIMP get_ObjectClassID(long* id) override { return featureClass_->get_ObjectClassID(id); }
    STDMETHODIMP get_AliasName(BSTR* name) override { return featureClass_->get_AliasName(name); }

private:
    ComPtr<IFeatureClass> featureClass_;
};

class FeatureObject : public ComObject<IFeature> {
public:
    FeatureObject(ComPtr<IFeatureClass> owner, FeatureClassObject* featureClass, size_t row)
        : owner_(std::move(owner)), class_(featureClass), row_(row) {}
    void* Lookup(REFIID iid) noexcept override;
    STDMETHODIMP get_Value(long index, VARIANT* value) override;
    STDMETHODIMP get_Class(IObjectClass** objectClass) override;
    STDMETHODIMP get_Shape(IGeometry** shape) override;

private:
    ComPtr<IFeatureClass> owner_;
    FeatureClassObject* class_;
    size_t row_;
};

class FeatureCursorObject : public ComObject<IFeatureCursor> {
public:
    FeatureCursorObject(ComPtr<IFeatureClass> owner, FeatureClassObject* featureClass, std::vector<size_t> rows)
        : owner_(std::move(owner)), class_(featureClass), rows_(std::move(rows)) {}
    void* Lookup(REFIID iid) noexcept override;
    STDMETHODIMP NextFeature(IFeature** feature) override;

private:
    ComPtr<IFeatureClass> owner_;
    FeatureClassObject* class_;
    std::vector<size_t> rows_;
    size_t next_ = 0;
};

// ---- Layers ---------------------------------------------------------------

// The layers of the focus map or of a group layer, in map order.
class LayerContainer {
public:
    virtual ~LayerContainer() = default;
    std::vector<ComPtr<ILayer>> layers;
};

template <class... Interfaces>
class LayerObject : public ComObject<Interfaces...> {
public:
    explicit LayerObject(std::wstring name) : name(std::move(name)) {}

    STDMETHODIMP get_Name(BSTR* text) override {
        return HostCall(L"ILayer.Name", [&] { *Out(text) = NewBstr(name); });
    }
    STDMETHODIMP get_Visible(VARIANT_BOOL* value) override {
        return HostCall(L"ILayer.Visible", [&] { *Out(value) = visible ? VARIANT_TRUE : VARIANT_FALSE; });
    }
    STDMETHODIMP put_Visible(VARIANT_BOOL value) override {
        return HostCall(L"ILayer.Visible", [&] { visible = value != VARIANT_FALSE; });
    }

    std::wstring name;
    bool visible = true;
};

class FeatureLayerObject : public LayerObject<IFeatureLayer, IDataLayer> {
public:
    FeatureLayerObject(std::wstring name, ComPtr<IFeatureClass> featureClass, FeatureClassObject* impl)
        : LayerObject(std::move(name)), featureClass_(std::move(featureClass)), class_(impl),
          workspacePath(impl->workspacePath) {}
    void* Lookup(REFIID iid) noexcept override;

    STDMETHODIMP get_FeatureClass(IFeatureClass** featureClass) override;
    STDMETHODIMP get_Selectable(VARIANT_BOOL* selectable) override;
    STDMETHODIMP put_Selectable(VARIANT_BOOL selectable) override;
    STDMETHODIMP get_DataSourceName(IName** name) override;

private:
    ComPtr<IFeatureClass> featureClass_;
    FeatureClassObject* class_;

public:
    bool selectable = true;
    std::wstring workspacePath;
};

class GroupLayerObject : public LayerObject<ILayer>, public LayerContainer {
public:
    using LayerObject::LayerObject;
    void* Lookup(REFIID iid) noexcept override;
};

// A layer that shows no features (an image or a drawing): ILayer only.
class OtherLayerObject : public LayerObject<ILayer> {
public:
    using LayerObject::LayerObject;
    void* Lookup(REFIID iid) noexcept override;
};

class EnumLayerObject : public ComObject<IEnumLayer> {
public:
    explicit EnumLayerObject(std::vector<ComPtr<ILayer>> layers) : layers_(std::move(layers)) {}
    void* Lookup(REFIID iid) noexcept override;
    STDMETHODIMP Next(ILayer** layer) override;
    STDMETHODIMP Reset() override;

private:
    std::vector<ComPtr<ILayer>> layers_;
    size_t next_ = 0;
};

// ---- Map, document, application -------------------------------------------

class MapObject : public ComObject<IMap, IActiveView>, public LayerContainer {
public:
    MapObject();
    void* Lookup(REFIID iid) noexcept override;

    STDMETHODIMP get_Name(BSTR* name) override;
    STDMETHODIMP get_LayerCount(long* count) override;
    STDMETHODIMP get_Layer(long index, ILayer** layer) override;
    STDMETHODIMP get_Layers(IUID* uid, VARIANT_BOOL recursive, IEnumLayer** layers) override;
    STDMETHODIMP get_SpatialReference(ISpatialReference** reference) override;
    STDMETHODIMP get_ScreenDisplay(IScreenDisplay** display) override;

    std::wstring name = L"Layers";
    std::shared_ptr<ViewState> view = std::make_shared<ViewState>();

private:
    ComPtr<ISpatialReference> reference_;
};

class DocumentObject : public ComObject<IDocument, IMxDocument> {
public:
    DocumentObject();
    void* Lookup(REFIID iid) noexcept override;

    STDMETHODIMP get_Title(BSTR* title) override;
    STDMETHODIMP get_FocusMap(IMap** map) override;
    STDMETHODIMP get_SearchTolerance(double* tolerance) override;
    STDMETHODIMP put_SearchTolerance(double tolerance) override;

    std::wstring title = L"Untitled";
    double searchTolerance = 0;
    MapObject* map;

private:
    ComPtr<IMap> focusMap_;
};

class ApplicationObject : public ComObject<IApplication, IDispatch> {
public:
    ApplicationObject();
    void* Lookup(REFIID iid) noexcept override;

    STDMETHODIMP get_Document(IDocument** document) override;

    // IDispatch, minimal: the application is handed over as an IDispatch but
    // offers no late-bound members.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override;

    DocumentObject* document;

private:
    ComPtr<IDocument> document_;
};

} // namespace snapvane::standin::impl
