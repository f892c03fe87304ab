#include <gtest/gtest.h>

#include <memory>

#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/ProteinSequence.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/document/DataModelOptions.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/symmetry_build/CellBuildTree.h>
#include <tavrel/symmetry_build/InternalCellBuildTree.h>
#include <tavrel/symmetry_build/Matrix4x4Group.h>
#include <tavrel/symmetry_build/SymmetryAtoms.h>
#include <tavrel/symmetry_build/SymmetryBonds.h>
#include <tavrel/symmetry_build/SymmetryConnectivityPass.h>
#include <tavrel/symmetry_build/SymmetryImageKeySet.h>
#include <tavrel/symmetry_build/SymmetryObjects.h>
#include <tavrel/symmetry_build/SymmetryTree.h>

#include "SymmetryTestSupport.h"
#include "support/Alternates.h"
#include "support/Near.h"

using namespace Tavrel;

namespace {

std::int32_t Marker(const Object& object, const char* name)
{
    std::int32_t value = -99;
    object.GetProperty(name, value);
    return value;
}

// What a failed build must leave as it was: every object below the cell, its parent, index,
// position and markers.
struct Snapshot {
    struct Entry {
        std::uint32_t oid;
        std::uint32_t parent;
        int index;
        Point3d position;
        bool marked;
        bool visible;
    };
    std::vector<Entry> entries;

    explicit Snapshot(Object& root)
    {
        DescendentIterator walk(&root, Object::classType, false);
        while (Object* const object = walk.GetNext())
            entries.push_back({object->GetOID(), object->GetParent() ? object->GetParent()->GetOID() : 0u,
                               object->GetIndex(), IsA<Atom>(object) ? static_cast<Atom*>(object)->GetXYZ() : Point3d(),
                               object->HasProperty("_ASU") || object->HasProperty("_REP"), object->IsVisible()});
    }
    bool operator==(const Snapshot& other) const
    {
        if (entries.size() != other.entries.size())
            return false;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry& a = entries[i];
            const Entry& b = other.entries[i];
            if (a.oid != b.oid || a.parent != b.parent || a.index != b.index || !(a.position == b.position) ||
                a.marked != b.marked || a.visible != b.visible)
                return false;
        }
        return true;
    }
};

