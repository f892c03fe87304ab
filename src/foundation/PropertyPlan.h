// PropertyPlan: a class's stored properties by stream position, compiled once per class from its levels' tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/foundation/PropertyPass.h>

namespace Tavrel {

class AbstractFactory;
class Base;
class Catalog;
class ClassHierarchy;
class PropertyArchive;
class PropertyTable;
struct PropertyEntry;
struct RuntimeClass;

// Once a stream has described a class in full (names, array flags and type codes by position), its
// records can be written and read by position: each step calls its table entry's typed write or read
// half, with no name handling. A plan exists only for classes whose every stored value comes from a
// level's table, and is used only while the stream's description is the plan's own.
class PropertyPlan {
public:
    struct Step {
        const PropertyEntry* entry;
        bool isArray;
    };

    // The plan of the object's class; null when a level writes values of its own (not from its
    // table) or the object is not a Base. The archive runs the counting pass that finds the tables.
    static std::unique_ptr<PropertyPlan> Compile(Catalog& object, PropertyArchive& archive);

    // Whether a stream's description of the class is this plan's: the same names (compared exactly)
    // and array flags by position, and the plan's code wherever the stream has given one (-1: not yet).
    bool Matches(const std::vector<std::string>& names, const std::vector<std::int32_t>& arrayFlags,
                 const std::vector<std::int32_t>& typeCodes) const;
    // Ties the plan to the stream's description: the class's index and its type codes as the stream
    // gives them (read live: an array's code comes with its first element).
    void Bind(std::int32_t classIndex, const std::vector<std::int32_t>& typeCodes, std::string className);
    // Reading: the factory that created the objects of the stored hierarchy (the first of its names
    // that the registry knows), so later records create theirs without looking names up.
    void BindFactory(const ClassHierarchy& hierarchy);

    std::size_t GetCount() const { return m_steps.size(); }
    const Step& GetStep(std::size_t position) const { return m_steps[position]; }
    std::int32_t GetClassIndex() const { return m_classIndex; }
    const std::string& GetClassName() const { return m_className; }
    // The code the stream has given for a position, -1 while it has not.
    std::int32_t GetTypeCode(std::size_t position) const
    {
        return position < m_typeCodes->size() ? (*m_typeCodes)[position] : -1;
    }

    // The levels' work after a record of the planned class, without their passes: the tables'
    // AfterRecord hooks, or every level's MethodAfter pass when a level has a pass but no table.
    void AfterRecord(Base& object, PropertyArchive& archive) const;
    // Whether a level may have work before a record (it has a pass but no table).
    bool HasBefore() const { return m_levels != m_tables; }

    // A new object of the planned class; null when there is no factory or it gave something else
    // (created then holds it, for the generic reader to take).
    Base* Create(PersistentObject*& created) const;
    // The object as a Base; the plan was compiled from one of its class.
    static Base& AsBase(Catalog& object) { return static_cast<Base&>(object); }

    // The pass that runs steps' halves on one object: no base level and no name routing. A reading
    // pass takes each payload straight from the stream; name is the property's, for messages.
    static PropertyPass WritePass(PropertyArchive& archive, Base& object);
    static PropertyPass ReadPass(PropertyArchive& archive, Base& object, std::string_view name);

private:
    friend class PropertyPass;
    // Called by PropertyPass::Table during the compiling pass: the table's stored entries, in order.
    void AddTable(const PropertyTable& table);
    // Called by PropertyPass during the compiling pass for each level that has a pass.
    void AddLevel() { ++m_levels; }

    std::vector<Step> m_steps;
    std::vector<PropertyHook> m_after;
    std::size_t m_levels = 0; // levels with a pass
    std::size_t m_tables = 0; // of them, levels with a table
    const RuntimeClass* m_class = nullptr;
    const AbstractFactory* m_factory = nullptr;
    std::int32_t m_classIndex = 0;
    const std::vector<std::int32_t>* m_typeCodes = nullptr;
    std::string m_className;
};

} // namespace Tavrel
