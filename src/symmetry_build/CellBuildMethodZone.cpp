#include <tavrel/symmetry_build/CellBuildMethodZone.h>

#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/symmetry_build/AsymmetricUnit.h>
#include <tavrel/symmetry_build/BuildResults.h>
#include <tavrel/symmetry_build/ZoneCells.h>

namespace Tavrel {

std::unique_ptr<BuildResults> CellBuildMethodZone::Run(const AsymmetricUnit& unit)
{
    const CellBuildMethodZoneParameters& zone = GetParameters();
    const std::int32_t n = unit.GetAtomCount();
    if (!unit.IsValid() || n < 1 || zone.points.empty())
        return nullptr;
    const Matrix3x3& fractionalToCartesian = unit.GetFractionalToCartesian();
    const std::vector<Matrix4x4>& operations = unit.GetOperations();

    auto results = std::make_unique<BuildResults>(n);
    const OIDArray& oids = unit.GetAtomOIDs();
    const Point3d::Array& positions = unit.GetPositions();
    std::int64_t total = 0;
    std::vector<LatticeCell> cells;
    SymmetryImageKey::Array keys;
    for (std::int32_t i = 0; i < n; ++i) {
        keys.clear();
        for (const std::int32_t op : unit.GetDistinctOperations(i)) {
            Point3d p = positions[static_cast<std::size_t>(i)];
            operations[static_cast<std::size_t>(op)].Transform(p);
            std::array<double, 3> image{};
            for (int axis = 0; axis < 3; ++axis)
                image[static_cast<std::size_t>(axis)] = p.x * fractionalToCartesian(0, axis) +
                                                        p.y * fractionalToCartesian(1, axis) +
                                                        p.z * fractionalToCartesian(2, axis);
            cells.clear();
            if (!FindZoneCells(fractionalToCartesian, image, zone.points, zone.radius, MaxImageKeys - total, cells))
                return nullptr;
            total += static_cast<std::int64_t>(cells.size());
            for (const LatticeCell& t : cells)
                keys.emplace_back(op, t[0], t[1], t[2]);
        }
        results->SetAtom(i, static_cast<std::int32_t>(oids[static_cast<std::size_t>(i)]), keys);
    }
    results->SetComputeBonds(zone.computeBonds);
    results->SetConnectivity(zone.connectivity);
    return results;
}

} // namespace Tavrel
