#include <tavrel/symmetry_build/CellBuildMethodDefault.h>

#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/symmetry_build/AsymmetricUnit.h>
#include <tavrel/symmetry_build/BuildResults.h>
#include <tavrel/symmetry_build/CellRangeImages.h>

namespace Tavrel {

namespace {

constexpr const char* NoConnectedComponents = "Connected components are not available";
constexpr const char* NoSymmetryComponents = "Symmetry components are not available";

// The fractional position of the atom's image under the key, in double.
std::array<double, 3> ImageOf(const std::vector<Matrix4x4>& operations, const Point3d& position,
                              const SymmetryImageKey& key)
{
    Point3d p = position;
    operations[static_cast<std::size_t>(key.op)].Transform(p);
    return {double(p.x) + key.a, double(p.y) + key.b, double(p.z) + key.c};
}

} // namespace

std::unique_ptr<AsymmetricUnit> CellBuildMethodDefault::CreateAsymmetricUnit() const
{
    auto unit = std::make_unique<AsymmetricUnit>();
    unit->SetComponentsRequested(true);
    return unit;
}

std::unique_ptr<BuildResults> CellBuildMethodDefault::Run(const AsymmetricUnit& unit)
{
    if (!unit.IsValid())
        return nullptr;
    const std::int64_t cells = GetCellRangeSize(GetParameters());
    if (cells == 0) {
        SetErrorMessage("Could not obtain build results");
        return nullptr;
    }
    std::unique_ptr<BuildResults> results = GetParameters().connectedComponents
                                                ? RunConnectedComponents(unit, cells)
                                                : RunSymmetryComponents(unit, cells);
    if (results)
        results->SetComputeBonds(GetParameters().computeBonds);
    return results;
}

std::unique_ptr<BuildResults> CellBuildMethodDefault::RunConnectedComponents(const AsymmetricUnit& unit,
                                                                            std::int64_t cells)
{
    const std::int32_t n = unit.GetAtomCount();
    IntArray entryAtoms;
    SymmetryImageKey::Array entryKeys;
    IndexLists components;
    unit.GetComponents(entryAtoms, entryKeys, components);
    const std::size_t entries = entryAtoms.size();
    bool available = entries > 0 && entryKeys.size() == entries;
    for (std::size_t e = 0; available && e < entries; ++e)
        available = entryAtoms[e] >= 0 && entryAtoms[e] < n;
    if (!available) {
        SetErrorMessage(NoConnectedComponents);
        return nullptr;
    }
    if (static_cast<std::int64_t>(entries) > CellBuildMethod::MaxImageKeys / cells)
        return nullptr;

    const std::vector<Matrix4x4>& operations = unit.GetOperations();
    const Point3d::Array& positions = unit.GetPositions();
    std::vector<bool> placed(entries, false);
    for (const IntArray& component : components) {
        bool holdsIdentity = false;
        for (const std::int32_t e : component) {
            if (e < 0 || static_cast<std::size_t>(e) >= entries) {
                SetErrorMessage(NoConnectedComponents);
                return nullptr;
            }
            placed[static_cast<std::size_t>(e)] = true;
            holdsIdentity = holdsIdentity || entryKeys[static_cast<std::size_t>(e)].op == 0;
        }
        if (holdsIdentity || component.empty())
            continue;
        std::array<double, 3> sum{0.0, 0.0, 0.0};
        for (const std::int32_t e : component) {
            const std::size_t entry = static_cast<std::size_t>(e);
            const std::array<double, 3> image =
                ImageOf(operations, positions[static_cast<std::size_t>(entryAtoms[entry])], entryKeys[entry]);
            for (std::size_t axis = 0; axis < 3; ++axis)
                sum[axis] += image[axis];
        }
        const double count = static_cast<double>(component.size());
        LatticeShift shift{};
        if (!GetWholeLatticeShift(Point3d(sum[0] / count, sum[1] / count, sum[2] / count), shift))
            return nullptr;
        for (const std::int32_t e : component) {
            SymmetryImageKey& key = entryKeys[static_cast<std::size_t>(e)];
            const LatticeShift moved{key.a - shift[0], key.b - shift[1], key.c - shift[2]};
            for (std::size_t axis = 0; axis < 3; ++axis)
                if (moved[axis] < INT32_MIN || moved[axis] > INT32_MAX)
                    return nullptr;
            key = SymmetryImageKey(key.op, static_cast<std::int32_t>(moved[0]), static_cast<std::int32_t>(moved[1]),
                                   static_cast<std::int32_t>(moved[2]));
        }
    }
    for (const bool inComponent : placed)
        if (!inComponent) {
            SetErrorMessage(NoConnectedComponents);
            return nullptr;
        }

    std::vector<SymmetryImageKey::Array> keys(static_cast<std::size_t>(n));
    for (std::size_t e = 0; e < entries; ++e) {
        const SymmetryImageKey& key = entryKeys[e];
        if (!AppendCellRangeKeys(GetParameters(), key.op, {key.a, key.b, key.c},
                                 keys[static_cast<std::size_t>(entryAtoms[e])]))
            return nullptr;
    }
    auto results = std::make_unique<BuildResults>(n);
    const OIDArray& oids = unit.GetAtomOIDs();
    for (std::int32_t i = 0; i < n; ++i)
        results->SetAtom(i, static_cast<std::int32_t>(oids[static_cast<std::size_t>(i)]),
                         keys[static_cast<std::size_t>(i)]);
    return results;
}

std::unique_ptr<BuildResults> CellBuildMethodDefault::RunSymmetryComponents(const AsymmetricUnit& unit,
                                                                           std::int64_t cells)
{
    const std::int32_t n = unit.GetAtomCount();
    const std::vector<Matrix4x4>& operations = unit.GetOperations();
    if (n < 1 || operations.empty()) {
        SetErrorMessage(NoSymmetryComponents);
        return nullptr;
    }
    const Point3d::Array& positions = unit.GetPositions();
    std::vector<LatticeShift> shifts(operations.size());
    for (std::size_t j = 0; j < operations.size(); ++j) {
        std::array<double, 3> sum{0.0, 0.0, 0.0};
        for (const Point3d& position : positions) {
            const std::array<double, 3> image =
                ImageOf(operations, position, SymmetryImageKey(static_cast<std::int32_t>(j)));
            for (std::size_t axis = 0; axis < 3; ++axis)
                sum[axis] += image[axis];
        }
        LatticeShift shift{};
        if (!GetWholeLatticeShift(Point3d(sum[0] / n, sum[1] / n, sum[2] / n), shift))
            return nullptr;
        shifts[j] = {-shift[0], -shift[1], -shift[2]};
    }

    std::vector<IntArray> distinct(static_cast<std::size_t>(n));
    std::int64_t total = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        distinct[static_cast<std::size_t>(i)] = unit.GetDistinctOperations(i);
        total += static_cast<std::int64_t>(distinct[static_cast<std::size_t>(i)].size()) * cells;
        if (total > CellBuildMethod::MaxImageKeys)
            return nullptr;
    }
    auto results = std::make_unique<BuildResults>(n);
    const OIDArray& oids = unit.GetAtomOIDs();
    SymmetryImageKey::Array keys;
    for (std::int32_t i = 0; i < n; ++i) {
        keys.clear();
        for (const std::int32_t j : distinct[static_cast<std::size_t>(i)])
            if (!AppendCellRangeKeys(GetParameters(), j, shifts[static_cast<std::size_t>(j)], keys))
                return nullptr;
        results->SetAtom(i, static_cast<std::int32_t>(oids[static_cast<std::size_t>(i)]), keys);
    }
    return results;
}

} // namespace Tavrel
