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
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/OrdCollection.h>
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

    // The map the cell holds, as the fake it is.
    FakeMap& Map() const { return static_cast<FakeMap&>(*cell.GetSymmetryMap()); }
    static std::vector<Object*> Members(const OrdCollection& collection)
    {
        std::vector<Object*> members;
        for (int i = 0; i < collection.GetNumItems(); ++i)
            members.push_back(collection.GetAt(i));
        return members;
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

TEST_F(CellSymmetryMapTest, ANodeCopyLeavesTheMarkersOutAsARemovalWould)
{
    constexpr std::uint32_t readable = DataStorage::FlagReadable;
    const auto names = [](const Object& object) {
        ObjectProperty::Array listed;
        object.GetUserProperties(listed);
        std::string found;
        for (const ObjectProperty& property : listed)
            found += property.GetName() + " ";
        return found;
    };
    // Markers around properties of the user's own: the copy keeps those, in order, and is modified as
    // when the markers are removed from it; the source keeps everything.
    image->SetProperty("_ASU", std::int32_t{1}, readable);
    image->SetProperty("tag", std::int32_t{7}, readable);
    image->SetProperty("_REP", std::int32_t{2}, readable);
    image->SetProperty("note", "kept", readable);
    plain->SetProperty("tag", std::int32_t{8}, readable);
    cell.ClearModified();
    const std::unique_ptr<Object> copy(image->NodeCopy());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(names(*copy), "tag note ");
    EXPECT_EQ(copy->GetPropertyAsString("note"), "kept");
    EXPECT_TRUE(copy->IsModified());
    EXPECT_EQ(names(*image), "_ASU tag _REP note ");

    // Nothing left out: the copy is as clean as its source.
    const std::unique_ptr<Object> plainCopy(plain->NodeCopy());
    ASSERT_NE(plainCopy, nullptr);
    EXPECT_FALSE(plainCopy->IsModified());
    EXPECT_EQ(plainCopy->GetPropertyAsString("tag"), "8");

    // Markers alone leave a copy without user properties; a copy of the cell keeps its own.
    plain->RemoveProperty("tag");
    plain->SetProperty("_RMI", std::int32_t{3}, 0);
    cell.SetProperty("_ASU", std::int32_t{4}, 0);
    const std::unique_ptr<Object> bare(plain->NodeCopy());
    ASSERT_NE(bare, nullptr);
    EXPECT_FALSE(bare->HasUserProperties());
    EXPECT_TRUE(bare->IsModified());
    const std::unique_ptr<Object> cellCopy(cell.NodeCopy());
    ASSERT_NE(cellCopy, nullptr);
    EXPECT_TRUE(cellCopy->HasProperty("_ASU"));
}

TEST_F(CellSymmetryMapTest, WithoutAMapEveryObjectIsItsOwnParentAndTheWholeSubtreeTheAsymmetricUnit)
{
    const test::ScopedInstall<CellSymmetryServices> installed(services);
    auto* const replica = new ReplicateAtom(image);
    EXPECT_EQ(cell.GetSymmetryParent(image), image);
    EXPECT_EQ(cell.GetSymmetryLabel(image), "C1");
    OrdCollection images;
    EXPECT_FALSE(cell.GetSymmetryReplicates(image, images, true));
    EXPECT_EQ(images.GetNumItems(), 0);

    // Replicas included, in depth-first order; below a given root only.
    OrdCollection unit;
    EXPECT_TRUE(cell.GetAsymmetricUnitObjects(Atom::classType, unit));
    EXPECT_EQ(Members(unit), (std::vector<Object*>{image, replica, plain}));
    OrdCollection belowImage;
    EXPECT_TRUE(cell.GetAsymmetricUnitObjects(image, Atom::classType, belowImage));
    EXPECT_EQ(Members(belowImage), (std::vector<Object*>{replica}));
    Object outside(nullptr);
    OrdCollection none;
    EXPECT_FALSE(cell.GetAsymmetricUnitObjects(&outside, Atom::classType, none));
    EXPECT_FALSE(cell.GetAsymmetricUnitObjects(nullptr, Atom::classType, none));
    EXPECT_EQ(none.GetNumItems(), 0);

    // Switching the map on makes none: the image is no image until the map is created.
    cell.EnableSymmetryMap(true);
    EXPECT_FALSE(cell.IsPeriodic(image));
    EXPECT_EQ(cell.GetSymmetryParent(image), image);
}

TEST_F(CellSymmetryMapTest, TheMapNamesTheParentAndTheImagesOfAnObject)
{
    const test::ScopedInstall<CellSymmetryServices> installed(services);
    services.parent = plain->GetOID();
    cell.EnableSymmetryMap(true);
    cell.CreateSymmetryMap(false);
    EXPECT_EQ(cell.GetSymmetryParent(image), plain);
    EXPECT_EQ(cell.GetSymmetryParent(plain), plain);
    EXPECT_TRUE(cell.GetLatticeOffset(image).IsSame(LatticeOffset(1, 0, -1)));

    // A parent outside the cell, or gone, is none.
    Object outside(nullptr);
    Map().parent = outside.GetOID();
    EXPECT_EQ(cell.GetSymmetryParent(image), nullptr);
    Map().parent = (new Object(nullptr))->GetOID();
    delete Object::GetObjectA(Map().parent);
    EXPECT_EQ(cell.GetSymmetryParent(image), nullptr);

    Map().replicates = {plain};
    OrdCollection images;
    EXPECT_TRUE(cell.GetSymmetryReplicates(image, images, true));
    EXPECT_EQ(Members(images), (std::vector<Object*>{image, plain}));
    EXPECT_FALSE(cell.GetSymmetryReplicates(&outside, images, true));

    // The map's asymmetric unit when it answers; the subtree when it cannot.
    Map().unit = {plain};
    Map().answersUnit = true;
    OrdCollection unit;
    EXPECT_TRUE(cell.GetAsymmetricUnitObjects(Atom3d::classType, unit));
    EXPECT_EQ(Members(unit), (std::vector<Object*>{plain}));
    Map().unit.clear();
    Map().answersUnit = false;
    OrdCollection walked;
    EXPECT_TRUE(cell.GetAsymmetricUnitObjects(Atom3d::classType, walked));
    EXPECT_EQ(Members(walked), (std::vector<Object*>{image, plain}));

    // Another cell answers nothing about them.
    Cell3d other(nullptr);
    EXPECT_EQ(other.GetSymmetryParent(image), nullptr);
    EXPECT_FALSE(other.GetSymmetryReplicates(image, images, false));
    EXPECT_TRUE(other.GetLatticeOffset(image).IsSame(LatticeOffset()));
}

TEST_F(CellSymmetryMapTest, ACopiedCellBindsACopyOfTheMapToTheCopiedObjects)
{
    const test::ScopedInstall<CellSymmetryServices> installed(services);
    cell.EnableSymmetryMap(true);
    cell.CreateSymmetryMap(false);
    Map().atoms = {image->GetOID(), 0, plain->GetOID()};
    Map().objects = {cell.GetChild(0)->GetOID()};
    services.calls.clear();

    const std::unique_ptr<TreeNode> copied(cell.TreeCopy());
    auto* const copy = DynCast<Cell3d>(copied.get());
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy->GetSymmetryMap(), nullptr);
    EXPECT_EQ(services.calls, (std::vector<std::string>{"shallow copy", "pasted"}));
    const auto& map = static_cast<const FakeMap&>(*copy->GetSymmetryMap());
    EXPECT_EQ(map.GetCell(), copy);
    const Object* const molecule = copy->GetChild(0);
    EXPECT_EQ(map.pastedAtoms,
              (OIDArray{molecule->GetChild(0)->GetOID(), 0, molecule->GetChild(1)->GetOID()}));
    EXPECT_EQ(map.pastedObjects, (OIDArray{molecule->GetOID()}));
    EXPECT_TRUE(map.pastedBonds.empty());
    EXPECT_EQ(Map().GetCell(), &cell);
}

