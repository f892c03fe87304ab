#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/BondedTraversalIterator.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include "support/Near.h"

using namespace Tavrel;
using Tavrel::test::Near;

namespace {

class BondPerceptionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    void SetUp() override { UniformRandomSequence::Default().Seed(UniformRandomSequence::defaultSeed); }

    Atom3d* Add(const char* symbol, const Point3d& at, Object* parent = nullptr)
    {
        auto* const atom = new Atom3d(parent ? parent : molecule.get(), symbol);
        atom->SetXYZ(at);
        return atom;
    }
    // A chain of carbons 1.5 apart along x, bonded in order.
    std::vector<Atom3d*> Chain(int count)
    {
        std::vector<Atom3d*> atoms;
        for (int i = 0; i < count; ++i) {
            atoms.push_back(Add("C", Point3d(1.5 * i, 0, 0)));
            if (i > 0)
                atoms[i - 1]->MakeBond(atoms[i], Bond::Single);
        }
        return atoms;
    }

    std::unique_ptr<Molecule> molecule = std::make_unique<Molecule>(nullptr);
};

template <class Walk>
std::vector<Object*> Walked(Walk& walk)
{
    std::vector<Object*> objects;
    for (Object* object = walk.GetNext(); object; object = walk.GetNext())
        objects.push_back(object);
    return objects;
}

std::vector<Object*> Objects(std::initializer_list<Atom3d*> atoms)
{
    return {atoms.begin(), atoms.end()};
}

// ---- Bond-graph traversal

TEST_F(BondPerceptionTest, BreadthFirstWalkOfARingTakesNearestBondsFirstInBondOrder)
{
    std::vector<Atom3d*> ring = Chain(6);
    ring[5]->MakeBond(ring[0], Bond::Single);
    BondedTraversalIterator<BreadthFirst> walk(ring[0]);
    EXPECT_EQ(Walked(walk), Objects({ring[0], ring[1], ring[5], ring[2], ring[4], ring[3]}));
    EXPECT_EQ(walk.GetNext(), nullptr);

    // Reset starts again; a copy goes on from where its original stands.
    walk.Reset();
    EXPECT_EQ(walk.GetNext(), ring[0]);
    EXPECT_EQ(walk.GetNext(), ring[1]);
    EXPECT_EQ(walk.GetFrom(), ring[0]);
    const std::unique_ptr<Iterator> copy = walk.Copy();
    EXPECT_EQ(copy->GetNext(), ring[5]);
    EXPECT_EQ(walk.GetNext(), ring[5]);

    // A start that is no Bondable has no neighbours.
    BondedTraversalIterator<BreadthFirst> lone(molecule.get());
    EXPECT_EQ(Walked(lone), std::vector<Object*>{molecule.get()});
}

TEST_F(BondPerceptionTest, DepthFirstWalkWithAStopSetYieldsOneSideOfABond)
{
    const std::vector<Atom3d*> chain = Chain(4); // A-B-C-D
    SetCollection stop;
    stop.Add(chain[2]);
    BondedTraversalIterator<DepthFirst> side(chain[1], &stop, false);
    EXPECT_EQ(Walked(side), Objects({chain[1], chain[0]}));
    // Included, the stop atom is yielded (the last bonded neighbour comes first) but not expanded.
    BondedTraversalIterator<DepthFirst> withStop(chain[1], &stop, true);
    EXPECT_EQ(Walked(withStop), Objects({chain[1], chain[2], chain[0]}));
    // A start in the stop set yields nothing unless stops are included.
    stop.Add(chain[1]);
    BondedTraversalIterator<DepthFirst> stopped(chain[1], &stop, false);
    EXPECT_EQ(stopped.GetNext(), nullptr);
}

