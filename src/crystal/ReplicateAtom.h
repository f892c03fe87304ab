// ReplicateAtom: the atom standing for a symmetry or lattice image of an asymmetric-unit atom.
#pragma once

#include <tavrel/foundation/Geometric3d.h>

namespace Tavrel {

// Derives from Geometric3d until Atom exists (Atom -> Bondable -> Geometric3d). The operator, the
// lattice offset and the delegation to the chemical parent come with the crystal subsystem.
class ReplicateAtom : public Geometric3d {
    TAVREL_CLASS(ReplicateAtom, Geometric3d, Creatable)
public:
    explicit ReplicateAtom(Object* parent);

    // "Replicate Atom"; the prototype also registers "PeriodicAtom", "SymmetryAtom", "ReplicateAtom",
    // "Periodic Atom" and "Symmetry Atom" as names of this class.
    std::string GetCommonName() const override;
};

} // namespace Tavrel
