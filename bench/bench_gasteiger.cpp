// Gasteiger charges, typing included, in atoms/s: a protein of 10^4, 10^5 and 10^6 atoms (BenchProtein:
// side-chain hydrogens implicit), and 10^4 small molecules with explicit hydrogens calculated one by
// one.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/GasteigerCharge.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/TreeRoot.h>
#include "BenchProtein.h"

using namespace Tavrel;

namespace {

// Charges over a whole structure, stored in its atoms; atoms/s should stay flat from 10^4 to 10^6.
void BM_GasteigerStructure(benchmark::State& state)
{
    TreeRoot root;
    const bench::Protein protein = bench::BuildTiledProtein(&root, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const GasteigerCharge charges(&root, true);
        benchmark::DoNotOptimize(charges.GetTotalCharge());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(protein.atoms));
}
BENCHMARK(BM_GasteigerStructure)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Acetate (7 atoms), ethanol (9), benzene (12) and nitromethane (7), in turn.
int BuildSmallMolecule(Molecule& molecule, int kind)
{
    const auto add = [&molecule](const char* symbol, Atom3d* to = nullptr, Bond::BondType type = Bond::Single) {
        auto* const atom = new Atom3d(&molecule, symbol);
        if (to)
            to->MakeBond(atom, type);
        return atom;
    };
    const auto hydrogens = [&add](Atom3d* atom, int count) {
        for (int i = 0; i < count; ++i)
            add("H", atom);
    };
    switch (kind % 4) {
    case 0: {
        Atom3d* const methyl = add("C");
        Atom3d* const carboxyl = add("C", methyl);
        add("O", carboxyl, Bond::Double);
        add("O", carboxyl)->SetFormalCharge(-1, 1);
        hydrogens(methyl, 3);
        return 7;
    }
    case 1: {
        Atom3d* const c1 = add("C");
        Atom3d* const c2 = add("C", c1);
        Atom3d* const o = add("O", c2);
        hydrogens(c1, 3);
        hydrogens(c2, 2);
        hydrogens(o, 1);
        return 9;
    }
    case 2: {
        Atom3d* const first = add("C");
        Atom3d* previous = first;
        for (int i = 1; i < 6; ++i)
            previous = add("C", previous, Bond::Aromatic);
        previous->MakeBond(first, Bond::Aromatic);
        for (int i = 0; i < molecule.GetNumChildren(); ++i) {
            if (auto* const atom = DynCast<Atom3d>(molecule.GetChild(i)); atom && atom->GetElementType() == 6)
                hydrogens(atom, 1);
        }
        return 12;
    }
    default: {
        Atom3d* const n = add("N");
        n->SetFormalCharge(1, 1);
        add("O", n, Bond::Double);
        add("O", n)->SetFormalCharge(-1, 1);
        hydrogens(add("C", n), 3);
        return 7;
    }
    }
}

void BM_GasteigerSmallMolecules(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto molecules = static_cast<int>(state.range(0));
    TreeRoot root;
    std::vector<Molecule*> all;
    int atoms = 0;
    for (int i = 0; i < molecules; ++i) {
        all.push_back(new Molecule(&root));
        atoms += BuildSmallMolecule(*all.back(), i);
    }
    for (auto _ : state) {
        for (Molecule* molecule : all) {
            const GasteigerCharge charges(molecule, true);
            benchmark::DoNotOptimize(charges.GetTotalCharge());
        }
    }
    state.SetItemsProcessed(state.iterations() * atoms);
}
BENCHMARK(BM_GasteigerSmallMolecules)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace
