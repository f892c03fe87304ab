#include <tavrel/foundation/TreeNode.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <deque>
#include <limits>
#include <optional>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include <tavrel/core/UniqueString.h>
#include <tavrel/foundation/DataStorage.h>
#include <tavrel/foundation/Property.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(TreeNode, ClassKind::Creatable)

namespace {

// Advances on every insertion or removal of a child, so a walk can tell whether callbacks changed
// the tree under it.
std::uint64_t g_structureEpoch = 0;

// Attribute texts of registrations by number, 0 standing for none, so that a registration holds
// four bytes for its attribute.
struct AttributeTable {
    std::vector<UniqueString::StringPtr> texts{nullptr};
    std::unordered_map<UniqueString::StringPtr, std::uint32_t> numbers;
};

AttributeTable& Attributes()
{
    static AttributeTable table;
    return table;
}

std::uint32_t AttributeNumber(const char* attribute)
{
    if (!attribute)
        return 0;
    AttributeTable& table = Attributes();
    const UniqueString::StringPtr text = UniqueString::Intern(attribute);
    const auto [entry, added] = table.numbers.try_emplace(text, static_cast<std::uint32_t>(table.texts.size()));
    if (added)
        table.texts.push_back(text);
    return entry->second;
}

const char* AttributeText(std::uint32_t number)
{
    return number == 0 ? nullptr : Attributes().texts[number]->c_str();
}

// The root known to a subtree deletion for the removal it is about to cause, valid while nothing
// else changed the tree; spares each removal a climb to the root.
struct RemovalHint {
    const TreeNode* parent = nullptr;
    const TreeNode* child = nullptr;
    TreeNode* root = nullptr;
    std::uint64_t epoch = 0;
};
RemovalHint g_removalHint;

// The root of the node last asked about and the tree registrations held on it and above (their codes
// OR-ed by class type: a mask byte takes the same bits either way), so that building under one parent,
// or down a chain, climbs to the root once and a child reads what it inherits from here. Forgotten when a tree registration comes or goes and
// when a node holding children, or the node itself, changes parent or is destroyed.
struct Ancestry {
    const TreeNode* node = nullptr;
    TreeNode* root = nullptr;
    std::vector<std::pair<std::uint32_t, std::uint16_t>> inherited;
};
constinit Ancestry g_ancestry;

void ForgetAncestry()
{
    g_ancestry.node = nullptr;
}

// Before a node changes parent or is destroyed.
void ForgetAncestryOf(const TreeNode* node)
{
    if (node == g_ancestry.node || node->GetNumChildren() > 0)
        ForgetAncestry();
}

// A framework-archive record of a tree node in progress. The record holds the node's own fields up to
// its child array, its children's records, then the rest: the flags and each derived class's fields,
// which the node's Serialize writes or reads when the walk gives it the turn. Records are kept on an
// explicit stack, innermost last, shared by the walks that nest inside a record's own fields.
struct OpenRecord {
    Archive* archive = nullptr;
    TreeNode* node = nullptr;
    Archive::ObjectHeader header;  // loading: the node's entry in the archive, to abandon it on failure
    std::uint32_t next = 0;        // children begun
    std::uint32_t count = 0;
    bool turn = false;             // the node's Serialize is to take the rest of its record
    std::vector<TreeNode*> taken;  // loading: children read, placed when the rest is read
};

std::vector<OpenRecord>& OpenRecords()
{
    static std::vector<OpenRecord> records;
    return records;
}

// The nodes whose records are open, with their archive and whether the records are still open up to
// their children (else the nodes' own Serialize is reading or writing the rest).
struct OpenNode {
    const Archive* archive;
    bool upToChildren;
};
std::unordered_map<const TreeNode*, OpenNode>& OpenNodes()
{
    static std::unordered_map<const TreeNode*, OpenNode> nodes;
    return nodes;
}

// The framework's object array: in the framework-archive form the children are one record of it,
// class-tagged, holding the count and the children's records.
const RuntimeClass& ObjectArrayClass()
{
    static const RuntimeClass record{"CObArray", 0, nullptr, nullptr};
    return record;
}

// True while the node's record is open in the archive: up to its children only, or to its end.
bool IsRecordOpen(const Archive& archive, const TreeNode* node, bool upToChildren)
{
    const auto& nodes = OpenNodes();
    const auto found = node ? nodes.find(node) : nodes.end();
    return found != nodes.end() && found->second.archive == &archive && (!upToChildren || found->second.upToChildren);
}

// The rest of the node's record follows: it is no longer open up to its children.
void OpenRest(const TreeNode& node)
{
    if (const auto found = OpenNodes().find(&node); found != OpenNodes().end())
        found->second.upToChildren = false;
}

} // namespace

// The children in order, held in blocks of at most BlockSize slots. A child's slot number names its
// block (a number that stays while the block lives) and its slot there. Removed children leave holes,
// which a bitmap per block skips, and a Fenwick tree over the blocks in order counts the children
// before each block: index lookup, access by index and removal take O(log n). An insertion moves
// children within one block only, into the nearest hole; a full block is split, leaving the hole
// where the insertion goes, and neighbours that together hold few children are merged; a split or
// merge ranks the blocks again, O(n / BlockSize), and takes many changes to a block to recur.
class TreeNode::ChildArray {
public:
    int Size() const { return static_cast<int>(m_live); }

    // For a node whose parent is this array's: a node leaving an array takes the slot number Outside,
    // so one that has a slot is in the array; only the block's bitmap is read, not the slots.
    bool Holds(const TreeNode* child) const
    {
        const std::size_t number = child->m_slot >> SlotBits;
        return child->m_slot != Outside && number < m_blocks.size() && m_blocks[number].IsLive(SlotOf(child));
    }

    TreeNode* At(std::size_t index) const
    {
        if (m_packed)
            return m_blocks[NumberAt(index >> SlotBits)].slots[index & (BlockSize - 1)];
        const auto [rank, within] = Locate(index);
        const Block& block = m_blocks[NumberAt(rank)];
        return block.slots[block.SlotOfLive(within)];
    }

    std::size_t IndexOf(const TreeNode* child) const
    {
        const Block& block = m_blocks[child->m_slot >> SlotBits];
        if (m_packed)
            return std::size_t{block.rank} << SlotBits | SlotOf(child);
        return LiveBefore(block.rank) + block.LiveBefore(SlotOf(child));
    }

    // The last slot of a block is never a hole, and no block is empty.
    TreeNode* Last() const { return BlockCount() == 0 ? nullptr : m_blocks[NumberAt(BlockCount() - 1)].slots.back(); }

    template <class Visit>
    void ForEach(Visit&& visit) const
    {
        for (std::size_t rank = 0; rank < BlockCount(); ++rank) {
            for (TreeNode* child : m_blocks[NumberAt(rank)].slots) {
                if (child)
                    visit(child);
            }
        }
    }

    void Append(TreeNode* child)
    {
        if (BlockCount() == 0 || m_blocks[NumberAt(BlockCount() - 1)].slots.size() == BlockSize)
            AppendBlock();
        const std::uint32_t number = NumberAt(BlockCount() - 1);
        Block& block = m_blocks[number];
        block.slots.push_back(child);
        Taken(number, block.slots.size() - 1, child);
    }

