#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/platform/Archive.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

using Bytes = std::vector<std::uint8_t>;
using RecordStream::Save;

// A tree node that persists a label and an extra reference on top of the tree level.
class StreamTree : public TreeNode {
    TAVREL_DECLARE_CLASS(StreamTree, TreeNode)
public:
    static StreamTree* Make(std::string text, TreeNode* parent = nullptr)
    {
        StreamTree* node = ClassAccess::New<StreamTree>();
        node->label = std::move(text);
        if (parent)
            node->SetParent(parent);
        return node;
    }
    ~StreamTree() override { --live; }

    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        pass.Value<Storage::StorageString>("Tree Label", label);
        pass.Object("Tree Extra", extra);
        pass.Archived("Tree Note", note);
        if (pass.Is(PropertyArchive::MethodAfter))
            archive.FinishObject(this);
    }

    void FinishLoading(std::uint32_t schema) override
    {
        ++loadsFinished;
        finishSchema = schema;
        finishedLabels.push_back(label);
        if (victim)
            victim->reset();
        if (registerOn)
            registerOn->FinishObject(registered);
    }
    void FinishStoring(std::uint32_t schema) override
    {
        ++storesFinished;
        finishSchema = schema;
    }

    std::string label;
    Base* extra = nullptr;
    std::string note = "nested";
    int loadsFinished = 0;
    int storesFinished = 0;
    std::uint32_t finishSchema = 0;
    // Finishing deletes the victim and registers a node on the archive.
    std::unique_ptr<StreamTree>* victim = nullptr;
    PropertyArchive* registerOn = nullptr;
    StreamTree* registered = nullptr;
    static inline int live = 0;
    static inline std::vector<std::string> finishedLabels;

protected:
    StreamTree() { ++live; }
    StreamTree(const StreamTree& other) : TreeNode(other) { ++live; }
};
TAVREL_IMPLEMENT_CLASS(StreamTree, ClassKind::Creatable)

// Two more classes of the same records, so that a stream interleaves three class indices.
class StreamTreeB : public StreamTree {
    TAVREL_DECLARE_CLASS(StreamTreeB, StreamTree)
protected:
    StreamTreeB() = default;
    StreamTreeB(const StreamTreeB&) = default;
};
TAVREL_IMPLEMENT_CLASS(StreamTreeB, ClassKind::Creatable)

class StreamTreeC : public StreamTree {
    TAVREL_DECLARE_CLASS(StreamTreeC, StreamTree)
protected:
    StreamTreeC() = default;
    StreamTreeC(const StreamTreeC&) = default;
};
TAVREL_IMPLEMENT_CLASS(StreamTreeC, ClassKind::Creatable)

// A record of a class this build cannot create, holding nodes.
class StreamTreeGhost : public Base {
    TAVREL_DECLARE_CLASS(StreamTreeGhost, Base)
public:
    static StreamTreeGhost* Make() { return ClassAccess::New<StreamTreeGhost>(); }

    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        pass.Array<Storage::StorageObject>("Ghost Nodes", nodes);
    }

    std::vector<TreeNode*> nodes;

protected:
    StreamTreeGhost() = default;
    StreamTreeGhost(const StreamTreeGhost&) = default;
};
TAVREL_IMPLEMENT_CLASS(StreamTreeGhost, ClassKind::DynamicOnly)

class PropertyStreamTree : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<StreamTree>();
        ClassRegistry::Register<StreamTreeB>();
        ClassRegistry::Register<StreamTreeC>();
        ClassRegistry::Register<StreamTreeGhost>();
    }

    static StreamTree* Load(const Bytes& bytes) { return DynCast<StreamTree>(RecordStream::Load(bytes)); }
};

} // namespace

