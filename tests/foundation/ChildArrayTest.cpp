#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include <tavrel/foundation/InternalChildArray.h>

using namespace Tavrel;

namespace {

struct Child {
    std::uint32_t slot = UINT32_MAX;
    int id = 0;
};

class Children : public BlockedChildArray<Child, Children> {
public:
    static std::uint32_t GetSlot(const Child* child) { return child->slot; }
    static void SetSlot(Child* child, std::uint32_t slot) { child->slot = slot; }
};

// The array against a vector of the same children: size, order both ways, membership and the last child.
void ExpectSame(const Children& array, const std::vector<Child*>& model, const std::vector<Child>& pool)
{
    ASSERT_EQ(array.Size(), static_cast<int>(model.size()));
    for (std::size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(array.At(i), model[i]) << "at " << i;
        ASSERT_EQ(array.IndexOf(model[i]), i) << "index of " << model[i]->id;
    }
    std::vector<Child*> visited;
    array.ForEach([&visited](Child* child) { visited.push_back(child); });
    EXPECT_EQ(visited, model);
    EXPECT_EQ(array.Last(), model.empty() ? nullptr : model.back());
    for (const Child& child : pool) {
        const bool held = std::find(model.begin(), model.end(), &child) != model.end();
        EXPECT_EQ(child.slot != UINT32_MAX, held) << "child " << child.id;
        if (held) {
            EXPECT_TRUE(array.Holds(&child));
        }
    }
}

// A pool of `size` children numbered in order.
std::vector<Child> NumberedPool(std::size_t size)
{
    std::vector<Child> pool(size);
    for (std::size_t i = 0; i < pool.size(); ++i)
        pool[i].id = static_cast<int>(i);
    return pool;
}

// Numbers the pool's children and appends them all; the children in order.
std::vector<Child*> AppendAll(Children& array, std::vector<Child>& pool)
{
    std::vector<Child*> model;
    for (std::size_t i = 0; i < pool.size(); ++i) {
        pool[i].id = static_cast<int>(i);
        array.Append(&pool[i]);
        model.push_back(&pool[i]);
    }
    return model;
}

TEST(ChildArrayTest, AppendedChildrenAreFoundByIndexAndIndexByChildAcrossBlocks)
{
    std::vector<Child> pool(1000);
    Children array;
    std::vector<Child*> model = AppendAll(array, pool);
    ExpectSame(array, model, pool);

    // Removing from the end keeps the order; removing everything leaves an empty array.
    while (!model.empty()) {
        array.Remove(model.back());
        model.pop_back();
        if (model.size() % 97 == 0)
            ExpectSame(array, model, pool);
    }
    ExpectSame(array, model, pool);
}

TEST(ChildArrayTest, InsertionsAndRemovalsAnywhereKeepTheOrderThroughSplitsAndMerges)
{
    std::vector<Child> pool = NumberedPool(3000);
    Children array;
    std::vector<Child*> model;
    std::vector<Child*> outside;
    for (Child& child : pool)
        outside.push_back(&child);
    std::mt19937 random(34);
    for (int step = 0; step < 20000; ++step) {
        // Grow while small, then mostly churn, with long runs at one place to fill and split a block.
        const bool grow = model.size() < 600 || (random() % 3 != 0 && !outside.empty());
        if (grow && !outside.empty()) {
            Child* const child = outside.back();
            outside.pop_back();
            const std::size_t at = model.empty() ? 0 : random() % (model.size() + 1);
            if (at == model.size())
                array.Append(child);
            else
                array.Insert(at, child);
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), child);
        } else if (!model.empty()) {
            const std::size_t at = step % 500 < 250 ? random() % model.size() : model.size() / 2 % model.size();
            Child* const child = model[at];
            array.Remove(child);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
            outside.push_back(child);
        }
        if (step % 1000 == 0)
            ExpectSame(array, model, pool);
    }
    ExpectSame(array, model, pool);

    // A new order replaces the old one.
    std::shuffle(model.begin(), model.end(), random);
    array.Replace(model);
    ExpectSame(array, model, pool);
}

TEST(ChildArrayTest, InsertingAlwaysAtTheFrontSplitsFullBlocks)
{
    std::vector<Child> pool(2000);
    Children array;
    std::vector<Child*> model;
    for (std::size_t i = 0; i < pool.size(); ++i) {
        pool[i].id = static_cast<int>(i);
        if (model.empty())
            array.Append(&pool[i]);
        else
            array.Insert(0, &pool[i]);
        model.insert(model.begin(), &pool[i]);
    }
    ExpectSame(array, model, pool);
    // Every other child leaves: neighbouring blocks merge.
    std::vector<Child*> kept;
    for (std::size_t i = 0; i < model.size(); ++i) {
        if (i % 2 == 0)
            array.Remove(model[i]);
        else
            kept.push_back(model[i]);
    }
    ExpectSame(array, kept, pool);
}