    // Inserts before the child now at the index, which is below Size().
    void Insert(std::size_t index, TreeNode* child)
    {
        m_packed = false;
        auto [rank, within] = Locate(index);
        if (m_blocks[NumberAt(rank)].count == BlockSize) {
            Split(rank, within);
            std::tie(rank, within) = Locate(index);
        }
        const std::uint32_t number = NumberAt(rank);
        std::vector<TreeNode*>& slots = m_blocks[number].slots;
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

    void Remove(TreeNode* child)
    {
        const std::uint32_t number = child->m_slot >> SlotBits;
        Block& block = m_blocks[number];
        const std::size_t slot = SlotOf(child);
        // Only the removal of the last child keeps the blocks packed.
        m_packed = m_packed && block.rank + 1 == BlockCount() && slot + 1 == block.slots.size();
        child->m_slot = Outside;
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

    // Children in the new order.
    void Replace(const std::vector<TreeNode*>& order)
    {
        m_blocks.clear();
        m_order.clear();
        m_tree.clear();
        m_freeHead = NoBlock;
        m_live = 0;
        m_packed = true;
        for (TreeNode* child : order)
            Append(child);
    }

    // The OIDs a loaded "Children" list names, in list order, until the node's record ends.
    void AddListed(std::uint32_t oid)
    {
        if (!m_listed)
            m_listed = std::make_unique<std::vector<std::uint32_t>>();
        m_listed->push_back(oid);
    }
    std::unique_ptr<std::vector<std::uint32_t>> TakeListed() { return std::move(m_listed); }

private:
    // 8 bits of a 32-bit slot number name the slot, 24 the block: merged neighbours hold more than
    // MergeSize children together, so 2^24 blocks are only reached by far more children than fit in memory.
    static constexpr unsigned SlotBits = 8;
    static constexpr std::size_t BlockSize = std::size_t{1} << SlotBits;
    static constexpr std::size_t MergeSize = BlockSize / 4;
    static constexpr std::uint32_t Outside = UINT32_MAX;
    static constexpr std::uint32_t NoBlock = UINT32_MAX;

    struct Block {
        std::vector<TreeNode*> slots;                    // null for a hole
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

    static std::size_t SlotOf(const TreeNode* child) { return child->m_slot & (BlockSize - 1); }

    // Places a child in a slot of a block, without counting it.
    void Put(std::uint32_t number, std::size_t slot, TreeNode* child)
    {
        m_blocks[number].slots[slot] = child;
        child->m_slot = static_cast<std::uint32_t>(number << SlotBits | slot);
    }

    // Counts a new child placed at `at`, whose placement filled the hole at `filled`.
    void Taken(std::uint32_t number, std::size_t filled, TreeNode* child, std::size_t at)
    {
        Block& block = m_blocks[number];
        Put(number, at, child);
        block.live[filled / 64] |= std::uint64_t{1} << (filled % 64);
        ++block.count;
        ++m_live;
        AddLive(block.rank, 1);
    }
    void Taken(std::uint32_t number, std::size_t slot, TreeNode* child) { Taken(number, slot, child, slot); }

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

    // An empty block after the last; the Fenwick tree grows by one node (kept only for two blocks or more).
    void AppendBlock()
    {
        if (BlockCount() == 0) {
            NewBlock();
            return;
        }
        StoreOrder();
        const std::uint32_t number = NewBlock();
        m_blocks[number].rank = static_cast<std::uint32_t>(m_order.size());
        m_order.push_back(number);
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
            m_tree.clear();
            m_packed = true;
            return;
        }
        const std::uint32_t number = m_order[rank];
        m_order.erase(m_order.begin() + static_cast<std::ptrdiff_t>(rank));
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
        std::vector<TreeNode*> children = std::move(m_blocks[lower].slots);
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
        m_order.insert(m_order.begin() + static_cast<std::ptrdiff_t>(rank + 1), upper);
        Rerank(rank);
    }

    // Moves the children of the block after `rank` to the end of the block at `rank`, packed in place.
    void Merge(std::size_t rank)
    {
        const std::uint32_t number = m_order[rank];
        const std::uint32_t emptied = m_order[rank + 1];
        std::vector<TreeNode*>& slots = m_blocks[number].slots;
        std::size_t count = 0;
        for (std::size_t slot = 0; slot < slots.size(); ++slot) {
            if (slots[slot])
                Put(number, count++, slots[slot]);
        }
        slots.resize(count);
        for (TreeNode* child : m_blocks[emptied].slots) {
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
        m_order.erase(m_order.begin() + static_cast<std::ptrdiff_t>(rank + 1));
        Rerank(rank);
    }

    std::vector<Block> m_blocks;         // by block number; a free number holds an empty block
    std::vector<std::uint32_t> m_order;  // block numbers in child order, once there are two blocks
    std::vector<std::uint32_t> m_tree;   // Fenwick tree of child counts over m_order
    std::uint32_t m_freeHead = NoBlock;  // first free block number
    std::uint32_t m_live = 0;
    // Every block but the last is full and none has a hole (children only appended, or removed from
    // the end): an index then names its block and slot directly.
    bool m_packed = true;
    std::unique_ptr<std::vector<std::uint32_t>> m_listed;
};

// The recursive state operations (Select, SetVisible, CollapseNode ...) run from an explicit stack
// of tasks instead of the C++ stack. The walk calls each node's virtual operation, so overrides
// still run for every node; the base operation of a node called by the walk does its own part and
// leaves its children to the walk. Anything else (a callback, an override calling another
// operation) starts a walk of its own that is complete when it returns.
enum class TreeNode::WalkOp : std::uint8_t {
    Select,
    SetSelect,
    UnSelect,
    SelectIfChildrenSelected,
    DisableSelection,
    EnableSelection,
    SetVisible,
    SetInvisible,
    ExpandNode,
    CollapseNode,
    ClearModified,
    ActivityChanged,
};

class TreeNode::Walk {
public:
    Walk() : m_outer(s_current) { s_current = this; }
    ~Walk() { s_current = m_outer; }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    static Walk& Current() { return *s_current; }

    // True, once, when the running walk is calling this operation on this node.
    static bool Claim(const TreeNode* node, WalkOp op)
    {
        Walk* walk = s_current;
        if (!walk || walk->m_token != node || walk->m_tokenOp != op)
            return false;
        walk->m_token = nullptr;
        return true;
    }

    // Callbacks run outside any walk.
    class Suspension {
    public:
        Suspension() : m_saved(std::exchange(s_current, nullptr)) {}
        ~Suspension() { s_current = m_saved; }
        Suspension(const Suspension&) = delete;
        Suspension& operator=(const Suspension&) = delete;

    private:
        Walk* m_saved;
    };

    // Tasks run last pushed first.
    void Call(TreeNode* node, WalkOp op, bool recursive) { m_tasks.emplace_back(node, Kind::Call, op, recursive); }
    void Children(TreeNode* node, WalkOp op, bool recursive)
    {
        m_tasks.emplace_back(node, Kind::Children, op, recursive);
    }
    void NotifySelection(TreeNode* node) { m_tasks.emplace_back(node, Kind::NotifySelection, WalkOp::Select, false); }
    void SelectIfAllSelected(TreeNode* node)
    {
        m_tasks.emplace_back(node, Kind::SelectIfAllSelected, WalkOp::Select, true);
    }

    void Run()
    {
        while (!m_tasks.empty()) {
            Task& task = m_tasks.back();
            if (!task.watch.alive) {
                m_tasks.pop_back();
                continue;
            }
            TreeNode* const node = task.watch.node;
            const WalkOp op = task.op;
            const bool recursive = task.recursive;
            switch (task.kind) {
            case Kind::Children:
                // Children are read by index as the walk goes, so it follows changes callbacks make: the
                // next child is the one after the child just visited, or in its place once it left.
                if (task.index < node->GetNumChildren()) {
                    TreeNode* const child = node->GetChild(task.index);
                    const Watch visited(child);
                    Invoke(child, op, recursive);  // the deque keeps `task` in place
                    if (visited.alive && child->m_parent == node)
                        task.index = child->GetIndex() + 1;
                } else {
                    m_tasks.pop_back();
                }
                break;
            case Kind::Call:
                m_tasks.pop_back();
                Invoke(node, op, recursive);
                break;
            case Kind::NotifySelection:
                m_tasks.pop_back();
                node->DoNotify(TreeNode::classType, EventSelectionChanged, nullptr, nullptr);
                break;
            case Kind::SelectIfAllSelected:
                m_tasks.pop_back();
                if (node->AllChildrenSelected())
                    Invoke(node, WalkOp::Select, true);
                break;
            }
        }
    }

private:
    enum class Kind : std::uint8_t { Call, Children, NotifySelection, SelectIfAllSelected };

    struct Task {
        Task(TreeNode* node, Kind taskKind, WalkOp taskOp, bool taskRecursive)
            : watch(node), kind(taskKind), op(taskOp), recursive(taskRecursive)
        {
        }
        Watch watch;
        Kind kind;
        WalkOp op;
        bool recursive;
        int index = 0;
    };

    void Invoke(TreeNode* node, WalkOp op, bool recursive)
    {
        if (op == WalkOp::ActivityChanged) {
            // A child deactivated by itself, and its subtree, hears nothing.
            if (node->m_inactive < 1)
                node->Step(op, recursive);
            return;
        }
        m_token = node;
        m_tokenOp = op;
        switch (op) {
        case WalkOp::Select: node->Select(recursive); break;
        case WalkOp::SetSelect: node->SetSelect(recursive); break;
        case WalkOp::UnSelect: node->UnSelect(recursive); break;
        case WalkOp::SelectIfChildrenSelected: node->SelectIfChildrenSelected(); break;
        case WalkOp::DisableSelection: node->DisableSelection(recursive); break;
        case WalkOp::EnableSelection: node->EnableSelection(recursive); break;
        case WalkOp::SetVisible: node->SetVisible(recursive); break;
        case WalkOp::SetInvisible: node->SetInvisible(recursive); break;
        case WalkOp::ExpandNode: node->ExpandNode(recursive); break;
        case WalkOp::CollapseNode: node->CollapseNode(recursive); break;
        case WalkOp::ClearModified: node->ClearModified(); break;
        case WalkOp::ActivityChanged: break;
        }
        m_token = nullptr;
    }

    static inline Walk* s_current = nullptr;

    std::deque<Task> m_tasks;
    Walk* m_outer;
    const TreeNode* m_token = nullptr;
    WalkOp m_tokenOp = WalkOp::Select;
};

// Copies made during one outermost deepening whose parent and children are still to be linked.
struct TreeNode::CopyWork {
    std::deque<std::pair<TreeNode*, const TreeNode*>> pending;  // copies with their sources
    std::vector<TreeNode*> inserted;  // copies that took a copied parent
    static inline CopyWork* current = nullptr;
};

// What a registration keeps; the delivered Event is built from it.
struct TreeNode::Registration {
    Event::Callback callback;
    void* data;
    std::uint32_t classType;
    std::uint32_t serial;     // grows along the list: later registrations have larger serials
    std::uint32_t attribute;  // AttributeNumber of the attribute filter
    std::uint16_t code;
    bool tree;

    // As Event's equality for two registrations of one node: attributes agree when either has none.
    bool Same(const Registration& other) const
    {
        return callback == other.callback && data == other.data && classType == other.classType &&
               code == other.code && tree == other.tree &&
               (attribute == 0 || other.attribute == 0 || attribute == other.attribute);
    }
};

// A node's registrations in order of serial: one is held in place, more in a block whose capacity
// is the next power of two of the count.
class TreeNode::RegistrationList {
    static_assert(std::is_trivially_copyable_v<Registration> && sizeof(Registration) <= 32);

public:
    RegistrationList() = default;
    RegistrationList(const RegistrationList&) = delete;
    RegistrationList& operator=(const RegistrationList&) = delete;
    ~RegistrationList() { Release(); }

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const Registration* begin() const { return Data(); }
    const Registration* end() const { return Data() + m_size; }
    const Registration& operator[](std::size_t i) const { return Data()[i]; }

    // Appends with the next serial; serials restart from 1 along the list when they run out.
    void Append(Registration registration)
    {
        if (m_lastSerial == UINT32_MAX) {
            m_lastSerial = 0;
            for (std::uint32_t i = 0; i < m_size; ++i)
                Data()[i].serial = ++m_lastSerial;
        }
        registration.serial = ++m_lastSerial;
        if (m_size == 0) {
            m_one = registration;
            m_size = 1;
            return;
        }
        if (std::has_single_bit(m_size)) {
            auto* block = new Registration[std::size_t{m_size} * 2];
            std::copy(begin(), end(), block);
            Release();
            m_block = block;
        }
        m_block[m_size++] = registration;
    }

    void Erase(std::size_t index)
    {
        Registration* const data = Data();
        std::copy(data + index + 1, data + m_size, data + index);
        if (--m_size == 1) {
            const Registration last = m_block[0];
            delete[] m_block;
            m_one = last;
        }
    }

    void Clear()
    {
        Release();
        m_size = 0;
    }

private:
    bool InBlock() const { return m_size > 1; }
    Registration* Data() { return InBlock() ? m_block : &m_one; }
    const Registration* Data() const { return InBlock() ? m_block : &m_one; }
    void Release()
    {
        if (InBlock())
            delete[] m_block;
    }

    union {
        Registration m_one;
        Registration* m_block;
    };
    std::uint32_t m_size = 0;
    std::uint32_t m_lastSerial = 0;
};

// The side block of a node whose first rare member was a registration or its temp data.
struct TreeNode::Extras::RegistrationsFirst {
    RegistrationList registrations;
    std::unique_ptr<Property> properties;
    void* tempData = nullptr;
};

// The side block of a node whose first rare member was a user property.
struct TreeNode::Extras::PropertiesFirst {
    Property properties;
    std::unique_ptr<RegistrationList> registrations;
    void* tempData = nullptr;
};

TreeNode::Extras::RegistrationsFirst* TreeNode::Extras::AsRegistrationsFirst() const
{
    return (m_bits & PropertiesFirstTag) != 0 ? nullptr : reinterpret_cast<RegistrationsFirst*>(m_bits);
}

TreeNode::Extras::PropertiesFirst* TreeNode::Extras::AsPropertiesFirst() const
{
    return (m_bits & PropertiesFirstTag) != 0 ? reinterpret_cast<PropertiesFirst*>(m_bits & ~PropertiesFirstTag)
                                              : nullptr;
}

void TreeNode::Extras::Reset() noexcept
{
    // Either layout fits the 56 bytes of a 64-byte heap block, so one registration or one scalar
    // user property costs that block alone.
    static_assert(sizeof(RegistrationsFirst) <= 56 && sizeof(PropertiesFirst) <= 56);
    RegistrationsFirst* const registrationsFirst = AsRegistrationsFirst();
    PropertiesFirst* const propertiesFirst = AsPropertiesFirst();
    m_bits = 0;
    delete registrationsFirst;
    delete propertiesFirst;
}

TreeNode::RegistrationList* TreeNode::Extras::FindRegistrations() const
{
    if (RegistrationsFirst* block = AsRegistrationsFirst())
        return &block->registrations;
    if (PropertiesFirst* block = AsPropertiesFirst())
        return block->registrations.get();
    return nullptr;
}

TreeNode::RegistrationList& TreeNode::Extras::EditRegistrations()
{
    if (PropertiesFirst* block = AsPropertiesFirst()) {
        if (!block->registrations)
            block->registrations = std::make_unique<RegistrationList>();
        return *block->registrations;
    }
    if (m_bits == 0)
        m_bits = reinterpret_cast<std::uintptr_t>(new RegistrationsFirst());
    return AsRegistrationsFirst()->registrations;
}

Property* TreeNode::Extras::FindProperties() const
{
    if (RegistrationsFirst* block = AsRegistrationsFirst())
        return block->properties.get();
    if (PropertiesFirst* block = AsPropertiesFirst())
        return &block->properties;
    return nullptr;
}

Property& TreeNode::Extras::EditProperties()
{
    if (RegistrationsFirst* block = AsRegistrationsFirst()) {
        if (!block->properties)
            block->properties = std::make_unique<Property>();
        return *block->properties;
    }
    if (m_bits == 0) {
        static_assert(alignof(PropertiesFirst) > PropertiesFirstTag, "the tag bit is free in the address");
        m_bits = reinterpret_cast<std::uintptr_t>(new PropertiesFirst()) | PropertiesFirstTag;
    }
    return AsPropertiesFirst()->properties;
}

void* TreeNode::Extras::GetTempData() const
{
    if (const RegistrationsFirst* block = AsRegistrationsFirst())
        return block->tempData;
    if (const PropertiesFirst* block = AsPropertiesFirst())
        return block->tempData;
    return nullptr;
}

void TreeNode::Extras::SetTempData(void* data)
{
    if (PropertiesFirst* block = AsPropertiesFirst()) {
        block->tempData = data;
        return;
    }
    if (m_bits == 0) {
        if (!data)
            return;
        m_bits = reinterpret_cast<std::uintptr_t>(new RegistrationsFirst());
    }
    AsRegistrationsFirst()->tempData = data;
}

// ---- Construction and destruction

TreeNode::TreeNode() = default;

TreeNode::TreeNode(const TreeNode& other)
    : Base(other),
      m_LID(other.m_LID),
      m_inactive(other.m_inactive),
      m_flags(static_cast<std::uint8_t>(other.m_flags & ~Pinned)),
      m_hints(other.m_hints)
{
}

TreeNode::TreeNode(TreeNode* parent) : TreeNode()
{
    const ConstructionScope construction(*this);
    if (parent)
        SetFlag(Selected, parent->HasFlag(Selected));
    SetParent(parent);
    // The created event reaches the listeners above whether or not a mask bit was copied down. Only
    // a registration of this node, or a tree registration above for this very event, can hear it:
    // without one, the delivery is spared its climb to the root.
    const bool wanted = m_levelEventMask.Has(EventCreated);
    const RegistrationList* own = m_extras.FindRegistrations();
    bool heard = own && !own->empty();
    if (!heard && m_parent) {
        CacheAncestry(m_parent);
        heard = std::any_of(g_ancestry.inherited.begin(), g_ancestry.inherited.end(), [](const auto& entry) {
            return entry.first == classType && (entry.second & EventCreated) != 0;
        });
    }
    if (heard)
        m_levelEventMask.Set(EventCreated);
    DoNotify(classType, EventCreated, nullptr, nullptr);
    if (!wanted)
        m_levelEventMask.Unset(EventCreated);
}

TreeNode::~TreeNode()
{
    SetFlag(Pinned, true);
    DeleteChildren();
    m_children.reset();
    DoNotify(classType, EventDeleted, nullptr, nullptr);
    // Listeners may give the dying node new children, or a new parent while it leaves the old one:
    // the children go with it, the parent is left again.
    while (m_parent || GetNumChildren() > 0) {
        DeleteChildren();
        if (m_parent)
            m_parent->RemoveChild(this);
    }
    m_children.reset();
    m_extras.Reset();
    for (Watch* watch = m_watchers; watch; watch = watch->next)
        watch->alive = false;
    ForgetAncestryOf(this);
}

void TreeNode::Discard(TreeNode* node)
{
    if (!node->HasFlag(Pinned))
        delete node;
    else if (node->m_parent)
        node->m_parent->RemoveChild(node);
}

void TreeNode::DeleteChildren()
{
    TreeNode* cursor = this;
    TreeNode* root = nullptr;
    for (;;) {
        if ((cursor == this || !cursor->HasFlag(Pinned)) && cursor->GetNumChildren() > 0) {
            cursor = cursor->m_children->Last();
            continue;
        }
        if (cursor == this)
            return;
        if (!root)
            root = GetRoot();
        TreeNode* const up = cursor->m_parent;
        const std::uint64_t epoch = g_structureEpoch;
        g_removalHint = {up, cursor, root, epoch};
        Discard(cursor);
        // Anything beyond the removal of the node means callbacks changed the tree: start over.
        if (g_structureEpoch == epoch + 1) {
            cursor = up;
        } else {
            cursor = this;
            root = nullptr;
        }
    }
}

bool TreeNode::Notify(std::uint32_t type, std::uint16_t code, const char* attribute, void* data)
{
    const Watch self(this);
    DoNotify(type, code, attribute, data);
    return self.alive;
}

// ---- Placement

bool TreeNode::IsValidParent(const TreeNode*) const
{
    return true;
}

bool TreeNode::IsInSubtreeOf(const TreeNode* node) const
{
    for (const TreeNode* above = m_parent; above; above = above->m_parent) {
        if (above == node)
            return true;
    }
    return false;
}

bool TreeNode::WouldCloseCycle(const TreeNode* parent) const
{
    // A node without children holds no other node, so only the node itself could close a cycle.
    return parent && (parent == this || (GetNumChildren() > 0 && parent->IsInSubtreeOf(this)));
}

void TreeNode::SetParent(TreeNode* parent)
{
    if (parent == m_parent || !IsValidParent(parent) || WouldCloseCycle(parent))
        return;
    MoveTo(parent, -1);
}

void TreeNode::SetParentAt(TreeNode* parent, int index)
{
    if (!parent || index < 0 || !IsValidParent(parent) || WouldCloseCycle(parent))
        return;
    if (index > parent->GetNumChildren() - (parent == m_parent ? 1 : 0))
        return;
    MoveTo(parent, index);
}

void TreeNode::MoveTo(TreeNode* parent, int index)
{
    // Callbacks of the events below may delete this node or the new parent.
    Watch self(this);
    std::optional<Watch> target;
    if (parent)
        target.emplace(parent);
    if (m_parent)
        m_parent->RemoveChild(this);
    if (!self.alive)
        return;
    if (target && target->alive)
        parent->AddChild(this, index < 0 ? parent->GetNumChildren() : index);
    if (self.alive && Notify(classType, EventParentSet) && IsExpanded() && (!m_parent || !m_parent->IsExpanded()))
        CollapseNode(true);
}

void TreeNode::AddChild(TreeNode* child, int index)
{
    // A child without children cannot hold this node.
    if (!child || child->m_parent || child == this || (child->GetNumChildren() > 0 && IsInSubtreeOf(child)))
        return;
    ForgetAncestryOf(child);
    if (!m_children)
        m_children = std::make_unique<ChildArray>();
    if (index >= 0 && index < m_children->Size())
        m_children->Insert(static_cast<std::size_t>(index), child);
    else
        m_children->Append(child);
    child->m_parent = this;
    ++g_structureEpoch;
    GetRoot()->NodeInserted(child, true);
    child->SetMaskFromParents();
    DoNotify(classType, EventChildrenChanged, nullptr, nullptr);
}

void TreeNode::RemoveChild(TreeNode* child)
{
    if (!child || child->m_parent != this || !m_children || !m_children->Holds(child))
        return;
    ForgetAncestryOf(child);
    m_children->Remove(child);
    child->m_parent = nullptr;
    const RemovalHint hint = std::exchange(g_removalHint, {});
    const bool hinted = hint.parent == this && hint.child == child && hint.epoch == g_structureEpoch;
    ++g_structureEpoch;
    (hinted ? hint.root : GetRoot())->NodeRemoved(child, true);
    DoNotify(classType, EventChildrenChanged, nullptr, nullptr);
}

void TreeNode::NodeInserted(TreeNode*, bool) {}

void TreeNode::NodeRemoved(TreeNode*, bool) {}

bool TreeNode::ReorderChildren(const IntArray& positions)
{
    const int count = GetNumChildren();
    if (count == 0 || positions.size() != static_cast<std::size_t>(count))
        return false;
    std::vector<TreeNode*> current;
    current.reserve(positions.size());
    m_children->ForEach([&](TreeNode* child) { current.push_back(child); });
    std::vector<TreeNode*> order(positions.size(), nullptr);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const std::int32_t position = positions[i];
        if (position < 0 || position >= count || order[static_cast<std::size_t>(position)])
            return false;
        order[static_cast<std::size_t>(position)] = current[i];
    }
    m_children->Replace(std::move(order));
    return true;
}

// ---- Queries

template <class Visit>
void TreeNode::VisitDescendants(const TreeNode* top, Visit&& visit)
{
    std::vector<TreeNode*> stack;
    const auto pushChildren = [&stack](const TreeNode* node) {
        if (!node->m_children)
            return;
        const std::size_t first = stack.size();
        node->m_children->ForEach([&stack](TreeNode* child) { stack.push_back(child); });
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first), stack.end());
    };
    pushChildren(top);
    while (!stack.empty()) {
        TreeNode* const node = stack.back();
        stack.pop_back();
        if (!visit(node))
            return;
        pushChildren(node);
    }
}