TEST_F(PropertyStreamTree, FinishingPassReachesEachLiveNodeOnceWhenTheArchiveCloses)
{
    // Each hook is handed the framework archive's object schema, which the nested archives of the
    // records' byte blocks leave in place.
    const std::unique_ptr<StreamTree> root(StreamTree::Make("root"));
    StreamTree* child = StreamTree::Make("child", root.get());
    StreamTree::Make("grandchild", child);
    Archive out;
    out.SetObjectSchema(9);
    {
        CompressedPropertyArchive stream(out);
        stream.AddOIDMapEntry(root->GetOID(), root->GetOID());
        root->WriteProperties(stream, root->GetOID());
    }
    const Bytes bytes = out.GetBuffer();
    EXPECT_EQ(root->storesFinished, 1);
    EXPECT_EQ(child->storesFinished, 1);
    EXPECT_EQ(root->finishSchema, 9u);
    EXPECT_EQ(root->loadsFinished, 0);

    Archive archive(bytes);
    archive.SetObjectSchema(13);
    std::unique_ptr<StreamTree> loaded;
    {
        CompressedPropertyArchive stream(archive);
        loaded.reset(DynCast<StreamTree>(Catalog::ReadProperties(stream)));
        ASSERT_NE(loaded, nullptr);
        ASSERT_EQ(loaded->GetNumChildren(), 1);
        EXPECT_EQ(loaded->loadsFinished, 0);
        stream.FinishObject(loaded.get());
        // A node deleted before the archive closes is left out.
        delete loaded->GetChild(0);
    }
    EXPECT_EQ(loaded->label, "root");
    EXPECT_EQ(loaded->note, "nested");
    EXPECT_EQ(loaded->loadsFinished, 1);
    EXPECT_EQ(loaded->finishSchema, 13u);
    EXPECT_EQ(loaded->storesFinished, 0);
}

TEST_F(PropertyStreamTree, FinishingPassOfManyNodesKeepsOrderAndSkipsNodesDeletedAtAnyPoint)
{
    const std::unique_ptr<StreamTree> root(StreamTree::Make("root"));
    StreamTree::Make("child", root.get());
    const Bytes bytes = Save(*root);

    StreamTree::finishedLabels.clear();
    std::unique_ptr<StreamTree> loaded;
    // More nodes than one block of the pass's list holds, with deletions between registrations.
    constexpr int registered = 5000;
    std::vector<std::unique_ptr<StreamTree>> nodes;
    std::vector<std::string> expected{"child", "root"};
    {
        Archive archive(bytes);
        CompressedPropertyArchive stream(archive);
        loaded.reset(DynCast<StreamTree>(Catalog::ReadProperties(stream)));
        ASSERT_NE(loaded, nullptr);
        EXPECT_TRUE(StreamTree::finishedLabels.empty());
        for (int i = 0; i < registered; ++i) {
            nodes.emplace_back(StreamTree::Make(std::to_string(i)));
            stream.FinishObject(nodes.back().get());
            if (i % 5 == 1)
                nodes[static_cast<std::size_t>(i - 1)].reset();
            if (i % 5 != 0)
                expected.push_back(std::to_string(i));
        }
        nodes.back().reset();
        expected.pop_back();
        // A node registers once.
        stream.FinishObject(loaded.get());
        stream.FinishObject(nodes[2].get());
    }
    EXPECT_EQ(StreamTree::finishedLabels, expected);
    EXPECT_EQ(loaded->loadsFinished, 1);
    EXPECT_EQ(nodes[2]->loadsFinished, 1);
}

