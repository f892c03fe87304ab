// WatchedSet: the members of an object set, each carrying one deletion registration of the set's owner.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/SetCollection.h>

namespace Tavrel {

class Object;

// An object is a member exactly while it carries one plain (TreeNode, EventDeleted) registration
// with the owner's callback and the owner as data. The callback hands the event back to the owner,
// which calls RemoveDeleted; the dying object's registrations go with it. Not copyable: a copy of
// the owner makes its own set and registrations.
class WatchedSet {
public:
    WatchedSet(Event::Callback callback, void* owner);
    ~WatchedSet();
    WatchedSet(const WatchedSet&) = delete;
    WatchedSet& operator=(const WatchedSet&) = delete;

    // Registers on the object and adds it; false, with nothing changed, for a member.
    bool Add(Object& object);
    // Drops the registration and the member; false, with nothing changed, for a non-member.
    bool Remove(Object& object);
    void RemoveAll();
    // Takes out the member that is the event's source (the object being destroyed).
    bool RemoveDeleted(const Event& event);

    bool IsMember(const Object* object) const { return m_members.IsMember(object); }
    const SetCollection& GetMembers() const { return m_members; }
    // The live members in walking order.
    std::vector<Object*> GetSnapshot() const { return m_members.GetMembers(); }

private:
    // The members' set lives inside the set's owner, which holds it as a parent holds a child: the
    // clean-up of parentless records after a load leaves it alone.
    class MemberSet : public SetCollection {
    public:
        bool HasOwner() const override { return true; }
    };

    MemberSet m_members;
    Event::Callback m_callback;
    void* m_owner;
};

} // namespace Tavrel
