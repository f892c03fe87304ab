#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/ElementFactory.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/InternalBase.h>
#include <tavrel/foundation/DataStorage.h>
#include <tavrel/foundation/InternalPropertyArchive.h>
#include <tavrel/foundation/Property.h>
#include <tavrel/foundation/RuntimeMap.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ArchiveException.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

// Every event heard on a registration, as (class-type identifier, code, attribute).
struct Heard {
    std::uint32_t type;
    std::uint16_t code;
    std::string attribute;
    bool operator==(const Heard&) const = default;
};
std::vector<Heard> g_heard;

class AtomBondTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    // Tests share one process when run together: none hears what an earlier one recorded.
    void SetUp() override { g_heard.clear(); }
};

void Record(Event& event)
{
    g_heard.push_back({event.GetClassType(), event.GetEventType(), event.GetAttribute() ? event.GetAttribute() : ""});
}

void Listen(TreeNode& node, std::uint32_t type, std::uint16_t code, const char* attribute = nullptr)
{
    node.RegisterEvent(type, code, &Record, true, nullptr, attribute);
}

// Reaches the protected bond list of any end, to build what a damaged file would hold.
struct BondListAccess : Atom3d {
    static void List(Bondable& end, Bond* bond) { (end.*(&BondListAccess::AddBond))(bond); }
    static void Unlist(Bondable& end, Bond* bond)
    {
        (end.*static_cast<void (Bondable::*)(Bond*)>(&BondListAccess::RemoveBond))(bond);
    }
};

// Ethane: C1-C2, three hydrogens on each carbon, along the x axis.
// An atom whose stereo assignment gives a fixed code; it notes whether it was asked to decide again.
class DecidedAtom : public Atom3d {
public:
    using Atom3d::Atom3d;
    Chirality GetChirality(bool recalculate) override
    {
        recalculated = recalculate;
        return code;
    }
    Chirality code = ChiralityUndetermined;
    bool recalculated = false;
};

struct Ethane {
    explicit Ethane(Object* parent) : molecule(new Molecule(parent))
    {
        c1 = new Atom3d(molecule, "C");
        c2 = new Atom3d(molecule, "C");
        c2->SetXYZ(Point3d(1.5, 0, 0));
        for (int i = 0; i < 3; ++i) {
            auto* const h1 = new Atom3d(molecule, "H");
            h1->SetXYZ(Point3d(-0.5, static_cast<float>(i), 0));
            c1->MakeBond(h1, Bond::Single);
            auto* const h2 = new Atom3d(molecule, "H");
            h2->SetXYZ(Point3d(2.0, static_cast<float>(i), 0));
            c2->MakeBond(h2, Bond::Single);
        }
        cc = c1->MakeBond(c2, Bond::Single);
    }
    Molecule* molecule;
    Atom3d* c1;
    Atom3d* c2;
    Bond* cc;
};

// A carbon and an oxygen bonded in a molecule.
struct CarbonMonoxide {
    explicit CarbonMonoxide(Object* parent)
        : molecule(new Molecule(parent)), first(new Atom3d(molecule, "C")), second(new Atom3d(molecule, "O")),
          bond(first->MakeBond(second, Bond::Single))
    {
    }
    Molecule* molecule;
    Atom3d* first;
    Atom3d* second;
    Bond* bond;
};

// Every child of loaded matches original's at the same place: atoms by element, position, charge and
// bonds in order, bonds by type, wedge and ends.
void ExpectSameAtomsAndBonds(const Molecule& original, const Molecule& loaded)
{
    ASSERT_EQ(loaded.GetNumChildren(), original.GetNumChildren());
    for (int i = 0; i < original.GetNumChildren(); ++i) {
        const TreeNode* const node = original.GetChild(i);
        const TreeNode* const copy = loaded.GetChild(i);
        ASSERT_EQ(copy->GetClassType(), node->GetClassType());
        EXPECT_EQ(copy->GetIndex(), i);
        if (const auto* const atom = DynCast<Atom3d>(node)) {
            const auto* const atomCopy = static_cast<const Atom3d*>(copy);
            EXPECT_EQ(atomCopy->GetElementType(), atom->GetElementType());
            EXPECT_EQ(atomCopy->GetXYZ(), atom->GetXYZ());
            EXPECT_EQ(atomCopy->GetCharge(), atom->GetCharge());
            ASSERT_EQ(atomCopy->GetNumBonds(), atom->GetNumBonds());
            for (int k = 0; k < atom->GetNumBonds(); ++k)
                EXPECT_EQ(atomCopy->GetBond(k)->GetIndex(), atom->GetBond(k)->GetIndex());
        } else {
            const auto* const bond = static_cast<const Bond*>(node);
            const auto* const bondCopy = static_cast<const Bond*>(copy);
            EXPECT_EQ(bondCopy->GetType(), bond->GetType());
            EXPECT_EQ(bondCopy->GetWedge(), bond->GetWedge());
            EXPECT_EQ(bondCopy->GetAtom1()->GetIndex(), bond->GetAtom1()->GetIndex());
            EXPECT_EQ(bondCopy->GetAtom2()->GetIndex(), bond->GetAtom2()->GetIndex());
        }
    }
}

} // namespace

// An atom's bond list, element, charge and packed codes fit in 48 bytes beyond the positioned object,
// and no padding falls between the levels: with the allocator's 8-byte header an atom takes a 160-byte
// block and a bond a 128-byte one.
static_assert(sizeof(Atom3d) <= sizeof(Geometric3d) + 48);
static_assert(sizeof(Atom3d) <= 152);
static_assert(sizeof(Bond) <= 120);

TEST_F(AtomBondTest, AtomsReachTheirElementsRadiiAndClassNames)
{
    Molecule molecule(nullptr);
    const auto* const chlorine = new Atom3d(&molecule, "CL");
    EXPECT_EQ(chlorine->GetElementType(), 17);
    EXPECT_EQ(chlorine->GetElementSymbol(), "Cl");
    EXPECT_FLOAT_EQ(chlorine->GetBondingRadius(), chlorine->GetCovalentRadius() * 1.15f);
    EXPECT_EQ(chlorine->GetHybridization(), Atom::Sp3);
    EXPECT_EQ(chlorine->GetDisplayStyle(), Atom::StyleLine);
    EXPECT_EQ(chlorine->GetColor(), chlorine->GetElement()->GetColor());
    EXPECT_EQ(chlorine->GetLabel(), "Cl1");
    EXPECT_FLOAT_EQ(Atom3d(nullptr, ElementType{11}).GetBondingRadius(), 0.0f);  // sodium bonds by no radius
    EXPECT_EQ(Atom3d(nullptr, "Xq").GetElementType(), UnknownElementType);
    EXPECT_EQ(Atom3d(nullptr, static_cast<const char*>(nullptr)).GetElement()->GetSymbol(), "?");

    // "Atom" names the concrete atom; the abstract levels have no prototype and no factory.
    EXPECT_EQ(Base::FindClassType("Atom"), Atom3d::classType);
    EXPECT_NE(Base::FindClassType("XXAtom"), Atom3d::classType);
    EXPECT_EQ(Base::FindClassInstance("XXAtom"), nullptr);
    EXPECT_EQ(RuntimeMap::CreateObject("Atom"), nullptr);
    std::unique_ptr<PersistentObject> made(RuntimeMap::CreateObject("Atom3d"));
    const auto* const atom = DynCast<Atom3d>(static_cast<Base*>(made.get()));
    ASSERT_NE(atom, nullptr);
    EXPECT_TRUE(atom->IsA(Bondable::classType));
    EXPECT_EQ(atom->GetHybridization(), Atom::HybridNone);
    EXPECT_EQ(atom->GetCommonName(), "Atom");
}

