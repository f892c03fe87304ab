#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellBuildMethodOneCellParameters.h>
#include <tavrel/crystal/CellBuildMethodOriginalParameters.h>
#include <tavrel/crystal/CellBuilder.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/symmetry_build/CellDeletionWatcher.h>
#include <tavrel/symmetry_build/HierarchyData.h>
#include <tavrel/symmetry_build/SymmetryMap.h>
#include <tavrel/symmetry_build/SymmetryMapPropertyListener.h>
#include <tavrel/symmetry_build/SymmetryMapTreeListener.h>

using namespace Tavrel;

namespace {

// An atom that shows which events its own levels raise for the registrations above it.
class ProbeAtom : public Atom3d {
    TAVREL_DECLARE_CLASS(ProbeAtom, Atom3d)
public:
    explicit ProbeAtom(Object* parent = nullptr) : Atom3d(parent, "C") {}
    bool Wants(std::uint32_t type, std::uint16_t code) const { return IsEventMaskSet(type, code); }

protected:
    ProbeAtom(const ProbeAtom&) = default;
};
TAVREL_IMPLEMENT_CLASS(ProbeAtom, ClassKind::Creatable)

class SymmetryMapListenerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // A 10 A cubic cell of the space group holding one molecule.
    void MakeCell(int number)
    {
        cell = std::make_unique<Cell3d>(nullptr);
        ASSERT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(number, "", 0));
        molecule = new Molecule(cell.get());
    }

    // Two bonded carbons of P2_1 ((x, y, z), (-x, y + 1/2, -z)).
    void MakeP21()
    {
        MakeCell(4);
        c1 = AddAtom("C1", Point3d(0.1f, 0.2f, 0.3f));
        c2 = AddAtom("C2", Point3d(0.2f, 0.2f, 0.3f));
        c1->MakeBond(c2, Bond::Single);
    }

    Atom3d* AddAtom(const char* label, const Point3d& fractional)
    {
        auto* const atom = new Atom3d(molecule, "C");
        atom->SetLabel(label);
        atom->SetXYZ(fractional * cell->GetFracToCart());
        return atom;
    }

    // Both images of every atom in two cells along a: four members a family.
    void BuildTwoCells(const char* method = "OneCell")
    {
        const std::unique_ptr<CellBuilder> builder = cell->GetCellBuilder(method);
        ASSERT_NE(builder, nullptr);
        builder->SetParameters(CellBuildMethodOneCellParameters(0, 0, 0, 2, 1, 1, 0.001, false));
        builder->SetParameters(CellBuildMethodOriginalParameters(0, 0, 0, 2, 1, 1, 0.001, false));
        ASSERT_TRUE(builder->Build()) << builder->GetErrorMessage();
    }

    SymmetryMap& Map() const { return *dynamic_cast<SymmetryMap*>(cell->GetSymmetryMap()); }

    const ReplicateAtomList* ListOf(std::uint32_t parent) const
    {
        for (const ReplicateAtomList& list : Map().GetHierarchyData()->GetAtomLists())
            if (list.oid == parent)
                return &list;
        return nullptr;
    }

    // The live members of the atom's family, the asymmetric-unit atom first.
    std::vector<Atom*> Family(const Atom& atom) const
    {
        std::vector<Atom*> members;
        const ReplicateAtomList* const list = ListOf(Map().GetSymmetryParentOID(atom.GetOID()));
        for (std::size_t m = 0; list && m < list->members.size(); ++m)
            if (auto* const member = DynCast<Atom>(Object::GetObjectA(list->members[m].oid)))
                members.push_back(member);
        return members;
    }

    Point3d Fractional(const Atom& atom) const { return atom.GetXYZ() * cell->GetCartToFrac(); }

    // Where the member's key puts the image of the fractional point.
    Point3d ImageOf(const Atom& member, Point3d p) const
    {
        const std::uint32_t oid = member.GetOID();
        Map().GetHierarchyData()->GetOperations().at(static_cast<std::size_t>(Map().GetSymmetryOperator(oid))).Transform(p);
        const LatticeOffset offset = Map().GetLatticeOffset(oid);
        return p + Point3d(offset.a, offset.b, offset.c);
    }

    static void ExpectNear(const Point3d& a, const Point3d& b)
    {
        EXPECT_NEAR(a.x, b.x, 1e-4);
        EXPECT_NEAR(a.y, b.y, 1e-4);
        EXPECT_NEAR(a.z, b.z, 1e-4);
    }

    std::unique_ptr<Cell3d> cell;
    Molecule* molecule = nullptr;
    Atom3d* c1 = nullptr;
    Atom3d* c2 = nullptr;
};

