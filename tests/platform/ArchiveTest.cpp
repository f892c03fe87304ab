#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <tavrel/platform/Archive.h>
#include <tavrel/platform/PersistentObject.h>

using namespace Tavrel;

namespace {

// A small archivable record with a value and a reference to another record.
class Node : public PersistentObject {
public:
    static const RuntimeClass& GetThisClass() noexcept
    {
        static const RuntimeClass record{"ArchiveTestNode", RuntimeClass::VersionableSchema | 13u, &Create,
                                         &PersistentObject::GetThisClass()};
        return record;
    }
    static PersistentObject* Create() { return new Node; }
    const RuntimeClass* GetRuntimeClass() const override { return &GetThisClass(); }

    void Serialize(Archive& archive) override
    {
        if (archive.IsStoring()) {
            archive << value;
            archive.WriteObject(next);
        } else {
            schemaSeen = archive.GetObjectSchema();
            archive >> value;
            next = static_cast<Node*>(archive.ReadObject(&GetThisClass()));
        }
    }

    std::int32_t value = 0;
    Node* next = nullptr;  // not owned
    std::uint32_t schemaSeen = 0;
};

// A different class that is not derived from Node.
class Other : public PersistentObject {
public:
    static const RuntimeClass& GetThisClass() noexcept
    {
        static const RuntimeClass record{"ArchiveTestOther", RuntimeClass::VersionableSchema | 13u, &Create,
                                         &PersistentObject::GetThisClass()};
        return record;
    }
    static PersistentObject* Create() { return new Other; }
    const RuntimeClass* GetRuntimeClass() const override { return &GetThisClass(); }
};

class Abstract : public PersistentObject {
public:
    static const RuntimeClass& GetThisClass() noexcept
    {
        static const RuntimeClass record{"ArchiveTestAbstract", RuntimeClass::DynamicOnly, nullptr,
                                         &PersistentObject::GetThisClass()};
        return record;
    }
    const RuntimeClass* GetRuntimeClass() const override { return &GetThisClass(); }
};

struct RegisterRecords {
    RegisterRecords()
    {
        RuntimeClass::Register(Node::GetThisClass());
        RuntimeClass::Register(Other::GetThisClass());
        RuntimeClass::Register(Abstract::GetThisClass());
    }
} const g_register;

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> bytes;
    for (int v : values)
        bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

std::string RoundTripString(std::size_t length, std::size_t expectedPrefix)
{
    Archive out;
    const std::string text(length, 'q');
    out << text;
    EXPECT_EQ(out.GetBuffer().size(), expectedPrefix + length);
    Archive in(out.GetBuffer());
    std::string back;
    in >> back;
    EXPECT_EQ(in.GetRemaining(), 0u);
    return back;
}

} // namespace

TEST(ArchiveEncoding, ScalarsAreLittleEndian)
{
    Archive out;
    out << std::uint16_t{0x0102} << std::int32_t{-2} << 1.5f << true;
    EXPECT_EQ(out.GetBuffer(), Bytes({0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xC0, 0x3F, 0x01}));
    Archive in(out.GetBuffer());
    std::uint16_t a = 0;
    std::int32_t b = 0;
    float c = 0;
    bool d = false;
    in >> a >> b >> c >> d;
    EXPECT_EQ(a, 0x0102);
    EXPECT_EQ(b, -2);
    EXPECT_EQ(c, 1.5f);
    EXPECT_TRUE(d);
}

TEST(ArchiveEncoding, StringLengthPrefixesAtTheirBoundaries)
{
    EXPECT_EQ(RoundTripString(0, 1), "");
    EXPECT_EQ(RoundTripString(254, 1).size(), 254u);
    EXPECT_EQ(RoundTripString(255, 3).size(), 255u);
    EXPECT_EQ(RoundTripString(0xFFFD, 3).size(), 0xFFFDu);
    EXPECT_EQ(RoundTripString(0xFFFE, 7).size(), 0xFFFEu);

    Archive out;
    out << std::string(255, 'a');
    EXPECT_EQ(out.GetBuffer()[0], 0xFF);
    EXPECT_EQ(out.GetBuffer()[1], 0xFF);
    EXPECT_EQ(out.GetBuffer()[2], 0x00);
    Archive big;
    big << std::string(0xFFFE, 'a');
    EXPECT_EQ(std::vector<std::uint8_t>(big.GetBuffer().begin(), big.GetBuffer().begin() + 7),
              Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}));
}