// A 10 A cubic P2_1 cell holding one molecule of two bonded carbons; the build shows the molecule's
// image under operator 1 one cell along a and c.
class CellBuildTreeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    void SetUp() override
    {
        cell = std::make_unique<Cell3d>(nullptr);
        ASSERT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(4, "", 0));
        operations = test::SettingOperations(test::FirstRow(4));
        ASSERT_EQ(operations.size(), 2u);
        group.SetOperations(operations);
        molecule = new Molecule(cell.get());
        c1 = AddAtom("C1", Point3d(0.1f, 0.2f, 0.3f));
        c2 = AddAtom("C2", Point3d(0.2f, 0.2f, 0.3f));
        bond = c1->MakeBond(c2, Bond::Single);

        atoms.AddAtom(Point3d(0.1f, 0.2f, 0.3f), 0.77, 0, 0);
        atoms.AddAtom(Point3d(0.2f, 0.2f, 0.3f), 0.77, 0, 0);
        ASSERT_TRUE(atoms.AddReplicas(0, {SymmetryImageKey::identity}, {c1->GetOID()}));
        ASSERT_TRUE(atoms.AddReplicas(1, {SymmetryImageKey::identity}, {c2->GetOID()}));
        objects.AddObject(1);
        objects.AddObject(0);
        ASSERT_TRUE(objects.AddReplicas(0, {SymmetryImageKey::identity}, {cell->GetOID()}));
        ASSERT_TRUE(objects.AddReplicas(1, {SymmetryImageKey::identity}, {molecule->GetOID()}));
        bonds.SetUnitCount(1);
        ASSERT_TRUE(bonds.SetBonds({{ReplicateBond(0, bond->GetOID(), SymmetryImageKey::identity, 1)}, {}}));

        const SymmetryImageKey image(1, 0, 0, 0);
        ASSERT_TRUE(tree.SetAtoms(4, {0, 1, 0, 1}, {SymmetryImageKey::identity, SymmetryImageKey::identity, image, image}));
        const std::vector<SymmetryTree::BondEdge> edges{{0, 1, 0, 0, 0}, {0, 3, 0, 0, 0}};
        ASSERT_TRUE(tree.SetBonds(4, {0, 1, 1, 2, 2}, edges));
        ASSERT_TRUE(tree.SetComponents({{0, 1}, {2, 3}}));
        ASSERT_TRUE(tree.SetObjects(3, {0, 1, 1}, {0, 0, 1},
                                    {SymmetryTree::CellType, SymmetryTree::MoleculeType, SymmetryTree::MoleculeType}));
        ASSERT_TRUE(tree.SetParents({1, 1, 2, 2, -1, 0, 0}));
    }

    Atom3d* AddAtom(const char* label, const Point3d& fractional)
    {
        auto* const atom = new Atom3d(molecule, "C");
        atom->SetLabel(label);
        atom->SetXYZ(fractional * cell->GetFracToCart());
        return atom;
    }

    bool Build(CellBuildTree& build, const std::vector<SymmetryImageKey::Array>& wanted)
    {
        SymmetryConnectivityPass::SetBuildMode(0);
        const bool filled = SymmetryConnectivityPass::BuildFromResults(tree, wanted, true, build);
        SymmetryConnectivityPass::SetBuildMode(1);
        return filled && build.Build(cell->GetFracToCart(), cell->GetCartToFrac(), operations, group, &keys, false,
                                     atoms, objects, bonds);
    }

    std::unique_ptr<Cell3d> cell;
    std::vector<Matrix4x4> operations;
    Matrix4x4Group group;
    Molecule* molecule = nullptr;
    Atom3d* c1 = nullptr;
    Atom3d* c2 = nullptr;
    Bond* bond = nullptr;
    SymmetryAtoms atoms;
    SymmetryObjects objects;
    SymmetryBonds bonds;
    SymmetryTree tree;
    SymmetryImageKeySet keys;
    const SymmetryImageKey shown{1, 1, 0, 1};
};

