// NeighborList: finds the stored points within a radius of a query point, on a hashed uniform grid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/Point3d.h>

namespace Tavrel {

// Points are numbered from 0 in the order they are added. The grid's cells are cubes of the cell
// size, kept in a hash map that grows with the data, so a query costs time in proportion to the
// points in the cells it touches, at any number of points.
class NeighborList {
public:
    // cellSize is the grid spacing and the default search radius; a size that is not positive and
    // finite falls back to 1.0 (results do not depend on it, only speed). tableSize is a sizing hint.
    explicit NeighborList(double cellSize, int tableSize = 1003);

    // Stores p and returns its number.
    std::int32_t Add(const Point3d& p);

    std::size_t GetCount() const { return m_points.size(); }
    const Point3d& GetPoint(std::int32_t index) const { return m_points.at(static_cast<std::size_t>(index)); }
    double GetCellSize() const { return m_cellSize; }

    // Appends to out the numbers of the stored points at a distance of at most the cell size (or the
    // given radius) from p, the point's own number included, in ascending order. A negative or NaN
    // radius finds nothing.
    void GetNeighbors(const Point3d& p, IntArray& out) const;
    void GetNeighbors(const Point3d& p, double radius, IntArray& out) const;

private:
    struct CellKey {
        std::int64_t i, j, k;
        friend bool operator==(const CellKey&, const CellKey&) = default;
    };
    struct CellHash {
        std::size_t operator()(const CellKey& key) const noexcept;
    };

    std::int64_t CellIndex(float coordinate) const;
    CellKey CellOf(const Point3d& p) const;

    double m_cellSize;
    std::vector<Point3d> m_points;
    std::unordered_map<CellKey, std::vector<std::int32_t>, CellHash> m_cells;
    // Points with a non-finite coordinate are kept apart and tested one by one.
    std::vector<std::int32_t> m_unplaced;
};

} // namespace Tavrel
