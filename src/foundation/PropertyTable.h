// PropertyTable: one class level's properties, declared once, driving both record forms and its text interface.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include <tavrel/core/Color.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/core/SmallString.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/CompressionInteger.h>
#include <tavrel/foundation/ObjectProperty.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/Storage.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

// One word of an integer's text form: the value and its word.
struct PropertyWord {
    std::int32_t value;
    std::string_view word;
};

// A plan's read of a run of settled values: one link per position, each reading its payload in
// place and going on to the next link itself, so that a run costs no loop around the reads. A link
// stops the run where its payload is not taken in place (at is then the payload's place, link the
// link that stopped); the link after the run's last value ends it (link null).
struct ValueLink {
    struct Stop {
        const std::uint8_t* at;
        const ValueLink* link;
    };
    Stop (*read)(const std::uint8_t* at, const std::uint8_t* end, Base& object, const ValueLink* link);
    // Bits: where the byte lies from the object, and the masks of its bits in the order of the values.
    std::uint32_t offset = 0;
    std::uint8_t masks[3] = {};
    std::uint8_t all = 0; // the masks together

    // The link of an entry's in-place read Read (captureless: read(at, end, object)).
    template <class Read>
    static Stop Linked(const std::uint8_t* at, const std::uint8_t* end, Base& object, const ValueLink* link)
    {
        if (const std::uint8_t* const next = Read{}(at, end, object)) [[likely]]
            return link[1].read(next, end, object, link + 1);
        return {at, link};
    }
    // The link of two or three values side by side that are bits of one byte which reading stores
    // alone (PropertyEntry::BitAlone): one store sets them all. The values after the first keep links
    // of their own, for runs that begin among them.
    template <std::size_t Count>
    static Stop Bits(const std::uint8_t* at, const std::uint8_t* end, Base& object, const ValueLink* link)
    {
        if (static_cast<std::size_t>(end - at) < Count) [[unlikely]]
            return {at, link};
        std::uint8_t& byte = reinterpret_cast<std::uint8_t*>(&object)[link->offset];
        unsigned set = 0;
        for (std::size_t i = 0; i < Count; ++i)
            set |= at[i] != 0 ? unsigned{link->masks[i]} : 0u;
        byte = static_cast<std::uint8_t>((byte & ~unsigned{link->all}) | set);
        return link[Count].read(at + Count, end, object, link + Count);
    }
    // The link after a run, and the link of a value that is never read in place.
    static Stop Ends(const std::uint8_t* at, const std::uint8_t*, Base&, const ValueLink*) { return {at, nullptr}; }
    static Stop TakesNothing(const std::uint8_t* at, const std::uint8_t*, Base&, const ValueLink* link)
    {
        return {at, link};
    }
};

// One property of a class level. The stream side (Persisted) has the stored name, the storage code,
// the typed write and read halves of the property's line and, for arrays, the step that sizes the
// array to the stored count; a plan calls them by position. The framework-archive column writes and
// reads the field in the level's Serialize (null: the stream alone has it); an entry that is not
// Persisted but has this column is a field of the framework archive only. The text side has the
// name (and an alias) in the host's text interface, the text form, the parse, and the descriptor
// (Shown). Functions take the object as Base: the table of a level is only ever used with objects of
// that level.
struct PropertyEntry {
    enum Flag : std::uint8_t {
        Persisted = 1,  // written and read by the property stream under `name`
        Shown = 2,      // described by GetPropertyAsObjectProperty and listed by GetProperties
        ReadOnly = 4,   // SetPropertyFromString refuses it: false, nothing changed
        Prefix = 8,     // the text name matches every name that begins with it
        Array = 16,     // stored as an array: write writes it whole, read takes one element
        NotCopied = 32, // a copy of the object does not take the value (it lives in an Uncopied member)
        BitAlone = 64,  // a bit of a byte (memberMask) whose read stores the bit and does nothing else
    };
    static constexpr std::uint32_t AnySchema = 0xFFFFFFFFu;

    std::string_view name;
    Storage::StorageType code = Storage::StorageObject;
    std::string_view textName;
    std::string_view alias;
    std::uint8_t flags = 0;
    ObjectProperty::PropertyType propertyType = 0;
    void (*write)(PropertyPass&, std::string_view name, Base&) = nullptr;
    void (*read)(PropertyPass&, std::string_view name, Base&) = nullptr;
    void (*resize)(Base&, std::size_t count) = nullptr;
    // A plan's read of a settled value straight from the input: the payload at `at` (the input ends
    // at end) into the object; the position after it, or null, with nothing read or changed, for a
    // payload it does not take in place (read then takes it from the stream). Null for entries
    // whose values always go through read.
    const std::uint8_t* (*readInPlace)(const std::uint8_t* at, const std::uint8_t* end, Base&) = nullptr;
    // The same as the link of a run (ValueLink::Linked of it); null when readInPlace is.
    ValueLink::Stop (*readLinked)(const std::uint8_t* at, const std::uint8_t* end, Base&, const ValueLink*) = nullptr;
    // A plan's read of one stored reference, the element at index of an array: hands the object (null
    // allowed) to the level as read does with it in a holder; true when the level took it.
    bool (*takeReference)(Base&, std::size_t index, Base* referenced) = nullptr;
    // An object reference's objects (code 0): how many there are (1 unless an array) and each by
    // index, for a plan that writes them.
    std::size_t (*references)(const Base&) = nullptr;
    Base* (*referenced)(const Base&, std::size_t index) = nullptr;
    // An array of references the level lists for each record (ReferenceList), in place of the two.
    std::vector<Base*> (*members)(const Base&) = nullptr;
    void (*archiveWrite)(Archive&, Base&, const PropertyEntry&) = nullptr;
    void (*archiveRead)(Archive&, Base&, const PropertyEntry&) = nullptr;
    // A value's payload alone, for writers that hold the stream's name and code of it already: the
    // member whose memberSize bytes give it (its type being the code's value type, a 7 or 8 then
    // compressed; a SmallString for a text; or a byte block's value whose archive form is its bytes,
    // after the block's length),
    // or a writer of it that returns false, having written nothing, when the value needs the stream
    // (a byte block that is not plain). Null where the entry has none.
    const void* (*member)(const Base&) = nullptr;
    bool (*payload)(Archive&, const Base&) = nullptr;
    std::uint8_t memberSize = 0;
    std::uint8_t memberMask = 0; // a bool that is a bit of the member byte: the bit's mask
    // The payload put into room the writer has reserved, at most putRoom bytes from out: the end, or
    // null, having written nothing, when this value needs more room (payload writes it then).
    std::uint8_t* (*put)(std::uint8_t* out, const Base&) = nullptr;
    std::uint8_t putRoom = 0;
    // Framework-archive records of schemas from fromSchema up to, not including, untilSchema hold the
    // field; one that only older schemas hold is never written. A record of unknown schema (all ones)
    // holds every field that later schemas hold.
    std::uint32_t fromSchema = 0;
    std::uint32_t untilSchema = AnySchema;
    // An integer value as a wide integer, for a framework form of another width (ArchiveAs).
    std::int64_t (*getInteger)(const Base&) = nullptr;
    void (*setInteger)(Base&, std::int64_t) = nullptr;
    std::string (*getText)(const Base&, const PropertyEntry&) = nullptr;
    bool (*setText)(Base&, std::string_view, const PropertyEntry&) = nullptr;
    ObjectProperty (*describe)(const Base&, const PropertyEntry&) = nullptr;
    // The text form of a number (printf), in the text and the descriptor alike; null for the default.
    const char* format = nullptr;
    // The words of an integer's values, when its text is a word.
    std::span<const PropertyWord> words;
    // The values the descriptor lists as allowed (the words when there are none).
    std::vector<std::string_view> choices;
    // The numbers a text may give, bounds included.
    double lowest = -std::numeric_limits<double>::infinity();
    double highest = std::numeric_limits<double>::infinity();

    bool Has(Flag flag) const { return (flags & flag) != 0; }
    bool Admits(double number) const { return number >= lowest && number <= highest; }
    // Whether the framework archive holds the field.
    bool IsArchived() const { return archiveWrite != nullptr; }
    // Whether a framework-archive record of this schema holds the field; a written record always
    // does, unless only older schemas hold it.
    bool IsArchivedIn(std::uint32_t schema) const
    {
        return IsArchived() && schema >= fromSchema && (untilSchema == AnySchema || schema < untilSchema);
    }
    bool IsWritten() const { return IsArchived() && untilSchema == AnySchema; }
    // Readable, and writable when it takes a text.
    std::int32_t Access() const;
    // The text name or the alias, without regard to case (a prefix of the name for Prefix entries).
    bool MatchesText(std::string_view text) const;
};

