#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/Geometry.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/OrdCollection.h>

using namespace Tavrel;

namespace {

class ValenceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    void SetUp() override { UniformRandomSequence::Default().Seed(UniformRandomSequence::defaultSeed); }

    Atom3d* Add(const char* symbol, const Point3d& at = Point3d())
    {
        auto* const atom = new Atom3d(molecule.get(), symbol);
        atom->SetXYZ(at);
        return atom;
    }

    std::unique_ptr<Molecule> molecule = std::make_unique<Molecule>(nullptr);
};

std::vector<Atom3d*> BondedHydrogens(const Atom3d& atom)
{
    std::vector<Atom3d*> hydrogens;
    for (int i = 0; i < atom.GetNumBonds(); ++i) {
        auto* const other = static_cast<Atom3d*>(atom.GetAttached(i));
        if (other->GetElementType() == 1)
            hydrogens.push_back(other);
    }
    return hydrogens;
}

TEST_F(ValenceTest, ValenceAndHydrogenCountsFollowBondsAndFormalCharge)
{
    // Carbon: one double and two single bonds to heavy atoms is satisfied; a bare carbon lacks four.
    Atom3d* const carbon = Add("C");
    carbon->MakeBond(Add("O"), Bond::Double);
    carbon->MakeBond(Add("C"), Bond::Single);
    carbon->MakeBond(Add("C"), Bond::Single);
    EXPECT_EQ(carbon->GetValenceUsed(), 4);
    EXPECT_EQ(carbon->GetNumHydrogensToAdd(), 0);
    EXPECT_TRUE(carbon->IsValenceSatisfied());
    EXPECT_EQ(Add("C")->GetNumHydrogensToAdd(), 4);
    Atom3d* const carbanion = Add("C");
    carbanion->SetFormalCharge(-1, 1);
    EXPECT_EQ(carbanion->GetNumHydrogensToAdd(), 3);
    EXPECT_EQ(carbanion->GetNumLonePairs(), 1);

    // Nitrogen: ammonium has one hydrogen to add over three bonds and is Sp3.
    Atom3d* const ammonium = Add("N");
    for (int i = 0; i < 3; ++i)
        ammonium->MakeBond(Add("C"), Bond::Single);
    ammonium->SetFormalCharge(1, 1);
    EXPECT_EQ(ammonium->GetNumHydrogensToAdd(), 1);
    EXPECT_EQ(ammonium->PerceiveHybridization(), Atom::Sp3);
    EXPECT_EQ(ammonium->GetValence(), 4);
    // A nitrile nitrogen keeps three lone pairs by the bond-sum rule and accepts.
    Atom3d* const nitrile = Add("N");
    nitrile->MakeBond(Add("C"), Bond::Triple);
    EXPECT_EQ(nitrile->GetNumLonePairs(), 3);
    EXPECT_TRUE(nitrile->IsHBondAcceptor());

    // Oxygen: an isolated oxygen lacks two hydrogens, donates through them, and accepts nothing.
    Atom3d* const water = Add("O");
    EXPECT_EQ(water->GetNumHydrogensToAdd(), 2);
    EXPECT_TRUE(water->IsHBondDonor());
    EXPECT_FALSE(water->IsHBondAcceptor());
    Atom3d* const oxide = Add("O");
    oxide->MakeBond(Add("C"), Bond::Single);
    oxide->SetFormalCharge(-1, 1);
    EXPECT_EQ(oxide->GetNumHydrogensToAdd(), 0);
    EXPECT_TRUE(oxide->IsHBondAcceptor());
    // Three valences on a neutral oxygen: one hydrogen too many.
    Atom3d* const oxonium = Add("O");
    for (int i = 0; i < 3; ++i)
        oxonium->MakeBond(Add("H"), Bond::Single);
    EXPECT_EQ(oxonium->GetNumHydrogensToDelete(), 1);
    EXPECT_EQ(oxonium->GetNumHydrogens(), 3);
    OrdCollection hydrogens;
    EXPECT_EQ(oxonium->GetHydrogens(hydrogens), 3);
    EXPECT_EQ(hydrogens.GetNumItems(), 3);

    // Sulfur: a thiol lacks one hydrogen; a thione is Sp3 by perception; a sulfonium cation lacks none.
    Atom3d* const thiol = Add("S");
    thiol->MakeBond(Add("C"), Bond::Single);
    EXPECT_EQ(thiol->GetNumHydrogensToAdd(), 1);
    Atom3d* const thione = Add("S");
    thione->MakeBond(Add("C"), Bond::Double);
    EXPECT_EQ(thione->PerceiveHybridization(), Atom::Sp3);
    EXPECT_EQ(thione->GetNumHydrogensToAdd(), 0);
    Atom3d* const sulfonium = Add("S");
    for (int i = 0; i < 3; ++i)
        sulfonium->MakeBond(Add("C"), Bond::Single);
    sulfonium->SetFormalCharge(1, 1);
    EXPECT_TRUE(sulfonium->IsValenceSatisfied());
}

