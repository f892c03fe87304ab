#include <tavrel/foundation/PropertyArchive.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include <tavrel/core/SmallString.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/foundation/CompressionInteger.h>
#include <tavrel/foundation/InternalPropertyStream.h>
#include <tavrel/foundation/PropertyPlan.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/Storage.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

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
    if (m_state->oidMap.Contains(oid)) {
        CompressionInteger::Write(oid, GetArchive());
        return;
    }
    CompressionInteger::Write(std::int32_t{0}, GetArchive());
    m_state->oidMap.Set(oid, oid);
    WriteRecord(*object, oid);
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
// holds the most bytes the segment's steps can take. A reference or a list of references read from
// the object by index (Reference, References) is no value, but once the stream holds its name (and
// a single one's code) the run before it writes it too, and the run after.
struct PayloadStep {
    enum class Form : std::uint8_t { Integer, Bytes, Block, Bit, Text, Put, Call, Pass, Reference, References };
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
    return step.form < PayloadStep::Form::Call;
}

// References whose name the stream holds, and the code of a single one: the count of a list and the
// objects alone follow (a list's code goes before its first object, once).
bool IsSettledReference(const PayloadStep& step)
{
    return (step.form == PayloadStep::Form::Reference && step.named && step.typed) ||
           (step.form == PayloadStep::Form::References && step.named);
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
        if (entry.referenced && !entry.members &&
            (step.kind == PropertyPlan::Kind::Reference || (step.isArray && entry.references))) {
            compiled.form = step.isArray ? PayloadStep::Form::References : PayloadStep::Form::Reference;
            compiled.begins = false;
            continue;
        }
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
        if (entry.code == Storage::StorageString) {
            // A SmallString: its 16 bytes and the length before them fit the put's room.
            compiled.form = entry.putRoom > sizeof(SmallString) ? PayloadStep::Form::Text : PayloadStep::Form::Put;
            compiled.put = entry.put;
            compiled.room = entry.putRoom;
            continue;
        }
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
// where runs of bytes that follow on in the object are one copy and bits of one byte one operation
// (Bit for a single one), a text held in place by its own. Settled references (Reference,
// References) and the settled runs after them go on in the same program, which ends with an End
// operation.
struct RunOp {
    enum class Form : std::uint8_t {
        Reserve, Integer, Byte, Bytes2, Bytes4, Bytes5, Bytes8, Bytes9, Bytes, Block4, Block12, Block, Bit, Bits, Text,
        Put, Entry, Reference, References, End
    };
    Form form = Form::Entry;
    std::uint8_t size = 0;     // Bytes, Block: the member's bytes; Bit, Bits: the bits
    std::uint16_t room = 0;    // Reserve: the segment's room; Text, Put: the room from it to its segment's end
    std::uint32_t position = 0; // Text, Put, Entry, Reference(s): the plan's position; End: the program's end
    std::ptrdiff_t offset = 0;  // the member's offset from the object
    std::uint8_t* (*put)(std::uint8_t* out, const Base&) = nullptr; // Text, Put
    std::array<std::uint8_t, 4> masks{}; // Bit, Bits: the bits of the member byte, in stream order
    bool payload = false;       // Entry: by its payload writer first, else by its pass
};

// The payload steps from first up to last as operations of a run's program.
void AppendRun(std::vector<RunOp>& ops, const PayloadStep* steps, std::size_t first, std::size_t last)
{
    using Form = RunOp::Form;
    const std::size_t begun = ops.size();
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
            ops.push_back({.form = step.form == PayloadStep::Form::Text ? Form::Text : Form::Put,
                           .room = step.room,
                           .position = static_cast<std::uint32_t>(position),
                           .offset = step.offset,
                           .put = step.put});
            break;
        }
        follows = true;
    }
    // Bytes by their size: the usual ones copied as such, the others up to 16 by two moves of a
    // width that may overlap; a single bit by itself.
    for (RunOp& op : std::span(ops).subspan(begun)) {
        if (op.form == Form::Bytes) {
            constexpr Form BySize[] = {Form::Bytes,  Form::Byte,   Form::Bytes2, Form::Bytes2, Form::Bytes4,
                                       Form::Bytes5, Form::Bytes5, Form::Bytes5, Form::Bytes8, Form::Bytes9,
                                       Form::Bytes9, Form::Bytes9, Form::Bytes9, Form::Bytes9, Form::Bytes9,
                                       Form::Bytes9, Form::Bytes9};
            op.form = op.size < std::size(BySize) ? BySize[op.size] : Form::Bytes;
        } else if (op.form == Form::Bits && op.size == 1) {
            op.form = Form::Bit;
        } else if (op.form == Form::Block) {
            op.form = op.size == 4 ? Form::Block4 : op.size == 12 ? Form::Block12 : Form::Block;
        }
    }
}

