#include <gtest/gtest.h>

#include <memory>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/NucleicAcid.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/biopolymers/TemplateBonding.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/document/DataModelLibrary.h>
#include "ResidueBuilder.h"

using namespace Tavrel;
using namespace ResidueBuilder;

namespace {

class TemplateBondingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // A residue of the name under the test's chain.
    Residue* Make(const char* name) { return Pool().CreateResidue(&m_chain, name); }

    AminoAcidChain m_chain{nullptr};
};

} // namespace

TEST_F(TemplateBondingTest, AlanineGetsItsBackboneAndSideChainOrFailsWithoutAnAtom)
{
    Residue* alanine = Make("ALA");
    AddSpreadAtoms(alanine, {"N", "CA", "C", "O", "CB"});
    EXPECT_TRUE(alanine->GetBondMethod()(alanine));
    EXPECT_EQ(TypeOf(alanine, "N", "CA"), Single);
    EXPECT_EQ(TypeOf(alanine, "CA", "C"), Single);
    EXPECT_EQ(TypeOf(alanine, "C", "O"), Double);
    EXPECT_EQ(TypeOf(alanine, "CA", "CB"), Single);
    EXPECT_EQ(AtomOf(alanine, "CA")->GetNumBonds(), 3);
    EXPECT_EQ(BondOf(alanine, "N", "CA")->GetParent(), alanine);

    // Bonding again reuses every bond.
    EXPECT_TRUE(BondAla(alanine));
    EXPECT_EQ(AtomOf(alanine, "CA")->GetNumBonds(), 3);

    Residue* missing = Make("ALA");
    AddSpreadAtoms(missing, {"N", "CA", "C", "O"});
    EXPECT_FALSE(BondAla(missing));
    EXPECT_EQ(TypeOf(missing, "C", "O"), Double);
    EXPECT_FALSE(BondAla(nullptr));
}

TEST_F(TemplateBondingTest, AspartateIsACarboxylateWithoutHydrogenAndAnAcidWithOne)
{
    Residue* carboxylate = Make("ASP");
    AddSpreadAtoms(carboxylate, {"N", "CA", "C", "O", "CB", "CG", "OD1", "OD2"});
    EXPECT_TRUE(BondAsp(carboxylate));
    EXPECT_EQ(TypeOf(carboxylate, "CG", "OD1"), Partial);
    EXPECT_EQ(TypeOf(carboxylate, "CG", "OD2"), Partial);
    EXPECT_EQ(ChargeOf(carboxylate, "OD1"), Rational(-1, 2));
    EXPECT_EQ(ChargeOf(carboxylate, "OD2"), Rational(-1, 2));

    Residue* acid = Make("ASP");
    AddSpreadAtoms(acid, {"N", "CA", "C", "O", "CB", "CG", "OD1", "OD2"});
    AddHydrogen(acid, "OD1", "HD1");
    EXPECT_TRUE(BondAsp(acid));
    EXPECT_EQ(TypeOf(acid, "OD1", "HD1"), Single);
    EXPECT_EQ(TypeOf(acid, "CG", "OD1"), Single);
    EXPECT_EQ(TypeOf(acid, "CG", "OD2"), Double);
    EXPECT_EQ(ChargeOf(acid, "OD1"), Rational(0));
    EXPECT_EQ(ChargeOf(acid, "OD2"), Rational(0));

    Residue* glutamate = Make("GLU");
    AddSpreadAtoms(glutamate, {"N", "CA", "C", "O", "CB", "CG", "CD", "OE1", "OE2"});
    AddHydrogen(glutamate, "OE2", "HE2");
    EXPECT_TRUE(BondGlu(glutamate));
    EXPECT_EQ(TypeOf(glutamate, "CD", "OE1"), Double);
    EXPECT_EQ(TypeOf(glutamate, "CD", "OE2"), Single);
}

