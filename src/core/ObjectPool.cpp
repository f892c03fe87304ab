#include <tavrel/core/ObjectPool.h>

#include <algorithm>
#include <functional>
#include <new>

#include <tavrel/platform/PageAdvice.h>

#if defined(__SANITIZE_ADDRESS__)
#define TAVREL_POOL_POISONS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVREL_POOL_POISONS 1
#endif
#endif

#ifdef TAVREL_POOL_POISONS
#include <sanitizer/asan_interface.h>
#endif

namespace Tavrel {

namespace {

void Poison([[maybe_unused]] const void* bytes, [[maybe_unused]] std::size_t size)
{
#ifdef TAVREL_POOL_POISONS
    ASAN_POISON_MEMORY_REGION(bytes, size);
#endif
}

void Unpoison([[maybe_unused]] const void* bytes, [[maybe_unused]] std::size_t size)
{
#ifdef TAVREL_POOL_POISONS
    ASAN_UNPOISON_MEMORY_REGION(bytes, size);
#endif
}

constexpr unsigned GranuleBits = 16;

} // namespace

ObjectPool::~ObjectPool()
{
    for (Block* const block : m_blocks) {
        Unpoison(block, BlockSize);
        ::operator delete(block);
    }
    ReleaseSpareBlocks();
}

ObjectPool& ObjectPool::Objects()
{
    static ObjectPool* const pool = new ObjectPool;
    return *pool;
}

void* ObjectPool::AllocateSlot(std::size_t size)
{
    const std::size_t sizeClass = (size - 1) / SlotAlignment;
    Block* block = m_room[sizeClass];
    if (!block)
        block = AddBlock(sizeClass);
    // A freed slot's link is read as it is taken.
    if (block->free)
        Unpoison(block->free, block->slotSize);
    void* const slot = TakeSlot(*block);
    Unpoison(slot, block->slotSize);
    if (!block->HasRoom())
        UnlinkRoom(block);
    return slot;
}

void ObjectPool::Free(void* slot) noexcept
{
    if (!slot)
        return;
    Block* const block = FindBlock(slot);
    const bool hadRoom = block->HasRoom();
    auto* const freed = static_cast<FreeSlot*>(slot);
    freed->next = block->free;
    block->free = freed;
    Poison(freed, block->slotSize);
    --block->used;
    if (!hadRoom)
        LinkRoom(block);
    else if (block->used == 0 && (block->previousRoom || block->nextRoom))
        ReleaseBlock(block);
}

ObjectPool::Block* ObjectPool::AddBlock(std::size_t sizeClass)
{
    if (m_blocks.size() == m_blocks.capacity())
        m_blocks.reserve(std::max<std::size_t>(16, 2 * m_blocks.size()));
    void* memory;
    if (!m_spares.empty()) {
        std::pop_heap(m_spares.begin(), m_spares.end(), std::greater<>());
        memory = m_spares.back();
        m_spares.pop_back();
        Unpoison(memory, BlockSize);
    } else {
        const std::size_t most = m_blocks.size() + 1;
        if (most > m_spares.capacity())
            m_spares.reserve(std::max(most, 2 * m_spares.capacity()));
        memory = ::operator new(BlockSize);
        if (most > m_mostBlocks) {
            m_mostBlocks = most;
            PrefaultPages(memory, BlockSize);
        }
    }
    const auto granule = reinterpret_cast<std::uintptr_t>(memory) >> GranuleBits;
    try {
        m_byGranule.Insert(granule, static_cast<Block*>(memory));
    } catch (...) {
        KeepSpare(memory);
        throw;
    }
    const auto slotSize = static_cast<std::uint32_t>((sizeClass + 1) * SlotAlignment);
    auto* const block = new (memory) Block;
    char* const first = static_cast<char*>(memory) + (sizeof(Block) + SlotAlignment - 1) / SlotAlignment * SlotAlignment;
    block->fresh = first;
    block->limit = first + (static_cast<char*>(memory) + BlockSize - first) / slotSize * slotSize;
    block->index = static_cast<std::uint32_t>(m_blocks.size());
    block->slotSize = slotSize;
    block->sizeClass = static_cast<std::uint32_t>(sizeClass);
    m_blocks.push_back(block);
    Poison(first, static_cast<std::size_t>(static_cast<char*>(memory) + BlockSize - first));
    LinkRoom(block);
    return block;
}

void ObjectPool::ReleaseBlock(Block* block) noexcept
{
    UnlinkRoom(block);
    m_byGranule.Erase(reinterpret_cast<std::uintptr_t>(block) >> GranuleBits);
    Block* const last = m_blocks.back();
    last->index = block->index;
    m_blocks[block->index] = last;
    m_blocks.pop_back();
    block->~Block();
    KeepSpare(block);
}

void ObjectPool::KeepSpare(void* memory) noexcept
{
    Poison(memory, BlockSize);
    m_spares.push_back(memory);
    std::push_heap(m_spares.begin(), m_spares.end(), std::greater<>());
}

void ObjectPool::ReleaseSpareBlocks() noexcept
{
    for (void* const spare : m_spares) {
        Unpoison(spare, BlockSize);
        ::operator delete(spare);
    }
    m_spares.clear();
    m_mostBlocks = m_blocks.size();
}

ObjectPool::Block* ObjectPool::FindBlock(const void* slot) const noexcept
{
    const auto address = reinterpret_cast<std::uintptr_t>(slot);
    const std::uintptr_t granule = address >> GranuleBits;
    if (Block* const* const here = m_byGranule.Find(granule); here && reinterpret_cast<std::uintptr_t>(*here) < address)
        return *here;
    return *m_byGranule.Find(granule - 1);
}

void ObjectPool::LinkRoom(Block* block) noexcept
{
    Block*& first = m_room[block->sizeClass];
    block->previousRoom = nullptr;
    block->nextRoom = first;
    if (first)
        first->previousRoom = block;
    first = block;
}

void ObjectPool::UnlinkRoom(Block* block) noexcept
{
    if (block->previousRoom)
        block->previousRoom->nextRoom = block->nextRoom;
    else
        m_room[block->sizeClass] = block->nextRoom;
    if (block->nextRoom)
        block->nextRoom->previousRoom = block->previousRoom;
    block->previousRoom = nullptr;
    block->nextRoom = nullptr;
}

} // namespace Tavrel
