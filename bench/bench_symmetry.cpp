// Symmetry build: periodic neighbour and radius grids, image-key products and the equivalent-atom pass.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/symmetry_build/CosetLattice.h>
#include <tavrel/symmetry_build/Matrix4x4Group.h>
#include <tavrel/symmetry_build/PeriodicNeighborGrid.h>
#include <tavrel/symmetry_build/PeriodicRadiusGrid.h>
#include <tavrel/symmetry_build/SymmetryOperationTable.h>
#include <tavrel/symmetry_build/SymmetryTools.h>

#include "BenchSupport.h"

using namespace Tavrel;

namespace {

// Seconds per item (shown with an SI prefix: 12.4n is 12.4 ns).
benchmark::Counter PerItem(double items)
{
    return benchmark::Counter(items, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// A cubic cell holding `count` points at about 0.1 atoms per cubic angstrom.
struct Box {
    explicit Box(std::size_t count)
    {
        const double edge = std::cbrt(static_cast<double>(count) / 0.1);
        toCartesian = Matrix3x3(edge, 0, 0, 0, edge, 0, 0, 0, edge);
        toFractional = Matrix3x3(1 / edge, 0, 0, 0, 1 / edge, 0, 0, 0, 1 / edge);
        std::mt19937 random(42);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        points.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            points.emplace_back(unit(random), unit(random), unit(random));
    }

    Matrix3x3 toCartesian;
    Matrix3x3 toFractional;
    std::vector<Point3d> points;
};

constexpr double cutoff = 3.0;

// Heap in use including the large blocks the allocator maps on their own.
std::size_t HeapAndMapped()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The two grids behind one face: points of radius cutoff / 2 in the radius grid.
struct NeighborGrid {
    using Grid = PeriodicNeighborGrid;
    static void Add(Grid& grid, const Point3d& p, std::int32_t id) { grid.AddPoint(p, id); }
    static void Find(Grid& grid, const Point3d& p, IntArray& found) { grid.FindNeighbors(p, found); }
};
struct RadiusGrid {
    using Grid = PeriodicRadiusGrid;
    static void Add(Grid& grid, const Point3d& p, std::int32_t id) { grid.AddPoint(p, cutoff / 2, id); }
    static void Find(Grid& grid, const Point3d& p, IntArray& found) { grid.FindNeighbors(p, cutoff / 2, found); }
};

template <class Use>
void Fill(typename Use::Grid& grid, const Box& box)
{
    for (std::size_t i = 0; i < box.points.size(); ++i)
        Use::Add(grid, box.points[i], static_cast<std::int32_t>(i));
}

// Filling a grid; the heap it holds per point.
template <class Use>
void GridAdd(benchmark::State& state)
{
    const Box box(static_cast<std::size_t>(state.range(0)));
    std::size_t heap = 0;
    for (auto _ : state) {
        const std::size_t before = HeapAndMapped();
        typename Use::Grid grid(box.toCartesian, box.toFractional, cutoff);
        Fill<Use>(grid, box);
        heap = HeapAndMapped() - before;
        benchmark::DoNotOptimize(grid);
    }
    state.counters["time_per_point"] = PerItem(static_cast<double>(state.iterations()) * static_cast<double>(box.points.size()));
    state.counters["heap_per_point"] = static_cast<double>(heap) / static_cast<double>(box.points.size());
}
BENCHMARK_TEMPLATE(GridAdd, NeighborGrid)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(GridAdd, RadiusGrid)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// Filling a grid and answering a first query, which files every point added; the heap it then
// holds per point.
template <class Use>
void GridFill(benchmark::State& state)
{
    const Box box(static_cast<std::size_t>(state.range(0)));
    std::size_t heap = 0;
    IntArray found;
    for (auto _ : state) {
        const std::size_t before = HeapAndMapped();
        typename Use::Grid grid(box.toCartesian, box.toFractional, cutoff);
        Fill<Use>(grid, box);
        Use::Find(grid, box.points[0], found);
        heap = HeapAndMapped() - before;
        benchmark::DoNotOptimize(grid);
    }
    state.counters["time_per_point"] = PerItem(static_cast<double>(state.iterations()) * static_cast<double>(box.points.size()));
    state.counters["heap_per_point"] = static_cast<double>(heap) / static_cast<double>(box.points.size());
}
BENCHMARK_TEMPLATE(GridFill, NeighborGrid)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(GridFill, RadiusGrid)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The points along a Z-order curve through the cell, as a walk over a structure meets its atoms.
std::vector<Point3d> InSpaceOrder(std::vector<Point3d> points)
{
    const auto code = [](const Point3d& p) {
        std::uint64_t key = 0;
        const float coordinates[3] = {p.x, p.y, p.z};
        for (int bit = 9; bit >= 0; --bit)
            for (const float c : coordinates)
                key = key << 1 | ((static_cast<std::uint32_t>(c * 1024.0f) >> bit) & 1u);
        return key;
    };
    std::sort(points.begin(), points.end(), [&](const Point3d& a, const Point3d& b) { return code(a) < code(b); });
    return points;
}

// Queries at stored points after a first query has filed everything: in a scattered order
// (second argument 0) or along a walk through space (1).
template <class Use>
void GridQuery(benchmark::State& state)
{
    const Box box(static_cast<std::size_t>(state.range(0)));
    typename Use::Grid grid(box.toCartesian, box.toFractional, cutoff);
    Fill<Use>(grid, box);
    const bool walk = state.range(1) != 0;
    const std::vector<Point3d> queries = walk ? InSpaceOrder(box.points) : box.points;
    const std::size_t step = walk ? 1 : 7919;
    IntArray found;
    Use::Find(grid, queries[0], found);
    std::size_t next = 0;
    std::size_t neighbours = 0;
    for (auto _ : state) {
        Use::Find(grid, queries[next], found);
        neighbours += found.size();
        next = (next + step) % queries.size();
    }
    state.counters["queries_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["neighbours"] = static_cast<double>(neighbours) / static_cast<double>(state.iterations());
}
BENCHMARK_TEMPLATE(GridQuery, NeighborGrid)->ArgsProduct({{10'000, 100'000, 1'000'000}, {0, 1}});
BENCHMARK_TEMPLATE(GridQuery, RadiusGrid)->ArgsProduct({{10'000, 100'000, 1'000'000}, {0, 1}});

std::vector<Matrix4x4> GroupOperations(int number)
{
    AttachDataModelDLL();
    Symmetry symmetry;
    symmetry.LoadSpaceGroup(number, "", 0);
    std::vector<Matrix4x4> operations;
    for (int i = 0; i < symmetry.GetNumSymmetryOps(); ++i)
        operations.push_back(symmetry.GetSymmetryOp(i)->GetMatrix());
    return operations;
}

// The product of two image keys of P21/C (4 operations) or FM-3M (192).
void KeyProduct(benchmark::State& state)
{
    Matrix4x4Group group;
    group.SetOperations(GroupOperations(static_cast<int>(state.range(0))));
    const std::int32_t n = group.GetCount();
    std::vector<SymmetryImageKey> keys;
    for (std::int32_t i = 0; i < 4096; ++i)
        keys.emplace_back(static_cast<std::int32_t>((i * 37) % n), i % 5 - 2, i % 3 - 1, i % 7 - 3);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(group.Multiply(keys[i & 4095], keys[(i * 13 + 5) & 4095]));
        ++i;
    }
    state.counters["operations"] = n;
}
BENCHMARK(KeyProduct)->Arg(14)->Arg(225);

// Building the inverse and product tables.
void SetOperations(benchmark::State& state)
{
    const std::vector<Matrix4x4> operations = GroupOperations(static_cast<int>(state.range(0)));
    Matrix4x4Group group;
    for (auto _ : state)
        benchmark::DoNotOptimize(group.SetOperations(operations));
    state.counters["operations"] = static_cast<double>(operations.size());
}
BENCHMARK(SetOperations)->Arg(14)->Arg(225)->Unit(benchmark::kMicrosecond);

// Atoms of P21/C (4 operations) or FM-3M (192): random asymmetric-unit atoms in the order of a walk
// through space, then their images operation by operation, as a cell's contents list them (second
// argument 0), or all shuffled (1). The grid is filled and one pass claims the images. Time per atom
// and operation.
void ClaimEquivalentAtoms(benchmark::State& state)
{
    const std::vector<Matrix4x4> operations = GroupOperations(static_cast<int>(state.range(1)));
    const auto atoms = static_cast<std::size_t>(state.range(0));
    const std::size_t units = atoms / operations.size();
    const Box box(units);
    const double edge = std::cbrt(static_cast<double>(atoms) / 0.1);
    const Matrix3x3 toCartesian(edge, 0, 0, 0, edge, 0, 0, 0, edge);
    const Matrix3x3 toFractional(1 / edge, 0, 0, 0, 1 / edge, 0, 0, 0, 1 / edge);
    EquivalentAtomLists lists;
    const std::vector<Point3d> unit = InSpaceOrder(box.points);
    for (const Matrix4x4& op : operations)
        for (const Point3d& p : unit)
            lists.positions.push_back(p * op);
    if (state.range(2) != 0)
        std::shuffle(lists.positions.begin(), lists.positions.end(), std::mt19937(5));
    const std::size_t n = lists.positions.size();
    const double tolerance = 0.01;
    for (auto _ : state) {
        state.PauseTiming();
        lists.types.assign(n, 6);
        lists.states.assign(n, 0);
        lists.parents.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            lists.parents[i] = static_cast<std::int32_t>(i);
        lists.keys.assign(n, SymmetryImageKey::identity);
        MakeSingletonLists(static_cast<std::int32_t>(n), lists.classes);
        state.ResumeTiming();
        PeriodicNeighborGrid grid(toCartesian, toFractional, tolerance);
        for (std::size_t i = 0; i < n; ++i)
            grid.AddPoint(lists.positions[i], static_cast<std::int32_t>(i));
        SymmetryOperationTable table;
        CosetLattice lattice(static_cast<std::int32_t>(operations.size()));
        SymmetryTools::ClaimEquivalentAtoms(lists, toCartesian, tolerance, operations, grid, table, lattice);
    }
    std::size_t heads = 0;
    for (const std::int32_t atomState : lists.states)
        heads += atomState == 0;
    state.counters["atoms"] = static_cast<double>(n);
    state.counters["heads"] = static_cast<double>(heads);
    state.counters["time_per_atom_op"] =
        PerItem(static_cast<double>(state.iterations()) * static_cast<double>(n) * static_cast<double>(operations.size()));
}
BENCHMARK(ClaimEquivalentAtoms)
    ->ArgsProduct({{10'000, 100'000, 1'000'000}, {14, 225}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

} // namespace
