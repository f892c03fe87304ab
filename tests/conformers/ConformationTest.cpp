#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include <tavrel/chemistry/ConformationQueries.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/conformers/Conformation.h>
#include <tavrel/conformers/ConformationReference.h>
#include <tavrel/core/DisplayList3D.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/platform/Archive.h>
#include "support/Alternates.h"
#include "support/RecordStream.h"
#include "support/ScopedInstall.h"

using namespace Tavrel;

namespace {

bool Alive(std::uint32_t oid)
{
    return Base::GetObjectA(oid) != nullptr;
}

Conformation* FirstConformation(const Object& reference)
{
    const std::vector<Conformation*> conformations = test::ChildrenOf<Conformation>(reference);
    return conformations.empty() ? nullptr : conformations.front();
}

std::vector<int> SideOf(ConformationReference& record, int bond)
{
    std::vector<int> side;
    for (int k = 0; k < record.GetSideCount(bond); ++k)
        side.push_back(record.GetSideAtomIndex(bond, k));
    return side;
}

class ConformationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

} // namespace

// ---- Rotatable bonds

TEST_F(ConformationTest, TurningTheMiddleBondOfAChainMovesTheFirstAtomsSideInTheConformationOnly)
{
    Molecule molecule(nullptr);
    const test::Chain chain = test::MakeChain(&molecule, 4);  // A-B-C-D
    auto* const conformation = new Conformation(&molecule, false);
    const int middle = conformation->GetBondIndex(chain.bonds[1]);
    ASSERT_GE(middle, 0);
    EXPECT_TRUE(conformation->IsBondRotatable(middle));

    const Point3d before[] = {conformation->GetPosition(0), conformation->GetPosition(1),
                              conformation->GetPosition(2), conformation->GetPosition(3)};
    // Bent, so that the turn shows.
    conformation->SetPosition(0, Point3d(0.0, 1.0, 0.0));
    conformation->IncrementBondTorsion(middle, 90.0);
    EXPECT_NEAR(std::abs(conformation->GetPosition(0).z), 1.0, 1e-5);
    EXPECT_NEAR(conformation->GetPosition(0).y, 0.0, 1e-5);
    EXPECT_EQ(conformation->GetPosition(1), before[1]);  // on the axis
    EXPECT_EQ(conformation->GetPosition(2), before[2]);
    EXPECT_EQ(conformation->GetPosition(3), before[3]);
    EXPECT_EQ(chain.atoms[0]->GetXYZ(), before[0]);
}

TEST_F(ConformationTest, ChainSidesTieToTheFirstAtomAndListTheBondEndFirst)
{
    Molecule molecule(nullptr);
    const test::Chain chain = test::MakeChain(&molecule, 4);
    Conformation probe(nullptr, false);
    ConformationReference* const record = ConformationReference::Acquire(&molecule, &probe);
    const int middle = record->GetBondIndex(chain.bonds[1]);
    EXPECT_EQ(SideOf(*record, middle), (std::vector<int>{1, 0}));  // B then A
    EXPECT_EQ(record->GetSideAtom(middle, 0), chain.atoms[1]);
    EXPECT_EQ(record->GetSideCount(record->GetBondIndex(chain.bonds[0])), 0);  // terminal
    ConformationReference::Release(record, &probe);
}

TEST_F(ConformationTest, RingBondsOfOneFragmentAmongSeveralAreNotRotatable)
{
    Molecule molecule(nullptr);
    const test::Chain ring = test::MakeRing(&molecule, 6);
    const test::Chain chain = test::MakeChain(&molecule, 4, Point3d(10.0, 0.0, 0.0));
    auto* const conformation = new Conformation(&molecule, false);
    const Point3d first = conformation->GetPosition(0);
    for (Bond* const bond : ring.bonds) {
        const int index = conformation->GetBondIndex(bond);
        EXPECT_FALSE(conformation->IsBondRotatable(index));
        EXPECT_THROW(conformation->IncrementBondTorsion(index, 30.0), std::out_of_range);
    }
    EXPECT_THROW(conformation->IncrementBondTorsion(conformation->GetBondIndex(chain.bonds[0]), 30.0),
                 std::out_of_range);
    EXPECT_THROW(conformation->IncrementBondTorsion(conformation->GetBondCount(), 30.0), std::out_of_range);
    EXPECT_THROW(conformation->IncrementBondTorsion(-1, 30.0), std::out_of_range);
    EXPECT_FALSE(conformation->IsBondRotatable(conformation->GetBondCount()));
    EXPECT_EQ(conformation->GetPosition(0), first);
    EXPECT_TRUE(conformation->IsBondRotatable(conformation->GetBondIndex(chain.bonds[1])));
}

