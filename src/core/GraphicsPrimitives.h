// Graphics primitives: the drawable shapes that model objects add to a DisplayList3D.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/Color.h>
#include <tavrel/core/Font.h>
#include <tavrel/core/Point3d.h>

namespace Tavrel {

enum class PrimitiveType {
    Line,
    Arc,
    Sphere,
    Cylinder,
    Cone,
    Triangle,
    TriangleMesh,
    Tetrahedron,
    Dot,
    UnlitPoint,
    Rect2D,
    Text3D,
};

// A point at which the host can pick an object, and the OID picked there.
struct PickDot {
    Point3d position;
    std::uint32_t oid;
};

// The pick identifiers a primitive carries: one OID ("oid") or several ("{atomOid, bondOid}"), in the
// order given. Up to three are held in place, so that most primitives take no heap block for them.
class PickIds {
public:
    PickIds() : PickIds(0u) {}
    PickIds(std::uint32_t oid) : m_count(1), m_inPlace{oid, 0, 0} {}
    PickIds(std::initializer_list<std::uint32_t> oids);
    PickIds(const PickIds& other);
    // The source is left without identifiers.
    PickIds(PickIds&& other) noexcept;
    PickIds& operator=(PickIds other) noexcept;
    ~PickIds() = default;

    std::span<const std::uint32_t> Get() const { return {Data(), m_count}; }

private:
    static constexpr std::size_t InPlace = 3;

    const std::uint32_t* Data() const { return m_count > InPlace ? m_more.get() : m_inPlace.data(); }

    std::uint32_t m_count;
    std::array<std::uint32_t, InPlace> m_inPlace;
    std::unique_ptr<std::uint32_t[]> m_more;  // beyond InPlace, all of them
};

// Base of all primitives. Lit primitives (spheres, cylinders, cones, triangles, meshes, tetrahedra)
// are shaded by the scene's lights; the others are drawn in flat colour.
class Primitive {
public:
    virtual ~Primitive() = default;

    virtual std::unique_ptr<Primitive> Clone() const = 0;
    PrimitiveType GetType() const { return m_type; }
    bool IsLit() const;

    const Color& GetColor() const { return m_color; }
    // Two-coloured primitives set both ends.
    virtual void SetColor(const Color& color) { m_color = color; }

    // The first pick identifier (0 when there is none) and all of them, in the order given.
    std::uint32_t GetOID() const { return GetOIDs().empty() ? 0 : GetOIDs().front(); }
    std::span<const std::uint32_t> GetOIDs() const { return m_ids.Get(); }
    void SetOID(PickIds ids) { m_ids = std::move(ids); }

    // The points where the primitive can be picked (its defining points), each with GetOID.
    virtual void AppendPickDots(std::vector<PickDot>& dots) const;

protected:
    Primitive(PrimitiveType type, const Color& color, PickIds ids);
    Primitive(const Primitive&) = default;
    Primitive& operator=(const Primitive&) = default;

    virtual std::vector<Point3d> GetPickPoints() const = 0;

private:
    PrimitiveType m_type;
    Color m_color;
    PickIds m_ids;
};

// Type and cloning for each concrete primitive.
template <class Derived, PrimitiveType type>
class PrimitiveOf : public Primitive {
public:
    static constexpr PrimitiveType staticType = type;
    std::unique_ptr<Primitive> Clone() const override
    {
        return std::make_unique<Derived>(static_cast<const Derived&>(*this));
    }

protected:
    PrimitiveOf(const Color& color, PickIds ids) : Primitive(type, color, std::move(ids)) {}
};

// The primitive as T when it is one (null otherwise).
template <class T>
const T* PrimitiveCast(const Primitive* primitive)
{
    return primitive && primitive->GetType() == T::staticType ? static_cast<const T*>(primitive) : nullptr;
}

// A line of a width in pixels, coloured from one end colour to the other. It is drawn dashed when its
// dash flag is set, with the given number of dashes.
class LinePrimitive : public PrimitiveOf<LinePrimitive, PrimitiveType::Line> {
public:
    LinePrimitive(const Point3d& from, const Color& fromColor, const Point3d& to, const Color& toColor, double width,
                  PickIds ids);
    LinePrimitive(const Point3d& from, const Point3d& to, const Color& color, double width, PickIds ids);

    const Point3d& GetFrom() const { return m_from; }
    const Point3d& GetTo() const { return m_to; }
    const Color& GetFromColor() const { return GetColor(); }
    const Color& GetToColor() const { return m_toColor; }
    void SetColor(const Color& color) override;
    double GetWidth() const { return m_width; }

