#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include <tavrel/core/ObjectPool.h>

// Weak: there only in the sanitized build, which runs a leak checker.
#if defined(__has_include)
#if __has_include(<sanitizer/lsan_interface.h>)
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#pragma weak __lsan_do_recoverable_leak_check
#define TAVREL_TEST_LEAK_CHECKER 1
#endif
#endif

using namespace Tavrel;

namespace {

struct Slot {
    unsigned char* bytes;
    std::size_t size;
    unsigned char mark;
};

Slot Take(ObjectPool& pool, std::size_t size, unsigned char mark)
{
    auto* const bytes = static_cast<unsigned char*>(pool.Allocate(size));
    std::memset(bytes, mark, size);
    return {bytes, size, mark};
}

bool Intact(const Slot& slot)
{
    return std::all_of(slot.bytes, slot.bytes + slot.size, [&](unsigned char b) { return b == slot.mark; });
}

// The number of leaks the process's leak checker finds now; -1 when none runs.
int LeaksFound()
{
#ifdef TAVREL_TEST_LEAK_CHECKER
    if (__lsan_do_recoverable_leak_check)
        return __lsan_do_recoverable_leak_check();
#endif
    return -1;
}

// The pointer a slot of the largest size holds in its last word, as an object holds a member.
int*& HeldBlock(void* slot)
{
    return static_cast<int**>(slot)[ObjectPool::MaxSize / sizeof(int*) - 1];
}

// Slots of the largest size, each holding the only pointer to a heap block; made in a frame of their
// own, so that no copy of a pointer stays behind in the caller's registers.
[[gnu::noinline]] std::vector<void*> HeapBlocksHeldBySlots(ObjectPool& pool, std::size_t count)
{
    std::vector<void*> slots;
    for (std::size_t i = 0; i < count; ++i) {
        slots.push_back(pool.Allocate(ObjectPool::MaxSize));
        HeldBlock(slots.back()) = new int[4]{};
    }
    return slots;
}

} // namespace

TEST(ObjectPool, FreedSlotIsHandedOutAgainWithinItsSizeClassOnly)
{
    ObjectPool pool;
    void* const first = pool.Allocate(20);
    void* const second = pool.Allocate(20);
    EXPECT_NE(first, second);
    pool.Free(first);
    EXPECT_EQ(pool.Allocate(24), first);  // 20 and 24 share the 24-byte class
    pool.Free(second);
    void* const larger = pool.Allocate(25);
    EXPECT_NE(larger, second);
    EXPECT_EQ(pool.Allocate(17), second);
    EXPECT_FALSE(ObjectPool::Fits(0));
    EXPECT_TRUE(ObjectPool::Fits(ObjectPool::MaxSize));
    EXPECT_FALSE(ObjectPool::Fits(ObjectPool::MaxSize + 1));
}

TEST(ObjectPool, SlotsOfEverySizeAreAlignedAndKeepTheirBytesThroughInterleavedFrees)
{
    ObjectPool pool;
    std::mt19937 random(11);
    std::vector<Slot> live;
    for (int step = 0; step < 60'000; ++step) {
        if (!live.empty() && random() % 5 < 2) {
            const std::size_t at = random() % live.size();
            ASSERT_TRUE(Intact(live[at]));
            pool.Free(live[at].bytes);
            live[at] = live.back();
            live.pop_back();
        } else {
            const std::size_t size = 1 + random() % ObjectPool::MaxSize;
            live.push_back(Take(pool, size, static_cast<unsigned char>(step)));
            ASSERT_EQ(reinterpret_cast<std::uintptr_t>(live.back().bytes) % ObjectPool::SlotAlignment, 0u);
        }
    }
    for (const Slot& slot : live)
        EXPECT_TRUE(Intact(slot));
    for (const Slot& slot : live)
        pool.Free(slot.bytes);
    // One empty block stays per size class for the next object of that size.
    EXPECT_LE(pool.GetNumBlocks(), ObjectPool::MaxSize / ObjectPool::SlotAlignment);
}

TEST(ObjectPool, BlocksEmptyAsTheirObjectsLeaveInAnyOrder)
{
    ObjectPool pool;
    constexpr std::size_t size = 152;
    constexpr std::size_t count = 100'000;
    std::vector<void*> slots;
    for (std::size_t i = 0; i < count; ++i)
        slots.push_back(pool.Allocate(size));
    const std::size_t full = pool.GetNumBlocks();
    EXPECT_GE(full, count * size / ObjectPool::BlockSize);
    EXPECT_LE(full, count * size / ObjectPool::BlockSize + 2);

    std::shuffle(slots.begin(), slots.end(), std::mt19937(5));
    for (std::size_t i = 0; i < count / 2; ++i)
        pool.Free(slots[i]);
    // Freed slots are filled before any block is added.
    for (std::size_t i = 0; i < count / 2; ++i)
        slots[i] = pool.Allocate(size);
    EXPECT_EQ(pool.GetNumBlocks(), full);
    std::sort(slots.begin(), slots.end());
    EXPECT_EQ(std::adjacent_find(slots.begin(), slots.end()), slots.end());

    for (void* const slot : slots)
        pool.Free(slot);
    EXPECT_EQ(pool.GetNumBlocks(), 1u);
    EXPECT_EQ(pool.GetNumSpareBlocks(), full - 1);
}

