// AddressIndex: indices kept by object address, found without probing among objects of at least a given size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include <tavrel/core/FlatHashMap.h>

namespace Tavrel {

// The address space is cut into pages of 4 KiB. A page that holds an object gets a block of slots,
// one per window of the largest power of two not above the object size, so two objects never share a
// slot, and objects made together (whose addresses follow one another) share blocks and cache lines.
// The blocks are found by page number in a small hash map. Objects packed in memory take a slot or two
// each; scattered ones at most a block each (4 KiB of address over the window, times 4 bytes).
class AddressIndex {
public:
    // objectSize: the smallest size of the objects to index (distinct objects lie that far apart).
    explicit AddressIndex(std::size_t objectSize);
    AddressIndex(const AddressIndex&) = default;
    AddressIndex(AddressIndex&&) noexcept = default;
    AddressIndex& operator=(const AddressIndex&) = default;
    AddressIndex& operator=(AddressIndex&&) noexcept = default;
    // The slots' room is kept for the thread's next index (RecycledVectors).
    ~AddressIndex();

    // The page of the last lookup and its block: lookups of nearby addresses one after another skip
    // the hash map. Valid until the next Insert or Clear.
    struct Cursor {
        std::uintptr_t page = NoPage;
        std::uint32_t block = 0;
    };

    void Clear();
    // Room for the objects at these addresses (in any order; those made together share pages), so
    // that inserting them never copies the slots.
    template <class Object>
    void Reserve(std::span<Object* const> objects)
    {
        std::size_t pages = 0;
        std::uintptr_t last = NoPage;
        for (const Object* const object : objects) {
            const std::uintptr_t page = reinterpret_cast<std::uintptr_t>(object) >> PageBits;
            pages += page != last ? 1 : 0;
            last = page;
        }
        ReservePages(pages);
    }
    // Keeps the index for the object at address, replacing the one kept before.
    void Insert(const void* address, std::int32_t index);
    // The index kept for the address's window, -1 when none: the caller checks that it names the
    // object asked for, as another address of the same window finds it too.
    std::int32_t Find(const void* address) const
    {
        Cursor cursor;
        return Find(address, cursor);
    }
    std::int32_t Find(const void* address, Cursor& cursor) const
    {
        const auto bits = reinterpret_cast<std::uintptr_t>(address);
        if (bits >> PageBits != cursor.page) {
            const std::uint32_t* const block = m_blocks.Find(bits >> PageBits);
            if (!block)
                return -1;
            cursor = {bits >> PageBits, *block};
        }
        return m_slots[cursor.block + ((bits & PageMask) >> m_shift)];
    }

private:
    // Room for the slots of this many more pages, mapped in at once.
    void ReservePages(std::size_t pages);
    // The slots of a page's block.
    std::size_t BlockSize() const { return std::size_t{1} << (PageBits - m_shift); }

    static constexpr unsigned PageBits = 12;
    static constexpr std::uintptr_t PageMask = (std::uintptr_t{1} << PageBits) - 1;
    // No page has this number: the map's free key.
    static constexpr std::uintptr_t NoPage = ~std::uintptr_t{0};

    unsigned m_shift;
    Cursor m_inserting;
    // Page number to the first slot of its block.
    FlatHashMap<std::uintptr_t, std::uint32_t, IntegerHash> m_blocks;
    std::vector<std::int32_t> m_slots;
};

} // namespace Tavrel
