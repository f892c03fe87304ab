// InternalPropertyStream: the stream state that the sources of PropertyArchive share (PropertyArchive.cpp,
// PropertyArchiveWriter.cpp); not part of the library's interface.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/ClassHierarchy.h>
#include <tavrel/foundation/InternalPropertyArchive.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

namespace PropertyStream {

// uint32 -> uint32, open addressing with linear probing, at most half full: about 24 bytes per entry
// and no allocation per entry.
class FlatMap {
public:
    const std::uint32_t* Find(std::uint32_t key) const
    {
        if (m_size == 0)
            return nullptr;
        for (std::size_t i = Home(key);; i = (i + 1) & (m_slots.size() - 1)) {
            const Slot& slot = m_slots[i];
            if (!slot.used)
                return nullptr;
            if (slot.key == key)
                return &slot.value;
        }
    }

    void Set(std::uint32_t key, std::uint32_t value) { Place(key, value, true); }
    // Adds an entry unless the key has one; false when it had.
    bool Insert(std::uint32_t key, std::uint32_t value) { return Place(key, value, false); }

    std::size_t GetSize() const { return m_size; }

private:
    struct Slot {
        std::uint32_t key = 0;
        std::uint32_t value = 0;
        bool used = false;
    };

    // True when the key was new.
    bool Place(std::uint32_t key, std::uint32_t value, bool replace)
    {
        if (2 * (m_size + 1) > m_slots.size())
            Grow();
        for (std::size_t i = Home(key);; i = (i + 1) & (m_slots.size() - 1)) {
            Slot& slot = m_slots[i];
            if (!slot.used) {
                slot = {key, value, true};
                ++m_size;
                return true;
            }
            if (slot.key == key) {
                if (replace)
                    slot.value = value;
                return false;
            }
        }
    }

    std::size_t Home(std::uint32_t key) const
    {
        // Fibonacci hashing spreads runs of consecutive keys.
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & (m_slots.size() - 1);
    }

