#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/chemistry/Assembly.h>
#include <tavrel/chemistry/Chain.h>
#include <tavrel/chemistry/SubUnit.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/RuntimeMap.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ArchiveException.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

using RecordStream::Bytes;
using RecordStream::LoadAs;
using RecordStream::Save;

std::vector<std::uint32_t> g_moved;

void RecordMove(Event& event)
{
    g_moved.push_back(event.GetTreeNodeOID());
}

// A positioned leaf standing in for an atom.
Geometric3d* Leaf(Object* parent, const Point3d& at)
{
    auto* leaf = ClassAccess::New<Geometric3d>();
    leaf->SetParent(parent);
    leaf->SetXYZ(at);
    return leaf;
}

// Reaches the protected setter of the flag.
class MarkedChain : public Chain {
public:
    MarkedChain() : Chain(nullptr) { SetSecondaryStructureDefined(true); }
};

class ContainerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    void SetUp() override { g_moved.clear(); }
};
using ChainTest = ContainerTest;
using SubUnitTest = ContainerTest;
using AssemblyTest = ContainerTest;

} // namespace

TEST_F(ChainTest, PositionIsTheCentreOfTheContentsAndFollowsThem)
{
    Chain chain(nullptr);
    chain.SetXYZ(Point3d(9.0, 9.0, 9.0));
    EXPECT_EQ(chain.GetXYZ(), Point3d::origin);
    SubUnit* empty = new SubUnit(&chain);
    EXPECT_EQ(empty->GetXYZ(), Point3d::origin);

    SubUnit* residue = new SubUnit(&chain);
    Geometric3d* a = Leaf(residue, Point3d(2.0, 0.0, 0.0));
    Leaf(residue, Point3d(4.0, 0.0, 0.0));
    EXPECT_EQ(residue->GetXYZ(), Point3d(3.0, 0.0, 0.0));
    // Both sub-units count with their centres beside the two leaves: (0 + 3 + 2 + 4) / 4.
    EXPECT_EQ(chain.GetXYZ(), Point3d(2.25, 0.0, 0.0));
    EXPECT_EQ(chain.GetPropertyAsString("xyz"), "2.2500 0.0000 0.0000");

    chain.RegisterEvent(Geometric::classType, Geometric::EventMoved, RecordMove, true, nullptr, nullptr);
    a->SetXYZ(Point3d(0.0, 0.0, 0.0));
    EXPECT_EQ(g_moved, std::vector<std::uint32_t>{a->GetOID()});
    EXPECT_EQ(residue->GetXYZ(), Point3d(2.0, 0.0, 0.0));
    EXPECT_EQ(chain.GetXYZ(), Point3d(1.5, 0.0, 0.0));

    // Positions below plain objects count too; the single walk agrees with the generic centre.
    Leaf(new Object(&chain), Point3d(-4.0, 8.0, 0.0));
    EXPECT_EQ(chain.GetXYZ(), chain.Geometric::CalculateCenter());
    EXPECT_EQ(chain.GetXYZ(), Point3d(0.4, 1.6, 0.0));
}

TEST_F(ChainTest, DeeplyNestedContainersAreMeasuredInOneWalk)
{
    constexpr int depth = 100000;
    auto* innermost = new SubUnit(nullptr);
    Leaf(innermost, Point3d(1.0, 2.0, 3.0));
    std::unique_ptr<Geometric3d> top(innermost);
    for (int i = 0; i < depth; ++i) {
        Geometric3d* above = (i % 2) ? static_cast<Geometric3d*>(new Chain(nullptr)) : new SubUnit(nullptr);
        top.release()->SetParent(above);
        top.reset(above);
    }
    EXPECT_EQ(top->GetXYZ(), Point3d(1.0, 2.0, 3.0));
}

TEST_F(ChainTest, OffersThePositionAsTextButNotAsDescriptor)
{
    Chain chain(nullptr);
    Leaf(&chain, Point3d(1.0, 1.0, 1.0));
    ObjectProperty::Array properties;
    EXPECT_EQ(chain.GetProperties(properties), 3);
    EXPECT_FALSE(chain.GetPropertyAsObjectProperty("XYZ").HasValue());
    EXPECT_TRUE(chain.SetPropertyFromString("XYZ", "5 5 5"));
    EXPECT_EQ(chain.GetXYZ(), Point3d(1.0, 1.0, 1.0));
}

