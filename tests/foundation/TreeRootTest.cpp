#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include <tavrel/foundation/Catalog.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/Enumerator.h>
#include <tavrel/foundation/FilterType.h>
#include <tavrel/foundation/LogicalIdentifierList.h>
#include <tavrel/foundation/LogicalIdentifierSet.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>

#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

using SetType = TreeRoot::SelectionSetType;

std::vector<std::uint32_t> LIDs(const std::vector<Object*>& objects)
{
    std::vector<std::uint32_t> lids;
    for (const Object* object : objects)
        lids.push_back(object->GetLID());
    return lids;
}

std::vector<Object*> Entries(const OrdCollection& collection)
{
    std::vector<Object*> entries;
    for (int i = 0; i < collection.GetSize(); ++i)
        entries.push_back(collection.GetAt(i));
    return entries;
}

// A root whose event masks a test can clear.
class MaskedRoot : public TreeRoot {
public:
    using TreeRoot::ClearEventMask;
};

class TreeRootTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

} // namespace

TEST(LogicalIdentifierList, CounterWrapsToOneAndSkipsNumbersInUse)
{
    LogicalIdentifierList list;
    EXPECT_EQ(list.AddObjectLid(0), 0u);
    EXPECT_EQ(list.AddObjectLid(10), 1u);
    EXPECT_EQ(list.AddObjectLid(11), 2u);
    EXPECT_EQ(list.AddObjectLidCopy(0xFFFFFFFEu, 12), 0xFFFFFFFEu);
    EXPECT_EQ(list.AddObjectLid(13), 0xFFFFFFFFu);
    EXPECT_EQ(list.AddObjectLid(14), 3u);
    EXPECT_EQ(list.GetLogicalObject(1), 10u);
    EXPECT_EQ(list.GetLogicalObject(2), 11u);
    EXPECT_EQ(LogicalIdentifierList::Successor(0xFFFFFFFFu), 1u);
}

TEST(LogicalIdentifierList, CopiedNumbersAreKeptWhenFreeOrOwn)
{
    LogicalIdentifierList list;
    EXPECT_EQ(list.AddObjectLidCopy(7, 20), 7u);
    EXPECT_EQ(list.AddObjectLidCopy(7, 20), 7u);
    EXPECT_EQ(list.AddObjectLidCopy(7, 21), 8u);  // taken by another OID: the counter stands past 7
    EXPECT_EQ(list.AddObjectLidCopy(3, 22), 3u);  // free below the counter: kept, counter stays
    EXPECT_EQ(list.AddObjectLid(23), 9u);
    list.RemoveObjectLid(7, 21);
    EXPECT_EQ(list.GetLogicalObject(7), 20u);
    list.RemoveObjectLid(7, 20);
    EXPECT_EQ(list.GetLogicalObject(7), 0u);
    list.Clear();
    EXPECT_EQ(list.GetSize(), 0u);
    EXPECT_EQ(list.AddObjectLid(24), 10u);
}

// A run of loaded numbers enters as one call per number would, up to the first it refuses.
TEST(LogicalIdentifierList, RunsOfLoadedNumbersStopAtTheFirstRefused)
{
    using Entry = LogicalIdentifierList::Entry;
    LogicalIdentifierList list;
    list.AddObjectLidCopy(70, 1);
    const std::vector<Entry> run{{5, 10}, {6, 11}, {200, 12}, {64, 13}, {70, 14}, {9, 15}};
    EXPECT_EQ(list.AddObjectLidsIfFree(run), 4u);
    EXPECT_EQ(list.GetSize(), 5u);
    EXPECT_EQ(list.GetLogicalObject(200), 12u);
    EXPECT_EQ(list.GetLogicalObject(64), 13u);
    EXPECT_EQ(list.GetLogicalObject(70), 1u);
    EXPECT_EQ(list.GetLogicalObject(9), 0u);
    EXPECT_EQ(list.GetNextLid(), 201u);
    EXPECT_EQ(list.AddObjectLidsIfFree(std::vector<Entry>{{7, 16}, {0, 17}}), 1u);
    EXPECT_EQ(list.AddObjectLidsIfFree(std::vector<Entry>{{8, 0}}), 0u);
    EXPECT_EQ(list.AddObjectLidsIfFree(std::vector<Entry>{{0xFFFFFFFFu, 18}}), 0u);
    EXPECT_EQ(list.AddObjectLidsIfFree(std::vector<Entry>{{6, 19}}), 0u);
    EXPECT_EQ(list.GetSize(), 6u);
    // Numbers far from the window go to the fallback, and runs after them still enter.
    EXPECT_EQ(list.AddObjectLidsIfFree(std::vector<Entry>{{3'000'000, 20}, {8, 21}, {3'000'001, 22}}), 3u);
    EXPECT_EQ(list.GetLogicalObject(3'000'000), 20u);
    EXPECT_EQ(list.GetLogicalObject(8), 21u);
    EXPECT_EQ(list.GetLogicalObject(3'000'001), 22u);
    EXPECT_EQ(list.AddObjectLid(23), 3'000'002u);
}

