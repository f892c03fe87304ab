// Bondable: the positioned object bonds end at, with its bond list and the connectivity queries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include <tavrel/chemistry/Bond.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class BaseCollection;
class Filter;
class PropertyArchive;
class SetCollection;

// Keeps the bonds that end here in the order they were added; a bond is listed by both ends.
// Deleting a Bondable deletes every bond linked to it (see Bond on links). Every walk over the bond
// graph is iterative and linear in the bonds it crosses.
class Bondable : public Geometric3d {
    // Persisted as "Bond Array".
    TAVREL_CLASS(Bondable, Geometric3d, Creatable)
public:
    // Event codes of the Bondable level; the data is the bond.
    static constexpr std::uint16_t EventBondAdded = 2;
    static constexpr std::uint16_t EventBondRemoved = 4;

    ~Bondable() override;

    // i from 0 to GetNumBonds() - 1.
    Bond* GetBond(int i) const { return BondData()[i]; }
    int GetNumBonds() const { return static_cast<int>(m_numBonds.Get()); }
    std::span<Bond* const> GetBonds() const { return {BondData(), m_numBonds.Get()}; }

    // The bond to other retyped when there is one; else a new bond under the ends' common ancestor
    // (or under parent). Null for a null other and for this object itself.
    virtual Bond* MakeBond(Object* parent, Bondable* other, Bond::BondType type);
    virtual Bond* MakeBond(Bondable* other, Bond::BondType type);
    Bond* FindBond(const Bondable* other) const;
    bool IsBonded(const Bondable* other) const { return FindBond(other) != nullptr; }

    int GetNumAttached() const { return GetNumBonds(); }
    // The far end of bond i.
    Bondable* GetAttached(int i) const;
    // Adds the far ends in bond order (those the filter accepts).
    void GetAttached(BaseCollection& out) const;
    void GetAttached(BaseCollection& out, const Filter& filter) const;
    // Writes the far ends into out, at most max of them (no limit when max <= 0); returns the count.
    int GetAttached(Bondable** out, int max) const;
    // The first bond index whose far end is other, else -1.
    int GetAttachedPosition(const Bondable* other) const;

    // The connected fragment from this object into atoms and bonds. A stop atom is not crossed (it is
    // added when includeStops); a stop bond is not crossed (added when includeStops). Iterative.
    void GetFragment(SetCollection* atoms, SetCollection* bonds, const SetCollection* stopAtoms,
                     const SetCollection* stopBonds, bool includeStops) const;
    bool IsInSameFragment(const Bondable* other) const;
    // Whether target lies within length - 1 bonds (exactly, unless allowShorter) along a walk that
    // may step back. Iterative; its cost grows as the number of bonds to the power length - 1.
    bool HasPathOfLength(const Bondable* target, int length, bool allowShorter) const;
    bool HasNoVisibleBonds() const;
    // At most one bond.
    bool IsTerminal() const { return GetNumBonds() <= 1; }
    // Two bonds or more, one of them flagged in a ring.
    bool IsInRing() const;
    // Takes over other's bonds (types and ring flags kept) and deletes other.
    void Fuse(Bondable* other);

    void Activate() override;
    void Deactivate() override;
    void SetClipped(bool clipped) override;
    // Refused while bonds would follow the clip.
    bool SetClippedUnheard(bool clipped) override;
    // Also selects every bond whose other end is selected.
    void Select(bool recursive) override;

    // The conformer index kept in the user property "_~aci~_"; -1 when absent.
    void SetConformerIndex(std::int32_t index);
    std::int32_t GetConformerIndex() const;
    bool HasConformers() const;
    void ClearConformerIndex();

    // Keeps only the loaded bonds that name this object, each once.
    void FinishLoading(std::uint32_t schema) override;
    // Drops the bonds that do not name this object as an end (see Bond on links).
    void SettleLinks() override;

protected:
    friend class Bond;

    explicit Bondable(Object* parent);

    void AddBond(Bond* bond);
    void RemoveBond(int i);
    void RemoveBond(Bond* bond);
    void RemoveAllBonds();

private:
    // The bond list: up to four bonds inline, more on the heap (then the count is above four).
    static constexpr std::uint32_t InlineBonds = 4;
    union BondStore {
        Bond* inlined[InlineBonds];
        struct {
            Bond** data;
            std::uint32_t capacity;
        } heap;
    };

    Bond* const* BondData() const { return m_numBonds.Get() > InlineBonds ? m_bondStore.Get().heap.data : m_bondStore.Get().inlined; }
    Bond** BondData() { return m_numBonds.Get() > InlineBonds ? m_bondStore.Get().heap.data : m_bondStore.Get().inlined; }
    void PushBond(Bond* bond)
    {
        // Room left inline: nothing to grow, and the slots past the count are null already.
        if (const std::uint32_t count = m_numBonds.Get(); count < InlineBonds) {
            m_bondStore.Get().inlined[count] = bond;
            m_numBonds = count + 1;
        } else {
            PushBondGrowing(bond);
        }
    }
    // PushBond onto a full inline store or the heap.
    void PushBondGrowing(Bond* bond);
    // Raises EventBondAdded for a listed bond.
    void AnnounceBond(Bond* bond) { NotifyIfHeard(classType, EventBondAdded, nullptr, bond); }
    // Lists the copy bond of source, a bond of sourceEnd (this object's source), in sourceEnd's order.
    void ListCopiedBond(Bond* bond, const Bondable& sourceEnd, const Bond& source);
    // A bond that survives as it is built gives its pointer up: the bond without ends is deleted by
    // its maker.
    static Bond* KeepLinked(Bond* bond);
    void EraseBond(std::size_t index);
    // New entries are null.
    void ResizeBonds(std::size_t count);
    void UpdateBondsClipped();
    // Keeps the non-null bonds that name this end, each once; a bond still being read stays unless
    // ended.
    // The finishing pass marks each bond it keeps (Bond::m_keptBy). Inline in Bondable.cpp, its only
    // user.
    [[gnu::always_inline]] inline void KeepOwnBonds(bool ended, bool finishing);

    // A copy has no bonds.
    // The count first: it fills the room before the store's pointers.
    Uncopied<std::uint32_t> m_numBonds;
    Uncopied<BondStore> m_bondStore;

    // Last, so the level's mask byte packs with the levels below.
    TAVREL_EVENT_MASK_LEVEL()
};

} // namespace Tavrel
