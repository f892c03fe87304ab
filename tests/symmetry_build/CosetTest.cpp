#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

#include <tavrel/symmetry_build/CosetDecomposition.h>
#include <tavrel/symmetry_build/CosetLattice.h>
#include <tavrel/symmetry_build/CosetList.h>

using namespace Tavrel;

namespace {

template <class T>
std::string Text(const T& value)
{
    std::ostringstream os;
    os << value;
    return os.str();
}

// The join by brute force: elements are together when a chain of either partition's classes joins
// them; each class named by its smallest member.
IntArray BruteJoin(const IntArray& a, const IntArray& b)
{
    const std::size_t n = a.size();
    IntArray rep(n);
    for (std::size_t i = 0; i < n; ++i)
        rep[i] = static_cast<std::int32_t>(i);
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j)
                if ((a[i] == a[j] || b[i] == b[j]) && rep[i] != rep[j]) {
                    rep[i] = rep[j] = std::min(rep[i], rep[j]);
                    changed = true;
                }
    }
    return rep;
}

TEST(CosetDecomposition, ValidityOfRepresentativeArrays)
{
    EXPECT_FALSE(IsValidCosetArray({}));
    EXPECT_FALSE(IsValidCosetArray({0, 0, 2}));  // classes of 2 and 1
    EXPECT_FALSE(IsValidCosetArray({0, 1, 1}));  // classes of 1 and 2
    EXPECT_TRUE(IsValidCosetArray({0, 1, 0, 1}));
    EXPECT_TRUE(IsValidCosetArray({0, 0, 0, 3, 3, 3}));
    EXPECT_TRUE(IsValidCosetArray({0}));
    EXPECT_FALSE(IsValidCosetArray({1, 1}));        // a representative after its member
    EXPECT_FALSE(IsValidCosetArray({0, 0, 1, 1}));  // 1 is not its own representative
    EXPECT_FALSE(IsValidCosetArray({0, -1}));

    const CosetDecomposition valid(IntArray{0, 1, 0, 1});
    EXPECT_EQ(valid.GetClass(0), (IntArray{0, 2}));
    EXPECT_EQ(valid.GetClass(1), (IntArray{1, 3}));
    EXPECT_TRUE(valid.GetClass(2).empty());
    EXPECT_EQ(valid.CountClasses(), 2);
    const CosetDecomposition invalid(IntArray{0, 0, 2});
    EXPECT_EQ(invalid.GetSize(), 3);
    EXPECT_TRUE(invalid.GetClass(0).empty());
    const CosetDecomposition garbage(IntArray{5, -7});
    EXPECT_EQ(garbage.GetSize(), 2);
    EXPECT_TRUE(garbage.GetClass(0).empty());
}

TEST(CosetDecomposition, FinestAndEmptyAndText)
{
    const CosetDecomposition finest(4);
    EXPECT_EQ(finest.GetRepresentatives(), (IntArray{0, 1, 2, 3}));
    EXPECT_EQ(finest.CountClasses(), 4);
    EXPECT_EQ(finest.GetClass(3), IntArray{3});
    EXPECT_EQ(Text(finest), "0,1,2,3");
    EXPECT_TRUE(CosetDecomposition(0).IsEmpty());
    EXPECT_TRUE(CosetDecomposition(-2).IsEmpty());
    EXPECT_EQ(Text(CosetDecomposition()), "<EMPTY>");
    IntArray copy{9};
    finest.GetRepresentatives(copy);
    EXPECT_EQ(copy, (IntArray{0, 1, 2, 3}));
}

TEST(CosetDecomposition, JoinIsTheFinestCommonCoarsening)
{
    const CosetDecomposition a(IntArray{0, 0, 2, 2});
    const CosetDecomposition b(IntArray{0, 1, 0, 1});
    EXPECT_EQ(a.Join(b).GetRepresentatives(), (IntArray{0, 0, 0, 0}));
    EXPECT_EQ(CosetDecomposition(4).Join(b).GetRepresentatives(), b.GetRepresentatives());
    EXPECT_EQ(b.Join(CosetDecomposition(4)).GetRepresentatives(), b.GetRepresentatives());
    EXPECT_TRUE(a.Join(CosetDecomposition(3)).IsEmpty());
    EXPECT_TRUE(a.Join(CosetDecomposition(IntArray{0, 9, 0, 0})).IsEmpty());
    EXPECT_EQ(a.Join(b).GetClass(0), (IntArray{0, 1, 2, 3}));

    // Against brute force on random partitions.
    std::mt19937 random(5);
    for (int trial = 0; trial < 200; ++trial) {
        const std::size_t n = 1 + random() % 12;
        IntArray x(n), y(n);
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = static_cast<std::int32_t>(random() % (i + 1));
            y[i] = static_cast<std::int32_t>(random() % (i + 1));
            x[i] = x[static_cast<std::size_t>(x[i])];  // each class named by a member that names itself
            y[i] = y[static_cast<std::size_t>(y[i])];
        }
        const CosetDecomposition joined = CosetDecomposition(x).Join(CosetDecomposition(y));
        EXPECT_EQ(joined.GetRepresentatives(), BruteJoin(x, y))
            << Text(CosetDecomposition(x)) << " | " << Text(CosetDecomposition(y));
    }
}

