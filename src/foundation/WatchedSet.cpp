#include <tavrel/foundation/WatchedSet.h>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

WatchedSet::WatchedSet(Event::Callback callback, void* owner) : m_callback(callback), m_owner(owner) {}

WatchedSet::~WatchedSet()
{
    RemoveAll();
}

bool WatchedSet::Add(Object& object)
{
    if (m_members.IsMember(&object))
        return false;
    object.RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, m_callback, false, m_owner, nullptr);
    m_members.Add(&object);
    return true;
}

bool WatchedSet::Remove(Object& object)
{
    if (!m_members.IsMember(&object))
        return false;
    object.UnregisterEvent(TreeNode::classType, TreeNode::EventDeleted, m_callback, false, m_owner, nullptr);
    m_members.Remove(&object);
    return true;
}

void WatchedSet::RemoveAll()
{
    // A member may be in its destruction, past its Object level (a listener of its deletion is taking
    // this set's owner with it): it is reached as the tree node it still is.
    for (TreeNode* member : m_members.GetMemberNodes())
        member->UnregisterEvent(TreeNode::classType, TreeNode::EventDeleted, m_callback, false, m_owner, nullptr);
    m_members.RemoveAll();
}

bool WatchedSet::RemoveDeleted(const Event& event)
{
    // The source is past its Object level already: it is named by its tree node and OID.
    return m_members.RemoveDying(event.GetTreeNode(false), event.GetTreeNodeOID());
}

} // namespace Tavrel
