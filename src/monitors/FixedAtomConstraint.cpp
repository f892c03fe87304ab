#include <tavrel/monitors/FixedAtomConstraint.h>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS_IDENTITY(FixedAtomConstraint, ClassKind::Creatable)

Base* FixedAtomConstraint::ShallowCopy() const
{
    return m_atoms.AnyMemberCopied() ? new FixedAtomConstraint(*this) : nullptr;
}

FixedAtomConstraint::FixedAtomConstraint() = default;

FixedAtomConstraint::FixedAtomConstraint(Object* parent) : Constraint(parent) {}

FixedAtomConstraint::FixedAtomConstraint(const BaseCollection& atoms)
{
    m_atoms.AddAtomSet(atoms);
}

FixedAtomConstraint::FixedAtomConstraint(Object* parent, const BaseCollection& atoms) : Constraint(parent)
{
    m_atoms.AddAtomSet(atoms);
}

FixedAtomConstraint::FixedAtomConstraint(const FixedAtomConstraint& other)
    : Constraint(other), m_labelFormat(other.m_labelFormat)
{
    m_atoms.Assign(other.m_atoms);
}

const PropertyTable& FixedAtomConstraint::Properties()
{
    static const PropertyTable table(
        &Constraint::Properties(),
        PropertyList<FixedAtomConstraint>().Field<Storage::StorageString, &FixedAtomConstraint::m_labelFormat>(
            "Label Format"));
    return table;
}

void FixedAtomConstraint::GetSetObjectProperties(PropertyArchive& archive)
{
    PropertyPass pass(archive, *this);
    m_atoms.Pass(pass, "Atom Set");
    pass.Table(Properties());
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
    m_atoms.DeepenShallowCopy();
}

} // namespace Tavrel
