#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include <tavrel/chemistry/Bond.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/LineMonitor.h>
#include <tavrel/monitors/NormalMonitor.h>
#include <tavrel/monitors/PlaneMonitor.h>
#include "monitors/MonitorSupport.h"
#include "support/Near.h"
#include "support/RecordStream.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::Selection;
using Tavrel::test::Near;

namespace {

class LinePlaneMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

} // namespace

TEST_F(LinePlaneMonitorTest, TheRodReachesOneBeyondEachEndOfTheFitAndIsDrawnBothWays)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 1, 0.1, 0);
    Atom3d* const c = AddAtom(molecule, "C", 2, -0.1, 0);
    Atom3d* const d = AddAtom(molecule, "C", 3, 0, 0);
    const OrdCollection selection = Selection({a, b, c, d});
    ASSERT_TRUE(LineMonitor::CanCreate(selection));
    auto* const line = new LineMonitor(molecule, selection);

    Point3d fit0;
    Point3d fit1;
    Matrix3x3::BestFittingLine({a->GetXYZ(), b->GetXYZ(), c->GetXYZ(), d->GetXYZ()}, fit0, fit1);
    EXPECT_NEAR(Distance(line->GetP0(), line->GetP1()), Distance(fit0, fit1) + 2.0, 1e-5);
    EXPECT_TRUE(Near(line->GetCenter(), MidPoint(fit0, fit1), 1e-6));
    line->SetXYZ(Point3d(9, 9, 9));
    EXPECT_TRUE(Near(line->GetXYZ(), MidPoint(fit0, fit1), 1e-6));
    // The label stands 0.2 off the line.
    const Point3d offset = line->GetAnnotationXYZ() - line->GetCenter();
    EXPECT_NEAR(offset.Length(), 0.2, 1e-6);
    EXPECT_NEAR(offset.Dot(line->GetP1() - line->GetP0()), 0.0, 1e-5);

    DisplayList3D normal;
    line->Display(normal);
    const auto rods = normal.GetAll<CylinderPrimitive>();
    ASSERT_EQ(rods.size(), 1u);
    EXPECT_EQ(rods[0]->GetRadius(), 0.1);
    EXPECT_EQ(rods[0]->GetFrom(), line->GetP0());
    DisplayList3D fast;
    fast.SetMode(DisplayList3D::fastMode);
    line->Display(fast);
    const auto lines = fast.GetAll<LinePrimitive>();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]->GetTo(), line->GetP1());
    EXPECT_EQ(lines[0]->GetOID(), line->GetOID());

    std::string text = "1";
    EXPECT_TRUE(LineMonitor::SuggestedValue(selection, text));
    EXPECT_EQ(text, "0.5");
    text = "1";
    EXPECT_TRUE(LineMonitor::SuggestedValue(Selection({a, b}), text));
    EXPECT_EQ(text, "1");
    EXPECT_FALSE(LineMonitor::SuggestedValue(Selection({a}), text));
}

TEST_F(LinePlaneMonitorTest, ALineOverABondOrAMoleculeHearsItsAtomsMove)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 2, 0, 0);
    Bond* const bond = a->MakeBond(b, Bond::Single);
    auto* const other = new Molecule(&root);
    Atom3d* const c = AddAtom(other, "C", 0, 4, 0);
    Atom3d* const d = AddAtom(other, "C", 2, 4, 0);
    ASSERT_TRUE(LineMonitor::CanCreate(Selection({bond, other})));
    auto* const line = new LineMonitor(&root, Selection({bond, other}));
    ASSERT_EQ(line->GetNumItemsMonitoring(), 2);
    EXPECT_EQ(line->GetItem(0), bond);
    EXPECT_TRUE(Near(line->GetCenter(), Point3d(1, 2, 0), 1e-6));

    b->SetXYZ(Point3d(4, 0, 0));
    EXPECT_TRUE(line->NeedsRecalc());
    EXPECT_TRUE(Near(line->GetCenter(), Point3d(1.5, 2, 0), 1e-6));
    d->SetXYZ(Point3d(4, 4, 0));
    EXPECT_TRUE(line->NeedsRecalc());
    EXPECT_TRUE(Near(line->GetCenter(), Point3d(2, 2, 0), 1e-6));

    // Still heard after loading, and nothing is left on the atoms once the line goes.
    const auto loaded = RecordStream::LoadAs<TreeRoot>(RecordStream::Save(root));
    ASSERT_NE(loaded, nullptr);
    auto* const back = DynCast<LineMonitor>(loaded->GetChild(2));
    ASSERT_NE(back, nullptr);
    back->GetCenter();
    auto* const loadedB = DynCast<Atom3d>(loaded->GetChild(0)->GetChild(1));
    loadedB->SetXYZ(Point3d(6, 0, 0));
    EXPECT_TRUE(back->NeedsRecalc());
    delete line;
    b->SetXYZ(Point3d(0, 0, 5));
    c->SetXYZ(Point3d(0, 0, 5));
}

