#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/Monomer.h>
#include <tavrel/biopolymers/NamedCollections.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/chemistry/Assembly.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Chain.h>
#include <tavrel/chemistry/Element.h>
#include <tavrel/chemistry/Head.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/chemistry/RGroup.h>
#include <tavrel/chemistry/SubUnit.h>
#include <tavrel/chemistry/Tail.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include "NucleotideBuilder.h"
#include "ResidueBuilder.h"

using namespace Tavrel;
using ResidueBuilder::AddAtom;

namespace {

class NamedCollectionsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // A residue of the name with the four backbone atoms and the side-chain atoms.
    static Residue* AddResidue(Object* chain, const char* name, std::initializer_list<const char*> side = {})
    {
        Residue* const residue = ResidueBuilder::Pool().CreateResidue(chain, name);
        for (const char* label : {"N", "CA", "C", "O"})
            AddAtom(residue, label, std::string(label, 1).c_str(), Point3d());
        for (const char* label : side)
            AddAtom(residue, label, std::string(label, 1).c_str(), Point3d());
        return residue;
    }

    // The labels of the NamedCollection children, in child order.
    static std::vector<std::string> Groups(const Object& molecule)
    {
        std::vector<std::string> labels;
        for (int i = 0; i < molecule.GetNumChildren(); ++i) {
            if (const auto* group = DynCast<NamedCollection>(molecule.GetChild(i)))
                labels.push_back(group->GetLabel());
        }
        return labels;
    }

    static NamedCollection* Group(Object& molecule, std::string_view name)
    {
        for (int i = 0; i < molecule.GetNumChildren(); ++i) {
            auto* const group = DynCast<NamedCollection>(molecule.GetChild(i));
            if (group && group->GetLabel() == name)
                return group;
        }
        return nullptr;
    }

    static std::vector<Object*> Members(const NamedCollection* group)
    {
        std::vector<Object*> members;
        if (!group)
            return members;
        POSITION position = group->GetStartPosition();
        while (position)
            members.push_back(group->GetNext(position));
        return members;
    }
};

const std::vector<std::string> AllGroups = {"Backbone", "Sidechain", "Hydrophobic", "Hydrophilic", "Acidic", "Basic"};

} // namespace

TEST_F(NamedCollectionsTest, ResiduesFallIntoTheGroupsOfTheirTemplates)
{
    const auto make = [](const char* name) { return std::unique_ptr<Residue>(ResidueBuilder::Pool().CreateResidue(nullptr, name)); };
    const auto glycine = make("GLY");
    const auto alanine = make("ALA");
    const auto histidine = make("HIS");
    EXPECT_FALSE(NamedCollections::IsHydrophilicResidue(glycine.get()));
    EXPECT_FALSE(NamedCollections::IsHydrophobicResidue(glycine.get()));
    EXPECT_TRUE(NamedCollections::IsHydrophobicResidue(alanine.get()));
    EXPECT_FALSE(NamedCollections::IsHydrophilicResidue(alanine.get()));
    EXPECT_TRUE(NamedCollections::IsHydrophilicResidue(histidine.get()));
    EXPECT_TRUE(NamedCollections::IsBasicResidue(histidine.get()));
    EXPECT_FALSE(NamedCollections::IsAcidicResidue(histidine.get()));
    for (const char* name : {"ARG", "LYS"})
        EXPECT_TRUE(NamedCollections::IsBasicResidue(make(name).get())) << name;
    for (const char* name : {"ASP", "GLU"})
        EXPECT_TRUE(NamedCollections::IsAcidicResidue(make(name).get())) << name;
    // Threonine (-0.7) lies between the limits; proline (-1.6) and the unknown residue (0) too.
    for (const char* name : {"THR", "PRO", "UNK"}) {
        EXPECT_FALSE(NamedCollections::IsHydrophobicResidue(make(name).get())) << name;
        EXPECT_FALSE(NamedCollections::IsHydrophilicResidue(make(name).get())) << name;
    }
    EXPECT_FALSE(NamedCollections::IsAcidicResidue(nullptr));
    EXPECT_FALSE(NamedCollections::IsBasicResidue(nullptr));
    EXPECT_FALSE(NamedCollections::IsHydrophilicResidue(nullptr));
    EXPECT_FALSE(NamedCollections::IsHydrophobicResidue(nullptr));
    EXPECT_FALSE(NamedCollections::IsBackboneAtom(nullptr));
    EXPECT_FALSE(NamedCollections::IsSidechainAtom(nullptr));
}

