// PooledBlock: a base that gives a small block many objects hold the tree objects' pool slots.
#pragma once

#include <cstddef>
#include <new>

#include <tavrel/core/ObjectPool.h>

namespace Tavrel {

// A struct deriving from PooledBlock is allocated from ObjectPool::Objects(), as the tree's objects
// are (from the heap under AddressSanitizer, or beyond the pool's largest slot): a side block of a
// node or a user-property table's pair then costs a slot of its own size and no heap call.
struct PooledBlock {
    static void* operator new(std::size_t size)
    {
        if (ObjectPool::ServesObjects && ObjectPool::Fits(size))
            return ObjectPool::Objects().Allocate(size);
        return ::operator new(size);
    }
    static void operator delete(void* block, std::size_t size) noexcept
    {
        if (ObjectPool::ServesObjects && ObjectPool::Fits(size))
            ObjectPool::Objects().Free(block);
        else
            ::operator delete(block);
    }
};

} // namespace Tavrel
