#include <gtest/gtest.h>

#include <memory>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/InternalBase.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/TreeRoot.h>

using namespace Tavrel;

namespace {

// The count follows every way objects come and go: construction, tree copies, deleting a subtree with
// its root, and the object being copied outliving its copy.
TEST(LiveObjectCountTest, FollowsConstructionCopiesAndSubtreeDeletion)
{
    AttachDataModelDLL();
    const std::size_t before = CountLiveObjectsForTests();
    {
        TreeRoot root;
        auto* const branch = new Object(&root);
        new Object(branch);
        new Object(branch);
        EXPECT_EQ(CountLiveObjectsForTests(), before + 4);

        const std::unique_ptr<Object> copy(branch->TreeCopy());
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(CountLiveObjectsForTests(), before + 7);

        delete branch;
        EXPECT_EQ(CountLiveObjectsForTests(), before + 4);
    }
    EXPECT_EQ(CountLiveObjectsForTests(), before);
}

} // namespace
