#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/ObjectProperty.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/platform/Archive.h>
#include "support/Near.h"
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

class ReplicateAtomTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // A P21/c cell (a 10 A cube) holding the molecule with atom X at (0.1, 0.2, 0.3).
    ReplicateAtomTest()
    {
        cell.GetSymmetry()->LoadSpaceGroup(14, "", 0);
        molecule = new Molecule(&cell);
        atom = new Atom3d(molecule, "N");
        atom->SetLabel("X");
        atom->SetXYZ(Point3d(1.0, 2.0, 3.0));
    }
    ~ReplicateAtomTest() override { ReplicateAtom::SetSameCoordTol(0.19); }

    ReplicateAtom* Symmetric(int op)
    {
        auto* const replica = new ReplicateAtom();
        EXPECT_TRUE(replica->MakeSymmetric(atom, op, &cell));
        return replica;
    }

    Cell3d cell{nullptr};
    Molecule* molecule = nullptr;
    Atom3d* atom = nullptr;
};

TEST_F(ReplicateAtomTest, AReplicaAsksItsChemicalParent)
{
    ReplicateAtom* const image = Symmetric(2);
    EXPECT_EQ(image->GetChemicalParent(), atom);
    EXPECT_EQ(image->GetElementSymbol(), "N");
    EXPECT_EQ(image->GetAtomicNumber(), 7);
    EXPECT_FLOAT_EQ(image->GetMass(), atom->GetMass());
    EXPECT_EQ(image->GetValenceUsed(), atom->GetValenceUsed());
    EXPECT_EQ(image->GetNumHydrogensToAdd(), atom->GetNumHydrogensToAdd());
    EXPECT_EQ(image->IsValenceSatisfied(), atom->IsValenceSatisfied());
    EXPECT_EQ(image->IsHBondAcceptor(), atom->IsHBondAcceptor());
    EXPECT_EQ(image->GetChirality(true), atom->GetChirality(true));

    // Chemistry set on a replica changes its asymmetric atom, and so every replica.
    image->SetElement("O");
    EXPECT_EQ(atom->GetElementSymbol(), "O");
    image->SetFormalCharge(-1, 1);
    EXPECT_EQ(atom->GetFormalCharge(), Rational(-1, 1));
    image->SetCharge(0.25);
    EXPECT_DOUBLE_EQ(atom->GetCharge(), 0.25);
    image->ChangeElement("S");
    EXPECT_EQ(atom->GetElementSymbol(), "S");
    EXPECT_EQ(atom->GetLabel(), "S1");
    EXPECT_EQ(image->GetLabel(), "X#3");
}

TEST_F(ReplicateAtomTest, AReplicaWithoutAnAtomAboveAnswersNeutrally)
{
    ReplicateAtom loose;
    EXPECT_EQ(loose.GetChemicalParent(), nullptr);
    EXPECT_EQ(loose.GetElementName(), "????");
    EXPECT_EQ(loose.GetElementSymbol(), "??");
    EXPECT_EQ(loose.GetElementType(), ElementType(0));
    EXPECT_FLOAT_EQ(loose.GetMass(), 0.0f);
    EXPECT_EQ(loose.GetFormalCharge(), Rational(0, 1));
    EXPECT_EQ(loose.GetValenceUsed(), 0);
    EXPECT_EQ(loose.GetNumHydrogensToDelete(), 0);
    EXPECT_TRUE(loose.IsValenceSatisfied());
    EXPECT_FALSE(loose.IsHeteroatom());
    EXPECT_EQ(loose.GetChirality(true), Atom::NotStereocentre);
    loose.SetElement("C");
    loose.SetCharge(1.0);
    loose.ChangeElement("O");
    EXPECT_EQ(loose.GetElementSymbol(), "??");
    EXPECT_DOUBLE_EQ(loose.GetCharge(), 0.0);
    EXPECT_EQ(loose.GetPeriodicParent(), nullptr);
    EXPECT_EQ(loose.GetCommonName(), "ReplicateAtom");

    // Below the molecule but no atom, it has no ancestor; below the atom, every node above.
    auto* const placed = new ReplicateAtom(molecule);
    EXPECT_FALSE(placed->HasAncestor(molecule));
    EXPECT_FALSE(placed->HasAncestor(Cell3d::classType));
    EXPECT_TRUE(Symmetric(1)->HasAncestor(&cell));
    EXPECT_TRUE(Symmetric(2)->HasAncestor(Molecule::classType));
}

