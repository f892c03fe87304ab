#include <tavrel/foundation/PropertyArchive.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <typeinfo>
#include <utility>

#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/foundation/CompressionInteger.h>
#include <tavrel/foundation/InternalPropertyStream.h>
#include <tavrel/foundation/PropertyPlan.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/Storage.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

StreamRecordCounts PropertyStream::g_recordCounts;

namespace {

using PropertyStream::FinishList;
using PropertyStream::g_recordCounts;

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

// The finishing pass: every registered node that still exists, in order of registration. A call may
// register further nodes, or destroy some (their OIDs then find nothing). A large load leaves most of
// them out of the cache: each node is found a few entries ahead and asked for the fields of its class
// levels that finishing reads (a bonded atom's bond list, a bond's ends); the nodes found ahead are
// found again once an object is destroyed.
template <bool Loading>
void Finish(const FinishList& finish, std::uint32_t schema)
{
    constexpr std::size_t ahead = 8;
    constexpr std::size_t prefetchBytes = 192;
    const auto finishNode = [schema](Base* object) {
        if (!object)
            return;
        // Registered nodes are tree nodes, and an OID names one object for good.
        TreeNode* const node = static_cast<TreeNode*>(object);
        try {
            if constexpr (Loading)
                node->FinishLoading(schema);
            else
                node->FinishStoring(schema);
        } catch (...) {
            // The finishing pass never fails the archive.
        }
    };
    FinishList::Reader next(finish); // reads entry foundEnd
    Base* found[ahead];              // entries i to foundEnd - 1, at their index modulo ahead
    std::size_t size = finish.GetSize();
    std::size_t foundEnd = 0;
    std::size_t i = 0;
    std::uint64_t destroyed = Base::GetDestroyedCount();
    const auto findAgain = [&](std::size_t end) {
        if (destroyed == Base::GetDestroyedCount()) [[likely]]
            return;
        for (std::size_t j = i; j < end; ++j)
            found[j % ahead] = Base::GetObjectA(finish[j]);
        destroyed = Base::GetDestroyedCount();
    };
    while (i < size) {
        for (; foundEnd < size && foundEnd < i + ahead; ++foundEnd) {
            Base* const object = Base::GetObjectA(next.Read());
            found[foundEnd % ahead] = object;
            if (object)
                PrefetchObject(object, prefetchBytes);
        }
        // Entries i to i + ahead - 1 found, and one after them.
        while (i + ahead < size) {
            Base* const object = found[i % ahead];
            Base* const later = Base::GetObjectA(next.Read());
            found[i % ahead] = later;
            if (later)
                PrefetchObject(later, prefetchBytes);
            finishNode(object);
            ++i;
            findAgain(i + ahead);
        }
        foundEnd = size;
        while (i < size) {
            finishNode(found[i % ahead]);
            ++i;
            findAgain(size);
        }
        size = finish.GetSize();
    }
}

[[noreturn]] void Malformed(const Archive& archive, std::size_t at, ArchiveException::Cause cause,
                            const std::string& message)
{
    archive.Refuse(cause, "malformed property stream: " + message, at);
}

} // namespace

PropertyArchive::PropertyArchive(Archive& archive)
    : m_archive(&archive),
      m_ownState(std::make_unique<State>()),
      m_state(m_ownState.get()),
      m_openBits(&m_state->open.View())
{
}

PropertyArchive::PropertyArchive(Archive& archive, PropertyArchive& target)
    : m_archive(&archive), m_state(target.m_state), m_openBits(target.m_openBits)
{
}

