#include <tavrel/foundation/PropertyArchive.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <memory>
#include <stdexcept>
#include <utility>

#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/foundation/CompressionInteger.h>
#include <tavrel/foundation/InternalPropertyArchive.h>
#include <tavrel/foundation/PropertyPlan.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/Storage.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

namespace {

// uint32 -> uint32, open addressing with linear probing, at most half full: about 24 bytes per entry
// and no allocation per entry.
class FlatMap {
public:
    const std::uint32_t* Find(std::uint32_t key) const
    {
        if (m_size == 0)
            return nullptr;
        for (std::size_t i = Home(key);; i = (i + 1) & (m_slots.size() - 1)) {
            const Slot& slot = m_slots[i];
            if (!slot.used)
                return nullptr;
            if (slot.key == key)
                return &slot.value;
        }
    }

    void Set(std::uint32_t key, std::uint32_t value) { Place(key, value, true); }
    // Adds an entry unless the key has one; false when it had.
    bool Insert(std::uint32_t key, std::uint32_t value) { return Place(key, value, false); }

    std::size_t GetSize() const { return m_size; }

private:
    struct Slot {
        std::uint32_t key = 0;
        std::uint32_t value = 0;
        bool used = false;
    };

    // True when the key was new.
    bool Place(std::uint32_t key, std::uint32_t value, bool replace)
    {
        if (2 * (m_size + 1) > m_slots.size())
            Grow();
        for (std::size_t i = Home(key);; i = (i + 1) & (m_slots.size() - 1)) {
            Slot& slot = m_slots[i];
            if (!slot.used) {
                slot = {key, value, true};
                ++m_size;
                return true;
            }
            if (slot.key == key) {
                if (replace)
                    slot.value = value;
                return false;
            }
        }
    }

    std::size_t Home(std::uint32_t key) const
    {
        // Fibonacci hashing spreads runs of consecutive keys.
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & (m_slots.size() - 1);
    }

    void Grow()
    {
        std::vector<Slot> old(m_slots.empty() ? 16 : 2 * m_slots.size());
        old.swap(m_slots);
        m_size = 0;
        for (const Slot& slot : old) {
            if (slot.used)
                Set(slot.key, slot.value);
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_size = 0;
};

// A set of OIDs. The objects of one load come from the counter one after another, so the OIDs from
// the first one entered up live in a bitmap while it holds at least one entry per 64 bits; the others
// go to a flat table.
class OIDSet {
public:
    // False when the OID was in the set.
    bool Insert(std::uint32_t oid)
    {
        if (m_size == 0)
            m_base = oid;
        if (oid >= m_base) {
            const std::size_t index = oid - m_base;
            if (index < Bits * (m_size + FreeWords)) {
                if (index >= Bits * m_words.size())
                    m_words.resize(std::max(index / Bits + 1, 2 * m_words.size()));
                std::uint64_t& word = m_words[index / Bits];
                const std::uint64_t bit = std::uint64_t{1} << (index % Bits);
                // An OID entered while the bitmap did not reach it is in the table.
                if ((word & bit) != 0 || (m_scattered.GetSize() != 0 && m_scattered.Find(oid)))
                    return false;
                word |= bit;
                ++m_size;
                return true;
            }
        }
        if (!m_scattered.Insert(oid, 1))
            return false;
        ++m_size;
        return true;
    }

private:
    static constexpr std::size_t Bits = 64;
    static constexpr std::size_t FreeWords = 1024;

    std::uint32_t m_base = 0;
    std::size_t m_size = 0;
    std::vector<std::uint64_t> m_words;
    FlatMap m_scattered;
};

// The OIDs of the records being read, outermost first: ascending, as each record's object is made
// after those of the records around it. A bonded chain nests its records deep, so membership is a bit
// from the outermost one's OID on (the bits reach as far as the objects of the load).
class OpenRecords {
public:
    std::size_t GetSize() const { return m_oids.size(); }
    void Push(std::uint32_t oid)
    {
        if (m_oids.empty())
            m_base = oid;
        m_oids.push_back(oid);
        if (oid < m_base)
            return;
        const std::size_t index = oid - m_base;
        if (index >= Bits * m_words.size())
            m_words.resize(std::max(index / Bits + 1, 2 * m_words.size()));
        m_words[index / Bits] |= std::uint64_t{1} << (index % Bits);
    }
    void Pop()
    {
        Clear(m_oids.back());
        m_oids.pop_back();
    }
    // Closes the records after the first size ones.
    void Truncate(std::size_t size)
    {
        for (std::size_t i = size; i < m_oids.size(); ++i)
            Clear(m_oids[i]);
        m_oids.resize(size);
    }
    bool Contains(std::uint32_t oid) const
    {
        if (oid >= m_base && oid - m_base < Bits * m_words.size())
            return (m_words[(oid - m_base) / Bits] >> ((oid - m_base) % Bits) & 1) != 0;
        return std::binary_search(m_oids.begin(), m_oids.end(), oid);
    }

private:
    static constexpr std::size_t Bits = 64;

    void Clear(std::uint32_t oid)
    {
        if (oid >= m_base && oid - m_base < Bits * m_words.size())
            m_words[(oid - m_base) / Bits] &= ~(std::uint64_t{1} << ((oid - m_base) % Bits));
    }

    std::vector<std::uint32_t> m_oids;
    std::uint32_t m_base = 0;
    std::vector<std::uint64_t> m_words;
};

} // namespace

// Stored OID -> OID. Stored OIDs are counter values of the saving process, so they come in runs: they
// live in pages of consecutive slots (4 bytes each, 0 = no entry) while the pages hold no more than a
// few slots per entry; whatever does not fit that bound goes to a flat table. Memory therefore follows
// the number of entries, whatever the keys, and every lookup is O(1).
class PropertyArchive::OIDMap {
public:
    bool Contains(std::uint32_t key) const
    {
        if (const std::uint32_t* slot = PageSlot(key); slot && *slot != 0)
            return true;
        return m_scattered.Find(key) != nullptr;
    }

    // 0 when absent.
    std::uint32_t Find(std::uint32_t key) const
    {
        if (const std::uint32_t* slot = PageSlot(key); slot && *slot != 0)
            return *slot;
        const std::uint32_t* value = m_scattered.Find(key);
        return value ? *value : 0;
    }

    // Maps key to itself unless it has an entry: true when it had none.
    bool Insert(std::uint32_t key)
    {
        std::uint32_t* const slot = PageSlot(key);
        if ((slot && *slot != 0) || m_scattered.Find(key))
            return false;
        if (slot && key != 0) {
            *slot = key;
            ++m_entries;
        } else {
            Set(key, key);
        }
        return true;
    }

    void Set(std::uint32_t key, std::uint32_t value)
    {
        // A load's keys come in runs: most fall in the page of the key set before.
        if (value != 0 && (key >> PageBits) == m_setPage) {
            std::uint32_t& slot = m_setSlots[key & (PageSize - 1)];
            if (slot != 0 || !m_scattered.Find(key)) {
                m_entries += slot == 0 ? 1 : 0;
                slot = value;
                return;
            }
        }
        SetAny(key, value);
    }

private:
    [[gnu::noinline]] void SetAny(std::uint32_t key, std::uint32_t value)
    {
        if (m_scattered.Find(key)) {
            m_scattered.Set(key, value);
            return;
        }
        std::uint32_t* slot = PageSlot(key);
        // An entry for no object (0) cannot sit in a page, where 0 marks a free slot.
        if (!slot && value != 0 && PageFits())
            slot = AddPage(key);
        if (slot && value != 0) {
            if (*slot == 0)
                ++m_entries;
            *slot = value;
            m_setPage = m_lastPage;
            m_setSlots = m_lastSlots;
        } else {
            if (slot && *slot != 0) {
                *slot = 0;
                --m_entries;
            }
            m_scattered.Set(key, value);
        }
    }

    static constexpr unsigned PageBits = 10;
    static constexpr std::uint32_t PageSize = 1u << PageBits;
    // Pages always allowed, then one page per PageSize / SlotsPerEntry entries.
    static constexpr std::size_t FreePages = 4;
    static constexpr std::size_t SlotsPerEntry = 4;

    bool PageFits() const
    {
        const std::size_t entries = m_entries + m_scattered.GetSize() + 1;
        return (m_pages.size() + 1) * PageSize <= SlotsPerEntry * entries + FreePages * PageSize;
    }

    std::uint32_t* PageSlot(std::uint32_t key) const
    {
        const std::uint32_t page = key >> PageBits;
        if (page != m_lastPage) {
            const std::uint32_t* index = m_pageIndex.Find(page);
            if (!index)
                return nullptr;
            m_lastPage = page;
            m_lastSlots = m_pages[*index].get();
        }
        return m_lastSlots + (key & (PageSize - 1));
    }

    std::uint32_t* AddPage(std::uint32_t key)
    {
        m_pageIndex.Set(key >> PageBits, static_cast<std::uint32_t>(m_pages.size()));
        m_pages.push_back(std::make_unique<std::uint32_t[]>(PageSize));
        return PageSlot(key);
    }

