// Restraints and flag monitors at 10^4, 10^5 and 10^6 atoms: a harmonic restraint over every atom of
// a document added (ns and heap bytes per atom), saved and loaded with the document (ns per atom,
// next to the same document without it), deleted, and deleted with its atoms; the chirality and
// structure monitors over alanine molecules made (ns per atom) and recalculated after a move (ns per
// atom, at most 2000 asked for).
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/monitors/ChiralityMonitor.h>
#include <tavrel/monitors/HarmonicAtomRestraint.h>
#include <tavrel/monitors/StructureMonitor.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

using bench::HeapInUse;

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A document of bonded chains of 100 carbons.
std::unique_ptr<ChemDoc> ChainDocument(int atoms, OrdCollection& all)
{
    auto document = std::make_unique<ChemDoc>();
    Molecule* molecule = nullptr;
    Atom3d* previous = nullptr;
    for (int i = 0; i < atoms; ++i) {
        if (i % 100 == 0) {
            molecule = new Molecule(document->GetTreeRoot());
            previous = nullptr;
        }
        auto* const atom = new Atom3d(molecule, "C");
        atom->SetXYZ(Point3d(1.5 * (i % 100), 0.1 * (i / 100), 0.0));
        if (previous)
            previous->MakeBond(atom, Bond::Single);
        previous = atom;
        all.Add(atom);
    }
    return document;
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
    const int atoms = static_cast<int>(state.range(0));
    for (auto _ : state) {
        OrdCollection all;
        const std::unique_ptr<ChemDoc> document = ChainDocument(atoms, all);
        const std::vector<std::uint8_t> plain = Save(*document);
        auto start = std::chrono::steady_clock::now();
        const std::unique_ptr<ChemDoc> plainBack = Load(plain);
        const double plainLoad = Seconds(start);

        const std::size_t before = HeapInUse();
        start = std::chrono::steady_clock::now();
        auto* const restraint = new HarmonicAtomRestraint(document->GetTreeRoot()->GetChild(0), all);
        const double add = Seconds(start);
        const double bytes = static_cast<double>(HeapInUse() - before);

        start = std::chrono::steady_clock::now();
        const std::vector<std::uint8_t> saved = Save(*document);
        const double save = Seconds(start);
        start = std::chrono::steady_clock::now();
        const std::unique_ptr<ChemDoc> loaded = Load(saved);
        const double load = Seconds(start);
        const auto* const back = DynCast<HarmonicAtomRestraint>(loaded->GetTreeRoot()->GetChild(0)->GetChild(100 + 99));
        OrdCollection members;
        if (back)
            back->GetAtoms(members);
        if (members.GetSize() != atoms)
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

// L-alanine molecules with every hydrogen (13 atoms each) under one parent, one chiral centre each.
Object* Alanines(Object* parent, int atoms)
{
    auto* const top = new Object(parent);
    const auto add = [](Object* molecule, const char* symbol, const Point3d& at) {
        auto* const atom = new Atom3d(molecule, symbol);
        atom->SetXYZ(at);
        return atom;
    };
    for (int made = 0; made < atoms; made += 13) {
        auto* const molecule = new Molecule(top);
        const Point3d o(4.0 * (made / 13 % 100), 4.0 * (made / 1300), 0.0);
        Atom3d* const alpha = add(molecule, "C", o);
        Atom3d* const nitrogen = add(molecule, "N", o + Point3d(0.85, 0.85, 0.85));
        Atom3d* const carboxyl = add(molecule, "C", o + Point3d(0.88, -0.88, -0.88));
        Atom3d* const methyl = add(molecule, "C", o + Point3d(-0.88, 0.88, -0.88));
        for (Atom3d* neighbour : {nitrogen, carboxyl, methyl, add(molecule, "H", o + Point3d(-0.63, -0.63, 0.63))})
            alpha->MakeBond(neighbour, Bond::Single);
        carboxyl->MakeBond(add(molecule, "O", o + Point3d(1.9, -0.5, -1.2)), Bond::Double);
        Atom3d* const hydroxyl = add(molecule, "O", o + Point3d(0.9, -2.1, -0.9));
        carboxyl->MakeBond(hydroxyl, Bond::Single);
        hydroxyl->MakeBond(add(molecule, "H", o + Point3d(1.5, -2.6, -0.9)), Bond::Single);
        nitrogen->MakeBond(add(molecule, "H", o + Point3d(1.8, 0.6, 0.9)), Bond::Single);
        nitrogen->MakeBond(add(molecule, "H", o + Point3d(0.6, 1.8, 0.9)), Bond::Single);
        methyl->MakeBond(add(molecule, "H", o + Point3d(-1.9, 0.6, -0.9)), Bond::Single);
        methyl->MakeBond(add(molecule, "H", o + Point3d(-0.6, 1.9, -0.9)), Bond::Single);
        methyl->MakeBond(add(molecule, "H", o + Point3d(-0.9, 0.6, -1.9)), Bond::Single);
    }
    return top;
}

template <class Monitor>
void FlagMonitorRecalculated(benchmark::State& state, int (*flagged)(Monitor&))
{
    AttachDataModelDLL();
    const int atoms = static_cast<int>(state.range(0));
    for (auto _ : state) {
        TreeRoot root;
        Object* const top = Alanines(&root, atoms);
        const double count = static_cast<double>(top->GetNumDescendents(Atom::classType));
        auto start = std::chrono::steady_clock::now();
        auto* const monitor = new Monitor(top);
        const double make = Seconds(start);
        auto* const atom = DynCast<Atom3d>(top->GetChild(0)->GetChild(0));
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
