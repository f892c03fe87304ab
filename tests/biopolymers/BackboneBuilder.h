// BackboneBuilder: protein backbones of ideal geometry from torsion angles, and chains of residues holding them.
#pragma once

#include <cmath>
#include <numbers>
#include <vector>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/core/Point3d.h>

namespace BackboneBuilder {

// Torsions of one residue in degrees: phi C(i-1)-N-CA-C, psi N-CA-C-N(i+1), omega CA-C-N(i+1)-CA(i+1).
struct Torsions {
    double phi;
    double psi;
    double omega = 180.0;
};
inline constexpr Torsions AlphaHelix{-57.0, -47.0};
inline constexpr Torsions Extended{180.0, 180.0};

struct BackboneAtoms {
    Tavrel::Point3d n, ca, c, o, h;
};

// Double-precision vectors, so long chains keep their geometry.
struct Vec {
    double x = 0.0, y = 0.0, z = 0.0;
    Vec operator+(const Vec& v) const { return {x + v.x, y + v.y, z + v.z}; }
    Vec operator-(const Vec& v) const { return {x - v.x, y - v.y, z - v.z}; }
    Vec operator*(double s) const { return {x * s, y * s, z * s}; }
    double Dot(const Vec& v) const { return x * v.x + y * v.y + z * v.z; }
    Vec Cross(const Vec& v) const { return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x}; }
    Vec Unit() const { return *this * (1.0 / std::sqrt(Dot(*this))); }
    Tavrel::Point3d Point() const { return Tavrel::Point3d(x, y, z); }
};

// The atom d with |cd| = length, angle b-c-d and torsion a-b-c-d in degrees.
inline Vec Place(const Vec& a, const Vec& b, const Vec& c, double length, double angle, double torsion)
{
    const double theta = angle * std::numbers::pi / 180.0;
    const double tau = torsion * std::numbers::pi / 180.0;
    const Vec bc = (c - b).Unit();
    const Vec normal = (b - a).Cross(bc).Unit();
    const Vec inPlane = normal.Cross(bc);
    return c + bc * (-length * std::cos(theta)) + inPlane * (length * std::sin(theta) * std::cos(tau)) +
           normal * (length * std::sin(theta) * std::sin(tau));
}

// N-CA 1.458, CA-C 1.525, C-N 1.329, C=O 1.231; each amide hydrogen 1.0 from its nitrogen on the
// bisector opposite the previous C and the CA (the first residue's previous C is placed by its phi).
inline std::vector<BackboneAtoms> Build(const std::vector<Torsions>& torsions)
{
    const std::size_t n = torsions.size();
    std::vector<Vec> N(n), CA(n), C(n), O(n);
    N[0] = {0.0, 0.0, 0.0};
    CA[0] = {1.458, 0.0, 0.0};
    const double angle = 111.2 * std::numbers::pi / 180.0;
    C[0] = CA[0] + Vec{-1.525 * std::cos(angle), 1.525 * std::sin(angle), 0.0};
    for (std::size_t i = 0; i + 1 < n; ++i) {
        N[i + 1] = Place(N[i], CA[i], C[i], 1.329, 116.2, torsions[i].psi);
        CA[i + 1] = Place(CA[i], C[i], N[i + 1], 1.458, 121.7, torsions[i].omega);
        C[i + 1] = Place(C[i], N[i + 1], CA[i + 1], 1.525, 111.2, torsions[i + 1].phi);
    }
    std::vector<BackboneAtoms> atoms(n);
    for (std::size_t i = 0; i < n; ++i) {
        O[i] = i + 1 < n ? Place(N[i + 1], CA[i], C[i], 1.231, 120.5, 180.0)
                         : Place(N[i], CA[i], C[i], 1.231, 120.5, torsions[i].psi + 180.0);
        const Vec previous = i > 0 ? C[i - 1] : Place(C[0], CA[0], N[0], 1.329, 121.7, torsions[0].phi);
        const Vec h = N[i] - ((previous - N[i]).Unit() + (CA[i] - N[i]).Unit()).Unit();
        atoms[i] = {N[i].Point(), CA[i].Point(), C[i].Point(), O[i].Point(), h.Point()};
    }
    return atoms;
}

inline std::vector<BackboneAtoms> Build(Torsions torsions, std::size_t n)
{
    return Build(std::vector<Torsions>(n, torsions));
}

// An antiparallel partner of a planar strand (in the z = 0 plane): the strand turned half round the z
// axis so that the NH and CO of residue `pair` and of its image bond each other, 1.95 from H to O.
inline std::vector<BackboneAtoms> AntiparallelPartner(const std::vector<BackboneAtoms>& strand, std::size_t pair)
{
    const BackboneAtoms& at = strand[pair];
    Tavrel::Point3d along = at.h - at.n;
    along.Normalize();
    const Tavrel::Point3d centre = (at.o + at.h + along * 1.95) * 0.5;
    const auto turn = [&centre](const Tavrel::Point3d& p) {
        return Tavrel::Point3d(2.0 * centre.x - p.x, 2.0 * centre.y - p.y, p.z);
    };
    std::vector<BackboneAtoms> partner;
    for (const BackboneAtoms& residue : strand)
        partner.push_back({turn(residue.n), turn(residue.ca), turn(residue.c), turn(residue.o), turn(residue.h)});
    return partner;
}

// One residue of the name per entry under the chain, with its atoms labelled N, CA, C, O and (when
// asked) H.
inline std::vector<Tavrel::AminoAcid*> AddResidues(Tavrel::AminoAcidChain* chain,
                                                   const std::vector<BackboneAtoms>& atoms,
                                                   const char* name = "GLY", bool hydrogens = true)
{
    const Tavrel::ResiduePool& pool = Tavrel::ResiduePool::GetResiduePool();
    std::vector<Tavrel::AminoAcid*> residues;
    for (const BackboneAtoms& backbone : atoms) {
        auto* const residue = static_cast<Tavrel::AminoAcid*>(pool.CreateResidue(chain, name));
        const auto add = [residue](const char* label, const char* symbol, const Tavrel::Point3d& at) {
            auto* const atom = new Tavrel::Atom3d(residue, symbol);
            atom->SetLabel(label);
            atom->SetXYZ(at);
        };
        add("N", "N", backbone.n);
        add("CA", "C", backbone.ca);
        add("C", "C", backbone.c);
        add("O", "O", backbone.o);
        if (hydrogens)
            add("H", "H", backbone.h);
        residues.push_back(residue);
    }
    return residues;
}

} // namespace BackboneBuilder
