#include "tool/ShowPictures.h"

#include "tool/HostCalls.h"
#include "viewer/DisplayPicture.h"

#include <limits>

namespace snapvane {

namespace {

// The attribute pairs of the viewer's panel, in the order every field is
// tested: the fragment looked for in the lower-cased alias name, and the
// caption the pair gets on a hit.
struct AttributePair {
    int pair;
    const wchar_t* fragment;
    const wchar_t* caption;
};
constexpr AttributePair kAttributePairs[] = {
    {1, L"ident", L"ID"},
    {2, L"altit", L"Altitude"},
    {3, L"long", L"Longitude"},
    {4, L"lat", L"Latitude"},
    {5, L"comment", L"Comment"},
};

std::wstring LowerCase(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// Every pair starts blank and out of use. Its box is emptied too, so no
// attribute of an earlier feature is ever shown beside a new one.
void ResetAttributePanel(DisplayPicture& viewer) {
    for (const AttributePair& attribute : kAttributePairs) {
        viewer.SetAttributeCaption(attribute.pair, L" ");
        viewer.SetAttributeInUse(attribute.pair, false);
        viewer.ClearAttributeValue(attribute.pair);
    }
}

// A later field that hits the same fragment fills the pair again, so each
// pair ends with the last hitting field.
void FillAttributePanel(DisplayPicture& viewer, const ComPtr<IFeature>& feature, const ComPtr<IFields>& fields) {
    const long fieldCount = Read(fields, &IFields::get_FieldCount);
    if (fieldCount - 1 > std::numeric_limits<std::int16_t>::max()) Raise(ErrorNumber::Overflow);
    for (long index = 1; index <= fieldCount - 1; ++index) {
        for (const AttributePair& attribute : kAttributePairs) {
            std::wstring alias = LowerCase(ReadText(FieldAt(fields, index), &IField::get_AliasName));
            if (alias.find(attribute.fragment) == std::wstring::npos) continue;
            viewer.SetAttributeCaption(attribute.pair, attribute.caption);
            Variant value;
            ReadValue(feature, index, value);
            viewer.SetAttributeValue(attribute.pair, value.get());
            viewer.SetAttributeInUse(attribute.pair, true);
        }
    }
}

// Selecting the first entry shows its picture before the window appears.
void FillChooser(DisplayPicture& viewer, const ToolState& state) {
    viewer.ChooserClear();
    for (int entry = 0; entry < state.PictureCount; ++entry) viewer.ChooserAddItem(state.PictureList[entry]);
    viewer.ChooserSetListIndex(0);
    viewer.ChooserSetEnabled(state.PictureCount != 1);
}

} // namespace

void ShowPictures(const ToolState& state, const ComPtr<IFeature>& feature) {
    ComPtr<IFields> fields = Get(FeatureClassOf(feature), &IClass::get_Fields);
    DisplayPicture& viewer = DisplayPicture::Instance();
    ResetAttributePanel(viewer);
    FillAttributePanel(viewer, feature, fields);
    FillChooser(viewer, state);
    viewer.SetText(kViewerText);
    viewer.Show(1);
}

} // namespace snapvane
