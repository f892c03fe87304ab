#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/NucleicAcid.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ChildIterator.h>
#include "ResidueBuilder.h"

using namespace Tavrel;
using namespace ResidueBuilder;

namespace {

// The symbol of a label: its first letter.
Atom3d* AddAt(Object* residue, const char* label, double x, double y, double z)
{
    const char symbol[2] = {label[0], '\0'};
    return AddAtom(residue, label, symbol, Point3d(x, y, z));
}

// An alanine whose N sits at z and C 0.7 above it (so the next residue's N, at z + 2, is 1.3 from C);
// its other heavy atoms lie 5 apart along x.
Residue* AddAlanine(Object* chain, double z)
{
    Residue* alanine = Pool().CreateResidue(chain, "ALA");
    AddAt(alanine, "N", 0.0, 0.0, z);
    AddAt(alanine, "C", 0.0, 0.0, z + 0.7);
    AddAt(alanine, "CA", 5.0, 0.0, z);
    AddAt(alanine, "O", 10.0, 0.0, z);
    AddAt(alanine, "CB", 15.0, 0.0, z);
    return alanine;
}

// A cysteine with its sulfur at the point.
Residue* AddCysteine(Object* chain, const Point3d& sulfur)
{
    Residue* cysteine = Pool().CreateResidue(chain, "CYS");
    AddAtom(cysteine, "SG", "S", sulfur);
    return cysteine;
}

// The hydrogen-partner pairs of a residue's bonds in creation order (the residue's bond children).
std::vector<std::pair<Object*, Object*>> BondsInOrder(Object* residue)
{
    std::vector<std::pair<Object*, Object*>> bonds;
    ChildIterator walk(residue, Bond::classType, false);
    for (Object* object = walk.GetNext(); object; object = walk.GetNext()) {
        auto* const bond = static_cast<Bond*>(object);
        bonds.emplace_back(bond->GetAtom1(), bond->GetAtom2());
    }
    return bonds;
}

class ResiduePoolTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    std::unique_ptr<Object> m_root{new Object(nullptr)};
};

} // namespace

TEST_F(ResiduePoolTest, CreatesResiduesAndChainsOfTheKindTheirNamesGive)
{
    Residue* water = Pool().CreateResidue(m_root.get(), "HOH");
    EXPECT_FALSE(IsA<AminoAcid>(water));
    EXPECT_EQ(water->GetPDBName(), "UNK");
    EXPECT_EQ(water->GetParent(), m_root.get());
    EXPECT_EQ(Pool().CreateResidue(m_root.get(), "ala")->GetPDBName(), "UNK");
    EXPECT_EQ(Pool().CreateResidue(m_root.get(), nullptr)->GetPDBName(), "UNK");
    Residue* glycine = Pool().CreateResidue(m_root.get(), "GLY");
    EXPECT_TRUE(IsA<AminoAcid>(glycine));
    EXPECT_EQ(glycine->GetColor(), Color(235, 235, 235));
    EXPECT_TRUE(IsA<NucleicAcid>(Pool().CreateResidue(m_root.get(), "G")));

    Chain* protein = Pool().CreateChain(m_root.get(), "ALA");
    EXPECT_TRUE(IsA<AminoAcidChain>(protein));
    EXPECT_EQ(protein->GetLabel(), "");
    EXPECT_TRUE(IsA<NucleicAcidChain>(Pool().CreateChain(m_root.get(), "U3'")));
    Chain* other = Pool().CreateChain(m_root.get(), "HOH");
    EXPECT_TRUE(IsA<Chain>(other));
    EXPECT_FALSE(IsA<AminoAcidChain>(other) || IsA<NucleicAcidChain>(other));

    auto* const amino = new AminoAcidChain(m_root.get());
    AminoAcid* alanine = Pool().CreateAminoAcid(amino, "a");
    EXPECT_EQ(alanine->GetPDBName(), "ALA");
    EXPECT_EQ(alanine->GetParent(), amino);
    EXPECT_EQ(alanine->GetColor(), Color::White());
    EXPECT_EQ(Pool().CreateAminoAcid(amino, "x")->GetType(), 0);
    EXPECT_EQ(Pool().CreateAminoAcid(amino, "B")->GetType(), 0);
    EXPECT_EQ(Pool().CreateAminoAcid(amino, "W")->GetPDBName(), "TRP");
    const AminoAcid* named = Pool().CreateAminoAcid(amino, "TYS");
    EXPECT_EQ(named->GetType(), 43);
    EXPECT_EQ(named->GetColor(), Color(125, 125, 125));

    auto* const strand = new NucleicAcidChain(m_root.get());
    const char* letters[] = {"A", "g", "T", "c", "U"};
    for (int i = 0; i < 5; ++i) {
        const NucleicAcid* nucleotide = Pool().CreateNucleicAcid(strand, letters[i]);
        EXPECT_EQ(nucleotide->GetType(), 21 + i) << letters[i];
        EXPECT_EQ(nucleotide->GetPDBName(), std::string(1, "AGTCU"[i]));
    }
    EXPECT_EQ(Pool().CreateNucleicAcid(strand, "X")->GetType(), 0);
    EXPECT_EQ(Pool().CreateNucleicAcid(strand, "7MG")->GetType(), 39);
    EXPECT_EQ(Pool().CreateNucleicAcid(strand, "ADE")->GetPDBName(), "ADE");
}

