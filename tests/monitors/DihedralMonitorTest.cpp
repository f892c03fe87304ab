#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

#include <tavrel/chemistry/Bond.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/graphics/AnnotationProperty.h>
#include <tavrel/monitors/DihedralMonitor.h>
#include <tavrel/monitors/RotatableBondMonitor.h>
#include <tavrel/monitors/TorsionMonitor.h>
#include "monitors/MonitorSupport.h"
#include "support/Near.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::Selection;
using Tavrel::test::Near;

namespace Tavrel {

// A dihedral whose arc ends stand where a test puts them.
class WideDihedral : public DihedralMonitor {
    TAVREL_DECLARE_CLASS(WideDihedral, DihedralMonitor)
public:
    using DihedralMonitor::DihedralMonitor;
    Point3d GetEndPoint1() const override { return end1; }
    Point3d GetEndPoint2() const override { return end2; }
    Point3d end1;
    Point3d end2;

protected:
    WideDihedral() = default;
    WideDihedral(const WideDihedral&) = default;
};
TAVREL_IMPLEMENT_CLASS(WideDihedral, ClassKind::Creatable)

} // namespace Tavrel

namespace {

class DihedralMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<WideDihedral>();
    }
};

// Butane, C1-C2-C3-C4, with every hydrogen drawn.
struct Butane {
    explicit Butane(Object* parent) : molecule(new Molecule(parent))
    {
        for (int i = 0; i < 4; ++i) {
            carbons[i] = AddAtom(molecule, "C", 1.5 * i, (i % 2) * 1.0, 0.0);
            if (i > 0)
                carbons[i - 1]->MakeBond(carbons[i], Bond::Single);
        }
        for (int i = 0; i < 4; ++i) {
            for (int h = 0; h < (i == 0 || i == 3 ? 3 : 2); ++h)
                carbons[i]->MakeBond(AddAtom(molecule, "H", 1.5 * i, -1.0, h - 1.0), Bond::Single);
        }
    }
    Molecule* molecule;
    std::array<Atom3d*, 4> carbons{};
};

} // namespace

TEST_F(DihedralMonitorTest, SignsFollowTheRightHandAndTheArcSweepsFromOneEndToTheOther)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 1, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const c = AddAtom(molecule, "C", 0, 0, 1);
    Atom3d* const d = AddAtom(molecule, "C", 0, 1, 1);
    auto* const monitor = new DihedralMonitor(molecule, a, b, c, d);
    EXPECT_NEAR(monitor->GetAngle(), 90.0, 1e-9);
    EXPECT_EQ(monitor->GetPropertyAsString("angle"), "90.0");

    // The figure: from the outer bond to the arc's first end, to the bond's midpoint, the arc, the
    // midpoint to the second end and on to the other outer bond, all 0.5 from the axis.
    DisplayList3D list;
    monitor->Display(list);
    ASSERT_EQ(list.GetSize(), 5u);
    const auto lines = list.GetAll<LinePrimitive>();
    const auto arcs = list.GetAll<ArcPrimitive>();
    ASSERT_EQ(lines.size(), 4u);
    ASSERT_EQ(arcs.size(), 1u);
    EXPECT_TRUE(Near(lines[0]->GetFrom(), Point3d(0.5, 0, 0), 1e-6));
    EXPECT_TRUE(Near(lines[0]->GetTo(), Point3d(0.5, 0, 0.5), 1e-6));
    EXPECT_TRUE(Near(lines[1]->GetTo(), Point3d(0, 0, 0.5), 1e-6));
    EXPECT_TRUE(Near(lines[2]->GetTo(), Point3d(0, 0.5, 0.5), 1e-6));
    EXPECT_TRUE(Near(lines[3]->GetTo(), Point3d(0, 0.5, 1), 1e-6));
    EXPECT_EQ(arcs[0]->GetSegments(), 22);
    EXPECT_TRUE(Near(arcs[0]->GetPoints().back(), monitor->GetEndPoint2(), 1e-5));
    for (const Primitive* primitive : {static_cast<const Primitive*>(lines[0]), static_cast<const Primitive*>(arcs[0])}) {
        EXPECT_EQ(primitive->GetOID(), monitor->GetOID());
        EXPECT_EQ(primitive->GetColor(), Color::Green());
    }
    // The label stands between the arc's ends, seen from item 1, a little beyond the arc.
    EXPECT_TRUE(Near(monitor->GetXYZ(), Point3d(0.55 / std::sqrt(2.0), 0.55 / std::sqrt(2.0), 0), 1e-6));
    auto* const label = DynCast<AnnotationProperty>(monitor->GetAnnotationObject());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->GetPropertyAsString("Movable"), "false");

    // Turned the other way: -90, and the arc turns about the reversed axis to the second end.
    d->SetXYZ(Point3d(0, -1, 1));
    EXPECT_NEAR(monitor->GetAngle(), -90.0, 1e-9);
    EXPECT_EQ(monitor->GetPropertyAsString("Angle"), "-90.0");
    DisplayList3D turned;
    monitor->Display(turned);
    const auto turnedArcs = turned.GetAll<ArcPrimitive>();
    ASSERT_EQ(turnedArcs.size(), 1u);
    EXPECT_TRUE(Near(turnedArcs[0]->GetAxis(), Point3d(0, 0, -1), 1e-6));
    EXPECT_TRUE(Near(turnedArcs[0]->GetPoints().back(), Point3d(0, -0.5, 0.5), 1e-5));

    // The angle cannot be set; it is described as a readable real.
    EXPECT_FALSE(monitor->SetPropertyFromString("angle", "30"));
    EXPECT_NEAR(monitor->GetAngle(), -90.0, 1e-9);
    const ObjectProperty described = monitor->GetPropertyAsObjectProperty("ANGLE");
    EXPECT_EQ(described.GetName(), "Angle");
    EXPECT_EQ(described.GetAccess(), ObjectProperty::AccessReadable);
    ObjectProperty::Array listed;
    monitor->GetProperties(listed);
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed.back().GetName(), "Angle");
}

