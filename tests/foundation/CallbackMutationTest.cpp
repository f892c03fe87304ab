#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>

#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/TreeRoot.h>

using namespace Tavrel;

// Listeners that delete nodes while a copy or a tree motion is under way: the operation finishes on
// what is left and touches nothing that is gone.
namespace {

class MovingMarker : public Geometric3d {
    TAVREL_DECLARE_CLASS(MovingMarker, Geometric3d)
public:
    explicit MovingMarker(Object* parent) : Geometric3d(parent) {}

protected:
    MovingMarker() = default;
    MovingMarker(const MovingMarker&) = default;
};
TAVREL_IMPLEMENT_CLASS(MovingMarker, ClassKind::Creatable)

void DeleteTarget(Event& event)
{
    delete static_cast<TreeNode*>(event.GetData());
}

void DeleteSource(Event& event)
{
    delete event.GetTreeNode(false);
}

void AddChildToSource(Event& event)
{
    new Object(event.GetTreeNode(false));
}

class CallbackMutationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<MovingMarker>();
    }
};

} // namespace

TEST_F(CallbackMutationTest, CopiedListenerDeletingAnotherSourceWaitsForTheCopy)
{
    TreeRoot root;
    auto* const holder = new Object(&root);
    auto* const a = new Object(holder);
    a->SetLabel("a");
    auto* const b = new Object(holder);
    b->SetLabel("b");
    b->RegisterEvent(Base::classType, Base::EventCopied, DeleteTarget, false, a, nullptr);

    Object* const copy = holder->TreeCopy();
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->GetNumChildren(), 2);
    EXPECT_EQ(copy->GetChild(0)->GetLabel(), "a");
    EXPECT_EQ(copy->GetChild(1)->GetLabel(), "b");
    EXPECT_EQ(copy->GetParent(), nullptr);
    ASSERT_EQ(holder->GetNumChildren(), 1);
    EXPECT_EQ(holder->GetChild(0), b);
    EXPECT_EQ(holder->GetParent(), &root);
    delete copy;
}

TEST_F(CallbackMutationTest, NodeCopyListenerDeletingAChildLeavesTheSourceWhole)
{
    TreeRoot root;
    auto* const a = new Object(&root);
    auto* const child = new Object(a);
    a->RegisterEvent(Base::classType, Base::EventCopied, DeleteTarget, false, child, nullptr);

    Object* const copy = a->NodeCopy();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetNumChildren(), 0);
    EXPECT_EQ(a->GetNumChildren(), 0);
    EXPECT_EQ(a->GetParent(), &root);
    delete copy;
}

TEST_F(CallbackMutationTest, MotionListenerDeletingTheMovedSubtreeStopsTheMotion)
{
    TreeRoot root;
    auto* const top = new MovingMarker(&root);
    auto* const below = new MovingMarker(top);
    below->SetXYZ(Point3d(1.0, 0.0, 0.0));
    root.RegisterEvent(Geometric::classType, Geometric::EventMoved, DeleteTarget, true, top, nullptr);

    top->TranslateTree(Point3d(1.0, 2.0, 3.0));
    EXPECT_EQ(root.GetNumChildren(), 0);
}

TEST_F(CallbackMutationTest, MotionSkipsDescendantsDeletedByEarlierMoves)
{
    TreeRoot root;
    auto* const top = new MovingMarker(&root);
    auto* const first = new MovingMarker(top);
    auto* const second = new MovingMarker(top);
    second->SetXYZ(Point3d(5.0, 0.0, 0.0));
    auto* const third = new MovingMarker(top);
    first->RegisterEvent(Geometric::classType, Geometric::EventMoved, DeleteTarget, false, second, nullptr);

    top->TranslateTree(Point3d(1.0, 0.0, 0.0));
    ASSERT_EQ(top->GetNumChildren(), 2);
    EXPECT_EQ(third->GetXYZ().x, 1.0f);
}

TEST_F(CallbackMutationTest, ChildrenAddedToADyingNodeGoWithIt)
{
    TreeRoot root;
    auto* const dying = new Object(&root);
    dying->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, AddChildToSource, false, nullptr, nullptr);
    const std::uint32_t before = Base::GetLastOID();
    delete dying;
    EXPECT_EQ(root.GetNumChildren(), 0);
    for (std::uint32_t oid = before + 1; oid <= Base::GetLastOID(); ++oid)
        EXPECT_EQ(Base::GetObjectA(oid), nullptr);
}

