#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <utility>

#include <tavrel/core/FlatHashMap.h>

using namespace Tavrel;

namespace {

// Few homes, so that runs are long and wrap past the end of the table.
struct CrowdedHash {
    std::size_t operator()(std::uint32_t key) const { return (key % 5) * 3 + 13; }
};

struct MixedHash {
    std::size_t operator()(std::uint32_t key) const { return static_cast<std::size_t>(MixBits(key)); }
};

template <class Hash>
void EraseKeepsEveryOtherEntryFindable()
{
    FlatHashMap<std::uint32_t, std::uint32_t, Hash> map(0);
    std::map<std::uint32_t, std::uint32_t> model;
    std::mt19937 random(7);
    for (int step = 0; step < 4000; ++step) {
        const auto key = static_cast<std::uint32_t>(1 + random() % 60);
        if (random() % 3 == 0) {
            EXPECT_EQ(map.Erase(key), model.erase(key) == 1);
        } else {
            const auto [value, added] = map.Insert(key, key * 10);
            ASSERT_NE(value, nullptr);
            EXPECT_EQ(added, model.emplace(key, key * 10).second);
        }
        ASSERT_EQ(map.Size(), model.size());
        for (std::uint32_t probe = 1; probe <= 60; ++probe) {
            const std::uint32_t* found = map.Find(probe);
            const auto expected = model.find(probe);
            ASSERT_EQ(found != nullptr, expected != model.end()) << "key " << probe << " at step " << step;
            if (found) {
                EXPECT_EQ(*found, expected->second);
            }
        }
    }
    EXPECT_FALSE(map.Erase(0));
}

} // namespace

TEST(FlatHashMap, EraseLeavesNoGapInProbeRuns)
{
    EraseKeepsEveryOtherEntryFindable<CrowdedHash>();
    EraseKeepsEveryOtherEntryFindable<MixedHash>();
}

TEST(FlatHashMap, FoundValuesCanBeChangedInPlace)
{
    FlatHashMap<std::uint32_t, std::uint32_t, MixedHash> map(0);
    map.Insert(4, 1);
    *map.Find(4) = 9;
    EXPECT_EQ(*std::as_const(map).Find(4), 9u);
    EXPECT_EQ(map.Find(5), nullptr);
}
