#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <tavrel/biopolymers/NucleicAcid.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/platform/Archive.h>
#include "NucleotideBuilder.h"
#include "ResidueBuilder.h"
#include "support/RecordStream.h"

using namespace Tavrel;
using ResidueBuilder::AddAtom;

namespace {

class NucleicAcidTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    NucleicAcid* NewResidue(const char* name)
    {
        Residue* const residue = ResidueBuilder::Pool().CreateResidue(m_chain, name);
        EXPECT_TRUE(IsA<NucleicAcid>(residue)) << name;
        return static_cast<NucleicAcid*>(residue);
    }

    Molecule m_molecule{nullptr};
    NucleicAcidChain* m_chain = new NucleicAcidChain(&m_molecule);
};

} // namespace

TEST_F(NucleicAcidTest, PurinesAndPyrimidinesInEveryFormButModifiedNucleotidesAreNeither)
{
    for (const char* name : {"ADE", "A", "A5'", "A3'", "GUA", "G", "G3'"}) {
        const NucleicAcid* residue = NewResidue(name);
        EXPECT_TRUE(residue->IsPurine()) << name;
        EXPECT_FALSE(residue->IsPyrimidine()) << name;
    }
    for (const char* name : {"THY", "T", "CYT", "C5'", "URD", "U", "U3'"}) {
        const NucleicAcid* residue = NewResidue(name);
        EXPECT_FALSE(residue->IsPurine()) << name;
        EXPECT_TRUE(residue->IsPyrimidine()) << name;
    }
    for (const char* name : {"1MA", "5MC", "2MG", "1MG", "H2U", "M2G", "5MU", "OMC", "OMG", "OMU", "PSU", "7MG"}) {
        const NucleicAcid* residue = NewResidue(name);
        EXPECT_FALSE(residue->IsPurine()) << name;
        EXPECT_FALSE(residue->IsPyrimidine()) << name;
    }
    const NucleicAcid untyped(nullptr);
    EXPECT_FALSE(untyped.IsPurine());
    EXPECT_FALSE(untyped.IsPyrimidine());
}

TEST_F(NucleicAcidTest, SugarAtomsAreFoundUnderEachSpellingThePrimeFirst)
{
    NucleicAcid* residue = NewResidue("C");
    EXPECT_EQ(residue->GetC3Prime(), nullptr);
    Atom3d* p = AddAtom(residue, "C3P", "C", Point3d());
    EXPECT_EQ(residue->GetC3Prime(), p);
    Atom3d* star = AddAtom(residue, "C3*", "C", Point3d());
    EXPECT_EQ(residue->GetC3Prime(), star);
    Atom3d* prime = AddAtom(residue, "C3'", "C", Point3d());
    EXPECT_EQ(residue->GetC3Prime(), prime);
    // Labels match exactly, in letter case too; a non-atom child of the label is not an atom.
    AddAtom(residue, "c1'", "C", Point3d());
    (new Object(residue))->SetLabel("C1'");
    EXPECT_EQ(residue->GetC1Prime(), nullptr);

    NucleicAcid* purine = NewResidue("G");
    NucleotideBuilder::AddAtoms(purine, 0, "*");
    const auto label = [](const Atom3d* atom) { return atom ? atom->GetLabel() : std::string("(none)"); };
    EXPECT_EQ(label(purine->GetC1Prime()), "C1*");
    EXPECT_EQ(label(purine->GetC2Prime()), "C2*");
    EXPECT_EQ(label(purine->GetC4Prime()), "C4*");
    EXPECT_EQ(label(purine->GetO4Prime()), "O4*");
    EXPECT_EQ(label(purine->GetC5Prime()), "C5*");
    EXPECT_EQ(label(purine->GetP()), "P");
    EXPECT_EQ(label(purine->GetN1()), "N1");
    EXPECT_EQ(label(purine->GetC2()), "C2");
    EXPECT_EQ(label(purine->GetN3()), "N3");
    EXPECT_EQ(label(purine->GetC4()), "C4");
    EXPECT_EQ(label(purine->GetC5()), "C5");
    EXPECT_EQ(label(purine->GetC6()), "C6");
    EXPECT_EQ(label(purine->GetN7()), "N7");
    EXPECT_EQ(label(purine->GetC8()), "C8");
    EXPECT_EQ(label(purine->GetN9()), "N9");
    EXPECT_EQ(purine->GetC1(), nullptr);
    AddAtom(purine, "C3", "C", Point3d());
    EXPECT_EQ(label(purine->GetC3()), "C3");
}

