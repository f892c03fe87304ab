#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
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

    Atom3d* Add(const char* symbol = "C", const Point3d& at = Point3d())
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
    // A centre whose neighbours, given by falling priority, sit with the last one pointing away from
    // a viewer on +z and the first three clockwise (an R centre); handedness -1 mirrors them (S).
    Atom3d* Centre(const std::vector<const char*>& symbols, double handedness, std::vector<Atom3d*>* out = nullptr)
    {
        const Point3d directions[] = {{0.0, 1.0, 0.35}, {0.866 * handedness, -0.5, 0.35},
                                      {-0.866 * handedness, -0.5, 0.35}, {0.0, 0.0, -1.0}};
        Atom3d* const centre = Add();
        for (std::size_t i = 0; i < symbols.size(); ++i) {
            Atom3d* const atom = Grow(centre, symbols[i], directions[i]);
            if (out)
                out->push_back(atom);
        }
        return centre;
    }
    // A chain of `length` carbons grown from end.
    void Chain(Atom3d* end, int length)
    {
        for (int i = 0; i < length; ++i)
            end = Grow(end, "C", Point3d(1, 0, 0));
    }

    std::unique_ptr<Molecule> molecule = std::make_unique<Molecule>(nullptr);
};

} // namespace

TEST_F(ChiralityTest, PriorityTreesStayFiniteAndOrderTheirBranches)
{
    std::vector<Atom3d*> a;
    for (int i = 0; i < 6; ++i)
        a.push_back(Add());
    ChiralityTree tree;
    ASSERT_TRUE(tree.AddNode(a[0], 0, 6));
    EXPECT_EQ(tree[0].sum, 12);  // the root is its own parent
    ASSERT_TRUE(tree.AddNode(a[1], 0, 1));
    int depth = -1;
    EXPECT_FALSE(tree.GetNode(1, nullptr, &depth));  // a hydrogen is terminal
    EXPECT_EQ(depth, 1);
    EXPECT_FALSE(tree.AddNode(a[2], 1, 6));  // nothing under it
    EXPECT_FALSE(tree.AddNode(a[2], 9, 6));  // nor under a node that is not there

    // A three-membered ring a0-a2-a3 grown from a0: the closure is kept once and not expanded.
    ChiralityTree ring;
    ring.AddNode(a[0], 0, 6);
    ring.AddNode(a[2], 0, 6);                // 1
    ASSERT_TRUE(ring.AddNode(a[3], 1, 6));   // 2
    EXPECT_FALSE(ring.AddNode(a[2], 2, 6));  // back along the bond just crossed
    ASSERT_TRUE(ring.AddNode(a[0], 2, 6));   // 3: a0 once above
    EXPECT_FALSE(ring.GetNode(3, nullptr, nullptr));
    // An atom met twice above is refused (here through an atom listed under itself).
    ASSERT_TRUE(ring.AddNode(a[3], 2, 6));   // 4
    ring.AddNode(a[4], 4, 6);                // 5
    ring.AddNode(a[5], 5, 6);                // 6
    EXPECT_FALSE(ring.AddNode(a[3], 6, 6));
    EXPECT_EQ(ring.GetSize(), 7);

    // Sort: heavier siblings first (sums 14 and 8), their children follow; equal sums keep order.
    ChiralityTree sorted;
    sorted.AddNode(a[0], 0, 6);
    sorted.AddNode(a[1], 0, 7);
    sorted.AddNode(a[2], 0, 8);
    sorted.AddNode(a[3], 1, 1);
    sorted.AddNode(a[4], 2, 6);
    sorted.AddNode(a[5], 0, 8);
    EXPECT_TRUE(sorted.Sort());
    const std::vector<const Atom*> order{a[0], a[2], a[1], a[5], a[4], a[3]};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(sorted[i].atom, order[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(sorted[4].parent, 1);
    EXPECT_EQ(sorted[5].parent, 2);

    // Comparison: weights node by node, then the shorter tree is the smaller.
    const auto chain = [&a](const std::vector<int>& weights) {
        ChiralityTree t;
        for (std::size_t i = 0; i < weights.size(); ++i)
            t.AddNode(a[i], i == 0 ? 0 : static_cast<int>(i) - 1, weights[i]);
        return t;
    };
    EXPECT_FALSE(chain({6, 8, 1}) < chain({6, 8}));
    EXPECT_TRUE(chain({6, 8}) < chain({6, 8, 1}));
    EXPECT_TRUE(chain({6, 7, 9}) < chain({6, 8}));
    EXPECT_TRUE(chain({6, 8, 1}) == chain({6, 8, 1}));
    EXPECT_FALSE(chain({6, 8, 1}) == chain({6, 8, 7}));
}

TEST_F(ChiralityTest, CentresAreRAndTheirMirrorImagesS)
{
    EXPECT_EQ(Centre({"I", "Br", "Cl", "F"}, 1.0)->GetChirality(true), Atom::ChiralityR);
    Atom3d* const mirror = Centre({"I", "Br", "Cl", "F"}, -1.0);
    EXPECT_EQ(mirror->GetChirality(true), Atom::ChiralityS);
    EXPECT_EQ(mirror->GetPropertyAsString("chirality"), "S");

    // Glyceraldehyde, OH > CHO > CH2OH > H: only the doubled oxygen of the aldehyde breaks the tie.
    for (const double handedness : {1.0, -1.0}) {
        std::vector<Atom3d*> n;
        Atom3d* const centre = Centre({"O", "C", "C", "H"}, handedness, &n);
        Grow(n[1], "O", Point3d(0, 0, 1), Bond::Double);
        Grow(n[2], "O", Point3d(0, 0, 1));
        EXPECT_EQ(centre->GetChirality(true), handedness > 0 ? Atom::ChiralityR : Atom::ChiralityS);
    }
}

TEST_F(ChiralityTest, EqualBranchesMakeNoStereocentre)
{
    EXPECT_EQ(Centre({"I", "Br", "Cl"}, 1.0)->GetChirality(true), Atom::NotStereocentre);
    EXPECT_EQ(Centre({"I", "Br", "H", "H"}, 1.0)->GetChirality(true), Atom::NotStereocentre);

    // Two methyls, hydrogens implicit (tied at the first sphere) and explicit (at the second).
    EXPECT_EQ(Centre({"C", "C", "F", "Cl"}, 1.0)->GetChirality(true), Atom::NotStereocentre);
    std::vector<Atom3d*> n;
    Atom3d* const centre = Centre({"C", "C", "F", "Cl"}, 1.0, &n);
    for (Atom3d* methyl : {n[0], n[1]}) {
        for (int k = 0; k < 3; ++k)
            Grow(methyl, "H", Point3d(k, 1.0, 0.0));
    }
    EXPECT_EQ(centre->GetChirality(true), Atom::NotStereocentre);
    delete n[0]->GetAttached(1);  // a hydrogen fewer makes the branches differ
    EXPECT_NE(centre->GetChirality(true), Atom::NotStereocentre);

    // Cyclopropane carbon with F and Cl: the ring walked both ways ties until a methyl breaks it.
    n.clear();
    Atom3d* const ring = Centre({"C", "C", "F", "Cl"}, 1.0, &n);
    n[0]->MakeBond(n[1], Bond::Single);
    EXPECT_EQ(ring->GetChirality(true), Atom::NotStereocentre);
    Grow(n[0], "C", Point3d(0, 1, 1));
    EXPECT_EQ(ring->GetChirality(true), Atom::ChiralityS);  // Cl > F > C(Me) > C
}

TEST_F(ChiralityTest, TiesBeyondTheLimitsAreUndetermined)
{
    // Two identical branches of quaternary carbons outgrow 255 nodes before they are explored.
    std::vector<Atom3d*> n;
    Atom3d* const branched = Centre({"C", "C", "F", "Cl"}, 1.0, &n);
    for (Atom3d* root : {n[0], n[1]}) {
        std::vector<Atom3d*> layer{root};
        for (int generation = 0; generation < 5; ++generation) {
            std::vector<Atom3d*> next;
            for (Atom3d* atom : layer) {
                for (int k = 0; k < 3; ++k)
                    next.push_back(Grow(atom, "C", Point3d(1, k, 1)));
            }
            layer = std::move(next);
        }
    }
    EXPECT_EQ(branched->GetChirality(true), Atom::ChiralityUndetermined);

    // Two identical chains: 30 long they are explored to their ends, 45 long they tie past 39 spheres.
    for (const int length : {30, 45}) {
        n.clear();
        Atom3d* const chained = Centre({"C", "C", "F", "Cl"}, 1.0, &n);
        Chain(n[0], length);
        Chain(n[1], length);
        EXPECT_EQ(chained->GetChirality(true), length == 30 ? Atom::NotStereocentre : Atom::ChiralityUndetermined);
        chained->SetColorScheme("Chirality");
        EXPECT_EQ(chained->GetColor(), length == 30 ? Color::White() : Color::Yellow());
    }
}

TEST_F(ChiralityTest, TheDecidedCodeIsKeptColouredAndMarked)
{
    Atom3d* const centre = Centre({"I", "Br", "Cl", "F"}, -1.0);  // S by its geometry
    centre->SetProperty(Atom::ChiralityKey, std::int32_t{Atom::ChiralityR}, 0);
    EXPECT_EQ(centre->GetChirality(false), Atom::ChiralityR);  // the kept code; the geometry is not read

    static int writes = 0;
    centre->RegisterEvent(
        Object::classType, Object::EventPropertySet, [](Event&) { ++writes; }, false, nullptr, "Chirality");
    EXPECT_EQ(centre->GetChirality(true), Atom::ChiralityS);
    EXPECT_EQ(centre->GetChirality(true), Atom::ChiralityS);
    EXPECT_EQ(writes, 1);  // written only when it changed
    centre->SetColorScheme("Chirality");
    EXPECT_EQ(centre->GetColor(), Color::Blue());

    // Without a kept code the answer is decided but not kept.
    Atom3d* const fresh = Centre({"I", "Br", "Cl", "F"}, 1.0);
    EXPECT_EQ(fresh->GetChirality(false), Atom::ChiralityR);
    EXPECT_FALSE(fresh->HasProperty(Atom::ChiralityKey));
    fresh->SetColorScheme("chirality");
    EXPECT_EQ(fresh->GetColor(), Color::Red());

    // The extra marks go to their own property; other codes are not marks.
    fresh->SetChiralityExt(Atom::ChiralityExtra6);
    fresh->SetChiralityExt(Atom::ChiralityR);
    std::int32_t mark = 0;
    ASSERT_TRUE(fresh->GetProperty(Atom::ChiralityMarkKey, mark));
    EXPECT_EQ(mark, Atom::ChiralityExtra6);
    EXPECT_EQ(fresh->GetPropertyAsString("Chirality"), "R*");
}
