#include <tavrel/symmetry_build/PeriodicRadiusGrid.h>

#include <cmath>
#include <limits>

#include <tavrel/symmetry_build/FractionalCoordinates.h>

namespace Tavrel {

PeriodicRadiusGrid::PeriodicRadiusGrid(const Matrix3x3& fractionalToCartesian,
                                       const Matrix3x3& cartesianToFractional, double sizeParameter)
    : m_fractionalToCartesian(fractionalToCartesian),
      m_reach(FractionalReach(fractionalToCartesian)),
      m_cells(PeriodicCellCounts(cartesianToFractional, sizeParameter, 2)),
      m_active(std::int64_t{m_cells[0]} * m_cells[1] * m_cells[2] > 27)
{
}

std::array<std::int32_t, 3> PeriodicRadiusGrid::GetCellIndices(const Point3d& p) const
{
    const Point3d q = WrapToUnitCell(p);
    return {static_cast<std::int32_t>(std::floor(m_cells[0] * static_cast<double>(q.x))),
            static_cast<std::int32_t>(std::floor(m_cells[1] * static_cast<double>(q.y))),
            static_cast<std::int32_t>(std::floor(m_cells[2] * static_cast<double>(q.z)))};
}

void PeriodicRadiusGrid::AddPoint(const Point3d& p, double radius, std::int32_t id)
{
    const Point3d q = WrapToUnitCell(p);
    const Item item{id, radius};
    const double magnitude = std::fabs(radius);
    if (std::isnan(magnitude))
        m_largestRadius = std::numeric_limits<double>::infinity();
    else if (magnitude > m_largestRadius)
        m_largestRadius = magnitude;
    if (!m_active) {
        m_items.emplace_back(q, item);
        return;
    }
    const std::array<std::int32_t, 3> cell = GetCellIndices(q);
    m_bins.Add((cell[0] * m_cells[1] + cell[1]) * m_cells[2] + cell[2], q, item);
}

bool PeriodicRadiusGrid::FindNeighbors(const Point3d& p, double radius, IntArray& ids)
{
    ids.clear();
    const Point3d q = WrapToUnitCell(p);
    const auto take = [&](const Point3d& point, const Item& item) {
        // d - RoundToLattice(d): both points lie in [0, 1), so the rounding gives -1, 0 or 1, found
        // by comparisons, which keeps the test free of calls.
        const auto reduce = [](float x) { return x - (static_cast<float>(x >= 0.5f) - static_cast<float>(x < -0.5f)); };
        const Point3d difference = q - point;
        Point3d d;
        d.x = reduce(difference.x);
        d.y = reduce(difference.y);
        d.z = reduce(difference.z);
        const Point3d c = ToCartesian(d, m_fractionalToCartesian);
        const double reach = radius + item.radius;
        if (c.Dot(c) <= reach * reach)
            ids.push_back(item.id);
    };
    if (!m_active) {
        for (const auto& [point, item] : m_items)
            take(point, item);
        return !ids.empty();
    }
    const std::array<std::int32_t, 3> cell = GetCellIndices(q);
    const std::int32_t na = m_cells[0];
    const std::int32_t nb = m_cells[1];
    const std::int32_t nc = m_cells[2];
    const std::int32_t a = cell[0] + na;
    const std::int32_t b = cell[1] + nb;
    const std::int32_t c = cell[2] + nc;
    // The own cell, then those sharing a face, an edge and a corner with it.
    static constexpr std::int32_t offsets[27][3] = {
        {0, 0, 0},   {1, 0, 0},   {-1, 0, 0},  {0, 1, 0},   {0, -1, 0},  {0, 0, 1},  {0, 0, -1},
        {1, 1, 0},   {1, -1, 0},  {-1, 1, 0},  {-1, -1, 0}, {1, 0, 1},   {1, 0, -1}, {-1, 0, 1},
        {-1, 0, -1}, {0, 1, 1},   {0, 1, -1},  {0, -1, 1},  {0, -1, -1}, {1, 1, 1},  {1, 1, -1},
        {1, -1, 1},  {1, -1, -1}, {-1, 1, 1},  {-1, 1, -1}, {-1, -1, 1}, {-1, -1, -1}};
    std::array<std::int32_t, 27> cells;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const auto& offset = offsets[i];
        cells[i] = (((a + offset[0]) % na) * nb + (b + offset[1]) % nb) * nc + (c + offset[2]) % nc;
    }
    m_bins.ForEachNear(cells, q, FractionalBound(m_reach, std::fabs(radius) + m_largestRadius), true, take);
    return !ids.empty();
}

} // namespace Tavrel
