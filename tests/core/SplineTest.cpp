#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include <tavrel/core/Spline.h>
#include "support/Near.h"

using namespace Tavrel;
using Tavrel::test::Near;

namespace {

const std::vector<Point3d> Zigzag{Point3d(0, 0, 0), Point3d(1, 2, 0), Point3d(2, 0, 1), Point3d(3, 2, 1),
                                  Point3d(4, 0, 0)};

} // namespace

TEST(SplineTest, CubicSplinePassesThroughEveryGuidePointAtItsGranularity)
{
    Spline sampler;
    EXPECT_EQ(sampler.GetType(), Spline::Type::Cubic);
    EXPECT_EQ(sampler.GetGranularity(), Spline::DefaultGranularity);
    sampler.SetGranularity(0);
    EXPECT_EQ(sampler.GetGranularity(), 1);
    sampler.SetGranularity(10);

    Point3d::Array out{Point3d(9, 9, 9)};
    ASSERT_EQ(sampler.GetCubicSpline(Zigzag, out), 41);
    ASSERT_EQ(out.size(), 41u);
    for (std::size_t i = 0; i < Zigzag.size(); ++i)
        EXPECT_TRUE(Near(out[i * 10], Zigzag[i])) << i;
    // Smooth: consecutive samples stay close, and the curve leaves the chords between guide points.
    for (std::size_t i = 1; i < out.size(); ++i)
        EXPECT_LT(Distance(out[i - 1], out[i]), 0.5);
    EXPECT_GT(out[5].y, 1.0f);

    // Collinear points stay on their line; two points give the chord; one or none give themselves.
    const std::vector<Point3d> line{Point3d(0, 0, 0), Point3d(1, 1, 1), Point3d(2, 2, 2), Point3d(3, 3, 3)};
    sampler.GetCubicSpline(line, out);
    for (const Point3d& p : out) {
        EXPECT_NEAR(p.x, p.y, 1e-5);
        EXPECT_NEAR(p.y, p.z, 1e-5);
    }
    EXPECT_EQ(sampler.GetCubicSpline(std::span(line).first(2), out), 11);
    EXPECT_TRUE(Near(out[5], Point3d(0.5, 0.5, 0.5)));
    EXPECT_EQ(sampler.GetCubicSpline(std::span(line).first(1), out), 1);
    EXPECT_EQ(sampler.GetCubicSpline({}, out), 0);
    EXPECT_TRUE(out.empty());
}

TEST(SplineTest, HermiteSpansFollowTheirTangentsWeightsAndEndOptions)
{
    EXPECT_TRUE(
        Near(Spline::HermiteSingle(Point3d(0, 0, 0), Point3d(2, 0, 0), Point3d(1, 1, 0), Point3d(1, -1, 0), 0.0),
             Point3d(0, 0, 0)));
    EXPECT_TRUE(
        Near(Spline::HermiteSingle(Point3d(0, 0, 0), Point3d(2, 0, 0), Point3d(1, 1, 0), Point3d(1, -1, 0), 1.0),
             Point3d(2, 0, 0)));
    // h10(1/2) = 1/8 and h11(1/2) = -1/8: the tangents' y parts add up at the middle.
    EXPECT_TRUE(
        Near(Spline::HermiteSingle(Point3d(0, 0, 0), Point3d(2, 0, 0), Point3d(1, 1, 0), Point3d(1, -1, 0), 0.5),
             Point3d(1.0, 0.25, 0)));

    const Spline tube(Spline::Type::Hermite);
    Point3d::Array out;
    ASSERT_EQ(tube.GetHermiteSpline(Zigzag, out, nullptr, nullptr, 0, 6, 2.0), 25);
    for (std::size_t i = 0; i < Zigzag.size(); ++i)
        EXPECT_TRUE(Near(out[i * 6], Zigzag[i])) << i;

    // A larger weight shortens the tangents: the curve stays nearer its chords.
    Point3d::Array tight;
    tube.GetHermiteSpline(Zigzag, tight, nullptr, nullptr, 0, 6, 8.0);
    Point3d::Array invalid;
    tube.GetHermiteSpline(Zigzag, invalid, nullptr, nullptr, 0, 6, -1.0);
    EXPECT_EQ(invalid, out);
    const auto offChord = [](const Point3d::Array& samples) {
        const Point3d chord = Zigzag[2] - Zigzag[1];
        double most = 0.0;
        for (std::size_t i = 7; i < 12; ++i)
            most = std::max(most, CrossProduct(samples[i] - Zigzag[1], chord).Length() / chord.Length());
        return most;
    };
    EXPECT_LT(offChord(tight), offChord(out));

    // End tangents as given; with the options, the given vectors are neighbours beyond the ends.
    const Point3d up(0, 0, 10);
    Point3d::Array tangent;
    tube.GetHermiteSpline(Zigzag, tangent, &up, nullptr, 0, 6, 2.0);
    EXPECT_GT(tangent[1].z, out[1].z + 0.5f);
    const Point3d before(0, 0, -10);
    Point3d::Array neighbour;
    tube.GetHermiteSpline(Zigzag, neighbour, &before, &up, Spline::StartIsPoint | Spline::EndIsPoint, 6, 2.0);
    EXPECT_GT(neighbour[1].z, out[1].z + 0.5f);
    const Point3d none;
    Point3d::Array unset;
    tube.GetHermiteSpline(Zigzag, unset, &none, &none, Spline::StartIsPoint | Spline::EndIsPoint, 6, 2.0);
    EXPECT_EQ(unset, out);

    EXPECT_EQ(tube.GetHermiteSpline(std::span(Zigzag).first(1), out, nullptr, nullptr, 0, 6, 2.0), 1);
    EXPECT_EQ(tube.GetHermiteSpline(Zigzag, out, nullptr, nullptr, 0, 0, 2.0), 5);
}
