// Close-contact monitors over a protein of 10^4, 10^5 and 10^6 atoms (BenchProtein): bump and
// hydrogen-bond monitors over the whole structure built (ns and heap bytes per atom), recalculated and
// drawn (ns per atom, with the contacts found per atom); a hydrogen-bond monitor of half the molecules
// drawn against the rest; and at 10^4 the bump test over every pair, as the search without a grid
// would run it. The ns per atom should stay flat across sizes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "BenchProtein.h"
#include "BenchSupport.h"
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/DisplayList3D.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/BumpMonitor.h>
#include <tavrel/monitors/HBondMonitor.h>

using namespace Tavrel;

namespace {

using bench::HeapInUse;

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BumpMonitorOverAProtein(benchmark::State& state)
{
    AttachDataModelDLL();
    for (auto _ : state) {
        TreeRoot root;
        const auto atoms = static_cast<double>(bench::BuildTiledProtein(&root, static_cast<std::size_t>(state.range(0))).atoms);
        const std::size_t before = HeapInUse();
        auto start = std::chrono::steady_clock::now();
        auto* const monitor = new BumpMonitor(&root);
        const double build = Seconds(start);
        const double bytes = static_cast<double>(HeapInUse() - before);
        DisplayList3D list;
        start = std::chrono::steady_clock::now();
        monitor->Display(list);
        const double first = Seconds(start);
        monitor->SetNeedsRecalc(true);
        DisplayList3D again;
        start = std::chrono::steady_clock::now();
        monitor->Display(again);
        const double recalculate = Seconds(start);
        state.counters["build_ns_per_atom"] = build * 1e9 / atoms;
        state.counters["heap_bytes_per_atom"] = bytes / atoms;
        state.counters["first_draw_ns_per_atom"] = first * 1e9 / atoms;
        state.counters["recalculate_draw_ns_per_atom"] = recalculate * 1e9 / atoms;
        state.counters["bumps_per_atom"] = static_cast<double>(monitor->GetNumberOfBumps()) / atoms;
    }
}
BENCHMARK(BumpMonitorOverAProtein)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

void HBondMonitorOverAProtein(benchmark::State& state)
{
    AttachDataModelDLL();
    for (auto _ : state) {
        TreeRoot root;
        const bench::Protein protein = bench::BuildTiledProtein(&root, static_cast<std::size_t>(state.range(0)));
        const auto atoms = static_cast<double>(protein.atoms);
        const std::size_t before = HeapInUse();
        auto start = std::chrono::steady_clock::now();
        auto* const tree = new HBondMonitor(&root);
        const double build = Seconds(start);
        const double bytes = static_cast<double>(HeapInUse() - before);
        DisplayList3D list;
        start = std::chrono::steady_clock::now();
        tree->Display(list);
        const double first = Seconds(start);
        DisplayList3D again;
        start = std::chrono::steady_clock::now();
        tree->Display(again);
        const double draw = Seconds(start);
        tree->SetNeedsRecalc(true);
        DisplayList3D third;
        start = std::chrono::steady_clock::now();
        tree->Display(third);
        const double recalculate = Seconds(start);
        const int bonds = tree->GetNumberOfHydrogenBonds();
        delete tree;

        // Half the molecules, internal bonds on, against the other half.
        OrdCollection half;
        for (std::size_t m = 0; m < std::max<std::size_t>(protein.molecules.size() / 2, 1); ++m) {
            DescendentIterator walk(protein.molecules[m], Atom::classType, false);
            while (Object* const atom = walk.GetNext())
                half.Add(atom);
        }
        auto* const set = new HBondMonitor(&root, half, true);
        DisplayList3D external;
        start = std::chrono::steady_clock::now();
        set->Display(external);
        const double setFirst = Seconds(start);

        state.counters["build_ns_per_atom"] = build * 1e9 / atoms;
        state.counters["heap_bytes_per_atom"] = bytes / atoms;
        state.counters["first_draw_ns_per_atom"] = first * 1e9 / atoms;
        state.counters["draw_ns_per_atom"] = draw * 1e9 / atoms;
        state.counters["recalculate_draw_ns_per_atom"] = recalculate * 1e9 / atoms;
        state.counters["hbonds_per_atom"] = static_cast<double>(bonds) / atoms;
        state.counters["half_set_first_draw_ns_per_atom"] = setFirst * 1e9 / atoms;
        state.counters["half_set_hbonds_per_atom"] = static_cast<double>(set->GetNumberOfHydrogenBonds()) / atoms;
    }
}
BENCHMARK(HBondMonitorOverAProtein)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

// The bump test over every ordered pair, radii and marks read once per atom: what the monitor's
// recalculation cost before it searched a grid.
void BumpTestOverEveryPair(benchmark::State& state)
{
    AttachDataModelDLL();
    TreeRoot root;
    const auto atoms = static_cast<double>(bench::BuildTiledProtein(&root, static_cast<std::size_t>(state.range(0))).atoms);
    struct Entry {
        const Atom3d* atom;
        Point3d position;
        float radius;
        bool donor;
        bool acceptor;
    };
    std::vector<Entry> entries;
    DescendentIterator walk(&root, Atom3d::classType, false);
    while (Object* const next = walk.GetNext()) {
        const auto* const atom = static_cast<const Atom3d*>(next);
        entries.push_back({atom, atom->GetXYZ(), atom->GetVDWRadius() * (atom->GetNumHydrogensToAdd() > 0 ? 1.08f : 1.0f),
                           atom->IsHBondDonor(), atom->IsHBondAcceptor()});
    }
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::int64_t bumps = 0;
        for (const Entry& a : entries) {
            for (const Entry& b : entries) {
                if (&a == &b || (a.acceptor && b.donor) || (b.acceptor && a.donor))
                    continue;
                const double reach = a.radius + b.radius;
                if (Distance2(a.position, b.position) <= reach * reach * 0.49 && !a.atom->HasPathOfLength(b.atom, 5, true))
                    ++bumps;
            }
        }
        state.counters["ns_per_atom"] = Seconds(start) * 1e9 / atoms;
        state.counters["bumps_per_atom"] = static_cast<double>(bumps) / atoms;
    }
}
BENCHMARK(BumpTestOverEveryPair)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