TEST(ObjectPool, SpareBlocksServeObjectsOfAnySizeLowestFirstUntilReleased)
{
    ObjectPool pool;
    constexpr std::size_t large = 152;
    constexpr std::size_t small = 40;
    std::vector<void*> slots;
    for (std::size_t i = 0; i < 100'000; ++i)
        slots.push_back(pool.Allocate(large));
    const std::size_t full = pool.GetNumBlocks();
    std::vector<std::uintptr_t> former;
    for (void* const slot : slots)
        former.push_back(reinterpret_cast<std::uintptr_t>(slot));
    std::sort(former.begin(), former.end());
    std::shuffle(slots.begin(), slots.end(), std::mt19937(3));
    for (void* const slot : slots)
        pool.Free(slot);
    ASSERT_EQ(pool.GetNumSpareBlocks(), full - 1);

    // The first block of another size is the lowest spare: only the slots of one block lie below it.
    slots.assign(1, pool.Allocate(small));
    const auto below = static_cast<std::size_t>(
        std::lower_bound(former.begin(), former.end(), reinterpret_cast<std::uintptr_t>(slots[0])) - former.begin());
    EXPECT_LE(below, ObjectPool::BlockSize / large);
    // Every spare is taken before the heap is asked for more, and its objects lie where the former did.
    while (pool.GetNumSpareBlocks() > 0 || pool.GetNumBlocks() < full)
        slots.push_back(pool.Allocate(small));
    EXPECT_EQ(pool.GetNumBlocks(), full);
    for (void* const slot : slots) {
        const auto at = reinterpret_cast<std::uintptr_t>(slot);
        const auto next = std::lower_bound(former.begin(), former.end(), at);
        const bool nearFormer = (next != former.end() && *next - at < ObjectPool::BlockSize) ||
                                (next != former.begin() && at - *(next - 1) < ObjectPool::BlockSize);
        ASSERT_TRUE(nearFormer);
    }

    for (void* const slot : slots)
        pool.Free(slot);
    EXPECT_EQ(pool.GetNumSpareBlocks(), full - 2);
    // The two blocks that stayed, one per size, hold no slot either: every slab goes.
    pool.ReleaseSpareBlocks();
    EXPECT_EQ(pool.GetNumSpareBlocks(), 0u);
    EXPECT_EQ(pool.GetNumBlocks(), 0u);
    EXPECT_EQ(pool.GetNumSlabs(), 0u);
    // Slabs are mapped again once the spares are gone.
    std::vector<Slot> again;
    for (std::size_t i = 0; i < 100'000; ++i)
        again.push_back(Take(pool, large, static_cast<unsigned char>(i)));
    for (const Slot& slot : again)
        EXPECT_TRUE(Intact(slot));
    EXPECT_GE(pool.GetNumBlocks(), full);
    EXPECT_EQ(pool.GetNumSpareBlocks(), 0u);
}

TEST(ObjectPool, ReleaseKeepsWholeEverySlabThatStillHoldsASlot)
{
    ObjectPool pool;
    constexpr std::size_t size = 152;
    std::vector<Slot> slots;
    while (pool.GetNumSlabs() < 4)
        slots.push_back(Take(pool, size, static_cast<unsigned char>(slots.size())));
    // One object of another document, in a slab of the middle, outlives the rest.
    const Slot kept = slots[slots.size() / 2];
    for (const Slot& slot : slots) {
        if (slot.bytes != kept.bytes)
            pool.Free(slot.bytes);
    }
    pool.ReleaseSpareBlocks();
    EXPECT_EQ(pool.GetNumSlabs(), 1u);
    EXPECT_EQ(pool.GetNumBlocks(), 1u);
    EXPECT_EQ(pool.GetNumSpareBlocks(), ObjectPool::SlabSize / ObjectPool::BlockSize - 1);
    EXPECT_TRUE(Intact(kept));
    // Its spares serve the next objects before a slab is mapped.
    const Slot next = Take(pool, 40, 1);
    EXPECT_EQ(pool.GetNumSlabs(), 1u);
    pool.Free(next.bytes);
    pool.Free(kept.bytes);
    pool.ReleaseSpareBlocks();
    EXPECT_EQ(pool.GetNumSlabs(), 0u);
    EXPECT_EQ(pool.GetNumSpareBlocks(), 0u);
}

TEST(ObjectPool, TheLeakCheckerSeesWhatOnlyLiveSlotsPointTo)
{
    if (LeaksFound() < 0)
        GTEST_SKIP() << "no leak checker runs in this build";
    ObjectPool pool;
    const std::vector<void*> slots = HeapBlocksHeldBySlots(pool, 1000);
    ASSERT_GT(pool.GetNumBlocks(), 1u);
    EXPECT_EQ(LeaksFound(), 0);
    for (void* const slot : slots) {
        delete[] HeldBlock(slot);
        pool.Free(slot);
    }
}

TEST(ObjectPoolDeathTest, TheLeakCheckerStillFindsWhatOnlyFreedSlotsPointedTo)
{
    if (LeaksFound() < 0)
        GTEST_SKIP() << "no leak checker runs in this build";
    EXPECT_EXIT(
        {
            ObjectPool pool;
            const std::vector<void*> slots = HeapBlocksHeldBySlots(pool, 100);
            for (void* const slot : slots)
                pool.Free(slot);
            // The block stays, the only one of its size, and is still scanned, its freed slots not
            // poisoned in a library built without the sanitizer: they are clear.
            for (void* const slot : slots)
                ASAN_UNPOISON_MEMORY_REGION(slot, ObjectPool::MaxSize);
            std::_Exit(LeaksFound() > 0 && pool.GetNumBlocks() == 1 ? 1 : 0);
        },
        ::testing::ExitedWithCode(1), "LeakSanitizer");
}