    int GetDashes() const { return m_dashes; }
    bool IsDashed() const { return m_dashed; }
    void SetDashes(int dashes, bool dashed);

protected:
    std::vector<Point3d> GetPickPoints() const override { return {m_from, m_to}; }

private:
    Point3d m_from;
    Point3d m_to;
    Color m_toColor;
    double m_width;
    int m_dashes = 0;
    bool m_dashed = false;
};

// A LinePrimitive made with its dash settings; it is recorded as a line whose IsDashed is the flag.
class DashedLinePrimitive : public LinePrimitive {
public:
    DashedLinePrimitive(const Point3d& from, const Color& fromColor, const Point3d& to, const Color& toColor,
                        double width, PickIds ids, int dashes, bool dashed = true);
    DashedLinePrimitive(const Point3d& from, const Point3d& to, const Color& color, double width, PickIds ids,
                        int dashes, bool dashed = true);
};

// A circular arc about centre, in the plane normal to axis: start turned right-handedly about axis
// by 0 to degrees (a negative sweep turns the other way), drawn as segments straight pieces.
class ArcPrimitive : public PrimitiveOf<ArcPrimitive, PrimitiveType::Arc> {
public:
    ArcPrimitive(const Point3d& centre, const Point3d& axis, const Point3d& start, double degrees, int segments,
                 const Color& color, double width, PickIds ids);

    // Three full circles of the radius about centre, in the planes normal to y, z and x, started at
    // +x, +x and +y from the centre: the cage that marks a point.
    static std::array<ArcPrimitive, 3> Cage(const Point3d& centre, double radius, int segments, const Color& color,
                                            double width, const PickIds& ids);

    const Point3d& GetCentre() const { return m_centre; }
    const Point3d& GetAxis() const { return m_axis; }
    const Point3d& GetStart() const { return m_start; }
    double GetDegrees() const { return m_degrees; }
    int GetSegments() const { return m_segments; }
    double GetWidth() const { return m_width; }

    // The segment ends from start to the arc's end: max(segments, 1) + 1 points, at most 3601. A
    // zero axis gives the start point throughout.
    std::vector<Point3d> GetPoints() const;

protected:
    std::vector<Point3d> GetPickPoints() const override { return GetPoints(); }

private:
    Point3d m_centre;
    Point3d m_axis;
    Point3d m_start;
    double m_degrees;
    int m_segments;
    double m_width;
};

class SpherePrimitive : public PrimitiveOf<SpherePrimitive, PrimitiveType::Sphere> {
public:
    SpherePrimitive(const Point3d& centre, double radius, const Color& color, PickIds ids);

    const Point3d& GetCentre() const { return m_centre; }
    double GetRadius() const { return m_radius; }

protected:
    std::vector<Point3d> GetPickPoints() const override { return {m_centre}; }

private:
    Point3d m_centre;
    double m_radius;
};

// A cylinder shaded from one end colour to the other.
class CylinderPrimitive : public PrimitiveOf<CylinderPrimitive, PrimitiveType::Cylinder> {
public:
    CylinderPrimitive(const Point3d& from, const Color& fromColor, const Point3d& to, const Color& toColor,
                      double radius, PickIds ids);
    CylinderPrimitive(const Point3d& from, const Point3d& to, const Color& color, double radius, PickIds ids);

    const Point3d& GetFrom() const { return m_from; }
    const Point3d& GetTo() const { return m_to; }
    const Color& GetFromColor() const { return GetColor(); }
    const Color& GetToColor() const { return m_toColor; }
    void SetColor(const Color& color) override;
    double GetRadius() const { return m_radius; }

protected:
    std::vector<Point3d> GetPickPoints() const override { return {m_from, m_to}; }

private:
    Point3d m_from;
    Point3d m_to;
    Color m_toColor;
    double m_radius;
};

// A cone whose first point is the centre of its base (of the given radius) and whose second point
// is its apex.
class ConePrimitive : public PrimitiveOf<ConePrimitive, PrimitiveType::Cone> {
public:
    ConePrimitive(const Point3d& base, const Color& baseColor, const Point3d& apex, const Color& apexColor,
                  double radius, PickIds ids);
    ConePrimitive(const Point3d& base, const Point3d& apex, const Color& color, double radius, PickIds ids);

    const Point3d& GetBase() const { return m_base; }
    const Point3d& GetApex() const { return m_apex; }
    const Color& GetBaseColor() const { return GetColor(); }
    const Color& GetApexColor() const { return m_apexColor; }
    void SetColor(const Color& color) override;
    double GetRadius() const { return m_radius; }

protected:
    std::vector<Point3d> GetPickPoints() const override { return {m_base, m_apex}; }

private:
    Point3d m_base;
    Point3d m_apex;
    Color m_apexColor;
    double m_radius;
};

// A flat-shaded triangle; the vertex order is the winding.
class TrianglePrimitive : public PrimitiveOf<TrianglePrimitive, PrimitiveType::Triangle> {
public:
    TrianglePrimitive(const Point3d& a, const Point3d& b, const Point3d& c, const Point3d& normal, const Color& color,
                      PickIds ids);

