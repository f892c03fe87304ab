#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/SubUnit.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/InternalBase.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/CentroidMonitor.h>
#include <tavrel/platform/Archive.h>
#include "monitors/MonitorSupport.h"
#include "support/Near.h"
#include "support/RecordStream.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::Alive;
using MonitorSupport::Selection;
using Tavrel::test::Near;

namespace {

class CentroidMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

} // namespace

TEST_F(CentroidMonitorTest, TheCentreFollowsItsAtomsAndIsDrawnAsASphereWithItsLabelAbove)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const carbon = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const oxygen = AddAtom(molecule, "O", 4, 0, 0);
    Atom3d* const far = AddAtom(molecule, "C", 0, 6, 0);
    const OrdCollection selection = Selection({carbon, oxygen, far});
    ASSERT_TRUE(CentroidMonitor::CanCreate(selection));
    EXPECT_FALSE(CentroidMonitor::CanCreate(Selection({carbon, molecule})));
    auto* const monitor = new CentroidMonitor(molecule, selection);
    EXPECT_TRUE(Near(monitor->GetCenter(), Point3d(4.0 / 3, 2, 0), 1e-6));
    EXPECT_TRUE(Near(monitor->GetAnnotationXYZ(), Point3d(4.0 / 3, 2, 0.3), 1e-6));

    far->SetXYZ(Point3d(0, 0, 3));
    EXPECT_TRUE(monitor->NeedsRecalc());
    EXPECT_TRUE(Near(monitor->GetXYZ(), Point3d(4.0 / 3, 0, 1), 1e-6));
    // Computed, so the host cannot place it.
    monitor->SetXYZ(Point3d(9, 9, 9));
    EXPECT_TRUE(Near(monitor->GetXYZ(), Point3d(4.0 / 3, 0, 1), 1e-6));

    DisplayList3D list;
    monitor->Display(list);
    const auto spheres = list.GetAll<SpherePrimitive>();
    ASSERT_EQ(spheres.size(), 1u);
    EXPECT_EQ(spheres[0]->GetRadius(), 0.3);
    EXPECT_TRUE(Near(spheres[0]->GetCentre(), Point3d(4.0 / 3, 0, 1), 1e-6));
    EXPECT_EQ(spheres[0]->GetOID(), monitor->GetOID());

    const std::uint32_t oid = monitor->GetOID();
    delete oxygen;
    EXPECT_FALSE(Alive(oid));
}

// A centre among many plain items is brought up to date before the centre it feeds, also once
// entries before it have been removed and dropped.
TEST_F(CentroidMonitorTest, ACentreAmongManyItemsIsUpdatedBeforeTheCentreOfCentres)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const left = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const right = AddAtom(molecule, "C", 2, 0, 0);
    auto* const inner = new CentroidMonitor(molecule, Selection({left, right}));
    std::vector<Object*> items;
    for (int i = 0; i < 30; ++i)
        items.push_back(AddAtom(molecule, "C", 0, 0, 0));
    items.insert(items.begin() + 20, inner);
    OrdCollection selection;
    for (Object* const item : items)
        selection.Add(item);
    auto* const outer = new CentroidMonitor(molecule, selection);
    EXPECT_TRUE(Near(outer->GetXYZ(), Point3d(1.0 / 31, 0, 0), 1e-6));
    for (std::size_t i = 0; i < 10; ++i)
        outer->RemoveMonitoredItem(items[i]);
    right->SetXYZ(Point3d(4, 0, 0));
    EXPECT_TRUE(Near(outer->GetXYZ(), Point3d(2.0 / 21, 0, 0), 1e-6));
}

TEST_F(CentroidMonitorTest, CentresOfMassWeighAtomsOnlyAndFallBackToTheMeanWithoutMass)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const carbon = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const oxygen = AddAtom(molecule, "O", 7, 0, 0);
    auto* const point = new CentroidMonitor(molecule);
    point->SetXYZ(Point3d(0, 30, 0));
    auto* const monitor = new CentroidMonitor(molecule, Selection({carbon, oxygen, point}));
    EXPECT_TRUE(Near(monitor->GetCenter(), Point3d(7.0 / 3, 10, 0), 1e-5));

    ASSERT_TRUE(monitor->SetPropertyFromString("Center of Mass", "TRUE"));
    EXPECT_TRUE(monitor->GetCenterOfMass());
    EXPECT_EQ(monitor->GetPropertyAsString("center of mass"), "True");
    // The free point takes no part; carbon and oxygen by their weights.
    const double x = 7.0 * 16.0 / (16.0 + 12.011);
    EXPECT_TRUE(Near(monitor->GetCenter(), Point3d(x, 0, 0), 1e-4));

    // An element change marks the monitor stale while the centre is mass-weighted.
    oxygen->SetElement("C");
    EXPECT_TRUE(monitor->NeedsRecalc());
    EXPECT_TRUE(Near(monitor->GetCenter(), Point3d(3.5, 0, 0), 1e-5));

    // Atoms of the unknown element weigh nothing: the plain mean of all items, not a division by 0.
    carbon->SetElement(ElementType(0));
    oxygen->SetElement(ElementType(0));
    EXPECT_TRUE(Near(monitor->GetCenter(), Point3d(7.0 / 3, 10, 0), 1e-5));

    // Texts other than true and false in any case, 1 and 0 are refused and change nothing but the
    // staleness.
    for (const char* refused : {"yes", " true", "false ", "01", "1abc", "truex"}) {
        monitor->GetCenter();
        EXPECT_FALSE(monitor->SetPropertyFromString("Center of Mass", refused)) << refused;
        EXPECT_TRUE(monitor->GetCenterOfMass()) << refused;
        EXPECT_TRUE(monitor->NeedsRecalc()) << refused;
    }
    EXPECT_TRUE(monitor->SetPropertyFromString("Center of Mass", "0"));
    EXPECT_FALSE(monitor->GetCenterOfMass());
    monitor->GetCenter();
    oxygen->SetElement("O");
    EXPECT_FALSE(monitor->NeedsRecalc());
    const ObjectProperty described = monitor->GetPropertyAsObjectProperty("Center of Mass");
    EXPECT_EQ(described.GetStringValue(), "False");
    EXPECT_EQ(described.GetAccess(), 3);
    EXPECT_EQ(described.GetPropertyType(), 2);

    // A centre of mass over no atom at all: the mean of what there is.
    auto* const noAtoms = new CentroidMonitor(molecule, Selection({point}));
    noAtoms->SetCenterOfMass(true);
    EXPECT_TRUE(Near(noAtoms->GetCenter(), Point3d(0, 30, 0), 1e-6));
}

