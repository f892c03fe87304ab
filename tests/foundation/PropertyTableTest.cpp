#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/InternalPropertyArchive.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

// A level described by one table only: a stored count shown to the host as "Count", a stored note
// the host does not see, and a read-only text property.
class Tally : public Geometric3d {
    TAVREL_CLASS(Tally, Geometric3d, Creatable)
public:
    explicit Tally(Object* parent) : Geometric3d(parent) {}

    std::int32_t count = 0;
    std::string note;
};
TAVREL_DEFINE_CLASS(Tally)

const PropertyTable& Tally::Properties()
{
    static const PropertyTable table(
        &Geometric3d::Properties(),
        PropertyList<Tally>()
            .Field<Storage::StorageInt, &Tally::count>("Tally Count")
            .Shows("Count")
            .Accessors([](const Tally& tally) { return tally.count; }, [](Tally& tally, std::int32_t value) { tally.count = value; })
            .Shown(0)
            .Field<Storage::StorageString, &Tally::note>("Tally Note")
            .Text("Double")
            .ReadOnly()
            .Getter([](const Tally& tally) { return tally.count * 2; })
            .Shown(0));
    return table;
}

// A level whose framework-archive record is not its stream record: a count the framework archive
// holds in 16 bits, a flag only the stream holds, a mark only the framework archive holds, a rate
// that records from schema 2 on hold and a word that only older records hold.
// Its text interface: the rate through member functions (a setter that refuses values above 100),
// the mark with two decimals, the flag as "Yes" or "No" among its words, the count as a choice.
class Stamp : public Geometric3d {
    TAVREL_CLASS(Stamp, Geometric3d, Creatable)
public:
    explicit Stamp(Object* parent) : Geometric3d(parent) {}

    std::int32_t GetRate() const { return rate; }
    bool SetRate(std::int32_t value)
    {
        if (value > 100)
            return false;
        rate = static_cast<std::uint8_t>(value);
        return true;
    }
    float GetMark() const { return mark; }

    std::int32_t count = 0;
    bool flag = false;
    float mark = 0.0f;
    std::uint8_t rate = 0;
};
TAVREL_DEFINE_CLASS(Stamp)

constexpr PropertyWord FlagWords[] = {{0, "No"}, {1, "Yes"}};

const PropertyTable& Stamp::Properties()
{
    static const PropertyTable table(PropertyList<Stamp>()
                                         .Field<&Stamp::count>("Stamp Count")
                                         .ArchiveAs<std::int16_t>()
                                         .Shows("Count")
                                         .Accessors([](const Stamp& stamp) { return stamp.count; },
                                                    [](Stamp& stamp, std::int32_t value) { stamp.count = value; })
                                         .Choices({"1", "2", "3"})
                                         .Shown(ObjectProperty::CategoryChoice)
                                         .Field<&Stamp::flag>("Stamp Flag")
                                         .StreamOnly()
                                         .Shows("Flag")
                                         .Accessors([](const Stamp& stamp) { return stamp.flag; },
                                                    [](Stamp& stamp, bool on) { stamp.flag = on; })
                                         .Words(FlagWords)
                                         .Shown(ObjectProperty::CategorySwitch)
                                         .ArchiveField<&Stamp::mark>()
                                         .Field<&Stamp::rate>("Stamp Rate")
                                         .FromSchema(2)
                                         .Shows("Rate")
                                         .Accessors<&Stamp::GetRate, &Stamp::SetRate>()
                                         .Shown()
                                         .ArchiveDropped<std::int32_t>(2)
                                         .Text("Mark")
                                         .Getter<&Stamp::GetMark>()
                                         .Format("%.2f")
                                         .Shown());
    return table;
}

// The foundation README's example of a whole new class (its fields public here, for the test).
class Marker : public Geometric3d {
    TAVREL_CLASS(Marker, Geometric3d, Creatable)
public:
    explicit Marker(Object* parent) : Geometric3d(parent) {}

    float GetSize() const { return m_size; }
    void SetSize(float size) { m_size = size; }

    float m_size = 1.0f;
    std::int32_t m_count = 0;
    std::string m_note;
    Object* m_target = nullptr;
    bool m_shown = true;
};
TAVREL_DEFINE_CLASS(Marker)

