// SymmetryOperationTable: numbered lists of image keys that belong together, such as a position's site symmetry.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/symmetry_build/SymmetryImageKey.h>

namespace Tavrel {

// Each entry keeps the point and the matrix it was created with (for a site symmetry: the position
// and the mean rotation of its operations). Entry 0 is always the identity key alone, at the origin,
// with the identity matrix.
class SymmetryOperationTable {
public:
    SymmetryOperationTable();

    // The entry of the key list; a new list becomes the next entry with the point and matrix given,
    // which are ignored for a list already present.
    std::int32_t Add(const SymmetryImageKey::Array& keys, const Point3d& point, const Matrix3x3& matrix);
    // Back to the default entry alone.
    void Reset();

    std::int32_t GetCount() const { return static_cast<std::int32_t>(m_entries.size()); }
    // False, with an empty list or the identity matrix, for an index outside the table.
    bool GetKeys(std::int32_t index, SymmetryImageKey::Array& keys) const;
    bool GetMatrix(std::int32_t index, Matrix3x3& matrix) const;
    // The origin for an index outside the table.
    Point3d GetPoint(std::int32_t index) const;

private:
    struct Entry {
        SymmetryImageKey::Array keys;
        Point3d point;
        Matrix3x3 matrix;
    };

    bool IsValidIndex(std::int32_t index) const { return index >= 0 && index < GetCount(); }

    // Key lists compare lexicographically in key order; a proper prefix sorts first.
    std::map<SymmetryImageKey::Array, std::int32_t> m_lookup;
    std::vector<Entry> m_entries;
};

} // namespace Tavrel