TEST_F(NamedCollectionsTest, UpdateFillsSixGroupsPerMoleculeAndASecondRunRefillsThem)
{
    TreeRoot root;
    auto* const protein = new Molecule(&root);
    new Object(protein);
    auto* const chain = new AminoAcidChain(protein);
    Residue* const glycine = AddResidue(chain, "GLY");
    Residue* const histidine = AddResidue(chain, "HIS", {"CB", "ND1"});
    Residue* const aspartate = AddResidue(chain, "ASP", {"CB"});
    Residue* const alanine = AddResidue(chain, "ALA", {"CB"});
    // Lower case is not a backbone label; a nucleotide's atoms are in neither atom group.
    Atom3d* const lower = AddAtom(glycine, "ca", "C", Point3d());
    auto* const strand = new NucleicAcidChain(protein);
    NucleotideBuilder::AddResidues(strand, "A");

    NamedCollections::Update(&root);
    EXPECT_EQ(Groups(*protein), AllGroups);
    // After the molecule's other children.
    EXPECT_TRUE(IsA<NamedCollection>(protein->GetChild(3)));

    const auto atomsOf = [](Residue* residue, std::initializer_list<const char*> labels) {
        std::vector<Object*> atoms;
        for (const char* label : labels)
            atoms.push_back(ResidueBuilder::AtomOf(residue, label));
        return atoms;
    };
    std::vector<Object*> backbone;
    for (Residue* residue : {glycine, histidine, aspartate, alanine}) {
        const std::vector<Object*> atoms = atomsOf(residue, {"N", "CA", "C", "O"});
        backbone.insert(backbone.end(), atoms.begin(), atoms.end());
    }
    const std::vector<Object*> sidechain = {lower, ResidueBuilder::AtomOf(histidine, "CB"),
                                            ResidueBuilder::AtomOf(histidine, "ND1"),
                                            ResidueBuilder::AtomOf(aspartate, "CB"),
                                            ResidueBuilder::AtomOf(alanine, "CB")};
    const auto check = [&] {
        EXPECT_EQ(Members(Group(*protein, "Backbone")), backbone);
        EXPECT_EQ(Members(Group(*protein, "Sidechain")), sidechain);
        EXPECT_EQ(Members(Group(*protein, "Hydrophobic")), std::vector<Object*>{alanine});
        EXPECT_EQ(Members(Group(*protein, "Hydrophilic")), (std::vector<Object*>{histidine, aspartate}));
        EXPECT_EQ(Members(Group(*protein, "Acidic")), std::vector<Object*>{aspartate});
        EXPECT_EQ(Members(Group(*protein, "Basic")), std::vector<Object*>{histidine});
    };
    check();
    NamedCollection* const first = Group(*protein, "Basic");

    // A second run empties and refills the same groups.
    NamedCollections::Update(&root);
    EXPECT_EQ(Groups(*protein), AllGroups);
    EXPECT_EQ(Group(*protein, "Basic"), first);
    check();

    // A member that goes leaves its groups, and the next run does not bring it back.
    delete histidine;
    NamedCollections::Update(protein->GetParent());
    EXPECT_EQ(Members(Group(*protein, "Basic")), std::vector<Object*>{});
    EXPECT_EQ(Members(Group(*protein, "Hydrophilic")), std::vector<Object*>{aspartate});
}

TEST_F(NamedCollectionsTest, OnlyMoleculesWithAChainAndAResidueGetGroups)
{
    TreeRoot root;
    auto* const chainOnly = new Molecule(&root);
    new AminoAcidChain(chainOnly);
    auto* const residueOnly = new Molecule(&root);
    AddResidue(residueOnly, "ALA");
    auto* const both = new Molecule(&root);
    AddResidue(new Chain(both), "LYS", {"CB"});
    // The object itself is not one of the molecules it updates; null does nothing.
    NamedCollections::Update(both);
    EXPECT_TRUE(Groups(*both).empty());
    NamedCollections::Update(nullptr);

    NamedCollections::Update(&root);
    EXPECT_TRUE(Groups(*chainOnly).empty());
    EXPECT_TRUE(Groups(*residueOnly).empty());
    EXPECT_EQ(Groups(*both), AllGroups);
    // Any chain will do: the lysine of a plain chain is grouped.
    EXPECT_EQ(Members(Group(*both, "Basic")).size(), 1u);
    EXPECT_EQ(Members(Group(*both, "Backbone")).size(), 4u);
}

