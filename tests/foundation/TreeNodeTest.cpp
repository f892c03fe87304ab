#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

class TreeTestNode : public TreeNode {
    TAVREL_DECLARE_CLASS(TreeTestNode, TreeNode)
public:
    explicit TreeTestNode(TreeNode* parent = nullptr) : TreeNode(parent) {}
    using TreeNode::IsVisible;

protected:
    TreeTestNode(const TreeTestNode&) = default;
};
TAVREL_IMPLEMENT_CLASS(TreeTestNode, ClassKind::Creatable)

// Writes a hostile child list: a null entry, one child twice and a reference to itself.
class CraftedNode : public TreeNode {
    TAVREL_DECLARE_CLASS(CraftedNode, TreeNode)
public:
    CraftedNode() = default;
    void Serialize(Archive& archive) override
    {
        if (archive.IsLoading()) {
            TreeNode::Serialize(archive);
            return;
        }
        static const RuntimeClass objectArray{"CObArray", 0, nullptr, nullptr};
        archive.WriteObject(nullptr);
        archive.WriteRecordHeader(objectArray);
        archive.WriteCount(4);
        archive.WriteObject(nullptr);
        archive.WriteObject(GetChild(0));
        archive.WriteObject(GetChild(0));
        archive.WriteObject(this);
        archive << std::uint8_t{1} << std::uint8_t{1} << std::uint8_t{0};
    }

protected:
    CraftedNode(const CraftedNode&) = default;
};
TAVREL_IMPLEMENT_CLASS(CraftedNode, ClassKind::Creatable)

struct Heard {
    std::uint32_t type;
    std::uint16_t code;
    const TreeNode* source;
    bool operator==(const Heard&) const = default;
};
std::vector<Heard> g_heard;

void Record(Event& event)
{
    g_heard.push_back({event.GetClassType(), event.GetEventType(), event.GetTreeNode(false)});
}

std::vector<std::uint16_t> HeardCodes()
{
    std::vector<std::uint16_t> codes;
    for (const Heard& heard : g_heard)
        codes.push_back(heard.code);
    return codes;
}

class TreeNodeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<TreeTestNode>();
        ClassRegistry::Register<CraftedNode>();
    }
    void SetUp() override { g_heard.clear(); }

    // Listens to every event of the subtree.
    static void Listen(TreeNode& node) { node.RegisterEvent(TreeNode::classType, TreeNode::EventTreeWide, Record, true, nullptr, nullptr); }

    // A chain of `depth` nodes below the returned root, built from the bottom so each join is O(1).
    static std::unique_ptr<TreeTestNode> Chain(int depth, TreeNode** leaf)
    {
        auto* bottom = new TreeTestNode();
        TreeTestNode* top = bottom;
        for (int i = 0; i < depth; ++i) {
            auto* above = new TreeTestNode();
            top->SetParent(above);
            top = above;
        }
        *leaf = bottom;
        return std::unique_ptr<TreeTestNode>(top);
    }
};

} // namespace

TEST_F(TreeNodeTest, ConstructionUnderAParentAnnouncesChildrenParentAndCreation)
{
    TreeTestNode root;
    Listen(root);
    auto* child = new TreeTestNode(&root);
    const TreeNode* parent = &root;
    EXPECT_EQ(g_heard, (std::vector<Heard>{{TreeNode::classType, 16, parent}, {TreeNode::classType, 8, child}, {TreeNode::classType, 2, child}}));
}

TEST_F(TreeNodeTest, NewNodeSelectionFollowsTheParent)
{
    TreeTestNode root;
    root.Select(false);
    TreeTestNode selectedChild(&root);
    TreeTestNode loose;
    EXPECT_TRUE(selectedChild.IsSelected());
    EXPECT_FALSE(loose.IsSelected());
}