// The framework archive's form of a stored value by its storage code: the code's value type in its
// little-endian bytes (bool one byte, text a framework string).
namespace ArchiveForm {
template <Storage::StorageType Code>
using Value = typename StorageValueOrText<Code, std::string>::type;

template <Storage::StorageType Code, class V>
void Write(Archive& archive, const V& value)
{
    if constexpr (Code == Storage::StorageString)
        archive << std::string_view(value);
    else
        archive << static_cast<Value<Code>>(value);
}

template <Storage::StorageType Code>
Value<Code> Read(Archive& archive)
{
    Value<Code> value{};
    archive >> value;
    return value;
}

// A field that only the framework archive holds: arithmetic values in their bytes, anything else by
// its archive operators.
template <class V>
void WriteField(Archive& archive, const V& value)
{
    archive << value;
}
template <class V>
void ReadField(Archive& archive, V& field)
{
    V value = field;
    archive >> value;
    field = std::move(value);
}

// Copies size bytes, from Width up to twice as many, as two moves of Width that may overlap: no call.
template <std::size_t Width>
std::uint8_t* CopyBoth(std::uint8_t* out, const char* from, std::size_t size)
{
    std::memcpy(out, from, Width);
    std::memcpy(out + size - Width, from + size - Width, Width);
    return out + size;
}

// The value types whose archive form is always the same number of plain bytes (0 for any other):
// their byte blocks go straight into the stream.
template <class V>
inline constexpr std::size_t PlainSize = 0;
template <>
inline constexpr std::size_t PlainSize<Color> = sizeof(std::uint32_t);
template <>
inline constexpr std::size_t PlainSize<Point3d> = 3 * sizeof(float);

// A field of a PlainSize type from its plain bytes, as its archive operator reads them.
inline void ReadPlain(const std::uint8_t* bytes, Color& field)
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    field.SetValue(value);
}
inline void ReadPlain(const std::uint8_t* bytes, Point3d& field)
{
    Point3d read;
    std::memcpy(&read.x, bytes, sizeof read.x);
    std::memcpy(&read.y, bytes + sizeof read.x, sizeof read.y);
    std::memcpy(&read.z, bytes + sizeof read.x + sizeof read.y, sizeof read.z);
    field = read;
}
// Whether a plain value's archive form is its bytes as they lie in memory.
template <class V>
inline constexpr bool PlainBytes = false;
template <>
inline constexpr bool PlainBytes<Color> = sizeof(Color) == PlainSize<Color>;
template <>
inline constexpr bool PlainBytes<Point3d> = sizeof(Point3d) == PlainSize<Point3d>;
} // namespace ArchiveForm

// The property stream's payloads of plain values and texts, read in place from input the caller
// holds up to end: each gives the position after the payload, or null, with nothing read, when the
// input up to end does not hold the whole payload. A text is a view of the input.
namespace StreamPayload {
template <Storage::StorageType Code>
using Value = typename StorageValueOrText<Code, std::string_view>::type;

// Whether a value of the code is read in place: texts and plain values (codes 1 and 3 to 13).
template <Storage::StorageType Code>
inline constexpr bool InPlace = Code == Storage::StorageString || (Code >= Storage::StorageChar && Code <= Storage::StorageBool);

template <class V>
const std::uint8_t* ReadBytes(const std::uint8_t* at, const std::uint8_t* end, V& value)
{
    if (static_cast<std::size_t>(end - at) < sizeof value)
        return nullptr;
    std::memcpy(&value, at, sizeof value);
    return at + sizeof value;
}

// A framework string: length below 255 in one byte; else 0xFF and a u16 below 0xFFFF; else 0xFF,
// 0xFFFF and a u32.
inline const std::uint8_t* ReadText(const std::uint8_t* at, const std::uint8_t* end, std::string_view& text)
{
    if (at == end)
        return nullptr;
    std::size_t length = *at++;
    if (length == 0xFF) {
        std::uint16_t medium = 0;
        if (!(at = ReadBytes(at, end, medium)))
            return nullptr;
        length = medium;
        if (medium == 0xFFFF) {
            std::uint32_t wide = 0;
            if (!(at = ReadBytes(at, end, wide)))
                return nullptr;
            length = wide;
        }
    }
    if (length > static_cast<std::size_t>(end - at))
        return nullptr;
    text = std::string_view(reinterpret_cast<const char*>(at), length);
    return at + length;
}

template <Storage::StorageType Code>
const std::uint8_t* Read(const std::uint8_t* at, const std::uint8_t* end, Value<Code>& value)
{
    static_assert(InPlace<Code>);
    if constexpr (Code == Storage::StorageString) {
        return ReadText(at, end, value);
    } else if constexpr (Code == Storage::StorageInt || Code == Storage::StorageUnsignedInt) {
        std::uint32_t read = 0;
        at = CompressionInteger::Get(at, end, read);
        value = static_cast<Value<Code>>(read);
        return at;
    } else if constexpr (Code == Storage::StorageBool) {
        if (at == end)
            return nullptr;
        value = *at != 0;
        return at + 1;
    } else {
        return ReadBytes(at, end, value);
    }
}

// A byte block of exactly size bytes: the position of its bytes, or null for a block of another
// length or one the input does not hold.
template <std::size_t Size>
const std::uint8_t* ReadPlainBlock(const std::uint8_t* at, const std::uint8_t* end)
{
    std::int32_t length = 0;
    if (static_cast<std::size_t>(end - at) < sizeof length + Size)
        return nullptr;
    std::memcpy(&length, at, sizeof length);
    return static_cast<std::size_t>(length) == Size ? at + sizeof length : nullptr;
}
} // namespace StreamPayload

// The text forms of the value types the tables use: "%d" for integers, "%.4f" for reals and each
// coordinate of a point, "true" and "false", the core library's form for colours. Parsing reads a
// number as stream extraction does, trailing text ignored (StringUtils::StringToInteger and the
// like; a bool as StringToBoolean), and takes it within the entry's range; it fills value (which
// holds the current value: a colour keeps what the text does not give) and returns false, leaving
// the property unchanged, when the text cannot be taken. An entry's format or words take the place
// of the default forms.
namespace PropertyText {
std::string ToText(const std::string& value);
std::string ToText(std::int32_t value);
std::string ToText(float value);
std::string ToText(double value);
std::string ToText(bool value);
std::string ToText(const Color& value);
std::string ToText(const Point3d& value);
bool FromText(std::string_view text, std::string& value);
bool FromText(std::string_view text, std::string_view& value);
bool FromText(std::string_view text, std::int32_t& value);
bool FromText(std::string_view text, float& value);
bool FromText(std::string_view text, double& value);
bool FromText(std::string_view text, bool& value);
bool FromText(std::string_view text, Color& value);
bool FromText(std::string_view text, Point3d& value);
// The word of a value; empty for a value without one.
std::string_view WordOf(std::int32_t value, std::span<const PropertyWord> words);
// The value a word (without regard to case) names; false for another text.
bool ValueOf(std::string_view word, std::span<const PropertyWord> words, std::int32_t& value);

template <class V>
std::string ToText(const V& value, const PropertyEntry& entry)
{
    if constexpr (std::is_integral_v<V> || std::is_enum_v<V>) {
        if (!entry.words.empty())
            return std::string(WordOf(static_cast<std::int32_t>(value), entry.words));
    }
    if constexpr (std::is_arithmetic_v<V>) {
        if (entry.format)
            return StringUtils::Format(entry.format, value);
    }
    if constexpr (std::is_enum_v<V> || (std::is_integral_v<V> && !std::is_same_v<V, bool>))
        return ToText(static_cast<std::int32_t>(value));
    else
        return ToText(value);
}

template <class V>
bool FromText(std::string_view text, V& value, const PropertyEntry& entry)
{
    if constexpr (std::is_integral_v<V> || std::is_enum_v<V>) {
        if (!entry.words.empty()) {
            std::int32_t named = 0;
            if (!ValueOf(text, entry.words, named))
                return false;
            value = static_cast<V>(named);
            return true;
        }
    }
    if constexpr (std::is_enum_v<V>) {
        std::int32_t number = 0;
        if (!FromText(text, number) || !entry.Admits(number))
            return false;
        value = static_cast<V>(number);
        return true;
    } else if constexpr (std::is_arithmetic_v<V> && !std::is_same_v<V, bool>) {
        V number = value;
        if (!FromText(text, number) || !entry.Admits(static_cast<double>(number)))
            return false;
        value = number;
        return true;
    } else {
        return FromText(text, value);
    }
}

// The descriptor of an entry with a value (or its text): the entry's text name, access and category,
// and its choices (or words) as the allowed values.
ObjectProperty Describe(const PropertyEntry& entry, ObjectProperty property);
template <class V>
ObjectProperty Describe(const PropertyEntry& entry, const V& value)
{
    const std::int32_t access = entry.Access();
    std::string name(entry.textName);
    if constexpr (std::is_enum_v<V> || (std::is_integral_v<V> && !std::is_same_v<V, bool>))
        return Describe(entry, ObjectProperty(std::move(name), static_cast<std::int32_t>(value), access, entry.propertyType));
    else
        return Describe(entry, ObjectProperty(std::move(name), value, access, entry.propertyType));
}
} // namespace PropertyText

