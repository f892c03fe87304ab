#include <tavrel/conformers/ConformerBond.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(ConformerBond)

ConformerBond::ConformerBond(Bondable* atom1, Bondable* atom2, BondType type) : Bond(atom1, atom2, type) {}

ConformerBond::ConformerBond(Object* parent, Bondable* atom1, Bondable* atom2, BondType type)
    : Bond(parent, atom1, atom2, type)
{
}

ConformerBond::ConformerBond(Bondable* atom1, Bondable* atom2, const Bond* source) : Bond(atom1, atom2, Single)
{
    if (source)
        CopyBond(*this, *source);
}

ConformerBond::ConformerBond(Object* parent, Bondable* atom1, Bondable* atom2, const Bond* source)
    : Bond(parent, atom1, atom2, Single)
{
    if (source)
        CopyBond(*this, *source);
}

void ConformerBond::CopyBond(Bond& destination, const Bond& source)
{
    if (&destination == &source)
        return;
    destination.SetColor(source.GetColor());
    destination.SetColorScheme(source.GetColorScheme());
    destination.SetDisplayStyle(source.Object::GetDisplayStyle());
    destination.SetLabel(source.Object::GetLabel());
    destination.SetID(source.GetID());
    destination.SetXYZ(source.GetXYZ());
    if (source.Object::IsVisible())
        destination.SetVisible(false);
    else
        destination.SetInvisible(false);
    if (source.HasConformers())
        destination.SetConformerIndex(source.GetConformerIndex());
    else
        destination.ClearConformerIndex();
    destination.SetIsInRing(source.IsInRing());
    destination.SetType(source.GetType());
    destination.SetOrder(source.GetOrder());
    destination.SetWedge(source.GetWedge());
    destination.CopyProperties(&source);
}

} // namespace Tavrel
