#include <tavrel/core/ObjectPool.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <new>

#include <tavrel/platform/PageRegions.h>

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

// Weak, so that a library built without the sanitizers needs no runtime of theirs: the functions are
// there only in a process that runs a leak checker.
#if defined(__has_include)
#if __has_include(<sanitizer/lsan_interface.h>)
#include <sanitizer/lsan_interface.h>
#pragma weak __lsan_register_root_region
#pragma weak __lsan_unregister_root_region
#define TAVREL_POOL_LEAK_REGIONS 1
#endif
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

bool LeakChecked() noexcept
{
#ifdef TAVREL_POOL_LEAK_REGIONS
    return __lsan_register_root_region != nullptr;
#else
    return false;
#endif
}

// A block that holds slots is scanned for pointers by the leak checker, as a live heap block would be;
// it leaves the scan before it becomes a spare or is unmapped.
void ShowToLeakChecker([[maybe_unused]] const void* block) noexcept
{
#ifdef TAVREL_POOL_LEAK_REGIONS
    if (LeakChecked())
        __lsan_register_root_region(block, ObjectPool::BlockSize);
#endif
}

void HideFromLeakChecker([[maybe_unused]] const void* block) noexcept
{
#ifdef TAVREL_POOL_LEAK_REGIONS
    if (LeakChecked())
        __lsan_unregister_root_region(block, ObjectPool::BlockSize);
#endif
}

static_assert(std::has_single_bit(ObjectPool::BlockSize) && ObjectPool::SlabSize % ObjectPool::BlockSize == 0);
constexpr int GranuleBits = std::countr_zero(ObjectPool::BlockSize);

} // namespace

ObjectPool::~ObjectPool()
{
    for (const Block* const block : m_blocks)
        HideFromLeakChecker(block);
    for (char* const slab : m_slabs) {
        Unpoison(slab, SlabSize);
        UnmapAlignedRegion(slab, SlabSize);
    }
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
    if (LeakChecked())
        std::memset(slot, 0, block->slotSize);
    const bool hadRoom = block->HasRoom();
    auto* const freed = static_cast<FreeSlot*>(slot);
    freed->next = block->free;
    block->free = freed;
    Poison(freed, block->slotSize);
    --block->used;
    if (!hadRoom) {
        LinkRoom(block);
    } else if (block->used == 0) {
        m_emptied = true;
        if (block->previousRoom || block->nextRoom)
            ReleaseBlock(block);
    }
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
        if (m_spares.capacity() <= m_blocks.size())
            m_spares.reserve(std::max(m_blocks.size() + 1, 2 * m_spares.capacity()));
        memory = CarveBlock();
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
    ShowToLeakChecker(block);
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
    HideFromLeakChecker(block);
    block->~Block();
    KeepSpare(block);
}

void* ObjectPool::CarveBlock()
{
    if (!m_carve) {
        if (m_slabs.size() == m_slabs.capacity())
            m_slabs.reserve(std::max<std::size_t>(8, 2 * m_slabs.size()));
        m_carve = static_cast<char*>(MapAlignedRegion(SlabSize));
        m_slabs.push_back(m_carve);
    }
    void* const memory = m_carve;
    m_carve += BlockSize;
    if (m_carve == m_slabs.back() + SlabSize)
        m_carve = nullptr;
    return memory;
}

void ObjectPool::KeepSpare(void* memory) noexcept
{
    Poison(memory, BlockSize);
    m_spares.push_back(memory);
    std::push_heap(m_spares.begin(), m_spares.end(), std::greater<>());
}

void ObjectPool::ReleaseSpareBlocks() noexcept
{
    if (!m_emptied)
        return;
    m_emptied = false;
    // From the last, so that the block that takes an empty one's place was looked at already.
    for (std::size_t i = m_blocks.size(); i-- > 0;) {
        if (m_blocks[i]->used == 0)
            ReleaseBlock(m_blocks[i]);
    }
    // Sorted, the spares are still a heap of the lowest first, and each slab's lie together.
    std::sort(m_spares.begin(), m_spares.end());
    const auto slabOf = [](const void* block) {
        return reinterpret_cast<char*>(reinterpret_cast<std::uintptr_t>(block) & ~(std::uintptr_t{SlabSize} - 1));
    };
    std::size_t kept = 0;
    for (std::size_t first = 0; first < m_spares.size();) {
        char* const slab = slabOf(m_spares[first]);
        std::size_t end = first;
        while (end < m_spares.size() && slabOf(m_spares[end]) == slab)
            ++end;
        const bool carving = m_carve && slab == m_slabs.back();
        const auto carved = static_cast<std::size_t>((carving ? m_carve : slab + SlabSize) - slab) / BlockSize;
        if (end - first == carved) {
            Unpoison(slab, SlabSize);
            UnmapAlignedRegion(slab, SlabSize);
            m_slabs.erase(std::find(m_slabs.begin(), m_slabs.end(), slab));
            if (carving)
                m_carve = nullptr;
        } else {
            std::copy(m_spares.begin() + static_cast<std::ptrdiff_t>(first),
                      m_spares.begin() + static_cast<std::ptrdiff_t>(end), m_spares.begin() + static_cast<std::ptrdiff_t>(kept));
            kept += end - first;
        }
        first = end;
    }
    m_spares.resize(kept);
}

ObjectPool::Block* ObjectPool::FindBlock(const void* slot) const noexcept
{
    return *m_byGranule.Find(reinterpret_cast<std::uintptr_t>(slot) >> GranuleBits);
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
