#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/Geometry.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/OrdCollection.h>
#include "support/Near.h"

using namespace Tavrel;
using Tavrel::test::Near;

namespace {

// A listener that deletes the object whose OID its registration holds.
void DeleteNamedObject(Event& event)
{
    delete Object::GetObjectA(*static_cast<std::uint32_t*>(event.GetData()));
}

// Deletes `victim` when `trigger` moves.
void DeleteOnMove(Object* trigger, std::uint32_t& victim)
{
    trigger->RegisterEvent(Geometric::classType, Geometric::EventMoved, &DeleteNamedObject, false, &victim, nullptr);
}

class StructureBuildingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    void SetUp() override { UniformRandomSequence::Default().Seed(UniformRandomSequence::defaultSeed); }

    Atom3d* Add(const char* symbol, const Point3d& at)
    {
        auto* const atom = new Atom3d(molecule.get(), symbol);
        atom->SetXYZ(at);
        return atom;
    }
    static Atom3d* AtomAt(const OrdCollection& atoms, int i) { return DynCast<Atom3d>(atoms.GetAt(i)); }
    static Point3d Centroid(const std::vector<Point3d>& points)
    {
        Point3d sum;
        for (const Point3d& p : points)
            sum += p;
        return sum * (1.0 / static_cast<double>(points.size()));
    }
    // The chain C0-C1-C2-C3 of bond length 1.5 zigzagging along +x in z = 0 (C1 and C3 at y = 0.75).
    std::vector<Atom3d*> Zigzag()
    {
        OrdCollection atoms;
        OrdCollection bonds;
        EXPECT_TRUE(Atom3d::CreateChain(molecule.get(), 4, 1.5, Point3d(), Point3d(), false, atoms, bonds));
        return {AtomAt(atoms, 0), AtomAt(atoms, 1), AtomAt(atoms, 2), AtomAt(atoms, 3)};
    }

    std::unique_ptr<Molecule> molecule = std::make_unique<Molecule>(nullptr);
};

// ---- Coordinates

TEST_F(StructureBuildingTest, RingCoordinatesAreARegularPolygonStartingOnY)
{
    Point3d::Array hexagon;
    ASSERT_TRUE(Atom3d::GetRingCoords(1.4, 6, hexagon));
    ASSERT_EQ(hexagon.size(), 6u);
    EXPECT_TRUE(Near(hexagon[0], Point3d(0.0, 1.4, 0.0)));
    // Clockwise seen from +z: the second point lies towards +x.
    EXPECT_TRUE(Near(hexagon[1], Point3d(1.4 * std::sin(M_PI / 3), 0.7, 0.0)));
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_NEAR(hexagon[i].Length(), 1.4, 1e-5);
        EXPECT_NEAR(hexagon[i].Distance(hexagon[(i + 1) % 6]), 1.4, 1e-5);
        EXPECT_EQ(hexagon[i].z, 0.0f);
    }
    // By radius: the size that fits best, the same hexagon.
    Point3d::Array fitted;
    ASSERT_TRUE(Atom3d::GetRingCoords(1.4, 1.4, fitted));
    EXPECT_EQ(fitted, hexagon);
    Point3d::Array pentagon;
    ASSERT_TRUE(Atom3d::GetRingCoords(1.5, 5, pentagon));
    EXPECT_NEAR(pentagon[2].Distance(pentagon[3]), 1.5, 1e-5);
}

TEST_F(StructureBuildingTest, RingCoordinatesRefuseDegenerateRingsAndLengths)
{
    Point3d::Array out{Point3d(9, 9, 9)};
    const Point3d::Array before = out;
    // Fewer than three points, or no positive length: nothing computed (no division by zero).
    EXPECT_FALSE(Atom3d::GetRingCoords(1.4, 2, out));
    EXPECT_FALSE(Atom3d::GetRingCoords(1.4, 1, out));
    EXPECT_FALSE(Atom3d::GetRingCoords(0.0, 6, out));
    EXPECT_FALSE(Atom3d::GetRingCoords(-1.4, 6, out));
    EXPECT_FALSE(Atom3d::GetRingCoords(NAN, 6, out));
    EXPECT_EQ(out, before);
    // The radius form empties its output when it cannot answer.
    EXPECT_FALSE(Atom3d::GetRingCoords(1.4, 0.0, out));
    EXPECT_TRUE(out.empty());
    out = before;
    EXPECT_FALSE(Atom3d::GetRingCoords(0.0, 1.4, out));
    EXPECT_TRUE(out.empty());
    // A bond as long as the diameter fits only two points, a tiny bond far too many.
    EXPECT_FALSE(Atom3d::GetRingCoords(2.8, 1.4, out));
    EXPECT_FALSE(Atom3d::GetRingCoords(1e-12, 1e6, out));
    EXPECT_TRUE(out.empty());
}

