#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/biopolymers/SecondaryPredict.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include "BackboneBuilder.h"

using namespace Tavrel;
using namespace BackboneBuilder;

namespace {

class SecondaryPredictTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // The classes of the chain's residues as letters: C coil, H helix, E sheet, T turn.
    static std::string Classes(AminoAcidChain& chain)
    {
        std::string letters;
        for (int i = 0; i < chain.GetNumChildren(); ++i) {
            if (const auto* residue = DynCast<AminoAcid>(chain.GetChild(i)))
                letters += "CHET"[residue->GetEnvironment()];
        }
        return letters;
    }

    static std::string Predict(AminoAcidChain& chain, int method, bool turns = false)
    {
        SecondaryPredict predict;
        predict.SetMethod(method);
        predict.SetPredictTurns(turns);
        EXPECT_TRUE(predict.Predict(&chain));
        return Classes(chain);
    }

    Molecule m_molecule{nullptr};
};

// Residues whose atoms only make the hydrogen bonds asked for: C-alpha atoms 1.5 apart along x (so
// residues up to five apart are neighbours), and each bond "CO of x to NH of y" built alone at a site
// of its own, C=O...H-N in line with 1.9 from O to H. A residue without a bond keeps no N, H or C, O.
struct Bonded {
    int acceptor;
    int donor;
};

std::vector<AminoAcid*> BuildPattern(AminoAcidChain* chain, int n, const std::vector<Bonded>& bonds,
                                     const std::vector<int>& prolines = {}, int withoutAlpha = -1)
{
    const ResiduePool& pool = ResiduePool::GetResiduePool();
    std::vector<AminoAcid*> residues;
    for (int i = 0; i < n; ++i) {
        const bool proline = std::find(prolines.begin(), prolines.end(), i) != prolines.end();
        residues.push_back(static_cast<AminoAcid*>(pool.CreateResidue(chain, proline ? "PRO" : "ALA")));
        if (i != withoutAlpha) {
            auto* const alpha = new Atom3d(residues.back(), "C");
            alpha->SetLabel("CA");
            alpha->SetXYZ(Point3d(1.5 * i, 0.0, 0.0));
        }
    }
    const auto add = [](AminoAcid* residue, const char* label, const char* symbol, const Point3d& at) {
        auto* const atom = new Atom3d(residue, symbol);
        atom->SetLabel(label);
        atom->SetXYZ(at);
    };
    for (std::size_t b = 0; b < bonds.size(); ++b) {
        const Point3d site(0.0, 40.0 + 12.0 * static_cast<double>(b), 0.0);
        add(residues[bonds[b].acceptor], "C", "C", site - Point3d(0.0, 0.0, 1.23));
        add(residues[bonds[b].acceptor], "O", "O", site);
        add(residues[bonds[b].donor], "H", "H", site + Point3d(0.0, 0.0, 1.9));
        add(residues[bonds[b].donor], "N", "N", site + Point3d(0.0, 0.0, 2.9));
    }
    return residues;
}

} // namespace

TEST_F(SecondaryPredictTest, BothMethodsFindAnIdealAlphaHelix)
{
    auto* chain = new AminoAcidChain(&m_molecule);
    const std::vector<AminoAcid*> residues = AddResidues(chain, Build(AlphaHelix, 12));
    ResiduePool::GetResiduePool().ConstructResidueBonds(&m_molecule);
    // Method 0: the 4-turns from residue 0 to 7 make residues 1 to 10 helical; the last helix residue
    // lies one before the last turn's end, at the chain's end as in mid-chain.
    EXPECT_EQ(Predict(*chain, 0), "CHHHHHHHHHHC");
    // Method 1: O(i) within 4.2 of H(i + 3) with helical torsions from residue 1 on; the test of the
    // last residue that has one fails (no residue i + 3 beyond the chain).
    EXPECT_EQ(Predict(*chain, 1), "CCHHHHHHHHHC");
    EXPECT_TRUE(chain->HasSecondaryStructure());
    // Without an O the last residue tested is passed over: the run still open when the tests end
    // reaches two residues past its last.
    delete ResiduePool::FindAtom(residues[9], "O");
    EXPECT_EQ(Predict(*chain, 1), "CCHHHHHHHHHC");
}