    FlatMap m_pageIndex; // page number -> index in m_pages
    std::vector<std::unique_ptr<std::uint32_t[]>> m_pages;
    std::size_t m_entries = 0; // entries in the pages
    FlatMap m_scattered;
    // The page of the last lookup: stored OIDs mostly come in runs.
    mutable std::uint32_t m_lastPage = UINT32_MAX;
    mutable std::uint32_t* m_lastSlots = nullptr;
    // The page of the last key set in a page.
    std::uint32_t m_setPage = UINT32_MAX;
    std::uint32_t* m_setSlots = nullptr;
};

namespace {

// The nodes registered for the finishing pass, in order of registration. A large load registers one
// or two per atom: the entries sit in chunks that stay where they are as the list grows (no copy, and
// no memory touched twice), and entries registered while no object was destroyed share the count of
// destroyed objects they were registered at.
class FinishList {
public:
    struct Entry {
        TreeNode* node;
        std::uint32_t oid;
        std::uint32_t run; // index of Base::GetDestroyedCount() at registration in m_runs
    };

    void Add(TreeNode* node, std::uint32_t oid)
    {
        const std::uint64_t destroyed = Base::GetDestroyedCount();
        if (destroyed != m_lastDestroyed) {
            m_run = static_cast<std::uint32_t>(m_runs.size());
            m_runs.push_back(destroyed);
            m_lastDestroyed = destroyed;
        }
        if (m_next == m_chunkEnd) {
            m_chunks.push_back(std::make_unique_for_overwrite<Entry[]>(ChunkSize));
            m_next = m_chunks.back().get();
            m_chunkEnd = m_next + ChunkSize;
        }
        *m_next++ = {node, oid, m_run};
        ++m_size;
    }

    std::size_t GetSize() const { return m_size; }
    const Entry& operator[](std::size_t i) const { return m_chunks[i / ChunkSize][i % ChunkSize]; }
    // Base::GetDestroyedCount() when the entry was registered.
    std::uint64_t GetDestroyed(const Entry& entry) const { return m_runs[entry.run]; }

private:
    // 64 KiB of entries.
    static constexpr std::size_t ChunkSize = 4096;

    std::vector<std::unique_ptr<Entry[]>> m_chunks;
    Entry* m_next = nullptr; // the next free entry of the last chunk
    Entry* m_chunkEnd = nullptr;
    std::size_t m_size = 0;
    // Base::GetDestroyedCount() of each run of entries; no count reaches the initial last one.
    std::vector<std::uint64_t> m_runs;
    std::uint64_t m_lastDestroyed = UINT64_MAX;
    std::uint32_t m_run = 0;
};

} // namespace

// Stream state shared by an archive and the recorders that write its records' properties.
struct PropertyArchive::State {
    OIDMap oidMap;
    FinishList finish;
    OIDSet finishSet; // the OIDs of the nodes in finish
    // OIDs of the objects created by reading, in order of creation.
    std::vector<std::uint32_t> created;
    // OIDs of the objects whose records are being read.
    OpenRecords open;
    // Input bytes that the open records still need after the innermost one: at least one per
    // remaining property, array element and reference.
    std::size_t reserved = 0;
    // Set when a level asks for the current value during a MethodRead pass.
    bool taken = false;
    // The archive of values' byte blocks, between two values.
    std::unique_ptr<Archive> nested;
    // The plain form's hierarchy of the record being read.
    ClassHierarchy hierarchy;
};

namespace {

StreamRecordCounts g_recordCounts;

// Whether an object handed out earlier still exists.
bool IsAlive(const Base* object, std::uint32_t oid)
{
    return Base::GetObjectA(oid) == object;
}

// The same for an object known to exist when `destroyed` objects had been: asked again only when
// any has been destroyed since.
bool IsAlive(const Base* object, std::uint32_t oid, std::uint64_t& destroyed)
{
    if (destroyed == Base::GetDestroyedCount())
        return true;
    if (!IsAlive(object, oid))
        return false;
    destroyed = Base::GetDestroyedCount();
    return true;
}

[[noreturn]] void Malformed(const Archive& archive, std::size_t at, ArchiveException::Cause cause,
                            const std::string& message)
{
    archive.Refuse(cause, "malformed property stream: " + message, at);
}

} // namespace

// Records what a MethodWrite pass writes so that the stream can place it in byte order, records
// referenced inline included, without nesting the passes of the referenced objects. A recorder is
// reused for record after record; its scratch archive is replaced once it has grown large.
class PropertyArchive::Recorder final : public PropertyArchive {
public:
    enum class Kind { Name, Type, Reference, Record };
    struct Item {
        Kind kind;
        std::size_t offset;     // scratch bytes written before the item
        std::size_t className;  // index into m_classNames
        std::string name;
        std::int32_t value;     // array flag or type code
        Catalog* object;        // reference (null allowed) or record
        std::uint32_t oid;      // record only
    };

    explicit Recorder(PropertyArchive& target) : Recorder(std::make_unique<Archive>(), target) {}

    // Starts a new record.
    void Reset()
    {
        constexpr std::size_t scratchLimit = 1 << 16;
        m_used = 0;
        m_classNames.clear();
        if (m_scratch->GetData().size() > scratchLimit) {
            m_scratch = std::make_unique<Archive>();
            m_scratch->SetObjectSchema(m_target.GetObjectSchema());
            m_archive = m_scratch.get();
        }
        m_start = m_scratch->GetData().size();
        SetMethodType(MethodWrite);
    }

    void WriteClassHierarchy(const ClassHierarchy&) override { Refuse(); }
    ClassHierarchy ReadClassHierarchy() override { Refuse(); }
    void WriteNumberOfProperties(std::string_view, std::int32_t) override { Refuse(); }
    std::int32_t ReadNumberOfProperties(std::string_view) override { Refuse(); }
    // Names and type codes are placed as in the stream, which decides what to write once the bytes
    // before them are in.
    void WritePropertyName(std::string_view className, std::string_view propertyName, bool isArray) override
    {
        Add(Kind::Name, ClassIndex(className), propertyName, isArray ? 1 : 0, nullptr, 0);
    }
    std::string ReadPropertyName(std::string_view, std::int32_t, bool&) override { Refuse(); }
    void WritePropertyType(std::string_view className, std::string_view propertyName, std::int32_t type) override
    {
        Add(Kind::Type, ClassIndex(className), propertyName, type, nullptr, 0);
    }
    std::int32_t ReadPropertyType(std::string_view, std::string_view) override { Refuse(); }

    void AddReference(Base* object) { Add(Kind::Reference, 0, {}, 0, object, 0); }
    void AddRecord(Catalog& object, std::uint32_t oid) { Add(Kind::Record, 0, {}, 0, &object, oid); }

    std::size_t GetNumberOfItems() const { return m_used; }
    const Item& GetItem(std::size_t index) const { return m_items[index]; }
    const std::string& GetClassName(std::size_t index) const { return m_classNames[index]; }
    const std::uint8_t* GetBytes() const { return m_scratch->GetData().data(); }
    std::size_t GetStart() const { return m_start; }
    std::size_t GetEnd() const { return m_scratch->GetData().size(); }

private:
    Recorder(std::unique_ptr<Archive> scratch, PropertyArchive& target)
        : PropertyArchive(*scratch, target), m_scratch(std::move(scratch)), m_target(target)
    {
        m_scratch->SetObjectSchema(target.GetObjectSchema());
        m_recorder = this;
    }

    [[noreturn]] static void Refuse() { throw std::logic_error("not available while a record is written"); }

    std::size_t ClassIndex(std::string_view className)
    {
        if (m_classNames.empty() || m_classNames.back() != className)
            m_classNames.emplace_back(className);
        return m_classNames.size() - 1;
    }

    // Items are overwritten in place so that their names keep their storage from record to record.
    void Add(Kind kind, std::size_t className, std::string_view name, std::int32_t value, Catalog* object,
             std::uint32_t oid)
    {
        if (m_used == m_items.size())
            m_items.emplace_back();
        Item& item = m_items[m_used++];
        item.kind = kind;
        item.offset = m_scratch->GetData().size();
        item.className = className;
        item.name.assign(name);
        item.value = value;
        item.object = object;
        item.oid = oid;
    }

    std::unique_ptr<Archive> m_scratch;
    PropertyArchive& m_target;
    std::size_t m_start = 0;
    std::size_t m_used = 0;
    std::vector<std::string> m_classNames;
    std::vector<Item> m_items;
};

PropertyArchive::PropertyArchive(Archive& archive)
    : m_archive(&archive), m_ownState(std::make_unique<State>()), m_state(m_ownState.get())
{
}

PropertyArchive::PropertyArchive(Archive& archive, PropertyArchive& target)
    : m_archive(&archive), m_state(target.m_state)
{
}

PropertyArchive::~PropertyArchive()
{
    if (!m_ownState)
        return;
    const bool loading = GetArchive().IsLoading();
    const std::uint32_t schema = GetObjectSchema();
    // By index: a finishing call may register further nodes. A large load leaves most of them out of
    // the cache: each is asked for a few entries ahead, with the fields of its class levels that
    // finishing reads (a bonded atom's bond list, a bond's ends).
    constexpr std::size_t prefetchDistance = 8;
    constexpr std::size_t prefetchBytes = 192;
    const FinishList& finish = m_state->finish;
    for (std::size_t i = 0; i < finish.GetSize(); ++i) {
        if (i + prefetchDistance < finish.GetSize())
            PrefetchObject(finish[i + prefetchDistance].node, prefetchBytes);
        const FinishList::Entry entry = finish[i];
        std::uint64_t destroyed = finish.GetDestroyed(entry);
        if (!IsAlive(entry.node, entry.oid, destroyed))
            continue;
        try {
            if (loading)
                entry.node->FinishLoading(schema);
            else
                entry.node->FinishStoring(schema);
        } catch (...) {
            // The finishing pass never fails the archive.
        }
    }
}

std::uint32_t PropertyArchive::GetObjectSchema() const
{
    // Reading the schema from the framework archive resets it there.
    const std::uint32_t schema = m_archive->GetObjectSchema();
    m_archive->SetObjectSchema(schema);
    return schema;
}

Storage* PropertyArchive::GetProperty()
{
    m_state->taken = true;
    return m_property;
}

void PropertyArchive::SetProperty(Storage* property)
{
    m_property = property;
}

void PropertyArchive::TakeProperty()
{
    m_state->taken = true;
}

std::unique_ptr<Archive> PropertyArchive::TakeNested()
{
    std::unique_ptr<Archive> nested = std::move(m_state->nested);
    if (!nested)
        nested = GetArchive().IsStoring() ? std::make_unique<Archive>() : std::make_unique<Archive>(std::vector<std::uint8_t>());
    return nested;
}

void PropertyArchive::ReturnNested(std::unique_ptr<Archive> nested)
{
    m_state->nested = std::move(nested);
}

bool PropertyArchive::IsOID(std::uint32_t oid) const
{
    return m_state->oidMap.Contains(oid);
}

void PropertyArchive::AddOIDMapEntry(std::uint32_t stored, std::uint32_t oid)
{
    m_state->oidMap.Set(stored, oid);
}

std::uint32_t PropertyArchive::GetOID(std::uint32_t stored) const
{
    return m_state->oidMap.Find(stored);
}

void PropertyArchive::FinishObject(TreeNode* object)
{
    if (object && m_state->finishSet.Insert(object->GetOID()))
        m_state->finish.Add(object, object->GetOID());
}

bool PropertyArchive::IsRecordOpen(const Base& object) const
{
    return m_state->open.Contains(object.GetOID());
}

// Plain form.

void PropertyArchive::WriteClassHierarchy(const ClassHierarchy& hierarchy)
{
    GetArchive() << static_cast<std::int32_t>(hierarchy.GetNames().size());
    for (const std::string& name : hierarchy.GetNames())
        GetArchive() << name;
}

ClassHierarchy PropertyArchive::ReadClassHierarchy()
{
    const std::size_t at = GetArchive().GetPosition();
    ClassHierarchy hierarchy;
    hierarchy.Serialize(GetArchive());
    if (hierarchy.GetNames().empty())
        Malformed(GetArchive(), at, ArchiveException::badClass, "a class hierarchy without names");
    return hierarchy;
}

void PropertyArchive::WriteNumberOfProperties(std::string_view, std::int32_t count)
{
    GetArchive() << count;
}

std::int32_t PropertyArchive::ReadNumberOfProperties(std::string_view)
{
    std::int32_t count = 0;
    GetArchive() >> count;
    return count;
}

void PropertyArchive::WritePropertyName(std::string_view, std::string_view propertyName, bool isArray)
{
    GetArchive() << propertyName << static_cast<std::int32_t>(isArray ? 1 : 0);
}

std::string PropertyArchive::ReadPropertyName(std::string_view, std::int32_t, bool& isArray)
{
    std::string name;
    std::int32_t flag = 0;
    GetArchive() >> name >> flag;
    isArray = flag == 1;
    return name;
}

void PropertyArchive::WritePropertyType(std::string_view, std::string_view, std::int32_t type)
{
    GetArchive() << type;
}

std::int32_t PropertyArchive::ReadPropertyType(std::string_view, std::string_view)
{
    std::int32_t type = 0;
    GetArchive() >> type;
    return type;
}

PropertyArchive::RecordClass PropertyArchive::ReadRecordClass()
{
    m_state->hierarchy = ReadClassHierarchy();
    return {&m_state->hierarchy, nullptr};
}

const PropertyPlan* PropertyArchive::FindWritePlan(Catalog&)
{
    return nullptr;
}

const PropertyPlan* PropertyArchive::FindReadPlan(ClassDictionaryEntry&, Base*)
{
    return nullptr;
}

// Object references.

void PropertyArchive::WriteReference(Base* object)
{
    if (m_recorder) {
        m_recorder->AddReference(object);
        return;
    }
    if (!object) {
        GetArchive() << static_cast<std::uint8_t>(1);
        return;
    }
    GetArchive() << static_cast<std::uint8_t>(0);
    const std::uint32_t oid = object->GetOID();
    if (IsOID(oid)) {
        CompressionInteger::Write(oid, GetArchive());
        return;
    }
    CompressionInteger::Write(std::int32_t{0}, GetArchive());
    AddOIDMapEntry(oid, oid);
    WriteRecord(*object, oid);
}

Base* PropertyArchive::ReadReference()
{
    std::uint8_t isNull = 0;
    GetArchive() >> isNull;
    if (isNull != 0)
        return nullptr;
    if (const std::uint32_t stored = CompressionInteger::ReadUnsignedInteger(GetArchive()))
        return Base::GetObjectA(GetOID(stored));
    return ReadRecord();
}

// Writing records. A record of a class that has a plan is written step by step straight into the
// stream; any other record's MethodWrite pass runs against a recorder, whose items are then placed in
// the stream in order. Either way a reference to an object not yet in the stream opens that object's
// record at its place, and the referring record goes on once that one has ended: an explicit stack
// keeps the nesting off the call stack.

namespace {

// How a settled value of a plan is written: from its member's bytes at an offset in the object (a
// compressed integer, the bytes, a byte block of them, or a bool that is a bit of them), by its entry's
// put into reserved room, by its entry's payload writer, or by its entry's pass. The member and put
// forms of a segment of steps go into room reserved once in the stream: a step that begins a segment
// holds the most bytes the segment's steps can take.
struct PayloadStep {
    enum class Form : std::uint8_t { Integer, Bytes, Block, Bit, Put, Call, Pass };
    Form form = Form::Pass;
    std::uint8_t size = 0;     // the member's size
    std::uint8_t mask = 0;     // Bit: the bit of the member byte
    std::uint16_t room = 0;    // the most bytes from this step to the end of its segment
    bool begins = true;        // the step begins a segment (never a Call or Pass step)
    std::ptrdiff_t offset = 0; // the member's offset from the object
    std::uint8_t* (*put)(std::uint8_t* out, const Base&) = nullptr;
    // The stream holds the position's name, its type code: kept once it does.
    bool named = false;
    bool typed = false;
};

// A step whose payload goes into the room of its segment.
bool IsMember(const PayloadStep& step)
{
    return step.form != PayloadStep::Form::Call && step.form != PayloadStep::Form::Pass;
}

// The most bytes a segment reserves: well inside the stream's staging block.
constexpr std::size_t SegmentRoom = 256;

// The payload steps of a plan's values, the members' offsets taken from an object of its class.
std::vector<PayloadStep> CompilePayloads(const PropertyPlan& plan, const Base& object)
{
    std::vector<PayloadStep> steps(plan.GetCount());
    for (std::size_t position = 0; position < steps.size(); ++position) {
        const PropertyPlan::Step& step = plan.GetStep(position);
        const PropertyEntry& entry = *step.entry;
        PayloadStep& compiled = steps[position];
        if (step.kind != PropertyPlan::Kind::Value || step.isArray)
            continue;
        if (!entry.member) {
            if (entry.put && entry.payload) {
                compiled.form = PayloadStep::Form::Put;
                compiled.put = entry.put;
                compiled.room = entry.putRoom;
            } else {
                compiled.form = entry.payload ? PayloadStep::Form::Call : PayloadStep::Form::Pass;
                compiled.begins = false;
            }
            continue;
        }
        compiled.offset = static_cast<const char*>(entry.member(object)) - reinterpret_cast<const char*>(&object);
        compiled.size = entry.memberSize;
        std::size_t room = compiled.size;
        if (entry.code == Storage::StorageInt || entry.code == Storage::StorageUnsignedInt) {
            compiled.form = PayloadStep::Form::Integer;
            room = CompressionInteger::MostBytes;
        } else if (entry.memberMask != 0) {
            compiled.form = PayloadStep::Form::Bit;
            compiled.mask = entry.memberMask;
        } else if (entry.code == Storage::StorageArchive) {
            compiled.form = PayloadStep::Form::Block;
            room += sizeof(std::int32_t);
        } else {
            compiled.form = PayloadStep::Form::Bytes;
        }
        compiled.room = static_cast<std::uint16_t>(room);
    }
    // Segments: runs of member steps whose room stays within SegmentRoom, each step's room counted
    // to its segment's end.
    for (std::size_t position = steps.size(); position-- > 1;) {
        PayloadStep& compiled = steps[position - 1];
        PayloadStep& next = steps[position];
        if (IsMember(compiled) && IsMember(next) && compiled.room + next.room <= SegmentRoom) {
            compiled.room = static_cast<std::uint16_t>(compiled.room + next.room);
            next.begins = false;
        }
    }
    return steps;
}

// One operation of a settled run's program, made from its payload steps once the run's end is
// kept: a reservation where a segment begins, and a copy per member form, specialised by its size,
// where runs of bytes that follow on in the object are one copy and bits of one byte one operation.
// A program ends with an End operation.
struct RunOp {
    enum class Form : std::uint8_t {
        Reserve, Integer, Byte, Bytes2, Bytes4, Bytes5, Bytes8, Bytes9, Bytes, Block4, Block12, Block, Bits, Put,
        Entry, End
    };
    Form form = Form::Entry;
    std::uint8_t size = 0;     // Bytes, Block: the member's bytes; Bits: the bits
    std::uint16_t room = 0;    // Reserve: the segment's room; Put: the room from it to its segment's end
    std::uint32_t position = 0; // Put, Entry: the plan's position
    std::ptrdiff_t offset = 0;  // the member's offset from the object
    std::uint8_t* (*put)(std::uint8_t* out, const Base&) = nullptr;
    std::array<std::uint8_t, 4> masks{}; // Bits: the bits of the member byte, in stream order
    bool payload = false;       // Entry: by its payload writer first, else by its pass
};

// The payload steps from first up to last as a run's program.
std::vector<RunOp> CompileRun(const PayloadStep* steps, std::size_t first, std::size_t last)
{
    using Form = RunOp::Form;
    std::vector<RunOp> ops;
    bool reserved = false; // a segment's room is reserved
    // The last operation made is the step before's, which a step may join.
    bool follows = false;
    for (std::size_t position = first; position < last; ++position) {
        const PayloadStep& step = steps[position];
        if (!IsMember(step)) {
            ops.push_back({.form = Form::Entry,
                           .position = static_cast<std::uint32_t>(position),
                           .payload = step.form == PayloadStep::Form::Call});
            reserved = false;
            follows = false;
            continue;
        }
        if (step.begins || !reserved) {
            ops.push_back({.form = Form::Reserve, .room = step.room});
            reserved = true;
            follows = false;
        }
        RunOp* const joined = follows ? &ops.back() : nullptr;
        switch (step.form) {
        case PayloadStep::Form::Bit:
            if (joined && joined->form == Form::Bits && joined->offset == step.offset &&
                joined->size < joined->masks.size()) {
                joined->masks[joined->size++] = step.mask;
            } else {
                ops.push_back({.form = Form::Bits, .size = 1, .offset = step.offset, .masks = {step.mask}});
            }
            break;
        case PayloadStep::Form::Bytes:
            if (joined && joined->form == Form::Bytes && joined->offset + joined->size == step.offset &&
                joined->size + step.size <= UINT8_MAX) {
                joined->size = static_cast<std::uint8_t>(joined->size + step.size);
            } else {
                ops.push_back({.form = Form::Bytes, .size = step.size, .offset = step.offset});
            }
            break;
        case PayloadStep::Form::Block:
            ops.push_back({.form = Form::Block, .size = step.size, .offset = step.offset});
            break;
        case PayloadStep::Form::Integer:
            ops.push_back({.form = Form::Integer, .offset = step.offset});
            break;
        default:
            ops.push_back({.form = Form::Put,
                           .room = step.room,
                           .position = static_cast<std::uint32_t>(position),
                           .put = step.put});
            break;
        }
        follows = true;
    }
    // Bytes by their size: the usual ones copied as such, the others up to 16 by two moves of a
    // width that may overlap.
    for (RunOp& op : ops) {
        if (op.form == Form::Bytes) {
            constexpr Form BySize[] = {Form::Bytes,  Form::Byte,   Form::Bytes2, Form::Bytes2, Form::Bytes4,
                                       Form::Bytes5, Form::Bytes5, Form::Bytes5, Form::Bytes8, Form::Bytes9,
                                       Form::Bytes9, Form::Bytes9, Form::Bytes9, Form::Bytes9, Form::Bytes9,
                                       Form::Bytes9, Form::Bytes9};
            op.form = op.size < std::size(BySize) ? BySize[op.size] : Form::Bytes;
        } else if (op.form == Form::Block)
            op.form = op.size == 4 ? Form::Block4 : op.size == 12 ? Form::Block12 : Form::Block;
    }
    ops.push_back({.form = Form::End});
    return ops;
}

// The payload steps of a plan's values and the programs of its settled runs, by the position each
// begins at: a run's program is made again should its end move.
struct CompiledPlan {
    struct Run {
        std::size_t last = 0;
        std::vector<RunOp> ops;
    };
    const PropertyPlan* plan;
    std::vector<PayloadStep> steps;
    std::vector<Run> runs;

    const Run& RunAt(std::size_t first, std::size_t last)
    {
        Run& run = runs[first];
        if (run.last != last) {
            run.ops = CompileRun(steps.data(), first, last);
            run.last = last;
        }
        return run;
    }
};

// A stack whose elements stay where they are, and whose slots stay when popped for the next push to
// reuse: a bonded chain nests one record in the next, so its depth goes up and down at every bond.
// Slots are reached by address, the top one at every step of the writer.
template <class T>
class SlotStack {
public:
    // The new top: a slot as its last element left it, or a new one.
    T& push()
    {
        if (m_size < m_addresses.size()) {
            m_top = m_addresses[m_size];
        } else {
            m_top = &m_slots.emplace_back();
            m_addresses.push_back(m_top);
        }
        ++m_size;
        return *m_top;
    }
    void pop_back() { m_top = --m_size != 0 ? m_addresses[m_size - 1] : nullptr; }
    T& back() { return *m_top; }
    T& operator[](std::size_t index) { return *m_addresses[index]; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

private:
    std::deque<T> m_slots;
    std::vector<T*> m_addresses;
    std::size_t m_size = 0;
    T* m_top = nullptr;
};

} // namespace

struct PropertyArchive::RecordWriter {
    // An open record. A planned one holds its place: the step begun and the elements of it written.
    // A recorded one holds what of its recording is placed, and the recording while it is kept: only
    // the innermost recorded records keep theirs; an outer one gives its recording up to a deeper
    // record and makes it again when the stream gets back to it, so a deep chain holds a few words
    // per level. A record made again keeps its recording until it ends, so none is made more than
    // twice.
    struct Recorded {
        std::size_t item;       // items placed
        std::size_t offset;     // bytes placed, from the start of the record's recording
        std::size_t references; // reference and record items placed at that offset
    };
    struct Planned {
        std::size_t step;     // steps begun
        std::size_t element;  // elements of the step written
        std::size_t elements; // elements of the step
    };
    struct Open {
        Catalog* object;
        const PropertyPlan* plan; // the plan the record is written by, or null
        CompiledPlan* compiled;   // planned: the payload steps of the plan's values, its runs' programs
        Recorder* recorder;       // recorded: null while given up
        union {
            Recorded recorded;
            Planned planned;
        };
        std::vector<Base*> members; // planned: the list of the step being written, when it has one
    };
    // A run-time class whose records the stream writes by a plan, and the plan's payload steps.
    struct ClassPlan {
        const RuntimeClass* runtimeClass;
        const PropertyPlan* plan;
        CompiledPlan* compiled;
    };
    static constexpr std::size_t KeptRecordings = 64;

    explicit RecordWriter(PropertyArchive& archive) : stream(archive) {}

    // A class that has a plan is written by it from its first record on: the tables' hooks stand for
    // the levels' passes, its index for the hierarchy once the stream holds the class, the plan's
    // count for the counting pass.
    void Begin(Catalog& object, std::uint32_t oid)
    {
        const RuntimeClass* const runtimeClass = object.GetRuntimeClass();
        const ClassPlan* known = Known(runtimeClass);
        const PropertyPlan* plan = known ? known->plan : stream.FindWritePlan(object);
        if (plan) {
            if (plan->HasBeforeStoring())
                plan->BeforeStoring(PropertyPlan::AsBase(object), stream);
            else
                stream.SetMethodType(MethodBefore);
        } else {
            stream.SetMethodType(MethodBefore);
            object.GetSetObjectProperties(stream);
        }
        if (plan) {
            Archive& bytes = stream.GetArchive();
            std::uint8_t* const out = bytes.Reserve(2 * CompressionInteger::MostBytes);
            bytes.Staged(CompressionInteger::Put(static_cast<std::uint32_t>(plan->GetClassIndex()),
                                                 CompressionInteger::Put(oid, out)));
        } else {
            CompressionInteger::Write(oid, stream.GetArchive());
            ClassHierarchy hierarchy;
            object.BuildClassHierarchy(hierarchy);
            stream.WriteClassHierarchy(hierarchy);
            // The class's first record: its plan, when it has one, is compiled now.
            plan = stream.FindWritePlan(object);
            stream.WriteNumberOfProperties(object.GetClassHierarchyName(),
                                           plan ? static_cast<std::int32_t>(plan->GetCount())
                                                : object.GetNumberOfProperties(stream));
        }
        if (plan) {
            if (!known)
                known = &Plan(runtimeClass, *plan, PropertyPlan::AsBase(object));
            Opened(object, plan, known->compiled, nullptr).planned = {};
            return;
        }
        Recorder& recorder = Record(object);
        Opened(object, nullptr, nullptr, &recorder).recorded = {};
        kept.push_back(open.size() - 1);
    }

    // The object's record, opened on the stack; its slot's member list kept, emptied.
    Open& Opened(Catalog& object, const PropertyPlan* plan, CompiledPlan* compiled, Recorder* recorder)
    {
        Open& record = open.push();
        record.object = &object;
        record.plan = plan;
        record.compiled = compiled;
        record.recorder = recorder;
        record.members.clear();
        return record;
    }

    void Run(Catalog& object, std::uint32_t oid)
    {
        Begin(object, oid);
        while (!open.empty()) {
            if (open.back().plan)
                StepPlanned();
            else
                PlaceRecorded();
        }
    }

