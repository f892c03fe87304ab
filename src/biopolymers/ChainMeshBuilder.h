// ChainMeshBuilder: rods, ring slabs, spline tubes and arrow ribbons of the schematic chain displays.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/Color.h>
#include <tavrel/core/DisplayList3D.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/Point3d.h>

namespace Tavrel::ChainMeshBuilder {

// Operations without state: each adds core primitives for the points, colours, sizes and pick
// identifiers it is given. Every tube, ribbon and slab face is one triangle mesh. Every normal is of
// unit length: where the geometry gives none (straight or coinciding guide points, a zero radius) a
// neighbouring one, or any perpendicular, stands in.

// The unit vector of v; the fallback, made unit, when v has no direction.
Point3d UnitOr(const Point3d& v, const Point3d& fallback);
// Zero vectors take the nearest earlier non-zero one (leading ones the first non-zero one); when all
// are zero, the fallback made unit.
void FillZeroVectors(std::vector<Point3d>& vectors, const Point3d& fallback);
// A unit vector perpendicular to the first step between points that differ; (0, 0, 1) when all
// coincide.
Point3d AnyPerpendicular(std::span<const Point3d> points);

// Normal mode: a cylinder; fast mode: a line of width 2; any other mode: nothing.
void AddRodSegment(const Point3d& from, const Color& fromColor, const Point3d& to, const Color& toColor,
                   double radius, std::uint32_t oid, DisplayList3D& list);

// A slab of half thickness t over a planar ring of n points. Normal mode: top and bottom meshes
// (n triangles each, opposite windings) and two side triangles per edge; other modes: three lines
// per edge.
void AddRingSlab(const Point3d::Array& ring, int n, double t, const Color& color, std::uint32_t oid,
                 DisplayList3D& list);

// A closed circular tube along the Hermite spline through n guide points (nothing for n < 2), for
// normal mode. With m spline samples it has (m + 2) * sides vertices and 2 * m * sides - 4
// triangles. Guide point j colours the rings around its sample (and gives them its identifier when
// guideOids is not empty); rings no band reaches take the nearest guide point's, and the end caps
// the end guide points'. option is Spline::GetHermiteSpline's.
void AddSplineTube(const Point3d::Array& guides, const ColorArray& colors, int n, const Point3d* startTangent,
                   const Point3d* endTangent, int samplesPerSpan, int sides, double radius, double weight, int option,
                   std::uint32_t oid, const OIDArray& guideOids, DisplayList3D& list);

// A flat ribbon of half width c and half thickness d along n guide points, ending in an arrow head
// of half width b over the last span: tangent length a, e samples per span (at least 3), f rounds of
// smoothing of the guide points (in place). Fast mode adds its lines in the colour; otherwise the
// vertices (colours left to the caller) and triangles are written to the outputs. Nothing for
// n < 3 or e < 3.
void BuildArrowRibbonMesh(Point3d::Array& guides, int n, double a, double b, double c, double d, int e, int f,
                          const Color& color, std::uint32_t oid, DisplayList3D& list,
                          std::vector<VertexNormal>& vertices, std::vector<TriangleIndex>& triangles);

// The ribbon as one mesh in one colour.
void AddArrowRibbon(Point3d::Array& guides, int n, double a, double b, double c, double d, int e, int f,
                    const Color& color, std::uint32_t oid, DisplayList3D& list);

// The ribbon as one mesh whose vertices within 3.75 of a (smoothed) guide point take its colour and
// identifier, a later guide point winning; the others take the nearest guide point's. Fast mode: the
// lines in white.
void AddColoredArrowRibbon(Point3d::Array& guides, int n, double a, double b, double c, double d, int e, int f,
                           const ColorArray& colors, std::uint32_t oid, const OIDArray& guideOids,
                           DisplayList3D& list);

} // namespace Tavrel::ChainMeshBuilder
