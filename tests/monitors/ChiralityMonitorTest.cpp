#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/ChiralityMonitor.h>
#include "monitors/MonitorSupport.h"
#include "support/RecordStream.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::Reloaded;

namespace {

class ChiralityMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

// L-alanine with every hydrogen: about the alpha carbon at the origin the amino nitrogen, the carboxyl
// carbon, the methyl carbon and the hydrogen take the four tetrahedral directions so that, seen with
// the hydrogen away, N -> C' -> CB turns anticlockwise: S.
struct Alanine {
    explicit Alanine(Object* parent, const char* centre = "C")
        : molecule(new Molecule(parent)), alpha(AddAtom(molecule, centre, 0, 0, 0)),
          nitrogen(AddAtom(molecule, "N", 0.85, 0.85, 0.85)), carboxyl(AddAtom(molecule, "C", 0.88, -0.88, -0.88)),
          methyl(AddAtom(molecule, "C", -0.88, 0.88, -0.88)), hydrogen(AddAtom(molecule, "H", -0.63, -0.63, 0.63))
    {
        for (Atom3d* neighbour : {nitrogen, carboxyl, methyl, hydrogen})
            alpha->MakeBond(neighbour, Bond::Single);
        carboxyl->MakeBond(AddAtom(molecule, "O", 1.9, -0.5, -1.2), Bond::Double);
        Atom3d* const hydroxyl = AddAtom(molecule, "O", 0.9, -2.1, -0.9);
        carboxyl->MakeBond(hydroxyl, Bond::Single);
        hydroxyl->MakeBond(AddAtom(molecule, "H", 1.5, -2.6, -0.9), Bond::Single);
        nitrogen->MakeBond(AddAtom(molecule, "H", 1.8, 0.6, 0.9), Bond::Single);
        nitrogen->MakeBond(AddAtom(molecule, "H", 0.6, 1.8, 0.9), Bond::Single);
        methyl->MakeBond(AddAtom(molecule, "H", -1.9, 0.6, -0.9), Bond::Single);
        methyl->MakeBond(AddAtom(molecule, "H", -0.6, 1.9, -0.9), Bond::Single);
        methyl->MakeBond(AddAtom(molecule, "H", -0.9, 0.6, -1.9), Bond::Single);
    }
    // Exchanges the carboxyl and methyl places: D-alanine.
    void Mirror() const
    {
        const Point3d place = carboxyl->GetXYZ();
        carboxyl->SetXYZ(methyl->GetXYZ());
        methyl->SetXYZ(place);
    }
    Molecule* molecule;
    Atom3d* alpha;
    Atom3d* nitrogen;
    Atom3d* carboxyl;
    Atom3d* methyl;
    Atom3d* hydrogen;
};

std::vector<std::string> Labels(ChiralityMonitor& monitor)
{
    DisplayList3D list;
    monitor.Display(list);
    std::vector<std::string> labels;
    for (const Text3DPrimitive* text : list.GetAll<Text3DPrimitive>())
        labels.push_back(text->GetText());
    return labels;
}

} // namespace

TEST_F(ChiralityMonitorTest, LAlanineIsLabelledSAtItsAlphaCarbonAndOnlyThere)
{
    TreeRoot root;
    const Alanine alanine(&root);
    auto* const monitor = new ChiralityMonitor(alanine.molecule);
    EXPECT_EQ(monitor->GetColor(), Color::Green());
    EXPECT_EQ(monitor->GetPropertyAsString("Chiral atoms"), "0");
    EXPECT_FALSE(monitor->SetPropertyFromString("Chiral atoms", "3"));
    EXPECT_EQ(monitor->GetPropertyAsObjectProperty("chiral atoms").GetAccess(), ObjectProperty::AccessReadable);

    DisplayList3D list;
    monitor->Display(list);
    const auto texts = list.GetAll<Text3DPrimitive>();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0]->GetText(), "S");
    EXPECT_EQ(texts[0]->GetPosition(), alanine.alpha->GetXYZ());
    EXPECT_NEAR(texts[0]->GetSize(), 0.1, 1e-6);
    EXPECT_EQ(texts[0]->GetFont(), Font::DefaultBigFont());
    EXPECT_EQ(texts[0]->GetColor(), Color::Green());
    EXPECT_EQ(texts[0]->GetOID(), monitor->GetOID());
    EXPECT_EQ(monitor->GetNumberOfChiralAtoms(), 1);
    EXPECT_EQ(monitor->GetPropertyAsString("Chiral atoms"), "1");

    // Moving atoms marks the monitor; the next drawing finds the mirror image.
    alanine.Mirror();
    EXPECT_TRUE(monitor->NeedsRecalc());
    EXPECT_EQ(Labels(*monitor), std::vector<std::string>{"R"});

    // A hidden chiral atom is found but neither drawn nor counted.
    alanine.alpha->SetInvisible(false);
    EXPECT_TRUE(Labels(*monitor).empty());
    EXPECT_EQ(monitor->GetNumberOfChiralAtoms(), 0);

    // The same centre on silicon is no carbon, and is never labelled.
    const Alanine silicon(&root, "Si");
    auto* const other = new ChiralityMonitor(silicon.molecule);
    EXPECT_NE(silicon.alpha->GetChirality(true), Atom::NotStereocentre);
    EXPECT_TRUE(Labels(*other).empty());
}

