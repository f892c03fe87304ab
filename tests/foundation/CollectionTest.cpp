#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <tavrel/foundation/CollectionIterator.h>
#include <tavrel/foundation/CopyEnumerator.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/FilterLabel.h>
#include <tavrel/foundation/FilterType.h>
#include <tavrel/foundation/InternalBase.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/RuntimeMap.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A parentless root with labelled children; the root owns them.
struct Tree {
    Tree()
    {
        AttachDataModelDLL();
        root = std::make_unique<Object>(nullptr);
    }
    Object* Child(const std::string& label, Object* parent = nullptr)
    {
        auto* child = new Object(parent ? parent : root.get());
        child->SetLabel(label);
        return child;
    }
    std::unique_ptr<Object> root;
};

std::vector<std::string> Labels(const BaseCollection& collection)
{
    std::vector<std::string> labels;
    for (POSITION position = collection.GetStartPosition(); position;) {
        const Object* object = collection.GetNext(position);
        labels.push_back(object ? object->GetLabel() : "-");
    }
    return labels;
}

// Counts the calls a driver makes.
class Recorder : public Enumerator {
public:
    Recorder() : Enumerator(nullptr) {}
    bool Initialize() override { return ++initialized, true; }
    bool Enumerate(Object* object, int) override { return seen.push_back(object), true; }
    void Finalize() override { ++finalized; }
    int initialized = 0;
    int finalized = 0;
    std::vector<Object*> seen;
};

using RecordStream::Load;
using RecordStream::Save;

Object* FindChild(Object& parent, const std::string& label)
{
    for (int i = 0; i < parent.GetNumChildren(); ++i) {
        if (parent.GetChild(i)->GetLabel() == label)
            return parent.GetChild(i);
    }
    return nullptr;
}

} // namespace

TEST(CollectionRegistry, ClassesAreRegisteredWithTheirNames)
{
    AttachDataModelDLL();
    EXPECT_EQ(RuntimeMap::CreateObject("BaseCollection"), nullptr);
    for (const char* name : {"OrdCollection", "SetCollection", "NamedCollection"}) {
        std::unique_ptr<PersistentObject> created(RuntimeMap::CreateObject(name));
        ASSERT_NE(created, nullptr) << name;
    }
    EXPECT_NE(BaseCollection::classType, 0u);
    EXPECT_EQ(Base::FindClassType("Group"), NamedCollection::classType);
    EXPECT_EQ(NamedCollection::classInstance->GetCommonName(), "Group");
    EXPECT_TRUE(NamedCollection::classInstance->IsA(BaseCollection::classType));
}

TEST(CollectionHashSize, RequestsRiseToTheNextListedSize)
{
    EXPECT_EQ(SetCollection::FindBestHashSize(0), 17);
    EXPECT_EQ(SetCollection::FindBestHashSize(18), 47);
    EXPECT_EQ(SetCollection::FindBestHashSize(25112), 25112);
}

TEST(CollectionBasics, OrderedKeepsDuplicatesAndSetsDoNot)
{
    Tree tree;
    Object* a = tree.Child("A");
    OrdCollection ordered;
    ordered.Add(a);
    ordered.Add(a);
    EXPECT_EQ(ordered.GetSize(), 2);
    SetCollection set;
    EXPECT_TRUE(set.Add(a));
    EXPECT_FALSE(set.Add(a));
    EXPECT_FALSE(set.Add(nullptr));
    EXPECT_EQ(set.GetSize(), 1);

    // Adding a collection passes each distinct object once.
    OrdCollection target;
    EXPECT_TRUE(target.Add(static_cast<const BaseCollection&>(ordered)));
    EXPECT_EQ(target.GetSize(), 1);
    EXPECT_FALSE(target.Add(static_cast<const BaseCollection&>(OrdCollection())));
}

