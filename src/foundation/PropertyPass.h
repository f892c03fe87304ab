// PropertyPass: one class level's GetSetObjectProperties written as a list of property lines.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <vector>

#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/CompressionInteger.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/Storage.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

class PropertyPlan;
class PropertyTable;

// A level's work before or after a record of an object of it: the framework archive the record's
// bytes go to or come from, and the property stream when the record is one of its (null in the
// framework archive's own form).
using RecordHook = void (*)(Base&, Archive&, PropertyArchive*);

// The property names of one class level, compared case-sensitively: a stored name in other letter
// case than the level's own is not routed to that level and is dropped, even though a level matches
// the names it owns without regard to case. One process-wide instance per level, filled by the
// level's first pass.
class PropertyLevel {
public:
    bool IsEmpty() const { return m_names.empty(); }
    bool Contains(std::string_view name) const { return m_names.find(name) != m_names.end(); }

private:
    friend class PropertyPass;
    std::unordered_set<std::string, NameHash, std::equal_to<>> m_names;
    bool m_complete = false;
};

// In a level's GetSetObjectProperties (a class declared with TAVREL_DECLARE_CLASS):
//
//     PropertyPass pass(archive, *this);
//     pass.Value<Storage::StorageBool>("Selected", m_selected);
//     pass.Object("Parent", m_parent);
//     pass.Array<Storage::StorageObject>("Children", m_children);
//     if (pass.Is(PropertyArchive::MethodAfter))
//         ...
//
// A level that describes its properties in a PropertyTable runs them all with one line:
// PropertyPass(archive, *this).Table(Properties()); such a level keeps its work before and after a
// record in the table (PropertyList::BeforeRecord, AfterRecord), as records read or written by a plan
// run no level's pass.
//
// The constructor runs the base level's pass first, except that a read of a name this level does not
// own goes to the base level alone (the pass is then false and every line does nothing). Each line
// counts, writes, sizes or reads its property as the method type says; names are matched without
// regard to case on reading. A plain value stored with another plain code is converted to the line's
// (Storage::ConvertSimple); a value that does not convert, or a missing one, leaves the field
// unchanged. Every pass must run the same lines in the same order.
class PropertyPass {
public:
    template <class Level>
        requires std::derived_from<Level, Base>
    PropertyPass(PropertyArchive& archive, Level& object)
        : m_archive(archive), m_level(LevelNames<Level>()), m_object(object), m_method(archive.GetMethodType()),
          m_exceptions(m_level.m_complete ? 0 : std::uncaught_exceptions())
    {
        // A level with a table owns its names from its first pass on, whatever pass that is (a record
        // a plan began and then dropped reaches the levels in the middle).
        if constexpr (std::is_same_v<decltype(&Level::GetPropertyTable), const PropertyTable* (Level::*)() const>) {
            if (!m_level.m_complete && m_level.IsEmpty())
                OwnNames(Level::Properties());
        }
        // A level that owns no name yet (or none at all) lets every read reach its base.
        const bool routed = m_method == PropertyArchive::MethodRead && !m_level.IsEmpty();
        if (routed && !m_level.Contains(archive.GetPropertyName())) {
            m_active = false;
            object.Level::Superclass::GetSetObjectProperties(archive);
            return;
        }
        if (!routed)
            object.Level::Superclass::GetSetObjectProperties(archive);
        if (m_method == PropertyArchive::MethodWrite)
            m_className = object.GetClassHierarchyName();
    }
    ~PropertyPass()
    {
        if (m_active && !m_level.m_complete)
            Complete();
    }

    PropertyPass(const PropertyPass&) = delete;
    PropertyPass& operator=(const PropertyPass&) = delete;

    // False when the pass went to the base level alone.
    explicit operator bool() const { return m_active; }
    PropertyArchive::MethodType GetMethodType() const { return m_method; }
    bool Is(PropertyArchive::MethodType method) const { return m_active && m_method == method; }