TEST_F(CellBuildTreeTest, AnImageKeyBuildsAMarkedMoleculeImageWithItsBond)
{
    CellBuildTree build(2, 2);
    ASSERT_TRUE(Build(build, {{shown}, {shown}}));

    ASSERT_EQ(cell->GetNumChildren(), 2);
    auto* const image = DynCast<Molecule>(cell->GetChild(1));
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->GetNumChildren(Atom3d::classType), 2);
    auto* const i1 = DynCast<Atom3d>(image->FindChild("C1"));
    auto* const i2 = DynCast<Atom3d>(image->FindChild("C2"));
    ASSERT_NE(i1, nullptr);
    ASSERT_NE(i2, nullptr);
    // (-x, y + 1/2, -z) + (1, 0, 1) of (0.1, 0.2, 0.3).
    EXPECT_TRUE(test::Near(i1->GetXYZ() * cell->GetCartToFrac(), Point3d(0.9f, 0.7f, 0.7f), 1e-4));
    EXPECT_TRUE(i1->IsBonded(i2));
    EXPECT_EQ(i1->FindBond(i2)->GetParent(), image);

    EXPECT_EQ(Marker(*c1, "_ASU"), 0);
    EXPECT_EQ(Marker(*c2, "_ASU"), 1);
    EXPECT_EQ(Marker(*molecule, "_ASU"), 1);
    EXPECT_FALSE(cell->HasProperty("_ASU"));
    EXPECT_EQ(Marker(*i1, "_REP"), 0);
    EXPECT_EQ(Marker(*image, "_REP"), 1);
    EXPECT_FALSE(i1->HasProperty("_ASU"));
    ASSERT_EQ(keys.GetCount(), 1);
    EXPECT_EQ(keys.GetKeys()[0], shown);
    EXPECT_EQ(Marker(*i1, "_RMI"), 0);

    // The tables now name the images; the exports list each item's own node first.
    ASSERT_EQ(atoms.GetReplicas(0).size(), 2u);
    EXPECT_EQ(atoms.GetReplicaOID(atoms.GetReplicas(0)[1]), i1->GetOID());
    EXPECT_EQ(objects.GetReplicaOID(objects.GetReplicas(1)[1]), image->GetOID());
    CellBuildTree::NodeExport exported;
    ASSERT_TRUE(build.ExportAtomNodes(exported));
    EXPECT_EQ(exported.oids, (OIDArray{c1->GetOID(), i1->GetOID(), c2->GetOID(), i2->GetOID()}));
    EXPECT_EQ(exported.symParents, (IntArray{0, 0, 2, 2}));
    EXPECT_EQ(exported.depths, (IntArray{3, 3, 3, 3}));
    CellBuildTree::NodeOrder order;
    ASSERT_TRUE(build.OrderAtomNodes(order));
    ASSERT_EQ(order.GetCount(), 4u);
    for (std::size_t p = 0; p < order.GetCount(); ++p) {
        EXPECT_EQ(order[p].oid, exported.oids[p]);
        EXPECT_EQ(order[p].depth, exported.depths[p]);
        EXPECT_EQ(order[p].parent, exported.parents[p]);
        EXPECT_EQ(order[p].item, exported.items[p]);
        EXPECT_EQ(order[p].key, exported.keys[p]);
    }
    ASSERT_TRUE(build.ExportObjectNodes(exported));
    EXPECT_EQ(exported.parents, (IntArray{-1, 0, 0}));
    ASSERT_TRUE(build.OrderObjectNodes(order));
    EXPECT_EQ(order[2].oid, image->GetOID());
    EXPECT_EQ(order[2].parent, 0);

    // A second build over the tables reuses every object it finds.
    CellBuildTree again(2, 2);
    ASSERT_TRUE(Build(again, {{shown}, {shown}}));
    EXPECT_EQ(cell->GetNumChildren(), 2);
    EXPECT_EQ(image->GetNumChildren(Atom3d::classType), 2);
    EXPECT_TRUE(i1->IsBonded(i2));
}

// An image molecule lists its atoms by ID, positive IDs ascending before the rest, whatever order
// their items come in; the asymmetric unit's own molecule keeps its order.
TEST_F(CellBuildTreeTest, ImageAtomsTakeTheirPlacesByID)
{
    for (const std::int32_t first : {9, 0}) {
        c1->SetID(first);
        c2->SetID(4);
        CellBuildTree build(2, 2);
        ASSERT_TRUE(Build(build, {{shown}, {shown}}));
        auto* const image = DynCast<Molecule>(cell->GetChild(1));
        ASSERT_NE(image, nullptr);
        ASSERT_GE(image->GetNumChildren(), 2);
        EXPECT_EQ(image->GetChild(0)->GetLabel(), "C2") << first;
        EXPECT_EQ(image->GetChild(1)->GetLabel(), "C1") << first;
        EXPECT_EQ(molecule->GetChild(0), c1);
    }
}

TEST_F(CellBuildTreeTest, TheImageOfAProteinMoleculeGetsASequence)
{
    new AminoAcidChain(molecule);
    CellBuildTree build(2, 2);
    ASSERT_TRUE(Build(build, {{shown}, {shown}}));
    const Object* const image = cell->GetChild(1);
    ASSERT_NE(image, nullptr);
    const Object* const sequence = image->GetChild(0);
    ASSERT_TRUE(IsA<ProteinSequence>(sequence));
    EXPECT_EQ(sequence->GetLabel(), "Sequence");
    EXPECT_FALSE(molecule->HasChild(ProteinSequence::classType));
}

