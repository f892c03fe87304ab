// Applying a trajectory frame that sets the positions of n atoms, beside a plain loop writing the same
// positions, with the heap each pair costs.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <tavrel/conformers/ObjectFrame.h>
#include <tavrel/conformers/TrajectoryFrame.h>
#include "BenchSupport.h"

using namespace Tavrel;

namespace {

// The stored position of one object, as a host's frame class would hold it.
class PositionFrame : public ObjectFrame {
public:
    PositionFrame(Object* parent, const Point3d& position) : m_position(position) { SetParent(parent); }

    void Apply(Object* object) override
    {
        if (auto* const geometric = DynCast<Geometric>(object))
            geometric->SetXYZ(m_position);
    }

private:
    Point3d m_position;
};

// n atoms in groups of 100 under one root, and the positions a frame moves them to.
struct Scene {
    explicit Scene(std::size_t count)
    {
        AttachDataModelDLL();
        Object* group = nullptr;
        for (std::size_t i = 0; i < count; ++i) {
            if (i % 100 == 0)
                group = new Object(&root);
            atoms.push_back(new BenchAtom(group));
            const auto v = static_cast<double>(i % 1000);
            positions.emplace_back(v, 0.5 * v, -v);
        }
    }

    Object root{nullptr};
    std::vector<BenchAtom*> atoms;
    std::vector<Point3d> positions;
};

void ReportPerObject(benchmark::State& state, std::int64_t objects)
{
    state.SetComplexityN(objects);
    state.SetItemsProcessed(state.iterations() * objects);
    state.counters["per_object"] = benchmark::Counter(static_cast<double>(state.iterations() * objects),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void WritePositionsInAPlainLoop(benchmark::State& state)
{
    Scene scene(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        for (std::size_t i = 0; i < scene.atoms.size(); ++i)
            scene.atoms[i]->SetXYZ(scene.positions[i]);
        benchmark::ClobberMemory();
    }
    ReportPerObject(state, state.range(0));
}
BENCHMARK(WritePositionsInAPlainLoop)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);

// The host makes its frames first and then pairs them (madeFirst), or makes each frame as it pairs it,
// so that the frames lie among the registration blocks of the atoms and frames.
void ApplyTrajectoryFrame(benchmark::State& state, bool madeFirst)
{
    Scene scene(static_cast<std::size_t>(state.range(0)));
    const bench::HeapMark heapBefore = bench::MarkHeap();
    auto* frames = new Object(&scene.root);
    auto* moment = new TrajectoryFrame();
    moment->SetParent(&scene.root);
    std::vector<PositionFrame*> made;
    if (madeFirst) {
        for (const Point3d& position : scene.positions)
            made.push_back(new PositionFrame(frames, position));
    }
    for (std::size_t i = 0; i < scene.atoms.size(); ++i)
        moment->AddFrame(scene.atoms[i], madeFirst ? made[i] : new PositionFrame(frames, scene.positions[i]));
    const double heap = bench::HeapSince(heapBefore);
    for (auto _ : state) {
        moment->Apply();
        benchmark::ClobberMemory();
    }
    ReportPerObject(state, state.range(0));
    state.counters["heap_bytes_per_pair"] =
        (heap - static_cast<double>(made.capacity() * sizeof(PositionFrame*))) /
        static_cast<double>(scene.atoms.size());
}
BENCHMARK_CAPTURE(ApplyTrajectoryFrame, FramesMadeFirst, true)
    ->RangeMultiplier(10)
    ->Range(10'000, 1'000'000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ApplyTrajectoryFrame, FramesMadeWhilePairing, false)
    ->RangeMultiplier(10)
    ->Range(10'000, 1'000'000)
    ->Unit(benchmark::kMillisecond);

} // namespace
