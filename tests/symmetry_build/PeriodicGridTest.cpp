#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <tavrel/symmetry_build/FractionalCoordinates.h>
#include <tavrel/symmetry_build/PeriodicBins.h>
#include <tavrel/symmetry_build/PeriodicNeighborGrid.h>
#include <tavrel/symmetry_build/PeriodicRadiusGrid.h>

#include "SymmetryTestSupport.h"

using namespace Tavrel;

namespace {

// A triclinic cell of about 20 x 22 x 25 angstroms.
struct Cell {
    Matrix3x3 toCartesian = test::FractionalToCartesian(20, 22, 25, 80, 95, 105);
    Matrix3x3 toFractional = test::Inverse(toCartesian);
};

IntArray Sorted(IntArray ids)
{
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Every stored point with some lattice image within the cutoff of q, once. The cutoff spans less
// than half a cell, so only images whose fractional difference is below 3/4 along every axis count.
IntArray BruteNeighbors(const std::vector<Point3d>& points, const Point3d& q, const Matrix3x3& toCartesian, double cutoff)
{
    const Point3d wrapped = WrapToUnitCell(q);
    IntArray ids;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point3d p = WrapToUnitCell(points[i]);
        const auto near = [&](float from, float to, int t) { return std::fabs(double(from) - to - t) < 0.75; };
        bool found = false;
        for (int a = -1; a <= 1 && !found; ++a)
            for (int b = -1; b <= 1 && !found; ++b)
                for (int c = -1; c <= 1 && !found; ++c) {
                    if (!near(wrapped.x, p.x, a) || !near(wrapped.y, p.y, b) || !near(wrapped.z, p.z, c))
                        continue;
                    const Point3d copy = p + Point3d(a, b, c);
                    const Point3d d = ToCartesian(wrapped - copy, toCartesian);
                    found = d.Dot(d) <= cutoff * cutoff;
                }
        if (found)
            ids.push_back(static_cast<std::int32_t>(i));
    }
    return ids;
}

// Every stored sphere whose nearest fractional image meets the query sphere, once.
IntArray BruteSpheres(const std::vector<Point3d>& points, const std::vector<double>& radii, const Point3d& q,
                      double radius, const Matrix3x3& toCartesian)
{
    IntArray ids;
    for (std::size_t i = 0; i < points.size(); ++i) {
        Point3d d = WrapToUnitCell(q) - WrapToUnitCell(points[i]);
        d = d - RoundToLattice(d);
        const Point3d c = ToCartesian(d, toCartesian);
        if (c.Dot(c) <= (radius + radii[i]) * (radius + radii[i]))
            ids.push_back(static_cast<std::int32_t>(i));
    }
    return ids;
}

// Points spread over the cell and its neighbours, a tenth of them within 1e-3 of a face.
std::vector<Point3d> RandomPoints(std::mt19937& random, int count)
{
    std::uniform_real_distribution<double> inside(-1.0, 2.0);
    std::uniform_real_distribution<double> edge(-1e-3, 1e-3);
    std::vector<Point3d> points;
    for (int i = 0; i < count; ++i) {
        Point3d p(inside(random), inside(random), inside(random));
        if (i % 10 == 0)
            p.x = static_cast<float>(std::floor(p.x) + edge(random));
        if (i % 20 == 0)
            p.z = static_cast<float>(std::floor(p.z) + edge(random));
        points.push_back(p);
    }
    return points;
}

// Every copy the neighbour grid files, in filing order, found by testing each copy of each node
// cell in turn: the grid's answers, in its order, without its cells.
class NeighborScan {
public:
    NeighborScan(const Matrix3x3& toCartesian, std::array<std::int32_t, 3> cells, double cutoff)
        : m_toCartesian(toCartesian), m_cells(cells), m_cutoff(cutoff)
    {
    }

