#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Bond.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/BumpMonitor.h>
#include "monitors/MonitorSupport.h"
#include "support/Near.h"
#include "support/RecordStream.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::Alive;
using MonitorSupport::DashedLines;
using Tavrel::test::Near;

namespace {

class BumpMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

using Lines = std::vector<std::pair<Point3d, Point3d>>;

Lines Draw(BumpMonitor& monitor)
{
    DisplayList3D list;
    monitor.Display(list);
    return DashedLines(list);
}

// A carbon with four hydrogens pointing away from +x and -x neighbours alike.
Atom3d* SaturatedCarbon(Object* parent, double x, double side)
{
    auto* const molecule = new Molecule(parent);
    Atom3d* const carbon = AddAtom(molecule, "C", x, 0, 0);
    for (const Point3d& h : {Point3d(side * 1.09, 0, 0), Point3d(0, 1.09, 0), Point3d(0, -1.09, 0), Point3d(0, 0, 1.09)})
        carbon->MakeBond(AddAtom(molecule, "H", x + h.x, h.y, h.z), Bond::Single);
    return carbon;
}

// What every pair of the monitor's atoms gives, tested pair by pair.
Lines AllPairs(const BumpMonitor& monitor)
{
    struct Entry {
        const Atom3d* atom;
        Point3d position;
        double radius;
        bool shown;
        bool styled;
        bool donor;
        bool acceptor;
    };
    std::vector<Entry> atoms;
    for (int i = 1; i < monitor.GetNumItemsMonitoring(); ++i) {
        if (const auto* const atom = DynCast<Atom3d>(monitor.GetItem(i)))
            atoms.push_back({atom, atom->GetXYZ(), atom->GetVDWRadius() * (atom->GetNumHydrogensToAdd() > 0 ? 1.08f : 1.0f),
                             atom->IsVisible(), atom->GetDisplayStyle() != 0, atom->IsHBondDonor(), atom->IsHBondAcceptor()});
    }
    const double squared = monitor.GetVDWPercent() * monitor.GetVDWPercent();
    Lines lines;
    for (const Entry& a : atoms) {
        for (const Entry& b : atoms) {
            if (a.atom == b.atom || (!a.shown && !b.shown) || (!a.styled && !b.styled) || (a.acceptor && b.donor) ||
                (b.acceptor && a.donor))
                continue;
            const double reach = static_cast<float>(a.radius + b.radius);
            if (Distance2(a.position, b.position) <= reach * reach * squared && !a.atom->HasPathOfLength(b.atom, 5, true))
                lines.emplace_back(a.position, b.position);
        }
    }
    return lines;
}

} // namespace

TEST_F(BumpMonitorTest, ThresholdsComeFromTheElementTableAndAtomsMissingHydrogensAreLarger)
{
    TreeRoot root;
    // Two bare carbons, each missing hydrogens: (1.55 * 1.08) * 2 * 0.7 = 2.3436.
    Atom3d* const first = AddAtom(new Molecule(&root), "C", 0, 0, 0);
    Atom3d* const second = AddAtom(new Molecule(&root), "C", 2.34, 0, 0);
    auto* const monitor = new BumpMonitor(&root);
    EXPECT_EQ(monitor->GetColor(), Color::Magenta());
    EXPECT_EQ(monitor->GetItem(0), &root);
    EXPECT_EQ(monitor->GetVDWPercent(), 0.7);
    EXPECT_EQ(monitor->GetPropertyAsString("VDW Percent"), "0.70");
    EXPECT_EQ(Draw(*monitor).size(), 2u);
    EXPECT_EQ(monitor->GetNumberOfBumps(), 2);
    EXPECT_EQ(monitor->GetPropertyAsString("Bumps"), "2");
    second->SetXYZ(Point3d(2.35, 0, 0));
    EXPECT_TRUE(Draw(*monitor).empty());
    EXPECT_EQ(monitor->GetNumberOfBumps(), 0);
    delete first->GetParent();
    delete second->GetParent();

    // Saturated carbons: 1.55 * 2 * 0.7 = 2.17.
    SaturatedCarbon(&root, 0, -1);
    Atom3d* const right = SaturatedCarbon(&root, 2.16, 1);
    EXPECT_EQ(Draw(*monitor).size(), 2u);
    DynCast<Molecule>(right->GetParent())->TranslateTree(Point3d(0.02, 0, 0));
    EXPECT_EQ(right->GetXYZ(), Point3d(2.18, 0, 0));
    EXPECT_TRUE(Draw(*monitor).empty());
}

