// Set membership and algebra, and filtering an ordered collection, up to 10^6 objects.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/FilterId.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/SetCollection.h>

using namespace Tavrel;

namespace {

constexpr std::size_t MaxObjects = 1'000'000;

// One pool of parentless objects shared by every benchmark; even objects carry ID 0, odd ones ID 1.
const std::vector<std::unique_ptr<Object>>& Pool()
{
    static const std::vector<std::unique_ptr<Object>> pool = [] {
        AttachDataModelDLL();
        std::vector<std::unique_ptr<Object>> objects;
        objects.reserve(MaxObjects);
        for (std::size_t i = 0; i < MaxObjects; ++i) {
            objects.push_back(std::make_unique<Object>(nullptr));
            objects.back()->SetID(static_cast<std::int32_t>(i % 2));
        }
        return objects;
    }();
    return pool;
}

// The pool's objects first to first + count, every step-th one.
SetCollection MakeSet(std::size_t first, std::size_t count, std::size_t step = 1)
{
    SetCollection set;
    for (std::size_t i = first; i < first + count && i < MaxObjects; i += step)
        set.Add(Pool()[i].get());
    return set;
}

// IsMember on random objects of the pool, half of them members: O(1) each at any set size.
void SetMembership(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const SetCollection set = MakeSet(0, count, 2);
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, count - 1);
    std::vector<const Object*> probes(4096);
    for (const Object*& probe : probes)
        probe = Pool()[pick(random)].get();
    std::size_t found = 0;
    for (auto _ : state) {
        for (const Object* probe : probes)
            found += set.IsMember(probe) ? 1 : 0;
    }
    benchmark::DoNotOptimize(found);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(probes.size()));
}
BENCHMARK(SetMembership)->RangeMultiplier(10)->Range(10'000, 1'000'000);

// The four two-operand operators on two sets of n members that overlap by half: linear in n.
void SetAlgebra(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const SetCollection a = MakeSet(0, count);
    const SetCollection b = MakeSet(count / 2, count);
    for (auto _ : state) {
        benchmark::DoNotOptimize((a & b).GetSize());
        benchmark::DoNotOptimize((a | b).GetSize());
        benchmark::DoNotOptimize((a ^ b).GetSize());
        benchmark::DoNotOptimize((a - b).GetSize());
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(SetAlgebra)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// In-place symmetric difference and intersection, and a subset test: linear in n.
void SetInPlaceAlgebra(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const SetCollection a = MakeSet(0, count);
    const SetCollection b = MakeSet(count / 2, count);
    for (auto _ : state) {
        SetCollection x(a);
        x ^= b;
        x &= a;
        benchmark::DoNotOptimize(a.IsSubset(x));
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(SetInPlaceAlgebra)
    ->RangeMultiplier(10)
    ->Range(10'000, 1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// ApplyFilter keeping every other entry of n: linear in n.
void OrderedApplyFilter(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    OrdCollection source;
    for (std::size_t i = 0; i < count; ++i)
        source.Add(Pool()[i].get());
    const FilterId odd(1, Filter::Include);
    for (auto _ : state) {
        state.PauseTiming();
        OrdCollection ordered(source);
        state.ResumeTiming();
        ordered.ApplyFilter(odd, BaseCollection::KeepMatching);
        benchmark::DoNotOptimize(ordered.GetSize());
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(OrderedApplyFilter)
    ->RangeMultiplier(10)
    ->Range(10'000, 1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace
