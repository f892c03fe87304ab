#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellSymmetryServices.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/TreeRoot.h>
#include "FakeCellServices.h"
#include "support/Near.h"
#include "support/RecordStream.h"
#include "support/ScopedInstall.h"

using namespace Tavrel;

namespace {

using Labels = std::vector<std::string>;

class CellBuildTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // A 10 A cubic cell of the space group (its first setting).
    static std::unique_ptr<Cell3d> MakeCell(int number)
    {
        auto cell = std::make_unique<Cell3d>(nullptr);
        EXPECT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(number, "", 0));
        return cell;
    }

    static Atom3d* AddAtom(Object& parent, const Cell3d& cell, const char* label, const Point3d& fractional,
                           const char* element = "C")
    {
        auto* const atom = new Atom3d(&parent, element);
        atom->SetLabel(label);
        atom->SetXYZ(fractional * cell.GetFracToCart());
        return atom;
    }

    static std::vector<ReplicateAtom*> Replicas(Cell3d& cell)
    {
        std::vector<ReplicateAtom*> replicas;
        DescendentIterator walk(&cell, ReplicateAtom::classType, false);
        while (Object* const object = walk.GetNext())
            replicas.push_back(static_cast<ReplicateAtom*>(object));
        return replicas;
    }

    // The labels of the atoms below the cell, sorted; only those not clipped when asked.
    static Labels AtomLabels(Cell3d& cell, bool unclippedOnly)
    {
        Labels labels;
        DescendentIterator walk(&cell, Atom::classType, false);
        while (Object* const object = walk.GetNext()) {
            if (!unclippedOnly || !object->IsClipped())
                labels.push_back(object->GetLabel());
        }
        std::sort(labels.begin(), labels.end());
        return labels;
    }

    static Cell3d::BuildInfo NoPacking()
    {
        return Cell3d::BuildInfo(Cell3d::BuildInfo::NoPacking, 0.05, false, LatticeOffset(1, 1, 1));
    }
};

TEST_F(CellBuildTest, P21cGeneralPositionGivesThreeSymmetryReplicasAndPacksTwoIntoTheCell)
{
    const auto cell = MakeCell(14);
    AddAtom(*cell, *cell, "X", Point3d(0.1, 0.2, 0.3));
    ASSERT_TRUE(cell->Build(NoPacking()));
    EXPECT_EQ(AtomLabels(*cell, false), (Labels{"X", "X#2", "X#3", "X#4"}));
    for (const ReplicateAtom* replica : Replicas(*cell)) {
        EXPECT_TRUE(replica->IsSymmetric());
        EXPECT_FALSE(replica->IsPeriodic());
        EXPECT_EQ(replica->GetElementSymbol(), "C");
    }
    EXPECT_EQ(cell->GetReplicateHint(), Cell::SymmetryReplicasExist);
    EXPECT_FALSE(cell->IsDirty());

    ASSERT_TRUE(cell->Build(Cell3d::BuildInfo()));
    EXPECT_EQ(AtomLabels(*cell, false), (Labels{"X", "X#2", "X#2@1,0,0", "X#3", "X#3@1,1,1", "X#4"}));
    EXPECT_EQ(AtomLabels(*cell, true), (Labels{"X", "X#2@1,0,0", "X#3@1,1,1", "X#4"}));
    for (const ReplicateAtom* replica : Replicas(*cell)) {
        if (replica->GetLabel() == "X#2@1,0,0") {
            EXPECT_EQ(replica->GetSymmetryOperator(), 1);
            EXPECT_TRUE(test::Same(replica->GetLatticeOffset(), LatticeOffset(1, 0, 0)));
            EXPECT_TRUE(test::Near(replica->GetXYZ(), Point3d(9.0, 7.0, 2.0), 1e-4));
        }
    }
}

TEST_F(CellBuildTest, PMinus1InversionCentresMakeNoReplicaOrOnePeriodicOne)
{
    const auto atOrigin = MakeCell(2);
    AddAtom(*atOrigin, *atOrigin, "O", Point3d(0.0, 0.0, 0.0));
    ASSERT_TRUE(atOrigin->Build(NoPacking()));
    EXPECT_TRUE(Replicas(*atOrigin).empty());

    const auto atCentre = MakeCell(2);
    AddAtom(*atCentre, *atCentre, "H", Point3d(0.5, 0.5, 0.5));
    ASSERT_TRUE(atCentre->Build(NoPacking()));
    const std::vector<ReplicateAtom*> replicas = Replicas(*atCentre);
    ASSERT_EQ(replicas.size(), 1u);
    EXPECT_EQ(replicas[0]->GetSymmetryOperator(), 0);
    EXPECT_TRUE(test::Same(replicas[0]->GetLatticeOffset(), LatticeOffset(-1, -1, -1)));
    EXPECT_EQ(replicas[0]->GetLabel(), "H@-1,-1,-1");
    EXPECT_TRUE(test::Near(replicas[0]->GetXYZ(), Point3d(-5.0, -5.0, -5.0), 1e-4));
}

TEST_F(CellBuildTest, Fm3mSpecialAndGeneralPositions)
{
    const auto special = MakeCell(225);
    ASSERT_EQ(special->GetSymmetry()->GetNumSymmetryOps(), 192);
    AddAtom(*special, *special, "Na", Point3d(0.0, 0.0, 0.0));
    ASSERT_TRUE(special->Build(NoPacking()));
    EXPECT_EQ(Replicas(*special).size(), 3u);
    ASSERT_TRUE(special->Build(Cell3d::BuildInfo()));
    EXPECT_EQ(AtomLabels(*special, true).size(), 14u);

    const auto general = MakeCell(225);
    AddAtom(*general, *general, "C", Point3d(0.11, 0.23, 0.37));
    ASSERT_TRUE(general->Build(NoPacking()));
    EXPECT_EQ(Replicas(*general).size(), 191u);
}

