#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/core/DisplayList3D.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/InternalPropertyArchive.h>
#include <tavrel/platform/Archive.h>
#include "support/Near.h"

using namespace Tavrel;
using Tavrel::test::Near;

namespace {

std::vector<std::uint32_t> g_moved;

void RecordMove(Event& event)
{
    g_moved.push_back(event.GetTreeNodeOID());
}

// A positioned leaf the tests can make.
class Point : public Geometric3d {
public:
    explicit Point(Object* parent, const Point3d& at = Point3d()) : Geometric3d(parent) { SetXYZ(at); }
};

// A container without a position of its own.
class Group : public Geometric {
public:
    explicit Group(Object* parent) : Geometric(parent) {}
};

class GeometricTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    void SetUp() override { g_moved.clear(); }
};

} // namespace

TEST_F(GeometricTest, PositionTextUsesFourDecimalsAndNeedsEveryNumber)
{
    Point p(nullptr, Point3d(1.0, 2.5, -3.0));
    EXPECT_EQ(p.GetPropertyAsString("xyz"), "1.0000 2.5000 -3.0000");
    EXPECT_EQ(p.GetPropertyAsString("Y"), "2.5000");
    EXPECT_FALSE(p.SetPropertyFromString("XYZ", "4 5"));
    EXPECT_FALSE(p.SetPropertyFromString("x", "east"));
    EXPECT_FALSE(p.SetPropertyFromString("z", "1e60"));
    EXPECT_EQ(p.GetXYZ(), Point3d(1.0, 2.5, -3.0));
    EXPECT_FALSE(p.SetPropertyFromString("XYZ", "4 5 1e39"));
    EXPECT_FALSE(p.SetPropertyFromString("XYZ", "4,5,6"));
    EXPECT_EQ(p.GetXYZ(), Point3d(1.0, 2.5, -3.0));
    // The leading numbers are taken, the text after them ignored.
    EXPECT_TRUE(p.SetPropertyFromString("XYZ", " 4 5 6 and more"));
    EXPECT_TRUE(p.SetPropertyFromString("z", "-0.5 A"));
    EXPECT_EQ(p.GetXYZ(), Point3d(4.0, 5.0, -0.5));
    // Other names still reach the Object level.
    EXPECT_TRUE(p.SetPropertyFromString("ID", "3"));
    EXPECT_EQ(p.GetID(), 3);

    const ObjectProperty xyz = p.GetPropertyAsObjectProperty("XYZ");
    EXPECT_EQ(xyz.GetPropertyType(), 5);
    EXPECT_TRUE(xyz.IsWritable());
    EXPECT_FALSE(p.GetPropertyAsObjectProperty("X").HasValue());
    ObjectProperty::Array all;
    EXPECT_EQ(p.GetProperties(all), 4);
    EXPECT_EQ(all.back().GetName(), "XYZ");
}

TEST_F(GeometricTest, EverySetAnnouncesAMoveEvenWithoutAStoredPosition)
{
    Group group(nullptr);
    group.RegisterEvent(Geometric::classType, Geometric::EventMoved, RecordMove, true, nullptr, nullptr);
    group.SetXYZ(Point3d(1.0, 1.0, 1.0));
    EXPECT_EQ(group.GetXYZ(), Point3d::origin);
    Point* p = new Point(&group);
    g_moved.clear();
    p->SetXYZ(Point3d());
    p->SetXYZ(Point3d());
    p->Translate(Point3d(1.0, 0.0, 0.0));
    EXPECT_EQ(g_moved.size(), 3u);
}

