#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/EventSet.h>
#include <tavrel/foundation/TreeNode.h>

using namespace Tavrel;

namespace {

class EventTestNode : public TreeNode {
    TAVREL_DECLARE_CLASS(EventTestNode, TreeNode)
public:
    explicit EventTestNode(TreeNode* parent = nullptr) : TreeNode(parent) {}
    bool Wants(std::uint32_t type, std::uint16_t code) const { return IsEventMaskSet(type, code); }

protected:
    EventTestNode(const EventTestNode&) = default;
};
TAVREL_IMPLEMENT_CLASS(EventTestNode, ClassKind::Creatable)

// A class level with an event-mask byte of its own.
class LevelNode : public EventTestNode {
    TAVREL_DECLARE_CLASS(LevelNode, EventTestNode)
    TAVREL_EVENT_MASK_LEVEL()
public:
    // Like every level with a byte of its own, takes the bits of the tree registrations above.
    explicit LevelNode(TreeNode* parent = nullptr) : EventTestNode(parent) { SetMaskFromParents(); }
    bool Wants(std::uint32_t type, std::uint16_t code) const { return IsEventMaskSet(type, code); }

protected:
    LevelNode(const LevelNode&) = default;
};
TAVREL_IMPLEMENT_CLASS(LevelNode, ClassKind::Creatable)

const std::uint32_t& Tree() { return TreeNode::classType; }

struct Heard {
    std::string tag;  // the registration's data, as text
    std::uint16_t code;
    std::uint32_t sourceOID;
};
std::vector<Heard> g_heard;
std::vector<Event> g_events;

const char* Tag(const Event& event) { return event.GetData() ? static_cast<const char*>(event.GetData()) : "-"; }

void Record(Event& event)
{
    g_heard.push_back({Tag(event), event.GetEventType(), event.GetTreeNodeOID()});
    g_events.push_back(event);
}

std::vector<std::string> Tags()
{
    std::vector<std::string> tags;
    for (const Heard& heard : g_heard)
        tags.push_back(heard.tag);
    return tags;
}

TreeNode* g_branch = nullptr;

char kA[] = "A";
char kB[] = "B";
char kC[] = "C";

class EventTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<EventTestNode>();
        ClassRegistry::Register<LevelNode>();
    }
    void SetUp() override
    {
        g_heard.clear();
        g_events.clear();
    }
};

} // namespace

TEST_F(EventTest, PlainRegistrationsHearTheirNodeTreeRegistrationsTheSubtree)
{
    EventTestNode parent;
    auto* child = new EventTestNode(&parent);
    parent.RegisterEvent(Tree(), TreeNode::EventSelectionChanged, Record, false, kA, nullptr);
    parent.RegisterEvent(Tree(), TreeNode::EventSelectionChanged, Record, true, kB, nullptr);
    child->Select(false);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"B"}));
    g_heard.clear();
    parent.Select(false);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"A", "B"}));
}

TEST_F(EventTest, TreeWideListenerHearsEveryEventBelowOnceWithItsSource)
{
    EventTestNode root;
    root.RegisterEvent(Tree(), TreeNode::EventTreeWide, Record, true, kA, nullptr);
    auto* level = new LevelNode(&root);
    g_heard.clear();
    g_events.clear();
    int payload = 5;
    level->DoNotify(LevelNode::classType, 64, "Label", &payload);
    level->SetClipped(true);
    ASSERT_EQ(g_heard.size(), 2u);
    const Event& first = g_events[0];
    EXPECT_EQ(first.GetClassType(), LevelNode::classType);
    EXPECT_EQ(first.GetEventType(), 64);
    EXPECT_EQ(first.GetTreeNode(false), level);
    EXPECT_EQ(first.GetExtraData(), &payload);
    EXPECT_EQ(first.GetAttribute(), nullptr);  // the registration's attribute, not the event's
    EXPECT_EQ(g_heard[1].code, TreeNode::EventDisplayChanged);
}

