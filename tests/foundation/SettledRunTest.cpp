#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/core/Color.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

// A level whose values between two references are one long run: five bits of one byte, bytes that
// follow on in the object (joined into one copy), a block only its entry writes, and more put texts
// than one reservation holds, so the run reserves again in its middle and after a text too long for
// its room.
class Ledger : public Object {
    TAVREL_CLASS(Ledger, Object, Creatable)
public:
    explicit Ledger(Object* parent) : Object(parent) {}

    // Object's own event byte, which "UserEventMask" stores.
    void MarkEvents(std::uint16_t code) { SetEventMask(Object::classType, code); }
    bool HasEvents(std::uint16_t code) const { return IsEventMaskSet(Object::classType, code); }

    std::uint8_t flags = 0;
    std::uint8_t first = 0;
    std::uint8_t second = 0;
    std::uint8_t third = 0;
    std::string texts[9];
    std::int32_t blocked = 0;
};
TAVREL_DEFINE_CLASS(Ledger)

template <std::uint8_t Mask>
PropertyList<Ledger>& LedgerBit(PropertyList<Ledger>& list, std::string_view name)
{
    return list
        .Value<Storage::StorageBool>(
            name, [](const Ledger& ledger) { return (ledger.flags & Mask) != 0; },
            [](Ledger& ledger, bool on) { ledger.flags = static_cast<std::uint8_t>(on ? ledger.flags | Mask : ledger.flags & ~Mask); })
        .InBit([](const Ledger& ledger) -> const std::uint8_t& { return ledger.flags; }, Mask);
}

template <int Index>
PropertyList<Ledger>& LedgerText(PropertyList<Ledger>& list, std::string_view name)
{
    return list.Value<Storage::StorageString>(
        name, [](const Ledger& ledger) -> const std::string& { return ledger.texts[Index]; },
        [](Ledger& ledger, const std::string& text) { ledger.texts[Index] = text; });
}

const PropertyTable& Ledger::Properties()
{
    static const PropertyTable table([] {
        PropertyList<Ledger> list;
        LedgerBit<1>(list, "Ledger A");
        LedgerBit<2>(list, "Ledger B");
        LedgerBit<8>(list, "Ledger C");
        LedgerBit<16>(list, "Ledger D");
        LedgerBit<128>(list, "Ledger E");
        list.Field<Storage::StorageUnsignedChar, &Ledger::first>("Ledger First")
            .Field<Storage::StorageUnsignedChar, &Ledger::second>("Ledger Second")
            .Field<Storage::StorageUnsignedChar, &Ledger::third>("Ledger Third")
            .Archived(
                "Ledger Block", [](Ledger& ledger, Archive& nested) { nested << ledger.blocked; },
                [](Ledger& ledger, Archive& nested) { nested >> ledger.blocked; });
        LedgerText<0>(list, "Ledger Text 0");
        LedgerText<1>(list, "Ledger Text 1");
        LedgerText<2>(list, "Ledger Text 2");
        LedgerText<3>(list, "Ledger Text 3");
        LedgerText<4>(list, "Ledger Text 4");
        LedgerText<5>(list, "Ledger Text 5");
        LedgerText<6>(list, "Ledger Text 6");
        LedgerText<7>(list, "Ledger Text 7");
        LedgerText<8>(list, "Ledger Text 8");
        return list;
    }());
    return table;
}

// A stream that writes every record by its levels' passes: the bytes a plan must match.
class Unplanned : public CompressedPropertyArchive {
public:
    using CompressedPropertyArchive::CompressedPropertyArchive;
    const PropertyPlan* FindWritePlan(Catalog&) override { return nullptr; }
};

RecordStream::Bytes SaveUnplanned(Base& root)
{
    Archive archive;
    {
        Unplanned stream(archive);
        stream.AddOIDMapEntry(root.GetOID(), root.GetOID());
        root.WriteProperties(stream, root.GetOID());
    }
    return archive.GetBuffer();
}

class SettledRun : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<Ledger>();
    }
};

} // namespace

