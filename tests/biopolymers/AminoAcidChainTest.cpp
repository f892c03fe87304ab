#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/OrdCollection.h>
#include "BackboneBuilder.h"
#include "ResidueBuilder.h"
#include "support/RecordStream.h"

using namespace Tavrel;
using namespace BackboneBuilder;

namespace {

class AminoAcidChainTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // A bonded chain of n residues with the torsions, under the molecule.
    AminoAcidChain* NewChain(std::size_t n, Torsions torsions = AlphaHelix, const char* name = "ALA")
    {
        auto* chain = new AminoAcidChain(&m_molecule);
        m_residues = AddResidues(chain, Build(torsions, n), name);
        ResidueBuilder::Pool().ConstructResidueBonds(&m_molecule);
        return chain;
    }

    // The same, bonded and then taken out of the molecule, so that its records hold no parent.
    std::unique_ptr<AminoAcidChain> NewLooseChain(std::size_t n)
    {
        std::unique_ptr<AminoAcidChain> chain(NewChain(n));
        chain->SetParent(nullptr);
        return chain;
    }

    std::vector<std::int32_t> Styles() const
    {
        std::vector<std::int32_t> styles;
        for (const AminoAcid* residue : m_residues)
            styles.push_back(residue->GetDisplayStyle());
        return styles;
    }

    static std::vector<std::int32_t> Styles(const AminoAcidChain& chain)
    {
        std::vector<std::int32_t> styles;
        for (int i = 0; i < chain.GetNumChildren(); ++i) {
            if (const auto* residue = DynCast<AminoAcid>(chain.GetChild(i)))
                styles.push_back(residue->GetDisplayStyle());
        }
        return styles;
    }

    Molecule m_molecule{nullptr};
    std::vector<AminoAcid*> m_residues;
};

} // namespace

TEST_F(AminoAcidChainTest, StyleWordsRestyleTheResiduesAndTheResiduesMakeTheChainMixed)
{
    AminoAcidChain* chain = NewChain(4);
    EXPECT_TRUE(chain->SetPropertyFromString("style", "tube"));
    EXPECT_EQ(chain->GetDisplayStyle(), AminoAcidChain::Tube);
    EXPECT_EQ(chain->GetColorScheme(), "Secondary Type");
    EXPECT_EQ(Styles(), std::vector<std::int32_t>(4, AminoAcidChain::Tube));

    chain->SetColorScheme("Residue");
    EXPECT_TRUE(chain->SetPropertyFromString("Style", "NONE"));
    EXPECT_EQ(Styles(), std::vector<std::int32_t>(4, 0));
    EXPECT_EQ(chain->GetColorScheme(), "Residue");
    // An unknown word changes nothing at all.
    EXPECT_FALSE(chain->SetPropertyFromString("Style", "Cartoon"));
    EXPECT_EQ(chain->GetDisplayStyle(), 0);
    EXPECT_EQ(chain->GetColorScheme(), "Residue");

    // A residue restyled apart makes the chain mixed; restyling the chain restyles every residue.
    chain->SetDisplayStyle(AminoAcidChain::RibbonFlat);
    m_residues[2]->SetDisplayStyle(AminoAcidChain::CAlphaWire);
    EXPECT_EQ(chain->GetDisplayStyle(), AminoAcidChain::Mixed);
    EXPECT_EQ(chain->GetAminoAcidDisplayStyle(), AminoAcidChain::Mixed);
    EXPECT_EQ(Styles(), (std::vector<std::int32_t>{2, 2, 7, 2}));
    chain->SetDisplayStyle(AminoAcidChain::Schematic);
    EXPECT_EQ(Styles(), std::vector<std::int32_t>(4, AminoAcidChain::Schematic));
    EXPECT_EQ(chain->GetAminoAcidDisplayStyle(), AminoAcidChain::Schematic);

    // A residue added later is heard too.
    AminoAcid* late = ResidueBuilder::Pool().CreateAminoAcid(chain, "G");
    late->SetDisplayStyle(AminoAcidChain::Schematic);
    EXPECT_EQ(chain->GetDisplayStyle(), AminoAcidChain::Schematic);
    late->SetDisplayStyle(AminoAcidChain::Tube);
    EXPECT_EQ(chain->GetDisplayStyle(), AminoAcidChain::Mixed);
}

