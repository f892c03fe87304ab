// SymmetryAtoms: the asymmetric-unit atoms of a build with their replica atoms, image keys and OIDs.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/core/Point3d.h>
#include <tavrel/symmetry_build/ReplicaTable.h>

namespace Tavrel {

class SymmetryAtoms : public ReplicaTable {
public:
    struct Unit {
        Point3d position;             // fractional
        double bondingRadius = 0.0;
        std::int32_t cosetDecomposition = 0;  // number in the coset lattice
        std::int32_t site = 0;        // entry of the symmetry operation table
    };

    SymmetryAtoms() = default;
    SymmetryAtoms(const SymmetryAtoms&) = default;
    SymmetryAtoms& operator=(const SymmetryAtoms&) = default;

    void Clear();
    // A unit without replicas; returns its index.
    std::int32_t AddAtom(const Point3d& position, double bondingRadius, std::int32_t cosetDecomposition,
                         std::int32_t site);
    // Null for an index outside the table.
    const Unit* GetUnit(std::int32_t unit) const;
    void Swap(SymmetryAtoms& other) noexcept;

private:
    std::vector<Unit> m_units;
};

} // namespace Tavrel
