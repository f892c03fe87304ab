#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <tavrel/chemistry/Molecule.h>
#include <tavrel/conformers/Conformation.h>
#include <tavrel/conformers/ConformerHelper.h>
#include <tavrel/conformers/ConformerModelToken.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/foundation/TypedObjectSet.h>
#include <tavrel/monitors/FixedAtomConstraint.h>
#include <tavrel/monitors/HarmonicAtomRestraint.h>
#include <tavrel/platform/Archive.h>
#include "support/Alternates.h"
#include "support/DocumentFile.h"

using namespace Tavrel;

namespace {

using Bytes = std::vector<std::uint8_t>;

bool IsMarked(const Conformation* conformation)
{
    return conformation->HasProperty(ConformerHelper::conformerModelMarker);
}

// A document holding a molecule (a chain of four carbons) whose two middle atoms have alternates in
// two conformers, an ordinary Conformation and a 2-D one.
class ConformerDocumentTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    void TearDown() override { ChemDoc::SetConvertConformations(false); }

    ConformerDocumentTest()
    {
        m_molecule = new Molecule(m_document.GetTreeRoot());
        m_chain = test::MakeChain(m_molecule, 4);
        m_chain.atoms[1]->SetOccupancy(0.5f);
        m_ordinary = new Conformation(m_molecule, false);
        m_ordinary->SetPosition(3, Point3d(0.0, 0.0, 9.0));
        m_flat = new Conformation(m_molecule, true);
        m_model = test::MakeModel(m_molecule, {m_chain.atoms[1], m_chain.atoms[2]}, {m_chain.bonds[1]},
                                  {Point3d(0.0, 1.0, 0.0), Point3d(0.0, -1.0, 0.0)});
    }

    static Bytes Save(ChemDoc& document) { return DocumentFile::Save(document); }
    static void Load(ChemDoc& document, const Bytes& bytes) { DocumentFile::Load(document, bytes); }

    static Molecule& MoleculeOf(ChemDoc& document)
    {
        return *DynCast<Molecule>(document.GetTreeRoot()->GetChild(0));
    }

    // The model is back where it was, with its conformers, sites and alternate positions.
    void ExpectModelBack(Molecule& molecule)
    {
        ASSERT_EQ(molecule.GetNumChildren(), m_molecule->GetNumChildren());
        auto* const model = DynCast<ConformerModel>(molecule.GetChild(m_model->GetIndex()));
        ASSERT_NE(model, nullptr);
        // Packaged and put back, the objects keep their logical identifiers.
        EXPECT_EQ(model->GetLID(), m_model->GetLID());
        EXPECT_EQ(model->GetChild(1)->GetChild(0)->GetLID(), m_model->GetChild(1)->GetChild(0)->GetLID());
        ASSERT_EQ(model->GetConformerCount(), 2);
        ASSERT_EQ(model->GetAtomSetCount(), 2);
        ASSERT_EQ(model->GetBondSetCount(), 1);
        auto* const site = DynCast<Atom>(molecule.GetChild(m_chain.atoms[1]->GetIndex()));
        OrdCollection alternates;
        model->FindAlternateAtoms(site, alternates);
        ASSERT_EQ(alternates.GetSize(), 3);
        EXPECT_EQ(alternates.GetAt(0), site);
        EXPECT_EQ(static_cast<Atom*>(alternates.GetAt(1))->GetXYZ(), Point3d(1.5, 1.0, 0.0));
        EXPECT_EQ(static_cast<Atom*>(alternates.GetAt(2))->GetXYZ(), Point3d(1.5, -1.0, 0.0));
        EXPECT_FLOAT_EQ(static_cast<Atom*>(alternates.GetAt(1))->GetOccupancy(), 0.5f);
        EXPECT_EQ(Conformer::FindAtomConformer(site), model->GetReferenceConformer());
        EXPECT_TRUE(site->HasProperty(Conformation::alternatesMarker));
        // The model still keeps its sites consistent.
        site->SetLabel("CB");
        EXPECT_EQ(static_cast<Atom*>(alternates.GetAt(2))->Object::GetLabel(), "CB");
    }