TEST(CosetDecomposition, PermuteCarriesTheClasses)
{
    const CosetDecomposition d(IntArray{0, 1, 0, 1});
    // Element i moves to p[i]: {0, 2} goes to {3, 1}, {1, 3} to {2, 0}.
    const CosetDecomposition moved = d.Permute({3, 2, 1, 0});
    EXPECT_EQ(moved.GetRepresentatives(), (IntArray{0, 1, 0, 1}));
    EXPECT_EQ(d.Permute({1, 2, 3, 0}).GetRepresentatives(), (IntArray{0, 1, 0, 1}));
    EXPECT_EQ(CosetDecomposition(IntArray{0, 0, 2, 2}).Permute({0, 2, 1, 3}).GetRepresentatives(),
              (IntArray{0, 1, 0, 1}));
    EXPECT_TRUE(d.Permute({0, 0, 1, 2}).IsEmpty());
    EXPECT_TRUE(d.Permute({0, 1, 2}).IsEmpty());
    EXPECT_TRUE(d.Permute({0, 1, 2, 4}).IsEmpty());
    EXPECT_TRUE(d.Permute({0, 1, -1, 3}).IsEmpty());
}

TEST(CosetDecomposition, ClassNumbersAndRepresentatives)
{
    IntArray numbers{7};
    GetClassNumbers(4, {0, 0, 2, 2}, numbers);
    EXPECT_EQ(numbers, (IntArray{0, 0, 1, 1}));
    GetClassNumbers(6, {0, 1, 0, 3, 1, 3}, numbers);
    EXPECT_EQ(numbers, (IntArray{0, 1, 0, 2, 1, 2}));
    GetClassNumbers(3, {0, 0, 2, 2}, numbers);
    EXPECT_TRUE(numbers.empty());
    GetClassNumbers(2, {1, 1}, numbers);
    EXPECT_TRUE(numbers.empty());
    IntArray representatives{7};
    GetClassRepresentatives(6, {0, 1, 0, 3, 1, 3}, representatives);
    EXPECT_EQ(representatives, (IntArray{0, 1, 3}));
    GetClassRepresentatives(5, {0, 1, 0, 3, 1, 3}, representatives);
    EXPECT_TRUE(representatives.empty());
    EXPECT_TRUE(EqualIntLists({1, 2}, {1, 2}));
    EXPECT_FALSE(EqualIntLists({1, 2}, {1, 2, 3}));
    EXPECT_FALSE(EqualIntLists({1, 2}, {2, 1}));
}

TEST(CosetLattice, HoldsTheFinestAndCoarsestPartitions)
{
    CosetLattice lattice(4);
    EXPECT_EQ(lattice.GetCount(), 2);
    IntArray partition;
    lattice.GetPartition(0, partition);
    EXPECT_EQ(partition, (IntArray{0, 1, 2, 3}));
    lattice.GetPartition(1, partition);
    EXPECT_EQ(partition, (IntArray{0, 0, 0, 0}));
    lattice.GetClassRepresentatives(1, partition);
    EXPECT_EQ(partition, IntArray{0});
    EXPECT_EQ(lattice.GetClassCount(0), 4);
    EXPECT_EQ(lattice.GetClassCount(1), 1);
    EXPECT_EQ(lattice.GetClassCount(2), 0);
    EXPECT_EQ(lattice.GetClassCount(-1), 0);
    EXPECT_EQ(lattice.GetClassNumber(0, 3), 3);
    EXPECT_EQ(lattice.GetClassNumber(1, 3), 0);
    lattice.GetPartition(2, partition);
    EXPECT_TRUE(partition.empty());
    EXPECT_EQ(lattice.GetRepresentative(2, 0), -1);
    EXPECT_EQ(lattice.GetRepresentative(0, 4), -1);
    EXPECT_EQ(lattice.GetClassNumber(-1, 0), -1);

    lattice.SetElementCount(6);
    EXPECT_EQ(lattice.GetCount(), 2);
    lattice.GetPartition(0, partition);
    EXPECT_EQ(partition.size(), 6u);
    lattice.GetPartition(1, partition);
    EXPECT_EQ(partition, IntArray(6, 0));
}

