#include <tavrel/symmetry_build/ReplicaTable.h>

#include <algorithm>
#include <limits>
#include <numeric>

#include <tavrel/symmetry_build/CosetDecomposition.h>
#include <tavrel/symmetry_build/CosetLattice.h>
#include <tavrel/symmetry_build/Matrix4x4Group.h>
#include <tavrel/symmetry_build/SymmetryOperationTable.h>
#include <tavrel/symmetry_build/SymmetryTools.h>

namespace Tavrel {

bool ReplicaTable::AddReplicas(std::int32_t unit, const SymmetryImageKey::Array& keys, const OIDArray& oids)
{
    if (unit < 0 || unit >= GetUnitCount() || keys.empty() || oids.size() != keys.size() ||
        m_units[static_cast<std::size_t>(unit)].count > 0 ||
        m_keys.size() + keys.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return false;
    Replicas& replicas = m_units[static_cast<std::size_t>(unit)];
    replicas.begin = static_cast<std::int32_t>(m_lists.size());
    replicas.count = static_cast<std::int32_t>(keys.size());
    for (std::size_t j = 0; j < keys.size(); ++j) {
        const std::int32_t r = GetReplicaCount();
        if (keys[j].IsIdentity())
            replicas.identity = r;
        m_owners.push_back(unit);
        m_keys.push_back(keys[j]);
        m_oids.push_back(oids[j]);
        m_lists.push_back(r);
        if (oids[j] != 0)
            m_lookup[oids[j]] = r;
    }
    return true;
}

bool ReplicaTable::SetReplicas(const IndexLists& lists, const SymmetryImageKey::Array& keys, const OIDArray& oids)
{
    if (lists.size() != m_units.size() || keys.size() != oids.size() ||
        keys.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return false;
    std::size_t total = 0;
    for (const IntArray& list : lists)
        total += list.size();
    if (total != keys.size())
        return false;
    IntArray owners(total, -1);
    for (std::size_t unit = 0; unit < lists.size(); ++unit)
        for (const std::int32_t r : lists[unit]) {
            if (r < 0 || static_cast<std::size_t>(r) >= total || owners[static_cast<std::size_t>(r)] != -1)
                return false;
            owners[static_cast<std::size_t>(r)] = static_cast<std::int32_t>(unit);
        }

    IntArray numbers;
    numbers.reserve(total);
    for (std::size_t unit = 0; unit < lists.size(); ++unit) {
        m_units[unit] = {static_cast<std::int32_t>(numbers.size()), static_cast<std::int32_t>(lists[unit].size()), -1};
        numbers.insert(numbers.end(), lists[unit].begin(), lists[unit].end());
    }
    Take(std::move(numbers), std::move(owners), keys, oids);
    return true;
}

bool ReplicaTable::SetReplicasInOrder(const IntArray& counts, SymmetryImageKey::Array keys, OIDArray oids)
{
    if (counts.size() != m_units.size() || keys.size() != oids.size() ||
        keys.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return false;
    std::size_t total = 0;
    for (const std::int32_t count : counts) {
        if (count < 0)
            return false;
        total += static_cast<std::size_t>(count);
    }
    if (total != keys.size())
        return false;
    IntArray numbers(total);
    std::iota(numbers.begin(), numbers.end(), 0);
    IntArray owners(total);
    std::int32_t begin = 0;
    for (std::size_t unit = 0; unit < counts.size(); ++unit) {
        std::fill_n(owners.begin() + begin, counts[unit], static_cast<std::int32_t>(unit));
        m_units[unit] = {begin, counts[unit], -1};
        begin += counts[unit];
    }
    Take(std::move(numbers), std::move(owners), std::move(keys), std::move(oids));
    return true;
}

void ReplicaTable::Take(IntArray lists, IntArray owners, SymmetryImageKey::Array keys, OIDArray oids)
{
    m_lists = std::move(lists);
    m_owners = std::move(owners);
    m_keys = std::move(keys);
    m_oids = std::move(oids);
    m_lookup.Prepare(m_oids);
    constexpr std::size_t lookAhead = 8;  // the slot of a replica a few ahead starts loading early
    for (std::size_t r = 0; r < m_keys.size(); ++r) {
        if (r + lookAhead < m_oids.size())
            m_lookup.Prefetch(m_oids[r + lookAhead]);
        if (m_keys[r].IsIdentity())
            m_units[static_cast<std::size_t>(m_owners[r])].identity = static_cast<std::int32_t>(r);
        if (m_oids[r] != 0)
            m_lookup[m_oids[r]] = static_cast<std::int32_t>(r);
    }
}

std::span<const std::int32_t> ReplicaTable::GetReplicas(std::int32_t unit) const
{
    if (unit < 0 || unit >= GetUnitCount())
        return {};
    const Replicas& replicas = m_units[static_cast<std::size_t>(unit)];
    return std::span<const std::int32_t>(m_lists).subspan(static_cast<std::size_t>(replicas.begin),
                                                          static_cast<std::size_t>(replicas.count));
}

std::int32_t ReplicaTable::GetIdentityReplica(std::int32_t unit) const
{
    return unit >= 0 && unit < GetUnitCount() ? m_units[static_cast<std::size_t>(unit)].identity : -1;
}

std::int32_t ReplicaTable::GetOwner(std::int32_t replica) const
{
    return IsReplica(replica) ? m_owners[static_cast<std::size_t>(replica)] : -1;
}

SymmetryImageKey ReplicaTable::GetImageKey(std::int32_t replica) const
{
    return IsReplica(replica) ? m_keys[static_cast<std::size_t>(replica)] : SymmetryImageKey();
}

std::uint32_t ReplicaTable::GetReplicaOID(std::int32_t replica) const
{
    return IsReplica(replica) ? m_oids[static_cast<std::size_t>(replica)] : 0;
}

std::int32_t ReplicaTable::FindReplica(std::uint32_t oid) const
{
    const std::int32_t* const replica = m_lookup.Find(oid);
    return replica ? *replica : -1;
}

std::int32_t ReplicaTable::AddUnit()
{
    m_units.emplace_back();
    return GetUnitCount() - 1;
}

void ReplicaTable::ClearReplicas()
{
    m_units.clear();
    m_lists.clear();
    m_owners.clear();
    m_keys.clear();
    m_oids.clear();
    m_lookup.Clear();
}

void ReplicaTable::SwapReplicas(ReplicaTable& other) noexcept
{
    m_units.swap(other.m_units);
    m_lists.swap(other.m_lists);
    m_owners.swap(other.m_owners);
    m_keys.swap(other.m_keys);
    m_oids.swap(other.m_oids);
    m_lookup.Swap(other.m_lookup);
}

bool ReplicaTable::GetImage(const Point3d& position, std::int32_t coset, std::int32_t site, const SymmetryImageKey& k,
                            const std::vector<Matrix4x4>& operations, const Matrix4x4Group& group,
                            CosetLattice& lattice, SymmetryOperationTable& table, Point3d& imagePosition,
                            std::int32_t& imageCoset, std::int32_t& imageSite)
{
    if (k.op < 0 || static_cast<std::size_t>(k.op) >= operations.size() || coset < 0 || site < 0)
        return false;
    if (k.IsIdentity())
        return true;
    Point3d newPosition;
    std::int32_t newCoset = coset;
    std::int32_t newSite = site;
    if (!TransformCosetDecomposition(coset, k, group, lattice, newCoset) ||
        !TransformSite(position, site, k, operations, group, table, newPosition, newSite))
        return false;
    imagePosition = newPosition;
    imageCoset = newCoset;
    imageSite = newSite;
    return true;
}

bool ReplicaTable::TransformCosetDecomposition(std::int32_t coset, const SymmetryImageKey& k,
                                               const Matrix4x4Group& group, CosetLattice& lattice,
                                               std::int32_t& imageCoset)
{
    if (!lattice.IsValidIndex(coset) || !group.IsValidIndex(k.op))
        return false;
    if (k.op == 0 || coset <= 1) {
        imageCoset = coset;
        return true;
    }
    const SymmetryImageKey g = group.GetInverse(k);
    if (g.op < 0)
        return false;
    IntArray permutation(static_cast<std::size_t>(group.GetCount()));
    for (std::int32_t j = 0; j < group.GetCount(); ++j) {
        permutation[static_cast<std::size_t>(j)] = group.Multiply(g, SymmetryImageKey(j)).op;
        if (permutation[static_cast<std::size_t>(j)] < 0)
            return false;
    }
    IntArray partition;
    lattice.GetPartition(coset, partition);
    const std::int32_t number = lattice.AddPartition(CosetDecomposition(partition).Permute(permutation).GetRepresentatives());
    if (number < 0)
        return false;
    imageCoset = number;
    return true;
}

bool ReplicaTable::TransformSite(const Point3d& position, std::int32_t site, const SymmetryImageKey& k,
                                 const std::vector<Matrix4x4>& operations, const Matrix4x4Group& group,
                                 SymmetryOperationTable& table, Point3d& imagePosition, std::int32_t& imageSite)
{
    if (k.op < 0 || static_cast<std::size_t>(k.op) >= operations.size() || site < 0 || site >= table.GetCount())
        return false;
    if (k.op == 0) {
        imagePosition = position + k.GetTranslation();
        imageSite = site;
        return true;
    }
    const SymmetryImageKey g = group.GetInverse(k);
    SymmetryImageKey::Array keys;
    if (g.op < 0 || !table.GetKeys(site, keys))
        return false;
    for (SymmetryImageKey& s : keys) {
        s = group.Multiply(group.Multiply(g, s), k);
        if (s.op < 0)
            return false;
    }
    const Point3d image = position * operations[static_cast<std::size_t>(k.op)] + k.GetTranslation();
    Matrix3x3 mean;
    SymmetryTools::GetMeanRotation(operations, keys, mean);
    imagePosition = image;
    imageSite = table.Add(keys, image, mean);
    return true;
}

bool ReplicaTable::TransformImageKeys(const SymmetryImageKey& g, const Matrix4x4Group& group, const Point3d& reference,
                                      const std::vector<Matrix4x4>& operations, const IntArray& representatives,
                                      SymmetryImageKey::Array& keys)
{
    SymmetryImageKey::Array transformed;
    transformed.reserve(keys.size());
    for (const SymmetryImageKey& m : keys) {
        SymmetryImageKey product = group.Multiply(g, m);
        if (product.op < 0 || static_cast<std::size_t>(product.op) >= representatives.size())
            return false;
        const std::int32_t r = representatives[static_cast<std::size_t>(product.op)];
        if (r != product.op && !SymmetryTools::ReexpressKey(product, reference, operations, r, product))
            return false;
        transformed.push_back(product);
    }
    keys = std::move(transformed);
    return true;
}

} // namespace Tavrel
