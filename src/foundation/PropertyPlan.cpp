#include <tavrel/foundation/PropertyPlan.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include <tavrel/foundation/AbstractFactory.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/ClassHierarchy.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/RuntimeMap.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

namespace {

// The in-place read of an entry that has none: every payload goes through its read.
const std::uint8_t* TakesNothingInPlace(const std::uint8_t*, const std::uint8_t*, Base&)
{
    return nullptr;
}

} // namespace

std::unique_ptr<PropertyPlan> PropertyPlan::Compile(const Catalog& catalog)
{
    const auto* object = dynamic_cast<const Base*>(&catalog);
    if (!object || !object->IsStoredByTables() || !object->GetPropertyTable())
        return nullptr;
    std::vector<const PropertyTable*> levels;
    for (const PropertyTable* table = object->GetPropertyTable(); table; table = table->GetBase())
        levels.push_back(table);
    auto plan = std::make_unique<PropertyPlan>();
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
        if (const RecordHook before = (*level)->GetBefore())
            plan->m_before.push_back(before);
        if (const RecordHook after = (*level)->GetAfter())
            plan->m_after.push_back(after);
        if (const RecordHook before = (*level)->GetBeforeStoring())
            plan->m_beforeStoring.push_back(before);
        if (const RecordHook after = (*level)->GetAfterStoring())
            plan->m_afterStoring.push_back(after);
        for (const PropertyEntry& entry : (*level)->Entries()) {
            if (!entry.Has(PropertyEntry::Persisted))
                continue;
            const bool isArray = entry.Has(PropertyEntry::Array);
            Kind kind = Kind::Value;
            if (isArray)
                kind = Kind::Array;
            else if (entry.code == Storage::StorageObject)
                kind = Kind::Reference;
            else if (entry.code == Storage::StoragePair)
                kind = Kind::Pair;
            plan->m_steps.push_back({&entry, isArray, kind});
            plan->m_inPlace.push_back(entry.readInPlace ? entry.readInPlace : TakesNothingInPlace);
            if (kind != Kind::Value)
                plan->m_links.push_back({ValueLink::Ends});
            else
                plan->m_links.push_back({entry.readLinked ? entry.readLinked : ValueLink::TakesNothing});
        }
    }
    plan->m_links.push_back({ValueLink::Ends});
    // Bits of one byte that reading stores alone, side by side: one link sets two or three together.
    // The byte lies at the same place in every object of the class.
    const std::vector<Step>& steps = plan->m_steps;
    const auto isBit = [&steps](std::size_t position, const PropertyEntry& head) {
        const PropertyEntry& bit = *steps[position].entry;
        return steps[position].kind == Kind::Value && bit.Has(PropertyEntry::BitAlone) && bit.member == head.member;
    };
    for (std::size_t first = 0; first < steps.size();) {
        const PropertyEntry& head = *steps[first].entry;
        std::size_t last = first;
        while (last < steps.size() && last - first < std::size(ValueLink{}.masks) && isBit(last, head))
            ++last;
        if (last - first < 2) {
            ++first;
            continue;
        }
        ValueLink& link = plan->m_links[first];
        link.read = last - first == 2 ? ValueLink::Bits<2> : ValueLink::Bits<3>;
        link.offset = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(head.member(*object)) -
                                                 reinterpret_cast<const std::uint8_t*>(object));
        for (std::size_t position = first; position < last; ++position) {
            link.masks[position - first] = steps[position].entry->memberMask;
            link.all = static_cast<std::uint8_t>(link.all | steps[position].entry->memberMask);
        }
        first = last;
    }
    plan->m_settled.assign(plan->m_steps.size(), 0);
    plan->m_valuesEnd.assign(plan->m_steps.size(), 0);
    plan->m_class = object->GetRuntimeClass();
    return plan;
}

bool PropertyPlan::Matches(std::int32_t count, const std::vector<std::string>& names,
                           const std::vector<std::int32_t>& arrayFlags, const std::vector<std::int32_t>& typeCodes) const
{
    if ((count != -1 && static_cast<std::size_t>(count) != m_steps.size()) || names.size() > m_steps.size())
        return false;
    const auto at = [](const std::vector<std::int32_t>& values, std::size_t i) {
        return i < values.size() ? values[i] : -1;
    };
    for (std::size_t i = 0; i < m_steps.size(); ++i) {
        const Step& step = m_steps[i];
        const std::int32_t flag = at(arrayFlags, i);
        const std::int32_t code = at(typeCodes, i);
        if ((i < names.size() && !Matches(i, names[i], flag == 1)) || (code != -1 && code != step.entry->code))
            return false;
    }
    return true;
}

bool PropertyPlan::Matches(std::size_t position, std::string_view name, bool isArray) const
{
    return position < m_steps.size() && m_steps[position].entry->name == name && m_steps[position].isArray == isArray;
}

