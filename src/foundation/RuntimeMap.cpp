#include <tavrel/foundation/RuntimeMap.h>

#include <tavrel/foundation/AbstractFactory.h>

namespace Tavrel {

RuntimeMap& RuntimeMap::GetRuntimeMap()
{
    static RuntimeMap instance;
    return instance;
}

RuntimeMap::~RuntimeMap()
{
    m_map.clear();
}

void RuntimeMap::AddRuntimeClass(const std::string& name, const AbstractFactory* factory)
{
    if (factory)
        GetRuntimeMap().m_map[name] = factory;
}

PersistentObject* RuntimeMap::CreateObject(std::string_view name)
{
    const auto& entries = GetRuntimeMap().m_map;
    const auto found = entries.find(name);
    if (found == entries.end() || !found->second)
        return nullptr;
    return found->second->Create();
}

} // namespace Tavrel
