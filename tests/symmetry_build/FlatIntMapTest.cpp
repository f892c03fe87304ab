#include <gtest/gtest.h>

#include <cstdint>

#include <tavrel/symmetry_build/FlatIntMap.h>

using namespace Tavrel;

namespace {

// Room made before, between and after insertions keeps every entry; erasing leaves the others found.
TEST(FlatIntMap, ReservingRoomKeepsEveryEntryFindable)
{
    FlatIntMap<std::uint32_t, std::int32_t, 0> map;
    map.Reserve(3);
    for (std::uint32_t key = 1; key <= 10; ++key)
        map[key] = static_cast<std::int32_t>(key) * 2;
    map.Reserve(5000);
    map.Reserve(2);
    for (std::uint32_t key = 11; key <= 4000; ++key)
        map[key * 7] = static_cast<std::int32_t>(key);
    EXPECT_EQ(map.GetCount(), 4000u);
    for (std::uint32_t key = 1; key <= 10; ++key) {
        ASSERT_NE(map.Find(key), nullptr) << key;
        EXPECT_EQ(*map.Find(key), static_cast<std::int32_t>(key) * 2);
    }
    EXPECT_TRUE(map.Erase(77));
    EXPECT_FALSE(map.Erase(77));
    EXPECT_EQ(map.Find(77), nullptr);
    for (std::uint32_t key = 12; key <= 4000; ++key)
        ASSERT_NE(map.Find(key * 7), nullptr) << key;
    EXPECT_EQ(map.Find(0), nullptr);
    map.Clear();
    map.Reserve(8);
    EXPECT_EQ(map.Find(3), nullptr);
    map[3] = 1;
    EXPECT_EQ(map.GetCount(), 1u);
}

} // namespace
