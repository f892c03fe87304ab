#include <tavrel/crystal/CellSymmetryServices.h>

#include <tavrel/crystal/CellBuilder.h>
#include <tavrel/crystal/CellSymmetryMap.h>
#include <tavrel/foundation/ServiceSlot.h>

namespace Tavrel {

std::unique_ptr<CellSymmetryMap> CellSymmetryServices::CreateSymmetryMap(Cell3d&, const IntArray&) const
{
    return nullptr;
}

std::unique_ptr<CellBuilder> CellSymmetryServices::CreateCellBuildMethod(Cell3d*, std::string_view,
                                                                         const CellBuildMethodParameters*) const
{
    return nullptr;
}

const CellSymmetryServices& CellSymmetryServices::Installed()
{
    return ServiceSlot<CellSymmetryServices>::Get();
}

const CellSymmetryServices* CellSymmetryServices::Install(const CellSymmetryServices* services)
{
    return ServiceSlot<CellSymmetryServices>::Install(services);
}

} // namespace Tavrel
