// RecycledVectors: vectors a thread keeps between uses, so that a large transient array is written into
// pages an earlier use mapped rather than fresh ones, which the system maps and clears one by one.
#pragma once

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

namespace Tavrel {

// Take gives an empty vector, with the room of one given back earlier on this thread when there is
// one; Give takes a vector back once its use is over. A thread keeps at most a few per element type,
// and those only until it ends: what one keeps is the room of its largest uses.
template <class T>
class RecycledVectors {
public:
    static std::vector<T> Take() noexcept
    {
        Shelf& shelf = Kept();
        if (shelf.count == 0)
            return {};
        return std::move(shelf.vectors[--shelf.count]);
    }

    static void Give(std::vector<T>&& vector) noexcept
    {
        Shelf& shelf = Kept();
        if (vector.capacity() == 0 || shelf.count == MostKept)
            return;
        vector.clear();
        shelf.vectors[shelf.count++] = std::move(vector);
    }

private:
    static constexpr std::size_t MostKept = 4;

    struct Shelf {
        std::array<std::vector<T>, MostKept> vectors;
        std::size_t count = 0;
    };

    static Shelf& Kept() noexcept
    {
        thread_local Shelf shelf;
        return shelf;
    }
};

} // namespace Tavrel
