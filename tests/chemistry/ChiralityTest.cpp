#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/ChiralityTree.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>

using namespace Tavrel;

namespace {

class ChiralityTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    void SetUp() override { molecule = std::make_unique<Molecule>(nullptr); }

    Atom3d* Add(const char* symbol, const Point3d& at)
    {
        auto* const atom = new Atom3d(molecule.get(), symbol);
        atom->SetXYZ(at);
        return atom;
    }
    // A new atom 1.5 from `from` along direction, bonded to it.
    Atom3d* Grow(Atom3d* from, const char* symbol, Point3d direction, Bond::BondType type = Bond::Single)
    {
        direction.Normalize();
        Atom3d* const atom = Add(symbol, from->GetXYZ() + direction * 1.5);
        from->MakeBond(atom, type);
        return atom;
    }

    // The four directions of a centre seen from +z with the last one pointing away: the first three
    // run clockwise, so neighbours placed on them by falling priority make an R centre.
    static std::vector<Point3d> Clockwise()
    {
        const auto at = [](double degrees) {
            const double r = degrees * 3.14159265358979 / 180.0;
            return Point3d(std::cos(r), std::sin(r), 0.35);
        };
        return {at(90.0), at(-30.0), at(210.0), Point3d(0.0, 0.0, -1.0)};
    }
    // The mirror image: the first three run counter-clockwise.
    static std::vector<Point3d> Mirrored()
    {
        std::vector<Point3d> directions = Clockwise();
        for (Point3d& direction : directions)
            direction.x = -direction.x;
        return directions;
    }

    // A centre with four neighbours of the given elements, placed on the directions in that order.
    Atom3d* Centre(const std::vector<const char*>& symbols, const std::vector<Point3d>& directions,
                   std::vector<Atom3d*>* neighbours = nullptr)
    {
        Atom3d* const centre = Add("C", Point3d());
        for (std::size_t i = 0; i < symbols.size(); ++i) {
            Atom3d* const atom = Grow(centre, symbols[i], directions[i]);
            if (neighbours)
                neighbours->push_back(atom);
        }
        return centre;
    }

    // A branch of quaternary carbons, `generations` deep below root (hydrogens implicit).
    void Branch(Atom3d* root, int generations)
    {
        std::vector<Atom3d*> layer{root};
        for (int g = 0; g < generations; ++g) {
            std::vector<Atom3d*> next;
            for (Atom3d* atom : layer) {
                for (int k = 0; k < 3; ++k)
                    next.push_back(Grow(atom, "C", Point3d(1.0, k - 1.0, g + 1.0)));
            }
            layer = std::move(next);
        }
    }

    std::unique_ptr<Molecule> molecule;
};

} // namespace

// ---- The priority tree

TEST_F(ChiralityTest, TreeRootsChildrenAndTerminalNodes)
{
    Atom3d* const x = Add("C", Point3d());
    Atom3d* const h = Add("H", Point3d());
    ChiralityTree tree;
    ASSERT_TRUE(tree.AddNode(x, 0, 6));
    EXPECT_EQ(tree[0].depth, 0);
    EXPECT_EQ(tree[0].sum, 12);  // the root is its own parent
    const Atom* atom = nullptr;
    int depth = -1;
    EXPECT_TRUE(tree.GetNode(0, &atom, &depth));
    EXPECT_EQ(atom, x);
    EXPECT_EQ(depth, 0);

    ASSERT_TRUE(tree.AddNode(h, 0, 1));
    EXPECT_FALSE(tree.GetNode(1, nullptr, &depth));  // a hydrogen is terminal
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(tree[0].sum, 13);
    EXPECT_FALSE(tree.AddNode(x, 1, 6));  // nothing under a terminal node
    EXPECT_FALSE(tree.AddNode(x, 7, 6));  // nor under a node that is not there
    EXPECT_FALSE(tree.GetNode(7, &atom, &depth));
    EXPECT_EQ(tree.GetSize(), 2);
}