TEST_F(CellSymmetryMapTest, ACopyThatCannotTakeEveryMappedObjectGetsANewMap)
{
    const test::ScopedInstall<CellSymmetryServices> installed(services);
    services.keys = {1, 0, 0, 0};
    cell.EnableSymmetryMap(true);
    cell.CreateSymmetryMap(false);
    Object outside(nullptr);
    Map().atoms = {image->GetOID()};
    Map().objects = {outside.GetOID()};
    services.calls.clear();
    const std::unique_ptr<TreeNode> copied(cell.TreeCopy());
    auto* const copy = DynCast<Cell3d>(copied.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(services.calls,
              (std::vector<std::string>{"shallow copy", "deleted", "created with 4 keys", "events on"}));
    ASSERT_NE(copy->GetSymmetryMap(), nullptr);
    EXPECT_EQ(copy->GetSymmetryMap()->GetCell(), copy);

    // A paste refused gets a new map as well.
    Map().objects = {cell.GetChild(0)->GetOID()};
    Map().refusesPaste = true;
    services.calls.clear();
    const std::unique_ptr<TreeNode> refused(cell.TreeCopy());
    EXPECT_EQ(services.calls, (std::vector<std::string>{"shallow copy", "pasted", "deleted", "created with 4 keys",
                                                        "events on"}));
    EXPECT_EQ(DynCast<Cell3d>(refused.get())->GetSymmetryMap()->GetCell(), refused.get());

    // The cell copied alone takes none of its objects.
    Map().objects.clear();
    services.calls.clear();
    const std::unique_ptr<TreeNode> alone(cell.NodeCopy());
    EXPECT_EQ(services.calls,
              (std::vector<std::string>{"shallow copy", "deleted", "created with 4 keys", "events on"}));

    // With the switch off, a copy holds no map.
    cell.EnableSymmetryMap(false);
    services.calls.clear();
    const std::unique_ptr<TreeNode> plainCopy(cell.TreeCopy());
    EXPECT_EQ(DynCast<Cell3d>(plainCopy.get())->GetSymmetryMap(), nullptr);
    EXPECT_TRUE(services.calls.empty());
}

} // namespace
