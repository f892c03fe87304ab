#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include <tavrel/core/NeighborList.h>
#include <tavrel/core/UniformRandomSequence.h>

using namespace Tavrel;

namespace {

std::vector<std::int32_t> BruteForce(const Point3d::Array& points, const Point3d& p, double radius)
{
    std::vector<std::int32_t> result;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (Distance2(points[i], p) <= radius * radius)
            result.push_back(static_cast<std::int32_t>(i));
    return result;
}

} // namespace

TEST(NeighborListTest, MatchesBruteForceOnRandomData)
{
    UniformRandomSequence random(-20, 20, 11);
    Point3d::Array points;
    for (int i = 0; i < 3000; ++i)
        points.push_back(Point3d(random(), random(), random() * 0.1));
    // Duplicates and points exactly on cell boundaries.
    points.push_back(points[5]);
    points.push_back(Point3d(2, -4, 0));

    for (const double cellSize : {0.7, 2.5, 50.0}) {
        NeighborList list(cellSize, 1003);
        for (std::size_t i = 0; i < points.size(); ++i)
            EXPECT_EQ(list.Add(points[i]), static_cast<std::int32_t>(i));
        for (int q = 0; q < 100; ++q) {
            const Point3d centre = q % 2 ? points[static_cast<std::size_t>(q * 13)]
                                         : Point3d(random(), random(), random() * 0.1);
            for (const double radius : {0.0, 0.5, cellSize, 3.0, 30.0}) {
                std::vector<std::int32_t> found;
                list.GetNeighbors(centre, radius, found);
                ASSERT_EQ(found, BruteForce(points, centre, radius)) << "cell " << cellSize << " radius " << radius;
            }
            std::vector<std::int32_t> byCell;
            list.GetNeighbors(centre, byCell);
            EXPECT_EQ(byCell, BruteForce(points, centre, cellSize));
        }
    }
}

TEST(NeighborListTest, IncludesTheQueryPointAndTheRadiusBoundary)
{
    NeighborList list(1.0);
    list.Add(Point3d(0, 0, 0));
    list.Add(Point3d(1.5, 0, 0));
    list.Add(Point3d(1.5001, 0, 0));
    list.Add(Point3d(-1, 0, 0));
    std::vector<std::int32_t> found = {99};
    list.GetNeighbors(Point3d(0, 0, 0), 1.5, found);
    EXPECT_EQ(found, (std::vector<std::int32_t>{99, 0, 1, 3})); // appended, in ascending order
}

TEST(NeighborListTest, OddCellSizesRadiiAndCoordinatesStaySafe)
{
    for (const double cellSize : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(), 1e-30}) {
        NeighborList list(cellSize, 0);
        list.Add(Point3d(0, 0, 0));
        list.Add(Point3d(0.5, 0, 0));
        std::vector<std::int32_t> found;
        list.GetNeighbors(Point3d(0, 0, 0), 0.6, found);
        EXPECT_EQ(found, (std::vector<std::int32_t>{0, 1}));
    }
    NeighborList list(1.0);
    list.Add(Point3d(0, 0, 0));
    list.Add(Point3d(std::numeric_limits<double>::quiet_NaN(), 0, 0));
    list.Add(Point3d(3e38, -3e38, 0));
    list.Add(Point3d(std::numeric_limits<double>::infinity(), 0, 0));
    std::vector<std::int32_t> found;
    list.GetNeighbors(Point3d(0, 0, 0), -1.0, found);
    list.GetNeighbors(Point3d(0, 0, 0), std::numeric_limits<double>::quiet_NaN(), found);
    EXPECT_TRUE(found.empty());
    list.GetNeighbors(Point3d(0, 0, 0), 1e300, found);
    EXPECT_EQ(found, (std::vector<std::int32_t>{0, 2}));
    found.clear();
    list.GetNeighbors(Point3d(3e38, -3e38, 0), 1.0, found);
    EXPECT_EQ(found, (std::vector<std::int32_t>{2}));
    found.clear();
    list.GetNeighbors(Point3d(std::numeric_limits<double>::quiet_NaN(), 0, 0), 1.0, found);
    EXPECT_TRUE(found.empty());
}
