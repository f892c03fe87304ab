// PropertyPlan: a class's stored properties by stream position, compiled once per class from its levels' tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/foundation/AbstractFactory.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

class Base;
class Catalog;
class ClassHierarchy;
class PropertyArchive;
struct RuntimeClass;

// The records of a class whose every level stores its values from a table are written and read by
// position: each step calls its table entry's typed write or read half, with no name handling, and
// the tables' hooks stand for the levels' passes before and after a record. A plan is compiled when
// the stream meets the class's first record and is tied to the stream's description of the class
// (class index, names, array flags and type codes by position, read live); the stream gives the
// description with the class's first records, so a plan checks each name as it comes. A stream whose
// description turns out to be another drops the plan: records go on by name from there.
class PropertyPlan {
public:
    // What a step holds: one value of a plain code or a byte block, one object reference, an array,
    // or one pair of references.
    enum class Kind : std::uint8_t { Value, Reference, Array, Pair };
    struct Step {
        const PropertyEntry* entry;
        bool isArray;
        Kind kind;
    };

    // The plan of the object's class from its levels' tables; null when a level of the class writes
    // values of its own (not from a table) or no level has a table.
    static std::unique_ptr<PropertyPlan> Compile(const Catalog& object);

    // Whether a stream's description of the class, as far as it goes, is the plan's: the count when
    // known (-1: not yet), the same names (compared exactly) and array flags by position, and the
    // plan's code wherever the stream has given one (-1: not yet).
    bool Matches(std::int32_t count, const std::vector<std::string>& names, const std::vector<std::int32_t>& arrayFlags,
                 const std::vector<std::int32_t>& typeCodes) const;
    // Whether the stream's name and array flag at a position are the plan's.
    bool Matches(std::size_t position, std::string_view name, bool isArray) const;
    // Ties the plan to the stream's description of its class: the class's index, and its count
    // (-1 while not given), names, array flags and type codes by position as the stream gives them.
    void Bind(std::int32_t classIndex, const std::int32_t& count, const std::vector<std::string>& names,
              const std::vector<std::int32_t>& arrayFlags, const std::vector<std::int32_t>& typeCodes,
              std::string className);
    // Reading: the factory that created the objects of the stored hierarchy (the first of its names
    // that the registry knows), so later records create theirs without looking names up.
    void BindFactory(const ClassHierarchy& hierarchy);
    // The stream's description is not the plan's: no record begins by the plan any more, and those
    // begun go on by name.
    void Drop() { m_dropped = true; }
    bool IsDropped() const { return m_dropped; }

