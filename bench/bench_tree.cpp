// Tree growth and shrinkage under one parent, and event delivery to a tree-wide listener.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "document/DataModelLibrary.h"
#include "foundation/TreeNode.h"

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

std::size_t g_delivered = 0;

void Count(Event&)
{
    ++g_delivered;
}

void Ignore(Event&) {}

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
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(CreateThenDeleteInRandomOrder)
    ->RangeMultiplier(10)
    ->Range(10'000, 1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

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
