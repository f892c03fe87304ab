#include <tavrel/monitors/FixedAtomConstraint.h>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(FixedAtomConstraint)

FixedAtomConstraint::FixedAtomConstraint(Object* parent) : Constraint(parent) {}

FixedAtomConstraint::FixedAtomConstraint(const BaseCollection& atoms)
{
    m_atoms.AddAtomSet(atoms);
}

FixedAtomConstraint::FixedAtomConstraint(Object* parent, const BaseCollection& atoms) : Constraint(parent)
{
    m_atoms.AddAtomSet(atoms);
}

const PropertyTable& FixedAtomConstraint::Properties()
{
    static const PropertyTable table(
        PropertyList<FixedAtomConstraint>()
            .ReferenceList(
                "Atom Set", [](const FixedAtomConstraint& constraint) { return constraint.m_atoms.GetMembers(); },
                [](FixedAtomConstraint&, std::size_t) {},
                [](FixedAtomConstraint& constraint, std::size_t, Atom* atom) { constraint.m_atoms.Add(atom); })
            .StreamOnly()
            .Field<&FixedAtomConstraint::m_labelFormat>("Label Format")
            .StreamOnly());
    return table;
}

void FixedAtomConstraint::OnAtomEvent(Object& owner, Event& event)
{
    static_cast<FixedAtomConstraint&>(owner).AtomChanged(event);
}

void FixedAtomConstraint::GetAtoms(BaseCollection& out) const
{
    m_atoms.GetAtoms(out);
}

void FixedAtomConstraint::AddAtomA(Atom* atom)
{
    m_atoms.Add(atom);
}

void FixedAtomConstraint::AddAtomSet(const BaseCollection& atoms)
{
    m_atoms.AddAtomSet(atoms);
}

void FixedAtomConstraint::RemoveAtom(Atom* atom)
{
    if (atom)
        m_atoms.RemoveAtom(*atom);
}

void FixedAtomConstraint::RemoveAtomSet(const BaseCollection& atoms)
{
    m_atoms.RemoveAtomSet(atoms);
}

void FixedAtomConstraint::RemoveAllAtoms()
{
    m_atoms.RemoveAllAtoms();
}

LogicalIdentifierSet FixedAtomConstraint::GetLogicalAtoms() const
{
    return m_atoms.GetLogicalAtoms();
}

void FixedAtomConstraint::SetLabelFormat(const char* format)
{
    m_labelFormat = format ? format : "";
}

void FixedAtomConstraint::AtomChanged(Event& event)
{
    if (m_atoms.IsEmptiedBy(event))
        Discard(this);
}

std::string FixedAtomConstraint::FormatLabel(const std::string& label) const
{
    return ApplyLabelFormat(m_labelFormat, label);
}

void FixedAtomConstraint::NormalDisplay(DisplayList3D& list)
{
    OrdCollection atoms;
    GetAtoms(atoms);
    DisplayMarkers(atoms, list);
}

void FixedAtomConstraint::DeepenShallowCopy()
{
    Constraint::DeepenShallowCopy();
    if (const auto* const source = DynCast<FixedAtomConstraint>(GetCopySource()))
        m_atoms.TakeCopies(*this, &OnAtomEvent, source->m_atoms);
}

} // namespace Tavrel
