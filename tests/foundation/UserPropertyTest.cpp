#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <tavrel/core/UniqueString.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DataStorage.h>
#include <tavrel/foundation/InternalBase.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/Property.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

constexpr std::uint32_t Temporary = DataStorage::FlagTemporary;
constexpr std::uint32_t Readable = DataStorage::FlagReadable;
constexpr std::uint32_t Writable = DataStorage::FlagWritable;

std::unique_ptr<TreeNode> MakeNode()
{
    AttachDataModelDLL();
    return std::unique_ptr<TreeNode>(ClassAccess::New<TreeNode>());
}

std::vector<std::uint8_t> Store(Property& table)
{
    Archive archive;
    table.Serialize(archive);
    return archive.GetBuffer();
}

void Load(Property& table, const std::vector<std::uint8_t>& bytes)
{
    Archive archive(bytes);
    table.Serialize(archive);
    EXPECT_EQ(archive.GetRemaining(), 0u);
}

// A one-cell table with the given cell bytes under the name "x".
std::vector<std::uint8_t> OneCell(std::int32_t type, std::int32_t count, const std::vector<std::uint8_t>& value)
{
    Archive archive;
    archive << std::int32_t{1} << "x" << type << count << std::uint8_t{Readable};
    archive.Write(value.data(), value.size());
    return archive.GetBuffer();
}

TEST(DataStorageTypes, ConstructorsGiveTypeCodeCountAndCopiedBlocks)
{
    std::int32_t longs[] = {1, -2, 3};
    const struct {
        DataStorage cell;
        DataStorage::Type type;
        std::int32_t count;
    } cases[] = {
        {DataStorage(3, longs, 0), DataStorage::TypeLongArray, 3},
        {DataStorage(static_cast<const char*>(nullptr), 0), DataStorage::TypeText, 0},
        {DataStorage("abc", 0), DataStorage::TypeText, 4},
        {DataStorage(static_cast<const Base*>(nullptr), 0), DataStorage::TypeObject, 1},
        {DataStorage(-1, longs, 0), DataStorage::TypeLongArray, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.cell.GetType(), c.type);
        EXPECT_EQ(c.cell.GetCount(), c.count) << c.type;
    }

    longs[0] = 100;
    std::int32_t count = 0;
    const std::int32_t* values = nullptr;
    ASSERT_TRUE(cases[0].cell.Get(count, values));
    EXPECT_EQ(values[0], 1);
    const char* text = "unchanged";
    ASSERT_TRUE(cases[1].cell.Get(text));
    EXPECT_EQ(text, nullptr);
}

TEST(DataStorageTypes, ObjectCellFollowsTheObjectByIdentifier)
{
    std::unique_ptr<TreeNode> node = MakeNode();
    const DataStorage cell(node.get(), Readable);
    Base* found = nullptr;
    ASSERT_TRUE(cell.Get(found));
    EXPECT_EQ(found, node.get());
    node.reset();
    EXPECT_TRUE(cell.Get(found));
    EXPECT_EQ(found, nullptr);
}

TEST(DataStorageText, SetFromStringParsesKeepsTypeAndAlwaysTakesFlags)
{
    DataStorage number(std::int32_t{3}, Readable);
    EXPECT_TRUE(number.SetFromString("  17abc", Readable | Writable));
    EXPECT_EQ(number.GetAsString(), "17");
    EXPECT_FALSE(number.SetFromString("99999999999", Readable | Writable));
    EXPECT_TRUE(number.SetFromString(" 12 ", Readable | Writable));
    EXPECT_EQ(number.GetAsString(), "12");
    EXPECT_FALSE(number.SetFromString("abc", Temporary));
    EXPECT_EQ(number.GetAsString(), "12");
    EXPECT_EQ(number.GetFlags(), Temporary);

    DataStorage real(1.0f, 0);
    EXPECT_TRUE(real.SetFromString("0.25e1x", 0));
    EXPECT_FALSE(real.SetFromString("1e999", 0));
    EXPECT_FALSE(real.SetFromString("1e39", 0));
    EXPECT_EQ(real.GetAsString(), "2.500000");

    DataStorage text("old", 0);
    EXPECT_TRUE(text.SetFromString("longer text", 0));
    EXPECT_EQ(text.GetCount(), 12);

    std::int32_t values[] = {1, 2};
    DataStorage array(2, values, 0);
    EXPECT_FALSE(array.SetFromString("5", 0));
    EXPECT_EQ(array.GetCount(), 2);
    EXPECT_EQ(array.GetAsString(), "");
}

