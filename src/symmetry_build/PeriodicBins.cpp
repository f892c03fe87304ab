#include <tavrel/symmetry_build/PeriodicBins.h>

#include <cmath>

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

} // namespace Tavrel
