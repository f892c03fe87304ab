#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ChildIterator.h>
#include <tavrel/foundation/FilterLabel.h>
#include <tavrel/foundation/OIV.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ArchiveException.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

class OIVTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // The references written to a storing archive, as bytes.
    static std::vector<std::uint8_t> Stored(std::initializer_list<const OIV*> references)
    {
        Archive out;
        for (const OIV* reference : references)
            reference->Store(out);
        return out.GetBuffer();
    }

    std::unique_ptr<TreeRoot> root = std::make_unique<TreeRoot>();
    Object* first = new Object(root.get());
    Object* second = new Object(root.get());
    Object* nested = new Object(second);
};

TEST_F(OIVTest, ReferenceStoredAndLoadedFindsTheObjectAtItsPathInTheLoadedTree)
{
    nested->SetLabel("target");
    const OIV reference(nested);
    EXPECT_EQ(reference.GetPath(), "/1/0/");
    EXPECT_EQ(reference.GetObjectA(*root), nested);

    const std::unique_ptr<TreeRoot> loaded = RecordStream::LoadAs<TreeRoot>(RecordStream::Save(*root));
    ASSERT_NE(loaded, nullptr);
    Archive in(Stored({&reference}));
    OIV read;
    read.Serialize(in);
    Object* const found = read.GetObjectA(*loaded);
    ASSERT_NE(found, nullptr);
    EXPECT_NE(found, nested);
    EXPECT_EQ(found->GetLabel(), "target");
    EXPECT_EQ(read.GetOID(*loaded), found->GetOID());
    EXPECT_TRUE(read.IsValid(*loaded, Object::classType));
    EXPECT_FALSE(read.IsA(*loaded, TreeRoot::classType));
    EXPECT_EQ(read.GetObjectA(*loaded, TreeRoot::classType), nullptr);
    // The loaded reference equals the original by path.
    EXPECT_EQ(read, reference);
}

TEST_F(OIVTest, EqualityFollowsRecordsOIDsAndLoadedPaths)
{
    const OIV a(first);
    const OIV b(second);
    const OIV copy(a);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, copy);
    EXPECT_NE(a, OIV());
    EXPECT_EQ(OIV(), OIV());

    // Loaded references carry no OID: those with different paths differ.
    Archive in(Stored({&a, &b, &copy}));
    OIV loadedA;
    OIV loadedB;
    OIV loadedCopy;
    loadedA.Load(in);
    loadedB.Load(in);
    loadedCopy.Load(in);
    EXPECT_NE(loadedA, loadedB);
    EXPECT_EQ(loadedA, loadedCopy);
}

TEST_F(OIVTest, ReferenceFollowsThePathNotTheObject)
{
    const OIV reference(second);
    delete first;
    EXPECT_EQ(reference.GetObjectA(*root), nullptr);
    EXPECT_EQ(reference.GetOID(*root), 0u);
    // Another object at the same place is found instead.
    const OIV toNested(nested);
    EXPECT_EQ(toNested.GetPath(), "/0/0/");
    delete nested;
    Object* const newcomer = new Object(second);
    EXPECT_EQ(toNested.GetObjectA(*root), newcomer);
    EXPECT_NE(toNested, OIV(newcomer));
}

TEST_F(OIVTest, CopiesShareOneRecordAndLoadingCountsOnlyItself)
{
    // The path and share count a reference stores.
    const auto stored = [](const OIV& reference) {
        Archive in(Stored({&reference}));
        std::pair<std::string, std::uint32_t> form;
        in >> form.first >> form.second;
        return form;
    };
    const OIV a(first);
    {
        const OIV b(a);
        const OIV c = b;
        EXPECT_EQ(stored(a), std::make_pair(std::string("/0/"), 3u));
    }
    // A loaded record is held by the loaded reference alone, whatever count the file gave.
    Archive in(Stored({&a}));
    OIV loaded;
    loaded.Load(in);
    EXPECT_EQ(stored(loaded).second, 1u);

    // An empty stored path empties the reference.
    const OIV empty;
    EXPECT_EQ(stored(empty), std::make_pair(std::string(), 0u));
    Archive emptyIn(Stored({&empty}));
    loaded.Load(emptyIn);
    EXPECT_TRUE(loaded.IsEmpty());
    EXPECT_EQ(loaded.GetObjectA(*root), nullptr);
}

TEST_F(OIVTest, ReferencesFromOIDsOutsideTheRootAreEmpty)
{
    TreeRoot other;
    Object* const stranger = new Object(&other);
    EXPECT_TRUE(OIV(*root, 0).IsEmpty());
    EXPECT_TRUE(OIV(*root, stranger->GetOID()).IsEmpty());
    EXPECT_EQ(OIV(*root, stranger->GetOID()).GetObjectA(*root), nullptr);
    EXPECT_EQ(OIV(*root, nested->GetOID()).GetObjectA(*root), nested);
    EXPECT_EQ(OIV(*root, root->GetOID()).GetPath(), "/");
    EXPECT_EQ(OIV(*root, root->GetOID()).GetObjectA(*root), root.get());
}

TEST_F(OIVTest, ArraysResolveToObjectsCollectionsAndOIDs)
{
    first->SetLabel("one");
    OrdCollection collection;
    collection.Add(first);
    collection.Add(nested);
    OIV::Array array(collection);
    array.AddObjects(*root, OIDArray{second->GetOID(), 0});
    ASSERT_EQ(array.GetSize(), 4);
    EXPECT_TRUE(array[3].IsEmpty());

    OrdCollection objects;
    EXPECT_EQ(array.GetObjects(*root, objects), 3);
    EXPECT_EQ(objects.GetAt(1), nested);
    OrdCollection labelled;
    EXPECT_EQ(array.GetObjects(*root, FilterLabel("one", Filter::Include), labelled), 1);
    EXPECT_EQ(labelled.GetAt(0), first);
    OIDArray oids;
    EXPECT_EQ(array.GetObjects(*root, oids), 3);
    EXPECT_EQ(oids, (OIDArray{first->GetOID(), nested->GetOID(), second->GetOID()}));

    // From an iterator, and the static form over a collection.
    const OIV::Array children(ChildIterator(root.get(), false));
    EXPECT_EQ(children.GetSize(), 2);
    OIV::Array appended;
    OIV::GetOIVArray(collection, appended);
    EXPECT_EQ(appended.GetSize(), 2);
    EXPECT_EQ(appended[1], OIV(nested));
}

TEST_F(OIVTest, ArrayArchiveFormHoldsPathsNeverPointers)
{
    OrdCollection collection;
    collection.Add(nested);
    collection.Add(first);
    OIV::Array array(collection);
    Archive out;
    array.Serialize(out);
    // The count, then each path and share count.
    EXPECT_EQ(out.GetBuffer().size(), 2u + (1 + 5 + 4) + (1 + 3 + 4));

    const std::unique_ptr<TreeRoot> loaded = RecordStream::LoadAs<TreeRoot>(RecordStream::Save(*root));
    Archive in(out.GetBuffer());
    OIV::Array read;
    read.Serialize(in);
    ASSERT_EQ(read.GetSize(), 2);
    EXPECT_EQ(read[0].GetObjectA(*loaded), loaded->GetChild(1)->GetChild(0));
    EXPECT_EQ(read[1].GetObjectA(*loaded), loaded->GetChild(0));

    // A count the input cannot hold is refused and the array keeps what it had.
    Archive bad(std::vector<std::uint8_t>{0x10, 0x00, 0x00});
    EXPECT_THROW(read.Serialize(bad), ArchiveException);
    EXPECT_EQ(read.GetSize(), 2);
}

} // namespace