TEST_F(CellBuildTreeTest, ImagesTakeTheDocumentsSymmetryAtomColour)
{
    DataModelOptions saved;
    ChemDoc::GetDefaultOptions(saved);
    DataModelOptions red = saved;
    red.SetDefaultSymmetryAtomColor(DataModelOptions::SymmetryColorType::Red);
    ChemDoc::SetDefaultOptions(red);
    CellBuildTree build(2, 2);
    const bool built = Build(build, {{shown}, {}});
    ChemDoc::SetDefaultOptions(saved);
    ASSERT_TRUE(built);
    const Object* const image = cell->GetChild(1)->GetChild(0);
    EXPECT_EQ(image->GetColor(), Color::Red());
    EXPECT_NE(c1->GetColor(), Color::Red());
}

TEST_F(CellBuildTreeTest, ImagesNoLongerWantedAreDeleted)
{
    CellBuildTree build(2, 2);
    ASSERT_TRUE(Build(build, {{shown}, {shown}}));
    ASSERT_EQ(cell->GetNumChildren(), 2);
    CellBuildTree fewer(2, 2);
    ASSERT_TRUE(Build(fewer, {{}, {}}));
    EXPECT_EQ(cell->GetNumChildren(), 1);
    EXPECT_EQ(molecule->GetNumChildren(Atom3d::classType), 2);
    EXPECT_EQ(atoms.GetReplicas(0).size(), 1u);
}

TEST_F(CellBuildTreeTest, AlternatesOfAnAtomFollowItsVisibilityUnlessTheBuildFails)
{
    ConformerModel* const model = test::MakeModel(molecule, {c1}, {}, {Point3d(0.0, 0.5, 0.0)});
    ASSERT_TRUE(c1->HasConformers());
    Atom* const alternate = test::ChildrenOf<Conformer>(*model).at(0)->GetAlternateAtom(c1);
    ASSERT_NE(alternate, nullptr);
    alternate->SetInvisible(false);
    const auto build = [this](std::int32_t visibility) {
        CellBuildTree result(2, 2);
        SymmetryConnectivityPass::SetBuildMode(0);
        const bool filled =
            SymmetryConnectivityPass::BuildFromResults(tree, {{SymmetryImageKey::identity, shown}, {}}, true, result);
        SymmetryConnectivityPass::SetBuildMode(1);
        result.SetAtomVisibility(result.FindAtomNode(ImageNode(0, SymmetryImageKey::identity)), visibility);
        return filled && result.Build(cell->GetFracToCart(), cell->GetCartToFrac(), operations, group, &keys, false,
                                      atoms, objects, bonds);
    };

    // A shown atom shows its hidden alternate; a failed build takes that back.
    internal::SetCellBuildTreeFailure(CellBuildTree::Step::Finish);
    EXPECT_FALSE(build(1));
    internal::SetCellBuildTreeFailure(CellBuildTree::Step::None);
    EXPECT_FALSE(alternate->IsVisible());
    ASSERT_TRUE(build(1));
    EXPECT_TRUE(c1->IsVisible());
    EXPECT_TRUE(alternate->IsVisible());
    // The image carries no conformers, so nothing follows it.
    const auto* const image = DynCast<Atom>(cell->GetChild(1)->GetChild(0));
    ASSERT_NE(image, nullptr);
    EXPECT_FALSE(image->HasConformers());

    // A hidden atom hides its visible alternate.
    ASSERT_TRUE(build(0));
    EXPECT_FALSE(c1->IsVisible());
    EXPECT_FALSE(alternate->IsVisible());
    EXPECT_TRUE(image->IsVisible());
}