TEST_F(StructureBuildingTest, ChainCoordinatesZigzagAlongX)
{
    Point3d::Array chain;
    ASSERT_TRUE(Atom3d::GetChainCoords(1.5, 4, chain));
    ASSERT_EQ(chain.size(), 4u);
    EXPECT_TRUE(Near(chain[0], Point3d(0, 0, 0)));
    EXPECT_TRUE(Near(chain[1], Point3d(1.299, 0.75, 0)));
    EXPECT_TRUE(Near(chain[2], Point3d(2.598, 0, 0)));
    EXPECT_TRUE(Near(chain[3], Point3d(3.897, 0.75, 0)));
    EXPECT_NEAR(Angle(chain[0], chain[1], chain[2]), 120.0, 0.01);

    // By length: as many points as fill it; fewer than two leaves nothing.
    ASSERT_TRUE(Atom3d::GetChainCoords(1.5, 3.9, chain));
    EXPECT_EQ(chain.size(), 3u);
    EXPECT_FALSE(Atom3d::GetChainCoords(1.5, 1.0, chain));
    EXPECT_TRUE(chain.empty());
    EXPECT_FALSE(Atom3d::GetChainCoords(0.0, 10.0, chain));
    EXPECT_FALSE(Atom3d::GetChainCoords(1.5, NAN, chain));
    EXPECT_FALSE(Atom3d::GetChainCoords(1.5, 1e300, chain));

    // The count form leaves its output alone when refused.
    Point3d::Array kept{Point3d(1, 2, 3)};
    EXPECT_FALSE(Atom3d::GetChainCoords(1.5, 0, kept));
    EXPECT_FALSE(Atom3d::GetChainCoords(-1.5, 3, kept));
    EXPECT_EQ(kept.size(), 1u);
}

// ---- Rings and chains

