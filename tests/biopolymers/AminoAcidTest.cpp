#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/platform/Archive.h>
#include "BackboneBuilder.h"
#include "ResidueBuilder.h"
#include "support/RecordStream.h"

using namespace Tavrel;
using ResidueBuilder::AddAtom;

namespace {

class AminoAcidTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    AminoAcid* NewResidue(const char* name = "ALA", Object* parent = nullptr)
    {
        return static_cast<AminoAcid*>(ResidueBuilder::Pool().CreateResidue(parent ? parent : &m_molecule, name));
    }

    Molecule m_molecule{nullptr};
};

// The events of the Object level heard below a node: their codes.
std::vector<std::uint16_t> g_codes;

void Listen(TreeNode& node)
{
    g_codes.clear();
    node.RegisterEvent(Object::classType, Object::EventPropertySet, [](Event& event) { g_codes.push_back(event.GetEventType()); },
                       true, nullptr, nullptr);
}

} // namespace

TEST_F(AminoAcidTest, BackboneAtomsAreTheFirstChildrenWithTheirExactLabels)
{
    AminoAcid* residue = NewResidue();
    EXPECT_EQ(residue->GetCAlpha(), nullptr);
    AddAtom(residue, "ca", "C", Point3d());
    EXPECT_EQ(residue->GetCAlpha(), nullptr);
    Atom3d* alpha = AddAtom(residue, "CA", "C", Point3d());
    AddAtom(residue, "CA", "C", Point3d());
    EXPECT_EQ(residue->GetCAlpha(), alpha);

    // "O" wins over an "O1" met earlier; "O1" serves without an "O".
    Atom3d* o1 = AddAtom(residue, "O1", "O", Point3d());
    EXPECT_EQ(residue->GetAmideOxygen(), o1);
    Atom3d* oxygen = AddAtom(residue, "O", "O", Point3d());
    EXPECT_EQ(residue->GetAmideOxygen(), oxygen);

    Atom3d* h = AddAtom(residue, "H", "H", Point3d());
    EXPECT_EQ(residue->GetAmideHydrogen(), h);
    Atom3d* hn = AddAtom(residue, "HN", "H", Point3d());
    EXPECT_EQ(residue->GetAmideHydrogen(), hn);

    Atom3d* beta = AddAtom(residue, "CB", "C", Point3d());
    Atom3d* nitrogen = AddAtom(residue, "N", "N", Point3d());
    Atom3d* carbon = AddAtom(residue, "C", "C", Point3d());
    EXPECT_EQ(residue->GetCBeta(), beta);
    EXPECT_EQ(residue->GetAmideNitrogen(), nitrogen);
    EXPECT_EQ(residue->GetAmideCarbon(), carbon);
}

TEST_F(AminoAcidTest, TheAmideHydrogenIsPlacedOnTheBisectorOppositeTheNitrogensFirstTwoNeighbours)
{
    // Three residues of an ideal helix, bonded: the middle one's hydrogen is placed where the
    // backbone's geometry puts it.
    auto* chain = new AminoAcidChain(&m_molecule);
    const std::vector<BackboneBuilder::BackboneAtoms> atoms = BackboneBuilder::Build(BackboneBuilder::AlphaHelix, 3);
    const std::vector<AminoAcid*> residues = BackboneBuilder::AddResidues(chain, atoms, "GLY", false);
    ResidueBuilder::Pool().ConstructResidueBonds(&m_molecule);
    Point3d placed(9.0, 9.0, 9.0);
    ASSERT_TRUE(residues[1]->GetAmideHydrogenPosition(placed));
    EXPECT_NEAR(Distance(placed, atoms[1].h), 0.0, 1e-4);
    EXPECT_NEAR(Distance(placed, atoms[1].n), 1.0, 1e-4);

    // An explicit hydrogen answers even on a nitrogen without bonds.
    AminoAcid* lone = NewResidue();
    AddAtom(lone, "N", "N", Point3d(1.0, 2.0, 3.0));
    Point3d out(7.0, 7.0, 7.0);
    EXPECT_FALSE(lone->GetAmideHydrogenPosition(out));
    EXPECT_EQ(out, Point3d(7.0, 7.0, 7.0));
    AddAtom(lone, "H", "H", Point3d(1.0, 2.0, 4.0));
    ASSERT_TRUE(lone->GetAmideHydrogenPosition(out));
    EXPECT_EQ(out, Point3d(1.0, 2.0, 4.0));

    // One bond, no nitrogen, or two neighbours in opposite directions: no position.
    AminoAcid* open = NewResidue();
    Atom3d* nitrogen = AddAtom(open, "N", "N", Point3d());
    Atom3d* left = AddAtom(open, "C", "C", Point3d(-1.3, 0.0, 0.0));
    nitrogen->MakeBond(left, Bond::Single);
    out = Point3d(7.0, 7.0, 7.0);
    EXPECT_FALSE(open->GetAmideHydrogenPosition(out));
    nitrogen->MakeBond(AddAtom(open, "CA", "C", Point3d(1.45, 0.0, 0.0)), Bond::Single);
    EXPECT_FALSE(open->GetAmideHydrogenPosition(out));
    EXPECT_EQ(out, Point3d(7.0, 7.0, 7.0));
    EXPECT_FALSE(NewResidue()->GetAmideHydrogenPosition(out));
}