    void Add(const Point3d& p, std::int32_t id)
    {
        Copy first{{}, WrapToUnitCell(p), id};
        float* const coordinates[3] = {&first.point.x, &first.point.y, &first.point.z};
        for (std::size_t axis = 0; axis < 3; ++axis) {
            first.node[axis] = static_cast<std::int32_t>(std::floor(m_cells[axis] * double(*coordinates[axis]) + 0.5));
            if (first.node[axis] == m_cells[axis]) {
                first.node[axis] = 0;
                *coordinates[axis] -= 1.0f;
            }
        }
        std::vector<Copy> copies{first};
        for (std::size_t axis = 0; axis < 3; ++axis) {
            if (first.node[axis] != 0)
                continue;
            for (std::size_t i = 0, made = copies.size(); i < made; ++i) {
                Copy copy = copies[i];
                copy.node[axis] = m_cells[axis];
                float* const shifted[3] = {&copy.point.x, &copy.point.y, &copy.point.z};
                *shifted[axis] += 1.0f;
                copies.push_back(copy);
            }
        }
        m_copies.insert(m_copies.end(), copies.begin(), copies.end());
    }

    IntArray Find(const Point3d& p) const
    {
        const Point3d q = WrapToUnitCell(p);
        const std::array<std::int32_t, 3> base{static_cast<std::int32_t>(std::floor(m_cells[0] * double(q.x))),
                                               static_cast<std::int32_t>(std::floor(m_cells[1] * double(q.y))),
                                               static_cast<std::int32_t>(std::floor(m_cells[2] * double(q.z)))};
        static constexpr std::int32_t offsets[8][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1},
                                                       {1, 1, 0}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
        IntArray ids;
        for (const auto& offset : offsets)
            for (const Copy& copy : m_copies) {
                if (copy.node[0] != base[0] + offset[0] || copy.node[1] != base[1] + offset[1] ||
                    copy.node[2] != base[2] + offset[2])
                    continue;
                const Point3d d = ToCartesian(q - copy.point, m_toCartesian);
                if (d.Dot(d) <= m_cutoff * m_cutoff)
                    ids.push_back(copy.id);
            }
        return ids;
    }

private:
    struct Copy {
        std::array<std::int32_t, 3> node;
        Point3d point;
        std::int32_t id;
    };
    Matrix3x3 m_toCartesian;
    std::array<std::int32_t, 3> m_cells;
    double m_cutoff;
    std::vector<Copy> m_copies;
};

// Every sphere the radius grid holds, found by testing each of the 27 cells in turn, each over all
// points in filing order.
class RadiusScan {
public:
    RadiusScan(const Matrix3x3& toCartesian, std::array<std::int32_t, 3> cells)
        : m_toCartesian(toCartesian), m_cells(cells)
    {
    }

    void Add(const Point3d& p, double radius, std::int32_t id)
    {
        const Point3d q = WrapToUnitCell(p);
        m_items.push_back({q, {Cell(q, 0), Cell(q, 1), Cell(q, 2)}, radius, id});
    }

