#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/crystal/SymmetryOp.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/Event.h>

using namespace Tavrel;

namespace {

using Labels = std::vector<std::string>;

// Which asymmetric atoms a build keeps when some are images of others, for operators with and
// without their inverses in the list and for cells whose metric the operators do not keep.
class SymmetryExpansionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    static std::unique_ptr<Cell3d> MakeCell(double a, double b, double c)
    {
        auto cell = std::make_unique<Cell3d>(nullptr);
        EXPECT_TRUE(cell->SetGeometry(a, b, c, 90.0, 90.0, 90.0));
        return cell;
    }

    // Appends the operator u = p R + t; rotation rows are R's rows.
    static void AddOperator(Cell3d& cell, const double (&rotation)[3][3], const double (&translation)[3])
    {
        Matrix4x4 matrix;
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column)
                matrix(row, column) = rotation[row][column];
        }
        for (int column = 0; column < 3; ++column)
            matrix(3, column) = translation[column];
        auto op = std::make_unique<SymmetryOp>();
        op->SetMatrix(matrix);
        ASSERT_TRUE(cell.GetSymmetry()->AddSymmetryOp(op.get()));
        op.release();
    }

    static Atom3d* AddAtom(Cell3d& cell, const std::string& label, const Point3d& fractional)
    {
        auto* const atom = new Atom3d(&cell, "C");
        atom->SetLabel(label);
        atom->SetXYZ(fractional * cell.GetFracToCart());
        return atom;
    }

    // The labels of the asymmetric atoms, in tree order.
    static Labels Asymmetric(Cell3d& cell)
    {
        Labels labels;
        DescendentIterator walk(&cell, Atom3d::classType, false);
        while (Object* const object = walk.GetNext())
            labels.push_back(object->GetLabel());
        return labels;
    }

    static std::size_t CountReplicas(Cell3d& cell)
    {
        std::size_t count = 0;
        DescendentIterator walk(&cell, ReplicateAtom::classType, false);
        while (walk.GetNext())
            ++count;
        return count;
    }

    static Cell3d::BuildInfo NoPacking()
    {
        return Cell3d::BuildInfo(Cell3d::BuildInfo::NoPacking, 0.05, false, LatticeOffset(1, 1, 1));
    }

    // (-y, x, z) and its inverse (y, -x, z).
    static constexpr double Quarter[3][3] = {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}};
    static constexpr double QuarterBack[3][3] = {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}};
    static constexpr double Half[3][3] = {{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}};
    static constexpr double None[3] = {0, 0, 0};
};

TEST_F(SymmetryExpansionTest, AnImageByAFourFoldAxisGoesInEitherOrderAndAcrossFaces)
{
    for (const bool swapped : {false, true}) {
        const auto cell = MakeCell(10, 10, 10);
        ASSERT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(75, "", 0));
        // B is A turned a quarter about c, one cell over; C lies on A's image by the half turn, one
        // cell up and a hair beside it.
        const Point3d a(0.1, 0.2, 0.3);
        const Point3d b(-0.2 + 1.0, 0.1 + 1.0, 0.3);
        if (swapped)
            AddAtom(*cell, "B", b);
        AddAtom(*cell, "A", a);
        if (!swapped)
            AddAtom(*cell, "B", b);
        AddAtom(*cell, "C", Point3d(0.9000001, 0.8, 1.3));
        AddAtom(*cell, "D", Point3d(0.0, 0.0, 0.5));
        AddAtom(*cell, "E", Point3d(0.35, 0.45, 0.55));
        ASSERT_TRUE(cell->Build(NoPacking()));
        EXPECT_EQ(Asymmetric(*cell), (Labels{swapped ? "B" : "A", "D", "E"}));
        // Three replicas for each general position, none for D on the axis.
        EXPECT_EQ(CountReplicas(*cell), 6u);
    }
}

TEST_F(SymmetryExpansionTest, AnAtomRepeatedAcrossFacesOfOppositeSidesGoesWithoutAnyOperator)
{
    // B is A one cell over along a and one back along b, which no shift of either onto the far
    // corners of the cell brings together; D is C two cells over and one down.
    const auto cell = MakeCell(10, 10, 10);
    AddAtom(*cell, "A", Point3d(0.0001, 0.9999, 0.5));
    AddAtom(*cell, "C", Point3d(0.3, 0.4, 0.5));
    AddAtom(*cell, "B", Point3d(0.9999, 0.0001, 0.5));
    AddAtom(*cell, "D", Point3d(2.3, 0.4, -0.5));
    ASSERT_TRUE(cell->Build(NoPacking()));
    EXPECT_EQ(Asymmetric(*cell), (Labels{"A", "C"}));
    EXPECT_EQ(CountReplicas(*cell), 0u);
}

