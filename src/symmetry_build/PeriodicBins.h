// PeriodicBins: the hashed cells of a periodic grid, each listing its entries in the order they were filed.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include <tavrel/core/FlatHashMap.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/symmetry_build/FlatIntMap.h>

namespace Tavrel {

// The most cells along one axis: (int)(2147483647^(1/3)) - 1, so that cell indices of both grids
// stay within 32 bits.
inline constexpr std::int32_t maxPeriodicCellsPerAxis = 1289;

// Cells per axis for a sphere of the given radius: perWidth x floor(1 / w) along an axis where the
// sphere's fractional width w is below 1, else 1; at most maxPeriodicCellsPerAxis. Worked out in
// double: a radius of 0 gives the most cells, a negative one counts as its magnitude and one that
// is not a number as 0.
std::array<std::int32_t, 3> PeriodicCellCounts(const Matrix3x3& cartesianToFractional, double radius,
                                               std::int32_t perWidth);

// Per axis, the most a fractional difference can span along it when its Cartesian length is 1: the
// length of that column of the Cartesian-to-fractional matrix (the inverse of the given one), with a
// margin far above rounding. Lets a grid pass over differences that cannot be within reach before
// measuring them exactly; infinite when the matrix has no inverse or is too oblique to trust.
std::array<double, 3> FractionalReach(const Matrix3x3& fractionalToCartesian);
// The reach times the radius's magnitude, as floats no smaller; not a number for a radius that is
// not one, which passes over nothing.
std::array<float, 3> FractionalBound(const std::array<double, 3>& reach, double radius);

// What a difference within a Cartesian radius cannot fail, tested in float before the exact test:
// the box of FractionalBound, then a sphere measured with the fractional-to-Cartesian matrix
// rounded to float, its squared radius enlarged beyond every rounding of that measure.
struct NearTest {
    std::array<float, 3> bound;
    std::array<float, 9> metric; // row by row
    float limit;                 // infinite or not a number passes everything the box passes
};
NearTest MakeNearTest(const Matrix3x3& fractionalToCartesian, const std::array<double, 3>& reach, double radius);

// A fractional difference as a Cartesian one, computed as Point3d's product with a Matrix3x3.
inline Point3d ToCartesian(const Point3d& d, const Matrix3x3& m)
{
    return Point3d(d.x * m(0, 0) + d.y * m(1, 0) + d.z * m(2, 0), d.x * m(0, 1) + d.y * m(1, 1) + d.z * m(2, 1),
                   d.x * m(0, 2) + d.y * m(1, 2) + d.z * m(2, 2));
}

// Only occupied cells cost memory. Each entry is a point with a payload, stored together so that a
// query reads few cache lines. Added entries wait in a list that a query files: once the waiting
// entries are an eighth of the filed ones or more, all are regrouped so that each cell's entries
// lie together in order of the cells' indices, and the cells are found by groups of eight
// consecutive indices, a group in 16 bytes, behind a bit filter of the groups that answers most
// queries near no entry; fewer wait in per-cell chains. The regrouping stays linear overall and
// keeps filing order within a cell.
template <class Payload>
class PeriodicBins {
public:
    std::size_t GetCount() const { return m_filedCount + m_waiting.size(); }

