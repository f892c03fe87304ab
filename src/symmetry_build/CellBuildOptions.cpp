#include <tavrel/symmetry_build/CellBuildOptions.h>

#include <tavrel/foundation/ServiceSlot.h>

namespace Tavrel {

std::int32_t CellBuildOptions::GetDefaultSymmetryAtomColor() const
{
    return 0;
}

const CellBuildOptions& CellBuildOptions::Installed()
{
    return ServiceSlot<CellBuildOptions>::Get();
}

const CellBuildOptions* CellBuildOptions::Install(const CellBuildOptions* options)
{
    return ServiceSlot<CellBuildOptions>::Install(options);
}

} // namespace Tavrel