TEST_F(NamedCollectionsTest, DeepChainsAndResiduesOfSubclassesCountAfterObjectsOfManyClasses)
{
    TreeRoot root;
    // Objects of many classes come first; a chain and a residue outside any molecule give nothing.
    auto* const clutter = new Object(&root);
    new NamedCollection(clutter, "Other");
    new Atom3d(clutter, "C");
    new Assembly(clutter);
    new Head(clutter);
    new Tail(clutter);
    new RGroup(clutter);
    new SubUnit(clutter);
    new Chain(clutter);
    AddResidue(clutter, "ALA");
    // A molecule inside another, its amino-acid chain below an object of a further class.
    auto* const outer = new Molecule(&root);
    auto* const inner = new Molecule(new Object(outer));
    AddResidue(new AminoAcidChain(new Assembly(inner)), "LYS", {"CB"});

    NamedCollections::Update(&root);
    EXPECT_EQ(Groups(*outer), AllGroups);
    EXPECT_EQ(Groups(*inner), AllGroups);
    EXPECT_EQ(Members(Group(*outer, "Basic")).size(), 1u);
    EXPECT_EQ(Members(Group(*inner, "Backbone")).size(), 4u);
}

TEST_F(NamedCollectionsTest, AMonomerMarksItsBackboneChildrenAndWeighsItsAtoms)
{
    Monomer monomer(nullptr);
    Atom3d* const carbon = AddAtom(&monomer, "C1", "C", Point3d());
    Atom3d* const oxygen = AddAtom(&monomer, "O1", "O", Point3d());
    Atom3d* const nitrogen = AddAtom(&monomer, "N1", "N", Point3d());
    auto* const group = new Object(&monomer);
    Atom3d* const deep = AddAtom(group, "C2", "C", Point3d());

    EXPECT_EQ(monomer.GetNumberBackboneAtoms(), 0);
    OrdCollection marks;
    marks.Add(carbon);
    marks.Add(deep);
    marks.Add(nitrogen);
    monomer.AssignBackboneAtoms(marks);
    std::int32_t value = 0;
    ASSERT_TRUE(nitrogen->GetProperty("_Backbone", value));
    EXPECT_EQ(value, 1);
    EXPECT_FALSE(oxygen->HasProperty("_Backbone"));

    // Children only: the marked grandchild is not seen.
    OrdCollection found;
    EXPECT_EQ(monomer.GetBackboneAtoms(found), 2);
    ASSERT_EQ(found.GetSize(), 2);
    EXPECT_EQ(found.GetAt(0), carbon);
    EXPECT_EQ(found.GetAt(1), nitrogen);
    EXPECT_EQ(monomer.GetNumberBackboneAtoms(), 2);
    // Marks stay when others are added.
    OrdCollection more;
    more.Add(oxygen);
    monomer.AssignBackboneAtoms(more);
    EXPECT_EQ(monomer.GetNumberBackboneAtoms(), 3);

    float weight = 0.0f;
    for (const Atom3d* atom : {carbon, oxygen, nitrogen, deep})
        weight += atom->GetElement()->GetAtomicWeight();
    EXPECT_FLOAT_EQ(monomer.CalculateWeight(), weight);
    EXPECT_EQ(monomer.GetPropertyAsString("monomer weight"), StringUtils::Format("%.3f", weight));
    EXPECT_EQ(Monomer(nullptr).CalculateWeight(), 0.0f);
    EXPECT_FALSE(monomer.SetPropertyFromString("Monomer Weight", "1"));
    EXPECT_FALSE(monomer.SetPropertyFromString("", "1"));
    EXPECT_EQ(monomer.GetPropertyAsObjectProperty("Monomer Weight").GetAccess(), 1);

    ObjectProperty::Array subUnit;
    SubUnit(nullptr).GetProperties(subUnit);
    ObjectProperty::Array listed;
    ASSERT_EQ(monomer.GetProperties(listed), static_cast<std::int32_t>(subUnit.size()) + 1);
    EXPECT_EQ(listed.back().GetName(), "Monomer Weight");
}

TEST_F(NamedCollectionsTest, AMonomerDoesNotWeighPeriodicImages)
{
    // An atom that answers as a periodic image, as a crystal replica does.
    class Image : public Atom3d {
    public:
        using Atom3d::Atom3d;
        bool IsPeriodic() const override { return true; }
    };
    Monomer monomer(nullptr);
    AddAtom(&monomer, "C1", "C", Point3d());
    new Image(&monomer, "C");
    EXPECT_FLOAT_EQ(monomer.CalculateWeight(), ResidueBuilder::AtomOf(&monomer, "C1")->GetElement()->GetAtomicWeight());
}
