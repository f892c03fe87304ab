// CellBuildTree: the atoms and objects one crystal build shows, as images of asymmetric-unit items, built into the cell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/FlatHashMap.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/symmetry_build/ImageNode.h>

namespace Tavrel {

class Matrix4x4Group;
class SymmetryAtoms;
class SymmetryBonds;
class SymmetryImageKeySet;
class SymmetryObjects;

// Atom nodes name an asymmetric-unit atom (by its atom list) and an image key, object nodes an
// asymmetric-unit object (by its object list) and a key; every atom node has an object node as
// parent, every object node but the root one. Build reuses the objects that already stand for nodes,
// creates the missing atoms and objects as transformed copies of their asymmetric-unit sources, puts
// every object under its parent node's, makes the bonds and marks every object with "_ASU" or
// "_REP" and "_RMI". A build that fails at any step leaves the document as it was: moves and
// visibility changes are undone and only what the build created is deleted.
class CellBuildTree {
public:
    // The steps of Build, in order; a test can make any of them fail (InternalCellBuildTree.h).
    enum class Step : std::int32_t {
        None = 0,
        Register,
        ReplaceReplicas,
        RebaseItems,
        CreateAtoms,
        CreateObjects,
        Hierarchy,
        Bonds,
        Finish,
    };

    // The nodes of one kind in item order (each item's own node first, then its other nodes in node
    // order) with what the hierarchy data rebuilds its items from.
    struct NodeExport {
        OIDArray oids;
        IntArray depths;        // objects from the node up to and including the root's (the root: 1)
        IntArray parents;       // the parent object node's position in the object export; -1 for the root
        IntArray symParents;    // the position of the item's own node
        IntArray items;         // the asymmetric-unit item
        SymmetryImageKey::Array keys;
    };

private:
    struct Nodes;

public:
    // The nodes of one kind in the order of their export, each read on demand; valid while the tree
    // is unchanged.
    class NodeOrder {
    public:
        // A node as its export lists it, but for the position of its item's own node.
        struct Node {
            std::uint32_t oid;
            std::int32_t depth;
            std::int32_t parent;
            std::int32_t item;
            SymmetryImageKey key;
        };

        std::size_t GetCount() const { return m_order.size(); }
        inline std::uint32_t GetOID(std::size_t p) const;
        inline Node operator[](std::size_t p) const;
        // Every node's OID and node, in node order.
        inline std::span<const std::uint32_t> GetNodeOIDs() const;
        inline std::span<const ImageNode> GetNodes() const;

    private:
        friend class CellBuildTree;
        const Nodes* m_nodes = nullptr;
        bool m_atoms = false;
        IntArray m_order;
        // Per object node, its position in the object export and its depth.
        IntArray m_objectPositions;
        IntArray m_objectDepths;
    };

    CellBuildTree(std::int32_t atomCount, std::int32_t objectCount);

    std::int32_t GetAtomCount() const { return m_atomCount; }
    std::int32_t GetObjectCount() const { return m_objectCount; }

