#include <gtest/gtest.h>

#include <memory>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/crystal/SymmetryOp.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
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

    std::unique_ptr<Cell3d> cell;
    std::unique_ptr<SymmetryMap> map;
};

TEST_F(SymmetryMapBuildTest, AFirstOperationOtherThanTheIdentityLeavesTheMapEmptyAndClean)
{
    MakeCell(4);
    AddAtom(*new Molecule(cell.get()), "C1", Point3d(0.1f, 0.2f, 0.3f));
    Matrix4x4 swapped = cell->GetSymmetry()->GetSymmetryOp(1)->GetMatrix();
    cell->GetSymmetry()->GetSymmetryOp(0)->SetMatrix(swapped);
    SymmetryMap& m = Map();
    EXPECT_TRUE(m.IsDirty());
    m.Update();
    EXPECT_FALSE(m.IsDirty());
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
    EXPECT_FALSE(m.IsDirty());
}

TEST_F(SymmetryMapBuildTest, AMarkedImageJoinsItsAtomAndMovesIntoAMoleculeOfItsOwn)
{
    MakeCell(4);
    auto* const molecule = new Molecule(cell.get());
    Atom3d* const c1 = AddAtom(*molecule, "C1", Point3d(0.1f, 0.2f, 0.3f));
    Atom3d* const c2 = AddAtom(*molecule, "C2", Point3d(0.2f, 0.2f, 0.3f));
    c1->MakeBond(c2, Bond::Single);
    c1->SetProperty("_ASU", 0, 0);
    c2->SetProperty("_ASU", 1, 0);
    // Operator 1 of P2_1 is (-x, y + 1/2, -z); one cell along a and c on top.
    Atom3d* const i1 = AddAtom(*molecule, "C1", Point3d(0.9f, 0.7f, 0.7f));
    Atom3d* const i2 = AddAtom(*molecule, "C2", Point3d(0.8f, 0.7f, 0.7f));
    i1->MakeBond(i2, Bond::Single);
    i1->SetProperty("_REP", 0, 0);
    i2->SetProperty("_REP", 1, 0);

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

    // A second build reads the markers and changes nothing.
    m.MarkDirty(false);
    m.Update();
    EXPECT_TRUE(HierarchyDataErrorList::GetErrors().empty());
    EXPECT_EQ(CountAtoms(*cell), 4);
    EXPECT_EQ(m.GetSymmetryParentOID(i2->GetOID()), c2->GetOID());
    EXPECT_EQ(cell->GetNumChildren(), 2);
}

} // namespace