TEST_F(TreeNodeTest, PlacementKeepsOrderAndRefusesCyclesAndBadIndices)
{
    TreeTestNode root;
    auto* a = new TreeTestNode(&root);
    auto* b = new TreeTestNode(&root);
    auto* c = new TreeTestNode(&root);
    auto* grandchild = new TreeTestNode(a);
    c->SetParentAt(&root, 0);
    EXPECT_EQ(root.GetChild(0), c);
    EXPECT_EQ(b->GetIndex(), 2);
    EXPECT_EQ(root.FindChildIndex(grandchild), -1);
    EXPECT_EQ(root.GetChild(-1), nullptr);
    EXPECT_EQ(root.GetChild(root.GetNumChildren()), nullptr);

    Listen(root);
    root.SetParent(grandchild);
    a->SetParent(a);
    a->SetParent(grandchild);
    a->SetParentAt(nullptr, 0);
    b->SetParentAt(&root, 3);  // three children, b not counted: 0..2
    b->SetParentAt(a, -1);
    EXPECT_TRUE(g_heard.empty());
    EXPECT_EQ(root.GetParent(), nullptr);
    EXPECT_EQ(a->GetParent(), &root);

    b->SetParentAt(&root, 2);
    EXPECT_EQ(b->GetIndex(), 2);
    EXPECT_EQ(HeardCodes(), (std::vector<std::uint16_t>{16, 16, 8}));
    EXPECT_TRUE(grandchild->HasAncestor(&root));
    EXPECT_TRUE(root.HasDescendent(grandchild));
    EXPECT_EQ(grandchild->FindCommonAncestor(b), &root);
}

TEST_F(TreeNodeTest, ReorderingAppliesAPermutationOrNothing)
{
    TreeTestNode root;
    auto* a = new TreeTestNode(&root);
    auto* b = new TreeTestNode(&root);
    auto* c = new TreeTestNode(&root);
    EXPECT_FALSE(root.ReorderChildren({0, 0, 1}));
    EXPECT_FALSE(root.ReorderChildren({0, 1}));
    EXPECT_FALSE(root.ReorderChildren({0, 1, 3}));
    EXPECT_EQ(root.GetChild(0), a);
    EXPECT_TRUE(root.ReorderChildren({2, 0, 1}));
    EXPECT_EQ(root.GetChild(0), b);
    EXPECT_EQ(root.GetChild(1), c);
    EXPECT_EQ(root.GetChild(2), a);
    EXPECT_EQ(a->GetIndex(), 2);
}

TEST_F(TreeNodeTest, PathsResolveFromTheRoot)
{
    TreeTestNode root;
    auto* first = new TreeTestNode(&root);
    new TreeTestNode(&root);
    new TreeTestNode(&root);
    TreeNode* target = nullptr;
    for (int i = 0; i < 4; ++i)
        target = new TreeTestNode(first);
    EXPECT_EQ(target->GetInvariant(), "/0/3/");
    EXPECT_EQ(root.GetInvariant(), "/");
    EXPECT_EQ(root.FindInvariant("/0/3/"), target);
    EXPECT_EQ(root.FindInvariant("/0/3"), target);
    EXPECT_EQ(root.FindInvariant("/"), &root);
    EXPECT_EQ(root.FindInvariant("/9/"), nullptr);
    EXPECT_EQ(root.FindInvariant(""), nullptr);
    EXPECT_EQ(root.FindInvariant("/-1/"), nullptr);
    EXPECT_EQ(root.FindInvariant("/0x/"), nullptr);
    EXPECT_EQ(root.FindInvariant("/99999999999999999999/"), nullptr);
    IntArray position{7, 7, 7, 7};
    EXPECT_EQ(target->GetTreePosition(position, false), 2);
    EXPECT_EQ(position, (IntArray{3, 0, 7, 7}));
}

TEST_F(TreeNodeTest, DestroyingASubtreeAnnouncesDeepestFirst)
{
    TreeTestNode root;
    auto* branch = new TreeTestNode(&root);
    auto* leaf1 = new TreeTestNode(branch);
    auto* leaf2 = new TreeTestNode(branch);
    Listen(root);
    delete branch;
    const TreeNode* r = &root;
    const std::uint32_t t = TreeNode::classType;
    EXPECT_EQ(g_heard, (std::vector<Heard>{{t, 4, leaf2}, {t, 16, branch}, {t, 4, leaf1}, {t, 16, branch}, {t, 4, branch}, {t, 16, r}}));
    EXPECT_EQ(root.GetNumChildren(), 0);
}