TEST_F(AminoAcidTest, SecondaryTextSetsTheClassRaisesTheEventAndMarksTheChain)
{
    auto* chain = new AminoAcidChain(&m_molecule);
    auto* group = new Object(chain);
    AminoAcid* residue = NewResidue("ALA", group);
    Listen(m_molecule);

    EXPECT_TRUE(residue->SetPropertyFromString("secondary", "helix"));
    EXPECT_EQ(residue->GetEnvironment(), AminoAcid::Helix);
    EXPECT_EQ(g_codes, std::vector<std::uint16_t>{Object::EventPropertySet});
    EXPECT_TRUE(chain->HasSecondaryStructure());
    EXPECT_EQ(residue->GetPropertyAsString("Secondary"), "Helix");

    // An unknown word changes nothing, the chain's flag included.
    chain->SetHasSecondaryStructure(false);
    g_codes.clear();
    EXPECT_FALSE(residue->SetPropertyFromString("Secondary", "Strand"));
    EXPECT_EQ(residue->GetEnvironment(), AminoAcid::Helix);
    EXPECT_FALSE(chain->HasSecondaryStructure());
    EXPECT_TRUE(g_codes.empty());
    EXPECT_FALSE(residue->SetPropertyFromString("", "Coil"));

    const ObjectProperty described = residue->GetPropertyAsObjectProperty("Secondary");
    EXPECT_EQ(described.GetStringValue(), "Helix");
    EXPECT_EQ(described.GetAccess(), 3);
    EXPECT_EQ(described.GetPropertyType(), 1);
    EXPECT_EQ(described.GetAllValues(), (std::vector<std::string>{"Coil", "Sheet", "Helix", "Turn"}));
    ObjectProperty::Array listed;
    residue->GetProperties(listed);
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed.back().GetName(), "Secondary");
    EXPECT_EQ(residue->GetPropertyAsObjectProperty("").GetName(), "");

    // A code from a file outside the four has no word.
    residue->SetEnvironment(static_cast<AminoAcid::SecondaryStructure>(7));
    EXPECT_EQ(residue->GetPropertyAsString("Secondary"), "");
}

TEST_F(AminoAcidTest, TheExternalClassReplacesThePredictedOneOnlyWhenItDiffers)
{
    AminoAcid* residue = NewResidue();
    Listen(m_molecule);
    residue->SetExternalEnvironment(AminoAcid::Sheet);
    EXPECT_TRUE(g_codes.empty());
    EXPECT_EQ(residue->GetEnvironment(), AminoAcid::Coil);
    residue->UseExternalEnvironment();
    EXPECT_EQ(residue->GetEnvironment(), AminoAcid::Sheet);
    EXPECT_EQ(g_codes.size(), 1u);
    residue->UseExternalEnvironment();
    EXPECT_EQ(g_codes.size(), 1u);
}

TEST_F(AminoAcidTest, ColourSchemesColourTheResidueOrLeaveItToOthers)
{
    AminoAcid* residue = NewResidue("ILE", new AminoAcidChain(&m_molecule));
    std::vector<std::string> schemes;
    ASSERT_EQ(residue->GetColorSchemes(schemes), 4 + 1);
    EXPECT_EQ(std::vector<std::string>(schemes.begin(), schemes.begin() + 4),
              (std::vector<std::string>{"Residue", "Hydrophobicity", "pKa", "CAlpha"}));
    EXPECT_EQ(schemes[4], "AminoAcidChain");

    // Isoleucine: the most hydrophobic end of the map; a pKa of 0 is white.
    residue->SetColorScheme("hydrophobicity");
    EXPECT_EQ(residue->GetColorScheme(), "hydrophobicity");
    EXPECT_EQ(residue->GetColor(), Color::Blue());
    residue->SetColorScheme("pKa");
    EXPECT_EQ(residue->GetColor(), Color::White());
    residue->SetColorScheme("Residue");
    EXPECT_EQ(residue->GetColor(), residue->GetResidueColor());

    // Without a C-alpha the colour stays; with one it is the atom's.
    residue->SetColor(Color::Magenta());
    residue->SetColorScheme("CAlpha");
    EXPECT_EQ(residue->GetColor(), Color::Magenta());
    AddAtom(residue, "CA", "C", Point3d())->SetColor(Color::Grey());
    residue->SetColorScheme("CAlpha");
    EXPECT_EQ(residue->GetColor(), Color::Grey());

    // The names that leave the colour alone; the empty name clears the stored one.
    for (const char* name : {"Secondary Type", "Custom", ""}) {
        residue->SetColor(Color::Yellow());
        residue->SetColorScheme(name);
        EXPECT_EQ(residue->GetColor(), Color::Yellow()) << name;
        EXPECT_EQ(residue->GetColorScheme(), name);
    }

    AminoAcid* arginine = NewResidue("ARG");
    arginine->SetColorScheme("Hydrophobicity");
    EXPECT_EQ(arginine->GetColor(), Color::Red());
    arginine->SetColorScheme("pKa");
    EXPECT_NE(arginine->GetColor(), Color::White());
}

