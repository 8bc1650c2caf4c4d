// Decides whether a feature names picture files and collects the naming
// attribute values in the picture list; derives the base path from a layer.
#pragma once

#include "tool/ToolState.h"
#include "win32/ComTypes.h"

#include <HostGis.h>

#include <string>

namespace snapvane {

// True when the text names a picture: its lower-cased form contains ".jpg",
// ".gif", ".bmp" or ".wmf" anywhere. A null or empty value never does.
bool NamesPicture(const VARIANT& value);

// Appends one entry per picture-naming text field of the feature (field 0 is
// never examined) and answers whether it appended any. A full list raises
// "Subscript out of range" before anything more is stored.
bool HasPictures(ToolState& state, const ComPtr<IFeature>& feature);

// Replaces the base path with the folder of the layer's data followed by "\".
void SetBasePath(ToolState& state, const ComPtr<ILayer>& layer);

} // namespace snapvane