TEST_F(GeometricTest, TreeMotionsMoveEachGeometricOnceThroughOtherObjects)
{
    Group top(nullptr);
    Point* a = new Point(&top, Point3d(1.0, 0.0, 0.0));
    Object* plain = new Object(&top);
    Point* b = new Point(plain, Point3d(0.0, 2.0, 0.0));
    Point* c = new Point(b, Point3d(0.0, 0.0, 3.0));
    top.RegisterEvent(Geometric::classType, Geometric::EventMoved, RecordMove, true, nullptr, nullptr);

    top.TranslateTree(Point3d(1.0, 1.0, 1.0));
    EXPECT_EQ(g_moved, (std::vector<std::uint32_t>{top.GetOID(), a->GetOID(), b->GetOID(), c->GetOID()}));
    EXPECT_EQ(c->GetXYZ(), Point3d(1.0, 1.0, 4.0));

    // A quarter turn about z, right-handed, in degrees.
    a->Rotate(Point3d(0.0, 0.0, 1.0), 90.0);
    EXPECT_TRUE(Near(a->GetXYZ(), Point3d(-1.0, 2.0, 1.0)));
    top.RotateTree(Point3d(), Point3d(0.0, 0.0, 1.0), 180.0);
    EXPECT_TRUE(Near(b->GetXYZ(), Point3d(-1.0, -3.0, 1.0)));
    Matrix4x4 shift;
    shift.SetTranslation(Point3d(0.0, 0.0, 10.0));
    top.TransformTree(shift);
    EXPECT_TRUE(Near(c->GetXYZ(), Point3d(-1.0, -1.0, 14.0)));
}

TEST_F(GeometricTest, CentreAndExtentsCoverDescendantsOnly)
{
    Point leaf(nullptr, Point3d(5.0, 6.0, 7.0));
    EXPECT_EQ(leaf.CalculateCenter(), Point3d::origin);
    Point3d first;
    Point3d second;
    leaf.CalculateExtents(first, second);
    EXPECT_EQ(first, Point3d(5.0, 6.0, 7.0));
    EXPECT_EQ(second, Point3d(5.0, 6.0, 7.0));

    Point container(nullptr, Point3d(100.0, 100.0, 100.0));
    new Point(&container, Point3d(1.0, 2.0, 3.0));
    container.CalculateExtents(first, second);
    EXPECT_EQ(first, Point3d(1.0, 2.0, 3.0));
    EXPECT_EQ(second, Point3d(1.0, 2.0, 3.0));

    Object* plain = new Object(&container);
    new Point(plain, Point3d(-3.0, 8.0, 0.0));
    new Point(&container, Point3d(5.0, -1.0, 0.0));
    EXPECT_EQ(container.CalculateCenter(), Point3d(1.0, 3.0, 1.0));
    container.CalculateExtents(first, second);
    EXPECT_EQ(first, Point3d(5.0, 8.0, 3.0));
    EXPECT_EQ(second, Point3d(-3.0, -1.0, 0.0));
    EXPECT_EQ(container.GetAnnotationXYZ(), first);
}

TEST_F(GeometricTest, DeepChainsAreMeasuredAndMovedWithoutRecursion)
{
    constexpr int depth = 100000;
    Geometric3d* node = new Point(nullptr, Point3d(1.0, 0.0, 0.0));
    std::unique_ptr<Geometric3d> top(node);
    for (int i = 0; i < depth; ++i) {
        auto* above = new Point(nullptr, Point3d(2.0, 0.0, 0.0));
        top.release()->SetParent(above);
        top.reset(above);
    }
    EXPECT_EQ(top->CalculateCenter(), Point3d((2.0 * (depth - 1) + 1.0) / depth, 0.0, 0.0));
    top->TranslateTree(Point3d(0.0, 1.0, 0.0));
    EXPECT_EQ(node->GetXYZ(), Point3d(1.0, 1.0, 0.0));
}

TEST_F(GeometricTest, JackIsThreeLinesAndAPickableDot)
{
    Point p(nullptr, Point3d(1.0, 1.0, 1.0));
    DisplayList3D none(0);
    p.DisplayJack(Color::Red(), 77, none);
    EXPECT_TRUE(none.IsEmpty());
    DisplayList3D list;
    p.DisplayJack(Color::Red(), 77, list);
    const auto lines = list.GetAll<LinePrimitive>();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(Near(lines[1]->GetFrom(), Point3d(1.0, 1.2, 1.0)));
    EXPECT_TRUE(Near(lines[1]->GetTo(), Point3d(1.0, 0.8, 1.0)));
    EXPECT_EQ(lines[2]->GetWidth(), 1.0);
    const auto dots = list.GetAll<DotPrimitive>();
    ASSERT_EQ(dots.size(), 1u);
    EXPECT_EQ(dots[0]->GetOID(), 77u);
    EXPECT_EQ(dots[0]->GetColor(), Color::Red());
}

