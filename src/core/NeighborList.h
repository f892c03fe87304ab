// NeighborList: finds the stored points within a radius of a query point, on a uniform grid sorted by cell.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/Point3d.h>

namespace Tavrel {

// Points are numbered from 0 in the order they are added. The grid's cells are cubes of the cell size.
// The points are kept sorted by cell in one index array with the offsets of each cell. Over the
// points' extent the cells are numbered densely; when there are not many more cells than points
// every cell has its offset, else only the occupied ones do, found by rank in a bitmap of the cells
// (two bits a cell, one popcount a lookup), so a row of cells is still one direct read at each end
// however sparse the points. Only points spread so thinly that even the bitmap would outweigh them
// (separate clusters far apart) keep their occupied cells in a hash map. Points added one at a time
// wait in a hashed grid until they outnumber the sorted ones, and are then sorted in with the rest,
// so adding stays O(1) amortised and a query costs time in proportion to the points in the cells it
// touches, at any number of points. Results never depend on the cell size, only speed does.
class NeighborList {
public:
    // cellSize is the grid spacing and the default search radius; a size that is not positive and
    // finite falls back to 1.0. tableSize is the number of points to make room for.
    explicit NeighborList(double cellSize, int tableSize = 1003);
    // Numbers the points from 0 in order and sorts them into cells in one pass.
    NeighborList(double cellSize, std::span<const Point3d> points);

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
    // Whether some stored point lies at a Point3d::Distance of at most radius from p (compared
    // after the square root, so exactly as a plain loop over Distance decides); stops at the first.
    bool HasNeighbor(const Point3d& p, double radius) const;

    // The neighbours of every stored point within radius, the point itself left out, each list in
    // ascending order, as one array: the neighbours of point i are neighbors[offsets[i]] up to
    // neighbors[offsets[i + 1]]. The pairs are found cell by cell, each once. Both arrays are replaced.
    void GetAllNeighbors(double radius, std::vector<std::uint32_t>& offsets, IntArray& neighbors) const;

private:
    struct CellKey {
        std::int64_t i, j, k;
        friend bool operator==(const CellKey&, const CellKey&) = default;
    };
    struct CellHash {
        std::size_t operator()(const CellKey& key) const noexcept;
    };

    std::int64_t CellIndex(double coordinate) const;
    CellKey CellOf(const Point3d& p) const;
    // The cells within reach of p along each axis.
    void CellRange(const Point3d& p, double reach, CellKey& low, CellKey& high) const;
    // Sorts every stored point into the grid and empties the waiting grid.
    void Sort();
    // Calls visit with the number of each sorted point in the cells from low to high (some others may
    // come too), then of each waiting point there.
    template <class Visit>
    void VisitCells(const CellKey& low, const CellKey& high, Visit&& visit) const;
    // The dense cell number of a key inside the grid.
    std::size_t DenseCell(std::int64_t i, std::int64_t j, std::int64_t k) const
    {
        return static_cast<std::size_t>(((i - m_low.i) * m_dims[1] + (j - m_low.j)) * m_dims[2] + (k - m_low.k));
    }
    // The cells are numbered over the extent (every cell with its offset, or the occupied ones by rank).
    bool IsDense() const { return m_dims[0] > 0; }
    // When only the occupied cells have positions in m_cellStart: the position of a dense cell
    // number (up to the number of cells), the number of occupied cells before it.
    std::size_t RankOf(std::size_t cell) const
    {
        const OccupiedWord& word = m_occupied[cell >> 6];
        return word.rank + static_cast<std::size_t>(std::popcount(word.bits & ((std::uint64_t{1} << (cell & 63)) - 1)));
    }

    double m_cellSize;
    std::vector<Point3d> m_points;

    // 64 cells: which are occupied, and how many occupied cells come before them.
    struct OccupiedWord {
        std::uint64_t bits;
        std::uint32_t rank;
    };

    // The sorted points: the first m_sortedCount points, those with finite coordinates listed in
    // m_cellPoints cell by cell (ascending within a cell); the cell at position s of m_cellStart
    // holds m_cellPoints[m_cellStart[s]] up to m_cellPoints[m_cellStart[s + 1]]. Dense: a key's
    // position is its DenseCell when m_occupied is empty (every cell has one), else the RankOf it;
    // otherwise the occupied cells in key order, found through m_cellSlots.
    std::size_t m_sortedCount = 0;
    CellKey m_low{};
    std::int64_t m_dims[3] = {0, 0, 0};
    std::vector<OccupiedWord> m_occupied;
    std::vector<std::uint32_t> m_cellStart;
    std::vector<std::int32_t> m_cellPoints;
    std::unordered_map<CellKey, std::uint32_t, CellHash> m_cellSlots;

    // The waiting points: for each cell the last one added to it, and for each waiting point the one
    // added to its cell before it (-1 for none), indexed from m_sortedCount.
    std::unordered_map<CellKey, std::int32_t, CellHash> m_waitingCells;
    std::vector<std::int32_t> m_waitingNext;

    // Points with a non-finite coordinate, sorted or waiting, are kept apart and tested one by one.
    std::vector<std::int32_t> m_unplaced;
};

} // namespace Tavrel
