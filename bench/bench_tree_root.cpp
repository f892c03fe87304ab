// Whole-tree queries of the root, LID numbering of large subtrees and LID lookups.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>

using namespace Tavrel;

namespace {

using SetType = TreeRoot::SelectionSetType;

// n objects below `top` in groups of 1000 leaves; every other group selected.
void Populate(Object& top, std::int64_t n)
{
    Object* group = nullptr;
    for (std::int64_t i = 0; i < n; ++i) {
        if (i % 1000 == 0) {
            group = new Object(&top);
            if ((i / 1000) % 2 == 1)
                group->Select(false);
        } else {
            new Object(group);
        }
    }
}

std::unique_ptr<TreeRoot> MakeRoot(std::int64_t n)
{
    AttachDataModelDLL();
    auto root = std::make_unique<TreeRoot>();
    Populate(*root, n);
    return root;
}

void Finish(benchmark::State& state)
{
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void CountSelected(benchmark::State& state)
{
    const std::unique_ptr<TreeRoot> root = MakeRoot(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(root->GetNumSelected(SetType::TopMost));
    Finish(state);
}
BENCHMARK(CountSelected)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void CollectSelection(benchmark::State& state)
{
    const std::unique_ptr<TreeRoot> root = MakeRoot(state.range(0));
    for (auto _ : state) {
        OrdCollection selection;
        root->GetSelectionSet(selection, SetType::All);
        benchmark::DoNotOptimize(selection.GetSize());
    }
    Finish(state);
}
BENCHMARK(CollectSelection)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// Nothing selected: every visible descendant.
void CollectApplicable(benchmark::State& state)
{
    AttachDataModelDLL();
    TreeRoot root;
    auto* top = new Object(&root);
    Populate(*top, state.range(0));
    top->UnSelect(true);
    for (auto _ : state) {
        OrdCollection applicable;
        benchmark::DoNotOptimize(root.GetApplicableObjects(applicable));
    }
    Finish(state);
}
BENCHMARK(CollectApplicable)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void CollectClasses(benchmark::State& state)
{
    const std::unique_ptr<TreeRoot> root = MakeRoot(state.range(0));
    for (auto _ : state) {
        ClassTypeArray classes;
        root->GetClasses(classes, true);
        benchmark::DoNotOptimize(classes.size());
    }
    Finish(state);
}
BENCHMARK(CollectClasses)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// A subtree of n nodes leaves the root and joins it again: every node loses its LID and takes a new
// one.
void RenumberSubtree(benchmark::State& state)
{
    AttachDataModelDLL();
    TreeRoot root;
    auto* top = new Object(&root);
    Populate(*top, state.range(0));
    for (auto _ : state) {
        top->SetParent(nullptr);
        top->SetParent(&root);
    }
    Finish(state);
}
BENCHMARK(RenumberSubtree)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// Lookups by LID in roots of growing size: flat cost per lookup.
void LookUpByLID(benchmark::State& state)
{
    const std::unique_ptr<TreeRoot> root = MakeRoot(state.range(0));
    std::mt19937 random(7);
    std::uniform_int_distribution<std::uint32_t> lids(1, static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(root->GetLogicalObject(lids(random)));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(LookUpByLID)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Complexity(benchmark::o1);

} // namespace
