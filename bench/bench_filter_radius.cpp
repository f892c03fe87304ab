// FilterRadius with 10^4 centres over 10^4 to 10^6 positioned objects, through its grid and as a plain
// loop over the centres.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <memory>
#include <random>
#include <vector>

#include "BenchSupport.h"
#include <tavrel/foundation/FilterRadius.h>
#include <tavrel/foundation/OrdCollection.h>

using namespace Tavrel;

namespace {

constexpr std::size_t MaxObjects = 1'000'000;
constexpr int CentreCount = 10'000;
constexpr double Radius = 2.0;
// Objects and centres fill a cube of this side: about one object in six lies near a centre.
constexpr double Side = 100.0;

Point3d RandomPoint(std::mt19937& random)
{
    std::uniform_real_distribution<double> coordinate(0.0, Side);
    return Point3d(coordinate(random), coordinate(random), coordinate(random));
}

// Parentless positioned objects scattered through the cube, shared by every benchmark.
const std::vector<std::unique_ptr<BenchAtom>>& Objects()
{
    static const std::vector<std::unique_ptr<BenchAtom>> objects = [] {
        AttachDataModelDLL();
        ClassRegistry::Register<BenchAtom>();
        std::mt19937 random(11);
        std::vector<std::unique_ptr<BenchAtom>> made;
        made.reserve(MaxObjects + CentreCount);
        for (std::size_t i = 0; i < MaxObjects + CentreCount; ++i) {
            made.push_back(std::make_unique<BenchAtom>(nullptr));
            made.back()->SetXYZ(RandomPoint(random));
        }
        return made;
    }();
    return objects;
}

// The last CentreCount objects serve as centres.
OrdCollection Centres()
{
    OrdCollection centres;
    for (std::size_t i = MaxObjects; i < MaxObjects + CentreCount; ++i)
        centres.Add(Objects()[i].get());
    return centres;
}

void Report(benchmark::State& state, std::size_t count, std::size_t accepted)
{
    state.counters["objects"] = static_cast<double>(count);
    state.counters["accepted"] = static_cast<double>(accepted);
    // Shown in seconds per object (n for nanoseconds).
    state.counters["time_per_object"] = benchmark::Counter(
        static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The filter's verdict on the first `count` objects; the filter is built once, outside the timing.
void RadiusGrid(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const OrdCollection centres = Centres();
    const bench::HeapMark before = bench::MarkHeap();
    const FilterRadius filter(centres, Radius, Filter::Include);
    state.counters["filter_heap_bytes_per_centre"] =
        bench::HeapSince(before) / static_cast<double>(CentreCount);
    std::size_t accepted = 0;
    for (auto _ : state) {
        accepted = 0;
        for (std::size_t i = 0; i < count; ++i)
            accepted += filter(Objects()[i].get()) ? 1 : 0;
        benchmark::DoNotOptimize(accepted);
    }
    Report(state, count, accepted);
}
BENCHMARK(RadiusGrid)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The same verdicts from a loop over every centre, as a filter with few centres tests.
void RadiusPlainLoop(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const Point3d::Array centres = FilterRadius(Centres(), Radius, Filter::Include).GetCentres();
    std::size_t accepted = 0;
    for (auto _ : state) {
        accepted = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const Point3d at = Objects()[i]->GetXYZ();
            for (const Point3d& centre : centres) {
                if (Distance(at, centre) <= Radius) {
                    ++accepted;
                    break;
                }
            }
        }
        benchmark::DoNotOptimize(accepted);
    }
    Report(state, count, accepted);
}
BENCHMARK(RadiusPlainLoop)->Arg(10'000)->Unit(benchmark::kMillisecond);

} // namespace
