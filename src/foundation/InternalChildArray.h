// BlockedChildArray: the ordered children of a tree node, with index lookup, access by index and removal in O(log n).
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include <tavrel/foundation/PooledBlock.h>

namespace Tavrel {

// The slots of one block of a BlockedChildArray: a vector of pointers whose first Inline entries are held
// in place, so a node with few children takes no block for them; more take a block from the pool the
// tree's objects come from (PooledBlock). The data pointer always names where they are, so reading
// takes no branch.
template <class Node, std::size_t Inline>
class InlineSlots {
public:
    InlineSlots() = default;
    InlineSlots(InlineSlots&& other) noexcept { Take(other); }
    InlineSlots& operator=(InlineSlots&& other) noexcept
    {
        if (this != &other) {
            Release();
            Take(other);
        }
        return *this;
    }
    InlineSlots(const InlineSlots&) = delete;
    InlineSlots& operator=(const InlineSlots&) = delete;
    ~InlineSlots() { Release(); }

    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_capacity; }
    bool empty() const { return m_size == 0; }
    Node** data() { return m_data; }
    Node* const* data() const { return m_data; }
    Node*& operator[](std::size_t i) { return m_data[i]; }
    Node* operator[](std::size_t i) const { return m_data[i]; }
    Node** begin() { return m_data; }
    Node** end() { return m_data + m_size; }
    Node* const* begin() const { return m_data; }
    Node* const* end() const { return m_data + m_size; }
    Node* back() const { return m_data[m_size - 1]; }

    // push_back where size() < capacity().
    void AppendWithinCapacity(Node* node) { m_data[m_size++] = node; }
    void reserve(std::size_t count)
    {
        if (count > m_capacity)
            Grow(count);
    }
    void push_back(Node* node)
    {
        if (m_size == m_capacity)
            Grow(m_size + 1);
        m_data[m_size++] = node;
    }
    void pop_back() { --m_size; }
    void resize(std::size_t count)
    {
        if (count > m_capacity)
            Grow(count);
        std::fill(m_data + std::min<std::size_t>(m_size, count), m_data + count, nullptr);
        m_size = static_cast<std::uint32_t>(count);
    }
    void assign(std::size_t count, Node* node)
    {
        if (count > m_capacity)
            Grow(count);
        std::fill(m_data, m_data + count, node);
        m_size = static_cast<std::uint32_t>(count);
    }

private:
    bool OutOfPlace() const { return m_data != m_inline; }
    [[gnu::noinline]] void Grow(std::size_t wanted)
    {
        const std::size_t capacity = std::max<std::size_t>(wanted, std::size_t{m_capacity} * 2);
        auto* const block = static_cast<Node**>(PooledBlock::Allocate(capacity * sizeof(Node*)));
        std::copy(m_data, m_data + m_size, block);
        Release();
        m_data = block;
        m_capacity = static_cast<std::uint32_t>(capacity);
    }
    void Release()
    {
        if (OutOfPlace())
            PooledBlock::Free(m_data, m_capacity * sizeof(Node*));
    }
    void Take(InlineSlots& other)
    {
        m_size = other.m_size;
        m_capacity = other.m_capacity;
        if (other.OutOfPlace()) {
            m_data = other.m_data;
        } else {
            std::copy(other.m_inline, other.m_inline + other.m_size, m_inline);
            m_data = m_inline;
        }
        other.m_data = other.m_inline;
        other.m_size = 0;
        other.m_capacity = Inline;
    }

    Node** m_data = m_inline;
    Node* m_inline[Inline] = {};
    std::uint32_t m_size = 0;
    std::uint32_t m_capacity = Inline;
};

