// What the benchmarks share: the heap in use, for bytes-per-object figures.
#pragma once

#include <malloc.h>

#include <cstddef>

namespace Tavrel::bench {

// Bytes the allocator has handed out in small blocks and not taken back.
inline std::size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

} // namespace Tavrel::bench
