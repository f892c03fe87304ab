// ChiralityTree: the breadth-first priority tree that ranks one branch of a stereocentre.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tavrel {

class Atom;

// One node of a priority tree.
struct ChiralityTreeNode {
    const Atom* atom = nullptr;  // the atom the node stands for (an atom may appear in several nodes)
    std::int32_t parent = 0;     // index of the parent node; the root's is its own, 0
    std::int32_t weight = 0;     // the atomic number the caller gives
    std::int32_t depth = 0;      // 0 for the root
    std::int32_t sum = 0;        // the weight plus the weights of the nodes added under it
    bool terminal = false;       // not expanded: a hydrogen or a ring closure
};

// A flat array of nodes in insertion order, node 0 the root. The expansion stays finite: a step back
// along the bond just crossed is refused, a ring closure is kept once as a terminal duplicate and
// paths that would meet an atom a third time are refused. Sort orders siblings heaviest branch first;
// == and < compare whole trees node by node.
class ChiralityTree {
public:
    // Storage grows by this many nodes at a time.
    static constexpr std::size_t GrowthStep = 128;

    ChiralityTree() = default;

    // Appends a node under parent unless a rule refuses it (false). Under the root (parent 0) every
    // atom is taken.
    bool AddNode(const Atom* atom, int parent, int weight);
    // Writes the node's atom and depth into the outputs given; true when the node may be expanded.
    // An index out of range gives false and writes nothing.
    bool GetNode(int index, const Atom** atom, int* depth) const;
    const ChiralityTreeNode& operator[](int index) const { return m_nodes[static_cast<std::size_t>(index)]; }
    int GetSize() const { return static_cast<int>(m_nodes.size()); }

    // Groups children by parent in parent order and puts the heaviest sibling first (stable); the root
    // stays at 0 and every node keeps its parent. Always true.
    bool Sort();

    // The same node count and, index by index, the same weights and parents.
    bool operator==(const ChiralityTree& other) const;
    // The first differing weight decides; with all shared nodes equal, the tree with fewer nodes is
    // the smaller.
    bool operator<(const ChiralityTree& other) const;

private:
    std::vector<ChiralityTreeNode> m_nodes;
};

} // namespace Tavrel
