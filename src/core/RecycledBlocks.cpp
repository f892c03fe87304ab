#include <tavrel/core/RecycledBlocks.h>

#include <array>
#include <new>

#include <tavrel/core/MemoryPoisoning.h>

namespace Tavrel {

namespace {

constexpr std::size_t Classes = RecycledBlocks::MaxSize / RecycledBlocks::Granularity;

struct FreeBlock {
    FreeBlock* next;
};

std::size_t ClassOf(std::size_t size)
{
    return (size - 1) / RecycledBlocks::Granularity;
}

std::size_t ClassSize(std::size_t sizeClass)
{
    return (sizeClass + 1) * RecycledBlocks::Granularity;
}

// Set once the thread's shelf is gone: blocks freed later (by objects of thread or static storage
// destroyed after it) go back to the heap.
thread_local bool t_shelfGone = false;

struct Shelf {
    std::array<FreeBlock*, Classes> lists{};
    std::size_t bytes = 0;

    Shelf() = default;
    Shelf(const Shelf&) = delete;
    Shelf& operator=(const Shelf&) = delete;
    ~Shelf()
    {
        t_shelfGone = true;
        for (std::size_t sizeClass = 0; sizeClass < Classes; ++sizeClass) {
            while (FreeBlock* const block = lists[sizeClass]) {
                UnpoisonMemory(block, ClassSize(sizeClass));
                lists[sizeClass] = block->next;
                ::operator delete(block);
            }
        }
    }
};

Shelf& ThreadShelf() noexcept
{
    thread_local Shelf shelf;
    return shelf;
}

} // namespace

void* RecycledBlocks::Allocate(std::size_t size)
{
    if (size == 0 || size > MaxSize)
        return ::operator new(size);
    const std::size_t sizeClass = ClassOf(size);
    if (!t_shelfGone) {
        Shelf& shelf = ThreadShelf();
        if (FreeBlock* const block = shelf.lists[sizeClass]) {
            UnpoisonMemory(block, ClassSize(sizeClass));
            shelf.lists[sizeClass] = block->next;
            shelf.bytes -= ClassSize(sizeClass);
            return block;
        }
    }
    return ::operator new(ClassSize(sizeClass));
}

void RecycledBlocks::Free(void* block, std::size_t size) noexcept
{
    if (!block)
        return;
    if (size == 0 || size > MaxSize || t_shelfGone) {
        ::operator delete(block);
        return;
    }
    const std::size_t sizeClass = ClassOf(size);
    Shelf& shelf = ThreadShelf();
    if (shelf.bytes + ClassSize(sizeClass) > MostKeptBytes) {
        ::operator delete(block);
        return;
    }
    auto* const freed = static_cast<FreeBlock*>(block);
    freed->next = shelf.lists[sizeClass];
    shelf.lists[sizeClass] = freed;
    shelf.bytes += ClassSize(sizeClass);
    PoisonMemory(freed, ClassSize(sizeClass));
}

std::size_t RecycledBlocks::GetKeptBytes() noexcept
{
    return t_shelfGone ? 0 : ThreadShelf().bytes;
}

} // namespace Tavrel
