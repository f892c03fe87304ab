// Binary archive over a byte buffer: little-endian scalars, strings, counts and tagged object records.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include <tavrel/platform/ArchiveException.h>

namespace Tavrel {

class PersistentObject;
struct RuntimeClass;

static_assert(std::endian::native == std::endian::little, "archives are little-endian");

class Archive {
public:
    enum class Mode { Store, Load };

    // A storing archive that appends to its own buffer.
    Archive();
    // A loading archive that owns the given bytes (moved in, or copied).
    explicit Archive(std::vector<std::uint8_t> bytes);
    Archive(const void* data, std::size_t size);
    // A loading archive that reads the caller's bytes in place, without a copy; they must stay alive
    // and unchanged while the archive is in use.
    explicit Archive(std::span<const std::uint8_t> bytes);

    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Reuse of one archive for many small blocks, keeping the buffer's capacity. Restart (storing
    // only) empties it and forgets what it has written; Reload (loading only) makes it read the
    // caller's bytes in place from the start, as a new archive over them would: they must stay alive
    // and unchanged while it reads them.
    void Restart();
    void Reload(std::span<const std::uint8_t> bytes);

    bool IsStoring() const { return m_mode == Mode::Store; }
    bool IsLoading() const { return m_mode == Mode::Load; }

    // Stored bytes (storing) or the whole input (loading); storing, valid until the next write.
    std::span<const std::uint8_t> GetData() const
    {
        if (IsLoading())
            return m_input;
        // A small block (a byte-block value) lies in the stage alone.
        if (m_buffer.empty())
            return {m_stage, StagedSize()};
        Flush();
        return m_buffer;
    }
    // Stored bytes (storing) or the owned input (loading); a loading archive over the caller's bytes
    // has none (std::logic_error): read those through GetData.
    const std::vector<std::uint8_t>& GetBuffer() const;
    std::size_t GetPosition() const { return m_position; }
    std::size_t GetRemaining() const { return (IsLoading() ? m_input.size() : StoredSize()) - m_position; }
    // Loading only: moves the read cursor; throws endOfFile past the end.
    void Seek(std::size_t position);

    // Small writes gather in a staging block that goes to the buffer in one piece.
    void Write(const void* data, std::size_t size)
    {
        if (!IsStoring())
            Refuse(ArchiveException::readOnly, "writing to a loading archive");
        if (size > m_room) {
            WriteThrough(data, size);
            return;
        }
        if (size != 0)
            std::memcpy(StageEnd() - m_room, data, size);
        m_room -= size;
    }
    // Storing: room for up to size bytes (at most StageSize), written by the caller at the pointer
    // returned; Staged takes the end of what was written there, before any other write.
    std::uint8_t* Reserve(std::size_t size)
    {
        if (size >= m_room) [[unlikely]]
            MakeRoom(size);
        return StageEnd() - m_room;
    }
    void Staged(const std::uint8_t* end) { m_room = static_cast<std::size_t>(StageEnd() - end); }
    static constexpr std::size_t StageSize = 4096;

    // Throws endOfFile when fewer than size bytes remain.
    void Read(void* data, std::size_t size)
    {
        if (!IsLoading() || size > m_input.size() - m_position)
            RefuseRead(size);
        if (size != 0)
            std::memcpy(data, m_input.data() + m_position, size);
        m_position += size;
    }

    // Loading only: the next size bytes in place, valid while the input is; throws endOfFile when
    // fewer remain.
    std::span<const std::uint8_t> ReadView(std::size_t size)
    {
        if (!IsLoading() || size > m_input.size() - m_position)
            RefuseRead(size);
        const std::span<const std::uint8_t> view = m_input.subspan(m_position, size);
        m_position += size;
        return view;
    }

    // Loading only: reading in place. The cursor and the end of the input; a reader that takes bytes
    // by pointer (checking them against the end itself) moves the cursor past them with MoveTo, to a
    // place within the input.
    const std::uint8_t* GetCursor() const { return m_input.data() + m_position; }
    const std::uint8_t* GetEnd() const { return m_input.data() + m_input.size(); }
    void MoveTo(const std::uint8_t* at) { m_position = static_cast<std::size_t>(at - m_input.data()); }

    template <class T>
        requires std::is_arithmetic_v<T>
    Archive& operator<<(T value)
    {
        if constexpr (std::is_same_v<T, bool>) {
            return *this << static_cast<std::uint8_t>(value ? 1 : 0);
        } else {
            Write(&value, sizeof value);
            return *this;
        }
    }

    template <class T>
        requires std::is_arithmetic_v<T>
    Archive& operator>>(T& value)
    {
        if constexpr (std::is_same_v<T, bool>) {
            std::uint8_t byte = 0;
            *this >> byte;
            value = byte != 0;
        } else {
            Read(&value, sizeof value);
        }
        return *this;
    }