TEST(DataStorageText, WidthAndPrecisionForms)
{
    EXPECT_EQ(DataStorage(std::int32_t{42}, 0).GetAsString(5, 2), "   42");
    EXPECT_EQ(DataStorage(3.14159f, 0).GetAsString(7, 2), "   3.14");
    EXPECT_EQ(DataStorage("ab", 0).GetAsString(-4, 0), "ab  ");
    EXPECT_EQ(DataStorage(static_cast<const char*>(nullptr), 0).GetAsString(), "");
    EXPECT_EQ(DataStorage().GetAsString(3, 1), "");
}

TEST(DataStorageFlags, DefaultReadableAndPrivateMeansNoFlags)
{
    DataStorage cell;
    EXPECT_EQ(cell.GetFlags(), Readable);
    cell.SetWritable(true);
    cell.SetTemporary(true);
    EXPECT_EQ(cell.GetFlags(), Temporary | Readable | Writable);
    EXPECT_FALSE(cell.IsPrivate());
    cell.SetPrivate(true);
    EXPECT_TRUE(cell.IsPrivate());
    cell.SetPrivate(false);
    EXPECT_TRUE(cell.IsPrivate());
}

TEST(UserPropertyTable, InsertionOrderReplacementAndRemoval)
{
    Property table;
    EXPECT_EQ(table.GetPropertyName(0), "");
    table.SetProperty("b", std::int32_t{1}, Readable);
    table.SetProperty("a", 2.0f, Readable);
    table.SetProperty("c", "text", Readable | Temporary);
    table.SetProperty("b", "now text", Writable);  // replaced in place
    table.SetProperty("B");                        // names keep their letter case
    ASSERT_EQ(table.GetNumProperties(), 4);
    EXPECT_EQ(table.GetPropertyName(0), "b");
    EXPECT_EQ(table.GetPropertyName(3), "B");
    EXPECT_EQ(table.GetPropertyName(4), "");
    EXPECT_EQ(table.GetPropertyAsString("b"), "now text");
    EXPECT_TRUE(table.IsWritable("b"));
    EXPECT_FALSE(table.IsReadable("b"));
    EXPECT_EQ(table.GetNumTemporaries(), 1);

    std::int32_t value = 9;
    EXPECT_FALSE(table.GetProperty("b", value));
    EXPECT_FALSE(table.GetProperty("missing", value));
    EXPECT_EQ(value, 9);
    table.SetReadable("missing", true);
    EXPECT_FALSE(table.IsReadable("missing"));

    table.RemoveProperty("a");
    table.RemoveProperty("a");
    ASSERT_EQ(table.GetNumProperties(), 3);
    EXPECT_EQ(table.GetPropertyName(1), "c");
    EXPECT_EQ(table.GetPropertyName(2), "B");
}