// The payload steps of a plan's values and the programs of its settled runs, by the position each
// begins at: a run's program is made again should its end move, or the program go further.
struct CompiledPlan {
    struct Run {
        std::size_t last = 0; // the first values' end
        std::size_t end = 0;  // the program's end
        std::vector<RunOp> ops;
    };
    const PropertyPlan* plan;
    std::vector<PayloadStep> steps;
    std::vector<Run> runs;

    // The program of the settled values from first up to last, then as long as they follow on, of
    // settled references and the settled values after them.
    const Run& RunAt(std::size_t first, std::size_t last)
    {
        Run& run = runs[first];
        if (run.last == last && !GoesOn(run.end))
            return run;
        std::vector<RunOp> ops;
        AppendRun(ops, steps.data(), first, last);
        std::size_t end = last;
        while (GoesOn(end)) {
            for (; end < steps.size() && IsSettledReference(steps[end]); ++end) {
                const bool list = steps[end].form == PayloadStep::Form::References;
                ops.push_back({.form = list ? RunOp::Form::References : RunOp::Form::Reference,
                               .position = static_cast<std::uint32_t>(end)});
            }
            const std::size_t values = end;
            end = end < steps.size() ? plan->SettledValuesEnd(end) : end;
            AppendRun(ops, steps.data(), values, end);
        }
        ops.push_back({.form = RunOp::Form::End, .position = static_cast<std::uint32_t>(end)});
        run.ops = std::move(ops);
        run.last = last;
        run.end = end;
        return run;
    }

    // A program that ends at end could go further.
    bool GoesOn(std::size_t end) const
    {
        return end < steps.size() && (IsSettledReference(steps[end]) || plan->SettledValuesEnd(end) != end);
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
    // A class whose records the stream writes by a plan, and the plan's payload steps. A plan is made
    // only for an object of its class's own type (Base::IsStoredByTables), so the dynamic type names
    // the class: a host class derived without a run-time class of its own never takes its base's plan.
    struct ClassPlan {
        const std::type_info* type;
        const PropertyPlan* plan;
        CompiledPlan* compiled;
    };
    static constexpr std::size_t KeptRecordings = 64;

    explicit RecordWriter(PropertyArchive& archive)
        : stream(archive), output(archive.GetArchive()), written(archive.m_state->oidMap)
    {
    }

    // A class that has a plan is written by it from its first record on: the tables' hooks stand for
    // the levels' passes, its index for the hierarchy once the stream holds the class, the plan's
    // count for the counting pass.
    void Begin(Catalog& object, std::uint32_t oid)
    {
        const std::type_info* const type = &typeid(object);
        const ClassPlan* known = Known(type);
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
            std::uint8_t* const out = output.Reserve(2 * CompressionInteger::MostBytes);
            output.Staged(CompressionInteger::Put(static_cast<std::uint32_t>(plan->GetClassIndex()),
                                                  CompressionInteger::Put(oid, out)));
        } else {
            CompressionInteger::Write(oid, output);
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
                known = &Plan(type, *plan, PropertyPlan::AsBase(object));
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

    // The innermost record, a planned one, from its place on: up to its end, or to a reference that
    // opens the record of an object not yet in the stream (which is written first); then the record
    // innermost after it, as long as that is a planned one.
    void StepPlanned()
    {
        do {
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
                        break;
                    continue;
                }
                if (top.step == count) {
                    EndedPlanned(record);
                    break;
                }
                const std::size_t position = top.step;
                const PropertyPlan::Step& step = plan.GetStep(position);
                if (const std::size_t last = plan.SettledValuesEnd(position);
                    last != position || IsSettledReference(record.compiled->steps[position])) {
                    // A run of values whose names and codes the stream holds, or settled references: the
                    // payloads and objects alone, with the settled steps that follow, up to a reference
                    // that opens a record.
                    if (WriteRun(plan, record.compiled->RunAt(position, last).ops.data(), object, record))
                        break;
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
                if (step.isArray)
                    WriteCount(entry, top.elements);
                if (top.elements != 0)
                    Typed(plan, compiled, position);
            }
        } while (!open.empty() && open.back().plan);
    }

    // The count of a list of references.
    void WriteCount(const PropertyEntry& entry, std::size_t elements)
    {
        if (elements > static_cast<std::size_t>(INT32_MAX))
            output.Refuse(ArchiveException::genericException, "array property " + ArchiveException::Quote(entry.name) +
                                                                  " has " + std::to_string(elements) +
                                                                  " elements, too many to store");
        output.Staged(CompressionInteger::Put(static_cast<std::uint32_t>(elements),
                                              output.Reserve(CompressionInteger::MostBytes)));
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

    // The plan of a class the stream has given one, and its payload steps; null before. A class's
    // plan does not change once the stream has it, so its later records need no lookup.
    const ClassPlan* Known(const std::type_info* type)
    {
        for (const ClassPlan* const known : recent) {
            if (known && known->type == type)
                return known;
        }
        for (const ClassPlan& known : planned) {
            if (known.type == type) {
                recent[1] = recent[0];
                recent[0] = &known;
                return &known;
            }
        }
        return nullptr;
    }

    // Keeps the plan of a class, with its payload steps: compiled at the plan's first record in this
    // run.
    const ClassPlan& Plan(const std::type_info* type, const PropertyPlan& plan, const Base& object)
    {
        auto found = std::find_if(compiledPlans.begin(), compiledPlans.end(),
                                  [&plan](const CompiledPlan& compiled) { return compiled.plan == &plan; });
        if (found == compiledPlans.end()) {
            compiledPlans.push_back({&plan, CompilePayloads(plan, object), {}});
            compiledPlans.back().runs.resize(plan.GetCount());
            found = compiledPlans.end() - 1;
        }
        recent[1] = recent[0];
        planned.push_back({type, &plan, &*found});
        recent[0] = &planned.back();
        return *recent[0];
    }

    // A settled run's payloads by its program: members' bytes straight into room reserved in the
    // stream, segment by segment, the others by their entries, and references' objects. The record's
    // place moves past what is written: true when a reference opened a record, which is written first.
    bool WriteRun(const PropertyPlan& plan, const RunOp* op, Base& object, Open& record)
    {
        Planned& top = record.planned;
        using Form = RunOp::Form;
        Archive& bytes = output;
        const char* const at = reinterpret_cast<const char*>(&object);
        std::uint8_t* out = nullptr;
        // Ends the reserved room at what was written in it, before the stream is written otherwise.
        const auto closeRoom = [&] {
            if (out) {
                bytes.Staged(out);
                out = nullptr;
            }
        };
        // A value its entry writes to the stream: by its payload writer, else by its pass.
        const auto byEntry = [&](std::size_t position, bool payload) {
            closeRoom();
            if (!payload || !plan.GetStep(position).entry->payload(bytes, object))
                plan.WriteValues(stream, object, position, position + 1);
        };
        // Most runs begin with a segment: its room is taken before the loop.
        if (op->form == Form::Reserve) {
            out = bytes.Reserve(op->room);
            ++op;
        }
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
            case Form::Block:
                out = PutBlock(out, member, op->size);
                break;
            case Form::Bit:
                *out++ = (static_cast<std::uint8_t>(*member) & op->masks[0]) != 0 ? 1 : 0;
                break;
            case Form::Bits: {
                const auto bits = static_cast<std::uint8_t>(*member);
                for (std::size_t bit = 0; bit < op->size; ++bit)
                    out[bit] = (bits & op->masks[bit]) != 0 ? 1 : 0;
                out += op->size;
                break;
            }
            case Form::Text:
                // A text held in place: its length, then the member's bytes from its first on.
                if (const std::string_view text = reinterpret_cast<const SmallString*>(member)->View();
                    text.data() == member) {
                    *out = static_cast<std::uint8_t>(text.size());
                    std::memcpy(out + 1, member, sizeof(SmallString));
                    out += 1 + text.size();
                    break;
                }
                [[fallthrough]];
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
            case Form::Reference:
                closeRoom();
                if (WriteReference(plan.GetStep(op->position).entry->referenced(object, 0))) {
                    top.step = op->position + 1;
                    return true;
                }
                break;
            case Form::References: {
                closeRoom();
                const PropertyEntry& entry = *plan.GetStep(op->position).entry;
                const std::size_t elements = entry.references(object);
                WriteCount(entry, elements);
                if (elements == 0)
                    break;
                Typed(plan, record.compiled->steps[op->position], op->position);
                for (std::size_t element = 0; element < elements; ++element) {
                    if (WriteReference(entry.referenced(object, element))) {
                        top.step = op->position + 1;
                        top.element = element + 1;
                        top.elements = elements;
                        return true;
                    }
                }
                break;
            }
            case Form::End:
                if (out)
                    bytes.Staged(out);
                top.step = op->position;
                return false;
            }
        }
    }