TEST_F(SymmetryExpansionTest, AnOperatorWithoutItsInverseRemovesOnlyItsOwnImages)
{
    for (const bool imageFirst : {false, true}) {
        const auto cell = MakeCell(10, 10, 10);
        AddOperator(*cell, Quarter, None);
        const Point3d a(0.1, 0.2, 0.3);
        const Point3d image(-0.2, 0.1, 0.3);
        if (imageFirst)
            AddAtom(*cell, "B", image);
        AddAtom(*cell, "A", a);
        if (!imageFirst)
            AddAtom(*cell, "B", image);
        ASSERT_TRUE(cell->Build(NoPacking()));
        // B is A's image; A is no image of B: (-y, x, z) twice is the half turn.
        EXPECT_EQ(Asymmetric(*cell), imageFirst ? (Labels{"B", "A"}) : (Labels{"A"}));
    }
}

TEST_F(SymmetryExpansionTest, OperatorsThatStretchTheCellKeepTheToleranceOfTheImages)
{
    // In a cell twice as long along b, the quarter turn maps b onto a: B lies 0.04 A (along a) from
    // A's image and goes; C lies 0.06 A (along b) from it and stays, although A lies 0.03 A from
    // C's image by the inverse.
    const auto cell = MakeCell(10, 20, 10);
    AddOperator(*cell, Quarter, None);
    AddOperator(*cell, QuarterBack, None);
    AddAtom(*cell, "A", Point3d(0.1, 0.2, 0.3));
    AddAtom(*cell, "B", Point3d(-0.2 + 0.004, 0.1, 0.3));
    AddAtom(*cell, "C", Point3d(-0.2, 0.1 + 0.003, 0.3));
    ASSERT_TRUE(cell->Build(NoPacking()));
    EXPECT_EQ(Asymmetric(*cell), (Labels{"A", "C"}));
}

TEST_F(SymmetryExpansionTest, RandomImagesOfEarlierAtomsAreAllRemovedAndNothingElse)
{
    const auto cell = MakeCell(30, 30, 30);
    ASSERT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(221, "", 0));
    const Symmetry& symmetry = *cell->GetSymmetry();
    UniformRandomSequence random(0.0, 1.0);
    random.Seed(99);
    std::vector<Point3d> kept;
    Labels expected;
    for (int i = 0; i < 60; ++i) {
        const std::string label = "X" + std::to_string(i);
        if (i % 3 == 2) {
            // An image of an earlier atom by a random operator, a few cells away.
            const Point3d& source = kept[static_cast<std::size_t>(random.Next() * double(kept.size()))];
            Point3d image;
            symmetry.GetSymmetryOp(1 + static_cast<int>(random.Next() * 47))->TransformPoint(source, image);
            AddAtom(*cell, label, Point3d(image.x + 2.0, image.y - 1.0, image.z + 3.0));
            continue;
        }
        const Point3d p(random.Next(), random.Next(), random.Next());
        kept.push_back(p);
        expected.push_back(label);
        AddAtom(*cell, label, p);
    }
    ASSERT_TRUE(cell->Build(NoPacking()));
    EXPECT_EQ(Asymmetric(*cell), expected);
    EXPECT_EQ(CountReplicas(*cell), expected.size() * 47);
}

TEST_F(SymmetryExpansionTest, EachSiteOfPm3mGetsOneSymmetryReplicaPerDistinctImageNamedAfterItsAtom)
{
    // Sites of every multiplicity, some a hair inside a face: the images that coincide, directly or a
    // cell apart, make periodic replicas or none.
    const std::pair<Point3d, std::size_t> sites[] = {
        {Point3d(0.0, 0.0, 0.0), 1},     {Point3d(0.99999, 0.5, 0.50001), 3}, {Point3d(0.2, 0.0, 1.0), 6},
        {Point3d(0.3, 0.3, 0.3), 8},     {Point3d(0.2, 0.5, 0.99999), 12},     {Point3d(0.0, 0.2, 0.35), 24},
        {Point3d(0.1, 0.2, 0.35), 48}};
    for (const auto& [site, multiplicity] : sites) {
        const auto cell = MakeCell(10, 10, 10);
        ASSERT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(221, "", 0));
        // Unlabelled, the atom is "C1".
        auto* const atom = new Atom3d(cell.get(), "C");
        atom->SetXYZ(site * cell->GetFracToCart());
        ASSERT_TRUE(cell->Build(NoPacking()));
        std::size_t symmetric = 0;
        DescendentIterator walk(atom, ReplicateAtom::classType, false);
        while (Object* const object = walk.GetNext()) {
            const auto* const replica = static_cast<ReplicateAtom*>(object);
            const std::string op = "#" + std::to_string(replica->GetSymmetryOperator() + 1);
            const LatticeOffset offset = replica->GetLatticeOffset();
            const std::string shift = "@" + std::to_string(offset.a) + "," + std::to_string(offset.b) + "," +
                                      std::to_string(offset.c);
            if (!replica->IsPeriodic()) {
                ++symmetric;
                EXPECT_EQ(replica->GetLabel(), "C1" + op);
            } else {
                EXPECT_EQ(replica->GetLabel(), "C1" + (replica->IsSymmetric() ? op : "") + shift);
            }
        }
        EXPECT_EQ(symmetric, multiplicity - 1) << site.x << " " << site.y << " " << site.z;
    }
}

