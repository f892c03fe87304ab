// Property: an object's user-property table, names mapped to typed DataStorage cells in insertion order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <tavrel/core/UniqueString.h>
#include <tavrel/foundation/DataStorage.h>
#include <tavrel/platform/PersistentObject.h>

namespace Tavrel {

class Archive;
class Base;

class Property : public PersistentObject {
public:
    // Result of SetPropertyFromString.
    enum PropertyStatus : std::int32_t {
        StatusFailed = 0,
        StatusSet = 1,
        StatusCreated = 2,
    };

    static constexpr const char* className = "XXProperty";
    static const RuntimeClass& GetThisClass() noexcept;
    static PersistentObject* CreateObject();
    const RuntimeClass* GetRuntimeClass() const override { return &GetThisClass(); }

    Property() : m_table(nullptr) {}
    Property(const Property& other);
    Property(Property&& other) noexcept;
    Property& operator=(const Property& other);
    Property& operator=(Property&& other) noexcept;
    ~Property() override;

    // Replaces every cell by a copy of the other table's cells, temporary ones included.
    void CopyProperties(const Property& other) { *this = other; }
    // The same, leaving out the cells under the names.
    void CopyPropertiesExcept(const Property& other, std::span<const std::string_view> names);
    // How many of the table's names are among `names`.
    std::int32_t CountNamesAmong(std::span<const std::string_view> names) const
    {
        // A single cell (an atom's marker, most often) is read in place.
        if (m_form == Form::One)
            return std::find(names.begin(), names.end(), *m_one.name) != names.end() ? 1 : 0;
        std::int32_t found = 0;
        for (const Entry& entry : Entries()) {
            if (std::find(names.begin(), names.end(), *entry.name) != names.end())
                ++found;
        }
        return found;
    }

    // Each stores a new cell under the name; a cell already there is replaced in its place.
    void SetProperty(std::string_view name);
    void SetProperty(std::string_view name, std::int32_t value, std::uint32_t flags);
    void SetProperty(std::string_view name, float value, std::uint32_t flags);
    void SetProperty(std::string_view name, void* value, std::uint32_t flags);
    void SetProperty(std::string_view name, std::int32_t count, const std::int32_t* values, std::uint32_t flags);
    void SetProperty(std::string_view name, std::int32_t count, const float* values, std::uint32_t flags);
    void SetProperty(std::string_view name, std::int32_t count, const std::uint8_t* bytes, std::uint32_t flags);
    void SetProperty(std::string_view name, const char* text, std::uint32_t flags);
    void SetProperty(std::string_view name, const Base* object, std::uint32_t flags);
    // The same under a name interned already, for writers that set one name on many tables.
    void SetProperty(const UniqueString& name, std::int32_t value, std::uint32_t flags);
    // Two of them, first then second; an empty table takes both in one block.
    void SetProperties(const UniqueString& first, std::int32_t firstValue, const UniqueString& second,
                       std::int32_t secondValue, std::uint32_t flags);

    // An absent name gets a new text cell (StatusCreated); otherwise the cell's SetFromString
    // decides between StatusSet and StatusFailed.
    PropertyStatus SetPropertyFromString(std::string_view name, std::string_view text, std::uint32_t flags);

    // False when the name is absent or its cell has another type; outputs are then unchanged.
    bool GetProperty(std::string_view name, std::int32_t& value) const;
    bool GetProperty(std::string_view name, std::int32_t& count, const std::int32_t*& values) const;
    bool GetProperty(std::string_view name, float& value) const;
    bool GetProperty(std::string_view name, std::int32_t& count, const float*& values) const;
    bool GetProperty(std::string_view name, void*& value) const;
    bool GetProperty(std::string_view name, const char*& text) const;
    bool GetProperty(std::string_view name, std::int32_t& count, const std::uint8_t*& bytes) const;
    bool GetProperty(std::string_view name, Base*& object) const;

    // Names are compared exactly, letter case included. Lookups scan a small table and go through
    // an index in a large one.
    bool HasProperty(std::string_view name) const { return Find(name) != nullptr; }
    // The same for a name interned already: a small table compares the shared strings.
    bool HasProperty(const UniqueString& name) const;
    void RemoveProperty(std::string_view name);

    // The cell's text form; the empty text when the name is absent.
    std::string GetPropertyAsString(std::string_view name) const;
    std::string GetPropertyAsString(std::string_view name, std::int32_t width, std::int32_t precision) const;

    // Answered in line for the small forms, where the count is the form's own number.
    std::int32_t GetNumProperties() const
    {
        return m_form == Form::Many ? CountTable() : static_cast<std::int32_t>(m_form);
    }
    // The name at a position of the table's order (insertion order); empty when out of range.
    std::string GetPropertyName(std::int32_t index) const;
    std::int32_t GetNumTemporaries() const;

    // Flag changes are ignored for absent names; flag queries are then false.
    void SetTemporary(std::string_view name, bool set);
    void SetReadable(std::string_view name, bool set);
    void SetWritable(std::string_view name, bool set);
    bool IsTemporary(std::string_view name) const;
    bool IsReadable(std::string_view name) const;
    bool IsWritable(std::string_view name) const;

    // A 32-bit count of the cells that are not temporary, then each as its name and its cell, in
    // the table's order. Loading a count below 1 keeps the table; otherwise the read table
    // replaces it only once every cell has been read, so bad input leaves the table unchanged. A
    // later cell of a name replaces the earlier one, unless that one holds an object its read made:
    // such a record is refused.
    void Serialize(Archive& archive) override;

private:
    // A name, interned for the process, and its cell.
    struct Entry {
        UniqueString::StringPtr name;
        DataStorage cell;
    };
    struct Table;
    struct Pair;
    enum class Form : std::uint8_t { Empty = 0, One = 1, Two = 2, Many };

    std::int32_t CountTable() const;
    std::span<Entry> Entries();
    std::span<const Entry> Entries() const;
    const Entry* FindEntry(std::string_view name) const;
    const DataStorage* Find(std::string_view name) const;
    DataStorage* Find(std::string_view name);
    void Put(std::string_view name, DataStorage&& cell);
    void Put(UniqueString::StringPtr name, DataStorage&& cell);
    // Appends a cell under a name not in the table.
    void Add(UniqueString::StringPtr name, DataStorage&& cell);
    void Clear() noexcept;

    // A single entry is held in place, as most tables have one; two (an image atom's markers) take
    // one heap block; more move to a table of their own.
    union {
        Entry m_one;
        Pair* m_pair;
        Table* m_table;
    };
    Form m_form = Form::Empty;
};

} // namespace Tavrel