TEST_F(LinePlaneMonitorTest, FittedPlanesLieOnTheirPointsAndAreDrawnAsTwoFacedSquares)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 2);
    Atom3d* const b = AddAtom(molecule, "C", 3, 0, 2);
    Atom3d* const c = AddAtom(molecule, "C", 0, 3, 2);
    Atom3d* const d = AddAtom(molecule, "C", 3, 3, 2);
    Bond* const bond = a->MakeBond(b, Bond::Single);
    // A bond gives its two atoms: with a third atom, three points.
    ASSERT_TRUE(PlaneMonitor::CanCreate(Selection({bond, c})));
    EXPECT_FALSE(PlaneMonitor::CanCreate(Selection({bond})));
    std::string text = "1";
    EXPECT_TRUE(PlaneMonitor::SuggestedValue(Selection({bond, c}), text));
    EXPECT_EQ(text, "1");
    EXPECT_TRUE(PlaneMonitor::SuggestedValue(Selection({bond, c, d}), text));
    EXPECT_EQ(text, "0.5");

    auto* const plane = new PlaneMonitor(molecule, Selection({bond, c, d}));
    ASSERT_EQ(plane->GetNumItemsMonitoring(), 4);
    EXPECT_TRUE(Near(plane->GetCenter(), Point3d(1.5, 1.5, 2), 1e-5));
    EXPECT_NEAR(std::fabs(plane->GetNormal().z), 1.0, 1e-6);
    for (const Point3d& corner : {plane->GetP0(), plane->GetP1(), plane->GetP2(), plane->GetP3()})
        EXPECT_NEAR(corner.z, 2.0, 1e-5);
    const Point3d turn = (plane->GetP0() - plane->GetCenter()).Cross(plane->GetP1() - plane->GetCenter());
    EXPECT_GT(turn.Dot(plane->GetNormal()), 0.0);
    plane->SetXYZ(Point3d(9, 9, 9));
    EXPECT_TRUE(Near(plane->GetXYZ(), Point3d(1.5, 1.5, 2), 1e-5));

    DisplayList3D list;
    plane->Display(list);
    const auto meshes = list.GetAll<TriangleMeshPrimitive>();
    ASSERT_EQ(meshes.size(), 1u);
    const auto& vertices = meshes[0]->GetVertices();
    ASSERT_EQ(vertices.size(), 8u);
    const Point3d n = plane->GetNormal();
    EXPECT_EQ(vertices[0].position, plane->GetP0());
    EXPECT_EQ(vertices[0].normal, n);
    EXPECT_EQ(vertices[0].color.GetAlpha(), 127);
    EXPECT_TRUE(Near(vertices[6].position, plane->GetP2() - n * 0.01, 1e-6));
    EXPECT_EQ(vertices[6].normal, -n);
    const auto& triangles = meshes[0]->GetTriangles();
    ASSERT_EQ(triangles.size(), 4u);
    EXPECT_EQ(triangles[2].a, 5);
    EXPECT_EQ(triangles[3].c, 4);
    EXPECT_EQ(meshes[0]->GetOID(), plane->GetOID());

    DisplayList3D fast;
    fast.SetMode(DisplayList3D::fastMode);
    plane->Display(fast);
    const auto sides = fast.GetAll<LinePrimitive>();
    ASSERT_EQ(sides.size(), 6u);
    EXPECT_EQ(sides[3]->GetFrom(), plane->GetP3());
    EXPECT_EQ(sides[4]->GetTo(), plane->GetP2());
}

TEST_F(LinePlaneMonitorTest, TwoObjectPlanesStandPerpendicularToTheirLineWhereverItLies)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    // A at the origin, and then with B along A's direction from the origin: both gave a square of no
    // size when the perpendicular came from A's direction.
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 0, 0, 3);
    auto* const plane = new PlaneMonitor(molecule, a, b);
    const auto expectSquare = [&](const Point3d& from, const Point3d& to) {
        Point3d axis = to - from;
        axis.Normalize();
        EXPECT_TRUE(Near(plane->GetCenter(), from, 1e-5));
        EXPECT_TRUE(Near(plane->GetNormal(), axis, 1e-6));
        for (const Point3d& corner : {plane->GetP0(), plane->GetP1(), plane->GetP2(), plane->GetP3()}) {
            EXPECT_NEAR(Distance(corner, from), 1.0, 1e-5);
            EXPECT_NEAR((corner - from).Dot(axis), 0.0, 1e-5);
        }
        EXPECT_NEAR(Distance(plane->GetP0(), plane->GetP1()), std::sqrt(2.0), 1e-5);
    };
    expectSquare(a->GetXYZ(), b->GetXYZ());
    a->SetXYZ(Point3d(1, 1, 1));
    b->SetXYZ(Point3d(3, 3, 3));
    expectSquare(a->GetXYZ(), b->GetXYZ());

    // Coincident objects: a zero normal, nothing undefined.
    b->SetXYZ(a->GetXYZ());
    EXPECT_EQ(plane->GetNormal(), Point3d::origin);
    EXPECT_TRUE(Near(plane->GetCenter(), Point3d(1, 1, 1), 1e-6));
}

