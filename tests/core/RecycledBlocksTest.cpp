#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include <tavrel/core/DisplayList3D.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/RecycledBlocks.h>

using namespace Tavrel;

// A freed block comes back for any size of its class, on its own thread only; large blocks and blocks
// beyond what a thread keeps go back to the heap.
TEST(RecycledBlocksTest, FreedBlocksComeBackOnTheirThreadWithinTheLimit)
{
    const std::size_t kept = RecycledBlocks::GetKeptBytes();
    void* const block = RecycledBlocks::Allocate(40);
    RecycledBlocks::Free(block, 40);
    EXPECT_EQ(RecycledBlocks::GetKeptBytes(), kept + 48);
    std::thread([block] {
        void* const other = RecycledBlocks::Allocate(40);
        EXPECT_NE(other, block);
        RecycledBlocks::Free(other, 40);
    }).join();
    void* const again = RecycledBlocks::Allocate(33);
    EXPECT_EQ(again, block);
    EXPECT_EQ(RecycledBlocks::GetKeptBytes(), kept);
    RecycledBlocks::Free(again, 33);

    void* const large = RecycledBlocks::Allocate(RecycledBlocks::MaxSize + 1);
    RecycledBlocks::Free(large, RecycledBlocks::MaxSize + 1);
    EXPECT_EQ(RecycledBlocks::GetKeptBytes(), kept + 48);
    RecycledBlocks::Free(nullptr, 8);

    // Freed on another thread, a block stays there.
    void* const moved = RecycledBlocks::Allocate(200);
    std::thread([moved] { RecycledBlocks::Free(moved, 200); }).join();
    EXPECT_EQ(RecycledBlocks::GetKeptBytes(), kept + 48);

    std::vector<void*> many(RecycledBlocks::MostKeptBytes / RecycledBlocks::MaxSize + 10);
    for (void*& each : many)
        each = RecycledBlocks::Allocate(RecycledBlocks::MaxSize);
    for (void* const each : many)
        RecycledBlocks::Free(each, RecycledBlocks::MaxSize);
    EXPECT_LE(RecycledBlocks::GetKeptBytes(), RecycledBlocks::MostKeptBytes);
    EXPECT_GT(RecycledBlocks::GetKeptBytes(), RecycledBlocks::MostKeptBytes - RecycledBlocks::MaxSize);
}

// A drawing's primitives, dropped with their list, are made again in the same blocks by the next one,
// whole.
TEST(RecycledBlocksTest, PrimitivesOfOneDrawingAreMadeInTheBlocksOfTheLast)
{
    std::vector<const Primitive*> first;
    {
        DisplayList3D list;
        for (double i = 0; i < 100; ++i) {
            auto line = std::make_unique<LinePrimitive>(Point3d(i, 0, 0), Point3d(0, i, 0), Color::Green(), 1.0,
                                                        PickIds{1u, 2u, 3u, 4u});
            first.push_back(line.get());
            list.Add(std::move(line));
        }
    }
    DisplayList3D list;
    for (double i = 0; i < 100; ++i)
        list.Add(LinePrimitive(Point3d(0, 0, i), Point3d(i, i, i), Color::Green(), 2.0, PickIds{7u}));
    int reused = 0;
    for (std::size_t i = 0; i < list.GetSize(); ++i) {
        const auto* const line = PrimitiveCast<LinePrimitive>(list.GetPrimitive(i));
        ASSERT_NE(line, nullptr);
        const auto at = static_cast<double>(i);
        EXPECT_EQ(line->GetTo(), Point3d(at, at, at));
        EXPECT_EQ(line->GetOID(), 7u);
        EXPECT_EQ(line->GetOIDs().size(), 1u);
        reused += std::find(first.begin(), first.end(), line) != first.end() ? 1 : 0;
    }
    EXPECT_EQ(reused, 100);
}
