#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include "BackboneBuilder.h"
#include "ResidueBuilder.h"

using namespace Tavrel;
using namespace BackboneBuilder;
using ResidueBuilder::AtomOf;

namespace {

// Display quality 1: ribbon splines of 10 samples per span, tubes of 12 samples and sides,
// schematic coils of 8.
constexpr std::size_t Granularity = 10;

class AminoAcidChainDisplayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    void SetUp() override { Chain::SetDisplayQuality(1); }

    // A bonded chain in the style, its residues in colours of their own ("Custom" keeps them).
    AminoAcidChain* NewChain(const std::vector<BackboneAtoms>& atoms, std::int32_t style)
    {
        auto* chain = new AminoAcidChain(&m_molecule);
        m_residues = AddResidues(chain, atoms, "ALA");
        ResidueBuilder::Pool().ConstructResidueBonds(&m_molecule);
        chain->SetDisplayStyle(style);
        chain->SetColorScheme("Custom");
        for (std::size_t i = 0; i < m_residues.size(); ++i)
            m_residues[i]->SetColor(Color(static_cast<int>(10 * i), 100, 200));
        return chain;
    }

    // The classes, taken as the chain's secondary structure.
    void SetClasses(AminoAcidChain& chain, const std::string& letters)
    {
        for (std::size_t i = 0; i < letters.size(); ++i) {
            m_residues[i]->SetEnvironment(
                static_cast<AminoAcid::SecondaryStructure>(std::string("CHET").find(letters[i])));
            m_residues[i]->SetRibbonSize(1.0f);
        }
        chain.SetHasSecondaryStructure(true);
    }

    static DisplayList3D Draw(AminoAcidChain& chain, int mode = DisplayList3D::normalMode)
    {
        DisplayList3D list(mode);
        chain.Display(list);
        return list;
    }

    static void ExpectUnitNormals(const TriangleMeshPrimitive& mesh)
    {
        for (const VertexNormal& vertex : mesh.GetVertices()) {
            ASSERT_TRUE(std::isfinite(vertex.normal.Length()));
            ASSERT_NEAR(vertex.normal.Length(), 1.0, 1e-4);
        }
    }

    // Every vertex carries the colour of the residue whose OID it carries.
    void ExpectResidueColours(const TriangleMeshPrimitive& mesh) const
    {
        ASSERT_EQ(mesh.GetVertexOIDs().size(), mesh.GetVertices().size());
        for (std::size_t v = 0; v < mesh.GetVertices().size(); ++v) {
            const std::uint32_t oid = mesh.GetVertexOIDs()[v];
            const auto residue = std::find_if(m_residues.begin(), m_residues.end(),
                                              [oid](const AminoAcid* r) { return r->GetOID() == oid; });
            ASSERT_NE(residue, m_residues.end()) << v;
            ASSERT_EQ(mesh.GetVertices()[v].color, (*residue)->GetColor()) << v;
        }
    }

    Molecule m_molecule{nullptr};
    std::vector<AminoAcid*> m_residues;
};

} // namespace

TEST_F(AminoAcidChainDisplayTest, ALineRibbonRunsFiveSplinesThroughOneGuidePointPerResidue)
{
    AminoAcidChain* chain = NewChain(Build(AlphaHelix, 6), AminoAcidChain::RibbonLine);
    SetClasses(*chain, "CCHCCC");
    const DisplayList3D list = Draw(*chain);
    const auto lines = list.GetAll<LinePrimitive>();
    // Six residues give six guide points: the lead-in and one per step.
    const std::size_t points = 5 * Granularity + 1;
    ASSERT_EQ(lines.size(), 5 * (points - 1));
    const auto middle = [&](std::size_t j) { return lines[2 * (points - 1) + j]; };
    const Point3d ca0 = AtomOf(m_residues[0], "CA")->GetXYZ();
    const Point3d ca1 = AtomOf(m_residues[1], "CA")->GetXYZ();
    const Point3d ca2 = AtomOf(m_residues[2], "CA")->GetXYZ();
    const Point3d ca3 = AtomOf(m_residues[3], "CA")->GetXYZ();
    // Coil points lie on the C-alpha midpoints (the lead-in on the first C-alpha); helix points 2.0 off.
    EXPECT_NEAR(Distance(middle(0)->GetFrom(), ca0), 0.0, 1e-4);
    EXPECT_NEAR(Distance(middle(Granularity)->GetFrom(), MidPoint(ca0, ca1)), 0.0, 1e-4);
    EXPECT_NEAR(Distance(middle(3 * Granularity)->GetFrom(), MidPoint(ca2, ca3)), 2.0, 1e-4);
    // The edges lie the ribbon size apart on either side.
    EXPECT_NEAR(Distance(lines[Granularity]->GetFrom(), lines[4 * (points - 1) + Granularity]->GetFrom()), 2.0, 1e-4);
    // Each point shows the residue whose span it lies in.
    for (std::size_t j = 0; j + 1 < points; ++j) {
        const AminoAcid* shown = m_residues[j / Granularity];
        ASSERT_EQ(middle(j)->GetOID(), shown->GetOID()) << j;
        ASSERT_EQ(middle(j)->GetColor(), shown->GetColor()) << j;
    }
    EXPECT_TRUE(chain->SplinesNeedRegeneration());
}

