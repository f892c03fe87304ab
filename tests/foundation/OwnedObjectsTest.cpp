#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/OwnedObjects.h>

using namespace Tavrel;

TEST(OwnedObjectsTest, AnObjectEnteredTwiceOutlivesTheCleanUpUntilBothHoldersLetGo)
{
    const std::uint32_t before = Base::GetLastOID();
    const std::uint32_t oid = (new Object(nullptr))->GetOID();
    OwnedObjects::Enter(oid);
    OwnedObjects::Enter(oid);
    OwnedObjects::Leave(oid);
    EXPECT_TRUE(OwnedObjects::IsOwned(oid));
    EXPECT_EQ(TreeNode::DeleteParentlessSince(before, Base::GetLastOID()), 0u);

    OwnedObjects::Leave(oid);
    OwnedObjects::Leave(oid);  // leaving more often than entering changes nothing
    EXPECT_FALSE(OwnedObjects::IsOwned(oid));
    EXPECT_EQ(TreeNode::DeleteParentlessSince(before, Base::GetLastOID()), 1u);
    EXPECT_EQ(Base::GetObjectA(oid), nullptr);
}

TEST(OwnedObjectsTest, EntriesByTheThousandComeAndGoWithoutDisturbingOneHeldThroughout)
{
    Object kept(nullptr);
    OwnedObjects::Enter(kept.GetOID());
    std::vector<std::uint32_t> packaged;
    for (std::uint32_t oid = kept.GetOID() + 1; packaged.size() < 5000; oid += 3)
        packaged.push_back(oid);
    for (const std::uint32_t oid : packaged)
        OwnedObjects::Enter(oid);
    for (const std::uint32_t oid : packaged)
        ASSERT_TRUE(OwnedObjects::IsOwned(oid));
    EXPECT_FALSE(OwnedObjects::IsOwned(kept.GetOID() + 2));
    for (const std::uint32_t oid : packaged)
        OwnedObjects::Leave(oid);
    for (const std::uint32_t oid : packaged)
        ASSERT_FALSE(OwnedObjects::IsOwned(oid));
    EXPECT_TRUE(OwnedObjects::IsOwned(kept.GetOID()));
    OwnedObjects::Leave(kept.GetOID());
    EXPECT_FALSE(OwnedObjects::IsOwned(kept.GetOID()));
}
