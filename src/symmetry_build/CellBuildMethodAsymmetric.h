// CellBuildMethodAsymmetric: the "Asymmetric" build method: the asymmetric unit as it is, each atom its identity image.
#pragma once

#include <tavrel/crystal/CellBuildMethodAsymmetricParameters.h>
#include <tavrel/symmetry_build/CellBuildMethod.h>

namespace Tavrel {

class CellBuildMethodAsymmetric final : public CellBuildMethodWith<CellBuildMethodAsymmetricParameters> {
public:
    using CellBuildMethodWith::CellBuildMethodWith;

    std::unique_ptr<BuildResults> Run(const AsymmetricUnit& unit) override;
};

} // namespace Tavrel
