// Molecule: the container of atoms and bonds, with its 2-D flag.
#pragma once

#include "foundation/Geometric3d.h"

namespace Tavrel {

class PropertyArchive;

// Atoms report arriving under and leaving a molecule. The flag is persisted as "Molecule Is 2d".
class Molecule : public Geometric3d {
    TAVREL_DECLARE_CLASS(Molecule, Geometric3d)
    TAVREL_DECLARE_PROPERTIES()
public:
    explicit Molecule(Object* parent);

    bool Is2D() const { return m_is2D; }
    void Set2D(bool is2D) { m_is2D = is2D; }

protected:
    Molecule();
    Molecule(const Molecule& other) = default;

private:
    bool m_is2D = false;
};

} // namespace Tavrel
