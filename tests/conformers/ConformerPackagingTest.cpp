#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Molecule.h>
#include <tavrel/conformers/Conformation.h>
#include <tavrel/conformers/ConformerHelper.h>
#include <tavrel/conformers/ConformerModel.h>
#include <tavrel/conformers/ConformerModelToken.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include "support/Alternates.h"
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

bool Alive(std::uint32_t oid)
{
    return Base::GetObjectA(oid) != nullptr;
}

// Every node below root with its path of child indexes.
std::vector<std::pair<const Object*, std::string>> Places(Object& root)
{
    std::vector<std::pair<const Object*, std::string>> places;
    DescendentIterator walk(&root, false);
    while (const Object* const node = walk.GetNext())
        places.emplace_back(node, node->GetInvariant());
    return places;
}

// In a plain record, the property of this name that is one reference to an inline record: the
// record's most-derived class; empty when the property is an array or not such a reference.
std::string InlineClassOf(const RecordStream::Bytes& bytes, const std::string& name)
{
    std::string stored(1, static_cast<char>(name.size()));
    stored += name;
    const auto found = std::search(bytes.begin(), bytes.end(), stored.begin(), stored.end());
    if (found == bytes.end())
        return {};
    std::size_t at = static_cast<std::size_t>(found - bytes.begin()) + stored.size();
    const auto int32 = [&bytes, &at] {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= std::uint32_t{bytes.at(at++)} << (8 * i);
        return value;
    };
    // Array flag and type code 0, then a reference that is not null and whose record follows.
    if (int32() != 0 || int32() != 0 || bytes.at(at++) != 0 || bytes.at(at++) != 0)
        return {};
    at += bytes.at(at) == 0xFF ? 5 : 1; // the record's OID
    if (int32() == 0)
        return {};
    const std::size_t length = bytes.at(at++);
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
}

class ConformerPackagingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

} // namespace

// ---- The token

TEST_F(ConformerPackagingTest, ATokenPutsEveryObjectBackAtItsPlace)
{
    Object root(nullptr);
    auto* const molecule = new Molecule(&root);
    const test::Chain chain = test::MakeChain(molecule, 5);
    ConformerModel* const model = test::MakeModel(molecule, {chain.atoms[1], chain.atoms[3]}, {},
                                                  {Point3d(0.0, 1.0, 0.0), Point3d(0.0, 2.0, 0.0)});
    // Objects after the model, and an ordinary bond among a conformer's bonds.
    new Object(molecule);
    Conformer* const conformer = test::ChildrenOf<Conformer>(*model)[0];
    Bond* const ordinary = chain.atoms[0]->MakeBond(chain.atoms[4], Bond::Single);
    conformer->AddConformerBond(ordinary);
    const auto before = Places(root);
    const int moleculeChildren = molecule->GetNumChildren();

    auto* const token = new ConformerModelToken(&root);
    token->PackageConformerObjects(root);
    // The model, two conformers and two alternates each; the ordinary bond stays.
    EXPECT_EQ(token->GetCount(), 7);
    EXPECT_EQ(model->GetParent(), nullptr);
    EXPECT_EQ(molecule->GetNumChildren(), moleculeChildren - 1);
    EXPECT_EQ(ordinary->GetParent(), molecule);
    EXPECT_EQ(conformer->GetNumChildren(), 0);

    EXPECT_EQ(token->UnpackageConformerObjects(), 7);
    EXPECT_EQ(token->GetCount(), 0);
    delete token;
    EXPECT_EQ(Places(root), before);
    EXPECT_EQ(model->GetParent(), molecule);
}

namespace {

struct Meddler {
    std::uint32_t doomed;
    Object* parent;
};

// On the first change it hears: deletes the doomed object and adds a plain child to the parent.
void DeleteOneAndAddOne(Event& event)
{
    auto* const meddler = static_cast<Meddler*>(event.GetData());
    if (meddler->doomed == 0)
        return;
    delete Object::GetObjectA(std::exchange(meddler->doomed, 0u));
    new Object(meddler->parent);
}

} // namespace