    // The next step or element of the innermost record, a planned one.
    // The innermost record, a planned one, from its place on: up to its end, or to a reference that
    // opens the record of an object not yet in the stream (which is written first).
    void StepPlanned()
    {
        Open& record = open.back();
        Planned& top = record.planned;
        const PropertyPlan& plan = *record.plan;
        Base& object = PropertyPlan::AsBase(*record.object);
        const std::size_t count = plan.GetCount();
        for (;;) {
            if (top.element < top.elements) {
                // One element of a list; the stream has its name and code, given with its first.
                const PropertyEntry& entry = *plan.GetStep(top.step - 1).entry;
                const std::size_t element = top.element++;
                if (WriteReference(entry.members ? record.members[element] : entry.referenced(object, element)))
                    return;
                continue;
            }
            if (top.step == count) {
                Ended(record);
                return;
            }
            const std::size_t position = top.step;
            const PropertyPlan::Step& step = plan.GetStep(position);
            if (const std::size_t last = plan.SettledValuesEnd(position); last != position) {
                // A run of values whose names and codes the stream holds: their payloads alone.
                WriteRun(plan, record.compiled->RunAt(position, last).ops.data(), object);
                top.step = last;
                continue;
            }
            ++top.step;
            top.element = 0;
            top.elements = 0;
            const PropertyEntry& entry = *step.entry;
            if (!entry.referenced && !entry.members) {
                // A value, or an array of values, written whole; an array's write half names it.
                PropertyPass pass = plan.WritePass(stream, object, position);
                if (!step.isArray && !plan.IsNamed(position))
                    stream.WritePropertyName(plan.GetClassName(), entry.name, false);
                entry.write(pass, entry.name, object);
                continue;
            }
            PayloadStep& compiled = record.compiled->steps[position];
            if (!compiled.named) {
                if (!plan.IsNamed(position))
                    stream.WritePropertyName(plan.GetClassName(), entry.name, step.isArray);
                compiled.named = plan.IsNamed(position);
            }
            // A single reference (PropertyList::Reference) has one object, null or not.
            if (entry.members)
                record.members = entry.members(object);
            top.elements = entry.members ? record.members.size() : step.isArray ? entry.references(object) : 1;
            if (step.isArray) {
                if (top.elements > static_cast<std::size_t>(INT32_MAX))
                    stream.GetArchive().Refuse(ArchiveException::genericException,
                                               "array property " + ArchiveException::Quote(entry.name) + " has " +
                                                   std::to_string(top.elements) + " elements, too many to store");
                Archive& bytes = stream.GetArchive();
                bytes.Staged(CompressionInteger::Put(static_cast<std::uint32_t>(top.elements),
                                                     bytes.Reserve(CompressionInteger::MostBytes)));
            }
            if (top.elements != 0)
                Typed(plan, compiled, position);
        }
    }

    // The code of a position's references goes before its first: once the stream has it, it is kept.
    void Typed(const PropertyPlan& plan, PayloadStep& compiled, std::size_t position)
    {
        if (compiled.typed)
            return;
        if (plan.GetTypeCode(position) == -1)
            stream.WritePropertyType(plan.GetClassName(), plan.GetStep(position).entry->name, Storage::StorageObject);
        compiled.typed = plan.GetTypeCode(position) != -1;
    }

    // The plan of a run-time class the stream has given one, and its payload steps; null before.
    // A class's plan does not change once the stream has it, so its later records need no lookup.
    const ClassPlan* Known(const RuntimeClass* runtimeClass)
    {
        for (const ClassPlan* const known : recent) {
            if (known && known->runtimeClass == runtimeClass)
                return known;
        }
        for (const ClassPlan& known : planned) {
            if (known.runtimeClass == runtimeClass) {
                recent[1] = recent[0];
                recent[0] = &known;
                return &known;
            }
        }
        return nullptr;
    }

    // Keeps the plan of a run-time class, with its payload steps: compiled at the plan's first
    // record in this run.
    const ClassPlan& Plan(const RuntimeClass* runtimeClass, const PropertyPlan& plan, const Base& object)
    {
        auto found = std::find_if(compiledPlans.begin(), compiledPlans.end(),
                                  [&plan](const CompiledPlan& compiled) { return compiled.plan == &plan; });
        if (found == compiledPlans.end()) {
            compiledPlans.push_back({&plan, CompilePayloads(plan, object), {}});
            compiledPlans.back().runs.resize(plan.GetCount());
            found = compiledPlans.end() - 1;
        }
        recent[1] = recent[0];
        planned.push_back({runtimeClass, &plan, &*found});
        recent[0] = &planned.back();
        return *recent[0];
    }

    // A settled run's payloads by its program: members' bytes straight into room reserved in the
    // stream, segment by segment, the others by their entries.
    void WriteRun(const PropertyPlan& plan, const RunOp* op, Base& object)
    {
        using Form = RunOp::Form;
        Archive& bytes = stream.GetArchive();
        const char* const at = reinterpret_cast<const char*>(&object);
        std::uint8_t* out = nullptr;
        // A value its entry writes to the stream: by its payload writer, else by its pass.
        const auto byEntry = [&](std::size_t position, bool payload) {
            if (out) {
                bytes.Staged(out);
                out = nullptr;
            }
            if (!payload || !plan.GetStep(position).entry->payload(bytes, object))
                plan.WriteValues(stream, object, position, position + 1);
        };
        for (;; ++op) {
            const char* const member = at + op->offset;
            switch (op->form) {
            default:
                __builtin_unreachable();
            case Form::Reserve:
                if (out)
                    bytes.Staged(out);
                out = bytes.Reserve(op->room);
                break;
            case Form::Integer: {
                std::uint32_t value = 0;
                std::memcpy(&value, member, sizeof value);
                out = CompressionInteger::Put(value, out);
                break;
            }
            case Form::Byte:
                *out++ = static_cast<std::uint8_t>(*member);
                break;
            case Form::Bytes2:
                out = ArchiveForm::CopyBoth<2>(out, member, op->size);
                break;
            case Form::Bytes4:
                std::memcpy(out, member, 4);
                out += 4;
                break;
            case Form::Bytes5:
                out = ArchiveForm::CopyBoth<4>(out, member, op->size);
                break;
            case Form::Bytes8:
                std::memcpy(out, member, 8);
                out += 8;
                break;
            case Form::Bytes9:
                out = ArchiveForm::CopyBoth<8>(out, member, op->size);
                break;
            case Form::Bytes:
                std::memcpy(out, member, op->size);
                out += op->size;
                break;
            case Form::Block4:
                out = PutBlock<4>(out, member);
                break;
            case Form::Block12:
                out = PutBlock<12>(out, member);
                break;
            case Form::Block: {
                const auto length = static_cast<std::int32_t>(op->size);
                std::memcpy(out, &length, sizeof length);
                std::memcpy(out + sizeof length, member, op->size);
                out += sizeof length + op->size;
                break;
            }
            case Form::Bits: {
                const auto bits = static_cast<std::uint8_t>(*member);
                for (std::size_t bit = 0; bit < op->size; ++bit)
                    out[bit] = (bits & op->masks[bit]) != 0 ? 1 : 0;
                out += op->size;
                break;
            }
            case Form::Put:
                if (std::uint8_t* const put = op->put(out, object)) {
                    out = put;
                } else {
                    // Its entry writes it; the rest of the segment then takes room again.
                    byEntry(op->position, true);
                    out = bytes.Reserve(op->room);
                }
                break;
            case Form::Entry:
                byEntry(op->position, op->payload);
                break;
            case Form::End:
                if (out)
                    bytes.Staged(out);
                return;
            }
        }
    }

    // A byte block of a member of Size bytes: its length, then its bytes.
    template <std::size_t Size>
    static std::uint8_t* PutBlock(std::uint8_t* out, const char* member)
    {
        const auto length = static_cast<std::int32_t>(Size);
        std::memcpy(out, &length, sizeof length);
        std::memcpy(out + sizeof length, member, Size);
        return out + sizeof length + Size;
    }

    // The next item of the innermost record, a recorded one.
    void PlaceRecorded()
    {
        Open& record = open.back();
        if (!record.recorder)
            Remake(record);
        Recorded& top = record.recorded;
        const Recorder& recorder = *record.recorder;
        const std::uint8_t* const bytes = recorder.GetBytes() + recorder.GetStart();
        if (top.item == recorder.GetNumberOfItems()) {
            stream.GetArchive().Write(bytes + top.offset, recorder.GetEnd() - recorder.GetStart() - top.offset);
            Ended(record);
            return;
        }
        const Recorder::Item& item = recorder.GetItem(top.item++);
        const std::size_t itemOffset = item.offset - recorder.GetStart();
        stream.GetArchive().Write(bytes + top.offset, itemOffset - top.offset);
        if (itemOffset != top.offset)
            top.references = 0;
        top.offset = itemOffset;
        if (item.kind == Recorder::Kind::Reference || item.kind == Recorder::Kind::Record)
            ++top.references;
        switch (item.kind) {
        case Recorder::Kind::Name:
            stream.WritePropertyName(recorder.GetClassName(item.className), item.name, item.value == 1);
            break;
        case Recorder::Kind::Type:
            stream.WritePropertyType(recorder.GetClassName(item.className), item.name, item.value);
            break;
        case Recorder::Kind::Reference:
            WriteReference(static_cast<Base*>(item.object));
            break;
        case Recorder::Kind::Record:
            Begin(*item.object, item.oid);
            break;
        }
    }

    // The innermost record is written: it leaves the stack, then its levels' work after it runs.
    void Ended(const Open& record)
    {
        Catalog* const finished = record.object;
        const PropertyPlan* const plan = record.plan;
        ++g_recordCounts.written;
        g_recordCounts.writtenByPlan += plan ? 1 : 0;
        End();
        if (!plan) {
            stream.SetMethodType(MethodAfter);
            finished->GetSetObjectProperties(stream);
        } else if (plan->HasAfterStoring()) {
            plan->AfterStoring(PropertyPlan::AsBase(*finished), stream);
        } else {
            stream.SetMethodType(MethodAfter);
        }
    }

