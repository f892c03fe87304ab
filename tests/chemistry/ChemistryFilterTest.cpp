#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/ElementEnumerator.h>
#include <tavrel/chemistry/ElementFactory.h>
#include <tavrel/chemistry/FilterAtoms.h>
#include <tavrel/chemistry/FilterBonds.h>
#include <tavrel/chemistry/FilterElement.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/FilterLabel.h>
#include <tavrel/foundation/FilterRadius.h>
#include <tavrel/foundation/NamedProperty.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/Specification.h>

using namespace Tavrel;

namespace {

class ChemistryFilterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    Atom3d* Add(const char* symbol, const Point3d& at)
    {
        auto* const atom = new Atom3d(molecule.get(), symbol);
        atom->SetXYZ(at);
        return atom;
    }
    static const Element* ElementOf(const char* symbol)
    {
        return ElementFactory::GetElementFactory().FindElement(symbol);
    }

    std::unique_ptr<Molecule> molecule = std::make_unique<Molecule>(nullptr);
    Atom3d* c1 = Add("C", Point3d(0, 0, 0));
    Atom3d* c2 = Add("C", Point3d(1.5, 0, 0));
    Atom3d* o = Add("O", Point3d(3.0, 0, 0));
    Bond* cc = c1->MakeBond(c2, Bond::Single);
    Bond* co = c2->MakeBond(o, Bond::Double);
};

TEST_F(ChemistryFilterTest, AtomFilterPassesAtomsThroughItsInnerFilter)
{
    const FilterAtoms atoms(Filter::Include);
    EXPECT_TRUE(atoms(c1));
    EXPECT_FALSE(atoms(cc));
    EXPECT_FALSE(atoms(molecule.get()));
    EXPECT_FALSE(atoms(nullptr));
    EXPECT_TRUE(FilterAtoms(Filter::Exclude)(nullptr));

    c2->SetLabel("middle");
    const FilterAtoms labelled(FilterLabel("middle", Filter::Include), Filter::Include);
    EXPECT_TRUE(labelled(c2));
    EXPECT_FALSE(labelled(c1));
    // The inner filter is copied with the filter.
    EXPECT_TRUE((*labelled.Copy())(c2));
    EXPECT_FALSE((*labelled.Copy())(c1));
}

TEST_F(ChemistryFilterTest, BondFilterTestsBothAtomsWithItsInnerFilter)
{
    const FilterBonds bonds(Filter::Include);
    EXPECT_TRUE(bonds(cc));
    EXPECT_TRUE(bonds(co));
    EXPECT_FALSE(bonds(c1));
    EXPECT_FALSE(bonds(nullptr));

    const FilterBonds carbonOnly(FilterElement(ElementType(6), Filter::Include), Filter::Include);
    EXPECT_TRUE(carbonOnly(cc));
    EXPECT_FALSE(carbonOnly(co));
    EXPECT_TRUE(FilterBonds(FilterElement(ElementType(6), Filter::Include), Filter::Exclude)(co));
}

TEST_F(ChemistryFilterTest, ElementFilterMatchesListedElementsOfAtomsOnly)
{
    const FilterElement any(Filter::Include);
    EXPECT_TRUE(any(c1));
    EXPECT_TRUE(any(o));
    EXPECT_FALSE(any(cc));
    EXPECT_FALSE(any(molecule.get()));

    const ElementType types[] = {ElementType(7), ElementType(8)};
    const FilterElement nitrogenOrOxygen(types, 2, Filter::Include);
    EXPECT_TRUE(nitrogenOrOxygen(o));
    EXPECT_FALSE(nitrogenOrOxygen(c1));
    EXPECT_EQ(nitrogenOrOxygen.GetElementTypes().size(), 2u);
    EXPECT_TRUE(FilterElement(nullptr, 3, Filter::Include).GetElementTypes().empty());
    EXPECT_TRUE(FilterElement(types, 0, Filter::Include)(c1));
    // Exclude: everything that is not an oxygen atom, bonds and null included.
    const FilterElement notOxygen(ElementType(8), Filter::Exclude);
    EXPECT_TRUE(notOxygen(c1));
    EXPECT_TRUE(notOxygen(cc));
    EXPECT_FALSE(notOxygen(o));
}