TreeNode* TreeNode::GetRoot() const
{
    // Through the parent, so that its children share one cache entry.
    return m_parent ? CacheAncestry(m_parent) : const_cast<TreeNode*>(this);
}

TreeNode* TreeNode::CacheAncestry(const TreeNode* node)
{
    Ancestry& cache = g_ancestry;
    if (node == cache.node)
        return cache.root;
    const auto take = [](const TreeNode* holder) {
        Ancestry& ancestry = g_ancestry;
        const RegistrationList* registrations = holder->m_extras.FindRegistrations();
        if (!registrations)
            return;
        for (const Registration& held : *registrations) {
            const std::uint16_t code = held.code;
            if (!held.tree || code == 0)
                continue;
            const std::uint32_t type = held.classType;
            const auto known = std::find_if(ancestry.inherited.begin(), ancestry.inherited.end(),
                                            [type](const auto& entry) { return entry.first == type; });
            if (known != ancestry.inherited.end())
                known->second = static_cast<std::uint16_t>(known->second | code);
            else
                ancestry.inherited.emplace_back(type, code);
        }
    };
    // A child of the cached node inherits what the cached node holds, and its own.
    if (!cache.node || node->m_parent != cache.node) {
        cache.inherited.clear();
        const TreeNode* top = node;
        for (; top->m_parent; top = top->m_parent)
            take(top);
        take(top);
        cache.root = const_cast<TreeNode*>(top);
    } else {
        take(node);
    }
    cache.node = node;
    return cache.root;
}

