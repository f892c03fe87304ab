#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Head.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/chemistry/RGroup.h>
#include <tavrel/chemistry/Tail.h>
#include <tavrel/core/DisplayList3D.h>
#include <tavrel/core/Font.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/RuntimeMap.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

class PseudoAtomTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // The tags an object draws on the normal path.
    static std::vector<std::string> Tags(Object& object)
    {
        DisplayList3D list(DisplayList3D::normalMode);
        object.Display(list);
        std::vector<std::string> tags;
        for (const Text3DPrimitive* text : list.GetAll<Text3DPrimitive>())
            tags.push_back(text->GetText());
        return tags;
    }

    std::unique_ptr<Molecule> molecule = std::make_unique<Molecule>(nullptr);
};

} // namespace

TEST_F(PseudoAtomTest, MarkersLabelColourAndTagThemselves)
{
    auto* const head = new Head(molecule.get());
    EXPECT_EQ(head->GetLabel(), "J2");
    EXPECT_EQ(head->GetElementSymbol(), "J2");
    EXPECT_EQ(head->GetCommonName(), "Head");
    EXPECT_EQ(head->GetColor(), Color::Green());
    EXPECT_EQ(head->GetElementType(), UnknownElementType);

    head->SetXYZ(Point3d(1, 2, 3));
    DisplayList3D list(DisplayList3D::normalMode);
    head->Display(list);
    const std::vector<const Text3DPrimitive*> texts = list.GetAll<Text3DPrimitive>();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0]->GetText(), "Head");
    EXPECT_EQ(texts[0]->GetPosition(), head->GetAnnotationXYZ());
    EXPECT_EQ(texts[0]->GetColor(), Color::Green());
    EXPECT_EQ(texts[0]->GetFont(), Font::DefaultBigFont());
    EXPECT_EQ(texts[0]->GetOID(), head->GetOID());
    EXPECT_GT(list.GetSize(), 1u);  // after the atom's own drawing

    auto* const tail = new Tail(molecule.get());
    EXPECT_EQ(tail->GetLabel(), "J1");
    EXPECT_EQ(Tags(*tail), std::vector<std::string>{"Tail"});

    // A renamed head keeps its tag; a renamed R-group draws its new label.
    head->SetLabel("Start");
    EXPECT_EQ(head->GetElementSymbol(), "Start");
    EXPECT_EQ(Tags(*head), std::vector<std::string>{"Head"});
    auto* const group = new RGroup(molecule.get());
    group->SetLabel("R7");
    EXPECT_EQ(group->GetElementSymbol(), "R7");
    EXPECT_EQ(Tags(*group), std::vector<std::string>{"R7"});

    // Without a label the symbol is the common name, and the default label is built from it.
    head->SetLabel("");
    EXPECT_EQ(head->GetElementSymbol(), "Head");
    EXPECT_EQ(head->GetLabel(), "Head1");
    group->SetLabel("");
    EXPECT_EQ(Tags(*group), std::vector<std::string>{"RGroup3"});
}

TEST_F(PseudoAtomTest, RGroupsAreNumberedByTheirCountUnderTheParent)
{
    for (int n = 1; n <= 3; ++n) {
        auto* const group = new RGroup(molecule.get());
        EXPECT_EQ(group->GetLabel(), "R" + std::to_string(n));
        EXPECT_EQ(group->GetID(), n);
        EXPECT_EQ(group->GetColor(), Color::White());
    }
    // Other children do not count, relabelled R-groups do.
    Molecule other(nullptr);
    new Atom3d(&other, "C");
    (new RGroup(&other))->SetLabel("A");
    (new RGroup(&other))->SetLabel("B");
    EXPECT_EQ((new RGroup(&other))->GetLabel(), "R3");

    const RGroup lone(nullptr);
    EXPECT_EQ(lone.GetLabel(), "R1");
    EXPECT_EQ(lone.GetID(), 1);
}

