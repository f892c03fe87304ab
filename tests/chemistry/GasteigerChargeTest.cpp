#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/GasteigerCharge.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>

using namespace Tavrel;

namespace {

class GasteigerChargeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    Atom3d* Add(const char* symbol, std::int32_t formalCharge = 0)
    {
        auto* const atom = new Atom3d(molecule.get(), symbol);
        if (formalCharge != 0)
            atom->SetFormalCharge(formalCharge, 1);
        return atom;
    }
    Atom3d* AddHydrogens(Atom3d* atom, int count)
    {
        for (int i = 0; i < count; ++i)
            atom->MakeBond(Add("H"), Bond::Single);
        return atom;
    }
    // The charges of all atoms add up to the reported total.
    void ExpectChargesSumToTotal(const GasteigerCharge& charges) const
    {
        double sum = 0.0;
        for (int i = 0; i < molecule->GetNumChildren(); ++i) {
            if (const Atom* atom = DynCast<Atom>(molecule->GetChild(i)))
                sum += charges.GetCharge(atom);
        }
        EXPECT_NEAR(sum, charges.GetTotalCharge(), 1e-5);
    }

    std::unique_ptr<Molecule> molecule = std::make_unique<Molecule>(nullptr);
};

// Exposes the recalculation of an existing result.
struct Recalculation : GasteigerCharge {
    using GasteigerCharge::Calculate;
    using GasteigerCharge::GasteigerCharge;
};

TEST_F(GasteigerChargeTest, MethaneAndWaterBalanceWithSymmetricHydrogens)
{
    Atom3d* const carbon = AddHydrogens(Add("C"), 4);
    const GasteigerCharge methane(molecule.get(), true);
    ASSERT_TRUE(methane.IsCalculated());
    EXPECT_EQ(methane.GetNumAtoms(), 5);
    EXPECT_NEAR(methane.GetTotalCharge(), 0.0, 1e-9);
    EXPECT_NEAR(methane.GetCharge(carbon), -0.078, 0.001);
    const float hydrogen = methane.GetCharge(static_cast<Atom*>(carbon->GetAttached(0)));
    for (int i = 0; i < 4; ++i) {
        const auto* const h = static_cast<Atom*>(carbon->GetAttached(i));
        EXPECT_FLOAT_EQ(methane.GetCharge(h), hydrogen);
        EXPECT_FLOAT_EQ(static_cast<float>(h->GetCharge()), hydrogen);
    }
    float minimum = 0.0f;
    float maximum = 0.0f;
    methane.GetMinMaxCharge(minimum, maximum);
    EXPECT_FLOAT_EQ(minimum, methane.GetCharge(carbon));
    EXPECT_FLOAT_EQ(maximum, hydrogen);
    ExpectChargesSumToTotal(methane);

    // Water with explicit hydrogens, then an oxygen alone whose two hydrogens are implicit: the same
    // total, and the lone oxygen reports its hydrogens' charges folded in.
    molecule = std::make_unique<Molecule>(nullptr);
    Atom3d* const oxygen = AddHydrogens(Add("O"), 2);
    const GasteigerCharge water(molecule.get(), false);
    EXPECT_LT(water.GetCharge(oxygen), -0.3f);
    EXPECT_FLOAT_EQ(water.GetCharge(static_cast<Atom*>(oxygen->GetAttached(0))),
                    water.GetCharge(static_cast<Atom*>(oxygen->GetAttached(1))));
    EXPECT_NEAR(water.GetTotalCharge(), 0.0, 1e-9);
    EXPECT_EQ(oxygen->GetCharge(), 0.0);  // not stored
    Atom3d* const lone = Add("O");
    OrdCollection justTheOxygen;
    justTheOxygen.Add(lone);
    const GasteigerCharge implicit(&justTheOxygen, true);
    EXPECT_NEAR(implicit.GetCharge(lone), 0.0, 1e-6);
    EXPECT_NEAR(implicit.GetTotalCharge(), 0.0, 1e-9);
    float lowest = 0.0f;
    float highest = 0.0f;
    implicit.GetMinMaxCharge(lowest, highest);
    EXPECT_FLOAT_EQ(lowest, water.GetCharge(oxygen));  // the entries themselves, before folding
    EXPECT_EQ(implicit.GetCharge(oxygen), 0.0f);      // not part of that calculation
}

