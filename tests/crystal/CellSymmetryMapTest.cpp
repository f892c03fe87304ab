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
#include "support/ScopedInstall.h"

using namespace Tavrel;

namespace {

// Knows one image: the object with OID `image`, made by operator 2 and translated by (1, 0, -1).
// Records the calls its cell makes.
class FakeMap final : public CellSymmetryMap {
public:
    FakeMap(Cell3d& cell, std::vector<std::string>& calls) : m_cell(&cell), m_calls(calls) {}
    ~FakeMap() override { m_calls.push_back("deleted"); }

    std::uint32_t image = 0;

    Cell3d* GetCell() const override { return m_cell; }
    void SetComputeBonds(bool computeBonds) override { m_calls.push_back(computeBonds ? "bonds on" : "bonds off"); }
    void Update() override { m_calls.push_back("update"); }
    void EnableEvents() override { m_calls.push_back("events on"); }
    void DisableEvents() override { m_calls.push_back("events off"); }
    void MarkDirty(bool) override {}
    void SetCellParameters(const Matrix3x3&, const Matrix3x3&) override {}
    bool IsPeriodic(std::uint32_t oid) const override { return oid == image; }
    bool IsSymmetric(std::uint32_t oid) const override { return oid == image; }
    std::int32_t GetSymmetryOperator(std::uint32_t oid) const override { return oid == image ? 2 : 0; }
    LatticeOffset GetLatticeOffset(std::uint32_t oid) const override
    {
        return oid == image ? LatticeOffset(1, 0, -1) : LatticeOffset();
    }
    std::uint32_t GetSymmetryParentOID(std::uint32_t) const override { return 0; }
    std::string GetSymmetryLabel(std::uint32_t oid, std::string_view label) const override
    {
        return oid == image ? StringUtils::Format("%s#3@1,0,-1", std::string(label)) : std::string(label);
    }
    bool GetAsymmetricUnitObjects(const Object*, std::uint32_t, BaseCollection&) const override { return false; }
    bool GetSymmetryReplicates(const Object*, BaseCollection&, bool) const override { return false; }
    void GetAtomOIDs(OIDArray& out) const override { out.clear(); }
    void GetObjectOIDs(OIDArray& out) const override { out.clear(); }
    void GetBondOIDs(OIDArray& out) const override { out.clear(); }
    void GetOperationIndexList(IntArray& out) const override { out.clear(); }
    std::unique_ptr<CellSymmetryMap> ShallowCopy() const override { return nullptr; }
    void Paste(Cell3d*, const OIDArray&, const OIDArray&, const OIDArray&, const OIDArray&, const OIDArray&,
               const OIDArray&, const CellSymmetryMap&) override
    {
    }

private:
    Cell3d* m_cell;
    std::vector<std::string>& m_calls;
};

class FakeBuilder final : public CellBuilder {
public:
    FakeBuilder(Cell3d* cell, std::string name) : CellBuilder(cell), methodName(std::move(name)) {}
    std::unique_ptr<CellBuildMethodParameters> CloneParameters() const override
    {
        return std::make_unique<CellBuildMethodParameters>("Fake");
    }
    void SetParameters(const CellBuildMethodParameters&) override {}
    bool Build() override { return true; }
    std::string GetErrorMessage() const override { return {}; }

    std::string methodName;
};

// Makes FakeMaps that know `image`, and builders for the name "Default" alone.
class FakeServices final : public CellSymmetryServices {
public:
    std::unique_ptr<CellSymmetryMap> CreateSymmetryMap(Cell3d& cell, const IntArray& operationKeys) const override
    {
        calls.push_back("created with " + std::to_string(operationKeys.size()) + " keys");
        auto map = std::make_unique<FakeMap>(cell, calls);
        map->image = image;
        return map;
    }
    std::unique_ptr<CellBuilder> CreateCellBuildMethod(Cell3d* cell, std::string_view name,
                                                       const CellBuildMethodParameters*) const override
    {
        if (!cell || !StringUtils::EqualsNoCase(name, "Default"))
            return nullptr;
        return std::make_unique<FakeBuilder>(cell, std::string(name));
    }

    std::uint32_t image = 0;
    mutable std::vector<std::string> calls;
};

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