// A run over pages the window does not cover yet (after its end, before its start, far off) enters as
// the numbers one by one do.
TEST(LogicalIdentifierList, RunsOverNewPagesEnterAsSingleNumbersDo)
{
    using Entry = LogicalIdentifierList::Entry;
    std::vector<Entry> run;
    for (std::uint32_t lid = 500; lid < 1500; lid += 3)
        run.push_back({lid, lid + 10});
    run.push_back({2, 7});
    run.push_back({5'000'000, 8});
    run.push_back({1600, 9});
    LogicalIdentifierList together;
    LogicalIdentifierList single;
    EXPECT_EQ(together.AddObjectLidsIfFree(run), run.size());
    for (const Entry& entry : run)
        EXPECT_TRUE(single.AddObjectLidIfFree(entry.lid, entry.oid));
    EXPECT_EQ(together.GetSize(), single.GetSize());
    EXPECT_EQ(together.GetNextLid(), single.GetNextLid());
    for (std::uint32_t lid : {2u, 500u, 501u, 1499u, 1600u, 5'000'000u})
        EXPECT_EQ(together.GetLogicalObject(lid), single.GetLogicalObject(lid)) << lid;
    EXPECT_EQ(together.AddObjectLid(99), single.AddObjectLid(99));
}

// Loaded numbers enter once where free, also on a page emptied by removals; a held one changes nothing.
TEST(LogicalIdentifierList, FreeNumbersEnterOnceAndTakenOnesChangeNothing)
{
    LogicalIdentifierList list;
    for (std::uint32_t lid = 1; lid <= 200; ++lid)
        EXPECT_TRUE(list.AddObjectLidIfFree(lid, 1000 + lid));
    EXPECT_FALSE(list.AddObjectLidIfFree(130, 7));
    for (std::uint32_t lid = 64; lid < 128; ++lid)
        list.RemoveObjectLid(lid, 1000 + lid);
    EXPECT_TRUE(list.AddObjectLidIfFree(100, 7));
    EXPECT_FALSE(list.AddObjectLidIfFree(100, 8));
    EXPECT_EQ(list.GetLogicalObject(100), 7u);
    EXPECT_EQ(list.GetLogicalObject(130), 1130u);
    EXPECT_EQ(list.GetSize(), 137u);
    EXPECT_EQ(list.AddObjectLid(9), 201u);
}

// The list against a plain map: counter numbers, numbers far apart, a counter that wraps, removals
// that leave old numbers behind, copies of the list and clearing all answer as the map does.
TEST(LogicalIdentifierList, PagedAndFallbackEntriesAnswerAsAPlainMap)
{
    struct Model {
        std::map<std::uint32_t, std::uint32_t> entries;
        std::uint32_t next = 1;

        std::uint32_t Take(std::uint32_t oid)
        {
            if (oid == 0)
                return 0;
            std::uint32_t lid = next;
            while (entries.contains(lid))
                lid = LogicalIdentifierList::Successor(lid);
            next = LogicalIdentifierList::Successor(lid);
            entries.emplace(lid, oid);
            return lid;
        }
        std::uint32_t Keep(std::uint32_t lid, std::uint32_t oid)
        {
            if (lid == 0 || oid == 0)
                return lid;
            if (const auto held = entries.find(lid); held != entries.end())
                return held->second == oid ? lid : Take(oid);
            entries.emplace(lid, oid);
            if (lid >= next)
                next = LogicalIdentifierList::Successor(lid);
            return lid;
        }
    };

    std::mt19937 random(11);
    LogicalIdentifierList list;
    Model model;
    std::uint32_t oid = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> held;  // (lid, oid) pairs entered
    const auto pick = [&](std::size_t bound) { return static_cast<std::uint32_t>(random() % bound); };
    for (int step = 0; step < 60'000; ++step) {
        const std::uint32_t choice = pick(100);
        if (choice < 45) {
            const std::uint32_t lid = list.AddObjectLid(++oid);
            ASSERT_EQ(lid, model.Take(oid));
            held.emplace_back(lid, oid);
        } else if (choice < 60) {
            // Loaded numbers: near the counter, small, far apart, or at the top of the range.
            const std::uint32_t kind = pick(4);
            const std::uint32_t lid = kind == 0   ? model.next + pick(5000)
                                      : kind == 1 ? 1 + pick(3000)
                                      : kind == 2 ? static_cast<std::uint32_t>(random())
                                                  : UINT32_MAX - pick(300);
            const std::uint32_t owner = held.empty() || pick(3) != 0 ? ++oid : held[pick(held.size())].second;
            const std::uint32_t kept = list.AddObjectLidCopy(lid, owner);
            ASSERT_EQ(kept, model.Keep(lid, owner));
            held.emplace_back(kept, owner);
        } else if (choice < 95 && !held.empty()) {
            // Mostly the oldest entries leave, so the counter moves on past the ones that stay.
            const std::size_t at = pick(4) == 0 ? pick(held.size()) : std::min<std::size_t>(held.size() - 1, pick(8));
            const auto [lid, owner] = held[at];
            held.erase(held.begin() + static_cast<std::ptrdiff_t>(at));
            const std::uint32_t asked = pick(5) == 0 ? owner + 1 : owner;
            list.RemoveObjectLid(lid, asked);
            if (const auto entry = model.entries.find(lid); entry != model.entries.end() && entry->second == asked)
                model.entries.erase(entry);
        } else if (choice < 98) {
            list = LogicalIdentifierList(list);
        } else if (pick(50) == 0) {
            list.Clear();
            model.entries.clear();
            held.clear();
        }
        ASSERT_EQ(list.GetSize(), model.entries.size());
        for (int probe = 0; probe < 4; ++probe) {
            const std::uint32_t lid = held.empty() || probe == 0 ? pick(std::size_t{model.next} + 64) : held[pick(held.size())].first;
            const auto entry = model.entries.find(lid);
            ASSERT_EQ(list.GetLogicalObject(lid), entry != model.entries.end() ? entry->second : 0u) << lid;
        }
    }
    for (const auto& [lid, owner] : model.entries)
        ASSERT_EQ(list.GetLogicalObject(lid), owner);
}

