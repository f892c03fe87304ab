// Monitors at 10^4, 10^5 and 10^6: setting a distance that moves a whole chain (ns per moved atom);
// one monitor over that many items built, kept current through a move of every item, recalculated
// and deleted (ns and heap bytes per item), and its items deleted one by one under a monitor that
// stays; and distance monitors between the atoms of a protein (BenchProtein) taken in order, whose
// atoms all move once, then each read (ns per monitor, with the number of recalculations).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "BenchProtein.h"
#include "BenchSupport.h"
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/DistanceMonitor.h>
#include <tavrel/monitors/GeometryMonitor.h>

using namespace Tavrel;

namespace Tavrel {

// A geometry monitor that stays when it loses an item.
class BenchStayingMonitor : public GeometryMonitor {
    TAVREL_DECLARE_CLASS(BenchStayingMonitor, GeometryMonitor)
public:
    explicit BenchStayingMonitor(Object* parent) : GeometryMonitor(parent) {}
    bool ShouldDeleteMonitor() const override { return false; }

protected:
    BenchStayingMonitor() = default;
    BenchStayingMonitor(const BenchStayingMonitor&) = default;
};
TAVREL_IMPLEMENT_CLASS(BenchStayingMonitor, ClassKind::Creatable)

} // namespace Tavrel

namespace {


double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::vector<Atom3d*> Chain(Object* parent, int atoms)
{
    std::vector<Atom3d*> chain;
    chain.reserve(static_cast<std::size_t>(atoms));
    for (int i = 0; i < atoms; ++i) {
        auto* const atom = new Atom3d(parent, "C");
        atom->SetXYZ(Point3d(1.5 * i, 0.1 * (i % 7), 0.0));
        if (i > 0)
            chain.back()->MakeBond(atom, Bond::Single);
        chain.push_back(atom);
    }
    return chain;
}

void SetDistanceMovingAChain(benchmark::State& state)
{
    AttachDataModelDLL();
    const int atoms = static_cast<int>(state.range(0));
    TreeRoot root;
    auto* const fixed = new Molecule(&root);
    Atom3d* const anchor = new Atom3d(fixed, "O");
    anchor->SetXYZ(Point3d(-3, 0, 0));
    auto* const moving = new Molecule(&root);
    const std::vector<Atom3d*> chain = Chain(moving, atoms);
    auto* const monitor = new DistanceMonitor(&root, anchor, chain.front());
    double distance = 3.0;
    for (auto _ : state) {
        distance = distance == 3.0 ? 4.0 : 3.0;
        const auto start = std::chrono::steady_clock::now();
        if (!monitor->SetDistance(distance))
            state.SkipWithError("the distance was refused");
        const double seconds = Seconds(start);
        state.counters["ns_per_moved_atom"] = seconds * 1e9 / atoms;
    }
    if (std::abs(monitor->GetDistance() - distance) > 1e-3)
        state.SkipWithError("the distance was not reached");
}
BENCHMARK(SetDistanceMovingAChain)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);

void MonitorOverManyItems(benchmark::State& state)
{
    AttachDataModelDLL();
    ClassRegistry::Register<BenchStayingMonitor>();
    const int items = static_cast<int>(state.range(0));
    for (auto _ : state) {
        TreeRoot root;
        auto* const molecule = new Molecule(&root);
        std::vector<Atom3d*> atoms;
        atoms.reserve(static_cast<std::size_t>(items));
        for (int i = 0; i < items; ++i)
            atoms.push_back(new Atom3d(molecule, "C"));

        const bench::HeapMark before = bench::MarkHeap();
        auto start = std::chrono::steady_clock::now();
        auto* monitor = new GeometryMonitor(&root);
        for (Atom3d* atom : atoms)
            monitor->AddMonitoredItem(atom);
        const double build = Seconds(start);
        const double bytes = bench::HeapSince(before);

        start = std::chrono::steady_clock::now();
        for (Atom3d* atom : atoms)
            atom->SetXYZ(Point3d(1, 2, 3));
        const double move = Seconds(start);
        start = std::chrono::steady_clock::now();
        monitor->GetXYZ();
        const double recalculate = Seconds(start);
        if (monitor->NeedsRecalc())
            state.SkipWithError("the monitor is still stale");

        start = std::chrono::steady_clock::now();
        delete monitor;
        const double remove = Seconds(start);

        auto* const staying = new BenchStayingMonitor(&root);
        for (Atom3d* atom : atoms)
            staying->AddMonitoredItem(atom);
        start = std::chrono::steady_clock::now();
        for (Atom3d* atom : atoms)
            delete atom;
        const int left = staying->GetNumItemsMonitoring();
        const double lose = Seconds(start);
        if (left != 0)
            state.SkipWithError("deleted items are still listed");

        state.counters["heap_bytes_per_item"] = bytes / items;
        state.counters["build_ns_per_item"] = build * 1e9 / items;
        state.counters["move_ns_per_item"] = move * 1e9 / items;
        state.counters["recalculate_ns_per_item"] = recalculate * 1e9 / items;
        state.counters["delete_ns_per_item"] = remove * 1e9 / items;
        state.counters["item_deletion_ns_per_item"] = lose * 1e9 / items;
    }
}
BENCHMARK(MonitorOverManyItems)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

void CountRecalculation(Event& event)
{
    if (event.CheckType(GeometryMonitor::classType, GeometryMonitor::EventRecalculated))
        ++*static_cast<std::int64_t*>(event.GetData());
}

void DistanceMonitorsAfterEveryAtomMoved(benchmark::State& state)
{
    AttachDataModelDLL();
    TreeRoot root;
    bench::BuildTiledProtein(&root, static_cast<std::size_t>(state.range(0)) + 1);
    std::vector<Atom3d*> atoms;
    DescendentIterator walk(&root, Atom3d::classType, false);
    while (Object* const atom = walk.GetNext())
        atoms.push_back(static_cast<Atom3d*>(atom));
    const int count = static_cast<int>(atoms.size()) - 1;
    std::vector<DistanceMonitor*> monitors;
    monitors.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        monitors.push_back(new DistanceMonitor(&root, atoms[i], atoms[i + 1]));
    for (DistanceMonitor* monitor : monitors)
        monitor->GetDistance();
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        for (Atom3d* atom : atoms)
            atom->SetXYZ(atom->GetXYZ() + Point3d(0, 0, 0.5));
        const double move = Seconds(start);
        std::int64_t recalculations = 0;
        root.RegisterEvent(TreeNode::classType, TreeNode::EventTreeWide, &CountRecalculation, true, &recalculations, nullptr);
        start = std::chrono::steady_clock::now();
        double sum = 0.0;
        for (int pass = 0; pass < 2; ++pass) {
            for (DistanceMonitor* monitor : monitors)
                sum += monitor->GetDistance();
        }
        const double read = Seconds(start);
        root.UnregisterAllEvents(&recalculations);
        benchmark::DoNotOptimize(sum);
        if (recalculations != count)
            state.SkipWithError("a monitor was not recalculated exactly once");
        state.counters["move_ns_per_atom"] = move * 1e9 / static_cast<double>(atoms.size());
        state.counters["two_reads_ns_per_monitor"] = read * 1e9 / count;
        state.counters["recalculations_per_monitor"] = static_cast<double>(recalculations) / count;
    }
}
BENCHMARK(DistanceMonitorsAfterEveryAtomMoved)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