TEST_F(SymmetryMapListenerTest, PropertiesSetOnOneImageReachEveryOtherMemberOfItsFamilyOnly)
{
    MakeP21();
    BuildTwoCells();
    const std::vector<Atom*> family = Family(*c1);
    ASSERT_EQ(family.size(), 4u);
    Atom* const image = family[3];

    // A new element relabels the atom and clears its formal charge, so it goes first.
    image->ChangeElement("N");
    image->SetBallSize(0.7f);
    image->SetCPKScale(0.5f);
    image->SetStickRadius(0.3f);
    image->SetCharge(-0.25);
    image->SetFormalCharge(-1, 1);
    image->SetHybridization(Atom::Sp2);
    image->SetLabel("X9");
    for (const Atom* const member : family) {
        EXPECT_FLOAT_EQ(member->GetBallSize(), image->GetBallSize());
        EXPECT_FLOAT_EQ(member->GetCPKScale(), image->GetCPKScale());
        EXPECT_FLOAT_EQ(member->GetStickRadius(), image->GetStickRadius());
        EXPECT_DOUBLE_EQ(member->GetCharge(), -0.25);
        EXPECT_EQ(member->GetFormalCharge(), Rational(-1, 1));
        EXPECT_EQ(member->GetHybridization(), Atom::Sp2);
        EXPECT_EQ(member->GetLabel(), "X9");
        EXPECT_EQ(member->GetElementSymbol(), "N");
    }
    for (const Atom* const member : Family(*c2)) {
        EXPECT_EQ(member->GetLabel(), "C2");
        EXPECT_EQ(member->GetElementSymbol(), "C");
        EXPECT_DOUBLE_EQ(member->GetCharge(), 0.0);
    }
    // Copies change nothing the map classifies.
    EXPECT_FALSE(Map().IsDirty());

    // A label set on an image molecule reaches the molecule of the asymmetric unit.
    auto* const imageMolecule = DynCast<Object>(image->GetParent());
    ASSERT_NE(imageMolecule, nullptr);
    ASSERT_NE(imageMolecule, molecule);
    imageMolecule->SetLabel("M2");
    EXPECT_EQ(molecule->GetLabel(), "M2");

    // A bond type set on one symmetry bond reaches its equivalents.
    c1->FindBond(c2)->SetType(Bond::Double);
    for (Atom* const member : family) {
        for (Atom* const partner : Family(*c2)) {
            if (Bond* const bond = member->FindBond(partner)) {
                EXPECT_EQ(bond->GetType(), Bond::Double);
            }
        }
    }
}

TEST_F(SymmetryMapListenerTest, PropertyNamesAreComparedWithoutRegardToCase)
{
    MakeP21();
    BuildTwoCells();
    SymmetryMapPropertyListener* const listener = Map().GetWatcher()->GetPropertyListener();
    ASSERT_NE(listener, nullptr);
    // Set without an event reaching the listener, then handed over by name.
    Map().DisableEvents();
    c1->SetBallSize(0.9f);
    Map().EnableEvents();
    listener->OnPropertyChanged(c1->GetOID(), "Ball Sizes");
    listener->OnPropertyChanged(c1->GetOID(), "");
    listener->OnPropertyChanged(c1->GetOID(), nullptr);
    EXPECT_NE(Family(*c1)[1]->GetBallSize(), c1->GetBallSize());
    listener->OnPropertyChanged(c1->GetOID(), "BALL SIZE");
    for (const Atom* const member : Family(*c1))
        EXPECT_FLOAT_EQ(member->GetBallSize(), c1->GetBallSize());
}