    // Runs the object's MethodWrite pass against a spare recorder, or one taken from the outermost
    // record that keeps its recording.
    Recorder& Record(Catalog& object)
    {
        Recorder* recorder = nullptr;
        if (!spare.empty()) {
            recorder = spare.back();
            spare.pop_back();
        } else if (kept.size() >= KeptRecordings) {
            Open& outer = open[kept.front()];
            kept.pop_front();
            recorder = outer.recorder;
            outer.recorder = nullptr;
        } else {
            recorder = recorders.emplace_back(std::make_unique<Recorder>(stream)).get();
        }
        recorder->Reset();
        object.GetSetObjectProperties(*recorder);
        return *recorder;
    }

    // The pass of a record that gave its recording up is run again; it must record at least what was
    // placed, and the placing goes on after the last reference placed, which a record gives its
    // recording up at. The record keeps this recording until it ends.
    void Remake(Open& record)
    {
        Recorder& recorder = Record(*record.object);
        std::size_t item = 0;
        std::size_t references = 0;
        Recorded& placed = record.recorded;
        for (; item < recorder.GetNumberOfItems() && references < placed.references; ++item) {
            const Recorder::Item& recorded = recorder.GetItem(item);
            const std::size_t offset = recorded.offset - recorder.GetStart();
            if (offset > placed.offset)
                break;
            if (offset == placed.offset &&
                (recorded.kind == Recorder::Kind::Reference || recorded.kind == Recorder::Kind::Record))
                ++references;
        }
        if (references < placed.references || recorder.GetEnd() - recorder.GetStart() < placed.offset)
            throw std::logic_error("a record changed while it was written");
        placed.item = item;
        record.recorder = &recorder;
    }

    void End()
    {
        const Open& record = open.back();
        if (!kept.empty() && kept.back() == open.size() - 1)
            kept.pop_back();
        if (record.recorder)
            spare.push_back(record.recorder);
        open.pop_back();
    }

    // True when the reference opened the object's record.
    bool WriteReference(Base* object)
    {
        // The null flag and the stored OID (0 for a record that follows) in one reservation.
        Archive& bytes = stream.GetArchive();
        std::uint8_t* const out = bytes.Reserve(1 + CompressionInteger::MostBytes);
        if (!object) {
            *out = 1;
            bytes.Staged(out + 1);
            return false;
        }
        *out = 0;
        // The map itself rather than IsOID and AddOIDMapEntry, which calls from here cannot inline.
        OIDMap& written = stream.m_state->oidMap;
        const std::uint32_t oid = object->GetOID();
        if (!written.Insert(oid)) {
            bytes.Staged(CompressionInteger::Put(oid, out + 1));
            return false;
        }
        out[1] = 0;
        bytes.Staged(out + 2);
        Begin(*object, oid);
        return true;
    }

    PropertyArchive& stream;
    std::deque<CompiledPlan> compiledPlans;
    // The run-time classes met with a plan, and the last two looked up: entries stay in place.
    std::deque<ClassPlan> planned;
    std::array<const ClassPlan*, 2> recent{};
    std::vector<std::unique_ptr<Recorder>> recorders;
    std::vector<Recorder*> spare;
    // Slots that stay: a vector would move every open record (with its member list) each time it
    // grows.
    SlotStack<Open> open;
    // Positions in open of the recorded records that keep a recording they have made once, outermost
    // first.
    std::deque<std::size_t> kept;
};

void PropertyArchive::WriteRecord(Catalog& object, std::uint32_t oid)
{
    if (m_recorder) {
        m_recorder->AddRecord(object, oid);
        return;
    }
    RecordWriter(*this).Run(object, oid);
}

// Reading records. One frame per open record on an explicit stack; a reference to an inline record
// pushes the record's frame and the result fills the reference when the record ends.
//
// Objects read inline for a value that nobody takes (every value of a dropped record, or a name no
// level claims) are deleted when the value has been offered, unless they joined a parent. What they
// own goes with them, possibly an object whose record is still open: every object is therefore
// checked by its OID before it is used again. Without OID validation nothing is deleted.

struct PropertyArchive::RecordReader {
    enum class Phase { NextProperty, NextElement, References, Deliver };

    struct Slot {
        Base* object;
        std::uint32_t oid;
        bool createdHere;        // read inline for this reference
        std::uint64_t destroyed; // Base::GetDestroyedCount() when the object was last known to exist
    };

    struct Frame {
        Base* object = nullptr; // null: no stored class can be created; the record is dropped
        std::uint32_t oid = 0;
        const PropertyPlan* plan = nullptr; // the record is read by position through its class's plan
        bool planned = false;               // the current element goes to its plan step
        bool recheck = false;               // the object may have gone with a value delivered since
        // The stream's class name: the compressed form's dictionary entry keeps it for the whole
        // stream; the plain form's is copied, as the next record's class replaces it.
        std::string_view className;
        std::string ownClassName;
        std::int32_t count = 0;
        std::int32_t property = 0; // properties begun
        Phase phase = Phase::NextProperty;
        std::string name;
        bool isArray = false;
        std::int32_t elements = 0;
        std::int32_t element = 0; // elements begun
        std::unique_ptr<Storage> holder;
        int slots = 0;
        int slot = 0;
        Slot slotValues[2] = {};
        std::size_t reservedAbove = 0; // what this frame added to State::reserved for its parent
        std::uint64_t destroyed = 0;   // Base::GetDestroyedCount() when the object was last known to exist

        // The frame's object, or null once it has been deleted.
        Base* Object()
        {
            if (object && !IsAlive(object, oid, destroyed))
                object = nullptr;
            return object;
        }
        // The same, checked only when something may have deleted it since the last check.
        Base* Checked()
        {
            if (recheck) {
                recheck = false;
                return Object();
            }
            return object;
        }

        // A frame is reused from record to record: its texts keep their room.
        void Reset()
        {
            object = nullptr;
            oid = 0;
            plan = nullptr;
            planned = false;
            recheck = false;
            className = {};
            count = 0;
            property = 0;
            phase = Phase::NextProperty;
            name.clear();
            isArray = false;
            elements = 0;
            element = 0;
            holder.reset();
            slots = 0;
            slot = 0;
            reservedAbove = 0;
        }
    };

    explicit RecordReader(PropertyArchive& archive) : stream(archive), state(*archive.m_state) {}

    // Bytes the innermost record may still use for itself, from the archive's cursor or from at.
    std::size_t Available() const { return Available(stream.GetArchive().GetCursor()); }
    std::size_t Available(const std::uint8_t* at) const
    {
        const auto remaining = static_cast<std::size_t>(stream.GetArchive().GetEnd() - at);
        return remaining > state.reserved ? remaining - state.reserved : 0;
    }

    void Check(std::int64_t count, const char* what) const { Check(count, what, stream.GetArchive().GetCursor()); }
    void Check(std::int64_t count, const char* what, const std::uint8_t* at) const
    {
        if (count < 0 || static_cast<std::uint64_t>(count) > Available(at)) [[unlikely]] {
            stream.GetArchive().MoveTo(at);
            RefuseCount(count, what);
        }
    }
    [[noreturn, gnu::noinline]] void RefuseCount(std::int64_t count, const char* what) const
    {
        Malformed(stream.GetArchive(), stream.GetArchive().GetPosition(), ArchiveException::endOfFile,
                  std::string(what) + " " + std::to_string(count) + " does not fit in the remaining input");
    }

    // Reads a record's head and pushes its frame; what the open frames still need is reserved first.
    void Begin()
    {
        std::size_t reserve = 0;
        if (depth > 0) {
            const Frame& parent = Top();
            reserve = static_cast<std::size_t>(parent.count - parent.property) +
                      static_cast<std::size_t>(parent.elements - parent.element) +
                      static_cast<std::size_t>(parent.slots - parent.slot - 1);
            if (reserve > Available())
                Malformed(stream.GetArchive(), stream.GetArchive().GetPosition(), ArchiveException::endOfFile,
                          "nested record beyond the end of the input");
            state.reserved += reserve;
        }
        if (depth == frameBlocks.size() * FramesPerBlock)
            frameBlocks.push_back(std::make_unique<Frame[]>(FramesPerBlock));
        Frame& frame = FrameAt(depth++);
        top = &frame;
        frame.Reset();
        frame.reservedAbove = reserve;
        const std::uint32_t stored = CompressionInteger::TakeUnsignedInteger(stream.GetArchive());
        const RecordClass recordClass = stream.ReadRecordClass();
        frame.plan = recordClass.plan;
        if (recordClass.entry) {
            frame.className = recordClass.entry->className;
        } else {
            frame.ownClassName = recordClass.hierarchy->GetClassNameA();
            frame.className = frame.ownClassName;
        }
        if (frame.plan) {
            frame.object = CreatePlanned(frame, *recordClass.hierarchy);
        } else {
            frame.object = Create(*recordClass.hierarchy);
            // The class's first record with an object binds the class's plan.
            if (recordClass.entry && frame.object)
                frame.plan = stream.FindReadPlan(*recordClass.entry, frame.object);
        }
        if (frame.object) {
            frame.destroyed = Base::GetDestroyedCount();
            frame.oid = frame.object->GetOID();
            state.open.Push(frame.oid);
            state.oidMap.Set(stored, frame.oid);
            if (frame.plan) {
                if (frame.plan->HasBeforeRecord())
                    frame.plan->BeforeRecord(*frame.object, stream);
                else
                    stream.SetMethodType(MethodBefore);
            } else {
                stream.SetMethodType(MethodBefore);
                frame.object->GetSetObjectProperties(stream);
            }
        }
        frame.count = frame.plan && frame.plan->IsCounted() ? static_cast<std::int32_t>(frame.plan->GetCount())
                                                            : stream.ReadNumberOfProperties(frame.className);
        Check(frame.count, "property count");
        // A count the first record gives otherwise has dropped the plan.
        if (frame.plan && frame.plan->IsDropped())
            frame.plan = nullptr;
    }

