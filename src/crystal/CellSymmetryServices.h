// CellSymmetryServices: what a crystal cell asks of the symmetry-build folder: its map and its build methods.
#pragma once

#include <memory>
#include <string_view>

#include <tavrel/core/Arrays.h>

namespace Tavrel {

class Cell3d;
class CellBuildMethodParameters;
class CellBuilder;
class CellSymmetryMap;

// The symmetry-build folder installs its services at start-up. The services given here are those
// of a library without symmetry maps: no map is made and no build method is handed out.
class CellSymmetryServices {
public:
    virtual ~CellSymmetryServices() = default;

    // A new map bound to the cell with the given symmetry-image keys (4-tuples: operator, a, b, c).
    virtual std::unique_ptr<CellSymmetryMap> CreateSymmetryMap(Cell3d& cell, const IntArray& operationKeys) const;
    // The build method of that name (compared without regard to case) for the cell, with the given
    // parameters (null: the method's defaults); null for a null cell, an empty or an unknown name.
    virtual std::unique_ptr<CellBuilder> CreateCellBuildMethod(Cell3d* cell, std::string_view name,
                                                               const CellBuildMethodParameters* parameters) const;

    // The installed services.
    static const CellSymmetryServices& Installed();
    // Installs the services (null: those given here) and returns the ones replaced; they must outlive
    // their installation.
    static const CellSymmetryServices* Install(const CellSymmetryServices* services);
};

} // namespace Tavrel