TEST_F(SymmetryMapListenerTest, EditsWhileTheMapsEventsAreOffStayOnTheirAtomAndLaterOnesReachTheFamily)
{
    MakeP21();
    BuildTwoCells();
    const auto familyFollows = [this] {
        const std::vector<Atom*> family = Family(*c1);
        return family.size() == 4 && std::all_of(family.begin(), family.end(), [this](const Atom* member) {
                   return member->GetBallSize() == c1->GetBallSize();
               });
    };
    Map().DisableEvents();
    c1->SetBallSize(0.9f);
    EXPECT_FALSE(familyFollows());
    EXPECT_FALSE(Map().IsDirty());
    Map().EnableEvents();
    c1->SetBallSize(0.5f);
    EXPECT_TRUE(familyFollows());

    // A rebuild subscribes again while the listeners are off, and switches them on once done.
    Map().DisableEvents();
    Map().MarkDirty(false);
    Map().Update();
    c1->SetBallSize(0.7f);
    EXPECT_TRUE(familyFollows());
}

TEST_F(SymmetryMapListenerTest, DeletingOneImageDeletesItsWholeFamilyAndMarksTheMapDirty)
{
    MakeP21();
    BuildTwoCells();
    const std::vector<Atom*> family = Family(*c1);
    ASSERT_EQ(family.size(), 4u);
    std::vector<std::uint32_t> oids;
    for (const Atom* const member : family)
        oids.push_back(member->GetOID());
    const std::uint32_t keep = c2->GetOID();
    const ReplicateAtomList* const list = ListOf(c1->GetOID());
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(Map().IsPeriodic(oids[3]) || Map().IsSymmetric(oids[3]));

    delete family[3];
    EXPECT_TRUE(Map().IsDirty());
    for (const std::uint32_t oid : oids)
        EXPECT_EQ(Object::GetObjectA(oid), nullptr);
    EXPECT_EQ(list->oid, 0u);
    for (const ReplicateMember& member : list->members)
        EXPECT_EQ(member.oid, 0u);
    // The partner's family stays; the next update maps what is left.
    EXPECT_EQ(Family(*c2).size(), 4u);
    Map().Update();
    EXPECT_FALSE(Map().IsDirty());
    EXPECT_EQ(Map().GetSymmetryParentOID(keep), keep);
}

TEST_F(SymmetryMapListenerTest, DeletingAnImageMoleculeDeletesItsFamilyWithTheirAtoms)
{
    MakeP21();
    BuildTwoCells();
    TreeNode* const imageMolecule = Family(*c1)[3]->GetParent();
    ASSERT_NE(imageMolecule, molecule);
    ASSERT_GT(cell->GetNumDescendents(Molecule::classType), 2);
    delete imageMolecule;
    EXPECT_TRUE(Map().IsDirty());
    EXPECT_EQ(cell->GetNumDescendents(Molecule::classType), 0);
    EXPECT_EQ(cell->GetNumDescendents(Atom::classType), 0);
}

TEST_F(SymmetryMapListenerTest, MovingASymmetricImageMovesTheAsymmetricUnitAtomAndEveryOtherImage)
{
    MakeP21();
    BuildTwoCells();
    const std::vector<Atom*> family = Family(*c1);
    Atom* image = nullptr;
    for (Atom* const member : family)
        if (Map().GetSymmetryOperator(member->GetOID()) == 1)
            image = member;
    ASSERT_NE(image, nullptr);
    const Point3d moved = Fractional(*image) + Point3d(0.01f, 0.02f, 0.03f);
    image->SetXYZ(moved * cell->GetFracToCart());

    // (-x, y + 1/2, -z) takes the step back as (-0.01, 0.02, -0.03).
    ExpectNear(Fractional(*c1), Point3d(0.09f, 0.22f, 0.27f));
    ExpectNear(Fractional(*image), moved);
    for (const Atom* const member : family)
        ExpectNear(Fractional(*member), ImageOf(*member, Fractional(*c1)));
    ExpectNear(Fractional(*c2), Point3d(0.2f, 0.2f, 0.3f));
    EXPECT_FALSE(Map().IsDirty());
}

TEST_F(SymmetryMapListenerTest, AnAtomOnASpecialPositionStaysOnItWhenMoved)
{
    // P2 ((x, y, z), (-x, y, -z)): an atom on the two-fold axis.
    MakeCell(3);
    Atom3d* const axis = AddAtom("C1", Point3d(0.0f, 0.2f, 0.0f));
    BuildTwoCells();
    const std::vector<Atom*> family = Family(*axis);
    ASSERT_EQ(family.size(), 2u);
    axis->SetXYZ(Point3d(0.05f, 0.25f, 0.02f) * cell->GetFracToCart());
    ExpectNear(Fractional(*axis), Point3d(0.0f, 0.25f, 0.0f));
    ExpectNear(Fractional(*family[1]), Point3d(1.0f, 0.25f, 0.0f));
}