TEST_F(ValenceTest, PerceivesHybridizationFromBonds)
{
    Atom3d* const alkene = Add("C");
    alkene->MakeBond(Add("C"), Bond::Double);
    EXPECT_EQ(alkene->PerceiveHybridization(), Atom::Sp2);
    Atom3d* const allene = Add("C");
    allene->MakeBond(Add("C"), Bond::Double);
    allene->MakeBond(Add("C"), Bond::Double);
    EXPECT_EQ(allene->PerceiveHybridization(), Atom::Sp);
    Atom3d* const alkyne = Add("C");
    alkyne->MakeBond(Add("C"), Bond::Triple);
    alkyne->MakeBond(Add("C"), Bond::Single);
    EXPECT_EQ(alkyne->PerceiveHybridization(), Atom::Sp);
    Atom3d* const aromatic = Add("C");
    aromatic->MakeBond(Add("C"), Bond::Aromatic);
    EXPECT_EQ(aromatic->PerceiveHybridization(), Atom::Sp2);
    Atom3d* const alkane = Add("C");
    alkane->MakeBond(Add("C"), Bond::Single);
    EXPECT_EQ(alkane->PerceiveHybridization(), Atom::Sp3);

    // An amide nitrogen takes Sp2 from its carbonyl neighbour and then holds its lone pair back.
    Atom3d* const carbonyl = Add("C");
    carbonyl->MakeBond(Add("O"), Bond::Double);
    carbonyl->SetHybridization(Atom::PerceiveRequest);
    Atom3d* const amide = Add("N");
    amide->MakeBond(carbonyl, Bond::Single);
    amide->SetHybridization(Atom::PerceiveRequest);
    EXPECT_EQ(amide->GetHybridization(), Atom::Sp2);
    EXPECT_FALSE(amide->IsHBondAcceptor());
    EXPECT_TRUE(amide->IsHBondDonor());
}

// The neighbour rule is nitrogen's: a carbon or oxygen next to an Sp2 atom stays Sp3, so building a chain
// bond by bond does not carry Sp2 along it.
TEST_F(ValenceTest, OnlyNitrogenTakesSp2FromANeighbour)
{
    Atom3d* const c1 = Add("C");
    Atom3d* const c2 = Add("C");
    Atom3d* const c3 = Add("C");
    Atom3d* const oxygen = Add("O");
    c1->MakeBond(c2, Bond::Double);
    c2->MakeBond(c3, Bond::Single);
    c2->MakeBond(oxygen, Bond::Single);
    EXPECT_EQ(c3->PerceiveHybridization(), Atom::Sp3);
    EXPECT_EQ(c3->GetHybridization(), Atom::Sp3);
    EXPECT_EQ(oxygen->PerceiveHybridization(), Atom::Sp3);
    EXPECT_EQ(oxygen->GetHybridization(), Atom::Sp3);
    EXPECT_EQ(oxygen->GetValence(), 2);

    // Hex-1-ene built in order: only the two alkene carbons are Sp2.
    molecule = std::make_unique<Molecule>(nullptr);
    std::vector<Atom3d*> chain;
    for (int i = 0; i < 6; ++i)
        chain.push_back(Add("C"));
    chain[0]->MakeBond(chain[1], Bond::Double);
    for (std::size_t i = 1; i + 1 < chain.size(); ++i)
        chain[i]->MakeBond(chain[i + 1], Bond::Single);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(chain[i]->GetHybridization(), i < 2 ? Atom::Sp2 : Atom::Sp3);
        EXPECT_EQ(chain[i]->PerceiveHybridization(), chain[i]->GetHybridization());
    }
}