TEST_F(EventTest, AttributeFiltersMatchTextOrAbsence)
{
    LevelNode node;
    node.RegisterEvent(LevelNode::classType, 16, Record, false, kA, "Color");
    node.RegisterEvent(LevelNode::classType, 32, Record, false, kB, nullptr);
    node.DoNotify(LevelNode::classType, 16, "Color", nullptr);
    node.DoNotify(LevelNode::classType, 16, "Label", nullptr);
    node.DoNotify(LevelNode::classType, 16, "color", nullptr);
    node.DoNotify(LevelNode::classType, 16, nullptr, nullptr);
    node.DoNotify(LevelNode::classType, 32, "Anything", nullptr);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"A", "A", "B"}));
}

TEST_F(EventTest, IsRegisteredComparesAsRegistrationDoes)
{
    LevelNode node;
    node.RegisterEvent(LevelNode::classType, 16, Record, true, kA, "Color");
    EXPECT_TRUE(node.IsRegistered(LevelNode::classType, 16, Record, true, kA, "Color"));
    EXPECT_TRUE(node.IsRegistered(LevelNode::classType, 16, Record, true, kA, nullptr));
    EXPECT_FALSE(node.IsRegistered(LevelNode::classType, 16, Record, true, kA, "Label"));
    EXPECT_FALSE(node.IsRegistered(LevelNode::classType, 16, Record, false, kA, "Color"));
    EXPECT_FALSE(node.IsRegistered(LevelNode::classType, 16, Record, true, kB, "Color"));
    EXPECT_FALSE(node.IsRegistered(LevelNode::classType, 32, Record, true, kA, "Color"));
    node.UnregisterAllEvents(kA);
    EXPECT_FALSE(node.IsRegistered(LevelNode::classType, 16, Record, true, kA, "Color"));
}

TEST_F(EventTest, ClassLevelsKeepTheirOwnMaskBytes)
{
    EventTestNode root;
    auto* level = new LevelNode(&root);
    root.RegisterEvent(LevelNode::classType, 4, Record, true, kA, nullptr);
    EXPECT_TRUE(level->Wants(LevelNode::classType, 4));
    EXPECT_FALSE(level->Wants(Tree(), 4));
    EXPECT_FALSE(level->Wants(LevelNode::classType, 8));
    level->DoNotify(LevelNode::classType, 8, nullptr, nullptr);  // stops at the mask test
    level->DoNotify(LevelNode::classType, 4, nullptr, nullptr);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"A"}));
    level->UnregisterAllEvents();
    EXPECT_TRUE(level->Wants(LevelNode::classType, 4));  // the registration above still needs it
    root.UnregisterAllEvents();
    EXPECT_FALSE(level->Wants(LevelNode::classType, 4));
}

// A tree registration made over a built subtree reaches every node of it whatever its shape: a
// level wider than the walk takes at once, children with holes and in several blocks, a deep chain.
TEST_F(EventTest, TreeRegistrationOverABuiltSubtreeReachesEveryNodeOfIt)
{
    const std::uint32_t level = LevelNode::classType;
    EventTestNode root;
    auto* top = new EventTestNode(&root);
    auto* beside = new LevelNode(&root);
    std::vector<TreeNode*> below;
    const auto add = [&below](TreeNode* parent) { return below.emplace_back(new LevelNode(parent)); };
    for (int i = 0; i < 5000; ++i) {
        TreeNode* const child = add(top);
        if (i % 1000 == 0) {
            // Several blocks of children, a third of them removed.
            for (int j = 0; j < 300; ++j)
                add(child);
            for (int j = 299; j >= 0; j -= 3) {
                TreeNode* const gone = child->GetChild(j);
                below.erase(std::find(below.begin(), below.end(), gone));
                delete gone;
            }
        }
    }
    TreeNode* bottom = below.back();
    for (int depth = 0; depth < 500; ++depth)
        bottom = add(bottom);
    top->RegisterEvent(level, 4, Record, true, kA, nullptr);
    top->RegisterEvent(Tree(), 64, Record, true, kB, nullptr);
    const auto wants = [&](std::uint32_t type, std::uint16_t code) {
        return std::count_if(below.begin(), below.end(), [&](const TreeNode* node) {
            return static_cast<const LevelNode*>(node)->Wants(type, code);
        });
    };
    EXPECT_EQ(below.size(), 5000u + 5 * 200 + 500);
    EXPECT_EQ(wants(level, 4), static_cast<std::ptrdiff_t>(below.size()));
    EXPECT_EQ(wants(Tree(), 64), static_cast<std::ptrdiff_t>(below.size()));
    EXPECT_EQ(wants(level, 8), 0);
    EXPECT_FALSE(beside->Wants(level, 4));
    EXPECT_FALSE(root.Wants(Tree(), 64));
    bottom->DoNotify(level, 4, nullptr, nullptr);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"A"}));
}