TEST_F(SymmetryMapListenerTest, AddedAtomsAndMovedAtomsMarkTheMapDirtyOtherObjectsDoNot)
{
    MakeP21();
    BuildTwoCells();
    EXPECT_FALSE(Map().IsDirty());
    // An object that holds no atom comes and moves without a rebuild.
    auto* const empty = new Molecule(cell.get());
    empty->SetParent(molecule);
    EXPECT_FALSE(Map().IsDirty());

    c2->SetParent(empty);
    EXPECT_TRUE(Map().IsDirty());
    std::int32_t marker = -1;
    EXPECT_TRUE(c1->GetProperty("_ASU", marker));
    Map().Update();
    EXPECT_FALSE(Map().IsDirty());

    AddAtom("C3", Point3d(0.3f, 0.3f, 0.3f));
    EXPECT_TRUE(Map().IsDirty());
    Map().Update();
    // The listeners are on again after the map's own work, each edit handled once.
    const SymmetryMapTreeListener* const listener = Map().GetWatcher()->GetTreeListener();
    EXPECT_TRUE(listener->IsEnabled());
    c1->SetLabel("Q");
    for (const Atom* const member : Family(*c1))
        EXPECT_EQ(member->GetLabel(), "Q");
}

TEST_F(SymmetryMapListenerTest, NoRegistrationIsLeftOnTheCellOnceTheListenersAreGone)
{
    MakeP21();
    auto* const probe = new ProbeAtom(cell.get());
    const std::pair<std::uint32_t, std::uint16_t> heard[] = {
        {TreeNode::classType, TreeNode::EventCreated},   {TreeNode::classType, TreeNode::EventDeleted},
        {TreeNode::classType, TreeNode::EventParentSet}, {Atom3d::classType, Atom3d::EventAtomAdded},
        {Atom3d::classType, Atom3d::EventAtom3dDeleted}, {Atom3d::classType, Atom3d::EventElementSet},
        {Atom3d::classType, Atom3d::EventFormalChargeSet}, {Object::classType, Object::EventPropertySet},
        {Object::classType, Object::EventLabelSet},      {Geometric::classType, Geometric::EventMoved},
    };
    BuildTwoCells();
    for (const auto& [type, code] : heard)
        EXPECT_TRUE(probe->Wants(type, code)) << type << " " << code;

    cell->EnableSymmetryMap(false);
    for (const auto& [type, code] : heard)
        EXPECT_FALSE(probe->Wants(type, code)) << type << " " << code;
    // Edits, a move into another tree and the deletion of the cell reach no listener that is gone.
    c1->SetFormalCharge(1, 1);
    c1->SetXYZ(Point3d());
    TreeRoot root;
    cell->SetParent(&root);
    delete c2;
    cell.reset();
}

TEST_F(SymmetryMapListenerTest, ACellMovedIntoATreeKeepsItsListeners)
{
    MakeP21();
    BuildTwoCells();
    auto root = std::make_unique<TreeRoot>();
    cell->SetParent(root.get());
    c1->SetBallSize(0.4f);
    for (const Atom* const member : Family(*c1))
        EXPECT_FLOAT_EQ(member->GetBallSize(), c1->GetBallSize());
    cell->SetParent(nullptr);
    root.reset();
    c1->SetBallSize(0.6f);
    for (const Atom* const member : Family(*c1))
        EXPECT_FLOAT_EQ(member->GetBallSize(), c1->GetBallSize());

    // A group holding the cell moves to another tree, and the first tree goes: the cell raised no
    // event of its own, and dropping the listeners must not reach the deleted top.
    auto first = std::make_unique<TreeRoot>();
    auto second = std::make_unique<TreeRoot>();
    auto* const group = new Object(first.get());
    cell->SetParent(group);
    group->SetParent(second.get());
    first.reset();
    cell->EnableSymmetryMap(false);
    cell->SetParent(nullptr);
}