const PropertyTable& Marker::Properties()
{
    static const PropertyTable table(PropertyList<Marker>()
        .Field<&Marker::m_size>("Marker Size").Shows("Size").Accessors<&Marker::GetSize, &Marker::SetSize>().Shown()
        .Field<&Marker::m_count>("Marker Count")
        .Field<&Marker::m_note>("Marker Note")
        .Reference("Marker Target", [](const Marker& m) { return m.m_target; }, [](Marker& m, Object* o) { m.m_target = o; })
        .Field<&Marker::m_shown>("Marker Shown"));
    return table;
}

// An object that names others in an array of references.
class Roster : public Object {
    TAVREL_CLASS(Roster, Object, Creatable)
public:
    explicit Roster(Object* parent) : Object(parent) {}

    std::vector<Object*> members;
};
TAVREL_DEFINE_CLASS(Roster)

const PropertyTable& Roster::Properties()
{
    static const PropertyTable table(PropertyList<Roster>().References(
        "Roster Members", [](const Roster& r) { return r.members.size(); },
        [](const Roster& r, std::size_t index) { return r.members[index]; },
        [](Roster& r, std::size_t count) { r.members.assign(count, nullptr); },
        [](Roster& r, std::size_t index, Object* member) { r.members[index] = member; }));
    return table;
}

// Names Markers only, one alone and a list of them; a big marker is a Marker without a class of its own.
class Pinboard : public Object {
    TAVREL_CLASS(Pinboard, Object, Creatable)
public:
    explicit Pinboard(Object* parent) : Object(parent) {}

    Marker* pinned = nullptr;
    std::vector<Marker*> markers;
};
TAVREL_DEFINE_CLASS(Pinboard)

const PropertyTable& Pinboard::Properties()
{
    static const PropertyTable table(PropertyList<Pinboard>()
        .Reference("Pinned", [](const Pinboard& b) { return b.pinned; }, [](Pinboard& b, Marker* m) { b.pinned = m; })
        .References(
            "Markers", [](const Pinboard& b) { return b.markers.size(); },
            [](const Pinboard& b, std::size_t index) { return b.markers[index]; },
            [](Pinboard& b, std::size_t count) { b.markers.assign(count, nullptr); },
            [](Pinboard& b, std::size_t index, Marker* m) { b.markers[index] = m; }));
    return table;
}

class BigMarker : public Marker {
public:
    using Marker::Marker;
};

// A class derived from a table class without the identity macro, with a pass of its own on top.
class TallyWithExtra : public Tally {
public:
    explicit TallyWithExtra(Object* parent) : Tally(parent) {}
    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        Tally::GetSetObjectProperties(archive);
        PropertyPass pass(archive, *this);
        pass.Value<Storage::StorageString>("Extra Note", extra);
    }

    std::string extra = "kept too";
};

class PropertyTableTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<Tally>();
        ClassRegistry::Register<Stamp>();
        ClassRegistry::Register<Marker>();
        ClassRegistry::Register<Roster>();
        ClassRegistry::Register<Pinboard>();
    }
};

std::unique_ptr<Stamp> ReadStamp(const std::vector<std::uint8_t>& bytes)
{
    Archive in(bytes);
    std::unique_ptr<PersistentObject> read(in.ReadObject(&Stamp::GetThisClass()));
    EXPECT_EQ(in.GetRemaining(), 0u);
    return std::unique_ptr<Stamp>(static_cast<Stamp*>(static_cast<Base*>(read.release())));
}

std::vector<std::string> Names(const ObjectProperty::Array& properties)
{
    std::vector<std::string> names;
    for (const ObjectProperty& property : properties)
        names.push_back(property.GetName() + "=" + property.GetStringValue());
    return names;
}

} // namespace

TEST_F(PropertyTableTest, OneTableDrivesTheTextInterfaceAfterTheBaseLevels)
{
    Object root(nullptr);
    root.SetLabel("top");
    Tally tally(&root);
    tally.SetLabel("t");
    tally.count = 4;

    ObjectProperty::Array listed;
    EXPECT_EQ(tally.GetProperties(listed), 7);
    EXPECT_EQ(Names(listed), (std::vector<std::string>{"Name=t", "ID=0", "Color=255 255 255", "Parent=top",
                                                       "XYZ=0.000 0.000 0.000", "Count=4", "Double=8"}));
    EXPECT_FALSE(listed[6].IsWritable());

    // The text name, in any case, parses as the value's type; the stored name is not a text name.
    EXPECT_TRUE(tally.SetPropertyFromString("cOUNT", " 12 apples"));
    EXPECT_EQ(tally.count, 12);
    EXPECT_FALSE(tally.SetPropertyFromString("Count", "apples"));
    EXPECT_EQ(tally.count, 12);
    EXPECT_EQ(tally.GetPropertyAsString("double"), "24");
    EXPECT_FALSE(tally.SetPropertyFromString("Double", "3"));
    EXPECT_FALSE(tally.HasProperty("Double"));
    EXPECT_TRUE(tally.SetPropertyFromString("Tally Count", "99"));
    EXPECT_EQ(tally.count, 12);
    EXPECT_EQ(tally.GetPropertyAsString("Tally Count"), "99");

    // The base levels' names still answer through the chain.
    EXPECT_TRUE(tally.SetPropertyFromString("y", "2.5"));
    EXPECT_EQ(tally.GetPropertyAsString("XYZ"), "0.0000 2.5000 0.0000");
    EXPECT_EQ(tally.GetPropertyAsObjectProperty("Name").GetStringValue(), "t");
}