TEST_F(AminoAcidChainTest, LoadedAndCopiedChainsKeepResidueStylesAndListenAgain)
{
    const std::unique_ptr<AminoAcidChain> owned = NewLooseChain(3);
    AminoAcidChain* chain = owned.get();
    chain->SetDisplayStyle(AminoAcidChain::RibbonLine);
    m_residues[1]->SetDisplayStyle(AminoAcidChain::Tube);
    ASSERT_EQ(chain->GetDisplayStyle(), AminoAcidChain::Mixed);
    m_residues[0]->SetRibbonSize(0.7f);

    std::vector<std::unique_ptr<AminoAcidChain>> loaded;
    for (const auto form : {RecordStream::Form::Plain, RecordStream::Form::Compressed})
        loaded.push_back(RecordStream::LoadAs<AminoAcidChain>(RecordStream::Save(*chain, form), form));
    loaded.emplace_back(static_cast<AminoAcidChain*>(chain->Copy()));
    // The residues' framework records hold no ribbon size.
    loaded.push_back(RecordStream::ArchiveCopy<AminoAcidChain>(*chain));
    for (const std::unique_ptr<AminoAcidChain>& copy : loaded) {
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->GetDisplayStyle(), AminoAcidChain::Mixed);
        EXPECT_EQ(Styles(*copy), (std::vector<std::int32_t>{1, 5, 1}));
        if (copy != loaded.back()) {
            EXPECT_EQ(static_cast<AminoAcid*>(copy->GetChild(0))->GetRibbonSize(), 0.7f);
        }
        copy->SetDisplayStyle(AminoAcidChain::Tube);
        static_cast<AminoAcid*>(copy->GetChild(2))->SetDisplayStyle(AminoAcidChain::RibbonTube);
        EXPECT_EQ(copy->GetDisplayStyle(), AminoAcidChain::Mixed);
    }

    // A chain of one style listens after a load without restyling its residues.
    chain->SetDisplayStyle(AminoAcidChain::CAlphaStick);
    const auto bytes = RecordStream::Save(*chain);
    const std::unique_ptr<AminoAcidChain> styled = RecordStream::LoadAs<AminoAcidChain>(bytes);
    ASSERT_NE(styled, nullptr);
    static_cast<AminoAcid*>(styled->GetChild(1))->SetDisplayStyle(AminoAcidChain::Tube);
    EXPECT_EQ(styled->GetDisplayStyle(), AminoAcidChain::Mixed);
}

TEST_F(AminoAcidChainTest, StreamLoadedChainHearsEveryAtomOnlyOnceTheTreeIsRead)
{
    const std::unique_ptr<AminoAcidChain> owned = NewLooseChain(3);
    owned->SetDisplayStyle(AminoAcidChain::CAlphaStick);
    for (const auto form : {RecordStream::Form::Plain, RecordStream::Form::Compressed}) {
        const auto loaded = RecordStream::LoadAs<AminoAcidChain>(RecordStream::Save(*owned, form), form);
        ASSERT_NE(loaded, nullptr);
        // The residues' styles, set as their records were read before the chain's own, went unheard.
        EXPECT_EQ(loaded->GetDisplayStyle(), AminoAcidChain::CAlphaStick);
        loaded->GenerateSplines();
        ASSERT_FALSE(loaded->SplinesNeedRegeneration());
        // Each atom took the listener's bit as it joined its residue.
        ResidueBuilder::AtomOf(loaded->GetChild(2), "CA")->SetXYZ(Point3d(0.0, 0.0, 9.0));
        EXPECT_TRUE(loaded->SplinesNeedRegeneration());
        static_cast<AminoAcid*>(loaded->GetChild(0))->SetDisplayStyle(AminoAcidChain::Tube);
        EXPECT_EQ(loaded->GetDisplayStyle(), AminoAcidChain::Mixed);
    }
}

TEST_F(AminoAcidChainTest, ChainPropertiesSurviveTheStreamTheArchiveAndCopies)
{
    const std::unique_ptr<AminoAcidChain> owned = NewLooseChain(3);
    AminoAcidChain* chain = owned.get();
    chain->SetHasSecondaryStructure(true);
    chain->SetDisplaySize(1.5f);
    chain->SetColorScheme("pKa");
    chain->SetDisulfideDisplay(false);
    chain->SetSecondaryColors(Color::Black(), Color::Blue(), Color::Yellow(), Color::Magenta());
    chain->UseExternalEnvironment();

    const auto check = [](const AminoAcidChain& copy, bool all) {
        EXPECT_TRUE(copy.HasSecondaryStructure());
        EXPECT_EQ(copy.GetDisplaySize(), 1.5f);
        EXPECT_EQ(copy.GetColorScheme(), "pKa");
        EXPECT_EQ(copy.CheckUsingExternalEnvironment(), all);
        EXPECT_EQ(copy.GetDisulfideDisplay(), !all);
        Color coil, helix, sheet, turn;
        copy.GetSecondaryColors(coil, helix, sheet, turn);
        EXPECT_EQ(helix, all ? Color::Blue() : Color::Red());
        EXPECT_EQ(turn, all ? Color::Magenta() : Color::Green());
        EXPECT_TRUE(copy.SplinesNeedRegeneration());
    };
    for (const auto form : {RecordStream::Form::Plain, RecordStream::Form::Compressed}) {
        const auto loaded = RecordStream::LoadAs<AminoAcidChain>(RecordStream::Save(*chain, form), form);
        ASSERT_NE(loaded, nullptr);
        check(*loaded, true);
    }
    const std::unique_ptr<Base> copy(chain->Copy());
    check(*DynCast<AminoAcidChain>(copy.get()), true);
    // The framework archive keeps the flag, the size and the scheme.
    const auto archived = RecordStream::ArchiveCopy<AminoAcidChain>(*chain);
    ASSERT_NE(archived, nullptr);
    check(*archived, false);
}