    ChemDoc m_document;
    Molecule* m_molecule;
    test::Chain m_chain;
    Conformation* m_ordinary;
    Conformation* m_flat;
    ConformerModel* m_model;
};

} // namespace

TEST_F(ConformerDocumentTest, SavingWritesAPackagedCopyAndLeavesTheTreeAlone)
{
    const int children = m_molecule->GetNumChildren();
    const Bytes bytes = Save(m_document);
    EXPECT_EQ(m_model->GetParent(), m_molecule);
    EXPECT_EQ(m_molecule->GetNumChildren(), children);
    EXPECT_EQ(m_document.GetTreeRoot()->GetNumChildren(), 1);
    EXPECT_FALSE(m_chain.atoms[1]->HasProperty(Conformation::alternatesMarker));

    Archive archive(bytes);
    ASSERT_GT(ChemDoc::FindAndReadHeader(archive), 0);
    archive.Seek(32);
    std::unique_ptr<TreeRoot> saved;
    {
        CompressedPropertyArchive stream(archive);
        saved.reset(DynCast<TreeRoot>(Catalog::ReadProperties(stream)));
    }
    ASSERT_NE(saved, nullptr);
    ASSERT_EQ(saved->GetNumChildren(), 2);
    auto* const token = DynCast<ConformerModelToken>(saved->GetChild(1));
    ASSERT_NE(token, nullptr);
    EXPECT_FALSE(token->IsActive());
    // The model, its two conformers and their atoms and bonds.
    EXPECT_EQ(token->GetCount(), 1 + 2 * (1 + 2 + 1));
    const Object& molecule = *saved->GetChild(0);
    EXPECT_FALSE(molecule.HasDescendent(ConformerModel::classType));
    const std::vector<Conformation*> conformations = test::ChildrenOf<Conformation>(molecule);
    ASSERT_EQ(conformations.size(), 5u);
    EXPECT_EQ(std::count_if(conformations.begin(), conformations.end(), IsMarked), 3);
    // The reference conformer's values first.
    EXPECT_EQ(conformations[2]->GetPosition(1), Point3d(1.5, 0.0, 0.0));
    EXPECT_EQ(conformations[3]->GetPosition(1), Point3d(1.5, 1.0, 0.0));
    EXPECT_DOUBLE_EQ(conformations[3]->GetOccupancy(1), 0.5);
}

// A tree with conformer classes is saved from a copy: objects that copy only in some states, such
// as constraints without atoms, still reach the file.
TEST_F(ConformerDocumentTest, SavingFromACopyKeepsConstraintsWithoutAtoms)
{
    ClassAccess::New<FixedAtomConstraint>()->SetParent(m_document.GetTreeRoot());
    ClassAccess::New<HarmonicAtomRestraint>()->SetParent(m_document.GetTreeRoot());
    ChemDoc::SetConvertConformations(true);
    ChemDoc loaded;
    Load(loaded, Save(m_document));
    const TreeRoot& root = *loaded.GetTreeRoot();
    ASSERT_EQ(root.GetNumChildren(), 3);
    EXPECT_TRUE(IsA<FixedAtomConstraint>(root.GetChild(1)));
    EXPECT_TRUE(IsA<HarmonicAtomRestraint>(root.GetChild(2)));
    ExpectModelBack(MoleculeOf(loaded));
}

