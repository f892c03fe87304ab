#include <tavrel/chemistry/ChiralityTree.h>

#include <algorithm>
#include <utility>

namespace Tavrel {

bool ChiralityTree::AddNode(const Atom* atom, int parent, int weight)
{
    if (parent < 0 || (m_nodes.empty() ? parent != 0 : parent >= GetSize()))
        return false;
    bool duplicate = false;
    if (!m_nodes.empty() && parent != 0) {
        const ChiralityTreeNode& above = (*this)[parent];
        if (above.terminal)
            return false;
        // The bond just crossed is not walked back.
        const int grandparent = above.parent;
        if ((*this)[grandparent].atom == atom)
            return false;
        // The atom seen once further up closes a ring: kept, not expanded. Seen twice: refused.
        int count = 0;
        if (grandparent != 0) {
            for (int index = (*this)[grandparent].parent;; index = (*this)[index].parent) {
                if ((*this)[index].atom == atom)
                    ++count;
                if (index == 0)
                    break;
            }
        }
        if (count > 1)
            return false;
        duplicate = count == 1;
    }
    if (m_nodes.size() == m_nodes.capacity())
        m_nodes.reserve(m_nodes.size() + GrowthStep);
    const int depth = m_nodes.empty() ? 0 : (*this)[parent].depth + 1;
    m_nodes.push_back({atom, parent, weight, depth, weight, weight == 1 || duplicate});
    // The root is its own parent: its sum counts its weight twice and is never compared.
    m_nodes[static_cast<std::size_t>(parent)].sum += weight;
    return true;
}

bool ChiralityTree::GetNode(int index, const Atom** atom, int* depth) const
{
    if (index < 0 || index >= GetSize())
        return false;
    const ChiralityTreeNode& node = (*this)[index];
    if (atom)
        *atom = node.atom;
    if (depth)
        *depth = node.depth;
    return !node.terminal;
}

bool ChiralityTree::Sort()
{
    const std::size_t count = m_nodes.size();
    if (count < 3)
        return true;
    for (bool swapped = true; swapped;) {
        swapped = false;
        for (std::size_t i = 1; i + 1 < count; ++i) {
            const ChiralityTreeNode& a = m_nodes[i];
            const ChiralityTreeNode& b = m_nodes[i + 1];
            if (a.parent < b.parent || (a.parent == b.parent && a.sum >= b.sum))
                continue;
            std::swap(m_nodes[i], m_nodes[i + 1]);
            // Children follow their parents to the new places.
            const auto first = static_cast<std::int32_t>(i);
            for (std::size_t j = i; j < count; ++j) {
                std::int32_t& parent = m_nodes[j].parent;
                if (parent == first + 1)
                    parent = first;
                else if (parent == first)
                    parent = first + 1;
            }
            swapped = true;
        }
    }
    return true;
}

bool ChiralityTree::operator==(const ChiralityTree& other) const
{
    return std::equal(m_nodes.begin(), m_nodes.end(), other.m_nodes.begin(), other.m_nodes.end(),
                      [](const ChiralityTreeNode& a, const ChiralityTreeNode& b) {
                          return a.weight == b.weight && a.parent == b.parent;
                      });
}

bool ChiralityTree::operator<(const ChiralityTree& other) const
{
    const std::size_t shared = std::min(m_nodes.size(), other.m_nodes.size());
    for (std::size_t i = 0; i < shared; ++i) {
        if (m_nodes[i].weight != other.m_nodes[i].weight)
            return m_nodes[i].weight < other.m_nodes[i].weight;
    }
    return m_nodes.size() < other.m_nodes.size();
}

} // namespace Tavrel
