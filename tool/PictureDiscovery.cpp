#include "tool/PictureDiscovery.h"

#include "tool/HostCalls.h"

#include <algorithm>
#include <limits>

namespace snapvane {

namespace {

constexpr wchar_t const* kPictureMarkers[] = {L".jpg", L".gif", L".bmp", L".wmf"};
constexpr long kTextFieldType = HOST_FIELD_TYPE_STRING;

// Plain ASCII text, the usual file name, is lower-cased here: the system's
// case mapping costs a call per value, and it maps A to Z no differently.
void MakeLowerCase(std::wstring& text) {
    if (std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; })) {
        for (wchar_t& c : text)
            if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    } else {
        CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    }
}

// The text form of a value; null (and anything without a text form) gives none.
bool TextOf(const VARIANT& value, std::wstring& text) {
    if (V_VT(&value) == VT_BSTR) {
        text = V_BSTR(&value) ? std::wstring(V_BSTR(&value), SysStringLen(V_BSTR(&value))) : std::wstring();
        return true;
    }
    if (V_VT(&value) == VT_NULL || V_VT(&value) == VT_EMPTY) return false;
    Variant converted;
    if (FAILED(VariantChangeType(converted.out(), const_cast<VARIANT*>(&value), VARIANT_ALPHABOOL, VT_BSTR))) return false;
    return TextOf(converted.get(), text);
}

bool ContainsMarker(const VARIANT& value, const wchar_t* marker) {
    std::wstring text;
    if (!TextOf(value, text)) return false;
    MakeLowerCase(text);
    return text.find(marker) != std::wstring::npos;
}

std::int16_t ToInteger16(long value) {
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        Raise(ErrorNumber::Overflow);
    return static_cast<std::int16_t>(value);
}

// Each marker is tested on a fresh read of the value, as the host may hand out
// a new text each time.
bool FieldNamesPicture(const ComPtr<IFeature>& feature, long index) {
    bool found = false;
    for (const wchar_t* marker : kPictureMarkers) {
        Variant value;
        ReadValue(feature, index, value);
        if (ContainsMarker(value.get(), marker)) found = true;
    }
    return found;
}

void AppendEntry(ToolState& state, std::wstring entry) {
    if (static_cast<std::uint16_t>(state.PictureCount) > kPictureListSize - 1) Raise(ErrorNumber::SubscriptOutOfRange);
    state.PictureList[state.PictureCount] = std::move(entry);
    if (state.PictureCount == std::numeric_limits<std::int16_t>::max()) Raise(ErrorNumber::Overflow);
    ++state.PictureCount;
}

} // namespace

bool NamesPicture(const VARIANT& value) {
    for (const wchar_t* marker : kPictureMarkers)
        if (ContainsMarker(value, marker)) return true;
    return false;
}

bool HasPictures(ToolState& state, const ComPtr<IFeature>& feature) {
    bool appended = false;
    ComPtr<IFields> fields = Get(FeatureClassOf(feature), &IClass::get_Fields);
    const std::int16_t lastIndex = ToInteger16(Read(fields, &IFields::get_FieldCount) - 1);
    for (long index = 1; index <= lastIndex; ++index) {
        if (Read(FieldAt(fields, index), &IField::get_Type) != kTextFieldType) continue;
        if (!FieldNamesPicture(feature, index)) continue;
        std::wstring entry = ReadText(FieldAt(fields, index), &IField::get_AliasName) + L": ";
        Variant value;
        ReadValue(feature, index, value);
        std::wstring text;
        TextOf(value.get(), text);
        AppendEntry(state, entry + text);
        appended = true;
    }
    return appended;
}

void SetBasePath(ToolState& state, const ComPtr<ILayer>& layer) {
    ComPtr<IName> name = Get(As<IDataLayer>(layer), &IDataLayer::get_DataSourceName);
    ComPtr<IDatasetName> dataset = As<IDatasetName>(As<IName>(name));
    ComPtr<IWorkspaceName> workspace = Get(dataset, &IDatasetName::get_WorkspaceName);
    state.BasePath = ReadText(workspace, &IWorkspaceName::get_PathName) + L"\\";
}

} // namespace snapvane
