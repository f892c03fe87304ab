#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/chemistry/Bond.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/RuntimeMap.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/graphics/AnnotationProperty.h>
#include <tavrel/monitors/DistanceMonitor.h>
#include <tavrel/monitors/Monitor.h>
#include <tavrel/monitors/Surface.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ArchiveException.h>
#include "monitors/MonitorSupport.h"
#include "support/RecordStream.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::Alive;

namespace {

// A monitor that counts what reaches Update and may stay when it loses an item.
class ProbeMonitor : public Monitor {
    TAVREL_DECLARE_CLASS(ProbeMonitor, Monitor)
public:
    ProbeMonitor(Object* parent, bool stays) : Monitor(parent), m_stays(stays) {}
    void Update(Event&) override { ++updates; }
    bool ShouldDeleteMonitor() const override { return !m_stays; }
    bool AllDisplayed() const { return CheckAllObjects(static_cast<ItemPredicate>(&Object::CheckDisplayed)); }
    bool AnyDisplayed() const { return CheckAnyObject(static_cast<ItemPredicate>(&Object::CheckDisplayed)); }
    std::vector<Object*> Items() const
    {
        std::vector<Object*> items;
        for (int i = 0; i < GetNumItemsMonitoring(); ++i)
            items.push_back(GetItem(i));
        return items;
    }

    int updates = 0;

protected:
    ProbeMonitor() = default;
    ProbeMonitor(const ProbeMonitor&) = default;

private:
    bool m_stays = false;
};
TAVREL_IMPLEMENT_CLASS(ProbeMonitor, ClassKind::Creatable)

// A surface kind this build cannot create, as one stored by a newer build would be.
class FutureSurface : public Surface {
    TAVREL_DECLARE_CLASS(FutureSurface, Surface)
public:
    static FutureSurface* Make() { return ClassAccess::New<FutureSurface>(); }

protected:
    FutureSurface() = default;
    FutureSurface(const FutureSurface&) = default;
};
TAVREL_IMPLEMENT_CLASS(FutureSurface, ClassKind::DynamicOnly)

class MonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<ProbeMonitor>();
        ClassRegistry::Register<FutureSurface>();
    }
};

// The distance between the first two atoms of a loaded molecule, through its first distance monitor.
const DistanceMonitor* FirstDistanceMonitor(const Object& top)
{
    for (int i = 0; i < top.GetNumChildren(); ++i) {
        if (const auto* const monitor = DynCast<DistanceMonitor>(top.GetChild(i)))
            return monitor;
    }
    return nullptr;
}

} // namespace