// A vector that takes one pointer until it first holds an element: what only a node of very many
// children needs costs the others no more than that. Emptied, it keeps its room, as a vector does.
template <class T>
class LazyVector {
public:
    bool empty() const { return !m_items || m_items->empty(); }
    std::size_t size() const { return m_items ? m_items->size() : 0; }
    T& operator[](std::size_t i) { return (*m_items)[i]; }
    const T& operator[](std::size_t i) const { return (*m_items)[i]; }
    T& back() { return m_items->back(); }
    T* data() { return m_items->data(); }
    void push_back(T value) { Edit().push_back(std::move(value)); }
    void pop_back() { m_items->pop_back(); }
    void insert(std::size_t at, T value)
    {
        m_items->insert(m_items->begin() + static_cast<std::ptrdiff_t>(at), std::move(value));
    }
    void erase(std::size_t at) { m_items->erase(m_items->begin() + static_cast<std::ptrdiff_t>(at)); }
    void resize(std::size_t count) { Edit().resize(count); }
    void clear()
    {
        if (m_items)
            m_items->clear();
    }

private:
    std::vector<T>& Edit()
    {
        if (!m_items)
            m_items = std::make_unique<std::vector<T>>();
        return *m_items;
    }

    std::unique_ptr<std::vector<T>> m_items;
};

// For the sources of TreeNode (InternalTreeNode.h) and its tests: not part of the library's interface.
// Node is the child type; Derived, the array class itself, keeps each child's slot number in the child:
// static std::uint32_t GetSlot(const Node*) and static void SetSlot(Node*, std::uint32_t), a child
// outside any array holding all ones.
//
// The children in order, held in blocks of at most BlockSize slots. A child's slot number names its
// block (a number that stays while the block lives) and its slot there. Removed children leave holes,
// which a bitmap per block skips, and a Fenwick tree over the blocks in order counts the children
// before each block: index lookup, access by index and removal take O(log n). An insertion moves
// children within one block only, into the nearest hole; a full block is split, leaving the hole
// where the insertion goes, and neighbours that together hold few children are merged; a split or
// merge ranks the blocks again, O(n / BlockSize), and takes many changes to a block to recur.
template <class Node, class Derived>
class BlockedChildArray {
public:
    int Size() const { return static_cast<int>(m_live); }

    // For a node whose parent is this array's: a node leaving an array takes the slot number Outside,
    // so one that has a slot is in the array; only the block's bitmap is read, not the slots.
    bool Holds(const Node* child) const
    {
        const std::size_t number = Derived::GetSlot(child) >> SlotBits;
        return Derived::GetSlot(child) != Outside && number < m_blocks.size() && m_blocks[number].IsLive(SlotOf(child));
    }

    // A packed array's child is two loads away; the search through holes stays out of line, so that
    // callers asking for every child inline the packed path alone.
    Node* At(std::size_t index) const
    {
        if (m_packed) [[likely]]
            return m_blocks[NumberAt(index >> SlotBits)].slots[index & (BlockSize - 1)];
        return AtLocated(index);
    }

    // Packed, the child's slot number gives its index; the count through holes stays out of line.
    std::size_t IndexOf(const Node* child) const
    {
        if (m_packed) [[likely]]
            return std::size_t{m_blocks[Derived::GetSlot(child) >> SlotBits].rank} << SlotBits | SlotOf(child);
        return IndexOfLocated(child);
    }

    // The last slot of a block is never a hole, and no block is empty.
    Node* Last() const { return BlockCount() == 0 ? nullptr : m_blocks[NumberAt(BlockCount() - 1)].slots.back(); }

    // Ask for what a ForEach reads first, in two steps a few visits apart: the block table, then
    // the first block's slots (reading the table).
    void PrefetchBlocks() const { __builtin_prefetch(&m_blocks[0]); }
    void PrefetchSlots() const
    {
        if (!m_blocks.empty())
            __builtin_prefetch(m_blocks[NumberAt(0)].slots.data());
    }

    template <class Visit>
    void ForEach(Visit&& visit) const
    {
        for (std::size_t rank = 0; rank < BlockCount(); ++rank) {
            for (Node* child : m_blocks[NumberAt(rank)].slots) {
                if (child)
                    visit(child);
            }
        }
    }

    void Append(Node* child) { AppendLast(child); }