TEST_F(CellBuildTreeTest, AFailureAtAnyStepLeavesTheDocumentAndTablesAsTheyWere)
{
    CellBuildTree first(2, 2);
    ASSERT_TRUE(Build(first, {{shown}, {}}));
    const Snapshot before(*cell);
    OIDArray atomOIDs;
    atoms.GetReplicaOIDs(atomOIDs);
    for (std::int32_t step = static_cast<std::int32_t>(CellBuildTree::Step::Register);
         step <= static_cast<std::int32_t>(CellBuildTree::Step::Finish); ++step) {
        internal::SetCellBuildTreeFailure(static_cast<CellBuildTree::Step>(step));
        CellBuildTree build(2, 2);
        EXPECT_FALSE(Build(build, {{}, {shown}})) << step;
        EXPECT_TRUE(Snapshot(*cell) == before) << step;
        OIDArray now;
        atoms.GetReplicaOIDs(now);
        EXPECT_EQ(now, atomOIDs) << step;
    }
    internal::SetCellBuildTreeFailure(CellBuildTree::Step::None);
    CellBuildTree build(2, 2);
    ASSERT_TRUE(Build(build, {{}, {shown}}));
    EXPECT_FALSE(Snapshot(*cell) == before);
}

TEST_F(CellBuildTreeTest, AnAtomMovedIntoItsMoleculeGoesBackWhenTheBuildFails)
{
    // C2 was put into a molecule of its own that the build does not know: the build moves it back
    // into its molecule and deletes the unknown one, unless the build fails.
    auto* const stray = new Molecule(cell.get());
    c2->SetParent(stray);
    const Snapshot before(*cell);
    for (const CellBuildTree::Step step : {CellBuildTree::Step::Hierarchy, CellBuildTree::Step::Bonds,
                                           CellBuildTree::Step::Finish}) {
        internal::SetCellBuildTreeFailure(step);
        CellBuildTree build(2, 2);
        EXPECT_FALSE(Build(build, {{shown}, {shown}}));
        EXPECT_TRUE(Snapshot(*cell) == before);
        EXPECT_EQ(c2->GetParent(), stray);
    }
    internal::SetCellBuildTreeFailure(CellBuildTree::Step::None);
    const std::uint32_t strayOID = stray->GetOID();
    CellBuildTree build(2, 2);
    ASSERT_TRUE(Build(build, {{shown}, {shown}}));
    EXPECT_EQ(c2->GetParent(), molecule);
    EXPECT_EQ(Object::GetObjectA(strayOID), nullptr);
}

TEST_F(CellBuildTreeTest, ATreeWithoutRootOrMatchingTablesBuildsNothing)
{
    CellBuildTree empty(2, 2);
    EXPECT_FALSE(empty.Build(cell->GetFracToCart(), cell->GetCartToFrac(), operations, group, &keys, false, atoms,
                             objects, bonds));
    CellBuildTree wrongCount(3, 2);
    ASSERT_TRUE(SymmetryConnectivityPass::BuildFromResults(tree, {{shown}, {}}, true, wrongCount));
    EXPECT_FALSE(wrongCount.Build(cell->GetFracToCart(), cell->GetCartToFrac(), operations, group, &keys, false,
                                  atoms, objects, bonds));
    EXPECT_EQ(cell->GetNumChildren(), 1);
}