// The entries of one level of class T, built in order. Accessors are captureless lambdas (member
// pointers for fields), so each entry is a handful of plain function pointers. Each stored-value call
// adds an entry; Text adds a text-only one, ArchiveOnly and ArchiveField one of the framework archive
// only; the other calls refine the last entry. A stored value's framework-archive form follows its
// storage code (ArchiveForm) unless refined: ArchiveAs (another integer width), FromSchema,
// ArchiveWith (a form of its own) or StreamOnly (none).
template <class T>
class PropertyList {
public:
    // A stored field of a plain code (3 to 13) or code 1, converted to and from the code's value type.
    template <Storage::StorageType Code, auto Member>
    PropertyList& Field(std::string_view name)
    {
        using F = std::remove_cvref_t<decltype(std::declval<T&>().*Member)>;
        Stored(name, Code, [](PropertyPass& pass, std::string_view stored, Base& object) {
            pass.WriteValue<Code>(stored, Of(object).*Member);
        }, [](PropertyPass& pass, std::string_view, Base& object) {
            if constexpr (Code == Storage::StorageString)
                pass.ReadText([&object](std::string_view text) { Of(object).*Member = text; });
            else
                pass.ReadValue<Code>([&object](const auto& value) { Of(object).*Member = static_cast<F>(value); });
        });
        Payload<Code>([](const T& object) -> decltype(auto) { return object.*Member; });
        if constexpr (std::is_same_v<F, SmallString>) {
            // A writer copies a text held in place from the member, and puts any other.
            Last().member = [](const Base& object) -> const void* { return &(Of(object).*Member); };
            Last().memberSize = sizeof(F);
        }
        if constexpr (Code != Storage::StorageString) {
            using Stored = std::conditional_t<std::is_enum_v<F>, std::underlying_type<F>, std::type_identity<F>>;
            if constexpr (std::is_same_v<typename Stored::type, StorageValueType<Code>>)
                LiesIn<Member>();
        }
        if constexpr (StreamPayload::InPlace<Code>) {
            InPlace([](const std::uint8_t* at, const std::uint8_t* end, Base& object) -> const std::uint8_t* {
                StreamPayload::Value<Code> value{};
                if ((at = StreamPayload::Read<Code>(at, end, value))) {
                    if constexpr (Code == Storage::StorageString)
                        Of(object).*Member = value;
                    else
                        Of(object).*Member = static_cast<F>(value);
                }
                return at;
            });
        }
        Archives([](Archive& archive, Base& object, const PropertyEntry&) {
            ArchiveForm::Write<Code>(archive, Of(object).*Member);
        }, [](Archive& archive, Base& object, const PropertyEntry&) {
            Of(object).*Member = static_cast<F>(ArchiveForm::Read<Code>(archive));
        });
        if constexpr (std::is_integral_v<F> || std::is_enum_v<F>) {
            Last().getInteger = [](const Base& object) { return static_cast<std::int64_t>(Of(object).*Member); };
            Last().setInteger = [](Base& object, std::int64_t value) { Of(object).*Member = static_cast<F>(value); };
        }
        return *this;
    }

    // A stored field whose code follows from its type: bool 13, 8-bit unsigned 4, 32-bit integers and
    // enums 7, float 11, double 12, text 1.
    template <auto Member>
    PropertyList& Field(std::string_view name)
    {
        return Field<CodeOf<std::remove_cvref_t<decltype(std::declval<T&>().*Member)>>(), Member>(name);
    }

    // A stored value through accessors: get(const T&) gives the value to write, set(T&, value) takes
    // the one read (no event is raised on reading).
    template <Storage::StorageType Code, class Get, class Set>
    PropertyList& Value(std::string_view name, Get, Set)
    {
        Captureless<Get, Set>();
        Stored(name, Code, [](PropertyPass& pass, std::string_view stored, Base& object) {
            pass.WriteValue<Code>(stored, Get{}(Of(object)));
        }, [](PropertyPass& pass, std::string_view, Base& object) {
            pass.ReadValue<Code>([&object](const auto& value) { Set{}(Of(object), value); });
        });
        if constexpr (StreamPayload::InPlace<Code>) {
            Payload<Code>(Get{});
            InPlace([](const std::uint8_t* at, const std::uint8_t* end, Base& object) -> const std::uint8_t* {
                StreamPayload::Value<Code> value{};
                if ((at = StreamPayload::Read<Code>(at, end, value))) {
                    if constexpr (Code == Storage::StorageString)
                        Set{}(Of(object), std::string(value));
                    else
                        Set{}(Of(object), value);
                }
                return at;
            });
        }
        Archives([](Archive& archive, Base& object, const PropertyEntry&) {
            ArchiveForm::Write<Code>(archive, Get{}(Of(object)));
        }, [](Archive& archive, Base& object, const PropertyEntry&) {
            Set{}(Of(object), ArchiveForm::Read<Code>(archive));
        });
        using V = std::remove_cvref_t<decltype(Get{}(std::declval<const T&>()))>;
        if constexpr (std::is_integral_v<V> || std::is_enum_v<V>) {
            Last().getInteger = [](const Base& object) { return static_cast<std::int64_t>(Get{}(Of(object))); };
            Last().setInteger = [](Base& object, std::int64_t value) {
                Set{}(Of(object), static_cast<ArchiveForm::Value<Code>>(value));
            };
        }
        return *this;
    }

    // An object reference (code 0): get(const T&) gives the object to write; set(T&, object) takes the
    // one read, an object of get's class or null (another object is not taken); a set that returns
    // bool says whether it kept the object (PropertyPass::ReadObject). The framework archive holds it
    // as an object record (WriteObject, ReadObject of get's class).
    template <class Get, class Set>
    PropertyList& Reference(std::string_view name, Get, Set)
    {
        Captureless<Get, Set>();
        Stored(name, Storage::StorageObject, [](PropertyPass& pass, std::string_view stored, Base& object) {
            pass.WriteValue<Storage::StorageObject>(stored, Get{}(Of(object)));
        }, [](PropertyPass& pass, std::string_view, Base& object) {
            pass.ReadObject<Target<Get>>([&object](Target<Get>* value) { return Set{}(Of(object), value); });
        });
        Last().takeReference = &TakeReference<Target<Get>, GiveOne<Set>>;
        Last().references = [](const Base&) { return std::size_t{1}; };
        Last().referenced = [](const Base& object, std::size_t) -> Base* { return Get{}(Of(object)); };
        return Archives([](Archive& archive, Base& object, const PropertyEntry&) {
            archive.WriteObject(Get{}(Of(object)));
        }, [](Archive& archive, Base& object, const PropertyEntry&) {
            Set{}(Of(object), ReadTarget<Target<Get>>(archive));
        });
    }

    // An object reference (code 0) that records of an older form held as an array of references:
    // get(const T&) gives the object to write; set(T&, index, object) takes the one read (index 0) and
    // each element of a stored array, which resize(T&, count) announces with its count (objects of any
    // class, null allowed; a set returning bool says whether it kept the object). Not in the
    // framework archive.
    template <class Get, class Resize, class Set>
    PropertyList& ReferenceOrArray(std::string_view name, Get, Resize, Set)
    {
        Captureless<Get, Resize, Set>();
        Stored(name, Storage::StorageObject, [](PropertyPass& pass, std::string_view stored, Base& object) {
            pass.WriteValue<Storage::StorageObject>(stored, Get{}(Of(object)));
        }, &ReadReferenceElement<Base, Set>);
        Last().resize = [](Base& object, std::size_t count) { Resize{}(Of(object), count); };
        Last().takeReference = &TakeReference<Base, GiveAt<Set>>;
        Last().references = [](const Base&) { return std::size_t{1}; };
        Last().referenced = [](const Base& object, std::size_t) -> Base* { return Get{}(Of(object)); };
        return StreamOnly();
    }