TEST_F(MonitorTest, DeletingAnItemDeletesTheMonitorWithItsLabelAndLeavesNoRegistrationBehind)
{
    Molecule molecule(nullptr);
    Atom3d* const a = AddAtom(&molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(&molecule, "C", 1, 0, 0);
    auto* const monitor = new DistanceMonitor(&molecule, a, b);
    DisplayList3D list;
    monitor->Display(list);
    ASSERT_NE(monitor->GetAnnotationObject(), nullptr);
    const std::uint32_t monitorOID = monitor->GetOID();
    const std::uint32_t labelOID = monitor->GetAnnotationObject()->GetOID();

    delete a;
    EXPECT_FALSE(Alive(monitorOID));
    EXPECT_FALSE(Alive(labelOID));
    // A registration left on b would call back into the freed monitor (caught by the sanitizer).
    b->SetXYZ(Point3d(2, 0, 0));
    b->SetLabel("B");
    delete b;
    EXPECT_EQ(molecule.GetNumChildren(), 0);
}

TEST_F(MonitorTest, AnObjectListedTwiceKeepsItsRegistrationsUntilItsLastEntryGoes)
{
    Molecule molecule(nullptr);
    Atom3d* const a = AddAtom(&molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(&molecule, "C", 1, 0, 0);
    auto* const probe = new ProbeMonitor(&molecule, true);
    probe->AddMonitoredItem(a);
    probe->AddMonitoredItem(a);
    probe->RegisterTreeEvent(b, Object::classType, Object::EventLabelSet, false, nullptr);
    probe->RegisterTreeEvent(a, Object::classType, Object::EventLabelSet, false, nullptr);
    EXPECT_EQ(probe->Items(), (std::vector<Object*>{a, a, b}));

    probe->RemoveMonitoredItem(a);
    a->SetLabel("still watched");
    EXPECT_EQ(probe->updates, 1);
    EXPECT_EQ(probe->Items(), (std::vector<Object*>{a, b}));
    probe->RemoveMonitoredItem(a);
    a->SetLabel("no longer watched");
    EXPECT_EQ(probe->updates, 1);
    probe->RemoveMonitoredItem(a);
    probe->RemoveMonitoredItem(nullptr);
    EXPECT_EQ(probe->Items(), (std::vector<Object*>{b}));
    // Deleting a former item reaches nothing; deleting an item removes it, and a staying monitor hears it.
    delete a;
    EXPECT_EQ(probe->updates, 1);
    delete b;
    EXPECT_EQ(probe->updates, 2);
    EXPECT_EQ(probe->GetNumItemsMonitoring(), 0);

    // A deleting monitor still on an object listed twice goes with it.
    Atom3d* const c = AddAtom(&molecule, "C", 0, 0, 0);
    auto* const deleting = new ProbeMonitor(&molecule, false);
    const std::uint32_t oid = deleting->GetOID();
    deleting->AddMonitoredItem(c);
    deleting->AddMonitoredItem(c);
    deleting->RemoveMonitoredItem(c);
    delete c;
    EXPECT_FALSE(Alive(oid));
}

TEST_F(MonitorTest, LongItemListsKeepTheirOrderThroughRemovalsAndDeletions)
{
    Molecule molecule(nullptr);
    std::vector<Atom3d*> atoms;
    for (int i = 0; i < 40; ++i)
        atoms.push_back(AddAtom(&molecule, "C", i, 0, 0));
    auto* const probe = new ProbeMonitor(&molecule, true);
    std::vector<Object*> expected;
    for (int round = 0; round < 2; ++round) {
        for (Atom3d* atom : atoms) {
            probe->AddMonitoredItem(atom);
            expected.push_back(atom);
        }
    }
    // The first entry of each of the first ten atoms goes; then every entry of atoms 30 to 39.
    for (std::size_t i = 0; i < 10; ++i) {
        probe->RemoveMonitoredItem(atoms[i]);
        expected.erase(std::find(expected.begin(), expected.end(), atoms[i]));
    }
    for (std::size_t i = 30; i < 40; ++i) {
        std::erase(expected, atoms[i]);
        delete atoms[i];
    }
    // RegisterTreeEvent appends only what is not yet an item.
    probe->RegisterTreeEvent(atoms[0], Geometric::classType, Geometric::EventMoved, false, nullptr);
    probe->RegisterTreeEvent(atoms[29], Geometric::classType, Geometric::EventMoved, false, nullptr);
    EXPECT_EQ(probe->Items(), expected);
    EXPECT_EQ(probe->GetItems(0), expected);
    EXPECT_EQ(probe->GetItems(5), std::vector<Object*>(expected.begin() + 5, expected.end()));
    EXPECT_TRUE(probe->GetItems(static_cast<int>(expected.size()) + 1).empty());
    EXPECT_EQ(probe->updates, 10);
    atoms[0]->SetXYZ(Point3d(0, 1, 0));
    EXPECT_EQ(probe->updates, 11);
}

TEST_F(MonitorTest, ObjectsTextAndItemChecks)
{
    Molecule molecule(nullptr);
    Atom3d* const a = AddAtom(&molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(&molecule, "C", 1, 0, 0);
    auto* const probe = new ProbeMonitor(&molecule, true);
    EXPECT_EQ(probe->GetPropertyAsString("Objects"), "");
    EXPECT_TRUE(probe->AllDisplayed());
    EXPECT_FALSE(probe->AnyDisplayed());
    EXPECT_EQ(probe->GetDisplayStyle(), 1);

    OrdCollection selection;
    selection.Add(a);
    selection.Add(nullptr);
    selection.Add(b);
    auto* const monitor = new ProbeMonitor(&molecule, true);
    monitor->AddMonitoredItem(a);
    monitor->AddMonitoredItem(b);
    EXPECT_EQ(monitor->GetPropertyAsString("objects"), a->GetInvariant() + " " + b->GetInvariant() + " ");
    EXPECT_FALSE(monitor->SetPropertyFromString("Objects", "/0/"));
    ObjectProperty::Array listed;
    monitor->GetProperties(listed);
    for (const ObjectProperty& property : listed)
        EXPECT_NE(property.GetName(), "Objects");
    EXPECT_EQ(monitor->GetItem(-1), nullptr);
    EXPECT_EQ(monitor->GetItem(2), nullptr);
    b->SetInvisible(false);
    EXPECT_FALSE(monitor->AllDisplayed());
    EXPECT_TRUE(monitor->AnyDisplayed());

    const Monitor fromSelection(&molecule, selection);
    EXPECT_EQ(fromSelection.GetNumItemsMonitoring(), 2);
    Object* const listedObjects[] = {b, nullptr, a};
    const Monitor fromArray(nullptr, listedObjects);
    EXPECT_EQ(fromArray.GetItem(0), b);
    EXPECT_EQ(fromArray.GetItem(1), a);
}

TEST_F(MonitorTest, CopiesTakeOnlyMonitorsWhoseItemsLieInsideTheCopiedSubtree)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 3, 4, 0);
    auto* const inside = new DistanceMonitor(molecule, a, b);
    DisplayList3D list;
    inside->Display(list);
    auto* const other = new Molecule(&root);
    Atom3d* const far = AddAtom(other, "O", 0, 0, 10);
    new DistanceMonitor(molecule, a, far);

    const std::unique_ptr<Object> copy(molecule->TreeCopy());
    ASSERT_NE(copy, nullptr);
    // Two atoms, the monitor inside with its label; the monitor reaching out is left out, and
    // nothing of the other molecule came along.
    ASSERT_EQ(copy->GetNumChildren(), 3);
    const DistanceMonitor* const copied = FirstDistanceMonitor(*copy);
    ASSERT_NE(copied, nullptr);
    auto* const a2 = DynCast<Atom3d>(copied->GetItem(0));
    auto* const b2 = DynCast<Atom3d>(copied->GetItem(1));
    ASSERT_TRUE(a2 && b2);
    EXPECT_EQ(a2->GetParent(), copy.get());
    EXPECT_EQ(b2->GetParent(), copy.get());
    EXPECT_FLOAT_EQ(copied->GetDistance(), 5.0f);
    EXPECT_EQ(copied->GetNumChildren(), 1);
    b2->SetXYZ(Point3d(0, 2, 0));
    EXPECT_FLOAT_EQ(copied->GetDistance(), 2.0f);
    EXPECT_FLOAT_EQ(inside->GetDistance(), 5.0f);
    const std::uint32_t copiedOID = copied->GetOID();
    delete a2;
    EXPECT_FALSE(Alive(copiedOID));
    EXPECT_EQ(other->GetNumChildren(), 1);

    // A monitor copied by itself yields nothing.
    EXPECT_EQ(inside->TreeCopy(), nullptr);
}

TEST_F(MonitorTest, MonitorsSurviveTheDocumentFileAlsoWhenListedBeforeTheirAtoms)
{
    ChemDoc document;
    auto* const molecule = new Molecule(document.GetTreeRoot());
    // The monitor is the molecule's first child: its record names atoms not yet written.
    auto* const monitor = new DistanceMonitor(molecule, nullptr, nullptr);
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 0, 0, 2);
    monitor->RegisterTreeEvent(a, Geometric::classType, Geometric::EventMoved, false, nullptr);
    monitor->RegisterTreeEvent(b, Geometric::classType, Geometric::EventMoved, false, nullptr);
    DisplayList3D list;
    document.Display(list, false);
    ASSERT_NE(monitor->GetAnnotationObject(), nullptr);

    Archive out;
    document.Serialize(out);
    ChemDoc loaded;
    Archive in(out.GetBuffer());
    loaded.Serialize(in);

    Object* const top = loaded.GetTreeRoot()->GetChild(0);
    ASSERT_NE(top, nullptr);
    ASSERT_EQ(top->GetNumChildren(), 3);
    const auto* const back = DynCast<DistanceMonitor>(top->GetChild(0));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetItem(0), top->GetChild(1));
    EXPECT_EQ(back->GetItem(1), top->GetChild(2));
    EXPECT_EQ(back->GetPropertyAsString("Distance"), "2.00");
    // One label, kept from the file; movement and deletion are watched again.
    DisplayList3D again;
    loaded.Display(again, false);
    EXPECT_EQ(back->GetNumChildren(), 1);
    DynCast<Atom3d>(top->GetChild(2))->SetXYZ(Point3d(0, 0, 3));
    EXPECT_EQ(back->GetPropertyAsString("Distance"), "3.00");
    const std::uint32_t oid = back->GetOID();
    delete top->GetChild(1);
    EXPECT_FALSE(Alive(oid));
}