// Kinds registered together act as one registration each: kept once however often given, tree ones
// setting the bits of the whole subtree, plain ones the node's own.
TEST_F(EventTest, KindsRegisteredTogetherActAsOneRegistrationEach)
{
    const std::uint32_t level = LevelNode::classType;
    LevelNode root;
    auto* const child = new LevelNode(&root);
    auto* const grandchild = new LevelNode(child);
    const TreeNode::EventKind kinds[] = {{level, 4}, {Tree(), 64}, {level, 4}};
    root.RegisterEvents(kinds, Record, true, kA, nullptr);
    root.RegisterEvents(kinds, Record, true, kA, nullptr);
    child->RegisterEvents(kinds, Record, false, kB, nullptr);
    for (const LevelNode* node : {&root, child, grandchild}) {
        EXPECT_TRUE(node->Wants(level, 4));
        EXPECT_TRUE(node->Wants(Tree(), 64));
    }
    grandchild->DoNotify(level, 4, nullptr, nullptr);
    child->DoNotify(level, 4, nullptr, nullptr);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"A", "B", "A"}));
    root.UnregisterEvent(level, 4, Record, true, kA, nullptr);
    EXPECT_FALSE(grandchild->Wants(level, 4));
    EXPECT_TRUE(child->Wants(level, 4));
    EXPECT_TRUE(grandchild->Wants(Tree(), 64));
}

TEST_F(EventTest, APlainRegistrationLeftOnANodeKeepsOnlyThatNodesBit)
{
    EventTestNode root;
    auto* level = new LevelNode(&root);
    root.RegisterEvent(LevelNode::classType, 4, Record, false, kA, nullptr);
    root.RegisterEvent(LevelNode::classType, 4, Record, true, kB, nullptr);
    EXPECT_TRUE(level->Wants(LevelNode::classType, 4));
    root.UnregisterEvent(LevelNode::classType, 4, Record, true, kB, nullptr);
    EXPECT_FALSE(level->Wants(LevelNode::classType, 4));
    level->DoNotify(LevelNode::classType, 4, nullptr, nullptr);
    EXPECT_TRUE(g_heard.empty());
}

