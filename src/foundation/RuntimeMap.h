// Factory map: plain class name (exact, case-sensitive) to the factory that creates it.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace Tavrel {

class AbstractFactory;
class PersistentObject;

class RuntimeMap {
public:
    static RuntimeMap& GetRuntimeMap();

    // Registers (or replaces) the factory of a name; a null factory is ignored. The map does not own it.
    static void AddRuntimeClass(const std::string& name, const AbstractFactory* factory);
    // A new object of the class registered under exactly this name; null when there is none.
    static PersistentObject* CreateObject(std::string_view name);

    const std::map<std::string, const AbstractFactory*, std::less<>>& GetEntries() const { return m_map; }

    RuntimeMap(const RuntimeMap&) = delete;
    RuntimeMap& operator=(const RuntimeMap&) = delete;
    ~RuntimeMap();

protected:
    RuntimeMap() = default;

private:
    std::map<std::string, const AbstractFactory*, std::less<>> m_map;
};

} // namespace Tavrel
