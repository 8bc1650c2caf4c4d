#include "standin/Objects.h"

#include <cmath>
#include <cwctype>

namespace snapvane::standin::impl {

// {5E0C7F62-8A43-4B8F-9C1D-2B7A64E0F311}
const IID IID_StandInObject = {0x5e0c7f62, 0x8a43, 0x4b8f, {0x9c, 0x1d, 0x2b, 0x7a, 0x64, 0xe0, 0xf3, 0x11}};

namespace {

constexpr wchar_t kShapeField[] = L"Shape";
constexpr wchar_t kObjectIdField[] = L"OBJECTID";

template <class I>
void* If(REFIID iid, I* self) noexcept {
    return IsEqualIID(iid, __uuidof(I)) ? self : nullptr;
}

// Hands a new reference to an out-parameter.
template <class I>
void Give(I** slot, const ComPtr<I>& object) {
    *Out(slot) = ComPtr<I>(object).Detach();
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                                        static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring Text(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

std::wstring Number(double value) {
    wchar_t buffer[64];
    swprintf(buffer, 64, L"%g", value);
    return buffer;
}

} // namespace

HRESULT Object::QueryObject(REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    void* found = IsEqualIID(iid, IID_StandInObject) ? static_cast<Object*>(this) : Lookup(iid);
    if (!found) return E_NOINTERFACE;
    AddRefObject();
    *object = found;
    return S_OK;
}

HRESULT Fail(HRESULT hr, const std::wstring& description) noexcept {
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(create.GetAddressOf()))) {
        create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
        create->SetSource(const_cast<LPOLESTR>(L"HostGis"));
        create->SetGUID(GUID_NULL);
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
    }
    return FAILED(hr) ? hr : E_FAIL;
}

// ---- Geometry ---------------------------------------------------------------

ComPtr<IGeometry> NewGeometry(const Shape& shape) {
    if (shape.kind == ShapeKind::Point && shape.parts.size() == 1 && shape.parts[0].size() == 1)
        return Own<IGeometry>(static_cast<IPoint*>(new PointObject(shape.parts[0][0])));
    return Own<IGeometry>(new ShapeObject(shape));
}

} // namespace snapvane::standin::impl

namespace snapvane::standin {

std::optional<Shape> ShapeOf(IGeometry* geometry) {
    using namespace impl;
    if (auto* point = Implementation<PointObject>(geometry)) return Shape::Point(point->Value().x, point->Value().y);
    if (auto* shape = Implementation<ShapeObject>(geometry)) return shape->Value();
    if (auto* envelope = Implementation<EnvelopeObject>(geometry)) {
        const Extent e = envelope->Value();
        return Shape::Polygon({{e.xmin, e.ymin}, {e.xmax, e.ymin}, {e.xmax, e.ymax}, {e.xmin, e.ymax}});
    }
    return std::nullopt;
}

} // namespace snapvane::standin

namespace snapvane::standin::impl {

void* PointObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IGeometry) || IsEqualIID(iid, IID_IPoint))
        return static_cast<IPoint*>(this);
    return nullptr;
}

STDMETHODIMP PointObject::get_Envelope(IEnvelope** envelope) {
    return HostCall(L"IGeometry.Envelope",
                    [&] { *Out(envelope) = new EnvelopeObject({point_.x, point_.y, point_.x, point_.y}); });
}
STDMETHODIMP PointObject::get_IsEmpty(VARIANT_BOOL* empty) {
    return HostCall(L"IGeometry.IsEmpty", [&] { *Out(empty) = VARIANT_FALSE; });
}
STDMETHODIMP PointObject::get_X(double* x) { return HostCall(L"IPoint.X", [&] { *Out(x) = point_.x; }); }
STDMETHODIMP PointObject::get_Y(double* y) { return HostCall(L"IPoint.Y", [&] { *Out(y) = point_.y; }); }

void* EnvelopeObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IGeometry) || IsEqualIID(iid, IID_IEnvelope))
        return static_cast<IEnvelope*>(this);
    return nullptr;
}

