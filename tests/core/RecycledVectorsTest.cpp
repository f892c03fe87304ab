#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <tavrel/core/RecycledVectors.h>

using namespace Tavrel;

namespace {

struct Sample {
    int value;
};

} // namespace

// A vector given back comes out again empty with its room, on its own thread only; a thread keeps a few.
TEST(RecycledVectorsTest, GivenVectorsComeBackEmptyWithTheirRoomOnTheirThreadOnly)
{
    using Shelf = RecycledVectors<Sample>;
    std::vector<Sample> used(1000, Sample{7});
    const Sample* const bytes = used.data();
    Shelf::Give(std::move(used));
    std::thread([] { EXPECT_EQ(Shelf::Take().capacity(), 0u); }).join();
    std::vector<Sample> again = Shelf::Take();
    EXPECT_TRUE(again.empty());
    EXPECT_EQ(again.data(), bytes);
    EXPECT_GE(again.capacity(), 1000u);
    EXPECT_EQ(Shelf::Take().capacity(), 0u);

    // The room asked for picks the least kept vector that holds it, else the largest.
    Shelf::Give(std::vector<Sample>(10));
    Shelf::Give(std::vector<Sample>(300));
    Shelf::Give(std::vector<Sample>(100));
    EXPECT_EQ(Shelf::Take(50).capacity(), 100u);
    EXPECT_EQ(Shelf::Take(5000).capacity(), 300u);
    EXPECT_EQ(Shelf::Take().capacity(), 10u);
    EXPECT_EQ(Shelf::Take().capacity(), 0u);

    // Reserve takes a kept vector only for a vector without room of its own, whose contents stay.
    Shelf::Give(std::vector<Sample>(40));
    std::vector<Sample> held{Sample{1}};
    ReserveRecycled(held, 20);
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].value, 1);
    std::vector<Sample> fresh;
    ReserveRecycled(fresh, 20);
    EXPECT_EQ(fresh.capacity(), 40u);

    // Vectors without room are not kept; a full shelf keeps the largest rooms given, and a vector given
    // back is left empty whether it was kept or not.
    Shelf::Give(std::vector<Sample>());
    for (const std::size_t room : {30u, 10u, 60u, 20u, 50u, 5u}) {
        std::vector<Sample> given(room);
        GiveRecycled(given);
        EXPECT_TRUE(given.empty());
        EXPECT_EQ(given.capacity(), 0u);
    }
    std::vector<std::size_t> kept;
    for (std::size_t room = Shelf::Take().capacity(); room > 0; room = Shelf::Take().capacity())
        kept.push_back(room);
    EXPECT_EQ(kept, (std::vector<std::size_t>{20, 30, 50, 60}));
}

// Each use keeps its own vectors: one use's room is never handed to another use of the element type.
TEST(RecycledVectorsTest, UsesKeepTheirVectorsApart)
{
    struct Other;
    std::vector<Sample> used(500);
    const Sample* const bytes = used.data();
    GiveRecycled<Other>(used);
    std::vector<Sample> plain;
    ReserveRecycled(plain, 10);
    EXPECT_NE(plain.data(), bytes);
    std::vector<Sample> own;
    ReserveRecycled<Other>(own, 10);
    EXPECT_EQ(own.data(), bytes);
    EXPECT_EQ((RecycledVectors<Sample, Other>::Take().capacity()), 0u);
}

// An object that outlives its thread's shelf (a thread-local one made first, as a static one at exit)
// gives its vector back when the shelf is gone: the room is freed, the vector left empty.
TEST(RecycledVectorsTest, AVectorGivenAfterTheShelfEndsIsFreed)
{
    struct Holder {
        std::vector<Sample> vector = std::vector<Sample>(100);
        ~Holder()
        {
            GiveRecycled(vector);
            EXPECT_EQ(vector.capacity(), 0u);
        }
    };
    std::thread([] {
        thread_local Holder holder;
        EXPECT_EQ(holder.vector.size(), 100u);
        RecycledVectors<Sample>::Give(std::vector<Sample>(10));
    }).join();
}
