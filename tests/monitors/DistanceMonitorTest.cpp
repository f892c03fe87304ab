#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <tavrel/chemistry/Bond.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/graphics/AnnotationProperty.h>
#include <tavrel/monitors/DistanceMonitor.h>
#include "monitors/MonitorSupport.h"
#include "support/Near.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::BondedPair;
using MonitorSupport::RecalculationCounter;
using Tavrel::test::Near;

namespace {

// A positioned object that bonds to nothing; a fixed one ignores SetXYZ, as an object whose position
// is only computed does.
class TestPoint : public Geometric3d {
    TAVREL_DECLARE_CLASS(TestPoint, Geometric3d)
public:
    TestPoint(Object* parent, const Point3d& position, bool fixed) : Geometric3d(parent), m_fixed(fixed)
    {
        Geometric3d::SetXYZ(position);
    }
    void SetXYZ(const Point3d& position) override
    {
        if (!m_fixed)
            Geometric3d::SetXYZ(position);
    }

protected:
    TestPoint() = default;
    TestPoint(const TestPoint&) = default;

private:
    bool m_fixed = false;
};
TAVREL_IMPLEMENT_CLASS(TestPoint, ClassKind::Creatable)

class DistanceMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<TestPoint>();
    }
};

double Between(const Geometric* a, const Geometric* b)
{
    return Distance(a->GetXYZ(), b->GetXYZ());
}

} // namespace

TEST_F(DistanceMonitorTest, FiveReadsWithTheLabelBesideTheMidpointAndFollowsIt)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 3, 4, 0);
    OrdCollection selection;
    selection.Add(a);
    selection.Add(b);
    ASSERT_TRUE(DistanceMonitor::CanCreate(selection));
    auto* const monitor = new DistanceMonitor(molecule, selection);
    EXPECT_EQ(monitor->GetColor(), Color::Green());
    EXPECT_EQ(monitor->GetPropertyAsString("distance"), "5.00");
    EXPECT_EQ(monitor->GetAnnotation(), "5.00");
    EXPECT_TRUE(Near(monitor->GetXYZ(), Point3d(1.38, 1.84, 0), 1e-6));
    const ObjectProperty property = monitor->GetPropertyAsObjectProperty("DISTANCE");
    EXPECT_EQ(property.GetName(), "Distance");
    EXPECT_EQ(property.GetStringValue(), "5.00");
    EXPECT_EQ(property.GetAccess(), 3);

    // The first display draws the line from item 1 to item 0 and creates the label 0.05 along x.
    DisplayList3D first;
    monitor->Display(first);
    const auto lines = first.GetAll<LinePrimitive>();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]->GetFrom(), b->GetXYZ());
    EXPECT_EQ(lines[0]->GetTo(), a->GetXYZ());
    EXPECT_EQ(lines[0]->GetOID(), monitor->GetOID());
    EXPECT_EQ(lines[0]->GetColor(), Color::Green());
    auto* const label = DynCast<AnnotationProperty>(monitor->GetAnnotationObject());
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(Near(label->GetXYZ(), Point3d(1.43, 1.84, 0), 1e-6));
    EXPECT_EQ(label->GetLabel(), "5.00");
    EXPECT_EQ(label->GetPropertyAsString("Movable"), "false");

    // Displayed again after a move, the label stands at the monitor's new point with the new value.
    b->SetXYZ(Point3d(0, 4, 0));
    monitor->Select(false);
    DisplayList3D again;
    monitor->DisplayAll(again, false);
    EXPECT_EQ(monitor->GetNumChildren(), 1);
    const auto texts = again.GetAll<Text3DPrimitive>();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0]->GetText(), "4.00");
    EXPECT_TRUE(Near(texts[0]->GetPosition(), Point3d(0, 1.8, 0), 1e-6));
    const auto selected = again.GetAll<LinePrimitive>();
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0]->GetColor(), Color::Selected());

    // Hiding an item hides the line and the label; showing it brings both back.
    a->SetInvisible(false);
    DisplayList3D hidden;
    monitor->DisplayAll(hidden, false);
    EXPECT_TRUE(hidden.GetAll<LinePrimitive>().empty());
    EXPECT_TRUE(hidden.GetAll<Text3DPrimitive>().empty());
    a->SetVisible(false);
    DisplayList3D shown;
    monitor->DisplayAll(shown, false);
    EXPECT_EQ(shown.GetAll<LinePrimitive>().size(), 1u);
    EXPECT_EQ(shown.GetAll<Text3DPrimitive>().size(), 1u);
}

