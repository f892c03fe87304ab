#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/NucleicAcid.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/biopolymers/Residue.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/biopolymers/TemplateBonding.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/RuntimeMap.h>
#include <tavrel/platform/Archive.h>
#include "ResidueBuilder.h"
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

using RecordStream::Form;
using RecordStream::LoadAs;
using RecordStream::Save;

class ResidueTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

std::vector<std::string> Names(const ObjectProperty::Array& properties)
{
    std::vector<std::string> names;
    for (const ObjectProperty& property : properties)
        names.push_back(property.GetName());
    return names;
}

} // namespace

TEST_F(ResidueTest, AnswersFromItsTemplateOrItsDefaultsWithoutOne)
{
    Residue bare(nullptr);
    EXPECT_EQ(bare.GetResidueData(), nullptr);
    EXPECT_EQ(bare.GetType(), 0);
    EXPECT_EQ(bare.GetSymbol(), "");
    EXPECT_EQ(bare.GetSymbolAndID(), "");
    EXPECT_EQ(bare.GetLongName(), "");
    EXPECT_EQ(bare.GetPDBName(), "");
    EXPECT_EQ(bare.GetBondMethod(), &BondNull);
    EXPECT_EQ(bare.GetResidueColor(), Color::White());
    EXPECT_EQ(bare.GetResiduepKa(), 0.0f);
    EXPECT_EQ(bare.GetRibbonSize(), 1.0f);

    Residue unknown(nullptr);
    unknown.SetType("XYZ");
    EXPECT_EQ(unknown.GetType(), 0);
    EXPECT_EQ(unknown.GetSymbol(), "X");
    EXPECT_EQ(unknown.GetLongName(), "Unknown");
    EXPECT_EQ(unknown.GetColor(), Color(125, 125, 125));
    unknown.SetType(static_cast<const char*>(nullptr));
    EXPECT_EQ(unknown.GetPDBName(), "UNK");

    Residue lysine(nullptr);
    lysine.SetType("LYS");
    lysine.SetID(42);
    EXPECT_EQ(lysine.GetSymbolAndID(), "K42");
    EXPECT_EQ(lysine.GetAbbreviation(), "Lys");
    EXPECT_EQ(lysine.GetResiduepKa(), 10.5f);
    EXPECT_EQ(lysine.GetHydrophobicity(), -3.9f);
    EXPECT_EQ(lysine.GetColor(), Color(20, 60, 195));

    // Typing by number takes the first record of the type and leaves the colour.
    lysine.SetColor(Color::Blue());
    lysine.SetType(static_cast<ResidueType>(21));
    EXPECT_EQ(lysine.GetPDBName(), "A5'");
    EXPECT_EQ(lysine.GetColor(), Color::Blue());
    lysine.SetDefaultColor();
    EXPECT_EQ(lysine.GetColor(), Color::Red());
}

TEST_F(ResidueTest, TextInterfaceReadsTheTemplateAndSetsOnlyTheRibbonSize)
{
    Residue residue(nullptr);
    residue.SetType("ALA");
    residue.SetID(7);
    EXPECT_EQ(residue.GetPropertyAsString("type"), "Alanine");
    EXPECT_EQ(residue.GetPropertyAsString("1-Letter"), "A");
    EXPECT_EQ(residue.GetPropertyAsString("1-letter & id#"), "A7");
    EXPECT_EQ(residue.GetPropertyAsString("3-Letter"), "Ala");
    EXPECT_EQ(residue.GetPropertyAsString("Hydrophobicity"), "1.800");
    EXPECT_EQ(residue.GetPropertyAsString("Ribbon Size"), "1.00");
    EXPECT_EQ(residue.GetPropertyAsString(""), "");

    EXPECT_TRUE(residue.SetPropertyFromString("ribbon size", " 2.5xyz"));
    EXPECT_EQ(residue.GetRibbonSize(), 2.5f);
    EXPECT_FALSE(residue.SetPropertyFromString("ribbon size", "1e39"));
    EXPECT_FALSE(residue.SetPropertyFromString("Ribbon Size", "abc"));
    EXPECT_EQ(residue.GetRibbonSize(), 2.5f);
    for (const char* name : {"Type", "1-Letter", "1-Letter & ID#", "3-Letter", "Hydrophobicity", ""})
        EXPECT_FALSE(residue.SetPropertyFromString(name, "G")) << name;
    EXPECT_EQ(residue.GetLongName(), "Alanine");

    const ObjectProperty size = residue.GetPropertyAsObjectProperty("RIBBON SIZE");
    EXPECT_EQ(size.GetAccess(), 3);
    EXPECT_EQ(size.GetType(), "float");
    const ObjectProperty type = residue.GetPropertyAsObjectProperty("Type");
    EXPECT_EQ(type.GetAccess(), 1);
    EXPECT_EQ(type.GetStringValue(), "Alanine");
    EXPECT_EQ(residue.GetPropertyAsObjectProperty("Hydrophobicity").GetType(), "float");

    ObjectProperty::Array properties;
    const std::int32_t count = residue.GetProperties(properties);
    ObjectProperty::Array subUnit;
    SubUnit(nullptr).GetProperties(subUnit);
    ASSERT_EQ(count, static_cast<std::int32_t>(subUnit.size()) + 6);
    const std::vector<std::string> names = Names(properties);
    EXPECT_EQ(
        std::vector<std::string>(names.end() - 6, names.end()),
        (std::vector<std::string>{"Type", "1-Letter", "1-Letter & ID#", "3-Letter", "Hydrophobicity", "Ribbon Size"}));
}

