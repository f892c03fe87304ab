// ObjectPool: slots of fixed sizes for small objects, carved from 64 KiB blocks of slabs mapped from the system.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <tavrel/core/FlatHashMap.h>

namespace Tavrel {

// Each size up to MaxSize, rounded up to SlotAlignment, is a size class; a block holds slots of one
// class and keeps the slots freed in it on a list of its own, handed out again before fresh ones.
// Blocks are carved in turn from slabs the pool maps from the system, aligned and on large pages
// where the system has them, so that a million objects cost few address translations. A block whose
// last slot comes back, unless it is the only one of its class with room, becomes a spare: the next
// block of any class is the spare at the lowest address, so that objects made after many were deleted
// (a structure rebuilt, a document read again) are written into mapped memory, in address order.
// Spares stay until ReleaseSpareBlocks gives back the slabs that hold no object; the document calls it
// when it is destroyed (not when a read replaces its tree), so that a host that closes a large document
// has the memory back for whatever it does next.
// Freed slots and spares are poisoned under AddressSanitizer. Where a leak checker runs in the process
// (a sanitized host of a library built without it), each block that holds slots is one of its root
// regions, so that what only a pooled object points to is not reported; a slot is cleared as it is
// freed there, so that what only a freed object pointed to still is.
// Not thread-safe: like the object table it serves, it is used by one thread at a time.
class ObjectPool {
public:
    static constexpr std::size_t SlotAlignment = 8;
    static constexpr std::size_t MaxSize = 512;
    static constexpr std::size_t BlockSize = std::size_t{1} << 16;
    // A large page of the common processors.
    static constexpr std::size_t SlabSize = std::size_t{2} << 20;

    // The tree's objects take their slots here unless AddressSanitizer is on: its own allocator keeps
    // freed blocks out of use for a while and finds leaked objects, where a pool would reuse a freed
    // slot at once and keep leaked ones reachable.
    static constexpr bool ServesObjects =
#if defined(__SANITIZE_ADDRESS__)
        false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
        false;
#else
        true;
#endif
#else
        true;
#endif

    ObjectPool() = default;
    // Gives back every slab; slots still handed out are gone with them.
    ~ObjectPool();
    ObjectPool(const ObjectPool&) = delete;
    ObjectPool& operator=(const ObjectPool&) = delete;

    // Whether a size has a size class (1 to MaxSize bytes).
    static bool Fits(std::size_t size) { return size - 1 < MaxSize; }

    // A slot of at least size bytes (Fits(size)), aligned to SlotAlignment.
    void* Allocate(std::size_t size)
    {
        // Without poisoning, a slot from the class's first block with room is taken inline.
        if constexpr (ServesObjects) {
            if (Block* const block = m_room[(size - 1) / SlotAlignment]) [[likely]] {
                void* const slot = TakeSlot(*block);
                if (!block->HasRoom()) [[unlikely]]
                    UnlinkRoom(block);
                return slot;
            }
        }
        return AllocateSlot(size);
    }
    // Takes back a slot that Allocate gave; nothing for null.
    void Free(void* slot) noexcept;

    // Blocks holding slots now, spare blocks and the slabs mapped, for tests and memory figures.
    std::size_t GetNumBlocks() const { return m_blocks.size(); }
    std::size_t GetNumSpareBlocks() const { return m_spares.size(); }
    std::size_t GetNumSlabs() const { return m_slabs.size(); }
    // Makes the blocks that hold no slot spares and gives back to the system the slabs whose every block
    // is a spare. Only a test when no block was emptied since the last call.
    void ReleaseSpareBlocks() noexcept;

    // The process-wide pool of the tree's objects; never destroyed, so objects may outlive statics.
    static ObjectPool& Objects();

private:
    struct FreeSlot {
        FreeSlot* next;
    };
    // The header at the start of a block; the slots follow it.
    struct Block {
        FreeSlot* free = nullptr;  // slots freed in this block
        char* fresh;               // the first slot never handed out
        char* limit;               // the end of the last whole slot
        Block* previousRoom = nullptr;
        Block* nextRoom = nullptr;
        std::uint32_t used = 0;  // slots handed out and not taken back
        std::uint32_t index;     // in m_blocks
        std::uint32_t slotSize;
        std::uint32_t sizeClass;

        bool HasRoom() const { return free || fresh != limit; }
    };
    // The next slot of a block with room: a freed one first, else a fresh one.
    static void* TakeSlot(Block& block)
    {
        void* slot;
        if (FreeSlot* const freed = block.free) {
            block.free = freed->next;
            slot = freed;
        } else {
            slot = block.fresh;
            block.fresh += block.slotSize;
        }
        ++block.used;
        return slot;
    }
    static constexpr std::size_t ClassCount = MaxSize / SlotAlignment;

    void* AllocateSlot(std::size_t size);

    Block* AddBlock(std::size_t sizeClass);
    void ReleaseBlock(Block* block) noexcept;
    // A block's memory not handed out before, from the slab being carved or a new one.
    void* CarveBlock();
    // Makes a block's memory a spare (room for it is kept).
    void KeepSpare(void* memory) noexcept;
    Block* FindBlock(const void* slot) const noexcept;
    void LinkRoom(Block* block) noexcept;
    void UnlinkRoom(Block* block) noexcept;

    // Per size class, the blocks with a free or fresh slot, the last one to gain room first.
    std::array<Block*, ClassCount> m_room{};
    // Every block, each knowing its index.
    std::vector<Block*> m_blocks;
    // The spare blocks, a heap with the lowest address first; its room is kept for every block carved,
    // so that a block can always become a spare.
    std::vector<void*> m_spares;
    // Every slab in the order mapped, and the next block to carve from the last one (null when it has
    // none left).
    std::vector<char*> m_slabs;
    char* m_carve = nullptr;
    // Whether a block's last slot came back since ReleaseSpareBlocks last looked.
    bool m_emptied = false;
    // Each block under the 64 KiB granule of the address space it fills (slabs are aligned, so blocks
    // are too): a slot lies in the block of its granule.
    FlatHashMap<std::uintptr_t, Block*, IntegerHash> m_byGranule{UINTPTR_MAX};
};

} // namespace Tavrel
