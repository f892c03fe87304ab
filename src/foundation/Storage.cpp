#include <tavrel/foundation/Storage.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <type_traits>

#include <tavrel/foundation/CompressionInteger.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

namespace {

template <class T>
constexpr bool HoldsType(Storage::StorageType type)
{
    switch (type) {
    case Storage::StorageChar: return std::is_same_v<T, StorageValueType<Storage::StorageChar>>;
    case Storage::StorageUnsignedChar: return std::is_same_v<T, StorageValueType<Storage::StorageUnsignedChar>>;
    case Storage::StorageShort: return std::is_same_v<T, StorageValueType<Storage::StorageShort>>;
    case Storage::StorageUnsignedShort: return std::is_same_v<T, StorageValueType<Storage::StorageUnsignedShort>>;
    case Storage::StorageInt: return std::is_same_v<T, StorageValueType<Storage::StorageInt>>;
    case Storage::StorageUnsignedInt: return std::is_same_v<T, StorageValueType<Storage::StorageUnsignedInt>>;
    case Storage::StorageLong: return std::is_same_v<T, StorageValueType<Storage::StorageLong>>;
    case Storage::StorageUnsignedLong: return std::is_same_v<T, StorageValueType<Storage::StorageUnsignedLong>>;
    case Storage::StorageFloat: return std::is_same_v<T, StorageValueType<Storage::StorageFloat>>;
    case Storage::StorageDouble: return std::is_same_v<T, StorageValueType<Storage::StorageDouble>>;
    case Storage::StorageBool: return std::is_same_v<T, StorageValueType<Storage::StorageBool>>;
    default: return false;
    }
}

template <Storage::StorageType Code>
std::unique_ptr<Storage> MakeSimple()
{
    return std::make_unique<SimpleStorage<StorageValueType<Code>>>(StorageValueType<Code>{}, Code);
}

// A plain stored value: an integer with the byte width of its code, or a real.
struct PlainValue {
    bool isReal = false;
    std::int64_t integer = 0;
    std::size_t width = 0;
    double real = 0.0;
};

template <Storage::StorageType Code>
PlainValue Plain(const Storage& stored)
{
    using T = StorageValueType<Code>;
    const T value = static_cast<const SimpleStorage<T>&>(stored).GetData();
    if constexpr (std::is_floating_point_v<T>)
        return {true, 0, sizeof(T), static_cast<double>(value)};
    else
        return {false, static_cast<std::int64_t>(value), sizeof(T), 0.0};
}

std::optional<PlainValue> ReadPlain(const Storage& stored)
{
    switch (stored.GetStorageType()) {
    case Storage::StorageChar: return Plain<Storage::StorageChar>(stored);
    case Storage::StorageUnsignedChar: return Plain<Storage::StorageUnsignedChar>(stored);
    case Storage::StorageShort: return Plain<Storage::StorageShort>(stored);
    case Storage::StorageUnsignedShort: return Plain<Storage::StorageUnsignedShort>(stored);
    case Storage::StorageInt: return Plain<Storage::StorageInt>(stored);
    case Storage::StorageUnsignedInt: return Plain<Storage::StorageUnsignedInt>(stored);
    case Storage::StorageLong: return Plain<Storage::StorageLong>(stored);
    case Storage::StorageUnsignedLong: return Plain<Storage::StorageUnsignedLong>(stored);
    case Storage::StorageFloat: return Plain<Storage::StorageFloat>(stored);
    case Storage::StorageDouble: return Plain<Storage::StorageDouble>(stored);
    case Storage::StorageBool: return Plain<Storage::StorageBool>(stored);
    default: return std::nullopt;
    }
}

template <class T>
std::optional<T> ConvertPlain(const PlainValue& plain)
{
    if constexpr (std::is_same_v<T, bool>) {
        if (plain.isReal && std::isnan(plain.real))
            return std::nullopt;
        return plain.isReal ? plain.real != 0.0 : plain.integer != 0;
    } else if constexpr (std::is_integral_v<T>) {
        constexpr auto low = static_cast<std::int64_t>(std::numeric_limits<T>::min());
        constexpr auto high = static_cast<std::int64_t>(std::numeric_limits<T>::max());
        if (plain.isReal) {
            if (!std::isfinite(plain.real))
                return std::nullopt;
            const double whole = std::trunc(plain.real);
            if (whole < static_cast<double>(low) || whole > static_cast<double>(high))
                return std::nullopt;
            return static_cast<T>(whole);
        }
        if ((plain.integer >= low && plain.integer <= high) || plain.width == sizeof(T))
            return static_cast<T>(plain.integer);
        return std::nullopt;
    } else {
        if (!plain.isReal)
            return static_cast<T>(plain.integer);
        if constexpr (std::is_same_v<T, float>) {
            constexpr auto highest = static_cast<double>(std::numeric_limits<float>::max());
            if (std::isfinite(plain.real) && std::fabs(plain.real) > highest)
                return std::nullopt;
        }
        return static_cast<T>(plain.real);
    }
}

} // namespace

