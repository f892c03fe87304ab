#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/foundation/CompressionInteger.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/Storage.h>
#include <tavrel/platform/Archive.h>
#include "support/RecordStream.h"
#include "support/StreamValues.h"
#include "support/Sweep.h"

using namespace Tavrel;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A record with a label, a link and a list of items; nothing is owned.
class StreamNode : public Base {
    TAVREL_DECLARE_CLASS(StreamNode, Base)
public:
    static StreamNode* Make(std::string text = {})
    {
        StreamNode* node = ClassAccess::New<StreamNode>();
        node->label = std::move(text);
        return node;
    }
    ~StreamNode() override { --live; }

    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        if (archive.GetMethodType() == PropertyArchive::MethodRead)
            ++readPasses;
        PropertyPass pass(archive, *this);
        pass.Value<Storage::StorageString>("Label", label);
        pass.Object("Next", next);
        pass.Array<Storage::StorageObject>("Items", items);
        if (pass.Is(PropertyArchive::MethodBefore))
            ++beforePasses;
        if (pass.Is(PropertyArchive::MethodAfter))
            ++afterPasses;
    }

    std::string label;
    StreamNode* next = nullptr;
    std::vector<StreamNode*> items;
    int beforePasses = 0;
    int afterPasses = 0;
    int readPasses = 0;
    static inline int live = 0;

protected:
    StreamNode() { ++live; }
    StreamNode(const StreamNode& other) : Base(other) { ++live; }
};
TAVREL_IMPLEMENT_CLASS(StreamNode, ClassKind::Creatable)

// A derived level with a value of its own.
class StreamTagged : public StreamNode {
    TAVREL_DECLARE_CLASS(StreamTagged, StreamNode)
public:
    static StreamTagged* Make() { return ClassAccess::New<StreamTagged>(); }

    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        pass.Value<Storage::StorageLong>("Tagged Value", tag);
    }

    std::int32_t tag = 0;

protected:
    StreamTagged() = default;
    StreamTagged(const StreamTagged&) = default;
};
TAVREL_IMPLEMENT_CLASS(StreamTagged, ClassKind::Creatable)

// A class this build cannot create, derived from one it can: its records load as StreamNode. Its own
// level writes a link, and a label under another letter case.
class StreamPhantom : public StreamNode {
    TAVREL_DECLARE_CLASS(StreamPhantom, StreamNode)
public:
    static StreamPhantom* Make() { return ClassAccess::New<StreamPhantom>(); }

    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        pass.Value<Storage::StorageString>("Phantom Label", shadow);
        pass.Object("Phantom Link", link);
    }

    std::string shadow;
    StreamNode* link = nullptr;

protected:
    StreamPhantom() = default;
    StreamPhantom(const StreamPhantom&) = default;
};
TAVREL_IMPLEMENT_CLASS(StreamPhantom, ClassKind::DynamicOnly)

// A class none of whose names this build can create: its records are read and dropped.
class StreamGhost : public Base {
    TAVREL_DECLARE_CLASS(StreamGhost, Base)
public:
    static StreamGhost* Make() { return ClassAccess::New<StreamGhost>(); }

    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        pass.Object("Ghost Link", link);
        pass.Array<Storage::StorageObject>("Ghost Items", items);
    }

    StreamNode* link = nullptr;
    std::vector<StreamNode*> items;

protected:
    StreamGhost() = default;
    StreamGhost(const StreamGhost&) = default;
};
TAVREL_IMPLEMENT_CLASS(StreamGhost, ClassKind::DynamicOnly)

// Writes a record that claims to be a plain Object, with the values of its levels stored under other
// codes than the levels use, as other writers may store them.
class ForgedObjectBase : public Base {
    TAVREL_DECLARE_CLASS(ForgedObjectBase, Base)
protected:
    ForgedObjectBase() = default;
    ForgedObjectBase(const ForgedObjectBase&) = default;
};
TAVREL_IMPLEMENT_CLASS(ForgedObjectBase, ClassKind::DynamicOnly)

class ForgedObject final : public ForgedObjectBase {
public:
    static ForgedObject* Make() { return ClassAccess::New<ForgedObject>(); }

