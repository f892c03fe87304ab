#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/TreeRoot.h>

// Compiled with -O2 (tests/CMakeLists.txt), as a host builds its own classes: declared through the
// class macro, inline constructors, made and deleted within one function.

using namespace Tavrel;

namespace {

class HostValue : public Base {
    TAVREL_DECLARE_CLASS(HostValue, Base)
public:
    explicit HostValue(int value) : m_value(value) {}
    int GetValue() const { return m_value; }

protected:
    HostValue() : m_value(7) {}
    HostValue(const HostValue&) = default;

private:
    int m_value;
    std::string m_name = "a name too long for the short-string buffer";
};
TAVREL_IMPLEMENT_CLASS(HostValue, ClassKind::Creatable)

class HostNode : public Object {
    TAVREL_DECLARE_CLASS(HostNode, Object)
public:
    HostNode(Object* parent, bool fail) : Object(parent), m_weight(2.5)
    {
        SetLabel("host");
        if (fail)
            throw std::runtime_error("refused");
    }
    double GetWeight() const { return m_weight; }

protected:
    HostNode() = default;
    HostNode(const HostNode&) = default;

private:
    double m_weight = 0.0;
};
TAVREL_IMPLEMENT_CLASS(HostNode, ClassKind::Creatable)

// Each object is made and deleted in the same function; the results say what was seen meanwhile.
[[gnu::noinline]] bool MakeAndDeleteValue(std::uint32_t& oid)
{
    auto* const value = new HostValue(3);
    oid = value->GetOID();
    const bool found = Base::GetObjectA(oid) == value && value->GetValue() == 3 && value->IsA(HostValue::classType);
    delete value;
    return found;
}

[[gnu::noinline]] bool MakeAndDeleteNode(TreeRoot& root)
{
    auto* const node = new HostNode(&root, false);
    const bool placed = root.GetChild(0) == node && node->GetWeight() == 2.5 && node->GetLabel() == "host";
    delete node;
    return placed;
}

[[gnu::noinline]] std::uint32_t FailConstruction(TreeRoot& root)
{
    const std::uint32_t before = Base::GetLastOID();
    try {
        new HostNode(&root, true);
    } catch (const std::runtime_error&) {
    }
    return before;
}

} // namespace

TEST(OptimisedHostClass, InlineConstructedObjectsAreMadeAndDeletedInOneFunction)
{
    AttachDataModelDLL();
    if (HostValue::classType == 0)
        ClassRegistry::Register<HostValue>();
    if (HostNode::classType == 0)
        ClassRegistry::Register<HostNode>();
    // The base part of every model object is one vtable pointer, the mask byte and the OID.
    static_assert(sizeof(Base) <= 2 * sizeof(void*));

    std::uint32_t oid = 0;
    EXPECT_TRUE(MakeAndDeleteValue(oid));
    EXPECT_EQ(Base::GetObjectA(oid), nullptr);

    TreeRoot root;
    EXPECT_TRUE(MakeAndDeleteNode(root));
    EXPECT_EQ(root.GetNumChildren(), 0);

    // A constructor that throws after the base levels are built unwinds them: the node leaves the
    // tree and its OID is released.
    const std::uint32_t before = FailConstruction(root);
    EXPECT_EQ(root.GetNumChildren(), 0);
    for (std::uint32_t id = before + 1; id <= Base::GetLastOID(); ++id)
        EXPECT_EQ(Base::GetObjectA(id), nullptr);

    std::unique_ptr<Base> copy(HostValue::classInstance->Copy());
    ASSERT_TRUE(IsA<HostValue>(copy.get()));
    EXPECT_EQ(static_cast<HostValue*>(copy.get())->GetValue(), 7);
}
