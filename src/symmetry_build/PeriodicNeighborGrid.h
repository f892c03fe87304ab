// PeriodicNeighborGrid: finds the stored fractional points within one cutoff of a point in a repeating cell.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/symmetry_build/PeriodicBins.h>

namespace Tavrel {

// Points are wrapped into the unit cell and filed in the cells centred on the grid nodes k/n, k = 0..n
// along each axis; a point near a face is filed once more at the node across the cell, so that up to
// eight copies stand for its periodic images and a query looks at the eight node cells around it
// without reducing differences to the nearest image. A point whose copies both lie within the cutoff
// is reported once per copy. A cell too small against the cutoff (one cell in all) is scanned whole.
class PeriodicNeighborGrid {
public:
    // The fractional-to-Cartesian matrix measures distances; the Cartesian-to-fractional one sizes
    // the cells.
    PeriodicNeighborGrid(const Matrix3x3& fractionalToCartesian, const Matrix3x3& cartesianToFractional,
                         double cutoff);

    void AddPoint(const Point3d& p, std::int32_t id);
    // Replaces ids with the ids of the stored copies whose Cartesian distance from the wrapped p is
    // at most the cutoff, cell by cell in a fixed order and in filing order within a cell; true
    // when any was found.
    bool FindNeighbors(const Point3d& p, IntArray& ids);

    const std::array<std::int32_t, 3>& GetCellCounts() const { return m_cells; }
    bool IsActive() const { return m_active; }

private:
    std::int32_t CellIndex(std::int32_t a, std::int32_t b, std::int32_t c) const
    {
        return (a * (m_cells[1] + 1) + b) * (m_cells[2] + 1) + c;
    }

    Matrix3x3 m_fractionalToCartesian;
    double m_cutoff2;
    std::array<std::int32_t, 3> m_cells;
    bool m_active;
    // What a copy within the cutoff cannot fail.
    NearTest m_test;
    // The wrapped copies and their ids.
    PeriodicBins<std::int32_t> m_bins;
    // Every copy and its id in filing order, when the grid is not active.
    std::vector<std::pair<Point3d, std::int32_t>> m_items;
};

} // namespace Tavrel