STDMETHODIMP EnvelopeObject::get_Envelope(IEnvelope** envelope) {
    return HostCall(L"IGeometry.Envelope", [&] { *Out(envelope) = new EnvelopeObject(extent_); });
}
STDMETHODIMP EnvelopeObject::get_IsEmpty(VARIANT_BOOL* empty) {
    return HostCall(L"IGeometry.IsEmpty", [&] {
        *Out(empty) = extent_.xmin > extent_.xmax || extent_.ymin > extent_.ymax ? VARIANT_TRUE : VARIANT_FALSE;
    });
}
STDMETHODIMP EnvelopeObject::get_XMin(double* value) { return HostCall(L"IEnvelope.XMin", [&] { *Out(value) = extent_.xmin; }); }
STDMETHODIMP EnvelopeObject::get_YMin(double* value) { return HostCall(L"IEnvelope.YMin", [&] { *Out(value) = extent_.ymin; }); }
STDMETHODIMP EnvelopeObject::get_XMax(double* value) { return HostCall(L"IEnvelope.XMax", [&] { *Out(value) = extent_.xmax; }); }
STDMETHODIMP EnvelopeObject::get_YMax(double* value) { return HostCall(L"IEnvelope.YMax", [&] { *Out(value) = extent_.ymax; }); }

// Not as a ratio: every side moves outward by dx or dy. As a ratio: width and
// height are multiplied by dx and dy about the centre.
STDMETHODIMP EnvelopeObject::Expand(double dx, double dy, VARIANT_BOOL asRatio) {
    return HostCall(L"IEnvelope.Expand", [&] {
        if (!std::isfinite(dx) || !std::isfinite(dy)) throw HostError{E_INVALIDARG, L"Expand needs finite distances."};
        Extent e = extent_;
        if (asRatio != VARIANT_FALSE) {
            if (dx < 0 || dy < 0) throw HostError{E_INVALIDARG, L"Expand by a negative ratio."};
            const double cx = (e.xmin + e.xmax) / 2, cy = (e.ymin + e.ymax) / 2;
            const double hw = (e.xmax - e.xmin) / 2 * dx, hh = (e.ymax - e.ymin) / 2 * dy;
            e = {cx - hw, cy - hh, cx + hw, cy + hh};
        } else {
            e = {e.xmin - dx, e.ymin - dy, e.xmax + dx, e.ymax + dy};
        }
        extent_ = e;
    });
}

void* ShapeObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IGeometry)) return static_cast<IGeometry*>(this);
    return nullptr;
}

STDMETHODIMP ShapeObject::get_Envelope(IEnvelope** envelope) {
    return HostCall(L"IGeometry.Envelope", [&] { *Out(envelope) = new EnvelopeObject(Bounds(shape_)); });
}
STDMETHODIMP ShapeObject::get_IsEmpty(VARIANT_BOOL* empty) {
    return HostCall(L"IGeometry.IsEmpty", [&] {
        bool none = true;
        for (const auto& part : shape_.parts) none = none && part.empty();
        *Out(empty) = none ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

void* SpatialReferenceObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<ISpatialReference*>(this);
    return If<ISpatialReference>(iid, this);
}
STDMETHODIMP SpatialReferenceObject::get_Name(BSTR* name) {
    return HostCall(L"ISpatialReference.Name", [&] { *Out(name) = NewBstr(name_); });
}

// ---- Spatial filter and UID ---------------------------------------------------

void* SpatialFilterObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IQueryFilter) || IsEqualIID(iid, IID_ISpatialFilter))
        return static_cast<ISpatialFilter*>(this);
    return nullptr;
}