TEST(ChildArrayTest, MovingAChildDownShiftsTheOnesBetweenAcrossBlocksAndHoles)
{
    std::vector<Child> pool(700);
    Children array;
    std::vector<Child*> model = AppendAll(array, pool);
    const auto moveDown = [&](std::size_t from, std::size_t to) {
        array.MoveDown(from, to);
        std::rotate(model.begin() + static_cast<std::ptrdiff_t>(to), model.begin() + static_cast<std::ptrdiff_t>(from),
                    model.begin() + static_cast<std::ptrdiff_t>(from) + 1);
        ExpectSame(array, model, pool);
    };
    // Packed blocks: within a block, over a block boundary, by none.
    moveDown(10, 3);
    moveDown(256, 255);
    moveDown(520, 250);
    moveDown(40, 40);
    moveDown(603, 602);
    // Removals leave holes: the live slots take the moved children, the holes stay.
    for (std::size_t i = 600; i > 100; i -= 50) {
        array.Remove(model[i]);
        model.erase(model.begin() + static_cast<std::ptrdiff_t>(i));
    }
    moveDown(300, 200);
    moveDown(model.size() - 1, 0);
    moveDown(257, 254);
}

} // namespace

namespace {

TEST(ChildArrayTest, AChildTradesPlacesWithThePreviousOneOnlyWithinAPackedBlock)
{
    std::vector<Child> pool(600);
    Children array;
    std::vector<Child*> model = AppendAll(array, pool);
    for (const std::size_t index : {std::size_t{1}, std::size_t{300}, std::size_t{599}}) {
        ASSERT_TRUE(array.SwapWithPrevious(model[index]));
        std::swap(model[index - 1], model[index]);
        ExpectSame(array, model, pool);
    }
    // The first child of a block has no neighbour before it in its block.
    EXPECT_FALSE(array.SwapWithPrevious(model[256]));
    // Holes leave the array unpacked: nothing moves.
    array.Remove(model[10]);
    model.erase(model.begin() + 10);
    EXPECT_FALSE(array.SwapWithPrevious(model[20]));
    ExpectSame(array, model, pool);
    // Appending goes on at the end, also into a new block.
    std::vector<Child> more(300);
    for (Child& child : more) {
        array.Append(&child);
        model.push_back(&child);
    }
    ASSERT_EQ(array.Size(), static_cast<int>(model.size()));
    for (std::size_t i = 0; i < model.size(); ++i)
        ASSERT_EQ(array.IndexOf(model[i]), i) << "index of child " << i;
}

TEST(ChildArrayTest, AppendingGoesToTheEndAfterTheLastBlockWasSplitMergedDroppedOrReplaced)
{
    std::vector<Child> pool = NumberedPool(1200);
    Children array;
    std::vector<Child*> model;
    std::size_t next = 0;
    const auto append = [&](std::size_t count) {
        for (std::size_t i = 0; i < count; ++i, ++next) {
            array.Append(&pool[next]);
            model.push_back(&pool[next]);
        }
    };
    const auto remove = [&](std::size_t at) {
        array.Remove(model[at]);
        model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
    };
    // Three full blocks; an insertion into the last splits it, and appends follow its upper half.
    append(768);
    array.Insert(700, &pool[next]);
    model.insert(model.begin() + 700, &pool[next++]);
    append(5);
    ExpectSame(array, model, pool);
    // Emptying the last blocks merges or drops them; appends follow what is left.
    while (model.size() > 300)
        remove(model.size() > 320 ? model.size() - 20 : 290);
    append(3);
    ExpectSame(array, model, pool);
    // Emptied, then replaced by a new order.
    while (!model.empty())
        remove(model.size() / 2);
    append(2);
    ExpectSame(array, model, pool);
    std::reverse(model.begin(), model.end());
    array.Replace(model);
    append(260);
    ExpectSame(array, model, pool);
}

} // namespace

namespace {

TEST(ChildArrayTest, RoomReservedAheadTakesItsChildrenInOrderAndGrowsPastIt)
{
    std::vector<Child> pool = NumberedPool(300);
    Children array;
    std::vector<Child*> model;
    const auto append = [&](std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            array.Append(&pool[model.size()]);
            model.push_back(&pool[model.size()]);
        }
        ExpectSame(array, model, pool);
    };
    array.Reserve(47);
    append(47);
    // Less room than the children held, and more than a block holds, change nothing.
    array.Reserve(10);
    array.Reserve(1000);
    append(253);
    while (!model.empty()) {
        array.Remove(model.back());
        model.pop_back();
    }
    array.Reserve(9);
    append(9);
}

TEST(ChildArrayTest, AFewChildrenHeldInPlaceMoveOutAndBackWithoutLosingTheirOrder)
{
    std::vector<Child> pool = NumberedPool(12);
    Children array;
    std::vector<Child*> model;
    const auto insert = [&](std::size_t at, Child* child) {
        if (at == model.size())
            array.Append(child);
        else
            array.Insert(at, child);
        model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), child);
        ExpectSame(array, model, pool);
    };
    const auto remove = [&](std::size_t at) {
        array.Remove(model[at]);
        model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        ExpectSame(array, model, pool);
    };
    // Up to the room held in place and past it, inserting at the front, in the middle and at the end.
    for (std::size_t i = 0; i < 9; ++i)
        insert(i % 3 == 0 ? model.size() : i % 3 == 1 ? 0 : model.size() / 2, &pool[i]);
    remove(4);
    remove(0);
    // Emptied and filled again: the first block starts afresh.
    while (!model.empty())
        remove(model.size() - 1);
    for (std::size_t i = 9; i < 12; ++i)
        insert(model.size(), &pool[i]);
    array.MoveDown(2, 0);
    std::rotate(model.begin(), model.begin() + 2, model.end());
    ExpectSame(array, model, pool);
    array.Replace({model[2], model[0], model[1]});
    ExpectSame(array, {model[2], model[0], model[1]}, pool);
}

} // namespace
