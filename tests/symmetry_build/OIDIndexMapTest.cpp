#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <tavrel/symmetry_build/OIDIndexMap.h>

using namespace Tavrel;

namespace {

// A run of OIDs, OIDs entered later on either side of it and far away, erasures: every entry found,
// nothing else.
TEST(OIDIndexMap, EntriesInsideAndOutsideThePreparedRunAreFound)
{
    std::vector<std::uint32_t> run;
    for (std::uint32_t oid = 1000; oid < 3000; oid += 1 + oid % 2)
        run.push_back(oid);
    run.push_back(0);
    OIDIndexMap map;
    map.Prepare(run);
    for (std::size_t i = 0; i + 1 < run.size(); ++i)
        map[run[i]] = static_cast<std::int32_t>(i);
    map[999] = -5;
    map[3000] = 7;
    map[4000000000u] = 8;
    EXPECT_EQ(map.GetCount(), run.size() + 2);
    for (std::size_t i = 0; i + 1 < run.size(); ++i) {
        ASSERT_NE(map.Find(run[i]), nullptr) << run[i];
        EXPECT_EQ(*map.Find(run[i]), static_cast<std::int32_t>(i));
    }
    EXPECT_EQ(map.Find(1002), nullptr);
    EXPECT_EQ(map.Find(0), nullptr);
    EXPECT_EQ(*map.Find(999), -5);
    EXPECT_EQ(*map.Find(4000000000u), 8);
    EXPECT_EQ(map[1001], 1);
    map[1002] = 3;
    EXPECT_EQ(map.GetCount(), run.size() + 3);
    EXPECT_TRUE(map.Erase(1002));
    EXPECT_FALSE(map.Erase(1002));
    EXPECT_TRUE(map.Erase(3000));
    EXPECT_FALSE(map.Erase(3001));
    EXPECT_EQ(map.Find(1002), nullptr);
    EXPECT_EQ(map.Find(3000), nullptr);
    EXPECT_EQ(map.GetCount(), run.size() + 1);
}

// OIDs far apart are hashed; a new layout forgets the old entries, and a swap exchanges them.
TEST(OIDIndexMap, SparseOIDsAndNewLayoutsKeepOnlyTheirOwnEntries)
{
    const std::vector<std::uint32_t> sparse = {5, 1000000, 3000000000u};
    OIDIndexMap map;
    map.Prepare(sparse);
    for (std::size_t i = 0; i < sparse.size(); ++i)
        map[sparse[i]] = static_cast<std::int32_t>(i);
    EXPECT_EQ(*map.Find(3000000000u), 2);
    OIDIndexMap other;
    other.Prepare(std::vector<std::uint32_t>{10, 11, 12});
    other[11] = 4;
    map.Swap(other);
    EXPECT_EQ(*map.Find(11), 4);
    EXPECT_EQ(map.Find(5), nullptr);
    EXPECT_EQ(*other.Find(1000000), 1);
    map.Prepare(std::vector<std::uint32_t>{11, 12, 13});
    EXPECT_EQ(map.Find(11), nullptr);
    EXPECT_EQ(map.GetCount(), 0u);
    other.Clear();
    EXPECT_EQ(other.Find(5), nullptr);
    EXPECT_EQ(other.GetCount(), 0u);
}

// A few OIDs far below a long run: the run's array leaves them out, and every entry is still found
// with its own value, counted once, and erased alone.
TEST(OIDIndexMap, TheDensestPartKeepsTheOIDsBesideIt)
{
    std::vector<std::uint32_t> oids;
    for (std::uint32_t oid = 100; oid < 120; ++oid)
        oids.push_back(oid);
    for (std::uint32_t oid = 1000000; oid < 1100000; ++oid)
        oids.push_back(oid);
    oids.push_back(4000000);
    OIDIndexMap map;
    map.PrepareDensest(oids, 100, 4000000);
    for (std::size_t i = 0; i < oids.size(); ++i)
        map[oids[i]] = static_cast<std::int32_t>(i);
    EXPECT_EQ(map.GetCount(), oids.size());
    for (std::size_t i = 0; i < oids.size(); ++i) {
        ASSERT_NE(map.Find(oids[i]), nullptr) << oids[i];
        EXPECT_EQ(*map.Find(oids[i]), static_cast<std::int32_t>(i)) << oids[i];
    }
    for (const std::uint32_t absent : {99u, 120u, 999999u, 1100000u, 3999999u, 4000001u})
        EXPECT_EQ(map.Find(absent), nullptr) << absent;
    EXPECT_TRUE(map.Erase(105));
    EXPECT_TRUE(map.Erase(1050000));
    EXPECT_FALSE(map.Erase(105));
    EXPECT_EQ(map.Find(105), nullptr);
    EXPECT_EQ(*map.Find(106), 6);
    EXPECT_EQ(map.GetCount(), oids.size() - 2);
}

} // namespace