TEST_F(ChiralityTest, TreeRecordsRingClosuresOnceAndNeverStepsBack)
{
    Atom3d* const c1 = Add("C", Point3d());
    Atom3d* const c2 = Add("C", Point3d());
    Atom3d* const c3 = Add("C", Point3d());
    ChiralityTree tree;
    tree.AddNode(c1, 0, 6);
    tree.AddNode(c2, 0, 6);
    ASSERT_TRUE(tree.AddNode(c3, 1, 6));
    EXPECT_FALSE(tree.AddNode(c2, 2, 6));  // back along the bond just crossed
    ASSERT_TRUE(tree.AddNode(c1, 2, 6));   // the ring closes: kept once, not expanded
    EXPECT_FALSE(tree.GetNode(3, nullptr, nullptr));
    EXPECT_EQ(tree[3].depth, 3);
    EXPECT_EQ(tree[1].sum, 12);

    // Ring closures through other atoms above are duplicates too.
    Atom3d* const c4 = Add("C", Point3d());
    ChiralityTree longer;
    longer.AddNode(c1, 0, 6);
    longer.AddNode(c2, 0, 6);   // 1
    longer.AddNode(c3, 1, 6);   // 2
    longer.AddNode(c4, 2, 6);   // 3
    ASSERT_TRUE(longer.AddNode(c1, 3, 6));  // 4: c1 once above
    ASSERT_TRUE(longer.AddNode(c2, 3, 6));  // 5: c2 once above
    EXPECT_FALSE(longer.GetNode(4, nullptr, nullptr));
    EXPECT_FALSE(longer.GetNode(5, nullptr, nullptr));

    // An atom met twice above is refused (here through an atom listed under itself).
    ChiralityTree looped;
    looped.AddNode(c1, 0, 6);
    looped.AddNode(c2, 0, 6);              // 1
    looped.AddNode(c3, 1, 6);              // 2
    ASSERT_TRUE(looped.AddNode(c3, 2, 6)); // 3: c3 under c3, not above yet
    looped.AddNode(c4, 3, 6);              // 4
    looped.AddNode(c2, 4, 6);              // 5: c2 once above, a duplicate
    Atom3d* const c5 = Add("C", Point3d());
    looped.AddNode(c5, 4, 6);              // 6
    EXPECT_FALSE(looped.AddNode(c3, 6, 6));  // c3 twice above
    EXPECT_EQ(looped.GetSize(), 7);
}

TEST_F(ChiralityTest, TreeSortPutsHeavierSiblingsFirstAndCarriesTheirChildren)
{
    std::vector<Atom3d*> a;
    for (int i = 0; i < 5; ++i)
        a.push_back(Add("C", Point3d()));
    ChiralityTree tree;
    tree.AddNode(a[0], 0, 6);  // 0
    tree.AddNode(a[1], 0, 7);  // 1: sum 7 + 1
    tree.AddNode(a[2], 0, 8);  // 2: sum 8 + 6
    tree.AddNode(a[3], 1, 1);  // 3, child of 1
    tree.AddNode(a[4], 2, 6);  // 4, child of 2
    ASSERT_EQ(tree.GetSize(), 5);
    ASSERT_EQ(tree[1].sum, 8);
    ASSERT_EQ(tree[2].sum, 14);
    EXPECT_TRUE(tree.Sort());
    EXPECT_EQ(tree[1].atom, a[2]);
    EXPECT_EQ(tree[2].atom, a[1]);
    // The children follow: the one of the heavier sibling first, under its new index.
    EXPECT_EQ(tree[3].atom, a[4]);
    EXPECT_EQ(tree[3].parent, 1);
    EXPECT_EQ(tree[4].atom, a[3]);
    EXPECT_EQ(tree[4].parent, 2);
    EXPECT_EQ(tree[0].parent, 0);

    // Equal sums keep their order.
    ChiralityTree stable;
    stable.AddNode(a[0], 0, 6);
    stable.AddNode(a[1], 0, 9);
    stable.AddNode(a[2], 0, 9);
    stable.AddNode(a[3], 0, 1);
    stable.Sort();
    EXPECT_EQ(stable[1].atom, a[1]);
    EXPECT_EQ(stable[2].atom, a[2]);
    EXPECT_EQ(stable[3].atom, a[3]);
}