TEST_F(TemplateBondingTest, ChargesOfLysineArginineHistidineAndPhosphatesFollowTheirHydrogens)
{
    Residue* lysine = Make("LYS");
    AddSpreadAtoms(lysine, {"N", "CA", "C", "O", "CB", "CG", "CD", "CE", "NZ"});
    EXPECT_TRUE(BondLys(lysine));
    EXPECT_EQ(ChargeOf(lysine, "NZ"), Rational(1));

    Residue* amine = Make("LYS");
    AddSpreadAtoms(amine, {"N", "CA", "C", "O", "CB", "CG", "CD", "CE", "NZ"});
    AddHydrogen(amine, "NZ", "HZ1", -0.3f);
    AddHydrogen(amine, "NZ", "HZ2", 0.3f);
    EXPECT_TRUE(BondLys(amine));
    EXPECT_EQ(AtomOf(amine, "NZ")->GetNumHydrogens(), 2);
    EXPECT_EQ(ChargeOf(amine, "NZ"), Rational(0));

    Residue* histidine = Make("HIS");
    AddSpreadAtoms(histidine, {"N", "CA", "C", "O", "CB", "CG", "ND1", "CD2", "CE1", "NE2"});
    AddHydrogen(histidine, "ND1", "HD1");
    AddHydrogen(histidine, "NE2", "HE2");
    EXPECT_TRUE(BondHis(histidine));
    EXPECT_EQ(ChargeOf(histidine, "NE2"), Rational(1));
    EXPECT_EQ(TypeOf(histidine, "CE1", "NE2"), Double);

    Residue* tautomer = Make("HIS");
    AddSpreadAtoms(tautomer, {"N", "CA", "C", "O", "CB", "CG", "ND1", "CD2", "CE1", "NE2"});
    AddHydrogen(tautomer, "NE2", "HE2");
    EXPECT_TRUE(BondHis(tautomer));
    EXPECT_EQ(TypeOf(tautomer, "ND1", "CE1"), Double);
    EXPECT_EQ(TypeOf(tautomer, "CE1", "NE2"), Single);
    EXPECT_EQ(ChargeOf(tautomer, "NE2"), Rational(0));

    Residue* arginine = Make("ARG");
    AddSpreadAtoms(arginine, {"N", "CA", "C", "O", "CB", "CG", "CD", "NE", "CZ", "NH1", "NH2"});
    EXPECT_TRUE(BondArg(arginine));
    EXPECT_EQ(TypeOf(arginine, "CZ", "NH1"), Partial);
    EXPECT_EQ(ChargeOf(arginine, "NH1"), Rational(1, 2));
    EXPECT_EQ(ChargeOf(arginine, "NH2"), Rational(1, 2));

    Residue* neutral = Make("ARG");
    AddSpreadAtoms(neutral, {"N", "CA", "C", "O", "CB", "CG", "CD", "NE", "CZ", "NH1", "NH2"});
    for (const char* nitrogen : {"NH1", "NH2"}) {
        AddHydrogen(neutral, nitrogen, "H1", -0.3f);
        AddHydrogen(neutral, nitrogen, "H2", 0.3f);
    }
    EXPECT_TRUE(BondArg(neutral));
    EXPECT_EQ(TypeOf(neutral, "NE", "CZ"), Double);
    EXPECT_EQ(TypeOf(neutral, "CZ", "NH1"), Single);
    EXPECT_EQ(TypeOf(neutral, "CZ", "NH2"), Single);
    EXPECT_EQ(ChargeOf(neutral, "NH1"), Rational(0));

    Residue* phosphoserine = Make("SEP");
    AddSpreadAtoms(phosphoserine, {"N", "CA", "C", "O", "CB", "OG", "P", "O1P", "O2P", "O3P"});
    EXPECT_TRUE(BondSep(phosphoserine));
    EXPECT_EQ(TypeOf(phosphoserine, "P", "O3P"), Double);
    EXPECT_EQ(ChargeOf(phosphoserine, "O1P"), Rational(-1));
    EXPECT_EQ(ChargeOf(phosphoserine, "O2P"), Rational(-1));
    EXPECT_EQ(ChargeOf(phosphoserine, "O3P"), Rational(0));

    Residue* sulfotyrosine = Make("TYS");
    AddSpreadAtoms(sulfotyrosine,
                   {"N", "CA", "C", "O", "CB", "CG", "CD1", "CD2", "CE1", "CE2", "CZ", "OH", "S", "O1", "O2", "O3"});
    EXPECT_TRUE(BondTys(sulfotyrosine));
    EXPECT_EQ(TypeOf(sulfotyrosine, "CE2", "CZ"), Aromatic);
    EXPECT_EQ(TypeOf(sulfotyrosine, "S", "O3"), Double);
    EXPECT_EQ(ChargeOf(sulfotyrosine, "O1"), Rational(-1));
}

