// NotifyingAtomSet: the atom set of a constraint, which tells its owner of every event of its members.
#pragma once

#include <vector>

#include <tavrel/chemistry/AtomSet.h>

namespace Tavrel {

class Atom;
class Event;
class Object;

// An AtomSet bound to its owner: each event a member raises for the set (its deletion) reaches the
// owner's callback after the set has handled it, so a deleted atom is no longer a member by then. A
// copy (the member of a copied owner) starts empty and unbound; the owner's copy binds it and takes
// its atoms (TakeCopies).
class NotifyingAtomSet : public AtomSet {
public:
    using Callback = void (*)(Object& owner, Event& event);

    // A null callback calls nothing.
    NotifyingAtomSet(Object& owner, Callback callback);
    NotifyingAtomSet(const NotifyingAtomSet& other);
    NotifyingAtomSet& operator=(const NotifyingAtomSet&) = delete;

    void ProcessAtomEvent(Event& event) override;

    // Binds the set to the owner's copy and takes the copies, in the running subtree copy, of the
    // source's members that the copied subtree holds (the others are left behind).
    void TakeCopies(Object& owner, Callback callback, const NotifyingAtomSet& source);

    // A subtree copy is running and holds at least one member.
    bool AnyMemberCopied() const;
    // The event is a member's deletion that left the set empty.
    bool IsEmptiedBy(const Event& event) const;

    // The members in set order (for the owner's stored list).
    std::vector<Atom*> GetMembers() const;

private:
    Object* m_owner;
    Callback m_callback;
};

} // namespace Tavrel