TEST_F(ChiralityTest, TreesCompareByWeightsThenBySize)
{
    const std::vector<Atom3d*> atoms{Add("C", Point3d()), Add("C", Point3d()), Add("C", Point3d())};
    // A chain of nodes with these weights.
    const auto build = [&atoms](const std::vector<int>& weights) {
        ChiralityTree tree;
        for (std::size_t i = 0; i < weights.size(); ++i)
            EXPECT_TRUE(tree.AddNode(atoms[i], i == 0 ? 0 : static_cast<int>(i) - 1, weights[i]));
        return tree;
    };
    const ChiralityTree longer = build({6, 8, 1});
    const ChiralityTree shorter = build({6, 8});
    EXPECT_FALSE(longer < shorter);
    EXPECT_TRUE(shorter < longer);
    EXPECT_TRUE(build({6, 7, 9}) < build({6, 8}));
    EXPECT_FALSE(build({6, 8}) < build({6, 7, 9}));
    EXPECT_TRUE(build({6, 8, 1}) == longer);
    EXPECT_FALSE(longer == shorter);
    EXPECT_FALSE(build({6, 8, 7}) == longer);
}

// ---- Stereocentres

TEST_F(ChiralityTest, FourHalogensGiveRAndTheMirrorImageS)
{
    // Falling priority I, Br, Cl, F on the clockwise directions.
    Atom3d* const centre = Centre({"I", "Br", "Cl", "F"}, Clockwise());
    EXPECT_EQ(centre->GetChirality(true), Atom::ChiralityR);
    Atom3d* const mirror = Centre({"I", "Br", "Cl", "F"}, Mirrored());
    EXPECT_EQ(mirror->GetChirality(true), Atom::ChiralityS);
    // The bond order among the neighbours does not matter, only their priorities.
    const std::vector<Point3d> d = Clockwise();
    Atom3d* const shuffled = Centre({"F", "Cl", "I", "Br"}, {d[3], d[2], d[0], d[1]});
    EXPECT_EQ(shuffled->GetChirality(true), Atom::ChiralityR);

    EXPECT_EQ(centre->GetPropertyAsString("Chirality"), "R");
    EXPECT_EQ(mirror->GetPropertyAsString("chirality"), "S");
}

TEST_F(ChiralityTest, MultipleBondsCountTheirAtomsAgain)
{
    // Glyceraldehyde: OH > CHO > CH2OH > H. Without the doubled oxygen the two carbon branches would
    // tie and the centre would not be a stereocentre.
    for (const bool mirrored : {false, true}) {
        const std::vector<Point3d> d = mirrored ? Mirrored() : Clockwise();
        std::vector<Atom3d*> n;
        Atom3d* const centre = Centre({"O", "C", "C", "H"}, d, &n);
        Grow(n[1], "O", d[1] + Point3d(0, 0, 1), Bond::Double);
        Grow(n[2], "O", d[2] + Point3d(0, 0, 1));
        EXPECT_EQ(centre->GetChirality(true), mirrored ? Atom::ChiralityS : Atom::ChiralityR);
    }
}

TEST_F(ChiralityTest, NonStereocentres)
{
    // Three bonds.
    std::vector<Point3d> d = Clockwise();
    Atom3d* const three = Centre({"I", "Br", "Cl"}, d);
    EXPECT_EQ(three->GetChirality(true), Atom::NotStereocentre);
    EXPECT_EQ(three->GetPropertyAsString("Chirality"), "");
    // Two hydrogens.
    EXPECT_EQ(Centre({"I", "Br", "H", "H"}, d)->GetChirality(true), Atom::NotStereocentre);

    // Two methyl groups, hydrogens implicit (decided at the first level) and explicit (the second).
    std::vector<Atom3d*> n;
    Atom3d* const implicit = Centre({"C", "C", "F", "Cl"}, d, &n);
    EXPECT_EQ(implicit->GetChirality(true), Atom::NotStereocentre);
    n.clear();
    Atom3d* const explicitH = Centre({"C", "C", "F", "Cl"}, d, &n);
    for (Atom3d* methyl : {n[0], n[1]}) {
        for (int k = 0; k < 3; ++k)
            Grow(methyl, "H", methyl->GetXYZ() + Point3d(0.1 * k, 1.0, 0.0));
    }
    EXPECT_EQ(explicitH->GetChirality(true), Atom::NotStereocentre);
    // One hydrogen fewer on one methyl makes the branches differ.
    delete n[0]->GetAttached(1);
    EXPECT_NE(explicitH->GetChirality(true), Atom::NotStereocentre);
}