TEST(CosetLattice, AddsPartitionsOnceAndTheFinestAsZero)
{
    CosetLattice lattice(4);
    EXPECT_EQ(lattice.Add({0, 1, 2, 3}, {0, 1, 2, 3}), 0);
    EXPECT_EQ(lattice.GetCount(), 2);
    EXPECT_EQ(lattice.Add({0, 0, 2, 2}, {0, 2}), 2);
    EXPECT_EQ(lattice.Add({0, 0, 2, 2}, {0, 2}), 2);
    EXPECT_EQ(lattice.GetClassCount(2), 2);
    EXPECT_EQ(lattice.AddPartition({0, 1, 0, 1}), 3);
    EXPECT_EQ(lattice.AddPartition({0, 0, 0, 0}), 1);
    EXPECT_EQ(lattice.AddPartition({0, 1, 2}), -1);
    EXPECT_EQ(lattice.Add({0, 1, 2}, {0}), -1);
    EXPECT_EQ(lattice.GetRepresentative(3, 3), 1);
    EXPECT_EQ(lattice.GetClassNumber(2, 3), 1);
    IntArray members;
    lattice.GetClassMembers(3, 2, members);
    EXPECT_EQ(members, (IntArray{0, 2}));
    lattice.GetClassMembers(3, 9, members);
    EXPECT_TRUE(members.empty());
    lattice.Reset();
    EXPECT_EQ(lattice.GetCount(), 2);
    EXPECT_EQ(lattice.AddPartition({0, 1, 0, 1}), 2);
}

TEST(CosetLattice, CombinesByJoinAndCachesEachPair)
{
    CosetLattice lattice(6);
    const std::int32_t five = lattice.AddPartition({0, 1, 0, 1, 4, 4});  // 2
    const std::int32_t seven = lattice.AddPartition({0, 0, 2, 2, 4, 5});  // 3
    EXPECT_EQ(lattice.Combine(0, five), five);
    EXPECT_EQ(lattice.Combine(five, 0), five);
    EXPECT_EQ(lattice.Combine(five, 1), 1);
    EXPECT_EQ(lattice.Combine(five, five), five);
    EXPECT_EQ(lattice.Combine(five, 9), -1);
    EXPECT_EQ(lattice.Combine(-1, 0), -1);

    const std::int32_t joined = lattice.Combine(five, seven);
    EXPECT_EQ(joined, 4);
    IntArray partition;
    lattice.GetPartition(joined, partition);
    EXPECT_EQ(partition, (IntArray{0, 0, 0, 0, 4, 4}));
    const std::int32_t count = lattice.GetCount();
    EXPECT_EQ(lattice.Combine(seven, five), joined);
    EXPECT_EQ(lattice.GetCount(), count);
    // A join that is a partition met before gets its number.
    EXPECT_EQ(lattice.Combine(five, lattice.AddPartition({0, 0, 0, 0, 4, 4})), joined);
    // Partitions whose join is everything together give 1.
    EXPECT_EQ(lattice.Combine(joined, lattice.AddPartition({0, 1, 2, 0, 1, 2})), 1);
}

TEST(CosetList, AcceptsEntriesOfOneParent)
{
    CosetList list;
    EXPECT_EQ(list.GetParent(), -1);
    EXPECT_TRUE(list.AddEntry(4, {0, {1, 0, 0, 1}, 7}));
    EXPECT_TRUE(list.AddEntry(4, {2, {0, 0, 0, 0}, 8}));
    EXPECT_FALSE(list.AddEntry(5, {3, {2, 0, 0, 0}, 9}));
    EXPECT_EQ(list.GetParent(), 4);
    ASSERT_EQ(list.GetEntryCount(), 2);
    EXPECT_EQ(list.GetEntry(1).atom, 8);
    EXPECT_EQ(list.GetEntry(2).component, -1);
    EXPECT_EQ(list.GetEntry(-1).key, SymmetryImageKey());
    list.SetIndexList({0, 3, 5});
    EXPECT_EQ(list.GetIndexCount(), 3);
    EXPECT_EQ(list.GetIndexList(), (IntArray{0, 3, 5}));
    EXPECT_EQ(Text(list), "CosetList Parent = 4\n0 1[0,0,1]\n2 0[0,0,0]\n");
}

} // namespace
