#include <tavrel/foundation/PropertyArchive.h>

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <unordered_set>

#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/CompressionInteger.h>
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

    void Set(std::uint32_t key, std::uint32_t value)
    {
        if (2 * (m_size + 1) > m_slots.size())
            Grow();
        for (std::size_t i = Home(key);; i = (i + 1) & (m_slots.size() - 1)) {
            Slot& slot = m_slots[i];
            if (!slot.used) {
                slot = {key, value, true};
                ++m_size;
                return;
            }
            if (slot.key == key) {
                slot.value = value;
                return;
            }
        }
    }

    std::size_t GetSize() const { return m_size; }

private:
    struct Slot {
        std::uint32_t key = 0;
        std::uint32_t value = 0;
        bool used = false;
    };

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

    void Set(std::uint32_t key, std::uint32_t value)
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
        } else {
            if (slot && *slot != 0) {
                *slot = 0;
                --m_entries;
            }
            m_scattered.Set(key, value);
        }
    }

private:
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
};

// Stream state shared by an archive and the recorders that write its records' properties.
struct PropertyArchive::State {
    struct FinishEntry {
        TreeNode* node;
        std::uint32_t oid;
    };

    OIDMap oidMap;
    std::vector<FinishEntry> finish;
    std::unordered_set<const TreeNode*> finishSet;
    // OIDs of the objects created by reading, in order of creation.
    std::vector<std::uint32_t> created;
    // OIDs of the objects whose records are being read, outermost first: ascending, as each record's
    // object is made after those of the records around it.
    std::vector<std::uint32_t> open;
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

// Whether an object handed out earlier still exists.
bool IsAlive(const Base* object, std::uint32_t oid)
{
    return Base::GetObjectA(oid) == object;
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
        if (m_scratch->GetBuffer().size() > scratchLimit) {
            m_scratch = std::make_unique<Archive>();
            m_scratch->SetObjectSchema(m_target.GetObjectSchema());
            m_archive = m_scratch.get();
        }
        m_start = m_scratch->GetBuffer().size();
        SetMethodType(MethodWrite);
    }

    void WriteClassHierarchy(const ClassHierarchy&) override { Refuse(); }
    ClassHierarchy ReadClassHierarchy() override { Refuse(); }
    void WriteNumberOfProperties(std::string_view, std::int32_t) override { Refuse(); }
    std::int32_t ReadNumberOfProperties(std::string_view) override { Refuse(); }
    void WritePropertyName(std::string_view className, std::string_view propertyName, bool isArray) override
    {
        // A planned record's names and flags are all in the stream already.
        if (m_plan)
            return;
        Add(Kind::Name, ClassIndex(className), propertyName, isArray ? 1 : 0, nullptr, 0);
    }
    std::string ReadPropertyName(std::string_view, std::int32_t, bool&) override { Refuse(); }
    void WritePropertyType(std::string_view className, std::string_view propertyName, std::int32_t type) override
    {
        // A code the stream has given is not written again; one it has not (an array's, before its
        // first element) is placed as in any record, the stream deciding once the bytes before it are in.
        if (m_plan && m_plan->GetTypeCode(m_position) != -1)
            return;
        Add(Kind::Type, ClassIndex(className), propertyName, type, nullptr, 0);
    }

    // Records the values of a record of the plan's class, step by step.
    void WritePlanned(const PropertyPlan& plan, Catalog& object)
    {
        struct Planned {
            Recorder& recorder;
            ~Planned() { recorder.m_plan = nullptr; }
        } planned{*this};
        m_plan = &plan;
        Base& base = PropertyPlan::AsBase(object);
        PropertyPass pass = PropertyPlan::WritePass(*this, base);
        for (m_position = 0; m_position < plan.GetCount(); ++m_position) {
            const PropertyEntry& entry = *plan.GetStep(m_position).entry;
            entry.write(pass, entry.name, base);
        }
    }
    std::int32_t ReadPropertyType(std::string_view, std::string_view) override { Refuse(); }

    void AddReference(Base* object) { Add(Kind::Reference, 0, {}, 0, object, 0); }
    void AddRecord(Catalog& object, std::uint32_t oid) { Add(Kind::Record, 0, {}, 0, &object, oid); }