TEST_F(ChiralityTest, RingBranchesTieUntilTheRingDiffers)
{
    // Cyclopropane carbon with F and Cl: the two ring branches are the same ring walked both ways.
    const std::vector<Point3d> d = Clockwise();
    std::vector<Atom3d*> n;
    Atom3d* const centre = Centre({"C", "C", "F", "Cl"}, d, &n);
    n[0]->MakeBond(n[1], Bond::Single);
    EXPECT_EQ(centre->GetChirality(true), Atom::NotStereocentre);

    // A methyl on one ring carbon breaks the tie: that branch ranks above the other.
    Grow(n[0], "C", Point3d(0, 1, 1));
    EXPECT_EQ(centre->GetChirality(true), Atom::ChiralityS);  // Cl > F > C(Me) > C
}

TEST_F(ChiralityTest, HugeOrEndlessTiesAreUndetermined)
{
    const std::vector<Point3d> d = Clockwise();
    // Two identical branches that outgrow the node limit before they are explored.
    std::vector<Atom3d*> n;
    Atom3d* const centre = Centre({"C", "C", "F", "Cl"}, d, &n);
    Branch(n[0], 5);
    Branch(n[1], 5);
    EXPECT_EQ(centre->GetChirality(true), Atom::ChiralityUndetermined);
    EXPECT_EQ(centre->GetPropertyAsString("Chirality"), "?");

    // Two identical chains: 30 atoms long they are explored to their ends, 45 long the tie outlasts the
    // level limit.
    for (const int length : {30, 45}) {
        n.clear();
        Atom3d* const chained = Centre({"C", "C", "F", "Cl"}, d, &n);
        for (Atom3d* end : {n[0], n[1]}) {
            for (int i = 0; i < length; ++i)
                end = Grow(end, "C", Point3d(1, 0, 0));
        }
        EXPECT_EQ(chained->GetChirality(true), length == 30 ? Atom::NotStereocentre : Atom::ChiralityUndetermined);
    }
}

TEST_F(ChiralityTest, TheDecidedCodeIsKeptAndRefreshedOnlyWhenItChanges)
{
    Atom3d* const centre = Centre({"I", "Br", "Cl", "F"}, Mirrored());  // S by its geometry
    centre->SetProperty(Atom::ChiralityKey, std::int32_t{Atom::ChiralityR}, 0);
    EXPECT_EQ(centre->GetChirality(false), Atom::ChiralityR);  // the kept code, geometry unread

    int writes = 0;
    static int* counter = nullptr;
    counter = &writes;
    centre->RegisterEvent(
        Object::classType, Object::EventPropertySet, [](Event&) { ++*counter; }, false, nullptr, "Chirality");
    EXPECT_EQ(centre->GetChirality(true), Atom::ChiralityS);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(centre->GetChirality(true), Atom::ChiralityS);
    EXPECT_EQ(writes, 1);
    std::int32_t kept = 0;
    ASSERT_TRUE(centre->GetProperty(Atom::ChiralityKey, kept));
    EXPECT_EQ(kept, Atom::ChiralityS);

    // Without a kept code the answer is decided but not kept.
    Atom3d* const fresh = Centre({"I", "Br", "Cl", "F"}, Clockwise());
    EXPECT_EQ(fresh->GetChirality(false), Atom::ChiralityR);
    EXPECT_FALSE(fresh->HasProperty(Atom::ChiralityKey));

    // The extra marks go to their own property; other codes are not marks.
    fresh->SetChiralityExt(Atom::ChiralityExtra6);
    fresh->SetChiralityExt(Atom::ChiralityR);
    std::int32_t mark = 0;
    ASSERT_TRUE(fresh->GetProperty(Atom::ChiralityMarkKey, mark));
    EXPECT_EQ(mark, Atom::ChiralityExtra6);
    EXPECT_FALSE(fresh->HasProperty(Atom::ChiralityKey));
    EXPECT_EQ(fresh->GetPropertyAsString("Chirality"), "R*");
}
