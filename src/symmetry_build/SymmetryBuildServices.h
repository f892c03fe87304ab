// SymmetryBuildServices: what this folder answers when a crystal cell asks for its symmetry map.
#pragma once

#include <tavrel/crystal/CellSymmetryServices.h>

namespace Tavrel {

// Installed by the document at start-up: the cell's symmetry map and its named build methods.
class SymmetryBuildServices final : public CellSymmetryServices {
public:
    std::unique_ptr<CellSymmetryMap> CreateSymmetryMap(Cell3d& cell, const IntArray& operationKeys) const override;
    std::unique_ptr<CellBuilder> CreateCellBuildMethod(Cell3d* cell, std::string_view name,
                                                       const CellBuildMethodParameters* parameters) const override;

    static const SymmetryBuildServices& Instance();
};

} // namespace Tavrel
