#include <tavrel/symmetry_build/SymmetryOperationTable.h>

namespace Tavrel {

SymmetryOperationTable::SymmetryOperationTable()
{
    Reset();
}

std::int32_t SymmetryOperationTable::Add(const SymmetryImageKey::Array& keys, const Point3d& point,
                                         const Matrix3x3& matrix)
{
    const auto [entry, added] = m_lookup.try_emplace(keys, GetCount());
    if (added)
        m_entries.push_back({keys, point, matrix});
    return entry->second;
}

void SymmetryOperationTable::Reset()
{
    m_lookup.clear();
    m_entries.clear();
    Add({SymmetryImageKey::identity}, Point3d::origin, Matrix3x3());
}

bool SymmetryOperationTable::GetKeys(std::int32_t index, SymmetryImageKey::Array& keys) const
{
    if (!IsValidIndex(index)) {
        keys.clear();
        return false;
    }
    keys = m_entries[static_cast<std::size_t>(index)].keys;
    return true;
}

bool SymmetryOperationTable::GetMatrix(std::int32_t index, Matrix3x3& matrix) const
{
    if (!IsValidIndex(index)) {
        matrix.SetIdentity();
        return false;
    }
    matrix = m_entries[static_cast<std::size_t>(index)].matrix;
    return true;
}

Point3d SymmetryOperationTable::GetPoint(std::int32_t index) const
{
    return IsValidIndex(index) ? m_entries[static_cast<std::size_t>(index)].point : Point3d::origin;
}

} // namespace Tavrel