    // A plain value (codes 1 and 3 to 13). The field may be of any type that converts to and from the
    // code's value type (an enum stored as an int, a std::string for code 1).
    template <Storage::StorageType Code, class Field>
    void Value(std::string_view name, Field& field)
    {
        Value<Code>(name, [&field]() -> const Field& { return field; },
                    [&field](const auto& value) { field = static_cast<Field>(value); });
    }

    // A plain value through accessors: get() gives the value to write, set(value) takes the one read.
    template <Storage::StorageType Code, class Get, class Set>
    void Value(std::string_view name, Get&& get, Set&& set)
    {
        Line(name, [&] { WriteValue<Code>(name, get()); }, [&] { ReadValue<Code>(set); });
    }

    // An object reference (code 0). On reading, an object that is not a T leaves the field unchanged.
    template <class T>
        requires std::derived_from<T, Base>
    void Object(std::string_view name, T*& field)
    {
        Line(
            name, [&] { WriteElement<Storage::StorageObject>(name, field); },
            [&] {
                if (T* value = nullptr; TakeObject(value))
                    field = value;
            });
    }

    // Two object references (code 14). On reading, a half that is not a T is left unchanged.
    template <class T>
        requires std::derived_from<T, Base>
    void Pair(std::string_view name, T*& first, T*& second)
    {
        Line(
            name,
            [&] {
                PropertyStoragePair holder(first, second);
                holder.Serialize(m_className, name, m_archive);
            },
            [&] {
                const auto* stored = static_cast<const PropertyStoragePair*>(Peek(Storage::StoragePair));
                if (!stored)
                    return;
                T* const values[2] = {DynCast<T>(stored->GetData(0)), DynCast<T>(stored->GetData(1))};
                bool taken = false;
                for (int i = 0; i < 2; ++i) {
                    if (!stored->GetData(i) || values[i]) {
                        (i == 0 ? first : second) = values[i];
                        taken = true;
                    }
                }
                if (taken)
                    m_archive.TakeProperty();
            });
    }

    // A value carried as a byte block (code 2): write(Archive&) fills a nested storing archive of
    // object schema 13; read(Archive&) reads a nested loading archive over the stored bytes, with the
    // outer archive's object schema. An empty block is not read.
    template <class Write, class Read>
    void Archived(std::string_view name, Write&& write, Read&& read)
    {
        Line(name, [&] { WriteArchived(name, write); }, [&] { ReadArchived(read); });
    }

    // A value with archive operators carried as a byte block; the field changes only when the whole
    // value was read.
    template <class T>
    void Archived(std::string_view name, T& field)
    {
        Archived(name, [&field](Archive& nested) { nested << field; },
                 [&field](Archive& nested) {
                     T value = field;
                     nested >> value;
                     field = std::move(value);
                 });
    }

    // An array of values of one code: plain codes and code 1 with convertible elements, code 0 with
    // pointers to Base classes (an element of another class stays null), code 2 with elements that
    // have archive operators. On reading, the array is sized to the stored count first.
    template <Storage::StorageType Code, class T>
    void Array(std::string_view name, std::vector<T>& array)
    {
        Array<Code>(
            name, [&array] { return array.size(); },
            [&array](std::size_t index) -> T { return index < array.size() ? array[index] : T{}; },
            [this, &array](std::size_t) { m_archive.ChangeArraySize(array); },
            [&array](std::size_t index, const auto& value) {
                if (index >= array.size())
                    return;
                if constexpr (Code == Storage::StorageObject)
                    array[index] = value;
                else
                    array[index] = static_cast<T>(value);
            });
    }

