#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellSymmetryMap.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/crystal/SymmetryOp.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/symmetry_build/AsymmetricUnit.h>
#include <tavrel/symmetry_build/BuildResults.h>
#include <tavrel/symmetry_build/CellBuildTree.h>
#include <tavrel/symmetry_build/InternalCellBuildTree.h>
#include <tavrel/symmetry_build/HierarchyData.h>
#include <tavrel/symmetry_build/HierarchyDataErrorList.h>
#include <tavrel/symmetry_build/SymmetryMap.h>

#include "support/Near.h"

using namespace Tavrel;

namespace {

std::int32_t Marker(const Object& object, const char* name)
{
    std::int32_t value = -99;
    object.GetProperty(name, value);
    return value;
}

bool HasError(const char* text)
{
    return HierarchyDataErrorList::HasError(text);
}

class SymmetryMapBuildTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // A 10 A cubic cell of the space group's first setting.
    void MakeCell(int number)
    {
        cell = std::make_unique<Cell3d>(nullptr);
        ASSERT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(number, "", 0));
    }

    Atom3d* AddAtom(Object& parent, const char* label, const Point3d& fractional, const char* element = "C")
    {
        auto* const atom = new Atom3d(&parent, element);
        atom->SetLabel(label);
        atom->SetXYZ(fractional * cell->GetFracToCart());
        return atom;
    }

    Point3d Fractional(const Atom& atom) const { return atom.GetXYZ() * cell->GetCartToFrac(); }

    SymmetryMap& Map(const IntArray& keys = {})
    {
        map = std::make_unique<SymmetryMap>(cell.get(), keys);
        return *map;
    }

    std::int32_t CountAtoms(Object& root) const
    {
        std::int32_t count = 0;
        DescendentIterator walk(&root, Atom::classType, false);
        while (walk.GetNext())
            ++count;
        return count;
    }

    // A molecule of two bonded carbons marked as the asymmetric unit, and in the same molecule its
    // image under operator 1 of P2_1 ((-x, y + 1/2, -z)) one cell along a and c, marked as images.
    void MakeMarkedP21()
    {
        MakeCell(4);
        molecule = new Molecule(cell.get());
        c1 = AddAtom(*molecule, "C1", Point3d(0.1f, 0.2f, 0.3f));
        c2 = AddAtom(*molecule, "C2", Point3d(0.2f, 0.2f, 0.3f));
        c1->MakeBond(c2, Bond::Single);
        c1->SetProperty("_ASU", 0, 0);
        c2->SetProperty("_ASU", 1, 0);
        i1 = AddAtom(*molecule, "C1", Point3d(0.9f, 0.7f, 0.7f));
        i2 = AddAtom(*molecule, "C2", Point3d(0.8f, 0.7f, 0.7f));
        i1->MakeBond(i2, Bond::Single);
        i1->SetProperty("_REP", 0, 0);
        i2->SetProperty("_REP", 1, 0);
    }

    std::unique_ptr<Cell3d> cell;
    std::unique_ptr<SymmetryMap> map;
    Molecule* molecule = nullptr;
    Atom3d* c1 = nullptr;
    Atom3d* c2 = nullptr;
    Atom3d* i1 = nullptr;
    Atom3d* i2 = nullptr;
};

TEST_F(SymmetryMapBuildTest, AFirstOperationOtherThanTheIdentityLeavesTheMapEmptyAndDirty)
{
    MakeCell(4);
    AddAtom(*new Molecule(cell.get()), "C1", Point3d(0.1f, 0.2f, 0.3f));
    Matrix4x4 swapped = cell->GetSymmetry()->GetSymmetryOp(1)->GetMatrix();
    cell->GetSymmetry()->GetSymmetryOp(0)->SetMatrix(swapped);
    SymmetryMap& m = Map();
    EXPECT_TRUE(m.IsDirty());
    m.Update();
    EXPECT_TRUE(m.IsDirty());
    EXPECT_FALSE(m.HasSymmetry());
    const auto& errors = HierarchyDataErrorList::GetErrors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].line, 5340);
    EXPECT_EQ(errors[0].text, "Identity operation is not the first symmetry operation");
    EXPECT_EQ(errors[1].text, "Failed to obtain symmetry information");
    OIDArray atoms{1};
    m.GetAtomOIDs(atoms);
    EXPECT_TRUE(atoms.empty());
}

