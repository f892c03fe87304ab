// HarmonicAtomRestraint: atoms held near their positions by a harmonic term, optionally mass-weighted.
#pragma once

#include <string>

#include <tavrel/foundation/LogicalIdentifierSet.h>
#include <tavrel/monitors/NotifyingAtomSet.h>
#include <tavrel/monitors/Restraint.h>

namespace Tavrel {

class BaseCollection;
class Event;

// The atoms come from the constructor, a copy or a load; they may lie anywhere in the tree. The
// restraint deletes itself when the deletion of an atom leaves it none. It is copied with a subtree
// that holds at least one of its atoms, and the copy holds the copies of those atoms. Drawn as rings
// about each atom; labelled "Harmonic:" and its label.
//
// Persisted after Restraint's properties as "Atom Set" (the atoms as an array of object references;
// on reading, entries that are not atoms are dropped), "Force Constant" (a double) and "Use Mass
// Weighting" (a boolean). Text interface: "Force Constant" ("%f"; set from a number that is not
// negative) and "Use Mass Weighting" ("true" or "false"; set from what StringUtils::StringToBoolean
// takes).
class HarmonicAtomRestraint : public Restraint {
    TAVREL_CLASS(HarmonicAtomRestraint, Restraint, Creatable)
public:
    static constexpr const char* LabelFormat = "Harmonic:%s";

    // The atoms of the collection; other members are ignored. Force constant 1, mass-weighted.
    explicit HarmonicAtomRestraint(const BaseCollection& atoms);
    HarmonicAtomRestraint(Object* parent, const BaseCollection& atoms);

    // Adds every atom, in set order.
    virtual void GetAtoms(BaseCollection& out) const;
    virtual double GetForceConstant() const;
    virtual void SetForceConstant(double forceConstant);
    virtual bool CheckUseMassWeighting() const;
    virtual void SetUseMassWeighting(bool use);
    virtual LogicalIdentifierSet GetLogicalAtoms() const;
    // Deletes the restraint when the event is the deletion of its last atom.
    virtual void AtomChanged(Event& event);

protected:
    explicit HarmonicAtomRestraint(Object* parent);
    // Copied only with a subtree that holds one of its atoms at least; without atoms, with any subtree.
    bool ShallowCopyOK() const { return m_atoms.GetSize() == 0 || m_atoms.AnyMemberCopied(); }

    std::string FormatLabel(const std::string& label) const override;
    void NormalDisplay(DisplayList3D& list) override;
    // The copy holds the copies of the atoms inside the copied subtree.
    void DeepenShallowCopy() override;

private:
    static void OnAtomEvent(Object& owner, Event& event);

    NotifyingAtomSet m_atoms{*this, &OnAtomEvent};
    double m_forceConstant = 1.0;
    bool m_useMassWeighting = true;
};

} // namespace Tavrel
