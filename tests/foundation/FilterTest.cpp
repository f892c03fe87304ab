#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/core/RegExpression.h>
#include <tavrel/core/RegNumber.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/FilterChildren.h>
#include <tavrel/foundation/FilterExpression.h>
#include <tavrel/foundation/FilterId.h>
#include <tavrel/foundation/FilterLabel.h>
#include <tavrel/foundation/FilterProperty.h>
#include <tavrel/foundation/FilterRadius.h>
#include <tavrel/foundation/FilterSelection.h>
#include <tavrel/foundation/FilterType.h>
#include <tavrel/foundation/FilterVisible.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/OrdCollection.h>

using namespace Tavrel;

namespace {

class FilterKind : public Object {
    TAVREL_DECLARE_CLASS(FilterKind, Object)
public:
    explicit FilterKind(TreeNode* parent) : Object(parent) {}

protected:
    FilterKind() = default;
    FilterKind(const FilterKind&) = default;
};
TAVREL_IMPLEMENT_CLASS(FilterKind, ClassKind::Creatable)

class FilterSubKind : public FilterKind {
    TAVREL_DECLARE_CLASS(FilterSubKind, FilterKind)
public:
    explicit FilterSubKind(TreeNode* parent) : FilterKind(parent) {}

protected:
    FilterSubKind() = default;
    FilterSubKind(const FilterSubKind&) = default;
};
TAVREL_IMPLEMENT_CLASS(FilterSubKind, ClassKind::Creatable)

// Accepts or rejects everything and counts the tests made through it and its copies.
class CountingFilter : public Filter {
public:
    CountingFilter(bool verdict, std::shared_ptr<int> calls) : Filter(Include), m_verdict(verdict), m_calls(std::move(calls)) {}
    std::unique_ptr<Filter> Copy() const override { return std::make_unique<CountingFilter>(*this); }

protected:
    bool DoTest(Object*) const override
    {
        ++*m_calls;
        return m_verdict;
    }

private:
    bool m_verdict;
    std::shared_ptr<int> m_calls;
};

// A positioned leaf.
class FilterPoint : public Geometric3d {
public:
    FilterPoint(Object* parent, const Point3d& at) : Geometric3d(parent) { SetXYZ(at); }
};

class FilterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<FilterKind>();
        ClassRegistry::Register<FilterSubKind>();
    }

    Object root{nullptr};
};

} // namespace

TEST_F(FilterTest, ExcludeModeNegatesTheWholeTestSoNullIsAccepted)
{
    Object plain(nullptr);
    const FilterType anyInclude(Filter::Include);
    const FilterType anyExclude(Filter::Exclude);
    EXPECT_TRUE(anyInclude(&plain));
    EXPECT_FALSE(anyInclude(nullptr));
    EXPECT_FALSE(anyExclude(&plain));
    EXPECT_TRUE(anyExclude(nullptr));

    // Every filter class rejects null in its test, so each accepts it in Exclude mode.
    const std::vector<std::unique_ptr<Filter>> excluding = [] {
        std::vector<std::unique_ptr<Filter>> filters;
        filters.push_back(std::make_unique<FilterChildren>(Filter::Exclude));
        filters.push_back(std::make_unique<FilterExpression>(FilterType(Filter::Exclude), FilterExpression::Or,
                                                             FilterType(Filter::Exclude), Filter::Exclude));
        filters.push_back(std::make_unique<FilterId>(Filter::Exclude));
        filters.push_back(std::make_unique<FilterLabel>(Filter::Exclude));
        filters.push_back(std::make_unique<FilterProperty>(Filter::Exclude));
        filters.push_back(std::make_unique<FilterSelection>(false, Filter::Exclude));
        filters.push_back(std::make_unique<FilterExactType>(Object::classType, Filter::Exclude));
        filters.push_back(std::make_unique<FilterVisible>(false, Filter::Exclude));
        return filters;
    }();
    for (const auto& filter : excluding) {
        EXPECT_TRUE((*filter)(nullptr));
        EXPECT_TRUE((*filter->Copy())(nullptr));
    }
}