TEST_F(PropertyStreamTree, FinishingPassSkipsNodesThatFinishingDeletesAndReachesNodesItRegisters)
{
    const std::unique_ptr<StreamTree> root(StreamTree::Make("root"));
    const Bytes bytes = Save(*root);

    StreamTree::finishedLabels.clear();
    std::unique_ptr<StreamTree> loaded;
    constexpr std::size_t registered = 40;
    std::vector<std::unique_ptr<StreamTree>> nodes;
    std::vector<std::unique_ptr<StreamTree>> late;
    for (std::size_t i = 0; i < registered; ++i)
        nodes.emplace_back(StreamTree::Make(std::to_string(i)));
    for (std::size_t i = 0; i < 3; ++i)
        late.emplace_back(StreamTree::Make("late " + std::to_string(i)));
    {
        Archive archive(bytes);
        CompressedPropertyArchive stream(archive);
        loaded.reset(DynCast<StreamTree>(Catalog::ReadProperties(stream)));
        ASSERT_NE(loaded, nullptr);
        for (const auto& node : nodes)
            stream.FinishObject(node.get());
        // Deletions of nodes just ahead, far ahead, and of the last one registered.
        nodes[2]->victim = &nodes[3];
        nodes[5]->victim = &nodes[11];
        nodes[12]->victim = &nodes[registered - 1];
        // A node registered during the pass, from near its end, which in turn registers another.
        nodes[registered - 3]->registerOn = &stream;
        nodes[registered - 3]->registered = late[0].get();
        late[0]->registerOn = &stream;
        late[0]->registered = late[1].get();
        // One registered again is not finished twice.
        nodes[20]->registerOn = &stream;
        nodes[20]->registered = nodes[4].get();
        late[1]->victim = &late[2];
    }
    std::vector<std::string> expected{"root"};
    for (std::size_t i = 0; i + 1 < registered; ++i) {
        if (i != 3 && i != 11)
            expected.push_back(std::to_string(i));
    }
    expected.push_back("late 0");
    expected.push_back("late 1");
    EXPECT_EQ(StreamTree::finishedLabels, expected);
    EXPECT_EQ(nodes[3], nullptr);
    EXPECT_EQ(nodes[registered - 1], nullptr);
    EXPECT_EQ(nodes[4]->loadsFinished, 1);
    EXPECT_EQ(late[1]->loadsFinished, 1);
    EXPECT_EQ(late[2], nullptr);
}

TEST_F(PropertyStreamTree, FinishingPassRunsEachNodeOnceWhateverTheOrderOfItsIdentifiers)
{
    const std::unique_ptr<StreamTree> root(StreamTree::Make("root"));
    const Bytes bytes = Save(*root);

    // Made before the nodes read, so their identifiers lie below every one the load gives.
    const std::unique_ptr<StreamTree> earlier(StreamTree::Make("earlier"));
    std::unique_ptr<StreamTree> loaded;
    std::unique_ptr<StreamTree> later;
    StreamTree::finishedLabels.clear();
    {
        Archive archive(bytes);
        CompressedPropertyArchive stream(archive);
        loaded.reset(DynCast<StreamTree>(Catalog::ReadProperties(stream)));
        ASSERT_NE(loaded, nullptr);
        stream.FinishObject(earlier.get());
        stream.FinishObject(loaded.get());
        later.reset(StreamTree::Make("later"));
        stream.FinishObject(later.get());
        stream.FinishObject(earlier.get());
        stream.FinishObject(later.get());
    }
    EXPECT_EQ(StreamTree::finishedLabels, (std::vector<std::string>{"root", "earlier", "later"}));
    EXPECT_EQ(earlier->loadsFinished, 1);
    EXPECT_EQ(later->loadsFinished, 1);
}

TEST_F(PropertyStreamTree, DroppedRecordDeletesItsParentlessNodesAndKeepsTheAdoptedOnes)
{
    const std::unique_ptr<StreamTree> root(StreamTree::Make("root"));
    const std::unique_ptr<StreamTreeGhost> ghost(StreamTreeGhost::Make());
    const std::unique_ptr<StreamTree> loose(StreamTree::Make("loose"));
    StreamTree::Make("loose child", loose.get());
    StreamTree* adopted = StreamTree::Make("adopted", root.get());
    ghost->nodes = {loose.get(), adopted};
    root->extra = ghost.get();

    const int live = StreamTree::live;
    const std::unique_ptr<StreamTree> loaded(Load(Save(*root)));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->extra, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), 1);
    EXPECT_EQ(static_cast<StreamTree*>(loaded->GetChild(0))->label, "adopted");
    EXPECT_EQ(StreamTree::live, live + 2);
}

