#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/CrystalImageQueries.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/crystal/Cell.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/DataModelLibrary.h>
#include "support/Near.h"
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

class CellTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    static Atom3d* AddAtom(Object& parent, const Cell& cell, const Point3d& fractional)
    {
        auto* const atom = new Atom3d(&parent, "C");
        atom->SetXYZ(fractional * cell.GetFracToCart());
        return atom;
    }
};

TEST_F(CellTest, APlainCellTestsNoCoordinate)
{
    const Cell cell(nullptr);
    EXPECT_EQ(cell.GetCommonName(), "Cell");
    EXPECT_EQ(cell.GetDimensionality(), 0);
    EXPECT_EQ(cell.GetColor(), Color::Grey());
    EXPECT_EQ(cell.GetSymmetry()->GetTableNumber(), 1);
    const Point3d far(-7.0, 3.5, 100.0);
    LatticeOffset offset(4, 5, 6);
    LatticeOffset edge;
    EXPECT_TRUE(cell.InsideCell(far, false, true));
    EXPECT_TRUE(cell.InsideCell(far, offset, true, false));
    EXPECT_TRUE(test::Same(offset, LatticeOffset()));
    EXPECT_TRUE(cell.InsideCell(far, offset, edge, 0.1, true, false));
    EXPECT_EQ(cell.OnCellEdge(Point3d(0.0, 1.0, 0.0), true), 0);
    LatticeOffset kept(2, -3, 4);
    cell.NormalizeOffset(kept, true);
    EXPECT_TRUE(test::Same(kept, LatticeOffset(2, -3, 4)));
    EXPECT_EQ(cell.ClipVector(Point3d(), far, false), far);
}

TEST_F(CellTest, PositionTestsOfA3dCell)
{
    Cell3d cell(nullptr);
    const Point3d onFace(1.0, 0.5, 0.5);
    EXPECT_TRUE(cell.InsideCell(onFace, true, false));
    LatticeOffset offset;
    EXPECT_FALSE(cell.InsideCell(onFace, offset, true, false));
    EXPECT_TRUE(test::Same(offset, LatticeOffset(1, 0, 0)));
    EXPECT_EQ(cell.OnCellEdge(onFace, true), 1);
    EXPECT_EQ(cell.OnCellEdge(Point3d(0.0, 0.0, 1.0), true), 3);
    // Cartesian input goes through the cell's transform: 10 A cube.
    EXPECT_EQ(cell.OnCellEdge(Point3d(0.5, 5.0, 10.0), LatticeOffset(0, 0, -1), false), 1);

    LatticeOffset edge;
    EXPECT_FALSE(cell.InsideCell(Point3d(-0.5, 0.02, 0.5), offset, edge, 0.05, true, false));
    EXPECT_TRUE(test::Same(offset, LatticeOffset(-1, 0, 0)));
    EXPECT_TRUE(test::Same(edge, LatticeOffset(0, 1, 0)));

    // The clip box: only positive components are taken.
    cell.SetClip(2.0, 0.0, -1.0);
    EXPECT_TRUE(test::Near(cell.GetClip(), Point3d(2.0, 1.0, 1.0)));
    cell.SetClip(std::nan(""), 3.0, 1.0);
    EXPECT_TRUE(test::Near(cell.GetClip(), Point3d(2.0, 3.0, 1.0)));
    EXPECT_TRUE(cell.InsideCell(Point3d(1.5, 2.5, 0.5), true, true));
    EXPECT_FALSE(cell.InsideCell(Point3d(1.5, 2.5, 0.5), true, false));
    // The segment leaves the clip box at x = 2.
    EXPECT_TRUE(test::Near(cell.ClipVector(Point3d(1.0, 0.5, 0.5), Point3d(3.0, 0.5, 0.5), true), Point3d(2.0, 0.5, 0.5)));
    EXPECT_TRUE(test::Near(cell.ClipVector(Point3d(10, 5, 5), Point3d(30, 5, 5), false), Point3d(20, 5, 5)));

    // The crystal image queries answer from the clip.
    Atom3d* const atom = AddAtom(cell, cell, Point3d(0.5, 0.5, 0.5));
    EXPECT_FALSE(Cell3d::ImageQueries().IsClipped(*atom, Point3d(15.0, 25.0, 5.0)));
    EXPECT_TRUE(Cell3d::ImageQueries().IsClipped(*atom, Point3d(25.0, 25.0, 5.0)));
    EXPECT_FALSE(Cell3d::ImageQueries().IsClipped(cell, Point3d(25.0, 25.0, 5.0)));
}