TEST_F(SecondaryPredictTest, BothMethodsFindAnIdealAntiparallelSheet)
{
    // Two planar strands of six, the second turned to run back along the first; residue 2 of each
    // bonds residue 2 of the other both ways, and so do 0 and 4 of the first with 4 and 0 of the second.
    const std::vector<BackboneAtoms> strand = Build(Extended, 6);
    std::vector<BackboneAtoms> both = strand;
    const std::vector<BackboneAtoms> partner = AntiparallelPartner(strand, 2);
    both.insert(both.end(), partner.begin(), partner.end());
    auto* chain = new AminoAcidChain(&m_molecule);
    AddResidues(chain, both);
    ResiduePool::GetResiduePool().ConstructResidueBonds(&m_molecule);

    // Method 0: the bridges (1, 9), (2, 8) and (3, 7) form one ladder.
    EXPECT_EQ(Predict(*chain, 0), "CEEECCCEEECC");
    // Method 1: O-H pairs within 3.6 pair residues 1 to 4 with 6 to 9.
    EXPECT_EQ(Predict(*chain, 1), "CEEEECEEEECC");
    // No turns are predicted by method 1 unless asked; none lie in this sheet either way.
    EXPECT_EQ(Predict(*chain, 1, true), "CEEEECEEEECC");
}

TEST_F(SecondaryPredictTest, MethodOneSeesNoBondToADonorWithoutAHydrogen)
{
    // The second strand has no hydrogens and its nitrogens no bonds: nothing it could donate is
    // placed at the origin, where the first strand's atoms lie.
    const std::vector<BackboneAtoms> strand = Build(Extended, 6);
    auto* chain = new AminoAcidChain(&m_molecule);
    AddResidues(chain, strand);
    AddResidues(chain, AntiparallelPartner(strand, 2), "GLY", false);
    EXPECT_EQ(Predict(*chain, 1), "CCCCCCCCCCCC");
}

TEST_F(SecondaryPredictTest, ShortThreeTenAndPiHelicesBecomeTurns)
{
    {
        // Two 3-turns (4 and 5) make a G helix of residues 5 to 7; it stays a helix.
        auto* chain = new AminoAcidChain(&m_molecule);
        BuildPattern(chain, 12, {{4, 7}, {5, 8}});
        EXPECT_EQ(Predict(*chain, 0), "CCCCCHHHCCCC");
    }
    {
        // An H helix (4-turns at 6 and 7: residues 7 to 10) takes residue 7 from it: the G run of
        // two left becomes T.
        auto* chain = new AminoAcidChain(&m_molecule);
        BuildPattern(chain, 14, {{4, 7}, {5, 8}, {6, 10}, {7, 11}});
        EXPECT_EQ(Predict(*chain, 0), "CCCCCTTHHHHCCC");
    }
    {
        // 5-turns at 2 and 3 make an I helix of residues 3 to 7; the H helix from 7 leaves four.
        auto* chain = new AminoAcidChain(&m_molecule);
        BuildPattern(chain, 14, {{2, 7}, {3, 8}, {6, 10}, {7, 11}});
        EXPECT_EQ(Predict(*chain, 0), "CCCTTTTHHHHCCC");
    }
}

TEST_F(SecondaryPredictTest, AHelixEndsOneBeforeItsLastTurnEndAtTheChainEndAsInMidChain)
{
    const std::vector<Bonded> turns = {{1, 5}, {2, 6}, {3, 7}, {4, 8}};
    auto* midChain = new AminoAcidChain(&m_molecule);
    BuildPattern(midChain, 12, turns);
    EXPECT_EQ(Predict(*midChain, 0), "CCHHHHHHCCCC");
    auto* atEnd = new AminoAcidChain(&m_molecule);
    BuildPattern(atEnd, 9, turns);
    EXPECT_EQ(Predict(*atEnd, 0), "CCHHHHHHC");
}

