#include <tavrel/graphics/DecoratedAnnotation.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(DecoratedAnnotation, ClassKind::Creatable)

DecoratedAnnotation::DecoratedAnnotation() = default;

DecoratedAnnotation::DecoratedAnnotation(Object* parent) : Geometric2d(parent) {}

DecoratedAnnotation::DecoratedAnnotation(const DecoratedAnnotation& other) = default;

} // namespace Tavrel
