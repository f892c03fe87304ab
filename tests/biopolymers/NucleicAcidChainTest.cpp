#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/biopolymers/NucleicAcid.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/DisplayList3D.h>
#include <tavrel/document/DataModelLibrary.h>
#include "NucleotideBuilder.h"
#include "ResidueBuilder.h"
#include "support/RecordStream.h"

using namespace Tavrel;
using ResidueBuilder::AtomOf;

namespace {

class NucleicAcidChainTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    void SetUp() override { Chain::SetDisplayQuality(1); }
    void TearDown() override { Chain::SetDisplayQuality(1); }

    // A strand of the codes in the style, the chain grey and each residue a colour of its own.
    NucleicAcidChain* NewChain(const std::string& codes, std::int32_t style)
    {
        auto* const chain = new NucleicAcidChain(&m_molecule);
        m_residues = NucleotideBuilder::AddResidues(chain, codes);
        chain->SetColor(Color::Grey());
        for (std::size_t i = 0; i < m_residues.size(); ++i)
            m_residues[i]->SetColor(Color(static_cast<int>(40 * i), 100, 200));
        chain->SetDisplayStyle(style);
        return chain;
    }

    static DisplayList3D Draw(NucleicAcidChain& chain, int mode = DisplayList3D::normalMode)
    {
        DisplayList3D list(mode);
        chain.Display(list);
        return list;
    }

    Molecule m_molecule{nullptr};
    std::vector<NucleicAcid*> m_residues;
};

// The backbone meshes (a vertex identifier each) and the slab meshes (one identifier).
std::vector<const TriangleMeshPrimitive*> Meshes(const DisplayList3D& list, bool backbone)
{
    std::vector<const TriangleMeshPrimitive*> meshes;
    for (const TriangleMeshPrimitive* mesh : list.GetAll<TriangleMeshPrimitive>()) {
        if (mesh->GetVertexOIDs().empty() != backbone)
            meshes.push_back(mesh);
    }
    return meshes;
}

struct Census {
    std::size_t backbone, slabMeshes, triangles, cylinders, spheres, lines;
    bool operator==(const Census&) const = default;
};

void PrintTo(const Census& c, std::ostream* out)
{
    *out << "{backbone " << c.backbone << ", slab meshes " << c.slabMeshes << ", triangles " << c.triangles
         << ", cylinders " << c.cylinders << ", spheres " << c.spheres << ", lines " << c.lines << "}";
}

Census Count(const DisplayList3D& list)
{
    return {Meshes(list, true).size(),
            Meshes(list, false).size(),
            list.GetAll<TrianglePrimitive>().size(),
            list.GetAll<CylinderPrimitive>().size(),
            list.GetAll<SpherePrimitive>().size(),
            list.GetAll<LinePrimitive>().size()};
}

// The sides of a spline tube, from its vertex and triangle counts: (m + 2) s and 2 m s - 4.
std::size_t TubeSides(const TriangleMeshPrimitive& tube)
{
    return (2 * tube.GetVertices().size() - tube.GetTriangles().size() - 4) / 4;
}

} // namespace

TEST_F(NucleicAcidChainTest, EachStyleDrawsItsBackboneThenItsBases)
{
    // Two purines and two pyrimidines. Rings: a purine gives three slabs (two meshes and 12 or 10 side
    // triangles each) and a rod, a pyrimidine two slabs and a rod.
    const Census none{0, 0, 0, 0, 0, 0};
    const Census ladder{0, 0, 0, 4, 4, 0};
    const Census rings{0, 20, 2 * (12 + 10 + 10) + 2 * (12 + 10), 4, 0, 0};
    const auto plus = [](Census bases, std::size_t backbone) {
        bases.backbone = backbone;
        return bases;
    };
    const std::vector<std::pair<std::int32_t, Census>> styles = {
        {0, none},           {1, plus(ladder, 1)}, {2, plus(rings, 1)}, {3, plus(none, 1)},
        {4, plus(ladder, 1)}, {5, plus(rings, 1)}, {6, plus(none, 1)},  {9, plus(ladder, 1)}};
    for (const auto& [style, expected] : styles) {
        NucleicAcidChain* chain = NewChain("AGCT", style);
        const DisplayList3D list = Draw(*chain);
        EXPECT_EQ(Count(list), expected) << "style " << style;
        if (expected.backbone == 0)
            continue;
        // The backbone comes first; arrows and tubes are told apart by the tube's closed rings.
        const auto* first = dynamic_cast<const TriangleMeshPrimitive*>(list.GetPrimitive(0));
        ASSERT_NE(first, nullptr) << "style " << style;
        EXPECT_FALSE(first->GetVertexOIDs().empty());
        const bool tube = style >= 4 && style <= 6;
        EXPECT_EQ(TubeSides(*first) == 12 && first->GetVertices().size() % 12 == 0, tube) << "style " << style;
        delete chain;
    }
}