// New nodes take the bits of the tree registrations above their current place, whatever was built,
// moved, registered or destroyed before.
TEST_F(EventTest, NewNodesInheritTheTreeRegistrationsAboveThem)
{
    const std::uint32_t level = LevelNode::classType;
    const auto wantsAll = [](const LevelNode* node, std::uint32_t type, std::initializer_list<std::uint16_t> codes) {
        return std::all_of(codes.begin(), codes.end(), [&](std::uint16_t code) { return node->Wants(type, code); });
    };
    auto first = std::make_unique<EventTestNode>();
    auto second = std::make_unique<EventTestNode>();
    first->RegisterEvent(level, 4, Record, true, kA, nullptr);
    second->RegisterEvent(level, 8, Record, true, kB, nullptr);
    // A chain with registrations of its own every 100 levels, for other codes and another level, for
    // events no step below raises.
    TreeNode* bottom = first.get();
    for (int depth = 1; depth <= 1000; ++depth) {
        bottom = new LevelNode(bottom);
        if (depth % 100 == 0)
            bottom->RegisterEvent(depth % 200 == 0 ? level : Tree(), depth % 200 == 0 ? 16 : 128, Record, true, kC, nullptr);
    }
    auto* top = first->GetChild(0);
    const auto* leaf = new LevelNode(bottom);
    EXPECT_TRUE(wantsAll(leaf, level, {4, 16}));
    EXPECT_TRUE(leaf->Wants(Tree(), 128));
    EXPECT_FALSE(leaf->Wants(level, 8));
    EXPECT_EQ(leaf->GetRoot(), first.get());

    // Each change below follows a question about the parent of `bottom`, the place a cache would answer from.
    EXPECT_EQ(bottom->GetRoot(), first.get());
    top->SetParent(nullptr);
    leaf = new LevelNode(bottom);
    EXPECT_FALSE(leaf->Wants(level, 4));
    EXPECT_EQ(leaf->GetRoot(), top);
    EXPECT_EQ(bottom->GetRoot(), top);
    top->SetParent(second.get());
    leaf = new LevelNode(bottom);
    EXPECT_TRUE(leaf->Wants(level, 8));
    EXPECT_FALSE(leaf->Wants(level, 4));
    EXPECT_EQ(leaf->GetRoot(), second.get());

    EXPECT_EQ(bottom->GetRoot(), second.get());
    top->RegisterEvent(level, 32, Record, true, kC, nullptr);
    const auto* below = new LevelNode(new LevelNode(bottom));
    EXPECT_TRUE(wantsAll(below, level, {8, 16, 32}));
    EXPECT_EQ(bottom->GetRoot(), second.get());
    top->UnregisterEvent(level, 32, Record, true, kC, nullptr);
    EXPECT_FALSE((new LevelNode(bottom))->Wants(level, 32));

    // The created event reaches a tree registration for it far above and one that a callback made on
    // the new node itself; a plain registration above hears nothing.
    ASSERT_TRUE(g_heard.empty());
    top->RegisterEvent(Tree(), TreeNode::EventCreated, Record, true, kA, nullptr);
    top->RegisterEvent(Tree(), TreeNode::EventCreated, Record, false, kB, nullptr);
    const Event::Callback registerOnNewChild = [](Event& event) {
        const TreeNode* parent = event.GetTreeNode(false);
        parent->GetChild(parent->GetNumChildren() - 1)->RegisterEvent(Tree(), TreeNode::EventCreated, Record, false, kC, nullptr);
    };
    new LevelNode(bottom);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"A"}));
    top->UnregisterEvent(Tree(), TreeNode::EventCreated, Record, true, kA, nullptr);
    bottom->RegisterEvent(Tree(), TreeNode::EventChildrenChanged, registerOnNewChild, false, nullptr, nullptr);
    new LevelNode(bottom);
    bottom->UnregisterEvent(Tree(), TreeNode::EventChildrenChanged, registerOnNewChild, false, nullptr, nullptr);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"A", "C"}));

    // A copy starts without registrations; the source stays where it was.
    std::unique_ptr<TreeNode> copy(top->TreeCopy());
    EXPECT_EQ((new LevelNode(bottom))->GetRoot(), second.get());
    TreeNode* copiedBottom = copy.get();
    while (copiedBottom->GetNumChildren() > 0)
        copiedBottom = copiedBottom->GetChild(0);
    leaf = new LevelNode(copiedBottom);
    EXPECT_EQ(leaf->GetRoot(), copy.get());
    EXPECT_FALSE(leaf->Wants(level, 8 | 16));

    // A root made where a destroyed one lived knows nothing of it.
    EXPECT_EQ(top->GetRoot(), second.get());
    second.reset();
    auto third = std::make_unique<EventTestNode>();
    leaf = new LevelNode(third.get());
    EXPECT_EQ(leaf->GetRoot(), third.get());
    EXPECT_FALSE(leaf->Wants(level, 4 | 8 | 16));
}

TEST_F(EventTest, RegistrationAddedByACallbackFiresInTheSameDelivery)
{
    EventTestNode node;
    node.RegisterEvent(Tree(), TreeNode::EventDisplayChanged, [](Event& event) {
        Record(event);
        event.GetTreeNode(false)->RegisterEvent(Tree(), TreeNode::EventDisplayChanged, Record, false, kB, nullptr);
    }, false, kA, nullptr);
    node.SetClipped(true);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"A", "B"}));
    g_heard.clear();
    node.SetClipped(true);  // both fire once, and the equal registration is not added again
    EXPECT_EQ(Tags(), (std::vector<std::string>{"A", "B"}));
}