TEST_F(PropertyStreamTree, RefusedRecordDeletesOnlyWhatItMadeAfterAnEarlierRecordOfTheSameStream)
{
    const std::unique_ptr<StreamTree> first(StreamTree::Make("first"));
    StreamTree::Make("first child", first.get());
    const std::unique_ptr<StreamTree> second(StreamTree::Make("second"));
    for (int i = 0; i < 3; ++i)
        StreamTree::Make("second child", second.get())->extra = first.get();
    Archive out;
    std::size_t firstEnd = 0;
    {
        CompressedPropertyArchive stream(out);
        for (StreamTree* root : {first.get(), second.get()}) {
            stream.AddOIDMapEntry(root->GetOID(), root->GetOID());
            root->WriteProperties(stream, root->GetOID());
            firstEnd = firstEnd == 0 ? out.GetBuffer().size() : firstEnd;
        }
    }
    const Bytes bytes = out.GetBuffer();

    const int live = StreamTree::live;
    for (std::size_t size = firstEnd; size < bytes.size(); ++size) {
        Archive archive(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)));
        std::unique_ptr<Base> loaded;
        std::unique_ptr<StreamTree> between;
        {
            CompressedPropertyArchive stream(archive);
            loaded.reset(Catalog::ReadProperties(stream));
            ASSERT_NE(DynCast<StreamTree>(loaded.get()), nullptr);
            // The second record's objects take the OIDs after the first's, or an object made
            // between them parts the two.
            if (size % 2 == 0)
                between.reset(StreamTree::Make("between"));
            EXPECT_THROW(Catalog::ReadProperties(stream), ArchiveException) << "at " << size << " bytes";
        }
        EXPECT_EQ(StreamTree::live, live + 2 + (between ? 1 : 0)) << "at " << size << " bytes";
        EXPECT_EQ(static_cast<StreamTree*>(loaded.get())->GetNumChildren(), 1);
    }
}

TEST_F(PropertyStreamTree, EveryTruncationOfATreeIsRefusedAndLeavesNothingBehind)
{
    const std::unique_ptr<StreamTree> root(StreamTree::Make("root"));
    for (int i = 0; i < 3; ++i) {
        StreamTree* child = StreamTree::Make("child", root.get());
        StreamTree* grandchild = StreamTree::Make("grandchild", child);
        grandchild->extra = root.get();
        child->extra = StreamTree::Make("extra", grandchild);
    }
    const Bytes bytes = Save(*root);

    const int live = StreamTree::live;
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_THROW(Load(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size))), ArchiveException);
        ASSERT_EQ(StreamTree::live, live) << "after a truncation to " << size << " bytes";
    }
    const std::unique_ptr<StreamTree> whole(Load(bytes));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->GetNumDescendents(), 9);
}

namespace {

// Writes a record that claims to be a plain tree node and lists whatever children it is given, so
// that loading meets entries a real node never writes.
class ForgedListBase : public Base {
    TAVREL_DECLARE_CLASS(ForgedListBase, Base)
protected:
    ForgedListBase() = default;
    ForgedListBase(const ForgedListBase&) = default;
};
TAVREL_IMPLEMENT_CLASS(ForgedListBase, ClassKind::DynamicOnly)

// A creatable object that is not a tree node.
class PlainRecord : public Base {
    TAVREL_DECLARE_CLASS(PlainRecord, Base)
public:
    static PlainRecord* Make() { return ClassAccess::New<PlainRecord>(); }

protected:
    PlainRecord() = default;
    PlainRecord(const PlainRecord&) = default;
};
TAVREL_IMPLEMENT_CLASS(PlainRecord, ClassKind::Creatable)

class ForgedList final : public ForgedListBase {
public:
    static ForgedList* Make() { return ClassAccess::New<ForgedList>(); }

    const char* GetClassHierarchyName() const override { return "TreeNode"; }
    void BuildClassHierarchy(ClassHierarchy& hierarchy) const override
    {
        hierarchy.AddClass("Base");
        hierarchy.AddClass("TreeNode");
    }
    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        pass.Object("Parent", parent);
        pass.Array<Storage::StorageObject>("Children", children);
    }

    Base* parent = nullptr;
    std::vector<Base*> children;
};

// A tree-node record that names two parents, as only a damaged file does.
class ForgedTwoParents final : public ForgedListBase {
public:
    static ForgedTwoParents* Make() { return ClassAccess::New<ForgedTwoParents>(); }

