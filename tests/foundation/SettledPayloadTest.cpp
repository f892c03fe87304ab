#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <tavrel/core/Color.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/PropertyTable.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

enum class Shade : std::int32_t { Pale = 3, Deep = 400 };

// A level holding a field of each member form the planned writer takes straight from the object
// (every plain width, both compressed integer codes, an enum) between values it writes through
// their entries (an accessor, a text), so that member runs end at calls and go on after them.
class Gauge : public Geometric3d {
    TAVREL_CLASS(Gauge, Geometric3d, Creatable)
public:
    explicit Gauge(Object* parent) : Geometric3d(parent) {}

    std::int8_t tiny = 0;
    std::uint8_t small = 0;
    std::int16_t shortValue = 0;
    std::uint16_t word = 0;
    std::int32_t count = 0;
    std::uint32_t tally = 0;
    std::int32_t wide = 0;
    std::uint32_t unsignedWide = 0;
    float ratio = 0.0f;
    double exact = 0.0;
    bool on = false;
    Shade shade = Shade::Pale;
    std::string note;
    std::int32_t twice = 0;
    double half = 0.0;
    std::string echo; // what was read for "Gauge Echo"
};
TAVREL_DEFINE_CLASS(Gauge)

const PropertyTable& Gauge::Properties()
{
    static const PropertyTable table(
        PropertyList<Gauge>()
            .Field<Storage::StorageChar, &Gauge::tiny>("Gauge Tiny")
            .Field<Storage::StorageUnsignedChar, &Gauge::small>("Gauge Small")
            .Field<Storage::StorageShort, &Gauge::shortValue>("Gauge Short")
            .Value<Storage::StorageInt>("Gauge Twice", [](const Gauge& gauge) { return gauge.twice * 2; },
                                        [](Gauge& gauge, std::int32_t value) { gauge.twice = value / 2; })
            .Field<Storage::StorageUnsignedShort, &Gauge::word>("Gauge Word")
            .Field<Storage::StorageInt, &Gauge::count>("Gauge Count")
            .Field<Storage::StorageUnsignedInt, &Gauge::tally>("Gauge Tally")
            .Field<Storage::StorageString, &Gauge::note>("Gauge Note")
            .Field<Storage::StorageLong, &Gauge::wide>("Gauge Wide")
            .Field<Storage::StorageUnsignedLong, &Gauge::unsignedWide>("Gauge Unsigned Wide")
            .Field<&Gauge::ratio>("Gauge Ratio")
            .Field<&Gauge::exact>("Gauge Exact")
            .Field<&Gauge::on>("Gauge On")
            .Value<Storage::StorageBool>("Gauge Off", [](const Gauge& gauge) { return !gauge.on; },
                                         [](Gauge& gauge, bool off) { gauge.on = !off; })
            .Value<Storage::StorageString>("Gauge Echo", [](const Gauge& gauge) { return gauge.note.substr(0, 20) + "!"; },
                                           [](Gauge& gauge, const std::string& echo) { gauge.echo = echo; })
            .Value<Storage::StorageDouble>("Gauge Half", [](const Gauge& gauge) { return gauge.half * 2; },
                                           [](Gauge& gauge, double value) { gauge.half = value / 2; })
            .Field<&Gauge::shade>("Gauge Shade"));
    return table;
}

// A level whose runs of values begin and end with a block read by its entry whenever its take
// refuses it (odd values), around references, so that a run stops at its first, last and only value
// and goes on after it.
class Relay : public Object {
    TAVREL_CLASS(Relay, Object, Creatable)
public:
    explicit Relay(Object* parent) : Object(parent) {}

    std::int32_t head = 0;
    std::int32_t middle = 0;
    std::int32_t tail = 0;
    std::int32_t lone = 0;
    Object* next = nullptr;
    Object* back = nullptr;
};
TAVREL_DEFINE_CLASS(Relay)

template <std::int32_t Relay::*Member>
void Block(PropertyList<Relay>& list, std::string_view name)
{
    list.Archived(
        name, [](Relay& relay, Archive& nested) { nested << relay.*Member; },
        [](Relay& relay, Archive& nested) { nested >> relay.*Member; },
        [](const Relay& relay) { return std::optional<std::int32_t>(relay.*Member); },
        [](Relay& relay, std::int32_t value) {
            if (value % 2 != 0)
                return false;
            relay.*Member = value;
            return true;
        });
}

const PropertyTable& Relay::Properties()
{
    static const PropertyTable table([] {
        PropertyList<Relay> list;
        list.Reference("Relay Next", [](const Relay& relay) { return relay.next; },
                       [](Relay& relay, Object* next) { relay.next = next; });
        Block<&Relay::head>(list, "Relay Head");
        list.Field<&Relay::middle>("Relay Middle");
        Block<&Relay::tail>(list, "Relay Tail");
        list.Reference("Relay Back", [](const Relay& relay) { return relay.back; },
                       [](Relay& relay, Object* back) { relay.back = back; });
        Block<&Relay::lone>(list, "Relay Lone");
        return list;
    }());
    return table;
}

