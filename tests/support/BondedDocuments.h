// BondedDocuments: a small bonded document of each subsystem, for the damaged-load tests and the fuzz seeds.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/biopolymers/Residue.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/chemistry/SubUnit.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellBuilder.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/AngleMonitor.h>
#include <tavrel/monitors/CentroidMonitor.h>
#include <tavrel/monitors/DihedralRestraint.h>
#include <tavrel/monitors/DistanceMonitor.h>
#include <tavrel/monitors/DistanceRestraint.h>
#include <tavrel/monitors/FixedAtomConstraint.h>
#include <tavrel/monitors/HarmonicAtomRestraint.h>
#include <tavrel/monitors/RotatableBondMonitor.h>

#include "support/Alternates.h"

namespace Tavrel::test {

struct BondedDocument {
    const char* name;
    void (*build)(ChemDoc& document);
};

inline Atom3d* AddBondedAtom(Object* parent, const char* label, const char* symbol, const Point3d& at)
{
    auto* const atom = new Atom3d(parent, symbol);
    atom->SetLabel(label);
    atom->SetXYZ(at);
    return atom;
}

// One C-O bond.
inline void BuildTwoBondedAtoms(ChemDoc& document)
{
    auto* const molecule = new Molecule(document.GetTreeRoot());
    Atom3d* const carbon = AddBondedAtom(molecule, "C1", "C", Point3d(0.0, 0.0, 0.0));
    carbon->MakeBond(AddBondedAtom(molecule, "O1", "O", Point3d(1.43, 0.0, 0.0)), Bond::Single);
}

// Ethanol's heavy atoms bonded, with its hydrogens.
inline void BuildSmallMolecule(ChemDoc& document)
{
    auto* const molecule = new Molecule(document.GetTreeRoot());
    Atom3d* const c1 = AddBondedAtom(molecule, "C1", "C", Point3d(0.0, 0.0, 0.0));
    Atom3d* const c2 = AddBondedAtom(molecule, "C2", "C", Point3d(1.52, 0.0, 0.0));
    c1->MakeBond(c2, Bond::Single);
    c2->MakeBond(AddBondedAtom(molecule, "O1", "O", Point3d(2.04, 1.35, 0.0)), Bond::Single);
    molecule->AddHydrogens(Atom::AllHydrogens);
}

// A dipeptide and a strand of two nucleotides, bonded by their residue templates.
inline void BuildBiopolymers(ChemDoc& document)
{
    const ResiduePool& pool = ResiduePool::GetResiduePool();
    auto* const molecule = new Molecule(document.GetTreeRoot());
    Tavrel::Chain* const protein = pool.CreateChain(molecule, "GLY");
    for (int i = 0; i < 2; ++i) {
        Residue* const residue = pool.CreateResidue(protein, i == 0 ? "GLY" : "ALA");
        const double x = 3.8 * i;
        AddBondedAtom(residue, "N", "N", Point3d(x, 0.0, 0.0));
        AddBondedAtom(residue, "CA", "C", Point3d(x + 1.46, 0.0, 0.0));
        AddBondedAtom(residue, "C", "C", Point3d(x + 2.0, 1.42, 0.0));
        AddBondedAtom(residue, "O", "O", Point3d(x + 1.3, 2.4, 0.0));
    }
    auto* const strand = new NucleicAcidChain(molecule);
    for (int i = 0; i < 2; ++i) {
        Residue* const residue = pool.CreateResidue(strand, "A");
        const Point3d at(20.0 + 6.0 * i, 0.0, 0.0);
        AddBondedAtom(residue, "P", "P", at);
        AddBondedAtom(residue, "O5'", "O", at + Point3d(1.6, 0.0, 0.0));
        AddBondedAtom(residue, "C5'", "C", at + Point3d(2.4, 1.2, 0.0));
        AddBondedAtom(residue, "O3'", "O", at + Point3d(4.4, 0.0, 0.0));
    }
    pool.ConstructResidueBonds(molecule);
}

// A chain of four carbons whose middle atoms and bond have alternates in two conformers.
inline void BuildConformers(ChemDoc& document)
{
    auto* const molecule = new Molecule(document.GetTreeRoot());
    const Chain chain = MakeChain(molecule, 4);
    MakeModel(molecule, {chain.atoms[1], chain.atoms[2]}, {chain.bonds[1]},
              {Point3d(0.0, 1.0, 0.0), Point3d(0.0, -1.0, 0.0)});
}

// A C-O molecule in a P2_1/c cell, built: its replicas and their bonds.
inline void BuildCrystal(ChemDoc& document)
{
    auto* const cell = new Cell3d(document.GetTreeRoot());
    cell->GetSymmetry()->LoadSpaceGroup(14, "", 0);
    auto* const molecule = new Molecule(cell);
    Atom3d* const carbon = AddBondedAtom(molecule, "C1", "C", Point3d(1.0, 2.0, 3.0));
    carbon->MakeBond(AddBondedAtom(molecule, "O1", "O", Point3d(2.2, 2.0, 3.0)), Bond::Single);
    cell->Build(Cell3d::BuildInfo());
}

// A C-C molecule in a P2_1 cell, built by the symmetry map's one-cell method.
inline void BuildSymmetry(ChemDoc& document)
{
    auto* const cell = new Cell3d(document.GetTreeRoot());
    cell->GetSymmetry()->LoadSpaceGroup(4, "", 0);
    auto* const molecule = new Molecule(cell);
    Atom3d* const first = AddBondedAtom(molecule, "C1", "C", Point3d(0.1, 0.2, 0.3) * cell->GetFracToCart());
    first->MakeBond(AddBondedAtom(molecule, "C2", "C", Point3d(0.2, 0.2, 0.3) * cell->GetFracToCart()), Bond::Single);
    if (const std::unique_ptr<CellBuilder> builder = cell->GetCellBuilder("OneCell"))
        builder->Build();
}

// A chain of four carbons in a sub-unit of a sub-unit, with monitors and restraints over its atoms
// and bonds; the first child of the molecule is a centroid monitor, so its items' records come first.
inline void BuildMonitors(ChemDoc& document)
{
    auto* const molecule = new Molecule(document.GetTreeRoot());
    auto* const residue = new SubUnit(new SubUnit(molecule));
    const Chain chain = MakeChain(residue, 4);
    std::vector<Atom3d*> atoms = chain.atoms;
    OrdCollection all;
    OrdCollection ends;
    for (Atom3d* atom : atoms)
        all.Add(atom);
    ends.Add(atoms[0]);
    ends.Add(atoms[3]);
    (new CentroidMonitor(molecule, ends))->SetParentAt(molecule, 0);
    new DistanceMonitor(molecule, atoms[0], atoms[3]);
    new AngleMonitor(molecule, atoms[0], atoms[1], atoms[2]);
    new RotatableBondMonitor(molecule, atoms[0], atoms[1], atoms[2], atoms[3]);
    new DihedralRestraint(molecule, atoms[0], atoms[1], atoms[2], atoms[3]);
    new DistanceRestraint(molecule, ends, all);
    new HarmonicAtomRestraint(molecule, ends);
    new FixedAtomConstraint(molecule, ends);
}

// The documents, the smallest first.
inline const std::vector<BondedDocument>& BondedDocuments()
{
    static const std::vector<BondedDocument> documents{
        {"two bonded atoms", &BuildTwoBondedAtoms}, {"small molecule", &BuildSmallMolecule},
        {"protein and DNA", &BuildBiopolymers},     {"conformers", &BuildConformers},
        {"built crystal", &BuildCrystal},           {"symmetry build", &BuildSymmetry},
        {"monitors and restraints", &BuildMonitors},
    };
    return documents;
}

} // namespace Tavrel::test