TEST_F(AminoAcidChainDisplayTest, RunsBreakAtStylesAndPeptideBreaksAndTheBreakingResidueStartsTheNext)
{
    AminoAcidChain* chain = NewChain(Build(Extended, 7), AminoAcidChain::RibbonLine);
    SetClasses(*chain, "CCCCCCC");
    const std::size_t perRun = 5 * 2 * Granularity;  // a run of three: two spans per line
    // A residue of another style: runs 0-2 and 4-6; residue 3 alone is too short a trace.
    m_residues[3]->SetDisplayStyle(AminoAcidChain::CAlphaWire);
    DisplayList3D list = Draw(*chain);
    const auto lines = list.GetAll<LinePrimitive>();
    EXPECT_EQ(lines.size(), 2 * perRun);
    EXPECT_TRUE(list.GetAll<UnlitPointPrimitive>().empty());
    // A strand's steps point across the chain in turn one way and the other: the second step's
    // guide points are stored reversed, so the edges do not cross.
    const std::size_t span = 2 * Granularity;
    const Point3d first = lines[4 * span + Granularity]->GetFrom() - lines[Granularity]->GetFrom();
    const Point3d second = lines[4 * span + span - 1]->GetTo() - lines[span - 1]->GetTo();
    EXPECT_GT(first.Dot(second), 0.0);

    // A peptide break between 3 and 4: the runs 0-3 and 4-6, residue 4 starting the second.
    m_residues[3]->SetDisplayStyle(AminoAcidChain::RibbonLine);
    delete AtomOf(m_residues[3], "C")->FindBond(AtomOf(m_residues[4], "N"));
    list = Draw(*chain);
    EXPECT_EQ(list.GetAll<LinePrimitive>().size(), 5 * 3 * Granularity + perRun);

    // Two residues draw nothing.
    auto* pair = new AminoAcidChain(&m_molecule);
    AddResidues(pair, Build(Extended, 2));
    pair->SetDisplayStyle(AminoAcidChain::RibbonFlat);
    EXPECT_TRUE(Draw(*pair).IsEmpty());
}

TEST_F(AminoAcidChainDisplayTest, FlatAndTubeRibbonsAreOneMeshWithAnIdentifiedVertexPerPoint)
{
    AminoAcidChain* chain = NewChain(Build(AlphaHelix, 5), AminoAcidChain::RibbonFlat);
    SetClasses(*chain, "CHHHC");
    const std::size_t points = 4 * Granularity + 1;
    for (const auto& [style, triangles] : {std::pair{AminoAcidChain::RibbonFlat, 4 * (points - 1)},
                                          std::pair{AminoAcidChain::RibbonTube, 8 * (points - 1)}}) {
        chain->SetDisplayStyle(style);
        // A ribbon of no width keeps finite normals of unit length.
        for (const float size : {1.0f, 0.0f}) {
            chain->SetDisplaySize(size);
            const DisplayList3D list = Draw(*chain);
            const auto meshes = list.GetAll<TriangleMeshPrimitive>();
            ASSERT_EQ(meshes.size(), 1u);
            EXPECT_EQ(meshes[0]->GetVertices().size(), 4 * points);
            EXPECT_EQ(meshes[0]->GetTriangles().size(), triangles);
            ExpectUnitNormals(*meshes[0]);
            ASSERT_EQ(meshes[0]->GetVertexOIDs().size(), 4 * points);
            EXPECT_EQ(meshes[0]->GetVertexOIDs()[2 * Granularity], m_residues[2]->GetOID());
            ExpectResidueColours(*meshes[0]);
        }
    }
    // The fast path draws the line ribbon.
    EXPECT_EQ(Draw(*chain, DisplayList3D::fastMode).GetAll<LinePrimitive>().size(), 5 * (points - 1));
}