    void Grow()
    {
        std::vector<Slot> old(m_slots.empty() ? 16 : 2 * m_slots.size());
        old.swap(m_slots);
        m_size = 0;
        for (const Slot& slot : old) {
            if (slot.used)
                Set(slot.key, slot.value);
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_size = 0;
};

// A set of OIDs. The objects of one load come from the counter one after another, so the OIDs from
// the first one entered up live in a bitmap while it holds at least one entry per 64 bits; the others
// go to a flat table.
class OIDSet {
public:
    // False when the OID was in the set.
    bool Insert(std::uint32_t oid)
    {
        const int added = TryInsert(oid);
        return added < 0 ? InsertAny(oid) : added > 0;
    }

    // Insert while a bit alone answers: 1 when added, 0 when the OID was in the set, -1 when Insert
    // must decide (nothing changed).
    int TryInsert(std::uint32_t oid)
    {
        // Below the base, the index wraps past any limit.
        const std::size_t index = std::size_t{oid} - m_base;
        if (index >= m_fastBits)
            return -1;
        std::uint64_t& word = m_words[index / Bits];
        const std::uint64_t bit = std::uint64_t{1} << (index % Bits);
        if ((word & bit) != 0)
            return 0;
        word |= bit;
        ++m_size;
        return 1;
    }

private:
    static constexpr std::size_t Bits = 64;
    static constexpr std::size_t FreeWords = 1024;

    [[gnu::noinline]] bool InsertAny(std::uint32_t oid)
    {
        const bool added = Place(oid);
        // The bits a later insert may set alone, while no OID lies outside them; the size only grows,
        // so the bound stays safe until the next call here.
        m_fastBits = m_scattered.GetSize() != 0 ? 0 : Bits * std::min(m_words.size(), m_size + FreeWords);
        return added;
    }

    bool Place(std::uint32_t oid)
    {
        if (m_size == 0)
            m_base = oid;
        if (oid >= m_base) {
            const std::size_t index = oid - m_base;
            if (index < Bits * (m_size + FreeWords)) {
                if (index >= Bits * m_words.size())
                    m_words.resize(std::max(index / Bits + 1, 2 * m_words.size()));
                std::uint64_t& word = m_words[index / Bits];
                const std::uint64_t bit = std::uint64_t{1} << (index % Bits);
                // An OID entered while the bitmap did not reach it is in the table.
                if ((word & bit) != 0 || (m_scattered.GetSize() != 0 && m_scattered.Find(oid)))
                    return false;
                word |= bit;
                ++m_size;
                return true;
            }
        }
        if (!m_scattered.Insert(oid, 1))
            return false;
        ++m_size;
        return true;
    }

    std::uint32_t m_base = 0;
    std::size_t m_size = 0;
    std::size_t m_fastBits = 0; // indexes below it are answered by a bit alone
    std::vector<std::uint64_t> m_words;
    FlatMap m_scattered;
};

// The OIDs of the records being read, outermost first: ascending, as each record's object is made
// after those of the records around it. A bonded chain nests its records deep, so membership is a bit
// from the outermost one's OID on (the bits reach as far as the objects of the load).
class OpenRecords {
public:
    std::size_t GetSize() const { return m_oids.size(); }
    // The bits, which PropertyArchive::IsRecordOpen reads; they stay where they are.
    const OpenBits& View() const { return m_bits; }
    void Push(std::uint32_t oid)
    {
        // Inside the bits, with room in the list: no call. Below the base, the index wraps past them.
        // An empty list keeps the base it had: its bits are all clear.
        const std::size_t index = m_bits.IndexOf(oid);
        if (m_oids.size() == m_oids.capacity() || index >= m_bits.bits) {
            PushAny(oid);
            return;
        }
        m_oids.push_back(oid);
        m_words[index / Bits] |= std::uint64_t{1} << (index % Bits);
    }
    void Pop()
    {
        Clear(m_oids.back());
        m_oids.pop_back();
    }
    // Closes the records after the first size ones.
    void Truncate(std::size_t size)
    {
        for (std::size_t i = size; i < m_oids.size(); ++i)
            Clear(m_oids[i]);
        m_oids.resize(size);
    }
    bool Contains(std::uint32_t oid) const
    {
        if (const std::size_t index = m_bits.IndexOf(oid); index < m_bits.bits)
            return m_bits.Test(index);
        return std::binary_search(m_oids.begin(), m_oids.end(), oid);
    }

private:
    static constexpr std::size_t Bits = OpenBits::WordBits;

    [[gnu::noinline]] void PushAny(std::uint32_t oid)
    {
        if (m_oids.empty())
            m_bits.base = oid;
        m_oids.push_back(oid);
        if (oid < m_bits.base)
            return;
        const std::size_t index = oid - m_bits.base;
        if (index >= m_bits.bits) {
            m_words.resize(std::max(index / Bits + 1, 2 * m_words.size()));
            m_bits.words = m_words.data();
            m_bits.bits = Bits * m_words.size();
        }
        m_words[index / Bits] |= std::uint64_t{1} << (index % Bits);
    }

    void Clear(std::uint32_t oid)
    {
        if (const std::size_t index = m_bits.IndexOf(oid); index < m_bits.bits)
            m_words[index / Bits] &= ~(std::uint64_t{1} << (index % Bits));
    }

    std::vector<std::uint32_t> m_oids;
    std::vector<std::uint64_t> m_words;
    OpenBits m_bits; // base, Bits * m_words.size() and m_words.data()
};

// The nodes registered for the finishing pass, by OID, in order of registration. OIDs are never
// reused, so an OID finds its node or nothing once the node is gone, whatever was destroyed meanwhile.
// A large load registers one or two per atom: the OIDs sit in chunks that stay where they are as the
// list grows (no copy, and no memory touched twice).
class FinishList {
public:
    void Add(std::uint32_t oid)
    {
        if (m_next == m_chunkEnd)
            AddChunk();
        *m_next++ = oid;
    }

    // Add when the chunk has room; false when Add must (nothing changed).
    bool TryAdd(std::uint32_t oid)
    {
        if (m_next == m_chunkEnd)
            return false;
        *m_next++ = oid;
        return true;
    }

    std::size_t GetSize() const
    {
        return m_chunks.empty() ? 0 : (m_chunks.size() - 1) * ChunkSize + static_cast<std::size_t>(m_next - m_chunks.back().get());
    }
    std::uint32_t operator[](std::size_t i) const { return m_chunks[i / ChunkSize][i % ChunkSize]; }

    // Reads the entries in order from the first one, each while it is below GetSize(); the list may
    // grow meanwhile.
    class Reader {
    public:
        explicit Reader(const FinishList& list) : m_list(list) {}
        std::uint32_t Read()
        {
            if (m_at == m_end)
                NextChunk();
            return *m_at++;
        }

    private:
        void NextChunk()
        {
            m_at = m_list.m_chunks[m_chunk++].get();
            m_end = m_at + ChunkSize;
        }

        const FinishList& m_list;
        std::size_t m_chunk = 0; // the chunk after m_at's
        const std::uint32_t* m_at = nullptr;
        const std::uint32_t* m_end = nullptr;
    };

private:
    // 64 KiB of OIDs.
    static constexpr std::size_t ChunkSize = 16384;

    [[gnu::noinline]] void AddChunk()
    {
        m_chunks.push_back(std::make_unique_for_overwrite<std::uint32_t[]>(ChunkSize));
        m_next = m_chunks.back().get();
        m_chunkEnd = m_next + ChunkSize;
    }

    std::vector<std::unique_ptr<std::uint32_t[]>> m_chunks;
    std::uint32_t* m_next = nullptr; // the next free entry of the last chunk
    std::uint32_t* m_chunkEnd = nullptr;
};

// The OIDs of the objects created by reading, in order of creation. Objects take their OIDs from the
// counter one after another, so a load's come in long runs: each run is kept as its first OID and its
// length, and a large load needs a few of them rather than four bytes per object.
class CreatedList {
public:
    void Push(std::uint32_t oid)
    {
        // The initial empty run takes no OID: none is 0.
        if (oid - m_last.first == m_last.count)
            ++m_last.count;
        else
            StartRun(oid);
    }

    std::size_t GetSize() const { return m_before + m_last.count; }

    // Calls f with each OID from entry mark on, in order.
    template <class F>
    void ForEachFrom(std::size_t mark, F f) const
    {
        std::size_t at = 0; // the entry of the run's first OID
        const auto visit = [&](const Run& run) {
            for (std::uint32_t k = at < mark ? static_cast<std::uint32_t>(std::min<std::size_t>(mark - at, run.count)) : 0;
                 k < run.count; ++k)
                f(run.first + k);
            at += run.count;
        };
        for (const Run& run : m_runs)
            visit(run);
        visit(m_last);
    }

    // Drops the entries from mark on.
    void Truncate(std::size_t mark)
    {
        while (m_before > mark) {
            m_last = m_runs.back();
            m_runs.pop_back();
            m_before -= m_last.count;
        }
        if (mark < m_before + m_last.count)
            m_last.count = static_cast<std::uint32_t>(mark - m_before);
    }

private:
    struct Run {
        std::uint32_t first;
        std::uint32_t count;
    };

    [[gnu::noinline]] void StartRun(std::uint32_t oid)
    {
        if (m_last.count != 0) {
            m_runs.push_back(m_last);
            m_before += m_last.count;
        }
        m_last = {oid, 1};
    }

    std::vector<Run> m_runs; // the runs before the last
    Run m_last{0, 0};
    std::size_t m_before = 0; // OIDs in m_runs
};

// Records written and read in this process (CountStreamRecordsForTests); hidden, so that both
// sources reach it directly.
[[gnu::visibility("hidden")]] extern StreamRecordCounts g_recordCounts;

} // namespace PropertyStream

// Stored OID -> OID. Stored OIDs are counter values of the saving process, so they come in runs: they
// live in pages of consecutive slots (4 bytes each, 0 = no entry) while the pages hold no more than a
// few slots per entry; whatever does not fit that bound goes to a flat table. Memory therefore follows
// the number of entries, whatever the keys, and every lookup is O(1).
class PropertyArchive::OIDMap {
public:
    bool Contains(std::uint32_t key) const
    {
        if (const std::uint32_t* slot = PageSlot(key); slot && *slot != 0)
            return true;
        return m_scattered.Find(key) != nullptr;
    }