TEST_F(NucleicAcidChainTest, TwoResiduesGiveATubeButNoArrows)
{
    for (std::int32_t style = 1; style <= 6; ++style) {
        NucleicAcidChain* chain = NewChain("AC", style);
        const DisplayList3D list = Draw(*chain);
        EXPECT_EQ(Meshes(list, true).size(), style >= 4 ? 1u : 0u) << "style " << style;
        delete chain;
    }
}

TEST_F(NucleicAcidChainTest, BackbonesRunThroughTheC3PrimeAtomsInTheChainColourAndShowTheirResidues)
{
    NucleicAcidChain* chain = NewChain("AGCTU", 6);
    m_residues[2]->Select(false);
    const DisplayList3D tube = Draw(*chain);
    ASSERT_EQ(Meshes(tube, true).size(), 1u);
    const TriangleMeshPrimitive& mesh = *Meshes(tube, true)[0];
    EXPECT_NEAR(Distance(mesh.GetVertices()[0].position, AtomOf(m_residues[0], "C3'")->GetXYZ()), 0.7, 1e-4);
    std::vector<bool> seen(m_residues.size(), false);
    for (std::size_t v = 0; v < mesh.GetVertices().size(); ++v) {
        const std::uint32_t oid = mesh.GetVertexOIDs()[v];
        if (oid == 0)
            continue;  // the caps
        for (std::size_t r = 0; r < m_residues.size(); ++r) {
            if (m_residues[r]->GetOID() != oid)
                continue;
            seen[r] = true;
            ASSERT_EQ(mesh.GetVertices()[v].color, r == 2 ? Color::Selected() : Color::Grey()) << v;
        }
    }
    EXPECT_EQ(seen, std::vector<bool>(m_residues.size(), true));

    // Fast mode: a line of width 3 from each C3' atom to the next, in its residue's backbone colour.
    const DisplayList3D lines = Draw(*chain, DisplayList3D::fastMode);
    const auto drawn = lines.GetAll<LinePrimitive>();
    ASSERT_EQ(drawn.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(drawn[i]->GetFrom(), AtomOf(m_residues[i], "C3'")->GetXYZ());
        EXPECT_EQ(drawn[i]->GetTo(), AtomOf(m_residues[i + 1], "C3'")->GetXYZ());
        EXPECT_EQ(drawn[i]->GetWidth(), 3.0);
        EXPECT_EQ(drawn[i]->GetColor(), i == 2 ? Color::Selected() : Color::Grey());
        EXPECT_EQ(drawn[i]->GetOID(), m_residues[i]->GetOID());
    }

    // Arrows: vertices near a C3' atom take its residue's colour and identifier; fast mode gives the
    // ribbon's white outline and no mesh.
    chain->SetDisplayStyle(3);
    const DisplayList3D arrows = Draw(*chain);
    ASSERT_EQ(Meshes(arrows, true).size(), 1u);
    const TriangleMeshPrimitive& ribbon = *Meshes(arrows, true)[0];
    EXPECT_EQ(ribbon.GetOID(), 0u);
    for (std::size_t v = 0; v < ribbon.GetVertices().size(); ++v) {
        const bool selected = ribbon.GetVertexOIDs()[v] == m_residues[2]->GetOID();
        ASSERT_EQ(ribbon.GetVertices()[v].color, selected ? Color::Selected() : Color::Grey()) << v;
    }
    const DisplayList3D outline = Draw(*chain, DisplayList3D::fastMode);
    EXPECT_TRUE(outline.GetAll<TriangleMeshPrimitive>().empty());
    ASSERT_FALSE(outline.GetAll<LinePrimitive>().empty());
    for (const LinePrimitive* line : outline.GetAll<LinePrimitive>())
        ASSERT_EQ(line->GetColor(), Color::White());
}