TEST_F(BondPerceptionTest, DepthLimitedWalksKeepTheFirstDepthInThreeAndFiveMemberedRings)
{
    // A 3-ring with a tail on its third atom: the tail lies two bonds from the start.
    std::vector<Atom3d*> three = Chain(3);
    three[2]->MakeBond(three[0], Bond::Single);
    Atom3d* const tail3 = Add("C", Point3d(0, 5, 0));
    three[2]->MakeBond(tail3, Bond::Single);
    BondedTraversalIterator<DepthLimitedBreadthFirst> walk3(three[0], 2);
    EXPECT_EQ(Walked(walk3), Objects({three[0], three[1], three[2], tail3}));
    BondedTraversalIterator<DepthLimitedBreadthFirst> near3(three[0], 1);
    EXPECT_EQ(Walked(near3), Objects({three[0], three[1], three[2]}));

    // A 5-ring with a tail on its fourth atom: three bonds from the start.
    std::vector<Atom3d*> five = Chain(5);
    five[4]->MakeBond(five[0], Bond::Single);
    Atom3d* const tail5 = Add("C", Point3d(0, 9, 0));
    five[3]->MakeBond(tail5, Bond::Single);
    BondedTraversalIterator<DepthLimitedBreadthFirst> walk5(five[0], 3);
    EXPECT_EQ(Walked(walk5), Objects({five[0], five[1], five[4], five[2], five[3], tail5}));
    BondedTraversalIterator<DepthLimitedBreadthFirst> only(five[0], 0);
    EXPECT_EQ(Walked(only), Objects({five[0]}));
}

// ---- Bond perception

TEST_F(BondPerceptionTest, BondsFollowTheBondingRadiiAndARerunAddsNothing)
{
    Atom3d* const c1 = Add("C", Point3d(0, 0, 0));
    Atom3d* const c2 = Add("C", Point3d(1.54, 0, 0));
    Atom3d* const far = Add("C", Point3d(1.54, 2.0, 0));
    Atom3d* const sodium = Add("Na", Point3d(10, 0, 0));
    Atom3d* const chlorine = Add("Cl", Point3d(12.8, 0, 0));
    EXPECT_EQ(Atom::ConstructBonds(molecule.get()), 1);
    ASSERT_NE(c1->FindBond(c2), nullptr);
    EXPECT_EQ(c1->FindBond(c2)->GetID(), 1);
    EXPECT_EQ(c1->FindBond(c2)->GetType(), Bond::Single);
    EXPECT_EQ(far->GetNumBonds(), 0);
    EXPECT_EQ(sodium->GetNumBonds(), 0);
    EXPECT_EQ(chlorine->GetNumBonds(), 0);
    EXPECT_EQ(Atom::ConstructBonds(molecule.get()), 0);
    EXPECT_EQ(Atom::ConstructBonds(nullptr), 0);
    EXPECT_EQ(Atom::ConstructBonds(c1), 0); // no atoms below an atom

    // The distance limit counts; the bond goes under the atoms' common ancestor.
    Molecule* const other = new Molecule(molecule.get());
    Atom3d* const a = Add("C", Point3d(20, 0, 0), other);
    Atom3d* const b = Add("C", Point3d(20 + 2 * 0.77f * 1.15f, 0, 0), other);
    EXPECT_EQ(a->ConditionalBondAtoms(b)->GetParent(), other);
    EXPECT_EQ(a->ConditionalBondAtoms(b), nullptr);
    EXPECT_EQ(a->ConditionalBondAtoms(a), nullptr);
    EXPECT_EQ(a->ConditionalBondAtoms(nullptr), nullptr);
}

