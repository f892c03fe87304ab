#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include <tavrel/biopolymers/ChainMeshBuilder.h>
#include <tavrel/core/DisplayList3D.h>

using namespace Tavrel;
using namespace Tavrel::ChainMeshBuilder;

namespace {

// Every normal of the mesh is finite and of unit length.
void ExpectUnitNormals(const TriangleMeshPrimitive& mesh)
{
    for (const VertexNormal& vertex : mesh.GetVertices()) {
        const double length = vertex.normal.Length();
        ASSERT_TRUE(std::isfinite(length));
        ASSERT_NEAR(length, 1.0, 1e-4);
    }
}

// A gently curving strand of n points 3.8 apart along x.
Point3d::Array Strand(int n, double spacing = 3.8)
{
    Point3d::Array points;
    for (int i = 0; i < n; ++i)
        points.emplace_back(spacing * i, 0.6 * std::sin(i), 0.4 * (i % 2));
    return points;
}

} // namespace

TEST(ChainMeshBuilderTest, RodsAreCylindersInNormalModeAndLinesInFastMode)
{
    DisplayList3D normal(DisplayList3D::normalMode);
    DisplayList3D fast(DisplayList3D::fastMode);
    DisplayList3D other(0);
    for (DisplayList3D* list : {&normal, &fast, &other})
        AddRodSegment(Point3d(), Color::Red(), Point3d(0.0, 0.0, 2.0), Color::Blue(), 0.3, 7u, *list);
    ASSERT_EQ(normal.GetAll<CylinderPrimitive>().size(), 1u);
    EXPECT_EQ(normal.GetAll<CylinderPrimitive>()[0]->GetRadius(), 0.3);
    ASSERT_EQ(fast.GetAll<LinePrimitive>().size(), 1u);
    EXPECT_EQ(fast.GetAll<LinePrimitive>()[0]->GetWidth(), 2.0);
    EXPECT_EQ(fast.GetAll<LinePrimitive>()[0]->GetToColor(), Color::Blue());
    EXPECT_TRUE(other.IsEmpty());
}

TEST(ChainMeshBuilderTest, ARingSlabHasTwoFacesOfOppositeWindingAndSideWalls)
{
    Point3d::Array hexagon;
    for (int k = 0; k < 6; ++k)
        hexagon.emplace_back(1.4 * std::cos(k * std::numbers::pi / 3.0), 1.4 * std::sin(k * std::numbers::pi / 3.0), 0.0);
    DisplayList3D list(DisplayList3D::normalMode);
    AddRingSlab(hexagon, 6, 0.3, Color::Green(), 5u, list);
    const auto meshes = list.GetAll<TriangleMeshPrimitive>();
    ASSERT_EQ(meshes.size(), 2u);
    EXPECT_EQ(meshes[0]->GetTriangles().size(), 6u);
    EXPECT_EQ(meshes[1]->GetTriangles().size(), 6u);
    EXPECT_EQ(meshes[0]->GetTriangles()[0].a, meshes[1]->GetTriangles()[0].c);
    EXPECT_EQ(meshes[0]->GetTriangles()[0].c, meshes[1]->GetTriangles()[0].a);
    // The faces lie t above and below the plane, the pushed-out ring t/2 beyond the given one.
    EXPECT_NEAR(meshes[0]->GetVertices()[6].position.z, -meshes[1]->GetVertices()[6].position.z, 1e-6);
    EXPECT_NEAR(std::fabs(meshes[0]->GetVertices()[6].position.z), 0.3, 1e-6);
    EXPECT_NEAR(std::hypot(meshes[0]->GetVertices()[0].position.x, meshes[0]->GetVertices()[0].position.y), 1.55, 1e-5);
    for (const TriangleMeshPrimitive* mesh : meshes)
        ExpectUnitNormals(*mesh);
    const auto walls = list.GetAll<TrianglePrimitive>();
    ASSERT_EQ(walls.size(), 12u);
    for (const TrianglePrimitive* wall : walls) {
        const Point3d centre = (wall->GetVertex(0) + wall->GetVertex(1) + wall->GetVertex(2)) / 3.0;
        EXPECT_GT(wall->GetNormal().Dot(centre), 0.0);  // away from the ring's centre
    }

    DisplayList3D fast(DisplayList3D::fastMode);
    AddRingSlab(hexagon, 6, 0.3, Color::Green(), 5u, fast);
    EXPECT_EQ(fast.GetAll<LinePrimitive>().size(), 18u);
}

