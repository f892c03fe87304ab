#include <tavrel/foundation/PropertyPlan.h>

#include <tavrel/foundation/AbstractFactory.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/ClassHierarchy.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/RuntimeMap.h>

namespace Tavrel {

std::unique_ptr<PropertyPlan> PropertyPlan::Compile(Catalog& object, PropertyArchive& archive)
{
    if (!dynamic_cast<Base*>(&object))
        return nullptr;
    auto plan = std::make_unique<PropertyPlan>();
    // The counting pass counts every value; the tables it meets account for the plan's steps.
    struct Compiling {
        PropertyArchive& archive;
        ~Compiling() { archive.m_compiling = nullptr; }
    } compiling{archive};
    archive.m_compiling = plan.get();
    const std::int32_t count = object.GetNumberOfProperties(archive);
    if (count < 0 || static_cast<std::size_t>(count) != plan->m_steps.size())
        return nullptr;
    plan->m_class = object.GetRuntimeClass();
    return plan;
}

void PropertyPlan::AddTable(const PropertyTable& table)
{
    ++m_tables;
    if (const PropertyHook after = table.GetAfter())
        m_after.push_back(after);
    for (const PropertyEntry& entry : table.Entries()) {
        if (entry.Has(PropertyEntry::Persisted))
            m_steps.push_back({&entry, entry.Has(PropertyEntry::Array)});
    }
}

bool PropertyPlan::Matches(const std::vector<std::string>& names, const std::vector<std::int32_t>& arrayFlags,
                           const std::vector<std::int32_t>& typeCodes) const
{
    if (names.size() != m_steps.size())
        return false;
    const auto at = [](const std::vector<std::int32_t>& values, std::size_t i) {
        return i < values.size() ? values[i] : -1;
    };
    for (std::size_t i = 0; i < m_steps.size(); ++i) {
        const Step& step = m_steps[i];
        const std::int32_t code = at(typeCodes, i);
        if (names[i] != step.entry->name || at(arrayFlags, i) != (step.isArray ? 1 : 0) ||
            (code != -1 && code != step.entry->code))
            return false;
    }
    return true;
}

void PropertyPlan::Bind(std::int32_t classIndex, const std::vector<std::int32_t>& typeCodes, std::string className)
{
    m_classIndex = classIndex;
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

void PropertyPlan::AfterRecord(Base& object, PropertyArchive& archive) const
{
    archive.SetMethodType(PropertyArchive::MethodAfter);
    if (m_levels != m_tables) {
        object.GetSetObjectProperties(archive);
        return;
    }
    for (const PropertyHook after : m_after)
        after(object, archive);
}

Base* PropertyPlan::Create(PersistentObject*& created) const
{
    created = m_factory ? m_factory->Create() : nullptr;
    if (!created || created->GetRuntimeClass() != m_class)
        return nullptr;
    return static_cast<Base*>(created);
}

PropertyPass PropertyPlan::WritePass(PropertyArchive& archive, Base& object)
{
    return PropertyPass(archive, object, false, {});
}

PropertyPass PropertyPlan::ReadPass(PropertyArchive& archive, Base& object, std::string_view name)
{
    return PropertyPass(archive, object, true, name);
}

} // namespace Tavrel