TEST(CollectionBasics, OrderedIndicesAreChecked)
{
    Tree tree;
    Object* a = tree.Child("A");
    Object* b = tree.Child("B");
    OrdCollection ordered(2);
    EXPECT_EQ(ordered.GetSize(), 2);
    EXPECT_TRUE(ordered.SetAt(4, a));
    EXPECT_EQ(Labels(ordered), (std::vector<std::string>{"-", "-", "-", "-", "A"}));
    EXPECT_TRUE(ordered.InsertAt(0, b));
    EXPECT_TRUE(ordered.InsertAt(7, b));
    EXPECT_EQ(Labels(ordered), (std::vector<std::string>{"B", "-", "-", "-", "-", "A", "-", "B"}));
    EXPECT_EQ(ordered.GetAt(-1), nullptr);
    EXPECT_EQ(ordered.GetAt(ordered.GetSize()), nullptr);
    EXPECT_EQ(ordered[5], a);
    EXPECT_THROW(static_cast<void>(ordered[8]), std::out_of_range);
    EXPECT_FALSE(ordered.SetAt(-1, a));
    EXPECT_FALSE(ordered.InsertAt(-1, a));
    EXPECT_FALSE(ordered.RemoveAt(-1, 1));
    EXPECT_FALSE(ordered.RemoveAt(6, 3));
    EXPECT_FALSE(ordered.RemoveAt(0, -1));
    EXPECT_EQ(ordered.GetSize(), 8);
    EXPECT_TRUE(ordered.RemoveAt(1, 4));
    EXPECT_EQ(Labels(ordered), (std::vector<std::string>{"B", "A", "-", "B"}));
    ordered.SetSize(-1, -1);
    EXPECT_EQ(ordered.GetSize(), 4);
}

TEST(CollectionBasics, FilteringKeepsNullEntriesAndOrder)
{
    Tree tree;
    Object* a = tree.Child("A");
    Object* b = tree.Child("B");
    OrdCollection x;
    OrdCollection y;
    OrdCollection ordered;
    for (Object* object : std::vector<Object*>{a, &x, nullptr, b, &y, a})
        ordered.Add(object);
    OrdCollection removed(ordered);
    ordered.ApplyFilter(OrdCollection::classType, BaseCollection::KeepMatching);
    ASSERT_EQ(ordered.GetSize(), 3);
    EXPECT_EQ(ordered.GetAt(0), &x);
    EXPECT_EQ(ordered.GetAt(1), nullptr);
    EXPECT_EQ(ordered.GetAt(2), &y);
    removed.ApplyFilter(OrdCollection::classType, BaseCollection::RemoveMatching);
    EXPECT_EQ(Labels(removed), (std::vector<std::string>{"A", "-", "B", "A"}));
    EXPECT_EQ(removed.GetNumItems(Object::classType), 3);

    SetCollection set(removed);
    set.Add(&x);
    set.ApplyFilter(FilterLabel("A", Filter::Include), BaseCollection::RemoveMatching);
    EXPECT_EQ(set.GetSize(), 2);
    EXPECT_TRUE(set.IsMember(b));
    OrdCollection out;
    EXPECT_EQ(set.GetFilteredObjects(out, FilterType(OrdCollection::classType, Filter::Include)), 1);
    EXPECT_EQ(out.GetAt(0), &x);
}

TEST(CollectionBasics, WalksAndEnumerationFollowTheDriverProtocol)
{
    Tree tree;
    Object* a = tree.Child("A");
    Object* b = tree.Child("B");
    Recorder empty;
    EXPECT_TRUE(OrdCollection().Enumerate(empty));
    EXPECT_TRUE(SetCollection().Enumerate(empty));
    EXPECT_EQ(empty.initialized, 2);
    EXPECT_EQ(empty.finalized, 2);

    OrdCollection ordered;
    ordered.Add(nullptr);
    ordered.Add(b);
    ordered.Add(a);
    Recorder recorder;
    EXPECT_TRUE(ordered.Enumerate(recorder));
    EXPECT_EQ(recorder.seen, (std::vector<Object*>{nullptr, b, a}));

    CollectionIterator iterator(&ordered);
    EXPECT_EQ(iterator.PeekNext(), b);
    EXPECT_EQ(iterator.PeekNext(), b);
    EXPECT_EQ(iterator.GetNext(), b);
    const std::unique_ptr<Iterator> copy = iterator.Copy();
    EXPECT_EQ(iterator.GetNext(), a);
    EXPECT_EQ(iterator.GetNext(), nullptr);
    EXPECT_EQ(copy->GetNext(), a);
    iterator.Reset();
    EXPECT_EQ(iterator.GetNext(), b);
    CollectionIterator filtered(&ordered, FilterLabel("A", Filter::Include));
    EXPECT_EQ(filtered.GetNext(), a);
    EXPECT_EQ(filtered.GetNext(), nullptr);
    EXPECT_EQ(CollectionIterator(nullptr).GetNext(), nullptr);

    // The iterator given to a constructor is not advanced.
    SetCollection set(iterator, 47, 50);
    EXPECT_EQ(set.GetSize(), 1);
    EXPECT_EQ(iterator.GetNext(), a);
}

