// ImageGrid: tagged Cartesian points on a uniform grid over a box, for the coincidence tests of a cell build.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <tavrel/core/Point3d.h>

namespace Tavrel {

// A point is within a radius r of a query point when its squared distance (double precision, from the
// stored float coordinates) is at most r², as NeighborList decides it. Each point carries the record
// it belongs to and an index within the record (an operator). The cells, cubes about as many as the
// points expected and at least twice the query radius across, cover the box of the points the build
// expects in one flat array; a point outside the box is kept in the nearest cell, so any point can be
// stored and found. Non-finite points are neither.
class ImageGrid {
public:
    struct Tag {
        std::uint32_t record;
        std::uint32_t index;
    };

    ImageGrid(const Point3d& low, const Point3d& high, std::size_t expectedPoints, double radius);

    void Reserve(std::size_t points) { m_points.reserve(points); }
    void Add(const Point3d& p, Tag tag)
    {
        if (!IsFinite(p) || m_points.size() >= None)
            return;
        std::uint32_t& head = m_heads[Cell(CellIndex(0, p.x), CellIndex(1, p.y), CellIndex(2, p.z))];
        m_points.push_back(Entry{p, tag, head});
        head = static_cast<std::uint32_t>(m_points.size() - 1);
    }
    std::size_t Size() const { return m_points.size(); }

    // visit(tag) for each stored point within radius of p, while visit returns true; false when a
    // visit stopped the walk. A point not finite lies within no radius of a stored one. The points are
    // found first, in a loop that calls nothing, then visited in the order found.
    template <class Visit>
    bool ForEachNear(const Point3d& p, double radius, Visit&& visit) const
    {
        if (m_points.empty() || !(radius >= 0.0) || !std::isfinite(radius))
            return true;
        Tag found[FoundInPlace];
        const std::size_t count = FindNear(p, radius, found);
        if (count > FoundInPlace)
            return ForEachNearOneByOne(p, radius, visit);
        for (std::size_t i = 0; i < count; ++i) {
            if (!visit(found[i]))
                return false;
        }
        return true;
    }

private:
    static constexpr std::uint32_t None = 0xFFFFFFFFu;
    static constexpr std::size_t FoundInPlace = 8;

    struct Entry {
        Point3d position;
        Tag tag;
        std::uint32_t next;
    };

    // The cells a query of radius about p covers: calls visit(entry) for each point in them, in order.
    template <class VisitEntry>
    bool ForEachInCells(const Point3d& p, double radius, VisitEntry&& visit) const
    {
        // A hair wider than the radius, so that rounding never skips a cell holding a point within it.
        const double reach = radius * (1.0 + 1e-9);
        const double coordinates[3] = {p.x, p.y, p.z};
        int low[3];
        int high[3];
        for (int axis = 0; axis < 3; ++axis) {
            low[axis] = CellIndex(axis, coordinates[axis] - reach);
            high[axis] = CellIndex(axis, coordinates[axis] + reach);
        }
        const auto inCell = [&](std::size_t cell) {
            for (std::uint32_t at = m_heads[cell]; at != None; at = m_points[at].next) {
                if (!visit(m_points[at]))
                    return false;
            }
            return true;
        };
        // Most queries lie within one cell.
        if (low[0] == high[0] && low[1] == high[1] && low[2] == high[2])
            return inCell(Cell(low[0], low[1], low[2]));
        const auto rowStride = static_cast<std::size_t>(m_cells[1]) * static_cast<std::size_t>(m_cells[2]);
        const auto columnStride = static_cast<std::size_t>(m_cells[2]);
        for (int i = low[0]; i <= high[0]; ++i) {
            for (int j = low[1]; j <= high[1]; ++j) {
                const std::size_t row = static_cast<std::size_t>(i) * rowStride + static_cast<std::size_t>(j) * columnStride;
                for (int k = low[2]; k <= high[2]; ++k) {
                    if (!inCell(row + static_cast<std::size_t>(k)))
                        return false;
                }
            }
        }
        return true;
    }
    // The tags of the points within radius of p into found, as many as fit; how many there are, or
    // one more than fit.
    std::size_t FindNear(const Point3d& p, double radius, Tag (&found)[FoundInPlace]) const
    {
        const double radius2 = radius * radius;
        std::size_t count = 0;
        ForEachInCells(p, radius, [&](const Entry& entry) {
            if (p.Distance2(entry.position) <= radius2) {
                if (count == FoundInPlace) {
                    ++count;
                    return false;
                }
                found[count++] = entry.tag;
            }
            return true;
        });
        return count;
    }
    template <class Visit>
    [[gnu::noinline]] bool ForEachNearOneByOne(const Point3d& p, double radius, Visit& visit) const
    {
        const double radius2 = radius * radius;
        return ForEachInCells(p, radius,
                              [&](const Entry& entry) { return !(p.Distance2(entry.position) <= radius2) || visit(entry.tag); });
    }
    static bool IsFinite(const Point3d& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
    // The cell along an axis, clamped to the grid (a cell index not a number gives 0): clamped
    // before it is truncated, which is then the floor.
    int CellIndex(int axis, double coordinate) const
    {
        const auto at = static_cast<std::size_t>(axis);
        // std::max(0.0, x) is 0 for x not a number.
        return static_cast<int>(std::min(std::max(0.0, (coordinate - m_low[at]) * m_inverseSize), m_lastCell[at]));
    }
    std::size_t Cell(int i, int j, int k) const
    {
        return (static_cast<std::size_t>(i) * static_cast<std::size_t>(m_cells[1]) + static_cast<std::size_t>(j)) *
                   static_cast<std::size_t>(m_cells[2]) +
               static_cast<std::size_t>(k);
    }

    std::array<double, 3> m_low{};
    std::array<int, 3> m_cells{1, 1, 1};
    // m_cells - 1, for the clamping of a cell index.
    std::array<double, 3> m_lastCell{};
    double m_inverseSize = 1.0;
    std::vector<std::uint32_t> m_heads;
    std::vector<Entry> m_points;
};

} // namespace Tavrel
