// Crystals: textbook inorganic and molecular crystals as cells holding their asymmetric unit, for tests of crystal builds.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/crystal/Cell3d.h>

namespace Tavrel::test {

struct CrystalSite {
    const char* element;
    double x, y, z;  // fractional
    bool ownMolecule = false;
};

struct Crystal {
    const char* name;
    int number;
    const char* qualifier;
    int choice;
    double lengths[3];  // angstroms
    double angles[3];   // degrees
    std::vector<CrystalSite> sites;
    std::vector<std::pair<int, int>> bonds;  // drawn bonds, by site
    int unitCellSites;                       // atoms in one unit cell
};

inline const std::vector<Crystal>& Crystals()
{
    static const std::vector<Crystal> crystals = {
        {"NaCl", 225, "", 0, {5.64, 5.64, 5.64}, {90, 90, 90}, {{"Na", 0, 0, 0}, {"Cl", 0.5, 0.5, 0.5}}, {}, 8},
        {"CaF2", 225, "", 0, {5.463, 5.463, 5.463}, {90, 90, 90}, {{"Ca", 0, 0, 0}, {"F", 0.25, 0.25, 0.25}}, {}, 12},
        {"NiAs", 194, "", 0, {3.619, 3.619, 5.034}, {90, 90, 120},
         {{"Ni", 0, 0, 0}, {"As", 1.0 / 3, 2.0 / 3, 0.25}, {"Ar", 0.1, 0.23, 0.07, true}}, {}, 28},
        {"ilmenite", 148, "Hexagonal", 0, {5.0884, 5.0884, 14.0855}, {90, 90, 120},
         {{"Fe", 0, 0, 0.35537}, {"Ti", 0, 0, 0.14640}, {"O", 0.3176, 0.0201, 0.24593}}, {}, 30},
        {"garnet", 230, "", 0, {11.846, 11.846, 11.846}, {90, 90, 90},
         {{"Ca", 0.125, 0, 0.25}, {"Al", 0, 0, 0}, {"Si", 0.375, 0, 0.25}, {"O", 0.0381, 0.0449, 0.6514}}, {}, 160},
        {"diopside", 15, "", 0, {9.746, 8.899, 5.251}, {90, 105.63, 90},
         {{"Ca", 0, 0.3016, 0.25},
          {"Mg", 0, 0.9082, 0.25},
          {"Si", 0.2862, 0.0933, 0.2293},
          {"O", 0.1156, 0.0873, 0.1422},
          {"O", 0.3611, 0.25, 0.3180},
          {"O", 0.3505, 0.0176, 0.9953}},
         {},
         40},
        // On an inversion centre: half a molecule, its drawn bonds a chain.
        {"naphthalene", 14, "B-Unique", 3, {8.235, 6.003, 8.658}, {90, 122.92, 90},
         {{"C", 0.0858, 0.0198, 0.3271},
          {"C", 0.1134, 0.1623, 0.2233},
          {"C", 0.0478, 0.1036, 0.0367},
          {"C", 0.0750, 0.2513, -0.0772},
          {"C", -0.0117, 0.1868, -0.2550}},
         {{0, 1}, {1, 2}, {2, 3}, {3, 4}},
         20},
    };
    return crystals;
}

// The cell (below parent, which may be null) holding one molecule of the sites, the site first in
// turn first, and each site marked ownMolecule in a molecule of its own.
inline Cell3d* MakeCrystalCell(const Crystal& crystal, std::size_t first, Object* parent)
{
    auto* const cell = new Cell3d(parent, crystal.angles, crystal.lengths, crystal.number, crystal.qualifier,
                                  crystal.choice);
    auto* const molecule = new Molecule(cell);
    const std::size_t n = crystal.sites.size();
    std::vector<Atom3d*> atoms(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = (first + k) % n;
        const CrystalSite& site = crystal.sites[i];
        auto* const atom = new Atom3d(site.ownMolecule ? new Molecule(cell) : molecule, site.element);
        atom->SetXYZ(Point3d(site.x, site.y, site.z) * cell->GetFracToCart());
        atoms[i] = atom;
    }
    for (const auto& [a, b] : crystal.bonds)
        atoms[static_cast<std::size_t>(a)]->MakeBond(atoms[static_cast<std::size_t>(b)], Bond::Single);
    return cell;
}

inline const Crystal& FindCrystal(std::string_view name)
{
    for (const Crystal& crystal : Crystals())
        if (name == crystal.name)
            return crystal;
    return Crystals().front();
}

} // namespace Tavrel::test