TEST_F(FilterTest, TypeFilterFollowsBaseClassesAndExactTypeDoesNot)
{
    FilterSubKind derived(nullptr);
    FilterKind base(nullptr);
    EXPECT_TRUE(FilterType(FilterKind::classType, Filter::Include)(&derived));
    EXPECT_FALSE(FilterExactType(FilterKind::classType, Filter::Include)(&derived));
    EXPECT_TRUE(FilterExactType(FilterKind::classType, Filter::Include)(&base));
    EXPECT_FALSE(FilterType(FilterSubKind::classType, Filter::Include)(&base));

    const std::uint32_t types[] = {FilterSubKind::classType, Object::classType};
    EXPECT_TRUE(FilterType(types, 2, Filter::Include)(&root));
    EXPECT_TRUE(FilterType(types, 1, Filter::Include)(&derived));
    EXPECT_FALSE(FilterType(types, 1, Filter::Include)(&root));
    // A null list or a count below 1 is an empty list: everything passes.
    EXPECT_TRUE(FilterType(nullptr, 3, Filter::Include)(&root));
    EXPECT_TRUE(FilterType(types, 0, Filter::Include)(&root));

    FilterType assigned(FilterSubKind::classType, Filter::Exclude);
    assigned = ClassTypeArray{FilterKind::classType};
    EXPECT_FALSE(assigned(&derived));
    EXPECT_TRUE(assigned(&root));
}

TEST_F(FilterTest, SelectionAndVisibilityWithTheTopMostFlag)
{
    auto* parent = new Object(&root);
    auto* child = new Object(parent);
    const FilterSelection topMost(true, Filter::Include);
    const FilterSelection selected(false, Filter::Include);
    EXPECT_FALSE(selected(child));
    parent->Select(true);
    EXPECT_TRUE(selected(child));
    EXPECT_FALSE(topMost(child));
    EXPECT_TRUE(topMost(parent));
    root.Select(false);
    EXPECT_FALSE(topMost(&root));  // no parent

    const FilterVisible visible(false, Filter::Include);
    const FilterVisible topVisible(true, Filter::Include);
    EXPECT_TRUE(visible(child));
    EXPECT_FALSE(topVisible(child));
    parent->SetInvisible(false);
    EXPECT_TRUE(topVisible(child));
    EXPECT_FALSE(visible(parent));
    EXPECT_FALSE(topVisible(&root));

    // The inner filter must pass too.
    child->SetLabel("C");
    EXPECT_TRUE(FilterSelection(FilterLabel("C", Filter::Include), false, Filter::Include)(child));
    EXPECT_FALSE(FilterSelection(FilterLabel("D", Filter::Include), false, Filter::Include)(child));
    EXPECT_FALSE(FilterVisible(FilterLabel("D", Filter::Include), false, Filter::Include)(child));
}

TEST_F(FilterTest, ExpressionsShortCircuit)
{
    auto leftCalls = std::make_shared<int>(0);
    auto rightCalls = std::make_shared<int>(0);
    const CountingFilter accept(true, leftCalls);
    const CountingFilter reject(false, leftCalls);
    const CountingFilter right(true, rightCalls);

    EXPECT_TRUE(FilterExpression(accept, FilterExpression::Or, right, Filter::Include)(&root));
    EXPECT_FALSE(FilterExpression(reject, FilterExpression::And, right, Filter::Include)(&root));
    EXPECT_EQ(*leftCalls, 2);
    EXPECT_EQ(*rightCalls, 0);
    EXPECT_TRUE(FilterExpression(accept, FilterExpression::And, right, Filter::Include)(&root));
    EXPECT_TRUE(FilterExpression(reject, FilterExpression::Or, right, Filter::Include)(&root));
    EXPECT_EQ(*rightCalls, 2);
    // Null is rejected before either side is asked.
    EXPECT_FALSE(FilterExpression(accept, FilterExpression::Or, right, Filter::Include)(nullptr));
    EXPECT_EQ(*leftCalls, 4);
    // Negated expression over a negated side.
    EXPECT_TRUE(FilterExpression(FilterType(Filter::Exclude), FilterExpression::And, right, Filter::Exclude)(&root));
}