TEST_F(SymmetryExpansionTest, AnOperatorListedTwiceMakesOneReplicaAtAGeneralPositionAndNoneOnItsAxis)
{
    for (const bool onAxis : {false, true}) {
        const auto cell = MakeCell(10, 10, 10);
        AddOperator(*cell, Quarter, None);
        AddOperator(*cell, Half, None);
        AddOperator(*cell, QuarterBack, None);
        AddOperator(*cell, Quarter, None);
        Atom3d* const atom = AddAtom(*cell, "A", onAxis ? Point3d(0.0, 0.0, 0.3) : Point3d(0.1, 0.2, 0.3));
        ASSERT_TRUE(cell->Build(NoPacking()));
        Labels labels;
        for (int i = 0; i < atom->GetNumChildren(); ++i)
            labels.push_back(atom->GetChild(i)->GetLabel());
        EXPECT_EQ(labels, onAxis ? Labels{} : (Labels{"A#2", "A#3", "A#4"}));
    }
}

TEST_F(SymmetryExpansionTest, AFamilyOfReplicasTakesItsAtomsLabelOfAnyLengthAndItsVisibility)
{
    // Labels about as long as those put together in place, and far longer; the atom shown or hidden.
    for (const std::size_t length : {std::size_t{1}, std::size_t{52}, std::size_t{53}, std::size_t{200}}) {
        for (const bool visible : {true, false}) {
            const auto cell = MakeCell(10, 12, 14);
            ASSERT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(19, "", 0));
            const std::string label(length, 'L');
            Atom3d* const atom = AddAtom(*cell, label, Point3d(0.1, 0.2, 0.3));
            if (!visible)
                atom->SetInvisible(false);
            ASSERT_TRUE(cell->Build(NoPacking()));
            Labels labels;
            for (int i = 0; i < atom->GetNumChildren(); ++i) {
                const auto* const replica = static_cast<const Atom*>(atom->GetChild(i));
                labels.push_back(replica->GetLabel());
                EXPECT_EQ(replica->IsVisible(), visible) << length;
            }
            EXPECT_EQ(labels, (Labels{label + "#2", label + "#3", label + "#4"})) << length;
        }
    }
}

// The atom a listener renames when its first replica joins it.
Atom3d* g_renamed = nullptr;

void RenameOnce(Event&)
{
    if (g_renamed && g_renamed->GetLabel() == "A")
        g_renamed->SetLabel("B");
}

TEST_F(SymmetryExpansionTest, AReplicaIsNamedAfterItsAtomsLabelAsItIsWhenTheReplicaIsMade)
{
    const auto cell = MakeCell(10, 12, 14);
    ASSERT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(19, "", 0));
    g_renamed = AddAtom(*cell, "A", Point3d(0.1, 0.2, 0.3));
    cell->RegisterEvent(TreeNode::classType, TreeNode::EventParentSet, RenameOnce, true, nullptr, nullptr);
    ASSERT_TRUE(cell->Build(NoPacking()));
    cell->UnregisterAllEvents();
    Labels labels;
    for (int i = 0; i < g_renamed->GetNumChildren(); ++i)
        labels.push_back(g_renamed->GetChild(i)->GetLabel());
    g_renamed = nullptr;
    EXPECT_EQ(labels, (Labels{"A#2", "B#3", "B#4"}));
}

TEST_F(SymmetryExpansionTest, BondIdentifiersCountOnlyTheAtomsLeft)
{
    const auto cell = MakeCell(10, 10, 10);
    ASSERT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(2, "", 0));
    cell->SetID(7);
    AddAtom(*cell, "A", Point3d(0.1, 0.2, 0.3));
    AddAtom(*cell, "B", Point3d(-0.1, -0.2, -0.3));
    Atom3d* const c = AddAtom(*cell, "C", Point3d(0.3, 0.3, 0.3));
    Atom3d* const d = AddAtom(*cell, "D", Point3d(0.35, 0.3, 0.3));
    ASSERT_NE(c->MakeBond(d, Bond::Single), nullptr);
    ASSERT_TRUE(cell->Build(NoPacking()));
    ASSERT_EQ(Asymmetric(*cell), (Labels{"A", "C", "D"}));
    auto* const image = DynCast<Atom>(c->GetChild(0));
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->GetNumBonds(), 1);
    // C is the second atom left.
    EXPECT_EQ(image->GetBond(0)->GetID(), 7 * 1000 + 1);
}

