#include <tavrel/foundation/CompressedPropertyArchive.h>

#include <stdexcept>
#include <utility>

#include <tavrel/foundation/Catalog.h>
#include <tavrel/foundation/CompressionInteger.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

namespace {

[[noreturn]] void Malformed(const Archive& archive, std::size_t at, ArchiveException::Cause cause,
                            const std::string& message)
{
    archive.Refuse(cause, "malformed property stream: " + message, at);
}

// The code or flag at a position; -1 while the stream has not given it.
std::int32_t At(const std::vector<std::int32_t>& values, std::int32_t position)
{
    return static_cast<std::size_t>(position) < values.size() ? values[static_cast<std::size_t>(position)] : -1;
}

void SetAt(std::vector<std::int32_t>& values, std::int32_t position, std::int32_t value)
{
    const auto index = static_cast<std::size_t>(position);
    if (index >= values.size())
        values.resize(index + 1, -1);
    values[index] = value;
}

// Records of a class name their properties in the same order, so the position after the last one
// looked up (or that one again, for a value after its name) is tried before the map.
std::int32_t PositionOf(ClassDictionaryEntry& entry, std::string_view name)
{
    for (const std::int32_t guess : {entry.lastPosition, entry.lastPosition + 1}) {
        if (guess >= 0 && static_cast<std::size_t>(guess) < entry.names.size() &&
            entry.names[static_cast<std::size_t>(guess)] == name)
            return entry.lastPosition = guess;
    }
    const auto found = entry.positions.find(name);
    if (found == entry.positions.end())
        return -1;
    return entry.lastPosition = found->second;
}

} // namespace

ClassDictionaryEntry* CompressionDictionary::Find(std::string_view className)
{
    if (m_last && m_last->className == className)
        return m_last;
    const auto found = m_byName.find(className);
    if (found == m_byName.end())
        return nullptr;
    return m_last = found->second;
}

ClassDictionaryEntry* CompressionDictionary::FindIndex(std::int32_t index)
{
    if (index >= 0 && index < DenseIndices)
        return static_cast<std::size_t>(index) < m_byDenseIndex.size() ? m_byDenseIndex[static_cast<std::size_t>(index)] : nullptr;
    const auto found = m_byIndex.find(index);
    return found == m_byIndex.end() ? nullptr : found->second;
}

ClassDictionaryEntry& CompressionDictionary::Add(const ClassHierarchy& hierarchy, std::int32_t index)
{
    auto entry = std::make_unique<ClassDictionaryEntry>();
    entry->className = hierarchy.GetClassNameA();
    entry->classIndex = index;
    entry->hierarchy = hierarchy;
    ClassDictionaryEntry& added = *entry;
    m_entries.push_back(std::move(entry));
    m_byName.emplace(added.className, &added);
    if (index >= 0 && index < DenseIndices) {
        const auto position = static_cast<std::size_t>(index);
        if (position >= m_byDenseIndex.size())
            m_byDenseIndex.resize(position + 1, nullptr);
        m_byDenseIndex[position] = &added;
    } else {
        m_byIndex.emplace(index, &added);
    }
    return added;
}

ClassDictionaryEntry* CompressionDictionary::FindClass(const Catalog& object)
{
    const RuntimeClass* runtimeClass = object.GetRuntimeClass();
    if (runtimeClass == m_recentClasses[0].runtimeClass && m_recentClasses[0].entry)
        return m_recentClasses[0].entry;
    if (runtimeClass == m_recentClasses[1].runtimeClass && m_recentClasses[1].entry) {
        std::swap(m_recentClasses[0], m_recentClasses[1]);
        return m_recentClasses[0].entry;
    }
    ClassDictionaryEntry* entry = nullptr;
    if (const auto found = m_byClass.find(runtimeClass); found != m_byClass.end()) {
        entry = found->second;
    } else {
        entry = Find(object.GetClassHierarchyName());
        if (!entry)
            return nullptr;
        m_byClass.emplace(runtimeClass, entry);
    }
    m_recentClasses[1] = m_recentClasses[0];
    m_recentClasses[0] = {runtimeClass, entry};
    return entry;
}

