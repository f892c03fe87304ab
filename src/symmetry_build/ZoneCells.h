// ZoneCells: the lattice cells that bring a point within a radius of any of a list of zone points.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <tavrel/core/Point3d.h>

namespace Tavrel {

class Matrix3x3;

// Distances within this many angstroms of the radius count as inside, so that points exactly on
// the sphere are kept despite rounding.
inline constexpr double ZoneDistanceTolerance = 1.0e-4;

using LatticeCell = std::array<std::int32_t, 3>;

// Every cell t (whole lattice translations along the rows A, B, C of fractionalToCartesian) such
// that image + t lies within radius of at least one zone point, added to cells, which is kept sorted
// and free of repeats. False, with cells as it was, when the radius is negative or not finite, or
// when the cells to search for all zone points would exceed budget (counted from above, point by
// point, before any cell of the point is made) or the 32-bit range.
bool FindZoneCells(const Matrix3x3& fractionalToCartesian, const std::array<double, 3>& image,
                   const Point3d::Array& points, double radius, std::int64_t budget,
                   std::vector<LatticeCell>& cells);

} // namespace Tavrel
