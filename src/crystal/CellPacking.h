// CellPacking: the steps of a cell build that decide which atoms and periodic images are shown in the cell, and that tile the cell.
#pragma once

#include <tavrel/crystal/Cell.h>

namespace Tavrel {

class CellReplicas;

// An atom is hidden by clipping it; an image inside the cell is shown instead. Images carry their
// bonds (CellReplicas::DerivePeriodicBondedAtom).
class CellPacking {
public:
    explicit CellPacking(CellReplicas& replicas);

    // Cell3d::Pack.
    bool Pack(Cell::AtomDataArray& list);
    // Cell3d::PackDefault: bonded components with consistent lattice offsets are found by union-find
    // (each bond to a periodic image counts as a bond to its periodic parent shifted by the image's
    // offset); a finite molecule is placed whole by its centroid, an infinite network (a bond closing
    // a ring across the cell) atom by atom along the axes it crosses.
    bool PackDefault(Cell::AtomDataArray& list);
    // Cell3d::Tile.
    bool Tile(Cell::AtomDataArray& list);

private:
    // Each atom that is not periodic and lies outside the cell is clipped and shown by its image inside.
    void PackAtoms(Cell::AtomDataArray& list);
    // The request's tolerance over the longest cell edge.
    double EdgeTolerance() const;

    CellReplicas& m_replicas;
};

} // namespace Tavrel