TEST_F(SymmetryMapBuildTest, AtomsDirectlyUnderTheCellAreNotListed)
{
    MakeCell(1);
    AddAtom(*cell, "C1", Point3d(0.1f, 0.2f, 0.3f));
    SymmetryMap& m = Map();
    m.Update();
    EXPECT_TRUE(HasError("Failed to obtain atom list"));
    EXPECT_TRUE(m.IsDirty());
}

TEST_F(SymmetryMapBuildTest, AMarkedImageJoinsItsAtomAndMovesIntoAMoleculeOfItsOwn)
{
    MakeMarkedP21();
    SymmetryMap& m = Map();
    m.Update();
    for (const HierarchyDataError& e : HierarchyDataErrorList::GetErrors())
        ADD_FAILURE() << e.line << " " << e.text;
    EXPECT_EQ(m.GetSymmetryOperator(i1->GetOID()), 1);
    EXPECT_TRUE(m.GetLatticeOffset(i1->GetOID()).IsSame(LatticeOffset(1, 0, 1)));
    EXPECT_TRUE(m.IsSymmetric(i1->GetOID()));
    EXPECT_TRUE(m.IsPeriodic(i1->GetOID()));
    EXPECT_FALSE(m.IsSymmetric(c1->GetOID()));
    EXPECT_EQ(m.GetSymmetryLabel(i1->GetOID(), "C1"), "C1#2@1,0,1");
    EXPECT_EQ(m.GetSymmetryLabel(c1->GetOID(), "C1"), "C1");
    EXPECT_EQ(m.GetSymmetryParentOID(i1->GetOID()), c1->GetOID());
    EXPECT_TRUE(m.IsReplicate(i1->GetOID()));
    EXPECT_TRUE(m.IsSymmetryParent(c1->GetOID()));

    // The image got a molecule of its own, marked as the molecule's image.
    auto* const image = DynCast<Molecule>(i1->GetParent());
    ASSERT_NE(image, nullptr);
    EXPECT_NE(image, molecule);
    EXPECT_EQ(image->GetParent(), cell.get());
    EXPECT_EQ(i2->GetParent(), image);
    EXPECT_EQ(Marker(*c1, "_ASU"), 0);
    EXPECT_EQ(Marker(*i1, "_REP"), 0);
    EXPECT_EQ(Marker(*molecule, "_ASU"), Marker(*image, "_REP"));
    EXPECT_FALSE(cell->HasProperty("_ASU"));
    EXPECT_EQ(m.GetSymmetryParentOID(image->GetOID()), molecule->GetOID());
    IntArray keys;
    m.GetOperationIndexList(keys);
    const IntArray shown{1, 1, 0, 1};
    EXPECT_NE(std::search(keys.begin(), keys.end(), shown.begin(), shown.end()), keys.end());

    // Asymmetric-unit objects by class, atoms through the atom map whatever atom class is asked for.
    OrdCollection found(0);
    EXPECT_TRUE(m.GetAsymmetricUnitObjects(cell.get(), Atom::classType, found));
    ASSERT_EQ(found.GetSize(), 2);
    EXPECT_EQ(found.GetAt(0), c1);
    EXPECT_EQ(found.GetAt(1), c2);
    OrdCollection molecules(0);
    EXPECT_TRUE(m.GetAsymmetricUnitObjects(cell.get(), Molecule::classType, molecules));
    ASSERT_EQ(molecules.GetSize(), 1);
    EXPECT_EQ(molecules.GetAt(0), molecule);
    OrdCollection replicates(0);
    EXPECT_TRUE(m.GetSymmetryReplicates(c1, replicates, false));
    ASSERT_EQ(replicates.GetSize(), 1);
    EXPECT_EQ(replicates.GetAt(0), i1);
    OrdCollection periodic(0);
    EXPECT_TRUE(m.GetSymmetryReplicates(i1, periodic, true));  // a periodic image has no replicates
    ASSERT_EQ(periodic.GetSize(), 1);
    EXPECT_EQ(periodic.GetAt(0), i1);

    // A second build reads the markers and changes nothing.
    m.MarkDirty(false);
    m.Update();
    EXPECT_TRUE(HierarchyDataErrorList::GetErrors().empty());
    EXPECT_EQ(CountAtoms(*cell), 4);
    EXPECT_EQ(m.GetSymmetryParentOID(i2->GetOID()), c2->GetOID());
    EXPECT_EQ(cell->GetNumChildren(), 2);
}

