#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/foundation/AncestorIterator.h>
#include <tavrel/foundation/ChildIterator.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/FilterLabel.h>
#include <tavrel/foundation/GraphTraversal.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/ParentIterator.h>

using namespace Tavrel;

namespace {

// An Object of its own class, for class-restricted walks.
class IterMarked : public Object {
    TAVREL_DECLARE_CLASS(IterMarked, Object)
public:
    explicit IterMarked(TreeNode* parent, std::string_view label = {}) : Object(parent) { SetLabel(label); }

protected:
    IterMarked() = default;
    IterMarked(const IterMarked&) = default;
};
TAVREL_IMPLEMENT_CLASS(IterMarked, ClassKind::Creatable)

// A tree node that is not an Object.
class IterBareNode : public TreeNode {
    TAVREL_DECLARE_CLASS(IterBareNode, TreeNode)
public:
    explicit IterBareNode(TreeNode* parent) : TreeNode(parent) {}

protected:
    IterBareNode() = default;
    IterBareNode(const IterBareNode&) = default;
};
TAVREL_IMPLEMENT_CLASS(IterBareNode, ClassKind::Creatable)

Object* Labelled(TreeNode* parent, std::string_view label)
{
    auto* object = new Object(parent);
    object->SetLabel(label);
    return object;
}

std::vector<std::string> Labels(Iterator& iterator)
{
    std::vector<std::string> labels;
    while (Object* const object = iterator.GetNext())
        labels.push_back(object->GetLabel());
    return labels;
}

using Names = std::vector<std::string>;

// R(A(A1, A2), B)
class IteratorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<IterMarked>();
        ClassRegistry::Register<IterBareNode>();
    }

    void SetUp() override
    {
        root.SetLabel("R");
        a = Labelled(&root, "A");
        a1 = Labelled(a, "A1");
        Labelled(a, "A2");
        b = Labelled(&root, "B");
    }

    Object root{nullptr};
    Object* a = nullptr;
    Object* a1 = nullptr;
    Object* b = nullptr;
};

} // namespace

TEST_F(IteratorTest, DescendantsComeInPreOrder)
{
    DescendentIterator without(&root, false);
    EXPECT_EQ(Labels(without), (Names{"A", "A1", "A2", "B"}));
    DescendentIterator with(&root, true);
    EXPECT_EQ(Labels(with), (Names{"R", "A", "A1", "A2", "B"}));
    EXPECT_EQ(with.GetNext(), nullptr);
    with.Reset();
    EXPECT_EQ(Labels(with), (Names{"R", "A", "A1", "A2", "B"}));
}

TEST_F(IteratorTest, ParentIteratorYieldsOnlyNodesWithChildren)
{
    ParentIterator with(&root, true);
    EXPECT_EQ(Labels(with), (Names{"R", "A"}));
    ParentIterator without(&root, false);
    EXPECT_EQ(Labels(without), (Names{"A"}));
    // Only parents of a child labelled A2.
    ParentIterator ofA2(&root, FilterLabel("\"A2\"", Filter::Include), true);
    EXPECT_EQ(Labels(ofA2), (Names{"A"}));
    ParentIterator ofMarked(&root, IterMarked::classType, FilterLabel(Filter::Include), true);
    EXPECT_TRUE(Labels(ofMarked).empty());
}

TEST_F(IteratorTest, AncestorsClimbToTheTop)
{
    AncestorIterator without(a1, false);
    EXPECT_EQ(Labels(without), (Names{"A", "R"}));
    EXPECT_EQ(without.GetNext(), nullptr);
    AncestorIterator with(a1, true);
    EXPECT_EQ(Labels(with), (Names{"A1", "A", "R"}));
    AncestorIterator top(&root, false);
    EXPECT_EQ(top.GetNext(), nullptr);
}

TEST_F(IteratorTest, ChildIteratorOnALeafYieldsOnlyTheLeafWithTheFlagAndNullRootsNothing)
{
    ChildIterator with(b, true);
    EXPECT_EQ(Labels(with), Names{"B"});
    EXPECT_EQ(ChildIterator(b, false).GetNext(), nullptr);
    EXPECT_EQ(DescendentIterator(nullptr, true).GetNext(), nullptr);
    EXPECT_EQ(AncestorIterator(nullptr, false).GetNext(), nullptr);
    EXPECT_EQ(ChildIterator(nullptr, true).GetNext(), nullptr);
}

TEST_F(IteratorTest, ChildIteratorSeesChildrenAddedDuringTheWalk)
{
    ChildIterator children(&root, false);
    EXPECT_EQ(children.GetNext(), a);
    Labelled(&root, "C");
    EXPECT_EQ(Labels(children), (Names{"B", "C"}));
}

