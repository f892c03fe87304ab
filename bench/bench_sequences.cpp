// The protein sequence, the residues it indexes and the named-collection update over proteins of 10^4, 10^5
// and 10^6 atoms (ns per atom, heap bytes per atom held by the collections), and a nucleic-acid strand of
// 10^4 residues drawn in each style, normal and fast (residues per second).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>

#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/NamedCollections.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/biopolymers/ProteinSequence.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/DisplayList3D.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include "../tests/biopolymers/NucleotideBuilder.h"
#include "BenchSupport.h"

using namespace Tavrel;

namespace {

constexpr int AtomsPerResidue = 8;
constexpr int ResiduesPerChain = 500;

// A protein of `atoms` atoms under the molecule: chains of 500 residues cycling through the 20 amino
// acids, each residue the four backbone atoms and four side-chain atoms.
void BuildProtein(Molecule& molecule, int atoms)
{
    AttachDataModelDLL();
    static const char* const names[] = {"ALA", "ARG", "ASN", "ASP", "CYS", "GLN", "GLU", "GLY", "HIS", "ILE",
                                        "LEU", "LYS", "MET", "PHE", "PRO", "SER", "THR", "TRP", "TYR", "VAL"};
    static const char* const labels[AtomsPerResidue][2] = {{"N", "N"},  {"CA", "C"},  {"C", "C"},  {"O", "O"},
                                                           {"CB", "C"}, {"CG", "C"}, {"CD", "C"}, {"NE", "N"}};
    const ResiduePool& pool = ResiduePool::GetResiduePool();
    AminoAcidChain* chain = nullptr;
    for (int r = 0; r < atoms / AtomsPerResidue; ++r) {
        if (r % ResiduesPerChain == 0)
            chain = new AminoAcidChain(&molecule);
        Residue* const residue = pool.CreateResidue(chain, names[r % 20]);
        for (int a = 0; a < AtomsPerResidue; ++a) {
            auto* const atom = new Atom3d(residue, labels[a][1]);
            atom->SetLabel(labels[a][0]);
            atom->SetXYZ(Point3d(3.8 * r, 0.5 * a, 0.0));
        }
    }
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void PerAtom(benchmark::State& state, double seconds, int atoms)
{
    state.counters["ns_per_atom"] = seconds * 1e9 / (static_cast<double>(atoms) * static_cast<double>(state.iterations()));
    state.counters["atoms"] = atoms;
}

// A protein of the atoms below a root, with a sequence object in its molecule.
struct Protein {
    explicit Protein(int atoms) : molecule(new Molecule(&root))
    {
        BuildProtein(*molecule, atoms);
        sequence = new ProteinSequence(molecule);
    }
    TreeRoot root;
    Molecule* molecule;
    ProteinSequence* sequence = nullptr;
};

void Sequence(benchmark::State& state)
{
    const auto atoms = static_cast<int>(state.range(0));
    const Protein protein(atoms);
    double total = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(protein.sequence->GetSequence());
        total += Seconds(start);
    }
    PerAtom(state, total, atoms);
}
BENCHMARK(Sequence)->Arg(10000)->Arg(100000)->Arg(1000000)->ArgName("atoms")->Unit(benchmark::kMillisecond);

void IndexedResidues(benchmark::State& state)
{
    const auto atoms = static_cast<int>(state.range(0));
    const Protein protein(atoms);
    const ProteinSequence& sequence = *protein.sequence;
    double total = 0.0;
    for (auto _ : state) {
        OrdCollection residues;
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(sequence.GetResidues(residues));
        benchmark::DoNotOptimize(sequence.GetResidue(sequence.GetNumberOfResidues()));
        total += Seconds(start);
    }
    PerAtom(state, total, atoms);
}
BENCHMARK(IndexedResidues)->Arg(10000)->Arg(100000)->Arg(1000000)->ArgName("atoms")->Unit(benchmark::kMillisecond);

void UpdateCollections(benchmark::State& state)
{
    const auto atoms = static_cast<int>(state.range(0));
    Protein protein(atoms);
    TreeRoot& root = protein.root;
    // The first run makes the collections; the timed runs empty and refill them.
    const bench::HeapMark before = bench::MarkHeap();
    NamedCollections::Update(&root);
    const double bytes = bench::HeapSince(before);
    double total = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        NamedCollections::Update(&root);
        total += Seconds(start);
    }
    PerAtom(state, total, atoms);
    state.counters["collection_bytes_per_atom"] =
        std::max(bytes, 0.0) / static_cast<double>(atoms);
}
BENCHMARK(UpdateCollections)->Arg(10000)->Arg(100000)->Arg(1000000)->ArgName("atoms")->Unit(benchmark::kMillisecond);

void DrawStrand(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto style = static_cast<std::int32_t>(state.range(0));
    const int mode = static_cast<int>(state.range(1));
    constexpr int residues = 10000;
    const std::string codes = "ACGT";
    std::string strand;
    for (int i = 0; i < residues; ++i)
        strand.push_back(codes[static_cast<std::size_t>(i % 4)]);
    Molecule molecule(nullptr);
    auto* const chain = new NucleicAcidChain(&molecule);
    NucleotideBuilder::AddResidues(chain, strand);
    Chain::SetDisplayQuality(1);
    chain->SetDisplayStyle(style);
    double total = 0.0;
    std::size_t primitives = 0;
    for (auto _ : state) {
        DisplayList3D list(mode);
        const auto start = std::chrono::steady_clock::now();
        chain->Display(list);
        total += Seconds(start);
        primitives = list.GetSize();
    }
    state.counters["residues_per_s"] = residues * static_cast<double>(state.iterations()) / total;
    state.counters["primitives"] = static_cast<double>(primitives);
}
BENCHMARK(DrawStrand)
    ->ArgsProduct({{1, 2, 3, 4, 5, 6}, {DisplayList3D::normalMode, DisplayList3D::fastMode}})
    ->ArgNames({"style", "mode"})
    ->Unit(benchmark::kMillisecond);

} // namespace