    // An array through accessors: size() and get(index) for writing, resize(count) when the stored
    // count is known, set(index, value) for each element read (index below the stored count). For
    // code 0 the value is a Base* (the level checks its class); for code 2 it is of get's type, read
    // over get(index), which must then be valid.
    template <Storage::StorageType Code, class Size, class Get, class Resize, class Set>
    void Array(std::string_view name, Size&& size, Get&& get, Resize&& resize, Set&& set)
    {
        if (!Reach(name))
            return;
        switch (m_method) {
        case PropertyArchive::MethodCount:
            m_archive.IncrementNumberOfProperties();
            break;
        case PropertyArchive::MethodWrite:
            WriteArray<Code>(name, size, get);
            break;
        case PropertyArchive::MethodArraySize:
            if (Matches(name))
                resize(static_cast<std::size_t>(std::max(m_archive.GetArraySize(), std::int32_t{0})));
            break;
        case PropertyArchive::MethodRead:
            if (Matches(name) && m_archive.GetArrayIndex() >= 0)
                ReadElement<Code>(static_cast<std::size_t>(m_archive.GetArrayIndex()), get, set);
            break;
        default:
            break;
        }
    }

    // Every persisted entry of the level's table, in the table's order. An array entry writes its
    // whole array, sizes it to the stored count and reads the element at the archive's array index.
    // The table's hooks run in the passes before and after a record.
    void Table(const PropertyTable& table);

    // A line of one value: counts it; writes its name, then write() the value (its holder: type code
    // and payload); or, reading a name that matches, read() takes it.
    template <class Write, class Read>
    void Line(std::string_view name, Write&& write, Read&& read)
    {
        Entry(name, false, write, read);
    }

    // The write half of an array line: its name and count, then each element's name and value.
    template <Storage::StorageType Code, class Size, class Get>
    void WriteArray(std::string_view name, Size&& size, Get&& get)
    {
        const std::size_t count = size();
        CheckCount(name, count);
        WriteName(name, true);
        CompressionInteger::Write(static_cast<std::int32_t>(count), m_archive.GetArchive());
        for (std::size_t i = 0; i < count; ++i) {
            WriteName(name, false);
            if constexpr (Code == Storage::StorageArchive)
                WriteArchivedElement(name, get(i));
            else
                WriteElement<Code>(name, get(i));
        }
    }

    // The array element being read: the archive's array index, -1 when there is none.
    std::int32_t GetArrayIndex() const { return m_archive.GetArrayIndex(); }

    // The read half of an object line: set(value) with the stored reference as a T (null allowed),
    // which is then taken; nothing when there is none or it refers to an object that is not a T. A
    // set that returns bool keeps the object only when it returns true: an object read for the value
    // that nothing kept is freed by the reader.
    template <class T, class Set>
    void ReadObject(Set&& set)
    {
        T* value = nullptr;
        if (!PeekObject(value))
            return;
        if constexpr (std::is_same_v<std::invoke_result_t<Set&, T*>, bool>) {
            if (!set(value))
                return;
        } else {
            set(value);
        }
        m_archive.TakeProperty();
    }

    // The read half of a pair line: set(first, second) with the stored pair as a First and a Second
    // (either may be null), which is then taken; nothing when there is none or a half is of another
    // class.
    template <class First, class Second, class Set>
    void ReadPair(Set&& set)
    {
        const auto* stored = static_cast<const PropertyStoragePair*>(Peek(Storage::StoragePair));
        if (!stored)
            return;
        First* const first = DynCast<First>(stored->GetData(0));
        Second* const second = DynCast<Second>(stored->GetData(1));
        if ((stored->GetData(0) && !first) || (stored->GetData(1) && !second))
            return;
        m_archive.TakeProperty();
        set(first, second);
    }

