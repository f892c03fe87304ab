#include <tavrel/symmetry_build/CellBuildMethodAsymmetric.h>

#include <tavrel/symmetry_build/AsymmetricUnit.h>
#include <tavrel/symmetry_build/BuildResults.h>

namespace Tavrel {

std::unique_ptr<BuildResults> CellBuildMethodAsymmetric::Run(const AsymmetricUnit& unit)
{
    if (!unit.IsValid())
        return nullptr;
    const std::int32_t n = unit.GetAtomCount();
    auto results = std::make_unique<BuildResults>(n);
    const SymmetryImageKey::Array identity{SymmetryImageKey(0, 0, 0, 0)};
    const OIDArray& oids = unit.GetAtomOIDs();
    for (std::int32_t i = 0; i < n; ++i)
        results->SetAtom(i, static_cast<std::int32_t>(oids[static_cast<std::size_t>(i)]), identity);
    results->SetComputeBonds(GetParameters().computeBonds);
    return results;
}

} // namespace Tavrel