template <class T>
bool Storage::ConvertSimple(const Storage& stored, T& value)
{
    const std::optional<PlainValue> plain = ReadPlain(stored);
    if (!plain)
        return false;
    const std::optional<T> converted = ConvertPlain<T>(*plain);
    if (!converted)
        return false;
    value = *converted;
    return true;
}

template bool Storage::ConvertSimple(const Storage&, std::int8_t&);
template bool Storage::ConvertSimple(const Storage&, std::uint8_t&);
template bool Storage::ConvertSimple(const Storage&, std::int16_t&);
template bool Storage::ConvertSimple(const Storage&, std::uint16_t&);
template bool Storage::ConvertSimple(const Storage&, std::int32_t&);
template bool Storage::ConvertSimple(const Storage&, std::uint32_t&);
template bool Storage::ConvertSimple(const Storage&, float&);
template bool Storage::ConvertSimple(const Storage&, double&);
template bool Storage::ConvertSimple(const Storage&, bool&);

std::unique_ptr<Storage> Storage::GetStorageObject(std::string_view className, std::string_view propertyName,
                                                   PropertyArchive& archive)
{
    if (!archive.GetArchive().IsLoading())
        return nullptr;
    const std::size_t at = archive.GetArchive().GetPosition();
    const std::int32_t type = archive.ReadPropertyType(className, propertyName);
    switch (type) {
    case StorageObject: return std::make_unique<PropertyStorageObject>();
    case StorageString: return std::make_unique<PropertyStorageString>();
    case StorageArchive: return std::make_unique<PropertyStorageArchive>();
    case StoragePair: return std::make_unique<PropertyStoragePair>();
    default: break;
    }
    if (std::unique_ptr<Storage> holder = CreateSimpleStorage(type))
        return holder;
    archive.GetArchive().Refuse(ArchiveException::genericException,
                                "unknown storage type " + std::to_string(type) + " of property " +
                                    ArchiveException::Quote(propertyName),
                                at);
}

std::unique_ptr<Storage> Storage::CreateSimpleStorage(std::int32_t type)
{
    switch (type) {
    case StorageChar: return MakeSimple<StorageChar>();
    case StorageUnsignedChar: return MakeSimple<StorageUnsignedChar>();
    case StorageShort: return MakeSimple<StorageShort>();
    case StorageUnsignedShort: return MakeSimple<StorageUnsignedShort>();
    case StorageInt: return MakeSimple<StorageInt>();
    case StorageUnsignedInt: return MakeSimple<StorageUnsignedInt>();
    case StorageLong: return MakeSimple<StorageLong>();
    case StorageUnsignedLong: return MakeSimple<StorageUnsignedLong>();
    case StorageFloat: return MakeSimple<StorageFloat>();
    case StorageDouble: return MakeSimple<StorageDouble>();
    case StorageBool: return MakeSimple<StorageBool>();
    default: return nullptr;
    }
}