    // Room for children up to `count` in all within the last block (none yet: the first one), so that
    // appending them moves no slot.
    void Reserve(std::size_t count)
    {
        const std::size_t live = m_lastNumber == NoBlock ? 0 : m_blocks[m_lastNumber].slots.size();
        if (count > m_live && live + (count - m_live) <= BlockSize)
            (m_lastNumber == NoBlock ? m_blocks.Unused() : m_blocks[m_lastNumber]).slots.reserve(live + (count - m_live));
    }

    // Append, always true: into the last block's room inline; a new block or a slot vector that grows
    // goes out of line, as the caller's last call.
    bool AppendLast(Node* child)
    {
        if (const std::uint32_t number = m_lastNumber; number != NoBlock) [[likely]] {
            Block& block = m_blocks[number];
            if (const std::size_t slot = block.slots.size(); slot < BlockSize && slot < block.slots.capacity()) [[likely]] {
                block.slots.AppendWithinCapacity(child);
                Appended(block, number, slot, child);
                return true;
            }
        }
        return AppendGrowing(child);
    }

    // Packed, a child past the first slot of its block trades places with the one before it.
    bool SwapWithPrevious(Node* child)
    {
        const std::uint32_t at = Derived::GetSlot(child);
        if (!m_packed || (at & (BlockSize - 1)) == 0)
            return false;
        Node** const slots = m_blocks[at >> SlotBits].slots.data();
        Node* const previous = slots[(at & (BlockSize - 1)) - 1];
        slots[(at & (BlockSize - 1)) - 1] = child;
        slots[at & (BlockSize - 1)] = previous;
        Derived::SetSlot(child, at - 1);
        Derived::SetSlot(previous, at);
        return true;
    }

    // Inserts before the child now at the index, which is below Size().
    void Insert(std::size_t index, Node* child)
    {
        m_packed = false;
        auto [rank, within] = Locate(index);
        if (m_blocks[NumberAt(rank)].count == BlockSize) {
            Split(rank, within);
            std::tie(rank, within) = Locate(index);
        }
        const std::uint32_t number = NumberAt(rank);
        Slots& slots = m_blocks[number].slots;
        const std::size_t next = m_blocks[number].SlotOfLive(within);
        if (next > 0 && !slots[next - 1]) {
            slots[next - 1] = child;
            Taken(number, next - 1, child);
            return;
        }
        // The nearest hole on either side; past the last slot counts as one while the block has room.
        std::size_t below = next;
        while (below > 0 && slots[below - 1])
            --below;
        std::size_t above = next + 1;
        while (above < slots.size() && slots[above])
            ++above;
        const bool roomAbove = above < slots.size() || slots.size() < BlockSize;
        if (below > 0 && (!roomAbove || next - below < above - next)) {
            // Children below the insertion point each move down one slot into the hole.
            for (std::size_t slot = below - 1; slot + 1 < next; ++slot)
                Put(number, slot, slots[slot + 1]);
            slots[next - 1] = child;
            Taken(number, below - 1, child, next - 1);
            return;
        }
        if (above == slots.size())
            slots.push_back(nullptr);
        for (std::size_t slot = above; slot > next; --slot)
            Put(number, slot, slots[slot - 1]);
        slots[next] = child;
        Taken(number, above, child, next);
    }

    void Remove(Node* child)
    {
        const std::uint32_t number = Derived::GetSlot(child) >> SlotBits;
        Block& block = m_blocks[number];
        const std::size_t slot = SlotOf(child);
        // Only the removal of the last child keeps the blocks packed.
        m_packed = m_packed && block.rank + 1 == BlockCount() && slot + 1 == block.slots.size();
        Derived::SetSlot(child, Outside);
        block.slots[slot] = nullptr;
        block.live[slot / 64] &= ~(std::uint64_t{1} << (slot % 64));
        --block.count;
        --m_live;
        AddLive(block.rank, -1);
        while (!block.slots.empty() && !block.IsLive(block.slots.size() - 1))
            block.slots.pop_back();
        std::size_t rank = block.rank;
        if (block.count == 0) {
            DropBlock(rank);
            return;
        }
        if (rank > 0 && m_blocks[NumberAt(rank - 1)].count + block.count <= MergeSize)
            Merge(--rank);
        if (rank + 1 < BlockCount() && m_blocks[NumberAt(rank)].count + m_blocks[NumberAt(rank + 1)].count <= MergeSize)
            Merge(rank);
    }

