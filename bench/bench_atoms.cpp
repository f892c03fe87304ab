// A protein-like structure (atoms under molecules under a root, about 1.05 bonds per atom, each atom
// with a short label, an element, a partial charge and a position) at 10^4, 10^5 and 10^6 atoms: heap
// bytes per atom, creation, document save and load in atoms/s (with the load's user and kernel CPU time
// and its page faults per atom: the kernel's share is the first touch of the loaded document's memory),
// and the fragment walk per atom.
#include <benchmark/benchmark.h>


#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {


constexpr int AtomsPerMolecule = 1000;
const char* const Labels[] = {"N", "CA", "C", "O", "CB"};
const char* const Symbols[] = {"N", "C", "C", "O", "C"};


// A chain per molecule, with a ring closure every 20 atoms.
void Build(ChemDoc& document, int atoms)
{
    for (int first = 0; first < atoms; first += AtomsPerMolecule) {
        auto* const molecule = new Molecule(document.GetTreeRoot());
        std::vector<Atom3d*> chain;
        chain.reserve(AtomsPerMolecule);
        for (int i = 0; i < AtomsPerMolecule && first + i < atoms; ++i) {
            auto* const atom = new Atom3d(molecule, Symbols[i % 5]);
            atom->SetLabel(Labels[i % 5]);
            atom->SetCharge(0.01 * (i % 7) - 0.03);
            atom->SetXYZ(Point3d(0.1f * static_cast<float>(i), 0.2f * static_cast<float>(i % 13), 0.3f));
            if (i > 0)
                chain[i - 1]->MakeBond(atom, Bond::Single);
            if (i % 20 == 19)
                chain[i - 5]->MakeBond(atom, Bond::Single);
            chain.push_back(atom);
        }
    }
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void ProteinLikeStructure(benchmark::State& state)
{
    AttachDataModelDLL();
    const int atoms = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const bench::HeapMark before = bench::MarkHeap();
        auto start = std::chrono::steady_clock::now();
        auto document = std::make_unique<ChemDoc>();
        Build(*document, atoms);
        const double create = Seconds(start);
        const double bytes = bench::HeapSince(before);

        // Save and load time the document's own work, as bench_document does: the saved bytes are
        // copied out after the save's clock stops, and the load reads them in place.
        start = std::chrono::steady_clock::now();
        Archive saving;
        document->Serialize(saving);
        const double save = Seconds(start);
        const std::vector<std::uint8_t> file = saving.GetBuffer();

        const auto workBefore = bench::ProcessWork::Now();
        start = std::chrono::steady_clock::now();
        auto loaded = std::make_unique<ChemDoc>();
        Archive archive{std::span<const std::uint8_t>(file)};
        loaded->Serialize(archive);
        const double load = Seconds(start);
        const auto loadWork = bench::ProcessWork::Now() - workBefore;

        start = std::chrono::steady_clock::now();
        std::int64_t reached = 0;
        TreeRoot* const root = loaded->GetTreeRoot();
        for (int m = 0; m < root->GetNumChildren(); ++m) {
            const auto* const first = DynCast<Atom3d>(root->GetChild(m)->GetChild(0));
            if (!first)
                continue;
            SetCollection fragment;
            SetCollection bonds;
            first->GetFragment(&fragment, &bonds, nullptr, nullptr, false);
            reached += fragment.GetNumItems();
        }
        const double walk = Seconds(start);
        if (reached != atoms)
            state.SkipWithError("the loaded fragments do not hold every atom");

        state.counters["heap_bytes_per_atom"] = bytes / atoms;
        state.counters["create_atoms_per_s"] = atoms / create;
        state.counters["save_atoms_per_s"] = atoms / save;
        state.counters["load_atoms_per_s"] = atoms / load;
        state.counters["load_user_ns_per_atom"] = loadWork.userSeconds * 1e9 / atoms;
        state.counters["load_kernel_ns_per_atom"] = loadWork.kernelSeconds * 1e9 / atoms;
        state.counters["load_page_faults_per_atom"] = loadWork.pageFaults / atoms;
        state.counters["fragment_ns_per_atom"] = walk * 1e9 / atoms;
        state.counters["file_bytes_per_atom"] = static_cast<double>(file.size()) / atoms;
    }
}
BENCHMARK(ProteinLikeStructure)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