TEST_F(SymmetryMapBuildTest, AnAtomWithoutAFinitePositionOrBeyondTheReachOfATranslationFailsItsStep)
{
    MakeCell(4);
    auto* const unit = new Molecule(cell.get());
    AddAtom(*unit, "C1", Point3d(0.1f, 0.2f, 0.3f));
    Atom3d* const far = AddAtom(*unit, "C2", Point3d(0.2f, 0.2f, 0.3f));
    // 2^24 cells and more away a float no longer places an atom within its cell.
    for (const Point3d& position : {Point3d(std::nanf(""), 0.0f, 1e38f), Point3d(0.0f, 0.0f, -2e8f)}) {
        far->SetXYZ(position);
        SymmetryMap& m = Map();
        m.Update();
        EXPECT_TRUE(HasError("GetAtomInformation"));
        EXPECT_TRUE(m.IsDirty());
        EXPECT_EQ(cell->GetNumChildren(), 1);
    }
    far->SetXYZ(Point3d(0.0f, 0.0f, -1e8f));
    Map().Update();
    EXPECT_FALSE(HasError("GetAtomInformation"));
}

TEST_F(SymmetryMapBuildTest, AtomsOfEqualMarkersMayBeImagesAndOthersNever)
{
    MakeCell(4);
    auto* const a = new Molecule(cell.get());
    Atom3d* const x = AddAtom(*a, "X", Point3d(0.1f, 0.2f, 0.3f));
    Atom3d* const xImage = AddAtom(*a, "X", Point3d(-0.1f, 0.7f, -0.3f));
    Atom3d* const y = AddAtom(*a, "Y", Point3d(0.3f, 0.1f, 0.1f));
    Atom3d* const notImage = AddAtom(*a, "Z", Point3d(-0.3f, 0.6f, -0.1f));
    x->SetProperty("_ASU", 5, 0);
    xImage->SetProperty("_ASU", 5, 0);
    y->SetProperty("_ASU", 7, 0);
    notImage->SetProperty("_ASU", 8, 0);
    SymmetryMap& m = Map();
    m.Update();
    EXPECT_TRUE(HierarchyDataErrorList::GetErrors().empty());
    EXPECT_EQ(m.GetSymmetryParentOID(xImage->GetOID()), x->GetOID());
    EXPECT_EQ(m.GetSymmetryOperator(xImage->GetOID()), 1);
    EXPECT_EQ(m.GetSymmetryParentOID(notImage->GetOID()), notImage->GetOID());
    EXPECT_EQ(m.GetSymmetryParentOID(y->GetOID()), y->GetOID());
}

TEST_F(SymmetryMapBuildTest, ASaltOfTwoMoleculesGivesEachMoleculeItsImage)
{
    MakeCell(4);
    auto* const sodium = new Molecule(cell.get());
    auto* const chloride = new Molecule(cell.get());
    Atom3d* const na = AddAtom(*sodium, "Na", Point3d(0.1f, 0.1f, 0.1f), "Na");
    Atom3d* const cl = AddAtom(*chloride, "Cl", Point3d(0.3f, 0.1f, 0.1f), "Cl");
    na->SetProperty("_ASU", 0, 0);
    cl->SetProperty("_ASU", 1, 0);
    Atom3d* const naImage = AddAtom(*sodium, "Na", Point3d(-0.1f, 0.6f, -0.1f), "Na");
    Atom3d* const clImage = AddAtom(*chloride, "Cl", Point3d(-0.3f, 0.6f, -0.1f), "Cl");
    naImage->SetProperty("_REP", 0, 0);
    clImage->SetProperty("_REP", 1, 0);
    SymmetryMap& m = Map();
    m.Update();
    EXPECT_TRUE(HierarchyDataErrorList::GetErrors().empty());
    EXPECT_EQ(cell->GetNumChildren(), 4);
    EXPECT_EQ(na->GetParent(), sodium);
    EXPECT_EQ(cl->GetParent(), chloride);
    ASSERT_NE(naImage->GetParent(), sodium);
    ASSERT_NE(clImage->GetParent(), chloride);
    EXPECT_NE(naImage->GetParent(), clImage->GetParent());
    EXPECT_EQ(m.GetSymmetryParentOID(naImage->GetParent()->GetOID()), sodium->GetOID());
    EXPECT_EQ(m.GetSymmetryParentOID(clImage->GetParent()->GetOID()), chloride->GetOID());
    EXPECT_EQ(m.GetSymmetryLabel(clImage->GetOID(), "Cl"), "Cl#2");
}