TEST_F(GasteigerChargeTest, IonsAndChargedGroupsCarryTheirCharge)
{
    // An isolated chloride and sodium cation; an isolated neutral carbon stays uncharged.
    Atom3d* const chloride = Add("Cl", -1);
    const GasteigerCharge ion(molecule.get(), true);
    EXPECT_FLOAT_EQ(ion.GetCharge(chloride), -1.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(chloride->GetCharge()), -1.0f);
    EXPECT_FLOAT_EQ(ion.GetTotalCharge(), -1.0f);

    // Acetate drawn with one charged oxygen: both oxygens share the charge equally.
    molecule = std::make_unique<Molecule>(nullptr);
    Atom3d* const methyl = Add("C");
    Atom3d* const carboxyl = Add("C");
    Atom3d* const o1 = Add("O");
    Atom3d* const o2 = Add("O", -1);
    methyl->MakeBond(carboxyl, Bond::Single);
    carboxyl->MakeBond(o1, Bond::Double);
    carboxyl->MakeBond(o2, Bond::Single);
    const GasteigerCharge acetate(molecule.get(), true);
    EXPECT_NEAR(acetate.GetTotalCharge(), -1.0, 1e-6);
    EXPECT_NEAR(acetate.GetCharge(o1), acetate.GetCharge(o2), 1e-6);
    EXPECT_LT(acetate.GetCharge(o1), -0.5f);
    ExpectChargesSumToTotal(acetate);

    // Nitromethane drawn with separated charges: a neutral total, equal oxygens.
    molecule = std::make_unique<Molecule>(nullptr);
    Atom3d* const nitrogen = Add("N", 1);
    Atom3d* const n1 = Add("O");
    Atom3d* const n2 = Add("O", -1);
    nitrogen->MakeBond(Add("C"), Bond::Single);
    nitrogen->MakeBond(n1, Bond::Double);
    nitrogen->MakeBond(n2, Bond::Single);
    nitrogen->SetHybridization(Atom::PerceiveRequest);
    const GasteigerCharge nitro(molecule.get(), false);
    EXPECT_NEAR(nitro.GetTotalCharge(), 0.0, 1e-6);
    EXPECT_NEAR(nitro.GetCharge(n1), nitro.GetCharge(n2), 1e-6);
    EXPECT_GT(nitro.GetCharge(nitrogen), 0.5f);
}

// Whole molecules drawn without hydrogens, bonds made in the order listed, each atom's charge (its
// implicit hydrogens folded in) against the method worked through by hand: the ether and ester oxygens
// and the carbons beyond an Sp2 atom use the Sp3 parameters; the amide nitrogen the Sp2 ones.
TEST_F(GasteigerChargeTest, WholeMoleculesMatchTheMethodAtomByAtom)
{
    struct Drawn {
        const char* symbol;
        std::int32_t formalCharge;
        double expected;
    };
    struct Link {
        int from;
        int to;
        Bond::BondType type;
    };
    struct Case {
        const char* name;
        std::vector<Drawn> atoms;
        std::vector<Link> bonds;
        double total;
    };
    const std::vector<Case> cases{
        {"methyl vinyl ether",
         {{"C", 0, 0.0357}, {"C", 0, 0.1201}, {"O", 0, -0.3576}, {"C", 0, 0.2018}},
         {{0, 1, Bond::Double}, {1, 2, Bond::Single}, {2, 3, Bond::Single}},
         0.0},
        {"methyl acetate",
         {{"C", 0, 0.1230}, {"C", 0, 0.2574}, {"O", 0, -0.2669}, {"O", 0, -0.3196}, {"C", 0, 0.2062}},
         {{0, 1, Bond::Single}, {1, 2, Bond::Double}, {1, 3, Bond::Single}, {3, 4, Bond::Single}},
         0.0},
        {"hex-1-ene",
         {{"C", 0, 0.0038}, {"C", 0, -0.0347}, {"C", 0, 0.0265}, {"C", 0, 0.0038}, {"C", 0, -0.0031}, {"C", 0, 0.0037}},
         {{0, 1, Bond::Double}, {1, 2, Bond::Single}, {2, 3, Bond::Single}, {3, 4, Bond::Single}, {4, 5, Bond::Single}},
         0.0},
        {"N-methylacetamide",
         {{"C", 0, 0.1138}, {"C", 0, 0.2161}, {"O", 0, -0.2754}, {"N", 0, -0.1969}, {"C", 0, 0.1423}},
         {{0, 1, Bond::Single}, {1, 2, Bond::Double}, {1, 3, Bond::Single}, {3, 4, Bond::Single}},
         0.0},
        {"acetate",
         {{"C", 0, 0.0973}, {"C", 0, 0.1827}, {"O", 0, -0.6400}, {"O", -1, -0.6400}},
         {{0, 1, Bond::Single}, {1, 2, Bond::Double}, {1, 3, Bond::Single}},
         -1.0},
    };
    for (const Case& drawn : cases) {
        SCOPED_TRACE(drawn.name);
        molecule = std::make_unique<Molecule>(nullptr);
        std::vector<Atom3d*> atoms;
        for (const Drawn& atom : drawn.atoms)
            atoms.push_back(Add(atom.symbol, atom.formalCharge));
        for (const Link& bond : drawn.bonds)
            atoms[static_cast<std::size_t>(bond.from)]->MakeBond(atoms[static_cast<std::size_t>(bond.to)], bond.type);
        const GasteigerCharge charges(molecule.get(), true);
        ASSERT_TRUE(charges.IsCalculated());
        for (std::size_t i = 0; i < atoms.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(charges.GetCharge(atoms[i]), drawn.atoms[i].expected, 5e-4);
            EXPECT_NEAR(atoms[i]->GetCharge(), drawn.atoms[i].expected, 5e-4);
        }
        EXPECT_NEAR(charges.GetTotalCharge(), drawn.total, 1e-6);
    }
}

