// PeriodicRadiusGrid: finds the stored spheres that meet a query sphere in a repeating cell, by nearest image.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/symmetry_build/PeriodicBins.h>

namespace Tavrel {

// Each point carries a radius; the size parameter bounds the sum of a query's radius and a stored
// one. Cells are at least half that reach wide, so a query looks at the 27 cells around its own,
// wrapping across the faces; an axis of fewer than three cells is visited more than once, and its
// points are then reported once per visit. With 27 cells or fewer in all every point is tested.
class PeriodicRadiusGrid {
public:
    // The fractional-to-Cartesian matrix measures distances; the Cartesian-to-fractional one sizes
    // the cells.
    PeriodicRadiusGrid(const Matrix3x3& fractionalToCartesian, const Matrix3x3& cartesianToFractional,
                       double sizeParameter);

    void AddPoint(const Point3d& p, double radius, std::int32_t id);
    // Replaces ids with the ids of the stored points whose nearest periodic image lies within the
    // sum of the two radii of the wrapped p (Cartesian, ends included), cell by cell in a fixed order
    // and in filing order within a cell; true when any was found.
    bool FindNeighbors(const Point3d& p, double radius, IntArray& ids);
    // floor(n x) per axis of the wrapped point.
    std::array<std::int32_t, 3> GetCellIndices(const Point3d& p) const;

    const std::array<std::int32_t, 3>& GetCellCounts() const { return m_cells; }
    bool IsActive() const { return m_active; }

private:
    std::array<std::int32_t, 3> WrappedCellIndices(const Point3d& q) const;

    // The radius kept as its bits, so that an item packs with its point into 24 bytes.
    struct Item {
        std::int32_t id;
        std::array<std::uint32_t, 2> radius;

        double GetRadius() const { return std::bit_cast<double>(radius); }
    };

    Matrix3x3 m_fractionalToCartesian;
    // Per axis, the most a difference of Cartesian length 1 spans.
    std::array<double, 3> m_reach;
    // The largest magnitude of a stored radius; infinite once one is not a number.
    double m_largestRadius = 0.0;
    std::array<std::int32_t, 3> m_cells;
    bool m_active;
    // The test of the last query's reach (its radius's magnitude plus the largest stored).
    double m_testReach = std::numeric_limits<double>::quiet_NaN();
    NearTest m_test{};
    // The wrapped points with their ids and radii.
    PeriodicBins<Item> m_bins;
    // Every wrapped point with its id and radius in filing order, when the grid is not active.
    std::vector<std::pair<Point3d, Item>> m_items;
};

} // namespace Tavrel
