// ReplicaTable: for every asymmetric-unit entry of a build, its replicas with their image keys and OIDs.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/symmetry_build/OIDIndexMap.h>
#include <tavrel/symmetry_build/IndexLists.h>
#include <tavrel/symmetry_build/SymmetryImageKey.h>

namespace Tavrel {

class CosetLattice;
class Matrix4x4Group;
class SymmetryOperationTable;

// The shared part of SymmetryAtoms and SymmetryObjects. Replicas are numbered in the table and
// named by OID, never by pointer; an OID of 0 marks a replica that no longer exists and is not
// looked up. Every operation that takes lists checks them first and changes nothing on failure.
class ReplicaTable {
public:
    std::int32_t GetUnitCount() const { return static_cast<std::int32_t>(m_units.size()); }
    std::int32_t GetReplicaCount() const { return static_cast<std::int32_t>(m_keys.size()); }

    // Gives a unit without replicas its replicas, in order; false when the unit is not an index,
    // keys is empty, oids has another length or the unit has replicas already.
    bool AddReplicas(std::int32_t unit, const SymmetryImageKey::Array& keys, const OIDArray& oids);
    // Replaces every unit's replicas: lists[u] holds unit u's replica numbers, keys and oids one entry
    // per replica. False when there is not one list per unit, the lengths disagree, or a number is
    // outside 0..count-1 or listed twice.
    bool SetReplicas(const IndexLists& lists, const SymmetryImageKey::Array& keys, const OIDArray& oids);
    // The same for replicas numbered unit after unit: unit u has the next counts[u] of them. False
    // when there is not one count per unit, a count is negative or they do not add up to the keys.
    bool SetReplicasInOrder(const IntArray& counts, SymmetryImageKey::Array keys, OIDArray oids);

    void GetImageKeys(SymmetryImageKey::Array& keys) const { keys = m_keys; }
    void GetReplicaOIDs(OIDArray& oids) const { oids = m_oids; }
    // Empty, -1, the default key or 0 for an index outside the table.
    std::span<const std::int32_t> GetReplicas(std::int32_t unit) const;
    // The replica whose key is the identity.
    std::int32_t GetIdentityReplica(std::int32_t unit) const;
    std::int32_t GetOwner(std::int32_t replica) const;
    SymmetryImageKey GetImageKey(std::int32_t replica) const;
    std::uint32_t GetReplicaOID(std::int32_t replica) const;
    // The replica of the OID; -1 when none.
    std::int32_t FindReplica(std::uint32_t oid) const;

    // The image under key k of an asymmetric-unit atom at a fractional position with its coset
    // decomposition and site numbers; false when k's operator is not an operation, either number is
    // negative or unknown, or the group cannot resolve the key. The identity key writes nothing.
    static bool GetImage(const Point3d& position, std::int32_t coset, std::int32_t site, const SymmetryImageKey& k,
                         const std::vector<Matrix4x4>& operations, const Matrix4x4Group& group,
                         CosetLattice& lattice, SymmetryOperationTable& table, Point3d& imagePosition,
                         std::int32_t& imageCoset, std::int32_t& imageSite);
    // The coset decomposition of the image: the unit's partition carried by the permutation the
    // inverse of k makes of the operations; partitions 0 and 1 stay.
    static bool TransformCosetDecomposition(std::int32_t coset, const SymmetryImageKey& k, const Matrix4x4Group& group,
                                            CosetLattice& lattice, std::int32_t& imageCoset);
    // The position of the image and the table entry of its site symmetry: each site key s of the
    // unit becomes g s k, with g the inverse of k.
    static bool TransformSite(const Point3d& position, std::int32_t site, const SymmetryImageKey& k,
                              const std::vector<Matrix4x4>& operations, const Matrix4x4Group& group,
                              SymmetryOperationTable& table, Point3d& imagePosition, std::int32_t& imageSite);
    // Each key m becomes g m, re-expressed at the reference point through the representative of its
    // operation in the partition's representative array where the two differ. False, keys
    // unchanged, when a product or re-expression fails.
    static bool TransformImageKeys(const SymmetryImageKey& g, const Matrix4x4Group& group, const Point3d& reference,
                                   const std::vector<Matrix4x4>& operations, const IntArray& representatives,
                                   SymmetryImageKey::Array& keys);

protected:
    ReplicaTable() = default;
    ReplicaTable(const ReplicaTable&) = default;
    ReplicaTable& operator=(const ReplicaTable&) = default;
    ~ReplicaTable() = default;

    // A unit without replicas; returns its index.
    std::int32_t AddUnit();
    void ClearReplicas();
    void SwapReplicas(ReplicaTable& other) noexcept;

private:
    struct Replicas {
        std::int32_t begin = 0;  // in m_lists
        std::int32_t count = 0;
        std::int32_t identity = -1;
    };

    bool IsReplica(std::int32_t r) const { return r >= 0 && r < GetReplicaCount(); }
    // Takes checked tables; the units' begins and counts are set, their identities are found here.
    void Take(IntArray lists, IntArray owners, SymmetryImageKey::Array keys, OIDArray oids);

    std::vector<Replicas> m_units;
    // The replica numbers of every unit, unit by unit.
    IntArray m_lists;
    IntArray m_owners;
    SymmetryImageKey::Array m_keys;
    OIDArray m_oids;
    OIDIndexMap m_lookup;
};

} // namespace Tavrel
