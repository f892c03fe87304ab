// OID registration and lookup at growing object counts: lookups must stay flat.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "foundation/Base.h"
#include "document/DataModelLibrary.h"

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

void RegisterObjects(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto count = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        std::vector<std::unique_ptr<BenchObject>> objects;
        objects.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            objects.emplace_back(BenchObject::Make());
        benchmark::DoNotOptimize(objects.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(RegisterObjects)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);

void LookUpObjects(benchmark::State& state)
{
    AttachDataModelDLL();
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<std::unique_ptr<BenchObject>> objects;
    objects.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        objects.emplace_back(BenchObject::Make());
    std::mt19937 random(7);
    std::vector<std::uint32_t> probes(4096);
    for (auto& oid : probes)
        oid = objects[random() % count]->GetOID();
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Base::GetObjectA(probes[next]));
        next = (next + 1) & 4095;
    }
}
BENCHMARK(LookUpObjects)->RangeMultiplier(10)->Range(10'000, 1'000'000);

} // namespace
