#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <tavrel/core/Geometry.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassHierarchy.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/CentroidMonitor.h>
#include <tavrel/monitors/DihedralMonitor.h>
#include <tavrel/monitors/DihedralRestraint.h>
#include <tavrel/monitors/DistanceMonitor.h>
#include <tavrel/monitors/DistanceRestraint.h>
#include <tavrel/monitors/TorsionMonitor.h>
#include "monitors/MonitorSupport.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::Entries;
using MonitorSupport::Alive;
using MonitorSupport::FirstChild;
using MonitorSupport::LastListed;
using MonitorSupport::Reloaded;
using MonitorSupport::Selection;

namespace {

class RestraintTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

template <class T>
std::vector<Object*> Atoms(const T& restraint)
{
    OrdCollection atoms;
    restraint.GetAtoms(atoms);
    return Entries(atoms);
}

// A bonded chain a-b-c-d whose dihedral is 60 degrees, and two atoms apart from it.
struct Chain {
    explicit Chain(Object* parent)
        : molecule(new Molecule(parent)), a(AddAtom(molecule, "C", 1, 0, 0)), b(AddAtom(molecule, "C", 0, 0, 0)),
          c(AddAtom(molecule, "C", 0, 0, 1.5)), d(AddAtom(molecule, "O", 0.5, 0.8660254, 1.5)),
          e(AddAtom(molecule, "N", 4, 0, 0)), f(AddAtom(molecule, "N", 4, 2, 0))
    {
        a->MakeBond(b, Bond::Single);
        b->MakeBond(c, Bond::Single);
        c->MakeBond(d, Bond::Single);
    }
    Molecule* molecule;
    Atom3d* a;
    Atom3d* b;
    Atom3d* c;
    Atom3d* d;
    Atom3d* e;
    Atom3d* f;
};

// Writes a record that loads as a restraint of another class (named by hierarchy) whose monitor
// references are the given objects: what a crafted file may hold. One class per set of names.
template <int Names>
class ForgedRestraint : public Restraint {
public:
    using Superclass = Restraint;

    ForgedRestraint(Object* parent, const char* forgedClass, std::vector<std::string> names, std::vector<Base*> objects)
        : Restraint(parent), m_class(forgedClass), m_names(std::move(names)), m_objects(std::move(objects))
    {
    }
    const char* GetClassHierarchyName() const override { return m_class; }
    void BuildClassHierarchy(ClassHierarchy& hierarchy) const override
    {
        Restraint::BuildClassHierarchy(hierarchy);
        hierarchy.AddClass(m_class);
    }
    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        for (std::size_t i = 0; i < m_names.size(); ++i)
            pass.Object(m_names[i], m_objects[i]);
    }

private:
    const char* m_class;
    std::vector<std::string> m_names;
    std::vector<Base*> m_objects;
};

} // namespace