    Frame& FrameAt(std::size_t index) { return frameBlocks[index / FramesPerBlock][index % FramesPerBlock]; }
    Frame& Top() { return *top; }

    // The object of a planned record, from the plan's factory; when that gives no object of the
    // planned class the record is read by the generic passes.
    Base* CreatePlanned(Frame& frame, const ClassHierarchy& hierarchy)
    {
        PersistentObject* created = nullptr;
        if (Base* object = frame.plan->Create(created)) {
            state.created.push_back(object->GetOID());
            return object;
        }
        frame.plan = nullptr;
        return created ? Adopt(created) : Create(hierarchy);
    }

    Base* Create(const ClassHierarchy& hierarchy)
    {
        PersistentObject* created = hierarchy.CreateMostKnownDerivedObject();
        return created ? Adopt(created) : nullptr;
    }

    Base* Adopt(PersistentObject* created)
    {
        Base* object = dynamic_cast<Base*>(created);
        if (!object) {
            delete created;
            return nullptr;
        }
        state.created.push_back(object->GetOID());
        return object;
    }

    // Reads the record that starts at the current position; returns its object.
    Base* Run()
    {
        Begin();
        for (;;) {
            Frame& frame = Top();
            switch (frame.phase) {
            case Phase::NextProperty:
                if (frame.property < frame.count) {
                    if (!frame.plan || !ReadDirect(frame))
                        BeginProperty(frame);
                } else if (const auto [done, oid] = End(); depth == 0) {
                    return done;
                } else {
                    Fill(Top(), done, oid, true);
                }
                break;
            case Phase::NextElement:
                if (frame.element < frame.elements)
                    BeginElement(frame);
                else
                    frame.phase = Phase::NextProperty;
                break;
            case Phase::References:
                if (frame.slot < frame.slots)
                    ReadSlot(frame);
                else
                    frame.phase = Phase::Deliver;
                break;
            case Phase::Deliver:
                Deliver(frame);
                break;
            }
        }
    }

    // A planned record from the current position on, while its class's description is settled
    // (PropertyPlan::IsSettled): runs of values go from the stream straight to their steps' read
    // halves, a reference by OID (or null) straight to its step, an empty array is passed over. Stops
    // at a record read inline for a reference (the frame waits for it), at an array with elements
    // (the frame reads them), and where the description is not settled. False when it read nothing.
    // The input is read by pointer, the archive's cursor moved where the record's work may use it.
    bool ReadDirect(Frame& frame)
    {
        const PropertyPlan& plan = *frame.plan;
        if (plan.IsDropped())
            return false;
        Base* object = frame.Checked();
        if (!object)
            return false;
        Archive& archive = stream.GetArchive();
        const std::uint8_t* at = archive.GetCursor();
        const auto count = static_cast<std::size_t>(frame.count);
        const auto first = static_cast<std::size_t>(frame.property);
        for (auto position = first; position < count; position = static_cast<std::size_t>(frame.property)) {
            switch (plan.GetStep(position).kind) {
            case PropertyPlan::Kind::Value: {
                const auto last = std::min(plan.SettledValuesEnd(position), count);
                if (last == position) {
                    archive.MoveTo(at);
                    return position != first;
                }
                stream.SetArrayIndex(0);
                at = plan.ReadValues(stream, *object, position, last, at);
                frame.property = static_cast<std::int32_t>(last);
                break;
            }
            case PropertyPlan::Kind::Reference: {
                if (!plan.IsSettled(position)) {
                    archive.MoveTo(at);
                    return position != first;
                }
                ++frame.property;
                frame.isArray = false;
                frame.elements = 1;
                frame.element = 1;
                frame.planned = true;
                frame.slot = 0;
                frame.slots = 1;
                frame.phase = Phase::References;
                // A null or stored reference goes straight to a step that takes references; one read
                // inline begins its record, the frame waiting for it.
                Base* referenced = nullptr;
                std::uint32_t oid = 0;
                at = ReadReference(frame, at, referenced, oid);
                if (!at)
                    return true;
                archive.MoveTo(at);
                if (const PropertyEntry& entry = *plan.GetStep(position).entry; entry.takeReference) {
                    state.taken = false;
                    if (Base* const target = frame.Checked()) {
                        stream.SetArrayIndex(0);
                        state.taken = entry.takeReference(*target, 0, referenced);
                    }
                    frame.planned = false;
                    frame.recheck = true;
                    frame.slots = 0;
                } else {
                    Fill(frame, referenced, oid, false);
                    DeliverPlanned(frame);
                    at = archive.GetCursor();
                }
                frame.phase = Phase::NextProperty;
                object = frame.Checked();
                if (!object)
                    return true;
                break;
            }
            case PropertyPlan::Kind::Array:
                if (!plan.IsNamed(position)) {
                    archive.MoveTo(at);
                    return position != first;
                }
                // Its count; an empty array (a leaf's children) ends here.
                ++frame.property;
                frame.isArray = true;
                at = ReadElementCount(frame, at);
                frame.element = 0;
                if (frame.elements > 0) {
                    archive.MoveTo(at);
                    frame.phase = Phase::NextElement;
                    return true;
                }
                break;
            case PropertyPlan::Kind::Pair:
                archive.MoveTo(at);
                return position != first;
            }
        }
        archive.MoveTo(at);
        return true;
    }

    // A planned record takes a name from the stream only where its class's description has not given
    // it yet; a name that is not the plan's drops the plan, and the record goes on by name.
    void BeginProperty(Frame& frame)
    {
        const auto position = static_cast<std::size_t>(frame.property);
        bool named = false;
        if (frame.plan && !frame.plan->IsDropped() && !frame.plan->IsNamed(position)) {
            frame.name = stream.ReadPropertyName(frame.className, frame.property, frame.isArray);
            named = true;
        }
        if (frame.plan && frame.plan->IsDropped())
            frame.plan = nullptr;
        if (frame.plan)
            frame.isArray = frame.plan->GetStep(position).isArray;
        else if (!named)
            frame.name = stream.ReadPropertyName(frame.className, frame.property, frame.isArray);
        ++frame.property;
        frame.elements = 1;
        if (frame.isArray)
            ReadElementCount(frame);
        frame.element = 0;
        frame.phase = Phase::NextElement;
    }

    // The count of the array property just begun: each element and each later property takes at
    // least one byte.
    void ReadElementCount(Frame& frame)
    {
        frame.elements = CompressionInteger::ReadInteger(stream.GetArchive());
        Check(static_cast<std::int64_t>(frame.elements) + (frame.count - frame.property), "array element count");
    }
    // The same read at `at`: returns the place after the count. A count the input does not hold
    // whole goes the checked way, which refuses it.
    const std::uint8_t* ReadElementCount(Frame& frame, const std::uint8_t* at)
    {
        Archive& archive = stream.GetArchive();
        std::uint32_t elements = 0;
        const std::uint8_t* const next = CompressionInteger::Get(at, archive.GetEnd(), elements);
        if (!next) [[unlikely]] {
            archive.MoveTo(at);
            ReadElementCount(frame);
            return archive.GetCursor();
        }
        frame.elements = static_cast<std::int32_t>(elements);
        Check(static_cast<std::int64_t>(frame.elements) + (frame.count - frame.property), "array element count", next);
        return next;
    }

    void BeginElement(Frame& frame)
    {
        if (frame.plan) {
            ++frame.element;
            if (BeginPlanned(frame))
                return;
        } else {
            if (frame.isArray) {
                bool ignored = false;
                stream.ReadPropertyName(frame.className, frame.property - 1, ignored);
            }
            ++frame.element;
        }
        frame.holder = Storage::GetStorageObject(frame.className, frame.name, stream);
        frame.slot = 0;
        frame.slots = 0;
        const Storage::StorageType type = frame.holder->GetStorageType();
        if (type == Storage::StorageObject || type == Storage::StoragePair) {
            frame.slots = type == Storage::StoragePair ? 2 : 1;
            frame.phase = Phase::References;
            return;
        }
        frame.holder->Serialize(frame.className, frame.name, stream);
        frame.phase = Phase::Deliver;
    }

    // An element of a planned record whose stored code is its step's: a plain value or a byte block
    // goes straight from the stream to the object; references are read into the frame's slots and
    // handed over by Deliver. False, with the property's name set, for the generic way: a code other
    // than the step's, or an object that has gone.
    bool BeginPlanned(Frame& frame)
    {
        const auto position = static_cast<std::size_t>(frame.property - 1);
        const PropertyEntry& entry = *frame.plan->GetStep(position).entry;
        std::int32_t code = frame.plan->GetTypeCode(position);
        if (code == -1)
            code = stream.ReadPropertyType(frame.className, entry.name);
        if (code == entry.code) {
            if (code == Storage::StorageObject || code == Storage::StoragePair) {
                frame.planned = true;
                frame.slot = 0;
                frame.slots = code == Storage::StoragePair ? 2 : 1;
                frame.phase = Phase::References;
                return true;
            }
            if (Base* object = frame.Checked()) {
                Resize(frame, entry, *object);
                stream.SetArrayIndex(frame.element - 1);
                PropertyPass pass = frame.plan->ReadPass(stream, *object, position);
                entry.read(pass, entry.name, *object);
                frame.phase = Phase::NextElement;
                return true;
            }
        }
        frame.name.assign(entry.name);
        return false;
    }

