// The symmetry map's Update and build: molecules of 20 bonded carbons at random general positions in a
// cell of P21/c (4 operators), Pm-3m (48) or Fm-3m (192). Update classifies the cell's contents; the
// build results then ask for every operator image of every asymmetric-unit atom, so that every image
// (atom, molecule and bond) is materialised. Reports images per second over both, the seconds, the
// time per image and the heap bytes per image, which should stay flat across sizes.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "BenchSupport.h"
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/symmetry_build/AsymmetricUnit.h>
#include <tavrel/symmetry_build/BuildResults.h>
#include <tavrel/symmetry_build/HierarchyData.h>
#include <tavrel/symmetry_build/SymmetryMap.h>

using namespace Tavrel;

namespace {


constexpr int atomsPerMolecule = 20;

void SymmetryMapUpdate(benchmark::State& state)
{
    AttachDataModelDLL();
    const int atoms = static_cast<int>(state.range(0));
    const int operators = static_cast<int>(state.range(1));
    double seconds = 0.0;
    double images = 0.0;
    double bytes = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<Cell3d> cell = bench::CubicCellOfChains(atoms, operators, atomsPerMolecule);
        const bench::HeapMark before = bench::MarkHeap();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        SymmetryMap map(cell.get(), {});
        map.Update();
        // Every distinct image: one operator per coset of an atom's site symmetry.
        AsymmetricUnit unit;
        map.GetAsymmetricUnit(unit);
        const std::int32_t n = unit.GetAtomCount();
        IntArray numbers;
        IndexLists partitions;
        unit.GetPartitions(numbers, partitions);
        BuildResults results(n);
        SymmetryImageKey::Array keys;
        for (std::int32_t i = 0; i < n; ++i) {
            const IntArray& representatives = partitions[static_cast<std::size_t>(numbers[static_cast<std::size_t>(i)])];
            keys.clear();
            for (int op = 0; op < operators; ++op)
                if (representatives[static_cast<std::size_t>(op)] == op)
                    keys.emplace_back(op, 0, 0, 0);
            results.SetAtom(i, static_cast<std::int32_t>(unit.GetAtomOIDs()[static_cast<std::size_t>(i)]), keys);
        }
        const bool shown = map.DisplayBuildResults(results);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        if (!shown) {
            state.SkipWithError("the build results were not displayed");
            break;
        }
        OIDArray oids;
        map.GetAtomOIDs(oids);
        images += static_cast<double>(oids.size());
        bytes += bench::HeapSince(before);
        cell.reset();
        state.ResumeTiming();
    }
    state.counters["images/s"] = benchmark::Counter(images / seconds);
    state.counters["s"] = benchmark::Counter(seconds / static_cast<double>(state.iterations()));
    state.counters["ns/image"] = benchmark::Counter(seconds * 1e9 / images);
    state.counters["heap B/image"] = benchmark::Counter(bytes / images);
}

} // namespace

BENCHMARK(SymmetryMapUpdate)
    ->ArgsProduct({{1000, 10000}, {4, 48, 192}})
    ->Args({100000, 4})
    ->Args({100000, 48})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