TEST_F(ConformerPackagingTest, ObjectsGoBackInTurnWhenAListenerDeletesOneAndAddsAChild)
{
    Object root(nullptr);
    auto* const molecule = new Molecule(&root);
    const test::Chain chain = test::MakeChain(molecule, 5);
    ConformerModel* const model = test::MakeModel(molecule, {chain.atoms[0], chain.atoms[2], chain.atoms[4]}, {},
                                                  {Point3d(0.0, 1.0, 0.0), Point3d(0.0, 2.0, 0.0)});
    Conformer* const conformer = test::ChildrenOf<Conformer>(*model)[0];
    const std::vector<Object*> alternates = test::ChildrenOf<Object>(*conformer);
    ASSERT_EQ(alternates.size(), 3u);

    auto* const token = new ConformerModelToken(&root);
    token->PackageConformerObjects(root);
    ASSERT_EQ(conformer->GetNumChildren(), 0);
    Meddler meddler{alternates[1]->GetOID(), conformer};
    conformer->RegisterEvent(TreeNode::classType, TreeNode::EventChildrenChanged, DeleteOneAndAddOne, false, &meddler,
                             nullptr);
    EXPECT_GT(token->UnpackageConformerObjects(), 0);
    delete token;

    EXPECT_EQ(meddler.doomed, 0u);
    const std::vector<Object*> children = test::ChildrenOf<Object>(*conformer);
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(children[0], alternates[0]);
    EXPECT_EQ(children[1], alternates[2]);
    EXPECT_FALSE(IsA<ConformerAtom>(children[2]));
    EXPECT_EQ(model->GetParent(), molecule);
}

TEST_F(ConformerPackagingTest, PackagingATreeWithoutModelsHoldsNothing)
{
    Object root(nullptr);
    auto* const molecule = new Molecule(&root);
    test::MakeChain(molecule, 3);
    new Conformation(molecule, false);
    const auto before = Places(root);
    auto* const token = new ConformerModelToken(&root);
    token->PackageConformerObjects(root);
    EXPECT_EQ(token->GetCount(), 0);
    EXPECT_EQ(token->UnpackageConformerObjects(), 0);
    delete token;
    EXPECT_EQ(Places(root), before);
}

TEST_F(ConformerPackagingTest, DeletingATokenDeletesWhatItHoldsOnceAndLeavesTheStructure)
{
    Object root(nullptr);
    auto* const molecule = new Molecule(&root);
    const test::Chain chain = test::MakeChain(molecule, 3);
    ConformerModel* const model = test::MakeModel(molecule, {chain.atoms[1]}, {}, {Point3d(0.0, 1.0, 0.0)});
    const std::uint32_t modelOID = model->GetOID();
    const std::uint32_t alternate = test::ChildrenOf<Conformer>(*model)[0]->GetChild(0)->GetOID();
    auto* const token = new ConformerModelToken(&root);
    token->PackageConformerObjects(root);
    delete token;
    EXPECT_FALSE(Alive(modelOID));
    EXPECT_FALSE(Alive(alternate));
    EXPECT_EQ(molecule->GetNumChildren(Atom::classType), 3);
    EXPECT_EQ(chain.atoms[1]->GetConformerIndex(), -1);
}

TEST_F(ConformerPackagingTest, AStoredTokenOwnsWhatItHoldsThroughTheLoadsCleanUp)
{
    Object root(nullptr);
    auto* const molecule = new Molecule(&root);
    const test::Chain chain = test::MakeChain(molecule, 3);
    test::MakeModel(molecule, {chain.atoms[1]}, {}, {Point3d(0.0, 1.0, 0.0)});
    auto* const token = new ConformerModelToken(&root);
    token->PackageConformerObjects(root);
    const RecordStream::Bytes bytes = RecordStream::Save(root);

    const std::uint32_t lastBefore = Base::GetLastOID();
    const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(bytes);
    ASSERT_NE(loaded, nullptr);
    TreeNode::DeleteParentlessSince(lastBefore, Base::GetLastOID(), loaded.get());
    auto* const loadedToken = DynCast<ConformerModelToken>(loaded->GetChild(1));
    ASSERT_NE(loadedToken, nullptr);
    ASSERT_EQ(loadedToken->GetCount(), 3);
    for (int i = 0; i < loadedToken->GetCount(); ++i)
        EXPECT_NE(loadedToken->GetObjectAt(i), nullptr) << i;
    EXPECT_EQ(loadedToken->UnpackageConformerObjects(), 3);
    auto* const model = DynCast<ConformerModel>(loaded->GetChild(0)->GetChild(molecule->GetNumChildren()));
    ASSERT_NE(model, nullptr);
    ASSERT_NE(model->GetReferenceConformer(), nullptr);
    OrdCollection alternates;
    model->FindAlternateAtoms(static_cast<Atom*>(loaded->GetChild(0)->GetChild(chain.atoms[1]->GetIndex())), alternates);
    EXPECT_EQ(alternates.GetSize(), 2);
}

