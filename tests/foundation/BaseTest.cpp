#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <random>
#include <vector>

#include <tavrel/core/ObjectPool.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/document/DataModelLibrary.h>

using namespace Tavrel;

namespace {

// An object that owns parts and refers to other objects, and records the copied events it raises.
class CopyProbe : public Base {
    TAVREL_DECLARE_CLASS(CopyProbe, Base)
public:
    static CopyProbe* Make() { return ClassAccess::New<CopyProbe>(); }
    ~CopyProbe() override
    {
        for (CopyProbe* part : parts)
            delete part;
    }

    void DoNotify(std::uint32_t type, std::uint16_t code, const char*, void* data) override
    {
        if (type == Base::classType && code == EventCopied)
            copiedTo.push_back(*static_cast<std::uint32_t*>(data));
    }

    std::vector<CopyProbe*> parts;     // owned
    CopyProbe* reference = nullptr;    // not owned
    std::vector<std::uint32_t> copiedTo;
    bool failCopy = false;

protected:
    CopyProbe() = default;
    CopyProbe(const CopyProbe& other) : Base(other), parts(other.parts), reference(other.reference) {}

    void DeepenShallowCopy() override
    {
        Base::DeepenShallowCopy();
        for (CopyProbe*& part : parts)
            part = static_cast<CopyProbe*>(part->Copy());
        if (reference)
            reference = static_cast<CopyProbe*>(reference->Copy());
    }
};
TAVREL_IMPLEMENT_CLASS(CopyProbe, ClassKind::Creatable)

// An object too large for the pool's size classes.
class LargeProbe : public Base {
    TAVREL_DECLARE_CLASS(LargeProbe, Base)
public:
    static LargeProbe* Make() { return ClassAccess::New<LargeProbe>(); }
    std::array<char, ObjectPool::MaxSize> bytes{};

protected:
    LargeProbe() = default;
    LargeProbe(const LargeProbe&) = default;
};
TAVREL_IMPLEMENT_CLASS(LargeProbe, ClassKind::Creatable)

class BaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<CopyProbe>();
        ClassRegistry::Register<LargeProbe>();
    }
};

} // namespace

TEST_F(BaseTest, OIDsIncreaseByOneAndFindTheirObjects)
{
    const std::uint32_t before = Base::GetLastOID();
    std::unique_ptr<CopyProbe> a(CopyProbe::Make());
    std::unique_ptr<CopyProbe> b(CopyProbe::Make());
    EXPECT_EQ(a->GetOID(), before + 1);
    EXPECT_EQ(b->GetOID(), before + 2);
    EXPECT_EQ(Base::GetObjectA(a->GetOID()), a.get());
    EXPECT_EQ(Base::GetObjectA(0), nullptr);
    EXPECT_EQ(Base::GetObjectA(before + 1000), nullptr);

    // Each destruction counts once; making objects counts nothing.
    const std::uint64_t destroyed = Base::GetDestroyedCount();
    const std::uint32_t oid = a->GetOID();
    a.reset();
    EXPECT_EQ(Base::GetObjectA(oid), nullptr);
    EXPECT_EQ(Base::GetDestroyedCount(), destroyed + 1);
    // OIDs are never reused.
    std::unique_ptr<CopyProbe> c(CopyProbe::Make());
    EXPECT_EQ(c->GetOID(), before + 3);
    EXPECT_EQ(Base::GetDestroyedCount(), destroyed + 1);
}

// The table holds OIDs in pages of 256: a page whose objects all left takes the next OID afresh.
TEST_F(BaseTest, ObjectsMadeAfterTheirPageEmptiedAreFound)
{
    std::vector<std::unique_ptr<CopyProbe>> filler;
    while ((Base::GetLastOID() + 1) % 256 != 0)
        filler.emplace_back(CopyProbe::Make());
    std::vector<std::unique_ptr<CopyProbe>> page;
    for (int i = 0; i < 10; ++i)
        page.emplace_back(CopyProbe::Make());
    const std::uint32_t last = page.back()->GetOID();
    page.clear();
    EXPECT_EQ(Base::GetObjectA(last), nullptr);

    std::unique_ptr<CopyProbe> next(CopyProbe::Make());
    std::unique_ptr<CopyProbe> after(CopyProbe::Make());
    EXPECT_EQ(next->GetOID(), last + 1);
    EXPECT_EQ(after->GetOID(), last + 2);
    EXPECT_EQ(Base::GetObjectA(next->GetOID()), next.get());
    EXPECT_EQ(Base::GetObjectA(after->GetOID()), after.get());
    EXPECT_EQ(Base::GetObjectA(last), nullptr);
}

TEST_F(BaseTest, ObjectsOfEverySizeLeavingInRandomOrderLeaveTheOthersFound)
{
    std::vector<std::unique_ptr<Base>> objects;
    for (int i = 0; i < 3000; ++i) {
        if (i % 3 == 0)
            objects.emplace_back(LargeProbe::Make());
        else
            objects.emplace_back(CopyProbe::Make());
    }
    std::shuffle(objects.begin(), objects.end(), std::mt19937(9));
    std::vector<std::uint32_t> gone;
    for (std::size_t i = 0; i < objects.size() / 2; ++i) {
        gone.push_back(objects[i]->GetOID());
        objects[i].reset();
    }
    for (const std::uint32_t oid : gone)
        EXPECT_EQ(Base::GetObjectA(oid), nullptr);
    for (std::size_t i = objects.size() / 2; i < objects.size(); ++i)
        EXPECT_EQ(Base::GetObjectA(objects[i]->GetOID()), objects[i].get());

    // The pool hands the slot just freed to the next object of its size.
    if (ObjectPool::ServesObjects) {
        std::unique_ptr<CopyProbe> made(CopyProbe::Make());
        const void* const freed = made.get();
        made.reset();
        made.reset(CopyProbe::Make());
        EXPECT_EQ(static_cast<const void*>(made.get()), freed);
    }
}

