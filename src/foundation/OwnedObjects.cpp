#include <tavrel/foundation/OwnedObjects.h>

#include <unordered_set>

namespace Tavrel {

namespace {

std::unordered_multiset<std::uint32_t>& Held()
{
    // Never destroyed: holders may outlive the other statics.
    static auto* const held = new std::unordered_multiset<std::uint32_t>();
    return *held;
}

} // namespace

void OwnedObjects::Enter(std::uint32_t oid)
{
    Held().insert(oid);
}

void OwnedObjects::Leave(std::uint32_t oid)
{
    if (const auto entry = Held().find(oid); entry != Held().end())
        Held().erase(entry);
}

bool OwnedObjects::IsOwned(std::uint32_t oid)
{
    return Held().contains(oid);
}

} // namespace Tavrel
