#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <utility>

#include <tavrel/chemistry/ConformationQueries.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/conformers/Conformation.h>
#include <tavrel/conformers/Conformer.h>
#include <tavrel/conformers/ConformerHelper.h>
#include <tavrel/conformers/ConformerModel.h>
#include <tavrel/conformers/ConformerModelToken.h>
#include <tavrel/document/DataModelLibrary.h>
#include "support/RecordStream.h"
#include "support/ScopedInstall.h"

using namespace Tavrel;

namespace {

Conformation* Marked(Object* reference)
{
    auto* const conformation = new Conformation(reference, false);
    conformation->SetProperty(ConformerHelper::conformerModelMarker, ConformerHelper::conformerModelMarker, 0);
    return conformation;
}

bool Alive(std::uint32_t oid)
{
    return Base::GetObjectA(oid) != nullptr;
}

class ConformerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

} // namespace

TEST_F(ConformerTest, ConformationsConformersAndModelsSurviveTheRecord)
{
    Object reference(nullptr);
    const auto* const flat = new Conformation(&reference, true);
    new Conformation(&reference, false);
    new Conformer(&reference);
    new ConformerModel(&reference);
    EXPECT_EQ(flat->GetParent(), &reference);
    for (int i = 0; i < reference.GetNumChildren(); ++i)
        EXPECT_EQ(reference.GetChild(i)->GetDisplayStyle(), 1) << i;

    const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(RecordStream::Save(reference));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), 4);
    const auto* const flatBack = DynCast<Conformation>(loaded->GetChild(0));
    const auto* const solidBack = DynCast<Conformation>(loaded->GetChild(1));
    ASSERT_NE(flatBack, nullptr);
    ASSERT_NE(solidBack, nullptr);
    EXPECT_TRUE(flatBack->Is2D());
    EXPECT_FALSE(solidBack->Is2D());
    EXPECT_TRUE(IsA<Conformer>(loaded->GetChild(2)));
    EXPECT_TRUE(IsA<ConformerModel>(loaded->GetChild(3)));
    for (int i = 0; i < loaded->GetNumChildren(); ++i)
        EXPECT_EQ(loaded->GetChild(i)->GetDisplayStyle(), 1) << i;
}

TEST_F(ConformerTest, DeletingConformationsTakesOnlyTheMarkedOnesWhenAsked)
{
    Object root(nullptr);
    Conformation* const marked = Marked(&root);
    const std::uint32_t nested = Marked(marked)->GetOID(); // goes with its parent first
    const std::uint32_t plainNested = (new Conformation(marked, true))->GetOID();
    const std::uint32_t plain = (new Conformation(new Object(&root), true))->GetOID();
    const std::uint32_t markedOID = marked->GetOID();

    ConformerHelper().DeleteAllConformationModels(root, true);
    EXPECT_FALSE(Alive(markedOID));
    EXPECT_FALSE(Alive(nested));
    EXPECT_FALSE(Alive(plainNested));
    EXPECT_TRUE(Alive(plain));

    ConformerHelper().DeleteAllConformationModels(root, false);
    EXPECT_FALSE(Alive(plain));
    EXPECT_EQ(root.GetNumChildren(), 1);
}

TEST_F(ConformerTest, ModelsBelowTheRootAreDeletedOnlyWhenAsked)
{
    ConformerModel top(nullptr);
    auto* const innerModel = new ConformerModel(&top);
    const std::uint32_t inner = innerModel->GetOID();
    const std::uint32_t innermost = (new ConformerModel(innerModel))->GetOID();
    ConformerHelper().ConvertAllConformerModels(top, false);
    EXPECT_TRUE(Alive(inner));
    EXPECT_TRUE(Alive(innermost));
    ConformerHelper().ConvertAllConformerModels(top, true);
    EXPECT_FALSE(Alive(inner));
    EXPECT_FALSE(Alive(innermost));
    EXPECT_EQ(top.GetNumChildren(), 0);
}

TEST_F(ConformerTest, PackagedTokensAreInactiveAndEveryTokenGoesAway)
{
    static ConformerModelToken* s_doomed = nullptr;
    Object root(nullptr);
    ConformerHelper().PackageConformerModels(root);
    ASSERT_EQ(root.GetNumChildren(), 1);
    auto* const packaged = DynCast<ConformerModelToken>(root.GetChild(0));
    ASSERT_NE(packaged, nullptr);
    EXPECT_FALSE(packaged->IsActive());
    EXPECT_TRUE(ConformerHelper().UnpackageConformerModels(root));
    EXPECT_EQ(root.GetNumChildren(), 0);

    // A token inside a token goes with the outer one; a listener deletes a third one in between.
    auto* const outer = new ConformerModelToken(&root);
    const std::uint32_t inner = (new ConformerModelToken(outer))->GetOID();
    s_doomed = new ConformerModelToken(&root);
    const std::uint32_t doomed = s_doomed->GetOID();
    outer->RegisterEvent(
        TreeNode::classType, TreeNode::EventDeleted, [](Event&) { delete std::exchange(s_doomed, nullptr); }, false,
        nullptr, nullptr);
    ConformerHelper().DeleteAllConformerModelTokens(root);
    EXPECT_FALSE(Alive(inner));
    EXPECT_FALSE(Alive(doomed));
    EXPECT_EQ(root.GetNumChildren(), 0);
}

TEST_F(ConformerTest, MoleculeIsTwoDimensionalThroughItsOwnTwoDimensionalConformations)
{
    Molecule molecule(nullptr);
    new Conformation(&molecule, false);
    // A 2-D conformation further down belongs to another object.
    new Conformation(new Object(&molecule), true);
    EXPECT_FALSE(molecule.Has2D());

    new Conformation(&molecule, true);
    EXPECT_TRUE(molecule.Has2D());
    molecule.Set2D(false);
    EXPECT_TRUE(molecule.Has2D());

    // The molecule knows conformations only through the answers installed for it.
    const ConformationQueries none;
    const test::ScopedInstall<ConformationQueries> installed(none);
    EXPECT_FALSE(molecule.Has2D());
}