TEST_F(ResiduePoolTest, PeptideIsLinkedChargedAtItsNTerminusAndEndsAsACarboxylate)
{
    auto* const molecule = new Molecule(m_root.get());
    auto* const chain = new AminoAcidChain(molecule);
    Residue* first = AddAlanine(chain, 0.0);
    Residue* last = AddAlanine(chain, 2.0);
    AddAt(last, "OXT", 20.0, 0.0, 2.0);
    EXPECT_TRUE(Pool().ConstructResidueBonds(m_root.get()));

    Bond* const peptide = BondOf(first, "C", last, "N");
    ASSERT_NE(peptide, nullptr);
    EXPECT_EQ(peptide->GetType(), Single);
    EXPECT_EQ(peptide->GetParent(), chain);
    EXPECT_EQ(ChargeOf(first, "N"), Rational(1));
    EXPECT_EQ(ChargeOf(last, "N"), Rational(0));
    EXPECT_EQ(TypeOf(last, "C", "O"), Partial);
    EXPECT_EQ(TypeOf(last, "C", "OXT"), Partial);
    EXPECT_EQ(ChargeOf(last, "O"), Rational(-1, 2));
    EXPECT_EQ(ChargeOf(last, "OXT"), Rational(-1, 2));
    EXPECT_EQ(TypeOf(first, "C", "O"), Double);

    // Bonding again changes nothing but what the termini set.
    const int bonds = AtomOf(first, "C")->GetNumBonds();
    Pool().ConstructResidueBonds(m_root.get());
    EXPECT_EQ(AtomOf(first, "C")->GetNumBonds(), bonds);

    // The root itself is never bonded: a chain passed as root bonds nothing.
    auto* const alone = new AminoAcidChain(m_root.get());
    Residue* single = AddAlanine(alone, 50.0);
    Pool().ConstructResidueBonds(alone);
    EXPECT_EQ(AtomOf(single, "CA")->GetNumBonds(), 0);
}

TEST_F(ResiduePoolTest, TerminalChargesFollowTheHydrogensPresent)
{
    const auto build = [this](int amideHydrogens, bool acidic) {
        auto* const chain = new AminoAcidChain(m_root.get());
        const double z = 10.0 * m_root->GetNumChildren();
        Residue* residue = AddAlanine(chain, z);
        AddAt(residue, "OXT", 20.0, 0.0, z);
        for (int h = 0; h < amideHydrogens; ++h)
            AddAt(residue, "H", -1.0, 0.3 * h, z);
        if (acidic)
            AddAt(residue, "H", 21.0, 0.0, z);
        return residue;
    };
    Residue* bare = build(0, false);
    Residue* amide = build(2, true);
    Residue* ammonium = build(3, false);
    Pool().ConstructResidueBonds(m_root.get());
    EXPECT_EQ(ChargeOf(bare, "N"), Rational(1));
    EXPECT_EQ(AtomOf(amide, "N")->GetNumBonds(), 3);
    EXPECT_EQ(ChargeOf(amide, "N"), Rational(0));
    EXPECT_EQ(ChargeOf(ammonium, "N"), Rational(1));

    EXPECT_EQ(TypeOf(amide, "C", "O"), Double);
    EXPECT_EQ(TypeOf(amide, "C", "OXT"), Single);
    EXPECT_EQ(ChargeOf(amide, "OXT"), Rational(0));
}

