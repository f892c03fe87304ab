// SymmetryTree: the template of a crystal build's images: every atom and enclosing object image with its parent, bonds and components.
#pragma once

#include <cstdint>
#include <span>
#include <tuple>
#include <utility>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/FlatHashMap.h>
#include <tavrel/symmetry_build/ImageNode.h>
#include <tavrel/symmetry_build/IndexLists.h>

namespace Tavrel {

class Object;

// Stored nodes are found by item and operator index, whatever lattice translation is asked for: the
// difference between the asked translation and the stored one is carried over to every answer.
// Object nodes keep no translation; an object image takes the translation of the atom image it is
// asked for. Edges are kept in both directions, each with the lattice translation from its node's
// image to the neighbour's.
class SymmetryTree {
public:
    // Object type codes.
    static constexpr std::int32_t OtherType = 0;
    static constexpr std::int32_t AtomType = 1;
    static constexpr std::int32_t ResidueType = 2;
    static constexpr std::int32_t ChainType = 3;
    static constexpr std::int32_t MoleculeType = 4;
    static constexpr std::int32_t CellType = 5;

    // A neighbour image and the bond to it.
    using Neighbor = std::pair<std::int32_t, ImageNode>;
    // A bond as one node sees it: its number in the bond table (negative: ignored), the neighbour node
    // and the lattice translation from the node's image to the neighbour's.
    struct BondEdge {
        std::int32_t bond;
        std::int32_t node;
        std::int32_t a, b, c;
    };
    // Bond edges as kept, 12 B each: the translation packed in 10 bits per axis when each lies in
    // -512..511, else the index (top bit set) of its whole value, listed apart; either way exact.
    class BondEdges {
    public:
        struct Packed {
            std::int32_t bond;
            std::int32_t node;
            std::uint32_t translation;
        };

        BondEdges() = default;
        // Implicit: a list of edges written out reads as these edges.
        BondEdges(const std::vector<BondEdge>& edges)
        {
            Resize(edges.size());
            for (std::size_t at = 0; at < edges.size(); ++at)
                Set(at, edges[at].bond, edges[at].node, edges[at].a, edges[at].b, edges[at].c);
        }

        std::size_t size() const { return m_edges.size(); }
        void Resize(std::size_t n) { m_edges.resize(n); }
        void Clear()
        {
            m_edges.clear();
            m_far.clear();
        }
        // To reorder in place: a far edge's index travels with it.
        std::vector<Packed>& Edges() { return m_edges; }
        const Packed& operator[](std::size_t at) const { return m_edges[at]; }
        // The translation as an operator 0 key.
        SymmetryImageKey Translation(const Packed& e) const
        {
            if (IsFar(e.translation))
                return m_far[e.translation & ~farBit];
            const auto field = [](std::uint32_t bits) { return static_cast<std::int32_t>(bits & 1023) - 512; };
            return {0, field(e.translation >> 20), field(e.translation >> 10), field(e.translation)};
        }
        BondEdge Get(std::size_t at) const
        {
            const SymmetryImageKey t = Translation(m_edges[at]);
            return {m_edges[at].bond, m_edges[at].node, t.a, t.b, t.c};
        }
        void Set(std::size_t at, std::int32_t bond, std::int32_t node, std::int32_t a, std::int32_t b, std::int32_t c)
        {
            m_edges[at] = {bond, node, PackTranslation(a, b, c)};
        }
        // The edge from another list as it is, or turned round to start at node.
        void Copy(std::size_t at, const BondEdges& from, const Packed& e)
        {
            m_edges[at] = {e.bond, e.node, IsFar(e.translation) ? Far(from.Translation(e)) : e.translation};
        }
        void CopyReversed(std::size_t at, std::int32_t node, const BondEdges& from, const Packed& e)
        {
            m_edges[at] = {e.bond, node, ReversedTranslation(from, e)};
        }
        Packed Reversed(std::int32_t node, const Packed& e) { return {e.bond, node, ReversedTranslation(*this, e)}; }
        // Whether the translation is zero or points towards positive a, then b, then c.
        bool IsNonNegative(const Packed& e) const
        {
            if (!IsFar(e.translation)) [[likely]]
                return e.translation >= (512u << 20 | 512u << 10 | 512u);
            return FarIsNonNegative(e);
        }
        // Order and equality of translations (a, then b, then c).
        bool TranslationLess(const Packed& x, const Packed& y) const
        {
            if (!IsFar(x.translation | y.translation)) [[likely]]
                return x.translation < y.translation;
            return FarLess(x, y);
        }
        bool TranslationEqual(const Packed& x, const Packed& y) const
        {
            return x.translation == y.translation || (IsFar(x.translation & y.translation) && FarEqual(x, y));
        }