STDMETHODIMP SpatialFilterObject::get_WhereClause(BSTR* clause) {
    return HostCall(L"IQueryFilter.WhereClause", [&] { *Out(clause) = NewBstr(whereClause); });
}
STDMETHODIMP SpatialFilterObject::put_WhereClause(BSTR clause) {
    return HostCall(L"IQueryFilter.WhereClause", [&] { whereClause = Text(clause); });
}
STDMETHODIMP SpatialFilterObject::get_OutputSpatialReference(BSTR fieldName, ISpatialReference** reference) {
    return HostCall(L"IQueryFilter.OutputSpatialReference", [&] {
        auto found = outputReferences.find(Text(fieldName));
        *Out(reference) = nullptr;
        if (found != outputReferences.end()) Give(reference, found->second);
    });
}
STDMETHODIMP SpatialFilterObject::putref_OutputSpatialReference(BSTR fieldName, ISpatialReference* reference) {
    return HostCall(L"IQueryFilter.OutputSpatialReference",
                    [&] { outputReferences[Text(fieldName)] = reference; });
}
STDMETHODIMP SpatialFilterObject::get_Geometry(IGeometry** value) {
    return HostCall(L"ISpatialFilter.Geometry", [&] { Give(value, geometry); });
}
STDMETHODIMP SpatialFilterObject::putref_Geometry(IGeometry* value) {
    return HostCall(L"ISpatialFilter.Geometry", [&] { geometry = value; });
}
STDMETHODIMP SpatialFilterObject::get_SpatialRel(long* value) {
    return HostCall(L"ISpatialFilter.SpatialRel", [&] { *Out(value) = relation; });
}
STDMETHODIMP SpatialFilterObject::put_SpatialRel(long value) {
    return HostCall(L"ISpatialFilter.SpatialRel", [&] { relation = value; });
}
STDMETHODIMP SpatialFilterObject::get_GeometryField(BSTR* fieldName) {
    return HostCall(L"ISpatialFilter.GeometryField", [&] { *Out(fieldName) = NewBstr(geometryField); });
}
STDMETHODIMP SpatialFilterObject::put_GeometryField(BSTR fieldName) {
    return HostCall(L"ISpatialFilter.GeometryField", [&] { geometryField = Text(fieldName); });
}

void* UidObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<IUID*>(this);
    return If<IUID>(iid, this);
}

STDMETHODIMP UidObject::get_Value(VARIANT* value) {
    return HostCall(L"IUID.Value", [&] {
        VariantInit(Out(value));
        if (!hasValue) return;
        V_BSTR(value) = NewBstr(text);
        V_VT(value) = VT_BSTR;
    });
}

// The value is an identifier in its braced text form; anything else is refused.
STDMETHODIMP UidObject::put_Value(VARIANT value) {
    return HostCall(L"IUID.Value", [&] {
        const VARIANT* v = &value;
        if (V_VT(v) == (VT_VARIANT | VT_BYREF)) v = V_VARIANTREF(v);
        std::wstring candidate;
        if (V_VT(v) == VT_BSTR) candidate = Text(V_BSTR(v));
        else if (V_VT(v) == (VT_BSTR | VT_BYREF)) candidate = Text(*V_BSTRREF(v));
        else throw HostError{DISP_E_TYPEMISMATCH, L"A UID value must be a text."};
        GUID parsed{};
        if (candidate.size() != 38 || candidate.front() != L'{' ||
            FAILED(CLSIDFromString(const_cast<LPOLESTR>(candidate.c_str()), &parsed)))
            throw HostError{E_INVALIDARG, L"\"" + candidate + L"\" is not an identifier in the form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}."};
        text = candidate;
        guid = parsed;
        hasValue = true;
    });
}

// ---- Display --------------------------------------------------------------------

void* DisplayTransformationObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<IDisplayTransformation*>(this);
    return If<IDisplayTransformation>(iid, this);
}

// Device (0, 0) is the top-left corner of the shown extent, device (width,
// height) its bottom-right corner.
STDMETHODIMP DisplayTransformationObject::ToMapPoint(long x, long y, IPoint** point) {
    return HostCall(L"IDisplayTransformation.ToMapPoint", [&] {
        const ViewState& v = *view_;
        const double mapX = v.shown.xmin + x * (v.shown.xmax - v.shown.xmin) / v.width;
        const double mapY = v.shown.ymax - y * (v.shown.ymax - v.shown.ymin) / v.height;
        *Out(point) = new PointObject({mapX, mapY});
    });
}

STDMETHODIMP DisplayTransformationObject::FromMapPoint(IPoint* point, long* x, long* y) {
    return HostCall(L"IDisplayTransformation.FromMapPoint", [&] {
        Out(x);
        Out(y);
        auto* p = Implementation<PointObject>(point);
        if (!p) throw HostError{E_INVALIDARG, L"FromMapPoint needs a point of this host."};
        const ViewState& v = *view_;
        const MapPoint m = p->Value();
        *x = std::lround((m.x - v.shown.xmin) * v.width / (v.shown.xmax - v.shown.xmin));
        *y = std::lround((v.shown.ymax - m.y) * v.height / (v.shown.ymax - v.shown.ymin));
    });
}

void* ScreenDisplayObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<IScreenDisplay*>(this);
    return If<IScreenDisplay>(iid, this);
}

