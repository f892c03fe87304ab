// Tree growth and shrinkage under one parent, deep chains, and event delivery to a tree-wide listener.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/foundation/TreeRoot.h>

using namespace Tavrel;

namespace {

class BenchNode : public TreeNode {
    TAVREL_DECLARE_CLASS(BenchNode, TreeNode)
public:
    explicit BenchNode(TreeNode* parent = nullptr) : TreeNode(parent) {}

protected:
    BenchNode(const BenchNode&) = default;
};
TAVREL_IMPLEMENT_CLASS(BenchNode, ClassKind::Creatable)

// A positioned object: three class levels (TreeNode, Object, Geometric) take mask bits from above.
class BenchPoint : public Geometric3d {
    TAVREL_DECLARE_CLASS(BenchPoint, Geometric3d)
public:
    explicit BenchPoint(Object* parent = nullptr) : Geometric3d(parent) {}

protected:
    BenchPoint(const BenchPoint&) = default;
};
TAVREL_IMPLEMENT_CLASS(BenchPoint, ClassKind::Creatable)

std::size_t g_delivered = 0;

void Count(Event&)
{
    ++g_delivered;
}

void Ignore(Event&) {}

// Reports the time per object next to the time per run, so growth with the size shows directly.
void ReportPerObject(benchmark::State& state, std::int64_t objects)
{
    state.SetComplexityN(objects);
    state.SetItemsProcessed(state.iterations() * objects);
    state.counters["per_object"] = benchmark::Counter(static_cast<double>(state.iterations() * objects),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// n children created under one parent, then deleted one by one in random order, each asked for its
// index first: O(log n) per removal and per index query.
void CreateThenDeleteInRandomOrder(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto count = static_cast<std::size_t>(state.range(0));
    std::mt19937 random(3);
    for (auto _ : state) {
        BenchNode root;
        std::vector<TreeNode*> children;
        children.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            children.push_back(new BenchNode(&root));
        std::shuffle(children.begin(), children.end(), random);
        for (TreeNode* child : children) {
            benchmark::DoNotOptimize(child->GetIndex());
            delete child;
        }
    }
    ReportPerObject(state, state.range(0));
}
BENCHMARK(CreateThenDeleteInRandomOrder)
    ->RangeMultiplier(10)
    ->Range(10'000, 1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

// n parentless nodes each inserted at index 0 of one parent: every insertion lands before all the
// children already there.
void InsertAtFront(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto count = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        BenchNode root;
        for (std::size_t i = 0; i < count; ++i)
            (new BenchNode())->SetParentAt(&root, 0);
        if (root.GetNumChildren() != state.range(0))
            state.SkipWithError("a child was not inserted");
    }
    ReportPerObject(state, state.range(0));
}
BENCHMARK(InsertAtFront)->RangeMultiplier(10)->Range(10'000, 100'000)->Unit(benchmark::kMillisecond);

// n children, then n moves of the last child to index 0 of the same parent.
void MoveLastToFront(benchmark::State& state)
{
    AttachDataModelDLL();
    const int count = static_cast<int>(state.range(0));
    BenchNode root;
    for (int i = 0; i < count; ++i)
        new BenchNode(&root);
    for (auto _ : state) {
        for (int i = 0; i < count; ++i)
            root.GetChild(count - 1)->SetParentAt(&root, 0);
    }
    ReportPerObject(state, state.range(0));
}
BENCHMARK(MoveLastToFront)->RangeMultiplier(10)->Range(10'000, 100'000)->Unit(benchmark::kMillisecond);

// A chain of positioned objects `depth` levels deep below a document root, each created under the
// previous one; a tree registration on the root (for an event the build does not raise) gives
// every level a mask bit to inherit. Only the build is timed.
void BuildDeepChain(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto depth = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        auto root = std::make_unique<TreeRoot>();
        root->RegisterEvent(TreeNode::classType, TreeNode::EventActivityChanged, Ignore, true, nullptr, nullptr);
        Object* node = root.get();
        for (std::size_t d = 0; d < depth; ++d)
            node = new BenchPoint(node);
        state.PauseTiming();
        if (node->GetNumAncestors() != state.range(0))
            state.SkipWithError("the chain is not whole");
        root.reset();
        state.ResumeTiming();
    }
    ReportPerObject(state, state.range(0));
}
BENCHMARK(BuildDeepChain)->RangeMultiplier(10)->Range(10'000, 100'000)->Unit(benchmark::kMillisecond);

// Builds a tree of `depth` levels below the root with `fanOut` children per node; every node also
// holds a registration of its own that the measured events do not want.
std::unique_ptr<BenchNode> BuildTree(int depth, int fanOut, std::vector<TreeNode*>& leaves)
{
    auto root = std::make_unique<BenchNode>();
    std::vector<TreeNode*> level{root.get()};
    for (int d = 0; d < depth; ++d) {
        std::vector<TreeNode*> next;
        for (TreeNode* node : level) {
            for (int i = 0; i < fanOut; ++i) {
                auto* child = new BenchNode(node);
                child->RegisterEvent(TreeNode::classType, TreeNode::EventActivityChanged, Ignore, false, nullptr, nullptr);
                next.push_back(child);
            }
        }
        level = std::move(next);
    }
    leaves = std::move(level);
    return root;
}

void DeliverFromLeaves(benchmark::State& state, TreeNode& root, const std::vector<TreeNode*>& leaves)
{
    root.RegisterEvent(TreeNode::classType, TreeNode::EventTreeWide, Count, true, nullptr, nullptr);
    // A few dozen sources keep the working set in cache, so the figure is the work per event.
    std::mt19937 random(5);
    std::vector<TreeNode*> sources(64);
    for (TreeNode*& source : sources)
        source = leaves[random() % leaves.size()];
    std::size_t next = 0;
    g_delivered = 0;
    for (auto _ : state) {
        sources[next]->SetClipped(true);
        next = (next + 1) & 63;
    }
    if (g_delivered != static_cast<std::size_t>(state.iterations()))
        state.SkipWithError("an event was not delivered exactly once");
}

// A fixed depth of 4 over about 10^4, 10^5 and 10^6 nodes, each with a registration of its own:
// the cost per event stays flat.
void DeliverAtFixedDepth(benchmark::State& state)
{
    AttachDataModelDLL();
    const int fanOut = static_cast<int>(std::lround(std::pow(static_cast<double>(state.range(0)), 0.25)));
    std::vector<TreeNode*> leaves;
    std::unique_ptr<BenchNode> root = BuildTree(4, fanOut, leaves);
    state.counters["nodes"] = root->GetNumDescendents();  // each with a registration of its own
    DeliverFromLeaves(state, *root, leaves);
}
BENCHMARK(DeliverAtFixedDepth)->RangeMultiplier(10)->Range(10'000, 1'000'000);

// One branch of growing depth: the cost per event grows with the depth only.
void DeliverAtGrowingDepth(benchmark::State& state)
{
    AttachDataModelDLL();
    std::vector<TreeNode*> leaves;
    std::unique_ptr<BenchNode> root = BuildTree(static_cast<int>(state.range(0)), 1, leaves);
    DeliverFromLeaves(state, *root, leaves);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(DeliverAtGrowingDepth)->RangeMultiplier(10)->Range(10, 10'000)->Complexity(benchmark::oN);

} // namespace
