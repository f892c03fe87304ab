// CellBuildMethodOneCell: the "OneCell" build method: each distinct operation image of every atom moved into the unit cell, repeated over a range of cells.
#pragma once

#include <tavrel/crystal/CellBuildMethodOneCellParameters.h>
#include <tavrel/symmetry_build/CellBuildMethod.h>

namespace Tavrel {

class CellBuildMethodOneCell final : public CellBuildMethodWith<CellBuildMethodOneCellParameters> {
public:
    using CellBuildMethodWith::CellBuildMethodWith;

    std::unique_ptr<BuildResults> Run(const AsymmetricUnit& unit) override;
};

} // namespace Tavrel
