#include <tavrel/core/Matrix3x3.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>

#include <tavrel/core/SymmetricEigen.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

namespace {

using Vector = std::array<double, 3>;

Vector ToVector(const Point3d& p) { return {p.x, p.y, p.z}; }

double Dot(const Vector& a, const Vector& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Vector Cross(const Vector& a, const Vector& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Scales to unit length; false (and unchanged) for a zero or non-finite vector.
bool Normalize(Vector& v)
{
    const double length = std::sqrt(Dot(v, v));
    if (!(length > 0.0) || !std::isfinite(length))
        return false;
    for (double& c : v)
        c /= length;
    return true;
}

// Row-vector form of the right-handed rotation by the given angle about a unit axis k:
// M = cI + (1 - c) k kᵀ - s [k]×, the transpose of the usual column-vector matrix.
void SetAxisRotation(double (&m)[3][3], const Vector& k, double radians)
{
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    const double t = 1.0 - c;
    m[0][0] = c + t * k[0] * k[0];
    m[0][1] = t * k[0] * k[1] + s * k[2];
    m[0][2] = t * k[0] * k[2] - s * k[1];
    m[1][0] = t * k[1] * k[0] - s * k[2];
    m[1][1] = c + t * k[1] * k[1];
    m[1][2] = t * k[1] * k[2] + s * k[0];
    m[2][0] = t * k[2] * k[0] + s * k[1];
    m[2][1] = t * k[2] * k[1] - s * k[0];
    m[2][2] = c + t * k[2] * k[2];
}

// A unit vector perpendicular to the unit vector v.
Vector Perpendicular(const Vector& v)
{
    Vector axis{0.0, 0.0, 0.0};
    const double ax = std::abs(v[0]);
    const double ay = std::abs(v[1]);
    const double az = std::abs(v[2]);
    axis[ax <= ay && ax <= az ? 0 : (ay <= az ? 1 : 2)] = 1.0;
    Vector n = Cross(v, axis);
    Normalize(n);
    return n;
}

Point3d ToPoint(const Vector& v) { return Point3d(v[0], v[1], v[2]); }

struct PrincipalAxes {
    Vector centroid{0.0, 0.0, 0.0};
    SymmetricEigenResult<3> eigen{};
};

PrincipalAxes ComputePrincipalAxes(const Point3d::Array& points)
{
    PrincipalAxes result;
    if (points.empty()) {
        result.eigen = SymmetricEigen<3>({{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}});
        return result;
    }
    for (const Point3d& p : points)
        for (int i = 0; i < 3; ++i)
            result.centroid[i] += ToVector(p)[i];
    for (double& c : result.centroid)
        c /= static_cast<double>(points.size());
    std::array<std::array<double, 3>, 3> covariance{};
    for (const Point3d& p : points) {
        const Vector v = ToVector(p);
        const Vector d{v[0] - result.centroid[0], v[1] - result.centroid[1], v[2] - result.centroid[2]};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                covariance[i][j] += d[i] * d[j];
    }
    result.eigen = SymmetricEigen<3>(covariance);
    return result;
}

constexpr double degreesToRadians = std::numbers::pi / 180.0;

} // namespace

void Matrix3x3::SetIdentity()
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m_m[i][j] = i == j ? 1.0 : 0.0;
}

void Matrix3x3::Set(double m00, double m01, double m02, double m10, double m11, double m12, double m20,
                    double m21, double m22)
{
    m_m[0][0] = m00;
    m_m[0][1] = m01;
    m_m[0][2] = m02;
    m_m[1][0] = m10;
    m_m[1][1] = m11;
    m_m[1][2] = m12;
    m_m[2][0] = m20;
    m_m[2][1] = m21;
    m_m[2][2] = m22;
}

void Matrix3x3::SetRotation(const Point3d& axis, double degrees)
{
    Vector k = ToVector(axis);
    if (!Normalize(k)) {
        SetIdentity();
        return;
    }
    SetAxisRotation(m_m, k, degrees * degreesToRadians);
}

void Matrix3x3::SetRotation(const Point3d& from, const Point3d& to)
{
    Vector a = ToVector(from);
    Vector b = ToVector(to);
    if (!Normalize(a) || !Normalize(b)) {
        SetIdentity();
        return;
    }
    Vector axis = Cross(a, b);
    const double sine = std::sqrt(Dot(axis, axis));
    const double cosine = Dot(a, b);
    if (sine < 1e-12) {
        if (cosine > 0.0)
            SetIdentity();
        else
            SetAxisRotation(m_m, Perpendicular(a), std::numbers::pi);
        return;
    }
    for (double& c : axis)
        c /= sine;
    SetAxisRotation(m_m, axis, std::atan2(sine, cosine));
}

void Matrix3x3::SetRotation(const Point3d& v) { SetRotation(Point3d(0.0, 0.0, 1.0), v); }

void Matrix3x3::SetRotation(int axis, double degrees)
{
    if (axis < 0 || axis > 2)
        throw std::invalid_argument("Matrix3x3::SetRotation: the coordinate axis must be 0, 1 or 2");
    Vector k{0.0, 0.0, 0.0};
    k[axis] = 1.0;
    SetAxisRotation(m_m, k, degrees * degreesToRadians);
}

void Matrix3x3::Transpose()
{
    std::swap(m_m[0][1], m_m[1][0]);
    std::swap(m_m[0][2], m_m[2][0]);
    std::swap(m_m[1][2], m_m[2][1]);
}

double Matrix3x3::Determinant() const
{
    return m_m[0][0] * (m_m[1][1] * m_m[2][2] - m_m[1][2] * m_m[2][1]) -
           m_m[0][1] * (m_m[1][0] * m_m[2][2] - m_m[1][2] * m_m[2][0]) +
           m_m[0][2] * (m_m[1][0] * m_m[2][1] - m_m[1][1] * m_m[2][0]);
}

bool Matrix3x3::Invert()
{
    const double det = Determinant();
    // Singular relative to the size of the rows, so the test does not depend on the units.
    double scale = 1.0;
    for (const auto& row : m_m)
        scale *= std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
    if (!std::isfinite(det) || std::abs(det) <= 1e-14 * scale || det == 0.0)
        return false;
    Matrix3x3 inverse;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            // Cofactor of element (j, i), laid out as the transposed adjugate.
            const int r0 = (j + 1) % 3;
            const int r1 = (j + 2) % 3;
            const int c0 = (i + 1) % 3;
            const int c1 = (i + 2) % 3;
            inverse.m_m[i][j] = (m_m[r0][c0] * m_m[r1][c1] - m_m[r0][c1] * m_m[r1][c0]) / det;
        }
    }
    *this = inverse;
    return true;
}