void PropertyPlan::Bind(std::int32_t classIndex, const std::int32_t& count, const std::vector<std::string>& names,
                        const std::vector<std::int32_t>& arrayFlags, const std::vector<std::int32_t>& typeCodes,
                        std::string className)
{
    m_classIndex = classIndex;
    m_givenCount = count;
    m_names = &names;
    m_arrayFlags = &arrayFlags;
    m_typeCodes = &typeCodes;
    m_className = std::move(className);
}

void PropertyPlan::BindFactory(const ClassHierarchy& hierarchy)
{
    const auto& factories = RuntimeMap::GetRuntimeMap().GetEntries();
    for (const std::string& name : hierarchy.GetNames()) {
        if (const auto found = factories.find(name); found != factories.end() && found->second) {
            m_factory = found->second;
            return;
        }
    }
}

std::size_t PropertyPlan::FindSettledValuesEnd(std::size_t position) const
{
    std::size_t last = position;
    while (last < m_steps.size() && m_steps[last].kind == Kind::Value && IsSettled(last))
        ++last;
    if (last == m_steps.size() || m_steps[last].kind != Kind::Value)
        m_valuesEnd[position] = static_cast<std::uint32_t>(last + 1);
    return last;
}

PropertyPlan::Segment PropertyPlan::SegmentAt(std::size_t position, std::size_t count) const
{
    const Step& step = m_steps[position];
    const auto next = static_cast<std::uint32_t>(position + 1);
    switch (step.kind) {
    case Kind::Value:
        if (const std::size_t last = std::min(SettledValuesEnd(position), count); last != position)
            return {Kind::Value, m_valuesEnd[position] == last + 1, static_cast<std::uint32_t>(last), step.entry};
        break;
    case Kind::Reference:
        if (IsSettled(position))
            return {Kind::Reference, false, next, step.entry};
        break;
    case Kind::Array:
        if (IsNamed(position))
            return {Kind::Array, false, next, step.entry};
        break;
    case Kind::Pair:
        break;
    }
    return {Kind::Pair, false, static_cast<std::uint32_t>(position), nullptr};
}

bool PropertyPlan::Settle() const
{
    // Tried again only once the stream has described more of the class: records nested in the
    // class's first one (a bonded chain) begin before it has described its later positions.
    if (m_dropped || !IsCounted())
        return false;
    const std::size_t described = m_names->size() + m_arrayFlags->size() + m_typeCodes->size();
    if (described == m_described)
        return false;
    m_described = described;
    std::vector<Segment> segments;
    std::vector<std::uint32_t> segmentAt(m_steps.size(), NoSegment);
    for (std::size_t position = 0; position < m_steps.size();) {
        Segment segment = SegmentAt(position, m_steps.size());
        if (m_steps[position].kind == Kind::Pair) {
            // A pair is read the generic way: a stop, with the segments after it.
            segment.last = static_cast<std::uint32_t>(position + 1);
        } else if (segment.kind == Kind::Pair || (segment.kind == Kind::Value && !segment.kept)) {
            // A run's end is kept once every value of it is settled.
            return false;
        }
        segmentAt[position] = static_cast<std::uint32_t>(segments.size());
        segments.push_back(segment);
        position = segment.last;
    }
    segments.push_back({Kind::Pair, false, static_cast<std::uint32_t>(m_steps.size()), nullptr});
    m_segments = std::move(segments);
    m_segmentAt = std::move(segmentAt);
    m_segmentsReady = true;
    return true;
}

const std::uint8_t* PropertyPlan::ReadValues(PropertyArchive& archive, Base& object, std::size_t first,
                                             std::size_t last, const std::uint8_t* at) const
{
    const std::uint8_t* const end = archive.GetArchive().GetEnd();
    if (m_valuesEnd[first] == last + 1)
        return ReadRun(archive, object, first, at, end);
    for (std::size_t position = first; position < last; ++position) {
        if (const std::uint8_t* const next = m_inPlace[position](at, end, object))
            at = next;
        else
            at = ReadByPass(archive, object, position, at);
    }
    return at;
}

const std::uint8_t* PropertyPlan::ReadByPass(PropertyArchive& archive, Base& object, std::size_t position,
                                             const std::uint8_t* at) const
{
    Archive& stream = archive.GetArchive();
    const PropertyEntry& entry = *m_steps[position].entry;
    stream.MoveTo(at);
    PropertyPass pass = ReadPass(archive, object, position);
    entry.read(pass, entry.name, object);
    return stream.GetCursor();
}

void PropertyPlan::WriteValues(PropertyArchive& archive, Base& object, std::size_t first, std::size_t last) const
{
    PropertyPass pass = WritePass(archive, object, first);
    pass.m_settled = true;
    for (std::size_t position = first; position < last; ++position) {
        const PropertyEntry& entry = *m_steps[position].entry;
        pass.m_position = position;
        pass.m_name = entry.name;
        entry.write(pass, entry.name, object);
    }
}

} // namespace Tavrel