    private:
        static constexpr std::uint32_t farBit = 1u << 31;
        static bool IsFar(std::uint32_t t) { return (t & farBit) != 0; }
        std::uint32_t PackTranslation(std::int32_t a, std::int32_t b, std::int32_t c)
        {
            const auto field = [](std::int32_t v) { return static_cast<std::uint32_t>(v) + 512u; };
            if ((field(a) | field(b) | field(c)) > 1023) [[unlikely]]
                return Far({0, a, b, c});
            return field(a) << 20 | field(b) << 10 | field(c);
        }
        [[gnu::cold]] std::uint32_t Far(SymmetryImageKey t);
        // A field f stands for f - 512, so its negation is 1024 - f, packed unless f is 0.
        std::uint32_t ReversedTranslation(const BondEdges& from, const Packed& e)
        {
            constexpr std::uint32_t all1024 = 1024u << 20 | 1024u << 10 | 1024u;
            const std::uint32_t t = e.translation;
            if (!IsFar(t) && (t >> 20 & 1023) != 0 && (t >> 10 & 1023) != 0 && (t & 1023) != 0) [[likely]]
                return all1024 - t;
            return FarReversed(from, e);
        }
        // The far or edge-of-range cases, kept out of the packed paths.
        [[gnu::cold]] bool FarIsNonNegative(const Packed& e) const;
        [[gnu::cold]] bool FarLess(const Packed& x, const Packed& y) const;
        [[gnu::cold]] bool FarEqual(const Packed& x, const Packed& y) const;
        [[gnu::cold]] std::uint32_t FarReversed(const BondEdges& from, const Packed& e);

        std::vector<Packed> m_edges;
        SymmetryImageKey::Array m_far;
    };

    SymmetryTree();

    // The code tested in the order atom, residue, chain, molecule, cell.
    static std::int32_t GetTypeCode(const Object* object);

    // Filling, in this order; each returns false without change when the lists do not match.
    // Clears the tree and makes one atom node per item and key.
    bool SetAtoms(std::int32_t n, IntArray items, SymmetryImageKey::Array keys);
    // Node i's bonds are edges[offsets[i]] .. edges[offsets[i + 1] - 1] (offsets holds n + 1 entries);
    // each is kept at both of its ends.
    bool SetBonds(std::int32_t n, const IntArray& offsets, const BondEdges& edges);
    // The same, laying the edges out in the storage of the ones given (grown to hold both ends).
    bool SetBonds(std::int32_t n, const IntArray& offsets, BondEdges&& edges);
    // Rewrites bonds laid out as SetBonds takes them (seen from either end, some more than once) so
    // that each taken bond is kept once, at its lower node (a bond to an image of the node itself in
    // the direction of non-negative translation), each node's in order of (neighbour, bond,
    // translation); ignored bonds are dropped. False without change when the lists do not match or a
    // neighbour lies outside the nodes.
    static bool KeepBondsOnce(IntArray& offsets, BondEdges& edges);
    // Every atom node in at most one list (with no atom node, only a non-empty list is taken).
    bool SetComponents(IndexLists components);
    bool SetObjects(std::int32_t n, const IntArray& items, const IntArray& operators, const IntArray& typeCodes);
    // The parents of the atom nodes (object nodes), then of the object nodes (negative: the root; a
    // second root fails).
    bool SetParents(const IntArray& parents);
    void Clear();

    std::int32_t GetAtomNodeCount() const { return static_cast<std::int32_t>(m_atomItems.size()); }
    // Edges at both ends of each bond.
    std::size_t GetEdgeCount() const { return m_edges.size(); }
    std::int32_t GetObjectNodeCount() const { return static_cast<std::int32_t>(m_objectItems.size()); }
    std::int32_t GetRoot() const { return m_root; }

