// MonitorItemList: a monitor's ordered list of watched objects, not owned, with a count of entries per object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <array>
#include <memory>
#include <span>
#include <vector>

namespace Tavrel {

class Object;
class TreeNode;

// Entries keep their objects' OIDs, so an entry whose object was deleted unnoticed reads as null and
// is never touched. An empty slot (null) keeps its index. Past a few entries a table indexed by OID
// counts the entries of each object, and removals only mark entries, which the next indexed access
// squeezes out in one pass; so counting, adding and removing stay O(1) at any size, and a count is
// a few array reads, without hashing.
class MonitorItemList {
public:
    struct Entry {
        TreeNode* node;
        std::uint32_t oid;
        bool monitor;  // the object is a Monitor
    };

    MonitorItemList() = default;
    MonitorItemList(const MonitorItemList& other);
    MonitorItemList& operator=(const MonitorItemList&) = delete;
    ~MonitorItemList();

    // Appends an entry; null appends an empty slot.
    void Append(Object* object) { Append(Track(object)); }
    // Appends an entry made by Track while its object was at hand.
    void Append(const Entry& entry);
    // The entry of an object (an empty slot for null), read from the object.
    static Entry Track(Object* object);
    // The number of entries of the object with this OID.
    std::size_t Count(std::uint32_t oid) const;
    // Makes room for this many more entries (growing geometrically, so that repeated calls stay
    // amortised O(1) an entry).
    void Reserve(std::size_t more);
    // Removes the first entry of the object; false when it has none.
    bool RemoveFirst(std::uint32_t oid);
    // Removes every entry of the object.
    void RemoveAll(std::uint32_t oid);
    void Clear();

    // The number of entries, empty slots included.
    std::size_t Size() const;
    // Whether an entry's object is a monitor (or was, until the removed entries are dropped), so
    // that a list of plain objects is known to hold none without reading them.
    bool HasMonitors() const { return m_monitors > 0; }
    // Counts the changes to the entries (added, removed, set, cleared): while it stays, so do they.
    std::uint64_t GetEdits() const { return m_edits; }
    // The object of an entry while it is alive as an Object; null for an empty slot, a deleted object
    // and an index out of range.
    Object* At(std::size_t index) const;
    // The object of each entry from first on, as At gives it.
    std::vector<Object*> GetObjects(std::size_t first) const;
    // The objects of the entries whose objects still exist, at least as tree nodes (also while their
    // destruction is under way), one per entry, in order.
    std::vector<TreeNode*> GetNodes() const;
    // The entries as they stand, in order, without reading their objects: an entry's object may be
    // gone (an entry is alive while the OID is the one of its node).
    std::span<const Entry> GetEntries() const;

    // Loading: the entry at index becomes the object (null for an empty slot), growing the list with
    // empty slots when needed.
    void Set(std::size_t index, Object* object);

private:
    // Entries of one object: those in the list, and those removed but not yet squeezed out (always
    // the object's first entries, as removals take the first).
    struct Counts {
        std::uint32_t listed = 0;
        std::uint32_t removed = 0;
    };
    // Counts by OID, directly indexed: pages of 128 OIDs in chunks of 512 pages, made as entries
    // need them. OIDs come from one counter, so the objects of a structure mostly share pages.
    class Index {
    public:
        Index() = default;
        Index(const Index& other);
        Index& operator=(const Index&) = delete;

        // Null when no entry of the object was ever counted here.
        Counts* Find(std::uint32_t oid) const
        {
            const std::size_t chunk = oid >> (PageBits + ChunkBits);
            if (chunk >= m_chunks.size() || !m_chunks[chunk])
                return nullptr;
            Page* const page = (*m_chunks[chunk])[(oid >> PageBits) & (ChunkSize - 1)].get();
            return page ? &(*page)[oid & (PageSize - 1)] : nullptr;
        }
        Counts& Edit(std::uint32_t oid);

    private:
        static constexpr unsigned PageBits = 7;
        static constexpr unsigned ChunkBits = 9;
        static constexpr std::size_t PageSize = std::size_t{1} << PageBits;
        static constexpr std::size_t ChunkSize = std::size_t{1} << ChunkBits;
        using Page = std::array<Counts, PageSize>;
        using Chunk = std::array<std::unique_ptr<Page>, ChunkSize>;

        std::vector<std::unique_ptr<Chunk>> m_chunks;
    };

    static constexpr std::size_t IndexedSize = 16;

    // Builds the index once the list has grown past IndexedSize.
    void IndexIfLarge();
    // Drops the removed entries.
    void Compact() const;

    mutable std::vector<Entry> m_entries;
    mutable std::unique_ptr<Index> m_index;
    mutable std::size_t m_removed = 0;  // entries marked removed, not yet dropped
    mutable std::size_t m_monitors = 0;  // entries whose object is a monitor
    std::uint64_t m_edits = 0;
};

} // namespace Tavrel