    // Moves the child at index `from` down to index `to`; the children from `to` on move up one index.
    // Only the slots' occupants change (blocks, holes and counts stay): O((from - to) log n).
    void MoveDown(std::size_t from, std::size_t to)
    {
        // Packed, within one block (a loaded child listed a place or two after it joined): the
        // block's slots move in place.
        if (m_packed && from >> SlotBits == to >> SlotBits) {
            const std::uint32_t number = NumberAt(from >> SlotBits);
            Node** const slots = m_blocks[number].slots.data();
            const std::size_t first = to & (BlockSize - 1);
            std::size_t slot = from & (BlockSize - 1);
            Node* const moved = slots[slot];
            for (; slot > first; --slot) {
                slots[slot] = slots[slot - 1];
                Derived::SetSlot(slots[slot], static_cast<std::uint32_t>(number << SlotBits | slot));
            }
            slots[first] = moved;
            Derived::SetSlot(moved, static_cast<std::uint32_t>(number << SlotBits | first));
            return;
        }
        MoveDownAcross(from, to);
    }

    // Children in the new order.
    void Replace(const std::vector<Node*>& order)
    {
        m_blocks.clear();
        m_order.clear();
        m_tree.clear();
        m_freeHead = NoBlock;
        m_lastNumber = NoBlock;
        m_live = 0;
        m_packed = true;
        for (Node* child : order)
            Append(child);
    }

private:
    // 8 bits of a 32-bit slot number name the slot, 24 the block: merged neighbours hold more than
    // MergeSize children together, so 2^24 blocks are only reached by far more children than fit in memory.
    static constexpr unsigned SlotBits = 8;
    static constexpr std::size_t BlockSize = std::size_t{1} << SlotBits;
    static constexpr std::size_t MergeSize = BlockSize / 4;
    static constexpr std::uint32_t Outside = UINT32_MAX;
    static constexpr std::uint32_t NoBlock = UINT32_MAX;

    // Slots a block holds in place: most nodes with children have only a few.
    static constexpr std::size_t InlineChildren = 4;
    using Slots = InlineSlots<Node, InlineChildren>;

    struct Block {
        Slots slots;                                 // null for a hole
        std::array<std::uint64_t, BlockSize / 64> live{};  // a bit per child
        std::uint32_t count = 0;
        std::uint32_t rank = 0;  // position among the blocks in order; for a free block, the next free number

        bool IsDense() const { return count == slots.size(); }
        bool IsLive(std::size_t slot) const { return (live[slot / 64] >> (slot % 64) & 1) != 0; }

        std::size_t LiveBefore(std::size_t slot) const
        {
            if (IsDense())
                return slot;
            std::size_t before = 0;
            for (std::size_t word = 0; word < slot / 64; ++word)
                before += static_cast<std::size_t>(std::popcount(live[word]));
            const std::uint64_t below = (std::uint64_t{1} << (slot % 64)) - 1;
            return before + static_cast<std::size_t>(std::popcount(live[slot / 64] & below));
        }

        // The slot of the child with `within` children before it in this block.
        std::size_t SlotOfLive(std::size_t within) const
        {
            if (IsDense())
                return within;
            std::size_t word = 0;
            for (auto inWord = static_cast<std::size_t>(std::popcount(live[0])); within >= inWord;
                 inWord = static_cast<std::size_t>(std::popcount(live[++word])))
                within -= inWord;
            std::uint64_t bits = live[word];
            std::size_t slot = word * 64;
            for (unsigned width = 32; width > 0; width >>= 1) {
                const auto low = static_cast<std::size_t>(std::popcount(bits & ((std::uint64_t{1} << width) - 1)));
                if (within >= low) {
                    within -= low;
                    bits >>= width;
                    slot += width;
                }
            }
            return slot;
        }
    };