TEST_F(ChemistryFilterTest, RadiusFilterSelectsAtomsAndBondsNearTheCentres)
{
    OrdCollection centres;
    centres.Add(o);
    const FilterRadius near(centres, 1.5, Filter::Include);
    // A bond's position is its midpoint.
    OrdCollection found(DescendentIterator(molecule.get(), near, false));
    EXPECT_EQ(found.GetSize(), 3);
    EXPECT_EQ(found.GetAt(0), c2);
    EXPECT_EQ(found.GetAt(1), o);
    EXPECT_EQ(found.GetAt(2), co);
}

TEST_F(ChemistryFilterTest, ElementEnumeratorCollectsDistinctElementsOfAtomsOnly)
{
    Add("C", Point3d(5, 0, 0));
    ElementArray elements{ElementOf("N")};
    ElementEnumerator enumerator(&elements, nullptr);
    DescendentIterator all(molecule.get(), true);
    EXPECT_TRUE(all.Enumerate(enumerator));
    EXPECT_EQ(elements, (ElementArray{ElementOf("C"), ElementOf("O")}));

    // Through a filter; the same enumerator starts afresh on every walk.
    const FilterElement oxygen(ElementType(8), Filter::Include);
    ElementEnumerator filtered(&elements, &oxygen);
    all.Reset();
    all.Enumerate(filtered);
    EXPECT_EQ(elements, ElementArray{ElementOf("O")});
    // Even a filter that accepts everything lets no bond or container through.
    const FilterRadius everywhere(OrdCollection(), 0.0, Filter::Exclude);
    EXPECT_FALSE(enumerator.IsValidObject(cc));
    EXPECT_FALSE(ElementEnumerator(&elements, &everywhere).IsValidObject(molecule.get()));
    // Without an output there is no walk.
    ElementEnumerator none(nullptr, nullptr);
    all.Reset();
    EXPECT_FALSE(all.Enumerate(none));
}

TEST_F(ChemistryFilterTest, SpecificationsSelectAtomsByTheirElementText)
{
    Atom3d* const n = Add("N", Point3d(5, 0, 0));
    // "Atom" is the common name of the concrete atom class; "Element" reads as the element's name.
    OrdCollection found;
    ASSERT_TRUE(Specification("Atom Element=Carbon,Element=nitrogen").GetObjects(molecule.get(), found));
    ASSERT_EQ(found.GetSize(), 3);
    EXPECT_EQ(found.GetAt(0), c1);
    EXPECT_EQ(found.GetAt(1), c2);
    EXPECT_EQ(found.GetAt(2), n);
    // Symbols are not the element's text, so they select nothing.
    OrdCollection bySymbol;
    ASSERT_TRUE(Specification("Atom Element=C,Element=N").GetObjects(molecule.get(), bySymbol));
    EXPECT_TRUE(bySymbol.IsEmpty());

    // Negated: every atom whose element is not carbon; a bond has no element text, so it passes too.
    const NamedProperty notCarbon("Element != Carbon");
    EXPECT_FALSE(notCarbon.CheckObject(c1));
    EXPECT_TRUE(notCarbon.CheckObject(o));
    EXPECT_TRUE(notCarbon.CheckObject(cc));
    EXPECT_TRUE(NamedProperty("Element != C").CheckObject(c1));
    OrdCollection notCarbonAtoms;
    ASSERT_TRUE(Specification("Atom Element != Carbon").GetObjects(molecule.get(), notCarbonAtoms));
    ASSERT_EQ(notCarbonAtoms.GetSize(), 2);
    EXPECT_EQ(notCarbonAtoms.GetAt(0), o);
    EXPECT_EQ(notCarbonAtoms.GetAt(1), n);
}

} // namespace
