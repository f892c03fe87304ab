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

namespace {

// The own cell, then those sharing a face, an edge and a corner with it.
constexpr std::int32_t offsets[27][3] = {
    {0, 0, 0},   {1, 0, 0},   {-1, 0, 0},  {0, 1, 0},   {0, -1, 0},  {0, 0, 1},  {0, 0, -1},
    {1, 1, 0},   {1, -1, 0},  {-1, 1, 0},  {-1, -1, 0}, {1, 0, 1},   {1, 0, -1}, {-1, 0, 1},
    {-1, 0, -1}, {0, 1, 1},   {0, 1, -1},  {0, -1, 1},  {0, -1, -1}, {1, 1, 1},  {1, 1, -1},
    {1, -1, 1},  {1, -1, -1}, {-1, 1, 1},  {-1, 1, -1}, {-1, -1, 1}, {-1, -1, -1}};

// Per pair of a and b offsets, the positions of the c offsets -1, 0 and 1 in the visiting order.
constexpr std::array<std::array<std::uint8_t, 3>, 9> MakeRows()
{
    std::array<std::array<std::uint8_t, 3>, 9> rows{};
    for (std::uint8_t i = 0; i < 27; ++i) {
        const auto row = static_cast<std::size_t>((offsets[i][0] + 1) * 3 + offsets[i][1] + 1);
        rows[row][static_cast<std::size_t>(offsets[i][2] + 1)] = i;
    }
    return rows;
}
constexpr std::array<std::array<std::uint8_t, 3>, 9> rows = MakeRows();

} // namespace

std::array<std::int32_t, 3> PeriodicRadiusGrid::GetCellIndices(const Point3d& p) const
{
    return WrappedCellIndices(WrapToUnitCell(p));
}

std::array<std::int32_t, 3> PeriodicRadiusGrid::WrappedCellIndices(const Point3d& q) const
{
    return {static_cast<std::int32_t>(std::floor(m_cells[0] * static_cast<double>(q.x))),
            static_cast<std::int32_t>(std::floor(m_cells[1] * static_cast<double>(q.y))),
            static_cast<std::int32_t>(std::floor(m_cells[2] * static_cast<double>(q.z)))};
}

void PeriodicRadiusGrid::AddPoint(const Point3d& p, double radius, std::int32_t id)
{
    const Point3d q = WrapToUnitCell(p);
    const Item item{id, std::bit_cast<std::array<std::uint32_t, 2>>(radius)};
    const double magnitude = std::fabs(radius);
    if (std::isnan(magnitude))
        m_largestRadius = std::numeric_limits<double>::infinity();
    else if (magnitude > m_largestRadius)
        m_largestRadius = magnitude;
    if (!m_active) {
        m_items.emplace_back(q, item);
        return;
    }
    const std::array<std::int32_t, 3> cell = WrappedCellIndices(q);
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
        const double reach = radius + item.GetRadius();
        if (c.Dot(c) <= reach * reach)
            ids.push_back(item.id);
    };
    if (!m_active) {
        for (const auto& [point, item] : m_items)
            take(point, item);
        return !ids.empty();
    }
    // Per axis, the cells at offsets -1, 0 and 1, wrapped.
    const std::array<std::int32_t, 3> cell = WrappedCellIndices(q);
    std::array<std::array<std::int32_t, 3>, 3> around;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const std::int32_t n = m_cells[axis];
        const std::int32_t i = cell[axis];
        around[axis] = {i == 0 ? n - 1 : i - 1, i, i + 1 == n ? 0 : i + 1};
    }
    std::array<std::int32_t, 27> cells;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const auto& offset = offsets[i];
        cells[i] = (around[0][static_cast<std::size_t>(offset[0] + 1)] * m_cells[1] +
                    around[1][static_cast<std::size_t>(offset[1] + 1)]) *
                       m_cells[2] +
                   around[2][static_cast<std::size_t>(offset[2] + 1)];
    }
    const double reach = std::fabs(radius) + m_largestRadius;
    if (!(reach == m_testReach)) {
        m_testReach = reach;
        m_test = MakeNearTest(m_fractionalToCartesian, m_reach, reach);
    }
    m_bins.ForEachNear(cells, rows, q, m_test, true, take);
    return !ids.empty();
}

} // namespace Tavrel