TEST_F(EventTest, NestedDeliveryDoesNotCutTheOuterOneShort)
{
    EventTestNode node;
    auto* child = new EventTestNode(&node);
    // A raises another event at the same node; B must still hear the first event, and each once.
    node.RegisterEvent(Tree(), TreeNode::EventTreeWide, [](Event& event) {
        Record(event);
        if (event.GetEventType() == TreeNode::EventDisplayChanged)
            event.GetTreeNode(false)->GetParent()->Select(false);
    }, true, kA, nullptr);
    node.RegisterEvent(Tree(), TreeNode::EventTreeWide, Record, true, kB, nullptr);
    child->SetClipped(true);
    ASSERT_EQ(g_heard.size(), 4u);
    EXPECT_EQ(g_heard[0].tag + std::to_string(g_heard[0].code), "A64");
    EXPECT_EQ(g_heard[1].tag + std::to_string(g_heard[1].code), "A32");
    EXPECT_EQ(g_heard[2].tag + std::to_string(g_heard[2].code), "B32");
    EXPECT_EQ(g_heard[3].tag + std::to_string(g_heard[3].code), "B64");
}

TEST_F(EventTest, UnregisteringKeepsTheBitsOthersStillNeed)
{
    EventTestNode root;
    auto* middle = new EventTestNode(&root);
    auto* holder = new EventTestNode(middle);
    auto* below = new EventTestNode(holder);
    auto* other = new EventTestNode(middle);
    const std::uint16_t code = TreeNode::EventSelectionChanged;
    middle->RegisterEvent(Tree(), code, Record, true, kA, nullptr);
    holder->RegisterEvent(Tree(), code, Record, true, kB, nullptr);
    middle->UnregisterEvent(Tree(), code, Record, true, kA, nullptr);
    EXPECT_FALSE(middle->Wants(Tree(), code));
    EXPECT_FALSE(other->Wants(Tree(), code));
    EXPECT_TRUE(holder->Wants(Tree(), code));
    EXPECT_TRUE(below->Wants(Tree(), code));

    // A tree registration at the root keeps every bit below when lower registrations go.
    root.RegisterEvent(Tree(), code, Record, true, kC, nullptr);
    holder->UnregisterEvent(Tree(), code, Record, true, kB, nullptr);
    other->RegisterEvent(Tree(), code, Record, false, kA, nullptr);
    other->UnregisterEvent(Tree(), code, Record, false, kA, nullptr);
    EXPECT_TRUE(below->Wants(Tree(), code));
    EXPECT_TRUE(other->Wants(Tree(), code));
    other->Select(false);
    below->Select(false);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"C", "C"}));

    // A node inserted later takes the bits of the tree registrations above it.
    auto* late = new EventTestNode(below);
    EXPECT_TRUE(late->Wants(Tree(), code));
    late->SetParent(nullptr);
    delete late;
    holder->UnregisterEvent(Tree(), code, Record, true, kA, nullptr);  // absent: nothing happens
    EXPECT_TRUE(below->Wants(Tree(), code));
}

TEST_F(EventTest, UnregisteringByDataRemovesEveryMatch)
{
    EventTestNode node;
    node.RegisterEvent(Tree(), TreeNode::EventSelectionChanged, Record, false, kA, nullptr);
    node.RegisterEvent(Tree(), TreeNode::EventDisplayChanged, Record, false, kA, nullptr);
    node.RegisterEvent(Tree(), TreeNode::EventActivityChanged, Record, false, kB, nullptr);
    node.UnregisterAllEvents(kA);
    EXPECT_FALSE(node.Wants(Tree(), TreeNode::EventSelectionChanged));
    EXPECT_FALSE(node.Wants(Tree(), TreeNode::EventDisplayChanged));
    EXPECT_TRUE(node.Wants(Tree(), TreeNode::EventActivityChanged));
    node.SetClipped(true);
    node.Deactivate();
    EXPECT_EQ(Tags(), (std::vector<std::string>{"B"}));
}

TEST_F(EventTest, ANodesRegistrationsGrowAndShrinkInTheOrderTheyWereMade)
{
    // Forty listeners join one by one and leave from scattered places: the node's list moves to larger
    // blocks and back to smaller ones, down to the one held in place, and delivery keeps their order.
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i)
        names.push_back("R" + std::to_string(i));
    EventTestNode node;
    std::vector<std::string> listening;
    const auto deliver = [&] {
        g_heard.clear();
        node.SetClipped(!node.IsClipped());
        return Tags();
    };
    for (std::string& name : names) {
        node.RegisterEvent(Tree(), TreeNode::EventDisplayChanged, Record, false, name.data(), nullptr);
        listening.push_back(name);
        ASSERT_EQ(deliver(), listening);
    }
    for (std::size_t step = 0; !listening.empty(); ++step) {
        const std::size_t leaving = step * 7 % listening.size();
        const auto name = std::find(names.begin(), names.end(), listening[leaving]);
        node.UnregisterEvent(Tree(), TreeNode::EventDisplayChanged, Record, false, name->data(), nullptr);
        listening.erase(listening.begin() + static_cast<std::ptrdiff_t>(leaving));
        ASSERT_EQ(deliver(), listening);
    }
    EXPECT_FALSE(node.Wants(Tree(), TreeNode::EventDisplayChanged));
}

