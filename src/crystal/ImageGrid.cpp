#include <tavrel/crystal/ImageGrid.h>

#include <algorithm>

namespace Tavrel {

ImageGrid::ImageGrid(const Point3d& low, const Point3d& high, std::size_t expectedPoints, double radius)
{
    const double lows[3] = {low.x, low.y, low.z};
    const double highs[3] = {high.x, high.y, high.z};
    double extent[3];
    for (int axis = 0; axis < 3; ++axis) {
        const bool usable = std::isfinite(lows[axis]) && std::isfinite(highs[axis]) && highs[axis] >= lows[axis];
        m_low[static_cast<std::size_t>(axis)] = usable ? lows[axis] : 0.0;
        extent[axis] = usable ? highs[axis] - lows[axis] : 0.0;
    }
    // About one cell per point, never narrower than twice the radius; at most a few cells per point.
    const double volume = std::max(extent[0], 1e-9) * std::max(extent[1], 1e-9) * std::max(extent[2], 1e-9);
    const double points = static_cast<double>(std::max<std::size_t>(expectedPoints, 1));
    double size = std::cbrt(volume / points);
    if (radius > 0.0 && std::isfinite(radius))
        size = std::max(size, 2.0 * radius);
    const double limit = 4.0 * points + 64.0;
    for (;;) {
        double cells = 1.0;
        for (int axis = 0; axis < 3; ++axis)
            cells *= std::floor(extent[axis] / size) + 1.0;
        if (cells <= limit && size > 0.0)
            break;
        size = size > 0.0 ? size * 1.25 : 1.0;
    }
    for (int axis = 0; axis < 3; ++axis) {
        m_cells[static_cast<std::size_t>(axis)] = static_cast<int>(std::floor(extent[axis] / size)) + 1;
        m_lastCell[static_cast<std::size_t>(axis)] = m_cells[static_cast<std::size_t>(axis)] - 1;
    }
    m_inverseSize = 1.0 / size;
    m_heads.assign(static_cast<std::size_t>(m_cells[0]) * m_cells[1] * m_cells[2], None);
}

} // namespace Tavrel
