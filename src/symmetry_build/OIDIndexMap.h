// OIDIndexMap: indices by object OID, held in a flat array over the OIDs of one build where they lie close together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include <tavrel/symmetry_build/FlatIntMap.h>

namespace Tavrel {

// OIDs come from a counter, so the objects one build creates hold a run of nearly consecutive OIDs.
// Prepare lays the map out for the OIDs about to be entered: one array slot per OID of their span
// when that takes no more memory than hashing them, else a FlatIntMap; OIDs entered later outside
// the span go to the FlatIntMap. OID 0 is never found; INT32_MIN cannot be stored as a value.
class OIDIndexMap {
public:
    std::size_t GetCount() const { return m_count; }

    std::int32_t* Find(std::uint32_t oid) { return const_cast<std::int32_t*>(std::as_const(*this).Find(oid)); }
    const std::int32_t* Find(std::uint32_t oid) const
    {
        if (InSpan(oid)) {
            const std::int32_t* const value = &m_span[oid - m_first];
            return *value == absent ? nullptr : value;
        }
        return m_others.Find(oid);
    }

    // Starts loading the place of the OID's entry.
    void Prefetch(std::uint32_t oid) const
    {
        if (InSpan(oid))
            __builtin_prefetch(&m_span[oid - m_first]);
        else
            m_others.Prefetch(oid);
    }

    // The OID's value, 0 when the OID is new. oid must not be 0.
    std::int32_t& operator[](std::uint32_t oid)
    {
        if (!InSpan(oid)) {
            const std::size_t before = m_others.GetCount();
            std::int32_t& value = m_others[oid];
            m_count += m_others.GetCount() - before;
            return value;
        }
        std::int32_t& value = m_span[oid - m_first];
        if (value == absent) {
            value = 0;
            ++m_count;
        }
        return value;
    }

    // False when the OID is absent.
    bool Erase(std::uint32_t oid);

    // Clears the map and lays it out for the OIDs oidOf gives over the range, 0 skipped.
    template <class Range, class OIDOf>
    void Prepare(const Range& range, OIDOf&& oidOf)
    {
        std::uint32_t first = std::numeric_limits<std::uint32_t>::max();
        std::uint32_t last = 0;
        std::size_t count = 0;
        for (const auto& entry : range) {
            const std::uint32_t oid = oidOf(entry);
            if (oid == 0)
                continue;
            first = oid < first ? oid : first;
            last = oid > last ? oid : last;
            ++count;
        }
        Prepare(first, last, count);
    }
    void Prepare(std::span<const std::uint32_t> oids)
    {
        Prepare(oids, [](std::uint32_t oid) { return oid; });
    }
    // The same for OIDs known to be non-zero and to lie from first to last. Where they leave most of
    // that span unused, the array covers only the part of it that takes the least memory, the OIDs
    // outside it hashed.
    void PrepareDensest(std::span<const std::uint32_t> oids, std::uint32_t first, std::uint32_t last);

    void Clear();
    void Swap(OIDIndexMap& other) noexcept;

private:
    static constexpr std::int32_t absent = std::numeric_limits<std::int32_t>::min();
    // The parts PrepareDensest counts the OIDs in.
    static constexpr std::size_t parts = 32;

    bool InSpan(std::uint32_t oid) const { return oid - m_first < m_span.size(); }
    // Count OIDs from first to last (0 when none).
    void Prepare(std::uint32_t first, std::uint32_t last, std::size_t count);

    std::uint32_t m_first = 0;
    // Values of the OIDs m_first, m_first + 1, ...; absent where none is held.
    std::vector<std::int32_t> m_span;
    FlatIntMap<std::uint32_t, std::int32_t, 0> m_others;
    std::size_t m_count = 0;
};

} // namespace Tavrel
