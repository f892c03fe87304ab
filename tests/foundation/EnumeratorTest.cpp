#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/core/DisplayList3D.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/ChildIterator.h>
#include <tavrel/foundation/ClassNameEnumerator.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/ClassTypeEnumerator.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/DisplayEnumerator.h>
#include <tavrel/foundation/ExtentsEnumerator.h>
#include <tavrel/foundation/FilterLabel.h>
#include <tavrel/foundation/FilterType.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/Mutator.h>
#include <tavrel/foundation/SearchEnumerator.h>
#include <tavrel/foundation/SelectEnumerator.h>
#include <tavrel/foundation/VisibleEnumerator.h>

using namespace Tavrel;

namespace {

// A positioned object that draws a dot at its position.
class EnumPoint : public Geometric3d {
    TAVREL_DECLARE_CLASS(EnumPoint, Geometric3d)
public:
    EnumPoint(Object* parent, std::string_view label, const Point3d& position) : Geometric3d(parent)
    {
        SetLabel(label);
        SetXYZ(position);
        SetDisplayStyle(1);
    }

protected:
    EnumPoint() = default;
    EnumPoint(const EnumPoint&) = default;
    void NormalDisplay(DisplayList3D& list) override { list.Add(DotPrimitive(GetXYZ(), GetColor(), 1.0, GetOID())); }
};
TAVREL_IMPLEMENT_CLASS(EnumPoint, ClassKind::Creatable)

// Records the calls a driver makes.
class Recorder : public Enumerator {
public:
    explicit Recorder(bool initialize = true, int stopAt = -1) : Enumerator(nullptr), m_initialize(initialize), m_stopAt(stopAt) {}
    bool Initialize() override
    {
        calls.push_back("init");
        return m_initialize;
    }
    bool Enumerate(Object* object, int index) override
    {
        calls.push_back(object->GetLabel() + "@" + std::to_string(index));
        return index != m_stopAt;
    }
    void Finalize() override { calls.push_back("fin"); }

    std::vector<std::string> calls;

private:
    bool m_initialize;
    int m_stopAt;
};

// Counts the names offered to it, to show whether a walk happened.
class CountingNames : public ClassNameEnumerator {
public:
    using ClassNameEnumerator::ClassNameEnumerator;
    void AddName(std::string_view name, Object* object) override
    {
        ++offered;
        ClassNameEnumerator::AddName(name, object);
    }
    int offered = 0;
};

using Texts = std::vector<std::string>;

// root(P1, O2(P3), P4), P = EnumPoint, O = plain Object
class EnumeratorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<EnumPoint>();
    }
    void SetUp() override
    {
        root.SetLabel("root");
        p1 = new EnumPoint(&root, "P1", Point3d(1, -2, 3));
        o2 = new Object(&root);
        o2->SetLabel("O2");
        p3 = new EnumPoint(o2, "P3", Point3d(-4, 5, 0.5));
        p4 = new EnumPoint(&root, "P4", Point3d(0, 0, 9));
    }

    Object root{nullptr};
    EnumPoint* p1 = nullptr;
    Object* o2 = nullptr;
    EnumPoint* p3 = nullptr;
    EnumPoint* p4 = nullptr;
};

} // namespace

TEST_F(EnumeratorTest, DriverCallsInitializeEachObjectWithItsIndexThenFinalize)
{
    Recorder all;
    DescendentIterator walk(&root, false);
    EXPECT_TRUE(walk.Enumerate(all));
    EXPECT_EQ(all.calls, (Texts{"init", "P1@0", "O2@1", "P3@2", "P4@3", "fin"}));

    Recorder stopping(true, 1);
    walk.Reset();
    EXPECT_FALSE(walk.Enumerate(stopping));
    EXPECT_EQ(stopping.calls, (Texts{"init", "P1@0", "O2@1", "fin"}));
    // The walk stands after the object that stopped it.
    EXPECT_EQ(walk.GetNext(), p3);

    Recorder refusing(false);
    walk.Reset();
    EXPECT_FALSE(walk.Enumerate(refusing));
    EXPECT_EQ(refusing.calls, Texts{"init"});

    Recorder empty;
    ChildIterator none(p1, false);
    EXPECT_FALSE(none.Enumerate(empty));
    EXPECT_EQ(empty.calls, (Texts{"init", "fin"}));
}

TEST_F(EnumeratorTest, ClassNamesAndTypesComeOnceInFirstSeenOrder)
{
    ClassNameArray names{"stale"};
    ClassNameEnumerator byName(&names, nullptr);
    DescendentIterator walk(&root, true);
    EXPECT_TRUE(walk.Enumerate(byName));
    EXPECT_EQ(names, (Texts{"XXObject", "XXEnumPoint"}));

    // Reusing the enumerator starts afresh.
    ChildIterator children(o2, false);
    EXPECT_TRUE(children.Enumerate(byName));
    EXPECT_EQ(names, Texts{"XXEnumPoint"});

    ClassNameArray common;
    CommonClassNameEnumerator byCommonName(&common, nullptr);
    walk.Reset();
    EXPECT_TRUE(walk.Enumerate(byCommonName));
    EXPECT_EQ(common, (Texts{"Object", "EnumPoint"}));

    ClassTypeArray types;
    const FilterLabel onlyP("P", Filter::Include);
    ClassTypeEnumerator byType(&types, &onlyP);
    walk.Reset();
    EXPECT_TRUE(walk.Enumerate(byType));
    EXPECT_EQ(types, ClassTypeArray{EnumPoint::classType});
}