TEST(CollectionBasics, CopyEnumeratorRemembersWhatItPassedOn)
{
    Tree tree;
    Object* a = tree.Child("A");
    Object* b = tree.Child("B");
    OrdCollection first;
    first.Add(a);
    first.Add(a);
    OrdCollection second;
    second.Add(a);
    second.Add(b);
    OrdCollection out;
    CopyEnumerator copier(out, nullptr);
    first.Enumerate(copier);
    EXPECT_EQ(copier.GetCount(), 1);
    second.Enumerate(copier);
    EXPECT_EQ(copier.GetCount(), 2);
    EXPECT_EQ(Labels(out), (std::vector<std::string>{"A", "B"}));
}

TEST(CollectionBasics, CommonAncestorFoldsOverTheEntries)
{
    Tree tree;
    Object* a = tree.Child("A");
    Object* a1 = tree.Child("A1", a);
    Object* a2 = tree.Child("A2", a);
    Object* b = tree.Child("B");
    OrdCollection ordered;
    EXPECT_EQ(ordered.FindCommonAncestor(), nullptr);
    ordered.Add(a1);
    ordered.Add(nullptr);
    ordered.Add(a2);
    EXPECT_EQ(ordered.FindCommonAncestor(), a);
    SetCollection set(ordered);
    set.Add(b);
    EXPECT_EQ(set.FindCommonAncestor(), tree.root.get());
    Object stranger(nullptr);
    set.Add(&stranger);
    EXPECT_EQ(set.FindCommonAncestor(), nullptr);
}

