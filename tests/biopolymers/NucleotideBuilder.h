// NucleotideBuilder: nucleic-acid strands of flat nucleotides stacked along a helix, with their sugar, base and phosphate atoms.
#pragma once

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include <tavrel/biopolymers/NucleicAcid.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/core/Point3d.h>

namespace NucleotideBuilder {

// Residue k lies in the plane z = 3.4 k, turned 36 k degrees about the z axis: the phosphate 9 from
// the axis, the sugar ring (a regular pentagon) round a point 7 out, the six-membered base ring (a
// regular hexagon of side 1.4) round a point 3 out and, for purines, the five-membered ring on the
// hexagon's C4-C5 edge, away from the axis side.
struct Frame {
    Tavrel::Point3d origin, out, along;
    Tavrel::Point3d At(double x, double y) const { return origin + out * x + along * y; }
};

inline Frame FrameOf(int k)
{
    const double turn = 36.0 * k * std::numbers::pi / 180.0;
    return {Tavrel::Point3d(0.0, 0.0, 3.4 * k), Tavrel::Point3d(std::cos(turn), std::sin(turn), 0.0),
            Tavrel::Point3d(-std::sin(turn), std::cos(turn), 0.0)};
}

inline Tavrel::Atom3d* Add(Tavrel::Object* residue, const std::string& label, const char* symbol,
                           const Tavrel::Point3d& at)
{
    auto* const atom = new Tavrel::Atom3d(residue, symbol);
    atom->SetLabel(label);
    atom->SetXYZ(at);
    return atom;
}

// The atoms of residue k under it; prime is the sugar atoms' mark ("'", "*" or "P").
inline void AddAtoms(Tavrel::NucleicAcid* residue, int k, const std::string& prime = "'")
{
    const Frame f = FrameOf(k);
    Add(residue, "P", "P", f.At(9.0, 0.0));
    const char* const sugar[] = {"C1", "C2", "C3", "C4", "O4"};
    for (int i = 0; i < 5; ++i) {
        const double angle = (180.0 + 72.0 * i) * std::numbers::pi / 180.0;
        Add(residue, std::string(sugar[i]) + prime, sugar[i][0] == 'O' ? "O" : "C",
            f.At(7.0 + 1.2 * std::cos(angle), 1.2 * std::sin(angle)));
    }
    Add(residue, "C5" + prime, "C", f.At(8.0, 1.5));
    // Hexagon vertices at 60 i degrees round (3, 0): N1 points to the axis, C4 away from it.
    const char* const ring[] = {"N1", "C2", "N3", "C4", "C5", "C6"};
    const char* const elements[] = {"N", "C", "N", "C", "C", "C"};
    for (int i = 0; i < 6; ++i) {
        const double angle = (180.0 + 60.0 * i) * std::numbers::pi / 180.0;
        Add(residue, ring[i], elements[i], f.At(3.0 + 1.4 * std::cos(angle), 1.4 * std::sin(angle)));
    }
    if (residue->IsPurine()) {
        Add(residue, "N7", "N", f.At(3.0 + 2.1, 2.0));
        Add(residue, "C8", "C", f.At(3.0 + 2.9, 1.0));
        Add(residue, "N9", "N", f.At(3.0 + 2.5, -0.3));
    }
}

// A strand of one residue per letter of the one-letter codes ("ACGTU") under the chain.
inline std::vector<Tavrel::NucleicAcid*> AddResidues(Tavrel::NucleicAcidChain* chain, const std::string& codes,
                                                     const std::string& prime = "'")
{
    const Tavrel::ResiduePool& pool = Tavrel::ResiduePool::GetResiduePool();
    std::vector<Tavrel::NucleicAcid*> residues;
    for (const char code : codes) {
        const char name[] = {code, '\0'};
        Tavrel::NucleicAcid* const residue = pool.CreateNucleicAcid(chain, name);
        AddAtoms(residue, static_cast<int>(residues.size()), prime);
        residues.push_back(residue);
    }
    return residues;
}

} // namespace NucleotideBuilder
