#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Bond.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/HBondMonitor.h>
#include "monitors/MonitorSupport.h"
#include "support/RecordStream.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::Alive;
using MonitorSupport::DashedLines;

namespace {

class HBondMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

using Lines = std::vector<std::pair<Point3d, Point3d>>;

Lines Draw(HBondMonitor& monitor)
{
    DisplayList3D list;
    monitor.Display(list);
    return DashedLines(list);
}

// C-O-H with the hydrogen at `at`, the bonds running back along -x (or the given direction).
struct Hydroxyl {
    Hydroxyl(Object* parent, const Point3d& at, const Point3d& back = Point3d(-1, 0, 0))
        : molecule(new Molecule(parent)),
          hydrogen(AddAtom(molecule, "H", at.x, at.y, at.z)),
          oxygen(AddAtom(molecule, "O", at.x + 0.96 * back.x, at.y + 0.96 * back.y, at.z + 0.96 * back.z)),
          carbon(AddAtom(molecule, "C", at.x + 2.4 * back.x, at.y + 2.4 * back.y, at.z + 2.4 * back.z))
    {
        oxygen->MakeBond(hydrogen, Bond::Single);
        oxygen->MakeBond(carbon, Bond::Single);
    }
    Molecule* molecule;
    Atom3d* hydrogen;
    Atom3d* oxygen;
    Atom3d* carbon;
};

// A carbonyl oxygen at `at`, an acceptor only, its carbon further along the direction.
struct Carbonyl {
    Carbonyl(Object* parent, const Point3d& at, const Point3d& away = Point3d(1, 0, 0))
        : molecule(new Molecule(parent)),
          oxygen(AddAtom(molecule, "O", at.x, at.y, at.z)),
          carbon(AddAtom(molecule, "C", at.x + 1.2 * away.x, at.y + 1.2 * away.y, at.z + 1.2 * away.z))
    {
        oxygen->MakeBond(carbon, Bond::Double);
    }
    Molecule* molecule;
    Atom3d* oxygen;
    Atom3d* carbon;
};

OrdCollection AtomsOf(Object* node)
{
    OrdCollection atoms;
    DescendentIterator walk(node, Atom::classType, false);
    while (Object* const atom = walk.GetNext())
        atoms.Add(atom);
    return atoms;
}

// What the monitor's donors and acceptors give when every pair is tried, in the drawing's order.
Lines AllPairs(const HBondMonitor& monitor, bool internal, bool external)
{
    std::vector<Atom*> donors;
    std::vector<Atom*> acceptors;
    for (int i = 1; i < monitor.GetNumItemsMonitoring(); ++i) {
        auto* const atom = DynCast<Atom>(monitor.GetItem(i));
        if (atom && atom->IsHBondDonor())
            donors.push_back(atom);
        else if (atom && atom->IsHBondAcceptor())
            acceptors.push_back(atom);
    }
    const auto pairs = [&](Atom* acceptor, Atom* donor) {
        if (!acceptor->IsActive() || !donor->IsActive() || (!acceptor->IsVisible() && !donor->IsVisible()) ||
            (acceptor->GetDisplayStyle() == 0 && donor->GetDisplayStyle() == 0))
            return false;
        const double limit = donor->GetElementType() == ElementType(1) ? monitor.GetDistanceCriterion()
                                                                         : monitor.GetDistanceCriterion() * 1.65;
        return Distance2(donor->GetXYZ(), acceptor->GetXYZ()) <= limit && !acceptor->HasPathOfLength(donor, 5, true);
    };
    Lines lines;
    if (internal) {
        for (Atom* donor : donors) {
            for (Atom* acceptor : acceptors) {
                if (pairs(acceptor, donor))
                    lines.emplace_back(donor->GetXYZ(), acceptor->GetXYZ());
            }
        }
    }
    if (!external)
        return lines;
    DescendentIterator walk(monitor.GetParent(), Atom::classType, false);
    while (auto* const other = DynCast<Atom>(walk.GetNext())) {
        if (std::find(donors.begin(), donors.end(), other) != donors.end() ||
            std::find(acceptors.begin(), acceptors.end(), other) != acceptors.end())
            continue;
        if (other->IsHBondAcceptor()) {
            for (Atom* donor : donors) {
                if (pairs(other, donor))
                    lines.emplace_back(donor->GetXYZ(), other->GetXYZ());
            }
        } else if (other->IsHBondDonor()) {
            for (Atom* acceptor : acceptors) {
                if (pairs(acceptor, other))
                    lines.emplace_back(other->GetXYZ(), acceptor->GetXYZ());
            }
        }
    }
    return lines;
}

} // namespace

