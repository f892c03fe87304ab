#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <tavrel/symmetry_build/FractionalCoordinates.h>
#include <tavrel/symmetry_build/IndexLists.h>
#include <tavrel/symmetry_build/Matrix4x4Group.h>

#include "SymmetryTestSupport.h"

using namespace Tavrel;
using test::Operation;

namespace {

constexpr double identity3[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
constexpr double twoFoldZ[9] = {-1, 0, 0, 0, -1, 0, 0, 0, 1};
constexpr double fourFoldZ[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};

// The identity and a 2-fold screw axis along c.
std::vector<Matrix4x4> ScrewAxis()
{
    return {Operation(identity3, 0, 0, 0), Operation(twoFoldZ, 0, 0, 0.5)};
}

// The key arithmetic as the operations define it, by linear scans of the list.
SymmetryImageKey ReferenceMultiply(const std::vector<Matrix4x4>& ops, const SymmetryImageKey& a, const SymmetryImageKey& b)
{
    const auto n = static_cast<std::int32_t>(ops.size());
    if (a.op < 0 || a.op >= n || b.op < 0 || b.op >= n)
        return {};
    const Matrix4x4& mb = ops[static_cast<std::size_t>(b.op)];
    const Matrix4x4 p = ops[static_cast<std::size_t>(a.op)] * mb;
    for (std::int32_t j = 0; j < n; ++j) {
        const Matrix4x4& o = ops[static_cast<std::size_t>(j)];
        if (!EqualModuloLattice(p, o))
            continue;
        const double ta[3] = {double(a.a), double(a.b), double(a.c)};
        const double tb[3] = {double(b.a), double(b.b), double(b.c)};
        std::int32_t t[3];
        for (int c = 0; c < 3; ++c) {
            const double u = ta[0] * mb(0, c) + ta[1] * mb(1, c) + ta[2] * mb(2, c) + tb[c];
            t[c] = static_cast<std::int32_t>(std::floor(p(3, c) - o(3, c) + 0.5 + u));
        }
        return {j, t[0], t[1], t[2]};
    }
    return {};
}

SymmetryImageKey ReferenceInverse(const std::vector<Matrix4x4>& ops, const SymmetryImageKey& k)
{
    if (k.op < 0 || k.op >= static_cast<std::int32_t>(ops.size()))
        return {};
    Matrix4x4 n;
    if (!InvertAffine(ops[static_cast<std::size_t>(k.op)], n))
        return {};
    for (std::size_t j = 0; j < ops.size(); ++j) {
        if (!EqualModuloLattice(n, ops[j]))
            continue;
        std::int32_t t[3];
        for (int c = 0; c < 3; ++c) {
            const double s = n(3, c) - ops[j](3, c) - (k.a * n(0, c) + k.b * n(1, c) + k.c * n(2, c));
            t[c] = static_cast<std::int32_t>(std::floor(s + 0.5));
        }
        return {static_cast<std::int32_t>(j), t[0], t[1], t[2]};
    }
    return {};
}

TEST(FractionalCoordinates, WrapToUnitCellAtItsBoundaries)
{
    EXPECT_EQ(WrapToUnitCell(Point3d(-0.25, 1.25, 0.5)), Point3d(0.75, 0.25, 0.5));
    // -1e-9 wraps to a float that rounds to 1.0: it becomes 0.
    EXPECT_EQ(WrapToUnitCell(Point3d(-1e-9, 1.0, -3.0)), Point3d(0, 0, 0));
    EXPECT_EQ(WrapToUnitCell(Point3d(0.5, -0.5, 2.5)), Point3d(0.5, 0.5, 0.5));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Point3d odd;
    odd.x = nan;
    odd.y = inf;
    odd.z = -inf;
    EXPECT_EQ(WrapToUnitCell(odd), Point3d(0, 0, 0));
    for (const float x : {-1e-9f, -1e-30f, 0.99999994f, 1e30f, -123456.789f, 7.0f}) {
        const float w = WrapToUnitCell(Point3d(x, 0, 0)).x;
        EXPECT_GE(w, 0.0f) << x;
        EXPECT_LT(w, 1.0f) << x;
    }
    EXPECT_EQ(GetLatticeShift(Point3d(-0.25, 3.5, -1e-9)), Point3d(-1, 3, 0));
}

TEST(FractionalCoordinates, RoundingToTheNearestLatticeTranslation)
{
    EXPECT_EQ(ReduceToNearestImage(Point3d(0.5, -0.5, 0.75)), Point3d(-0.5, -0.5, -0.25));
    EXPECT_EQ(ReduceToNearestImage(Point3d(2.25, -3.0, 0.4999)).x, 0.25f);
    EXPECT_EQ(RoundToLattice(Point3d(0.5, -0.5, -0.51)), Point3d(1, 0, -1));
    EXPECT_EQ(GetNearestLatticeDifference(Point3d(0.9, 0.1, 0.5), Point3d(0.1, 0.9, 2.5)), Point3d(-1, 1, 2));
    std::int32_t i = 7;
    EXPECT_TRUE(FloorToInt32(-2147483648.0, i));
    EXPECT_EQ(i, std::numeric_limits<std::int32_t>::min());
    EXPECT_TRUE(FloorToInt32(2147483647.9, i));
    EXPECT_EQ(i, std::numeric_limits<std::int32_t>::max());
    EXPECT_FALSE(FloorToInt32(2147483648.0, i));
    EXPECT_FALSE(FloorToInt32(-2147483648.5, i));
    EXPECT_FALSE(FloorToInt32(std::numeric_limits<double>::quiet_NaN(), i));
    EXPECT_FALSE(FloorToInt32(-std::numeric_limits<double>::infinity(), i));
    EXPECT_EQ(i, std::numeric_limits<std::int32_t>::max());
}

TEST(FractionalCoordinates, AxisExtentsAreTheSpheresFractionalWidths)
{
    const Matrix3x3 toCartesian = test::FractionalToCartesian(10, 20, 40, 90, 90, 90);
    const auto widths = GetAxisExtents(test::Inverse(toCartesian), 2.0);
    EXPECT_NEAR(widths[0], 0.4, 1e-12);
    EXPECT_NEAR(widths[1], 0.2, 1e-12);
    EXPECT_NEAR(widths[2], 0.1, 1e-12);
    // A sheared cell: the width along an axis is the sphere's extent between planes of constant x.
    const Matrix3x3 oblique = test::FractionalToCartesian(10, 10, 10, 90, 90, 60);
    const auto sheared = GetAxisExtents(test::Inverse(oblique), 1.0);
    EXPECT_NEAR(sheared[0], 2.0 / (10 * std::sin(3.14159265358979323846 / 3)), 1e-9);
}

TEST(FractionalCoordinates, EqualModuloLatticeReducesOnlyTheTranslation)
{
    const Matrix4x4 a = Operation(twoFoldZ, 0.25, 0.5, 0.0);
    EXPECT_TRUE(EqualModuloLattice(a, Operation(twoFoldZ, 1.25, -0.5, 0.0)));
    EXPECT_TRUE(EqualModuloLattice(a, Operation(twoFoldZ, 0.2505, 3.4995, -7.0)));
    EXPECT_FALSE(EqualModuloLattice(a, Operation(twoFoldZ, 0.25, 0.0, 0.0)));
    EXPECT_FALSE(EqualModuloLattice(a, Operation(twoFoldZ, 0.251, 0.5, 0.0)));
    Matrix4x4 rotated = a;
    rotated(0, 0) += 0.001;
    EXPECT_FALSE(EqualModuloLattice(a, rotated));
    rotated(0, 0) = -1.0009;
    EXPECT_TRUE(EqualModuloLattice(a, rotated));
    Matrix4x4 shifted = a;
    shifted(0, 0) += 1.0;
    EXPECT_FALSE(EqualModuloLattice(a, shifted));
    Matrix4x4 projective = a;
    projective(0, 3) = 0.5;
    EXPECT_FALSE(EqualModuloLattice(a, projective));
    Matrix4x4 broken = a;
    broken(3, 1) = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(EqualModuloLattice(broken, broken));

    EXPECT_TRUE(EqualWithinTolerance(a, Operation(twoFoldZ, 0.2505, 0.5, 0.0)));
    EXPECT_FALSE(EqualWithinTolerance(a, Operation(twoFoldZ, 1.25, 0.5, 0.0)));
}

TEST(FractionalCoordinates, InvertAffineUndoesTheOperation)
{
    const double general[9] = {0, 1, 0, -1, 1, 0, 0, 0, -1};  // a hexagonal rotation
    const Matrix4x4 m = Operation(general, 1.0 / 3, 2.0 / 3, 0.25);
    Matrix4x4 inverse;
    ASSERT_TRUE(InvertAffine(m, inverse));
    const Matrix4x4 product = m * inverse;
    EXPECT_TRUE(EqualWithinTolerance(product, Matrix4x4()));
    const Point3d p(0.1, 0.7, -0.3);
    const Point3d back = p * m * inverse;
    EXPECT_NEAR(back.x, p.x, 1e-6);
    EXPECT_NEAR(back.y, p.y, 1e-6);
    EXPECT_NEAR(back.z, p.z, 1e-6);

    const double flat[9] = {1, 0, 0, 0, 1, 0, 0, 0, 0};
    EXPECT_FALSE(InvertAffine(Operation(flat, 0.5, 0, 0), inverse));
    EXPECT_EQ(inverse, NullMatrix());
}

TEST(Matrix4x4Group, InverseAndProductOnAScrewAxis)
{
    Matrix4x4Group group;
    ASSERT_TRUE(group.SetOperations(ScrewAxis()));
    EXPECT_EQ(group.GetCount(), 2);
    EXPECT_EQ(group.GetInverseIndex(1), 1);
    EXPECT_EQ(group.GetInverse({1, 0, 0, 0}), SymmetryImageKey(1, 0, 0, -1));
    EXPECT_EQ(group.Multiply({1, 0, 0, 0}, {1, 0, 0, 0}), SymmetryImageKey(0, 0, 0, 1));
    EXPECT_EQ(group.Multiply({1, 0, 0, 0}, group.GetInverse({1, 0, 0, 0})), SymmetryImageKey::identity);
    // The translation of a key is carried through the next operation's rotation.
    EXPECT_EQ(group.Multiply({0, 1, 2, 3}, {1, 0, 0, 0}), SymmetryImageKey(1, -1, -2, 3));
    EXPECT_EQ(group.GetInverse({1, 1, 2, 3}), SymmetryImageKey(1, 1, 2, -4));
    EXPECT_EQ(group.Multiply({1, 1, 2, 3}, group.GetInverse({1, 1, 2, 3})), SymmetryImageKey::identity);

    for (const SymmetryImageKey& bad : {SymmetryImageKey(), SymmetryImageKey(2, 0, 0, 0), SymmetryImageKey(-5, 1, 1, 1)}) {
        EXPECT_EQ(group.GetInverse(bad), SymmetryImageKey());
        EXPECT_EQ(group.Multiply(bad, {1, 0, 0, 0}), SymmetryImageKey());
        EXPECT_EQ(group.Multiply({1, 0, 0, 0}, bad), SymmetryImageKey());
    }
    group.Clear();
    EXPECT_EQ(group.GetCount(), 0);
    EXPECT_FALSE(group.IsValidIndex(0));
    EXPECT_EQ(group.Multiply(SymmetryImageKey::identity, SymmetryImageKey::identity), SymmetryImageKey());
}

TEST(Matrix4x4Group, TranslationsBeyondTheIntRangeGiveTheDefaultKey)
{
    Matrix4x4Group group;
    ASSERT_TRUE(group.SetOperations(ScrewAxis()));
    const std::int32_t max = std::numeric_limits<std::int32_t>::max();
    const std::int32_t min = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(group.Multiply({0, max, 0, 0}, {0, 1, 0, 0}), SymmetryImageKey());
    EXPECT_EQ(group.Multiply({0, max, 0, 0}, {0, 0, 0, 0}), SymmetryImageKey(0, max, 0, 0));
    // -min does not fit; the rotation of operation 1 negates a.
    EXPECT_EQ(group.Multiply({0, min, 0, 0}, {1, 0, 0, 0}), SymmetryImageKey());
    EXPECT_EQ(group.GetInverse({0, min, 0, 0}), SymmetryImageKey());
    // The inverse of the screw keeps a and b and takes c to -1 - c.
    EXPECT_EQ(group.GetInverse({1, min, max, min}), SymmetryImageKey(1, min, max, max));
    EXPECT_EQ(group.GetInverse({1, 0, 0, max}), SymmetryImageKey(1, 0, 0, min));
}

TEST(Matrix4x4Group, RefusesOperationsThatAreNotAGroupLedByTheIdentity)
{
    Matrix4x4Group group;
    // The 4-fold rotation without its square and cube.
    EXPECT_FALSE(group.SetOperations({Operation(identity3, 0, 0, 0), Operation(fourFoldZ, 0, 0, 0)}));
    EXPECT_EQ(group.GetCount(), 2);
    EXPECT_EQ(group.Multiply({1, 0, 0, 0}, {1, 0, 0, 0}), SymmetryImageKey());
    EXPECT_EQ(group.GetInverse({1, 0, 0, 0}), SymmetryImageKey());
    EXPECT_EQ(group.Multiply({0, 0, 0, 0}, {1, 0, 0, 0}), SymmetryImageKey(1, 0, 0, 0));
    EXPECT_EQ(Matrix4x4Group::notAGroupMessage, "The symmetry operations do not form a group with the identity first");

    // The screw axis with its operations swapped: closed, but the identity is not first.
    EXPECT_FALSE(group.SetOperations({Operation(twoFoldZ, 0, 0, 0.5), Operation(identity3, 0, 0, 0)}));
    EXPECT_EQ(group.Multiply({0, 0, 0, 0}, {0, 0, 0, 0}), SymmetryImageKey(1, 0, 0, 1));

    // A singular operation has no inverse.
    const double flat[9] = {1, 0, 0, 0, 1, 0, 0, 0, 0};
    EXPECT_FALSE(group.SetOperations({Operation(identity3, 0, 0, 0), Operation(flat, 0, 0, 0)}));
    EXPECT_EQ(group.GetInverseIndex(1), -1);
    EXPECT_EQ(group.GetInverse({1, 0, 0, 0}), SymmetryImageKey());

    // Far more operations than any space group has: kept, but no table.
    const std::vector<Matrix4x4> many(static_cast<std::size_t>(Matrix4x4Group::maxOperations) + 1);
    EXPECT_FALSE(group.SetOperations(many));
    EXPECT_EQ(group.GetCount(), Matrix4x4Group::maxOperations + 1);
    EXPECT_EQ(group.Multiply(SymmetryImageKey::identity, SymmetryImageKey::identity), SymmetryImageKey());

    EXPECT_TRUE(group.SetOperations({}));
    EXPECT_EQ(group.GetCount(), 0);
}

TEST(Matrix4x4Group, TheFirstOperationEqualModuloTheLatticeIsTaken)
{
    // Operation 2 repeats operation 1 one cell along a: products and inverses name operation 1.
    Matrix4x4Group group;
    const std::vector<Matrix4x4> ops = {Operation(identity3, 0, 0, 0), Operation(twoFoldZ, 0, 0, 0.5),
                                        Operation(twoFoldZ, 1, 0, 0.5)};
    EXPECT_TRUE(group.SetOperations(ops));
    EXPECT_EQ(group.GetInverseIndex(2), 1);
    EXPECT_EQ(group.Multiply({2, 0, 0, 0}, {0, 0, 0, 0}), ReferenceMultiply(ops, {2, 0, 0, 0}, {0, 0, 0, 0}));
    EXPECT_EQ(group.Multiply({2, 0, 0, 0}, {0, 0, 0, 0}), SymmetryImageKey(1, 1, 0, 0));
    EXPECT_EQ(group.GetInverse({2, 0, 0, 0}), ReferenceInverse(ops, {2, 0, 0, 0}));

    // A rotation that is not whole is still found, by comparing it with every operation.
    Matrix4x4 skewed = Operation(identity3, 0, 0, 0);
    skewed(0, 0) = 1.0004;
    const std::vector<Matrix4x4> near = {Operation(identity3, 0, 0, 0), skewed};
    EXPECT_TRUE(group.SetOperations(near));
    EXPECT_EQ(group.Multiply({1, 0, 0, 0}, {1, 0, 0, 0}), ReferenceMultiply(near, {1, 0, 0, 0}, {1, 0, 0, 0}));
    EXPECT_EQ(group.GetInverse({1, 0, 0, 0}), ReferenceInverse(near, {1, 0, 0, 0}));
}

// Every setting of the 230 space groups: the operations form a group, every key times its inverse is
// the identity, and the tables give the same keys as the arithmetic on the operations.
TEST(Matrix4x4Group, EveryKeyTimesItsInverseIsTheIdentityInEverySetting)
{
    std::mt19937 random(28);
    std::uniform_int_distribution<std::int32_t> cells(-6, 6);
    Matrix4x4Group group;
    for (int row = 1; row < test::SettingCount(); ++row) {
        const std::vector<Matrix4x4> ops = test::SettingOperations(row);
        ASSERT_TRUE(group.SetOperations(ops)) << "setting row " << row;
        const auto n = static_cast<std::int32_t>(ops.size());
        std::uniform_int_distribution<std::int32_t> pick(0, n - 1);
        for (std::int32_t op = 0; op < n; ++op) {
            const SymmetryImageKey k(op, cells(random), cells(random), cells(random));
            const SymmetryImageKey inverse = group.GetInverse(k);
            ASSERT_EQ(group.Multiply(k, inverse), SymmetryImageKey::identity) << "row " << row << " key " << k;
            ASSERT_EQ(group.Multiply(inverse, k), SymmetryImageKey::identity) << "row " << row << " key " << k;
            ASSERT_EQ(inverse, ReferenceInverse(ops, k)) << "row " << row << " key " << k;
        }
        for (int trial = 0; trial < 8; ++trial) {
            const SymmetryImageKey a(pick(random), cells(random), cells(random), cells(random));
            const SymmetryImageKey b(pick(random), cells(random), cells(random), cells(random));
            const SymmetryImageKey c(pick(random), cells(random), cells(random), cells(random));
            ASSERT_EQ(group.Multiply(a, b), ReferenceMultiply(ops, a, b)) << "row " << row << ' ' << a << ' ' << b;
            ASSERT_EQ(group.Multiply(group.Multiply(a, b), c), group.Multiply(a, group.Multiply(b, c)))
                << "row " << row << ' ' << a << ' ' << b << ' ' << c;
        }
    }
}

TEST(IndexLists, SingletonsMergeIntoOneAnother)
{
    IndexLists lists;
    MakeSingletonLists(4, lists);
    EXPECT_EQ(lists, (IndexLists{{0}, {1}, {2}, {3}}));
    MergeLists(2, 0, lists);
    MergeLists(2, 1, lists);  // an empty source: nothing
    MergeLists(1, 1, lists);
    MergeLists(3, 7, lists);
    MergeLists(-1, 0, lists);
    EXPECT_EQ(lists, (IndexLists{{0, 2}, {1}, {}, {3}}));
    MergeLists(0, 3, lists);
    EXPECT_EQ(lists, (IndexLists{{}, {1}, {}, {3, 0, 2}}));
    MakeSingletonLists(0, lists);
    EXPECT_TRUE(lists.empty());
    MakeSingletonLists(-3, lists);
    EXPECT_TRUE(lists.empty());
}

} // namespace
