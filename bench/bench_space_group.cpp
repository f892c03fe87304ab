// Space-group operators: generating every setting of the tables, and applying a group to many points.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include <tavrel/core/Point3d.h>
#include <tavrel/crystal/SpaceGroupTables.h>
#include <tavrel/crystal/SymTableEntry.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/DataModelLibrary.h>

using namespace Tavrel;

namespace {

// Seconds per item (shown with an SI prefix: 12.4n is 12.4 ns).
benchmark::Counter PerItem(double items)
{
    return benchmark::Counter(items, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Every one of the 482 settings, lookup, generation and text included.
void GenerateAllSettings(benchmark::State& state)
{
    const int rows = static_cast<int>(SpaceGroupSettingTable().size());
    std::size_t operators = 0;
    for (auto _ : state) {
        operators = 0;
        for (int row = 1; row < rows; ++row)
            operators += SymTableEntry::FromRow(row).GetOperators().size();
        benchmark::DoNotOptimize(operators);
    }
    state.counters["settings"] = rows - 1;
    state.counters["operators"] = static_cast<double>(operators);
    state.counters["time_per_setting"] = PerItem(static_cast<double>(state.iterations()) * (rows - 1));
}
BENCHMARK(GenerateAllSettings)->Unit(benchmark::kMillisecond);

// Every operator of P21/C (4) or FM-3M (192) applied to each of N fractional points.
void ApplyOperators(benchmark::State& state)
{
    AttachDataModelDLL();
    Symmetry symmetry;
    symmetry.LoadSpaceGroup(static_cast<int>(state.range(1)), "", 0);
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<Point3d> points(count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto v = static_cast<double>(i % 997) / 997.0;
        points[i] = Point3d(v, 1.0 - v, 0.5 * v);
    }
    std::vector<Point3d> images(count);
    const int ops = symmetry.GetNumSymmetryOps();
    for (auto _ : state) {
        for (int k = 0; k < ops; ++k) {
            const SymmetryOp& op = *symmetry.GetSymmetryOp(k);
            for (std::size_t i = 0; i < count; ++i)
                op.TransformPoint(points[i], images[i]);
            benchmark::ClobberMemory();
        }
    }
    state.counters["operators"] = ops;
    state.counters["time_per_image"] = PerItem(static_cast<double>(state.iterations()) * ops * static_cast<double>(count));
    state.SetItemsProcessed(state.iterations() * ops * state.range(0));
}
BENCHMARK(ApplyOperators)
    ->ArgsProduct({{10'000, 100'000, 1'000'000}, {14, 225}})
    ->Unit(benchmark::kMillisecond);

} // namespace