TEST_F(CellBuildTest, LaterAtomsThatRepeatEarlierOnesAreDeleted)
{
    const auto cell = MakeCell(2);
    AddAtom(*cell, *cell, "A", Point3d(0.1, 0.2, 0.3));
    // The same place one cell over, and the inversion image of A.
    AddAtom(*cell, *cell, "B", Point3d(1.1, 0.2, 0.3));
    AddAtom(*cell, *cell, "C", Point3d(-0.1, -0.2, -0.3));
    AddAtom(*cell, *cell, "D", Point3d(0.4, 0.4, 0.4));
    ASSERT_TRUE(cell->Build(NoPacking()));
    EXPECT_EQ(AtomLabels(*cell, false), (Labels{"A", "A#2", "D", "D#2"}));
}

TEST_F(CellBuildTest, AnAtomOnTheFarFaceOfAnotherAtomsCellIsRemoved)
{
    const auto cell = MakeCell(1);
    cell->SetSpecialPositionTol(0.01);
    AddAtom(*cell, *cell, "A", Point3d(0.0, 0.5, 0.5));
    AddAtom(*cell, *cell, "B", Point3d(0.9999999, 0.5, 0.5));
    Cell::AtomDataArray list;
    cell->SetupBuilderAtoms(Cell::AsymmetricAtoms, list, false);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_TRUE(cell->DoTranslationalOverSpecified(list));
    EXPECT_EQ(AtomLabels(*cell, false), (Labels{"A"}));
    cell->SetupBuilderAtoms(Cell::AsymmetricAtoms, list, false);
    EXPECT_FALSE(cell->DoTranslationalOverSpecified(list));
}

TEST_F(CellBuildTest, ACellWithoutAtomsDoesNotBuildAndStaysDirty)
{
    const auto cell = MakeCell(14);
    EXPECT_TRUE(cell->IsDirty());
    EXPECT_FALSE(cell->Build(Cell3d::BuildInfo()));
    EXPECT_TRUE(cell->IsDirty());
}

TEST_F(CellBuildTest, BuildUnbuildAndRebuild)
{
    const auto cell = MakeCell(14);
    AddAtom(*cell, *cell, "X", Point3d(0.1, 0.2, 0.3));
    ASSERT_TRUE(cell->Build(Cell3d::BuildInfo()));
    EXPECT_EQ(Replicas(*cell).size(), 5u);

    // The same request on a clean cell changes nothing.
    const std::uint32_t before = Base::GetLastOID();
    ASSERT_TRUE(cell->Build(Cell3d::BuildInfo()));
    EXPECT_EQ(Base::GetLastOID(), before);

    EXPECT_TRUE(cell->Unbuild());
    EXPECT_TRUE(Replicas(*cell).empty());
    EXPECT_EQ(cell->GetReplicateHint(), 0);
    EXPECT_EQ(AtomLabels(*cell, true), (Labels{"X"}));

    // A new request rebuilds; so does a geometry change with the same one.
    const Cell3d::BuildInfo tighter(Cell3d::BuildInfo::DefaultPacking, 0.01, false, LatticeOffset(1, 1, 1));
    ASSERT_TRUE(cell->Build(tighter));
    EXPECT_EQ(Replicas(*cell).size(), 5u);
    EXPECT_DOUBLE_EQ(cell->GetSpecialPositionTol(), 0.01);
    ASSERT_TRUE(cell->SetA(12.0));
    EXPECT_TRUE(cell->IsDirty());
    ASSERT_TRUE(cell->Build(tighter));
    EXPECT_FALSE(cell->IsDirty());
    EXPECT_EQ(Replicas(*cell).size(), 5u);
}

TEST_F(CellBuildTest, TilingRepeatsTheCellAndIsCapped)
{
    const auto cell = MakeCell(1);
    AddAtom(*cell, *cell, "A", Point3d(0.5, 0.5, 0.5));
    ASSERT_TRUE(cell->SetTileSettings(LatticeOffset(2, 1, 3)));
    ASSERT_TRUE(cell->IsTiled());
    ASSERT_TRUE(cell->Build(cell->GetBuildInfo()));
    EXPECT_EQ(AtomLabels(*cell, true),
              (Labels{"A", "A@0,0,1", "A@0,0,2", "A@1,0,0", "A@1,0,1", "A@1,0,2"}));
    EXPECT_TRUE(cell->ReplicateAtomsExist(Cell::TiledReplicasExist));

    EXPECT_FALSE(cell->SetTileSettings(LatticeOffset(Cell3d::MaxTile + 1, 1, 1)));
    EXPECT_FALSE(cell->SetTileSettings(LatticeOffset(2, -1, 1)));
    EXPECT_TRUE(cell->SetTileSettings(LatticeOffset(2, 0, 1)));
    EXPECT_TRUE(test::Same(cell->GetTileSettings(), LatticeOffset(2, 0, 1)));
    // A request from elsewhere is capped as well.
    const Cell3d::BuildInfo huge(1, 0.05, false, LatticeOffset(32767, 32767, 32767));
    EXPECT_TRUE(test::Same(huge.GetTile(), LatticeOffset(Cell3d::MaxTile, Cell3d::MaxTile, Cell3d::MaxTile)));
}