TEST_F(SymmetryMapBuildTest, AnAtomOnASpecialPositionIsSharedByTheImagesOfItsMolecule)
{
    // P2: (-x, y, -z); O lies on the 2-fold axis.
    MakeCell(3);
    auto* const water = new Molecule(cell.get());
    Atom3d* const o = AddAtom(*water, "O", Point3d(0.0f, 0.3f, 0.0f), "O");
    Atom3d* const h = AddAtom(*water, "H", Point3d(0.06f, 0.3f, 0.06f), "H");
    o->MakeBond(h, Bond::Single);
    SymmetryMap& m = Map();
    m.Update();
    EXPECT_TRUE(HierarchyDataErrorList::GetErrors().empty());
    AsymmetricUnit unit;
    m.GetAsymmetricUnit(unit);
    ASSERT_TRUE(unit.IsValid());
    ASSERT_EQ(unit.GetAtomCount(), 2);
    IntArray numbers;
    IndexLists partitions;
    unit.GetPartitions(numbers, partitions);
    EXPECT_GT(numbers[0], 0);  // O: both operations give the same image
    EXPECT_EQ(partitions[static_cast<std::size_t>(numbers[0])], (IntArray{0, 0}));
    EXPECT_EQ(numbers[1], 0);

    // Showing H's image builds it bonded to the one O.
    BuildResults results(2);
    results.SetAtom(0, static_cast<std::int32_t>(o->GetOID()), {});
    results.SetAtom(1, static_cast<std::int32_t>(h->GetOID()), {{1, 0, 0, 0}});
    ASSERT_TRUE(m.DisplayBuildResults(results));
    ASSERT_EQ(o->GetNumAttached(), 2);
    const Atom* const image = static_cast<const Atom*>(o->GetAttached(1));
    EXPECT_TRUE(test::Near(Fractional(*image), Point3d(-0.06f, 0.3f, -0.06f), 1e-4));
    EXPECT_EQ(m.GetSymmetryParentOID(image->GetOID()), h->GetOID());
    EXPECT_EQ(m.GetSymmetryLabel(image->GetOID(), "H"), "H#2");
    // The 2-fold maps the water onto itself: its image atom joins it, and no second molecule is made.
    EXPECT_EQ(image->GetParent(), water);
    EXPECT_EQ(cell->GetNumChildren(), 1);

    // A build that fails is reported and leaves the map dirty.
    BuildResults again(2);
    again.SetAtom(0, static_cast<std::int32_t>(o->GetOID()), {});
    again.SetAtom(1, static_cast<std::int32_t>(h->GetOID()), {{1, 0, 0, 0}});
    internal::SetCellBuildTreeFailure(CellBuildTree::Step::CreateAtoms);
    EXPECT_FALSE(m.DisplayBuildResults(again));
    internal::SetCellBuildTreeFailure(CellBuildTree::Step::None);
    EXPECT_TRUE(m.IsDirty());
    EXPECT_EQ(o->GetNumAttached(), 2);

    // Results that do not name the asymmetric unit in its order are refused.
    BuildResults swapped(2);
    swapped.SetAtom(0, static_cast<std::int32_t>(h->GetOID()), {});
    swapped.SetAtom(1, static_cast<std::int32_t>(o->GetOID()), {});
    EXPECT_FALSE(m.DisplayBuildResults(swapped));
}

// Each atom of an image molecule of C1=C2-C3 under P2's 2-fold, in the order of the source.
std::vector<const Atom*> ShowImages(SymmetryMap& m, const std::vector<Atom3d*>& sources)
{
    BuildResults results(static_cast<std::int32_t>(sources.size()));
    for (std::size_t i = 0; i < sources.size(); ++i)
        results.SetAtom(static_cast<std::int32_t>(i), static_cast<std::int32_t>(sources[i]->GetOID()), {{1, 0, 0, 0}});
    std::vector<const Atom*> images;
    if (!m.DisplayBuildResults(results))
        return images;
    for (const Atom3d* source : sources) {
        OrdCollection replicates(0);
        m.GetSymmetryReplicates(source, replicates, false);
        for (int i = 0; i < replicates.GetSize(); ++i)
            if (replicates.GetAt(i) != source)
                images.push_back(static_cast<const Atom*>(replicates.GetAt(i)));
    }
    return images;
}

