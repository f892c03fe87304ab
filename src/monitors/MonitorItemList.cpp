#include <tavrel/monitors/MonitorItemList.h>

#include <algorithm>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

namespace {

// The live tree node registered under the OID when it is the given one, else null.
TreeNode* LiveNode(TreeNode* node, std::uint32_t oid)
{
    TreeNode* const found = DynCast<TreeNode>(Base::GetObjectA(oid));
    return found && found == node ? found : nullptr;
}

} // namespace

MonitorItemList::MonitorItemList(const MonitorItemList& other)
{
    other.Compact();
    m_entries = other.m_entries;
    if (other.m_index)
        m_index = std::make_unique<Index>(*other.m_index);
}

MonitorItemList::~MonitorItemList() = default;

MonitorItemList::Entry MonitorItemList::Track(Object* object)
{
    return object ? Entry{object, object->GetOID()} : Entry{nullptr, 0};
}

void MonitorItemList::Append(Object* object)
{
    const Entry entry = Track(object);
    m_entries.push_back(entry);
    if (m_index) {
        if (entry.oid != 0)
            ++(*m_index)[entry.oid].listed;
    } else {
        IndexIfLarge();
    }
}

std::size_t MonitorItemList::Count(std::uint32_t oid) const
{
    if (oid == 0)
        return 0;
    if (m_index) {
        const auto found = m_index->find(oid);
        return found == m_index->end() ? 0 : found->second.listed;
    }
    return static_cast<std::size_t>(
        std::count_if(m_entries.begin(), m_entries.end(), [oid](const Entry& entry) { return entry.oid == oid; }));
}

bool MonitorItemList::RemoveFirst(std::uint32_t oid)
{
    if (oid == 0)
        return false;
    if (!m_index) {
        const auto found =
            std::find_if(m_entries.begin(), m_entries.end(), [oid](const Entry& entry) { return entry.oid == oid; });
        if (found == m_entries.end())
            return false;
        m_entries.erase(found);
        return true;
    }
    const auto found = m_index->find(oid);
    if (found == m_index->end() || found->second.listed == 0)
        return false;
    --found->second.listed;
    ++found->second.removed;
    ++m_removed;
    return true;
}

void MonitorItemList::RemoveAll(std::uint32_t oid)
{
    if (oid == 0)
        return;
    if (!m_index) {
        std::erase_if(m_entries, [oid](const Entry& entry) { return entry.oid == oid; });
        return;
    }
    const auto found = m_index->find(oid);
    if (found == m_index->end())
        return;
    found->second.removed += found->second.listed;
    m_removed += found->second.listed;
    found->second.listed = 0;
}

void MonitorItemList::Clear()
{
    m_entries.clear();
    m_index.reset();
    m_removed = 0;
}

std::size_t MonitorItemList::Size() const
{
    Compact();
    return m_entries.size();
}

Object* MonitorItemList::At(std::size_t index) const
{
    Compact();
    if (index >= m_entries.size())
        return nullptr;
    const Entry& entry = m_entries[index];
    return DynCast<Object>(LiveNode(entry.node, entry.oid));
}

std::vector<TreeNode*> MonitorItemList::GetNodes() const
{
    Compact();
    std::vector<TreeNode*> nodes;
    nodes.reserve(m_entries.size());
    for (const Entry& entry : m_entries) {
        if (TreeNode* const node = entry.node ? LiveNode(entry.node, entry.oid) : nullptr)
            nodes.push_back(node);
    }
    return nodes;
}

void MonitorItemList::Set(std::size_t index, Object* object)
{
    Compact();
    if (index >= m_entries.size())
        m_entries.resize(index + 1, Entry{nullptr, 0});
    const Entry entry = Track(object);
    if (m_index) {
        if (const std::uint32_t old = m_entries[index].oid; old != 0 && --(*m_index)[old].listed == 0)
            m_index->erase(old);
        if (entry.oid != 0)
            ++(*m_index)[entry.oid].listed;
    }
    m_entries[index] = entry;
    if (!m_index)
        IndexIfLarge();
}

void MonitorItemList::IndexIfLarge()
{
    if (m_entries.size() <= IndexedSize)
        return;
    auto index = std::make_unique<Index>();
    index->reserve(m_entries.size());
    for (const Entry& entry : m_entries) {
        if (entry.oid != 0)
            ++(*index)[entry.oid].listed;
    }
    m_index = std::move(index);
}

void MonitorItemList::Compact() const
{
    if (m_removed == 0)
        return;
    std::erase_if(m_entries, [this](const Entry& entry) {
        if (entry.oid == 0)
            return false;
        Counts& counts = (*m_index)[entry.oid];
        if (counts.removed == 0)
            return false;
        --counts.removed;
        return true;
    });
    std::erase_if(*m_index, [](const auto& pair) { return pair.second.listed == 0 && pair.second.removed == 0; });
    m_removed = 0;
}

} // namespace Tavrel
