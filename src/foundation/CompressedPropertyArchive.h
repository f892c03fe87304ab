// CompressedPropertyArchive: the document form of the property stream, saying each class's layout once.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <tavrel/foundation/ClassHierarchy.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyPlan.h>

namespace Tavrel {

// What the stream has said so far about one class.
struct ClassDictionaryEntry {
    std::string className;           // the most-derived name
    std::int32_t propertyCount = -1; // -1 until known
    std::int32_t classIndex = 0;     // 1, 2, 3 ... in order of first appearance
    ClassHierarchy hierarchy;
    std::vector<std::string> names;  // by position
    std::unordered_map<std::string, std::int32_t, NameHash, std::equal_to<>> positions;
    // By position; -1 (or beyond the end) while not yet in the stream.
    std::vector<std::int32_t> typeCodes;
    std::vector<std::int32_t> arrayFlags;
    std::int32_t lastPosition = -1;  // the position last looked up, tried first next time
    // The class's plan, compiled when its first record with an object begins (planTried); null when
    // the class has none or the stream's description is not the plan's.
    bool planTried = false;
    std::unique_ptr<PropertyPlan> plan;

    // The plan records of the class are read by; null once the stream's description is not the plan's.
    const PropertyPlan* ReadPlan() const { return plan && !plan->IsDropped() ? plan.get() : nullptr; }
    // The class of a record of this class being read.
    PropertyArchive::RecordClass RecordClass() { return {&hierarchy, this, ReadPlan()}; }
};

// The classes of one stream, by most-derived name (case-sensitive) and by index.
class CompressionDictionary {
public:
    // Null when the class has not appeared.
    ClassDictionaryEntry* Find(std::string_view className);
    // Null when the index has not been defined.
    ClassDictionaryEntry* FindIndex(std::int32_t index);
    // Adds a class under the hierarchy's first name with the given index.
    ClassDictionaryEntry& Add(const ClassHierarchy& hierarchy, std::int32_t index);
    std::int32_t GetNumberOfClasses() const { return static_cast<std::int32_t>(m_entries.size()); }
    // Writing: the entry of the objects of a run-time class, once the class has appeared; for objects
    // of the class's own type (Base::IsStoredByTables) only.
    ClassDictionaryEntry* FindClass(const Catalog& object);

private:
    std::vector<std::unique_ptr<ClassDictionaryEntry>> m_entries;
    std::unordered_map<std::string, ClassDictionaryEntry*, NameHash, std::equal_to<>> m_byName;
    // Indices below DenseIndices (writers number classes 1, 2, 3 ...) by position, others hashed.
    static constexpr std::int32_t DenseIndices = 4096;
    std::vector<ClassDictionaryEntry*> m_byDenseIndex;
    std::unordered_map<std::int32_t, ClassDictionaryEntry*> m_byIndex;
    ClassDictionaryEntry* m_last = nullptr; // the class last looked up, tried first next time
    std::unordered_map<const RuntimeClass*, ClassDictionaryEntry*> m_byClass;
    // The two classes last looked up, the latest first: records of two classes often alternate
    // (atoms and their bonds).
    struct RecentClass {
        const RuntimeClass* runtimeClass = nullptr;
        ClassDictionaryEntry* entry = nullptr;
    };
    std::array<RecentClass, 2> m_recentClasses{};
};

class CompressedPropertyArchive : public PropertyArchive {
public:
    explicit CompressedPropertyArchive(Archive& archive);
    ~CompressedPropertyArchive() override;

    // A class met for the first time: the unsigned integer 0, its new index and the hierarchy in
    // full; afterwards only its index.
    void WriteClassHierarchy(const ClassHierarchy& hierarchy) override;
    // Refuses an index the stream has not defined, a redefined index and a hierarchy without names.
    ClassHierarchy ReadClassHierarchy() override;
    // Written for the first record of a class only.
    void WriteNumberOfProperties(std::string_view className, std::int32_t count) override;
    // The known count, else read; 0 for a class the stream has not defined.
    std::int32_t ReadNumberOfProperties(std::string_view className) override;
    // The name the first time it appears in its class, then the array flag the first time.
    void WritePropertyName(std::string_view className, std::string_view propertyName, bool isArray) override;
    // Reads nothing for a position already known; refuses a position beyond the class's count.
    std::string ReadPropertyName(std::string_view className, std::int32_t index, bool& isArray) override;
    // The code before the first value at its position.
    void WritePropertyType(std::string_view className, std::string_view propertyName, std::int32_t type) override;
    // The known code, else read; 0 for a class the stream has not defined.
    std::int32_t ReadPropertyType(std::string_view className, std::string_view propertyName) override;

    // A class index reads as the class's entry, with no hierarchy copied.
    RecordClass ReadRecordClass() override;
    // The same once the record's class index has been taken from `at` (0: a definition follows).
    RecordClass RecordClassOf(std::uint32_t index, std::size_t at);
    const PropertyPlan* FindWritePlan(Catalog& object) override;
    const PropertyPlan* FindReadPlan(ClassDictionaryEntry& entry, Base* created) override;

private:
    // A class defined in the stream at `at` (after its zero): its index and hierarchy.
    [[gnu::noinline]] RecordClass ReadClassDefinition(std::size_t at);

    CompressionDictionary m_dictionary;
};

} // namespace Tavrel
