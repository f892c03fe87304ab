// NotifyingAtomSet: the atom set of a constraint, which tells its owner of every event of its members.
#pragma once

#include <string_view>

#include <tavrel/chemistry/AtomSet.h>

namespace Tavrel {

class Event;
class Object;
class PropertyPass;

// An AtomSet bound to its owner: each event a member raises for the set (its deletion) reaches the
// owner's callback after the set has handled it, so a deleted atom is no longer a member by then.
// Not copyable: the owner's copy binds a set of its own.
class NotifyingAtomSet : public AtomSet {
public:
    using Callback = void (*)(Object& owner, Event& event);

    // A null callback calls nothing.
    NotifyingAtomSet(Object& owner, Callback callback);
    NotifyingAtomSet(const NotifyingAtomSet&) = delete;
    NotifyingAtomSet& operator=(const NotifyingAtomSet&) = delete;

    void ProcessAtomEvent(Event& event) override;

    // The other set's members become this set's (each with this set's own watch).
    void Assign(const AtomSet& other) { AtomSet::operator=(other); }

    // A subtree copy is running and holds at least one member.
    bool AnyMemberCopied() const;
    // The event is a member's deletion that left the set empty.
    bool IsEmptiedBy(const Event& event) const;

    // The owner's property-stream line of the set: the members in set order as an array of object
    // references; each element read that is an atom joins (once, with its deletion watch), any
    // other is dropped. A set has no index, so the line is written from a snapshot of the members
    // rather than from a table entry.
    void Pass(PropertyPass& pass, std::string_view name);

private:
    Object& m_owner;
    Callback m_callback;
};

} // namespace Tavrel
