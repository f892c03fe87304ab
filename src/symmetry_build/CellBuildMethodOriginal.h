// CellBuildMethodOriginal: the "Original" build method: each distinct operation image of every atom where its operation puts it, repeated over a range of cells.
#pragma once

#include <tavrel/crystal/CellBuildMethodOriginalParameters.h>
#include <tavrel/symmetry_build/CellBuildMethod.h>

namespace Tavrel {

class CellBuildMethodOriginal final : public CellBuildMethodWith<CellBuildMethodOriginalParameters> {
public:
    using CellBuildMethodWith::CellBuildMethodWith;

    std::unique_ptr<BuildResults> Run(const AsymmetricUnit& unit) override;
};

} // namespace Tavrel