    const char* GetClassHierarchyName() const override { return "TreeNode"; }
    void BuildClassHierarchy(ClassHierarchy& hierarchy) const override
    {
        hierarchy.AddClass("Base");
        hierarchy.AddClass("TreeNode");
    }
    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        pass.Object("Parent", first);
        pass.Object("Parent", second);
    }

    Base* first = nullptr;
    Base* second = nullptr;
};

// Loads a record and deletes what it returned: true when nothing else the load made is left.
bool LoadLeavesNothingBehind(const Bytes& bytes, RecordStream::Form form)
{
    const std::uint32_t lastBefore = Base::GetLastOID();
    Base* const loaded = RecordStream::Load(bytes, form);
    std::vector<std::uint32_t> left;
    for (std::uint32_t oid = lastBefore + 1; oid <= Base::GetLastOID(); ++oid) {
        const Base* const object = Base::GetObjectA(oid);
        const auto* const node = DynCast<TreeNode>(object);
        if (object && object != loaded && !(node && node->HasAncestor(DynCast<TreeNode>(loaded))))
            left.push_back(oid);
    }
    delete loaded;
    TreeNode::DeleteParentlessSince(lastBefore, Base::GetLastOID());
    EXPECT_EQ(left, std::vector<std::uint32_t>()) << "made by the load and not reachable from what it returned";
    return left.empty();
}

} // namespace

// A node read for a tree link that it cannot take (a child that would hold its own parent, a second
// parent) is not kept by the link, so the load frees it instead of leaving it unreachable.
TEST_F(PropertyStreamTree, NodesReadForLinksThatCannotJoinAreFreed)
{
    // Two records list each other as children; the inner one is read inside the outer one.
    std::unique_ptr<ForgedList> outer(ForgedList::Make());
    std::unique_ptr<ForgedList> inner(ForgedList::Make());
    outer->children = {inner.get()};
    inner->children = {outer.get()};
    for (const RecordStream::Form form : {RecordStream::Form::Compressed, RecordStream::Form::Plain})
        EXPECT_TRUE(LoadLeavesNothingBehind(Save(*outer, form), form));

    // A node whose record names two parents joins the first; the second is freed.
    std::unique_ptr<ForgedTwoParents> twice(ForgedTwoParents::Make());
    std::unique_ptr<StreamTree> first(StreamTree::Make("first"));
    std::unique_ptr<StreamTree> second(StreamTree::Make("second"));
    twice->first = first.get();
    twice->second = second.get();
    const Bytes bytes = Save(*twice, RecordStream::Form::Plain);
    const int live = StreamTree::live;
    const std::uint32_t lastBefore = Base::GetLastOID();
    auto* const node = DynCast<TreeNode>(RecordStream::Load(bytes, RecordStream::Form::Plain));
    ASSERT_NE(node, nullptr);
    ASSERT_NE(node->GetParent(), nullptr);
    EXPECT_EQ(static_cast<StreamTree*>(node->GetParent())->label, "first");
    EXPECT_EQ(StreamTree::live, live + 1);
    TreeNode::DeleteParentlessSince(lastBefore, Base::GetLastOID());
}

