#include <gtest/gtest.h>

#include <memory>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/AtomSet.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/ObjectGroup.h>
#include <tavrel/foundation/ObjectSet.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>

using namespace Tavrel;

namespace {

// Passes each event on and counts it, as an owner's notifying set does.
class NotifyingSet : public AtomSet {
public:
    using AtomSet::AtomSet;
    void ProcessAtomEvent(Event& event) override
    {
        AtomSet::ProcessAtomEvent(event);
        ++heard;
    }
    int heard = 0;
};

// A tree object that keeps a set of atoms and deepens it when copied.
class AtomSetHolder : public Object {
    TAVREL_DECLARE_CLASS(AtomSetHolder, Object)
public:
    explicit AtomSetHolder(TreeNode* parent) : Object(parent) {}
    AtomSet atoms;

protected:
    AtomSetHolder() = default;
    AtomSetHolder(const AtomSetHolder&) = default;
    void DeepenShallowCopy() override
    {
        Object::DeepenShallowCopy();
        atoms.DeepenShallowCopy();
    }
};
TAVREL_IMPLEMENT_CLASS(AtomSetHolder, ClassKind::Creatable)

class AtomSetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<AtomSetHolder>();
    }

    TreeRoot root;
    Molecule* molecule = new Molecule(&root);
    Atom3d* c = new Atom3d(molecule, "C");
    Atom3d* o = new Atom3d(molecule, "O");
    Bond* bond = c->MakeBond(o, Bond::Double);
    OrdCollection all = [this] {
        OrdCollection collection;
        collection.Add(c);
        collection.Add(bond);
        collection.Add(o);
        return collection;
    }();
};

TEST_F(AtomSetTest, SetHoldsOnlyTheAtomsOfACollection)
{
    const AtomSet atoms(all);
    EXPECT_EQ(atoms.GetSize(), 2);
    EXPECT_TRUE(atoms.CheckMember(c));
    EXPECT_FALSE(atoms.CheckMember(bond));
    OrdCollection out;
    atoms.GetAtoms(out);
    EXPECT_EQ(out.GetAt(0), c);
    EXPECT_EQ(out.GetAt(1), o);

    // By logical identifier, against the root.
    OrdCollection resolved;
    atoms.GetLogicalAtoms().GetObjects(root, resolved);
    EXPECT_EQ(resolved.GetSize(), 2);
}

TEST_F(AtomSetTest, DestroyingAnAtomRemovesItFromEverySetAndGroup)
{
    NotifyingSet atoms(all);
    ObjectSet objects(all);
    ObjectGroup group(all);
    ASSERT_EQ(objects.GetSize(), 3);
    ASSERT_EQ(group.GetSize(), 2);
    EXPECT_EQ(group.GetPropertyAsString("Type"), "XXAtom3d");
    delete o; // takes the bond along
    EXPECT_EQ(atoms.heard, 1);
    EXPECT_EQ(atoms.GetSize(), 1);
    EXPECT_EQ(objects.GetSize(), 1);
    EXPECT_EQ(group.GetSize(), 1);

    // A removed atom no longer calls the set.
    atoms.RemoveAtom(*c);
    delete c;
    EXPECT_EQ(atoms.heard, 1);
    EXPECT_EQ(atoms.GetSize(), 0);
}

TEST_F(AtomSetTest, GroupOfAtomsSharesTheirElementWhenTheyAgree)
{
    Atom3d* const carbon = new Atom3d(molecule, "C");
    OrdCollection carbons;
    carbons.Add(c);
    carbons.Add(carbon);
    ObjectGroup group(carbons);
    EXPECT_EQ(group.GetPropertyAsString("Element"), "Carbon");
    EXPECT_TRUE(group.SetSharedValue("Element", "Nitrogen"));
    EXPECT_EQ(c->GetElementSymbol(), "N");
    EXPECT_EQ(carbon->GetElementSymbol(), "N");
    EXPECT_FALSE(group.SetSharedValue("Element", "Kryptonite"));
}

TEST_F(AtomSetTest, CopiedHolderKeepsTheCopiesOfTheAtomsInsideTheCopy)
{
    auto* const holder = new AtomSetHolder(molecule);
    Atom3d* const outside = new Atom3d(&root, "N");
    holder->atoms.AddAtomSet(all);
    holder->atoms.Add(outside);
    ASSERT_EQ(holder->atoms.GetSize(), 3);

    const std::uint32_t before = Base::GetLastOID();
    std::unique_ptr<TreeNode> copy(molecule->TreeCopy());
    auto* const copied = DynCast<AtomSetHolder>(copy->GetChild(copy->GetNumChildren() - 1));
    ASSERT_NE(copied, nullptr);
    // The atoms outside the copied molecule are not copied (that would copy their whole tree).
    EXPECT_EQ(copied->atoms.GetSize(), 2);
    EXPECT_FALSE(copied->atoms.CheckMember(outside));
    for (POSITION position = copied->atoms.GetStartPosition(); position;) {
        const Object* const atom = copied->atoms.GetNext(position);
        EXPECT_GT(atom->GetOID(), before);
        EXPECT_EQ(atom->GetRoot(), copy.get());
    }
    EXPECT_EQ(holder->atoms.GetSize(), 3);
    // Outside a tree copy the set is left alone.
    holder->atoms.DeepenShallowCopy();
    EXPECT_TRUE(holder->atoms.CheckMember(c));
}

} // namespace