// Each of the token's lists is one reference to an ordered collection's record, and each conformer's
// bonds one reference to a set's; what they hold comes back.
TEST_F(ConformerPackagingTest, StoredListsAreRecordsOfCollections)
{
    Object root(nullptr);
    auto* const molecule = new Molecule(&root);
    const test::Chain chain = test::MakeChain(molecule, 3);
    test::MakeModel(molecule, {chain.atoms[1], chain.atoms[2]}, {chain.bonds[1]}, {Point3d(0.0, 1.0, 0.0)});
    auto* const token = new ConformerModelToken(&root);
    token->PackageConformerObjects(root);
    const RecordStream::Bytes plain = RecordStream::Save(*token, RecordStream::Form::Plain);
    for (const char* const list : {"Object List", "Parent List", "Sibling List"})
        EXPECT_EQ(InlineClassOf(plain, list), "OrdCollection") << list;
    EXPECT_EQ(InlineClassOf(plain, "Conformer Bond List"), "SetCollection");

    for (const RecordStream::Form form : {RecordStream::Form::Plain, RecordStream::Form::Compressed}) {
        const std::uint32_t lastBefore = Base::GetLastOID();
        const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(RecordStream::Save(root, form), form);
        ASSERT_NE(loaded, nullptr);
        // The collections read for the lists are gone already; the model's own sets stay with it.
        for (std::uint32_t oid = lastBefore + 1; oid <= Base::GetLastOID(); ++oid) {
            const auto* const collection = DynCast<BaseCollection>(Base::GetObjectA(oid));
            EXPECT_TRUE(!collection || collection->HasOwner()) << oid;
        }
        auto* const loadedToken = DynCast<ConformerModelToken>(loaded->GetChild(1));
        ASSERT_NE(loadedToken, nullptr);
        ASSERT_EQ(loadedToken->GetCount(), token->GetCount());
        EXPECT_EQ(loadedToken->UnpackageConformerObjects(), token->GetCount());
        Object* const loadedMolecule = loaded->GetChild(0);
        auto* const model = DynCast<ConformerModel>(loadedMolecule->GetChild(loadedMolecule->GetNumChildren() - 1));
        ASSERT_NE(model, nullptr);
        ASSERT_EQ(model->GetBondSetCount(), 1);
        OrdCollection bonds;
        model->FindAlternateBonds(static_cast<Bond*>(loadedMolecule->GetChild(chain.bonds[1]->GetIndex())), bonds);
        EXPECT_EQ(bonds.GetSize(), 2);
    }
}

TEST_F(ConformerPackagingTest, ModelsAndTokensAreFoundBelowTheirRootInTreeOrderCopiesIncluded)
{
    Object root(nullptr);
    auto* const first = new Molecule(&root);
    auto* const second = new Molecule(&root);
    const test::Chain later = test::MakeChain(second, 2);
    auto* const residue = new Object(first);
    const test::Chain inner = test::MakeChain(residue, 2);
    const test::Chain outer = test::MakeChain(first, 2);
    // Made out of tree order; a model in another tree is never found.
    ConformerModel* const last = test::MakeModel(second, {later.atoms[0]}, {}, {Point3d(0.0, 1.0, 0.0)});
    ConformerModel* const middle = test::MakeModel(first, {outer.atoms[0]}, {}, {Point3d(0.0, 1.0, 0.0)});
    ConformerModel* const top = test::MakeModel(residue, {inner.atoms[1]}, {}, {Point3d(0.0, 1.0, 0.0)});
    Object elsewhere(nullptr);
    const test::Chain stray = test::MakeChain(&elsewhere, 1);
    test::MakeModel(&elsewhere, {stray.atoms[0]}, {}, {Point3d(0.0, 1.0, 0.0)});

    using Models = std::vector<ConformerModel*>;
    EXPECT_EQ(ConformerModel::FindBelow(root, false), (Models{top, middle, last}));
    EXPECT_EQ(ConformerModel::FindBelow(*first, true), (Models{top, middle}));
    EXPECT_EQ(ConformerModel::FindBelow(*top, true), Models{top});
    EXPECT_TRUE(ConformerModel::FindBelow(*top, false).empty());

    auto* const token = new ConformerModelToken(second);
    new ConformerModelToken(&elsewhere);
    EXPECT_EQ(ConformerModelToken::FindBelow(root, false), std::vector<ConformerModelToken*>{token});

    // A copy's models and tokens are its own; a deleted model is gone.
    const std::unique_ptr<TreeNode> copy(root.TreeCopy());
    const Models copied = ConformerModel::FindBelow(static_cast<Object&>(*copy), false);
    ASSERT_EQ(copied.size(), 3u);
    EXPECT_EQ(copied[0]->GetParent()->GetInvariant(), residue->GetInvariant());
    EXPECT_NE(copied[0], top);
    EXPECT_EQ(ConformerModelToken::FindBelow(static_cast<Object&>(*copy), false).size(), 1u);
    delete middle;
    EXPECT_EQ(ConformerModel::FindBelow(root, false), (Models{top, last}));
}

