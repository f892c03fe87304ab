// CellUtil: the frames in which cell parameters are laid into Cartesian space, and parameters from cell vectors.
#pragma once

#include <cstdint>

#include <tavrel/core/Point3d.h>

namespace Tavrel::CellUtil {

// The frame of a 3-D cell. Only OrientationDefault (which resolves to OrientationAAlongX),
// OrientationCAlongZ and OrientationAAlongX define a frame; the values 1 to 14 are refused by the
// cell, and any value from 15 is accepted and kept.
using CellOrientation = std::int32_t;
inline constexpr CellOrientation OrientationDefault = 0;
inline constexpr CellOrientation OrientationCAlongZ = 15;  // c along Z, b in the YZ plane
inline constexpr CellOrientation OrientationAAlongX = 18;  // a along X, b in the XY plane

// Lengths of the three vectors and the angles between them (degrees: alpha between vectors 1 and 2,
// beta between 0 and 2, gamma between 0 and 1); false as soon as a length is below FLT_EPSILON.
bool ParametersFromVectors(const Point3d vectors[3], double angles[3], double lengths[3]);

// The frame of a 2-D cell: A along X, B in the XY plane.
inline constexpr CellOrientation OrientationPlane = 3;

// The Cartesian cell vectors A, B, C of the frame as the columns of m, row by row:
// (A.x, B.x, C.x, A.y, B.y, C.y, A.z, B.z, C.z); components below FLT_EPSILON in magnitude become 0.
// A frame other than OrientationCAlongZ and OrientationAAlongX writes nothing.
void CellMatrixFromParameters(const double lengths[3], const double angles[3], double m[9], CellOrientation o);

// The plane cell vectors A = (U, 0, 0) and B = (V cos theta, V sin theta, 0) (theta in degrees;
// components below FLT_EPSILON in magnitude become 0) and N, the unit vector of B x A, as the columns
// of m, row by row: (A.x, B.x, N.x, A.y, B.y, N.y, A.z, B.z, N.z). Only OrientationPlane defines the
// frame; any other orientation writes nothing.
void PlaneCellMatrixFromParameters(const double lengths[2], double theta, double m[9], CellOrientation o);

} // namespace Tavrel::CellUtil