TEST_F(ConformationTest, OnlyASideLyingInsideTheReferenceMoves)
{
    Molecule molecule(nullptr);
    auto* const part = new Object(&molecule);
    const test::Chain chain = test::MakeChain(part, 5);  // A-B-C-D-E in the reference
    auto* const outside = new Atom3d(&molecule, "C");     // F, bonded to E, outside it
    outside->SetXYZ(Point3d(7.5, 0.0, 0.0));
    chain.atoms[4]->MakeBond(outside, Bond::Single);
    Conformation probe(nullptr, false);
    ConformationReference* const record = ConformationReference::Acquire(part, &probe);
    EXPECT_EQ(SideOf(*record, record->GetBondIndex(chain.bonds[0])), (std::vector<int>{}));
    EXPECT_EQ(SideOf(*record, record->GetBondIndex(chain.bonds[1])), (std::vector<int>{1, 0}));
    // D-E: the smaller side {E, F} leaves the reference, so the larger one turns, D first.
    EXPECT_EQ(SideOf(*record, record->GetBondIndex(chain.bonds[3])), (std::vector<int>{3, 0, 1, 2}));
    ConformationReference::Release(record, &probe);
}

TEST_F(ConformationTest, AnAtomAddedLaterHasNoIndexUntilTheRecordIsStale)
{
    Molecule molecule(nullptr);
    test::MakeChain(&molecule, 2);
    auto* const conformation = new Conformation(&molecule, false);
    auto* const late = new Atom3d(&molecule, "O");
    EXPECT_EQ(conformation->GetAtomIndex(late), -1);
    OrdCollection atoms;
    OrdCollection bonds;
    Conformation::GetAlternates(conformation, atoms, bonds);
    EXPECT_EQ(conformation->GetAtomIndex(late), 2);
    EXPECT_THROW(conformation->GetAtom(3), std::out_of_range);
}

// ---- Values

TEST_F(ConformationTest, ValuesDefaultOutsideTheirRangeAndApplyToTheReference)
{
    Molecule molecule(nullptr);
    const test::Chain chain = test::MakeChain(&molecule, 3);
    chain.atoms[1]->SetOccupancy(0.5f);
    chain.atoms[2]->SetIsotropicDisplacement(12.0f);
    auto* const conformation = new Conformation(&molecule, false);
    EXPECT_EQ(conformation->GetDisplayStyle(), 1);
    EXPECT_DOUBLE_EQ(conformation->GetOccupancy(1), 0.5);
    EXPECT_DOUBLE_EQ(conformation->GetIsotropicDisplacement(chain.atoms[2]), 12.0);
    EXPECT_DOUBLE_EQ(conformation->GetOccupancy(-1), 1.0);
    EXPECT_DOUBLE_EQ(conformation->GetIsotropicDisplacement(-1), 0.0);
    EXPECT_DOUBLE_EQ(conformation->GetOccupancy(nullptr), 1.0);
    EXPECT_EQ(conformation->GetPosition(nullptr), Point3d::origin);
    conformation->SetOccupancy(3, 0.25);
    conformation->SetIsotropicDisplacement(3, 4.0);
    conformation->SetPosition(3, Point3d(9.0, 9.0, 9.0));
    EXPECT_DOUBLE_EQ(conformation->GetOccupancy(3), 1.0);
    EXPECT_EQ(conformation->GetPosition(3), Point3d::origin);

    conformation->SetPosition(chain.atoms[0], Point3d(1.0, 2.0, 3.0));
    conformation->SetOccupancy(chain.atoms[0], 0.75);
    conformation->SetIsotropicDisplacement(0, 20.0);
    chain.atoms[1]->SetXYZ(Point3d(-5.0, 0.0, 0.0));
    conformation->ApplyConformationToReference();
    EXPECT_EQ(chain.atoms[0]->GetXYZ(), Point3d(1.0, 2.0, 3.0));
    EXPECT_FLOAT_EQ(chain.atoms[0]->GetOccupancy(), 0.75f);
    EXPECT_FLOAT_EQ(chain.atoms[0]->GetIsotropicDisplacement(), 20.0f);
    EXPECT_EQ(chain.atoms[1]->GetXYZ(), Point3d(1.5, 0.0, 0.0));
    EXPECT_FLOAT_EQ(chain.atoms[1]->GetOccupancy(), 0.5f);

    chain.atoms[2]->SetXYZ(Point3d(0.0, 7.0, 0.0));
    conformation->ApplyReferenceToConformation();
    EXPECT_EQ(conformation->GetPosition(2), Point3d(0.0, 7.0, 0.0));
}

