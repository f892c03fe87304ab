#include "foundation/Storage.h"

#include <cstdint>
#include <stdexcept>
#include <type_traits>

#include "foundation/CompressionInteger.h"
#include "foundation/PropertyArchive.h"
#include "platform/Archive.h"

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

} // namespace

std::unique_ptr<Storage> Storage::GetStorageObject(std::string_view className, std::string_view propertyName,
                                                   PropertyArchive& archive)
{
    if (!archive.GetArchive().IsLoading())
        return nullptr;
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
    throw ArchiveException(ArchiveException::genericException, {},
                           "unknown storage type " + std::to_string(type) + " of property \"" +
                               std::string(propertyName) + "\"");
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
            throw ArchiveException(ArchiveException::genericException, {},
                                   "byte block of property \"" + std::string(propertyName) + "\" is too long");
        archive.WritePropertyType(className, propertyName, StorageArchive);
        stream << GetLength();
        stream.Write(m_data.data(), m_data.size());
        return;
    }
    std::int32_t length = 0;
    stream >> length;
    if (length < 0 || static_cast<std::size_t>(length) > stream.GetRemaining())
        throw ArchiveException(ArchiveException::endOfFile, {},
                               "byte block of property \"" + std::string(propertyName) + "\" is longer than the input");
    std::vector<std::uint8_t> block(static_cast<std::size_t>(length));
    stream.Read(block.data(), block.size());
    m_data = std::move(block);
}

} // namespace Tavrel
