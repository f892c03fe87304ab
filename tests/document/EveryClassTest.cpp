// Every model class through its tables: each stored value, set away from what a new object holds,
// survives Copy, both property-stream forms, the framework archive and the text interface, and every
// truncation of the class's records is refused with nothing left behind; made by its name with
// nothing around it, each class answers every read of its text interface, refuses hostile texts with
// nothing changed and takes back every text it reads. A new class needs no round-trip test of its
// own: one entry in ModelClasses puts it here.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/conformers/Conformation.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/conformers/ConformerBond.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/document/ModelClasses.h>
#include <tavrel/foundation/CompressionInteger.h>
#include <tavrel/foundation/InternalBase.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/RuntimeMap.h>
#include <tavrel/foundation/Storage.h>
#include <tavrel/platform/Archive.h>
#include "support/RecordStream.h"
#include "support/Sweep.h"

using namespace Tavrel;

namespace {

using Bytes = std::vector<std::uint8_t>;
using RecordStream::Form;

// ---- The plain form of a record, read back property by property

// One stored element: its code and its payload's place in the record's bytes.
struct Element {
    std::int32_t code;
    std::size_t begin;
    std::size_t end;
};
struct StoredProperty {
    std::string name;
    std::vector<Element> elements;
};

class PlainRecord {
public:
    explicit PlainRecord(Bytes bytes) : m_bytes(std::move(bytes))
    {
        std::size_t at = 0;
        Compressed(at);
        const std::int32_t names = Int32(at);
        for (std::int32_t i = 0; i < names; ++i)
            Text(at);
        const std::int32_t count = Int32(at);
        for (std::int32_t i = 0; i < count; ++i) {
            StoredProperty& property = m_properties.emplace_back();
            property.name = Text(at);
            const bool isArray = Int32(at) == 1;
            const std::uint32_t elements = isArray ? Compressed(at) : 1;
            for (std::uint32_t e = 0; e < elements; ++e) {
                if (isArray) {
                    Text(at);
                    Int32(at);
                }
                const std::int32_t code = Int32(at);
                const std::size_t begin = at;
                SkipPayload(code, at);
                property.elements.push_back({code, begin, at});
            }
        }
        // The record ends after its last property, an empty array's count included.
        m_end = at;
    }

    const Bytes& GetBytes() const { return m_bytes; }
    const std::vector<StoredProperty>& GetProperties() const { return m_properties; }

    // Each value as its code and payload; a reference as whether it is null.
    std::map<std::string, std::vector<std::string>> Values() const
    {
        std::map<std::string, std::vector<std::string>> values;
        for (const StoredProperty& property : m_properties) {
            std::vector<std::string>& out = values[property.name];
            for (const Element& element : property.elements) {
                std::string value = std::to_string(element.code) + ":";
                if (element.code == Storage::StorageObject || element.code == Storage::StoragePair)
                    value += m_bytes[element.begin] == 1 ? "null" : "object";
                else
                    value.append(m_bytes.begin() + static_cast<std::ptrdiff_t>(element.begin),
                                 m_bytes.begin() + static_cast<std::ptrdiff_t>(element.end));
                out.push_back(std::move(value));
            }
        }
        return values;
    }

