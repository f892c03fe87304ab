#include <gtest/gtest.h>

#include <memory>

#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellSymmetryMap.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/RuntimeMap.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

class CrystalTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

} // namespace

TEST_F(CrystalTest, ReplicateAtomAnswersToEveryNameOfItsClass)
{
    for (const char* alias : {"PeriodicAtom", "Symmetry Atom", "REPLICATE ATOM", "XXReplicateAtom"})
        EXPECT_EQ(Base::FindClassType(alias), ReplicateAtom::classType) << alias;
    EXPECT_EQ(Base::GetCommonName("periodic atom"), "ReplicateAtom");
    std::unique_ptr<PersistentObject> created(RuntimeMap::CreateObject("ReplicateAtom"));
    auto* const atom = DynCast<ReplicateAtom>(static_cast<Base*>(created.get()));
    ASSERT_NE(atom, nullptr);
    EXPECT_EQ(atom->GetCommonName(), "ReplicateAtom");
    EXPECT_EQ(Cell3d(nullptr).GetCommonName(), "Cell");
}

TEST_F(CrystalTest, SymmetryMapSwitchGivesAMapOnlyWhileEnabled)
{
    Cell3d cell(nullptr);
    EXPECT_FALSE(cell.IsSymmetryMapEnabled());
    cell.CreateSymmetryMap(true);
    EXPECT_EQ(cell.GetSymmetryMap(), nullptr);
    cell.EnableSymmetryMap(true);
    cell.CreateSymmetryMap(false);
    EXPECT_TRUE(cell.IsSymmetryMapEnabled());
    ASSERT_NE(cell.GetSymmetryMap(), nullptr);
    OIDArray atoms{1};
    cell.GetSymmetryMap()->GetAtomOIDs(atoms);  // an empty cell: the build finds no atom
    EXPECT_TRUE(atoms.empty());
    cell.EnableSymmetryMap(false);
    EXPECT_FALSE(cell.IsSymmetryMapEnabled());
    EXPECT_EQ(cell.GetSymmetryMap(), nullptr);
}

TEST_F(CrystalTest, CellAndItsReplicasSurviveTheRecord)
{
    Cell3d cell(nullptr);
    cell.SetLabel("cell");
    auto* const replica = new ReplicateAtom(new Object(&cell));
    replica->SetXYZ(Point3d(1.5, -2.0, 0.25));
    replica->SetLabel("C1'");

    const std::unique_ptr<Cell3d> loaded = RecordStream::LoadAs<Cell3d>(RecordStream::Save(cell));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetLabel(), "cell");
    ASSERT_EQ(loaded->GetNumChildren(), 1);
    ASSERT_EQ(loaded->GetChild(0)->GetNumChildren(), 1);
    const auto* const back = DynCast<ReplicateAtom>(loaded->GetChild(0)->GetChild(0));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetXYZ(), Point3d(1.5, -2.0, 0.25));
    EXPECT_EQ(back->GetLabel(), "C1'");
}