TEST_F(AminoAcidChainDisplayTest, TubesFollowTheAlphaAtomsWithTheResiduesColours)
{
    AminoAcidChain* chain = NewChain(Build(Extended, 4), AminoAcidChain::Tube);
    chain->SetDisplaySize(2.0f);
    const DisplayList3D list = Draw(*chain);
    const auto meshes = list.GetAll<TriangleMeshPrimitive>();
    ASSERT_EQ(meshes.size(), 1u);
    const std::size_t samples = 3 * 12 + 1;
    EXPECT_EQ(meshes[0]->GetVertices().size(), (samples + 2) * 12);
    EXPECT_EQ(meshes[0]->GetTriangles().size(), 2 * samples * 12 - 4);
    EXPECT_NEAR(Distance(meshes[0]->GetVertices()[0].position, AtomOf(m_residues[0], "CA")->GetXYZ()), 1.2, 1e-4);
    ExpectResidueColours(*meshes[0]);

    // Fast: two half lines of width 4 per pair, meeting at the midpoint.
    m_residues[1]->Select(false);
    const DisplayList3D fast = Draw(*chain, DisplayList3D::fastMode);
    const auto lines = fast.GetAll<LinePrimitive>();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0]->GetWidth(), 4.0);
    EXPECT_EQ(lines[0]->GetTo(), lines[1]->GetFrom());
    EXPECT_EQ(lines[1]->GetColor(), Color::Selected());
    EXPECT_EQ(lines[1]->GetOID(), m_residues[1]->GetOID());
}

TEST_F(AminoAcidChainDisplayTest, AlphaTracesSkipResiduesWithoutAnAlphaAndShowDisulfidesOfTheirStyle)
{
    AminoAcidChain* chain = NewChain(Build(Extended, 7), AminoAcidChain::CAlphaStick);
    // A bridge between residues 0 and 6, under the chain.
    for (const std::size_t i : {0u, 6u})
        ResidueBuilder::AddAtom(m_residues[i], "SG", "S", AtomOf(m_residues[i], "CA")->GetXYZ() + Point3d(0, 0, 1.8));
    AtomOf(m_residues[0], "SG")->MakeBond(AtomOf(m_residues[6], "SG"), Bond::Single);
    delete AtomOf(m_residues[2], "CA");

    DisplayList3D list = Draw(*chain);
    EXPECT_EQ(list.GetAll<SpherePrimitive>().size(), 6u);
    auto sticks = list.GetAll<CylinderPrimitive>();
    ASSERT_EQ(sticks.size(), 5u + 1u);
    EXPECT_EQ(sticks[1]->GetFrom(), AtomOf(m_residues[1], "CA")->GetXYZ());
    EXPECT_EQ(sticks[1]->GetTo(), AtomOf(m_residues[3], "CA")->GetXYZ());
    EXPECT_NEAR(sticks[5]->GetRadius(), 0.5 * 2.0 / 3.0, 1e-9);
    EXPECT_EQ(sticks[5]->GetOID(), 0u);
    // Two runs draw the bridge once.
    delete AtomOf(m_residues[3], "C")->FindBond(AtomOf(m_residues[4], "N"));
    list = Draw(*chain);
    EXPECT_EQ(list.GetAll<CylinderPrimitive>().size(), 2u + 2u + 1u);

    chain->SetDisplayStyle(AminoAcidChain::CAlphaWire);
    list = Draw(*chain);
    EXPECT_EQ(list.GetAll<UnlitPointPrimitive>().size(), 6u);
    EXPECT_EQ(list.GetAll<LinePrimitive>().size(), 2u + 2u + 1u);
    // The bridge is drawn between residues of the trace's style only, and only when asked: with
    // residues 5 and 6 in sticks (too short a run to draw) the wire trace of 0-3 draws two lines.
    m_residues[5]->SetDisplayStyle(AminoAcidChain::CAlphaStick);
    m_residues[6]->SetDisplayStyle(AminoAcidChain::CAlphaStick);
    list = Draw(*chain);
    EXPECT_EQ(list.GetAll<LinePrimitive>().size(), 2u);
    EXPECT_TRUE(list.GetAll<CylinderPrimitive>().empty());
    chain->SetDisplayStyle(AminoAcidChain::CAlphaWire);
    chain->SetDisulfideDisplay(false);
    EXPECT_EQ(Draw(*chain).GetAll<LinePrimitive>().size(), 4u);
}

