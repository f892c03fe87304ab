// Conformer: one alternate-location set of a conformer model, the atoms and bonds that make up one alternate.
#pragma once

#include <cstdint>
#include <unordered_map>

#include <tavrel/conformers/MemberList.h>
#include <tavrel/conformers/StoredList.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/InstanceCount.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class Atom;
class BaseCollection;
class Bond;
class ConformerModel;
class Event;
class OrdCollection;

// Does not own its atoms and bonds (they stay where they are in the tree): it tags each with the
// temporary object property "Conformer" (unless another conformer's tag is already there), listens
// to it, and keeps it by its conformer index. Member changes reach the model as events of this
// level; a hydrogen bonded to a member atom becomes an alternate of the matching hydrogens of the
// other conformers. The owning model is found through ConformerModel's conformer-to-model map.
class Conformer : public Geometric {
    // Persisted as "Conformer Atom List" (the member atoms, an array of object references), "Conformer
    // Bond List" (a reference to the record of a SetCollection of the member bonds, made for the
    // write; records that hold an array of references read too) and "Conformer Model"; tags,
    // registrations and index maps are made again when a load finishes. A copy starts without members: the tree copy adds the copies of the members
    // (DeepenShallowCopy).
    TAVREL_CLASS_CONSTRUCTED(Conformer, Geometric, Creatable)
    TAVREL_EVENT_MASK_LEVEL()
public:
    // Event codes of the Conformer level.
    static constexpr std::uint16_t EventDestroyed = 1;    // first in the destructor
    static constexpr std::uint16_t EventAtomChanged = 2;  // data: a copy of the member's event
    static constexpr std::uint16_t EventAtomRemoved = 4;  // data: the atom
    static constexpr std::uint16_t EventBondChanged = 8;  // data: a copy of the member's event
    static constexpr std::uint16_t EventBondRemoved = 16; // data: the bond

    // The tag a member carries.
    static constexpr const char* tagProperty = "Conformer";
    // The key under which a hydrogen being added pairs with the other conformers' hydrogens.
    static constexpr const char* pairingProperty = "_~_CSN_~_";

    // Display style 1; the objects lose any "Conformer" tag, then join as members.
    Conformer(const BaseCollection& atoms, const BaseCollection& bonds);
    Conformer(Object* parent, const BaseCollection& atoms, const BaseCollection& bonds);
    // Raises EventDestroyed, then lets go of every member (the members stay).
    ~Conformer() override;

    // Exchanges the values of each member atom with the reference conformer's atom of the same
    // conformer index (ConformerAtom); applying twice gives both sides back. Nothing for null.
    virtual void ApplyConformerToReference(Conformer* reference);
    virtual void ApplyReferenceToConformer(Conformer* reference);
    // Disconnect or Reconnect of every member ConformerAtom.
    virtual void Disconnect();
    virtual void Reconnect();
    // Removes every member atom, then every member bond.
    virtual void RemoveAll();
    // For a member: untags it, drops this conformer's registrations on it, forgets it and raises
    // EventAtomRemoved (EventBondRemoved).
    virtual void RemoveConformerAtom(Atom* atom);
    virtual void RemoveConformerBond(Bond* bond);
    // Listens to the object, tags it and keeps it under its conformer index. Nothing for null.
    virtual void AddConformerAtom(Atom* atom);
    virtual void AddConformerAtomSet(const BaseCollection& atoms);
    virtual void AddConformerBond(Bond* bond);
    virtual void AddConformerBondSet(const BaseCollection& bonds);
    // Tags an object that has no tag yet; untags one whose tag names this conformer.
    virtual void AttachObject(Object& object);
    virtual void DetachObject(Object& object);
    // Adds the copies (Base::Copy) of the objects, untagged first.
    virtual void DeepCopyAtomSet(const BaseCollection& atoms);
    virtual void DeepCopyBondSet(const BaseCollection& bonds);
    // Does nothing.
    virtual void UpdateChemistry();

    void RemoveAtomEvents(TreeNode& node);
    void RemoveBondEvents(TreeNode& node);

    bool IsMember(const Atom* atom) const;
    bool IsMember(const Bond* bond) const;
    // The member with the same conformer index as the argument; null when none.
    Atom* GetAlternateAtom(const Atom* atom) const;
    Bond* GetAlternateBond(const Bond* bond) const;
    // The members by ascending conformer index (out is replaced).
    void GetConformerAtomList(OrdCollection& out) const;
    void GetConformerBondList(OrdCollection& out) const;
    // The members in the order they joined, added to out.
    void GetConformerAtomSet(BaseCollection& out) const;
    void GetConformerBondSet(BaseCollection& out) const;
    int GetConformerAtomCount() const;
    int GetConformerBondCount() const;

    ConformerModel* GetConformerModel() const;
    void SetConformerModel(ConformerModel* model);

    // The conformer the object's tag names; null for null or none.
    static Conformer* FindAtomConformer(const Atom* atom);
    static Conformer* FindBondConformer(const Bond* bond);
    static bool CheckAtomConformer(const Conformer* conformer, const Atom* atom);
    static bool CheckBondConformer(const Conformer* conformer, const Bond* bond);
    // The alternates of the object's site (its conformer's model's FindAlternateAtoms).
    static void FindAlternateAtomSet(const Atom* atom, BaseCollection& out);
    static void FindAlternateBondSet(const Bond* bond, BaseCollection& out);

    // The mean position of the member atoms; the origin without any.
    Point3d GetXYZ() const override;
    // Does nothing.
    void SetXYZ(const Point3d& position) override;
    // Every member atom takes the colour, then the conformer.
    void SetColor(const Color& color) override;

    // Tags, registrations and index maps of the members read.
    void FinishLoading(std::uint32_t schema) override;

protected:
    // The members' copies when their common ancestor lies at or below the copy root.
    void DeepenShallowCopy() override;

private:
    friend class ConformerModel;

    static void AtomEvent(Event& event);
    static void BondEvent(Event& event);
    // The hydrogen rule; false when it does not apply.
    bool PairHydrogen(Atom& atom, Bond& bond);
    // Tags, registrations and index entries of the members held.
    void Rebuild();
    // Index maps from the members' present conformer indices.
    void Reindex();
    void Listen(Atom& atom);
    void Listen(Bond& bond);
    // A member joins (is listened to, tagged and indexed) or leaves.
    template <class T>
    void Join(T& object, MemberList<T>& members, std::unordered_map<std::int32_t, T*>& index);
    template <class T>
    void Leave(T& object, MemberList<T>& members, std::unordered_map<std::int32_t, T*>& index);

    MemberList<Atom> m_atoms;
    Uncopied<std::unordered_map<std::int32_t, Atom*>> m_atomIndex;
    MemberList<Bond> m_bonds;
    Uncopied<std::unordered_map<std::int32_t, Bond*>> m_bondIndex;
    StoredList<SetCollection> m_storedBonds;
    // False while the members are only those a record read and finishing has not joined: nothing
    // listens to them or tags them yet, and they may be destroyed without telling the conformer.
    bool m_joined = false;
    // A save looks for conformers only while some exist.
    [[no_unique_address]] InstanceCount<Conformer> m_instances;
};

} // namespace Tavrel