    // The holder of one value of a plain code, or of code 0 or 1 (the write and read halves of a line).
    template <Storage::StorageType Code, class V>
    void WriteValue(std::string_view name, const V& value)
    {
        WriteElement<Code>(name, value);
    }
    // set(value) with the current stored value, which is then taken; nothing when there is none.
    template <Storage::StorageType Code, class Set>
    void ReadValue(Set&& set)
    {
        if (m_direct) {
            set(ReadPayload<Code>());
            return;
        }
        if (auto value = TakeValue<Code>())
            set(*value);
    }
    // set(text) with the current stored text (code 1), which is then taken; nothing when there is
    // none. A plan's reading pass gives a view of the input.
    template <class Set>
    void ReadText(Set&& set);
    // A byte block (code 2): write(Archive&) fills a nested storing archive; read(Archive&) reads the
    // stored block, when there is a non-empty one.
    template <class Write>
    void WriteArchived(std::string_view name, Write&& write)
    {
        NestedArchive nested(m_archive);
        nested->Restart();
        nested->SetObjectSchema(NestedSchema);
        write(*nested);
        WriteBlock(name, nested->GetData());
    }
    // The byte block of a value whose archive form is always size plain bytes (ArchiveForm::PlainSize),
    // written straight into the stream: the bytes WriteArchived would give, without a nested archive.
    template <std::size_t Size, class V>
    void WritePlainBlock(std::string_view name, const V& value)
    {
        static_assert(Size <= static_cast<std::size_t>(INT32_MAX));
        WriteType(name, Storage::StorageArchive);
        Archive& stream = m_archive.GetArchive();
        stream << static_cast<std::int32_t>(Size);
        stream << value;
    }
    // The read half of WritePlainBlock: on a plan's reading pass a block of exactly size bytes is read
    // straight from the stream into the field (which changes only once the whole value is read), and
    // true is returned; false, with nothing read, for any other block or pass (read it by ReadArchived).
    template <std::size_t Size, class V>
    bool ReadPlainBlock(V& field)
    {
        if (!m_direct)
            return false;
        Archive& stream = m_archive.GetArchive();
        const std::size_t at = stream.GetPosition();
        std::int32_t length = 0;
        stream >> length;
        if (static_cast<std::size_t>(length) != Size || stream.GetRemaining() < Size) {
            stream.Seek(at);
            return false;
        }
        V value = field;
        stream >> value;
        field = std::move(value);
        return true;
    }
    template <class Read>
    void ReadArchived(Read&& read)
    {
        if (m_direct) {
            const std::span<const std::uint8_t> bytes = ReadBlock();
            ReadNested(bytes.data(), bytes.size(), read);
            return;
        }
        if (const Storage* stored = Take(Storage::StorageArchive)) {
            const std::vector<std::uint8_t>& bytes = static_cast<const PropertyStorageArchive&>(*stored).GetData();
            ReadNested(bytes.data(), bytes.size(), read);
        }
    }

    // The payload of a value of the code: 7 and 8 a compressed integer, any other the bytes of the
    // code's value type.
    template <Storage::StorageType Code>
    static void WritePayload(Archive& stream, StorageValueType<Code> value)
    {
        if constexpr (Code == Storage::StorageInt || Code == Storage::StorageUnsignedInt)
            CompressionInteger::Write(value, stream);
        else
            stream << value;
    }

private:
    friend class PropertyPlan;

    // A plan's pass (PropertyPlan::WritePass, ReadPass): writing, the stream's name or type code of
    // the plan's position is written only while the stream has not given it; reading, payloads come
    // straight from the stream.
    PropertyPass(PropertyArchive& archive, Base& object, const PropertyPlan& plan, std::size_t position, bool direct,
                 std::string_view name)
        : m_archive(archive), m_level(s_plannedLevel), m_object(object), m_method(archive.GetMethodType()),
          m_plan(&plan), m_position(position), m_direct(direct), m_name(name), m_exceptions(0)
    {
        if (!direct)
            m_className = PlanClassName();
    }
    std::string_view PlanClassName() const;
    // The level of a plan's passes: they route nothing and enter no names.
    static PropertyLevel s_plannedLevel;
    // Marks the level's names complete after its first pass, unless that pass ends by an exception.
    void Complete();

    // The archive a byte block is written to or read from, reused from block to block.
    class NestedArchive {
    public:
        explicit NestedArchive(PropertyArchive& owner) : m_owner(owner), m_archive(owner.TakeNested()) {}
        ~NestedArchive() { m_owner.ReturnNested(std::move(m_archive)); }
        NestedArchive(const NestedArchive&) = delete;
        NestedArchive& operator=(const NestedArchive&) = delete;
        Archive& operator*() const { return *m_archive; }
        Archive* operator->() const { return m_archive.get(); }

    private:
        PropertyArchive& m_owner;
        std::unique_ptr<Archive> m_archive;
    };