TEST_F(EventTest, UnregisteringByDataOverSeveralLevelsAndCodesKeepsOnlyTheBitsStillNeeded)
{
    EventTestNode root;
    auto* cell = new EventTestNode(&root);
    auto* level = new LevelNode(cell);
    auto* holder = new LevelNode(level);
    auto* below = new LevelNode(holder);
    const std::uint16_t selection = TreeNode::EventSelectionChanged;
    const std::uint16_t display = TreeNode::EventDisplayChanged;
    cell->RegisterEvent(Tree(), selection, Record, true, kA, nullptr);
    cell->RegisterEvent(Tree(), display, Record, true, kA, nullptr);
    cell->RegisterEvent(LevelNode::classType, 16, Record, true, kA, "Color");
    cell->RegisterEvent(LevelNode::classType, 16, Record, true, kA, "Label");
    cell->RegisterEvent(LevelNode::classType, 32, Record, true, kA, nullptr);
    cell->RegisterEvent(Tree(), TreeNode::EventActivityChanged, Record, false, kA, nullptr);
    // What others hold: a tree registration of one code further down, a plain one of another level's
    // code on a node below, and one of the same owner's codes on the cell under other data.
    holder->RegisterEvent(Tree(), display, Record, true, kB, nullptr);
    level->RegisterEvent(LevelNode::classType, 32, Record, false, kB, nullptr);
    cell->RegisterEvent(LevelNode::classType, 16, Record, true, kC, "Color");

    cell->UnregisterAllEvents(kA);

    EXPECT_FALSE(cell->Wants(Tree(), selection));
    EXPECT_FALSE(below->Wants(Tree(), selection));
    EXPECT_FALSE(cell->Wants(Tree(), TreeNode::EventActivityChanged));
    EXPECT_FALSE(level->Wants(Tree(), display));
    EXPECT_TRUE(holder->Wants(Tree(), display));
    EXPECT_TRUE(below->Wants(Tree(), display));
    EXPECT_TRUE(level->Wants(LevelNode::classType, 32));
    EXPECT_FALSE(holder->Wants(LevelNode::classType, 32));
    EXPECT_TRUE(below->Wants(LevelNode::classType, 16));
    below->Select(false);
    below->SetClipped(true);
    below->DoNotify(LevelNode::classType, 16, "Color", nullptr);
    below->DoNotify(LevelNode::classType, 16, "Label", nullptr);
    level->DoNotify(LevelNode::classType, 32, nullptr, nullptr);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"B", "C", "B"}));
}

TEST_F(EventTest, MutedTreeRegistrationsArePassedOverUntilUnmuted)
{
    EventTestNode root;
    auto* cell = new EventTestNode(&root);
    auto* level = new LevelNode(cell);
    const std::uint16_t code = TreeNode::EventSelectionChanged;
    cell->RegisterEvent(Tree(), code, Record, true, kA, nullptr);
    cell->RegisterEvent(LevelNode::classType, 16, Record, true, kA, "Color");
    cell->RegisterEvent(Tree(), TreeNode::EventParentSet, Record, false, kA, nullptr);
    root.RegisterEvent(Tree(), code, Record, true, kB, nullptr);

    // The plain registration under the same data is not muted, and the masks stand.
    cell->MuteTreeEvents(kA, true);
    level->Select(false);
    level->DoNotify(LevelNode::classType, 16, nullptr, nullptr);
    cell->DoNotify(Tree(), TreeNode::EventParentSet, nullptr, nullptr);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"B", "A"}));
    EXPECT_TRUE(level->Wants(LevelNode::classType, 16));

    g_heard.clear();
    cell->MuteTreeEvents(kA, false);
    level->UnSelect(false);
    level->DoNotify(LevelNode::classType, 16, "Color", nullptr);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"A", "B", "A"}));

    // With every registration of the node muted, events climb past it; one added then is heard.
    g_heard.clear();
    cell->UnregisterEvent(Tree(), TreeNode::EventParentSet, Record, false, kA, nullptr);
    cell->MuteTreeEvents(kA, true);
    level->Select(false);
    cell->RegisterEvent(Tree(), TreeNode::EventDisplayChanged, Record, true, kC, nullptr);
    level->SetClipped(true);
    level->UnSelect(false);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"B", "C", "B"}));
}