TEST_F(AminoAcidChainTest, PredictionSetsRibbonSizesAndTheEnvironmentFlagsDecideWhatIsUsed)
{
    AminoAcidChain* chain = NewChain(12);
    EXPECT_FALSE(chain->HasSecondaryStructure());
    chain->CalcSecondaryStructure();
    EXPECT_TRUE(chain->HasSecondaryStructure());
    EXPECT_EQ(m_residues[0]->GetRibbonSize(), 0.225f);
    EXPECT_EQ(m_residues[5]->GetEnvironment(), AminoAcid::Helix);
    EXPECT_EQ(m_residues[5]->GetRibbonSize(), 1.3f);

    // External classes, coloured at once under the secondary scheme.
    chain->SetColorScheme("Secondary Type");
    EXPECT_EQ(m_residues[5]->GetColor(), Color::Red());
    EXPECT_EQ(m_residues[5]->GetColorScheme(), "");
    for (AminoAcid* residue : m_residues)
        residue->SetExternalEnvironment(AminoAcid::Sheet);
    chain->UseExternalEnvironment();
    EXPECT_EQ(m_residues[5]->GetEnvironment(), AminoAcid::Sheet);
    EXPECT_EQ(m_residues[5]->GetColor(), Color::Cyan());
    // Back to prediction: the colouring predicts again.
    chain->UsePredictedEnvironment();
    EXPECT_TRUE(chain->HasSecondaryStructure());
    EXPECT_EQ(m_residues[5]->GetColor(), Color::Red());
    chain->UsePredictedEnvironment();
    EXPECT_FALSE(chain->CheckUsingExternalEnvironment());

    // Old records get the default sizes by their classes.
    m_residues[5]->SetRibbonSize(3.0f);
    chain->PostProcess(false, 10);
    EXPECT_EQ(m_residues[5]->GetRibbonSize(), 3.0f);
    chain->PostProcess(false, 9);
    EXPECT_EQ(m_residues[5]->GetRibbonSize(), 1.3f);
}

TEST_F(AminoAcidChainTest, ColoursAndSchemesReachEveryResidue)
{
    AminoAcidChain* chain = NewChain(3);
    std::vector<std::string> schemes;
    EXPECT_EQ(chain->GetColorSchemes(schemes), 5);
    EXPECT_EQ(schemes.back(), "Secondary Type");

    chain->SetColorScheme("Residue");
    EXPECT_EQ(chain->GetAminoAcidColorScheme(), "Residue");
    m_residues[1]->SetColorScheme("residue");
    EXPECT_EQ(chain->GetAminoAcidColorScheme(), "Residue");
    m_residues[1]->SetColorScheme("pKa");
    EXPECT_EQ(chain->GetAminoAcidColorScheme(), "");

    chain->SetColor(Color::Grey());
    EXPECT_EQ(chain->GetColor(), Color::Grey());
    EXPECT_EQ(m_residues[2]->GetColor(), Color::Grey());

    chain->SetColorScheme("SECONDARY TYPE");
    chain->SetSecondaryColors(Color::Yellow(), Color::Red(), Color::Cyan(), Color::Green());
    EXPECT_EQ(m_residues[0]->GetColor(), Color::Yellow());
}