TEST_F(MonitorTest, ItemsSurviveBothRecordFormsAndEmptySlotsKeepTheirPlaces)
{
    Molecule molecule(nullptr);
    Atom3d* const a = AddAtom(&molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(&molecule, "N", 1, 0, 0);
    Atom3d* const gone = AddAtom(&molecule, "O", 2, 0, 0);
    // The monitor comes first, so its record names the atoms before theirs.
    auto* const monitor = new Monitor(&molecule);
    monitor->SetParentAt(&molecule, 0);
    for (Object* item : {static_cast<Object*>(a), static_cast<Object*>(gone), static_cast<Object*>(b),
                         static_cast<Object*>(a)})
        monitor->AddMonitoredItem(item);
    // Deleted while events are off, an item is never heard of: it reads as an empty slot.
    Base::SetEventNotify(false);
    delete gone;
    Base::SetEventNotify(true);
    ASSERT_EQ(monitor->GetNumItemsMonitoring(), 4);
    EXPECT_EQ(monitor->GetItem(1), nullptr);
    EXPECT_EQ(monitor->GetItems(1), (std::vector<Object*>{nullptr, b, a}));

    const auto expectItems = [](const Molecule* loaded) {
        ASSERT_NE(loaded, nullptr);
        ASSERT_EQ(loaded->GetNumChildren(), 3);
        const auto* const back = DynCast<Monitor>(loaded->GetChild(0));
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->GetNumItemsMonitoring(), 4);
        EXPECT_EQ(back->GetItem(0), loaded->GetChild(1));
        EXPECT_EQ(back->GetItem(1), nullptr);
        EXPECT_EQ(back->GetItem(2), loaded->GetChild(2));
        EXPECT_EQ(back->GetItem(3), loaded->GetChild(1));
        const std::uint32_t oid = back->GetOID();
        delete loaded->GetChild(2);
        EXPECT_FALSE(Alive(oid));
    };
    for (auto form : {RecordStream::Form::Plain, RecordStream::Form::Compressed})
        expectItems(RecordStream::LoadAs<Molecule>(RecordStream::Save(molecule, form), form).get());
    Archive out;
    out.WriteObject(&molecule);
    Archive in(out.GetBuffer());
    const std::unique_ptr<PersistentObject> read(in.ReadObject(&Molecule::GetThisClass()));
    expectItems(DynCast<Molecule>(static_cast<Base*>(read.get())));
}