    const char* GetClassHierarchyName() const override { return "Object"; }
    void BuildClassHierarchy(ClassHierarchy& hierarchy) const override
    {
        hierarchy.AddClass("Base");
        hierarchy.AddClass("TreeNode");
        hierarchy.AddClass("Object");
    }
    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        if (idAsLong)
            pass.Value<Storage::StorageLong>("LocalID", id);
        else
            pass.Value<Storage::StorageInt>("LocalID", id);
        pass.Value<Storage::StorageInt>("Label", one);                 // no text: skipped
        pass.Value<Storage::StorageInt>("Hints", wide);                // 300 fits no byte: skipped
        pass.Value<Storage::StorageDouble>("Inactive", real);          // toward zero: 2
        pass.Value<Storage::StorageUnsignedLong>("Clip", one);         // non-zero: true
        pass.Value<Storage::StorageFloat>("DisplayStyle", notANumber); // skipped
        pass.Value<Storage::StorageBool>("Parent", flag);              // no reference: skipped
        pass.Array<Storage::StorageInt>("Children", ints);             // no references: skipped
        pass.Value<Storage::StorageChar>("Selected", one);             // read after the skipped ones
    }

    bool idAsLong = false;
    std::int32_t id = 0;
    std::int32_t one = 1;
    std::int32_t wide = 300;
    double real = 2.75;
    float notANumber = std::numeric_limits<float>::quiet_NaN();
    bool flag = true;
    std::vector<std::int32_t> ints{4, 5};
};

// A host's class derived from Object without a run-time class of its own, whose records name only
// itself: a reader that does not know it skips them.
class HostOnlyObject final : public Object {
public:
    explicit HostOnlyObject(Object* parent) : Object(parent) {}

    const char* GetClassHierarchyName() const override { return "HostOnlyObject"; }
    void BuildClassHierarchy(ClassHierarchy& hierarchy) const override { hierarchy.AddClass("HostOnlyObject"); }
};

using RecordStream::Form;
using RecordStream::Load;
using RecordStream::Open;
using RecordStream::Save;

using Tavrel::test::Sweep;

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Text(std::string_view text)
{
    Bytes bytes{static_cast<std::uint8_t>(text.size())};
    for (const char c : text)
        bytes.push_back(static_cast<std::uint8_t>(c));
    return bytes;
}

Bytes Int32(std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u >> 16),
            static_cast<std::uint8_t>(u >> 24)};
}

Bytes Compact(std::uint32_t value)
{
    Archive archive;
    CompressionInteger::Write(value, archive);
    return archive.GetBuffer();
}

// The plain hierarchy of StreamNode.
Bytes NodeHierarchy()
{
    return Cat({Int32(2), Text("StreamNode"), Text("Base")});
}

void ExpectRefused(const Bytes& bytes, Form form, std::string_view mentioning = {})
{
    const int live = StreamNode::live;
    try {
        Base* object = Load(bytes, form);
        delete object;
        ADD_FAILURE() << "malformed input was accepted";
    } catch (const ArchiveException& error) {
        if (!mentioning.empty()) {
            EXPECT_NE(std::string(error.what()).find(mentioning), std::string::npos) << error.what();
        }
    }
    EXPECT_EQ(StreamNode::live, live) << "objects of a refused load survived";
}

void RegisterStreamClasses()
{
    AttachDataModelDLL();
    ClassRegistry::Register<StreamNode>();
    ClassRegistry::Register<StreamTagged>();
    ClassRegistry::Register<StreamPhantom>();
    ClassRegistry::Register<StreamGhost>();
    ClassRegistry::Register<StreamValues>();
}

class PropertyStreamTest : public ::testing::TestWithParam<Form> {
protected:
    static void SetUpTestSuite() { RegisterStreamClasses(); }
};

class PropertyStreamLayout : public PropertyStreamTest {};
class PropertyStreamMalformed : public PropertyStreamTest {};

class PropertyStreamInput : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterStreamClasses(); }
};

} // namespace