TEST_F(AtomBondTest, LabelsAndElementChanges)
{
    Molecule molecule(nullptr);
    for (int i = 0; i < 4; ++i)
        new Atom3d(&molecule, "O");
    auto* const carbon = new Atom3d(&molecule, "C");
    EXPECT_EQ(carbon->GetLabel(), "C5");
    carbon->SetLabel("CA");
    carbon->SetFormalCharge(1, 1);
    carbon->SetDonatedLonePairs();
    carbon->ChangeElement("N");
    EXPECT_EQ(carbon->GetLabel(), "N5");
    EXPECT_EQ(carbon->GetFormalCharge(), Rational(0, 1));
    EXPECT_FALSE(carbon->HasProperty("_NFC"));
    EXPECT_FALSE(carbon->HasDonatedLonePairs());
    EXPECT_EQ(carbon->GetColor(), carbon->GetElement()->GetColor());

    // A terminal atom moves to the sum of the covalent radii; one on top of its neighbour stays.
    auto* const anchor = molecule.GetChild(0);
    auto* const oxygen = static_cast<Atom3d*>(anchor);
    carbon->SetXYZ(Point3d(0, 3, 0));
    carbon->MakeBond(oxygen, Bond::Single);
    carbon->ChangeElement("S");
    const float expected = oxygen->GetCovalentRadius() + carbon->GetCovalentRadius();
    EXPECT_NEAR(carbon->GetXYZ().y, expected, 1e-5);
    carbon->SetXYZ(oxygen->GetXYZ());
    carbon->ChangeElement("C");
    EXPECT_EQ(carbon->GetXYZ(), oxygen->GetXYZ());
    EXPECT_FALSE(std::isnan(carbon->GetXYZ().x));
}

TEST_F(AtomBondTest, ChiralityTextsFollowTheCodeAndTheExtraMark)
{
    Molecule molecule(nullptr);
    auto* const atom = new DecidedAtom(&molecule, "C");
    const std::pair<std::int32_t, const char*> texts[] = {
        {Atom::ChiralityUndetermined, "?"}, {Atom::NotStereocentre, ""}, {Atom::ChiralityR, "R"},
        {Atom::ChiralityS, "S"},           {Atom::ChiralityProR, "ProR"}, {Atom::ChiralityProS, "ProS"},
        {Atom::ChiralityExtra6, ""},        {Atom::ChiralityExtra7, ""},   {99, ""}, {-1, ""},
    };
    for (const auto& [code, text] : texts) {
        SCOPED_TRACE(code);
        atom->code = static_cast<Atom::Chirality>(code);
        EXPECT_EQ(atom->GetChiralityAsString(), text);
        EXPECT_STREQ(Atom::GetChiralityName(code), text);
    }
    EXPECT_TRUE(atom->recalculated);

    // The extra mark: 6 appends "*", 7 "?", any other value nothing.
    atom->code = Atom::ChiralityR;
    atom->SetProperty("ChiralityPlus", std::int32_t{Atom::ChiralityExtra6}, 0);
    EXPECT_EQ(atom->GetChiralityAsString(), "R*");
    atom->SetProperty("ChiralityPlus", std::int32_t{Atom::ChiralityExtra7}, 0);
    EXPECT_EQ(atom->GetChiralityAsString(), "R?");
    atom->SetProperty("ChiralityPlus", std::int32_t{Atom::ChiralityS}, 0);
    EXPECT_EQ(atom->GetChiralityAsString(), "R");

    // An atom without four bonds is not a stereocentre.
    EXPECT_EQ((new Atom3d(&molecule, "C"))->GetChiralityAsString(), "");
}

TEST_F(AtomBondTest, BondTypesOrdersAndTextProperties)
{
    Molecule molecule(nullptr);
    Ethane ethane(&molecule);
    Bond& bond = *ethane.cc;
    EXPECT_TRUE(bond.SetPropertyFromString("type", "DATIVE"));
    EXPECT_EQ(bond.GetType(), Bond::Dative);
    EXPECT_DOUBLE_EQ(bond.GetOrder(), 1.0);
    EXPECT_EQ(bond.GetPropertyAsString("Type"), "Dative");
    EXPECT_DOUBLE_EQ(bond.GetValenceContribution(ethane.c1), 2.0);
    EXPECT_DOUBLE_EQ(bond.GetValenceContribution(ethane.c2), 0.0);
    bond.SetType("Dative triple");
    EXPECT_EQ(bond.GetPropertyAsString("Type"), "Dative");
    EXPECT_EQ(bond.GetPropertyAsString("Order"), "3.00");

    bond.SetType(Bond::Double);
    EXPECT_TRUE(bond.SetPropertyFromString("Type", "Pi"));
    EXPECT_EQ(bond.GetPropertyAsString("Order"), "2.00");
    EXPECT_EQ(bond.GetPropertyAsString("Stereochemistry"), "E/Z");
    bond.SetType(Bond::PartialTriple);
    EXPECT_EQ(bond.GetPropertyAsString("Stereochemistry"), "");
    bond.SetType(Bond::Single);
    EXPECT_EQ(bond.GetPropertyAsString("Stereochemistry"), "");
    bond.SetType(static_cast<Bond::BondType>(42));
    EXPECT_EQ(bond.GetOrderName(), "Unknown");
    EXPECT_DOUBLE_EQ(bond.GetOrder(), 1.0);
    EXPECT_FALSE(bond.SetPropertyFromString("Type", "Sextuple"));
    EXPECT_FALSE(bond.SetPropertyFromString("Order", "2"));
    EXPECT_FALSE(bond.SetPropertyFromString("Stereochemistry", "E/Z"));
    EXPECT_EQ(bond.GetType(), 42);

    // Descriptors: Object's first, then Order, Type and Length.
    ObjectProperty::Array listed;
    bond.GetProperties(listed);
    ASSERT_GE(listed.size(), 3u);
    EXPECT_EQ(listed[listed.size() - 3].GetName(), "Order");
    EXPECT_EQ(listed[listed.size() - 2].GetName(), "Type");
    EXPECT_EQ(listed[listed.size() - 2].GetAllValues().size(), 5u);
    EXPECT_EQ(listed.back().GetName(), "Length");
    EXPECT_TRUE(listed.back().IsWritable());
    EXPECT_FALSE(listed[listed.size() - 3].IsWritable());

    // Lengths that are not positive or too large are refused.
    for (const char* refused : {"0", "-1.5", "100000.5", "long", "nan", "1e39", " 0.0 A"})
        EXPECT_FALSE(bond.SetPropertyFromString("Length", refused)) << refused;
    EXPECT_EQ(bond.GetPropertyAsString("Length"), "1.500");

    // Ethane: atom 2 moves with its hydrogens, atom 1's side stays.
    const Point3d h1 = ethane.c1->GetAttached(0)->GetXYZ();
    const Point3d h2 = ethane.c2->GetAttached(0)->GetXYZ();
    EXPECT_TRUE(bond.SetPropertyFromString("Length", " 1.54 trailing"));
    EXPECT_EQ(bond.GetPropertyAsString("Length"), "1.540");
    EXPECT_EQ(ethane.c1->GetXYZ(), Point3d());
    EXPECT_EQ(ethane.c1->GetAttached(0)->GetXYZ(), h1);
    EXPECT_NEAR(ethane.c2->GetAttached(0)->GetXYZ().x, h2.x + 0.04, 1e-5);

    // A ring bond moves atom 1 only; coincident atoms are refused without NaN.
    auto* const a = new Atom3d(&molecule, "C");
    auto* const b = new Atom3d(&molecule, "C");
    auto* const c = new Atom3d(&molecule, "C");
    b->SetXYZ(Point3d(1, 0, 0));
    c->SetXYZ(Point3d(0, 1, 0));
    Bond* const ab = a->MakeBond(b, Bond::Single);
    b->MakeBond(c, Bond::Single);
    c->MakeBond(a, Bond::Single);
    EXPECT_TRUE(ab->SetLength(2.0));
    EXPECT_EQ(b->GetXYZ(), Point3d(1, 0, 0));
    EXPECT_EQ(a->GetXYZ(), Point3d(-1, 0, 0));
    a->SetXYZ(b->GetXYZ());
    EXPECT_FALSE(ab->SetLength(1.0));
    EXPECT_FALSE(ab->SetPropertyFromString("Length", "1.0"));
    EXPECT_EQ(a->GetXYZ(), b->GetXYZ());
}

