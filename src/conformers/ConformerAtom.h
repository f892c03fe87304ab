// ConformerAtom: an alternate atom of a conformer, an Atom3d that whole-structure walks can skip.
#pragma once

#include <string>

#include <tavrel/chemistry/Atom3d.h>

namespace Tavrel {

class BaseCollection;
class ConformerJack;

// Holds no data of its own; its colour-scheme hint is 0. It is bonded to other alternates by
// ConformerBonds and to ordinary atoms by ordinary bonds; Disconnect replaces each ordinary bond by a
// ConformerJack standing for the ordinary atom, Reconnect makes the ordinary bonds again.
class ConformerAtom : public Atom3d {
    TAVREL_CLASS_CONSTRUCTED(ConformerAtom, Atom3d, Creatable)
public:
    ConformerAtom(Object* parent, const char* symbol);
    ConformerAtom(Object* parent, ElementType type);
    ConformerAtom(Object* parent, const Element* element);
    // A parentless (or placed) full copy of the atom (CopyAtom).
    explicit ConformerAtom(const Atom& atom);
    ConformerAtom(Object* parent, const Atom& atom);

    // "Conformer Atom".
    std::string GetCommonName() const override;

    // Null for a null other; the bond to other unchanged when there is one; a ConformerBond to
    // another ConformerAtom (under parent, or the common ancestor); else an ordinary bond.
    Bond* MakeBond(Object* parent, Bondable* other, Bond::BondType type) override;
    Bond* MakeBond(Bondable* other, Bond::BondType type) override;
    // A new ConformerAtom of the element under parent.
    Atom* CreateNewAtom(Object* parent, ElementType type) override;

    // Each bond that is not a ConformerBond becomes a ConformerJack (under this atom's parent) for
    // the atom at its other end, joined to this atom by a ConformerBond with the bond's values; the
    // bond is deleted.
    virtual void Disconnect();
    // Each jack becomes an ordinary bond (or the existing one) to the jack's reference atom with the
    // values of the ConformerBond to the jack; the jack is deleted.
    virtual void Reconnect();
    // Adds every bond that is not a ConformerBond; true when it added any.
    virtual bool FindSingleOccupancyBonds(BaseCollection& out) const;
    // The first bonded jack standing for the atom; null for null or none.
    virtual ConformerJack* FindConformerJack(const Bondable* reference) const;
    // Adds the bonded jacks; returns how many.
    virtual int FindConformerJacks(BaseCollection& out) const;
    // The other end of a bond of this atom; null for null or a bond that does not end here.
    Bondable* FindBondedAtom(const Bond* bond) const;

    // With full, first the ball size, colour, colour scheme, CPK scale, display style and stick
    // radius. Always the anisotropic and isotropic displacements (removed when the source has none),
    // the partial charge, the position, and the whole user-property table (occupancy, formal charge,
    // conformer index and conformer tag among them). With full, last the visibility, the stored label
    // (empty too), ID, element, formal charge and hybridization.
    static void CopyAtom(Atom& destination, const Atom& source, bool full);
    // Swap what CopyAtom copies without full between an alternate atom and its reference atom (the
    // two are the same exchange); nothing when either is null.
    static void ApplyConformerToReference(Atom* alternate, Atom* reference);
    static void ApplyReferenceToConformer(Atom* reference, Atom* alternate);

private:
    static void Exchange(Atom& first, Atom& second);
};

} // namespace Tavrel
