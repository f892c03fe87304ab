#include <tavrel/symmetry_build/SymmetryAtoms.h>

namespace Tavrel {

void SymmetryAtoms::Clear()
{
    ClearReplicas();
    m_units.clear();
}

std::int32_t SymmetryAtoms::AddAtom(const Point3d& position, double bondingRadius, std::int32_t cosetDecomposition,
                                    std::int32_t site)
{
    m_units.push_back({position, bondingRadius, cosetDecomposition, site});
    return AddUnit();
}

const SymmetryAtoms::Unit* SymmetryAtoms::GetUnit(std::int32_t unit) const
{
    return unit >= 0 && unit < GetUnitCount() ? &m_units[static_cast<std::size_t>(unit)] : nullptr;
}

void SymmetryAtoms::Swap(SymmetryAtoms& other) noexcept
{
    SwapReplicas(other);
    m_units.swap(other.m_units);
}

} // namespace Tavrel