TEST_F(HBondMonitorTest, HydrogenDonorsReachTwoAndAHalfAndHeavyDonorsTheSquareRootOf10Point3125)
{
    TreeRoot root;
    const Hydroxyl donor(&root, Point3d(0, 0, 0));
    const Carbonyl acceptor(&root, Point3d(2.5, 0, 0));
    ASSERT_TRUE(donor.hydrogen->IsHBondDonor());
    ASSERT_TRUE(acceptor.oxygen->IsHBondAcceptor());
    ASSERT_FALSE(acceptor.oxygen->IsHBondDonor());
    auto* const monitor = new HBondMonitor(&root);
    EXPECT_EQ(monitor->GetColor(), Color::Green());
    EXPECT_EQ(monitor->GetNumberOfHydrogenBonds(), 0);
    EXPECT_EQ(monitor->GetPropertyAsString("Distance Criterion"), "2.50");

    DisplayList3D list;
    monitor->Display(list);
    const auto lines = list.GetAll<LinePrimitive>();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]->GetFrom(), donor.hydrogen->GetXYZ());
    EXPECT_EQ(lines[0]->GetTo(), acceptor.oxygen->GetXYZ());
    EXPECT_TRUE(lines[0]->IsDashed());
    EXPECT_EQ(lines[0]->GetDashes(), 5);
    EXPECT_EQ(lines[0]->GetColor(), Color::Green());
    EXPECT_EQ(lines[0]->GetOID(), monitor->GetOID());
    EXPECT_EQ(lines[0]->GetWidth(), 1.0);
    EXPECT_EQ(lines[0]->GetToColor(), Color::Green());
    EXPECT_TRUE(list.GetAll<Text3DPrimitive>().empty());
    EXPECT_EQ(monitor->GetPropertyAsString("Hydrogen Bonds"), "1");
    acceptor.molecule->TranslateTree(Point3d(0.01, 0, 0));
    EXPECT_TRUE(Draw(*monitor).empty());
    EXPECT_EQ(monitor->GetNumberOfHydrogenBonds(), 0);
    delete donor.molecule;

    // An amine nitrogen, a heavy donor: 3.2113 bonds, 3.2114 does not.
    auto* const amine = new Molecule(&root);
    Atom3d* const nitrogen = AddAtom(amine, "N", 2.51 - 3.2113, 0, 0);
    nitrogen->MakeBond(AddAtom(amine, "C", 2.51 - 3.2113 - 1.47, 0, 0), Bond::Single);
    ASSERT_TRUE(nitrogen->IsHBondDonor());
    ASSERT_TRUE(monitor->SetPropertyFromString("Show distances", "y"));
    DisplayList3D labelled;
    monitor->Display(labelled);
    ASSERT_EQ(DashedLines(labelled).size(), 1u);
    const auto texts = labelled.GetAll<Text3DPrimitive>();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0]->GetText(), "3.21");
    EXPECT_EQ(texts[0]->GetSize(), 0.2);
    // The label follows its line, at the line's middle, in the monitor's colour and pick.
    ASSERT_EQ(labelled.GetSize(), 2u);
    EXPECT_EQ(labelled.GetPrimitive(0)->GetType(), PrimitiveType::Line);
    EXPECT_EQ(labelled.GetPrimitive(1), texts[0]);
    EXPECT_EQ(texts[0]->GetPosition(), MidPoint(nitrogen->GetXYZ(), acceptor.oxygen->GetXYZ()));
    EXPECT_EQ(texts[0]->GetColor(), Color::Green());
    EXPECT_EQ(texts[0]->GetOID(), monitor->GetOID());
    nitrogen->SetXYZ(Point3d(2.51 - 3.2114, 0, 0));
    EXPECT_TRUE(Draw(*monitor).empty());
}

