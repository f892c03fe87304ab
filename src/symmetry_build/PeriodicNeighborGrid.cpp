#include <tavrel/symmetry_build/PeriodicNeighborGrid.h>

#include <cmath>

#include <tavrel/symmetry_build/FractionalCoordinates.h>

namespace Tavrel {

PeriodicNeighborGrid::PeriodicNeighborGrid(const Matrix3x3& fractionalToCartesian,
                                           const Matrix3x3& cartesianToFractional, double cutoff)
    : m_fractionalToCartesian(fractionalToCartesian),
      m_cutoff2(cutoff * cutoff),
      m_cells(PeriodicCellCounts(cartesianToFractional, cutoff, 1)),
      m_active(std::int64_t{m_cells[0]} * m_cells[1] * m_cells[2] > 1),
      m_test(MakeNearTest(fractionalToCartesian, FractionalReach(fractionalToCartesian), cutoff))
{
}

void PeriodicNeighborGrid::AddPoint(const Point3d& p, std::int32_t id)
{
    struct Copy {
        std::array<std::int32_t, 3> node;
        Point3d point;
    };
    Copy copies[8];
    Copy& first = copies[0];
    first.point = WrapToUnitCell(p);
    float* const coordinates[3] = {&first.point.x, &first.point.y, &first.point.z};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const std::int32_t n = m_cells[axis];
        float& x = *coordinates[axis];
        auto node = static_cast<std::int32_t>(std::floor(n * static_cast<double>(x) + 0.5));
        if (node == n) {
            node = 0;
            x -= 1.0f;
        }
        first.node[axis] = node;
    }
    // Node 0 of an axis is node n of the next cell along it.
    int count = 1;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        if (first.node[axis] != 0)
            continue;
        for (int i = 0, made = count; i < made; ++i) {
            Copy& copy = copies[count++];
            copy = copies[i];
            copy.node[axis] = m_cells[axis];
            float* const shifted[3] = {&copy.point.x, &copy.point.y, &copy.point.z};
            *shifted[axis] += 1.0f;
        }
    }
    for (int i = 0; i < count; ++i) {
        if (m_active)
            m_bins.Add(CellIndex(copies[i].node[0], copies[i].node[1], copies[i].node[2]), copies[i].point, id);
        else
            m_items.emplace_back(copies[i].point, id);
    }
}

bool PeriodicNeighborGrid::FindNeighbors(const Point3d& p, IntArray& ids)
{
    ids.clear();
    const Point3d q = WrapToUnitCell(p);
    const auto take = [&](const Point3d& point, std::int32_t id) {
        const Point3d c = ToCartesian(q - point, m_fractionalToCartesian);
        if (c.Dot(c) <= m_cutoff2)
            ids.push_back(id);
    };
    if (!m_active) {
        for (const auto& [point, id] : m_items)
            take(point, id);
        return !ids.empty();
    }
    // q lies in [0, 1): truncation is the floor.
    const auto a = static_cast<std::int32_t>(m_cells[0] * static_cast<double>(q.x));
    const auto b = static_cast<std::int32_t>(m_cells[1] * static_cast<double>(q.y));
    const auto c = static_cast<std::int32_t>(m_cells[2] * static_cast<double>(q.z));
    const std::array<std::int32_t, 8> cells = {CellIndex(a, b, c),         CellIndex(a + 1, b, c),
                                               CellIndex(a, b + 1, c),     CellIndex(a, b, c + 1),
                                               CellIndex(a + 1, b + 1, c), CellIndex(a + 1, b, c + 1),
                                               CellIndex(a, b + 1, c + 1), CellIndex(a + 1, b + 1, c + 1)};
    // The pairs of cells one c step apart.
    static constexpr std::array<std::array<std::uint8_t, 2>, 4> rows{{{0, 3}, {1, 5}, {2, 6}, {4, 7}}};
    m_bins.ForEachNear(cells, rows, q, m_test, false, take);
    return !ids.empty();
}

} // namespace Tavrel
