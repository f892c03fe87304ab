// FractionalCoordinates: operation matrices compared modulo the lattice, and fractional points wrapped and rounded.
#pragma once

#include <array>
#include <cstdint>

#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/Point3d.h>

namespace Tavrel {

// Operations are row-vector Matrix4x4 values of fractional coordinates: the rotation in rows and
// columns 0 to 2, the translation in row 3. Every element comparison is absolute and strict against
// this tolerance.
inline constexpr double operationTolerance = 0.001;

// Equal within the tolerance once the translation difference is reduced by its nearest whole
// lattice translation: operations that differ by (1, -1, 0) are equal, by 0.5 are not.
bool EqualModuloLattice(const Matrix4x4& a, const Matrix4x4& b);
// Equal within the tolerance element by element.
bool EqualWithinTolerance(const Matrix4x4& a, const Matrix4x4& b);
// The exact inverse of an affine operation (rotation by cofactors, translation carried through);
// false with the null matrix when the rotation's determinant is exactly 0.
bool InvertAffine(const Matrix4x4& m, Matrix4x4& inverse);
// Every element 0.
Matrix4x4 NullMatrix();

// floor(x) as an int; false when x is not a number or floor(x) lies beyond the int range.
bool FloorToInt32(double x, std::int32_t& result);

// Rounding to a lattice translation is always floor(x + 0.5).
// Each component x - floor(x) as a float, in [0, 1): a result that rounds to 1.0 or is not a number
// becomes 0.
Point3d WrapToUnitCell(const Point3d& p);
// floor(p - WrapToUnitCell(p) + 0.5): the whole translation from the wrapped point back to p.
Point3d GetLatticeShift(const Point3d& p);
// floor(b - a + 0.5): the nearest whole translation taking a towards b.
Point3d GetNearestLatticeDifference(const Point3d& a, const Point3d& b);
// floor(x + 0.5) per component.
Point3d RoundToLattice(const Point3d& p);
// x - floor(x + 0.5) per component, in [-0.5, 0.5).
Point3d ReduceToNearestImage(const Point3d& p);
// The fractional width along each axis of a sphere of radius r: 2 r |column i| of the
// Cartesian-to-fractional matrix.
std::array<double, 3> GetAxisExtents(const Matrix3x3& cartesianToFractional, double r);

} // namespace Tavrel
