#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/StructureMonitor.h>
#include "monitors/MonitorSupport.h"
#include "support/RecordStream.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::Reloaded;
using Valence = StructureMonitor::Valence;

namespace {

class StructureMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

// An atom bonded to neighbours by the given bond types, with a formal charge.
struct Centre {
    Centre(Object* parent, const char* symbol, std::initializer_list<Bond::BondType> bonds, int charge = 0)
        : molecule(new Molecule(parent)), atom(AddAtom(molecule, symbol, 0, 0, 0))
    {
        double x = 1.0;
        for (const Bond::BondType type : bonds) {
            atom->MakeBond(AddAtom(molecule, "H", x, 0, 0), type);
            x += 1.0;
        }
        if (charge != 0)
            atom->SetFormalCharge(charge, 1);
    }
    Valence Check() const { return StructureMonitor::CheckValence(*atom); }
    Molecule* molecule;
    Atom3d* atom;
};

} // namespace

TEST_F(StructureMonitorTest, ValencesFitTheElementTheChargeAndTheOxidationStates)
{
    TreeRoot root;
    constexpr auto S = Bond::Single;
    constexpr auto D = Bond::Double;
    constexpr auto A = Bond::Aromatic;
    const auto check = [&root](const char* symbol, std::initializer_list<Bond::BondType> bonds, int charge = 0) {
        return Centre(&root, symbol, bonds, charge).Check();
    };
    // Neutral atoms.
    EXPECT_EQ(check("C", {S, S, S, S}), Valence::Correct);
    EXPECT_EQ(check("C", {S, S, S, S, S}), Valence::Over);
    EXPECT_EQ(check("C", {S, S, S}), Valence::Under);
    EXPECT_EQ(check("C", {D, S, S}), Valence::Correct);
    EXPECT_EQ(check("B", {S, S, S}), Valence::Correct);
    EXPECT_EQ(check("O", {S, S}), Valence::Correct);
    EXPECT_EQ(check("Cl", {S, S}), Valence::Over);
    EXPECT_EQ(check("S", {S, S}), Valence::Correct);
    EXPECT_EQ(check("S", {S, S, D}), Valence::Correct);
    EXPECT_EQ(check("S", {S, S, D, D}), Valence::Correct);
    EXPECT_EQ(check("S", {S, S, S}), Valence::Under);
    EXPECT_EQ(check("S", {S, S, S, D, D}), Valence::Over);
    EXPECT_EQ(check("P", {S, S, S}), Valence::Correct);
    EXPECT_EQ(check("P", {S, S, S, D}), Valence::Correct);
    EXPECT_EQ(check("P", {S, S}), Valence::Under);
    EXPECT_EQ(check("P", {D, D, D}), Valence::Over);
    EXPECT_EQ(check("H", {S, S}), Valence::Unchecked);
    EXPECT_EQ(check("Fe", {S, S, S, S, S, S}), Valence::Unchecked);
    EXPECT_EQ(check("He", {}), Valence::Unchecked);

    // Charged atoms: ammonium, alkoxide, the borate and aluminate anions, carbocation and carbanion.
    EXPECT_EQ(check("N", {S, S, S, S}, 1), Valence::Correct);
    EXPECT_EQ(check("O", {S}, -1), Valence::Correct);
    EXPECT_EQ(check("B", {S, S, S, S}, -1), Valence::Correct);
    EXPECT_EQ(check("Al", {S, S, S, S}, -1), Valence::Correct);
    EXPECT_EQ(check("C", {S, S, S}, 1), Valence::Correct);
    EXPECT_EQ(check("C", {S, S, S}, -1), Valence::Correct);
    EXPECT_EQ(check("Si", {S, S, S}, 1), Valence::Correct);
    EXPECT_EQ(check("N", {S, S, S, S}), Valence::Over);
    EXPECT_EQ(check("B", {S, S, S, S}), Valence::Over);

    // Aromatic atoms: benzene and ring-fusion carbons, pyrrole nitrogen, furan oxygen, thiophene sulfur.
    EXPECT_EQ(check("C", {A, A, S}), Valence::Correct);
    EXPECT_EQ(check("C", {A, A, A}), Valence::Correct);
    EXPECT_EQ(check("C", {A, A}), Valence::Under);
    EXPECT_EQ(check("N", {A, A, S}), Valence::Correct);
    EXPECT_EQ(check("N", {A, A}), Valence::Correct);
    EXPECT_EQ(check("O", {A, A}), Valence::Correct);
    EXPECT_EQ(check("S", {A, A}), Valence::Correct);
    // An excess beyond what the aromatic bonds give is flagged; a carbon's aromatic bonds give none.
    EXPECT_EQ(check("N", {A, A, S, S}), Valence::Over);
    EXPECT_EQ(check("O", {A, A, S}), Valence::Over);
    EXPECT_EQ(check("C", {A, A, S, S}), Valence::Over);
    EXPECT_EQ(check("C", {A, A, A, S}), Valence::Over);

    // Dative bonds count one more at their first atom; donated lone pairs one less.
    const Centre donor(&root, "N", {S, S, Bond::Dative});
    EXPECT_EQ(StructureMonitor::SumAtomBondOrders(*donor.atom), 4.0);
    EXPECT_EQ(donor.Check(), Valence::Over);
    EXPECT_EQ(StructureMonitor::SumAtomBondOrders(*DynCast<Atom>(donor.atom->GetAttached(2))), 0.0);
    donor.atom->SetDonatedLonePairs();
    EXPECT_EQ(donor.Check(), Valence::Correct);
}

