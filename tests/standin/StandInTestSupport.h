// Small helpers for driving the stand-in host through its COM interfaces.
#pragma once

#include "standin/StandIn.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace standin_test {

using snapvane::Bstr;
using snapvane::ComPtr;

constexpr wchar_t kFeatureLayerUid[] = L"{40A9E885-5533-11D0-98BE-00805F7CED21}";


// The names an enumeration yields, from Reset to the end.
inline std::vector<std::wstring> Names(IEnumLayer* layers) {
    std::vector<std::wstring> names;
    EXPECT_EQ(layers->Reset(), S_OK);
    for (;;) {
        ComPtr<ILayer> layer;
        EXPECT_EQ(layers->Next(layer.GetAddressOf()), S_OK);
        if (!layer) break;
        Bstr name;
        layer->get_Name(name.out());
        names.push_back(name.str());
    }
    return names;
}

// The description the last failing call left as the thread's error information.
inline std::wstring ErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.GetAddressOf()) != S_OK || !info) return L"(no error information)";
    Bstr text;
    info->GetDescription(text.out());
    return text.str();
}

} // namespace standin_test