    IntArray Find(const Point3d& p, double radius) const
    {
        const Point3d q = WrapToUnitCell(p);
        static constexpr std::int32_t offsets[27][3] = {
            {0, 0, 0},   {1, 0, 0},   {-1, 0, 0},  {0, 1, 0},   {0, -1, 0},  {0, 0, 1},  {0, 0, -1},
            {1, 1, 0},   {1, -1, 0},  {-1, 1, 0},  {-1, -1, 0}, {1, 0, 1},   {1, 0, -1}, {-1, 0, 1},
            {-1, 0, -1}, {0, 1, 1},   {0, 1, -1},  {0, -1, 1},  {0, -1, -1}, {1, 1, 1},  {1, 1, -1},
            {1, -1, 1},  {1, -1, -1}, {-1, 1, 1},  {-1, 1, -1}, {-1, -1, 1}, {-1, -1, -1}};
        IntArray ids;
        for (const auto& offset : offsets) {
            std::array<std::int32_t, 3> cell;
            for (std::size_t axis = 0; axis < 3; ++axis)
                cell[axis] = (Cell(q, axis) + offset[axis] + m_cells[axis]) % m_cells[axis];
            for (const Item& item : m_items) {
                if (item.cell != cell)
                    continue;
                Point3d d = q - item.point;
                d = d - RoundToLattice(d);
                const Point3d c = ToCartesian(d, m_toCartesian);
                if (c.Dot(c) <= (radius + item.radius) * (radius + item.radius))
                    ids.push_back(item.id);
            }
        }
        return ids;
    }

private:
    struct Item {
        Point3d point;
        std::array<std::int32_t, 3> cell;
        double radius;
        std::int32_t id;
    };
    std::int32_t Cell(const Point3d& p, std::size_t axis) const
    {
        const float coordinates[3] = {p.x, p.y, p.z};
        return static_cast<std::int32_t>(std::floor(m_cells[axis] * double(coordinates[axis])));
    }
    Matrix3x3 m_toCartesian;
    std::array<std::int32_t, 3> m_cells;
    std::vector<Item> m_items;
};

// Points spread over the cell and its neighbours, two fifths of them crowded into two small spots,
// one inside a cell and one across a face, so that some cells hold hundreds.
std::vector<Point3d> CrowdedPoints(std::mt19937& random, int count)
{
    std::vector<Point3d> points = RandomPoints(random, count);
    std::uniform_real_distribution<double> spot(-0.002, 0.002);
    for (std::size_t i = 0; i < points.size(); i += 5) {
        points[i] = Point3d(0.35 + spot(random), 0.35 + spot(random), 0.3 + spot(random));
        if (i + 1 < points.size())
            points[i + 1] = Point3d(0.7 + spot(random), 0.6 + spot(random), 0.999 + spot(random));
    }
    return points;
}

TEST(PeriodicNeighborGrid, AnswersInTheOrderOfACellByCellScan)
{
    const Cell cell;
    std::mt19937 random(31);
    for (const bool crowded : {false, true}) {
        const std::vector<Point3d> points = crowded ? CrowdedPoints(random, 1500) : RandomPoints(random, 1200);
        PeriodicNeighborGrid grid(cell.toCartesian, cell.toFractional, 3.0);
        NeighborScan scan(cell.toCartesian, grid.GetCellCounts(), 3.0);
        IntArray found;
        // Queries while filling see entries both filed and waiting; then all are filed.
        for (std::size_t i = 0; i < points.size(); ++i) {
            grid.AddPoint(points[i], static_cast<std::int32_t>(i));
            scan.Add(points[i], static_cast<std::int32_t>(i));
            if (i % 17 == 0) {
                const Point3d& q = points[random() % (i + 1)];
                grid.FindNeighbors(q, found);
                ASSERT_EQ(found, scan.Find(q)) << i;
            }
        }
        for (const Point3d& q : crowded ? CrowdedPoints(random, 100) : RandomPoints(random, 100)) {
            grid.FindNeighbors(q, found);
            ASSERT_EQ(found, scan.Find(q)) << crowded;
        }
    }
}

TEST(PeriodicRadiusGrid, AnswersInTheOrderOfACellByCellScan)
{
    const Cell cell;
    std::mt19937 random(37);
    std::uniform_real_distribution<double> radius(0.4, 1.5);
    for (const bool crowded : {false, true}) {
        const std::vector<Point3d> points = crowded ? CrowdedPoints(random, 1500) : RandomPoints(random, 1200);
        PeriodicRadiusGrid grid(cell.toCartesian, cell.toFractional, 3.0);
        RadiusScan scan(cell.toCartesian, grid.GetCellCounts());
        IntArray found;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const double r = radius(random);
            grid.AddPoint(points[i], r, static_cast<std::int32_t>(i));
            scan.Add(points[i], r, static_cast<std::int32_t>(i));
            if (i % 17 == 0) {
                const Point3d& q = points[random() % (i + 1)];
                grid.FindNeighbors(q, 1.5, found);
                ASSERT_EQ(found, scan.Find(q, 1.5)) << i;
            }
        }
        for (const Point3d& q : crowded ? CrowdedPoints(random, 100) : RandomPoints(random, 100)) {
            const double r = radius(random);
            grid.FindNeighbors(q, r, found);
            ASSERT_EQ(found, scan.Find(q, r)) << crowded;
        }
    }
}

// The smallest reach whose sum with other, squared as the grids square it, is not below squared;
// other is below the square root of squared.
double ReachOf(double squared, double other)
{
    double reach = std::sqrt(squared) - other;
    while ((reach + other) * (reach + other) < squared)
        reach = std::nextafter(reach, std::numeric_limits<double>::infinity());
    while (reach > 0.0 && (std::nextafter(reach, 0.0) + other) * (std::nextafter(reach, 0.0) + other) >= squared)
        reach = std::nextafter(reach, 0.0);
    return reach;
}