TEST_F(DistanceMonitorTest, TooFewDistinctItemsMeasureZeroDrawNothingAndRefuseToBeSet)
{
    Molecule molecule(nullptr);
    Atom3d* const a = AddAtom(&molecule, "C", 1, 2, 3);
    Atom3d* const b = AddAtom(&molecule, "C", 1, 2, 3);
    auto* const same = new DistanceMonitor(&molecule, a, a);
    auto* const coincident = new DistanceMonitor(&molecule, a, b);
    auto* const empty = new DistanceMonitor(&molecule, nullptr, b);
    for (DistanceMonitor* monitor : {same, empty}) {
        EXPECT_EQ(monitor->GetDistance(), 0.0f);
        DisplayList3D list;
        monitor->Display(list);
        EXPECT_TRUE(list.IsEmpty());
        EXPECT_EQ(monitor->GetAnnotationObject(), nullptr);
        EXPECT_FALSE(monitor->SetDistance(2.0));
    }
    EXPECT_EQ(coincident->GetDistance(), 0.0f);
    EXPECT_FALSE(coincident->SetDistance(2.0));
    EXPECT_FALSE(coincident->SetPropertyFromString("Distance", "2"));
    EXPECT_EQ(a->GetXYZ(), b->GetXYZ());

    OrdCollection twoBonds;
    Atom3d* const c = AddAtom(&molecule, "C", 0, 0, 0);
    Atom3d* const d = AddAtom(&molecule, "C", 0, 0, 1);
    twoBonds.Add(a->MakeBond(b, Bond::Single));
    twoBonds.Add(c->MakeBond(d, Bond::Single));
    EXPECT_FALSE(DistanceMonitor::CanCreate(twoBonds));
    EXPECT_EQ(DistanceMonitor(nullptr, twoBonds).GetNumItemsMonitoring(), 0);
}

TEST_F(DistanceMonitorTest, SettingByTextMovesOneSideOfTheStructure)
{
    TreeRoot root;
    // Molecule one: a chain w-a; molecule two: b-x.
    const BondedPair one(&root, "C", Point3d(-1, 0, 0), "C", Point3d(0, 0, 0));
    const BondedPair two(&root, "C", Point3d(2, 0, 0), "O", Point3d(2, 1, 0));
    Atom3d* const w = one.first;
    Atom3d* const a = one.second;
    Atom3d* const b = two.first;
    Atom3d* const x = two.second;
    auto* const monitor = new DistanceMonitor(&root, a, b);

    for (const char* refused : {"0", "-1", "abc", "100000.5"}) {
        EXPECT_FALSE(monitor->SetPropertyFromString("Distance", refused)) << refused;
        EXPECT_EQ(b->GetXYZ(), Point3d(2, 0, 0)) << refused;
    }
    EXPECT_TRUE(monitor->SetPropertyFromString("distance", " 5 A"));
    EXPECT_EQ(monitor->GetPropertyAsString("Distance"), "5.00");
    EXPECT_EQ(a->GetXYZ(), Point3d(0, 0, 0));
    EXPECT_EQ(w->GetXYZ(), Point3d(-1, 0, 0));
    EXPECT_TRUE(Near(x->GetXYZ(), Point3d(5, 1, 0), 1e-5));
    EXPECT_TRUE(monitor->SetPropertyFromString("Distance", "100000"));
    EXPECT_NEAR(monitor->GetDistance(), 100000.0, 0.01);

    // Bonded across one single bond: item 1's side moves.
    ASSERT_TRUE(monitor->SetDistance(2.0));
    a->MakeBond(b, Bond::Single);
    auto* const bonded = new DistanceMonitor(&root, a, b);
    ASSERT_TRUE(bonded->SetDistance(1.5));
    EXPECT_NEAR(Between(a, b), 1.5, 1e-5);
    EXPECT_EQ(w->GetXYZ(), Point3d(-1, 0, 0));
    EXPECT_NEAR(Between(b, x), 1.0, 1e-5);

    // In a ring only item 0 moves.
    w->MakeBond(x, Bond::Single);
    const Point3d before = b->GetXYZ();
    ASSERT_TRUE(bonded->SetDistance(2.5));
    EXPECT_NEAR(bonded->GetDistance(), 2.5, 1e-5);
    EXPECT_EQ(b->GetXYZ(), before);
    EXPECT_EQ(w->GetXYZ(), Point3d(-1, 0, 0));
}