TEST_F(ReplicateAtomTest, LabelsOperatorsAndOffsets)
{
    ReplicateAtom* const image = Symmetric(2);
    EXPECT_EQ(image->GetLabel(), "X#3");
    EXPECT_TRUE(image->IsSymmetric());
    EXPECT_FALSE(image->IsPeriodic());
    EXPECT_EQ(image->GetCommonName(), "SymmetryAtom");
    EXPECT_EQ(cell.GetReplicateHint(), Cell::SymmetryReplicasExist);
    // (-x, -y, -z): (-0.1, -0.2, -0.3) of the cell.
    EXPECT_TRUE(test::Near(image->GetXYZ(), Point3d(-1, -2, -3), 1e-5));

    // Shifting an image that carries an offset already adds to it.
    image->SetProperty("placed", std::int32_t{1}, 0);
    auto* const shifted = new ReplicateAtom();
    shifted->MakePeriodic(image, LatticeOffset(0, -1, 0), &cell, Point3d());
    auto* const twice = new ReplicateAtom();
    twice->MakePeriodic(shifted, LatticeOffset(1, 0, 0), &cell, Point3d(1, 2, 3));
    EXPECT_EQ(twice->GetSymmetryOperator(), 2);
    EXPECT_TRUE(test::Same(twice->GetLatticeOffset(), LatticeOffset(1, -1, 0)));
    EXPECT_EQ(twice->GetLabel(), "X#3@1,-1,0");
    EXPECT_EQ(twice->GetCommonName(), "PeriodicAtom");
    EXPECT_EQ(shifted->GetPeriodicParent(), image);

    auto* const first = new ReplicateAtom();
    first->MakeSymmetric(atom, 0, &cell, Point3d(), LatticeOffset());
    EXPECT_EQ(first->GetLabel(), "X#1");

    auto* const translated = new ReplicateAtom();
    ASSERT_TRUE(translated->MakePeriodic(atom, LatticeOffset(-1, 0, 0), &cell));
    EXPECT_EQ(translated->GetLabel(), "X@-1,0,0");
    EXPECT_TRUE(test::Near(translated->GetXYZ(), Point3d(-9, 2, 3), 1e-5));
    EXPECT_EQ(translated->GetPeriodicParent(), atom);

    // A new replica not yet in a cell cannot be placed from a cell that does not hold its parent.
    Cell3d other(nullptr);
    ReplicateAtom orphan;
    EXPECT_FALSE(orphan.MakePeriodic(atom, LatticeOffset(1, 0, 0), &other));
    EXPECT_FALSE(orphan.MakeSymmetric(atom, 9, &cell));
    EXPECT_FALSE(orphan.MakeSymmetric(atom, 1, nullptr));
}

// The tree events heard, as (node OID, code).
std::vector<std::pair<std::uint32_t, std::uint16_t>> g_heard;

void RecordTreeEvent(Event& event)
{
    g_heard.emplace_back(event.GetTreeNodeOID(), event.GetEventType());
}

TEST_F(ReplicateAtomTest, ANewReplicaTakesItsParentsLookAndIsFirstHeardJoiningIt)
{
    atom->SetDisplayStyle(3);
    atom->SetColor(Color::Red());
    atom->SetInvisible(false);
    g_heard.clear();
    cell.RegisterEvent(TreeNode::classType, TreeNode::EventTreeWide, RecordTreeEvent, true, nullptr, nullptr);
    auto* const image = new ReplicateAtom();
    image->MakeSymmetric(atom, 2, &cell, Point3d(1, 2, 3), LatticeOffset(), "Y");
    cell.UnregisterAllEvents();
    EXPECT_EQ(image->GetLabel(), "Y#3");
    EXPECT_EQ(image->GetDisplayStyle(), 3);
    EXPECT_EQ(image->GetColor(), Color::Red());
    EXPECT_FALSE(image->IsVisible());
    EXPECT_TRUE(image->IsModified());
    EXPECT_TRUE(test::Near(image->GetXYZ(), Point3d(1, 2, 3), 1e-6));
    const std::vector<std::pair<std::uint32_t, std::uint16_t>> expected{
        {atom->GetOID(), TreeNode::EventChildrenChanged}, {image->GetOID(), TreeNode::EventParentSet}};
    EXPECT_EQ(g_heard, expected);
}

