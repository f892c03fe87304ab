// ConformerModel: the alternate locations of part of a structure as explicit conformers tied to a reference conformer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <tavrel/conformers/MemberList.h>
#include <tavrel/foundation/EventSet.h>
#include <tavrel/foundation/InstanceCount.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class Atom;
class BaseCollection;
class Bond;
class Conformer;
class Event;
class OrdCollection;
class TypedObjectSet;

// Owns its reference conformer (the structure's atoms and bonds that have alternates; parentless,
// held by the model) and holds its other conformers, its children, in its conformer set. Atoms and
// bonds standing for the same site carry the same conformer index, and the typed set of that index
// holds the reference's member and every alternate. Applying a conformer exchanges its values with
// the reference's; label, element, formal-charge and bond-type edits on one member of a site reach
// the others; removing one member of a site deletes the rest of it. An EventSet guards the handlers
// against re-entry.
class ConformerModel : public Object {
    // Persisted as "Conformer Model Reference", "Conformer Model Conformer List" (an array of object
    // references) and "Conformer Model Occupant"; the index maps and sets are rebuilt when a load
    // finishes. A copy takes the label maps; its sites, reference, conformers and occupant come when
    // the tree copy deepens it.
    TAVREL_CLASS_CONSTRUCTED(ConformerModel, Object, Creatable)
public:
    // Display style 1; the reference conformer from the reference's atoms and bonds (CreateReference).
    ConformerModel(const BaseCollection& atoms, const BaseCollection& bonds);
    ConformerModel(Object* parent, const BaseCollection& atoms, const BaseCollection& bonds);
    // Lets go of every conformer (the atoms lose their indices), deletes the reference conformer.
    ~ConformerModel() override;

    // Swaps back the applied conformer, then swaps in c (null: none), under the all-events guard.
    virtual void ApplyConformerToReference(Conformer* c);
    // A new child conformer of these atoms and bonds when there are as many as sites; else null.
    virtual Conformer* CreateConformer(const BaseCollection& atoms, const BaseCollection& bonds);
    // A copy of a member (with its subtree) moved by a random offset, added as a child; null for a
    // non-member.
    virtual Conformer* CreateConformerCopy(Conformer* c);
    // The same from the reference conformer.
    virtual Conformer* CreateNewConformer();
    virtual void Disconnect();
    virtual void Reconnect();
    // The reference joins the set and is detached, then every member is removed.
    virtual void RemoveAll();
    // For a member: drops the model's registrations, its atoms and bonds leave their sites, and it
    // leaves the set, the map and the occupant's place.
    virtual void RemoveConformer(Conformer* c);
    // Does nothing.
    virtual void UpdateChemistry(Conformer* c, const BaseCollection& atoms, const BaseCollection& bonds);
    // A non-null conformer not yet in the set: its sites, the model's registrations, the map; the
    // set when asked.
    virtual void AddConformer(Conformer* c, bool addToSet);
    // One alternate of a site: a known index, else the pairing key's, else a new site.
    virtual void AddConformerAtom(Atom* atom, Conformer* c);
    virtual void AddConformerBond(Bond* bond, Conformer* c);
    virtual void AddConformerAtomSet(const BaseCollection& atoms);
    virtual void AddConformerBondSet(const BaseCollection& bonds);
    // Atom i of the list gets index i and opens site i.
    virtual void AddReferenceAtomSet(const BaseCollection& atoms);
    virtual void AddReferenceBondSet(const BaseCollection& bonds);
    // Drops the registrations on the reference and every member; empties the set.
    virtual void ClearAll();
    // Only without a reference yet.
    virtual void CreateReference(const BaseCollection& atoms, const BaseCollection& bonds);
    // Moves every Geometric of the collection by one random vector, halved.
    virtual void OffsetObjectPositions(const BaseCollection& objects);
    // Each member leaves its site and loses its index.
    virtual void RemoveConformerAtomSet(const BaseCollection& atoms);
    virtual void RemoveConformerBondSet(const BaseCollection& bonds);
    // When every conformer has a member of the site: the site's key is dropped and the members take
    // the reference's label (else the given one).
    virtual void UpdateAlternateAtomLabels(Atom* atom, std::string_view label);
    virtual void UpdateAlternateBondLabels(Bond* bond, std::string_view label);
    // The other members of the site take the element, formal charge, label or type.
    virtual void UpdateAtomElement(Atom* atom);
    virtual void UpdateAtomFormalCharge(Atom* atom);
    virtual void UpdateAtomLabel(Atom* atom);
    virtual void UpdateBondLabel(Bond* bond);
    virtual void UpdateBondType(Bond* bond);
    // For a member of its site: every other member leaves it and its conformer, the object leaves
    // it, then the other members are deleted.
    virtual void UpdateAtomRemoved(Atom* atom);
    virtual void UpdateBondRemoved(Bond* bond);