TreeNode* TreeNode::GetChild(int index) const
{
    if (!m_children || index < 0 || index >= m_children->Size())
        return nullptr;
    return m_children->At(static_cast<std::size_t>(index));
}

int TreeNode::GetNumChildren() const
{
    return m_children ? m_children->Size() : 0;
}

int TreeNode::GetNumChildren(std::uint32_t type) const
{
    int count = 0;
    if (m_children)
        m_children->ForEach([&](const TreeNode* child) { count += child->IsA(type) ? 1 : 0; });
    return count;
}

namespace {
bool IsAnyOf(const Base* object, std::span<const std::uint32_t> types)
{
    return std::any_of(types.begin(), types.end(), [object](std::uint32_t type) { return object->IsA(type); });
}
} // namespace

int TreeNode::GetNumChildren(std::span<const std::uint32_t> types) const
{
    int count = 0;
    if (m_children)
        m_children->ForEach([&](const TreeNode* child) { count += IsAnyOf(child, types) ? 1 : 0; });
    return count;
}

int TreeNode::GetNumDescendents() const
{
    int count = 0;
    VisitDescendants(this, [&](const TreeNode*) { return ++count, true; });
    return count;
}

int TreeNode::GetNumDescendents(std::uint32_t type) const
{
    int count = 0;
    VisitDescendants(this, [&](const TreeNode* node) { return count += node->IsA(type) ? 1 : 0, true; });
    return count;
}

int TreeNode::GetNumDescendents(std::span<const std::uint32_t> types) const
{
    int count = 0;
    VisitDescendants(this, [&](const TreeNode* node) { return count += IsAnyOf(node, types) ? 1 : 0, true; });
    return count;
}

int TreeNode::GetNumAncestors() const
{
    int count = 0;
    for (const TreeNode* above = m_parent; above; above = above->m_parent)
        ++count;
    return count;
}

int TreeNode::GetNumAncestors(std::uint32_t type) const
{
    int count = 0;
    for (const TreeNode* above = m_parent; above; above = above->m_parent)
        count += above->IsA(type) ? 1 : 0;
    return count;
}

