// Storage: the value holders of the property stream, one per storage-type code, and their factory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Tavrel {

class Base;
class PropertyArchive;

class Storage {
public:
    // The storage-type code of a value, written before its payload.
    enum StorageType : std::int32_t {
        StorageObject = 0,         // object reference
        StorageString = 1,         // framework string
        StorageArchive = 2,        // signed 32-bit length, then the bytes
        StorageChar = 3,           // 1 byte, signed
        StorageUnsignedChar = 4,   // 1 byte
        StorageShort = 5,          // 2 bytes, signed
        StorageUnsignedShort = 6,  // 2 bytes
        StorageInt = 7,            // signed compressed integer
        StorageUnsignedInt = 8,    // unsigned compressed integer
        StorageLong = 9,           // 4 bytes, signed
        StorageUnsignedLong = 10,  // 4 bytes
        StorageFloat = 11,         // IEEE single
        StorageDouble = 12,        // IEEE double
        StorageBool = 13,          // 1 byte; any non-zero byte reads as true
        StoragePair = 14,          // two object references
    };

    virtual ~Storage() = default;
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    virtual StorageType GetStorageType() const = 0;
    // Storing: the archive's WritePropertyType with the holder's code, then the payload.
    // Loading: the payload only (GetStorageObject has read the code).
    virtual void Serialize(std::string_view className, std::string_view propertyName, PropertyArchive& archive) = 0;

    // Null unless the archive is loading; else reads the type code and creates its holder. A code
    // outside 0 to 14 raises ArchiveException: its payload length is unknown.
    static std::unique_ptr<Storage> GetStorageObject(std::string_view className, std::string_view propertyName,
                                                     PropertyArchive& archive);
    // A zero-valued SimpleStorage for codes 3 to 13; null for any other code.
    static std::unique_ptr<Storage> CreateSimpleStorage(std::int32_t type);

    // The value of a plain holder (codes 3 to 13) as T, the value type of a plain code, whatever code
    // it was stored with. An integer converts when T holds it; between codes of one width the bits
    // are kept, so a value stored signed reads unsigned and the other way. A real converts toward
    // zero to an integer that holds it, and to float within float's range. Bool takes any non-zero
    // number as true. False, with value unchanged, for other holders and values that do not convert.
    template <class T>
    static bool ConvertSimple(const Storage& stored, T& value);

private:
    // The holders below are the only ones, so a code always names its holder class.
    template <class T>
    friend class SimpleStorage;
    friend class PropertyStorageObject;
    friend class PropertyStoragePair;
    friend class PropertyStorageString;
    friend class PropertyStorageArchive;
    Storage() = default;
};

// The value type a plain storage-type code holds (codes 3 to 13).
template <Storage::StorageType Code>
struct StorageValue;
template <> struct StorageValue<Storage::StorageChar> { using type = std::int8_t; };
template <> struct StorageValue<Storage::StorageUnsignedChar> { using type = std::uint8_t; };
template <> struct StorageValue<Storage::StorageShort> { using type = std::int16_t; };
template <> struct StorageValue<Storage::StorageUnsignedShort> { using type = std::uint16_t; };
template <> struct StorageValue<Storage::StorageInt> { using type = std::int32_t; };
template <> struct StorageValue<Storage::StorageUnsignedInt> { using type = std::uint32_t; };
template <> struct StorageValue<Storage::StorageLong> { using type = std::int32_t; };
template <> struct StorageValue<Storage::StorageUnsignedLong> { using type = std::uint32_t; };
template <> struct StorageValue<Storage::StorageFloat> { using type = float; };
template <> struct StorageValue<Storage::StorageDouble> { using type = double; };
template <> struct StorageValue<Storage::StorageBool> { using type = bool; };
template <Storage::StorageType Code>
using StorageValueType = typename StorageValue<Code>::type;

// The value type of a plain code, or Text for the text code (the forms differ in how a text is held).
template <Storage::StorageType Code, class Text>
struct StorageValueOrText {
    using type = StorageValueType<Code>;
};
template <class Text>
struct StorageValueOrText<Storage::StorageString, Text> {
    using type = Text;
};

// A plain value with its code. The payload follows the code, not T: 7 and 8 are compressed integers,
// every other code the little-endian bytes of T.
template <class T>
class SimpleStorage final : public Storage {
public:
    // The code must be one that holds T (std::invalid_argument otherwise).
    SimpleStorage(T value, StorageType type);

    T GetData() const { return m_value; }
    void SetData(T value) { m_value = value; }

    StorageType GetStorageType() const override { return m_type; }
    void Serialize(std::string_view className, std::string_view propertyName, PropertyArchive& archive) override;

private:
    T m_value;
    StorageType m_type;
};

extern template class SimpleStorage<std::int8_t>;
extern template class SimpleStorage<std::uint8_t>;
extern template class SimpleStorage<std::int16_t>;
extern template class SimpleStorage<std::uint16_t>;
extern template class SimpleStorage<std::int32_t>;
extern template class SimpleStorage<std::uint32_t>;
extern template class SimpleStorage<float>;
extern template class SimpleStorage<double>;
extern template class SimpleStorage<bool>;

// One object reference (code 0); the object is not owned.
class PropertyStorageObject final : public Storage {
public:
    explicit PropertyStorageObject(Base* data = nullptr) : m_data(data) {}

    Base* GetData() const { return m_data; }
    void SetData(Base* data) { m_data = data; }

    StorageType GetStorageType() const override { return StorageObject; }
    void Serialize(std::string_view className, std::string_view propertyName, PropertyArchive& archive) override;

private:
    Base* m_data;
};

// Two object references (code 14), first then second; neither is owned.
class PropertyStoragePair final : public Storage {
public:
    PropertyStoragePair(Base* first = nullptr, Base* second = nullptr) : m_data{first, second} {}

    // Index 0 addresses the first reference, any other index the second.
    Base* GetData(int index) const { return m_data[index != 0 ? 1 : 0]; }
    void SetData(int index, Base* data) { m_data[index != 0 ? 1 : 0] = data; }

    StorageType GetStorageType() const override { return StoragePair; }
    void Serialize(std::string_view className, std::string_view propertyName, PropertyArchive& archive) override;

private:
    Base* m_data[2];
};

// A text (code 1), stored as a framework string.
class PropertyStorageString final : public Storage {
public:
    explicit PropertyStorageString(std::string data = {}) : m_data(std::move(data)) {}

    const std::string& GetData() const { return m_data; }
    void SetData(std::string data) { m_data = std::move(data); }

    StorageType GetStorageType() const override { return StorageString; }
    void Serialize(std::string_view className, std::string_view propertyName, PropertyArchive& archive) override;

private:
    std::string m_data;
};

// An owned byte block (code 2): data a class writes with a nested framework archive. Storing a new
// block releases the previous one.
class PropertyStorageArchive final : public Storage {
public:
    explicit PropertyStorageArchive(std::vector<std::uint8_t> data = {}) : m_data(std::move(data)) {}

    const std::vector<std::uint8_t>& GetData() const { return m_data; }
    void SetData(std::vector<std::uint8_t> data) { m_data = std::move(data); }
    std::int32_t GetLength() const { return static_cast<std::int32_t>(m_data.size()); }

    StorageType GetStorageType() const override { return StorageArchive; }
    // Loading refuses a negative length or one beyond the remaining input.
    void Serialize(std::string_view className, std::string_view propertyName, PropertyArchive& archive) override;

private:
    std::vector<std::uint8_t> m_data;
};

} // namespace Tavrel
