// AsymmetricUnit: a snapshot of a cell's asymmetric-unit atoms that the build methods choose images from.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/symmetry_build/IndexLists.h>
#include <tavrel/symmetry_build/SymmetryImageKey.h>

namespace Tavrel {

// Atoms are named by OID; the record holds no pointer into the document. The atom data is valid when
// there is at least one operation and either no atom or, for n atoms, n OIDs, positions, radii and
// partition numbers, every number between 0 and m - 1 for m partition rows of one entry per operation.
class AsymmetricUnit {
public:
    void SetCellData(const Matrix3x3& fractionalToCartesian, const Matrix3x3& cartesianToFractional,
                     const std::vector<Matrix4x4>& operations, double tolerance);
    void GetCellData(Matrix3x3& fractionalToCartesian, Matrix3x3& cartesianToFractional,
                     std::vector<Matrix4x4>& operations, double& tolerance) const;
    const Matrix3x3& GetFractionalToCartesian() const { return m_fractionalToCartesian; }
    const std::vector<Matrix4x4>& GetOperations() const { return m_operations; }

    // Empties the atom data, then takes the given data when it is valid.
    void SetAtoms(std::int32_t n, const OIDArray& oids, const Point3d::Array& positions,
                  const std::vector<double>& radii, const IntArray& partitionNumbers, const IndexLists& partitions);
    bool IsValid() const;

    std::int32_t GetAtomCount() const { return m_atomCount; }
    const OIDArray& GetAtomOIDs() const { return m_oids; }
    const Point3d::Array& GetPositions() const { return m_positions; }
    const std::vector<double>& GetBondingRadii() const { return m_radii; }
    void GetPartitions(IntArray& partitionNumbers, IndexLists& partitions) const;
    // The operations of atom i that represent their class (those mapping it onto one position), in
    // increasing order; empty unless 0 <= i < n.
    IntArray GetDistinctOperations(std::int32_t i) const;

    // The component graph of a build method that asks for it: per entry its atom and image key, and the
    // components as lists of entries.
    void SetComponentsRequested(bool requested) { m_componentsRequested = requested; }
    bool GetComponentsRequested() const { return m_componentsRequested; }
    void SetComponents(IntArray entryAtoms, SymmetryImageKey::Array entryKeys, IndexLists components);
    void GetComponents(IntArray& entryAtoms, SymmetryImageKey::Array& entryKeys, IndexLists& components) const;

private:
    static bool IsValidAtomData(std::int32_t n, std::size_t operationCount, const OIDArray& oids,
                                const Point3d::Array& positions, const std::vector<double>& radii,
                                const IntArray& partitionNumbers, const IndexLists& partitions);

    Matrix3x3 m_fractionalToCartesian;
    Matrix3x3 m_cartesianToFractional;
    std::vector<Matrix4x4> m_operations;
    double m_tolerance = 0.001;
    std::int32_t m_atomCount = 0;
    OIDArray m_oids;
    Point3d::Array m_positions;
    std::vector<double> m_radii;
    IntArray m_partitionNumbers;
    IndexLists m_partitions;
    bool m_componentsRequested = false;
    IntArray m_entryAtoms;
    SymmetryImageKey::Array m_entryKeys;
    IndexLists m_components;
};

} // namespace Tavrel