    // The same record with every plain value and text of its own changed.
    Bytes Changed() const
    {
        Bytes changed;
        std::size_t copied = 0;
        for (const StoredProperty& property : m_properties) {
            for (const Element& element : property.elements) {
                changed.insert(changed.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(copied),
                               m_bytes.begin() + static_cast<std::ptrdiff_t>(element.begin));
                const Bytes payload(m_bytes.begin() + static_cast<std::ptrdiff_t>(element.begin),
                                    m_bytes.begin() + static_cast<std::ptrdiff_t>(element.end));
                const Bytes other = ChangedPayload(element.code, payload);
                changed.insert(changed.end(), other.begin(), other.end());
                copied = element.end;
            }
        }
        changed.insert(changed.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(copied), m_bytes.end());
        return changed;
    }

private:
    std::uint8_t Byte(std::size_t& at) const
    {
        if (at >= m_bytes.size())
            throw std::out_of_range("record ends early");
        return m_bytes[at++];
    }
    std::int32_t Int32(std::size_t& at) const
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= std::uint32_t{Byte(at)} << (8 * i);
        return static_cast<std::int32_t>(value);
    }
    std::uint32_t Compressed(std::size_t& at) const
    {
        const std::uint8_t first = Byte(at);
        return first == 0xFF ? static_cast<std::uint32_t>(Int32(at)) : first;
    }
    std::string Text(std::size_t& at) const
    {
        const std::uint8_t length = Byte(at);
        std::string text;
        for (std::uint8_t i = 0; i < length; ++i)
            text.push_back(static_cast<char>(Byte(at)));
        return text;
    }
    void SkipReference(std::size_t& at) const
    {
        if (Byte(at) != 0 || Compressed(at) != 0)
            return;
        // An inline record.
        const PlainRecord inner(Bytes(m_bytes.begin() + static_cast<std::ptrdiff_t>(at), m_bytes.end()));
        at += inner.m_end;
    }
    void SkipPayload(std::int32_t code, std::size_t& at)
    {
        switch (code) {
        case Storage::StorageObject: SkipReference(at); break;
        case Storage::StoragePair: SkipReference(at); SkipReference(at); break;
        case Storage::StorageString: Text(at); break;
        case Storage::StorageArchive: at += static_cast<std::size_t>(Int32(at)); break;
        case Storage::StorageInt:
        case Storage::StorageUnsignedInt: Compressed(at); break;
        case Storage::StorageChar:
        case Storage::StorageUnsignedChar:
        case Storage::StorageBool: at += 1; break;
        case Storage::StorageShort:
        case Storage::StorageUnsignedShort: at += 2; break;
        case Storage::StorageDouble: at += 8; break;
        default: at += 4; break;
        }
    }

    // Another value of the code: one more, the other truth value, a longer text. References and byte
    // blocks stay.
    static Bytes ChangedPayload(std::int32_t code, const Bytes& payload)
    {
        Bytes other = payload;
        switch (code) {
        case Storage::StorageString:
            other.push_back('x');
            other[0] = static_cast<std::uint8_t>(other[0] + 1);
            break;
        case Storage::StorageBool: other[0] = other[0] == 0 ? 1 : 0; break;
        case Storage::StorageInt:
        case Storage::StorageUnsignedInt: {
            std::uint32_t value = payload[0];
            if (value == 0xFF)
                std::memcpy(&value, payload.data() + 1, 4);
            Archive out;
            CompressionInteger::Write(value + 1, out);
            other = out.GetBuffer();
            break;
        }
        case Storage::StorageFloat: {
            float value = 0.0f;
            std::memcpy(&value, payload.data(), 4);
            value += 1.0f;
            std::memcpy(other.data(), &value, 4);
            break;
        }
        case Storage::StorageDouble: {
            double value = 0.0;
            std::memcpy(&value, payload.data(), 8);
            value += 1.0;
            std::memcpy(other.data(), &value, 8);
            break;
        }
        case Storage::StorageObject:
        case Storage::StoragePair:
        case Storage::StorageArchive: break;
        default: other[0] = static_cast<std::uint8_t>(other[0] + 1); break;
        }
        return other;
    }

    Bytes m_bytes;
    std::vector<StoredProperty> m_properties;
    std::size_t m_end = 0;
};

// ---- Objects of each class

using Tavrel::test::Sweep;

