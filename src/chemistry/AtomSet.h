// AtomSet: a set of atoms that drops each member when it is destroyed.
#pragma once

#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/LogicalIdentifierSet.h>
#include <tavrel/foundation/WatchedSet.h>

namespace Tavrel {

class Atom;
class Event;

// The atoms of a constraint or a monitor. Only atoms join; a member leaves during its deleted event,
// before its memory goes. The set never owns its members.
class AtomSet {
public:
    AtomSet();
    // AddAtomSet of the collection.
    explicit AtomSet(const BaseCollection& collection);
    AtomSet(const AtomSet& other);
    // RemoveAllAtoms, then the other set's members.
    AtomSet& operator=(const AtomSet& other);
    virtual ~AtomSet();

    // Null is ignored.
    void Add(Atom* atom);
    // Adds a non-member with its deletion registration.
    void AddAtomA(Atom& atom);
    // The atoms of the collection, in its walking order; other objects are skipped.
    void AddAtomSet(const BaseCollection& collection);
    bool CheckMember(const Object* object) const;
    // Drops the set's registration from the atom and the atom from the set.
    void RemoveAtom(Atom& atom);
    void RemoveAtomSet(const BaseCollection& collection);
    void RemoveAllAtoms();

    // Adds every member to out.
    void GetAtoms(BaseCollection& out) const;
    LogicalIdentifierSet GetLogicalAtoms() const;
    int GetSize() const;
    POSITION GetStartPosition() const;
    Object* GetNext(POSITION& position) const;

    // The registration's callback: hands the event to the set named by its data.
    static void AtomDeleted(Event& event);
    // On (TreeNode, EventDeleted): takes the destroyed atom out of the set.
    virtual void ProcessAtomEvent(Event& event);
    // For an owner being copied: while a TreeCopy runs, the members inside the copied subtree are
    // replaced by their copies and the others leave (copying them would copy their whole tree);
    // outside a tree copy nothing changes.
    virtual void DeepenShallowCopy();

private:
    WatchedSet m_members{&AtomDeleted, this};
};

} // namespace Tavrel
