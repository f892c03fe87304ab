#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/DNASequence.h>
#include <tavrel/biopolymers/NucleicAcid.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/biopolymers/ProteinSequence.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/OrdCollection.h>
#include "ResidueBuilder.h"

using namespace Tavrel;

namespace {

class SequenceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // A protein chain of one residue per name under the parent.
    static std::vector<Residue*> AddChain(Object* parent, std::initializer_list<const char*> names)
    {
        auto* const chain = new AminoAcidChain(parent);
        std::vector<Residue*> residues;
        for (const char* name : names)
            residues.push_back(ResidueBuilder::Pool().CreateResidue(chain, name));
        return residues;
    }

    static std::vector<NucleicAcid*> AddStrand(Object* parent, const std::string& codes)
    {
        auto* const chain = new NucleicAcidChain(parent);
        std::vector<NucleicAcid*> residues;
        for (const char code : codes)
            residues.push_back(ResidueBuilder::Pool().CreateNucleicAcid(chain, std::string(1, code).c_str()));
        return residues;
    }

    static std::vector<std::string> Names(const ObjectProperty::Array& properties)
    {
        std::vector<std::string> names;
        for (const ObjectProperty& property : properties)
            names.push_back(property.GetName());
        return names;
    }

    Molecule m_molecule{nullptr};
};

} // namespace

TEST_F(SequenceTest, ChainsOfThreeAndTwoGiveFiveLettersAndResidueFourStartsTheSecondChain)
{
    const std::vector<Residue*> first = AddChain(&m_molecule, {"MET", "LYS", "TRP"});
    const std::vector<Residue*> second = AddChain(&m_molecule, {"GLY", "HIS"});
    auto* const sequence = new ProteinSequence(first[0]);

    EXPECT_EQ(sequence->GetSequence(), "MKWGH");
    EXPECT_EQ(sequence->GetNumberOfResidues(), 5);
    EXPECT_EQ(sequence->GetResidue(1), first[0]);
    EXPECT_EQ(sequence->GetResidue(3), first[2]);
    EXPECT_EQ(sequence->GetResidue(4), second[0]);
    EXPECT_EQ(sequence->GetResidue(5), second[1]);
    for (const std::int32_t outside : {0, -1, 6})
        EXPECT_EQ(sequence->GetResidue(outside), nullptr) << outside;

    OrdCollection residues;
    residues.Add(first[0]);
    EXPECT_EQ(sequence->GetResidues(residues), 5);
    ASSERT_EQ(residues.GetSize(), 6);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(residues.GetAt(i + 1), sequence->GetResidue(i + 1)) << i;

    // Nothing is kept: the answers follow the tree.
    delete first[1];
    EXPECT_EQ(sequence->GetPropertyAsString("Sequence"), "MWGH");
    EXPECT_EQ(sequence->GetResidue(3), second[0]);
}

TEST_F(SequenceTest, TheSequenceTheCountAndTheIndexCountDifferentResidues)
{
    // A chain holding an amino acid, a residue without a template, the unknown residue, a nucleotide
    // and, one level down, an amino acid inside a plain object; an amino acid outside any chain.
    auto* const chain = new AminoAcidChain(&m_molecule);
    Residue* const alanine = ResidueBuilder::Pool().CreateResidue(chain, "ALA");
    new Residue(chain);
    ResidueBuilder::Pool().CreateResidue(chain, "UNK");
    new NucleicAcid(chain);
    auto* const holder = new Object(chain);
    ResidueBuilder::Pool().CreateResidue(holder, "SER");
    ResidueBuilder::Pool().CreateResidue(&m_molecule, "CYS");
    const ProteinSequence sequence(&m_molecule);

    // Every Residue below the chain, a residue without a template as "X" (its symbol is empty).
    EXPECT_EQ(sequence.GetSequence(), "AXXXS");
    // Every AminoAcid below the molecule.
    EXPECT_EQ(sequence.GetNumberOfResidues(), 3);
    EXPECT_EQ(sequence.GetPropertyAsString("number of residues"), "3");
    // The AminoAcid children of the chains only.
    EXPECT_EQ(sequence.GetResidue(1), alanine);
    EXPECT_EQ(sequence.GetResidue(2), nullptr);
    OrdCollection residues;
    EXPECT_EQ(sequence.GetResidues(residues), 1);

    // A DNA sequence reads only the nucleotides of nucleic-acid chains, but counts and indexes every
    // nucleotide of the molecule in tree order.
    const std::vector<NucleicAcid*> strand = AddStrand(&m_molecule, "GATC");
    const DNASequence bases(&m_molecule);
    EXPECT_EQ(bases.GetSequence(), "GATC");
    EXPECT_EQ(bases.GetNumberOfResidues(), 5);
    EXPECT_EQ(bases.GetPropertyAsString("Number of Bases"), "5");
    EXPECT_TRUE(IsA<NucleicAcid>(bases.GetResidue(1)));
    EXPECT_EQ(bases.GetResidue(1)->GetParent(), chain);
    EXPECT_EQ(bases.GetResidue(2), strand[0]);
    EXPECT_EQ(bases.GetResidue(5), strand[3]);
    for (const std::int32_t outside : {0, -1, 6})
        EXPECT_EQ(bases.GetResidue(outside), nullptr) << outside;
}