TEST_F(SymmetryMapBuildTest, ImageBondsTakeTheirSourceTypesWhetherOrNotAnyoneListens)
{
    for (const bool listened : {false, true}) {
        SCOPED_TRACE(listened);
        MakeCell(3);
        auto* const chain = new Molecule(cell.get());
        Atom3d* const a = AddAtom(*chain, "C1", Point3d(0.1f, 0.2f, 0.3f));
        Atom3d* const b = AddAtom(*chain, "C2", Point3d(0.2f, 0.2f, 0.3f));
        Atom3d* const c = AddAtom(*chain, "C3", Point3d(0.3f, 0.25f, 0.3f));
        a->MakeBond(b, Bond::Double);
        b->MakeBond(c, Bond::Single);
        b->SetProperty("tag", 7, 0);
        int heard = 0;
        if (listened)
            cell->RegisterEvent(Bond::classType, Bond::EventTypeSet, [](Event& event) { ++*static_cast<int*>(event.GetData()); },
                                true, &heard, nullptr);
        SymmetryMap& m = Map();
        m.Update();
        ASSERT_TRUE(HierarchyDataErrorList::GetErrors().empty());
        const std::vector<const Atom*> images = ShowImages(m, {a, b, c});
        ASSERT_EQ(images.size(), 3U);
        const Bond* const doubled = images[0]->FindBond(images[1]);
        const Bond* const single = images[1]->FindBond(images[2]);
        ASSERT_NE(doubled, nullptr);
        ASSERT_NE(single, nullptr);
        EXPECT_EQ(doubled->GetType(), Bond::Double);
        EXPECT_EQ(single->GetType(), Bond::Single);
        EXPECT_EQ(doubled->GetOrder(), 2.0);
        EXPECT_EQ(single->GetOrder(), 1.0);
        const std::vector<const Atom3d*> sources{a, b, c};
        for (std::size_t i = 0; i < images.size(); ++i)
            EXPECT_EQ(images[i]->GetHybridization(), sources[i]->GetHybridization());
        // A listener hears each new bond's type once as it is made and once more from its source.
        EXPECT_EQ(heard, listened ? 4 : 0);

        // The copies keep their other properties but none of the source's markers.
        EXPECT_EQ(Marker(*b, "_ASU"), 1);
        EXPECT_EQ(Marker(*images[1], "tag"), 7);
        EXPECT_FALSE(images[1]->HasProperty("_ASU"));
        EXPECT_EQ(Marker(*images[1], "_REP"), 1);
        EXPECT_FALSE(images[0]->HasProperty("tag"));
        EXPECT_FALSE(images[0]->HasProperty("_ASU"));
        map.reset();
        cell.reset();
    }
}

TEST_F(SymmetryMapBuildTest, AMoleculeReachedFirstAcrossMoleculesIsHeldTogetherByItsOwnBond)
{
    // The walk from X reaches Y and Z through bonds between molecules before the bond within the
    // second molecule links one of them again: that bond alone holds the second molecule together.
    MakeCell(2);
    auto* const first = new Molecule(cell.get());
    auto* const second = new Molecule(cell.get());
    Atom3d* const x = AddAtom(*first, "X", Point3d(0.1f, 0.2f, 0.3f));
    Atom3d* const z = AddAtom(*second, "Z", Point3d(0.2f, 0.2f, 0.3f));
    Atom3d* const y = AddAtom(*second, "Y", Point3d(0.15f, 0.28f, 0.3f));
    x->MakeBond(z, Bond::Single);
    x->MakeBond(y, Bond::Single);
    z->MakeBond(y, Bond::Double);
    SymmetryMap& m = Map();
    m.Update();
    ASSERT_TRUE(HierarchyDataErrorList::GetErrors().empty());
    AsymmetricUnit unit;
    m.GetAsymmetricUnit(unit);
    EXPECT_EQ(unit.GetAtomCount(), 3);
    const std::vector<const Atom*> images = ShowImages(m, {x, z, y});
    ASSERT_EQ(images.size(), 3U);
    EXPECT_NE(images[0]->GetParent(), images[1]->GetParent());
    EXPECT_EQ(images[1]->GetParent(), images[2]->GetParent());
    EXPECT_NE(images[1]->GetParent(), second);
    ASSERT_NE(images[1]->FindBond(images[2]), nullptr);
    EXPECT_EQ(images[1]->FindBond(images[2])->GetType(), Bond::Double);
    EXPECT_NE(images[0]->FindBond(images[1]), nullptr);
    EXPECT_NE(images[0]->FindBond(images[2]), nullptr);
    EXPECT_TRUE(test::Near(Fractional(*images[2]), Point3d(-0.15f, -0.28f, -0.3f), 1e-4));
}

