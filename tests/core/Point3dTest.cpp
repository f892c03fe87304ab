#include <gtest/gtest.h>

#include <cmath>

#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Point2d.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ArchiveException.h>
#include "support/Near.h"

using namespace Tavrel;
using Tavrel::test::Near;

TEST(Point3dTest, ZeroVectorStaysZeroWhenNormalisedOrRelengthened)
{
    Point3d zero;
    EXPECT_EQ(zero.Normalize(), 0.0);
    EXPECT_EQ(zero, Point3d::origin);
    EXPECT_EQ(ChangeLength(Point3d::origin, 5.0), Point3d::origin);
    EXPECT_EQ(Normal(Point3d(1, 1, 1), Point3d(2, 2, 2), Point3d(3, 3, 3)), Point3d::origin);
    // Any direction is perpendicular to a zero vector; the answer is still a unit vector.
    EXPECT_NEAR(Point3d::origin.Normal().Length(), 1.0, 1e-7);
}

TEST(Point3dTest, NormalizeChangeLengthAndNormalKeepDirections)
{
    Point3d v(3, 0, 4);
    EXPECT_DOUBLE_EQ(v.Normalize(), 5.0);
    EXPECT_TRUE(Near(v, Point3d(0.6, 0, 0.8), 1e-6));
    EXPECT_TRUE(Near(ChangeLength(Point3d(0, -2, 0), 7.5), Point3d(0, -7.5, 0), 1e-6));
    for (const Point3d& d : {Point3d(1, 0, 0), Point3d(0, 0, -3), Point3d(1, 2, 3), Point3d(-1e-3, 5e-4, 2e-4)}) {
        const Point3d n = d.Normal();
        EXPECT_NEAR(n.Length(), 1.0, 1e-6);
        EXPECT_NEAR(n.Dot(d) / d.Length(), 0.0, 1e-6);
    }
}

TEST(Point3dTest, RotationsAboutAxesAreRightHandedInDegrees)
{
    EXPECT_TRUE(Near(Point3d(1, 0, 0).RotateAboutZ(90), Point3d(0, 1, 0), 1e-6));
    EXPECT_TRUE(Near(Point3d(0, 1, 0).RotateAboutX(90), Point3d(0, 0, 1), 1e-6));
    EXPECT_TRUE(Near(Point3d(0, 0, 1).RotateAboutY(90), Point3d(1, 0, 0), 1e-6));
    EXPECT_TRUE(Near(Point3d(1, 2, 3).RotateAboutZ(360), Point3d(1, 2, 3), 1e-5));
    EXPECT_EQ(Point3d(1, 0, 0).Cross(Point3d(0, 1, 0)), Point3d(0, 0, 1));
    EXPECT_EQ(CrossProduct(Point3d(0, 1, 0), Point3d(1, 0, 0)), Point3d(0, 0, -1));
    // The unit normal of three points follows (b - a) x (c - a).
    EXPECT_TRUE(Near(Normal(Point3d(0, 0, 0), Point3d(2, 0, 0), Point3d(0, 3, 0)), Point3d(0, 0, 1), 1e-6));
}

TEST(Point3dTest, ExtentFoldsStartFromTheExtremePoints)
{
    Point3d low = Point3d::maximum;
    Point3d high = Point3d::minimum;
    for (const Point3d& p : {Point3d(1, -2, 3), Point3d(-4, 5, 0), Point3d(2, 2, -6)}) {
        low.Minimum(p);
        high.Maximum(p);
    }
    EXPECT_EQ(low, Point3d(-4, -2, -6));
    EXPECT_EQ(high, Point3d(2, 5, 3));
    EXPECT_EQ(Point3d::maximum.x, 3.4028234663852886e38f);
}

TEST(Point3dTest, ArithmeticDistancesAndCompare)
{
    const Point3d a(1, 2, 3);
    const Point3d b(4, 6, 3);
    Point3d c = b;
    c /= 2.0;
    EXPECT_EQ(c, Point3d(2, 3, 1.5));
    EXPECT_DOUBLE_EQ(Distance(a, b), 5.0);
    EXPECT_DOUBLE_EQ(Distance2(a, b), 25.0);
    EXPECT_DOUBLE_EQ(a.SumSquares(), 14.0);
    EXPECT_EQ(MidPoint(a, b), Point3d(2.5, 4, 3));
    EXPECT_TRUE(a.Compare(Point3d(1.05, 1.95, 3), 0.1));
    EXPECT_FALSE(a.Compare(Point3d(1.2, 2, 3), 0.1));
}

