#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <numbers>
#include <stdexcept>

#include <tavrel/core/DisplayList3D.h>
#include <tavrel/core/Font.h>
#include "support/Near.h"
#include "support/PickOIDs.h"

using namespace Tavrel;
using Tavrel::test::Near;
using Tavrel::test::PickOIDs;

namespace {

double TotalVolume(const std::vector<TetrahedronPrimitive>& tetrahedra)
{
    double total = 0.0;
    for (const TetrahedronPrimitive& t : tetrahedra) {
        EXPECT_GT(t.GetVolume(), 0.0);
        total += t.GetVolume();
    }
    return total;
}

} // namespace

TEST(DisplayList3DTest, RecordsCopiesInOrderWithTheirIdentifiers)
{
    DisplayList3D list;
    EXPECT_EQ(list.GetMode(), DisplayList3D::normalMode);
    {
        LinePrimitive line(Point3d(0, 0, 0), Color::Red(), Point3d(1, 0, 0), Color::Blue(), 1, {11u, 12u});
        list.Add(line);
        line.SetColor(Color::Green());
        list.Add(SpherePrimitive(Point3d(1, 2, 3), 0.6, Color::White(), 42));
        list.Add(Rect2DPrimitive(Point3d(), Color::Selected(), 5, 5, 0));
    }
    ASSERT_EQ(list.GetSize(), 3u);
    const auto* line = PrimitiveCast<LinePrimitive>(list.GetPrimitive(0));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->GetFromColor(), Color::Red());
    EXPECT_EQ(line->GetToColor(), Color::Blue());
    EXPECT_EQ(PickOIDs(*line), (OIDArray{11, 12}));
    EXPECT_FALSE(line->IsLit());
    EXPECT_EQ(PrimitiveCast<SpherePrimitive>(list.GetPrimitive(0)), nullptr);

    const auto spheres = list.GetAll<SpherePrimitive>();
    ASSERT_EQ(spheres.size(), 1u);
    EXPECT_EQ(spheres[0]->GetOID(), 42u);
    EXPECT_DOUBLE_EQ(spheres[0]->GetRadius(), 0.6);
    EXPECT_TRUE(spheres[0]->IsLit());
    EXPECT_EQ(list.GetPrimitive(3), nullptr);
}

// Up to three identifiers are held in place, more apart: copies and replacements keep each as given.
TEST(DisplayList3DTest, PickIdentifiersOfAnyCountSurviveCopiesAndReplacement)
{
    DisplayList3D list;
    SpherePrimitive sphere(Point3d(), 1.0, Color::White(), {1u, 2u, 3u, 4u, 5u});
    list.Add(sphere);
    const std::unique_ptr<Primitive> clone = list.GetPrimitive(0)->Clone();
    sphere.SetOID({6u, 7u, 8u, 9u});
    clone->SetOID({10u, 11u, 12u});
    EXPECT_EQ(PickOIDs(*list.GetPrimitive(0)), (OIDArray{1, 2, 3, 4, 5}));
    EXPECT_EQ(PickOIDs(sphere), (OIDArray{6, 7, 8, 9}));
    EXPECT_EQ(PickOIDs(*clone), (OIDArray{10, 11, 12}));
    EXPECT_EQ(clone->GetOID(), 10u);
    clone->SetOID(PickIds());
    EXPECT_EQ(PickOIDs(*clone), (OIDArray{0}));
    sphere.SetOID(std::initializer_list<std::uint32_t>{});
    EXPECT_TRUE(sphere.GetOIDs().empty());
    EXPECT_EQ(sphere.GetOID(), 0u);
}

TEST(DisplayList3DTest, DashedLinesAreRecordedAsDashedLines)
{
    DisplayList3D list(DisplayList3D::fastMode);
    list.Add(DashedLinePrimitive(Point3d(0, 0, 0), Point3d(0, 0, 2), Color::Cyan(), 1, 7, 5));
    list.Add(LinePrimitive(Point3d(), Point3d(1, 1, 1), Color::Cyan(), 1, 7));
    const auto lines = list.GetAll<LinePrimitive>();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0]->IsDashed());
    EXPECT_EQ(lines[0]->GetDashes(), 5);
    EXPECT_FALSE(lines[1]->IsDashed());
    EXPECT_EQ(list.GetMode(), 2);
}

