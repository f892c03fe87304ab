// Centre and extents of a positioned subtree: one pass over the descendants, linear in their number.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <memory>

#include <tavrel/core/Point3d.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Geometric3d.h>

using namespace Tavrel;

namespace {

class BenchPoint : public Geometric3d {
public:
    explicit BenchPoint(Object* parent) : Geometric3d(parent) {}
};

// A container of count/100 groups holding 100 points each (the shape of chains of residues).
std::unique_ptr<BenchPoint> MakeTree(std::size_t count)
{
    auto top = std::make_unique<BenchPoint>(nullptr);
    BenchPoint* group = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 100 == 0)
            group = new BenchPoint(top.get());
        auto* point = new BenchPoint(group);
        const auto v = static_cast<double>(i % 1000);
        point->SetXYZ(Point3d(v, -v, 0.5 * v));
    }
    return top;
}

void CalculateCenterOfSubtree(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto top = MakeTree(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(top->CalculateCenter());
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(CalculateCenterOfSubtree)
    ->RangeMultiplier(10)
    ->Range(10'000, 1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void CalculateExtentsOfSubtree(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto top = MakeTree(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        Point3d first;
        Point3d second;
        top->CalculateExtents(first, second);
        benchmark::DoNotOptimize(first);
        benchmark::DoNotOptimize(second);
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(CalculateExtentsOfSubtree)
    ->RangeMultiplier(10)
    ->Range(10'000, 1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace
