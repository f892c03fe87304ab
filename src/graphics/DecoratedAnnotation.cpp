#include <tavrel/graphics/DecoratedAnnotation.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(DecoratedAnnotation)

DecoratedAnnotation::DecoratedAnnotation(Object* parent) : Geometric2d(parent) {}

} // namespace Tavrel