TEST_F(BondPerceptionTest, PerceptionMatchesThePairwiseRuleInOrderAndNumbering)
{
    // Random atoms of mixed elements, some already bonded: the new bonds are exactly those the pairwise
    // rule makes, atoms in tree order and neighbours in index order, numbered as they come.
    UniformRandomSequence random(0, 9, 3);
    const char* const symbols[] = {"C", "N", "O", "H", "S", "Na"};
    std::vector<Atom3d*> atoms;
    for (int i = 0; i < 400; ++i)
        atoms.push_back(Add(symbols[i % 6], Point3d(random(), random(), random())));
    atoms[0]->MakeBond(atoms[1], Bond::Double);
    atoms[5]->MakeBond(atoms[200], Bond::Single);

    std::vector<std::pair<Atom3d*, Atom3d*>> expected;
    const auto bonded = [&](const Atom3d* a, const Atom3d* b) {
        if (a->IsBonded(b))
            return true;
        for (const auto& [x, y] : expected)
            if ((x == a && y == b) || (x == b && y == a))
                return true;
        return false;
    };
    for (Atom3d* a : atoms)
        for (Atom3d* b : atoms) {
            const float reach = a->GetBondingRadius() + b->GetBondingRadius();
            if (a != b && a->GetXYZ().Distance2(b->GetXYZ()) <= double{reach} * reach && !bonded(a, b))
                expected.emplace_back(a, b);
        }

    ASSERT_EQ(Atom::ConstructBonds(molecule.get()), static_cast<int>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Bond* const bond = expected[i].first->FindBond(expected[i].second);
        ASSERT_NE(bond, nullptr);
        EXPECT_EQ(bond->GetID(), static_cast<int>(i) + 1);
        EXPECT_EQ(bond->GetAtom1(), expected[i].first);
    }
    EXPECT_EQ(atoms[0]->FindBond(atoms[1])->GetType(), Bond::Double);
}

TEST_F(BondPerceptionTest, MetalsAndPositionsThatAreNotNumbersNeverBond)
{
    // All radii 0: no grid of size 0, and nothing within a distance limit of 0.
    Atom3d* const na1 = Add("Na", Point3d(0, 0, 0));
    Atom3d* const na2 = Add("Na", Point3d(0.5, 0, 0));
    Add("K", Point3d(0, 0.3, 0));
    EXPECT_EQ(Atom::ConstructBonds(molecule.get()), 0);
    EXPECT_EQ(na1->GetNumBonds() + na2->GetNumBonds(), 0);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    Atom3d* const lost = Add("C", Point3d(nan, 0, 0));
    Atom3d* const lost2 = Add("C", Point3d(nan, 0, 0));
    Atom3d* const infinite = Add("C", Point3d(std::numeric_limits<double>::infinity(), 0, 0));
    Atom3d* const infinite2 = Add("C", Point3d(std::numeric_limits<double>::infinity(), 0, 0));
    Add("C", Point3d(50, 0, 0));
    EXPECT_EQ(Atom::ConstructBonds(molecule.get()), 0);
    EXPECT_EQ(lost->ConditionalBondAtoms(lost2), nullptr);
    EXPECT_EQ(infinite->ConditionalBondAtoms(infinite2), nullptr);
}

TEST_F(BondPerceptionTest, PerceptionSurvivesListenersThatDeleteAtoms)
{
    // Numbering each new bond deletes an atom, an end of that bond among them: the walk finds atoms
    // again before using them.
    std::vector<Atom3d*> atoms;
    for (int i = 0; i < 12; ++i)
        atoms.push_back(Add("C", Point3d(1.5 * i, 0, 0)));
    static std::vector<std::uint32_t> doomed;
    doomed.clear();
    for (const int i : {5, 8, 2, 11}) // taken from the back
        doomed.push_back(atoms[static_cast<std::size_t>(i)]->GetOID());
    molecule->RegisterEvent(
        Object::classType, Object::EventIDSet,
        [](Event&) {
            if (doomed.empty())
                return;
            delete Object::GetObjectA(doomed.back());
            doomed.pop_back();
        },
        true, nullptr, nullptr);
    // 0-1, 1-2 (whose numbering deletes atom 2), 3-4, 4-5, 6-7, 9-10.
    EXPECT_EQ(Atom::ConstructBonds(molecule.get()), 6);
    EXPECT_TRUE(doomed.empty());
    EXPECT_EQ(molecule->GetNumChildren(), 8 + 4);
}