TEST_F(CellBuildTest, TilingRepeatsAMoleculePackedWholeFromImagesMadeBeforePacking)
{
    const auto cell = MakeCell(1);
    AddAtom(*cell, *cell, "A", Point3d(0.96, 0.5, 0.5));
    AddAtom(*cell, *cell, "B", Point3d(0.03, 0.5, 0.5));
    // Bonding by distance makes B's image beyond the a face before packing shows it.
    ASSERT_TRUE(cell->Build(Cell3d::BuildInfo(Cell3d::BuildInfo::DefaultPacking, 0.05, true, LatticeOffset(2, 1, 1))));
    EXPECT_EQ(AtomLabels(*cell, true), (Labels{"A", "A@1,0,0", "B@1,0,0", "B@2,0,0"}));
}

TEST_F(CellBuildTest, WithoutPackingTilingRepeatsTheAtomsShownAndLeavesTheReplicasHidden)
{
    // In P-1 A makes A#2, hidden without packing: tiling along a repeats A alone.
    const auto cell = MakeCell(2);
    AddAtom(*cell, *cell, "A", Point3d(0.1, 0.2, 0.3));
    const Cell3d::BuildInfo tiled(Cell3d::BuildInfo::NoPacking, 0.05, false, LatticeOffset(2, 1, 1));
    ASSERT_TRUE(cell->Build(tiled));
    EXPECT_EQ(AtomLabels(*cell, true), (Labels{"A", "A@1,0,0"}));
    EXPECT_EQ(AtomLabels(*cell, false), (Labels{"A", "A#2", "A@1,0,0"}));
}

TEST_F(CellBuildTest, WithoutPackingAReplicaBeyondTheGatheredRangeStaysShown)
{
    // The screw axis of P21 takes y to y + 1/2: N's image lies just within the 32000 cells a build
    // gathers and is hidden, F's just beyond and is left as it was made, shown.
    const auto cell = MakeCell(4);
    AddAtom(*cell, *cell, "N", Point3d(0.1, 31999.3, 0.3));
    AddAtom(*cell, *cell, "F", Point3d(0.6, 31999.7, 0.8));
    ASSERT_TRUE(cell->Build(NoPacking()));
    EXPECT_EQ(AtomLabels(*cell, false), (Labels{"F", "F#2", "N", "N#2"}));
    EXPECT_EQ(AtomLabels(*cell, true), (Labels{"F", "F#2", "N"}));
}

// The number of children the atom heard held at each of its events.
std::vector<int> g_childCounts;

void RecordChildCount(Event& event)
{
    g_childCounts.push_back(event.GetTreeNode(true)->GetNumChildren());
}

TEST_F(CellBuildTest, AnAtomHeardGainingChildrenHearsEachReplicaJoinInTurn)
{
    // P212121 gives each atom three replicas; the listener of A hears each join as it comes.
    const auto cell = MakeCell(19);
    Atom3d* const heard = AddAtom(*cell, *cell, "A", Point3d(0.1, 0.2, 0.3));
    AddAtom(*cell, *cell, "B", Point3d(0.3, 0.2, 0.1));
    g_childCounts.clear();
    heard->RegisterEvent(TreeNode::classType, TreeNode::EventChildrenChanged, RecordChildCount, false, nullptr, nullptr);
    ASSERT_TRUE(cell->Build(NoPacking()));
    EXPECT_EQ(g_childCounts, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(AtomLabels(*cell, false), (Labels{"A", "A#2", "A#3", "A#4", "B", "B#2", "B#3", "B#4"}));
}

TEST_F(CellBuildTest, ReplicasJoiningUnheardTakeTheirPlacesAndLogicalIdentifiersInTurn)
{
    TreeRoot root;
    auto* const cell = new Cell3d(&root);
    ASSERT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(19, "", 0));
    Atom3d* const atom = AddAtom(*cell, *cell, "A", Point3d(0.1, 0.2, 0.3));
    ASSERT_TRUE(cell->Build(NoPacking()));
    ASSERT_EQ(atom->GetNumChildren(), 3);
    std::uint32_t lastLID = atom->GetLID();
    for (int i = 0; i < 3; ++i) {
        auto* const replica = DynCast<ReplicateAtom>(atom->GetChild(i));
        ASSERT_NE(replica, nullptr);
        EXPECT_EQ(replica->GetLabel(), "A#" + std::to_string(i + 2));
        EXPECT_EQ(replica->GetIndex(), i);
        EXPECT_EQ(replica->GetParent(), atom);
        EXPECT_TRUE(replica->IsModified());
        EXPECT_GT(replica->GetLID(), lastLID);
        EXPECT_EQ(root.GetLogicalObject(replica->GetLID()), replica);
        lastLID = replica->GetLID();
    }
    EXPECT_TRUE(atom->IsModified());
}

// The cell whose two first atoms a listener bonds when the last image of the build joins.
Cell3d* g_bonding = nullptr;

void BondTheFirstAtomsOnTheLastImage(Event& event)
{
    auto* const replica = DynCast<ReplicateAtom>(event.GetTreeNode(true));
    if (!g_bonding || !replica || replica->GetLabel() != "C#4")
        return;
    auto* const a = DynCast<Atom3d>(std::exchange(g_bonding, nullptr)->GetChild(0));
    a->MakeBond(DynCast<Atom3d>(a->GetParent()->GetChild(1)), Bond::Single);
}