TEST_F(TreeRootTest, NodesAreNumberedInPreOrderAndRenumberedWhenMoved)
{
    TreeRoot root;
    EXPECT_EQ(root.GetLID(), 1u);
    auto* x = new Object(&root);
    auto* a = new Object(nullptr);
    auto* a1 = new Object(a);
    auto* a11 = new Object(a1);
    auto* a2 = new Object(a);
    a->SetParent(&root);
    EXPECT_EQ(LIDs({x, a, a1, a11, a2}), (std::vector<std::uint32_t>{2, 3, 4, 5, 6}));
    EXPECT_EQ(root.GetLogicalObject(5), a11);

    a1->SetParent(x);
    EXPECT_EQ(LIDs({a1, a11}), (std::vector<std::uint32_t>{7, 8}));
    EXPECT_EQ(root.GetLogicalObject(4), nullptr);
    EXPECT_EQ(root.GetLogicalObject(8), a11);
    delete a11;
    EXPECT_EQ(root.GetLogicalObject(8), nullptr);
    EXPECT_EQ(root.GetLogicalObject(0), nullptr);
    a->SetParent(nullptr);
    EXPECT_EQ(LIDs({a, a2}), (std::vector<std::uint32_t>{0, 0}));
    delete a;
}

TEST_F(TreeRootTest, CopiedSubtreeKeepsFreeNumbersInAnotherRoot)
{
    TreeRoot source;
    auto* a = new Object(&source);  // 2
    auto* b = new Object(&source);  // 3
    new Object(b);                  // 4
    new Object(b);                  // 5
    TreeRoot target;
    auto* t = new Object(&target);  // 2

    Object* const copyB = b->TreeCopy();
    EXPECT_EQ(copyB->GetLID(), 3u);
    copyB->SetParent(t);
    EXPECT_EQ(LIDs({copyB, copyB->GetChild(0), copyB->GetChild(1)}), (std::vector<std::uint32_t>{3, 4, 5}));
    Object* const copyA = a->TreeCopy();
    copyA->SetParent(&target);
    EXPECT_EQ(copyA->GetLID(), 6u);  // 2 is taken; the counter stands past every kept number
    EXPECT_EQ(target.GetLogicalObject(2), t);
    EXPECT_EQ(target.GetLogicalObject(4), copyB->GetChild(0));
}