    // The node's index: an equal node's, else a new one; -1 for an item outside the counts.
    std::int32_t AddAtomNode(const ImageNode& node);
    // Room for that many atom nodes, so that a pass adding them does not regrow the tables. Where the
    // atom or object items times the operator count stay within a few times the count and no node of
    // that kind is present yet, nodes at an operator below it without translation are then indexed by
    // item and operator instead of hashed.
    void ReserveAtomNodes(std::size_t count, std::int32_t operatorCount = 0);
    std::int32_t AddObjectNode(const ImageNode& node);
    std::int32_t FindAtomNode(const ImageNode& node) const;
    std::int32_t FindObjectNode(const ImageNode& node) const;
    bool SetAtomParent(std::int32_t atomNode, std::int32_t objectNode);
    // A negative parent makes the node the root; false when a root is set already or an index is out
    // of range.
    bool SetObjectParent(std::int32_t objectNode, std::int32_t parentNode);
    // Bond lists are filled node by node. ReserveAtomBonds makes room for count entries in all;
    // OpenAtomBondList starts the node's list afresh (false when the node is out of range); AddAtomBond
    // appends a neighbour atom node and the number of the bond to it to the list opened last (ignored
    // when none is open).
    void ReserveAtomBonds(std::size_t count);
    bool OpenAtomBondList(std::int32_t atomNode)
    {
        // The next node's list, while lists are opened in turn from the first.
        if (m_bondRanges.empty() && atomNode >= 0 && static_cast<std::size_t>(atomNode) == m_bondStarts.size() &&
            atomNode < GetAtomNodeCount()) {
            m_bondStarts.push_back(static_cast<std::int32_t>(m_bondNeighbors.size()));
            m_openBondList = atomNode;
            return true;
        }
        return OpenAtomBondListOutOfTurn(atomNode);
    }
    void AddAtomBond(std::int32_t neighbor, std::int32_t bond)
    {
        if (m_openBondList < 0)
            return;
        m_bondNeighbors.push_back(neighbor);
        m_bondNumbers.push_back(bond);
        if (!m_bondRanges.empty())
            ++m_bondRanges[static_cast<std::size_t>(m_openBondList)].count;
    }
    // 1 show, 0 hide, -1 leave as it is; ignored for an index out of range.
    void SetAtomVisibility(std::int32_t atomNode, std::int32_t visibility);
    std::int32_t GetAtomVisibility(std::int32_t atomNode) const;
    // The neighbour nodes and bond numbers of the node; empty for an index out of range.
    std::span<const std::int32_t> GetAtomBondNeighbors(std::int32_t atomNode) const;
    std::span<const std::int32_t> GetAtomBondNumbers(std::int32_t atomNode) const;
    std::int32_t GetAtomParent(std::int32_t atomNode) const;
    std::int32_t GetObjectParent(std::int32_t objectNode) const;

    std::int32_t GetAtomNodeCount() const { return static_cast<std::int32_t>(m_atoms.nodes.size()); }
    std::int32_t GetObjectNodeCount() const { return static_cast<std::int32_t>(m_objects.nodes.size()); }
    const ImageNode& GetAtomNode(std::int32_t i) const { return m_atoms.nodes[static_cast<std::size_t>(i)]; }
    const ImageNode& GetObjectNode(std::int32_t i) const { return m_objects.nodes[static_cast<std::size_t>(i)]; }
    std::int32_t GetRoot() const { return m_root; }
    // The OID of the object that stands for the node; 0 when none.
    std::uint32_t GetAtomNodeOID(std::int32_t i) const;
    std::uint32_t GetObjectNodeOID(std::int32_t i) const;
    void Clear();

    // The whole build. atoms, objects and bonds are the build's tables; they give the objects that
    // stand for items now and, on success, take the tree's (atoms only with rewriteAtoms: a caller
    // that drops the atom table after the build saves its rewrite). False, with the document and the
    // tables as they were, when the tree has no root, a table's unit count is not the item count, or
    // a step fails.
    bool Build(const Matrix3x3& fractionalToCartesian, const Matrix3x3& cartesianToFractional,
               const std::vector<Matrix4x4>& operations, const Matrix4x4Group& group, SymmetryImageKeySet* keys,
               bool computeBonds, SymmetryAtoms& atoms, SymmetryObjects& objects, SymmetryBonds& bonds,
               bool rewriteAtoms = true);

    // After a build; false when an item has no node, the tree has no root or the root has no object.
    bool ExportAtomNodes(NodeExport& out) const;
    bool ExportObjectNodes(NodeExport& out) const;
    // The same order without the lists; false as the exports.
    bool OrderAtomNodes(NodeOrder& out) const;
    bool OrderObjectNodes(NodeOrder& out) const;

private:
    struct Nodes {
        Nodes() : index(ImageNode(INT32_MIN, {})) {}
        std::vector<ImageNode> nodes;
        // Nodes without translation at an operator below the stride, by item * stride + operator
        // (-1 for none); every other node hashed.
        IntArray slots;
        std::int32_t stride = 0;
        FlatHashMap<ImageNode, std::int32_t, ImageNode::Hash> index;
        IntArray parents;
        OIDArray oids;
        void Clear();
        // False, leaving every node hashed, once nodes are present.
        bool IndexByOperator(std::int32_t itemCount, std::int32_t operatorCount);
        std::int32_t Add(const ImageNode& node, std::int32_t itemCount);
        std::int32_t Find(const ImageNode& node) const;