// Walks notice deletions through liveness watches, so they hold with OID validation off too; switching
// it off is one-way, hence the child process.
TEST_F(CallbackMutationTest, StyleWalkSurvivesADeletionWithoutOIDValidation)
{
    EXPECT_EXIT(
        {
            Base::EnableOIDValidation(false);
            TreeRoot root;
            auto* const a = new Object(&root);
            auto* const doomed = new Object(a);
            new Object(doomed);
            auto* const last = new Object(a);
            doomed->RegisterEvent(Object::classType, Object::EventDisplayStyleChanged, DeleteSource, false, nullptr,
                                  nullptr);
            root.SetDisplayStyle(5, Object::classType, true, false);
            std::exit(a->GetNumChildren() == 1 && a->GetChild(0) == last ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Listeners that delete a node the running operation still stands on: the operation stops at what is
// gone, a node in the middle of its own construction or destruction is let go instead of deleted twice.
namespace {

// Deletes, once, the object whose OID the registration's data holds (a node whose deletion is under
// way is no longer found as an Object).
void DeleteOnce(Event& event)
{
    delete Object::GetObjectA(std::exchange(*static_cast<std::uint32_t*>(event.GetData()), 0u));
}

} // namespace

TEST_F(CallbackMutationTest, ConstructionOutlivesAParentDeletedByItsListeners)
{
    for (const std::uint16_t code : {TreeNode::EventChildrenChanged, TreeNode::EventParentSet, TreeNode::EventCreated}) {
        TreeRoot root;
        auto* const parent = new Object(&root);
        std::uint32_t doomed = parent->GetOID();
        root.RegisterEvent(TreeNode::classType, code, DeleteOnce, true, &doomed, nullptr);
        auto* const created = new Object(parent);
        EXPECT_EQ(doomed, 0u);
        EXPECT_EQ(root.GetNumChildren(), 0);
        EXPECT_EQ(Base::GetObjectA(created->GetOID()), created);
        EXPECT_EQ(created->GetParent(), nullptr);
        delete created;
    }
}

TEST_F(CallbackMutationTest, DeletionListenerDeletingAnAncestorOfTheDyingNode)
{
    TreeRoot root;
    auto* const above = new Object(&root);
    auto* const top = new Object(above);
    auto* const middle = new Object(top);
    auto* const leaf = new Object(middle);
    new Object(leaf);
    new Object(top);
    std::uint32_t middleOID = middle->GetOID();
    std::uint32_t aboveOID = above->GetOID();
    leaf->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, DeleteOnce, false, &middleOID, nullptr);
    leaf->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, DeleteOnce, false, &aboveOID, nullptr);
    delete top;
    EXPECT_EQ(aboveOID, 0u);
    EXPECT_EQ(root.GetNumChildren(), 0);

    auto* const parent = new Object(&root);
    auto* const dying = new Object(parent);
    std::uint32_t parentOID = parent->GetOID();
    dying->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, DeleteOnce, false, &parentOID, nullptr);
    delete dying;
    EXPECT_EQ(parentOID, 0u);
    EXPECT_EQ(root.GetNumChildren(), 0);
}

TEST_F(CallbackMutationTest, ExpandingListenerDeletingTheNode)
{
    TreeRoot root;
    auto* const alone = new Object(&root);
    std::uint32_t aloneOID = alone->GetOID();
    alone->RegisterEvent(Object::classType, Object::EventExpanding, DeleteOnce, false, &aloneOID, nullptr);
    alone->ExpandNode(false);
    EXPECT_EQ(root.GetNumChildren(), 0);

    auto* const top = new Object(&root);
    auto* const first = new Object(top);
    new Object(first);
    auto* const second = new Object(top);
    std::uint32_t firstOID = first->GetOID();
    first->RegisterEvent(Object::classType, Object::EventExpanding, DeleteOnce, false, &firstOID, nullptr);
    top->ExpandNode(true);
    ASSERT_EQ(top->GetNumChildren(), 1);
    EXPECT_TRUE(second->IsExpanded());
}

TEST_F(CallbackMutationTest, GroupDeletedWhileItOrAMemberChanges)
{
    using Operation = void (TreeNode::*)(bool);
    const std::pair<Operation, Operation> operations[] = {{&TreeNode::UnSelect, &TreeNode::Select},
                                                          {&TreeNode::Select, &TreeNode::UnSelect},
                                                          {&TreeNode::SetVisible, &TreeNode::SetInvisible},
                                                          {&TreeNode::SetInvisible, &TreeNode::SetVisible}};
    for (const auto& [prepare, operation] : operations) {
        for (const bool onMember : {false, true}) {
            TreeRoot root;
            auto* const a = new Object(&root);
            auto* const b = new Object(&root);
            auto* const group = new NamedCollection(&root, "group");
            group->Add(a);
            group->Add(b);
            (group->*prepare)(false);
            std::uint32_t groupOID = group->GetOID();
            const std::uint16_t code = prepare == &TreeNode::UnSelect || prepare == &TreeNode::Select
                                           ? TreeNode::EventSelectionChanged
                                           : TreeNode::EventDisplayChanged;
            (onMember ? static_cast<TreeNode*>(a) : group)
                ->RegisterEvent(TreeNode::classType, code, DeleteOnce, false, &groupOID, nullptr);
            (group->*operation)(false);
            EXPECT_EQ(groupOID, 0u);
            EXPECT_EQ(root.GetNumChildren(), 2);
        }
    }
}