TEST(ChainMeshBuilderTest, ASplineTubeHasItsRingsAndCapsEveryVertexColouredAndIdentified)
{
    const Point3d::Array guides = Strand(5);
    const ColorArray colors = {Color::Red(), Color::Green(), Color::Blue(), Color::Cyan(), Color::Magenta()};
    const OIDArray oids = {11, 12, 13, 14, 15};
    DisplayList3D list;
    AddSplineTube(guides, colors, 5, nullptr, nullptr, 6, 8, 0.6, 2.0, 0, 3u, oids, list);
    const auto meshes = list.GetAll<TriangleMeshPrimitive>();
    ASSERT_EQ(meshes.size(), 1u);
    const TriangleMeshPrimitive& tube = *meshes[0];
    const std::size_t m = 4 * 6 + 1;
    EXPECT_EQ(tube.GetVertices().size(), (m + 2) * 8);
    EXPECT_EQ(tube.GetTriangles().size(), 2 * m * 8 - 4);
    ExpectUnitNormals(tube);
    ASSERT_EQ(tube.GetVertexOIDs().size(), tube.GetVertices().size());
    for (std::size_t v = 0; v < tube.GetVertices().size(); ++v) {
        const auto guide = std::find(oids.begin(), oids.end(), tube.GetVertexOIDs()[v]);
        ASSERT_NE(guide, oids.end()) << v;
        EXPECT_EQ(tube.GetVertices()[v].color, colors[guide - oids.begin()]) << v;
    }
    // The rings through a guide point carry its colour; the caps the end points'.
    EXPECT_EQ(tube.GetVertices()[2 * 6 * 8].color, Color::Blue());
    EXPECT_EQ(tube.GetVertexOIDs()[m * 8], 11u);
    EXPECT_EQ(tube.GetVertexOIDs()[(m + 1) * 8], 15u);
    // Every ring vertex lies the radius off the curve.
    EXPECT_NEAR(Distance(tube.GetVertices()[0].position, guides[0]), 0.6, 1e-4);

    // A tube of no width still has unit normals; fewer than two points draw nothing.
    DisplayList3D thin;
    AddSplineTube(guides, colors, 5, nullptr, nullptr, 4, 6, 0.0, 2.0, 0, 3u, {}, thin);
    ASSERT_EQ(thin.GetAll<TriangleMeshPrimitive>().size(), 1u);
    ExpectUnitNormals(*thin.GetAll<TriangleMeshPrimitive>()[0]);
    EXPECT_EQ(thin.GetAll<TriangleMeshPrimitive>()[0]->GetOID(), 3u);
    DisplayList3D none;
    AddSplineTube(guides, colors, 1, nullptr, nullptr, 4, 6, 0.6, 2.0, 0, 3u, {}, none);
    EXPECT_TRUE(none.IsEmpty());
}