TEST_F(TreeNodeTest, SelectionAnnouncesEachChange)
{
    TreeTestNode root;
    auto* middle = new TreeTestNode(&root);
    auto* leaf = new TreeTestNode(middle);
    auto* fixed = new TreeTestNode(middle);
    fixed->DisableSelection(false);
    Listen(root);
    root.Select(true);
    // Marked top-down, announced children first; a node that is not selectable is left alone.
    EXPECT_EQ(g_heard, (std::vector<Heard>{{TreeNode::classType, 32, leaf}, {TreeNode::classType, 32, middle}, {TreeNode::classType, 32, &root}}));
    EXPECT_FALSE(fixed->IsSelected());

    g_heard.clear();
    leaf->UnSelect(false);
    EXPECT_EQ(g_heard, (std::vector<Heard>{{TreeNode::classType, 32, &root}, {TreeNode::classType, 32, middle}, {TreeNode::classType, 32, leaf}}));
    EXPECT_FALSE(root.IsSelected());

    g_heard.clear();
    leaf->Select(false);
    middle->SelectIfChildrenSelected();
    EXPECT_FALSE(middle->IsSelected());  // the unselectable child is not selected
    fixed->EnableSelection(false);
    fixed->Select(false);
    middle->SelectIfChildrenSelected();
    EXPECT_TRUE(middle->IsSelected());
}

TEST_F(TreeNodeTest, DisplayAndActivityChangesAreAnnounced)
{
    TreeTestNode root;
    auto* child = new TreeTestNode(&root);
    auto* sleeper = new TreeTestNode(&root);
    new TreeTestNode(sleeper);
    sleeper->Deactivate();
    Listen(root);
    child->SetClipped(true);
    child->SetClipped(true);
    child->SetVisible(false);      // already visible
    child->SetInvisible(false);
    child->SetInvisible(false);    // already invisible
    EXPECT_EQ(HeardCodes(), (std::vector<std::uint16_t>{64, 64, 64}));

    g_heard.clear();
    root.Deactivate();
    root.Deactivate();
    root.Activate();
    EXPECT_FALSE(child->IsActive());
    EXPECT_EQ(g_heard.size(), 2u);  // the first Deactivate: root and child, not the sleeping subtree
    g_heard.clear();
    root.Activate();
    EXPECT_EQ(g_heard, (std::vector<Heard>{{TreeNode::classType, 128, &root}, {TreeNode::classType, 128, child}}));
    EXPECT_TRUE(child->IsActive());
    EXPECT_FALSE(sleeper->GetChild(0)->IsActive());
}

TEST_F(TreeNodeTest, MovingUnderACollapsedParentCollapsesTheSubtree)
{
    TreeTestNode open;
    TreeTestNode closed;
    open.ExpandNode(false);
    auto* node = new TreeTestNode();
    auto* inner = new TreeTestNode(node);
    node->ExpandNode(true);
    node->SetParent(&open);
    EXPECT_TRUE(node->IsExpanded());
    node->SetParent(&closed);
    EXPECT_FALSE(node->IsExpanded());
    EXPECT_FALSE(inner->IsExpanded());
}

