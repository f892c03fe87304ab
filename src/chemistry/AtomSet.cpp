#include <tavrel/chemistry/AtomSet.h>

#include <vector>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/foundation/Event.h>

namespace Tavrel {

AtomSet::AtomSet() = default;

AtomSet::AtomSet(const BaseCollection& collection)
{
    AddAtomSet(collection);
}

AtomSet::AtomSet(const AtomSet& other)
{
    AddAtomSet(other.m_members.GetMembers());
}

AtomSet& AtomSet::operator=(const AtomSet& other)
{
    if (this != &other) {
        RemoveAllAtoms();
        AddAtomSet(other.m_members.GetMembers());
    }
    return *this;
}

AtomSet::~AtomSet()
{
    RemoveAllAtoms();
}

void AtomSet::Add(Atom* atom)
{
    if (atom)
        AddAtomA(*atom);
}

void AtomSet::AddAtomA(Atom& atom)
{
    m_members.Add(atom);
}

void AtomSet::AddAtomSet(const BaseCollection& collection)
{
    for (POSITION position = collection.GetStartPosition(); position;)
        Add(DynCast<Atom>(collection.GetNext(position)));
}

bool AtomSet::CheckMember(const Object* object) const
{
    return m_members.IsMember(object);
}

void AtomSet::RemoveAtom(Atom& atom)
{
    m_members.Remove(atom);
}

void AtomSet::RemoveAtomSet(const BaseCollection& collection)
{
    for (POSITION position = collection.GetStartPosition(); position;) {
        if (Atom* const atom = DynCast<Atom>(collection.GetNext(position)))
            RemoveAtom(*atom);
    }
}

void AtomSet::RemoveAllAtoms()
{
    m_members.RemoveAll();
}

void AtomSet::GetAtoms(BaseCollection& out) const
{
    for (Object* member : m_members.GetSnapshot())
        out.Add(member);
}

LogicalIdentifierSet AtomSet::GetLogicalAtoms() const
{
    return LogicalIdentifierSet(m_members.GetMembers());
}

int AtomSet::GetSize() const
{
    return m_members.GetMembers().GetSize();
}

POSITION AtomSet::GetStartPosition() const
{
    return m_members.GetMembers().GetStartPosition();
}

Object* AtomSet::GetNext(POSITION& position) const
{
    return m_members.GetMembers().GetNext(position);
}

void AtomSet::AtomDeleted(Event& event)
{
    static_cast<AtomSet*>(event.GetData())->ProcessAtomEvent(event);
}

void AtomSet::ProcessAtomEvent(Event& event)
{
    if (event.CheckType(TreeNode::classType, TreeNode::EventDeleted))
        m_members.RemoveDeleted(event);
}

void AtomSet::DeepenShallowCopy()
{
    const TreeNode* const copyRoot = TreeNode::GetCopyRoot();
    if (!copyRoot)
        return;
    const std::vector<Object*> former = m_members.GetSnapshot();
    RemoveAllAtoms();
    for (const Object* member : former) {
        if (TreeNode::IsInsideCopy(member))
            Add(DynCast<Atom>(member->Copy()));
    }
}

} // namespace Tavrel