// A level whose bools are bits of one byte that reading stores alone: two side by side, then a value,
// then one by itself.
class Switchboard : public Object {
    TAVREL_CLASS(Switchboard, Object, Creatable)
public:
    explicit Switchboard(Object* parent) : Object(parent) {}

    static void Light(Switchboard& board, std::uint8_t lamp, bool on)
    {
        board.lamps = static_cast<std::uint8_t>(on ? board.lamps | lamp : board.lamps & ~lamp);
    }

    std::uint8_t lamps = 0;
    std::int32_t dial = 0;
};
TAVREL_DEFINE_CLASS(Switchboard)

const PropertyTable& Switchboard::Properties()
{
    constexpr auto Lamps = [](const Switchboard& board) -> const std::uint8_t& { return board.lamps; };
    static const PropertyTable table(
        PropertyList<Switchboard>()
            .Value<Storage::StorageBool>("Red", [](const Switchboard& board) { return (board.lamps & 1) != 0; },
                                         [](Switchboard& board, bool on) { Light(board, 1, on); })
            .InBit(Lamps, 1)
            .StoresBitAlone()
            .Value<Storage::StorageBool>("Green", [](const Switchboard& board) { return (board.lamps & 4) != 0; },
                                         [](Switchboard& board, bool on) { Light(board, 4, on); })
            .InBit(Lamps, 4)
            .StoresBitAlone()
            .Field<&Switchboard::dial>("Dial")
            .Value<Storage::StorageBool>("Blue", [](const Switchboard& board) { return (board.lamps & 16) != 0; },
                                         [](Switchboard& board, bool on) { Light(board, 16, on); })
            .InBit(Lamps, 16)
            .StoresBitAlone());
    return table;
}

class SettledPayload : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<Gauge>();
        ClassRegistry::Register<Relay>();
        ClassRegistry::Register<Switchboard>();
    }
};

// Values at the edges of each form: compressed integers below, at and past 255 and negative; labels
// kept in place and in a block, put into the reserved room or too long for it, with a one-byte and a
// longer length; a user property or none.
void Fill(Gauge& gauge, int k)
{
    static constexpr std::int32_t Integers[] = {0, 254, 255, -1, 70000, INT32_MIN};
    static constexpr std::size_t LabelSizes[] = {0, 1, 31, 32, 15, 16, 254, 255, 3, 30, 33, 7};
    const std::int32_t integer = Integers[k % 6];
    gauge.tiny = static_cast<std::int8_t>(-k);
    gauge.small = static_cast<std::uint8_t>(250 + k);
    gauge.shortValue = static_cast<std::int16_t>(-300 * k);
    gauge.word = static_cast<std::uint16_t>(65000 + k);
    gauge.count = integer;
    gauge.tally = static_cast<std::uint32_t>(integer);
    gauge.wide = ~integer;
    gauge.unsignedWide = 0xFFFFFF00u + static_cast<std::uint32_t>(k);
    gauge.ratio = 0.25f * static_cast<float>(k);
    gauge.exact = 1.0 / (k + 3);
    gauge.on = k % 2 == 1;
    gauge.shade = k % 3 == 0 ? Shade::Deep : Shade::Pale;
    gauge.note = std::string(static_cast<std::size_t>(k * 60), 'n');
    gauge.twice = integer / 4;
    gauge.SetColor(Color(static_cast<std::uint32_t>(0x01020304u * static_cast<std::uint32_t>(k + 1))));
    gauge.SetXYZ(Point3d(0.5 * k, -1.0 * k, 2.0));
    gauge.half = 0.75 * k;
    gauge.SetLabel(std::string(LabelSizes[k % 12], static_cast<char>('a' + k)));
    gauge.SetID(integer);
    if (k % 5 == 2)
        gauge.SetProperty("Gauge Kept", std::int32_t{k}, DataStorage::FlagReadable);
    if (k % 2 == 1)
        gauge.SetInvisible(false);
    if (k % 3 == 1)
        gauge.Select(false);
    if (k % 4 == 2)
        gauge.SetClipped(true);
}

