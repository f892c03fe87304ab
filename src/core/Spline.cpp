#include <tavrel/core/Spline.h>

#include <cmath>
#include <cstddef>
#include <vector>

namespace Tavrel {

namespace {

struct Vec {
    double x = 0.0, y = 0.0, z = 0.0;
};

Vec ToVec(const Point3d& p)
{
    return {p.x, p.y, p.z};
}

Vec operator+(const Vec& a, const Vec& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

Vec operator-(const Vec& a, const Vec& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vec operator*(double s, const Vec& a)
{
    return {s * a.x, s * a.y, s * a.z};
}

Point3d ToPoint(const Vec& v)
{
    return Point3d(v.x, v.y, v.z);
}

bool IsZero(const Point3d& p)
{
    return p.x == 0.0f && p.y == 0.0f && p.z == 0.0f;
}

} // namespace

int Spline::GetCubicSpline(std::span<const Point3d> points, Point3d::Array& out) const
{
    out.clear();
    const std::size_t n = points.size();
    if (n < 2) {
        out.assign(points.begin(), points.end());
        return static_cast<int>(out.size());
    }
    // Second derivatives m of the natural spline with unit spans: m[0] = m[n-1] = 0 and
    // m[i-1] + 4 m[i] + m[i+1] = 6 (P[i+1] - 2 P[i] + P[i-1]), solved by the Thomas algorithm.
    std::vector<Vec> m(n);
    std::vector<double> c(n, 0.0);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const Vec rhs = 6.0 * (ToVec(points[i + 1]) - 2.0 * ToVec(points[i]) + ToVec(points[i - 1]));
        const double denominator = 4.0 - c[i - 1];
        c[i] = 1.0 / denominator;
        m[i] = (1.0 / denominator) * (rhs - m[i - 1]);
    }
    for (std::size_t i = n - 2; i >= 1; --i)
        m[i] = m[i] - c[i] * m[i + 1];

    const int samples = m_granularity;
    out.reserve((n - 1) * static_cast<std::size_t>(samples) + 1);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const Vec p0 = ToVec(points[i]);
        const Vec p1 = ToVec(points[i + 1]);
        for (int s = 0; s < samples; ++s) {
            const double t = static_cast<double>(s) / samples;
            const double u = 1.0 - t;
            // The cubic with these end values and second derivatives over a unit span.
            out.push_back(
                ToPoint(u * p0 + t * p1 + ((u * u * u - u) / 6.0) * m[i] + ((t * t * t - t) / 6.0) * m[i + 1]));
        }
    }
    out.push_back(points[n - 1]);
    return static_cast<int>(out.size());
}

int Spline::GetHermiteSpline(std::span<const Point3d> points, Point3d::Array& out, const Point3d* startTangent,
                             const Point3d* endTangent, int option, int samplesPerSpan, double weight) const
{
    out.clear();
    const std::size_t n = points.size();
    if (n < 2) {
        out.assign(points.begin(), points.end());
        return static_cast<int>(out.size());
    }
    if (!(weight > 0.0 && std::isfinite(weight)))
        weight = 2.0;
    const int samples = samplesPerSpan < 1 ? 1 : samplesPerSpan;

    // The neighbours beyond the ends: reflections unless given as points.
    Vec before = 2.0 * ToVec(points[0]) - ToVec(points[1]);
    Vec after = 2.0 * ToVec(points[n - 1]) - ToVec(points[n - 2]);
    if (startTangent && (option & StartIsPoint) && !IsZero(*startTangent))
        before = ToVec(*startTangent);
    if (endTangent && (option & EndIsPoint) && !IsZero(*endTangent))
        after = ToVec(*endTangent);
    const auto tangent = [&](std::size_t i) {
        if (i == 0 && startTangent && !(option & StartIsPoint))
            return ToVec(*startTangent);
        if (i == n - 1 && endTangent && !(option & EndIsPoint))
            return ToVec(*endTangent);
        const Vec previous = i == 0 ? before : ToVec(points[i - 1]);
        const Vec next = i == n - 1 ? after : ToVec(points[i + 1]);
        return (1.0 / weight) * (next - previous);
    };

    out.reserve((n - 1) * static_cast<std::size_t>(samples) + 1);
    Vec t0 = tangent(0);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const Vec t1 = tangent(i + 1);
        for (int s = 0; s < samples; ++s)
            out.push_back(
                HermiteSingle(points[i], points[i + 1], ToPoint(t0), ToPoint(t1), static_cast<double>(s) / samples));
        t0 = t1;
    }
    out.push_back(points[n - 1]);
    return static_cast<int>(out.size());
}

Point3d Spline::HermiteSingle(const Point3d& p0, const Point3d& p1, const Point3d& t0, const Point3d& t1, double t)
{
    const double t2 = t * t;
    const double t3 = t2 * t;
    const double h00 = 2.0 * t3 - 3.0 * t2 + 1.0;
    const double h10 = t3 - 2.0 * t2 + t;
    const double h01 = -2.0 * t3 + 3.0 * t2;
    const double h11 = t3 - t2;
    return ToPoint(h00 * ToVec(p0) + h10 * ToVec(t0) + h01 * ToVec(p1) + h11 * ToVec(t1));
}

} // namespace Tavrel