TEST_F(AtomBondTest, ConnectivityQueriesWalkFragmentsPathsAndRings)
{
    Molecule molecule(nullptr);
    auto* const a = new Atom3d(&molecule, "C");
    auto* const b = new Atom3d(&molecule, "C");
    auto* const c = new Atom3d(&molecule, "C");
    auto* const lone = new Atom3d(&molecule, "O");
    Bond* const ab = a->MakeBond(b, Bond::Single);
    Bond* const bc = b->MakeBond(c, Bond::Single);
    Bond* const ca = c->MakeBond(a, Bond::Single);
    EXPECT_EQ(ab->GetParent(), &molecule);

    SetCollection stops;
    stops.Add(c);
    SetCollection atoms;
    SetCollection bonds;
    a->GetFragment(&atoms, &bonds, &stops, nullptr, true);
    EXPECT_EQ(atoms.GetNumItems(), 3);
    EXPECT_EQ(bonds.GetNumItems(), 3);
    atoms.RemoveAll();
    bonds.RemoveAll();
    a->GetFragment(&atoms, &bonds, &stops, nullptr, false);
    EXPECT_EQ(atoms.GetNumItems(), 2);
    EXPECT_FALSE(atoms.IsMember(c));
    EXPECT_EQ(bonds.GetNumItems(), 3);
    EXPECT_TRUE(a->IsInSameFragment(c));
    EXPECT_FALSE(a->IsInSameFragment(lone));
    EXPECT_TRUE(lone->IsInSameFragment(lone));

    EXPECT_TRUE(a->HasPathOfLength(a, 3, true));
    EXPECT_FALSE(a->HasPathOfLength(a, 3, false));
    EXPECT_TRUE(a->HasPathOfLength(b, 2, false));
    EXPECT_FALSE(a->HasPathOfLength(b, 1, true));
    EXPECT_TRUE(a->HasPathOfLength(b, 3, false));  // a-c-b
    EXPECT_FALSE(a->HasPathOfLength(lone, 6, true));

    EXPECT_TRUE(lone->IsTerminal());
    EXPECT_FALSE(a->IsTerminal());
    EXPECT_FALSE(a->IsInRing());
    ab->SetIsInRing(true);
    EXPECT_TRUE(a->IsInRing());
    auto* const tail = new Atom3d(&molecule, "H");
    Bond* const tailBond = a->MakeBond(tail, Bond::Single);
    tailBond->SetIsInRing(true);
    EXPECT_FALSE(tail->IsInRing());
    EXPECT_TRUE(tailBond->IsTerminal());
    Bondable* first[2] = {};
    EXPECT_EQ(a->GetAttached(first, 2), 2);
    EXPECT_EQ(first[0], b);
    EXPECT_EQ(first[1], c);
    EXPECT_EQ(a->GetAttachedPosition(tail), 2);
    EXPECT_EQ(a->GetAttachedPosition(lone), -1);
    EXPECT_EQ(a->FindBond(c), ca);
    EXPECT_EQ(c->FindBond(b), bc);

    // A bond is selected once both ends are, and stays so.
    a->Select(false);
    EXPECT_FALSE(ab->IsSelected());
    b->Select(false);
    EXPECT_TRUE(ab->IsSelected());
    EXPECT_FALSE(ca->IsSelected());
    a->UnSelect(false);
    EXPECT_TRUE(ab->IsSelected());

    // Deleting an end deletes its bonds.
    delete tail;
    EXPECT_EQ(a->GetNumBonds(), 2);
}

TEST_F(AtomBondTest, LongChainsAndBusyAtomsStayIterative)
{
    Molecule molecule(nullptr);
    constexpr int Length = 100000;
    std::vector<Atom3d*> chain;
    chain.reserve(Length);
    for (int i = 0; i < Length; ++i) {
        chain.push_back(new Atom3d(&molecule, "C"));
        if (i > 0)
            chain[i - 1]->MakeBond(chain[i], Bond::Single);
    }
    SetCollection atoms;
    SetCollection bonds;
    chain.front()->GetFragment(&atoms, &bonds, nullptr, nullptr, false);
    EXPECT_EQ(atoms.GetNumItems(), Length);
    EXPECT_EQ(bonds.GetNumItems(), Length - 1);
    EXPECT_TRUE(chain.front()->IsInSameFragment(chain.back()));

    // More bonds than the inline list holds, then fewer again.
    Atom3d& hub = *chain[1];
    std::vector<Atom3d*> spokes;
    for (int i = 0; i < 9; ++i) {
        spokes.push_back(new Atom3d(&molecule, "H"));
        hub.MakeBond(spokes.back(), Bond::Single);
    }
    EXPECT_EQ(hub.GetNumBonds(), 11);
    EXPECT_EQ(hub.GetAttached(10), spokes.back());
    for (int i = 0; i < 8; ++i)
        delete spokes[i];
    ASSERT_EQ(hub.GetNumBonds(), 3);
    EXPECT_EQ(hub.GetAttached(0), chain[0]);
    EXPECT_EQ(hub.GetAttached(2), spokes.back());
}

TEST_F(AtomBondTest, MakeBondRefusesNullAndSelfAndRetypesAnExistingBond)
{
    Molecule molecule(nullptr);
    auto* const a = new Atom3d(&molecule, "C");
    auto* const b = new Atom3d(&molecule, "C");
    EXPECT_EQ(a->MakeBond(nullptr, Bond::Single), nullptr);
    EXPECT_EQ(a->MakeBond(a, Bond::Single), nullptr);
    EXPECT_EQ(a->GetNumBonds(), 0);

    Bond* const bond = a->MakeBond(b, Bond::Single);
    g_heard.clear();
    Listen(molecule, Bondable::classType, Bondable::EventBondAdded);
    Listen(molecule, Bond::classType, Bond::EventTypeSet);
    EXPECT_EQ(b->MakeBond(a, Bond::Triple), bond);
    EXPECT_EQ(g_heard, (std::vector<Heard>{{Bond::classType, Bond::EventTypeSet, ""}}));
    EXPECT_EQ(a->GetHybridization(), Atom::Sp);

    // Ends that are not atoms are bonded without atom calls.
    std::unique_ptr<PersistentObject> made(RuntimeMap::CreateObject("Bondable"));
    auto* const plain = DynCast<Bondable>(static_cast<Base*>(made.get()));
    ASSERT_NE(plain, nullptr);
    plain->SetParent(&molecule);
    made.release();
    Bond* const odd = a->MakeBond(plain, Bond::Double);
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->GetDisplaySize(), 0.0f);
    EXPECT_EQ(plain->GetNumBonds(), 1);
}

