// ReplicateBond: a bond of a group of equivalent atoms to an image of another group's head.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/symmetry_build/SymmetryImageKey.h>

namespace Tavrel {

// Bonds order by the partner's atom list, then by the partner image's key; two bonds are equal when
// both agree, whatever their OIDs and bond types.
class ReplicateBond {
public:
    ReplicateBond() = default;
    // Bond list index -1, OID 0.
    ReplicateBond(const SymmetryImageKey& operation, std::int32_t bondAtomList, std::int32_t bondType)
        : m_bondType(bondType), m_bondAtomList(bondAtomList), m_operation(operation)
    {
    }
    // Bond list index -1.
    ReplicateBond(std::uint32_t oid, const SymmetryImageKey& operation, std::int32_t bondAtomList,
                  std::int32_t bondType)
        : m_oid(oid), m_bondType(bondType), m_bondAtomList(bondAtomList), m_operation(operation)
    {
    }
    // Bond type 0.
    ReplicateBond(std::int32_t bondListIndex, std::uint32_t oid, const SymmetryImageKey& operation,
                  std::int32_t bondAtomList)
        : m_bondListIndex(bondListIndex), m_oid(oid), m_bondType(0), m_bondAtomList(bondAtomList),
          m_operation(operation)
    {
    }

    // The asymmetric-unit bond's number in the symmetry bond table; -1 until numbered.
    std::int32_t GetBondListIndex() const { return m_bondListIndex; }
    void SetBondListIndex(std::int32_t index) { m_bondListIndex = index; }
    // The Bond object's OID; 0 for a computed bond.
    std::uint32_t GetOID() const { return m_oid; }
    void SetOID(std::uint32_t oid) { m_oid = oid; }
    // The hierarchy level at which the bond closes: 0 when the two atoms' hierarchies never meet, -1
    // when not computed.
    std::int32_t GetBondType() const { return m_bondType; }
    void SetBondType(std::int32_t type) { m_bondType = type; }
    // The partner's atom list.
    std::int32_t GetBondAtomList() const { return m_bondAtomList; }
    void SetBondAtomList(std::int32_t list) { m_bondAtomList = list; }
    // The image of the partner group's head bonded to this group's head.
    const SymmetryImageKey& GetOperation() const { return m_operation; }
    void SetOperation(const SymmetryImageKey& operation) { m_operation = operation; }

    friend bool operator==(const ReplicateBond& x, const ReplicateBond& y)
    {
        return x.m_bondAtomList == y.m_bondAtomList && x.m_operation == y.m_operation;
    }
    friend bool operator<(const ReplicateBond& x, const ReplicateBond& y)
    {
        return x.m_bondAtomList != y.m_bondAtomList ? x.m_bondAtomList < y.m_bondAtomList
                                                    : x.m_operation < y.m_operation;
    }

private:
    std::int32_t m_bondListIndex = -1;
    std::uint32_t m_oid = 0;
    std::int32_t m_bondType = -1;
    std::int32_t m_bondAtomList = -1;
    SymmetryImageKey m_operation;
};

// The bonds of one atom list.
using ReplicateBondList = std::vector<ReplicateBond>;

} // namespace Tavrel