// Pyrrole, oxazole-like furan and pyridinium, each drawn with aromatic bonds and in Kekulé form.
TEST_F(GasteigerChargeTest, AromaticHeteroatomsGainNoSpuriousCharge)
{
    const auto ring = [this](const char* hetero, std::int32_t charge, bool aromatic, bool hydrogenOnHetero) {
        molecule = std::make_unique<Molecule>(nullptr);
        std::vector<Atom3d*> atoms{Add(hetero, charge)};
        const int size = std::string_view(hetero) == "N" && !hydrogenOnHetero ? 6 : 5;
        for (int i = 1; i < size; ++i)
            atoms.push_back(Add("C"));
        for (int i = 0; i < size; ++i) {
            const bool isDouble = size == 6 ? i % 2 == 1 : i == 1 || i == 3;
            atoms[static_cast<std::size_t>(i)]->MakeBond(atoms[static_cast<std::size_t>((i + 1) % size)],
                                                         aromatic ? Bond::Aromatic : isDouble ? Bond::Double : Bond::Single);
        }
        if (hydrogenOnHetero)
            AddHydrogens(atoms[0], 1);
        if (size == 6)
            atoms[0]->MakeBond(Add("C"), Bond::Single);  // N-methylpyridinium
        for (std::size_t i = 1; i < atoms.size(); ++i)
            AddHydrogens(atoms[i], 1);
        return GasteigerCharge(molecule.get(), false).GetTotalCharge();
    };
    for (const bool aromatic : {false, true}) {
        SCOPED_TRACE(aromatic ? "aromatic" : "kekule");
        EXPECT_NEAR(ring("N", 0, aromatic, true), 0.0, 1e-6);  // pyrrole
        EXPECT_NEAR(ring("O", 0, aromatic, false), 0.0, 1e-6); // furan
        EXPECT_NEAR(ring("N", 1, aromatic, false), 1.0, 1e-6); // N-methylpyridinium
    }
}