TEST_F(RestraintTest, ADihedralRestraintMeasuresItsFourAtomsInTheOrderGiven)
{
    TreeRoot root;
    const Chain chain(&root);
    auto* const restraint = new DihedralRestraint(chain.molecule, chain.a, chain.b, chain.c, chain.d);
    restraint->SetLabel("A");
    EXPECT_EQ(restraint->GetLabel(), "Dihedral:A");
    EXPECT_NEAR(restraint->GetReferenceAngle(), 60.0, 1e-4);
    EXPECT_NEAR(restraint->CalculateDihedralAngle(), restraint->GetReferenceAngle(), 1e-9);
    EXPECT_EQ(restraint->GetForceConstant(), 1.0);
    EXPECT_EQ(restraint->GetPeriodicity(), 0);
    EXPECT_EQ(Atoms(*restraint), (std::vector<Object*>{chain.a, chain.b, chain.c, chain.d}));
    DihedralMonitor* const monitor = restraint->GetMonitor();
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(monitor->GetParent(), nullptr);
    EXPECT_EQ(monitor->GetOwner(), restraint);
    EXPECT_TRUE(restraint->GetLogicalAtoms().CheckMember(chain.d->GetLID()));

    chain.d->SetXYZ(Point3d(-0.5, 0.8660254, 1.5));
    EXPECT_NEAR(restraint->CalculateDihedralAngle(), 120.0, 1e-4);
    EXPECT_NEAR(restraint->GetReferenceAngle(), 60.0, 1e-4);

    // An improper order is kept: the monitor is not put in chain order.
    auto* const improper = new DihedralRestraint(chain.molecule, chain.a, chain.c, chain.b, chain.d);
    const double expected =
        Dihedral(chain.a->GetXYZ(), chain.c->GetXYZ(), chain.b->GetXYZ(), chain.d->GetXYZ());
    EXPECT_NEAR(improper->GetReferenceAngle(), expected, 1e-4);
    EXPECT_EQ(Atoms(*improper), (std::vector<Object*>{chain.a, chain.c, chain.b, chain.d}));

    // From a monitor: its items in its order; the monitor given stays the caller's.
    auto* const given = new DihedralMonitor(chain.molecule, chain.d, chain.c, chain.b, chain.a);
    auto* const fromMonitor = new DihedralRestraint(chain.molecule, *given);
    EXPECT_EQ(Atoms(*fromMonitor), (std::vector<Object*>{chain.d, chain.c, chain.b, chain.a}));
    EXPECT_NE(fromMonitor->GetMonitor(), given);
    EXPECT_EQ(given->GetOwner(), nullptr);

    // Without four atoms there is no monitor: the reference angle stands in and nothing is drawn.
    auto* const missing = new DihedralRestraint(chain.molecule, chain.a, chain.b, nullptr, chain.d);
    EXPECT_EQ(missing->GetMonitor(), nullptr);
    missing->SetReferenceAngle(12.5);
    EXPECT_EQ(missing->CalculateDihedralAngle(), 12.5);
    DisplayList3D nothing;
    missing->Display(nothing);
    EXPECT_TRUE(nothing.IsEmpty());
}

TEST_F(RestraintTest, DihedralParametersTakeTheirTexts)
{
    const std::unique_ptr<DihedralRestraint> restraint(ClassAccess::New<DihedralRestraint>());
    EXPECT_TRUE(restraint->SetPropertyFromString("Periodicity", "3-fold"));
    EXPECT_EQ(restraint->GetPropertyAsString("periodicity"), "3");
    EXPECT_FALSE(restraint->SetPropertyFromString("Periodicity", "three"));
    EXPECT_EQ(restraint->GetPeriodicity(), 3);
    EXPECT_TRUE(restraint->SetPropertyFromString("Force Constant", "0.25"));
    EXPECT_EQ(restraint->GetPropertyAsString("Force Constant"), "0.250000");
    EXPECT_TRUE(restraint->SetPropertyFromString("Reference Angle", "-170"));
    EXPECT_EQ(restraint->GetPropertyAsString("Reference Angle"), "-170.000000");
    EXPECT_FALSE(restraint->SetPropertyFromString("Reference Angle", "wide"));
    // A negative force constant or periodicity means nothing: refused; zero switches the term off.
    EXPECT_FALSE(restraint->SetPropertyFromString("Periodicity", "-2"));
    EXPECT_FALSE(restraint->SetPropertyFromString("Force Constant", "-0.5"));
    EXPECT_EQ(restraint->GetPeriodicity(), 3);
    EXPECT_EQ(restraint->GetForceConstant(), 0.25);
    EXPECT_TRUE(restraint->SetPropertyFromString("Force Constant", "0"));
    EXPECT_EQ(LastListed(*restraint, 4),
              (std::vector<std::string>{"Enabled", "Force Constant", "Periodicity", "Reference Angle"}));
}

TEST_F(RestraintTest, ADihedralRestraintDrawsRingsAndItsMonitorAsOneGroup)
{
    TreeRoot root;
    const Chain chain(&root);
    auto* const restraint = new DihedralRestraint(chain.molecule, chain.a, chain.b, chain.c, chain.d);
    restraint->SetColor(Color(10, 20, 30, 0));
    DisplayList3D list;
    restraint->Display(list);
    const auto rings = list.GetAll<ArcPrimitive>();
    ASSERT_GT(rings.size(), 12u);
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(rings[i]->GetSegments(), 6);
        EXPECT_EQ(rings[i]->GetOID(), restraint->GetOID());
    }
    // The monitor's own figure follows, in the restraint's colour and group.
    const DihedralMonitor* const monitor = restraint->GetMonitor();
    std::size_t figure = 0;
    for (std::size_t i = 0; i < list.GetSize(); ++i) {
        const Primitive* const primitive = list.GetPrimitive(i);
        if (primitive->GetOID() != monitor->GetOID())
            continue;
        ++figure;
        EXPECT_EQ(primitive->GetColor(), Color(10, 20, 30, 0));
        EXPECT_EQ(list.GetGroupOID(i), restraint->GetOID());
    }
    EXPECT_GT(figure, 0u);
}