    // An array of object references (code 0): size(const T&) and get(const T&, index) for writing;
    // set(T&, index, object) for each element read, an object of get's class or null (returning bool
    // as Reference's set may). With resize, resize(T&, count) takes the stored count before the first
    // element is read. The framework archive holds the count and an object record per element.
    template <class Size, class Get, class Set>
    PropertyList& References(std::string_view name, Size size, Get get, Set set)
    {
        return References(name, size, get, [](T&, std::size_t) {}, set);
    }
    template <class Size, class Get, class Resize, class Set>
    PropertyList& References(std::string_view name, Size, Get, Resize, Set)
    {
        Captureless<Size, Get, Resize, Set>();
        using Referenced = std::remove_pointer_t<decltype(Get{}(std::declval<const T&>(), std::size_t{}))>;
        Stored(name, Storage::StorageObject, [](PropertyPass& pass, std::string_view stored, Base& object) {
            pass.WriteArray<Storage::StorageObject>(
                stored, [&object] { return Size{}(Of(object)); },
                [&object](std::size_t index) { return Get{}(Of(object), index); });
        }, &ReadReferenceElement<Referenced, Set>);
        Last().resize = [](Base& object, std::size_t count) { Resize{}(Of(object), count); };
        Last().takeReference = &TakeReference<Referenced, GiveAt<Set>>;
        Last().references = [](const Base& object) { return static_cast<std::size_t>(Size{}(Of(object))); };
        Last().referenced = [](const Base& object, std::size_t index) -> Base* { return Get{}(Of(object), index); };
        Archives([](Archive& archive, Base& object, const PropertyEntry&) {
            const std::size_t count = Size{}(Of(object));
            archive.WriteCount(static_cast<std::uint32_t>(count));
            for (std::size_t i = 0; i < count; ++i)
                archive.WriteObject(Get{}(Of(object), i));
        }, &ReadReferenceArray<Referenced, Resize, Set>);
        return Flag(PropertyEntry::Array);
    }

    // An array of object references written from a list the level makes for each record:
    // members(const T&) gives them (a std::vector of pointers); resize and set as for References.
    template <class Members, class Resize, class Set>
    PropertyList& ReferenceList(std::string_view name, Members, Resize, Set)
    {
        Captureless<Members, Resize, Set>();
        using Referenced = std::remove_pointer_t<typename decltype(Members{}(std::declval<const T&>()))::value_type>;
        Stored(name, Storage::StorageObject, [](PropertyPass& pass, std::string_view stored, Base& object) {
            const auto members = Members{}(Of(object));
            pass.WriteArray<Storage::StorageObject>(
                stored, [&members] { return members.size(); }, [&members](std::size_t index) { return members[index]; });
        }, &ReadReferenceElement<Referenced, Set>);
        Last().resize = [](Base& object, std::size_t count) { Resize{}(Of(object), count); };
        Last().takeReference = &TakeReference<Referenced, GiveAt<Set>>;
        Last().members = [](const Base& object) {
            const auto members = Members{}(Of(object));
            return std::vector<Base*>(members.begin(), members.end());
        };
        Archives([](Archive& archive, Base& object, const PropertyEntry&) {
            const auto members = Members{}(Of(object));
            archive.WriteCount(static_cast<std::uint32_t>(members.size()));
            for (Referenced* member : members)
                archive.WriteObject(member);
        }, &ReadReferenceArray<Referenced, Resize, Set>);
        return Flag(PropertyEntry::Array);
    }

    // An array of plain values (codes 1 and 3 to 13), or of values with archive operators carried
    // as byte blocks (code 2): size(const T&) and get(const T&, index) for writing; resize(T&, count)
    // takes the stored count, set(T&, index, value) each element read. The framework archive holds
    // the count and the elements (a byte block's value by its archive operators).
    template <Storage::StorageType Code, class Size, class Get, class Resize, class Set>
    PropertyList& Values(std::string_view name, Size, Get, Resize, Set)
    {
        Captureless<Size, Get, Resize, Set>();
        Stored(name, Code, [](PropertyPass& pass, std::string_view stored, Base& object) {
            pass.WriteArray<Code>(stored, [&object] { return Size{}(Of(object)); },
                                  [&object](std::size_t index) { return Get{}(Of(object), index); });
        }, [](PropertyPass& pass, std::string_view, Base& object) {
            const std::int32_t index = pass.GetArrayIndex();
            if (index < 0)
                return;
            const auto at = static_cast<std::size_t>(index);
            if constexpr (Code == Storage::StorageArchive) {
                pass.ReadArchived([&object, at](Archive& nested) {
                    auto value = Get{}(std::as_const(Of(object)), at);
                    nested >> value;
                    Set{}(Of(object), at, value);
                });
            } else {
                pass.ReadValue<Code>([&object, at](const auto& value) { Set{}(Of(object), at, value); });
            }
        });
        Last().resize = [](Base& object, std::size_t count) { Resize{}(Of(object), count); };
        Archives([](Archive& archive, Base& object, const PropertyEntry&) {
            const std::size_t count = Size{}(Of(object));
            archive.WriteCount(static_cast<std::uint32_t>(count));
            for (std::size_t i = 0; i < count; ++i) {
                if constexpr (Code == Storage::StorageArchive)
                    archive << Get{}(Of(object), i);
                else
                    ArchiveForm::Write<Code>(archive, Get{}(Of(object), i));
            }
        }, [](Archive& archive, Base& object, const PropertyEntry&) {
            const std::uint32_t count = archive.ReadCount(1);
            Resize{}(Of(object), count);
            for (std::uint32_t i = 0; i < count; ++i) {
                if constexpr (Code == Storage::StorageArchive) {
                    auto value = Get{}(std::as_const(Of(object)), std::size_t{i});
                    archive >> value;
                    Set{}(Of(object), std::size_t{i}, value);
                } else {
                    Set{}(Of(object), std::size_t{i}, ArchiveForm::Read<Code>(archive));
                }
            }
        });
        return Flag(PropertyEntry::Array);
    }

    // An array of object pairs (code 14): get(const T&) gives the pairs to write, as a container of
    // std::pair<A*, B*>; set(T&, index, A*, B*) takes each element read whose halves are an A and a B
    // or null (another element is not taken).
    template <class Get, class Set>
    PropertyList& Pairs(std::string_view name, Get, Set)
    {
        Captureless<Get, Set>();
        Stored(name, Storage::StoragePair, [](PropertyPass& pass, std::string_view stored, Base& object) {
            const auto pairs = Get{}(Of(object));
            pass.WriteArray<Storage::StoragePair>(
                stored, [&pairs] { return pairs.size(); }, [&pairs](std::size_t index) { return pairs[index]; });
        }, [](PropertyPass& pass, std::string_view, Base& object) {
            const std::int32_t index = pass.GetArrayIndex();
            if (index < 0)
                return;
            using Halves = typename decltype(Get{}(std::declval<const T&>()))::value_type;
            using First = std::remove_pointer_t<typename Halves::first_type>;
            using Second = std::remove_pointer_t<typename Halves::second_type>;
            pass.ReadPair<First, Second>([&object, index](First* first, Second* second) {
                Set{}(Of(object), static_cast<std::size_t>(index), first, second);
            });
        });
        return Flag(PropertyEntry::Array);
    }

    // An array of plain values of one code: size(const T&) and get(const T&, index) for writing;
    // set(T&, index, value) for each element read.
    template <Storage::StorageType Code, class Size, class Get, class Set>
    PropertyList& Values(std::string_view name, Size, Get, Set)
    {
        Captureless<Size, Get, Set>();
        Stored(name, Code, [](PropertyPass& pass, std::string_view stored, Base& object) {
            pass.WriteArray<Code>(
                stored, [&object] { return Size{}(Of(object)); },
                [&object](std::size_t index) { return Get{}(Of(object), index); });
        }, [](PropertyPass& pass, std::string_view, Base& object) {
            const std::int32_t index = pass.GetArrayIndex();
            if (index < 0)
                return;
            pass.ReadValue<Code>([&object, index](const auto& value) {
                Set{}(Of(object), static_cast<std::size_t>(index), value);
            });
        });
        return Flag(PropertyEntry::Array);
    }