    // Strings: length below 255 in one byte; else 0xFF and a u16 below 0xFFFE; else 0xFF, 0xFFFF, u32.
    Archive& operator<<(std::string_view text);
    Archive& operator<<(const std::string& text) { return *this << std::string_view(text); }
    Archive& operator<<(const char* text) { return *this << std::string_view(text ? text : ""); }
    Archive& operator>>(std::string& text);
    // Loading only: a string read in place, valid while the input is.
    std::string_view ReadStringView();

    // Element counts: a u16 below 0xFFFF, else 0xFFFF and a u32.
    void WriteCount(std::uint32_t count);
    std::uint32_t ReadCount();
    // Reads a count and refuses it (endOfFile) when that many elements of at least
    // bytesPerElement bytes cannot remain in the input.
    std::uint32_t ReadCount(std::size_t bytesPerElement);

    // Tagged object records. Null is written as tag 0. A body (Serialize) written or read inside the
    // fields of 64 others is refused (genericException); a tree's children do not count, as tree nodes
    // walk their subtrees themselves.
    void WriteObject(const PersistentObject* object);
    // Reads one record; the result must be of (or derive from) the expected class when one is given.
    // A new object belongs to the caller; a back-reference returns an object already handed out.
    // When a record's Serialize throws, the half-read object is deleted unless a back-reference
    // already handed it out, and once the exception leaves the outermost read, so is everything the
    // read made and nothing took (see ReadScope).
    PersistentObject* ReadObject(const RuntimeClass* expected = nullptr);

    // A read of records: ReadObject opens one, and so does a reader that reads records in its own way
    // (a tree node's walk). Around the outermost one of a loading archive the installed ReadCleanup
    // runs: once the read has ended, the objects it made settle their links; a refused read settles
    // before the first of its objects is freed (SettleRefused, called where a refused record frees
    // what it made), and when the exception leaves it, what it made and nothing took is freed and no
    // longer handed out by back-references.
    class ReadScope {
    public:
        explicit ReadScope(Archive& archive);
        ~ReadScope();
        ReadScope(const ReadScope&) = delete;
        ReadScope& operator=(const ReadScope&) = delete;

    private:
        Archive& m_archive;
        int m_exceptions;
    };
    // Inside a refused read, before it frees what it made: the objects made settle, once per read.
    void SettleRefused();

    // Object records in two steps, for writers and readers that keep nested records off the call stack.
    // Writes the tag of a record: true when the object is new here and its body (Serialize) must follow.
    bool WriteObjectHeader(const PersistentObject* object);
    struct ObjectHeader {
        PersistentObject* object = nullptr;  // null for a null reference
        bool isNew = false;                  // created here, its body still to read
        std::uint32_t schema = 0;            // stored schema of a new object's class
        std::size_t index = 0;               // a new object's place in the sequence
    };
    // Reads the tag of a record as ReadObject does, creating and entering a new object without
    // reading its body; the caller reads it (with the schema set) or abandons it.
    ObjectHeader ReadObjectHeader(const RuntimeClass* expected = nullptr);
    // After a new object's body failed: forgets the object and deletes it unless a back-reference
    // handed it out.
    void AbandonObject(const ObjectHeader& header);
    // The same for an object already gone: forgets it only, so that no back-reference hands it out.
    void ForgetObject(const ObjectHeader& header);
    // Whether the object a header names is one whose body ReadObject is still reading: a record
    // inside that body refers back to the object around it.
    bool IsReadingBody(const ObjectHeader& header) const;

    // Records of a framework class whose body the caller writes and reads itself, with no object
    // created (the framework's object array, say). The record's object takes an index in the
    // sequence that nothing may refer back to.
    // Writes the class, new or as a back-reference, before the caller's body.
    void WriteRecordHeader(const RuntimeClass& record);
    // Reads the tag: false for null; true for the class (new, with its name and schema, or a
    // back-reference to it), the body following. Any other tag raises badClass or badIndex.
    bool ReadRecordHeader(const RuntimeClass& record);
    // Skips an object reference that may only be null or refer back to an object already read,
    // without handing the object out; a new object there is refused, naming `what` the reference is.
    void SkipBackReference(std::string_view what);

    // Raises ArchiveException with the cause, saying what was wrong and at which offset: by default
    // the current one (the read cursor, or the end of what is stored).
    [[noreturn]] void Refuse(ArchiveException::Cause cause, std::string_view what) const;
    // Why a read of size bytes cannot be taken: a storing archive, or too few bytes left.
    [[noreturn]] void RefuseRead(std::size_t size) const;
    [[noreturn]] void Refuse(ArchiveException::Cause cause, std::string_view what, std::size_t offset) const;