TEST_F(RestraintTest, AListenerOfAnOwnedMonitorDeletesTheRestraintWhileTheTreeIsDrawn)
{
    // The restraint whose OID is the event's data goes when its monitor recalculates.
    const auto deleteRestraint = [](Event& event) {
        if (event.CheckType(GeometryMonitor::classType, GeometryMonitor::EventRecalculated))
            delete Object::GetObjectA(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(event.GetData())));
    };
    for (const bool dihedral : {true, false}) {
        TreeRoot root;
        const Chain chain(&root);
        Restraint* restraint = nullptr;
        GeometryMonitor* monitor = nullptr;
        if (dihedral) {
            auto* const made = new DihedralRestraint(chain.molecule, chain.a, chain.b, chain.c, chain.d);
            monitor = made->GetMonitor();
            restraint = made;
        } else {
            auto* const made = new DistanceRestraint(chain.molecule, Selection({chain.a}), Selection({chain.d}));
            monitor = made->GetDistanceMonitor();
            restraint = made;
        }
        auto* const after = new DihedralRestraint(chain.molecule, chain.a, chain.b, chain.c, chain.d);
        const std::uint32_t oid = restraint->GetOID();
        monitor->RegisterEvent(TreeNode::classType, TreeNode::EventTreeWide, deleteRestraint, true,
                               reinterpret_cast<void*>(static_cast<std::uintptr_t>(oid)), nullptr);
        chain.a->SetXYZ(Point3d(1.2, 0, 0));
        DisplayList3D list;
        root.DisplayAll(list, false);
        EXPECT_FALSE(Alive(oid));
        // The walk goes on to the restraint after it.
        std::size_t drawnAfter = 0;
        for (std::size_t i = 0; i < list.GetSize(); ++i)
            drawnAfter += list.GetPrimitive(i)->GetOID() == after->GetOID() ? 1 : 0;
        EXPECT_GT(drawnAfter, 0u) << dihedral;
    }
}

TEST_F(RestraintTest, DeletingAnyAtomDeletesTheRestraintWithItsMonitors)
{
    for (int which = 0; which < 6; ++which) {
        TreeRoot root;
        const Chain chain(&root);
        auto* const dihedral = new DihedralRestraint(chain.molecule, chain.a, chain.b, chain.c, chain.d);
        auto* const distance = new DistanceRestraint(chain.molecule, Selection({chain.a, chain.b, chain.e}),
                                                     Selection({chain.c, chain.d, chain.f}));
        const std::vector<std::uint32_t> oids{dihedral->GetOID(), dihedral->GetMonitor()->GetOID(),
                                              distance->GetOID(), distance->GetCentroidMonitorOne()->GetOID(),
                                              distance->GetCentroidMonitorTwo()->GetOID(),
                                              distance->GetDistanceMonitor()->GetOID()};
        Atom3d* const atoms[] = {chain.a, chain.b, chain.c, chain.d, chain.e, chain.f};
        delete atoms[which];
        for (std::size_t i = which < 4 ? 0 : 2; i < oids.size(); ++i)
            EXPECT_FALSE(Alive(oids[i])) << "atom " << which << ", object " << i;
        if (which >= 4) {
            EXPECT_TRUE(Alive(oids[0]) && Alive(oids[1]));
        }
    }

    TreeRoot root;
    const Chain chain(&root);
    auto* const dihedral = new DihedralRestraint(chain.molecule, chain.a, chain.b, chain.c, chain.d);
    auto* const distance = new DistanceRestraint(chain.molecule, Selection({chain.a}), Selection({chain.d}));
    const std::vector<std::uint32_t> monitors{dihedral->GetMonitor()->GetOID(),
                                              distance->GetCentroidMonitorOne()->GetOID(),
                                              distance->GetCentroidMonitorTwo()->GetOID(),
                                              distance->GetDistanceMonitor()->GetOID()};
    delete dihedral;
    delete distance;
    for (const std::uint32_t oid : monitors)
        EXPECT_FALSE(Alive(oid));
    // Six atoms and three bonds.
    EXPECT_EQ(chain.molecule->GetNumChildren(), 9);

    // An atom of both sets takes both centroid monitors at once.
    auto* const shared = new DistanceRestraint(chain.molecule, Selection({chain.b}), Selection({chain.c, chain.b}));
    const std::uint32_t sharedOID = shared->GetOID();
    delete chain.b;
    EXPECT_FALSE(Alive(sharedOID));

    // With events off the distance monitor never hears its centroid go: the restraint deletes it.
    auto* const quiet = new DistanceRestraint(chain.molecule, Selection({chain.a}), Selection({chain.d}));
    const std::uint32_t quietDistance = quiet->GetDistanceMonitor()->GetOID();
    Base::SetEventNotify(false);
    delete quiet;
    Base::SetEventNotify(true);
    EXPECT_FALSE(Alive(quietDistance));
}