TEST_F(TreeRootTest, RootCopyResolvesItsNodesButNotItself)
{
    TreeRoot root;
    auto* a = new Object(&root);
    auto* b = new Object(a);
    std::unique_ptr<TreeRoot> copy(DynCast<TreeRoot>(root.TreeCopy()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetLogicalObject(1), nullptr);
    Object* const copyB = copy->GetLogicalObject(b->GetLID());
    ASSERT_NE(copyB, nullptr);
    EXPECT_NE(copyB, b);
    EXPECT_EQ(copyB->GetParent(), copy->GetLogicalObject(a->GetLID()));
}

TEST_F(TreeRootTest, LoadedNodesKeepTheirNumbersAndTheCounterPassesThem)
{
    auto root = std::make_unique<TreeRoot>();
    auto* a = new Object(root.get());
    auto* b = new Object(root.get());
    auto* c = new Object(b);
    a->SetParent(b);  // a is numbered again: 2 becomes 5
    EXPECT_EQ(LIDs({b, c, a}), (std::vector<std::uint32_t>{3, 4, 5}));
    Archive out;
    {
        CompressedPropertyArchive stream(out);
        stream.AddOIDMapEntry(root->GetOID(), root->GetOID());
        root->WriteProperties(stream, root->GetOID());
    }
    root.reset();
    Archive in(out.GetBuffer());
    std::unique_ptr<TreeRoot> loaded;
    {
        CompressedPropertyArchive stream(in);
        loaded.reset(DynCast<TreeRoot>(Catalog::ReadProperties(stream)));
    }
    ASSERT_NE(loaded, nullptr);
    Object* const loadedB = loaded->GetChild(0);
    ASSERT_NE(loadedB, nullptr);
    ASSERT_EQ(loadedB->GetNumChildren(), 2);
    EXPECT_EQ(LIDs({loadedB, loadedB->GetChild(0), loadedB->GetChild(1)}), (std::vector<std::uint32_t>{3, 4, 5}));
    EXPECT_EQ(loaded->GetLogicalObject(5), loadedB->GetChild(1));
    EXPECT_EQ((new Object(loaded.get()))->GetLID(), 6u);
}

// Saves the root as one record of the stream and reads it back.
std::unique_ptr<TreeRoot> Reload(TreeRoot& root)
{
    return std::unique_ptr<TreeRoot>(DynCast<TreeRoot>(RecordStream::Load(RecordStream::Save(root))));
}

// More records end below the root than the numbers collected first have room for: each node keeps
// its number, found again through the root.
TEST_F(TreeRootTest, ALoadedTreeOfManyNodesKeepsEveryNumber)
{
    auto root = std::make_unique<TreeRoot>();
    std::vector<Object*> made;
    for (int i = 0; i < 10; ++i) {
        auto* const group = new Object(root.get());
        made.push_back(group);
        for (int j = 0; j < 40; ++j)
            made.push_back(new Object(group));
    }
    made[3]->SetParent(made[41]);  // numbered again, last
    const std::unique_ptr<TreeRoot> loaded = Reload(*root);
    ASSERT_NE(loaded, nullptr);
    // Each group, then its children.
    const auto groupsAndChildren = [](TreeRoot& top) {
        std::vector<Object*> nodes;
        for (int i = 0; i < top.GetNumChildren(); ++i) {
            Object* const group = top.GetChild(i);
            nodes.push_back(group);
            for (int j = 0; j < group->GetNumChildren(); ++j)
                nodes.push_back(group->GetChild(j));
        }
        return nodes;
    };
    const std::vector<Object*> read = groupsAndChildren(*loaded);
    const std::vector<Object*> expected = groupsAndChildren(*root);
    ASSERT_EQ(read.size(), expected.size());
    for (std::size_t k = 0; k < read.size(); ++k) {
        EXPECT_EQ(read[k]->GetLID(), expected[k]->GetLID()) << k;
        EXPECT_EQ(loaded->GetLogicalObject(read[k]->GetLID()), read[k]) << k;
    }
    // The counter passes the loaded numbers as it passed the saved ones.
    EXPECT_EQ((new Object(loaded.get()))->GetLID(), (new Object(root.get()))->GetLID());
}

// The numbers one pre-order pass gives nodes carrying these, the root holding 1: a free number is
// kept and moves the counter past it; a held one takes the first free number from the counter on.
std::vector<std::uint32_t> NumberedByThePass(const std::vector<std::uint32_t>& carried)
{
    std::set<std::uint32_t> held{1};
    std::uint32_t counter = 2;
    std::vector<std::uint32_t> given;
    for (const std::uint32_t lid : carried) {
        std::uint32_t take = lid;
        if (held.count(lid) != 0) {
            for (take = counter; held.count(take) != 0;)
                ++take;
        }
        held.insert(take);
        counter = std::max(counter, take + 1);
        given.push_back(take);
    }
    return given;
}

// Records ending in order of wide groups (OIDs stepping up), of a chain (nested: stepping down) and
// of pairs, more than a chunk of them: each node keeps its scattered number. When the chain's head,
// whose record ends after all others but the pairs', finds its number taken by its deepest node,
// what was entered is undone and the pass numbers the tree.
TEST_F(TreeRootTest, ManyLoadedNodesInRunsKeepTheirNumbersOrAreNumberedByThePass)
{
    TreeRoot root;
    for (int g = 0; g < 8; ++g) {
        auto* const group = new Object(&root);
        for (int j = 0; j < 2100; ++j)
            new Object(group);
    }
    auto* const head = new Object(&root);
    Object* deepest = head;
    for (int d = 0; d < 300; ++d)
        deepest = new Object(deepest);
    auto* const pairs = new Object(&root);
    for (int j = 0; j < 200; ++j)
        new Object(new Object(pairs));
    const auto preOrder = [](TreeRoot& top) {
        std::vector<Object*> nodes;
        std::vector<Object*> stack;
        for (int i = top.GetNumChildren(); i-- > 0;)
            stack.push_back(top.GetChild(i));
        while (!stack.empty()) {
            Object* const node = stack.back();
            stack.pop_back();
            nodes.push_back(node);
            for (int i = node->GetNumChildren(); i-- > 0;)
                stack.push_back(node->GetChild(i));
        }
        return nodes;
    };
    const std::vector<Object*> saved = preOrder(root);
    ASSERT_GT(saved.size(), std::size_t{1} << 14);
    for (std::size_t k = 0; k < saved.size(); ++k)
        saved[k]->SetLID(2 + static_cast<std::uint32_t>(k * 7919 % 100003));
    for (const bool clash : {false, true}) {
        SCOPED_TRACE(clash ? "clash" : "distinct");
        if (clash)
            deepest->SetLID(head->GetLID());
        std::vector<std::uint32_t> carried;
        for (const Object* node : saved)
            carried.push_back(node->GetLID());
        const std::vector<std::uint32_t> expected = NumberedByThePass(carried);
        EXPECT_EQ(expected == carried, !clash);
        const std::uint32_t before = Base::GetLastOID();
        const std::unique_ptr<TreeRoot> loaded = Reload(root);
        ASSERT_NE(loaded, nullptr);
        const std::vector<Object*> read = preOrder(*loaded);
        ASSERT_EQ(read.size(), saved.size());
        std::size_t wrong = 0;
        for (std::size_t k = 0; k < read.size(); ++k)
            wrong += read[k]->GetLID() != expected[k] || loaded->GetLogicalObject(expected[k]) != read[k];
        EXPECT_EQ(wrong, 0u);
        EXPECT_EQ(loaded->HeldEveryObjectIn(before, Base::GetLastOID()), !clash);
        EXPECT_EQ((new Object(loaded.get()))->GetLID(), *std::max_element(expected.begin(), expected.end()) + 1);
    }
}

TEST_F(TreeRootTest, LoadedNumbersThatClashOrLackAreGivenAsByOnePreOrderPass)
{
    TreeRoot root;
    for (int i = 0; i < 4; ++i)
        new Object(&root);
    new Object(root.GetChild(1));
    // In pre-order: 7, none, 12 below it, 7 again, 3.
    const std::uint32_t saved[] = {7, 0, 7, 3};
    for (int i = 0; i < 4; ++i)
        root.GetChild(i)->SetLID(saved[i]);
    root.GetChild(1)->GetChild(0)->SetLID(12);
    const std::unique_ptr<TreeRoot> loaded = Reload(root);
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), 4);
    Object* const below = loaded->GetChild(1)->GetChild(0);
    // The first 7 is kept; the node without a number and the second 7 take the counter's next ones.
    EXPECT_EQ(LIDs({loaded->GetChild(0), loaded->GetChild(1), below, loaded->GetChild(2), loaded->GetChild(3)}),
              (std::vector<std::uint32_t>{7, 8, 12, 13, 3}));
    EXPECT_EQ(loaded->GetLogicalObject(12), below);
    EXPECT_EQ(loaded->GetLogicalObject(13), loaded->GetChild(2));
    EXPECT_EQ((new Object(loaded.get()))->GetLID(), 14u);

    // The root is numbered first: a node carrying the root's number gives it up.
    TreeRoot other;
    new Object(&other);
    new Object(&other);
    other.SetLID(5);
    other.GetChild(0)->SetLID(5);
    other.GetChild(1)->SetLID(9);
    const std::unique_ptr<TreeRoot> second = Reload(other);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(LIDs({second.get(), second->GetChild(0), second->GetChild(1)}), (std::vector<std::uint32_t>{5, 6, 9}));
    EXPECT_EQ(second->GetLogicalObject(5), second.get());
    EXPECT_EQ(second->GetLogicalObject(6), second->GetChild(0));
}