// ---- Overlaps and fusion

TEST_F(BondPerceptionTest, OverlapsAreFoundInTheBondedFragmentOnly)
{
    const std::vector<Atom3d*> chain = Chain(3);
    Atom3d* const close = Add("C", Point3d(0.3, 0, 0));
    chain[2]->MakeBond(close, Bond::Single);
    Molecule* const other = new Molecule(molecule.get());
    Add("C", Point3d(0.1, 0, 0), other); // closer, but not bonded to the fragment
    OrdCollection found;
    chain[0]->FindOverlaps(0.5, found);
    ASSERT_EQ(found.GetNumItems(), 1);
    EXPECT_EQ(found.GetAt(0), close);
    chain[0]->FindOverlaps(0.3, found); // closer than: 0.3 is not
    EXPECT_EQ(found.GetNumItems(), 1);
    chain[0]->FindOverlaps(-2.0, found);
    EXPECT_EQ(found.GetNumItems(), 1);
}

TEST_F(BondPerceptionTest, FuseOverlapsClosesARingBetweenAtomsThatCarryHydrogens)
{
    // Butane bent so that its ends lie 1.5 apart, with hydrogens.
    Atom3d* const c1 = Add("C", Point3d(0, 0, 0));
    Atom3d* const c2 = Add("C", Point3d(0, 1.5, 0));
    Atom3d* const c3 = Add("C", Point3d(1.5, 1.5, 0));
    Atom3d* const c4 = Add("C", Point3d(1.5, 0, 0));
    c1->MakeBond(c2, Bond::Single);
    c2->MakeBond(c3, Bond::Single);
    c3->MakeBond(c4, Bond::Single);
    // Without hydrogens nothing happens, even with an open atom next to it.
    c1->FuseOverlaps(Bond::Single, 8, true);
    EXPECT_EQ(c1->FindBond(c4), nullptr);

    for (Atom3d* carbon : {c1, c2, c3, c4})
        carbon->UpdateHydrogens(Atom::AllHydrogens, true);
    EXPECT_EQ(c1->GetNumHydrogens(), 3);
    c1->FuseOverlaps(Bond::Double, 2, true); // c4 lies three bonds away
    EXPECT_EQ(c1->FindBond(c4), nullptr);
    c1->FuseOverlaps(Bond::Single, 8, true);
    const Bond* const closure = c1->FindBond(c4);
    ASSERT_NE(closure, nullptr);
    EXPECT_EQ(closure->GetType(), Bond::Single);
    EXPECT_EQ(c1->GetNumHydrogens(), 2);
    EXPECT_EQ(c4->GetNumHydrogens(), 2);
    EXPECT_EQ(c1->GetNumBonds(), 4);

    // Without hydrogen editing the hydrogens stay where they are.
    Atom3d* const n1 = Add("N", Point3d(10, 0, 0));
    Atom3d* const n2 = Add("C", Point3d(10, 1.5, 0));
    Atom3d* const n3 = Add("N", Point3d(11.4, 0.5, 0));
    n1->MakeBond(n2, Bond::Single);
    n2->MakeBond(n3, Bond::Single);
    n1->UpdateHydrogens(Atom::AllHydrogens, true);
    n3->UpdateHydrogens(Atom::AllHydrogens, true);
    n1->FuseOverlaps(Bond::Single, 8, false);
    EXPECT_NE(n1->FindBond(n3), nullptr);
    EXPECT_EQ(n1->GetNumHydrogens(), 2);
}

