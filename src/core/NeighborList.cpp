#include <tavrel/core/NeighborList.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace Tavrel {

namespace {

// Cell indices are clamped so that far-away or tiny-cell coordinates cannot overflow; clamping is
// monotonic, so every point within reach still falls inside the scanned range.
constexpr double indexLimit = 1125899906842624.0; // 2^50

// Points that wait unsorted before the list sorts them all, at the least.
constexpr std::size_t minimumWaiting = 64;

// A dense grid may have this many cells per sorted point (plus a fixed allowance) before the list
// gives offsets to the occupied cells only; with up to rankedCellsPerPoint cells a point (at two bits
// a cell, no more bytes than the offsets of a dense grid), those are found by rank, beyond by hashing.
constexpr double denseCellsPerPoint = 8.0;
constexpr double denseCellAllowance = 4096.0;
constexpr double rankedCellsPerPoint = 128.0;

// The widest neighbourhood, in cells each way, that the cell-by-cell pair search walks; wider radii
// against the grid are answered point by point.
constexpr std::int64_t maximumPairReach = 4;

bool IsFinite(const Point3d& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// Point3d::Distance2, inline for the inner loops.
inline double SquaredDistance(const Point3d& a, const Point3d& b)
{
    const double dx = double(a.x) - b.x;
    const double dy = double(a.y) - b.y;
    const double dz = double(a.z) - b.z;
    return dx * dx + dy * dy + dz * dz;
}

// A scanned half-width along one axis: a hair wider than the radius, and wide enough that rounding in
// coordinate + reach never falls short of a point at the radius.
double Reach(double radius, double coordinate)
{
    return radius * (1.0 + 1e-9) + std::abs(coordinate) * 1e-15;
}

void SortSmall(std::int32_t* first, std::int32_t* last)
{
    if (last - first > 16) {
        std::sort(first, last);
        return;
    }
    for (std::int32_t* i = first + 1; i < last; ++i) {
        const std::int32_t value = *i;
        std::int32_t* j = i;
        for (; j > first && *(j - 1) > value; --j)
            *j = *(j - 1);
        *j = value;
    }
}

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
        m_points.reserve(static_cast<std::size_t>(tableSize));
}

NeighborList::NeighborList(double cellSize, std::span<const Point3d> points) : NeighborList(cellSize, 0)
{
    if (points.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw std::length_error("NeighborList: too many points");
    m_points.assign(points.begin(), points.end());
    Sort();
}

std::int64_t NeighborList::CellIndex(double coordinate) const
{
    const double scaled = std::floor(coordinate / m_cellSize);
    return static_cast<std::int64_t>(std::clamp(scaled, -indexLimit, indexLimit));
}

NeighborList::CellKey NeighborList::CellOf(const Point3d& p) const
{
    return {CellIndex(p.x), CellIndex(p.y), CellIndex(p.z)};
}

void NeighborList::CellRange(const Point3d& p, double radius, CellKey& low, CellKey& high) const
{
    const auto range = [&](double c, std::int64_t& from, std::int64_t& to) {
        const double reach = Reach(radius, c);
        from = CellIndex(c - reach);
        to = CellIndex(c + reach);
    };
    range(p.x, low.i, high.i);
    range(p.y, low.j, high.j);
    range(p.z, low.k, high.k);
}

std::int32_t NeighborList::Add(const Point3d& p)
{
    if (m_points.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw std::length_error("NeighborList: too many points");
    const auto index = static_cast<std::int32_t>(m_points.size());
    m_points.push_back(p);
    if (m_points.size() - m_sortedCount > std::max(m_sortedCount, minimumWaiting)) {
        Sort();
        return index;
    }
    if (!IsFinite(p)) {
        m_unplaced.push_back(index);
        m_waitingNext.push_back(-1);
        return index;
    }
    const auto [cell, added] = m_waitingCells.try_emplace(CellOf(p), index);
    m_waitingNext.push_back(added ? -1 : cell->second);
    cell->second = index;
    return index;
}

void NeighborList::Sort()
{
    const std::size_t count = m_points.size();
    m_sortedCount = count;
    m_waitingCells.clear();
    m_waitingNext.clear();
    m_unplaced.clear();
    m_occupied.clear();
    m_cellStart.clear();
    m_cellPoints.clear();
    m_cellSlots.clear();
    m_dims[0] = m_dims[1] = m_dims[2] = 0;

    CellKey low{std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max(),
                std::numeric_limits<std::int64_t>::max()};
    CellKey high{std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::min(),
                 std::numeric_limits<std::int64_t>::min()};
    for (std::size_t index = 0; index < count; ++index) {
        const Point3d& p = m_points[index];
        if (!IsFinite(p)) {
            m_unplaced.push_back(static_cast<std::int32_t>(index));
            continue;
        }
        const CellKey key = CellOf(p);
        low = {std::min(low.i, key.i), std::min(low.j, key.j), std::min(low.k, key.k)};
        high = {std::max(high.i, key.i), std::max(high.j, key.j), std::max(high.k, key.k)};
    }
    const std::size_t placed = count - m_unplaced.size();
    if (placed == 0)
        return;
    m_cellPoints.resize(placed);

    const double cells =
        (double(high.i - low.i) + 1.0) * (double(high.j - low.j) + 1.0) * (double(high.k - low.k) + 1.0);
    const bool everyCell = cells <= denseCellsPerPoint * static_cast<double>(placed) + denseCellAllowance;
    if ((everyCell || cells <= rankedCellsPerPoint * static_cast<double>(placed) + denseCellAllowance) &&
        cells < static_cast<double>(std::numeric_limits<std::uint32_t>::max())) {
        // A counting sort into the dense grid; filling from the last point keeps each cell ascending.
        m_low = low;
        m_dims[0] = high.i - low.i + 1;
        m_dims[1] = high.j - low.j + 1;
        m_dims[2] = high.k - low.k + 1;
        // Each point's cell number (none for a point kept apart), then its position in m_cellStart.
        constexpr std::uint32_t none = std::numeric_limits<std::uint32_t>::max();
        std::vector<std::uint32_t> cellOf(count, none);
        for (std::size_t index = 0; index < count; ++index) {
            if (const Point3d& p = m_points[index]; IsFinite(p)) {
                const CellKey key = CellOf(p);
                cellOf[index] = static_cast<std::uint32_t>(DenseCell(key.i, key.j, key.k));
            }
        }
        std::size_t positions = static_cast<std::size_t>(cells);
        if (!everyCell) {
            // Bits for the cell numbers up to the number of cells, which RankOf also takes.
            m_occupied.assign(positions / 64 + 1, OccupiedWord{0, 0});
            for (const std::uint32_t cell : cellOf) {
                if (cell != none)
                    m_occupied[cell >> 6].bits |= std::uint64_t{1} << (cell & 63);
            }
            std::uint32_t rank = 0;
            for (OccupiedWord& word : m_occupied) {
                word.rank = rank;
                rank += static_cast<std::uint32_t>(std::popcount(word.bits));
            }
            positions = rank;
            for (std::uint32_t& cell : cellOf) {
                if (cell != none)
                    cell = static_cast<std::uint32_t>(RankOf(cell));
            }
        }
        m_cellStart.assign(positions + 1, 0);
        for (const std::uint32_t cell : cellOf) {
            if (cell != none)
                ++m_cellStart[cell];
        }
        std::uint32_t end = 0;
        for (std::size_t cell = 0; cell + 1 < m_cellStart.size(); ++cell) {
            end += m_cellStart[cell];
            m_cellStart[cell] = end;
        }
        m_cellStart.back() = end;
        for (std::size_t index = count; index-- > 0;) {
            if (cellOf[index] != none)
                m_cellPoints[--m_cellStart[cellOf[index]]] = static_cast<std::int32_t>(index);
        }
        return;
    }

    // Spread out: only the occupied cells, in key order, found by hashing.
    std::vector<std::pair<CellKey, std::int32_t>> keyed;
    keyed.reserve(placed);
    for (std::size_t index = 0; index < count; ++index) {
        if (IsFinite(m_points[index]))
            keyed.emplace_back(CellOf(m_points[index]), static_cast<std::int32_t>(index));
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        return std::tie(a.first.i, a.first.j, a.first.k, a.second) < std::tie(b.first.i, b.first.j, b.first.k, b.second);
    });
    m_cellSlots.reserve(placed);
    for (std::size_t position = 0; position < keyed.size(); ++position) {
        if (position == 0 || !(keyed[position].first == keyed[position - 1].first)) {
            m_cellSlots.emplace(keyed[position].first, static_cast<std::uint32_t>(m_cellStart.size()));
            m_cellStart.push_back(static_cast<std::uint32_t>(position));
        }
        m_cellPoints[position] = keyed[position].second;
    }
    m_cellStart.push_back(static_cast<std::uint32_t>(keyed.size()));
}

template <class Visit>
void NeighborList::VisitCells(const CellKey& low, const CellKey& high, Visit&& visit) const
{
    const auto volume = [](const CellKey& from, const CellKey& to) {
        return (double(to.i - from.i) + 1.0) * (double(to.j - from.j) + 1.0) * (double(to.k - from.k) + 1.0);
    };
    const auto inside = [&](const CellKey& key) {
        return key.i >= low.i && key.i <= high.i && key.j >= low.j && key.j <= high.j && key.k >= low.k &&
               key.k <= high.k;
    };
    const auto visitRange = [&](std::uint32_t from, std::uint32_t to) {
        for (std::uint32_t position = from; position < to; ++position)
            visit(m_cellPoints[position]);
    };
    // Calls onCell with the value of each cell of a hashed grid within the range: by lookups when the
    // range holds fewer cells than the grid, else by a pass over the grid.
    const auto visitHashed = [&](const auto& cells, const auto& onCell) {
        if (volume(low, high) <= static_cast<double>(cells.size())) {
            for (std::int64_t i = low.i; i <= high.i; ++i)
                for (std::int64_t j = low.j; j <= high.j; ++j)
                    for (std::int64_t k = low.k; k <= high.k; ++k) {
                        const auto cell = cells.find({i, j, k});
                        if (cell != cells.end())
                            onCell(cell->second);
                    }
        } else {
            for (const auto& [key, value] : cells) {
                if (inside(key))
                    onCell(value);
            }
        }
    };

    if (IsDense()) {
        const CellKey from{std::max(low.i, m_low.i), std::max(low.j, m_low.j), std::max(low.k, m_low.k)};
        const CellKey to{std::min(high.i, m_low.i + m_dims[0] - 1), std::min(high.j, m_low.j + m_dims[1] - 1),
                         std::min(high.k, m_low.k + m_dims[2] - 1)};
        if (from.i <= to.i && from.j <= to.j && from.k <= to.k) {
            if (volume(from, to) > static_cast<double>(m_cellPoints.size())) {
                visitRange(0, static_cast<std::uint32_t>(m_cellPoints.size()));
            } else {
                // The cells of one row along k lie next to one another, and so do their points.
                for (std::int64_t i = from.i; i <= to.i; ++i)
                    for (std::int64_t j = from.j; j <= to.j; ++j) {
                        const std::size_t first = DenseCell(i, j, from.k);
                        const std::size_t last = first + static_cast<std::size_t>(to.k - from.k) + 1;
                        if (m_occupied.empty()) [[likely]]
                            visitRange(m_cellStart[first], m_cellStart[last]);
                        else
                            visitRange(m_cellStart[RankOf(first)], m_cellStart[RankOf(last)]);
                    }
            }
        }
    } else if (!m_cellSlots.empty()) {
        visitHashed(m_cellSlots, [&](std::uint32_t slot) { visitRange(m_cellStart[slot], m_cellStart[slot + 1]); });
    }
    visitHashed(m_waitingCells, [&](std::int32_t index) {
        for (; index >= 0; index = m_waitingNext[static_cast<std::size_t>(index) - m_sortedCount])
            visit(index);
    });
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
        const double d2 = SquaredDistance(p, m_points[static_cast<std::size_t>(index)]);
        // An infinitely distant point is only within an infinite radius, even when radius² overflows.
        return d2 <= radius2 && (unbounded || std::isfinite(d2));
    };

    const std::size_t first = out.size();
    for (const std::int32_t index : m_unplaced)
        if (within(index))
            out.push_back(index);

    if (!IsFinite(p) || unbounded) {
        for (std::size_t index = 0; index < m_points.size(); ++index)
            if (IsFinite(m_points[index]) && within(static_cast<std::int32_t>(index)))
                out.push_back(static_cast<std::int32_t>(index));
    } else {
        CellKey low{};
        CellKey high{};
        CellRange(p, radius, low, high);
        VisitCells(low, high, [&](std::int32_t index) {
            if (within(index))
                out.push_back(index);
        });
    }
    SortSmall(out.data() + first, out.data() + out.size());
}

bool NeighborList::HasNeighbor(const Point3d& p, double radius) const
{
    if (!(radius >= 0.0))
        return false;
    const bool unbounded = std::isinf(radius);
    bool found = false;
    const auto test = [&](std::int32_t index) {
        if (found)
            return;
        const double d2 = SquaredDistance(p, m_points[static_cast<std::size_t>(index)]);
        found = std::sqrt(d2) <= radius && (unbounded || std::isfinite(d2));
    };
    for (const std::int32_t index : m_unplaced)
        test(index);
    if (!IsFinite(p) || unbounded) {
        for (std::size_t index = 0; index < m_points.size() && !found; ++index)
            if (IsFinite(m_points[index]))
                test(static_cast<std::int32_t>(index));
    } else if (!found) {
        CellKey low{};
        CellKey high{};
        CellRange(p, radius, low, high);
        VisitCells(low, high, test);
    }
    return found;
}

void NeighborList::GetAllNeighbors(double radius, std::vector<std::uint32_t>& offsets, IntArray& neighbors) const
{
    const std::size_t count = m_points.size();
    offsets.assign(count + 1, 0);
    neighbors.clear();
    if (!(radius >= 0.0) || count == 0)
        return;

    // The reach in cells each way that covers every pair within the radius: see Reach, with the
    // largest coordinate of the grid.
    double largest = 0.0;
    if (IsDense()) {
        for (const std::int64_t index : {m_low.i, m_low.j, m_low.k, m_low.i + m_dims[0], m_low.j + m_dims[1],
                                         m_low.k + m_dims[2]})
            largest = std::max(largest, std::abs(static_cast<double>(index)) * m_cellSize);
    }
    const double cellReach = std::ceil((radius * (1.0 + 1e-9) + largest * 2e-15) / m_cellSize);
    // Points with a non-finite coordinate have no neighbours within a finite radius.
    if (!IsDense() || !m_occupied.empty() || !m_waitingCells.empty() || !(cellReach <= double(maximumPairReach))) {
        // Point by point: each list comes sorted.
        IntArray found;
        for (std::size_t index = 0; index < count; ++index) {
            found.clear();
            GetNeighbors(m_points[index], radius, found);
            for (const std::int32_t other : found)
                if (other != static_cast<std::int32_t>(index))
                    neighbors.push_back(other);
            offsets[index + 1] = static_cast<std::uint32_t>(neighbors.size());
        }
        return;
    }

    // Cell by cell, each pair once: the rest of a point's own cell and row, then the rows above it.
    const auto reach = static_cast<std::int64_t>(cellReach);
    const double radius2 = radius * radius;
    std::vector<Point3d> sorted(m_cellPoints.size());
    for (std::size_t position = 0; position < sorted.size(); ++position)
        sorted[position] = m_points[static_cast<std::size_t>(m_cellPoints[position])];
    std::vector<std::pair<std::int32_t, std::int32_t>> pairs;
    const auto test = [&](std::uint32_t a, std::uint32_t from, std::uint32_t to) {
        const Point3d& p = sorted[a];
        for (std::uint32_t b = from; b < to; ++b) {
            if (SquaredDistance(p, sorted[b]) <= radius2)
                pairs.emplace_back(m_cellPoints[a], m_cellPoints[b]);
        }
    };
    const std::int64_t (&dims)[3] = m_dims;
    for (std::int64_t i = 0; i < dims[0]; ++i)
        for (std::int64_t j = 0; j < dims[1]; ++j)
            for (std::int64_t k = 0; k < dims[2]; ++k) {
                const std::size_t cell = static_cast<std::size_t>((i * dims[1] + j) * dims[2] + k);
                const std::uint32_t begin = m_cellStart[cell];
                const std::uint32_t end = m_cellStart[cell + 1];
                if (begin == end)
                    continue;
                const std::int64_t kLow = std::max<std::int64_t>(k - reach, 0);
                const std::int64_t kHigh = std::min(k + reach, dims[2] - 1);
                const std::uint32_t rowEnd = m_cellStart[cell + static_cast<std::size_t>(kHigh - k) + 1];
                for (std::uint32_t a = begin; a < end; ++a) {
                    test(a, a + 1, rowEnd);
                    for (std::int64_t di = 0; di <= reach && i + di < dims[0]; ++di)
                        for (std::int64_t dj = di == 0 ? 1 : -reach; dj <= reach; ++dj) {
                            const std::int64_t nj = j + dj;
                            if (nj < 0 || nj >= dims[1])
                                continue;
                            const std::size_t row = static_cast<std::size_t>(((i + di) * dims[1] + nj) * dims[2]);
                            test(a, m_cellStart[row + static_cast<std::size_t>(kLow)],
                                 m_cellStart[row + static_cast<std::size_t>(kHigh) + 1]);
                        }
                }
            }

    for (const auto& [a, b] : pairs) {
        ++offsets[static_cast<std::size_t>(a) + 1];
        ++offsets[static_cast<std::size_t>(b) + 1];
    }
    for (std::size_t index = 0; index < count; ++index)
        offsets[index + 1] += offsets[index];
    neighbors.resize(offsets[count]);
    std::vector<std::uint32_t> fill(offsets.begin(), offsets.end() - 1);
    for (const auto& [a, b] : pairs) {
        neighbors[fill[static_cast<std::size_t>(a)]++] = b;
        neighbors[fill[static_cast<std::size_t>(b)]++] = a;
    }
    for (std::size_t index = 0; index < count; ++index)
        SortSmall(neighbors.data() + offsets[index], neighbors.data() + offsets[index + 1]);
}

} // namespace Tavrel