TEST(PeriodicGrids, APointAtExactlyTheReachIsFoundAndOneJustBeyondIsNot)
{
    const Cell cell;
    std::mt19937 random(41);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_real_distribution<double> step(-0.06, 0.06);
    // The squared distance from q to p as the grids measure it, by nearest image.
    const auto measure = [&](const Point3d& q, const Point3d& p) {
        Point3d d = WrapToUnitCell(q) - WrapToUnitCell(p);
        d = d - RoundToLattice(d);
        const Point3d c = ToCartesian(d, cell.toCartesian);
        return c.Dot(c);
    };
    IntArray found;
    for (int trial = 0; trial < 200; ++trial) {
        // Pairs across the faces for the radius grid.
        const Point3d q(unit(random), unit(random), unit(random));
        const Point3d p = WrapToUnitCell(q + Point3d(step(random), step(random), step(random)));
        const double squared = measure(q, p);
        const double stored = 0.5 * unit(random) * std::sqrt(squared);
        const double reach = ReachOf(squared, stored);
        PeriodicRadiusGrid spheres(cell.toCartesian, cell.toFractional, 3.0);
        spheres.AddPoint(p, stored, 1);
        spheres.FindNeighbors(q, reach, found);
        EXPECT_EQ(found, IntArray{1}) << trial;
        spheres.FindNeighbors(q, std::nextafter(reach, 0.0), found);
        EXPECT_TRUE(found.empty()) << trial;

        // Pairs well inside, where the neighbour grid files p once and as given.
        const Point3d inner(0.25 + 0.5 * unit(random), 0.25 + 0.5 * unit(random), 0.25 + 0.5 * unit(random));
        const Point3d near = inner + Point3d(step(random), step(random), step(random));
        const double cutoff = ReachOf(measure(inner, near), 0.0);
        PeriodicNeighborGrid points(cell.toCartesian, cell.toFractional, cutoff);
        points.AddPoint(near, 1);
        points.FindNeighbors(inner, found);
        EXPECT_EQ(found, IntArray{1}) << trial;
        PeriodicNeighborGrid nearer(cell.toCartesian, cell.toFractional, std::nextafter(cutoff, 0.0));
        nearer.AddPoint(near, 1);
        nearer.FindNeighbors(inner, found);
        EXPECT_TRUE(found.empty()) << trial;
    }
}

TEST(PeriodicNeighborGrid, FindsWhatBruteForceFindsAcrossTheFaces)
{
    const Cell cell;
    std::mt19937 random(123);
    const std::vector<Point3d> points = RandomPoints(random, 2000);
    for (const double cutoff : {3.0, 0.8, 4.5}) {
        PeriodicNeighborGrid grid(cell.toCartesian, cell.toFractional, cutoff);
        ASSERT_TRUE(grid.IsActive());
        for (const int n : grid.GetCellCounts())
            ASSERT_GE(n, 2);
        for (std::size_t i = 0; i < points.size(); ++i)
            grid.AddPoint(points[i], static_cast<std::int32_t>(i));
        const std::vector<Point3d> queries = RandomPoints(random, 150);
        IntArray found;
        for (const Point3d& q : queries) {
            grid.FindNeighbors(q, found);
            // Two copies of one point a cell apart cannot both lie within a cutoff below half a cell,
            // so each point is found once.
            ASSERT_EQ(Sorted(found), BruteNeighbors(points, q, cell.toCartesian, cutoff)) << cutoff;
        }
        for (std::size_t i = 0; i < points.size(); i += 97) {
            EXPECT_TRUE(grid.FindNeighbors(points[i], found));
            EXPECT_TRUE(std::count(found.begin(), found.end(), static_cast<std::int32_t>(i)) == 1);
        }
    }
}

