#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Element.h>
#include <tavrel/chemistry/ElementFactory.h>
#include <tavrel/chemistry/InternalElementFactory.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/chemistry/SubUnit.h>
#include <tavrel/document/DataModelLibrary.h>

using namespace Tavrel;

namespace {

class MoleculeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    Atom3d* Add(const char* symbol, Object* parent = nullptr)
    {
        return new Atom3d(parent ? parent : molecule.get(), symbol);
    }

    std::unique_ptr<Molecule> molecule = std::make_unique<Molecule>(nullptr);
};

TEST_F(MoleculeTest, EmptyMoleculeComputesNothing)
{
    EXPECT_EQ(molecule->CalculateMolFormula(), "");
    EXPECT_EQ(molecule->CalculateComposition(), "");
    EXPECT_EQ(molecule->CalculateMolWeight(), 0.0f);
    EXPECT_EQ(molecule->CalculateExactWeight(), 0.0);
    EXPECT_EQ(molecule->CalculateFastVolume(), 0.0);
    EXPECT_EQ(molecule->CalculateNumberAtoms(), 0);
    EXPECT_EQ(molecule->CalculateCenterOfMass(), Point3d::origin);
    // An atom of the unknown element counts as an atom but not in the formula.
    Add("?");
    EXPECT_EQ(molecule->CalculateNumberAtoms(), 1);
    EXPECT_EQ(molecule->CalculateMolFormula(), "");
}

TEST_F(MoleculeTest, FormulaWeightsAndCompositionCountMissingHydrogens)
{
    Add("C");
    EXPECT_EQ(molecule->CalculateMolFormula(), "C H4");
    EXPECT_FLOAT_EQ(molecule->CalculateMolWeight(), 12.011f + 4 * 1.008f);
    EXPECT_NEAR(molecule->CalculateExactWeight(), 12.0 + 4 * 1.007825037, 1e-9);

    molecule = std::make_unique<Molecule>(nullptr);
    Add("O");
    EXPECT_EQ(molecule->CalculateMolFormula(), "H2 O");
    EXPECT_EQ(molecule->GetPropertyAsString("molecular weight"), "18.016");
    EXPECT_EQ(molecule->CalculateComposition(), "H: 0.112, O: 0.888");

    // Ethanol's heavy atoms, one of them inside a sub-unit: every descendant atom counts.
    molecule = std::make_unique<Molecule>(nullptr);
    auto* const unit = new SubUnit(molecule.get());
    Atom3d* const c1 = Add("C");
    Atom3d* const c2 = Add("C", unit);
    Atom3d* const o = Add("O");
    c1->MakeBond(c2, Bond::Single);
    c2->MakeBond(o, Bond::Single);
    EXPECT_EQ(molecule->CalculateMolFormula(), "C2 H6 O");
    EXPECT_EQ(molecule->GetPropertyAsString("Number of Atoms"), "3");
    EXPECT_EQ(molecule->GetPropertyAsString("Exact Mol. Weight"), "46.0418649");

    // Adding the hydrogens keeps the formula and places each group once; removing takes them again.
    molecule->AddHydrogens(Atom::AllHydrogens);
    EXPECT_EQ(molecule->CalculateNumberAtoms(), 9);
    EXPECT_EQ(molecule->CalculateMolFormula(), "C2 H6 O");
    EXPECT_TRUE(c1->IsValenceSatisfied() && c2->IsValenceSatisfied() && o->IsValenceSatisfied());
    molecule->RemoveHydrogens(Atom::AllHydrogens);
    EXPECT_EQ(molecule->CalculateNumberAtoms(), 3);
}

TEST_F(MoleculeTest, UserElementsCountUnderTheirOwnType)
{
    Element heavy(*ElementFactory::GetElementFactory().FindElement("Fe"));
    heavy.SetSymbol("Xq");
    heavy.SetType(ElementType(250));
    heavy.SetAtomicNumber(26);
    heavy.SetCommonOxidationState(0);
    const Element* const user = ElementFactory::GetElementFactory().AddUserElement(heavy);
    new Atom3d(molecule.get(), user);
    new Atom3d(molecule.get(), user);
    Add("S");
    EXPECT_EQ(molecule->CalculateMolFormula(), "H2 S Xq2");
    EXPECT_EQ(molecule->CalculateComposition().substr(0, 15), "H: 0.014, S: 0.");
    molecule.reset();
    ResetElementFactoryForTests();
}

TEST_F(MoleculeTest, TextPropertiesAreReadOnlyViews)
{
    Atom3d* const a = Add("C");
    Atom3d* const b = Add("C");
    b->SetXYZ(Point3d(1.5, 0, 0));
    // Two bonded spheres lose their overlap; apart they keep their full volume.
    const double r = 1.55f;
    const double sphere = r * r * r * 12.566370614359172 * 0.3333333;
    EXPECT_NEAR(molecule->CalculateFastVolume(), 2 * sphere * 0.95, 1e-9);
    a->MakeBond(b, Bond::Single);
    const double h = (r + r - 1.5) / 2;
    const double lens = 2 * 3.141592653589793 * 0.3333333 * h * h * (3 * r - h);
    EXPECT_NEAR(molecule->CalculateFastVolume(), (2 * sphere - lens) * 0.95, 1e-6);
    EXPECT_EQ(molecule->GetPropertyAsString("Molecular Volume"), "24.7");
    EXPECT_TRUE(molecule->CalculateCenterOfMass().Compare(Point3d(0.75, 0, 0), 1e-6));
    EXPECT_TRUE(molecule->GetXYZ().Compare(Point3d(0.75, 0, 0), 1e-6));

    EXPECT_EQ(molecule->GetPropertyAsString("Clean Energy"), "Not Calculated");
    molecule->SetProperty("Clean Energy", 12.34f, 0);
    EXPECT_EQ(molecule->GetPropertyAsString("clean energy"), "12.3");
    EXPECT_FALSE(molecule->SetPropertyFromString("Molecular Weight", "3"));
    EXPECT_FALSE(molecule->SetPropertyFromString("Number of Atoms", "3"));
    EXPECT_TRUE(molecule->SetPropertyFromString("Molecular Formula", "X"));
    EXPECT_EQ(molecule->GetPropertyAsString("Molecular Formula"), "C2 H6");
    EXPECT_EQ(molecule->GetPropertyAsString(""), "");

    const ObjectProperty atoms = molecule->GetPropertyAsObjectProperty("number of atoms");
    EXPECT_EQ(atoms.GetAccess(), ObjectProperty::AccessReadable);
    EXPECT_EQ(atoms.GetStringValue(), "2");
    ObjectProperty::Array listed;
    molecule->GetProperties(listed);
    std::vector<std::string> names;
    for (const ObjectProperty& property : listed)
        names.push_back(property.GetName());
    const std::vector<std::string> tail(names.end() - 7, names.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Number of Atoms", "Molecular Formula", "Molecular Composition",
                                              "Molecular Weight", "Exact Mol. Weight", "Molecular Volume",
                                              "Clean Energy"}));
    EXPECT_EQ(std::count(names.begin(), names.end(), "XYZ"), 0);
}

} // namespace