TEST_F(HBondMonitorTest, DonorsFourBondsFromTheAcceptorAndDonorAcceptorAtomsNeverPairWithin)
{
    TreeRoot root;
    // H-O-C-C=O: the acceptor is four bonds from the hydrogen, however close.
    auto* const molecule = new Molecule(&root);
    Atom3d* const hydrogen = AddAtom(molecule, "H", 0, 0, 0);
    Atom3d* const oxygen = AddAtom(molecule, "O", -5, 0, 0);
    Atom3d* const c1 = AddAtom(molecule, "C", -10, 0, 0);
    Atom3d* const c2 = AddAtom(molecule, "C", -15, 0, 0);
    Atom3d* const carbonyl = AddAtom(molecule, "O", 2, 0, 0);
    oxygen->MakeBond(hydrogen, Bond::Single);
    oxygen->MakeBond(c1, Bond::Single);
    c1->MakeBond(c2, Bond::Single);
    Bond* const last = c2->MakeBond(carbonyl, Bond::Double);
    auto* const monitor = new HBondMonitor(&root);
    EXPECT_TRUE(Draw(*monitor).empty());
    // One more carbon between them: five bonds.
    delete last;
    Atom3d* const c3 = AddAtom(molecule, "C", -20, 0, 0);
    c2->MakeBond(c3, Bond::Single);
    c3->MakeBond(carbonyl, Bond::Double);
    EXPECT_EQ(Draw(*monitor).size(), 1u);

    // An amine nitrogen is donor and acceptor: among the monitored atoms it pairs only as a donor.
    TreeRoot other;
    const Hydroxyl donor(&other, Point3d(0, 0, 0));
    auto* const amine = new Molecule(&other);
    Atom3d* const nitrogen = AddAtom(amine, "N", 2.4, 0, 0);
    nitrogen->MakeBond(AddAtom(amine, "C", 3.87, 0, 0), Bond::Single);
    ASSERT_TRUE(nitrogen->IsHBondDonor() && nitrogen->IsHBondAcceptor());
    auto* const tree = new HBondMonitor(&other);
    EXPECT_TRUE(Draw(*tree).empty());
    // A carbonyl oxygen in its place is an acceptor.
    nitrogen->SetElement("O");
    nitrogen->FindBond(DynCast<Bondable>(amine->GetChild(1)))->SetType(Bond::Double);
    EXPECT_EQ(Draw(*tree).size(), 1u);
}

TEST_F(HBondMonitorTest, DonorsAndAcceptorsAreToldApartAtEveryDrawingAsAFreshMonitorTellsThem)
{
    // A hydroxyl whose hydrogen is switched off donates through its oxygen, 2.96 from the carbonyl.
    TreeRoot root;
    const Hydroxyl hydroxyl(&root, Point3d(0, 0, 0));
    Carbonyl(&root, Point3d(2.0, 0, 0));
    auto* const monitor = new HBondMonitor(&root);
    ASSERT_EQ(Draw(*monitor).size(), 1u);
    hydroxyl.hydrogen->Deactivate();
    ASSERT_TRUE(hydroxyl.oxygen->IsHBondDonor());
    // A monitor made below the root makes the first recalculate: the first is drawn before.
    EXPECT_EQ(Draw(*monitor).size(), 1u);
    EXPECT_EQ(Draw(*new HBondMonitor(&root)).size(), 1u);

    // An ammonia nitrogen accepts; charged +1 it donates, 3 from the carbonyl, its hydrogens away from it.
    TreeRoot other;
    auto* const ammonia = new Molecule(&other);
    Atom3d* const nitrogen = AddAtom(ammonia, "N", 0, 0, 0);
    for (const Point3d& h : {Point3d(-0.34, 0.94, 0), Point3d(-0.34, -0.47, 0.82), Point3d(-0.34, -0.47, -0.82)})
        nitrogen->MakeBond(AddAtom(ammonia, "H", h.x, h.y, h.z), Bond::Single);
    Carbonyl(&other, Point3d(3.0, 0, 0));
    auto* const charged = new HBondMonitor(&other);
    ASSERT_TRUE(Draw(*charged).empty());
    nitrogen->SetFormalCharge(1, 1);
    ASSERT_TRUE(nitrogen->IsHBondDonor());
    EXPECT_EQ(Draw(*charged).size(), 1u);
    EXPECT_EQ(Draw(*new HBondMonitor(&other)).size(), 1u);
}