TEST_F(ConformationTest, AssignmentCopiesOnlyBetweenConformationsOfOneReference)
{
    Molecule molecule(nullptr);
    test::MakeChain(&molecule, 2);
    Molecule other(nullptr);
    test::MakeChain(&other, 2);
    auto* const first = new Conformation(&molecule, false);
    auto* const second = new Conformation(&molecule, true);
    auto* const foreign = new Conformation(&other, false);
    first->SetPosition(0, Point3d(4.0, 4.0, 4.0));
    first->ApplyColor(true);
    *second = *first;
    EXPECT_EQ(second->GetPosition(0), Point3d(4.0, 4.0, 4.0));
    EXPECT_FALSE(second->Is2D());
    *foreign = *first;
    EXPECT_EQ(foreign->GetPosition(0), Point3d::origin);
}

TEST_F(ConformationTest, AConformationStartsFromGivenValuesOnlyWhenThereIsOneOfEachPerAtom)
{
    Molecule molecule(nullptr);
    const test::Chain chain = test::MakeChain(&molecule, 3);
    auto* const first = new Conformation(&molecule, false);
    first->SetPosition(1, Point3d(0.0, 4.0, 0.0));
    first->SetOccupancy(2, 0.25);
    first->SetIsotropicDisplacement(0, 6.0);
    const Conformation::Values values = first->GetValues();

    auto* const same = new Conformation(&molecule, true, values);
    EXPECT_TRUE(same->Is2D());
    EXPECT_EQ(same->GetDisplayStyle(), 1);
    EXPECT_EQ(same->GetPosition(1), Point3d(0.0, 4.0, 0.0));
    EXPECT_DOUBLE_EQ(same->GetOccupancy(2), 0.25);
    EXPECT_DOUBLE_EQ(same->GetIsotropicDisplacement(0), 6.0);
    EXPECT_EQ(same->GetReference(), &molecule);

    // One value short, or values of another reference's size: the reference's own are read.
    Conformation::Values short_ = values;
    short_.occupancy.pop_back();
    auto* const read = new Conformation(&molecule, false, short_);
    EXPECT_EQ(read->GetPosition(1), chain.atoms[1]->GetXYZ());
    EXPECT_DOUBLE_EQ(read->GetOccupancy(2), 1.0);
    Molecule other(nullptr);
    test::MakeChain(&other, 2, Point3d(0.0, 0.0, 8.0));
    auto* const foreign = new Conformation(&other, false, values);
    EXPECT_EQ(foreign->GetPosition(1), Point3d(1.5, 0.0, 8.0));
    EXPECT_EQ(foreign->GetAtomCount(), 2);
}

// ---- The shared record

TEST_F(ConformationTest, ConformationsShareOneRecordAndDieWithAnAtomOfTheReference)
{
    Molecule molecule(nullptr);
    const test::Chain chain = test::MakeChain(&molecule, 3);
    auto* const first = new Conformation(&molecule, false);
    auto* const second = new Conformation(&molecule, false);
    const std::uint32_t firstOID = first->GetOID();
    const std::uint32_t secondOID = second->GetOID();
    const char* text = nullptr;
    ASSERT_TRUE(first->GetProperty("Reference Name", text));
    // One user listed twice is still deleted once.
    ConformationReference::Acquire(&molecule, second);
    delete first;
    EXPECT_EQ(second->GetAtomCount(), 3);
    delete chain.atoms[2];
    EXPECT_FALSE(Alive(firstOID));
    EXPECT_FALSE(Alive(secondOID));
    EXPECT_EQ(molecule.GetNumChildren(Conformation::classType), 0);
}