TEST_F(PropertyTableTest, PersistedEntriesFollowTheBaseLevelsInTheRecordAndLoadBack)
{
    for (const RecordStream::Form form : {RecordStream::Form::Plain, RecordStream::Form::Compressed}) {
        std::unique_ptr<Tally> tally(new Tally(nullptr));
        tally->count = -7;
        tally->note = "kept";
        tally->SetXYZ(Point3d(1.0, 2.0, 3.0));
        tally->SetProperty("weight", std::int32_t{5}, DataStorage::FlagReadable);

        const std::unique_ptr<Tally> loaded = RecordStream::LoadAs<Tally>(RecordStream::Save(*tally, form), form);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(loaded->count, -7);
        EXPECT_EQ(loaded->note, "kept");
        EXPECT_EQ(loaded->GetPropertyAsString("XYZ"), "1.0000 2.0000 3.0000");
        std::int32_t weight = 0;
        EXPECT_TRUE(loaded->GetProperty("weight", weight));
        EXPECT_EQ(weight, 5);
    }
}

TEST_F(PropertyTableTest, AClassDerivedWithoutTheMacroIsWrittenByItsOwnPassNotByItsBasesPlan)
{
    for (const RecordStream::Form form : {RecordStream::Form::Plain, RecordStream::Form::Compressed}) {
        TallyWithExtra extra(nullptr);
        const RecordStream::Bytes bytes = RecordStream::Save(extra, form);
        const std::string_view name = "Extra Note";
        EXPECT_NE(std::search(bytes.begin(), bytes.end(), name.begin(), name.end()), bytes.end());
    }
}

TEST_F(PropertyTableTest, UserPropertiesComeAndGoWithoutATableOfTheirOwn)
{
    Tally with(nullptr);
    Tally without(nullptr);
    with.SetProperty("a", std::int32_t{1}, DataStorage::FlagReadable);

    // A copy has its own table; a copy of an object without one has none.
    std::unique_ptr<Base> copy(with.Copy());
    auto* copied = DynCast<Tally>(copy.get());
    ASSERT_NE(copied, nullptr);
    copied->RemoveProperty("a");
    EXPECT_TRUE(with.HasProperty("a"));

    // Copying an empty table empties the target; reading from an object without a table finds nothing.
    with.CopyProperties(&without);
    EXPECT_FALSE(with.HasProperty("a"));
    ObjectProperty::Array users;
    EXPECT_EQ(without.GetUserProperties(users), 0);
    EXPECT_EQ(without.GetPropertyAsString("a"), "");
    EXPECT_EQ(without.GetTempData(), nullptr);
    without.SetTempData(&users, false);
    EXPECT_EQ(without.GetTempData(), &users);
}

