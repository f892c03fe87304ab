#include <tavrel/monitors/ContactSearch.h>

#include <cmath>

namespace Tavrel {

namespace {

// Below this many points, trying every point costs less than building a grid.
constexpr std::size_t SmallSet = 32;

// The diagonal of the box around the finite points.
double Span(std::span<const Point3d> points)
{
    Point3d low = Point3d::maximum;
    Point3d high = Point3d::minimum;
    bool any = false;
    for (const Point3d& p : points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            continue;
        low.Minimum(p);
        high.Maximum(p);
        any = true;
    }
    return any ? Distance(low, high) : 0.0;
}

} // namespace

ContactSearch::ContactSearch(std::span<const Point3d> points, double reach) : m_count(points.size())
{
    if (!(reach >= 0.0))
        return;
    if (m_count <= SmallSet || reach >= Span(points)) {
        m_all = true;
        return;
    }
    // A hair wider than the reach, so that no rounding of a pair at the limit drops it.
    m_radius = reach * (1.0 + 1e-9) + 1e-9;
    m_grid.emplace(m_radius, points);
}

} // namespace Tavrel
