#include "foundation/LogicalIdentifierList.h"

namespace Tavrel {

// Entries hold distinct numbers, so among size() + 1 consecutive numbers from the counter at least
// one is free whenever any number is: the search is bounded by the number of entries.
std::uint32_t LogicalIdentifierList::TakeFreeLid()
{
    std::uint32_t lid = m_nextLid;
    for (std::size_t tries = 0; tries <= m_map.size() && tries < UINT32_MAX; ++tries) {
        if (!m_map.contains(lid)) {
            m_nextLid = Successor(lid);
            return lid;
        }
        lid = Successor(lid);
    }
    return 0;
}

std::uint32_t LogicalIdentifierList::AddObjectLid(std::uint32_t oid)
{
    if (oid == 0)
        return 0;
    const std::uint32_t lid = TakeFreeLid();
    if (lid != 0)
        m_map.emplace(lid, oid);
    return lid;
}

std::uint32_t LogicalIdentifierList::AddObjectLidCopy(std::uint32_t lid, std::uint32_t oid)
{
    if (lid == 0 || oid == 0)
        return lid;
    const auto [entry, inserted] = m_map.try_emplace(lid, oid);
    if (inserted) {
        if (lid >= m_nextLid)
            m_nextLid = Successor(lid);
        return lid;
    }
    if (entry->second == oid)
        return lid;
    return AddObjectLid(oid);
}

std::uint32_t LogicalIdentifierList::GetLogicalObject(std::uint32_t lid) const
{
    if (lid == 0)
        return 0;
    const auto entry = m_map.find(lid);
    return entry != m_map.end() ? entry->second : 0;
}

void LogicalIdentifierList::RemoveObjectLid(std::uint32_t lid, std::uint32_t oid)
{
    if (lid == 0)
        return;
    const auto entry = m_map.find(lid);
    if (entry != m_map.end() && entry->second == oid)
        m_map.erase(entry);
}

void LogicalIdentifierList::Clear()
{
    m_map.clear();
}

} // namespace Tavrel