// A new object of the class, with what it needs around it; copies says whether Copy applies to it
// alone, and Keeps which stored values the class keeps as they were read (not derived from others).
template <class T>
struct Sample {
    static T* Make() { return ClassAccess::New<T>(); }
    static constexpr bool copies = true;
    static bool Keeps(const std::string&) { return true; }
};
// A bond joins two atoms; it is copied only with them, inside a copied subtree, and it is clipped
// exactly when both are.
template <>
struct Sample<Bond> {
    static Bond* Make()
    {
        auto* const molecule = new Molecule(nullptr);
        auto* const atom = new Atom3d(molecule, "C");
        return atom->MakeBond(new Atom3d(molecule, "O"), Bond::Double);
    }
    static constexpr bool copies = false;
    static bool Keeps(const std::string& stored) { return stored != "Clip"; }
};
// So is an alternate's bond, between two alternate atoms.
template <>
struct Sample<ConformerBond> {
    static ConformerBond* Make()
    {
        auto* const molecule = new Molecule(nullptr);
        return new ConformerBond(new ConformerAtom(molecule, "C"), new ConformerAtom(molecule, "O"), Bond::Double);
    }
    static constexpr bool copies = false;
    static bool Keeps(const std::string& stored) { return stored != "Clip"; }
};
// A conformation is copied only with its reference.
template <>
struct Sample<Conformation> {
    static Conformation* Make() { return ClassAccess::New<Conformation>(); }
    static constexpr bool copies = false;
    static bool Keeps(const std::string&) { return true; }
};

// A pseudo-atom has no element: it ignores the stored one.
template <class T>
    requires std::is_base_of_v<PseudoAtom, T>
struct Sample<T> {
    static T* Make() { return ClassAccess::New<T>(); }
    static constexpr bool copies = true;
    static bool Keeps(const std::string& stored) { return stored != "Element"; }
};
// A residue stores a PDB name only where its type alone would give another record.
template <class T>
    requires std::is_base_of_v<Residue, T>
struct Sample<T> {
    static T* Make() { return ClassAccess::New<T>(); }
    static constexpr bool copies = true;
    static bool Keeps(const std::string& stored) { return stored != "Residue Name"; }
};
// A monitor is copied only inside a copied subtree that holds it and its items.
template <class T>
    requires std::is_base_of_v<Monitor, T>
struct Sample<T> {
    static T* Make() { return ClassAccess::New<T>(); }
    static constexpr bool copies = false;
    static bool Keeps(const std::string&) { return true; }
};

// A fixed-atom constraint and a harmonic restraint are copied only with a subtree that holds one of
// their atoms at least.
template <class T>
    requires std::is_base_of_v<FixedAtomConstraint, T> || std::is_base_of_v<HarmonicAtomRestraint, T>
struct Sample<T> {
    static T* Make() { return ClassAccess::New<T>(); }
    static constexpr bool copies = false;
    static bool Keeps(const std::string&) { return true; }
};

// Whether the text of a stored value reads back as stored: a constraint shows its label through its
// label format ("Dihedral:" and the label).
template <class T>
bool TextReadsBack(std::string_view textName)
{
    if constexpr (std::is_base_of_v<Constraint, T>)
        return textName != "Name" && textName != "Label";
    else
        return true;
}

template <class T>
T* Load(const Bytes& bytes, Form form)
{
    return DynCast<T>(RecordStream::Load(bytes, form));
}

template <class T>
T* ReadFramework(const Bytes& bytes)
{
    Archive in(bytes);
    return DynCast<T>(static_cast<Base*>(in.ReadObject(&T::GetThisClass())));
}

Bytes WriteFramework(Base& object)
{
    Archive out;
    out.WriteObject(&object);
    return out.GetBuffer();
}

// The stored entry of a name, from the most-derived level down.
const PropertyEntry* FindStored(const PropertyTable* table, const std::string& name)
{
    for (; table; table = table->GetBase()) {
        for (const PropertyEntry& entry : table->Entries()) {
            if (entry.Has(PropertyEntry::Persisted) && entry.name == name)
                return &entry;
        }
    }
    return nullptr;
}

template <class Keep>
std::map<std::string, std::vector<std::string>> Only(std::map<std::string, std::vector<std::string>> values, Keep&& keep)
{
    std::erase_if(values, [&keep](const auto& value) { return !keep(value.first); });
    return values;
}

