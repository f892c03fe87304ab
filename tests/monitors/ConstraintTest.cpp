#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/FixedAtomConstraint.h>
#include <tavrel/monitors/HarmonicAtomRestraint.h>
#include "monitors/MonitorSupport.h"
#include "support/Near.h"

using namespace Tavrel;
using MonitorSupport::AddAtom;
using MonitorSupport::Alive;
using MonitorSupport::FirstChild;
using MonitorSupport::LastListed;
using MonitorSupport::Reloaded;
using MonitorSupport::Selection;
using Tavrel::test::Near;

namespace {

class ConstraintTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

std::vector<Object*> Members(const FixedAtomConstraint& constraint)
{
    OrdCollection atoms;
    constraint.GetAtoms(atoms);
    return MonitorSupport::Entries(atoms);
}

} // namespace

TEST_F(ConstraintTest, NewConstraintsAreEnabledStyledAndColouredAndTakeEnabledAsText)
{
    const std::unique_ptr<Constraint> constraint(ClassAccess::New<Constraint>());
    EXPECT_TRUE(constraint->CheckEnabled());
    EXPECT_EQ(constraint->GetDisplayStyle(), 1);
    EXPECT_EQ(constraint->GetColor(), Color(0, 0, 255, 0));
    EXPECT_EQ(constraint->GetDefaultColor(), Color(0, 0, 255, 0));
    constraint->SetLabel("A");
    EXPECT_EQ(constraint->GetLabel(), "A");

    EXPECT_TRUE(constraint->SetPropertyFromString("enabled", "false"));
    EXPECT_EQ(constraint->GetPropertyAsString("Enabled"), "false");
    EXPECT_FALSE(constraint->CheckEnabled());
    EXPECT_FALSE(constraint->SetPropertyFromString("Enabled", "maybe"));
    EXPECT_FALSE(constraint->CheckEnabled());
    EXPECT_TRUE(constraint->SetPropertyFromString("Enabled", " 1 (on)"));
    EXPECT_EQ(constraint->GetPropertyAsString("Enabled"), "true");
    const ObjectProperty enabled = constraint->GetPropertyAsObjectProperty("Enabled");
    EXPECT_EQ(enabled.GetAccess(), Constraint::ReadWriteAccess);
    EXPECT_EQ(enabled.GetPropertyType(), 2);
    EXPECT_EQ(LastListed(*constraint, 1), std::vector<std::string>{"Enabled"});

    const std::unique_ptr<Restraint> restraint(ClassAccess::New<Restraint>());
    EXPECT_EQ(restraint->GetColor(), Color(0, 200, 255, 0));
    EXPECT_EQ(restraint->GetDefaultColor(), Color(0, 200, 255, 0));
    restraint->SetColor(Color(1, 2, 3, 4));
    EXPECT_EQ(restraint->GetColor(), Color(1, 2, 3, 4));
}

TEST_F(ConstraintTest, LabelFormatsPlaceTheLabelOnceAndTakeEverythingElseLiterally)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const atom = AddAtom(molecule, "C", 0, 0, 0);
    auto* const fixed = new FixedAtomConstraint(molecule, Selection({atom}));
    fixed->SetLabel("A");
    EXPECT_EQ(fixed->GetLabel(), "Fixed:A");
    EXPECT_EQ(fixed->GetPropertyAsString("Name"), "Fixed:A");
    const auto labelled = [fixed](const char* format) {
        fixed->SetLabelFormat(format);
        return fixed->GetLabel();
    };
    EXPECT_EQ(labelled("Fixed %%: %s"), "Fixed %: A");
    EXPECT_EQ(labelled("%s and %s"), "A and %s");
    EXPECT_EQ(labelled("%d %s %n"), "%d A %n");
    EXPECT_EQ(labelled("100%% fixed"), "A");
    EXPECT_EQ(labelled("%%s"), "A");
    EXPECT_EQ(labelled("plain"), "A");
    EXPECT_EQ(labelled(""), "A");
    EXPECT_EQ(labelled(nullptr), "A");
    EXPECT_EQ(labelled("%s%"), "A%");

    auto* const harmonic = new HarmonicAtomRestraint(molecule, Selection({atom}));
    EXPECT_EQ(harmonic->GetLabel(), "Harmonic:");
    harmonic->SetLabel("B %s");
    EXPECT_EQ(harmonic->GetLabel(), "Harmonic:B %s");
}

