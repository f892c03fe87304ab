#include <tavrel/monitors/MonitorItemList.h>

#include <algorithm>

#include <tavrel/foundation/Object.h>
#include <tavrel/monitors/Monitor.h>

namespace Tavrel {

namespace {

// The live tree node registered under the OID when it is the given one, else null.
TreeNode* LiveNode(TreeNode* node, std::uint32_t oid)
{
    TreeNode* const found = DynCast<TreeNode>(Base::GetObjectA(oid));
    return found && found == node ? found : nullptr;
}

} // namespace

MonitorItemList::Index::Index(const Index& other)
{
    m_chunks.resize(other.m_chunks.size());
    for (std::size_t c = 0; c < m_chunks.size(); ++c) {
        if (!other.m_chunks[c])
            continue;
        m_chunks[c] = std::make_unique<Chunk>();
        for (std::size_t p = 0; p < ChunkSize; ++p) {
            if (const Page* const page = (*other.m_chunks[c])[p].get())
                (*m_chunks[c])[p] = std::make_unique<Page>(*page);
        }
    }
}

MonitorItemList::Counts& MonitorItemList::Index::Edit(std::uint32_t oid)
{
    const std::size_t chunk = oid >> (PageBits + ChunkBits);
    if (chunk >= m_chunks.size())
        m_chunks.resize(chunk + 1);
    if (!m_chunks[chunk])
        m_chunks[chunk] = std::make_unique<Chunk>();
    std::unique_ptr<Page>& page = (*m_chunks[chunk])[(oid >> PageBits) & (ChunkSize - 1)];
    if (!page)
        page = std::make_unique<Page>();
    return (*page)[oid & (PageSize - 1)];
}

MonitorItemList::MonitorItemList(const MonitorItemList& other)
{
    other.Compact();
    m_entries = other.m_entries;
    m_monitors = other.m_monitors;
    if (other.m_index)
        m_index = std::make_unique<Index>(*other.m_index);
}

MonitorItemList::~MonitorItemList() = default;

MonitorItemList::Entry MonitorItemList::Track(Object* object)
{
    return object ? Entry{object, object->GetOID(), IsA<Monitor>(object)} : Entry{nullptr, 0, false};
}

void MonitorItemList::Append(const Entry& entry)
{
    ++m_edits;
    m_entries.push_back(entry);
    m_monitors += entry.monitor ? 1 : 0;
    if (m_index) {
        if (entry.oid != 0)
            ++m_index->Edit(entry.oid).listed;
    } else {
        IndexIfLarge();
    }
}

void MonitorItemList::Reserve(std::size_t more)
{
    if (m_entries.capacity() - m_entries.size() < more)
        m_entries.reserve(std::max(m_entries.size() + more, 2 * m_entries.size()));
}

std::size_t MonitorItemList::Count(std::uint32_t oid) const
{
    if (oid == 0)
        return 0;
    if (m_index) {
        const Counts* const counts = m_index->Find(oid);
        return counts ? counts->listed : 0;
    }
    return static_cast<std::size_t>(
        std::count_if(m_entries.begin(), m_entries.end(), [oid](const Entry& entry) { return entry.oid == oid; }));
}

bool MonitorItemList::RemoveFirst(std::uint32_t oid)
{
    if (oid == 0)
        return false;
    ++m_edits;
    if (!m_index) {
        const auto found =
            std::find_if(m_entries.begin(), m_entries.end(), [oid](const Entry& entry) { return entry.oid == oid; });
        if (found == m_entries.end())
            return false;
        m_monitors -= found->monitor ? 1 : 0;
        m_entries.erase(found);
        return true;
    }
    Counts* const counts = m_index->Find(oid);
    if (!counts || counts->listed == 0)
        return false;
    --counts->listed;
    ++counts->removed;
    ++m_removed;
    return true;
}

void MonitorItemList::RemoveAll(std::uint32_t oid)
{
    if (oid == 0)
        return;
    ++m_edits;
    if (!m_index) {
        std::erase_if(m_entries, [this, oid](const Entry& entry) {
            if (entry.oid != oid)
                return false;
            m_monitors -= entry.monitor ? 1 : 0;
            return true;
        });
        return;
    }
    Counts* const counts = m_index->Find(oid);
    if (!counts)
        return;
    counts->removed += counts->listed;
    m_removed += counts->listed;
    counts->listed = 0;
}

void MonitorItemList::Clear()
{
    ++m_edits;
    m_entries.clear();
    m_index.reset();
    m_removed = 0;
    m_monitors = 0;
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

std::vector<Object*> MonitorItemList::GetObjects(std::size_t first) const
{
    Compact();
    std::vector<Object*> objects;
    objects.reserve(m_entries.size() - std::min(first, m_entries.size()));
    // Each object is read to tell whether it is alive: a long list asks for them a few entries ahead.
    constexpr std::size_t ahead = 16;
    for (std::size_t i = first; i < m_entries.size(); ++i) {
        if (i + ahead < m_entries.size() && m_entries[i + ahead].node)
            PrefetchObject(m_entries[i + ahead].node);
        const Entry& entry = m_entries[i];
        objects.push_back(DynCast<Object>(LiveNode(entry.node, entry.oid)));
    }
    return objects;
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

std::span<const MonitorItemList::Entry> MonitorItemList::GetEntries() const
{
    Compact();
    return m_entries;
}

void MonitorItemList::Set(std::size_t index, Object* object)
{
    ++m_edits;
    Compact();
    if (index >= m_entries.size())
        m_entries.resize(index + 1, Entry{nullptr, 0, false});
    const Entry entry = Track(object);
    if (m_index) {
        if (const std::uint32_t old = m_entries[index].oid; old != 0)
            --m_index->Edit(old).listed;
        if (entry.oid != 0)
            ++m_index->Edit(entry.oid).listed;
    }
    m_monitors += (entry.monitor ? 1 : 0) - (m_entries[index].monitor ? 1 : 0);
    m_entries[index] = entry;
    if (!m_index)
        IndexIfLarge();
}

void MonitorItemList::IndexIfLarge()
{
    if (m_entries.size() <= IndexedSize)
        return;
    auto index = std::make_unique<Index>();
    for (const Entry& entry : m_entries) {
        if (entry.oid != 0)
            ++index->Edit(entry.oid).listed;
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
        Counts* const counts = m_index->Find(entry.oid);
        if (!counts || counts->removed == 0)
            return false;
        --counts->removed;
        m_monitors -= entry.monitor ? 1 : 0;
        return true;
    });
    m_removed = 0;
}

} // namespace Tavrel