TEST_F(CellBuildTest, ABondMadeByAListenerAfterItsAtomsWereExpandedIsImaged)
{
    const auto cell = MakeCell(19);
    AddAtom(*cell, *cell, "A", Point3d(0.1, 0.2, 0.3));
    AddAtom(*cell, *cell, "B", Point3d(0.12, 0.21, 0.33));
    AddAtom(*cell, *cell, "C", Point3d(0.3, 0.4, 0.1));
    g_bonding = cell.get();
    cell->RegisterEvent(TreeNode::classType, TreeNode::EventParentSet, BondTheFirstAtomsOnTheLastImage, true, nullptr,
                        nullptr);
    ASSERT_TRUE(cell->Build(NoPacking()));
    EXPECT_EQ(g_bonding, nullptr);
    for (const ReplicateAtom* replica : Replicas(*cell)) {
        const std::string label = replica->GetLabel();
        EXPECT_EQ(replica->GetNumBonds(), label[0] == 'C' ? 0 : 1) << label;
    }
}

TEST_F(CellBuildTest, BondsAreCarriedToTheImagesAndClosedAcrossCellFaces)
{
    const auto cell = MakeCell(2);
    cell->SetID(7);
    auto* const molecule = new Molecule(cell.get());
    Atom3d* const a = AddAtom(*molecule, *cell, "A", Point3d(0.05, 0.5, 0.5));
    Atom3d* const b = AddAtom(*molecule, *cell, "B", Point3d(0.15, 0.5, 0.5));
    Bond* const bond = a->MakeBond(b, Bond::Double);
    bond->SetIsInRing(true);
    ASSERT_TRUE(cell->Build(NoPacking()));

    // The inversion images lie at x = -0.05 and -0.15: bonded to each other with A-B's attributes.
    ReplicateAtom* const imageA = ReplicateAtom::FindSymmetryAtom(a, 1);
    ReplicateAtom* const imageB = ReplicateAtom::FindSymmetryAtom(b, 1);
    ASSERT_NE(imageA, nullptr);
    ASSERT_NE(imageB, nullptr);
    const Bond* const image = imageA->FindBond(imageB);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetType(), Bond::Double);
    EXPECT_TRUE(image->IsInRing());
    EXPECT_EQ(image->GetID(), 7000);

    // Running the step again makes nothing.
    Cell::AtomDataArray list;
    cell->SetupBuilderAtoms(Cell::AsymmetricAtoms, list, false);
    cell->SetupBuilderAtoms(Cell::SymmetryReplicas, list, true);
    EXPECT_FALSE(cell->DoSymmetryBonds(list));

    // Packed: every image carries its bonds, all with the source's type.
    ASSERT_TRUE(cell->Build(Cell3d::BuildInfo()));
    int bonds = 0;
    DescendentIterator walk(cell.get(), Bond::classType, false);
    while (Object* const object = walk.GetNext()) {
        EXPECT_EQ(static_cast<Bond*>(object)->GetType(), Bond::Double);
        ++bonds;
    }
    EXPECT_GE(bonds, 2);
    EXPECT_EQ(AtomLabels(*cell, true), (Labels{"A", "A#2@1,1,1", "B", "B#2@1,1,1"}));
}

// The atom whose image a listener deletes when the first image bond takes its identifier.
Atom3d* g_imaged = nullptr;

void DeleteAnImageOnTheFirstBond(Event& event)
{
    if (g_imaged && IsA<Bond>(event.GetTreeNode(true)))
        delete ReplicateAtom::FindSymmetryAtom(std::exchange(g_imaged, nullptr), 2);
}

TEST_F(CellBuildTest, AnImageDeletedWhileItsAtomsBondsAreCopiedTakesNoBond)
{
    // A is bonded to B and C; once A#2-B#2 is made, a listener deletes A#3.
    const auto cell = MakeCell(19);
    auto* const molecule = new Molecule(cell.get());
    Atom3d* const a = AddAtom(*molecule, *cell, "A", Point3d(0.3, 0.3, 0.3));
    Atom3d* const b = AddAtom(*molecule, *cell, "B", Point3d(0.4, 0.3, 0.3));
    Atom3d* const c = AddAtom(*molecule, *cell, "C", Point3d(0.3, 0.4, 0.3));
    a->MakeBond(b, Bond::Single);
    a->MakeBond(c, Bond::Single);
    g_imaged = a;
    cell->RegisterEvent(Object::classType, Object::EventIDSet, DeleteAnImageOnTheFirstBond, true, nullptr, nullptr);
    ASSERT_TRUE(cell->Build(NoPacking()));
    cell->UnregisterAllEvents();
    EXPECT_EQ(g_imaged, nullptr);
    EXPECT_EQ(ReplicateAtom::FindSymmetryAtom(a, 2), nullptr);
    for (const int op : {1, 3}) {
        const ReplicateAtom* const image = ReplicateAtom::FindSymmetryAtom(a, static_cast<std::int16_t>(op));
        ASSERT_NE(image, nullptr);
        EXPECT_TRUE(image->IsBonded(ReplicateAtom::FindSymmetryAtom(b, static_cast<std::int16_t>(op))));
        EXPECT_TRUE(image->IsBonded(ReplicateAtom::FindSymmetryAtom(c, static_cast<std::int16_t>(op))));
    }
    EXPECT_EQ(ReplicateAtom::FindSymmetryAtom(b, 2)->GetNumBonds(), 0);
    EXPECT_EQ(ReplicateAtom::FindSymmetryAtom(c, 2)->GetNumBonds(), 0);
}

// The cell a listener changes when the first image joins it: a new atom, and a marker taken off.
Cell3d* g_changed = nullptr;