TEST_F(DistanceMonitorTest, ComputedItemsAreNeverMovedToNoEffect)
{
    TreeRoot root;
    auto* const one = new Molecule(&root);
    Atom3d* const p = AddAtom(one, "C", 0, 0, 0);
    Atom3d* const q = AddAtom(one, "C", 0, 2, 0);
    p->MakeBond(q, Bond::Single);
    auto* const inner = new DistanceMonitor(one, p, q);
    auto* const two = new Molecule(&root);
    Atom3d* const x = AddAtom(two, "O", 5, 1, 0);

    // Item 1 is a monitor (standing at its point, (0, 0.8, 0)): item 0's whole molecule moves along
    // the line.
    auto* const outer = new DistanceMonitor(&root, x, inner);
    EXPECT_NEAR(outer->GetDistance(), Distance(Point3d(5, 1, 0), Point3d(0, 0.8, 0)), 1e-5);
    ASSERT_TRUE(outer->SetDistance(3.0));
    EXPECT_NEAR(outer->GetDistance(), 3.0, 1e-5);
    // Moving item 0's molecule would carry the inner monitor's atoms along: refused.
    x->MakeBond(p, Bond::Single);
    const Point3d at = x->GetXYZ();
    EXPECT_FALSE(outer->SetDistance(4.0));
    EXPECT_EQ(x->GetXYZ(), at);

    // Neither side bonds to anything and item 0 ignores SetXYZ: refused.
    auto* const fixed = new TestPoint(&root, Point3d(0, 0, 9), true);
    auto* const loose = new TestPoint(&root, Point3d(), false);
    auto* const unmovable = new DistanceMonitor(&root, fixed, loose);
    EXPECT_FALSE(unmovable->SetDistance(1.0));
    auto* const movable = new DistanceMonitor(&root, loose, fixed);
    EXPECT_TRUE(movable->SetDistance(1.0));
    EXPECT_TRUE(Near(loose->GetXYZ(), Point3d(0, 0, 8), 1e-6));
}

