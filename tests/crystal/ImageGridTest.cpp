#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/crystal/ImageGrid.h>

using namespace Tavrel;

namespace {

// Queries against a plain scan of the same points: every point within the radius is visited once,
// however many crowd the query, and a visit that says stop ends the walk there.
TEST(ImageGridTest, QueriesVisitExactlyThePointsWithinTheRadiusAndStopWhenAsked)
{
    ImageGrid grid(Point3d(0, 0, 0), Point3d(10, 10, 10), 200, 0.5);
    std::vector<Point3d> points;
    UniformRandomSequence random(0.0, 1.0);
    random.Seed(5);
    // A crowd of 30 points about (5, 5, 5), then 170 spread over the box.
    for (int i = 0; i < 200; ++i) {
        const double spread = i < 30 ? 0.6 : 10.0;
        const double offset = i < 30 ? 4.7 : 0.0;
        points.emplace_back(offset + spread * random.Next(), offset + spread * random.Next(), offset + spread * random.Next());
        grid.Add(points.back(), {static_cast<std::uint32_t>(i), 7});
    }
    for (const double radius : {0.05, 0.3, 0.5, 1.5}) {
        for (const Point3d& at : {Point3d(5, 5, 5), Point3d(2, 8, 1), points[40], Point3d(0, 0, 0)}) {
            std::vector<std::uint32_t> expected;
            for (std::uint32_t i = 0; i < points.size(); ++i) {
                if (at.Distance2(points[i]) <= radius * radius)
                    expected.push_back(i);
            }
            std::vector<std::uint32_t> visited;
            EXPECT_TRUE(grid.ForEachNear(at, radius, [&](ImageGrid::Tag tag) {
                EXPECT_EQ(tag.index, 7u);
                visited.push_back(tag.record);
                return true;
            }));
            std::vector<std::uint32_t> sorted = visited;
            std::sort(sorted.begin(), sorted.end());
            EXPECT_EQ(sorted, expected) << "radius " << radius;
            // Stopped at the third point, or never when fewer are near.
            std::size_t count = 0;
            const bool finished = grid.ForEachNear(at, radius, [&](ImageGrid::Tag tag) {
                EXPECT_EQ(tag.record, visited[count]);
                return ++count < 3;
            });
            EXPECT_EQ(finished, visited.size() < 3);
            EXPECT_EQ(count, std::min<std::size_t>(visited.size(), 3));
        }
    }
}

// A point beyond the box lies in the nearest cell and is found like any other; a point not finite is
// neither stored nor found.
TEST(ImageGridTest, PointsOutsideTheBoxAreFoundAndPointsNotFiniteAreNot)
{
    const double infinity = std::numeric_limits<double>::infinity();
    ImageGrid grid(Point3d(0, 0, 0), Point3d(10, 10, 10), 100, 0.5);
    const Point3d outside[] = {Point3d(-3, 5, 5), Point3d(14, -2, 30), Point3d(1e30, 1e30, -1e30), Point3d(9.99, 10.01, 0)};
    for (std::uint32_t i = 0; i < 4; ++i)
        grid.Add(outside[i], {i, 0});
    grid.Add(Point3d(std::numeric_limits<double>::quiet_NaN(), 1, 1), {4, 0});
    grid.Add(Point3d(infinity, 1, 1), {5, 0});
    EXPECT_EQ(grid.Size(), 4u);
    for (std::uint32_t i = 0; i < 4; ++i) {
        std::vector<std::uint32_t> found;
        grid.ForEachNear(outside[i], 0.1, [&](ImageGrid::Tag tag) {
            found.push_back(tag.record);
            return true;
        });
        EXPECT_EQ(found, std::vector<std::uint32_t>{i});
    }
    EXPECT_TRUE(grid.ForEachNear(Point3d(infinity, 1, 1), 1e30, [](ImageGrid::Tag) { return false; }));
}

} // namespace