void AddAnAtomOnTheFirstImage(Event& event)
{
    Cell3d* const cell = std::exchange(g_changed, nullptr);
    if (!cell || !IsA<ReplicateAtom>(event.GetTreeNode(true)))
        return;
    (new Atom3d(cell, "C"))->SetLabel("E");
    DynCast<Object>(cell->GetChild(0))->RemoveProperty("_ASU");
}

TEST_F(CellBuildTest, AtomsAddedOrUnmarkedByAListenerDuringTheBuildAreMarkedAsymmetric)
{
    const auto cell = MakeCell(19);
    AddAtom(*cell, *cell, "A", Point3d(0.1, 0.2, 0.3));
    AddAtom(*cell, *cell, "B", Point3d(0.3, 0.2, 0.1));
    g_changed = cell.get();
    cell->RegisterEvent(TreeNode::classType, TreeNode::EventParentSet, AddAnAtomOnTheFirstImage, true, nullptr, nullptr);
    ASSERT_TRUE(cell->Build(NoPacking()));
    cell->UnregisterAllEvents();
    EXPECT_EQ(g_changed, nullptr);
    DescendentIterator walk(cell.get(), Atom3d::classType, false);
    int atoms = 0;
    while (Object* const atom = walk.GetNext()) {
        EXPECT_TRUE(atom->HasProperty("_ASU")) << atom->GetLabel();
        ++atoms;
    }
    EXPECT_EQ(atoms, 3);
}

TEST_F(CellBuildTest, ABondFromASpecialPositionIsClosedOnBothSidesWithItsAttributes)
{
    // A on the inversion centre at the cell's middle: its image is A itself one cell down, so the image
    // of A-B runs from that periodic image to B's image, and is closed by A to B's image one cell up.
    const auto cell = MakeCell(2);
    auto* const molecule = new Molecule(cell.get());
    Atom3d* const a = AddAtom(*molecule, *cell, "A", Point3d(0.5, 0.5, 0.5));
    Atom3d* const b = AddAtom(*molecule, *cell, "B", Point3d(0.6, 0.5, 0.5));
    a->MakeBond(b, Bond::Double)->SetIsInRing(true);
    ASSERT_TRUE(cell->Build(NoPacking()));

    const ReplicateAtom* const aBelow = ReplicateAtom::FindPeriodicAtom(a, LatticeOffset(-1, -1, -1));
    ReplicateAtom* const bImage = ReplicateAtom::FindSymmetryAtom(b, 1);
    ASSERT_NE(aBelow, nullptr);
    ASSERT_NE(bImage, nullptr);
    const ReplicateAtom* const bImageAbove = ReplicateAtom::FindPeriodicAtom(bImage, LatticeOffset(1, 1, 1));
    ASSERT_NE(bImageAbove, nullptr);
    EXPECT_EQ(bImageAbove->GetLabel(), "B#2@1,1,1");
    for (const Bond* bond : {aBelow->FindBond(bImage), a->FindBond(bImageAbove)}) {
        ASSERT_NE(bond, nullptr);
        EXPECT_EQ(bond->GetType(), Bond::Double);
        EXPECT_TRUE(bond->IsInRing());
        EXPECT_NEAR(bond->GetLength(), 1.0, 1e-4);
    }
}

TEST_F(CellBuildTest, ProximityBondsReachAcrossTheCellFaces)
{
    const auto cell = MakeCell(1);
    Atom3d* const a = AddAtom(*cell, *cell, "A", Point3d(0.05, 0.5, 0.5));
    Atom3d* const b = AddAtom(*cell, *cell, "B", Point3d(0.95, 0.5, 0.5));
    AddAtom(*cell, *cell, "N", Point3d(0.5, 0.5, 0.5), "Na");
    ASSERT_TRUE(cell->Build(Cell3d::BuildInfo(Cell3d::BuildInfo::NoPacking, 0.05, true, LatticeOffset(1, 1, 1))));
    const ReplicateAtom* const bBelow = ReplicateAtom::FindPeriodicAtom(b, LatticeOffset(-1, 0, 0));
    const ReplicateAtom* const aAbove = ReplicateAtom::FindPeriodicAtom(a, LatticeOffset(1, 0, 0));
    ASSERT_NE(bBelow, nullptr);
    ASSERT_NE(aAbove, nullptr);
    EXPECT_TRUE(a->IsBonded(bBelow));
    EXPECT_TRUE(b->IsBonded(aAbove));
    EXPECT_FALSE(a->IsBonded(b));
    // Only images that carry a bond are made.
    EXPECT_EQ(Replicas(*cell).size(), 2u);

    // A cell shorter than twice the bonding radius bonds an atom to its own images.
    const auto small = MakeCell(1);
    ASSERT_TRUE(small->SetLengths(1.6, 1.6, 1.6));
    Atom3d* const c = AddAtom(*small, *small, "C", Point3d(0.5, 0.5, 0.5));
    Cell::AtomDataArray list;
    small->SetupBuilderAtoms(Cell::AsymmetricAtoms, list, false);
    ASSERT_TRUE(small->DoProximityBonds(list));
    EXPECT_EQ(c->GetNumBonds(), 6);
    for (int i = 0; i < c->GetNumBonds(); ++i)
        EXPECT_NEAR(c->GetBond(i)->GetLength(), 1.6, 1e-4);
}

TEST_F(CellBuildTest, PackingSkipsBondsToAtomsOutsideItsList)
{
    const auto cell = MakeCell(1);
    Atom3d* const inside = AddAtom(*cell, *cell, "A", Point3d(0.5, 0.5, 0.5));
    Molecule outside(nullptr);
    auto* const stranger = new Atom3d(&outside, "O");
    inside->MakeBond(stranger, Bond::Single);
    Cell::AtomDataArray list;
    cell->SetupDisplayAtoms(Cell::AllAtoms, list, false);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(cell->PackDefault(list));
    EXPECT_FALSE(inside->IsClipped());
}

