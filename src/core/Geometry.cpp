#include <tavrel/core/Geometry.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include <tavrel/core/SymmetricEigen.h>

namespace Tavrel {

namespace {

constexpr double radiansToDegrees = 180.0 / std::numbers::pi;

using Vector = std::array<double, 3>;

Vector Difference(const Point3d& a, const Point3d& b)
{
    return {double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z};
}

double Dot(const Vector& a, const Vector& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Vector Cross(const Vector& a, const Vector& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

Vector Centroid(const Point3d::Array& points)
{
    Vector sum{0.0, 0.0, 0.0};
    for (const Point3d& p : points) {
        sum[0] += p.x;
        sum[1] += p.y;
        sum[2] += p.z;
    }
    const double n = static_cast<double>(points.size());
    return {sum[0] / n, sum[1] / n, sum[2] / n};
}

Vector Centred(const Point3d& p, const Vector& c) { return {p.x - c[0], p.y - c[1], p.z - c[2]}; }

// The unit eigenvector of the largest eigenvalue. When that eigenvalue is repeated (no points
// apart from the centroid, or collinear points, whose turn about their line is free), every vector
// of its eigenspace fits equally well: take the one nearest the identity quaternion, so that the
// fit turns no more than it must.
std::array<double, 4> BestQuaternion(const SymmetricEigenResult<4>& eigen)
{
    const double largest = eigen.values[3];
    const double tolerance = 1e-9 * std::max(std::abs(eigen.values[0]), std::abs(largest)) + 1e-300;
    std::array<double, 4> q{0.0, 0.0, 0.0, 0.0};
    for (std::size_t k = 0; k < 4; ++k) {
        if (eigen.values[k] < largest - tolerance)
            continue;
        for (std::size_t i = 0; i < 4; ++i)
            q[i] += eigen.vectors[k][0] * eigen.vectors[k][i];
    }
    const double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (!(norm > 1e-6))
        return eigen.vectors[3];
    for (double& c : q)
        c /= norm;
    return q;
}

} // namespace

double Angle(const Point3d& a, const Point3d& b, const Point3d& c)
{
    const Vector u = Difference(a, b);
    const Vector v = Difference(c, b);
    const Vector w = Cross(u, v);
    // atan2 keeps full precision near 0 and 180 degrees, where acos does not.
    return std::atan2(std::sqrt(Dot(w, w)), Dot(u, v)) * radiansToDegrees;
}

double Dihedral(const Point3d& a, const Point3d& b, const Point3d& c, const Point3d& d)
{
    const Vector b1 = Difference(b, a);
    const Vector b2 = Difference(c, b);
    const Vector b3 = Difference(d, c);
    const Vector n1 = Cross(b1, b2);
    const Vector n2 = Cross(b2, b3);
    const double y = std::sqrt(Dot(b2, b2)) * Dot(b1, n2);
    const double x = Dot(n1, n2);
    const double degrees = std::atan2(y, x) * radiansToDegrees;
    return degrees == -180.0 ? 180.0 : degrees;
}

double RMSBestFit(const Point3d::Array& from, const Point3d::Array& to, Point3d::Array& points)
{
    if (from.size() != to.size())
        throw std::invalid_argument("RMSBestFit: the two point lists differ in size");
    if (from.empty())
        return 0.0;

    // Horn's closed form: the best rotation is the unit quaternion of the largest eigenvalue of a
    // symmetric 4x4 matrix built from the cross-covariance of the centred point sets.
    const Vector cf = Centroid(from);
    const Vector ct = Centroid(to);
    double s[3][3] = {};
    for (std::size_t k = 0; k < from.size(); ++k) {
        const Vector a = Centred(from[k], cf);
        const Vector b = Centred(to[k], ct);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                s[i][j] += a[i] * b[j];
    }
    const double sxx = s[0][0], sxy = s[0][1], sxz = s[0][2];
    const double syx = s[1][0], syy = s[1][1], syz = s[1][2];
    const double szx = s[2][0], szy = s[2][1], szz = s[2][2];
    const std::array<std::array<double, 4>, 4> n = {{
        {sxx + syy + szz, syz - szy, szx - sxz, sxy - syx},
        {syz - szy, sxx - syy - szz, sxy + syx, szx + sxz},
        {szx - sxz, sxy + syx, -sxx + syy - szz, syz + szy},
        {sxy - syx, szx + sxz, syz + szy, -sxx - syy + szz},
    }};
    const std::array<double, 4> q = BestQuaternion(SymmetricEigen<4>(n));
    const double q0 = q[0], q1 = q[1], q2 = q[2], q3 = q[3];
    // Column-vector rotation: b = R a.
    const double r[3][3] = {
        {q0 * q0 + q1 * q1 - q2 * q2 - q3 * q3, 2.0 * (q1 * q2 - q0 * q3), 2.0 * (q1 * q3 + q0 * q2)},
        {2.0 * (q2 * q1 + q0 * q3), q0 * q0 - q1 * q1 + q2 * q2 - q3 * q3, 2.0 * (q2 * q3 - q0 * q1)},
        {2.0 * (q3 * q1 - q0 * q2), 2.0 * (q3 * q2 + q0 * q1), q0 * q0 - q1 * q1 - q2 * q2 + q3 * q3},
    };
    const auto apply = [&](const Point3d& p) {
        const Vector a = Centred(p, cf);
        return Vector{r[0][0] * a[0] + r[0][1] * a[1] + r[0][2] * a[2] + ct[0],
                      r[1][0] * a[0] + r[1][1] * a[1] + r[1][2] * a[2] + ct[1],
                      r[2][0] * a[0] + r[2][1] * a[1] + r[2][2] * a[2] + ct[2]};
    };

    // The deviation is measured before the points move, since `points` may be `from`.
    double sum = 0.0;
    for (std::size_t k = 0; k < from.size(); ++k) {
        const Vector moved = apply(from[k]);
        const Vector d{moved[0] - to[k].x, moved[1] - to[k].y, moved[2] - to[k].z};
        sum += Dot(d, d);
    }
    for (Point3d& p : points) {
        const Vector moved = apply(p);
        p = Point3d(moved[0], moved[1], moved[2]);
    }
    return std::sqrt(sum / static_cast<double>(from.size()));
}

bool IsPlanar(const Point3d::Array& points, double tolerance)
{
    if (points.size() <= 3)
        return true;
    const Vector c = Centroid(points);
    std::array<std::array<double, 3>, 3> covariance{};
    for (const Point3d& p : points) {
        const Vector d = Centred(p, c);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                covariance[i][j] += d[i] * d[j];
    }
    const Vector normal = SymmetricEigen<3>(covariance).vectors[0];
    for (const Point3d& p : points)
        if (!(std::abs(Dot(Centred(p, c), normal)) <= tolerance))
            return false;
    return true;
}

} // namespace Tavrel