// Tables grow from one cell to many and shrink back: order, lookups, replacement and the blocks handed
// out stay right on every side of the size where lookups start to use an index.
TEST(UserPropertyTable, GrowingAndShrinkingKeepsOrderLookupsAndHandedOutBlocks)
{
    Property table;
    table.SetProperty("first", "kept", Readable);
    const char* handedOut = nullptr;
    ASSERT_TRUE(table.GetProperty("first", handedOut));
    for (std::int32_t i = 0; i < 40; ++i)
        table.SetProperty("n" + std::to_string(i), i, Readable);
    EXPECT_STREQ(handedOut, "kept");  // other cells do not move a cell's block
    table.SetProperty("n3", "three", Writable);
    ASSERT_EQ(table.GetNumProperties(), 41);
    EXPECT_EQ(table.GetPropertyName(4), "n3");
    EXPECT_EQ(table.GetPropertyAsString("n3"), "three");

    for (std::int32_t i = 0; i < 40; i += 2)
        table.RemoveProperty("n" + std::to_string(i));
    table.RemoveProperty("first");
    ASSERT_EQ(table.GetNumProperties(), 20);
    Property copy(table);
    for (std::int32_t i = 0; i < 40; ++i) {
        const std::string name = "n" + std::to_string(i);
        EXPECT_EQ(copy.HasProperty(name), i % 2 == 1) << name;
        if (i % 2 == 1 && i != 3) {
            EXPECT_EQ(copy.GetPropertyAsString(name), std::to_string(i));
        }
    }
    EXPECT_EQ(copy.GetPropertyName(0), "n1");
    EXPECT_EQ(copy.GetPropertyName(19), "n39");

    for (std::int32_t i = 1; i < 39; i += 2)
        copy.RemoveProperty("n" + std::to_string(i));
    ASSERT_EQ(copy.GetNumProperties(), 1);
    EXPECT_EQ(copy.GetPropertyName(0), "n39");
    copy.RemoveProperty("n39");
    copy.SetProperty("again", 1.5f, Readable);
    EXPECT_EQ(copy.GetPropertyAsString("again"), "1.500000");

    Property moved(std::move(table));
    EXPECT_EQ(moved.GetNumProperties(), 20);
    EXPECT_EQ(table.GetNumProperties(), 0);
    EXPECT_FALSE(table.HasProperty("n1"));
}

// A table of two cells (one heap block of its own) keeps order, values and the blocks handed out
// through removal of either cell, copies, moves and growth to a third.
TEST(UserPropertyTable, TablesOfTwoKeepOrderThroughRemovalCopiesMovesAndGrowth)
{
    const UniqueString rep("_REP");
    Property table;
    table.SetProperty(rep, 1, Readable);
    table.SetProperty("text", "kept", Readable);
    const char* handedOut = nullptr;
    ASSERT_TRUE(table.GetProperty("text", handedOut));
    table.RemoveProperty("_REP");  // the second cell becomes the only one
    ASSERT_EQ(table.GetNumProperties(), 1);
    EXPECT_STREQ(handedOut, "kept");
    table.SetProperty(UniqueString("_RMI"), 7, Temporary);
    table.SetProperty("text", "now", Writable);  // replaced in place

    Property copy(table);
    Property moved(std::move(table));
    EXPECT_EQ(table.GetNumProperties(), 0);
    copy.SetProperty("text", "copy", Readable);  // copies are deep
    EXPECT_EQ(moved.GetPropertyAsString("text"), "now");
    EXPECT_EQ(moved.GetPropertyName(1), "_RMI");
    EXPECT_TRUE(moved.IsTemporary("_RMI"));

    ASSERT_TRUE(moved.GetProperty("text", handedOut));
    moved.SetProperty("third", 3.0f, Readable);
    ASSERT_EQ(moved.GetNumProperties(), 3);
    EXPECT_STREQ(handedOut, "now");
    EXPECT_EQ(moved.GetPropertyName(2), "third");

    copy.RemoveProperty("text");  // the first cell goes: the second stays
    ASSERT_EQ(copy.GetNumProperties(), 1);
    EXPECT_EQ(copy.GetPropertyName(0), "_RMI");
}