TEST_F(ChainTest, CopySurvivesWithItsContentsAndFlag)
{
    MarkedChain chain;
    chain.SetLabel("A");
    Leaf(new SubUnit(&chain), Point3d(2.0, 4.0, 6.0));
    std::unique_ptr<Object> copy(chain.TreeCopy());
    const Chain* copied = DynCast<Chain>(copy.get());
    ASSERT_NE(copied, nullptr);
    EXPECT_TRUE(copied->GetSecondaryStructureDefined());
    EXPECT_EQ(copied->GetNumDescendents(), 2);
    EXPECT_EQ(copied->GetXYZ(), chain.GetXYZ());
    EXPECT_FALSE(Chain(nullptr).GetSecondaryStructureDefined());
}

TEST_F(SubUnitTest, TypeTextSurvivesCopyFrameworkArchiveAndPropertyStream)
{
    Chain chain(nullptr);
    chain.SetLabel("B");
    SubUnit* unit = new SubUnit(&chain);
    EXPECT_EQ(unit->GetSubUnitType(), "");
    unit->SetSubUnitType("HEM");
    unit->SetProperty("note", "kept", 0);
    Leaf(unit, Point3d(-1.0, 0.5, 2.0));

    const std::unique_ptr<Object> copy(unit->NodeCopy());
    ASSERT_TRUE(IsA<SubUnit>(copy.get()));
    EXPECT_EQ(DynCast<SubUnit>(copy.get())->GetSubUnitType(), "HEM");

    Archive framework;
    framework.WriteObject(copy.get());
    Archive back(framework.GetBuffer());
    std::unique_ptr<PersistentObject> read(back.ReadObject(&SubUnit::GetThisClass()));
    EXPECT_EQ(static_cast<SubUnit*>(read.get())->GetSubUnitType(), "HEM");

    const std::unique_ptr<Chain> loaded = LoadAs<Chain>(Save(chain));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetLabel(), "B");
    const SubUnit* loadedUnit = DynCast<SubUnit>(loaded->GetChild(0));
    ASSERT_NE(loadedUnit, nullptr);
    EXPECT_EQ(loadedUnit->GetSubUnitType(), "HEM");
    EXPECT_EQ(loadedUnit->GetPropertyAsString("note"), "kept");
    EXPECT_EQ(loaded->GetXYZ(), chain.GetXYZ());
}

TEST_F(SubUnitTest, EveryTruncatedRecordIsRefused)
{
    SubUnit unit(nullptr);
    unit.SetSubUnitType("ALA");
    Leaf(&unit, Point3d(1.0, 2.0, 3.0));
    const Bytes bytes = Save(unit);
    for (std::size_t size = 0; size < bytes.size(); ++size)
        EXPECT_THROW(LoadAs<SubUnit>(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size))), ArchiveException);
}

TEST_F(SubUnitTest, HostInterfaceOffersNoPositionAndNoSchemes)
{
    SubUnit unit(nullptr);
    EXPECT_FALSE(unit.SetPropertyFromString("", "x"));
    EXPECT_FALSE(unit.GetPropertyAsObjectProperty("").HasValue());
    ObjectProperty::Array properties;
    EXPECT_EQ(unit.GetProperties(properties), 3);
    unit.RegisterEvent(Geometric::classType, Geometric::EventMoved, RecordMove, false, nullptr, nullptr);
    unit.SetPropertyFromString("XYZ", "1 2 3");
    EXPECT_TRUE(g_moved.empty());

    unit.SetColor(Color::Red());
    unit.SetColorScheme("");
    EXPECT_EQ(unit.GetColor(), Color::Red());
    unit.SetColorScheme("anything");
    EXPECT_EQ(unit.GetColor(), Color::White());
    std::vector<std::string> schemes{"inherited"};
    EXPECT_EQ(unit.GetColorSchemes(schemes), 1);
}

TEST_F(AssemblyTest, IsAPlainRegisteredGroupThatPersistsItsTree)
{
    std::unique_ptr<PersistentObject> made(RuntimeMap::CreateObject("Assembly"));
    ASSERT_TRUE(IsA<Assembly>(static_cast<Base*>(made.get())));
    EXPECT_EQ(Object::FindClassInstance("xxchain"), Chain::classInstance);
    EXPECT_EQ(Object::FindClassInstance("SubUnit"), SubUnit::classInstance);

    Assembly assembly(nullptr);
    EXPECT_FALSE(IsA<Geometric>(&assembly));
    assembly.SetLabel("complex");
    Leaf(new Chain(&assembly), Point3d(1.0, 0.0, 0.0));
    std::unique_ptr<Base> copy(assembly.Copy());
    EXPECT_TRUE(IsA<Assembly>(copy.get()));

    const std::unique_ptr<Assembly> loaded = LoadAs<Assembly>(Save(assembly));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetLabel(), "complex");
    ASSERT_TRUE(IsA<Chain>(loaded->GetChild(0)));
    EXPECT_EQ(DynCast<Chain>(loaded->GetChild(0))->GetXYZ(), Point3d(1.0, 0.0, 0.0));
}
