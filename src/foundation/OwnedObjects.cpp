#include <tavrel/foundation/OwnedObjects.h>

#include <limits>

#include <tavrel/core/FlatHashMap.h>

namespace Tavrel {

namespace {

// Each held OID with the number of its entries: packaged documents enter objects by the hundred
// thousand, so the table is flat. No OID reaches the free key.
using HeldTable = FlatHashMap<std::uint32_t, std::uint32_t, IntegerHash>;

HeldTable& Held()
{
    // Never destroyed: holders may outlive the other statics.
    static auto* const held = new HeldTable(std::numeric_limits<std::uint32_t>::max());
    return *held;
}

} // namespace

void OwnedObjects::Enter(std::uint32_t oid)
{
    if (std::uint32_t* const entries = Held().Insert(oid, 0).first)
        ++*entries;
}

void OwnedObjects::Leave(std::uint32_t oid)
{
    std::uint32_t* const entries = Held().Find(oid);
    if (!entries)
        return;
    if (--*entries > 0)
        return;
    Held().Erase(oid);
    // The room of a large package goes with its last entry.
    if (Held().Empty())
        Held() = HeldTable(std::numeric_limits<std::uint32_t>::max());
}

bool OwnedObjects::IsOwned(std::uint32_t oid)
{
    return Held().Find(oid) != nullptr;
}

} // namespace Tavrel