// The count and the count of listed names agree with the cells through every form of the table:
// empty, one cell, a pair made in one step, and a larger table shrinking back.
TEST(UserPropertyTable, CountsFollowTheCellsThroughEveryForm)
{
    const std::string_view markers[] = {"_ASU", "_REP", "_RMI"};
    Property table;
    EXPECT_EQ(table.GetNumProperties(), 0);
    EXPECT_EQ(table.CountNamesAmong(markers), 0);
    table.SetProperty("_ASU", std::int32_t{-1}, 0);
    EXPECT_EQ(table.GetNumProperties(), 1);
    EXPECT_EQ(table.CountNamesAmong(markers), 1);
    table.SetProperty("_asu", std::int32_t{2}, 0);  // letter case counts
    table.RemoveProperty("_ASU");
    EXPECT_EQ(table.GetNumProperties(), 1);
    EXPECT_EQ(table.CountNamesAmong(markers), 0);

    Property pair;
    pair.SetProperties(UniqueString("_REP"), 4, UniqueString("_RMI"), 5, Readable);
    EXPECT_EQ(pair.GetNumProperties(), 2);
    EXPECT_EQ(pair.CountNamesAmong(markers), 2);
    std::int32_t value = 0;
    ASSERT_TRUE(pair.GetProperty("_RMI", value));
    EXPECT_EQ(value, 5);
    EXPECT_TRUE(pair.IsReadable("_REP"));

    for (int i = 0; i < 12; ++i)
        pair.SetProperty("cell" + std::to_string(i), std::int32_t{i}, 0);
    EXPECT_EQ(pair.GetNumProperties(), 14);
    EXPECT_EQ(pair.CountNamesAmong(markers), 2);
    for (int i = 0; i < 12; ++i)
        pair.RemoveProperty("cell" + std::to_string(i));
    pair.RemoveProperty("_REP");
    EXPECT_EQ(pair.GetNumProperties(), 1);
    EXPECT_EQ(pair.CountNamesAmong(markers), 1);
    pair.RemoveProperty("_RMI");
    EXPECT_EQ(pair.GetNumProperties(), 0);
}

// Interned names reach the same cells as their texts, in a table of one cell and in an indexed one.
TEST(UserPropertyTable, InternedNamesReplaceInPlaceAtEverySize)
{
    const UniqueString marker("marker");
    Property table;
    table.SetProperty(marker, 1, Readable);
    table.SetProperty("marker", 2, Writable);
    ASSERT_EQ(table.GetNumProperties(), 1);
    std::int32_t value = 0;
    ASSERT_TRUE(table.GetProperty("marker", value));
    EXPECT_EQ(value, 2);
    for (std::int32_t i = 0; i < 3; ++i)
        table.SetProperty("n" + std::to_string(i), i, Readable);
    table.SetProperty(marker, 3, Readable);
    ASSERT_EQ(table.GetNumProperties(), 4);
    EXPECT_EQ(table.GetPropertyName(0), "marker");
    for (std::int32_t i = 3; i < 20; ++i)
        table.SetProperty("n" + std::to_string(i), i, Readable);
    table.SetProperty(marker, 4, Temporary);
    table.SetProperty(UniqueString("n7"), 70, Readable);
    table.SetProperty(UniqueString("last"), 5, Readable);
    ASSERT_EQ(table.GetNumProperties(), 22);
    ASSERT_TRUE(table.GetProperty("marker", value));
    EXPECT_EQ(value, 4);
    EXPECT_TRUE(table.IsTemporary("marker"));
    ASSERT_TRUE(table.GetProperty("n7", value));
    EXPECT_EQ(value, 70);
    EXPECT_EQ(table.GetPropertyName(8), "n7");
    EXPECT_EQ(table.GetPropertyName(21), "last");
    table.RemoveProperty("n0");
    table.SetProperty(marker, 6, Readable);
    ASSERT_TRUE(table.GetProperty("marker", value));
    EXPECT_EQ(value, 6);
    EXPECT_EQ(table.GetNumProperties(), 21);
}

TEST(UserPropertyTable, SetFromStringCreatesTextOrDefersToTheCell)
{
    Property table;
    EXPECT_EQ(table.SetPropertyFromString("n", "42", Readable | Writable), Property::StatusCreated);
    const char* text = nullptr;
    ASSERT_TRUE(table.GetProperty("n", text));
    EXPECT_STREQ(text, "42");

    table.SetProperty("count", std::int32_t{1}, 0);
    EXPECT_EQ(table.SetPropertyFromString("count", "7 apples", Readable), Property::StatusSet);
    EXPECT_EQ(table.SetPropertyFromString("count", "seven", Readable | Writable), Property::StatusFailed);
    EXPECT_EQ(table.GetPropertyAsString("count"), "7");
    EXPECT_TRUE(table.IsWritable("count"));
}