// Records after a class's first one read a colour or position block of its usual size straight from
// the stream; a block of another size is read as any byte block is, and a short one refuses the load.
TEST_F(GeometricTest, ColourAndPositionBlocksOfAnySizeReadAsBefore)
{
    std::unique_ptr<Geometric3d> top(ClassAccess::New<Geometric3d>());
    std::vector<Geometric3d*> points;
    for (int i = 0; i < 4; ++i) {
        auto* const point = new Point(top.get(), Point3d(1.0 + i, -2.5 * i, 0.125));
        point->SetColor(Color(10 * i, 20, 30));
        points.push_back(point);
    }
    points[1]->SetProperty("Weight", std::int32_t{7}, 0);
    Archive out;
    {
        CompressedPropertyArchive stream(out);
        // The children name their parent by OID.
        stream.AddOIDMapEntry(top->GetOID(), top->GetOID());
        top->WriteProperties(stream, top->GetOID());
    }
    const std::vector<std::uint8_t> saved = out.GetBuffer();
    // The block of a value: its length, then its bytes.
    const auto blockOf = [](auto value, std::size_t size) {
        Archive block;
        block << static_cast<std::int32_t>(size) << value;
        return block.GetBuffer();
    };
    const auto load = [](const std::vector<std::uint8_t>& bytes) {
        Archive in(bytes);
        CompressedPropertyArchive stream(in);
        return std::unique_ptr<Base>(Catalog::ReadProperties(stream));
    };
    // The bytes with one block replaced by another.
    const auto replaced = [&saved](const std::vector<std::uint8_t>& block, const std::vector<std::uint8_t>& by) {
        const auto at = std::search(saved.begin(), saved.end(), block.begin(), block.end());
        EXPECT_NE(at, saved.end());
        std::vector<std::uint8_t> bytes(saved.begin(), at);
        bytes.insert(bytes.end(), by.begin(), by.end());
        bytes.insert(bytes.end(), at + static_cast<std::ptrdiff_t>(block.size()), saved.end());
        return bytes;
    };
    const auto xyz = blockOf(points[2]->GetXYZ(), 12);
    std::vector<std::uint8_t> longer = xyz;
    longer[0] = 16;
    longer.insert(longer.end(), {1, 2, 3, 4});
    const auto colour = blockOf(points[3]->GetColor(), 4);
    std::vector<std::uint8_t> wide = colour;
    wide[0] = 8;
    wide.insert(wide.end(), {9, 9, 9, 9});

    for (const auto& bytes : {saved, replaced(xyz, longer), replaced(colour, wide)}) {
        const std::unique_ptr<Base> loaded = load(bytes);
        auto* const group = DynCast<Geometric3d>(loaded.get());
        ASSERT_NE(group, nullptr);
        ASSERT_EQ(group->GetNumChildren(), 4);
        for (int i = 0; i < 4; ++i) {
            const auto* const point = DynCast<Geometric3d>(group->GetChild(i));
            EXPECT_EQ(point->GetXYZ(), points[static_cast<std::size_t>(i)]->GetXYZ());
            EXPECT_EQ(point->GetColor(), points[static_cast<std::size_t>(i)]->GetColor());
            std::int32_t weight = 0;
            EXPECT_EQ(point->GetProperty("Weight", weight), i == 1);
            EXPECT_EQ(weight, i == 1 ? 7 : 0);
        }
    }
    std::vector<std::uint8_t> shorter(xyz.begin(), xyz.end() - 4);
    shorter[0] = 8;
    EXPECT_THROW(load(replaced(xyz, shorter)), ArchiveException);
}