namespace {

// Deletes the object whose OID the registration holds, once.
void DeleteDoomed(Event& event)
{
    auto* const doomed = static_cast<std::uint32_t*>(event.GetData());
    if (*doomed != 0)
        delete Object::GetObjectA(std::exchange(*doomed, 0));
}

} // namespace

TEST_F(AtomBondTest, ABondIsNotMadeWhenListenersDeleteAnEndWhileItIsBuilt)
{
    enum Where { OnMolecule, OnFirst, OnSecond };
    struct Step {
        const char* name;
        std::uint32_t type;
        std::uint16_t code;
        Where where;
        bool deleteFirst;
    };
    const Step steps[] = {
        {"bond created", TreeNode::classType, TreeNode::EventCreated, OnMolecule, false},
        {"added at the first end", Bondable::classType, Bondable::EventBondAdded, OnFirst, false},
        {"added at the first end, which dies", Bondable::classType, Bondable::EventBondAdded, OnFirst, true},
        {"added at the second end", Bondable::classType, Bondable::EventBondAdded, OnSecond, true},
        {"type set", Bond::classType, Bond::EventTypeSet, OnMolecule, false},
        {"hybridization perceived", Atom3d::classType, Atom3d::EventHybridizationSet, OnFirst, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        Molecule molecule(nullptr);
        auto* const first = new Atom3d(&molecule, "C");
        auto* const second = new Atom3d(&molecule, "C");
        auto* const hydrogen = new Atom3d(&molecule, "H");
        first->MakeBond(hydrogen, Bond::Single);
        second->MakeBond(hydrogen, Bond::Single);
        Atom3d* const survivor = step.deleteFirst ? second : first;
        std::uint32_t doomed = (step.deleteFirst ? first : second)->GetOID();
        TreeNode* const listener = step.where == OnMolecule ? static_cast<TreeNode*>(&molecule)
                                   : step.where == OnFirst  ? first
                                                            : second;
        listener->RegisterEvent(step.type, step.code, &DeleteDoomed, step.where == OnMolecule, &doomed, nullptr);

        EXPECT_EQ(first->MakeBond(second, Bond::Double), nullptr);
        EXPECT_EQ(doomed, 0u);
        // The survivor keeps its bond to the hydrogen only; no bond is left half made in the tree.
        ASSERT_EQ(survivor->GetNumBonds(), 1);
        EXPECT_EQ(survivor->GetAttached(0), hydrogen);
        EXPECT_EQ(hydrogen->GetNumBonds(), 1);
        EXPECT_EQ(molecule.GetNumChildren(Bond::classType), 1);
        EXPECT_EQ(survivor->PerceiveHybridization(), Atom::Sp3);
    }
}

TEST_F(AtomBondTest, AnAtomBelowItsOwnBondIsLabelledAndDeletedOnce)
{
    Molecule molecule(nullptr);
    auto* const first = new Atom3d(&molecule, "C");
    auto* const second = new Atom3d(&molecule, "O");
    Bond* const bond = first->MakeBond(second, Bond::Double);
    ASSERT_NE(bond, nullptr);
    first->SetParent(bond);
    ASSERT_EQ(first->GetParent(), bond);
    const std::uint32_t firstOID = first->GetOID();
    const std::uint32_t bondOID = bond->GetOID();

    // Its label names the end's container, the bond itself, by its ends alone.
    EXPECT_EQ(bond->GetLabel(), first->GetLabel() + " - " + second->GetLabel() + ":" + first->GetLabel() + " - " +
                                    molecule.GetLabel() + ":" + second->GetLabel());

    // The bond goes with its end and deletes its children, which must not delete the end again.
    delete first;
    EXPECT_EQ(Base::GetObjectA(firstOID), nullptr);
    EXPECT_EQ(Base::GetObjectA(bondOID), nullptr);
    EXPECT_EQ(second->GetNumBonds(), 0);
    EXPECT_EQ(molecule.GetNumChildren(), 1);
}

TEST_F(AtomBondTest, AtomEventsCarryTheirCodes)
{
    TreeRoot root;
    auto* const first = new Molecule(&root);
    auto* const second = new Molecule(&root);
    auto* const loose = new Object(&root);
    for (auto [type, code] : std::vector<std::pair<std::uint32_t, std::uint16_t>>{
             {Atom3d::classType, Atom3d::EventElementSet},
             {Atom3d::classType, Atom3d::EventFormalChargeSet},
             {Atom3d::classType, Atom3d::EventAtomAdded},
             {Atom3d::classType, Atom3d::EventLeavingMolecule},
             {Atom3d::classType, Atom3d::EventHybridizationSet},
             {Atom3d::classType, Atom3d::EventAtom3dDeleted},
             {Atom::classType, Atom::EventDestroyed},
             {Bondable::classType, Bondable::EventBondRemoved},
             {Bond::classType, Bond::EventDeleted}})
        Listen(root, type, code);
    Listen(root, Object::classType, Object::EventPropertySet, "Partial Charge");
    Listen(root, Object::classType, Object::EventPropertySet, "Hybridization");

    g_heard.clear();
    auto* const atom = new Atom3d(first, "C");
    EXPECT_EQ(g_heard, (std::vector<Heard>{{Atom3d::classType, Atom3d::EventAtomAdded, ""}}));

    g_heard.clear();
    atom->SetParent(second);
    atom->SetParent(loose);
    EXPECT_EQ(g_heard, (std::vector<Heard>{{Atom3d::classType, Atom3d::EventLeavingMolecule, ""},
                                           {Atom3d::classType, Atom3d::EventAtomAdded, ""},
                                           {Atom3d::classType, Atom3d::EventLeavingMolecule, ""}}));
    atom->SetParent(first);

    // The stored float decides: a value that narrows to it raises nothing.
    atom->SetCharge(0.1);
    g_heard.clear();
    atom->SetCharge(static_cast<double>(static_cast<float>(0.1)));
    atom->SetCharge(std::nan(""));
    atom->SetBallSize(0.404f);
    EXPECT_TRUE(g_heard.empty());
    EXPECT_FLOAT_EQ(atom->GetBallSize(), 0.40f);
    atom->SetCharge(-0.25);
    EXPECT_EQ(g_heard, (std::vector<Heard>{{Object::classType, Object::EventPropertySet, "Partial Charge"}}));

    auto* const partner = new Atom3d(first, "C");
    partner->SetXYZ(Point3d(1.2f, 0, 0));
    atom->MakeBond(partner, Bond::Triple);
    atom->SetHybridization(Atom::Sp3);
    g_heard.clear();
    atom->SetHybridization(Atom::PerceiveRequest);
    atom->SetHybridization(Atom::PerceiveRequest);
    EXPECT_EQ(atom->GetHybridization(), Atom::Sp);
    EXPECT_EQ(g_heard, (std::vector<Heard>{{Object::classType, Object::EventPropertySet, "Hybridization"},
                                           {Atom3d::classType, Atom3d::EventHybridizationSet, ""}}));

    g_heard.clear();
    atom->SetFormalCharge(0, 1);
    EXPECT_TRUE(atom->HasProperty("_DFC"));
    atom->SetFormalCharge(0, 0);
    EXPECT_FALSE(atom->HasProperty("_NFC"));
    EXPECT_EQ(atom->GetFormalCharge(), Rational(0, 1));
    atom->SetElement(ElementType{6});
    EXPECT_EQ(g_heard, (std::vector<Heard>{{Atom3d::classType, Atom3d::EventFormalChargeSet, ""},
                                           {Atom3d::classType, Atom3d::EventFormalChargeSet, ""},
                                           {Atom3d::classType, Atom3d::EventElementSet, ""}}));

    // Once it has left the tree, the atom's own later events reach nobody above; its bond's and its
    // partner's still do.
    g_heard.clear();
    delete atom;
    EXPECT_EQ(g_heard, (std::vector<Heard>{{Atom3d::classType, Atom3d::EventAtom3dDeleted, ""},
                                           {Atom3d::classType, Atom3d::EventLeavingMolecule, ""},
                                           {Bond::classType, Bond::EventDeleted, ""},
                                           {Bondable::classType, Bondable::EventBondRemoved, ""}}));
    EXPECT_EQ(partner->GetNumBonds(), 0);
}

TEST_F(AtomBondTest, AnArrivalIsHeardExactlyWhereARegistrationCanHearIt)
{
    TreeRoot root;
    auto* const group = new Object(&root);
    auto* const molecule = new Molecule(group);
    auto* const other = new Molecule(&root);
    auto* const atom = new Atom3d(static_cast<Object*>(nullptr), "C");
    const auto arrivals = [] {
        return std::count(g_heard.begin(), g_heard.end(), Heard{Atom3d::classType, Atom3d::EventAtomAdded, ""});
    };

    // A plain registration above hears only its own node's events.
    molecule->RegisterEvent(Atom3d::classType, Atom3d::EventAtomAdded, &Record, false, nullptr, nullptr);
    g_heard.clear();
    atom->SetParent(molecule);
    EXPECT_EQ(arrivals(), 0);

    // A tree registration made while the atom is elsewhere reaches it when it arrives, also on a copy
    // that joins parentless.
    Listen(*group, Atom3d::classType, Atom3d::EventAtomAdded);
    atom->SetParent(other);
    g_heard.clear();
    atom->SetParent(molecule);
    EXPECT_EQ(arrivals(), 1);
    auto* const copy = DynCast<Atom3d>(atom->NodeCopy());
    ASSERT_NE(copy, nullptr);
    copy->SetParent(molecule);
    EXPECT_EQ(arrivals(), 2);
    // Gone again, it leaves nothing to hear; the atom's own registration hears it wherever it goes.
    group->UnregisterEvent(Atom3d::classType, Atom3d::EventAtomAdded, &Record, true, nullptr, nullptr);
    copy->SetParent(other);
    copy->SetParent(molecule);
    EXPECT_EQ(arrivals(), 2);
    copy->RegisterEvent(Atom3d::classType, Atom3d::EventAtomAdded, &Record, false, nullptr, nullptr);
    copy->SetParent(other);
    EXPECT_EQ(arrivals(), 3);

    // Unheard, a new bond still marks both ends and the molecule modified.
    auto* const partner = new Atom3d(molecule, "C");
    root.ClearModified();
    ASSERT_NE(atom->MakeBond(partner, Bond::Single), nullptr);
    EXPECT_TRUE(atom->IsModified() && partner->IsModified() && molecule->IsModified());
}

namespace {

// A molecule with every atom and bond field away from its default.
std::unique_ptr<Molecule> MakeRichMolecule()
{
    auto molecule = std::make_unique<Molecule>(nullptr);
    molecule->SetLabel("mol");
    auto* const n = new Atom3d(molecule.get(), "N");
    auto* const c = new Atom3d(molecule.get(), "C");
    auto* const o = new Atom3d(molecule.get(), "O");
    n->SetXYZ(Point3d(1.25f, -2.5f, 0.125f));
    n->SetLabel("N1A");
    n->SetCharge(-0.375);
    n->SetFormalCharge(1, 2);
    n->SetCPKScale(1.37f);
    n->SetBallSize(0.55f);
    n->SetStickRadius(0.3f);
    n->SetColor(Color(10, 20, 30));
    c->SetXYZ(Point3d(2.5f, 0, 0));
    o->SetXYZ(Point3d(3.5f, 1, 0));
    n->MakeBond(c, Bond::Single);
    Bond* const co = c->MakeBond(o, Bond::Double);
    co->SetWedge(3);
    co->SetIsInRing(true);
    co->SetOrder(1.7);
    n->SetHybridization(Atom::TrigonalPrism);
    return molecule;
}

void ExpectRichMolecule(const Molecule& molecule, float doubleOrder)
{
    ASSERT_EQ(molecule.GetNumChildren(), 5);
    const auto* const n = DynCast<Atom3d>(molecule.GetChild(0));
    const auto* const c = DynCast<Atom3d>(molecule.GetChild(1));
    const auto* const o = DynCast<Atom3d>(molecule.GetChild(2));
    ASSERT_TRUE(n && c && o);
    EXPECT_EQ(n->GetElementType(), 7);
    EXPECT_EQ(n->GetXYZ(), Point3d(1.25f, -2.5f, 0.125f));
    EXPECT_EQ(n->GetLabel(), "N1A");
    EXPECT_DOUBLE_EQ(n->GetCharge(), -0.375);
    EXPECT_EQ(n->GetFormalCharge().GetNumerator(), 1);
    EXPECT_EQ(n->GetFormalCharge().GetDenominator(), 2);
    EXPECT_FLOAT_EQ(n->GetCPKScale(), 1.37f);
    EXPECT_FLOAT_EQ(n->GetBallSize(), 0.55f);
    EXPECT_FLOAT_EQ(n->GetStickRadius(), 0.3f);
    EXPECT_EQ(n->GetHybridization(), Atom::TrigonalPrism);
    EXPECT_EQ(n->GetColor(), Color(10, 20, 30));
    EXPECT_EQ(c->GetLabel(), "C2");
    ASSERT_EQ(n->GetNumBonds(), 1);
    ASSERT_EQ(c->GetNumBonds(), 2);
    ASSERT_EQ(o->GetNumBonds(), 1);
    const Bond* const nc = n->GetBond(0);
    const Bond* const co = o->GetBond(0);
    EXPECT_EQ(c->GetBond(0), nc);
    EXPECT_EQ(c->GetBond(1), co);
    EXPECT_EQ(nc->GetAtom1(), n);
    EXPECT_EQ(nc->GetAtom2(), c);
    EXPECT_EQ(co->GetAtom1(), c);
    EXPECT_EQ(co->GetType(), Bond::Double);
    EXPECT_EQ(co->GetWedge(), 3);
    EXPECT_TRUE(co->IsInRing());
    EXPECT_FLOAT_EQ(static_cast<float>(co->GetOrder()), doubleOrder);
    EXPECT_EQ(co->GetParent(), &molecule);
    EXPECT_EQ(co->GetLabel(), "C2 - O3");
}

} // namespace

TEST_F(AtomBondTest, ElementAndClipChangesHeardOrNotLeaveTheSameState)
{
    TreeRoot root;
    const auto [molecule, first, second, bond] = CarbonMonoxide(&root);
    ASSERT_NE(bond, nullptr);

    // Unheard: the mark is still cleared and the atom and its parents marked modified.
    first->SetDonatedLonePairs();
    root.ClearModified();
    first->SetElement(ElementType{7});
    EXPECT_EQ(first->GetAtomicNumber(), 7);
    EXPECT_FALSE(first->HasDonatedLonePairs());
    EXPECT_TRUE(first->IsModified());
    EXPECT_TRUE(root.IsModified());

    // An unchanged clip state marks the bond modified; a changed one is stored.
    root.ClearModified();
    bond->UpdateClipped();
    EXPECT_TRUE(bond->IsModified());
    EXPECT_FALSE(bond->IsClipped());
    first->SetClipped(true);
    second->SetClipped(true);
    EXPECT_TRUE(bond->IsClipped());
    bond->UpdateClipped();
    EXPECT_TRUE(bond->IsClipped());

    // Heard, by a tree listener or by the atom's own registration, every event still comes, also
    // when nothing changed.
    Listen(*molecule, Object::classType, Object::EventPropertyRemoved);
    Listen(*molecule, TreeNode::classType, TreeNode::EventDisplayChanged);
    first->SetElement(ElementType{7});
    bond->UpdateClipped();
    EXPECT_EQ(g_heard, (std::vector<Heard>{{Object::classType, Object::EventPropertyRemoved, ""},
                                           {TreeNode::classType, TreeNode::EventDisplayChanged, ""}}));
    g_heard.clear();
    second->RegisterEvent(Atom3d::classType, Atom3d::EventElementSet, &Record, false, nullptr, nullptr);
    second->SetElement(ElementType{8});
    EXPECT_EQ(g_heard, (std::vector<Heard>{{Object::classType, Object::EventPropertyRemoved, ""},
                                           {Atom3d::classType, Atom3d::EventElementSet, ""}}));
    g_heard.clear();

    // A new atom takes the unknown element before it joins, unheard, and is marked modified.
    struct NewAtom : Atom3d {
        NewAtom() = default;
        explicit NewAtom(Object* parent) : Atom3d(parent) {}
    };
    const auto* const joined = new NewAtom(molecule);
    const NewAtom alone;
    EXPECT_TRUE(g_heard.empty());
    EXPECT_EQ(joined->GetElementType(), UnknownElementType);
    EXPECT_EQ(alone.GetElementSymbol(), "?");
    EXPECT_TRUE(alone.IsModified());
}

// An atom without user properties takes a new element with only its mark when no one hears, and with
// the event alone when only the element event is heard.
TEST_F(AtomBondTest, ElementSetOnAnAtomWithoutPropertiesMarksItOrIsHeard)
{
    TreeRoot root;
    const auto [molecule, first, second, bond] = CarbonMonoxide(&root);
    ASSERT_NE(bond, nullptr);
    root.ClearModified();
    first->SetElement(ElementType{7});
    EXPECT_EQ(first->GetAtomicNumber(), 7);
    EXPECT_TRUE(first->IsModified());
    EXPECT_TRUE(molecule->IsModified());
    EXPECT_TRUE(root.IsModified());
    EXPECT_FALSE(second->IsModified());
    first->SetElement(ElementType{8});
    EXPECT_EQ(first->GetAtomicNumber(), 8);

    second->RegisterEvent(Atom3d::classType, Atom3d::EventElementSet, &Record, false, nullptr, nullptr);
    second->SetElement(ElementType{6});
    second->SetElement(ElementType{6});
    EXPECT_EQ(g_heard, (std::vector<Heard>{{Atom3d::classType, Atom3d::EventElementSet, ""},
                                           {Atom3d::classType, Atom3d::EventElementSet, ""}}));
    EXPECT_TRUE(second->IsModified());
}

// Registrations of the object's own, not on the tree, reach the same events as tree listeners.
TEST_F(AtomBondTest, OwnRegistrationsHearElementAndClipEvents)
{
    TreeRoot root;
    const auto [molecule, first, second, bond] = CarbonMonoxide(&root);
    ASSERT_NE(bond, nullptr);

    first->RegisterEvent(Object::classType, Object::EventPropertyRemoved, &Record, false, nullptr, nullptr);
    first->SetElement(ElementType{7});
    EXPECT_EQ(g_heard, (std::vector<Heard>{{Object::classType, Object::EventPropertyRemoved, ""}}));
    g_heard.clear();

    // Unchanged, then changed by its ends: each update is heard, and the state follows the ends.
    bond->RegisterEvent(TreeNode::classType, TreeNode::EventDisplayChanged, &Record, false, nullptr, nullptr);
    bond->UpdateClipped();
    first->SetClipped(true);
    EXPECT_FALSE(bond->IsClipped());
    second->SetClipped(true);
    EXPECT_TRUE(bond->IsClipped());
    const Heard display{TreeNode::classType, TreeNode::EventDisplayChanged, ""};
    EXPECT_EQ(g_heard, (std::vector<Heard>{display, display, display}));
}

// A list that shrinks and grows again, inline and on the heap, holds exactly the live bonds.
TEST_F(AtomBondTest, BondListShrinksAndGrowsWithoutStaleEntries)
{
    Molecule molecule(nullptr);
    auto* const centre = new Atom3d(&molecule, "C");
    std::vector<Atom3d*> ends;
    for (int i = 0; i < 6; ++i) {
        ends.push_back(new Atom3d(&molecule, "H"));
        centre->MakeBond(ends.back(), Bond::Single);
    }
    const auto expectEnds = [&](const std::vector<Atom3d*>& expected) {
        ASSERT_EQ(centre->GetNumBonds(), static_cast<int>(expected.size()));
        for (int i = 0; i < centre->GetNumBonds(); ++i) {
            ASSERT_NE(centre->GetBond(i), nullptr);
            EXPECT_EQ(centre->GetAttached(i), expected[static_cast<std::size_t>(i)]);
        }
    };
    expectEnds(ends);
    // Down to two inline entries, then up to three and back onto the heap.
    for (int i : {5, 4, 3, 1})
        delete ends[static_cast<std::size_t>(i)];
    expectEnds({ends[0], ends[2]});
    auto* const third = new Atom3d(&molecule, "O");
    centre->MakeBond(third, Bond::Single);
    expectEnds({ends[0], ends[2], third});
    std::vector<Atom3d*> more{ends[0], ends[2], third};
    for (int i = 0; i < 3; ++i) {
        more.push_back(new Atom3d(&molecule, "N"));
        centre->MakeBond(more.back(), Bond::Single);
    }
    expectEnds(more);
}

// A copy meets the bonds in tree order; each end lists their copies in its own order all the same.
TEST_F(AtomBondTest, ACopyListsEachEndsBondsInItsOrderNotInTreeOrder)
{
    Molecule molecule(nullptr);
    auto* const centre = new Atom3d(&molecule, "C");
    std::vector<Atom3d*> ends;
    for (int i = 0; i < 6; ++i)
        ends.push_back(new Atom3d(&molecule, "H"));
    for (Atom3d* const end : ends)
        centre->MakeBond(end, Bond::Single);
    // The six bonds (children 7 to 12) placed in the order 3 0 5 1 4 2.
    ASSERT_TRUE(molecule.ReorderChildren({0, 1, 2, 3, 4, 5, 6, 8, 10, 12, 7, 11, 9}));
    const std::unique_ptr<TreeNode> copy(molecule.TreeCopy());
    ExpectSameAtomsAndBonds(molecule, static_cast<const Molecule&>(*copy));
}

TEST_F(AtomBondTest, MoleculeSurvivesBothRecordFormsWithEveryField)
{
    const std::unique_ptr<Molecule> molecule = MakeRichMolecule();
    for (auto form : {RecordStream::Form::Plain, RecordStream::Form::Compressed}) {
        const std::unique_ptr<Molecule> loaded = RecordStream::LoadAs<Molecule>(RecordStream::Save(*molecule, form), form);
        ASSERT_NE(loaded, nullptr);
        // The property stream recomputes the order from the type.
        ExpectRichMolecule(*loaded, 2.0f);
    }

    Archive out;
    out.WriteObject(molecule.get());
    Archive in(out.GetBuffer());
    std::unique_ptr<PersistentObject> read(in.ReadObject(&Molecule::GetThisClass()));
    const auto* const loaded = DynCast<Molecule>(static_cast<Base*>(read.get()));
    ASSERT_NE(loaded, nullptr);
    ExpectRichMolecule(*loaded, 1.7f);
}

TEST_F(AtomBondTest, LoadingDropsBondsAnEndDoesNotOwn)
{
    Molecule molecule(nullptr);
    auto* const a = new Atom3d(&molecule, "C");
    auto* const b = new Atom3d(&molecule, "C");
    auto* const stranger = new Atom3d(&molecule, "O");
    Bond* const ab = a->MakeBond(b, Bond::Single);
    // A list that names a bond twice, and a bond of two other atoms.
    BondListAccess::List(*a, ab);
    BondListAccess::List(*stranger, ab);
    const RecordStream::Bytes bytes = RecordStream::Save(molecule);
    Archive framework;
    framework.WriteObject(&molecule);
    // The originals get their sound lists back.
    BondListAccess::Unlist(*stranger, ab);
    BondListAccess::Unlist(*a, ab);
    ASSERT_EQ(a->GetNumBonds(), 1);

    const std::unique_ptr<Molecule> loaded = RecordStream::LoadAs<Molecule>(bytes);
    Archive in(framework.GetBuffer());
    std::unique_ptr<PersistentObject> read(in.ReadObject(&Molecule::GetThisClass()));
    for (const Molecule* copy : {loaded.get(), DynCast<Molecule>(static_cast<Base*>(read.get()))}) {
        ASSERT_NE(copy, nullptr);
        const auto* const a2 = DynCast<Atom3d>(copy->GetChild(0));
        const auto* const b2 = DynCast<Atom3d>(copy->GetChild(1));
        const auto* const stranger2 = DynCast<Atom3d>(copy->GetChild(2));
        ASSERT_TRUE(a2 && b2 && stranger2);
        EXPECT_EQ(a2->GetNumBonds(), 1);
        EXPECT_EQ(b2->GetNumBonds(), 1);
        EXPECT_EQ(stranger2->GetNumBonds(), 0);
        EXPECT_EQ(a2->GetBond(0), b2->GetBond(0));
    }
}

TEST_F(AtomBondTest, BondedChainsAreWrittenAndReadByPlansFromTheFirstRecordOn)
{
    // Each atom's record opens inside the record of the bond before it, so no record of either class
    // ends before the last atom's begins.
    constexpr int Atoms = 300;
    Molecule molecule(nullptr);
    Atom3d* previous = nullptr;
    for (int i = 0; i < Atoms; ++i) {
        auto* const atom = new Atom3d(&molecule, i % 3 == 0 ? "N" : "C");
        atom->SetXYZ(Point3d(0.5 * i, i % 7, 0));
        atom->SetCharge(0.01 * i);
        if (previous)
            previous->MakeBond(atom, i % 2 == 0 ? Bond::Double : Bond::Single)->SetWedge(i);
        previous = atom;
    }
    const StreamRecordCounts before = CountStreamRecordsForTests();
    const RecordStream::Bytes bytes = RecordStream::Save(molecule);
    const std::unique_ptr<Molecule> loaded = RecordStream::LoadAs<Molecule>(bytes);
    const StreamRecordCounts after = CountStreamRecordsForTests();
    constexpr std::size_t Records = 1 + Atoms + (Atoms - 1);
    EXPECT_EQ(after.written - before.written, Records);
    EXPECT_EQ(after.writtenByPlan - before.writtenByPlan, Records);
    EXPECT_EQ(after.read - before.read, Records);
    EXPECT_EQ(after.readByPlan - before.readByPlan, Records);

    ASSERT_NE(loaded, nullptr);
    ExpectSameAtomsAndBonds(molecule, *loaded);
}

TEST_F(AtomBondTest, ListsWhoseMembersOpenRecordsMidwayKeepTheirOrderThroughASave)
{
    // A hub bonded to a ring of six, the bonds made out of order: by the time a list (the hub's
    // bonds, a ring atom's, the molecule's children) reaches a member, the member's record may be
    // written, may open there, or may be open around it, for records of either class after their first.
    Molecule molecule(nullptr);
    auto* const hub = new Atom3d(&molecule, "C");
    std::vector<Atom3d*> ring;
    for (int i = 0; i < 6; ++i)
        ring.push_back(new Atom3d(&molecule, i % 2 == 0 ? "C" : "N"));
    for (const int i : {3, 0, 5, 1, 4, 2})
        hub->MakeBond(ring[i], Bond::Single);
    for (int i = 0; i < 6; ++i)
        ring[(5 * i) % 6]->MakeBond(ring[(5 * i + 1) % 6], i % 2 == 0 ? Bond::Double : Bond::Single)->SetWedge(i);

    for (auto form : {RecordStream::Form::Plain, RecordStream::Form::Compressed}) {
        const std::unique_ptr<Molecule> loaded = RecordStream::LoadAs<Molecule>(RecordStream::Save(molecule, form), form);
        ASSERT_NE(loaded, nullptr);
        ExpectSameAtomsAndBonds(molecule, *loaded);
    }
}

TEST_F(AtomBondTest, AnAtomRefusedWithAnEmptyEntryInItsBondListIsFreed)
{
    // A framework record of an atom whose bond list holds a null reference, cut short.
    const RecordStream::Bytes bytes{
        0xff, 0xff, 0x0d, 0x00, 0x08, 0x00, 0x58, 0x58, 0x41, 0x74, 0x6f, 0x6d, 0x33, 0x64, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0c, 0x80, 0x55, 0x00, 0x00, 0x70, 0x00, 0x00, 0x01, 0x0f, 0x00,
        0x00, 0x00, 0x00, 0x0f, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00,
        0x00, 0x01, 0x00};
    Archive in(bytes);
    EXPECT_THROW(std::unique_ptr<PersistentObject>(in.ReadObject()), ArchiveException);
}

TEST_F(AtomBondTest, ABondThatAnEndDropsAfterThatEndFinishedLoadingIsListedThereAgainByItsOwnFinishing)
{
    // The ends' finishing notes the bonds it keeps; an end that lets go of one in between drops the note.
    Molecule molecule(nullptr);
    auto* const a = new Atom3d(&molecule, "C");
    auto* const b = new Atom3d(&molecule, "N");
    Bond* const ab = a->MakeBond(b, Bond::Single);
    a->FinishLoading(0);
    b->FinishLoading(0);
    BondListAccess::Unlist(*b, ab);
    ab->FinishLoading(0);
    ASSERT_EQ(b->GetNumBonds(), 1);
    EXPECT_EQ(b->GetBond(0), ab);
    // Kept by both ends, it is listed once on each.
    for (TreeNode* node : std::initializer_list<TreeNode*>{a, b, ab})
        node->FinishLoading(0);
    EXPECT_EQ(a->GetNumBonds(), 1);
    EXPECT_EQ(b->GetNumBonds(), 1);
}

TEST_F(AtomBondTest, ABondThatAnEndDoesNotListIsListedByALoadAndForgottenByARefusedOne)
{
    // The bond names both atoms, but the second one's list leaves it out. A load in either record form
    // lists it there; a refused load (every truncation) deletes atoms and bond in any order without
    // touching the dead.
    Molecule molecule(nullptr);
    auto* const a = new Atom3d(&molecule, "C");
    auto* const b = new Atom3d(&molecule, "N");
    Bond* const ab = a->MakeBond(b, Bond::Double);
    BondListAccess::Unlist(*b, ab);
    const RecordStream::Bytes compressed = RecordStream::Save(molecule, RecordStream::Form::Compressed);
    const RecordStream::Bytes plain = RecordStream::Save(molecule, RecordStream::Form::Plain);
    Archive framework;
    framework.WriteObject(&molecule);
    BondListAccess::List(*b, ab);

    const auto expectListed = [](const Molecule* copy) {
        ASSERT_NE(copy, nullptr);
        ASSERT_EQ(copy->GetNumChildren(), 3);
        const auto* const b2 = DynCast<Atom3d>(copy->GetChild(1));
        ASSERT_NE(b2, nullptr);
        ASSERT_EQ(b2->GetNumBonds(), 1);
        const Bond* const bond = b2->GetBond(0);
        EXPECT_TRUE(bond->GetAtom1() == copy->GetChild(0) && bond->GetAtom2() == b2);
    };
    const std::size_t live = CountLiveObjectsForTests();
    expectListed(RecordStream::LoadAs<Molecule>(compressed, RecordStream::Form::Compressed).get());
    expectListed(RecordStream::LoadAs<Molecule>(plain, RecordStream::Form::Plain).get());
    {
        Archive in(framework.GetBuffer());
        const std::unique_ptr<PersistentObject> read(in.ReadObject(&Molecule::GetThisClass()));
        expectListed(DynCast<Molecule>(static_cast<Base*>(read.get())));
    }
    for (const auto& [bytes, form] : {std::pair{compressed, RecordStream::Form::Compressed},
                                      std::pair{plain, RecordStream::Form::Plain}}) {
        for (std::size_t size = 0; size < bytes.size(); ++size) {
            const RecordStream::Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
            EXPECT_THROW(std::unique_ptr<Base>(RecordStream::Load(cut, form)), ArchiveException) << size;
        }
    }
    const std::vector<std::uint8_t>& whole = framework.GetBuffer();
    for (std::size_t size = 0; size < whole.size(); ++size) {
        Archive in(std::vector<std::uint8_t>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
        const std::uint32_t lastOIDBefore = Base::GetLastOID();
        EXPECT_THROW(std::unique_ptr<PersistentObject>(in.ReadObject(&Molecule::GetThisClass())), ArchiveException);
        // As a document does: what the refused read made that no parent took is the caller's.
        TreeNode::DeleteParentlessSince(lastOIDBefore, Base::GetLastOID());
    }
    EXPECT_EQ(CountLiveObjectsForTests(), live);
}

TEST_F(AtomBondTest, ABondFirstReadInTheListOfAnAtomItDoesNotNameGoesWithWhatItsRecordMade)
{
    // The stranger lists a bond of two other atoms, so the bond's record and its ends' are read inside
    // the stranger's list. The stranger drops the bond; nothing else holds it or its ends.
    auto* const a = new Atom3d(nullptr, "C");
    auto* const b = new Atom3d(nullptr, "N");
    Bond* const ab = a->MakeBond(b, Bond::Single);
    Atom3d stranger(nullptr, "O");
    BondListAccess::List(stranger, ab);
    const RecordStream::Bytes compressed = RecordStream::Save(stranger, RecordStream::Form::Compressed);
    const RecordStream::Bytes plain = RecordStream::Save(stranger, RecordStream::Form::Plain);
    BondListAccess::Unlist(stranger, ab);
    delete a;
    delete b;

    const std::size_t live = CountLiveObjectsForTests();
    for (const auto& [bytes, form] : {std::pair{compressed, RecordStream::Form::Compressed},
                                      std::pair{plain, RecordStream::Form::Plain}}) {
        const std::unique_ptr<Atom3d> loaded = RecordStream::LoadAs<Atom3d>(bytes, form);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(loaded->GetNumBonds(), 0);
        EXPECT_EQ(CountLiveObjectsForTests(), live + 1);
    }
    EXPECT_EQ(CountLiveObjectsForTests(), live);
}

namespace {

// The record of an object whose user properties "cellA" and "cellB" hold the molecule and another
// object, then the molecule's own record when asked.
std::vector<std::uint8_t> WriteHolderOfTwoCells(Molecule& molecule, bool thenMolecule)
{
    Object other(nullptr);
    Object holder(nullptr);
    holder.SetProperty("cellA", &molecule, DataStorage::FlagReadable);
    holder.SetProperty("cellB", &other, DataStorage::FlagReadable);
    Archive writer;
    writer.WriteObject(&holder);
    if (thenMolecule)
        writer.WriteObject(&molecule);
    return writer.GetBuffer();
}

} // namespace

TEST_F(AtomBondTest, ARecordNamingAnObjectValuedUserPropertyTwiceIsRefusedAndFreesWhatItsReadMade)
{
    // The first cell's molecule is bonded to two atoms outside any tree, bonded to each other. Were
    // the second cell of the same name to replace it, its objects would go while later records may
    // still refer back to them.
    Molecule molecule(nullptr);
    auto* const inside = new Atom3d(&molecule, "C");
    Atom3d outside(nullptr, "C");
    Atom3d further(nullptr, "O");
    inside->MakeBond(&outside, Bond::Single);
    outside.MakeBond(&further, Bond::Double);
    std::vector<std::uint8_t> bytes = WriteHolderOfTwoCells(molecule, true);
    const std::string second = "cellB";
    const auto at = std::search(bytes.begin(), bytes.end(), second.begin(), second.end());
    ASSERT_NE(at, bytes.end());
    const std::size_t live = CountLiveObjectsForTests();
    {
        Archive reader(bytes);
        const std::unique_ptr<PersistentObject> read(reader.ReadObject());
        EXPECT_NE(read, nullptr);
    }
    EXPECT_EQ(CountLiveObjectsForTests(), live);

    at[4] = 'A';
    Archive reader(bytes);
    EXPECT_THROW(reader.ReadObject(), ArchiveException);
    EXPECT_EQ(CountLiveObjectsForTests(), live);
}

TEST_F(AtomBondTest, ARefusedUserPropertyTableFreesItsMoleculeWhileAnAtomOutsideListsABondNotNamingIt)
{
    // The first cell's molecule holds `inside`, bonded in a chain to `outside`, `further` and
    // `fourth`, none of them in a tree; each bond's record holds its far end's. `fourth`'s stored
    // bond list is made to name the first bond, still being read then, instead of its own; the second
    // cell is cut off. Freeing the molecule takes that first bond, which `fourth` then still lists.
    Molecule molecule(nullptr);
    auto* const inside = new Atom3d(&molecule, "C");
    Atom3d outside(nullptr, "C");
    Atom3d further(nullptr, "O");
    Atom3d fourth(nullptr, "N");
    inside->MakeBond(&outside, Bond::Single);
    outside.MakeBond(&further, Bond::Double);
    further.MakeBond(&fourth, Bond::Single);
    std::vector<std::uint8_t> bytes = WriteHolderOfTwoCells(molecule, false);
    // `fourth`'s bond list: one back-reference, to its bond (object 14); the first bond is object 10.
    const std::vector<std::uint8_t> list = {0x01, 0x00, 0x0e, 0x00};
    const auto bonds = std::search(bytes.begin(), bytes.end(), list.begin(), list.end());
    ASSERT_NE(bonds, bytes.end());
    bonds[2] = 0x0a;
    const std::string second = "cellB";
    const auto cut = std::search(bytes.begin(), bytes.end(), second.begin(), second.end());
    ASSERT_NE(cut, bytes.end());
    bytes.erase(cut + static_cast<std::ptrdiff_t>(second.size()), bytes.end());
    const std::size_t live = CountLiveObjectsForTests();
    Archive reader(bytes);
    EXPECT_THROW(reader.ReadObject(), ArchiveException);
    EXPECT_EQ(CountLiveObjectsForTests(), live);
}
