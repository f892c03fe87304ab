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

namespace {

// Every point's neighbours within radius but itself, in ascending order, by brute force.
void ExpectAllNeighbors(const NeighborList& list, const Point3d::Array& points, double radius)
{
    std::vector<std::uint32_t> offsets;
    std::vector<std::int32_t> neighbors;
    list.GetAllNeighbors(radius, offsets, neighbors);
    ASSERT_EQ(offsets.size(), points.size() + 1);
    for (std::size_t i = 0; i < points.size(); ++i) {
        std::vector<std::int32_t> expected = BruteForce(points, points[i], radius);
        std::erase(expected, static_cast<std::int32_t>(i));
        const std::vector<std::int32_t> found(neighbors.begin() + offsets[i], neighbors.begin() + offsets[i + 1]);
        ASSERT_EQ(found, expected) << "point " << i << " radius " << radius;
    }
}

} // namespace

TEST(NeighborListTest, BulkBuiltAddedAndInterleavedListsAnswerAlike)
{
    UniformRandomSequence random(-10, 10, 5);
    Point3d::Array points;
    for (int i = 0; i < 400; ++i)
        points.push_back(Point3d(random(), random(), random()));
    points.push_back(points[7]);
    points.push_back(Point3d(std::numeric_limits<double>::quiet_NaN(), 0, 0));
    // A few far points make the grid sparse for the second half of the cases.
    Point3d::Array spread = points;
    spread.push_back(Point3d(1e6, -1e6, 1e6));
    spread.push_back(Point3d(-1e6, 2e6, 0));

    for (const Point3d::Array* set : {&points, &spread}) {
        // For the first set: occupied cells hashed, found by rank, then every cell with its offset.
        for (const double cellSize : {0.4, 0.9, 1.5}) {
            const NeighborList bulk(cellSize, *set);
            NeighborList added(cellSize);
            for (std::size_t i = 0; i < set->size(); ++i) {
                ASSERT_EQ(added.Add((*set)[i]), static_cast<std::int32_t>(i));
                // Queries between additions see every point added so far.
                if (i % 47 == 0) {
                    std::vector<std::int32_t> found;
                    added.GetNeighbors((*set)[i / 2], 2.0, found);
                    Point3d::Array sofar(set->begin(), set->begin() + static_cast<std::ptrdiff_t>(i) + 1);
                    ASSERT_EQ(found, BruteForce(sofar, (*set)[i / 2], 2.0));
                }
            }
            for (const double radius : {0.0, 0.9, cellSize, 2.5}) {
                for (int q = 0; q < 20; ++q) {
                    const Point3d centre = (*set)[static_cast<std::size_t>(q * 19)];
                    std::vector<std::int32_t> fromBulk;
                    std::vector<std::int32_t> fromAdded;
                    bulk.GetNeighbors(centre, radius, fromBulk);
                    added.GetNeighbors(centre, radius, fromAdded);
                    ASSERT_EQ(fromBulk, BruteForce(*set, centre, radius));
                    ASSERT_EQ(fromAdded, fromBulk);
                }
                ExpectAllNeighbors(bulk, *set, radius);
                ExpectAllNeighbors(added, *set, radius);
            }
        }
    }
}

TEST(NeighborListTest, AllNeighborsOfDegenerateSets)
{
    std::vector<std::uint32_t> offsets = {7};
    std::vector<std::int32_t> neighbors = {7};
    NeighborList(1.0).GetAllNeighbors(1.0, offsets, neighbors);
    EXPECT_EQ(offsets, (std::vector<std::uint32_t>{0}));
    EXPECT_TRUE(neighbors.empty());

    // Coincident points meet at radius 0; a NaN radius finds nothing; points on a line far from the
    // origin keep their pairs.
    const Point3d::Array same = {Point3d(1, 1, 1), Point3d(1, 1, 1), Point3d(1, 1, 1.5)};
    const NeighborList list(1.0, same);
    list.GetAllNeighbors(0.0, offsets, neighbors);
    EXPECT_EQ(offsets, (std::vector<std::uint32_t>{0, 1, 2, 2}));
    EXPECT_EQ(neighbors, (std::vector<std::int32_t>{1, 0}));
    list.GetAllNeighbors(std::numeric_limits<double>::quiet_NaN(), offsets, neighbors);
    EXPECT_EQ(offsets, (std::vector<std::uint32_t>{0, 0, 0, 0}));
    Point3d::Array far;
    for (int i = 0; i < 50; ++i)
        far.push_back(Point3d(1e5 + 1.5 * i, -2e5, 3e5));
    ExpectAllNeighbors(NeighborList(1.77, far), far, 1.77);
    ExpectAllNeighbors(NeighborList(1.0, far), far, 30.0);
}