// ---- Conversion

TEST_F(ConformerPackagingTest, AModelBecomesOneMarkedConformationPerConformerUnderItsSitesAncestor)
{
    Object root(nullptr);
    auto* const molecule = new Molecule(&root);
    auto* const residue = new Object(molecule);
    const test::Chain chain = test::MakeChain(residue, 3);
    ConformerModel* const model = test::MakeModel(molecule, {chain.atoms[0], chain.atoms[2]}, {},
                                                  {Point3d(0.0, 1.0, 0.0), Point3d(0.0, 2.0, 0.0)});
    ConformerHelper().ConvertConformerModel(model, false);
    const std::vector<Conformation*> conformations = test::ChildrenOf<Conformation>(*residue);
    ASSERT_EQ(conformations.size(), 3u);
    for (const Conformation* const conformation : conformations)
        EXPECT_TRUE(conformation->HasProperty(ConformerHelper::conformerModelMarker));
    EXPECT_EQ(conformations[0]->GetPosition(chain.atoms[2]), Point3d(3.0, 0.0, 0.0));
    EXPECT_EQ(conformations[2]->GetPosition(chain.atoms[2]), Point3d(3.0, 2.0, 0.0));
    EXPECT_EQ(conformations[2]->GetPosition(chain.atoms[1]), Point3d(1.5, 0.0, 0.0));
    EXPECT_TRUE(chain.atoms[0]->HasProperty(Conformation::alternatesMarker));
    EXPECT_FALSE(chain.atoms[1]->HasProperty(Conformation::alternatesMarker));

    // A single site: under its atom's parent. With deleteAfter the model goes, the atoms stay.
    Object other(nullptr);
    auto* const holder = new Object(&other);
    const test::Chain single = test::MakeChain(holder, 2);
    ConformerModel* const lone = test::MakeModel(&other, {single.atoms[1]}, {}, {Point3d(1.0, 0.0, 0.0)});
    ConformerHelper().ConvertConformerModel(lone->GetReferenceConformer(), true);
    EXPECT_EQ(test::ChildrenOf<Conformation>(*holder).size(), 2u);
    EXPECT_TRUE(test::ChildrenOf<ConformerModel>(other).empty());
    EXPECT_EQ(holder->GetNumChildren(Atom::classType), 2);
}