TEST_F(EnumeratorTest, CollectorsWithoutAnOutputDoNotWalk)
{
    CountingNames names(nullptr, nullptr);
    DescendentIterator walk(&root, true);
    EXPECT_FALSE(walk.Enumerate(names));
    EXPECT_EQ(names.offered, 0);
    ClassTypeEnumerator types(nullptr, nullptr);
    EXPECT_FALSE(walk.Enumerate(types));
    // Nothing was consumed.
    EXPECT_EQ(walk.GetNext(), &root);
}

TEST_F(EnumeratorTest, SearchStopsAtTheFirstMatch)
{
    const FilterLabel p3Label("P3", Filter::Include);
    SearchEnumerator search(&p3Label);
    DescendentIterator walk(&root, true);
    EXPECT_FALSE(walk.Enumerate(search));
    EXPECT_EQ(search.GetObjectA(), p3);
    EXPECT_EQ(walk.GetNext(), p4);

    // A walk without a match reports success and forgets the earlier result.
    ChildIterator children(&root, false);
    EXPECT_TRUE(children.Enumerate(search));
    EXPECT_EQ(search.GetObjectA(), nullptr);

    // Without a filter the first object is found.
    SearchEnumerator first(nullptr);
    children.Reset();
    EXPECT_FALSE(children.Enumerate(first));
    EXPECT_EQ(first.GetObjectA(), p1);
}

TEST_F(EnumeratorTest, SelectAndVisibleActOnSubtreesAndStopAtNull)
{
    SelectEnumerator select(true);
    ChildIterator children(&root, false);
    EXPECT_TRUE(children.Enumerate(select));
    EXPECT_TRUE(p3->IsSelected());
    EXPECT_FALSE(root.IsSelected());
    EXPECT_FALSE(select.Enumerate(nullptr, 0));

    SelectEnumerator shallow(false, false);
    EXPECT_TRUE(shallow.Enumerate(o2, 0));
    // Deselection always descends.
    EXPECT_FALSE(p3->IsSelected());

    VisibleEnumerator hide(false);
    EXPECT_TRUE(hide.Enumerate(o2, 0));
    EXPECT_FALSE(p3->IsVisible());
    EXPECT_FALSE(hide.Enumerate(nullptr, 1));
    VisibleEnumerator show(true);
    EXPECT_TRUE(show.Enumerate(o2, 0));
    EXPECT_TRUE(p3->IsVisible());
}

TEST_F(EnumeratorTest, ExtentsCoverTheGeometricObjectsOnly)
{
    ExtentsEnumerator extents(nullptr);
    ChildIterator none(p1, false);
    EXPECT_FALSE(none.Enumerate(extents));
    EXPECT_EQ(extents.count, 0);
    EXPECT_EQ(extents.minimum.x, Point3d::maximum.x);
    EXPECT_EQ(extents.maximum.z, Point3d::minimum.z);

    DescendentIterator walk(&root, true);
    EXPECT_TRUE(walk.Enumerate(extents));
    EXPECT_EQ(extents.count, 3);
    EXPECT_EQ(extents.minimum, Point3d(-4, -2, 0.5));
    EXPECT_EQ(extents.maximum, Point3d(1, 5, 9));

    // A second walk measures only what it visits.
    const FilterLabel onlyP4("P4", Filter::Include);
    ExtentsEnumerator filtered(&onlyP4);
    walk.Reset();
    EXPECT_TRUE(walk.Enumerate(filtered));
    ChildIterator children(o2, false);
    EXPECT_TRUE(children.Enumerate(extents));
    EXPECT_EQ(extents.count, 1);
    EXPECT_FLOAT_EQ(extents.maximum.x, -4.0f);
    EXPECT_EQ(filtered.count, 1);
    EXPECT_FLOAT_EQ(filtered.minimum.z, 9.0f);
}

TEST_F(EnumeratorTest, DisplayDrawsEachAcceptedSubtree)
{
    DisplayList3D list;
    const FilterType geometric(Geometric::classType, Filter::Include);
    DisplayEnumerator display(list, false, &geometric);
    ChildIterator children(&root, false);
    EXPECT_TRUE(children.Enumerate(display));
    // O2 is not Geometric, so its subtree (P3) is not drawn.
    ASSERT_EQ(list.GetSize(), 2u);
    EXPECT_EQ(list.GetPrimitive(0)->GetOID(), p1->GetOID());
    EXPECT_EQ(list.GetPrimitive(1)->GetOID(), p4->GetOID());

    DisplayList3D selected;
    p3->Select(false);
    DisplayEnumerator selectedOnly(selected, true, nullptr);
    ChildIterator again(&root, false);
    EXPECT_TRUE(again.Enumerate(selectedOnly));
    ASSERT_EQ(selected.GetSize(), 1u);
    EXPECT_EQ(selected.GetPrimitive(0)->GetOID(), p3->GetOID());
}

TEST_F(EnumeratorTest, MutatorCallsTheFunctionWithTheUserData)
{
    std::vector<Object*> seen;
    Mutator collect([](Object* object, void* data) { static_cast<std::vector<Object*>*>(data)->push_back(object); },
                    &seen);
    ChildIterator children(&root, false);
    EXPECT_TRUE(children.Enumerate(collect));
    EXPECT_TRUE(collect.Enumerate(nullptr, 3));
    EXPECT_EQ(seen, (std::vector<Object*>{p1, o2, p4, nullptr}));
    Mutator nothing(nullptr, nullptr);
    EXPECT_TRUE(nothing.Enumerate(p1, 0));
}
