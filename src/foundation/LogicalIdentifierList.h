// LogicalIdentifierList: a tree root's map from logical identifiers (LIDs) to OIDs, with its counter.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <span>

namespace Tavrel {

// LIDs run from 1 upward; the number after 0xFFFFFFFF is 1, and 0 means no LID. A new number is the
// first one from the counter on that no entry holds, so after the counter wraps it skips the numbers
// still in use.
//
// Numbers from the counter are dense, so they index a window of fixed-size pages directly; a page is
// allocated when its first entry arrives and freed when its last one leaves, and the window shrinks
// from either end as its end pages go. The window grows only while its page count stays within a
// bound proportional to the entries; other numbers (loaded ones far apart, or old ones left behind
// by a counter that moved on) sit in an ordered fallback map. Once the fallback has grown by a
// quarter of the entries, the window is placed afresh over the densest run of numbers, so the cost
// of that stays constant per entry. Memory follows the number of entries, never the size of a number.
class LogicalIdentifierList {
public:
    // A number and the OID it is to hold.
    struct Entry {
        std::uint32_t lid;
        std::uint32_t oid;
    };

    LogicalIdentifierList() = default;
    LogicalIdentifierList(const LogicalIdentifierList& other);
    LogicalIdentifierList& operator=(const LogicalIdentifierList& other);
    LogicalIdentifierList(LogicalIdentifierList&&) = default;
    LogicalIdentifierList& operator=(LogicalIdentifierList&&) = default;
    ~LogicalIdentifierList() = default;

    // The number after `lid`: lid + 1, and 1 after 0xFFFFFFFF.
    static constexpr std::uint32_t Successor(std::uint32_t lid) { return lid == UINT32_MAX ? 1u : lid + 1u; }

    // Enters the OID under a new number and returns it; 0 for OID 0 or when every number is taken.
    std::uint32_t AddObjectLid(std::uint32_t oid);
    // Keeps `lid` for the OID when it is free or already the OID's own (a free lid at or past the
    // counter moves the counter past it); otherwise enters the OID under a new number. Returns the
    // number the OID holds, or `lid` unchanged when `lid` or `oid` is 0.
    std::uint32_t AddObjectLidCopy(std::uint32_t lid, std::uint32_t oid);
    // Enters the OID under `lid` when no entry holds it, moving the counter as AddObjectLidCopy does;
    // false, changing nothing, for 0 or a held number.
    bool AddObjectLidIfFree(std::uint32_t lid, std::uint32_t oid);
    // Enters the entries in order as AddObjectLidIfFree does, stopping before the first it refuses
    // or whose number is 0xFFFFFFFF; returns how many it entered. A run of numbers on one page is
    // entered without looking the page up again.
    std::size_t AddObjectLidsIfFree(std::span<const Entry> entries);
    // The counter: the number AddObjectLid tries first.
    std::uint32_t GetNextLid() const { return m_nextLid; }
    void SetNextLid(std::uint32_t lid) { m_nextLid = lid == 0 ? 1u : lid; }
    // The largest number an entry holds; 0 without entries.
    std::uint32_t GetLargestLid() const;
    // The OID under `lid`; 0 for LID 0 or an absent one.
    std::uint32_t GetLogicalObject(std::uint32_t lid) const;
    // Erases the entry only when `lid` holds this OID.
    void RemoveObjectLid(std::uint32_t lid, std::uint32_t oid);
    // Erases every entry; the counter stays.
    void Clear();
    std::size_t GetSize() const { return m_size; }

private:
    static constexpr unsigned PageBits = 6;
    static constexpr std::uint32_t SlotMask = (1u << PageBits) - 1;
    // The window may always span this many pages, whatever the number of entries.
    static constexpr std::size_t MinWindowPages = 1024;
    // The fallback grows by at least this much between two placements of the window.
    static constexpr std::size_t MinFallbackGrowth = 64;

    struct Page {
        std::array<std::uint32_t, std::size_t{1} << PageBits> oids{};  // 0 marks a free slot
        std::uint32_t live = 0;
    };

    std::size_t WindowBound() const { return std::max(MinWindowPages, m_size + 1); }
    bool InWindow(std::uint32_t page) const { return page - m_firstPage < m_pages.size(); }
    // The OID under a non-zero lid, or 0.
    std::uint32_t Find(std::uint32_t lid) const;
    // Enters a non-zero lid that no entry holds.
    void Insert(std::uint32_t lid, std::uint32_t oid);
    // The window's page of a page number in it, made when it has none.
    Page& WindowPage(std::uint32_t page);
    // Enters the OID in the page's slot of a non-zero lid when free, moving the counter as
    // AddObjectLidIfFree does; false, changing nothing, when the slot is held.
    bool EnterIfFree(Page& page, std::uint32_t lid, std::uint32_t oid);
    void Erase(std::uint32_t lid);
    std::uint32_t TakeFreeLid();
    // Widens the window to take in the page when the bound allows; false otherwise.
    bool Cover(std::uint32_t page);
    void Place(std::uint32_t lid, std::uint32_t oid);
    // Puts the window over the run of numbers within the bound that holds the most entries.
    void PlaceWindow();

    std::deque<std::unique_ptr<Page>> m_pages;        // pages m_firstPage, m_firstPage + 1, ...
    std::uint32_t m_firstPage = 0;
    std::map<std::uint32_t, std::uint32_t> m_sparse;  // entries the window did not take
    std::size_t m_sparseAfterPlacing = 0;             // fallback size when the window was last placed
    std::size_t m_size = 0;
    std::uint32_t m_nextLid = 1;
};

} // namespace Tavrel