// A record read after its parent's tree was numbered (a later record of the stream naming a node
// already read as its parent) is numbered when it ends, so reading the tree once more, as one record,
// gives every node the same number.
TEST_F(TreeRootTest, NodesJoiningALoadedTreeFromLaterRecordsAreNumbered)
{
    for (const bool compressed : {true, false}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        TreeRoot root;
        Archive out;
        {
            std::unique_ptr<PropertyArchive> stream = compressed ? std::make_unique<CompressedPropertyArchive>(out)
                                                                 : std::make_unique<PropertyArchive>(out);
            stream->AddOIDMapEntry(root.GetOID(), root.GetOID());
            root.WriteProperties(*stream, root.GetOID());
            // Written after the root's record, without a number of its own.
            auto* const late = new Object(&root);
            new Object(late);
            late->SetLID(0);
            late->GetChild(0)->SetLID(0);
            stream->AddOIDMapEntry(late->GetOID(), late->GetOID());
            late->WriteProperties(*stream, late->GetOID());
        }
        Archive in(out.GetBuffer());
        std::unique_ptr<TreeRoot> loaded;
        {
            std::unique_ptr<PropertyArchive> stream = compressed ? std::make_unique<CompressedPropertyArchive>(in)
                                                                 : std::make_unique<PropertyArchive>(in);
            loaded.reset(DynCast<TreeRoot>(Catalog::ReadProperties(*stream)));
            ASSERT_NE(loaded, nullptr);
            ASSERT_NE(Catalog::ReadProperties(*stream), nullptr);
        }
        ASSERT_EQ(loaded->GetNumChildren(), 1);
        Object* const late = loaded->GetChild(0);
        ASSERT_EQ(late->GetNumChildren(), 1);
        EXPECT_EQ(LIDs({late, late->GetChild(0)}), (std::vector<std::uint32_t>{2, 3}));
        EXPECT_EQ(loaded->GetLogicalObject(2), late);
        EXPECT_EQ(loaded->GetLogicalObject(3), late->GetChild(0));
    }
}