TEST_F(StructureBuildingTest, CreateRingBondsAHexagonInThePlaneOfItsNormal)
{
    OrdCollection atoms;
    OrdCollection bonds;
    const Point3d origin(1, 2, 3);
    ASSERT_TRUE(Atom3d::CreateRing(molecule.get(), 6, 1.4, origin, Point3d(1, 0, 0), true, atoms, bonds));
    ASSERT_EQ(atoms.GetSize(), 6);
    ASSERT_EQ(bonds.GetSize(), 6);
    for (int i = 0; i < 6; ++i) {
        Atom3d* const atom = AtomAt(atoms, i);
        ASSERT_NE(atom, nullptr);
        EXPECT_EQ(atom->GetElementSymbol(), "C");
        EXPECT_EQ(atom->GetParent(), molecule.get());
        EXPECT_NEAR(atom->GetXYZ().x, 1.0, 1e-5); // the plane perpendicular to the normal
        EXPECT_NEAR(atom->GetXYZ().Distance(origin), 1.4, 1e-5);
        const auto* const bond = DynCast<Bond>(bonds.GetAt(i));
        ASSERT_NE(bond, nullptr);
        EXPECT_TRUE(bond->FindBond(atom, AtomAt(atoms, (i + 1) % 6)));
        EXPECT_EQ(bond->GetType(), Bond::Aromatic);
        EXPECT_TRUE(bond->IsInRing());
        EXPECT_NEAR(bond->GetLength(), 1.4, 1e-5);
    }

    // Without aromatic: single ring bonds; the collections are emptied first.
    ASSERT_TRUE(Atom3d::CreateRing(molecule.get(), 5, false, atoms, bonds));
    ASSERT_EQ(atoms.GetSize(), 5);
    ASSERT_EQ(bonds.GetSize(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(DynCast<Bond>(bonds.GetAt(i))->GetType(), Bond::Single);
        EXPECT_TRUE(DynCast<Bond>(bonds.GetAt(i))->IsInRing());
    }
}

TEST_F(StructureBuildingTest, TooSmallRingsAndBadLengthsCreateNothing)
{
    OrdCollection atoms;
    OrdCollection bonds;
    atoms.Add(molecule.get());
    const int children = molecule->GetNumChildren();
    // One or two atoms would give a self-bond or one bond listed twice.
    EXPECT_FALSE(Atom3d::CreateRing(molecule.get(), 2, false, atoms, bonds));
    EXPECT_FALSE(Atom3d::CreateRing(molecule.get(), 1, true, atoms, bonds));
    EXPECT_FALSE(Atom3d::CreateRing(molecule.get(), 6, 0.0, Point3d(), Point3d(), false, atoms, bonds));
    EXPECT_FALSE(Atom3d::CreateChain(molecule.get(), 0, atoms, bonds));
    EXPECT_FALSE(Atom3d::CreateChain(molecule.get(), 4, -1.0, Point3d(), Point3d(), false, atoms, bonds));
    EXPECT_EQ(molecule->GetNumChildren(), children);
    EXPECT_EQ(atoms.GetSize(), 1);
}

TEST_F(StructureBuildingTest, CreateChainTurnsTheZigzagOntoItsDirection)
{
    OrdCollection atoms;
    OrdCollection bonds;
    const Point3d origin(5, 5, 5);
    ASSERT_TRUE(Atom3d::CreateChain(molecule.get(), 4, 1.5, origin, Point3d(0, 2, 0), true, atoms, bonds));
    ASSERT_EQ(atoms.GetSize(), 4);
    ASSERT_EQ(bonds.GetSize(), 3);
    // Flipped (y negated), then +x turned onto +y: (x, y) becomes (-y, x).
    EXPECT_TRUE(Near(AtomAt(atoms, 0)->GetXYZ(), origin));
    EXPECT_TRUE(Near(AtomAt(atoms, 1)->GetXYZ(), origin + Point3d(0.75, 1.299, 0), 1e-4));
    EXPECT_TRUE(Near(AtomAt(atoms, 3)->GetXYZ(), origin + Point3d(0.75, 3.897, 0), 1e-4));
    for (int i = 0; i < 3; ++i) {
        const auto* const bond = DynCast<Bond>(bonds.GetAt(i));
        EXPECT_TRUE(bond->FindBond(AtomAt(atoms, i), AtomAt(atoms, i + 1)));
        EXPECT_EQ(bond->GetType(), Bond::Single);
        EXPECT_FALSE(bond->IsInRing());
    }
    // The topological form leaves every atom at the origin.
    ASSERT_TRUE(Atom3d::CreateChain(molecule.get(), 1, atoms, bonds));
    EXPECT_EQ(atoms.GetSize(), 1);
    EXPECT_TRUE(bonds.IsEmpty());
}

// ---- Sprouting

TEST_F(StructureBuildingTest, SproutingAtAPositionBondsANewAtomWithTheSourceStyle)
{
    Atom3d* const carbon = Add("C", Point3d());
    carbon->SetDisplayStyle(Atom::StyleStick);
    Atom3d* const nitrogen = carbon->SproutAtom(Point3d(0, 0, 1.47), "N", Bond::Double, false, false);
    ASSERT_NE(nitrogen, nullptr);
    EXPECT_EQ(nitrogen->GetElementSymbol(), "N");
    EXPECT_EQ(nitrogen->GetParent(), molecule.get());
    EXPECT_EQ(nitrogen->GetDisplayStyle(), Atom::StyleStick);
    EXPECT_TRUE(Near(nitrogen->GetXYZ(), Point3d(0, 0, 1.47)));
    ASSERT_NE(carbon->FindBond(nitrogen), nullptr);
    EXPECT_EQ(carbon->FindBond(nitrogen)->GetType(), Bond::Double);
    EXPECT_EQ(carbon->GetHybridization(), Atom::Sp2);
    EXPECT_EQ(carbon->GetNumBonds(), 1);
}

TEST_F(StructureBuildingTest, SproutingFromAHydrogenReplacesIt)
{
    Atom3d* const carbon = Add("C", Point3d());
    carbon->UpdateHydrogens(Atom::AllHydrogens, true);
    ASSERT_EQ(carbon->GetNumHydrogens(), 4);
    auto* const hydrogen = DynCast<Atom3d>(carbon->GetAttached(0));
    const std::uint32_t hydrogenOID = hydrogen->GetOID();
    Point3d direction = hydrogen->GetXYZ() - carbon->GetXYZ();
    direction.Normalize();

    Atom3d* const oxygen = hydrogen->SproutAtom("O", Bond::Single, true, false);
    ASSERT_NE(oxygen, nullptr);
    EXPECT_EQ(Object::GetObjectA(hydrogenOID), nullptr);
    // Twice the carbon's covalent radius out along the hydrogen's direction.
    EXPECT_TRUE(Near(oxygen->GetXYZ(), direction * (2.0 * 0.77), 1e-4));
    EXPECT_NE(carbon->FindBond(oxygen), nullptr);
    EXPECT_EQ(carbon->GetNumBonds(), 4);
    EXPECT_EQ(carbon->GetNumHydrogens(), 3);
    EXPECT_EQ(oxygen->GetNumBonds(), 2);
    EXPECT_EQ(oxygen->GetNumHydrogens(), 1);

    // Only an atom with exactly one bond sprouts; otherwise nothing is made.
    const int children = molecule->GetNumChildren();
    EXPECT_EQ(oxygen->SproutAtom("N", Bond::Single, true, false), nullptr);
    EXPECT_EQ(Add("C", Point3d(9, 9, 9))->SproutAtom("N", Bond::Single, false, false), nullptr);
    EXPECT_EQ(molecule->GetNumChildren(), children + 1);
}

TEST_F(StructureBuildingTest, SproutingWithFuseOverlapsClosesARing)
{
    Point3d::Array hexagon;
    ASSERT_TRUE(Atom3d::GetRingCoords(1.4, 6, hexagon));
    std::vector<Atom3d*> chain;
    for (int i = 0; i < 5; ++i) {
        chain.push_back(Add("C", hexagon[static_cast<std::size_t>(i)]));
        if (i > 0)
            chain[static_cast<std::size_t>(i) - 1]->MakeBond(chain.back(), Bond::Single);
    }
    for (Atom3d* atom : chain)
        atom->UpdateHydrogens(Atom::AllHydrogens, true);

    Atom3d* const closing = chain[4]->SproutAtom(hexagon[5], "C", Bond::Single, true, true);
    ASSERT_NE(closing, nullptr);
    EXPECT_NE(closing->FindBond(chain[4]), nullptr);
    EXPECT_NE(closing->FindBond(chain[0]), nullptr);
    EXPECT_EQ(closing->GetNumHydrogens(), 2);
    EXPECT_EQ(chain[0]->GetNumHydrogens(), 2);
}

// ---- Fusing a ring onto an atom

TEST_F(StructureBuildingTest, RingFusedOntoATerminalAtomGrowsAwayFromItsNeighbour)
{
    // At the sum of the covalent radii, where the element change leaves a terminal atom.
    Atom3d* const neighbour = Add("C", Point3d(-1.52, 0, 0));
    Atom3d* const atom = Add("N", Point3d());
    neighbour->MakeBond(atom, Bond::Single);
    OrdCollection ring;
    OrdCollection bonds;
    ASSERT_TRUE(Atom3d::CreateRing(molecule.get(), 6, 1.4, Point3d(10, 10, 10), Point3d(0, 1, 1), false, ring, bonds));
    auto* const merged = AtomAt(ring, 0);
    merged->SetElement(ElementType(7));
    const std::uint32_t mergedOID = merged->GetOID();
    Atom3d* const next = AtomAt(ring, 1);
    Atom3d* const prev = AtomAt(ring, 5);

    ASSERT_TRUE(atom->FuseRing(ring, 0));
    EXPECT_EQ(Object::GetObjectA(mergedOID), nullptr);
    ASSERT_EQ(ring.GetSize(), 5);
    EXPECT_EQ(AtomAt(ring, 0), next);
    EXPECT_EQ(AtomAt(ring, 4), prev);
    EXPECT_EQ(atom->GetElementSymbol(), "N");
    EXPECT_EQ(atom->GetNumBonds(), 3);
    EXPECT_NE(atom->FindBond(next), nullptr);
    EXPECT_NE(atom->FindBond(prev), nullptr);
    EXPECT_NEAR(atom->GetXYZ().Distance(next->GetXYZ()), 1.4, 1e-4);
    // The ring's centre lies on the far side of the atom from its neighbour.
    std::vector<Point3d> points{atom->GetXYZ()};
    for (int i = 0; i < 5; ++i)
        points.push_back(AtomAt(ring, i)->GetXYZ());
    EXPECT_TRUE(Near(Centroid(points), Point3d(1.4, 0, 0), 1e-4));
}

TEST_F(StructureBuildingTest, RingFusedOntoAnAtomWithTwoBondsIsSpiro)
{
    Atom3d* const atom = Add("C", Point3d());
    Atom3d* const n0 = Add("C", Point3d(-1.0, 1.0, 0));
    Atom3d* const n1 = Add("C", Point3d(-1.0, -1.0, 0));
    atom->MakeBond(n0, Bond::Single);
    atom->MakeBond(n1, Bond::Single);
    OrdCollection ring;
    OrdCollection bonds;
    ASSERT_TRUE(Atom3d::CreateRing(molecule.get(), 5, 1.5, Point3d(4, 4, 4), Point3d(), false, ring, bonds));
    ASSERT_TRUE(atom->FuseRing(ring, 2));
    ASSERT_EQ(ring.GetSize(), 4);
    EXPECT_EQ(atom->GetNumBonds(), 4);
    std::vector<Point3d> points{atom->GetXYZ()};
    for (int i = 0; i < 4; ++i)
        points.push_back(AtomAt(ring, i)->GetXYZ());
    // The ring lies along +x, away from both neighbours, in the plane perpendicular to theirs.
    const Point3d centre = Centroid(points);
    EXPECT_GT(centre.x, 1.0);
    EXPECT_NEAR(centre.y, 0.0, 1e-4);
    for (const Point3d& p : points)
        EXPECT_NEAR(p.y, 0.0, 1e-4);
}

TEST_F(StructureBuildingTest, FuseRingRefusesBadIndicesAndEntries)
{
    Atom3d* const atom = Add("C", Point3d());
    OrdCollection ring;
    OrdCollection bonds;
    ASSERT_TRUE(Atom3d::CreateRing(molecule.get(), 6, 1.4, Point3d(5, 0, 0), Point3d(), false, ring, bonds));
    const Point3d before = AtomAt(ring, 0)->GetXYZ();
    EXPECT_FALSE(atom->FuseRing(ring, -1));
    EXPECT_FALSE(atom->FuseRing(ring, 6));
    ring.Add(atom);
    EXPECT_FALSE(atom->FuseRing(ring, 0));
    ring.RemoveAt(6);
    ring.Add(nullptr);
    EXPECT_FALSE(atom->FuseRing(ring, 0));
    EXPECT_EQ(ring.GetSize(), 7);
    EXPECT_EQ(AtomAt(ring, 0)->GetXYZ(), before);
    EXPECT_EQ(atom->GetNumBonds(), 0);
}

// ---- Fusing onto a bond

TEST_F(StructureBuildingTest, RingFusedOntoAChainBondLiesOppositeTheChainAndMergesWhereItLands)
{
    // A trans zigzag O0-C1-C2-C3: a hexagon on C1-C2 opposite C3 has a corner exactly on O0.
    const std::vector<Atom3d*> chain = Zigzag();
    chain[0]->SetElement(ElementType(8));
    Bond* const bond = chain[1]->FindBond(chain[2]);
    OrdCollection ring;
    OrdCollection bonds;
    ASSERT_TRUE(Atom3d::CreateRing(molecule.get(), 6, 1.5, Point3d(20, 0, 5), Point3d(1, 1, 0), true, ring, bonds));
    const std::uint32_t oid1 = chain[1]->GetOID();
    const std::uint32_t oid2 = chain[2]->GetOID();
    std::vector<std::uint32_t> ringOIDs;
    for (int i = 0; i < 6; ++i)
        ringOIDs.push_back(AtomAt(ring, i)->GetOID());
    Atom3d* const after2 = AtomAt(ring, 2); // bonded to ring atom 1, so to C2 afterwards
    Atom3d* const ring4 = AtomAt(ring, 4);

    ASSERT_TRUE(bond->FuseRing(ring, 0.3f, 0, 1));
    // The two fused atoms and the one that landed on O0 are gone; the bond's atoms stay themselves.
    for (const int gone : {0, 1, 5})
        EXPECT_EQ(Object::GetObjectA(ringOIDs[static_cast<std::size_t>(gone)]), nullptr);
    EXPECT_EQ(chain[1]->GetOID(), oid1);
    EXPECT_EQ(chain[2]->GetOID(), oid2);
    ASSERT_EQ(ring.GetSize(), 3);
    EXPECT_EQ(AtomAt(ring, 0), after2);
    EXPECT_EQ(AtomAt(ring, 2), ring4);
    // The aromatic ring bond (3) is higher than the single bond.
    EXPECT_EQ(bond->GetType(), Bond::Aromatic);
    EXPECT_NE(chain[2]->FindBond(after2), nullptr);
    EXPECT_NEAR(chain[2]->GetXYZ().Distance(after2->GetXYZ()), 1.5, 1e-4);
    // The atom that was landed on keeps its element and takes the ring atom's bonds.
    EXPECT_EQ(chain[0]->GetElementSymbol(), "O");
    EXPECT_NE(chain[0]->FindBond(ring4), nullptr);
    EXPECT_NE(chain[0]->FindBond(chain[1]), nullptr);
    // In the chain's plane, on the side of the bond away from C3.
    const Point3d along = chain[2]->GetXYZ() - chain[1]->GetXYZ();
    const auto side = [&](const Point3d& p) { return along.Cross(p - chain[1]->GetXYZ()).z; };
    EXPECT_GT(side(chain[3]->GetXYZ()), 0.0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(AtomAt(ring, i)->GetXYZ().z, 0.0, 1e-4);
        EXPECT_LT(side(AtomAt(ring, i)->GetXYZ()), 0.0);
    }
}

TEST_F(StructureBuildingTest, FusedRingKeepsTheHigherBondTypeAndTurnsAHydrogenEnd)
{
    const std::vector<Atom3d*> chain = Zigzag();
    Bond* const bond = chain[1]->FindBond(chain[2]);
    bond->SetType(Bond::Double);
    OrdCollection ring;
    OrdCollection bonds;
    ASSERT_TRUE(Atom3d::CreateRing(molecule.get(), 6, 1.5, Point3d(20, 0, 0), Point3d(), true, ring, bonds));
    ASSERT_TRUE(bond->FuseRing(ring, 0.3f, 0, 1));
    EXPECT_EQ(bond->GetType(), Bond::Double);

    // A hydrogen end becomes carbon, then takes the ring atom's element.
    Atom3d* const carbon = Add("C", Point3d(0, 10, 0));
    Atom3d* const hydrogen = Add("H", Point3d(1.1, 10, 0));
    Bond* const ch = carbon->MakeBond(hydrogen, Bond::Single);
    ASSERT_TRUE(Atom3d::CreateRing(molecule.get(), 6, 1.4, Point3d(20, 0, 0), Point3d(), false, ring, bonds));
    AtomAt(ring, 1)->SetElement(ElementType(7));
    ASSERT_TRUE(ch->FuseRing(ring, 0.3f, 0, 1));
    EXPECT_EQ(hydrogen->GetElementSymbol(), "N");
    EXPECT_EQ(hydrogen->GetNumBonds(), 2);
    EXPECT_EQ(ch->GetType(), Bond::Single);
}

TEST_F(StructureBuildingTest, FusingGoesOnWithWhatListenersLeave)
{
    // Onto a bond: moving ring atom 2 deletes ring atom 3, moving ring atom 4 deletes the bond's atom
    // 2 (and with it the bond).
    {
        const std::vector<Atom3d*> chain = Zigzag();
        Bond* const bond = chain[1]->FindBond(chain[2]);
        OrdCollection ring;
        OrdCollection bonds;
        ASSERT_TRUE(Atom3d::CreateRing(molecule.get(), 6, 1.5, Point3d(20, 0, 0), Point3d(), false, ring, bonds));
        std::uint32_t ring3 = AtomAt(ring, 3)->GetOID();
        std::uint32_t end2 = chain[2]->GetOID();
        DeleteOnMove(AtomAt(ring, 2), ring3);
        DeleteOnMove(AtomAt(ring, 4), end2);
        Atom3d* const ring2 = AtomAt(ring, 2);
        Atom3d* const ring4 = AtomAt(ring, 4);
        ASSERT_TRUE(bond->FuseRing(ring, 0.3f, 0, 1));
        EXPECT_EQ(Object::GetObjectA(ring3), nullptr);
        EXPECT_EQ(Object::GetObjectA(end2), nullptr);
        // The survivors, in order; ring atom 5 landed on chain atom 0 and was merged.
        ASSERT_EQ(ring.GetSize(), 2);
        EXPECT_EQ(AtomAt(ring, 0), ring2);
        EXPECT_EQ(AtomAt(ring, 1), ring4);
        EXPECT_NE(chain[0]->FindBond(ring4), nullptr);
    }
    // Onto an atom: moving ring atom 1 deletes ring atom 4.
    Atom3d* const atom = Add("C", Point3d(0, -30, 0));
    Add("C", Point3d(-1.54, -30, 0))->MakeBond(atom, Bond::Single);
    OrdCollection ring;
    OrdCollection bonds;
    ASSERT_TRUE(Atom3d::CreateRing(molecule.get(), 6, 1.4, Point3d(20, 0, 0), Point3d(), false, ring, bonds));
    std::uint32_t ring4 = AtomAt(ring, 4)->GetOID();
    DeleteOnMove(AtomAt(ring, 1), ring4);
    ASSERT_TRUE(atom->FuseRing(ring, 0));
    EXPECT_EQ(ring.GetSize(), 4);
    EXPECT_EQ(atom->GetNumBonds(), 3);
}

TEST_F(StructureBuildingTest, BondFuseRingRefusesBadIndices)
{
    const std::vector<Atom3d*> chain = Zigzag();
    Bond* const bond = chain[1]->FindBond(chain[2]);
    OrdCollection ring;
    OrdCollection bonds;
    ASSERT_TRUE(Atom3d::CreateRing(molecule.get(), 6, 1.5, Point3d(20, 0, 0), Point3d(), false, ring, bonds));
    const int children = molecule->GetNumChildren();
    EXPECT_FALSE(bond->FuseRing(ring, 0.3f, 0, 0));
    EXPECT_FALSE(bond->FuseRing(ring, 0.3f, -1, 1));
    EXPECT_FALSE(bond->FuseRing(ring, 0.3f, 0, 6));
    ring.Add(chain[0]);
    ring.Add(chain[1]);
    EXPECT_FALSE(bond->FuseRing(ring, 0.3f, 0, 1));
    EXPECT_EQ(molecule->GetNumChildren(), children);
    EXPECT_EQ(ring.GetSize(), 8);
}

TEST_F(StructureBuildingTest, FragmentFusedOntoABondContinuesFromItsSecondAtom)
{
    const std::vector<Atom3d*> chain = Zigzag();
    Bond* const bond = chain[1]->FindBond(chain[2]);
    OrdCollection fragment;
    OrdCollection bonds;
    ASSERT_TRUE(Atom3d::CreateChain(molecule.get(), 3, 1.5, Point3d(10, 10, 10), Point3d(0, 0, 1), false, fragment,
                                    bonds));
    Atom3d* const tail = AtomAt(fragment, 2);
    tail->SetElement(ElementType(8));
    const std::uint32_t first = AtomAt(fragment, 0)->GetOID();
    const std::uint32_t second = AtomAt(fragment, 1)->GetOID();

    ASSERT_TRUE(bond->FuseFragment(fragment, 0.3f, nullptr, nullptr, chain[0], nullptr));
    EXPECT_EQ(Object::GetObjectA(first), nullptr);
    EXPECT_EQ(Object::GetObjectA(second), nullptr);
    ASSERT_EQ(fragment.GetSize(), 1);
    EXPECT_EQ(AtomAt(fragment, 0), tail);
    EXPECT_NE(chain[2]->FindBond(tail), nullptr);
    EXPECT_NEAR(chain[2]->GetXYZ().Distance(tail->GetXYZ()), 1.5, 1e-4);
    EXPECT_NEAR(Angle(chain[1]->GetXYZ(), chain[2]->GetXYZ(), tail->GetXYZ()), 120.0, 0.01);
    // Turned about the bond onto the side of the bond reference.
    EXPECT_NEAR(Dihedral(chain[0]->GetXYZ(), chain[1]->GetXYZ(), chain[2]->GetXYZ(), tail->GetXYZ()), 0.0, 0.1);
    EXPECT_EQ(tail->GetDisplayStyle(), chain[1]->GetDisplayStyle());
}

TEST_F(StructureBuildingTest, FragmentAtomLandingOnAnAtomGivesItItsElement)
{
    const std::vector<Atom3d*> chain = Zigzag();
    Bond* const bond = chain[0]->FindBond(chain[1]);
    // The fragment C-C-N overlays C0-C1 and is turned so that its N lies on C2's side: onto C2.
    OrdCollection fragment;
    OrdCollection bonds;
    ASSERT_TRUE(Atom3d::CreateChain(molecule.get(), 3, 1.5, Point3d(10, 10, 10), Point3d(1, 1, 1), true, fragment,
                                    bonds));
    AtomAt(fragment, 2)->SetElement(ElementType(7));
    const std::uint32_t landed = AtomAt(fragment, 2)->GetOID();
    ASSERT_TRUE(bond->FuseFragment(fragment, 0.3f, nullptr, nullptr, chain[2], AtomAt(fragment, 2)));
    EXPECT_EQ(Object::GetObjectA(landed), nullptr);
    EXPECT_EQ(chain[2]->GetElementSymbol(), "N");
    EXPECT_TRUE(fragment.IsEmpty());
    EXPECT_EQ(chain[1]->GetNumBonds(), 2);
    EXPECT_EQ(chain[0]->GetNumBonds(), 1);
}

TEST_F(StructureBuildingTest, FuseFragmentRefusesTooFewAtoms)
{
    const std::vector<Atom3d*> chain = Zigzag();
    Bond* const bond = chain[1]->FindBond(chain[2]);
    Atom3d* const lone = Add("C", Point3d(10, 0, 0));
    OrdCollection fragment;
    EXPECT_FALSE(bond->FuseFragment(fragment, 0.3f, nullptr, nullptr, nullptr, nullptr));
    fragment.Add(lone);
    EXPECT_FALSE(bond->FuseFragment(fragment, 0.3f, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(bond->FuseFragment(fragment, 0.3f, lone, lone, nullptr, nullptr));
    fragment.Add(chain[2]); // the bond's own atom
    EXPECT_FALSE(bond->FuseFragment(fragment, 0.3f, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(Near(lone->GetXYZ(), Point3d(10, 0, 0)));
    EXPECT_EQ(chain[2]->GetNumBonds(), 2);
}

// ---- Geometry tests

TEST_F(StructureBuildingTest, SquarePlanarGeometryNeedsFourCoplanarNeighbours)
{
    Atom3d* const centre = Add("Pt", Point3d());
    const Point3d square[] = {{2, 0, 0}, {0, 2, 0}, {-2, 0, 0}, {0, -2, 0}};
    for (const Point3d& p : square)
        centre->MakeBond(Add("Cl", p), Bond::Single);
    Point3d::Array points;
    EXPECT_EQ(centre->CollectPoints(points), 5);
    EXPECT_TRUE(Near(points[2], Point3d(0, 2, 0)));
    EXPECT_TRUE(centre->IsSquarePlanarGeometry());

    Atom3d* const tetrahedral = Add("C", Point3d(10, 0, 0));
    tetrahedral->UpdateHydrogens(Atom::AllHydrogens, true);
    EXPECT_FALSE(tetrahedral->IsSquarePlanarGeometry());
    EXPECT_FALSE(Add("C", Point3d(20, 0, 0))->IsSquarePlanarGeometry());
}

} // namespace
