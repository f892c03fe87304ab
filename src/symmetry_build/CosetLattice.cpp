#include <tavrel/symmetry_build/CosetLattice.h>

#include <algorithm>

#include <tavrel/symmetry_build/CosetDecomposition.h>

namespace Tavrel {

CosetLattice::CosetLattice(std::int32_t n) : m_elementCount(std::max(n, 0))
{
    Reset();
}

void CosetLattice::SetElementCount(std::int32_t n)
{
    n = std::max(n, 0);
    if (n == m_elementCount)
        return;
    m_elementCount = n;
    Reset();
}

void CosetLattice::Reset()
{
    m_lookup.clear();
    m_joins.clear();
    m_partitions.clear();
    const auto n = static_cast<std::size_t>(m_elementCount);
    IntArray finest(n);
    for (std::size_t i = 0; i < n; ++i)
        finest[i] = static_cast<std::int32_t>(i);
    Append(finest, finest);
    Append(IntArray(n, 0), n ? IntArray{0} : IntArray());
}

std::int32_t CosetLattice::Append(IntArray representatives, IntArray classRepresentatives)
{
    const std::int32_t number = GetCount();
    m_lookup.try_emplace(representatives, number);
    m_partitions.push_back({std::move(representatives), std::move(classRepresentatives), {}});
    return number;
}

std::int32_t CosetLattice::Add(const IntArray& representatives, const IntArray& classRepresentatives)
{
    if (representatives.size() != static_cast<std::size_t>(m_elementCount))
        return -1;
    if (classRepresentatives.size() == static_cast<std::size_t>(m_elementCount))
        return 0;
    if (const auto found = m_lookup.find(representatives); found != m_lookup.end())
        return found->second;
    return Append(representatives, classRepresentatives);
}

std::int32_t CosetLattice::AddPartition(const IntArray& representatives)
{
    if (representatives.size() != static_cast<std::size_t>(m_elementCount))
        return -1;
    IntArray classRepresentatives;
    Tavrel::GetClassRepresentatives(m_elementCount, representatives, classRepresentatives);
    return Add(representatives, classRepresentatives);
}

std::int32_t CosetLattice::Combine(std::int32_t k1, std::int32_t k2)
{
    if (!IsValidIndex(k1) || !IsValidIndex(k2))
        return -1;
    if (k1 == 0)
        return k2;
    if (k2 == 0)
        return k1;
    if (k1 == 1 || k2 == 1)
        return 1;
    if (k1 == k2)
        return k1;
    const auto pair = std::minmax(k1, k2);
    if (const auto cached = m_joins.find(pair); cached != m_joins.end())
        return cached->second;
    const CosetDecomposition low(m_partitions[static_cast<std::size_t>(pair.first)].representatives);
    const CosetDecomposition high(m_partitions[static_cast<std::size_t>(pair.second)].representatives);
    const std::int32_t number = AddPartition(low.Join(high).GetRepresentatives());
    if (number != -1)
        m_joins.emplace(pair, number);
    return number;
}

void CosetLattice::GetPartition(std::int32_t k, IntArray& representatives) const
{
    if (IsValidIndex(k))
        representatives = m_partitions[static_cast<std::size_t>(k)].representatives;
    else
        representatives.clear();
}

void CosetLattice::GetClassRepresentatives(std::int32_t k, IntArray& representatives) const
{
    if (IsValidIndex(k))
        representatives = m_partitions[static_cast<std::size_t>(k)].classRepresentatives;
    else
        representatives.clear();
}

std::int32_t CosetLattice::GetClassCount(std::int32_t k) const
{
    return IsValidIndex(k) ? static_cast<std::int32_t>(m_partitions[static_cast<std::size_t>(k)].classRepresentatives.size())
                           : 0;
}

std::int32_t CosetLattice::GetRepresentative(std::int32_t k, std::int32_t element) const
{
    if (!IsValidIndex(k) || !IsElement(element))
        return -1;
    return m_partitions[static_cast<std::size_t>(k)].representatives[static_cast<std::size_t>(element)];
}

std::int32_t CosetLattice::GetClassNumber(std::int32_t k, std::int32_t element)
{
    if (!IsValidIndex(k) || !IsElement(element))
        return -1;
    Partition& partition = m_partitions[static_cast<std::size_t>(k)];
    if (partition.classNumbers.empty())
        GetClassNumbers(m_elementCount, partition.representatives, partition.classNumbers);
    return partition.classNumbers.empty() ? -1 : partition.classNumbers[static_cast<std::size_t>(element)];
}

void CosetLattice::GetClassMembers(std::int32_t k, std::int32_t element, IntArray& members) const
{
    members.clear();
    if (!IsValidIndex(k) || !IsElement(element))
        return;
    const IntArray& representatives = m_partitions[static_cast<std::size_t>(k)].representatives;
    const std::int32_t r = representatives[static_cast<std::size_t>(element)];
    for (std::size_t i = 0; i < representatives.size(); ++i)
        if (representatives[i] == r)
            members.push_back(static_cast<std::int32_t>(i));
}

} // namespace Tavrel
