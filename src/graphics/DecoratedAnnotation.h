// DecoratedAnnotation: a two-dimensional annotation drawn with a frame or marker around its text.
#pragma once

#include <tavrel/graphics/Geometric2d.h>

namespace Tavrel {

// Placed on the screen plane (Geometric2d), unlike Annotation; its decorations come with the graphics
// subsystem.
class DecoratedAnnotation : public Geometric2d {
    TAVREL_CLASS(DecoratedAnnotation, Geometric2d, Creatable)
public:
    explicit DecoratedAnnotation(Object* parent);
};

} // namespace Tavrel