TEST_P(PropertyStreamTest, EveryStorageTypeComesBack)
{
    Sweep sweep;
    StreamValues* values = StreamValues::Make();
    StreamNode* node = StreamNode::Make("n");
    values->c = -5;
    values->uc = 250;
    values->s = -30000;
    values->us = 60000;
    values->i = -1;
    values->ui = 300;
    values->l = std::numeric_limits<std::int32_t>::min();
    values->ul = 0xDEADBEEFu;
    values->f = 1.5f;
    values->d = -2.25;
    values->b = true;
    values->text = std::string(300, 'x');
    values->point = Point3d(1.0, 2.0, 3.25);
    values->mode = StreamValues::Mode::On;
    values->object = node;
    values->first = node;
    values->ints = {0, 254, 255, -7};
    values->texts = {"", "a"};
    values->points = {Point3d(1.0, 0.0, 0.0), Point3d(0.0, 0.0, -1.0)};
    values->objects = {node, nullptr, values};

    auto* loaded = DynCast<StreamValues>(Load(Save(*values, GetParam()), GetParam()));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->c, -5);
    EXPECT_EQ(loaded->uc, 250);
    EXPECT_EQ(loaded->s, -30000);
    EXPECT_EQ(loaded->us, 60000);
    EXPECT_EQ(loaded->i, -1);
    EXPECT_EQ(loaded->ui, 300u);
    EXPECT_EQ(loaded->l, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(loaded->ul, 0xDEADBEEFu);
    EXPECT_EQ(loaded->f, 1.5f);
    EXPECT_EQ(loaded->d, -2.25);
    EXPECT_TRUE(loaded->b);
    EXPECT_EQ(loaded->text, values->text);
    EXPECT_EQ(loaded->point, values->point);
    EXPECT_EQ(loaded->mode, StreamValues::Mode::On);
    EXPECT_EQ(loaded->ints, values->ints);
    EXPECT_EQ(loaded->texts, values->texts);
    EXPECT_EQ(loaded->points, values->points);
    EXPECT_TRUE(loaded->floats.empty());

    auto* loadedNode = DynCast<StreamNode>(loaded->object);
    ASSERT_NE(loadedNode, nullptr);
    EXPECT_NE(loadedNode, node);
    EXPECT_EQ(loadedNode->label, "n");
    EXPECT_EQ(loaded->first, loadedNode);
    EXPECT_EQ(loaded->second, nullptr);
    ASSERT_EQ(loaded->objects.size(), 3u);
    EXPECT_EQ(loaded->objects[0], loadedNode);
    EXPECT_EQ(loaded->objects[1], nullptr);
    EXPECT_EQ(loaded->objects[2], loaded);
}

TEST_P(PropertyStreamTest, StoredOIDsMapToTheNewObjects)
{
    Sweep sweep;
    StreamNode* a = StreamNode::Make("a");
    StreamNode* b = StreamNode::Make("b");
    StreamNode* c = StreamNode::Make("c");
    a->next = b;
    b->next = a;
    a->items = {b, c, b};
    c->next = c;
    const Bytes bytes = Save(*a, GetParam());

    const int live = StreamNode::live;
    auto* la = DynCast<StreamNode>(Load(bytes, GetParam()));
    ASSERT_NE(la, nullptr);
    EXPECT_EQ(StreamNode::live, live + 3);
    StreamNode* lb = la->next;
    ASSERT_NE(lb, nullptr);
    EXPECT_NE(lb, b);
    EXPECT_EQ(lb->label, "b");
    EXPECT_EQ(lb->next, la);
    ASSERT_EQ(la->items.size(), 3u);
    EXPECT_EQ(la->items[0], lb);
    EXPECT_EQ(la->items[2], lb);
    StreamNode* lc = la->items[1];
    ASSERT_NE(lc, nullptr);
    EXPECT_EQ(lc->label, "c");
    EXPECT_EQ(lc->next, lc);
    for (const StreamNode* node : {la, lb, lc}) {
        EXPECT_EQ(node->beforePasses, 1);
        EXPECT_EQ(node->afterPasses, 1);
    }
}

TEST_P(PropertyStreamTest, UnknownClassLoadsAsItsKnownBaseAndDropsWhatNoLevelClaims)
{
    Sweep sweep;
    StreamPhantom* phantom = StreamPhantom::Make();
    phantom->label = "right";
    phantom->shadow = "wrong";
    phantom->next = StreamNode::Make("kept");
    phantom->link = StreamNode::Make("unclaimed");

    const int live = StreamNode::live;
    Base* loaded = Load(Save(*phantom, GetParam()), GetParam());
    ASSERT_NE(loaded, nullptr);
    EXPECT_FALSE(IsA<StreamPhantom>(loaded));
    auto* node = DynCast<StreamNode>(loaded);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->label, "right");
    ASSERT_NE(node->next, nullptr);
    EXPECT_EQ(node->next->label, "kept");
    // The values of "Phantom Label" and "Phantom Link", which no level of StreamNode claims, are dropped;
    // the object read for the link is gone again.
    EXPECT_EQ(StreamNode::live, live + 2);
}

