#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <tavrel/chemistry/Bond.h>
#include <tavrel/core/Geometry.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/graphics/AnnotationProperty.h>
#include <tavrel/monitors/AngleMonitor.h>
#include <tavrel/platform/Archive.h>
#include "monitors/MonitorSupport.h"
#include "support/Near.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::BondedPair;
using MonitorSupport::Selection;
using Tavrel::test::Near;

namespace {

class AngleMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

// Water: O at the origin, the hydrogens 0.9572 from it, 104.48 degrees apart.
struct Water {
    explicit Water(Object* parent) : molecule(new Molecule(parent))
    {
        o = AddAtom(molecule, "O", 0, 0, 0);
        h1 = AddAtom(molecule, "H", 0.7572, 0.5865, 0);
        h2 = AddAtom(molecule, "H", -0.7572, 0.5865, 0);
        o->MakeBond(h1, Bond::Single);
        o->MakeBond(h2, Bond::Single);
    }
    Molecule* molecule;
    Atom3d* o;
    Atom3d* h1;
    Atom3d* h2;
};

double AngleAt(const Geometric* first, const Geometric* vertex, const Geometric* second)
{
    return Angle(first->GetXYZ(), vertex->GetXYZ(), second->GetXYZ());
}

} // namespace

TEST_F(AngleMonitorTest, WatersAngleIsMeasuredAtTheOxygenAndDrawnAsAnArc)
{
    TreeRoot root;
    const Water water(&root);
    const OrdCollection selection = Selection({water.o, water.h2, water.h1});
    ASSERT_TRUE(AngleMonitor::CanCreate(selection));
    auto* const monitor = new AngleMonitor(water.molecule, selection);
    ASSERT_EQ(monitor->GetNumItemsMonitoring(), 3);
    EXPECT_EQ(monitor->GetItem(1), water.o);
    EXPECT_EQ(monitor->GetPropertyAsString("angle"), "104.5");
    // The label point: on the bisector, 0.05 beyond the arms' length (0.9578).
    EXPECT_TRUE(Near(monitor->GetXYZ(), Point3d(0, 1.0078, 0), 1e-4));

    DisplayList3D list;
    monitor->DisplayAll(list, false);
    ASSERT_EQ(list.GetSize(), 4u);
    const auto* const arm = PrimitiveCast<LinePrimitive>(list.GetPrimitive(0));
    const auto* const arc = PrimitiveCast<ArcPrimitive>(list.GetPrimitive(1));
    const auto* const other = PrimitiveCast<LinePrimitive>(list.GetPrimitive(2));
    const auto* const text = PrimitiveCast<Text3DPrimitive>(list.GetPrimitive(3));
    ASSERT_TRUE(arm && arc && other && text);
    EXPECT_EQ(arm->GetTo(), Point3d());
    EXPECT_EQ(arc->GetCentre(), Point3d());
    EXPECT_EQ(arc->GetSegments(), 26);
    EXPECT_NEAR(std::fabs(arc->GetDegrees()), 104.48, 0.01);
    EXPECT_TRUE(Near(arc->GetPoints().back(), other->GetTo(), 1e-4));
    EXPECT_EQ(arc->GetOID(), monitor->GetOID());
    EXPECT_EQ(text->GetText(), "104.5");

    // Small angles: 10 degrees take 2 segments, 3 degrees 1.
    for (const auto& [degrees, segments] : {std::pair{10.0, 2}, std::pair{3.0, 1}}) {
        const double radians = degrees * std::acos(-1.0) / 180.0;
        water.h2->SetXYZ(Point3d(std::cos(radians), std::sin(radians), 0));
        water.h1->SetXYZ(Point3d(1, 0, 0));
        DisplayList3D small;
        monitor->Display(small);
        const auto arcs = small.GetAll<ArcPrimitive>();
        ASSERT_EQ(arcs.size(), 1u);
        EXPECT_EQ(arcs[0]->GetSegments(), segments) << degrees;
    }
}