    // 0 when absent.
    std::uint32_t Find(std::uint32_t key) const
    {
        if (const std::uint32_t* slot = PageSlot(key); slot && *slot != 0)
            return *slot;
        const std::uint32_t* value = m_scattered.Find(key);
        return value ? *value : 0;
    }

    // Maps key to itself unless it has an entry: true when it had none.
    bool Insert(std::uint32_t key)
    {
        std::uint32_t* const slot = PageSlot(key);
        if ((slot && *slot != 0) || m_scattered.Find(key))
            return false;
        if (slot && key != 0) {
            *slot = key;
            ++m_entries;
        } else {
            Set(key, key);
        }
        return true;
    }

    void Set(std::uint32_t key, std::uint32_t value)
    {
        if (value != 0)
            SetObject(key, value);
        else
            SetAny(key, value);
    }
    // The same for an object's OID, which is never 0.
    void SetObject(std::uint32_t key, std::uint32_t value)
    {
        // A load's keys come in runs: most fall in the page of the key set before.
        if ((key >> PageBits) == m_setPage) {
            std::uint32_t& slot = m_setSlots[key & (PageSize - 1)];
            if (slot != 0 || !m_scattered.Find(key)) {
                m_entries += slot == 0 ? 1 : 0;
                slot = value;
                return;
            }
        }
        SetAny(key, value);
    }

private:
    [[gnu::noinline]] void SetAny(std::uint32_t key, std::uint32_t value)
    {
        if (m_scattered.Find(key)) {
            m_scattered.Set(key, value);
            return;
        }
        std::uint32_t* slot = PageSlot(key);
        // An entry for no object (0) cannot sit in a page, where 0 marks a free slot.
        if (!slot && value != 0 && PageFits())
            slot = AddPage(key);
        if (slot && value != 0) {
            if (*slot == 0)
                ++m_entries;
            *slot = value;
            m_setPage = m_lastPage;
            m_setSlots = m_lastSlots;
        } else {
            if (slot && *slot != 0) {
                *slot = 0;
                --m_entries;
            }
            m_scattered.Set(key, value);
        }
    }