TEST_F(ConformationTest, OnlyARealElementOrBondTypeChangeDeletesTwoDimensionalConformations)
{
    Molecule molecule(nullptr);
    const test::Chain chain = test::MakeChain(&molecule, 3);
    const std::uint32_t flat = (new Conformation(&molecule, true))->GetOID();
    Molecule solidMolecule(nullptr);
    const test::Chain solidChain = test::MakeChain(&solidMolecule, 3);
    const std::uint32_t solid = (new Conformation(&solidMolecule, false))->GetOID();
    ASSERT_EQ(static_cast<Conformation*>(Base::GetObjectA(flat))->GetAtomCount(), 3);
    ASSERT_EQ(static_cast<Conformation*>(Base::GetObjectA(solid))->GetAtomCount(), 3);

    chain.atoms[0]->SetElement(chain.atoms[0]->GetElementType());
    chain.bonds[0]->SetType(chain.bonds[0]->GetType());
    EXPECT_TRUE(Alive(flat));
    solidChain.atoms[0]->SetElement("N");
    EXPECT_TRUE(Alive(solid));
    chain.bonds[1]->SetType(Bond::Double);
    EXPECT_FALSE(Alive(flat));

    const std::uint32_t again = (new Conformation(&molecule, true))->GetOID();
    ASSERT_EQ(static_cast<Conformation*>(Base::GetObjectA(again))->GetAtomCount(), 3);
    chain.atoms[1]->SetElement("O");
    EXPECT_FALSE(Alive(again));
}

// ---- Copies, storage and display

TEST_F(ConformationTest, TreeCopiesReferToTheCopiedReferenceWithTheUseFlagsOff)
{
    Molecule molecule(nullptr);
    const test::Chain chain = test::MakeChain(&molecule, 3);
    auto* const conformation = new Conformation(&molecule, true);
    conformation->ApplyDisplayStyle(true);
    conformation->SetPosition(1, Point3d(0.0, 3.0, 0.0));
    const std::unique_ptr<Object> copy(molecule.TreeCopy());
    ASSERT_NE(copy, nullptr);
    Conformation* const copied = FirstConformation(*copy);
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->GetReference(), copy.get());
    EXPECT_TRUE(copied->Is2D());
    EXPECT_EQ(copied->GetPosition(1), Point3d(0.0, 3.0, 0.0));
    EXPECT_EQ(copied->GetAtom(1)->GetParent(), copy.get());
    EXPECT_NE(copied->GetAtom(1), chain.atoms[1]);
    // The copy's record watches the copied atoms.
    delete copied->GetAtom(0);
    EXPECT_EQ(copy->GetNumChildren(Conformation::classType), 0);
    EXPECT_EQ(molecule.GetNumChildren(Conformation::classType), 1);

    // An atom deleted while events are off leaves the Conformation more positions than the
    // reference has atoms: it is not copied with it.
    Base::SetEventNotify(false);
    delete chain.atoms[2];
    Base::SetEventNotify(true);
    EXPECT_FALSE(conformation->ValidateReference(&molecule));
    EXPECT_EQ(conformation->GetAtom(2), nullptr);
    const std::unique_ptr<Object> shorter(molecule.TreeCopy());
    EXPECT_EQ(shorter->GetNumChildren(Conformation::classType), 0);
}

TEST_F(ConformationTest, StoredConformationsComeBackAndOldSchemasDefaultTheirValues)
{
    Molecule molecule(nullptr);
    const test::Chain chain = test::MakeChain(&molecule, 3);
    chain.atoms[1]->SetOccupancy(0.5f);
    chain.atoms[1]->SetIsotropicDisplacement(8.0f);
    auto* const conformation = new Conformation(&molecule, true);
    conformation->SetPosition(2, Point3d(1.0, 2.0, 3.0));
    conformation->ApplyColorScheme(true);
    const RecordStream::Bytes bytes = RecordStream::Save(molecule);

    for (const std::uint32_t schema : {13u, 8u}) {
        Archive archive(bytes);
        archive.SetObjectSchema(schema);
        std::unique_ptr<Base> loaded;
        {
            CompressedPropertyArchive stream(archive);
            loaded.reset(Catalog::ReadProperties(stream));
        }
        auto* const back = DynCast<Molecule>(loaded.get());
        ASSERT_NE(back, nullptr);
        Conformation* const conformationBack = FirstConformation(*back);
        ASSERT_NE(conformationBack, nullptr);
        EXPECT_EQ(conformationBack->GetReference(), back);
        EXPECT_TRUE(conformationBack->Is2D());
        EXPECT_EQ(conformationBack->GetPosition(2), Point3d(1.0, 2.0, 3.0));
        EXPECT_DOUBLE_EQ(conformationBack->GetOccupancy(1), schema < 9 ? 1.0 : 0.5);
        EXPECT_DOUBLE_EQ(conformationBack->GetIsotropicDisplacement(1), schema < 9 ? 0.0 : 8.0);
        // The record loaded 2-D: changing an element deletes the Conformation.
        static_cast<Atom*>(back->GetChild(0))->SetElement("S");
        EXPECT_EQ(back->GetNumChildren(Conformation::classType), 0);
    }

    const std::unique_ptr<Conformation> framework = RecordStream::ArchiveCopy<Conformation>(*conformation);
    ASSERT_NE(framework, nullptr);
    Point3d::Array points;
    framework->GetPositions(points);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[2], Point3d(1.0, 2.0, 3.0));
    EXPECT_DOUBLE_EQ(framework->GetOccupancy(1), 1.0);
}