TEST_F(ValenceTest, AddedHydrogensSitOnTheValenceGeometry)
{
    // A bare Sp3 carbon: hydrogens only when carbon is in the set; four at 1.0, tetrahedral.
    Atom3d* const methane = Add("C", Point3d(1, 2, 3));
    EXPECT_EQ(methane->UpdateHydrogens(Atom::NonCarbonHydrogens, true), 0);
    EXPECT_EQ(methane->GetNumBonds(), 0);
    EXPECT_EQ(methane->UpdateHydrogens(Atom::AllHydrogens, true), 4);
    const std::vector<Atom3d*> hydrogens = BondedHydrogens(*methane);
    ASSERT_EQ(hydrogens.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(Distance(hydrogens[i]->GetXYZ(), methane->GetXYZ()), 1.0, 1e-4);
        for (std::size_t j = i + 1; j < 4; ++j)
            EXPECT_NEAR(Angle(hydrogens[i]->GetXYZ(), methane->GetXYZ(), hydrogens[j]->GetXYZ()), 109.4712, 0.1);
    }
    EXPECT_TRUE(methane->IsValenceSatisfied());

    // A methyl on a neighbour with its own substituent: the new directions open 109.5 from the bond.
    Atom3d* const c1 = Add("C", Point3d(0, 0, 0));
    Atom3d* const c2 = Add("C", Point3d(1.54, 0, 0));
    Atom3d* const o = Add("O", Point3d(2.1, 1.4, 0));
    c1->MakeBond(c2, Bond::Single);
    c2->MakeBond(o, Bond::Single);
    EXPECT_EQ(c1->UpdateHydrogens(Atom::AllHydrogens, true), 3);
    for (const Atom3d* h : BondedHydrogens(*c1))
        EXPECT_NEAR(Angle(h->GetXYZ(), c1->GetXYZ(), c2->GetXYZ()), 109.47, 0.1);
    // Two heavy neighbours: the two new hydrogens 109.5 apart.
    EXPECT_EQ(c2->UpdateHydrogens(Atom::AllHydrogens, true), 2);
    const std::vector<Atom3d*> pair = BondedHydrogens(*c2);
    ASSERT_EQ(pair.size(), 2u);
    EXPECT_NEAR(Angle(pair[0]->GetXYZ(), c2->GetXYZ(), pair[1]->GetXYZ()), 109.5, 0.1);

    // An Sp2 carbon with one heavy neighbour: the bond vector and two unit vectors at 120 degrees.
    Atom3d* const vinyl = Add("C", Point3d(5, 0, 0));
    Atom3d* const partner = Add("C", Point3d(5, 1.34, 0));
    vinyl->MakeBond(partner, Bond::Double);
    vinyl->SetHybridization(Atom::Sp2);
    Point3d::Array vectors;
    ASSERT_EQ(vinyl->GetValenceSproutVectors(vectors), 3);
    EXPECT_TRUE(vectors[0].Compare(Point3d(0, 1.34, 0), 1e-5));
    for (int i = 1; i < 3; ++i) {
        EXPECT_NEAR(vectors[static_cast<std::size_t>(i)].Length(), 1.0, 1e-4);
        EXPECT_NEAR(Angle(vectors[0], Point3d::origin, vectors[static_cast<std::size_t>(i)]), 120.0, 0.05);
    }
}

