// SymmetryBuildServices: what this folder answers when a crystal cell asks for its symmetry map.
#pragma once

#include <tavrel/crystal/CellSymmetryServices.h>

namespace Tavrel {

// Installed by the document at start-up; build methods are not handed out yet.
class SymmetryBuildServices final : public CellSymmetryServices {
public:
    std::unique_ptr<CellSymmetryMap> CreateSymmetryMap(Cell3d& cell, const IntArray& operationKeys) const override;

    static const SymmetryBuildServices& Instance();
};

} // namespace Tavrel
