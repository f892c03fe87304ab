#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/graphics/AnnotationProperty.h>
#include <tavrel/monitors/CentroidMonitor.h>
#include <tavrel/monitors/PlaneMonitor.h>
#include <tavrel/monitors/PositionMonitor.h>
#include <tavrel/monitors/TupleMonitor.h>
#include "monitors/MonitorSupport.h"
#include "support/RecordStream.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::Alive;
using MonitorSupport::Reloaded;
using MonitorSupport::Selection;

namespace {

class PositionTupleMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

// Records the order of the moved and recalculated events below a node.
class EventOrder {
public:
    explicit EventOrder(TreeNode& top) : m_top(top)
    {
        m_top.RegisterEvent(TreeNode::classType, TreeNode::EventTreeWide, &Heard, true, this, nullptr);
    }
    ~EventOrder() { m_top.UnregisterAllEvents(this); }
    EventOrder(const EventOrder&) = delete;
    EventOrder& operator=(const EventOrder&) = delete;

    std::vector<std::string> heard;

private:
    static void Heard(Event& event)
    {
        auto* const order = static_cast<EventOrder*>(event.GetData());
        if (event.CheckType(Geometric::classType, Geometric::EventMoved))
            order->heard.push_back("moved " + std::to_string(event.GetTreeNodeOID()));
        if (event.CheckType(GeometryMonitor::classType, GeometryMonitor::EventRecalculated))
            order->heard.push_back("recalculated " + std::to_string(event.GetTreeNodeOID()));
    }

    TreeNode& m_top;
};

} // namespace

TEST_F(PositionTupleMonitorTest, APositionMonitorStandsWhereItsObjectIsFromTheStart)
{
    ChemDoc document;
    auto* const molecule = new Molecule(document.GetTreeRoot());
    Atom3d* const atom = AddAtom(molecule, "C", 1, 2, 3);
    auto* const monitor = new PositionMonitor(molecule, atom);
    EXPECT_EQ(monitor->GetXYZ(), Point3d(1, 2, 3));
    EXPECT_EQ(monitor->GetItem(0), atom);

    // A move sets the position at once, within the atom's move (heard at the atom before the root):
    // the monitor's move, then its recalculation.
    const std::string oid = std::to_string(monitor->GetOID());
    EventOrder order(*document.GetTreeRoot());
    atom->SetXYZ(Point3d(4, 5, 6));
    EXPECT_EQ(order.heard, (std::vector<std::string>{"moved " + oid, "recalculated " + oid,
                                                     "moved " + std::to_string(atom->GetOID())}));
    EXPECT_FALSE(monitor->NeedsRecalc());
    EXPECT_EQ(monitor->GetXYZ(), Point3d(4, 5, 6));
    // Other events never make it stale.
    atom->SetLabel("moved");
    EXPECT_FALSE(monitor->NeedsRecalc());

    // The label shows the coordinates, stays where it was made, and shows only while the atom does not.
    DisplayList3D list;
    monitor->Display(list);
    EXPECT_TRUE(list.IsEmpty());
    auto* const label = DynCast<AnnotationProperty>(monitor->GetAnnotationObject());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->GetPropertyName(), "XYZ");
    EXPECT_FALSE(label->GetUpdatePosition());
    EXPECT_FALSE(label->IsVisible());
    atom->SetInvisible(false);
    monitor->Display(list);
    EXPECT_TRUE(label->IsVisible());
    EXPECT_EQ(monitor->GetNumChildren(), 1);

    const std::unique_ptr<ChemDoc> loaded = Reloaded(document);
    Object* const back = loaded->GetTreeRoot()->GetChild(0);
    auto* const monitorBack = DynCast<PositionMonitor>(back->GetChild(1));
    ASSERT_NE(monitorBack, nullptr);
    EXPECT_EQ(monitorBack->GetXYZ(), Point3d(4, 5, 6));
    DynCast<Atom3d>(back->GetChild(0))->SetXYZ(Point3d(0, 0, 1));
    EXPECT_EQ(monitorBack->GetXYZ(), Point3d(0, 0, 1));
    monitorBack->Display(list);
    EXPECT_EQ(monitorBack->GetNumChildren(), 1);

    const std::uint32_t monitorOID = monitorBack->GetOID();
    delete back->GetChild(0);
    EXPECT_FALSE(Alive(monitorOID));
}

