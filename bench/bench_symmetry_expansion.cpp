// Symmetry expansion of a crystal cell up to a million replica atoms, in the layout of real structures:
// a protein-like molecule in P212121 (a chain of alanines whose atoms carry their names) as a coordinate
// file gives it (layout 0, no bonds) and with its bonds (layout 2), and unlabelled random atoms in Pm-3m
// (layout 1). The whole Build without packing is timed; it reports replica atoms per second (wall and
// process CPU time), heap bytes and page faults per replica and the kernel's share of the time at 10^4,
// 10^5 and 10^6 replicas, which should stay flat across sizes. Instructions of the builds alone (three):
//   valgrind --tool=callgrind --toggle-collect='Tavrel::Cell3d::Build(*' build/bench/bench/bench_symmetry_expansion --benchmark_filter='layout:1/replicas:100000/'
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "../tests/biopolymers/BackboneBuilder.h"
#include "BenchSupport.h"
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/DataModelLibrary.h>

using namespace Tavrel;
using namespace BackboneBuilder;

namespace {

enum Layout : std::int64_t { Protein = 0, RandomCubic = 1, BondedProtein = 2 };

// About 12 cubic A per atom of the full cell, as in a protein crystal with its solvent.
std::unique_ptr<Cell3d> EmptyCell(int atoms, int operators, int group)
{
    const double edge = std::cbrt(12.0 * atoms * operators);
    auto cell = std::make_unique<Cell3d>(nullptr);
    cell->SetGeometry(edge, edge, edge, 90.0, 90.0, 90.0);
    cell->GetSymmetry()->LoadSpaceGroup(group, "", 0);
    return cell;
}

// One molecule of alanine backbones (N, CA, C, O), in helices of 16 residues laid at random places and
// orientations of the cell, bonded or not: for `replicas` replicas, a third as many atoms.
std::unique_ptr<Cell3d> ProteinCell(int replicas, bool bonded)
{
    const int atoms = replicas / 3;
    auto cell = EmptyCell(atoms, 4, 19);
    auto* const molecule = new Molecule(cell.get());
    auto* const chain = new AminoAcidChain(molecule);
    const std::vector<BackboneAtoms> helix = Build(AlphaHelix, 16);
    UniformRandomSequence random(0.0, 1.0);
    random.Seed(1234);
    const Matrix3x3 fracToCart = cell->GetFracToCart();
    for (int residues = 0; residues * 4 < atoms;) {
        const Point3d at = Point3d(random.Next(), random.Next(), random.Next()) * fracToCart;
        Matrix3x3 turn;
        turn.SetRotation(Point3d(random.Next() - 0.5, random.Next() - 0.5, random.Next() - 0.5), 360.0 * random.Next());
        std::vector<BackboneAtoms> placed;
        for (const BackboneAtoms& backbone : helix) {
            if (residues++ * 4 >= atoms)
                break;
            BackboneAtoms moved = backbone;
            for (Point3d* p : {&moved.n, &moved.ca, &moved.c, &moved.o})
                *p = *p * turn + at;
            placed.push_back(moved);
        }
        AddResidues(chain, placed, "ALA", false);
    }
    if (bonded)
        ResiduePool::GetResiduePool().ConstructResidueBonds(molecule);
    return cell;
}

// Unlabelled carbons at random general positions: for `replicas` replicas, a 47th as many atoms.
std::unique_ptr<Cell3d> RandomCubicCell(int replicas)
{
    const int atoms = replicas / 47;
    auto cell = EmptyCell(atoms, 48, 221);
    UniformRandomSequence random(0.0, 1.0);
    random.Seed(1234);
    const Matrix3x3 fracToCart = cell->GetFracToCart();
    for (int i = 0; i < atoms; ++i) {
        auto* const atom = new Atom3d(cell.get(), "C");
        atom->SetXYZ(Point3d(random.Next(), random.Next(), random.Next()) * fracToCart);
    }
    return cell;
}

void Expansion(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto layout = static_cast<Layout>(state.range(0));
    const int wanted = static_cast<int>(state.range(1));
    const Cell3d::BuildInfo info(Cell3d::BuildInfo::NoPacking, 0.05, false, LatticeOffset(1, 1, 1));
    double seconds = 0.0;
    double replicas = 0.0;
    double bytes = 0.0;
    bench::ProcessWork work;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<Cell3d> cell =
            layout == RandomCubic ? RandomCubicCell(wanted) : ProteinCell(wanted, layout == BondedProtein);
        const bench::HeapMark before = bench::MarkHeap();
        const bench::ProcessWork workBefore = bench::ProcessWork::Now();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        cell->Build(info);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        const bench::ProcessWork spent = bench::ProcessWork::Now() - workBefore;
        work.userSeconds += spent.userSeconds;
        work.kernelSeconds += spent.kernelSeconds;
        work.pageFaults += spent.pageFaults;
        replicas += static_cast<double>(bench::CountReplicas(*cell));
        bytes += bench::HeapSince(before);
        cell.reset();
        state.ResumeTiming();
    }
    state.counters["replicas"] = replicas / static_cast<double>(state.iterations());
    state.counters["replicas_per_s"] = replicas / seconds;
    // On a busy machine the process's own CPU time is the steadier figure.
    state.counters["replicas_per_cpu_s"] = replicas / (work.userSeconds + work.kernelSeconds);
    state.counters["ns_per_replica"] = seconds * 1e9 / replicas;
    state.counters["heap_bytes_per_replica"] = bytes / replicas;
    state.counters["page_faults_per_replica"] = work.pageFaults / replicas;
    state.counters["kernel_share"] = work.kernelSeconds / (work.userSeconds + work.kernelSeconds);
}

} // namespace

BENCHMARK(Expansion)
    ->ArgsProduct({{Protein, RandomCubic, BondedProtein}, {10'000, 100'000, 1'000'000}})
    ->ArgNames({"layout", "replicas"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
