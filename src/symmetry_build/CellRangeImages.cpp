#include <tavrel/symmetry_build/CellRangeImages.h>

#include <cmath>
#include <limits>
#include <vector>

#include <tavrel/core/Matrix4x4.h>
#include <tavrel/crystal/CellBuildMethodCommonParameters.h>
#include <tavrel/symmetry_build/AsymmetricUnit.h>
#include <tavrel/symmetry_build/BuildResults.h>
#include <tavrel/symmetry_build/CellBuildMethod.h>
#include <tavrel/symmetry_build/FractionalCoordinates.h>

namespace Tavrel {

namespace {

constexpr std::int64_t Cap = CellBuildMethod::MaxImageKeys + 1;

bool FitsInt32(std::int64_t value)
{
    return value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max();
}

} // namespace

bool GetWholeLatticeShift(const Point3d& p, LatticeShift& shift)
{
    const Point3d whole = GetLatticeShift(p);
    for (const float value : {whole.x, whole.y, whole.z})
        if (!std::isfinite(value) || std::fabs(value) > 4.0e9f)
            return false;
    shift = {static_cast<std::int64_t>(whole.x), static_cast<std::int64_t>(whole.y), static_cast<std::int64_t>(whole.z)};
    return true;
}

bool AppendCellRangeKeys(const CellBuildMethodCommonParameters& range, std::int32_t op, const LatticeShift& offset,
                         SymmetryImageKey::Array& keys)
{
    if (!FitsInt32(range.minA + offset[0]) || !FitsInt32(range.maxA - 1 + offset[0]) ||
        !FitsInt32(range.minB + offset[1]) || !FitsInt32(range.maxB - 1 + offset[1]) ||
        !FitsInt32(range.minC + offset[2]) || !FitsInt32(range.maxC - 1 + offset[2]))
        return false;
    for (std::int64_t ta = range.minA; ta < range.maxA; ++ta)
        for (std::int64_t tb = range.minB; tb < range.maxB; ++tb)
            for (std::int64_t tc = range.minC; tc < range.maxC; ++tc)
                keys.emplace_back(op, static_cast<std::int32_t>(ta + offset[0]), static_cast<std::int32_t>(tb + offset[1]),
                                  static_cast<std::int32_t>(tc + offset[2]));
    return true;
}

std::int64_t GetCellRangeSize(const CellBuildMethodCommonParameters& range)
{
    const std::int64_t sizes[] = {std::int64_t{range.maxA} - range.minA, std::int64_t{range.maxB} - range.minB,
                                  std::int64_t{range.maxC} - range.minC};
    std::int64_t product = 1;
    for (const std::int64_t size : sizes) {
        if (size < 1)
            return 0;
        product = product > Cap / size ? Cap : product * size;
    }
    return product;
}

std::unique_ptr<BuildResults> MakeCellRangeImages(const AsymmetricUnit& unit,
                                                  const CellBuildMethodCommonParameters& range, bool wrapIntoCell)
{
    const std::int32_t n = unit.GetAtomCount();
    const std::int64_t cells = GetCellRangeSize(range);
    if (!unit.IsValid() || n < 1 || cells == 0)
        return nullptr;

    const std::vector<Matrix4x4>& operations = unit.GetOperations();
    std::vector<IntArray> distinct(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i)
        distinct[static_cast<std::size_t>(i)] = unit.GetDistinctOperations(i);

    std::int64_t total = 0;
    for (const IntArray& ops : distinct) {
        total += static_cast<std::int64_t>(ops.size()) * cells;
        if (total > CellBuildMethod::MaxImageKeys)
            return nullptr;
    }

    auto results = std::make_unique<BuildResults>(n);
    const OIDArray& oids = unit.GetAtomOIDs();
    const Point3d::Array& positions = unit.GetPositions();
    SymmetryImageKey::Array keys;
    for (std::int32_t i = 0; i < n; ++i) {
        keys.clear();
        keys.reserve(static_cast<std::size_t>(distinct[static_cast<std::size_t>(i)].size() * cells));
        for (const std::int32_t op : distinct[static_cast<std::size_t>(i)]) {
            Point3d image = positions[static_cast<std::size_t>(i)];
            operations[static_cast<std::size_t>(op)].Transform(image);
            LatticeShift shift{0, 0, 0};
            if (wrapIntoCell && !GetWholeLatticeShift(image, shift))
                return nullptr;
            if (!AppendCellRangeKeys(range, op, {-shift[0], -shift[1], -shift[2]}, keys))
                return nullptr;
        }
        results->SetAtom(i, static_cast<std::int32_t>(oids[static_cast<std::size_t>(i)]), keys);
    }
    results->SetComputeBonds(range.computeBonds);
    return results;
}

} // namespace Tavrel
