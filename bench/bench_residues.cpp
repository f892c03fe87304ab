// A protein of 10^3, 10^4 and 10^5 residues with hydrogens (alanine, glycine and serine in turn, laid
// out as an extended chain folded into rows): created from residue templates with its labelled atoms,
// then bonded by ResiduePool::ConstructResidueBonds, in us per residue; the heap bytes a residue object
// takes (without atoms); and the whole protein saved and loaded as a document, in atoms per second,
// over several shots at the smaller sizes (the first shot reported apart), with the minor page faults
// a load takes per atom.
#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include <tavrel/biopolymers/Residue.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Chain.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>
#include "BenchSupport.h"

using namespace Tavrel;

namespace {


struct TemplateAtom {
    const char* label;
    const char* symbol;
    Point3d at;
};

// Residue geometries with bond lengths near the real ones; every hydrogen lies within 1.2 of its own
// heavy atom only. The next residue's N lies Step from this one's, 1.31 from this one's C.
const TemplateAtom Backbone[] = {{"N", "N", Point3d(0.0, 0.0, 0.0)},
                                 {"CA", "C", Point3d(1.45, 0.0, 0.0)},
                                 {"C", "C", Point3d(2.0, 1.35, 0.0)},
                                 {"O", "O", Point3d(1.4, 2.35, 0.0)},
                                 {"H", "H", Point3d(0.3, -0.95, 0.0)}};
const TemplateAtom Alanine[] = {{"CB", "C", Point3d(1.95, -0.7, 1.2)},
                                {"HA", "H", Point3d(1.8, -0.4, -0.95)},
                                {"HB1", "H", Point3d(1.5, -1.7, 1.3)},
                                {"HB2", "H", Point3d(3.0, -0.9, 1.3)},
                                {"HB3", "H", Point3d(1.8, -0.3, 2.2)}};
const TemplateAtom Glycine[] = {{"HA2", "H", Point3d(1.8, -0.4, -0.95)}, {"HA3", "H", Point3d(1.8, -0.5, 0.85)}};
const TemplateAtom Serine[] = {{"CB", "C", Point3d(1.95, -0.7, 1.2)},  {"OG", "O", Point3d(2.25, -1.2, 2.5)},
                               {"HA", "H", Point3d(1.8, -0.4, -0.95)}, {"HB2", "H", Point3d(1.5, -1.7, 1.3)},
                               {"HB3", "H", Point3d(3.0, -0.9, 1.3)},  {"HG", "H", Point3d(3.15, -1.2, 2.8)}};

struct ResidueKind {
    const char* name;
    std::span<const TemplateAtom> sideChain;
};
const ResidueKind Kinds[] = {{"ALA", Alanine}, {"GLY", Glycine}, {"SER", Serine}};

const Point3d Step(2.9, 2.3, 0.0);
constexpr int RowLength = 100;
constexpr double RowSpacing = 8.0;

void AddAtoms(Residue* residue, std::span<const TemplateAtom> atoms, const Point3d& offset)
{
    for (const TemplateAtom& atom : atoms) {
        auto* const added = new Atom3d(residue, atom.symbol);
        added->SetLabel(atom.label);
        added->SetXYZ(atom.at + offset);
    }
}

// One chain of the residues in a molecule under the document's root; returns the number of atoms.
std::size_t BuildProtein(ChemDoc& document, int residues)
{
    const ResiduePool& pool = ResiduePool::GetResiduePool();
    auto* const molecule = new Molecule(document.GetTreeRoot());
    Chain* const chain = pool.CreateChain(molecule, "ALA");
    chain->SetLabel("A");
    std::size_t atoms = 0;
    for (int i = 0; i < residues; ++i) {
        const ResidueKind& kind = Kinds[i % 3];
        Residue* const residue = pool.CreateResidue(chain, kind.name);
        residue->SetID(i + 1);
        const int row = i / RowLength;
        const Point3d offset =
            Step * (i % RowLength) + Point3d(0.0, RowSpacing * (row % 100), RowSpacing * (row / 100));
        AddAtoms(residue, Backbone, offset);
        AddAtoms(residue, kind.sideChain, offset);
        atoms += std::size(Backbone) + kind.sideChain.size();
    }
    return atoms;
}

// Minor page faults the process has taken so far (pages mapped in on first touch or ahead of it).
long MinorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void CreateAndBondProtein(benchmark::State& state)
{
    AttachDataModelDLL();
    const int residues = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto document = std::make_unique<ChemDoc>();
        auto start = std::chrono::steady_clock::now();
        const std::size_t atoms = BuildProtein(*document, residues);
        const double create = Seconds(start);
        start = std::chrono::steady_clock::now();
        ResiduePool::GetResiduePool().ConstructResidueBonds(document->GetTreeRoot());
        const double bond = Seconds(start);
        state.PauseTiming();
        state.counters["create_us_per_residue"] = create * 1e6 / residues;
        state.counters["bond_us_per_residue"] = bond * 1e6 / residues;
        state.counters["total_us_per_residue"] = (create + bond) * 1e6 / residues;
        state.counters["atoms_per_residue"] = static_cast<double>(atoms) / residues;
        document.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(CreateAndBondProtein)->Arg(1000)->Arg(10000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

// Residue objects without atoms, created from templates under one chain.
void ResidueHeap(benchmark::State& state)
{
    AttachDataModelDLL();
    const int residues = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto chain = std::make_unique<Chain>(nullptr);
        const bench::HeapMark before = bench::MarkHeap();
        for (int i = 0; i < residues; ++i)
            ResiduePool::GetResiduePool().CreateResidue(chain.get(), Kinds[i % 3].name);
        state.counters["heap_bytes_per_residue"] = bench::HeapSince(before) / residues;
        state.PauseTiming();
        chain.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(ResidueHeap)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

void SaveAndLoadProtein(benchmark::State& state)
{
    AttachDataModelDLL();
    const int residues = static_cast<int>(state.range(0));
    auto document = std::make_unique<ChemDoc>();
    const std::size_t atoms = BuildProtein(*document, residues);
    ResiduePool::GetResiduePool().ConstructResidueBonds(document->GetTreeRoot());
    double saveTotal = 0.0;
    double loadTotal = 0.0;
    double firstSave = 0.0;
    double firstLoad = 0.0;
    long loadFaults = 0;
    std::size_t fileBytes = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        Archive out;
        document->Serialize(out);
        const double save = Seconds(start);
        const std::vector<std::uint8_t> file = out.GetBuffer();

        const long faults = MinorFaults();
        start = std::chrono::steady_clock::now();
        auto loaded = std::make_unique<ChemDoc>();
        Archive in{std::span<const std::uint8_t>(file)};
        loaded->Serialize(in);
        const double load = Seconds(start);
        loadFaults += MinorFaults() - faults;
        state.PauseTiming();
        if (saveTotal == 0.0) {
            firstSave = save;
            firstLoad = load;
        }
        saveTotal += save;
        loadTotal += load;
        fileBytes = file.size();
        loaded.reset();
        state.ResumeTiming();
    }
    const auto shots = static_cast<double>(state.iterations());
    const auto atomCount = static_cast<double>(atoms);
    state.counters["save_atoms_per_s"] = atomCount * shots / saveTotal;
    state.counters["load_atoms_per_s"] = atomCount * shots / loadTotal;
    state.counters["first_save_atoms_per_s"] = atomCount / firstSave;
    state.counters["first_load_atoms_per_s"] = atomCount / firstLoad;
    state.counters["file_bytes_per_atom"] = static_cast<double>(fileBytes) / atomCount;
    state.counters["load_minor_faults_per_atom"] = static_cast<double>(loadFaults) / (atomCount * shots);
}
// Each size is saved and loaded about a second's worth of atoms in all, so that one short shot at the
// smallest size does not stand for it alone; the first shot of each is reported too.
BENCHMARK(SaveAndLoadProtein)->Arg(1000)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(SaveAndLoadProtein)->Arg(10000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(SaveAndLoadProtein)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