// Each bit, the joined bytes and every text (short, at the edge of its room, too long for it) come
// back, and the planned records are byte for byte those the passes write.
TEST_F(SettledRun, ALongRunWritesThePassesBytesAndReadsBack)
{
    Object group(nullptr);
    constexpr int Ledgers = 10;
    std::vector<Ledger*> saved;
    for (int k = 0; k < Ledgers; ++k) {
        auto* const ledger = new Ledger(&group);
        ledger->flags = static_cast<std::uint8_t>(0x5B * (k + 1));
        ledger->first = static_cast<std::uint8_t>(k);
        ledger->second = static_cast<std::uint8_t>(200 + k);
        ledger->third = static_cast<std::uint8_t>(100 - k);
        ledger->blocked = -7 * k;
        for (int t = 0; t < 9; ++t)
            ledger->texts[t] = std::string(static_cast<std::size_t>((k * 7 + t * 5) % 40), static_cast<char>('a' + t));
        ledger->SetColor(Color(0x10203040u + static_cast<std::uint32_t>(k)));
        saved.push_back(ledger);
    }
    const RecordStream::Bytes bytes = RecordStream::Save(group);
    EXPECT_EQ(bytes, SaveUnplanned(group));
    const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(bytes);
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), Ledgers);
    for (int k = 0; k < Ledgers; ++k) {
        SCOPED_TRACE(k);
        const auto* const ledger = DynCast<Ledger>(loaded->GetChild(k));
        ASSERT_NE(ledger, nullptr);
        const Ledger& before = *saved[static_cast<std::size_t>(k)];
        EXPECT_EQ(ledger->flags & 0x9B, before.flags & 0x9B);
        EXPECT_EQ(ledger->first, before.first);
        EXPECT_EQ(ledger->second, before.second);
        EXPECT_EQ(ledger->third, before.third);
        EXPECT_EQ(ledger->blocked, before.blocked);
        for (int t = 0; t < 9; ++t)
            EXPECT_EQ(ledger->texts[t], before.texts[t]);
        EXPECT_EQ(ledger->GetColor().GetValue(), before.GetColor().GetValue());
    }
}

// Object's values the writer copies from their members: the ID (a signed member of an unsigned code),
// the event byte with the display style after it, and labels held in place (up to 15 bytes, a zero
// byte inside included) or in a block, short of the put's room or beyond it.
TEST_F(SettledRun, ObjectMembersAndLabelsWriteThePassesBytes)
{
    const std::int32_t ids[] = {0, 1, -1, 127, 128, INT32_MIN, INT32_MAX, -300000};
    const std::string labels[] = {"", "N", std::string("C\0A", 3), std::string(14, 'x'), std::string(15, 'y'),
                                  std::string(16, 'z'), std::string(31, 'w'), std::string(32, 'v'),
                                  std::string(200, 'u')};
    Object group(nullptr);
    std::vector<Ledger*> saved;
    for (std::size_t k = 0; k < std::size(labels); ++k) {
        auto* const ledger = new Ledger(&group);
        ledger->SetLabel(labels[k]);
        ledger->SetID(ids[k % std::size(ids)]);
        ledger->SetDisplayStyle(static_cast<std::int32_t>(k % 4));
        if (k % 2 == 0)
            ledger->MarkEvents(static_cast<std::uint16_t>(1u << (k % 8)));
        saved.push_back(ledger);
    }
    const RecordStream::Bytes bytes = RecordStream::Save(group);
    EXPECT_EQ(bytes, SaveUnplanned(group));
    const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(bytes);
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(static_cast<std::size_t>(loaded->GetNumChildren()), saved.size());
    for (std::size_t k = 0; k < saved.size(); ++k) {
        SCOPED_TRACE(k);
        const auto* const ledger = DynCast<Ledger>(loaded->GetChild(static_cast<int>(k)));
        ASSERT_NE(ledger, nullptr);
        EXPECT_EQ(ledger->GetLabel(), labels[k]);
        EXPECT_EQ(ledger->GetID(), ids[k % std::size(ids)]);
        EXPECT_EQ(ledger->GetDisplayStyle(), static_cast<std::int32_t>(k % 4));
        const auto code = static_cast<std::uint16_t>(1u << (k % 8));
        EXPECT_EQ(ledger->HasEvents(code), k % 2 == 0);
    }
}
