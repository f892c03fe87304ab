#include "platform/Archive.h"

#include <limits>
#include <memory>
#include <stdexcept>

#include "platform/PersistentObject.h"

namespace Tavrel {

namespace {
constexpr std::uint16_t NullTag = 0;
constexpr std::uint16_t BigObjectTag = 0x7FFF;
constexpr std::uint16_t ClassTag = 0x8000;
constexpr std::uint16_t NewClassTag = 0xFFFF;
constexpr std::uint32_t BigClassTag = 0x80000000u;
constexpr std::uint32_t MaxIndex = 0x7FFFFFFEu;
} // namespace

Archive::Archive() : m_mode(Mode::Store) {}

Archive::Archive(std::vector<std::uint8_t> bytes) : Archive(std::span<const std::uint8_t>())
{
    m_buffer = std::move(bytes);
    m_input = m_buffer;
    m_ownsInput = true;
}

Archive::Archive(const void* data, std::size_t size)
    : Archive(std::vector<std::uint8_t>(static_cast<const std::uint8_t*>(data),
                                        static_cast<const std::uint8_t*>(data) + size))
{
}

Archive::Archive(std::span<const std::uint8_t> bytes) : m_mode(Mode::Load), m_ownsInput(false), m_input(bytes)
{
    m_loadTable.push_back(nullptr);
    m_loadIsClass.push_back(false);
    m_loadSchema.push_back(0);
    m_handedOut.push_back(false);
}

const std::vector<std::uint8_t>& Archive::GetBuffer() const
{
    if (!m_ownsInput)
        throw std::logic_error("the archive reads the caller's bytes: use GetData");
    return m_buffer;
}

void Archive::Restart()
{
    if (!IsStoring())
        throw ArchiveException(ArchiveException::readOnly);
    m_buffer.clear();
    m_schema = 0xFFFFFFFFu;
    m_nextIndex = 1;
    m_storeIndex.clear();
}

void Archive::Reload(const void* data, std::size_t size)
{
    if (!IsLoading())
        throw ArchiveException(ArchiveException::writeOnly);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    m_buffer.assign(bytes, bytes + size);
    m_input = m_buffer;
    m_ownsInput = true;
    m_position = 0;
    m_schema = 0xFFFFFFFFu;
    m_nextIndex = 1;
    m_loadTable.assign(1, nullptr);
    m_loadIsClass.assign(1, false);
    m_loadSchema.assign(1, 0);
    m_handedOut.assign(1, false);
}

void Archive::Seek(std::size_t position)
{
    if (!IsLoading())
        throw ArchiveException(ArchiveException::writeOnly);
    if (position > m_input.size())
        throw ArchiveException(ArchiveException::endOfFile);
    m_position = position;
}

Archive& Archive::operator<<(std::string_view text)
{
    const std::size_t length = text.size();
    if (length < 0xFF) {
        *this << static_cast<std::uint8_t>(length);
    } else if (length < 0xFFFE) {
        *this << static_cast<std::uint8_t>(0xFF) << static_cast<std::uint16_t>(length);
    } else {
        if (length > std::numeric_limits<std::uint32_t>::max())
            throw ArchiveException(ArchiveException::genericException);
        *this << static_cast<std::uint8_t>(0xFF) << static_cast<std::uint16_t>(0xFFFF)
              << static_cast<std::uint32_t>(length);
    }
    Write(text.data(), length);
    return *this;
}

Archive& Archive::operator>>(std::string& text)
{
    std::uint8_t shortLength = 0;
    *this >> shortLength;
    std::size_t length = shortLength;
    if (shortLength == 0xFF) {
        std::uint16_t mediumLength = 0;
        *this >> mediumLength;
        length = mediumLength;
        if (mediumLength == 0xFFFF) {
            std::uint32_t longLength = 0;
            *this >> longLength;
            length = longLength;
        }
    }
    if (length > GetRemaining())
        throw ArchiveException(ArchiveException::endOfFile);
    text.assign(reinterpret_cast<const char*>(m_input.data() + m_position), length);
    m_position += length;
    return *this;
}

void Archive::WriteCount(std::uint32_t count)
{
    if (count < 0xFFFF) {
        *this << static_cast<std::uint16_t>(count);
    } else {
        *this << static_cast<std::uint16_t>(0xFFFF) << count;
    }
}

std::uint32_t Archive::ReadCount()
{
    std::uint16_t shortCount = 0;
    *this >> shortCount;
    if (shortCount != 0xFFFF)
        return shortCount;
    std::uint32_t count = 0;
    *this >> count;
    return count;
}

std::uint32_t Archive::ReadCount(std::size_t bytesPerElement)
{
    const std::uint32_t count = ReadCount();
    if (bytesPerElement != 0 && count > GetRemaining() / bytesPerElement)
        throw ArchiveException(ArchiveException::endOfFile);
    return count;
}

std::uint32_t Archive::GetObjectSchema()
{
    const std::uint32_t schema = m_schema;
    m_schema = 0xFFFFFFFFu;
    return schema;
}

void Archive::WriteTag(std::uint32_t index, bool isClass)
{
    if (index < BigObjectTag) {
        *this << static_cast<std::uint16_t>(isClass ? (ClassTag | index) : index);
    } else {
        *this << BigObjectTag << (isClass ? (BigClassTag | index) : index);
    }
}

std::uint32_t Archive::TakeIndex()
{
    if (m_nextIndex > MaxIndex)
        throw ArchiveException(ArchiveException::badIndex);
    return m_nextIndex++;
}

void Archive::WriteObject(const PersistentObject* object)
{
    if (!IsStoring())
        throw ArchiveException(ArchiveException::readOnly);
    if (!object) {
        *this << NullTag;
        return;
    }
    if (const auto known = m_storeIndex.find(object); known != m_storeIndex.end()) {
        WriteTag(known->second, false);
        return;
    }
    const RuntimeClass* record = object->GetRuntimeClass();
    if (!record || !record->IsSerializable())
        throw ArchiveException(ArchiveException::badClass);
    if (const auto knownClass = m_storeIndex.find(record); knownClass != m_storeIndex.end()) {
        WriteTag(knownClass->second, true);
    } else {
        const std::string_view name(record->className);
        if (name.size() >= 0xFFFF)
            throw ArchiveException(ArchiveException::badClass);
        *this << NewClassTag << static_cast<std::uint16_t>(record->schema & 0xFFFFu)
              << static_cast<std::uint16_t>(name.size());
        Write(name.data(), name.size());
        m_storeIndex.emplace(record, TakeIndex());
    }
    m_storeIndex.emplace(object, TakeIndex());
    const_cast<PersistentObject*>(object)->Serialize(*this);
}

std::string_view Archive::ReadClassName(std::uint16_t& schema)
{
    std::uint16_t nameLength = 0;
    *this >> schema >> nameLength;
    if (nameLength > GetRemaining())
        throw ArchiveException(ArchiveException::endOfFile);
    const std::string_view name(reinterpret_cast<const char*>(m_input.data() + m_position), nameLength);
    m_position += nameLength;
    return name;
}

void Archive::AddLoaded(const void* entry, bool isClass, std::uint32_t schema)
{
    TakeIndex();
    m_loadTable.push_back(entry);
    m_loadIsClass.push_back(isClass);
    m_loadSchema.push_back(schema);
    m_handedOut.push_back(false);
}

const RuntimeClass* Archive::ReadNewClass(std::uint32_t& schema)
{
    std::uint16_t storedSchema = 0;
    const RuntimeClass* record = RuntimeClass::Find(ReadClassName(storedSchema));
    if (!record || !record->IsSerializable())
        throw ArchiveException(ArchiveException::badClass);
    if ((record->schema & RuntimeClass::VersionableSchema) == 0 && storedSchema != (record->schema & 0xFFFFu))
        throw ArchiveException(ArchiveException::badSchema);
    schema = storedSchema;
    AddLoaded(record, true, schema);
    return record;
}

void Archive::ReadTagIndex(std::uint16_t tag, std::uint32_t& index, bool& isClass)
{
    index = tag;
    isClass = false;
    if (tag == BigObjectTag) {
        std::uint32_t big = 0;
        *this >> big;
        isClass = (big & BigClassTag) != 0;
        index = big & ~BigClassTag;
    } else if ((tag & ClassTag) != 0) {
        isClass = true;
        index = tag & ~ClassTag;
    }
}

void Archive::WriteRecordHeader(const RuntimeClass& record)
{
    if (!IsStoring())
        throw ArchiveException(ArchiveException::readOnly);
    if (const auto known = m_storeIndex.find(&record); known != m_storeIndex.end()) {
        WriteTag(known->second, true);
    } else {
        const std::string_view name(record.className);
        *this << NewClassTag << static_cast<std::uint16_t>(record.schema & 0xFFFFu)
              << static_cast<std::uint16_t>(name.size());
        Write(name.data(), name.size());
        m_storeIndex.emplace(&record, TakeIndex());
    }
    TakeIndex();
}

bool Archive::ReadRecordHeader(const RuntimeClass& record)
{
    if (!IsLoading())
        throw ArchiveException(ArchiveException::writeOnly);
    std::uint16_t tag = 0;
    *this >> tag;
    if (tag == NullTag)
        return false;
    if (tag == NewClassTag) {
        std::uint16_t schema = 0;
        if (ReadClassName(schema) != record.className)
            throw ArchiveException(ArchiveException::badClass);
        if ((record.schema & RuntimeClass::VersionableSchema) == 0 && schema != (record.schema & 0xFFFFu))
            throw ArchiveException(ArchiveException::badSchema);
        AddLoaded(&record, true, schema);
    } else {
        std::uint32_t index = 0;
        bool isClass = false;
        ReadTagIndex(tag, index, isClass);
        if (!isClass || index >= m_loadTable.size() || !m_loadIsClass[index])
            throw ArchiveException(ArchiveException::badIndex);
        if (m_loadTable[index] != &record)
            throw ArchiveException(ArchiveException::badClass);
    }
    // The record's object: present in the sequence, never handed out.
    AddLoaded(nullptr, false, 0);
    return true;
}

PersistentObject* Archive::ReadObject(const RuntimeClass* expected)
{
    if (!IsLoading())
        throw ArchiveException(ArchiveException::writeOnly);
    std::uint16_t tag = 0;
    *this >> tag;

    const RuntimeClass* record = nullptr;
    std::uint32_t schema = 0;
    if (tag == NewClassTag) {
        record = ReadNewClass(schema);
    } else {
        std::uint32_t index = 0;
        bool isClass = false;
        ReadTagIndex(tag, index, isClass);
        if (!isClass && index == 0)
            return nullptr;
        if (index >= m_loadTable.size() || m_loadIsClass[index] != isClass || !m_loadTable[index])
            throw ArchiveException(ArchiveException::badIndex);
        if (!isClass) {
            auto* object = static_cast<PersistentObject*>(const_cast<void*>(m_loadTable[index]));
            if (expected && !object->IsKindOf(expected))
                throw ArchiveException(ArchiveException::badClass);
            m_handedOut[index] = true;
            return object;
        }
        record = static_cast<const RuntimeClass*>(m_loadTable[index]);
        schema = m_loadSchema[index];
    }

    if (expected && !record->IsDerivedFrom(expected))
        throw ArchiveException(ArchiveException::badClass);
    std::unique_ptr<PersistentObject> created(record->CreateObject());
    if (!created)
        throw ArchiveException(ArchiveException::badClass);
    const std::size_t index = m_loadTable.size();
    AddLoaded(created.get(), false, 0);
    PersistentObject* const object = created.release();
    try {
        m_schema = schema;
        object->Serialize(*this);
        m_schema = 0xFFFFFFFFu;
    } catch (...) {
        // An object already handed out by a back-reference belongs to whoever took it.
        m_loadTable[index] = nullptr;
        if (!m_handedOut[index])
            delete object;
        throw;
    }
    return object;
}

} // namespace Tavrel
