// Cell3d: the three-dimensional crystal cell (so far: its symmetry map and the image queries asked through it).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <tavrel/core/LatticeOffset.h>
#include <tavrel/crystal/Cell.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class CellBuilder;
class CellSymmetryMap;
class CrystalImageQueries;

// The geometry, space group and build come with the crystal subsystem. The map and the build methods
// come from the installed CellSymmetryServices; without them a cell never holds a map and hands out
// no build method. An object is below the cell when it has the cell as an ancestor.
class Cell3d : public Cell {
    TAVREL_CLASS(Cell3d, Cell, Creatable)
public:
    explicit Cell3d(Object* parent);
    ~Cell3d() override;

    // The map while the switch is on, else null.
    virtual CellSymmetryMap* GetSymmetryMap() const;
    // Sets the switch; switching it off deletes an existing map.
    virtual void EnableSymmetryMap(bool enable);
    virtual bool IsSymmetryMapEnabled() const;
    // With the switch on and no map yet, creates, updates and starts the map; otherwise nothing.
    virtual void CreateSymmetryMap(bool computeBonds);

    // The map's answers for an object below the cell, asked whenever a map exists; false, 0 and
    // (0, 0, 0) for null, an object not below the cell, or without a map.
    virtual bool IsPeriodic(const Object* object) const;
    virtual bool IsSymmetric(const Object* object) const;
    virtual std::int16_t GetSymmetryOperator(const Object* object) const;
    virtual LatticeOffset GetLatticeOffset(const Object* object) const;
    // Empty for null or an object not below the cell; else the object's label, decorated by the map
    // while the switch is on and a map exists.
    virtual std::string GetSymmetryLabel(const Object* object) const;

    // The named build method for this cell with its default parameters; null for an empty or unknown
    // name.
    std::unique_ptr<CellBuilder> GetCellBuilder(std::string_view name);

    // The nearest Cell3d above node (node excluded); null without one.
    static Cell3d* FindCell(const TreeNode* node);
    // The image queries of atoms and bonds, answered by the nearest Cell3d above them.
    static const CrystalImageQueries& ImageQueries();

private:
    // Whether the object is below the cell.
    bool IsAbove(const Object* object) const;

    bool m_symmetryMapEnabled = false;
    // A copy keeps the switch; it holds no map until one is created for it.
    Uncopied<std::unique_ptr<CellSymmetryMap>> m_symmetryMap;
};

} // namespace Tavrel
