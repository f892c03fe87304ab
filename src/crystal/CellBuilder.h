// CellBuilder: a named build method that fills a crystal cell with the images of its asymmetric unit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <tavrel/crystal/CellBuildMethodParameters.h>

namespace Tavrel {

class Cell3d;

// The symmetry-build folder implements the methods; a cell hands them out by name (Cell3d::GetCellBuilder).
// The method names its cell by OID, so a cell deleted meanwhile is never reached.
class CellBuilder {
public:
    explicit CellBuilder(Cell3d* cell);
    virtual ~CellBuilder() = default;
    CellBuilder(const CellBuilder&) = delete;
    CellBuilder& operator=(const CellBuilder&) = delete;

    // A copy of the method's current parameters.
    virtual std::unique_ptr<CellBuildMethodParameters> CloneParameters() const = 0;
    // Takes the values of parameters that belong to this method (its name and its parameter class);
    // others are ignored.
    virtual void SetParameters(const CellBuildMethodParameters& parameters) = 0;
    // The cell, found again by its OID: null once it is gone.
    virtual Cell3d* GetCell() const;
    virtual bool Build() = 0;
    // The message of the last Build; empty after success.
    virtual std::string GetErrorMessage() const = 0;

private:
    std::uint32_t m_cellOID;
};

} // namespace Tavrel
