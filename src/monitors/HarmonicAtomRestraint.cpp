#include <tavrel/monitors/HarmonicAtomRestraint.h>

#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS_IDENTITY(HarmonicAtomRestraint, ClassKind::Creatable)

Base* HarmonicAtomRestraint::ShallowCopy() const
{
    return m_atoms.AnyMemberCopied() ? new HarmonicAtomRestraint(*this) : nullptr;
}

HarmonicAtomRestraint::HarmonicAtomRestraint() = default;

HarmonicAtomRestraint::HarmonicAtomRestraint(Object* parent) : Restraint(parent) {}

HarmonicAtomRestraint::HarmonicAtomRestraint(const BaseCollection& atoms)
{
    m_atoms.AddAtomSet(atoms);
}

HarmonicAtomRestraint::HarmonicAtomRestraint(Object* parent, const BaseCollection& atoms) : Restraint(parent)
{
    m_atoms.AddAtomSet(atoms);
}

HarmonicAtomRestraint::HarmonicAtomRestraint(const HarmonicAtomRestraint& other)
    : Restraint(other), m_forceConstant(other.m_forceConstant), m_useMassWeighting(other.m_useMassWeighting)
{
    m_atoms.Assign(other.m_atoms);
}

const PropertyTable& HarmonicAtomRestraint::Properties()
{
    static const PropertyTable table(
        &Restraint::Properties(),
        PropertyList<HarmonicAtomRestraint>()
            .Field<Storage::StorageDouble, &HarmonicAtomRestraint::m_forceConstant>("Force Constant")
            .Shows("Force Constant")
            .GetText(RealText<&HarmonicAtomRestraint::GetForceConstant>{})
            .SetText(RealParse<&HarmonicAtomRestraint::SetForceConstant>{})
            .Described([](const HarmonicAtomRestraint& restraint) {
                return ObjectProperty("Force Constant", restraint.GetForceConstant(), ReadWriteAccess, 0);
            })
            .Field<Storage::StorageBool, &HarmonicAtomRestraint::m_useMassWeighting>("Use Mass Weighting")
            .Shows("Use Mass Weighting")
            .GetText(SwitchText<&HarmonicAtomRestraint::CheckUseMassWeighting>{})
            .SetText(SwitchParse<&HarmonicAtomRestraint::SetUseMassWeighting>{})
            .Described([](const HarmonicAtomRestraint& restraint) {
                return ObjectProperty("Use Mass Weighting", restraint.CheckUseMassWeighting(), ReadWriteAccess, 2);
            }));
    return table;
}

void HarmonicAtomRestraint::GetSetObjectProperties(PropertyArchive& archive)
{
    PropertyPass pass(archive, *this);
    m_atoms.Pass(pass, "Atom Set");
    pass.Table(Properties());
}

void HarmonicAtomRestraint::OnAtomEvent(Object& owner, Event& event)
{
    static_cast<HarmonicAtomRestraint&>(owner).AtomChanged(event);
}

void HarmonicAtomRestraint::GetAtoms(BaseCollection& out) const
{
    m_atoms.GetAtoms(out);
}

double HarmonicAtomRestraint::GetForceConstant() const
{
    return m_forceConstant;
}

void HarmonicAtomRestraint::SetForceConstant(double forceConstant)
{
    m_forceConstant = forceConstant;
}

bool HarmonicAtomRestraint::CheckUseMassWeighting() const
{
    return m_useMassWeighting;
}

void HarmonicAtomRestraint::SetUseMassWeighting(bool use)
{
    m_useMassWeighting = use;
}

LogicalIdentifierSet HarmonicAtomRestraint::GetLogicalAtoms() const
{
    return m_atoms.GetLogicalAtoms();
}

void HarmonicAtomRestraint::AtomChanged(Event& event)
{
    if (m_atoms.IsEmptiedBy(event))
        Discard(this);
}

std::string HarmonicAtomRestraint::FormatLabel(const std::string& label) const
{
    return ApplyLabelFormat(LabelFormat, label);
}

void HarmonicAtomRestraint::NormalDisplay(DisplayList3D& list)
{
    OrdCollection atoms;
    GetAtoms(atoms);
    DisplayMarkers(atoms, list);
}

void HarmonicAtomRestraint::DeepenShallowCopy()
{
    Restraint::DeepenShallowCopy();
    m_atoms.DeepenShallowCopy();
}

} // namespace Tavrel
