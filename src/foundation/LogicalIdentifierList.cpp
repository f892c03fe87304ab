#include <tavrel/foundation/LogicalIdentifierList.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace Tavrel {

LogicalIdentifierList::LogicalIdentifierList(const LogicalIdentifierList& other)
    : m_firstPage(other.m_firstPage),
      m_sparse(other.m_sparse),
      m_sparseAfterPlacing(other.m_sparseAfterPlacing),
      m_size(other.m_size),
      m_nextLid(other.m_nextLid)
{
    for (const std::unique_ptr<Page>& page : other.m_pages)
        m_pages.push_back(page ? std::make_unique<Page>(*page) : nullptr);
}

LogicalIdentifierList& LogicalIdentifierList::operator=(const LogicalIdentifierList& other)
{
    if (this != &other)
        *this = LogicalIdentifierList(other);
    return *this;
}

std::uint32_t LogicalIdentifierList::Find(std::uint32_t lid) const
{
    const std::uint32_t page = lid >> PageBits;
    if (InWindow(page)) {
        if (const Page* const entries = m_pages[page - m_firstPage].get(); entries && entries->oids[lid & SlotMask])
            return entries->oids[lid & SlotMask];
    }
    if (m_sparse.empty() || lid < m_sparse.begin()->first || lid > m_sparse.rbegin()->first)
        return 0;
    const auto entry = m_sparse.find(lid);
    return entry != m_sparse.end() ? entry->second : 0;
}

void LogicalIdentifierList::Place(std::uint32_t lid, std::uint32_t oid)
{
    std::unique_ptr<Page>& page = m_pages[(lid >> PageBits) - m_firstPage];
    if (!page)
        page = std::make_unique<Page>();
    page->oids[lid & SlotMask] = oid;
    ++page->live;
}

bool LogicalIdentifierList::Cover(std::uint32_t page)
{
    if (m_pages.empty()) {
        m_firstPage = page;
        m_pages.resize(1);
        return true;
    }
    const std::uint64_t end = std::uint64_t{m_firstPage} + m_pages.size();
    const std::uint64_t span = std::max<std::uint64_t>(end, std::uint64_t{page} + 1) - std::min(m_firstPage, page);
    if (span > WindowBound())
        return false;
    if (page < m_firstPage) {
        for (; m_firstPage != page; --m_firstPage)
            m_pages.emplace_front();
    } else {
        m_pages.resize(page - m_firstPage + 1);
    }
    return true;
}

void LogicalIdentifierList::PlaceWindow()
{
    // Every entry in ascending order: the pages hold theirs in order, merged with the fallback's.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;
    entries.reserve(m_size);
    auto sparse = m_sparse.begin();
    for (std::size_t p = 0; p < m_pages.size(); ++p) {
        if (!m_pages[p])
            continue;
        const std::uint32_t base = (m_firstPage + static_cast<std::uint32_t>(p)) << PageBits;
        for (std::uint32_t slot = 0; slot <= SlotMask; ++slot) {
            if (const std::uint32_t oid = m_pages[p]->oids[slot]) {
                for (; sparse != m_sparse.end() && sparse->first < base + slot; ++sparse)
                    entries.emplace_back(*sparse);
                entries.emplace_back(base + slot, oid);
            }
        }
    }
    entries.insert(entries.end(), sparse, m_sparse.end());
    m_pages.clear();
    m_sparse.clear();
    m_sparseAfterPlacing = 0;
    if (entries.empty())
        return;

    // The run of entries whose pages span at most the bound that holds the most of them.
    const std::size_t bound = WindowBound();
    std::size_t bestFirst = 0;
    std::size_t bestEnd = 1;
    for (std::size_t first = 0, last = 0; last < entries.size(); ++last) {
        while ((entries[last].first >> PageBits) - (entries[first].first >> PageBits) >= bound)
            ++first;
        if (last + 1 - first > bestEnd - bestFirst) {
            bestFirst = first;
            bestEnd = last + 1;
        }
    }
    m_firstPage = entries[bestFirst].first >> PageBits;
    m_pages.resize((entries[bestEnd - 1].first >> PageBits) - m_firstPage + 1);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i >= bestFirst && i < bestEnd)
            Place(entries[i].first, entries[i].second);
        else
            m_sparse.emplace_hint(m_sparse.end(), entries[i]);
    }
    m_sparseAfterPlacing = m_sparse.size();
}

void LogicalIdentifierList::Insert(std::uint32_t lid, std::uint32_t oid)
{
    const std::uint32_t page = lid >> PageBits;
    ++m_size;
    if (InWindow(page) || Cover(page)) {
        Place(lid, oid);
        return;
    }
    m_sparse.emplace(lid, oid);
    if (m_sparse.size() >= m_sparseAfterPlacing + std::max(MinFallbackGrowth, m_size / 4))
        PlaceWindow();
}