TEST_F(SymmetryMapListenerTest, ACellBuiltSideBySideWithItsAsymmetricUnitFollowsLaterEdits)
{
    MakeP21();
    BuildTwoCells("Original");
    c1->SetLabel("A1");
    c1->SetXYZ(Point3d(0.12f, 0.2f, 0.3f) * cell->GetFracToCart());
    std::vector<Atom*> family = Family(*c1);
    ASSERT_EQ(family.size(), 4u);
    for (const Atom* const member : family) {
        EXPECT_EQ(member->GetLabel(), "A1");
        ExpectNear(Fractional(*member), ImageOf(*member, Point3d(0.12f, 0.2f, 0.3f)));
    }

    // Built again by another method, the new images follow as well.
    BuildTwoCells("OneCell");
    c1->SetLabel("B1");
    family = Family(*c1);
    ASSERT_EQ(family.size(), 4u);
    for (const Atom* const member : family)
        EXPECT_EQ(member->GetLabel(), "B1");
}

TEST_F(SymmetryMapListenerTest, ACopiedCellCarriesEditsToItsOwnImagesOnly)
{
    MakeP21();
    BuildTwoCells();
    const std::unique_ptr<Cell3d> copy(DynCast<Cell3d>(cell->TreeCopy()));
    ASSERT_NE(copy, nullptr);
    const auto* const map = dynamic_cast<const SymmetryMap*>(copy->GetSymmetryMap());
    ASSERT_NE(map, nullptr);
    ASSERT_NE(map->GetWatcher(), nullptr);
    const ReplicateAtomList* copied = nullptr;
    for (const ReplicateAtomList& list : map->GetHierarchyData()->GetAtomLists())
        if (const Object* const head = Object::GetObjectA(list.oid); head && head->GetLabel() == "C1")
            copied = &list;
    ASSERT_NE(copied, nullptr);
    ASSERT_EQ(copied->members.size(), 4u);

    DynCast<Atom>(Object::GetObjectA(copied->members[2].oid))->SetLabel("K1");
    for (const ReplicateMember& member : copied->members)
        EXPECT_EQ(Object::GetObjectA(member.oid)->GetLabel(), "K1");
    for (const Atom* const member : Family(*c1))
        EXPECT_EQ(member->GetLabel(), "C1");
}

TEST_F(SymmetryMapListenerTest, ACopyOfACellThatLostAFamilySinceItsBuildIsMappedAndBuilds)
{
    MakeP21();
    BuildTwoCells();
    std::vector<Atom*> family = Family(*c1);
    ASSERT_EQ(family.size(), 4u);
    delete family[2];
    ASSERT_TRUE(Map().IsDirty());
    const std::unique_ptr<Cell3d> copy(DynCast<Cell3d>(cell->TreeCopy()));
    ASSERT_NE(copy, nullptr);
    const auto* const map = dynamic_cast<const SymmetryMap*>(copy->GetSymmetryMap());
    ASSERT_NE(map, nullptr);
    ASSERT_NE(map->GetHierarchyData(), nullptr);
    EXPECT_NE(map->GetWatcher(), nullptr);

    const std::unique_ptr<CellBuilder> builder = copy->GetCellBuilder("OneCell");
    ASSERT_TRUE(builder->Build()) << builder->GetErrorMessage();
    std::int32_t atoms = 0;
    for (DescendentIterator walk(copy.get(), Atom::classType, false); walk.GetNext();)
        ++atoms;
    EXPECT_EQ(atoms, 2);
}

TEST_F(SymmetryMapListenerTest, WithoutAMapTheCopyWatcherMovesReplicaAtomsAndTheirParent)
{
    MakeCell(4);
    Atom3d* const atom = AddAtom("C1", Point3d(0.1f, 0.2f, 0.3f));
    auto* const replica = new ReplicateAtom(atom);
    ASSERT_TRUE(replica->MakeSymmetric(atom, 1, cell.get()));
    ASSERT_EQ(cell->GetSymmetryMap(), nullptr);
    const CellDeletionWatcher watcher(cell.get());

    atom->SetXYZ(Point3d(0.2f, 0.2f, 0.3f) * cell->GetFracToCart());
    ExpectNear(Fractional(*replica), Point3d(-0.2f, 0.7f, -0.3f));
    replica->SetXYZ(Point3d(-0.25f, 0.75f, -0.3f) * cell->GetFracToCart());
    ExpectNear(Fractional(*atom), Point3d(0.25f, 0.25f, 0.3f));
    ExpectNear(Fractional(*replica), Point3d(-0.25f, 0.75f, -0.3f));
}

} // namespace
