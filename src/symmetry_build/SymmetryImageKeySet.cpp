#include <tavrel/symmetry_build/SymmetryImageKeySet.h>

namespace Tavrel {

std::size_t SymmetryImageKeySet::KeyHash::operator()(const SymmetryImageKey& key) const
{
    const auto word = [](std::int32_t high, std::int32_t low) {
        return std::uint64_t{static_cast<std::uint32_t>(high)} << 32 | static_cast<std::uint32_t>(low);
    };
    return static_cast<std::size_t>(MixBits(word(key.op, key.a) ^ MixBits(word(key.b, key.c))));
}

void SymmetryImageKeySet::Clear()
{
    m_byOperator.clear();
    m_lookup.Clear();
    m_freeKeyNumber = -1;
    m_keys.clear();
}

std::pair<std::int32_t, bool> SymmetryImageKeySet::Enter(const SymmetryImageKey& key)
{
    const std::int32_t next = GetCount();
    if (!key.HasTranslation() && key.op >= 0 && key.op < TabledOperators) {
        const auto op = static_cast<std::size_t>(key.op);
        if (op >= m_byOperator.size())
            m_byOperator.resize(op + 1, -1);
        std::int32_t& number = m_byOperator[op];
        const bool added = number < 0;
        if (added)
            number = next;
        return {number, added};
    }
    if (key == FreeKey) {
        const bool added = m_freeKeyNumber < 0;
        if (added)
            m_freeKeyNumber = next;
        return {m_freeKeyNumber, added};
    }
    const auto [number, added] = m_lookup.Insert(key, next);
    return {*number, added};
}

std::int32_t SymmetryImageKeySet::AddNew(const SymmetryImageKey& key)
{
    const auto [number, added] = Enter(key);
    if (added)
        m_keys.push_back(key);
    return number;
}

void SymmetryImageKeySet::SetOperationIndexList(const IntArray& list)
{
    Clear();
    if (list.empty() || list.size() % 4 != 0)
        return;
    m_keys.reserve(list.size() / 4);
    for (std::size_t i = 0; i < list.size(); i += 4) {
        const SymmetryImageKey key(list[i], list[i + 1], list[i + 2], list[i + 3]);
        Enter(key);
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
