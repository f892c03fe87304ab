// CellBuildMethodDefault: the "Default" build method: whole fragments placed in the unit cell, repeated over a range of cells.
#pragma once

#include <tavrel/crystal/CellBuildMethodDefaultParameters.h>
#include <tavrel/symmetry_build/CellBuildMethod.h>

namespace Tavrel {

// With connected components, each operation image of a connected fragment is moved into the unit
// cell as a whole (the fragment holding the asymmetric unit stays); without, the whole asymmetric
// unit moves as one block per operation.
class CellBuildMethodDefault final : public CellBuildMethodWith<CellBuildMethodDefaultParameters> {
public:
    using CellBuildMethodWith::CellBuildMethodWith;

    // Asks the map for the connected components as well.
    std::unique_ptr<AsymmetricUnit> CreateAsymmetricUnit() const override;
    std::unique_ptr<BuildResults> Run(const AsymmetricUnit& unit) override;

private:
    std::unique_ptr<BuildResults> RunConnectedComponents(const AsymmetricUnit& unit, std::int64_t cells);
    std::unique_ptr<BuildResults> RunSymmetryComponents(const AsymmetricUnit& unit, std::int64_t cells);
};

} // namespace Tavrel