TEST_F(DistanceMonitorTest, EachRecalculationIsAnnouncedOnceAndOnlyWhenAsked)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    std::vector<DistanceMonitor*> monitors;
    std::vector<Atom3d*> atoms;
    for (int i = 0; i < 20; ++i) {
        atoms.push_back(AddAtom(molecule, "C", i, 0, 0));
        atoms.push_back(AddAtom(molecule, "C", i, 1, 0));
        monitors.push_back(new DistanceMonitor(molecule, atoms[atoms.size() - 2], atoms.back()));
    }
    const RecalculationCounter counter(root);
    for (Atom3d* atom : atoms)
        atom->SetXYZ(atom->GetXYZ() + Point3d(0, 0, 1));
    EXPECT_EQ(counter.Total(), 0);
    EXPECT_TRUE(monitors[0]->NeedsRecalc());
    for (int pass = 0; pass < 2; ++pass) {
        for (DistanceMonitor* monitor : monitors)
            EXPECT_FLOAT_EQ(monitor->GetDistance(), 1.0f);
    }
    for (DistanceMonitor* monitor : monitors)
        EXPECT_EQ(counter.Of(*monitor), 1);
    atoms[0]->SetXYZ(Point3d(0, 3, 0));
    DisplayList3D list;
    root.DisplayAll(list, false);
    EXPECT_EQ(counter.Of(*monitors[0]), 2);
    EXPECT_EQ(counter.Total(), 21);
}

TEST_F(DistanceMonitorTest, AListenerReadingTheValueOnRecalculationSeesItOnce)
{
    TreeRoot root;
    Atom3d* const a = AddAtom(&root, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(&root, "C", 0, 0, 2);
    auto* const monitor = new DistanceMonitor(&root, a, b);
    struct Reader {
        static void Heard(Event& event)
        {
            if (!event.CheckType(GeometryMonitor::classType, GeometryMonitor::EventRecalculated))
                return;
            auto& values = *static_cast<std::vector<float>*>(event.GetData());
            values.push_back(DynCast<DistanceMonitor>(event.GetTreeNode(true))->GetDistance());
        }
    };
    std::vector<float> values;
    root.RegisterEvent(TreeNode::classType, TreeNode::EventTreeWide, &Reader::Heard, true, &values, nullptr);
    EXPECT_FLOAT_EQ(monitor->GetDistance(), 2.0f);
    EXPECT_EQ(values, std::vector<float>{2.0f});
}

TEST_F(DistanceMonitorTest, AMonitorOnAMonitorFollowsTheInnerAtomsAndCyclesEnd)
{
    TreeRoot root;
    Atom3d* const p = AddAtom(&root, "C", 0, 0, 0);
    Atom3d* const q = AddAtom(&root, "C", 0, 2, 0);
    Atom3d* const x = AddAtom(&root, "O", 5, 1, 0);
    auto* const inner = new DistanceMonitor(&root, p, q);
    auto* const outer = new DistanceMonitor(&root, x, inner);
    EXPECT_NEAR(outer->GetDistance(), Distance(Point3d(5, 1, 0), Point3d(0, 0.8, 0)), 1e-5);
    const RecalculationCounter counter(root);
    q->SetXYZ(Point3d(0, 4, 0));
    EXPECT_TRUE(outer->NeedsRecalc());
    // The inner monitor stands 0.2 from the midpoint towards p: now at (0, 1.8, 0).
    EXPECT_NEAR(outer->GetDistance(), Distance(Point3d(5, 1, 0), Point3d(0, 1.8, 0)), 1e-5);
    EXPECT_EQ(counter.Of(*inner), 1);
    EXPECT_EQ(counter.Of(*outer), 1);
    EXPECT_FALSE(outer->NeedsRecalc());

    // A cycle, as only a crafted file makes: each question ends after a few recalculations (each
    // monitor's move marks the other stale again).
    inner->RegisterTreeEvent(outer, Geometric::classType, Geometric::EventMoved, false, nullptr);
    p->SetXYZ(Point3d(0, 1, 0));
    EXPECT_TRUE(inner->NeedsRecalc());
    EXPECT_TRUE(outer->NeedsRecalc());
    EXPECT_NEAR(inner->GetDistance(), 3.0, 1e-5);
    EXPECT_LE(counter.Of(*inner), 3);
    EXPECT_LE(counter.Of(*outer), 3);
    EXPECT_GT(outer->GetDistance(), 0.0f);
    const std::uint32_t outerOID = outer->GetOID();
    delete p;
    EXPECT_FALSE(MonitorSupport::Alive(outerOID));
}