// Methylammonium drawn with its hydrogens, then with them implicit: the entries are the same and in
// the same order, so the extremes and total agree, and each heavy atom carries its hydrogens' charges.
TEST_F(GasteigerChargeTest, ImplicitHydrogensTakePartAsDrawnOnes)
{
    Atom3d* const carbon = Add("C");
    Atom3d* const nitrogen = Add("N", 1);
    carbon->MakeBond(nitrogen, Bond::Single);
    AddHydrogens(carbon, 3);
    AddHydrogens(nitrogen, 3);
    const GasteigerCharge drawn(molecule.get(), false);
    const auto withHydrogens = [&drawn](const Atom3d* atom) {
        double sum = drawn.GetCharge(atom);
        for (int i = 1; i < atom->GetNumAttached(); ++i)
            sum += drawn.GetCharge(static_cast<const Atom*>(atom->GetAttached(i)));
        return sum;
    };
    const double carbonGroup = withHydrogens(carbon);
    const double nitrogenGroup = withHydrogens(nitrogen);

    molecule = std::make_unique<Molecule>(nullptr);
    Atom3d* const methyl = Add("C");
    Atom3d* const ammonium = Add("N", 1);
    methyl->MakeBond(ammonium, Bond::Single);
    const GasteigerCharge implicit(molecule.get(), true);
    ASSERT_TRUE(implicit.IsCalculated());
    EXPECT_EQ(implicit.GetNumAtoms(), 2);
    EXPECT_NEAR(implicit.GetCharge(methyl), carbonGroup, 1e-6);
    EXPECT_NEAR(implicit.GetCharge(ammonium), nitrogenGroup, 1e-6);
    EXPECT_FLOAT_EQ(static_cast<float>(ammonium->GetCharge()), implicit.GetCharge(ammonium));
    EXPECT_FLOAT_EQ(implicit.GetTotalCharge(), drawn.GetTotalCharge());
    float minimum[2] = {};
    float maximum[2] = {};
    drawn.GetMinMaxCharge(minimum[0], maximum[0]);
    implicit.GetMinMaxCharge(minimum[1], maximum[1]);
    EXPECT_FLOAT_EQ(minimum[1], minimum[0]);
    EXPECT_FLOAT_EQ(maximum[1], maximum[0]);
}

// A member listed twice is taken where it is listed last; its earlier place is one more entry that
// follows the same course, bonded in one direction only. The atoms' charges are those without the
// repeat, and the total grows by the repeated atom's charge.
TEST_F(GasteigerChargeTest, ARepeatedMemberLeavesTheAtomsChargesAlone)
{
    Atom3d* const carbon = Add("C");
    Atom3d* const oxygen = Add("O");
    carbon->MakeBond(oxygen, Bond::Single);
    OrdCollection once;
    once.Add(oxygen);
    once.Add(carbon);
    OrdCollection repeated(once);
    repeated.Add(carbon);
    const GasteigerCharge plain(&once, false);
    const GasteigerCharge twice(&repeated, false);
    ASSERT_TRUE(twice.IsCalculated());
    EXPECT_EQ(twice.GetNumAtoms(), 3);
    EXPECT_FLOAT_EQ(twice.GetCharge(oxygen), plain.GetCharge(oxygen));
    EXPECT_FLOAT_EQ(twice.GetCharge(carbon), plain.GetCharge(carbon));
    EXPECT_NEAR(twice.GetTotalCharge(), plain.GetTotalCharge() + plain.GetCharge(carbon), 1e-6);
}

// Atoms far apart in memory (each with other allocations between it and the next) take the charges
// of the same chain made in one go.
TEST_F(GasteigerChargeTest, AtomsScatteredInMemoryTakeTheirOwnCharges)
{
    constexpr int Length = 300;
    const auto chain = [](Molecule& parent, std::vector<std::vector<char>>* spacers) {
        std::vector<Atom3d*> atoms;
        for (int i = 0; i < Length; ++i) {
            if (spacers)
                spacers->emplace_back(std::size_t{1} << (12 + i % 6));
            atoms.push_back(new Atom3d(&parent, i % 3 == 2 ? "O" : "C"));
            if (i > 0)
                atoms[static_cast<std::size_t>(i) - 1]->MakeBond(atoms.back(), Bond::Single);
        }
        return atoms;
    };
    Molecule compact(nullptr);
    Molecule scattered(nullptr);
    std::vector<std::vector<char>> spacers;
    const std::vector<Atom3d*> expected = chain(compact, nullptr);
    const std::vector<Atom3d*> atoms = chain(scattered, &spacers);
    const GasteigerCharge reference(&compact, false);
    const GasteigerCharge charges(&scattered, false);
    ASSERT_TRUE(charges.IsCalculated());
    for (std::size_t i = 0; i < atoms.size(); ++i)
        ASSERT_EQ(charges.GetCharge(atoms[i]), reference.GetCharge(expected[i])) << i;
    EXPECT_EQ(charges.GetCharge(expected[0]), 0.0f);
}