TEST_F(ResiduePoolTest, WaterChainIsBondedByDistanceOnlyButItsLowerCaseNameIsABiopolymer)
{
    auto* const water = new AminoAcidChain(m_root.get());
    water->SetLabel("Water");
    Residue* first = AddAlanine(water, 0.0);
    Residue* second = AddAlanine(water, 2.0);
    Residue* solvent = Pool().CreateResidue(water, "HOH");
    AddAt(solvent, "O", 0.0, 20.0, 0.0);
    AddAt(solvent, "H", 0.96, 20.0, 0.0);
    auto* const lower = new AminoAcidChain(m_root.get());
    lower->SetLabel("water");
    Residue* third = AddAlanine(lower, 30.0);
    Residue* fourth = AddAlanine(lower, 32.0);
    Pool().ConstructResidueBonds(m_root.get());

    EXPECT_EQ(BondOf(first, "C", second, "N"), nullptr);
    EXPECT_EQ(ChargeOf(first, "N"), Rational(0));
    EXPECT_EQ(TypeOf(solvent, "O", "H"), Single);
    // By distance N and C (0.7 apart) bond; the template's CA-C does not.
    EXPECT_EQ(TypeOf(first, "N", "C"), Single);
    EXPECT_EQ(TypeOf(first, "CA", "C"), NoBond);

    EXPECT_NE(BondOf(third, "C", fourth, "N"), nullptr);
    EXPECT_EQ(ChargeOf(third, "N"), Rational(1));
    EXPECT_EQ(TypeOf(third, "CA", "C"), Single);
}

TEST_F(ResiduePoolTest, DisulfidesBridgeCysteinesOfAMoleculeUpToThreeApart)
{
    auto* const molecule = new Molecule(m_root.get());
    auto* const chain = new AminoAcidChain(molecule);
    Residue* a = AddCysteine(chain, Point3d(0.0, 0.0, 0.0));
    Residue* b = AddCysteine(chain, Point3d(3.0, 0.0, 0.0));
    Residue* c = AddCysteine(chain, Point3d(0.0, 50.0, 0.0));
    Residue* d = AddCysteine(chain, Point3d(3.01, 50.0, 0.0));

    // A molecule is not its own descendant: nothing is bridged when it is the root.
    EXPECT_TRUE(Pool().FindDisulfides(molecule));
    EXPECT_EQ(BondOf(a, "SG", b, "SG"), nullptr);

    Pool().ConstructResidueBonds(m_root.get());
    Bond* const bridge = BondOf(a, "SG", b, "SG");
    ASSERT_NE(bridge, nullptr);
    EXPECT_EQ(bridge->GetType(), Single);
    EXPECT_EQ(bridge->GetParent(), chain);
    EXPECT_EQ(BondOf(c, "SG", d, "SG"), nullptr);
    EXPECT_EQ(AtomOf(a, "SG")->GetNumBonds(), 1);
}

TEST_F(ResiduePoolTest, ManyCysteinesAreBridgedInTheOrderOfAllPairs)
{
    auto* const molecule = new Molecule(m_root.get());
    auto* const chain = new AminoAcidChain(molecule);
    // A lattice 2.9 apart: neighbours along each axis are within reach, diagonals are not.
    std::vector<Residue*> cysteines;
    for (int i = 0; i < 64; ++i)
        cysteines.push_back(AddCysteine(chain, Point3d(2.9 * (i % 4), 2.9 * (i / 4 % 4), 2.9 * (i / 16))));
    Pool().FindDisulfides(m_root.get());

    std::vector<std::pair<Object*, Object*>> expected;
    for (std::size_t i = 0; i < cysteines.size(); ++i) {
        for (std::size_t j = i + 1; j < cysteines.size(); ++j) {
            const Point3d p = AtomOf(cysteines[i], "SG")->GetXYZ();
            const Point3d q = AtomOf(cysteines[j], "SG")->GetXYZ();
            const float dx = p.x - q.x, dy = p.y - q.y, dz = p.z - q.z;
            if (dx * dx + dy * dy + dz * dz <= 9.0f)
                expected.emplace_back(AtomOf(cysteines[i], "SG"), AtomOf(cysteines[j], "SG"));
        }
    }
    EXPECT_EQ(expected.size(), 144u);
    EXPECT_EQ(BondsInOrder(chain), expected);
}

TEST_F(ResiduePoolTest, HydrogensBondToEveryHeavyAtomWithinExactlyOnePointTwo)
{
    Residue* residue = Pool().CreateResidue(m_root.get(), "UNK");
    AddAt(residue, "C1", 0.0, 0.0, 0.0);
    AddAt(residue, "H1", 1.2, 0.0, 0.0);
    AddAt(residue, "C2", 2.4, 0.0, 0.0);
    AddAt(residue, "H2", 0.0, 1.2001, 0.0);
    AddAt(residue, "H3", 1.2, 0.5, 0.0);
    Pool().BondHydrogens(residue);
    EXPECT_EQ(TypeOf(residue, "C1", "H1"), Single);
    EXPECT_EQ(TypeOf(residue, "C2", "H1"), Single);
    EXPECT_EQ(TypeOf(residue, "C1", "H2"), NoBond);
    EXPECT_EQ(TypeOf(residue, "H1", "H3"), NoBond);
    EXPECT_EQ(BondOf(residue, "C1", "H1")->GetParent(), residue);
    EXPECT_TRUE(Pool().BondHydrogens(Pool().CreateResidue(m_root.get(), "UNK")));

    // A residue of one atom is left unbonded by distance.
    Residue* lone = Pool().CreateResidue(m_root.get(), "UNK");
    AddAt(lone, "C", 0.0, 0.0, 0.0);
    EXPECT_TRUE(Pool().BondByDistance(lone));
    EXPECT_EQ(AtomOf(lone, "C")->GetNumBonds(), 0);
}

