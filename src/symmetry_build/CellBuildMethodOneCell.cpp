#include <tavrel/symmetry_build/CellBuildMethodOneCell.h>

#include <tavrel/symmetry_build/BuildResults.h>
#include <tavrel/symmetry_build/CellRangeImages.h>

namespace Tavrel {

std::unique_ptr<BuildResults> CellBuildMethodOneCell::Run(const AsymmetricUnit& unit)
{
    return MakeCellRangeImages(unit, GetParameters(), true);
}

} // namespace Tavrel
