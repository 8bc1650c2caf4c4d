#include "tool/FeatureSearch.h"

#include "tool/HostCalls.h"
#include "tool/PictureDiscovery.h"

namespace snapvane {

namespace {

template <class Interface>
ComPtr<Interface> CreateHostObject(REFCLSID classId) {
    ComPtr<Interface> object;
    Check(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, __uuidof(Interface),
                           reinterpret_cast<void**>(object.GetAddressOf())));
    return object;
}

// The square around the point, made once per search.
ComPtr<ISpatialFilter> ClickFilter(double tolerance, const ComPtr<IPoint>& point) {
    ComPtr<IEnvelope> square = Get(point, &IGeometry::get_Envelope);
    Check(square->Expand(tolerance, tolerance, VARIANT_FALSE));
    auto filter = CreateHostObject<ISpatialFilter>(CLSID_SpatialFilter);
    Check(filter->putref_Geometry(As<IGeometry>(square).Get()));
    Check(filter->put_SpatialRel(HOST_SPATIAL_REL_INTERSECTS));
    return filter;
}

ComPtr<IEnumLayer> TopLevelFeatureLayers(const ComPtr<IMap>& map) {
    auto uid = CreateHostObject<IUID>(CLSID_UID);
    VARIANT value;
    V_VT(&value) = VT_BSTR;
    Bstr text(kFeatureLayerUid);
    V_BSTR(&value) = text.get();
    Check(uid->put_Value(value));
    ComPtr<IEnumLayer> layers;
    Check(map->get_Layers(uid.Get(), VARIANT_FALSE, layers.GetAddressOf()));
    if (!layers) Raise(ErrorNumber::ObjectNotSet);
    return layers;
}

ComPtr<IFeatureLayer> NextFeatureLayer(const ComPtr<IEnumLayer>& layers) {
    ComPtr<ILayer> layer;
    Check(layers->Next(layer.GetAddressOf()));
    if (!layer) return ComPtr<IFeatureLayer>();
    return As<IFeatureLayer>(layer);
}

// The first feature that the layer's query yields, in the map's coordinates.
ComPtr<IFeature> FirstFeatureUnderFilter(const ComPtr<IFeatureLayer>& layer, const ComPtr<ISpatialFilter>& filter,
                                         const ComPtr<IMap>& map) {
    Bstr shapeField(ReadText(Get(layer, &IFeatureLayer::get_FeatureClass), &IFeatureClass::get_ShapeFieldName));
    ComPtr<ISpatialReference> reference;
    Check(map->get_SpatialReference(reference.GetAddressOf()));
    Check(filter->putref_OutputSpatialReference(shapeField.get(), reference.Get()));
    Bstr geometryField(ReadText(Get(layer, &IFeatureLayer::get_FeatureClass), &IFeatureClass::get_ShapeFieldName));
    Check(filter->put_GeometryField(geometryField.get()));
    ComPtr<IFeatureCursor> cursor;
    Check(Get(layer, &IFeatureLayer::get_FeatureClass)
              ->Search(As<IQueryFilter>(filter).Get(), VARIANT_FALSE, cursor.GetAddressOf()));
    if (!cursor) Raise(ErrorNumber::ObjectNotSet);
    ComPtr<IFeature> feature;
    Check(cursor->NextFeature(feature.GetAddressOf()));
    return feature;
}

} // namespace

ComPtr<IFeature> FindFeature(ToolState& state, double tolerance, const ComPtr<IPoint>& point,
                             const ComPtr<IMap>& map) {
    ComPtr<IFeature> result;
    if (Read(map, &IMap::get_LayerCount) == 0) return result;
    ComPtr<ISpatialFilter> filter = ClickFilter(tolerance, point);
    ComPtr<IEnumLayer> layers = TopLevelFeatureLayers(map);
    Check(layers->Reset());
    for (ComPtr<IFeatureLayer> layer = NextFeatureLayer(layers); layer; layer = NextFeatureLayer(layers)) {
        if (!Read(layer, &IFeatureLayer::get_Selectable)) continue;
        ComPtr<IFeature> feature = FirstFeatureUnderFilter(layer, filter, map);
        if (feature && HasPictures(state, feature)) {
            result = feature;
            SetBasePath(state, As<ILayer>(layer));
        }
    }
    return result;
}

ComPtr<ILayer> FindLayer(const ComPtr<IFeature>& feature, const ComPtr<IMap>& map) {
    ComPtr<ILayer> result;
    ComPtr<IFeatureClass> featureClass = FeatureClassOf(feature);
    const long layerCount = Read(map, &IMap::get_LayerCount);
    for (long index = 0; index < layerCount; ++index) {
        ComPtr<ILayer> layer;
        Check(map->get_Layer(index, layer.GetAddressOf()));
        // Group layers and other kinds show no feature class of their own.
        ComPtr<IFeatureLayer> featureLayer;
        if (!layer || FAILED(layer.As(&featureLayer)) || !featureLayer) continue;
        ComPtr<IFeatureClass> layerClass = Get(featureLayer, &IFeatureLayer::get_FeatureClass);
        if (Read(layerClass, &IObjectClass::get_ObjectClassID) == Read(featureClass, &IObjectClass::get_ObjectClassID))
            result = As<ILayer>(featureLayer);
    }
    return result;
}

} // namespace snapvane
