#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include <tavrel/symmetry_build/CosetDecomposition.h>
#include <tavrel/symmetry_build/CosetLattice.h>
#include <tavrel/symmetry_build/FractionalCoordinates.h>
#include <tavrel/symmetry_build/PeriodicNeighborGrid.h>
#include <tavrel/symmetry_build/SymmetryOperationTable.h>
#include <tavrel/symmetry_build/SymmetryTools.h>

#include "SymmetryTestSupport.h"

using namespace Tavrel;
using namespace Tavrel::SymmetryTools;
using test::Operation;

namespace {

constexpr double identity3[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
constexpr double twoFoldZ[9] = {-1, 0, 0, 0, -1, 0, 0, 0, 1};
constexpr double mirrorX[9] = {-1, 0, 0, 0, 1, 0, 0, 0, 1};

TEST(SymmetryTools, KeyTranslationsRoundAndRefuseWhatDoesNotFit)
{
    SymmetryImageKey key(3, 9, 9, 9);
    EXPECT_TRUE(SetKeyTranslation(Point3d(0.5, -0.5, -2.4), key));
    EXPECT_EQ(key, SymmetryImageKey(3, 1, 0, -2));
    EXPECT_EQ(GetKeyTranslation(key), Point3d(1, 0, -2));
    EXPECT_FALSE(SetKeyTranslation(Point3d(3e9, 0, 0), key));
    EXPECT_EQ(key, SymmetryImageKey());
    key = SymmetryImageKey(2);
    Point3d nan;
    nan.y = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(SetKeyTranslation(nan, key));
    EXPECT_EQ(key, SymmetryImageKey());
    key = SymmetryImageKey(2);
    EXPECT_TRUE(SetKeyTranslation(Point3d(-2147483648.0, 2147483520.0, 0), key));
    EXPECT_EQ(key, SymmetryImageKey(2, -2147483647 - 1, 2147483520, 0));
}

TEST(SymmetryTools, ReexpressKeyGivesTheSameImageThroughAnotherOperation)
{
    // Operations 1 and 2 are the same 2-fold axis, one cell apart along a.
    const std::vector<Matrix4x4> ops = {Operation(identity3, 0, 0, 0), Operation(twoFoldZ, 0, 0, 0.5),
                                        Operation(twoFoldZ, 1, 0, 0.5)};
    const Point3d p(0.1, 0.2, 0.3);
    SymmetryImageKey out;
    ASSERT_TRUE(ReexpressKey({2, 0, 1, 0}, p, ops, 1, out));
    EXPECT_EQ(out, SymmetryImageKey(1, 1, 1, 0));
    ASSERT_TRUE(ReexpressKey({1, 5, 0, 0}, p, ops, 1, out));
    EXPECT_EQ(out, SymmetryImageKey(1, 5, 0, 0));
    // Through the identity: the nearest translation, exact where the two images coincide.
    const std::vector<Matrix4x4> rotation = {Operation(identity3, 0, 0, 0), Operation(twoFoldZ, 0, 0, 0)};
    ASSERT_TRUE(ReexpressKey({1, 0, 0, 0}, Point3d(0, 0, 0.25), rotation, 0, out));
    EXPECT_EQ(out, SymmetryImageKey(0, 0, 0, 0));
    ASSERT_TRUE(ReexpressKey({1, 0, 0, 0}, Point3d(1, 0, 0.25), rotation, 0, out));
    EXPECT_EQ(out, SymmetryImageKey(0, -2, 0, 0));
    out = SymmetryImageKey(7, 7, 7, 7);
    EXPECT_FALSE(ReexpressKey({3, 0, 0, 0}, p, ops, 1, out));
    EXPECT_FALSE(ReexpressKey({1, 0, 0, 0}, p, ops, -1, out));
    EXPECT_FALSE(ReexpressKey({}, p, ops, 1, out));
    EXPECT_FALSE(ReexpressKey({2, 2147483647, 0, 0}, p, ops, 1, out));
    EXPECT_EQ(out, SymmetryImageKey(7, 7, 7, 7));
}

TEST(SymmetryTools, MeanRotationOfTwoOrMoreKeys)
{
    const std::vector<Matrix4x4> ops = {Operation(identity3, 0, 0, 0), Operation(twoFoldZ, 0, 0, 0.5)};
    Matrix3x3 mean(2, 2, 2, 2, 2, 2, 2, 2, 2);
    GetMeanRotation(ops, {{1, 0, 0, 0}}, mean);
    EXPECT_EQ(mean, Matrix3x3());
    GetMeanRotation(ops, {SymmetryImageKey::identity, {1, 0, 0, 1}}, mean);
    EXPECT_EQ(mean, Matrix3x3(0, 0, 0, 0, 0, 0, 0, 0, 1));
    GetMeanRotation(ops, {SymmetryImageKey::identity, {5, 0, 0, 0}}, mean);
    EXPECT_EQ(mean, Matrix3x3());
}

TEST(SymmetryTools, GeneralPositionEveryOperationIsItsOwnClass)
{
    const std::vector<Matrix4x4> ops = test::SettingOperations(test::FirstRow(14));
    ASSERT_EQ(ops.size(), 4u);
    EquivalentPoints points;
    ASSERT_TRUE(GenerateEquivalentPoints(Point3d(0.1, 0.2, 0.3), Matrix3x3(), 0.01, ops, points));
    EXPECT_EQ(points.images.size(), 4u);
    EXPECT_EQ(points.siteKeys, SymmetryImageKey::Array{SymmetryImageKey::identity});
    EXPECT_EQ(points.representatives, (IntArray{0, 1, 2, 3}));
    EXPECT_EQ(points.representativeOperations, (IntArray{0, 1, 2, 3}));
    EXPECT_TRUE(points.images[2].Compare(Point3d(0.1, 0.2, 0.3) * ops[2], 0));
    EXPECT_FALSE(GenerateEquivalentPoints(Point3d(), Matrix3x3(), 0.01, {}, points));
    EXPECT_TRUE(points.images.empty());
}

TEST(SymmetryTools, SpecialPositionOnATwoFoldAxis)
{
    const std::vector<Matrix4x4> ops = {Operation(identity3, 0, 0, 0), Operation(twoFoldZ, 0, 0, 0)};
    EquivalentPoints points;
    ASSERT_TRUE(GenerateEquivalentPoints(Point3d(1.0, 0.0, 0.3), Matrix3x3(), 0.01, ops, points));
    // The image (-1, 0, 0.3) comes back by (2, 0, 0).
    EXPECT_EQ(points.siteKeys, (SymmetryImageKey::Array{SymmetryImageKey::identity, {1, 2, 0, 0}}));
    EXPECT_EQ(points.representatives, (IntArray{0, 0}));
    EXPECT_EQ(points.representativeOperations, IntArray{0});
}

TEST(SymmetryTools, AnImageExactlyTheCutoffAwayIsTheSameSite)
{
    const std::vector<Matrix4x4> ops = {Operation(identity3, 0, 0, 0), Operation(mirrorX, 0, 0, 0)};
    // The mirror image lies 0.25 along a: exactly the cutoff in a cell of unit edges.
    EquivalentPoints points;
    GenerateEquivalentPoints(Point3d(0.125, 0.5, 0.5), Matrix3x3(), 0.25, ops, points);
    EXPECT_EQ(points.siteKeys.size(), 2u);
    EXPECT_EQ(points.representatives, (IntArray{0, 0}));
    GenerateEquivalentPoints(Point3d(0.125, 0.5, 0.5), Matrix3x3(), 0.2499, ops, points);
    EXPECT_EQ(points.siteKeys.size(), 1u);
    EXPECT_EQ(points.representatives, (IntArray{0, 1}));
}

// At the origin and other special points of every setting, the site keys fix the point, the
// partition is a valid coset decomposition, and sites times distinct images is the group's order.
TEST(SymmetryTools, EquivalentPointsFormCosetsInEverySetting)
{
    const Point3d specials[] = {Point3d(0, 0, 0), Point3d(0.5, 0.5, 0.5), Point3d(0.25, 0.25, 0.25), Point3d(0, 0, 0.3)};
    const Matrix3x3 toCartesian = test::FractionalToCartesian(10, 10, 10, 90, 90, 90);
    EquivalentPoints points;
    for (int row = 1; row < test::SettingCount(); ++row) {
        const std::vector<Matrix4x4> ops = test::SettingOperations(row);
        for (const Point3d& p : specials) {
            ASSERT_TRUE(GenerateEquivalentPoints(p, toCartesian, 0.001, ops, points));
            ASSERT_TRUE(IsValidCosetArray(points.representatives)) << "row " << row;
            ASSERT_EQ(points.siteKeys.size() * points.representativeOperations.size(), ops.size()) << "row " << row;
            for (const SymmetryImageKey& key : points.siteKeys)
                ASSERT_TRUE((p * ops[static_cast<std::size_t>(key.op)] + key.GetTranslation()).Compare(p, 1e-5))
                    << "row " << row << " key " << key;
        }
    }
}

// A crystal of a few asymmetric-unit atoms of two types and all their images, shuffled, each moved
// by a random lattice translation and a little noise, with lattice duplicates and strays.
struct Crystal {
    explicit Crystal(int number, unsigned seed) : operations(test::SettingOperations(test::FirstRow(number)))
    {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        std::uniform_real_distribution<double> noise(-2e-4, 2e-4);
        std::uniform_int_distribution<int> cells(-2, 2);
        struct Atom {
            Point3d position;
            int type;
            int orbit;
        };
        std::vector<Atom> made;
        const Point3d special(0.5, 0.0, 0.5);  // an inversion centre in the standard P21/C setting
        for (int orbit = 0; orbit < 12; ++orbit) {
            const Point3d p = orbit == 0 ? special : Point3d(unit(random), unit(random), unit(random));
            const int type = orbit % 2;
            for (const Matrix4x4& op : operations) {
                const Point3d image = p * op + Point3d(cells(random), cells(random), cells(random)) +
                                      Point3d(noise(random), noise(random), noise(random));
                made.push_back({image, type, orbit});
                if (random() % 4 == 0)  // a lattice duplicate
                    made.push_back({image + Point3d(1, 0, -1), type, orbit});
            }
            // The same position under the other type: never grouped with this orbit.
            made.push_back({p, 1 - type, 100 + orbit});
        }
        std::shuffle(made.begin(), made.end(), random);
        for (const Atom& atom : made) {
            lists.positions.push_back(atom.position);
            lists.types.push_back(atom.type);
            orbits.push_back(atom.orbit);
        }
        const std::size_t n = made.size();
        lists.states.assign(n, 0);
        lists.parents.resize(n);
        std::iota(lists.parents.begin(), lists.parents.end(), 0);
        lists.keys.assign(n, SymmetryImageKey::identity);
        MakeSingletonLists(static_cast<std::int32_t>(n), lists.classes);
    }

    std::vector<Matrix4x4> operations;
    Matrix3x3 toCartesian = test::FractionalToCartesian(9, 11, 13, 90, 104, 90);
    Matrix3x3 toFractional = test::Inverse(toCartesian);
    EquivalentAtomLists lists;
    std::vector<int> orbits;
};

// The head of an atom: its parent, or its parent's parent for a lattice duplicate claimed first.
std::int32_t Head(const EquivalentAtomLists& lists, std::int32_t i)
{
    const std::int32_t parent = lists.parents[static_cast<std::size_t>(i)];
    return lists.parents[static_cast<std::size_t>(parent)];
}

TEST(SymmetryTools, EquivalentAtomsAreClaimedByTheFirstAtomOfTheirOrbit)
{
    Crystal crystal(14, 1);
    EquivalentAtomLists& lists = crystal.lists;
    const auto n = static_cast<std::int32_t>(lists.positions.size());
    const double tolerance = 0.01;
    PeriodicNeighborGrid grid(crystal.toCartesian, crystal.toFractional, tolerance);
    for (std::int32_t i = 0; i < n; ++i)
        grid.AddPoint(lists.positions[static_cast<std::size_t>(i)], i);
    SymmetryOperationTable table;
    CosetLattice lattice(4);
    ClaimTranslationEquivalents(lists, 0, grid);
    ClaimEquivalentAtoms(lists, crystal.toCartesian, tolerance, crystal.operations, grid, table, lattice);

    std::vector<std::int32_t> first(200, -1);
    for (std::int32_t i = 0; i < n; ++i) {
        std::int32_t& f = first[static_cast<std::size_t>(crystal.orbits[static_cast<std::size_t>(i)])];
        if (f < 0)
            f = i;
    }
    std::vector<std::int32_t> inClass(static_cast<std::size_t>(n), 0);
    for (std::int32_t i = 0; i < n; ++i) {
        const auto u = static_cast<std::size_t>(i);
        const std::int32_t expected = first[static_cast<std::size_t>(crystal.orbits[u])];
        ASSERT_EQ(Head(lists, i), expected) << i;
        ASSERT_EQ(lists.states[u], i == expected ? 0 : 1) << i;
        const std::int32_t parent = lists.parents[u];
        ASSERT_LE(parent, i);
        // The key maps the parent onto the atom.
        const SymmetryImageKey& key = lists.keys[u];
        const Point3d image = lists.positions[static_cast<std::size_t>(parent)] * crystal.operations[static_cast<std::size_t>(key.op)] +
                              key.GetTranslation();
        const Point3d d = ToCartesian(image - lists.positions[u], crystal.toCartesian);
        ASSERT_LE(d.Dot(d), tolerance * tolerance) << i << " key " << key;
        for (const std::int32_t member : lists.classes[u])
            ++inClass[static_cast<std::size_t>(member)];
        if (i == expected) {
            const auto members = static_cast<std::size_t>(std::count(crystal.orbits.begin(), crystal.orbits.end(), crystal.orbits[u]));
            ASSERT_EQ(lists.classes[u].size(), members) << i;
            ASSERT_EQ(lists.classes[u].front(), i);
        } else {
            ASSERT_TRUE(lists.classes[u].empty()) << i;
        }
    }
    // Every atom in exactly one class.
    EXPECT_TRUE(std::all_of(inClass.begin(), inClass.end(), [](std::int32_t c) { return c == 1; }));

    // The head on the inversion centre has a site of two operations and two classes of two.
    const std::int32_t centre = first[0];
    const auto c = static_cast<std::size_t>(centre);
    ASSERT_GT(lists.siteNumbers[c], 0);
    SymmetryImageKey::Array keys;
    ASSERT_TRUE(table.GetKeys(lists.siteNumbers[c], keys));
    EXPECT_EQ(keys.size(), 2u);
    IntArray partition;
    lattice.GetPartition(lists.cosetNumbers[c], partition);
    EXPECT_TRUE(IsValidCosetArray(partition));
    EXPECT_EQ(CosetDecomposition(partition).CountClasses(), 2);
    EXPECT_EQ(lists.siteNumbers[static_cast<std::size_t>(first[1])], 0);
    EXPECT_EQ(lists.cosetNumbers[static_cast<std::size_t>(first[1])], 0);
}

TEST(SymmetryTools, ClaimedAtomsKeepTheirStatesAndListsThatDisagreeChangeNothing)
{
    Crystal crystal(14, 2);
    EquivalentAtomLists& lists = crystal.lists;
    const auto n = static_cast<std::int32_t>(lists.positions.size());
    PeriodicNeighborGrid grid(crystal.toCartesian, crystal.toFractional, 0.01);
    for (std::int32_t i = 0; i < n; ++i)
        grid.AddPoint(lists.positions[static_cast<std::size_t>(i)], i);
    SymmetryOperationTable table;
    CosetLattice lattice(4);
    // Atom 0 is marked as an image already (state 3) and atom 1 is free with state 2.
    lists.states[0] = 3;
    lists.states[1] = 2;
    const EquivalentAtomLists before = lists;
    lists.keys.pop_back();
    ClaimEquivalentAtoms(lists, crystal.toCartesian, 0.01, crystal.operations, grid, table, lattice);
    EXPECT_EQ(lists.states, before.states);
    lists.keys = before.keys;
    ClaimEquivalentAtoms(lists, crystal.toCartesian, 0.01, {}, grid, table, lattice);
    EXPECT_EQ(lists.parents, before.parents);

    ClaimEquivalentAtoms(lists, crystal.toCartesian, 0.01, crystal.operations, grid, table, lattice);
    EXPECT_EQ(lists.states[0], 3);
    EXPECT_EQ(lists.parents[0], 0);
    EXPECT_EQ(lists.classes[0], IntArray{0});
    EXPECT_TRUE(lists.states[1] == 2 || lists.states[1] == 3);
    for (std::int32_t i = 1; i < n; ++i)
        EXPECT_NE(lists.parents[static_cast<std::size_t>(i)], 0);
}

TEST(SymmetryTools, HugeCoordinatesClaimNothing)
{
    const std::vector<Matrix4x4> ops = {Operation(identity3, 0, 0, 0), Operation(twoFoldZ, 0, 0, 0)};
    EquivalentAtomLists lists;
    // Atom 1 lies on the 2-fold image of atom 0, but 3e9 cells away.
    lists.positions = {Point3d(3e9, 0.1, 0.1), Point3d(0.0, -0.1, 0.1), Point3d(0.1, 0.1, 0.1)};
    Point3d nan;
    nan.x = std::numeric_limits<float>::quiet_NaN();
    lists.positions.push_back(nan);
    lists.types.assign(4, 1);
    lists.states.assign(4, 0);
    lists.parents = {0, 1, 2, 3};
    lists.keys.assign(4, SymmetryImageKey::identity);
    MakeSingletonLists(4, lists.classes);
    const Matrix3x3 toCartesian = test::FractionalToCartesian(10, 10, 10, 90, 90, 90);
    PeriodicNeighborGrid grid(toCartesian, test::Inverse(toCartesian), 0.01);
    for (std::int32_t i = 0; i < 4; ++i)
        grid.AddPoint(lists.positions[static_cast<std::size_t>(i)], i);
    SymmetryOperationTable table;
    CosetLattice lattice(2);
    ClaimTranslationEquivalents(lists, 0, grid);
    ClaimEquivalentAtoms(lists, toCartesian, 0.01, ops, grid, table, lattice);
    EXPECT_EQ(lists.parents, (IntArray{0, 1, 2, 3}));
    EXPECT_EQ(lists.states, (IntArray{0, 0, 0, 0}));
}

} // namespace
