// Bond perception on atoms laid out like a protein (chains of atoms 1.5 A apart, chains 3.2 A apart,
// slightly jittered; about one bond per atom) at 10^4, 10^5 and 10^6 atoms: ConstructBonds in atoms/s
// with the heap bytes its bonds take per atom, and the neighbour list alone (bulk build, one query per
// point at the bonding cut-off, every point's neighbours at once) in ns per point.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/NeighborList.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/TreeRoot.h>

using namespace Tavrel;

namespace {

using bench::HeapInUse;

constexpr int AtomsPerMolecule = 1000;
constexpr int ChainLength = 100;
constexpr double AlongChain = 1.5;
constexpr double BetweenChains = 3.2;
// Twice carbon's bonding radius.
constexpr double Cutoff = 2.0 * 0.77 * 1.15;
const char* const Symbols[] = {"N", "C", "C", "O", "C"};

// The positions of the atoms: chains along x, stacked on a square grid in y and z.
std::vector<Point3d> Layout(int atoms)
{
    UniformRandomSequence jitter(-0.05, 0.05, 7);
    const int chains = (atoms + ChainLength - 1) / ChainLength;
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(chains))));
    std::vector<Point3d> positions;
    positions.reserve(static_cast<std::size_t>(atoms));
    for (int i = 0; i < atoms; ++i) {
        const int chain = i / ChainLength;
        positions.emplace_back(AlongChain * (i % ChainLength) + jitter(), BetweenChains * (chain % side) + jitter(),
                               BetweenChains * (chain / side) + jitter());
    }
    return positions;
}

void Build(ChemDoc& document, const std::vector<Point3d>& positions)
{
    Molecule* molecule = nullptr;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        if (i % AtomsPerMolecule == 0)
            molecule = new Molecule(document.GetTreeRoot());
        auto* const atom = new Atom3d(molecule, Symbols[i % 5]);
        atom->SetXYZ(positions[i]);
    }
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void ConstructBonds(benchmark::State& state)
{
    AttachDataModelDLL();
    const int atoms = static_cast<int>(state.range(0));
    const std::vector<Point3d> positions = Layout(atoms);
    for (auto _ : state) {
        state.PauseTiming();
        auto document = std::make_unique<ChemDoc>();
        Build(*document, positions);
        const std::size_t before = HeapInUse();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        const int bonds = Atom::ConstructBonds(document->GetTreeRoot());
        const double seconds = Seconds(start);
        state.PauseTiming();
        state.counters["atoms_per_s"] = atoms / seconds;
        state.counters["ns_per_atom"] = seconds * 1e9 / atoms;
        state.counters["bonds_per_atom"] = static_cast<double>(bonds) / atoms;
        state.counters["heap_bytes_per_atom"] = static_cast<double>(HeapInUse() - before) / atoms;
        document.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(ConstructBonds)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

void NeighborListSearch(benchmark::State& state)
{
    const int points = static_cast<int>(state.range(0));
    const std::vector<Point3d> positions = Layout(points);
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const NeighborList bulk(Cutoff, positions);
        const double build = Seconds(start);

        start = std::chrono::steady_clock::now();
        NeighborList added(Cutoff);
        for (const Point3d& p : positions)
            added.Add(p);
        const double add = Seconds(start);

        start = std::chrono::steady_clock::now();
        IntArray found;
        std::size_t total = 0;
        for (const Point3d& p : positions) {
            found.clear();
            bulk.GetNeighbors(p, 2.0, found);
            total += found.size();
        }
        const double query = Seconds(start);

        start = std::chrono::steady_clock::now();
        std::vector<std::uint32_t> offsets;
        IntArray neighbors;
        bulk.GetAllNeighbors(Cutoff, offsets, neighbors);
        const double all = Seconds(start);
        benchmark::DoNotOptimize(total);

        state.counters["bulk_build_ns_per_point"] = build * 1e9 / points;
        state.counters["add_ns_per_point"] = add * 1e9 / points;
        state.counters["query_2A_ns_per_point"] = query * 1e9 / points;
        state.counters["all_neighbors_ns_per_point"] = all * 1e9 / points;
        state.counters["neighbors_per_point"] = static_cast<double>(neighbors.size()) / points;
    }
}
BENCHMARK(NeighborListSearch)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
