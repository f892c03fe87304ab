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

} // namespace