TEST(ArchiveEncoding, CountsAtTheirBoundaries)
{
    Archive out;
    out.WriteCount(0xFFFE);
    out.WriteCount(0xFFFF);
    out.WriteCount(0);
    EXPECT_EQ(out.GetBuffer(), Bytes({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}));
    Archive in(out.GetBuffer());
    EXPECT_EQ(in.ReadCount(), 0xFFFEu);
    EXPECT_EQ(in.ReadCount(), 0xFFFFu);
    EXPECT_EQ(in.ReadCount(), 0u);
}

TEST(ArchiveEncoding, CountLargerThanTheRemainingInputIsRefused)
{
    Archive out;
    out.WriteCount(1000);
    out << std::uint32_t{7};
    Archive in(out.GetBuffer());
    try {
        in.ReadCount(4);
        FAIL() << "count accepted";
    } catch (const ArchiveException& e) {
        EXPECT_EQ(e.GetCause(), ArchiveException::endOfFile);
    }
}

TEST(ArchiveObjects, NewClassThenClassIndexThenBackReference)
{
    Node a, b;
    a.value = 1;
    b.value = 2;
    a.next = &b;
    b.next = &a;  // a cycle: the second visit of a is a back-reference
    Archive out;
    out.WriteObject(&a);
    out.WriteObject(&b);

    const std::string name = "ArchiveTestNode";
    std::vector<std::uint8_t> expected = Bytes({0xFF, 0xFF, 0x0D, 0x00, static_cast<int>(name.size()), 0x00});
    expected.insert(expected.end(), name.begin(), name.end());
    // a: class index 1, object index 2; value 1
    const auto tail = Bytes({0x01, 0x00, 0x00, 0x00,
                             0x01, 0x80,              // b: object of class 1, gets index 3
                             0x02, 0x00, 0x00, 0x00,  // b.value
                             0x02, 0x00,              // b.next = a (index 2)
                             0x03, 0x00});            // second WriteObject(&b): back-reference
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(out.GetBuffer(), expected);

    Archive in(out.GetBuffer());
    std::unique_ptr<Node> a2(static_cast<Node*>(in.ReadObject(&Node::GetThisClass())));
    ASSERT_NE(a2, nullptr);
    std::unique_ptr<Node> b2(a2->next);
    EXPECT_EQ(a2->value, 1);
    EXPECT_EQ(b2->value, 2);
    EXPECT_EQ(b2->next, a2.get());
    EXPECT_EQ(a2->schemaSeen, 13u);
    EXPECT_EQ(in.ReadObject(), b2.get());
    EXPECT_EQ(in.GetRemaining(), 0u);
}

TEST(ArchiveObjects, NullReferenceIsTagZero)
{
    Archive out;
    out.WriteObject(nullptr);
    EXPECT_EQ(out.GetBuffer(), Bytes({0, 0}));
    Archive in(out.GetBuffer());
    EXPECT_EQ(in.ReadObject(), nullptr);
}

TEST(ArchiveObjects, BigIndicesUseTheWideTag)
{
    // Enough objects to push indices past 0x7FFE: each new object of a known class takes one index.
    std::vector<Node> nodes(0x7FFF);
    Archive out;
    for (const Node& node : nodes)
        out.WriteObject(&node);
    out.WriteObject(&nodes.back());

    Archive in(out.GetBuffer());
    std::vector<std::unique_ptr<PersistentObject>> read;
    for (std::size_t i = 0; i < nodes.size(); ++i)
        read.emplace_back(in.ReadObject());
    EXPECT_EQ(in.ReadObject(), read.back().get());
    EXPECT_EQ(in.GetRemaining(), 0u);
    // The back-reference to the last object, index 0x8000, takes the wide tag: 0x7FFF, then a u32.
    const auto& buffer = out.GetBuffer();
    const std::size_t backRef = buffer.size() - 6;
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin() + static_cast<std::ptrdiff_t>(backRef), buffer.end()),
              Bytes({0xFF, 0x7F, 0x00, 0x80, 0x00, 0x00}));
}

namespace {
// Reads through a view, so that a read past the end of the bytes shows under the address sanitizer.
ArchiveException::Cause LoadCause(const std::vector<std::uint8_t>& bytes, const RuntimeClass* expected = nullptr)
{
    Archive in{std::span<const std::uint8_t>(bytes)};
    try {
        std::unique_ptr<PersistentObject> object(in.ReadObject(expected));
    } catch (const ArchiveException& e) {
        return e.GetCause();
    }
    return ArchiveException::none;
}

std::string LoadMessage(const std::vector<std::uint8_t>& bytes, const RuntimeClass* expected = nullptr)
{
    Archive in(bytes);
    try {
        std::unique_ptr<PersistentObject> object(in.ReadObject(expected));
    } catch (const ArchiveException& e) {
        return e.what();
    }
    return {};
}

std::vector<std::uint8_t> NewClassRecord(const std::string& name, int schema = 13)
{
    std::vector<std::uint8_t> bytes = Bytes({0xFF, 0xFF, schema, 0x00, static_cast<int>(name.size()), 0x00});
    bytes.insert(bytes.end(), name.begin(), name.end());
    return bytes;
}
} // namespace

