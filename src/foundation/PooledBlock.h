// PooledBlock: a base that gives a small block many objects hold the tree objects' pool slots.
#pragma once

#include <cstddef>
#include <new>

#include <tavrel/core/ObjectPool.h>

namespace Tavrel {

// A struct deriving from PooledBlock is allocated from ObjectPool::Objects(), as the tree's objects
// are (from the heap under AddressSanitizer, or beyond the pool's largest slot): a side block of a
// node or a user-property table's pair then costs a slot of its own size and no heap call.
// Allocate and Free serve the same way the bytes of a block that is not such a struct (an array).
struct PooledBlock {
    static void* operator new(std::size_t size) { return Allocate(size); }
    static void operator delete(void* block, std::size_t size) noexcept { Free(block, size); }

    static void* Allocate(std::size_t size)
    {
        if (ObjectPool::ServesObjects && ObjectPool::Fits(size))
            return ObjectPool::Objects().Allocate(size);
        return ::operator new(size);
    }
    // Takes back the bytes Allocate gave for the same size.
    static void Free(void* block, std::size_t size) noexcept
    {
        if (ObjectPool::ServesObjects && ObjectPool::Fits(size))
            ObjectPool::Objects().Free(block);
        else
            ::operator delete(block);
    }
};

} // namespace Tavrel
