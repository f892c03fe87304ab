#include <tavrel/symmetry_build/SymmetryTree.h>

#include <algorithm>
#include <numeric>
#include <tuple>
#include <utility>

#include <tavrel/biopolymers/Residue.h>
#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Chain.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/crystal/Cell.h>

namespace Tavrel {

namespace {

constexpr std::uint64_t freeSlot = ~std::uint64_t{0};

using Edge = SymmetryTree::BondEdges::Packed;

// Edges of one list in order of (neighbour, bond, translation).
struct EdgeOrder {
    const SymmetryTree::BondEdges& edges;
    bool Less(const Edge& x, const Edge& y) const
    {
        if (x.node != y.node || x.bond != y.bond)
            return std::tie(x.node, x.bond) < std::tie(y.node, y.bond);
        return edges.TranslationLess(x, y);
    }
    bool Equal(const Edge& x, const Edge& y) const
    {
        return x.node == y.node && x.bond == y.bond && edges.TranslationEqual(x, y);
    }
    bool IsLowerEnd(std::int32_t u, const Edge& e) const
    {
        return u < e.node || (u == e.node && edges.IsNonNegative(e));
    }
};

SymmetryImageKey Shifted(const SymmetryImageKey& key, std::int32_t a, std::int32_t b, std::int32_t c)
{
    return {key.op, key.a + a, key.b + b, key.c + c};
}

} // namespace

SymmetryTree::SymmetryTree() : m_atomIndex(freeSlot), m_objectIndex(freeSlot) {}

std::int32_t SymmetryTree::GetTypeCode(const Object* object)
{
    if (!object)
        return OtherType;
    if (IsA<Atom>(object))
        return AtomType;
    if (IsA<Residue>(object))
        return ResidueType;
    if (IsA<Chain>(object))
        return ChainType;
    if (IsA<Molecule>(object))
        return MoleculeType;
    if (IsA<Cell>(object))
        return CellType;
    return OtherType;
}

void SymmetryTree::ClearObjects()
{
    m_objectItems.clear();
    m_objectOperators.clear();
    m_objectTypes.clear();
    m_objectParents.clear();
    m_objectIndex.Clear();
    m_root = -1;
    m_childOffsets.clear();
    m_children.clear();
}

void SymmetryTree::Clear()
{
    m_atomItems.clear();
    m_atomKeys.clear();
    m_atomParents.clear();
    m_edgeOffsets.clear();
    m_edges.Clear();
    m_atomSlots.clear();
    m_itemStarts.clear();
    m_atomStride = 0;
    m_atomIndex.Clear();
    m_components.clear();
    ClearObjects();
}

bool SymmetryTree::SetAtoms(std::int32_t n, IntArray atomItems, SymmetryImageKey::Array atomKeys)
{
    if (n < 0 || atomItems.size() != static_cast<std::size_t>(n) || atomKeys.size() != atomItems.size())
        return false;
    Clear();
    m_atomItems = std::move(atomItems);
    m_atomKeys = std::move(atomKeys);
    const IntArray& items = m_atomItems;
    const SymmetryImageKey::Array& keys = m_atomKeys;
    m_atomParents.assign(items.size(), -1);
    m_edgeOffsets.assign(items.size() + 1, 0);
    std::int64_t itemCount = 0;
    std::int64_t opCount = 0;
    bool dense = true;
    for (std::size_t at = 0; at < items.size() && dense; ++at) {
        dense = items[at] >= 0 && keys[at].op >= 0;
        itemCount = std::max<std::int64_t>(itemCount, items[at] + std::int64_t{1});
        opCount = std::max<std::int64_t>(opCount, keys[at].op + std::int64_t{1});
    }
    if (dense && itemCount * opCount <= 4 * static_cast<std::int64_t>(n) + 64) {
        m_atomStride = static_cast<std::int32_t>(opCount);
        if (StartItems(static_cast<std::int32_t>(itemCount)))
            return true;
        m_atomSlots.assign(static_cast<std::size_t>(itemCount * opCount), -1);
        for (std::int32_t i = 0; i < n; ++i) {
            const auto at = static_cast<std::size_t>(i);
            std::int32_t& slot = m_atomSlots[static_cast<std::size_t>(items[at]) * static_cast<std::size_t>(opCount) +
                                             static_cast<std::size_t>(keys[at].op)];
            if (slot < 0)
                slot = i;
        }
        return true;
    }
    m_atomIndex.Reserve(items.size());
    for (std::int32_t i = 0; i < n; ++i) {
        const auto at = static_cast<std::size_t>(i);
        m_atomIndex.Insert(Pack(items[at], keys[at].op), i);
    }
    return true;
}

bool SymmetryTree::StartItems(std::int32_t itemCount)
{
    const IntArray& items = m_atomItems;
    m_itemStarts.assign(static_cast<std::size_t>(itemCount) + 1, 0);
    std::size_t at = 0;
    for (std::int32_t item = 0; item < itemCount; ++item) {
        const std::size_t start = at;
        bool inOrder = true;
        for (; at < items.size() && items[at] == item; ++at)
            inOrder = inOrder && static_cast<std::size_t>(m_atomKeys[at].op) == at - start;
        inOrder = inOrder && at - start == static_cast<std::size_t>(m_atomStride);
        m_itemStarts[static_cast<std::size_t>(item)] = inOrder ? static_cast<std::int32_t>(start) : ~static_cast<std::int32_t>(start);
    }
    m_itemStarts.back() = static_cast<std::int32_t>(at);
    if (at == items.size())
        return true;
    m_itemStarts.clear();
    return false;
}

bool SymmetryTree::ValidBonds(std::int32_t n, const IntArray& offsets, const BondEdges& edges) const
{
    if (n != GetAtomNodeCount() || offsets.size() != static_cast<std::size_t>(n) + 1 || offsets.front() != 0 ||
        offsets.back() != static_cast<std::int32_t>(edges.size()) || !std::is_sorted(offsets.begin(), offsets.end()))
        return false;
    for (std::size_t at = 0; at < edges.size(); ++at) {
        if (edges[at].bond >= 0 && (edges[at].node < 0 || edges[at].node >= n))
            return false;
    }
    return true;
}

bool SymmetryTree::CountBondEdges(std::int32_t n, const IntArray& offsets, const BondEdges& edges)
{
    // Each taken bond adds an edge at both ends.
    IntArray& starts = m_edgeOffsets;
    starts.assign(static_cast<std::size_t>(n) + 1, 0);
    bool lowerEnds = true;
    for (std::int32_t i = 0; i < n; ++i) {
        for (std::int32_t e = offsets[static_cast<std::size_t>(i)]; e < offsets[static_cast<std::size_t>(i) + 1]; ++e) {
            const Edge& edge = edges[static_cast<std::size_t>(e)];
            if (edge.bond < 0) {
                lowerEnds = false;
                continue;
            }
            lowerEnds = lowerEnds && edge.node >= i;
            ++starts[static_cast<std::size_t>(i)];
            ++starts[static_cast<std::size_t>(edge.node)];
        }
    }
    return lowerEnds;
}

void SymmetryTree::CopyBondEdges(std::int32_t n, const IntArray& offsets, const BondEdges& edges)
{
    // Laid out node by node, each node's offset serving as its cursor and moved back in place
    // afterwards.
    IntArray& starts = m_edgeOffsets;
    std::exclusive_scan(starts.begin(), starts.end(), starts.begin(), 0);
    m_edges.Clear();
    m_edges.Resize(static_cast<std::size_t>(starts.back()));
    for (std::int32_t i = 0; i < n; ++i) {
        for (std::int32_t e = offsets[static_cast<std::size_t>(i)]; e < offsets[static_cast<std::size_t>(i) + 1]; ++e) {
            const Edge& edge = edges[static_cast<std::size_t>(e)];
            if (edge.bond < 0)
                continue;
            m_edges.Copy(static_cast<std::size_t>(starts[static_cast<std::size_t>(i)]++), edges, edge);
            m_edges.CopyReversed(static_cast<std::size_t>(starts[static_cast<std::size_t>(edge.node)]++), i, edges, edge);
        }
    }
    // Each cursor now stands at the next node's start.
    if (n > 0)
        std::copy_backward(starts.begin(), starts.end() - 2, starts.end() - 1);
    starts.front() = 0;
}

bool SymmetryTree::SetBonds(std::int32_t n, const IntArray& offsets, const BondEdges& edges)
{
    if (!ValidBonds(n, offsets, edges))
        return false;
    CountBondEdges(n, offsets, edges);
    CopyBondEdges(n, offsets, edges);
    return true;
}

bool SymmetryTree::SetBonds(std::int32_t n, const IntArray& offsets, BondEdges&& edges)
{
    if (!ValidBonds(n, offsets, edges))
        return false;
    // In place only where every edge is taken and lies at its lower end: node i's edges then land at
    // or after where they are read, so a walk from the last edge back writes over nothing unread.
    if (!CountBondEdges(n, offsets, edges)) {
        CopyBondEdges(n, offsets, edges);
        return true;
    }
    // Each node's end, which serves as its cursor from the back and ends at its start.
    IntArray& starts = m_edgeOffsets;
    std::inclusive_scan(starts.begin(), starts.end(), starts.begin());
    m_edges = std::move(edges);
    m_edges.Resize(static_cast<std::size_t>(starts.back()));
    for (std::int32_t i = n - 1; i >= 0; --i) {
        for (std::int32_t e = offsets[static_cast<std::size_t>(i) + 1] - 1; e >= offsets[static_cast<std::size_t>(i)]; --e) {
            const Edge edge = m_edges[static_cast<std::size_t>(e)];
            m_edges.CopyReversed(static_cast<std::size_t>(--starts[static_cast<std::size_t>(edge.node)]), i, m_edges, edge);
            m_edges.Copy(static_cast<std::size_t>(--starts[static_cast<std::size_t>(i)]), m_edges, edge);
        }
    }
    return true;
}

std::uint32_t SymmetryTree::BondEdges::Far(SymmetryImageKey t)
{
    m_far.push_back(t);
    return farBit | static_cast<std::uint32_t>(m_far.size() - 1);
}

bool SymmetryTree::BondEdges::FarIsNonNegative(const Packed& e) const
{
    const SymmetryImageKey t = Translation(e);
    return t.a > 0 || (t.a == 0 && (t.b > 0 || (t.b == 0 && t.c >= 0)));
}

bool SymmetryTree::BondEdges::FarLess(const Packed& x, const Packed& y) const
{
    const SymmetryImageKey s = Translation(x);
    const SymmetryImageKey t = Translation(y);
    return std::tie(s.a, s.b, s.c) < std::tie(t.a, t.b, t.c);
}

bool SymmetryTree::BondEdges::FarEqual(const Packed& x, const Packed& y) const
{
    return Translation(x) == Translation(y);
}

std::uint32_t SymmetryTree::BondEdges::FarReversed(const BondEdges& from, const Packed& e)
{
    const SymmetryImageKey f = from.Translation(e);
    return PackTranslation(-f.a, -f.b, -f.c);
}

bool SymmetryTree::KeepBondsOnce(IntArray& offsets, BondEdges& list)
{
    std::vector<Edge>& edges = list.Edges();
    if (offsets.empty() || offsets.front() != 0 || offsets.back() != static_cast<std::int32_t>(edges.size()) ||
        !std::is_sorted(offsets.begin(), offsets.end()))
        return false;
    const auto n = static_cast<std::int32_t>(offsets.size() - 1);
    const auto edgesOf = [&offsets, &edges](std::int32_t u) {
        const auto at = static_cast<std::size_t>(u);
        return std::span<Edge>(edges).subspan(static_cast<std::size_t>(offsets[at]),
                                              static_cast<std::size_t>(offsets[at + 1] - offsets[at]));
    };
    if (std::any_of(edges.begin(), edges.end(), [n](const Edge& e) { return e.node < 0 || e.node >= n; }))
        return false;
    const EdgeOrder order{list};
    // A bond seen from its upper end is usually seen from its lower end too, as itself or as an
    // ignored bond to the same image: that one takes its place, and the lower ends then hold the
    // whole set where it lies.
    bool inPlace = true;
    for (std::int32_t u = 0; u < n && inPlace; ++u) {
        for (const Edge& e : edgesOf(u)) {
            if (e.bond < 0 || order.IsLowerEnd(u, e))
                continue;
            const Edge back = list.Reversed(u, e);
            Edge* free = nullptr;
            bool seen = false;
            for (Edge& f : edgesOf(e.node)) {
                seen = order.Equal(f, back);
                if (seen)
                    break;
                if (!free && f.bond < 0 && f.node == back.node && list.TranslationEqual(f, back))
                    free = &f;
            }
            inPlace = seen || free;
            if (!inPlace)
                break;
            if (!seen)
                *free = back;
        }
    }
    if (!inPlace) {
        // Else each goes into the bucket of its lower node.
        IntArray counts(offsets.size(), 0);
        for (std::int32_t u = 0; u < n; ++u) {
            for (const Edge& e : edgesOf(u)) {
                if (e.bond >= 0)
                    ++counts[static_cast<std::size_t>(order.IsLowerEnd(u, e) ? u : e.node) + 1];
            }
        }
        std::partial_sum(counts.begin(), counts.end(), counts.begin());
        std::vector<Edge> bucketed(static_cast<std::size_t>(counts.back()));
        IntArray fill(counts.begin(), counts.end() - 1);
        for (std::int32_t u = 0; u < n; ++u) {
            for (const Edge& e : edgesOf(u)) {
                if (e.bond < 0)
                    continue;
                const bool lower = order.IsLowerEnd(u, e);
                bucketed[static_cast<std::size_t>(fill[static_cast<std::size_t>(lower ? u : e.node)]++)] =
                    lower ? e : list.Reversed(u, e);
            }
        }
        offsets = std::move(counts);
        edges = std::move(bucketed);
    }
    // Each node's are sorted, repeats dropped, and moved down to follow the previous node's: the few
    // of a node by insertion (nothing read yet is overwritten), many by sorting.
    constexpr std::int32_t fewEdges = 16;
    std::int32_t kept = 0;
    for (std::int32_t u = 0; u < n; ++u) {
        const auto at = static_cast<std::size_t>(u);
        const std::int32_t begin = offsets[at];
        const std::int32_t end = offsets[at + 1];
        const std::int32_t first = kept;
        offsets[at] = kept;
        if (end - begin > fewEdges) {
            const auto last = std::remove_if(edges.begin() + begin, edges.begin() + end,
                                             [u, &order](const Edge& e) { return e.bond < 0 || !order.IsLowerEnd(u, e); });
            std::sort(edges.begin() + begin, last, [&order](const Edge& x, const Edge& y) { return order.Less(x, y); });
            const auto unique = std::unique(edges.begin() + begin, last,
                                            [&order](const Edge& x, const Edge& y) { return order.Equal(x, y); });
            kept = static_cast<std::int32_t>(std::move(edges.begin() + begin, unique, edges.begin() + kept) - edges.begin());
            continue;
        }
        for (std::int32_t r = begin; r < end; ++r) {
            const Edge e = edges[static_cast<std::size_t>(r)];
            if (e.bond < 0 || !order.IsLowerEnd(u, e))
                continue;
            std::int32_t place = kept;
            while (place > first && order.Less(e, edges[static_cast<std::size_t>(place) - 1]))
                --place;
            if (place > first && order.Equal(e, edges[static_cast<std::size_t>(place) - 1]))
                continue;
            std::move_backward(edges.begin() + place, edges.begin() + kept, edges.begin() + kept + 1);
            edges[static_cast<std::size_t>(place)] = e;
            ++kept;
        }
    }
    offsets.back() = kept;
    edges.resize(static_cast<std::size_t>(kept));
    return true;
}

bool SymmetryTree::SetComponents(IndexLists components)
{
    const std::int32_t n = GetAtomNodeCount();
    if (n == 0)
        return !components.empty() && (m_components = std::move(components), true);
    std::vector<bool> seen(static_cast<std::size_t>(n), false);
    for (const IntArray& component : components) {
        for (const std::int32_t node : component) {
            if (node < 0 || node >= n || seen[static_cast<std::size_t>(node)])
                return false;
            seen[static_cast<std::size_t>(node)] = true;
        }
    }
    m_components = std::move(components);
    return true;
}

bool SymmetryTree::SetObjects(std::int32_t n, const IntArray& items, const IntArray& operators,
                              const IntArray& typeCodes)
{
    const auto count = static_cast<std::size_t>(n < 0 ? 0 : n);
    if (n < 0 || items.size() != count || operators.size() != count || typeCodes.size() != count)
        return false;
    ClearObjects();
    m_objectItems = items;
    m_objectOperators = operators;
    m_objectTypes = typeCodes;
    m_objectParents.assign(count, -1);
    m_objectIndex.Reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        m_objectIndex.Insert(Pack(items[i], operators[i]), static_cast<std::int32_t>(i));
    return true;
}

bool SymmetryTree::SetParents(const IntArray& parents)
{
    const std::int32_t atoms = GetAtomNodeCount();
    const std::int32_t objects = GetObjectNodeCount();
    if (parents.size() != static_cast<std::size_t>(atoms) + static_cast<std::size_t>(objects))
        return false;
    std::int32_t root = -1;
    for (std::int32_t i = 0; i < atoms + objects; ++i) {
        const std::int32_t parent = parents[static_cast<std::size_t>(i)];
        if (i < atoms ? (parent < 0 || parent >= objects) : parent >= objects)
            return false;
        if (i >= atoms && parent < 0) {
            if (root >= 0)
                return false;
            root = i - atoms;
        }
    }
    std::copy(parents.begin(), parents.begin() + atoms, m_atomParents.begin());
    for (std::int32_t i = 0; i < objects; ++i)
        m_objectParents[static_cast<std::size_t>(i)] = std::max(parents[static_cast<std::size_t>(atoms + i)], -1);
    m_root = root;
    m_childOffsets.assign(static_cast<std::size_t>(objects) + 1, 0);
    for (std::int32_t i = 0; i < atoms + objects; ++i) {
        const std::int32_t parent = parents[static_cast<std::size_t>(i)];
        if (parent >= 0)
            ++m_childOffsets[static_cast<std::size_t>(parent) + 1];
    }
    for (std::size_t i = 1; i < m_childOffsets.size(); ++i)
        m_childOffsets[i] += m_childOffsets[i - 1];
    m_children.assign(static_cast<std::size_t>(m_childOffsets.back()), 0);
    IntArray next(m_childOffsets.begin(), m_childOffsets.end() - 1);
    for (std::int32_t i = 0; i < atoms + objects; ++i) {
        const std::int32_t parent = parents[static_cast<std::size_t>(i)];
        if (parent >= 0)
            m_children[static_cast<std::size_t>(next[static_cast<std::size_t>(parent)]++)] = i;
    }
    return true;
}

std::int32_t SymmetryTree::FindAtomNode(std::int32_t item, std::int32_t op) const
{
    if (m_atomStride > 0) {
        if (item < 0 || op < 0 || op >= m_atomStride)
            return -1;
        if (!m_itemStarts.empty()) {
            if (static_cast<std::size_t>(item) + 1 >= m_itemStarts.size())
                return -1;
            const std::int32_t start = m_itemStarts[static_cast<std::size_t>(item)];
            if (start >= 0)
                return start + op;
            const std::int32_t next = m_itemStarts[static_cast<std::size_t>(item) + 1];
            for (std::int32_t i = ~start; i < (next < 0 ? ~next : next); ++i) {
                if (m_atomKeys[static_cast<std::size_t>(i)].op == op)
                    return i;
            }
            return -1;
        }
        const std::size_t slot = static_cast<std::size_t>(item) * static_cast<std::size_t>(m_atomStride) +
                                 static_cast<std::size_t>(op);
        return slot < m_atomSlots.size() ? m_atomSlots[slot] : -1;
    }
    const std::int32_t* const found = m_atomIndex.Find(Pack(item, op));
    return found ? *found : -1;
}

std::int32_t SymmetryTree::FindObjectNode(std::int32_t item, std::int32_t op) const
{
    const std::int32_t* const found = m_objectIndex.Find(Pack(item, op));
    return found ? *found : -1;
}

std::int32_t SymmetryTree::Locate(const ImageNode& atom, SymmetryImageKey& shifted) const
{
    const std::int32_t node = FindAtomNode(atom.item, atom.key.op);
    if (node >= 0) {
        const SymmetryImageKey& stored = m_atomKeys[static_cast<std::size_t>(node)];
        shifted = {0, atom.key.a - stored.a, atom.key.b - stored.b, atom.key.c - stored.c};
    }
    return node;
}

ImageNode SymmetryTree::GetParentImage(const ImageNode& atom) const
{
    SymmetryImageKey d;
    const std::int32_t node = Locate(atom, d);
    const std::int32_t parent = node < 0 ? -1 : m_atomParents[static_cast<std::size_t>(node)];
    if (parent < 0)
        return {};
    const auto p = static_cast<std::size_t>(parent);
    return {m_objectItems[p], {m_objectOperators[p], d.a, d.b, d.c}};
}

ImageNode SymmetryTree::GetObjectParentImage(const ImageNode& object) const
{
    const std::int32_t node = FindObjectNode(object.item, object.key.op);
    const std::int32_t parent = node < 0 ? -1 : m_objectParents[static_cast<std::size_t>(node)];
    if (parent < 0)
        return {};
    const auto p = static_cast<std::size_t>(parent);
    if (parent == m_root)
        return {m_objectItems[p], {m_objectOperators[p], 0, 0, 0}};
    return {m_objectItems[p], {m_objectOperators[p], object.key.a, object.key.b, object.key.c}};
}

bool SymmetryTree::GetNeighborImages(const ImageNode& atom, std::vector<Neighbor>& neighbors) const
{
    neighbors.clear();
    return ForEachNeighborImage(
        atom, [&neighbors](std::int32_t bond, const ImageNode& image) { neighbors.emplace_back(bond, image); });
}

bool SymmetryTree::GetGroupImages(std::int32_t typeCode, const ImageNode& atom, std::vector<ImageNode>& images) const
{
    images.clear();
    SymmetryImageKey d;
    const std::int32_t node = Locate(atom, d);
    if (node < 0)
        return false;
    std::int32_t group = m_atomParents[static_cast<std::size_t>(node)];
    while (group >= 0 && m_objectTypes[static_cast<std::size_t>(group)] != typeCode)
        group = m_objectParents[static_cast<std::size_t>(group)];
    if (group < 0) {
        images.push_back(atom);
        return true;
    }
    const std::int32_t atoms = GetAtomNodeCount();
    IntArray queue{group};
    for (std::size_t next = 0; next < queue.size(); ++next) {
        const auto object = static_cast<std::size_t>(queue[next]);
        for (std::int32_t c = m_childOffsets[object]; c < m_childOffsets[object + 1]; ++c) {
            const std::int32_t child = m_children[static_cast<std::size_t>(c)];
            if (child >= atoms) {
                queue.push_back(child - atoms);
                continue;
            }
            const auto j = static_cast<std::size_t>(child);
            images.emplace_back(m_atomItems[j], Shifted(m_atomKeys[j], d.a, d.b, d.c));
        }
    }
    return true;
}

void SymmetryTree::GetRootImages(bool parentImages, std::vector<ImageNode>& images) const
{
    images.clear();
    for (std::size_t i = 0; i < m_atomItems.size(); ++i) {
        if (!parentImages) {
            if (m_atomKeys[i].IsIdentity())
                images.emplace_back(m_atomItems[i], SymmetryImageKey::identity);
            continue;
        }
        const std::int32_t parent = m_atomParents[i];
        if (parent >= 0 && m_objectOperators[static_cast<std::size_t>(parent)] == 0)
            images.emplace_back(m_atomItems[i], m_atomKeys[i]);
    }
}

void SymmetryTree::ExportNodes(IntArray& items, SymmetryImageKey::Array& keys, IndexLists& components) const
{
    items = m_atomItems;
    keys = m_atomKeys;
    components = m_components;
}

} // namespace Tavrel