TEST_F(IteratorTest, ClassRestrictionFiltersYieldsButNotTheWalk)
{
    // Marked nodes below plain ones are still reached.
    new IterMarked(a1, "M1");
    new IterMarked(b, "M2");
    DescendentIterator marked(&root, IterMarked::classType, true);
    EXPECT_EQ(Labels(marked), (Names{"M1", "M2"}));
    std::vector<TreeNode*> found;
    root.GetDescendents(IterMarked::classType, found);
    EXPECT_EQ(found, (std::vector<TreeNode*>{a1->GetChild(0), b->GetChild(0)}));
    AncestorIterator markedAbove(a1, IterMarked::classType, true);
    EXPECT_EQ(markedAbove.GetNext(), nullptr);
}

TEST_F(IteratorTest, CopiesContinueWhereTheOriginalStandsAndOwnTheirFilter)
{
    auto original = std::make_unique<DescendentIterator>(&root, FilterLabel("A", Filter::Include), true);
    EXPECT_EQ(original->GetNext(), a);
    std::unique_ptr<Iterator> copy = original->Copy();
    original.reset();
    EXPECT_EQ(Labels(*copy), (Names{"A1", "A2"}));

    DescendentIterator fromRoot(&root, true);
    EXPECT_EQ(fromRoot.GetNext(), &root);
    std::unique_ptr<Iterator> rest = fromRoot.Copy();
    EXPECT_EQ(Labels(*rest), (Names{"A", "A1", "A2", "B"}));
    // The copy's progress does not move the original.
    EXPECT_EQ(fromRoot.GetNext(), a);

    ParentIterator parents(&root, true);
    EXPECT_EQ(parents.GetNext(), &root);
    EXPECT_EQ(Labels(*parents.Copy()), (Names{"A"}));
    ChildIterator children(&root, true);
    children.GetNext();
    EXPECT_EQ(Labels(*children.Copy()), (Names{"A", "B"}));
    AncestorIterator ancestors(a1, true);
    ancestors.GetNext();
    EXPECT_EQ(Labels(*ancestors.Copy()), (Names{"A", "R"}));
}

TEST_F(IteratorTest, NodesThatAreNotObjectsAreWalkedThroughButNotYielded)
{
    auto* bare = new IterBareNode(b);
    Object* below = Labelled(bare, "Below");
    DescendentIterator descendants(b, false);
    EXPECT_EQ(Labels(descendants), (Names{"Below"}));
    AncestorIterator ancestors(below, false);
    EXPECT_EQ(Labels(ancestors), (Names{"B", "R"}));
    ChildIterator children(b, false);
    EXPECT_EQ(children.GetNext(), nullptr);
    // B has a child, though not one that is yielded.
    ParentIterator parents(&root, false);
    EXPECT_EQ(Labels(parents), (Names{"A", "B"}));
}

TEST(IteratorDeepTree, WalksNeverRecurse)
{
    AttachDataModelDLL();
    constexpr int depth = 100000;
    auto* leaf = new Object(nullptr);
    Object* top = leaf;
    for (int i = 0; i < depth; ++i) {
        auto* above = new Object(nullptr);
        top->SetParent(above);
        top = above;
    }
    std::unique_ptr<Object> root(top);
    int count = 0;
    DescendentIterator descendants(root.get(), false);
    while (descendants.GetNext())
        ++count;
    EXPECT_EQ(count, depth);
    count = 0;
    AncestorIterator ancestors(leaf, false);
    while (ancestors.GetNext())
        ++count;
    EXPECT_EQ(count, depth);
    count = 0;
    ParentIterator parents(root.get(), true);
    while (parents.GetNext())
        ++count;
    EXPECT_EQ(count, depth);
}

