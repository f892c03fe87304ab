#include <tavrel/core/NeighborList.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace Tavrel {

namespace {

// Cell indices are clamped so that far-away or tiny-cell coordinates cannot overflow; clamping is
// monotonic, so every point within reach still falls inside the scanned range.
constexpr double indexLimit = 1125899906842624.0; // 2^50

bool IsFinite(const Point3d& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

} // namespace

std::size_t NeighborList::CellHash::operator()(const CellKey& key) const noexcept
{
    std::uint64_t h = static_cast<std::uint64_t>(key.i) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<std::uint64_t>(key.j) * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
    h ^= static_cast<std::uint64_t>(key.k) * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
    h ^= h >> 29;
    return static_cast<std::size_t>(h);
}

NeighborList::NeighborList(double cellSize, int tableSize)
    : m_cellSize(cellSize > 0.0 && std::isfinite(cellSize) ? cellSize : 1.0)
{
    if (tableSize > 0)
        m_cells.reserve(static_cast<std::size_t>(tableSize));
}

std::int64_t NeighborList::CellIndex(float coordinate) const
{
    const double scaled = std::floor(coordinate / m_cellSize);
    return static_cast<std::int64_t>(std::clamp(scaled, -indexLimit, indexLimit));
}

NeighborList::CellKey NeighborList::CellOf(const Point3d& p) const
{
    return {CellIndex(p.x), CellIndex(p.y), CellIndex(p.z)};
}

std::int32_t NeighborList::Add(const Point3d& p)
{
    if (m_points.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw std::length_error("NeighborList: too many points");
    const auto index = static_cast<std::int32_t>(m_points.size());
    m_points.push_back(p);
    if (IsFinite(p))
        m_cells[CellOf(p)].push_back(index);
    else
        m_unplaced.push_back(index);
    return index;
}

void NeighborList::GetNeighbors(const Point3d& p, IntArray& out) const
{
    GetNeighbors(p, m_cellSize, out);
}

void NeighborList::GetNeighbors(const Point3d& p, double radius, IntArray& out) const
{
    if (!(radius >= 0.0))
        return;
    const double radius2 = radius * radius;
    const bool unbounded = std::isinf(radius);
    const auto within = [&](std::int32_t index) {
        const double d2 = p.Distance2(m_points[static_cast<std::size_t>(index)]);
        // An infinitely distant point is only within an infinite radius, even when radius² overflows.
        return d2 <= radius2 && (unbounded || std::isfinite(d2));
    };

    IntArray found;
    for (const std::int32_t index : m_unplaced)
        if (within(index))
            found.push_back(index);

    if (!IsFinite(p) || !std::isfinite(radius)) {
        for (std::size_t index = 0; index < m_points.size(); ++index)
            if (IsFinite(m_points[index]) && within(static_cast<std::int32_t>(index)))
                found.push_back(static_cast<std::int32_t>(index));
    } else {
        // The scanned range is a hair wider than the radius, so that rounding in the distance test
        // never accepts a point outside the scanned cells.
        const double reach = radius * (1.0 + 1e-9);
        const auto range = [&](float c, std::int64_t& low, std::int64_t& high) {
            const double lo = std::floor((c - reach) / m_cellSize);
            const double hi = std::floor((c + reach) / m_cellSize);
            low = static_cast<std::int64_t>(std::clamp(lo, -indexLimit, indexLimit));
            high = static_cast<std::int64_t>(std::clamp(hi, -indexLimit, indexLimit));
        };
        CellKey low{};
        CellKey high{};
        range(p.x, low.i, high.i);
        range(p.y, low.j, high.j);
        range(p.z, low.k, high.k);
        const double cellsInRange = (double(high.i - low.i) + 1.0) * (double(high.j - low.j) + 1.0) *
                                    (double(high.k - low.k) + 1.0);
        if (cellsInRange <= static_cast<double>(m_cells.size())) {
            for (std::int64_t i = low.i; i <= high.i; ++i)
                for (std::int64_t j = low.j; j <= high.j; ++j)
                    for (std::int64_t k = low.k; k <= high.k; ++k) {
                        const auto cell = m_cells.find({i, j, k});
                        if (cell == m_cells.end())
                            continue;
                        for (const std::int32_t index : cell->second)
                            if (within(index))
                                found.push_back(index);
                    }
        } else {
            // A radius wide against the grid: visiting the occupied cells is cheaper.
            for (const auto& [key, indices] : m_cells) {
                if (key.i < low.i || key.i > high.i || key.j < low.j || key.j > high.j || key.k < low.k ||
                    key.k > high.k)
                    continue;
                for (const std::int32_t index : indices)
                    if (within(index))
                        found.push_back(index);
            }
        }
    }
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
}

} // namespace Tavrel
