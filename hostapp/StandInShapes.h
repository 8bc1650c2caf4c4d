// The vertices of a stand-in geometry, for drawing. The host contract hands
// the tool geometries without vertices (the tool needs none); the host's own
// drawing reads them from the stand-in objects.
#pragma once

#include "standin/StandIn.h"

namespace snapvane::hostapp {

// False for a geometry that is not one of the stand-in host's.
bool ShapeOfGeometry(IGeometry* geometry, standin::Shape* shape);

} // namespace snapvane::hostapp
