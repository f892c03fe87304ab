#include <tavrel/symmetry_build/OIDIndexMap.h>

#include <algorithm>
#include <utility>

namespace Tavrel {

namespace {

// The bytes a FlatIntMap takes for count entries: 8-byte slots, a power of two at least twice the count.
std::size_t HashBytes(std::size_t count)
{
    if (count == 0)
        return 0;
    std::size_t slots = 16;
    while (count * 2 > slots)
        slots *= 2;
    return slots * 8;
}

} // namespace

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

void OIDIndexMap::PrepareDensest(std::span<const std::uint32_t> oids, std::uint32_t first, std::uint32_t last)
{
    const std::size_t count = oids.size();
    if (count == 0 || last < first || std::size_t{last - first} < count * 2) {
        Prepare(first, last, count);
        return;
    }
    // The OIDs counted by part of the span, each part a power of two wide; every other OID, taken
    // twice, places the array well enough.
    unsigned shift = 0;
    while (((last - first) >> shift) >= parts)
        ++shift;
    std::array<std::size_t, parts> counts{};
    constexpr std::size_t stride = 2;
    for (std::size_t k = 0; k < count; k += stride)
        counts[(oids[k] - first) >> shift] += stride;
    const std::size_t used = static_cast<std::size_t>((last - first) >> shift) + 1;
    const auto partEnd = [&](std::size_t j) {
        return j + 1 == used ? last : first + static_cast<std::uint32_t>(((j + 1) << shift) - 1);
    };
    // The whole span as Prepare takes it, unless a run of parts takes less.
    std::size_t best = std::min((std::size_t{last - first} + 1) * sizeof(std::int32_t), HashBytes(count));
    std::size_t from = 0;
    std::size_t to = used;
    std::size_t kept = count;
    for (std::size_t i = 0; i < used; ++i) {
        const std::uint32_t low = first + static_cast<std::uint32_t>(i << shift);
        std::size_t inside = 0;
        for (std::size_t j = i; j < used; ++j) {
            inside += counts[j];
            inside = inside < count ? inside : count;
            const std::size_t bytes =
                (std::size_t{partEnd(j) - low} + 1) * sizeof(std::int32_t) + HashBytes(count - inside);
            if (bytes < best) {
                best = bytes;
                from = i;
                to = j + 1;
                kept = inside;
            }
        }
    }
    if (from == 0 && to == used) {
        Prepare(first, last, count);
        return;
    }
    Prepare(first + static_cast<std::uint32_t>(from << shift), partEnd(to - 1), kept);
    m_others.Reserve(m_span.empty() ? count : count - kept);
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
