// FixedAtomConstraint: atoms to be held fixed, labelled through a settable label format.
#pragma once

#include <string>

#include <tavrel/foundation/LogicalIdentifierSet.h>
#include <tavrel/monitors/Constraint.h>
#include <tavrel/monitors/NotifyingAtomSet.h>

namespace Tavrel {

class Atom;
class BaseCollection;
class Event;

// The atoms may lie anywhere in the tree. The constraint deletes itself when the deletion of an atom
// leaves it none; removing atoms never deletes it. It is copied with a subtree that holds at least
// one of its atoms, and the copy holds the copies of those atoms. Drawn as rings about each atom.
//
// Persisted after Constraint's properties as "Atom Set" (the atoms as an array of object references;
// on reading, entries that are not atoms are dropped) and "Label Format" (a text). No text property
// of its own.
class FixedAtomConstraint : public Constraint {
    TAVREL_CLASS(FixedAtomConstraint, Constraint, Creatable)
public:
    static constexpr const char* DefaultLabelFormat = "Fixed:%s";

    // The atoms of the collection; other members are ignored.
    explicit FixedAtomConstraint(const BaseCollection& atoms);
    FixedAtomConstraint(Object* parent, const BaseCollection& atoms);

    // Adds every atom, in set order.
    virtual void GetAtoms(BaseCollection& out) const;
    // Null is ignored; an atom joins once.
    virtual void AddAtomA(Atom* atom);
    virtual void AddAtomSet(const BaseCollection& atoms);
    // Null and non-members are ignored.
    virtual void RemoveAtom(Atom* atom);
    virtual void RemoveAtomSet(const BaseCollection& atoms);
    virtual void RemoveAllAtoms();
    virtual LogicalIdentifierSet GetLogicalAtoms() const;
    // Null empties the format (the label then stands alone).
    virtual void SetLabelFormat(const char* format);
    // Deletes the constraint when the event is the deletion of its last atom.
    virtual void AtomChanged(Event& event);

protected:
    explicit FixedAtomConstraint(Object* parent);
    // Copied only with a subtree that holds one of its atoms at least; without atoms, with any subtree.
    bool ShallowCopyOK() const { return m_atoms.GetSize() == 0 || m_atoms.AnyMemberCopied(); }

    // The label through the label format (Constraint::ApplyLabelFormat).
    std::string FormatLabel(const std::string& label) const override;
    void NormalDisplay(DisplayList3D& list) override;
    // The copy holds the copies of the atoms inside the copied subtree.
    void DeepenShallowCopy() override;

private:
    static void OnAtomEvent(Object& owner, Event& event);

    NotifyingAtomSet m_atoms{*this, &OnAtomEvent};
    std::string m_labelFormat = DefaultLabelFormat;
};

} // namespace Tavrel
