#include <tavrel/symmetry_build/SymmetryObjects.h>

namespace Tavrel {

void SymmetryObjects::Clear()
{
    ClearReplicas();
    m_cosetDecompositions.clear();
}

std::int32_t SymmetryObjects::AddObject(std::int32_t cosetDecomposition)
{
    m_cosetDecompositions.push_back(cosetDecomposition);
    return AddUnit();
}

std::int32_t SymmetryObjects::GetCosetDecomposition(std::int32_t unit) const
{
    return unit >= 0 && unit < GetUnitCount() ? m_cosetDecompositions[static_cast<std::size_t>(unit)] : -1;
}

void SymmetryObjects::Swap(SymmetryObjects& other) noexcept
{
    SwapReplicas(other);
    m_cosetDecompositions.swap(other.m_cosetDecompositions);
}

} // namespace Tavrel