TEST_F(DihedralMonitorTest, SmallAndSixtyDegreeArcsAndOneDecimalLabels)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 1, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const c = AddAtom(molecule, "C", 0, 0, 1);
    const auto at = [](double degrees) {
        const double radians = degrees * 3.14159265358979323846 / 180.0;
        return Point3d(std::cos(radians), std::sin(radians), 1);
    };
    Atom3d* const d = AddAtom(molecule, "C", 0, 0, 0);
    d->SetXYZ(at(3.0));
    auto* const monitor = new DihedralMonitor(molecule, a, b, c, d);
    const auto segments = [&] {
        DisplayList3D list;
        monitor->Display(list);
        const auto arcs = list.GetAll<ArcPrimitive>();
        return arcs.size() == 1 ? arcs[0]->GetSegments() : -1;
    };
    EXPECT_EQ(monitor->GetAnnotation(), "3.0");
    EXPECT_EQ(segments(), 0);
    d->SetXYZ(at(60.0));
    EXPECT_EQ(segments(), 15);
    EXPECT_EQ(monitor->GetAnnotation(), "60.0");
}

TEST_F(DihedralMonitorTest, AnOuterArmNeverReachesBeyondItsBond)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    // The first outer bond runs almost along the central axis: r / sin(A1) would be some 5000.
    Atom3d* const a = AddAtom(molecule, "C", 1e-4, 0, -1);
    Atom3d* const b = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const c = AddAtom(molecule, "C", 0, 0, 1);
    Atom3d* const d = AddAtom(molecule, "C", 0, 1, 1);
    auto* const monitor = new WideDihedral(molecule, a, b, c, d);
    monitor->end1 = Point3d(0.5, 0, 0.5);
    monitor->end2 = Point3d(0, 0.5, 0.5);
    DisplayList3D list;
    monitor->Display(list);
    const auto lines = list.GetAll<LinePrimitive>();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_LE(Distance(lines[0]->GetFrom(), b->GetXYZ()), Distance(a->GetXYZ(), b->GetXYZ()) + 1e-6);
    EXPECT_TRUE(Near(lines[0]->GetFrom(), a->GetXYZ(), 1e-6));
    EXPECT_TRUE(Near(lines[3]->GetTo(), Point3d(0, 0.5, 1), 1e-6));
}

TEST_F(DihedralMonitorTest, SelectionsWidenABondAndComeInChainOrder)
{
    TreeRoot root;
    const Butane butane(&root);
    const auto& [c1, c2, c3, c4] = butane.carbons;

    // The central bond widens to the carbons, not the hydrogens, and comes out in chain order.
    const OrdCollection bond = Selection({c2->FindBond(c3)});
    ASSERT_TRUE(DihedralMonitor::CanCreate(bond));
    OrdCollection ordered;
    ASSERT_TRUE(DihedralMonitor::ExtractObjects(bond, ordered));
    ASSERT_EQ(ordered.GetSize(), 4);
    EXPECT_EQ(ordered.GetAt(0), c1);
    EXPECT_EQ(ordered.GetAt(1), c2);
    EXPECT_EQ(ordered.GetAt(2), c3);
    EXPECT_EQ(ordered.GetAt(3), c4);
    auto* const fromBond = new TorsionMonitor(butane.molecule, bond);
    EXPECT_EQ(fromBond->GetItem(0), c1);
    EXPECT_EQ(fromBond->GetMeasuredBond(), c2->FindBond(c3));

    // Two bonded atoms widen the same way; four scrambled atoms are put back in chain order.
    EXPECT_TRUE(DihedralMonitor::ExtractObjects(Selection({c2, c3}), ordered));
    EXPECT_EQ(ordered.GetAt(0), c1);
    ASSERT_TRUE(DihedralMonitor::ExtractObjects(Selection({c3, c1, c4, c2}), ordered));
    const std::array<Object*, 4> chain{ordered.GetAt(0), ordered.GetAt(1), ordered.GetAt(2), ordered.GetAt(3)};
    EXPECT_TRUE((chain == std::array<Object*, 4>{c4, c3, c2, c1} || chain == std::array<Object*, 4>{c1, c2, c3, c4}));

    // A bond to a terminal atom, three atoms or five cannot make a dihedral.
    Object* const hydrogen = c1->GetAttached(1);
    EXPECT_FALSE(DihedralMonitor::CanCreate(Selection({c1->FindBond(DynCast<Bondable>(hydrogen))})));
    EXPECT_FALSE(DihedralMonitor::CanCreate(Selection({c1, c2, c3})));
    EXPECT_FALSE(DihedralMonitor::CanCreate(Selection({c1, c2, c3, c4, hydrogen})));
    auto* const refused = new DihedralMonitor(butane.molecule, Selection({c1, c2, c3}));
    EXPECT_EQ(refused->GetNumItemsMonitoring(), 0);
    EXPECT_EQ(refused->GetAngle(), 0.0);
    DisplayList3D nothing;
    refused->Display(nothing);
    EXPECT_TRUE(nothing.IsEmpty());

    EXPECT_EQ(DihedralMonitor::ExtractParent(Selection({c1, c2, c3, c4})), butane.molecule);
    EXPECT_EQ(DihedralMonitor::ExtractParent(Selection({c1, c2, c3})), nullptr);
}

