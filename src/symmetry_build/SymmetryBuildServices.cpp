#include <tavrel/symmetry_build/SymmetryBuildServices.h>

#include <tavrel/symmetry_build/SymmetryMap.h>

namespace Tavrel {

std::unique_ptr<CellSymmetryMap> SymmetryBuildServices::CreateSymmetryMap(Cell3d& cell,
                                                                         const IntArray& operationKeys) const
{
    return std::make_unique<SymmetryMap>(&cell, operationKeys);
}

const SymmetryBuildServices& SymmetryBuildServices::Instance()
{
    static const SymmetryBuildServices services;
    return services;
}

} // namespace Tavrel