TEST_F(CellTest, NormalizeOffsetCountsAClipBelowOneAsOneCell)
{
    Cell3d cell(nullptr);
    LatticeOffset offset(-1, 2, 0);
    cell.NormalizeOffset(offset, false);
    EXPECT_TRUE(test::Same(offset, LatticeOffset(1, -2, 0)));

    cell.SetClip(0.5, 3.0, 40000.0);
    offset = LatticeOffset(-1, -1, 5);
    cell.NormalizeOffset(offset, true);
    // x: a clip below one cell negates; y: a negative index becomes the count; z: within the count.
    EXPECT_TRUE(test::Same(offset, LatticeOffset(1, 3, 5)));
    offset = LatticeOffset(0, 7, 0);
    cell.NormalizeOffset(offset, true);
    EXPECT_TRUE(test::Same(offset, LatticeOffset(0, 7 % 3 - 7, 0)));
}

TEST_F(CellTest, ACellAlwaysOwnsASymmetryOfItsOwn)
{
    Cell3d first(nullptr);
    Cell3d second(nullptr);
    first.GetSymmetry()->LoadSpaceGroup(14, "", 0);

    second.SetSymmetry(nullptr);
    ASSERT_NE(second.GetSymmetry(), nullptr);
    EXPECT_EQ(second.GetSymmetry()->GetTableNumber(), 1);
    EXPECT_EQ(second.GetSymmetry()->GetCell(), &second);

    // Another cell's symmetry is copied, never owned twice.
    second.SetSymmetry(first.GetSymmetry());
    EXPECT_NE(second.GetSymmetry(), first.GetSymmetry());
    EXPECT_EQ(second.GetSymmetry()->GetTableNumber(), 14);
    EXPECT_EQ(second.GetSymmetry()->GetNumSymmetryOps(), 4);
    EXPECT_EQ(first.GetSymmetry()->GetCell(), &first);
    EXPECT_EQ(second.GetSymmetry()->GetCell(), &second);

    // Setting the current one changes nothing.
    Symmetry* const current = second.GetSymmetry();
    second.SetSymmetry(current);
    EXPECT_EQ(second.GetSymmetry(), current);

    // A free symmetry is taken over.
    auto* const free = new Symmetry();
    free->LoadSpaceGroup(2, "", 0);
    second.SetSymmetry(free);
    EXPECT_EQ(second.GetSymmetry(), free);
    EXPECT_EQ(free->GetCell(), &second);

    second.CopySymmetryData(first);
    EXPECT_EQ(second.GetSymmetry()->GetTableNumber(), 14);
    EXPECT_NE(second.GetSymmetry(), first.GetSymmetry());
    EXPECT_EQ(second.GetSymmetry()->GetCell(), &second);
}

TEST_F(CellTest, ALoadWithoutASymmetryGivesSpaceGroupOne)
{
    Cell3d cell(nullptr);
    cell.GetSymmetry()->LoadSpaceGroup(14, "", 0);
    RecordStream::Bytes bytes = RecordStream::Save(cell, RecordStream::Form::Plain);
    // A name no level knows is dropped.
    const std::string name = "Cell Symmetry";
    const auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
    ASSERT_NE(at, bytes.end());
    *(at + static_cast<std::ptrdiff_t>(name.size()) - 1) = 'z';
    const std::unique_ptr<Cell3d> loaded = RecordStream::LoadAs<Cell3d>(bytes, RecordStream::Form::Plain);
    ASSERT_NE(loaded, nullptr);
    ASSERT_NE(loaded->GetSymmetry(), nullptr);
    EXPECT_EQ(loaded->GetSymmetry()->GetTableNumber(), 1);
    EXPECT_EQ(loaded->GetSymmetry()->GetCell(), loaded.get());
}

