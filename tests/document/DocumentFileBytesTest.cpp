#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/chemistry/Assembly.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Chain.h>
#include <tavrel/chemistry/SubUnit.h>
#include <tavrel/conformers/Conformation.h>
#include <tavrel/conformers/Conformer.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/conformers/ConformerModel.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DataStorage.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/graphics/DecoratedAnnotation.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

using Bytes = std::vector<std::uint8_t>;

// OIDs are written to the file, so each case runs in a fresh process whose OID counter is first
// brought to this value; the reference files were saved the same way.
constexpr std::uint32_t LastOIDBefore = (1u << 16) - 1;

constexpr std::uint32_t Readable = DataStorage::FlagReadable;
constexpr std::uint32_t ReadWrite = DataStorage::FlagReadable | DataStorage::FlagWritable;

Bytes ReadFile(const std::string& name)
{
    std::ifstream file(std::string(TAVREL_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void AdvanceOIDs()
{
    while (Base::GetLastOID() < LastOIDBefore)
        Object(nullptr);
}

// A document with every kind of value the file holds: a chain of residues in an assembly, labels,
// colours, positions (3-D and 2-D), styles and identifiers, selected and hidden nodes, user
// properties of each archived type (one naming a node of the tree and one a symmetry object), a named
// group, an ordered collection, a set, a crystal cell with a replica, a conformer model with a conformation,
// and the view settings and matrix.
struct ReferenceDocument {
    ChemDoc document;
    Symmetry symmetry;

    ReferenceDocument()
    {
        symmetry.LoadSpaceGroup(19, "", 0);
        TreeRoot* const root = document.GetTreeRoot();
        root->SetLabel("reference");
        auto* const model = new Assembly(root);
        model->SetLabel("model 1");
        model->SetID(7);
        auto* const chain = new Chain(model);
        chain->SetLabel("A");
        chain->SetColor(Color::Cyan());
        const char* const residues[] = {"GLY", "ALA", "SER", "LYS"};
        std::vector<SubUnit*> units;
        for (int i = 0; i < 4; ++i) {
            auto* const residue = new SubUnit(chain);
            residue->SetLabel(std::string(residues[i]) + " " + std::to_string(i + 1));
            residue->SetSubUnitType(residues[i]);
            residue->SetColor(Color(60 * i, 200, 255 - 60 * i));
            residue->SetProperty("B-factor", 10.0f + 2.5f * static_cast<float>(i), ReadWrite);
            for (int k = 0; k < 3; ++k) {
                auto* const atom = new ReplicateAtom(residue);
                atom->SetLabel(std::string(1, "CNO"[k]) + std::to_string(i));
                atom->SetXYZ(Point3d(1.5 * i, -0.25 * k, 0.125 * (i + k)));
                atom->SetColor(Color(10 * k, 20 * i, 255));
                atom->SetDisplayStyle(k + 1);
            }
            units.push_back(residue);
        }
        units[0]->Select(true);
        units[2]->Select(false);
        units[3]->SetInvisible(true);

        model->SetProperty("Source", "built for the file-format reference", Readable);
        model->SetProperty("Count", std::int32_t{42}, ReadWrite);
        model->SetProperty("Weight", 1234.5f, ReadWrite);
        model->SetProperty("Tint", static_cast<std::int32_t>(Color(255, 128, 0).GetValue()), Readable);
        const float offset[] = {1.0f, -2.5f, 3.25f};
        model->SetProperty("Offset", 3, offset, Readable);
        const std::int32_t histogram[] = {3, 1, 4, 1, 5, 9, 2, 6};
        model->SetProperty("Histogram", 8, histogram, Readable);
        const std::uint8_t blob[] = {0x00, 0xFF, 0x10, 0x80, 0x7F};
        model->SetProperty("Blob", 5, blob, Readable);
        model->SetProperty("Nothing");
        model->SetProperty("Partner", chain, Readable);
        model->SetProperty("Space Group", &symmetry, Readable);
        model->SetProperty("Scratch", std::int32_t{1}, DataStorage::FlagTemporary);

        NamedCollection* const group = root->CreateNamedCollection("selected residues");
        group->Add(units[0]);
        group->Add(units[2]);
        auto* const ordered = new OrdCollection();
        ordered->SetParent(root);
        ordered->SetLabel("ordered");
        ordered->Add(units[3]);
        ordered->Add(chain);
        auto* const set = new SetCollection();
        set->SetParent(model);
        set->Add(units[1]);

        auto* const cell = new Cell3d(root);
        cell->SetLabel("cell");
        auto* const replica = new ReplicateAtom(new Object(cell));
        replica->SetXYZ(Point3d(0.5, 0.5, 0.5));

        auto* const note = new DecoratedAnnotation(root);
        note->SetLabel("note");
        note->SetXY(Point2d(0.25, -0.75));

        auto* const alternated = new Object(root);
        alternated->SetLabel("conformer");
        auto* const carbon = new Atom3d(alternated, "C");
        auto* const oxygen = new Atom3d(alternated, "O");
        oxygen->SetXYZ(Point3d(1.2, 0.0, 0.0));
        carbon->MakeBond(oxygen, Bond::Double);
        OrdCollection sites;
        sites.Add(oxygen);
        auto* const conformerModel = new ConformerModel(alternated, sites, OrdCollection());
        OrdCollection alternates;
        auto* const alternate = new ConformerAtom(*oxygen);
        alternate->SetXYZ(Point3d(1.0, 0.7, 0.0));
        alternates.Add(alternate);
        alternate->SetParent(conformerModel->CreateConformer(alternates, OrdCollection()));
        new Conformation(alternated, false);

        document.SetViewSize(25.0);
        document.SetBkColor(Color::White());
        document.SetStereo(true);
        Matrix4x4 view(Point3d(0.0, 0.0, 1.0), 30.0);
        view(3, 0) = 2.0;
        document.SetMatrix(view);
    }
};

Bytes Save(ChemDoc& document)
{
    Archive archive;
    document.Serialize(archive);
    return archive.GetBuffer();
}

// Saves a built document in the state the reference was saved from.
Bytes SaveBuilt()
{
    AttachDataModelDLL();
    {
        ReferenceDocument warmUp; // every lazily made object exists before the counter is set
        Save(warmUp.document);
    }
    AdvanceOIDs();
    ReferenceDocument built;
    return Save(built.document);
}

// Loads the given bytes and saves them again, in the state the reference was saved from.
Bytes Resave(const Bytes& bytes)
{
    AttachDataModelDLL();
    const auto loadAndSave = [&bytes] {
        ChemDoc loaded;
        Archive archive(bytes);
        loaded.Serialize(archive);
        return Save(loaded);
    };
    loadAndSave();
    AdvanceOIDs();
    return loadAndSave();
}

// Ends the process: 0 when the bytes are the expected ones.
[[noreturn]] void ExitComparing(const Bytes& saved, const Bytes& expected)
{
    if (saved == expected)
        std::exit(0);
    const auto difference = std::mismatch(saved.begin(), saved.end(), expected.begin(), expected.end());
    std::fprintf(stderr, "saved %zu bytes, expected %zu; first difference at offset %td\n", saved.size(),
                 expected.size(), difference.first - saved.begin());
    std::exit(1);
}

class DocumentFileBytesTest : public ::testing::Test {
protected:
    // The cases re-run this program for a fresh OID counter.
    void SetUp() override
    {
        m_style = GTEST_FLAG_GET(death_test_style);
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    void TearDown() override { GTEST_FLAG_SET(death_test_style, m_style); }

private:
    std::string m_style;
};

TEST_F(DocumentFileBytesTest, SavingGivesTheReferenceBytes)
{
    ASSERT_FALSE(ReadFile("document-0x40001.tvr").empty());
    EXPECT_EXIT(ExitComparing(SaveBuilt(), ReadFile("document-0x40001.tvr")), ::testing::ExitedWithCode(0), "");
}

TEST_F(DocumentFileBytesTest, LoadingAndSavingTheReferenceGivesTheSameBytes)
{
    ASSERT_FALSE(ReadFile("document-0x40001-resaved.tvr").empty());
    EXPECT_EXIT(ExitComparing(Resave(ReadFile("document-0x40001.tvr")), ReadFile("document-0x40001-resaved.tvr")),
                ::testing::ExitedWithCode(0), "");
}

} // namespace