// The copy stores what the tree would: an ordered collection keeps its null entries, and an entry
// whose object is gone reads as null, each at its index.
TEST_F(ConformerDocumentTest, SavingFromACopyKeepsEveryIndexOfAnOrderedCollection)
{
    auto* const ordered = new OrdCollection();
    ordered->SetParent(m_document.GetTreeRoot());
    auto* const gone = new Object(m_document.GetTreeRoot());
    for (Object* entry : std::initializer_list<Object*>{m_chain.atoms[3], nullptr, gone, m_chain.atoms[0]})
        ordered->Add(entry);
    delete gone;
    ChemDoc loaded;
    Load(loaded, Save(m_document));
    const auto* const back = DynCast<OrdCollection>(loaded.GetTreeRoot()->GetChild(1));
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->GetSize(), 4);
    EXPECT_EQ(back->GetAt(0), MoleculeOf(loaded).GetChild(m_chain.atoms[3]->GetIndex()));
    EXPECT_EQ(back->GetAt(1), nullptr);
    EXPECT_EQ(back->GetAt(2), nullptr);
    EXPECT_EQ(back->GetAt(3), MoleculeOf(loaded).GetChild(m_chain.atoms[0]->GetIndex()));
}

TEST_F(ConformerDocumentTest, LoadingWithConversionPutsTheModelsBackAndKeepsOtherConformations)
{
    const Bytes bytes = Save(m_document);
    ChemDoc::SetConvertConformations(true);
    ChemDoc loaded;
    Load(loaded, bytes);
    Molecule& molecule = MoleculeOf(loaded);
    EXPECT_FALSE(loaded.GetTreeRoot()->HasDescendent(ConformerModelToken::classType));
    const std::vector<Conformation*> conformations = test::ChildrenOf<Conformation>(molecule);
    ASSERT_EQ(conformations.size(), 2u);
    EXPECT_FALSE(conformations[0]->Is2D());
    EXPECT_EQ(conformations[0]->GetPosition(3), Point3d(0.0, 0.0, 9.0));
    EXPECT_TRUE(conformations[1]->Is2D());
    ExpectModelBack(molecule);
}

// A file of this fixture written when the token's lists and each conformer's bond list were arrays of
// references.
TEST_F(ConformerDocumentTest, FilesHoldingTheListsAsArraysOfReferencesLoad)
{
    std::ifstream file(std::string(TAVREL_TEST_DATA_DIR) + "/conformer-lists-as-arrays.tvr", std::ios::binary);
    const Bytes bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(bytes.empty());
    ChemDoc::SetConvertConformations(true);
    ChemDoc loaded;
    Load(loaded, bytes);
    EXPECT_FALSE(loaded.GetTreeRoot()->HasDescendent(ConformerModelToken::classType));
    ExpectModelBack(MoleculeOf(loaded));
}

TEST_F(ConformerDocumentTest, LoadingWithoutConversionKeepsTheAlternatesAsConformationsThroughAnotherSave)
{
    ChemDoc unconverted;
    Load(unconverted, Save(m_document));
    Molecule& molecule = MoleculeOf(unconverted);
    EXPECT_FALSE(molecule.HasDescendent(ConformerModel::classType));
    EXPECT_FALSE(unconverted.GetTreeRoot()->HasDescendent(ConformerModelToken::classType));
    std::vector<Conformation*> conformations = test::ChildrenOf<Conformation>(molecule);
    ASSERT_EQ(conformations.size(), 5u);
    EXPECT_EQ(std::count_if(conformations.begin(), conformations.end(), IsMarked), 0);

    // Saved again and loaded with conversion on: no model comes back, so nothing is deleted.
    const Bytes again = Save(unconverted);
    ChemDoc::SetConvertConformations(true);
    ChemDoc converted;
    Load(converted, again);
    conformations = test::ChildrenOf<Conformation>(MoleculeOf(converted));
    ASSERT_EQ(conformations.size(), 5u);
    EXPECT_EQ(conformations[3]->GetPosition(1), Point3d(1.5, 1.0, 0.0));
    EXPECT_EQ(conformations[4]->GetPosition(2), Point3d(3.0, -1.0, 0.0));
}