namespace {

// Objects and marked objects below root: the one-walk gathering and visit give what the iterator
// gives.
void ExpectGatheredAsIterated(Object& root)
{
    for (const std::uint32_t type : {Object::classType, IterMarked::classType}) {
        std::vector<TreeNode*> expected;
        DescendentIterator walk(&root, type, false);
        while (Object* const next = walk.GetNext())
            expected.push_back(next);
        std::vector<TreeNode*> found;
        root.GetDescendents(type, found);
        EXPECT_EQ(found, expected);
        std::vector<TreeNode*> visited;
        root.ForEachDescendent(type, [&visited](TreeNode* node) { visited.push_back(node); });
        EXPECT_EQ(visited, expected);
        // The walk that may stop: to its end, and stopped after the middle one, which it reports.
        visited.clear();
        EXPECT_TRUE(root.ForEachDescendentWhile(type, [&visited](TreeNode* node) { return visited.push_back(node), true; }));
        EXPECT_EQ(visited, expected);
        if (expected.empty())
            continue;
        const std::size_t stop = expected.size() / 2;
        visited.clear();
        EXPECT_FALSE(root.ForEachDescendentWhile(
            type, [&](TreeNode* node) { return visited.push_back(node), node != expected[stop]; }));
        EXPECT_EQ(visited, std::vector<TreeNode*>(expected.begin(), expected.begin() + stop + 1));
    }
}

// Classes derived without an identity of their own, as a host derives them.
class IterMarkedHost : public IterMarked {
public:
    using IterMarked::IterMarked;
};
class IterObjectHost : public Object {
public:
    explicit IterObjectHost(TreeNode* parent) : Object(parent) {}
};

} // namespace

// Derived classes among several others, met in an order that keeps changing: the gathering tells
// them apart as the iterator does.
TEST(IteratorDeepTree, GatheringTellsDerivedClassesApartAmongMany)
{
    AttachDataModelDLL();
    ClassRegistry::Register<IterMarked>();
    ClassRegistry::Register<IterBareNode>();
    Object root(nullptr);
    int marked = 0;
    for (int i = 0; i < 300; ++i) {
        switch ((i / 2 + i / 7) % 6) {
        case 0: new IterMarked(&root); ++marked; break;
        case 1: new IterMarkedHost(&root); ++marked; break;
        case 2: new Object(&root); break;
        case 3: new IterObjectHost(&root); break;
        case 4: new IterBareNode(&root); break;
        default: new IterMarked(new IterObjectHost(&root)); ++marked; break;
        }
    }
    ExpectGatheredAsIterated(root);
    std::vector<TreeNode*> found;
    root.GetDescendents(IterMarked::classType, found);
    EXPECT_EQ(static_cast<int>(found.size()), marked);
}

// Wide and deep levels, children removed here and there (arrays with holes) and bare nodes: the
// one-walk gathering and visit give what the iterator gives.
TEST(IteratorDeepTree, GatheredDescendentsComeAsTheIteratorYieldsThem)
{
    AttachDataModelDLL();
    ClassRegistry::Register<IterMarked>();
    ClassRegistry::Register<IterBareNode>();
    Object root(nullptr);
    std::vector<Object*> removed;
    for (int a = 0; a < 40; ++a) {
        TreeNode* const group = a % 7 == 3 ? static_cast<TreeNode*>(new IterBareNode(&root)) : new Object(&root);
        for (int b = 0; b < 3 + a % 29; ++b) {
            Object* const child = (a + b) % 3 == 0 ? new IterMarked(group, "M") : new Object(group);
            for (int c = 0; c < (a * b) % 4; ++c)
                new IterMarked(child, "L");
            if ((a + 2 * b) % 5 == 0)
                removed.push_back(child);
        }
    }
    for (Object* child : removed)
        delete child;
    ExpectGatheredAsIterated(root);

    // A tree registration whose mask walk also visits: the same nodes, and every node below hears.
    std::vector<TreeNode*> marked;
    root.GetDescendents(IterMarked::classType, marked);
    std::vector<TreeNode*> visited;
    auto visit = [&visited](TreeNode* node) { visited.push_back(node); };
    int heard = 0;
    const TreeNode::EventKind deleted{TreeNode::classType, TreeNode::EventDeleted};
    root.RegisterTreeEvents({&deleted, 1}, [](Event& event) { ++*static_cast<int*>(event.GetData()); }, &heard,
                            nullptr, TreeNode::DescendentVisit::Of(IterMarked::classType, visit));
    EXPECT_EQ(visited, marked);
    std::erase_if(marked, [](const TreeNode* node) { return node->GetNumChildren() > 0; });
    ASSERT_GE(marked.size(), 2u);
    delete marked.back();
    delete marked.front();
    EXPECT_EQ(heard, 2);
}

