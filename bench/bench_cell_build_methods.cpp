// Named crystal builds through Cell3d::GetCellBuilder: OneCell and Default (connected fragments) of
// molecules of 20 bonded carbons at random general positions in a Pm-3m cell (48 operators), from
// about 5x10^4 to 10^6 images. Each build updates the map, takes the asymmetric unit, chooses the
// keys (Run) and shows every image. Reports the seconds per build, images per second and nanoseconds
// per image, which should stay flat across sizes.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "BenchSupport.h"
#include <tavrel/crystal/CellBuilder.h>
#include <tavrel/crystal/CellSymmetryMap.h>

using namespace Tavrel;

namespace {

void Build(benchmark::State& state, const char* method)
{
    AttachDataModelDLL();
    const int atoms = static_cast<int>(state.range(0));
    constexpr int operators = 48;
    double seconds = 0.0;
    double images = 0.0;
    double deletion = 0.0;  // deleting the built cell, untimed
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<Cell3d> cell = bench::CubicCellOfChains(atoms, operators, 20);
        const std::unique_ptr<CellBuilder> builder = cell->GetCellBuilder(method);
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        const bool built = builder->Build();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        if (!built) {
            state.SkipWithError(builder->GetErrorMessage().c_str());
            break;
        }
        OIDArray oids;
        cell->GetSymmetryMap()->GetAtomOIDs(oids);
        images += static_cast<double>(oids.size());
        const auto deleting = std::chrono::steady_clock::now();
        cell.reset();
        deletion += std::chrono::duration<double>(std::chrono::steady_clock::now() - deleting).count();
        state.ResumeTiming();
    }
    state.counters["images/s"] = benchmark::Counter(images / seconds);
    state.counters["s"] = benchmark::Counter(seconds / static_cast<double>(state.iterations()));
    state.counters["ns/image"] = benchmark::Counter(seconds * 1e9 / images);
    state.counters["delete ns/image"] = benchmark::Counter(deletion * 1e9 / images);
}

void OneCellBuild(benchmark::State& state)
{
    Build(state, "OneCell");
}

void DefaultBuild(benchmark::State& state)
{
    Build(state, "Default");
}

} // namespace

BENCHMARK(OneCellBuild)->Arg(1000)->Arg(10000)->Arg(21000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(DefaultBuild)->Arg(1000)->Arg(10000)->Arg(21000)->Unit(benchmark::kMillisecond)->Iterations(1);
