// Close-contact monitors at 10^4, 10^5 and 10^6 atoms of protein density (chains of N, CA, C=O, some
// 0.057 heavy atoms per cubic angstrom, jittered): bump and hydrogen-bond monitors over the whole
// structure built (ns and heap bytes per atom), recalculated and drawn (ns per atom, with the contacts
// found per atom); a hydrogen-bond monitor of half the chains drawn against the rest; and at 10^4 the
// bump test over every pair, as the search without a grid would run it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "BenchSupport.h"
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/DisplayList3D.h>
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

constexpr int UnitsPerChain = 100;
constexpr int AtomsPerUnit = 4;

// Chains along x, 4.4 A apart in y and 3.6 A in z, each residue N-CA-C(=O) 1.45 A a step, every
// position jittered by up to 0.4 A. Returns the chains' molecules.
std::vector<Molecule*> BuildProtein(TreeRoot& root, int atoms)
{
    std::uint64_t state = 12345;
    const auto jitter = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return (static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5) * 0.8;
    };
    const int chains = (atoms + UnitsPerChain * AtomsPerUnit - 1) / (UnitsPerChain * AtomsPerUnit);
    int side = 1;
    while (side * side < chains)
        ++side;
    std::vector<Molecule*> molecules;
    for (int c = 0; c < chains; ++c) {
        auto* const molecule = new Molecule(&root);
        molecules.push_back(molecule);
        const double y0 = 4.4 * (c % side);
        const double z0 = 3.6 * (c / side);
        Atom3d* previous = nullptr;
        for (int u = 0; u < UnitsPerChain; ++u) {
            Atom3d* backbone[3] = {};
            static const char* const symbols[3] = {"N", "C", "C"};
            for (int k = 0; k < 3; ++k) {
                const int step = 3 * u + k;
                auto* const atom = new Atom3d(molecule, symbols[k]);
                atom->SetXYZ(Point3d(1.45 * step + jitter(), y0 + (step % 2 ? 0.4 : -0.4) + jitter(), z0 + jitter()));
                if (previous)
                    previous->MakeBond(atom, Bond::Single);
                previous = backbone[k] = atom;
            }
            auto* const oxygen = new Atom3d(molecule, "O");
            const Point3d carbon = backbone[2]->GetXYZ();
            oxygen->SetXYZ(Point3d(carbon.x + jitter(), carbon.y + jitter(), carbon.z + 1.23));
            backbone[2]->MakeBond(oxygen, Bond::Double);
        }
    }
    return molecules;
}

void BumpMonitorOverAProtein(benchmark::State& state)
{
    AttachDataModelDLL();
    const int atoms = static_cast<int>(state.range(0));
    for (auto _ : state) {
        TreeRoot root;
        BuildProtein(root, atoms);
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
    const int atoms = static_cast<int>(state.range(0));
    for (auto _ : state) {
        TreeRoot root;
        const std::vector<Molecule*> chains = BuildProtein(root, atoms);
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
        const int bonds = tree->GetNumberOfHydrogenBonds();
        delete tree;

        // Half the chains, internal bonds on, against the other half.
        OrdCollection half;
        for (std::size_t c = 0; c < chains.size() / 2; ++c) {
            for (int i = 0; i < chains[c]->GetNumChildren(); ++i)
                half.Add(chains[c]->GetChild(i));
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
    const int atoms = static_cast<int>(state.range(0));
    TreeRoot root;
    BuildProtein(root, atoms);
    struct Entry {
        const Atom3d* atom;
        Point3d position;
        float radius;
        bool donor;
        bool acceptor;
    };
    std::vector<Entry> entries;
    for (int m = 0; m < root.GetNumChildren(); ++m) {
        for (int i = 0; i < root.GetChild(m)->GetNumChildren(); ++i) {
            const auto* const atom = DynCast<Atom3d>(root.GetChild(m)->GetChild(i));
            if (!atom)
                continue;
            entries.push_back({atom, atom->GetXYZ(), atom->GetVDWRadius() * (atom->GetNumHydrogensToAdd() > 0 ? 1.08f : 1.0f),
                               atom->IsHBondDonor(), atom->IsHBondAcceptor()});
        }
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