TEST_F(CellTest, GatheringLeavesOutConformerAtomsPeriodicReplicasAndUnreachablePositions)
{
    Cell3d cell(nullptr);
    Atom3d* const atom = AddAtom(cell, cell, Point3d(0.1, 0.2, 0.3));
    new ConformerAtom(&cell, ElementType(6));
    auto* const far = new Atom3d(&cell, "O");
    far->SetXYZ(Point3d(1e9, 0.0, 0.0));
    auto* const lost = new Atom3d(&cell, "N");
    lost->SetXYZ(Point3d(std::numeric_limits<float>::quiet_NaN(), 0.0, 0.0));
    auto* const symmetric = new ReplicateAtom();
    symmetric->MakeSymmetric(atom, 1, &cell, Point3d(1, 2, 3), LatticeOffset());
    auto* const periodic = new ReplicateAtom();
    periodic->MakePeriodic(atom, LatticeOffset(1, 0, 0), &cell, Point3d(11, 2, 3));

    Cell::AtomDataArray list;
    cell.SetupBuilderAtoms(Cell::AsymmetricAtoms, list, false);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].atom, atom);
    EXPECT_TRUE(test::Near(list[0].xyz, Point3d(0.1, 0.2, 0.3)));
    // Every Atom3d met is marked, the far ones too.
    EXPECT_TRUE(atom->HasProperty("_ASU"));
    EXPECT_TRUE(far->HasProperty("_ASU"));

    cell.SetupBuilderAtoms(Cell::SymmetryReplicas, list, true);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].atom, symmetric);

    cell.SetupBuilderAtoms(Cell::AllAtoms, list, false);
    EXPECT_EQ(list.size(), 3u);
    periodic->SetClipped(true);
    cell.SetupDisplayAtoms(Cell::AllAtoms, list, false);
    EXPECT_EQ(list.size(), 2u);

    // Without atoms of the kind the list stays as it was.
    Cell3d empty(nullptr);
    empty.SetupBuilderAtoms(Cell::AsymmetricAtoms, list, false);
    EXPECT_EQ(list.size(), 2u);
}

TEST_F(CellTest, RemovingReplicasByKindClearsTheirOwnHintBits)
{
    Cell3d cell(nullptr);
    Atom3d* const clipped = AddAtom(cell, cell, Point3d(0.1, 0.1, 0.1));
    Atom3d* const shown = AddAtom(cell, cell, Point3d(0.5, 0.5, 0.5));
    clipped->SetClipped(true);
    auto* const symmetric = new ReplicateAtom();
    symmetric->MakeSymmetric(shown, 1, &cell, Point3d(1, 1, 1), LatticeOffset());
    auto* const packed = new ReplicateAtom();
    packed->MakePeriodic(clipped, LatticeOffset(1, 0, 0), &cell, Point3d(11, 1, 1));
    auto* const tiled = new ReplicateAtom();
    tiled->MakePeriodic(shown, LatticeOffset(0, 1, 0), &cell, Point3d(5, 15, 5));
    EXPECT_EQ(cell.GetReplicateHint(), Cell::SymmetryReplicasExist | Cell::PackedReplicasExist | Cell::TiledReplicasExist);
    EXPECT_TRUE(packed->IsPeriodicPacked());
    EXPECT_TRUE(tiled->IsPeriodicTiled());
    EXPECT_TRUE(cell.ReplicateAtomsExist(Cell::SymmetricReplica));
    EXPECT_TRUE(cell.ReplicateAtomsExist(Cell::PeriodicReplica));
    EXPECT_FALSE(cell.ReplicateAtomsExist(7));

    EXPECT_TRUE(cell.RemoveReplicateAtoms(Cell::RemovePacked));
    EXPECT_EQ(ReplicateAtom::FindPeriodicAtom(clipped, LatticeOffset(1, 0, 0)), nullptr);
    EXPECT_NE(ReplicateAtom::FindPeriodicAtom(shown, LatticeOffset(0, 1, 0)), nullptr);
    EXPECT_EQ(cell.GetReplicateHint(), Cell::SymmetryReplicasExist | Cell::TiledReplicasExist);

    EXPECT_TRUE(cell.RemoveReplicateAtoms(Cell::RemoveTiled));
    EXPECT_EQ(cell.GetReplicateHint(), Cell::SymmetryReplicasExist);
    EXPECT_NE(ReplicateAtom::FindSymmetryAtom(shown, 1), nullptr);

    EXPECT_FALSE(cell.RemoveReplicateAtoms(2));
    EXPECT_TRUE(cell.RemoveReplicateAtoms(Cell::RemoveAll));
    EXPECT_EQ(cell.GetReplicateHint(), 0);
    EXPECT_FALSE(cell.ReplicateAtomsExist(Cell::AnyReplica));
}

