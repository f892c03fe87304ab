// RecycledBlocks: small blocks a thread keeps once freed, so that objects made by the hundred thousand
// again and again (a display list's primitives) take blocks already mapped rather than heap calls and
// fresh pages.
#pragma once

#include <cstddef>

namespace Tavrel {

// Blocks come from the heap in sizes rounded up to Granularity; a freed one goes on its size's list on
// the freeing thread, and Allocate on that thread hands it out again before asking the heap. A thread
// keeps at most MostKeptBytes, and those only until it ends; a block larger than MaxSize is the heap's.
// Blocks on the lists are poisoned under AddressSanitizer.
class RecycledBlocks {
public:
    static constexpr std::size_t Granularity = 16;
    static constexpr std::size_t MaxSize = 256;
    static constexpr std::size_t MostKeptBytes = std::size_t{32} << 20;

    // A block of at least `size` bytes, aligned as operator new aligns.
    static void* Allocate(std::size_t size);
    // Takes back a block Allocate gave for the same size, on any thread; nothing for null.
    static void Free(void* block, std::size_t size) noexcept;

    // Bytes this thread keeps now, for tests and memory figures.
    static std::size_t GetKeptBytes() noexcept;
};

} // namespace Tavrel
