#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include <tavrel/core/Geometry.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/UniformRandomSequence.h>
#include "support/Near.h"

using namespace Tavrel;
using Tavrel::test::Near;

namespace {

bool IsFinite(const Point3d& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// A rigid motion: a turn about an arbitrary axis followed by a shift.
Matrix4x4 SomeMotion()
{
    Matrix4x4 m;
    m.SetRotation(Point3d(0.3, -1, 2), Point3d(1, 2, 3), 123.4);
    Matrix4x4 shift;
    shift.SetTranslation(Point3d(5, -3, 0.5));
    return m * shift;
}

} // namespace

TEST(GeometryTest, AngleAtTheMiddlePoint)
{
    EXPECT_NEAR(Angle(Point3d(1, 0, 0), Point3d::origin, Point3d(0, 2, 0)), 90.0, 1e-9);
    EXPECT_NEAR(Angle(Point3d(1, 0, 0), Point3d::origin, Point3d(-3, 0, 0)), 180.0, 1e-9);
    EXPECT_NEAR(Angle(Point3d(1, 1, 0), Point3d(1, 0, 0), Point3d(2, 1, 0)), 45.0, 1e-6);
    EXPECT_EQ(Angle(Point3d(1, 0, 0), Point3d(1, 0, 0), Point3d(2, 1, 0)), 0.0);
}

TEST(GeometryTest, DihedralSignFollowsIupac)
{
    // Looking along b→c (+z), d turned anticlockwise-from-above is clockwise for the viewer: positive.
    const Point3d a(1, 0, 0), b(0, 0, 0), c(0, 0, 1);
    const double r = std::acos(-1.0) / 180.0;
    for (const double degrees : {60.0, -60.0, 120.0, -150.0, 10.0}) {
        const Point3d d(std::cos(degrees * r), std::sin(degrees * r), 1);
        EXPECT_NEAR(Dihedral(a, b, c, d), degrees, 1e-5);
        // A mirror image flips the sign; reading the chain backwards keeps it.
        EXPECT_NEAR(Dihedral(Point3d(a.x, -a.y, a.z), b, c, Point3d(d.x, -d.y, d.z)), -degrees, 1e-5);
        EXPECT_NEAR(Dihedral(d, c, b, a), degrees, 1e-5);
    }
    EXPECT_NEAR(Dihedral(a, b, c, Point3d(1, 0, 1)), 0.0, 1e-9);
    EXPECT_EQ(Dihedral(a, b, c, Point3d(-1, 0, 1)), 180.0);
    EXPECT_EQ(Dihedral(Point3d(0, 0, -1), b, c, Point3d(1, 0, 1)), 0.0);
    EXPECT_EQ(Torsion(a, b, c, Point3d(0, 1, 1)), Dihedral(a, b, c, Point3d(0, 1, 1)));
}

TEST(GeometryTest, RMSBestFitRecoversARigidMotion)
{
    UniformRandomSequence random(-5, 5, 3);
    Point3d::Array from;
    for (int i = 0; i < 12; ++i)
        from.push_back(Point3d(random(), random(), random()));
    const Matrix4x4 motion = SomeMotion();
    Point3d::Array to;
    for (const Point3d& p : from)
        to.push_back(p * motion);

    Point3d::Array points = {Point3d(100, 0, 0), Point3d(-1, 2, -3)};
    EXPECT_NEAR(RMSBestFit(from, to, points), 0.0, 1e-4);
    EXPECT_TRUE(Near(points[0], Point3d(100, 0, 0) * motion, 1e-3));
    EXPECT_TRUE(Near(points[1], Point3d(-1, 2, -3) * motion, 1e-4));

    // Fitting the from-points in place.
    Point3d::Array moving = from;
    RMSBestFit(moving, to, moving);
    for (std::size_t i = 0; i < to.size(); ++i)
        EXPECT_TRUE(Near(moving[i], to[i], 1e-4));
}

TEST(GeometryTest, RMSBestFitReportsTheResidualOfImperfectData)
{
    const Point3d::Array from = {Point3d(0, 0, 0), Point3d(1, 0, 0), Point3d(0, 1, 0), Point3d(0, 0, 1)};
    Point3d::Array to = from;
    to[1].x += 0.1f; // one point pulled out of shape
    Point3d::Array moved = from;
    const double rms = RMSBestFit(from, to, moved);
    double sum = 0.0;
    for (std::size_t i = 0; i < to.size(); ++i)
        sum += Distance2(moved[i], to[i]);
    EXPECT_NEAR(rms, std::sqrt(sum / 4.0), 1e-6);
    EXPECT_GT(rms, 0.0);
    EXPECT_LT(rms, 0.05);
}

TEST(GeometryTest, RMSBestFitAcceptsDegenerateInputs)
{
    Point3d::Array points = {Point3d(1, 2, 3)};
    EXPECT_EQ(RMSBestFit({}, {}, points), 0.0);
    EXPECT_EQ(points[0], Point3d(1, 2, 3));

    // One point: a pure translation.
    RMSBestFit({Point3d(1, 1, 1)}, {Point3d(2, 3, 4)}, points);
    EXPECT_TRUE(Near(points[0], Point3d(2, 4, 6), 1e-4));

    // Two points and collinear points land on their targets.
    const Matrix4x4 motion = SomeMotion();
    for (const int n : {2, 3, 5}) {
        Point3d::Array from;
        Point3d::Array to;
        for (int i = 0; i < n; ++i) {
            from.push_back(Point3d(1.5 * i, 0, 0));
            to.push_back(from.back() * motion);
        }
        Point3d::Array moved = from;
        EXPECT_NEAR(RMSBestFit(from, to, moved), 0.0, 1e-4);
        for (int i = 0; i < n; ++i) {
            EXPECT_TRUE(IsFinite(moved[i]));
            EXPECT_TRUE(Near(moved[i], to[i], 1e-4));
        }
    }
    // The turn about a line of points is free: the fit takes none, so other points only shift.
    Point3d::Array aside = {Point3d(0, 5, 0)};
    RMSBestFit({Point3d(0, 0, 0), Point3d(1, 0, 0), Point3d(2, 0, 0)},
               {Point3d(1, 1, 1), Point3d(2, 1, 1), Point3d(3, 1, 1)}, aside);
    EXPECT_TRUE(Near(aside[0], Point3d(1, 6, 1), 1e-4));
    // Coincident points.
    Point3d::Array same = {Point3d(1, 1, 1), Point3d(1, 1, 1)};
    RMSBestFit(same, {Point3d(0, 0, 0), Point3d(0, 0, 0)}, same);
    EXPECT_TRUE(Near(same[0], Point3d::origin, 1e-4));
    EXPECT_THROW(RMSBestFit({Point3d()}, {}, points), std::invalid_argument);
}

TEST(GeometryTest, IsPlanarMeasuresDistanceFromTheBestPlane)
{
    Point3d::Array ring;
    for (int k = 0; k < 6; ++k)
        ring.push_back(Point3d(std::sin(k * 1.0471975511965976), std::cos(k * 1.0471975511965976), 0) * 1.4);
    Point3d::Array tilted = ring;
    for (Point3d& p : tilted)
        p *= SomeMotion();
    EXPECT_TRUE(IsPlanar(tilted, 0.01));
    // A flattened tetrahedron: every vertex lies 0.3 from the best plane z = 0.
    const Point3d::Array puckered = {Point3d(1, 0, 0.3), Point3d(-1, 0, 0.3), Point3d(0, 1, -0.3),
                                     Point3d(0, -1, -0.3)};
    EXPECT_FALSE(IsPlanar(puckered, 0.2));
    EXPECT_TRUE(IsPlanar(puckered, 0.31));
    EXPECT_TRUE(IsPlanar({Point3d(1, 2, 3), Point3d(4, 5, 7), Point3d(0, 0, 9)}, 0.0));
    EXPECT_TRUE(IsPlanar({}, 0.0));
}
