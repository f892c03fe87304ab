#include <tavrel/symmetry_build/SymmetryImageKeySet.h>

namespace Tavrel {

void SymmetryImageKeySet::Clear()
{
    m_lookup.clear();
    m_keys.clear();
}

std::int32_t SymmetryImageKeySet::Add(const SymmetryImageKey& key)
{
    const auto [entry, added] = m_lookup.try_emplace(key, GetCount());
    if (added)
        m_keys.push_back(key);
    return entry->second;
}

void SymmetryImageKeySet::SetOperationIndexList(const IntArray& list)
{
    Clear();
    if (list.empty() || list.size() % 4 != 0)
        return;
    m_keys.reserve(list.size() / 4);
    for (std::size_t i = 0; i < list.size(); i += 4) {
        const SymmetryImageKey key(list[i], list[i + 1], list[i + 2], list[i + 3]);
        m_lookup.try_emplace(key, GetCount());
        m_keys.push_back(key);
    }
}

void SymmetryImageKeySet::GetOperationIndexList(IntArray& list) const
{
    list.clear();
    list.reserve(m_keys.size() * 4);
    for (const SymmetryImageKey& key : m_keys)
        list.insert(list.end(), {key.op, key.a, key.b, key.c});
}

} // namespace Tavrel
