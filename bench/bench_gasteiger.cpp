// Gasteiger charges, typing included, in atoms/s: one structure of 10^4 to 10^5 atoms (peptide-like
// heavy atoms whose hydrogens are implicit, under molecules of 1000 atoms), and 10^4 small molecules
// with explicit hydrogens calculated one by one.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/GasteigerCharge.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/TreeRoot.h>

using namespace Tavrel;

namespace {

constexpr int AtomsPerMolecule = 1000;

// Residues N-CA(-CB)-C(=O) joined by peptide bonds, every fifth residue a charged lysine-like amine.
void BuildStructure(TreeRoot& root, int atoms)
{
    for (int first = 0; first < atoms; first += AtomsPerMolecule) {
        auto* const molecule = new Molecule(&root);
        Atom3d* previousCarbonyl = nullptr;
        const int count = std::min(AtomsPerMolecule, atoms - first);
        for (int i = 0; i + 5 <= count; i += 5) {
            auto* const n = new Atom3d(molecule, "N");
            auto* const ca = new Atom3d(molecule, "C");
            auto* const c = new Atom3d(molecule, "C");
            auto* const o = new Atom3d(molecule, "O");
            auto* const cb = new Atom3d(molecule, (i / 5) % 5 == 4 ? "N" : "C");
            n->MakeBond(ca, Bond::Single);
            ca->MakeBond(c, Bond::Single);
            c->MakeBond(o, Bond::Double);
            ca->MakeBond(cb, Bond::Single);
            if ((i / 5) % 5 == 4)
                cb->SetFormalCharge(1, 1);
            if (previousCarbonyl)
                previousCarbonyl->MakeBond(n, Bond::Single);
            previousCarbonyl = c;
        }
        for (int i = count - count % 5; i < count; ++i)
            new Atom3d(molecule, "C");
    }
}

void BM_GasteigerStructure(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto atoms = static_cast<int>(state.range(0));
    TreeRoot root;
    BuildStructure(root, atoms);
    for (auto _ : state) {
        const GasteigerCharge charges(&root, true);
        benchmark::DoNotOptimize(charges.GetTotalCharge());
    }
    state.SetItemsProcessed(state.iterations() * atoms);
}
BENCHMARK(BM_GasteigerStructure)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

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