TEST_F(NucleicAcidChainTest, RungsRunFromTheBaseAtomToC3PrimeInTheResidueColour)
{
    NucleicAcidChain* chain = NewChain("AGCT", 4);
    m_residues[1]->Select(false);
    const DisplayList3D solid = Draw(*chain);
    const auto cylinders = solid.GetAll<CylinderPrimitive>();
    const auto spheres = solid.GetAll<SpherePrimitive>();
    ASSERT_EQ(cylinders.size(), 4u);
    ASSERT_EQ(spheres.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        // N1 of a purine, N3 of a pyrimidine.
        const Point3d base = AtomOf(m_residues[i], i < 2 ? "N1" : "N3")->GetXYZ();
        const Color color = i == 1 ? Color::Selected() : m_residues[i]->GetColor();
        EXPECT_EQ(cylinders[i]->GetFrom(), base);
        EXPECT_EQ(cylinders[i]->GetTo(), AtomOf(m_residues[i], "C3'")->GetXYZ());
        EXPECT_EQ(cylinders[i]->GetRadius(), 0.5);
        EXPECT_EQ(cylinders[i]->GetFromColor(), color);
        EXPECT_EQ(cylinders[i]->GetToColor(), color);
        EXPECT_EQ(cylinders[i]->GetOID(), m_residues[i]->GetOID());
        EXPECT_EQ(spheres[i]->GetCentre(), base);
        EXPECT_EQ(spheres[i]->GetRadius(), 0.5);
        EXPECT_EQ(spheres[i]->GetColor(), color);
    }
    const DisplayList3D fast = Draw(*chain, DisplayList3D::fastMode);
    const auto lines = fast.GetAll<LinePrimitive>();
    ASSERT_EQ(lines.size(), 3u + 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const LinePrimitive& rung = *lines[3 + i];
        EXPECT_EQ(rung.GetFrom(), AtomOf(m_residues[i], i < 2 ? "N1" : "N3")->GetXYZ());
        EXPECT_EQ(rung.GetWidth(), 1.0);
        EXPECT_EQ(rung.GetToColor(), i == 1 ? Color::Selected() : m_residues[i]->GetColor());
    }
}

TEST_F(NucleicAcidChainTest, SugarSlabsCarryTheChainAndBaseSlabsAndRodsTheResidue)
{
    NucleicAcidChain* chain = NewChain("GT", 5);
    m_residues[1]->Select(false);
    const DisplayList3D list = Draw(*chain);
    std::vector<const TriangleMeshPrimitive*> sugars;
    std::vector<const TriangleMeshPrimitive*> bases;
    for (const TriangleMeshPrimitive* mesh : Meshes(list, false))
        (mesh->GetOID() == chain->GetOID() ? sugars : bases).push_back(mesh);
    // Top and bottom of a sugar each; of the guanine's two rings and the thymine's one.
    ASSERT_EQ(sugars.size(), 4u);
    ASSERT_EQ(bases.size(), 6u);
    EXPECT_EQ(sugars[0]->GetVertices()[0].color, Color::Grey());
    EXPECT_EQ(sugars[2]->GetVertices()[0].color, Color::Selected());
    for (std::size_t b = 0; b < bases.size(); ++b) {
        const bool guanine = b < 4;
        EXPECT_EQ(bases[b]->GetOID(), m_residues[guanine ? 0 : 1]->GetOID());
        EXPECT_EQ(bases[b]->GetVertices()[0].color, guanine ? m_residues[0]->GetColor() : Color::Selected());
    }
    // The rods from the glycosidic nitrogen (N9 of a purine, else N1) to C1', in the sugar colour.
    const auto rods = list.GetAll<CylinderPrimitive>();
    ASSERT_EQ(rods.size(), 2u);
    EXPECT_EQ(rods[0]->GetFrom(), AtomOf(m_residues[0], "N9")->GetXYZ());
    EXPECT_EQ(rods[1]->GetFrom(), AtomOf(m_residues[1], "N1")->GetXYZ());
    EXPECT_EQ(rods[0]->GetTo(), AtomOf(m_residues[0], "C1'")->GetXYZ());
    EXPECT_EQ(rods[0]->GetRadius(), 0.3);
    EXPECT_EQ(rods[0]->GetColor(), Color::Grey());
    EXPECT_EQ(rods[1]->GetColor(), Color::Selected());
    EXPECT_EQ(rods[0]->GetOID(), m_residues[0]->GetOID());

    // Lines in fast mode: three per ring edge and a rod line.
    const DisplayList3D fast = Draw(*chain, DisplayList3D::fastMode);
    EXPECT_EQ(fast.GetAll<LinePrimitive>().size(), 1u + 3 * (6 + 5 + 5) + 1 + 3 * (6 + 5) + 1);
    EXPECT_TRUE(fast.GetAll<TriangleMeshPrimitive>().empty());
}

