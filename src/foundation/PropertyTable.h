// PropertyTable: one class level's properties, declared once, driving its property-stream pass and its text interface.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <tavrel/core/Color.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/ObjectProperty.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/Storage.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

// One property of a class level. The stream side (Persisted) has the stored name, the storage code
// and the typed write and read halves of the property's line; a later stream step may call them by
// position. The text side has the name (and an alias) in the host's text interface, the text form,
// the parse, and the descriptor (Shown). Functions take the object as Base: the table of a level is
// only ever used with objects of that level.
struct PropertyEntry {
    enum Flag : std::uint8_t {
        Persisted = 1,  // written and read by the property stream under `name`
        Shown = 2,      // described by GetPropertyAsObjectProperty and listed by GetProperties
        ReadOnly = 4,   // SetPropertyFromString refuses it: false, nothing changed
        Prefix = 8,     // the text name matches every name that begins with it
        Array = 16,     // stored as an array: write writes it whole, read takes one element
    };

    std::string_view name;
    Storage::StorageType code = Storage::StorageObject;
    std::string_view textName;
    std::string_view alias;
    std::uint8_t flags = 0;
    ObjectProperty::PropertyType propertyType = 0;
    void (*write)(PropertyPass&, std::string_view name, Base&) = nullptr;
    void (*read)(PropertyPass&, std::string_view name, Base&) = nullptr;
    // An array entry that is sized to the stored count before its elements are read (then read
    // ignores indices past the array's size).
    void (*resize)(Base&, std::size_t count) = nullptr;
    std::string (*getText)(const Base&) = nullptr;
    bool (*setText)(Base&, std::string_view) = nullptr;
    ObjectProperty (*describe)(const Base&, const PropertyEntry&) = nullptr;

    bool Has(Flag flag) const { return (flags & flag) != 0; }
    // Readable, and writable unless read-only.
    std::int32_t Access() const;
    // The text name or the alias, without regard to case (a prefix of the name for Prefix entries).
    bool MatchesText(std::string_view text) const;
};

// The text forms of the value types the tables use: "%d" for integers, "%.4f" for reals and each
// coordinate of a point, the core library's form for colours. Parsing reads as a standard stream
// extraction does; it fills value (which holds the current value: a colour keeps what the text does
// not give) and returns false, leaving the property unchanged, when the text cannot be taken.
namespace PropertyText {
std::string ToText(const std::string& value);
std::string ToText(std::int32_t value);
std::string ToText(float value);
std::string ToText(const Color& value);
std::string ToText(const Point3d& value);
bool FromText(std::string_view text, std::string& value);
bool FromText(std::string_view text, std::int32_t& value);
bool FromText(std::string_view text, float& value);
bool FromText(std::string_view text, Color& value);
bool FromText(std::string_view text, Point3d& value);
} // namespace PropertyText

// The entries of one level of class T, built in order. Accessors are captureless lambdas (member
// pointers for fields), so each entry is a handful of plain function pointers. Each stored-value call
// adds an entry; Text adds a text-only one; the other calls refine the last entry.
template <class T>
class PropertyList {
public:
    // A stored field (codes 1 and 3 to 13), converted to and from the code's value type.
    template <Storage::StorageType Code, auto Member>
    PropertyList& Field(std::string_view name)
    {
        return Stored(name, Code, [](PropertyPass& pass, std::string_view stored, Base& object) {
            pass.WriteValue<Code>(stored, Of(object).*Member);
        }, [](PropertyPass& pass, std::string_view, Base& object) {
            pass.ReadValue<Code>([&object](const auto& value) {
                auto& field = Of(object).*Member;
                field = static_cast<std::remove_cvref_t<decltype(field)>>(value);
            });
        });
    }

    // A stored value through accessors: get(const T&) gives the value to write, set(T&, value) takes
    // the one read (no event is raised on reading).
    template <Storage::StorageType Code, class Get, class Set>
    PropertyList& Value(std::string_view name, Get, Set)
    {
        Captureless<Get, Set>();
        return Stored(name, Code, [](PropertyPass& pass, std::string_view stored, Base& object) {
            pass.WriteValue<Code>(stored, Get{}(Of(object)));
        }, [](PropertyPass& pass, std::string_view, Base& object) {
            pass.ReadValue<Code>([&object](const auto& value) { Set{}(Of(object), value); });
        });
    }

