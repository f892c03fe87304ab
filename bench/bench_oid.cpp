// OID registration, lookup and release at growing object counts: per-object time and heap must stay flat.
#include <benchmark/benchmark.h>


#include <memory>
#include <random>
#include <vector>

#include "BenchSupport.h"
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Base.h>

using namespace Tavrel;

namespace {


class BenchObject : public Base {
    TAVREL_DECLARE_CLASS(BenchObject, Base)
public:
    static BenchObject* Make() { return ClassAccess::New<BenchObject>(); }

protected:
    BenchObject() = default;
    BenchObject(const BenchObject&) = default;
};
TAVREL_IMPLEMENT_CLASS(BenchObject, ClassKind::Creatable)

using Objects = std::vector<std::unique_ptr<BenchObject>>;


Objects MakeObjects(std::size_t count)
{
    Objects objects;
    objects.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        objects.emplace_back(BenchObject::Make());
    return objects;
}

void PerObject(benchmark::State& state)
{
    state.counters["time_per_object"] =
        benchmark::Counter(static_cast<double>(state.iterations() * state.range(0)),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Construction registers each object; the heap counter includes the object itself.
void RegisterObjects(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto count = static_cast<std::size_t>(state.range(0));
    double heapPerObject = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        Objects objects;
        objects.reserve(count);
        const bench::HeapMark before = bench::MarkHeap();
        state.ResumeTiming();
        for (std::size_t i = 0; i < count; ++i)
            objects.emplace_back(BenchObject::Make());
        state.PauseTiming();
        heapPerObject = bench::HeapSince(before) / static_cast<double>(count);
        objects.clear();
        state.ResumeTiming();
    }
    PerObject(state);
    state.counters["heap_bytes_per_object"] = heapPerObject;
    state.counters["object_size"] = sizeof(BenchObject);
}
BENCHMARK(RegisterObjects)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);

// Lookups of live objects in random order.
void LookUpObjects(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto count = static_cast<std::size_t>(state.range(0));
    const Objects objects = MakeObjects(count);
    std::vector<std::uint32_t> probes(count);
    std::mt19937 random(7);
    for (auto& oid : probes)
        oid = objects[random() % count]->GetOID();
    for (auto _ : state) {
        for (const std::uint32_t oid : probes)
            benchmark::DoNotOptimize(Base::GetObjectA(oid));
    }
    PerObject(state);
}
BENCHMARK(LookUpObjects)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);

// Destruction releases each OID.
void UnregisterObjects(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto count = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        Objects objects = MakeObjects(count);
        state.ResumeTiming();
        objects.clear();
    }
    PerObject(state);
}
BENCHMARK(UnregisterObjects)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);

} // namespace