TEST_F(AminoAcidChainDisplayTest, SchematicsDrawHelixCylindersSheetArrowsAndCoilTubes)
{
    AminoAcidChain* helix = NewChain(Build(AlphaHelix, 12), AminoAcidChain::Schematic);
    helix->Select(false);
    DisplayList3D list = Draw(*helix);
    // Predicted CHHHHHHHHHHC: a coil record of residues 0-1 and a helix record of 1-10.
    const auto cylinders = list.GetAll<CylinderPrimitive>();
    ASSERT_EQ(cylinders.size(), 1u);
    EXPECT_EQ(cylinders[0]->GetRadius(), 1.96);
    EXPECT_EQ(cylinders[0]->GetColor(), Color::Selected());
    EXPECT_EQ(cylinders[0]->GetOID(), helix->GetOID());
    // The fitted axis runs 1.5 per residue.
    EXPECT_NEAR(Distance(cylinders[0]->GetFrom(), cylinders[0]->GetTo()), 1.5 * 9, 0.05);
    EXPECT_EQ(list.GetAll<ConePrimitive>().size(), 2u);
    const auto tubes = list.GetAll<TriangleMeshPrimitive>();
    ASSERT_EQ(tubes.size(), 1u);
    EXPECT_EQ(tubes[0]->GetVertices().size(), (8u + 1u + 2u) * 8u);

    // The sheet CEEECCCEEECC: coil 0-1, sheet 1-3, coil 3-7, sheet 7-9, coil 9-11.
    const std::vector<BackboneAtoms> strand = Build(Extended, 6);
    std::vector<BackboneAtoms> both = strand;
    const std::vector<BackboneAtoms> partner = AntiparallelPartner(strand, 2);
    both.insert(both.end(), partner.begin(), partner.end());
    AminoAcidChain* sheet = NewChain(both, AminoAcidChain::Schematic);
    sheet->SetColorScheme("Secondary Type");
    list = Draw(*sheet);
    EXPECT_TRUE(list.GetAll<CylinderPrimitive>().empty());
    const auto meshes = list.GetAll<TriangleMeshPrimitive>();
    ASSERT_EQ(meshes.size(), 5u);
    EXPECT_EQ(meshes[1]->GetVertices().size(), 8u * 3u * 2u + 12u);  // an arrow over three points
    EXPECT_EQ(meshes[1]->GetVertices()[0].color, Color::Cyan());
    EXPECT_EQ(meshes[0]->GetVertices()[0].color, Color::White());

    // A helix of one residue draws nothing of its own; two residues draw nothing at all.
    AminoAcidChain* lone = NewChain(Build(Extended, 5), AminoAcidChain::Schematic);
    SetClasses(*lone, "CHCCC");
    list = Draw(*lone);
    EXPECT_TRUE(list.GetAll<CylinderPrimitive>().empty());
    EXPECT_TRUE(list.GetAll<ConePrimitive>().empty());
    // The fast path traces the C-alpha atoms.
    EXPECT_EQ(Draw(*lone, DisplayList3D::fastMode).GetAll<UnlitPointPrimitive>().size(), 5u);
}

TEST_F(AminoAcidChainDisplayTest, TheFirstDrawTakesTheResiduesStyleAndColoursBySecondaryStructure)
{
    auto* chain = new AminoAcidChain(&m_molecule);
    m_residues = AddResidues(chain, Build(AlphaHelix, 12), "ALA");
    ResidueBuilder::Pool().ConstructResidueBonds(&m_molecule);
    for (AminoAcid* residue : m_residues)
        residue->SetDisplayStyle(AminoAcidChain::RibbonTube);
    EXPECT_EQ(chain->GetDisplayStyle(), 0);
    const DisplayList3D list = Draw(*chain);
    EXPECT_EQ(chain->GetDisplayStyle(), AminoAcidChain::RibbonTube);
    EXPECT_EQ(chain->GetColorScheme(), "Secondary Type");
    EXPECT_TRUE(chain->HasSecondaryStructure());
    EXPECT_EQ(m_residues[5]->GetColor(), Color::Red());
    EXPECT_EQ(m_residues[5]->GetRibbonSize(), 1.3f);
    EXPECT_EQ(list.GetAll<TriangleMeshPrimitive>().size(), 1u);
    // An inactive chain draws nothing.
    chain->Deactivate();
    EXPECT_TRUE(Draw(*chain).IsEmpty());
}