TEST_F(TemplateBondingTest, AmbiguousAmideAtomsAreResolvedForAsparagineAndGlutamineOnly)
{
    Residue* asparagine = Make("ASN");
    AddSpreadAtoms(asparagine, {"N", "CA", "C", "O", "CB", "CG", "AD1", "AD2"});
    EXPECT_TRUE(BondAsn(asparagine));
    EXPECT_EQ(AtomOf(asparagine, "AD1"), nullptr);
    EXPECT_EQ(AtomOf(asparagine, "OD1")->GetElementType(), 8);
    EXPECT_EQ(AtomOf(asparagine, "OD1")->GetColor(), AtomOf(asparagine, "OD1")->GetElement()->GetColor());
    EXPECT_EQ(AtomOf(asparagine, "ND2")->GetElementType(), 7);
    EXPECT_EQ(TypeOf(asparagine, "CG", "OD1"), Double);
    EXPECT_EQ(TypeOf(asparagine, "CG", "ND2"), Single);

    Residue* glutamine = Make("GLN");
    AddSpreadAtoms(glutamine, {"N", "CA", "C", "O", "CB", "CG", "CD", "AE1", "AE2"});
    EXPECT_TRUE(BondGln(glutamine));
    EXPECT_EQ(TypeOf(glutamine, "CD", "OE1"), Double);
    EXPECT_EQ(TypeOf(glutamine, "CD", "NE2"), Single);

    // GLX keeps the ambiguous epsilon atoms and bonds them to CD.
    Residue* glx = Make("GLX");
    AddSpreadAtoms(glx, {"N", "CA", "C", "O", "CB", "CG", "CD", "AE1", "AE2"});
    EXPECT_TRUE(BondGlx(glx));
    EXPECT_EQ(TypeOf(glx, "CD", "AE1"), Single);
    EXPECT_EQ(TypeOf(glx, "CD", "AE2"), Single);
    EXPECT_EQ(AtomOf(glx, "AE1")->GetElementType(), 0);

    Residue* asx = Make("ASX");
    AddSpreadAtoms(asx, {"N", "CA", "C", "O", "CB", "CG", "AD1", "AD2"});
    EXPECT_TRUE(BondAsx(asx));
    EXPECT_EQ(TypeOf(asx, "CG", "AD2"), Single);
}

