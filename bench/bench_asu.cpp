// The asymmetric-unit tools over a crystal of 10^4 to 10^6 objects: CountASUAtoms, CountASUBonds and a
// walk through the symmetry filter, each reported per object walked (the target is at most 0.1 us)
// with the heap the walk leaves behind; and the copy of a built cell per replica, which must stay flat
// from 10^4 to 10^6 replicas.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "BenchSupport.h"
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/crystal/ASUTools.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/FilterSymmetry.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>

using namespace Tavrel;

namespace {


constexpr int AtomsPerMolecule = 5;
// A molecule, its atoms, one replica of each and the bonds along both chains.
constexpr int ObjectsPerMolecule = 1 + 2 * AtomsPerMolecule + 2 * (AtomsPerMolecule - 1);

// About `objects` objects below a cell, as a build leaves them: asymmetric atoms marked "_ASU", each
// with a replica below it, bonded in chains of five, the replicas likewise.
std::unique_ptr<Cell3d> MakeCrystal(std::int64_t objects)
{
    AttachDataModelDLL();
    auto cell = std::make_unique<Cell3d>(nullptr);
    for (std::int64_t made = 0; made + ObjectsPerMolecule <= objects; made += ObjectsPerMolecule) {
        auto* const molecule = new Molecule(cell.get());
        Atom3d* previous = nullptr;
        ReplicateAtom* previousReplica = nullptr;
        for (int i = 0; i < AtomsPerMolecule; ++i) {
            auto* const atom = new Atom3d(molecule, "C");
            atom->SetProperty("_ASU", std::int32_t{-1}, 0);
            auto* const replica = new ReplicateAtom(atom);
            if (previous) {
                previous->MakeBond(molecule, atom, Bond::Single);
                previousReplica->MakeBond(molecule, replica, Bond::Single);
            }
            previous = atom;
            previousReplica = replica;
        }
    }
    return cell;
}

template <class Count>
void Walk(benchmark::State& state, Count count)
{
    const std::unique_ptr<Cell3d> cell = MakeCrystal(state.range(0));
    const auto walked = static_cast<double>(cell->GetNumDescendents(Object::classType));
    std::int64_t counted = 0;
    const bench::HeapMark before = bench::MarkHeap();
    for (auto _ : state) {
        counted = count(*cell);
        benchmark::DoNotOptimize(counted);
    }
    state.counters["counted"] = static_cast<double>(counted);
    state.counters["ns_per_object"] = benchmark::Counter(static_cast<double>(state.iterations()) * walked,
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["heap_bytes_per_object"] = bench::HeapSince(before) / walked;
}

void CountASUAtoms(benchmark::State& state)
{
    Walk(state, [](const Cell3d& cell) { return ASUTools::CountASUAtoms(&cell, false); });
}

void CountASUBonds(benchmark::State& state)
{
    Walk(state, [](const Cell3d& cell) { return ASUTools::CountASUBonds(&cell, false); });
}

void SymmetryFilterWalk(benchmark::State& state)
{
    Walk(state, [](Cell3d& cell) {
        DescendentIterator walk(&cell, FilterSymmetry(false), false);
        std::int64_t passed = 0;
        while (walk.GetNext())
            ++passed;
        return passed;
    });
}

// A P21/c cell built without packing: three symmetry replicas per asymmetric atom.
std::unique_ptr<Cell3d> MakeBuiltCell(std::int64_t replicas)
{
    AttachDataModelDLL();
    const std::int64_t atoms = replicas / 3;
    const double edge = std::cbrt(40.0 * static_cast<double>(atoms));
    auto cell = std::make_unique<Cell3d>(nullptr);
    cell->SetGeometry(edge, edge, edge, 90.0, 95.0, 90.0);
    cell->GetSymmetry()->LoadSpaceGroup(14, "", 0);
    UniformRandomSequence random(0.0, 1.0);
    random.Seed(4321);
    const Matrix3x3 fracToCart = cell->GetFracToCart();
    for (std::int64_t i = 0; i < atoms; ++i) {
        auto* const atom = new Atom3d(cell.get(), "C");
        atom->SetXYZ(Point3d(random.Next(), random.Next(), random.Next()) * fracToCart);
    }
    cell->Build(Cell3d::BuildInfo(0, 0.05, false, LatticeOffset(1, 1, 1)));
    return cell;
}

void CopyBuiltCell(benchmark::State& state)
{
    const std::unique_ptr<Cell3d> cell = MakeBuiltCell(state.range(0));
    const auto replicas = static_cast<double>(cell->GetNumDescendents(ReplicateAtom::classType));
    double seconds = 0.0;
    double bytes = 0.0;
    for (auto _ : state) {
        const bench::HeapMark before = bench::MarkHeap();
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<TreeNode> copy(cell->TreeCopy());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        bytes += bench::HeapSince(before);
        state.PauseTiming();
        copy.reset();
        state.ResumeTiming();
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["replicas"] = replicas;
    state.counters["ns_per_replica"] = seconds * 1e9 / (iterations * replicas);
    state.counters["heap_bytes_per_replica"] = bytes / (iterations * replicas);
}

} // namespace

BENCHMARK(CountASUAtoms)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(CountASUBonds)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(SymmetryFilterWalk)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(CopyBuiltCell)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
