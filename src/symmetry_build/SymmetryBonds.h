// SymmetryBonds: the asymmetric-unit bonds of a build with their symmetry-equivalent bonds, kept alike after edits.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/symmetry_build/OIDIndexMap.h>
#include <tavrel/symmetry_build/ReplicateBond.h>

namespace Tavrel {

class Bond;

// Bonds are named by OID (0 once a bond is gone) and never by pointer. The input is the builder's
// bond lists, one per group of equivalent atoms: an item of group g takes part only when its partner
// list (its level) is at least g, so that a bond listed from both ends counts once; the table writes
// each item's asymmetric-unit bond number into it or -1. Deleting or retyping one symmetry bond
// deletes or retypes its equivalents.
class SymmetryBonds {
public:
    // Taken from the first existing symmetry bond of each asymmetric-unit bond.
    struct Summary {
        double order = 1.0;
        std::int32_t type = 1;
        std::int32_t displayStyle = 1;
        bool inRing = false;
    };

    // One symmetry bond: its asymmetric-unit bond and the Bond's OID.
    struct UnitBond {
        std::int32_t unit = -1;
        std::uint32_t oid = 0;
    };

    SymmetryBonds() = default;
    SymmetryBonds(const SymmetryBonds& other);
    SymmetryBonds& operator=(const SymmetryBonds& other);

    std::int32_t GetUnitCount() const { return static_cast<std::int32_t>(m_units.size()); }
    std::int32_t GetSymmetryBondCount() const { return static_cast<std::int32_t>(m_oids.size()); }
    // Grows with units without bonds, or drops the last units; their bonds are then no longer looked up.
    void SetUnitCount(std::int32_t n);
    void Clear();

    // Replaces the bonds: each taking part joins the unit its index names. False, nothing changed,
    // when an item has a negative index, OID 0 or an index not below the unit count.
    bool SetBonds(const std::vector<ReplicateBondList>& groups);
    // The same for the bonds taking part, in order.
    bool SetBonds(std::span<const UnitBond> bonds);
    // The same for the bonds taking part given as their units and OIDs side by side; the OIDs are
    // taken over when the bonds are set, and also false when the two differ in length.
    bool SetBonds(std::span<const std::int32_t> units, OIDArray&& oids);
    // Appends each item taking part as a unit bond of its own.
    void AddBonds(std::vector<ReplicateBondList>& groups);
    // Replaces the bonds, numbering the units afresh: items with an index are grouped by it in order
    // of first appearance, then each item without one becomes a unit of its own.
    void RebuildBonds(std::vector<ReplicateBondList>& groups);

    // Forgets the bond and deletes every other existing Bond of its unit.
    void OnBondDeleted(std::uint32_t oid);
    // Gives every other existing Bond of its unit the bond's type.
    void OnBondTypeChanged(std::uint32_t oid);
    // When oldOIDs equals the stored OIDs and newOIDs is as long, stores newOIDs and looks bonds up
    // by them; false otherwise.
    bool ReplaceOIDs(const OIDArray& oldOIDs, const OIDArray& newOIDs);

    void GetOIDs(OIDArray& oids) const { oids = m_oids; }
    // Per unit the OID of its first symmetry bond, 0 when it has none.
    void GetFirstOIDs(OIDArray& oids) const;
    // The unit's symmetry bond numbers; empty for an index outside the table.
    std::span<const std::int32_t> GetSymmetryBonds(std::int32_t unit) const;
    // The unit of a symmetry bond's OID; -1 when none.
    std::int32_t FindUnit(std::uint32_t oid) const;
    // The default summary for an index outside the table.
    Summary GetSummary(std::int32_t unit) const;
    // Gives a bond the unit's type, order, display style and ring flag; nothing for a null bond or
    // an index outside the table.
    void ApplyBondSummary(std::int32_t unit, Bond* bond) const;

    void Swap(SymmetryBonds& other) noexcept;

private:
    struct Unit {
        std::int32_t begin = 0;  // in m_lists
        std::int32_t count = 0;
        Summary summary;
    };
    bool IsUnit(std::int32_t unit) const { return unit >= 0 && unit < GetUnitCount(); }
    // Appends a symmetry bond of the OID, looked up as the unit's; returns its number.
    std::int32_t AppendBond(std::uint32_t oid, std::int32_t unit);
    // Lays out every unit's list from the unit of each symmetry bond, in symmetry bond order, and
    // takes each summary from its first existing bond.
    void LayOut(std::span<const std::int32_t> units);
    static Summary ReadSummary(std::uint32_t oid);
    // The OIDs of the unit's other live symmetry bonds, forgotten; empty when the OID is not one of
    // the unit's.
    OIDArray TakeSiblings(std::uint32_t oid, bool forget);

    std::vector<Unit> m_units;
    // The symmetry bond numbers of every unit, unit by unit.
    IntArray m_lists;
    OIDArray m_oids;
    // Symmetry bond OID to unit.
    OIDIndexMap m_lookup;
    // Set while OnBondTypeChanged retypes the equivalents, whose own type events it then ignores.
    bool m_retyping = false;
};

} // namespace Tavrel
