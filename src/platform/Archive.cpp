#include <tavrel/platform/Archive.h>

#include <algorithm>
#include <exception>
#include <limits>
#include <new>
#include <memory>
#include <stdexcept>

#include <tavrel/platform/PageAdvice.h>
#include <tavrel/platform/PersistentObject.h>
#include <tavrel/platform/ReadCleanup.h>

namespace Tavrel {

namespace {
constexpr std::uint16_t NullTag = 0;
constexpr std::uint16_t BigObjectTag = 0x7FFF;
constexpr std::uint16_t ClassTag = 0x8000;
constexpr std::uint16_t NewClassTag = 0xFFFF;
constexpr std::uint32_t BigClassTag = 0x80000000u;
constexpr std::uint32_t MaxIndex = 0x7FFFFFFEu;
constexpr std::uint32_t MaxNesting = 64;

// One more object body open inside the others while it lives.
class NestedBody {
public:
    NestedBody(const Archive& archive, std::uint32_t& nesting, std::size_t at) : m_nesting(nesting)
    {
        if (nesting >= MaxNesting)
            archive.Refuse(ArchiveException::genericException,
                           "objects nested more than " + std::to_string(MaxNesting) + " deep in other objects' fields",
                           at);
        ++m_nesting;
    }
    ~NestedBody() { --m_nesting; }
    NestedBody(const NestedBody&) = delete;
    NestedBody& operator=(const NestedBody&) = delete;

private:
    std::uint32_t& m_nesting;
};
} // namespace

Archive::Archive() : m_mode(Mode::Store), m_room(StageSize) {}

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

Archive::Archive(std::span<const std::uint8_t> bytes) : m_mode(Mode::Load), m_ownsInput(false), m_input(bytes) {}

const std::vector<std::uint8_t>& Archive::GetBuffer() const
{
    if (IsStoring()) {
        Flush();
        return m_buffer;
    }
    if (!m_ownsInput)
        throw std::logic_error("the archive reads the caller's bytes: use GetData");
    return m_buffer;
}

void Archive::MakeRoom(std::size_t size)
{
    if (!IsStoring())
        Refuse(ArchiveException::readOnly, "writing to a loading archive");
    if (size > StageSize)
        throw std::length_error("an archive reserves at most its staging block");
    if (size > m_room)
        Flush();
}

void Archive::WriteThrough(const void* data, std::size_t size)
{
    Flush();
    Append(static_cast<const std::uint8_t*>(data), size);
}

void Archive::Append(const std::uint8_t* bytes, std::size_t size) const
{
    if (size > m_limit - m_buffer.size()) [[unlikely]]
        Extend(size);
    m_buffer.insert(m_buffer.end(), bytes, bytes + size);
}

// Each growth copies what is stored into fresh pages, which the system then has to fault in: a large
// output spends more time there than in writing its bytes. From a megabyte on, the buffer grows
// sixteenfold (fourfold from 64 MB on) rather than twofold, so that a large output is copied once or
// twice; the pages of the capacity beyond what is written are never touched. Where the system cannot
// give that much room, and below a megabyte, the growth is the vector's own. The pages of a buffer of
// MappedCapacity or more, which the heap maps afresh each time, are mapped in a quarter megabyte ahead
// of the writes (and before a growth's copy), one call for many pages instead of a fault each; a
// smaller one may reuse pages already mapped, where the call would only cost.
void Archive::Extend(std::size_t size) const
{
    constexpr std::size_t HugeCapacity = std::size_t{64} << 20;
    const std::size_t end = m_buffer.size() + size;
    const std::size_t capacity = m_buffer.capacity();
    if (end > capacity) {
        const std::size_t factor = capacity < HugeCapacity ? 16 : 4;
        if (capacity >= LargeCapacity && capacity <= m_buffer.max_size() / factor) {
            try {
                std::vector<std::uint8_t> grown;
                grown.reserve(std::max(factor * capacity, end));
                m_mapped = 0;
                MapAhead(grown, end);
                grown.insert(grown.end(), m_buffer.begin(), m_buffer.end());
                m_buffer.swap(grown);
            } catch (const std::bad_alloc&) {
            }
        }
        // As the vector grows on its own; a size it cannot take is refused by its insert.
        if (end > m_buffer.capacity() && size <= m_buffer.max_size() - m_buffer.size()) {
            m_buffer.reserve(std::min(m_buffer.max_size(), m_buffer.size() + std::max(m_buffer.size(), size)));
            // The copy has mapped what the buffer holds.
            m_mapped = m_buffer.size();
        }
    }
    if (end > m_mapped)
        MapAhead(m_buffer, end);
    m_limit = m_buffer.capacity() >= MappedCapacity ? m_mapped : m_buffer.capacity();
}

void Archive::MapAhead(std::vector<std::uint8_t>& buffer, std::size_t end) const
{
    constexpr std::size_t Ahead = std::size_t{1} << 18;
    if (buffer.capacity() < MappedCapacity)
        return;
    const std::size_t to = std::min(buffer.capacity(), std::max(end, m_mapped) + Ahead);
    if (to > m_mapped) {
        PrefaultPages(buffer.data() + m_mapped, to - m_mapped);
        m_mapped = to;
    }
}

void Archive::Restart()
{
    if (!IsStoring())
        Refuse(ArchiveException::readOnly, "restarting a loading archive");
    m_buffer.clear();
    m_room = StageSize;
    m_schema = 0xFFFFFFFFu;
    m_nextIndex = 1;
    // Clearing an empty map would still wipe its buckets.
    if (m_storeIndex && !m_storeIndex->empty())
        m_storeIndex->clear();
}

void Archive::Reload(std::span<const std::uint8_t> bytes)
{
    if (!IsLoading())
        Refuse(ArchiveException::writeOnly, "reloading a storing archive");
    m_buffer.clear();
    m_input = bytes;
    m_ownsInput = false;
    m_position = 0;
    m_schema = 0xFFFFFFFFu;
    m_nextIndex = 1;
    m_loaded.clear();
}

void Archive::SkipBackReference(std::string_view what)
{
    const std::size_t at = m_position;
    if (GetRemaining() < 2)
        Refuse(ArchiveException::endOfFile, std::string(what) + " cut short");
    const auto tag = static_cast<std::uint16_t>(m_input[at] | (m_input[at + 1] << 8));
    std::size_t length = 2;
    bool isNew = tag == 0xFFFF || (tag != 0x7FFF && (tag & 0x8000) != 0);
    if (tag == 0x7FFF) {
        if (GetRemaining() < 6)
            Refuse(ArchiveException::endOfFile, std::string(what) + " cut short");
        isNew = (m_input[at + 5] & 0x80) != 0;
        length = 6;
    }
    if (isNew)
        Refuse(ArchiveException::genericException,
               std::string(what) + " is a new record, not a reference to a record around it");
    m_position = at + length;
}

void Archive::RefuseRead(std::size_t size) const
{
    if (!IsLoading())
        Refuse(ArchiveException::writeOnly, "reading from a storing archive");
    Refuse(ArchiveException::endOfFile, std::to_string(size) + " bytes needed, " + std::to_string(GetRemaining()) + " left");
}

void Archive::Refuse(ArchiveException::Cause cause, std::string_view what) const
{
    Refuse(cause, what, IsLoading() ? m_position : StoredSize());
}

void Archive::Refuse(ArchiveException::Cause cause, std::string_view what, std::size_t offset) const
{
    throw ArchiveException::At(cause, offset, what);
}

void Archive::Seek(std::size_t position)
{
    if (!IsLoading())
        Refuse(ArchiveException::writeOnly, "seeking in a storing archive");
    if (position > m_input.size())
        Refuse(ArchiveException::endOfFile, "seeking to offset " + std::to_string(position) + " of " +
                                                std::to_string(m_input.size()) + " bytes");
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
            Refuse(ArchiveException::genericException,
                   "a string of " + std::to_string(length) + " bytes is too long to store");
        *this << static_cast<std::uint8_t>(0xFF) << static_cast<std::uint16_t>(0xFFFF)
              << static_cast<std::uint32_t>(length);
    }
    Write(text.data(), length);
    return *this;
}