TEST_F(ConformerDocumentTest, ATreeWithoutConformerClassesIsNotTouchedAndLostModelsComeBackFromTheirMarks)
{
    delete m_model;
    const Bytes plain = Save(m_document);
    ChemDoc::SetConvertConformations(true);
    ChemDoc loaded;
    Load(loaded, plain);
    EXPECT_FALSE(loaded.GetTreeRoot()->HasDescendent(ConformerModelToken::classType));
    EXPECT_EQ(test::ChildrenOf<Conformation>(MoleculeOf(loaded)).size(), 2u);

    // An empty token lost nothing: a marked Conformation without its model stays as it is.
    auto* const marked = new Conformation(m_molecule, false);
    marked->SetProperty(ConformerHelper::conformerModelMarker, ConformerHelper::conformerModelMarker, 0);
    marked->SetPosition(1, Point3d(1.5, 2.0, 0.0));
    m_chain.atoms[1]->SetProperty(Conformation::alternatesMarker, Conformation::alternatesMarker, 0);
    auto* const empty = new ConformerModelToken(m_document.GetTreeRoot());
    ChemDoc kept;
    Load(kept, Save(m_document));
    EXPECT_EQ(test::ChildrenOf<Conformation>(MoleculeOf(kept)).size(), 3u);
    EXPECT_TRUE(test::ChildrenOf<ConformerModel>(MoleculeOf(kept)).empty());
    delete empty;

    // A token whose objects cannot go back (their parent is gone): the marked Conformations become
    // a model again, the others stay as they are.
    auto* const holder = new Object(m_document.GetTreeRoot());
    test::MakeModel(holder, {m_chain.atoms[2]}, {}, {Point3d(0.0, 5.0, 0.0)});
    auto* const token = new ConformerModelToken(m_document.GetTreeRoot());
    token->PackageConformerObjects(*m_document.GetTreeRoot());
    token->Deactivate();
    delete holder;
    ChemDoc restored;
    Load(restored, Save(m_document));
    Molecule& molecule = MoleculeOf(restored);
    const std::vector<Conformation*> conformations = test::ChildrenOf<Conformation>(molecule);
    ASSERT_EQ(conformations.size(), 2u);
    EXPECT_TRUE(conformations[1]->Is2D());
    const std::vector<ConformerModel*> models = test::ChildrenOf<ConformerModel>(molecule);
    ASSERT_EQ(models.size(), 1u);
    ASSERT_EQ(models[0]->GetConformerCount(), 1);
    OrdCollection alternates;
    models[0]->FindAlternateAtoms(DynCast<Atom>(molecule.GetChild(m_chain.atoms[1]->GetIndex())), alternates);
    ASSERT_EQ(alternates.GetSize(), 2);
    EXPECT_EQ(static_cast<Atom*>(alternates.GetAt(1))->GetXYZ(), Point3d(1.5, 2.0, 0.0));
    EXPECT_EQ(restored.GetTreeRoot()->GetNumChildren(), 1);
}

TEST_F(ConformerDocumentTest, AMarkedConformationALoadKeptSurvivesTheNextSaveBesideAModel)
{
    delete m_model;
    auto* const marked = new Conformation(m_molecule, false);
    marked->SetProperty(ConformerHelper::conformerModelMarker, ConformerHelper::conformerModelMarker, 0);
    marked->SetPosition(1, Point3d(1.5, 2.0, 0.0));
    ChemDoc::SetConvertConformations(true);
    ChemDoc first;
    Load(first, Save(m_document));
    ASSERT_EQ(test::ChildrenOf<Conformation>(MoleculeOf(first)).size(), 3u);

    // A model of the same molecule made after that load is saved beside it: the next load puts the
    // model back and keeps all three Conformations.
    Molecule& molecule = MoleculeOf(first);
    test::MakeModel(&molecule, {DynCast<Atom3d>(molecule.GetChild(m_chain.atoms[2]->GetIndex()))}, {},
                    {Point3d(0.0, 5.0, 0.0)});
    ChemDoc second;
    Load(second, Save(first));
    EXPECT_EQ(test::ChildrenOf<Conformation>(MoleculeOf(second)).size(), 3u);
    EXPECT_EQ(test::ChildrenOf<ConformerModel>(MoleculeOf(second)).size(), 1u);
}