namespace {

// Graph walks over Objects joined by an adjacency list, in the manner of the bond-graph iterators:
// each target's neighbours, except the one it was reached from, are inserted in list order.
class TraversalTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    Object* Node(int label)
    {
        while (static_cast<int>(nodes.size()) <= label)
            nodes.push_back(std::make_unique<Object>(nullptr));
        return nodes[static_cast<std::size_t>(label)].get();
    }
    void Bond(int x, int y)
    {
        neighbours[Node(x)].push_back(Node(y));
        neighbours[Node(y)].push_back(Node(x));
    }
    void Ring(const std::vector<int>& members)
    {
        for (std::size_t i = 0; i < members.size(); ++i)
            Bond(members[i], members[(i + 1) % members.size()]);
    }
    int LabelOf(const Object* node) const
    {
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            if (nodes[i].get() == node)
                return static_cast<int>(i);
        }
        return -1;
    }

    std::vector<int> Walk(GraphTraversal& strategy, int start)
    {
        std::vector<int> order;
        strategy.Reset();
        strategy.InsertIteratorTarget(nullptr, Node(start));
        for (;;) {
            Object* from = nullptr;
            Object* target = nullptr;
            strategy.GetIteratorTarget(from, target);
            if (!target)
                break;
            order.push_back(LabelOf(target));
            for (Object* const next : neighbours[target]) {
                if (next != from)
                    strategy.InsertIteratorTarget(target, next);
            }
        }
        return order;
    }

    std::vector<std::unique_ptr<Object>> nodes;
    std::map<Object*, std::vector<Object*>> neighbours;
};

} // namespace

TEST_F(TraversalTest, BreadthFirstOnASixRingGoesOutwardInBondOrder)
{
    Ring({1, 2, 3, 4, 5, 6});
    BreadthFirst strategy;
    EXPECT_EQ(Walk(strategy, 1), (std::vector<int>{1, 2, 6, 3, 5, 4}));
    // A second walk after Reset is the same.
    EXPECT_EQ(Walk(strategy, 1), (std::vector<int>{1, 2, 6, 3, 5, 4}));
}

TEST_F(TraversalTest, DepthFirstTakesTheLastInsertedNeighbourFirst)
{
    // 1-2-3 with a branch 2-4.
    Bond(1, 2);
    Bond(2, 3);
    Bond(2, 4);
    DepthFirst strategy;
    EXPECT_EQ(Walk(strategy, 1), (std::vector<int>{1, 2, 4, 3}));
    // The array form keeps the array's order: the first target comes out first.
    strategy.Reset();
    std::vector<Object*> targets{Node(3), Node(4)};
    strategy.InsertIteratorTarget(Node(2), targets);
    Object* from = nullptr;
    Object* target = nullptr;
    strategy.GetIteratorTarget(from, target);
    EXPECT_EQ(from, Node(2));
    EXPECT_EQ(target, Node(3));
    strategy.GetIteratorTarget(from, target);
    EXPECT_EQ(target, Node(4));
    strategy.GetIteratorTarget(from, target);
    EXPECT_EQ(target, nullptr);
    EXPECT_EQ(from, nullptr);
}

TEST_F(TraversalTest, StrategiesHandOutEachTargetOnceAndIgnoreNull)
{
    BreadthFirst strategy;
    strategy.InsertIteratorTarget(nullptr, nullptr);
    strategy.InsertIteratorTarget(nullptr, Node(1));
    strategy.InsertIteratorTarget(Node(2), Node(1));
    Object* from = Node(3);
    Object* target = nullptr;
    strategy.GetIteratorTarget(from, target);
    EXPECT_EQ(from, nullptr);
    EXPECT_EQ(target, Node(1));
    strategy.GetIteratorTarget(from, target);
    EXPECT_EQ(target, nullptr);
}

TEST_F(TraversalTest, DepthLimitedWalkKeepsTheSmallestDepthInRings)
{
    // Three-ring 1-2-3 with 4 on 3: 3 lies one bond from 1, so 4 lies two bonds away.
    Ring({1, 2, 3});
    Bond(3, 4);
    DepthLimitedBreadthFirst limitTwo(2);
    EXPECT_EQ(Walk(limitTwo, 1), (std::vector<int>{1, 2, 3, 4}));
    DepthLimitedBreadthFirst limitOne(1);
    EXPECT_EQ(Walk(limitOne, 1), (std::vector<int>{1, 2, 3}));
    DepthLimitedBreadthFirst limitZero(0);
    EXPECT_EQ(Walk(limitZero, 1), (std::vector<int>{1}));
}

TEST_F(TraversalTest, DepthLimitedWalkInAFiveRingReachesBothSidesAtTheSameDepth)
{
    // Five-ring 1..5 with 6 on 4: 4 lies two bonds from 1 by way of 5, so 6 lies three away.
    Ring({1, 2, 3, 4, 5});
    Bond(4, 6);
    DepthLimitedBreadthFirst limitThree(3);
    EXPECT_EQ(Walk(limitThree, 1), (std::vector<int>{1, 2, 5, 3, 4, 6}));
    DepthLimitedBreadthFirst limitTwo(2);
    EXPECT_EQ(Walk(limitTwo, 1), (std::vector<int>{1, 2, 5, 3, 4}));
}