TEST_F(BumpMonitorTest, OneBumpIsDrawnFromBothAtomsWithItsLengthAndOnlyBetweenActiveAtoms)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 2, 0, 0);
    Atom3d* const far = AddAtom(molecule, "C", 9, 0, 0);
    OrdCollection atoms;
    for (Object* atom : {static_cast<Object*>(a), static_cast<Object*>(b), static_cast<Object*>(far)})
        atoms.Add(atom);
    auto* const monitor = new BumpMonitor(molecule, atoms);
    EXPECT_FALSE(monitor->GetShowDistanceLabels());
    ASSERT_TRUE(monitor->SetPropertyFromString("Show distances", "yes"));
    EXPECT_EQ(monitor->GetPropertyAsString("Show distances"), "True");
    DisplayList3D list;
    monitor->Display(list);
    const auto lines = list.GetAll<LinePrimitive>();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]->GetFrom(), a->GetXYZ());
    EXPECT_EQ(lines[0]->GetTo(), b->GetXYZ());
    EXPECT_EQ(lines[1]->GetFrom(), b->GetXYZ());
    EXPECT_TRUE(lines[0]->IsDashed());
    EXPECT_EQ(lines[0]->GetDashes(), 5);
    EXPECT_EQ(lines[0]->GetWidth(), 1.0);
    EXPECT_EQ(lines[0]->GetOID(), monitor->GetOID());
    EXPECT_EQ(lines[0]->GetColor(), Color::Magenta());
    const auto texts = list.GetAll<Text3DPrimitive>();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0]->GetText(), "2.00");
    EXPECT_EQ(texts[0]->GetPosition(), Point3d(1, 0, 0));
    EXPECT_EQ(texts[0]->GetSize(), 0.2);

    // An inactive atom hides its bumps from the drawing only.
    b->Deactivate();
    EXPECT_TRUE(Draw(*monitor).empty());
    EXPECT_EQ(monitor->GetNumberOfBumps(), 2);
    b->Activate();

    // Neither visible, or neither with a style: no bump.
    a->SetInvisible(false);
    b->SetInvisible(false);
    monitor->SetNeedsRecalc(true);
    EXPECT_TRUE(Draw(*monitor).empty());
    a->SetVisible(false);
    a->SetDisplayStyle(0);
    b->SetVisible(false);
    b->SetDisplayStyle(0);
    monitor->SetNeedsRecalc(true);
    EXPECT_TRUE(Draw(*monitor).empty());
    // A change of style is no event of the monitor's: it shows at the next recalculation.
    a->SetDisplayStyle(1);
    EXPECT_TRUE(Draw(*monitor).empty());
    monitor->SetNeedsRecalc(true);
    EXPECT_EQ(Draw(*monitor).size(), 2u);

    // The recalculated event comes once the bumps are counted.
    struct Heard {
        BumpMonitor* monitor;
        std::string bumps;
    } heard{monitor, {}};
    root.RegisterEvent(TreeNode::classType, TreeNode::EventTreeWide, [](Event& event) {
        if (event.CheckType(GeometryMonitor::classType, GeometryMonitor::EventRecalculated)) {
            auto* const data = static_cast<Heard*>(event.GetData());
            data->bumps = data->monitor->GetPropertyAsString("Bumps");
        }
    }, true, &heard, nullptr);
    far->SetXYZ(Point3d(1, 2, 0));
    EXPECT_EQ(Draw(*monitor).size(), 6u);
    EXPECT_EQ(heard.bumps, "6");
    root.UnregisterAllEvents(&heard);

    // An atom deleted unheard (events off) is no longer drawn, and nothing else is touched.
    Base::SetEventNotify(false);
    delete far;
    Base::SetEventNotify(true);
    EXPECT_EQ(Draw(*monitor).size(), 2u);
    EXPECT_EQ(monitor->GetNumberOfBumps(), 6);

    // Losing a bumping atom keeps the monitor; the next drawing goes without it. A fixed set never
    // gains an atom.
    delete b;
    ASSERT_TRUE(Alive(monitor->GetOID()));
    EXPECT_TRUE(Draw(*monitor).empty());
    AddAtom(molecule, "C", 1, 0, 0);
    EXPECT_TRUE(Draw(*monitor).empty());
}