TEST_F(CellBuildTest, AMoleculeIsPackedWholeHoweverFarApartItsAtomsIdentifiersLie)
{
    for (const int between : {0, 5000}) {
        const auto cell = MakeCell(1);
        Atom3d* const a = AddAtom(*cell, *cell, "A", Point3d(0.98, 0.5, 0.5));
        std::vector<std::unique_ptr<Molecule>> others;
        for (int i = 0; i < between; ++i)
            others.push_back(std::make_unique<Molecule>(nullptr));
        Atom3d* const b = AddAtom(*cell, *cell, "B", Point3d(1.08, 0.5, 0.5));
        a->MakeBond(b, Bond::Single);
        Cell::AtomDataArray list;
        cell->SetupDisplayAtoms(Cell::AsymmetricAtoms, list, false);
        ASSERT_TRUE(cell->PackDefault(list));
        // The centroid lies beyond the a face: both atoms are shown one cell back, A with B.
        EXPECT_TRUE(a->IsClipped()) << between;
        EXPECT_TRUE(b->IsClipped()) << between;
        EXPECT_NE(ReplicateAtom::FindPeriodicAtom(a, LatticeOffset(-1, 0, 0)), nullptr) << between;
        EXPECT_NE(ReplicateAtom::FindPeriodicAtom(b, LatticeOffset(-1, 0, 0)), nullptr) << between;
    }
}

TEST_F(CellBuildTest, APolymerBondedToItsOwnImageIsPackedAtomByAtomAlongItsAxis)
{
    const auto cell = MakeCell(1);
    Atom3d* const a = AddAtom(*cell, *cell, "A", Point3d(0.5, 0.5, 0.9));
    Atom3d* const b = AddAtom(*cell, *cell, "B", Point3d(0.5, 0.5, 1.2));
    a->MakeBond(b, Bond::Single);
    auto* const image = new ReplicateAtom();
    ASSERT_TRUE(image->MakePeriodic(a, LatticeOffset(0, 0, 1), cell.get()));
    b->MakeBond(image, Bond::Single);
    Cell::AtomDataArray list;
    cell->SetupDisplayAtoms(Cell::AsymmetricAtoms, list, false);
    ASSERT_TRUE(cell->PackDefault(list));
    // B lies beyond the c face: it is hidden and shown one cell down.
    EXPECT_FALSE(a->IsClipped());
    EXPECT_TRUE(b->IsClipped());
    const ReplicateAtom* const shown = ReplicateAtom::FindPeriodicAtom(b, LatticeOffset(0, 0, -1));
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(shown->IsClipped());
}

TEST_F(CellBuildTest, AtomPackingMovesEachAtomIntoTheCell)
{
    const auto cell = MakeCell(1);
    Atom3d* const a = AddAtom(*cell, *cell, "A", Point3d(1.25, -0.5, 0.5));
    ASSERT_TRUE(cell->Build(Cell3d::BuildInfo(Cell3d::BuildInfo::AtomPacking, 0.05, false, LatticeOffset(1, 1, 1))));
    EXPECT_TRUE(a->IsClipped());
    EXPECT_EQ(AtomLabels(*cell, true), (Labels{"A@-1,1,0"}));
}

TEST_F(CellBuildTest, ALoadedCellDoesNotRebuild)
{
    const auto cell = MakeCell(14);
    AddAtom(*cell, *cell, "X", Point3d(0.1, 0.2, 0.3));
    ASSERT_TRUE(cell->Build(Cell3d::BuildInfo()));
    const std::unique_ptr<Cell3d> loaded = RecordStream::LoadAs<Cell3d>(RecordStream::Save(*cell));
    ASSERT_NE(loaded, nullptr);
    EXPECT_FALSE(loaded->IsDirty());
    EXPECT_EQ(loaded->GetSymmetry()->GetTableNumber(), 14);
    EXPECT_EQ(AtomLabels(*loaded, false), AtomLabels(*cell, false));
    const std::uint32_t before = Base::GetLastOID();
    ASSERT_TRUE(loaded->Build(loaded->GetBuildInfo()));
    EXPECT_EQ(Base::GetLastOID(), before);
    EXPECT_EQ(AtomLabels(*loaded, true), AtomLabels(*cell, true));

    // The framework archive reads the cell and builds with its request, which finds it clean.
    Archive archive;
    archive.WriteObject(cell.get());
    Archive reading(archive.GetBuffer());
    std::unique_ptr<PersistentObject> read(reading.ReadObject(&Cell3d::GetThisClass()));
    auto* const again = static_cast<Cell3d*>(static_cast<Base*>(read.get()));
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(again->IsDirty());
    EXPECT_EQ(AtomLabels(*again, false), AtomLabels(*cell, false));
}

