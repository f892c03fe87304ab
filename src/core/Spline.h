// Spline: samples smooth curves through guide points, as a natural cubic spline or as Hermite spans.
#pragma once

#include <cstdint>
#include <span>

#include <tavrel/core/Point3d.h>

namespace Tavrel {

// A sampler of curves through guide points, parameterised uniformly (one unit per span). Both
// samplers pass through every guide point: span i is sampled at t = s / samples for s = 0 ..
// samples - 1, and the last guide point closes the curve, so n points give (n - 1) * samples + 1
// samples (one for a single point, none for no point).
class Spline {
public:
    // The kind of curve a sampler stands for; the chain displays use a cubic sampler for ribbons and
    // Hermite ones for tubes.
    enum class Type : std::int32_t { Cubic = 2, Hermite = 3 };

    // Options of GetHermiteSpline: the given start (end) vector is not a tangent but a point before
    // the first (after the last) guide point, from which the end's tangent is taken as from a
    // neighbour; a zero vector there means none.
    static constexpr int StartIsPoint = 1;
    static constexpr int EndIsPoint = 2;

    static constexpr int DefaultGranularity = 8;

    explicit Spline(Type type = Type::Cubic) : m_type(type) {}

    Type GetType() const { return m_type; }
    // Samples per span of GetCubicSpline; values below 1 count as 1.
    void SetGranularity(int samplesPerSpan) { m_granularity = samplesPerSpan < 1 ? 1 : samplesPerSpan; }
    int GetGranularity() const { return m_granularity; }

    // The natural cubic spline through the points (second derivative 0 at both ends), sampled at the
    // granularity into out (replaced); returns the number of samples. Two points give their line.
    int GetCubicSpline(std::span<const Point3d> points, Point3d::Array& out) const;

    // Cubic Hermite spans through the points, samplesPerSpan (at least 1) samples each, into out
    // (replaced); returns the number of samples. The tangent at point i is (P[i+1] - P[i-1]) / weight
    // (weight 2 gives the Catmull-Rom curve; a weight that is not positive and finite counts as 2).
    // At the ends a missing neighbour is the reflection of the next point through the end point,
    // unless the end's vector is given: a tangent as it stands, or (option StartIsPoint / EndIsPoint)
    // the neighbour itself when it is not the zero vector.
    int GetHermiteSpline(std::span<const Point3d> points, Point3d::Array& out, const Point3d* startTangent,
                         const Point3d* endTangent, int option, int samplesPerSpan, double weight) const;

    // The cubic Hermite curve from p0 (tangent t0) to p1 (tangent t1) at t in [0, 1].
    static Point3d HermiteSingle(const Point3d& p0, const Point3d& p1, const Point3d& t0, const Point3d& t1, double t);

private:
    Type m_type;
    int m_granularity = DefaultGranularity;
};

} // namespace Tavrel