TEST_F(NucleicAcidTest, TheLabelAnchorIsNextToThePhosphateElseTheFirstChild)
{
    NucleicAcid* residue = NewResidue("A");
    EXPECT_EQ(residue->GetAnnotationXYZ(), Point3d(0.5, 0.3, 0.0));
    const Atom3d* first = AddAtom(residue, "C1'", "C", Point3d(1.0, 2.0, 3.0));
    EXPECT_EQ(residue->GetAnnotationXYZ(), first->GetAnnotationXYZ() + Point3d(0.5, 0.3, 0.0));
    const Atom3d* phosphate = AddAtom(residue, "P", "P", Point3d(-4.0, 0.0, 1.0));
    EXPECT_EQ(residue->GetAnnotationXYZ(), phosphate->GetAnnotationXYZ() + Point3d(0.5, 0.3, 0.0));
}

TEST_F(NucleicAcidTest, TheSchemeNameIsKeptAndOnlyANonEmptyOneRecolours)
{
    NucleicAcid* residue = NewResidue("A");
    std::vector<std::string> schemes{"Earlier"};
    // The classes of the ancestors below the root: the chain (the molecule is the root).
    EXPECT_EQ(residue->GetColorSchemes(schemes), 2);
    EXPECT_EQ(schemes, (std::vector<std::string>{"Earlier", m_chain->GetCommonName()}));

    residue->SetColor(Color::Green());
    residue->SetColorScheme("NucleicAcidChain");
    EXPECT_EQ(residue->GetColorScheme(), "NucleicAcidChain");
    // The chain is child 0 of the molecule: the first index colour.
    EXPECT_EQ(residue->GetColor(), Color::White());
    residue->SetColor(Color::Green());
    residue->SetColorScheme("");
    EXPECT_EQ(residue->GetColorScheme(), "");
    EXPECT_EQ(residue->GetColor(), Color::Green());
}

TEST_F(NucleicAcidTest, TheSchemeNameIsStoredWithoutBeingAppliedAndOldRecordsHaveNone)
{
    // Unparented, so that the record holds the residue alone.
    const std::unique_ptr<Residue> owned(ResidueBuilder::Pool().CreateResidue(nullptr, "G"));
    ASSERT_TRUE(IsA<NucleicAcid>(owned.get()));
    auto* const residue = static_cast<NucleicAcid*>(owned.get());
    residue->SetColorScheme("Molecule");
    residue->SetColor(Color::Blue());
    for (const RecordStream::Form form : {RecordStream::Form::Plain, RecordStream::Form::Compressed}) {
        const std::unique_ptr<NucleicAcid> loaded =
            RecordStream::LoadAs<NucleicAcid>(RecordStream::Save(*residue, form), form);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(loaded->GetColorScheme(), "Molecule");
        EXPECT_EQ(loaded->GetColor(), Color::Blue());
        EXPECT_EQ(loaded->GetPDBName(), "G");
    }
    const std::unique_ptr<Base> copy(residue->Copy());
    EXPECT_EQ(static_cast<NucleicAcid*>(copy.get())->GetColorScheme(), "Molecule");

    // A framework record of object schema 1 ends before the name.
    Archive out;
    out.WriteObject(residue);
    std::vector<std::uint8_t> bytes = out.GetBuffer();
    const std::string name = "XXNucleicAcid";
    const auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
    ASSERT_NE(at, bytes.end());
    at[-4] = 1;
    at[-3] = 0;
    bytes.resize(bytes.size() - 1 - std::string("Molecule").size());
    Archive in(bytes);
    const std::unique_ptr<Base> old(static_cast<Base*>(in.ReadObject(&NucleicAcid::GetThisClass())));
    ASSERT_TRUE(IsA<NucleicAcid>(old.get()));
    EXPECT_EQ(static_cast<NucleicAcid*>(old.get())->GetColorScheme(), "");
    EXPECT_EQ(static_cast<NucleicAcid*>(old.get())->GetType(), 22);
}
