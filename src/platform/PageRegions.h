// PageRegions: memory taken from the system in regions aligned to their size, on large pages where the system has them.
#pragma once

#include <cstddef>

namespace Tavrel {

// A region of `size` bytes (a power of two, a whole number of pages) aligned to its size, writable
// and mapped in at once. Where the system backs memory with large pages, the region asks for them:
// objects spread over a few such regions cost the processor far fewer address translations than
// over as many small pages. Throws std::bad_alloc when the system gives no memory.
void* MapAlignedRegion(std::size_t size);

// Gives back a region MapAlignedRegion made, of the same size.
void UnmapAlignedRegion(void* region, std::size_t size) noexcept;

} // namespace Tavrel