TEST_F(StructureMonitorTest, FlaggedAtomsAreCountedListedAndRinged)
{
    TreeRoot root;
    auto* const top = new Molecule(&root);
    Centre over(top, "C", {Bond::Single, Bond::Single, Bond::Single, Bond::Single, Bond::Single});
    Centre under(top, "N", {Bond::Single, Bond::Single});
    Centre fine(top, "O", {Bond::Single, Bond::Single});
    auto* const monitor = new StructureMonitor(top);
    EXPECT_EQ(monitor->GetNumOverValenceAtoms(), 0);
    OrdCollection listed;
    EXPECT_EQ(monitor->GetUnderValenceAtoms(listed), 1);
    EXPECT_EQ(listed.GetAt(0), under.atom);
    EXPECT_EQ(monitor->GetNumUnderValenceAtoms(), 1);
    EXPECT_EQ(monitor->GetPropertyAsString("Over-valence Atoms"), "1");
    EXPECT_EQ(monitor->GetPropertyAsString("under-valence atoms"), "1");
    EXPECT_FALSE(monitor->SetPropertyFromString("Over-valence Atoms", "0"));

    DisplayList3D list;
    monitor->Display(list);
    auto rings = list.GetAll<ArcPrimitive>();
    ASSERT_EQ(rings.size(), 6u);
    EXPECT_EQ(rings[0]->GetColor(), Color::Red());
    EXPECT_EQ(rings[0]->GetCentre(), over.atom->GetXYZ());
    EXPECT_EQ(rings[0]->GetSegments(), 20);
    EXPECT_NEAR(Distance(rings[0]->GetStart(), rings[0]->GetCentre()), 0.3, 1e-6);
    EXPECT_EQ(rings[3]->GetColor(), Color::Cyan());
    EXPECT_TRUE(list.GetAll<Text3DPrimitive>().empty());

    // Switches: the words, and the under-valent atoms drawn or not (still counted).
    EXPECT_TRUE(monitor->SetPropertyFromString("Show labels", "yes"));
    EXPECT_TRUE(monitor->SetPropertyFromString("Show under-valence", "nope"));
    EXPECT_EQ(monitor->GetPropertyAsString("Show under-valence"), "False");
    DisplayList3D labelled;
    monitor->Display(labelled);
    EXPECT_EQ(labelled.GetAll<ArcPrimitive>().size(), 3u);
    const auto words = labelled.GetAll<Text3DPrimitive>();
    ASSERT_EQ(words.size(), 1u);
    EXPECT_EQ(words[0]->GetText(), "Over");
    EXPECT_EQ(words[0]->GetPosition(), over.atom->GetAnnotationXYZ());
    EXPECT_EQ(monitor->GetNumUnderValenceAtoms(), 1);

    // A larger atom gets larger rings; a hidden one is counted but not ringed.
    over.atom->SetDisplayStyle(Atom::StyleBallAndStick);
    over.atom->SetBallSize(0.5f);
    monitor->SetDisplayUnderValence(true);
    monitor->SetDisplayLabels(false);
    DisplayList3D larger;
    monitor->Display(larger);
    rings = larger.GetAll<ArcPrimitive>();
    ASSERT_EQ(rings.size(), 6u);
    EXPECT_NEAR(Distance(rings[0]->GetStart(), rings[0]->GetCentre()), 0.7, 1e-6);
    under.atom->SetInvisible(false);
    DisplayList3D hidden;
    monitor->Display(hidden);
    EXPECT_EQ(hidden.GetAll<ArcPrimitive>().size(), 3u);
    EXPECT_EQ(monitor->GetNumUnderValenceAtoms(), 1);
}