TEST_F(CellBuildTest, EveryBuildSwitchesTheMapsEventsOnAgain)
{
    test::FakeServices services;
    services.keys = {1, 0, 0, 1, 2, 1, 0, 0};
    const test::ScopedInstall<CellSymmetryServices> installed(services);
    const auto cell = MakeCell(14);
    cell->EnableSymmetryMap(true);
    cell->CreateSymmetryMap(false);
    services.calls.clear();

    // No atoms: the build ends early.
    EXPECT_FALSE(cell->Build(Cell3d::BuildInfo()));
    EXPECT_EQ(services.calls, (std::vector<std::string>{"events off", "events on"}));

    AddAtom(*cell, *cell, "X", Point3d(0.1, 0.2, 0.3));
    services.calls.clear();
    EXPECT_TRUE(cell->Build(Cell3d::BuildInfo()));
    EXPECT_EQ(services.calls, (std::vector<std::string>{"events off", "update", "events on"}));
    services.calls.clear();
    EXPECT_TRUE(cell->Build(Cell3d::BuildInfo()));
    EXPECT_EQ(services.calls, (std::vector<std::string>{"events off", "events on"}));

    // Storing the cell writes the map's current keys; the loaded cell's new map starts from them.
    const std::unique_ptr<Cell3d> loaded = RecordStream::LoadAs<Cell3d>(RecordStream::Save(*cell));
    ASSERT_NE(loaded, nullptr);
    ASSERT_TRUE(loaded->IsSymmetryMapEnabled());
    services.calls.clear();
    loaded->CreateSymmetryMap(false);
    ASSERT_FALSE(services.calls.empty());
    EXPECT_EQ(services.calls.front(), "created with 8 keys");
}

TEST_F(CellBuildTest, ReplicasCopyTheBondsOfTheAtomsTheyHangBelow)
{
    const auto cell = MakeCell(2);
    Atom3d* const a = AddAtom(*cell, *cell, "A", Point3d(0.2, 0.2, 0.2));
    Atom3d* const b = AddAtom(*cell, *cell, "B", Point3d(0.3, 0.2, 0.2));
    a->MakeBond(b, Bond::Aromatic);
    ASSERT_TRUE(cell->Build(NoPacking()));
    ReplicateAtom* const imageA = ReplicateAtom::FindSymmetryAtom(a, 1);
    ReplicateAtom* const imageB = ReplicateAtom::FindSymmetryAtom(b, 1);
    ASSERT_NE(imageA, nullptr);
    ASSERT_NE(imageB, nullptr);
    delete imageA->FindBond(imageB);
    auto* const shiftedA = new ReplicateAtom();
    shiftedA->MakePeriodic(imageA, LatticeOffset(1, 0, 0), cell.get(), Point3d());
    auto* const shiftedB = new ReplicateAtom();
    shiftedB->MakePeriodic(imageB, LatticeOffset(1, 0, 0), cell.get(), Point3d());
    cell->ConstructBonds();
    ASSERT_NE(imageA->FindBond(imageB), nullptr);
    EXPECT_EQ(imageA->FindBond(imageB)->GetType(), Bond::Aromatic);
    ASSERT_NE(shiftedA->FindBond(shiftedB), nullptr);

    Cell::AtomDataArray list;
    cell->SetupBuilderAtoms(Cell::AsymmetricAtoms, list, false);
    EXPECT_TRUE(test::Near(cell->GetCentroid(list, false), Point3d(0.25, 0.2, 0.2)));
    EXPECT_TRUE(test::Near(cell->GetCentroid(list, true), Point3d(2.5, 2.0, 2.0)));
    EXPECT_TRUE(test::Near(cell->GetCentroid({}, true), Point3d()));
}

TEST_F(CellBuildTest, EveryCellOfAStreamReadsItsOperationList)
{
    test::FakeServices services;
    services.keys = {1, 0, 0, 1, 2, 1, 0, 0, 3, 0, -1, 0};
    const test::ScopedInstall<CellSymmetryServices> installed(services);
    Object holder(nullptr);
    for (int i = 0; i < 3; ++i) {
        auto* const cell = new Cell3d(&holder);
        cell->EnableSymmetryMap(true);
        cell->CreateSymmetryMap(false);
    }
    // The later records of a class are read by the class's plan.
    const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(RecordStream::Save(holder));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), 3);
    for (int i = 0; i < 3; ++i) {
        services.calls.clear();
        static_cast<Cell3d*>(loaded->GetChild(i))->CreateSymmetryMap(false);
        ASSERT_FALSE(services.calls.empty());
        EXPECT_EQ(services.calls.front(), "created with 12 keys") << i;
    }
}

// Each clip to hidden heard during a build: the atom's label, and how many symmetry replicas were hidden then.
struct HeardClip {
    std::string label;
    int hiddenReplicas;
    friend bool operator==(const HeardClip&, const HeardClip&) = default;
};
std::vector<HeardClip> g_clips;
Cell3d* g_clipCell = nullptr;

void RecordClip(Event& event)
{
    const auto* const atom = DynCast<Atom>(event.GetTreeNode(true));
    if (!atom || !atom->IsClipped())
        return;
    int hidden = 0;
    DescendentIterator walk(g_clipCell, ReplicateAtom::classType, false);
    while (Object* const object = walk.GetNext())
        hidden += object->IsClipped() && !static_cast<ReplicateAtom*>(object)->IsPeriodic() ? 1 : 0;
    g_clips.push_back({atom->GetLabel(), hidden});
}