TEST_F(HBondMonitorTest, ASetPairsWithTheRestAndWithItselfOnlyWhenAskedATreeOnlyWithItself)
{
    TreeRoot root;
    const Hydroxyl inside(&root, Point3d(0, 0, 0));
    const Carbonyl insideAcceptor(&root, Point3d(2.4, 0, 0));
    const Carbonyl outsideAcceptor(&root, Point3d(0, 2.4, 0), Point3d(0, 1, 0));
    const Hydroxyl outside(&root, Point3d(2.4, -2.4, 0), Point3d(0, -1, 0));
    OrdCollection set = AtomsOf(inside.molecule);
    for (Object* atom : {static_cast<Object*>(insideAcceptor.oxygen), static_cast<Object*>(insideAcceptor.carbon)})
        set.Add(atom);

    auto* const external = new HBondMonitor(&root, set, false);
    EXPECT_FALSE(external->GetDisplayInternalHBonds());
    // The parent, then the donor, then the acceptors.
    ASSERT_EQ(external->GetNumItemsMonitoring(), 4);
    EXPECT_EQ(external->GetItem(0), &root);
    EXPECT_EQ(external->GetItem(1), inside.hydrogen);
    const Lines externalLines = Draw(*external);
    EXPECT_EQ(externalLines, (Lines{{inside.hydrogen->GetXYZ(), outsideAcceptor.oxygen->GetXYZ()},
                                    {outside.hydrogen->GetXYZ(), insideAcceptor.oxygen->GetXYZ()}}));
    external->SetDisplayInternalHBonds(true);
    const Lines both = Draw(*external);
    ASSERT_EQ(both.size(), 3u);
    EXPECT_EQ(both[0], std::make_pair(inside.hydrogen->GetXYZ(), insideAcceptor.oxygen->GetXYZ()));
    EXPECT_EQ(external->GetNumberOfHydrogenBonds(), 3);

    auto* const tree = new HBondMonitor(&root);
    EXPECT_EQ(Draw(*tree).size(), 3u);
    auto* const onlyOutside = new HBondMonitor(outside.molecule);
    EXPECT_TRUE(Draw(*onlyOutside).empty());

    // Hidden, styleless or inactive pairs are neither drawn nor counted; a hidden monitor keeps
    // the count of its last drawing.
    outside.hydrogen->SetInvisible(false);
    insideAcceptor.oxygen->SetInvisible(false);
    EXPECT_EQ(Draw(*tree).size(), 2u);
    outside.hydrogen->SetVisible(false);
    outside.hydrogen->SetDisplayStyle(0);
    insideAcceptor.oxygen->SetVisible(false);
    insideAcceptor.oxygen->SetDisplayStyle(0);
    EXPECT_EQ(Draw(*tree).size(), 2u);
    insideAcceptor.oxygen->SetDisplayStyle(1);
    outsideAcceptor.oxygen->Deactivate();
    EXPECT_EQ(Draw(*tree).size(), 2u);
    tree->SetInvisible(false);
    EXPECT_TRUE(Draw(*tree).empty());
    EXPECT_EQ(tree->GetNumberOfHydrogenBonds(), 2);

    // Losing an atom never deletes the monitor.
    outsideAcceptor.oxygen->Activate();
    const std::uint32_t oid = external->GetOID();
    delete insideAcceptor.molecule;
    ASSERT_TRUE(Alive(oid));
    EXPECT_EQ(Draw(*external).size(), 1u);
}

TEST_F(HBondMonitorTest, TheGridFindsWhatEveryPairWouldInTheSameOrder)
{
    TreeRoot root;
    const std::vector<Atom3d*> atoms = MonitorSupport::RandomStructure(&root, 600, 20.0, 11);
    auto* const tree = new HBondMonitor(&root);
    const Lines drawn = Draw(*tree);
    EXPECT_GT(drawn.size(), 20u);
    EXPECT_EQ(drawn, AllPairs(*tree, true, false));

    OrdCollection half;
    for (std::size_t i = 0; i < atoms.size() / 2; ++i)
        half.Add(atoms[i]);
    auto* const set = new HBondMonitor(&root, half, true);
    const Lines setLines = Draw(*set);
    EXPECT_GT(setLines.size(), 10u);
    EXPECT_EQ(setLines, AllPairs(*set, true, true));
    ASSERT_TRUE(set->SetPropertyFromString("Distance Criterion", "3"));
    EXPECT_EQ(Draw(*set), AllPairs(*set, true, true));
}