Archive& Archive::operator>>(std::string& text)
{
    text.assign(ReadStringView());
    return *this;
}

std::string_view Archive::ReadStringView()
{
    const std::size_t at = m_position;
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
        Refuse(ArchiveException::endOfFile,
               "a string of " + std::to_string(length) + " bytes, " + std::to_string(GetRemaining()) + " left", at);
    const std::string_view text(reinterpret_cast<const char*>(m_input.data() + m_position), length);
    m_position += length;
    return text;
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
    const std::size_t at = m_position;
    const std::uint32_t count = ReadCount();
    if (bytesPerElement != 0 && count > GetRemaining() / bytesPerElement)
        Refuse(ArchiveException::endOfFile,
               "a count of " + std::to_string(count) + " elements of at least " + std::to_string(bytesPerElement) +
                   " bytes, " + std::to_string(GetRemaining()) + " bytes left",
               at);
    return count;
}

void Archive::WriteTag(std::uint32_t index, bool isClass)
{
    if (index < BigObjectTag) {
        *this << static_cast<std::uint16_t>(isClass ? (ClassTag | index) : index);
    } else {
        *this << BigObjectTag << (isClass ? (BigClassTag | index) : index);
    }
}

std::unordered_map<const void*, std::uint32_t>& Archive::StoreIndex()
{
    if (!m_storeIndex)
        m_storeIndex = std::make_unique<std::unordered_map<const void*, std::uint32_t>>();
    return *m_storeIndex;
}