TEST_F(PropertyTableTest, TheFrameworkRecordIsTheTablesColumnAfterTheBaseLevelsWithEachSchemasFields)
{
    Stamp stamp(nullptr);
    stamp.SetLabel("s");
    stamp.SetXYZ(Point3d(1.0, 2.0, 3.0));
    stamp.count = -300;
    stamp.flag = true;
    stamp.mark = 2.5f;
    stamp.rate = 7;
    Archive out;
    out.WriteObject(&stamp);
    const std::vector<std::uint8_t> written = out.GetBuffer();

    // The level's fields close the record, after the base levels': the count in 16 bits, the mark,
    // the rate; the flag is the stream's alone.
    std::vector<std::uint8_t> fields{0xD4, 0xFE};
    fields.resize(6);
    std::memcpy(fields.data() + 2, &stamp.mark, 4);
    fields.push_back(7);
    ASSERT_GT(written.size(), fields.size());
    EXPECT_TRUE(std::equal(fields.begin(), fields.end(), written.end() - static_cast<std::ptrdiff_t>(fields.size())));
    std::unique_ptr<Stamp> loaded = ReadStamp(written);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetLabel(), "s");
    EXPECT_EQ(loaded->GetXYZ(), Point3d(1.0, 2.0, 3.0));
    EXPECT_EQ(loaded->count, -300);
    EXPECT_FALSE(loaded->flag);
    EXPECT_EQ(loaded->mark, 2.5f);
    EXPECT_EQ(loaded->rate, 7);

    // A record of schema 1: no rate, then the older word.
    std::vector<std::uint8_t> older(written.begin(), written.end() - 1);
    older.insert(older.end(), {9, 0, 0, 0});
    const std::string name = "XXStamp";
    const auto at = std::search(older.begin(), older.end(), name.begin(), name.end());
    ASSERT_NE(at, older.end());
    *(at - 4) = 1;
    *(at - 3) = 0;
    loaded = ReadStamp(older);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->count, -300);
    EXPECT_EQ(loaded->mark, 2.5f);
    EXPECT_EQ(loaded->rate, 0);
}

TEST_F(PropertyTableTest, TextEntriesTakeFormsWordsAndAccessFromTheirEntries)
{
    Stamp stamp(nullptr);
    stamp.mark = 2.5f;

    // A setter that refuses a value refuses the text; one it takes changes the value.
    EXPECT_TRUE(stamp.SetPropertyFromString("rate", "42"));
    EXPECT_FALSE(stamp.SetPropertyFromString("Rate", "420"));
    EXPECT_EQ(stamp.GetPropertyAsString("Rate"), "42");
    // Words, in any case, both ways; another word is refused.
    EXPECT_EQ(stamp.GetPropertyAsString("Flag"), "No");
    EXPECT_TRUE(stamp.SetPropertyFromString("Flag", "yes"));
    EXPECT_TRUE(stamp.flag);
    EXPECT_FALSE(stamp.SetPropertyFromString("Flag", "maybe"));
    EXPECT_EQ(stamp.GetPropertyAsString("Flag"), "Yes");
    // One format for the text and the descriptor; without a setter the descriptor is read-only.
    EXPECT_EQ(stamp.GetPropertyAsString("Mark"), "2.50");
    const ObjectProperty mark = stamp.GetPropertyAsObjectProperty("Mark");
    EXPECT_EQ(mark.GetStringValue(), "2.50");
    EXPECT_FALSE(mark.IsWritable());

    const ObjectProperty flag = stamp.GetPropertyAsObjectProperty("flag");
    EXPECT_EQ(flag.GetName(), "Flag");
    EXPECT_EQ(flag.GetStringValue(), "Yes");
    EXPECT_TRUE(flag.IsWritable());
    EXPECT_EQ(flag.GetPropertyType(), ObjectProperty::CategorySwitch);
    EXPECT_EQ(flag.GetAllValues(), (std::vector<std::string>{"No", "Yes"}));
    const ObjectProperty count = stamp.GetPropertyAsObjectProperty("Count");
    EXPECT_EQ(count.GetType(), "int");
    EXPECT_EQ(count.GetAllValues(), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(stamp.GetPropertyAsObjectProperty("Rate").GetStringValue(), "42");
}

TEST_F(PropertyTableTest, TheReadmesNewClassStoresEverythingInBothFormsAndShowsItsSize)
{
    Object target(nullptr);
    Marker marker(&target);
    marker.SetSize(2.5f);
    marker.m_count = 3;
    marker.m_note = "n";
    marker.m_target = &target;
    marker.m_shown = false;
    target.SetLabel("t");
    const std::unique_ptr<Object> loaded(DynCast<Object>(RecordStream::Load(RecordStream::Save(target))));
    ASSERT_NE(loaded, nullptr);
    const auto* const copy = DynCast<Marker>(loaded->GetChild(0));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetSize(), 2.5f);
    EXPECT_EQ(copy->m_count, 3);
    EXPECT_EQ(copy->m_note, "n");
    EXPECT_EQ(copy->m_target, loaded.get());
    EXPECT_FALSE(copy->m_shown);
    EXPECT_EQ(copy->GetPropertyAsString("size"), "2.5000");

    Archive out;
    out.WriteObject(&target);
    Archive in(out.GetBuffer());
    const std::unique_ptr<PersistentObject> read(in.ReadObject(&Object::GetThisClass()));
    const auto* const framework = DynCast<Marker>(static_cast<Object*>(read.get())->GetChild(0));
    ASSERT_NE(framework, nullptr);
    EXPECT_EQ(framework->m_note, "n");
    EXPECT_EQ(framework->m_target, read.get());
}