// A subtree read before the root (its record written first, without a parent) joins through the
// root's children list before any record ends below the root: its nodes keep their numbers, entered
// as the pre-order pass enters them.
TEST_F(TreeRootTest, SubtreeJoiningBeforeAnyRecordEndsBelowTheRootKeepsItsNumbers)
{
    TreeRoot root;
    auto* const sub = new Object(nullptr);
    new Object(sub);
    sub->SetLID(10);
    sub->GetChild(0)->SetLID(11);
    Archive out;
    {
        CompressedPropertyArchive stream(out);
        stream.AddOIDMapEntry(sub->GetOID(), sub->GetOID());
        sub->WriteProperties(stream, sub->GetOID());
        sub->SetParent(&root);
        new Object(&root);
        stream.AddOIDMapEntry(root.GetOID(), root.GetOID());
        root.WriteProperties(stream, root.GetOID());
    }
    ASSERT_EQ(LIDs({sub, sub->GetChild(0), root.GetChild(1)}), (std::vector<std::uint32_t>{10, 11, 12}));
    Archive in(out.GetBuffer());
    CompressedPropertyArchive stream(in);
    Object* const first = DynCast<Object>(Catalog::ReadProperties(stream));
    ASSERT_NE(first, nullptr);
    const std::unique_ptr<TreeRoot> loaded(DynCast<TreeRoot>(Catalog::ReadProperties(stream)));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), 2);
    ASSERT_EQ(loaded->GetChild(0), first);
    ASSERT_EQ(first->GetNumChildren(), 1);
    EXPECT_EQ(LIDs({first, first->GetChild(0), loaded->GetChild(1)}), (std::vector<std::uint32_t>{10, 11, 12}));
    EXPECT_EQ(loaded->GetLogicalObject(10), first);
    EXPECT_EQ(loaded->GetLogicalObject(11), first->GetChild(0));
    EXPECT_EQ(loaded->GetLogicalObject(12), loaded->GetChild(1));
    EXPECT_EQ((new Object(loaded.get()))->GetLID(), 13u);
}

// A load's sweep for parentless nodes is skipped only when the tree held every object the load
// made: a node read inside the root's record that never joins it, or a node leaving the tree, keeps
// the sweep.
TEST_F(TreeRootTest, LoadedTreeHoldsEveryObjectMadeOnlyWhenNoneIsLeftOutside)
{
    TreeRoot root;
    auto* const group = new Object(&root);
    new Object(group);
    new Object(&root);
    std::uint32_t before = Base::GetLastOID();
    std::unique_ptr<TreeRoot> loaded = Reload(root);
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(loaded->HeldEveryObjectIn(before, Base::GetLastOID()));
    EXPECT_FALSE(loaded->HeldEveryObjectIn(before, Base::GetLastOID() + 1));
    EXPECT_FALSE(loaded->HeldEveryObjectIn(before + 1, Base::GetLastOID()));
    const std::unique_ptr<Object> left(loaded->GetChild(0)->GetChild(0));
    left->SetParent(nullptr);
    EXPECT_FALSE(loaded->HeldEveryObjectIn(before, Base::GetLastOID()));

    // A collection below the root lists a node outside the tree, with a child of its own.
    auto* const collection = new OrdCollection();
    collection->SetParent(&root);
    auto* const outside = new Object(nullptr);
    new Object(outside);
    collection->Add(outside);
    before = Base::GetLastOID();
    loaded = Reload(root);
    ASSERT_NE(loaded, nullptr);
    EXPECT_FALSE(loaded->HeldEveryObjectIn(before, Base::GetLastOID()));
    EXPECT_EQ(TreeNode::DeleteParentlessSince(before, Base::GetLastOID(), loaded.get()), 1u);
    delete outside;
}

