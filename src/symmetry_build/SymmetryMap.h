// SymmetryMap: a crystal cell's record of which objects below it are symmetry or lattice images.
#pragma once

#include <cstdint>
#include <string>

#include <tavrel/core/LatticeOffset.h>

namespace Tavrel {

class Cell3d;
class Object;

// The queries atoms and other objects ask of their cell's map. A map that holds no build result
// knows no image: every object is neither periodic nor symmetric, with operator 0 and no offset.
class SymmetryMap {
public:
    explicit SymmetryMap(Cell3d* cell) : m_cell(cell) {}
    SymmetryMap(const SymmetryMap&) = delete;
    SymmetryMap& operator=(const SymmetryMap&) = delete;

    Cell3d* GetCell() const { return m_cell; }

    bool IsPeriodic(std::uint32_t oid) const;
    bool IsSymmetric(std::uint32_t oid) const;
    // The index of the operator that produced the object.
    std::int32_t GetSymmetryOperator(std::uint32_t oid) const;
    LatticeOffset GetLatticeOffset(std::uint32_t oid) const;
    // The object's label decorated with its image.
    std::string GetLabel(const Object& object) const;

    // Empty for null and outside a Cell3d; the cell's map's label when it has a map; else the
    // object's own label.
    static std::string GetSymmetryLabel(const Object* object);

private:
    Cell3d* m_cell;
};

} // namespace Tavrel