TEST(PeriodicNeighborGrid, QueriesBetweenAdditionsSeeEveryPointAddedSoFar)
{
    const Cell cell;
    std::mt19937 random(7);
    const std::vector<Point3d> points = RandomPoints(random, 400);
    PeriodicNeighborGrid grid(cell.toCartesian, cell.toFractional, 4.0);
    std::vector<Point3d> added;
    IntArray found;
    for (std::size_t i = 0; i < points.size(); ++i) {
        grid.AddPoint(points[i], static_cast<std::int32_t>(i));
        added.push_back(points[i]);
        const Point3d& q = points[random() % (i + 1)];
        grid.FindNeighbors(q, found);
        ASSERT_EQ(Sorted(found), BruteNeighbors(added, q, cell.toCartesian, 4.0)) << i;
    }
}

TEST(PeriodicNeighborGrid, ReportsInCellOrderThenFilingOrder)
{
    // 10 cells along a; b and c too short for more than one.
    const Matrix3x3 toCartesian = test::FractionalToCartesian(10, 0.5, 0.5, 90, 90, 90);
    PeriodicNeighborGrid grid(toCartesian, test::Inverse(toCartesian), 0.5);
    EXPECT_EQ(grid.GetCellCounts(), (std::array<std::int32_t, 3>{10, 1, 1}));
    // x = 0.98 is filed at node 0 as -0.02 and at node 10 as 0.98.
    grid.AddPoint(Point3d(0.98, 0.5, 0.5), 1);
    grid.AddPoint(Point3d(0.02, 0.5, 0.5), 2);
    grid.AddPoint(Point3d(0.05, 0.5, 0.5), 3);
    IntArray found;
    // From 0.01: node 0 holds 1 (-0.02) and 2 (0.02), node 1 holds 3 (0.05); b and c add copies.
    ASSERT_TRUE(grid.FindNeighbors(Point3d(0.01, 0.5, 0.5), found));
    EXPECT_EQ(found, (IntArray{1, 2, 3}));
    ASSERT_TRUE(grid.FindNeighbors(Point3d(0.97, 0.5, 0.5), found));
    EXPECT_EQ(found, (IntArray{1, 2}));
    ASSERT_TRUE(grid.FindNeighbors(Point3d(-1.03, 0.5, 0.5), found));
    EXPECT_EQ(found, (IntArray{1, 2}));
    EXPECT_FALSE(grid.FindNeighbors(Point3d(0.5, 0.5, 0.5), found));
    EXPECT_TRUE(found.empty());
}

TEST(PeriodicNeighborGrid, ACellSpannedByTheCutoffKeepsEightCopiesOfEachPoint)
{
    const Matrix3x3 toCartesian = test::FractionalToCartesian(10, 10, 10, 90, 90, 90);
    PeriodicNeighborGrid grid(toCartesian, test::Inverse(toCartesian), 20.0);
    EXPECT_FALSE(grid.IsActive());
    EXPECT_EQ(grid.GetCellCounts(), (std::array<std::int32_t, 3>{1, 1, 1}));
    grid.AddPoint(Point3d(0.5, 0.5, 0.5), 4);
    IntArray found;
    EXPECT_TRUE(grid.FindNeighbors(Point3d(0.5, 0.5, 0.5), found));
    EXPECT_EQ(found, IntArray(8, 4));

    PeriodicNeighborGrid nearer(toCartesian, test::Inverse(toCartesian), 12.0);
    nearer.AddPoint(Point3d(0.5, 0.5, 0.5), 4);
    EXPECT_TRUE(nearer.FindNeighbors(Point3d(0.5, 0.5, 0.5), found));
    EXPECT_EQ(found.size(), 4u);  // the copy itself and the three a cell away
}

TEST(PeriodicNeighborGrid, EmptyGridFindsNothing)
{
    const Cell cell;
    PeriodicNeighborGrid grid(cell.toCartesian, cell.toFractional, 3.0);
    IntArray found{1, 2, 3};
    EXPECT_FALSE(grid.FindNeighbors(Point3d(0.5, 0.5, 0.5), found));
    EXPECT_TRUE(found.empty());
}

