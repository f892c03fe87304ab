// Annotation: a text label placed in model space, drawn as its own label at its position.
#pragma once

#include <string>

#include <tavrel/foundation/Geometric3d.h>

namespace Tavrel {

// The text is the object's label; the position is Geometric3d's. Persists nothing of its own.
class Annotation : public Geometric3d {
    TAVREL_CLASS_CONSTRUCTED(Annotation, Geometric3d, Creatable)
public:
    // Display style 1.
    explicit Annotation(Object* parent);

    // "Label", the alias the class registers.
    std::string GetCommonName() const override;

protected:
    // One text at the position, in the object's colour (the selected colour while selected).
    void NormalDisplay(DisplayList3D& list) override;
};

} // namespace Tavrel
