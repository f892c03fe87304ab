// Saving and loading documents of bonded atoms beside documents of plain positioned objects, in one run:
// 1,000 molecules of 100 bonded atoms, one bonded chain of 10^5 atoms, and 1,000 groups of 100 plain
// positioned objects. Reports objects per second and ns per object (atoms, bonds and containers all
// count as objects).
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

const char* const Symbols[] = {"N", "C", "C", "O", "C"};

enum Shape { Molecules = 0, Chain = 1, Positioned = 2 };

struct Document {
    std::unique_ptr<ChemDoc> document;
    double objects = 0.0;
};

// Molecules of `atoms` atoms, each atom bonded to the one before it.
void AddMolecules(ChemDoc& document, int molecules, int atoms, double& objects)
{
    for (int m = 0; m < molecules; ++m) {
        auto* const molecule = new Molecule(document.GetTreeRoot());
        Atom3d* previous = nullptr;
        for (int i = 0; i < atoms; ++i) {
            auto* const atom = new Atom3d(molecule, Symbols[i % 5]);
            atom->SetLabel(std::string("A").append(std::to_string(i)));
            atom->SetCharge(0.01 * (i % 7) - 0.03);
            atom->SetXYZ(Point3d(0.1 * i, 0.2 * (i % 13), 0.3));
            if (previous)
                previous->MakeBond(atom, Bond::Single);
            previous = atom;
        }
        objects += 1.0 + atoms + (atoms - 1);
    }
}

Document& GetDocument(Shape shape)
{
    static std::map<Shape, Document> documents;
    Document& made = documents[shape];
    if (made.document)
        return made;
    if (shape == Positioned) {
        made.document = bench::BuildAtomDocument(1000, 100);
        made.objects = 1000.0 * 101.0;
    } else {
        AttachDataModelDLL();
        made.document = std::make_unique<ChemDoc>();
        if (shape == Molecules)
            AddMolecules(*made.document, 1000, 100, made.objects);
        else
            AddMolecules(*made.document, 1, 100'000, made.objects);
    }
    made.objects += 1.0;  // the root
    return made;
}

std::vector<std::uint8_t> Save(const Document& document)
{
    Archive archive;
    document.document->Serialize(archive);
    return archive.GetBuffer();
}

void Report(benchmark::State& state, const Document& document)
{
    const double objects = document.objects * static_cast<double>(state.iterations());
    state.counters["objects_per_s"] = benchmark::Counter(objects, benchmark::Counter::kIsRate);
    state.counters["ns_per_object"] =
        benchmark::Counter(objects, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void SaveBonded(benchmark::State& state)
{
    const Document& document = GetDocument(static_cast<Shape>(state.range(0)));
    for (auto _ : state) {
        Archive archive;
        document.document->Serialize(archive);
        benchmark::DoNotOptimize(archive.GetBuffer().data());
    }
    Report(state, document);
}
BENCHMARK(SaveBonded)->ArgName("molecules0_chain1_positioned2")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void LoadBonded(benchmark::State& state)
{
    const Document& document = GetDocument(static_cast<Shape>(state.range(0)));
    const std::vector<std::uint8_t> file = Save(document);
    for (auto _ : state) {
        auto loaded = std::make_unique<ChemDoc>();
        Archive archive{std::span<const std::uint8_t>(file)};
        loaded->Serialize(archive);
        state.PauseTiming();
        loaded.reset();
        state.ResumeTiming();
    }
    Report(state, document);
}
BENCHMARK(LoadBonded)->ArgName("molecules0_chain1_positioned2")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

} // namespace
