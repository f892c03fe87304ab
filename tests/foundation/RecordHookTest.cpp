#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/PropertyTable.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

// How often each hook ran, by direction.
struct HookCounts {
    int afterStoring = 0;
    int afterLoading = 0;
    int beforeLoad = 0;
    int afterLoad = 0;
    int loadHookWhileStoring = 0;
};
HookCounts g_counts;

// A level whose work after a record goes both ways, and a level on it with work for loading only.
class Marked : public Geometric3d {
    TAVREL_CLASS(Marked, Geometric3d, Creatable)
public:
    explicit Marked(Object* parent) : Geometric3d(parent) {}
    std::int32_t mark = 0;
};
TAVREL_DEFINE_CLASS(Marked)

const PropertyTable& Marked::Properties()
{
    static const PropertyTable table(PropertyList<Marked>()
                                         .Field<Storage::StorageInt, &Marked::mark>("Marked Mark")
                                         .AfterRecord([](Marked&, Archive& archive, PropertyArchive*) {
                                             ++(archive.IsLoading() ? g_counts.afterLoading : g_counts.afterStoring);
                                         }));
    return table;
}

class Loaded : public Marked {
    TAVREL_CLASS(Loaded, Marked, Creatable)
public:
    explicit Loaded(Object* parent) : Marked(parent) {}
    std::int32_t seenBefore = -1; // the mark when the before hook ran
    std::int32_t seenAfter = -1;  // the mark when the after hook ran
};
TAVREL_DEFINE_CLASS(Loaded)

const PropertyTable& Loaded::Properties()
{
    static const PropertyTable table(PropertyList<Loaded>()
                                         .BeforeLoad([](Loaded& loaded, Archive& archive, PropertyArchive*) {
                                             g_counts.loadHookWhileStoring += archive.IsStoring() ? 1 : 0;
                                             ++g_counts.beforeLoad;
                                             loaded.seenBefore = loaded.mark;
                                         })
                                         .AfterLoad([](Loaded& loaded, Archive& archive, PropertyArchive*) {
                                             g_counts.loadHookWhileStoring += archive.IsStoring() ? 1 : 0;
                                             ++g_counts.afterLoad;
                                             loaded.seenAfter = loaded.mark;
                                         }));
    return table;
}

class RecordHooks : public ::testing::TestWithParam<RecordStream::Form> {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<Marked>();
        ClassRegistry::Register<Loaded>();
    }
    void SetUp() override { g_counts = {}; }
};

} // namespace

// Records of two classes in turn, several of each so that later ones go by the class's plan where the
// stream has one: the work after a record runs on saving and loading alike, the work for loading only
// runs on loading, around the record's values.
TEST_P(RecordHooks, LoadOnlyWorkRunsOnLoadingAndWorkAfterARecordBothWays)
{
    Object group(nullptr);
    constexpr int Pairs = 6;
    for (int k = 0; k < Pairs; ++k) {
        (new Marked(&group))->mark = 10 + k;
        (new Loaded(&group))->mark = 100 + k;
    }
    const RecordStream::Bytes bytes = RecordStream::Save(group, GetParam());
    EXPECT_EQ(g_counts.afterStoring, 2 * Pairs);
    EXPECT_EQ(g_counts.beforeLoad + g_counts.afterLoad + g_counts.afterLoading, 0);

    const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(bytes, GetParam());
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), 2 * Pairs);
    EXPECT_EQ(g_counts.afterLoading, 2 * Pairs);
    EXPECT_EQ(g_counts.beforeLoad, Pairs);
    EXPECT_EQ(g_counts.afterLoad, Pairs);
    EXPECT_EQ(g_counts.loadHookWhileStoring, 0);
    for (int k = 0; k < Pairs; ++k) {
        SCOPED_TRACE(k);
        const auto* const marked = DynCast<Marked>(loaded->GetChild(2 * k));
        const auto* const last = DynCast<Loaded>(loaded->GetChild(2 * k + 1));
        ASSERT_TRUE(marked && last);
        EXPECT_FALSE(IsA<Loaded>(marked));
        EXPECT_EQ(marked->mark, 10 + k);
        EXPECT_EQ(last->mark, 100 + k);
        EXPECT_EQ(last->seenBefore, 0);
        EXPECT_EQ(last->seenAfter, 100 + k);
    }
}

INSTANTIATE_TEST_SUITE_P(BothForms, RecordHooks,
                         ::testing::Values(RecordStream::Form::Compressed, RecordStream::Form::Plain));

// The framework archive runs a level's hooks around its fields: the work for loading only on reading.
TEST_F(RecordHooks, FrameworkArchiveRunsLoadOnlyWorkOnReading)
{
    Loaded saved(nullptr);
    saved.mark = 7;
    const std::unique_ptr<Loaded> copy = RecordStream::ArchiveCopy<Loaded>(saved);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(g_counts.afterStoring, 1);
    EXPECT_EQ(g_counts.afterLoading, 1);
    EXPECT_EQ(g_counts.beforeLoad, 1);
    EXPECT_EQ(g_counts.afterLoad, 1);
    EXPECT_EQ(g_counts.loadHookWhileStoring, 0);
    EXPECT_EQ(copy->mark, 7);
    EXPECT_EQ(copy->seenAfter, 7);
}

// A parent whose children were taken out here and there (its child array no longer packed) lists
// them in order, each child record once.
TEST_F(RecordHooks, ChildrenOfAThinnedParentComeBackInOrder)
{
    Object group(nullptr);
    std::vector<Marked*> children;
    for (int k = 0; k < 600; ++k) {
        children.push_back(new Marked(&group));
        children.back()->mark = k;
    }
    for (int k = 5; k < 600; k += 7)
        delete children[static_cast<std::size_t>(k)];
    std::vector<std::int32_t> kept;
    for (int i = 0; i < group.GetNumChildren(); ++i)
        kept.push_back(DynCast<Marked>(group.GetChild(i))->mark);

    const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(RecordStream::Save(group));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), static_cast<int>(kept.size()));
    for (std::size_t i = 0; i < kept.size(); ++i)
        EXPECT_EQ(DynCast<Marked>(loaded->GetChild(static_cast<int>(i)))->mark, kept[i]) << i;
}