TEST_F(TreeNodeTest, CopiesAreParentlessWithCopiedChildren)
{
    TreeTestNode root;
    auto* node = new TreeTestNode(&root);
    auto* inner = new TreeTestNode(node);
    new TreeTestNode(inner);
    node->SetLID(7);
    node->SetClipped(true);
    Listen(*node);
    std::unique_ptr<TreeNode> copy(node->TreeCopy());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetParent(), nullptr);
    EXPECT_EQ(node->GetParent(), &root);
    EXPECT_EQ(copy->GetLID(), 7u);
    EXPECT_TRUE(copy->IsClipped());
    ASSERT_EQ(copy->GetNumChildren(), 1);
    EXPECT_NE(copy->GetChild(0), inner);
    EXPECT_EQ(copy->GetChild(0)->GetParent(), copy.get());
    EXPECT_EQ(copy->GetNumDescendents(), 2);
    // Registrations and their masks stay with the source.
    g_heard.clear();
    copy->GetChild(0)->SetClipped(false);
    EXPECT_TRUE(g_heard.empty());

    // A node copy links nothing: it is its own root, and the source keeps its place and subtree.
    EXPECT_EQ(inner->GetRoot(), &root);
    std::unique_ptr<TreeNode> single(node->NodeCopy());
    EXPECT_EQ(single->GetNumChildren(), 0);
    EXPECT_EQ(single->GetParent(), nullptr);
    EXPECT_EQ(single->GetRoot(), single.get());
    EXPECT_EQ(node->GetNumChildren(), 1);
    EXPECT_EQ(inner->GetRoot(), &root);
    EXPECT_EQ(node->GetRoot(), &root);

    // A plain copy of a node with a parent copies the whole tree.
    std::unique_ptr<Base> whole(inner->Copy());
    TreeNode* copiedRoot = DynCast<TreeNode>(whole.get())->GetRoot();
    whole.release();
    std::unique_ptr<TreeNode> owner(copiedRoot);
    EXPECT_NE(copiedRoot, &root);
    EXPECT_EQ(copiedRoot->GetNumDescendents(), 3);
}

// Copies wait in a queue made by the first copy that waits: a broad tree (a long queue) and single
// nodes (none) come out whole, in order, and linked.
TEST_F(TreeNodeTest, BroadCopiesKeepEveryChildInOrder)
{
    constexpr int width = 3000;
    TreeTestNode root;
    for (int i = 0; i < width; ++i) {
        auto* const child = new TreeTestNode(&root);
        child->SetLID(static_cast<std::uint32_t>(2 * i + 1));
        (new TreeTestNode(child))->SetLID(static_cast<std::uint32_t>(2 * i + 2));
    }
    std::unique_ptr<TreeNode> copy(root.TreeCopy());
    ASSERT_EQ(copy->GetNumChildren(), width);
    EXPECT_EQ(copy->GetNumDescendents(), 2 * width);
    int wrong = 0;
    for (int i = 0; i < width; ++i) {
        const TreeNode* const child = copy->GetChild(i);
        const TreeNode* const grandchild = child->GetNumChildren() == 1 ? child->GetChild(0) : nullptr;
        wrong += child->GetParent() != copy.get() || child == root.GetChild(i) ||
                 child->GetLID() != static_cast<std::uint32_t>(2 * i + 1) || !grandchild ||
                 grandchild->GetParent() != child || grandchild->GetLID() != static_cast<std::uint32_t>(2 * i + 2) ||
                 grandchild->GetRoot() != copy.get();
    }
    EXPECT_EQ(wrong, 0);
    for (int i = 0; i < 3; ++i) {
        std::unique_ptr<TreeNode> single(root.GetChild(i)->NodeCopy());
        EXPECT_EQ(single->GetLID(), static_cast<std::uint32_t>(2 * i + 1));
        EXPECT_EQ(single->GetParent(), nullptr);
        EXPECT_EQ(single->GetNumChildren(), 0);
        EXPECT_EQ(root.GetChild(i)->GetNumChildren(), 1);
    }
}