TEST(UserPropertyTable, CopiesAreDeepAndIncludeTemporaries)
{
    Property table;
    table.SetProperty("t", "temp", Temporary);
    table.SetProperty("v", "value", Readable);
    Property copy(table);
    table.SetPropertyFromString("v", "changed", Readable);
    EXPECT_EQ(copy.GetPropertyAsString("v"), "value");
    EXPECT_EQ(copy.GetNumTemporaries(), 1);

    Property other;
    other.SetProperty("x");
    other.CopyProperties(copy);
    EXPECT_FALSE(other.HasProperty("x"));
    EXPECT_EQ(other.GetPropertyName(1), "v");

    // Names are counted once each, whatever the size of the table; letter case counts.
    constexpr std::string_view names[] = {"v", "x", "T"};
    EXPECT_EQ(other.CountNamesAmong(names), 1);
    other.SetProperty("x");
    other.SetProperty("y");
    EXPECT_EQ(other.CountNamesAmong(names), 2);
    EXPECT_EQ(Property().CountNamesAmong(names), 0);
    EXPECT_EQ(other.CountNamesAmong({}), 0);
}

TEST(UserPropertyArchive, LayoutLeavesTemporaryCellsOut)
{
    Property table;
    table.SetProperty("tmp", std::int32_t{5}, Temporary | Readable);
    table.SetProperty("n", std::int32_t{-2}, Readable | Writable);
    table.SetProperty("s", static_cast<const char*>(nullptr), 0);
    const std::vector<std::uint8_t> expected = {
        2, 0, 0, 0,                                                  // cells that are not temporary
        1, 'n', 2, 0, 0, 0, 1, 0, 0, 0, 6, 0xFE, 0xFF, 0xFF, 0xFF,  // long -2, flags 6
        1, 's', 6, 0, 0, 0, 0, 0, 0, 0, 0,                           // null text: type, count 0, flags
    };
    EXPECT_EQ(Store(table), expected);
}

TEST(UserPropertyArchive, EveryTypeRoundTripsPointersAsNullAndObjectsAsOwnedCopies)
{
    const std::int32_t longs[] = {INT32_MIN, 0, INT32_MAX};
    const float floats[] = {-1.5f, 3.0e38f};
    const std::uint8_t bytes[] = {0, 255, 1};
    int marker = 0;
    std::unique_ptr<TreeNode> parent = MakeNode();
    TreeNode* const node = ClassAccess::New<TreeNode>();
    node->SetParent(parent.get());
    ClassAccess::New<TreeNode>()->SetParent(node);

    Property table;
    table.SetProperty("empty");
    table.SetProperty("long", std::int32_t{-7}, Readable | Writable);
    table.SetProperty("longs", 3, longs, 0);
    table.SetProperty("float", 0.1f, Writable);
    table.SetProperty("floats", 2, floats, Readable);
    table.SetProperty("text", "caf\xC3\xA9", Readable);
    table.SetProperty("bytes", 3, bytes, Readable);
    table.SetProperty("pointer", &marker, Readable);
    table.SetProperty("object", node, Readable);
    table.SetProperty("temporary", "gone", Temporary | Readable);

    auto owner = std::make_unique<Property>();
    Property& loaded = *owner;
    loaded.SetProperty("replaced", std::int32_t{1}, Readable);
    const std::uint32_t lastOID = Base::GetLastOID();
    Load(loaded, Store(table));
    // The object's own record, with its subtree and without its parent.
    EXPECT_EQ(Base::GetLastOID(), lastOID + 2);

    ASSERT_EQ(loaded.GetNumProperties(), 9);
    EXPECT_FALSE(loaded.HasProperty("replaced"));
    EXPECT_FALSE(loaded.HasProperty("temporary"));
    for (std::int32_t i = 0; i < loaded.GetNumProperties(); ++i) {
        const std::string name = loaded.GetPropertyName(i);
        EXPECT_EQ(name, table.GetPropertyName(i));
        EXPECT_EQ(loaded.GetPropertyAsString(name, 3, 2), table.GetPropertyAsString(name, 3, 2)) << name;
        EXPECT_EQ(loaded.IsReadable(name), table.IsReadable(name)) << name;
        EXPECT_EQ(loaded.IsWritable(name), table.IsWritable(name)) << name;
    }
    std::int32_t count = 0;
    const std::int32_t* loadedLongs = nullptr;
    ASSERT_TRUE(loaded.GetProperty("longs", count, loadedLongs));
    EXPECT_EQ(std::vector<std::int32_t>(loadedLongs, loadedLongs + count), std::vector<std::int32_t>(longs, longs + 3));
    const float* loadedFloats = nullptr;
    ASSERT_TRUE(loaded.GetProperty("floats", count, loadedFloats));
    EXPECT_EQ(std::vector<float>(loadedFloats, loadedFloats + count), std::vector<float>(floats, floats + 2));
    const std::uint8_t* loadedBytes = nullptr;
    ASSERT_TRUE(loaded.GetProperty("bytes", count, loadedBytes));
    EXPECT_EQ(std::vector<std::uint8_t>(loadedBytes, loadedBytes + count), std::vector<std::uint8_t>(bytes, bytes + 3));

    void* pointer = &marker;
    ASSERT_TRUE(loaded.GetProperty("pointer", pointer));
    EXPECT_EQ(pointer, nullptr);
    Base* object = nullptr;
    ASSERT_TRUE(loaded.GetProperty("object", object));
    const auto* copy = DynCast<TreeNode>(object);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, node);
    EXPECT_EQ(copy->GetParent(), nullptr);
    EXPECT_EQ(copy->GetNumChildren(), 1);
    EXPECT_EQ(parent->GetNumChildren(), 1);
    // The cell owns the copy: nothing the load created outlives the table.
    owner.reset();
    for (std::uint32_t oid = lastOID + 1; oid <= Base::GetLastOID(); ++oid)
        EXPECT_EQ(Base::GetObjectA(oid), nullptr) << oid;
}