    // Counts, writes or reads one line; an array line's write() writes its own name and elements.
    template <class Write, class Read>
    void Entry(std::string_view name, bool isArray, Write&& write, Read&& read)
    {
        if (!Reach(name))
            return;
        if (m_method == PropertyArchive::MethodCount) {
            m_archive.IncrementNumberOfProperties();
        } else if (m_method == PropertyArchive::MethodWrite) {
            if (!isArray)
                WriteName(name, false);
            write();
        } else if (m_method == PropertyArchive::MethodRead && Matches(name)) {
            read();
        }
    }

    // The stream's name (with array flag) and type code of the line being written; nothing for a
    // settled position of a plan.
    void WriteName(std::string_view name, bool isArray)
    {
        if (!m_settled)
            WriteUnsettledName(name, isArray);
    }
    void WriteType(std::string_view name, Storage::StorageType code)
    {
        if (!m_settled)
            WriteUnsettledType(name, code);
    }
    void WriteUnsettledName(std::string_view name, bool isArray);
    void WriteUnsettledType(std::string_view name, Storage::StorageType code);

    template <Storage::StorageType Code>
    void WritePayload(StorageValueType<Code> value)
    {
        WritePayload<Code>(m_archive.GetArchive(), value);
    }

    // The payload of a value of the code, read straight from the stream (a plan's reading pass).
    template <Storage::StorageType Code>
    auto ReadPayload()
    {
        Archive& stream = m_archive.GetArchive();
        if constexpr (Code == Storage::StorageString) {
            std::string value;
            stream >> value;
            return value;
        } else if constexpr (Code == Storage::StorageInt) {
            return CompressionInteger::ReadInteger(stream);
        } else if constexpr (Code == Storage::StorageUnsignedInt) {
            return CompressionInteger::ReadUnsignedInteger(stream);
        } else {
            StorageValueType<Code> value{};
            stream >> value;
            return value;
        }
    }

    // A byte block's type code, length and bytes; refuses (ArchiveException) a block too long for
    // the stream's 32-bit length.
    void WriteBlock(std::string_view name, std::span<const std::uint8_t> bytes);
    // A stored block's bytes, its length checked against the remaining input.
    std::span<const std::uint8_t> ReadBlock()
    {
        Archive& stream = m_archive.GetArchive();
        std::int32_t length = 0;
        stream >> length;
        if (length < 0 || static_cast<std::size_t>(length) > stream.GetRemaining())
            RefuseBlockLength();
        return stream.ReadView(static_cast<std::size_t>(length));
    }
    [[noreturn]] void RefuseBlockLength() const;
    // The property names of one class level, one set per level class.
    template <class Level>
    static PropertyLevel& LevelNames()
    {
        static PropertyLevel level;
        return level;
    }

    // Enters the persisted names of the table in the level's set.
    void OwnNames(const PropertyTable& table);
    // Enters the name in the level's set during the level's first pass; false when the pass is off.
    bool Reach(std::string_view name)
    {
        if (!m_level.m_complete)
            m_level.m_names.emplace(name);
        return m_active;
    }
    bool Matches(std::string_view name) const;
    // Refuses (ArchiveException) an array too long for the stream's 32-bit counts.
    void CheckCount(std::string_view name, std::size_t count) const;
    // The current holder when it has the code; null when there is none or it has another code (the
    // value is then skipped). Take also marks the value as taken.
    const Storage* Peek(Storage::StorageType code) const;
    const Storage* Take(Storage::StorageType code);

    // The current value as the code's value type, taken: a text from a text holder only, a plain value
    // from any plain holder whose value converts. Empty, with nothing taken, otherwise.
    template <Storage::StorageType Code>
    auto TakeValue()
    {
        if constexpr (Code == Storage::StorageString) {
            std::optional<std::string> value;
            if (const Storage* stored = Take(Code))
                value = static_cast<const PropertyStorageString&>(*stored).GetData();
            return value;
        } else {
            std::optional<StorageValueType<Code>> value;
            const Storage* stored = m_archive.PeekProperty();
            if (StorageValueType<Code> converted{}; stored && Storage::ConvertSimple(*stored, converted)) {
                value = converted;
                m_archive.TakeProperty();
            }
            return value;
        }
    }

