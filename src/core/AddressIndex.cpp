#include <tavrel/core/AddressIndex.h>

#include <algorithm>
#include <bit>
#include <limits>
#include <stdexcept>

#include <tavrel/core/RecycledVectors.h>

namespace Tavrel {

AddressIndex::AddressIndex(std::size_t objectSize)
    : m_shift(std::min<unsigned>(static_cast<unsigned>(std::bit_width(std::max<std::size_t>(objectSize, 1))) - 1, PageBits)),
      m_blocks(NoPage)
{
}

AddressIndex::~AddressIndex()
{
    GiveRecycled<AddressIndex>(m_slots);
}

void AddressIndex::Clear()
{
    m_blocks.Clear();
    m_slots.clear();
    m_inserting = {};
}

void AddressIndex::ReservePages(std::size_t pages)
{
    const std::size_t limit = std::numeric_limits<std::uint32_t>::max() / BlockSize();
    ReserveRecycledPrefaulted<AddressIndex>(m_slots, m_slots.size() + std::min(pages, limit) * BlockSize());
}

void AddressIndex::Insert(const void* address, std::int32_t index)
{
    const auto bits = reinterpret_cast<std::uintptr_t>(address);
    if (bits >> PageBits != m_inserting.page) {
        if (m_slots.size() + BlockSize() > std::numeric_limits<std::uint32_t>::max())
            throw std::length_error("AddressIndex: too many pages");
        const auto [block, added] = m_blocks.Insert(bits >> PageBits, static_cast<std::uint32_t>(m_slots.size()));
        if (added)
            m_slots.resize(m_slots.size() + BlockSize(), -1);
        m_inserting = {bits >> PageBits, *block};
    }
    m_slots[m_inserting.block + ((bits & PageMask) >> m_shift)] = index;
}

} // namespace Tavrel
