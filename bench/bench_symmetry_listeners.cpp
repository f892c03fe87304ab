// Edits below a built cell as the symmetry map's listeners carry them to every image: molecules of 20
// bonded carbons at random general positions in a Pm-3m cell (48 operators), built by OneCell with
// 10^3 to 10^6 images. One image atom is moved (its family of 48 re-placed) or given a new
// ball size (copied to its family) per iteration. The time per edit should not grow with the number
// of images; ns/member divides it by the family's size.
#include <benchmark/benchmark.h>

#include <memory>

#include "BenchSupport.h"
#include <tavrel/crystal/CellBuilder.h>
#include <tavrel/symmetry_build/HierarchyData.h>
#include <tavrel/symmetry_build/SymmetryMap.h>

using namespace Tavrel;

namespace {

constexpr int operators = 48;

// A cell of about `images` images built by OneCell, with the image atom edited and its family size.
struct BuiltCell {
    std::unique_ptr<Cell3d> cell;
    Atom* image = nullptr;
    double family = 0.0;
    double images = 0.0;
};

BuiltCell Build(int images)
{
    AttachDataModelDLL();
    BuiltCell built;
    built.cell = bench::CubicCellOfChains(images / operators + 1, operators, 20);
    const std::unique_ptr<CellBuilder> builder = built.cell->GetCellBuilder("OneCell");
    if (!builder || !builder->Build())
        return built;
    const auto* const map = dynamic_cast<const SymmetryMap*>(built.cell->GetSymmetryMap());
    const HierarchyData* const data = map ? map->GetHierarchyData() : nullptr;
    if (!data || data->GetAtomLists().empty())
        return built;
    const ReplicateAtomList& list = data->GetAtomLists().front();
    built.image = DynCast<Atom>(Object::GetObjectA(list.members.back().oid));
    built.family = static_cast<double>(list.members.size());
    built.images = static_cast<double>(data->GetAtomItems().size());
    return built;
}

void Report(benchmark::State& state, const BuiltCell& built)
{
    state.counters["images"] = benchmark::Counter(built.images);
    state.counters["family"] = benchmark::Counter(built.family);
    state.counters["ns/member"] = benchmark::Counter(built.family * static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void MoveOneImageAtom(benchmark::State& state)
{
    const BuiltCell built = Build(static_cast<int>(state.range(0)));
    if (!built.image) {
        state.SkipWithError("the cell was not built");
        return;
    }
    const Point3d start = built.image->GetXYZ();
    const Point3d steps[] = {start + Point3d(0.01f, 0.02f, 0.03f), start};
    std::size_t i = 0;
    for (auto _ : state)
        built.image->SetXYZ(steps[i++ & 1]);
    Report(state, built);
}

void SetBallSizeOfOneImageAtom(benchmark::State& state)
{
    const BuiltCell built = Build(static_cast<int>(state.range(0)));
    if (!built.image) {
        state.SkipWithError("the cell was not built");
        return;
    }
    const float sizes[] = {0.3f, 0.4f};
    std::size_t i = 0;
    for (auto _ : state)
        built.image->SetBallSize(sizes[i++ & 1]);
    Report(state, built);
}

// Update of a map that has nothing to rebuild: the listeners are switched off and on again.
void UpdateOfACleanMap(benchmark::State& state)
{
    const BuiltCell built = Build(static_cast<int>(state.range(0)));
    auto* const map = dynamic_cast<SymmetryMap*>(built.cell->GetSymmetryMap());
    if (!built.image || !map) {
        state.SkipWithError("the cell was not built");
        return;
    }
    for (auto _ : state)
        map->Update();
    state.counters["images"] = benchmark::Counter(built.images);
    state.counters["ns/image"] = benchmark::Counter(built.images * static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(MoveOneImageAtom)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(SetBallSizeOfOneImageAtom)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(UpdateOfACleanMap)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