TEST_F(FilterTest, FiltersOwnCopiesOfTheirParts)
{
    std::unique_ptr<Filter> copy;
    {
        auto label = std::make_unique<FilterLabel>("A", Filter::Include);
        auto type = std::make_unique<FilterType>(Object::classType, Filter::Include);
        FilterExpression expression(*label, FilterExpression::And, *type, Filter::Include);
        label.reset();
        type.reset();
        copy = FilterExpression(expression).Copy();
    }
    root.SetLabel("AB");
    EXPECT_TRUE((*copy)(&root));
    root.SetLabel("B");
    EXPECT_FALSE((*copy)(&root));

    // An iterator keeps its own copy of a temporary filter.
    new Object(&root);
    DescendentIterator children(&root, FilterType(Object::classType, Filter::Include), false);
    EXPECT_NE(children.GetNext(), nullptr);
}

TEST_F(FilterTest, IdentifiersFromNumbersAndTexts)
{
    root.SetID(12);
    EXPECT_TRUE(FilterId(" +12abc", Filter::Include)(&root));
    EXPECT_FALSE(FilterId("abc", Filter::Include)(&root));
    EXPECT_FALSE(FilterId("99999999999", Filter::Include)(&root));
    root.SetID(0);
    EXPECT_TRUE(FilterId("abc", Filter::Include)(&root));

    root.SetID(7);
    const std::int32_t ids[] = {3, 7};
    EXPECT_TRUE(FilterId(ids, 2, Filter::Include)(&root));
    EXPECT_FALSE(FilterId(ids, 1, Filter::Include)(&root));
    EXPECT_TRUE(FilterId(nullptr, 5, Filter::Include)(&root));  // empty list
    EXPECT_TRUE(FilterId(std::vector<std::string>{"1", "7x"}, Filter::Include)(&root));
    EXPECT_FALSE(FilterId(7, Filter::Exclude)(&root));
    // The inner filter must pass too.
    EXPECT_FALSE(FilterId(FilterExactType(FilterKind::classType, Filter::Include), 7, Filter::Include)(&root));
    EXPECT_TRUE(FilterId(FilterType(Filter::Include), 7, Filter::Include)(&root));
}

TEST_F(FilterTest, LabelPatternsMatchPrefixesOrQuotedWholeLabels)
{
    Object ca(nullptr), ca1(nullptr), cab(nullptr), lower(nullptr), unlabelled(nullptr);
    ca.SetLabel("CA");
    ca1.SetLabel("CA1");
    cab.SetLabel("CAB");
    lower.SetLabel("ca");
    const FilterLabel prefix("CA", Filter::Include);
    const FilterLabel exact("\"CA\"", Filter::Include);
    EXPECT_TRUE(prefix(&ca1));
    EXPECT_FALSE(prefix(&lower));
    EXPECT_TRUE(exact(&ca));
    EXPECT_FALSE(exact(&ca1));
    EXPECT_FALSE(exact(&lower));

    EXPECT_TRUE(FilterLabel("", Filter::Include)(&cab));
    EXPECT_TRUE(FilterLabel(Filter::Include)(&unlabelled));
    // A lone quote character is the empty text, exact.
    const FilterLabel loneQuote("\"", Filter::Include);
    EXPECT_TRUE(loneQuote(&unlabelled));
    EXPECT_FALSE(loneQuote(&ca));

    const FilterLabel either(std::vector<std::string>{"\"CA1\"", "CAB"}, Filter::Include);
    EXPECT_FALSE(either(&ca));
    EXPECT_TRUE(either(&ca1));
    EXPECT_TRUE(either(&cab));
    EXPECT_TRUE(FilterLabel(FilterType(Filter::Include), "C", Filter::Include)(&ca));
    EXPECT_FALSE(FilterLabel(FilterType(Filter::Exclude), "C", Filter::Include)(&ca));
}