TEST_F(HBondMonitorTest, ATreeMonitorsItemsAreItsDonorsThenItsAcceptorsInTreeOrderHoweverFewTheAtoms)
{
    // Around and past the few atoms the build's walk holds back before telling them apart.
    for (const int count : {1, 2, 7, 8, 9, 16, 17, 40}) {
        TreeRoot root;
        MonitorSupport::RandomStructure(&root, count, 6.0, static_cast<std::uint64_t>(count));
        std::vector<Object*> expected;
        const OrdCollection atoms = AtomsOf(&root);
        for (const bool donors : {true, false}) {
            for (int i = 0; i < atoms.GetSize(); ++i) {
                const auto* const atom = static_cast<const Atom*>(atoms.GetAt(i));
                if (atom->IsHBondDonor() ? donors : !donors && atom->IsHBondAcceptor())
                    expected.push_back(atoms.GetAt(i));
            }
        }
        auto* const monitor = new HBondMonitor(&root);
        std::vector<Object*> items;
        for (int i = 1; i < monitor->GetNumItemsMonitoring(); ++i)
            items.push_back(monitor->GetItem(i));
        EXPECT_EQ(items, expected) << count << " atoms";
        EXPECT_EQ(Draw(*monitor), AllPairs(*monitor, true, false)) << count << " atoms";
    }
}

TEST_F(HBondMonitorTest, TheFirstDrawingTakesTheItemsInItemOrderAsTheyStandWhateverChangedSinceTheBuild)
{
    // Unheard since the build: hydrogens switched off (their heavy atoms donate now), nitrogens charged,
    // a molecule moved below another root.
    TreeRoot root;
    const std::vector<Atom3d*> atoms = MonitorSupport::RandomStructure(&root, 600, 20.0, 5);
    auto* const tree = new HBondMonitor(&root);
    for (std::size_t i = 0; i < atoms.size(); i += 5) {
        if (atoms[i]->GetElementType() == ElementType(1))
            atoms[i]->Deactivate();
        else if (atoms[i]->GetElementType() == ElementType(7))
            atoms[i]->SetFormalCharge(1, 1);
    }
    TreeRoot elsewhere;
    atoms[300]->GetParent()->SetParent(&elsewhere);
    const Lines drawn = Draw(*tree);
    EXPECT_GT(drawn.size(), 20u);
    EXPECT_EQ(drawn, AllPairs(*tree, true, false));

    // A listener of the recalculation switches the donating hydrogen off: the oxygen donates instead.
    TreeRoot other;
    const Hydroxyl hydroxyl(&other, Point3d(0, 0, 0));
    const Carbonyl carbonyl(&other, Point3d(2.0, 0, 0));
    auto* const monitor = new HBondMonitor(&other);
    other.RegisterEvent(TreeNode::classType, TreeNode::EventTreeWide, [](Event& event) {
        if (event.CheckType(GeometryMonitor::classType, GeometryMonitor::EventRecalculated))
            static_cast<Atom3d*>(event.GetData())->Deactivate();
    }, true, hydroxyl.hydrogen, nullptr);
    EXPECT_EQ(Draw(*monitor), (Lines{{hydroxyl.oxygen->GetXYZ(), carbonyl.oxygen->GetXYZ()}}));
}