TEST_F(SequenceTest, AChainInsideAnotherIsReadOnceAndALetterPerResidueVisited)
{
    const std::vector<NucleicAcid*> outer = AddStrand(&m_molecule, "AC");
    AddStrand(outer[0]->GetParent(), "GU");
    new NucleicAcid(static_cast<Object*>(outer[0]->GetParent()));
    const DNASequence bases(&m_molecule);
    EXPECT_EQ(bases.GetSequence(), "ACGUX");
    EXPECT_EQ(bases.GetNumberOfResidues(), 5);
}

TEST_F(SequenceTest, OutsideAMoleculeEverythingIsEmpty)
{
    auto* const chain = new AminoAcidChain(nullptr);
    ResidueBuilder::Pool().CreateResidue(chain, "ALA");
    auto* const sequence = new ProteinSequence(chain);
    EXPECT_EQ(sequence->GetPropertyAsString("Sequence"), "");
    EXPECT_EQ(sequence->GetPropertyAsString("Number of Residues"), "0");
    EXPECT_EQ(sequence->GetResidue(1), nullptr);
    OrdCollection none;
    EXPECT_EQ(sequence->GetResidues(none), 0);
    const auto* const bases = new DNASequence(chain);
    EXPECT_EQ(bases->GetSequence(), "");
    EXPECT_EQ(bases->GetPropertyAsString("Number of Bases"), "0");
    EXPECT_EQ(bases->GetResidue(1), nullptr);
    delete chain;
}

TEST_F(SequenceTest, TheTextPropertiesAreListedCountFirstAndCannotBeSet)
{
    AddChain(&m_molecule, {"ASP", "GLU"});
    AddStrand(&m_molecule, "TTA");
    ProteinSequence protein(&m_molecule);
    DNASequence bases(&m_molecule);

    // Object's names, "Parent" among them.
    ObjectProperty::Array object;
    Object(&m_molecule).GetProperties(object);
    ObjectProperty::Array listed;
    ASSERT_EQ(protein.GetProperties(listed), static_cast<std::int32_t>(object.size()) + 2);
    std::vector<std::string> names = Names(listed);
    EXPECT_EQ(std::vector<std::string>(names.end() - 2, names.end()),
              (std::vector<std::string>{"Number of Residues", "Sequence"}));
    listed.clear();
    ASSERT_EQ(bases.GetProperties(listed), static_cast<std::int32_t>(object.size()) + 2);
    names = Names(listed);
    EXPECT_EQ(std::vector<std::string>(names.end() - 2, names.end()),
              (std::vector<std::string>{"Number of Bases", "Sequence"}));

    const ObjectProperty text = protein.GetPropertyAsObjectProperty("SEQUENCE");
    EXPECT_EQ(text.GetStringValue(), "DE");
    EXPECT_EQ(text.GetAccess(), 1);
    EXPECT_EQ(bases.GetPropertyAsObjectProperty("number of bases").GetStringValue(), "3");
    EXPECT_EQ(bases.GetPropertyAsString("sequence"), "TTA");

    EXPECT_FALSE(bases.SetPropertyFromString("Sequence", "GGG"));
    EXPECT_FALSE(bases.SetPropertyFromString("", "GGG"));
    EXPECT_FALSE(protein.SetPropertyFromString("Sequence", "GGG"));
    EXPECT_FALSE(protein.SetPropertyFromString("Number of Residues", "9"));
    EXPECT_EQ(bases.GetSequence(), "TTA");
    EXPECT_EQ(protein.GetSequence(), "DE");
    // Other names reach the object level.
    EXPECT_TRUE(bases.SetPropertyFromString("Label", "strand"));
    EXPECT_EQ(bases.GetLabel(), "strand");
}
