#include <tavrel/monitors/HarmonicAtomRestraint.h>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(HarmonicAtomRestraint)

HarmonicAtomRestraint::HarmonicAtomRestraint(Object* parent) : Restraint(parent) {}

HarmonicAtomRestraint::HarmonicAtomRestraint(const BaseCollection& atoms)
{
    m_atoms.AddAtomSet(atoms);
}

HarmonicAtomRestraint::HarmonicAtomRestraint(Object* parent, const BaseCollection& atoms) : Restraint(parent)
{
    m_atoms.AddAtomSet(atoms);
}

const PropertyTable& HarmonicAtomRestraint::Properties()
{
    static const PropertyTable table(
        PropertyList<HarmonicAtomRestraint>()
            .ReferenceList(
                "Atom Set", [](const HarmonicAtomRestraint& restraint) { return restraint.m_atoms.GetMembers(); },
                [](HarmonicAtomRestraint&, std::size_t) {},
                [](HarmonicAtomRestraint& restraint, std::size_t, Atom* atom) { restraint.m_atoms.Add(atom); })
            .StreamOnly()
            .Field<&HarmonicAtomRestraint::m_forceConstant>("Force Constant")
            .StreamOnly()
            .Shows("Force Constant")
            .Accessors<&HarmonicAtomRestraint::GetForceConstant, &HarmonicAtomRestraint::SetForceConstant>()
            .Range(0.0)
            .GetText(RealText<&HarmonicAtomRestraint::GetForceConstant>{})
            .Shown()
            .Field<&HarmonicAtomRestraint::m_useMassWeighting>("Use Mass Weighting")
            .StreamOnly()
            .Shows("Use Mass Weighting")
            .Accessors<&HarmonicAtomRestraint::CheckUseMassWeighting, &HarmonicAtomRestraint::SetUseMassWeighting>()
            .Shown(ObjectProperty::CategorySwitch));
    return table;
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
    if (const auto* const source = DynCast<HarmonicAtomRestraint>(GetCopySource()))
        m_atoms.TakeCopies(*this, &OnAtomEvent, source->m_atoms);
}

} // namespace Tavrel
