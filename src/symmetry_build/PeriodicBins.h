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

// A fractional difference as a Cartesian one, computed as Point3d's product with a Matrix3x3.
inline Point3d ToCartesian(const Point3d& d, const Matrix3x3& m)
{
    return Point3d(d.x * m(0, 0) + d.y * m(1, 0) + d.z * m(2, 0), d.x * m(0, 1) + d.y * m(1, 1) + d.z * m(2, 1),
                   d.x * m(0, 2) + d.y * m(1, 2) + d.z * m(2, 2));
}

// Only occupied cells cost memory. Each entry is a point with a payload. New entries wait in per-cell
// chains; once a query finds the waiting entries more than an eighth of the filed ones, all are
// regrouped so that each cell's entries lie together, coordinates apart from payloads, which keeps a
// query's reads contiguous and its box test free of branches, and the regrouping linear overall.
template <class Payload>
class PeriodicBins {
public:
    std::size_t GetCount() const { return m_payloads.size() + m_waiting.size(); }

    void Add(std::int32_t cell, const Point3d& point, const Payload& payload)
    {
        if (GetCount() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
            throw std::length_error("PeriodicBins: too many entries");
        const auto index = static_cast<std::int32_t>(m_waiting.size());
        m_waiting.push_back({point, payload, -1});
        Bin& bin = m_bins[cell];
        if (bin.tail < 0)
            bin.head = index;
        else
            m_waiting[static_cast<std::size_t>(bin.tail)].next = index;
        bin.tail = index;
    }

    // visit(point, payload) for the entries of each cell in turn, in filing order within a cell,
    // passing over those whose difference from q (reduced to the nearest image when asked) exceeds
    // the bound along an axis. The cells' memory is requested for all of them before the first is
    // visited.
    template <std::size_t count, class Visit>
    void ForEachNear(const std::array<std::int32_t, count>& cells, const Point3d& q, const std::array<float, 3>& bound,
                     bool nearestImage, Visit&& visit)
    {
        if (!m_waiting.empty() && m_waiting.size() * 8 >= m_payloads.size())
            Regroup();
        for (const std::int32_t cell : cells)
            m_bins.Prefetch(cell);
        std::array<const Bin*, count> bins;
        for (std::size_t i = 0; i < count; ++i) {
            bins[i] = m_bins.Find(cells[i]);
            if (!bins[i])
                continue;
            const auto begin = static_cast<std::size_t>(bins[i]->begin);
            const auto end = begin + static_cast<std::size_t>(bins[i]->count);
            for (std::size_t at = begin; at < end; at += 64 / sizeof(float)) {
                __builtin_prefetch(m_x.data() + at);
                __builtin_prefetch(m_y.data() + at);
                __builtin_prefetch(m_z.data() + at);
            }
            for (std::size_t at = begin; at < end; at += std::max<std::size_t>(1, 64 / sizeof(Payload)))
                __builtin_prefetch(m_payloads.data() + at);
        }
        const Box box{q, bound, nearestImage};
        for (const Bin* const bin : bins) {
            if (!bin)
                continue;
            VisitFiled(*bin, box, visit);
            for (std::int32_t i = bin->head; i >= 0; i = m_waiting[static_cast<std::size_t>(i)].next) {
                const Waiting& waiting = m_waiting[static_cast<std::size_t>(i)];
                if (box.Holds(waiting.point.x, waiting.point.y, waiting.point.z))
                    visit(waiting.point, waiting.payload);
            }
        }
    }

private:
    struct Bin {
        std::int32_t begin = 0;  // the filed entries
        std::int32_t count = 0;
        std::int32_t head = -1;  // the waiting chain
        std::int32_t tail = -1;
    };
    struct Waiting {
        Point3d point;
        Payload payload;
        std::int32_t next;
    };
    struct Box {
        Point3d q;
        std::array<float, 3> bound;
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
            return (static_cast<int>(!(std::fabs(dx) > bound[0])) & static_cast<int>(!(std::fabs(dy) > bound[1])) &
                    static_cast<int>(!(std::fabs(dz) > bound[2]))) != 0;
        }
    };

    template <class Visit>
    void VisitFiled(const Bin& bin, const Box& box, Visit& visit) const
    {
        // The box test runs over blocks of entries without branches, then the few inside are visited.
        constexpr std::int32_t block = 32;
        const float* const xs = m_x.data() + bin.begin;
        const float* const ys = m_y.data() + bin.begin;
        const float* const zs = m_z.data() + bin.begin;
        for (std::int32_t start = 0; start < bin.count; start += block) {
            const std::int32_t size = std::min(block, bin.count - start);
            std::uint32_t inside = 0;
            for (std::int32_t j = 0; j < size; ++j)
                inside |= static_cast<std::uint32_t>(box.Holds(xs[start + j], ys[start + j], zs[start + j])) << j;
            for (; inside != 0; inside &= inside - 1) {
                const auto e = static_cast<std::size_t>(bin.begin + start + std::countr_zero(inside));
                Point3d point;
                point.x = m_x[e];
                point.y = m_y[e];
                point.z = m_z[e];
                visit(point, m_payloads[e]);
            }
        }
    }

    // Lays the cells out in order of their index, so that neighbours along the last axis lie together.
    void Regroup()
    {
        std::vector<std::pair<std::int32_t, Bin*>> order;
        order.reserve(m_bins.GetCount());
        m_bins.ForEach([&](std::int32_t cell, Bin& bin) { order.emplace_back(cell, &bin); });
        std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        const std::size_t total = GetCount();
        std::vector<float> xs, ys, zs;
        std::vector<Payload> payloads;
        xs.reserve(total);
        ys.reserve(total);
        zs.reserve(total);
        payloads.reserve(total);
        for (const auto& [cell, bin] : order) {
            const auto begin = static_cast<std::int32_t>(payloads.size());
            const auto from = static_cast<std::size_t>(bin->begin);
            const auto to = from + static_cast<std::size_t>(bin->count);
            xs.insert(xs.end(), m_x.begin() + from, m_x.begin() + to);
            ys.insert(ys.end(), m_y.begin() + from, m_y.begin() + to);
            zs.insert(zs.end(), m_z.begin() + from, m_z.begin() + to);
            payloads.insert(payloads.end(), m_payloads.begin() + from, m_payloads.begin() + to);
            for (std::int32_t i = bin->head; i >= 0; i = m_waiting[static_cast<std::size_t>(i)].next) {
                const Waiting& waiting = m_waiting[static_cast<std::size_t>(i)];
                xs.push_back(waiting.point.x);
                ys.push_back(waiting.point.y);
                zs.push_back(waiting.point.z);
                payloads.push_back(waiting.payload);
            }
            *bin = {begin, static_cast<std::int32_t>(payloads.size()) - begin, -1, -1};
        }
        m_x.swap(xs);
        m_y.swap(ys);
        m_z.swap(zs);
        m_payloads.swap(payloads);
        m_waiting.clear();
    }

    FlatIntMap<std::int32_t, Bin, -1> m_bins;
    // The filed entries, cell by cell.
    std::vector<float> m_x, m_y, m_z;
    std::vector<Payload> m_payloads;
    std::vector<Waiting> m_waiting;
};

} // namespace Tavrel
