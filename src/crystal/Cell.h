// Cell: the base of crystal cells (so far: its identity and common name).
#pragma once

#include <string>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

// The cell parameters, clipping and the InsideCell tests come with the crystal subsystem.
class Cell : public Object {
    TAVREL_CLASS(Cell, Object, Creatable)
public:
    explicit Cell(Object* parent);

    // "Cell", for every kind of cell.
    std::string GetCommonName() const override;
};

} // namespace Tavrel