TEST(UserPropertyArchive, EmptyCountKeepsTheTable)
{
    Property table;
    table.SetProperty("kept", std::int32_t{1}, Temporary);
    Load(table, {0, 0, 0, 0});
    Load(table, {0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_TRUE(table.HasProperty("kept"));
}

TEST(UserPropertyArchive, BadInputRaisesAndLeavesTheTableUnchanged)
{
    std::vector<std::vector<std::uint8_t>> inputs = {
        {1, 0, 0},                                                    // truncated count
        {0xFF, 0xFF, 0xFF, 0x7F, 1, 'x', 0, 0, 0, 0, 0, 0, 0, 0, 0},  // count beyond the input
        OneCell(9, 1, {}),                                            // unknown type codes
        OneCell(-1, 1, {}),
        OneCell(DataStorage::TypeLongArray, -1, {}),                  // negative element count
        OneCell(DataStorage::TypeFloatArray, 0x40000000, {0, 0, 0, 0}),
        OneCell(DataStorage::TypeText, 3, {'a', 'b', 'c'}),           // unterminated text
        OneCell(DataStorage::TypeText, 3, {'a', 0, 0}),               // zero inside the text
        OneCell(DataStorage::TypeLong, 1, {1, 2}),                    // truncated value
        OneCell(DataStorage::TypeObject, 1, {0x01, 0x00}),            // reference to an unseen index
    };
    // The second cell breaks after a good first one.
    std::vector<std::uint8_t> half = OneCell(DataStorage::TypeLong, 1, {5, 0, 0, 0});
    half[0] = 2;
    half.insert(half.end(), {1, 'y', 2, 0, 0, 0});
    inputs.push_back(half);

    for (std::size_t i = 0; i < inputs.size(); ++i) {
        Property table;
        table.SetProperty("kept", "yes", Readable);
        Archive archive(inputs[i]);
        EXPECT_THROW(table.Serialize(archive), ArchiveException) << "input " << i;
        ASSERT_EQ(table.GetNumProperties(), 1) << "input " << i;
        EXPECT_EQ(table.GetPropertyAsString("kept"), "yes");
    }
}

TEST(UserPropertyArchive, StoredObjectsAreOwnedByTheLoadedCells)
{
    // Earlier writers stored the object's own record (with its subtree); the second cell refers back.
    std::unique_ptr<TreeNode> node = MakeNode();
    ClassAccess::New<TreeNode>()->SetParent(node.get());
    Archive writer;
    writer << std::int32_t{2};
    for (const char* name : {"first", "second"}) {
        writer << name << std::int32_t{DataStorage::TypeObject} << std::int32_t{1} << std::uint8_t{Readable};
        writer.WriteObject(node.get());
    }

    std::uint32_t loadedOIDs[2] = {};
    {
        Property table;
        Load(table, writer.GetBuffer());
        Base* first = nullptr;
        Base* second = nullptr;
        ASSERT_TRUE(table.GetProperty("first", first));
        ASSERT_TRUE(table.GetProperty("second", second));
        EXPECT_EQ(first, second);
        const auto* loaded = DynCast<TreeNode>(first);
        ASSERT_NE(loaded, nullptr);
        ASSERT_EQ(loaded->GetNumChildren(), 1);
        loadedOIDs[0] = loaded->GetOID();
        loadedOIDs[1] = loaded->GetChild(0)->GetOID();

        // Copies share the loaded object; it lives as long as any of them.
        Property copy(table);
        table = Property();
        Base* fromCopy = nullptr;
        ASSERT_TRUE(copy.GetProperty("first", fromCopy));
        EXPECT_EQ(fromCopy, first);
    }
    EXPECT_EQ(Base::GetObjectA(loadedOIDs[0]), nullptr);
    EXPECT_EQ(Base::GetObjectA(loadedOIDs[1]), nullptr);

    // A loaded node that has been given a parent belongs to the tree, not to the cell.
    TreeNode* adopted = nullptr;
    {
        Property table;
        Load(table, writer.GetBuffer());
        Base* object = nullptr;
        ASSERT_TRUE(table.GetProperty("first", object));
        adopted = DynCast<TreeNode>(object);
        ASSERT_NE(adopted, nullptr);
        adopted->SetParent(node.get());
    }
    ASSERT_EQ(node->GetNumChildren(), 2);
    EXPECT_EQ(node->GetChild(1), adopted);
}

TEST(UserPropertyArchive, ChainsOfObjectCellsAreWrittenSixteenDeep)
{
    // Each object's cell refers to the next object; every written object brings its own table.
    AttachDataModelDLL();
    std::vector<std::unique_ptr<Object>> chain;
    for (int i = 0; i < 40; ++i)
        chain.push_back(std::make_unique<Object>(nullptr));
    for (std::size_t i = 0; i + 1 < chain.size(); ++i)
        chain[i]->SetProperty("next", chain[i + 1].get(), Readable);
    Property table;
    table.SetProperty("next", chain.front().get(), Readable);

    const std::uint32_t lastOID = Base::GetLastOID();
    {
        Property loaded;
        Load(loaded, Store(table));
        Base* object = nullptr;
        ASSERT_TRUE(loaded.GetProperty("next", object));
        int depth = 0;
        for (const Object* at = DynCast<Object>(object); at; at = DynCast<Object>(object)) {
            ++depth;
            object = nullptr;
            at->GetProperty("next", object);
        }
        EXPECT_EQ(depth, 16);
    }
    for (std::uint32_t oid = lastOID + 1; oid <= Base::GetLastOID(); ++oid)
        EXPECT_EQ(Base::GetObjectA(oid), nullptr) << oid;
}

TEST(UserPropertyArchive, PropertyIsACreatableFrameworkObject)
{
    AttachDataModelDLL();
    const RuntimeClass* record = RuntimeClass::Find("XXProperty");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->schema, RuntimeClass::VersionableSchema | 13u);
    std::unique_ptr<PersistentObject> created(record->CreateObject());
    EXPECT_TRUE(created && created->IsKindOf(&Property::GetThisClass()));
}

// A model class whose one property level stores its user-property table the way objects do: the
// table's own archive form, nested in a byte block.
class TableHolder : public Base {
    TAVREL_DECLARE_CLASS(TableHolder, Base)
public:
    static TableHolder* Make() { return ClassAccess::New<TableHolder>(); }

    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        const auto serialize = [this](Archive& nested) { table.Serialize(nested); };
        pass.Archived("Property", serialize, serialize);
    }

    Property table;

protected:
    TableHolder() = default;
    TableHolder(const TableHolder&) = default;
};
TAVREL_IMPLEMENT_CLASS(TableHolder, ClassKind::Creatable)

