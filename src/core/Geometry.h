// Geometry: angles, dihedrals, rigid least-squares fitting and planarity of point sets.
#pragma once

#include <tavrel/core/Point3d.h>

namespace Tavrel {

// The angle a-b-c at b, in degrees [0, 180]; 0 when either arm has zero length.
double Angle(const Point3d& a, const Point3d& b, const Point3d& c);

// The dihedral a-b-c-d in degrees (-180, 180], signed by the IUPAC convention: looking along b→c,
// positive when a-b must turn clockwise to eclipse c-d. 0 when three of the points are collinear.
double Dihedral(const Point3d& a, const Point3d& b, const Point3d& c, const Point3d& d);
// Another name for Dihedral.
inline double Torsion(const Point3d& a, const Point3d& b, const Point3d& c, const Point3d& d)
{
    return Dihedral(a, b, c, d);
}

// Finds the rigid motion (rotation and translation) that best superposes `from` onto `to` in the
// least-squares sense, applies it to every point of `points` (which may be `from` itself) and returns
// the RMS deviation between the moved `from` points and `to`. Empty input leaves the points where
// they are and returns 0; one point gives a pure translation; two or collinear points leave the turn
// about their line at its least change. Throws std::invalid_argument when the sizes differ.
double RMSBestFit(const Point3d::Array& from, const Point3d::Array& to, Point3d::Array& points);

// True when every point lies within tolerance of the least-squares plane through the points.
// Three points or fewer are always planar.
bool IsPlanar(const Point3d::Array& points, double tolerance);

} // namespace Tavrel
