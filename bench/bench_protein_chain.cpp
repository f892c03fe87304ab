// Secondary-structure prediction by both methods and the ribbon, tube and schematic displays of a protein chain
// of 10^3 to 2 x 10^5 residues (10^6 atoms), in us per residue and residues per second. The protein repeats a unit of a
// 16-residue alpha helix and a four-stranded antiparallel sheet of strands of six, built from ideal
// geometry with amide hydrogens, each unit at its own place on a grid.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/biopolymers/SecondaryPredict.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/DisplayList3D.h>
#include <tavrel/document/DataModelLibrary.h>
#include "../tests/biopolymers/BackboneBuilder.h"

using namespace Tavrel;
using namespace BackboneBuilder;

namespace {

std::vector<BackboneAtoms> Unit()
{
    std::vector<BackboneAtoms> unit = Build(AlphaHelix, 16);
    std::vector<BackboneAtoms> strand = Build(Extended, 6);
    for (int s = 0; s < 4; ++s) {
        for (BackboneAtoms& atoms : strand) {
            // The sheet lies 30 above the helix.
            BackboneAtoms moved = atoms;
            for (Point3d* p : {&moved.n, &moved.ca, &moved.c, &moved.o, &moved.h})
                *p += Point3d(0.0, 0.0, 30.0);
            unit.push_back(moved);
        }
        // Residues 2 and 3 of a strand point their NH to opposite sides.
        strand = AntiparallelPartner(strand, s % 2 == 0 ? 2 : 3);
    }
    return unit;
}

// A bonded chain of about `residues` residues under the molecule.
AminoAcidChain* BuildProtein(Molecule& molecule, int residues)
{
    AttachDataModelDLL();
    const std::vector<BackboneAtoms> unit = Unit();
    auto* chain = new AminoAcidChain(&molecule);
    const int units = (residues + static_cast<int>(unit.size()) - 1) / static_cast<int>(unit.size());
    for (int u = 0; u < units; ++u) {
        const Point3d offset(60.0 * (u % 16), 60.0 * (u / 16 % 16), 60.0 * (u / 256));
        std::vector<BackboneAtoms> placed = unit;
        for (BackboneAtoms& atoms : placed) {
            for (Point3d* p : {&atoms.n, &atoms.ca, &atoms.c, &atoms.o, &atoms.h})
                *p += offset;
        }
        AddResidues(chain, placed, "ALA");
    }
    ResiduePool::GetResiduePool().ConstructResidueBonds(&molecule);
    return chain;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Predict(benchmark::State& state)
{
    const int method = static_cast<int>(state.range(0));
    Molecule molecule(nullptr);
    AminoAcidChain* chain = BuildProtein(molecule, static_cast<int>(state.range(1)));
    const auto residues = static_cast<double>(chain->GetNumChildren(AminoAcid::classType));
    SecondaryPredict predict;
    predict.SetMethod(method);
    predict.SetPredictTurns(true);
    double total = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(predict.Predict(chain));
        total += Seconds(start);
    }
    state.counters["us_per_residue"] = total * 1e6 / (residues * static_cast<double>(state.iterations()));
    state.counters["residues"] = residues;
}
BENCHMARK(Predict)
    ->ArgsProduct({{0, 1}, {1000, 10000, 100000, 200000}})
    ->ArgNames({"method", "residues"})
    ->Unit(benchmark::kMillisecond);

void Draw(benchmark::State& state)
{
    const auto style = static_cast<std::int32_t>(state.range(0));
    Molecule molecule(nullptr);
    AminoAcidChain* chain = BuildProtein(molecule, static_cast<int>(state.range(1)));
    const auto residues = static_cast<double>(chain->GetNumChildren(AminoAcid::classType));
    Chain::SetDisplayQuality(1);
    chain->CalcSecondaryStructure();
    chain->SetDisplayStyle(style);
    chain->SetColorScheme("Secondary Type");
    double total = 0.0;
    std::size_t primitives = 0;
    for (auto _ : state) {
        DisplayList3D list;
        const auto start = std::chrono::steady_clock::now();
        chain->Display(list);
        total += Seconds(start);
        primitives = list.GetSize();
    }
    state.counters["residues_per_s"] = residues * static_cast<double>(state.iterations()) / total;
    state.counters["us_per_residue"] = total * 1e6 / (residues * static_cast<double>(state.iterations()));
    state.counters["primitives"] = static_cast<double>(primitives);
}
BENCHMARK(Draw)
    ->ArgsProduct({{AminoAcidChain::RibbonLine, AminoAcidChain::RibbonFlat, AminoAcidChain::RibbonTube,
                    AminoAcidChain::Tube, AminoAcidChain::Schematic},
                   {1000, 10000, 100000, 200000}})
    ->ArgNames({"style", "residues"})
    ->Unit(benchmark::kMillisecond);

} // namespace
