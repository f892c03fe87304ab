// A small host: loads the library, looks classes up by name and reports what it found.
#include <cstdio>

#include "foundation/Base.h"
#include "foundation/DataModelLibrary.h"
#include "foundation/RuntimeMap.h"

int main()
{
    Tavrel::AttachDataModelDLL();
    std::printf("Registered classes that can be created by name:\n");
    for (const auto& [name, factory] : Tavrel::RuntimeMap::GetRuntimeMap().GetEntries())
        std::printf("  %-24s identifier %u\n", name.c_str(), Tavrel::Base::FindClassType(name));
    const Tavrel::Base* base = Tavrel::Base::FindClassInstance("base");
    std::printf("Prototype of \"base\": %s, OID %u, identifier %u\n", base ? base->GetClassNameA() : "none",
                base ? base->GetOID() : 0u, Tavrel::Base::FindClassType("XXBase"));
    return base ? 0 : 1;
}
