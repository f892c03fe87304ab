// DataStorage: one typed user-property value with its temporary, readable and writable flags.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Tavrel {

class Archive;
class Base;

class DataStorage {
public:
    // The value type; the numbers are written to archives.
    enum Type : std::int32_t {
        TypeEmpty = 0,
        TypePointer = 1,
        TypeLong = 2,
        TypeLongArray = 3,
        TypeFloat = 4,
        TypeFloatArray = 5,
        TypeText = 6,
        TypeByteArray = 7,
        TypeObject = 8,
    };

    // Flag bits; a cell with none of them set is private. Temporary cells are never archived.
    enum Flags : std::uint32_t {
        FlagTemporary = 1u,
        FlagReadable = 2u,
        FlagWritable = 4u,
    };

    // An empty cell, readable only.
    DataStorage();
    DataStorage(std::int32_t value, std::uint32_t flags);
    DataStorage(float value, std::uint32_t flags);
    // The pointer is kept, never owned, and never archived: it reloads as null.
    DataStorage(void* value, std::uint32_t flags);
    // Array cells copy count elements; a negative count or a null block gives an empty array.
    DataStorage(std::int32_t count, const std::int32_t* values, std::uint32_t flags);
    DataStorage(std::int32_t count, const float* values, std::uint32_t flags);
    DataStorage(std::int32_t count, const std::uint8_t* bytes, std::uint32_t flags);
    // A copy of the text up to its terminating zero; a null text has count 0 and no block.
    DataStorage(const char* text, std::uint32_t flags);
    // The object is kept as its OID (0 for null), so a deleted object reads back as null.
    DataStorage(const Base* object, std::uint32_t flags);
    DataStorage(const DataStorage& other);
    DataStorage(DataStorage&& other) noexcept;
    DataStorage& operator=(const DataStorage& other);
    DataStorage& operator=(DataStorage&& other) noexcept;
    ~DataStorage();

    Type GetType() const { return static_cast<Type>(m_type); }
    // 1 for scalars, the element count of arrays, the text length plus one, 0 when empty.
    std::int32_t GetCount() const;

    // Each getter returns false and leaves its outputs unchanged unless the cell has that type.
    // Array and text getters hand out the cell's own block, valid until the cell changes.
    bool Get(std::int32_t& value) const;
    bool Get(std::int32_t& count, const std::int32_t*& values) const;
    bool Get(float& value) const;
    bool Get(std::int32_t& count, const float*& values) const;
    bool Get(void*& value) const;
    // Null for a cell made from a null text.
    bool Get(const char*& text) const;
    bool Get(std::int32_t& count, const std::uint8_t*& bytes) const;
    // The live object of the stored OID, null when it no longer exists (still true).
    bool Get(Base*& object) const;

    // Replaces the flags whatever the outcome. Long and float cells take the number of their type
    // that begins the text, as stream extraction reads it (StringUtils::StringToInteger,
    // StringToReal: "12abc" gives 12), and keep their value when none does; text cells take the text;
    // other types fail and keep their value.
    bool SetFromString(std::string_view text, std::uint32_t flags);

    // Long as "%d", float as "%f", text as "%s"; the empty text for other types.
    std::string GetAsString() const;
    // Long as "%*d", float as "%*.*f", text as "%*s"; the empty text for other types.
    std::string GetAsString(std::int32_t width, std::int32_t precision) const;

    // Whether the cell owns an object its read created, which goes with the cell.
    bool OwnsLoadedObject() const;

    std::uint32_t GetFlags() const { return m_flags; }
    bool IsTemporary() const { return (m_flags & FlagTemporary) != 0; }
    void SetTemporary(bool set) { SetFlag(FlagTemporary, set); }
    bool IsReadable() const { return (m_flags & FlagReadable) != 0; }
    void SetReadable(bool set) { SetFlag(FlagReadable, set); }
    bool IsWritable() const { return (m_flags & FlagWritable) != 0; }
    void SetWritable(bool set) { SetFlag(FlagWritable, set); }
    bool IsPrivate() const { return m_flags == 0; }
    // True clears every flag; false does nothing.
    void SetPrivate(bool set);

    // Type, count, flags byte, then the value. A pointer is written as 0 and reads back as null. An
    // object is written as its own framework record (with its subtree, without the tree above it; a
    // null reference when it no longer exists, when its class cannot be archived, or for cells
    // nested 16 deep in objects written by cells); reading it creates a new object, which the cell
    // owns (OwnedObjects) until a parent takes it, and the cell's last copy deletes it with the
    // parentless nodes its read made that nothing owns. Loading validates the record against the bytes that remain and raises the archive
    // exception on bad input, leaving the cell unchanged.
    void Serialize(Archive& archive);

private:
    struct LoadedObject;
    struct ObjectId;
    struct Block;

    // The value in place for scalars; arrays, text and objects behind a pointer.
    union Value {
        void* pointer;
        std::int32_t integer;
        float real;
        Block* block;
        ObjectId* object;
    };

    bool HoldsBlock() const;
    void Release() noexcept;
    void CopyValue(const DataStorage& other);
    void SetFlag(std::uint32_t flag, bool set) { m_flags = set ? (m_flags | flag) : (m_flags & ~flag); }
    void Store(Archive& archive) const;
    void Load(Archive& archive);

    Value m_value{};
    std::uint32_t m_flags = FlagReadable;
    std::uint8_t m_type = TypeEmpty;
};

} // namespace Tavrel
