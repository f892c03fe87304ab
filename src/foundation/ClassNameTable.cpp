#include <tavrel/foundation/ClassNameTable.h>

#include <tavrel/core/StringUtils.h>

namespace Tavrel {

ClassNameTable::Tables& ClassNameTable::GetTables()
{
    static Tables tables;
    return tables;
}

std::uint32_t ClassNameTable::AddClass(std::string_view name, const Base* instance)
{
    if (name.empty())
        return 0;
    Tables& tables = GetTables();
    std::string key = StringUtils::ToLower(name);
    if (const auto known = tables.classes.find(key); known != tables.classes.end() && known->second.type != 0)
        return known->second.type;
    std::string commonKey = key.starts_with("xx") ? key.substr(2) : key;
    const std::uint32_t type = ++tables.lastType;
    tables.classes[key] = ClassData{instance, type};
    tables.aliases[std::move(commonKey)] = std::move(key);
    return type;
}

int ClassNameTable::AddCommonClassName(std::string_view className, std::string_view commonName)
{
    if (!className.empty() && !commonName.empty())
        GetTables().aliases[StringUtils::ToLower(commonName)] = StringUtils::ToLower(className);
    return 0;
}

std::string ClassNameTable::FindClassName(std::string_view name)
{
    std::string key = StringUtils::ToLower(name);
    const Tables& tables = GetTables();
    if (const auto alias = tables.aliases.find(key); alias != tables.aliases.end())
        return alias->second;
    return key;
}

const ClassNameTable::ClassData* ClassNameTable::Find(std::string_view name)
{
    const Tables& tables = GetTables();
    const auto found = tables.classes.find(FindClassName(name));
    return found == tables.classes.end() ? nullptr : &found->second;
}

std::uint32_t ClassNameTable::FindType(std::string_view name)
{
    const ClassData* data = Find(name);
    return data ? data->type : 0;
}

const Base* ClassNameTable::FindInstance(std::string_view name)
{
    const ClassData* data = Find(name);
    return data ? data->instance : nullptr;
}

} // namespace Tavrel