    // A stored field with archive operators, carried as a byte block (code 2); it changes only when
    // the whole value was read. The framework archive holds the value by the same operators.
    template <auto Member>
    PropertyList& Archived(std::string_view name)
    {
        Stored(name, Storage::StorageArchive, [](PropertyPass& pass, std::string_view stored, Base& object) {
            const auto& value = Of(object).*Member;
            constexpr std::size_t plainSize = ArchiveForm::PlainSize<std::remove_cvref_t<decltype(value)>>;
            if constexpr (plainSize != 0)
                pass.WritePlainBlock<plainSize>(stored, value);
            else
                pass.WriteArchived(stored, [&value](Archive& nested) { nested << value; });
        }, [](PropertyPass& pass, std::string_view, Base& object) {
            auto& field = Of(object).*Member;
            constexpr std::size_t plainSize = ArchiveForm::PlainSize<std::remove_cvref_t<decltype(field)>>;
            if constexpr (plainSize != 0) {
                if (pass.ReadPlainBlock<plainSize>(field))
                    return;
            }
            pass.ReadArchived([&field](Archive& nested) { ArchiveForm::ReadField(nested, field); });
        });
        using F = std::remove_cvref_t<decltype(std::declval<T&>().*Member)>;
        if constexpr (ArchiveForm::PlainSize<F> != 0) {
            Last().payload = [](Archive& archive, const Base& object) {
                WritePlainPayload<ArchiveForm::PlainSize<F>>(archive, Of(object).*Member);
                return true;
            };
            InPlace([](const std::uint8_t* at, const std::uint8_t* end, Base& object) -> const std::uint8_t* {
                const std::uint8_t* const bytes = StreamPayload::ReadPlainBlock<ArchiveForm::PlainSize<F>>(at, end);
                if (!bytes)
                    return nullptr;
                ArchiveForm::ReadPlain(bytes, Of(object).*Member);
                return bytes + ArchiveForm::PlainSize<F>;
            });
        }
        if constexpr (ArchiveForm::PlainBytes<F>)
            LiesIn<Member>();
        return Archives([](Archive& archive, Base& object, const PropertyEntry&) {
            ArchiveForm::WriteField(archive, Of(object).*Member);
        }, [](Archive& archive, Base& object, const PropertyEntry&) { ArchiveForm::ReadField(archive, Of(object).*Member); });
    }

    // A byte block written by write(T&, Archive&) and read by read(T&, Archive&); the framework
    // archive holds what the same functions write.
    template <class Write, class Read>
    PropertyList& Archived(std::string_view name, Write, Read)
    {
        Captureless<Write, Read>();
        Stored(name, Storage::StorageArchive, [](PropertyPass& pass, std::string_view stored, Base& object) {
            pass.WriteArchived(stored, [&object](Archive& nested) { Write{}(Of(object), nested); });
        }, [](PropertyPass& pass, std::string_view, Base& object) {
            pass.ReadArchived([&object](Archive& nested) { Read{}(Of(object), nested); });
        });
        return Archives([](Archive& archive, Base& object, const PropertyEntry&) { Write{}(Of(object), archive); },
                        [](Archive& archive, Base& object, const PropertyEntry&) { Read{}(Of(object), archive); });
    }

    // As above, where plain(const T&) gives, for a value whose archive form is the plain bytes of one
    // arithmetic value, that value (else std::nullopt): its byte block then goes straight into the
    // stream, the bytes write would give, without a nested archive.
    template <class Write, class Read, class Plain>
    PropertyList& Archived(std::string_view name, Write write, Read read, Plain)
    {
        Captureless<Plain>();
        Archived(name, write, read);
        m_entries.back().write = [](PropertyPass& pass, std::string_view stored, Base& object) {
            if (const auto plain = Plain{}(std::as_const(Of(object))))
                pass.WritePlainBlock<sizeof(*plain)>(stored, *plain);
            else
                pass.WriteArchived(stored, [&object](Archive& nested) { Write{}(Of(object), nested); });
        };
        m_entries.back().payload = [](Archive& archive, const Base& object) {
            const auto plain = Plain{}(Of(object));
            if (plain)
                WritePlainPayload<sizeof(*plain)>(archive, *plain);
            return plain.has_value();
        };
        using P = typename std::invoke_result_t<Plain, const T&>::value_type;
        m_entries.back().put = [](std::uint8_t* out, const Base& object) -> std::uint8_t* {
            const auto plain = Plain{}(Of(object));
            if (!plain)
                return nullptr;
            const auto length = static_cast<std::int32_t>(sizeof(P));
            std::memcpy(out, &length, sizeof length);
            std::memcpy(out + sizeof length, &*plain, sizeof(P));
            return out + sizeof length + sizeof(P);
        };
        m_entries.back().putRoom = static_cast<std::uint8_t>(sizeof(std::int32_t) + sizeof(P));
        return *this;
    }

    // The last entry, a bool, is the bit of the byte that byte(const T&) gives (by reference), so a
    // writer may take its payload from there.
    template <class Byte>
    PropertyList& InBit(Byte, std::uint8_t mask)
    {
        Captureless<Byte>();
        static_assert(std::is_same_v<decltype(Byte{}(std::declval<const T&>())), const std::uint8_t&>);
        if (Last().code != Storage::StorageBool || mask == 0)
            throw std::logic_error("only a bool entry is a bit of a byte");
        Last().member = [](const Base& object) -> const void* { return &Byte{}(Of(object)); };
        Last().memberSize = 1;
        Last().memberMask = mask;
        return *this;
    }

    // The last entry, a bit of a byte (InBit), is read by storing the bit alone: its set does nothing
    // else, so a plan sets the bits of one byte read side by side with one store.
    PropertyList& StoresBitAlone()
    {
        if (Last().memberMask == 0)
            throw std::logic_error("only a bit of a byte is stored alone");
        return Flag(PropertyEntry::BitAlone);
    }

    // The last entry, an integer value (codes 3 to 10), is the bytes of the member that held(const T&)
    // gives by reference, so a writer may take its payload from there: the member is an integer of
    // the code's width whose bytes are the value's (a signed member for an unsigned code included).
    template <class Held>
    PropertyList& InMember(Held)
    {
        Captureless<Held>();
        using Get = decltype(Held{}(std::declval<const T&>()));
        using V = std::remove_cvref_t<Get>;
        static_assert(std::is_lvalue_reference_v<Get> && std::is_integral_v<V>);
        const Storage::StorageType code = Last().code;
        const std::size_t width = code <= Storage::StorageUnsignedChar    ? 1
                                  : code <= Storage::StorageUnsignedShort ? 2
                                                                          : 4;
        if (code < Storage::StorageChar || code > Storage::StorageUnsignedLong || width != sizeof(V))
            throw std::logic_error("only an integer entry of the member's width lies in it");
        Last().member = [](const Base& object) -> const void* { return &Held{}(Of(object)); };
        Last().memberSize = sizeof(V);
        return *this;
    }

    // As above, where take(T&, value) reads a block that holds one plain value by itself: true when
    // it did all that read would do with the block, false, with nothing changed, for read to do it.
    template <class Write, class Read, class Plain, class Take>
    PropertyList& Archived(std::string_view name, Write write, Read read, Plain plain, Take)
    {
        Captureless<Take>();
        Archived(name, write, read, plain);
        InPlace([](const std::uint8_t* at, const std::uint8_t* end, Base& object) -> const std::uint8_t* {
            using P = typename decltype(Plain{}(std::declval<const T&>()))::value_type;
            const std::uint8_t* const bytes = StreamPayload::ReadPlainBlock<sizeof(P)>(at, end);
            if (!bytes)
                return nullptr;
            P value{};
            std::memcpy(&value, bytes, sizeof value);
            return Take{}(Of(object), value) ? bytes + sizeof value : nullptr;
        });
        return *this;
    }

    // A copy of the object does not take the last entry's value.
    PropertyList& NotCopied() { return Flag(PropertyEntry::NotCopied); }

    // ---- The framework-archive column

    // The last entry is not in the framework archive.
    PropertyList& StreamOnly() { return Archives(nullptr, nullptr); }

    // The last entry, an integer, is held in the framework archive as a W.
    template <class W>
    PropertyList& ArchiveAs()
    {
        if (!Last().getInteger)
            throw std::logic_error("only an integer entry has another integer width in the framework archive");
        return Archives([](Archive& archive, Base& object, const PropertyEntry& entry) {
            archive << static_cast<W>(entry.getInteger(object));
        }, [](Archive& archive, Base& object, const PropertyEntry& entry) {
            W value{};
            archive >> value;
            entry.setInteger(object, static_cast<std::int64_t>(value));
        });
    }

    // The last entry is in framework-archive records of this schema and later ones only.
    PropertyList& FromSchema(std::uint32_t schema)
    {
        Last().fromSchema = schema;
        return *this;
    }