TEST(CollectionAlgebra, OperatorsOnTwoSets)
{
    Tree tree;
    Object* a = tree.Child("A");
    Object* b = tree.Child("B");
    Object* c = tree.Child("C");
    SetCollection ab;
    ab.Add(a);
    ab.Add(b);
    SetCollection bc;
    bc.Add(b);
    bc.Add(c);
    const auto members = [](const SetCollection& set) {
        std::vector<std::string> labels = Labels(set);
        std::sort(labels.begin(), labels.end());
        return labels;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(members(ab & bc), Names{"B"});
    EXPECT_EQ(members(ab | bc), (Names{"A", "B", "C"}));
    EXPECT_EQ(members(ab ^ bc), (Names{"A", "C"}));
    EXPECT_EQ(members(ab - bc), Names{"A"});

    SetCollection onlyB;
    onlyB.Add(b);
    EXPECT_TRUE(ab.IsSubset(onlyB));
    EXPECT_FALSE(onlyB.IsSubset(ab));
    EXPECT_TRUE(onlyB.IsSubset(SetCollection()));
    SetCollection ba;
    ba.Add(b);
    ba.Add(a);
    EXPECT_TRUE(ab == ba);
    EXPECT_TRUE(ab != bc);

    SetCollection x(ab);
    x ^= bc;
    EXPECT_EQ(members(x), (Names{"A", "C"}));
    x |= onlyB;
    EXPECT_EQ(members(x), (Names{"A", "B", "C"}));
    x &= bc;
    EXPECT_EQ(members(x), (Names{"B", "C"}));
    x -= onlyB;
    EXPECT_EQ(members(x), Names{"C"});
    x ^= x;
    EXPECT_TRUE(x.IsEmpty());

    ab.SetValidate(true);
    EXPECT_TRUE((ab | bc).GetValidate());
    EXPECT_FALSE((ab & bc).GetValidate());
    EXPECT_FALSE((ab - bc).GetValidate());
}

TEST(CollectionAlgebra, ConversionsBetweenOrderedAndSets)
{
    Tree tree;
    Object* a = tree.Child("A");
    Object* b = tree.Child("B");
    OrdCollection ordered;
    for (Object* object : std::vector<Object*>{b, nullptr, a, b})
        ordered.Add(object);
    SetCollection set;
    set = ordered;
    EXPECT_EQ(Labels(set), (std::vector<std::string>{"B", "A"}));
    OrdCollection back(set);
    EXPECT_EQ(Labels(back), (std::vector<std::string>{"B", "A"}));
    back.SetLabel("kept");
    back = ordered;
    EXPECT_EQ(back.GetLabel(), "kept");
    EXPECT_TRUE(back == ordered);
    back.SetAt(1, a);
    EXPECT_TRUE(back != ordered);
    EXPECT_TRUE(back.Copy(set));
    EXPECT_EQ(set.GetSize(), 2);
    EXPECT_TRUE(set.Copy(back));
    EXPECT_EQ(back.GetSize(), 2);
}

TEST(CollectionDeletion, DeletedMembersAreNeverHandedOut)
{
    Tree tree;
    Object* a = tree.Child("A");
    Object* b = tree.Child("B");
    auto* group = new NamedCollection(tree.root.get(), "G");
    OrdCollection ordered;
    SetCollection plain;
    for (Object* object : {a, b, a}) {
        ordered.Add(object);
        group->Add(object);
        plain.Add(object);
    }
    delete a;
    EXPECT_EQ(group->GetSize(), 1);
    EXPECT_FALSE(group->IsMember(a));
    EXPECT_EQ(Labels(ordered), (std::vector<std::string>{"-", "B", "-"}));
    EXPECT_EQ(ordered.GetNumItems(Object::classType), 1);
    // A plain set keeps the entry, skips it, and drops it when stored.
    EXPECT_EQ(plain.GetSize(), 2);
    EXPECT_EQ(Labels(plain), std::vector<std::string>{"B"});
    EXPECT_FALSE(plain.IsMember(a));
    std::unique_ptr<Base> loaded(Load(Save(plain)));
    EXPECT_EQ(plain.GetSize(), 1);
    ASSERT_NE(DynCast<SetCollection>(loaded.get()), nullptr);
    EXPECT_EQ(DynCast<SetCollection>(loaded.get())->GetSize(), 1);
    // The member was written with the tree above it.
    delete DynCast<SetCollection>(loaded.get())->GetFirstItem()->GetRoot();

    // With the event switch off the registry still tells.
    Base::SetEventNotify(false);
    delete b;
    Base::SetEventNotify(true);
    EXPECT_EQ(ordered.GetAt(1), nullptr);
    EXPECT_TRUE(Labels(*group).empty());
    EXPECT_EQ(plain.GetStartPosition(), 0u);
}

namespace {

// Deletes a member of collections built while OID validation is off.
bool DeletionIsNoticedWithoutTheRegistry()
{
    AttachDataModelDLL();
    Base::EnableOIDValidation(false);
    Tree tree;
    Object* a = tree.Child("A");
    Object* b = tree.Child("B");
    OrdCollection ordered;
    SetCollection plain;
    NamedCollection group(nullptr, "G");
    for (Object* object : {a, b, a}) {
        ordered.Add(object);
        plain.Add(object);
        group.Add(object);
    }
    OrdCollection copy(ordered);
    delete a;
    return Labels(ordered) == std::vector<std::string>{"-", "B", "-"} && copy == ordered &&
           Labels(plain) == std::vector<std::string>{"B"} && plain.GetSize() == 2 && group.GetSize() == 1 &&
           !plain.IsMember(a);
}

} // namespace

// Switching OID validation off is one-way and process-wide, so it runs in a child process.
TEST(CollectionDeletion, BulkAddsMatchSingleAddsThroughRemovalsAndDeletions)
{
    Tree tree;
    std::vector<Object*> objects;
    for (int i = 0; i < 300; ++i)
        objects.push_back(tree.Child(std::to_string(i)));
    std::vector<Object*> batch;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        batch.push_back(objects[(i * 7) % objects.size()]);
        if (i % 10 == 0)
            batch.push_back(nullptr);
        if (i % 4 == 0)
            batch.push_back(objects[i / 2]);
    }
    SetCollection one;
    SetCollection many;
    one.SetValidate(true);
    many.SetValidate(true);
    for (Object* object : batch)
        one.Add(object);
    EXPECT_EQ(many.AddAll(batch), objects.size());
    EXPECT_EQ(many.GetMembers(), one.GetMembers());
    EXPECT_EQ(many.AddAll(batch), 0u);
    // Removals and deletions leave the index finding every remaining member, and adding back
    // appends in the new order.
    for (std::size_t i = 0; i < objects.size(); i += 3)
        EXPECT_TRUE(many.Remove(objects[i]));
    for (std::size_t i = 1; i < objects.size(); i += 3)
        delete objects[i];
    EXPECT_EQ(many.GetSize(), 100);
    for (std::size_t i = 2; i < objects.size(); i += 3)
        EXPECT_TRUE(many.IsMember(objects[i]));
    std::vector<Object*> back;
    for (std::size_t i = 0; i < objects.size(); i += 3)
        back.push_back(objects[i]);
    EXPECT_EQ(many.AddAll(back), back.size());
    EXPECT_EQ(many.GetSize(), 200);
    EXPECT_EQ(many.GetMembers().back(), objects[297]);
    many.RemoveAll();
    EXPECT_TRUE(many.IsEmpty());
    EXPECT_FALSE(many.IsMember(objects[2]));
    EXPECT_EQ(many.AddAll(back), back.size());
}