TEST_F(StructureMonitorTest, ChangesOfBondsChargesAndAtomsAreHeardAndTheFlagsSurviveTheFile)
{
    ChemDoc document;
    auto* const top = new Molecule(document.GetTreeRoot());
    Centre nitrogen(top, "N", {Bond::Single, Bond::Single, Bond::Single, Bond::Single});
    auto* const monitor = new StructureMonitor(top);
    monitor->SetDisplayLabels(true);
    DisplayList3D list;
    monitor->Display(list);
    EXPECT_EQ(monitor->GetNumOverValenceAtoms(), 1);

    nitrogen.atom->SetFormalCharge(1, 1);
    EXPECT_TRUE(monitor->NeedsRecalc());
    monitor->Display(list);
    EXPECT_EQ(monitor->GetNumOverValenceAtoms(), 0);

    nitrogen.atom->GetBond(0)->SetType(Bond::Double);
    monitor->Display(list);
    EXPECT_EQ(monitor->GetNumOverValenceAtoms(), 1);
    delete nitrogen.atom->GetBond(0);
    monitor->Display(list);
    EXPECT_EQ(monitor->GetNumOverValenceAtoms(), 0);
    EXPECT_EQ(monitor->GetNumUnderValenceAtoms(), 1);

    // An atom made later is checked too.
    Atom3d* const carbon = AddAtom(nitrogen.molecule, "C", 5, 5, 5);
    monitor->Display(list);
    EXPECT_EQ(monitor->GetNumUnderValenceAtoms(), 2);

    // A monitor of given atoms checks those alone.
    auto* const some = new StructureMonitor(top, [carbon] {
        OrdCollection atoms;
        atoms.Add(carbon);
        return atoms;
    }());
    some->Display(list);
    EXPECT_EQ(some->GetNumUnderValenceAtoms(), 1);

    const std::unique_ptr<ChemDoc> loaded = Reloaded(document);
    Object* const topBack = loaded->GetTreeRoot()->GetChild(0);
    std::vector<StructureMonitor*> back;
    for (int i = 0; i < topBack->GetNumChildren(); ++i) {
        if (auto* const found = DynCast<StructureMonitor>(topBack->GetChild(i)))
            back.push_back(found);
    }
    ASSERT_EQ(back.size(), 2u);
    EXPECT_TRUE(back[0]->GetDisplayLabels());
    EXPECT_TRUE(back[0]->NeedsRecalc());
    // The text interface reads after the load what it read before the save.
    EXPECT_EQ(back[0]->GetPropertyAsString("Under-valence Atoms"), monitor->GetPropertyAsString("Under-valence Atoms"));
    EXPECT_EQ(back[1]->GetPropertyAsString("Under-valence Atoms"), "1");
    OrdCollection under;
    EXPECT_EQ(back[0]->GetUnderValenceAtoms(under), 2);
    EXPECT_EQ(back[1]->GetUnderValenceAtoms(under), 1);
    DynCast<Atom3d>(under.GetAt(0))->SetFormalCharge(0, 1);
    EXPECT_EQ(back[0]->GetUnderValenceAtoms(under), 1);

    // The framework record keeps the three flags.
    const std::unique_ptr<Molecule> loose(new Molecule(nullptr));
    AddAtom(loose.get(), "C", 0, 0, 0);
    auto* const flags = new StructureMonitor(loose.get());
    flags->SetDisplayLabels(true);
    flags->SetDisplayUnderValence(false);
    const auto copy = RecordStream::ArchiveCopy<Molecule>(*loose);
    ASSERT_NE(copy, nullptr);
    const auto* const copied = DynCast<StructureMonitor>(copy->GetChild(1));
    ASSERT_NE(copied, nullptr);
    EXPECT_TRUE(copied->GetDisplayLabels());
    EXPECT_FALSE(copied->GetDisplayUnderValence());
    EXPECT_TRUE(copied->NeedsRecalc());
}
