#include <tavrel/symmetry_build/FractionalCoordinates.h>

#include <cmath>

namespace Tavrel {

namespace {

using Vector = std::array<double, 3>;

Vector Row(const Matrix4x4& m, int row)
{
    return {m(row, 0), m(row, 1), m(row, 2)};
}

Vector Cross(const Vector& u, const Vector& v)
{
    return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}

double Dot(const Vector& u, const Vector& v)
{
    return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
}

float Wrap(float x)
{
    const auto wrapped = static_cast<float>(static_cast<double>(x) - std::floor(x));
    return wrapped >= 0.0f && wrapped < 1.0f ? wrapped : 0.0f;
}

double Round(double x)
{
    return std::floor(x + 0.5);
}

} // namespace

bool EqualModuloLattice(const Matrix4x4& a, const Matrix4x4& b)
{
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) {
            double d = a(row, column) - b(row, column);
            if (row == 3 && column < 3)
                d -= Round(d);
            if (!(std::fabs(d) < operationTolerance))
                return false;
        }
    return true;
}

bool EqualWithinTolerance(const Matrix4x4& a, const Matrix4x4& b)
{
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            if (!(std::fabs(a(row, column) - b(row, column)) < operationTolerance))
                return false;
    return true;
}

bool FloorToInt32(double x, std::int32_t& result)
{
    const double whole = std::floor(x);
    if (!(whole >= -2147483648.0 && whole <= 2147483647.0))
        return false;
    result = static_cast<std::int32_t>(whole);
    return true;
}

Matrix4x4 NullMatrix()
{
    Matrix4x4 m;
    m.Set({});
    return m;
}

bool InvertAffine(const Matrix4x4& m, Matrix4x4& inverse)
{
    const Vector r0 = Row(m, 0);
    const Vector r1 = Row(m, 1);
    const Vector r2 = Row(m, 2);
    const Vector t = Row(m, 3);
    Vector c0 = Cross(r1, r2);
    Vector c1 = Cross(r2, r0);
    Vector c2 = Cross(r0, r1);
    // The three triple products are equal; their mean evens out rounding.
    const double det = (Dot(r2, c2) + Dot(r1, c1) + Dot(r0, c0)) / 3.0;
    if (det == 0.0) {
        inverse = NullMatrix();
        return false;
    }
    for (Vector* c : {&c0, &c1, &c2})
        for (double& x : *c)
            x /= det;
    const double values[16] = {c0[0], c1[0], c2[0], 0.0,          //
                               c0[1], c1[1], c2[1], 0.0,          //
                               c0[2], c1[2], c2[2], 0.0,          //
                               -Dot(t, c0), -Dot(t, c1), -Dot(t, c2), 1.0};
    inverse.Set(values);
    return true;
}

Point3d WrapToUnitCell(const Point3d& p)
{
    Point3d w;
    w.x = Wrap(p.x);
    w.y = Wrap(p.y);
    w.z = Wrap(p.z);
    return w;
}

Point3d GetLatticeShift(const Point3d& p)
{
    const Point3d w = WrapToUnitCell(p);
    return Point3d(Round(double(p.x) - w.x), Round(double(p.y) - w.y), Round(double(p.z) - w.z));
}

Point3d GetNearestLatticeDifference(const Point3d& a, const Point3d& b)
{
    return Point3d(Round(double(b.x) - a.x), Round(double(b.y) - a.y), Round(double(b.z) - a.z));
}

Point3d RoundToLattice(const Point3d& p)
{
    return Point3d(Round(p.x), Round(p.y), Round(p.z));
}

Point3d ReduceToNearestImage(const Point3d& p)
{
    return Point3d(p.x - Round(p.x), p.y - Round(p.y), p.z - Round(p.z));
}

std::array<double, 3> GetAxisExtents(const Matrix3x3& m, double r)
{
    std::array<double, 3> extents;
    for (int i = 0; i < 3; ++i)
        extents[static_cast<std::size_t>(i)] =
            2.0 * r * std::sqrt(m(0, i) * m(0, i) + m(1, i) * m(1, i) + m(2, i) * m(2, i));
    return extents;
}

} // namespace Tavrel