TEST_F(TreeNodeTest, DeepChainsNeverRecurse)
{
    constexpr int depth = 100000;
    TreeNode* leaf = nullptr;
    std::unique_ptr<TreeTestNode> root = Chain(depth, &leaf);
    EXPECT_EQ(leaf->GetNumAncestors(), depth);
    EXPECT_EQ(root->GetNumDescendents(), depth);
    root->Select(true);
    EXPECT_TRUE(leaf->IsObjectSelected());
    leaf->UnSelect(false);
    EXPECT_FALSE(root->IsObjectSelected());
    root->SetInvisible(true);
    EXPECT_FALSE(DynCast<TreeTestNode>(leaf)->IsVisible());
    root->ExpandNode(true);
    root->CollapseNode(true);
    root->ClearModified();
    EXPECT_FALSE(leaf->IsModified());
    root->Deactivate();
    root->Activate();
    root->RegisterEvent(TreeNode::classType, TreeNode::EventCreated, Record, true, nullptr, nullptr);
    root->UnregisterAllEvents();
    std::unique_ptr<TreeNode> copy(root->TreeCopy());
    EXPECT_EQ(copy->GetNumDescendents(), depth);
    // The framework-archive form writes and reads the chain without a call per level.
    Archive out;
    out.WriteObject(root.get());
    Archive in(out.GetBuffer());
    std::unique_ptr<TreeNode> loaded(static_cast<TreeNode*>(in.ReadObject(&TreeNode::GetThisClass())));
    EXPECT_EQ(loaded->GetNumDescendents(), depth);
    copy.reset();
    root.reset();
}

TEST_F(TreeNodeTest, ChildIndicesStayRightThroughRandomInsertsRemovalsAndMoves)
{
    TreeTestNode root;
    std::vector<TreeNode*> model;
    std::mt19937 random(11);
    const auto pick = [&random](std::size_t size) { return static_cast<std::size_t>(random() % size); };
    const auto insert = [&](std::size_t at) {
        auto* node = new TreeTestNode();
        node->SetParentAt(&root, static_cast<int>(at));
        model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), node);
    };
    const auto check = [&] {
        ASSERT_EQ(root.GetNumChildren(), static_cast<int>(model.size()));
        ASSERT_EQ(root.GetNumDescendents(), static_cast<int>(model.size()));
        for (std::size_t i = 0; i < model.size(); ++i) {
            ASSERT_EQ(root.GetChild(static_cast<int>(i)), model[i]);
            ASSERT_EQ(model[i]->GetIndex(), static_cast<int>(i));
        }
    };
    for (int i = 0; i < 3000; ++i)
        model.push_back(new TreeTestNode(&root));
    for (int i = 0; i < 300; ++i) {
        delete model.back();
        model.pop_back();
    }
    check();
    // Runs of insertions at one place, then everything at random, growing and then shrinking to one.
    for (int i = 0; i < 700; ++i)
        insert(0);
    for (int i = 0; i < 700; ++i)
        insert(1500 + static_cast<std::size_t>(i));
    check();
    for (int step = 0; model.size() > 1; ++step) {
        const std::size_t at = pick(model.size());
        const auto kind = random() % (step < 6000 ? 4 : 8);
        if (kind == 0) {
            insert(pick(model.size() + 1));
        } else if (kind == 1) {
            // Move a child to another position (counted after its removal).
            const std::size_t to = pick(model.size());
            TreeNode* moved = model[at];
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(to), moved);
            moved->SetParentAt(&root, static_cast<int>(to));
        } else {
            delete model[at];
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        }
        ASSERT_EQ(root.GetNumChildren(), static_cast<int>(model.size()));
        const std::size_t probe = pick(model.size());
        ASSERT_EQ(root.GetChild(static_cast<int>(probe)), model[probe]);
        ASSERT_EQ(model[probe]->GetIndex(), static_cast<int>(probe));
        ASSERT_EQ(root.GetChild(static_cast<int>(model.size()) - 1), model.back());
        if (step % 500 == 0)
            check();
    }
    check();
    // Emptied and filled again, then reordered.
    delete model[0];
    model.clear();
    for (int i = 0; i < 600; ++i)
        insert(pick(model.size() + 1));
    IntArray positions(model.size());
    std::vector<TreeNode*> reordered(model.size());
    for (std::size_t i = 0; i < model.size(); ++i) {
        positions[i] = static_cast<std::int32_t>(model.size() - 1 - i);
        reordered[model.size() - 1 - i] = model[i];
    }
    ASSERT_TRUE(root.ReorderChildren(positions));
    model = reordered;
    insert(300);
    check();
}