    // Vertex 0, 1 or 2 (other indices are clamped into that range).
    const Point3d& GetVertex(int index) const;
    const Point3d& GetNormal() const { return m_normal; }

protected:
    std::vector<Point3d> GetPickPoints() const override { return {m_vertices[0], m_vertices[1], m_vertices[2]}; }

private:
    Point3d m_vertices[3];
    Point3d m_normal;
};

// One mesh vertex.
struct VertexNormal {
    Point3d position;
    Color color;
    Point3d normal;
};

// Three vertex indices; their order is the winding.
struct TriangleIndex {
    std::int32_t a;
    std::int32_t b;
    std::int32_t c;
};

// A triangle mesh with per-vertex colours and normals (GetColor is not used), one OID for the mesh
// and optionally one OID per vertex. The constructor throws std::invalid_argument for a triangle index outside the vertex
// array or a per-vertex OID array that is neither empty nor one per vertex.
class TriangleMeshPrimitive : public PrimitiveOf<TriangleMeshPrimitive, PrimitiveType::TriangleMesh> {
public:
    TriangleMeshPrimitive(std::vector<VertexNormal> vertices, std::vector<TriangleIndex> triangles, std::uint32_t oid,
                          OIDArray vertexOids = {});
    TriangleMeshPrimitive(std::vector<VertexNormal> vertices, std::vector<TriangleIndex> triangles,
                          OIDArray vertexOids);

    const std::vector<VertexNormal>& GetVertices() const { return m_vertices; }
    const std::vector<TriangleIndex>& GetTriangles() const { return m_triangles; }
    // Empty, or one per vertex.
    const OIDArray& GetVertexOIDs() const { return m_vertexOids; }

    // One dot per vertex, with the vertex's OID when there are per-vertex OIDs, else the mesh's.
    void AppendPickDots(std::vector<PickDot>& dots) const override;

protected:
    std::vector<Point3d> GetPickPoints() const override;

private:
    std::vector<VertexNormal> m_vertices;
    std::vector<TriangleIndex> m_triangles;
    OIDArray m_vertexOids;
};

class TetrahedronPrimitive : public PrimitiveOf<TetrahedronPrimitive, PrimitiveType::Tetrahedron> {
public:
    TetrahedronPrimitive(const Point3d& a, const Point3d& b, const Point3d& c, const Point3d& d, const Color& color,
                         PickIds ids);

    // Vertex 0 to 3 (other indices are clamped into that range).
    const Point3d& GetVertex(int index) const;
    // Signed volume ((b - a) x (c - a)) . (d - a) / 6: positive when d lies on the side that a, b, c
    // wind counter-clockwise around.
    double GetVolume() const;

    // Replaces tetrahedra with tetrahedra that exactly fill the convex hull of the points (packed
    // colour 0, OID 0; the caller sets both). Every vertex is one of the points. Fewer than four
    // points, or points that all lie in one plane, give no tetrahedra.
    static void DecomposePolyhedron(std::vector<TetrahedronPrimitive>& tetrahedra, const Point3d::Array& points);

protected:
    std::vector<Point3d> GetPickPoints() const override
    {
        return {m_vertices[0], m_vertices[1], m_vertices[2], m_vertices[3]};
    }

private:
    Point3d m_vertices[4];
};

// An unlit dot of a size in pixels.
class DotPrimitive : public PrimitiveOf<DotPrimitive, PrimitiveType::Dot> {
public:
    DotPrimitive(const Point3d& position, const Color& color, double size, PickIds ids);

    const Point3d& GetPosition() const { return m_position; }
    double GetSize() const { return m_size; }

protected:
    std::vector<Point3d> GetPickPoints() const override { return {m_position}; }

private:
    Point3d m_position;
    double m_size;
};

// A one-pixel unlit point.
class UnlitPointPrimitive : public PrimitiveOf<UnlitPointPrimitive, PrimitiveType::UnlitPoint> {
public:
    UnlitPointPrimitive(const Point3d& position, const Color& color, PickIds ids);

    const Point3d& GetPosition() const { return m_position; }

protected:
    std::vector<Point3d> GetPickPoints() const override { return {m_position}; }

private:
    Point3d m_position;
};

// A screen-aligned rectangle centred on a 3D position, its size in pixels (selection markers).
class Rect2DPrimitive : public PrimitiveOf<Rect2DPrimitive, PrimitiveType::Rect2D> {
public:
    Rect2DPrimitive(const Point3d& position, const Color& color, double width, double height, PickIds ids);

    const Point3d& GetPosition() const { return m_position; }
    double GetWidth() const { return m_width; }
    double GetHeight() const { return m_height; }

protected:
    std::vector<Point3d> GetPickPoints() const override { return {m_position}; }

private:
    Point3d m_position;
    double m_width;
    double m_height;
};

// Text anchored at a 3D position; size is the text's offset/height in model units (0 lets the
// renderer use the font's own size).
class Text3DPrimitive : public PrimitiveOf<Text3DPrimitive, PrimitiveType::Text3D> {
public:
    Text3DPrimitive(std::string_view text, const Point3d& position, double size, const Color& color, const Font& font,
                    PickIds ids);
    // Size 0 and Font::DefaultFont.
    Text3DPrimitive(std::string_view text, const Point3d& position, const Color& color, PickIds ids);

    const std::string& GetText() const { return m_text; }
    const Point3d& GetPosition() const { return m_position; }
    double GetSize() const { return m_size; }
    const Font& GetFont() const { return m_font; }

protected:
    std::vector<Point3d> GetPickPoints() const override { return {m_position}; }

private:
    std::string m_text;
    Point3d m_position;
    double m_size;
    Font m_font;
};

} // namespace Tavrel
