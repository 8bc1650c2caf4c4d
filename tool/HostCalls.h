// Calls into the host, each raising the host's failure as a run-time error.
// A property that should hold an object but answers none raises "Object
// variable or With block variable not set", as a missing object does.
#pragma once

#include "errors/RuntimeError.h"
#include "win32/ComTypes.h"

#include <HostGis.h>

#include <string>

namespace snapvane {

// An object-valued property: Get(map, &IMap::get_SpatialReference).
template <class Object, class Base, class Result>
ComPtr<Result> Get(const ComPtr<Object>& object, HRESULT (STDMETHODCALLTYPE Base::*property)(Result**)) {
    ComPtr<Result> result;
    Check((Required(object)->*property)(result.GetAddressOf()));
    if (!result) Raise(ErrorNumber::ObjectNotSet);
    return result;
}

// A plain value property: Read(fields, &IFields::get_FieldCount).
template <class Object, class Base, class Value>
Value Read(const ComPtr<Object>& object, HRESULT (STDMETHODCALLTYPE Base::*property)(Value*)) {
    Value value{};
    Check((Required(object)->*property)(&value));
    return value;
}

// A text property: ReadText(field, &IField::get_AliasName).
template <class Object, class Base>
std::wstring ReadText(const ComPtr<Object>& object, HRESULT (STDMETHODCALLTYPE Base::*property)(BSTR*)) {
    Bstr text;
    Check((Required(object)->*property)(text.out()));
    return text.str();
}

// The field at an index of a field list.
inline ComPtr<IField> FieldAt(const ComPtr<IFields>& fields, long index) {
    ComPtr<IField> field;
    Check(Required(fields)->get_Field(index, field.GetAddressOf()));
    if (!field) Raise(ErrorNumber::ObjectNotSet);
    return field;
}

// A feature's value at a field index, as the host returns it.
template <class Row>
void ReadValue(const ComPtr<Row>& row, long index, Variant& value) {
    Check(Required(row)->get_Value(index, value.out()));
}

// The feature's class taken as a feature class, and that class's field list.
inline ComPtr<IFeatureClass> FeatureClassOf(const ComPtr<IFeature>& feature) {
    return As<IFeatureClass>(Get(feature, &IObject::get_Class));
}

} // namespace snapvane
