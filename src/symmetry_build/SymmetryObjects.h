// SymmetryObjects: the asymmetric-unit objects of a build (residues, molecules ...) with their replicas.
#pragma once

#include <cstdint>

#include <tavrel/core/Arrays.h>
#include <tavrel/symmetry_build/ReplicaTable.h>

namespace Tavrel {

class SymmetryObjects : public ReplicaTable {
public:
    SymmetryObjects() = default;
    SymmetryObjects(const SymmetryObjects&) = default;
    SymmetryObjects& operator=(const SymmetryObjects&) = default;

    void Clear();
    // A unit without replicas; returns its index.
    std::int32_t AddObject(std::int32_t cosetDecomposition);
    // The unit's number in the coset lattice; -1 for an index outside the table.
    std::int32_t GetCosetDecomposition(std::int32_t unit) const;
    void Swap(SymmetryObjects& other) noexcept;

private:
    IntArray m_cosetDecompositions;
};

} // namespace Tavrel