TEST(Point3dTest, RandomizeIsRepeatableAndNeverZero)
{
    UniformRandomSequence::Default().Seed(42);
    Point3d first;
    first.Randomize();
    UniformRandomSequence::Default().Seed(42);
    Point3d again;
    again.Randomize();
    EXPECT_EQ(first, again);
    for (int i = 0; i < 1000; ++i) {
        Point3d p;
        p.Randomize();
        EXPECT_LE(p.SumSquares(), 1.0 + 1e-6);
        EXPECT_GT(p.Normalize(), 0.0);
    }
}

TEST(Point3dTest, PointTimesMatrixUsesRowVectors)
{
    const Matrix3x3 m(1, 2, 3, 4, 5, 6, 7, 8, 10);
    const Point3d p(1, 1, 2);
    EXPECT_EQ(p * m, Point3d(19, 23, 29));
    Point3d q = p;
    m.Transform(q);
    EXPECT_EQ(q, p * m);
}

TEST(Point3dTest, ArchiveRoundTripsPointsAndRejectsTruncatedInput)
{
    Archive out;
    out << Point3d(1.5, -2.25, 3e10) << Point2d(0.1, -7.0);
    Point3d serialized(4, 5, 6);
    serialized.Serialize(out);
    EXPECT_EQ(out.GetBuffer().size(), 12u + 16u + 12u);

    Archive in(out.GetBuffer());
    Point3d p;
    Point2d q;
    Point3d r;
    in >> p >> q;
    r.Serialize(in);
    EXPECT_EQ(p, Point3d(1.5, -2.25, 3e10));
    EXPECT_EQ(q, Point2d(0.1, -7.0));
    EXPECT_EQ(r, Point3d(4, 5, 6));

    std::vector<std::uint8_t> truncated(out.GetBuffer().begin(), out.GetBuffer().begin() + 8);
    Archive shortInput(truncated);
    Point3d untouched(9, 9, 9);
    EXPECT_THROW(shortInput >> untouched, ArchiveException);
    EXPECT_EQ(untouched, Point3d(9, 9, 9));
}

TEST(Point3dTest, Point2dArithmeticAndZeroNormalise)
{
    Point2d zero;
    EXPECT_EQ(zero.Normalize(), 0.0);
    EXPECT_EQ(zero, Point2d());
    EXPECT_DOUBLE_EQ(Distance(Point2d(3, 4), Point2d()), 5.0);
    EXPECT_EQ(MidPoint(Point2d(0, 0), Point2d(2, -2)), Point2d(1, -1));
}

TEST(Point3dTest, ProjectionOntoAPlaneGivesTheFootAndTheSignedDistance)
{
    double distance = 0.0;
    bool projected = false;
    const Point3d foot = Point3d(1, 2, 5).ProjectToPlane(Point3d(0, 0, 1), Point3d(0, 0, 3), distance, projected);
    EXPECT_TRUE(projected);
    EXPECT_EQ(foot, Point3d(1, 2, 1));
    EXPECT_DOUBLE_EQ(distance, 4.0);
    Point3d(1, 2, -1).ProjectToPlane(Point3d(0, 0, 1), Point3d(0, 0, 3), distance, projected);
    EXPECT_DOUBLE_EQ(distance, -2.0);
    // A tilted plane: the foot lies on it and the step to it runs along the normal.
    const Point3d tilted = Point3d(3, 0, 0).ProjectToPlane(Point3d(0, 0, 0), Point3d(1, 1, 0), distance, projected);
    EXPECT_TRUE(Near(tilted, Point3d(1.5, -1.5, 0), 1e-6));
    EXPECT_NEAR(distance, 3.0 / std::sqrt(2.0), 1e-6);
    // A zero normal defines no plane.
    EXPECT_EQ(Point3d(1, 2, 3).ProjectToPlane(Point3d(4, 4, 4), Point3d(4, 4, 4), distance, projected), Point3d(1, 2, 3));
    EXPECT_FALSE(projected);
    EXPECT_EQ(distance, 0.0);
}