// Lists are filled node by node; reopening a node's list replaces it, and a bond with no list open
// or a node out of range changes nothing.
TEST(CellBuildTreeBonds, BondListsAreFilledNodeByNode)
{
    CellBuildTree build(2, 1);
    for (std::int32_t op = 0; op < 3; ++op)
        build.AddAtomNode({op % 2, {op, 0, 0, 0}});
    build.AddAtomBond(1, 9);
    EXPECT_TRUE(build.GetAtomBondNeighbors(0).empty());
    build.ReserveAtomBonds(4);
    ASSERT_TRUE(build.OpenAtomBondList(0));
    build.AddAtomBond(1, 5);
    build.AddAtomBond(2, 6);
    ASSERT_TRUE(build.OpenAtomBondList(2));
    build.AddAtomBond(0, 6);
    ASSERT_TRUE(build.OpenAtomBondList(1));
    EXPECT_FALSE(build.OpenAtomBondList(3));
    EXPECT_FALSE(build.OpenAtomBondList(-1));
    build.AddAtomBond(0, 5);
    const auto list = [](std::span<const std::int32_t> values) { return IntArray(values.begin(), values.end()); };
    EXPECT_EQ(list(build.GetAtomBondNeighbors(0)), (IntArray{1, 2}));
    EXPECT_EQ(list(build.GetAtomBondNumbers(0)), (IntArray{5, 6}));
    EXPECT_EQ(list(build.GetAtomBondNeighbors(1)), IntArray{0});
    EXPECT_EQ(list(build.GetAtomBondNumbers(2)), IntArray{6});
    ASSERT_TRUE(build.OpenAtomBondList(0));
    EXPECT_TRUE(build.GetAtomBondNeighbors(0).empty());
    EXPECT_EQ(list(build.GetAtomBondNeighbors(2)), IntArray{0});
    build.Clear();
    build.AddAtomNode({0, SymmetryImageKey::identity});
    build.AddAtomBond(0, 1);
    EXPECT_TRUE(build.GetAtomBondNeighbors(0).empty());
}

// Lists opened node after node read the same as any others, before and after a node is added or a
// list is opened out of turn.
TEST(CellBuildTreeBonds, ListsOpenedInTurnKeepTheirBondsWhenTheOrderBreaks)
{
    CellBuildTree build(1, 1);
    for (std::int32_t op = 0; op < 3; ++op)
        build.AddAtomNode({0, {op, 0, 0, 0}});
    const auto list = [](std::span<const std::int32_t> values) { return IntArray(values.begin(), values.end()); };
    for (std::int32_t node = 0; node < 2; ++node) {
        ASSERT_TRUE(build.OpenAtomBondList(node));
        build.AddAtomBond(2 - node, 10 + node);
        build.AddAtomBond(2, 20 + node);
    }
    EXPECT_EQ(list(build.GetAtomBondNeighbors(0)), (IntArray{2, 2}));
    EXPECT_EQ(list(build.GetAtomBondNumbers(1)), (IntArray{11, 21}));
    EXPECT_TRUE(build.GetAtomBondNeighbors(2).empty());
    build.AddAtomNode({0, {3, 0, 0, 0}});
    ASSERT_TRUE(build.OpenAtomBondList(3));
    build.AddAtomBond(0, 30);
    EXPECT_EQ(list(build.GetAtomBondNumbers(1)), (IntArray{11, 21}));
    EXPECT_EQ(list(build.GetAtomBondNumbers(3)), IntArray{30});
    build.AddAtomNode({0, {4, 0, 0, 0}});
    EXPECT_TRUE(build.GetAtomBondNeighbors(4).empty());
    ASSERT_TRUE(build.OpenAtomBondList(4));
    build.AddAtomBond(1, 40);
    EXPECT_EQ(list(build.GetAtomBondNumbers(0)), (IntArray{10, 20}));
    EXPECT_EQ(list(build.GetAtomBondNumbers(3)), IntArray{30});
    EXPECT_EQ(list(build.GetAtomBondNeighbors(4)), IntArray{1});
}

