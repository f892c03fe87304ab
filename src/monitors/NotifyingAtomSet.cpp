#include <tavrel/monitors/NotifyingAtomSet.h>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/foundation/Event.h>

namespace Tavrel {

NotifyingAtomSet::NotifyingAtomSet(Object& owner, Callback callback) : m_owner(&owner), m_callback(callback) {}

NotifyingAtomSet::NotifyingAtomSet(const NotifyingAtomSet&) : AtomSet(), m_owner(nullptr), m_callback(nullptr) {}

void NotifyingAtomSet::ProcessAtomEvent(Event& event)
{
    AtomSet::ProcessAtomEvent(event);
    if (m_owner && m_callback)
        m_callback(*m_owner, event);
}

void NotifyingAtomSet::TakeCopies(Object& owner, Callback callback, const NotifyingAtomSet& source)
{
    m_owner = &owner;
    m_callback = callback;
    for (Atom* const member : source.GetMembers()) {
        if (TreeNode::IsInsideCopy(member))
            Add(DynCast<Atom>(member->Copy()));
    }
}

bool NotifyingAtomSet::AnyMemberCopied() const
{
    for (POSITION position = GetStartPosition(); position;) {
        if (TreeNode::IsInsideCopy(GetNext(position)))
            return true;
    }
    return false;
}

bool NotifyingAtomSet::IsEmptiedBy(const Event& event) const
{
    return event.CheckType(TreeNode::classType, TreeNode::EventDeleted) && GetSize() == 0;
}

std::vector<Atom*> NotifyingAtomSet::GetMembers() const
{
    std::vector<Atom*> members;
    members.reserve(static_cast<std::size_t>(GetSize()));
    for (POSITION position = GetStartPosition(); position;)
        members.push_back(static_cast<Atom*>(GetNext(position)));
    return members;
}

} // namespace Tavrel