    std::size_t GetNumberOfItems() const { return m_used; }
    const Item& GetItem(std::size_t index) const { return m_items[index]; }
    const std::string& GetClassName(std::size_t index) const { return m_classNames[index]; }
    const std::uint8_t* GetBytes() const { return m_scratch->GetBuffer().data(); }
    std::size_t GetStart() const { return m_start; }
    std::size_t GetEnd() const { return m_scratch->GetBuffer().size(); }

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
        item.offset = m_scratch->GetBuffer().size();
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
    const PropertyPlan* m_plan = nullptr; // the plan of the record being recorded, if it has one
    std::size_t m_position = 0;           // the plan's step being recorded
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
    // By index: a finishing call may register further nodes.
    for (std::size_t i = 0; i < m_state->finish.size(); ++i) {
        const State::FinishEntry entry = m_state->finish[i];
        if (!IsAlive(entry.node, entry.oid))
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
    if (object && m_state->finishSet.insert(object).second)
        m_state->finish.push_back({object, object->GetOID()});
}

bool PropertyArchive::IsRecordOpen(const Base& object) const
{
    // Mostly asked about the record around the innermost one.
    const std::vector<std::uint32_t>& open = m_state->open;
    const std::uint32_t oid = object.GetOID();
    if (open.size() >= 2 && open[open.size() - 2] == oid)
        return true;
    return std::binary_search(open.begin(), open.end(), oid);
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

// Writing records. Each record's MethodWrite pass runs against a recorder; the recorded items are then
// placed in the stream in order, and a reference to an object not yet in the stream opens that
// object's record at its place. An explicit stack keeps the nesting off the call stack.

struct PropertyArchive::RecordWriter {
    // An open record: what of its recording is placed, and the recording while it is kept. Only the
    // innermost records keep theirs; an outer one gives its recording up to a deeper record and makes it
    // again when the stream gets back to it, so a deep chain holds a few words per level. A record made
    // again keeps its recording until it ends, so none is made more than twice.
    struct Open {
        Catalog* object;
        const PropertyPlan* plan; // the plan the record is written by, or null
        Recorder* recorder;       // null while given up
        std::size_t item = 0;     // items placed
        std::size_t offset = 0;   // bytes placed, from the start of the record's recording
    };
    static constexpr std::size_t KeptRecordings = 64;

    explicit RecordWriter(PropertyArchive& archive) : stream(archive) {}

    // A class the stream has described in full is written by its plan: its index stands for the
    // hierarchy, the count is known, and the values are recorded step by step.
    void Begin(Catalog& object, std::uint32_t oid)
    {
        const PropertyPlan* plan = stream.FindWritePlan(object);
        if (!plan || plan->HasBefore()) {
            stream.SetMethodType(MethodBefore);
            object.GetSetObjectProperties(stream);
        }
        CompressionInteger::Write(oid, stream.GetArchive());
        if (plan) {
            CompressionInteger::Write(plan->GetClassIndex(), stream.GetArchive());
        } else {
            ClassHierarchy hierarchy;
            object.BuildClassHierarchy(hierarchy);
            stream.WriteClassHierarchy(hierarchy);
            stream.WriteNumberOfProperties(object.GetClassHierarchyName(), object.GetNumberOfProperties(stream));
        }
        Recorder& recorder = Record(object, plan);
        open.push_back({&object, plan, &recorder});
        kept.push_back(open.size() - 1);
    }

    void Run(Catalog& object, std::uint32_t oid)
    {
        Begin(object, oid);
        while (!open.empty()) {
            Open& top = open.back();
            if (!top.recorder)
                Remake(top);
            const Recorder& recorder = *top.recorder;
            const std::uint8_t* const bytes = recorder.GetBytes() + recorder.GetStart();
            if (top.item == recorder.GetNumberOfItems()) {
                stream.GetArchive().Write(bytes + top.offset, recorder.GetEnd() - recorder.GetStart() - top.offset);
                Catalog* finished = top.object;
                const PropertyPlan* plan = top.plan;
                End();
                if (plan) {
                    plan->AfterRecord(PropertyPlan::AsBase(*finished), stream);
                } else {
                    stream.SetMethodType(MethodAfter);
                    finished->GetSetObjectProperties(stream);
                }
                continue;
            }
            const Recorder::Item& item = recorder.GetItem(top.item++);
            const std::size_t itemOffset = item.offset - recorder.GetStart();
            stream.GetArchive().Write(bytes + top.offset, itemOffset - top.offset);
            top.offset = itemOffset;
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
    }

    // Runs the object's MethodWrite pass (by its plan, when it has one) against a spare recorder, or
    // one taken from the outermost record that keeps its recording.
    Recorder& Record(Catalog& object, const PropertyPlan* plan)
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
        if (plan)
            recorder->WritePlanned(*plan, object);
        else
            object.GetSetObjectProperties(*recorder);
        return *recorder;
    }

    // The pass of a record that gave its recording up is run again; it must record at least what was
    // placed. The record keeps this recording until it ends.
    void Remake(Open& record)
    {
        Recorder& recorder = Record(*record.object, record.plan);
        if (recorder.GetNumberOfItems() < record.item || recorder.GetEnd() - recorder.GetStart() < record.offset)
            throw std::logic_error("a record changed while it was written");
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

    void WriteReference(Base* object)
    {
        Archive& bytes = stream.GetArchive();
        if (!object) {
            bytes << static_cast<std::uint8_t>(1);
            return;
        }
        bytes << static_cast<std::uint8_t>(0);
        const std::uint32_t oid = object->GetOID();
        if (stream.IsOID(oid)) {
            CompressionInteger::Write(oid, bytes);
            return;
        }
        CompressionInteger::Write(std::int32_t{0}, bytes);
        stream.AddOIDMapEntry(oid, oid);
        Begin(*object, oid);
    }

    PropertyArchive& stream;
    std::vector<std::unique_ptr<Recorder>> recorders;
    std::vector<Recorder*> spare;
    std::vector<Open> open;
    // Positions in open of the records that keep a recording they have made once, outermost first.
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
        bool createdHere; // read inline for this reference
    };

    struct Frame {
        Base* object = nullptr; // null: no stored class can be created; the record is dropped
        std::uint32_t oid = 0;
        const PropertyPlan* plan = nullptr; // the record is read by position through its class's plan
        bool planned = false;               // the current element goes to its plan step
        bool recheck = false;               // the object may have gone with a value delivered since
        std::string className;
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

        // The frame's object, or null once it has been deleted.
        Base* Object()
        {
            if (object && !IsAlive(object, oid))
                object = nullptr;
            return object;
        }
    };

    explicit RecordReader(PropertyArchive& archive) : stream(archive), state(*archive.m_state) {}

    // Bytes the innermost record may still use for itself.
    std::size_t Available() const
    {
        const std::size_t remaining = stream.GetArchive().GetRemaining();
        return remaining > state.reserved ? remaining - state.reserved : 0;
    }

    void Check(std::int64_t count, const char* what) const
    {
        if (count < 0 || static_cast<std::uint64_t>(count) > Available())
            Malformed(stream.GetArchive(), stream.GetArchive().GetPosition(), ArchiveException::endOfFile,
                      std::string(what) + " " + std::to_string(count) + " does not fit in the remaining input");
    }

    // Reads a record's head and pushes its frame; what the open frames still need is reserved first.
    void Begin()
    {
        std::size_t reserve = 0;
        if (!frames.empty()) {
            const Frame& parent = frames.back();
            reserve = static_cast<std::size_t>(parent.count - parent.property) +
                      static_cast<std::size_t>(parent.elements - parent.element) +
                      static_cast<std::size_t>(parent.slots - parent.slot - 1);
            if (reserve > Available())
                Malformed(stream.GetArchive(), stream.GetArchive().GetPosition(), ArchiveException::endOfFile,
                          "nested record beyond the end of the input");
            state.reserved += reserve;
        }
        Frame frame;
        frame.reservedAbove = reserve;
        const std::uint32_t stored = CompressionInteger::ReadUnsignedInteger(stream.GetArchive());
        const RecordClass recordClass = stream.ReadRecordClass();
        frame.plan = recordClass.entry ? stream.FindReadPlan(*recordClass.entry, nullptr) : nullptr;
        // A class whose plan gave no object of its own class is read generically, never by that plan.
        const bool hadPlan = frame.plan != nullptr;
        if (frame.plan) {
            frame.className = frame.plan->GetClassName();
            frame.object = CreatePlanned(frame, *recordClass.hierarchy);
        } else {
            frame.className = recordClass.hierarchy->GetClassNameA();
            frame.object = Create(*recordClass.hierarchy);
        }
        if (frame.object) {
            frame.oid = frame.object->GetOID();
            state.open.push_back(frame.oid);
            stream.AddOIDMapEntry(stored, frame.oid);
            if (!frame.plan || frame.plan->HasBefore()) {
                stream.SetMethodType(MethodBefore);
                frame.object->GetSetObjectProperties(stream);
            }
        }
        frame.count = frame.plan ? static_cast<std::int32_t>(frame.plan->GetCount())
                                 : stream.ReadNumberOfProperties(frame.className);
        Check(frame.count, "property count");
        if (!hadPlan && recordClass.entry && frame.object)
            frame.plan = stream.FindReadPlan(*recordClass.entry, frame.object);
        frames.push_back(std::move(frame));
    }

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
            Frame& frame = frames.back();
            switch (frame.phase) {
            case Phase::NextProperty:
                if (frame.property < frame.count) {
                    BeginProperty(frame);
                } else if (Base* done = End(); frames.empty()) {
                    return done;
                } else {
                    Fill(frames.back(), done, true);
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

    void BeginProperty(Frame& frame)
    {
        if (frame.plan)
            frame.isArray = frame.plan->GetStep(static_cast<std::size_t>(frame.property)).isArray;
        else
            frame.name = stream.ReadPropertyName(frame.className, frame.property, frame.isArray);
        ++frame.property;
        frame.elements = 1;
        if (frame.isArray) {
            frame.elements = CompressionInteger::ReadInteger(stream.GetArchive());
            // Each element and each later property takes at least one byte.
            Check(static_cast<std::int64_t>(frame.elements) + (frame.count - frame.property), "array element count");
        }
        frame.element = 0;
        frame.phase = Phase::NextElement;
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
            Base* object = frame.recheck ? frame.Object() : frame.object;
            frame.recheck = false;
            if (object) {
                Resize(frame, entry, *object);
                stream.SetArrayIndex(frame.element - 1);
                PropertyPass pass = PropertyPlan::ReadPass(stream, *object, entry.name);
                entry.read(pass, entry.name, *object);
                frame.phase = Phase::NextElement;
                return true;
            }
        }
        frame.name.assign(entry.name);
        return false;
    }

    void ReadSlot(Frame& frame)
    {
        std::uint8_t isNull = 0;
        stream.GetArchive() >> isNull;
        if (isNull != 0) {
            Fill(frame, nullptr, false);
            return;
        }
        if (const std::uint32_t stored = CompressionInteger::ReadUnsignedInteger(stream.GetArchive())) {
            Fill(frame, Base::GetObjectA(stream.GetOID(stored)), false);
            return;
        }
        Begin();
    }

    static void Fill(Frame& frame, Base* object, bool createdHere)
    {
        frame.slotValues[frame.slot] = {object, object ? object->GetOID() : 0, createdHere};
        ++frame.slot;
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
            if (slot.object && !IsAlive(slot.object, slot.oid))
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

    // The references of a planned element, handed to the step's read half in holders of their own.
    void DeliverPlanned(Frame& frame)
    {
        for (int i = 0; i < frame.slots; ++i) {
            Slot& slot = frame.slotValues[i];
            if (slot.object && !IsAlive(slot.object, slot.oid))
                slot.object = nullptr;
        }
        PropertyStorageObject object(frame.slotValues[0].object);
        PropertyStoragePair pair(frame.slotValues[0].object, frame.slotValues[1].object);
        state.taken = false;
        if (Base* target = frame.Object()) {
            const PropertyEntry& entry = *frame.plan->GetStep(static_cast<std::size_t>(frame.property - 1)).entry;
            stream.SetProperty(frame.slots == 2 ? static_cast<Storage*>(&pair) : &object);
            Resize(frame, entry, *target);
            stream.SetArrayIndex(frame.element - 1);
            PropertyPass pass = PropertyPlan::ReadPass(stream, *target, entry.name);
            entry.read(pass, entry.name, *target);
            stream.SetProperty(nullptr);
        }
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
    static void Resize(const Frame& frame, const PropertyEntry& entry, Base& object)
    {
        if (frame.isArray && frame.element == 1 && entry.resize)
            entry.resize(object, static_cast<std::size_t>(frame.elements));
    }

    static void DropUnowned(const Slot& slot)
    {
        if (!slot.createdHere || !slot.object || !IsAlive(slot.object, slot.oid))
            return;
        if (const TreeNode* node = DynCast<TreeNode>(slot.object); node && node->GetParent())
            return;
        delete slot.object;
    }

    Base* End()
    {
        Frame& frame = frames.back();
        if (frame.oid != 0)
            state.open.pop_back();
        Base* object = frame.Object();
        if (object) {
            if (frame.plan) {
                frame.plan->AfterRecord(*object, stream);
            } else {
                stream.SetMethodType(MethodAfter);
                object->GetSetObjectProperties(stream);
            }
            object = frame.Object();
        }
        state.reserved -= frame.reservedAbove;
        frames.pop_back();
        return object;
    }

    PropertyArchive& stream;
    State& state;
    std::vector<Frame> frames;
};

Base* PropertyArchive::ReadRecord()
{
    if (!GetArchive().IsLoading())
        return nullptr;
    const std::size_t mark = m_state->created.size();
    const std::size_t reserved = m_state->reserved;
    const std::size_t open = m_state->open.size();
    try {
        return RecordReader(*this).Run();
    } catch (...) {
        m_state->reserved = reserved;
        m_state->open.resize(open);
        SetProperty(nullptr);
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

} // namespace Tavrel