std::uint32_t Archive::TakeIndex()
{
    if (m_nextIndex > MaxIndex)
        Refuse(ArchiveException::badIndex, "more than " + std::to_string(MaxIndex) + " classes and objects");
    return m_nextIndex++;
}

void Archive::WriteObject(const PersistentObject* object)
{
    const std::size_t at = StoredSize();
    if (!WriteObjectHeader(object))
        return;
    const NestedBody body(*this, m_nesting, at);
    const_cast<PersistentObject*>(object)->Serialize(*this);
}

bool Archive::WriteObjectHeader(const PersistentObject* object)
{
    if (!IsStoring())
        Refuse(ArchiveException::readOnly, "writing an object to a loading archive");
    if (!object) {
        *this << NullTag;
        return false;
    }
    std::unordered_map<const void*, std::uint32_t>& stored = StoreIndex();
    if (const auto known = stored.find(object); known != stored.end()) {
        WriteTag(known->second, false);
        return false;
    }
    const RuntimeClass* record = object->GetRuntimeClass();
    if (!record || !record->IsSerializable())
        Refuse(ArchiveException::badClass,
               "an object of class " + ArchiveException::Quote(record ? record->className : "") + " cannot be stored");
    if (const auto knownClass = stored.find(record); knownClass != stored.end()) {
        WriteTag(knownClass->second, true);
    } else {
        const std::string_view name(record->className);
        if (name.size() >= 0xFFFF)
            Refuse(ArchiveException::badClass, "a class name of " + std::to_string(name.size()) + " bytes");
        *this << NewClassTag << static_cast<std::uint16_t>(record->schema & 0xFFFFu)
              << static_cast<std::uint16_t>(name.size());
        Write(name.data(), name.size());
        stored.emplace(record, TakeIndex());
    }
    stored.emplace(object, TakeIndex());
    return true;
}

std::string_view Archive::ReadClassName(std::uint16_t& schema)
{
    std::uint16_t nameLength = 0;
    *this >> schema >> nameLength;
    if (nameLength > GetRemaining())
        Refuse(ArchiveException::endOfFile, "a class name of " + std::to_string(nameLength) + " bytes, " +
                                                std::to_string(GetRemaining()) + " left");
    const std::string_view name(reinterpret_cast<const char*>(m_input.data() + m_position), nameLength);
    m_position += nameLength;
    return name;
}

std::uint32_t Archive::AddLoaded(const void* entry, bool isClass, std::uint32_t schema)
{
    const std::uint32_t index = TakeIndex();
    // Index 0 stands for null: entered with the first record.
    if (m_loaded.empty())
        m_loaded.emplace_back();
    m_loaded.push_back({entry, schema, isClass});
    return index;
}