int TreeNode::GetNumAncestors(std::span<const std::uint32_t> types) const
{
    int count = 0;
    for (const TreeNode* above = m_parent; above; above = above->m_parent)
        count += IsAnyOf(above, types) ? 1 : 0;
    return count;
}

int TreeNode::FindChildIndex(const TreeNode* node) const
{
    if (!node || node->m_parent != this || !m_children || !m_children->Holds(node))
        return -1;
    return static_cast<int>(m_children->IndexOf(node));
}

int TreeNode::GetIndex() const
{
    return m_parent ? m_parent->FindChildIndex(this) : -1;
}

bool TreeNode::HasChild(std::uint32_t type) const
{
    return GetNumChildren(type) > 0;
}

bool TreeNode::HasChild(const TreeNode* node) const
{
    return node && node->m_parent == this;
}

bool TreeNode::HasDescendent(std::uint32_t type) const
{
    bool found = false;
    VisitDescendants(this, [&](const TreeNode* node) { return !(found = node->IsA(type)); });
    return found;
}

bool TreeNode::HasDescendent(const TreeNode* node) const
{
    return node && node->IsInSubtreeOf(this);
}

bool TreeNode::HasAncestor(std::uint32_t type) const
{
    for (const TreeNode* above = m_parent; above; above = above->m_parent) {
        if (above->IsA(type))
            return true;
    }
    return false;
}

bool TreeNode::HasAncestor(const TreeNode* node) const
{
    return node && IsInSubtreeOf(node);
}

TreeNode* TreeNode::FindCommonAncestor(const TreeNode* node) const
{
    if (!node)
        return nullptr;
    const TreeNode* mine = this;
    const TreeNode* theirs = node;
    int myDepth = GetNumAncestors();
    int theirDepth = node->GetNumAncestors();
    for (; myDepth > theirDepth; --myDepth)
        mine = mine->m_parent;
    for (; theirDepth > myDepth; --theirDepth)
        theirs = theirs->m_parent;
    while (mine != theirs) {
        mine = mine->m_parent;
        theirs = theirs->m_parent;
    }
    return const_cast<TreeNode*>(mine);
}

int TreeNode::GetTreePosition(IntArray& position, bool reverse) const
{
    const int depth = GetNumAncestors();
    if (position.size() < static_cast<std::size_t>(depth))
        position.resize(static_cast<std::size_t>(depth));
    std::size_t entry = 0;
    for (const TreeNode* node = this; node->m_parent; node = node->m_parent)
        position[entry++] = node->GetIndex();
    if (reverse)
        std::reverse(position.begin(), position.begin() + depth);
    return depth;
}

std::string TreeNode::GetInvariant() const
{
    IntArray position;
    const int depth = GetTreePosition(position, true);
    std::string path = "/";
    for (int level = 0; level < depth; ++level) {
        char digits[16];
        const auto [end, error] = std::to_chars(digits, digits + sizeof digits, position[static_cast<std::size_t>(level)]);
        static_cast<void>(error);
        path.append(digits, end);
        path += '/';
    }
    return path;
}

TreeNode* TreeNode::FindInvariant(std::string_view path) const
{
    if (path.empty())
        return nullptr;
    const TreeNode* node = this;
    std::string_view rest = path.substr(1);
    while (!rest.empty()) {
        int index = 0;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), index);
        if (error != std::errc() || index < 0)
            return nullptr;
        node = node->GetChild(index);
        if (!node)
            return nullptr;
        rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
        if (rest.empty())
            break;
        if (rest.front() != '/')
            return nullptr;
        rest.remove_prefix(1);
    }
    return const_cast<TreeNode*>(node);
}

// ---- States

void TreeNode::SetFlag(Flag flag, bool on)
{
    m_flags = static_cast<std::uint8_t>(on ? (m_flags | flag) : (m_flags & ~flag));
}

void TreeNode::Perform(WalkOp op, bool recursive)
{
    if (Walk::Claim(this, op)) {
        Step(op, recursive);
        return;
    }
    Walk walk;
    Step(op, recursive);
    walk.Run();
}

// One node's part of a walk operation. Continuations are queued before any event is raised, so a
// callback that deletes this node only cancels them.
void TreeNode::Step(WalkOp op, bool recursive)
{
    Walk& walk = Walk::Current();
    switch (op) {
    case WalkOp::Select:
        if (!HasFlag(Selectable) || HasFlag(Selected))
            return;
        SetFlag(Selected, true);
        if (recursive && GetNumChildren() > 0) {
            walk.NotifySelection(this);
            walk.Children(this, op, recursive);
        } else {
            DoNotify(classType, EventSelectionChanged, nullptr, nullptr);
        }
        return;
    case WalkOp::SetSelect:
        if (!HasFlag(Selectable))
            return;
        if (!HasFlag(Selected))
            walk.Call(this, WalkOp::Select, recursive);
        else if (recursive)
            walk.Children(this, op, recursive);
        return;
    case WalkOp::UnSelect:
        if (!HasFlag(Selectable))
            return;
        if (recursive)
            walk.Children(this, op, recursive);
        if (HasFlag(Selected)) {
            // No ancestor stays selected above an unselected node; theirs are announced first.
            SetFlag(Selected, false);
            walk.NotifySelection(this);
            if (m_parent)
                walk.Call(m_parent, op, false);
        }
        return;
    case WalkOp::SelectIfChildrenSelected:
        if (!HasFlag(Selectable) || HasFlag(Selected) || GetNumChildren() == 0)
            return;
        walk.SelectIfAllSelected(this);
        walk.Children(this, op, false);
        return;
    case WalkOp::DisableSelection:
        if (recursive)
            walk.Children(this, op, recursive);
        if (HasFlag(Selectable)) {
            if (IsSelected()) {
                Watch self(this);
                UnSelect(false);
                if (!self.alive)
                    return;
            }
            SetFlag(Selectable, false);
        }
        return;
    case WalkOp::EnableSelection:
        SetFlag(Selectable, true);
        if (recursive)
            walk.Children(this, op, recursive);
        return;
    case WalkOp::SetVisible:
    case WalkOp::SetInvisible:
        if (recursive)
            walk.Children(this, op, recursive);
        if (IsVisible() != (op == WalkOp::SetVisible))
            SetVisibility(op == WalkOp::SetVisible);
        return;
    case WalkOp::ExpandNode:
    case WalkOp::CollapseNode:
        if (HasFlag(Expanded) == (op == WalkOp::ExpandNode))
            return;
        SetFlag(Expanded, op == WalkOp::ExpandNode);
        if (recursive)
            walk.Children(this, op, recursive);
        return;
    case WalkOp::ClearModified:
        if (!HasFlag(Modified))
            return;
        SetFlag(Modified, false);
        walk.Children(this, op, true);
        return;
    case WalkOp::ActivityChanged:
        walk.Children(this, op, true);
        DoNotify(classType, EventActivityChanged, nullptr, nullptr);
        return;
    }
}

void TreeNode::SetModified()
{
    for (TreeNode* node = this; node && !node->HasFlag(Modified); node = node->m_parent)
        node->SetFlag(Modified, true);
}

void TreeNode::ClearModified()
{
    Perform(WalkOp::ClearModified, true);
}

bool TreeNode::IsModified() const
{
    return HasFlag(Modified);
}

void TreeNode::ActivityChanged()
{
    Walk walk;
    Step(WalkOp::ActivityChanged, true);
    walk.Run();
}

void TreeNode::Activate()
{
    if (m_inactive <= 0)
        return;
    --m_inactive;
    if (IsActive())
        ActivityChanged();
}

void TreeNode::Deactivate()
{
    const bool wasActive = IsActive();
    if (m_inactive < std::numeric_limits<std::int32_t>::max())
        ++m_inactive;
    if (wasActive)
        ActivityChanged();
}

bool TreeNode::IsActive() const
{
    for (const TreeNode* node = this; node; node = node->m_parent) {
        if (node->m_inactive >= 1)
            return false;
    }
    return true;
}

bool TreeNode::IsObjectActive() const
{
    return m_inactive < 1;
}

void TreeNode::Select(bool recursive)
{
    Perform(WalkOp::Select, recursive);
}

void TreeNode::SetSelect(bool recursive)
{
    Perform(WalkOp::SetSelect, recursive);
}

void TreeNode::UnSelect(bool recursive)
{
    Perform(WalkOp::UnSelect, recursive);
}

void TreeNode::SelectIfChildrenSelected()
{
    Perform(WalkOp::SelectIfChildrenSelected, false);
}

bool TreeNode::AllChildrenSelected() const
{
    int selected = 0;
    if (m_children)
        m_children->ForEach([&](const TreeNode* child) { selected += child->IsSelected() ? 1 : 0; });
    return selected == GetNumChildren();
}

bool TreeNode::IsSelected() const
{
    return HasFlag(Selected) && IsActive();
}