TEST_F(CentroidMonitorTest, AFreePointMovesOnlyWhileMovableAndContainersAreNotWatched)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    auto* const residue = new SubUnit(molecule);
    Atom3d* const a = AddAtom(residue, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(residue, "C", 2, 0, 0);
    Bond* const bond = a->MakeBond(b, Bond::Single);

    auto* const free = new CentroidMonitor(&root);
    EXPECT_TRUE(free->GetMovable());
    free->SetXYZ(Point3d(1, 2, 3));
    EXPECT_EQ(free->GetCenter(), Point3d(1, 2, 3));
    free->SetMovable(false);
    free->SetXYZ(Point3d(4, 5, 6));
    EXPECT_EQ(free->GetCenter(), Point3d(1, 2, 3));

    auto* const monitor = new CentroidMonitor(&root, Selection({molecule, residue, bond, a, b}));
    ASSERT_EQ(monitor->GetNumItemsMonitoring(), 2);
    EXPECT_EQ(monitor->GetItem(0), a);
    EXPECT_EQ(monitor->GetItem(1), b);
    std::string text = "kept";
    EXPECT_FALSE(CentroidMonitor::SuggestedValue(Selection({a, b}), text));
    EXPECT_EQ(text, "kept");
}

TEST_F(CentroidMonitorTest, FlagsSurviveBothRecordFormsAndALoadedCentreOfMassHearsElements)
{
    Molecule molecule(nullptr);
    Atom3d* const carbon = AddAtom(&molecule, "C", 0, 0, 0);
    Atom3d* const oxygen = AddAtom(&molecule, "O", 7, 0, 0);
    auto* const monitor = new CentroidMonitor(&molecule, Selection({carbon, oxygen}));
    monitor->SetCenterOfMass(true);
    monitor->SetMovable(false);

    const auto check = [](Molecule* loaded) {
        ASSERT_NE(loaded, nullptr);
        auto* const back = DynCast<CentroidMonitor>(loaded->GetChild(2));
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(back->GetCenterOfMass());
        EXPECT_FALSE(back->GetMovable());
        EXPECT_NEAR(back->GetCenter().x, 7.0 * 16.0 / (16.0 + 12.011), 1e-4);
        DynCast<Atom3d>(loaded->GetChild(1))->SetElement("C");
        EXPECT_TRUE(back->NeedsRecalc());
        EXPECT_NEAR(back->GetCenter().x, 3.5, 1e-5);
    };
    for (auto form : {RecordStream::Form::Plain, RecordStream::Form::Compressed})
        check(RecordStream::LoadAs<Molecule>(RecordStream::Save(molecule, form), form).get());
}

TEST_F(CentroidMonitorTest, ARefusedFrameworkRecordFreesItsAtomsAndTheMonitorThatGoesWithThem)
{
    // Wherever the molecule's record is cut, freeing an atom read before the cut takes the monitor
    // too, which must find no parent that does not list it.
    Molecule molecule(nullptr);
    Atom3d* const carbon = AddAtom(&molecule, "C", 0, 0, 0);
    Atom3d* const oxygen = AddAtom(&molecule, "O", 7, 0, 0);
    new CentroidMonitor(&molecule, Selection({carbon, oxygen}));
    Archive out;
    out.WriteObject(&molecule);
    const std::vector<std::uint8_t>& whole = out.GetBuffer();
    const std::size_t live = CountLiveObjectsForTests();
    for (std::size_t size = 0; size < whole.size(); ++size) {
        Archive in(std::vector<std::uint8_t>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
        EXPECT_THROW(std::unique_ptr<PersistentObject>(in.ReadObject(&Molecule::GetThisClass())), ArchiveException);
        EXPECT_EQ(CountLiveObjectsForTests(), live);
    }
}