    // An object reference (code 0): get(const T&) gives the object to write; set(T&, object) takes the
    // one read, an object of get's class or null (another object is not taken). A set that returns
    // bool says whether it kept the object (PropertyPass::ReadObject).
    template <class Get, class Set>
    PropertyList& Reference(std::string_view name, Get, Set)
    {
        Captureless<Get, Set>();
        return Stored(name, Storage::StorageObject, [](PropertyPass& pass, std::string_view stored, Base& object) {
            pass.WriteValue<Storage::StorageObject>(stored, Get{}(Of(object)));
        }, [](PropertyPass& pass, std::string_view, Base& object) {
            pass.ReadObject<Target<Get>>([&object](Target<Get>* value) { return Set{}(Of(object), value); });
        });
    }

    // An array of object references (code 0): size(const T&) and get(const T&, index) for writing;
    // set(T&, index, object) for each element read, an object of get's class or null (returning bool
    // as Reference's set may).
    template <class Size, class Get, class Set>
    PropertyList& References(std::string_view name, Size, Get, Set)
    {
        Captureless<Size, Get, Set>();
        Stored(name, Storage::StorageObject, [](PropertyPass& pass, std::string_view stored, Base& object) {
            pass.WriteArray<Storage::StorageObject>(
                stored, [&object] { return Size{}(Of(object)); },
                [&object](std::size_t index) { return Get{}(Of(object), index); });
        }, [](PropertyPass& pass, std::string_view, Base& object) {
            const std::int32_t index = pass.GetArrayIndex();
            if (index < 0)
                return;
            using Referenced = std::remove_pointer_t<decltype(Get{}(std::declval<const T&>(), std::size_t{}))>;
            pass.ReadObject<Referenced>([&object, index](Referenced* value) {
                return Set{}(Of(object), static_cast<std::size_t>(index), value);
            });
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

    // An array of values of one code (codes 1 to 13; code 2 elements have archive operators and
    // travel as byte blocks): size(const T&) and get(const T&, index) for writing; resize(T&, count)
    // takes the stored count before the first element, set(T&, index, value) each element read.
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
        return Flag(PropertyEntry::Array);
    }

    // The same without a sizing step: set(T&, index, value) for each element read.
    template <Storage::StorageType Code, class Size, class Get, class Set>
    PropertyList& Values(std::string_view name, Size size, Get get, Set set)
    {
        return Values<Code>(name, size, get, [](T&, std::size_t) {}, set);
    }

    // A stored field with archive operators, carried as a byte block (code 2); it changes only when
    // the whole value was read.
    template <auto Member>
    PropertyList& Archived(std::string_view name)
    {
        return Stored(name, Storage::StorageArchive, [](PropertyPass& pass, std::string_view stored, Base& object) {
            pass.WriteArchived(stored, [&object](Archive& nested) { nested << Of(object).*Member; });
        }, [](PropertyPass& pass, std::string_view, Base& object) {
            pass.ReadArchived([&object](Archive& nested) {
                auto& field = Of(object).*Member;
                auto value = field;
                nested >> value;
                field = std::move(value);
            });
        });
    }

    // A byte block written by write(T&, Archive&) and read by read(T&, Archive&).
    template <class Write, class Read>
    PropertyList& Archived(std::string_view name, Write, Read)
    {
        Captureless<Write, Read>();
        return Stored(name, Storage::StorageArchive, [](PropertyPass& pass, std::string_view stored, Base& object) {
            pass.WriteArchived(stored, [&object](Archive& nested) { Write{}(Of(object), nested); });
        }, [](PropertyPass& pass, std::string_view, Base& object) {
            pass.ReadArchived([&object](Archive& nested) { Read{}(Of(object), nested); });
        });
    }

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

    // Its text form and descriptor come from get(const T&); set(T&, value) takes a parsed text.
    template <class Get, class Set>
    PropertyList& Accessors(Get get, Set)
    {
        Captureless<Get, Set>();
        Getter(get);
        Last().setText = [](Base& object, std::string_view text) {
            T& self = Of(object);
            auto value = Get{}(std::as_const(self));
            if (!PropertyText::FromText(text, value))
                return false;
            Set{}(self, std::as_const(value));
            return true;
        };
        return *this;
    }

    template <class Get>
    PropertyList& Getter(Get)
    {
        Captureless<Get>();
        Last().getText = [](const Base& object) { return PropertyText::ToText(Get{}(Of(object))); };
        Last().describe = [](const Base& object, const PropertyEntry& entry) {
            return ObjectProperty(std::string(entry.textName), Get{}(Of(object)), entry.Access(), entry.propertyType);
        };
        return *this;
    }

    // Text forms that are not a value's: text(const T&) gives the text; parse(T&, text) acts on it
    // and returns false, with nothing changed, when it cannot.
    template <class Text>
    PropertyList& GetText(Text)
    {
        Captureless<Text>();
        Last().getText = [](const Base& object) { return std::string(Text{}(Of(object))); };
        return *this;
    }
    template <class Parse>
    PropertyList& SetText(Parse)
    {
        Captureless<Parse>();
        Last().setText = [](Base& object, std::string_view text) -> bool { return Parse{}(Of(object), text); };
        return *this;
    }

    PropertyList& ReadOnly() { return Flag(PropertyEntry::ReadOnly); }
    PropertyList& Prefix() { return Flag(PropertyEntry::Prefix); }

    // Described (by Getter's value) and listed, with the host's category code.
    PropertyList& Shown(ObjectProperty::PropertyType type)
    {
        Last().propertyType = type;
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

    // The level's work after a record of it is written or read (the MethodAfter pass):
    // after(T&, PropertyArchive&). A level whose pass is its table keeps such work here, so that
    // records read or written by a plan run it without the levels' passes.
    template <class After>
    PropertyList& AfterRecord(After)
    {
        Captureless<After>();
        m_after = [](Base& object, PropertyArchive& archive) { After{}(Of(object), archive); };
        return *this;
    }

private:
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

    PropertyList& Flag(PropertyEntry::Flag flag)
    {
        Last().flags = static_cast<std::uint8_t>(Last().flags | flag);
        return *this;
    }

    PropertyEntry& Last() { return m_entries.back(); }

    std::vector<PropertyEntry> m_entries;
    std::vector<std::string_view> m_listing;
    PropertyHook m_after = nullptr;
};

// The description of one class level, built once on first use (a function-local static in the
// level's Properties()). The stream pass takes its persisted entries in order; the text interface
// looks names up from the most-derived level's table through each table's text base, the level
// whose text names this level continues (null at the top).
class PropertyTable {
public:
    enum class Use : std::uint8_t { Get, Set, Describe };

    template <class T>
    PropertyTable(const PropertyTable* textBase, const PropertyList<T>& list)
        : m_entries(list.m_entries), m_after(list.m_after), m_textBase(textBase)
    {
        BuildListing(list.m_listing);
    }

    PropertyTable(const PropertyTable&) = delete;
    PropertyTable& operator=(const PropertyTable&) = delete;

    const std::vector<PropertyEntry>& Entries() const { return m_entries; }
    const PropertyTable* GetTextBase() const { return m_textBase; }
    // The level's work after a record (PropertyList::AfterRecord); null when it has none.
    PropertyHook GetAfter() const { return m_after; }

    // The first entry, from this level through the text bases, whose text name matches and that
    // serves the use (a read-only entry serves Set, as a refusal); null when none.
    const PropertyEntry* FindText(std::string_view name, Use use) const;
    // Appends the descriptors of the shown entries, the text bases' first; empty descriptors are
    // left out.
    void List(const Base& object, ObjectProperty::Array& properties) const;

private:
    void BuildListing(const std::vector<std::string_view>& textNames);

    std::vector<PropertyEntry> m_entries;
    PropertyHook m_after;
    std::vector<std::size_t> m_listing;  // shown entries in listing order
    const PropertyTable* m_textBase;
};

} // namespace Tavrel