TEST_F(TemplateBondingTest, PyroglutamateIsALactamWithoutTerminalCharge)
{
    Residue* pyroglutamate = Make("PCA");
    AddSpreadAtoms(pyroglutamate, {"N", "CA", "C", "O", "CB", "CG", "CD", "OE"});
    EXPECT_TRUE(BondPca(pyroglutamate));
    EXPECT_EQ(TypeOf(pyroglutamate, "CB", "CG"), Single);
    EXPECT_EQ(TypeOf(pyroglutamate, "CG", "CD"), Single);
    EXPECT_EQ(TypeOf(pyroglutamate, "CD", "N"), Single);
    EXPECT_EQ(TypeOf(pyroglutamate, "CD", "OE"), Double);

    // First in its chain, its ring nitrogen (two bonds, no hydrogen) stays neutral.
    const std::unique_ptr<Object> root(new Object(nullptr));
    Residue* first = Pool().CreateResidue(new AminoAcidChain(root.get()), "PCA");
    AddSpreadAtoms(first, {"N", "CA", "C", "O", "CB", "CG", "CD", "OE"});
    Pool().ConstructResidueBonds(root.get());
    EXPECT_EQ(AtomOf(first, "N")->GetNumBonds(), 2);
    EXPECT_EQ(ChargeOf(first, "N"), Rational(0));
}

TEST_F(TemplateBondingTest, AminobutyricAcidTakesEitherCarbonylAndTheAcetylCapHasNoBackbone)
{
    Residue* aib = Make("AIB");
    AddSpreadAtoms(aib, {"N", "CA", "C", "O1", "CB1", "CB2"});
    EXPECT_TRUE(BondAib(aib));
    EXPECT_EQ(TypeOf(aib, "C", "O1"), Double);
    EXPECT_EQ(TypeOf(aib, "CA", "CB2"), Single);
    Residue* noCarbonyl = Make("AIB");
    AddSpreadAtoms(noCarbonyl, {"N", "CA", "C", "CB1", "CB2"});
    EXPECT_FALSE(BondAib(noCarbonyl));

    Residue* acetyl = Make("ACE");
    AddSpreadAtoms(acetyl, {"C", "O", "CH3"});
    EXPECT_TRUE(BondAce(acetyl));
    EXPECT_EQ(TypeOf(acetyl, "C", "O"), Double);
    EXPECT_EQ(TypeOf(acetyl, "C", "CH3"), Single);
}

TEST_F(TemplateBondingTest, UnknownResiduesBondByDistanceWithTheirCarbonylMadeDouble)
{
    Residue* unknown = Make("HOH");
    EXPECT_EQ(unknown->GetBondMethod(), &BondNull);
    AddAtoms(unknown, {{"C", "C", Point3d(0.0, 0.0, 0.0)},
                       {"O", "O", Point3d(1.2, 0.0, 0.0)},
                       {"N", "N", Point3d(-1.4, 0.0, 0.0)},
                       {"H", "H", Point3d(-1.4, 1.0, 0.0)}});
    EXPECT_TRUE(BondNull(unknown));
    EXPECT_EQ(TypeOf(unknown, "C", "O"), Double);
    EXPECT_EQ(TypeOf(unknown, "C", "N"), Single);
    EXPECT_EQ(TypeOf(unknown, "N", "H"), Single);
}