TEST_F(SymmetryMapBuildTest, AnAtomBondedOnlyThroughAnImageIsMovedIntoTheAsymmetricUnit)
{
    // C2 lies far from C1, but its image under (-x, y + 1/2, -z) one cell along a and c is 1.5 A away:
    // with computed bonds the asymmetric unit takes that image in C2's place.
    MakeCell(4);
    auto* const unit = new Molecule(cell.get());
    Atom3d* const a = AddAtom(*unit, "C1", Point3d(0.1f, 0.2f, 0.3f));
    Atom3d* const b = AddAtom(*unit, "C2", Point3d(0.75f, 0.7f, 0.7f));
    SymmetryMap& m = Map();
    m.SetComputeBonds(true);
    m.Update();
    EXPECT_TRUE(HierarchyDataErrorList::GetErrors().empty());
    ASSERT_EQ(a->GetNumAttached(), 1);
    const auto* const moved = static_cast<const Atom3d*>(a->GetAttached(0));
    EXPECT_NE(moved, b);
    EXPECT_TRUE(test::Near(Fractional(*moved), Point3d(0.25f, 0.2f, 0.3f), 1e-4));
    EXPECT_TRUE(m.IsSymmetryParent(moved->GetOID()));
    EXPECT_EQ(m.GetSymmetryParentOID(b->GetOID()), moved->GetOID());
    EXPECT_EQ(m.GetSymmetryOperator(b->GetOID()), 1);
    EXPECT_EQ(Marker(*moved, "_ASU"), 1);
    EXPECT_EQ(Marker(*b, "_REP"), 1);
    // The request served one build; asking for no computed bonds rebuilds data that holds them,
    // and only that.
    EXPECT_FALSE(m.IsDirty());
    m.SetComputeBonds(false);
    EXPECT_TRUE(m.IsDirty());
    m.Update();
    EXPECT_TRUE(HierarchyDataErrorList::GetErrors().empty());
    EXPECT_EQ(a->GetNumAttached(), 1);
    m.SetComputeBonds(false);
    EXPECT_FALSE(m.IsDirty());
}

TEST_F(SymmetryMapBuildTest, ALateFailureOfTheBuildLeavesTheDocumentAsItWasAndTheMapEmpty)
{
    MakeMarkedP21();
    SymmetryMap& m = Map();
    internal::SetCellBuildTreeFailure(CellBuildTree::Step::Bonds);
    m.Update();
    internal::SetCellBuildTreeFailure(CellBuildTree::Step::None);
    EXPECT_TRUE(HasError("CellBuildTree::Build"));
    EXPECT_TRUE(m.IsDirty());
    OIDArray atoms{1};
    m.GetAtomOIDs(atoms);
    EXPECT_TRUE(atoms.empty());
    EXPECT_EQ(cell->GetNumChildren(), 1);
    for (Atom3d* const atom : {c1, c2, i1, i2})
        EXPECT_EQ(atom->GetParent(), molecule);
    EXPECT_TRUE(test::Near(Fractional(*i1), Point3d(0.9f, 0.7f, 0.7f), 1e-5));
    EXPECT_EQ(CountAtoms(*cell), 4);

    // The failed map tries again on the next update, with nothing edited.
    m.Update();
    EXPECT_TRUE(HierarchyDataErrorList::GetErrors().empty());
    EXPECT_FALSE(m.IsDirty());
    EXPECT_NE(i1->GetParent(), molecule);
}