    // The object image that holds the atom image; item -1 when none.
    ImageNode GetParentImage(const ImageNode& atom) const;
    // The parent object image, with the asked translation (zero for the root); item -1 for the root and
    // for an object image without a stored node.
    ImageNode GetObjectParentImage(const ImageNode& object) const;
    // False for an image without a stored node.
    bool GetNeighborImages(const ImageNode& atom, std::vector<Neighbor>& neighbors) const;
    // visit(bond, image) for each neighbour image, in the order GetNeighborImages gives them; false
    // (nothing visited) for an image without a stored node.
    template <class Visit>
    bool ForEachNeighborImage(const ImageNode& atom, Visit&& visit) const
    {
        SymmetryImageKey d;
        const std::int32_t node = Locate(atom, d);
        if (node < 0)
            return false;
        const auto at = static_cast<std::size_t>(node);
        for (auto e = static_cast<std::size_t>(m_edgeOffsets[at]); e < static_cast<std::size_t>(m_edgeOffsets[at + 1]); ++e) {
            const SymmetryImageKey t = m_edges.Translation(m_edges[e]);
            const auto j = static_cast<std::size_t>(m_edges[e].node);
            const SymmetryImageKey& key = m_atomKeys[j];
            visit(m_edges[e].bond,
                  ImageNode(m_atomItems[j], {key.op, key.a + t.a + d.a, key.b + t.b + d.b, key.c + t.c + d.c}));
        }
        return true;
    }
    // The atom images below the nearest enclosing object of the type code, breadth first; the image
    // alone when no enclosing object has that code. False for an image without a stored node.
    bool GetGroupImages(std::int32_t typeCode, const ImageNode& atom, std::vector<ImageNode>& images) const;
    // Without parentImages: the atom nodes at the identity key; with it: the atom nodes whose parent
    // object node has operator 0, each with its own key.
    void GetRootImages(bool parentImages, std::vector<ImageNode>& images) const;
    void ExportNodes(IntArray& items, SymmetryImageKey::Array& keys, IndexLists& components) const;

private:
    struct PackedHash {
        std::size_t operator()(std::uint64_t v) const
        {
            v ^= v >> 33;
            v *= 0xFF51AFD7ED558CCDull;
            v ^= v >> 33;
            return static_cast<std::size_t>(v);
        }
    };
    using NodeIndex = FlatHashMap<std::uint64_t, std::int32_t, PackedHash>;

    static std::uint64_t Pack(std::int32_t item, std::int32_t op)
    {
        return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(item)) << 32) | static_cast<std::uint32_t>(op);
    }

    // Lays out m_itemStarts for the atom nodes and m_atomStride; false, leaving it empty, when the
    // nodes do not lie item by item.
    bool StartItems(std::int32_t itemCount);
    bool ValidBonds(std::int32_t n, const IntArray& offsets, const BondEdges& edges) const;
    // Each node's number of edges into m_edgeOffsets (n + 1 entries, the last 0); whether every edge
    // is taken and lies at its lower end (its neighbour not below its node).
    bool CountBondEdges(std::int32_t n, const IntArray& offsets, const BondEdges& edges);
    // The edges laid out from the counts, at both ends of each taken bond.
    void CopyBondEdges(std::int32_t n, const IntArray& offsets, const BondEdges& edges);
    std::int32_t FindAtomNode(std::int32_t item, std::int32_t op) const;
    std::int32_t FindObjectNode(std::int32_t item, std::int32_t op) const;
    // The stored atom node of the image and the translation from the stored image to it.
    std::int32_t Locate(const ImageNode& atom, SymmetryImageKey& shifted) const;
    void ClearObjects();

    IntArray m_atomItems;
    SymmetryImageKey::Array m_atomKeys;
    IntArray m_atomParents;
    IntArray m_edgeOffsets;
    BondEdges m_edges;
    // Atom nodes by (item, operator). Nodes laid out item by item: each item's first node, which
    // is node start + op for an item at every operator in order, else (as ~start) the first of its
    // nodes searched for the operator. Else a dense table item * stride + op when the pairs fill it
    // well, else the hashed index.
    IntArray m_itemStarts;
    IntArray m_atomSlots;
    std::int32_t m_atomStride = 0;
    NodeIndex m_atomIndex;
    IndexLists m_components;

    IntArray m_objectItems;
    IntArray m_objectOperators;
    IntArray m_objectTypes;
    IntArray m_objectParents;
    NodeIndex m_objectIndex;
    std::int32_t m_root = -1;
    // Children of each object node: a value below the atom node count is an atom node, a larger one
    // that object node plus the atom node count.
    IntArray m_childOffsets;
    IntArray m_children;
};

} // namespace Tavrel