bool TreeNode::IsObjectSelected() const
{
    return HasFlag(Selected);
}

void TreeNode::DisableSelection(bool recursive)
{
    Perform(WalkOp::DisableSelection, recursive);
}

void TreeNode::EnableSelection(bool recursive)
{
    Perform(WalkOp::EnableSelection, recursive);
}

bool TreeNode::IsSelectable() const
{
    return HasFlag(Selectable);
}

void TreeNode::SetVisible(bool recursive)
{
    Perform(WalkOp::SetVisible, recursive);
}

void TreeNode::SetInvisible(bool recursive)
{
    Perform(WalkOp::SetInvisible, recursive);
}

bool TreeNode::IsVisible() const
{
    return HasFlag(Visible);
}

void TreeNode::SetVisibility(bool visible)
{
    if (HasFlag(Visible) == visible)
        return;
    SetFlag(Visible, visible);
    DoNotify(classType, EventDisplayChanged, nullptr, nullptr);
}

void TreeNode::SetClipped(bool clipped)
{
    SetFlag(Clipped, clipped);
    DoNotify(classType, EventDisplayChanged, nullptr, nullptr);
}

bool TreeNode::IsClipped() const
{
    return HasFlag(Clipped);
}

bool TreeNode::IsExpanded() const
{
    return HasFlag(Expanded);
}

void TreeNode::ExpandNode(bool recursive)
{
    Perform(WalkOp::ExpandNode, recursive);
}

void TreeNode::CollapseNode(bool recursive)
{
    Perform(WalkOp::CollapseNode, recursive);
}

bool TreeNode::CheckHint(std::uint8_t bits) const
{
    for (const TreeNode* node = this; node; node = node->m_parent) {
        if ((node->m_hints & bits) == 0)
            return false;
    }
    return true;
}

void TreeNode::SetHint(std::uint8_t bits)
{
    m_hints = static_cast<std::uint8_t>(m_hints | bits);
}

void TreeNode::ClearHint(std::uint8_t bits)
{
    m_hints = static_cast<std::uint8_t>(m_hints & ~bits);
}

void TreeNode::FinishLoading(std::uint32_t) {}

void TreeNode::FinishStoring(std::uint32_t) {}

// ---- Registrations and masks

Property* TreeNode::FindUserProperties() const
{
    return m_extras.FindProperties();
}

Property& TreeNode::EditUserProperties()
{
    return m_extras.EditProperties();
}

void* TreeNode::GetTempDataSlot() const
{
    return m_extras.GetTempData();
}

void TreeNode::SetTempDataSlot(void* data)
{
    m_extras.SetTempData(data);
}

void TreeNode::RegisterEvent(std::uint32_t type, std::uint16_t code, Event::Callback callback, bool tree, void* data,
                             const char* attribute)
{
    if (!callback)
        return;
    const Registration registration{callback, data, type, 0, AttributeNumber(attribute), code, tree};
    RegistrationList& registrations = m_extras.EditRegistrations();
    const bool known = std::any_of(registrations.begin(), registrations.end(),
                                   [&](const Registration& held) { return held.Same(registration); });
    if (!known)
        registrations.Append(registration);
    else if (!tree)
        return;
    if (tree)
        ForgetAncestry();
    PropagateSetEventMask(type, code, tree);
}

void TreeNode::UnregisterEvent(std::uint32_t type, std::uint16_t code, Event::Callback callback, bool tree, void* data,
                               const char* attribute)
{
    RegistrationList* const found = m_extras.FindRegistrations();
    if (!found)
        return;
    const Registration registration{callback, data, type, 0, AttributeNumber(attribute), code, tree};
    RegistrationList& registrations = *found;
    for (std::size_t i = registrations.size(); i-- > 0;) {
        if (registrations[i].Same(registration)) {
            registrations.Erase(i);
            if (tree)
                ForgetAncestry();
            PropagateUnsetEventMask(type, code, tree);
            return;
        }
    }
}

void TreeNode::UnregisterAllEvents(void* data)
{
    if (!data) {
        UnregisterAllEvents();
        return;
    }
    RegistrationList* const found = m_extras.FindRegistrations();
    if (!found)
        return;
    RegistrationList& registrations = *found;
    for (std::size_t i = registrations.size(); i-- > 0;) {
        const Registration& held = registrations[i];
        if (held.data != data)
            continue;
        const std::uint32_t type = held.classType;
        const std::uint16_t code = held.code;
        const bool tree = held.tree;
        registrations.Erase(i);
        if (tree)
            ForgetAncestry();
        PropagateUnsetEventMask(type, code, tree);
    }
}

void TreeNode::UnregisterAllEvents()
{
    const auto drop = [](TreeNode* node) {
        if (RegistrationList* registrations = node->m_extras.FindRegistrations())
            registrations->Clear();
        return true;
    };
    drop(this);
    VisitDescendants(this, drop);
    ForgetAncestry();
    PropagateClearEventMask();
    // Tree registrations above this subtree still need their bits in it.
    SetMaskFromParents();
}

std::uint8_t TreeNode::RegisteredBits(std::uint32_t type, bool treeOnly) const
{
    unsigned bits = 0;
    if (const RegistrationList* registrations = m_extras.FindRegistrations()) {
        for (const Registration& held : *registrations) {
            if (held.classType == type && (!treeOnly || held.tree))
                bits |= held.code & 0xFFu;
        }
    }
    return static_cast<std::uint8_t>(bits);
}

bool TreeNode::HoldsRegistration(std::uint32_t type, std::uint16_t code) const
{
    const RegistrationList* registrations = m_extras.FindRegistrations();
    return registrations &&
           std::any_of(registrations->begin(), registrations->end(),
                       [&](const Registration& held) { return held.classType == type && held.code == code; });
}

void TreeNode::PropagateSetEventMask(std::uint32_t type, std::uint16_t code, bool tree)
{
    SetEventMask(type, code);
    if (tree) {
        VisitDescendants(this, [&](TreeNode* node) {
            node->SetEventMask(type, code);
            return true;
        });
    }
}

void TreeNode::PropagateUnsetEventMask(std::uint32_t type, std::uint16_t code, bool tree)
{
    unsigned inherited = 0;
    for (const TreeNode* above = m_parent; above; above = above->m_parent)
        inherited |= above->RegisteredBits(type, true);
    std::vector<std::pair<TreeNode*, unsigned>> stack{{this, inherited}};
    while (!stack.empty()) {
        const auto [node, needed] = stack.back();
        stack.pop_back();
        if (node->HoldsRegistration(type, code))
            continue;
        const unsigned clear = code & 0xFFu & ~(needed | node->RegisteredBits(type, false));
        if (clear != 0)
            node->UnsetEventMask(type, static_cast<std::uint16_t>(clear));
        if (tree && node->m_children) {
            const unsigned below = needed | node->RegisteredBits(type, true);
            node->m_children->ForEach([&](TreeNode* child) { stack.emplace_back(child, below); });
        }
    }
}

void TreeNode::PropagateClearEventMask()
{
    ClearEventMask();
    VisitDescendants(this, [](TreeNode* node) {
        node->ClearEventMask();
        return true;
    });
}

void TreeNode::SetMaskFromParents()
{
    if (!m_parent)
        return;
    // Each class level's constructor asks again for its own mask byte: the cache answers.
    CacheAncestry(m_parent);
    if (g_ancestry.inherited.empty())
        return;
    const auto apply = [](TreeNode* node) {
        for (std::size_t i = 0; i < g_ancestry.inherited.size(); ++i)
            node->SetEventMask(g_ancestry.inherited[i].first, g_ancestry.inherited[i].second);
        return true;
    };
    apply(this);
    VisitDescendants(this, apply);
}

// ---- Delivery

void TreeNode::ProcessEvent(TreeNode* source, std::uint32_t type, std::uint16_t code, const char* attribute, bool tree,
                            void* data)
{
    // Read from the source once: callbacks may delete it while the event climbs.
    const std::uint32_t sourceOID = source ? source->GetOID() : 0;
    const Base* const instance = source ? source->GetClassInstance() : nullptr;
    for (TreeNode* node = this; node; node = node->m_parent) {
        const RegistrationList* registrations = node->m_extras.FindRegistrations();
        if (!registrations || registrations->empty())
            continue;
        Watch watch(node);
        node->DeliverHere(source, sourceOID, instance, type, code, attribute, tree, data, watch);
        // A callback destroyed the node: there is no way up from it any more.
        if (!watch.alive)
            return;
    }
}