TEST_F(AminoAcidChainTest, ContinuityFollowsPeptideBondsButNotDisulfides)
{
    EXPECT_FALSE(AminoAcidChain(nullptr).IsContinuous());
    AminoAcidChain* chain = NewChain(4);
    EXPECT_TRUE(chain->IsContinuous());

    // Two cysteines far apart in sequence, joined only by their sulfur atoms.
    auto* bridged = new AminoAcidChain(&m_molecule);
    const ResiduePool& pool = ResidueBuilder::Pool();
    Residue* first = pool.CreateResidue(bridged, "CYS");
    Residue* second = pool.CreateResidue(bridged, "CYS");
    ResidueBuilder::AddAtoms(first, {{"N", "N", Point3d(0.0, 0.0, 0.0)},
                                     {"CA", "C", Point3d(1.45, 0.0, 0.0)},
                                     {"CB", "C", Point3d(2.0, 1.4, 0.0)},
                                     {"SG", "S", Point3d(3.8, 1.5, 0.0)}});
    ResidueBuilder::AddAtoms(second, {{"N", "N", Point3d(8.0, 0.0, 0.0)},
                                      {"CA", "C", Point3d(6.55, 0.0, 0.0)},
                                      {"CB", "C", Point3d(6.0, 1.4, 0.0)},
                                      {"SG", "S", Point3d(4.2, 3.5, 0.0)}});
    for (Residue* residue : {first, second}) {
        ResidueBuilder::AtomOf(residue, "N")->MakeBond(ResidueBuilder::AtomOf(residue, "CA"), Bond::Single);
        ResidueBuilder::AtomOf(residue, "CA")->MakeBond(ResidueBuilder::AtomOf(residue, "CB"), Bond::Single);
        ResidueBuilder::AtomOf(residue, "CB")->MakeBond(ResidueBuilder::AtomOf(residue, "SG"), Bond::Single);
    }
    ResidueBuilder::AtomOf(first, "SG")->MakeBond(ResidueBuilder::AtomOf(second, "SG"), Bond::Single);
    EXPECT_FALSE(bridged->IsContinuous());
    // A covalent path besides the bridge makes it continuous.
    ResidueBuilder::AtomOf(first, "CA")->MakeBond(ResidueBuilder::AtomOf(second, "CA"), Bond::Single);
    EXPECT_TRUE(bridged->IsContinuous());
}

TEST_F(AminoAcidChainTest, PhiAndPsiOfAnIdealHelix)
{
    NewChain(6);
    OrdCollection residues;
    for (AminoAcid* residue : m_residues)
        residues.Add(residue);
    residues.InsertAt(2, &m_molecule);  // not an amino acid: filtered out
    DoubleArray phi(2, 5.0);
    DoubleArray psi(9, 5.0);
    AminoAcidChain::CalculatePhiPsi(residues, phi, psi);
    EXPECT_EQ(residues.GetNumItems(), 6);
    ASSERT_EQ(phi.size(), 6u);
    EXPECT_EQ(psi.size(), 9u);
    EXPECT_EQ(phi[0], 0.0);
    EXPECT_EQ(psi[5], 0.0);
    EXPECT_EQ(psi[6], 5.0);
    for (int i = 1; i < 5; ++i) {
        EXPECT_NEAR(phi[i], -57.0, 0.01) << i;
        EXPECT_NEAR(psi[i], -47.0, 0.01) << i;
    }
    OrdCollection one;
    one.Add(m_residues[3]);
    AminoAcidChain::CalculatePhiPsi(one, phi, psi);
    EXPECT_EQ(phi[0], 0.0);
    EXPECT_EQ(psi[0], 0.0);
}

TEST_F(AminoAcidChainTest, InsertionSelectionAndSplineMarks)
{
    AminoAcidChain* chain = NewChain(3);
    AminoAcid* loose = static_cast<AminoAcid*>(ResidueBuilder::Pool().CreateResidue(&m_molecule, "GLY"));
    EXPECT_FALSE(chain->InsertAminoAcid(nullptr, nullptr));
    EXPECT_FALSE(chain->InsertAminoAcid(loose, static_cast<AminoAcid*>(ResidueBuilder::Pool().CreateResidue(&m_molecule, "GLY"))));
    EXPECT_TRUE(chain->InsertAminoAcid(loose, nullptr));
    EXPECT_EQ(chain->GetChild(0), loose);
    EXPECT_TRUE(chain->InsertAminoAcid(loose, m_residues[1]));
    EXPECT_EQ(chain->FindChildIndex(loose), 2);
    EXPECT_EQ(chain->FindChildIndex(m_residues[2]), 3);

    EXPECT_TRUE(chain->CheckAllAminoAcidsSelected() == false && !chain->CheckAnyAminoAcidSelected());
    m_residues[0]->Select(false);
    EXPECT_TRUE(chain->CheckAnyAminoAcidSelected());
    EXPECT_FALSE(chain->CheckAllAminoAcidsSelected());
    EXPECT_TRUE(AminoAcidChain(nullptr).CheckAllAminoAcidsSelected());

    // The splines are made again after a change below the chain, not after a selection.
    chain->SetDisplayStyle(AminoAcidChain::Schematic);
    chain->GenerateSplines();
    EXPECT_FALSE(chain->SplinesNeedRegeneration());
    m_residues[2]->Select(false);
    EXPECT_FALSE(chain->SplinesNeedRegeneration());
    ResidueBuilder::AtomOf(m_residues[1], "CA")->SetXYZ(Point3d(0.0, 0.0, 9.0));
    EXPECT_TRUE(chain->SplinesNeedRegeneration());
    chain->GenerateSplines();
    chain->SetDisplaySize(2.0f);
    EXPECT_TRUE(chain->SplinesNeedRegeneration());
}
