// The build of a crystal cell: asymmetric atoms at random general positions in a cell of space group P21/c
// (4 operators), Pm-3m (48) or Fm-3m (192), sized for about 10 cubic units per atom of the full cell.
// Reports replica atoms per second end to end (the whole Build), heap bytes per replica atom, and the
// time per replica and per image (atom times operator), which should stay flat across sizes and operator
// counts. Expansion alone (no packing) and the default build (molecules packed into the cell) are
// measured separately.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "BenchSupport.h"
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/DataModelLibrary.h>

using namespace Tavrel;

namespace {


std::unique_ptr<Cell3d> MakeCell(int atoms, int operators)
{
    auto cell = bench::CubicCell(atoms, operators);
    UniformRandomSequence random(0.0, 1.0);
    random.Seed(1234);
    const Matrix3x3 fracToCart = cell->GetFracToCart();
    for (int i = 0; i < atoms; ++i) {
        auto* const atom = new Atom3d(cell.get(), "C");
        atom->SetLabel(std::string("C").append(std::to_string(i % 1000)));
        const Point3d fractional(random.Next(), random.Next(), random.Next());
        atom->SetXYZ(fractional * fracToCart);
    }
    return cell;
}

void CellBuild(benchmark::State& state)
{
    AttachDataModelDLL();
    const int atoms = static_cast<int>(state.range(0));
    const int operators = static_cast<int>(state.range(1));
    const auto hint = static_cast<std::int32_t>(state.range(2));
    const Cell3d::BuildInfo info(hint, 0.05, false, LatticeOffset(1, 1, 1));
    double seconds = 0.0;
    double replicas = 0.0;
    double bytes = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<Cell3d> cell = MakeCell(atoms, operators);
        const bench::HeapMark before = bench::MarkHeap();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        cell->Build(info);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        const auto made = static_cast<double>(bench::CountReplicas(*cell));
        replicas += made;
        bytes += bench::HeapSince(before);
        cell.reset();
        state.ResumeTiming();
    }
    state.counters["replicas"] = replicas / static_cast<double>(state.iterations());
    state.counters["replicas_per_s"] = replicas / seconds;
    state.counters["ns_per_replica"] = seconds * 1e9 / replicas;
    // Every operator's image of every atom, the identity's included: what the expansion examines.
    state.counters["ns_per_image"] =
        seconds * 1e9 / (static_cast<double>(state.iterations()) * atoms * static_cast<double>(operators));
    state.counters["heap_bytes_per_replica"] = bytes / replicas;
}

void Arguments(benchmark::internal::Benchmark* benchmark)
{
    for (const std::int64_t hint : {0, 1}) {
        for (const std::int64_t atoms : {1000, 10000, 50000}) {
            for (const std::int64_t operators : {4, 48, 192}) {
                // 5x10^4 atoms by 192 operators would make about 10^7 replicas: left out by memory.
                if (atoms * operators > 3000000)
                    continue;
                benchmark->Args({atoms, operators, hint});
            }
        }
    }
}

} // namespace

BENCHMARK(CellBuild)->Apply(Arguments)->ArgNames({"atoms", "ops", "hint"})->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);
