// PeriodicBins: the hashed cells of a periodic grid, each listing its entries in the order they were filed.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

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

// A fractional difference as a Cartesian one, computed as Point3d's product with a Matrix3x3.
inline Point3d ToCartesian(const Point3d& d, const Matrix3x3& m)
{
    return Point3d(d.x * m(0, 0) + d.y * m(1, 0) + d.z * m(2, 0), d.x * m(0, 1) + d.y * m(1, 1) + d.z * m(2, 1),
                   d.x * m(0, 2) + d.y * m(1, 2) + d.z * m(2, 2));
}

// Only occupied cells cost memory. New entries wait in per-cell chains; once a query finds the
// waiting entries more than an eighth of the filed ones, all are regrouped so that each cell's
// entries lie together, which keeps a query's reads contiguous and the regrouping linear overall.
template <class Entry>
class PeriodicBins {
public:
    std::size_t GetCount() const { return m_filed.size() + m_waiting.size(); }

    void Add(std::int32_t cell, const Entry& entry)
    {
        if (GetCount() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
            throw std::length_error("PeriodicBins: too many entries");
        const auto index = static_cast<std::int32_t>(m_waiting.size());
        m_waiting.push_back({entry, -1});
        Bin& bin = m_bins[cell];
        if (bin.tail < 0)
            bin.head = index;
        else
            m_waiting[static_cast<std::size_t>(bin.tail)].next = index;
        bin.tail = index;
    }

    // visit(entry) for the cell's entries in filing order.
    template <class Visit>
    void ForEach(std::int32_t cell, Visit&& visit)
    {
        if (!m_waiting.empty() && m_waiting.size() * 8 >= m_filed.size())
            Regroup();
        const Bin* const bin = m_bins.Find(cell);
        if (!bin)
            return;
        const Entry* const filed = m_filed.data() + bin->begin;
        for (std::int32_t i = 0; i < bin->count; ++i)
            visit(filed[i]);
        for (std::int32_t i = bin->head; i >= 0; i = m_waiting[static_cast<std::size_t>(i)].next)
            visit(m_waiting[static_cast<std::size_t>(i)].entry);
    }

private:
    struct Bin {
        std::int32_t begin = 0;  // the filed entries
        std::int32_t count = 0;
        std::int32_t head = -1;  // the waiting chain
        std::int32_t tail = -1;
    };
    struct Waiting {
        Entry entry;
        std::int32_t next;
    };

    void Regroup()
    {
        std::vector<Entry> regrouped;
        regrouped.reserve(GetCount());
        m_bins.ForEach([&](std::int32_t, Bin& bin) {
            const auto begin = static_cast<std::int32_t>(regrouped.size());
            regrouped.insert(regrouped.end(), m_filed.begin() + bin.begin, m_filed.begin() + bin.begin + bin.count);
            for (std::int32_t i = bin.head; i >= 0; i = m_waiting[static_cast<std::size_t>(i)].next)
                regrouped.push_back(m_waiting[static_cast<std::size_t>(i)].entry);
            bin = {begin, static_cast<std::int32_t>(regrouped.size()) - begin, -1, -1};
        });
        m_filed.swap(regrouped);
        m_waiting.clear();
    }

    FlatIntMap<std::int32_t, Bin, -1> m_bins;
    std::vector<Entry> m_filed;
    std::vector<Waiting> m_waiting;
};

} // namespace Tavrel