TEST(PeriodicNeighborGrid, ZeroNegativeAndNotANumberCutoffsSizeSafely)
{
    const Cell cell;
    const std::array<std::int32_t, 3> most{maxPeriodicCellsPerAxis, maxPeriodicCellsPerAxis, maxPeriodicCellsPerAxis};
    PeriodicNeighborGrid zero(cell.toCartesian, cell.toFractional, 0.0);
    EXPECT_EQ(zero.GetCellCounts(), most);
    zero.AddPoint(Point3d(0.25, 0.5, 0.999999), 1);
    zero.AddPoint(Point3d(0.25, 0.5, 0.0), 2);
    IntArray found;
    EXPECT_TRUE(zero.FindNeighbors(Point3d(0.25, 0.5, -0.000001), found));
    EXPECT_EQ(found, IntArray{1});

    PeriodicNeighborGrid nan(cell.toCartesian, cell.toFractional, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(nan.GetCellCounts(), most);
    nan.AddPoint(Point3d(0.25, 0.5, 0.75), 1);
    EXPECT_FALSE(nan.FindNeighbors(Point3d(0.25, 0.5, 0.75), found));

    // A negative cutoff sizes and finds as its magnitude.
    std::mt19937 random(3);
    const std::vector<Point3d> points = RandomPoints(random, 500);
    PeriodicNeighborGrid positive(cell.toCartesian, cell.toFractional, 3.0);
    PeriodicNeighborGrid negative(cell.toCartesian, cell.toFractional, -3.0);
    EXPECT_EQ(negative.GetCellCounts(), positive.GetCellCounts());
    for (std::size_t i = 0; i < points.size(); ++i) {
        positive.AddPoint(points[i], static_cast<std::int32_t>(i));
        negative.AddPoint(points[i], static_cast<std::int32_t>(i));
    }
    IntArray other;
    for (std::size_t i = 0; i < points.size(); i += 7) {
        positive.FindNeighbors(points[i], found);
        negative.FindNeighbors(points[i], other);
        EXPECT_EQ(found, other);
    }

    // A cell without volume measures every difference as 0: a point is within a cutoff of 0 of
    // every point near it.
    PeriodicNeighborGrid flat(Matrix3x3(0, 0, 0, 0, 0, 0, 0, 0, 0), cell.toFractional, 0.0);
    flat.AddPoint(Point3d(0.5, 0.5, 0.5), 1);
    flat.AddPoint(Point3d(0.5, 0.5, 0.5002), 2);
    EXPECT_TRUE(flat.FindNeighbors(Point3d(0.5, 0.5, 0.5001), found));
    EXPECT_EQ(Sorted(found), (IntArray{1, 2}));

    PeriodicNeighborGrid unbounded(cell.toCartesian, cell.toFractional, std::numeric_limits<double>::infinity());
    EXPECT_FALSE(unbounded.IsActive());
    unbounded.AddPoint(Point3d(0.1, 0.2, 0.3), 5);
    EXPECT_TRUE(unbounded.FindNeighbors(Point3d(0.9, 0.9, 0.9), found));
    EXPECT_EQ(found, IntArray(8, 5));
}

TEST(PeriodicNeighborGrid, ATightToleranceGridPairsNearlyCoincidentPoints)
{
    const Cell cell;
    PeriodicNeighborGrid grid(cell.toCartesian, cell.toFractional, 0.001);
    EXPECT_EQ(grid.GetCellCounts()[0], maxPeriodicCellsPerAxis);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Point3d> points;
    for (int i = 0; i < 200; ++i) {
        const Point3d p(unit(random), unit(random), i % 4 ? unit(random) : 0.0);
        // A twin 0.0004 angstrom away along a.
        const Point3d twin = p + Point3d(0.0004 / 20.0, 0, 0);
        points.push_back(p);
        points.push_back(twin);
        grid.AddPoint(p, 2 * i);
        grid.AddPoint(twin, 2 * i + 1);
    }
    IntArray found;
    for (int i = 0; i < 200; ++i) {
        grid.FindNeighbors(points[static_cast<std::size_t>(2 * i)], found);
        EXPECT_EQ(Sorted(found), BruteNeighbors(points, points[static_cast<std::size_t>(2 * i)], cell.toCartesian, 0.001));
        EXPECT_EQ(Sorted(found), (IntArray{2 * i, 2 * i + 1}));
    }
}

TEST(PeriodicNeighborGrid, AFewPointsAmongManyCellsAreFoundOnlyNearThemselves)
{
    // Most queries meet no occupied cell; some share a hashed mark with one and must still find nothing.
    const Cell cell;
    PeriodicNeighborGrid grid(cell.toCartesian, cell.toFractional, 0.001);
    std::vector<Point3d> points{Point3d(0.25, 0.5, 0.75), Point3d(0.0, 0.0, 0.0), Point3d(0.9999, 0.5, 0.0)};
    for (std::size_t i = 0; i < points.size(); ++i)
        grid.AddPoint(points[i], static_cast<std::int32_t>(i));
    std::mt19937 random(5);
    IntArray found;
    for (const Point3d& q : RandomPoints(random, 20000))
        ASSERT_FALSE(grid.FindNeighbors(q, found));
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point3d q = points[i] + Point3d(1.0, -1.0, 0.0004 / 20.0);
        ASSERT_TRUE(grid.FindNeighbors(q, found));
        EXPECT_EQ(Sorted(found), BruteNeighbors(points, q, cell.toCartesian, 0.001)) << i;
    }
    // A point added later is found while it waits to be filed with the others.
    grid.AddPoint(Point3d(0.5, 0.125, 0.5), 3);
    ASSERT_TRUE(grid.FindNeighbors(Point3d(0.5, 0.125, 0.5), found));
    EXPECT_EQ(found, IntArray{3});
    EXPECT_FALSE(grid.FindNeighbors(Point3d(0.5, 0.875, 0.5), found));
}