// Each record names its object's own classes, whatever records of its base's run-time class the
// stream held before it.
TEST_P(PropertyStreamTest, HostSubclassRecordNamesItsOwnClassAfterRecordsOfItsBase)
{
    for (const bool baseFirst : {false, true}) {
        const std::unique_ptr<Object> root = std::make_unique<Object>(nullptr);
        if (baseFirst)
            (new Object(root.get()))->SetLabel("plain");
        (new HostOnlyObject(root.get()))->SetLabel("host");
        const std::unique_ptr<Object> loaded(DynCast<Object>(Load(Save(*root, GetParam()), GetParam())));
        ASSERT_NE(loaded, nullptr);
        ASSERT_EQ(loaded->GetNumChildren(), baseFirst ? 1 : 0) << baseFirst;
        if (baseFirst) {
            EXPECT_EQ(DynCast<Object>(loaded->GetChild(0))->GetLabel(), "plain");
        }
    }
}

TEST_P(PropertyStreamTest, StoredNamesInOtherLetterCaseAreDropped)
{
    Sweep sweep;
    StreamNode* node = StreamNode::Make("hello");
    Bytes bytes = Save(*node, GetParam());
    const std::string stored = "Label";
    auto at = std::search(bytes.begin(), bytes.end(), stored.begin(), stored.end());
    ASSERT_NE(at, bytes.end());
    *at = 'l';
    auto* loaded = DynCast<StreamNode>(Load(bytes, GetParam()));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->label, "");
}

TEST_P(PropertyStreamTest, RecordOfUnknownClassesIsReadAndDroppedWithWhatItHolds)
{
    Sweep sweep;
    StreamValues* root = StreamValues::Make();
    StreamGhost* ghost = StreamGhost::Make();
    StreamNode* held = StreamNode::Make("held");
    StreamNode* after = StreamNode::Make("after");
    ghost->link = held;
    ghost->items = {StreamNode::Make("item"), held};
    after->next = held;
    root->objects = {ghost, after};
    root->i = 42;

    const int live = StreamNode::live;
    auto* loaded = DynCast<StreamValues>(Load(Save(*root, GetParam()), GetParam()));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->i, 42);
    ASSERT_EQ(loaded->objects.size(), 2u);
    EXPECT_EQ(loaded->objects[0], nullptr);
    auto* loadedAfter = DynCast<StreamNode>(loaded->objects[1]);
    ASSERT_NE(loadedAfter, nullptr);
    EXPECT_EQ(loadedAfter->label, "after");
    // The dropped record's objects are deleted; a later reference to one of them reads as null.
    EXPECT_EQ(loadedAfter->next, nullptr);
    EXPECT_EQ(StreamNode::live, live + 1);

    // A dropped record at the top yields null and keeps nothing.
    EXPECT_EQ(Load(Save(*ghost, GetParam()), GetParam()), nullptr);
    EXPECT_EQ(StreamNode::live, live + 1);
}

TEST_P(PropertyStreamTest, DeepChainsOfInlineRecordsNeedNoDeepRecursion)
{
    Sweep sweep;
    constexpr int length = 20000;
    StreamNode* head = StreamNode::Make("0");
    StreamNode* tail = head;
    for (int i = 1; i < length; ++i) {
        tail->next = StreamNode::Make(std::to_string(i));
        tail = tail->next;
    }
    tail->next = head;

    auto* loaded = DynCast<StreamNode>(Load(Save(*head, GetParam()), GetParam()));
    ASSERT_NE(loaded, nullptr);
    const StreamNode* node = loaded;
    for (int i = 1; i < length; ++i) {
        node = node->next;
        ASSERT_NE(node, nullptr);
        ASSERT_EQ(node->label, std::to_string(i));
    }
    EXPECT_EQ(node->next, loaded);
}