TEST(CollectionDeletion, IterationSurvivesManyMembersDeletedOnTheWay)
{
    // Members already visited are deleted as the walk goes on; the holes they leave must not shift
    // the positions still to come.
    Tree tree;
    std::vector<Object*> objects;
    for (int i = 0; i < 200; ++i)
        objects.push_back(tree.Child(std::to_string(i)));
    SetCollection set;
    set.SetValidate(true);
    for (Object* object : objects)
        set.Add(object);
    CollectionIterator walk(&set);
    int visited = 0;
    Object* previous = nullptr;
    while (Object* object = walk.GetNext()) {
        EXPECT_EQ(object, objects[static_cast<std::size_t>(visited)]);
        delete previous;
        previous = object;
        ++visited;
    }
    EXPECT_EQ(visited, 200);
    EXPECT_EQ(set.GetSize(), 1);
}

TEST(CollectionDeletionDeathTest, DeletionIsNoticedWithoutOIDValidation)
{
    EXPECT_EXIT(std::exit(DeletionIsNoticedWithoutTheRegistry() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST(CollectionGroup, SelectionAndVisibilityReachTheMembers)
{
    Tree tree;
    Object* a = tree.Child("A");
    Object* b = tree.Child("B");
    auto* group = new NamedCollection(tree.root.get(), "G");
    auto* inner = new NamedCollection(tree.root.get(), "H");
    group->Add(a);
    group->Add(inner);
    inner->Add(b);
    inner->Add(group);
    group->Select(false);
    EXPECT_TRUE(group->IsSelected());
    EXPECT_TRUE(a->IsSelected());
    EXPECT_TRUE(b->IsSelected());
    group->UnSelect(false);
    EXPECT_FALSE(b->IsSelected());
    inner->SetInvisible(true);
    EXPECT_FALSE(b->IsVisible());
    EXPECT_FALSE(a->IsVisible());
    inner->SetVisible(true);
    EXPECT_TRUE(a->IsVisible());
}

TEST(CollectionCopy, TreeCopyKeepsOnlyMembersInsideTheSubtree)
{
    Tree tree;
    Object* subtree = tree.Child("S");
    Object* outside = tree.Child("X");
    Object* a = tree.Child("A", subtree);
    Object* b = tree.Child("B", subtree);
    auto* group = new NamedCollection(subtree, "G");
    group->Add(a);
    group->Add(outside);
    auto* ordered = new OrdCollection;
    ordered->SetParent(subtree);
    for (Object* object : std::vector<Object*>{outside, a, nullptr, b, a})
        ordered->Add(object);

    const std::unique_ptr<Object> copy(subtree->TreeCopy());
    ASSERT_NE(copy, nullptr);
    Object* copyA = FindChild(*copy, "A");
    Object* copyB = FindChild(*copy, "B");
    auto* copyGroup = DynCast<NamedCollection>(FindChild(*copy, "G"));
    ASSERT_NE(copyGroup, nullptr);
    ASSERT_NE(copyA, a);
    EXPECT_EQ(copyGroup->GetMembers(), std::vector<Object*>{copyA});
    EXPECT_TRUE(copyGroup->GetValidate());
    auto* copyOrdered = DynCast<OrdCollection>(copy->GetChild(3));
    ASSERT_NE(copyOrdered, nullptr);
    EXPECT_EQ(Labels(*copyOrdered), (std::vector<std::string>{"A", "B", "A"}));
    EXPECT_EQ(copyOrdered->GetAt(1), copyB);
    // The originals are untouched.
    EXPECT_EQ(group->GetSize(), 2);
    EXPECT_EQ(ordered->GetSize(), 5);
}

TEST(CollectionPersistence, CollectionsSurviveTheCompressedPropertyStream)
{
    Tree tree;
    auto* group = new NamedCollection(tree.root.get(), "G");
    Object* a = tree.Child("A");
    Object* b = tree.Child("B");
    Object* c = tree.Child("C");
    group->Add(c);
    group->Add(a);
    auto* ordered = new OrdCollection;
    ordered->SetParent(tree.root.get());
    ordered->SetLabel("O");
    for (Object* object : std::vector<Object*>{c, nullptr, a, c, b})
        ordered->Add(object);
    Object* gone = tree.Child("gone");
    ordered->Add(gone);
    delete gone;

    const std::unique_ptr<Object> loaded(DynCast<Object>(Load(Save(*tree.root))));
    ASSERT_NE(loaded, nullptr);
    auto* loadedGroup = DynCast<NamedCollection>(FindChild(*loaded, "G"));
    auto* loadedOrdered = DynCast<OrdCollection>(FindChild(*loaded, "O"));
    ASSERT_NE(loadedGroup, nullptr);
    ASSERT_NE(loadedOrdered, nullptr);
    Object* loadedA = FindChild(*loaded, "A");
    Object* loadedC = FindChild(*loaded, "C");
    ASSERT_NE(loadedA, nullptr);
    EXPECT_EQ(loadedGroup->GetMembers(), (std::vector<Object*>{loadedC, loadedA}));
    EXPECT_TRUE(loadedGroup->GetValidate());
    // The ordered collection keeps every entry at its index: a null one and a deleted member's
    // read as null.
    EXPECT_EQ(Labels(*loadedOrdered), (std::vector<std::string>{"C", "-", "A", "C", "B", "-"}));
    EXPECT_EQ(loadedOrdered->GetAt(0), loadedC);

    // The loaded group listens to its members; the ordered collection's entry reads as null, and
    // forgetting the deleted members leaves a null in its place.
    delete loadedA;
    EXPECT_EQ(loadedGroup->GetMembers(), std::vector<Object*>{loadedC});
    EXPECT_EQ(loadedOrdered->GetAt(2), nullptr);
    loadedOrdered->DropDeleted();
    EXPECT_EQ(Labels(*loadedOrdered), (std::vector<std::string>{"C", "-", "-", "C", "B", "-"}));
    const std::unique_ptr<Object> again(DynCast<Object>(Load(Save(*loaded))));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Labels(*DynCast<OrdCollection>(FindChild(*again, "O"))),
              (std::vector<std::string>{"C", "-", "-", "C", "B", "-"}));
}

TEST(CollectionPersistence, LoadedChildrenTakeTheirListPositionsWhateverOrderTheirRecordsCame)
{
    // The tree in pre-order, each node's depth before its label.
    const auto shape = [](Object& top) {
        std::string text;
        std::vector<std::pair<Object*, int>> stack{{&top, 0}};
        while (!stack.empty()) {
            const auto [node, depth] = stack.back();
            stack.pop_back();
            if (node != &top)
                text += std::to_string(depth) + node->GetLabel() + " ";
            for (int i = node->GetNumChildren(); i-- > 0;)
                stack.emplace_back(node->GetChild(i), depth + 1);
        }
        return text;
    };
    const auto reload = [](Tree& tree) { return std::unique_ptr<Object>(DynCast<Object>(Load(Save(*tree.root)))); };

    // A collection saved before its member: the member's record, inline in the collection's, names
    // the parent before the list reaches the collection after it.
    {
        Tree tree;
        auto* first = new OrdCollection;
        first->SetParent(tree.root.get());
        first->SetLabel("first");
        auto* ord = new OrdCollection;
        ord->SetParent(tree.root.get());
        ord->SetLabel("ord");
        first->Add(tree.Child("m1"));
        const std::unique_ptr<Object> loaded = reload(tree);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(shape(*loaded), "1first 1ord 1m1 ");
        EXPECT_EQ(DynCast<OrdCollection>(loaded->GetChild(0))->GetAt(0), loaded->GetChild(2));
    }
    // A set holding only a grandchild: the grandchild's parent joins the root ahead of its siblings.
    {
        Tree tree;
        auto* set = new SetCollection;
        set->SetParent(tree.root.get());
        set->SetLabel("set");
        tree.Child("x");
        Object* p = tree.Child("p");
        tree.Child("p.0", p);
        set->Add(tree.Child("p.1", p));
        tree.Child("y");
        const std::unique_ptr<Object> loaded = reload(tree);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(shape(*loaded), "1set 1x 1p 2p.0 2p.1 1y ");
        EXPECT_EQ(loaded->GetChild(2)->GetChild(1)->GetInvariant(), "/2/1/");
    }
    // Many children that joined early, listed after many that join in list order.
    {
        Tree tree;
        auto* early = new OrdCollection;
        early->SetParent(tree.root.get());
        early->SetLabel("early");
        constexpr int count = 300;
        std::string expected = "1early ";
        for (int i = 0; i < count; ++i) {
            tree.Child("x" + std::to_string(i));
            expected += "1x" + std::to_string(i) + " ";
        }
        for (int i = 0; i < count; ++i) {
            early->Add(tree.Child("y" + std::to_string(i)));
            expected += "1y" + std::to_string(i) + " ";
        }
        const std::unique_ptr<Object> loaded = reload(tree);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(shape(*loaded), expected);
        EXPECT_EQ(loaded->GetChild(count + 1)->GetIndex(), count + 1);
    }
}

TEST(CollectionPersistence, CollectionsSurviveTheFrameworkArchive)
{
    Tree tree;
    Object* a = tree.Child("A");
    Object* b = tree.Child("B");
    OrdCollection ordered;
    SetCollection set;
    for (Object* object : std::vector<Object*>{a, nullptr, b, a}) {
        ordered.Add(object);
        set.Add(object);
    }
    Archive out;
    out.WriteObject(&ordered);
    out.WriteObject(&set);

    Archive in(out.GetBuffer());
    const std::unique_ptr<OrdCollection> loadedOrdered(static_cast<OrdCollection*>(in.ReadObject()));
    const std::unique_ptr<SetCollection> loadedSet(static_cast<SetCollection*>(in.ReadObject()));
    ASSERT_NE(loadedOrdered, nullptr);
    ASSERT_NE(loadedSet, nullptr);
    EXPECT_EQ(Labels(*loadedOrdered), (std::vector<std::string>{"A", "-", "B", "A"}));
    EXPECT_EQ(loadedOrdered->GetAt(0), loadedOrdered->GetAt(3));
    EXPECT_EQ(loadedSet->GetMembers(), (std::vector<Object*>{loadedOrdered->GetAt(0), loadedOrdered->GetAt(2)}));
    const std::unique_ptr<Object> loadedA(loadedOrdered->GetAt(0));
    const std::unique_ptr<Object> loadedB(loadedOrdered->GetAt(2));
    EXPECT_EQ(loadedA->GetLabel(), "A");

    // A count larger than the input is refused before anything is allocated for it.
    const OrdCollection none;
    Archive empty;
    empty.WriteObject(&none);
    Bytes bytes = empty.GetBuffer();
    bytes.resize(bytes.size() - 2);
    bytes.insert(bytes.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F});
    Archive malformed(bytes);
    EXPECT_THROW(static_cast<void>(malformed.ReadObject()), ArchiveException);
}

// A refused record whose own member list referred back to it (a group holding its parent) leaves no
// object behind, whatever the point where the input ends.
TEST(CollectionPersistence, RefusedRecordReferredToByItsOwnGroupIsFreed)
{
    TreeRoot root;
    auto* const model = new Object(&root);
    model->SetLabel("model");
    (new NamedCollection(model, "itself"))->Add(model);
    Archive out;
    out.WriteObject(model);
    const Bytes& bytes = out.GetBuffer();
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        const std::size_t live = CountLiveObjectsForTests();
        Archive in(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
        EXPECT_THROW(static_cast<void>(in.ReadObject()), ArchiveException);
        EXPECT_EQ(CountLiveObjectsForTests(), live) << "cut at " << length;
    }
}