TEST(ArchiveMalformedInput, IsRefusedWithTheArchiveException)
{
    EXPECT_EQ(LoadCause({}), ArchiveException::endOfFile);
    EXPECT_EQ(LoadCause(Bytes({0xFF})), ArchiveException::endOfFile);
    EXPECT_EQ(LoadCause(Bytes({0x05, 0x00})), ArchiveException::badIndex);
    EXPECT_EQ(LoadCause(Bytes({0x01, 0x80})), ArchiveException::badIndex);
    EXPECT_EQ(LoadCause(Bytes({0xFF, 0x7F, 0x09, 0x00, 0x00, 0x80})), ArchiveException::badIndex);
    EXPECT_EQ(LoadCause(NewClassRecord("NoSuchClass")), ArchiveException::badClass);
    EXPECT_EQ(LoadCause(NewClassRecord("ArchiveTestAbstract", 0xFF)), ArchiveException::badClass);
    auto truncatedName = NewClassRecord("ArchiveTestNode");
    truncatedName.resize(truncatedName.size() - 3);
    EXPECT_EQ(LoadCause(truncatedName), ArchiveException::endOfFile);
    // A known class whose record is cut short: the partly read object is released.
    EXPECT_EQ(LoadCause(NewClassRecord("ArchiveTestNode")), ArchiveException::endOfFile);
    // Wrong class for the slot.
    EXPECT_EQ(LoadCause(NewClassRecord("ArchiveTestOther"), &Node::GetThisClass()), ArchiveException::badClass);
}

TEST(ArchiveMalformedInput, ClassIndexUsedAsObjectIsRefused)
{
    auto bytes = NewClassRecord("ArchiveTestOther");
    bytes.push_back(0x01);  // a back-reference to index 1, which is the class
    bytes.push_back(0x00);
    Archive in(bytes);
    std::unique_ptr<PersistentObject> first(in.ReadObject());
    ASSERT_NE(first, nullptr);
    EXPECT_THROW(in.ReadObject(), ArchiveException);
}

TEST(ArchiveView, ReadsTheCallersBytesInPlace)
{
    Archive out;
    out << std::uint16_t{7} << std::string_view("text");
    const std::vector<std::uint8_t> bytes = out.GetBuffer();
    Archive in{std::span<const std::uint8_t>(bytes)};
    EXPECT_TRUE(in.IsLoading());
    EXPECT_EQ(in.GetData().data(), bytes.data());
    EXPECT_EQ(in.GetData().size(), bytes.size());
    EXPECT_THROW(in.GetBuffer(), std::logic_error);
    std::uint16_t number = 0;
    std::string text;
    in >> number >> text;
    EXPECT_EQ(number, 7);
    EXPECT_EQ(text, "text");
    EXPECT_EQ(in.GetRemaining(), 0u);
    EXPECT_THROW(in >> number, ArchiveException);

    // The owning forms keep their bytes, whatever becomes of the caller's.
    std::vector<std::uint8_t> moved = bytes;
    const std::uint8_t* const movedData = moved.data();
    Archive owning(std::move(moved));
    EXPECT_EQ(owning.GetData().data(), movedData);
    Archive copying(bytes.data(), bytes.size());
    EXPECT_NE(copying.GetData().data(), bytes.data());
    EXPECT_EQ(copying.GetBuffer(), bytes);
    EXPECT_EQ(out.GetData().data(), out.GetBuffer().data());
}

// Several megabytes in writes of every size, small ones staged and large ones straight through,
// cross the buffer's growths; the stored bytes are those written, in order, whichever way they are
// asked for, and a restarted archive holds only what it was given afterwards.
TEST(ArchiveStoring, LargeOutputsKeepEveryByteAcrossGrowthsAndRestarts)
{
    Archive out;
    std::vector<std::uint8_t> expected;
    std::uint8_t next = 0;
    for (std::size_t size = 1; expected.size() < (std::size_t{5} << 20); size = size * 3 % 1531 + 1) {
        std::vector<std::uint8_t> piece(size);
        for (std::uint8_t& byte : piece)
            byte = next++;
        out.Write(piece.data(), piece.size());
        expected.insert(expected.end(), piece.begin(), piece.end());
        if (size % 7 == 0) {
            const std::span<const std::uint8_t> view = out.GetData();
            ASSERT_EQ(view.size(), expected.size());
            EXPECT_EQ(view.back(), expected.back());
        }
    }
    const std::span<const std::uint8_t> view = out.GetData();
    EXPECT_TRUE(std::equal(view.begin(), view.end(), expected.begin(), expected.end()));
    EXPECT_EQ(out.GetBuffer(), expected);

    // A few bytes after a restart: the view and the buffer agree on them alone.
    out.Restart();
    out << std::uint32_t{0x04030201} << std::string_view("ab");
    const std::vector<std::uint8_t> small{1, 2, 3, 4, 2, 'a', 'b'};
    const std::span<const std::uint8_t> smallView = out.GetData();
    EXPECT_TRUE(std::equal(smallView.begin(), smallView.end(), small.begin(), small.end()));
    EXPECT_EQ(out.GetBuffer(), small);
    Archive in(out.GetBuffer());
    std::uint32_t number = 0;
    std::string text;
    in >> number >> text;
    EXPECT_EQ(number, 0x04030201u);
    EXPECT_EQ(text, "ab");
}