TEST_F(ResidueTest, InsertionCodeIsAUserPropertyPresentOnlyWhenNotEmpty)
{
    Residue residue(nullptr);
    EXPECT_EQ(residue.GetInsertionCode(), "");
    residue.SetInsertionCode("A");
    EXPECT_TRUE(residue.HasProperty("_IC"));
    EXPECT_EQ(residue.GetInsertionCode(), "A");
    residue.SetInsertionCode("");
    EXPECT_FALSE(residue.HasProperty("_IC"));
    EXPECT_EQ(residue.GetInsertionCode(), "");
}

TEST_F(ResidueTest, NameTypeRibbonSizeAndInsertionCodeSurviveCopySaveAndLoad)
{
    AminoAcidChain protein(nullptr);
    Residue* alanine = ResidueBuilder::Pool().CreateResidue(&protein, "ALA");
    alanine->SetRibbonSize(1.5f);
    alanine->SetInsertionCode("B");
    alanine->SetColor(Color::Green());
    NucleicAcidChain strand(nullptr);
    Residue* adenosine = ResidueBuilder::Pool().CreateResidue(&strand, "ADE");
    Residue* fivePrime = ResidueBuilder::Pool().CreateResidue(&strand, "A5'");
    Residue* letter = ResidueBuilder::Pool().CreateNucleicAcid(&strand, "g");

    const std::unique_ptr<Object> copy(alanine->NodeCopy());
    const auto* copied = DynCast<Residue>(copy.get());
    ASSERT_NE(copied, nullptr);
    EXPECT_TRUE(IsA<AminoAcid>(copied));
    EXPECT_EQ(copied->GetResidueData(), alanine->GetResidueData());
    EXPECT_EQ(copied->GetRibbonSize(), 1.5f);

    for (const Form form : {Form::Compressed, Form::Plain}) {
        const std::unique_ptr<AminoAcidChain> loaded = LoadAs<AminoAcidChain>(Save(protein, form), form);
        ASSERT_NE(loaded, nullptr);
        const auto* residue = DynCast<AminoAcid>(loaded->GetChild(0));
        ASSERT_NE(residue, nullptr);
        EXPECT_EQ(residue->GetPDBName(), "ALA");
        EXPECT_EQ(residue->GetRibbonSize(), 1.5f);
        EXPECT_EQ(residue->GetInsertionCode(), "B");
        EXPECT_EQ(residue->GetColor(), Color::Green());

        const std::unique_ptr<NucleicAcidChain> nucleic = LoadAs<NucleicAcidChain>(Save(strand, form), form);
        ASSERT_NE(nucleic, nullptr);
        ASSERT_EQ(nucleic->GetNumChildren(), 3);
        EXPECT_EQ(DynCast<NucleicAcid>(nucleic->GetChild(0))->GetPDBName(), "ADE");
        EXPECT_EQ(DynCast<NucleicAcid>(nucleic->GetChild(1))->GetPDBName(), "A5'");
        EXPECT_EQ(DynCast<NucleicAcid>(nucleic->GetChild(2))->GetPDBName(), "G");
    }
    EXPECT_EQ(adenosine->GetType(), fivePrime->GetType());
    EXPECT_EQ(letter->GetType(), 22);

    // The framework archive keeps the type alone.
    Archive out;
    out.WriteObject(adenosine);
    Archive in(out.GetBuffer());
    const std::unique_ptr<PersistentObject> read(in.ReadObject(&Residue::GetThisClass()));
    const auto* archived = static_cast<const Residue*>(read.get());
    EXPECT_EQ(archived->GetType(), 21);
    EXPECT_EQ(archived->GetPDBName(), "A5'");
    EXPECT_EQ(archived->GetColor(), Color::Red());
}

TEST_F(ResidueTest, AResidueWithoutATemplateLoadsWithoutOneAndTheUnknownResidueAsItself)
{
    AminoAcidChain protein(nullptr);
    new AminoAcid(&protein);
    ResidueBuilder::Pool().CreateResidue(&protein, "UNK");
    const auto check = [](const Object* chain) {
        ASSERT_NE(chain, nullptr);
        ASSERT_EQ(chain->GetNumChildren(), 2);
        EXPECT_EQ(static_cast<const Residue*>(chain->GetChild(0))->GetResidueData(), nullptr);
        EXPECT_EQ(static_cast<const Residue*>(chain->GetChild(0))->GetPropertyAsString("Type"), "");
        EXPECT_EQ(static_cast<const Residue*>(chain->GetChild(1))->GetPropertyAsString("Type"), "Unknown");
    };
    for (const Form form : {Form::Compressed, Form::Plain})
        check(LoadAs<AminoAcidChain>(Save(protein, form), form).get());
    check(RecordStream::ArchiveCopy<AminoAcidChain>(protein).get());
}

TEST_F(ResidueTest, ResidueAndChainClassesAreRegistered)
{
    for (const char* name : {"Residue", "AminoAcid", "NucleicAcid", "AminoAcidChain", "NucleicAcidChain"}) {
        const std::unique_ptr<PersistentObject> made(RuntimeMap::CreateObject(name));
        ASSERT_NE(made, nullptr) << name;
        EXPECT_EQ(std::string("XX") + name, static_cast<Base*>(made.get())->GetClassNameA());
    }
    AminoAcid amino(nullptr);
    EXPECT_TRUE(IsA<Residue>(&amino));
    EXPECT_TRUE(IsA<SubUnit>(&amino));
    EXPECT_FALSE(IsA<NucleicAcid>(&amino));
    NucleicAcidChain chain(nullptr);
    EXPECT_TRUE(IsA<Chain>(&chain));
    EXPECT_FALSE(IsA<AminoAcidChain>(&chain));
}
