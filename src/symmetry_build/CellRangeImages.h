// CellRangeImages: the image keys of each asymmetric-unit atom's distinct operation images in every cell of a lattice range.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include <tavrel/core/Point3d.h>
#include <tavrel/symmetry_build/SymmetryImageKey.h>

namespace Tavrel {

class AsymmetricUnit;
class BuildResults;
class CellBuildMethodCommonParameters;

// The number of cells of the range (max exclusive on each axis), 0 when an axis is empty; counted in
// 64 bits and capped just above CellBuildMethod::MaxImageKeys.
std::int64_t GetCellRangeSize(const CellBuildMethodCommonParameters& range);

using LatticeShift = std::array<std::int64_t, 3>;

// The whole lattice translation from p wrapped into the unit cell back to p; false when it is not
// finite or lies far beyond the 32-bit range.
bool GetWholeLatticeShift(const Point3d& p, LatticeShift& shift);

// Appends {op, t + offset} for each cell t of the range (a outermost, then b, then c); false, with
// nothing appended, when a translation would leave the 32-bit range.
bool AppendCellRangeKeys(const CellBuildMethodCommonParameters& range, std::int32_t op, const LatticeShift& offset,
                         SymmetryImageKey::Array& keys);

// For each atom, each operation that is the representative of its class for that atom (in increasing
// order) and each cell t of the range (a outermost, then b, then c): the key {op, t - s}, where s is
// the lattice shift of the image from the unit cell when wrapIntoCell, else 0. Null for an invalid
// unit, no atom, an empty range, more than CellBuildMethod::MaxImageKeys keys in all, or a key
// beyond the 32-bit range.
std::unique_ptr<BuildResults> MakeCellRangeImages(const AsymmetricUnit& unit,
                                                  const CellBuildMethodCommonParameters& range, bool wrapIntoCell);

} // namespace Tavrel