// One pass over this node's registrations. After every callback the scan starts again from the
// first registration, since callbacks may add or remove registrations, and skips those already dealt
// with. Serials grow along the array, so what this pass has dealt with is every serial up to the last
// one it looked at; a pass nested in a callback keeps its own account.
void TreeNode::DeliverHere(TreeNode* source, std::uint32_t sourceOID, const Base* instance, std::uint32_t type,
                           std::uint16_t code, const char* attribute, bool tree, void* data, const Watch& watch)
{
    std::uint32_t done = 0;
    for (bool fired = true; fired && watch.alive;) {
        fired = false;
        const RegistrationList& registrations = *m_extras.FindRegistrations();
        const Registration* next = std::upper_bound(
            registrations.begin(), registrations.end(), done,
            [](std::uint32_t serial, const Registration& held) { return serial < held.serial; });
        for (; next != registrations.end(); ++next) {
            done = next->serial;
            const Registration& held = *next;
            const bool treeWide = tree && held.classType == TreeNode::classType && held.code == EventTreeWide;
            const bool matches = held.classType == type && held.code == code &&
                                 (!attribute || held.attribute == 0 ||
                                  std::strcmp(AttributeText(held.attribute), attribute) == 0);
            if (!treeWide && !matches)
                continue;
            // A plain registration hears only events of the node it was made on.
            if (!held.tree && GetOID() != sourceOID)
                continue;
            Event delivered(type, code, held.callback, held.tree, held.data, AttributeText(held.attribute), data);
            delivered.m_treeNode = source;
            delivered.m_treeNodeOID = sourceOID;
            delivered.m_classInstance = instance;
            const Event::Callback callback = held.callback;
            {
                const Walk::Suspension suspension;
                callback(delivered);
            }
            fired = true;
            break;
        }
    }
}

// ---- Copies

void TreeNode::DeepenShallowCopy()
{
    const auto* const source = DynCast<TreeNode>(GetCopySource());
    Base::DeepenShallowCopy();
    // Copies made while linking are queued, so copying never recurses down or up the tree.
    if (CopyWork::current) {
        CopyWork::current->pending.emplace_back(this, source);
        return;
    }
    CopyWork work;
    struct Scope {
        ~Scope() { CopyWork::current = nullptr; }
    } scope;
    CopyWork::current = &work;
    LinkCopy(work, source);
    while (!work.pending.empty()) {
        const auto [next, nextSource] = work.pending.front();
        work.pending.pop_front();
        next->LinkCopy(work, nextSource);
    }
    CopyWork::current = nullptr;
    // Whatever was cached about the copies while they were half linked is stale.
    ForgetAncestry();
    if (work.inserted.empty())
        return;
    // Roots are final only now; each climb stops at a node whose root is already known. The nodes
    // linked here are copies made during this copy, so their OIDs lie in a range no wider than the
    // number of objects made meanwhile, and index the known roots.
    const auto [lowest, highest] = std::minmax_element(
        work.inserted.begin(), work.inserted.end(),
        [](const TreeNode* a, const TreeNode* b) { return a->GetOID() < b->GetOID(); });
    const std::uint32_t first = (*lowest)->GetOID();
    std::vector<TreeNode*> roots(std::size_t{(*highest)->GetOID() - first} + 1, nullptr);
    const auto knownRoot = [&roots, first](const TreeNode* node) -> TreeNode** {
        const std::uint32_t oid = node->GetOID();
        return oid >= first && oid - first < roots.size() ? &roots[oid - first] : nullptr;
    };
    std::vector<const TreeNode*> path;
    for (TreeNode* node : work.inserted) {
        const TreeNode* top = node;
        TreeNode* root = nullptr;
        while (!root) {
            if (TreeNode* const* const known = knownRoot(top); known && *known) {
                root = *known;
            } else if (!top->m_parent) {
                root = const_cast<TreeNode*>(top);
            } else {
                path.push_back(top);
                top = top->m_parent;
            }
        }
        for (const TreeNode* passed : path) {
            if (TreeNode** const slot = knownRoot(passed))
                *slot = root;
        }
        path.clear();
        root->NodeInserted(node, false);
    }
}

void TreeNode::LinkCopy(CopyWork& work, const TreeNode* source)
{
    if (!source)
        return;
    if (source->m_parent) {
        m_parent = DynCast<TreeNode>(source->m_parent->Copy());
        if (m_parent)
            work.inserted.push_back(this);
    }
    if (source->GetNumChildren() == 0)
        return;
    auto children = std::make_unique<ChildArray>();
    // By index, as the copied events raised meanwhile may change the source's children.
    for (int i = 0; i < source->GetNumChildren(); ++i) {
        if (TreeNode* const copy = DynCast<TreeNode>(source->GetChild(i)->Copy()))
            children->Append(copy);
    }
    m_children = std::move(children);
}

std::size_t TreeNode::DeleteParentlessSince(std::uint32_t lastOIDBefore, std::uint32_t last, const TreeNode* kept)
{
    std::size_t deleted = 0;
    for (std::uint32_t oid = lastOIDBefore + 1; oid <= last && oid > lastOIDBefore; ++oid) {
        TreeNode* const node = DynCast<TreeNode>(Base::GetObjectA(oid));
        if (node && node != kept && !node->GetParent() && !DataStorage::IsOwnedObject(oid)) {
            delete node;
            ++deleted;
        }
    }
    return deleted;
}

TreeNode* TreeNode::TreeCopy()
{
    // Listeners of the copied events run only once the links below are restored.
    const CopyEventScope events;
    struct Restore {
        TreeNode* node;
        TreeNode* parent;
        TreeNode* copyRoot;
        ~Restore()
        {
            ForgetAncestryOf(node);
            node->m_parent = parent;
            m_pCopyRoot = copyRoot;
        }
    } restore{this, m_parent, m_pCopyRoot};
    m_pCopyRoot = this;
    ForgetAncestryOf(this);
    m_parent = nullptr;
    return DynCast<TreeNode>(Copy());
}

TreeNode* TreeNode::NodeCopy()
{
    const CopyEventScope events;
    struct Restore {
        TreeNode* node;
        std::unique_ptr<ChildArray> children;
        ~Restore() { node->m_children = std::move(children); }
    } restore{this, std::move(m_children)};
    return TreeCopy();
}

// ---- Framework archive

// Writes or reads the records of a node's subtree with an explicit stack: each record is opened (own
// fields and child array), its children follow, and its rest is handed to the node's Serialize.
struct TreeNode::RecordWalk {
    RecordWalk(Archive& archive, TreeNode& top) : m_archive(archive), m_top(top), m_base(OpenRecords().size()) {}

    void Run()
    {
        std::vector<OpenRecord>& records = OpenRecords();
        try {
            Open(m_top, {});
            for (;;) {
                OpenRecord& record = records.back();
                if (record.next < record.count) {
                    ++record.next;
                    NextChild(record);
                } else if (records.size() > m_base + 1) {
                    Finish();
                } else {
                    break;
                }
            }
            OpenRest(m_top);
            Rest(m_archive, m_top);
            OpenNodes().erase(&m_top);
            records.pop_back();
        } catch (...) {
            Unwind();
            throw;
        }
    }

    // True (once) when a walk gives the node's Serialize the rest of its record.
    static bool TakeTurn(const Archive& archive, const TreeNode& node)
    {
        std::vector<OpenRecord>& records = OpenRecords();
        if (records.empty())
            return false;
        OpenRecord& record = records.back();
        if (!record.turn || record.node != &node || record.archive != &archive)
            return false;
        record.turn = false;
        return true;
    }

    // The node's fields after its children: the flags; on loading the children read are placed first.
    static void Rest(Archive& archive, TreeNode& node)
    {
        if (archive.IsStoring()) {
            archive << node.HasFlag(Selected) << node.HasFlag(Visible) << node.HasFlag(Clipped);
            return;
        }
        std::uint8_t selected = 0;
        std::uint8_t visible = 0;
        std::uint8_t clipped = 0;
        archive >> selected >> visible >> clipped;
        const std::vector<TreeNode*> taken = std::move(OpenRecords().back().taken);
        if (!taken.empty()) {
            if (!node.m_children)
                node.m_children = std::make_unique<ChildArray>();
            for (TreeNode* child : taken)
                node.m_children->Append(child);
            ++g_structureEpoch;
            // The children's records ended before they had a parent: they take their places now.
            TreeNode* const root = node.GetRoot();
            for (TreeNode* child : taken)
                root->NodeInserted(child, true);
        }
        node.SetFlag(Selected, selected != 0);
        node.SetFlag(Visible, visible != 0);
        node.SetFlag(Clipped, clipped != 0);
        node.GetRoot()->NodeInserted(&node, false);
    }

private:
    // Pushes the node's record and writes or reads its fields up to the children's records.
    void Open(TreeNode& node, const Archive::ObjectHeader& header)
    {
        OpenRecord& record = OpenRecords().emplace_back();
        record.archive = &m_archive;
        record.node = &node;
        record.header = header;
        OpenNodes().emplace(&node, OpenNode{&m_archive, true});
        if (m_archive.IsStoring()) {
            // Only a parent whose record is open is written, so a record never drags in the tree above it.
            m_archive.WriteObject(IsRecordOpen(m_archive, node.m_parent, true) ? node.m_parent : nullptr);
            record.count = static_cast<std::uint32_t>(node.GetNumChildren());
            if (record.count == 0) {
                m_archive.WriteObject(nullptr);
            } else {
                m_archive.WriteRecordHeader(ObjectArrayClass());
                m_archive.WriteCount(record.count);
            }
            return;
        }
        // A child names its parent only by a back-reference to a record already open: skipped, never
        // taken over.
        m_archive.SkipBackReference("a node's parent reference");
        // No array record (a null reference) means no children.
        record.count = m_archive.ReadRecordHeader(ObjectArrayClass()) ? m_archive.ReadCount(2) : 0;
    }

