#include <tavrel/symmetry_build/CellBuildMethodOriginal.h>

#include <tavrel/symmetry_build/BuildResults.h>
#include <tavrel/symmetry_build/CellRangeImages.h>

namespace Tavrel {

std::unique_ptr<BuildResults> CellBuildMethodOriginal::Run(const AsymmetricUnit& unit)
{
    return MakeCellRangeImages(unit, GetParameters(), false);
}

} // namespace Tavrel