    // The blocks by number, a single one held in place: a node with few children takes one heap block
    // (the array itself) for them. With more, all lie in the vector; the data pointer names where they
    // are, so reading takes no branch.
    class BlockTable {
    public:
        BlockTable() = default;
        BlockTable(const BlockTable&) = delete;
        BlockTable& operator=(const BlockTable&) = delete;

        std::size_t size() const { return m_rest.empty() ? (m_used ? 1 : 0) : m_rest.size(); }
        bool empty() const { return !m_used; }
        // The block the first emplace_back will take, while there is none.
        Block& Unused() { return m_first; }
        Block& operator[](std::size_t number) { return m_data[number]; }
        const Block& operator[](std::size_t number) const { return m_data[number]; }
        void emplace_back()
        {
            if (!m_used) {
                m_used = true;
                return;
            }
            if (m_rest.empty())
                m_rest.push_back(std::move(m_first));
            m_rest.push_back(Block());
            m_data = m_rest.data();
        }
        void clear()
        {
            m_first = Block();
            m_rest.clear();
            m_used = false;
            m_data = &m_first;
        }

    private:
        Block m_first;
        LazyVector<Block> m_rest;
        Block* m_data = &m_first;
        bool m_used = false;
    };

    static std::size_t SlotOf(const Node* child) { return Derived::GetSlot(child) & (BlockSize - 1); }

    // Counts a child just pushed onto the slots of the last block, into `slot`.
    void Appended(Block& block, std::uint32_t number, std::size_t slot, Node* child)
    {
        Derived::SetSlot(child, static_cast<std::uint32_t>(number << SlotBits | slot));
        block.live[slot / 64] |= std::uint64_t{1} << (slot % 64);
        ++block.count;
        ++m_live;
        // The last block's Fenwick node is the tree's last, and no node above covers it.
        if (!m_tree.empty())
            ++m_tree.back();
    }

    // Append into a new block, or one whose slots grow.
    [[gnu::noinline]] bool AppendGrowing(Node* child)
    {
        if (m_lastNumber == NoBlock || m_blocks[m_lastNumber].slots.size() == BlockSize)
            AppendBlock();
        const std::uint32_t number = m_lastNumber;
        Block& block = m_blocks[number];
        block.slots.push_back(child);
        Appended(block, number, block.slots.size() - 1, child);
        return true;
    }

    // MoveDown over blocks or holes, child by child.
    [[gnu::noinline]] void MoveDownAcross(std::size_t from, std::size_t to)
    {
        Node* const moved = At(from);
        for (std::size_t index = from; index > to; --index)
            PutAt(index, At(index - 1));
        PutAt(to, moved);
    }

    // IndexOf for an array with holes.
    [[gnu::noinline]] std::size_t IndexOfLocated(const Node* child) const
    {
        const Block& block = m_blocks[Derived::GetSlot(child) >> SlotBits];
        return LiveBefore(block.rank) + block.LiveBefore(SlotOf(child));
    }

    // At for an array with holes.
    [[gnu::noinline]] Node* AtLocated(std::size_t index) const
    {
        const auto [rank, within] = Locate(index);
        const Block& block = m_blocks[NumberAt(rank)];
        return block.slots[block.SlotOfLive(within)];
    }

    // Places a child in a slot of a block, without counting it.
    void Put(std::uint32_t number, std::size_t slot, Node* child)
    {
        m_blocks[number].slots[slot] = child;
        Derived::SetSlot(child, static_cast<std::uint32_t>(number << SlotBits | slot));
    }

    // Places a child in the live slot of an index.
    void PutAt(std::size_t index, Node* child)
    {
        if (m_packed) {
            Put(NumberAt(index >> SlotBits), index & (BlockSize - 1), child);
            return;
        }
        const auto [rank, within] = Locate(index);
        const std::uint32_t number = NumberAt(rank);
        Put(number, m_blocks[number].SlotOfLive(within), child);
    }