    // The site's members added to out; nothing for an index that names no site.
    void FindAlternateAtoms(const Atom* atom, BaseCollection& out) const;
    void FindAlternateBonds(const Bond* bond, BaseCollection& out) const;
    TypedObjectSet* GetAtomSet(std::int32_t index) const;
    TypedObjectSet* GetBondSet(std::int32_t index) const;
    int GetAtomSetCount() const { return static_cast<int>(m_atomSets.Get().size()); }
    int GetBondSetCount() const { return static_cast<int>(m_bondSets.Get().size()); }
    // The conformer the object's tag names.
    Conformer* GetAtomConformer(const Atom* atom) const;
    Conformer* GetBondConformer(const Bond* bond) const;
    static Conformer* FindAtomConformer(const Atom* atom);
    static Conformer* FindBondConformer(const Bond* bond);
    Conformer* GetReferenceConformer() const;
    // The conformer applied to the reference, or null.
    Conformer* GetOccupant() const;
    void RemoveConformerEvents(TreeNode& node);
    // The reference and every member hold a member of the object's site.
    bool CheckConformerAtomComplete(const Atom* atom) const;
    bool CheckConformerBondComplete(const Bond* bond) const;
    // The reference conformer's member of the object's site, or null.
    Atom* GetReferenceAtom(const Atom* atom) const;
    Bond* GetReferenceBond(const Bond* bond) const;
    void GetReferenceAtomList(OrdCollection& out) const;
    void GetReferenceAtomSet(BaseCollection& out) const;
    void GetReferenceBondList(OrdCollection& out) const;
    void GetReferenceBondSet(BaseCollection& out) const;
    void GetConformerSet(BaseCollection& out) const;
    int GetConformerCount() const;

    // The process-wide conformer-to-model map.
    static ConformerModel* GetConformerModel(const Conformer* conformer);
    static void AttachConformerModel(const Conformer* conformer, ConformerModel* model);
    // Clears the entry when it names the model (null: whatever it names).
    static void DetachConformerModel(const Conformer* conformer, const ConformerModel* model);
    // The models below root (root too with includeRoot), in pre-order, without walking the tree.
    static std::vector<ConformerModel*> FindBelow(const Object& root, bool includeRoot);

    // Renumbers the members of every conformer to the reference's order and rebuilds the sites.
    void FinishLoading(std::uint32_t schema) override;

    // The label an alternate takes for a moment so that relabelling always raises a label event.
    static constexpr const char* relabelMarker = "~_CHL_~";

protected:
    // The copies of the sets, reference, conformers and occupant inside the copied subtree.
    void DeepenShallowCopy() override;
    virtual void DeepCopyAtomSets(const TreeNode* copyRoot);
    virtual void DeepCopyBondSets(const TreeNode* copyRoot);

private:
    struct Remap;

    static void ConformerEvent(Event& event);
    void OnConformerEvent(Event& event);
    void Listen(Conformer& c);
    void TakeReference(Conformer* reference);
    // The conformer holding the object among the reference and the members; null when none.
    Conformer* HolderOf(const Atom* atom) const;
    Conformer* HolderOf(const Bond* bond) const;
    std::vector<Conformer*> AllConformers() const;
    // Every other member of the site leaves it and its conformer, the object leaves it, then the
    // other members are deleted.
    template <class T>
    void RemoveSite(TypedObjectSet& site, T* object);
    static void UpdateIndexMap(std::unordered_map<std::string, std::int32_t>& map, const std::string& key,
                               std::int32_t index);

    Uncopied<Conformer*> m_occupant;
    Uncopied<std::uint32_t> m_occupantOID;
    Uncopied<Conformer*> m_reference;
    Uncopied<std::uint32_t> m_referenceOID;
    MemberList<Conformer> m_conformers;
    std::unordered_map<std::string, std::int32_t> m_atomLabels;
    Uncopied<std::vector<std::unique_ptr<TypedObjectSet>>> m_atomSets;
    std::unordered_map<std::string, std::int32_t> m_bondLabels;
    Uncopied<std::vector<std::unique_ptr<TypedObjectSet>>> m_bondSets;
    Uncopied<EventSet> m_guard;
    Uncopied<Remap*> m_loading;  // the index remaps while a load finishes
    // A save looks for conformer models only while some exist.
    [[no_unique_address]] InstanceCount<ConformerModel> m_instances;
};

} // namespace Tavrel