void ExpectSame(const Gauge& loaded, const Gauge& saved)
{
    EXPECT_EQ(loaded.tiny, saved.tiny);
    EXPECT_EQ(loaded.small, saved.small);
    EXPECT_EQ(loaded.shortValue, saved.shortValue);
    EXPECT_EQ(loaded.word, saved.word);
    EXPECT_EQ(loaded.count, saved.count);
    EXPECT_EQ(loaded.tally, saved.tally);
    EXPECT_EQ(loaded.wide, saved.wide);
    EXPECT_EQ(loaded.unsignedWide, saved.unsignedWide);
    EXPECT_EQ(loaded.ratio, saved.ratio);
    EXPECT_EQ(loaded.exact, saved.exact);
    EXPECT_EQ(loaded.on, saved.on);
    EXPECT_EQ(loaded.shade, saved.shade);
    EXPECT_EQ(loaded.note, saved.note);
    EXPECT_EQ(loaded.twice, saved.twice);
    EXPECT_EQ(loaded.half, saved.half);
    EXPECT_EQ(loaded.echo, saved.note.substr(0, 20) + "!");
    EXPECT_EQ(loaded.GetID(), saved.GetID());
    EXPECT_EQ(loaded.HasProperty("Gauge Kept"), saved.HasProperty("Gauge Kept"));
    EXPECT_EQ(loaded.GetPropertyAsString("Gauge Kept"), saved.GetPropertyAsString("Gauge Kept"));
    EXPECT_EQ(loaded.GetColor().GetValue(), saved.GetColor().GetValue());
    EXPECT_EQ(loaded.GetXYZ(), saved.GetXYZ());
    EXPECT_EQ(loaded.GetLabel(), saved.GetLabel());
    EXPECT_EQ(loaded.IsVisible(), saved.IsVisible());
    EXPECT_EQ(loaded.IsObjectSelected(), saved.IsObjectSelected());
    EXPECT_EQ(loaded.IsClipped(), saved.IsClipped());
}

} // namespace

// The class's first record names its values; the later ones carry the payloads alone, written from
// the members and the entries in turn. Each reads back as it was saved.
TEST_F(SettledPayload, EveryMemberFormComesBackInTheRecordsAfterTheClassesFirst)
{
    Object group(nullptr);
    constexpr int Gauges = 12;
    std::vector<Gauge*> saved;
    for (int k = 0; k < Gauges; ++k) {
        auto* const gauge = new Gauge(&group);
        Fill(*gauge, k);
        saved.push_back(gauge);
    }
    const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(RecordStream::Save(group));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), Gauges);
    for (int k = 0; k < Gauges; ++k) {
        SCOPED_TRACE(k);
        const auto* const gauge = DynCast<Gauge>(loaded->GetChild(k));
        ASSERT_NE(gauge, nullptr);
        ExpectSame(*gauge, *saved[static_cast<std::size_t>(k)]);
    }
}

// Values a level reads by its entry (odd blocks) at the first, last and only place of their runs, with
// each record's next relay read inline where it comes first: every value comes back, and the
// references name the relays they named.
TEST_F(SettledPayload, ValuesReadByTheirEntriesInsideRunsComeBackAroundReferences)
{
    Object group(nullptr);
    constexpr int Relays = 9;
    std::vector<Relay*> saved;
    for (int k = 0; k < Relays; ++k)
        saved.push_back(new Relay(&group));
    for (int k = 0; k < Relays; ++k) {
        Relay& relay = *saved[static_cast<std::size_t>(k)];
        relay.head = 10 * k + k % 2;
        relay.middle = -k;
        relay.tail = 7 * k;
        relay.lone = k % 3 == 0 ? 1001 + 2 * k : 2 * k;
        relay.next = saved[static_cast<std::size_t>((k + 3) % Relays)];
        relay.back = k > 0 ? saved[static_cast<std::size_t>(k - 1)] : nullptr;
    }
    const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(RecordStream::Save(group));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), Relays);
    const auto relayAt = [&loaded](int k) { return DynCast<Relay>(loaded->GetChild(k)); };
    for (int k = 0; k < Relays; ++k) {
        SCOPED_TRACE(k);
        const Relay* const relay = relayAt(k);
        ASSERT_NE(relay, nullptr);
        const Relay& original = *saved[static_cast<std::size_t>(k)];
        EXPECT_EQ(relay->head, original.head);
        EXPECT_EQ(relay->middle, original.middle);
        EXPECT_EQ(relay->tail, original.tail);
        EXPECT_EQ(relay->lone, original.lone);
        EXPECT_EQ(relay->next, relayAt((k + 3) % Relays));
        EXPECT_EQ(relay->back, k > 0 ? relayAt(k - 1) : nullptr);
    }
}

// Every mix of the stored bits comes back, read together in the records after the class's first; a
// bit no value stores keeps what the new object has. Only a bit of a byte is stored alone.
TEST_F(SettledPayload, BitsStoredAloneComeBackInEveryMix)
{
    Object group(nullptr);
    constexpr int Boards = 10;
    for (int k = 0; k < Boards; ++k) {
        auto* const board = new Switchboard(&group);
        board->lamps = static_cast<std::uint8_t>((k & 1 ? 1 : 0) | (k & 2 ? 4 : 0) | (k & 4 ? 16 : 0) | 2);
        board->dial = 1000 - 7 * k;
    }
    const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(RecordStream::Save(group));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), Boards);
    for (int k = 0; k < Boards; ++k) {
        SCOPED_TRACE(k);
        const auto* const board = DynCast<Switchboard>(loaded->GetChild(k));
        ASSERT_NE(board, nullptr);
        EXPECT_EQ(board->lamps, (k & 1 ? 1 : 0) | (k & 2 ? 4 : 0) | (k & 4 ? 16 : 0));
        EXPECT_EQ(board->dial, 1000 - 7 * k);
    }
    EXPECT_THROW(PropertyList<Switchboard>().Field<&Switchboard::dial>("Dial").StoresBitAlone(), std::logic_error);
}
