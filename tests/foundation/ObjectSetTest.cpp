#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/ObjectGroup.h>
#include <tavrel/foundation/ObjectSet.h>
#include <tavrel/foundation/OrdCollection.h>

using namespace Tavrel;

namespace {

// Counts the deletions it hears.
class CountingSet : public ObjectSet {
public:
    using ObjectSet::ObjectSet;
    void OnObjectDeleted(Event& event) override
    {
        ++heard;
        ObjectSet::OnObjectDeleted(event);
    }
    int heard = 0;
};

// A tree object that keeps a set of other objects and deepens it when copied.
class SetHolder : public Object {
    TAVREL_DECLARE_CLASS(SetHolder, Object)
public:
    explicit SetHolder(TreeNode* parent) : Object(parent) {}
    ObjectSet set;

protected:
    SetHolder() = default;
    SetHolder(const SetHolder&) = default;
    void DeepenShallowCopy() override
    {
        Object::DeepenShallowCopy();
        set.DeepenShallowCopy(GetCopyRoot());
    }
};
TAVREL_IMPLEMENT_CLASS(SetHolder, ClassKind::Creatable)

// An object that refuses every property while its ID is 2.
class Picky : public Object {
    TAVREL_DECLARE_CLASS(Picky, Object)
public:
    explicit Picky(TreeNode* parent) : Object(parent) {}
    bool SetPropertyFromString(std::string_view name, std::string_view value) override
    {
        return GetID() != 2 && Object::SetPropertyFromString(name, value);
    }

protected:
    Picky() = default;
    Picky(const Picky&) = default;
};
TAVREL_IMPLEMENT_CLASS(Picky, ClassKind::Creatable)

class PickySub : public Picky {
    TAVREL_DECLARE_CLASS(PickySub, Picky)
public:
    explicit PickySub(TreeNode* parent) : Picky(parent) {}

protected:
    PickySub() = default;
    PickySub(const PickySub&) = default;
};
TAVREL_IMPLEMENT_CLASS(PickySub, ClassKind::Creatable)

class ObjectSetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<SetHolder>();
        ClassRegistry::Register<Picky>();
        ClassRegistry::Register<PickySub>();
    }
    static OrdCollection Collect(std::initializer_list<Object*> objects)
    {
        OrdCollection collection;
        for (Object* object : objects)
            collection.Add(object);
        return collection;
    }

    std::unique_ptr<Object> root = std::make_unique<Object>(nullptr);
};

// ---- Object sets

TEST_F(ObjectSetTest, MembersLeaveWhenDestroyedAndAreNeverAddedTwice)
{
    auto* const a = new Object(root.get());
    auto* const b = new Object(root.get());
    CountingSet set(Collect({a, b, nullptr, a}));
    EXPECT_EQ(set.GetSize(), 2);
    set.Add(a);
    set.Add(nullptr);
    EXPECT_EQ(set.GetSize(), 2);
    EXPECT_TRUE(set.CheckMember(a));

    // A copy registers on its own: each hears the deletion once.
    CountingSet copy;
    static_cast<ObjectSet&>(copy) = set;
    delete a;
    EXPECT_EQ(set.heard, 1);
    EXPECT_EQ(copy.heard, 1);
    EXPECT_EQ(set.GetSize(), 1);
    EXPECT_EQ(copy.GetSize(), 1);
    EXPECT_FALSE(set.CheckMember(a));
    POSITION position = set.GetStartPosition();
    EXPECT_EQ(set.GetNext(position), b);
    EXPECT_EQ(position, POSITION{0});
}

TEST_F(ObjectSetTest, RemovedObjectsAndDestroyedSetsAreNoLongerCalled)
{
    auto* const a = new Object(root.get());
    auto* const b = new Object(root.get());
    CountingSet set(Collect({a, b}));
    set.Remove(a);
    set.Remove(a);
    EXPECT_EQ(set.GetSize(), 1);
    delete a;
    EXPECT_EQ(set.heard, 0);
    {
        const ObjectSet gone(Collect({b}));
        EXPECT_EQ(gone.GetSize(), 1);
    }
    // The destroyed set took its registration along; deleting b calls only the live set.
    delete b;
    EXPECT_EQ(set.heard, 1);
    EXPECT_EQ(set.GetSize(), 0);

    auto* const c = new Object(root.get());
    set.AddObjectSet(Collect({c}));
    set.RemoveObjectSet(Collect({c}));
    set.Add(c);
    set.RemoveAllObjects();
    delete c;
    EXPECT_EQ(set.heard, 1);
}

TEST_F(ObjectSetTest, CommonAncestorAndCollectingTheMembers)
{
    auto* const parent = new Object(root.get());
    auto* const a = new Object(parent);
    auto* const b = new Object(new Object(parent));
    ObjectSet set(Collect({a, b}));
    EXPECT_EQ(set.FindCommonAncestor(), parent);
    OrdCollection out;
    set.GetObjects(out);
    EXPECT_EQ(out.GetSize(), 2);
    EXPECT_EQ(ObjectSet().FindCommonAncestor(), nullptr);
}