TEST_F(AminoAcidTest, AnnotationsSitBesideTheAlphaAndExtentsSpanTheAtoms)
{
    AminoAcid* residue = NewResidue();
    EXPECT_EQ(residue->GetAnnotationXYZ(), Point3d(0.5, 0.3, 0.0));
    Atom3d* first = AddAtom(residue, "N", "N", Point3d(1.0, 1.0, 1.0));
    EXPECT_EQ(residue->GetAnnotationXYZ(), first->GetAnnotationXYZ() + Point3d(0.5, 0.3, 0.0));
    Atom3d* alpha = AddAtom(residue, "CA", "C", Point3d(-2.0, 4.0, 0.5));
    EXPECT_EQ(residue->GetAnnotationXYZ(), alpha->GetAnnotationXYZ() + Point3d(0.5, 0.3, 0.0));

    DisplayList3D list(DisplayList3D::fastMode);
    residue->DisplayExtents(list);
    EXPECT_TRUE(list.IsEmpty());  // style 0
    residue->SetDisplayStyle(1);
    residue->DisplayExtents(list);
    const auto points = list.GetAll<UnlitPointPrimitive>();
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0]->GetPosition(), Point3d(1.0, 4.0, 1.0));
    EXPECT_EQ(points[1]->GetPosition(), Point3d(-2.0, 1.0, 0.5));
    EXPECT_EQ(points[0]->GetColor(), Color(0u));
    EXPECT_EQ(points[0]->GetOID(), residue->GetOID());

    DisplayList3D empty(DisplayList3D::fastMode);
    AminoAcid* bare = NewResidue();
    bare->SetDisplayStyle(1);
    bare->DisplayExtents(empty);
    EXPECT_TRUE(empty.IsEmpty());
}

TEST_F(AminoAcidTest, ClassesAndSchemeSurviveTheStreamAndTheArchiveAndCopiesDropTheScheme)
{
    const std::unique_ptr<AminoAcid> owned(static_cast<AminoAcid*>(ResidueBuilder::Pool().CreateResidue(nullptr, "SER")));
    AminoAcid* residue = owned.get();
    residue->SetEnvironment(AminoAcid::Turn);
    residue->SetExternalEnvironment(AminoAcid::Sheet);
    residue->SetColorScheme("pKa");
    residue->SetRibbonSize(0.5f);

    for (const RecordStream::Form form : {RecordStream::Form::Plain, RecordStream::Form::Compressed}) {
        const std::unique_ptr<AminoAcid> loaded =
            RecordStream::LoadAs<AminoAcid>(RecordStream::Save(*residue, form), form);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(loaded->GetEnvironment(), AminoAcid::Turn);
        EXPECT_EQ(loaded->GetExternalEnvironment(), AminoAcid::Sheet);
        EXPECT_EQ(loaded->GetColorScheme(), "pKa");
        EXPECT_EQ(loaded->GetPDBName(), "SER");
    }

    // The framework archive holds the class and the scheme, not the external class.
    const std::unique_ptr<AminoAcid> archived = RecordStream::ArchiveCopy<AminoAcid>(*residue);
    ASSERT_NE(archived, nullptr);
    EXPECT_EQ(archived->GetEnvironment(), AminoAcid::Turn);
    EXPECT_EQ(archived->GetExternalEnvironment(), AminoAcid::Coil);
    EXPECT_EQ(archived->GetColorScheme(), "pKa");

    // A record of object schema 1 holds no scheme name.
    Archive out;
    out.WriteObject(residue);
    std::vector<std::uint8_t> bytes = out.GetBuffer();
    const std::string name = "XXAminoAcid";
    const auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
    ASSERT_NE(at, bytes.end());
    const auto schema = at - 4;  // u16 schema, u16 name length, name
    schema[0] = 1;
    schema[1] = 0;
    Archive in(bytes);
    std::unique_ptr<Base> old(static_cast<Base*>(in.ReadObject(&AminoAcid::GetThisClass())));
    ASSERT_TRUE(IsA<AminoAcid>(old.get()));
    EXPECT_EQ(static_cast<AminoAcid*>(old.get())->GetEnvironment(), AminoAcid::Turn);
    EXPECT_EQ(static_cast<AminoAcid*>(old.get())->GetColorScheme(), "");

    const std::unique_ptr<Base> copy(residue->Copy());
    const auto* copied = DynCast<AminoAcid>(copy.get());
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->GetEnvironment(), AminoAcid::Turn);
    EXPECT_EQ(copied->GetExternalEnvironment(), AminoAcid::Sheet);
    EXPECT_EQ(copied->GetColorScheme(), "");
    EXPECT_EQ(copied->GetRibbonSize(), 0.5f);
}