template <class T>
SimpleStorage<T>::SimpleStorage(T value, StorageType type) : m_value(value), m_type(type)
{
    if (!HoldsType<T>(type))
        throw std::invalid_argument("storage type " + std::to_string(type) + " does not hold this value type");
}

template <class T>
void SimpleStorage<T>::Serialize(std::string_view className, std::string_view propertyName, PropertyArchive& archive)
{
    Archive& stream = archive.GetArchive();
    if (stream.IsStoring()) {
        archive.WritePropertyType(className, propertyName, m_type);
        if constexpr (std::is_same_v<T, std::int32_t> || std::is_same_v<T, std::uint32_t>) {
            if (m_type == StorageInt || m_type == StorageUnsignedInt) {
                CompressionInteger::Write(m_value, stream);
                return;
            }
        }
        stream << m_value;
        return;
    }
    if constexpr (std::is_same_v<T, std::int32_t>) {
        if (m_type == StorageInt) {
            m_value = CompressionInteger::ReadInteger(stream);
            return;
        }
    } else if constexpr (std::is_same_v<T, std::uint32_t>) {
        if (m_type == StorageUnsignedInt) {
            m_value = CompressionInteger::ReadUnsignedInteger(stream);
            return;
        }
    }
    stream >> m_value;
}

template class SimpleStorage<std::int8_t>;
template class SimpleStorage<std::uint8_t>;
template class SimpleStorage<std::int16_t>;
template class SimpleStorage<std::uint16_t>;
template class SimpleStorage<std::int32_t>;
template class SimpleStorage<std::uint32_t>;
template class SimpleStorage<float>;
template class SimpleStorage<double>;
template class SimpleStorage<bool>;

void PropertyStorageObject::Serialize(std::string_view className, std::string_view propertyName,
                                      PropertyArchive& archive)
{
    if (archive.GetArchive().IsStoring()) {
        archive.WritePropertyType(className, propertyName, StorageObject);
        archive.WriteReference(m_data);
    } else {
        m_data = archive.ReadReference();
    }
}

void PropertyStoragePair::Serialize(std::string_view className, std::string_view propertyName,
                                    PropertyArchive& archive)
{
    if (archive.GetArchive().IsStoring()) {
        archive.WritePropertyType(className, propertyName, StoragePair);
        archive.WriteReference(m_data[0]);
        archive.WriteReference(m_data[1]);
    } else {
        m_data[0] = archive.ReadReference();
        m_data[1] = archive.ReadReference();
    }
}

void PropertyStorageString::Serialize(std::string_view className, std::string_view propertyName,
                                      PropertyArchive& archive)
{
    Archive& stream = archive.GetArchive();
    if (stream.IsStoring()) {
        archive.WritePropertyType(className, propertyName, StorageString);
        stream << m_data;
    } else {
        stream >> m_data;
    }
}

void PropertyStorageArchive::Serialize(std::string_view className, std::string_view propertyName,
                                       PropertyArchive& archive)
{
    Archive& stream = archive.GetArchive();
    if (stream.IsStoring()) {
        if (m_data.size() > static_cast<std::size_t>(INT32_MAX))
            stream.Refuse(ArchiveException::genericException,
                          "byte block of property " + ArchiveException::Quote(propertyName) + " is too long");
        archive.WritePropertyType(className, propertyName, StorageArchive);
        stream << GetLength();
        stream.Write(m_data.data(), m_data.size());
        return;
    }
    const std::size_t at = stream.GetPosition();
    std::int32_t length = 0;
    stream >> length;
    if (length < 0 || static_cast<std::size_t>(length) > stream.GetRemaining())
        stream.Refuse(ArchiveException::endOfFile,
                      "byte block of " + std::to_string(length) + " bytes of property " +
                          ArchiveException::Quote(propertyName) + ", " + std::to_string(stream.GetRemaining()) +
                          " bytes left",
                      at);
    std::vector<std::uint8_t> block(static_cast<std::size_t>(length));
    stream.Read(block.data(), block.size());
    m_data = std::move(block);
}

} // namespace Tavrel