TEST(PeriodicRadiusGrid, FindsWhatBruteForceFindsByNearestImage)
{
    const Cell cell;
    std::mt19937 random(99);
    const std::vector<Point3d> points = RandomPoints(random, 3000);
    std::uniform_real_distribution<double> radius(0.4, 1.5);
    std::vector<double> radii;
    for (std::size_t i = 0; i < points.size(); ++i)
        radii.push_back(radius(random));
    PeriodicRadiusGrid grid(cell.toCartesian, cell.toFractional, 3.0);
    ASSERT_TRUE(grid.IsActive());
    for (const int n : grid.GetCellCounts())
        ASSERT_GE(n, 3);
    for (std::size_t i = 0; i < points.size(); ++i)
        grid.AddPoint(points[i], radii[i], static_cast<std::int32_t>(i));
    IntArray found;
    for (const Point3d& q : RandomPoints(random, 400)) {
        const double r = radius(random);
        grid.FindNeighbors(q, r, found);
        ASSERT_EQ(Sorted(found), BruteSpheres(points, radii, q, r, cell.toCartesian));
    }
}

TEST(PeriodicRadiusGrid, QueriesBetweenAdditionsSeeEveryPointAddedSoFar)
{
    const Cell cell;
    std::mt19937 random(17);
    const std::vector<Point3d> points = RandomPoints(random, 500);
    PeriodicRadiusGrid grid(cell.toCartesian, cell.toFractional, 3.0);
    std::vector<Point3d> added;
    std::vector<double> addedRadii;
    IntArray found;
    for (std::size_t i = 0; i < points.size(); ++i) {
        grid.AddPoint(points[i], 1.5, static_cast<std::int32_t>(i));
        added.push_back(points[i]);
        addedRadii.push_back(1.5);
        const Point3d& q = points[random() % (i + 1)];
        grid.FindNeighbors(q, 1.5, found);
        ASSERT_EQ(Sorted(found), BruteSpheres(added, addedRadii, q, 1.5, cell.toCartesian)) << i;
    }
}

TEST(PeriodicRadiusGrid, AQueryNearOneFaceMeetsASphereNearTheOther)
{
    const Matrix3x3 toCartesian = test::FractionalToCartesian(10, 10, 10, 90, 90, 90);
    PeriodicRadiusGrid grid(toCartesian, test::Inverse(toCartesian), 1.0);
    EXPECT_EQ(grid.GetCellCounts(), (std::array<std::int32_t, 3>{10, 10, 10}));
    grid.AddPoint(Point3d(0.99, 0.5, 0.5), 0.1, 7);
    grid.AddPoint(Point3d(2.5, 0.5, 0.5), 0.1, 8);
    IntArray found;
    EXPECT_TRUE(grid.FindNeighbors(Point3d(0.01, 0.5, 0.5), 0.1, found));
    EXPECT_EQ(found, IntArray{7});
    EXPECT_FALSE(grid.FindNeighbors(Point3d(0.01, 0.5, 0.5), 0.09, found));
    EXPECT_EQ(grid.GetCellIndices(Point3d(-0.01, 1.55, 0.0)), (std::array<std::int32_t, 3>{9, 5, 0}));
    EXPECT_TRUE(grid.FindNeighbors(Point3d(-3.5, 0.5, 0.5), 0.0, found));
    EXPECT_EQ(found, IntArray{8});
}

