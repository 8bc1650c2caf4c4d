// Finding things in the focus map: the feature with pictures under a click,
// and the layer that shows a feature's class.
#pragma once

#include "tool/ToolState.h"
#include "win32/ComTypes.h"

#include <HostGis.h>

namespace snapvane {

// The identifier of the host's feature-layer interface, which selects the
// feature layers of a map.
constexpr wchar_t kFeatureLayerUid[] = L"{40A9E885-5533-11D0-98BE-00805F7CED21}";

// Searches every selectable top-level feature layer for the first feature
// whose shape intersects the square reaching the tolerance from the point on
// every side. Each such feature that names pictures adds its entries to the
// picture list and replaces the base path; the last of them is returned, or
// none. The walk never stops early.
ComPtr<IFeature> FindFeature(ToolState& state, double tolerance, const ComPtr<IPoint>& point,
                             const ComPtr<IMap>& map);

// The top-level feature layer that shows the feature's class (the last one
// when several do), or none. Layers of other kinds are passed over.
ComPtr<ILayer> FindLayer(const ComPtr<IFeature>& feature, const ComPtr<IMap>& map);

} // namespace snapvane
