// ContactSearch: the points of a fixed set that may lie within a reach of a query point, from a cell grid, or all of them when the reach spans the set.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/NeighborList.h>
#include <tavrel/core/Point3d.h>

namespace Tavrel {

// The close-contact monitors test pairs of atoms against limits that differ from pair to pair; the
// reach is the largest of them, so every pair within its own limit is offered, in ascending order of
// the second point, exactly as a walk over all pairs would offer it. A reach that spans the set (or a
// small set) offers every point; a reach that is negative or not a number offers none.
class ContactSearch {
public:
    ContactSearch(std::span<const Point3d> points, double reach);

    // Calls visit(index) for each point within the reach of p (and possibly others), in ascending
    // order of index.
    template <class Visit>
    void ForEachNear(const Point3d& p, Visit&& visit)
    {
        if (m_all) {
            for (std::size_t i = 0; i < m_count; ++i)
                visit(static_cast<std::int32_t>(i));
            return;
        }
        if (!m_grid)
            return;
        m_found.clear();
        m_grid->GetNeighbors(p, m_radius, m_found);
        for (const std::int32_t index : m_found)
            visit(index);
    }

private:
    std::size_t m_count;
    bool m_all = false;
    double m_radius = 0.0;
    std::optional<NeighborList> m_grid;
    IntArray m_found;
};

} // namespace Tavrel
