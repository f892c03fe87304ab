// ASUTools: tells the replicas of a crystal build from the asymmetric unit, and counts the asymmetric unit.
#pragma once

namespace Tavrel {

class Atom;
class Bond;
class Object;

// A replica is an object inside a Cell3d that carries the user property "_REP" or is a
// ReplicateAtom; objects outside every Cell3d are never replicas. Conformer atoms are no replicas.
class ASUTools {
public:
    ASUTools() = delete;

    // False for null.
    static bool IsReplicateAtom(const Atom* atom);
    // A bond inside a Cell3d whose two atoms are both replicas (false for null).
    static bool IsReplicateBond(const Bond* bond);
    // The atoms below root that a FilterSymmetry with the flag passes; 0 for null.
    static int CountASUAtoms(const Object* root, bool includeConformerAtoms);
    static int GetASUNumAtoms(const Object* root, bool includeConformerAtoms)
    {
        return CountASUAtoms(root, includeConformerAtoms);
    }
    // The bonds below root that are no replica bonds and, unless the flag is set, touch no conformer
    // atom; 0 for null.
    static int CountASUBonds(const Object* root, bool includeConformerAtoms);
    static int GetASUNumBonds(const Object* root, bool includeConformerAtoms)
    {
        return CountASUBonds(root, includeConformerAtoms);
    }
};

} // namespace Tavrel