TEST_F(ConformerPackagingTest, ConformationsOfOneReferenceBecomeOneModelAndGoAfterwards)
{
    Object root(nullptr);
    auto* const first = new Molecule(&root);
    const test::Chain chain = test::MakeChain(first, 4);
    auto* const second = new Molecule(&root);
    const test::Chain other = test::MakeChain(second, 2, Point3d(0.0, 5.0, 0.0));
    auto* const plain = new Molecule(&root);
    test::MakeChain(plain, 2, Point3d(0.0, 9.0, 0.0));
    for (Atom3d* const atom : {chain.atoms[1], chain.atoms[2], other.atoms[0]})
        atom->SetProperty(Conformation::alternatesMarker, Conformation::alternatesMarker, 0);
    for (const double y : {1.0, 2.0}) {
        auto* const conformation = new Conformation(first, false);
        conformation->SetLabel(y > 1.5 ? "B" : "A");
        conformation->SetPosition(chain.atoms[2], Point3d(3.0, y, 0.0));
        conformation->SetProperty("_SEGID_2", y > 1.5 ? "" : "S1", 0);
    }
    new Conformation(second, false);
    const std::uint32_t unconverted = (new Conformation(plain, false))->GetOID();

    ConformerHelper().ConvertAllConformationModels(root, true);
    const std::vector<ConformerModel*> models = test::ChildrenOf<ConformerModel>(*first);
    ASSERT_EQ(models.size(), 1u);
    ASSERT_EQ(test::ChildrenOf<ConformerModel>(*second).size(), 1u);
    EXPECT_TRUE(test::ChildrenOf<ConformerModel>(*plain).empty());
    EXPECT_TRUE(test::ChildrenOf<Conformation>(*first).empty());
    EXPECT_FALSE(Alive(unconverted));  // no alternates: deleted all the same
    const std::vector<Conformer*> conformers = test::ChildrenOf<Conformer>(*models[0]);
    ASSERT_EQ(conformers.size(), 2u);
    EXPECT_EQ(conformers[0]->GetLabel(), "A");
    // Sites B and C with their bonds A-B, B-C and C-D.
    EXPECT_EQ(models[0]->GetAtomSetCount(), 2);
    EXPECT_EQ(models[0]->GetBondSetCount(), 3);
    Atom* const moved = conformers[1]->GetAlternateAtom(chain.atoms[2]);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->GetXYZ(), Point3d(3.0, 2.0, 0.0));
    EXPECT_EQ(moved->GetParent(), conformers[1]);
    EXPECT_FALSE(moved->HasProperty(ConformerHelper::segmentProperty));
    const char* segment = nullptr;
    EXPECT_TRUE(conformers[0]->GetAlternateAtom(chain.atoms[2])->GetProperty(ConformerHelper::segmentProperty, segment));
    EXPECT_STREQ(segment, "S1");
    EXPECT_TRUE(chain.atoms[0]->IsBonded(conformers[0]->GetAlternateAtom(chain.atoms[1])));
}

TEST_F(ConformerPackagingTest, AlternatesWithoutBondsMakeConformersOfAtomsAlone)
{
    Object root(nullptr);
    auto* const molecule = new Molecule(&root);
    auto* const ion = new Atom3d(molecule, "Na");
    ion->SetProperty(Conformation::alternatesMarker, Conformation::alternatesMarker, 0);
    auto* const conformation = new Conformation(molecule, false);
    conformation->SetPosition(ion, Point3d(0.5, 0.0, 0.0));
    conformation->SetOccupancy(ion, 0.4);
    ConformerHelper().ConvertConformationModel(conformation, false);
    const std::vector<ConformerModel*> models = test::ChildrenOf<ConformerModel>(*molecule);
    ASSERT_EQ(models.size(), 1u);
    ASSERT_EQ(models[0]->GetConformerCount(), 1);
    Atom* const alternate = test::ChildrenOf<Conformer>(*models[0])[0]->GetAlternateAtom(ion);
    ASSERT_NE(alternate, nullptr);
    EXPECT_EQ(alternate->GetXYZ(), Point3d(0.5, 0.0, 0.0));
    EXPECT_FLOAT_EQ(alternate->GetOccupancy(), 0.4f);
    EXPECT_TRUE(Alive(conformation->GetOID()));
}

// ---- Deleting

TEST_F(ConformerPackagingTest, DeletingConformationsTakesOnlyMarkedOnesWhoseModelsCameBack)
{
    Object root(nullptr);
    auto* const molecule = new Molecule(&root);
    const test::Chain chain = test::MakeChain(molecule, 3);
    auto* const lost = new Molecule(&root);
    test::MakeChain(lost, 2);
    const auto marked = [](Object* reference) {
        auto* const conformation = new Conformation(reference, false);
        conformation->SetProperty(ConformerHelper::conformerModelMarker, ConformerHelper::conformerModelMarker, 0);
        return conformation->GetOID();
    };
    const std::uint32_t served = marked(molecule);
    const std::uint32_t unserved = marked(lost);
    const std::uint32_t flat = (new Conformation(molecule, true))->GetOID();
    test::MakeModel(molecule, {chain.atoms[0], chain.atoms[2]}, {}, {Point3d(0.0, 1.0, 0.0)});

    ConformerHelper().DeleteAllConformationModels(root, true);
    EXPECT_FALSE(Alive(served));
    EXPECT_TRUE(Alive(unserved));
    EXPECT_TRUE(Alive(flat));

    // Tokens discarded: what is left of the models loses its mark.
    new ConformerModelToken(&root);
    ConformerHelper().DeleteAllConformerModelTokens(root);
    EXPECT_TRUE(root.GetNumChildren(ConformerModelToken::classType) == 0);
    EXPECT_FALSE(static_cast<Object*>(Base::GetObjectA(unserved))->HasProperty(ConformerHelper::conformerModelMarker));

    ConformerHelper().DeleteAllConformationModels(root, false);
    EXPECT_FALSE(Alive(unserved));
    EXPECT_FALSE(Alive(flat));
}

