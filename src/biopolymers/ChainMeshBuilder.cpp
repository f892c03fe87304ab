#include <tavrel/biopolymers/ChainMeshBuilder.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <span>
#include <utility>

#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/NeighborList.h>
#include <tavrel/core/Spline.h>

namespace Tavrel::ChainMeshBuilder {

namespace {

bool IsZero(const Point3d& v)
{
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

Point3d Unit(const Point3d& v)
{
    return UnitOr(v, Point3d());
}

TriangleIndex Triangle(std::size_t a, std::size_t b, std::size_t c)
{
    return {static_cast<std::int32_t>(a), static_cast<std::int32_t>(b), static_cast<std::int32_t>(c)};
}

Color ColorAt(const ColorArray& colors, int j)
{
    return j >= 0 && static_cast<std::size_t>(j) < colors.size() ? colors[static_cast<std::size_t>(j)] : Color::White();
}

std::uint32_t OidAt(const OIDArray& oids, int j, std::uint32_t fallback)
{
    return j >= 0 && static_cast<std::size_t>(j) < oids.size() ? oids[static_cast<std::size_t>(j)] : fallback;
}

} // namespace

Point3d UnitOr(const Point3d& v, const Point3d& fallback)
{
    Point3d unit = v;
    unit.Normalize();
    if (!IsZero(unit))
        return unit;
    unit = fallback;
    unit.Normalize();
    return unit;
}

void FillZeroVectors(std::vector<Point3d>& vectors, const Point3d& fallback)
{
    const auto first = std::find_if(vectors.begin(), vectors.end(), [](const Point3d& v) { return !IsZero(v); });
    Point3d last = first == vectors.end() ? Unit(fallback) : *first;
    for (Point3d& v : vectors) {
        if (IsZero(v))
            v = last;
        else
            last = v;
    }
}

Point3d AnyPerpendicular(std::span<const Point3d> points)
{
    for (std::size_t i = 1; i < points.size(); ++i) {
        const Point3d step = points[i] - points[i - 1];
        if (!IsZero(step))
            return step.Normal();
    }
    return Point3d(0.0, 0.0, 1.0);
}

void AddRodSegment(const Point3d& from, const Color& fromColor, const Point3d& to, const Color& toColor,
                   double radius, std::uint32_t oid, DisplayList3D& list)
{
    if (list.GetMode() == DisplayList3D::normalMode)
        list.Add(CylinderPrimitive(from, fromColor, to, toColor, radius, oid));
    else if (list.GetMode() == DisplayList3D::fastMode)
        list.Add(LinePrimitive(from, fromColor, to, toColor, 2.0, oid));
}

void AddRingSlab(const Point3d::Array& ring, int n, double t, const Color& color, std::uint32_t oid,
                 DisplayList3D& list)
{
    if (n <= 0 || ring.size() < static_cast<std::size_t>(n))
        return;
    const auto count = static_cast<std::size_t>(n);
    Point3d centroid;
    for (std::size_t i = 0; i < count; ++i)
        centroid += ring[i];
    centroid /= static_cast<double>(n);

    std::vector<Point3d> points(count);
    for (std::size_t i = 0; i < count; ++i)
        points[i] = ring[i] + Unit(ring[i] - centroid) * (t * 0.5);
    std::vector<Point3d> normals(count);
    for (std::size_t i = 0; i < count; ++i)
        normals[i] = Normal(points[i], points[(i + count - 1) % count], points[(i + 1) % count]);
    FillZeroVectors(normals, AnyPerpendicular(points));
    for (std::size_t i = 1; i < count; ++i) {
        if (normals[i].Dot(normals[i - 1]) < 0.0)
            normals[i] = -normals[i];
    }
    Point3d sum;
    for (const Point3d& normal : normals)
        sum += normal;
    const Point3d centreNormal = UnitOr(sum, normals[0]);

    if (list.GetMode() != DisplayList3D::normalMode) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t j = (i + 1) % count;
            const Point3d oi = normals[i] * t;
            const Point3d oj = normals[j] * t;
            list.Add(LinePrimitive(points[i] + oi, color, points[j] + oj, color, 1.0, oid));
            list.Add(LinePrimitive(points[i] - oi, color, points[j] - oj, color, 1.0, oid));
            list.Add(LinePrimitive(points[i] + oi, color, points[i] - oi, color, 1.0, oid));
        }
        return;
    }