// Each stored charge is announced; a listener that deletes another atom of the calculation meanwhile
// leaves that atom out and the others stored.
TEST_F(GasteigerChargeTest, StoringSurvivesAListenerDeletingAtoms)
{
    Atom3d* const carbon = Add("C");
    Atom3d* const oxygen = Add("O");
    carbon->MakeBond(oxygen, Bond::Single);
    static Atom3d* victim = nullptr;
    victim = Add("N");
    oxygen->MakeBond(victim, Bond::Single);
    molecule->RegisterEvent(Object::classType, Object::EventPropertySet, [](Event&) { delete std::exchange(victim, nullptr); },
                            true, nullptr, "Partial Charge");
    const GasteigerCharge charges(molecule.get(), true);
    ASSERT_TRUE(charges.IsCalculated());
    EXPECT_EQ(victim, nullptr);
    EXPECT_EQ(charges.GetNumAtoms(), 3);
    EXPECT_FLOAT_EQ(static_cast<float>(carbon->GetCharge()), charges.GetCharge(carbon));
    EXPECT_FLOAT_EQ(static_cast<float>(oxygen->GetCharge()), charges.GetCharge(oxygen));
    EXPECT_NE(carbon->GetCharge(), 0.0);
}

TEST_F(GasteigerChargeTest, RefusedInputClearsResultsAndSaysSo)
{
    Atom3d* const carbon = AddHydrogens(Add("C"), 4);
    OrdCollection atoms;
    for (int i = 0; i < molecule->GetNumChildren(); ++i) {
        if (auto* const atom = DynCast<Atom3d>(molecule->GetChild(i)))
            atoms.Add(atom);
    }
    Recalculation charges(&atoms, true);
    ASSERT_TRUE(charges.IsCalculated());
    ASSERT_NE(charges.GetCharge(carbon), 0.0f);

    // A bond in the collection: nothing computed, the earlier results gone.
    OrdCollection withBond;
    withBond.Add(carbon);
    withBond.Add(carbon->GetBond(0));
    EXPECT_FALSE(charges.Calculate(&withBond, true));
    EXPECT_FALSE(charges.IsCalculated());
    EXPECT_EQ(charges.GetNumAtoms(), 2);
    EXPECT_EQ(charges.GetCharge(carbon), 0.0f);
    EXPECT_EQ(charges.GetTotalCharge(), 0.0f);

    // Ten neighbours are taken; eleven, or nine bonded plus missing hydrogens, are refused.
    Atom3d* const centre = Add("C");
    for (int i = 0; i < 10; ++i)
        centre->MakeBond(Add("H"), Bond::Single);
    EXPECT_TRUE(GasteigerCharge(molecule.get(), false).IsCalculated());
    centre->MakeBond(Add("H"), Bond::Single);
    const GasteigerCharge crowded(molecule.get(), false);
    EXPECT_FALSE(crowded.IsCalculated());
    EXPECT_EQ(crowded.GetNumAtoms(), 17);
    molecule = std::make_unique<Molecule>(nullptr);
    Atom3d* const ionic = Add("C");
    for (int i = 0; i < 9; ++i)
        ionic->MakeBond(Add("Na", 1), Bond::Ionic);
    ASSERT_EQ(ionic->GetNumHydrogensToAdd(), 4);
    EXPECT_FALSE(GasteigerCharge(molecule.get(), false).IsCalculated());

    // No atoms at all.
    OrdCollection empty;
    EXPECT_FALSE(GasteigerCharge(&empty, false).IsCalculated());
    EXPECT_FALSE(GasteigerCharge(static_cast<Object*>(nullptr), false).IsCalculated());
}

} // namespace

namespace {

// Groups of atoms under one root, each group's atoms before its bonds as a structure file gives
// them: chains of the common elements with rings, every bond type, formal charges, missing
// hydrogens, bonds between groups (made in either group) and one to an atom outside the root.
std::vector<Atom3d*> BuildGroups(Object& root, Molecule& outside)
{
    std::uint32_t state = 2024;
    const auto next = [&state](std::uint32_t range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % range;
    };
    constexpr const char* Symbols[] = {"C", "C", "C", "C", "N", "N", "O", "O", "S", "P", "H", "Cl"};
    constexpr Bond::BondType Types[] = {Bond::Single, Bond::Single, Bond::Single, Bond::Double,
                                        Bond::Aromatic, Bond::PartialDouble, Bond::Triple};
    std::vector<Atom3d*> atoms;
    Molecule* previous = nullptr;
    for (int group = 0; group < 30; ++group) {
        auto* const molecule = new Molecule(&root);
        const std::size_t first = atoms.size();
        for (int i = 0; i < 40; ++i) {
            atoms.push_back(new Atom3d(molecule, Symbols[next(12)]));
            if (next(10) == 0)
                atoms.back()->SetFormalCharge(static_cast<std::int32_t>(next(3)) - 1, 1);
        }
        for (std::size_t i = first + 1; i < atoms.size(); ++i) {
            const std::size_t j = i - 1 - next(static_cast<std::uint32_t>(std::min<std::size_t>(i - first, 4)));
            if (atoms[i]->GetNumAttached() < 4 && atoms[j]->GetNumAttached() < 4)
                atoms[j]->MakeBond(molecule, atoms[i], Types[next(7)]);
        }
        if (previous)
            atoms[first - 1 - next(5)]->MakeBond(next(2) == 0 ? molecule : previous, atoms[first], Bond::Single);
        previous = molecule;
    }
    atoms[17]->MakeBond(&outside, new Atom3d(&outside, "O"), Bond::Single);
    return atoms;
}

} // namespace

