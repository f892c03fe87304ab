#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <cmath>
#include <stdexcept>

#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/platform/Archive.h>
#include "support/Near.h"

using namespace Tavrel;
using Tavrel::test::Near;

namespace {

Point3d Unit(Point3d p)
{
    p.Normalize();
    return p;
}

} // namespace

TEST(MatrixTest, AxisRotationsAreRightHandedInDegrees)
{
    EXPECT_EQ(Matrix3x3(), Matrix3x3(1, 0, 0, 0, 1, 0, 0, 0, 1));
    Matrix3x3 m;
    m.SetRotation(Point3d(0, 0, 2), 90);
    EXPECT_TRUE(Near(Point3d(1, 0, 0) * m, Point3d(0, 1, 0)));
    m.SetRotation(0, 90);
    EXPECT_TRUE(Near(Point3d(0, 1, 0) * m, Point3d(0, 0, 1)));
    Matrix4x4 m4;
    m4.SetRotation(1, 90);
    EXPECT_TRUE(Near(Point3d(0, 0, 1) * m4, Point3d(1, 0, 0)));
    // Agrees with the point's own rotations.
    m4.SetRotation(2, 33);
    EXPECT_TRUE(Near(Point3d(1, 2, 3) * m4, Point3d(1, 2, 3).RotateAboutZ(33)));
    EXPECT_THROW(m4.SetRotation(3, 10), std::invalid_argument);
    m4.SetRotation(Point3d::origin, 45);
    EXPECT_EQ(m4, Matrix4x4());
}

TEST(MatrixTest, DirectionOntoDirectionIncludingEqualOppositeAndZero)
{
    UniformRandomSequence random(-1, 1, 7);
    for (int i = 0; i < 200; ++i) {
        const Point3d from(random(), random(), random());
        const Point3d to(random(), random(), random());
        Matrix3x3 m;
        m.SetRotation(from, to);
        EXPECT_TRUE(Near(Unit(from * m), Unit(to)));
        EXPECT_NEAR(m.Determinant(), 1.0, 1e-9);
    }
    Matrix3x3 same;
    same.SetRotation(Point3d(1, 2, 3), Point3d(2, 4, 6));
    EXPECT_EQ(same, Matrix3x3());
    for (const Point3d& d : {Point3d(1, 0, 0), Point3d(0, 0, -1), Point3d(1, 2, 3)}) {
        Matrix4x4 opposite;
        opposite.SetRotation(d, -d);
        EXPECT_TRUE(Near(d * opposite, -d));
        EXPECT_NEAR(opposite.GetMatrix3x3().Determinant(), 1.0, 1e-9);
    }
    Matrix3x3 zero;
    zero.SetRotation(Point3d::origin, Point3d(1, 0, 0));
    EXPECT_EQ(zero, Matrix3x3());
    // z onto v, and its inverse brings v back onto z.
    Matrix4x4 zOnto;
    const Point3d v(1, -2, 2);
    zOnto.SetRotation(v);
    EXPECT_TRUE(Near(Point3d(0, 0, 1) * zOnto, v / 3.0));
    ASSERT_TRUE(zOnto.Invert());
    Point3d back = v;
    zOnto.Rotate(back);
    EXPECT_TRUE(Near(back, Point3d(0, 0, 3)));
}

TEST(MatrixTest, RotationAboutAnAxisThroughACentre)
{
    const Point3d centre(1, 1, 0);
    Matrix4x4 m;
    m.SetRotation(Point3d(0, 0, 1), centre, 90);
    EXPECT_TRUE(Near(centre * m, centre));
    EXPECT_TRUE(Near(Point3d(2, 1, 5) * m, Point3d(1, 2, 5)));
    // The two-point form turns about the line from a to b.
    const Matrix4x4 line(Point3d(1, 1, 0), Point3d(1, 1, 3), 90);
    EXPECT_EQ(line, m);
    // Rotate ignores the translation, Transform applies it.
    Point3d p(2, 1, 5);
    m.Rotate(p);
    EXPECT_TRUE(Near(p, Point3d(-1, 2, 5)));
}