TEST_F(BondPerceptionTest, FuseChainMergesTheFragmentAtomIntoThisOne)
{
    // This atom: a carbon bonded to one carbon. The fragment: X(N)-B(C) with hydrogens on both.
    Atom3d* const anchor = Add("C", Point3d(-1.5, 0, 0));
    Atom3d* const target = Add("C", Point3d(0, 0, 0));
    anchor->MakeBond(target, Bond::Single);
    target->SetDisplayStyle(Atom::StyleStick);
    Molecule* const fragment = new Molecule(molecule.get());
    Atom3d* const x = Add("N", Point3d(5, 5, 5), fragment);
    Atom3d* const b = Add("C", Point3d(5, 6.4, 5), fragment);
    x->MakeBond(b, Bond::Single);
    x->UpdateHydrogens(Atom::AllHydrogens, true);
    b->UpdateHydrogens(Atom::AllHydrogens, true);
    OrdCollection chain;
    chain.Add(x);
    chain.Add(b);
    OrdCollection hydrogens;
    x->GetHydrogens(chain);
    b->GetHydrogens(hydrogens);
    b->GetHydrogens(chain);
    chain.Add(nullptr); // a null entry of the caller's stays

    Point3d::Array directions;
    target->GetValenceSproutVectors(directions);
    ASSERT_GE(directions.size(), 2u);
    const Point3d expectedB = target->GetXYZ() + directions[1] * 1.4;

    target->FuseChain(chain, 0.0f, 0);
    EXPECT_EQ(target->GetElementSymbol(), "N");
    EXPECT_TRUE(target->IsBonded(b));
    EXPECT_TRUE(target->IsBonded(anchor));
    EXPECT_TRUE(Near(b->GetXYZ(), expectedB, 1e-4));
    EXPECT_EQ(b->GetDisplayStyle(), Atom::StyleStick);
    // X and its hydrogens are gone, and so are their entries; B's hydrogens keep their style.
    ASSERT_EQ(chain.GetNumItems(), 2 + hydrogens.GetNumItems());
    EXPECT_EQ(chain.GetAt(0), b);
    for (int i = 0; i < hydrogens.GetNumItems(); ++i) {
        EXPECT_EQ(chain.GetAt(1 + i), hydrogens.GetAt(i));
        EXPECT_EQ(hydrogens.GetAt(i)->GetDisplayStyle(), Atom::StyleLine);
    }
    EXPECT_EQ(chain.GetAt(chain.GetNumItems() - 1), nullptr);
    EXPECT_TRUE(target->IsValenceSatisfied());
}

TEST_F(BondPerceptionTest, FuseChainAtAHydrogenMovesTheFragmentButFusesNothing)
{
    Atom3d* const target = Add("C", Point3d(0, 0, 0));
    Atom3d* const h = Add("H", Point3d(3, 3, 3));
    Atom3d* const c = Add("C", Point3d(3, 4.1, 3));
    h->MakeBond(c, Bond::Single);
    OrdCollection chain;
    chain.Add(h);
    chain.Add(c);
    target->FuseChain(chain, 0.0f, 0);
    EXPECT_EQ(target->GetElementSymbol(), "C");
    EXPECT_EQ(target->GetNumBonds(), 0);
    EXPECT_EQ(h->GetXYZ(), target->GetXYZ());
    EXPECT_NEAR(Distance(c->GetXYZ(), target->GetXYZ()), 1.1, 1e-4);
    ASSERT_EQ(chain.GetNumItems(), 1);
    EXPECT_EQ(chain.GetAt(0), c);
    EXPECT_EQ(h->GetParent(), molecule.get());

    // An index naming no bonded atom changes nothing.
    target->FuseChain(chain, 0.0f, 5);
    Atom3d* const single = Add("O", Point3d(9, 9, 9));
    OrdCollection lone;
    lone.Add(single);
    target->FuseChain(lone, 0.0f, 0);
    EXPECT_EQ(single->GetXYZ(), Point3d(9, 9, 9));
    EXPECT_EQ(lone.GetNumItems(), 1);
}

} // namespace