STDMETHODIMP ScreenDisplayObject::get_DisplayTransformation(IDisplayTransformation** transformation) {
    return HostCall(L"IScreenDisplay.DisplayTransformation",
                    [&] { *Out(transformation) = new DisplayTransformationObject(view_); });
}

// ---- Fields and names -----------------------------------------------------------

void* FieldObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<IField*>(this);
    return If<IField>(iid, this);
}
STDMETHODIMP FieldObject::get_Name(BSTR* name) {
    return HostCall(L"IField.Name", [&] { *Out(name) = NewBstr(field_.name); });
}
STDMETHODIMP FieldObject::get_AliasName(BSTR* name) {
    return HostCall(L"IField.AliasName",
                    [&] { *Out(name) = NewBstr(field_.alias.empty() ? field_.name : field_.alias); });
}
STDMETHODIMP FieldObject::get_Type(long* type) {
    return HostCall(L"IField.Type", [&] { *Out(type) = static_cast<long>(field_.type); });
}

void* FieldsObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<IFields*>(this);
    return If<IFields>(iid, this);
}
STDMETHODIMP FieldsObject::get_FieldCount(long* count) {
    return HostCall(L"IFields.FieldCount", [&] { *Out(count) = static_cast<long>(fields_->size()); });
}
STDMETHODIMP FieldsObject::get_Field(long index, IField** field) {
    return HostCall(L"IFields.Field", [&] {
        Out(field);
        if (index < 0 || static_cast<size_t>(index) >= fields_->size())
            throw HostError{E_INVALIDARG, L"There is no field at index " + std::to_wstring(index) + L"."};
        *field = new FieldObject((*fields_)[static_cast<size_t>(index)]);
    });
}

void* WorkspaceNameObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<IWorkspaceName*>(this);
    return If<IWorkspaceName>(iid, this);
}
STDMETHODIMP WorkspaceNameObject::get_PathName(BSTR* path) {
    return HostCall(L"IWorkspaceName.PathName", [&] { *Out(path) = NewBstr(path_); });
}

void* DatasetNameObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IName)) return static_cast<IName*>(this);
    return If<IDatasetName>(iid, this);
}
STDMETHODIMP DatasetNameObject::get_NameString(BSTR* text) {
    return HostCall(L"IName.NameString", [&] { *Out(text) = NewBstr(workspacePath_ + L"|" + name_); });
}
STDMETHODIMP DatasetNameObject::get_Name(BSTR* name) {
    return HostCall(L"IDatasetName.Name", [&] { *Out(name) = NewBstr(name_); });
}
STDMETHODIMP DatasetNameObject::get_WorkspaceName(IWorkspaceName** workspace) {
    return HostCall(L"IDatasetName.WorkspaceName", [&] { *Out(workspace) = new WorkspaceNameObject(workspacePath_); });
}

// ---- Feature classes, features, cursors -------------------------------------------

namespace {

long NextObjectClassId() {
    static long last = 0;
    return ++last;
}

std::shared_ptr<const FieldList> AllFields(std::vector<FieldDefinition> attributes) {
    auto fields = std::make_shared<FieldList>();
    fields->push_back({kObjectIdField, kObjectIdField, FieldType::ObjectId});
    fields->push_back({kShapeField, kShapeField, FieldType::Geometry});
    for (FieldDefinition& field : attributes) {
        if (field.alias.empty()) field.alias = field.name;
        fields->push_back(std::move(field));
    }
    return fields;
}

} // namespace

FeatureClassObject::FeatureClassObject(std::wstring name, std::vector<FieldDefinition> attributes, std::wstring workspacePath)
    : id(NextObjectClassId()), name(std::move(name)), workspacePath(std::move(workspacePath)),
      fields_(AllFields(std::move(attributes))) {}

void* FeatureClassObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClass) || IsEqualIID(iid, IID_IObjectClass) ||
        IsEqualIID(iid, IID_IFeatureClass))
        return static_cast<IFeatureClass*>(this);
    return nullptr;
}

long FeatureClassObject::AddRow(Shape shape, std::vector<Value> values) {
    Extent bounds = Bounds(shape);
    rows_.push_back(Row{std::move(shape), bounds, std::move(values)});
    indexCurrent_ = false;
    return static_cast<long>(rows_.size());
}

