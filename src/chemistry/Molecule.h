// Molecule: the container of atoms and bonds, with its 2-D flag and the properties computed from its atoms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/foundation/Geometric3d.h>

namespace Tavrel {

class PropertyArchive;

// Atoms report arriving under and leaving a molecule. The flag is persisted as "Molecule Is 2d".
// The atoms are the Atom3d descendants at any depth, in pre-order; every computed value is worked
// out on request, counting the hydrogens each atom still lacks (GetNumHydrogensToAdd) in the formula,
// composition and weights. The host reads them as text properties ("Number of Atoms", "Molecular
// Formula", ...), all read-only descriptors.
class Molecule : public Geometric3d {
    TAVREL_CLASS(Molecule, Geometric3d, Creatable)
public:
    explicit Molecule(Object* parent);

    bool Is2D() const { return m_is2D; }
    void Set2D(bool is2D) { m_is2D = is2D; }
    // Whether a child conformation is two-dimensional; the molecule's own flag is not consulted.
    bool Has2D() const;

    // The centre of the positioned descendants.
    Point3d GetXYZ() const override;
    Point3d GetAnnotationXYZ() const override;

    // Carbon, hydrogen, then the other elements by type, as "C2 H6 O"; empty without atoms of a
    // known element.
    virtual std::string CalculateMolFormula() const;
    // Mass fractions as "C: 0.522, H: 0.131, O: 0.347"; empty as the formula.
    virtual std::string CalculateComposition() const;
    virtual float CalculateMolWeight() const;
    virtual double CalculateExactWeight() const;
    virtual std::int32_t CalculateNumberAtoms() const;
    // Sphere volumes less the overlap of bonded pairs, times 0.95.
    virtual double CalculateFastVolume() const;
    // Mass-weighted mean position of the atoms (implicit hydrogens not counted); the origin without
    // mass.
    virtual Point3d CalculateCenterOfMass() const;
    // Each atom present when the call starts, hydrogens excluded: perceives and stores its
    // hybridization, then adds and places its hydrogens.
    virtual void AddHydrogens(Atom::HydrogenSet set);
    // Each atom present when the call starts deletes its bonded hydrogens.
    virtual void RemoveHydrogens(Atom::HydrogenSet set);

    // The Object level's descriptors, then the seven of the molecule.
    std::int32_t GetProperties(ObjectProperty::Array& properties) const override;

private:
    bool m_is2D = false;
};

} // namespace Tavrel