TEST_F(HBondMonitorTest, TheFirstDrawingOfATreeSeesEveryChangeSinceTheBuildHeardOrNot)
{
    // A hydrogen donor 2.4 from a carbonyl oxygen: one bond, unless a change since the build stands.
    TreeRoot root;
    const Hydroxyl hydroxyl(&root, Point3d(0, 0, 0));
    const Carbonyl carbonyl(&root, Point3d(2.4, 0, 0));
    const Lines bond{{hydroxyl.hydrogen->GetXYZ(), carbonyl.oxygen->GetXYZ()}};
    const auto drawnAfter = [&](auto&& change) {
        auto* const monitor = new HBondMonitor(&root);
        change(*monitor);
        const Lines drawn = Draw(*monitor);
        delete monitor;
        return drawn;
    };
    EXPECT_EQ(drawnAfter([](HBondMonitor&) {}), bond);
    // Unclipped, unheard by the monitor: the acceptor becomes an item.
    carbonyl.oxygen->SetClipped(true);
    EXPECT_EQ(drawnAfter([&](HBondMonitor&) { carbonyl.oxygen->SetClipped(false); }), bond);
    // An item no longer: the recalculation takes it again.
    EXPECT_EQ(drawnAfter([&](HBondMonitor& monitor) { monitor.RemoveMonitoredItem(carbonyl.oxygen); }), bond);
    // A criterion of 2.
    EXPECT_TRUE(drawnAfter([](HBondMonitor& monitor) { monitor.SetDistanceCriterion(4.0); }).empty());
    // Both ends hidden, then shown again.
    const auto showBoth = [&](bool shown) {
        for (Atom3d* const atom : {hydroxyl.hydrogen, carbonyl.oxygen}) {
            if (shown)
                atom->SetVisible(false);
            else
                atom->SetInvisible(false);
        }
    };
    EXPECT_TRUE(drawnAfter([&](HBondMonitor&) { showBoth(false); }).empty());
    EXPECT_EQ(drawnAfter([&](HBondMonitor&) { showBoth(true); }), bond);
    // A move.
    EXPECT_TRUE(drawnAfter([&](HBondMonitor&) { carbonyl.oxygen->SetXYZ(Point3d(2.6, 0, 0)); }).empty());
}

TEST_F(HBondMonitorTest, CriteriaAreHeldSquaredAndSurviveTheFile)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    AddAtom(molecule, "O", 0, 0, 0);
    auto* const monitor = new HBondMonitor(molecule);
    ASSERT_TRUE(monitor->SetPropertyFromString("Distance Criterion", "3 A"));
    EXPECT_EQ(monitor->GetDistanceCriterion(), 9.0);
    EXPECT_EQ(monitor->GetPropertyAsString("Distance Criterion"), "3.00");
    for (const char* refused : {"0", "101", "abc", "101 A", "0.0x"})
        EXPECT_FALSE(monitor->SetPropertyFromString("Distance Criterion", refused)) << refused;
    EXPECT_EQ(monitor->GetDistanceCriterion(), 9.0);
    monitor->SetDistanceCriterion(4.0);
    EXPECT_EQ(monitor->GetDistanceCriterion(), 4.0);
    EXPECT_FALSE(monitor->SetPropertyFromString("Hydrogen Bonds", "2"));
    monitor->ShowDistanceLabels(true);
    monitor->SetDisplayInternalHBonds(true);

    const auto loaded = RecordStream::LoadAs<TreeRoot>(RecordStream::Save(root));
    ASSERT_NE(loaded, nullptr);
    const auto* const back = DynCast<HBondMonitor>(loaded->GetChild(0)->GetChild(1));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetDistanceCriterion(), 4.0);
    EXPECT_TRUE(back->GetShowDistanceLabels());
    EXPECT_TRUE(back->GetDisplayInternalHBonds());
    EXPECT_TRUE(back->NeedsRecalc());
    const auto copy = RecordStream::ArchiveCopy<Molecule>(*molecule);
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(DynCast<HBondMonitor>(copy->GetChild(1)), nullptr);

    // Listed after Object's properties; "Distance Criterion" has no description of its own.
    ObjectProperty::Array listed;
    monitor->GetProperties(listed);
    ASSERT_GE(listed.size(), 3u);
    EXPECT_EQ(listed[listed.size() - 3].GetName(), "Hydrogen Bonds");
    EXPECT_EQ(listed[listed.size() - 2].GetName(), "Distance Criterion");
    EXPECT_EQ(listed.back().GetName(), "Show distances");
    EXPECT_FALSE(monitor->GetPropertyAsObjectProperty("Distance Criterion").HasValue());
    EXPECT_EQ(monitor->GetPropertyAsObjectProperty("show distances").GetPropertyType(), 2);
}