TEST_F(TreeRootTest, InsertionAndRemovalOfADeepChainDoNotRecurse)
{
    TreeRoot root;
    auto* const bottom = new Object(nullptr);
    Object* top = bottom;
    for (int i = 0; i < 100000; ++i) {
        auto* const above = new Object(nullptr);
        top->SetParent(above);
        top = above;
    }
    top->SetParent(&root);
    EXPECT_EQ(bottom->GetLID(), 100002u);
    top->SetParent(nullptr);
    EXPECT_EQ(bottom->GetLID(), 0u);
    delete top;
}

TEST_F(TreeRootTest, BroadcastReachesRootListenersWhateverMasksAndSwitchSay)
{
    static std::vector<int> hints;
    hints.clear();
    MaskedRoot root;
    root.RegisterEvent(TreeRoot::classType, TreeRoot::EventChangeBroadcast,
                       [](Event& event) { hints.push_back(*static_cast<int*>(event.GetExtraData())); }, false, nullptr,
                       nullptr);
    root.ClearEventMask();
    Base::SetEventNotify(false);
    root.BroadcastChange(42);
    Base::SetEventNotify(true);
    root.BroadcastChange(7);
    EXPECT_EQ(hints, (std::vector<int>{42, 7}));
}

TEST_F(TreeRootTest, ApplicableObjectsFollowSelectionThenVisibility)
{
    TreeRoot root;
    auto* a = new Object(&root);
    auto* b = new Object(&root);
    auto* hidden = new Object(&root);
    hidden->SetInvisible(false);
    const FilterType any(0u, Filter::Exclude);  // rejects nothing

    OrdCollection visible;
    EXPECT_EQ(root.GetApplicableObjects(visible), 2);
    EXPECT_EQ(Entries(visible), (std::vector<Object*>{a, b}));

    hidden->Select(false);
    OrdCollection all, ofClass, filtered;
    EXPECT_EQ(root.GetApplicableObjects(all), 1);
    EXPECT_EQ(all.GetAt(0), hidden);
    EXPECT_EQ(root.GetApplicableObjects(ofClass, Object::classType), 0);
    EXPECT_EQ(root.GetApplicableObjects(filtered, any), 0);
    EXPECT_EQ(root.GetFirstOneOf(any), a);
    EXPECT_TRUE(root.CheckForObjects(any));
}

TEST_F(TreeRootTest, SelectionQueriesTellTopmostFromAll)
{
    TreeRoot root;
    auto* group = new NamedCollection(&root, "g");
    auto* a = new Object(&root);
    auto* a1 = new Object(a);
    auto* b = new Object(&root);
    EXPECT_FALSE(root.IsAnySelected());
    a->Select(true);
    EXPECT_TRUE(root.IsAnySelected());
    EXPECT_EQ(root.GetNumSelected(SetType::All), 2);
    EXPECT_EQ(root.GetNumSelected(SetType::TopMost), 1);
    EXPECT_EQ(root.GetNumSelected(NamedCollection::classType, SetType::All), 0);

    OrdCollection unselected;
    root.GetUnselectedSet(unselected, ClassTypeArray{Object::classType}, SetType::All);
    EXPECT_EQ(Entries(unselected), (std::vector<Object*>{group, b}));
    OrdCollection others;
    root.GetUnselectedSet(others, ClassTypeArray{NamedCollection::classType}, SetType::All);
    EXPECT_EQ(Entries(others), (std::vector<Object*>{group, a, a1, b}));

    OIDArray oids{99};
    root.GetSelectionSetOIDArray(oids);
    EXPECT_EQ(oids, (OIDArray{a->GetOID(), a1->GetOID()}));
    ClassNameArray names;
    root.GetSelectedClassNames(names);
    EXPECT_EQ(names, ClassNameArray{"XXObject"});
    ClassTypeArray classes;
    root.GetClasses(classes, true);
    EXPECT_EQ(classes, (ClassTypeArray{TreeRoot::classType, NamedCollection::classType, Object::classType}));
}

TEST_F(TreeRootTest, RootSelectAndShowReachEveryNodeButTheRoot)
{
    TreeRoot root;
    auto* a = new Object(&root);
    auto* a1 = new Object(a);
    a1->SetInvisible(false);
    root.Select(false);
    EXPECT_EQ(root.GetNumSelected(SetType::All), 2);
    EXPECT_FALSE(root.IsObjectSelected());
    root.SetVisible(false);
    EXPECT_EQ(root.GetNumVisible(SetType::All), 2);
    EXPECT_FALSE(root.IsVisible());
    EXPECT_EQ(root.GetNumVisible(SetType::TopMost), 1);  // a, below the hidden root
    a->SetInvisible(false);
    OIDArray oids;
    root.GetVisibleSetOIDArray(oids);
    EXPECT_EQ(oids, OIDArray{a1->GetOID()});
    EXPECT_EQ(root.GetNumVisible(SetType::TopMost), 1);
}