TEST_F(SymmetryMapBuildTest, APasteTakesTheMapOnlyWithMatchingLists)
{
    MakeMarkedP21();
    SymmetryMap& m = Map();
    m.Update();
    OIDArray atoms;
    OIDArray objects;
    OIDArray bonds;
    m.GetAtomOIDs(atoms);
    m.GetObjectOIDs(objects);
    m.GetBondOIDs(bonds);
    ASSERT_EQ(atoms.size(), 4u);
    const std::unique_ptr<CellSymmetryMap> copy = m.ShallowCopy();
    EXPECT_EQ(copy->GetSymmetryParentOID(i1->GetOID()), 0u);
    copy->Paste(cell.get(), atoms, atoms, objects, objects, bonds, bonds, m);
    EXPECT_EQ(copy->GetSymmetryParentOID(i1->GetOID()), c1->GetOID());
    EXPECT_EQ(copy->GetSymmetryLabel(i1->GetOID(), "C1"), "C1#2@1,0,1");

    OIDArray reversed(atoms.rbegin(), atoms.rend());
    copy->Paste(cell.get(), reversed, atoms, objects, objects, bonds, bonds, m);
    OIDArray none{1};
    copy->GetAtomOIDs(none);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(copy->GetSymmetryParentOID(i1->GetOID()), 0u);
    EXPECT_EQ(copy->GetCell(), cell.get());
}

TEST_F(SymmetryMapBuildTest, MarkDirtyWithTrueRemovesEveryMarker)
{
    MakeMarkedP21();
    SymmetryMap& m = Map();
    m.Update();
    ASSERT_TRUE(i1->HasProperty("_RMI"));
    m.MarkDirty(false);
    EXPECT_TRUE(m.IsDirty());
    EXPECT_TRUE(i1->HasProperty("_REP"));
    m.MarkDirty(true);
    for (const Object* object : {static_cast<Object*>(c1), static_cast<Object*>(i1), i1->GetParent()})
        EXPECT_FALSE(object->HasProperty("_ASU") || object->HasProperty("_REP") || object->HasProperty("_RMI"));
}

TEST_F(SymmetryMapBuildTest, ASavedDocumentLoadsWithItsBuiltCellMapped)
{
    AttachDataModelDLL();
    ChemDoc source;
    auto* const built = new Cell3d(source.GetTreeRoot());
    ASSERT_TRUE(built->GetSymmetry()->LoadSpaceGroup(4, "", 0));
    auto* const unit = new Molecule(built);
    auto* const a = new Atom3d(unit, "C");
    a->SetXYZ(Point3d(0.1f, 0.2f, 0.3f) * built->GetFracToCart());
    a->SetProperty("_ASU", 0, 0);
    auto* const b = new Atom3d(unit, "C");
    b->SetXYZ(Point3d(0.9f, 0.7f, 0.7f) * built->GetFracToCart());
    b->SetProperty("_REP", 0, 0);
    built->EnableSymmetryMap(true);
    built->CreateSymmetryMap(false);
    ASSERT_NE(built->GetSymmetryMap(), nullptr);
    ASSERT_EQ(built->GetSymmetryMap()->GetSymmetryOperator(b->GetOID()), 1);

    Archive out;
    source.Serialize(out);
    ChemDoc loaded;
    Archive in{std::span<const std::uint8_t>(out.GetBuffer())};
    loaded.Serialize(in);
    auto* const cellBack = DynCast<Cell3d>(loaded.GetTreeRoot()->GetChild(0));
    ASSERT_NE(cellBack, nullptr);
    const CellSymmetryMap* const mapBack = cellBack->GetSymmetryMap();
    ASSERT_NE(mapBack, nullptr);
    IntArray keys;
    IntArray keysBack;
    built->GetSymmetryMap()->GetOperationIndexList(keys);
    mapBack->GetOperationIndexList(keysBack);
    EXPECT_EQ(keysBack, keys);
    ASSERT_EQ(cellBack->GetNumChildren(), 2);
    const Object* const imageBack = cellBack->GetChild(1)->GetChild(0);
    ASSERT_NE(imageBack, nullptr);
    EXPECT_EQ(mapBack->GetSymmetryOperator(imageBack->GetOID()), 1);
    EXPECT_TRUE(mapBack->GetLatticeOffset(imageBack->GetOID()).IsSame(LatticeOffset(1, 0, 1)));
    EXPECT_EQ(mapBack->GetSymmetryParentOID(imageBack->GetOID()), cellBack->GetChild(0)->GetChild(0)->GetOID());
}

} // namespace