    void Add(std::int32_t cell, const Point3d& point, const Payload& payload)
    {
        if (GetCount() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
            throw std::length_error("PeriodicBins: too many entries");
        m_waiting.push_back({{point, payload}, cell});
    }

    // visit(point, payload) for the entries of each cell in turn, in filing order within a cell,
    // passing over some whose difference from q (reduced to the nearest image when asked) fails
    // the test. The rows together list every position in cells once, a row's in increasing order
    // of cell index along the last axis; when a row's indices follow one another its entries are
    // tested in one pass.
    template <std::size_t count, std::size_t rowCount, std::size_t rowLength, class Visit>
    void ForEachNear(const std::array<std::int32_t, count>& cells,
                     const std::array<std::array<std::uint8_t, rowLength>, rowCount>& rows, const Point3d& q,
                     const NearTest& test, bool nearestImage, Visit&& visit)
    {
        FileWaiting();
        // Mostly no group near is occupied: the filter says so without a lookup.
        if (m_waiting.empty() && std::none_of(cells.begin(), cells.end(),
                                              [this](std::int32_t cell) { return MayHoldGroup(cell >> 3); }))
            return;
        for (const std::int32_t cell : cells)
            m_groups.Prefetch(cell >> 3);
        // Cells of a row mostly share a group.
        std::array<Segment, count> segments;
        for (const auto& row : rows) {
            std::int32_t key = -1;
            const Group* group = nullptr;
            for (const std::uint8_t i : row) {
                if (cells[i] >> 3 != key) {
                    key = cells[i] >> 3;
                    group = m_groups.Find(key);
                }
                segments[i] = group ? Filed(*group, cells[i] & 7) : Segment{};
            }
        }
        // Mostly no entry lies near: nothing to test.
        if (m_waiting.empty() && std::all_of(segments.begin(), segments.end(),
                                             [](const Segment& segment) { return segment.begin >= segment.end; }))
            return;
        const Box box{q, test, nearestImage};
        if (m_waiting.empty() && VisitByRows(segments, cells, rows, box, visit))
            return;
        for (std::size_t i = 0; i < count; ++i) {
            for (std::int32_t at = segments[i].begin; at < segments[i].end; at += 64) {
                const std::int32_t size = std::min<std::int32_t>(64, segments[i].end - at);
                Emit(at, Inside(at, size, box), visit);
            }
            const Chain* const chain = m_chains.GetCount() == 0 ? nullptr : m_chains.Find(cells[i]);
            for (std::int32_t at = chain ? chain->head : -1; at >= 0; at = m_next[static_cast<std::size_t>(at)]) {
                const Entry& entry = m_waiting[static_cast<std::size_t>(at)].entry;
                if (box.Holds(entry.point.x, entry.point.y, entry.point.z))
                    visit(entry.point, entry.payload);
            }
        }
    }

private:
    // Where the filed entries of a group of eight cells begin and, counted from there, where each
    // cell's entries end; a group of more than 254 entries is wide, its bounds kept apart.
    struct Group {
        std::int32_t begin;
        std::array<std::uint8_t, 8> ends;
    };
    static constexpr std::uint8_t wide = 255;
    struct Segment {
        std::int32_t begin = 0;
        std::int32_t end = 0;
    };
    struct Entry {
        Point3d point;
        Payload payload;
    };
    struct Waiting {
        Entry entry;
        std::int32_t cell;
    };
    // The waiting entries of one cell that a query has seen.
    struct Chain {
        std::int32_t head = -1;
        std::int32_t tail = -1;
    };
    struct Box {
        Point3d q;
        const NearTest& test;
        bool nearestImage;

        static float Reduce(float d) { return d - (static_cast<float>(d >= 0.5f) - static_cast<float>(d < -0.5f)); }
        bool Holds(float x, float y, float z) const
        {
            float dx = q.x - x;
            float dy = q.y - y;
            float dz = q.z - z;
            if (nearestImage) {
                dx = Reduce(dx);
                dy = Reduce(dy);
                dz = Reduce(dz);
            }
            // Without branches: which axis fails is unpredictable. A bound that is not a number
            // passes over nothing.
            return (static_cast<int>(!(std::fabs(dx) > test.bound[0])) &
                    static_cast<int>(!(std::fabs(dy) > test.bound[1])) &
                    static_cast<int>(!(std::fabs(dz) > test.bound[2]))) != 0;
        }
    };

    // The filter's bit of a group key: the high bits of a multiplicative hash.
    std::size_t FilterBit(std::int32_t key) const
    {
        return static_cast<std::size_t>((static_cast<std::uint32_t>(key) * 0x9E3779B1u) >> m_filterShift);
    }
    // False only when no filed entry lies in the group.
    bool MayHoldGroup(std::int32_t key) const
    {
        if (m_filter.empty())
            return false;
        const std::size_t bit = FilterBit(key);
        return (m_filter[bit >> 6] >> (bit & 63) & 1) != 0;
    }

    // Cell j of the group.
    Segment Filed(const Group& group, std::int32_t j) const
    {
        const auto at = static_cast<std::size_t>(j);
        if (group.ends[7] == wide) {
            const std::array<std::int32_t, 9>& bounds = m_wideGroups[static_cast<std::size_t>(group.begin)];
            return {bounds[at], bounds[at + 1]};
        }
        return {group.begin + (at == 0 ? 0 : group.ends[at - 1]), group.begin + group.ends[at]};
    }

    // Bit j set when the filed entry begin + j lies in the box; size at most 64. Four entries at a
    // time, the box as Box::Holds, then the sphere; the entries end in padding for the last four.
    std::uint64_t Inside(std::int32_t begin, std::int32_t size, const Box& box) const
    {
        using Floats = float __attribute__((vector_size(16)));
        using Masks = std::int32_t __attribute__((vector_size(16)));
        const Masks one = Masks{} + std::bit_cast<std::int32_t>(1.0f);
        const Masks magnitude = Masks{} + std::numeric_limits<std::int32_t>::max();
        const auto reduce = [&](Floats d) {
            return d - (std::bit_cast<Floats>(one & (d >= 0.5f)) - std::bit_cast<Floats>(one & (d < -0.5f)));
        };
        const auto within = [&](Floats d, float bound) {
            return ~(std::bit_cast<Floats>(std::bit_cast<Masks>(d) & magnitude) > bound);
        };
        const Entry* const entries = m_entries.data() + begin;
        std::uint64_t inside = 0;
        for (std::int32_t j = 0; j < size; j += 4) {
            const Point3d& p0 = entries[j].point;
            const Point3d& p1 = entries[j + 1].point;
            const Point3d& p2 = entries[j + 2].point;
            const Point3d& p3 = entries[j + 3].point;
            Floats dx = box.q.x - Floats{p0.x, p1.x, p2.x, p3.x};
            Floats dy = box.q.y - Floats{p0.y, p1.y, p2.y, p3.y};
            Floats dz = box.q.z - Floats{p0.z, p1.z, p2.z, p3.z};
            if (box.nearestImage) {
                dx = reduce(dx);
                dy = reduce(dy);
                dz = reduce(dz);
            }
            const std::array<float, 9>& m = box.test.metric;
            const Floats cx = dx * m[0] + dy * m[3] + dz * m[6];
            const Floats cy = dx * m[1] + dy * m[4] + dz * m[7];
            const Floats cz = dx * m[2] + dy * m[5] + dz * m[8];
            const Masks holds = within(dx, box.test.bound[0]) & within(dy, box.test.bound[1]) &
                                within(dz, box.test.bound[2]) & ~(cx * cx + cy * cy + cz * cz > box.test.limit);
            const auto bits =
                static_cast<std::uint64_t>((holds[0] & 1) | (holds[1] & 2) | (holds[2] & 4) | (holds[3] & 8));
            inside |= bits << j;
        }
        return size >= 64 ? inside : inside & ((std::uint64_t{1} << size) - 1);
    }

    template <class Visit>
    void Emit(std::int32_t begin, std::uint64_t inside, Visit& visit) const
    {
        for (; inside != 0; inside &= inside - 1) {
            const Entry& entry = m_entries[static_cast<std::size_t>(begin + std::countr_zero(inside))];
            visit(entry.point, entry.payload);
        }
    }

    // With nothing waiting: a row of cells with consecutive indices holds its entries together, so
    // they are tested in one pass, then visited cell by cell. False, having visited nothing, when
    // a pass would exceed 64 entries.
    template <std::size_t count, std::size_t rowCount, std::size_t rowLength, class Visit>
    bool VisitByRows(const std::array<Segment, count>& segments, const std::array<std::int32_t, count>& cells,
                     const std::array<std::array<std::uint8_t, rowLength>, rowCount>& rows, const Box& box,
                     Visit& visit) const
    {
        std::array<Segment, count> runs;
        std::array<std::uint8_t, count> runOf;
        std::uint8_t runCount = 0;
        for (const auto& row : rows) {
            bool consecutive = true;
            for (std::size_t j = 1; j < rowLength; ++j)
                consecutive &= cells[row[j]] == cells[row[j - 1]] + 1;
            if (!consecutive) {
                for (const std::uint8_t i : row) {
                    runs[runCount] = segments[i];
                    runOf[i] = runCount++;
                }
                continue;
            }
            Segment run{std::numeric_limits<std::int32_t>::max(), 0};
            for (const std::uint8_t i : row) {
                const bool occupied = segments[i].begin < segments[i].end;
                run.begin = occupied ? std::min(run.begin, segments[i].begin) : run.begin;
                run.end = occupied ? std::max(run.end, segments[i].end) : run.end;
                runOf[i] = runCount;
            }
            runs[runCount++] = run.begin < run.end ? run : Segment{};
        }
        for (std::uint8_t r = 0; r < runCount; ++r)
            if (runs[r].end - runs[r].begin > 64)
                return false;
        for (std::uint8_t r = 0; r < runCount; ++r) {
            const char* const from = reinterpret_cast<const char*>(m_entries.data() + runs[r].begin);
            const char* const to = reinterpret_cast<const char*>(m_entries.data() + runs[r].end);
            for (const char* at = from; at < to; at += 64)
                __builtin_prefetch(at);
            if (from < to)
                __builtin_prefetch(to - 1);
        }
        std::array<std::uint64_t, count> inside;
        for (std::uint8_t r = 0; r < runCount; ++r)
            inside[r] = Inside(runs[r].begin, runs[r].end - runs[r].begin, box);
        for (std::size_t i = 0; i < count; ++i) {
            const Segment& segment = segments[i];
            if (segment.begin >= segment.end)
                continue;
            const Segment& run = runs[runOf[i]];
            const auto size = static_cast<unsigned>(segment.end - segment.begin);
            const std::uint64_t mask = size == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << size) - 1;
            Emit(segment.begin, (inside[runOf[i]] >> (segment.begin - run.begin)) & mask, visit);
        }
        return true;
    }

    // Regroups everything once the waiting entries are an eighth of the filed ones or more, else
    // chains those no query has seen yet to their cells.
    void FileWaiting()
    {
        if (m_waiting.empty())
            return;
        if (m_waiting.size() * 8 >= m_filedCount) {
            Regroup();
            return;
        }
        for (; m_chained < m_waiting.size(); ++m_chained) {
            const auto index = static_cast<std::int32_t>(m_chained);
            m_next.push_back(-1);
            Chain& chain = m_chains[m_waiting[m_chained].cell];
            if (chain.tail < 0)
                chain.head = index;
            else
                m_next[static_cast<std::size_t>(chain.tail)] = index;
            chain.tail = index;
        }
    }

    // The waiting entries in order of their cells, filing order kept within a cell: a radix sort of
    // cell and position.
    std::vector<std::uint64_t> SortWaiting() const
    {
        constexpr int digitBits = 11;
        constexpr std::size_t digits = std::size_t{1} << digitBits;
        std::vector<std::uint64_t> sorted(m_waiting.size());
        std::uint32_t largest = 0;
        for (std::size_t i = 0; i < m_waiting.size(); ++i) {
            const auto cell = static_cast<std::uint32_t>(m_waiting[i].cell);
            largest = std::max(largest, cell);
            sorted[i] = std::uint64_t{cell} << 32 | i;
        }
        std::vector<std::uint64_t> buffer(sorted.size());
        std::vector<std::size_t> starts(digits);
        for (int shift = 32; shift < 32 + static_cast<int>(std::bit_width(largest)); shift += digitBits) {
            std::fill(starts.begin(), starts.end(), 0);
            for (const std::uint64_t key : sorted)
                ++starts[(key >> shift) & (digits - 1)];
            std::size_t total = 0;
            for (std::size_t& start : starts)
                total += std::exchange(start, total);
            for (const std::uint64_t key : sorted)
                buffer[starts[(key >> shift) & (digits - 1)]++] = key;
            sorted.swap(buffer);
        }
        return sorted;
    }