TEST(UserPropertyStream, TablesRoundTripThroughTheCompressedStreamWithoutTemporaries)
{
    AttachDataModelDLL();
    ClassRegistry::Register<TableHolder>();

    const float weights[] = {0.25f, 4.0f};
    std::unique_ptr<TableHolder> first(TableHolder::Make());
    std::unique_ptr<TableHolder> second(TableHolder::Make());
    first->table.SetProperty("_ASU", std::int32_t{12}, 0);
    first->table.SetProperty("scratch", "not saved", Temporary | Readable);
    first->table.SetProperty("weights", 2, weights, Readable | Writable);
    first->table.SetProperty("Note", "first", Readable);
    second->table.SetProperty("only", 1.5f, Writable);

    Archive out;
    {
        CompressedPropertyArchive stream(out);
        first->WriteProperties(stream, first->GetOID());
        second->WriteProperties(stream, second->GetOID());
    }
    Archive in(out.GetBuffer());
    std::unique_ptr<Base> readFirst;
    std::unique_ptr<Base> readSecond;
    {
        CompressedPropertyArchive stream(in);
        readFirst.reset(Catalog::ReadProperties(stream));
        readSecond.reset(Catalog::ReadProperties(stream));
    }
    EXPECT_EQ(in.GetRemaining(), 0u);
    const auto* loaded = DynCast<TableHolder>(readFirst.get());
    const auto* loadedSecond = DynCast<TableHolder>(readSecond.get());
    ASSERT_NE(loaded, nullptr);
    ASSERT_NE(loadedSecond, nullptr);

    const Property& table = loaded->table;
    ASSERT_EQ(table.GetNumProperties(), 3);
    EXPECT_FALSE(table.HasProperty("scratch"));
    EXPECT_EQ(table.GetPropertyName(0), "_ASU");
    EXPECT_EQ(table.GetPropertyName(2), "Note");
    EXPECT_EQ(table.GetPropertyAsString("_ASU"), "12");
    EXPECT_FALSE(table.IsReadable("_ASU") || table.IsWritable("_ASU") || table.IsTemporary("_ASU"));
    std::int32_t count = 0;
    const float* values = nullptr;
    ASSERT_TRUE(table.GetProperty("weights", count, values));
    ASSERT_EQ(count, 2);
    EXPECT_EQ(values[1], 4.0f);
    EXPECT_TRUE(table.IsWritable("weights"));
    EXPECT_EQ(table.GetPropertyAsString("Note"), "first");
    EXPECT_EQ(loadedSecond->table.GetPropertyAsString("only"), "1.500000");
    EXPECT_FALSE(loadedSecond->table.IsReadable("only"));
}

} // namespace