Matrix3x3& Matrix3x3::operator*=(const Matrix3x3& m)
{
    double product[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            product[i][j] = m_m[i][0] * m.m_m[0][j] + m_m[i][1] * m.m_m[1][j] + m_m[i][2] * m.m_m[2][j];
    std::copy(&product[0][0], &product[0][0] + 9, &m_m[0][0]);
    return *this;
}

void Matrix3x3::BestFittingLine(const Point3d::Array& points, Point3d& p0, Point3d& p1)
{
    const PrincipalAxes axes = ComputePrincipalAxes(points);
    const Vector& u = axes.eigen.vectors[2];
    double low = 0.0;
    double high = 0.0;
    if (!points.empty()) {
        low = std::numeric_limits<double>::max();
        high = std::numeric_limits<double>::lowest();
        for (const Point3d& p : points) {
            const Vector v = ToVector(p);
            const double t = Dot({v[0] - axes.centroid[0], v[1] - axes.centroid[1], v[2] - axes.centroid[2]}, u);
            low = std::min(low, t);
            high = std::max(high, t);
        }
    }
    const Vector& c = axes.centroid;
    p0 = Point3d(c[0] + low * u[0], c[1] + low * u[1], c[2] + low * u[2]);
    p1 = Point3d(c[0] + high * u[0], c[1] + high * u[1], c[2] + high * u[2]);
}

void Matrix3x3::BestFittingPlane(const Point3d::Array& points, std::array<Point3d, 4>& corners)
{
    const PrincipalAxes axes = ComputePrincipalAxes(points);
    const Vector& normal = axes.eigen.vectors[0];
    const Vector& u = axes.eigen.vectors[2];
    const Vector v = Cross(normal, u);
    double radius = 1.0;
    for (const Point3d& p : points) {
        const Vector q = ToVector(p);
        const Vector d{q[0] - axes.centroid[0], q[1] - axes.centroid[1], q[2] - axes.centroid[2]};
        const double du = Dot(d, u);
        const double dv = Dot(d, v);
        radius = std::max(radius, std::sqrt(du * du + dv * dv));
    }
    const Vector& c = axes.centroid;
    const Vector directions[4] = {u, v, {-u[0], -u[1], -u[2]}, {-v[0], -v[1], -v[2]}};
    for (int k = 0; k < 4; ++k)
        corners[k] = ToPoint({c[0] + radius * directions[k][0], c[1] + radius * directions[k][1],
                              c[2] + radius * directions[k][2]});
}

void Matrix3x3::Serialize(Archive& ar)
{
    if (ar.IsStoring())
        ar << *this;
    else
        ar >> *this;
}

Archive& operator<<(Archive& ar, const Matrix3x3& m)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            ar << m(i, j);
    return ar;
}

Archive& operator>>(Archive& ar, Matrix3x3& m)
{
    Matrix3x3 read;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            ar >> read(i, j);
    m = read;
    return ar;
}

} // namespace Tavrel