void LogicalIdentifierList::Erase(std::uint32_t lid)
{
    const std::uint32_t page = lid >> PageBits;
    --m_size;
    if (InWindow(page)) {
        std::unique_ptr<Page>& entries = m_pages[page - m_firstPage];
        if (entries && entries->oids[lid & SlotMask]) {
            entries->oids[lid & SlotMask] = 0;
            if (--entries->live != 0)
                return;
            entries.reset();
            while (!m_pages.empty() && !m_pages.back())
                m_pages.pop_back();
            while (!m_pages.empty() && !m_pages.front()) {
                m_pages.pop_front();
                ++m_firstPage;
            }
            return;
        }
    }
    m_sparse.erase(lid);
    m_sparseAfterPlacing = std::min(m_sparseAfterPlacing, m_sparse.size());
}

// Entries hold distinct numbers, so among size() + 1 consecutive numbers from the counter at least
// one is free whenever any number is: the search is bounded by the number of entries.
std::uint32_t LogicalIdentifierList::TakeFreeLid()
{
    std::uint32_t lid = m_nextLid;
    for (std::size_t tries = 0; tries <= m_size && tries < UINT32_MAX; ++tries) {
        if (Find(lid) == 0) {
            m_nextLid = Successor(lid);
            return lid;
        }
        lid = Successor(lid);
    }
    return 0;
}

std::uint32_t LogicalIdentifierList::AddObjectLid(std::uint32_t oid)
{
    if (oid == 0)
        return 0;
    const std::uint32_t lid = TakeFreeLid();
    if (lid != 0)
        Insert(lid, oid);
    return lid;
}

std::uint32_t LogicalIdentifierList::AddObjectLidCopy(std::uint32_t lid, std::uint32_t oid)
{
    if (lid == 0 || oid == 0)
        return lid;
    if (AddObjectLidIfFree(lid, oid))
        return lid;
    return Find(lid) == oid ? lid : AddObjectLid(oid);
}

LogicalIdentifierList::Page& LogicalIdentifierList::WindowPage(std::uint32_t page)
{
    std::unique_ptr<Page>& held = m_pages[page - m_firstPage];
    if (!held)
        held = std::make_unique<Page>();
    return *held;
}

bool LogicalIdentifierList::EnterIfFree(Page& page, std::uint32_t lid, std::uint32_t oid)
{
    std::uint32_t& slot = page.oids[lid & SlotMask];
    if (slot != 0)
        return false;
    slot = oid;
    ++page.live;
    ++m_size;
    if (lid >= m_nextLid)
        m_nextLid = Successor(lid);
    return true;
}

bool LogicalIdentifierList::AddObjectLidIfFree(std::uint32_t lid, std::uint32_t oid)
{
    if (lid == 0 || oid == 0)
        return false;
    // A loaded tree's numbers mostly fall in the window: one look at the slot decides.
    if (const std::uint32_t page = lid >> PageBits; InWindow(page) && m_sparse.empty())
        return EnterIfFree(WindowPage(page), lid, oid);
    if (Find(lid) != 0)
        return false;
    Insert(lid, oid);
    if (lid >= m_nextLid)
        m_nextLid = Successor(lid);
    return true;
}

std::size_t LogicalIdentifierList::AddObjectLidsIfFree(std::span<const Entry> entries)
{
    Page* page = nullptr;  // the window's page of pageNumber, while the window stays as it is
    std::uint32_t pageNumber = 0;
    std::size_t entered = 0;
    for (; entered < entries.size(); ++entered) {
        const auto [lid, oid] = entries[entered];
        if (lid == 0 || oid == 0 || lid == UINT32_MAX)
            break;
        const std::uint32_t number = lid >> PageBits;
        if (!page || number != pageNumber) {
            // A page past the window's end joins it when the bound allows, as Insert would take it.
            if (!m_sparse.empty() || (!InWindow(number) && !Cover(number))) {
                page = nullptr;
                if (!AddObjectLidIfFree(lid, oid))
                    break;
                continue;
            }
            page = &WindowPage(number);
            pageNumber = number;
        }
        if (!EnterIfFree(*page, lid, oid))
            break;
    }
    return entered;
}

std::uint32_t LogicalIdentifierList::GetLogicalObject(std::uint32_t lid) const
{
    return lid == 0 ? 0 : Find(lid);
}

// The window's last page always holds an entry (an emptied end page is dropped).
std::uint32_t LogicalIdentifierList::GetLargestLid() const
{
    std::uint32_t largest = m_sparse.empty() ? 0 : m_sparse.rbegin()->first;
    if (!m_pages.empty()) {
        const std::uint32_t base = (m_firstPage + static_cast<std::uint32_t>(m_pages.size() - 1)) << PageBits;
        for (std::uint32_t slot = SlotMask + 1; slot-- > 0;) {
            if (m_pages.back()->oids[slot] != 0)
                return std::max(largest, base + slot);
        }
    }
    return largest;
}

void LogicalIdentifierList::RemoveObjectLid(std::uint32_t lid, std::uint32_t oid)
{
    if (lid != 0 && oid != 0 && Find(lid) == oid)
        Erase(lid);
}

void LogicalIdentifierList::Clear()
{
    m_pages.clear();
    m_sparse.clear();
    m_sparseAfterPlacing = 0;
    m_firstPage = 0;
    m_size = 0;
}

} // namespace Tavrel
