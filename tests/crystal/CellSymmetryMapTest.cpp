#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellBuilder.h>
#include <tavrel/crystal/CellSymmetryMap.h>
#include <tavrel/crystal/CellSymmetryServices.h>
#include <tavrel/document/DataModelLibrary.h>
#include "FakeCellServices.h"
#include "support/ScopedInstall.h"

using namespace Tavrel;
using namespace Tavrel::test;

namespace {

class CellSymmetryMapTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // A cell holding a molecule of two carbon atoms; the first is the map's image.
    CellSymmetryMapTest()
    {
        auto* const molecule = new Molecule(&cell);
        image = new Atom3d(molecule, ElementType(6));
        image->SetLabel("C1");
        plain = new Atom3d(molecule, ElementType(6));
        plain->SetLabel("C2");
        services.image = image->GetOID();
    }

    std::string SymmetryLabel(const Object& object) const { return object.GetPropertyAsString("SymmetryLabel"); }
    static bool ListsSymmetryLabel(const Object& object)
    {
        ObjectProperty::Array listed;
        object.GetProperties(listed);
        return std::any_of(listed.begin(), listed.end(),
                           [](const ObjectProperty& property) { return property.GetName() == "SymmetryLabel"; });
    }

    FakeServices services;  // outlives the cell, whose map reports to it
    Cell3d cell{nullptr};
    Atom3d* image = nullptr;
    Atom3d* plain = nullptr;
};

TEST_F(CellSymmetryMapTest, AtomsAnswerThroughTheInstalledMapOfTheirCell)
{
    const test::ScopedInstall<CellSymmetryServices> installed(services);
    cell.EnableSymmetryMap(true);
    cell.CreateSymmetryMap(false);
    ASSERT_NE(cell.GetSymmetryMap(), nullptr);
    EXPECT_EQ(cell.GetSymmetryMap()->GetCell(), &cell);

    EXPECT_TRUE(image->IsPeriodic());
    EXPECT_TRUE(image->IsSymmetric());
    EXPECT_EQ(image->GetSymmetryOperator(), 2);
    EXPECT_TRUE(image->GetLatticeOffset().IsSame(LatticeOffset(1, 0, -1)));
    EXPECT_EQ(SymmetryLabel(*image), "C1#3@1,0,-1");
    EXPECT_TRUE(ListsSymmetryLabel(*image));

    EXPECT_FALSE(plain->IsPeriodic());
    EXPECT_FALSE(plain->IsSymmetric());
    EXPECT_EQ(plain->GetSymmetryOperator(), 0);
    EXPECT_TRUE(plain->GetLatticeOffset().IsSame(LatticeOffset()));
    EXPECT_EQ(SymmetryLabel(*plain), "C2");

    // Switching the map off deletes it: the image is plain again, its label undecorated.
    cell.EnableSymmetryMap(false);
    EXPECT_EQ(services.calls.back(), "deleted");
    EXPECT_FALSE(image->IsPeriodic());
    EXPECT_EQ(image->GetSymmetryOperator(), 0);
    EXPECT_EQ(SymmetryLabel(*image), "C1");
}

TEST_F(CellSymmetryMapTest, CellSetsUpItsMapOnceAndOnlyWithTheSwitchOn)
{
    const test::ScopedInstall<CellSymmetryServices> installed(services);
    cell.CreateSymmetryMap(true);
    EXPECT_TRUE(services.calls.empty());
    EXPECT_EQ(cell.GetSymmetryMap(), nullptr);

    cell.EnableSymmetryMap(true);
    cell.CreateSymmetryMap(true);
    cell.CreateSymmetryMap(false);
    EXPECT_EQ(services.calls, (std::vector<std::string>{"created with 0 keys", "bonds on", "update", "events on"}));
}

TEST_F(CellSymmetryMapTest, ObjectsOutsideTheCellAreNoImages)
{
    const test::ScopedInstall<CellSymmetryServices> installed(services);
    cell.EnableSymmetryMap(true);
    cell.CreateSymmetryMap(false);

    // The same OID asked of a cell it does not sit in.
    Cell3d other(nullptr);
    other.EnableSymmetryMap(true);
    other.CreateSymmetryMap(false);
    EXPECT_FALSE(other.IsPeriodic(image));
    EXPECT_EQ(other.GetSymmetryOperator(image), 0);
    EXPECT_EQ(other.GetSymmetryLabel(image), "");
    EXPECT_FALSE(cell.IsSymmetric(nullptr));
    EXPECT_EQ(cell.GetSymmetryLabel(nullptr), "");

    // An atom outside every cell has no symmetry label and does not list one.
    Molecule loose(nullptr);
    const Atom3d* const atom = new Atom3d(&loose, ElementType(8));
    EXPECT_EQ(SymmetryLabel(*atom), "");
    EXPECT_FALSE(ListsSymmetryLabel(*atom));
    EXPECT_TRUE(ListsSymmetryLabel(*plain));
}

TEST_F(CellSymmetryMapTest, WithoutServicesNoMapIsMadeAndNoBuilderHandedOut)
{
    const CellSymmetryServices none;
    const test::ScopedInstall<CellSymmetryServices> installed(none);
    cell.EnableSymmetryMap(true);
    cell.CreateSymmetryMap(true);
    EXPECT_EQ(cell.GetSymmetryMap(), nullptr);
    EXPECT_EQ(cell.GetCellBuilder("Default"), nullptr);
    EXPECT_FALSE(image->IsPeriodic());
    EXPECT_EQ(SymmetryLabel(*image), "C1");
}

TEST_F(CellSymmetryMapTest, CellHandsOutTheInstalledBuildMethodsByName)
{
    const test::ScopedInstall<CellSymmetryServices> installed(services);
    const std::unique_ptr<CellBuilder> builder = cell.GetCellBuilder("default");
    ASSERT_NE(builder, nullptr);
    EXPECT_EQ(builder->GetCell(), &cell);
    EXPECT_EQ(static_cast<FakeBuilder&>(*builder).methodName, "default");
    EXPECT_EQ(cell.GetCellBuilder("Nowhere"), nullptr);
}

TEST_F(CellSymmetryMapTest, CopiesKeepCrystalMarkersOnlyAlongWithTheirCell)
{
    for (Atom3d* atom : {image, plain}) {
        for (const char* marker : {"_ASU", "_REP", "_RMI"})
            atom->SetProperty(marker, std::int32_t{1}, 0);
    }
    const std::unique_ptr<TreeNode> cellCopy(cell.TreeCopy());
    const auto* const copiedAtom = DynCast<Atom3d>(cellCopy->GetChild(0)->GetChild(0));
    ASSERT_NE(copiedAtom, nullptr);
    EXPECT_TRUE(copiedAtom->HasProperty("_ASU") && copiedAtom->HasProperty("_REP") && copiedAtom->HasProperty("_RMI"));

    const std::unique_ptr<TreeNode> moleculeCopy(cell.GetChild(0)->TreeCopy());
    for (int i = 0; i < 2; ++i) {
        const auto* const atom = DynCast<Atom3d>(moleculeCopy->GetChild(i));
        ASSERT_NE(atom, nullptr);
        EXPECT_FALSE(atom->HasProperty("_ASU") || atom->HasProperty("_REP") || atom->HasProperty("_RMI"));
    }
    EXPECT_TRUE(image->HasProperty("_ASU"));
}

} // namespace