TEST_F(RestraintTest, ADistanceRestraintStartsAtTheDistanceOfTheCentroidsOfItsSets)
{
    TreeRoot root;
    const Chain chain(&root);
    auto* const restraint = new DistanceRestraint(chain.molecule, Selection({chain.a, chain.molecule, chain.b}),
                                                  Selection({chain.e, chain.f, chain.a}));
    restraint->SetLabel("A");
    EXPECT_EQ(restraint->GetLabel(), "Distance:A");
    // Centroids (0.5, 0, 0) and (3, 2/3, 0).
    const double expected = Distance(Point3d(0.5, 0, 0), Point3d(3, 2.0 / 3, 0));
    EXPECT_NEAR(restraint->CalculateDistance(), expected, 1e-5);
    double minimum = 0.0;
    double maximum = 0.0;
    restraint->GetThreshold(minimum, maximum);
    EXPECT_EQ(minimum, restraint->CalculateDistance());
    EXPECT_EQ(maximum, restraint->CalculateDistance());
    restraint->GetForceConstants(minimum, maximum);
    EXPECT_EQ(minimum, 1.0);
    EXPECT_EQ(maximum, 1.0);
    EXPECT_EQ(restraint->GetForceMaximum(), 2.0);
    EXPECT_EQ(Atoms(*restraint), (std::vector<Object*>{chain.a, chain.b, chain.e, chain.f, chain.a}));
    for (const Monitor* monitor : std::initializer_list<const Monitor*>{
             restraint->GetCentroidMonitorOne(), restraint->GetCentroidMonitorTwo(), restraint->GetDistanceMonitor()}) {
        EXPECT_EQ(monitor->GetParent(), nullptr);
        EXPECT_EQ(monitor->GetOwner(), restraint);
    }

    LogicalIdentifierSet one;
    LogicalIdentifierSet two;
    restraint->GetLogicalAtoms(one, two);
    EXPECT_TRUE(one.CheckMember(chain.a->GetLID()) && two.CheckMember(chain.a->GetLID()));
    EXPECT_TRUE(two.CheckMember(chain.f->GetLID()) && !one.CheckMember(chain.f->GetLID()));

    chain.e->SetXYZ(Point3d(10, 0, 0));
    EXPECT_NEAR(restraint->CalculateDistance(), Distance(Point3d(0.5, 0, 0), Point3d(5, 2.0 / 3, 0)), 1e-5);
    restraint->GetThreshold(minimum, maximum);
    EXPECT_NEAR(maximum, expected, 1e-5);

    // Texts set one member of a pair and leave the other; a minimum above its maximum is kept.
    EXPECT_TRUE(restraint->SetPropertyFromString("Threshold Minimum", "9"));
    EXPECT_TRUE(restraint->SetPropertyFromString("threshold maximum", "4"));
    EXPECT_EQ(restraint->GetPropertyAsString("Threshold Minimum"), "9.000000");
    EXPECT_EQ(restraint->GetPropertyAsString("Threshold Maximum"), "4.000000");
    EXPECT_TRUE(restraint->SetPropertyFromString("Force Constant Maximum", "5"));
    restraint->GetForceConstants(minimum, maximum);
    EXPECT_EQ(minimum, 1.0);
    EXPECT_EQ(maximum, 5.0);
    EXPECT_TRUE(restraint->SetPropertyFromString("Force Constant Minimum", "0.5"));
    restraint->GetForceConstants(minimum, maximum);
    EXPECT_EQ(minimum, 0.5);
    EXPECT_EQ(maximum, 5.0);
    EXPECT_FALSE(restraint->SetPropertyFromString("Force Maximum", "lots"));
    EXPECT_EQ(restraint->GetForceMaximum(), 2.0);
    // Negative force constants, forces and distances are refused.
    for (const char* name : {"Force Constant Maximum", "Force Constant Minimum", "Force Maximum", "Threshold Maximum",
                             "Threshold Minimum"})
        EXPECT_FALSE(restraint->SetPropertyFromString(name, "-1")) << name;
    restraint->GetForceConstants(minimum, maximum);
    EXPECT_EQ(minimum, 0.5);
    EXPECT_EQ(restraint->GetForceMaximum(), 2.0);
    restraint->GetThreshold(minimum, maximum);
    EXPECT_EQ(minimum, 9.0);
    EXPECT_EQ(LastListed(*restraint, 5), (std::vector<std::string>{"Force Constant Maximum", "Force Constant Minimum",
                                                                   "Force Maximum", "Threshold Maximum",
                                                                   "Threshold Minimum"}));

    DisplayList3D list;
    restraint->Display(list);
    EXPECT_EQ(list.GetAll<SpherePrimitive>().size(), 2u);
    EXPECT_FALSE(list.GetAll<LinePrimitive>().empty());
    for (std::size_t i = 0; i < list.GetSize(); ++i)
        EXPECT_EQ(list.GetGroupOID(i), list.GetPrimitive(i)->GetOID() == restraint->GetOID() ? 0u : restraint->GetOID());

    // An empty set makes no monitors.
    auto* const empty = new DistanceRestraint(chain.molecule, Selection({chain.a}), Selection({chain.molecule}));
    EXPECT_EQ(empty->GetDistanceMonitor(), nullptr);
    EXPECT_EQ(empty->CalculateDistance(), 0.0);
    empty->GetThreshold(minimum, maximum);
    EXPECT_EQ(maximum, 0.0);
    DisplayList3D nothing;
    empty->Display(nothing);
    EXPECT_TRUE(nothing.IsEmpty());
}

