#include <tavrel/symmetry_build/CellBuildTree.h>

namespace Tavrel {

void CellBuildTree::Nodes::Clear()
{
    nodes.clear();
    index.Clear();
    parents.clear();
    oids.clear();
}

std::int32_t CellBuildTree::Nodes::Add(const ImageNode& node, std::int32_t itemCount)
{
    if (node.item < 0 || node.item >= itemCount)
        return -1;
    const auto [at, added] = index.Insert(node, static_cast<std::int32_t>(nodes.size()));
    if (added) {
        nodes.push_back(node);
        parents.push_back(-1);
        oids.push_back(0);
    }
    return *at;
}

std::int32_t CellBuildTree::Nodes::Find(const ImageNode& node) const
{
    const std::int32_t* const found = index.Find(node);
    return found ? *found : -1;
}

CellBuildTree::CellBuildTree(std::int32_t atomCount, std::int32_t objectCount)
    : m_atomCount(atomCount < 0 ? 0 : atomCount), m_objectCount(objectCount < 0 ? 0 : objectCount)
{
}

std::int32_t CellBuildTree::AddAtomNode(const ImageNode& node)
{
    const std::int32_t count = GetAtomNodeCount();
    const std::int32_t i = m_atoms.Add(node, m_atomCount);
    if (i == count) {
        m_visibility.push_back(-1);
        m_bondRanges.emplace_back();
    }
    return i;
}

std::int32_t CellBuildTree::AddObjectNode(const ImageNode& node)
{
    return m_objects.Add(node, m_objectCount);
}

std::int32_t CellBuildTree::FindAtomNode(const ImageNode& node) const
{
    return m_atoms.Find(node);
}

std::int32_t CellBuildTree::FindObjectNode(const ImageNode& node) const
{
    return m_objects.Find(node);
}

bool CellBuildTree::SetAtomParent(std::int32_t atomNode, std::int32_t objectNode)
{
    if (atomNode < 0 || atomNode >= GetAtomNodeCount() || objectNode < 0 || objectNode >= GetObjectNodeCount())
        return false;
    m_atoms.parents[static_cast<std::size_t>(atomNode)] = objectNode;
    return true;
}

bool CellBuildTree::SetObjectParent(std::int32_t objectNode, std::int32_t parentNode)
{
    if (objectNode < 0 || objectNode >= GetObjectNodeCount() || parentNode >= GetObjectNodeCount())
        return false;
    if (parentNode < 0) {
        if (m_root >= 0)
            return false;
        m_root = objectNode;
        m_objects.parents[static_cast<std::size_t>(objectNode)] = -1;
        return true;
    }
    m_objects.parents[static_cast<std::size_t>(objectNode)] = parentNode;
    return true;
}

bool CellBuildTree::SetAtomBondLists(std::int32_t atomNode, const IntArray& neighbors, const IntArray& bonds)
{
    if (atomNode < 0 || atomNode >= GetAtomNodeCount() || neighbors.size() != bonds.size())
        return false;
    m_bondRanges[static_cast<std::size_t>(atomNode)] = {static_cast<std::int32_t>(m_bondNeighbors.size()),
                                                        static_cast<std::int32_t>(neighbors.size())};
    m_bondNeighbors.insert(m_bondNeighbors.end(), neighbors.begin(), neighbors.end());
    m_bondNumbers.insert(m_bondNumbers.end(), bonds.begin(), bonds.end());
    return true;
}

void CellBuildTree::SetAtomVisibility(std::int32_t atomNode, std::int32_t visibility)
{
    if (atomNode >= 0 && atomNode < GetAtomNodeCount())
        m_visibility[static_cast<std::size_t>(atomNode)] = static_cast<std::int8_t>(visibility < 0 ? -1 : (visibility > 0 ? 1 : 0));
}

std::int32_t CellBuildTree::GetAtomVisibility(std::int32_t atomNode) const
{
    return atomNode >= 0 && atomNode < GetAtomNodeCount() ? m_visibility[static_cast<std::size_t>(atomNode)] : -1;
}

std::span<const std::int32_t> CellBuildTree::GetAtomBondNeighbors(std::int32_t atomNode) const
{
    if (atomNode < 0 || atomNode >= GetAtomNodeCount())
        return {};
    const BondRange& range = m_bondRanges[static_cast<std::size_t>(atomNode)];
    return std::span<const std::int32_t>(m_bondNeighbors).subspan(static_cast<std::size_t>(range.begin),
                                                                  static_cast<std::size_t>(range.count));
}

std::span<const std::int32_t> CellBuildTree::GetAtomBondNumbers(std::int32_t atomNode) const
{
    if (atomNode < 0 || atomNode >= GetAtomNodeCount())
        return {};
    const BondRange& range = m_bondRanges[static_cast<std::size_t>(atomNode)];
    return std::span<const std::int32_t>(m_bondNumbers).subspan(static_cast<std::size_t>(range.begin),
                                                                static_cast<std::size_t>(range.count));
}

std::int32_t CellBuildTree::GetAtomParent(std::int32_t atomNode) const
{
    return atomNode >= 0 && atomNode < GetAtomNodeCount() ? m_atoms.parents[static_cast<std::size_t>(atomNode)] : -1;
}

std::int32_t CellBuildTree::GetObjectParent(std::int32_t objectNode) const
{
    return objectNode >= 0 && objectNode < GetObjectNodeCount() ? m_objects.parents[static_cast<std::size_t>(objectNode)]
                                                                : -1;
}

std::uint32_t CellBuildTree::GetAtomNodeOID(std::int32_t i) const
{
    return i >= 0 && i < GetAtomNodeCount() ? m_atoms.oids[static_cast<std::size_t>(i)] : 0;
}

std::uint32_t CellBuildTree::GetObjectNodeOID(std::int32_t i) const
{
    return i >= 0 && i < GetObjectNodeCount() ? m_objects.oids[static_cast<std::size_t>(i)] : 0;
}

void CellBuildTree::Clear()
{
    m_atoms.Clear();
    m_objects.Clear();
    m_visibility.clear();
    m_bondRanges.clear();
    m_bondNeighbors.clear();
    m_bondNumbers.clear();
    m_root = -1;
}

bool CellBuildTree::OrderByItem(const Nodes& nodes, std::int32_t itemCount, IntArray& order, IntArray& position)
{
    // Counting sort by item, each item's node at the identity key moved to the front.
    const auto count = static_cast<std::size_t>(itemCount);
    IntArray starts(count + 1, 0);
    for (const ImageNode& node : nodes.nodes)
        ++starts[static_cast<std::size_t>(node.item) + 1];
    for (std::size_t i = 1; i <= count; ++i)
        starts[i] += starts[i - 1];
    order.assign(nodes.nodes.size(), -1);
    position.assign(nodes.nodes.size(), -1);
    IntArray next(starts.begin(), starts.end() - 1);
    for (std::int32_t item = 0; item < itemCount; ++item) {
        const std::int32_t own = nodes.Find(ImageNode(item, SymmetryImageKey::identity));
        if (own < 0)
            return false;
        order[static_cast<std::size_t>(next[static_cast<std::size_t>(item)]++)] = own;
    }
    for (std::size_t i = 0; i < nodes.nodes.size(); ++i) {
        const ImageNode& node = nodes.nodes[i];
        if (node.key.IsIdentity())
            continue;
        order[static_cast<std::size_t>(next[static_cast<std::size_t>(node.item)]++)] = static_cast<std::int32_t>(i);
    }
    for (std::size_t p = 0; p < order.size(); ++p)
        position[static_cast<std::size_t>(order[p])] = static_cast<std::int32_t>(p);
    return true;
}

IntArray CellBuildTree::ObjectDepths() const
{
    // Each node's depth found once, from its parent's.
    IntArray depths(m_objects.nodes.size(), 0);
    IntArray chain;
    for (std::size_t i = 0; i < depths.size(); ++i) {
        chain.clear();
        std::int32_t at = static_cast<std::int32_t>(i);
        while (at >= 0 && depths[static_cast<std::size_t>(at)] == 0 && chain.size() <= depths.size()) {
            chain.push_back(at);
            at = m_objects.parents[static_cast<std::size_t>(at)];
        }
        std::int32_t depth = at >= 0 ? depths[static_cast<std::size_t>(at)] : 0;
        for (auto c = chain.rbegin(); c != chain.rend(); ++c)
            depths[static_cast<std::size_t>(*c)] = ++depth;
    }
    return depths;
}

bool CellBuildTree::ExportObjectNodes(NodeExport& out) const
{
    out = {};
    IntArray order;
    IntArray position;
    if (m_root < 0 || m_objects.oids[static_cast<std::size_t>(m_root)] == 0 ||
        !OrderByItem(m_objects, m_objectCount, order, position))
        return false;
    const IntArray depths = ObjectDepths();
    const std::size_t n = order.size();
    out.oids.resize(n);
    out.depths.resize(n);
    out.parents.resize(n);
    out.symParents.resize(n);
    out.items.resize(n);
    out.ranks.resize(n);
    out.keys.resize(n);
    std::int32_t rank = 0;
    for (std::size_t p = 0; p < n; ++p) {
        const auto node = static_cast<std::size_t>(order[p]);
        const ImageNode& record = m_objects.nodes[node];
        rank = p > 0 && out.items[p - 1] == record.item ? rank + 1 : 0;
        const std::int32_t parent = m_objects.parents[node];
        out.oids[p] = m_objects.oids[node];
        out.depths[p] = depths[node];
        out.parents[p] = parent < 0 ? -1 : position[static_cast<std::size_t>(parent)];
        out.symParents[p] = static_cast<std::int32_t>(p) - rank;
        out.items[p] = record.item;
        out.ranks[p] = rank;
        out.keys[p] = record.key;
    }
    return true;
}

bool CellBuildTree::ExportAtomNodes(NodeExport& out) const
{
    out = {};
    IntArray order;
    IntArray position;
    IntArray objectOrder;
    IntArray objectPosition;
    if (m_root < 0 || m_objects.oids[static_cast<std::size_t>(m_root)] == 0 ||
        !OrderByItem(m_atoms, m_atomCount, order, position) ||
        !OrderByItem(m_objects, m_objectCount, objectOrder, objectPosition))
        return false;
    const IntArray objectDepths = ObjectDepths();
    const std::size_t n = order.size();
    out.oids.resize(n);
    out.depths.resize(n);
    out.parents.resize(n);
    out.symParents.resize(n);
    out.items.resize(n);
    out.ranks.resize(n);
    out.keys.resize(n);
    std::int32_t rank = 0;
    for (std::size_t p = 0; p < n; ++p) {
        const auto node = static_cast<std::size_t>(order[p]);
        const ImageNode& record = m_atoms.nodes[node];
        rank = p > 0 && out.items[p - 1] == record.item ? rank + 1 : 0;
        const std::int32_t parent = m_atoms.parents[node];
        out.oids[p] = m_atoms.oids[node];
        out.depths[p] = parent < 0 ? -1 : objectDepths[static_cast<std::size_t>(parent)] + 1;
        out.parents[p] = parent < 0 ? -1 : objectPosition[static_cast<std::size_t>(parent)];
        out.symParents[p] = static_cast<std::int32_t>(p) - rank;
        out.items[p] = record.item;
        out.ranks[p] = rank;
        out.keys[p] = record.key;
    }
    return true;
}

} // namespace Tavrel