TEST_F(ReplicateAtomTest, TextProperties)
{
    ReplicateAtom* const image = Symmetric(1);
    EXPECT_EQ(image->GetPropertyAsString("operator"), "2");
    auto* const shifted = new ReplicateAtom();
    shifted->MakePeriodic(image, LatticeOffset(0, 0, 1), &cell, Point3d());
    EXPECT_EQ(shifted->GetPropertyAsString("Operator"), "2 (0,0,1)");
    auto* const translated = new ReplicateAtom();
    translated->MakePeriodic(atom, LatticeOffset(-1, 0, 0), &cell, Point3d(-9, 2, 3));
    EXPECT_EQ(translated->GetPropertyAsString("Operator"), "1 (-1,0,0)");
    EXPECT_EQ(translated->GetPropertyAsString("Fractional XYZ"), "-0.9000 0.2000 0.3000 ");
    EXPECT_FALSE(translated->SetPropertyFromString("Operator", "3"));
    EXPECT_FALSE(translated->SetPropertyFromString("Fractional XYZ", "0 0 0"));
    EXPECT_EQ(translated->GetSymmetryOperator(), 0);

    ObjectProperty::Array listed;
    translated->GetProperties(listed);
    ASSERT_GE(listed.size(), 2u);
    EXPECT_EQ(listed[listed.size() - 2].GetName(), "Fractional XYZ");
    EXPECT_EQ(listed.back().GetName(), "Operator");
    EXPECT_FALSE(translated->GetPropertyAsObjectProperty("Operator").IsWritable());
}

TEST_F(ReplicateAtomTest, FindingReplicasByPositionUsesTheClassWideTolerance)
{
    ReplicateAtom* const image = Symmetric(2);
    EXPECT_EQ(ReplicateAtom::FindReplicateAtom(atom, Point3d(-1.15, -2, -3)), image);
    EXPECT_EQ(ReplicateAtom::FindReplicateAtom(image, Point3d(-1.15, -2, -3)), image);
    EXPECT_EQ(ReplicateAtom::FindReplicateAtom(atom, Point3d(-1.25, -2, -3)), nullptr);
    EXPECT_EQ(ReplicateAtom::FindReplicateAtom(atom, 2, LatticeOffset()), image);
    EXPECT_EQ(ReplicateAtom::FindSymmetryAtom(atom, 2), image);
    EXPECT_EQ(ReplicateAtom::FindSymmetryAtom(atom, 1), nullptr);

    // Only finite values above 0 are taken.
    for (const double refused : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        ReplicateAtom::SetSameCoordTol(refused);
        EXPECT_DOUBLE_EQ(ReplicateAtom::GetSameCoordTol(), 0.19);
    }
    ReplicateAtom::SetSameCoordTol(0.3);
    EXPECT_EQ(ReplicateAtom::FindReplicateAtom(atom, Point3d(-1.25, -2, -3)), image);
}

TEST_F(ReplicateAtomTest, AReplicaMovesOnlyAlongTheLineOfItsChemicalParent)
{
    ReplicateAtom* const image = Symmetric(1);
    auto* const shifted = new ReplicateAtom();
    shifted->MakePeriodic(image, LatticeOffset(1, 0, 0), &cell, Point3d());
    auto* const stranger = new Atom3d(molecule, "C");
    shifted->SetParent(stranger);
    EXPECT_EQ(shifted->GetParent(), image);
    shifted->SetParent(atom);
    EXPECT_EQ(shifted->GetParent(), atom);
    EXPECT_FALSE(ReplicateAtom::IsValidParent(image, 1));
    EXPECT_TRUE(ReplicateAtom::IsValidParent(image, 2));
    EXPECT_TRUE(ReplicateAtom::IsValidParent(atom, 2));
}