TEST_F(EventTest, CallbacksMayDeleteNodesAndRegistrations)
{
    EventTestNode root;
    auto* doomed = new EventTestNode(&root);
    root.RegisterEvent(Tree(), TreeNode::EventTreeWide, Record, true, kB, nullptr);
    // Deletes the node its registration sits on, mid-delivery.
    doomed->RegisterEvent(Tree(), TreeNode::EventDisplayChanged, [](Event& event) {
        delete event.GetTreeNode(false);
    }, false, kA, nullptr);
    const std::uint32_t oid = doomed->GetOID();
    doomed->SetClipped(true);
    EXPECT_EQ(root.GetNumChildren(), 0);
    EXPECT_EQ(Base::GetObjectA(oid), nullptr);
    ASSERT_FALSE(g_heard.empty());
    EXPECT_EQ(g_heard.back().code, TreeNode::EventChildrenChanged);

    // Drops every registration of the tree, its own included.
    g_heard.clear();
    auto* child = new EventTestNode(&root);
    root.RegisterEvent(Tree(), TreeNode::EventTreeWide, [](Event& event) {
        Record(event);
        event.GetTreeNode(false)->GetRoot()->UnregisterAllEvents();
    }, true, kA, nullptr);
    g_heard.clear();
    child->SetClipped(true);
    child->SetClipped(true);
    EXPECT_EQ(g_heard.size(), 2u);  // the first event reaches both, the second nobody

    // Deletes, during a recursive selection, the branch being walked with its queued work.
    for (int i = 0; i < 4; ++i)
        new EventTestNode(&root);
    g_branch = new EventTestNode(&root);
    new EventTestNode(g_branch);
    new EventTestNode(g_branch);
    root.RegisterEvent(Tree(), TreeNode::EventSelectionChanged, [](Event& event) {
        if (g_branch && event.GetTreeNode(false)->GetParent() == g_branch)
            delete std::exchange(g_branch, nullptr);
    }, true, kC, nullptr);
    root.Select(true);
    ASSERT_EQ(root.GetNumChildren(), 5);
    for (int i = 0; i < root.GetNumChildren(); ++i)
        EXPECT_TRUE(root.GetChild(i)->IsSelected());
}

TEST_F(EventTest, PlacementEventsUnheardOnlyMarkModifiedAndHeardReachTheirListeners)
{
    EventTestNode root;
    auto* const from = new EventTestNode(&root);
    auto* const to = new EventTestNode(&root);
    auto* const moved = new EventTestNode(from);
    root.ClearModified();
    // No registration anywhere: each change still marks the nodes it touches and those above.
    moved->SetParent(to);
    EXPECT_TRUE(moved->IsModified() && from->IsModified() && to->IsModified() && root.IsModified());
    root.ClearModified();
    auto* const created = new EventTestNode(to);
    EXPECT_TRUE(created->IsModified() && to->IsModified() && root.IsModified());
    EXPECT_FALSE(from->IsModified());
    EXPECT_FALSE(moved->IsModified());

    // Plain registrations hear their own node's events, a tree registration those below it.
    to->RegisterEvent(Tree(), TreeNode::EventChildrenChanged, Record, false, kA, nullptr);
    moved->RegisterEvent(Tree(), TreeNode::EventParentSet, Record, false, kB, nullptr);
    root.RegisterEvent(Tree(), TreeNode::EventCreated, Record, true, kC, nullptr);
    moved->SetParent(from);
    moved->SetParent(to);
    new EventTestNode(moved);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"A", "B", "A", "B", "C"}));
}

