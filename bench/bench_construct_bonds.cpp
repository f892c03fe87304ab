// Bond perception on the atoms of a protein (BenchProtein, without its bonds) at 10^4, 10^5 and 10^6
// atoms: ConstructBonds in atoms/s with the heap bytes its bonds take per atom, and the neighbour list
// alone (bulk build, one query per point, every point's neighbours at once) in ns per point, over
// every atom at the bonding cut-off, and over the nitrogens and oxygens (all, or the side chains')
// at the reach of the hydrogen-bond search: grids a few times and ten times sparser.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "BenchProtein.h"
#include "BenchSupport.h"
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/NeighborList.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/TreeRoot.h>

using namespace Tavrel;

namespace {


// Twice carbon's bonding radius.
constexpr double Cutoff = 2.0 * 0.77 * 1.15;
// The reach of the hydrogen-bond search between a nitrogen or oxygen donor and an acceptor.
constexpr double DonorReach = 3.22;

// Which atoms of the protein a grid holds.
enum class Held { Every, Polar, SideChainPolar };

// The positions of the protein's atoms: every one; its nitrogens and oxygens (as the grids of the
// hydrogen-bond search hold them); or those of the side chains only, sparser still.
std::vector<Point3d> Layout(int atoms, Held held)
{
    TreeRoot root;
    bench::BuildTiledProtein(&root, static_cast<std::size_t>(atoms), false);
    std::vector<Point3d> positions;
    DescendentIterator walk(&root, Atom3d::classType, false);
    while (Object* const next = walk.GetNext()) {
        const auto* const atom = static_cast<const Atom3d*>(next);
        const std::int32_t element = atom->GetAtomicNumber();
        const bool polar = element == 7 || element == 8;
        const bool backbone = atom->GetLabel() == "N" || atom->GetLabel() == "O";
        if (held == Held::Every || (polar && (held == Held::Polar || !backbone)))
            positions.push_back(atom->GetXYZ());
    }
    return positions;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void ConstructBonds(benchmark::State& state)
{
    AttachDataModelDLL();
    for (auto _ : state) {
        state.PauseTiming();
        auto document = std::make_unique<ChemDoc>();
        const auto atoms = static_cast<double>(
            bench::BuildTiledProtein(document->GetTreeRoot(), static_cast<std::size_t>(state.range(0)), false).atoms);
        const bench::HeapMark before = bench::MarkHeap();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        const int bonds = Atom::ConstructBonds(document->GetTreeRoot());
        const double seconds = Seconds(start);
        state.PauseTiming();
        state.counters["atoms_per_s"] = atoms / seconds;
        state.counters["ns_per_atom"] = seconds * 1e9 / atoms;
        state.counters["bonds_per_atom"] = static_cast<double>(bonds) / atoms;
        state.counters["heap_bytes_per_atom"] = bench::HeapSince(before) / atoms;
        document.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(ConstructBonds)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

// Second argument 0: every atom, at the bonding cut-off; 1: the nitrogens and oxygens, 2: those of
// the side chains, at the reach of the hydrogen-bond search.
void NeighborListSearch(benchmark::State& state)
{
    const auto held = static_cast<Held>(state.range(1));
    const std::vector<Point3d> positions = Layout(static_cast<int>(state.range(0)), held);
    const auto points = static_cast<double>(positions.size());
    const double reach = held == Held::Every ? Cutoff : DonorReach;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const NeighborList bulk(reach, positions);
        const double build = Seconds(start);

        start = std::chrono::steady_clock::now();
        NeighborList added(reach);
        for (const Point3d& p : positions)
            added.Add(p);
        const double add = Seconds(start);

        start = std::chrono::steady_clock::now();
        IntArray found;
        std::size_t total = 0;
        for (const Point3d& p : positions) {
            found.clear();
            bulk.GetNeighbors(p, reach, found);
            total += found.size();
        }
        const double query = Seconds(start);

        start = std::chrono::steady_clock::now();
        std::vector<std::uint32_t> offsets;
        IntArray neighbors;
        bulk.GetAllNeighbors(reach, offsets, neighbors);
        const double all = Seconds(start);
        benchmark::DoNotOptimize(total);

        state.counters["bulk_build_ns_per_point"] = build * 1e9 / points;
        state.counters["add_ns_per_point"] = add * 1e9 / points;
        state.counters["query_ns_per_point"] = query * 1e9 / points;
        state.counters["all_neighbors_ns_per_point"] = all * 1e9 / points;
        state.counters["neighbors_per_point"] = static_cast<double>(neighbors.size()) / points;
    }
}
BENCHMARK(NeighborListSearch)
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1, 2}})
    ->ArgNames({"atoms", "held"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