TEST_F(PropertyStreamTree, TreeLevelRoundTripKeepsShapeStatesHintsAndLIDs)
{
    std::unique_ptr<StreamTree> root(StreamTree::Make("root"));
    StreamTree* a = StreamTree::Make("a", root.get());
    StreamTree* b = StreamTree::Make("b", root.get());
    StreamTree* c = StreamTree::Make("c", a);
    StreamTree::Make("d", a);
    a->ExpandNode(false);
    b->SetInvisible(false);
    b->Deactivate();
    c->Select(false);
    c->SetClipped(true);
    c->ClearHint(1);
    c->SetLID(77);

    std::unique_ptr<StreamTree> loaded(Load(Save(*root)));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), 2);
    auto* la = DynCast<StreamTree>(loaded->GetChild(0));
    auto* lb = DynCast<StreamTree>(loaded->GetChild(1));
    ASSERT_TRUE(la && lb);
    EXPECT_EQ(la->label, "a");
    EXPECT_EQ(lb->label, "b");
    EXPECT_EQ(la->GetParent(), loaded.get());
    ASSERT_EQ(la->GetNumChildren(), 2);
    auto* lc = DynCast<StreamTree>(la->GetChild(0));
    ASSERT_NE(lc, nullptr);
    EXPECT_EQ(lc->label, "c");
    EXPECT_EQ(DynCast<StreamTree>(la->GetChild(1))->label, "d");
    EXPECT_TRUE(la->IsExpanded());
    EXPECT_FALSE(loaded->IsExpanded());
    EXPECT_FALSE(lb->IsActive());
    EXPECT_FALSE(lb->IsSelected());
    EXPECT_TRUE(lc->IsSelected());
    EXPECT_TRUE(lc->IsClipped());
    EXPECT_FALSE(lc->CheckHint(1));
    EXPECT_TRUE(lc->CheckHint(2));
    EXPECT_EQ(lc->GetLID(), 77u);
    EXPECT_EQ(lc->GetInvariant(), "/0/0/");
}

// Records of three classes in every order of repeats, alternations and returns each come back as
// their own class.
TEST_F(PropertyStreamTree, InterleavedRecordClassesEachLoadAsTheirOwn)
{
    const std::string order = "AABABCACBBCCABCBAACCBA";
    std::unique_ptr<StreamTree> root(StreamTree::Make("root"));
    const auto make = [](char kind) -> StreamTree* {
        if (kind == 'B')
            return ClassAccess::New<StreamTreeB>();
        if (kind == 'C')
            return ClassAccess::New<StreamTreeC>();
        return StreamTree::Make("");
    };
    for (std::size_t i = 0; i < order.size(); ++i) {
        StreamTree* node = make(order[i]);
        node->label = order.substr(i, 1) + std::to_string(i);
        node->SetParent(root.get());
    }
    std::unique_ptr<StreamTree> loaded(Load(Save(*root)));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), static_cast<std::int32_t>(order.size()));
    for (std::size_t i = 0; i < order.size(); ++i) {
        auto* child = DynCast<StreamTree>(loaded->GetChild(static_cast<std::int32_t>(i)));
        ASSERT_NE(child, nullptr) << i;
        EXPECT_EQ(child->label, order.substr(i, 1) + std::to_string(i));
        EXPECT_EQ(DynCast<StreamTreeB>(child) != nullptr, order[i] == 'B') << i;
        EXPECT_EQ(DynCast<StreamTreeC>(child) != nullptr, order[i] == 'C') << i;
    }
}

TEST_F(PropertyStreamTree, LoadedChildListDropsNullForeignAndRepeatedEntries)
{
    const int live = StreamTree::live;
    std::unique_ptr<ForgedList> forged(ForgedList::Make());
    std::unique_ptr<StreamTree> child(StreamTree::Make("child"));
    ClassRegistry::Register<PlainRecord>();
    std::unique_ptr<PlainRecord> foreign(PlainRecord::Make());
    const std::uint32_t lastBefore = Base::GetLastOID();
    forged->children = {child.get(), nullptr, child.get(), foreign.get(), forged.get()};

    Archive archive;
    {
        CompressedPropertyArchive stream(archive);
        stream.AddOIDMapEntry(forged->GetOID(), forged->GetOID());
        forged->WriteProperties(stream, forged->GetOID());
    }
    Archive in(archive.GetBuffer());
    CompressedPropertyArchive stream(in);
    std::unique_ptr<Base> loaded(Catalog::ReadProperties(stream));
    auto* node = DynCast<TreeNode>(loaded.get());
    ASSERT_NE(node, nullptr);
    EXPECT_STREQ(node->GetClassNameA(), "XXTreeNode");
    ASSERT_EQ(node->GetNumChildren(), 1);
    EXPECT_EQ(DynCast<StreamTree>(node->GetChild(0))->label, "child");
    EXPECT_EQ(node->GetChild(0)->GetParent(), node);
    EXPECT_EQ(node->GetParent(), nullptr);
    loaded.reset();
    EXPECT_EQ(StreamTree::live, live + 1);
    // Nothing the load created outlives the loaded node: the foreign record was dropped.
    for (std::uint32_t oid = lastBefore + 1; oid <= Base::GetLastOID(); ++oid)
        EXPECT_EQ(Base::GetObjectA(oid), nullptr) << oid;
}

