// Cell3d: the three-dimensional crystal cell (so far: its symmetry-map switch).
#pragma once

#include <tavrel/crystal/Cell.h>

namespace Tavrel {

class SymmetryMap;

// The geometry, space group and build come with the crystal subsystem; the symmetry map with the
// crystal-building subsystem. Until then a cell never holds a map.
class Cell3d : public Cell {
    TAVREL_CLASS(Cell3d, Cell, Creatable)
public:
    explicit Cell3d(Object* parent);

    // The map in use, else null.
    virtual SymmetryMap* GetSymmetryMap() const;
    // Sets the switch; switching it off deletes an existing map.
    virtual void EnableSymmetryMap(bool enable);
    virtual bool IsSymmetryMapEnabled() const;
    // With the switch on and no map yet, creates, updates and starts the map; otherwise nothing.
    virtual void CreateSymmetryMap(bool computeBonds);

private:
    bool m_symmetryMapEnabled = false;
};

} // namespace Tavrel