// Every shorter input is refused (ArchiveException) and leaves no object behind.
template <class Read>
void ExpectTruncationsRefused(const Bytes& bytes, Read&& read, const char* what)
{
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        const std::size_t live = CountLiveObjectsForTests();
        EXPECT_THROW(read(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size))), ArchiveException)
            << what << " cut to " << size << " bytes";
        EXPECT_EQ(CountLiveObjectsForTests(), live) << what << " cut to " << size << " bytes";
    }
}

template <class>
struct ToTypes;
template <class... Classes>
struct ToTypes<ClassList<Classes...>> {
    using type = ::testing::Types<Classes...>;
};

template <class T>
class EveryClassTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};
TYPED_TEST_SUITE(EveryClassTest, ToTypes<ModelClasses>::type);

} // namespace

TYPED_TEST(EveryClassTest, StoredValuesSurviveEveryFormAndTruncationsAreRefused)
{
    using T = TypeParam;
    if constexpr (!std::is_base_of_v<Base, T>) {
        GTEST_SKIP() << "a data-less interface";
    } else if constexpr (std::is_abstract_v<T> || std::is_same_v<T, Base> || T::classKind == ClassKind::DynamicOnly) {
        GTEST_SKIP() << "no records of the class itself";
    } else {
        const Sweep sweep;
        const PropertyTable* const table = Sample<T>::Make()->GetPropertyTable();
        ASSERT_NE(table, nullptr);
        // The record of a new object, with every plain value and text changed, loads as the object
        // under test.
        const PlainRecord changed(PlainRecord(RecordStream::Save(*Sample<T>::Make(), Form::Plain)).Changed());
        const auto kept = [](const std::string& name) { return Sample<T>::Keeps(name); };
        const auto expected = Only(changed.Values(), kept);
        T* const object = Load<T>(changed.GetBytes(), Form::Plain);
        ASSERT_NE(object, nullptr);
        const auto valuesOf = [&kept](Base& loaded) {
            return Only(PlainRecord(RecordStream::Save(loaded, Form::Plain)).Values(), kept);
        };
        EXPECT_EQ(valuesOf(*object), expected);

        for (const Form form : {Form::Plain, Form::Compressed}) {
            const Bytes bytes = RecordStream::Save(*object, form);
            T* const loaded = Load<T>(bytes, form);
            ASSERT_NE(loaded, nullptr);
            EXPECT_EQ(valuesOf(*loaded), expected) << (form == Form::Plain ? "plain" : "compressed") << " stream";
            ExpectTruncationsRefused(bytes, [form](const Bytes& cut) { delete RecordStream::Load(cut, form); },
                                     form == Form::Plain ? "plain record" : "compressed record");
        }

        const Bytes framework = WriteFramework(*object);
        T* const read = ReadFramework<T>(framework);
        ASSERT_NE(read, nullptr);
        // A record of a node alone holds no parent: that comes only with the parent's record.
        const auto archived = [table](const std::string& name) {
            const PropertyEntry* const entry = FindStored(table, name);
            return entry && entry->IsArchived() && name != "Parent";
        };
        EXPECT_EQ(Only(valuesOf(*read), archived), Only(expected, archived)) << "framework archive";
        // A refused framework read leaves the records it completed to its caller, as for a document.
        ExpectTruncationsRefused(framework, [](const Bytes& cut) {
            const std::uint32_t before = Base::GetLastOID();
            try {
                delete ReadFramework<T>(cut);
            } catch (const ArchiveException&) {
                TreeNode::DeleteParentlessSince(before, Base::GetLastOID());
                throw;
            }
        }, "framework record");

        if constexpr (Sample<T>::copies) {
            std::unique_ptr<Base> copy(object->Copy());
            ASSERT_NE(copy, nullptr);
            const auto copied = [table](const std::string& name) {
                return !FindStored(table, name)->Has(PropertyEntry::NotCopied);
            };
            EXPECT_EQ(Only(valuesOf(*copy), copied), Only(expected, copied)) << "copy";
        }

        if constexpr (std::is_base_of_v<Object, T>) {
            for (const StoredProperty& property : changed.GetProperties()) {
                const PropertyEntry* const entry = FindStored(table, property.name);
                if (!entry || entry->textName.empty() || !entry->getText || !entry->setText || entry->Has(PropertyEntry::ReadOnly) ||
                    !TextReadsBack<T>(entry->textName))
                    continue;
                T* const fresh = Sample<T>::Make();
                const std::string name(entry->textName);
                EXPECT_TRUE(fresh->SetPropertyFromString(name, object->GetPropertyAsString(name))) << name;
                EXPECT_EQ(valuesOf(*fresh)[property.name], expected.at(property.name)) << "text " << name;
            }
        }
    }
}

