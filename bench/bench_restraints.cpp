// Restraints and flag monitors over a protein of 10^4, 10^5 and 10^6 atoms (BenchProtein): a harmonic
// restraint over every atom of a document added (ns and heap bytes per atom), saved and loaded with the
// document (ns per atom, next to the same document without it), deleted, and deleted with its atoms;
// the chirality and structure monitors over the protein with every hydrogen made (ns per atom) and
// recalculated after a move (ns per atom).
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#include "BenchProtein.h"
#include "BenchSupport.h"
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/monitors/ChiralityMonitor.h>
#include <tavrel/monitors/HarmonicAtomRestraint.h>
#include <tavrel/monitors/StructureMonitor.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {


double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The atoms below a node, in tree order.
OrdCollection AtomsBelow(Object* top)
{
    OrdCollection all;
    DescendentIterator walk(top, Atom3d::classType, false);
    while (Object* const atom = walk.GetNext())
        all.Add(atom);
    return all;
}

// The last restraint among a node's children.
const HarmonicAtomRestraint* FindRestraint(const Object& parent)
{
    for (int i = parent.GetNumChildren(); i-- > 0;) {
        if (const auto* const restraint = DynCast<HarmonicAtomRestraint>(parent.GetChild(i)))
            return restraint;
    }
    return nullptr;
}

std::vector<std::uint8_t> Save(ChemDoc& document)
{
    Archive out;
    document.Serialize(out);
    return out.GetBuffer();
}

std::unique_ptr<ChemDoc> Load(const std::vector<std::uint8_t>& bytes)
{
    auto document = std::make_unique<ChemDoc>();
    Archive in(bytes);
    document->Serialize(in);
    return document;
}

void HarmonicRestraintOverEveryAtom(benchmark::State& state)
{
    AttachDataModelDLL();
    for (auto _ : state) {
        const auto document = std::make_unique<ChemDoc>();
        bench::BuildTiledProtein(document->GetTreeRoot(), static_cast<std::size_t>(state.range(0)));
        const OrdCollection all = AtomsBelow(document->GetTreeRoot());
        const double atoms = all.GetSize();
        const std::vector<std::uint8_t> plain = Save(*document);
        auto start = std::chrono::steady_clock::now();
        const std::unique_ptr<ChemDoc> plainBack = Load(plain);
        const double plainLoad = Seconds(start);

        const bench::HeapMark before = bench::MarkHeap();
        start = std::chrono::steady_clock::now();
        auto* const restraint = new HarmonicAtomRestraint(document->GetTreeRoot()->GetChild(0), all);
        const double add = Seconds(start);
        const double bytes = bench::HeapSince(before);

        start = std::chrono::steady_clock::now();
        const std::vector<std::uint8_t> saved = Save(*document);
        const double save = Seconds(start);
        start = std::chrono::steady_clock::now();
        const std::unique_ptr<ChemDoc> loaded = Load(saved);
        const double load = Seconds(start);
        const HarmonicAtomRestraint* const back = FindRestraint(*loaded->GetTreeRoot()->GetChild(0));
        OrdCollection members;
        if (back)
            back->GetAtoms(members);
        if (members.GetSize() != all.GetSize())
            state.SkipWithError("the loaded restraint lost atoms");

        start = std::chrono::steady_clock::now();
        delete restraint;
        const double remove = Seconds(start);

        // The loaded restraint goes with the last of its atoms.
        start = std::chrono::steady_clock::now();
        TreeRoot* const root = loaded->GetTreeRoot();
        while (root->GetNumChildren() > 0)
            delete root->GetChild(root->GetNumChildren() - 1);
        const double cascade = Seconds(start);

        state.counters["add_ns_per_atom"] = add * 1e9 / atoms;
        state.counters["heap_bytes_per_atom"] = bytes / atoms;
        state.counters["save_ns_per_atom"] = save * 1e9 / atoms;
        state.counters["load_ns_per_atom"] = load * 1e9 / atoms;
        state.counters["load_without_ns_per_atom"] = plainLoad * 1e9 / atoms;
        state.counters["delete_ns_per_atom"] = remove * 1e9 / atoms;
        state.counters["delete_atoms_ns_per_atom"] = cascade * 1e9 / atoms;
    }
}
BENCHMARK(HarmonicRestraintOverEveryAtom)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

template <class Monitor>
void FlagMonitorRecalculated(benchmark::State& state, int (*flagged)(Monitor&))
{
    AttachDataModelDLL();
    for (auto _ : state) {
        TreeRoot root;
        auto* const top = new Object(&root);
        // With every hydrogen, so that stereocentres have their four bonds: about half the atoms.
        bench::BuildTiledProtein(top, static_cast<std::size_t>(state.range(0)) / 2, true, bench::Hydrogens::Added);
        const OrdCollection atoms = AtomsBelow(top);
        const double count = atoms.GetSize();
        auto start = std::chrono::steady_clock::now();
        auto* const monitor = new Monitor(top);
        const double make = Seconds(start);
        auto* const atom = static_cast<Atom3d*>(atoms.GetAt(0));
        atom->SetXYZ(atom->GetXYZ());
        DisplayList3D list;
        start = std::chrono::steady_clock::now();
        monitor->Display(list);
        const double recalculate = Seconds(start);
        if (monitor->NeedsRecalc())
            state.SkipWithError("the monitor is still stale");
        state.counters["make_ns_per_atom"] = make * 1e9 / count;
        state.counters["recalculate_ns_per_atom"] = recalculate * 1e9 / count;
        state.counters["flagged"] = flagged(*monitor);
    }
}

void ChiralityMonitorRecalculated(benchmark::State& state)
{
    FlagMonitorRecalculated<ChiralityMonitor>(state, [](ChiralityMonitor& monitor) {
        return monitor.GetNumberOfChiralAtoms();
    });
}
BENCHMARK(ChiralityMonitorRecalculated)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

void StructureMonitorRecalculated(benchmark::State& state)
{
    FlagMonitorRecalculated<StructureMonitor>(state, [](StructureMonitor& monitor) {
        return monitor.GetNumOverValenceAtoms() + monitor.GetNumUnderValenceAtoms();
    });
}
BENCHMARK(StructureMonitorRecalculated)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