TEST_F(PositionTupleMonitorTest, TuplesJoinPointsOfDifferentMoleculesOnly)
{
    TreeRoot root;
    auto* const first = new Molecule(&root);
    auto* const second = new Molecule(&root);
    Atom3d* const a = AddAtom(first, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(first, "C", 1, 0, 0);
    Atom3d* const c = AddAtom(second, "N", 0, 3, 0);
    auto* const centroid = new CentroidMonitor(&root, Selection({a, b}));
    auto* const plane = new PlaneMonitor(&root, a, c);
    EXPECT_FALSE(TupleMonitor::CanCreate(Selection({a, b})));
    EXPECT_TRUE(TupleMonitor::CanCreate(Selection({a, c, centroid})));
    EXPECT_FALSE(TupleMonitor::CanCreate(Selection({a, plane})));
    EXPECT_FALSE(TupleMonitor::CanCreate(Selection({a, nullptr, c})));

    auto* const tuple = new TupleMonitor(&root, Selection({a, plane, c, centroid}));
    EXPECT_EQ(tuple->GetNumItemsMonitoring(), 3);
    EXPECT_EQ(tuple->GetItem(1), c);
    EXPECT_EQ(tuple->GetColor(), Color(50, 255, 50, 0));
    EXPECT_EQ(tuple->GetCommonName(), "Tether");
    EXPECT_EQ(Base::GetCommonName("TupleMonitor"), "Tether");
    tuple->SetXYZ(Point3d(7, 7, 7));
    EXPECT_EQ(tuple->GetXYZ(), Point3d());

    // A first character y or Y, or true in any case, switches on; any other text off; every text is
    // taken.
    for (const char* yes : {"y", "Yes", "yellow", "TRUE", "true"}) {
        tuple->SetDisplayLines(false);
        EXPECT_TRUE(tuple->SetPropertyFromString("Show lines", yes));
        EXPECT_EQ(tuple->GetPropertyAsString("show lines"), "True") << yes;
    }
    for (const char* no : {"no", "N", "1", "", " yes", "true ", "false"}) {
        tuple->SetDisplayLines(true);
        EXPECT_TRUE(tuple->SetPropertyFromString("Show lines", no));
        EXPECT_EQ(tuple->GetPropertyAsString("Show lines"), "False") << no;
    }

    tuple->SetID(7);
    tuple->SetDisplayLines(true);
    c->SetInvisible(false);
    DisplayList3D list;
    tuple->Display(list);
    const auto texts = list.GetAll<Text3DPrimitive>();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0]->GetText(), "7");
    EXPECT_EQ(texts[0]->GetPosition(), a->GetXYZ());
    EXPECT_NEAR(texts[0]->GetSize(), 0.1, 1e-6);
    EXPECT_EQ(texts[1]->GetPosition(), centroid->GetXYZ());
    const auto lines = list.GetAll<LinePrimitive>();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1]->GetFrom(), a->GetXYZ());
    EXPECT_EQ(lines[1]->GetTo(), centroid->GetXYZ());

    // Deleting members keeps the tuple down to two.
    const std::uint32_t oid = tuple->GetOID();
    delete c;
    EXPECT_TRUE(Alive(oid));
    EXPECT_EQ(tuple->GetNumItemsMonitoring(), 2);
    delete centroid;
    EXPECT_FALSE(Alive(oid));
}

TEST_F(PositionTupleMonitorTest, TheLinesSwitchSurvivesBothRecordForms)
{
    const std::unique_ptr<Molecule> molecule(new Molecule(nullptr));
    Atom3d* const a = AddAtom(molecule.get(), "C", 0, 0, 0);
    Atom3d* const b = AddAtom(molecule.get(), "O", 0, 0, 2);
    auto* const tuple = new TupleMonitor(molecule.get(), Selection({a, b}));
    tuple->SetDisplayLines(true);
    const auto copy = RecordStream::ArchiveCopy<Molecule>(*molecule);
    ASSERT_NE(copy, nullptr);
    const auto* const copied = DynCast<TupleMonitor>(copy->GetChild(2));
    ASSERT_NE(copied, nullptr);
    EXPECT_TRUE(copied->GetDisplayLines());
    EXPECT_FALSE(copied->NeedsRecalc());
    const auto loaded = RecordStream::LoadAs<Molecule>(RecordStream::Save(*molecule));
    ASSERT_NE(loaded, nullptr);
    const auto* const back = DynCast<TupleMonitor>(loaded->GetChild(2));
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->GetDisplayLines());
    EXPECT_FALSE(back->NeedsRecalc());
    EXPECT_EQ(back->GetItem(1), loaded->GetChild(1));
}
