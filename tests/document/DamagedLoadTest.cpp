#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/InternalBase.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>

#include "support/BondedDocuments.h"
#include "support/DocumentFile.h"

using namespace Tavrel;
using DocumentFile::Bytes;

namespace {

// Every length below the whole for up to `every` bytes; beyond, about that many lengths spread over
// the input, so that each part of it is cut somewhere. A load under the sanitizers takes about a
// millisecond.
std::vector<std::size_t> CutLengths(std::size_t size, std::size_t every)
{
    const std::size_t step = size <= every ? 1 : size / every + 1;
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length < size; length += step)
        lengths.push_back(length);
    return lengths;
}

Bytes ReadData(const std::string& name)
{
    std::ifstream file(std::string(TAVREL_TEST_DATA_DIR) + "/damaged/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

int CountBonds(Object& root)
{
    int bonds = 0;
    DescendentIterator atoms(&root, Atom::classType, false);
    while (const Object* const atom = atoms.GetNext())
        bonds += static_cast<const Atom*>(atom)->GetNumBonds();
    return bonds / 2;
}

// A document that already holds a tree, which a refused load must leave saving the same bytes.
class HeldDocument {
public:
    HeldDocument()
    {
        test::BuildTwoBondedAtoms(document);
        document.GetTreeRoot()->SetLabel("held");
        bytes = DocumentFile::Save(document);
    }

    // Loads the input: false when it is refused, which must leave the live objects as they were and
    // the document with its root, saving the same bytes (compared when asked: a save costs a load).
    bool Load(const std::uint8_t* data, std::size_t size, const std::string& what, bool compareSaved = true)
    {
        const std::size_t live = CountLiveObjectsForTests();
        const TreeRoot* const root = document.GetTreeRoot();
        try {
            Archive archive(data, size);
            document.Serialize(archive);
            return true;
        } catch (const ArchiveException&) {
        }
        EXPECT_EQ(CountLiveObjectsForTests(), live) << what;
        EXPECT_EQ(document.GetTreeRoot(), root) << what;
        if (compareSaved) {
            EXPECT_EQ(DocumentFile::Save(document), bytes) << what;
        }
        return false;
    }

    ChemDoc document;
    Bytes bytes;
};

// A framework read of the input refused or not, nothing it made outlives it: what it returns is
// deleted, and the read itself frees what a refusal leaves.
void ReadRecord(const std::uint8_t* data, std::size_t size, const std::string& what)
{
    const std::size_t live = CountLiveObjectsForTests();
    try {
        Archive archive(data, size);
        delete archive.ReadObject();
    } catch (const ArchiveException&) {
    }
    EXPECT_EQ(CountLiveObjectsForTests(), live) << what;
}

class DamagedLoadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

} // namespace

TEST_F(DamagedLoadTest, EveryCutOfABondedDocumentOfEachSubsystemIsRefusedAndChangesNothing)
{
    // Every length of the smallest; a hundred or so of each other.
    std::size_t every = 2000;
    for (const test::BondedDocument& kind : test::BondedDocuments()) {
        ChemDoc source;
        kind.build(source);
        ASSERT_GT(CountBonds(*source.GetTreeRoot()), 0) << kind.name;
        const Bytes bytes = DocumentFile::Save(source);
        HeldDocument held;
        const std::vector<std::size_t> lengths = CutLengths(bytes.size(), std::exchange(every, 100));
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            EXPECT_FALSE(held.Load(bytes.data(), lengths[i], std::string(kind.name) + " cut at " + std::to_string(lengths[i]),
                                   i % 64 == 0));
        }
        ASSERT_TRUE(held.Load(bytes.data(), bytes.size(), kind.name));
        EXPECT_GT(CountBonds(*held.document.GetTreeRoot()), 0) << kind.name;
    }
}

TEST_F(DamagedLoadTest, EveryCutOfABondedFrameworkRecordLeavesNothingAlive)
{
    std::size_t every = 2000;
    for (const test::BondedDocument& kind : test::BondedDocuments()) {
        ChemDoc source;
        kind.build(source);
        Archive out;
        out.WriteObject(source.GetTreeRoot());
        const Bytes bytes = out.GetBuffer();
        for (const std::size_t length : CutLengths(bytes.size(), std::exchange(every, 100)))
            ReadRecord(bytes.data(), length, std::string(kind.name) + " cut at " + std::to_string(length));
        ReadRecord(bytes.data(), bytes.size(), kind.name);
    }
}

TEST_F(DamagedLoadTest, DamagedDocumentsWholeOrCutLoadOrAreRefusedCleanly)
{
    // Two bonded atoms, which aborted cut at 1,000 and 1,020 bytes in a bond naming an end already
    // freed; a bond naming an end its refused load had freed; an end erasing a freed bond; a load that
    // is accepted while a bond names an end that a dropped record took along.
    const struct {
        const char* name;
        std::vector<std::size_t> cuts;
    } files[] = {{"two-bonded-atoms.doc", {1000, 1020}},
                 {"bond-end-freed-refused-bio.doc", {}},
                 {"bondable-erases-freed-bond-symmetry.doc", {}},
                 {"bond-listed-by-freed-end-accepted-crystal.doc", {}}};
    for (const auto& [name, cuts] : files) {
        const Bytes bytes = ReadData(name);
        ASSERT_FALSE(bytes.empty()) << name;
        std::vector<std::size_t> lengths = CutLengths(bytes.size(), 100);
        lengths.insert(lengths.end(), cuts.begin(), cuts.end());
        lengths.push_back(bytes.size());
        auto held = std::make_unique<HeldDocument>();
        for (const std::size_t length : lengths) {
            if (held->Load(bytes.data(), length, std::string(name) + " cut at " + std::to_string(length)))
                held = std::make_unique<HeldDocument>();
        }
    }
}

TEST_F(DamagedLoadTest, CutRecordsOfObjectsReadBeforeTheirPlaceLeaveNothingAlive)
{
    // A centroid monitor read before its atoms, two levels down; two bonded atoms, the second read as
    // the bond's end before the molecule takes it; a built cell's replicas.
    for (const char* name : {"centroid-before-its-atoms-two-levels-down.rec", "two-bonded-atoms.rec", "built-cell.rec"}) {
        const Bytes bytes = ReadData(name);
        ASSERT_FALSE(bytes.empty()) << name;
        for (std::size_t length = 0; length <= bytes.size(); ++length)
            ReadRecord(bytes.data(), length, std::string(name) + " cut at " + std::to_string(length));
    }
}