    private:
        // The node's position in slots; -1 when it is hashed.
        std::ptrdiff_t SlotOf(const ImageNode& node) const;
    };
    // Where a node's neighbour and bond lists lie in the pool.
    struct BondRange {
        std::int32_t begin = 0;
        std::int32_t count = 0;
    };
    class Builder;
    friend class Builder;

    // The nodes of each item, its own node (at the identity key) first; with position, each node's
    // place in that order.
    static bool OrderByItem(const Nodes& nodes, std::int32_t itemCount, IntArray& order, IntArray* position);
    // Whether every item has its own node, as OrderByItem needs.
    static bool HasOwnNodes(const Nodes& nodes, std::int32_t itemCount);
    // The nodes in their order, into an empty export.
    static void Export(const NodeOrder& order, NodeExport& out);
    // The export of the order orderNodes gives; false as orderNodes.
    bool ExportInOrder(bool (CellBuildTree::*orderNodes)(NodeOrder&) const, NodeExport& out) const;
    // Per object node, the objects from it up to and including the root (the root: 1).
    IntArray ObjectDepths() const;
    bool OpenAtomBondListOutOfTurn(std::int32_t atomNode);
    // The range of a node's bond list (node in range).
    BondRange GetBondRange(std::int32_t atomNode) const
    {
        const auto node = static_cast<std::size_t>(atomNode);
        if (!m_bondRanges.empty())
            return m_bondRanges[node];
        if (node >= m_bondStarts.size())
            return {};
        const std::int32_t end = node + 1 < m_bondStarts.size() ? m_bondStarts[node + 1]
                                                                : static_cast<std::int32_t>(m_bondNeighbors.size());
        return {m_bondStarts[node], end - m_bondStarts[node]};
    }

    std::int32_t m_atomCount;
    std::int32_t m_objectCount;
    Nodes m_atoms;
    Nodes m_objects;
    std::vector<std::int8_t> m_visibility;
    // Lists opened in turn from the first node: where each begins (it ends where the next one does,
    // the last one at the end of the pool). Once a list is opened out of turn, each node's range.
    IntArray m_bondStarts;
    std::vector<BondRange> m_bondRanges;
    IntArray m_bondNeighbors;
    IntArray m_bondNumbers;
    std::int32_t m_openBondList = -1;
    std::int32_t m_root = -1;
};

std::uint32_t CellBuildTree::NodeOrder::GetOID(std::size_t p) const
{
    return m_nodes->oids[static_cast<std::size_t>(m_order[p])];
}

CellBuildTree::NodeOrder::Node CellBuildTree::NodeOrder::operator[](std::size_t p) const
{
    const auto node = static_cast<std::size_t>(m_order[p]);
    const ImageNode& record = m_nodes->nodes[node];
    const std::int32_t parent = m_nodes->parents[node];
    // An atom lies one level below its parent object.
    const std::int32_t depth = !m_atoms ? m_objectDepths[node]
                               : parent < 0 ? -1
                                            : m_objectDepths[static_cast<std::size_t>(parent)] + 1;
    return {m_nodes->oids[node], depth, parent < 0 ? -1 : m_objectPositions[static_cast<std::size_t>(parent)],
            record.item, record.key};
}

std::span<const std::uint32_t> CellBuildTree::NodeOrder::GetNodeOIDs() const
{
    return m_nodes->oids;
}

std::span<const ImageNode> CellBuildTree::NodeOrder::GetNodes() const
{
    return m_nodes->nodes;
}

} // namespace Tavrel
