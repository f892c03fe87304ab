#include <tavrel/graphics/Annotation.h>

#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(Annotation)

Annotation::Annotation()
{
    // The first instance built is the prototype.
    static const bool named = (SetCommonName("Label"), true);
    static_cast<void>(named);
    Object::SetDisplayStyle(1);
}

Annotation::Annotation(Object* parent) : Geometric3d(parent)
{
    const ConstructionScope construction(*this);
    Object::SetDisplayStyle(1);
}

std::string Annotation::GetCommonName() const
{
    return "Label";
}

void Annotation::NormalDisplay(DisplayList3D& list)
{
    const Color color = IsSelected() ? Color::Selected() : GetColor();
    list.Add(Text3DPrimitive(GetLabel(), GetXYZ(), color, GetDisplayOID()));
}

} // namespace Tavrel