// ---- The text interface of every class, made by name with nothing around it and as a sample

namespace {

// Texts that are no value of any property but a free text (a label) or, for some, a real, or that are
// one only by the number or word they begin with: empty, blank, out of range, not a number, more
// than the value, with a zero byte, not UTF-8, very long.
const std::vector<std::string>& HostileTexts()
{
    static const std::vector<std::string> texts = {
        "", "   ", "\t\n", "1e39", "1e400", "-1e400", "1.5.5", "1 2 nan", "1\xff", "1 2 3 4 5", "12 A", "nan", "inf",
        "-inf", "NaN", "infinity", "99999999999999999999", "2147483648", "-2147483649", "4294967296", "0x10",
        std::string("1\0", 2), std::string("\0", 1), std::string("true\0", 5), "\xc3\x28", "\xff\xfe",
        std::string(100000, '9'), "1" + std::string(100000, ' ') + "2", std::string(100000, 'y'),
    };
    return texts;
}

// Every text name of the object's levels (and their aliases), once; with settable, those that the
// levels set (the others make user properties).
std::vector<std::string> TextNames(const Object& object, bool settable = false)
{
    std::vector<std::string> names;
    for (const PropertyTable* table = object.GetPropertyTable(); table; table = table->GetTextBase()) {
        for (const PropertyEntry& entry : table->Entries()) {
            for (const std::string_view name : {entry.textName, entry.alias}) {
                const bool taken = !settable || object.GetPropertyTable()->FindText(name, PropertyTable::Use::Set);
                if (!name.empty() && taken && std::find(names.begin(), names.end(), name) == names.end())
                    names.emplace_back(name);
            }
        }
    }
    return names;
}

// What the text interface shows of an object: each text read and each listed descriptor.
using Seen = std::map<std::string, std::string>;

Seen Look(Object& object, const std::vector<std::string>& names)
{
    Seen seen;
    for (const std::string& name : names)
        seen["text " + name] = object.GetPropertyAsString(name);
    ObjectProperty::Array listed;
    object.GetProperties(listed);
    for (const ObjectProperty& property : listed)
        seen["listed " + property.GetName()] = property.GetStringValue();
    return seen;
}

// A short text for a message.
std::string Shown(std::string_view text)
{
    std::string shown;
    for (const char c : text.substr(0, 24))
        shown += c >= ' ' && c < 127 ? std::string(1, c)
                                     : StringUtils::Format("\\x%02x", static_cast<unsigned char>(c));
    return '"' + shown + (text.size() > 24 ? "...\"" : "\"");
}

// The entries that differ, empty when none does.
std::string Changes(const Seen& before, const Seen& after)
{
    std::string changes;
    for (const auto& [key, value] : after) {
        const auto was = before.find(key);
        if (was == before.end() || was->second != value)
            changes += key + ": " + (was == before.end() ? "none" : Shown(was->second)) + " -> " + Shown(value) + "; ";
    }
    for (const auto& [key, value] : before) {
        if (!after.contains(key))
            changes += key + ": " + Shown(value) + " -> none; ";
    }
    return changes;
}

// The stored values that differ between two records of an object, empty when none does.
std::string StoredChanges(const Bytes& before, const Bytes& after)
{
    if (before == after)
        return {};
    Seen was;
    Seen is;
    for (const auto& [record, seen] : {std::pair{&before, &was}, std::pair{&after, &is}}) {
        for (const auto& [name, values] : PlainRecord(*record).Values()) {
            for (std::size_t i = 0; i < values.size(); ++i)
                (*seen)["stored " + name + " " + std::to_string(i)] = values[i];
        }
    }
    return Changes(was, is);
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && StringUtils::IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && StringUtils::IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::size_t SkipBlanks(std::string_view text, std::size_t pos)
{
    while (pos < text.size() && StringUtils::IsSpace(text[pos]))
        ++pos;
    return pos;
}

// The numbers a stream extracts one after another from the start of a text, each after white space
// (as the standard library reads them); with whole, none unless they make up the whole text.
std::vector<double> Numbers(std::string_view text, bool whole)
{
    std::vector<double> numbers;
    std::size_t pos = 0;
    while (true) {
        std::size_t at = SkipBlanks(text, pos);
        if (!numbers.empty() && at == pos)
            break;
        at += at < text.size() && text[at] == '+' ? 1 : 0;
        double value = 0.0;
        const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
        if (error != std::errc())
            break;
        numbers.push_back(value);
        pos = static_cast<std::size_t>(end - text.data());
    }
    if (whole && SkipBlanks(text, pos) != text.size())
        numbers.clear();
    return numbers;
}

// The integer a stream extracts from the start of a text, or none.
std::optional<long long> LeadingInteger(std::string_view text)
{
    std::size_t at = SkipBlanks(text, 0);
    at += at < text.size() && text[at] == '+' ? 1 : 0;
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
    return error == std::errc() ? std::optional(value) : std::nullopt;
}

// Whether a property that took a text reads back as what the text begins with: the same text (a free
// text); the numbers a stream extracts from its start (to float precision) or the integer, from the
// text as it is or without its blanks (a formal charge drops them), a zero possibly reading as the
// empty text (a neutral charge); or true or false (a switch takes any text).
bool ReadsBackAs(const std::string& read, const std::string& text)
{
    const std::string_view shown = Trimmed(read);
    if (shown == Trimmed(text) || StringUtils::EqualsNoCase(shown, "true") ||
        StringUtils::EqualsNoCase(shown, "false"))
        return true;
    std::string compact;
    for (const char c : text) {
        if (!StringUtils::IsSpace(c))
            compact += c;
    }
    const std::vector<double> readNumbers = Numbers(read, true);
    const auto near = [](double number, double leading) {
        return std::fabs(number - leading) <= 1e-6 * std::fabs(leading);
    };
    for (const std::string_view form : {std::string_view(text), std::string_view(compact)}) {
        const std::vector<double> leading = Numbers(form, false);
        if (!readNumbers.empty() && readNumbers.size() <= leading.size() &&
            std::equal(readNumbers.begin(), readNumbers.end(), leading.begin(), near))
            return true;
        const std::optional<long long> integer = LeadingInteger(form);
        if (integer && ((readNumbers.size() == 1 && readNumbers.front() == static_cast<double>(*integer)) ||
                        (shown.empty() && *integer == 0)))
            return true;
    }
    return false;
}

// Whether the entry sets a stored text (a label): any text is a value of it.
bool IsFreeText(const PropertyEntry& entry)
{
    return entry.Has(PropertyEntry::Persisted) && entry.code == Storage::StorageString;
}

// Whether a text is a value the entry may take whatever it then reads: any text for a free text, a
// text beginning with a number within the float range for a real (a position an object keeps but
// does not show).
bool IsValueOf(const PropertyEntry& entry, const std::string& text)
{
    const std::vector<double> numbers = Numbers(text, false);
    const bool real =
        !entry.getInteger && !numbers.empty() && std::fabs(numbers.front()) <= std::numeric_limits<float>::max();
    return IsFreeText(entry) || real;
}

// Every read answers; every hostile text is refused with nothing changed, or reads back as what it
// begins with (an object that has no such value may take it and change nothing); "-0", where it is
// taken, acts as "0"; every text read is taken back as it is.
template <class T>
void CheckTextInterface(Object& object, const char* how)
{
    const std::vector<std::string> names = TextNames(object);
    for (const std::string& name : names)
        object.GetPropertyAsObjectProperty(name);
    // Other names: a class name reads a path, any other nothing.
    for (const std::string& name : HostileTexts()) {
        EXPECT_EQ(object.GetPropertyAsString(name), "") << how;
        EXPECT_FALSE(object.GetPropertyAsObjectProperty(name).HasValue()) << how;
    }
    EXPECT_EQ(object.GetPropertyAsString(object.GetClassHierarchyName()), object.GetInvariant()) << how;
    ObjectProperty::Array user;
    object.GetUserProperties(user);
    const std::vector<std::string> settable = TextNames(object, true);
    for (const std::string& name : settable) {
        const PropertyEntry& entry = *object.GetPropertyTable()->FindText(name, PropertyTable::Use::Set);
        // The record while no text was taken: a refused text leaves it as it is.
        std::optional<Bytes> record = RecordStream::Save(object, Form::Plain);
        Seen before = Look(object, names);
        for (const std::string& text : HostileTexts()) {
            if (object.SetPropertyFromString(name, text)) {
                if (!IsValueOf(entry, text) && !ReadsBackAs(object.GetPropertyAsString(name), text)) {
                    const std::string read = object.GetPropertyAsString(name);
                    const std::string stored =
                        record ? StoredChanges(*record, RecordStream::Save(object, Form::Plain)) : "";
                    EXPECT_EQ(Changes(before, Look(object, names)) + stored, "")
                        << how << ": " << name << " took " << Shown(text) << " as " << Shown(read);
                }
                record.reset();
                before = Look(object, names);
                continue;
            }
            Seen after = Look(object, names);
            EXPECT_EQ(Changes(before, after), "") << how << ": " << name << " refused " << Shown(text);
            before = std::move(after);
        }
        if (record) {
            EXPECT_EQ(StoredChanges(*record, RecordStream::Save(object, Form::Plain)), "")
                << how << ": " << name << " refused every hostile text";
        }
        if (object.SetPropertyFromString(name, "-0")) {
            const Seen afterMinusZero = Look(object, names);
            EXPECT_TRUE(object.SetPropertyFromString(name, "0")) << how << ": " << name;
            if (!IsFreeText(entry)) {
                EXPECT_EQ(Changes(afterMinusZero, Look(object, names)), "") << how << ": " << name << " -0 is not 0";
            }
        }
    }
    for (const std::string& name : settable) {
        const std::string text = object.GetPropertyAsString(name);
        const Bytes record = RecordStream::Save(object, Form::Plain);
        const bool taken = object.SetPropertyFromString(name, text);
        if (TextReadsBack<T>(name)) {
            EXPECT_EQ(object.GetPropertyAsString(name), text) << how << ": " << name << " read " << Shown(text);
        }
        if (!taken) {
            EXPECT_EQ(StoredChanges(record, RecordStream::Save(object, Form::Plain)), "")
                << how << ": " << name << " refused its own text " << Shown(text);
        }
    }
}

} // namespace

TYPED_TEST(EveryClassTest, TextInterfaceAnswersEveryReadAndRefusesHostileTexts)
{
    using T = TypeParam;
    if constexpr (!std::is_base_of_v<Object, T> || std::is_abstract_v<T>) {
        GTEST_SKIP() << "no text interface of its own objects";
    } else {
        const Sweep sweep;
        if constexpr (T::classKind == ClassKind::Creatable) {
            auto* const named = dynamic_cast<T*>(RuntimeMap::CreateObject(T::classInstance->GetClassHierarchyName()));
            ASSERT_NE(named, nullptr);
            CheckTextInterface<T>(*named, "made by name");
        }
        // Samples other than bonds are made bare, as by name.
        if constexpr (std::is_base_of_v<Bond, T>)
            CheckTextInterface<T>(*Sample<T>::Make(), "between two atoms");
    }
}
