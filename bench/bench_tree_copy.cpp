// Copies of positioned trees and LID numbering of inserted subtrees: per-object time must stay flat
// from 10^4 to 10^6 objects (bench_memory gives the heap an object costs).
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include <tavrel/core/Point3d.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/TreeRoot.h>

using namespace Tavrel;

namespace {


class BenchPoint : public Geometric3d {
public:
    explicit BenchPoint(Object* parent) : Geometric3d(parent) {}
};


// count positioned objects below `top`, in groups of 100 under group objects of their own.
void Populate(Object& top, std::size_t count)
{
    Object* group = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 100 == 0) {
            group = new BenchPoint(&top);
            continue;
        }
        auto* point = new BenchPoint(group);
        const auto v = static_cast<double>(i % 1000);
        point->SetXYZ(Point3d(v, -v, 0.5 * v));
    }
}

void PerObject(benchmark::State& state)
{
    state.counters["time_per_object"] =
        benchmark::Counter(static_cast<double>(state.iterations() * state.range(0)),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// TreeCopy of a subtree of a document; the copy is deleted outside the measured time.
void TreeCopyOfSubtree(benchmark::State& state)
{
    AttachDataModelDLL();
    TreeRoot root;
    auto* top = new BenchPoint(&root);
    Populate(*top, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::unique_ptr<TreeNode> copy(top->TreeCopy());
        state.PauseTiming();
        copy.reset();
        state.ResumeTiming();
    }
    PerObject(state);
}
BENCHMARK(TreeCopyOfSubtree)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);

// Copy of a whole document: the copied root numbers every copied node again.
void CopyOfDocument(benchmark::State& state)
{
    AttachDataModelDLL();
    TreeRoot root;
    Populate(*new BenchPoint(&root), static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::unique_ptr<Base> copy(root.Copy());
        state.PauseTiming();
        copy.reset();
        state.ResumeTiming();
    }
    PerObject(state);
}
BENCHMARK(CopyOfDocument)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);

// A detached subtree joins the document: every node enters the LID list under a new number.
void InsertSubtree(benchmark::State& state)
{
    AttachDataModelDLL();
    TreeRoot root;
    auto* top = new BenchPoint(&root);
    Populate(*top, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        top->SetParent(nullptr);
        state.ResumeTiming();
        top->SetParent(&root);
    }
    PerObject(state);
}
BENCHMARK(InsertSubtree)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);

// Every LID of a document resolved in ascending order, as a remembered set of objects resolves them.
void ResolveLIDsInOrder(benchmark::State& state)
{
    AttachDataModelDLL();
    TreeRoot root;
    Populate(*new BenchPoint(&root), static_cast<std::size_t>(state.range(0)));
    const auto last = static_cast<std::uint32_t>(state.range(0)) + 2;
    for (auto _ : state) {
        for (std::uint32_t lid = 1; lid <= last; ++lid)
            benchmark::DoNotOptimize(root.GetLogicalObject(lid));
    }
    PerObject(state);
}
BENCHMARK(ResolveLIDsInOrder)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);


} // namespace