TEST_F(BaseTest, PrototypesHoldTheFirstOIDs)
{
    EXPECT_EQ(Base::classInstance->GetOID(), 1u);
    EXPECT_EQ(Base::GetObjectA(1), Base::classInstance);
}

TEST_F(BaseTest, ShallowCopyTakesANewOIDAndAClearMask)
{
    std::unique_ptr<CopyProbe> source(CopyProbe::Make());
    std::unique_ptr<CopyProbe> copy(static_cast<CopyProbe*>(source->Copy()));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->GetOID(), source->GetOID());
    EXPECT_EQ(Base::GetObjectA(copy->GetOID()), copy.get());
}

TEST_F(BaseTest, ObjectReachedTwiceIsCopiedOnce)
{
    std::unique_ptr<CopyProbe> root(CopyProbe::Make());
    CopyProbe* shared = CopyProbe::Make();
    CopyProbe* other = CopyProbe::Make();
    root->parts = {shared, other};
    other->reference = shared;   // reached again through a reference
    shared->reference = root.get();  // and a cycle back to the root

    std::unique_ptr<CopyProbe> copy(static_cast<CopyProbe*>(root->Copy()));
    ASSERT_EQ(copy->parts.size(), 2u);
    CopyProbe* sharedCopy = copy->parts[0];
    CopyProbe* otherCopy = copy->parts[1];
    EXPECT_NE(sharedCopy, shared);
    EXPECT_EQ(otherCopy->reference, sharedCopy);
    EXPECT_EQ(sharedCopy->reference, copy.get());

    // Exactly one copied event per source object, carrying the copy's OID.
    EXPECT_EQ(root->copiedTo, std::vector<std::uint32_t>{copy->GetOID()});
    EXPECT_EQ(shared->copiedTo, std::vector<std::uint32_t>{sharedCopy->GetOID()});
    EXPECT_EQ(other->copiedTo, std::vector<std::uint32_t>{otherCopy->GetOID()});
}

TEST_F(BaseTest, ConsecutiveCopiesAreDistinct)
{
    std::unique_ptr<CopyProbe> source(CopyProbe::Make());
    std::unique_ptr<Base> first(source->Copy());
    std::unique_ptr<Base> second(source->Copy());
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(source->copiedTo.size(), 2u);
}

// Copies spread over several pages leave nothing recorded behind, whether they copied few objects or
// many: each later copy of the same sources, whole or one at a time, makes new objects and links its own.
TEST_F(BaseTest, EachCopyStartsWithNoRecordedCopies)
{
    for (const std::size_t count : {600u, 3000u}) {
        std::unique_ptr<CopyProbe> root(CopyProbe::Make());
        for (std::size_t i = 0; i < count; ++i)
            root->parts.push_back(CopyProbe::Make());
        root->parts.back()->reference = root->parts.front();
        std::unique_ptr<CopyProbe> first(static_cast<CopyProbe*>(root->Copy()));
        std::unique_ptr<CopyProbe> lone(static_cast<CopyProbe*>(root->parts[7]->Copy()));
        std::unique_ptr<CopyProbe> second(static_cast<CopyProbe*>(root->Copy()));
        ASSERT_EQ(second->parts.size(), count);
        EXPECT_EQ(first->parts.back()->reference, first->parts.front());
        EXPECT_EQ(second->parts.back()->reference, second->parts.front());
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_NE(second->parts[i], first->parts[i]);
            EXPECT_NE(second->parts[i], root->parts[i]);
        }
        EXPECT_NE(lone.get(), first->parts[7]);
        EXPECT_NE(lone.get(), second->parts[7]);
        EXPECT_EQ(root->parts[7]->copiedTo, (std::vector<std::uint32_t>{first->parts[7]->GetOID(), lone->GetOID(),
                                                                        second->parts[7]->GetOID()}));
    }
}

// Within one scope a source copied twice waits with two events; destroyed meanwhile, it hears neither.
TEST_F(BaseTest, SourceCopiedTwiceInAScopeAndDestroyedHearsNothing)
{
    std::unique_ptr<CopyProbe> kept(CopyProbe::Make());
    CopyProbe* dropped = CopyProbe::Make();
    std::vector<std::unique_ptr<Base>> copies;
    {
        const Base::CopyEventScope scope;
        copies.emplace_back(dropped->Copy());
        copies.emplace_back(kept->Copy());
        copies.emplace_back(dropped->Copy());
        copies.emplace_back(kept->Copy());
        delete dropped;
        EXPECT_TRUE(kept->copiedTo.empty());
    }
    EXPECT_EQ(kept->copiedTo, (std::vector<std::uint32_t>{copies[1]->GetOID(), copies[3]->GetOID()}));
}

TEST_F(BaseTest, EventSwitchIsProcessWide)
{
    EXPECT_TRUE(Base::GetEventNotify());
    Base::SetEventNotify(false);
    EXPECT_FALSE(Base::GetEventNotify());
    Base::SetEventNotify(true);
    EXPECT_TRUE(Base::GetEventNotify());
}
