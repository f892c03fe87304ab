// Heap in use per positioned object of a document, plain and with one user property (integer, float or
// short text) or one event registration each: the figures must stay flat from 10^4 to 10^6 objects.
#include <benchmark/benchmark.h>


#include <cstddef>
#include <cstdint>

#include "BenchSupport.h"
#include <tavrel/core/Color.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DataStorage.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/TreeRoot.h>

using namespace Tavrel;

namespace {


class BenchPoint : public Geometric3d {
public:
    explicit BenchPoint(Object* parent) : Geometric3d(parent) {}
};

enum class Extra : std::uint8_t { None, IntProperty, FloatProperty, TextProperty, Registration };


void Ignore(Event&) {}

// count labelled, coloured positioned objects in a document, in groups of 100 under group objects
// of their own (the groups count as objects); each object then gets the extra member.
void Populate(Object& top, std::size_t count, Extra extra)
{
    BenchPoint* group = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        BenchPoint* point = nullptr;
        if (i % 100 == 0)
            point = group = new BenchPoint(&top);
        else
            point = new BenchPoint(group);
        point->SetLabel("C12");
        point->SetColor(Color(128, 64, 255));
        if (extra == Extra::IntProperty)
            point->SetProperty("Charge", std::int32_t{1}, DataStorage::FlagReadable);
        else if (extra == Extra::FloatProperty)
            point->SetProperty("B-factor", 12.5f, DataStorage::FlagReadable);
        else if (extra == Extra::TextProperty)
            point->SetProperty("Site", "A12", DataStorage::FlagReadable);
        else if (extra == Extra::Registration)
            point->RegisterEvent(Object::classType, Object::EventLabelSet, Ignore, false, nullptr, nullptr);
    }
}

void HeapPerObject(benchmark::State& state, Extra extra)
{
    AttachDataModelDLL();
    const auto count = static_cast<std::size_t>(state.range(0));
    double heapPerObject = 0.0;
    for (auto _ : state) {
        const bench::HeapMark before = bench::MarkHeap();
        TreeRoot root;
        Populate(root, count, extra);
        heapPerObject = bench::HeapSince(before) / static_cast<double>(count);
    }
    state.counters["time_per_object"] =
        benchmark::Counter(static_cast<double>(state.iterations() * state.range(0)),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["heap_bytes_per_object"] = heapPerObject;
    state.counters["object_size"] = sizeof(BenchPoint);
}

// Name/case pairs: the benchmark's name says which rarely used member each object also carries.
#define TAVREL_HEAP_CASE(name, extra) \
    BENCHMARK_CAPTURE(HeapPerObject, name, extra)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond)
TAVREL_HEAP_CASE(Labelled, Extra::None);
TAVREL_HEAP_CASE(WithIntProperty, Extra::IntProperty);
TAVREL_HEAP_CASE(WithFloatProperty, Extra::FloatProperty);
TAVREL_HEAP_CASE(WithTextProperty, Extra::TextProperty);
TAVREL_HEAP_CASE(WithRegistration, Extra::Registration);

} // namespace