    // The last entry is held in the framework archive as write(const T&, Archive&) writes it and
    // read(T&, Archive&) reads it.
    template <class Write, class Read>
    PropertyList& ArchiveWith(Write, Read)
    {
        Captureless<Write, Read>();
        return Archives([](Archive& archive, Base& object, const PropertyEntry&) { Write{}(std::as_const(Of(object)), archive); },
                        [](Archive& archive, Base& object, const PropertyEntry&) { Read{}(Of(object), archive); });
    }

    // A field of the framework archive only, held as write(const T&, Archive&) writes it and read(T&,
    // Archive&) reads it.
    template <class Write, class Read>
    PropertyList& ArchiveOnly(Write write, Read read)
    {
        m_entries.emplace_back();
        return ArchiveWith(write, read);
    }
    // A field of the framework archive only, by its archive operators.
    template <auto Member>
    PropertyList& ArchiveField()
    {
        m_entries.emplace_back();
        return Archives([](Archive& archive, Base& object, const PropertyEntry&) {
            ArchiveForm::WriteField(archive, Of(object).*Member);
        }, [](Archive& archive, Base& object, const PropertyEntry&) { ArchiveForm::ReadField(archive, Of(object).*Member); });
    }
    // A field that only framework-archive records of schemas below this one hold: read and dropped,
    // never written.
    template <class V>
    PropertyList& ArchiveDropped(std::uint32_t untilSchema)
    {
        m_entries.emplace_back();
        Archives([](Archive&, Base&, const PropertyEntry&) {}, [](Archive& archive, Base&, const PropertyEntry&) {
            V dropped{};
            archive >> dropped;
        });
        Last().untilSchema = untilSchema;
        return *this;
    }

    // The level's framework-archive form is not a list of fields: serialize(T&, Archive&) writes and
    // reads the whole of the object's record, the base levels' parts included (each level's Serialize
    // can be called by name), in place of the entries and the hooks.
    template <class Serialize>
    PropertyList& ArchiveRecord(Serialize)
    {
        Captureless<Serialize>();
        m_record = [](Base& object, Archive& archive) { Serialize{}(Of(object), archive); };
        return *this;
    }

    // ---- Work around a record

    // The level's work before a record of it is written or read, and after (the MethodBefore and
    // MethodAfter passes, and the framework archive's Serialize around the level's fields):
    // hook(T&, Archive&, PropertyArchive*), the stream null in the framework archive's form. Records
    // read or written by a plan run these hooks and no level's pass.
    template <class Hook>
    PropertyList& BeforeRecord(Hook)
    {
        return SetHook<Hook, false>(m_before, m_beforeOnLoad);
    }
    template <class Hook>
    PropertyList& AfterRecord(Hook)
    {
        return SetHook<Hook, false>(m_after, m_afterOnLoad);
    }
    // As BeforeRecord and AfterRecord, for work on a record being read only: the hook runs when the
    // archive is loading, and a writer with a plan does not call it.
    template <class Hook>
    PropertyList& BeforeLoad(Hook)
    {
        return SetHook<Hook, true>(m_before, m_beforeOnLoad);
    }
    template <class Hook>
    PropertyList& AfterLoad(Hook)
    {
        return SetHook<Hook, true>(m_after, m_afterOnLoad);
    }

    // ---- The text interface

    // An entry of the text interface only.
    PropertyList& Text(std::string_view textName, std::string_view alias = {})
    {
        m_entries.emplace_back();
        return Shows(textName, alias);
    }

    // The last entry is in the text interface under these names.
    PropertyList& Shows(std::string_view textName, std::string_view alias = {})
    {
        Last().textName = textName;
        Last().alias = alias;
        return *this;
    }

    // The text form and the descriptor come from a member function of T (or a base) that gives the
    // value: its text form (Format, Words), or the value itself in the descriptor.
    template <auto Get>
    PropertyList& Getter()
    {
        return Getter([](const T& object) { return (object.*Get)(); });
    }
    // A parsed text goes to a member function of T (or a base) that takes the value; one that gives
    // a bool refuses the text with false.
    template <auto Set>
    PropertyList& Setter()
    {
        Last().setText = [](Base& object, std::string_view text, const PropertyEntry& entry) -> bool {
            typename MemberArgument<decltype(Set)>::type value{};
            if (!PropertyText::FromText(text, value, entry))
                return false;
            return Call<Set>(Of(object), std::as_const(value));
        };
        return *this;
    }
    // The same through a captureless lambda set(T&, V) with the value's type V.
    template <class Set>
    PropertyList& Setter(Set)
    {
        Captureless<Set>();
        Last().setText = [](Base& object, std::string_view text, const PropertyEntry& entry) -> bool {
            typename MemberArgument<decltype(&Set::operator())>::type value{};
            if (!PropertyText::FromText(text, value, entry))
                return false;
            Set{}(Of(object), std::as_const(value));
            return true;
        };
        return *this;
    }
    // Both, the parse starting from the current value (a colour keeps what the text does not give).
    template <auto Get, auto Set>
    PropertyList& Accessors()
    {
        return Accessors([](const T& object) { return (object.*Get)(); },
                         [](T& object, const auto& value) { return Call<Set>(object, value); });
    }

    // The same through captureless lambdas: get(const T&) gives the value, set(T&, value) takes a
    // parsed one.
    template <class Get, class Set>
    PropertyList& Accessors(Get get, Set set)
    {
        Getter(get);
        return TakesText(set, get);
    }
    template <class Get>
    PropertyList& Getter(Get)
    {
        Captureless<Get>();
        using V = std::remove_cvref_t<decltype(Get{}(std::declval<const T&>()))>;
        Last().getText = [](const Base& object, const PropertyEntry& entry) {
            return PropertyText::ToText(Get{}(Of(object)), entry);
        };
        Last().describe = [](const Base& object, const PropertyEntry& entry) {
            if (entry.format || !entry.words.empty())
                return PropertyText::Describe(entry, PropertyText::ToText(Get{}(Of(object)), entry));
            return PropertyText::Describe(entry, Get{}(Of(object)));
        };
        if constexpr (std::is_integral_v<V> || std::is_enum_v<V>)
            Last().getInteger = [](const Base& object) { return static_cast<std::int64_t>(Get{}(Of(object))); };
        return *this;
    }

    // The text form of a number (a printf format, "%.2f"), in the text and the descriptor alike.
    PropertyList& Format(const char* format)
    {
        Last().format = format;
        return *this;
    }
    // The words of an integer (a byte code, an enum): the text is the word of the value, a text is
    // taken when it is one of the words (without regard to case), and the descriptor lists them.
    PropertyList& Words(std::span<const PropertyWord> words)
    {
        Last().words = words;
        return *this;
    }
    // The numbers a text may give, bounds included: a text of another number is refused.
    PropertyList& Range(double lowest, double highest = std::numeric_limits<double>::infinity())
    {
        Last().lowest = lowest;
        Last().highest = highest;
        return *this;
    }
    // The values the descriptor lists as allowed.
    PropertyList& Choices(std::initializer_list<std::string_view> choices)
    {
        Last().choices.assign(choices);
        return *this;
    }

    // Text forms that are not a value's: text(const T&) gives the text; parse(T&, text) acts on it
    // and returns false, with nothing changed, when it cannot. The descriptor holds the text, unless
    // a Getter before gave it the value.
    template <class Text>
    PropertyList& GetText(Text)
    {
        Captureless<Text>();
        Last().getText = [](const Base& object, const PropertyEntry&) { return std::string(Text{}(Of(object))); };
        if (!Last().describe) {
            Last().describe = [](const Base& object, const PropertyEntry& entry) {
                return PropertyText::Describe(entry, std::string(Text{}(Of(object))));
            };
        }
        return *this;
    }
    template <class Parse>
    PropertyList& SetText(Parse)
    {
        Captureless<Parse>();
        Last().setText = [](Base& object, std::string_view text, const PropertyEntry&) -> bool {
            return Parse{}(Of(object), text);
        };
        return *this;
    }

    // SetPropertyFromString refuses it (false, nothing changed); the descriptor is readable only.
    PropertyList& ReadOnly() { return Flag(PropertyEntry::ReadOnly); }
    PropertyList& Prefix() { return Flag(PropertyEntry::Prefix); }

    // Described and listed, under the host's category code. The descriptor has the entry's text name,
    // its value (or text), and is writable when the entry takes a text.
    PropertyList& Shown(ObjectProperty::PropertyType category = ObjectProperty::CategoryValue)
    {
        Last().propertyType = category;
        return Flag(PropertyEntry::Shown);
    }
    // Described by describe(const T&) (an empty descriptor is not listed) and listed.
    template <class Describe>
    PropertyList& Described(Describe)
    {
        Captureless<Describe>();
        Last().describe = [](const Base& object, const PropertyEntry&) { return Describe{}(Of(object)); };
        return Flag(PropertyEntry::Shown);
    }

