#include <tavrel/symmetry_build/AsymmetricUnit.h>

#include <algorithm>

namespace Tavrel {

void AsymmetricUnit::SetCellData(const Matrix3x3& fractionalToCartesian, const Matrix3x3& cartesianToFractional,
                                 const std::vector<Matrix4x4>& operations, double tolerance)
{
    m_fractionalToCartesian = fractionalToCartesian;
    m_cartesianToFractional = cartesianToFractional;
    m_operations = operations;
    m_tolerance = tolerance;
}

void AsymmetricUnit::GetCellData(Matrix3x3& fractionalToCartesian, Matrix3x3& cartesianToFractional,
                                 std::vector<Matrix4x4>& operations, double& tolerance) const
{
    fractionalToCartesian = m_fractionalToCartesian;
    cartesianToFractional = m_cartesianToFractional;
    operations = m_operations;
    tolerance = m_tolerance;
}

bool AsymmetricUnit::IsValidAtomData(std::int32_t n, std::size_t operationCount, const OIDArray& oids,
                                     const Point3d::Array& positions, const std::vector<double>& radii,
                                     const IntArray& partitionNumbers, const IndexLists& partitions)
{
    if (operationCount == 0)
        return false;
    if (n < 1)
        return true;
    const auto count = static_cast<std::size_t>(n);
    if (oids.size() != count || positions.size() != count || radii.size() != count || partitionNumbers.size() != count)
        return false;
    const std::int32_t largest = *std::max_element(partitionNumbers.begin(), partitionNumbers.end());
    if (*std::min_element(partitionNumbers.begin(), partitionNumbers.end()) < 0 ||
        partitions.size() != static_cast<std::size_t>(largest) + 1)
        return false;
    return std::all_of(partitions.begin(), partitions.end(),
                       [operationCount](const IntArray& row) { return row.size() == operationCount; });
}

bool AsymmetricUnit::IsValid() const
{
    return IsValidAtomData(m_atomCount, m_operations.size(), m_oids, m_positions, m_radii, m_partitionNumbers,
                           m_partitions);
}

void AsymmetricUnit::SetAtoms(std::int32_t n, const OIDArray& oids, const Point3d::Array& positions,
                              const std::vector<double>& radii, const IntArray& partitionNumbers,
                              const IndexLists& partitions)
{
    m_atomCount = 0;
    m_oids.clear();
    m_positions.clear();
    m_radii.clear();
    m_partitionNumbers.clear();
    m_partitions.clear();
    if (n < 1 || !IsValidAtomData(n, m_operations.size(), oids, positions, radii, partitionNumbers, partitions))
        return;
    m_oids = oids;
    m_positions = positions;
    m_radii = radii;
    m_partitionNumbers = partitionNumbers;
    m_partitions = partitions;
    m_atomCount = n;
}

void AsymmetricUnit::GetPartitions(IntArray& partitionNumbers, IndexLists& partitions) const
{
    partitionNumbers = m_partitionNumbers;
    partitions = m_partitions;
}

IntArray AsymmetricUnit::GetDistinctOperations(std::int32_t i) const
{
    IntArray distinct;
    if (i < 0 || i >= m_atomCount)
        return distinct;
    const IntArray& classes = m_partitions[static_cast<std::size_t>(m_partitionNumbers[static_cast<std::size_t>(i)])];
    for (std::size_t j = 0; j < m_operations.size() && j < classes.size(); ++j)
        if (classes[j] == static_cast<std::int32_t>(j))
            distinct.push_back(static_cast<std::int32_t>(j));
    return distinct;
}

void AsymmetricUnit::SetComponents(IntArray entryAtoms, SymmetryImageKey::Array entryKeys, IndexLists components)
{
    m_entryAtoms = std::move(entryAtoms);
    m_entryKeys = std::move(entryKeys);
    m_components = std::move(components);
}

void AsymmetricUnit::GetComponents(IntArray& entryAtoms, SymmetryImageKey::Array& entryKeys,
                                   IndexLists& components) const
{
    entryAtoms = m_entryAtoms;
    entryKeys = m_entryKeys;
    components = m_components;
}

} // namespace Tavrel
