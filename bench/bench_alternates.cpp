// Alternate coordinates around document storage: packaging conformer models before a save and
// restoring them after a load, beside the save and load of the same document without alternates;
// putting k packaged objects back under one parent; the rotatable sides of every bond of a chain.
// Times per object (atom, restored object or bond) and heap bytes per atom.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/conformers/Conformation.h>
#include <tavrel/conformers/ConformationReference.h>
#include <tavrel/conformers/Conformer.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/conformers/ConformerBond.h>
#include <tavrel/conformers/ConformerHelper.h>
#include <tavrel/conformers/ConformerModel.h>
#include <tavrel/conformers/ConformerModelToken.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr int AtomsPerMolecule = 1000;
// Every tenth atom has alternates, in this many conformers besides the reference.
constexpr int SiteSpacing = 10;
constexpr int Conformers = 10;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Molecules of carbon chains; with alternates, one model per molecule over every tenth atom and its
// bond to the atom before it.
std::unique_ptr<ChemDoc> BuildDocument(int atoms, bool alternates)
{
    AttachDataModelDLL();
    auto document = std::make_unique<ChemDoc>();
    for (int m = 0; m < atoms / AtomsPerMolecule; ++m) {
        auto* const molecule = new Molecule(document->GetTreeRoot());
        std::vector<Atom3d*> chain;
        std::vector<Bond*> bonds;
        for (int i = 0; i < AtomsPerMolecule; ++i) {
            auto* const atom = new Atom3d(molecule, "C");
            atom->SetXYZ(Point3d(1.5 * i, 2.0 * m, 0.0));
            if (!chain.empty())
                bonds.push_back(chain.back()->MakeBond(atom, Bond::Single));
            chain.push_back(atom);
        }
        if (!alternates)
            continue;
        OrdCollection sites;
        OrdCollection siteBonds;
        for (int i = SiteSpacing; i < AtomsPerMolecule; i += SiteSpacing) {
            sites.Add(chain[static_cast<std::size_t>(i)]);
            siteBonds.Add(bonds[static_cast<std::size_t>(i - 1)]);
        }
        auto* const model = new ConformerModel(molecule, sites, siteBonds);
        for (int c = 1; c <= Conformers; ++c) {
            OrdCollection atomsOf;
            OrdCollection bondsOf;
            for (int i = SiteSpacing; i < AtomsPerMolecule; i += SiteSpacing) {
                auto* const alternate = new ConformerAtom(*chain[static_cast<std::size_t>(i)]);
                alternate->SetXYZ(chain[static_cast<std::size_t>(i)]->GetXYZ() + Point3d(0.0, 0.0, 0.1 * c));
                atomsOf.Add(alternate);
                bondsOf.Add(new ConformerBond(model, chain[static_cast<std::size_t>(i - 1)], alternate,
                                              bonds[static_cast<std::size_t>(i - 1)]));
            }
            Conformer* const conformer = model->CreateConformer(atomsOf, bondsOf);
            for (int k = 0; k < atomsOf.GetSize(); ++k) {
                atomsOf.GetAt(k)->SetParent(conformer);
                bondsOf.GetAt(k)->SetParent(conformer);
            }
        }
    }
    return document;
}

Bytes Save(ChemDoc& document)
{
    Archive archive;
    document.Serialize(archive);
    return archive.GetBuffer();
}

// The root record as a document reads it, without the document's steps after the load.
std::unique_ptr<TreeRoot> ReadRoot(const Bytes& bytes)
{
    Archive archive(bytes);
    ChemDoc::FindAndReadHeader(archive);
    std::uint32_t version = 0;
    std::uint32_t schema = 0;
    archive >> version >> schema;
    archive.SetObjectSchema(schema);
    CompressedPropertyArchive stream(archive);
    return std::unique_ptr<TreeRoot>(DynCast<TreeRoot>(Catalog::ReadProperties(stream)));
}