TEST_F(RestraintTest, RestraintsSurviveTheDocumentFileWithTheirOwnMonitors)
{
    ChemDoc document;
    auto* const first = new Molecule(document.GetTreeRoot());
    // The restraints come before their atoms.
    auto* const later = new Molecule(document.GetTreeRoot());
    const Chain chain(document.GetTreeRoot());
    auto* const dihedral = new DihedralRestraint(first, chain.a, chain.c, chain.b, chain.d);
    dihedral->SetPeriodicity(2);
    dihedral->SetLabel("D");
    chain.d->SetXYZ(Point3d(-1, 0, 1.5));
    const double reference = dihedral->GetReferenceAngle();
    auto* const distance = new DistanceRestraint(later, Selection({chain.a, chain.b}), Selection({chain.e}));
    distance->SetForceMaximum(8.0);
    DisplayList3D list;
    document.Display(list, false);

    for (int round = 0; round < 2; ++round) {
        const std::unique_ptr<ChemDoc> loaded = Reloaded(document);
        Object* const root = loaded->GetTreeRoot();
        ASSERT_EQ(root->GetNumChildren(), 3);
        auto* const dihedralBack = FirstChild<DihedralRestraint>(*root->GetChild(0));
        auto* const distanceBack = FirstChild<DistanceRestraint>(*root->GetChild(1));
        Object* const chainBack = root->GetChild(2);
        ASSERT_TRUE(dihedralBack && distanceBack && chainBack);
        EXPECT_EQ(dihedralBack->GetLabel(), "Dihedral:D");
        EXPECT_EQ(dihedralBack->GetPeriodicity(), 2);
        EXPECT_DOUBLE_EQ(dihedralBack->GetReferenceAngle(), reference);
        EXPECT_NEAR(dihedralBack->CalculateDihedralAngle(), dihedral->CalculateDihedralAngle(), 1e-9);
        EXPECT_EQ(Atoms(*dihedralBack), (std::vector<Object*>{chainBack->GetChild(0), chainBack->GetChild(2),
                                                               chainBack->GetChild(1), chainBack->GetChild(3)}));
        ASSERT_NE(dihedralBack->GetMonitor(), nullptr);
        EXPECT_EQ(dihedralBack->GetMonitor()->GetParent(), nullptr);
        EXPECT_EQ(dihedralBack->GetMonitor()->GetOwner(), dihedralBack);
        EXPECT_EQ(distanceBack->GetForceMaximum(), 8.0);
        EXPECT_NEAR(distanceBack->CalculateDistance(), distance->CalculateDistance(), 1e-6);
        ASSERT_NE(distanceBack->GetDistanceMonitor(), nullptr);
        EXPECT_EQ(distanceBack->GetDistanceMonitor()->GetItem(1), distanceBack->GetCentroidMonitorTwo());

        // The loaded monitors still watch: moving an atom and deleting one reach the restraints.
        const std::uint32_t dihedralOID = dihedralBack->GetOID();
        const std::uint32_t distanceOID = distanceBack->GetOID();
        const std::uint32_t monitorOID = dihedralBack->GetMonitor()->GetOID();
        DynCast<Atom3d>(chainBack->GetChild(4))->SetXYZ(Point3d(4, 0, 3));
        EXPECT_NEAR(distanceBack->CalculateDistance(), Distance(Point3d(0.5, 0, 0), Point3d(4, 0, 3)), 1e-5);
        delete chainBack->GetChild(4);
        EXPECT_FALSE(Alive(distanceOID));
        EXPECT_TRUE(Alive(dihedralOID));
        delete chainBack->GetChild(1);
        EXPECT_FALSE(Alive(dihedralOID));
        EXPECT_FALSE(Alive(monitorOID));
    }
}