// Every atom left below the cell, in tree order: label, position bits and, for a replica, its operator
// and offset, folded into one number.
std::uint64_t Fingerprint(Cell3d& cell)
{
    std::uint64_t hash = 1469598103934665603u;
    const auto fold = [&](const void* bytes, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            hash ^= static_cast<const unsigned char*>(bytes)[i];
            hash *= 1099511628211u;
        }
    };
    DescendentIterator walk(&cell, Atom::classType, false);
    while (Object* const object = walk.GetNext()) {
        const std::string label = object->GetLabel();
        fold(label.data(), label.size());
        const Point3d at = static_cast<Atom*>(object)->GetXYZ();
        fold(&at, sizeof at);
        if (const auto* const replica = DynCast<ReplicateAtom>(object)) {
            const LatticeOffset offset = replica->GetLatticeOffset();
            const int values[4] = {replica->GetSymmetryOperator(), offset.a, offset.b, offset.c};
            fold(values, sizeof values);
        }
    }
    return hash;
}

TEST_F(SymmetryExpansionTest, RandomCellsWithImagesRepeatsAndSpecialPositionsBuildAsTheyAlwaysHave)
{
    // Random atoms, images of earlier ones by random operators a few cells away, atoms a hair from
    // special positions and faces, in groups with and without special positions, in cells whose
    // metric the operators keep and one it does not.
    struct Case {
        int group;
        double a, b, c;
        std::uint64_t expected;
    };
    const Case cases[] = {{19, 11, 13, 17, 13821091958377958750u},
                          {14, 11, 13, 17, 11854619143559334205u},
                          {221, 12, 12, 12, 1895192141197997790u},
                          {75, 10, 10, 14, 7016204932982374884u},
                          {221, 11, 13, 17, 18175399696244252843u}};
    for (const auto& [group, a, b, c, expected] : cases) {
        const auto cell = MakeCell(a, b, c);
        ASSERT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(group, "", 0));
        const Symmetry& symmetry = *cell->GetSymmetry();
        const int operators = symmetry.GetNumSymmetryOps();
        UniformRandomSequence random(0.0, 1.0);
        random.Seed(static_cast<std::uint32_t>(group));
        std::vector<Point3d> placed;
        for (int i = 0; i < 150; ++i) {
            const std::string label = "X" + std::to_string(i);
            const double kind = random.Next();
            Point3d p(random.Next(), random.Next(), random.Next());
            if (kind < 0.2 && !placed.empty()) {
                Point3d image;
                const Point3d& source = placed[static_cast<std::size_t>(random.Next() * double(placed.size()))];
                symmetry.GetSymmetryOp(static_cast<int>(random.Next() * operators))->TransformPoint(source, image);
                p = Point3d(image.x + 1.0, image.y - 2.0, image.z + (kind < 0.1 ? 1e-5 : 0.0));
            } else if (kind < 0.35) {
                // Near a special position or a face.
                const double steps[] = {0.0, 0.25, 0.5, 1.0};
                p = Point3d(steps[static_cast<int>(random.Next() * 4)] + 1e-5 * (random.Next() - 0.5),
                            steps[static_cast<int>(random.Next() * 4)], p.z);
            }
            placed.push_back(p);
            AddAtom(*cell, label, p);
        }
        ASSERT_TRUE(cell->Build(NoPacking()));
        EXPECT_EQ(Fingerprint(*cell), expected) << "group " << group << " atoms " << Asymmetric(*cell).size()
                                                << " replicas " << CountReplicas(*cell);
    }
}

TEST_F(SymmetryExpansionTest, AtomsAcrossTheFacesFromManyAtomsOnAnEdgeGo)
{
    // Each atom on the edge along c has three copies across the faces and the edge, more copies than
    // atoms; the atom across a face or the edge from each goes, whichever copy it meets.
    const auto cell = MakeCell(10, 10, 10);
    Labels kept;
    for (int i = 0; i < 12; ++i) {
        const double c = 0.1 + 0.05 * i;
        kept.push_back("N" + std::to_string(i));
        AddAtom(*cell, kept.back(), Point3d(0.00001, 0.00002, c));
        AddAtom(*cell, "F" + std::to_string(i), Point3d(i % 2 ? 0.99999 : 0.00002, i % 3 ? -0.00001 : 0.00001, c));
    }
    ASSERT_TRUE(cell->Build(NoPacking()));
    EXPECT_EQ(Asymmetric(*cell), kept);
    EXPECT_EQ(CountReplicas(*cell), 0u);
}

} // namespace