    // The order of the level's shown entries in GetProperties, by text name, when it is not the
    // order of the entries.
    PropertyList& Listing(std::initializer_list<std::string_view> textNames)
    {
        m_listing.assign(textNames);
        return *this;
    }

private:
    // Calls a setter; true unless it gives false.
    template <auto Setter, class V>
    static bool Call(T& object, V&& value)
    {
        if constexpr (std::is_same_v<decltype((object.*Setter)(std::forward<V>(value))), bool>) {
            return (object.*Setter)(std::forward<V>(value));
        } else {
            (object.*Setter)(std::forward<V>(value));
            return true;
        }
    }

    // The parameter of a member function that takes one value, without reference and const.
    template <class F>
    struct MemberArgument;
    template <class C, class R, class P>
    struct MemberArgument<R (C::*)(P)> {
        using type = std::remove_cvref_t<P>;
    };
    // A lambda's call operator: its second parameter (the first is the object).
    template <class C, class R, class O, class P>
    struct MemberArgument<R (C::*)(O, P) const> {
        using type = std::remove_cvref_t<P>;
    };

    // The parse of a text for set(T&, value), into the type get gives, from the current value.
    template <class Set, class Get>
    PropertyList& TakesText(Set, Get)
    {
        Captureless<Set, Get>();
        Last().setText = [](Base& object, std::string_view text, const PropertyEntry& entry) -> bool {
            T& self = Of(object);
            auto value = Get{}(std::as_const(self));
            if (!PropertyText::FromText(text, value, entry))
                return false;
            if constexpr (std::is_same_v<decltype(Set{}(self, std::as_const(value))), bool>) {
                return Set{}(self, std::as_const(value));
            } else {
                Set{}(self, std::as_const(value));
                return true;
            }
        };
        return *this;
    }

    friend class PropertyTable;

    static const T& Of(const Base& object) { return static_cast<const T&>(object); }
    // The class of the objects get(const T&) gives.
    template <class Get>
    using Target = std::remove_pointer_t<decltype(Get{}(std::declval<const T&>()))>;
    static T& Of(Base& object) { return static_cast<T&>(object); }

    template <class... F>
    static constexpr void Captureless()
    {
        static_assert((std::is_empty_v<F> && ...) && (std::is_default_constructible_v<F> && ...),
                      "property accessors are captureless lambdas");
    }

    PropertyList& Stored(std::string_view name, Storage::StorageType code,
                         void (*write)(PropertyPass&, std::string_view, Base&),
                         void (*read)(PropertyPass&, std::string_view, Base&))
    {
        PropertyEntry& entry = m_entries.emplace_back();
        entry.name = name;
        entry.code = code;
        entry.flags = PropertyEntry::Persisted;
        entry.write = write;
        entry.read = read;
        return *this;
    }

    // The last entry's payload lies in the member as it is.
    template <auto Held>
    void LiesIn()
    {
        using F = std::remove_cvref_t<decltype(std::declval<T&>().*Held)>;
        static_assert(sizeof(F) <= 16 && std::is_trivially_copyable_v<F>);
        Last().member = [](const Base& object) -> const void* { return &(Of(object).*Held); };
        Last().memberSize = sizeof(F);
    }

    // Sets one side's hook, run on every record or, when OnLoadOnly, on records being read only.
    template <class Hook, bool OnLoadOnly>
    PropertyList& SetHook(RecordHook& hook, bool& onLoad)
    {
        Captureless<Hook>();
        hook = [](Base& object, Archive& archive, PropertyArchive* stream) {
            if (!OnLoadOnly || archive.IsLoading())
                Hook{}(Of(object), archive, stream);
        };
        onLoad = OnLoadOnly;
        return *this;
    }

    // The last entry's payload writers: the code's payload of get(const T&), into the stream and into
    // reserved room (a text there only while its length takes one byte and it fits PutTextRoom).
    template <Storage::StorageType Code, class Get>
    void Payload(Get)
    {
        Last().payload = [](Archive& archive, const Base& object) {
            if constexpr (Code == Storage::StorageString)
                archive << std::string_view(Get{}(Of(object)));
            else
                PropertyPass::WritePayload<Code>(archive, static_cast<StorageValueType<Code>>(Get{}(Of(object))));
            return true;
        };
        Last().put = [](std::uint8_t* out, const Base& object) -> std::uint8_t* {
            if constexpr (Code == Storage::StorageString) {
                // A getter may give the text by value: it is held while its bytes are copied.
                decltype(auto) held = Get{}(Of(object));
                const std::string_view text(held);
                if (text.size() >= PutTextRoom)
                    return nullptr;
                *out = static_cast<std::uint8_t>(text.size());
                PutText(out + 1, text.data(), text.size());
                return out + 1 + text.size();
            } else {
                return PutPayload<Code>(out, static_cast<StorageValueType<Code>>(Get{}(Of(object))));
            }
        };
        Last().putRoom = static_cast<std::uint8_t>(PutRoom<Code>());
    }

    // The most bytes a put text takes, its length byte included.
    static constexpr std::size_t PutTextRoom = 32;

    // Copies a text shorter than PutTextRoom as two moves of a fixed width that may overlap: no call.
    static void PutText(std::uint8_t* out, const char* text, std::size_t size)
    {
        if (size >= 16) {
            ArchiveForm::CopyBoth<16>(out, text, size);
        } else if (size >= 8) {
            ArchiveForm::CopyBoth<8>(out, text, size);
        } else if (size >= 4) {
            ArchiveForm::CopyBoth<4>(out, text, size);
        } else if (size != 0) {
            out[0] = static_cast<std::uint8_t>(text[0]);
            out[size / 2] = static_cast<std::uint8_t>(text[size / 2]);
            out[size - 1] = static_cast<std::uint8_t>(text[size - 1]);
        }
    }

    template <Storage::StorageType Code>
    static constexpr std::size_t PutRoom()
    {
        if constexpr (Code == Storage::StorageString)
            return PutTextRoom;
        else if constexpr (Code == Storage::StorageInt || Code == Storage::StorageUnsignedInt)
            return CompressionInteger::MostBytes;
        else
            return sizeof(StorageValueType<Code>);
    }

    // PropertyPass::WritePayload's bytes at out.
    template <Storage::StorageType Code>
    static std::uint8_t* PutPayload(std::uint8_t* out, StorageValueType<Code> value)
    {
        if constexpr (Code == Storage::StorageInt || Code == Storage::StorageUnsignedInt) {
            return CompressionInteger::Put(static_cast<std::uint32_t>(value), out);
        } else if constexpr (Code == Storage::StorageBool) {
            *out = value ? 1 : 0;
            return out + 1;
        } else {
            std::memcpy(out, &value, sizeof value);
            return out + sizeof value;
        }
    }

    // A plain byte block's payload: its length, then the value's archive form.
    template <std::size_t Size, class V>
    static void WritePlainPayload(Archive& archive, const V& value)
    {
        archive << static_cast<std::int32_t>(Size);
        archive << value;
    }

    PropertyList& Archives(void (*write)(Archive&, Base&, const PropertyEntry&),
                           void (*read)(Archive&, Base&, const PropertyEntry&))
    {
        Last().archiveWrite = write;
        Last().archiveRead = read;
        return *this;
    }

    // The storage code of a field's type.
    template <class F>
    static constexpr Storage::StorageType CodeOf()
    {
        if constexpr (std::is_same_v<F, bool>)
            return Storage::StorageBool;
        else if constexpr (std::is_same_v<F, std::uint8_t>)
            return Storage::StorageUnsignedChar;
        else if constexpr (std::is_enum_v<F> || std::is_same_v<F, std::int32_t>)
            return Storage::StorageInt;
        else if constexpr (std::is_same_v<F, float>)
            return Storage::StorageFloat;
        else if constexpr (std::is_same_v<F, double>)
            return Storage::StorageDouble;
        else if constexpr (std::is_same_v<F, std::string>)
            return Storage::StorageString;
        else
            static_assert(sizeof(F) == 0, "name the storage code of this field");
    }

    // The object a framework archive's record gives for a reference to a V (ReadObject refuses any
    // other class).
    template <class V>
    static V* ReadTarget(Archive& archive)
    {
        return static_cast<V*>(static_cast<Base*>(archive.ReadObject(&V::GetThisClass())));
    }

