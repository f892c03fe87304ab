// ReplicateAtom: the atom standing for a symmetry or lattice image of an asymmetric-unit atom.
#pragma once

#include "foundation/Geometric3d.h"

namespace Tavrel {

// Derives from Geometric3d until Atom exists (Atom -> Bondable -> Geometric3d). The operator, the
// lattice offset and the delegation to the chemical parent come with the crystal subsystem.
class ReplicateAtom : public Geometric3d {
    TAVREL_DECLARE_CLASS(ReplicateAtom, Geometric3d)
public:
    explicit ReplicateAtom(Object* parent);

protected:
    ReplicateAtom();
    ReplicateAtom(const ReplicateAtom& other);
};

} // namespace Tavrel
