// BenchProtein: a protein of about 5,700 atoms laid out as a real one, tiled to any number of atoms, for
// the benchmarks that run over atoms.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include <tavrel/biopolymers/Residue.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Chain.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include "../tests/biopolymers/BackboneBuilder.h"

namespace Tavrel::bench {

// The unit is a bundle of 5 x 5 antiparallel alpha helices of 26 residues, 10 A apart, in one chain:
// backbone atoms, the amide hydrogens and heavy side chains of a common mix of residues, the other
// hydrogens left implicit as a structure file gives them. Atoms are made residue by residue, then the
// whole structure is bonded from the residue templates, as a reader of such a file does. The units
// stand on a cubic lattice with a few angstroms of solvent between them.
namespace protein {

using BackboneBuilder::Vec;

// A side-chain atom by internal coordinates from three atoms placed before it in its residue (0 N,
// 1 CA, 2 C, then the side chain in order): bond length, angle and torsion in degrees.
struct SideAtom {
    const char* label;
    const char* symbol;
    int a, b, c;
    double length, angle, torsion;
};

constexpr SideAtom CB{"CB", "C", 2, 0, 1, 1.53, 110.5, -122.6};
constexpr SideAtom Ala[] = {CB};
constexpr SideAtom Ser[] = {CB, {"OG", "O", 0, 1, 3, 1.42, 111.0, -60.0}};
constexpr SideAtom Thr[] = {CB, {"OG1", "O", 0, 1, 3, 1.43, 109.5, -60.0}, {"CG2", "C", 0, 1, 3, 1.52, 111.0, 180.0}};
constexpr SideAtom Val[] = {CB, {"CG1", "C", 0, 1, 3, 1.52, 111.0, 180.0}, {"CG2", "C", 0, 1, 3, 1.52, 111.0, 60.0}};
constexpr SideAtom Leu[] = {CB, {"CG", "C", 0, 1, 3, 1.53, 116.0, -60.0}, {"CD1", "C", 1, 3, 4, 1.52, 110.0, 180.0},
                            {"CD2", "C", 1, 3, 4, 1.52, 110.0, 60.0}};
constexpr SideAtom Ile[] = {CB, {"CG1", "C", 0, 1, 3, 1.53, 110.0, -60.0}, {"CG2", "C", 0, 1, 3, 1.53, 110.0, 180.0},
                            {"CD1", "C", 1, 3, 4, 1.52, 114.0, 180.0}};
constexpr SideAtom Asp[] = {CB, {"CG", "C", 0, 1, 3, 1.52, 113.0, -60.0}, {"OD1", "O", 1, 3, 4, 1.25, 119.0, 0.0},
                            {"OD2", "O", 1, 3, 4, 1.25, 119.0, 180.0}};
constexpr SideAtom Asn[] = {CB, {"CG", "C", 0, 1, 3, 1.52, 113.0, -60.0}, {"OD1", "O", 1, 3, 4, 1.23, 121.0, -60.0},
                            {"ND2", "N", 1, 3, 4, 1.33, 116.0, 120.0}};
constexpr SideAtom Glu[] = {CB, {"CG", "C", 0, 1, 3, 1.52, 114.0, -60.0}, {"CD", "C", 1, 3, 4, 1.52, 113.0, 180.0},
                            {"OE1", "O", 3, 4, 5, 1.25, 119.0, 0.0}, {"OE2", "O", 3, 4, 5, 1.25, 119.0, 180.0}};
constexpr SideAtom Gln[] = {CB, {"CG", "C", 0, 1, 3, 1.52, 114.0, -60.0}, {"CD", "C", 1, 3, 4, 1.52, 113.0, 180.0},
                            {"OE1", "O", 3, 4, 5, 1.23, 121.0, 0.0}, {"NE2", "N", 3, 4, 5, 1.33, 117.0, 180.0}};
constexpr SideAtom Lys[] = {CB, {"CG", "C", 0, 1, 3, 1.52, 114.0, -60.0}, {"CD", "C", 1, 3, 4, 1.52, 111.0, 180.0},
                            {"CE", "C", 3, 4, 5, 1.52, 111.0, 180.0}, {"NZ", "N", 4, 5, 6, 1.49, 111.0, 180.0}};
constexpr SideAtom Arg[] = {CB, {"CG", "C", 0, 1, 3, 1.52, 114.0, -60.0}, {"CD", "C", 1, 3, 4, 1.52, 111.0, 180.0},
                            {"NE", "N", 3, 4, 5, 1.46, 112.0, 180.0}, {"CZ", "C", 4, 5, 6, 1.33, 124.0, 180.0},
                            {"NH1", "N", 5, 6, 7, 1.33, 120.0, 0.0}, {"NH2", "N", 5, 6, 7, 1.33, 120.0, 180.0}};
constexpr SideAtom Phe[] = {CB, {"CG", "C", 0, 1, 3, 1.50, 114.0, -60.0}, {"CD1", "C", 1, 3, 4, 1.39, 121.0, 90.0},
                            {"CD2", "C", 1, 3, 4, 1.39, 121.0, -90.0}, {"CE1", "C", 3, 4, 5, 1.39, 120.0, 180.0},
                            {"CE2", "C", 3, 4, 6, 1.39, 120.0, 180.0}, {"CZ", "C", 4, 5, 7, 1.39, 120.0, 0.0}};

struct Kind {
    const char* name;
    std::span<const SideAtom> side;
};
// The sequence repeats these twenty residues.
inline const std::array<Kind, 20> Sequence{{{"LEU", Leu}, {"ALA", Ala}, {"GLU", Glu}, {"LYS", Lys}, {"VAL", Val},
                                            {"SER", Ser}, {"LEU", Leu}, {"GLY", {}},  {"ILE", Ile}, {"ASP", Asp},
                                            {"ARG", Arg}, {"ALA", Ala}, {"THR", Thr}, {"LEU", Leu}, {"GLN", Gln},
                                            {"ASN", Asn}, {"VAL", Val}, {"GLU", Glu}, {"LYS", Lys}, {"PHE", Phe}}};

constexpr int HelixResidues = 26;
constexpr int HelicesPerSide = 5;
constexpr double HelixSpacing = 10.0;
constexpr double Solvent = 3.0;

struct Frame {
    Vec origin, u, v, w;
    Vec Apply(const Point3d& p) const
    {
        const Vec d = Vec{p.x, p.y, p.z} - origin;
        return {d.Dot(u), d.Dot(v), d.Dot(w)};
    }
};

// The ideal helix with its axis along z, centred on the origin.
inline std::vector<BackboneBuilder::BackboneAtoms> Helix()
{
    std::vector<BackboneBuilder::BackboneAtoms> helix = BackboneBuilder::Build(BackboneBuilder::AlphaHelix, HelixResidues);
    const auto turnCentre = [&helix](std::size_t first) {
        Vec sum;
        for (std::size_t i = first; i < first + 4; ++i)
            sum = sum + Vec{helix[i].ca.x, helix[i].ca.y, helix[i].ca.z};
        return sum * 0.25;
    };
    Frame frame;
    frame.w = (turnCentre(helix.size() - 4) - turnCentre(0)).Unit();
    for (const auto& residue : helix)
        frame.origin = frame.origin + Vec{residue.ca.x, residue.ca.y, residue.ca.z} * (1.0 / static_cast<double>(helix.size()));
    frame.u = Vec{1.0, 0.0, 0.0}.Cross(frame.w).Unit();
    frame.v = frame.w.Cross(frame.u);
    for (auto& residue : helix) {
        for (Point3d* p : {&residue.n, &residue.ca, &residue.c, &residue.o, &residue.h})
            *p = frame.Apply(*p).Point();
    }
    return helix;
}

// One residue's atoms: name, symbol and position.
struct PlacedAtom {
    const char* label;
    const char* symbol;
    Point3d at;
};
struct PlacedResidue {
    const char* name;
    std::vector<PlacedAtom> atoms;
};

// The unit, residue by residue, in chain order (helices in a snake through the square).
inline const std::vector<PlacedResidue>& Unit()
{
    static const std::vector<PlacedResidue> unit = [] {
        const auto helix = Helix();
        std::vector<PlacedResidue> residues;
        int number = 0;
        for (int row = 0; row < HelicesPerSide; ++row) {
            for (int step = 0; step < HelicesPerSide; ++step) {
                const int column = row % 2 == 0 ? step : HelicesPerSide - 1 - step;
                // Neighbouring helices run in opposite directions: every other one turned about x.
                const double flip = (row + column) % 2 == 0 ? 1.0 : -1.0;
                const Vec offset{HelixSpacing * column, HelixSpacing * row, 0.0};
                const auto place = [&](const Point3d& p) { return Vec{p.x, flip * p.y, flip * p.z} + offset; };
                for (const auto& backbone : helix) {
                    const Kind& kind = Sequence[static_cast<std::size_t>(number++) % Sequence.size()];
                    std::vector<Vec> at{place(backbone.n), place(backbone.ca), place(backbone.c)};
                    PlacedResidue residue{kind.name, {{"N", "N", at[0].Point()}, {"CA", "C", at[1].Point()},
                                                      {"C", "C", at[2].Point()}, {"O", "O", place(backbone.o).Point()},
                                                      {"H", "H", place(backbone.h).Point()}}};
                    for (const SideAtom& side : kind.side) {
                        at.push_back(BackboneBuilder::Place(at[static_cast<std::size_t>(side.a)], at[static_cast<std::size_t>(side.b)],
                                                            at[static_cast<std::size_t>(side.c)], side.length, side.angle, side.torsion));
                        residue.atoms.push_back({side.label, side.symbol, at.back().Point()});
                    }
                    residues.push_back(std::move(residue));
                }
            }
        }
        return residues;
    }();
    return unit;
}

inline std::size_t UnitAtoms()
{
    std::size_t atoms = 0;
    for (const PlacedResidue& residue : Unit())
        atoms += residue.atoms.size();
    return atoms;
}

} // namespace protein

struct Protein {
    std::vector<Molecule*> molecules;  // one per unit, each holding one chain
    std::size_t atoms = 0;
};

enum class Hydrogens { Implicit, Added };

// Units of the protein under parent, residue by residue until about `atoms` atoms (the last unit
// may stop short), bonded from the residue templates when asked, and then, when asked, given every
// hydrogen (about as many again; the count returned includes them).
inline Protein BuildTiledProtein(Object* parent, std::size_t atoms, bool bonded = true,
                                 Hydrogens hydrogens = Hydrogens::Implicit)
{
    using namespace protein;
    AttachDataModelDLL();
    const std::vector<PlacedResidue>& unit = Unit();
    Point3d low = Point3d::maximum;
    Point3d high = Point3d::minimum;
    for (const PlacedResidue& residue : unit) {
        for (const PlacedAtom& atom : residue.atoms) {
            low.Minimum(atom.at);
            high.Maximum(atom.at);
        }
    }
    const Point3d pitch = high - low + Point3d(Solvent, Solvent, Solvent);
    const std::size_t units = (atoms + UnitAtoms() - 1) / UnitAtoms();
    std::size_t side = 1;
    while (side * side * side < units)
        ++side;
    const ResiduePool& pool = ResiduePool::GetResiduePool();
    Protein protein;
    for (std::size_t u = 0; protein.atoms < atoms; ++u) {
        const Point3d offset(pitch.x * static_cast<double>(u % side), pitch.y * static_cast<double>(u / side % side),
                             pitch.z * static_cast<double>(u / (side * side)));
        auto* const molecule = new Molecule(parent);
        protein.molecules.push_back(molecule);
        Chain* const chain = pool.CreateChain(molecule, "ALA");
        chain->SetLabel("A");
        for (std::size_t r = 0; r < unit.size() && protein.atoms < atoms; ++r) {
            Residue* const residue = pool.CreateResidue(chain, unit[r].name);
            residue->SetID(static_cast<std::int32_t>(r + 1));
            for (const PlacedAtom& placed : unit[r].atoms) {
                auto* const atom = new Atom3d(residue, placed.symbol);
                atom->SetLabel(placed.label);
                atom->SetXYZ(placed.at + offset);
            }
            protein.atoms += unit[r].atoms.size();
        }
    }
    if (bonded)
        pool.ConstructResidueBonds(parent);
    if (hydrogens == Hydrogens::Added) {
        std::vector<Atom3d*> heavy;
        DescendentIterator walk(parent, Atom3d::classType, false);
        while (Object* const next = walk.GetNext())
            heavy.push_back(static_cast<Atom3d*>(next));
        for (Atom3d* const atom : heavy)
            protein.atoms += static_cast<std::size_t>(std::max(atom->UpdateHydrogens(Atom::AllHydrogens, true), 0));
    }
    return protein;
}

} // namespace Tavrel::bench
