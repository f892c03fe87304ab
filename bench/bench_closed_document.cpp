// What a host holds around a large document, each figure in a process of its own:
// `bench_closed_document memory`: resident memory with 10^6 bonded carbons in a ChemDoc, after the
// document is destroyed, and after the host then mallocs and writes as many bytes as the document took;
// `bench_closed_document reread [READS]`: the same document read again READS times (default 6) into
// the same ChemDoc, each read timed, and the median of all but the first (which maps the memory of a
// second tree: the document's own is freed only once the read is whole);
// `bench_closed_document reopen [READS]`: the same, each read into a new ChemDoc once the one before is
// destroyed, as a host closes a document and opens another.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <unistd.h>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

constexpr int MoleculeCount = 10'000;
constexpr int AtomsPerMolecule = 100;

// The resident set of the process in MiB (/proc/self/statm); 0 where /proc is not available.
double ResidentMiB()
{
    std::ifstream statm("/proc/self/statm");
    double size = 0.0;
    double resident = 0.0;
    statm >> size >> resident;
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Molecules of carbons in a chain, each bonded to the one before it.
std::unique_ptr<ChemDoc> BuildCarbons()
{
    auto document = std::make_unique<ChemDoc>();
    for (int m = 0; m < MoleculeCount; ++m) {
        auto* const molecule = new Molecule(document->GetTreeRoot());
        Atom3d* previous = nullptr;
        for (int i = 0; i < AtomsPerMolecule; ++i) {
            auto* const atom = new Atom3d(molecule, "C");
            atom->SetXYZ(Point3d(1.5 * i, 2.0 * (m % 100), 2.0 * (m / 100)));
            if (previous)
                previous->MakeBond(atom, Bond::Single);
            previous = atom;
        }
    }
    return document;
}

int MeasureMemory()
{
    AttachDataModelDLL();
    const double start = ResidentMiB();
    auto document = BuildCarbons();
    const double withDocument = ResidentMiB();
    document.reset();
    const double destroyed = ResidentMiB();
    // As many bytes as the document took, each page written.
    const auto bytes = static_cast<std::size_t>((withDocument - start) * 1024.0 * 1024.0);
    auto* const block = static_cast<char*>(std::malloc(bytes));
    if (!block)
        return 1;
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    for (std::size_t at = 0; at < bytes; at += page)
        block[at] = 1;
    const double afterMalloc = ResidentMiB();
    std::printf("resident memory of %d bonded carbons in a document (MiB):\n", MoleculeCount * AtomsPerMolecule);
    std::printf("  before %.1f  with the document %.1f  destroyed %.1f  after malloc of %.1f MiB %.1f\n", start,
                withDocument, destroyed, static_cast<double>(bytes) / (1024.0 * 1024.0), afterMalloc);
    std::printf("  after malloc / with the document: %.3f\n", afterMalloc / withDocument);
    std::free(block);
    return 0;
}

int MeasureReads(int reads, bool reopen)
{
    AttachDataModelDLL();
    auto document = BuildCarbons();
    Archive saving;
    document->Serialize(saving);
    const std::vector<std::uint8_t> file = saving.GetBuffer();
    std::vector<double> times;
    std::printf("reading %d bonded carbons (%zu bytes) again into %s (ms):", MoleculeCount * AtomsPerMolecule,
                file.size(), reopen ? "a new document" : "the same document");
    for (int read = 0; read < reads; ++read) {
        if (reopen) {
            document.reset();
            document = std::make_unique<ChemDoc>();
        }
        const auto start = std::chrono::steady_clock::now();
        Archive loading{std::span<const std::uint8_t>(file)};
        document->Serialize(loading);
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        std::printf(" %.1f", times.back());
    }
    std::sort(times.begin() + 1, times.end());
    std::printf("\n  median after the first %.1f ms, resident %.1f MiB\n", times[1 + (times.size() - 1) / 2], ResidentMiB());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "memory") == 0)
        return MeasureMemory();
    const bool reread = argc >= 2 && std::strcmp(argv[1], "reread") == 0;
    if ((argc == 2 || argc == 3) && (reread || std::strcmp(argv[1], "reopen") == 0))
        return MeasureReads(argc == 3 ? std::max(2, std::atoi(argv[2])) : 6, !reread);
    std::fprintf(stderr, "usage: %s memory | reread [READS] | reopen [READS]\n", argv[0]);
    return 2;
}
