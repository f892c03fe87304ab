// Peak memory of one save or one load of a document of 10^6 positioned objects with labels and colours,
// each in a process of its own: `bench_document_memory save FILE`, then `bench_document_memory load FILE`.
// Prints peak resident memory and heap in use beside the document and the file.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "BenchSupport.h"
#include <tavrel/document/ChemDoc.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

constexpr int GroupCount = 1000;
constexpr int AtomsPerGroup = 1000;
// The groups, their atoms and the root.
constexpr double ObjectCount = GroupCount * (AtomsPerGroup + 1.0) + 1.0;

// A figure of /proc/self/status ("VmHWM:", the peak resident set, or "VmRSS:") in MB; 0 where /proc
// is not available.
double StatusMB(std::string_view field)
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == field) {
            double kilobytes = 0.0;
            status >> kilobytes;
            return kilobytes / 1024.0;
        }
        status.ignore(4096, '\n');
    }
    return 0.0;
}

double PeakMemoryMB()
{
    return StatusMB("VmHWM:");
}

// Starts a new peak: the peak resident set becomes the current one.
void ResetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// bench::HeapInUse in MB.
double HeapInUseMB()
{
    return static_cast<double>(bench::HeapInUse()) / (1024.0 * 1024.0);
}

// A root with 1000 groups of 1000 atoms, each with a label, a colour and a position.
ChemDoc& GetDocument()
{
    static const std::unique_ptr<ChemDoc> document = bench::BuildAtomDocument(GroupCount, AtomsPerGroup);
    return *document;
}

struct MemoryFigures {
    double heapBefore;
    double residentBefore;
};

MemoryFigures StartMeasuring()
{
    ResetPeakMemory();
    return {HeapInUseMB(), StatusMB("VmRSS:")};
}

void Report(const char* what, const MemoryFigures& start, std::size_t fileBytes)
{
    std::printf("%s of %.0f objects, file %.1f MB:\n", what, ObjectCount, static_cast<double>(fileBytes) / 1e6);
    std::printf("  heap in use      before %8.1f MB  after %8.1f MB  (%.1f bytes per object)\n", start.heapBefore,
                HeapInUseMB(), HeapInUseMB() * 1024.0 * 1024.0 / ObjectCount);
    std::printf("  resident memory  before %8.1f MB  peak  %8.1f MB  (peak above before: %.1f MB)\n",
                start.residentBefore, PeakMemoryMB(), PeakMemoryMB() - start.residentBefore);
}

// One save of the document to a file: what the save adds to the document, the output included.
int MeasureSave(const char* path)
{
    ChemDoc& document = GetDocument();
    const MemoryFigures start = StartMeasuring();
    std::size_t size = 0;
    {
        Archive archive;
        document.Serialize(archive);
        const std::span<const std::uint8_t> bytes = archive.GetData();
        size = bytes.size();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        Report("save (with the output still held)", start, size);
    }
    return 0;
}

// One load of a file read into memory, into a document that already holds an empty tree.
int MeasureLoad(const char* path)
{
    AttachDataModelDLL();
    ClassRegistry::Register<BenchAtom>();
    std::ifstream file(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 1;
    }
    auto document = std::make_unique<ChemDoc>();
    const MemoryFigures start = StartMeasuring();
    {
        Archive archive{std::span<const std::uint8_t>(bytes)};
        document->Serialize(archive);
    }
    Report("load (with the input still held)", start, bytes.size());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "save") == 0)
        return MeasureSave(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "load") == 0)
        return MeasureLoad(argv[2]);
    std::fprintf(stderr, "usage: %s save FILE | load FILE\n", argv[0]);
    return 2;
}
