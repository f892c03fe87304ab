// Saving a document whose tree is one chain 10^6 levels deep: time, file size and the memory the save
// holds per level on top of the tree and the file.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

constexpr int Depth = 1000000;

// A value of /proc/self/status in kB; 0 where /proc is not available.
double StatusKB(const std::string& wanted)
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == wanted) {
            double kilobytes = 0.0;
            status >> kilobytes;
            return kilobytes;
        }
        status.ignore(4096, '\n');
    }
    return 0.0;
}

// Resets the peak resident set to the current one (Linux).
void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

ChemDoc& GetChainDocument()
{
    static const std::unique_ptr<ChemDoc> document = [] {
        AttachDataModelDLL();
        auto made = std::make_unique<ChemDoc>();
        // Built from the leaf up, so no insertion climbs the chain.
        auto* top = new Object(nullptr);
        top->SetLabel("L");
        for (int level = 1; level < Depth; ++level) {
            auto* const above = new Object(nullptr);
            above->SetLabel("L");
            top->SetParent(above);
            top = above;
        }
        top->SetParent(made->GetTreeRoot());
        return made;
    }();
    return *document;
}

void SaveDeepChain(benchmark::State& state)
{
    ChemDoc& document = GetChainDocument();
    std::size_t bytes = 0;
    double heldKB = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        ResetPeak();
        const double before = StatusKB("VmRSS:");
        state.ResumeTiming();
        Archive archive;
        document.Serialize(archive);
        state.PauseTiming();
        bytes = archive.GetBuffer().size();
        // What the save held beyond the file's own buffer (whose capacity is at most twice its size).
        heldKB = StatusKB("VmHWM:") - before - static_cast<double>(archive.GetBuffer().capacity()) / 1024.0;
        state.ResumeTiming();
    }
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["held_MB"] = heldKB / 1024.0;
    state.counters["held_bytes_per_level"] = heldKB * 1024.0 / Depth;
}
BENCHMARK(SaveDeepChain)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