std::vector<size_t> FeatureClassObject::RowsMeeting(const Extent& box) {
    if (!indexCurrent_) {
        std::vector<Extent> bounds;
        bounds.reserve(rows_.size());
        for (const Row& row : rows_) bounds.push_back(row.bounds);
        index_.Build(bounds);
        indexCurrent_ = true;
    }
    std::vector<size_t> rows;
    for (size_t i : index_.Candidates(box))
        if (Intersects(rows_[i].shape, box)) rows.push_back(i);
    return rows;
}

// The query geometry as a box: an envelope, or a point as a box of no size.
static Extent QueryBox(IGeometry* geometry) {
    if (auto* envelope = Implementation<EnvelopeObject>(geometry)) return envelope->Value();
    if (auto* point = Implementation<PointObject>(geometry)) {
        const MapPoint p = point->Value();
        return {p.x, p.y, p.x, p.y};
    }
    throw HostError{E_INVALIDARG, L"A spatial filter of this host takes an envelope or a point as its geometry."};
}

std::vector<size_t> FeatureClassObject::Select(IQueryFilter* filter) {
    auto all = [this] {
        std::vector<size_t> rows(rows_.size());
        for (size_t i = 0; i < rows.size(); ++i) rows[i] = i;
        return rows;
    };
    if (!filter) return all();
    auto* spatial = Implementation<SpatialFilterObject>(filter);
    if (!spatial) throw HostError{E_INVALIDARG, L"The filter is not a filter of this host."};
    if (!spatial->whereClause.empty())
        throw HostError{E_NOTIMPL, L"This host does not evaluate where clauses (\"" + spatial->whereClause + L"\")."};
    if (!spatial->geometry) return all();
    if (!spatial->geometryField.empty() && !SameText(spatial->geometryField, kShapeField))
        throw HostError{E_INVALIDARG, L"The feature class " + name + L" has no geometry field named \"" +
                                          spatial->geometryField + L"\"."};
    if (spatial->relation != HOST_SPATIAL_REL_INTERSECTS)
        throw HostError{E_NOTIMPL, L"This host answers only the relation 1 (intersects), not " +
                                       std::to_wstring(spatial->relation) + L"."};
    return RowsMeeting(QueryBox(spatial->geometry.Get()));
}

STDMETHODIMP FeatureClassObject::get_Fields(IFields** fields) {
    return HostCall(L"IClass.Fields", [&] { *Out(fields) = new FieldsObject(fields_); });
}
STDMETHODIMP FeatureClassObject::get_ObjectClassID(long* value) {
    return HostCall(L"IObjectClass.ObjectClassID", [&] { *Out(value) = id; });
}
STDMETHODIMP FeatureClassObject::get_AliasName(BSTR* value) {
    return HostCall(L"IObjectClass.AliasName", [&] { *Out(value) = NewBstr(name); });
}
STDMETHODIMP FeatureClassObject::get_ShapeFieldName(BSTR* fieldName) {
    return HostCall(L"IFeatureClass.ShapeFieldName", [&] { *Out(fieldName) = NewBstr(kShapeField); });
}

STDMETHODIMP FeatureClassObject::Search(IQueryFilter* filter, VARIANT_BOOL recycling, IFeatureCursor** cursor) {
    return HostCall(L"IFeatureClass.Search", [&] {
        Out(cursor);
        ComPtr<IFeatureClass> self(this);
        *cursor = new FeatureCursorObject(self, this, Select(filter));
    });
}

void* FeatureObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IRowBuffer) || IsEqualIID(iid, IID_IObject) ||
        IsEqualIID(iid, IID_IFeature))
        return static_cast<IFeature*>(this);
    return nullptr;
}

// Field 0 is the object id, field 1 the shape, then the attributes.
STDMETHODIMP FeatureObject::get_Value(long index, VARIANT* value) {
    return HostCall(L"IRowBuffer.Value", [&] {
        VariantInit(Out(value));
        if (index < 0 || static_cast<size_t>(index) >= class_->FieldCount())
            throw HostError{E_INVALIDARG, L"There is no field at index " + std::to_wstring(index) + L"."};
        const auto& row = class_->RowAt(row_);
        if (index == 0) {
            V_VT(value) = VT_I4;
            V_I4(value) = static_cast<LONG>(row_ + 1);
        } else if (index == 1) {
            V_UNKNOWN(value) = NewGeometry(row.shape).Detach();
            V_VT(value) = VT_UNKNOWN;
        } else if (static_cast<size_t>(index - 2) < row.values.size()) {
            row.values[static_cast<size_t>(index - 2)].CopyTo(value);
        } else {
            V_VT(value) = VT_NULL;
        }
    });
}

void* ObjectClassObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClass) || IsEqualIID(iid, IID_IObjectClass))
        return static_cast<IObjectClass*>(this);
    return nullptr;
}

STDMETHODIMP FeatureObject::get_Class(IObjectClass** objectClass) {
    return HostCall(L"IObject.Class", [&] {
        ComPtr<IObjectClass> owner;
        if (class_->featuresNameObjectClass)
            owner = Own<IObjectClass>(new ObjectClassObject(owner_));
        else
            owner_.As(&owner);
        Give(objectClass, owner);
    });
}

STDMETHODIMP FeatureObject::get_Shape(IGeometry** shape) {
    return HostCall(L"IFeature.Shape", [&] { Give(shape, NewGeometry(class_->RowAt(row_).shape)); });
}

void* FeatureCursorObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<IFeatureCursor*>(this);
    return If<IFeatureCursor>(iid, this);
}

// At the end: success and no feature.
STDMETHODIMP FeatureCursorObject::NextFeature(IFeature** feature) {
    return HostCall(L"IFeatureCursor.NextFeature", [&] {
        *Out(feature) = nullptr;
        if (next_ >= rows_.size()) return;
        *feature = new FeatureObject(owner_, class_, rows_[next_++]);
    });
}

// ---- Layers ---------------------------------------------------------------------

void* FeatureLayerObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ILayer) || IsEqualIID(iid, IID_IFeatureLayer))
        return static_cast<IFeatureLayer*>(this);
    return If<IDataLayer>(iid, this);
}

STDMETHODIMP FeatureLayerObject::get_FeatureClass(IFeatureClass** featureClass) {
    return HostCall(L"IFeatureLayer.FeatureClass", [&] { Give(featureClass, featureClass_); });
}
STDMETHODIMP FeatureLayerObject::get_Selectable(VARIANT_BOOL* value) {
    return HostCall(L"IFeatureLayer.Selectable", [&] { *Out(value) = selectable ? VARIANT_TRUE : VARIANT_FALSE; });
}
STDMETHODIMP FeatureLayerObject::put_Selectable(VARIANT_BOOL value) {
    return HostCall(L"IFeatureLayer.Selectable", [&] { selectable = value != VARIANT_FALSE; });
}
STDMETHODIMP FeatureLayerObject::get_DataSourceName(IName** value) {
    return HostCall(L"IDataLayer.DataSourceName",
                    [&] { *Out(value) = new DatasetNameObject(class_->name, workspacePath); });
}

void* GroupLayerObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<ILayer*>(this);
    return If<ILayer>(iid, this);
}

void* OtherLayerObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<ILayer*>(this);
    return If<ILayer>(iid, this);
}

void* EnumLayerObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<IEnumLayer*>(this);
    return If<IEnumLayer>(iid, this);
}

// At the end: success and no layer.
STDMETHODIMP EnumLayerObject::Next(ILayer** layer) {
    return HostCall(L"IEnumLayer.Next", [&] {
        *Out(layer) = nullptr;
        if (next_ < layers_.size()) Give(layer, layers_[next_++]);
    });
}

STDMETHODIMP EnumLayerObject::Reset() {
    return HostCall(L"IEnumLayer.Reset", [&] { next_ = 0; });
}

// ---- Map ----------------------------------------------------------------------

MapObject::MapObject() : reference_(Own<ISpatialReference>(new SpatialReferenceObject(L"Unknown"))) {}

void* MapObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<IMap*>(this);
    if (void* found = If<IMap>(iid, this)) return found;
    return If<IActiveView>(iid, this);
}

STDMETHODIMP MapObject::get_Name(BSTR* value) {
    return HostCall(L"IMap.Name", [&] { *Out(value) = NewBstr(name); });
}

STDMETHODIMP MapObject::get_LayerCount(long* count) {
    return HostCall(L"IMap.LayerCount", [&] { *Out(count) = static_cast<long>(layers.size()); });
}

