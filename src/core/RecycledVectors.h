// RecycledVectors: vectors a thread keeps between uses, so that a large transient array is written into
// pages an earlier use mapped rather than fresh ones, which the system maps and clears one by one.
#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include <tavrel/platform/PageAdvice.h>

namespace Tavrel {

// Take gives an empty vector, with the room of one given back earlier on this thread when there is one
// (the best fit for the room asked for); Give takes a vector back once its use is over. A thread keeps
// at most a few per element type and use, and those only until it ends: once its shelf is full, a
// vector given back takes the place of the kept one with the least room when it has more, so what a
// thread keeps is the room of its largest uses. A use (any type naming it) keeps its vectors apart from those of other uses of the
// element type, so that another use's arrays are not taken for its own. ReserveRecycled and
// GiveRecycled below name the element type from the vector.
template <class T, class Use = void>
class RecycledVectors {
public:
    // The kept vector with the least room of at least `room`, else the one with the most.
    static std::vector<T> Take(std::size_t room = 0) noexcept
    {
        if (Gone())
            return {};
        Shelf& shelf = Kept();
        if (shelf.count == 0)
            return {};
        std::size_t best = 0;
        for (std::size_t i = 1; i < shelf.count; ++i) {
            const std::size_t has = shelf.vectors[i].capacity();
            const std::size_t bestHas = shelf.vectors[best].capacity();
            if (bestHas < room ? has > bestHas : has >= room && has < bestHas)
                best = i;
        }
        std::vector<T> taken = std::move(shelf.vectors[best]);
        shelf.vectors[best] = std::move(shelf.vectors[--shelf.count]);
        return taken;
    }

    // The room of a vector that is not kept (none, or less than every kept one's on a full shelf, or
    // given once the thread's shelf is gone, by an object that outlives it) is freed.
    static void Give(std::vector<T>&& given) noexcept
    {
        std::vector<T> vector = std::move(given);
        if (Gone() || vector.capacity() == 0)
            return;
        Shelf& shelf = Kept();
        vector.clear();
        if (shelf.count < MostKept) {
            shelf.vectors[shelf.count++] = std::move(vector);
            return;
        }
        std::vector<T>* least = &shelf.vectors[0];
        for (std::vector<T>& kept : shelf.vectors)
            least = kept.capacity() < least->capacity() ? &kept : least;
        if (least->capacity() < vector.capacity())
            std::swap(*least, vector);
    }

private:
    static constexpr std::size_t MostKept = 4;

    struct Shelf {
        std::array<std::vector<T>, MostKept> vectors;
        std::size_t count = 0;

        ~Shelf() { Gone() = true; }
    };

    static Shelf& Kept() noexcept
    {
        thread_local Shelf shelf;
        return shelf;
    }
    // Set as the thread's shelf ends; having no destructor of its own, it can still be read after.
    static bool& Gone() noexcept
    {
        thread_local bool gone = false;
        return gone;
    }
};

// Without room of its own, `vector` takes a kept vector: the best fit for `count`, or for a count of 0
// (not known yet) the one with the most room.
template <class Use = void, class T>
void TakeRecycled(std::vector<T>& vector, std::size_t count)
{
    if (vector.capacity() == 0)
        vector = RecycledVectors<T, Use>::Take(count == 0 ? std::numeric_limits<std::size_t>::max() : count);
}

// Room for `count` elements in `vector`, a kept vector's first (TakeRecycled).
template <class Use = void, class T>
void ReserveRecycled(std::vector<T>& vector, std::size_t count)
{
    TakeRecycled<Use>(vector, count);
    vector.reserve(count);
}

// ReserveRecycled, the pages of fresh room for the first `count` elements mapped in at once when they
// are many (a kept vector's room is mapped in already).
template <class Use = void, class T>
void ReserveRecycledPrefaulted(std::vector<T>& vector, std::size_t count)
{
    TakeRecycled<Use>(vector, count);
    ReservePrefaulted(vector, count);
}

// Gives the vector's room back to the thread (RecycledVectors::Give), leaving it empty without room.
template <class Use = void, class T>
void GiveRecycled(std::vector<T>& vector) noexcept
{
    RecycledVectors<T, Use>::Give(std::move(vector));
}

} // namespace Tavrel
