#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include <tavrel/chemistry/GasteigerCharge.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/DipoleMomentMonitor.h>
#include <tavrel/monitors/DistanceMonitor.h>
#include "monitors/MonitorSupport.h"
#include "support/Near.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::Alive;
using Tavrel::test::Near;

namespace {

class DipoleMomentMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

// Formaldehyde in the xy plane, its oxygen along +x.
struct Formaldehyde {
    explicit Formaldehyde(Object* parent)
        : molecule(new Molecule(parent)), carbon(AddAtom(molecule, "C", 0, 0, 0)),
          oxygen(AddAtom(molecule, "O", 1.21, 0, 0)), first(AddAtom(molecule, "H", -0.55, 0.94, 0)),
          second(AddAtom(molecule, "H", -0.55, -0.94, 0))
    {
        carbon->MakeBond(oxygen, Bond::Double);
        carbon->MakeBond(first, Bond::Single);
        carbon->MakeBond(second, Bond::Single);
    }
    Molecule* molecule;
    Atom3d* carbon;
    Atom3d* oxygen;
    Atom3d* first;
    Atom3d* second;
};

} // namespace

TEST_F(DipoleMomentMonitorTest, TheDipoleComesFromFreshGasteigerChargesAndPointsFromMinusToPlus)
{
    TreeRoot root;
    const Formaldehyde molecule(&root);
    for (Atom3d* atom : {molecule.carbon, molecule.oxygen, molecule.first, molecule.second})
        atom->SetCharge(0.0);
    auto* const monitor = new DipoleMomentMonitor(molecule.molecule);
    EXPECT_EQ(monitor->GetMagnitude(), 0.0f);
    EXPECT_EQ(monitor->GetPropertyAsString("Magnitude"), "0.000");
    EXPECT_TRUE(monitor->NeedsRecalc());

    DisplayList3D list;
    monitor->Display(list);
    // The display wrote the charges of a new calculation to the atoms.
    const GasteigerCharge charges(molecule.molecule, false);
    double weighted[3] = {0, 0, 0};
    double weight = 0.0;
    for (Atom3d* atom : {molecule.carbon, molecule.oxygen, molecule.first, molecule.second}) {
        EXPECT_NEAR(atom->GetCharge(), charges.GetCharge(atom), 1e-6);
        const double q = std::abs(atom->GetCharge());
        weighted[0] += atom->GetXYZ().x * q;
        weighted[1] += atom->GetXYZ().y * q;
        weight += q;
    }
    ASSERT_LT(molecule.oxygen->GetCharge(), 0.0);
    const Point3d centre(weighted[0] / weight, weighted[1] / weight, 0);
    Point3d dipole;
    for (Atom3d* atom : {molecule.carbon, molecule.oxygen, molecule.first, molecule.second})
        dipole += (atom->GetXYZ() - centre) * atom->GetCharge();
    dipole *= DipoleMomentMonitor::Debye;
    EXPECT_TRUE(Near(monitor->GetCentre(), centre, 1e-5));
    EXPECT_TRUE(Near(monitor->GetDipole(), dipole, 1e-4));
    EXPECT_NEAR(monitor->GetMagnitude(), dipole.Length(), 1e-4);
    EXPECT_EQ(monitor->GetPropertyAsString("magnitude"), StringUtils::Format("%.3f", dipole.Length()));
    // The positive side is the hydrogens' (-x): the arrow points to the oxygen.
    EXPECT_LT(monitor->GetDipole().x, 0.0f);

    const auto spheres = list.GetAll<SpherePrimitive>();
    const auto cones = list.GetAll<ConePrimitive>();
    const auto rods = list.GetAll<CylinderPrimitive>();
    ASSERT_TRUE(spheres.size() == 1 && cones.size() == 1 && rods.size() == 1);
    EXPECT_TRUE(Near(spheres[0]->GetCentre(), centre, 1e-5));
    EXPECT_TRUE(Near(cones[0]->GetApex(), centre - dipole, 1e-4));
    EXPECT_TRUE(Near(cones[0]->GetBase(), centre - 0.8 * dipole, 1e-4));
    EXPECT_EQ(cones[0]->GetRadius(), 0.2);
    EXPECT_TRUE(Near(rods[0]->GetTo(), cones[0]->GetBase(), 1e-6));
    EXPECT_EQ(monitor->GetAnnotationXYZ(), monitor->GetCentre() + Point3d(0, 0, 0.25));

    EXPECT_FALSE(monitor->SetPropertyFromString("Magnitude", "3"));
    EXPECT_FALSE(monitor->SetPropertyFromString("Dipole", "1 2 3"));
    EXPECT_FALSE(monitor->SetPropertyFromString("", "1"));
    EXPECT_FALSE(monitor->HasProperty("Dipole"));
    EXPECT_EQ(monitor->GetPropertyAsObjectProperty("Dipole").GetAccess(), ObjectProperty::AccessReadable);

    // Moving an atom marks the monitor; its values wait for the next display.
    molecule.oxygen->SetXYZ(Point3d(2.0, 0, 0));
    EXPECT_TRUE(monitor->NeedsRecalc());
    EXPECT_NEAR(monitor->GetMagnitude(), dipole.Length(), 1e-4);
}