TEST_F(PseudoAtomTest, MarkersCarryNoChemistry)
{
    auto* const carbon = new Atom3d(molecule.get(), "C");
    auto* const group = new RGroup(molecule.get());
    auto* const head = new Head(molecule.get());
    carbon->MakeBond(group, Bond::Double);
    carbon->MakeBond(head, Bond::Single);

    for (PseudoAtom* marker : {static_cast<PseudoAtom*>(group), static_cast<PseudoAtom*>(head)}) {
        SCOPED_TRACE(marker->GetCommonName());
        marker->SetElement(ElementType(6));
        marker->SetElement("N");
        EXPECT_TRUE(marker->SetPropertyFromString("Element", "Oxygen"));
        EXPECT_EQ(marker->GetElementType(), UnknownElementType);
        marker->SetHybridization(Atom::Sp);
        EXPECT_EQ(marker->GetHybridization(), Atom::HybridNone);
        EXPECT_EQ(marker->GetPropertyAsString("Hybridization"), "None");
        EXPECT_FLOAT_EQ(marker->GetMass(), 0.1f);
        EXPECT_EQ(marker->GetValence(), 0);
        EXPECT_EQ(marker->GetChirality(true), Atom::NotStereocentre);
        OrdCollection hydrogens;
        EXPECT_EQ(marker->GetHydrogens(hydrogens), 0);
        EXPECT_EQ(marker->UpdateHydrogens(Atom::AllHydrogens, true), 0);
        marker->RemoveHydrogens(Atom::AllHydrogens);
        EXPECT_EQ(marker->GetNumBonds(), 1);
    }
    EXPECT_EQ(molecule->GetNumChildren(), 5);  // three atoms, two bonds: no hydrogens came

    // An R-group holds no charge; a head keeps the charges an atom keeps.
    group->SetCharge(0.5);
    group->SetFormalCharge(1, 1);
    group->SetFormalCharge(Rational(-1, 2));
    EXPECT_EQ(group->GetCharge(), 0.0);
    EXPECT_EQ(group->GetFormalCharge(), Rational(0, 1));
    EXPECT_EQ(group->GetPropertyAsString("FormalCharge"), "");
    head->SetFormalCharge(1, 1);
    EXPECT_EQ(head->GetFormalCharge(), Rational(1, 1));
}

TEST_F(PseudoAtomTest, MarkersPersistAsTheirOwnClasses)
{
    EXPECT_EQ(Base::FindClassType("Head"), Head::classType);
    EXPECT_EQ(Base::FindClassType("xxrgroup"), RGroup::classType);
    std::unique_ptr<PersistentObject> made(RuntimeMap::CreateObject("Tail"));
    const auto* const tail = DynCast<Tail>(static_cast<Base*>(made.get()));
    ASSERT_NE(tail, nullptr);
    EXPECT_TRUE(tail->IsA(Atom3d::classType));

    auto* const carbon = new Atom3d(molecule.get(), "C");
    auto* const head = new Head(molecule.get());
    new Tail(molecule.get());
    auto* const group = new RGroup(molecule.get());
    group->SetXYZ(Point3d(1, 0, 0));
    carbon->MakeBond(head, Bond::Single);
    carbon->MakeBond(group, Bond::Single);

    const auto check = [](const Object& loaded) {
        ASSERT_EQ(loaded.GetNumChildren(), 6);
        EXPECT_TRUE(IsA<Head>(loaded.GetChild(1)));
        EXPECT_TRUE(IsA<Tail>(loaded.GetChild(2)));
        const auto* const r = DynCast<RGroup>(loaded.GetChild(3));
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->GetLabel(), "R1");
        EXPECT_EQ(r->GetID(), 1);
        EXPECT_EQ(r->GetXYZ(), Point3d(1, 0, 0));
        EXPECT_EQ(r->GetNumBonds(), 1);
        EXPECT_EQ(loaded.GetChild(1)->GetLabel(), "J2");
        EXPECT_EQ(loaded.GetChild(1)->GetColor(), Color::Green());
    };
    for (auto form : {RecordStream::Form::Plain, RecordStream::Form::Compressed}) {
        const std::unique_ptr<Molecule> loaded = RecordStream::LoadAs<Molecule>(RecordStream::Save(*molecule, form), form);
        ASSERT_NE(loaded, nullptr);
        check(*loaded);
    }
    const std::unique_ptr<Molecule> read = RecordStream::ArchiveCopy<Molecule>(*molecule);
    ASSERT_NE(read, nullptr);
    check(*read);

    std::unique_ptr<Object> copy(molecule->TreeCopy());
    check(*copy);
}