    // The two faces, each t from the mid plane along its normals.
    for (const double side : {1.0, -1.0}) {
        std::vector<VertexNormal> vertices(count + 1);
        std::vector<TriangleIndex> triangles(count);
        for (std::size_t i = 0; i <= count; ++i) {
            const Point3d normal = (i < count ? normals[i] : centreNormal) * side;
            const Point3d& at = i < count ? points[i] : centroid;
            vertices[i] = {at + normal * t, color, normal};
        }
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t next = (i + 1) % count;
            triangles[i] = side > 0.0 ? Triangle(next, i, count) : Triangle(count, i, next);
        }
        list.Add(TriangleMeshPrimitive(std::move(vertices), std::move(triangles), oid));
    }
    // The side walls, two triangles per edge facing away from the centre.
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t j = (i + 1) % count;
        const Point3d upperI = points[i] + normals[i] * t;
        const Point3d lowerI = points[i] - normals[i] * t;
        const Point3d upperJ = points[j] + normals[j] * t;
        const Point3d lowerJ = points[j] - normals[j] * t;
        const Point3d outward = lowerI - centroid;
        const auto facing = [&outward](Point3d normal) { return normal.Dot(outward) < 0.0 ? -normal : normal; };
        const Point3d normal =
            UnitOr(facing(Normal(lowerI, upperI, lowerJ)) + facing(Normal(upperI, lowerJ, upperJ)), outward);
        list.Add(TrianglePrimitive(lowerI, upperI, lowerJ, normal, color, oid));
        list.Add(TrianglePrimitive(upperJ, lowerJ, upperI, normal, color, oid));
    }
}

void AddSplineTube(const Point3d::Array& guides, const ColorArray& colors, int n, const Point3d* startTangent,
                   const Point3d* endTangent, int samplesPerSpan, int sides, double radius, double weight, int option,
                   std::uint32_t oid, const OIDArray& guideOids, DisplayList3D& list)
{
    n = std::min(n, static_cast<int>(guides.size()));
    if (n < 2 || sides < 3)
        return;
    const Spline spline(Spline::Type::Hermite);
    Point3d::Array samples;
    const int m = spline.GetHermiteSpline(std::span<const Point3d>(guides.data(), static_cast<std::size_t>(n)), samples,
                                          startTangent, endTangent, option, samplesPerSpan, weight);
    if (m < 2)
        return;
    const auto s = static_cast<std::size_t>(sides);
    const auto rings = static_cast<std::size_t>(m);

    // The guide point colouring each ring: the bands around the guide points' samples, then the
    // nearest guide point for rings no band reaches.
    std::vector<int> owner(rings, -1);
    const int q = m / (n - 1);
    for (int j = 0; j < n; ++j) {
        const int low = std::max(j * q - q / 2, 0);
        const int high = std::min((j + 1) * q - q / 2, m);
        for (int r = low; r < high; ++r)
            owner[static_cast<std::size_t>(r)] = j;
    }
    for (std::size_t r = 0; r < rings; ++r) {
        if (owner[r] < 0)
            owner[r] = static_cast<int>(std::lround(static_cast<double>(r) * (n - 1) / (m - 1)));
    }

    std::vector<VertexNormal> vertices((rings + 2) * s);
    OIDArray vertexOids(guideOids.empty() ? 0 : vertices.size());
    const auto ringOf = [&](std::size_t ring, int guide) {
        for (std::size_t k = 0; k < s; ++k) {
            vertices[ring * s + k].color = ColorAt(colors, guide);
            if (!vertexOids.empty())
                vertexOids[ring * s + k] = OidAt(guideOids, guide, 0);
        }
    };

    // The frame is carried along the curve with the least twist.
    Point3d tangent(0.0, 0.0, 1.0);
    for (std::size_t i = 1; i < rings; ++i) {
        if (!IsZero(samples[i] - samples[i - 1])) {
            tangent = Unit(samples[i] - samples[i - 1]);
            break;
        }
    }
    Point3d v = tangent.Normal();
    Point3d w = Unit(tangent.Cross(v));
    v = Unit(v);
    const double step = 2.0 * std::numbers::pi / sides;
    const double sign = radius < 0.0 ? -1.0 : 1.0;
    for (std::size_t i = 0; i < rings; ++i) {
        const Point3d along = i == 0           ? samples[1] - samples[0]
                              : i + 1 == rings ? samples[i] - samples[i - 1]
                                               : samples[i + 1] - samples[i - 1];
        const Point3d next = UnitOr(along, tangent);
        Matrix3x3 turn;
        turn.SetRotation(tangent, next);
        turn.Transform(w);
        turn.Transform(v);
        w = Unit(next.Cross(Unit(v)));
        v = Unit(w.Cross(next));
        tangent = next;
        for (std::size_t k = 0; k < s; ++k) {
            const double angle = static_cast<double>(k) * step;
            const Point3d d = v * std::sin(angle) + w * std::cos(angle);
            vertices[i * s + k].position = samples[i] + d * radius;
            vertices[i * s + k].normal = d * sign;
        }
        ringOf(i, owner[i]);
    }
    // The caps repeat the end rings, facing away from the tube.
    const Point3d startNormal = UnitOr(samples[0] - samples[1], -tangent);
    const Point3d endNormal = UnitOr(samples[rings - 1] - samples[rings - 2], tangent);
    for (std::size_t k = 0; k < s; ++k) {
        vertices[rings * s + k].position = vertices[k].position;
        vertices[rings * s + k].normal = startNormal;
        vertices[(rings + 1) * s + k].position = vertices[(rings - 1) * s + k].position;
        vertices[(rings + 1) * s + k].normal = endNormal;
    }
    ringOf(rings, 0);
    ringOf(rings + 1, n - 1);

    std::vector<TriangleIndex> triangles;
    triangles.reserve(2 * rings * s - 4);
    for (std::size_t i = 0; i + 1 < rings; ++i) {
        for (std::size_t k = 0; k < s; ++k) {
            const std::size_t next = (k + 1) % s;
            triangles.push_back(Triangle(i * s + k, (i + 1) * s + k, i * s + next));
            triangles.push_back(Triangle((i + 1) * s + k, (i + 1) * s + next, i * s + next));
        }
    }
    for (std::size_t j = 0; j + 2 < s; ++j) {
        const std::size_t start = rings * s;
        triangles.push_back(Triangle(start, start + j + 1, start + j + 2));
    }
    for (std::size_t j = 0; j + 2 < s; ++j) {
        const std::size_t end = (rings + 1) * s;
        triangles.push_back(Triangle(end, end + j + 2, end + j + 1));
    }
    if (vertexOids.empty())
        list.Add(TriangleMeshPrimitive(std::move(vertices), std::move(triangles), oid));
    else
        list.Add(TriangleMeshPrimitive(std::move(vertices), std::move(triangles), std::move(vertexOids)));
}

