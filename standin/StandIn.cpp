// The builder: plain C++ calls that put the stand-in objects together. None of
// them is a host operation, so none is logged or can be made to fail.
#include "standin/Objects.h"

#include <cmath>
#include <stdexcept>

namespace snapvane::standin {

using namespace impl;

Value Value::Date(double automationDate) {
    Value value(automationDate);
    value.type_ = VT_DATE;
    return value;
}

void Value::CopyTo(VARIANT* out) const {
    VariantInit(out);
    switch (type_) {
    case VT_BSTR:
        V_BSTR(out) = SysAllocStringLen(text_.data(), static_cast<UINT>(text_.size()));
        if (!V_BSTR(out)) throw std::bad_alloc();
        break;
    case VT_I4: V_I4(out) = integer_; break;
    case VT_R8: V_R8(out) = number_; break;
    case VT_DATE: V_DATE(out) = number_; break;
    default: break;
    }
    V_VT(out) = type_;
}

// ---- Feature classes and layers ---------------------------------------------

long FeatureClass::AddFeature(Shape shape, std::vector<Value> values) {
    return impl_->AddRow(std::move(shape), std::move(values));
}

long FeatureClass::ObjectClassId() const { return impl_->id; }
void FeatureClass::FeaturesNameAnObjectClass() { impl_->featuresNameObjectClass = true; }
ComPtr<IFeatureClass> FeatureClass::Get() const { return object_; }

FeatureLayer& FeatureLayer::Selectable(bool selectable) {
    impl_->selectable = selectable;
    return *this;
}

FeatureLayer& FeatureLayer::Visible(bool visible) {
    impl_->visible = visible;
    return *this;
}

FeatureLayer& FeatureLayer::Workspace(std::wstring path) {
    impl_->workspacePath = std::move(path);
    return *this;
}

ComPtr<ILayer> FeatureLayer::Get() const { return object_; }

FeatureLayer LayerList::AddFeatureLayer(std::wstring name, const FeatureClass& featureClass) {
    auto* layer = new FeatureLayerObject(std::move(name), featureClass.object_, featureClass.impl_);
    ComPtr<ILayer> owner = Own<ILayer>(static_cast<IFeatureLayer*>(layer));
    container_->layers.push_back(owner);
    return FeatureLayer(owner, layer);
}

LayerList LayerList::AddGroupLayer(std::wstring name) {
    auto* group = new GroupLayerObject(std::move(name));
    ComPtr<ILayer> owner = Own<ILayer>(group);
    container_->layers.push_back(owner);
    return LayerList(owner, group);
}

ComPtr<ILayer> LayerList::AddOtherLayer(std::wstring name) {
    ComPtr<ILayer> owner = Own<ILayer>(new OtherLayerObject(std::move(name)));
    container_->layers.push_back(owner);
    return owner;
}

// ---- The host -------------------------------------------------------------------

StandInHost::StandInHost()
    : app_(new ApplicationObject()), document_(app_->document), map_(document_->map) {
    application_ = Own<IApplication>(app_);
}

StandInHost::~StandInHost() = default;

FeatureClass StandInHost::NewFeatureClass(std::wstring name, std::vector<FieldDefinition> attributes,
                                          std::wstring workspacePath) {
    auto* featureClass = new FeatureClassObject(std::move(name), std::move(attributes), std::move(workspacePath));
    return FeatureClass(Own<IFeatureClass>(featureClass), featureClass);
}

LayerList StandInHost::Layers() { return LayerList(nullptr, map_); }

void StandInHost::SetSearchTolerance(double mapUnits) {
    if (!std::isfinite(mapUnits) || mapUnits < 0)
        throw std::invalid_argument("the search tolerance must be a distance of 0 or more");
    document_->searchTolerance = mapUnits;
}

double StandInHost::SearchTolerance() const { return document_->searchTolerance; }

void StandInHost::SetView(long width, long height, Extent shown) {
    if (width <= 0 || height <= 0) throw std::invalid_argument("the view needs a device of at least one pixel");
    if (!(shown.xmax > shown.xmin) || !(shown.ymax > shown.ymin) || !std::isfinite(shown.xmax - shown.xmin) ||
        !std::isfinite(shown.ymax - shown.ymin))
        throw std::invalid_argument("the view's extent must have a width and a height");
    // A new state, so transformations handed out earlier keep the view they
    // were made for.
    map_->view = std::make_shared<ViewState>(ViewState{width, height, shown});
}

StandInHost::View StandInHost::CurrentView() const {
    const ViewState& view = *map_->view;
    return {view.width, view.height, view.shown};
}

void StandInHost::SetDocumentTitle(std::wstring title) { document_->title = std::move(title); }

ComPtr<IApplication> StandInHost::Application() const { return application_; }

ComPtr<IDispatch> StandInHost::Hook() const {
    ComPtr<IDispatch> hook;
    application_.As(&hook);
    return hook;
}

ComPtr<IMxDocument> StandInHost::Document() const {
    return ComPtr<IMxDocument>(static_cast<IMxDocument*>(document_));
}

ComPtr<IMap> StandInHost::FocusMap() const { return ComPtr<IMap>(static_cast<IMap*>(map_)); }

} // namespace snapvane::standin