TEST_F(FilterTest, PropertiesCompareTextIgnoringCaseOrThroughAPattern)
{
    root.SetLabel("Alpha");
    root.SetID(15);
    EXPECT_TRUE(FilterProperty("Label", "ALPHA", Filter::Include)(&root));
    EXPECT_FALSE(FilterProperty("Label", "Alp", Filter::Include)(&root));
    EXPECT_TRUE(FilterProperty("ID", RegNumber("10-20"), Filter::Include)(&root));
    EXPECT_FALSE(FilterProperty("ID", RegNumber("1-9"), Filter::Include)(&root));
    EXPECT_TRUE(FilterProperty("Label", RegExpression("al.*", true), Filter::Include)(&root));
    EXPECT_FALSE(FilterProperty("Label", RegExpression("al.*", false), Filter::Include)(&root));

    // An empty name accepts every object; Exclude rejects them all.
    EXPECT_TRUE(FilterProperty(Filter::Include)(&root));
    EXPECT_FALSE(FilterProperty(Filter::Exclude)(&root));
    EXPECT_FALSE(FilterProperty(Filter::Include)(nullptr));

    // Copies keep their own pattern.
    std::unique_ptr<Filter> copy;
    {
        const FilterProperty original("ID", RegNumber(">10"), Filter::Include);
        copy = original.Copy();
    }
    EXPECT_TRUE((*copy)(&root));
    FilterProperty assigned(Filter::Exclude);
    assigned = FilterProperty("ID", RegNumber("<10"), Filter::Include);
    EXPECT_FALSE(assigned(&root));
}

TEST_F(FilterTest, ChildrenFilterTestsTheChildren)
{
    const FilterChildren any(Filter::Include);
    EXPECT_FALSE(any(&root));
    auto* child = new Object(&root);
    EXPECT_TRUE(any(&root));
    EXPECT_FALSE(any(child));
    const FilterChildren ofKind(FilterType(FilterKind::classType, Filter::Include), Filter::Include);
    EXPECT_FALSE(ofKind(&root));
    new FilterSubKind(&root);
    EXPECT_TRUE(ofKind(&root));
}

namespace {

TEST_F(FilterTest, RadiusIsInclusiveAndTakesTheCentresOnce)
{
    FilterPoint* const centre = new FilterPoint(&root, Point3d());
    OrdCollection centres;
    centres.Add(centre);
    centres.Add(nullptr);
    centres.Add(&root); // not positioned: skipped
    const FilterRadius filter(centres, 1.5, Filter::Include);
    ASSERT_EQ(filter.GetCentres().size(), 1u);
    FilterPoint* const onEdge = new FilterPoint(&root, Point3d(1.5, 0, 0));
    FilterPoint* const beyond = new FilterPoint(&root, Point3d(1.5001f, 0, 0));
    EXPECT_TRUE(filter(onEdge));
    EXPECT_FALSE(filter(beyond));
    EXPECT_FALSE(filter(&root));
    EXPECT_FALSE(filter(nullptr));
    // Moving the centre afterwards moves nothing in the filter or its copies.
    centre->SetXYZ(Point3d(10, 0, 0));
    EXPECT_TRUE((*filter.Copy())(onEdge));
    EXPECT_TRUE(FilterRadius(centres, 1.5, Filter::Exclude)(beyond));
}

TEST_F(FilterTest, RadiusOverManyCentresAgreesWithThePlainTest)
{
    UniformRandomSequence random(-20.0, 20.0);
    random.Seed(7);
    const auto next = [&] { return Point3d(random.Next(), random.Next(), random.Next()); };
    OrdCollection centres;
    Point3d::Array points;
    for (int i = 0; i < 200; ++i) {
        points.push_back(next());
        centres.Add(new FilterPoint(&root, points.back()));
    }
    for (const double radius : {0.0, 0.7, 2.5, 60.0}) {
        const FilterRadius filter(centres, radius, Filter::Include);
        int accepted = 0;
        for (int i = 0; i < 2000; ++i) {
            // Some probes exactly on a centre, the rest anywhere.
            const Point3d at = i % 50 == 0 ? points[static_cast<std::size_t>(i / 50)] : next();
            FilterPoint probe(nullptr, at);
            bool plain = false;
            for (const Point3d& p : points)
                plain = plain || Distance(at, p) <= radius;
            ASSERT_EQ(filter(&probe), plain) << "radius " << radius << " probe " << i;
            accepted += plain ? 1 : 0;
        }
        EXPECT_GT(accepted, 0);
    }
}

} // namespace