TEST_F(TreeNodeTest, ArchiveRoundTripKeepsShapeAndFlags)
{
    TreeTestNode root;
    auto* a = new TreeTestNode(&root);
    auto* b = new TreeTestNode(&root);
    new TreeTestNode(b);
    a->SetClipped(true);
    b->SetInvisible(false);
    b->Select(false);
    Archive out;
    out.WriteObject(&root);
    Archive in(out.GetBuffer());
    std::unique_ptr<TreeNode> loaded(static_cast<TreeNode*>(in.ReadObject(&TreeNode::GetThisClass())));
    ASSERT_EQ(loaded->GetNumChildren(), 2);
    EXPECT_EQ(loaded->GetParent(), nullptr);
    EXPECT_TRUE(loaded->GetChild(0)->IsClipped());
    EXPECT_TRUE(loaded->GetChild(1)->IsSelected());
    EXPECT_EQ(loaded->GetChild(1)->GetChild(0)->GetParent(), loaded->GetChild(1));
    EXPECT_EQ(loaded->GetNumDescendents(), 3);
}

TEST_F(TreeNodeTest, RecordsNestedInCollectionMembersAreBounded)
{
    // Each collection's record holds the next one's as a new member record: that nesting costs call
    // stack, so 64 levels are written and read back and a 65th is refused.
    std::vector<std::unique_ptr<OrdCollection>> groups;
    for (int i = 0; i < 65; ++i)
        groups.push_back(std::make_unique<OrdCollection>());
    for (std::size_t i = 0; i + 1 < groups.size(); ++i)
        groups[i]->Add(groups[i + 1].get());
    groups[63]->RemoveAll();
    Archive out;
    out.WriteObject(groups[0].get());
    Archive in(out.GetBuffer());
    std::vector<std::unique_ptr<OrdCollection>> loaded;
    loaded.emplace_back(DynCast<OrdCollection>(static_cast<Base*>(in.ReadObject(&OrdCollection::GetThisClass()))));
    while (loaded.back() && loaded.back()->GetSize() == 1)
        loaded.emplace_back(DynCast<OrdCollection>(loaded.back()->GetAt(0)));
    EXPECT_EQ(loaded.size(), 64u);

    groups[63]->Add(groups[64].get());
    Archive tooDeep;
    try {
        tooDeep.WriteObject(groups[0].get());
        FAIL();
    } catch (const ArchiveException& error) {
        EXPECT_NE(std::string(error.what()).find("objects nested more than 64 deep"), std::string::npos);
    }
}

TEST_F(TreeNodeTest, ArchiveDropsBadChildEntriesAndRejectsBadParents)
{
    CraftedNode crafted;
    new TreeTestNode(&crafted);
    Archive out;
    out.WriteObject(&crafted);
    Archive in(out.GetBuffer());
    std::unique_ptr<TreeNode> loaded(static_cast<TreeNode*>(in.ReadObject(&TreeNode::GetThisClass())));
    ASSERT_EQ(loaded->GetNumChildren(), 1);
    EXPECT_EQ(loaded->GetChild(0)->GetParent(), loaded.get());

    // A record whose parent is a new object, and a truncated record: archive errors, nothing leaks.
    TreeTestNode parent;
    auto* child = new TreeTestNode(&parent);
    Archive detached;
    detached.WriteObject(child);  // written alone, so its parent reference is null
    std::vector<std::uint8_t> bytes = detached.GetBuffer();
    Archive whole;
    whole.WriteObject(&parent);
    std::vector<std::uint8_t> truncated = whole.GetBuffer();
    truncated.pop_back();
    Archive cut(truncated);
    EXPECT_THROW(cut.ReadObject(), ArchiveException);
    // Replace the child's null parent tag by a new-class tag.
    const std::size_t parentTag = bytes.size() - 2 - 2 - 3;
    ASSERT_EQ(bytes[parentTag], 0);
    bytes[parentTag] = 0xFF;
    bytes[parentTag + 1] = 0xFF;
    Archive hostile(bytes);
    EXPECT_THROW(hostile.ReadObject(), ArchiveException);
}