TEST_P(PropertyStreamTest, LevelsReadTheirOwnNamesWithoutTheBase)
{
    Sweep sweep;
    StreamTagged* tagged = StreamTagged::Make();
    tagged->label = "t";
    tagged->tag = -9;
    tagged->items = {tagged};
    auto* loaded = DynCast<StreamTagged>(Load(Save(*tagged, GetParam()), GetParam()));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->label, "t");
    EXPECT_EQ(loaded->tag, -9);
    // Three names of the base level reach it; "Tagged Value" ends at the level that owns it.
    EXPECT_EQ(loaded->readPasses, 3);
}

TEST_P(PropertyStreamTest, ValuesStoredUnderOtherCodesConvertOrAreSkippedWithoutStoppingTheLoad)
{
    Sweep sweep;
    const std::unique_ptr<Object> fresh(ClassAccess::New<Object>());
    // "LocalID" is an unsigned compressed integer at its level; older writers stored it as 7 or 9.
    for (const bool idAsLong : {false, true}) {
        const std::unique_ptr<ForgedObject> forged(ForgedObject::Make());
        forged->idAsLong = idAsLong;
        forged->id = idAsLong ? 42 : -5;
        const std::unique_ptr<Base> loaded(Load(Save(*forged, GetParam()), GetParam()));
        auto* const object = DynCast<Object>(loaded.get());
        ASSERT_NE(object, nullptr);
        EXPECT_STREQ(object->GetClassNameA(), "XXObject");
        EXPECT_EQ(object->GetID(), idAsLong ? 42 : -5);
        EXPECT_EQ(object->GetLabel(), "");
        EXPECT_TRUE(object->HasHint(0x80));
        EXPECT_FALSE(object->IsObjectActive());
        object->Activate();
        EXPECT_FALSE(object->IsObjectActive());
        EXPECT_TRUE(object->IsClipped());
        EXPECT_EQ(object->GetDisplayStyle(), fresh->GetDisplayStyle());
        EXPECT_EQ(object->GetParent(), nullptr);
        EXPECT_EQ(object->GetNumChildren(), 0);
        EXPECT_TRUE(object->IsObjectSelected());
    }

    // Integers of one width keep their bits; other values must fit the code read.
    std::int32_t asInt = 0;
    EXPECT_TRUE(Storage::ConvertSimple(SimpleStorage<std::uint32_t>(0xFFFFFFFFu, Storage::StorageUnsignedLong), asInt));
    EXPECT_EQ(asInt, -1);
    std::uint8_t asByte = 7;
    EXPECT_FALSE(Storage::ConvertSimple(SimpleStorage<std::int32_t>(-1, Storage::StorageInt), asByte));
    EXPECT_TRUE(Storage::ConvertSimple(SimpleStorage<bool>(true, Storage::StorageBool), asByte));
    EXPECT_EQ(asByte, 1);
    float asFloat = 0.0f;
    EXPECT_FALSE(Storage::ConvertSimple(SimpleStorage<double>(1e40, Storage::StorageDouble), asFloat));
    std::int16_t asShort = 0;
    EXPECT_TRUE(Storage::ConvertSimple(SimpleStorage<double>(-2.5, Storage::StorageDouble), asShort));
    EXPECT_EQ(asShort, -2);
    const SimpleStorage<float> nan(std::numeric_limits<float>::quiet_NaN(), Storage::StorageFloat);
    bool asBool = false;
    EXPECT_FALSE(Storage::ConvertSimple(nan, asBool));
    EXPECT_FALSE(Storage::ConvertSimple(nan, asInt));
    EXPECT_FALSE(Storage::ConvertSimple(PropertyStorageString("1"), asInt));
    EXPECT_EQ(asInt, -1);
}

TEST_P(PropertyStreamTest, ReadingFromAStoringArchiveGivesNull)
{
    Archive archive;
    const std::unique_ptr<PropertyArchive> stream = Open(archive, GetParam());
    EXPECT_EQ(Catalog::ReadProperties(*stream), nullptr);
    EXPECT_EQ(Storage::GetStorageObject("StreamNode", "Label", *stream), nullptr);
    EXPECT_TRUE(archive.GetBuffer().empty());
}