    // Merges the waiting entries into the filed ones cell by cell, a cell's filed entries first.
    void Regroup()
    {
        const std::vector<std::uint64_t> sorted = SortWaiting();
        std::vector<Entry> entries;
        std::vector<std::int32_t> keys, ends;
        entries.reserve(GetCount() + padding);
        const auto cellOf = [&](std::size_t w) { return static_cast<std::int32_t>(sorted[w] >> 32); };
        std::size_t filed = 0;
        std::size_t w = 0;
        std::int32_t from = 0;
        while (filed < m_cellKeys.size() || w < sorted.size()) {
            const std::int32_t key = filed == m_cellKeys.size() ? cellOf(w)
                                     : w == sorted.size()      ? m_cellKeys[filed]
                                                               : std::min(m_cellKeys[filed], cellOf(w));
            if (filed < m_cellKeys.size() && m_cellKeys[filed] == key) {
                const std::int32_t to = m_cellEnds[filed++];
                entries.insert(entries.end(), m_entries.begin() + from, m_entries.begin() + to);
                from = to;
            }
            for (; w < sorted.size() && cellOf(w) == key; ++w)
                entries.push_back(m_waiting[static_cast<std::uint32_t>(sorted[w])].entry);
            keys.push_back(key);
            ends.push_back(static_cast<std::int32_t>(entries.size()));
        }
        m_filedCount = entries.size();
        entries.resize(m_filedCount + padding, Entry{});
        m_entries.swap(entries);
        m_cellKeys.swap(keys);
        m_cellEnds.swap(ends);
        m_cellKeys.shrink_to_fit();
        m_cellEnds.shrink_to_fit();
        std::vector<Waiting>().swap(m_waiting);
        std::vector<std::int32_t>().swap(m_next);
        m_chains.Clear();
        m_chained = 0;

        IndexGroups();
    }