    // Fills the frame's next slot from a null or stored reference; false when the reference is a
    // record read inline, which then begins (the frame waits until that record has ended).
    bool ReadSlot(Frame& frame)
    {
        Archive& archive = stream.GetArchive();
        const std::uint8_t* const at = ReadSlot(frame, archive.GetCursor());
        if (!at)
            return false;
        archive.MoveTo(at);
        return true;
    }
    // The same read at `at`: returns the place after the reference, or null when a record read
    // inline has begun (the archive's cursor is then that record's). A reference the input may not
    // hold whole goes the checked way, which refuses what it refuses.
    const std::uint8_t* ReadSlot(Frame& frame, const std::uint8_t* at)
    {
        Base* referenced = nullptr;
        std::uint32_t oid = 0;
        at = ReadReference(frame, at, referenced, oid);
        if (at)
            Fill(frame, referenced, oid, false);
        return at;
    }
    // The same without filling the slot: the object of a null or stored reference and its OID.
    const std::uint8_t* ReadReference(const Frame& frame, const std::uint8_t* at, Base*& referenced,
                                      std::uint32_t& oid)
    {
        Archive& archive = stream.GetArchive();
        std::uint32_t stored = 0;
        if (archive.GetEnd() - at > static_cast<std::ptrdiff_t>(CompressionInteger::MostBytes)) [[likely]] {
            if (*at++ != 0)
                return at;
            at = CompressionInteger::Get(at, archive.GetEnd(), stored);
        } else {
            archive.MoveTo(at);
            std::uint8_t isNull = 0;
            archive >> isNull;
            if (isNull != 0)
                return archive.GetCursor();
            stored = CompressionInteger::ReadUnsignedInteger(archive);
            at = archive.GetCursor();
        }
        if (stored != 0) {
            oid = state.oidMap.Find(stored);
            // An array that names objects read earlier (the children of a node whose records nested
            // through bonds) mostly names them in the order they were made, long out of the cache:
            // the object a few OIDs on is asked for ahead of its turn.
            if (frame.isArray) {
                if (const Base* const ahead = Base::GetObjectA(oid + PrefetchDistance))
                    PrefetchObject(ahead);
            }
            referenced = Base::GetObjectA(oid);
            return at;
        }
        archive.MoveTo(at);
        Begin();
        return nullptr;
    }

    // The object of a reference and its OID (0 for null). A record read inline for it has ended:
    // its work may have deleted the objects of the frame.
    static void Fill(Frame& frame, Base* object, std::uint32_t oid, bool createdHere)
    {
        frame.slotValues[frame.slot] = {object, object ? oid : 0, createdHere, Base::GetDestroyedCount()};
        ++frame.slot;
        frame.recheck = frame.recheck || createdHere;
    }

    // Hands the value to the object's levels, then drops what nobody took.
    void Deliver(Frame& frame)
    {
        if (frame.planned) {
            DeliverPlanned(frame);
            return;
        }
        for (int i = 0; i < frame.slots; ++i) {
            Slot& slot = frame.slotValues[i];
            if (slot.object && !IsAlive(slot.object, slot.oid, slot.destroyed))
                slot.object = nullptr;
            if (frame.slots == 2)
                static_cast<PropertyStoragePair&>(*frame.holder).SetData(i, slot.object);
            else
                static_cast<PropertyStorageObject&>(*frame.holder).SetData(slot.object);
        }
        state.taken = false;
        if (Base* object = frame.Object()) {
            stream.SetPropertyName(frame.name);
            stream.SetProperty(frame.holder.get());
            if (frame.isArray && frame.element == 1) {
                stream.SetArraySize(frame.elements);
                stream.SetMethodType(MethodArraySize);
                object->GetSetObjectProperties(stream);
                state.taken = false;
            }
            stream.SetArrayIndex(frame.element - 1);
            stream.SetMethodType(MethodRead);
            object->GetSetObjectProperties(stream);
            stream.SetProperty(nullptr);
        }
        if (!state.taken) {
            for (int i = 0; i < frame.slots; ++i)
                DropUnowned(frame.slotValues[i]);
        }
        frame.holder.reset();
        frame.recheck = true;
        frame.slots = 0;
        frame.slot = 0;
        frame.phase = Phase::NextElement;
    }

    // The references of a planned element, handed to the step's read half in a holder. A reference
    // filled before a later one was read inline may have gone with that record's work.
    void DeliverPlanned(Frame& frame)
    {
        if (frame.slots == 2) {
            Slot& first = frame.slotValues[0];
            if (first.object && !IsAlive(first.object, first.oid, first.destroyed))
                first.object = nullptr;
        }
        state.taken = false;
        if (Base* target = frame.Checked()) {
            const auto position = static_cast<std::size_t>(frame.property - 1);
            const PropertyEntry& entry = *frame.plan->GetStep(position).entry;
            Resize(frame, entry, *target);
            stream.SetArrayIndex(frame.element - 1);
            if (frame.slots == 1 && entry.takeReference) {
                state.taken = entry.takeReference(*target, static_cast<std::size_t>(frame.element - 1),
                                                  frame.slotValues[0].object);
                Delivered(frame);
                return;
            }
            PropertyPass pass = frame.plan->ReadPass(stream, *target, position);
            if (frame.slots == 2) {
                PropertyStoragePair pair(frame.slotValues[0].object, frame.slotValues[1].object);
                stream.SetProperty(&pair);
                entry.read(pass, entry.name, *target);
            } else {
                PropertyStorageObject object(frame.slotValues[0].object);
                stream.SetProperty(&object);
                entry.read(pass, entry.name, *target);
            }
            stream.SetProperty(nullptr);
        }
        Delivered(frame);
    }

    // A planned element has been offered: what nobody took is dropped.
    void Delivered(Frame& frame)
    {
        if (!state.taken) {
            for (int i = 0; i < frame.slots; ++i)
                DropUnowned(frame.slotValues[i]);
        }
        frame.planned = false;
        frame.recheck = true;
        frame.slots = 0;
        frame.slot = 0;
        frame.phase = Phase::NextElement;
    }

    // An array's first element comes with its count: the entry sizes the array first, as the
    // generic array-size pass does.
    void Resize(const Frame& frame, const PropertyEntry& entry, Base& object)
    {
        if (frame.isArray && frame.element == 1 && entry.resize)
            entry.resize(object, static_cast<std::size_t>(frame.elements));
    }

    static void DropUnowned(Slot& slot)
    {
        if (!slot.createdHere || !slot.object || !IsAlive(slot.object, slot.oid, slot.destroyed))
            return;
        if (const TreeNode* node = DynCast<TreeNode>(slot.object); node && node->GetParent())
            return;
        delete slot.object;
    }

    // The innermost record's object, still alive after its levels' work, and its OID.
    std::pair<Base*, std::uint32_t> End()
    {
        Frame& frame = Top();
        if (frame.oid != 0)
            state.open.Pop();
        ++g_recordCounts.read;
        g_recordCounts.readByPlan += frame.plan ? 1 : 0;
        Base* object = frame.Checked();
        if (object) {
            if (frame.plan) {
                frame.plan->AfterRecord(*object, stream);
            } else {
                stream.SetMethodType(MethodAfter);
                object->GetSetObjectProperties(stream);
            }
            object = frame.Object();
        }
        const std::pair<Base*, std::uint32_t> ended{object, frame.oid};
        state.reserved -= frame.reservedAbove;
        --depth;
        top = depth > 0 ? &FrameAt(depth - 1) : nullptr;
        return ended;
    }

    static constexpr std::uint32_t PrefetchDistance = 8;

    PropertyArchive& stream;
    State& state;
    // The open records, innermost last: FrameAt(0) to FrameAt(depth - 1). A bonded chain nests a record
    // per object: frames come in blocks, allocated once and never moved.
    static constexpr std::size_t FramesPerBlock = 64;
    std::vector<std::unique_ptr<Frame[]>> frameBlocks;
    std::size_t depth = 0;
    Frame* top = nullptr; // FrameAt(depth - 1)
};

Base* PropertyArchive::ReadRecord()
{
    if (!GetArchive().IsLoading())
        return nullptr;
    const std::size_t mark = m_state->created.size();
    const std::size_t reserved = m_state->reserved;
    const std::size_t open = m_state->open.GetSize();
    try {
        return RecordReader(*this).Run();
    } catch (...) {
        m_state->reserved = reserved;
        m_state->open.Truncate(open);
        SetProperty(nullptr);
        for (std::size_t i = mark; i < m_state->created.size(); ++i) {
            if (Base* object = Base::GetObjectA(m_state->created[i]))
                object->LoadRefused();
        }
        // Owners are read before what they own, so deleting in order of creation takes whole
        // subtrees at once; an object deleted with its owner is already gone.
        for (std::size_t i = mark; i < m_state->created.size(); ++i) {
            if (Base* object = Base::GetObjectA(m_state->created[i]))
                delete object;
        }
        m_state->created.resize(mark);
        throw;
    }
}

StreamRecordCounts CountStreamRecordsForTests()
{
    return g_recordCounts;
}

} // namespace Tavrel