TEST_F(ResiduePoolTest, HydrogensOfALargeResidueAreBondedAsPairByPair)
{
    // Two hundred waters in one residue, packed so that hydrogens reach neighbouring oxygens too.
    Residue* waters = Pool().CreateResidue(m_root.get(), "HOH");
    for (int i = 0; i < 200; ++i) {
        const double x = 2.2 * (i % 6);
        const double y = 2.2 * (i / 6 % 6);
        const double z = 2.2 * (i / 36);
        AddAt(waters, "O", x, y, z);
        AddAt(waters, "H", x + 0.96, y, z);
        AddAt(waters, "H", x, y + 1.1, z + 0.3);
    }
    std::vector<Atom3d*> atoms;
    ChildIterator walk(waters, Atom3d::classType, false);
    for (Object* object = walk.GetNext(); object; object = walk.GetNext())
        atoms.push_back(static_cast<Atom3d*>(object));
    std::vector<std::pair<Object*, Object*>> expected;
    for (Atom3d* h : atoms) {
        if (h->GetElementType() != 1)
            continue;
        for (Atom3d* heavy : atoms) {
            const Point3d p = h->GetXYZ();
            const Point3d q = heavy->GetXYZ();
            const float dx = p.x - q.x, dy = p.y - q.y, dz = p.z - q.z;
            if (heavy->GetElementType() != 1 && dx * dx + dy * dy + dz * dz <= 1.44f)
                expected.emplace_back(h, heavy);
        }
    }
    ASSERT_GT(expected.size(), 400u);
    Pool().BondHydrogens(waters);
    EXPECT_EQ(BondsInOrder(waters), expected);
}

TEST_F(ResiduePoolTest, NucleotidesAreLinkedFromO3ToPhosphorusWithinBondingDistance)
{
    auto* const strand = new NucleicAcidChain(m_root.get());
    Residue* first = Pool().CreateResidue(strand, "A");
    AddAt(first, "O3*", 0.0, 0.0, 0.0);
    Residue* second = Pool().CreateResidue(strand, "A");
    AddAt(second, "P", 1.6, 0.0, 0.0);
    AddAt(second, "O3'", 10.0, 0.0, 0.0);
    Residue* far = Pool().CreateResidue(strand, "A");
    AddAt(far, "P", 15.0, 0.0, 0.0);
    EXPECT_TRUE(Pool().BondBetweenResidues(second, first));
    ASSERT_NE(BondOf(first, "O3*", second, "P"), nullptr);
    EXPECT_EQ(BondOf(first, "O3*", second, "P")->GetType(), Single);
    EXPECT_TRUE(Pool().BondBetweenResidues(second, first));
    EXPECT_FALSE(Pool().BondBetweenResidues(far, second));
    EXPECT_EQ(BondOf(second, "O3'", far, "P"), nullptr);

    // An amino acid after a nucleotide: the previous residue has no "C" and the current has an "N".
    Residue* amino = AddAlanine(strand, 0.0);
    EXPECT_FALSE(Pool().BondBetweenResidues(amino, far));
    EXPECT_FALSE(Pool().BondBetweenResidues(second, amino));
}

TEST_F(ResiduePoolTest, ListenersDeletingResiduesWhileBondsAreMadeStopTheWorkOnThem)
{
    static Object* victim = nullptr;
    auto* const chain = new AminoAcidChain(m_root.get());
    Residue* first = AddAlanine(chain, 0.0);
    victim = AddAlanine(chain, 2.0);
    Residue* third = AddAlanine(chain, 4.0);
    chain->RegisterEvent(
        Bondable::classType, Bondable::EventBondAdded,
        [](Event&) {
            delete victim;
            victim = nullptr;
        },
        true, nullptr, nullptr);
    Pool().ConstructResidueBonds(m_root.get());
    EXPECT_EQ(victim, nullptr);
    EXPECT_EQ(BondOf(first, "C", third, "N"), nullptr);
    EXPECT_NE(BondOf(first, "N", "CA"), nullptr);
    EXPECT_NE(BondOf(third, "CA", "CB"), nullptr);
}