TEST_F(NucleicAcidChainTest, MissingAtomsDropOnlyTheirPieces)
{
    NucleicAcidChain* chain = NewChain("AGCT", 2);
    // Residue 0 without C3' is skipped by every display; residue 1 loses its five-membered ring,
    // residue 2 its rod and residue 3 its rung.
    delete AtomOf(m_residues[0], "C3'");
    delete AtomOf(m_residues[1], "N7");
    delete AtomOf(m_residues[2], "C1'");
    delete AtomOf(m_residues[3], "N3");
    const DisplayList3D rings = Draw(*chain);
    // Residue 1: base and sugar; residue 2: base only (its sugar lacks C1'); residue 3: sugar only.
    EXPECT_EQ(Count(rings), (Census{1, 2 * 2 + 2 + 2, 12 + 10 + 12 + 10, 2, 0, 0}));
    chain->SetDisplayStyle(4);
    EXPECT_EQ(Count(Draw(*chain)), (Census{1, 0, 0, 2, 2, 0}));
}

TEST_F(NucleicAcidChainTest, TheTubeFollowsTheDisplayQualityAndTheRadius)
{
    NucleicAcidChain* chain = NewChain("AGCT", 6);
    for (const auto& [quality, sides] : std::vector<std::pair<int, std::size_t>>{{0, 6}, {1, 12}, {2, 16}, {3, 22}, {7, 12}}) {
        Chain::SetDisplayQuality(quality);
        const DisplayList3D list = Draw(*chain);
        ASSERT_EQ(Meshes(list, true).size(), 1u);
        EXPECT_EQ(TubeSides(*Meshes(list, true)[0]), sides) << "quality " << quality;
    }
    chain->SetTubeRadius(1.5f);
    const DisplayList3D list = Draw(*chain);
    EXPECT_NEAR(Distance(Meshes(list, true)[0]->GetVertices()[0].position, AtomOf(m_residues[0], "C3'")->GetXYZ()),
                1.5, 1e-4);
}