// Planned records read their values in place from the input: every length form of a text and of a
// compressed integer, colours, positions, flags and a record with a user property (read the generic
// way) between records read in place come back as saved.
TEST_F(GeometricTest, PlannedRecordsReadEveryValueFormInPlace)
{
    std::unique_ptr<Geometric3d> top(ClassAccess::New<Geometric3d>());
    const std::vector<std::size_t> labelSizes{0, 254, 255, 65534, 65535, 70000};
    const std::vector<std::int32_t> ids{0, 254, 255, -1, 70000, 7};
    std::vector<Geometric3d*> points;
    for (std::size_t i = 0; i < labelSizes.size(); ++i) {
        auto* const point = new Point(top.get(), Point3d(0.5 * static_cast<double>(i), -1.0, 2.0));
        point->SetLabel(std::string(labelSizes[i], static_cast<char>('a' + i)));
        point->SetID(ids[i]);
        point->SetColor(Color(static_cast<int>(40 * i), 5, 6, 7));
        point->SetDisplayStyle(static_cast<std::int32_t>(i % 3));
        if (i % 2 == 1)
            point->Select(false);
        points.push_back(point);
    }
    points[2]->SetProperty("Weight", std::int32_t{300}, 0);
    Archive out;
    {
        CompressedPropertyArchive stream(out);
        stream.AddOIDMapEntry(top->GetOID(), top->GetOID());
        top->WriteProperties(stream, top->GetOID());
    }
    const StreamRecordCounts before = CountStreamRecordsForTests();
    Archive in(out.GetBuffer());
    CompressedPropertyArchive stream(in);
    const std::unique_ptr<Base> loaded(Catalog::ReadProperties(stream));
    // The group's record describes the class; the points' records are read in place.
    EXPECT_EQ(CountStreamRecordsForTests().readByPlan - before.readByPlan, points.size() + 1);
    auto* const group = DynCast<Geometric3d>(loaded.get());
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->GetNumChildren(), static_cast<int>(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
        const auto* const point = DynCast<Geometric3d>(group->GetChild(static_cast<int>(i)));
        EXPECT_EQ(point->GetLabel(), points[i]->GetLabel());
        EXPECT_EQ(point->GetID(), ids[i]);
        EXPECT_EQ(point->GetColor(), points[i]->GetColor());
        EXPECT_EQ(point->GetXYZ(), points[i]->GetXYZ());
        EXPECT_EQ(point->GetDisplayStyle(), points[i]->GetDisplayStyle());
        EXPECT_EQ(point->IsSelected(), i % 2 == 1);
        std::int32_t weight = 0;
        EXPECT_EQ(point->GetProperty("Weight", weight), i == 2);
        EXPECT_EQ(weight, i == 2 ? 300 : 0);
    }
    EXPECT_EQ(in.GetRemaining(), 0u);
}

