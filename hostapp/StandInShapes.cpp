#include "hostapp/StandInShapes.h"

#include "standin/Objects.h"

namespace snapvane::hostapp {

bool ShapeOfGeometry(IGeometry* geometry, standin::Shape* shape) {
    if (auto* point = standin::impl::Implementation<standin::impl::PointObject>(geometry)) {
        *shape = standin::Shape::Point(point->Value().x, point->Value().y);
        return true;
    }
    if (auto* other = standin::impl::Implementation<standin::impl::ShapeObject>(geometry)) {
        *shape = other->Value();
        return true;
    }
    return false;
}

} // namespace snapvane::hostapp