TEST_F(RestraintTest, LoadedMonitorReferencesAreTakenOnlyWhenTheyCanBeTheRestraints)
{
    // Crafted records (no real restraint shares their class names in the file): a whole set of
    // monitors, the same set again for a second restraint, a monitor of another class, and a distance
    // monitor that measures something else than the centroids read with it.
    ChemDoc document;
    const Chain chain(document.GetTreeRoot());
    const std::vector<std::string> names{"Centroid Monitor One", "Centroid Monitor Two", "Distance Monitor"};
    auto* const one = new CentroidMonitor(nullptr, Selection({chain.a}));
    auto* const two = new CentroidMonitor(nullptr, Selection({chain.b}));
    auto* const distance = new DistanceMonitor(nullptr, one, two);
    auto* const torsion = new TorsionMonitor(nullptr, chain.a, chain.b, chain.c, chain.d);
    auto* const three = new CentroidMonitor(nullptr, Selection({chain.e}));
    auto* const four = new CentroidMonitor(nullptr, Selection({chain.f}));
    auto* const stray = new DistanceMonitor(nullptr, chain.e, four);
    new ForgedRestraint<3>(chain.molecule, "DistanceRestraint", names, {one, two, distance});
    new ForgedRestraint<3>(chain.molecule, "DistanceRestraint", names, {one, two, distance});
    new ForgedRestraint<1>(chain.molecule, "DihedralRestraint", {"Dihedral Monitor"}, {torsion});
    new ForgedRestraint<3>(chain.molecule, "DistanceRestraint", names, {three, four, stray});

    std::unique_ptr<ChemDoc> loaded = Reloaded(document);
    for (Monitor* monitor : std::initializer_list<Monitor*>{distance, stray, one, two, three, four, torsion})
        delete monitor;
    Object* const molecule = loaded->GetTreeRoot()->GetChild(0);
    ASSERT_NE(molecule, nullptr);
    std::vector<DistanceRestraint*> distances;
    for (int i = 0; i < molecule->GetNumChildren(); ++i) {
        if (auto* const restraint = DynCast<DistanceRestraint>(molecule->GetChild(i)))
            distances.push_back(restraint);
    }
    ASSERT_EQ(distances.size(), 3u);
    EXPECT_NEAR(distances[0]->CalculateDistance(), 1.0, 1e-6);
    EXPECT_EQ(distances[1]->GetCentroidMonitorOne(), nullptr);
    EXPECT_EQ(distances[1]->GetDistanceMonitor(), nullptr);
    EXPECT_EQ(distances[2]->GetCentroidMonitorOne(), nullptr);
    EXPECT_EQ(distances[2]->GetDistanceMonitor(), nullptr);
    EXPECT_EQ(distances[2]->CalculateDistance(), 0.0);
    const auto* const dihedral = FirstChild<DihedralRestraint>(*molecule);
    ASSERT_NE(dihedral, nullptr);
    EXPECT_EQ(dihedral->GetMonitor(), nullptr);
    // What was refused was freed; the monitors kept still go with their atoms.
    const std::uint32_t keptOID = distances[0]->GetOID();
    delete molecule->GetChild(1);
    EXPECT_FALSE(Alive(keptOID));

    // A monitor that the host put under a parent stays there, and the restraint goes without.
    ChemDoc placedDocument;
    const Chain placedChain(placedDocument.GetTreeRoot());
    auto* const placed = new DihedralRestraint(placedChain.molecule, placedChain.a, placedChain.b, placedChain.c,
                                               placedChain.d);
    placed->GetMonitor()->SetParent(placedChain.molecule);
    loaded = Reloaded(placedDocument);
    Object* const placedBack = loaded->GetTreeRoot()->GetChild(0);
    ASSERT_NE(FirstChild<DihedralRestraint>(*placedBack), nullptr);
    EXPECT_EQ(FirstChild<DihedralRestraint>(*placedBack)->GetMonitor(), nullptr);
    EXPECT_NE(FirstChild<DihedralMonitor>(*placedBack), nullptr);
}