TEST_F(SecondaryPredictTest, MethodZeroTakesNoProlineAsDonorAndNoDonorWithoutAHydrogen)
{
    auto* turn = new AminoAcidChain(&m_molecule);
    BuildPattern(turn, 8, {{2, 5}});
    EXPECT_EQ(Predict(*turn, 0), "CCCTTCCC");

    auto* proline = new AminoAcidChain(&m_molecule);
    BuildPattern(proline, 8, {{2, 5}}, {5});
    EXPECT_EQ(Predict(*proline, 0), "CCCCCCCC");

    // Without its hydrogen the donor would bond, were the hydrogen taken to lie at the origin.
    auto* noHydrogen = new AminoAcidChain(&m_molecule);
    const std::vector<AminoAcid*> residues = BuildPattern(noHydrogen, 8, {{2, 5}});
    delete ResiduePool::FindAtom(residues[5], "H");
    const Point3d shift = Point3d(0.0, 0.0, -1.9) - ResiduePool::FindAtom(residues[2], "O")->GetXYZ();
    for (Atom3d* atom : {ResiduePool::FindAtom(residues[2], "C"), ResiduePool::FindAtom(residues[2], "O"),
                         ResiduePool::FindAtom(residues[5], "N")})
        atom->SetXYZ(atom->GetXYZ() + shift);
    EXPECT_EQ(Predict(*noHydrogen, 0), "CCCCCCCC");
}

TEST_F(SecondaryPredictTest, MethodZeroCountsCoincidingAtomsAsABondAndKeepsPartnersPastAMissingAlpha)
{
    // The donor's N and H on the acceptor's O: no energy can be computed, the floor is taken, a bond.
    auto* coinciding = new AminoAcidChain(&m_molecule);
    const std::vector<AminoAcid*> residues = BuildPattern(coinciding, 8, {{2, 5}});
    const Point3d oxygen = ResiduePool::FindAtom(residues[2], "O")->GetXYZ();
    ResiduePool::FindAtom(residues[5], "H")->SetXYZ(oxygen);
    ResiduePool::FindAtom(residues[5], "N")->SetXYZ(oxygen);
    EXPECT_EQ(Predict(*coinciding, 0), "CCCTTCCC");

    // Residue 0 has no C-alpha: the later residues keep their own partners.
    auto* gap = new AminoAcidChain(&m_molecule);
    BuildPattern(gap, 12, {{4, 7}, {5, 8}}, {}, 0);
    EXPECT_EQ(Predict(*gap, 0), "CCCCCHHHCCCC");
}

TEST_F(SecondaryPredictTest, ShortChainsAndUnknownMethods)
{
    auto* chain = new AminoAcidChain(&m_molecule);
    const std::vector<AminoAcid*> residues = AddResidues(chain, Build(AlphaHelix, 3));
    residues[1]->SetEnvironment(AminoAcid::Helix);

    SecondaryPredict predict;
    predict.SetMethod(1);
    EXPECT_FALSE(predict.Predict(chain));
    EXPECT_EQ(Classes(*chain), "CHC");
    EXPECT_FALSE(chain->HasSecondaryStructure());

    predict.SetMethod(2);
    EXPECT_FALSE(predict.Predict(chain));
    EXPECT_FALSE(predict.Predict(nullptr));
    EXPECT_EQ(Classes(*chain), "CHC");

    predict.SetMethod(0);
    EXPECT_TRUE(predict.Predict(chain));
    EXPECT_EQ(Classes(*chain), "CCC");
}

TEST_F(SecondaryPredictTest, MethodOneResetsIsolatedResiduesAndMarksTurnsOnlyWhenAsked)
{
    // Strands of three pair only their middle residues, 1 and 4: each is a lone sheet residue.
    const std::vector<BackboneAtoms> strand = Build(Extended, 3);
    auto* pair = new AminoAcidChain(&m_molecule);
    AddResidues(pair, strand);
    AddResidues(pair, AntiparallelPartner(strand, 1));
    EXPECT_EQ(Predict(*pair, 1), "CCCCCC");

    // Three helical residues in a strand: too short a run for a helix; O(2) reaches H(5), a turn.
    std::vector<Torsions> torsions(3, Extended);
    torsions.insert(torsions.end(), 3, AlphaHelix);
    torsions.insert(torsions.end(), 4, Extended);
    auto* bend = new AminoAcidChain(&m_molecule);
    AddResidues(bend, Build(torsions));
    EXPECT_EQ(Predict(*bend, 1), "CCCCCCCCCC");
    EXPECT_EQ(Predict(*bend, 1, true), "CCTTTTCCCC");
    // Method 0 marks turns whatever the switch says.
    EXPECT_EQ(Predict(*bend, 0, false), Predict(*bend, 0, true));
}