TEST_F(DipoleMomentMonitorTest, ReadingItsPositionOrMeasuringItLeavesTheChargesAsTheyAre)
{
    // Only a display calculates, and a calculation rewrites every charge of the molecule.
    TreeRoot root;
    const Formaldehyde molecule(&root);
    molecule.oxygen->SetCharge(-0.25);
    auto* const monitor = new DipoleMomentMonitor(molecule.molecule);
    monitor->SetXYZ(Point3d(3.0, 4.0, 0.0));
    EXPECT_EQ(monitor->GetPropertyAsString("XYZ"), "3.0000 4.0000 0.0000");
    auto* const distance = new DistanceMonitor(&root, monitor, molecule.carbon);
    EXPECT_FLOAT_EQ(distance->GetDistance(), 5.0f);
    EXPECT_FALSE(distance->NeedsRecalc());
    EXPECT_EQ(molecule.oxygen->GetCharge(), -0.25);
    EXPECT_EQ(molecule.carbon->GetCharge(), 0.0);
    EXPECT_TRUE(monitor->NeedsRecalc());

    DisplayList3D list;
    monitor->Display(list);
    EXPECT_NE(molecule.oxygen->GetCharge(), -0.25);
    EXPECT_EQ(monitor->GetXYZ(), Point3d(3.0, 4.0, 0.0));
}

TEST_F(DipoleMomentMonitorTest, UnchargedAndEmptiedMoleculesKeepTheirMonitor)
{
    TreeRoot root;
    auto* const hydrogen = new Molecule(&root);
    Atom3d* const a = AddAtom(hydrogen, "H", 0, 0, 0);
    Atom3d* const b = AddAtom(hydrogen, "H", 0.74, 0, 0);
    a->MakeBond(b, Bond::Single);
    auto* const monitor = new DipoleMomentMonitor(hydrogen);
    EXPECT_TRUE(DipoleMomentMonitor::CanCreate([&] {
        OrdCollection selection;
        selection.Add(a);
        selection.Add(b);
        return selection;
    }()));
    DisplayList3D list;
    monitor->Display(list);
    EXPECT_EQ(monitor->GetMagnitude(), 0.0f);
    EXPECT_TRUE(Near(monitor->GetCentre(), Point3d(0.37, 0, 0), 1e-6));

    const std::uint32_t oid = monitor->GetOID();
    delete a;
    delete b;
    EXPECT_TRUE(Alive(oid));
    EXPECT_EQ(monitor->GetNumItemsMonitoring(), 0);
    monitor->Display(list);
    EXPECT_EQ(monitor->GetMagnitude(), 0.0f);
}