    template <Storage::StorageType Code, class V>
    void WriteElement(std::string_view name, const V& value)
    {
        if constexpr (Code == Storage::StorageObject) {
            PropertyStorageObject holder(value);
            holder.Serialize(m_className, name, m_archive);
        } else if constexpr (Code == Storage::StoragePair) {
            PropertyStoragePair holder(value.first, value.second);
            holder.Serialize(m_className, name, m_archive);
        } else if constexpr (Code == Storage::StorageString) {
            WriteType(name, Code);
            m_archive.GetArchive() << std::string_view(value);
        } else {
            WriteType(name, Code);
            WritePayload<Code>(static_cast<StorageValueType<Code>>(value));
        }
    }

    // The stored object reference as a T; false when there is none or it refers to an object that is
    // not a T. TakeObject also marks it taken.
    template <class T>
    bool PeekObject(T*& value) const
    {
        const auto* stored = static_cast<const PropertyStorageObject*>(Peek(Storage::StorageObject));
        if (!stored)
            return false;
        Base* const object = stored->GetData();
        value = DynCast<T>(object);
        return !object || value;
    }
    template <class T>
    bool TakeObject(T*& value)
    {
        if (!PeekObject(value))
            return false;
        m_archive.TakeProperty();
        return true;
    }

    template <Storage::StorageType Code, class Get, class Set>
    void ReadElement(std::size_t index, Get& get, Set& set)
    {
        if constexpr (Code == Storage::StorageObject) {
            using Entry = std::remove_cvref_t<decltype(get(index))>;
            if constexpr (std::is_same_v<Entry, Base*>) {
                if (const Storage* stored = Take(Code))
                    set(index, static_cast<const PropertyStorageObject&>(*stored).GetData());
            } else if (Entry value = nullptr; TakeObject(value)) {
                set(index, value);
            }
        } else if constexpr (Code == Storage::StorageArchive) {
            if (const Storage* stored = Take(Code)) {
                const std::vector<std::uint8_t>& bytes = static_cast<const PropertyStorageArchive&>(*stored).GetData();
                ReadNested(bytes.data(), bytes.size(), [&](Archive& nested) {
                    auto value = get(index);
                    nested >> value;
                    set(index, std::move(value));
                });
            }
        } else if (auto value = TakeValue<Code>()) {
            set(index, *value);
        }
    }

    template <class T>
    void WriteArchivedElement(std::string_view name, const T& value)
    {
        WriteArchived(name, [&value](Archive& nested) { nested << value; });
    }

    // A loading archive over the block holds no table until the block holds a record.
    template <class Read>
    void ReadNested(const std::uint8_t* bytes, std::size_t size, Read&& read)
    {
        if (size == 0)
            return;
        Archive nested(std::span<const std::uint8_t>(bytes, size));
        nested.SetObjectSchema(m_archive.GetObjectSchema());
        read(nested);
    }

    static constexpr std::uint32_t NestedSchema = 13;

    PropertyArchive& m_archive;
    PropertyLevel& m_level;
    Base& m_object;
    PropertyArchive::MethodType m_method;
    std::string_view m_className;
    bool m_active = true;
    const PropertyPlan* m_plan = nullptr;  // a plan's pass: the plan and the position of its line
    std::size_t m_position = 0;
    bool m_direct = false;     // a plan's reading pass: payloads come straight from the stream
    bool m_settled = false;    // a plan's writing pass at positions the stream has described: payloads alone
    std::string_view m_name;   // a plan's pass: the property's name, for messages
    int m_exceptions;
};

// After the class: TakeValue's return type is known only once it is defined.
template <class Set>
void PropertyPass::ReadText(Set&& set)
{
    if (m_direct) {
        set(m_archive.GetArchive().ReadStringView());
        return;
    }
    if (auto value = TakeValue<Storage::StorageString>())
        set(std::string_view(*value));
}

} // namespace Tavrel