namespace {

// The plan of the entry's class compiled from object, tied to the stream's description of the class
// when that, as far as the stream has given it, is the plan's.
std::unique_ptr<PropertyPlan> CompileFor(ClassDictionaryEntry& entry, const Catalog& object)
{
    entry.planTried = true;
    std::unique_ptr<PropertyPlan> plan = PropertyPlan::Compile(object);
    if (!plan || !plan->Matches(entry.propertyCount, entry.names, entry.arrayFlags, entry.typeCodes))
        return nullptr;
    plan->Bind(entry.classIndex, entry.propertyCount, entry.names, entry.arrayFlags, entry.typeCodes, entry.className);
    return plan;
}

// A plan whose class the stream describes otherwise goes.
void CheckPlan(ClassDictionaryEntry& entry, std::int32_t position)
{
    if (entry.plan && !entry.plan->IsDropped() &&
        !entry.plan->Matches(static_cast<std::size_t>(position), entry.names[static_cast<std::size_t>(position)],
                             At(entry.arrayFlags, position) == 1))
        entry.plan->Drop();
}

} // namespace

CompressedPropertyArchive::CompressedPropertyArchive(Archive& archive) : PropertyArchive(archive) {}

CompressedPropertyArchive::~CompressedPropertyArchive() = default;

void CompressedPropertyArchive::WriteClassHierarchy(const ClassHierarchy& hierarchy)
{
    Archive& stream = GetArchive();
    if (const ClassDictionaryEntry* entry = m_dictionary.Find(hierarchy.GetClassNameA())) {
        CompressionInteger::Write(entry->classIndex, stream);
        return;
    }
    const ClassDictionaryEntry& entry = m_dictionary.Add(hierarchy, m_dictionary.GetNumberOfClasses() + 1);
    CompressionInteger::Write(std::uint32_t{0}, stream);
    CompressionInteger::Write(entry.classIndex, stream);
    PropertyArchive::WriteClassHierarchy(hierarchy);
}

ClassHierarchy CompressedPropertyArchive::ReadClassHierarchy()
{
    return *ReadRecordClass().hierarchy;
}

PropertyArchive::RecordClass CompressedPropertyArchive::ReadRecordClass()
{
    Archive& stream = GetArchive();
    const std::size_t at = stream.GetPosition();
    return RecordClassOf(CompressionInteger::TakeUnsignedInteger(stream), at);
}

PropertyArchive::RecordClass CompressedPropertyArchive::RecordClassOf(std::uint32_t index, std::size_t at)
{
    if (index == 0)
        return ReadClassDefinition(at);
    ClassDictionaryEntry* entry = m_dictionary.FindIndex(static_cast<std::int32_t>(index));
    if (!entry)
        Malformed(GetArchive(), at, ArchiveException::badIndex, "class index " + std::to_string(index) + " is not defined");
    return entry->RecordClass();
}

PropertyArchive::RecordClass CompressedPropertyArchive::ReadClassDefinition(std::size_t at)
{
    Archive& stream = GetArchive();
    const std::int32_t index = CompressionInteger::ReadInteger(stream);
    ClassHierarchy hierarchy = PropertyArchive::ReadClassHierarchy();
    if (m_dictionary.FindIndex(index))
        Malformed(stream, at, ArchiveException::badIndex, "class index " + std::to_string(index) + " is defined twice");
    if (m_dictionary.Find(hierarchy.GetClassNameA()))
        Malformed(stream, at, ArchiveException::badClass,
                  "class " + ArchiveException::Quote(hierarchy.GetClassNameA()) + " is defined twice");
    ClassDictionaryEntry& entry = m_dictionary.Add(hierarchy, index);
    return entry.RecordClass();
}

const PropertyPlan* CompressedPropertyArchive::FindWritePlan(Catalog& object)
{
    // An object of a class derived without a run-time class of its own shares its base's run-time
    // class, by which the dictionary finds classes, but not the base's record.
    if (!PropertyPlan::AsBase(object).IsStoredByTables())
        return nullptr;
    ClassDictionaryEntry* entry = m_dictionary.FindClass(object);
    if (!entry)
        return nullptr;
    if (!entry->planTried)
        entry->plan = CompileFor(*entry, object);
    return entry->plan.get();
}

const PropertyPlan* CompressedPropertyArchive::FindReadPlan(ClassDictionaryEntry& entry, Base* created)
{
    if (!entry.planTried && created) {
        entry.plan = CompileFor(entry, *created);
        if (entry.plan)
            entry.plan->BindFactory(entry.hierarchy);
    }
    return entry.ReadPlan();
}

void CompressedPropertyArchive::WriteNumberOfProperties(std::string_view className, std::int32_t count)
{
    ClassDictionaryEntry* entry = m_dictionary.Find(className);
    if (!entry)
        throw std::logic_error("class \"" + std::string(className) + "\" has no hierarchy in the stream");
    if (entry->propertyCount != -1)
        return;
    entry->propertyCount = count;
    if (entry->plan)
        entry->plan->GivenCount(count);
    CompressionInteger::Write(count, GetArchive());
}

