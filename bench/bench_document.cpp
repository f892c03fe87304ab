// Saving and loading a document of 10^6 positioned objects with labels and colours: MB/s, objects/s and
// peak memory.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "document/ChemDoc.h"
#include "foundation/ClassRegistry.h"
#include "document/DataModelLibrary.h"
#include "foundation/Geometric3d.h"
#include "foundation/TreeRoot.h"
#include "platform/Archive.h"

using namespace Tavrel;

namespace {

// A positioned object that anyone may create under a parent.
class BenchAtom : public Geometric3d {
    TAVREL_DECLARE_CLASS(BenchAtom, Geometric3d)
public:
    explicit BenchAtom(Object* parent) : Geometric3d(parent) {}

protected:
    BenchAtom() = default;
    BenchAtom(const BenchAtom&) = default;
};
TAVREL_IMPLEMENT_CLASS(BenchAtom, ClassKind::Creatable)

constexpr int GroupCount = 1000;
constexpr int AtomsPerGroup = 1000;
// The groups, their atoms and the root.
constexpr double ObjectCount = GroupCount * (AtomsPerGroup + 1.0) + 1.0;

// The process's peak resident set (VmHWM) in MB; 0 where /proc is not available.
double PeakMemoryMB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            double kilobytes = 0.0;
            status >> kilobytes;
            return kilobytes / 1024.0;
        }
        status.ignore(4096, '\n');
    }
    return 0.0;
}

// A root with 1000 groups of 1000 atoms, each with a label, a colour and a position.
ChemDoc& GetDocument()
{
    static const std::unique_ptr<ChemDoc> document = [] {
        AttachDataModelDLL();
        ClassRegistry::Register<BenchAtom>();
        auto made = std::make_unique<ChemDoc>();
        for (int g = 0; g < GroupCount; ++g) {
            auto* const group = new Object(made->GetTreeRoot());
            group->SetLabel(std::string("Group").append(std::to_string(g)));
            for (int i = 0; i < AtomsPerGroup; ++i) {
                auto* const atom = new BenchAtom(group);
                atom->SetLabel(std::string("C").append(std::to_string(i)));
                atom->SetColor(Color(i % 256, g % 256, (i + g) % 256));
                atom->SetXYZ(Point3d(0.1 * i, 0.2 * g, 0.01 * (i + g)));
            }
        }
        return made;
    }();
    return *document;
}

std::vector<std::uint8_t> Save(ChemDoc& document)
{
    Archive archive;
    document.Serialize(archive);
    return archive.GetBuffer();
}

void SaveDocument(benchmark::State& state)
{
    ChemDoc& document = GetDocument();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t> file = Save(document);
        bytes = file.size();
        benchmark::DoNotOptimize(file.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["objects_per_s"] =
        benchmark::Counter(ObjectCount * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["peak_MB"] = PeakMemoryMB();
}
BENCHMARK(SaveDocument)->Unit(benchmark::kMillisecond);

void LoadDocument(benchmark::State& state)
{
    const std::vector<std::uint8_t> file = Save(GetDocument());
    for (auto _ : state) {
        auto loaded = std::make_unique<ChemDoc>();
        Archive archive(file);
        loaded->Serialize(archive);
        state.PauseTiming();
        loaded.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
    state.counters["objects_per_s"] =
        benchmark::Counter(ObjectCount * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["peak_MB"] = PeakMemoryMB();
}
BENCHMARK(LoadDocument)->Unit(benchmark::kMillisecond);

} // namespace