TEST_F(BumpMonitorTest, AtomsFourBondsApartAndDonorAcceptorPairsNeverBump)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    // A chain of six carbons, spread out but for the pair under test.
    std::vector<Atom3d*> chain;
    for (int i = 0; i < 6; ++i) {
        chain.push_back(AddAtom(molecule, "C", 10.0 * i, 0, 0));
        if (i > 0)
            chain[static_cast<std::size_t>(i) - 1]->MakeBond(chain.back(), Bond::Single);
    }
    auto* const monitor = new BumpMonitor(&root);
    for (std::size_t k = 1; k <= 4; ++k) {
        chain[k]->SetXYZ(Point3d(1.5, 0, 0));
        EXPECT_TRUE(Draw(*monitor).empty()) << k << " bonds apart";
        chain[k]->SetXYZ(Point3d(10.0 * static_cast<double>(k), 0, 0));
    }
    chain[5]->SetXYZ(Point3d(1.5, 0, 0));
    EXPECT_EQ(Draw(*monitor).size(), 2u);
    chain[5]->SetXYZ(Point3d(50, 0, 0));

    // Two hydroxyl oxygens (each donor and acceptor) side by side: no bump, where two carbons bump.
    Atom3d* const o1 = AddAtom(molecule, "O", 0, 20, 0);
    Atom3d* const o2 = AddAtom(molecule, "O", 1.5, 20, 0);
    o1->MakeBond(AddAtom(molecule, "C", -1.4, 20, 0), Bond::Single);
    o2->MakeBond(AddAtom(molecule, "C", 2.9, 20, 0), Bond::Single);
    ASSERT_TRUE(o1->IsHBondDonor() && o2->IsHBondAcceptor());
    EXPECT_TRUE(Draw(*monitor).empty());
    o1->SetElement("C");
    o2->SetElement("C");
    EXPECT_EQ(Draw(*monitor).size(), 2u);
}

TEST_F(BumpMonitorTest, LargeAtomsAreFoundWhateverTheSearchRadius)
{
    // Two bare caesium atoms at 70 %: (3.01 * 1.08) * 2 * 0.7 = 4.55; among many carbons, so that the
    // search runs on a grid, and alone, where every pair is tried.
    for (const int carbons : {0, 60}) {
        TreeRoot root;
        AddAtom(new Molecule(&root), "Cs", 0, 0, 0);
        AddAtom(new Molecule(&root), "Cs", 4.55, 0, 0);
        for (int i = 0; i < carbons; ++i)
            AddAtom(new Molecule(&root), "C", 20.0 + 5.0 * (i % 10), 5.0 * ((i / 10) % 10), 5.0 * (i / 100));
        auto* const monitor = new BumpMonitor(&root);
        EXPECT_EQ(Draw(*monitor).size(), 2u) << carbons << " carbons";
        // The largest percent reaches across everything: every unbonded pair bumps.
        ASSERT_TRUE(monitor->SetPropertyFromString("VDW Percent", "100"));
        monitor->SetNeedsRecalc(true);
        const std::size_t atoms = static_cast<std::size_t>(carbons) + 2;
        EXPECT_EQ(Draw(*monitor).size(), atoms * (atoms - 1)) << carbons << " carbons";
    }
}

TEST_F(BumpMonitorTest, TheGridFindsWhatEveryPairWouldInTheSameOrder)
{
    TreeRoot root;
    MonitorSupport::RandomStructure(&root, 600, 23.0, 7);
    auto* const tree = new BumpMonitor(&root);
    const Lines drawn = Draw(*tree);
    EXPECT_GT(drawn.size(), 20u);
    EXPECT_EQ(drawn, AllPairs(*tree));
    ASSERT_TRUE(tree->SetPropertyFromString("VDW Percent", "0.9"));
    tree->SetNeedsRecalc(true);
    const Lines wider = Draw(*tree);
    EXPECT_GT(wider.size(), drawn.size());
    EXPECT_EQ(wider, AllPairs(*tree));
}