TEST(PeriodicRadiusGrid, AnAxisOfOneCellIsVisitedNineTimes)
{
    // 30 cells along a, one along b and c: active, and the b and c offsets all land on one cell.
    const Matrix3x3 toCartesian = test::FractionalToCartesian(31, 1.5, 1.5, 90, 90, 90);
    PeriodicRadiusGrid grid(toCartesian, test::Inverse(toCartesian), 1.0);
    EXPECT_EQ(grid.GetCellCounts(), (std::array<std::int32_t, 3>{30, 1, 1}));
    EXPECT_TRUE(grid.IsActive());
    grid.AddPoint(Point3d(0.5, 0.2, 0.7), 0.5, 3);
    IntArray found;
    EXPECT_TRUE(grid.FindNeighbors(Point3d(0.5, 0.2, 0.7), 0.5, found));
    EXPECT_EQ(found, IntArray(9, 3));

    // 27 cells or fewer: every item is tested once.
    const Matrix3x3 small = test::FractionalToCartesian(2.5, 2.5, 2.5, 90, 90, 90);
    PeriodicRadiusGrid scan(small, test::Inverse(small), 1.0);
    EXPECT_FALSE(scan.IsActive());
    scan.AddPoint(Point3d(0.1, 0.1, 0.1), 0.5, 1);
    scan.AddPoint(Point3d(0.9, 0.9, 0.9), 0.5, 2);
    scan.AddPoint(Point3d(0.5, 0.5, 0.5), 0.5, 3);
    EXPECT_TRUE(scan.FindNeighbors(Point3d(0.0, 0.0, 0.0), 0.5, found));
    EXPECT_EQ(found, (IntArray{1, 2}));
}

TEST(PeriodicRadiusGrid, SizingIsSafeForAnySizeParameter)
{
    const Cell cell;
    const std::array<std::int32_t, 3> most{maxPeriodicCellsPerAxis, maxPeriodicCellsPerAxis, maxPeriodicCellsPerAxis};
    EXPECT_EQ(PeriodicRadiusGrid(cell.toCartesian, cell.toFractional, 0.0).GetCellCounts(), most);
    EXPECT_EQ(PeriodicRadiusGrid(cell.toCartesian, cell.toFractional, std::nan("")).GetCellCounts(), most);
    EXPECT_EQ(PeriodicRadiusGrid(cell.toCartesian, cell.toFractional, -3.0).GetCellCounts(),
              PeriodicRadiusGrid(cell.toCartesian, cell.toFractional, 3.0).GetCellCounts());
    EXPECT_EQ(PeriodicCellCounts(cell.toFractional, 1e-300, 2), most);
    Matrix3x3 broken = cell.toFractional;
    broken(0, 0) = std::numeric_limits<double>::quiet_NaN();
    const auto counts = PeriodicCellCounts(broken, 3.0, 2);
    EXPECT_EQ(counts[0], 1);
    PeriodicRadiusGrid grid(cell.toCartesian, cell.toFractional, 0.0);
    grid.AddPoint(Point3d(0.5, 0.5, 0.5), 0.0, 1);
    IntArray found;
    EXPECT_TRUE(grid.FindNeighbors(Point3d(0.5, 0.5, 0.5), 0.0, found));
    EXPECT_EQ(found, IntArray{1});
    PeriodicRadiusGrid flat(Matrix3x3(0, 0, 0, 0, 0, 0, 0, 0, 0), cell.toFractional, 0.0);
    flat.AddPoint(Point3d(0.5, 0.5, 0.5), 0.0, 1);
    EXPECT_TRUE(flat.FindNeighbors(Point3d(0.5, 0.5, 0.5001), 0.0, found));
    EXPECT_EQ(found, IntArray{1});
}

} // namespace