    // Counts a new child placed at `at`, whose placement filled the hole at `filled`.
    void Taken(std::uint32_t number, std::size_t filled, Node* child, std::size_t at)
    {
        Block& block = m_blocks[number];
        Put(number, at, child);
        block.live[filled / 64] |= std::uint64_t{1} << (filled % 64);
        ++block.count;
        ++m_live;
        AddLive(block.rank, 1);
    }
    void Taken(std::uint32_t number, std::size_t slot, Node* child) { Taken(number, slot, child, slot); }

    // Children in the blocks ranked before `rank`.
    std::size_t LiveBefore(std::size_t rank) const
    {
        std::size_t live = 0;
        if (!m_tree.empty()) {
            for (std::size_t one = rank; one > 0; one &= one - 1)
                live += m_tree[one - 1];
        }
        return live;
    }

    void AddLive(std::size_t rank, int delta)
    {
        for (std::size_t one = rank + 1; one <= m_tree.size(); one += one & (~one + 1))
            m_tree[one - 1] = static_cast<std::uint32_t>(static_cast<int>(m_tree[one - 1]) + delta);
    }

    // The rank of the block holding the child at an index, and the children before it there.
    std::pair<std::size_t, std::size_t> Locate(std::size_t index) const
    {
        if (m_tree.empty())
            return {0, index};
        std::size_t rank = 0;
        for (std::size_t step = std::bit_floor(m_tree.size()); step > 0; step >>= 1) {
            if (rank + step <= m_tree.size() && m_tree[rank + step - 1] <= index) {
                rank += step;
                index -= m_tree[rank - 1];
            }
        }
        return {rank, index};
    }

    std::uint32_t NewBlock()
    {
        if (m_freeHead == NoBlock) {
            m_blocks.emplace_back();
            return static_cast<std::uint32_t>(m_blocks.size() - 1);
        }
        const std::uint32_t number = m_freeHead;
        m_freeHead = m_blocks[number].rank;
        return number;
    }

    // Releases the block's slots; its number joins the free list (linked through `rank`), so that
    // removals never allocate.
    void FreeBlock(std::uint32_t number)
    {
        m_blocks[number] = Block();
        m_blocks[number].rank = m_freeHead;
        m_freeHead = number;
    }

    // While there is a single block, it is block 0 and the order is not stored.
    std::size_t BlockCount() const { return m_order.empty() ? m_blocks.size() : m_order.size(); }
    std::uint32_t NumberAt(std::size_t rank) const { return m_order.empty() ? 0 : m_order[rank]; }
    void StoreOrder()
    {
        if (m_order.empty() && !m_blocks.empty())
            m_order.push_back(0);
    }
    // After any change to the blocks in order.
    void NoteLast() { m_lastNumber = BlockCount() == 0 ? NoBlock : NumberAt(BlockCount() - 1); }

    // An empty block after the last; the Fenwick tree grows by one node (kept only for two blocks or more).
    void AppendBlock()
    {
        if (BlockCount() == 0) {
            NewBlock();
            NoteLast();
            return;
        }
        StoreOrder();
        const std::uint32_t number = NewBlock();
        m_blocks[number].rank = static_cast<std::uint32_t>(m_order.size());
        m_order.push_back(number);
        NoteLast();
        const std::size_t one = m_order.size();
        if (one == 2)
            Rerank(0);
        else if (one > 2)
            m_tree.push_back(static_cast<std::uint32_t>(LiveBefore(one - 1) - LiveBefore(one - (one & (~one + 1)))));
    }

