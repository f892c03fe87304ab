// ReplicateList: one asymmetric-unit atom or object of a crystal build with every image of it the cell holds.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/symmetry_build/SymmetryImageKey.h>

namespace Tavrel {

// Member 0 is the asymmetric-unit object itself; every member carries its item, its OID (0 once
// deleted) and its image key relative to member 0.
struct ReplicateMember {
    std::int32_t item = -1;
    std::uint32_t oid = 0;
    SymmetryImageKey key;
};

struct ReplicateList {
    std::int32_t parentIndex = -1;         // the enclosing object list; -1 for the root list
    std::int32_t cosetDecompositionIndex = -1;  // partition number in the coset lattice
    std::int32_t itemIndex = -1;           // item of the asymmetric-unit object
    std::uint32_t oid = 0;                 // its OID; 0 once its family was deleted
    std::vector<ReplicateMember> members;

    std::int32_t GetParentIndex() const { return parentIndex; }
    void SetParentIndex(std::int32_t index) { parentIndex = index; }
    std::int32_t GetCosetDecompositionIndex() const { return cosetDecompositionIndex; }
    void SetCosetDecompositionIndex(std::int32_t index) { cosetDecompositionIndex = index; }
    std::int32_t GetMemberCount() const { return static_cast<std::int32_t>(members.size()); }
    IntArray GetMemberItems() const;
    // Whether member i (an index of the list) is the item.
    bool IsMemberItem(std::int32_t i, std::int32_t item) const;
    // The member's position, -1 when none.
    std::int32_t FindMemberOID(std::uint32_t memberOID) const;
    std::int32_t FindMemberKey(const SymmetryImageKey& key) const;
};

struct ReplicateAtomList : ReplicateList {
    Point3d fractionalPosition;            // of the asymmetric-unit atom
    double bondingRadius = 0.0;
    std::int32_t operationTableIndex = -1;  // its site symmetry's entry in the operation table
    SymmetryImageKey listKey = SymmetryImageKey::identity;

    static constexpr bool IsAtom() { return true; }
};

struct ReplicateObjectList : ReplicateList {
    static constexpr bool IsAtom() { return false; }
};

} // namespace Tavrel
