#include <gtest/gtest.h>

#include <memory>

#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/features/PointFeature.h>
#include <tavrel/features/QueryFeature.h>
#include <tavrel/foundation/ClassNameTable.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/VectorMonitor.h>
#include "monitors/MonitorSupport.h"
#include "support/Near.h"
#include "support/RecordStream.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::Alive;
using Tavrel::test::Near;

namespace {

class VectorMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

} // namespace

TEST_F(VectorMonitorTest, AVectorFromAPointToAnAtomDrawsItsRodAtTheAtomAndItsConeEndingAtThePoint)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const atom = AddAtom(molecule, "C", 10, 0, 0);
    auto* const vector = new VectorMonitor(molecule, Point3d(0, 0, 0), atom);
    ASSERT_EQ(vector->GetNumItemsMonitoring(), 1);
    EXPECT_TRUE(Near(vector->GetXYZ(), Point3d(5, 0, 0), 1e-6));
    vector->SetXYZ(Point3d(9, 9, 9));
    EXPECT_TRUE(Near(vector->GetXYZ(), Point3d(5, 0, 0), 1e-6));

    DisplayList3D list;
    vector->Display(list);
    const auto cones = list.GetAll<ConePrimitive>();
    const auto rods = list.GetAll<CylinderPrimitive>();
    ASSERT_EQ(cones.size(), 1u);
    ASSERT_EQ(rods.size(), 1u);
    EXPECT_TRUE(Near(cones[0]->GetBase(), Point3d(9, 0, 0), 1e-6));
    EXPECT_EQ(cones[0]->GetApex(), Point3d(0, 0, 0));
    EXPECT_EQ(cones[0]->GetRadius(), 0.5);
    EXPECT_EQ(rods[0]->GetFrom(), Point3d(10, 0, 0));
    EXPECT_TRUE(Near(rods[0]->GetTo(), Point3d(9, 0, 0), 1e-6));
    EXPECT_EQ(rods[0]->GetRadius(), static_cast<double>(0.1f));
    EXPECT_EQ(rods[0]->GetOID(), vector->GetOID());

    atom->SetXYZ(Point3d(0, 4, 0));
    EXPECT_TRUE(Near(vector->GetXYZ(), Point3d(0, 2, 0), 1e-6));
    const std::uint32_t oid = vector->GetOID();
    delete atom;
    EXPECT_FALSE(Alive(oid));
}

TEST_F(VectorMonitorTest, VectorsAreQueryFeaturesAndTheirFixedEndsSurviveSaving)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 0, 0, 2);
    OrdCollection selection;
    selection.Add(a);
    EXPECT_FALSE(VectorMonitor::CanCreate(selection));
    selection.Add(b);
    EXPECT_TRUE(VectorMonitor::CanCreate(selection));
    auto* const between = new VectorMonitor(molecule, a, b);
    EXPECT_TRUE(Near(between->GetXYZ(), Point3d(0, 0, 1), 1e-6));

    // The interface has its own identifier, answered through either base.
    ASSERT_NE(QueryFeature::classType, 0u);
    EXPECT_EQ(ClassNameTable::FindType("QueryFeature"), QueryFeature::classType);
    EXPECT_TRUE(between->IsA(QueryFeature::classType));
    EXPECT_TRUE(between->IsA(GeometryMonitor::classType));
    EXPECT_FALSE(between->IsA(PointFeature::classType));
    EXPECT_FALSE(a->IsA(QueryFeature::classType));
    const QueryFeature* const feature = between;
    EXPECT_STREQ(feature->GetClassNameA(), "XXVectorMonitor");
    EXPECT_EQ(feature->GetClassType(), VectorMonitor::classType);
    EXPECT_TRUE(feature->IsA(QueryFeature::classType));
    EXPECT_NE(PointFeature::classType, 0u);
    EXPECT_NE(PointFeature::classType, QueryFeature::classType);
    EXPECT_TRUE(PointFeature::IsInterfaceType(QueryFeature::classType));

    // Deleting through the interface deletes the monitor.
    const std::uint32_t oid = between->GetOID();
    delete feature;
    EXPECT_FALSE(Alive(oid));

    new VectorMonitor(molecule, Point3d(1, 2, 3), Point3d(3, 2, 1));
    const auto loaded = RecordStream::LoadAs<TreeRoot>(RecordStream::Save(root));
    ASSERT_NE(loaded, nullptr);
    auto* const back = DynCast<VectorMonitor>(loaded->GetChild(0)->GetChild(2));
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(Near(back->GetXYZ(), Point3d(2, 2, 2), 1e-6));
    DisplayList3D list;
    back->Display(list);
    ASSERT_EQ(list.GetAll<ConePrimitive>().size(), 1u);
    EXPECT_EQ(list.GetAll<ConePrimitive>()[0]->GetApex(), Point3d(1, 2, 3));
}
