#include <tavrel/graphics/Annotation.h>

#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(Annotation)

Annotation::Annotation()
{
    Object::SetDisplayStyle(1);
}

Annotation::Annotation(Object* parent) : Geometric3d(parent)
{
    const ConstructionScope construction(*this);
    Object::SetDisplayStyle(1);
}

void Annotation::NormalDisplay(DisplayList3D& list)
{
    const Color color = IsSelected() ? Color::Selected() : GetColor();
    list.Add(Text3DPrimitive(GetLabel(), GetXYZ(), color, GetDisplayOID()));
}

} // namespace Tavrel
