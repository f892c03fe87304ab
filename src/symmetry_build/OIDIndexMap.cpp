#include <tavrel/symmetry_build/OIDIndexMap.h>

#include <utility>

namespace Tavrel {

bool OIDIndexMap::Erase(std::uint32_t oid)
{
    if (!InSpan(oid)) {
        const bool erased = m_others.Erase(oid);
        m_count -= erased ? 1 : 0;
        return erased;
    }
    std::int32_t& value = m_span[oid - m_first];
    if (value == absent)
        return false;
    value = absent;
    --m_count;
    return true;
}

void OIDIndexMap::Prepare(std::uint32_t first, std::uint32_t last, std::size_t count)
{
    m_others.Clear();
    m_count = 0;
    // The FlatIntMap would take 8-byte slots, a power of two at least twice the count.
    std::size_t slots = 16;
    while (count * 2 > slots)
        slots *= 2;
    const std::size_t span = count == 0 || first == 0 || last < first ? 0 : std::size_t{last - first} + 1;
    if (span == 0 || span * sizeof(std::int32_t) > slots * 8) {
        m_first = 0;
        m_span = std::vector<std::int32_t>();
        m_others.Reserve(count);
        return;
    }
    // The array of an earlier layout is reused where it is large enough.
    m_first = first;
    m_span.assign(span, absent);
}

void OIDIndexMap::Clear()
{
    m_first = 0;
    m_span = std::vector<std::int32_t>();
    m_others.Clear();
    m_count = 0;
}

void OIDIndexMap::Swap(OIDIndexMap& other) noexcept
{
    std::swap(m_first, other.m_first);
    m_span.swap(other.m_span);
    m_others.Swap(other.m_others);
    std::swap(m_count, other.m_count);
}

} // namespace Tavrel
