#include <tavrel/core/GraphicsPrimitives.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <stdexcept>
#include <utility>

namespace Tavrel {

namespace {

constexpr int maximumArcSegments = 3600;

// Double-precision vector for the geometry below.
struct Vec {
    double x, y, z;
};

Vec ToVec(const Point3d& p) { return {p.x, p.y, p.z}; }
Vec operator-(const Vec& a, const Vec& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator+(const Vec& a, const Vec& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator*(const Vec& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Cross(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Length(const Vec& a) { return std::sqrt(Dot(a, a)); }

const Point3d& Clamped(const Point3d* vertices, int count, int index)
{
    return vertices[std::clamp(index, 0, count - 1)];
}

// Convex hull by incremental construction: outward-wound triangles over indices into the points.
class ConvexHull {
public:
    struct Face {
        int a, b, c;
        Vec normal; // unit, outward
        double offset;
        bool alive;
    };

    ConvexHull(const std::vector<Vec>& points, double tolerance) : m_points(points), m_tolerance(tolerance) {}

    // False when the points do not span three dimensions.
    bool Build()
    {
        const int n = static_cast<int>(m_points.size());
        const Vec& p0 = m_points[0];
        const int i1 = ArgMax([&](const Vec& p) { return Length(p - p0); });
        const Vec line = m_points[static_cast<std::size_t>(i1)] - p0;
        if (Length(line) <= m_tolerance)
            return false;
        const Vec lineUnit = line * (1.0 / Length(line));
        const int i2 = ArgMax([&](const Vec& p) { return Length(Cross(p - p0, lineUnit)); });
        const Vec planeNormal = Cross(line, m_points[static_cast<std::size_t>(i2)] - p0);
        if (Length(Cross(m_points[static_cast<std::size_t>(i2)] - p0, lineUnit)) <= m_tolerance)
            return false;
        const Vec planeUnit = planeNormal * (1.0 / Length(planeNormal));
        const int i3 = ArgMax([&](const Vec& p) { return std::fabs(Dot(p - p0, planeUnit)); });
        if (std::fabs(Dot(m_points[static_cast<std::size_t>(i3)] - p0, planeUnit)) <= m_tolerance)
            return false;

        const int simplex[4] = {0, i1, i2, i3};
        m_interior = (p0 + m_points[static_cast<std::size_t>(i1)] + m_points[static_cast<std::size_t>(i2)] +
                      m_points[static_cast<std::size_t>(i3)]) *
                     0.25;
        AddOrientedFace(simplex[0], simplex[1], simplex[2]);
        AddOrientedFace(simplex[0], simplex[1], simplex[3]);
        AddOrientedFace(simplex[0], simplex[2], simplex[3]);
        AddOrientedFace(simplex[1], simplex[2], simplex[3]);

        for (int k = 0; k < n; ++k) {
            if (std::find(std::begin(simplex), std::end(simplex), k) == std::end(simplex))
                AddPoint(k);
        }
        return true;
    }

    const std::vector<Face>& GetFaces() const { return m_faces; }

private:
    template <class Measure>
    int ArgMax(Measure measure) const
    {
        int best = 0;
        double bestValue = -1.0;
        for (std::size_t i = 0; i < m_points.size(); ++i) {
            const double value = measure(m_points[i]);
            if (value > bestValue) {
                bestValue = value;
                best = static_cast<int>(i);
            }
        }
        return best;
    }

    void AddFace(int a, int b, int c)
    {
        const Vec& pa = m_points[static_cast<std::size_t>(a)];
        Vec normal = Cross(m_points[static_cast<std::size_t>(b)] - pa, m_points[static_cast<std::size_t>(c)] - pa);
        const double length = Length(normal);
        normal = length > 0.0 ? normal * (1.0 / length) : Vec{0.0, 0.0, 0.0};
        m_faces.push_back({a, b, c, normal, Dot(normal, pa), true});
    }

    // Winds the face so that the interior lies behind it.
    void AddOrientedFace(int a, int b, int c)
    {
        AddFace(a, b, c);
        Face& face = m_faces.back();
        if (Dot(face.normal, m_interior) > face.offset) {
            m_faces.pop_back();
            AddFace(a, c, b);
        }
    }

    void AddPoint(int k)
    {
        const Vec& p = m_points[static_cast<std::size_t>(k)];
        std::set<std::pair<int, int>> edges;
        std::vector<std::size_t> visible;
        for (std::size_t f = 0; f < m_faces.size(); ++f) {
            const Face& face = m_faces[f];
            if (face.alive && Dot(face.normal, p) - face.offset > m_tolerance) {
                visible.push_back(f);
                edges.insert({face.a, face.b});
                edges.insert({face.b, face.c});
                edges.insert({face.c, face.a});
            }
        }
        if (visible.empty())
            return;
        for (const std::size_t f : visible)
            m_faces[f].alive = false;
        // Horizon edges border exactly one visible face; the new faces keep their winding.
        for (const auto& [a, b] : edges) {
            if (!edges.contains({b, a}))
                AddFace(a, b, k);
        }
    }

    const std::vector<Vec>& m_points;
    double m_tolerance;
    Vec m_interior{0.0, 0.0, 0.0};
    std::vector<Face> m_faces;
};

} // namespace

// Pick identifiers

PickIds::PickIds(std::initializer_list<std::uint32_t> oids)
    : m_count(static_cast<std::uint32_t>(oids.size())), m_inPlace{0, 0, 0}
{
    if (oids.size() > InPlace)
        m_more = std::make_unique<std::uint32_t[]>(oids.size());
    std::copy(oids.begin(), oids.end(), m_more ? m_more.get() : m_inPlace.data());
}

PickIds::PickIds(const PickIds& other) : m_count(other.m_count), m_inPlace(other.m_inPlace)
{
    if (other.m_more) {
        m_more = std::make_unique<std::uint32_t[]>(m_count);
        std::copy_n(other.m_more.get(), m_count, m_more.get());
    }
}

PickIds::PickIds(PickIds&& other) noexcept
    : m_count(std::exchange(other.m_count, 0)), m_inPlace(other.m_inPlace), m_more(std::move(other.m_more))
{
}

PickIds& PickIds::operator=(PickIds other) noexcept
{
    m_count = std::exchange(other.m_count, 0);
    m_inPlace = other.m_inPlace;
    m_more = std::move(other.m_more);
    return *this;
}

// Primitive

Primitive::Primitive(PrimitiveType type, const Color& color, PickIds ids)
    : m_type(type), m_color(color), m_ids(std::move(ids))
{
}

bool Primitive::IsLit() const
{
    switch (m_type) {
    case PrimitiveType::Sphere:
    case PrimitiveType::Cylinder:
    case PrimitiveType::Cone:
    case PrimitiveType::Triangle:
    case PrimitiveType::TriangleMesh:
    case PrimitiveType::Tetrahedron:
        return true;
    default:
        return false;
    }
}

void Primitive::AppendPickDots(std::vector<PickDot>& dots) const
{
    for (const Point3d& point : GetPickPoints())
        dots.push_back({point, GetOID()});
}

// Lines

LinePrimitive::LinePrimitive(const Point3d& from, const Color& fromColor, const Point3d& to, const Color& toColor,
                             double width, PickIds ids)
    : PrimitiveOf(fromColor, std::move(ids)), m_from(from), m_to(to), m_toColor(toColor), m_width(width)
{
}

LinePrimitive::LinePrimitive(const Point3d& from, const Point3d& to, const Color& color, double width, PickIds ids)
    : LinePrimitive(from, color, to, color, width, std::move(ids))
{
}

void LinePrimitive::SetColor(const Color& color)
{
    Primitive::SetColor(color);
    m_toColor = color;
}

void LinePrimitive::SetDashes(int dashes, bool dashed)
{
    m_dashes = dashes;
    m_dashed = dashed;
}

DashedLinePrimitive::DashedLinePrimitive(const Point3d& from, const Color& fromColor, const Point3d& to,
                                         const Color& toColor, double width, PickIds ids, int dashes, bool dashed)
    : LinePrimitive(from, fromColor, to, toColor, width, std::move(ids))
{
    SetDashes(dashes, dashed);
}

DashedLinePrimitive::DashedLinePrimitive(const Point3d& from, const Point3d& to, const Color& color, double width,
                                         PickIds ids, int dashes, bool dashed)
    : DashedLinePrimitive(from, color, to, color, width, std::move(ids), dashes, dashed)
{
}

// Arc

ArcPrimitive::ArcPrimitive(const Point3d& centre, const Point3d& axis, const Point3d& start, double degrees,
                           int segments, const Color& color, double width, PickIds ids)
    : PrimitiveOf(color, std::move(ids)), m_centre(centre), m_axis(axis), m_start(start), m_degrees(degrees),
      m_segments(segments), m_width(width)
{
}

std::array<ArcPrimitive, 3> ArcPrimitive::Cage(const Point3d& centre, double radius, int segments, const Color& color,
                                               double width, const PickIds& ids)
{
    return {ArcPrimitive(centre, Point3d::jVector, centre + radius * Point3d::iVector, 360.0, segments, color, width, ids),
            ArcPrimitive(centre, Point3d::kVector, centre + radius * Point3d::iVector, 360.0, segments, color, width, ids),
            ArcPrimitive(centre, Point3d::iVector, centre + radius * Point3d::jVector, 360.0, segments, color, width, ids)};
}

std::vector<Point3d> ArcPrimitive::GetPoints() const
{
    const int segments = std::clamp(m_segments, 1, maximumArcSegments);
    const Vec centre = ToVec(m_centre);
    const Vec radial = ToVec(m_start) - centre;
    const Vec axis = ToVec(m_axis);
    const double axisLength = Length(axis);
    const double sweep = std::isfinite(m_degrees) ? m_degrees * std::numbers::pi / 180.0 : 0.0;

    std::vector<Point3d> points;
    points.reserve(static_cast<std::size_t>(segments) + 1);
    for (int i = 0; i <= segments; ++i) {
        if (!(axisLength > 0.0)) {
            points.push_back(m_start);
            continue;
        }
        // Rodrigues' rotation of the radius about the unit axis.
        const Vec k = axis * (1.0 / axisLength);
        const double angle = sweep * i / segments;
        const double c = std::cos(angle);
        const double s = std::sin(angle);
        const Vec turned = radial * c + Cross(k, radial) * s + k * (Dot(k, radial) * (1.0 - c));
        const Vec p = centre + turned;
        points.emplace_back(p.x, p.y, p.z);
    }
    return points;
}

// Solids

SpherePrimitive::SpherePrimitive(const Point3d& centre, double radius, const Color& color, PickIds ids)
    : PrimitiveOf(color, std::move(ids)), m_centre(centre), m_radius(radius)
{
}

CylinderPrimitive::CylinderPrimitive(const Point3d& from, const Color& fromColor, const Point3d& to,
                                     const Color& toColor, double radius, PickIds ids)
    : PrimitiveOf(fromColor, std::move(ids)), m_from(from), m_to(to), m_toColor(toColor), m_radius(radius)
{
}

CylinderPrimitive::CylinderPrimitive(const Point3d& from, const Point3d& to, const Color& color, double radius,
                                     PickIds ids)
    : CylinderPrimitive(from, color, to, color, radius, std::move(ids))
{
}

void CylinderPrimitive::SetColor(const Color& color)
{
    Primitive::SetColor(color);
    m_toColor = color;
}

ConePrimitive::ConePrimitive(const Point3d& base, const Color& baseColor, const Point3d& apex, const Color& apexColor,
                             double radius, PickIds ids)
    : PrimitiveOf(baseColor, std::move(ids)), m_base(base), m_apex(apex), m_apexColor(apexColor), m_radius(radius)
{
}

ConePrimitive::ConePrimitive(const Point3d& base, const Point3d& apex, const Color& color, double radius, PickIds ids)
    : ConePrimitive(base, color, apex, color, radius, std::move(ids))
{
}

void ConePrimitive::SetColor(const Color& color)
{
    Primitive::SetColor(color);
    m_apexColor = color;
}

TrianglePrimitive::TrianglePrimitive(const Point3d& a, const Point3d& b, const Point3d& c, const Point3d& normal,
                                     const Color& color, PickIds ids)
    : PrimitiveOf(color, std::move(ids)), m_vertices{a, b, c}, m_normal(normal)
{
}

const Point3d& TrianglePrimitive::GetVertex(int index) const { return Clamped(m_vertices, 3, index); }

// Mesh

TriangleMeshPrimitive::TriangleMeshPrimitive(std::vector<VertexNormal> vertices, std::vector<TriangleIndex> triangles,
                                             std::uint32_t oid, OIDArray vertexOids)
    : PrimitiveOf(Color(), oid), m_vertices(std::move(vertices)), m_triangles(std::move(triangles)),
      m_vertexOids(std::move(vertexOids))
{
    const auto valid = [this](std::int32_t index) {
        return index >= 0 && static_cast<std::size_t>(index) < m_vertices.size();
    };
    for (const TriangleIndex& triangle : m_triangles) {
        if (!valid(triangle.a) || !valid(triangle.b) || !valid(triangle.c))
            throw std::invalid_argument("TriangleMeshPrimitive: triangle index outside the vertex array");
    }
    if (!m_vertexOids.empty() && m_vertexOids.size() != m_vertices.size())
        throw std::invalid_argument("TriangleMeshPrimitive: per-vertex OIDs must be one per vertex");
}

TriangleMeshPrimitive::TriangleMeshPrimitive(std::vector<VertexNormal> vertices, std::vector<TriangleIndex> triangles,
                                             OIDArray vertexOids)
    : TriangleMeshPrimitive(std::move(vertices), std::move(triangles), 0, std::move(vertexOids))
{
}

std::vector<Point3d> TriangleMeshPrimitive::GetPickPoints() const
{
    std::vector<Point3d> points;
    points.reserve(m_vertices.size());
    for (const VertexNormal& vertex : m_vertices)
        points.push_back(vertex.position);
    return points;
}

void TriangleMeshPrimitive::AppendPickDots(std::vector<PickDot>& dots) const
{
    for (std::size_t i = 0; i < m_vertices.size(); ++i)
        dots.push_back({m_vertices[i].position, m_vertexOids.empty() ? GetOID() : m_vertexOids[i]});
}

// Tetrahedra

TetrahedronPrimitive::TetrahedronPrimitive(const Point3d& a, const Point3d& b, const Point3d& c, const Point3d& d,
                                           const Color& color, PickIds ids)
    : PrimitiveOf(color, std::move(ids)), m_vertices{a, b, c, d}
{
}

const Point3d& TetrahedronPrimitive::GetVertex(int index) const { return Clamped(m_vertices, 4, index); }

double TetrahedronPrimitive::GetVolume() const
{
    const Vec a = ToVec(m_vertices[0]);
    return Dot(Cross(ToVec(m_vertices[1]) - a, ToVec(m_vertices[2]) - a), ToVec(m_vertices[3]) - a) / 6.0;
}

void TetrahedronPrimitive::DecomposePolyhedron(std::vector<TetrahedronPrimitive>& tetrahedra,
                                               const Point3d::Array& points)
{
    tetrahedra.clear();
    std::vector<Vec> finite;
    std::vector<std::size_t> source;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Vec p = ToVec(points[i]);
        if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) {
            finite.push_back(p);
            source.push_back(i);
        }
    }
    if (finite.size() < 4)
        return;

    Vec low = finite.front();
    Vec high = finite.front();
    for (const Vec& p : finite) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    const double scale = Length(high - low);
    // Coordinates are single precision: distances below this are rounding noise.
    const double tolerance = 1e-6 * scale;
    ConvexHull hull(finite, tolerance);
    if (!(scale > 0.0) || !hull.Build())
        return;

    // Fan from one hull vertex: every face not touching it closes one tetrahedron with it.
    const std::vector<ConvexHull::Face>& faces = hull.GetFaces();
    const auto firstAlive = std::find_if(faces.begin(), faces.end(), [](const auto& f) { return f.alive; });
    const int apex = firstAlive->a;
    const Point3d& apexPoint = points[source[static_cast<std::size_t>(apex)]];
    const Vec apexVec = ToVec(apexPoint);
    for (const ConvexHull::Face& face : faces) {
        if (!face.alive || face.a == apex || face.b == apex || face.c == apex)
            continue;
        // Only a face whose plane holds the apex closes a flat tetrahedron; small ones still count.
        if (std::abs(Dot(face.normal, apexVec) - face.offset) <= tolerance)
            continue;
        // Outward winding a, b, c with the apex behind: a, c, b gives a positive volume.
        TetrahedronPrimitive tetrahedron(points[source[static_cast<std::size_t>(face.a)]],
                                         points[source[static_cast<std::size_t>(face.c)]],
                                         points[source[static_cast<std::size_t>(face.b)]], apexPoint, Color(), 0);
        tetrahedra.push_back(std::move(tetrahedron));
    }
}

// Unlit marks

DotPrimitive::DotPrimitive(const Point3d& position, const Color& color, double size, PickIds ids)
    : PrimitiveOf(color, std::move(ids)), m_position(position), m_size(size)
{
}

UnlitPointPrimitive::UnlitPointPrimitive(const Point3d& position, const Color& color, PickIds ids)
    : PrimitiveOf(color, std::move(ids)), m_position(position)
{
}

Rect2DPrimitive::Rect2DPrimitive(const Point3d& position, const Color& color, double width, double height,
                                 PickIds ids)
    : PrimitiveOf(color, std::move(ids)), m_position(position), m_width(width), m_height(height)
{
}

Text3DPrimitive::Text3DPrimitive(std::string_view text, const Point3d& position, double size, const Color& color,
                                 const Font& font, PickIds ids)
    : PrimitiveOf(color, std::move(ids)), m_text(text), m_position(position), m_size(size), m_font(font)
{
}

Text3DPrimitive::Text3DPrimitive(std::string_view text, const Point3d& position, const Color& color, PickIds ids)
    : Text3DPrimitive(text, position, 0.0, color, Font::DefaultFont(), std::move(ids))
{
}

} // namespace Tavrel