TEST_F(AngleMonitorTest, SelectionsPutTheVertexInTheMiddleAndTheNearerEndFirst)
{
    Molecule molecule(nullptr);
    Atom3d* const a = AddAtom(&molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(&molecule, "C", 1.5, 0, 0);
    Atom3d* const c = AddAtom(&molecule, "C", 1.5, 1.0, 0);
    Atom3d* const d = AddAtom(&molecule, "C", 3, 3, 0);
    a->MakeBond(b, Bond::Single);
    b->MakeBond(c, Bond::Single);
    OrdCollection ordered;
    ASSERT_TRUE(AngleMonitor::ExtractObjects(Selection({a, c, b}), ordered));
    EXPECT_EQ(ordered.GetAt(0), c);
    EXPECT_EQ(ordered.GetAt(1), b);
    EXPECT_EQ(ordered.GetAt(2), a);
    EXPECT_FALSE(AngleMonitor::CanCreate(Selection({a, b, c, d})));
    EXPECT_FALSE(AngleMonitor::CanCreate(Selection({a, b})));
    // A bond and an atom make three objects.
    EXPECT_TRUE(AngleMonitor::CanCreate(Selection({a->FindBond(b), c})));

    // No bonds: the middle selection stays the vertex; ties on distance keep the first end first.
    Atom3d* const e = AddAtom(&molecule, "O", 10, 0, 0);
    Atom3d* const f = AddAtom(&molecule, "O", 11, 0, 0);
    Atom3d* const g = AddAtom(&molecule, "O", 12, 0, 0);
    OrdCollection loose = Selection({e, f, g});
    AngleMonitor::ReorderObjects(loose);
    EXPECT_EQ(loose.GetAt(0), e);
    EXPECT_EQ(loose.GetAt(1), f);
}

TEST_F(AngleMonitorTest, OrientationsChooseTheCornerByNameAndPersist)
{
    ChemDoc document;
    auto* const molecule = new Molecule(document.GetTreeRoot());
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 4, 0, 0);
    Atom3d* const c = AddAtom(molecule, "C", 4, 3, 0);
    auto* const monitor = new AngleMonitor(molecule, a, b, c);
    EXPECT_EQ(monitor->GetPropertyAsString("Angle"), "90.0");
    EXPECT_EQ(monitor->GetPropertyAsString("Orientation"), "First Angle");

    EXPECT_TRUE(monitor->SetPropertyFromString("orientation", "SECOND angle"));
    EXPECT_EQ(monitor->GetMeasuredAngle(), AngleMonitor::SecondAngle);
    EXPECT_EQ(monitor->GetPropertyAsString("Orientation"), "Second Angle");
    EXPECT_NEAR(monitor->GetAngle(), AngleAt(b, c, a), 1e-9);
    EXPECT_TRUE(monitor->SetPropertyFromString("Orientation", "third"));
    EXPECT_NEAR(monitor->GetAngle(), AngleAt(c, a, b), 1e-9);
    // The leading letters choose, in any case; a text that names none chooses the first, and every
    // text is taken.
    const struct {
        const char* text;
        AngleMonitor::Orientation orientation;
    } words[] = {{"secondly", AngleMonitor::SecondAngle}, {"sideways", AngleMonitor::FirstAngle},
                 {"THIRDLY", AngleMonitor::ThirdAngle}, {"", AngleMonitor::FirstAngle},
                 {"Second", AngleMonitor::SecondAngle}, {" third", AngleMonitor::FirstAngle},
                 {"Third Angle", AngleMonitor::ThirdAngle}, {"firs", AngleMonitor::FirstAngle}};
    for (const auto& word : words) {
        monitor->GetAngle();
        EXPECT_TRUE(monitor->SetPropertyFromString("Orientation", word.text)) << word.text;
        EXPECT_EQ(monitor->GetMeasuredAngle(), word.orientation) << word.text;
        EXPECT_TRUE(monitor->NeedsRecalc()) << word.text;
    }
    monitor->SetMeasuredAngle(AngleMonitor::ThirdAngle);
    EXPECT_EQ(monitor->GetPropertyAsString("angle"), "36.9");

    ObjectProperty::Array listed;
    monitor->GetProperties(listed);
    ASSERT_GE(listed.size(), 2u);
    const ObjectProperty& angle = listed[listed.size() - 2];
    const ObjectProperty& orientation = listed.back();
    EXPECT_EQ(angle.GetName(), "Angle");
    EXPECT_EQ(angle.GetType(), "double");
    EXPECT_EQ(orientation.GetName(), "Orientation");
    EXPECT_EQ(orientation.GetStringValue(), "Third Angle");
    EXPECT_EQ(orientation.GetPropertyType(), 1);
    EXPECT_EQ(orientation.GetAllValues(), (std::vector<std::string>{"First Angle", "Second Angle", "Third Angle"}));

    Archive out;
    document.Serialize(out);
    ChemDoc loaded;
    Archive in(out.GetBuffer());
    loaded.Serialize(in);
    const auto* const back = DynCast<AngleMonitor>(loaded.GetTreeRoot()->GetChild(0)->GetChild(3));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetMeasuredAngle(), AngleMonitor::ThirdAngle);
    EXPECT_EQ(back->GetPropertyAsString("angle"), "36.9");
}

