#include <tavrel/chemistry/PseudoAtom.h>

#include <tavrel/core/Font.h>
#include <tavrel/core/GraphicsPrimitives.h>

namespace Tavrel {

PseudoAtom::PseudoAtom(Object* parent) : Atom3d(parent, UnknownElementType) {}

PseudoAtom::PseudoAtom(Object* parent, std::string_view label, const Color& color) : PseudoAtom(parent)
{
    const ConstructionScope construction(*this);
    SetLabel(label);
    SetColor(color);
}

std::string PseudoAtom::GetElementSymbol() const
{
    std::string label = Object::GetLabel();
    return label.empty() ? GetCommonName() : label;
}

void PseudoAtom::NormalDisplay(DisplayList3D& list)
{
    Atom::NormalDisplay(list);
    list.Add(Text3DPrimitive(GetTagText(), GetAnnotationXYZ(), 0.0, GetColor(), Font::DefaultBigFont(), GetOID()));
}

} // namespace Tavrel