    // The schema of the record being read (valid inside Serialize while loading), else 0xFFFFFFFF;
    // reading it resets it. A record read inline gives the record that holds it its schema back.
    std::uint32_t GetObjectSchema()
    {
        const std::uint32_t schema = m_schema;
        m_schema = 0xFFFFFFFFu;
        return schema;
    }
    void SetObjectSchema(std::uint32_t schema) { m_schema = schema; }

private:
    void WriteTag(std::uint32_t index, bool isClass);
    std::uint32_t TakeIndex();
    // The staged bytes go to the buffer.
    void Flush() const
    {
        if (m_room != StageSize) {
            Append(m_stage, StagedSize());
            m_room = StageSize;
        }
    }
    // Storing: the bytes in the stage, and the end of the stage.
    std::size_t StagedSize() const { return StageSize - m_room; }
    std::uint8_t* StageEnd() const { return m_stage + StageSize; }
    // A reservation the stage may not hold: refused when loading or above StageSize, else the
    // staged bytes go to the buffer when the room left is short.
    void MakeRoom(std::size_t size);
    // Appends to the buffer, growing a large one sixteen- or fourfold when it is full.
    void Append(const std::uint8_t* bytes, std::size_t size) const;
    // Room for size more bytes in the buffer, grown or with more of its pages mapped in.
    void Extend(std::size_t size) const;
    // Maps in the pages of a buffer of MappedCapacity or more from m_mapped to a quarter megabyte past
    // end.
    void MapAhead(std::vector<std::uint8_t>& buffer, std::size_t end) const;
    static constexpr std::size_t LargeCapacity = std::size_t{1} << 20;
    // The heap maps a block this large afresh for each request rather than reusing freed pages.
    static constexpr std::size_t MappedCapacity = std::size_t{32} << 20;
    // A write that does not fit the stage: the staged bytes, then the write, go to the buffer.
    void WriteThrough(const void* data, std::size_t size);
    std::size_t StoredSize() const { return m_buffer.size() + StagedSize(); }
    std::unordered_map<const void*, std::uint32_t>& StoreIndex();
    // The class of a new-class tag read at offset at.
    const RuntimeClass* ReadNewClass(std::uint32_t& schema, std::size_t at);
    // The name of a new class; its stored schema goes to schema.
    std::string_view ReadClassName(std::uint16_t& schema);
    // Splits a tag other than the new-class tag into an index and whether it names a class.
    void ReadTagIndex(std::uint16_t tag, std::uint32_t& index, bool& isClass);
    // Refuses (badSchema) a stored schema that a class without the versionable bit does not read.
    void CheckSchema(const RuntimeClass& record, std::uint16_t schema, std::size_t at) const;
    // Enters a class or object read; returns its index.
    std::uint32_t AddLoaded(const void* entry, bool isClass, std::uint32_t schema);

    Mode m_mode;
    bool m_ownsInput = true;
    // Output (storing: with the staged bytes after it) or the owned input (loading).
    mutable std::vector<std::uint8_t> m_buffer;
    // Storing: the room left in the stage, the bytes staged being the others, so that a reservation
    // compares once; loading: none.
    mutable std::size_t m_room = 0;
    mutable std::uint8_t m_stage[StageSize];
    // Storing: the bytes the buffer takes before Extend must grow it or map in more of it, and how
    // much of a large buffer is mapped in.
    mutable std::size_t m_limit = 0;
    mutable std::size_t m_mapped = 0;
    std::span<const std::uint8_t> m_input; // loading: the bytes read
    std::size_t m_position = 0;
    std::uint32_t m_schema = 0xFFFFFFFFu;
    // Object bodies written or read inside the fields of other objects' bodies; each costs call stack.
    std::uint32_t m_nesting = 0;
    // Loading: the open reads (ReadScope), and of the outermost one the cleanup's mark, where its
    // entries begin, and whether it has settled for a refusal.
    std::uint32_t m_reads = 0;
    std::uint64_t m_readMark = 0;
    std::size_t m_readStart = 0;
    bool m_settled = false;

    // Classes and objects share one index sequence starting at 1.
    std::uint32_t m_nextIndex = 1;
    // Storing: the index of each object and class written; made with the first record.
    std::unique_ptr<std::unordered_map<const void*, std::uint32_t>> m_storeIndex;
    // Loading: each object and class record read, by index (0 stands for null once a record is read).
    struct Loaded {
        const void* entry = nullptr;  // object or class record
        std::uint32_t schema = 0;     // schema of a class entry
        bool isClass = false;
        bool handedOut = false;       // an object returned by a back-reference
        bool readingBody = false;     // an object whose body ReadObject is reading
    };
    std::vector<Loaded> m_loaded;
};

} // namespace Tavrel