TEST_F(MonitorTest, TheFrameworkRecordIsObjectsPartThenTheItemArray)
{
    Molecule molecule(nullptr);
    Atom3d* const a = AddAtom(&molecule, "C", 0, 0, 0);
    Object* const items[] = {a, nullptr};
    Monitor monitor(nullptr, std::span<Object* const>(items));
    monitor.SetXYZ(Point3d(7, 8, 9));
    monitor.SetLabel("m");

    Archive record;
    monitor.Serialize(record);
    Archive expected;
    monitor.Object::Serialize(expected);
    expected.WriteCount(1);
    expected.WriteObject(a);
    EXPECT_EQ(record.GetBuffer(), expected.GetBuffer());

    // An array with a null slot, read back: the slot stays, the item is watched, the position is not
    // in the record.
    Archive stored;
    monitor.Object::Serialize(stored);
    stored.WriteCount(2);
    stored.WriteObject(nullptr);
    stored.WriteObject(a);
    Archive in(stored.GetBuffer());
    std::unique_ptr<Monitor> loaded(static_cast<Monitor*>(RuntimeMap::CreateObject("Monitor")));
    loaded->Serialize(in);
    EXPECT_EQ(loaded->GetLabel(), "m");
    EXPECT_EQ(loaded->GetXYZ(), Point3d());
    ASSERT_EQ(loaded->GetNumItemsMonitoring(), 2);
    EXPECT_EQ(loaded->GetItem(0), nullptr);
    Object* const readAtom = loaded->GetItem(1);
    ASSERT_TRUE(IsA<Atom3d>(readAtom));
    // The read atom belongs to no tree; deleting it takes the monitor along.
    const std::uint32_t oid = loaded.release()->GetOID();
    delete readAtom;
    EXPECT_FALSE(Alive(oid));
}

TEST_F(MonitorTest, SurfacesAreMonitorsNeverCreatedByNameAndLoadAsTheirNearestCreatableBase)
{
    EXPECT_NE(Surface::classType, 0u);
    EXPECT_EQ(Base::FindClassType("surface"), Surface::classType);
    EXPECT_EQ(RuntimeMap::CreateObject("Surface"), nullptr);
    EXPECT_FALSE(Surface::GetThisClass().IsSerializable());

    std::unique_ptr<FutureSurface> surface(FutureSurface::Make());
    EXPECT_TRUE(IsA<Monitor>(surface.get()));
    EXPECT_EQ(surface->GetDisplayStyle(), 1);
    surface->SetXYZ(Point3d(1.0, 2.0, 3.0));
    surface->SetLabel("mesh");
    const std::unique_ptr<Monitor> loaded = RecordStream::LoadAs<Monitor>(RecordStream::Save(*surface));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetClassType(), Monitor::classType);
    EXPECT_EQ(loaded->GetXYZ(), Point3d(1.0, 2.0, 3.0));
    EXPECT_EQ(loaded->GetLabel(), "mesh");

    Archive out;
    try {
        out.WriteObject(surface.get());
        FAIL() << "a surface was written to the framework archive";
    } catch (const ArchiveException& error) {
        EXPECT_EQ(error.GetCause(), ArchiveException::badClass);
    }
}