TEST(CellBuildTreeImage, TheDisplacementOfAnImageTurnsWithIt)
{
    AttachDataModelDLL();
    // A cubic cell with the 3-fold (x, y, z) -> (z, x, y): U = diag(0.05, 0.01, 0.01) becomes U22 = 0.05.
    const Matrix3x3 f2c(10, 0, 0, 0, 10, 0, 0, 0, 10);
    const std::vector<Matrix4x4> operations{
        test::Operation({1, 0, 0, 0, 1, 0, 0, 0, 1}, 0, 0, 0), test::Operation({0, 0, 1, 1, 0, 0, 0, 1, 0}, 0, 0, 0),
        test::Operation({0, 1, 0, 0, 0, 1, 1, 0, 0}, 0, 0, 0)};
    Matrix4x4Group group;
    ASSERT_TRUE(group.SetOperations(operations));
    Molecule cell(nullptr);
    auto* const molecule = new Molecule(&cell);
    auto* const atom = new Atom3d(molecule, "O");
    atom->SetXYZ(Point3d(1, 2, 3));
    atom->SetAnisotropicDisplacement(0.05f, 0.01f, 0.01f, 0, 0, 0, 0, 0, 0, 0, 0, 0);

    SymmetryAtoms atoms;
    atoms.AddAtom(Point3d(0.1f, 0.2f, 0.3f), 0.7, 0, 0);
    ASSERT_TRUE(atoms.AddReplicas(0, {SymmetryImageKey::identity}, {atom->GetOID()}));
    SymmetryObjects objects;
    objects.AddObject(1);
    objects.AddObject(0);
    ASSERT_TRUE(objects.AddReplicas(0, {SymmetryImageKey::identity}, {cell.GetOID()}));
    ASSERT_TRUE(objects.AddReplicas(1, {SymmetryImageKey::identity}, {molecule->GetOID()}));
    SymmetryBonds bonds;
    CellBuildTree build(1, 2);
    const std::int32_t root = build.AddObjectNode({0, SymmetryImageKey::identity});
    const std::int32_t own = build.AddObjectNode({1, SymmetryImageKey::identity});
    const std::int32_t turned = build.AddObjectNode({1, {1, 0, 0, 0}});
    ASSERT_TRUE(build.SetObjectParent(root, -1));
    ASSERT_TRUE(build.SetObjectParent(own, root));
    ASSERT_TRUE(build.SetObjectParent(turned, root));
    ASSERT_TRUE(build.SetAtomParent(build.AddAtomNode({0, SymmetryImageKey::identity}), own));
    ASSERT_TRUE(build.SetAtomParent(build.AddAtomNode({0, {1, 0, 0, 0}}), turned));
    ASSERT_TRUE(build.Build(f2c, test::Inverse(f2c), operations, group, nullptr, false, atoms, objects, bonds));

    const auto* const image = DynCast<Atom3d>(Object::GetObjectA(build.GetAtomNodeOID(1)));
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(test::Near(image->GetXYZ(), Point3d(3, 1, 2), 1e-4));
    const AnisotropicDisplacement u = image->GetAnisotropicDisplacement();
    EXPECT_NEAR(u.GetU11(), 0.01f, 1e-6);
    EXPECT_NEAR(u.GetU22(), 0.05f, 1e-6);
    EXPECT_NEAR(u.GetU33(), 0.01f, 1e-6);
    EXPECT_FALSE(image->HasProperty("_RMI"));  // no key set handed in
    EXPECT_TRUE(image->CheckColorScheme(1));  // coloured by element
}

