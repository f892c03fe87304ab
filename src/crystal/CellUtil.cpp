#include <tavrel/crystal/CellUtil.h>

#include <algorithm>
#include <cmath>

namespace Tavrel::CellUtil {

namespace {

constexpr double Epsilon = 1.1920928955078125e-7;
constexpr double Radians = 0.017453292519943295;
constexpr double Degrees = 57.29577951308232;

double AngleBetween(const Point3d& u, const Point3d& v)
{
    const double cosine = u.Dot(v) / (u.Length() * v.Length());
    return std::acos(std::clamp(cosine, -1.0, 1.0)) * Degrees;
}

} // namespace

bool ParametersFromVectors(const Point3d vectors[3], double angles[3], double lengths[3])
{
    for (int i = 0; i < 3; ++i) {
        lengths[i] = vectors[i].Length();
        if (!(lengths[i] >= Epsilon))
            return false;
    }
    angles[0] = AngleBetween(vectors[1], vectors[2]);
    angles[1] = AngleBetween(vectors[0], vectors[2]);
    angles[2] = AngleBetween(vectors[0], vectors[1]);
    return true;
}

void CellMatrixFromParameters(const double lengths[3], const double angles[3], double m[9], CellOrientation o)
{
    const double a = lengths[0];
    const double b = lengths[1];
    const double c = lengths[2];
    const double alpha = angles[0] * Radians;
    const double beta = angles[1] * Radians;
    const double gamma = angles[2] * Radians;
    double A[3] = {};
    double B[3] = {};
    double C[3] = {};
    if (o == OrientationAAlongX) {
        A[0] = a;
        B[0] = b * std::cos(gamma);
        B[1] = b * std::sin(gamma);
        C[0] = c * std::cos(beta);
        C[1] = (b * c * std::cos(alpha) - B[0] * C[0]) / B[1];
        C[2] = std::sqrt(c * c - C[0] * C[0] - C[1] * C[1]);
    } else if (o == OrientationCAlongZ) {
        C[2] = c;
        B[1] = b * std::sin(alpha);
        B[2] = b * std::cos(alpha);
        A[2] = a * std::cos(beta);
        A[1] = (a * b * std::cos(gamma) - A[2] * B[2]) / B[1];
        A[0] = std::sqrt(a * a - A[1] * A[1] - A[2] * A[2]);
    } else {
        return;
    }
    const double values[9] = {A[0], B[0], C[0], A[1], B[1], C[1], A[2], B[2], C[2]};
    for (int i = 0; i < 9; ++i)
        m[i] = std::abs(values[i]) < Epsilon ? 0.0 : values[i];
}

void PlaneCellMatrixFromParameters(const double lengths[2], double theta, double m[9], CellOrientation o)
{
    if (o != OrientationPlane)
        return;
    const double radians = theta * Radians;
    const auto clean = [](double value) { return std::abs(value) < Epsilon ? 0.0 : value; };
    const double A[3] = {clean(lengths[0]), 0.0, 0.0};
    const double B[3] = {clean(lengths[1] * std::cos(radians)), clean(lengths[1] * std::sin(radians)), 0.0};
    // B x A, made a unit vector (a zero vector stays zero).
    double N[3] = {B[1] * A[2] - B[2] * A[1], B[2] * A[0] - B[0] * A[2], B[0] * A[1] - B[1] * A[0]};
    const double length = std::sqrt(N[0] * N[0] + N[1] * N[1] + N[2] * N[2]);
    if (length > 0.0) {
        for (double& component : N)
            component /= length;
    }
    const double values[9] = {A[0], B[0], N[0], A[1], B[1], N[1], A[2], B[2], N[2]};
    std::copy(values, values + 9, m);
}

} // namespace Tavrel::CellUtil