TEST_F(EventTest, ANewNodeJoinsAtTheEndWithAMovesEventsBeforeItsCreation)
{
    EventTestNode root;
    auto* const first = new EventTestNode(&root);
    root.RegisterEvent(Tree(), TreeNode::EventChildrenChanged, Record, false, kA, nullptr);
    root.RegisterEvent(Tree(), TreeNode::EventParentSet, Record, true, kB, nullptr);
    root.RegisterEvent(Tree(), TreeNode::EventCreated, Record, true, kC, nullptr);
    first->ClearModified();
    auto* const second = new EventTestNode(&root);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(root.GetChild(1), second);
    EXPECT_EQ(second->GetParent(), &root);
    EXPECT_TRUE(second->IsModified());
    EXPECT_FALSE(first->IsModified());
    // Without a parent, a new node joins nothing and raises nothing above.
    g_heard.clear();
    const EventTestNode alone;
    EXPECT_TRUE(g_heard.empty());
    EXPECT_EQ(root.GetNumChildren(), 2);
}

TEST_F(EventTest, GlobalSwitchOffDeliversNothingButStillMarksModified)
{
    EventTestNode root;
    auto* child = new EventTestNode(&root);
    root.RegisterEvent(Tree(), TreeNode::EventTreeWide, Record, true, kA, nullptr);
    root.ClearModified();
    Base::SetEventNotify(false);
    child->SetClipped(true);
    Base::SetEventNotify(true);
    EXPECT_TRUE(g_heard.empty());
    EXPECT_TRUE(root.IsModified());
}

TEST_F(EventTest, EventRecordsCopyCompareAndFindTheirNode)
{
    int data = 0;
    Event registration(Tree(), 32, Record, true, &data, "Color", nullptr);
    registration.SetClassInstance(TreeNode::classInstance);
    registration.SetProcessed(true);
    const Event copy(registration);
    EXPECT_EQ(copy.GetClassInstance(), TreeNode::classInstance);
    EXPECT_FALSE(copy.GetProcessed());
    EXPECT_STREQ(copy.GetAttribute(), "Color");
    EXPECT_NE(copy.GetAttribute(), registration.GetAttribute());

    Event bare(Tree(), 32, Record, true, &data, nullptr, nullptr);
    Event label(Tree(), 32, Record, true, &data, "Label", nullptr);
    EXPECT_TRUE(bare == registration);
    EXPECT_FALSE(label == registration);

    auto node = std::make_unique<EventTestNode>();
    bare.SetTreeNode(node.get());
    EXPECT_EQ(bare.GetTreeNode(true), node.get());
    node.reset();
    EXPECT_EQ(bare.GetTreeNode(true), nullptr);
    EXPECT_NE(bare.GetTreeNode(false), nullptr);
}

TEST_F(EventTest, EventSetChecksPairsOutAndIn)
{
    EventSet set;
    EXPECT_TRUE(set.CheckOutEvent(Tree(), 32));
    EXPECT_FALSE(set.CheckOutEvent(EventId{Tree(), 32}));
    EXPECT_FALSE(set.CheckInEvent(Tree(), 64));
    EventSet copy(set);
    EXPECT_TRUE(copy.CheckInEvent(Event(Tree(), 32, Record, false, nullptr, nullptr, nullptr)));
    EXPECT_FALSE(copy.CheckInEvent(Tree(), 32));
    EXPECT_TRUE(set.CheckOutAllEvent());
    EXPECT_FALSE(set.CheckOutEvent(Tree(), 64));
    EXPECT_TRUE(set.CheckInAllEvent());
    EXPECT_TRUE(set.CheckInEvent(Tree(), 32));  // untouched by the all-events pair
    EXPECT_TRUE(set.CheckOutEvent(Tree(), 64));
}

// Switching OID validation off is one-way and process-wide, so it runs in a child process.
TEST(EventOIDDeathTest, PlainRegistrationsFireWithValidationOff)
{
    EXPECT_EXIT(
        {
            AttachDataModelDLL();
            ClassRegistry::Register<EventTestNode>();
            g_heard.clear();
            Base::EnableOIDValidation(false);
            EventTestNode node;
            node.RegisterEvent(Tree(), TreeNode::EventDisplayChanged, Record, false, kA, nullptr);
            node.SetClipped(true);
            std::exit(g_heard.size() == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