TEST_F(ObjectSetTest, TreeCopyGivesTheCopiedHolderTheCopiedMembers)
{
    auto* const a = new Object(root.get());
    auto* const b = new Object(root.get());
    auto* const holder = new SetHolder(root.get());
    holder->set.AddObjectSet(Collect({a, b}));
    Object outside(nullptr);
    auto* const elsewhere = new SetHolder(root.get());
    elsewhere->set.Add(&outside);

    std::unique_ptr<TreeNode> copy(root->TreeCopy());
    auto* const copiedHolder = DynCast<SetHolder>(copy->GetChild(2));
    ASSERT_NE(copiedHolder, nullptr);
    EXPECT_EQ(copiedHolder->set.GetSize(), 2);
    EXPECT_TRUE(copiedHolder->set.CheckMember(DynCast<Object>(copy->GetChild(0))));
    EXPECT_TRUE(copiedHolder->set.CheckMember(DynCast<Object>(copy->GetChild(1))));
    EXPECT_FALSE(copiedHolder->set.CheckMember(a));
    // Members outside the copied tree stay as they are.
    auto* const copiedElsewhere = DynCast<SetHolder>(copy->GetChild(3));
    EXPECT_TRUE(copiedElsewhere->set.CheckMember(&outside));
    // The source's set is untouched and each set hears its own members.
    EXPECT_TRUE(holder->set.CheckMember(a));
    delete copy->GetChild(0);
    EXPECT_EQ(copiedHolder->set.GetSize(), 1);
    EXPECT_EQ(holder->set.GetSize(), 2);
}

// ---- Object groups

TEST_F(ObjectSetTest, GroupHoldsObjectsOfExactlyTheFirstClass)
{
    auto* const first = new Picky(root.get());
    auto* const second = new Picky(root.get());
    auto* const sub = new PickySub(root.get());
    auto* const plain = new Object(root.get());
    ObjectGroup group(Collect({nullptr, first, sub, plain, second}));
    EXPECT_EQ(group.GetSize(), 2);
    EXPECT_EQ(group.GetPropertyAsString("type"), "XXPicky");
    const ObjectProperty type = group.GetPropertyAsObjectProperty("Type");
    EXPECT_EQ(type.GetName(), "Type");
    EXPECT_EQ(type.GetStringValue(), "XXPicky");
    EXPECT_EQ(type.GetAccess(), 0);
    EXPECT_EQ(type.GetPropertyType(), 3);

    // Destroyed members leave; an empty group's type is "Empty".
    delete first;
    delete second;
    EXPECT_EQ(group.GetSize(), 0);
    EXPECT_EQ(group.GetPropertyAsString("Type"), "Empty");
    EXPECT_EQ(ObjectGroup(OrdCollection()).GetPropertyAsString("Type"), "Empty");
    ObjectProperty::Array none{ObjectProperty()};
    EXPECT_EQ(group.GetProperties(none), 1);
}

TEST_F(ObjectSetTest, GroupSharesValuesThatAgreeIgnoringCase)
{
    auto* const a = new Object(root.get());
    auto* const b = new Object(root.get());
    a->SetLabel("A");
    b->SetLabel("a");
    ObjectGroup group(Collect({a, b}));
    EXPECT_EQ(group.GetPropertyAsString("Label"), "A");
    EXPECT_TRUE(group.GetPropertyAsObjectProperty("Label").HasValue());
    b->SetLabel("B");
    EXPECT_EQ(group.GetPropertyAsString("Label"), "");
    EXPECT_FALSE(group.GetPropertyAsObjectProperty("Label").HasValue());

    // Every property of the first member, each in its shared form.
    ObjectProperty::Array properties;
    const std::int32_t count = group.GetProperties(properties);
    EXPECT_EQ(count, static_cast<std::int32_t>(properties.size()));
    ObjectProperty::Array own;
    a->GetProperties(own);
    EXPECT_EQ(properties.size(), own.size());

    // Writing goes to every member.
    EXPECT_TRUE(group.SetPropertyFromString("Label", "same"));
    EXPECT_EQ(a->GetLabel(), "same");
    EXPECT_EQ(b->GetLabel(), "same");
    EXPECT_EQ(group.GetPropertyAsString("Label"), "same");

    // Copies and assignments register on their own.
    ObjectGroup copy(group);
    ObjectGroup assigned(OrdCollection{});
    assigned = group;
    delete a;
    EXPECT_EQ(group.GetSize(), 1);
    EXPECT_EQ(copy.GetSize(), 1);
    EXPECT_EQ(assigned.GetSize(), 1);
    EXPECT_EQ(assigned.GetPropertyAsString("Type"), "XXObject");
}

TEST_F(ObjectSetTest, GroupStopsWritingAtTheFirstMemberThatRefuses)
{
    auto* const a = new Picky(root.get());
    auto* const b = new Picky(root.get());
    auto* const c = new Picky(root.get());
    b->SetID(2);
    ObjectGroup group(Collect({a, b, c}));
    EXPECT_FALSE(group.SetSharedValue("Label", "new"));
    EXPECT_EQ(a->GetLabel(), "new");
    EXPECT_NE(c->GetLabel(), "new");
}

} // namespace