TEST_F(DihedralMonitorTest, RotatableBondsDrawATurningArrowWhateverTheAngle)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 1, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const c = AddAtom(molecule, "C", 0, 0, 1);
    Atom3d* const d = AddAtom(molecule, "C", 0, 1, 1);
    auto* const monitor = new RotatableBondMonitor(molecule, a, b, c, d);
    EXPECT_EQ(monitor->GetCommonName(), "Rotatable Bond");
    EXPECT_STREQ(monitor->GetClassNameA(), "XXRotatableBondMonitor");
    EXPECT_TRUE(monitor->IsA(TorsionMonitor::classType));
    EXPECT_TRUE(monitor->IsA(DihedralMonitor::classType));

    // Drawn even while an item is hidden, and never labelled.
    a->SetInvisible(false);
    DisplayList3D list;
    monitor->Display(list);
    ASSERT_EQ(list.GetSize(), 2u);
    const auto arcs = list.GetAll<ArcPrimitive>();
    const auto cones = list.GetAll<ConePrimitive>();
    ASSERT_EQ(arcs.size(), 1u);
    ASSERT_EQ(cones.size(), 1u);
    EXPECT_EQ(arcs[0]->GetDegrees(), 220.0);
    EXPECT_EQ(arcs[0]->GetSegments(), 55);
    EXPECT_TRUE(Near(arcs[0]->GetAxis(), Point3d(0, 0, 1), 1e-6));
    EXPECT_TRUE(Near(arcs[0]->GetStart(), Point3d(0.5, 0, 0.5), 1e-6));
    EXPECT_EQ(cones[0]->GetRadius(), 0.1);
    EXPECT_TRUE(Near(cones[0]->GetApex(), Point3d(0.5, 0, 0.5), 1e-6));
    EXPECT_TRUE(Near(cones[0]->GetBase(), Point3d(0.5, 0.15, 0.5), 1e-6));
    EXPECT_EQ(monitor->GetAnnotationObject(), nullptr);

    d->SetXYZ(Point3d(0, -1, 1));
    DisplayList3D turned;
    monitor->Display(turned);
    const auto turnedArcs = turned.GetAll<ArcPrimitive>();
    ASSERT_EQ(turnedArcs.size(), 1u);
    EXPECT_TRUE(Near(turnedArcs[0]->GetAxis(), Point3d(0, 0, -1), 1e-6));
    EXPECT_TRUE(Near(turned.GetAll<ConePrimitive>()[0]->GetBase(), Point3d(0.5, -0.15, 0.5), 1e-6));
}

TEST_F(DihedralMonitorTest, TheRecalculatedEventComesAfterTheAngleIsMeasured)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 1, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const c = AddAtom(molecule, "C", 0, 0, 1);
    Atom3d* const d = AddAtom(molecule, "C", 0, 1, 1);
    auto* const monitor = new DihedralMonitor(molecule, a, b, c, d);
    struct Heard {
        DihedralMonitor* monitor;
        std::string text;
    } heard{monitor, {}};
    root.RegisterEvent(TreeNode::classType, TreeNode::EventTreeWide, [](Event& event) {
        if (!event.CheckType(GeometryMonitor::classType, GeometryMonitor::EventRecalculated))
            return;
        auto* const data = static_cast<Heard*>(event.GetData());
        data->text = data->monitor->GetAnnotation();
    }, true, &heard, nullptr);
    EXPECT_NEAR(monitor->GetAngle(), 90.0, 1e-9);
    EXPECT_EQ(heard.text, "90.0");
    root.UnregisterAllEvents(&heard);
}
