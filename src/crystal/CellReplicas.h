// CellReplicas: the replicas of a cell while it builds, found by the atom they hang below, operator and lattice offset, and made where missing.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include <tavrel/core/FlatHashMap.h>
#include <tavrel/core/LatticeOffset.h>
#include <tavrel/core/Point3d.h>

namespace Tavrel {

class Atom;
class Atom3d;
class Cell3d;
class Object;
class ReplicateAtom;
class TreeNode;

// A replica is found by (tree parent, operator, offset), the key under which a build looks for it.
// Among the few children of most parents it is found by looking at them; the periodic replicas of a
// parent with more children (an asymmetric atom with its symmetry replicas) are indexed, so that no
// search walks the many replicas of an atom. Entries hold OIDs: a replica deleted meanwhile is simply
// not found. Replicas made elsewhere during the build are not indexed.
class CellReplicas {
public:
    // Indexes every ReplicateAtom below the cell, the first in tree order for each key.
    explicit CellReplicas(Cell3d& cell);

    Cell3d& GetCell() const { return m_cell; }
    // Whether the cell had no replica when the build began and none has been made since.
    bool Empty() const { return m_empty; }

    // The replica below parent with the operator and offset, or null.
    ReplicateAtom* Find(const Atom& parent, std::int16_t op, const LatticeOffset& offset) const;
    // The symmetry replica of atom for the operator.
    ReplicateAtom* FindSymmetryAtom(const Atom& atom, std::int16_t op) const;
    // The OID of the symmetry replica of atom for each operator (0 for none), sized to count.
    static void SymmetryReplicasOf(const Atom& atom, int count, std::vector<std::uint32_t>& byOperator);
    // The periodic image by offset below atom, with atom's operator.
    ReplicateAtom* FindPeriodicAtom(const Atom& atom, const LatticeOffset& offset) const;
    void Add(const ReplicateAtom& replica);

    // The symmetry replica of atom for op, made at position when missing.
    Atom* DeriveSymmetryAtom(Atom3d* atom, int op, const Point3d& position);
    // The periodic image of atom shifted by offset: a periodic atom is shifted from the atom it hangs
    // below by its own offset plus this one; a zero total shift gives that base atom. A missing image
    // is placed from the base atom's position.
    Atom* DerivePeriodicAtom(Atom* atom, LatticeOffset offset);
    // The same, a missing image placed at fractional + offset (fractional being atom's own position).
    Atom* DerivePeriodicAtom(Atom* atom, LatticeOffset offset, const Point3d& fractional);
    // The image as above, unclipped, with images of atom's bonds unless it has as many bonds as atom
    // already (a partner image made only to carry a bond stays clipped).
    Atom* DerivePeriodicBondedAtom(Atom* atom, LatticeOffset offset, const Point3d& fractional);
    // A new periodic replica of parent: at position, or (null) from the parent's own position. Null when
    // it cannot be placed.
    ReplicateAtom* MakePeriodicAtom(Atom* parent, const LatticeOffset& offset, const Point3d* position);
    // A new symmetry replica of atom for op at position; given the label atom's GetLabel gives now.
    ReplicateAtom* MakeSymmetryAtom(Atom* atom, int op, const Point3d& position);
    ReplicateAtom* MakeSymmetryAtom(Atom* atom, int op, const Point3d& position, std::string_view label);
    // The first replicas of atom, by operators 1 to positions.size() at the positions, made and joined
    // in one step where no one can hear the joins; false, with nothing made, otherwise. Given the
    // label atom's GetLabel gives now; `made` then holds the replicas in operator order, each clipped
    // with `hidden`.
    bool MakeSymmetryAtoms(Atom* atom, std::span<const Point3d> positions, std::string_view label,
                           std::vector<TreeNode*>& made, bool hidden);

private:
    struct Key {
        std::uint32_t parent;
        std::int16_t op;
        LatticeOffset offset;
        friend bool operator==(const Key& a, const Key& b)
        {
            return a.parent == b.parent && a.op == b.op && a.offset.IsSame(b.offset);
        }
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept;
    };

    // The base and total shift of a periodic image of atom; false when atom is periodic but hangs
    // below no atom.
    static bool Base(Atom*& atom, LatticeOffset& offset);
    // The periodic image, a missing one placed from fractional + offset, or (null) from its base.
    Atom* Derive(Atom* atom, LatticeOffset offset, const Point3d* fractional);
    static bool Matches(const ReplicateAtom& replica, const Key& key);
    // Parents with more children than this have their periodic replicas indexed.
    static constexpr int FewChildren = 8;
    void Index(const ReplicateAtom& replica);

    Cell3d& m_cell;
    FlatHashMap<Key, std::uint32_t, KeyHash> m_replicas;
    bool m_empty = true;
};

} // namespace Tavrel