// Nodes at an operator below the reserved count without translation go to the item-by-operator
// table, the others to the hashed index: either way a tree numbers and finds them as one that
// hashes every node.
TEST(CellBuildTreeNodes, NodesAreNumberedAndFoundAlikeWhereverTheyAreIndexed)
{
    const std::vector<ImageNode> nodes = {{0, SymmetryImageKey::identity}, {1, {1, 0, 0, 0}}, {2, {1, 0, 0, 1}},
                                          {1, {5, 0, 0, 0}},              {1, {1, 0, 0, 0}}, {0, {1, -1, 0, 0}},
                                          {2, {0, 0, 0, 0}},              {3, SymmetryImageKey::identity},
                                          {-1, {1, 0, 0, 0}},             {2, {1, 0, 0, 1}}};
    const std::vector<ImageNode> absent = {{2, {1, 0, 0, 0}}, {0, {5, 0, 0, 0}}, {1, {1, 0, 0, 1}},
                                           {3, {1, 0, 0, 0}}, {-1, SymmetryImageKey::identity}};
    CellBuildTree hashed(3, 3);
    CellBuildTree indexed(3, 3);
    indexed.ReserveAtomNodes(6, 2);
    for (const ImageNode& node : nodes) {
        EXPECT_EQ(indexed.AddAtomNode(node), hashed.AddAtomNode(node)) << node;
        EXPECT_EQ(indexed.AddObjectNode(node), hashed.AddObjectNode(node)) << node;
    }
    EXPECT_EQ(indexed.GetAtomNodeCount(), 6);
    EXPECT_EQ(indexed.GetObjectNodeCount(), 6);
    EXPECT_EQ(indexed.AddAtomNode({1, {5, 0, 0, 0}}), 3);
    EXPECT_EQ(indexed.AddAtomNode({3, SymmetryImageKey::identity}), -1);
    for (const ImageNode& node : nodes) {
        EXPECT_EQ(indexed.FindAtomNode(node), hashed.FindAtomNode(node)) << node;
        EXPECT_EQ(indexed.FindObjectNode(node), hashed.FindObjectNode(node)) << node;
    }
    for (const ImageNode& node : absent) {
        EXPECT_EQ(indexed.FindAtomNode(node), -1) << node;
        EXPECT_EQ(indexed.FindObjectNode(node), -1) << node;
    }

    // Cleared, the tree forgets every node; reserved again while nodes are present it keeps hashing.
    indexed.Clear();
    EXPECT_EQ(indexed.FindAtomNode({1, {1, 0, 0, 0}}), -1);
    EXPECT_EQ(indexed.AddAtomNode({2, {1, 0, 0, 1}}), 0);
    indexed.ReserveAtomNodes(6, 4);
    EXPECT_EQ(indexed.AddAtomNode({1, {3, 0, 0, 0}}), 1);
    EXPECT_EQ(indexed.AddAtomNode({2, {1, 0, 0, 1}}), 0);
    EXPECT_EQ(indexed.FindAtomNode({1, {3, 0, 0, 0}}), 1);
    EXPECT_EQ(indexed.FindAtomNode({1, SymmetryImageKey::identity}), -1);
}

// A build asked to leave the atom table builds the same images and exports, and rewrites the object
// table, while the atom table still names only the asymmetric unit.
TEST_F(CellBuildTreeTest, ABuildLeavingTheAtomTableBuildsTheSameImages)
{
    CellBuildTree build(2, 2);
    SymmetryConnectivityPass::SetBuildMode(0);
    ASSERT_TRUE(SymmetryConnectivityPass::BuildFromResults(tree, {{shown}, {shown}}, true, build));
    SymmetryConnectivityPass::SetBuildMode(1);
    ASSERT_TRUE(build.Build(cell->GetFracToCart(), cell->GetCartToFrac(), operations, group, &keys, false, atoms,
                            objects, bonds, false));
    ASSERT_EQ(atoms.GetReplicas(0).size(), 1u);
    EXPECT_EQ(atoms.GetReplicaOID(atoms.GetReplicas(0)[0]), c1->GetOID());
    ASSERT_EQ(objects.GetReplicas(1).size(), 2u);
    const std::uint32_t image = objects.GetReplicaOID(objects.GetReplicas(1)[1]);
    ASSERT_NE(image, 0u);
    CellBuildTree::NodeExport exported;
    ASSERT_TRUE(build.ExportAtomNodes(exported));
    ASSERT_EQ(exported.oids.size(), 4u);
    EXPECT_EQ(exported.oids[0], c1->GetOID());
    EXPECT_EQ(exported.oids[2], c2->GetOID());
    Object* const i1 = Object::GetObjectA(exported.oids[1]);
    ASSERT_NE(i1, nullptr);
    EXPECT_EQ(i1->GetParent()->GetOID(), image);
    EXPECT_TRUE(test::Near(static_cast<Atom*>(i1)->GetXYZ() * cell->GetCartToFrac(), Point3d(0.9f, 0.7f, 0.7f), 1e-4));
    EXPECT_EQ(exported.symParents, (IntArray{0, 0, 2, 2}));
}

} // namespace