TEST_F(AngleMonitorTest, SettingByTextTurnsOneSideAboutTheVertex)
{
    TreeRoot root;
    // a-b bonded; c in a molecule of its own with a partner d.
    const BondedPair one(&root, "C", Point3d(-1.5, 0, 0), "C", Point3d(0, 0, 0));
    const BondedPair two(&root, "O", Point3d(0, 2, 0), "H", Point3d(0, 3, 0));
    Atom3d* const a = one.first;
    Atom3d* const b = one.second;
    Atom3d* const c = two.first;
    Atom3d* const d = two.second;
    auto* const monitor = new AngleMonitor(&root, a, b, c);
    EXPECT_EQ(monitor->GetPropertyAsString("angle"), "90.0");

    for (const char* refused : {"360.5", "-400", "abc", "400 deg"})
        EXPECT_FALSE(monitor->SetPropertyFromString("Angle", refused)) << refused;
    EXPECT_EQ(c->GetXYZ(), Point3d(0, 2, 0));
    EXPECT_TRUE(monitor->SetPropertyFromString("Angle", "120 deg"));
    EXPECT_EQ(monitor->GetPropertyAsString("angle"), "120.0");
    // c's whole molecule turned about b; a stayed.
    EXPECT_EQ(a->GetXYZ(), Point3d(-1.5, 0, 0));
    EXPECT_NEAR(Distance(c->GetXYZ(), d->GetXYZ()), 1.0, 1e-5);
    EXPECT_NEAR(AngleAt(b, c, d), 180.0, 1e-3);
    EXPECT_TRUE(monitor->SetPropertyFromString("Angle", "360"));
    EXPECT_TRUE(monitor->SetPropertyFromString("Angle", "-360"));

    // A move made since the last reading counts: the difference is taken from the present angle.
    c->SetXYZ(Point3d(0, 2, 0));
    d->SetXYZ(Point3d(0, 3, 0));
    ASSERT_TRUE(monitor->SetAngle(100.0));
    EXPECT_NEAR(monitor->GetAngle(), 100.0, 1e-3);

    // Second Angle (at c, between b and a) with a and b in one molecule: any turn of that molecule
    // about c leaves the angle as it is, so nothing moves.
    monitor->SetMeasuredAngle(AngleMonitor::SecondAngle);
    const Point3d at = a->GetXYZ();
    EXPECT_FALSE(monitor->SetAngle(10.0));
    EXPECT_EQ(a->GetXYZ(), at);

    // Collinear items have no plane to turn in.
    auto* const straight = new AngleMonitor(&root, a, b, AddAtom(&root, "C", 1.5, 0, 0));
    EXPECT_FALSE(straight->SetAngle(90.0));
}