// A large buffer reused after a restart and filled past its former end, then grown: the stored bytes
// are the new ones alone, in order.
TEST(ArchiveStoring, RestartedLargeOutputRefilledPastItsFormerEndKeepsEveryByte)
{
    Archive out;
    const std::vector<std::uint8_t> first(std::size_t{3} << 20, 0xAB);
    out.Write(first.data(), first.size());
    out.Restart();
    std::vector<std::uint8_t> expected;
    for (std::size_t i = 0; expected.size() < (std::size_t{20} << 20); ++i) {
        const auto byte = static_cast<std::uint8_t>(i * 7);
        out << byte;
        expected.push_back(byte);
    }
    EXPECT_EQ(out.GetBuffer(), expected);
}

// Reservations of every size up to the whole staging block, each filled only in part, mixed with
// plain writes: the stored bytes are those put, in order; a reservation beyond the block is refused.
TEST(ArchiveStoring, ReservationsUpToTheStageKeepEveryByteInOrder)
{
    Archive out;
    std::vector<std::uint8_t> expected;
    std::uint8_t next = 0;
    for (std::size_t size = 1; expected.size() < (std::size_t{1} << 20); size = size * 5 % Archive::StageSize + 1) {
        std::uint8_t* const room = out.Reserve(size);
        const std::size_t used = size - size / 3;
        for (std::size_t i = 0; i < used; ++i)
            room[i] = next++;
        expected.insert(expected.end(), room, room + used);
        out.Staged(room + used);
        out << next;
        expected.push_back(next++);
    }
    EXPECT_EQ(out.GetBuffer(), expected);
    EXPECT_THROW(out.Reserve(Archive::StageSize + 1), std::length_error);
}

TEST(ArchiveMalformedInput, TruncatedStringsAndWrongDirectionAreRefused)
{
    Archive in(Bytes({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00, 'a'}));
    std::string text;
    EXPECT_THROW(in >> text, ArchiveException);
    EXPECT_THROW(in << std::int32_t{1}, ArchiveException);
    Archive out;
    std::int32_t value = 0;
    EXPECT_THROW(out >> value, ArchiveException);
}

TEST(ArchiveMalformedInput, RefusalsSayWhatWasWrongAndWhereWithBytesEscaped)
{
    EXPECT_EQ(LoadMessage(NewClassRecord("XY\xff\"\n")),
              "bad class in archive at offset 0: class \"XY\\xff\\x22\\x0a\" is not known here");
    EXPECT_EQ(LoadMessage(Bytes({0x05, 0x00})), "bad object index in archive at offset 0: object tag 5 names no "
                                                "object read before");
    auto nodeThenOther = NewClassRecord("ArchiveTestNode");
    nodeThenOther.insert(nodeThenOther.end(), {0x07, 0x00, 0x00, 0x00});
    const auto other = NewClassRecord("ArchiveTestOther");
    nodeThenOther.insert(nodeThenOther.end(), other.begin(), other.end());
    EXPECT_EQ(LoadMessage(nodeThenOther, &Node::GetThisClass()),
              "bad class in archive at offset 25: a record of class \"ArchiveTestOther\" where a "
              "\"ArchiveTestNode\" belongs");
    auto cut = NewClassRecord("ArchiveTestNode");
    cut.insert(cut.end(), {0x07, 0x00});
    EXPECT_EQ(LoadMessage(cut), "unexpected end of archive at offset 21: 4 bytes needed, 2 left");

    Archive in(Bytes({0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00, 'a'}));
    std::string text;
    in >> text;
    try {
        in >> text;
        FAIL();
    } catch (const ArchiveException& e) {
        EXPECT_EQ(e.GetCause(), ArchiveException::endOfFile);
        EXPECT_STREQ(e.what(), "unexpected end of archive at offset 1: a string of 65536 bytes, 1 left");
    }
}