TEST(ChainMeshBuilderTest, AnArrowRibbonNarrowsToItsTipAndSmoothsItsGuidesOnlyWhenAsked)
{
    const int n = 5;
    const int e = 4;
    Point3d::Array guides = Strand(n);
    const Point3d::Array original = guides;
    DisplayList3D list;
    std::vector<VertexNormal> vertices;
    std::vector<TriangleIndex> triangles;
    BuildArrowRibbonMesh(guides, n, 3.8, 1.9, 1.3, 0.3, e, 0, Color::Red(), 1u, list, vertices, triangles);
    EXPECT_EQ(guides, original);
    const std::size_t sections = (e - 1) * (n - 1);
    ASSERT_EQ(vertices.size(), 8 * sections + 12);
    EXPECT_LE(triangles.size(), 16 * sections + 36);
    EXPECT_TRUE(list.IsEmpty());
    // The tip: the four corners of the last section meet at the last guide point, thickness aside.
    const Point3d tipLeft = vertices[sections - 1].position;
    const Point3d tipRight = vertices[2 * sections - 1].position;
    EXPECT_NEAR(Distance(tipLeft, tipRight), 0.0, 1e-4);
    // The body ends short of the head's base: two distinct sections joined by the wings.
    const std::size_t bodyEnd = (e - 1) * (n - 2) - 1;
    EXPECT_GT(Distance(vertices[bodyEnd].position, vertices[bodyEnd + 1].position), 0.01);
    EXPECT_EQ(vertices[8 * sections + 4].position, vertices[bodyEnd].position);
    EXPECT_EQ(vertices[8 * sections + 6].position, vertices[bodyEnd + 1].position);
    for (const VertexNormal& vertex : vertices)
        ASSERT_NEAR(vertex.normal.Length(), 1.0, 1e-4);

    AddArrowRibbon(guides, n, 3.8, 1.9, 1.3, 0.3, e, 3, Color::Cyan(), 2u, list);
    EXPECT_NE(guides[2], original[2]);
    EXPECT_EQ(guides[0], original[0]);
    ASSERT_EQ(list.GetAll<TriangleMeshPrimitive>().size(), 1u);
    EXPECT_EQ(list.GetAll<TriangleMeshPrimitive>()[0]->GetVertices()[5].color, Color::Cyan());

    // Fast mode: lines only; fewer than three points: nothing.
    DisplayList3D fast(DisplayList3D::fastMode);
    Point3d::Array strand = Strand(n);
    AddArrowRibbon(strand, n, 3.8, 1.9, 1.3, 0.3, e, 0, Color::Cyan(), 2u, fast);
    EXPECT_EQ(fast.GetAll<LinePrimitive>().size(), static_cast<std::size_t>(2 * (n - 1) + 2 * (n - 2) + 4));
    EXPECT_TRUE(fast.GetAll<TriangleMeshPrimitive>().empty());
    DisplayList3D none;
    AddArrowRibbon(strand, 2, 3.8, 1.9, 1.3, 0.3, e, 0, Color::Cyan(), 2u, none);
    EXPECT_TRUE(none.IsEmpty());
}

TEST(ChainMeshBuilderTest, ColouredArrowRibbonsGiveEveryVertexAGuideColourEvenFarFromTheGuides)
{
    // Guide points 8 apart in a straight line: a straight strand has no side of its own, and the
    // middle of each span lies beyond 3.75 of both its ends.
    Point3d::Array guides = Strand(6, 8.0);
    for (Point3d& guide : guides)
        guide.y = guide.z = 0.0f;
    const ColorArray colors = {Color::Red(), Color::Green(), Color::Blue(), Color::Cyan(), Color::Magenta(), Color::Yellow()};
    const OIDArray oids = {21, 22, 23, 24, 25, 26};
    DisplayList3D list;
    AddColoredArrowRibbon(guides, 6, 6.0, 2.2, 1.1, 0.4, 5, 0, colors, 9u, oids, list);
    const auto meshes = list.GetAll<TriangleMeshPrimitive>();
    ASSERT_EQ(meshes.size(), 1u);
    const TriangleMeshPrimitive& ribbon = *meshes[0];
    ExpectUnitNormals(ribbon);
    ASSERT_EQ(ribbon.GetVertexOIDs().size(), ribbon.GetVertices().size());
    std::size_t far = 0;
    for (std::size_t v = 0; v < ribbon.GetVertices().size(); ++v) {
        const auto guide = std::find(oids.begin(), oids.end(), ribbon.GetVertexOIDs()[v]);
        ASSERT_NE(guide, oids.end()) << v;
        const std::size_t j = static_cast<std::size_t>(guide - oids.begin());
        EXPECT_EQ(ribbon.GetVertices()[v].color, colors[j]) << v;
        const double distance = Distance(ribbon.GetVertices()[v].position, guides[j]);
        EXPECT_LE(distance, 4.5) << v;
        far += distance > 3.75 ? 1 : 0;
    }
    EXPECT_GT(far, 0u);

    DisplayList3D fast(DisplayList3D::fastMode);
    AddColoredArrowRibbon(guides, 6, 6.0, 2.2, 1.1, 0.4, 5, 0, colors, 9u, oids, fast);
    EXPECT_TRUE(fast.GetAll<TriangleMeshPrimitive>().empty());
    EXPECT_EQ(fast.GetAll<LinePrimitive>()[0]->GetColor(), Color::White());
}
