// CellBuilder: a named build method that fills a crystal cell with the images of its asymmetric unit.
#pragma once

#include <memory>
#include <string>

#include <tavrel/crystal/CellBuildMethodParameters.h>

namespace Tavrel {

class Cell3d;

// The symmetry-build folder implements the methods; a cell hands them out by name (Cell3d::GetCellBuilder).
class CellBuilder {
public:
    explicit CellBuilder(Cell3d* cell) : m_cell(cell) {}
    virtual ~CellBuilder() = default;
    CellBuilder(const CellBuilder&) = delete;
    CellBuilder& operator=(const CellBuilder&) = delete;

    // A copy of the method's current parameters.
    virtual std::unique_ptr<CellBuildMethodParameters> CloneParameters() const = 0;
    // Takes the values of parameters that belong to this method.
    virtual void SetParameters(const CellBuildMethodParameters& parameters) = 0;
    virtual Cell3d* GetCell() const { return m_cell; }
    virtual bool Build() = 0;
    // The message of the last Build; empty after success.
    virtual std::string GetErrorMessage() const = 0;

private:
    Cell3d* m_cell;
};

} // namespace Tavrel