    static constexpr unsigned PageBits = 10;
    static constexpr std::uint32_t PageSize = 1u << PageBits;
    // Pages always allowed, then one page per PageSize / SlotsPerEntry entries.
    static constexpr std::size_t FreePages = 4;
    static constexpr std::size_t SlotsPerEntry = 4;

    bool PageFits() const
    {
        const std::size_t entries = m_entries + m_scattered.GetSize() + 1;
        return (m_pages.size() + 1) * PageSize <= SlotsPerEntry * entries + FreePages * PageSize;
    }

    std::uint32_t* PageSlot(std::uint32_t key) const
    {
        const std::uint32_t page = key >> PageBits;
        if (page != m_lastPage) {
            // A bond's ends and the atom being read mostly lie in two pages: the page before the
            // last is asked for first.
            if (page != m_otherPage)
                return FindPageSlot(key);
            std::swap(m_lastPage, m_otherPage);
            std::swap(m_lastSlots, m_otherSlots);
        }
        return m_lastSlots + (key & (PageSize - 1));
    }

    // PageSlot of a key in neither page looked up last.
    [[gnu::noinline]] std::uint32_t* FindPageSlot(std::uint32_t key) const
    {
        const std::uint32_t* index = m_pageIndex.Find(key >> PageBits);
        if (!index)
            return nullptr;
        m_otherPage = m_lastPage;
        m_otherSlots = m_lastSlots;
        m_lastPage = key >> PageBits;
        m_lastSlots = m_pages[*index].get();
        return m_lastSlots + (key & (PageSize - 1));
    }

    std::uint32_t* AddPage(std::uint32_t key)
    {
        m_pageIndex.Set(key >> PageBits, static_cast<std::uint32_t>(m_pages.size()));
        m_pages.push_back(std::make_unique<std::uint32_t[]>(PageSize));
        return PageSlot(key);
    }

    PropertyStream::FlatMap m_pageIndex; // page number -> index in m_pages
    std::vector<std::unique_ptr<std::uint32_t[]>> m_pages;
    std::size_t m_entries = 0; // entries in the pages
    PropertyStream::FlatMap m_scattered;
    // The page of the last lookup: stored OIDs mostly come in runs.
    mutable std::uint32_t m_lastPage = UINT32_MAX;
    mutable std::uint32_t* m_lastSlots = nullptr;
    mutable std::uint32_t m_otherPage = UINT32_MAX; // the page of the lookup before, when another
    mutable std::uint32_t* m_otherSlots = nullptr;
    // The page of the last key set in a page.
    std::uint32_t m_setPage = UINT32_MAX;
    std::uint32_t* m_setSlots = nullptr;
};

// Stream state shared by an archive and the recorders that write its records' properties.
struct PropertyArchive::State {
    OIDMap oidMap;
    PropertyStream::FinishList finish;
    PropertyStream::OIDSet finishSet; // the OIDs of the nodes in finish
    PropertyStream::CreatedList created;
    // OIDs of the objects whose records are being read.
    PropertyStream::OpenRecords open;
    // Input bytes that the open records still need after the innermost one: at least one per
    // remaining property, array element and reference.
    std::size_t reserved = 0;
    // Set when a level asks for the current value during a MethodRead pass.
    bool taken = false;
    // The archive of values' byte blocks, between two values.
    std::unique_ptr<Archive> nested;
    // The plain form's hierarchy of the record being read.
    ClassHierarchy hierarchy;
};

} // namespace Tavrel