    std::size_t GetCount() const { return m_steps.size(); }
    const Step& GetStep(std::size_t position) const { return m_steps[position]; }
    std::int32_t GetClassIndex() const { return m_classIndex; }
    const std::string& GetClassName() const { return m_className; }
    // Whether the stream has given the class's count.
    bool IsCounted() const { return m_givenCount != -1; }
    // The class's count the stream has given, -1 before; while the plan is not dropped, its own.
    std::int32_t GetGivenCount() const { return m_givenCount; }
    // The stream has given the class's count.
    void GivenCount(std::int32_t count) { m_givenCount = count; }
    // Whether the stream has given the name and array flag of a position; once given, kept.
    bool IsNamed(std::size_t position) const
    {
        if (position < m_settled.size() && (m_settled[position] & KeptNamed) != 0)
            return true;
        const bool named =
            position < m_names->size() && position < m_arrayFlags->size() && (*m_arrayFlags)[position] != -1;
        if (named && position < m_settled.size())
            m_settled[position] |= KeptNamed;
        return named;
    }
    // The code the stream has given for a position, -1 while it has not.
    std::int32_t GetTypeCode(std::size_t position) const
    {
        return position < m_typeCodes->size() ? (*m_typeCodes)[position] : -1;
    }
    // Whether the stream has given the name, array flag and type code of a position, the code being
    // the step's own: records then carry only the position's values. Once given, a description does
    // not change, so the answer is kept.
    bool IsSettled(std::size_t position) const
    {
        if ((m_settled[position] & KeptSettled) != 0)
            return true;
        const bool settled = IsNamed(position) && GetTypeCode(position) == m_steps[position].entry->code;
        if (settled)
            m_settled[position] |= KeptSettled;
        return settled;
    }
    // The end of the run of settled values (Kind::Value, IsSettled) from a position on: the position
    // itself when its step is not one. A run that ends at the count or at a step of another kind
    // cannot grow any more, so its end is kept.
    std::size_t SettledValuesEnd(std::size_t position) const
    {
        if (const std::uint32_t kept = m_valuesEnd[position]; kept != 0)
            return kept - 1;
        return FindSettledValuesEnd(position);
    }
    // A stretch of a record that a reader takes in one go: a run of settled values up to last, a
    // settled reference or a named array (last: the next position), or Kind::Pair where it stops (a
    // pair, a position the stream has not settled, the count).
    struct Segment {
        Kind kind;
        bool kept; // a run whose end is kept: ReadRun reads it
        std::uint32_t last;
        const PropertyEntry* entry;
    };
    // The segments of a record from a position on, in order and ending with a stop, once the stream
    // has settled the class's whole description (a description given does not change); null before
    // that, and at a position no segment begins at.
    const Segment* SegmentsFrom(std::size_t position) const
    {
        if (!m_segmentsReady && !Settle()) [[unlikely]]
            return nullptr;
        const std::uint32_t index = m_segmentAt[position];
        return index != NoSegment ? m_segments.data() + index : nullptr;
    }
    // The segment at a position as far as the stream has described the class; count is the record's.
    [[gnu::noinline]] Segment SegmentAt(std::size_t position, std::size_t count) const;
    // Reads the values of the steps from first up to last, each of Kind::Value and settled, straight
    // from the stream's input at `at` (the input ends at end) into the object; returns the place after
    // them. The archive's cursor is moved only where a payload goes the checked way. ReadRun reads a
    // run whose end is kept (Segment::kept), which ends at a link that ends it: its links read it
    // whole. A payload a link does not take in place (or a damaged one) is read from the stream at its
    // place, which refuses what the stream refuses, and the run goes on from the next link.
    // WriteValues writes their payloads alone.
    const std::uint8_t* ReadRun(PropertyArchive& archive, Base& object, std::size_t first, const std::uint8_t* at,
                                const std::uint8_t* end) const
    {
        const ValueLink* link = &m_links[first];
        for (;;) {
            const ValueLink::Stop stop = link->read(at, end, object, link);
            if (!stop.link) [[likely]]
                return stop.at;
            const auto position = static_cast<std::size_t>(stop.link - m_links.data());
            at = ReadByPass(archive, object, position, stop.at);
            link = stop.link + 1;
        }
    }
    [[gnu::noinline]] const std::uint8_t* ReadValues(PropertyArchive& archive, Base& object, std::size_t first,
                                                     std::size_t last, const std::uint8_t* at) const;
    void WriteValues(PropertyArchive& archive, Base& object, std::size_t first, std::size_t last) const;

    // The levels' work before and after a record of the planned class: the tables' hooks, base first.
    void BeforeRecord(Base& object, PropertyArchive& archive) const
    {
        RunHooks(m_before, PropertyArchive::MethodBefore, object, archive);
    }
    void AfterRecord(Base& object, PropertyArchive& archive) const
    {
        RunHooks(m_after, PropertyArchive::MethodAfter, object, archive);
    }
    bool HasBeforeRecord() const { return !m_before.empty(); }
    // The same around a record being written, which skips the hooks for loading only; whether there
    // are any.
    void BeforeStoring(Base& object, PropertyArchive& archive) const
    {
        RunHooks(m_beforeStoring, PropertyArchive::MethodBefore, object, archive);
    }
    void AfterStoring(Base& object, PropertyArchive& archive) const
    {
        RunHooks(m_afterStoring, PropertyArchive::MethodAfter, object, archive);
    }
    bool HasBeforeStoring() const { return !m_beforeStoring.empty(); }
    bool HasAfterStoring() const { return !m_afterStoring.empty(); }