TEST_F(CellBuildTest, WithoutPackingPeriodicImagesAreClippedBeforeAnyReplicaIsHidden)
{
    // In P-1, A makes the symmetry replica A#2 and B, on an inversion centre, the periodic image
    // B@-1,-1,-1, met after A#2. Whoever hears the clips, of the whole cell or only of B's images,
    // hears the periodic image clipped while no replica is hidden yet, and then the replica hidden.
    for (const bool wholeCell : {true, false}) {
        const auto cell = MakeCell(2);
        AddAtom(*cell, *cell, "A", Point3d(0.1, 0.2, 0.3));
        Atom3d* const b = AddAtom(*cell, *cell, "B", Point3d(0.5, 0.5, 0.5));
        TreeNode* const listener = wholeCell ? static_cast<TreeNode*>(cell.get()) : b;
        listener->RegisterEvent(TreeNode::classType, TreeNode::EventDisplayChanged, RecordClip, true, nullptr, nullptr);
        g_clipCell = cell.get();
        g_clips.clear();
        ASSERT_TRUE(cell->Build(NoPacking()));
        listener->UnregisterAllEvents();
        std::vector<HeardClip> expected{{"B@-1,-1,-1", 0}};
        if (wholeCell)
            expected.push_back({"A#2", 1});
        EXPECT_EQ(g_clips, expected) << wholeCell;
        EXPECT_EQ(AtomLabels(*cell, true), (Labels{"A", "B"}));
        EXPECT_EQ(AtomLabels(*cell, false), (Labels{"A", "A#2", "B", "B@-1,-1,-1"}));
    }
}

TEST_F(CellBuildTest, ReplicasHiddenBeforeAHeardClipAreShownAgainFirstHoweverMany)
{
    // Seventy atoms' replicas come before B's periodic image, whose clip only B's listener hears: the
    // replicas hidden unheard until then are shown again before it, and hidden after it.
    const auto cell = MakeCell(2);
    Labels asymmetric;
    for (int i = 0; i < 70; ++i) {
        asymmetric.push_back("A" + std::to_string(i));
        AddAtom(*cell, *cell, asymmetric.back().c_str(), Point3d(0.1 + 0.01 * i, 0.2, 0.3));
    }
    Atom3d* const b = AddAtom(*cell, *cell, "B", Point3d(0.5, 0.5, 0.5));
    asymmetric.push_back("B");
    b->RegisterEvent(TreeNode::classType, TreeNode::EventDisplayChanged, RecordClip, true, nullptr, nullptr);
    g_clipCell = cell.get();
    g_clips.clear();
    ASSERT_TRUE(cell->Build(NoPacking()));
    b->UnregisterAllEvents();
    EXPECT_EQ(g_clips, (std::vector<HeardClip>{{"B@-1,-1,-1", 0}}));
    std::sort(asymmetric.begin(), asymmetric.end());
    EXPECT_EQ(AtomLabels(*cell, true), asymmetric);
}

int g_childrenHeard = 0;

void CountChildren(Event&)
{
    ++g_childrenHeard;
}

TEST_F(CellBuildTest, WithoutPackingEveryReplicaEndsHiddenWhicheverWayItWasHidden)
{
    // In P21/c: lone atoms, whose replicas can be made hidden, and a pair, bonded or not (bonded
    // replicas are hidden by the heard walk); then the same with a listener on the last lone atom's
    // children, whose callback, run while its replicas join, leaves the hiding to the heard walk and
    // packing.
    for (const int variant : {0, 1, 2, 3}) {
        const bool heard = variant >= 2;
        const bool bonded = variant % 2 == 1;
        const auto cell = MakeCell(14);
        AddAtom(*cell, *cell, "A", Point3d(0.1, 0.2, 0.3));
        Atom3d* const y = AddAtom(*cell, *cell, "Y", Point3d(0.3, 0.3, 0.3));
        Atom3d* const z = AddAtom(*cell, *cell, "Z", Point3d(0.35, 0.3, 0.3));
        if (bonded)
            y->MakeBond(z, Bond::Single);
        Atom3d* const b = AddAtom(*cell, *cell, "B", Point3d(0.6, 0.1, 0.2));
        if (heard)
            b->RegisterEvent(TreeNode::classType, TreeNode::EventChildrenChanged, CountChildren, false, nullptr, nullptr);
        g_childrenHeard = 0;
        ASSERT_TRUE(cell->Build(NoPacking()));
        EXPECT_EQ(g_childrenHeard > 0, heard);
        b->UnregisterAllEvents();
        EXPECT_EQ(AtomLabels(*cell, true), (Labels{"A", "B", "Y", "Z"})) << variant;
        const std::vector<ReplicateAtom*> replicas = Replicas(*cell);
        EXPECT_EQ(replicas.size(), 12u);
        for (const ReplicateAtom* replica : replicas) {
            EXPECT_TRUE(replica->IsSymmetric()) << replica->GetLabel();
            EXPECT_TRUE(replica->IsModified()) << replica->GetLabel();
        }
        // Built again, packed: the replicas the packing takes are shown, whatever hid them.
        ASSERT_TRUE(cell->Build(Cell3d::BuildInfo()));
        EXPECT_EQ(AtomLabels(*cell, true),
                  (Labels{"A", "A#2@1,0,0", "A#3@1,1,1", "A#4", "B", "B#2@1,0,0", "B#3@1,1,1", "B#4", "Y",
                          "Y#2@1,0,0", "Y#3@1,1,1", "Y#4", "Z", "Z#2@1,0,0", "Z#3@1,1,1", "Z#4"}))
            << variant;
    }
}

TEST_F(CellBuildTest, PrimesForTableSizes)
{
    EXPECT_EQ(Cell3d::NextPrime(10), 11);
    EXPECT_EQ(Cell3d::NextPrime(14), 17);
    EXPECT_EQ(Cell3d::NextPrime(0), 1);
    EXPECT_EQ(Cell3d::NextPrime(1), 1);
    EXPECT_EQ(Cell3d::NextPrime(2147483647), 2147483647);
    EXPECT_FALSE(Cell3d::IsPrime(9));
    EXPECT_FALSE(Cell3d::IsPrime(25));
    EXPECT_TRUE(Cell3d::IsPrime(2));
    EXPECT_TRUE(Cell3d::IsPrime(97));
}

} // namespace