TEST(MatrixTest, InvertUndoesARigidTransformAndRefusesSingular)
{
    Matrix4x4 m;
    m.SetRotation(Point3d(1, 2, -1), Point3d(3, -4, 5), 71);
    Matrix4x4 shift;
    shift.SetTranslation(Point3d(-2, 0.5, 9));
    m *= shift;
    Matrix4x4 inverse = m;
    ASSERT_TRUE(inverse.Invert());
    EXPECT_TRUE(Near(m * inverse, Matrix4x4(), 1e-12));
    const Point3d p(0.3, -7, 2);
    EXPECT_TRUE(Near(p * m * inverse, p));

    Matrix4x4 singular;
    singular.Set({1, 2, 3, 0, 2, 4, 6, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    const Matrix4x4 before = singular;
    EXPECT_FALSE(singular.Invert());
    EXPECT_EQ(singular, before);
    Matrix3x3 flat(1, 2, 3, 2, 4, 6, 0, 0, 1);
    EXPECT_FALSE(flat.Invert());

    Matrix3x3 cell(10, 0, 0, 2, 12, 0, 1, 3, 15);
    Matrix3x3 cellInverse = cell;
    ASSERT_TRUE(cellInverse.Invert());
    EXPECT_TRUE(Near(Point3d(0.25, 0.5, 0.75) * cell * cellInverse, Point3d(0.25, 0.5, 0.75)));
}

TEST(MatrixTest, ProductsApplyLeftFactorFirst)
{
    Matrix4x4 turn;
    turn.SetRotation(2, 90);
    Matrix4x4 shift;
    shift.SetTranslation(Point3d(5, 0, 0));
    EXPECT_TRUE(Near(Point3d(1, 0, 0) * (turn * shift), Point3d(5, 1, 0)));
    EXPECT_TRUE(Near(Point3d(1, 0, 0) * (shift * turn), Point3d(0, 6, 0)));
    EXPECT_EQ((turn * shift).GetTranslation(), Point3d(5, 0, 0));

    Matrix3x3 rotation;
    rotation.SetRotation(Point3d(1, 1, 1), 120);
    Matrix3x3 transposed = rotation;
    transposed.Transpose();
    Matrix3x3 inverse = rotation;
    ASSERT_TRUE(inverse.Invert());
    EXPECT_TRUE(Near(inverse, transposed, 1e-12));
    EXPECT_TRUE(Near(Point3d(1, 0, 0) * rotation, Point3d(0, 1, 0)));
}

TEST(MatrixTest, SerializeWritesDoublesRowByRow)
{
    Matrix4x4 m;
    m.SetRotation(Point3d(1, 2, 3), Point3d(0.5, 0, 0), 33.3);
    Archive out;
    m.Serialize(out);
    out << Matrix3x3(1, 2, 3, 4, 5, 6, 7, 8, 9);
    ASSERT_EQ(out.GetBuffer().size(), 16u * 8u + 9u * 8u);
    double first = 0.0;
    std::memcpy(&first, out.GetBuffer().data() + 8, sizeof first);
    EXPECT_EQ(first, m(0, 1));

    Archive in(out.GetBuffer());
    Matrix4x4 read;
    read.Serialize(in);
    Matrix3x3 read3;
    in >> read3;
    EXPECT_EQ(read, m);
    EXPECT_EQ(read3, Matrix3x3(1, 2, 3, 4, 5, 6, 7, 8, 9));
}

TEST(MatrixTest, BestFittingLineAndPlane)
{
    Point3d::Array line;
    for (int i = 0; i < 5; ++i)
        line.push_back(Point3d(1 + i, 2 + 2 * i, -i));
    Point3d p0;
    Point3d p1;
    Matrix3x3::BestFittingLine(line, p0, p1);
    EXPECT_NEAR(Distance(p0, p1), Distance(line.front(), line.back()), 1e-5);
    EXPECT_TRUE(Near(MidPoint(p0, p1), line[2]));

    Point3d::Array plane = {Point3d(0, 0, 1), Point3d(4, 0, 1), Point3d(4, 2, 1), Point3d(0, 2, 1), Point3d(1, 1, 1)};
    std::array<Point3d, 4> corners;
    Matrix3x3::BestFittingPlane(plane, corners);
    const Point3d centre = (corners[0] + corners[1] + corners[2] + corners[3]) / 4.0;
    EXPECT_TRUE(Near(centre, Point3d(1.8, 1, 1)));
    for (const Point3d& c : corners)
        EXPECT_NEAR(c.z, 1.0, 1e-5);
    const Point3d normal = Unit((corners[0] - centre).Cross(corners[1] - centre));
    EXPECT_NEAR(std::abs(normal.z), 1.0, 1e-6);
    EXPECT_NEAR(Distance(corners[0], corners[1]), Distance(corners[1], corners[2]), 1e-5);
    EXPECT_NEAR(Distance(corners[0], corners[2]), Distance(corners[1], corners[3]), 1e-5);

    // Too few points for a fit: finite answers, no failure.
    for (const Point3d::Array& few : {Point3d::Array{}, Point3d::Array{Point3d(1, 2, 3)}}) {
        Matrix3x3::BestFittingLine(few, p0, p1);
        Matrix3x3::BestFittingPlane(few, corners);
        EXPECT_EQ(p0, p1);
        for (const Point3d& c : corners)
            EXPECT_TRUE(std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z));
    }
}

TEST(Matrix4x4Test, AffineInverseIgnoresTheSizeOfTheTranslation)
{
    Matrix4x4 far;
    far.SetTranslation(Point3d(1e14, 0.0, 0.0));
    ASSERT_TRUE(far.Invert());
    EXPECT_NEAR(far(3, 0), -1e14, 1e7);  // the translation went through a float
    Matrix4x4 turned;
    turned.SetRotation(Point3d(0.0, 0.0, 1.0), 90.0);
    Matrix4x4 moved;
    moved.SetTranslation(Point3d(1.0, 2.0, 3.0));
    turned *= moved;
    Matrix4x4 inverse = turned;
    ASSERT_TRUE(inverse.Invert());
    const Point3d p(0.5, -1.0, 2.0);
    const Point3d back = (p * turned) * inverse;
    EXPECT_TRUE(Near(back, p, 1e-6));
}
