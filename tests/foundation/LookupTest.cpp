#include <gtest/gtest.h>

#include <string_view>

#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/FilterLabel.h>
#include <tavrel/foundation/FilterType.h>
#include <tavrel/foundation/Object.h>

using namespace Tavrel;

namespace {

class LookupKind : public Object {
    TAVREL_DECLARE_CLASS(LookupKind, Object)
public:
    explicit LookupKind(TreeNode* parent) : Object(parent) {}

protected:
    LookupKind() = default;
    LookupKind(const LookupKind&) = default;
};
TAVREL_IMPLEMENT_CLASS(LookupKind, ClassKind::Creatable)

template <class T = Object>
T* Make(TreeNode* parent, std::string_view label, int id)
{
    auto* object = new T(parent);
    object->SetLabel(label);
    object->SetID(id);
    return object;
}

// root(a(a1 id 5, a2 id 7), K b(b1 id 5), c id 7); K = LookupKind
class LookupTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<LookupKind>();
    }
    void SetUp() override
    {
        root.SetLabel("root");
        a = Make(&root, "a", 1);
        a1 = Make(a, "a1", 5);
        a2 = Make(a, "a2", 7);
        b = Make<LookupKind>(&root, "b", 2);
        b1 = Make(b, "b1", 5);
        c = Make(&root, "c", 7);
    }

    Object root{nullptr};
    Object* a = nullptr;
    Object* a1 = nullptr;
    Object* a2 = nullptr;
    Object* b = nullptr;
    Object* b1 = nullptr;
    Object* c = nullptr;
};

} // namespace

TEST_F(LookupTest, ChildLookupsCompareLabelsExactly)
{
    EXPECT_EQ(root.FindChild("b"), b);
    EXPECT_EQ(root.FindChild("B"), nullptr);
    EXPECT_EQ(root.FindChild("a1"), nullptr);  // a grandchild
    EXPECT_EQ(root.FindChild(7), c);
    EXPECT_EQ(root.FindChild("b", LookupKind::classType), b);
    EXPECT_EQ(root.FindChild("c", LookupKind::classType), nullptr);
    EXPECT_EQ(root.FindChild(2, LookupKind::classType), b);
    EXPECT_EQ(root.FindChild(FilterType(LookupKind::classType, Filter::Include)), b);
    EXPECT_EQ(root.FindChild("root"), nullptr);  // the start is never a candidate
}

TEST_F(LookupTest, DescendantLookupsTakeTheFirstInPreOrder)
{
    // c (depth 1, ID 7) is nearer than a2, but a2 comes first in pre-order.
    EXPECT_EQ(root.FindDescendent(7), a2);
    EXPECT_EQ(root.FindDescendent(5), a1);
    EXPECT_EQ(root.FindDescendent("b1"), b1);
    EXPECT_EQ(root.FindDescendent(5, LookupKind::classType), nullptr);
    EXPECT_EQ(root.FindDescendent("b", LookupKind::classType), b);
    EXPECT_EQ(root.FindDescendent(FilterLabel("\"b1\"", Filter::Include)), b1);
    EXPECT_EQ(root.FindDescendent(1), a);
    EXPECT_EQ(a->FindDescendent(1), nullptr);
}

TEST_F(LookupTest, AncestorLookupsClimbFromTheParent)
{
    EXPECT_EQ(b1->FindAncestor("root"), &root);
    EXPECT_EQ(b1->FindAncestor("b1"), nullptr);
    EXPECT_EQ(b1->FindAncestor(2), b);
    EXPECT_EQ(b1->FindAncestor(2, LookupKind::classType), b);
    EXPECT_EQ(a1->FindAncestor(1, LookupKind::classType), nullptr);
    EXPECT_EQ(b1->FindAncestor("root", LookupKind::classType), nullptr);
    EXPECT_EQ(b1->FindAncestor(FilterType(LookupKind::classType, Filter::Include)), b);
}

TEST_F(LookupTest, CommonAncestorIsTheNearestAcceptedOne)
{
    const FilterType any(Filter::Include);
    EXPECT_EQ(a1->FindCommonAncestor(a2, any), a);
    EXPECT_EQ(a1->FindCommonAncestor(b1, any), &root);
    EXPECT_EQ(a1->FindCommonAncestor(a, any), a);
    EXPECT_EQ(a1->FindCommonAncestor(a1, any), a1);
    // With itself and a filter that rejects it: the nearest accepted ancestor.
    EXPECT_EQ(b1->FindCommonAncestor(b1, FilterType(LookupKind::classType, Filter::Include)), b);
    EXPECT_EQ(a1->FindCommonAncestor(a2, FilterLabel("\"root\"", Filter::Include)), &root);
    // No accepted common ancestor, different trees, or a null object: null.
    EXPECT_EQ(a1->FindCommonAncestor(b1, FilterType(LookupKind::classType, Filter::Include)), nullptr);
    Object other(nullptr);
    EXPECT_EQ(a1->FindCommonAncestor(&other, any), nullptr);
    EXPECT_EQ(a1->FindCommonAncestor(nullptr, any), nullptr);
}
