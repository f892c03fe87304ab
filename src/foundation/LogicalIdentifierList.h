// LogicalIdentifierList: a tree root's map from logical identifiers (LIDs) to OIDs, with its counter.
#pragma once

#include <cstdint>
#include <unordered_map>

namespace Tavrel {

// LIDs run from 1 upward; the number after 0xFFFFFFFF is 1, and 0 means no LID. A new number is the
// first one from the counter on that no entry holds, so after the counter wraps it skips the numbers
// still in use.
class LogicalIdentifierList {
public:
    // The number after `lid`: lid + 1, and 1 after 0xFFFFFFFF.
    static constexpr std::uint32_t Successor(std::uint32_t lid) { return lid == UINT32_MAX ? 1u : lid + 1u; }

    // Enters the OID under a new number and returns it; 0 for OID 0 or when every number is taken.
    std::uint32_t AddObjectLid(std::uint32_t oid);
    // Keeps `lid` for the OID when it is free or already the OID's own (a free lid at or past the
    // counter moves the counter past it); otherwise enters the OID under a new number. Returns the
    // number the OID holds, or `lid` unchanged when `lid` or `oid` is 0.
    std::uint32_t AddObjectLidCopy(std::uint32_t lid, std::uint32_t oid);
    // The OID under `lid`; 0 for LID 0 or an absent one.
    std::uint32_t GetLogicalObject(std::uint32_t lid) const;
    // Erases the entry only when `lid` holds this OID.
    void RemoveObjectLid(std::uint32_t lid, std::uint32_t oid);
    // Erases every entry; the counter stays.
    void Clear();
    std::size_t GetSize() const { return m_map.size(); }

private:
    std::uint32_t TakeFreeLid();

    std::unordered_map<std::uint32_t, std::uint32_t> m_map;
    std::uint32_t m_nextLid = 1;
};

} // namespace Tavrel