TEST_F(ChiralityMonitorTest, StructuralChangesBelowTheParentMarkTheMonitorAndDeletedAtomsAreNeverDrawn)
{
    TreeRoot root;
    const Alanine alanine(&root);
    auto* const monitor = new ChiralityMonitor(alanine.molecule);
    ASSERT_EQ(Labels(*monitor), std::vector<std::string>{"S"});

    Bond* const bond = alanine.carboxyl->GetBond(1);
    bond->SetType(Bond::Single);
    EXPECT_TRUE(monitor->NeedsRecalc());
    EXPECT_EQ(Labels(*monitor), std::vector<std::string>{"S"});
    alanine.carboxyl->GetBond(2)->SetType(Bond::Single);
    EXPECT_EQ(Labels(*monitor), std::vector<std::string>{"S"});

    // Deleting the hydrogen makes the alpha carbon no stereocentre.
    delete alanine.hydrogen;
    EXPECT_TRUE(monitor->NeedsRecalc());
    EXPECT_TRUE(Labels(*monitor).empty());

    // Unheard deletions leave nothing to draw.
    const Alanine second(&root);
    auto* const quiet = new ChiralityMonitor(second.molecule);
    ASSERT_EQ(Labels(*quiet), std::vector<std::string>{"S"});
    Base::SetEventNotify(false);
    delete second.alpha;
    Base::SetEventNotify(true);
    EXPECT_TRUE(Labels(*quiet).empty());
}

TEST_F(ChiralityMonitorTest, LoadedMonitorsFindTheirAtomsAgainAndWatchThem)
{
    ChemDoc document;
    const Alanine alanine(document.GetTreeRoot());
    auto* const monitor = new ChiralityMonitor(alanine.molecule);
    ASSERT_EQ(Labels(*monitor), std::vector<std::string>{"S"});
    const std::unique_ptr<ChemDoc> loaded = Reloaded(document);
    // Saving marked the monitor.
    EXPECT_TRUE(monitor->NeedsRecalc());

    Object* const molecule = loaded->GetTreeRoot()->GetChild(0);
    ChiralityMonitor* back = nullptr;
    for (int i = 0; i < molecule->GetNumChildren() && !back; ++i)
        back = DynCast<ChiralityMonitor>(molecule->GetChild(i));
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->NeedsRecalc());
    EXPECT_EQ(Labels(*back), std::vector<std::string>{"S"});
    auto* const carboxyl = DynCast<Atom3d>(molecule->GetChild(2));
    auto* const methyl = DynCast<Atom3d>(molecule->GetChild(3));
    const Point3d place = carboxyl->GetXYZ();
    carboxyl->SetXYZ(methyl->GetXYZ());
    EXPECT_TRUE(back->NeedsRecalc());
    methyl->SetXYZ(place);
    EXPECT_EQ(Labels(*back), std::vector<std::string>{"R"});

    // The framework record comes back stale and finds its atoms when drawn.
    const Alanine loose(nullptr);
    const std::unique_ptr<Molecule> owner(loose.molecule);
    new ChiralityMonitor(loose.molecule);
    const auto copy = RecordStream::ArchiveCopy<Molecule>(*loose.molecule);
    ASSERT_NE(copy, nullptr);
    ChiralityMonitor* copied = nullptr;
    for (int i = 0; i < copy->GetNumChildren() && !copied; ++i)
        copied = DynCast<ChiralityMonitor>(copy->GetChild(i));
    ASSERT_NE(copied, nullptr);
    EXPECT_TRUE(copied->NeedsRecalc());
    EXPECT_EQ(Labels(*copied), std::vector<std::string>{"S"});
}