TEST_F(AngleMonitorTest, InOneMoleculeTheFarBranchTurnsOrOneAtomMoves)
{
    Molecule molecule(nullptr);
    // A chain a-b-c with a branch c-e, and f bonded to a.
    Atom3d* const a = AddAtom(&molecule, "C", -1.5, 0, 0);
    Atom3d* const b = AddAtom(&molecule, "C", 0, 0, 0);
    Atom3d* const c = AddAtom(&molecule, "C", 0, 1.5, 0);
    Atom3d* const e = AddAtom(&molecule, "C", 0, 3, 0);
    Atom3d* const f = AddAtom(&molecule, "C", -1.5, -1.5, 0);
    a->MakeBond(b, Bond::Single);
    b->MakeBond(c, Bond::Single);
    c->MakeBond(e, Bond::Single);
    a->MakeBond(f, Bond::Single);
    auto* const monitor = new AngleMonitor(&molecule, a, b, c);
    ASSERT_TRUE(monitor->SetAngle(135.0));
    EXPECT_NEAR(monitor->GetAngle(), 135.0, 1e-3);
    EXPECT_EQ(a->GetXYZ(), Point3d(-1.5, 0, 0));
    EXPECT_EQ(f->GetXYZ(), Point3d(-1.5, -1.5, 0));
    EXPECT_NEAR(AngleAt(b, c, e), 180.0, 1e-3);

    // Closing the ring a-b-c-e-f: only c moves.
    e->MakeBond(f, Bond::Single);
    const Point3d eAt = e->GetXYZ();
    ASSERT_TRUE(monitor->SetAngle(100.0));
    EXPECT_NEAR(monitor->GetAngle(), 100.0, 1e-3);
    EXPECT_EQ(e->GetXYZ(), eAt);

    // Third Angle (at a) and Second Angle (at c) move one end alone too.
    monitor->SetMeasuredAngle(AngleMonitor::ThirdAngle);
    ASSERT_TRUE(monitor->SetAngle(50.0));
    EXPECT_NEAR(monitor->GetAngle(), 50.0, 1e-3);
    monitor->SetMeasuredAngle(AngleMonitor::SecondAngle);
    ASSERT_TRUE(monitor->SetAngle(40.0));
    EXPECT_NEAR(monitor->GetAngle(), 40.0, 1e-3);
    EXPECT_EQ(e->GetXYZ(), eAt);
}

TEST_F(AngleMonitorTest, ItemsConnectedOnlyAcrossTheEndsMoveNothing)
{
    Molecule molecule(nullptr);
    Atom3d* const a = AddAtom(&molecule, "C", 1, 0, 0);
    Atom3d* const b = AddAtom(&molecule, "C", 0, 0, 0);
    Atom3d* const c = AddAtom(&molecule, "C", 0, 1, 0);
    a->MakeBond(c, Bond::Single);
    auto* const monitor = new AngleMonitor(&molecule, a, b, c);
    EXPECT_FALSE(monitor->SetAngle(120.0));
    EXPECT_EQ(monitor->GetPropertyAsString("angle"), "90.0");
    // Too few distinct items: 0, nothing drawn, nothing set.
    auto* const repeated = new AngleMonitor(&molecule, a, b, a);
    EXPECT_EQ(repeated->GetAngle(), 0.0);
    EXPECT_FALSE(repeated->SetAngle(30.0));
    DisplayList3D list;
    repeated->Display(list);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(AngleMonitor(&molecule, a, nullptr, c).GetNumItemsMonitoring(), 0);
}

// A monitor among its own items would place itself from its own position: it measures nothing, and
// so keeps its place through save and load.
TEST_F(AngleMonitorTest, AMonitorAmongItsOwnItemsMeasuresNothingAndStaysPut)
{
    ChemDoc document;
    auto* const molecule = new Molecule(document.GetTreeRoot());
    Atom3d* const a = AddAtom(molecule, "C", 1, 0, 0);
    Atom3d* const c = AddAtom(molecule, "C", -1, 0, 0);
    auto* const monitor = new AngleMonitor(molecule, nullptr, nullptr, nullptr);
    for (Object* item : std::initializer_list<Object*>{a, monitor, c})
        monitor->AddMonitoredItem(item);
    EXPECT_EQ(monitor->GetAngle(), 0.0);

    Archive out;
    document.Serialize(out);
    ChemDoc loaded;
    Archive in(out.GetBuffer());
    loaded.Serialize(in);
    const auto* const back = DynCast<AngleMonitor>(loaded.GetTreeRoot()->GetChild(0)->GetChild(2));
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->GetNumItemsMonitoring(), 3);
    EXPECT_EQ(back->GetItem(1), back);
    EXPECT_EQ(back->GetAngle(), 0.0);
    EXPECT_EQ(back->GetXYZ(), monitor->GetXYZ());
}