// The plain document saved and loaded, against the same document with alternates: its models
// converted and packaged (in the copy a save writes) and put back with the marked conformations
// deleted (in a loaded tree). Counters: nanoseconds per atom of each step, the ratio of packaging
// and restoring to the plain save and load, heap bytes per atom of the document with alternates.
void BM_PackagingAgainstSaveAndLoad(benchmark::State& state)
{
    const auto atoms = static_cast<int>(state.range(0));
    const bench::HeapMark heapBefore = bench::MarkHeap();
    const std::unique_ptr<ChemDoc> alternates = BuildDocument(atoms, true);
    const double heapPerAtom = bench::HeapSince(heapBefore) / atoms;
    const std::unique_ptr<ChemDoc> plain = BuildDocument(atoms, false);
    const Bytes withAlternates = Save(*alternates);
    ChemDoc::SetConvertConformations(true);
    double plainSeconds = 0.0;
    double packageSeconds = 0.0;
    double restoreSeconds = 0.0;
    double copySeconds = 0.0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        {
            const Bytes bytes = Save(*plain);
            ChemDoc loaded;
            Archive archive(bytes);
            loaded.Serialize(archive);
        }
        plainSeconds += Seconds(start);

        start = Clock::now();
        std::unique_ptr<TreeRoot> copy(DynCast<TreeRoot>(alternates->GetTreeRoot()->TreeCopy()));
        copySeconds += Seconds(start);
        ConformerHelper helper;
        start = Clock::now();
        helper.ConvertAllConformerModels(*copy, false);
        helper.PackageConformerModels(*copy);
        const double package = Seconds(start);
        copy.reset();

        const std::unique_ptr<TreeRoot> loaded = ReadRoot(withAlternates);
        start = Clock::now();
        if (helper.UnpackageConformerModels(*loaded))
            helper.DeleteAllConformationModels(*loaded, true);
        const double restore = Seconds(start);
        packageSeconds += package;
        restoreSeconds += restore;
        state.SetIterationTime(package + restore);
    }
    ChemDoc::SetConvertConformations(false);
    const double perAtom = 1e9 / (static_cast<double>(state.iterations()) * atoms);
    state.counters["plain_save_load_ns_per_atom"] = plainSeconds * perAtom;
    state.counters["package_ns_per_atom"] = packageSeconds * perAtom;
    state.counters["restore_ns_per_atom"] = restoreSeconds * perAtom;
    // The copy a save of a tree with conformer models is written from.
    state.counters["copy_ns_per_atom"] = copySeconds * perAtom;
    state.counters["ratio"] = (packageSeconds + restoreSeconds) / plainSeconds;
    state.counters["heap_bytes_per_atom"] = heapPerAtom;
    state.SetItemsProcessed(state.iterations() * atoms);
}

// k alternates of one conformer, packaged and put back under their one parent.
void BM_RestoreUnderOneParent(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto count = static_cast<int>(state.range(0));
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    auto* const site = new Atom3d(molecule, "C");
    OrdCollection sites;
    sites.Add(site);
    auto* const model = new ConformerModel(molecule, sites, OrdCollection());
    OrdCollection alternates;
    alternates.Add(new ConformerAtom(*site));
    Conformer* const conformer = model->CreateConformer(alternates, OrdCollection());
    alternates.GetAt(0)->SetParent(conformer);
    // The rest of the conformer's children: packaged with it, as jacks are.
    for (int i = 1; i < count; ++i)
        new ConformerAtom(conformer, "H");
    for (auto _ : state) {
        state.PauseTiming();
        auto* const token = new ConformerModelToken(&root);
        token->PackageConformerObjects(root);
        state.ResumeTiming();
        benchmark::DoNotOptimize(token->UnpackageConformerObjects());
        state.PauseTiming();
        delete token;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// The sides of every bond of a chain of n atoms, from a fresh record.
void BM_RotatableSides(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto count = static_cast<int>(state.range(0));
    const bench::HeapMark heapBefore = bench::MarkHeap();
    Molecule molecule(nullptr);
    Atom3d* previous = nullptr;
    for (int i = 0; i < count; ++i) {
        auto* const atom = new Atom3d(&molecule, "C");
        atom->SetXYZ(Point3d(1.5 * i, 0.0, 0.0));
        if (previous)
            previous->MakeBond(atom, Bond::Single);
        previous = atom;
    }
    Conformation user(nullptr, false);
    ConformationReference* const record = ConformationReference::Acquire(&molecule, &user);
    record->GetAtomCount();
    for (auto _ : state) {
        state.PauseTiming();
        record->SetStale();
        record->GetAtomCount();
        state.ResumeTiming();
        benchmark::DoNotOptimize(record->GetSideCount(count / 2));
    }
    state.counters["heap_bytes_per_atom"] = bench::HeapSince(heapBefore) / count;
    // For scale: one walk over the same atoms reading their bonds, what any pass over them costs.
    const Clock::time_point start = Clock::now();
    int bonds = 0;
    DescendentIterator walk(&molecule, Atom::classType, false);
    while (const Object* const atom = walk.GetNext()) {
        const auto* const bondable = static_cast<const Atom*>(atom);
        for (int i = 0; i < bondable->GetNumBonds(); ++i)
            bonds += bondable->GetBond(i)->GetAtom1() == bondable ? 1 : 0;
    }
    benchmark::DoNotOptimize(bonds);
    state.counters["walk_ns_per_atom"] = Seconds(start) * 1e9 / count;
    ConformationReference::Release(record, &user);
    state.SetItemsProcessed(state.iterations() * (count - 1));
}

} // namespace

BENCHMARK(BM_PackagingAgainstSaveAndLoad)->Arg(10000)->Arg(100000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RestoreUnderOneParent)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RotatableSides)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