TEST_F(ConstraintTest, MarkersRingEachShownAtomJustOutsideItsLabelPoint)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const line = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const ball = AddAtom(molecule, "C", 5, 0, 0);
    ball->SetDisplayStyle(Atom::StyleBallAndStick);
    ball->SetBallSize(0.4f);
    Atom3d* const hidden = AddAtom(molecule, "C", 0, 5, 0);
    hidden->SetInvisible(false);
    Atom3d* const unstyled = AddAtom(molecule, "C", 0, 0, 5);
    unstyled->SetDisplayStyle(0);
    auto* const harmonic = new HarmonicAtomRestraint(molecule, Selection({line, molecule, ball, hidden, unstyled}));
    OrdCollection members;
    harmonic->GetAtoms(members);
    EXPECT_EQ(members.GetSize(), 4);

    DisplayList3D list;
    harmonic->Display(list);
    const auto rings = list.GetAll<ArcPrimitive>();
    ASSERT_EQ(rings.size(), 6u);
    const Point3d axes[] = {Point3d::jVector, Point3d::kVector, Point3d::iVector};
    const Point3d starts[] = {Point3d::iVector, Point3d::iVector, Point3d::jVector};
    const double radii[] = {0.3, 0.55};
    const Point3d centres[] = {Point3d(0, 0, 0), Point3d(5, 0, 0)};
    for (std::size_t i = 0; i < rings.size(); ++i) {
        const ArcPrimitive& ring = *rings[i];
        EXPECT_EQ(ring.GetAxis(), axes[i % 3]);
        EXPECT_TRUE(Near(ring.GetStart(), centres[i / 3] + radii[i / 3] * starts[i % 3], 1e-5));
        EXPECT_EQ(ring.GetCentre(), centres[i / 3]);
        EXPECT_EQ(ring.GetDegrees(), 360.0);
        EXPECT_EQ(ring.GetSegments(), 6);
        EXPECT_EQ(ring.GetColor(), Color(0, 200, 255, 0));
        EXPECT_EQ(ring.GetOID(), harmonic->GetOID());
    }

    line->Deactivate();
    harmonic->Select(false);
    DisplayList3D selected;
    harmonic->Display(selected);
    const auto selectedRings = selected.GetAll<ArcPrimitive>();
    ASSERT_EQ(selectedRings.size(), 3u);
    EXPECT_EQ(selectedRings[0]->GetColor(), Color::Selected());
    EXPECT_EQ(selectedRings[0]->GetCentre(), Point3d(5, 0, 0));
}

TEST_F(ConstraintTest, AnAtomsDeletionLeavesTheSetAndOnlyTheLastOneTakesTheConstraint)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(molecule, "N", 1, 0, 0);
    Atom3d* const c = AddAtom(molecule, "O", 2, 0, 0);
    auto* const fixed = new FixedAtomConstraint(molecule, Selection({a, b}));
    fixed->AddAtomA(c);
    fixed->AddAtomA(a);
    fixed->AddAtomA(nullptr);
    EXPECT_EQ(Members(*fixed), (std::vector<Object*>{a, b, c}));
    const std::uint32_t oid = fixed->GetOID();

    delete b;
    EXPECT_TRUE(Alive(oid));
    EXPECT_EQ(Members(*fixed), (std::vector<Object*>{a, c}));
    EXPECT_EQ(fixed->GetLogicalAtoms().CheckMember(a->GetLID()), true);

    // Removed atoms are no longer watched, and removing never deletes.
    fixed->RemoveAllAtoms();
    delete a;
    EXPECT_TRUE(Alive(oid));
    fixed->AddAtomSet(Selection({c, molecule}));
    fixed->RemoveAtom(nullptr);
    EXPECT_EQ(Members(*fixed), (std::vector<Object*>{c}));
    delete c;
    EXPECT_FALSE(Alive(oid));
    EXPECT_EQ(molecule->GetNumChildren(), 0);
}

