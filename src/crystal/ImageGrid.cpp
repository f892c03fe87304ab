#include <tavrel/crystal/ImageGrid.h>

#include <algorithm>
#include <limits>

namespace Tavrel {

namespace {

constexpr std::int32_t FreeIndex = std::numeric_limits<std::int32_t>::min();
constexpr double IndexLimit = 1073741824.0;  // 2^30

} // namespace

std::size_t ImageGrid::CellHash::operator()(const CellKey& key) const noexcept
{
    const std::uint64_t ij = static_cast<std::uint64_t>(static_cast<std::uint32_t>(key.i)) << 32 |
                             static_cast<std::uint32_t>(key.j);
    return static_cast<std::size_t>(MixBits(MixBits(ij) ^ static_cast<std::uint32_t>(key.k)));
}

ImageGrid::ImageGrid(double cellSize)
    : m_cellSize(cellSize > 0.0 && std::isfinite(cellSize) ? cellSize : 1.0), m_cells(CellKey{FreeIndex, 0, 0})
{
}

double ImageGrid::CellSizeFor(double volume, std::size_t points, double radius)
{
    const double spread = points > 0 && volume > 0.0 && std::isfinite(volume)
                              ? std::cbrt(volume / static_cast<double>(points))
                              : 1.0;
    const double least = radius > 0.0 && std::isfinite(radius) ? 2.0 * radius : 0.0;
    return std::max(spread, least);
}

void ImageGrid::Reserve(std::size_t points)
{
    m_points.reserve(points);
    m_cells.Reserve(points);
}

std::int32_t ImageGrid::CellIndex(double coordinate) const
{
    return static_cast<std::int32_t>(std::clamp(std::floor(coordinate / m_cellSize), -IndexLimit, IndexLimit));
}

void ImageGrid::Add(const Point3d& p, Tag tag)
{
    if (!IsFinite(p) || m_points.size() >= None)
        return;
    const auto at = static_cast<std::uint32_t>(m_points.size());
    const CellKey key{CellIndex(p.x), CellIndex(p.y), CellIndex(p.z)};
    std::uint32_t* const head = m_cells.Insert(key, None).first;
    m_points.push_back(Entry{p, tag, *head});
    *head = at;
}

} // namespace Tavrel