    // Ranks the blocks from `rank` on again and rebuilds the Fenwick tree.
    void Rerank(std::size_t rank)
    {
        for (; rank < m_order.size(); ++rank)
            m_blocks[m_order[rank]].rank = static_cast<std::uint32_t>(rank);
        m_tree.clear();
        if (m_order.size() < 2)
            return;
        m_tree.resize(m_order.size());
        for (std::size_t one = 1; one <= m_tree.size(); ++one) {
            m_tree[one - 1] += m_blocks[m_order[one - 1]].count;
            if (const std::size_t up = one + (one & (~one + 1)); up <= m_tree.size())
                m_tree[up - 1] += m_tree[one - 1];
        }
    }

    void DropBlock(std::size_t rank)
    {
        if (BlockCount() == 1) {
            m_blocks.clear();
            m_order.clear();
            m_freeHead = NoBlock;
            m_lastNumber = NoBlock;
            m_tree.clear();
            m_packed = true;
            return;
        }
        const std::uint32_t number = m_order[rank];
        m_order.erase(rank);
        NoteLast();
        FreeBlock(number);
        // Dropping the last node leaves a valid Fenwick tree over the others.
        if (rank == m_order.size() && m_order.size() > 1)
            m_tree.pop_back();
        else
            Rerank(rank);
    }

    // Splits the full block at `rank` in halves, the hole of each half where the insertion goes.
    void Split(std::size_t rank, std::size_t within)
    {
        StoreOrder();
        const std::uint32_t lower = m_order[rank];
        const std::uint32_t upper = NewBlock();
        const Slots children = std::move(m_blocks[lower].slots);
        constexpr std::size_t half = BlockSize / 2;
        const auto fill = [this, &children](std::uint32_t number, std::size_t first, std::size_t last, std::size_t gapAt) {
            Block& block = m_blocks[number];
            const std::size_t count = last - first;
            const std::size_t gap = gapAt < last ? BlockSize - count : 0;
            block.slots.assign(count + gap, nullptr);
            block.live.fill(0);
            block.count = static_cast<std::uint32_t>(count);
            for (std::size_t i = first; i < last; ++i) {
                const std::size_t slot = i - first + (i >= gapAt ? gap : 0);
                Put(number, slot, children[i]);
                block.live[slot / 64] |= std::uint64_t{1} << (slot % 64);
            }
        };
        fill(lower, 0, half, within < half ? within : half);
        fill(upper, half, BlockSize, within < half ? BlockSize : within);
        m_order.insert(rank + 1, upper);
        NoteLast();
        Rerank(rank);
    }

    // Moves the children of the block after `rank` to the end of the block at `rank`, packed in place.
    void Merge(std::size_t rank)
    {
        const std::uint32_t number = m_order[rank];
        const std::uint32_t emptied = m_order[rank + 1];
        Slots& slots = m_blocks[number].slots;
        std::size_t count = 0;
        for (std::size_t slot = 0; slot < slots.size(); ++slot) {
            if (slots[slot])
                Put(number, count++, slots[slot]);
        }
        slots.resize(count);
        for (Node* child : m_blocks[emptied].slots) {
            if (child) {
                slots.push_back(nullptr);
                Put(number, slots.size() - 1, child);
            }
        }
        Block& block = m_blocks[number];
        block.count = static_cast<std::uint32_t>(slots.size());
        block.live.fill(0);
        for (std::size_t slot = 0; slot < slots.size(); ++slot)
            block.live[slot / 64] |= std::uint64_t{1} << (slot % 64);
        FreeBlock(emptied);
        m_order.erase(rank + 1);
        NoteLast();
        Rerank(rank);
    }

    BlockTable m_blocks;                 // by block number; a free number holds an empty block
    LazyVector<std::uint32_t> m_order;   // block numbers in child order, once there are two blocks
    LazyVector<std::uint32_t> m_tree;    // Fenwick tree of child counts over m_order
    std::uint32_t m_freeHead = NoBlock;  // first free block number
    std::uint32_t m_lastNumber = NoBlock;  // the last block's number, for appends
    std::uint32_t m_live = 0;
    // Every block but the last is full and none has a hole (children only appended, or removed from
    // the end): an index then names its block and slot directly.
    bool m_packed = true;
};

} // namespace Tavrel
