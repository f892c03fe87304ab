#include <tavrel/symmetry_build/SymmetryMap.h>

#include <tavrel/crystal/Cell3d.h>

namespace Tavrel {

bool SymmetryMap::IsPeriodic(std::uint32_t) const
{
    return false;
}

bool SymmetryMap::IsSymmetric(std::uint32_t) const
{
    return false;
}

std::int32_t SymmetryMap::GetSymmetryOperator(std::uint32_t) const
{
    return 0;
}

LatticeOffset SymmetryMap::GetLatticeOffset(std::uint32_t) const
{
    return {};
}

std::string SymmetryMap::GetLabel(const Object& object) const
{
    return object.GetLabel();
}

std::string SymmetryMap::GetSymmetryLabel(const Object* object)
{
    if (!object)
        return {};
    const Object* cell = object->GetParent();
    while (cell && !IsA<Cell3d>(cell))
        cell = cell->GetParent();
    if (!cell)
        return {};
    const SymmetryMap* const map = static_cast<const Cell3d*>(cell)->GetSymmetryMap();
    return map ? map->GetLabel(*object) : object->GetLabel();
}

} // namespace Tavrel
