#include <tavrel/symmetry_build/PeriodicBins.h>

#include <cmath>
#include <limits>

#include <tavrel/symmetry_build/FractionalCoordinates.h>

namespace Tavrel {

std::array<std::int32_t, 3> PeriodicCellCounts(const Matrix3x3& cartesianToFractional, double radius,
                                               std::int32_t perWidth)
{
    const double magnitude = std::isnan(radius) ? 0.0 : std::fabs(radius);
    const std::array<double, 3> widths = GetAxisExtents(cartesianToFractional, magnitude);
    std::array<std::int32_t, 3> counts{1, 1, 1};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const double w = widths[axis];
        if (!(w < 1.0))
            continue;
        const double cells = perWidth * std::floor(1.0 / w);
        counts[axis] = cells > maxPeriodicCellsPerAxis ? maxPeriodicCellsPerAxis : static_cast<std::int32_t>(cells);
    }
    return counts;
}

std::array<double, 3> FractionalReach(const Matrix3x3& fractionalToCartesian)
{
    constexpr double margin = 1.0 + 1e-4;
    std::array<double, 3> reach;
    reach.fill(std::numeric_limits<double>::infinity());
    // A cell so oblique that rounding could defeat the margin gets no reach either.
    double scale = 1.0;
    for (int row = 0; row < 3; ++row)
        scale *= std::sqrt(fractionalToCartesian(row, 0) * fractionalToCartesian(row, 0) +
                           fractionalToCartesian(row, 1) * fractionalToCartesian(row, 1) +
                           fractionalToCartesian(row, 2) * fractionalToCartesian(row, 2));
    Matrix3x3 inverse = fractionalToCartesian;
    if (!(std::fabs(fractionalToCartesian.Determinant()) > 1e-6 * scale) || !inverse.Invert())
        return reach;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const int i = static_cast<int>(axis);
        const double length =
            std::sqrt(inverse(0, i) * inverse(0, i) + inverse(1, i) * inverse(1, i) + inverse(2, i) * inverse(2, i));
        if (std::isfinite(length))
            reach[axis] = length * margin;
    }
    return reach;
}

std::array<float, 3> FractionalBound(const std::array<double, 3>& reach, double radius)
{
    std::array<float, 3> bound;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const double b = reach[axis] * std::fabs(radius);
        if (!(b <= std::numeric_limits<float>::max())) {
            bound[axis] = std::isnan(b) ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
            continue;
        }
        const auto rounded = static_cast<float>(b);
        bound[axis] = rounded < b ? std::nextafter(rounded, std::numeric_limits<float>::infinity()) : rounded;
    }
    return bound;
}

NearTest MakeNearTest(const Matrix3x3& fractionalToCartesian, const std::array<double, 3>& reach, double radius)
{
    NearTest test{FractionalBound(reach, radius), {}, std::numeric_limits<float>::infinity()};
    // A difference within the box has |d_i| <= bound_i, so each Cartesian component measured in
    // float is off by at most a few float roundings of sum_i bound_i |m_ij|; the margin is far
    // above that. Entries so large that float products could overflow get no sphere.
    double spread = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const double m = fractionalToCartesian(i, j);
            if (!(std::fabs(m) <= 1e15))
                return test;
            test.metric[static_cast<std::size_t>(i * 3 + j)] = static_cast<float>(m);
            spread += test.bound[static_cast<std::size_t>(i)] * std::fabs(m);
        }
    const double magnitude = std::fabs(radius);
    const double enlarged = (magnitude + 0x1p-16 * (spread + magnitude)) * (1.0 + 0x1p-16);
    const double limit = enlarged * enlarged;
    if (std::isnan(limit))
        test.limit = std::numeric_limits<float>::quiet_NaN();
    else if (limit < std::numeric_limits<float>::max())
        test.limit = std::nextafter(static_cast<float>(limit), std::numeric_limits<float>::infinity());
    return test;
}

} // namespace Tavrel