const RuntimeClass* Archive::ReadNewClass(std::uint32_t& schema, std::size_t at)
{
    std::uint16_t storedSchema = 0;
    const std::string_view name = ReadClassName(storedSchema);
    const RuntimeClass* record = RuntimeClass::Find(name);
    if (!record || !record->IsSerializable())
        Refuse(ArchiveException::badClass, "class " + ArchiveException::Quote(name) + " is not known here", at);
    CheckSchema(*record, storedSchema, at);
    schema = storedSchema;
    AddLoaded(record, true, schema);
    return record;
}

void Archive::CheckSchema(const RuntimeClass& record, std::uint16_t schema, std::size_t at) const
{
    if ((record.schema & RuntimeClass::VersionableSchema) == 0 && schema != (record.schema & 0xFFFFu))
        Refuse(ArchiveException::badSchema,
               "class " + ArchiveException::Quote(record.className) + " stored with schema " + std::to_string(schema) +
                   ", this version reads schema " + std::to_string(record.schema & 0xFFFFu),
               at);
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
        Refuse(ArchiveException::readOnly, "writing a record to a loading archive");
    std::unordered_map<const void*, std::uint32_t>& stored = StoreIndex();
    if (const auto known = stored.find(&record); known != stored.end()) {
        WriteTag(known->second, true);
    } else {
        const std::string_view name(record.className);
        *this << NewClassTag << static_cast<std::uint16_t>(record.schema & 0xFFFFu)
              << static_cast<std::uint16_t>(name.size());
        Write(name.data(), name.size());
        stored.emplace(&record, TakeIndex());
    }
    TakeIndex();
}

bool Archive::ReadRecordHeader(const RuntimeClass& record)
{
    if (!IsLoading())
        Refuse(ArchiveException::writeOnly, "reading a record from a storing archive");
    const std::size_t at = m_position;
    std::uint16_t tag = 0;
    *this >> tag;
    if (tag == NullTag)
        return false;
    const std::string expected = ArchiveException::Quote(record.className);
    if (tag == NewClassTag) {
        std::uint16_t schema = 0;
        if (const std::string_view name = ReadClassName(schema); name != record.className)
            Refuse(ArchiveException::badClass, "a record of class " + ArchiveException::Quote(name) + " where " +
                                                   expected + " belongs", at);
        CheckSchema(record, schema, at);
        AddLoaded(&record, true, schema);
    } else {
        std::uint32_t index = 0;
        bool isClass = false;
        ReadTagIndex(tag, index, isClass);
        if (!isClass || index >= m_loaded.size() || !m_loaded[index].isClass)
            Refuse(ArchiveException::badIndex, "tag " + std::to_string(index) + " names no class read before, where a " +
                                                   expected + " record belongs", at);
        if (m_loaded[index].entry != &record)
            Refuse(ArchiveException::badClass,
                   "a record of class " +
                       ArchiveException::Quote(static_cast<const RuntimeClass*>(m_loaded[index].entry)->className) +
                       " where " + expected + " belongs",
                   at);
    }
    // The record's object: present in the sequence, never handed out.
    AddLoaded(nullptr, false, 0);
    return true;
}

PersistentObject* Archive::ReadObject(const RuntimeClass* expected)
{
    const std::size_t at = m_position;
    const ReadScope read(*this);
    const ObjectHeader header = ReadObjectHeader(expected);
    if (!header.isNew)
        return header.object;
    // The record that holds this one keeps its schema for the fields after it.
    const std::uint32_t outer = m_schema;
    m_loaded[header.index].readingBody = true;
    try {
        const NestedBody body(*this, m_nesting, at);
        m_schema = header.schema;
        header.object->Serialize(*this);
        m_schema = outer;
    } catch (...) {
        m_loaded[header.index].readingBody = false;
        SettleRefused();
        AbandonObject(header);
        throw;
    }
    m_loaded[header.index].readingBody = false;
    return header.object;
}