    void NextChild(OpenRecord& record)
    {
        if (m_archive.IsStoring()) {
            TreeNode* const child = record.node->GetChild(static_cast<int>(record.next - 1));
            if (m_archive.WriteObjectHeader(child)) {
                child->Base::Serialize(m_archive);
                Open(*child, {});
            }
            return;
        }
        const Archive::ObjectHeader header = m_archive.ReadObjectHeader(&TreeNode::GetThisClass());
        auto* const child = static_cast<TreeNode*>(header.object);
        if (header.isNew) {
            child->Base::Serialize(m_archive);
            Open(*child, header);
            return;
        }
        // A node whose own record is still being read around this one stays its reader's.
        if (!m_archive.IsReadingBody(header))
            Offer(record, child);
    }

    // Null entries, children already placed and nodes whose records are open (the rest of a record
    // included, where its node's own fields may refer back to it) are dropped.
    void Offer(OpenRecord& record, TreeNode* child) const
    {
        if (!child || child->m_parent || IsRecordOpen(m_archive, child, false))
            return;
        ForgetAncestryOf(child);
        child->m_parent = record.node;
        record.taken.push_back(child);
    }

    // The innermost record's children are done: its node's Serialize takes the rest, then the node
    // joins the children of the record below.
    void Finish()
    {
        std::vector<OpenRecord>& records = OpenRecords();
        TreeNode& node = *records.back().node;
        const std::uint32_t schema = records.back().header.schema;
        records.back().turn = true;
        OpenRest(node);
        if (m_archive.IsLoading())
            m_archive.SetObjectSchema(schema);
        node.Serialize(m_archive);
        OpenNodes().erase(&node);
        if (m_archive.IsLoading())
            m_archive.SetObjectSchema(0xFFFFFFFFu);
        // Walks nested in the node's fields may have moved the stack.
        records.pop_back();
        if (m_archive.IsLoading())
            Offer(records.back(), &node);
    }

    // A child made before its parent was not made by the parent's record: an earlier read handed it
    // out (or another field of this one made it), so a refused record lets it go, parentless.
    static bool MadeBefore(const TreeNode& child, const TreeNode& parent) { return child.GetOID() < parent.GetOID(); }

    // After a failure: the records this walk opened are closed, the children they made deleted and
    // their nodes abandoned (the top node is its reader's); children made before them are let go.
    void Unwind()
    {
        std::vector<OpenRecord>& records = OpenRecords();
        while (records.size() > m_base) {
            OpenRecord& record = records.back();
            if (const auto found = OpenNodes().find(record.node); found != OpenNodes().end() && found->second.archive == &m_archive)
                OpenNodes().erase(found);
            for (TreeNode* child : record.taken) {
                ForgetAncestryOf(child);
                child->m_parent = nullptr;
                if (!MadeBefore(*child, *record.node))
                    delete child;
            }
            const Archive::ObjectHeader header = record.header;
            const bool top = records.size() == m_base + 1;
            TreeNode& node = *record.node;
            records.pop_back();
            if (!top && m_archive.IsLoading()) {
                // Its rest may have placed its children already.
                for (int i = node.GetNumChildren(); i-- > 0;) {
                    if (TreeNode* const child = node.GetChild(i); MadeBefore(*child, node))
                        node.RemoveChild(child);
                }
                m_archive.AbandonObject(header);
            }
        }
    }

    Archive& m_archive;
    TreeNode& m_top;
    std::size_t m_base;
};

void TreeNode::Serialize(Archive& archive)
{
    if (RecordWalk::TakeTurn(archive, *this)) {
        RecordWalk::Rest(archive, *this);
        return;
    }
    Base::Serialize(archive);
    RecordWalk(archive, *this).Run();
}

// ---- Property stream

bool TreeNode::JoinLoaded(TreeNode* parent)
{
    if (!parent || parent == m_parent)
        return parent != nullptr;
    // A node without children cannot hold its new parent; otherwise climb from the parent.
    if (parent == this || (GetNumChildren() > 0 && parent->IsInSubtreeOf(this)))
        return false;
    ForgetAncestryOf(this);
    if (m_parent) {
        m_parent->m_children->Remove(this);
        m_parent = nullptr;
    }
    if (!parent->m_children)
        parent->m_children = std::make_unique<ChildArray>();
    parent->m_children->Append(this);
    m_parent = parent;
    ++g_structureEpoch;
    return true;
}

const PropertyTable& TreeNode::Properties()
{
    static const PropertyTable table(
        nullptr,
        PropertyList<TreeNode>()
            .Value<Storage::StorageBool>(
                "Selected", [](const TreeNode& node) { return node.HasFlag(Selected); },
                [](TreeNode& node, bool on) { node.SetFlag(Selected, on); })
            .Value<Storage::StorageBool>(
                "Visible", [](const TreeNode& node) { return node.HasFlag(Visible); },
                [](TreeNode& node, bool on) { node.SetFlag(Visible, on); })
            .Value<Storage::StorageBool>(
                "Clip", [](const TreeNode& node) { return node.HasFlag(Clipped); },
                [](TreeNode& node, bool on) { node.SetFlag(Clipped, on); })
            .Field<Storage::StorageInt, &TreeNode::m_inactive>("Inactive")
            // A parent or child that cannot join (a second parent, a cycle) is not kept, so one read
            // for the value alone is freed.
            .Reference(
                "Parent", [](const TreeNode& node) { return node.m_parent; },
                [](TreeNode& node, TreeNode* parent) {
                    if (parent && !node.m_parent)
                        return node.JoinLoaded(parent);
                    return parent == node.m_parent;
                })
            .References(
                "Children", [](const TreeNode& node) { return static_cast<std::size_t>(node.GetNumChildren()); },
                [](const TreeNode& node, std::size_t index) { return node.GetChild(static_cast<int>(index)); },
                [](TreeNode& node, std::size_t, TreeNode* child) {
                    if (!child || !child->JoinLoaded(&node))
                        return false;
                    node.m_children->AddListed(child->GetOID());
                    return true;
                })
            .Field<Storage::StorageUnsignedChar, &TreeNode::m_hints>("Hints")
            .Field<Storage::StorageUnsignedLong, &TreeNode::m_LID>("Logical Id")
            .Value<Storage::StorageBool>(
                "Expanded", [](const TreeNode& node) { return node.HasFlag(Expanded); },
                [](TreeNode& node, bool on) { node.SetFlag(Expanded, on); })
            .AfterRecord([](TreeNode& node, PropertyArchive& archive) {
                if (!archive.GetArchive().IsLoading())
                    return;
                node.PlaceListedChildren();
                // Nodes join their parents while their records are read, so the top node's record
                // ends last: it numbers the whole loaded tree at once, in pre-order. A node that joined
                // a parent whose record had ended (a later record naming it) is numbered with its
                // subtree now, as that tree may have been numbered already.
                if (!node.m_parent)
                    node.NodeInserted(&node, true);
                else if (!archive.IsRecordOpen(*node.m_parent))
                    node.GetRoot()->NodeInserted(&node, true);
            }));
    return table;
}

void TreeNode::GetSetObjectProperties(PropertyArchive& archive)
{
    PropertyPass(archive, *this).Table(Properties());
}

// A child joins its parent as soon as its "Parent" value is read, which may be before the children
// listed ahead of it arrive; one pass puts the listed children in list order, the others after them.
void TreeNode::PlaceListedChildren()
{
    if (!m_children)
        return;
    const std::unique_ptr<std::vector<std::uint32_t>> listed = m_children->TakeListed();
    if (!listed)
        return;
    const auto count = static_cast<std::size_t>(m_children->Size());
    std::vector<TreeNode*> order;
    order.reserve(count);
    std::vector<bool> placed(count, false);
    for (const std::uint32_t oid : *listed) {
        TreeNode* const child = DynCast<TreeNode>(Base::GetObjectA(oid));
        if (!child || child->m_parent != this)
            continue;
        const std::size_t index = m_children->IndexOf(child);
        if (placed[index])
            continue;
        placed[index] = true;
        order.push_back(child);
    }
    bool moved = false;
    std::size_t index = 0;
    m_children->ForEach([&](TreeNode* child) {
        if (!placed[index])
            order.push_back(child);
        moved = moved || order[index] != child;
        ++index;
    });
    if (!moved)
        return;
    m_children->Replace(std::move(order));
    ++g_structureEpoch;
}

} // namespace Tavrel