TEST_F(TreeRootTest, NamedCollectionsHoldTheSelectionAndAreFoundByExactLabel)
{
    TreeRoot root;
    auto* a = new Object(&root);
    new Object(&root);
    a->Select(false);
    NamedCollection* const group = root.CreateNamedCollection("Site");
    EXPECT_EQ(group->GetParent(), &root);
    EXPECT_TRUE(group->IsMember(a));
    EXPECT_EQ(group->GetSize(), 1);
    EXPECT_EQ(root.FindNamedCollection("Site"), group);
    EXPECT_EQ(root.FindNamedCollection("site"), nullptr);
}

// The group's record, first below the root, reaches the residue, whose record reaches its parents
// (each record naming its parent inline): the chain's record ends after the molecule's, while the
// residue's, below the chain, is still open and its number not yet read. Every node keeps its own.
TEST_F(TreeRootTest, NodesReadInsideTheRecordOfADeeperNodeKeepTheirNumbers)
{
    TreeRoot root;
    NamedCollection* const group = root.CreateNamedCollection("group");
    auto* const chain = new Object(new Object(&root));
    new Object(&root);  // numbered after the chain: the number a residue numbered early would take
    auto* const residue = new Object(chain);
    new Object(residue);
    group->Add(residue);
    const std::unique_ptr<TreeRoot> loaded = Reload(root);
    ASSERT_NE(loaded, nullptr);
    std::vector<Object*> before{&root};
    std::vector<Object*> after{loaded.get()};
    for (auto [from, to] = std::pair(DescendentIterator(&root, false), DescendentIterator(loaded.get(), false));;) {
        Object* const one = from.GetNext();
        Object* const other = to.GetNext();
        if (!one || !other) {
            EXPECT_EQ(one, other);
            break;
        }
        before.push_back(one);
        after.push_back(other);
    }
    EXPECT_EQ(LIDs(after), LIDs(before));
    // No number is held for a node that holds another.
    for (std::uint32_t lid = 1; lid <= after.size() + 1; ++lid) {
        if (const Object* const object = loaded->GetLogicalObject(lid)) {
            EXPECT_EQ(object->GetLID(), lid);
        }
    }
}

// A copied root does not hold its own number; once the counter has wrapped, new nodes pass it by.
TEST_F(TreeRootTest, ARootCopyAfterTheCounterWrappedGivesNoNodeItsOwnNumber)
{
    TreeRoot root;
    auto* const top = new Object(nullptr);
    top->SetLID(0xFFFFFFFFu);
    top->SetParent(&root);
    ASSERT_EQ(top->GetLID(), 0xFFFFFFFFu);
    const std::unique_ptr<TreeRoot> copy(DynCast<TreeRoot>(root.TreeCopy()));
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->GetLID(), 1u);
    EXPECT_EQ((new Object(copy.get()))->GetLID(), 2u);
    EXPECT_EQ((new Object(&root))->GetLID(), 2u);
}

// Numbers that only nodes deleted since had are handed out again; a wrapped counter stays.
TEST_F(TreeRootTest, RewindingTheCounterHandsOutTheNumbersOfNodesGone)
{
    TreeRoot root;
    auto* const kept = new Object(&root);
    auto* const gone = new Object(&root);
    new Object(gone);
    delete gone;
    root.RewindLidCounter();
    EXPECT_EQ((new Object(&root))->GetLID(), 3u);
    auto* const last = new Object(nullptr);
    last->SetLID(0xFFFFFFFFu);
    last->SetParent(&root);
    delete last;
    delete kept;
    root.RewindLidCounter();
    EXPECT_EQ((new Object(&root))->GetLID(), 2u);
}

TEST_F(TreeRootTest, EmptyDeletesTheChildrenButKeepsTheCounter)
{
    TreeRoot root;
    auto* a = new Object(&root);
    new Object(a);
    new Object(&root);
    root.Empty();
    EXPECT_EQ(root.GetNumChildren(), 0);
    EXPECT_EQ(root.GetLogicalObject(1), &root);
    EXPECT_EQ((new Object(&root))->GetLID(), 5u);
}

TEST_F(TreeRootTest, LogicalIdentifierSetResolvesAgainstTheRoot)
{
    struct Indices : Enumerator {
        Indices() : Enumerator(nullptr) {}
        bool Enumerate(Object*, int index) override { return seen.push_back(index), true; }
        std::vector<int> seen;
    };
    TreeRoot root;
    auto* a = new Object(&root);
    auto* b = new Object(&root);
    auto* c = new Object(&root);
    const DescendentIterator walk(&root, false);
    const LogicalIdentifierSet set(walk);
    EXPECT_TRUE(set.CheckMember(b->GetLID()));
    EXPECT_FALSE(set.CheckMember(root.GetLID()));
    delete b;
    Indices indices;
    EXPECT_TRUE(set.Enumerate(root, indices));
    EXPECT_EQ(indices.seen, (std::vector<int>{0, 2}));
    OrdCollection resolved;
    set.GetObjects(root, resolved);
    EXPECT_EQ(Entries(resolved), (std::vector<Object*>{a, c}));
}
