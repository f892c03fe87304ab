#include <tavrel/symmetry_build/SymmetryBuildServices.h>

#include <tavrel/crystal/CellBuilder.h>
#include <tavrel/symmetry_build/CellBuildMethodFactory.h>
#include <tavrel/symmetry_build/SymmetryMap.h>

namespace Tavrel {

std::unique_ptr<CellSymmetryMap> SymmetryBuildServices::CreateSymmetryMap(Cell3d& cell,
                                                                         const IntArray& operationKeys) const
{
    return std::make_unique<SymmetryMap>(&cell, operationKeys);
}

std::unique_ptr<CellBuilder> SymmetryBuildServices::CreateCellBuildMethod(Cell3d* cell, std::string_view name,
                                                                          const CellBuildMethodParameters* parameters) const
{
    return GetCellBuildMethodFactory().CreateCellBuildMethod(cell, name, parameters);
}

const SymmetryBuildServices& SymmetryBuildServices::Instance()
{
    static const SymmetryBuildServices services;
    return services;
}

} // namespace Tavrel