TEST_F(LinePlaneMonitorTest, NormalsStandOnThePlaneAtTheFootOfThePointAndFollowIt)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 4, 0, 0);
    Atom3d* const c = AddAtom(molecule, "C", 0, 4, 0);
    Atom3d* const point = AddAtom(molecule, "O", 1, 1, 5);
    auto* const plane = new PlaneMonitor(molecule, Selection({a, b, c}));
    EXPECT_TRUE(NormalMonitor::CanCreate(Selection({plane, point})));
    EXPECT_TRUE(NormalMonitor::CanCreate(Selection({point, plane})));
    auto* const second = new PlaneMonitor(molecule, Selection({a, b, point}));
    EXPECT_FALSE(NormalMonitor::CanCreate(Selection({plane, second})));
    EXPECT_FALSE(NormalMonitor::CanCreate(Selection({plane, point, a})));

    auto* const normal = new NormalMonitor(molecule, Selection({point, plane}));
    ASSERT_EQ(normal->GetItem(0), plane);
    const Point3d n = plane->GetNormal();
    EXPECT_TRUE(Near(normal->GetNormal(), n, 1e-6));
    EXPECT_TRUE(Near(normal->GetXYZ(), Point3d(1, 1, 0) + n, 1e-5));
    EXPECT_TRUE(Near(normal->GetAnnotationXYZ(), Point3d(1, 1, 0) + n * 1.2, 1e-5));
    normal->SetXYZ(Point3d(9, 9, 9));
    EXPECT_TRUE(Near(normal->GetXYZ(), Point3d(1, 1, 0) + n, 1e-5));

    // A longer, then a negative length: the rod, the tip and the label go with it.
    EXPECT_TRUE(normal->SetPropertyFromString("Length", "2.5 units"));
    EXPECT_EQ(normal->GetPropertyAsString("length"), "2.5");
    EXPECT_FALSE(normal->SetPropertyFromString("Length", "abc"));
    EXPECT_EQ(normal->GetNormalLength(), 2.5f);
    normal->SetNormalLength(-2.0f);
    EXPECT_TRUE(Near(normal->GetXYZ(), Point3d(1, 1, 0) - n * 2.0, 1e-5));
    EXPECT_TRUE(Near(normal->GetAnnotationXYZ(), Point3d(1, 1, 0) - n * 2.2, 1e-5));
    DisplayList3D list;
    normal->Display(list);
    const auto rods = list.GetAll<CylinderPrimitive>();
    const auto balls = list.GetAll<SpherePrimitive>();
    ASSERT_EQ(rods.size(), 1u);
    ASSERT_EQ(balls.size(), 1u);
    EXPECT_TRUE(Near(rods[0]->GetFrom(), Point3d(1, 1, 0), 1e-5));
    EXPECT_EQ(rods[0]->GetTo(), normal->GetXYZ());
    EXPECT_EQ(rods[0]->GetRadius(), 0.1);
    EXPECT_EQ(balls[0]->GetRadius(), 0.2);
    DisplayList3D fast;
    fast.SetMode(DisplayList3D::fastMode);
    normal->Display(fast);
    EXPECT_EQ(fast.GetAll<LinePrimitive>().size(), 1u);
    EXPECT_EQ(fast.GetAll<SpherePrimitive>().size(), 1u);

    // The plane turns: the normal monitor follows once the plane is recomputed.
    c->SetXYZ(Point3d(0, 0, 4));
    EXPECT_TRUE(Near(normal->GetXYZ(), Point3d(1, 0, 5) - plane->GetNormal() * 2.0, 1e-5));

    // The length survives the document file in both forms.
    const auto loaded = RecordStream::LoadAs<TreeRoot>(RecordStream::Save(root));
    ASSERT_NE(loaded, nullptr);
    const auto* const back = DynCast<NormalMonitor>(loaded->GetChild(0)->GetChild(6));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetNormalLength(), -2.0f);
    const auto copy = RecordStream::ArchiveCopy<Molecule>(*molecule);
    ASSERT_NE(copy, nullptr);
    const auto* const copied = DynCast<NormalMonitor>(copy->GetChild(6));
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->GetNormalLength(), -2.0f);
}

TEST_F(LinePlaneMonitorTest, ANormalWhoseFirstItemIsNoPlaneDrawsNothingAlsoAfterLoading)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 4, 0, 0);
    // Without a plane, the point becomes item 0.
    auto* const normal = new NormalMonitor(molecule, nullptr, a);
    normal->RegisterTreeEvent(b, Geometric::classType, Geometric::EventMoved, false, nullptr);
    ASSERT_EQ(normal->GetItem(0), a);
    EXPECT_EQ(normal->GetNormal(), Point3d::origin);
    DisplayList3D list;
    normal->Display(list);
    EXPECT_TRUE(list.IsEmpty());

    const auto loaded = RecordStream::LoadAs<TreeRoot>(RecordStream::Save(root));
    ASSERT_NE(loaded, nullptr);
    auto* const back = DynCast<NormalMonitor>(loaded->GetChild(0)->GetChild(2));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetNormal(), Point3d::origin);
    DisplayList3D again;
    back->Display(again);
    EXPECT_TRUE(again.IsEmpty());
}
