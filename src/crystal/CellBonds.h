// CellBonds: the steps of a cell build that bond the replicas: symmetry images of the asymmetric unit's bonds, and bonds by distance across the cell faces.
#pragma once

#include <tavrel/crystal/Cell.h>

namespace Tavrel {

class CellReplicas;

class CellBonds {
public:
    explicit CellBonds(CellReplicas& replicas);

    // Cell3d::DoSymmetryBonds.
    bool DoSymmetryBonds(Cell::AtomDataArray& list);
    // Cell3d::DoProximityBonds.
    bool DoProximityBonds(Cell::AtomDataArray& list);

private:
    CellReplicas& m_replicas;
};

} // namespace Tavrel