    // One element of a stored reference array, handed to set(T&, index, object).
    template <class Referenced, class Set>
    static void ReadReferenceElement(PropertyPass& pass, std::string_view, Base& object)
    {
        const std::int32_t index = pass.GetArrayIndex();
        if (index < 0)
            return;
        pass.ReadObject<Referenced>([&object, index](Referenced* value) {
            return Set{}(Of(object), static_cast<std::size_t>(index), value);
        });
    }

    // A stored reference as a Referenced (null allowed) to Give{}(object, index, value), as
    // PropertyPass::ReadObject gives it: false, with nothing given, for an object of another class;
    // else what Give says (true when it gives nothing back).
    // A reference names objects of a class or two: the last two dynamic types that passed are kept
    // (an object's class never stops being one), and an object of either passes by its type's
    // identity, without IsA's virtual call; any other goes out of line.
    template <class Referenced, class Give>
    static bool TakeReference(Base& object, std::size_t index, Base* referenced)
    {
        if (referenced) {
            const std::type_info* const type = &typeid(*referenced);
            if (type != passedTypes<Referenced>[0].load(std::memory_order_relaxed) &&
                type != passedTypes<Referenced>[1].load(std::memory_order_relaxed)) [[unlikely]]
                return TakeOtherReference<Referenced, Give>(object, index, referenced);
        }
        return GiveReference<Referenced, Give>(object, index, static_cast<Referenced*>(referenced));
    }
    template <class Referenced, class Give>
    [[gnu::noinline]] static bool TakeOtherReference(Base& object, std::size_t index, Base* referenced)
    {
        if (!IsA<Referenced>(referenced))
            return false;
        passedTypes<Referenced>[1].store(passedTypes<Referenced>[0].load(std::memory_order_relaxed), std::memory_order_relaxed);
        passedTypes<Referenced>[0].store(&typeid(*referenced), std::memory_order_relaxed);
        return GiveReference<Referenced, Give>(object, index, static_cast<Referenced*>(referenced));
    }
    template <class Referenced, class Give>
    static bool GiveReference(Base& object, std::size_t index, Referenced* value)
    {
        if constexpr (std::is_same_v<std::invoke_result_t<Give, Base&, std::size_t, Referenced*>, bool>) {
            return Give{}(object, index, value);
        } else {
            Give{}(object, index, value);
            return true;
        }
    }
    template <class Referenced>
    static inline std::atomic<const std::type_info*> passedTypes[2] = {};
    // A reference's set(T&, value) and an element's set(T&, index, value) as Give.
    template <class Set>
    struct GiveOne {
        template <class V>
        auto operator()(Base& object, std::size_t, V* value) const { return Set{}(Of(object), value); }
    };
    template <class Set>
    struct GiveAt {
        template <class V>
        auto operator()(Base& object, std::size_t index, V* value) const { return Set{}(Of(object), index, value); }
    };

    // A framework archive's reference array: the count to resize, then each element to set.
    template <class Referenced, class Resize, class Set>
    static void ReadReferenceArray(Archive& archive, Base& object, const PropertyEntry&)
    {
        // Each reference takes at least its two-byte tag.
        const std::uint32_t count = archive.ReadCount(2);
        Resize{}(Of(object), count);
        for (std::uint32_t i = 0; i < count; ++i)
            Set{}(Of(object), std::size_t{i}, ReadTarget<Referenced>(archive));
    }

    // The last entry's in-place read, and the same as a run's link.
    template <class Read>
    void InPlace(Read)
    {
        Last().readInPlace = Read{};
        Last().readLinked = &ValueLink::Linked<Read>;
    }

    PropertyList& Flag(PropertyEntry::Flag flag)
    {
        Last().flags = static_cast<std::uint8_t>(Last().flags | flag);
        return *this;
    }

    PropertyEntry& Last() { return m_entries.back(); }

    std::vector<PropertyEntry> m_entries;
    std::vector<std::string_view> m_listing;
    RecordHook m_before = nullptr;
    RecordHook m_after = nullptr;
    bool m_beforeOnLoad = false; // the hook is for loading only
    bool m_afterOnLoad = false;
    void (*m_record)(Base&, Archive&) = nullptr;
};

// The stored-property table of T's superclass level (null below the first level with a table).
template <class T>
const PropertyTable* SuperclassTable()
{
    if constexpr (requires { T::Superclass::Properties(); })
        return &T::Superclass::Properties();
    else
        return nullptr;
}

// The description of one class level, built once on first use (a function-local static in the
// level's Properties()). The stream pass takes its persisted entries in order, after its base's, the
// table of the superclass level; the level's Serialize writes and reads the framework-archive
// column in order, after the base level's Serialize. The text interface looks names up from the
// most-derived level's table through each table's text base, the level whose text names this level
// continues: the base unless the table names another (null at the top).
class PropertyTable {
public:
    enum class Use : std::uint8_t { Get, Set, Describe };

    template <class T>
    explicit PropertyTable(const PropertyList<T>& list) : PropertyTable(SuperclassTable<T>(), list)
    {
    }
    template <class T>
    PropertyTable(const PropertyTable* textBase, const PropertyList<T>& list)
        : m_entries(list.m_entries), m_before(list.m_before), m_after(list.m_after),
          m_beforeOnLoad(list.m_beforeOnLoad), m_afterOnLoad(list.m_afterOnLoad), m_record(list.m_record),
          m_base(SuperclassTable<T>()), m_textBase(textBase)
    {
        BuildListing(list.m_listing);
    }

    PropertyTable(const PropertyTable&) = delete;
    PropertyTable& operator=(const PropertyTable&) = delete;

    const std::vector<PropertyEntry>& Entries() const { return m_entries; }
    // The superclass level's table; null for the first level with a table.
    const PropertyTable* GetBase() const { return m_base; }
    const PropertyTable* GetTextBase() const { return m_textBase; }
    // The level's work before and after a record (PropertyList::BeforeRecord, AfterRecord); null
    // when it has none.
    RecordHook GetBefore() const { return m_before; }
    RecordHook GetAfter() const { return m_after; }
    // The hooks a record being written runs: null for none or one for loading only.
    RecordHook GetBeforeStoring() const { return m_beforeOnLoad ? nullptr : m_before; }
    RecordHook GetAfterStoring() const { return m_afterOnLoad ? nullptr : m_after; }

    // The level's part of the object's framework-archive record (the base level's part comes first):
    // the before hook, the entries of the framework-archive column in order, the after hook; or the
    // whole record in the level's own form (PropertyList::ArchiveRecord).
    void Serialize(Archive& archive, Base& object) const;
    bool HasArchiveRecord() const { return m_record != nullptr; }

    // The first entry, from this level through the text bases, whose text name matches and that
    // serves the use (a read-only entry serves Set, as a refusal); null when none.
    const PropertyEntry* FindText(std::string_view name, Use use) const;
    // Appends the descriptors of the shown entries, the text bases' first; empty descriptors are
    // left out.
    void List(const Base& object, ObjectProperty::Array& properties) const;

private:
    void BuildListing(const std::vector<std::string_view>& textNames);

    std::vector<PropertyEntry> m_entries;
    RecordHook m_before;
    RecordHook m_after;
    bool m_beforeOnLoad;
    bool m_afterOnLoad;
    void (*m_record)(Base&, Archive&);
    std::vector<std::size_t> m_listing;  // shown entries in listing order
    const PropertyTable* m_base;
    const PropertyTable* m_textBase;
};

// In the source of a class declared with TAVREL_CLASS (ClassIdentity.h): its run-time record, its
// copy and the overrides that run its table, the base levels first. The source goes on with the
// table (Properties()); a level that stores and shows nothing of its own
// has TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES instead, an empty table.
#define TAVREL_DEFINE_CLASS(Name)                                                                        \
    TAVREL_CLASS_RECORD(Name)                                                                            \
    void Name::GetSetObjectProperties(::Tavrel::PropertyArchive& archive)                                \
    {                                                                                                    \
        ::Tavrel::PropertyPass(archive, *this).Table(Properties());                                      \
    }                                                                                                    \
    void Name::Serialize(::Tavrel::Archive& archive)                                                     \
    {                                                                                                    \
        if (!Properties().HasArchiveRecord())                                                            \
            Superclass::Serialize(archive);                                                              \
        Properties().Serialize(archive, *this);                                                          \
    }

#define TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(Name)                                                     \
    TAVREL_DEFINE_CLASS(Name)                                                                            \
    const ::Tavrel::PropertyTable& Name::Properties()                                                    \
    {                                                                                                    \
        static const ::Tavrel::PropertyTable table(::Tavrel::PropertyList<Name>{});                      \
        return table;                                                                                    \
    }

} // namespace Tavrel