TEST_F(ConstraintTest, HarmonicParametersTakeTheirTexts)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    auto* const harmonic = new HarmonicAtomRestraint(molecule, Selection({AddAtom(molecule, "C", 0, 0, 0)}));
    EXPECT_EQ(harmonic->GetForceConstant(), 1.0);
    EXPECT_TRUE(harmonic->CheckUseMassWeighting());
    EXPECT_TRUE(harmonic->SetPropertyFromString("Force Constant", "2.5 kcal"));
    EXPECT_EQ(harmonic->GetPropertyAsString("force constant"), "2.500000");
    EXPECT_FALSE(harmonic->SetPropertyFromString("Force Constant", "strong"));
    EXPECT_FALSE(harmonic->SetPropertyFromString("Force Constant", "-2.5 kcal"));
    EXPECT_EQ(harmonic->GetForceConstant(), 2.5);
    EXPECT_TRUE(harmonic->SetPropertyFromString("Use Mass Weighting", "false"));
    EXPECT_EQ(harmonic->GetPropertyAsString("Use Mass Weighting"), "false");
    EXPECT_FALSE(harmonic->SetPropertyFromString("Use Mass Weighting", "yes please"));
    EXPECT_FALSE(harmonic->SetPropertyFromString("Use Mass Weighting", "trueish"));
    EXPECT_FALSE(harmonic->CheckUseMassWeighting());
    EXPECT_EQ(LastListed(*harmonic, 3), (std::vector<std::string>{"Enabled", "Force Constant", "Use Mass Weighting"}));
    EXPECT_EQ(harmonic->GetPropertyAsObjectProperty("Use Mass Weighting").GetPropertyType(), 2);
}

TEST_F(ConstraintTest, ConstraintsSurviveTheDocumentFileAndStillWatchTheirAtoms)
{
    ChemDoc document;
    auto* const molecule = new Molecule(document.GetTreeRoot());
    auto* const other = new Molecule(document.GetTreeRoot());
    // The constraints come before their atoms, and one reaches into another molecule.
    auto* const fixed = new FixedAtomConstraint(molecule, OrdCollection());
    auto* const harmonic = new HarmonicAtomRestraint(molecule, OrdCollection());
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(other, "N", 1, 0, 0);
    fixed->AddAtomSet(Selection({b, a}));
    fixed->SetLabelFormat("%s %% %s");
    fixed->SetLabel("F");
    fixed->Disable();
    delete harmonic;
    auto* const loose = new HarmonicAtomRestraint(molecule, Selection({a, b}));
    loose->SetForceConstant(7.25);
    loose->SetUseMassWeighting(false);

    const std::unique_ptr<ChemDoc> loaded = Reloaded(document);
    Object* const top = loaded->GetTreeRoot()->GetChild(0);
    Object* const second = loaded->GetTreeRoot()->GetChild(1);
    ASSERT_TRUE(top && second);
    auto* const fixedBack = FirstChild<FixedAtomConstraint>(*top);
    auto* const looseBack = FirstChild<HarmonicAtomRestraint>(*top);
    ASSERT_TRUE(fixedBack && looseBack);
    Object* const aBack = FirstChild<Atom3d>(*top);
    Object* const bBack = FirstChild<Atom3d>(*second);
    EXPECT_EQ(Members(*fixedBack), (std::vector<Object*>{bBack, aBack}));
    EXPECT_EQ(fixedBack->GetLabel(), "F % %s");
    EXPECT_FALSE(fixedBack->CheckEnabled());
    EXPECT_EQ(looseBack->GetForceConstant(), 7.25);
    EXPECT_FALSE(looseBack->CheckUseMassWeighting());

    const std::uint32_t fixedOID = fixedBack->GetOID();
    const std::uint32_t looseOID = looseBack->GetOID();
    delete aBack;
    EXPECT_TRUE(Alive(fixedOID));
    delete bBack;
    EXPECT_FALSE(Alive(fixedOID));
    EXPECT_FALSE(Alive(looseOID));
}

