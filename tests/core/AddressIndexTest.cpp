#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include <tavrel/core/AddressIndex.h>

using namespace Tavrel;

namespace {

const void* At(std::uintptr_t address)
{
    return reinterpret_cast<const void*>(address);
}

// Packed runs of objects in a few far-apart regions, as pools lay them out, and lone objects between.
std::vector<std::uintptr_t> Layout(std::size_t objectSize)
{
    std::vector<std::uintptr_t> addresses;
    for (const std::uintptr_t region :
         {std::uintptr_t{0x10000}, std::uintptr_t{0x7f0000001000}, std::uintptr_t{0x5500000000}}) {
        for (std::uintptr_t i = 0; i < 3000; ++i)
            addresses.push_back(region + i * objectSize);
    }
    for (std::uintptr_t i = 1; i <= 200; ++i)
        addresses.push_back(0x100000000 * i + 0x4000000 + 8 * i);
    return addresses;
}

// Every object of the layout is found, with room reserved ahead or not.
void CheckLayout(std::size_t objectSize, bool reserved)
{
    AddressIndex index(objectSize);
    const std::vector<std::uintptr_t> addresses = Layout(objectSize);
    if (reserved) {
        // Some pages come twice: the index still takes the room it needs.
        std::vector<const char*> objects;
        for (const std::uintptr_t address : addresses)
            objects.push_back(static_cast<const char*>(At(address)));
        std::swap(objects[10], objects[5000]);
        index.Reserve(std::span<const char* const>(objects));
    }
    for (std::size_t i = 0; i < addresses.size(); ++i)
        index.Insert(At(addresses[i]), static_cast<std::int32_t>(i));
    for (std::size_t i = 0; i < addresses.size(); ++i)
        ASSERT_EQ(index.Find(At(addresses[i])), static_cast<std::int32_t>(i)) << objectSize << " " << i;
    // Pages without objects answer -1; inside a run's window, the run's object or none.
    EXPECT_EQ(index.Find(At(0x300000000000)), -1);
    EXPECT_EQ(index.Find(nullptr), -1);
    const std::int32_t near = index.Find(At(addresses[5] + objectSize / 2));
    EXPECT_TRUE(near == -1 || near == 5 || near == 6) << objectSize;
}

TEST(AddressIndexTest, FindsEveryObjectOfPackedAndScatteredLayouts)
{
    for (const std::size_t objectSize : {std::size_t{1}, std::size_t{8}, std::size_t{200}, std::size_t{256}, std::size_t{10000}}) {
        CheckLayout(objectSize, false);
        CheckLayout(objectSize, true);
    }
}

TEST(AddressIndexTest, ALaterInsertReplacesAndClearForgets)
{
    AddressIndex index(64);
    index.Insert(At(0x4000), 1);
    index.Insert(At(0x4040), 2);
    index.Insert(At(0x4000), 3);
    EXPECT_EQ(index.Find(At(0x4000)), 3);
    EXPECT_EQ(index.Find(At(0x4040)), 2);
    index.Clear();
    EXPECT_EQ(index.Find(At(0x4000)), -1);
    index.Insert(At(0x4040), 4);
    EXPECT_EQ(index.Find(At(0x4040)), 4);
    EXPECT_EQ(index.Find(At(0x4000)), -1);
}

} // namespace