TEST_F(RestraintTest, CopiesTakeRestraintsWhoseAtomsAreAllCopiedAndMeasureTheCopies)
{
    TreeRoot root;
    const Chain chain(&root);
    const Chain other(&root);
    auto* const dihedral = new DihedralRestraint(chain.molecule, chain.a, chain.c, chain.b, chain.d);
    dihedral->SetReferenceAngle(33.0);
    auto* const distance = new DistanceRestraint(chain.molecule, Selection({chain.a, chain.b}), Selection({chain.e}));
    distance->SetThreshold(1.0, 2.0);
    new DihedralRestraint(chain.molecule, chain.a, chain.b, chain.c, other.d);
    new DistanceRestraint(chain.molecule, Selection({chain.a}), Selection({other.e}));

    const std::unique_ptr<Object> copy(chain.molecule->TreeCopy());
    ASSERT_NE(copy, nullptr);
    // Six atoms, three bonds and the two restraints that reach no further.
    EXPECT_EQ(copy->GetNumChildren(), 11);
    EXPECT_EQ(root.GetNumChildren(), 2);
    auto* const dihedralCopy = FirstChild<DihedralRestraint>(*copy);
    auto* const distanceCopy = FirstChild<DistanceRestraint>(*copy);
    ASSERT_TRUE(dihedralCopy && distanceCopy);
    EXPECT_EQ(dihedralCopy->GetReferenceAngle(), 33.0);
    EXPECT_EQ(Atoms(*dihedralCopy),
              (std::vector<Object*>{copy->GetChild(0), copy->GetChild(2), copy->GetChild(1), copy->GetChild(3)}));
    EXPECT_NEAR(dihedralCopy->CalculateDihedralAngle(), dihedral->CalculateDihedralAngle(), 1e-9);
    double minimum = 0.0;
    double maximum = 0.0;
    distanceCopy->GetThreshold(minimum, maximum);
    EXPECT_EQ(minimum, 1.0);
    EXPECT_EQ(maximum, 2.0);
    EXPECT_EQ(Atoms(*distanceCopy), (std::vector<Object*>{copy->GetChild(0), copy->GetChild(1), copy->GetChild(4)}));
    EXPECT_EQ(distanceCopy->GetCentroidMonitorOne()->GetOwner(), distanceCopy);

    DynCast<Atom3d>(copy->GetChild(4))->SetXYZ(Point3d(0.5, 7, 0));
    EXPECT_NEAR(distanceCopy->CalculateDistance(), 7.0, 1e-5);
    EXPECT_NEAR(distance->CalculateDistance(), 3.5, 1e-5);
    const std::uint32_t copiedOID = dihedralCopy->GetOID();
    delete copy->GetChild(3);
    EXPECT_FALSE(Alive(copiedOID));
    EXPECT_NE(dihedral->GetMonitor(), nullptr);
}