TEST_F(ConstraintTest, CopiesTakeTheConstraintsThatHoldACopiedAtomWithTheCopiesOnly)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    auto* const other = new Molecule(&root);
    Atom3d* const a = AddAtom(molecule, "C", 0, 0, 0);
    Atom3d* const b = AddAtom(molecule, "C", 1, 0, 0);
    Atom3d* const far = AddAtom(other, "O", 9, 0, 0);
    auto* const fixed = new FixedAtomConstraint(molecule, Selection({far, b, a}));
    fixed->SetLabelFormat("Held %s");
    auto* const harmonic = new HarmonicAtomRestraint(molecule, Selection({a}));
    harmonic->SetForceConstant(3.0);
    new HarmonicAtomRestraint(molecule, Selection({far}));

    const std::unique_ptr<Object> copy(molecule->TreeCopy());
    ASSERT_NE(copy, nullptr);
    // Two atoms and the two constraints that hold one of them; other's molecule did not come along.
    EXPECT_EQ(copy->GetNumChildren(), 4);
    EXPECT_EQ(root.GetNumChildren(), 2);
    auto* const fixedCopy = FirstChild<FixedAtomConstraint>(*copy);
    auto* const harmonicCopy = FirstChild<HarmonicAtomRestraint>(*copy);
    ASSERT_TRUE(fixedCopy && harmonicCopy);
    Object* const aCopy = copy->GetChild(0);
    Object* const bCopy = copy->GetChild(1);
    EXPECT_EQ(Members(*fixedCopy), (std::vector<Object*>{bCopy, aCopy}));
    fixedCopy->SetLabel("X");
    EXPECT_EQ(fixedCopy->GetLabel(), "Held X");
    EXPECT_EQ(harmonicCopy->GetForceConstant(), 3.0);
    EXPECT_EQ(Members(*fixed), (std::vector<Object*>{far, b, a}));

    const std::uint32_t harmonicOID = harmonicCopy->GetOID();
    delete aCopy;
    EXPECT_FALSE(Alive(harmonicOID));
    EXPECT_EQ(harmonic->GetParent(), molecule);
}

TEST_F(ConstraintTest, AConstraintThatGoesWithItsLastAtomTakesAChildHoldingThatAtomCleanly)
{
    // A file may place a restraint under a constraint. The atom's deletion takes the constraint,
    // and with it the restraint, whose set still holds the atom being destroyed.
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    Atom3d* const atom = AddAtom(molecule, "C", 0, 0, 0);
    auto* const fixed = new FixedAtomConstraint(molecule, Selection({atom}));
    auto* const inner = new HarmonicAtomRestraint(fixed, Selection({atom}));
    const std::uint32_t fixedOID = fixed->GetOID();
    const std::uint32_t innerOID = inner->GetOID();
    delete atom;
    EXPECT_FALSE(Alive(fixedOID));
    EXPECT_FALSE(Alive(innerOID));
    EXPECT_EQ(molecule->GetNumChildren(), 0);
}

TEST_F(ConstraintTest, ConstraintsWithoutAtomsAreCopiedWithTheirSubtree)
{
    TreeRoot root;
    auto* const molecule = new Molecule(&root);
    AddAtom(molecule, "C", 0, 0, 0);
    auto* const fixed = new FixedAtomConstraint(molecule, Selection({}));
    fixed->SetLabelFormat("Held %s");
    new HarmonicAtomRestraint(molecule, Selection({}));

    const std::unique_ptr<Object> copy(molecule->TreeCopy());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetNumChildren(), 3);
    auto* const fixedCopy = FirstChild<FixedAtomConstraint>(*copy);
    ASSERT_NE(fixedCopy, nullptr);
    EXPECT_TRUE(Members(*fixedCopy).empty());
    fixedCopy->SetLabel("X");
    EXPECT_EQ(fixedCopy->GetLabel(), "Held X");
    EXPECT_NE(FirstChild<HarmonicAtomRestraint>(*copy), nullptr);
}
