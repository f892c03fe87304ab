// ImageGrid: tagged Cartesian points on a hashed uniform grid, for the coincidence tests of a cell build.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include <tavrel/core/FlatHashMap.h>
#include <tavrel/core/Point3d.h>

namespace Tavrel {

// A point is within a radius r of a query point when its squared distance (double precision, from
// the stored float coordinates) is at most r², as NeighborList decides it. Each point carries the
// record it belongs to and an index within the record (an operator). Cells are cubes of the size
// given; a query with a radius of at most half the size visits at most eight cells. Non-finite points
// are never stored or found.
class ImageGrid {
public:
    struct Tag {
        std::uint32_t record;
        std::uint32_t index;
    };

    // A cell size that is not positive and finite falls back to 1.0.
    explicit ImageGrid(double cellSize);

    // The cell size for about `points` points spread over `volume` (cubic units), at least twice the
    // largest query radius.
    static double CellSizeFor(double volume, std::size_t points, double radius);

    void Reserve(std::size_t points);
    void Add(const Point3d& p, Tag tag);
    std::size_t Size() const { return m_points.size(); }

    // visit(tag) for each stored point within radius of p, while visit returns true; false when a
    // visit stopped the walk.
    template <class Visit>
    bool ForEachNear(const Point3d& p, double radius, Visit&& visit) const
    {
        if (m_points.empty() || !(radius >= 0.0) || !std::isfinite(radius) || !IsFinite(p))
            return true;
        const double radius2 = radius * radius;
        // A hair wider than the radius, so that rounding never skips a cell holding a point within it.
        const double reach = radius * (1.0 + 1e-9);
        std::int32_t low[3];
        std::int32_t high[3];
        const float coordinates[3] = {p.x, p.y, p.z};
        for (int axis = 0; axis < 3; ++axis) {
            low[axis] = CellIndex(coordinates[axis] - reach);
            high[axis] = CellIndex(coordinates[axis] + reach);
        }
        for (std::int32_t i = low[0]; i <= high[0]; ++i) {
            for (std::int32_t j = low[1]; j <= high[1]; ++j) {
                for (std::int32_t k = low[2]; k <= high[2]; ++k) {
                    const std::uint32_t* head = m_cells.Find(CellKey{i, j, k});
                    for (std::uint32_t at = head ? *head : None; at != None; at = m_points[at].next) {
                        const Entry& entry = m_points[at];
                        if (p.Distance2(entry.position) <= radius2 && !visit(entry.tag))
                            return false;
                    }
                }
            }
        }
        return true;
    }

private:
    static constexpr std::uint32_t None = 0xFFFFFFFFu;

    struct CellKey {
        std::int32_t i, j, k;
        friend bool operator==(const CellKey&, const CellKey&) = default;
    };
    struct CellHash {
        std::size_t operator()(const CellKey& key) const noexcept;
    };
    struct Entry {
        Point3d position;
        Tag tag;
        std::uint32_t next;
    };

    static bool IsFinite(const Point3d& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
    // Clamped, so that far-away coordinates cannot overflow; never the free key's index.
    std::int32_t CellIndex(double coordinate) const;

    double m_cellSize;
    std::vector<Entry> m_points;
    FlatHashMap<CellKey, std::uint32_t, CellHash> m_cells;
};

} // namespace Tavrel