TEST(DisplayList3DTest, AppendedListCarriesItsOIDAsGroup)
{
    DisplayList3D host;
    host.Add(DotPrimitive(Point3d(), Color::White(), 1, 5));

    DisplayList3D restraint;
    restraint.Add(LinePrimitive(Point3d(), Point3d(1, 0, 0), Color::Green(), 1, 77));
    restraint.SetOID(900);
    host.Append(restraint);
    host.Append(host);

    ASSERT_EQ(host.GetSize(), 4u);
    EXPECT_EQ(host.GetGroupOID(0), 0u);
    EXPECT_EQ(host.GetGroupOID(1), 900u);
    EXPECT_EQ(host.GetPrimitive(1)->GetOID(), 77u);
    EXPECT_EQ(host.GetGroupOID(3), 900u);
    host.SetOID(5);
    EXPECT_EQ(host.GetGroupOID(0), 5u);
    EXPECT_EQ(host.GetGroupOID(1), 900u);

    const DisplayList3D copy = host;
    host.Clear();
    EXPECT_EQ(copy.GetSize(), 4u);
    EXPECT_EQ(copy.GetGroupOID(3), 900u);
}

TEST(DisplayList3DTest, PickDotsCoverEveryPrimitivesPoints)
{
    DisplayList3D list(DisplayList3D::fastMode);
    list.Add(CylinderPrimitive(Point3d(0, 0, 0), Point3d(0, 0, 4), Color::Red(), 0.1, {3u, 1u, 2u}));
    list.Add(Text3DPrimitive("Over", Point3d(5, 5, 5), Color::Red(), 8));
    std::vector<VertexNormal> vertices = {{Point3d(1, 0, 0), Color::Red(), Point3d(0, 0, 1)},
                                          {Point3d(0, 1, 0), Color::Red(), Point3d(0, 0, 1)},
                                          {Point3d(0, 0, 1), Color::Red(), Point3d(0, 0, 1)}};
    list.Add(TriangleMeshPrimitive(vertices, {{0, 1, 2}}, 9, {21, 22, 23}));

    const std::vector<PickDot> dots = list.GetPickDots();
    ASSERT_EQ(dots.size(), 6u);
    EXPECT_EQ(dots[1].position, Point3d(0, 0, 4));
    EXPECT_EQ(dots[1].oid, 3u);
    EXPECT_EQ(dots[2].oid, 8u);
    EXPECT_EQ(dots[5].oid, 23u);
    EXPECT_TRUE(DisplayList3D().GetPickDots().empty());
}

TEST(DisplayList3DTest, MeshRejectsBadIndices)
{
    std::vector<VertexNormal> vertices(3);
    EXPECT_THROW(TriangleMeshPrimitive(vertices, {{0, 1, 3}}, 1), std::invalid_argument);
    EXPECT_THROW(TriangleMeshPrimitive(vertices, {{-1, 1, 2}}, 1), std::invalid_argument);
    EXPECT_THROW(TriangleMeshPrimitive(vertices, {{0, 1, 2}}, OIDArray{1, 2}), std::invalid_argument);
    EXPECT_NO_THROW(TriangleMeshPrimitive(vertices, {{0, 1, 2}}, OIDArray{1, 2, 3}));
}

TEST(DisplayList3DTest, TextUsesGivenOrDefaultFont)
{
    const Text3DPrimitive big("a", Point3d(), 0.0, Color::White(), Font::DefaultBigFont(), 1);
    const Text3DPrimitive plain("b", Point3d(), Color::White(), 1);
    EXPECT_EQ(big.GetFont(), Font::DefaultBigFont());
    EXPECT_EQ(plain.GetFont(), Font::DefaultFont());
    EXPECT_GT(Font::DefaultBigFont().GetPointSize(), Font::DefaultFont().GetPointSize());
    EXPECT_THROW(Font("x", 0), std::invalid_argument);
}

TEST(DisplayListPrimitiveTest, ArcTurnsRightHandedAboutItsAxis)
{
    const ArcPrimitive quarter(Point3d(1, 1, 1), Point3d(0, 0, 2), Point3d(2, 1, 1), 90.0, 4, Color::Red(), 1, 1);
    const std::vector<Point3d> points = quarter.GetPoints();
    ASSERT_EQ(points.size(), 5u);
    EXPECT_TRUE(Near(points.front(), Point3d(2, 1, 1)));
    EXPECT_TRUE(Near(points.back(), Point3d(1, 2, 1)));

    const ArcPrimitive backwards(Point3d(), Point3d(0, 0, 1), Point3d(1, 0, 0), -90.0, 0, Color::Red(), 1, 1);
    ASSERT_EQ(backwards.GetPoints().size(), 2u);
    EXPECT_TRUE(Near(backwards.GetPoints().back(), Point3d(0, -1, 0)));

    const ArcPrimitive noAxis(Point3d(), Point3d(), Point3d(1, 0, 0), 360.0, 1000000, Color::Red(), 1, 1);
    const std::vector<Point3d> capped = noAxis.GetPoints();
    EXPECT_EQ(capped.size(), 3601u);
    EXPECT_EQ(capped.back(), Point3d(1, 0, 0));
}