TEST_F(ValenceTest, SurplusHydrogensGoWithoutStrippingTheAtom)
{
    // A neutral imine nitrogen drawn with two hydrogens: exactly one goes, the other is re-placed.
    Atom3d* const carbon = Add("C", Point3d(0, 0, 0));
    Atom3d* const nitrogen = Add("N", Point3d(1.3, 0, 0));
    carbon->MakeBond(nitrogen, Bond::Double);
    for (int i = 0; i < 2; ++i)
        nitrogen->MakeBond(Add("H", Point3d(2, static_cast<float>(i), 3)), Bond::Single);
    nitrogen->SetHybridization(Atom::PerceiveRequest);
    EXPECT_EQ(nitrogen->UpdateHydrogens(Atom::AllHydrogens, false), -1);
    const std::vector<Atom3d*> left = BondedHydrogens(*nitrogen);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(nitrogen->IsValenceSatisfied());
    EXPECT_NEAR(Distance(left[0]->GetXYZ(), nitrogen->GetXYZ()), 1.0, 1e-4);
    EXPECT_NEAR(Angle(left[0]->GetXYZ(), nitrogen->GetXYZ(), carbon->GetXYZ()), 120.0, 0.05);

    // More hydrogens than directions: those past the directions keep their positions.
    Atom3d* const crowded = Add("C", Point3d(10, 0, 0));
    for (int i = 0; i < 4; ++i)
        crowded->MakeBond(Add("H", Point3d(10, 5, static_cast<float>(i))), Bond::Single);
    crowded->SetHybridization(Atom::Sp2);
    EXPECT_EQ(crowded->UpdateHydrogens(Atom::AllHydrogens, true), 0);
    const std::vector<Atom3d*> all = BondedHydrogens(*crowded);
    ASSERT_EQ(all.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(Distance(all[i]->GetXYZ(), crowded->GetXYZ()), 1.0, 1e-4);
    EXPECT_EQ(all[3]->GetXYZ(), Point3d(10, 5, 3));

    // RemoveHydrogens takes every hydrogen, whatever the set.
    crowded->RemoveHydrogens(Atom::NonCarbonHydrogens);
    EXPECT_EQ(crowded->GetNumBonds(), 0);
}

TEST_F(ValenceTest, AnOrderNoTypeSetsCountsAtTheEndsOfTheIntegerRange)
{
    // An order stored by value (or read from an older file) can be anything.
    constexpr std::int32_t highest = std::numeric_limits<std::int32_t>::max();
    Atom3d* const carbon = Add("C");
    Atom3d* const oxygen = Add("O");
    Bond* const bond = carbon->MakeBond(oxygen, Bond::Single);
    bond->SetOrder(2.6e20);
    EXPECT_EQ(carbon->GetValenceUsed(), highest);
    EXPECT_EQ(carbon->GetNumHydrogensToAdd(), 0);
    EXPECT_EQ(carbon->GetNumHydrogensToDelete(), highest - 4);
    bond->SetOrder(std::nan(""));
    EXPECT_EQ(carbon->GetValenceUsed(), 0);
    EXPECT_EQ(carbon->GetNumHydrogensToAdd(), 4);

    // Both ends lack more hydrogens than 32 bits count together; adding them stops at four.
    bond->SetOrder(-2.6e20);
    EXPECT_EQ(carbon->GetValenceUsed(), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(carbon->GetNumHydrogensToAdd(), highest);
    EXPECT_EQ(carbon->GetNumHydrogensToDelete(), 0);
    EXPECT_EQ(molecule->CalculateMolFormula(), "C H4294967294 O");
    EXPECT_EQ(carbon->UpdateHydrogens(Atom::AllHydrogens, true), 4);
    EXPECT_EQ(BondedHydrogens(*carbon).size(), 4u);

    // A formal charge numerator is whatever its user property holds.
    oxygen->SetFormalCharge(std::numeric_limits<std::int32_t>::min(), 1);
    EXPECT_EQ(oxygen->GetNumLonePairs(), highest);
}

} // namespace
