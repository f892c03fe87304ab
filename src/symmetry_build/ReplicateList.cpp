#include <tavrel/symmetry_build/ReplicateList.h>

namespace Tavrel {

IntArray ReplicateList::GetMemberItems() const
{
    IntArray items;
    items.reserve(members.size());
    for (const ReplicateMember& member : members)
        items.push_back(member.item);
    return items;
}

bool ReplicateList::IsMemberItem(std::int32_t i, std::int32_t item) const
{
    return i >= 0 && i < GetMemberCount() && members[static_cast<std::size_t>(i)].item == item;
}

std::int32_t ReplicateList::FindMemberOID(std::uint32_t memberOID) const
{
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (members[i].oid == memberOID)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

std::int32_t ReplicateList::FindMemberKey(const SymmetryImageKey& key) const
{
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (members[i].key == key)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

} // namespace Tavrel