TEST_P(PropertyStreamMalformed, EveryTruncationIsRefusedAndLeavesNothingBehind)
{
    Sweep sweep;
    StreamValues* root = StreamValues::Make();
    StreamNode* a = StreamNode::Make("a");
    StreamNode* b = StreamNode::Make("b");
    a->items = {b, StreamNode::Make("c")};
    b->next = a;
    root->objects = {a, b, root};
    root->first = b;
    root->second = StreamNode::Make("d");
    root->text = "text";
    root->points = {Point3d(1.0, 2.0, 3.0)};
    const Bytes bytes = Save(*root, GetParam());

    for (std::size_t size = 0; size < bytes.size(); ++size)
        ExpectRefused(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)), GetParam());
}

TEST_P(PropertyStreamMalformed, BadHierarchyOrTypeCodeIsRefused)
{
    Sweep sweep;
    const bool plain = GetParam() == Form::Plain;
    // A hierarchy without names.
    ExpectRefused(plain ? Cat({Compact(7), Int32(0), Int32(0)}) : Cat({Compact(7), Bytes{0x00, 0x01}, Int32(0), Bytes{0x00}}),
                  GetParam(), "without names");
    // "Label" stored as an int where the level reads a text, then codes no storage type has.
    for (const std::int32_t code : {7, 15, -1, 0x7FFFFFFF}) {
        Archive codeBytes;
        CompressionInteger::Write(code, codeBytes);
        const Bytes bytes = plain ? Cat({Compact(7), NodeHierarchy(), Int32(1), Text("Label"), Int32(0), Int32(code), Bytes(8, 0)})
                                  : Cat({Compact(7), Bytes{0x00, 0x01}, NodeHierarchy(), Bytes{0x01}, Text("Label"), Bytes{0x00},
                                         codeBytes.GetBuffer(), Bytes(8, 0)});
        if (code == 7) {
            // A value that does not convert to the level's code is skipped; the load goes on.
            const std::unique_ptr<Base> loaded(Load(bytes, GetParam()));
            ASSERT_NE(DynCast<StreamNode>(loaded.get()), nullptr);
            EXPECT_EQ(static_cast<StreamNode*>(loaded.get())->label, "");
            continue;
        }
        ExpectRefused(bytes, GetParam(), "unknown storage type");
    }
}

TEST_P(PropertyStreamMalformed, CountsAndLengthsBeyondTheInputAreRefused)
{
    Sweep sweep;
    const Form form = GetParam();
    const auto head = [form](std::int32_t count) {
        if (form == Form::Plain)
            return Cat({Compact(7), NodeHierarchy(), Int32(count)});
        Archive countBytes;
        CompressionInteger::Write(count, countBytes);
        return Cat({Compact(7), Bytes{0x00, 0x01}, NodeHierarchy(), countBytes.GetBuffer()});
    };
    const auto name = [form](std::string_view text, bool isArray) {
        return form == Form::Plain ? Cat({Text(text), Int32(isArray ? 1 : 0)})
                                   : Cat({Text(text), Bytes{static_cast<std::uint8_t>(isArray ? 1 : 0)}});
    };
    const auto type = [form](std::int32_t code) {
        return form == Form::Plain ? Int32(code) : Bytes{static_cast<std::uint8_t>(code)};
    };
    const Bytes padding(64, 0);

    ExpectRefused(Cat({head(0x7FFFFFFF), padding}), form, "property count");
    ExpectRefused(Cat({head(-1), padding}), form);
    // An element count that would size the array far beyond the input.
    ExpectRefused(Cat({head(1), name("Items", true), Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, padding}), form,
                  "array element count");
    ExpectRefused(Cat({head(1), name("Items", true), Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, padding}), form,
                  "array element count");
    // A text whose length runs past the end.
    ExpectRefused(Cat({head(1), name("Label", false), type(1), Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, padding}),
                  form);
    // A byte block whose length is negative or runs past the end.
    for (const std::int32_t length : {-1, 0x7FFFFFFF, 65})
        ExpectRefused(Cat({head(1), name("Label", false), type(2), Int32(length), padding}), form, "byte block");
    // A name whose length runs past the end.
    ExpectRefused(Cat({head(1), Bytes{0xFF, 0xFE, 0xFF}, padding}), form);
}