// Records read by their plan take references and counts in place; near the end of the input they
// go the checked way: the last record's reference loads, and a cut inside its tail is refused at
// the offset of the read it cuts short.
TEST_F(PropertyTableTest, PlannedRecordsReadTheirLastReferenceAtTheInputsEndAndRefuseItsCutsWhereTheyFall)
{
    std::vector<std::unique_ptr<Marker>> markers;
    for (int i = 0; i < 3; ++i) {
        markers.push_back(std::unique_ptr<Marker>(new Marker(nullptr)));
        markers.back()->m_count = i;
        markers.back()->m_target = i > 0 ? markers[0].get() : nullptr;
        markers.back()->m_shown = i != 2;
    }
    Archive out;
    std::vector<std::size_t> ends;
    {
        CompressedPropertyArchive stream(out);
        for (const auto& marker : markers) {
            marker->WriteProperties(stream, marker->GetOID());
            ends.push_back(out.GetData().size());
        }
    }
    const std::vector<std::uint8_t> saved(out.GetData().begin(), out.GetData().end());
    const auto load = [](const std::vector<std::uint8_t>& bytes) {
        Archive in(bytes);
        CompressedPropertyArchive stream(in);
        std::vector<std::unique_ptr<Marker>> loaded;
        while (in.GetRemaining() > 0)
            loaded.emplace_back(DynCast<Marker>(Catalog::ReadProperties(stream)));
        return loaded;
    };
    const std::vector<std::unique_ptr<Marker>> loaded = load(saved);
    ASSERT_EQ(loaded.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(loaded[i], nullptr);
        EXPECT_EQ(loaded[i]->m_count, i);
        EXPECT_EQ(loaded[i]->m_target, i > 0 ? loaded[0].get() : nullptr);
        EXPECT_EQ(loaded[i]->m_shown, i != 2);
    }

    // The last record ends with its target (a null flag, then the first marker's OID in one byte or
    // in five) and its flag.
    const std::size_t total = saved.size();
    const std::size_t oidBytes = markers[0]->GetOID() < 255 ? 1 : 5;
    const std::size_t reference = total - 2 - oidBytes;
    for (std::size_t size = ends[1] + 1; size < total; ++size) {
        const std::vector<std::uint8_t> cut(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(size));
        try {
            load(cut);
            ADD_FAILURE() << "a cut at " << size << " was accepted";
        } catch (const ArchiveException& error) {
            EXPECT_EQ(error.GetCause(), ArchiveException::endOfFile) << size;
            if (size < reference)
                continue;
            const bool inWideOID = oidBytes == 5 && size > reference + 1 && size < total - 1;
            const std::size_t offset = inWideOID ? reference + 2 : size;
            const std::string needed = inWideOID ? "4 bytes needed, " + std::to_string(size - offset) : "1 bytes needed, 0";
            EXPECT_NE(std::string(error.what()).find("at offset " + std::to_string(offset) + ": " + needed + " left"),
                      std::string::npos)
                << error.what();
        }
    }
}

// Once its class's description is settled, a record's array of references takes null, stored and
// inline elements straight from the stream, in order, as the class's first record takes them.
TEST_F(PropertyTableTest, PlannedReferenceArraysTakeNullStoredAndInlineElementsInOrder)
{
    Object shared(nullptr);
    shared.SetLabel("shared");
    std::vector<std::unique_ptr<Object>> own;
    std::vector<std::unique_ptr<Roster>> rosters;
    for (int i = 0; i < 4; ++i) {
        rosters.push_back(std::make_unique<Roster>(nullptr));
        own.push_back(std::make_unique<Object>(nullptr));
        own.back()->SetLabel("own " + std::to_string(i));
        rosters.back()->members = {&shared, nullptr, own.back().get(), &shared, rosters[0].get()};
    }
    Archive out;
    {
        CompressedPropertyArchive stream(out);
        for (const auto& roster : rosters)
            roster->WriteProperties(stream, roster->GetOID());
    }
    const StreamRecordCounts before = CountStreamRecordsForTests();
    std::vector<std::unique_ptr<Roster>> loaded;
    {
        Archive in(std::vector<std::uint8_t>(out.GetData().begin(), out.GetData().end()));
        CompressedPropertyArchive stream(in);
        while (in.GetRemaining() > 0)
            loaded.emplace_back(DynCast<Roster>(Catalog::ReadProperties(stream)));
    }
    EXPECT_GE(CountStreamRecordsForTests().readByPlan - before.readByPlan, 4u);
    ASSERT_EQ(loaded.size(), 4u);
    ASSERT_NE(loaded[0], nullptr);
    const std::unique_ptr<Object> sharedCopy(loaded[0]->members.at(0));
    ASSERT_NE(sharedCopy, nullptr);
    EXPECT_EQ(sharedCopy->GetLabel(), "shared");
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        ASSERT_NE(loaded[i], nullptr);
        const std::vector<Object*>& members = loaded[i]->members;
        ASSERT_EQ(members.size(), 5u);
        const std::unique_ptr<Object> ownCopy(members[2]);
        ASSERT_NE(ownCopy, nullptr);
        EXPECT_EQ(ownCopy->GetLabel(), "own " + std::to_string(i));
        EXPECT_EQ(members[0], sharedCopy.get());
        EXPECT_EQ(members[1], nullptr);
        EXPECT_EQ(members[3], sharedCopy.get());
        EXPECT_EQ(members[4], loaded[0].get());
    }
}