TEST_F(ReplicateAtomTest, ReplicasAreCopiedOnlyWithTheirChemicalParent)
{
    Symmetric(1);
    const std::unique_ptr<TreeNode> atomCopy(atom->TreeCopy());
    ASSERT_EQ(atomCopy->GetNumChildren(), 1);
    EXPECT_EQ(DynCast<ReplicateAtom>(atomCopy->GetChild(0))->GetChemicalParent(), atomCopy.get());

    const std::unique_ptr<TreeNode> replicaCopy(atom->GetChild(0)->TreeCopy());
    EXPECT_EQ(replicaCopy, nullptr);

    // A replica without an atom above answers that it has no ancestor, yet it is copied as any node,
    // and a collection copied with it holds its copy.
    Object holder(nullptr);
    auto* const loose = new ReplicateAtom(new Object(&holder));
    EXPECT_FALSE(loose->HasAncestor(&holder));
    auto* const set = new SetCollection();
    set->SetParent(&holder);
    set->Add(loose);
    const std::unique_ptr<TreeNode> holderCopy(holder.TreeCopy());
    ASSERT_EQ(holderCopy->GetChild(0)->GetNumChildren(), 1);
    Object* const looseCopy = DynCast<ReplicateAtom>(holderCopy->GetChild(0)->GetChild(0));
    ASSERT_NE(looseCopy, nullptr);
    EXPECT_EQ(DynCast<SetCollection>(holderCopy->GetChild(1))->GetMembers(), std::vector<Object*>{looseCopy});
}

TEST_F(ReplicateAtomTest, OperatorAndOffsetSurviveBothRecordForms)
{
    ReplicateAtom* const image = Symmetric(3);
    auto* const shifted = new ReplicateAtom();
    shifted->MakePeriodic(image, LatticeOffset(-2, 1, 0), &cell, Point3d(1, 1, 1));
    ReplicateAtom::SetSameCoordTol(0.25);
    const RecordStream::Bytes bytes = RecordStream::Save(cell);
    ReplicateAtom::SetSameCoordTol(0.19);
    const std::unique_ptr<Cell3d> loaded = RecordStream::LoadAs<Cell3d>(bytes);
    ASSERT_NE(loaded, nullptr);
    EXPECT_DOUBLE_EQ(ReplicateAtom::GetSameCoordTol(), 0.25);
    const auto* const loadedImage = DynCast<ReplicateAtom>(loaded->GetChild(0)->GetChild(0)->GetChild(0));
    ASSERT_NE(loadedImage, nullptr);
    EXPECT_EQ(loadedImage->GetSymmetryOperator(), 3);
    const auto* const loadedShift = DynCast<ReplicateAtom>(loadedImage->GetChild(0));
    ASSERT_NE(loadedShift, nullptr);
    EXPECT_TRUE(test::Same(loadedShift->GetLatticeOffset(), LatticeOffset(-2, 1, 0)));
    EXPECT_EQ(loadedShift->GetLabel(), "X#4@-2,1,0");

    Archive archive;
    archive.WriteObject(&cell);
    Archive reading(archive.GetBuffer());
    std::unique_ptr<PersistentObject> read(reading.ReadObject(&Cell3d::GetThisClass()));
    const auto* const again = static_cast<Cell3d*>(static_cast<Base*>(read.get()));
    const auto* const readShift =
        DynCast<ReplicateAtom>(again->GetChild(0)->GetChild(0)->GetChild(0)->GetChild(0));
    ASSERT_NE(readShift, nullptr);
    EXPECT_EQ(readShift->GetSymmetryOperator(), 3);
    EXPECT_TRUE(test::Same(readShift->GetLatticeOffset(), LatticeOffset(-2, 1, 0)));
}

TEST_F(ReplicateAtomTest, ConstructBondsCopiesTheParentsBondsWithIdentifiersWrappedTo32Bits)
{
    auto* const partner = new Atom3d(molecule, "C");
    partner->SetXYZ(Point3d(1.0, 3.0, 3.0));
    atom->MakeBond(partner, Bond::Double);
    auto* const image = new ReplicateAtom();
    image->MakeSymmetric(atom, 2, &cell, Point3d(-1, -2, -3), LatticeOffset());
    auto* const partnerImage = new ReplicateAtom();
    partnerImage->MakeSymmetric(partner, 2, &cell, Point3d(-1, -3, -3), LatticeOffset());
    image->SetID(3000000);
    image->ConstructBonds(atom);
    const Bond* const bond = image->FindBond(partnerImage);
    ASSERT_NE(bond, nullptr);
    EXPECT_EQ(bond->GetType(), Bond::Double);
    EXPECT_EQ(bond->GetID(), static_cast<std::int32_t>(3000000000u));
    // Once made, the bond is not made again.
    image->ConstructBonds(atom);
    EXPECT_EQ(image->GetNumBonds(), 1);
}

} // namespace