TEST_F(PropertyStreamInput, NestedCountsShareTheRemainingInput)
{
    Sweep sweep;
    // An outer array of 10 whose first element is a record whose own array claims all the bytes
    // that follow: each fits alone, both together cannot.
    const Bytes tail(300, 0);
    const Bytes inner = Cat({Compact(8), NodeHierarchy(), Int32(1), Text("Items"), Int32(1), Bytes{0xFF},
                             Int32(static_cast<std::int32_t>(tail.size()))});
    const Bytes outer = Cat({Compact(7), NodeHierarchy(), Int32(1), Text("Items"), Int32(1), Bytes{10},
                             Text("Items"), Int32(0), Int32(0), Bytes{0x00, 0x00}, inner, tail});
    ExpectRefused(outer, Form::Plain, "array element count");
}

TEST_F(PropertyStreamInput, UndefinedOrRedefinedClassIndexIsRefused)
{
    ExpectRefused(Cat({Compact(7), Bytes{0x05, 0x00}}), Form::Compressed, "class index 5");
    // An index defined twice.
    const Bytes first = Cat({Compact(7), Bytes{0x00, 0x01}, NodeHierarchy(), Bytes{0x01}, Text("Next"),
                             Bytes{0x00, 0x00, 0x00, 0x00}});
    const Bytes twice = Cat({first, Compact(8), Bytes{0x00, 0x01}, Int32(1), Text("StreamValues")});
    ExpectRefused(twice, Form::Compressed, "defined twice");
}

// Writers number classes 1, 2, 3 ...; any other index a file gives resolves as well.
TEST_F(PropertyStreamInput, ClassIndicesOfAnyRangeResolve)
{
    for (const std::uint32_t index : {2u, 5000u, 0x80000001u}) {
        const Bytes inner = Cat({Compact(8), Compact(index), Bytes{0x01}});
        const Bytes bytes = Cat({Compact(7), Bytes{0x00}, Compact(index), NodeHierarchy(), Bytes{0x01}, Text("Next"),
                                 Bytes{0x00, 0x00, 0x00, 0x00}, inner});
        std::unique_ptr<StreamNode> outer(static_cast<StreamNode*>(Load(bytes, Form::Compressed)));
        ASSERT_NE(outer, nullptr) << index;
        ASSERT_NE(outer->next, nullptr) << index;
        EXPECT_EQ(outer->next->next, nullptr);
        delete outer->next;
    }
}

// A class index repeated record after record resolves each time, and an undefined index after
// them is still refused.
TEST_F(PropertyStreamInput, RecordsRepeatingAClassIndexResolveUntilAnUndefinedOne)
{
    const Bytes inlineRecord = Bytes{0x00, 0x00};
    const Bytes head = Cat({Compact(7), Bytes{0x00}, Compact(3), NodeHierarchy(), Bytes{0x01}, Text("Next"),
                            Bytes{0x00, 0x00}, inlineRecord});
    const Bytes repeated = Cat({Compact(8), Compact(3), inlineRecord, Compact(9), Compact(3), inlineRecord, Compact(10),
                                Compact(3), inlineRecord});
    std::unique_ptr<StreamNode> outer(
        static_cast<StreamNode*>(Load(Cat({head, repeated, Compact(11), Compact(3), Bytes{0x01}}), Form::Compressed)));
    ASSERT_NE(outer, nullptr);
    int chained = 0;
    for (StreamNode* node = outer->next; node;) {
        StreamNode* const next = node->next;
        delete node;
        node = next;
        ++chained;
    }
    EXPECT_EQ(chained, 4);
    ExpectRefused(Cat({head, repeated, Compact(11), Compact(4), Bytes{0x01}}), Form::Compressed, "class index 4");
}