TEST_F(NucleicAcidChainTest, SchemesColourTheResiduesByTemplateByBaseOrAsTheChain)
{
    auto* const first = new Object(&m_molecule);
    static_cast<void>(first);
    NucleicAcidChain* chain = NewChain("AGCTU", 1);
    NucleotideBuilder::AddAtoms(static_cast<NucleicAcid*>(ResidueBuilder::Pool().CreateResidue(chain, "1MA")), 5);
    m_residues.push_back(static_cast<NucleicAcid*>(chain->GetChild(chain->GetNumChildren() - 1)));

    std::vector<std::string> schemes;
    EXPECT_EQ(chain->GetColorSchemes(schemes), 2);
    EXPECT_EQ(schemes, (std::vector<std::string>{"Residue", "Base Type"}));

    chain->SetColorScheme("base TYPE");
    EXPECT_EQ(chain->GetColorScheme(), "base TYPE");
    const std::vector<Color> byBase = {Color::Red(), Color::Red(), Color::Blue(), Color::Blue(), Color::Blue(), Color::White()};
    for (std::size_t i = 0; i < m_residues.size(); ++i)
        EXPECT_EQ(m_residues[i]->GetColor(), byBase[i]) << i;
    EXPECT_EQ(chain->GetColor(), Color::Grey());

    chain->SetColorScheme("Residue");
    for (NucleicAcid* residue : m_residues)
        EXPECT_EQ(residue->GetColor(), residue->GetResidueColor());

    // The chain is the molecule's child 1: the second index colour, which the residues take.
    chain->SetColorScheme("NucleicAcidChain");
    EXPECT_EQ(chain->GetColor(), Color::Cyan());
    for (NucleicAcid* residue : m_residues)
        EXPECT_EQ(residue->GetColor(), Color::Cyan());

    chain->SetColor(Color::Green());
    chain->SetColorScheme("");
    EXPECT_EQ(chain->GetColorScheme(), "");
    EXPECT_EQ(chain->GetColor(), Color::Green());
    EXPECT_EQ(m_residues[0]->GetColor(), Color::Cyan());
}

TEST_F(NucleicAcidChainTest, StylePiecesSwapTheBackboneOrTheBases)
{
    NucleicAcidChain* chain = NewChain("AC", 0);
    const auto after = [chain](std::int32_t style, std::int32_t piece) {
        chain->SetDisplayStyle(style);
        chain->SpecifyDisplayStylePiece(piece);
        return chain->GetDisplayStyle();
    };
    // Arrows over a ladder drop the ladder; tubes over a ladder stay.
    EXPECT_EQ(after(1, 1), 3);
    EXPECT_EQ(after(4, 2), 4);
    const std::vector<std::vector<std::int32_t>> table = {
        {3, 3, 2, 3, 1, 2, 3},  // arrows
        {6, 4, 5, 6, 4, 5, 6},  // tubes
        {0, 3, 3, 3, 6, 6, 6},  // no bases
        {1, 1, 1, 1, 4, 4, 4},  // ladder
        {2, 2, 2, 2, 5, 5, 5},  // rings
    };
    for (std::int32_t piece = 1; piece <= 5; ++piece) {
        for (std::int32_t style = 0; style <= 6; ++style)
            EXPECT_EQ(after(style, piece), table[piece - 1][style]) << "piece " << piece << " on style " << style;
    }
    EXPECT_EQ(after(5, 0), 0);
    EXPECT_EQ(after(5, 6), 1);
    EXPECT_EQ(after(5, -1), 1);
    EXPECT_EQ(after(9, 2), 9);
}

TEST_F(NucleicAcidChainTest, SchemeAndRadiusSurviveCopyAndStreamTheArchiveHoldingTheSchemeOnly)
{
    // Unparented, so that the record holds the chain and its residues alone.
    const auto owned = std::make_unique<NucleicAcidChain>(nullptr);
    NucleicAcidChain* chain = owned.get();
    NucleotideBuilder::AddResidues(chain, "AG");
    chain->SetDisplayStyle(5);
    chain->SetColorScheme("Base Type");
    chain->SetTubeRadius(1.25f);
    chain->SetColor(Color::Blue());
    const auto check = [](const NucleicAcidChain* loaded, float radius, const char* what) {
        ASSERT_NE(loaded, nullptr) << what;
        EXPECT_EQ(loaded->GetColorScheme(), "Base Type") << what;
        EXPECT_EQ(loaded->GetTubeRadius(), radius) << what;
        // The name is stored, not applied.
        EXPECT_EQ(loaded->GetColor(), Color::Blue()) << what;
    };
    const std::unique_ptr<Base> copy(chain->Copy());
    check(DynCast<NucleicAcidChain>(copy.get()), 1.25f, "copy");
    for (const RecordStream::Form form : {RecordStream::Form::Plain, RecordStream::Form::Compressed})
        check(RecordStream::LoadAs<NucleicAcidChain>(RecordStream::Save(*chain, form), form).get(), 1.25f, "stream");
    check(RecordStream::ArchiveCopy<NucleicAcidChain>(*chain).get(), 0.7f, "framework archive");
}