    // Files each run of eight cells' bounds under its group.
    void IndexGroups()
    {
        std::size_t count = 0;
        for (std::size_t i = 0; i < m_cellKeys.size(); ++i)
            count += i == 0 || m_cellKeys[i] >> 3 != m_cellKeys[i - 1] >> 3;
        m_groups.Clear();
        m_groups.Reserve(count);
        m_wideGroups.clear();
        // About 64 bits per group: a query near no entry mostly reads only this.
        const int bits = std::clamp(static_cast<int>(std::bit_width(count * 64)), 6, 32);
        m_filterShift = 32 - bits;
        m_filter.assign(count == 0 ? 0 : std::size_t{1} << (bits - 6), 0);
        std::array<std::int32_t, 9> bounds{};
        const auto file = [&](std::int32_t key) {
            Group group{bounds[0], {}};
            if (bounds[8] - bounds[0] < wide) {
                for (std::size_t j = 0; j < group.ends.size(); ++j)
                    group.ends[j] = static_cast<std::uint8_t>(bounds[j + 1] - bounds[0]);
            } else {
                group.begin = static_cast<std::int32_t>(m_wideGroups.size());
                group.ends.fill(wide);
                m_wideGroups.push_back(bounds);
            }
            m_groups.Insert(key, group);
            const std::size_t bit = FilterBit(key);
            m_filter[bit >> 6] |= std::uint64_t{1} << (bit & 63);
        };
        std::int32_t begin = 0;
        for (std::size_t i = 0; i < m_cellKeys.size(); ++i) {
            const std::int32_t key = m_cellKeys[i];
            if (i == 0 || key >> 3 != m_cellKeys[i - 1] >> 3) {
                if (i > 0)
                    file(m_cellKeys[i - 1] >> 3);
                bounds.fill(begin);
            }
            begin = m_cellEnds[i];
            for (auto j = static_cast<std::size_t>(key & 7) + 1; j < bounds.size(); ++j)
                bounds[j] = begin;
        }
        if (!m_cellKeys.empty())
            file(m_cellKeys.back() >> 3);
    }

    // Entries past the filed ones, read and ignored by Inside.
    static constexpr std::size_t padding = 3;
    // The filed entries, cell by cell, and the filed cells in order with where each ends.
    std::vector<Entry> m_entries;
    std::size_t m_filedCount = 0;
    std::vector<std::int32_t> m_cellKeys, m_cellEnds;
    FlatHashMap<std::int32_t, Group, IntegerHash> m_groups{-1};
    std::vector<std::array<std::int32_t, 9>> m_wideGroups;
    // One bit per hashed group key, set for every filed group.
    std::vector<std::uint64_t> m_filter;
    int m_filterShift = 32;
    // The entries added since the last regrouping; the first m_chained of them are chained to
    // their cells through m_next.
    std::vector<Waiting> m_waiting;
    std::size_t m_chained = 0;
    std::vector<std::int32_t> m_next;
    FlatIntMap<std::int32_t, Chain, -1> m_chains;
};

} // namespace Tavrel