PropertyArchive::~PropertyArchive()
{
    if (!m_ownState)
        return;
    const std::uint32_t schema = GetObjectSchema();
    if (GetArchive().IsLoading())
        Finish<true>(m_state->finish, schema);
    else
        Finish<false>(m_state->finish, schema);
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

namespace {

[[gnu::noinline]] void FinishAny(PropertyStream::OIDSet& set, PropertyStream::FinishList& list, std::uint32_t oid)
{
    if (set.Insert(oid))
        list.Add(oid);
}

[[gnu::noinline]] void FinishAdd(PropertyStream::FinishList& list, std::uint32_t oid)
{
    list.Add(oid);
}

} // namespace

void PropertyArchive::FinishObject(TreeNode* object)
{
    // A node made by this load: a bit and a free entry take it without a call.
    if (!object)
        return;
    State& state = *m_state;
    const std::uint32_t oid = object->GetOID();
    const int added = state.finishSet.TryInsert(oid);
    if (added < 0)
        FinishAny(state.finishSet, state.finish, oid);
    else if (added > 0 && !state.finish.TryAdd(oid))
        FinishAdd(state.finish, oid);
}

bool PropertyArchive::IsRecordOpenOutside(std::uint32_t oid) const
{
    return m_state->open.Contains(oid);
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

// Object references: writing them is in PropertyArchiveWriter.cpp.

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
        Frame* below = nullptr;        // the frame of the record this one is read inside

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

        // A value has been offered to the object, whose work may have deleted objects the frame holds:
        // its slots are free again.
        void Offered()
        {
            planned = false;
            recheck = true;
            slots = 0;
            slot = 0;
        }

        // A frame is reused from record to record: its texts keep their room. Begin sets its object,
        // plan, class name, count and reservation.
        void Reset()
        {
            oid = 0;
            planned = false;
            recheck = false;
            property = 0;
            phase = Phase::NextProperty;
            name.clear();
            isArray = false;
            elements = 0;
            element = 0;
            holder.reset();
            slots = 0;
            slot = 0;
        }
    };

    explicit RecordReader(PropertyArchive& archive)
        : stream(archive),
          state(*archive.m_state),
          compressed(typeid(archive) == typeid(CompressedPropertyArchive) ? static_cast<CompressedPropertyArchive*>(&archive)
                                                                          : nullptr)
    {
    }

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
        // The next frame follows the top one in its block, unless a block begins.
        const bool beginsBlock = depth % FramesPerBlock == 0;
        if (beginsBlock && depth == frameBlocks.size() * FramesPerBlock)
            frameBlocks.push_back(std::make_unique<Frame[]>(FramesPerBlock));
        Frame& frame = beginsBlock ? FrameAt(depth) : top[1];
        ++depth;
        frame.below = top;
        top = &frame;
        frame.Reset();
        frame.reservedAbove = reserve;
        std::uint32_t stored = 0;
        const RecordClass recordClass = ReadHead(stored);
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
        // Nothing below changes the frame's plan or object: they stay in registers across the hooks.
        const PropertyPlan* const plan = frame.plan;
        if (Base* const object = frame.object) {
            frame.destroyed = Base::GetDestroyedCount();
            const std::uint32_t oid = object->GetOID();
            frame.oid = oid;
            state.open.Push(oid);
            state.oidMap.SetObject(stored, oid);
            if (plan) {
                if (plan->HasBeforeRecord())
                    plan->BeforeRecord(*object, stream);
                else
                    stream.SetMethodType(MethodBefore);
            } else {
                stream.SetMethodType(MethodBefore);
                object->GetSetObjectProperties(stream);
            }
        }
        // A count given before is the plan's own (another would have dropped it) and not negative:
        // only the input's end can refuse it.
        if (plan && plan->IsCounted()) {
            frame.count = plan->GetGivenCount();
            if (static_cast<std::size_t>(frame.count) > Available()) [[unlikely]]
                RefuseCount(frame.count, "property count");
            return;
        }
        frame.count = stream.ReadNumberOfProperties(frame.className);
        Check(frame.count, "property count");
        // A count the first record gives otherwise has dropped the plan.
        if (frame.plan && frame.plan->IsDropped())
            frame.plan = nullptr;
    }

    // The record's stored OID and class. A compressed stream's two integers are taken together when
    // the input holds both.
    RecordClass ReadHead(std::uint32_t& stored)
    {
        Archive& archive = stream.GetArchive();
        if (compressed) {
            const std::uint8_t* const end = archive.GetEnd();
            std::uint32_t index = 0;
            if (const std::uint8_t* const next = CompressionInteger::Get(archive.GetCursor(), end, stored)) {
                if (const std::uint8_t* const after = CompressionInteger::Get(next, end, index)) {
                    archive.MoveTo(after);
                    return ClassOfIndex(index, next);
                }
            }
        }
        stored = CompressionInteger::TakeUnsignedInteger(archive);
        return ReadRecordClass();
    }

    // The record's class: a compressed stream's index of one of the last two records' classes (an
    // atom's and a bond's, say) is answered here, without the dictionary.
    RecordClass ReadRecordClass()
    {
        if (!compressed)
            return stream.ReadRecordClass();
        Archive& archive = stream.GetArchive();
        const std::uint8_t* const at = archive.GetCursor();
        const std::uint32_t index = CompressionInteger::TakeUnsignedInteger(archive);
        return ClassOfIndex(index, at);
    }
    // The same once the index, which began at `at`, has been taken.
    RecordClass ClassOfIndex(std::uint32_t index, const std::uint8_t* at)
    {
        if (index == cachedClassIndex[0]) {
            lastCached = 0;
            return cachedClass[0]->RecordClass();
        }
        if (index == cachedClassIndex[1]) {
            lastCached = 1;
            return cachedClass[1]->RecordClass();
        }
        const RecordClass recordClass =
            compressed->RecordClassOf(index, stream.GetArchive().GetPosition() -
                                                 static_cast<std::size_t>(stream.GetArchive().GetCursor() - at));
        if (index != 0) {
            // The new class replaces the one not asked for last.
            lastCached ^= 1;
            cachedClassIndex[lastCached] = index;
            cachedClass[lastCached] = recordClass.entry;
        }
        return recordClass;
    }

    Frame& FrameAt(std::size_t index) { return frameBlocks[index / FramesPerBlock][index % FramesPerBlock]; }
    Frame& Top() { return *top; }

    // The object of a planned record, from the plan's factory; when that gives no object of the
    // planned class the record is read by the generic passes.
    Base* CreatePlanned(Frame& frame, const ClassHierarchy& hierarchy)
    {
        PersistentObject* created = nullptr;
        if (Base* object = frame.plan->Create(created)) {
            state.created.Push(object->GetOID());
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
        state.created.Push(object->GetOID());
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
                    // The record read inline for the waiting frame's last reference: the value goes
                    // to its object at once.
                    Frame& waiting = Top();
                    if (!TakeInline(waiting, done, oid)) {
                        Fill(waiting, done, oid, true);
                        if (waiting.slot == waiting.slots)
                            Deliver(waiting);
                    }
                }
                break;
            case Phase::NextElement:
                if (frame.element >= frame.elements) {
                    frame.phase = Phase::NextProperty;
                    break;
                }
                if (frame.plan && ReadReferenceElements(frame))
                    break;
                BeginElement(frame);
                if (frame.phase != Phase::References)
                    break;
                [[fallthrough]];
            case Phase::References:
                // Each reference read in turn; a record read inline for one begins, and the frame
                // waits for it. Once all are read the value is delivered.
                while (frame.slot < frame.slots) {
                    if (!ReadSlot(frame))
                        break;
                }
                if (frame.slot == frame.slots)
                    Deliver(frame);
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
    [[gnu::always_inline]] bool ReadDirect(Frame& frame)
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
        // Once the class's description is settled, the record is a list of segments, in order.
        const PropertyPlan::Segment* segment =
            first < count && count == plan.GetCount() ? plan.SegmentsFrom(first) : nullptr;
        for (auto position = first; position < count; position = static_cast<std::size_t>(frame.property)) {
            const PropertyPlan::Segment step = segment ? *segment++ : plan.SegmentAt(position, count);
            switch (step.kind) {
            case PropertyPlan::Kind::Value:
                stream.SetArrayIndex(0);
                at = step.kept ? plan.ReadRun(stream, *object, position, at, archive.GetEnd())
                               : plan.ReadValues(stream, *object, position, step.last, at);
                frame.property = static_cast<std::int32_t>(step.last);
                break;
            case PropertyPlan::Kind::Reference: {
                ++frame.property;
                // A null or stored reference goes straight to a step that takes references; one read
                // inline begins its record, the frame waiting for it as for the element of a reference.
                const auto waitFor = [&frame] {
                    frame.isArray = false;
                    frame.elements = 1;
                    frame.element = 1;
                    frame.planned = true;
                    frame.slot = 0;
                    frame.slots = 1;
                    frame.phase = Phase::References;
                };
                Base* referenced = nullptr;
                std::uint32_t oid = 0;
                const std::uint8_t* record = nullptr;
                at = ReadReference(false, at, referenced, oid, record);
                if (!at) {
                    waitFor();
                    archive.MoveTo(record);
                    Begin();
                    return true;
                }
                archive.MoveTo(at);
                if (const PropertyEntry& entry = *step.entry; entry.takeReference) {
                    state.taken = false;
                    if (Base* const target = frame.Checked()) {
                        stream.SetArrayIndex(0);
                        state.taken = entry.takeReference(*target, 0, referenced);
                    }
                    frame.Offered();
                } else {
                    waitFor();
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
                // Its count; an empty array (a leaf's children) ends here.
                ++frame.property;
                frame.isArray = true;
                at = ReadElementCount(frame, at);
                frame.element = 0;
                if (frame.elements > 0) {
                    archive.MoveTo(at);
                    frame.phase = Phase::NextElement;
                    if (!ReadReferenceElements(frame) || frame.phase != Phase::NextProperty)
                        return true;
                    at = archive.GetCursor();
                    object = frame.Checked();
                    if (!object)
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

    // The elements of a planned array of references from the next one on, while its step is settled
    // and takes references: a null or stored reference goes straight to the step, as DeliverPlanned
    // hands it over; one read inline begins its record, the frame waiting for it as for the element
    // of a reference. False, with nothing read, for an array of another step: its elements go the
    // generic way.
    [[gnu::always_inline]] bool ReadReferenceElements(Frame& frame)
    {
        const PropertyPlan& plan = *frame.plan;
        const auto position = static_cast<std::size_t>(frame.property - 1);
        const PropertyPlan::Step& step = plan.GetStep(position);
        const PropertyEntry& entry = *step.entry;
        if (step.kind != PropertyPlan::Kind::Array || entry.code != Storage::StorageObject || !entry.takeReference ||
            plan.IsDropped() || !plan.IsSettled(position))
            return false;
        Archive& archive = stream.GetArchive();
        const std::uint8_t* at = archive.GetCursor();
        while (frame.element < frame.elements) {
            ++frame.element;
            Base* referenced = nullptr;
            std::uint32_t oid = 0;
            const std::uint8_t* record = nullptr;
            at = ReadReference(true, at, referenced, oid, record);
            if (!at) {
                frame.planned = true;
                frame.slot = 0;
                frame.slots = 1;
                frame.phase = Phase::References;
                archive.MoveTo(record);
                Begin();
                return true;
            }
            archive.MoveTo(at);
            state.taken = false;
            if (Base* const target = frame.Checked()) {
                Resize(frame, entry, *target);
                stream.SetArrayIndex(frame.element - 1);
                state.taken = entry.takeReference(*target, static_cast<std::size_t>(frame.element - 1), referenced);
            }
            frame.Offered();
        }
        frame.phase = Phase::NextProperty;
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
        const std::uint8_t* record = nullptr;
        at = ReadReference(frame.isArray, at, referenced, oid, record);
        if (!at) {
            stream.GetArchive().MoveTo(record);
            Begin();
        }
        return at;
    }
    // The same where a record read inline is not begun: null, with record the place where it begins.
    [[gnu::always_inline]] const std::uint8_t* ReadReference(bool isArray, const std::uint8_t* at, Base*& referenced,
                                                             std::uint32_t& oid, const std::uint8_t*& record)
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
            if (isArray) {
                if (const Base* const ahead = Base::GetObjectA(oid + PrefetchDistance))
                    PrefetchObject(ahead);
            }
            referenced = Base::GetObjectA(oid);
            return at;
        }
        record = at;
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
    [[gnu::always_inline]] void DeliverPlanned(Frame& frame)
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

    // The object of a record read inline for a planned reference whose step takes references, handed
    // straight to the step as DeliverPlanned hands it over; false, with nothing done, for another value.
    [[gnu::always_inline]] bool TakeInline(Frame& frame, Base* object, std::uint32_t oid)
    {
        if (!frame.planned || frame.slots != 1)
            return false;
        const PropertyEntry& entry = *frame.plan->GetStep(static_cast<std::size_t>(frame.property - 1)).entry;
        if (!entry.takeReference)
            return false;
        Slot slot{object, object ? oid : 0, true, Base::GetDestroyedCount()};
        state.taken = false;
        // The record's work may have deleted the frame's object.
        if (Base* const target = frame.Object()) {
            Resize(frame, entry, *target);
            stream.SetArrayIndex(frame.element - 1);
            state.taken = entry.takeReference(*target, static_cast<std::size_t>(frame.element - 1), object);
        }
        if (!state.taken)
            DropUnowned(slot);
        frame.Offered();
        frame.phase = Phase::NextElement;
        return true;
    }

    // A planned element has been offered: what nobody took is dropped.
    void Delivered(Frame& frame)
    {
        if (!state.taken) {
            for (int i = 0; i < frame.slots; ++i)
                DropUnowned(frame.slotValues[i]);
        }
        frame.Offered();
        frame.phase = Phase::NextElement;
    }

    // An array's first element comes with its count: the entry sizes the array first, as the
    // generic array-size pass does.
    void Resize(const Frame& frame, const PropertyEntry& entry, Base& object)
    {
        if (frame.isArray && frame.element == 1 && entry.resize)
            entry.resize(object, static_cast<std::size_t>(frame.elements));
    }

    // What its record's nested records made and no parent took goes with it (the ends of its bonds,
    // say); all of it settles first, as it may hold links with it that only one side holds.
    static void DropUnowned(Slot& slot)
    {
        if (!slot.createdHere || !slot.object || !IsAlive(slot.object, slot.oid, slot.destroyed))
            return;
        // A node read with a parent goes only with a parentless tree made for it here.
        const std::uint32_t before = slot.oid - 1;
        TreeNode::SettleLinksSince(before, Base::GetLastOID());
        if (!IsA<TreeNode>(slot.object))
            delete slot.object;
        TreeNode::DeleteParentlessSince(before, Base::GetLastOID());
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
        top = frame.below;
        return ended;
    }

    static constexpr std::uint32_t PrefetchDistance = 8;

    PropertyArchive& stream;
    State& state;
    // The stream when it is exactly the compressed form (no override of how classes are read).
    CompressedPropertyArchive* const compressed;
    // The last two classes asked for by index (no index matches an empty place's), and which of them
    // was asked for last.
    std::uint64_t cachedClassIndex[2] = {~std::uint64_t{0}, ~std::uint64_t{0}};
    ClassDictionaryEntry* cachedClass[2] = {};
    unsigned lastCached = 0;
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
    const std::size_t mark = m_state->created.GetSize();
    const std::size_t reserved = m_state->reserved;
    const std::size_t open = m_state->open.GetSize();
    try {
        return RecordReader(*this).Run();
    } catch (...) {
        m_state->reserved = reserved;
        m_state->open.Truncate(open);
        SetProperty(nullptr);
        m_state->created.ForEachFrom(mark, [](std::uint32_t oid) {
            if (Base* object = Base::GetObjectA(oid))
                object->SettleLinks();
        });
        // Owners are read before what they own, so deleting in order of creation takes whole
        // subtrees at once; an object deleted with its owner is already gone.
        m_state->created.ForEachFrom(mark, [](std::uint32_t oid) {
            if (Base* object = Base::GetObjectA(oid))
                delete object;
        });
        m_state->created.Truncate(mark);
        throw;
    }
}

StreamRecordCounts CountStreamRecordsForTests()
{
    return g_recordCounts;
}

} // namespace Tavrel
