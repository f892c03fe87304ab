#include <tavrel/symmetry_build/CosetList.h>

#include <ostream>
#include <string>

namespace Tavrel {

bool CosetList::AddEntry(std::int32_t parent, const Entry& entry)
{
    if (m_parent == -1)
        m_parent = parent;
    else if (parent != m_parent)
        return false;
    m_entries.push_back(entry);
    return true;
}

const CosetList::Entry& CosetList::GetEntry(std::int32_t index) const
{
    static const Entry none;
    if (index < 0 || index >= GetEntryCount())
        return none;
    return m_entries[static_cast<std::size_t>(index)];
}

std::ostream& operator<<(std::ostream& os, const CosetList& list)
{
    os << "CosetList Parent = " << std::to_string(list.GetParent()) << '\n';
    for (std::int32_t i = 0; i < list.GetEntryCount(); ++i) {
        const CosetList::Entry& entry = list.GetEntry(i);
        os << std::to_string(entry.component) << ' ' << entry.key << '\n';
    }
    return os;
}

} // namespace Tavrel