TEST_F(BumpMonitorTest, PercentTextAndStoredValuesStayInRange)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    AddAtom(molecule, "C", 0, 0, 0);
    AddAtom(molecule, "C", 2.3, 0, 0);
    auto* const monitor = new BumpMonitor(molecule);
    for (const char* refused : {"0", "-1", "150", "abc"})
        EXPECT_FALSE(monitor->SetPropertyFromString("VDW Percent", refused)) << refused;
    EXPECT_EQ(monitor->GetVDWPercent(), 0.7);
    EXPECT_FALSE(monitor->SetPropertyFromString("Bumps", "3"));

    // A new percent waits for the next event (or loading) to change the drawing.
    EXPECT_EQ(Draw(*monitor).size(), 2u);
    monitor->SetVDWPercent(0.5);
    EXPECT_EQ(monitor->GetPropertyAsString("VDW Percent"), "0.50");
    EXPECT_EQ(Draw(*monitor).size(), 2u);
    const auto loaded = RecordStream::LoadAs<TreeRoot>(RecordStream::Save(root));
    ASSERT_NE(loaded, nullptr);
    auto* const back = DynCast<BumpMonitor>(loaded->GetChild(0)->GetChild(2));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetVDWPercent(), 0.5);
    EXPECT_TRUE(Draw(*back).empty());
    ASSERT_TRUE(back->SetPropertyFromString("VDW Percent", "0.8"));
    ASSERT_TRUE(back->SetPropertyFromString("Show distances", "TRUE"));

    // The stored key holds the square; one out of range loads as the default.
    const auto again = RecordStream::LoadAs<TreeRoot>(RecordStream::Save(*loaded));
    const auto* const kept = DynCast<BumpMonitor>(again->GetChild(0)->GetChild(2));
    ASSERT_NE(kept, nullptr);
    EXPECT_NEAR(kept->GetVDWPercent(), 0.8, 1e-12);
    EXPECT_TRUE(kept->GetShowDistanceLabels());
    for (const double percent : {150.0, 0.0}) {
        monitor->SetVDWPercent(percent);
        const auto stored = RecordStream::LoadAs<TreeRoot>(RecordStream::Save(root));
        const auto* const defaulted = DynCast<BumpMonitor>(stored->GetChild(0)->GetChild(2));
        ASSERT_NE(defaulted, nullptr);
        EXPECT_EQ(defaulted->GetVDWPercent(), 0.7) << percent;
    }

    // Listed after Object's properties; "VDW Percent" is described by the levels below only.
    ObjectProperty::Array listed;
    monitor->GetProperties(listed);
    ASSERT_GE(listed.size(), 3u);
    EXPECT_EQ(listed[listed.size() - 3].GetName(), "Bumps");
    EXPECT_EQ(listed[listed.size() - 2].GetName(), "VDW Percent");
    EXPECT_EQ(listed.back().GetName(), "Show distances");
    for (const ObjectProperty& property : listed)
        EXPECT_NE(property.GetName(), "XYZ");
    EXPECT_FALSE(monitor->GetPropertyAsObjectProperty("VDW Percent").HasValue());
    EXPECT_EQ(monitor->GetPropertyAsObjectProperty("Bumps").GetAccess(), ObjectProperty::AccessReadable);

    // The framework record keeps the tree flag: the copy finds the bump among the molecule's atoms.
    monitor->SetVDWPercent(0.7);
    const auto copy = RecordStream::ArchiveCopy<Molecule>(*molecule);
    ASSERT_NE(copy, nullptr);
    auto* const copied = DynCast<BumpMonitor>(copy->GetChild(2));
    ASSERT_NE(copied, nullptr);
    EXPECT_TRUE(copied->NeedsRecalc());
    EXPECT_EQ(Draw(*copied).size(), 2u);
    AddAtom(copy.get(), "C", 1, 1, 0);
    EXPECT_EQ(Draw(*copied).size(), 6u);
}

TEST_F(BumpMonitorTest, ATreeMonitorWatchesTheUnclippedAtomsBelowItsParentInTreeOrderThenThoseThatCome)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const first = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const clipped = AddAtom(molecule, "C", 5, 0, 0);
    Atom3d* const last = AddAtom(new Molecule(&root), "O", 10, 0, 0);
    clipped->SetClipped(true);
    auto* const monitor = new BumpMonitor(&root);
    const auto items = [&] {
        std::vector<Object*> listed;
        for (int i = 0; i < monitor->GetNumItemsMonitoring(); ++i)
            listed.push_back(monitor->GetItem(i));
        return listed;
    };
    EXPECT_EQ(items(), (std::vector<Object*>{&root, first, last}));
    // The next recalculation takes the atoms unclipped or made meanwhile, after the others, and
    // watches their moves.
    clipped->SetClipped(false);
    Atom3d* const added = AddAtom(molecule, "N", 15, 0, 0);
    Draw(*monitor);
    EXPECT_EQ(items(), (std::vector<Object*>{&root, first, last, clipped, added}));
    added->SetXYZ(Point3d(15, 1, 0));
    EXPECT_TRUE(monitor->NeedsRecalc());
}
