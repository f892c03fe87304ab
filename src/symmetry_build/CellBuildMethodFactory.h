// CellBuildMethodFactory: makes a crystal build method for a cell from the method's name.
#pragma once

#include <memory>
#include <string_view>

namespace Tavrel {

class Cell3d;
class CellBuilder;
class CellBuildMethodParameters;

// Names, compared without regard to case: "Asymmetric", "AsymmetricUnit", "Asymmetric Unit",
// "Positions"; "Default"; "OneCell", "One Cell"; "Original"; "Zone", "ZoneDisplay", "Zone Display".
// The factory holds no state.
class CellBuildMethodFactory {
public:
    // The method of that name for the cell with its default parameters, then given the parameters
    // (when they belong to it); null for a null cell or an empty or unknown name.
    std::unique_ptr<CellBuilder> CreateCellBuildMethod(Cell3d* cell, std::string_view name,
                                                       const CellBuildMethodParameters* parameters) const;
};

// The process-wide factory.
const CellBuildMethodFactory& GetCellBuildMethodFactory();

} // namespace Tavrel