// Every charge of a structure of many groups keeps its bits, whether the atoms are gathered from the
// root or given as a collection in the same order.
TEST_F(GasteigerChargeTest, ManyGroupsUnderARootKeepTheirChargesBitForBit)
{
    TreeRoot root;
    Molecule outside(nullptr);
    const std::vector<Atom3d*> atoms = BuildGroups(root, outside);
    OrdCollection members;
    for (Atom3d* const atom : atoms)
        members.Add(atom);
    const GasteigerCharge gathered(&root, true);
    const GasteigerCharge given(&members, false);
    ASSERT_TRUE(gathered.IsCalculated());
    ASSERT_EQ(gathered.GetNumAtoms(), static_cast<std::int32_t>(atoms.size()));
    std::uint64_t hash = 14695981039346656037ULL;
    for (const Atom3d* const atom : atoms) {
        ASSERT_EQ(std::bit_cast<std::uint32_t>(given.GetCharge(atom)),
                  std::bit_cast<std::uint32_t>(gathered.GetCharge(atom)));
        ASSERT_EQ(static_cast<float>(atom->GetCharge()), gathered.GetCharge(atom));
        hash = (hash ^ std::bit_cast<std::uint32_t>(gathered.GetCharge(atom))) * 1099511628211ULL;
    }
    float minimum = 0.0f;
    float maximum = 0.0f;
    gathered.GetMinMaxCharge(minimum, maximum);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(minimum), 0xbf9e84c3u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(maximum), 0x3fa93e85u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(gathered.GetTotalCharge()), 0x42440000u);
    EXPECT_EQ(hash, 0xd90389dfe8ec530au);
}

// A calculation's arrays are kept for the thread's next one once its result ends: results alive at
// once, of different sizes and ended in any order, keep their own charges, and the calculations that
// take the arrays up find the same bits.
TEST_F(GasteigerChargeTest, OverlappingResultsKeepTheirChargesAsTheirArraysAreTakenUpAgain)
{
    TreeRoot root;
    Molecule outside(nullptr);
    const std::vector<Atom3d*> atoms = BuildGroups(root, outside);
    const auto bits = [&atoms](const GasteigerCharge& result) {
        std::vector<std::uint32_t> charges;
        for (const Atom3d* const atom : atoms)
            charges.push_back(std::bit_cast<std::uint32_t>(result.GetCharge(atom)));
        return charges;
    };
    OrdCollection few;
    for (std::size_t i = 0; i < 25; ++i)
        few.Add(atoms[i]);

    auto whole = std::make_unique<GasteigerCharge>(&root, false);
    auto part = std::make_unique<GasteigerCharge>(&few, false);
    const std::vector<std::uint32_t> wholeBits = bits(*whole);
    const std::vector<std::uint32_t> partBits = bits(*part);
    ASSERT_NE(wholeBits, partBits);

    whole.reset();
    const GasteigerCharge wholeAgain(&root, false);
    EXPECT_EQ(bits(wholeAgain), wholeBits);
    EXPECT_EQ(bits(*part), partBits);
    {
        const GasteigerCharge copy = wholeAgain;
        EXPECT_EQ(bits(copy), wholeBits);
    }
    part.reset();
    const GasteigerCharge partAgain(&few, false);
    EXPECT_EQ(bits(partAgain), partBits);
    EXPECT_EQ(bits(wholeAgain), wholeBits);
}