// Stored OIDs come from files: runs of counter values, scattered values, overwrites and an entry for
// no object must all map back exactly.
TEST(PropertyStreamOIDMap, KeepsEveryEntryWhateverTheKeys)
{
    Archive archive;
    PropertyArchive stream(archive);
    std::map<std::uint32_t, std::uint32_t> expected;
    const auto add = [&](std::uint32_t stored, std::uint32_t oid) {
        stream.AddOIDMapEntry(stored, oid);
        expected[stored] = oid;
    };
    add(5, 1);
    for (std::uint32_t i = 0; i < 20000; ++i)
        add(1000000 + i, i + 2);
    for (std::uint32_t i = 1; i <= 20000; ++i)
        add(i * 2654435761u, i);
    for (std::uint32_t i = 0; i < 3000; ++i)
        add(999000 + i, 7);
    add(0, 9);
    add(std::numeric_limits<std::uint32_t>::max(), 10);
    add(1000010, 0);
    // Back to an object within the run after the entry for none, and to none again.
    add(1000011, 12);
    add(1000010, 13);
    add(1000010, 0);
    add(2654435761u, 0);
    add(2654435761u, 11);

    for (const auto& [stored, oid] : expected) {
        ASSERT_TRUE(stream.IsOID(stored)) << stored;
        ASSERT_EQ(stream.GetOID(stored), oid) << stored;
    }
    for (const std::uint32_t absent : {4u, 6u, 998999u, 1020000u, 3u * 2654435761u + 1u}) {
        EXPECT_FALSE(stream.IsOID(absent)) << absent;
        EXPECT_EQ(stream.GetOID(absent), 0u) << absent;
    }
}

TEST(PropertyStreamValues, BoolReadsAnyNonZeroByteAsTrueAndBadCodesMakeNoHolder)
{
    Archive archive(Bytes{0x02});
    PropertyArchive stream(archive);
    SimpleStorage<bool> holder(false, Storage::StorageBool);
    holder.Serialize("Any", "Flag", stream);
    EXPECT_TRUE(holder.GetData());
    for (const std::int32_t code : {-1, 0, 1, 2, 14, 15})
        EXPECT_EQ(Storage::CreateSimpleStorage(code), nullptr) << code;
    EXPECT_THROW(SimpleStorage<float>(1.0f, Storage::StorageInt), std::invalid_argument);
}

TEST_P(PropertyStreamLayout, RecordBytesFollowTheStreamForm)
{
    Sweep sweep;
    StreamNode* r = StreamNode::Make("r");
    const Bytes oid = Compact(r->GetOID());
    if (GetParam() == Form::Plain) {
        EXPECT_EQ(Save(*r, Form::Plain),
                  Cat({oid, NodeHierarchy(), Int32(3), Text("Label"), Int32(0), Int32(1), Text("r"), Text("Next"),
                       Int32(0), Int32(0), Bytes{0x01}, Text("Items"), Int32(1), Bytes{0x00}}));
        return;
    }
    // First record: OID, 0, class index 1, the hierarchy, the count; each name with its flag and
    // type code. A null reference is the byte 1; an empty array writes its count and no type code.
    EXPECT_EQ(Save(*r, Form::Compressed),
              Cat({oid, Bytes{0x00, 0x01}, NodeHierarchy(), Bytes{0x03}, Text("Label"), Bytes{0x00, 0x01},
                   Text("r"), Text("Next"), Bytes{0x00, 0x00, 0x01}, Text("Items"), Bytes{0x01, 0x00}}));

    // A second record of the class, inline: its OID, the class index and its values only. Its
    // reference back to r is the byte 0 and r's OID; its array, met before r's, names "Items".
    StreamNode* s = StreamNode::Make("s");
    r->next = s;
    s->next = r;
    EXPECT_EQ(Save(*r, Form::Compressed),
              Cat({oid, Bytes{0x00, 0x01}, NodeHierarchy(), Bytes{0x03}, Text("Label"), Bytes{0x00, 0x01}, Text("r"),
                   Text("Next"), Bytes{0x00, 0x00}, Bytes{0x00, 0x00}, Compact(s->GetOID()), Bytes{0x01}, Text("s"),
                   Bytes{0x00}, oid, Text("Items"), Bytes{0x01, 0x00}, Bytes{0x00}}));
}

namespace {
std::string FormName(const ::testing::TestParamInfo<Form>& info)
{
    return info.param == Form::Plain ? "Plain" : "Compressed";
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Forms, PropertyStreamTest, ::testing::Values(Form::Plain, Form::Compressed), FormName);
INSTANTIATE_TEST_SUITE_P(Forms, PropertyStreamLayout, ::testing::Values(Form::Plain, Form::Compressed), FormName);
INSTANTIATE_TEST_SUITE_P(Forms, PropertyStreamMalformed, ::testing::Values(Form::Plain, Form::Compressed), FormName);
