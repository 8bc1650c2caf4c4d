#include "tool/ShowPictures.h"

#include "tool/HostCalls.h"
#include "viewer/DisplayPicture.h"

#include <array>
#include <iterator>
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

// What one pair of the panel shows for a feature: blank and out of use
// unless a field hits its fragment.
struct PairContent {
    const wchar_t* caption = L" ";
    Variant value;
    bool inUse = false;
};
using PanelContents = std::array<PairContent, std::size(kAttributePairs)>;

// A later field that hits the same fragment fills the pair again, so each
// pair ends with the last hitting field.
void ReadAttributePanel(PanelContents& contents, const ComPtr<IFeature>& feature, const ComPtr<IFields>& fields) {
    const long fieldCount = Read(fields, &IFields::get_FieldCount);
    if (fieldCount - 1 > std::numeric_limits<std::int16_t>::max()) Raise(ErrorNumber::Overflow);
    for (long index = 1; index <= fieldCount - 1; ++index) {
        for (size_t k = 0; k < std::size(kAttributePairs); ++k) {
            std::wstring alias = LowerCase(ReadText(FieldAt(fields, index), &IField::get_AliasName));
            if (alias.find(kAttributePairs[k].fragment) == std::wstring::npos) continue;
            contents[k].caption = kAttributePairs[k].caption;
            ReadValue(feature, index, contents[k].value);
            contents[k].inUse = true;
        }
    }
}

// Each box is given its final state once; a box out of use is emptied, so
// no attribute of an earlier feature is ever shown beside a new one.
void ShowAttributePanel(DisplayPicture& viewer, const PanelContents& contents) {
    for (size_t k = 0; k < std::size(kAttributePairs); ++k) {
        const int pair = kAttributePairs[k].pair;
        viewer.SetAttributeCaption(pair, contents[k].caption);
        if (contents[k].inUse) viewer.SetAttributeValue(pair, contents[k].value.get());
        else viewer.ClearAttributeValue(pair);
        viewer.SetAttributeInUse(pair, contents[k].inUse);
    }
}

// The panel is read whole before it is shown; a read that fails leaves it
// blank rather than holding the earlier feature's attributes.
void FillAttributePanel(DisplayPicture& viewer, const ComPtr<IFeature>& feature, const ComPtr<IFields>& fields) {
    PanelContents contents;
    try {
        ReadAttributePanel(contents, feature, fields);
    } catch (...) {
        ShowAttributePanel(viewer, PanelContents{});
        throw;
    }
    ShowAttributePanel(viewer, contents);
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
    FillAttributePanel(viewer, feature, fields);
    FillChooser(viewer, state);
    viewer.SetText(kViewerText);
    viewer.Show(1);
}

} // namespace snapvane
