#include <tavrel/crystal/CellPacking.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include <tavrel/core/FlatHashMap.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellReplicas.h>
#include <tavrel/crystal/ReplicateAtom.h>

namespace Tavrel {

namespace {

// The first list record of each live atom by OID: a table over the range of the OIDs when they lie
// close together (a build's atoms are mostly made in a row), else a hash map.
class RecordIndex {
public:
    explicit RecordIndex(const Cell::AtomDataArray& list) : m_hashed(0)
    {
        std::uint32_t low = UINT32_MAX;
        std::uint32_t high = 0;
        for (const Cell::AtomData& record : list) {
            low = std::min(low, record.oid);
            high = std::max(high, record.oid);
        }
        if (!list.empty() && std::uint64_t{high} - low < 4 * std::uint64_t{list.size()} + 1024) {
            m_low = low;
            m_table.assign(std::size_t{high} - low + 1, None);
        } else {
            m_hashed.Reserve(list.size());
        }
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (!list[i].Live())
                continue;
            if (m_table.empty())
                m_hashed.Insert(list[i].oid, static_cast<std::uint32_t>(i));
            else if (std::uint32_t& slot = m_table[list[i].oid - m_low]; slot == None)
                slot = static_cast<std::uint32_t>(i);
        }
    }

    const std::uint32_t* Find(std::uint32_t oid) const
    {
        if (m_table.empty())
            return m_hashed.Find(oid);
        if (oid < m_low || oid - m_low >= m_table.size() || m_table[oid - m_low] == None)
            return nullptr;
        return &m_table[oid - m_low];
    }

private:
    static constexpr std::uint32_t None = UINT32_MAX;
    std::uint32_t m_low = 0;
    std::vector<std::uint32_t> m_table;
    FlatHashMap<std::uint32_t, std::uint32_t, IntegerHash> m_hashed;
};

using Shift = std::array<std::int32_t, 3>;

Shift operator+(const Shift& a, const Shift& b)
{
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}

Shift operator-(const Shift& a, const Shift& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

Shift ToShift(const LatticeOffset& offset)
{
    return {offset.a, offset.b, offset.c};
}

// Records joined by bonds, each with its lattice shift relative to its set's root. Finding is
// iterative with path compression; the smaller set joins the larger.
class ShiftedUnionFind {
public:
    explicit ShiftedUnionFind(std::size_t count) : m_parent(count), m_shift(count, Shift{}), m_size(count, 1)
    {
        for (std::size_t i = 0; i < count; ++i)
            m_parent[i] = static_cast<std::uint32_t>(i);
    }

    // The root of i, and i's shift relative to it.
    std::uint32_t Find(std::uint32_t i, Shift& shift)
    {
        std::uint32_t root = i;
        shift = Shift{};
        while (m_parent[root] != root) {
            shift = shift + m_shift[root];
            root = m_parent[root];
        }
        // Every node on the path now points at the root with its whole shift.
        Shift remaining = shift;
        while (m_parent[i] != root && i != root) {
            const std::uint32_t next = m_parent[i];
            const Shift own = m_shift[i];
            m_parent[i] = root;
            m_shift[i] = remaining;
            remaining = remaining - own;
            i = next;
        }
        return root;
    }

    // Joins j to i so that j lies at i's shift plus t; when both are joined already, the axes on which
    // that disagrees are returned as bits (1 a, 2 b, 4 c), and 0 otherwise.
    int Join(std::uint32_t i, std::uint32_t j, const Shift& t)
    {
        Shift si;
        Shift sj;
        const std::uint32_t ri = Find(i, si);
        const std::uint32_t rj = Find(j, sj);
        const Shift wanted = si + t;
        if (ri == rj) {
            const Shift away = wanted - sj;
            return (away[0] != 0 ? 1 : 0) | (away[1] != 0 ? 2 : 0) | (away[2] != 0 ? 4 : 0);
        }
        if (m_size[ri] >= m_size[rj]) {
            m_parent[rj] = ri;
            m_shift[rj] = wanted - sj;
            m_size[ri] += m_size[rj];
        } else {
            m_parent[ri] = rj;
            m_shift[ri] = sj - wanted;
            m_size[rj] += m_size[ri];
        }
        return 0;
    }

private:
    std::vector<std::uint32_t> m_parent;
    std::vector<Shift> m_shift;
    std::vector<std::uint32_t> m_size;
};

} // namespace

CellPacking::CellPacking(CellReplicas& replicas) : m_replicas(replicas) {}

double CellPacking::EdgeTolerance() const
{
    const Cell3d& cell = m_replicas.GetCell();
    double lengths[3];
    cell.GetLengths(lengths);
    return cell.GetBuildInfo().GetSameTol() / std::max({lengths[0], lengths[1], lengths[2]});
}

bool CellPacking::Pack(Cell::AtomDataArray& list)
{
    if (list.empty())
        return false;
    switch (m_replicas.GetCell().GetBuildInfo().GetHint()) {
    case Cell3d::BuildInfo::NoPacking:
        for (std::size_t i = 0; i < list.size(); ++i) {
            Cell::PrefetchAhead(list, i);
            Atom* const atom = list[i].Live();
            const bool replica = atom && (atom->IsSymmetric() || atom->IsPeriodic());
            if (atom && atom->IsClipped() != replica)
                atom->SetClipped(replica);
        }
        return true;
    case Cell3d::BuildInfo::DefaultPacking: return PackDefault(list);
    case Cell3d::BuildInfo::AtomPacking: PackAtoms(list); return true;
    default: return false;
    }
}

void CellPacking::PackAtoms(Cell::AtomDataArray& list)
{
    const Cell3d& cell = m_replicas.GetCell();
    for (const Cell::AtomData& record : list) {
        Atom* const atom = record.Live();
        if (!atom || atom->IsPeriodic())
            continue;
        LatticeOffset index;
        if (cell.InsideCell(record.xyz, index, true, false))
            continue;
        atom->SetClipped(true);
        cell.NormalizeOffset(index, true);
        if (record.Live())
            m_replicas.DerivePeriodicBondedAtom(atom, index, record.xyz);
    }
}

bool CellPacking::PackDefault(Cell::AtomDataArray& list)
{
    const std::size_t count = list.size();
    if (count == 0)
        return false;
    const Cell3d& cell = m_replicas.GetCell();
    const double tolerance = EdgeTolerance();

    const RecordIndex records(list);

    // Bonded components; a bond that closes a ring across the cell marks the axes it crosses.
    ShiftedUnionFind components(count);
    std::vector<std::uint8_t> crossed(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        Cell::PrefetchAhead(list, i);
        const Atom* const atom = list[i].Live();
        if (!atom)
            continue;
        for (int k = 0; k < atom->GetNumBonds(); ++k) {
            const auto* bonded = DynCast<Atom>(atom->GetAttached(k));
            if (!bonded || IsA<ConformerAtom>(bonded))
                continue;
            Shift t{};
            if (bonded->IsPeriodic()) {
                t = ToShift(bonded->GetLatticeOffset());
                const auto* const replica = DynCast<ReplicateAtom>(bonded);
                bonded = replica ? replica->GetPeriodicParent() : nullptr;
                if (!bonded)
                    continue;
            }
            // A partner outside the list takes no part.
            const std::uint32_t* const j = records.Find(bonded->GetOID());
            if (!j)
                continue;
            crossed[i] |= static_cast<std::uint8_t>(components.Join(static_cast<std::uint32_t>(i), *j, t));
        }
    }

    // Per component: the centroid of its members placed by their shifts, and the axes it crosses.
    struct Component {
        double sum[3] = {0.0, 0.0, 0.0};
        std::size_t members = 0;
        std::uint8_t crossed = 0;
        LatticeOffset index;
        LatticeOffset extra;
    };
    std::vector<Component> byRoot(count);
    std::vector<std::uint32_t> root(count);
    std::vector<Shift> shift(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (!list[i].Live())
            continue;
        root[i] = components.Find(static_cast<std::uint32_t>(i), shift[i]);
        Component& component = byRoot[root[i]];
        component.sum[0] += double(list[i].xyz.x) + shift[i][0];
        component.sum[1] += double(list[i].xyz.y) + shift[i][1];
        component.sum[2] += double(list[i].xyz.z) + shift[i][2];
        ++component.members;
        component.crossed |= crossed[i];
    }
    for (Component& component : byRoot) {
        if (component.members == 0)
            continue;
        const auto n = static_cast<double>(component.members);
        const Point3d centroid(component.sum[0] / n, component.sum[1] / n, component.sum[2] / n);
        cell.InsideCell(centroid, component.index, component.extra, tolerance, true, false);
        cell.NormalizeOffset(component.index, true);
    }

    for (std::size_t i = 0; i < count; ++i) {
        Cell::PrefetchAhead(list, i);
        Atom* const atom = list[i].Live();
        if (!atom)
            continue;
        const Component& component = byRoot[root[i]];
        LatticeOffset own;
        LatticeOffset ownExtra;
        cell.InsideCell(list[i].xyz, own, ownExtra, tolerance, true, false);
        cell.NormalizeOffset(own, true);
        const LatticeOffset whole = LatticeOffset(shift[i][0], shift[i][1], shift[i][2]) + component.index;
        LatticeOffset start;
        int extent[3];
        for (int axis = 0; axis < 3; ++axis) {
            const bool network = (component.crossed >> axis & 1) != 0;
            start.SetAt(axis, network ? own.GetAt(axis) : whole.GetAt(axis));
            extent[axis] = network ? ownExtra.GetAt(axis) : component.extra.GetAt(axis);
        }
        // Shown where it stands and nowhere else: nothing to clip or derive.
        if (!start.IsPeriodic() && extent[0] == 0 && extent[1] == 0 && extent[2] == 0) {
            if (atom->IsClipped())
                atom->SetClipped(false);
            continue;
        }
        const TreeNode::Watch alive(atom);
        atom->SetClipped(true);
        for (int u = 0; u <= extent[0] && alive.alive; ++u) {
            for (int v = 0; v <= extent[1] && alive.alive; ++v) {
                for (int w = 0; w <= extent[2] && alive.alive; ++w) {
                    const LatticeOffset offset = start + LatticeOffset(u, v, w);
                    if (!offset.IsPeriodic())
                        atom->SetClipped(false);
                    else
                        m_replicas.DerivePeriodicBondedAtom(atom, offset, list[i].xyz);
                }
            }
        }
    }
    return true;
}

bool CellPacking::Tile(Cell::AtomDataArray& list)
{
    const LatticeOffset tile = m_replicas.GetCell().GetBuildInfo().GetTile();
    if (list.empty() || tile.IsSame(LatticeOffset(1, 1, 1)))
        return false;
    for (const Cell::AtomData& record : list) {
        Atom* const atom = record.Live();
        if (!atom)
            continue;
        const TreeNode::Watch alive(atom);
        for (int u = 0; u < tile.a && alive.alive; ++u) {
            for (int v = 0; v < tile.b && alive.alive; ++v) {
                for (int w = 0; w < tile.c && alive.alive; ++w) {
                    if (u == 0 && v == 0 && w == 0)
                        continue;
                    if (Atom* const image = m_replicas.DerivePeriodicBondedAtom(atom, LatticeOffset(u, v, w), record.xyz))
                        image->SetClipped(false);
                }
            }
        }
    }
    return true;
}

} // namespace Tavrel