    // A new object of the planned class; null when there is no factory or it gave something else
    // (created then holds it, for the generic reader to take).
    Base* Create(PersistentObject*& created) const
    {
        created = m_factory ? m_factory->Create() : nullptr;
        if (!created || created->GetRuntimeClass() != m_class)
            return nullptr;
        return static_cast<Base*>(created);
    }
    // The object as a Base; the plan was compiled from one of its class.
    static Base& AsBase(Catalog& object) { return static_cast<Base&>(object); }

    // The pass that runs a step's halves on one object: no base level and no name routing. A writing
    // pass writes the stream's name and code of the step only where the stream has not given them;
    // a reading pass takes each payload straight from the stream (name is the property's, for
    // messages).
    PropertyPass WritePass(PropertyArchive& archive, Base& object, std::size_t position) const
    {
        return PropertyPass(archive, object, *this, position, false, m_steps[position].entry->name);
    }
    PropertyPass ReadPass(PropertyArchive& archive, Base& object, std::size_t position) const
    {
        return PropertyPass(archive, object, *this, position, true, m_steps[position].entry->name);
    }

private:
    // Runs one side's hooks, the archive telling them which side it is on.
    static void RunHooks(const std::vector<RecordHook>& hooks, PropertyArchive::MethodType method, Base& object,
                         PropertyArchive& archive)
    {
        archive.SetMethodType(method);
        for (const RecordHook hook : hooks)
            hook(object, archive.GetArchive(), &archive);
    }

    // Compiles the segments once the whole description is settled: false while it is not. A pair is
    // a stop among them (it is read the generic way).
    [[gnu::noinline]] bool Settle() const;
    // SettledValuesEnd of a position whose end is not kept yet.
    std::size_t FindSettledValuesEnd(std::size_t position) const;
    // ReadValues of a payload at `at` its entry does not take in place: by the step's read half.
    [[gnu::noinline]] const std::uint8_t* ReadByPass(PropertyArchive& archive, Base& object, std::size_t position,
                                                     const std::uint8_t* at) const;

    std::vector<Step> m_steps;
    // By position: the step's entry's readInPlace (one that takes nothing for none), in one flat list
    // for ReadValues; and its link, a step of another kind and the count ending a run.
    using InPlaceRead = const std::uint8_t* (*)(const std::uint8_t*, const std::uint8_t*, Base&);
    std::vector<InPlaceRead> m_inPlace;
    std::vector<ValueLink> m_links;
    // By position: what the stream's description has given, once given (IsNamed, IsSettled).
    static constexpr std::uint8_t KeptSettled = 1;
    static constexpr std::uint8_t KeptNamed = 2;
    mutable std::vector<std::uint8_t> m_settled;
    mutable std::vector<std::uint32_t> m_valuesEnd; // by position: 1 + the kept SettledValuesEnd, 0 if none
    // The segments (SegmentsFrom) and, by position, the index of the one that begins there.
    static constexpr std::uint32_t NoSegment = UINT32_MAX;
    mutable bool m_segmentsReady = false;
    mutable std::size_t m_described = 0; // how much of the class the stream had described at the last try
    mutable std::vector<Segment> m_segments;
    mutable std::vector<std::uint32_t> m_segmentAt;
    std::vector<RecordHook> m_before;
    std::vector<RecordHook> m_after;
    std::vector<RecordHook> m_beforeStoring;
    std::vector<RecordHook> m_afterStoring;
    const RuntimeClass* m_class = nullptr;
    const AbstractFactory* m_factory = nullptr;
    std::int32_t m_classIndex = 0;
    std::int32_t m_givenCount = -1;
    const std::vector<std::string>* m_names = nullptr;
    const std::vector<std::int32_t>* m_arrayFlags = nullptr;
    const std::vector<std::int32_t>* m_typeCodes = nullptr;
    std::string m_className;
    bool m_dropped = false;
};

} // namespace Tavrel