TEST_F(PropertyStreamTree, LoadedChildBelongsToTheListThatHoldsIt)
{
    // The child's record names one parent; the list of another node holds it: the list wins.
    std::unique_ptr<ForgedList> top(ForgedList::Make());
    std::unique_ptr<StreamTree> named(StreamTree::Make("named"));
    std::unique_ptr<StreamTree> child(StreamTree::Make("child", named.get()));
    std::unique_ptr<ForgedList> holder(ForgedList::Make());
    holder->children = {child.get()};
    top->children = {named.get(), holder.get()};

    Archive archive;
    {
        CompressedPropertyArchive stream(archive);
        stream.AddOIDMapEntry(top->GetOID(), top->GetOID());
        top->WriteProperties(stream, top->GetOID());
    }
    child.release();
    Archive in(archive.GetBuffer());
    CompressedPropertyArchive stream(in);
    std::unique_ptr<Base> loaded(Catalog::ReadProperties(stream));
    auto* node = DynCast<TreeNode>(loaded.get());
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(node->GetNumChildren(), 2);
    TreeNode* loadedNamed = node->GetChild(0);
    TreeNode* loadedHolder = node->GetChild(1);
    EXPECT_EQ(loadedNamed->GetNumChildren(), 0);
    ASSERT_EQ(loadedHolder->GetNumChildren(), 1);
    EXPECT_EQ(DynCast<StreamTree>(loadedHolder->GetChild(0))->label, "child");
    EXPECT_EQ(loadedHolder->GetChild(0)->GetParent(), loadedHolder);
}

TEST_F(PropertyStreamTree, ARecordWrittenWithoutItsOIDEnteredIsStoredOnce)
{
    // The children name the root as their parent: the root is written once, as the record itself.
    const std::unique_ptr<StreamTree> root(StreamTree::Make("root"));
    StreamTree::Make("first", root.get());
    StreamTree::Make("second", root.get());
    Archive out;
    {
        CompressedPropertyArchive stream(out);
        root->WriteProperties(stream, root->GetOID());
    }
    const Bytes bytes = out.GetBuffer();
    EXPECT_EQ(bytes, Save(*root));

    const int before = StreamTree::live;
    {
        const std::unique_ptr<StreamTree> loaded(Load(bytes));
        ASSERT_NE(loaded, nullptr);
        ASSERT_EQ(loaded->GetNumChildren(), 2);
        EXPECT_EQ(loaded->GetChild(0)->GetParent(), loaded.get());
        EXPECT_EQ(StreamTree::live, before + 3);
    }
    EXPECT_EQ(StreamTree::live, before);
}

TEST_F(PropertyStreamTree, ManyLoadedChildrenKeepTheirOrderAcrossBlocks)
{
    // Enough children for several blocks of the child array; every tenth holds a child of its own.
    std::unique_ptr<StreamTree> root(StreamTree::Make("root"));
    for (int i = 0; i < 700; ++i) {
        StreamTree* child = StreamTree::Make(std::to_string(i), root.get());
        if (i % 10 == 0)
            StreamTree::Make("below " + std::to_string(i), child);
    }

    std::unique_ptr<StreamTree> loaded(Load(Save(*root)));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), 700);
    for (int i = 0; i < 700; ++i) {
        auto* child = DynCast<StreamTree>(loaded->GetChild(i));
        ASSERT_NE(child, nullptr) << i;
        EXPECT_EQ(child->label, std::to_string(i));
        EXPECT_EQ(child->GetParent(), loaded.get());
        EXPECT_EQ(child->GetIndex(), i);
        ASSERT_EQ(child->GetNumChildren(), i % 10 == 0 ? 1 : 0) << i;
        if (i % 10 == 0) {
            EXPECT_EQ(DynCast<StreamTree>(child->GetChild(0))->label, "below " + std::to_string(i));
        }
    }
}