TEST(DisplayListPrimitiveTest, TetrahedronVolumeAndCylinderRecolouring)
{
    const TetrahedronPrimitive t(Point3d(0, 0, 0), Point3d(1, 0, 0), Point3d(0, 1, 0), Point3d(0, 0, 1), Color(), 0);
    EXPECT_NEAR(t.GetVolume(), 1.0 / 6.0, 1e-12);

    CylinderPrimitive c(Point3d(), Color::Red(), Point3d(1, 0, 0), Color::Blue(), 0.5, 1);
    c.SetColor(Color::Grey());
    EXPECT_EQ(c.GetToColor(), Color::Grey());
}

TEST(DisplayListPrimitiveTest, DecomposeFillsTheConvexHull)
{
    std::vector<TetrahedronPrimitive> tetrahedra;
    const Point3d::Array octahedron = {Point3d(1, 0, 0), Point3d(-1, 0, 0), Point3d(0, 1, 0),
                                       Point3d(0, -1, 0), Point3d(0, 0, 1), Point3d(0, 0, -1)};
    TetrahedronPrimitive::DecomposePolyhedron(tetrahedra, octahedron);
    EXPECT_EQ(tetrahedra.size(), 4u);
    EXPECT_NEAR(TotalVolume(tetrahedra), 4.0 / 3.0, 1e-6);
    for (const TetrahedronPrimitive& t : tetrahedra) {
        EXPECT_EQ(t.GetOID(), 0u);
        for (int i = 0; i < 4; ++i)
            EXPECT_NE(std::find(octahedron.begin(), octahedron.end(), t.GetVertex(i)), octahedron.end());
    }

    // A cube with an interior point and duplicated corners: coplanar faces and inner points.
    Point3d::Array cube;
    for (int i = 0; i < 8; ++i)
        cube.emplace_back(i & 1 ? 2.0 : 0.0, i & 2 ? 2.0 : 0.0, i & 4 ? 2.0 : 0.0);
    cube.emplace_back(1.0, 1.0, 1.0);
    cube.push_back(cube[3]);
    TetrahedronPrimitive::DecomposePolyhedron(tetrahedra, cube);
    EXPECT_NEAR(TotalVolume(tetrahedra), 8.0, 1e-5);

    // A fine prism: many thin fan tetrahedra, none of them flat, all kept.
    const int sides = 1000;
    Point3d::Array prism;
    for (int i = 0; i < sides; ++i) {
        const double angle = 2.0 * std::numbers::pi * i / sides;
        prism.emplace_back(std::cos(angle), std::sin(angle), 0.0);
        prism.emplace_back(std::cos(angle), std::sin(angle), 1.0);
    }
    TetrahedronPrimitive::DecomposePolyhedron(tetrahedra, prism);
    EXPECT_NEAR(TotalVolume(tetrahedra), 0.5 * sides * std::sin(2.0 * std::numbers::pi / sides), 1e-5);
}

TEST(DisplayListPrimitiveTest, DecomposeDegenerateInputGivesNothing)
{
    std::vector<TetrahedronPrimitive> tetrahedra(1, TetrahedronPrimitive(Point3d(), Point3d(), Point3d(), Point3d(),
                                                                         Color(), 0));
    TetrahedronPrimitive::DecomposePolyhedron(tetrahedra, {Point3d(0, 0, 0), Point3d(1, 0, 0), Point3d(0, 1, 0)});
    EXPECT_TRUE(tetrahedra.empty());
    TetrahedronPrimitive::DecomposePolyhedron(
        tetrahedra, {Point3d(0, 0, 0), Point3d(1, 0, 0), Point3d(0, 1, 0), Point3d(1, 1, 0), Point3d(2, 3, 0)});
    EXPECT_TRUE(tetrahedra.empty());
    TetrahedronPrimitive::DecomposePolyhedron(tetrahedra, Point3d::Array(5, Point3d(1, 1, 1)));
    EXPECT_TRUE(tetrahedra.empty());
    const float nan = std::nanf("");
    TetrahedronPrimitive::DecomposePolyhedron(
        tetrahedra, {Point3d(nan, 0, 0), Point3d(0, 0, 0), Point3d(1, 0, 0), Point3d(0, 1, 0), Point3d(0, 0, 1)});
    EXPECT_EQ(tetrahedra.size(), 1u);
}
