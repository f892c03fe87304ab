#include <tavrel/monitors/NotifyingAtomSet.h>

#include <algorithm>
#include <vector>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/PropertyPass.h>

namespace Tavrel {

NotifyingAtomSet::NotifyingAtomSet(Object& owner, Callback callback) : m_owner(owner), m_callback(callback) {}

void NotifyingAtomSet::ProcessAtomEvent(Event& event)
{
    AtomSet::ProcessAtomEvent(event);
    if (m_callback)
        m_callback(m_owner, event);
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

void NotifyingAtomSet::Pass(PropertyPass& pass, std::string_view name)
{
    std::vector<Object*> members;
    if (pass.Is(PropertyArchive::MethodWrite)) {
        members.reserve(static_cast<std::size_t>(GetSize()));
        for (POSITION position = GetStartPosition(); position;)
            members.push_back(GetNext(position));
    }
    pass.Array<Storage::StorageObject>(
        name, [&members] { return members.size(); },
        [&members](std::size_t index) { return index < members.size() ? members[index] : nullptr; },
        [](std::size_t) {}, [this](std::size_t, Base* object) { Add(DynCast<Atom>(object)); });
}

} // namespace Tavrel