TEST_F(ConformationTest, StoredValuesPastTheAtomsAreDroppedOnLoadSoTheConformationIsCopied)
{
    Molecule molecule(nullptr);
    const test::Chain chain = test::MakeChain(&molecule, 3);
    auto* const conformation = new Conformation(&molecule, false);
    conformation->SetPosition(1, Point3d(0.0, 4.0, 0.0));
    Base::SetEventNotify(false);
    delete chain.atoms[2];
    Base::SetEventNotify(true);
    const std::unique_ptr<Molecule> loaded = RecordStream::LoadAs<Molecule>(RecordStream::Save(molecule));
    ASSERT_NE(loaded, nullptr);
    Conformation* const back = FirstConformation(*loaded);
    ASSERT_NE(back, nullptr);
    Point3d::Array points;
    back->GetPositions(points);
    EXPECT_EQ(points.size(), 2u);
    EXPECT_EQ(back->GetPosition(1), Point3d(0.0, 4.0, 0.0));
    const std::unique_ptr<Object> copy(loaded->TreeCopy());
    EXPECT_NE(FirstConformation(*copy), nullptr);
}

TEST_F(ConformationTest, DrawingShowsTheConformationAndGivesTheReferenceBackWithTheEventSwitchAsItWas)
{
    static int moves = 0;
    Molecule molecule(nullptr);
    const test::Chain chain = test::MakeChain(&molecule, 2);
    chain.atoms[1]->SetInvisible(false);
    chain.atoms[0]->Select(false);
    auto* const conformation = new Conformation(&molecule, false);
    conformation->SetPosition(0, Point3d(0.0, 0.0, 5.0));
    chain.atoms[0]->RegisterEvent(
        Geometric::classType, Geometric::EventMoved, [](Event&) { ++moves; }, false, nullptr, nullptr);
    for (const bool switchOn : {true, false}) {
        moves = 0;
        Base::SetEventNotify(switchOn);
        DisplayList3D list(1);
        conformation->Display(list);
        EXPECT_EQ(Base::GetEventNotify(), switchOn);
        EXPECT_GT(list.GetSize(), 0u);
        // Applied and given back with events on.
        EXPECT_EQ(moves, 2);
        EXPECT_EQ(chain.atoms[0]->GetXYZ(), Point3d::origin);
        EXPECT_FALSE(chain.atoms[1]->IsVisible());
        EXPECT_TRUE(chain.atoms[0]->IsObjectSelected());
    }
    Base::SetEventNotify(true);
}

TEST_F(ConformationTest, MoleculeIsTwoDimensionalThroughItsOwnTwoDimensionalConformations)
{
    Molecule molecule(nullptr);
    new Conformation(&molecule, false);
    // A 2-D conformation further down belongs to another object.
    new Conformation(new Object(&molecule), true);
    EXPECT_FALSE(molecule.Has2D());

    new Conformation(&molecule, true);
    EXPECT_TRUE(molecule.Has2D());
    molecule.Set2D(false);
    EXPECT_TRUE(molecule.Has2D());

    // The molecule knows conformations only through the answers installed for it.
    const ConformationQueries none;
    const test::ScopedInstall<ConformationQueries> installed(none);
    EXPECT_FALSE(molecule.Has2D());
}

TEST_F(ConformationTest, AConformationWithoutAReferenceIsCopiedAsItIs)
{
    // A file can leave a Conformation without a reference; a save's copy must not lose it.
    Conformation conformation(nullptr, false);
    ASSERT_EQ(conformation.GetReference(), nullptr);
    const std::unique_ptr<Object> copy(conformation.TreeCopy());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(DynCast<Conformation>(copy.get())->GetReference(), nullptr);
}