STDMETHODIMP MapObject::get_Layer(long index, ILayer** layer) {
    return HostCall(L"IMap.Layer", [&] {
        Out(layer);
        if (index < 0 || static_cast<size_t>(index) >= layers.size())
            throw HostError{E_INVALIDARG, L"There is no layer at index " + std::to_wstring(index) + L"."};
        Give(layer, layers[static_cast<size_t>(index)]);
    });
}

namespace {

// The identifier a UID names; an empty UID (or none) names every layer.
bool WantedKind(IUID* uid, GUID* kind) {
    if (!uid) return false;
    if (auto* ours = Implementation<UidObject>(uid)) {
        *kind = ours->guid;
        return ours->hasValue;
    }
    throw HostError{E_INVALIDARG, L"The UID is not a UID of this host."};
}

void CollectLayers(const LayerContainer& from, const GUID* kind, bool recursive, std::vector<ComPtr<ILayer>>& into) {
    for (const ComPtr<ILayer>& layer : from.layers) {
        auto* object = Implementation<Object>(layer.Get());
        if (!kind || (object && object->Implements(*kind))) into.push_back(layer);
        if (!recursive) continue;
        if (auto* group = dynamic_cast<LayerContainer*>(object)) CollectLayers(*group, kind, recursive, into);
    }
}

} // namespace

// The layers that implement the UID's interface, in map order; recursive
// descends into group layers, each group's layers following the group.
STDMETHODIMP MapObject::get_Layers(IUID* uid, VARIANT_BOOL recursive, IEnumLayer** result) {
    return HostCall(L"IMap.Layers", [&] {
        Out(result);
        GUID kind{};
        const bool filtered = WantedKind(uid, &kind);
        std::vector<ComPtr<ILayer>> found;
        CollectLayers(*this, filtered ? &kind : nullptr, recursive != VARIANT_FALSE, found);
        *result = new EnumLayerObject(std::move(found));
    });
}

STDMETHODIMP MapObject::get_SpatialReference(ISpatialReference** reference) {
    return HostCall(L"IMap.SpatialReference", [&] { Give(reference, reference_); });
}

STDMETHODIMP MapObject::get_ScreenDisplay(IScreenDisplay** display) {
    return HostCall(L"IActiveView.ScreenDisplay", [&] { *Out(display) = new ScreenDisplayObject(view); });
}

// ---- Document and application -----------------------------------------------------

DocumentObject::DocumentObject() : map(new MapObject()), focusMap_(Own<IMap>(map)) {}

void* DocumentObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<IDocument*>(this);
    if (void* found = If<IDocument>(iid, this)) return found;
    return If<IMxDocument>(iid, this);
}

STDMETHODIMP DocumentObject::get_Title(BSTR* value) {
    return HostCall(L"IDocument.Title", [&] { *Out(value) = NewBstr(title); });
}
STDMETHODIMP DocumentObject::get_FocusMap(IMap** value) {
    return HostCall(L"IMxDocument.FocusMap", [&] { Give(value, focusMap_); });
}
STDMETHODIMP DocumentObject::get_SearchTolerance(double* value) {
    return HostCall(L"IMxDocument.SearchTolerance", [&] { *Out(value) = searchTolerance; });
}
STDMETHODIMP DocumentObject::put_SearchTolerance(double value) {
    return HostCall(L"IMxDocument.SearchTolerance", [&] {
        if (!std::isfinite(value) || value < 0)
            throw HostError{E_INVALIDARG, L"The search tolerance must be a distance of 0 or more, not " + Number(value) + L"."};
        searchTolerance = value;
    });
}

ApplicationObject::ApplicationObject() : document(new DocumentObject()), document_(Own<IDocument>(static_cast<IDocument*>(document))) {}

void* ApplicationObject::Lookup(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<IApplication*>(this);
    if (void* found = If<IApplication>(iid, this)) return found;
    return If<IDispatch>(iid, this);
}

STDMETHODIMP ApplicationObject::get_Document(IDocument** value) {
    return HostCall(L"IApplication.Document", [&] { Give(value, document_); });
}

STDMETHODIMP ApplicationObject::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}
STDMETHODIMP ApplicationObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
}
STDMETHODIMP ApplicationObject::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
    for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}
STDMETHODIMP ApplicationObject::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return DISP_E_MEMBERNOTFOUND;
}

} // namespace snapvane::standin::impl