void BuildArrowRibbonMesh(Point3d::Array& guides, int n, double a, double b, double c, double d, int e, int f,
                          const Color& color, std::uint32_t oid, DisplayList3D& list,
                          std::vector<VertexNormal>& vertices, std::vector<TriangleIndex>& triangles)
{
    vertices.clear();
    triangles.clear();
    n = std::min(n, static_cast<int>(guides.size()));
    if (n < 3 || e < 3)
        return;
    const auto count = static_cast<std::size_t>(n);
    Point3d::Array& p = guides;

    // Side vectors across the ribbon, kept on one side and smoothed; thickness vectors across it.
    std::vector<Point3d> side(count);
    for (std::size_t i = 1; i + 1 < count; ++i)
        side[i] = Unit((p[i] - p[i - 1]).Cross(p[i + 1] - p[i]));
    side[0] = side[1];
    side[count - 1] = side[count - 2];
    FillZeroVectors(side, AnyPerpendicular(std::span<const Point3d>(p.data(), count)));
    for (std::size_t i = 1; i < count; ++i) {
        if (side[i].Dot(side[i - 1]) < 0.0)
            side[i] = -side[i];
    }
    for (int round = 0; round < 3; ++round) {
        std::vector<Point3d> smoothed(count);
        for (std::size_t i = 1; i + 1 < count; ++i)
            smoothed[i] = Unit(side[i - 1] + side[i] + side[i + 1]);
        smoothed[0] = smoothed[1];
        smoothed[count - 1] = smoothed[count - 2];
        FillZeroVectors(smoothed, side[0]);
        side = std::move(smoothed);
    }
    std::vector<Point3d> thick(count);
    for (std::size_t i = 1; i + 1 < count; ++i)
        thick[i] = Unit((p[i + 1] - p[i - 1]).Cross(side[i]));
    thick[0] = thick[1];
    thick[count - 1] = thick[count - 2];
    FillZeroVectors(thick, side[0].Normal());
    for (int round = 0; round < f; ++round) {
        const Point3d::Array old(p.begin(), p.begin() + n);
        for (std::size_t i = 1; i + 1 < count; ++i)
            p[i] = (old[i] + (old[i - 1] + old[i + 1]) * 0.5) * 0.5;
    }

    if (list.GetMode() == DisplayList3D::fastMode) {
        const auto line = [&](const Point3d& from, const Point3d& to) {
            list.Add(LinePrimitive(from, to, color, 2.0, oid));
        };
        for (std::size_t i = 0; i + 1 < count; ++i) {
            line(p[i] - side[i] * c, p[i] + side[i] * c);
            line(p[i], p[i + 1]);
        }
        for (std::size_t i = 1; i + 1 < count; ++i) {
            line(p[i - 1] + side[i - 1] * c, p[i] + side[i] * c);
            line(p[i - 1] - side[i - 1] * c, p[i] - side[i] * c);
        }
        const std::size_t base = count - 2;
        line(p[count - 1], p[base] + side[base] * b);
        line(p[count - 1], p[base] - side[base] * b);
        line(p[base] + side[base] * b, p[base] + side[base] * c);
        line(p[base] - side[base] * b, p[base] - side[base] * c);
        return;
    }

    const auto sections = static_cast<std::size_t>((e - 1) * (n - 1));
    const auto bodySections = static_cast<std::size_t>((e - 1) * (n - 2));
    const std::size_t extra = 8 * sections;
    vertices.resize(8 * sections + 12);
    triangles.reserve(16 * sections + 36);

    Point3d startTangent = (p[1] - p[0]);
    startTangent = UnitOr(startTangent, side[0].Normal()) * a;
    std::size_t section = 0;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        const bool last = i + 2 == count;
        const bool nextToLast = i + 3 == count;
        const Point3d endTangent = UnitOr(last ? p[i + 1] - p[i] : p[i + 2] - p[i], startTangent) * a;
        const Point3d capNormal = -UnitOr(startTangent, p[i + 1] - p[i]);
        for (int s = 0; s + 1 < e; ++s, ++section) {
            double t = last || nextToLast ? static_cast<double>(s) / (e - 2) : static_cast<double>(s) / (e - 1);
            if (nextToLast && t > 0.99)
                t = 0.99;
            const Point3d centre = Spline::HermiteSingle(p[i], p[i + 1], startTangent, endTangent, t);
            const Point3d across = UnitOr(thick[i + 1] * t + thick[i] * (1.0 - t), thick[i]);
            const Point3d width = UnitOr(side[i + 1] * t + side[i] * (1.0 - t), side[i]);
            double w = c;
            if (last) {
                const double span = Distance(p[i], p[i + 1]);
                w = span > 0.0 ? b * Distance(centre, p[i + 1]) / span : 0.0;
            }
            for (const int sigma : {-1, 1}) {
                for (const int rho : {-1, 1}) {
                    const std::size_t lane = 2 * (sigma > 0) + (rho > 0);
                    const Point3d at = centre + width * (rho * w) + across * (sigma * d);
                    vertices[lane * sections + section] = {at, Color(), across * sigma};
                    vertices[(4 + lane) * sections + section] = {at, Color(), side[i] * rho};
                    if (section == 0)
                        vertices[extra + lane] = {at, Color(), capNormal};
                    if (nextToLast && s + 2 == e)
                        vertices[extra + (rho < 0 ? 4 : 8) + (sigma > 0)] = {at, Color(), capNormal};
                    if (last && s == 0)
                        vertices[extra + (rho < 0 ? 6 : 10) + (sigma > 0)] = {at, Color(), capNormal};
                }
            }
        }
        startTangent = endTangent;
    }

    // The flat faces.
    for (std::size_t k = 0; k + 1 < sections; ++k) {
        std::size_t lower = k;
        std::size_t upper = lower + sections;
        triangles.push_back(Triangle(lower, upper, lower + 1));
        triangles.push_back(Triangle(upper + 1, lower + 1, upper));
        lower = 2 * sections + k;
        upper = lower + sections;
        triangles.push_back(Triangle(lower, lower + 1, upper));
        triangles.push_back(Triangle(upper + 1, upper, lower + 1));
    }
    // The side faces; over the head each triangle is shaded by its own face.
    const auto sideFaces = [&](std::size_t k, bool faceted) {
        const std::size_t first = triangles.size();
        std::size_t low = 4 * sections + k;
        std::size_t high = low + 2 * sections;
        triangles.push_back(Triangle(low, low + 1, high));
        triangles.push_back(Triangle(low + 1, high + 1, high));
        low = 5 * sections + k;
        high = low + 2 * sections;
        triangles.push_back(Triangle(low, high, low + 1));
        triangles.push_back(Triangle(low + 1, high, high + 1));
        if (!faceted)
            return;
        for (std::size_t index = first; index < triangles.size(); ++index) {
            const TriangleIndex& tri = triangles[index];
            VertexNormal& v0 = vertices[static_cast<std::size_t>(tri.a)];
            VertexNormal& v1 = vertices[static_cast<std::size_t>(tri.b)];
            VertexNormal& v2 = vertices[static_cast<std::size_t>(tri.c)];
            Point3d normal = Normal(v0.position, v1.position, v2.position);
            if (IsZero(normal))
                continue;
            if (normal.Dot(v0.normal) < 0.0)
                normal = -normal;
            v0.normal = v1.normal = v2.normal = normal;
        }
    };
    for (std::size_t k = 0; k + 2 <= bodySections; ++k)
        sideFaces(k, false);
    for (std::size_t k = bodySections; k + 1 < sections; ++k)
        sideFaces(k, true);
    // The start cap and the two wings at the head's base.
    for (const std::size_t q : {extra, extra + 4}) {
        triangles.push_back(Triangle(q, q + 2, q + 1));
        triangles.push_back(Triangle(q + 1, q + 2, q + 3));
    }
    const std::size_t right = extra + 8;
    triangles.push_back(Triangle(right, right + 1, right + 2));
    triangles.push_back(Triangle(right + 1, right + 3, right + 2));
}