    // A byte block of a member of size bytes: its length, then its bytes.
    static std::uint8_t* PutBlock(std::uint8_t* out, const char* member, std::size_t size)
    {
        const auto length = static_cast<std::int32_t>(size);
        std::memcpy(out, &length, sizeof length);
        std::memcpy(out + sizeof length, member, size);
        return out + sizeof length + size;
    }
    // The same for a size known when compiling, copied as one move.
    template <std::size_t Size>
    static std::uint8_t* PutBlock(std::uint8_t* out, const char* member)
    {
        return PutBlock(out, member, Size);
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
            output.Write(bytes + top.offset, recorder.GetEnd() - recorder.GetStart() - top.offset);
            Ended(record);
            return;
        }
        const Recorder::Item& item = recorder.GetItem(top.item++);
        const std::size_t itemOffset = item.offset - recorder.GetStart();
        output.Write(bytes + top.offset, itemOffset - top.offset);
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
        ++PropertyStream::g_recordCounts.written;
        PropertyStream::g_recordCounts.writtenByPlan += plan ? 1 : 0;
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

    // Ended for a planned record, which neither keeps a recording nor has a place among the kept.
    void EndedPlanned(const Open& record)
    {
        Base& finished = PropertyPlan::AsBase(*record.object);
        const PropertyPlan& plan = *record.plan;
        ++PropertyStream::g_recordCounts.written;
        ++PropertyStream::g_recordCounts.writtenByPlan;
        open.pop_back();
        plan.AfterStoring(finished, stream);
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
        std::uint8_t* const out = output.Reserve(1 + CompressionInteger::MostBytes);
        if (!object) {
            *out = 1;
            output.Staged(out + 1);
            return false;
        }
        *out = 0;
        // The map itself rather than IsOID and AddOIDMapEntry, which calls from here cannot inline.
        const std::uint32_t oid = object->GetOID();
        if (!written.Insert(oid)) {
            output.Staged(CompressionInteger::Put(oid, out + 1));
            return false;
        }
        out[1] = 0;
        output.Staged(out + 2);
        Begin(*object, oid);
        return true;
    }

    PropertyArchive& stream;
    // The stream's archive and its map of the objects written, which stay for the writer's life.
    Archive& output;
    OIDMap& written;
    std::deque<CompiledPlan> compiledPlans;
    // The classes met with a plan, and the last two looked up: entries stay in place.
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

} // namespace Tavrel