// A stream that starts at a leaf reads each ancestor inline for its child's "Parent", names open
// records by OID (a parent, a child in a list) and ends with a null parent: planned records take
// every form of reference, and the tree comes back whole, in order, with nothing left over.
TEST_F(GeometricTest, PlannedRecordsTakeReferencesReadInlineByOIDAndNull)
{
    std::unique_ptr<Geometric3d> top(ClassAccess::New<Geometric3d>());
    top->SetLabel("top");
    std::vector<Geometric3d*> groups;
    for (int g = 0; g < 2; ++g) {
        groups.push_back(new Point(top.get()));
        groups.back()->SetLabel("g" + std::to_string(g));
        for (int p = 0; p < 3; ++p)
            (new Point(groups.back(), Point3d(g, p, 0.0)))->SetLabel(std::to_string(g) + std::to_string(p));
    }
    Geometric3d* const leaf = static_cast<Geometric3d*>(groups[0]->GetChild(1));
    Archive out;
    {
        CompressedPropertyArchive stream(out);
        stream.AddOIDMapEntry(leaf->GetOID(), leaf->GetOID());
        leaf->WriteProperties(stream, leaf->GetOID());
    }
    const StreamRecordCounts before = CountStreamRecordsForTests();
    const std::uint32_t lastBefore = Base::GetLastOID();
    Archive in(out.GetBuffer());
    CompressedPropertyArchive stream(in);
    auto* const loaded = DynCast<Geometric3d>(Catalog::ReadProperties(stream));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(in.GetRemaining(), 0u);
    EXPECT_EQ(CountStreamRecordsForTests().readByPlan - before.readByPlan, 9u);
    EXPECT_EQ(loaded->GetLabel(), "01");
    auto* const root = DynCast<Geometric3d>(loaded->GetRoot());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetLabel(), "top");
    ASSERT_EQ(root->GetNumChildren(), 2);
    for (int g = 0; g < 2; ++g) {
        const auto* const group = DynCast<Geometric3d>(root->GetChild(g));
        EXPECT_EQ(group->GetLabel(), "g" + std::to_string(g));
        ASSERT_EQ(group->GetNumChildren(), 3);
        for (int p = 0; p < 3; ++p) {
            const auto* const point = DynCast<Geometric3d>(group->GetChild(p));
            EXPECT_EQ(point->GetLabel(), std::to_string(g) + std::to_string(p));
            EXPECT_EQ(point->GetXYZ(), Point3d(g, p, 0.0));
            EXPECT_EQ(point->GetParent(), group);
        }
    }
    delete root;
    for (std::uint32_t oid = lastBefore + 1; oid <= Base::GetLastOID(); ++oid)
        EXPECT_EQ(Base::GetObjectA(oid), nullptr) << oid;
}

// A stream cut anywhere inside planned records is refused, never read past its end.
TEST_F(GeometricTest, PlannedRecordsCutAnywhereAreRefused)
{
    std::unique_ptr<Geometric3d> top(ClassAccess::New<Geometric3d>());
    for (int i = 0; i < 4; ++i) {
        auto* const point = new Point(top.get(), Point3d(1.0, 2.0, 3.0 + i));
        point->SetLabel(std::string(static_cast<std::size_t>(i == 2 ? 300 : 3), 'x'));
        point->SetID(i == 1 ? 1000 : i);
    }
    Archive out;
    {
        CompressedPropertyArchive stream(out);
        stream.AddOIDMapEntry(top->GetOID(), top->GetOID());
        top->WriteProperties(stream, top->GetOID());
    }
    const std::vector<std::uint8_t>& saved = out.GetBuffer();
    for (std::size_t size = 1; size < saved.size(); ++size) {
        Archive in(std::vector<std::uint8_t>(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(size)));
        CompressedPropertyArchive stream(in);
        EXPECT_THROW(delete Catalog::ReadProperties(stream), ArchiveException) << "cut at " << size;
    }
}

TEST_F(GeometricTest, PositionSurvivesBothArchiveForms)
{
    std::unique_ptr<Geometric3d> point(ClassAccess::New<Geometric3d>());
    point->SetXYZ(Point3d(1.5, -2.0, 3.25));
    point->SetLabel("p");

    Archive out;
    {
        CompressedPropertyArchive stream(out);
        point->WriteProperties(stream, point->GetOID());
    }
    Archive in(out.GetBuffer());
    CompressedPropertyArchive stream(in);
    std::unique_ptr<Geometric3d> loaded(DynCast<Geometric3d>(Catalog::ReadProperties(stream)));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetXYZ(), Point3d(1.5, -2.0, 3.25));
    EXPECT_EQ(loaded->GetLabel(), "p");

    Archive framework;
    framework.WriteObject(point.get());
    Archive back(framework.GetBuffer());
    std::unique_ptr<Geometric3d> read(static_cast<Geometric3d*>(back.ReadObject(&Geometric3d::GetThisClass())));
    EXPECT_EQ(read->GetXYZ(), Point3d(1.5, -2.0, 3.25));

    // A copy keeps its class and its position.
    std::unique_ptr<Base> copy(point->Copy());
    ASSERT_TRUE(IsA<Geometric3d>(copy.get()));
    EXPECT_EQ(DynCast<Geometric3d>(copy.get())->GetXYZ(), Point3d(1.5, -2.0, 3.25));
}