void AddArrowRibbon(Point3d::Array& guides, int n, double a, double b, double c, double d, int e, int f,
                    const Color& color, std::uint32_t oid, DisplayList3D& list)
{
    std::vector<VertexNormal> vertices;
    std::vector<TriangleIndex> triangles;
    BuildArrowRibbonMesh(guides, n, a, b, c, d, e, f, color, oid, list, vertices, triangles);
    if (vertices.empty())
        return;
    for (VertexNormal& vertex : vertices)
        vertex.color = color;
    list.Add(TriangleMeshPrimitive(std::move(vertices), std::move(triangles), oid));
}

void AddColoredArrowRibbon(Point3d::Array& guides, int n, double a, double b, double c, double d, int e, int f,
                           const ColorArray& colors, std::uint32_t oid, const OIDArray& guideOids,
                           DisplayList3D& list)
{
    std::vector<VertexNormal> vertices;
    std::vector<TriangleIndex> triangles;
    BuildArrowRibbonMesh(guides, n, a, b, c, d, e, f, Color::White(), oid, list, vertices, triangles);
    if (vertices.empty())
        return;
    n = std::min(n, static_cast<int>(guides.size()));

    // The guide point of each vertex: the last one within reach, else the nearest of those around
    // the vertex's cross section.
    std::vector<Point3d> positions(vertices.size());
    std::transform(vertices.begin(), vertices.end(), positions.begin(),
                   [](const VertexNormal& vertex) { return vertex.position; });
    const NeighborList reach(3.75, positions);
    std::vector<int> owner(vertices.size(), -1);
    IntArray found;
    for (int j = 0; j < n; ++j) {
        found.clear();
        reach.GetNeighbors(guides[static_cast<std::size_t>(j)], 3.75, found);
        for (const std::int32_t vertex : found)
            owner[static_cast<std::size_t>(vertex)] = j;
    }
    const std::size_t sections = static_cast<std::size_t>((e - 1) * (n - 1));
    for (std::size_t v = 0; v < vertices.size(); ++v) {
        if (owner[v] >= 0)
            continue;
        // The caps lie at the ends of the first and the next-to-last span.
        const int span = v < 8 * sections ? std::min(static_cast<int>(v % sections) / (e - 1), n - 2)
                                          : (v - 8 * sections < 4 ? 0 : n - 2);
        double best = 0.0;
        for (int j = std::max(span - 1, 0); j <= std::min(span + 2, n - 1); ++j) {
            const double distance = Distance2(vertices[v].position, guides[static_cast<std::size_t>(j)]);
            if (owner[v] < 0 || distance < best) {
                owner[v] = j;
                best = distance;
            }
        }
    }
    OIDArray vertexOids(vertices.size());
    for (std::size_t v = 0; v < vertices.size(); ++v) {
        vertices[v].color = ColorAt(colors, owner[v]);
        vertexOids[v] = OidAt(guideOids, owner[v], oid);
    }
    list.Add(TriangleMeshPrimitive(std::move(vertices), std::move(triangles), std::move(vertexOids)));
}

} // namespace Tavrel::ChainMeshBuilder
