#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include <tavrel/symmetry_build/SymmetryImageKey.h>
#include <tavrel/symmetry_build/SymmetryImageKeySet.h>
#include <tavrel/symmetry_build/SymmetryOperationTable.h>

using namespace Tavrel;

namespace {

std::string Text(const SymmetryImageKey& key)
{
    std::ostringstream os;
    os << key;
    return os.str();
}

TEST(SymmetryImageKey, PrintsOperatorAndTranslationWithoutBlanks)
{
    EXPECT_EQ(Text(SymmetryImageKey()), "-1[0,0,0]");
    EXPECT_EQ(Text(SymmetryImageKey::identity), "0[0,0,0]");
    EXPECT_EQ(Text(SymmetryImageKey(3, 0, 1, -1)), "3[0,1,-1]");
    EXPECT_EQ(Text(SymmetryImageKey(7)), "7[0,0,0]");
    EXPECT_EQ(Text(SymmetryImageKey(-2147483647 - 1, 2147483647, -5, 12345678)),
              "-2147483648[2147483647,-5,12345678]");
}

TEST(SymmetryImageKey, PrintsTheSameWhateverTheStreamsLocale)
{
    struct Grouping : std::numpunct<char> {
        std::string do_grouping() const override { return "\3"; }
        char do_thousands_sep() const override { return '\''; }
    };
    std::ostringstream os;
    os.imbue(std::locale(std::locale::classic(), new Grouping));
    os << SymmetryImageKey(1234, 5678, 0, -91011);
    EXPECT_EQ(os.str(), "1234[5678,0,-91011]");
}

TEST(SymmetryImageKey, DefaultIdentityAndTranslation)
{
    const SymmetryImageKey none;
    EXPECT_EQ(none, SymmetryImageKey(-1, 0, 0, 0));
    EXPECT_NE(none, SymmetryImageKey::identity);
    EXPECT_FALSE(none.IsIdentity());
    EXPECT_TRUE(SymmetryImageKey(0).IsIdentity());
    EXPECT_FALSE(SymmetryImageKey(5, 0, 0, 0).HasTranslation());
    EXPECT_TRUE(SymmetryImageKey(0, 0, 0, -1).HasTranslation());
    EXPECT_FALSE(SymmetryImageKey(0, 0, 0, -1).IsIdentity());
    EXPECT_EQ(SymmetryImageKey(2, 1, -2, 3).GetTranslation(), Point3d(1, -2, 3));
}

TEST(SymmetryImageKey, OrdersByOperatorThenEachTranslationSigned)
{
    EXPECT_LT(SymmetryImageKey(-1, 5, 5, 5), SymmetryImageKey(0, -9, 0, 0));
    EXPECT_LT(SymmetryImageKey(2, 0, 0, -1), SymmetryImageKey(2, 0, 0, 0));
    EXPECT_LT(SymmetryImageKey(2, -1, 9, 9), SymmetryImageKey(2, 0, -9, -9));
    EXPECT_LT(SymmetryImageKey(2, 0, -1, 9), SymmetryImageKey(2, 0, 0, -9));
    EXPECT_FALSE(SymmetryImageKey(2, 1, 1, 1) < SymmetryImageKey(2, 1, 1, 1));

    std::vector<SymmetryImageKey> keys = {{1, 0, 0, 0}, {0, 0, 0, 1}, {-1, 0, 0, 0}, {0, 0, 0, -1}, {1, -1, 0, 0}};
    std::sort(keys.begin(), keys.end());
    const std::vector<SymmetryImageKey> sorted = {{-1, 0, 0, 0}, {0, 0, 0, -1}, {0, 0, 0, 1}, {1, -1, 0, 0}, {1, 0, 0, 0}};
    EXPECT_EQ(keys, sorted);
}

TEST(SymmetryImageKeySet, NumbersKeysDenselyInOrderOfFirstAppearance)
{
    SymmetryImageKeySet set;
    EXPECT_EQ(set.Add({1, 0, 0, 0}), 0);
    EXPECT_EQ(set.Add(SymmetryImageKey::identity), 1);
    EXPECT_EQ(set.Add({1, 0, 0, 0}), 0);
    EXPECT_EQ(set.GetCount(), 2);
    IntArray list{99};
    set.GetOperationIndexList(list);
    EXPECT_EQ(list, (IntArray{1, 0, 0, 0, 0, 0, 0, 0}));

    // Keys at the ends of the integer range are numbered as any other.
    const SymmetryImageKey lowest(INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN);
    const SymmetryImageKey highest(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX);
    EXPECT_EQ(set.Add(lowest), 2);
    EXPECT_EQ(set.Add(highest), 3);
    EXPECT_EQ(set.Add(lowest), 2);
    EXPECT_EQ(set.GetCount(), 4);

    set.Clear();
    EXPECT_EQ(set.GetCount(), 0);
    EXPECT_EQ(set.Add({4, 1, 2, 3}), 0);
    EXPECT_EQ(set.Add(lowest), 1);
    set.SetOperationIndexList({INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, 1, 0, 0, 0});
    EXPECT_EQ(set.Add(lowest), 0);
    EXPECT_EQ(set.Add({1, 0, 0, 0}), 1);
}

TEST(SymmetryImageKeySet, OperationIndexListRoundTripsAndKeepsRepeats)
{
    SymmetryImageKeySet set;
    set.SetOperationIndexList({2, 0, 1, -1, 0, 0, 0, 0, 5, 3, 3, 3});
    ASSERT_EQ(set.GetCount(), 3);
    EXPECT_EQ(set.GetKeys()[0], SymmetryImageKey(2, 0, 1, -1));
    EXPECT_EQ(set.Add({5, 3, 3, 3}), 2);
    EXPECT_EQ(set.Add({6, 0, 0, 0}), 3);

    IntArray exported;
    set.GetOperationIndexList(exported);
    SymmetryImageKeySet read;
    read.SetOperationIndexList(exported);
    EXPECT_EQ(read.GetKeys(), set.GetKeys());

    // A repeated tuple keeps its first number but stays in the list and the next export.
    read.SetOperationIndexList({1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0});
    EXPECT_EQ(read.GetCount(), 3);
    EXPECT_EQ(read.Add({1, 0, 0, 0}), 0);
    EXPECT_EQ(read.Add({7, 0, 0, 0}), 3);
    read.GetOperationIndexList(exported);
    EXPECT_EQ(exported.size(), 16u);
}

TEST(SymmetryImageKeySet, KeysWithAndWithoutTranslationShareOneNumbering)
{
    SymmetryImageKeySet set;
    const SymmetryImageKey keys[] = {{3, 0, 0, 0},  {3, 1, 0, 0},       {-1, 0, 0, 0}, {0, 0, 0, -1},
                                     {0, 0, 0, 0},  {5000, 0, 0, 0},    {2, 0, 0, 0},  {INT32_MAX, 0, 0, 0}};
    for (int round = 0; round < 2; ++round)
        for (std::int32_t i = 0; i < 8; ++i)
            EXPECT_EQ(set.Add(keys[i]), i) << "round " << round << ", key " << i;
    EXPECT_EQ(set.GetCount(), 8);

    const SymmetryImageKeySet copy = set;
    EXPECT_EQ(SymmetryImageKeySet(copy).Add({2, 0, 0, 0}), 6);
    set.Clear();
    EXPECT_EQ(set.Add({2, 0, 0, 0}), 0);
    EXPECT_EQ(set.Add({3, 0, 0, 0}), 1);
    set.SetOperationIndexList({4, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0});
    EXPECT_EQ(set.Add({3, 0, 0, 0}), 1);
    EXPECT_EQ(set.Add({4, 0, 0, 0}), 0);
    EXPECT_EQ(set.Add({2, 0, 0, 0}), 3);
}

TEST(SymmetryImageKeySet, MalformedOperationIndexListLeavesTheSetEmpty)
{
    SymmetryImageKeySet set;
    set.Add({1, 0, 0, 0});
    set.SetOperationIndexList({1, 0, 0, 0, 2, 0, 0});
    EXPECT_EQ(set.GetCount(), 0);
    IntArray exported{1, 2, 3};
    set.GetOperationIndexList(exported);
    EXPECT_TRUE(exported.empty());
    set.Add({1, 0, 0, 0});
    set.SetOperationIndexList({});
    EXPECT_EQ(set.GetCount(), 0);
    EXPECT_EQ(set.Add({9, 0, 0, 0}), 0);
}

TEST(SymmetryOperationTable, StartsWithTheIdentityEntry)
{
    const SymmetryOperationTable table;
    EXPECT_EQ(table.GetCount(), 1);
    SymmetryImageKey::Array keys;
    EXPECT_TRUE(table.GetKeys(0, keys));
    EXPECT_EQ(keys, SymmetryImageKey::Array{SymmetryImageKey::identity});
    EXPECT_FALSE(table.GetKeys(1, keys));
    EXPECT_TRUE(keys.empty());
    Matrix3x3 m(2, 0, 0, 0, 2, 0, 0, 0, 2);
    EXPECT_FALSE(table.GetMatrix(-1, m));
    EXPECT_EQ(m, Matrix3x3());
    EXPECT_TRUE(table.GetMatrix(0, m));
    EXPECT_EQ(m, Matrix3x3());
    EXPECT_EQ(table.GetPoint(0), Point3d());
}

TEST(SymmetryOperationTable, FindsKeyListsAndKeepsTheirFirstPointAndMatrix)
{
    SymmetryOperationTable table;
    EXPECT_EQ(table.Add({SymmetryImageKey::identity}, Point3d(1, 1, 1), Matrix3x3(0, 1, 0, 1, 0, 0, 0, 0, 1)), 0);
    EXPECT_EQ(table.GetCount(), 1);
    Matrix3x3 m;
    table.GetMatrix(0, m);
    EXPECT_EQ(m, Matrix3x3());

    const SymmetryImageKey::Array site = {SymmetryImageKey::identity, {3, 0, 0, 0}};
    const Matrix3x3 half(0.5, 0, 0, 0, 0.5, 0, 0, 0, 1);
    EXPECT_EQ(table.Add(site, Point3d(0.5, 0.5, 0.25), half), 1);
    EXPECT_EQ(table.Add(site, Point3d(0.1, 0.2, 0.3), Matrix3x3()), 1);
    EXPECT_EQ(table.GetPoint(1), Point3d(0.5, 0.5, 0.25));
    EXPECT_TRUE(table.GetMatrix(1, m));
    EXPECT_EQ(m, half);
    // A prefix is another list.
    EXPECT_EQ(table.Add({SymmetryImageKey::identity, {3, 0, 0, 0}, {4, 0, 0, 1}}, Point3d(), Matrix3x3()), 2);
    EXPECT_EQ(table.Add({{3, 0, 0, 0}, SymmetryImageKey::identity}, Point3d(), Matrix3x3()), 3);

    SymmetryOperationTable copy(table);
    table.Reset();
    EXPECT_EQ(table.GetCount(), 1);
    SymmetryImageKey::Array keys;
    EXPECT_FALSE(table.GetKeys(1, keys));
    EXPECT_EQ(table.Add(site, Point3d(), Matrix3x3()), 1);
    EXPECT_EQ(copy.GetCount(), 4);
    EXPECT_TRUE(copy.GetKeys(1, keys));
    EXPECT_EQ(keys, site);
}

} // namespace