std::int32_t CompressedPropertyArchive::ReadNumberOfProperties(std::string_view className)
{
    ClassDictionaryEntry* entry = m_dictionary.Find(className);
    if (!entry)
        return 0;
    if (entry->propertyCount == -1) {
        const std::size_t at = GetArchive().GetPosition();
        const std::int32_t count = CompressionInteger::ReadInteger(GetArchive());
        if (count < 0)
            Malformed(GetArchive(), at, ArchiveException::genericException,
                      "property count " + std::to_string(count) + " of class " + ArchiveException::Quote(className));
        entry->propertyCount = count;
        if (entry->plan) {
            entry->plan->GivenCount(count);
            if (static_cast<std::size_t>(count) != entry->plan->GetCount())
                entry->plan->Drop();
        }
    }
    return entry->propertyCount;
}

void CompressedPropertyArchive::WritePropertyName(std::string_view className, std::string_view propertyName,
                                                  bool isArray)
{
    ClassDictionaryEntry* entry = m_dictionary.Find(className);
    if (!entry)
        throw std::logic_error("class \"" + std::string(className) + "\" has no hierarchy in the stream");
    std::int32_t position = PositionOf(*entry, propertyName);
    if (position < 0) {
        position = static_cast<std::int32_t>(entry->names.size());
        if (position >= entry->propertyCount)
            throw std::logic_error("class \"" + std::string(className) + "\" writes more properties than it counts");
        entry->names.emplace_back(propertyName);
        entry->positions.emplace(std::string(propertyName), position);
        GetArchive() << propertyName;
    }
    if (At(entry->arrayFlags, position) == -1) {
        const std::int32_t flag = isArray ? 1 : 0;
        SetAt(entry->arrayFlags, position, flag);
        CompressionInteger::Write(flag, GetArchive());
    }
}

std::string CompressedPropertyArchive::ReadPropertyName(std::string_view className, std::int32_t index, bool& isArray)
{
    ClassDictionaryEntry* entry = m_dictionary.Find(className);
    const std::size_t at = GetArchive().GetPosition();
    if (!entry || index < 0 || index >= entry->propertyCount)
        Malformed(GetArchive(), at, ArchiveException::badIndex,
                  "property position " + std::to_string(index) + " of class " + ArchiveException::Quote(className) +
                      " is not defined");
    const auto position = static_cast<std::size_t>(index);
    if (position < entry->names.size()) {
        isArray = At(entry->arrayFlags, index) == 1;
        return entry->names[position];
    }
    if (position != entry->names.size())
        Malformed(GetArchive(), at, ArchiveException::badIndex,
                  "property position " + std::to_string(index) + " of class " + ArchiveException::Quote(className) +
                      " is out of order");
    std::string name;
    GetArchive() >> name;
    const std::int32_t flag = CompressionInteger::ReadInteger(GetArchive()) == 1 ? 1 : 0;
    entry->names.push_back(name);
    entry->positions.emplace(name, index);
    SetAt(entry->arrayFlags, index, flag);
    CheckPlan(*entry, index);
    isArray = flag == 1;
    return name;
}

void CompressedPropertyArchive::WritePropertyType(std::string_view className, std::string_view propertyName,
                                                  std::int32_t type)
{
    ClassDictionaryEntry* entry = m_dictionary.Find(className);
    const std::int32_t position = entry ? PositionOf(*entry, propertyName) : -1;
    if (position < 0)
        throw std::logic_error("property \"" + std::string(propertyName) + "\" was not named before its value");
    if (At(entry->typeCodes, position) != -1)
        return;
    SetAt(entry->typeCodes, position, type);
    CompressionInteger::Write(type, GetArchive());
}

std::int32_t CompressedPropertyArchive::ReadPropertyType(std::string_view className, std::string_view propertyName)
{
    ClassDictionaryEntry* entry = m_dictionary.Find(className);
    if (!entry)
        return 0;
    const std::int32_t position = PositionOf(*entry, propertyName);
    if (position < 0)
        Malformed(GetArchive(), GetArchive().GetPosition(), ArchiveException::badIndex,
                  "property " + ArchiveException::Quote(propertyName) + " of class " +
                      ArchiveException::Quote(className) + " has no position");
    std::int32_t type = At(entry->typeCodes, position);
    if (type == -1) {
        type = CompressionInteger::ReadInteger(GetArchive());
        SetAt(entry->typeCodes, position, type);
    }
    return type;
}

} // namespace Tavrel