// A chain of records each read inside the one before, deeper than a block of the reader's frames,
// loads whole and in order.
TEST_F(PropertyTableTest, RecordsNestedDeeperThanAFrameBlockLoadInOrder)
{
    constexpr std::size_t length = 150;
    std::vector<std::unique_ptr<Roster>> chain;
    for (std::size_t i = 0; i < length; ++i) {
        chain.push_back(std::make_unique<Roster>(nullptr));
        chain.back()->SetLabel("link " + std::to_string(i));
    }
    for (std::size_t i = 0; i + 1 < length; ++i)
        chain[i]->members = {chain[i + 1].get(), chain[0].get()};
    Archive out;
    {
        CompressedPropertyArchive stream(out);
        chain[0]->WriteProperties(stream, chain[0]->GetOID());
    }
    std::vector<std::unique_ptr<Roster>> loaded;
    {
        Archive in(std::vector<std::uint8_t>(out.GetData().begin(), out.GetData().end()));
        CompressedPropertyArchive stream(in);
        loaded.emplace_back(DynCast<Roster>(Catalog::ReadProperties(stream)));
        EXPECT_EQ(in.GetRemaining(), 0u);
    }
    ASSERT_NE(loaded[0], nullptr);
    while (loaded.size() < length && loaded.back() && !loaded.back()->members.empty()) {
        EXPECT_EQ(loaded.back()->members.at(1), loaded[0].get());
        loaded.emplace_back(DynCast<Roster>(loaded.back()->members.at(0)));
    }
    ASSERT_EQ(loaded.size(), length);
    for (std::size_t i = 0; i < length; ++i) {
        ASSERT_NE(loaded[i], nullptr);
        EXPECT_EQ(loaded[i]->GetLabel(), "link " + std::to_string(i));
    }
    EXPECT_TRUE(loaded.back()->members.empty());
}

// The entries of a loaded reference take an object of their class or a derived one, and refuse any
// other, whatever objects they took before and in whatever order they come.
TEST_F(PropertyTableTest, LoadedReferencesTakeTheirClassOnlyWhateverTheyTookBefore)
{
    Pinboard board(nullptr);
    Marker marker(nullptr);
    BigMarker big(nullptr);
    Tally tally(nullptr);
    Object plain(nullptr);
    const PropertyEntry* single = nullptr;
    const PropertyEntry* list = nullptr;
    for (const PropertyEntry& entry : Pinboard::Properties().Entries()) {
        if (entry.takeReference)
            (entry.resize ? list : single) = &entry;
    }
    ASSERT_NE(single, nullptr);
    ASSERT_NE(list, nullptr);
    board.markers.assign(5, nullptr);
    Base* const offered[] = {&tally, &marker, &plain, &big, &tally, nullptr, &marker, &plain, &big};
    for (int round = 0; round < 2; ++round) {
        for (Base* object : offered) {
            const bool wanted = !object || object == &marker || object == &big;
            Marker* const before = board.pinned;
            EXPECT_EQ(single->takeReference(board, 0, object), wanted);
            EXPECT_EQ(board.pinned, wanted ? static_cast<Marker*>(object) : before);
            board.markers[3] = &marker;
            EXPECT_EQ(list->takeReference(board, 3, object), wanted);
            EXPECT_EQ(board.markers[3], wanted ? static_cast<Marker*>(object) : &marker);
        }
    }
}
