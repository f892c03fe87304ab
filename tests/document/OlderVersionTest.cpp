// Documents of the versions before the property stream, whose tree is one class-tagged framework record
// written by the library's own framework Serialize: they load as the trees they were written from, as
// far as the classes' framework layouts hold them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/RuntimeMap.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/DipoleMomentMonitor.h>
#include <tavrel/platform/Archive.h>
#include "support/BondedDocuments.h"
#include "support/DocumentFile.h"
#include "support/SameTree.h"
#include "support/TreeDescription.h"

using namespace Tavrel;
using test::SameTree;

namespace {

using Bytes = DocumentFile::Bytes;
using Fields = std::vector<std::string>;

constexpr std::uint32_t olderVersions[] = {0x10000, 0x20000, 0x30000};

// What a framework record does not hold: the LID, which only the property stream keeps, and by class,
// values the class's framework layout leaves out or values computed from them ("label" is the label):
// a conformer's position is the centre of its atom list, and an atom's symmetry label comes from its
// cell's operation list, both kept by the property stream alone.
bool HeldByFrameworkRecords(const TreeNode& node, std::string_view name)
{
    static const std::set<std::pair<std::string_view, std::string_view>> notHeld{
        {"XXNucleicAcid", "Ribbon Size"},
        {"XXConformation", "Reference Name"},
        {"XXConformer", "XYZ"},
        {"XXAtom3d", "SymmetryLabel"},
        {"XXAngleMonitor", "Orientation"},
        {"XXAngleMonitor", "Angle"},
        {"XXAngleMonitor", "XYZ"},
        {"XXCentroidMonitor", "Center of Mass"},
        {"XXCentroidMonitor", "XYZ"},
        {"XXVectorMonitor", "XYZ"},
        {"XXBumpMonitor", "VDW Percent"},
        {"XXHBondMonitor", "Show distances"},
        {"XXFixedAtomConstraint", "label"},
        {"XXFixedAtomConstraint", "Name"},
        {"XXFixedAtomConstraint", "Enabled"},
        {"XXHarmonicAtomRestraint", "Force Constant"},
        {"XXDihedralRestraint", "Periodicity"},
        {"XXDihedralRestraint", "Reference Angle"},
        {"XXDistanceRestraint", "Force Maximum"},
        {"XXDistanceRestraint", "Threshold Maximum"},
        {"XXDistanceRestraint", "Threshold Minimum"},
    };
    return name != "Logical Id" && !notHeld.contains({node.GetClassNameA(), name});
}

Fields Describe(ChemDoc& document)
{
    return DescribeTree(*document.GetTreeRoot(), true, &HeldByFrameworkRecords);
}

// The document in an older version's layout: below 0x20000 the matrix first and no stereo byte.
Bytes SaveOlder(ChemDoc& document, std::uint32_t version)
{
    Archive archive;
    archive << ChemDoc::GetHeader() << version;
    if (version < 0x20000)
        archive << *document.GetMatrix();
    archive.WriteObject(document.GetTreeRoot());
    archive << static_cast<float>(document.GetViewSize()) << document.GetProjection() << document.GetGraphQuality()
            << (document.GetBkColor().GetValue() & 0x00FFFFFFu) << document.GetDepthCue();
    if (version >= 0x20000)
        archive << document.GetStereo() << *document.GetMatrix();
    return archive.GetBuffer();
}

Bytes Seed(const std::string& name)
{
    std::ifstream file(std::string(TAVREL_FUZZ_SEEDS_DIR) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

class OlderVersionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    // Conformer models come back from a file only with conversion on.
    OlderVersionTest() : m_convert(ChemDoc::SetConvertConformations(true)) {}
    ~OlderVersionTest() override { ChemDoc::SetConvertConformations(m_convert); }

private:
    bool m_convert;
};

} // namespace

TEST_F(OlderVersionTest, CorpusSeedsOfOlderVersionsLoadAsTheCurrentFormOfTheirDocument)
{
    for (const std::string name : {"every", "host"}) {
        ChemDoc current;
        DocumentFile::Load(current, Seed(name));
        const Fields expected = Describe(current);
        for (const std::string version : {"_v10000", "_v30000"}) {
            ChemDoc older;
            ASSERT_NO_THROW(DocumentFile::Load(older, Seed(name + version))) << name + version;
            EXPECT_TRUE(SameTree(expected, Describe(older))) << name + version;
            EXPECT_EQ(older.GetViewSize(), current.GetViewSize());
            EXPECT_EQ(older.GetBkColor(), current.GetBkColor());
            EXPECT_EQ(*older.GetMatrix(), *current.GetMatrix());
            EXPECT_EQ(older.GetStereo(), version == "_v30000" && current.GetStereo());
        }
    }
}

TEST_F(OlderVersionTest, CellsWithTheirSpaceGroupsLoadFromEachOlderVersion)
{
    // Two built cells, each symmetry's operators records of one class, then nodes and a group whose
    // records refer back past them. A cell read from a framework record is built again.
    ChemDoc source;
    TreeRoot* const root = source.GetTreeRoot();
    auto* const built = new Cell3d(root);
    built->GetSymmetry()->LoadSpaceGroup(14, "", 0);
    auto* const molecule = new Molecule(built);
    Atom3d* const carbon = test::AddBondedAtom(molecule, "C1", "C", Point3d(1.0, 2.0, 3.0));
    carbon->MakeBond(test::AddBondedAtom(molecule, "O1", "O", Point3d(2.2, 2.0, 3.0)), Bond::Single);
    built->Build(Cell3d::BuildInfo());
    auto* const plain = new Cell3d(root);
    plain->GetSymmetry()->LoadSpaceGroup(2, "", 0);
    test::AddBondedAtom(plain, "Na", "Na", Point3d(0.5, 0.5, 0.5));
    plain->Build(Cell3d::BuildInfo());
    auto* const after = new Molecule(root);
    after->SetLabel("after the cells");
    NamedCollection* const group = root->CreateNamedCollection("group");
    group->Add(after);
    group->Add(carbon);
    // A load maps the built cells, whose replicas become atoms: the current form's load is the tree meant.
    ChemDoc current;
    DocumentFile::Load(current, DocumentFile::Save(source));
    const Fields expected = Describe(current);

    for (const std::uint32_t version : olderVersions) {
        ChemDoc loaded;
        ASSERT_NO_THROW(DocumentFile::Load(loaded, SaveOlder(source, version))) << std::hex << version;
        EXPECT_TRUE(SameTree(expected, Describe(loaded))) << std::hex << version;
        TreeRoot* const back = loaded.GetTreeRoot();
        ASSERT_EQ(back->GetNumChildren(), 4);
        for (int i : {0, 1}) {
            const Symmetry& kept = *static_cast<Cell3d*>(root->GetChild(i))->GetSymmetry();
            auto* const cell = DynCast<Cell3d>(back->GetChild(i));
            ASSERT_NE(cell, nullptr);
            const Symmetry& read = *cell->GetSymmetry();
            EXPECT_EQ(read.GetTableNumber(), kept.GetTableNumber());
            EXPECT_EQ(read.GetName(), kept.GetName());
            EXPECT_EQ(read.OperatorText(), kept.OperatorText());
            EXPECT_TRUE(cell->IsSymmetryMapEnabled());
        }
        EXPECT_EQ(back->FindNamedCollection("group")->GetNumItems(), 2);
    }
}

TEST_F(OlderVersionTest, EachBondedDocumentLoadsFromEachOlderVersion)
{
    for (const test::BondedDocument& kind : test::BondedDocuments()) {
        ChemDoc source;
        kind.build(source);
        ChemDoc current;
        DocumentFile::Load(current, DocumentFile::Save(source));
        const Fields expected = Describe(current);
        for (const std::uint32_t version : olderVersions) {
            ChemDoc loaded;
            ASSERT_NO_THROW(DocumentFile::Load(loaded, SaveOlder(source, version))) << kind.name << std::hex << version;
            EXPECT_TRUE(SameTree(expected, Describe(loaded))) << kind.name << " " << std::hex << version;
        }
    }
}

TEST_F(OlderVersionTest, BondOrdersOfAnOlderFileComeBackFromTheirTypesAndChargesAsWritten)
{
    // A framework record keeps a bond's order; the current form keeps only the type, whose order a
    // load sets (a type that sets none leaves 1.0). Reading the tree, a dipole monitor's position
    // among it, leaves the charges as written.
    ChemDoc source;
    auto* const molecule = new Molecule(source.GetTreeRoot());
    Atom3d* const oxygen = test::AddBondedAtom(molecule, "O1", "O", Point3d(0.0, 0.59, 0.0));
    Atom3d* const first = test::AddBondedAtom(molecule, "H1", "H", Point3d(0.76, 0.0, 0.0));
    Atom3d* const second = test::AddBondedAtom(molecule, "H2", "H", Point3d(-0.76, 0.0, 0.0));
    oxygen->MakeBond(first, Bond::Double)->SetOrder(1.7);
    oxygen->MakeBond(second, static_cast<Bond::BondType>(9))->SetOrder(2.6e20);
    new DipoleMomentMonitor(molecule);
    const std::vector<double> charges{-0.25, 0.125, 0.0};
    for (std::size_t i = 0; i < charges.size(); ++i)
        static_cast<Atom3d*>(molecule->GetChild(static_cast<int>(i)))->SetCharge(charges[i]);
    const auto values = [](ChemDoc& document) {
        // Once the whole tree has been read as text.
        DescribeTree(*document.GetTreeRoot(), true);
        std::vector<double> read;
        DescendentIterator atoms(document.GetTreeRoot(), Atom3d::classType, false);
        while (Object* const atom = atoms.GetNext())
            read.push_back(static_cast<Atom3d*>(atom)->GetCharge());
        DescendentIterator bonds(document.GetTreeRoot(), Bond::classType, false);
        while (Object* const bond = bonds.GetNext())
            read.push_back(static_cast<Bond*>(bond)->GetOrder());
        return read;
    };

    ChemDoc older;
    DocumentFile::Load(older, SaveOlder(source, 0x30000));
    EXPECT_EQ(values(older), (std::vector<double>{-0.25, 0.125, 0.0, 1.7f, 2.6e20f}));
    ChemDoc again;
    DocumentFile::Load(again, DocumentFile::Save(older));
    EXPECT_EQ(values(again), (std::vector<double>{-0.25, 0.125, 0.0, 2.0, 1.0}));
    ChemDoc third;
    DocumentFile::Load(third, DocumentFile::Save(again));
    EXPECT_TRUE(SameTree(DescribeTree(*again.GetTreeRoot(), true), DescribeTree(*third.GetTreeRoot(), true)));
}

TEST_F(OlderVersionTest, ABondWithoutEndsInAnOlderFileIsRefusedSayingWhereAndWhy)
{
    // Bonds are made between two ends; a record of one without them has nothing to join.
    ChemDoc source;
    static_cast<Bond*>(RuntimeMap::CreateObject("Bond"))->SetParent(source.GetTreeRoot());
    ChemDoc document;
    TreeRoot* const kept = document.GetTreeRoot();
    try {
        DocumentFile::Load(document, SaveOlder(source, 0x30000));
        FAIL() << "loaded";
    } catch (const ArchiveException& error) {
        EXPECT_EQ(error.GetCause(), ArchiveException::badIndex);
        EXPECT_EQ(std::string(error.what()).rfind("bad object index in archive at offset ", 0), 0u) << error.what();
    }
    EXPECT_EQ(document.GetTreeRoot(), kept);
}