TEST_F(TreeNodeTest, ARefusedRecordLetsGoOfNodesAnEarlierReadHandedOut)
{
    // The first record is a node alone; the second takes it back as a child, then is cut short. The
    // node stays its reader's, parentless; the node the refused record made is gone.
    TreeTestNode parent;
    auto* const child = new TreeTestNode(&parent);
    new TreeTestNode(child);
    Archive out;
    out.WriteObject(child);
    out.WriteObject(&parent);
    std::vector<std::uint8_t> bytes = out.GetBuffer();
    bytes.pop_back();
    Archive in(bytes);
    auto* const first = static_cast<TreeNode*>(in.ReadObject(&TreeNode::GetThisClass()));
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->GetNumChildren(), 1);
    const std::uint32_t oid = first->GetOID();
    const std::uint32_t lastBefore = Base::GetLastOID();
    EXPECT_THROW(in.ReadObject(&TreeNode::GetThisClass()), ArchiveException);
    for (std::uint32_t made = lastBefore + 1; made <= Base::GetLastOID(); ++made)
        EXPECT_EQ(Base::GetObjectA(made), nullptr);
    const bool kept = Base::GetObjectA(oid) == first;
    ASSERT_TRUE(kept);
    EXPECT_EQ(first->GetParent(), nullptr);
    EXPECT_EQ(first->GetNumChildren(), 1);
    delete first;

    // The same when the node is placed below the labelled record, whose own fields then fail: a
    // record inside the refused one, or the refused record itself (after its children).
    const auto keptWhenCutInLabel = [](TreeNode& placed, Object& labelled, Object& top) {
        const std::string label = labelled.GetLabel();
        Archive written;
        written.WriteObject(&placed);
        written.WriteObject(&top);
        std::vector<std::uint8_t> cut = written.GetBuffer();
        const auto at = std::search(cut.begin(), cut.end(), label.begin(), label.end());
        ASSERT_NE(at, cut.end());
        cut.erase(at + 3, cut.end());
        Archive reading(cut);
        auto* const handed = static_cast<TreeNode*>(reading.ReadObject(&TreeNode::GetThisClass()));
        ASSERT_NE(handed, nullptr);
        const std::uint32_t handedOID = handed->GetOID();
        EXPECT_THROW(reading.ReadObject(&TreeNode::GetThisClass()), ArchiveException);
        ASSERT_EQ(Base::GetObjectA(handedOID), handed);
        EXPECT_EQ(handed->GetParent(), nullptr);
        delete handed;
    };
    Object top(nullptr);
    auto* const inner = new Object(&top);
    inner->SetLabel("cut inside");
    keptWhenCutInLabel(*new TreeTestNode(inner), *inner, top);
    Object alone(nullptr);
    alone.SetLabel("cut at the top");
    keptWhenCutInLabel(*new TreeTestNode(&alone), alone, alone);
    // Also from deep below a child the refused record made.
    Object deep(nullptr);
    deep.SetLabel("cut below a made child");
    keptWhenCutInLabel(*new TreeTestNode(new Object(&deep)), deep, deep);
}

TEST_F(TreeNodeTest, CleaningUpAfterARefusedReadLetsGoOfNodesHandedOutBefore)
{
    // A node an earlier read handed out, taken deep into a tree the refused read made, stays its
    // reader's: parentless, with its own subtree; the refused read's nodes go.
    auto* const handed = new TreeTestNode();
    auto* const below = new TreeTestNode(handed);
    const std::uint32_t lastBefore = Base::GetLastOID();
    auto* const made = new TreeTestNode();
    handed->SetParent(new TreeTestNode(new TreeTestNode(made)));
    ASSERT_EQ(handed->GetRoot(), made);
    EXPECT_EQ(TreeNode::DeleteParentlessSince(lastBefore, Base::GetLastOID()), 1u);
    for (std::uint32_t oid = lastBefore + 1; oid <= Base::GetLastOID(); ++oid)
        EXPECT_EQ(Base::GetObjectA(oid), nullptr);
    EXPECT_EQ(handed->GetParent(), nullptr);
    ASSERT_EQ(handed->GetNumChildren(), 1);
    EXPECT_EQ(handed->GetChild(0), below);
    delete handed;
}