TEST_F(CellTest, RefreshMovesOrRemakesTheReplicasSkippingSpecialPositions)
{
    Cell3d cell(nullptr);
    cell.GetSymmetry()->LoadSpaceGroup(2, "", 0);
    Atom3d* const centre = AddAtom(cell, cell, Point3d(0.0, 0.0, 0.0));
    Atom3d* const general = AddAtom(cell, cell, Point3d(0.1, 0.2, 0.3));
    auto* const image = new ReplicateAtom();
    image->MakeSymmetric(general, 1, &cell, Point3d(), LatticeOffset());
    auto* const shifted = new ReplicateAtom();
    shifted->MakePeriodic(image, LatticeOffset(1, 1, 1), &cell, Point3d());

    cell.Refresh(false);
    EXPECT_TRUE(test::Near(image->GetXYZ(), Point3d(-1, -2, -3), 1e-4));
    EXPECT_TRUE(test::Near(shifted->GetXYZ(), Point3d(9, 8, 7), 1e-4));

    // Remade: one replica for the general position, none on the inversion centre.
    cell.Refresh(true);
    EXPECT_EQ(ReplicateAtom::FindSymmetryAtom(centre, 1), nullptr);
    ReplicateAtom* const remade = ReplicateAtom::FindSymmetryAtom(general, 1);
    ASSERT_NE(remade, nullptr);
    EXPECT_EQ(general->GetNumChildren(), 1);
    EXPECT_TRUE(test::Near(remade->GetXYZ(), Point3d(-1, -2, -3), 1e-4));
}

TEST_F(CellTest, UpdateASUKeepsFractionalPositionsAcrossAGeometryChange)
{
    Cell3d cell(nullptr);
    cell.GetSymmetry()->LoadSpaceGroup(2, "", 0);
    Atom3d* const atom = AddAtom(cell, cell, Point3d(0.1, 0.2, 0.3));
    auto* const image = new ReplicateAtom();
    image->MakeSymmetric(atom, 1, &cell, Point3d(-1, -2, -3), LatticeOffset());
    const Matrix3x3 before = cell.GetCartToFrac();
    ASSERT_TRUE(cell.SetLengths(20.0, 20.0, 20.0));
    ASSERT_TRUE(cell.GetFixFractional());
    cell.UpdateASU(before);
    EXPECT_TRUE(test::Near(atom->GetXYZ(), Point3d(2, 4, 6), 1e-4));
    EXPECT_TRUE(test::Near(image->GetXYZ(), Point3d(-2, -4, -6), 1e-4));
}

TEST_F(CellTest, CellLevelValuesSurviveTheRecord)
{
    Cell cell(nullptr);
    cell.SetSpecialPositionTol(0.02);
    cell.SetStickRadius(0.3f);
    cell.SetReplicateHint(Cell::SymmetryReplicasExist | Cell::PackedReplicasExist);
    cell.SetAuxDisplay(1);
    cell.SetNetworkHint(7);
    cell.SetPeriodicity(2);
    cell.SetLabelOffset(Point3d(1, 2, 3));
    cell.GetSymmetry()->LoadSpaceGroup(19, "", 0);
    const std::unique_ptr<Cell> loaded = RecordStream::LoadAs<Cell>(RecordStream::Save(cell));
    ASSERT_NE(loaded, nullptr);
    EXPECT_DOUBLE_EQ(loaded->GetSpecialPositionTol(), 0.02);
    EXPECT_FLOAT_EQ(loaded->GetStickRadius(), 0.3f);
    EXPECT_EQ(loaded->GetReplicateHint(), Cell::SymmetryReplicasExist | Cell::PackedReplicasExist);
    EXPECT_EQ(loaded->GetAuxDisplay(), 1);
    EXPECT_EQ(loaded->GetNetworkHint(), 7);
    EXPECT_EQ(loaded->GetPeriodicity(), 2);
    EXPECT_TRUE(test::Near(loaded->GetLabelOffset(), Point3d(1, 2, 3)));
    EXPECT_EQ(loaded->GetSymmetry()->GetTableNumber(), 19);
    EXPECT_EQ(loaded->GetSymmetry()->GetCell(), loaded.get());
}

} // namespace