TEST_F(ConformerPackagingTest, OnlyMarkedConformationsAtOrBelowTheRootGoWithTheirServedReference)
{
    Object root(nullptr);
    auto* const molecule = new Molecule(&root);
    const test::Chain chain = test::MakeChain(molecule, 3);
    // The model lies beside the molecule its sites are in.
    auto* const holder = new Object(&root);
    test::MakeModel(holder, {chain.atoms[0], chain.atoms[2]}, {}, {Point3d(0.0, 1.0, 0.0)});
    std::vector<std::uint32_t> marked;
    for (int i = 0; i < 2; ++i) {
        auto* const conformation = new Conformation(molecule, false);
        conformation->SetProperty(ConformerHelper::conformerModelMarker, ConformerHelper::conformerModelMarker, 0);
        marked.push_back(conformation->GetOID());
    }
    const std::uint32_t unmarked = (new Conformation(molecule, false))->GetOID();

    ConformerHelper().DeleteAllConformationModels(*holder, true);
    EXPECT_TRUE(Alive(marked[0]));
    ConformerHelper().DeleteAllConformationModels(*molecule, true);
    EXPECT_TRUE(Alive(marked[0]));  // the model is not below the molecule
    ConformerHelper().DeleteAllConformationModels(root, true);
    EXPECT_FALSE(Alive(marked[0]));
    EXPECT_FALSE(Alive(marked[1]));
    EXPECT_TRUE(Alive(unmarked));
}

TEST_F(ConformerPackagingTest, DeletingModelsKeepsTheStructure)
{
    Object root(nullptr);
    auto* const molecule = new Molecule(&root);
    const test::Chain chain = test::MakeChain(molecule, 3);
    test::MakeModel(molecule, {chain.atoms[0], chain.atoms[1]}, {chain.bonds[0]},
                    {Point3d(0.0, 1.0, 0.0), Point3d(0.0, 2.0, 0.0)});
    ConformerHelper().DeleteAllConformerModels(root);
    EXPECT_TRUE(test::ChildrenOf<ConformerModel>(*molecule).empty());
    EXPECT_EQ(molecule->GetNumChildren(Atom::classType), 3);
    EXPECT_EQ(molecule->GetNumChildren(Bond::classType), 2);
}

TEST_F(ConformerPackagingTest, UnpackagingFailsOnlyWhenTokensHeldObjectsAndNoneCameBack)
{
    Object root(nullptr);
    auto* const molecule = new Molecule(&root);
    const test::Chain chain = test::MakeChain(molecule, 3);
    EXPECT_TRUE(ConformerHelper().UnpackageConformerModels(root));
    new ConformerModelToken(&root);
    EXPECT_TRUE(ConformerHelper().UnpackageConformerModels(root));
    EXPECT_EQ(root.GetNumChildren(ConformerModelToken::classType), 0);

    auto* const holder = new Object(&root);
    const std::uint32_t lost = test::MakeModel(holder, {chain.atoms[0]}, {}, {Point3d(0.0, 1.0, 0.0)})->GetOID();
    ConformerHelper().PackageConformerModels(root);
    delete holder;
    EXPECT_FALSE(ConformerHelper().UnpackageConformerModels(root));
    EXPECT_FALSE(Alive(lost));
    EXPECT_EQ(root.GetNumChildren(ConformerModelToken::classType), 0);

    test::MakeModel(molecule, {chain.atoms[1]}, {}, {Point3d(0.0, 1.0, 0.0)});
    ConformerHelper().PackageConformerModels(root);
    auto* const token = DynCast<ConformerModelToken>(root.GetChild(root.GetNumChildren() - 1));
    ASSERT_NE(token, nullptr);
    EXPECT_FALSE(token->IsActive());
    EXPECT_TRUE(ConformerHelper().UnpackageConformerModels(root));
    EXPECT_EQ(test::ChildrenOf<ConformerModel>(*molecule).size(), 1u);
    EXPECT_EQ(root.GetNumChildren(ConformerModelToken::classType), 0);
}