Archive::ObjectHeader Archive::ReadObjectHeader(const RuntimeClass* expected)
{
    if (!IsLoading())
        Refuse(ArchiveException::writeOnly, "reading an object from a storing archive");
    const std::size_t at = m_position;
    std::uint16_t tag = 0;
    *this >> tag;

    const RuntimeClass* record = nullptr;
    std::uint32_t schema = 0;
    if (tag == NewClassTag) {
        record = ReadNewClass(schema, at);
    } else {
        std::uint32_t index = 0;
        bool isClass = false;
        ReadTagIndex(tag, index, isClass);
        if (!isClass && index == 0)
            return {};
        if (index >= m_loaded.size() || m_loaded[index].isClass != isClass || !m_loaded[index].entry)
            Refuse(ArchiveException::badIndex,
                   std::string(isClass ? "class" : "object") + " tag " + std::to_string(index) +
                       " names no " + (isClass ? "class" : "object") + " read before",
                   at);
        if (!isClass) {
            auto* object = static_cast<PersistentObject*>(const_cast<void*>(m_loaded[index].entry));
            if (expected && !object->IsKindOf(expected))
                Refuse(ArchiveException::badClass, "object " + std::to_string(index) + " of class " +
                                                       ArchiveException::Quote(object->GetRuntimeClass()->className) +
                                                       " where a " + ArchiveException::Quote(expected->className) +
                                                       " belongs", at);
            m_loaded[index].handedOut = true;
            return {object, false, 0, index};
        }
        record = static_cast<const RuntimeClass*>(m_loaded[index].entry);
        schema = m_loaded[index].schema;
    }

    if (expected && !record->IsDerivedFrom(expected))
        Refuse(ArchiveException::badClass, "a record of class " + ArchiveException::Quote(record->className) +
                                               " where a " + ArchiveException::Quote(expected->className) + " belongs",
               at);
    std::unique_ptr<PersistentObject> created(record->CreateObject());
    if (!created)
        Refuse(ArchiveException::badClass,
               "an object of class " + ArchiveException::Quote(record->className) + " cannot be created", at);
    const std::size_t index = AddLoaded(created.get(), false, 0);
    return {created.release(), true, schema, index};
}

Archive::ReadScope::ReadScope(Archive& archive) : m_archive(archive), m_exceptions(std::uncaught_exceptions())
{
    if (!archive.IsLoading() || archive.m_reads++ != 0)
        return;
    archive.m_readMark = ReadCleanup::Installed().Mark();
    archive.m_readStart = archive.m_loaded.size();
    archive.m_settled = false;
}

Archive::ReadScope::~ReadScope()
{
    if (!m_archive.IsLoading() || --m_archive.m_reads != 0)
        return;
    if (std::uncaught_exceptions() <= m_exceptions) {
        ReadCleanup::Installed().Settle(m_archive.m_readMark);
        return;
    }
    m_archive.SettleRefused();
    ReadCleanup::Installed().Sweep(m_archive.m_readMark);
    // None of the read's objects is handed out again: each is gone or another's now.
    for (std::size_t i = m_archive.m_readStart; i < m_archive.m_loaded.size(); ++i) {
        if (!m_archive.m_loaded[i].isClass)
            m_archive.m_loaded[i].entry = nullptr;
    }
}

void Archive::SettleRefused()
{
    if (m_reads == 0 || m_settled)
        return;
    m_settled = true;
    ReadCleanup::Installed().Settle(m_readMark);
}

bool Archive::IsReadingBody(const ObjectHeader& header) const
{
    return header.object && header.index < m_loaded.size() && m_loaded[header.index].readingBody;
}

void Archive::AbandonObject(const ObjectHeader& header)
{
    // An object a back-reference handed out is left to whoever took it, when that one owns it now.
    ForgetObject(header);
    if (!m_loaded[header.index].handedOut || !header.object->HasOwner()) {
        header.object->RecordRefused();
        delete header.object;
    }
}

void Archive::ForgetObject(const ObjectHeader& header)
{
    m_loaded[header.index].entry = nullptr;
}

} // namespace Tavrel
