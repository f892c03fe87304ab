#include <tavrel/symmetry_build/BuildResults.h>

namespace Tavrel {

BuildResults::BuildResults(std::int32_t n)
    : m_oids(static_cast<std::size_t>(n < 0 ? 0 : n), 0), m_keys(static_cast<std::size_t>(n < 0 ? 0 : n))
{
}

void BuildResults::SetAtom(std::int32_t i, std::int32_t oid, const SymmetryImageKey::Array& keys)
{
    if (i < 0 || i >= GetAtomCount())
        return;
    m_oids[static_cast<std::size_t>(i)] = oid;
    m_keys[static_cast<std::size_t>(i)] = keys;
}

void BuildResults::SetAll(const IntArray& oids, const std::vector<SymmetryImageKey::Array>& keys)
{
    if (keys.size() != m_keys.size() || oids.size() != m_oids.size())
        return;
    m_oids = oids;
    m_keys = keys;
}

void BuildResults::GetAll(IntArray& oids, std::vector<SymmetryImageKey::Array>& keys) const
{
    oids = m_oids;
    keys = m_keys;
}

} // namespace Tavrel
