#include <tavrel/foundation/ClassRegistry.h>

namespace Tavrel {

ClassRegistry& ClassRegistry::Get()
{
    // The tables the prototypes use while they are destroyed must outlive this registry: function-local
    // statics are destroyed in reverse order of construction, so construct them first.
    Base::GetLastOID();
    ClassNameTable::FindType({});
    RuntimeMap::GetRuntimeMap();
    RuntimeClass::Find({});
    static ClassRegistry registry;
    return registry;
}

std::size_t ClassRegistry::CountPrototypes(std::uint32_t type)
{
    std::size_t count = 0;
    for (const std::unique_ptr<Base>& prototype : Get().m_prototypes)
        count += prototype->IsA(type) ? 1 : 0;
    return count;
}

ClassRegistry::~ClassRegistry()
{
    // Prototypes go in reverse order of registration, then the factories.
    while (!m_prototypes.empty())
        m_prototypes.pop_back();
}

} // namespace Tavrel