// An object a user property holds lists the object holding the property among its children. Read
// back, that object's record is still open when the held object's list names it: it is not taken as a
// child, and a read that fails there or later leaves nothing behind and frees nothing twice.
TEST(UserPropertyArchive, AHeldObjectCannotTakeTheObjectThatHoldsItAsAChild)
{
    AttachDataModelDLL();
    const auto holder = std::make_unique<Object>(nullptr);
    auto* const top = new Object(holder.get());
    top->SetLabel("top");
    top->SetProperty("link", holder.get(), DataStorage::FlagReadable);
    Archive out;
    out.WriteObject(top);
    const std::vector<std::uint8_t>& bytes = out.GetBuffer();

    for (std::size_t length = 0; length < bytes.size(); ++length) {
        const std::size_t live = CountLiveObjectsForTests();
        Archive in(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
        EXPECT_THROW(static_cast<void>(in.ReadObject()), ArchiveException);
        EXPECT_EQ(CountLiveObjectsForTests(), live) << "cut at " << length;
    }
    const std::size_t live = CountLiveObjectsForTests();
    {
        Archive in(bytes);
        const std::unique_ptr<Object> loaded(DynCast<Object>(static_cast<Base*>(in.ReadObject())));
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(loaded->GetLabel(), "top");
        EXPECT_EQ(loaded->GetParent(), nullptr);
        Base* held = nullptr;
        ASSERT_TRUE(loaded->GetProperty("link", held));
        auto* const heldObject = DynCast<Object>(held);
        ASSERT_NE(heldObject, nullptr);
        EXPECT_EQ(heldObject->GetNumChildren(), 0);
    }
    EXPECT_EQ(CountLiveObjectsForTests(), live);
}