TEST_F(TemplateBondingTest, NucleotidesUseTheSugarMarkTheyFind)
{
    const auto sugar = [](Residue* residue, char mark) {
        for (const char* name : {"P", "O5'", "C5'", "C4'", "C3'", "O3'", "C2'", "C1'", "O4'", "O2'"}) {
            std::string label(name);
            for (char& c : label)
                c = c == '\'' ? mark : c;
            AddSpreadAtoms(residue, {label});
        }
    };
    const auto base = [](Residue* residue, std::initializer_list<std::string_view> labels) {
        AddSpreadAtoms(residue, labels);
    };

    Residue* primes = Make("ADE");
    sugar(primes, '\'');
    base(primes, {"N1", "C2", "N3", "C4", "C5", "C6", "N6", "N7", "C8", "N9"});
    AddSpreadAtoms(primes, {"O1P", "O2P"});
    EXPECT_TRUE(BondAde(primes));
    EXPECT_EQ(TypeOf(primes, "C1'", "N9"), Single);
    EXPECT_EQ(TypeOf(primes, "C8", "N7"), Double);
    EXPECT_EQ(TypeOf(primes, "P", "O1P"), Partial);
    EXPECT_EQ(ChargeOf(primes, "O1P"), Rational(-1, 2));
    EXPECT_EQ(ChargeOf(primes, "O2P"), Rational(-1, 2));

    // With both kinds of names, the asterisk names are used.
    Residue* asterisks = Make("A");
    sugar(asterisks, '*');
    AddSpreadAtoms(asterisks, {"C1'"});
    base(asterisks, {"N1", "C2", "N3", "C4", "C5", "C6", "N6", "N7", "C8", "N9"});
    EXPECT_TRUE(BondAde(asterisks));
    EXPECT_EQ(TypeOf(asterisks, "C1*", "N9"), Single);
    EXPECT_EQ(TypeOf(asterisks, "O3*", "C3*"), Single);
    EXPECT_EQ(AtomOf(asterisks, "C1'")->GetNumBonds(), 0);

    // A 5'-terminal adenosine needs neither its phosphorus nor O2'.
    Residue* terminal = Make("A5'");
    for (const char* name : {"O5'", "C5'", "C4'", "C3'", "O3'", "C2'", "C1'", "O4'"})
        AddSpreadAtoms(terminal, {name});
    base(terminal, {"N1", "C2", "N3", "C4", "C5", "C6", "N6", "N7", "C8", "N9"});
    EXPECT_TRUE(BondAde(terminal));

    // A uridine named with primes counts its C2'-O2' bond; with asterisks it does not.
    Residue* uridine = Make("U");
    for (const char* name : {"P", "O5'", "C5'", "C4'", "C3'", "O3'", "C2'", "C1'", "O4'", "O1P", "O2P"})
        AddSpreadAtoms(uridine, {name});
    base(uridine, {"N1", "C2", "O2", "N3", "C4", "O4", "C5", "C6"});
    EXPECT_FALSE(BondUrd(uridine));
    EXPECT_EQ(TypeOf(uridine, "N3", "C4"), Partial);
    EXPECT_EQ(ChargeOf(uridine, "N3"), Rational(1, 2));
    EXPECT_EQ(ChargeOf(uridine, "O4"), Rational(-1, 2));

    Residue* uridineAsterisks = Make("U");
    for (const char* name : {"P", "O5*", "C5*", "C4*", "C3*", "O3*", "C2*", "C1*", "O4*", "O1P", "O2P"})
        AddSpreadAtoms(uridineAsterisks, {name});
    base(uridineAsterisks, {"N1", "C2", "O2", "N3", "C4", "O4", "C5", "C6"});
    EXPECT_TRUE(BondUrd(uridineAsterisks));

    Residue* pseudouridine = Make("PSU");
    sugar(pseudouridine, '\'');
    base(pseudouridine, {"N1", "C2", "O2", "N3", "C4", "O4", "C5", "C6"});
    AddSpreadAtoms(pseudouridine, {"O1P", "O2P"});
    EXPECT_TRUE(BondPSU(pseudouridine));
    EXPECT_EQ(TypeOf(pseudouridine, "C1'", "C5"), Single);
    EXPECT_EQ(TypeOf(pseudouridine, "N1", "C2"), Partial);
    EXPECT_EQ(ChargeOf(pseudouridine, "N1"), Rational(1, 2));
    EXPECT_EQ(ChargeOf(pseudouridine, "O2"), Rational(-1, 2));

    Residue* thymidine = Make("THY");
    for (const char* name : {"O5'", "C5'", "C4'", "C3'", "O3'", "C2'", "C1'", "O4'"})
        AddSpreadAtoms(thymidine, {name});
    base(thymidine, {"N1", "C2", "O2", "N3", "C4", "O4", "C5", "C6", "C5M"});
    EXPECT_TRUE(BondThy(thymidine));
    EXPECT_EQ(TypeOf(thymidine, "C5", "C5M"), Single);
    EXPECT_EQ(TypeOf(thymidine, "C2'", "O2'"), NoBond);
}
