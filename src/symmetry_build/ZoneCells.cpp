#include <tavrel/symmetry_build/ZoneCells.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include <tavrel/core/Matrix3x3.h>

namespace Tavrel {

namespace {

using Vector = std::array<double, 3>;

double Dot(const Vector& a, const Vector& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

Vector Cross(const Vector& a, const Vector& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

Vector Scaled(const Vector& a, double s)
{
    return {a[0] * s, a[1] * s, a[2] * s};
}

Vector Minus(const Vector& a, const Vector& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

// The unit vector along a, turned so that its dot product with toward is not negative; zero for a
// vector of no length.
Vector UnitToward(const Vector& a, const Vector& toward)
{
    const double length = std::sqrt(Dot(a, a));
    if (!(length > 0.0))
        return {0.0, 0.0, 0.0};
    const Vector unit = Scaled(a, 1.0 / length);
    return Dot(unit, toward) < 0.0 ? Scaled(unit, -1.0) : unit;
}

// The whole numbers m with |m g - h| <= halfWidth (widened by the tolerance); empty (first > last)
// for a spacing of 0.
struct IntegerRange {
    double first = 1.0;
    double last = 0.0;
    double Count() const { return last >= first ? last - first + 1.0 : 0.0; }
};

IntegerRange RangeOf(double h, double halfWidth, double spacing)
{
    const double g = std::fabs(spacing);
    if (!(g > 0.0))
        return {};
    const double r = std::fabs(halfWidth) + ZoneDistanceTolerance;
    return {std::ceil((h - r) / g), std::floor((h + r) / g)};
}

bool WithinInt32(const IntegerRange& range)
{
    return range.Count() == 0.0 || (range.first >= -2147483648.0 && range.last <= 2147483647.0);
}

} // namespace

bool FindZoneCells(const Matrix3x3& fractionalToCartesian, const std::array<double, 3>& image,
                   const Point3d::Array& points, double radius, std::int64_t budget,
                   std::vector<LatticeCell>& cells)
{
    if (!std::isfinite(radius) || radius < 0.0)
        return false;
    const Vector a{fractionalToCartesian(0, 0), fractionalToCartesian(0, 1), fractionalToCartesian(0, 2)};
    const Vector b{fractionalToCartesian(1, 0), fractionalToCartesian(1, 1), fractionalToCartesian(1, 2)};
    const Vector c{fractionalToCartesian(2, 0), fractionalToCartesian(2, 1), fractionalToCartesian(2, 2)};
    const Vector u = UnitToward(Cross(b, c), a);
    const Vector w = UnitToward(c, c);
    const Vector v = UnitToward(Cross(c, u), b);
    const double au = Dot(a, u);
    const double bv = Dot(b, v);
    const double cw = Dot(c, w);
    const double limit = radius + ZoneDistanceTolerance;

    std::vector<LatticeCell> found;
    double remaining = static_cast<double>(budget);
    for (const Point3d& point : points) {
        const Vector d{point.x - image[0], point.y - image[1], point.z - image[2]};
        // An upper bound of the cells searched, before any is made.
        const IntegerRange is = RangeOf(Dot(d, u), radius, au);
        const double bound = is.Count() * (2.0 * limit / std::max(bv, 1e-300) + 1.0) *
                             (2.0 * limit / std::max(cw, 1e-300) + 1.0);
        if (!WithinInt32(is) || !(bound <= remaining))
            return false;
        remaining -= bound;
        for (double i = is.first; i <= is.last; ++i) {
            const double e = Dot(d, u) - i * au;
            const double r = std::sqrt(std::max(0.0, radius * radius - e * e));
            const Vector di = Minus(d, Scaled(a, i));
            const IntegerRange js = RangeOf(Dot(di, v), r, bv);
            if (!WithinInt32(js))
                return false;
            for (double j = js.first; j <= js.last; ++j) {
                const Vector dij = Minus(di, Scaled(b, j));
                const double e2 = Dot(dij, v);
                const double r2 = std::sqrt(std::max(0.0, r * r - e2 * e2));
                const IntegerRange ks = RangeOf(Dot(dij, w), r2, cw);
                if (!WithinInt32(ks))
                    return false;
                for (double k = ks.first; k <= ks.last; ++k) {
                    const Vector rest = Minus(dij, Scaled(c, k));
                    if (std::sqrt(Dot(rest, rest)) <= limit)
                        found.push_back(
                            {static_cast<std::int32_t>(i), static_cast<std::int32_t>(j), static_cast<std::int32_t>(k)});
                }
            }
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    std::vector<LatticeCell> united;
    united.reserve(cells.size() + found.size());
    std::set_union(cells.begin(), cells.end(), found.begin(), found.end(), std::back_inserter(united));
    cells = std::move(united);
    return true;
}

} // namespace Tavrel
